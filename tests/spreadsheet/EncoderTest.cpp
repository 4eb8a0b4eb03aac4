// The formula encoder: text to tokens and back, the operator order python3-xlwt writes, errors;
// and the name setters that compile definitions.
#include "spreadsheet/XLSBook.h"
#include "XlsTestUtil.h"

#include <gtest/gtest.h>

using namespace xls;
using namespace xlstest;

namespace {

struct Separators {
    QChar list = ListSeparator(), dec = DecimalSeparator();
    Separators() { SetListSeparator(','); SetDecimalSeparator('.'); }
    ~Separators() { SetListSeparator(list); SetDecimalSeparator(dec); }
};

// A book with four sheets and two names.
struct Book {
    TXLSBook book;
    Book()
    {
        book.Sheets().AddSheet(0)->SetName("Umsatz 2024");
        book.Sheets().AddSheet(0)->SetName("O'Brien");
        book.Sheets().AddSheet(0)->SetName("Sheet3");
        auto& names = book.FormulaHandler().InternalNames();
        names.Add()->SetName("Tax");
        names.Add()->SetName("Rate_2");
    }
    TFormulaHandler& h() { return book.FormulaHandler(); }
    QByteArray encode(const QString& text, int capacity = 1024)
    {
        QByteArray out;
        const int n = h().EncodeFormula(text, out, capacity);
        EXPECT_EQ(n, out.size());
        return out;
    }
    QString roundTrip(const QString& text)
    {
        const QByteArray t = encode(text);
        return h().DecodeFormula(t, int(t.size()));
    }
};

QString errorOf(Book& b, const QString& text, int capacity = 1024)
{
    try {
        b.encode(text, capacity);
    } catch (const EXLSError& e) {
        return e.message();
    }
    return QStringLiteral("(no error)");
}

}   // namespace

TEST(XlsEncoder, FormulasEncodeAndDecodeToTheSameText)
{
    Separators sep;
    Book b;
    const char* formulas[] = {
        "A1", "$A$1", "A$1", "$IV65536", "A1:B2", "$A$1:C$3",
        "Sheet1!A1", "'Umsatz 2024'!A1:B2", "'O''Brien'!$C$3", "Sheet1:Sheet3!A1", "'Sheet1:Umsatz 2024'!B2",
        "Tax", "Tax*Rate_2", "\"Straße\"", "\"\"", "TRUE", "FALSE",
        "0", "65535", "65536", "1.5", "1E20", "0.001",
        "1+2", "1-2", "2*3", "6/3", "2^3", "\"a\"&\"b\"", "1<2", "1<=2", "1=2", "1>=2", "1>2", "1<>2",
        "50%", "-A1", "+A1", "--A1", "(1+2)*3", "((A1))", "1-(2-3)",
        "SUM(A1:B2,C3)", "SUM()", "IF(A1>1,\"ja\",\"nein\")", "IF(A1,,2)", "PI()", "ROUND(A1*Tax,2)",
        "MID(\"abc\",1,2)", "SUM((A1,B1))", "AVERAGE(Sheet1!A1:A3,'Umsatz 2024'!B1)", "NOT(ISERROR(1/0))",
    };
    for (const char* f : formulas) EXPECT_EQ(b.roundTrip(f), f) << f;

    // words are not case-sensitive; the booleans are the book's words
    EXPECT_EQ(b.roundTrip("sum(a1,tax)"), "SUM(A1,Tax)");
    b.book.SetStrTRUE("Wahr");
    b.book.SetStrFALSE("Falsch");
    EXPECT_EQ(b.encode("WAHR"), QByteArray::fromHex("1d01"));
    EXPECT_EQ(b.encode("falsch"), QByteArray::fromHex("1d00"));
    EXPECT_EQ(b.roundTrip("=  A1 "), "A1");
}

