// The workbook component and its record loop, on workbooks written by other programs and on
// small hand-built ones.
#include "spreadsheet/XLSBook.h"
#include "TestUtil.h"
#include "XlsTestUtil.h"

#include <QFile>
#include <QPointer>
#include <QProcess>
#include <algorithm>
#include <gtest/gtest.h>

using namespace xls;
using namespace xlstest;

namespace {

QString readError(TXLSBook& book, const QByteArray& bytes)
{
    try {
        book.LoadFromData(bytes);
    } catch (const EXLSError& e) {
        return e.message();
    }
    return QString();
}

QByteArray cfb(const QByteArray& workbook) { return compoundFile({{"Workbook", workbook}}).bytes; }

const char* const xlwtBook = R"PY(
import sys, datetime, xlwt
wb = xlwt.Workbook(encoding='utf-8')
s = wb.add_sheet('Kunden')
s.write(0, 0, 'Name'); s.write(0, 1, 'Betrag'); s.write(0, 2, 'Datum'); s.write(0, 3, 'Aktiv')
s.write(1, 0, 'Müller'); s.write(1, 1, 3.5); s.write(1, 2, datetime.date(2008, 1, 1), xlwt.easyxf(num_format_str='DD.MM.YYYY')); s.write(1, 3, True)
s.write(2, 0, 'Ägäis €'); s.write(2, 1, -1234567.25); s.write(2, 3, False)
s.write(3, 0, 'Müller'); s.write(3, 1, 1e20); s.write(3, 2, 0.000001234)
s.row(4).set_cell_error(0, 0x2A); s.row(4).set_cell_error(1, '#DIV/0!')
s.write(5, 0, xlwt.Formula('1+2*3')); s.write(5, 1, xlwt.Formula('SUM(B2:B3)')); s.write(5, 2, 40000)
s2 = wb.add_sheet('Übersicht')
s2.write(2, 1, 'zwei'); s2.write(9, 4, 12)
wb.save(sys.argv[1])
)PY";

}   // namespace

TEST(XlsBook, FreshComponent)
{
    TXLSBook book;
    EXPECT_EQ(book.Sheets().Count(), 1);
    EXPECT_EQ(book.Sheets()[0]->Name(), "Sheet1");
    EXPECT_EQ(book.Version(), xvExcel97);
    EXPECT_EQ(book.MaxRecordSize(), 8224);
    EXPECT_EQ(book.StrTRUE(), "TRUE");
    EXPECT_EQ(book.StrFALSE(), "FALSE");
    EXPECT_FALSE(book.ShowFormulas);
    EXPECT_TRUE(book.PreserveMacros);
    EXPECT_EQ(book.CellFormats().Count(), 21);
    EXPECT_EQ(book.DefaultCellFormat(), book.CellFormats().Item(15));
    EXPECT_EQ(book.Fonts().Count(), 5);
    EXPECT_EQ(book.Font()->Name, "Arial");
    EXPECT_EQ(TXLSBook::ComponentVersion(), "2.02.06");
    EXPECT_EQ(book.Workbook().Options(), woHScroll | woVScroll | woTabs);
    EXPECT_EQ(book.Workbook().Width(), 10000);
    EXPECT_EQ(book.OptionsDialog().CalcMode, cmAutomatic);
    QPointer<TXLSBook> owned;
    {
        QObject owner;
        owned = new TXLSBook(&owner);
    }
    EXPECT_TRUE(owned.isNull());   // freed together with its owner
    TSheet* s = book.Sheets()[0];
    EXPECT_EQ(s->CellText(0, 0), QString());
    EXPECT_EQ(s->FirstRow() + s->LastRow() + s->FirstCol() + s->LastCol(), 0);
    EXPECT_THROW(book.Sheets()[1], EXLSError);
    // renaming to another sheet's name in another letter case shows the message and keeps the name
    QStringList messages;
    book.OnMessage = [&](const QString& m) { messages << m; };
    TSheet* t = book.Sheets().AddSheet(0);
    t->SetName("Daten");
    s->SetName("DATEN");
    EXPECT_EQ(s->Name(), "Sheet1");
    EXPECT_EQ(messages, QStringList{"Sheet name \"DATEN\" allready exists"});
    t->SetName("daten");   // only the case differs: no change
    EXPECT_EQ(t->Name(), "Daten");
}

TEST(XlsBook, XlwtWorkbook)
{
    qlytest::TempDir dir;
    const QString path = dir.file("kunden.xls");
    python(xlwtBook, {path});
    TXLSBook book;
    book.Filename = path;
    book.Read();
    ASSERT_EQ(book.Sheets().Count(), 2);
    EXPECT_EQ(book.Sheets()[0]->Name(), "Kunden");
    EXPECT_EQ(book.Sheets()[1]->Name(), QString::fromUtf8("Übersicht"));
    TSheet* s = book.Sheets()[0];
    SetDecimalSeparator(',');
    EXPECT_EQ(s->CellText(1, 1), "3,5");
    EXPECT_EQ(s->CellText(1, 2), "-1234567,25");
    SetDecimalSeparator('.');
    EXPECT_EQ(s->CellText(1, 1), "3.5");
    EXPECT_EQ(s->CellText(2, 1), "39448");   // a date is its serial number
    EXPECT_EQ(s->CellText(0, 2), QString::fromUtf8("Ägäis €"));
    EXPECT_EQ(s->CellText(3, 1), "TRUE");
    EXPECT_EQ(s->CellText(3, 2), "FALSE");
    EXPECT_EQ(s->CellText(0, 4), "N/A");
    EXPECT_EQ(s->CellText(1, 4), "#DIV/0!");
    EXPECT_EQ(s->CellText(1, 3), "1E20");
    EXPECT_EQ(s->CellText(2, 3), "1.234E-6");
    EXPECT_EQ(s->CellText(9, 9), QString());
    book.SetStrTRUE("WAHR");
    EXPECT_EQ(s->CellText(3, 1), "WAHR");
    book.ShowFormulas = true;
    EXPECT_EQ(s->CellText(0, 5), "1+2*3");
    EXPECT_EQ(s->CellText(1, 5), "SUM(B2:B3)");
    EXPECT_EQ(s->CellText(2, 5), "40000");   // not a formula
    // extents from DIMENSIONS
    EXPECT_EQ(s->FirstRow(), 0);
    EXPECT_EQ(s->LastRow(), 5);
    EXPECT_EQ(s->FirstCol(), 0);
    EXPECT_EQ(s->LastCol(), 3);
    TSheet* u = book.Sheets()[1];
    EXPECT_EQ(u->FirstRow(), 2);
    EXPECT_EQ(u->LastRow(), 9);
    EXPECT_EQ(u->FirstCol(), 1);
    EXPECT_EQ(u->LastCol(), 4);
    EXPECT_EQ(u->CellText(4, 9), "12");
}

