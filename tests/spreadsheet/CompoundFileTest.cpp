#include "spreadsheet/CompoundFile.h"
#include "spreadsheet/XLSBook.h"
#include "spreadsheet/XLSStream.h"
#include "TestUtil.h"
#include "DrawingTestUtil.h"
#include "XlsTestUtil.h"

#include <QElapsedTimer>
#include <functional>
#include <gtest/gtest.h>

using namespace xls;
using namespace xlstest;

namespace {
QByteArray oneSheetBook()
{
    return book8({{QStringLiteral("S"), dims8(0, 1, 0, 1) + number(0, 0, 7)}});
}

TExcelVersion detect(const QByteArray& bytes)
{
    TXLSStream s;
    try {
        return s.OpenData(bytes);
    } catch (const EXLSError&) {
        return xvNone;
    }
}
}

TEST(XlsCompoundFile, Detection)
{
    const QByteArray wb = oneSheetBook();
    const QByteArray wb5 = book5({{QStringLiteral("S"), number(0, 0, 7)}});
    QByteArray noVersion = wb5;
    noVersion[4] = 0;
    noVersion[5] = 0;
    struct Case { const char* name; QByteArray bytes; TExcelVersion v; };
    const Case cases[] = {
        {"WORKBOOK any case", compoundFile({{"WORKBOOK", wb}}).bytes, xvExcel97},
        // the version comes from the first BOF, the stream's name only chooses the stream
        {"BIFF5 in Book", compoundFile({{"Book", wb5}}).bytes, xvExcel50},
        {"BIFF8 in BOOK", compoundFile({{"BOOK", wb}}).bytes, xvExcel97},
        {"BIFF5 in Workbook", compoundFile({{"Workbook", wb5}}).bytes, xvExcel50},
        {"BOF without a known version in Book", compoundFile({{"Book", noVersion}}).bytes, xvExcel50},
        {"both: Workbook first", compoundFile({{"Book", wb5}, {"Workbook", wb}}).bytes, xvExcel97},
        {"version 4 sectors", compoundFile({{"Workbook", wb}}, 4).bytes, xvExcel97},
        {"no workbook stream", compoundFile({{"Data", wb}}).bytes, xvNone},
        {"plain BIFF4", rec(0x0409, u16(0) + u16(0x10)) , xvExcel40},
        {"plain BIFF3", rec(0x0209, u16(0) + u16(0x10)), xvExcel30},
        {"plain BIFF2", rec(0x0009, u16(0) + u16(0x10)), xvExcel21},
        {"plain BIFF8 stream", rec(0x0809, u16(0x600) + u16(5)), xvNone},
        {"CSV named .xls", QByteArray("Name;Vorname\r\nA;B\r\n"), xvNone},
        {"one byte", QByteArray("\x09"), xvNone},
    };
    for (const Case& c : cases) EXPECT_EQ(detect(c.bytes), c.v) << c.name;
}

TEST(XlsCompoundFile, NonWorkbookFileIsRefusedWithTheMessage)
{
    qlytest::TempDir dir;
    for (const QByteArray& bytes : {QByteArray("a;b\n1;2\n"), compoundFile({{"Data", oneSheetBook()}}).bytes}) {
        TXLSBook book;
        book.Filename = writeFile(dir.path(), "x.xls", bytes);
        try {
            book.Read();
            ADD_FAILURE() << "read succeeded";
        } catch (const EXLSError& e) {
            EXPECT_EQ(e.message(), "The file is not an Excel workbook");
        }
    }
}

