// What a press and its release leave behind besides the current cell: marked cells of disjunct
// cell selection, pressed and hot header cells, and where a range selection may go.
#include "InputFixture.h"
#include "grid/ZodUvuzInplace.h"

#include "grid/GridCursors.h"
#include "grid/GridHints.h"
#include "grid/editors/GridEditors.h"

#include <QApplication>
#include <QComboBox>
#include <QWheelEvent>
#include <QHelpEvent>
#include <QLineEdit>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QPainter>
#include <QProxyStyle>
#include <QStyleOption>
#include <QTest>
#include <gtest/gtest.h>

using namespace grid;
using namespace inputtest;

namespace {

struct Press {
    std::unique_ptr<TZedEzeravIvur> grid = fruitGrid();
    Press()
    {
        grid->resize(420, 300);
        grid->show();
    }
    QWidget* vp() const { return grid->viewport(); }
    QPoint mid(int c, int r) const { return grid->CellRect(c, r).center(); }
    void click(QPoint p, Qt::KeyboardModifiers m = Qt::NoModifier) { QTest::mouseClick(vp(), Qt::LeftButton, m, p); }
    std::vector<QPoint> marks()
    {
        std::vector<QPoint> out;
        for (int i = 0; i < grid->CellMarks().Count(); ++i)
            out.push_back(grid->CellMarks().Items(i));
        return out;
    }
};

using Cells = std::vector<QPoint>;

} // namespace

TEST(DisjunctCells, ReleasesMarkTogglesAndReplaceCells)
{
    Press p;
    p.grid->MouseActions()->SetDisjunctCellSelect(true);
    p.click(p.mid(2, 3));
    EXPECT_EQ(p.marks(), (Cells{{2, 3}}));
    p.click(p.mid(3, 5), Qt::ControlModifier);
    p.click(p.mid(1, 7), Qt::ControlModifier);
    EXPECT_EQ(p.marks(), (Cells{{2, 3}, {3, 5}, {1, 7}}));
    // Ctrl on a marked cell takes it out again.
    p.click(p.mid(3, 5), Qt::ControlModifier);
    EXPECT_EQ(p.marks(), (Cells{{2, 3}, {1, 7}}));
    // A plain click starts over.
    p.click(p.mid(4, 2));
    EXPECT_EQ(p.marks(), (Cells{{4, 2}}));

    // A dragged range marks each of its cells once, also where one was marked already.
    p.click(p.mid(2, 2), Qt::ControlModifier);
    QTest::mousePress(p.vp(), Qt::LeftButton, Qt::ControlModifier, p.mid(2, 2));
    QTest::mouseMove(p.vp(), p.mid(3, 3));
    QTest::mouseRelease(p.vp(), Qt::LeftButton, Qt::ControlModifier, p.mid(3, 3));
    Cells marks = p.marks();
    std::sort(marks.begin(), marks.end(), [](QPoint a, QPoint b) { return std::pair(a.y(), a.x()) < std::pair(b.y(), b.x()); });
    EXPECT_EQ(marks, (Cells{{2, 2}, {3, 2}, {4, 2}, {2, 3}, {3, 3}}));
}

TEST(DisjunctCells, RefusedCellAndMergedCell)
{
    Press p;
    p.grid->MouseActions()->SetDisjunctCellSelect(true);
    p.click(p.mid(2, 3));
    // A cell the grid refuses to select keeps the marks as they were.
    p.grid->OnRowChanging = [](QObject*, int, int newRow, bool& allow) { allow = newRow != 6; };
    p.click(p.mid(2, 6), Qt::ControlModifier);
    EXPECT_EQ(p.marks(), (Cells{{2, 3}}));
    // A merged range is marked by its base cell.
    p.grid->MergeCells(3, 7, 2, 2);
    p.click(p.grid->CellRect(4, 8).center());
    EXPECT_EQ(p.marks(), (Cells{{3, 7}}));
}

