// CSV files, workbooks and the grid text stream.
#include "ExchangeFixture.h"

#include "grid/GridTypes.h"

#include <QBuffer>
#include <QFile>
#include <QGuiApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace xtest;

namespace {

QString writeFile(const QTemporaryDir& dir, const QString& name, const QByteArray& bytes)
{
    const QString path = dir.filePath(name);
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
    return path;
}

QString dataFile(const char* name) { return QStringLiteral(QLY_TEST_DATA_DIR "/") + QLatin1String(name); }

} // namespace

TEST(LoadFromCSV, FieldsDelimiterAndGrowth)
{
    QTemporaryDir dir;
    auto g = makeGrid(5, 5);
    g->StoreFixedCells = false;
    g->SetCells(4, 4, "keep");
    const QString path = writeFile(dir, "a.csv",
        "name;city,x;n\r\n\"M\xc3\xbcller; Sohn\";\"say \"\"hi\"\"\";1;\n\"abc;def;x\rlast\n");
    g->LoadFromCSV(path);
    EXPECT_TRUE(g->Delimiter.isNull());   // detected for this file only
    EXPECT_EQ(g->ColCount(), 5);
    EXPECT_EQ(g->RowCount(), 5);   // start row 1 + four lines
    EXPECT_EQ(row(*g, 1, 1), QStringList({"name", "city,x", "n", ""}));
    EXPECT_EQ(row(*g, 2, 1), QStringList({QString::fromUtf8("Müller; Sohn"), "say \"hi\"", "1", ""}));
    EXPECT_EQ(row(*g, 3, 1), QStringList({"abc", "def", "x", ""}));
    EXPECT_EQ(row(*g, 4, 1), QStringList({"last", "", "", "keep"}));   // cells no field reaches keep their texts
}

TEST(LoadFromCSV, TildesOemAndFixedDelimiter)
{
    QTemporaryDir dir;
    auto g = makeGrid(3, 2);
    g->StoreFixedCells = false;
    g->TildeLineBreaks = true;
    g->Delimiter = QLatin1Char('|');
    g->LoadFromCSV(writeFile(dir, "t.csv", "a~b|^|c;d\r\n"));
    EXPECT_EQ(row(*g, 1, 1), QStringList({"a\r\nb", "", "c;d"}));
    EXPECT_EQ(g->Delimiter, QLatin1Char('|'));

    auto o = makeGrid(3, 2);
    o->StoreFixedCells = false;
    o->OemConvert = true;
    o->LoadFromCSV(writeFile(dir, "o.csv", "\x81\x94;\x9a\xe1\r\n"));   // ü ö ; Ü ß in IBM850
    EXPECT_EQ(row(*o, 1, 1), QStringList({QString::fromUtf8("üö"), QString::fromUtf8("Üß")}));
}

// A file saved as Unicode text: UTF-16 by its byte-order mark. A surrogate without its partner
// becomes U+FFFD, so every cell can be written out again as UTF-8.
TEST(LoadFromCSV, Utf16WithALoneSurrogate)
{
    QTemporaryDir dir;
    auto g = makeGrid(3, 2);
    g->StoreFixedCells = false;
    g->Delimiter = QLatin1Char(';');
    g->LoadFromCSV(writeFile(dir, "u.csv", QByteArray("\xFF\xFE" "a\0\x09\xDD;\0\xFC\0\r\0\n\0", 14)));
    EXPECT_EQ(row(*g, 1, 1), QStringList({QStringLiteral("a\uFFFD"), QString::fromUtf8("ü")}));
}

TEST(LoadFromCSV, ManyLinesSetTheRowCountExactly)
{
    QTemporaryDir dir;
    QByteArray text;
    for (int i = 0; i < 2500; ++i)
        text += QByteArray::number(i) + ";x\r\n";
    const QString path = writeFile(dir, "many.csv", text);
    auto g = makeGrid(3, 10);
    g->StoreFixedCells = false;
    g->LoadFromCSV(path);
    EXPECT_EQ(g->RowCount(), 2501);
    EXPECT_EQ(g->Cells(1, 2500), "2499");

    // With progress the rows are counted first; progress reaches 100 once.
    auto p = makeGrid(3, 10);
    p->StoreFixedCells = false;
    p->SetFixedFooters(1);
    QList<short> progress;
    p->OnFileProgress = [&](QObject*, short v) { progress << v; };
    p->LoadFromCSV(path);
    EXPECT_EQ(p->RowCount(), 2502);
    EXPECT_EQ(progress.size(), 101);   // 0 .. 100, each once
    EXPECT_EQ(progress.front(), 0);
    EXPECT_EQ(progress.back(), 100);
}

