// Sort-order text, grids linked by MasterGrid, and record numbers in an auto-number column.
#include "tests/datagrid/GridFixture.h"
#include <QScrollBar>
#include <gtest/gtest.h>

using namespace xdb;
using gridtest::ListGrid;

TEST(GridOrderFields, ItemsSetMarkersInOrderAndUnknownNamesAreSkipped)
{
    ListGrid g(3);
    int changed = 0;
    g.grid->OnOrderChanged = [&](TXCustomDBGrid*) { ++changed; };
    g.grid->SetOrderFields(QStringLiteral("email desc, Nowhere, Last Name ASC"));
    TXColumn* email = g.grid->ColumnByFieldName(QStringLiteral("Email"));
    TXColumn* last = g.grid->ColumnByFieldName(QStringLiteral("Last Name"));
    EXPECT_EQ(email->Title()->Marker(), tmDescend);
    EXPECT_EQ(email->Title()->MarkerIndex(), 3);
    EXPECT_EQ(last->Title()->Marker(), tmAscend);
    EXPECT_EQ(last->Title()->MarkerIndex(), 4);
    EXPECT_EQ(g.grid->OrderFields(), QStringLiteral("Email DESC,Last Name"));
    EXPECT_EQ(changed, 1);

    g.grid->SetOptions((g.grid->Options() & ~dgMarkerAutoToggle) | dgMarkerAutoSwitch);
    g.grid->SetOrderFields(QStringLiteral("Last Name DESC,Email"));
    EXPECT_EQ(g.grid->OrderFields(), QStringLiteral("Last Name DESC"));
    EXPECT_EQ(email->Title()->Marker(), tmNone);
}

TEST(GridOrderFields, AtMostNineColumnsAndTheStoredTextAppliesWhenTheDatasetOpens)
{
    QStringList select, order;
    for (int i = 1; i <= 10; ++i) {
        select << QStringLiteral("\"Email\" AS \"E%1\"").arg(i);
        order << QStringLiteral("E%1").arg(i);
    }
    ListGrid wide(2, QStringLiteral("SELECT ") + select.join(QLatin1Char(',')) + QStringLiteral(" FROM \"RL1\""));
    wide.grid->SetOrderFields(order.join(QLatin1Char(',')));
    EXPECT_EQ(wide.grid->Columns()->SortList().size(), 9u);
    EXPECT_EQ(wide.grid->ColumnByFieldName(QStringLiteral("E10"))->Title()->Marker(), tmNone);

    ListGrid g(3, QStringLiteral("SELECT * FROM \"RL1\""), false);
    int changed = 0;
    g.grid->OnOrderChanged = [&](TXCustomDBGrid*) { ++changed; };
    g.grid->SetOrderFields(QStringLiteral("Email DESC"));
    EXPECT_EQ(g.grid->OrderFields(), QStringLiteral("Email DESC"));
    g.ds.Open();
    QApplication::processEvents();
    EXPECT_EQ(g.grid->ColumnByFieldName(QStringLiteral("Email"))->Title()->Marker(), tmDescend);
    EXPECT_EQ(changed, 0);
}

TEST(GridMasterGrid, SelfCircleAndCopiedWidths)
{
    ListGrid a(3), b(3), c(3);
    a.grid->SetMasterGrid(a.grid.get());
    EXPECT_EQ(a.grid->MasterGrid(), nullptr);

    // The master gets persistent columns when it gets a follower.
    b.grid->SetMasterGrid(a.grid.get());
    EXPECT_EQ(b.grid->MasterGrid(), a.grid.get());
    EXPECT_EQ(a.grid->Columns()->State(), csCustomized);
    b.grid->SetMasterGrid(nullptr);
    EXPECT_EQ(a.grid->FollowerGrid(), nullptr);
    a.grid->Columns()->Items(2)->SetWidth(150);
    b.grid->SetMasterGrid(a.grid.get());
    EXPECT_EQ(b.grid->Columns()->Items(2)->Width(), 150);
    EXPECT_EQ(a.grid->FollowerGrid(), b.grid.get());
    EXPECT_EQ(b.grid->FollowerGrid(), a.grid.get());
    // Later changes of either grid go around the ring.
    b.grid->Columns()->Items(3)->SetWidth(77);
    EXPECT_EQ(a.grid->Columns()->Items(3)->Width(), 77);
    a.grid->Columns()->Items(1)->SetVisible(false);
    EXPECT_FALSE(b.grid->Columns()->Items(1)->Visible());
    a.grid->SetIndicatorWidth(30);
    EXPECT_EQ(b.grid->IndicatorWidth(), 30);

    c.grid->SetMasterGrid(b.grid.get());
    try {
        a.grid->SetMasterGrid(c.grid.get());
        FAIL() << "no exception";
    } catch (const EInvalidGridOperation& e) {
        EXPECT_EQ(e.message(), QStringLiteral("Circular datalinks are not allowed"));
    }
    EXPECT_EQ(a.grid->MasterGrid(), nullptr);
    // A grid of the ring that goes away leaves it.
    b.grid.reset();
    EXPECT_EQ(c.grid->MasterGrid(), nullptr);
    EXPECT_EQ(a.grid->FollowerGrid(), nullptr);
}