TEST(DisjunctCells, MarkedCellsArePaintedSelected)
{
    Press p;
    p.grid->MouseActions()->SetDisjunctCellSelect(true);
    p.grid->SetSelectionColor(0x0000FF);   // red
    p.click(p.mid(2, 3));
    p.click(p.mid(3, 5), Qt::ControlModifier);
    p.click(p.mid(1, 6), Qt::ControlModifier);
    const QImage img = p.vp()->grab().toImage();
    saveShot(QPixmap::fromImage(img), "disjunct-cells.png");
    auto at = [&](int c, int r) { return img.pixelColor(p.grid->CellRect(c, r).topLeft() + QPoint(2, 2)); };
    EXPECT_EQ(at(2, 3), QColor(255, 0, 0));
    EXPECT_EQ(at(3, 5), QColor(255, 0, 0));
    EXPECT_NE(at(2, 4), QColor(255, 0, 0));
}

namespace {

QImage cellPicture(TZedEzeravIvur& g, int c, int r)
{
    return g.viewport()->grab(g.CellRect(c, r)).toImage();
}

} // namespace

TEST(FixedAsButtons, AHeaderLooksPressedWhileHeldAndClicksAsAButton)
{
    Press p;
    p.grid->SetGridOptions(p.grid->GridOptions() | tk::goEditing);
    std::vector<QPoint> clicks;
    p.grid->OnButtonClick = [&](QObject*, int c, int r) { clicks.emplace_back(c, r); };
    const QImage raised = cellPicture(*p.grid, 2, 0);

    // Without FixedAsButtons a header is no button.
    p.click(p.mid(2, 0));
    EXPECT_TRUE(clicks.empty());

    p.grid->FixedAsButtons = true;
    QTest::mousePress(p.vp(), Qt::LeftButton, {}, p.mid(2, 0));
    const QImage pressed = cellPicture(*p.grid, 2, 0);
    saveShot(p.vp()->grab(), "fixed-as-buttons-pressed.png");
    EXPECT_NE(pressed, raised);
    QTest::mouseRelease(p.vp(), Qt::LeftButton, {}, p.mid(2, 0));
    EXPECT_EQ(cellPicture(*p.grid, 2, 0), raised);
    EXPECT_EQ(clicks, (std::vector<QPoint>{{2, 0}}));

    // A row header likewise; without editing the button is disabled and raises nothing.
    p.grid->SetGridOptions(p.grid->GridOptions() & ~tk::goEditing);
    p.click(p.mid(0, 4));
    EXPECT_EQ(clicks.size(), 1u);
    // A flat grid has no 3-D buttons.
    p.grid->SetGridOptions(p.grid->GridOptions() | tk::goEditing);
    p.grid->SetFlat(true);
    p.click(p.mid(0, 4));
    EXPECT_EQ(clicks.size(), 1u);
}

TEST(FixedAsButtons, ASizingFromTheHeaderIsNoButtonClick)
{
    Press p;
    p.grid->SetGridOptions(p.grid->GridOptions() | tk::goEditing | tk::goColSizing);
    p.grid->FixedAsButtons = true;
    int clicks = 0;
    p.grid->OnButtonClick = [&](QObject*, int, int) { ++clicks; };
    const QRect r = p.grid->CellRect(2, 0);
    const QPoint border(r.right() + 1, r.center().y());
    QTest::mouseMove(p.vp(), border);
    QTest::mousePress(p.vp(), Qt::LeftButton, {}, border);
    QTest::mouseMove(p.vp(), border + QPoint(20, 0));
    QTest::mouseRelease(p.vp(), Qt::LeftButton, {}, border + QPoint(20, 0));
    EXPECT_GT(p.grid->ColWidths(2), 64);
    EXPECT_EQ(clicks, 0);
}

namespace {

// Fusion draws every header state alike: this style paints the state a header is drawn in as a
// colour of its own.
class HeaderStateStyle : public QProxyStyle {
public:
    HeaderStateStyle() : QProxyStyle(QStringLiteral("Fusion")) {}
    void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget) const override
    {
        if (element != CE_HeaderSection)
            return QProxyStyle::drawControl(element, option, painter, widget);
        const QColor c = (option->state & State_Sunken)      ? Qt::blue
                         : (option->state & State_MouseOver) ? Qt::red
                                                             : Qt::green;
        painter->fillRect(option->rect, c);
    }
};

} // namespace