TEST(LoadFromCSV, MissingFileRaisesAndKeepsTheDelimiter)
{
    auto g = makeGrid();
    try {
        g->LoadFromCSV("/no/such.csv");
        FAIL() << "no exception";
    } catch (const grid::EZodUvuzError& e) {
        EXPECT_EQ(e.message(), "Cannot open file /no/such.csv");
    }
    EXPECT_TRUE(g->Delimiter.isNull());
}

TEST(LoadFromCSV, LastRowIsEmptiedOnlyUnderAFooterRow)
{
    QTemporaryDir dir;
    const QString path = writeFile(dir, "f.csv", "1\r\n2\r\n");
    auto g = makeGrid(2, 2);
    g->StoreFixedCells = false;
    g->SetFixedFooters(1);
    g->SetLastRowIsFooter(true);
    g->LoadFromCSV(path);
    EXPECT_EQ(g->RowCount(), 4);
    EXPECT_EQ(column(*g, 1), QStringList({"", "1", "2", ""}));

    auto h = makeGrid(2, 2);   // a footer that shows another row keeps the last line
    h->StoreFixedCells = false;
    h->LoadFromCSV(path);
    EXPECT_EQ(column(*h, 1), QStringList({"", "1", "2"}));
}

// Files written by Python's csv module read as csv.reader reads them.
TEST(LoadFromCSV, AgreesWithPythonsReader)
{
    QTemporaryDir dir;
    for (const char* encoding : {"utf-8-sig", "cp1252"}) {
        const QString path = dir.filePath(QStringLiteral("py-%1.csv").arg(encoding));
        const QString script = QStringLiteral(R"(
import csv, json, sys
rows = [["Name", "Ort", "Notiz"], ["Müller", "Köln; Süd", 'sagt "Grüß Gott"'], ["Ä", "", "x;y;z"],
        ["ende", "1,5", "€ 3"]]
with open(sys.argv[1], "w", newline="", encoding=sys.argv[2]) as f:
    csv.writer(f, delimiter=";", quoting=csv.QUOTE_MINIMAL).writerows(rows)
with open(sys.argv[1], newline="", encoding=sys.argv[2]) as f:
    print(json.dumps(list(csv.reader(f, delimiter=";"))))
)");
        QProcess py;
        py.start("/usr/bin/python3", {"-c", script, path, QString::fromLatin1(encoding)});
        ASSERT_TRUE(py.waitForFinished(30000));
        ASSERT_EQ(py.exitCode(), 0) << py.readAllStandardError().toStdString();
        const QJsonArray rows = QJsonDocument::fromJson(py.readAllStandardOutput()).array();
        auto g = makeGrid(2, 2);
        g->StoreFixedCells = false;
        g->LoadFromCSV(path);
        ASSERT_EQ(g->RowCount(), 1 + rows.size()) << encoding;
        for (int r = 0; r < rows.size(); ++r) {
            const QJsonArray fields = rows[r].toArray();
            for (int c = 0; c < fields.size(); ++c)
                EXPECT_EQ(g->Cells(1 + c, 1 + r), fields[c].toString()) << encoding << " " << r << "," << c;
        }
    }
}

