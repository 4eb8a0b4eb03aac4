// The Excel source: file and sheet pages, the preview, the count and the run over workbooks
// written by xlwt.
#include "WizardTestSupport.h"
#include "WorkbookMaker.h"
#include "tests/spreadsheet/XlsTestUtil.h"
#include "platform/db/Connection.h"
#include "spreadsheet/XLSBook.h"
#include "spreadsheet/XLSUtils.h"

using namespace wiztest;

namespace {

const QString kOpenFailed = QStringLiteral(
    "Die angegebe Datei konnte nicht geöffnet werden. Bitte achten Sie darauf, dass die Datei nicht bereits "
    "von einer anderen Anwendung geöffnet ist.");

// "Kunden": data from column C, a formatted blank cell in row 0 (so the used range starts
// there), the header in row 2, a blank row, a row with a value only in an unmapped column, and
// data down to the last row. "Übersicht": numbers, a date and a boolean.
QList<SheetSpec> People()
{
    SheetSpec kunden{"Kunden", {}};
    kunden.cells = {Cell(0, 5, QJsonValue()),
                    Cell(2, 2, "Name"),    Cell(2, 3, "Email"),        Cell(2, 4, "Vorname"),
                    Cell(3, 2, "Meier"),   Cell(3, 3, "meier@x.de"),   Cell(3, 4, "Hans"),
                    Cell(5, 5, "nur Notiz"),
                    Cell(6, 2, "Schulz"),  Cell(6, 3, "schulz@x.de"),  Cell(6, 4, "Eva"),
                    Cell(7, 2, "Zuletzt"), Cell(7, 3, "zuletzt@x.de"), Cell(7, 4, "Lena")};
    SheetSpec overview{"Übersicht", {}};
    overview.cells = {Cell(0, 0, "E-Mail"), Cell(0, 1, "Datum"), Cell(0, 2, "Betrag"), Cell(0, 3, "Aktiv"),
                      Cell(1, 0, "a@x.de"), Cell(1, 1, QJsonObject{{"date", QJsonArray{2021, 12, 2}}}),
                      Cell(1, 2, 12.5),     Cell(1, 3, true)};
    return {kunden, overview};
}

class ExcelSourceTest : public WizardTest {
protected:
    void SetUp() override { xls::SetDecimalSeparator(QLatin1Char('.')); }

    QListWidget* Sheets() const { return Find<QListWidget>("ListBoxXLSSheets"); }
    QCheckBox* IgnoreFirstRow() const { return Find<QCheckBox>("CheckBoxIgnoreFirstRow"); }

    // Source page -> Excel file page.
    void GoToFilePage(int sourceRow = 2)
    {
        form->show();
        Find<QListWidget>("ListBoxSourceType")->setCurrentRow(sourceRow);
        Next()->click();
        ASSERT_EQ(Page(), "TabSheetXLSFiles");
    }
    void GoToSheetPage(const QString& path)
    {
        GoToFilePage();
        Find<QLineEdit>("EditXLSFileName")->setText(path);
        Next()->click();
        ASSERT_EQ(Page(), "TabSheetXLSSheetSelect");
    }
    void GoToMapping(const QString& path, int sheet = 0)
    {
        GoToSheetPage(path);
        Sheets()->setCurrentRow(sheet);
        Next()->click();
        ASSERT_EQ(Page(), "TabSheetCSVAssociations");
    }
};

} // namespace

