// Sort markers of the titles: toggling, the order text and its change event.
#include "GridFixture.h"
#include <QMouseEvent>
#include <gtest/gtest.h>

using namespace gridtest;
using namespace xdb;

namespace {
struct MarkerGrid {
    ListGrid g{3};
    TXDBGridColumns* cols = g.grid->Columns();
    int changes = 0;
    MarkerGrid()
    {
        g.grid->OnOrderChanged = [this](TXCustomDBGrid*) { ++changes; };
    }
    TXColumn* col(const char* name) { return g.grid->ColumnByFieldName(QString::fromLatin1(name)); }
    void toggle(const char* name, bool ctrl) { cols->ToggleMarker(col(name), ctrl); }
    QString order() const { return g.grid->OrderFields(); }
};
} // namespace

TEST(GridMarkers, TogglingWithoutCtrlKeepsOneColumn)
{
    MarkerGrid m;
    m.toggle("Email", false);
    EXPECT_EQ(m.order(), QStringLiteral("Email"));
    EXPECT_EQ(m.col("Email")->Title()->Marker(), tmAscend);
    EXPECT_EQ(m.col("Email")->Title()->MarkerIndex(), 2); // numbered marker 1, ascending
    m.toggle("Email", false);
    EXPECT_EQ(m.order(), QStringLiteral("Email DESC"));
    EXPECT_EQ(m.col("Email")->Title()->MarkerIndex(), 3);
    m.toggle("Email", false);
    EXPECT_EQ(m.order(), QStringLiteral("Email"));
    m.toggle("Last Name", false);
    EXPECT_EQ(m.order(), QStringLiteral("Last Name"));
    EXPECT_EQ(m.col("Email")->Title()->Marker(), tmNone);
    EXPECT_EQ(m.col("Email")->Title()->OrderIndex(), -1);
    EXPECT_EQ(m.changes, 4);
}

TEST(GridMarkers, CtrlAddsNumberedColumnsAndTheLastOneDrops)
{
    MarkerGrid m;
    m.toggle("Email", false);
    m.toggle("Last Name", true);
    EXPECT_EQ(m.order(), QStringLiteral("Email,Last Name"));
    EXPECT_EQ(m.col("Last Name")->Title()->MarkerIndex(), 4);
    EXPECT_EQ(m.col("Last Name")->Title()->OrderIndex(), 2);
    m.toggle("Last Name", true);
    EXPECT_EQ(m.order(), QStringLiteral("Email,Last Name DESC"));
    m.toggle("Last Name", true);   // the last listed column, not the only one: unmarked
    EXPECT_EQ(m.order(), QStringLiteral("Email"));
    m.toggle("Email", true);       // the only one: ascending -> descending
    EXPECT_EQ(m.order(), QStringLiteral("Email DESC"));
    m.toggle("Email", true);       // descending, only one: ascending again
    EXPECT_EQ(m.order(), QStringLiteral("Email"));
    EXPECT_EQ(m.changes, 6);
}

TEST(GridMarkers, AutoSwitchKeepsASingleUnnumberedMarker)
{
    MarkerGrid m;
    m.g.grid->SetOptions(m.g.grid->Options() | dgMarkerAutoSwitch);
    m.toggle("Email", false);
    m.toggle("Last Name", true);   // Ctrl does not add with auto-switch
    EXPECT_EQ(m.order(), QStringLiteral("Last Name"));
    EXPECT_EQ(m.col("Last Name")->Title()->MarkerIndex(), 0);
    m.toggle("Last Name", true);
    EXPECT_EQ(m.col("Last Name")->Title()->MarkerIndex(), 1);
    EXPECT_EQ(m.order(), QStringLiteral("Last Name DESC"));
    // Setting a marker by property clears the other one too.
    m.col("Email")->Title()->SetMarker(tmAscend);
    EXPECT_EQ(m.order(), QStringLiteral("Email"));
    EXPECT_EQ(m.changes, 4);
}

