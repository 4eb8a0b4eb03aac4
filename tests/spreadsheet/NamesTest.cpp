// Defined names and external references: NAME, SUPBOOK, EXTERNSHEET, EXTERNNAME, XCT/CRN, the
// formula texts they give, and the damage policy of their records.
#include "spreadsheet/XLSBook.h"
#include "XlsTestUtil.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <gtest/gtest.h>

using namespace xls;
using namespace xlstest;

namespace {

const QString libreOfficeFile = QStringLiteral(QLY_TEST_DATA_DIR "/libreoffice-names.xls");

QByteArray cfb(const QByteArray& stream) { return compoundFile({{"Workbook", stream}}).bytes; }

// The list separator is process-wide; tests that show formulas set it and put it back.
struct ListSep {
    QChar old = ListSeparator();
    explicit ListSep(QChar c) { SetListSeparator(c); }
    ~ListSep() { SetListSeparator(old); }
};

// A NAME record: options, name (8-bit), tokens.
QByteArray nameRec(int options, const QByteArray& rawNameChars, const QByteArray& tokens, int sheet = 0)
{
    return rec(0x0018, u16(options) + u8(0) + u8(int(rawNameChars.size())) + u16(int(tokens.size())) + u16(0) +
                           u16(sheet) + u32(0) + u8(0) + rawNameChars + tokens);
}
QByteArray area3d(int ext, int r1, int r2, int c1, int c2) { return u8(0x3B) + u16(ext) + u16(r1) + u16(r2) + u16(c1) + u16(c2); }
QByteArray ref3d(int ext, int r, int c) { return u8(0x3A) + u16(ext) + u16(r) + u16(c); }
QByteArray ownSupBook(int sheets) { return rec(0x01AE, u16(sheets) + u16(0x0401)); }
QByteArray externSheet(const QList<QList<int>>& entries)
{
    QByteArray b = u16(int(entries.size()));
    for (const auto& e : entries) b += u16(e[0]) + u16(e[1]) + u16(e[2]);
    return rec(0x0017, b);
}
// A SUPBOOK of an external file: encoded path (8-bit) and sheet names.
QByteArray fileSupBook(const QByteArray& path, const QStringList& sheets)
{
    QByteArray b = u16(int(sheets.size())) + u16(int(path.size())) + u8(0) + path;
    for (const QString& s : sheets) b += str16(s);
    return rec(0x01AE, b);
}
QByteArray externName(int options, const QString& name, const QByteArray& def = QByteArray())
{
    QByteArray b = u16(options) + u16(0) + u16(0) + u8(int(name.size())) + str8body(name);
    if (options <= 1) b += u16(int(def.size())) + def;
    return rec(0x0023, b);
}

}   // namespace

