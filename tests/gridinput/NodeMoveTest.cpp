// Node glyphs under the mouse, and moving columns and rows by their headers.
#include "InputFixture.h"
#include "grid/GridHelpers.h"
#include "grid/ZodUvuzFooter.h"

#include <QApplication>
#include <QTest>
#include <gtest/gtest.h>

using namespace grid;
using namespace inputtest;

namespace {

struct Nodes {
    std::unique_ptr<TZedEzeravIvur> grid = fruitGrid();
    std::vector<std::string> events;
    bool allow = true;
    Nodes()
    {
        grid->resize(420, 300);
        grid->AddNode(2, 3);   // rows 2, 3, 4
        grid->AddNode(6, 2);   // rows 6, 7
        grid->OnBeforeExpandNode = [this](QObject*, int row, int real, bool& a) {
            events.push_back("before expand " + std::to_string(row) + "/" + std::to_string(real));
            a = allow;
        };
        grid->OnExpandNode = [this](QObject*, int row, int real) {
            events.push_back("expand " + std::to_string(row) + "/" + std::to_string(real));
        };
        grid->OnBeforeContractNode = [this](QObject*, int row, int real, bool& a) {
            events.push_back("before contract " + std::to_string(row) + "/" + std::to_string(real));
            a = allow;
        };
        grid->OnContractNode = [this](QObject*, int row, int real) {
            events.push_back("contract " + std::to_string(row) + "/" + std::to_string(real));
        };
        grid->show();
    }
    // On the glyph of a first-level node (indent 12) in a displayed row.
    void pressGlyph(int row)
    {
        const QRect r = grid->CellRect(0, row);
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, QPoint(r.left() + 6, r.center().y()));
    }
};

} // namespace

TEST(NodeMouse, GlyphContractsAndExpandsWithItsEvents)
{
    Nodes n;
    n.grid->FocusCell(2, 1, true);
    n.pressGlyph(2);
    EXPECT_TRUE(n.grid->IsNodeContracted(2));
    EXPECT_EQ(n.grid->RowCount(), 8);
    EXPECT_EQ(n.grid->Cells(1, 3), "Pflaume");   // rows 3 and 4 hidden
    EXPECT_EQ(n.grid->Row(), 1);                  // the current row stays without MoveRowOnNodeClick
    // The second node now stands in displayed row 4: displayed and real rows both reported.
    n.pressGlyph(4);
    EXPECT_TRUE(n.grid->IsNodeContracted(6));
    n.pressGlyph(2);
    EXPECT_FALSE(n.grid->IsNodeContracted(2));
    EXPECT_EQ(n.grid->Cells(1, 3), "Birne");
    EXPECT_EQ(n.events, (std::vector<std::string>{"before contract 2/2", "contract 2/2", "before contract 4/6",
                                                  "contract 4/6", "before expand 2/2", "expand 2/2"}));
}

TEST(NodeMouse, RefusalMoveRowAndPressesBesideTheGlyph)
{
    Nodes n;
    n.allow = false;
    n.pressGlyph(2);
    EXPECT_FALSE(n.grid->IsNodeContracted(2));
    EXPECT_EQ(n.events, (std::vector<std::string>{"before contract 2/2"}));

    n.allow = true;
    n.events.clear();
    n.grid->MouseActions()->MoveRowOnNodeClick = true;
    n.grid->FocusCell(3, 8, true);
    n.pressGlyph(6);
    EXPECT_TRUE(n.grid->IsNodeContracted(6));
    EXPECT_EQ(QPoint(n.grid->Col(), n.grid->Row()), QPoint(3, 6));

    // Beside the glyph, and on a row that is no node, nothing opens or closes.
    n.events.clear();
    const QRect r = n.grid->CellRect(0, 2);
    QTest::mouseClick(n.grid->viewport(), Qt::LeftButton, {}, QPoint(r.left() + 14, r.center().y()));
    n.pressGlyph(3);
    EXPECT_TRUE(n.events.empty());
    EXPECT_FALSE(n.grid->IsNodeContracted(2));
}

TEST(NodeMouse, HeaderNodeOpensOrClosesEveryNode)
{
    Nodes n;
    n.grid->AddNode(0, 1);
    n.pressGlyph(0);   // without NodeAllExpandContract nothing
    EXPECT_FALSE(n.grid->IsNodeContracted(2));
    n.grid->MouseActions()->NodeAllExpandContract = true;
    n.pressGlyph(0);
    EXPECT_TRUE(n.grid->IsNodeContracted(0));
    EXPECT_TRUE(n.grid->IsNodeContracted(2));
    EXPECT_TRUE(n.grid->IsNodeContracted(6));
    EXPECT_EQ(n.grid->RowCount(), 7);
    n.pressGlyph(0);
    EXPECT_FALSE(n.grid->IsNodeContracted(0));
    EXPECT_FALSE(n.grid->IsNodeContracted(2));
    EXPECT_EQ(n.grid->RowCount(), 10);
    EXPECT_TRUE(n.events.empty());   // the header's glyph asks no node events
}

