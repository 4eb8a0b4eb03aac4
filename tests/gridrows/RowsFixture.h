#pragma once
// A small grid for the row tests: rows r0..r9 in column 0 (row 0 is the fixed row), a colour on
// row 3 and height 30 on row 4.
#include "grid/ZodUvuz.h"

#include <QStringList>
#include <memory>

namespace rowtest {

inline std::unique_ptr<grid::TZedEzeravIvur> makeGrid(int rows = 10, int cols = 3)
{
    auto g = std::make_unique<grid::TZedEzeravIvur>();
    g->SetColCount(cols);
    g->SetRowCount(rows);
    for (int r = 0; r < rows; ++r)
        g->SetCells(0, r, QStringLiteral("r%1").arg(r));
    if (rows > 4) {
        g->GetCellProperties(0, 3)->SetBrushColor(0x00FF00);
        g->SetRowHeights(4, 30);
    }
    return g;
}

inline QStringList column(grid::TZedEzeravIvur& g, int col = 0)
{
    QStringList out;
    for (int r = 0; r < g.RowCount(); ++r)
        out << g.Cells(col, r);
    return out;
}

inline QStringList names(std::initializer_list<int> rows)
{
    QStringList out;
    for (int r : rows)
        out << QStringLiteral("r%1").arg(r);
    return out;
}

} // namespace rowtest