TEST(GridMarkers, AtMostNineColumnsAndOneEventPerChange)
{
    TXDBGrid grid;
    int changes = 0;
    grid.OnOrderChanged = [&](TXCustomDBGrid*) { ++changes; };
    for (int i = 0; i < 10; ++i)
        grid.Columns()->Add()->SetFieldName(QStringLiteral("c%1").arg(i));
    for (int i = 0; i < 10; ++i)
        grid.Columns()->ToggleMarker(grid.Columns()->Items(i), true);
    EXPECT_EQ(grid.Columns()->SortList().size(), 9u);
    EXPECT_EQ(grid.Columns()->Items(9)->Title()->Marker(), tmNone);
    EXPECT_EQ(grid.OrderFields(), QStringLiteral("c0,c1,c2,c3,c4,c5,c6,c7,c8"));
    EXPECT_EQ(changes, 9) << "the refused tenth click changes nothing";
    // Unmarking a middle column renumbers the rest.
    grid.Columns()->Items(3)->Title()->SetMarker(tmNone);
    EXPECT_EQ(changes, 10);
    EXPECT_EQ(grid.Columns()->Items(4)->Title()->OrderIndex(), 4);
    // Ascend-only turns descending markers ascending.
    grid.Columns()->Items(0)->Title()->SetMarker(tmDescend);
    grid.SetOptions(grid.Options() | dgMarkerAscendOnly);
    EXPECT_EQ(grid.Columns()->Items(0)->Title()->Marker(), tmAscend);
}

TEST(GridMarkers, TitleClickTogglesAndRaisesTitleClick)
{
    MarkerGrid m;
    TXColumn* clicked = nullptr;
    m.g.grid->OnTitleClick = [&](TXColumn* c) { clicked = c; };
    TXColumn* email = m.col("Email");
    email->SetWidth(120);
    const QRect title = m.g.grid->CellRect(m.g.grid->DataColToGridCol(email->Index()), 0);
    ASSERT_FALSE(title.isEmpty());
    QTest::mouseClick(m.g.grid->viewport(), Qt::LeftButton, Qt::NoModifier, title.center());
    EXPECT_EQ(clicked, email);
    EXPECT_EQ(m.order(), QStringLiteral("Email"));
    TXColumn* last = m.col("Last Name");
    last->SetWidth(100);
    const QRect title2 = m.g.grid->CellRect(m.g.grid->DataColToGridCol(last->Index()), 0);
    QTest::mouseClick(m.g.grid->viewport(), Qt::LeftButton, Qt::ControlModifier, title2.center());
    EXPECT_EQ(m.order(), QStringLiteral("Email,Last Name"));
    EXPECT_EQ(m.changes, 2);
}

TEST(GridColumnsMove, DraggingATitleMovesTheColumnWithItsWidth)
{
    ListGrid g(3);
    int titleClicks = 0;
    g.grid->OnTitleClick = [&](TXColumn*) { ++titleClicks; };
    TXDBGridColumns* cols = g.grid->Columns();
    cols->Clear();
    const char* names[] = {"Status", "Email", "Last Name"};
    const int widths[] = {40, 120, 80};
    for (int i = 0; i < 3; ++i) {
        TXColumn* c = cols->Add();
        c->SetFieldName(QString::fromLatin1(names[i]));
        c->SetWidth(widths[i]);
    }
    QWidget* vp = g.grid->viewport();
    const QRect from = g.grid->CellRect(g.grid->DataColToGridCol(0), 0);
    const QRect to = g.grid->CellRect(g.grid->DataColToGridCol(2), 0);
    QTest::mousePress(vp, Qt::LeftButton, Qt::NoModifier, from.center());
    QMouseEvent move(QEvent::MouseMove, QPointF(to.center()), vp->mapToGlobal(QPointF(to.center())), Qt::NoButton,
                     Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(vp, &move);
    QTest::mouseRelease(vp, Qt::LeftButton, Qt::NoModifier, to.center());
    EXPECT_EQ(cols->Items(0)->FieldName(), QStringLiteral("Email"));
    EXPECT_EQ(cols->Items(2)->FieldName(), QStringLiteral("Status"));
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(g.grid->ColWidths(g.grid->DataColToGridCol(i)), cols->Items(i)->Width());
    EXPECT_EQ(cols->Items(2)->Width(), 40);
    EXPECT_EQ(titleClicks, 0) << "a dragged title is no click";
}
