// The string grid's event hooks: each raises its event with the event's own parameter order and
// hands back what the handler changed; without a handler the value passed in stays.
#include "grid/ZodUvuz.h"

#include <gtest/gtest.h>
#include <functional>
#include <vector>

using namespace grid;

namespace {
// Cell (2, 5): a handler that mixes up column and row sees (5, 2).
constexpr int kCol = 2;
constexpr int kRow = 5;
} // namespace

TEST(GridHooks, CellHooksPassTheirCellInTheEventsOrderAndReturnTheHandlersValue)
{
    TZedEzeravIvur g;
    g.SetColCount(8);
    g.SetRowCount(8);
    // "rc": the event takes (row, col); "cr": (col, row).
    std::vector<QString> seen;
    auto note = [&](const char* order, int a, int b) {
        seen.push_back(QStringLiteral("%1 %2 %3").arg(QLatin1String(order)).arg(a).arg(b));
    };
    g.OnGridHint = [&](QObject* s, int row, int col, QString& h) { EXPECT_EQ(s, &g); note("rc", row, col); h += "!"; };
    g.OnGetCellPrintColor = [&](QObject*, int row, int col, tk::TGridDrawState, TColor& b, tk::TFont&) {
        note("rc", row, col);
        b = 0x0000FF;
    };
    g.OnGetCellBorder = [&](QObject*, int row, int col, QPen& pen, TCellBorders& borders) {
        note("rc", row, col);
        pen.setWidth(3);
        borders = 1 << cbBottom;
    };
    g.OnGetCellPrintBorder = [&](QObject*, int row, int col, QPen&, TCellBorders& borders) {
        note("rc", row, col);
        borders = 1 << cbTop;
    };
    g.OnGetEditorType = [&](QObject*, int col, int row, TEditorType& e) { note("cr", col, row); e = edSpinEdit; };
    g.OnIsPasswordCell = [&](QObject*, int row, int col, bool& p) { note("rc", row, col); p = true; };
    g.OnGetWordWrap = [&](QObject*, int col, int row, bool& w) { note("cr", col, row); w = false; };
    g.OnHasComboBox = [&](QObject*, int col, int row, bool& c) { note("cr", col, row); c = true; };

    QString hint = "h";
    g.GridHint(kCol, kRow, hint);
    TColor brush = 0;
    tk::TFont font;
    g.GetCellPrintColor(kCol, kRow, 0, brush, font);
    QPen pen;
    TCellBorders borders = 0;
    g.GetCellBorder(kCol, kRow, pen, borders);
    EXPECT_EQ(pen.width(), 3);
    EXPECT_EQ(borders, 1 << cbBottom);
    g.GetCellPrintBorder(kCol, kRow, pen, borders);
    EXPECT_EQ(borders, 1 << cbTop);
    TEditorType editor = edNormal;
    g.GetCellEditor(kCol, kRow, editor);
    bool password = false, wrap = true;
    g.GetPasswordCell(kCol, kRow, password);
    g.GetCellWordWrap(kCol, kRow, wrap);
    EXPECT_TRUE(g.HasComboBox(kCol, kRow));

    EXPECT_EQ(hint, "h!");
    EXPECT_EQ(brush, 0x0000FF);
    EXPECT_EQ(editor, edSpinEdit);
    EXPECT_TRUE(password);
    EXPECT_FALSE(wrap);
    const std::vector<QString> expected{"rc 5 2", "rc 5 2", "rc 5 2", "rc 5 2", "cr 2 5", "rc 5 2", "cr 2 5", "cr 2 5"};
    EXPECT_EQ(seen, expected);
}

TEST(GridHooks, WithoutHandlersTheValuesStay)
{
    TZedEzeravIvur g;
    QString hint = "h";
    g.GridHint(1, 1, hint);
    EXPECT_EQ(hint, "h");
    TEditorType editor = edDateEdit;
    g.GetCellEditor(1, 1, editor);
    EXPECT_EQ(editor, edDateEdit);
    bool password = false, wrap = true, canAdd = true, canInsert = false;
    g.GetPasswordCell(1, 1, password);
    g.GetCellWordWrap(1, 1, wrap);
    g.CanAddRow(canAdd);
    g.CanInsertRow(1, canInsert);
    EXPECT_FALSE(password);
    EXPECT_TRUE(wrap);
    EXPECT_TRUE(canAdd);
    EXPECT_FALSE(canInsert);
    EXPECT_FALSE(g.HasComboBox(1, 1)) << "no combo box without a handler";
    TSortStyle style = ssAutomatic;
    QString prefix, suffix;
    g.GetColumnFormat(1, style, prefix, suffix);
    EXPECT_EQ(style, ssAutomatic);
    int width = 80;
    g.UpdateColumnSize(1, width);
    g.UpdateAutoColumnSize(1, width);
    EXPECT_EQ(width, 80);
    g.SelectionChanged(1, 1, 2, 2);
    g.CellsChanged(QRect(1, 1, 2, 2));
}

TEST(GridHooks, RowColumnAndSelectionHooks)
{
    TZedEzeravIvur g;
    TSortStyle style = ssAutomatic;
    QString prefix, suffix;
    g.OnGetFormat = [](QObject*, int col, TSortStyle& s, QString& p, QString& x) {
        if (col == 3) {
            s = ssFinancial;
            p = "EUR ";
            x = " -";
        }
    };
    g.GetColumnFormat(3, style, prefix, suffix);
    EXPECT_EQ(style, ssFinancial);
    EXPECT_EQ(prefix, "EUR ");
    EXPECT_EQ(suffix, " -");

    bool canAdd = true, canInsert = true;
    g.OnCanAddRow = [](QObject*, bool& c) { c = false; };
    g.OnCanInsertRow = [](QObject*, int row, bool& c) { c = row != 4; };
    g.CanAddRow(canAdd);
    g.CanInsertRow(4, canInsert);
    EXPECT_FALSE(canAdd);
    EXPECT_FALSE(canInsert);
    g.CanInsertRow(3, canInsert);
    EXPECT_TRUE(canInsert);

    const int rows = g.RowCount();
    g.AddRow();
    EXPECT_EQ(g.RowCount(), rows + 1);

    std::vector<int> sizes;
    g.OnUpdateColumnSize = [&](QObject*, int col, int& w) {
        sizes.push_back(col);
        w += 10;
    };
    int width = 50;
    g.UpdateColumnSize(1, width);
    g.UpdateAutoColumnSize(2, width);
    EXPECT_EQ(width, 70);
    EXPECT_EQ(sizes, (std::vector<int>{1, 2}));

    std::vector<int> sel;
    g.OnSelectionChanged = [&](QObject*, int l, int t, int r, int b) { sel = {l, t, r, b}; };
    g.SelectionChanged(1, 2, 3, 4);
    EXPECT_EQ(sel, (std::vector<int>{1, 2, 3, 4}));
    QRect changed;
    g.OnCellsChanged = [&](QObject*, const QRect& r) { changed = r; };
    g.CellsChanged(QRect(QPoint(1, 2), QPoint(3, 4)));
    EXPECT_EQ(changed, QRect(QPoint(1, 2), QPoint(3, 4)));
}

namespace {
class FooterGrid : public TZedEzeravIvur {
public:
    std::vector<int> footers;
    void UpdateFooter(int col) override { footers.push_back(col); }
};
} // namespace

TEST(GridHooks, ChangedCellsRecalculateTheirFooter)
{
    FooterGrid g;
    g.RowChanged(3, 7);
    g.AllCellsChanged();
    g.CalcFooter(2);
    EXPECT_EQ(g.footers, (std::vector<int>{3, -1, 2}));
}