TEST(XlsBook, OtherProgramsFilesReadLikeXlrd)
{
    qlytest::TempDir dir;
    const QString xlwtPath = dir.file("xlwt.xls");
    python(xlwtBook, {xlwtPath});
    crossCheck(xlwtPath);
    // gnumeric: BIFF5 (Excel 95, 8-bit texts in the code page) and BIFF8, from one text file
    QFile txt(dir.file("data.txt"));
    ASSERT_TRUE(txt.open(QIODevice::WriteOnly));
    txt.write(QString::fromUtf8("Name\tWert\tDatum\tFlag\n"
                                "Müller €\t3.5\t2008-01-01\tTRUE\n"
                                "Zitat “x” – y‚ „z“\t-0.000001234\t\tFALSE\n"
                                "Œuvre š\t1E+20\tabc\t#N/A\n"
                                "\t123456789012345678\t0.1\t=1/0\n").toUtf8());
    txt.close();
    for (const char* format : {"Gnumeric_Excel:excel_biff7", "Gnumeric_Excel:excel_biff8"}) {
        const QString out = dir.file(QStringLiteral("ss-%1.xls").arg(QLatin1String(format).right(5)));
        QProcess p;
        p.start("ssconvert", {"--import-type=Gnumeric_stf:stf_csvtab", "-T", format, txt.fileName(), out});
        ASSERT_TRUE(p.waitForFinished(60000));
        ASSERT_TRUE(QFile::exists(out)) << format;
        crossCheck(out);
    }
}

TEST(XlsBook, ErrorWrapperNamesRecordIdAndOffset)
{
    // the fourth record of the sheet stream is a NUMBER whose body is too short
    QByteArray sheet = dims8(0, 1, 0, 1) + number(0, 0, 1) + rec(0x0203, u16(0) + u16(1) + u16(15));
    QByteArray wb = book8({{QStringLiteral("S"), sheet}});
    int records = 0;
    qint64 pos = 0, errorEnd = 0;
    while (pos + 4 <= wb.size()) {
        int id = uint8_t(wb[pos]) | (uint8_t(wb[pos + 1]) << 8);
        int len = uint8_t(wb[pos + 2]) | (uint8_t(wb[pos + 3]) << 8);
        if (id == 0x0203 && len == 6) {
            errorEnd = pos + 4 + len;
            break;
        }
        ++records;
        pos += 4 + len;
    }
    TXLSBook book;
    const QString msg = readError(book, cfb(wb));
    EXPECT_TRUE(msg.startsWith(QString::asprintf("Error on reading record # %d, 0203 Offs: %.8X\r", records, uint32_t(errorEnd))))
        << msg.toStdString();
    // the sheet read so far stays
    ASSERT_EQ(book.Sheets().Count(), 1);
    EXPECT_EQ(book.Sheets()[0]->CellText(0, 0), "1");
}

TEST(XlsBook, RecordLoopCases)
{
    // an oversized record is skipped in a BIFF5 file (limit 2080) and the next one is read
    {
        QByteArray sheet = rec(0x00E1, QByteArray(2100, 0)) + number(0, 0, 8);
        TXLSBook book;
        book.LoadFromData(compoundFile({{"Book", book5({{QStringLiteral("B5"), sheet}})}}).bytes);
        EXPECT_EQ(book.Version(), xvExcel50);
        EXPECT_EQ(book.MaxRecordSize(), 2080);
        EXPECT_EQ(book.Sheets()[0]->Name(), "B5");
        EXPECT_EQ(book.Sheets()[0]->CellText(0, 0), "8");
    }
    // a record after the last EOF is not read; three BOUNDSHEETs give three sheets
    {
        QByteArray wb = book8({{"A", number(0, 0, 1)}, {"B", number(0, 0, 2)}, {"C", number(0, 0, 3)}});
        wb += rec(0x0203, QByteArray(3, 0));   // would fail if it were read
        TXLSBook book;
        book.LoadFromData(cfb(wb));
        ASSERT_EQ(book.Sheets().Count(), 3);
        EXPECT_EQ(book.Sheets()[2]->Name(), "C");
        EXPECT_EQ(book.Sheets()[2]->CellText(0, 0), "3");
    }
    // a chart sheet between worksheets takes no sheet index; an embedded chart in sheet 1 of 2
    // leaves sheet 2's name and cells intact
    {
        // chart records whose ids end in 09 (0x1009) open no substream of their own
        QByteArray chart = bof8(0x20) + rec(0x1001, u16(0)) + rec(0x1009, u16(0)) + rec(0x0203, QByteArray(3, 0)) + rec(0x000A, {});
        QByteArray first = number(0, 0, 1) + rec(0x005D, QByteArray(26, 0)) + chart + number(1, 0, 11);
        QByteArray chartSheetRecords = rec(0x1001, u16(0)) + rec(0x1002, QByteArray(16, 0));
        QByteArray wb = book8({{"Eins", first}, {"Diagramm", chartSheetRecords, 0x20}, {"Zwei", number(0, 0, 2)}});
        TXLSBook book;
        book.LoadFromData(cfb(wb));
        ASSERT_EQ(book.Sheets().Count(), 2);
        EXPECT_EQ(book.Sheets()[0]->Name(), "Eins");
        EXPECT_EQ(book.Sheets()[0]->CellText(0, 1), "11");
        EXPECT_EQ(book.Sheets()[1]->Name(), "Zwei");
        EXPECT_EQ(book.Sheets()[1]->CellText(0, 0), "2");
        ASSERT_EQ(book.SheetCharts().size(), 1);
        EXPECT_EQ(book.SheetCharts()[0].Name, "Diagramm");
    }
    // records of a custom view are neither dispatched nor stored nor counted
    {
        QByteArray sheet = number(0, 0, 1) + rec(0x01AA, QByteArray(8, 0)) + rec(0x0203, QByteArray(3, 0)) +
                           rec(0x00EC, QByteArray(4, 0)) + rec(0x01AB, {}) + rec(0x0203, QByteArray(3, 0));
        QByteArray wb = book8({{"S", sheet}});
        TXLSBook book;
        QString msg = readError(book, cfb(wb));
        // records: BOF, BOUNDSHEET, EOF, BOF, NUMBER, USERSVIEWBEGIN, then the failing NUMBER is # 6
        EXPECT_TRUE(msg.startsWith("Error on reading record # 6, 0203")) << msg.toStdString();
    }
}