TEST(GridNumbers, AutoNumberColumnShowsTheRecordNumber)
{
    ListGrid g(30);
    TXColumn* c = g.grid->Columns()->Items(1);
    c->SetAutoNumber(true);
    g.ds.SetRecNo(10);
    const int active = g.grid->DataLink()->ActiveRecord();
    EXPECT_EQ(g.grid->ColGetText(c, QStringLiteral("0"), tkDisplay), QStringLiteral("10."));
    g.grid->DataLink()->SetActiveRecord(active + 1);
    EXPECT_EQ(g.grid->ColGetText(c, QStringLiteral("0"), tkDisplay), QStringLiteral("11."));
    EXPECT_EQ(g.grid->ColGetText(c, QStringLiteral("0"), tkReport), QStringLiteral("0"));
    g.grid->DataLink()->SetActiveRecord(active);
}

namespace {

class UnsequencedDataSet : public db::TExtADODataSet {
public:
    bool IsSequenced() const override { return false; }
};

} // namespace

TEST(GridNumbers, NumberedScrollingCountsTheRecordsItself)
{
    qlytest::TempDir dir;
    db::Connection conn;
    conn.Open(dir.file("qly.db"), db::OpenMode::CreateIfMissing);
    gridtest::CreateListTable(conn, 40);
    UnsequencedDataSet ds;
    ds.SetConnection(&conn);
    ds.SetCommandText(QStringLiteral("SELECT * FROM \"RL1\""));
    db::TDataSource source;
    source.SetDataSet(&ds);
    TXDBGrid grid;
    grid.resize(420, 300);
    grid.SetDataSource(&source);
    grid.SetOptions(grid.Options() | dgForceSequence);
    grid.show();
    ds.Open();
    ds.MoveBy(4);
    EXPECT_EQ(grid.SequenceCount(), 40);
    EXPECT_EQ(grid.SequencePosition(), 5);
    QTest::keyClick(&grid, Qt::Key_Down);
    QTest::keyClick(&grid, Qt::Key_PageDown);
    const int page = grid.VisibleRowCount();
    EXPECT_EQ(grid.SequencePosition(), 6 + page);
    ds.MoveBy(10 - (6 + page));
    ASSERT_EQ(grid.SequencePosition(), 10);
    // The auto-number column shows the counted numbers of the drawn rows.
    TXColumn* c = grid.Columns()->Items(1);
    c->SetAutoNumber(true);
    const int active = grid.DataLink()->ActiveRecord();
    EXPECT_EQ(grid.ColGetText(c, QString(), tkDisplay), QStringLiteral("10."));
    grid.DataLink()->SetActiveRecord(active + 1);
    EXPECT_EQ(grid.ColGetText(c, QString(), tkDisplay), QStringLiteral("11."));
    grid.DataLink()->SetActiveRecord(active);
    // The bar shows count and position; a thumb drop moves by the difference.
    QScrollBar* bar = grid.verticalScrollBar();
    EXPECT_EQ(bar->maximum(), 40);
    EXPECT_EQ(bar->value(), 10);
    bar->setSliderPosition(25);
    bar->triggerAction(QAbstractSlider::SliderMove);
    EXPECT_EQ(grid.SequencePosition(), 25);
    EXPECT_EQ(ds.FieldByName(QStringLiteral("_ID"))->AsInteger(), 25);
    ds.Last();
    EXPECT_EQ(grid.SequencePosition(), 40);
    ds.First();
    EXPECT_EQ(grid.SequencePosition(), 1);
    // An empty dataset counts 0.
    conn.Execute(QStringLiteral("DELETE FROM \"RL1\""));
    ds.Requery();
    EXPECT_EQ(grid.SequenceCount(), 0);
    EXPECT_EQ(grid.SequencePosition(), 0);
}

namespace {
struct ExitAccess : TXDBGrid {
    using TXCustomDBGrid::DoExit;
};
} // namespace

TEST(GridExit, LeavingTheGridWritesTheTypedTextOrCancelsAnEmptyInsert)
{
    ListGrid g(3);
    auto* grid = static_cast<ExitAccess*>(g.grid.get());
    grid->SetSelectedIndex(2);
    g.Key(Qt::Key_F2);
    auto* e = grid->InplaceEditor();
    ASSERT_TRUE(e && e->isVisible());
    e->selectAll();
    QTest::keyClicks(e, QStringLiteral("raus@example.de"));
    EXPECT_EQ(g.Value(QStringLiteral("Email")), QStringLiteral("user001@example.com"));
    grid->DoExit();
    EXPECT_EQ(g.Value(QStringLiteral("Email")), QStringLiteral("raus@example.de"));
    g.ds.Post();

    const int before = g.ds.RecordCount();
    g.Key(Qt::Key_Insert);
    ASSERT_EQ(g.ds.State(), db::dsInsert);
    grid->DoExit();
    EXPECT_EQ(g.ds.State(), db::dsBrowse);
    EXPECT_EQ(g.ds.RecordCount(), before);
}
