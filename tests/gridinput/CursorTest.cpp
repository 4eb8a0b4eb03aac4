// Cursor zones over the headers, the select-all corner and the selection handle, the grid's own
// cursors and the pan glyphs.
#include "InputFixture.h"
#include "grid/GridCursors.h"

#include <QApplication>
#include <QBitmap>
#include <QPainter>
#include <QTest>
#include <gtest/gtest.h>

using namespace grid;
using namespace inputtest;

namespace {

struct Zones {
    std::unique_ptr<TZedEzeravIvur> grid = fruitGrid();
    Zones()
    {
        grid->resize(420, 300);
        grid->SetGridOptions(grid->GridOptions() | tk::goColSizing);
        TMouseActions* ma = grid->MouseActions();
        ma->AllSelect = true;
        ma->RowSelect = true;
        ma->ColSelect = true;
        grid->SetSelectionRectangle(true);
        grid->SetSelectionResizer(true);
        grid->SetSelection(tk::TGridRect{2, 2, 3, 4});
        grid->show();
    }
    QWidget* vp() const { return grid->viewport(); }
    QPoint mid(int c, int r) const { return grid->CellRect(c, r).center(); }
};

QImage cursorImage(const QCursor& c) { return c.pixmap().toImage(); }

// The grid cursor the viewport shows, 0 for none of them.
int shownGridCursor(QWidget* w)
{
    const QCursor c = w->cursor();
    if (c.shape() != Qt::BitmapCursor)
        return 0;
    for (int id : {8000, 8001, 8002, 8003, 8004, 8005, 8006, 8007, 8008, 8010, 8011, 8012})
        if (cursorImage(c) == cursorImage(GridCursor(id)) && c.hotSpot() == GridCursor(id).hotSpot())
            return id;
    return -1;
}

} // namespace

TEST(CursorZones, ZoneAndCursorByPointer)
{
    Zones z;
    const QRect handleCell = z.grid->CellRect(3, 4);
    const QRect header2 = z.grid->CellRect(2, 0);
    struct Case {
        const char* what;
        QPoint at;
        int zone;
        int cursor;
    } cases[] = {
        {"corner", z.mid(0, 0), czSelectAll, 8012},
        {"column header", z.mid(2, 0), czColHeader, 8011},
        {"column border in the header", QPoint(header2.right() + 1, header2.center().y()), czNone, 0},
        {"row header", z.mid(0, 3), czRowHeader, 8010},
        {"normal cell", z.mid(2, 2), czNone, 0},
        {"handle, bottom-right pixel", handleCell.bottomRight(), czResizer, 8012},
        {"handle, top-left pixel", handleCell.bottomRight() - QPoint(5, 5), czResizer, 8012},
        {"left of the handle", handleCell.bottomRight() - QPoint(6, 0), czNone, 0},
        {"above the handle", handleCell.bottomRight() - QPoint(0, 6), czNone, 0},
    };
    for (const Case& c : cases) {
        QTest::mouseMove(z.vp(), c.at);
        EXPECT_EQ(z.grid->CursorZone(), c.zone) << c.what;
        EXPECT_EQ(shownGridCursor(z.vp()), c.cursor) << c.what;
    }
    // The border keeps the toolkit's split cursor.
    QTest::mouseMove(z.vp(), QPoint(header2.right() + 1, header2.center().y()));
    EXPECT_EQ(z.vp()->cursor().shape(), Qt::SplitHCursor);
    // The own cursor comes back off the zones.
    QTest::mouseMove(z.vp(), z.mid(0, 0));
    QTest::mouseMove(z.vp(), z.mid(1, 1));
    EXPECT_EQ(z.vp()->cursor().shape(), Qt::ArrowCursor);
}

TEST(CursorZones, OptionsOffAndNodeRowsGiveNoZone)
{
    Zones z;
    z.grid->SetSelectionRectangle(false);
    QTest::mouseMove(z.vp(), z.grid->CellRect(3, 4).bottomRight());
    EXPECT_EQ(z.grid->CursorZone(), czNone);   // the handle needs the selection rectangle
    z.grid->AddNode(5, 2);
    QTest::mouseMove(z.vp(), z.mid(0, 5) + QPoint(0, 2));
    EXPECT_EQ(z.grid->CursorZone(), czNone);   // a node row's header
    QTest::mouseMove(z.vp(), z.mid(0, 3));
    EXPECT_EQ(z.grid->CursorZone(), czRowHeader);
    z.grid->MouseActions()->RowSelect = false;
    z.grid->MouseActions()->ColSelect = false;
    z.grid->MouseActions()->AllSelect = false;
    for (QPoint p : {z.mid(2, 0), z.mid(0, 3), z.mid(0, 0)}) {
        QTest::mouseMove(z.vp(), p);
        EXPECT_EQ(z.grid->CursorZone(), czNone);
        EXPECT_EQ(shownGridCursor(z.vp()), 0);
    }
}