TEST(XlsBook, ProgressEvents)
{
    QByteArray sheet;
    for (int i = 0; i < 245; ++i) sheet += number(i, 0, i);
    QByteArray wb = book8({{"S", sheet}});   // 250 records
    TXLSBook book;
    QList<int> values;
    book.OnProgress = [&](void*, int v) { values << v; };
    book.LoadFromData(cfb(wb));
    ASSERT_EQ(values.size(), 4);
    EXPECT_EQ(values.first(), 0);
    EXPECT_EQ(values.last(), 100);
    EXPECT_GT(values[1], 0);
    EXPECT_LT(values[1], values[2]);
    EXPECT_LE(values[2], 100);
}

TEST(XlsBook, FormulaResultsStringsSharedAndArrays)
{
    const QByteArray relUp = u8(0x2C) + u16(0xFFFF) + u16(0xC000);   // the cell one row up
    const QByteArray exp = u8(0x01) + u16(1) + u16(0);
    QByteArray sheet = number(0, 0, 10)
        // string result: the STRING record follows and is not stored raw
        + formula8Special(0, 1, 0, 0, u8(0x17) + u8(3) + u8(0) + QByteArray("abc")) + rec(0x0207, str16(QString::fromUtf8("Größe")))
        + formula8Special(0, 2, 1, 1, u8(0x1D) + u8(1))
        + formula8Special(0, 3, 2, 0x07, u8(0x1C) + u8(0x07))
        + formula8(0, 4, 5, QByteArray())                         // empty token list: no cell
        // shared formula A2:A4 = cell above + 1
        + formula8(1, 0, 11, exp, 0x0008) + rec(0x04BC, u16(1) + u16(3) + u8(0) + u8(0) + u16(0) + u16(relUp.size() + 4) + relUp + u8(0x1E) + u16(1) + u8(0x03))
        + formula8(2, 0, 12, u8(0x01) + u16(1) + u16(0), 0x0008)
        // a shared formula that cannot be converted keeps its cached result
        + formula8(3, 0, 13, u8(0x01) + u16(3) + u16(0), 0x0008) + rec(0x04BC, u16(3) + u16(3) + u8(0) + u8(0) + u16(0) + u16(1) + u8(0x7F))
        // array formula with a text result
        + formula8Special(5, 0, 0, 0, u8(0x01) + u16(5) + u16(0)) + rec(0x0221, u16(5) + u16(5) + u8(0) + u8(0) + u16(0) + u32(0) + u16(4) + u8(0x17) + u8(1) + u8(0) + QByteArray("q"))
        + rec(0x0207, str16("txt"))
        + formula8(6, 0, 2.5, u8(0x01) + u16(6) + u16(0)) + rec(0x0221, u16(6) + u16(6) + u8(0) + u8(0) + u16(0) + u32(0) + u16(3) + u8(0x1E) + u16(7));
    TXLSBook book;
    book.LoadFromData(cfb(book8({{"S", sheet}})));
    TSheet* s = book.Sheets()[0];
    EXPECT_EQ(s->CellText(1, 0), QString::fromUtf8("Größe"));
    EXPECT_EQ(s->CellText(2, 0), "TRUE");
    EXPECT_EQ(s->CellText(3, 0), "#DIV/0!");
    EXPECT_EQ(s->Cell(4, 0), nullptr);
    EXPECT_EQ(s->CellText(0, 1), "11");
    EXPECT_EQ(s->CellText(0, 3), "13");
    EXPECT_EQ(s->CellText(0, 5), "txt");
    EXPECT_EQ(s->CellText(0, 6), "2.5");
    for (int i = 0; i < s->RecordStorage().Count(); ++i) EXPECT_NE(s->RecordStorage().Item(i)->Id, 0x0207);
    book.ShowFormulas = true;
    EXPECT_EQ(s->CellText(1, 0), "\"abc\"");
    EXPECT_EQ(s->CellText(0, 1), "A1+1");
    EXPECT_EQ(s->CellText(0, 2), "A2+1");
    EXPECT_EQ(s->CellText(0, 5), "\"q\"");
    EXPECT_EQ(s->CellText(0, 6), "7");
}