TEST(ListViewLook, TheHeaderUnderThePointerIsHotAndPressedWhileHeld)
{
    Press p;
    HeaderStateStyle style;
    p.grid->setStyle(&style);
    p.grid->SetLook(glListView);
    ASSERT_TRUE(p.grid->ThemedDrawing());
    auto look = [&](int c, int r) {
        return p.vp()->grab().toImage().pixelColor(p.grid->CellRect(c, r).center() + QPoint(0, 5));
    };
    EXPECT_EQ(look(2, 0), QColor(Qt::green));
    QTest::mouseMove(p.vp(), p.mid(2, 0));
    EXPECT_EQ(look(2, 0), QColor(Qt::red));
    QTest::mousePress(p.vp(), Qt::LeftButton, {}, p.mid(2, 0));
    EXPECT_EQ(look(2, 0), QColor(Qt::blue));
    saveShot(p.vp()->grab(), "listview-pressed.png");
    QTest::mouseRelease(p.vp(), Qt::LeftButton, {}, p.mid(2, 0));
    EXPECT_EQ(look(2, 0), QColor(Qt::red));
    // Another header takes the hot look over, a row header too; a data cell is never hot.
    QTest::mouseMove(p.vp(), p.mid(3, 0));
    EXPECT_EQ(look(2, 0), QColor(Qt::green));
    EXPECT_EQ(look(3, 0), QColor(Qt::red));
    QTest::mouseMove(p.vp(), p.mid(0, 4));
    EXPECT_EQ(look(3, 0), QColor(Qt::green));
    EXPECT_EQ(look(0, 4), QColor(Qt::red));
    QTest::mouseMove(p.vp(), p.mid(2, 4));
    EXPECT_EQ(look(0, 4), QColor(Qt::green));
    QTest::mouseMove(p.vp(), p.mid(3, 0));
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(p.vp(), &leave);
    EXPECT_EQ(look(3, 0), QColor(Qt::green));
    p.grid->setStyle(nullptr);
}

TEST(RangeSelection, APressOnAPartlyVisibleRowSelectsNoRangeWithNoAutoRangeScroll)
{
    for (const bool noAutoScroll : {false, true}) {
        SCOPED_TRACE(noAutoScroll);
        Press p;
        p.grid->SetRowCount(40);
        p.grid->MouseActions()->NoAutoRangeScroll = noAutoScroll;
        // The last row on screen shows half of itself, whatever the frame's width.
        const int top = p.grid->CellRect(2, 1).top();
        const int pitch = p.grid->CellRect(2, 2).top() - top;
        const int wanted = top + 12 * pitch + pitch / 2;
        p.grid->resize(p.grid->width(), p.grid->height() + wanted - p.vp()->height());
        QApplication::processEvents();
        ASSERT_EQ(p.vp()->height(), wanted);
        const int edge = p.grid->TopRow() + p.grid->VisibleRowCount();
        const QPoint at(p.mid(2, 1).x(), p.vp()->height() - 3);
        ASSERT_EQ(p.grid->MouseCoord(at.x(), at.y()).Y, edge);
        QTest::mousePress(p.vp(), Qt::LeftButton, {}, at);
        // The row came into view; the pointer now stands over the row below it.
        EXPECT_EQ(p.grid->Row(), edge);
        ASSERT_GT(p.grid->TopRow(), 1);
        QTest::mouseMove(p.vp(), at + QPoint(0, -1));
        QTest::mouseRelease(p.vp(), Qt::LeftButton, {}, at + QPoint(0, -1));
        const tk::TGridRect s = p.grid->Selection();
        EXPECT_EQ(s.Top, edge);
        EXPECT_EQ(s.Bottom != s.Top, !noAutoScroll);
    }
}

