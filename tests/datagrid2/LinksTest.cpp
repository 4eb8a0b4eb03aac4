// Sort-order text, grids linked by MasterGrid, and record numbers in an auto-number column.
#include "tests/datagrid/GridFixture.h"
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