TEST(XlsBook, TextResultAfterTheFormulasOwnRecords)
{
    // The STRING record comes after the formula's TABLE, ARRAY or SHRFMLA record.
    const QByteArray exp = u8(0x01) + u16(0) + u16(0);
    const QByteArray table = rec(0x0236, u16(0) + u16(1) + u8(0) + u8(0) + u16(0) + u16(0) + u16(0) + u16(0) + u16(0));
    const QByteArray relLeft = u8(0x2C) + u16(0) + u16(0xC000 | 0xFF);   // the cell to the left
    const QByteArray shrfmla = rec(0x04BC, u16(1) + u16(2) + u8(1) + u8(1) + u16(0) + u16(relLeft.size()) + relLeft);
    QByteArray sheet = formula8Special(0, 0, 0, 0, exp) + table + rec(0x0207, str16("nach TABLE"))
        // a text result whose formula does not say it starts the shared range
        + formula8Special(1, 0, 0, 0, u8(0x17) + u8(1) + u8(0) + QByteArray("a")) + shrfmla + rec(0x0207, str16("nach SHRFMLA"))
        + formula8(1, 1, 4, u8(0x01) + u16(1) + u16(1), 0x0008)
        + formula8Special(3, 0, 0, 0, exp) + rec(0x0207, str16("direkt")) + number(4, 0, 5);
    TXLSBook book;
    book.LoadFromData(cfb(book8({{"S", sheet}})));
    TSheet* s = book.Sheets()[0];
    EXPECT_EQ(s->CellText(0, 0), "nach TABLE");
    EXPECT_EQ(s->CellText(0, 1), "nach SHRFMLA");
    EXPECT_EQ(s->CellText(1, 1), "4");
    EXPECT_EQ(s->CellText(0, 3), "direkt");
    EXPECT_EQ(s->CellText(0, 4), "5");
    book.ShowFormulas = true;
    EXPECT_EQ(s->CellText(1, 1), "A2");   // the skipped SHRFMLA is the shared formula of B2
    bool tableKept = false;
    for (int i = 0; i < s->RecordStorage().Count(); ++i) tableKept |= s->RecordStorage().Item(i)->Id == 0x0236;
    EXPECT_TRUE(tableKept);
}

TEST(XlsBook, TextsLongerThanOneRecord)
{
    // Excel's way: every CONTINUE piece starts with its own option byte; here the characters
    // turn 16-bit in the second piece.
    const int first = 8224 - 3;
    const QString head(first, 'a'), tail(779, QChar(0x20AC));
    const QByteArray strRecord = rec(0x0207, u16(first + 779) + u8(0) + head.toLatin1());
    QByteArray wide;
    for (QChar c : tail) wide += u16(c.unicode());
    const QByteArray cont = rec(0x003C, u8(1) + wide);
    QByteArray sheet = formula8Special(0, 0, 0, 0, u8(0x17) + u8(1) + u8(0) + QByteArray("x")) + strRecord + cont + number(1, 0, 2);
    TXLSBook book;
    book.LoadFromData(cfb(book8({{"Lang", sheet}, {"Danach", number(0, 0, 3)}})));
    ASSERT_EQ(book.Sheets().Count(), 2);
    EXPECT_EQ(book.Sheets()[0]->CellText(0, 0), head + tail);
    EXPECT_EQ(book.Sheets()[0]->CellText(0, 1), "2");
    EXPECT_EQ(book.Sheets()[1]->CellText(0, 0), "3");

    // gnumeric's way: the bytes go on as they are (a 16-bit text split inside a character), and
    // a BIFF7 LABEL goes on over CONTINUE records.
    for (const char* file : {"gnumeric-long-texts-biff7.xls", "gnumeric-long-texts-biff8.xls"}) {
        SCOPED_TRACE(file);
        TXLSBook g;
        g.Filename = QStringLiteral(QLY_TEST_DATA_DIR "/") + file;
        g.Read();
        ASSERT_EQ(g.Sheets().Count(), 2);
        TSheet* s = g.Sheets()[0];
        EXPECT_EQ(s->CellText(0, 0), QString(9000, 'x'));
        EXPECT_EQ(s->CellText(1, 0), QString("ab").repeated(4600));
        EXPECT_EQ(s->CellText(2, 0), QString::fromUtf8("ä€").repeated(2500));
        EXPECT_EQ(s->CellText(0, 1), "danach");
        EXPECT_EQ(g.Sheets()[1]->Name(), "Danach");
        EXPECT_EQ(g.Sheets()[1]->CellText(0, 0), "42");
    }
}

TEST(XlsBook, TextCellsAndStringTableAsOtherWritersLeaveThem)
{
    // an empty BIFF8 LABEL without its option byte
    {
        QByteArray sheet = rec(0x0204, u16(0) + u16(0) + u16(15) + u16(0)) + rec(0x0204, u16(1) + u16(0) + u16(15) + u16(2) + str8body("ok"));
        TXLSBook book;
        book.LoadFromData(cfb(book8({{"S", sheet}})));
        EXPECT_EQ(book.Sheets()[0]->CellText(0, 0), QString());
        EXPECT_NE(book.Sheets()[0]->Cell(0, 0), nullptr);
        EXPECT_EQ(book.Sheets()[0]->CellText(0, 1), "ok");
    }
    // CONTINUE records inside the table holding nothing, or nothing but an option byte
    {
        QByteArray table = rec(0x00FC, u32(2) + u32(2) + u16(4) + u8(0) + QByteArray("ab")) + rec(0x003C, u8(0)) + rec(0x003C, {}) +
                           rec(0x003C, u8(1) + u16('c') + u16(0x20AC)) + rec(0x003C, str16("x"));
        TXLSBook book;
        book.LoadFromData(cfb(book8({{"S", labelsst(0, 0, 0) + labelsst(1, 0, 1)}}, table)));
        EXPECT_EQ(book.Sheets()[0]->CellText(0, 0), QString::fromUtf8("abc€"));
        EXPECT_EQ(book.Sheets()[0]->CellText(0, 1), "x");
    }
    // a table declaring more strings than it holds: the missing ones are empty, beyond the
    // declared count an index is still an error
    {
        QByteArray table = rec(0x00FC, u32(9) + u32(5) + str16("eins") + str16("zwei"));
        TXLSBook book;
        book.LoadFromData(cfb(book8({{"S", labelsst(0, 0, 1) + labelsst(1, 0, 4) + number(2, 0, 7)}}, table)));
        TSheet* s = book.Sheets()[0];
        EXPECT_EQ(s->CellText(0, 0), "zwei");
        EXPECT_EQ(s->CellText(0, 1), QString());
        EXPECT_NE(s->Cell(0, 1), nullptr);
        EXPECT_EQ(s->CellText(0, 2), "7");
        TXLSBook beyond;
        EXPECT_TRUE(readError(beyond, cfb(book8({{"S", labelsst(0, 0, 5)}}, table))).contains("\rRead error at 0000"));
    }
    // BIFF8 records in a stream named "BOOK": the version is the first BOF's; the four zero bytes
    // its writer leaves after some records read as an empty record 0x0000, which is no DIMENSIONS
    {
        TXLSBook book;
        const QByteArray sheet = dims8(0, 1, 0, 1) + rec(0x0026, f64(0.25)) + rec(0x0000, {}) + number(0, 0, 1);
        book.LoadFromData(compoundFile({{"BOOK", book8({{QString::fromUtf8("Blätter"), sheet}})}}).bytes);
        EXPECT_EQ(book.Sheets()[0]->LastRow(), 0);
        EXPECT_EQ(book.Version(), xvExcel97);
        EXPECT_EQ(book.Sheets()[0]->Name(), QString::fromUtf8("Blätter"));
        EXPECT_EQ(book.Sheets()[0]->CellText(0, 0), "1");
    }
}

