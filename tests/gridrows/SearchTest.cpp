// Finding cells, highlighting a text in the cells, the search bar's handlers and the lookup.
#include "RowsFixture.h"

#include <gtest/gtest.h>

using namespace grid;
using namespace rowtest;

namespace {
// 3 normal columns x 3 normal rows (one fixed row and column); texts "cr" except the empties.
class SearchGrid : public TZedEzeravIvur {
public:
    using TZedEzeravIvur::CopyProgress;
    std::vector<std::pair<int, int>> stages;
    void CopyProgress(int stage, int index) override { stages.emplace_back(stage, index); }
};

std::unique_ptr<SearchGrid> searchGrid()
{
    auto g = std::make_unique<SearchGrid>();
    g->SetColCount(4);
    g->SetRowCount(4);
    for (int r = 1; r < 4; ++r)
        for (int c = 1; c < 4; ++c)
            g->SetCells(c, r, QStringLiteral("c%1r%2").arg(c).arg(r));
    g->SetCells(2, 1, "");
    g->SetCells(1, 3, "");
    return g;
}

class FakeBar : public ISearchBar {
public:
    QString text;
    bool highlight = false;
    bool matchCase = false;
    bool autoSearch = true;
    bool activeColumnOnly = false;
    int column = -1;
    TColor color = gfx::clWindow;
    bool visible = true;
    QString EditText() const override { return text; }
    bool HighlightDown() const override { return highlight; }
    bool MatchCase() const override { return matchCase; }
    bool AutoSearch() const override { return autoSearch; }
    bool SearchActiveColumnOnly() const override { return activeColumnOnly; }
    int SearchColumn() const override { return column; }
    void SetEditColor(TColor c) override { color = c; }
    void SetVisible(bool v) override { visible = v; }
};
} // namespace

TEST(Search, TwoQuotesFindEmptyCellsInTheWalkingOrder)
{
    auto g = searchGrid();
    QPoint found;
    ASSERT_TRUE(g->FindCell({-1, -1}, "\"\"", found, 0));
    EXPECT_EQ(found, QPoint(1, 3));   // down the first column first
    ASSERT_TRUE(g->FindCell({-1, -1}, "\"\"", found, soRowByRow));
    EXPECT_EQ(found, QPoint(2, 1));
    ASSERT_TRUE(g->FindCell(found, "\"\"", found, soRowByRow));
    EXPECT_EQ(found, QPoint(1, 3));
    EXPECT_FALSE(g->FindCell(found, "\"\"", found, soRowByRow));   // no wrapping
    EXPECT_EQ(found, QPoint(-1, -1));
    EXPECT_FALSE(g->FindCell({-1, -1}, "", found, 0));            // an empty text finds nothing
    ASSERT_TRUE(g->FindCell({-1, -1}, "c3r3", found, soBackward));
    EXPECT_EQ(found, QPoint(3, 3));
}

