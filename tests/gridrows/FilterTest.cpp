// Filtering: conditions combined by their operations, progress, and switching on and off.
#include "RowsFixture.h"

#include <gtest/gtest.h>

using namespace grid;
using namespace rowtest;

namespace {
void addCondition(TZedEzeravIvur& g, int col, const QString& cond, TFilterOperation op)
{
    TFilterData& f = g.Filter().Add();
    f.Column = short(col);
    f.Condition = cond;
    f.Operation = op;
}
} // namespace

TEST(Filter, OperationsCombineTheMatches)
{
    // Column 1 holds "A", column 2 "B": conditions on both, matching or not.
    struct Case {
        TFilterOperation first;
        bool firstMatches;
        TFilterOperation second;
        bool secondMatches;
        bool passes;
    };
    const Case cases[] = {
        {foNONE, true, foOR, false, true},   {foNONE, false, foOR, true, true},
        {foNONE, false, foOR, false, false}, {foSHORT, false, foOR, true, false},
        {foSHORT, true, foAND, false, false}, {foNONE, true, foXOR, true, false},
        {foNONE, false, foXOR, true, true},  {foNONE, false, foNONE, true, true},
        {foSHORT, true, foNONE, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(int(&c - cases));
        auto g = makeGrid(2, 3);
        g->SetCells(1, 1, "A");
        g->SetCells(2, 1, "B");
        addCondition(*g, 1, c.firstMatches ? "A" : "Z", c.first);
        addCondition(*g, 2, c.secondMatches ? "B" : "Z", c.second);
        EXPECT_EQ(g->RowMatchesFilter(1), c.passes);
    }
    auto g = makeGrid(2, 3);
    EXPECT_TRUE(g->RowMatchesFilter(1));   // no conditions
}

TEST(Filter, ProgressIsReportedPerRowAndOnceMore)
{
    auto g = makeGrid(9, 3);
    addCondition(*g, 0, "r*", foSHORT);
    std::vector<int> progress;
    g->OnFilterProgress = [&](QObject*, short p) { progress.push_back(p); };
    g->SetFilterActive(true);
    EXPECT_EQ(progress, (std::vector<int>{12, 25, 38, 50, 62, 75, 88, 100, 100}));
    g->SetFilterActive(true);   // already on: not applied again
    EXPECT_EQ(progress.size(), 9u);
}

TEST(Filter, PrefixAndSuffixAreStrippedOnlyWhereTheyBelong)
{
    auto g = makeGrid(4, 3);
    g->SetCells(1, 1, "10 kg");
    g->SetCells(1, 2, "5 kg kg");   // the suffix occurs twice: not removed
    g->SetCells(1, 3, "#7 kg");
    TFilterData& f = g->Filter().Add();
    f.Column = 1;
    f.Suffix = " kg";
    f.Prefix = "#";
    f.Condition = ">6";
    EXPECT_TRUE(g->RowMatchesFilter(1));
    EXPECT_FALSE(g->RowMatchesFilter(2));
    EXPECT_TRUE(g->RowMatchesFilter(3));
    f.Condition = "5 kg*";
    EXPECT_TRUE(g->RowMatchesFilter(2));
}

TEST(Filter, FixedAndFooterRowsStayAndRowsComeBackWhenSwitchedOff)
{
    auto g = makeGrid(10, 3);
    g->SetFixedFooters(1);
    addCondition(*g, 0, "r3", foSHORT);
    g->SetFilterActive(true);
    EXPECT_EQ(column(*g), names({0, 3, 9}));
    EXPECT_EQ(g->RealRowIndex(2), 9);
    g->Filter().Items(0).Condition = "r5";   // takes effect after off and on
    g->SetFilterActive(false);
    EXPECT_EQ(column(*g), names({0, 1, 2, 3, 4, 5, 6, 7, 8, 9}));
    EXPECT_EQ(g->FixedRows(), 1);
    g->SetFilterActive(true);
    EXPECT_EQ(column(*g), names({0, 5, 9}));
}

TEST(Filter, EveryRowFailingKeepsTheFixedRows)
{
    auto g = makeGrid(5, 3);
    addCondition(*g, 0, "nothing", foSHORT);
    g->SetFilterActive(true);
    EXPECT_EQ(column(*g), names({0}));
    g->SetFilterActive(false);
    EXPECT_EQ(g->FixedRows(), 1);
    EXPECT_EQ(g->RowCount(), 5);
}

TEST(Filter, VirtualConditionsSeeTheDisplayText)
{
    for (TFilterCells data : {fcVirtual, fcNormal}) {
        SCOPED_TRACE(int(data));
        auto g = makeGrid(4, 3);
        g->OnGetDisplText = [](QObject*, int, int row, QString& v) {
            if (row == 2)
                v = "shown";
        };
        addCondition(*g, 0, "shown", foSHORT);
        g->Filter().Items(0).Data = data;
        g->SetFilterActive(true);
        EXPECT_EQ(g->RowCount(), data == fcVirtual ? 2 : 1);
    }
}