TEST(XlsBook, ExtentsAndColumnsBeyondTheGrid)
{
    struct Case { QByteArray dims; int fr, lr, fc, lc; };
    const Case cases[] = {
        {dims8(0, 65536, 0, 256), 0, 65535, 0, 255},
        {dims8(3, 7, 2, 5), 3, 6, 2, 4},
        {dims8(0, 70000, 0, 300), 0, 65535, 0, 255},
        {QByteArray(), 0, 0, 0, 0},
    };
    for (const Case& c : cases) {
        TXLSBook book;
        book.LoadFromData(cfb(book8({{"S", c.dims + number(0, 0, 1)}})));
        TSheet* s = book.Sheets()[0];
        EXPECT_EQ(s->FirstRow(), c.fr);
        EXPECT_EQ(s->LastRow(), c.lr);
        EXPECT_EQ(s->FirstCol(), c.fc);
        EXPECT_EQ(s->LastCol(), c.lc);
    }
    // a cell in column 256 (key column 0) must not replace the cell in column 0
    TXLSBook book;
    book.LoadFromData(cfb(book8({{"S", number(0, 0, 1) + number(0, 256, 2) + number(0, 300, 3)}})));
    EXPECT_EQ(book.Sheets()[0]->CellText(0, 0), "1");
}

TEST(XlsBook, CellsWhereverTheirRowRecordSaysTheyAre)
{
    // A ROW record announces the row's columns before its cells; writers get it wrong at times.
    auto row = [](int r, int first, int lastPlus1) {
        return rec(0x0208, u16(r) + u16(first) + u16(lastPlus1) + u16(255) + u16(0) + u16(0) + u16(0x0100) + u16(15));
    };
    struct Case { const char* name; QByteArray rowRecords; QList<int> cols; };
    const Case cases[] = {
        {"as announced", row(0, 0, 3), {0, 1, 2}},
        {"cells left and right of the range", row(0, 4, 6), {0, 4, 5, 9, 200}},
        {"a range wider than the cells", row(0, 0, 60), {3, 59}},
        {"a range too wide to set aside", row(0, 0, 256), {0, 128, 255}},
        {"at the grid's right edge", row(0, 250, 256), {250, 255, 249}},
        {"an empty or reversed range", row(0, 5, 5) + row(0, 9, 2), {2, 5, 9}},
        {"two records for one row", row(0, 0, 2) + row(0, 10, 12), {0, 1, 10, 11}},
        {"a range past the grid", row(0, 250, 300), {251, 255}},
    };
    for (const Case& c : cases) {
        QByteArray cells;
        for (int col : c.cols) cells += number(0, col, col + 1);
        // the records before the cells, as writers put them, and after them
        for (const QByteArray& sheet : {c.rowRecords + cells, cells + c.rowRecords}) {
            TXLSBook book;
            book.LoadFromData(cfb(book8({{"S", sheet}})));
            TSheet* s = book.Sheets()[0];
            for (int col : c.cols) EXPECT_EQ(s->CellText(col, 0), QString::number(col + 1)) << c.name << " column " << col;
            int stored = 0;
            s->Cells().ForEach([&](uint32_t, TCell*) { ++stored; });
            EXPECT_EQ(stored, c.cols.size()) << c.name;
            const TSheet::TUsedArea area = s->UsedArea();
            EXPECT_LE(area.firstCol, *std::min_element(c.cols.begin(), c.cols.end())) << c.name;
            EXPECT_EQ(area.lastCol, *std::max_element(c.cols.begin(), c.cols.end())) << c.name;
        }
    }
}

TEST(XlsBook, SettingsRecordsOfAnyLength)
{
    // two SELECTIONs of different lengths, the first with several ranges; a PASSWORD inside a sheet
    QByteArray sel2 = rec(0x001D, u8(3) + u16(4) + u16(2) + u16(1) + u16(2) + u16(0) + u16(0) + u8(0) + u8(0) + u16(4) + u16(9) + u8(2) + u8(3));
    QByteArray sel1 = rec(0x001D, u8(3) + u16(1) + u16(1) + u16(0) + u16(1) + u16(1) + u16(1) + u8(1) + u8(1));
    TXLSBook book;
    book.LoadFromData(cfb(book8({{"S", sel2 + sel1 + rec(0x0013, u16(0)) + number(0, 0, 1)}})));
    TSheet* s = book.Sheets()[0];
    EXPECT_EQ(s->RecordStorage().Slot(0x001D)->Length(), 15);
    EXPECT_EQ(s->SelectedAreas().Areas.size(), 1);
    EXPECT_EQ(s->CellText(0, 0), "1");
}