TEST(AlwaysEdit, AClickIntoTheGridOpensNoEditorOnTheCellItLeaves)
{
    QWidget host;
    auto* other = new QLineEdit(&host);
    auto g = fruitGrid();
    TZedEzeravIvur* grid = g.release();
    grid->setParent(&host);
    grid->setGeometry(0, 30, 420, 300);
    host.resize(420, 340);
    grid->SetGridOptions(grid->GridOptions() | tk::goEditing);
    grid->Navigation()->AlwaysEdit = true;
    grid->FocusCell(1, 1, true);
    host.show();
    host.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&host));
    std::vector<QPoint> started;
    grid->OnGetEditorType = [&](QObject*, int c, int r, TEditorType&) { started.emplace_back(c, r); };
    auto leaveGrid = [&] {
        other->setFocus();
        ASSERT_TRUE(other->hasFocus());
        grid->EndInplaceEdit();
        started.clear();
    };

    leaveGrid();
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, grid->CellRect(2, 4).center());
    EXPECT_TRUE(grid->hasFocus());
    EXPECT_EQ(QPoint(grid->Col(), grid->Row()), QPoint(2, 4));
    EXPECT_FALSE(grid->EditorVisible());
    EXPECT_TRUE(std::find(started.begin(), started.end(), QPoint(1, 1)) == started.end());
    // The cell is current now: a press on it edits it.
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, grid->CellRect(2, 4).center());
    EXPECT_TRUE(grid->EditorVisible());

    // A press the toolkit never sees (a link) keeps what the focus does with AlwaysEdit.
    grid->SetCells(3, 6, "<a href=\"CELL://R2C1\">Link</a>");
    int links = 0;
    grid->OnAnchorClick = [&](QObject*, int, int, const QString&, bool& autoHandle) {
        ++links;
        autoHandle = false;
    };
    leaveGrid();
    const QPoint onLink = grid->CellRect(3, 6).topLeft() + QPoint(grid->CellMarginX() + 4, grid->CellMarginY() + 8);
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, onLink);
    EXPECT_EQ(links, 1);
    EXPECT_TRUE(grid->EditorVisible());
    EXPECT_TRUE(grid->InplaceEditor()->Focused());
    EXPECT_EQ(QPoint(grid->Col(), grid->Row()), QPoint(2, 4));
}

TEST(DoubleClick, OutsideTheCellsCountsAsTheLastColumnsHeader)
{
    Press p;
    p.grid->SetGridOptions(p.grid->GridOptions() | tk::goColSizing);
    p.grid->SetCells(4, 0, "Anmerkung");
    p.grid->SetCells(4, 2, "ein recht langer Text in der letzten Spalte");
    std::vector<QPoint> doubles;
    p.grid->OnDblClickCell = [&](QObject*, int row, int col) { doubles.emplace_back(col, row); };
    const QRect last = p.grid->CellRect(4, 5);
    ASSERT_LT(last.right() + 40, p.vp()->width());

    // Far right of the last column: the header's double click, which edits it with fceDblClick.
    p.grid->MouseActions()->FixedRowsEdit = fceDblClick;
    QTest::mouseDClick(p.vp(), Qt::LeftButton, {}, QPoint(last.right() + 30, last.center().y()));
    EXPECT_EQ(doubles, (std::vector<QPoint>{{4, 0}}));
    EXPECT_EQ(p.grid->ColWidths(4), 64);
    TGridTransEdit* e = p.grid->FixedCellEditor();
    ASSERT_TRUE(e->isVisible());
    EXPECT_EQ(QPoint(e->Col, e->Row), QPoint(4, 0));
    EXPECT_EQ(e->text(), "Anmerkung");
    e->hide();

    // Just right of its border: the last column is sized to its contents, and the next click on
    // the header still sorts.
    QTest::mouseDClick(p.vp(), Qt::LeftButton, {}, QPoint(last.right() + 3, last.center().y()));
    EXPECT_GT(p.grid->ColWidths(4), 150);
    EXPECT_EQ(doubles.size(), 1u);
    p.grid->SortSettings()->SetShow(true);
    int sorts = 0;
    p.grid->OnClickSort = [&](QObject*, int) { ++sorts; };
    p.click(p.mid(2, 0));
    EXPECT_EQ(sorts, 1);

    // Below the rows too; a grid that always keeps a fixed row ignores it.
    const QPoint below(p.mid(2, 1).x(), p.vp()->height() - 3);
    ASSERT_LT(p.grid->MouseCoord(below.x(), below.y()).Y, 0);
    QTest::mouseDClick(p.vp(), Qt::LeftButton, {}, below);
    EXPECT_EQ(doubles.size(), 2u);
    EXPECT_EQ(p.grid->ColWidths(3), 64);   // far from any header border: nothing is sized
    p.grid->SetFixedRowAlways(true);
    QTest::mouseDClick(p.vp(), Qt::LeftButton, {}, below);
    EXPECT_EQ(doubles.size(), 2u);
}

