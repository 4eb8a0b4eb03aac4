// Cell areas: the arithmetic of free and merged areas, and merged cells read from files.
#include "spreadsheet/CellAreas.h"
#include "spreadsheet/XLSBook.h"
#include "XlsTestUtil.h"

#include <gtest/gtest.h>

using namespace xls;
using namespace xlstest;

namespace {

QList<TRect> rects(const TBaseCellAreas& areas)
{
    QList<TRect> out;
    for (int i = 0; i < areas.Count(); ++i) out.append(areas.Items(i)->Rect());
    return out;
}

std::string show(const QList<TRect>& rs)
{
    std::string s;
    for (const TRect& r : rs) s += "(" + std::to_string(r.Col1) + "," + std::to_string(r.Row1) + ")-(" + std::to_string(r.Col2) + "," + std::to_string(r.Row2) + ") ";
    return s;
}

}   // namespace

TEST(XlsCellAreas, FreeAreas)
{
    struct Case {
        const char* what;
        QList<TRect> start;
        std::function<void(TCellAreas&)> op;
        QList<TRect> expected;
    } cases[] = {
        {"delete from the middle leaves four pieces in order", {{0, 0, 9, 9}},
         [](TCellAreas& a) { a.DeleteArea(3, 3, 5, 5); },
         {{0, 0, 9, 2}, {0, 6, 9, 9}, {0, 3, 2, 5}, {6, 3, 9, 5}}},
        {"delete over an edge leaves one piece; untouched areas stay first", {{0, 0, 4, 4}, {20, 20, 21, 21}},
         [](TCellAreas& a) { a.DeleteArea(3, 0, 9, 9); },
         {{20, 20, 21, 21}, {0, 0, 2, 4}}},
        {"delete the whole area", {{1, 1, 2, 2}}, [](TCellAreas& a) { a.DeleteArea(0, 0, 5, 5); }, {}},
        {"crop keeps the intersections only", {{0, 0, 9, 9}, {20, 20, 30, 30}, {5, 5, 6, 6}},
         [](TCellAreas& a) { a.CropAreas(4, 4, 25, 25); },
         {{4, 4, 9, 9}, {20, 20, 25, 25}, {5, 5, 6, 6}}},
        {"offset shifts, clips and removes what falls off", {{0, 0, 1, 1}, {5, 5, 9, 9}, {250, 0, 255, 0}},
         [](TCellAreas& a) { a.OffsetAreas(-3, 2); },
         {{2, 7, 6, 11}, {247, 2, 252, 2}}},
        {"offset past the last row", {{0, 65530, 0, 65535}}, [](TCellAreas& a) { a.OffsetAreas(0, 10); }, {}},
        {"copy below an area merges into it", {{0, 0, 2, 3}},
         [](TCellAreas& a) { a.CopyAreas(0, 0, 2, 3, 0, 4); },
         {{0, 0, 2, 7}}},
        {"copy beside an area merges into it", {{0, 0, 2, 3}},
         [](TCellAreas& a) { a.CopyAreas(0, 0, 2, 3, 3, 0); },
         {{0, 0, 5, 3}}},
        {"copy into an area changes nothing", {{0, 0, 9, 9}},
         [](TCellAreas& a) { a.CopyAreas(0, 0, 1, 1, 2, 2); },
         {{0, 0, 9, 9}}},
        {"copy elsewhere cuts the target out of other areas first", {{0, 0, 1, 0}, {11, 0, 11, 9}},
         [](TCellAreas& a) { a.CopyAreas(0, 0, 1, 0, 10, 5); },
         {{0, 0, 1, 0}, {11, 0, 11, 4}, {11, 6, 11, 9}, {10, 5, 11, 5}}},
        {"move takes the part inside the source along", {{0, 0, 3, 0}},
         [](TCellAreas& a) { a.MoveAreas(2, 0, 3, 0, 0, 5); },
         {{0, 0, 1, 0}, {2, 5, 3, 5}}},
        {"move out of the sheet drops the part", {{0, 0, 3, 0}},
         [](TCellAreas& a) { a.MoveAreas(0, 0, 3, 0, -10, 0); },
         {}},
    };
    for (const Case& c : cases) {
        TCellAreas areas;
        for (const TRect& r : c.start) areas.AddArea(r.Col1, r.Row1, r.Col2, r.Row2);
        c.op(areas);
        EXPECT_EQ(rects(areas), c.expected) << c.what << ": " << show(rects(areas));
    }
}