TEST(XlsBook, Biff2To4PlainFiles)
{
    AnsiCodec().setCodePage(1252);
    // BIFF2: DIMENSIONS, INTEGER, NUMBER, LABEL in Windows-1252, a formula with a boolean result
    QByteArray b2 = rec(0x0009, u16(2) + u16(0x10)) + rec(0x0000, u16(1) + u16(4) + u16(0) + u16(3))
        + rec(0x0002, u16(1) + u16(0) + QByteArray(3, 0) + u16(42))
        + rec(0x0003, u16(2) + u16(1) + QByteArray(3, 0) + f64(2.25))
        + rec(0x0004, u16(3) + u16(2) + QByteArray(3, 0) + u8(7) + QByteArray("\x93" "5 \x80\x94 \x96", 7))
        + rec(0x0006, u16(2) + u16(2) + QByteArray(3, 0) + u8(1) + u8(0) + u8(1) + QByteArray(3, 0) + u8(0xFF) + u8(0xFF) + u8(0) + u8(2) + u8(0x1D) + u8(1))
        + rec(0x000A, {}) + rec(0x0003, QByteArray(3, 0));
    // BIFF3: INDEX, DIMENSIONS, RK, LABEL (8-bit, code page), XF records
    QByteArray b3 = rec(0x0209, u16(3) + u16(0x10)) + rec(0x020B, QByteArray(12, 0)) + rec(0x0243, QByteArray(12, 0))
        + rec(0x0200, u16(0) + u16(2) + u16(1) + u16(3))
        + rec(0x027E, u16(0) + u16(1) + u16(0) + u32(0x00000083))
        + rec(0x0204, u16(1) + u16(2) + u16(0) + u16(4) + QByteArray("\x84" "ab\x93", 4)) + rec(0x000A, {});
    // BIFF4: formula whose number cell is replaced by its text result
    QByteArray b4 = rec(0x0409, u16(0) + u16(0x10)) + rec(0x0200, u16(0) + u16(1) + u16(0) + u16(1))
        + rec(0x0406, u16(0) + u16(0) + u16(0) + u8(0) + u8(0) + u8(0) + u8(0) + u8(0) + u8(0) + u8(0xFF) + u8(0xFF) + u16(0) + u16(4) + u8(0x17) + u8(2) + QByteArray("hi"))
        + rec(0x0207, u16(2) + QByteArray("hi")) + rec(0x000A, {});
    qlytest::TempDir dir;
    TXLSBook book;
    book.Filename = writeFile(dir.path(), "b2.xls", b2);
    book.Read();
    EXPECT_EQ(book.Version(), xvExcel21);
    ASSERT_EQ(book.Sheets().Count(), 1);
    TSheet* s = book.Sheets()[0];
    EXPECT_EQ(s->Name(), "Sheet1");
    EXPECT_EQ(s->FirstRow(), 1);
    EXPECT_EQ(s->LastRow(), 3);
    EXPECT_EQ(s->LastCol(), 2);
    EXPECT_EQ(s->CellText(0, 1), "42");
    EXPECT_EQ(s->CellText(1, 2), "2.25");
    EXPECT_EQ(s->CellText(2, 3), QString::fromUtf8("“5 €” –"));
    EXPECT_EQ(s->CellText(2, 2), "TRUE");
    ASSERT_NE(s->Cell(0, 1)->Format(), nullptr);   // BIFF2 cells get a usable format
    EXPECT_EQ(s->Cell(0, 1)->FormatIndex(), 15);

    book.LoadFromData(b3);
    EXPECT_EQ(book.Version(), xvExcel30);
    s = book.Sheets()[0];
    EXPECT_EQ(s->CellText(1, 0), "0.32");
    EXPECT_EQ(s->CellText(2, 1), QString::fromUtf8("„ab“"));
    EXPECT_EQ(s->FirstCol(), 1);
    EXPECT_EQ(s->LastCol(), 2);
    EXPECT_EQ(s->LastRow(), 1);

    book.LoadFromData(b4);
    EXPECT_EQ(book.Version(), xvExcel40);
    EXPECT_EQ(book.Sheets()[0]->CellText(0, 0), "hi");
    EXPECT_EQ(book.Sheets()[0]->Cell(0, 0)->CellType(), ctStringFormula);

    TXLSBook ws;
    QString msg = readError(ws, rec(0x0409, u16(0) + u16(0x0100)) + rec(0x000A, {}));
    EXPECT_TRUE(msg.endsWith("BIFF4 Workbook unhandled")) << msg.toStdString();
}

TEST(XlsBook, Biff8RichStringIsReadLikeALabel)
{
    QByteArray rstring = rec(0x00D6, u16(0) + u16(0) + u16(15) + u16(3) + str8body(QString::fromUtf8("a€b")) + u16(0));
    QByteArray label = rec(0x0204, u16(1) + u16(0) + u16(15) + u16(2) + str8body("xy"));
    TXLSBook book;
    book.LoadFromData(cfb(book8({{"S", rstring + label}})));
    EXPECT_EQ(book.Sheets()[0]->CellText(0, 0), QString::fromUtf8("a€b"));
    EXPECT_EQ(book.Sheets()[0]->CellText(0, 1), "xy");
}

