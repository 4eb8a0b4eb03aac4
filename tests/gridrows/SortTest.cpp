// Sorting rows by column styles and keys, and restoring the order before sorting.
#include "RowsFixture.h"

#include "grid/GridUtils.h"

#include <QApplication>
#include <QWidget>

#include <gtest/gtest.h>
#include <algorithm>
#include <stdexcept>

using namespace grid;
using namespace rowtest;

namespace {

// A grid with one fixed row and the values in column 1 (column 0 names the rows).
std::unique_ptr<TZedEzeravIvur> valuesGrid(const QStringList& values)
{
    auto g = makeGrid(int(values.size()) + 1, 3);
    for (int i = 0; i < values.size(); ++i)
        g->SetCells(1, i + 1, values[i]);
    g->SortSettings()->Column = 1;
    return g;
}

QStringList sortedValues(TZedEzeravIvur& g)
{
    QStringList out = column(g, 1);
    out.removeFirst();
    return out;
}

class LocaleScope {
public:
    explicit LocaleScope(const GridLocale& l) : m_old(CurrentGridLocale()) { SetGridLocale(l); }
    ~LocaleScope() { SetGridLocale(m_old); }

private:
    GridLocale m_old;
};

} // namespace

TEST(Sort, BlanksFollowIgnoreBlanksWhateverTheDirection)
{
    struct Case {
        bool ignore;
        TSortBlankPosition pos;
        TSortDirection dir;
        QStringList want;
    };
    const Case cases[] = {
        {false, blFirst, sdAscending, {"", "9", "10"}},
        {false, blFirst, sdDescending, {"10", "9", ""}},
        {true, blLast, sdAscending, {"9", "10", ""}},
        {true, blLast, sdDescending, {"10", "9", ""}},
        {true, blFirst, sdDescending, {"", "10", "9"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.want.join(',').toStdString());
        auto g = valuesGrid({"10", "9", ""});
        g->SortSettings()->IgnoreBlanks = c.ignore;
        g->SortSettings()->BlankPos = c.pos;
        g->SortSettings()->Direction = c.dir;
        g->SortByColumn();
        EXPECT_EQ(sortedValues(*g), c.want);
    }
}

TEST(Sort, AutomaticStyleFindsDatesAndNumbersOfTheLocale)
{
    GridLocale de;
    de.decimalSeparator = QLatin1Char(',');
    de.thousandSeparator = QLatin1Char('.');
    de.dateSeparator = QLatin1Char('.');
    de.shortDateFormat = QStringLiteral("dd.MM.yyyy");
    LocaleScope scope(de);
    auto dates = valuesGrid({"12.03.2005", "01.04.2006", "31.12.2004"});
    dates->SortByColumn();
    EXPECT_EQ(sortedValues(*dates), QStringList({"31.12.2004", "12.03.2005", "01.04.2006"}));

    auto numbers = valuesGrid({"9", "1,234", "10"});
    numbers->SortByColumn();
    EXPECT_EQ(sortedValues(*numbers), QStringList({"1,234", "9", "10"}));

    numbers->SortSettings()->AutoFormat = false;   // alphabetic
    numbers->SortByColumn();
    EXPECT_EQ(sortedValues(*numbers), QStringList({"1,234", "10", "9"}));
}

TEST(Sort, FinancialCheckBoxAndMixedColumns)
{
    auto money = valuesGrid({"$1,200.00", "$950.00", "$20.50"});
    money->OnGetFormat = [](QObject*, int, TSortStyle& style, QString& prefix, QString&) {
        style = ssFinancial;
        prefix = "$";
    };
    money->SortByColumn();
    EXPECT_EQ(sortedValues(*money), QStringList({"$20.50", "$950.00", "$1,200.00"}));

    auto checks = makeGrid(4, 3);
    for (int r = 1; r < 4; ++r) {
        auto gr = std::make_unique<TCellGraphic>();
        gr->CellType = ctCheckBox;
        gr->CellBoolean = r != 2;
        checks->SetCellGraphic(1, r, std::move(gr));
    }
    checks->SortSettings()->Column = 1;
    checks->SortByColumn();   // automatic: every cell a check box
    EXPECT_EQ(checks->Cells(0, 1), "r2");   // the unchecked row first
    bool state = true;
    ASSERT_TRUE(checks->GetCheckBoxState(1, 1, state));
    EXPECT_FALSE(state);
    ASSERT_TRUE(checks->GetCheckBoxState(1, 3, state));
    EXPECT_TRUE(state);

    // "-5", "" and "x" sort the same from every start order (the style is decided once).
    QStringList values = {"-5", "", "x"};
    std::sort(values.begin(), values.end());
    QStringList first;
    do {
        auto g = valuesGrid(values);
        g->SortByColumn();
        if (first.isEmpty())
            first = sortedValues(*g);
        EXPECT_EQ(sortedValues(*g), first) << values.join('|').toStdString();
    } while (std::next_permutation(values.begin(), values.end()));
}

TEST(Sort, KeysSortByTheirColumnsAndDirections)
{
    auto g = makeGrid(5, 3);
    const QStringList names0 = {"a", "b", "c", "d"};
    const QStringList keys = {"1", "2", "1", "2"};
    for (int i = 0; i < 4; ++i) {
        g->SetCells(0, i + 1, names0[i]);
        g->SetCells(2, i + 1, keys[i]);
    }
    EXPECT_THROW(g->SortByIndex(), EZodUvuzError);
    EXPECT_EQ(column(*g), QStringList({"r0", "a", "b", "c", "d"}));
    g->SortIndexes().AddSortColumn(2, true);
    g->SortIndexes().AddSortColumn(0, false);
    g->SortByIndex();
    EXPECT_EQ(column(*g), QStringList({"r0", "c", "a", "d", "b"}));
    try {
        g->SortIndexes().Clear();
        g->SortByIndex();
        FAIL();
    } catch (const EZodUvuzError& e) {
        EXPECT_EQ(QString::fromStdString(e.what()), "No indexes specified for indexed sort");
    }
}

TEST(Sort, RestoreRowOrderAfterSeveralSorts)
{
    for (int fixed : {1, 0}) {
        SCOPED_TRACE(fixed);
        auto g = makeGrid(8, 3);
        g->SetFixedRows(fixed);
        const QStringList a = {"5", "3", "8", "1", "7", "2", "6", "4"};
        const QStringList b = {"x", "y", "x", "z", "y", "x", "z", "y"};
        for (int r = 0; r < 8; ++r) {
            g->SetCells(1, r, a[r]);
            g->SetCells(2, r, b[r]);
        }
        const QStringList before = column(*g);
        g->SortSettings()->Column = 1;
        g->SortByColumn();
        g->SortSettings()->Column = 2;
        g->SortSettings()->Direction = sdDescending;
        g->SortByColumn();
        g->SortSettings()->Column = 0;
        g->SortByColumn();
        EXPECT_NE(column(*g), before);
        g->RestoreRowOrder();
        EXPECT_EQ(column(*g), before);
        EXPECT_EQ(g->RowHeights(4), 30);
        EXPECT_EQ(g->CellPropertiesOrNull(0, 3)->BrushColor(), 0x00FF00u);
    }
}

TEST(Sort, TheCurrentRowFollowsItsDataOnlyWithMoveRowOnSort)
{
    for (bool move : {false, true}) {
        SCOPED_TRACE(move);
        auto g = valuesGrid({"3", "1", "2"});
        g->Navigation()->MoveRowOnSort = move;
        g->SetRow(1);   // holds "3"
        std::vector<std::pair<int, int>> updates;
        g->OnRowUpdate = [&](QObject*, int o, int n) { updates.emplace_back(o, n); };
        g->SortByColumn();
        EXPECT_EQ(sortedValues(*g), QStringList({"1", "2", "3"}));
        EXPECT_EQ(g->Row(), move ? 3 : 1);
        if (move)
            EXPECT_TRUE(updates.empty());
        else
            EXPECT_EQ(updates, (std::vector<std::pair<int, int>>{{1, 1}}));
    }
}

TEST(Sort, CellObjectsMoveWithTheirRowsAndOutliveTheSort)
{
    auto g = valuesGrid({"c", "a", "b"});
    TCellProperties* p = g->GetCellProperties(1, 1);   // "c"
    p->SetBrushColor(0x123456);
    g->SortByColumn();
    EXPECT_EQ(g->CellPropertiesOrNull(1, 3), p);
    EXPECT_EQ(g->RowCount(), 4);
    EXPECT_EQ(p->BrushColor(), 0x123456u);
}

TEST(Sort, AThrowingCompareLeavesTheGridIntact)
{
    auto g = valuesGrid({"c", "a", "b", "d"});
    TCellProperties* p = g->GetCellProperties(1, 2);
    g->OnGetFormat = [](QObject*, int, TSortStyle& style, QString&, QString&) { style = ssCustom; };
    int calls = 0;
    g->OnCustomCompare = [&](QObject*, const QString&, const QString&, int&) {
        if (++calls == 3)
            throw std::runtime_error("compare");
    };
    EXPECT_THROW(g->SortByColumn(), std::runtime_error);
    EXPECT_EQ(g->RowCount(), 5);
    EXPECT_EQ(g->ColCount(), 3);
    EXPECT_EQ(g->UpdateCount(), 0);
    int found = 0;
    for (int r = 0; r < g->RowCount(); ++r)
        found += g->CellPropertiesOrNull(1, r) == p ? 1 : 0;
    EXPECT_EQ(found, 1);
    QStringList v = sortedValues(*g);
    v.sort();
    EXPECT_EQ(v, QStringList({"a", "b", "c", "d"}));
}

// Rows that move under an open edit (sorting, removing rows above it) are bulk work: the
// current cell follows without the edited value being validated or the edit being ended.
TEST(Sort, RowsMoveUnderAnOpenEditWithoutValidatingIt)
{
    for (bool sort : {true, false}) {
        SCOPED_TRACE(sort);
        QWidget window;
        window.resize(400, 300);
        auto g = valuesGrid({"3", "1", "2"});
        g->setParent(&window);
        g->setGeometry(0, 0, 380, 280);
        g->Navigation()->MoveRowOnSort = true;
        g->SetGridOptions(g->GridOptions() | tk::goEditing);
        window.show();
        int validated = 0;
        g->OnCellValidate = [&](QObject*, int, int, QString&, bool& valid) {
            ++validated;
            valid = false;
        };
        g->FocusCell(1, 1, true);   // holds "3"
        g->setFocus();
        g->ShowEditor();
        QApplication::processEvents();
        ASSERT_TRUE(g->EditingInProgress());
        if (sort)
            g->SortByColumn();
        else
            g->RemoveRows(1, 1);
        EXPECT_EQ(validated, 0);
        EXPECT_TRUE(g->EditingInProgress());
        if (sort)
            EXPECT_EQ(g->Row(), 3);
        EXPECT_EQ(g->Cells(1, g->Row()), sort ? "3" : "1");
        g->setParent(nullptr);
    }
}