namespace {

class ToolkitGrid : public tk::TStringGrid {
public:
    std::vector<std::pair<int, int>> moved;
    void RowMoved(int from, int to) override
    {
        moved.emplace_back(from, to);
        tk::TStringGrid::RowMoved(from, to);
    }
};

// A press in the row header, a move in steps of 5 pixels and the release.
void dragRow(QWidget* vp, QPoint from, QPoint to)
{
    QTest::mousePress(vp, Qt::LeftButton, {}, from);
    const int steps = std::max(1, std::abs(to.y() - from.y()) / 5);
    for (int i = 1; i <= steps; ++i)
        QTest::mouseMove(vp, from + (to - from) * i / steps, -1);
    QTest::mouseRelease(vp, Qt::LeftButton, {}, to);
}

} // namespace

TEST(RowMoving, ToolkitGridMovesARowByItsHeader)
{
    ToolkitGrid g;
    g.SetColCount(3);
    g.SetRowCount(8);
    for (int r = 0; r < 8; ++r)
        g.SetCells(1, r, QString("r%1").arg(r));
    g.SetRowHeights(3, 30);
    g.resize(300, 300);
    g.show();
    auto mid = [&](int c, int r) { return g.CellRect(c, r).center(); };

    // Without goRowMoving a drag in the row header moves nothing.
    dragRow(g.viewport(), mid(0, 3), mid(0, 6));
    EXPECT_TRUE(g.moved.empty());

    g.SetGridOptions(g.GridOptions() | tk::goRowMoving);
    g.FocusCell(1, 3, true);
    QTest::mousePress(g.viewport(), Qt::LeftButton, {}, mid(0, 3));
    EXPECT_EQ(g.GridState(), tk::gsRowMoving);
    QTest::mouseMove(g.viewport(), mid(0, 3) + QPoint(0, 1), -1);   // under the drag distance
    QTest::mouseRelease(g.viewport(), Qt::LeftButton, {}, mid(0, 3) + QPoint(0, 1));
    EXPECT_TRUE(g.moved.empty());
    EXPECT_EQ(g.GridState(), tk::gsNormal);

    dragRow(g.viewport(), mid(0, 3), mid(0, 6));
    ASSERT_EQ(g.moved, (std::vector<std::pair<int, int>>{{3, 6}}));
    EXPECT_EQ(g.Cols(1).mid(2, 5), (QStringList{"r2", "r4", "r5", "r6", "r3"}));
    EXPECT_EQ(g.RowHeights(6), 30);
    EXPECT_EQ(g.RowHeights(3), g.DefaultRowHeight());
    EXPECT_EQ(g.Row(), 6);   // the focus row went along

    // Upwards, and never into the fixed rows.
    dragRow(g.viewport(), mid(0, 5), mid(0, 0));
    EXPECT_EQ(g.moved.back(), (std::pair<int, int>{5, 1}));
    EXPECT_EQ(g.Cells(1, 1), "r6");
    EXPECT_EQ(g.Cells(1, 0), "r0");
}

TEST(RowMoving, StringGridKeepsTheFooterRowLast)
{
    auto g = fruitGrid();
    g->resize(420, 300);
    g->SetGridOptions(g->GridOptions() | tk::goRowMoving);
    g->FloatingFooter()->SetVisible(true);
    g->show();
    ASSERT_TRUE(g->LastRowIsFooter());
    auto mid = [&](int c, int r) { return g->CellRect(c, r).center(); };
    const QStringList before = g->Cols(1);

    dragRow(g->viewport(), mid(0, 3), mid(0, 9));   // past the last normal row: ignored
    EXPECT_EQ(g->Cols(1), before);
    g->MoveRowData(3, 9);
    EXPECT_EQ(g->Cols(1), before);
    dragRow(g->viewport(), mid(0, 9), mid(0, 4));   // the footer row itself stays
    EXPECT_EQ(g->Cols(1), before);

    dragRow(g->viewport(), mid(0, 3), mid(0, 8));   // onto the last normal row: moved
    EXPECT_EQ(g->Cells(1, 8), "Birne");
    EXPECT_EQ(g->Cells(1, 7), "Mango");
    EXPECT_EQ(g->Cells(1, 9), "Zitrone");
}