TEST(XlsCompoundFile, StreamsInRegularAndMiniSectors)
{
    QByteArray big(10000, 0), small(300, 0);
    for (int i = 0; i < big.size(); ++i) big[i] = char(i * 7);
    for (int i = 0; i < small.size(); ++i) small[i] = char(i * 3 + 1);
    for (int version : {3, 4}) {
        TCompoundFile cf;
        cf.Open(compoundFile({{"Big", big}, {"Small", small}, {"Empty", {}}}, version).bytes);
        QMap<QString, QByteArray> got;
        for (int i : cf.Children(0)) got[cf.Entries()[i].name] = cf.ReadStream(i);
        EXPECT_EQ(got["Big"], big) << version;
        EXPECT_EQ(got["Small"], small) << version;
        EXPECT_TRUE(got.contains("Empty"));
        EXPECT_TRUE(got["Empty"].isEmpty());
    }
}

TEST(XlsCompoundFile, DamagedFilesFailInBoundedTime)
{
    QByteArray big(5000, 'x');
    CfbFile cycle = compoundFile({{"Workbook", big}});
    const uint32_t s0 = cycle.start["Workbook"];
    setFatEntry(cycle, s0 + 3, s0 + 1);   // a chain that loops back

    CfbFile past = compoundFile({{"Workbook", big}});
    // directory entry 1 is the workbook; its start sector far past the end
    QByteArray pastBytes = past.bytes;
    const QByteArray name = QByteArray("W\0o\0r\0k\0b\0o\0o\0k\0", 16);
    qsizetype at = pastBytes.indexOf(name);
    ASSERT_GT(at, 0);
    const uint32_t far = 100000;
    for (int i = 0; i < 4; ++i) pastBytes[at + 0x74 + i] = char((far >> (8 * i)) & 0xFF);

    CfbFile selfFat = compoundFile({{"Workbook", big}});
    setFatEntry(selfFat, s0, s0);   // a sector pointing at itself

    QByteArray truncated = compoundFile({{"Workbook", big}}).bytes.left(2048);

    for (const QByteArray& bytes : {cycle.bytes, pastBytes, selfFat.bytes, truncated}) {
        QElapsedTimer t;
        t.start();
        TXLSStream s;
        EXPECT_THROW(s.OpenData(bytes), EXLSError);
        EXPECT_LT(t.elapsed(), 2000);
    }
    // the directory names a workbook stream that cannot be read: no stream, so no workbook
    TXLSBook book;
    try {
        book.LoadFromData(pastBytes);
        ADD_FAILURE();
    } catch (const EXLSError& e) {
        EXPECT_EQ(e.message(), "The file is not an Excel workbook");
    }
}

TEST(XlsCompoundFile, DrawingGroupPiecesJoinByteIdentical)
{
    // One drawing-group container of 20000 bytes, split two ways over MSODRAWINGGROUP and
    // CONTINUE records.
    QByteArray group(20000, 0);
    group.replace(0, 8, u16(0x000F) + u16(0xF000) + u32(20000 - 8));
    for (int i = 8; i < group.size(); ++i) group[i] = char((i * 31) ^ (i >> 7));
    for (const QList<int>& split : {QList<int>{8224, 8224, 3552}, QList<int>{8000, 8000, 4000}}) {
        QByteArray recs;
        int off = 0;
        for (int i = 0; i < split.size(); ++i) {
            recs += rec(i == 0 ? 0x00EB : 0x003C, group.mid(off, split[i]));
            off += split[i];
        }
        QByteArray wb = book8({{QStringLiteral("S"), number(0, 0, 1)}}, recs);
        TXLSBook book;
        book.LoadFromData(compoundFile({{"Workbook", wb}}).bytes);
        EXPECT_EQ(book.DrawingGroup(), group) << split[0];
        EXPECT_EQ(book.Sheets()[0]->CellText(0, 0), "1");
    }
}

TEST(XlsCompoundFile, WorkbookStreamSizeNotASectorMultiple)
{
    // 4100 bytes: just above the mini-stream cut-off, ending inside its ninth sector.
    QByteArray wb = book8({{QStringLiteral("S"), dims8(0, 1, 0, 1) + number(0, 0, 5)}});
    QByteArray pad = rec(0x00E1, QByteArray(4100 - wb.size() - 4, 0));   // a raw record in the globals
    wb = book8({{QStringLiteral("S"), dims8(0, 1, 0, 1) + number(0, 0, 5)}}, pad);
    ASSERT_EQ(wb.size(), 4100);
    TXLSBook book;
    book.LoadFromData(compoundFile({{"Workbook", wb}}).bytes);
    EXPECT_EQ(book.Sheets()[0]->CellText(0, 0), "5");
}