TEST(GridStream, ExactFormatAndRoundTrip)
{
    auto g = makeGrid(3, 3);
    g->SetFixedRows(1);
    g->SetFixedCols(1);
    g->StoreFixedCells = false;
    for (int c = 0; c < 3; ++c)
        g->SetColWidths(c, 64);
    g->SetCells(1, 1, "x");
    QBuffer buf;
    buf.open(QIODevice::ReadWrite);
    g->SaveToStream(buf);
    EXPECT_EQ(buf.data(), QByteArray("2,2\r\ncw 0,64\r\ncw 1,64\r\ncw 2,64\r\n0,0,x\r\n"));

    // Right-fixed columns and footers stay outside the transferred area.
    auto a = makeGrid(6, 6);
    a->StoreFixedCells = false;
    a->SetFixedRightCols(1);
    a->SetFixedFooters(1);
    a->Multilinecells = true;
    a->SetColWidths(2, 99);
    a->SetCells(1, 1, "one");
    a->SetCells(4, 4, "two\r\nlines");
    a->SetCells(5, 5, "footer corner");
    QBuffer s;
    s.open(QIODevice::ReadWrite);
    a->SaveToStream(s);
    s.write("not a cell line\r\nrest");
    for (bool multi : {true, false}) {
        auto b = makeGrid(2, 2);
        b->StoreFixedCells = false;
        b->SetFixedRightCols(1);
        b->SetFixedFooters(1);
        b->Multilinecells = multi;
        s.seek(0);
        b->LoadFromStream(s);
        EXPECT_EQ(b->ColCount(), 6);
        EXPECT_EQ(b->RowCount(), 6);
        EXPECT_EQ(b->FixedRightCols(), 1);
        EXPECT_EQ(b->FixedFooters(), 1);
        EXPECT_EQ(b->ColWidths(2), 99);
        EXPECT_EQ(b->Cells(1, 1), "one");
        EXPECT_EQ(b->Cells(4, 4), multi ? "two\r\nlines" : "two");
        EXPECT_EQ(b->Cells(5, 5), "");
        // The load stopped at the start of the line that is not a cell.
        EXPECT_EQ(s.readAll(), QByteArray("not a cell line\r\nrest"));
    }
}

TEST(GridStream, LinesOutsideTheGridAreSkipped)
{
    QBuffer s;
    s.setData("1,1\r\n0,0,in\r\n5,7,out\r\n");
    s.open(QIODevice::ReadOnly);
    auto g = makeGrid(2, 2);
    g->StoreFixedCells = false;
    g->LoadFromStream(s);
    EXPECT_EQ(g->ColCount(), 2);
    EXPECT_EQ(g->RowCount(), 2);
    EXPECT_EQ(g->Cells(1, 1), "in");
}

TEST(LoadFromXLS, ActiveSheetIntoFixedGrid)
{
    LocaleScope german(QLatin1Char(','));
    auto g = makeGrid(3, 6);
    g->StoreFixedCells = false;
    g->SetCells(1, 4, "old");
    int changes = 0;
    g->OnCellsChanged = [&](QObject*, const QRect&) { ++changes; };
    g->LoadFromXLS(dataFile("exchange-sheets.xls"));
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(g->ColCount(), 3);   // C..D and the fixed column
    EXPECT_EQ(g->RowCount(), 5);   // 2..5 and the fixed row
    EXPECT_EQ(g->FixedCols(), 1);
    EXPECT_EQ(g->FixedRows(), 1);
    EXPECT_EQ(row(*g, 1, 1), QStringList({QString::fromUtf8("Müller"), "3,5"}));
    EXPECT_EQ(row(*g, 2, 1), QStringList({"29.02.2024", "29.02.2024 13:45:30"}));
    EXPECT_EQ(g->Cells(1, 3), "True");
    EXPECT_EQ(g->Cells(2, 3), "");   // xlwt stores no formula result (the BIFF5 test reads results)
    EXPECT_EQ(g->Cells(1, 4), "old");   // #DIV/0! keeps the old text
}

TEST(LoadFromXLS, Biff5OneCellAndErrors)
{
    auto g = makeGrid(2, 2);
    g->LoadFromXLS(QStringLiteral(QLY_SOURCE_DIR "/tests/spreadsheet/data/gnumeric-3d-biff7.xls"));
    EXPECT_EQ(g->Cells(0, 0), "42");   // formula results
    EXPECT_EQ(g->Cells(0, 1), "3");

    auto one = makeGrid(4, 4);
    one->StoreFixedCells = false;
    one->LoadFromXLS(dataFile("one-cell.xls"));
    EXPECT_EQ(one->ColCount(), 2);
    EXPECT_EQ(one->RowCount(), 2);
    EXPECT_EQ(one->Cells(1, 1), "allein");

    QTemporaryDir dir;
    const QString path = writeFile(dir, "text.xls", "just some text, not a workbook\n");
    auto t = makeGrid(2, 2);
    t->SetCells(0, 0, "stays");
    int changes = 0;
    t->OnCellsChanged = [&](QObject*, const QRect&) { ++changes; };
    EXPECT_ANY_THROW(t->LoadFromXLS(path));
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(t->Cells(0, 0), "stays");
}