namespace {

// A grid inside a window, so the markers (children of the window) have room around it.
struct Markers {
    QWidget host;
    TZedEzeravIvur* grid = new TZedEzeravIvur(&host);
    Markers()
    {
        host.resize(480, 360);
        grid->setGeometry(30, 30, 420, 300);
        auto src = fruitGrid();
        for (int r = 0; r < 10; ++r)
            for (int c = 0; c < 5; ++c)
                grid->SetCells(c, r, src->Cells(c, r));
        const QStringList headers{"Nr", "Frucht", "Code", "D", "E"};
        for (int c = 0; c < 5; ++c)
            grid->SetCells(c, 0, headers[c]);
        host.show();
    }
    QWidget* vp() const { return grid->viewport(); }
    QPoint mid(int c, int r) const { return grid->CellRect(c, r).center(); }
    // A marker's top-left in viewport pixels.
    QPoint at(QWidget* w) const { return vp()->mapFromGlobal(w->mapToGlobal(QPoint(0, 0))); }
    void moveTo(QPoint from, QPoint to)
    {
        const int steps = std::max(1, (to - from).manhattanLength() / 5);
        for (int i = 1; i <= steps; ++i)
            QTest::mouseMove(vp(), from + (to - from) * i / steps, -1);
    }
};

} // namespace

TEST(MoveMarkers, ColumnMoveShowsArrowsAndTheHeaderButton)
{
    Markers m;
    m.grid->SetGridOptions(m.grid->GridOptions() | tk::goColMoving);
    const QPoint grab = m.grid->CellRect(2, 0).topLeft() + QPoint(7, 5);
    QTest::mousePress(m.vp(), Qt::LeftButton, {}, grab);
    const QPoint right = m.mid(4, 0);
    m.moveTo(grab, right);
    ASSERT_EQ(m.grid->GridState(), tk::gsColMoving);
    ASSERT_EQ(m.grid->MoveTarget(), 4);

    TPopupButton* button = m.grid->PopupButton();
    ASSERT_TRUE(button->isVisible());
    EXPECT_EQ(button->Caption(), "Code");
    EXPECT_EQ(button->size(), QSize(m.grid->ColWidths(2), m.grid->RowHeights(m.grid->Row())));
    EXPECT_EQ(m.at(button), right - QPoint(7, 5));   // held where the header was grabbed
    EXPECT_EQ(m.vp()->cursor().shape(), Qt::DragMoveCursor);
    // The XP look lends the fixed gradient, system colours resolved.
    EXPECT_EQ(button->GradTo(), gfx::ColorToRGB(gfx::clBtnFace, &m.grid->palette()));

    // Moving right: at the target's right edge, 5 px left of it; the upper arrow 8 px above.
    QRect r = m.grid->CellRect(4, 0);
    TArrowWindow* upper = m.grid->ArrowWindow(1);
    TArrowWindow* lower = m.grid->ArrowWindow(0);
    ASSERT_TRUE(upper->isVisible() && lower->isVisible());
    EXPECT_EQ(m.at(upper), QPoint(r.right() + 1 - 5, r.top() - 8));
    EXPECT_EQ(m.at(lower), QPoint(r.right() + 1 - 5, r.bottom()));
    EXPECT_FALSE(m.grid->ArrowWindow(2)->isVisible());
    saveShot(m.host.grab(), "move-column.png");

    // A right click on the way changes nothing.
    QTest::mousePress(m.vp(), Qt::RightButton, Qt::NoModifier, right);
    QTest::mouseRelease(m.vp(), Qt::RightButton, Qt::NoModifier, right);
    EXPECT_EQ(m.grid->GridState(), tk::gsColMoving);
    EXPECT_EQ(m.grid->Cells(2, 0), "Code");

    // Moving left: at the target's left edge.
    m.moveTo(right, m.mid(1, 0));
    r = m.grid->CellRect(1, 0);
    EXPECT_EQ(m.at(upper), QPoint(r.left() - 5, r.top() - 8));
    EXPECT_EQ(m.at(lower), QPoint(r.left() - 5, r.bottom()));

    QTest::mouseRelease(m.vp(), Qt::LeftButton, {}, m.mid(1, 0));
    EXPECT_FALSE(button->isVisible());
    EXPECT_FALSE(upper->isVisible());
    EXPECT_FALSE(lower->isVisible());
    EXPECT_EQ(m.grid->Cells(1, 0), "Code");
    EXPECT_EQ(m.grid->Cells(2, 0), "Frucht");
    // The column order starts with the first move, as MoveColumnData's does.
    TIntList& order = m.grid->ColumnOrder();
    ASSERT_EQ(order.Count(), 5);
    EXPECT_EQ(QList<int>({order.Items(0), order.Items(1), order.Items(2), order.Items(3), order.Items(4)}),
              QList<int>({0, 2, 1, 3, 4}));
}