TEST(XlsCompoundFile, ScatteredWorkbookStreamReadInPlace)
{
    // Cells whose 18-byte records straddle sector borders, and a drawing group of two pictures
    // over MSODRAWINGGROUP and CONTINUE records.
    QList<QByteArray> pngs;
    QByteArray bstore;
    for (int i = 0; i < 2; ++i) {
        QByteArray png = QByteArray("\x89PNG\r\n\x1a\n", 8);
        for (int k = 0; k < 9000 + 3000 * i; ++k) png += char((k * 13 + i) ^ (k >> 5));
        pngs << png;
        bstore += bse(6, blip(0xF01E, 0x6E0, png));
    }
    const QByteArray group = drawingGroup(bstore, dgg(0x0C02, {{1, 3}}, 5, 1));
    QByteArray groupRecords;
    for (qsizetype off = 0; off < group.size(); off += 8224) groupRecords += rec(off == 0 ? 0x00EB : 0x003C, group.mid(off, 8224));
    QByteArray cells = dims8(0, 400, 0, 1);
    for (int r = 0; r < 400; ++r) cells += number(r, 0, r * 1.5);
    const QByteArray wb = book8({{QStringLiteral("S"), cells}}, groupRecords);
    const int n = int((wb.size() + 511) / 512);
    ASSERT_GT(n, 40);

    auto check = [&](TXLSBook& book, const char* what) {
        ASSERT_EQ(book.Sheets().Count(), 1) << what;
        for (int r = 0; r < 400; ++r) ASSERT_EQ(book.Sheets()[0]->CellText(0, r), QString::number(r * 1.5)) << what << " row " << r;
        ASSERT_EQ(book.MSOPictures().Count(), 2) << what;
        for (int i = 0; i < 2; ++i) EXPECT_EQ(book.MSOPictures().Items(i)->Data(), pngs[i]) << what;
    };
    auto backwards = [](int count) {
        QList<int> order;
        for (int k = 0; k < count; ++k) order << count - 1 - k;
        return order;
    };
    struct Pattern { const char* name; std::function<int(int)> slot; };
    const Pattern patterns[] = {
        {"backwards, one sector a run", [&](int k) { return n - 1 - k; }},
        {"runs of five swapped in pairs", [&](int k) { const int d = (k / 5) ^ 1; return d * 5 + k % 5 < n ? d * 5 + k % 5 : k; }},
        {"even sectors first", [&](int k) { return k % 2 == 0 ? k / 2 : (n + 1) / 2 + k / 2; }},
    };
    qlytest::TempDir dir;
    for (const Pattern& p : patterns) {
        QList<int> order;
        for (int k = 0; k < n; ++k) order << p.slot(k);
        CfbFile f = compoundFile({{"Workbook", wb}});
        scatterStream(f, "Workbook", wb.size(), order);

        TCompoundFile cf;
        cf.Open(f.bytes);
        const int entry = cf.Children(0).first();
        const QVector<TCompoundFile::Run> runs = cf.StreamRuns(entry);
        EXPECT_GT(runs.size(), 1) << p.name;
        QByteArray joined;
        for (const TCompoundFile::Run& r : runs) {
            EXPECT_EQ(r.offset, joined.size()) << p.name;
            joined += QByteArray(r.data, r.length);
        }
        EXPECT_EQ(joined, wb) << p.name;
        EXPECT_EQ(cf.ReadStream(entry), wb) << p.name;

        TXLSBook fromData;
        fromData.LoadFromData(f.bytes);
        check(fromData, p.name);
        TXLSBook fromFile;
        fromFile.Filename = writeFile(dir.path(), "scattered.xls", f.bytes);
        fromFile.Read();
        check(fromFile, p.name);
    }
    // decrypted run by run
    const QByteArray enc = encryptWorkbook(wb, "pw");
    CfbFile locked = compoundFile({{"Workbook", enc}});
    scatterStream(locked, "Workbook", enc.size(), backwards(int((enc.size() + 511) / 512)));
    TXLSBook book;
    book.OnPassword = [](TXLSBook*, QString& pw) { pw = "pw"; };
    book.LoadFromData(locked.bytes);
    check(book, "encrypted");
    // a chain that ends before its stream does fails as before
    CfbFile cut = compoundFile({{"Workbook", wb}});
    scatterStream(cut, "Workbook", wb.size(), backwards(n));
    setFatEntry(cut, cut.start["Workbook"] - 10, 0xFFFFFFFE);
    TXLSBook damaged;
    EXPECT_THROW(damaged.LoadFromData(cut.bytes), EXLSError);
}