TEST(XlsBook, Encryption)
{
    const QByteArray plain = book8({{"Geheim", dims8(0, 2, 0, 1) + number(0, 0, 4.5) + labelsst(1, 0, 0)}},
                                   sst({QString::fromUtf8("vertraulich ü")}), rec(0x00E1, u16(1200)));
    const QByteArray locked = cfb(encryptWorkbook(plain, "Passwort1"));
    qlytest::TempDir dir;
    const QString path = writeFile(dir.path(), "enc.xls", locked);
    // the file is what the published RC4 scheme gives: msoffcrypto-tool decrypts it
    const QString outPath = dir.file("dec.xls");
    python("import msoffcrypto,sys\nf=msoffcrypto.OfficeFile(open(sys.argv[1],'rb'))\nf.load_key(password='Passwort1')\nf.decrypt(open(sys.argv[2],'wb'))", {path, outPath});
    EXPECT_EQ(python("import olefile,sys\nd=olefile.OleFileIO(sys.argv[1]).openstream('Workbook').read()\n"
                     "print(b'vertraulich \\xfc' in d, d.count(b'\\x03\\x02\\x0e\\x00'))", {outPath}).trimmed(),
              "True 1");

    auto attempt = [&](std::function<void(TXLSBook&)> setup) {
        TXLSBook book;
        setup(book);
        return readError(book, locked);
    };
    QString noHandler = attempt([](TXLSBook&) {});
    EXPECT_TRUE(noHandler.contains(", 002F Offs: ")) << noHandler.toStdString();
    EXPECT_TRUE(noHandler.endsWith("\rFile is encrypted. Password required.")) << noHandler.toStdString();
    EXPECT_TRUE(attempt([](TXLSBook& b) { b.OnPassword = [](TXLSBook*, QString& p) { p = "falsch"; }; }).endsWith("Invalid password"));
    EXPECT_TRUE(attempt([](TXLSBook& b) { b.OnPassword = [](TXLSBook*, QString&) {}; }).endsWith("Password is missing."));
    TXLSBook good;
    good.OnPassword = [](TXLSBook*, QString& p) { p = "Passwort1" + QString(20, 'z').left(0); };
    good.LoadFromData(locked);
    EXPECT_EQ(good.Sheets()[0]->Name(), "Geheim");
    EXPECT_EQ(good.Sheets()[0]->CellText(0, 0), "4.5");
    EXPECT_EQ(good.Sheets()[0]->CellText(0, 1), QString::fromUtf8("vertraulich ü"));
    // the interface header stays in plain text in the file and is kept as it was
    bool interfaceHeader = false;
    for (int i = 0; i < good.GlobalsStorage().Count(); ++i)
        if (good.GlobalsStorage().Item(i)->Id == 0x00E1) interfaceHeader = good.GlobalsStorage().Item(i)->Data == u16(1200);
    EXPECT_TRUE(interfaceHeader);
    // a password longer than 31 characters counts with its first 31
    const QString longPw = QString("abcdefghijklmnopqrstuvwxyz0123456789ABCD");
    TXLSBook longBook;
    longBook.OnPassword = [&](TXLSBook*, QString& p) { p = longPw; };
    longBook.LoadFromData(cfb(encryptWorkbook(plain, longPw.left(31))));
    EXPECT_EQ(longBook.Sheets()[0]->CellText(0, 0), "4.5");
    // write protection only: the default password opens it without asking
    TXLSBook wp;
    wp.LoadFromData(cfb(encryptWorkbook(plain, "VelvetSweatshop")));
    EXPECT_EQ(wp.Sheets()[0]->CellText(0, 0), "4.5");
    // other kinds of encryption
    struct Kind { QByteArray body; const char* message; };
    const Kind kinds[] = {
        {u16(0) + u16(0x1234) + u16(0x5678), "File encrypted with non-standard key. French?"},
        {u16(2) + QByteArray(52, 0), "Can not read file, unknown type of encryption."},
        {u16(1) + u16(2) + u16(2) + QByteArray(60, 0), "Can not read file, unknown type of encryption."},   // RC4 CryptoAPI
        {u16(1) + u16(4) + u16(2) + QByteArray(60, 0), "Can not read file, unknown type of encryption."},
    };
    for (const Kind& k : kinds) {
        TXLSBook b;
        b.OnPassword = [](TXLSBook*, QString& p) { p = "x"; };
        QString msg = readError(b, cfb(book8({{"S", number(0, 0, 1)}}, {}, rec(0x002F, k.body))));
        EXPECT_TRUE(msg.endsWith(QLatin1String(k.message))) << msg.toStdString();
    }
}

TEST(XlsBook, EncryptedSheetBofAcrossABlockBoundary)
{
    // globals padded so that the sheet's BOF starts in one 1024-byte block and ends in the next
    auto sheetBof = [](const QByteArray& stream) {
        qint64 pos = 0;
        int count = 0;
        while (pos + 4 <= stream.size()) {
            int id = uint8_t(stream[pos]) | (uint8_t(stream[pos + 1]) << 8);
            int len = uint8_t(stream[pos + 2]) | (uint8_t(stream[pos + 3]) << 8);
            if (id == 0x0809 && ++count == 2) return pos;
            pos += 4 + len;
        }
        return qint64(-1);
    };
    QByteArray enc;
    for (int pad = 0; pad < 1100 && enc.isEmpty(); ++pad) {
        QByteArray plain = book8({{"S", number(0, 0, 6) + labelsst(1, 0, 0)}}, rec(0x00E1, QByteArray(pad, 'p')) + sst({"x"}));
        QByteArray e = encryptWorkbook(plain, "pw");
        qint64 bof = sheetBof(e);
        if (bof % 1024 > 1024 - 12) enc = e;   // header and body cross the boundary
    }
    ASSERT_FALSE(enc.isEmpty());
    TXLSBook book;
    book.OnPassword = [](TXLSBook*, QString& p) { p = "pw"; };
    book.LoadFromData(cfb(enc));
    EXPECT_EQ(book.Sheets()[0]->CellText(0, 0), "6");
    EXPECT_EQ(book.Sheets()[0]->CellText(0, 1), "x");
}

TEST(XlsBook, Biff5TextsInTheWorkbooksCodePage)
{
    const QByteArray sheet = rec(0x0204, u16(0) + u16(0) + u16(15) + u16(3) + QByteArray("\xc0\xe1\x96", 3));
    TXLSBook cyrillic;
    cyrillic.LoadFromData(compoundFile({{"Book", book5({{"S", sheet}}, rec(0x0042, u16(1251)))}}).bytes);
    EXPECT_EQ(cyrillic.Sheets()[0]->CellText(0, 0), QString::fromUtf8("Аб–"));
    TXLSBook western;   // the next read starts from Windows-1252 again
    western.LoadFromData(compoundFile({{"Book", book5({{"S", sheet}})}}).bytes);
    EXPECT_EQ(western.Sheets()[0]->CellText(0, 0), QString::fromUtf8("Àá–"));
}