TEST(XlsEncoder, OperatorOrderAsXlwtWritesIt)
{
    Separators sep;
    Book b;
    // the RPN of python3-xlwt for the same texts (its length prefix dropped)
    const char* script = "import sys, xlwt\nfor f in sys.argv[1:]: print(xlwt.Formula(f).rpn()[2:].hex())";
    const QStringList texts = {"-1+2", "-A1^2", "2^3^2", "1+2*3-4", "-A1%", "1-2-3", "2*-3", "1=2&3"};
    const QStringList ref = python(script, texts).split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(ref.size(), texts.size());
    for (int i = 0; i < texts.size(); ++i)
        EXPECT_EQ(b.encode(texts[i]).toHex(), ref[i].toLatin1()) << texts[i].toStdString();
    // the same as bytes
    EXPECT_EQ(b.encode("-1+2"), QByteArray::fromHex("1e0100" "13" "1e0200" "03"));
    EXPECT_EQ(b.encode("2^3^2"), QByteArray::fromHex("1e0200" "1e0300" "07" "1e0200" "07"));
}

TEST(XlsEncoder, TokensOfReferencesNamesAndFunctions)
{
    Separators sep;
    Book b;
    struct Case { const char* text; const char* hex; } cases[] = {
        {"B3", "24" "0200" "01c0"},                                   // relative row and column
        {"$B$3", "24" "0200" "0100"},
        {"A1:$B$2", "25" "0000" "0100" "00c0" "0100"},
        {"Tax", "23" "0100" "0000"},
        {"Rate_2", "23" "0200" "0000"},
        {"1.5", "1f" "000000000000f83f"},
        {"\"ab\"", "17" "02" "01" "61006200"},
        {"PI()", "21" "1300"},                                        // fixed argument count
        {"SUM(1,2)", "1e0100" "1e0200" "22" "02" "0400"},              // variable count
        {"IF(A1,,2)", "44" "0000" "00c0" "16" "1e0200" "22" "03" "0100"},
    };
    for (const Case& c : cases) EXPECT_EQ(b.encode(c.text).toHex(), QByteArray(c.hex)) << c.text;

    // a sheet reference makes an EXTERNSHEET entry of the own workbook once
    const QByteArray t1 = b.encode("'Umsatz 2024'!A1");
    const QByteArray t2 = b.encode("'UMSATZ 2024'!B2");
    EXPECT_EQ(t1.left(3), QByteArray::fromHex("3a0000"));
    EXPECT_EQ(t2.left(3), QByteArray::fromHex("3a0000"));
    const TExternalNames& ext = b.h().ExternalNames();
    ASSERT_EQ(ext.ExtSheets().size(), 1u);
    EXPECT_EQ(ext.ExtSheets()[0].FirstSheet, 1);
    EXPECT_EQ(ext.SupBooks()[0]->Kind, 0x0401);
    EXPECT_EQ(ext.SupBooks()[0]->TabCount, 4);
    EXPECT_EQ(b.h().Encoder().LastSheetIndex, 1);
    // another workbook's sheet: a SUPBOOK with its path, shown again in the workbook notation
    EXPECT_EQ(b.roundTrip("'C:\\dir\\[b.xls]Kosten'!A1"), "'C:\\dir\\[b.xls]Kosten'!A1");
    EXPECT_EQ(ext.SupBooks().back()->PathText(false), "C:\\dir\\b.xls");
    EXPECT_EQ(b.roundTrip("[b.xls]Kosten!A1"), "'[b.xls]Kosten'!A1");
}