TEST(Search, OptionsRestrictAndTheirPresetsWin)
{
    auto g = searchGrid();
    QPoint found;
    struct Case {
        QString text;
        TSearchOptions options;
        QPoint want;
    };
    g->SetCol(1);
    g->SetRow(2);
    g->SearchColumnIndex = 3;
    g->SearchRowIndex = 1;
    const Case cases[] = {
        {"C2R2", soWholeCell, {2, 2}},
        {"C2R2", soWholeCell | soCaseSensitive, {-1, -1}},
        {"r2", soTextStart, {-1, -1}},
        {"c3", soTextStart, {3, 1}},
        {"r", soCurrentColumn | soPresetColumn, {3, 1}},
        {"r", soCurrentRow | soRowByRow, {1, 2}},
        {"r", soPresetRow | soCurrentRow | soRowByRow, {1, 1}},
        {"c?r3", soPattern, {2, 3}},
        {"r0", 0, {-1, -1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text.toStdString());
        g->FindCell({-1, -1}, c.text, found, c.options);
        EXPECT_EQ(found, c.want);
    }
    g->SetCells(1, 0, "r0");
    ASSERT_TRUE(g->FindCell({-1, -1}, "r0", found, soWithFixed | soGoToCell));
    EXPECT_EQ(found, QPoint(1, 0));
}

TEST(Search, ProgressStagesAroundTheSearch)
{
    auto g = searchGrid();
    QPoint found;
    g->FindCell({-1, -1}, "c1r2", found, 0);
    EXPECT_EQ(g->stages, (std::vector<std::pair<int, int>>{{0, -1}, {1, 1}, {1, 2}, {4, -1}}));
    g->stages.clear();
    g->FindCell({-1, -1}, "zzz", found, soCurrentRow | soRowByRow);
    EXPECT_EQ(g->stages.size(), 5u);
    EXPECT_EQ(g->stages.back(), std::make_pair(2, -1));
}

TEST(Search, HighlightingTagsOnlyStoredTextsOfBaseCells)
{
    auto g = searchGrid();
    g->SetCells(1, 1, "abcabc");
    g->SetCells(2, 2, "xbx");
    g->MergeCells(2, 2, 1, 2);   // (2, 3) is covered
    g->SetCells(3, 3, "{\\rtf1 b}");
    g->SetCells(1, 3, "1 < b");   // the tags would make markup of it
    g->OnGetDisplText = [](QObject*, int col, int row, QString& v) {
        if (col == 3 && row == 2)
            v = "shown b";
    };
    g->HighlightRange("B", "hi", g->RowCount() - 1, g->ColCount() - 1, 1, 1, false);
    EXPECT_EQ(g->Cells(1, 1), "a<hi>b</hi>ca<hi>b</hi>c");
    EXPECT_EQ(g->Cells(2, 2), "x<hi>b</hi>x");
    EXPECT_EQ(g->Cells(2, 3), "c2r3");       // covered: untouched
    EXPECT_EQ(g->Cells(3, 2), "c3r2");       // the display text is not stored
    EXPECT_EQ(g->Cells(3, 3), "{\\rtf1 b}");
    EXPECT_EQ(g->Cells(1, 3), "1 < b");
    g->UnHighlightRange("hi", 1, g->RowCount() - 1, g->ColCount() - 1, 1);
    EXPECT_EQ(g->Cells(1, 1), "abcabc");
    EXPECT_EQ(g->Cells(2, 2), "xbx");
}

TEST(Search, HighlightInGridMarksOnlyTheView)
{
    auto g = searchGrid();
    g->SetCells(1, 1, "abcabc");
    g->SetCells(1, 2, "1 < b & c");
    g->SetCells(1, 0, "b head");
    g->HighlightInGrid(false, false, "B");
    EXPECT_EQ(g->Cells(1, 1), "abcabc");
    EXPECT_EQ(g->Cells(1, 2), "1 < b & c");
    struct Case {
        int col, row;
        bool marked;
        QString shown;
    };
    for (const Case& c : {Case{1, 1, true, "a<hi>b</hi>ca<hi>b</hi>c"}, Case{1, 2, true, "1 &lt; <hi>b</hi> &amp; c"},
                          Case{3, 1, false, "c3r1"}, Case{1, 0, false, "b head"}}) {   // row 0: a fixed row
        QString text = g->Cells(c.col, c.row);
        int kind = 0;
        EXPECT_EQ(g->ViewHighlight(c.col, c.row, text, kind), c.marked);
        EXPECT_EQ(text, c.shown);
    }
    g->UnHighlightInGrid(false);
    QString text = g->Cells(1, 1);
    int kind = 0;
    EXPECT_FALSE(g->ViewHighlight(1, 1, text, kind));
}

TEST(Search, TheSearchBarDrivesTheSearch)
{
    auto g = searchGrid();
    FakeBar bar;
    g->SetSearchBar(&bar);
    bar.text = "zzz";
    g->SetCells(1, 1, "c1r1 b");
    g->HighlightInGrid(false, false, "b");
    g->SearchTextChanged();
    EXPECT_EQ(bar.color, TColor(0x0000FF));
    EXPECT_TRUE(g->HighlightedText().isEmpty());   // highlights removed

    bar.text = "c3r2";
    bar.highlight = true;
    g->SearchTextChanged();
    EXPECT_EQ(bar.color, gfx::clWindow);
    EXPECT_EQ(g->LastFound(), QPoint(3, 2));
    EXPECT_EQ(g->Row(), 2);
    EXPECT_EQ(g->Col(), 3);
    EXPECT_EQ(g->Cells(3, 2), "c3r2");
    EXPECT_EQ(g->HighlightedText(), "c3r2");

    bar.autoSearch = false;
    bar.text = "r1";
    g->SearchFindNext();
    EXPECT_EQ(g->LastFound(), QPoint(1, 1));
    g->SearchFindNext();
    EXPECT_EQ(g->LastFound(), QPoint(3, 1));
    g->SearchFindPrevious();
    EXPECT_EQ(g->LastFound(), QPoint(1, 1));
    g->SearchClose();
    EXPECT_FALSE(bar.visible);
    EXPECT_TRUE(g->HighlightedText().isEmpty());
}

TEST(Search, PrefixLookupComparesUpperCaseStarts)
{
    auto g = makeGrid(5, 3);
    const QStringList texts = {"Anna", "Bill", "<b>Birgit</b>", "Straße"};
    for (int i = 0; i < 4; ++i)
        g->SetCells(1, i + 1, texts[i]);
    EXPECT_EQ(g->FindRowByPrefix("BI"), 2);
    EXPECT_EQ(g->FindRowByPrefix("BIR"), 3);
    EXPECT_EQ(g->FindRowByPrefix(QStringLiteral("STRAß")), 4);
    EXPECT_EQ(g->FindRowByPrefix("X"), -1);
}
