// The Excel source over workbooks with drawings: LibreOffice files with pictures, a comment,
// shapes, charts and form controls, and a hand-built workbook whose chart sheet is listed last.
// The import reads the cells around them.
#include "WizardTestSupport.h"
#include "spreadsheet/XLSUtils.h"
#include "tests/spreadsheet/XlsTestUtil.h"

using namespace wiztest;

namespace {

class ExcelDrawingsTest : public WizardTest {
protected:
    void SetUp() override { xls::SetDecimalSeparator(QLatin1Char('.')); }

    QListWidget* Sheets() const { return Find<QListWidget>("ListBoxXLSSheets"); }

    // Excel source -> file -> sheet list (its texts returned) -> mapping of the first sheet ->
    // overview -> run, with the first row taken as the header.
    QStringList Import(const QString& path, int expectedRows)
    {
        owner = FakeOwner();
        Make();
        form->show();
        Find<QListWidget>("ListBoxSourceType")->setCurrentRow(2);
        Next()->click();
        EXPECT_EQ(Page(), "TabSheetXLSFiles");
        Find<QLineEdit>("EditXLSFileName")->setText(path);
        Next()->click();
        EXPECT_EQ(Page(), "TabSheetXLSSheetSelect");
        if (Page() != "TabSheetXLSSheetSelect")
            return {};
        QStringList sheetNames;
        for (int i = 0; i < Sheets()->count(); ++i)
            sheetNames << Sheets()->item(i)->text();
        Sheets()->setCurrentRow(0);
        Next()->click();
        EXPECT_EQ(Page(), "TabSheetCSVAssociations");
        Find<QCheckBox>("CheckBoxIgnoreFirstRow")->setChecked(true);
        Next()->click();
        EXPECT_EQ(Page(), "TabSheetOverview");
        EXPECT_EQ(Panel()->Max(), expectedRows);
        Next()->click();
        EXPECT_EQ(Next()->text(), QStringLiteral("Schließen"));
        return sheetNames;
    }
};

} // namespace

// Each LibreOffice workbook (pictures, a comment and shapes; four charts; list box, combo box and
// button) imports its customer table: the mapping takes columns B, A and C of "Kunden".
TEST_F(ExcelDrawingsTest, LibreOfficeWorkbooksWithDrawingsImportTheirCells)
{
    const struct {
        const char* file;
        QStringList sheets;
    } cases[] = {
        {"drawing-shapes.xls", {"Kunden", "Leer"}},
        {"drawing-charts.xls", {"Kunden"}},
        {"drawing-controls.xls", {"Kunden"}},
    };
    const QList<QStringList> customers = {{QStringLiteral("Köln"), QStringLiteral("Müller"), "10"},
                                          {"Bonn", "Schmidt", "20"},
                                          {"Ulm", "Weber", "30"},
                                          {"Hof", "Koch", "40"},
                                          {"Gera", "Wolf", "50"}};
    Store("XLSAssociations", "2\r\n0\r\n1\r\n");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        QFile source(QStringLiteral(QLY_SOURCE_DIR "/tests/spreadsheet/data/") + c.file);
        ASSERT_TRUE(source.open(QIODevice::ReadOnly));
        const QByteArray bytes = source.readAll();
        // the files hold what this test is about: a drawing group with pictures, or chart substreams
        if (QByteArray(c.file) == "drawing-shapes.xls")
            EXPECT_TRUE(bytes.contains(QByteArray::fromHex("89504e47")));
        if (QByteArray(c.file) == "drawing-charts.xls")
            EXPECT_GE(bytes.count(QByteArray::fromHex("0908100000062000")), 4);
        const QString path = WriteFile(c.file, bytes);
        EXPECT_EQ(Import(path, 5), c.sheets);
        EXPECT_EQ(owner.rows, customers);
    }
}

// A chart sheet listed after the last worksheet, followed by stray bytes in the workbook stream:
// the worksheet before it imports.
TEST_F(ExcelDrawingsTest, ChartSheetListedLastImports)
{
    using namespace xlstest;
    const QStringList strings = {"Name", "Email", "Vorname", "Meier", "meier@x.de", "Hans", "Schulz", "schulz@x.de", "Eva"};
    QByteArray cells = dims8(0, 3, 0, 3);
    for (int i = 0; i < strings.size(); ++i)
        cells += labelsst(i / 3, i % 3, uint32_t(i));
    const QByteArray chartRecords = rec(0x1002, QByteArray(16, 0)) + rec(0x1033, {}) + rec(0x1001, u16(0)) + rec(0x1034, {});
    const QByteArray stream =
        book8({{"Kunden", cells}, {"Diagramm", chartRecords, 0x20}}, sst(strings)) + QByteArray::fromHex("0302030000");
    const QString path = WriteFile("diagramm-zuletzt.xls", compoundFile({{"Workbook", stream}}).bytes);

    Store("XLSAssociations", "2\r\n0\r\n1\r\n");
    EXPECT_EQ(Import(path, 2), QStringList{"Kunden"});
    EXPECT_EQ(owner.rows, (QList<QStringList>{{"meier@x.de", "Meier", "Hans"}, {"schulz@x.de", "Schulz", "Eva"}}));
}