TEST(XlsBook, FontsPaletteAndSheetSettings)
{
    QByteArray fonts;
    for (int i = 0; i < 5; ++i)
        fonts += rec(0x0031, u16(200 + 20 * i) + u16(i == 4 ? 0x0002 : 0) + u16(i == 4 ? 10 : 0x7FFF) + u16(i == 4 ? 700 : 400) + u16(0) +
                             u8(i == 4 ? 1 : 0) + u8(2) + u8(0) + u8(0) + u8(5) + str8body(QStringLiteral("Font%1").arg(i)));
    QByteArray palette = rec(0x0092, u16(2) + u32(0x00112233) + u32(0x00445566));
    QByteArray sheet = rec(0x0014, str16("Kopf")) + rec(0x0015, QByteArray()) + rec(0x0026, f64(0.75)) + rec(0x0029, f64(1.5))
        + rec(0x001B, u16(1) + u16(10) + u16(0) + u16(255)) + rec(0x0041, u16(0) + u16(3) + u16(3) + u16(0) + u8(2) + u8(0))
        + rec(0x001D, u8(2) + u16(5) + u16(1) + u16(0) + u16(1) + u16(5) + u16(5) + u8(1) + u8(1))
        + rec(0x0867, QByteArray(19, 0) + u16(0x0005)) + number(0, 0, 1);
    TXLSBook book;
    book.LoadFromData(cfb(book8({{"S", sheet}}, fonts + palette)));
    ASSERT_EQ(book.Fonts().Count(), 6);   // index 4 is left out: the fifth font read is font 5
    const TXFont* f5 = book.Fonts().Item(5);
    EXPECT_EQ(f5->Name, "Font4");
    EXPECT_EQ(f5->Size20, 280);
    EXPECT_EQ(f5->Style, xfsBold | xfsItalic);
    EXPECT_EQ(f5->Color, 10);
    EXPECT_EQ(f5->Underline, xulSingle);
    EXPECT_EQ(book.Fonts().Item(0)->Color, 8);   // colour index above 255 becomes 8
    EXPECT_EQ(PaletteColor(8), 0x112233u);
    EXPECT_EQ(PaletteColor(9), 0x445566u);
    TSheet* s = book.Sheets()[0];
    EXPECT_EQ(s->PrintSettings().Header, "Kopf");
    EXPECT_EQ(s->PrintSettings().Footer, QString());
    EXPECT_EQ(s->PrintSettings().MarginLeft, 0.75);
    EXPECT_EQ(s->PrintSettings().MarginBottom, 1.5);
    EXPECT_EQ(s->PrintSettings().MarginTop, -1.0);
    ASSERT_EQ(s->PrintSettings().HorizPagebreaks.size(), 1);
    EXPECT_EQ(s->PrintSettings().HorizPagebreaks[0].Row, 9);
    EXPECT_EQ(s->PrintSettings().HorizPagebreaks[0].Col2, 254);
    EXPECT_EQ(s->Pane().PaneType, ptSplit);
    EXPECT_EQ(s->Pane().SplitRowY, 3);
    EXPECT_EQ(s->Pane().Selections.size(), 1);
    EXPECT_EQ(s->SheetProtection, 5);
    // the SELECTION after the PANE belongs to the pane: the sheet's slot keeps its default
    EXPECT_EQ(s->Selection().ActiveRow(), 1);
    EXPECT_EQ(s->Selection().ActiveCol(), 1);
    s->Selection().SetActiveRow(7);
    EXPECT_EQ(s->Selection().Row1(), 7);
    EXPECT_EQ(s->Selection().Row2(), 7);
    EXPECT_EQ(s->Options(), soGridlines | soRowColHeadings | soShowZeros);   // the default WINDOW2 word 0x04B6
    s->SetOptions(soShowFormulas);
    EXPECT_EQ(s->WindowOptions(), 0x04A1);
    EXPECT_EQ(s->WorkspaceOptions(), woShowAutoBreaks | woRowSumsBelow | woColSumsRight | woOutlineSymbols);
    EXPECT_EQ(s->CellText(0, 0), "1");
    // a new component starts from the default palette again
    TXLSBook fresh;
    EXPECT_EQ(PaletteColor(8), 0u);
    // a pane type above 3 is refused
    TXLSBook bad;
    EXPECT_TRUE(readError(bad, cfb(book8({{"S", rec(0x0041, u16(0) + u16(0) + u16(0) + u16(0) + u8(4) + u8(0))}}))).endsWith("Value out of range"));
}

TEST(XlsBook, RecordLoopErrors)
{
    struct Case { const char* name; QByteArray workbook; const char* ending; };
    const Case cases[] = {
        {"id with bit 15", book8({{"S", rec(0x8203, QByteArray(14, 0))}}), "\rBad record in file"},
        {"string index out of range", book8({{"S", labelsst(0, 0, 5)}}, sst({"a"})), "\rRead error at 0000"},
        {"globals BOF too long", rec(0x0809, u16(0x600) + u16(5) + QByteArray(300, 0)), "\rInvalid BOF size"},
        {"XCT without its CRN", book8({{"S", number(0, 0, 1)}}, rec(0x0059, u16(2) + u16(0)) + rec(0x005A, QByteArray(4, 0))), "\rCRN record missing"},
        {"string type", book8({{"S", number(0, 0, 1)}}, rec(0x00FC, u32(1) + u32(1) + u16(1) + u8(0x02) + QByteArray("a"))), "\rSTT: Unhandled string type in Read (02)"},
    };
    for (const Case& c : cases) {
        TXLSBook book;
        const QString msg = readError(book, cfb(c.workbook));
        EXPECT_TRUE(msg.startsWith("Error on reading record # ")) << c.name << ": " << msg.toStdString();
        EXPECT_TRUE(msg.contains(QLatin1String(c.ending))) << c.name << ": " << msg.toStdString();
    }
}