TEST(XlsNames, LibreOfficeNamesAgreeWithXlrd)
{
    TXLSBook book;
    book.Filename = libreOfficeFile;
    book.Read();
    TInternalNames& names = book.FormulaHandler().InternalNames();
    ASSERT_EQ(names.Count(), 3);

    TInternalName* print = names.Items(0);
    EXPECT_EQ(print->RawName, QByteArray("\x00\x06", 2));
    EXPECT_EQ(print->Name(), "");
    EXPECT_EQ(print->BuiltInName(), bnPrintArea);
    EXPECT_EQ(print->SheetIndexWord, 1);

    const int gruppe = names.FindName("GRUPPE");
    ASSERT_EQ(gruppe, 1);
    TInternalName* g = names.Items(gruppe);
    EXPECT_EQ(g->Name(), "Gruppe");
    EXPECT_EQ(g->BuiltInName(), bnNone);
    EXPECT_EQ(g->Definition(), "Kunden!$A$1:$B$3");
    EXPECT_EQ(g->Col1(), 0);
    EXPECT_EQ(g->Row1(), 0);
    EXPECT_EQ(g->Col2(), 1);
    EXPECT_EQ(g->Row2(), 2);
    EXPECT_EQ(g->ExtSheet(), 0);

    // a one-letter name keeps its letter
    TInternalName* x = names.Items(2);
    EXPECT_EQ(x->RawName, QByteArray("\x00x", 2));
    EXPECT_EQ(x->Name(), "x");
    EXPECT_EQ(x->Definition(), "Kunden!$C$2");
    EXPECT_EQ(x->Col1(), 2);
    EXPECT_EQ(x->Row1(), 1);
    EXPECT_EQ(x->Col2(), 2);
    EXPECT_EQ(x->Row2(), 1);
    EXPECT_EQ(names.FindName("X"), 2);

    {
        ListSep sep(',');
        book.ShowFormulas = true;
        EXPECT_EQ(book.Sheets()[0]->CellText(2, 3), "SUM(C2,Gruppe)");
        EXPECT_EQ(book.Sheets()[1]->CellText(0, 0), "Kunden!C2*2");
        book.ShowFormulas = false;
        EXPECT_EQ(book.Sheets()[0]->CellText(2, 3), "28");
    }

    // every name as xlrd reads it: name, built-in flag, area and formula text
    const char* script = R"PY(
import json, sys, xlrd
from xlrd.formula import decompile_formula, FMLA_TYPE_NAME, oREF
b = xlrd.open_workbook(sys.argv[1])
out = []
for n in b.name_obj_list:
    area = None
    if n.result is not None and n.result.kind == oREF and len(n.result.value) == 1:
        area = list(n.result.value[0].coords)
    out.append({"name": n.name, "builtin": n.builtin, "area": area,
                "text": decompile_formula(b, n.raw_formula, len(n.raw_formula), FMLA_TYPE_NAME)})
print(json.dumps(out))
)PY";
    const QJsonArray ref = QJsonDocument::fromJson(python(script, {libreOfficeFile}).toUtf8()).array();
    ASSERT_EQ(ref.size(), names.Count());
    for (int i = 0; i < names.Count(); ++i) {
        const QJsonObject r = ref[i].toObject();
        TInternalName* n = names.Items(i);
        SCOPED_TRACE(r["name"].toString().toStdString());
        EXPECT_EQ(n->BuiltInName() != bnNone, r["builtin"].toInt() == 1);
        if (n->BuiltInName() == bnNone) EXPECT_EQ(n->Name(), r["name"].toString());
        EXPECT_EQ(n->Definition(), r["text"].toString());
        const QJsonArray a = r["area"].toArray();
        ASSERT_EQ(a.size(), 6);
        EXPECT_EQ(n->Row1(), a[2].toInt());
        EXPECT_EQ(n->Row2(), a[3].toInt() - 1);
        EXPECT_EQ(n->Col1(), a[4].toInt());
        EXPECT_EQ(n->Col2(), a[5].toInt() - 1);
    }
}