TEST(Panning, SwitchesHintsOff)
{
    Press p;
    p.grid->HintShowCells = true;
    THTMLHintWindow* window = GridHints(p.grid.get())->HintWindow();
    const QPoint at = p.grid->CellRect(1, 3).topLeft() + QPoint(3, 3);
    auto askHint = [&] {
        QHelpEvent ev(QEvent::ToolTip, at, p.vp()->mapToGlobal(at));
        QApplication::sendEvent(p.vp(), &ev);
    };
    askHint();
    ASSERT_TRUE(window->isVisible());
    // The middle press takes the shown hint away, and no hint comes while panning.
    QTest::mousePress(p.vp(), Qt::MiddleButton, {}, at);
    ASSERT_TRUE(p.grid->Panning());
    EXPECT_FALSE(window->isVisible());
    askHint();
    EXPECT_FALSE(window->isVisible());
    QTest::keyClick(p.grid.get(), Qt::Key_Escape);
    ASSERT_FALSE(p.grid->Panning());
    askHint();
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->Text(), "Birne");
}

TEST(HeaderDrag, RowsScrollAtTheBottomEdgeAndOverTheHeaderRow)
{
    Press p;
    p.grid->SetRowCount(40);
    p.grid->MouseActions()->RowSelect = true;
    auto drag = [&](QPoint at) {
        QMouseEvent ev(QEvent::MouseMove, QPointF(at), p.vp()->mapToGlobal(QPointF(at)), Qt::NoButton, Qt::LeftButton,
                       Qt::NoModifier);
        QApplication::sendEvent(p.vp(), &ev);
    };
    const int x = p.mid(0, 1).x();
    QTest::mousePress(p.vp(), Qt::LeftButton, {}, p.mid(0, 3));
    ASSERT_EQ(p.grid->Selection(), (tk::TGridRect{1, 3, 4, 3}));
    const int visible = p.grid->VisibleRowCount();
    // Each move at the bottom edge scrolls one row and selects down to the last row in view.
    drag(QPoint(x, p.vp()->height() - 2));
    drag(QPoint(x, p.vp()->height() - 1));
    EXPECT_EQ(p.grid->TopRow(), 3);
    EXPECT_EQ(p.grid->Selection(), (tk::TGridRect{1, 3, 4, 3 + visible - 1}));
    // Over the header row each move scrolls back one row; the pointer keeps the row-header cursor.
    drag(QPoint(x, 5));
    EXPECT_EQ(p.grid->TopRow(), 2);
    EXPECT_EQ(p.grid->Selection(), (tk::TGridRect{1, 2, 4, 3}));
    EXPECT_EQ(p.grid->CursorZone(), czRowHeader);
    EXPECT_EQ(p.vp()->cursor().pixmap().toImage(), GridCursor(8010).pixmap().toImage());
    drag(QPoint(x, 6));
    drag(QPoint(x, 7));   // the top: nothing left to scroll
    EXPECT_EQ(p.grid->TopRow(), 1);
    EXPECT_EQ(p.grid->Selection(), (tk::TGridRect{1, 1, 4, 3}));
    QTest::mouseRelease(p.vp(), Qt::LeftButton, {}, QPoint(x, 7));
}

TEST(CursorZones, AnotherCursorForTheGridClearsTheZoneUntilThePointerMoves)
{
    Press p;
    p.grid->MouseActions()->AllSelect = true;
    const QPoint corner = p.mid(0, 0);
    QTest::mouseMove(p.vp(), p.mid(2, 2));
    QTest::mouseMove(p.vp(), corner);
    ASSERT_EQ(p.grid->CursorZone(), czSelectAll);
    p.grid->setCursor(Qt::WaitCursor);
    EXPECT_EQ(p.grid->CursorZone(), czNone);
    // A press without a move is no select-all.
    p.click(corner);
    EXPECT_EQ(p.grid->Selection(), (tk::TGridRect{1, 1, 1, 1}));
    QTest::mouseMove(p.vp(), corner + QPoint(1, 0));
    EXPECT_EQ(p.grid->CursorZone(), czSelectAll);
    p.click(corner + QPoint(1, 0));
    EXPECT_EQ(p.grid->Selection(), (tk::TGridRect{1, 1, 4, 9}));
}