TEST_F(ExcelSourceTest, FilePageSheetListAndPreselection)
{
    const QString path = dir.file("kunden.xls");
    MakeWorkbook(path, People());
    QFile::copy(path, dir.file("andere.xls"));

    Make();
    GoToFilePage();
    EXPECT_TRUE(Find<QToolButton>("SpeedButtonOpenExcel")->isVisible());
    EXPECT_EQ(Find<QToolButton>("SpeedButtonOpenExcel")->toolTip(), QStringLiteral("Datei mit Microsoft Excel öffnen"));
    EXPECT_FALSE(Find<QToolButton>("SpeedButtonOpenAccess")->isVisible());
    EXPECT_TRUE(Find<QGroupBox>("GroupBoxXLSOptions")->isVisible());
    EXPECT_TRUE(Find<QRadioButton>("RadioButtonXLSAllowDuplicates")->isChecked());
    EXPECT_FALSE(Find<QRadioButton>("RadioButtonXLSReplaceDuplicates")->isVisible());
    dialogs.openFileAnswer = path;
    Find<QToolButton>("SpeedButtonOpenFileNameXLS")->click();
    EXPECT_EQ(Find<QLineEdit>("EditXLSFileName")->text(), path);
    EXPECT_EQ(dialogs.lastDefaultExt, "*.xls");
    EXPECT_EQ(dialogs.lastFilter, "Excel Dateien (*.xls)|*.xls|Alle Dateien (*.*)|*.*");

    Next()->click();
    ASSERT_EQ(Page(), "TabSheetXLSSheetSelect");
    QStringList names;
    for (int i = 0; i < Sheets()->count(); ++i)
        names.append(Sheets()->item(i)->text());
    EXPECT_EQ(names, QStringList({"Kunden", "Übersicht"}));
    EXPECT_EQ(Sheets()->currentRow(), 0);

    // The second sheet is remembered for the same file.
    Sheets()->setCurrentRow(1);
    Next()->click();
    ASSERT_EQ(Page(), "TabSheetCSVAssociations");
    EXPECT_EQ(Stored("XLSSheet"), "1");
    Back()->click();
    Back()->click();
    ASSERT_EQ(Page(), "TabSheetXLSFiles");
    Next()->click();
    EXPECT_EQ(Sheets()->currentRow(), 1);

    // Another workbook starts at its first sheet.
    Back()->click();
    Find<QLineEdit>("EditXLSFileName")->setText(dir.file("andere.xls"));
    Next()->click();
    EXPECT_EQ(Sheets()->currentRow(), 0);
    EXPECT_EQ(Stored("XLSFile"), dir.file("andere.xls"));

    // The same page for an Access file: its own button, no options, its own file.
    Store("AccessFile", "/daten/kunden.mdb");
    Back()->click();
    Back()->click();
    ASSERT_EQ(Page(), "TabSheetSelectSource");
    GoToFilePage(3);
    EXPECT_EQ(Find<QLineEdit>("EditXLSFileName")->text(), "/daten/kunden.mdb");
    EXPECT_FALSE(Find<QToolButton>("SpeedButtonOpenExcel")->isVisible());
    EXPECT_TRUE(Find<QToolButton>("SpeedButtonOpenAccess")->isVisible());
    EXPECT_EQ(Find<QToolButton>("SpeedButtonOpenAccess")->toolTip(), QStringLiteral("In Microsoft Access öffnen"));
    EXPECT_FALSE(Find<QGroupBox>("GroupBoxXLSOptions")->isVisible());
    dialogs.openFileAnswer.clear();
    Find<QToolButton>("SpeedButtonOpenFileNameXLS")->click();
    EXPECT_EQ(dialogs.lastDefaultExt, "*.mdb");
    EXPECT_EQ(dialogs.lastFilter, "Access Dateien (*.mdb)|*.mdb|Alle Dateien (*.*)|*.*");
    Find<QToolButton>("SpeedButtonOpenAccess")->click();
    EXPECT_EQ(dialogs.messages, QStringList({"Der angegebene Dateiname existiert nicht."}));
}

TEST_F(ExcelSourceTest, RefusesWhatIsNoWorkbookAndNoSheet)
{
    const QString text = WriteFile("liste.xls", "Name;Email\r\nMeier;meier@x.de\r\n");
    const QString path = dir.file("kunden.xls");
    MakeWorkbook(path, People());
    Make();
    GoToFilePage();
    struct Case {
        QString fileName;
        QString message;
    };
    const Case cases[] = {{QString(), "Bitte geben Sie die für den Import benötigte Datei an."},
                          {dir.file("fehlt.xls"), "Der angegebene Dateiname existiert nicht."},
                          {text, kOpenFailed}};
    for (const Case& c : cases) {
        dialogs.messages.clear();
        Find<QLineEdit>("EditXLSFileName")->setText(c.fileName);
        Next()->click();
        EXPECT_EQ(dialogs.messages, QStringList({c.message}));
        EXPECT_EQ(Page(), "TabSheetXLSFiles");
        EXPECT_TRUE(Next()->isEnabled());
    }

    dialogs.messages.clear();
    Find<QLineEdit>("EditXLSFileName")->setText(path);
    Next()->click();
    ASSERT_EQ(Page(), "TabSheetXLSSheetSelect");
    Sheets()->setCurrentRow(-1);
    Next()->click();
    EXPECT_EQ(dialogs.messages, QStringList({"Bitte geben Sie das benötigte Arbeitsblatt an."}));
    EXPECT_EQ(Page(), "TabSheetXLSSheetSelect");
}