TEST(XlsCompoundFile, LargeDrawingGroupJoinedAcrossRunsAndPieces)
{
    // A drawing group of about 9 MB (joined by several threads) over pieces of mixed sizes and
    // the three record kinds that continue it, in a stream scattered over the file.
    QList<QByteArray> pngs;
    QByteArray bstore;
    for (int i = 0; i < 9; ++i) {
        QByteArray png = QByteArray("\x89PNG\r\n\x1a\n", 8) + QByteArray(1000000 + 777 * i, char('a' + i));
        for (int k = 0; k < 200; ++k) png[8 + k * 5000 + i] = char(k);
        pngs << png;
        bstore += bse(6, blip(0xF01E, 0x6E0, png));
    }
    const QByteArray group = drawingGroup(bstore, dgg(0x0C02, {{1, 3}}, 5, 1));
    auto records = [&](uint16_t badId) {
        QByteArray out;
        int i = 0;
        for (qsizetype off = 0; off < group.size(); ++i) {
            const int n = i % 3 == 2 ? 5001 : 8224;
            const uint16_t id = off == 0 ? 0x00EB : i == 700 && badId ? badId : i % 2 ? 0x003C : 0x1066;
            out += rec(id, group.mid(off, n));
            off += n;
        }
        return out;
    };
    qlytest::TempDir dir;
    for (const uint16_t bad : {uint16_t(0), uint16_t(0x0203)}) {
        const QByteArray wb = book8({{QStringLiteral("S"), dims8(0, 1, 0, 1) + number(0, 0, 42)}}, records(bad));
        CfbFile f = compoundFile({{"Workbook", wb}}, 4);
        const int n = int((wb.size() + 4095) / 4096);
        QList<int> order;
        // runs of 100 sectors, the last run first
        const int last = (n - 1) / 100 * 100;
        for (int k = 0; k < n; ++k) order << (k >= last ? k - last : k + (n - last));
        scatterStream(f, "Workbook", wb.size(), order);
        TXLSBook book;
        book.Filename = writeFile(dir.path(), "large.xls", f.bytes);
        if (bad) {
            try {
                book.Read();
                ADD_FAILURE() << "read succeeded";
            } catch (const EXLSError& e) {
                EXPECT_TRUE(e.message().endsWith("CONTINUE record is missing")) << qPrintable(e.message());
            }
            continue;
        }
        book.Read();
        EXPECT_EQ(book.Sheets()[0]->CellText(0, 0), "42");
        ASSERT_EQ(book.MSOPictures().Count(), 9);
        for (int i = 0; i < 9; ++i) {
            EXPECT_TRUE(book.MSOPictures().Items(i)->Data() == pngs[i]) << i;
            EXPECT_EQ(book.MSOPictures().Items(i)->Identifier, TMD4Hash::Digest(pngs[i])) << i;
        }
    }
}