TEST(ComboObjects, TheObjectChangeCarriesTheItemsObject)
{
    Press p;
    p.grid->SetGridOptions(p.grid->GridOptions() | tk::goEditing);
    p.grid->OnGetEditorType = [](QObject*, int c, int r, TEditorType& kind) {
        if (c == 2 && r == 2)
            kind = edComboList;
    };
    QObject apple, pear;
    QComboBox* combo = p.grid->GridCombo();
    combo->addItem("Apfel", QVariant::fromValue<QObject*>(&apple));
    combo->addItem("Birne", QVariant::fromValue<QObject*>(&pear));
    combo->addItem("Quitte");
    std::vector<std::pair<int, QObject*>> changes;
    p.grid->OnComboObjectChange = [&](QObject*, int, int, int index, const QString&, QObject* object) {
        changes.emplace_back(index, object);
    };
    // A cell text that is no item selects item 0 and reports its object.
    p.grid->SetCells(2, 2, "Mango");
    p.grid->FocusCell(2, 2, true);
    p.grid->setFocus();
    p.grid->ShowEditor();
    ASSERT_EQ(p.grid->ShownEditorControl(), combo);
    ASSERT_EQ(changes.size(), 1u);
    EXPECT_EQ(changes[0], std::make_pair(0, &apple));
    // The user's wheel steps to the next items: one with an object and one without.
    auto wheelDown = [&] {
        QWheelEvent ev(QPointF(5, 5), combo->mapToGlobal(QPointF(5, 5)), QPoint(), QPoint(0, -120), Qt::NoButton,
                       Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(combo, &ev);
    };
    wheelDown();
    wheelDown();
    ASSERT_EQ(changes.size(), 3u);
    EXPECT_EQ(changes[1], std::make_pair(1, static_cast<QObject*>(&pear)));
    EXPECT_EQ(changes[2], std::make_pair(2, static_cast<QObject*>(nullptr)));
    p.grid->EndInplaceEdit();
}

TEST(AlwaysEdit, AFocusByAPressOutsideTheCellsStillOpensTheEditor)
{
    QWidget host;
    auto* other = new QLineEdit(&host);
    TZedEzeravIvur* grid = fruitGrid().release();
    grid->setParent(&host);
    grid->setGeometry(0, 30, 420, 200);
    grid->SetRowCount(40);
    host.resize(420, 240);
    grid->SetGridOptions(grid->GridOptions() | tk::goEditing);
    grid->Navigation()->AlwaysEdit = true;
    host.show();
    host.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&host));
    other->setFocus();
    QScrollBar* bar = grid->verticalScrollBar();
    ASSERT_TRUE(bar->isVisible());
    // A press on the slider itself, which scrolls nothing.
    QStyleOptionSlider opt;
    opt.initFrom(bar);
    opt.orientation = bar->orientation();
    opt.minimum = bar->minimum();
    opt.maximum = bar->maximum();
    opt.sliderPosition = opt.sliderValue = bar->value();
    opt.pageStep = bar->pageStep();
    opt.singleStep = bar->singleStep();
    const QRect handle = bar->style()->subControlRect(QStyle::CC_ScrollBar, &opt, QStyle::SC_ScrollBarSlider, bar);
    QTest::mouseClick(bar, Qt::LeftButton, {}, handle.center());
    ASSERT_EQ(grid->TopRow(), 1);
    if (!grid->hasFocus())
        GTEST_SKIP() << "a scroll bar press gives the grid no focus here";
    EXPECT_FALSE(grid->EditorVisible());   // not before the press is over
    QApplication::processEvents();
    EXPECT_TRUE(grid->EditorVisible());
}