TEST_F(ExcelSourceTest, PreviewStartsAfterTheHeader)
{
    const QString path = dir.file("kunden.xls");
    MakeWorkbook(path, People());
    Make();
    GoToMapping(path);
    ASSERT_TRUE(IgnoreFirstRow()->isVisible());
    ASSERT_TRUE(IgnoreFirstRow()->isChecked());
    // Columns C to F; the first row after the header; the address maps Email.
    EXPECT_EQ(PreviewValues(), QStringList({"Meier", "meier@x.de", "Hans", ""}));
    EXPECT_EQ(Mapping(), QStringList({"-1", "-1", "1"}));

    auto* next = Find<QToolButton>("UpDown1Next");
    next->click();
    EXPECT_EQ(PreviewValues(), QStringList({"", "", "", ""}));
    next->click();
    EXPECT_EQ(PreviewValues(), QStringList({"", "", "", "nur Notiz"}));
    for (int i = 0; i < 10; ++i)
        next->click();
    EXPECT_EQ(PreviewValues(), QStringList({"", "", "", ""}));
    EXPECT_EQ(Mapping(), QStringList({"-1", "-1", "1"}));

    // Without the header passed over, row 1 is the sheet's first used row.
    for (int i = 0; i < 12; ++i)
        Find<QToolButton>("UpDown1Prev")->click();
    ASSERT_EQ(form->PreviewRow(), 1);
    IgnoreFirstRow()->setChecked(false);
    EXPECT_EQ(PreviewValues(), QStringList({"", "", "", ""}));
    next->click();
    next->click();
    EXPECT_EQ(PreviewValues(), QStringList({"Name", "Email", "Vorname", ""}));

    // Numbers as plain text, dates as serial numbers, booleans as TRUE.
    Back()->click();
    Sheets()->setCurrentRow(1);
    Next()->click();
    IgnoreFirstRow()->setChecked(true);
    Find<QToolButton>("UpDown1Prev")->click();
    Find<QToolButton>("UpDown1Prev")->click();
    EXPECT_EQ(PreviewValues(), QStringList({"a@x.de", "44532", "12.5", "TRUE"}));
}

TEST_F(ExcelSourceTest, CountAndRunPassOverTheHeaderAndBlankRows)
{
    // Email from column D, Last Name from C, First Name from E.
    Store("XLSAssociations", "2\r\n0\r\n1\r\n");
    const QString path = dir.file("kunden.xls");
    MakeWorkbook(path, People());
    for (const bool ignoreHeader : {true, false}) {
        SCOPED_TRACE(ignoreHeader);
        owner = FakeOwner();
        Make();
        GoToMapping(path);
        IgnoreFirstRow()->setChecked(ignoreHeader);
        Next()->click();
        ASSERT_EQ(Page(), "TabSheetOverview");
        EXPECT_EQ(Find<QLabel>("LabelTypeValue")->text(), "Microsoft Excel Datei");
        EXPECT_EQ(Find<QLabel>("LabelFileCaption")->text(), "Die Datei :");
        EXPECT_EQ(Find<QLabel>("LabelSeparatorCaption")->text(), "Arbeitsblatt:");
        EXPECT_EQ(Find<QLabel>("LabelSeparatorValue")->text(), "Kunden");
        EXPECT_EQ(Find<QLabel>("LabelOptionsValue")->text(), "Duplikate zulassen");
        EXPECT_EQ(Find<QLabel>("LabelIgnoreFirstRowValue")->text(), ignoreHeader ? "Ja" : "Nein");
        EXPECT_EQ(Panel()->Max(), ignoreHeader ? 3 : 4);
        EXPECT_EQ(Stored("XLSIgnoreFirstRow"), ignoreHeader ? "1" : "0");

        Next()->click();
        QList<QStringList> expected = {{"meier@x.de", "Meier", "Hans"},
                                       {"schulz@x.de", "Schulz", "Eva"},
                                       {"zuletzt@x.de", "Zuletzt", "Lena"}};
        if (!ignoreHeader)
            expected.prepend({"Email", "Name", "Vorname"});
        EXPECT_EQ(owner.rows, expected);
        EXPECT_EQ(Panel()->Position(), expected.size());
        EXPECT_TRUE(owner.duplicateTests.isEmpty());
        EXPECT_EQ(owner.runStarts, 1);
        EXPECT_EQ(owner.runEnds, 1);
        EXPECT_EQ(Next()->text(), QStringLiteral("Schließen"));
    }
}