TEST(XlsCellAreas, MergedCellsStayWhole)
{
    TMergedCells m;
    m.AddArea(0, 0, 9, 9);
    m.AddArea(20, 0, 21, 0);
    try {
        m.DeleteArea(3, 3, 5, 5);
        ADD_FAILURE();
    } catch (const EXLSError& e) {
        EXPECT_EQ(e.message(), "Can not change part of a merged cell");
    }
    EXPECT_EQ(rects(m), (QList<TRect>{{0, 0, 9, 9}, {20, 0, 21, 0}}));
    // one piece left: the area shrinks; a covered area goes
    m.DeleteArea(0, 5, 30, 9);
    EXPECT_EQ(rects(m), (QList<TRect>{{0, 0, 9, 4}, {20, 0, 21, 0}}));
    m.DeleteArea(20, 0, 21, 0);
    EXPECT_EQ(rects(m), (QList<TRect>{{0, 0, 9, 4}}));
    // copy, crop and offset leave merged cells alone
    m.CopyAreas(0, 0, 9, 4, 0, 10);
    m.CropAreas(0, 0, 1, 1);
    m.OffsetAreas(5, 5);
    EXPECT_EQ(rects(m), (QList<TRect>{{0, 0, 9, 4}}));
    // a move whose corner lies inside an area fails; one that holds it moves its bounds
    try {
        m.MoveAreas(2, 2, 20, 20, 0, 1);
        ADD_FAILURE();
    } catch (const EXLSError& e) {
        EXPECT_EQ(e.message(), "Can not change part of a merged cell");
    }
    m.MoveAreas(0, 0, 255, 10, 3, 2);
    EXPECT_EQ(rects(m), (QList<TRect>{{3, 2, 12, 6}}));
    // a move that turns an area inside out removes it
    m.MoveAreas(12, 0, 12, 100, -20, 0);
    EXPECT_EQ(m.Count(), 0);

    EXPECT_FALSE(m.IntersectsArea(0, 0, 1, 1));
    m.AddArea(3, 3, 4, 4);
    EXPECT_TRUE(m.IntersectsArea(0, 0, 3, 3));
    EXPECT_FALSE(m.IntersectsArea(5, 0, 9, 9));
    // ids count up, Assign copies the areas
    TCellAreas copy;
    copy.Assign(m);
    EXPECT_EQ(rects(copy), rects(m));
    EXPECT_EQ(copy.Items(0)->ID, 0);
    EXPECT_EQ(copy.Add()->ID, 1);
}

TEST(XlsCellAreas, MergedCellsFromFiles)
{
    TXLSBook book;
    book.Filename = QStringLiteral(QLY_TEST_DATA_DIR "/libreoffice-names.xls");
    book.Read();
    EXPECT_EQ(rects(book.Sheets()[0]->MergedCells()), (QList<TRect>{{1, 0, 2, 0}}));   // B1:C1
    EXPECT_EQ(book.Sheets()[1]->MergedCells().Count(), 0);

    // a MERGEDCELLS whose count runs past the record is kept raw and reported
    QStringList messages;
    TXLSBook bad;
    bad.OnMessage = [&](const QString& m) { messages << m; };
    const QByteArray merged = rec(0x00E5, u16(2) + u16(0) + u16(1) + u16(0) + u16(1));
    bad.LoadFromData(compoundFile({{"Workbook", book8({{"S", number(0, 0, 1) + merged + number(3, 0, 4)}})}}).bytes);
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages[0].contains(", 00E5 Offs:")) << messages[0].toStdString();
    EXPECT_EQ(bad.Sheets()[0]->MergedCells().Count(), 0);
    EXPECT_EQ(bad.Sheets()[0]->CellText(0, 3), "4");
    EXPECT_TRUE(hasRecord(bad.Sheets()[0]->RecordStorage(), 0x00E5));

    // read again: the sheet's merged cells start empty
    book.Read();
    EXPECT_EQ(book.Sheets()[0]->MergedCells().Count(), 1);
}
