#include "grid/ZodUvuz.h"

#include <algorithm>

namespace grid {

TZedEzeravIvur::TZedEzeravIvur(QWidget* parent, bool designing) : TBaseGrid(parent), m_designing(designing)
{
    setObjectName(QString());
    TBaseGrid::SetColCount(5);
    SetRowCount(10);
    resize(400, 250);
    SetDefaultRowHeight(21);
}

TZedEzeravIvur::~TZedEzeravIvur() = default;

// --- dimensions

void TZedEzeravIvur::SetRowCount(int value)
{
    TBaseGrid::SetRowCount(value);
    if (m_fixedRowAlways && m_fixedRowsStored < TBaseGrid::RowCount())
        TBaseGrid::SetFixedRows(m_fixedRowsStored);
    SetDisplayTextRowLimit(TBaseGrid::RowCount());
}

int TZedEzeravIvur::FixedRows() const
{
    const int n = TBaseGrid::FixedRows();
    return n == 0 && m_fixedRowAlways ? 1 : n;
}

void TZedEzeravIvur::SetFixedRows(int value)
{
    TBaseGrid::SetFixedRows(value);
    m_fixedRowsStored = TBaseGrid::FixedRows();
}

int TZedEzeravIvur::FixedCols() const
{
    const int n = TBaseGrid::FixedCols();
    return n == 0 && m_fixedColAlways ? 1 : n;
}

void TZedEzeravIvur::SetFixedCols(int value)
{
    TBaseGrid::SetFixedCols(value);
    m_fixedColsStored = TBaseGrid::FixedCols();
}

void TZedEzeravIvur::SetFixedRowAlways(bool value)
{
    if (tk::ChangeValue(m_fixedRowAlways, value))
        InvalidateGrid();
}

void TZedEzeravIvur::SetFixedColAlways(bool value)
{
    if (tk::ChangeValue(m_fixedColAlways, value))
        InvalidateGrid();
}

void TZedEzeravIvur::SetFixedFooters(int value)
{
    m_fixedFooters = std::max(0, value);
    InvalidateGrid();
}

void TZedEzeravIvur::SetFixedRightCols(int value)
{
    m_fixedRightCols = std::max(0, value);
    InvalidateGrid();
}

// --- updates

void TZedEzeravIvur::BeginUpdate()
{
    // Counted whether or not the grid is shown, so hiding between the calls keeps them balanced.
    if (m_updateCount++ == 0)
        setUpdatesEnabled(false);
}

void TZedEzeravIvur::EndUpdate()
{
    if (m_updateCount == 0)
        return;
    if (--m_updateCount == 0) {
        setUpdatesEnabled(true);
        viewport()->update();
    }
}

// --- navigation

void TZedEzeravIvur::SetRowNotify(int row)
{
    SetRow(row);
    if (Row() != m_lastReportedRow && OnRowUpdate && m_updateCount == 0) {
        const int old = m_lastReportedRow;
        m_lastReportedRow = Row();
        OnRowUpdate(this, old, Row());
    }
}

void TZedEzeravIvur::GoToCell(int col, int row)
{
    if (col < 0 || row < 0 || col >= ColCount() || row >= TBaseGrid::RowCount())
        return;
    const int fixedCols = TBaseGrid::FixedCols(), fixedRows = TBaseGrid::FixedRows();
    const int visCols = VisibleColCount(), visRows = VisibleRowCount();
    int left = LeftCol(), top = TopRow();
    if (col >= fixedCols && (col < left || col >= left + visCols))
        left = std::max(fixedCols, col - visCols / 2);
    if (row >= fixedRows && (row < top || row >= top + visRows))
        top = std::max(fixedRows, row - visRows / 2);
    // Not beyond the last full page.
    left = std::max(fixedCols, std::min(left, ColCount() - visCols));
    top = std::max(fixedRows, std::min(top, TBaseGrid::RowCount() - visRows));
    SetLeftCol(left);
    SetTopRow(top);
    MoveColRow(col, Row(), true, false);
    SetRowNotify(row);
}

// --- version

void TZedEzeravIvur::GetVersionString(QString& text)
{
    text = Version() + QStringLiteral(" Oct, 2005");
}

QString TZedEzeravIvur::Version()
{
    const int v = GetVersionNr();
    return QStringLiteral("%1.%2.%3.%4").arg((v >> 24) & 0xFF).arg((v >> 16) & 0xFF).arg((v >> 8) & 0xFF).arg(v & 0xFF);
}

// --- hooks

void TZedEzeravIvur::GetCellFixed(int col, int row, bool& isFixed)
{
    if (isFixed)
        return;
    isFixed = col < TBaseGrid::FixedCols() || row < TBaseGrid::FixedRows()
              || (m_fixedRowAlways && TBaseGrid::RowCount() == m_loadedFixedRows && row <= m_loadedFixedRows)
              || (m_fixedColAlways && ColCount() == m_loadedFixedCols && col < m_loadedFixedCols);
    if (!isFixed && OnIsFixedCell)
        OnIsFixedCell(this, row, col, isFixed);
}

bool TZedEzeravIvur::IsFixedCell(int col, int row)
{
    const QPoint b = BaseCell(DisplColIndex(col), row);
    if (b.y() >= TBaseGrid::RowCount() - m_fixedFooters)
        return true;
    if (b.x() >= ColCount() - m_fixedRightCols)
        return true;
    bool fixed = false;
    GetCellFixed(b.x(), b.y(), fixed);
    return fixed;
}

void TZedEzeravIvur::GetCheckTrue(int col, int row, QString& value)
{
    value = m_checkTrue;
    if (OnGetCheckTrue)
        OnGetCheckTrue(this, col, row, value);
}

void TZedEzeravIvur::GetCheckFalse(int col, int row, QString& value)
{
    value = m_checkFalse;
    if (OnGetCheckFalse)
        OnGetCheckFalse(this, col, row, value);
}

void TZedEzeravIvur::Loaded()
{
    m_loadedFixedRows = TBaseGrid::FixedRows();
    m_loadedFixedCols = TBaseGrid::FixedCols();
    m_loadedDefaultRowHeight = DefaultRowHeight();
    m_loaded = true;
}

} // namespace grid