TEST(XlsNames, ExternalReferenceTables)
{
    // own workbook, add-in functions, an external file with two sheets and a DDE link
    const QByteArray globals =
        ownSupBook(3) +
        rec(0x01AE, u16(1) + u16(0x3A01)) + externName(0, "EUROCONVERT", QByteArray::fromHex("1c17")) +
        fileSupBook(QByteArray("\x01\x01" "Cdir\x03" "sub\x03" "b.xls"), {"Sheet1", "O'Brien"}) +
        rec(0x0059, u16(1) + u16(1)) + rec(0x005A, u8(0) + u8(0) + u16(4) + u8(1) + f64(2.5)) +
        externName(0, "Zins") +
        fileSupBook(QByteArray("DDEAPP\x03topic"), {}) + externName(0x7FE2, "item") + externName(0x0012, "Objekt") +
        externSheet({{0, 0, 0}, {0, 0, 2}, {2, 0, 0}, {2, 1, 1}, {3, 0, 0}, {1, 0xFFFE, 0xFFFE}, {0, 5, 5}, {9, 0, 0}});
    TXLSBook book;
    book.LoadFromData(cfb(book8({{"Sheet1", number(0, 0, 1)}, {"Umsatz 2024", QByteArray()}, {"Sheet3", QByteArray()}}, globals)));
    const TExternalNames& ext = book.FormulaHandler().ExternalNames();
    ASSERT_EQ(ext.SupBooks().size(), 4u);
    EXPECT_EQ(ext.SupBooks()[0]->Kind, 0x0401);
    EXPECT_EQ(ext.SupBooks()[0]->TabCount, 3);
    EXPECT_TRUE(ext.SupBooks()[0]->Path.isEmpty());
    EXPECT_EQ(ext.SupBooks()[1]->Kind, 0x3A01);
    EXPECT_TRUE(ext.SupBooks()[1]->Sheets.empty());
    ASSERT_EQ(ext.SupBooks()[1]->Names.size(), 1u);
    EXPECT_EQ(ext.SupBooks()[1]->Names[0]->ExtNameType(), 0);
    EXPECT_EQ(static_cast<TExtNameName*>(ext.SupBooks()[1]->Names[0].get())->Definition, QByteArray::fromHex("1c17"));
    EXPECT_EQ(ext.SupBooks()[3]->Names[0]->ExtNameType(), 1);
    EXPECT_EQ(ext.SupBooks()[3]->Names[1]->ExtNameType(), 2);   // OLE link
    EXPECT_EQ(ext.SupBooks()[3]->Names[1]->Write(), rec(0x0023, u16(0x12) + u32(0) + u8(6) + str8body("Objekt")));
    ASSERT_EQ(ext.ExtSheets().size(), 8u);
    EXPECT_EQ(ext.ExtSheets()[1].LastSheet, 2);
    EXPECT_EQ(ext.ExtSheetToSheet(0), 0);
    EXPECT_EQ(ext.ExtSheetToSheet(2), -1);
    EXPECT_EQ(ext.ExtSheetToSheet(7), -1);   // no such SUPBOOK
    // the cached cells went to the second sheet of the last SUPBOOK with sheets
    ASSERT_EQ(ext.SupBooks()[2]->Sheets[1].CRNs.size(), 1u);
    EXPECT_EQ(ext.SupBooks()[2]->Sheets[1].CRNs[0].Row, 4);
    EXPECT_EQ(ext.SupBooks()[2]->PathText(false), "C:\\dir\\sub\\b.xls");

    struct Case { int kind, index, nameNumber; const char* text; } cases[] = {
        {2, 0, -1, "Sheet1!"},
        {2, 1, -1, "Sheet1:Sheet3!"},
        {2, 2, -1, "'C:\\dir\\sub\\[b.xls]Sheet1'!"},
        {2, 3, -1, "'C:\\dir\\sub\\[b.xls]O''Brien'!"},
        {2, 2, 1, "C:\\dir\\sub\\[b.xls]Zins"},
        {2, 2, 5, "C:\\dir\\sub\\[b.xls]#NAME?"},
        {2, 4, 1, "DDEAPP|topic!item"},
        {2, 5, 1, "EUROCONVERT"},
        {2, 6, -1, "#REF!"},   // own workbook, sheet 5 of 3
        {2, 7, -1, "#REF!"},   // SUPBOOK 9 of 4
        {2, 99, -1, "#REF!"},  // entry 99 of 8
        {0, 0, 1, "#NAME?"},   // no defined names
        {4, 1, -1, "Umsatz 2024"},
        {3, 2, -1, "Sheet3"},
    };
    for (const Case& c : cases) {
        QString t;
        EXPECT_TRUE(book.FormulaHandler().NameCallback(c.kind, c.index, t, 0, 0, c.nameNumber));
        EXPECT_EQ(t, c.text) << c.kind << " " << c.index << " " << c.nameNumber;
    }
    // EXTERNNAME writes its record back
    EXPECT_EQ(ext.SupBooks()[2]->Names[0]->Write(), externName(0, "Zins"));
    // the encoder finds a name of another workbook by its file
    QByteArray tokens;
    book.FormulaHandler().EncodeFormula("'C:\\dir\\sub\\b.xls'!zins", tokens, 100);
    EXPECT_EQ(tokens.toHex(), "39020001000000");
    EXPECT_THROW(book.FormulaHandler().EncodeFormula("'C:\\dir\\sub\\b.xls'!Nichts", tokens, 100), EXLSError);
}

TEST(XlsNames, PathForms)
{
    struct Case { QByteArray path; bool sheets; const char* plain; const char* formula; } cases[] = {
        {QByteArray("\x01\x01" "Cdir\x03" "b.xls"), true, "C:\\dir\\b.xls", "C:\\dir\\[b.xls]"},
        {QByteArray("\x01\x01@srv\x03share\x03" "b.xls"), true, "\\\\srv\\share\\b.xls", "\\\\srv\\share\\[b.xls]"},
        {QByteArray("\x01\x04\x04" "b.xls"), true, "..\\..\\b.xls", "..\\..\\[b.xls]"},
        {QByteArray("\x01\x02" "b.xls"), true, "\\b.xls", "\\[b.xls]"},
        {QByteArray("\x01\x05\x06\x07\x08" "b.xls"), true, "b.xls", "[b.xls]"},
        {QByteArray("b.xls"), true, "b.xls", "[b.xls]"},
        {QByteArray("APP\x03topic"), false, "APP\\topic", "APP|topic!"},
    };
    for (const Case& c : cases) {
        for (bool wide : {false, true}) {
            TSupBook sb;
            sb.Path = wide ? StringToRawText16(QString::fromLatin1(c.path)) : QByteArray(1, '\0') + c.path;
            if (c.sheets) sb.Sheets.push_back(TSupBookSheet{StringToRawText("S"), {}});
            EXPECT_EQ(sb.PathText(false), c.plain) << c.plain << " wide " << wide;
            EXPECT_EQ(sb.PathText(true), c.formula) << c.plain << " wide " << wide;
        }
    }
}