TEST(MoveMarkers, RowMoveArrowsFooterAndRefusal)
{
    Markers m;
    m.grid->SetGridOptions(m.grid->GridOptions() | tk::goRowMoving);
    const QPoint grab = m.mid(0, 3);
    QTest::mousePress(m.vp(), Qt::LeftButton, {}, grab);
    m.moveTo(grab, m.mid(0, 6));
    ASSERT_EQ(m.grid->MoveTarget(), 6);
    TPopupButton* button = m.grid->PopupButton();
    ASSERT_TRUE(button->isVisible());
    EXPECT_EQ(button->Caption(), "3");
    EXPECT_EQ(button->size(), QSize(m.grid->ColWidths(m.grid->Col()), m.grid->RowHeights(3)));
    // Moving down: tops 5 px above the target's bottom edge; left arrow 10 px left of the cell.
    const QRect r = m.grid->CellRect(0, 6);
    EXPECT_EQ(m.at(m.grid->ArrowWindow(2)), QPoint(r.left() - 10, r.bottom() + 1 - 5));
    EXPECT_EQ(m.at(m.grid->ArrowWindow(3)), QPoint(r.right(), r.bottom() + 1 - 5));
    EXPECT_FALSE(m.grid->ArrowWindow(0)->isVisible());
    saveShot(m.host.grab(), "move-row.png");
    QTest::mouseRelease(m.vp(), Qt::LeftButton, {}, m.mid(0, 6));
    EXPECT_EQ(m.grid->Cells(1, 6), "Birne");

    // Over the floating footer row no arrows show.
    m.grid->FloatingFooter()->SetVisible(true);
    QTest::mousePress(m.vp(), Qt::LeftButton, {}, m.mid(0, 2));
    m.moveTo(m.mid(0, 2), m.mid(0, 9));
    EXPECT_TRUE(button->isVisible());
    EXPECT_FALSE(m.grid->ArrowWindow(2)->isVisible());
    EXPECT_FALSE(m.grid->ArrowWindow(3)->isVisible());
    QTest::mouseRelease(m.vp(), Qt::LeftButton, {}, m.mid(0, 9));

    // OnRowMove refusing ends the move at its start.
    int asked = 0;
    m.grid->OnRowMove = [&](QObject*, int row, bool& allow) {
        ++asked;
        EXPECT_EQ(row, 4);
        allow = false;
    };
    const QStringList before = m.grid->Cols(1);
    QTest::mousePress(m.vp(), Qt::LeftButton, {}, m.mid(0, 4));
    m.moveTo(m.mid(0, 4), m.mid(0, 7));
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(m.grid->GridState(), tk::gsNormal);
    EXPECT_FALSE(button->isVisible());
    QTest::mouseRelease(m.vp(), Qt::LeftButton, {}, m.mid(0, 7));
    EXPECT_EQ(m.grid->Cols(1), before);
}

TEST(MoveMarkers, MoveScrollsAtTheEdgesAndEndsWhenTheWindowGoesAway)
{
    Markers m;
    m.grid->SetColCount(12);
    m.grid->SetGridOptions(m.grid->GridOptions() | tk::goColMoving);
    ASSERT_EQ(m.grid->LeftCol(), 1);
    const QPoint grab = m.mid(2, 0);
    QTest::mousePress(m.vp(), Qt::LeftButton, {}, grab);
    m.moveTo(grab, QPoint(m.vp()->width() + 10, grab.y()));   // beyond the right edge
    EXPECT_GT(m.grid->LeftCol(), 1);
    const int left = m.grid->LeftCol();
    m.moveTo(QPoint(m.vp()->width() + 10, grab.y()), QPoint(5, grab.y()));   // over the fixed column
    EXPECT_LT(m.grid->LeftCol(), left);

    const QStringList before = m.grid->Rows(0);
    QEvent deactivate(QEvent::WindowDeactivate);
    QApplication::sendEvent(m.grid, &deactivate);
    EXPECT_EQ(m.grid->GridState(), tk::gsNormal);
    EXPECT_FALSE(m.grid->PopupButton()->isVisible());
    EXPECT_FALSE(m.grid->ArrowWindow(0)->isVisible());
    QTest::mouseRelease(m.vp(), Qt::LeftButton, {}, m.mid(3, 0));
    EXPECT_EQ(m.grid->Rows(0), before);
    EXPECT_EQ(m.vp()->cursor().shape(), Qt::ArrowCursor);
}