TEST_F(ExcelSourceTest, FiveThousandRowsIntoAListTable)
{
    const QString path = dir.file("gross.xls");
    SheetSpec sheet{"Empfänger", {Cell(0, 0, "Name"), Cell(0, 1, "Email"), Cell(0, 2, "Vorname"),
                                  // the first address once more: dropped as a duplicate
                                  Cell(5001, 0, "Doppelt"), Cell(5001, 1, "name1@x.de")}};
    sheet.generated = 5000;
    sheet.generatedFrom = 1;
    MakeWorkbook(path, {sheet});
    Store("XLSAllowDuplicates", "0");
    Store("XLSAssociations", "2\r\n0\r\n1\r\n");

    // The list: status, then one text column per target column, like a recipient list.
    db::Connection list;
    list.Open(dir.file("liste.db"), db::OpenMode::CreateIfMissing);
    list.Execute(R"(CREATE TABLE "Liste" ("_ID" INTEGER PRIMARY KEY, "Status" INTEGER, "Email" TEXT,)"
                 R"( "Last Name" TEXT, "First Name" TEXT))");
    db::Statement insert(list, R"(INSERT INTO "Liste" ("Status", "Email", "Last Name", "First Name") VALUES (?, ?, ?, ?))");
    db::Statement find(list, R"(SELECT "_ID" FROM "Liste" WHERE "Email" = ?)");

    Make({"Email", "Last Name", "First Name"}, false);
    form->OnDoRowOutput = [&](const QString& column, const QString& value) {
        EXPECT_EQ(column, "Email");
        if (value.trimmed().isEmpty())
            return false;
        find.Reset();
        find.Bind({value});
        return find.Step();
    };
    form->OnRowOutput = [&](QStringList& row) {
        row.prepend("0");
        insert.Reset();
        insert.Bind({row[0].toInt(), row[1], row[2], row[3]});
        insert.Step();
    };
    form->OnRunStart = [&] { list.BeginTrans(); };
    form->OnRunEnd = [&] { list.CommitTrans(); };

    GoToMapping(path);
    IgnoreFirstRow()->setChecked(true);
    Next()->click();
    EXPECT_EQ(Panel()->Max(), 5001);
    EXPECT_EQ(Find<QLabel>("LabelOptionsValue")->text(), "Keine Duplikate erstellen");
    Next()->click();
    EXPECT_EQ(Next()->text(), QStringLiteral("Schließen"));
    EXPECT_EQ(Panel()->Position(), 5001);

    EXPECT_EQ(list.Scalar(R"(SELECT COUNT(*) FROM "Liste")").toInt(), 5000);
    EXPECT_EQ(list.Scalar(R"(SELECT COUNT(*) FROM "Liste" WHERE "Status" = 0)").toInt(), 5000);
    QStringList rows;
    for (const QVariantList& row :
         list.Select(R"(SELECT "Email", "Last Name", "First Name" FROM "Liste" WHERE "_ID" IN (1, 5000) ORDER BY "_ID")"))
        rows.append(row[0].toString() + "|" + row[1].toString() + "|" + row[2].toString());
    EXPECT_EQ(rows, QStringList({"name1@x.de|Name1|Vorname1", "name5000@x.de|Name5000|Vorname5000"}));
}