TEST(XlsNames, DamagedRecordsCostOnlyThemselves)
{
    // Each damaged record is kept raw and reported once; the cells are read as before.
    struct Case { const char* what; QByteArray globals; QByteArray sheet; const char* message; } cases[] = {
        {"CRN before any SUPBOOK", rec(0x0059, u16(1) + u16(0)) + rec(0x005A, u8(0) + u8(0) + u16(0)), {}, "No SUPBOOK for CRN"},
        {"CRN for a sheet the SUPBOOK lacks", fileSupBook("b.xls", {"S"}) + rec(0x0059, u16(1) + u16(1)) + rec(0x005A, QByteArray(4, 0)), {},
         "Invalid SUPBOOK Sheet Index"},
        {"EXTERNNAME before any SUPBOOK", externName(0, "n"), {}, "No SUPBOOK for EXTERNNAME"},
        {"EXTERNSHEET count past its record", rec(0x0017, u16(5) + QByteArray(6, 0)), {}, "Offs:"},
        {"NAME text past its record", rec(0x0018, u16(0) + u8(0) + u8(40) + u16(0) + QByteArray(8, 0) + u8(0) + "ab"), {}, "Offs:"},
        {"NAME tokens past its record", rec(0x0018, u16(0) + u8(0) + u8(3) + u16(9) + QByteArray(8, 0) + u8(0) + "abc" + u8(0x3A) + u8(0)), {}, "Offs:"},
        {"SUPBOOK sheet names past its record", rec(0x01AE, u16(3) + u16(1) + u8(0) + "b" + str16("S")), {}, "Offs:"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TXLSBook book;
        QStringList messages;
        book.OnMessage = [&](const QString& m) { messages << m; };
        book.LoadFromData(cfb(book8({{"S", number(0, 0, 1) + number(1, 0, 2)}, {"T", number(0, 0, 3)}}, c.globals)));
        ASSERT_EQ(messages.size(), 1);
        EXPECT_TRUE(messages[0].startsWith("Error on reading record # ")) << messages[0].toStdString();
        EXPECT_TRUE(messages[0].contains(c.message)) << messages[0].toStdString();
        EXPECT_EQ(book.Sheets()[0]->CellText(0, 1), "2");
        EXPECT_EQ(book.Sheets()[1]->CellText(0, 0), "3");
    }

    // a NAME that cannot be read keeps its place: the next name keeps its number
    TXLSBook book;
    book.OnMessage = [](const QString&) {};
    const QByteArray bad = rec(0x0018, u16(0) + u8(0) + u8(40) + u16(0) + QByteArray(8, 0) + u8(0) + "ab");
    book.LoadFromData(cfb(book8({{"S", formula8(0, 0, 1, u8(0x23) + u16(2) + u16(0))}},
                                ownSupBook(1) + externSheet({{0, 0, 0}}) + bad + nameRec(0, "Zwei", ref3d(0, 0, 0)))));
    ASSERT_EQ(book.FormulaHandler().InternalNames().Count(), 2);
    book.ShowFormulas = true;
    EXPECT_EQ(book.Sheets()[0]->CellText(0, 0), "Zwei");
    EXPECT_EQ(book.FormulaHandler().InternalNames().Items(1)->Definition(), "S!$A$1");
}

TEST(XlsNames, LongExternSheetGoesOnInContinueRecords)
{
    // 1500 entries: 9002 bytes, more than one record holds
    QList<QList<int>> entries;
    for (int i = 0; i < 1500; ++i) entries.append({0, i % 2, i % 2});
    QByteArray all = externSheet(entries).mid(4);
    const QByteArray records = rec(0x0017, all.left(8000)) + rec(0x003C, all.mid(8000));
    TXLSBook book;
    QStringList messages;
    book.OnMessage = [&](const QString& m) { messages << m; };
    book.LoadFromData(cfb(book8({{"A", formula8(0, 0, 1, u8(0x3A) + u16(1499) + u16(0) + u16(0xC000))}}, ownSupBook(2) + records)));
    EXPECT_TRUE(messages.isEmpty());
    ASSERT_EQ(book.FormulaHandler().ExternalNames().ExtSheets().size(), 1500u);
    EXPECT_EQ(book.FormulaHandler().ExternalNames().ExtSheets()[1499].FirstSheet, 1);
    book.ShowFormulas = true;
    EXPECT_EQ(book.Sheets()[0]->CellText(0, 0), "#REF!A1");   // sheet 1 of a one-sheet workbook
}

TEST(XlsNames, SheetNamesInFormulasAreQuotedWhenNeeded)
{
    struct Case { const char* sheet; const char* shown; } cases[] = {
        {"Umsatz 2024", "'Umsatz 2024'!A1"}, {"O'Brien", "'O''Brien'!A1"}, {"Kunden", "Kunden!A1"},
        {"2024", "'2024'!A1"}, {"AB12", "'AB12'!A1"}, {"Daten_1.2", "Daten_1.2!A1"},
    };
    for (const Case& c : cases) {
        TXLSBook book;
        book.LoadFromData(cfb(book8({{"S", formula8(0, 0, 1, ref3d(0, 0, 0xC000))}, {c.sheet, QByteArray()}},
                                    ownSupBook(2) + externSheet({{0, 1, 1}}))));
        book.ShowFormulas = true;
        EXPECT_EQ(book.Sheets()[0]->CellText(0, 0), c.shown);
    }
    // a 3-D range names both sheets
    TXLSBook book;
    book.LoadFromData(cfb(book8({{"S", formula8(0, 0, 1, ref3d(0, 0, 0xC000))}, {"T", QByteArray()}, {"U 1", QByteArray()}},
                                ownSupBook(3) + externSheet({{0, 0, 2}}))));
    book.ShowFormulas = true;
    EXPECT_EQ(book.Sheets()[0]->CellText(0, 0), "'S:U 1'!A1");
}

TEST(XlsNames, Biff5ThreeDReferenceShowsItsSheet)
{
    // BIFF5 3-D reference: own workbook (negative index), sheets 1 to 1, then the cell B3
    const QByteArray tokens = u8(0x3A) + u16(0xFFFF) + QByteArray(8, 0) + u16(1) + u16(1) + u16(2) + u8(1);
    const QByteArray range = u8(0x3A) + u16(0xFFFF) + QByteArray(8, 0) + u16(0) + u16(1) + u16(2) + u8(1);
    QByteArray f5 = u16(0) + u16(0) + u16(15) + f64(1) + u16(0) + u32(0) + u16(int(tokens.size())) + tokens;
    QByteArray g5 = u16(1) + u16(0) + u16(15) + f64(1) + u16(0) + u32(0) + u16(int(range.size())) + range;
    TXLSBook book;
    book.LoadFromData(cfb(book5({{"Erste", rec(0x0006, f5) + rec(0x0006, g5)}, {"Zweite Tabelle", number(2, 1, 5)}})));
    book.ShowFormulas = true;
    EXPECT_EQ(book.Sheets()[0]->CellText(0, 0), "'Zweite Tabelle'!$B$3");
    EXPECT_EQ(book.Sheets()[0]->CellText(0, 1), "'Erste:Zweite Tabelle'!$B$3");
}

TEST(XlsNames, NameSettersAndStreaming)
{
    TXLSBook book;
    TInternalNames& names = book.FormulaHandler().InternalNames();
    TInternalName* tax = names.Add();
    tax->SetName("tax");
    EXPECT_EQ(tax->RawName, StringToRawText16("tax"));
    EXPECT_EQ(names.FindName("TAX"), 0);
    TInternalName* other = names.Add();
    struct Case { const char* name; const char* error; } cases[] = {
        {"ab", "Invalid name. Must be at least 3 characters"},
        {"TAX", "There is allready an area named TAX"},
    };
    for (const Case& c : cases) {
        try {
            other->SetName(c.name);
            ADD_FAILURE() << c.name;
        } catch (const EXLSError& e) {
            EXPECT_EQ(e.message(), c.error);
        }
    }
    other->SetName("Rate");
    EXPECT_EQ(names.FindName("rate"), 1);
    tax->SetName("Steuer");   // renaming frees the old name
    EXPECT_EQ(names.FindName("tax"), -1);
    EXPECT_EQ(names.FindName("steuer"), 0);

    // built-in codes
    other->SetBuiltInName(bnPrintTitles);
    EXPECT_EQ(other->RawName, QByteArray("\x00\x07", 2));
    EXPECT_EQ(other->Name(), "");
    EXPECT_EQ(other->BuiltInName(), bnPrintTitles);
    EXPECT_EQ(names.FindName("rate"), -1);
    other->SetBuiltInName(bnNone);
    EXPECT_EQ(other->BuiltInName(), bnNone);

    // a definition of another shape has no area
    tax->DefinitionBytes = QByteArray::fromHex("1e0100");
    tax->TokenCount = 3;
    EXPECT_EQ(tax->Definition(), "1");
    EXPECT_EQ(tax->ExtSheet(), -1);
    try {
        tax->Col1();
        ADD_FAILURE();
    } catch (const EXLSError& e) {
        EXPECT_EQ(e.message(), "Name is not of requested type.");
    }
    // area words: rows and columns written back, the relative flags of a column kept
    tax->DefinitionBytes = area3d(3, 1, 2, 0xC004, 5);
    EXPECT_EQ(tax->ExtSheet(), 3);
    EXPECT_EQ(tax->Col1(), 4);
    tax->SetCol1(7);
    tax->SetRow2(9);
    EXPECT_EQ(tax->DefinitionBytes, area3d(3, 1, 9, 0xC007, 5));

    // streaming as hex text
    EXPECT_EQ(tax->NameName(), "01530074006500750065007200");
    tax->SetNameDef("1E0A00");
    EXPECT_EQ(tax->DefinitionBytes, QByteArray::fromHex("1e0a00"));
    try {
        tax->SetNameName("ABC");
        ADD_FAILURE();
    } catch (const EXLSError& e) {
        EXPECT_EQ(e.message(), "Length error in hex string.");
    }
    EXPECT_EQ(tax->Name(), "Steuer");
}

TEST(XlsNames, OwnWorkbookNamesAndDeletedReferences)
{
    // an external-name token into this workbook names a defined name, a sheet's own one with its
    // sheet; a 3-D reference to deleted cells shows the sheet once
    const QByteArray globals = ownSupBook(2) + externSheet({{0, 0, 0}, {0, 0xFFFE, 0xFFFE}}) +
                               nameRec(0, "Global", ref3d(0, 0, 0)) + nameRec(0, "Lokal", ref3d(0, 1, 1), 2);
    const QByteArray sheet = formula8(0, 0, 1, u8(0x39) + u16(1) + u16(1) + u16(0)) +
                             formula8(1, 0, 1, u8(0x39) + u16(1) + u16(2) + u16(0)) +
                             formula8(2, 0, 1, u8(0x39) + u16(1) + u16(7) + u16(0)) +
                             formula8(3, 0, 1, u8(0x3C) + u16(0) + u16(0) + u16(0));
    TXLSBook book;
    book.LoadFromData(cfb(book8({{"Eins", sheet}, {"Zwei Drei", QByteArray()}}, globals)));
    book.ShowFormulas = true;
    TSheet* s = book.Sheets()[0];
    EXPECT_EQ(s->CellText(0, 0), "Global");
    EXPECT_EQ(s->CellText(0, 1), "'Zwei Drei'!Lokal");
    EXPECT_EQ(s->CellText(0, 2), "#NAME?");
    EXPECT_EQ(s->CellText(0, 3), "Eins!#REF!");
}

TEST(XlsNames, LibreOfficeFileReadsLikeXlrd)
{
    crossCheck(libreOfficeFile);
}

TEST(XlsNames, GnumericBiff5FormulasShowTheirSheets)
{
    QChar old = ListSeparator();
    SetListSeparator(',');
    TXLSBook book;
    book.Filename = QStringLiteral(QLY_TEST_DATA_DIR "/gnumeric-3d-biff7.xls");
    book.Read();
    ASSERT_EQ(book.Version(), xvExcel50);
    TSheet* s = book.Sheets()[0];
    EXPECT_EQ(s->CellText(0, 0), "42");
    book.ShowFormulas = true;
    EXPECT_EQ(s->CellText(0, 0), "'Zweite Tabelle'!B3*2");
    EXPECT_EQ(s->CellText(0, 1), "SUM(Dritte!A1:A2)");
    SetListSeparator(old);
    crossCheck(book.Filename);
}