TEST(XlsEncoder, Errors)
{
    Separators sep;
    Book b;
    const QString longString = '"' + QString(256, 'x') + '"';
    struct Case { QString text; QString error; } cases[] = {
        {"", "Error in formula \rEmpty formula"},
        {"   ", "Error in formula \rEmpty formula"},
        {"Unbekannt*2", "Error in formula Unbekannt*2\rUnknown name Unbekannt"},
        {"SUM(1,2", "Error in formula SUM(1,2\rClosing paranthese missing in function"},
        {"(1+2", "Error in formula (1+2\rMissmatching parantheses"},
        {"1+2)", "Error in formula 1+2)\rMissmatching parantheses"},
        {"ROUND(1)", "Error in formula ROUND(1)\rWrong number of arguments for function ROUND"},
        {"IF(1)", "Error in formula IF(1)\rWrong number of arguments for function IF"},
        {"FOO(1)", "Error in formula FOO(1)\rInvalid function name FOO"},
        {"GOTO(A1)", "Error in formula GOTO(A1)\rInvalid function name GOTO"},
        {longString, "Error in formula " + longString + "\rStrings can have max 255 characthers"},
        {"\"abc", "Error in formula \"abc\rMissing quote characther in string \"abc"},
        {"'Sheet1!A1", "Error in formula 'Sheet1!A1\rEnclosing characther ' missing"},
        {"Nirgends!A1", "Error in formula Nirgends!A1\rInvalid 3D name Nirgends"},
        {"1#2", "Error in formula 1#2\rInvalid symbol #"},
        {"12abc", "Error in formula 12abc\rInvalid constant 12abc"},
        {"1 2", "Error in formula 1 2\rInvalid symbol 2"},
        {QString(65, '-') + "1", "Error in formula " + QString(65, '-') + "1\rTo many unary operators"},
        {"{1}", "Vector constants not supported."},
    };
    for (const Case& c : cases) EXPECT_EQ(errorOf(b, c.text), c.error) << c.text.toStdString();
    EXPECT_EQ(errorOf(b, "SUM(1,2,3)", 10), "Formula buffer overflow.");
    EXPECT_EQ(errorOf(b, "SUM(1,2,3)", 13), "(no error)");
    EXPECT_EQ(errorOf(b, QString(64, '-') + "1"), "(no error)");

    // with an error event the message goes there and nothing is written
    QString reported;
    b.h().Encoder().OnError = [&](const QString& m) { reported = m; };
    QByteArray out;
    EXPECT_EQ(b.h().EncodeFormula("Unbekannt", out, 100), 0);
    EXPECT_TRUE(out.isEmpty());
    EXPECT_EQ(reported, "Error in formula Unbekannt\rUnknown name Unbekannt");
}

TEST(XlsEncoder, NameDefinitionSetter)
{
    Separators sep;
    Book b;
    TInternalNames& names = b.h().InternalNames();
    TInternalName* fresh = names.Add();
    try {
        fresh->SetDefinition("A1");
        ADD_FAILURE();
    } catch (const EXLSError& e) {
        EXPECT_EQ(e.message(), "Name must be set before definition.");
    }
    TInternalName* tax = names.Items(0);
    tax->SetDefinition("'Umsatz 2024'!$A$1:$B$3");
    EXPECT_EQ(tax->Definition(), "'Umsatz 2024'!$A$1:$B$3");
    EXPECT_EQ(tax->Col2(), 1);
    EXPECT_EQ(tax->Row2(), 2);
    EXPECT_EQ(tax->ExtSheet(), 0);
    EXPECT_EQ(tax->SheetIndexWord, 2);

    // print area and print titles of one sheet live side by side; a second print area replaces the first
    TInternalName* titles = names.Add();
    titles->SetBuiltInName(bnPrintTitles);
    titles->SetDefinition("Sheet3!$A$1:$IV$1");
    TInternalName* area = names.Add();
    area->SetBuiltInName(bnPrintArea);
    try {
        area->SetDefinition("1+2");
        ADD_FAILURE();
    } catch (const EXLSError& e) {
        EXPECT_EQ(e.message(), "Name definition must be an area");
    }
    area->SetDefinition("Sheet3!$A$1:$C$9");
    ASSERT_EQ(names.Count(), 5);
    TInternalName* area2 = names.Add();
    area2->SetBuiltInName(bnPrintArea);
    area2->SetDefinition("Sheet3!$A$1:$D$9");
    ASSERT_EQ(names.Count(), 5);
    EXPECT_EQ(names.Items(3)->BuiltInName(), bnPrintTitles);
    EXPECT_EQ(names.Items(4)->Definition(), "Sheet3!$A$1:$D$9");
    // two areas as print titles
    titles->SetDefinition("Sheet3!$A$1:$A$65536,Sheet3!$A$1:$IV$1");
    EXPECT_EQ(titles->DefinitionBytes.size(), 23);
    EXPECT_EQ(titles->Definition(), "Sheet3!$A$1:$A$65536,Sheet3!$A$1:$IV$1");
}