// A workbook as LibreOffice writes it, with a defined name, mailto links, merged cells, a
// validation and a conditional format around the list; and the same with each of those records
// damaged. The import reads the same rows from both.
TEST_F(ExcelSourceTest, NamesLinksAndAreaRecordsLeaveTheImportAlone)
{
    QFile source(QStringLiteral(QLY_SOURCE_DIR "/tests/spreadsheet/data/libreoffice-import.xls"));
    ASSERT_TRUE(source.open(QIODevice::ReadOnly));
    const QByteArray made = source.readAll();
    // Damages the first record that starts with `head` (id and length): `bytes` at `offset` of its body.
    auto damage = [](QByteArray& file, const QByteArray& head, int offset, const QByteArray& bytes) {
        const qsizetype at = file.indexOf(head);
        ASSERT_GE(at, 0) << head.toHex().toStdString();
        file.replace(at + 4 + offset, bytes.size(), bytes);
    };
    QByteArray damaged = made;
    damage(damaged, QByteArray::fromHex("b8017200"), 32, QByteArray::fromHex("ffffff7f"));   // HLINK: text past the record
    damage(damaged, QByteArray::fromHex("b2011200"), 14, QByteArray::fromHex("05"));         // DVAL: more DV than present
    damage(damaged, QByteArray::fromHex("b0011600"), 0, QByteArray::fromHex("04"));          // CONDFMT: four CF
    damage(damaged, QByteArray::fromHex("e5000a00"), 0, QByteArray::fromHex("09"));          // MERGEDCELLS: nine areas
    damage(damaged, QByteArray::fromHex("18001f00"), 3, QByteArray::fromHex("c8"));          // NAME: name past the record
    ASSERT_NE(damaged, made);
    {
        // each damaged record is one report of the reader
        xls::TXLSBook check;
        QStringList messages;
        check.OnMessage = [&](const QString& m) { messages << m; };
        check.LoadFromData(damaged);
        EXPECT_EQ(messages.size(), 5) << messages.join('\n').toStdString();
    }

    Store("XLSAssociations", "2\r\n0\r\n1\r\n");
    for (const bool isDamaged : {false, true}) {
        SCOPED_TRACE(isDamaged);
        const QString path = dir.file(isDamaged ? "beschaedigt.xls" : "libreoffice.xls");
        QFile out(path);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(isDamaged ? damaged : made);
        out.close();
        owner = FakeOwner();
        Make();
        GoToMapping(path);
        EXPECT_EQ(Sheets()->count(), 2);
        IgnoreFirstRow()->setChecked(true);
        Next()->click();
        ASSERT_EQ(Page(), "TabSheetOverview");
        EXPECT_EQ(Panel()->Max(), 3);
        Next()->click();
        EXPECT_EQ(owner.rows, (QList<QStringList>{{"meier@x.de", "Meier", "Hans"},
                                                  {"schulz@x.de", "Schulz", "Eva"},
                                                  {"zuletzt@x.de", "Zuletzt", "Lena"}}));
        EXPECT_EQ(Next()->text(), QStringLiteral("Schließen"));
    }
}

// A sheet whose DIMENSIONS record covers only rows 1 to 2 and columns B to C, while its cells fill
// rows 0 to 4 and columns A to D (as some programs write it): every cell reaches the list.
TEST_F(ExcelSourceTest, CellsOutsideATooSmallDimensionsRecordAreImported)
{
    using namespace xlstest;
    const QStringList strings = {"Email", "Name", "Ort", "Notiz", "a@x.de", "Adler", "Aachen", "n1", "b@x.de", "Berg",
                                 "Bonn", "n2", "c@x.de", "Cem", "Celle", "n3", "d@x.de", "Dora", "Dresden", "n4"};
    QByteArray cells = dims8(1, 3, 1, 3);
    for (int i = 0; i < strings.size(); ++i)
        cells += labelsst(i / 4, i % 4, uint32_t(i));
    const QByteArray workbook = book8({{"Kunden", cells}}, sst(strings));
    const QString path = WriteFile("klein.xls", compoundFile({{"Workbook", workbook}}).bytes);
    {
        xls::TXLSBook book;
        book.Filename = path;
        book.Read();
        const xls::TSheet* sheet = book.Sheets()[0];
        EXPECT_EQ(sheet->LastRow(), 2) << "the extents stay as the file stores them";
        const xls::TSheet::TUsedArea area = sheet->UsedArea();
        EXPECT_EQ(area.firstRow, 0);
        EXPECT_EQ(area.lastRow, 4);
        EXPECT_EQ(area.firstCol, 0);
        EXPECT_EQ(area.lastCol, 3);
    }
    Store("XLSAssociations", "3\r\n2\r\n1\r\n0\r\n");
    Store("XLSAllowDuplicates", "1");
    Make({"Email", "Last Name", "First Name", "Notiz"});
    GoToMapping(path);
    EXPECT_EQ(PreviewValues(), QStringList({"a@x.de", "Adler", "Aachen", "n1"}));
    Next()->click();
    EXPECT_EQ(Panel()->Max(), 4);
    Next()->click();
    EXPECT_EQ(owner.rows, QList<QStringList>({{"a@x.de", "Adler", "Aachen", "n1"},
                                              {"b@x.de", "Berg", "Bonn", "n2"},
                                              {"c@x.de", "Cem", "Celle", "n3"},
                                              {"d@x.de", "Dora", "Dresden", "n4"}}));
}
