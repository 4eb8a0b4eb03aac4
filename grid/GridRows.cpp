// The string grid's rows and columns: hidden rows with their real and displayed numbers, and
// inserting, removing and clearing rows and columns with every companion kept in step (cell
// objects, heights, hidden rows, row marks, the unsorted order).
#include "grid/ZodUvuz.h"
#include "grid/ZodUvuzFooter.h"

#include <QWidget>
#include <algorithm>
#include <QScopeGuard>

namespace grid {

namespace {

constexpr int kColumnMapSize = 512;

// Restores what an operation switched off for its duration, on every way out.
class UpdateGuard {
public:
    UpdateGuard(TZedEzeravIvur& grid, bool editingOff) : m_grid(grid)
    {
        m_grid.BeginUpdate();
        m_options = m_grid.GridOptions();
        if (editingOff && (m_options & tk::goEditing))
            m_grid.SetGridOptions(m_options & ~tk::goEditing);
    }
    ~UpdateGuard()
    {
        if (m_grid.GridOptions() != m_options)
            m_grid.SetGridOptions(m_options);
        m_grid.EndUpdate();
    }
    UpdateGuard(const UpdateGuard&) = delete;
    UpdateGuard& operator=(const UpdateGuard&) = delete;

private:
    TZedEzeravIvur& m_grid;
    tk::TGridOptions m_options;
};

void hideControls(const tk::TStringGrid::TRowRecord& record)
{
    if (!record.objects)
        return;
    for (tk::TObject* o : *record.objects)
        if (auto* p = dynamic_cast<TCellProperties*>(o))
            if (p->Control)
                p->Control->setVisible(false);
}

void showControls(const tk::TStringGrid::TRowRecord& record)
{
    if (!record.objects)
        return;
    for (tk::TObject* o : *record.objects)
        if (auto* p = dynamic_cast<TCellProperties*>(o))
            if (p->Control)
                p->Control->setVisible(true);
}

// Renumbers a permutation after entries were taken out: each value loses the number of removed
// values below it.
void compactPermutation(std::vector<int>& values, std::vector<int> removed)
{
    if (removed.size() == 1) {
        const int gone = removed.front();
        for (int& v : values)
            v -= v > gone ? 1 : 0;
        return;
    }
    std::sort(removed.begin(), removed.end());
    for (int& v : values)
        v -= int(std::lower_bound(removed.begin(), removed.end(), v) - removed.begin());
}

} // namespace

// Whether two rows lie in the same vertical merged ranges in every other column (or in none).
bool TZedEzeravIvur::sameVerticalMerges(int row1, int row2, int exceptCol) const
{
    for (int c = 0; c < ColCount(); ++c) {
        if (c == exceptCol)
            continue;
        const bool m1 = IsYMergedCell(c, row1);
        if (m1 != IsYMergedCell(c, row2))
            return false;
        if (m1 && BaseCell(c, row1).y() != BaseCell(c, row2).y())
            return false;
    }
    return true;
}

// ------------------------------------------------------------------ index mappings

int TZedEzeravIvur::RealRowIndex(int row) const
{
    // Item i has Idx - i displayed rows before it; that number never falls along the store.
    size_t lo = 0;
    size_t hi = m_hiddenRows.size();
    while (lo < hi) {
        const size_t mid = (lo + hi) / 2;
        if (m_hiddenRows[mid].Idx - int(mid) <= row)
            lo = mid + 1;
        else
            hi = mid;
    }
    return row + int(lo);
}

int TZedEzeravIvur::DisplRowIndex(int row) const
{
    const auto it = std::lower_bound(m_hiddenRows.begin(), m_hiddenRows.end(), row,
                                     [](const TGridItem& item, int r) { return item.Idx < r; });
    return row - int(it - m_hiddenRows.begin());
}

bool TZedEzeravIvur::IsHiddenRow(int realRow) const
{
    const auto it = std::lower_bound(m_hiddenRows.begin(), m_hiddenRows.end(), realRow,
                                     [](const TGridItem& item, int r) { return item.Idx < r; });
    return it != m_hiddenRows.end() && it->Idx == realRow;
}

int TZedEzeravIvur::RealColIndex(int displCol) const
{
    if (displCol >= kColumnMapSize || m_numHiddenCols == 0)
        return displCol;
    int visible = 0;
    for (int j = 0; j < kColumnMapSize; ++j) {
        if (m_hiddenCols[size_t(j)])
            continue;
        if (visible == displCol)
            return j;
        ++visible;
    }
    return 0;
}

int TZedEzeravIvur::DisplColIndex(int realCol)
{
    if (m_numHiddenCols == 0)
        return realCol;
    int hidden = 0;
    for (int j = 0; j < std::min(realCol, kColumnMapSize); ++j)
        hidden += m_hiddenCols[size_t(j)] ? 1 : 0;
    return realCol - hidden;
}

bool TZedEzeravIvur::IsHiddenColumn(int realCol) const
{
    return realCol >= 0 && realCol < kColumnMapSize && m_hiddenCols[size_t(realCol)];
}

// ------------------------------------------------------------------ hiding and showing rows

void TZedEzeravIvur::takeHiddenRows(std::vector<int> displRows, const std::vector<int>& realIdx)
{
    std::vector<tk::TStringGrid::TRowRecord> records;
    std::vector<int> heights;
    const int taken = TakeRowList(displRows, records, heights);
    std::vector<TGridItem> items(static_cast<size_t>(taken));
    for (int i = 0; i < taken; ++i) {
        TGridItem& item = items[size_t(i)];
        item.Idx = realIdx[size_t(i)];
        item.Height = heights[size_t(i)];
        item.Row = std::move(records[size_t(i)]);
        hideControls(item.Row);
    }
    if (m_hiddenRows.empty()) {
        m_hiddenRows = std::move(items);
        return;
    }
    std::vector<TGridItem> merged;
    merged.reserve(m_hiddenRows.size() + items.size());
    std::merge(std::make_move_iterator(m_hiddenRows.begin()), std::make_move_iterator(m_hiddenRows.end()),
               std::make_move_iterator(items.begin()), std::make_move_iterator(items.end()),
               std::back_inserter(merged), [](const TGridItem& a, const TGridItem& b) { return a.Idx < b.Idx; });
    m_hiddenRows = std::move(merged);
}

void TZedEzeravIvur::putHiddenRows(std::vector<TGridItem> items)
{
    // The items have left the store: each goes back to the displayed place of its real index.
    std::vector<int> positions;
    std::vector<tk::TStringGrid::TRowRecord> records;
    std::vector<int> heights;
    positions.reserve(items.size());
    records.reserve(items.size());
    heights.reserve(items.size());
    for (TGridItem& item : items) {
        positions.push_back(DisplRowIndex(item.Idx));
        showControls(item.Row);
        records.push_back(std::move(item.Row));
        heights.push_back(item.Height);
    }
    PutRowList(positions, std::move(records), heights);
}

void TZedEzeravIvur::HideRows(int fromReal, int toReal)
{
    fromReal = std::max(0, fromReal);
    toReal = std::min(toReal, RowCount() + NumHiddenRows() - 1);
    std::vector<int> displ;
    std::vector<int> reals;
    for (int r = fromReal; r <= toReal; ++r) {
        if (IsHiddenRow(r))
            continue;
        displ.push_back(DisplRowIndex(r));
        reals.push_back(r);
    }
    if (reals.empty())
        return;
    takeHiddenRows(std::move(displ), reals);
}

void TZedEzeravIvur::HideRowList(const std::vector<int>& realRows)
{
    std::vector<int> reals(realRows);
    std::sort(reals.begin(), reals.end());
    reals.erase(std::unique(reals.begin(), reals.end()), reals.end());
    const int total = RowCount() + NumHiddenRows();
    std::vector<int> displ;
    std::vector<int> kept;
    displ.reserve(reals.size());
    kept.reserve(reals.size());
    for (int r : reals) {
        if (r < 0 || r >= total || IsHiddenRow(r))
            continue;
        displ.push_back(DisplRowIndex(r));
        kept.push_back(r);
    }
    if (!kept.empty())
        takeHiddenRows(std::move(displ), kept);
}

void TZedEzeravIvur::UnHideRows(int fromReal, int toReal)
{
    const auto cmp = [](const TGridItem& item, int r) { return item.Idx < r; };
    const auto first = std::lower_bound(m_hiddenRows.begin(), m_hiddenRows.end(), fromReal, cmp);
    const auto last = std::lower_bound(first, m_hiddenRows.end(), toReal + 1, cmp);
    if (first == last)
        return;
    std::vector<TGridItem> items(std::make_move_iterator(first), std::make_move_iterator(last));
    m_hiddenRows.erase(first, last);
    putHiddenRows(std::move(items));
}

void TZedEzeravIvur::UnHideRowsAll()
{
    if (m_hiddenRows.empty())
        return;
    std::vector<TGridItem> items = std::move(m_hiddenRows);
    m_hiddenRows.clear();
    putHiddenRows(std::move(items));
}

void TZedEzeravIvur::freeRecordObjects(tk::TStringGrid::TRowRecord& record)
{
    if (!record.objects)
        return;
    for (tk::TObject*& o : *record.objects) {
        if (o)
            ReleaseObject(o);
        o = nullptr;
    }
}

// ------------------------------------------------------------------ inserting and removing rows

void TZedEzeravIvur::InsertRows(int row, int count)
{
    if (row < 0 || count <= 0)
        return;
    row = std::min(row, RowCount());
    const int realAt = RealRowIndex(row);
    const auto merges = MergedRanges();
    const int oldRows = RowCount();
    InsertEmptyRows(row, count, DefaultRowHeight());
    if (!merges.empty())
        RelayMergedRanges(merges, ShiftedIndices(oldRows, row, count), ShiftedIndices(ColCount(), 0, 0));
    for (TGridItem& item : m_hiddenRows)
        if (item.Idx >= realAt)
            item.Idx += count;
    const int markAt = MouseActions()->RowSelectPersistent ? realAt : row;
    if (size_t(markAt) < m_rowMarks.size())
        m_rowMarks.insert(m_rowMarks.begin() + markAt, size_t(count), uint8_t(0));
    std::vector<int>& unsorted = m_unsortedRows.Values();
    if (!unsorted.empty() && size_t(row) <= unsorted.size()) {
        // The new rows take their place in the order before sorting as well.
        for (int& v : unsorted)
            v += v >= row ? count : 0;
        std::vector<int> added(static_cast<size_t>(count));
        for (int k = 0; k < count; ++k)
            added[size_t(k)] = row + k;
        unsorted.insert(unsorted.begin() + row, added.begin(), added.end());
    }
    CellsChanged(QRect(QPoint(0, row), QPoint(ColCount() - 1, row + count)));
    RepositionCellControls();
}

void TZedEzeravIvur::RemoveRows(int row, int count)
{
    if (row < 0 || row >= RowCount() || count <= 0)
        return;
    count = std::min(count, RowCount() - row);
    const int oldRows = RowCount();
    const int oldRow = Row();
    const auto merges = MergedRanges();
    const int oldTop = TopRow();
    const int oldFixed = FixedRows();
    {
        UpdateGuard guard(*this, true);
        if (HasNodes())
            SetCol(std::min(1, ColCount() - 1));

        // The real rows that go: hidden rows after them move up by the number below them.
        std::vector<int> reals;
        reals.reserve(size_t(count));
        for (int i = 0; i < count; ++i)
            reals.push_back(RealRowIndex(row + i));
        for (TGridItem& item : m_hiddenRows)
            item.Idx -= int(std::lower_bound(reals.begin(), reals.end(), item.Idx) - reals.begin());

        // Marks of displayed rows move with the rows; persistent ones are kept by real index.
        if (MouseActions()->RowSelectPersistent) {
            for (auto it = reals.rbegin(); it != reals.rend(); ++it)
                if (size_t(*it) < m_rowMarks.size())
                    m_rowMarks.erase(m_rowMarks.begin() + *it);
        } else if (size_t(row) < m_rowMarks.size()) {
            m_rowMarks.erase(m_rowMarks.begin() + row,
                             m_rowMarks.begin() + std::min(size_t(row + count), m_rowMarks.size()));
        }

        std::vector<int>& unsorted = m_unsortedRows.Values();
        if (int(unsorted.size()) == oldRows) {
            std::vector<int> removed(unsorted.begin() + row, unsorted.begin() + row + count);
            unsorted.erase(unsorted.begin() + row, unsorted.begin() + row + count);
            compactPermutation(unsorted, std::move(removed));
        }

        std::vector<tk::TStringGrid::TRowRecord> records;
        std::vector<int> heights;
        const int taken = TakeRows(row, count, records, heights);
        for (auto& r : records)
            freeRecordObjects(r);
        // The grid keeps one row: a last row that could not go is emptied instead.
        if (taken < count)
            ClearRect(0, 0, ColCount() - 1, 0);
        if (!merges.empty())
            RelayMergedRanges(merges, ShiftedIndices(oldRows, row, -taken), ShiftedIndices(ColCount(), 0, 0));

        const int footerStart = RowCount() - FixedFooters();
        if (oldRow < footerStart) {
            SetRow(oldRow);
            SetTopRow(std::min(oldTop, RowCount() - 1));
        } else if (footerStart > oldFixed) {
            SetRowNotify(footerStart - 1);
        } else {
            HideSelection();
        }
    }
    CellsChanged(QRect(QPoint(0, row), QPoint(ColCount() - 1, row + count)));
    if (TopRow() >= RowCount() - 1)
        SetTopRow(std::max(FixedRows(), RowCount() - 1));
    if (Row() >= RowCount())
        HideSelection();
    RepositionCellControls();
}

void TZedEzeravIvur::RemoveRowsShifted(int row, int count)
{
    if (row < 0 || row >= RowCount() || count <= 0)
        return;
    // Like RemoveRows, but the row heights stay with their places.
    std::vector<int> heights;
    for (int r = 0; r < RowCount(); ++r)
        heights.push_back(RowHeights(r));
    RemoveRows(row, count);
    for (int r = row; r < RowCount(); ++r)
        SetRowHeights(r, heights[size_t(r)]);
}

void TZedEzeravIvur::RemoveRowsDeleting(int row, int count)
{
    if (row < 0 || row >= RowCount() || count <= 0)
        return;
    RemoveRows(row, count);
    const int visible = VisibleRowCount();
    const int limit = RowCount() + FixedRows() - visible - 2;
    if (TopRow() >= limit && RowCount() > visible + 1)
        SetTopRow(std::max(FixedRows(), limit));
}

void TZedEzeravIvur::RemoveMarkedRows()
{
    BeginUpdate();
    const auto end = qScopeGuard([this] { EndUpdate(); });
    if (!MouseActions()->DisjunctRowSelect())
        SelectionToRowMarks(false);
    const bool persistent = MouseActions()->RowSelectPersistent;
    int r = FixedRows();
    while (r < RowCount() - FixedFooters()) {
        const int index = persistent ? RealRowIndex(r) : r;
        if (size_t(index) < m_rowMarks.size() && m_rowMarks[size_t(index)]) {
            const int before = RowCount();
            RemoveRows(r, 1);
            if (RowCount() == before)   // the grid's last row stays (emptied)
                break;
        } else {
            ++r;
        }
    }
}

void TZedEzeravIvur::AddRowAtEnd()
{
    // Under a visible floating footer the new row goes just above the last row; the footer's
    // own row style has it cleared too.
    if (m_floatingFooter && m_floatingFooter->Visible()) {
        const int at = std::max(0, RowCount() - 1);
        InsertRows(at, 1);
        if (m_floatingFooter->FooterStyle() == fsFixedLastRow)
            ClearRowRange(at, 1);
        return;
    }
    SetRowCount(RowCount() + 1);
    ClearRowRange(RowCount() - 1, 1);
}

// ------------------------------------------------------------------ columns

void TZedEzeravIvur::InsertCols(int col, int count)
{
    if (col < 0 || count <= 0)
        return;
    col = std::min(col, ColCount());
    const int old = ColCount();
    const auto merges = MergedRanges();
    m_noMergeRelay = true;   // the ranges are laid once, below
    SetColCount(old + count);
    for (int i = 0; i < count; ++i) {
        MoveColumn(old + i, col + i);
        SetColWidths(col + i, DefaultColWidth());
    }
    m_noMergeRelay = false;
    if (!merges.empty())
        RelayMergedRanges(merges, ShiftedIndices(RowCount(), 0, 0), ShiftedIndices(old, col, count));
    // The visibility entries move with their columns.
    for (int j = kColumnMapSize - 1; j >= col + count; --j)
        m_hiddenCols[size_t(j)] = m_hiddenCols[size_t(j - count)];
    for (int j = col; j < std::min(col + count, kColumnMapSize); ++j)
        m_hiddenCols[size_t(j)] = false;
    if (m_floatingFooter)
        m_floatingFooter->ColumnsInserted(col, count);
}

void TZedEzeravIvur::RemoveCols(int col, int count)
{
    if (col < 0 || col >= ColCount() || count <= 0)
        return;
    count = std::min(count, ColCount() - col);
    if (count >= ColCount()) {
        ClearColRange(0, ColCount());
        return;
    }
    const auto merges = MergedRanges();
    const int oldCols = ColCount();
    ClearColRange(col, count);
    m_noMergeRelay = true;   // the ranges are laid once, below
    for (int i = 0; i < count; ++i)
        MoveColumn(col, ColCount() - 1);
    SetColCount(ColCount() - count);
    m_noMergeRelay = false;
    if (!merges.empty())
        RelayMergedRanges(merges, ShiftedIndices(RowCount(), 0, 0), ShiftedIndices(oldCols, col, -count));
    for (int j = col; j < kColumnMapSize; ++j)
        m_hiddenCols[size_t(j)] = j + count < kColumnMapSize ? m_hiddenCols[size_t(j + count)] : false;
    if (m_floatingFooter)
        m_floatingFooter->ColumnsRemoved(col, count);
    CellsChanged(QRect(QPoint(col, 0), QPoint(col + count, RowCount() - 1)));
}

void TZedEzeravIvur::ClearRect(int col1, int row1, int col2, int row2)
{
    row1 = std::max(0, row1);
    col1 = std::max(0, col1);
    row2 = std::min(row2, RowCount() - 1);
    col2 = std::min(col2, ColCount() - 1);
    for (int r = row1; r <= row2; ++r) {
        for (int c = col1; c <= col2; ++c) {
            if (HasCellProperties(c, r))
                FreeCellProperties(c, r);
            if (!Cells(c, r).isEmpty())
                StoreCell(c, r, QString());
        }
    }
    if (row1 <= row2 && col1 <= col2) {
        InvalidateGrid();
        CellsChanged(QRect(QPoint(RealColIndex(col1), row1), QPoint(RealColIndex(col2), row2)));
    }
}

void TZedEzeravIvur::ClearRowRange(int row, int count)
{
    if (RowCount() > 0 && ColCount() > 0 && count > 0)
        ClearRect(0, row, ColCount() - 1, row + count - 1);
}

void TZedEzeravIvur::ClearColRange(int col, int count)
{
    if (RowCount() > 0 && ColCount() > 0 && count > 0)
        ClearRect(col, 0, col + count - 1, RowCount() - 1);
}

void TZedEzeravIvur::ClearAllCells()
{
    if (HasNodes())
        RemoveAllNodes();
    ClearRect(0, 0, AllColCount() - 1, RowCount() - 1);
    m_lookupText.clear();
}

void TZedEzeravIvur::ClearSelectedArea()
{
    if (MouseActions()->DisjunctRowSelect()) {
        const bool persistent = MouseActions()->RowSelectPersistent;
        for (int r = FixedRows(); r < RowCount(); ++r) {
            const int index = persistent ? RealRowIndex(r) : r;
            if (size_t(index) < m_rowMarks.size() && m_rowMarks[size_t(index)])
                ClearRowRange(r, 1);
        }
    } else if (MouseActions()->DisjunctColSelect()) {
        for (int c = FixedCols(); c < ColCount(); ++c)
            if (size_t(c) < m_colMarks.size() && m_colMarks[size_t(c)])
                ClearColRange(c, 1);
    } else {
        const tk::TGridRect s = Selection();
        ClearRect(s.Left, s.Top, s.Right, s.Bottom);
    }
}

void TZedEzeravIvur::UnmergeColumn(int col)
{
    int r = 0;
    while (r < RowCount() - FixedFooters() - 1) {
        const QPoint base = BaseCell(col, r);
        const QPoint span = CellSpan(base.x(), base.y());
        if (IsMergedCell(col, r) && span.y() > 0) {
            SplitCells(base.x(), base.y());
            r = base.y() + span.y() + 1;
        } else {
            ++r;
        }
    }
}

void TZedEzeravIvur::MergeEqualRuns(int col, bool ignoreRowMerges)
{
    const int last = RowCount() - FixedFooters() - 1;
    int start = FixedRows();
    QString startText = DisplayText(col, start);
    for (int r = start + 1; r <= last + 1; ++r) {
        bool continues = false;
        QString text;
        if (r <= last) {
            text = DisplayText(col, r);
            continues = text == startText && (ignoreRowMerges || sameVerticalMerges(r - 1, r, col));
        }
        if (!continues) {
            if (r - start > 1)
                MergeCells(col, start, 1, r - start);
            start = r;
            startText = text;
        }
    }
}

} // namespace grid