TEST(CursorZones, HeaderPressSelectsOnlyInsideItsZone)
{
    Zones z;
    z.grid->SetSelectionResizer(false);
    const QRect header2 = z.grid->CellRect(2, 0);
    // On the border the press sizes the column; the selection stays.
    QTest::mousePress(z.vp(), Qt::LeftButton, {}, QPoint(header2.right(), header2.center().y()));
    QTest::mouseRelease(z.vp(), Qt::LeftButton, {}, QPoint(header2.right(), header2.center().y()));
    EXPECT_EQ(z.grid->Selection(), (tk::TGridRect{2, 2, 3, 4}));
    QTest::mouseClick(z.vp(), Qt::LeftButton, {}, z.mid(2, 0));
    EXPECT_EQ(z.grid->Selection(), (tk::TGridRect{2, 1, 2, 9}));
    EXPECT_EQ(z.grid->CursorZone(), czNone);   // reset by the release
}

TEST(GridCursors, OwnDrawingsLoad)
{
    std::vector<QImage> seen;
    for (int id : {8000, 8001, 8002, 8003, 8004, 8005, 8006, 8007, 8008, 8010, 8011, 8012}) {
        const QCursor c = GridCursor(id);
        ASSERT_EQ(c.shape(), Qt::BitmapCursor) << id;
        const QImage img = cursorImage(c);
        EXPECT_EQ(img.size(), QSize(32, 32)) << id;
        EXPECT_EQ(qAlpha(img.pixel(0, 0)), 0) << id;                                          // transparent ground
        EXPECT_EQ(img.pixelColor(c.hotSpot()), QColor(Qt::black)) << id;   // the dot, or the arrow's tip
        for (const QImage& other : seen)
            EXPECT_NE(img, other) << id;
        seen.push_back(img);
    }
    EXPECT_EQ(GridCursor(8009).shape(), Qt::ArrowCursor);
    EXPECT_EQ(PanCursorId(0, 0), 8000);
    EXPECT_EQ(PanCursorId(0, 1), 8001);
    EXPECT_EQ(PanCursorId(-1, 0), 8002);
    EXPECT_EQ(PanCursorId(1, 0), 8003);
    EXPECT_EQ(PanCursorId(0, -1), 8004);
    EXPECT_EQ(PanCursorId(1, -1), 8005);
    EXPECT_EQ(PanCursorId(-1, -1), 8006);
    EXPECT_EQ(PanCursorId(1, 1), 8007);
    EXPECT_EQ(PanCursorId(-1, 1), 8008);

    for (const char* name : {"INTLI1", "INTLI2", "INTLI3"}) {
        const QPixmap pm = PanGlyph(name);
        ASSERT_FALSE(pm.isNull()) << name;
        EXPECT_EQ(pm.size(), QSize(32, 32));
        const QImage img = pm.toImage();
        EXPECT_EQ(img.pixelColor(0, 0).alpha(), 0) << name;     // the ground is cut away
        EXPECT_EQ(img.pixelColor(16, 16), QColor(Qt::black)) << name;   // the dot stays
        EXPECT_EQ(img.pixelColor(16, 26).alpha(), 255) << name;  // and the disc
    }
    EXPECT_TRUE(PanGlyph("INTLI4").isNull());

    // A sheet of all of them for looking at.
    QPixmap sheet(12 * 40, 2 * 40);
    sheet.fill(QColor(200, 220, 240));
    QPainter p(&sheet);
    int i = 0;
    for (int id : {8000, 8001, 8002, 8003, 8004, 8005, 8006, 8007, 8008, 8010, 8011, 8012})
        p.drawPixmap(4 + 40 * i++, 4, GridCursor(id).pixmap());
    i = 0;
    for (const char* name : {"INTLI1", "INTLI2", "INTLI3"})
        p.drawPixmap(4 + 40 * i++, 44, PanGlyph(name));
    p.end();
    saveShot(sheet.scaled(sheet.size() * 3), "grid-cursors.png");
}

TEST(GridCursors, PanCursorFollowsTheDirectionAndTheGlyphStandsAtTheOrigin)
{
    Zones z;
    z.grid->IntelliPan = ipBoth;
    z.grid->FocusCell(2, 4, true);
    const QPoint origin = z.mid(2, 4);
    QTest::mousePress(z.vp(), Qt::MiddleButton, {}, origin);
    ASSERT_TRUE(z.grid->Panning());
    EXPECT_EQ(shownGridCursor(z.vp()), 8000);
    ASSERT_NE(z.grid->PanGlyphWidget(), nullptr);
    EXPECT_TRUE(z.grid->PanGlyphWidget()->isVisible());
    EXPECT_EQ(z.grid->PanGlyphWidget()->geometry(), QRect(origin - QPoint(16, 16), QSize(32, 32)));
    saveShot(z.grid->grab(), "pan-glyph.png");
    struct Step {
        QPoint offset;
        int cursor;
    } steps[] = {{{50, 0}, 8003}, {{-50, -50}, 8006}, {{0, 40}, 8001}, {{40, 40}, 8007}, {{3, -4}, 8000}};
    for (const Step& s : steps) {
        z.grid->PanTick(origin + s.offset);
        EXPECT_EQ(shownGridCursor(z.vp()), s.cursor) << s.offset.x() << "," << s.offset.y();
    }
    QTest::keyClick(z.grid.get(), Qt::Key_Escape);
    EXPECT_FALSE(z.grid->Panning());
    EXPECT_FALSE(z.grid->PanGlyphWidget()->isVisible());
    EXPECT_EQ(shownGridCursor(z.vp()), 0);
}
