// The selection of the data grid: the sorted bookmark list, the anchor, the gestures of mouse and
// keyboard that change it, and deleting the selected records.
#include "recipients/datagrid/XDBGrid.h"
#include "recipients/datagrid/XDBGridEdit.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMessageBox>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <sys/mman.h>

namespace xdb {

namespace {
template <class F>
struct ScopeExit {
    F f;
    ~ScopeExit() { f(); }
};
template <class F>
ScopeExit(F) -> ScopeExit<F>;

int Sign(int v)
{
    return v < 0 ? -1 : (v > 0 ? 1 : 0);
}
} // namespace

// ================================================================== TXBookmarkList::Store

namespace {
constexpr size_t kHugePage = size_t(2) << 20;
}

void* TXBookmarkList::Store::AllocateBlock(size_t bytes)
{
    if (bytes < 2 * kHugePage)
        return ::operator new(bytes);
    void* p = nullptr;
    const size_t rounded = (bytes + kHugePage - 1) / kHugePage * kHugePage;
    if (posix_memalign(&p, kHugePage, rounded) != 0)
        throw std::bad_alloc();
#ifdef MADV_HUGEPAGE
    madvise(p, rounded, MADV_HUGEPAGE);
#endif
    return p;
}

void TXBookmarkList::Store::FreeBlock(void* p, size_t bytes) noexcept
{
    if (bytes < 2 * kHugePage)
        ::operator delete(p);
    else
        std::free(p);
}

QByteArray TXBookmarkList::Store::view(size_t i) const
{
    const char* p = m_data.data() + i * m_stride;
    quint16 n;
    std::memcpy(&n, p, sizeof n);
    return QByteArray::fromRawData(p + sizeof n, n);
}

void TXBookmarkList::Store::write(size_t i, QByteArrayView b)
{
    char* p = m_data.data() + i * m_stride;
    const quint16 n = quint16(b.size());
    std::memcpy(p, &n, sizeof n);
    std::memcpy(p + sizeof n, b.data(), size_t(b.size()));
}

void TXBookmarkList::Store::fit(qsizetype length)
{
    if (length > 0xFFFF)
        throw EInvalidGridOperation(QStringLiteral("Bookmark too long"));
    const size_t need = sizeof(quint16) + size_t(length);
    if (need <= m_stride)
        return;
    if (m_data.empty()) {
        m_stride = need;
        return;
    }
    // A longer bookmark than before: every slot grows.
    const std::vector<db::TBookmark> list = all();
    m_stride = need;
    assign(list);
}

void TXBookmarkList::Store::reserve(size_t count, qsizetype length)
{
    fit(length);
    m_data.reserve(count * m_stride);
}

void TXBookmarkList::Store::insert(size_t i, QByteArrayView b)
{
    fit(b.size());
    m_data.insert(m_data.begin() + std::ptrdiff_t(i * m_stride), m_stride, 0);
    write(i, b);
}

void TXBookmarkList::Store::push_back(QByteArrayView b)
{
    fit(b.size());
    const size_t i = size();
    m_data.resize(m_data.size() + m_stride);
    write(i, b);
}

void TXBookmarkList::Store::erase(size_t i)
{
    const auto first = m_data.begin() + std::ptrdiff_t(i * m_stride);
    m_data.erase(first, first + std::ptrdiff_t(m_stride));
}

std::vector<db::TBookmark> TXBookmarkList::Store::all() const
{
    std::vector<db::TBookmark> out;
    out.reserve(size());
    for (size_t i = 0; i < size(); ++i)
        out.push_back(at(i));
    return out;
}

void TXBookmarkList::Store::assign(const std::vector<db::TBookmark>& list)
{
    m_data.clear();
    for (const db::TBookmark& b : list)
        push_back(b);
}

// ================================================================== TXBookmarkList

TXBookmarkList::TXBookmarkList(TXCustomDBGrid* grid)
    : m_grid(grid)
{
}

db::TDataSet* TXBookmarkList::DataSet() const
{
    return m_grid->DataLink()->DataSet();
}

int TXBookmarkList::Count()
{
    Validate();
    return int(m_list.size());
}

db::TBookmark TXBookmarkList::Items(int index)
{
    Validate();
    if (index < 0 || index >= int(m_list.size()))
        throw EInvalidGridOperation(QStringLiteral("List index out of bounds (%1)").arg(index));
    return m_list.at(size_t(index));
}

std::vector<db::TBookmark> TXBookmarkList::List()
{
    Validate();
    return m_list.all();
}

void TXBookmarkList::Clear()
{
    if (db::TDataSet* ds = DataSet())
        m_snapshot = ds->SnapshotNumber();
    if (m_list.empty())
        return;
    m_list.clear();
    Changed();
    m_grid->RowSelect(saClear);
    m_grid->InvalidateGrid();
}

int TXBookmarkList::Compare(const db::TBookmark& a, const db::TBookmark& b) const
{
    db::TDataSet* ds = DataSet();
    if (!ds)
        return a < b ? -1 : (b < a ? 1 : 0);
    return Sign(ds->CompareBookmarks(a, b));
}

db::TBookmark TXBookmarkList::CurrentRow() const
{
    if (!m_active || !DataSet() || !DataSet()->Active())
        throw EInvalidGridOperation(QStringLiteral("Cannot perform this operation on a closed dataset"));
    return DataSet()->GetBookmark();
}

bool TXBookmarkList::Find(const db::TBookmark& bookmark, int& index)
{
    Validate();
    if (m_cacheValid && bookmark == m_cacheBookmark) {
        index = m_cacheIndex;
        return m_cacheFound;
    }
    int lo = 0, hi = int(m_list.size()) - 1;
    bool found = false;
    while (lo <= hi) {
        const int mid = (lo + hi) / 2;
        const int c = Compare(m_list.view(size_t(mid)), bookmark);
        if (c < 0) {
            lo = mid + 1;
        } else {
            hi = mid - 1;
            if (c == 0)
                found = true;
        }
    }
    index = lo;
    m_cacheBookmark = bookmark;
    m_cacheIndex = lo;
    m_cacheFound = found;
    m_cacheValid = true;
    return found;
}

bool TXBookmarkList::CurrentRowSelected()
{
    int index;
    return Find(CurrentRow(), index);
}

void TXBookmarkList::SetCurrentRowSelected(bool value)
{
    const db::TBookmark bookmark = CurrentRow();
    if (bookmark.isEmpty())
        return;
    int index;
    if (Find(bookmark, index) == value)
        return;
    if (value)
        m_list.insert(size_t(index), bookmark);
    else
        m_list.erase(size_t(index));
    Changed();
    m_grid->RowSelect(value ? saSelect : saUnselect);
    m_grid->InvalidateRow(m_grid->Row());
}

bool TXBookmarkList::Insert(const db::TBookmark& bookmark)
{
    if (bookmark.isEmpty())
        return false;
    int index;
    if (Find(bookmark, index))
        return false;
    m_list.insert(size_t(index), bookmark);
    Changed();
    return true;
}

bool TXBookmarkList::Remove(const db::TBookmark& bookmark)
{
    int index;
    if (!Find(bookmark, index))
        return false;
    m_list.erase(size_t(index));
    Changed();
    return true;
}

void TXBookmarkList::AppendInOrder(const db::TBookmark& bookmark)
{
    if (bookmark.isEmpty())
        return;
    m_list.push_back(bookmark);
    Changed();
}

void TXBookmarkList::Delete()
{
    db::TDataSet* ds = DataSet();
    Validate();
    if (!ds || m_list.empty())
        return;
    bool deleted = false;
    ds->DisableControls();
    {
        ScopeExit enable{[ds] { ds->EnableControls(); }};
        while (!m_list.empty()) {
            const db::TBookmark bookmark = m_list.at(m_list.size() - 1);
            // Only a bookmark that still names a record is deleted; never another row.
            if (ds->BookmarkValid(bookmark)) {
                ds->GotoBookmark(bookmark);
                ds->Delete();
                deleted = true;
            }
            m_list.pop_back();
            Changed();
        }
        m_snapshot = ds->SnapshotNumber();
    }
    if (deleted)
        m_grid->RowSelect(saDelete);
}

void TXBookmarkList::SetActive(bool value)
{
    Clear();
    m_active = value;
}

void TXBookmarkList::Validate()
{
    db::TDataSet* ds = DataSet();
    if (m_validating || !ds || !ds->Active() || ds->SnapshotNumber() == m_snapshot)
        return;
    m_snapshot = ds->SnapshotNumber();
    if (m_list.empty())
        return;
    m_validating = true;
    ScopeExit done{[this] { m_validating = false; }};
    std::vector<db::TBookmark> list = m_list.all();
    const size_t before = list.size();
    std::erase_if(list, [ds](const db::TBookmark& b) { return !ds->BookmarkValid(b); });
    bool sorted = true;
    for (size_t i = 1; i < list.size() && sorted; ++i)
        sorted = ds->CompareBookmarks(list[i - 1], list[i]) < 0;
    if (!sorted)
        std::stable_sort(list.begin(), list.end(),
                         [ds](const db::TBookmark& a, const db::TBookmark& b) { return ds->CompareBookmarks(a, b) < 0; });
    if (list.size() != before || !sorted) {
        m_list.assign(list);
        Changed();
        m_grid->RowSelect(saRefresh);
        m_grid->InvalidateGrid();
    }
}

// ================================================================== grid operations

void TXCustomDBGrid::RowSelect(TSelectAction action)
{
    if (!m_destroying && OnRowSelect)
        OnRowSelect(this, action);
}

bool TXCustomDBGrid::IsSelectedRecord()
{
    if (!m_dataLink->Active() || !m_bookmarks->Active())
        return false;
    const db::TBookmark b = m_dataLink->DataSet()->GetBookmark();
    if (b.isEmpty())
        return false;
    int index;
    return m_bookmarks->Find(b, index);
}

void TXCustomDBGrid::SetSelectionAnchor(const db::TBookmark& bookmark)
{
    m_selectionAnchor = bookmark;
    if (m_options & dgIndicator)
        InvalidateCol(0);
}

int TXCustomDBGrid::CompareToAnchor() const
{
    return m_bookmarks->Compare(m_dataLink->DataSet()->GetBookmark(), m_selectionAnchor);
}

void TXCustomDBGrid::ToggleCurrent()
{
    const db::TBookmark b = m_bookmarks->CurrentRow();
    if (b.isEmpty())
        return;
    if (m_bookmarks->Remove(b)) {
        RowSelect(saUnselect);
    } else {
        m_bookmarks->Insert(b);
        RowSelect(saSelect);
    }
    InvalidateRow(Row());
}

void TXCustomDBGrid::SelectCurrent()
{
    if (m_bookmarks->Insert(m_bookmarks->CurrentRow())) {
        RowSelect(saSelect);
        InvalidateRow(Row());
    }
}

void TXCustomDBGrid::SelectAll()
{
    if (!m_dataLink->Active())
        return;
    db::TDataSet* ds = m_dataLink->DataSet();
    ds->CheckBrowseMode();
    BeginUpdate();
    {
        ScopeExit end{[this] { EndUpdate(); }};
        m_bookmarks->m_list.clear();
        m_bookmarks->m_snapshot = ds->SnapshotNumber();
        m_bookmarks->Changed();
        RowSelect(saClear);
        // The walk visits the records in display order, so the list stays sorted by appending.
        ds->First();
        if (!ds->Eof())
            m_bookmarks->m_list.reserve(size_t(std::max(0, ds->RecordCount())), ds->GetBookmark().size());
        while (!ds->Eof()) {
            m_bookmarks->AppendInOrder(ds->GetBookmark());
            RowSelect(saSelect);
            if (ds->MoveBy(1) == 0)
                break;
        }
    }
    SetSelectionAnchor(ds->GetBookmark());
    InvalidateGrid();
}

void TXCustomDBGrid::InvertSelection()
{
    if (!m_dataLink->Active())
        return;
    db::TDataSet* ds = m_dataLink->DataSet();
    ds->CheckBrowseMode();
    m_bookmarks->Validate();
    BeginUpdate();
    {
        ScopeExit end{[this] { EndUpdate(); }};
        // Merge the walk with the sorted list: records in the list leave it, the others join.
        TXBookmarkList::Store old = std::move(m_bookmarks->m_list);
        m_bookmarks->m_list = TXBookmarkList::Store();
        m_bookmarks->Changed();
        size_t j = 0;
        ds->First();
        while (!ds->Eof()) {
            const db::TBookmark b = ds->GetBookmark();
            if (j < old.size() && old.view(j) == b) {
                ++j;
                RowSelect(saUnselect);
            } else {
                m_bookmarks->m_list.push_back(b);
                RowSelect(saSelect);
            }
            if (ds->MoveBy(1) == 0)
                break;
        }
        m_bookmarks->Changed();
    }
    InvalidateGrid();
}

void TXCustomDBGrid::SelectRange() { MarkRangeToAnchor(&TXCustomDBGrid::SelectCurrent); }

void TXCustomDBGrid::ToggleRange() { MarkRangeToAnchor(&TXCustomDBGrid::ToggleCurrent); }

// Walks from the current record towards the selection anchor, marking every record on the way
// (the anchor included); the anchor is the current record when there is none yet. The records of
// the walk are gathered first and merged into the sorted selection in one pass, so a range over
// a million records costs one walk, not an insertion into the list per record.
void TXCustomDBGrid::MarkRangeToAnchor(void (TXCustomDBGrid::*mark)())
{
    if (!m_dataLink->Active())
        return;
    db::TDataSet* ds = m_dataLink->DataSet();
    ds->CheckBrowseMode();
    const bool toggle = mark == &TXCustomDBGrid::ToggleCurrent;
    std::vector<db::TBookmark> range;
    m_bookmarks->Validate();
    // An empty selection and a forward walk: the records go straight into the list in order.
    bool direct = false;
    size_t directCount = 0;
    BeginUpdate();
    {
        ScopeExit end{[this] { EndUpdate(); }};
        if (m_selectionAnchor.isEmpty())
            m_selectionAnchor = ds->GetBookmark();
        const auto take = [&] {
            const db::TBookmark b = m_bookmarks->CurrentRow();
            if (b.isEmpty())
                return;
            if (direct) {
                m_bookmarks->m_list.push_back(b);
                ++directCount;
            } else {
                range.push_back(b);
            }
        };
        const int c = CompareToAnchor();
        const int here = ds->IsSequenced() ? ds->RecNo() : -1;
        int there = -1;
        if (c != 0 && here > 0 && ds->BookmarkValid(m_selectionAnchor)) {
            ds->GotoBookmark(m_selectionAnchor);
            there = ds->RecNo();
        }
        if (there > 0) {
            // Record numbers known: the bookmarks are read by record number from the lower end,
            // without moving the dataset and without comparisons.
            m_bookmarks->CurrentRow(); // raises on a closed dataset, as marking a record does
            const int low = std::min(here, there), count = std::abs(here - there) + 1;
            direct = m_bookmarks->m_list.empty();
            if (direct)
                m_bookmarks->m_list.reserve(size_t(count), ds->GetBookmark().size());
            else
                range.reserve(size_t(count));
            ds->ForEachBookmark(low, count, [&](QByteArrayView b) {
                if (direct) {
                    m_bookmarks->m_list.push_back(b);
                    ++directCount;
                } else {
                    range.push_back(b.toByteArray());
                }
            });
        } else if (c > 0) {
            while (CompareToAnchor() > 0 && !ds->Bof()) {
                take();
                if (ds->MoveBy(-1) == 0)
                    break;
            }
        } else if (c < 0) {
            while (CompareToAnchor() < 0 && !ds->Eof()) {
                take();
                if (ds->MoveBy(1) == 0)
                    break;
            }
        }
        if (there <= 0) {
            if (CompareToAnchor() == 0)
                take();
            if (c > 0)
                std::reverse(range.begin(), range.end());
        }
    }
    // Merge (select) or symmetric difference (toggle) of two lists in display order.
    TXBookmarkList::Store& list = m_bookmarks->m_list;
    const size_t had = list.size();
    std::vector<db::TBookmark> merged;
    std::vector<TSelectAction> events;
    size_t selected = 0; // records newly selected, when that is all that changed
    if (direct) {
        selected = directCount;
    } else if (had == 0 && !range.empty()) {
        list.reserve(range.size(), range.front().size());
        for (const db::TBookmark& b : range)
            list.push_back(b);
        selected = range.size();
    } else if (!range.empty()) {
        const std::vector<db::TBookmark> old = list.all();
        merged.reserve(old.size() + range.size());
        size_t i = 0, j = 0;
        while (i < old.size() || j < range.size()) {
            const int cmp = i >= old.size() ? 1 : j >= range.size() ? -1 : m_bookmarks->Compare(old[i], range[j]);
            if (cmp < 0) {
                merged.push_back(old[i++]);
            } else if (cmp > 0) {
                merged.push_back(range[j++]);
                events.push_back(saSelect);
            } else {
                if (toggle)
                    events.push_back(saUnselect);
                else
                    merged.push_back(old[i]);
                ++i;
                ++j;
            }
        }
        list.assign(merged);
    }
    m_bookmarks->Changed();
    if (OnRowSelect) {
        for (size_t k = 0; k < selected; ++k)
            RowSelect(saSelect);
        for (TSelectAction e : events)
            RowSelect(e);
    }
    InvalidateGrid();
}

void TXCustomDBGrid::ClearSelectionAndAnchor()
{
    m_bookmarks->Clear();
    SetSelectionAnchor(db::TBookmark());
}

void TXCustomDBGrid::DeleteRecords()
{
    if ((m_options & dgAllowDeleteOff) || m_readOnly || !m_dataLink->Active())
        return;
    db::TDataSet* ds = m_dataLink->DataSet();
    if (ds->IsEmpty() || !ds->CanModify())
        return;
    const int count = m_bookmarks->Count();
    if (m_options & dgConfirmDelete) {
        QMessageBox box(QMessageBox::Question, QStringLiteral("Bestätigung"),
                        count < 2 ? QStringLiteral("Delete record?") : QStringLiteral("Delete all selected records?"),
                        QMessageBox::Ok | QMessageBox::Cancel, this);
        box.setObjectName(QStringLiteral("ConfirmDelete"));
        box.setDefaultButton(QMessageBox::Ok);
        if (box.exec() != QMessageBox::Ok)
            return;
    }
    if (count == 0)
        ds->Delete();
    else
        m_bookmarks->Delete();
}

// ------------------------------------------------------------------ keyboard

void TXCustomDBGrid::ClearOnMove()
{
    if ((m_options & dgMultiSelect) && !(m_options & dgAutoUnselectOff))
        m_bookmarks->Clear();
    m_selecting = false;
}

void TXCustomDBGrid::MoveSelecting(bool select, int direction, TShiftState shift)
{
    db::TDataSet* ds = m_dataLink->DataSet();
    BeginLayout();
    ScopeExit end{[this] { EndLayout(); }};
    if ((m_options & dgMultiSelect) && select && (shift & tk::ssShift)) {
        if (!m_selecting) {
            SelectCurrent();
            SetSelectionAnchor(ds->GetBookmark());
            m_selecting = true;
            ds->MoveBy(direction);
            SelectCurrent();
        } else if (CompareToAnchor() == -direction) {
            if (m_bookmarks->Remove(m_bookmarks->CurrentRow()))
                RowSelect(saUnselect);
            ds->MoveBy(direction);
        } else {
            ds->MoveBy(direction);
            SelectCurrent();
        }
    } else {
        ClearOnMove();
        ds->MoveBy(direction);
    }
}

void TXCustomDBGrid::NextRow(bool select, TShiftState shift)
{
    db::TDataSet* ds = m_dataLink->DataSet();
    if (ds->State() == db::dsInsert && !ds->Modified() && !m_dataLink->IsModified()) {
        if (m_dataLink->Eof())
            return;
        ds->Cancel();
    } else {
        MoveSelecting(select, 1, shift);
    }
    if (!(m_options & dgAllowInsertOff) && m_dataLink->Eof() && ds->CanModify() && !m_readOnly &&
        (m_options & dgEditing))
        ds->Append();
}

void TXCustomDBGrid::PriorRow(bool select, TShiftState shift)
{
    db::TDataSet* ds = m_dataLink->DataSet();
    if (ds->State() == db::dsInsert && !ds->Modified() && m_dataLink->Eof() && !m_dataLink->IsModified())
        ds->Cancel();
    else
        MoveSelecting(select, -1, shift);
}

void TXCustomDBGrid::MoveCol(int col, int direction)
{
    if (m_dataLink->Active() && m_dataLink->Editing())
        m_dataLink->UpdateRecord();
    const int first = tk::TCustomGrid::FixedCols();
    col = std::clamp(col, first, ColCount() - 1);
    if (direction != 0) {
        while (col >= first && col < ColCount() && ColWidths(col) <= 0)
            col += direction;
        if (col < first || col >= ColCount())
            return;
    }
    if (col == Col())
        return;
    if (!m_inColExit) {
        m_inColExit = true;
        const int before = Col();
        try {
            ColExit();
        } catch (...) {
            m_inColExit = false;
            throw;
        }
        m_inColExit = false;
        if (Col() != before)
            return;
    }
    if (!(m_options & dgAlwaysShowEditor))
        HideEditor();
    MoveColRow(col, Row(), false, true);
    ColEnter();
}

void TXCustomDBGrid::KeyDown(int& key, TShiftState shift)
{
    m_lastShift = shift;
    if (OnKeyDown)
        OnKeyDown(this, key, shift);
    if (key == 0 || !m_dataLink->Active())
        return;
    db::TDataSet* ds = m_dataLink->DataSet();
    int k = key;
    if (layoutDirection() == Qt::RightToLeft) {
        if (k == Qt::Key_Left)
            k = Qt::Key_Right;
        else if (k == Qt::Key_Right)
            k = Qt::Key_Left;
    }
    const int firstCol = tk::TCustomGrid::FixedCols();
    if (shift & tk::ssCtrl) {
        switch (k) {
        case Qt::Key_PageUp:
        case Qt::Key_Up:
            ClearOnMove();
            ds->MoveBy(-m_dataLink->ActiveRecord());
            break;
        case Qt::Key_PageDown:
        case Qt::Key_Down:
            ClearOnMove();
            ds->MoveBy(m_dataLink->RecordCount() - 1 - m_dataLink->ActiveRecord());
            break;
        case Qt::Key_Home:
            ClearOnMove();
            ds->First();
            break;
        case Qt::Key_End:
            ClearOnMove();
            ds->Last();
            break;
        case Qt::Key_Left:
        case Qt::Key_Right: {
            // The first or last column with a tab stop.
            const int step = k == Qt::Key_Left ? 1 : -1;
            int col = k == Qt::Key_Left ? firstCol : ColCount() - 1;
            while (col >= firstCol && col < ColCount() && !TabStops(col))
                col += step;
            if (col >= firstCol && col < ColCount())
                MoveCol(col, 0);
            break;
        }
        case Qt::Key_Delete:
            DeleteRecords();
            break;
        default:
            return;
        }
        return;
    }
    switch (k) {
    case Qt::Key_Tab: {
        if (shift & tk::ssAlt)
            return;
        // The next (Shift: the previous) column with a tab stop; past the end the next row.
        const int step = (shift & tk::ssShift) ? -1 : 1;
        int col = Col() + step;
        while (col >= firstCol && col < ColCount() && !TabStops(col))
            col += step;
        if (col >= firstCol && col < ColCount()) {
            MoveCol(col, 0);
        } else if (step > 0) {
            NextRow(false, 0);
            int first = firstCol;
            while (first < ColCount() - 1 && !TabStops(first))
                ++first;
            MoveCol(first, 0);
        } else {
            PriorRow(false, 0);
            int last = ColCount() - 1;
            while (last > firstCol && !TabStops(last))
                --last;
            MoveCol(last, 0);
        }
        break;
    }
    case Qt::Key_Escape:
        m_dataLink->Reset();
        ClearOnMove();
        if (!(m_options & dgAlwaysShowEditor))
            HideEditor();
        break;
    case Qt::Key_PageUp:
        ClearOnMove();
        ds->MoveBy(-VisibleRowCount());
        break;
    case Qt::Key_PageDown:
        ClearOnMove();
        ds->MoveBy(VisibleRowCount());
        break;
    case Qt::Key_Home:
    case Qt::Key_End:
        if (m_columns->Count() == 1 || (m_options & dgRowSelect)) {
            ClearOnMove();
            if (k == Qt::Key_Home)
                ds->First();
            else
                ds->Last();
        } else if (k == Qt::Key_Home) {
            MoveCol(firstCol, 1);
        } else {
            MoveCol(ColCount() - 1, -1);
        }
        break;
    case Qt::Key_Left:
        if (m_options & dgRowSelect)
            PriorRow(false, shift);
        else
            MoveCol(Col() - 1, -1);
        break;
    case Qt::Key_Right:
        if (m_options & dgRowSelect)
            NextRow(false, shift);
        else
            MoveCol(Col() + 1, 1);
        break;
    case Qt::Key_Up:
        PriorRow(true, shift);
        break;
    case Qt::Key_Down:
        NextRow(true, shift);
        break;
    case Qt::Key_Insert:
        if (!(m_options & dgAllowInsertOff) && ds->CanModify() && !m_readOnly && (m_options & dgEditing)) {
            ClearOnMove();
            ds->Insert();
        }
        break;
    case Qt::Key_F2: {
        const int dc = SelectedIndex();
        if (dc >= 0 && dc < m_columns->Count() && m_columns->Items(dc)->CanShowEditor()) {
            ShowEditor();
            // F2 edits the text that is there: the caret goes to its end, nothing is selected,
            // so typing appends.
            if (tk::TInplaceEdit* editor = InplaceEditor(); editor && editor->isVisible()) {
                editor->deselect();
                editor->end(false);
            }
        }
        break;
    }
    default:
        break;
    }
}

// ------------------------------------------------------------------ mouse

void TXCustomDBGrid::MouseSelect(TShiftState shift)
{
    m_selecting = false;
    if (!(m_options & dgMultiSelect))
        return;
    const bool ext = m_options & dgExtendedSelect;
    const bool keep = m_options & dgAutoUnselectOff;
    const bool sh = shift & tk::ssShift, alt = shift & tk::ssAlt, ctrl = shift & tk::ssCtrl;
    db::TDataSet* ds = m_dataLink->DataSet();
    if (ext && sh && alt) {
        SelectAll();
    } else if (ext && ctrl && alt) {
        InvertSelection();
    } else if ((ext || keep) && alt) {
        ClearSelectionAndAnchor();
    } else if (ext && sh && ctrl) {
        ToggleRange();
    } else if (ext && sh) {
        SelectRange();
    } else if (ctrl) {
        ToggleCurrent();
        SetSelectionAnchor(ds->GetBookmark());
    } else if (!keep) {
        m_bookmarks->Clear();
        SelectCurrent();
        SetSelectionAnchor(ds->GetBookmark());
    }
}

void TXCustomDBGrid::MouseDown(tk::TMouseButton button, TShiftState shift, int x, int y)
{
    m_lastShift = shift;
    m_hintKind = 0;
    if (auto* editor = qobject_cast<TXDBGridInplaceEdit*>(InplaceEditor()))
        editor->ForgetLastCell();
    {
        // A double click on a column border: its optimal width; the middle button: its default.
        int sizeIndex, sizePos, sizeOfs;
        const bool onBorder = CalcSizingState(x, y, sizeIndex, sizePos, sizeOfs) == tk::gsColSizing;
        const int sc = onBorder ? GridColToDataCol(sizeIndex) : -1;
        TXColumn* sized = sc >= 0 && sc < m_columns->Count() ? m_columns->Items(sc) : nullptr;
        if (sized && button == tk::mbLeft && (shift & tk::ssDouble) && (m_resizeOptions & roOptimalWidth)) {
            sized->SetWidthBase(OptimalWidth(sized));
            return;
        }
        if (sized && button == tk::mbMiddle && (m_resizeOptions & roDefaultWidth)) {
            sized->SetWidthBase(sized->DefaultWidth());
            return;
        }
    }
    int index, pos, ofs;
    if (button == tk::mbLeft && !(shift & tk::ssDouble) &&
        CalcSizingState(x, y, index, pos, ofs) != tk::gsNormal) {
        if (m_dataLink->Active() && m_dataLink->Editing())
            m_dataLink->UpdateRecord();
        tk::TCustomGrid::MouseDown(button, shift, x, y);
        return;
    }
    const tk::TGridCoord cell = MouseCoord(x, y);
    if (cell.X < 0 || cell.Y < 0) {
        tk::TCustomGrid::MouseDown(button, shift, x, y);
        if (OnMouseDown)
            OnMouseDown(this, button, shift, x, y);
        return;
    }
    if (cell.Y < m_titleOffset) {
        const int dc = GridColToDataCol(cell.X);
        const TitleHit hit = TitleHitAt(QPoint(x, y));
        if (m_dragKind == dkDock && hit.filler && button == tk::mbLeft) {
            // A press on the filler cell starts docking once the mouse moves.
            m_dragPress = QPoint(x, y);
            m_dockPress = true;
            return;
        }
        if (button == tk::mbLeft) {
            m_titlePress = hit;
            m_titlePressed = true;
            m_titlePressPoint = QPoint(x, y);
        }
        if ((m_options & dgTitleButtons) && button == tk::mbLeft) {
            // The filler with FillerButton and the expand button of a title without button are
            // pressed like title buttons.
            if ((hit.filler && m_fillerButton) ||
                (hit.column && hit.band < 0 && hit.expandButton && !hit.column->Title()->Button()))
                return;
            m_pressedTitle = dc >= 0 && dc < m_columns->Count() ? m_columns->Items(dc) : nullptr;
            if (m_pressedTitle && m_pressedTitle->Title()->Button() && hit.band < 0) {
                m_titleShownPressed = true;
                InvalidateTitles();
                return;
            }
            m_pressedTitle = nullptr;
        }
        if ((m_options & dgColumnResize) && button == tk::mbLeft) {
            if (m_dataLink->Active() && m_dataLink->Editing())
                m_dataLink->UpdateRecord();
            tk::TCustomGrid::MouseDown(button, shift, x, y);
        }
        if (OnMouseDown)
            OnMouseDown(this, button, shift, x, y);
        return;
    }
    if (button == tk::mbLeft) {
        m_pressedCell = cell;
        m_pressedOnFocus = cell.X == Col() && cell.Y == Row();
    }
    if (button == tk::mbLeft && m_dataLink->Active()) {
        const bool wasFocusCell = cell.X == Col() && cell.Y == Row();
        {
            BeginLayout();
            ScopeExit end{[this] { EndLayout(); }};
            if (m_dataLink->Editing())
                m_dataLink->UpdateRecord();
            HideEditor();
            m_dataLink->DataSet()->MoveBy(cell.Y - Row());
            if (cell.X >= tk::TCustomGrid::FixedCols())
                MoveCol(cell.X, 0);
            MouseSelect(shift);
        }
        const bool keyed = ((m_options & dgExtendedSelect) || (m_options & dgAutoUnselectOff)) &&
                           (shift & (tk::ssShift | tk::ssAlt | tk::ssCtrl));
        const int dc = GridColToDataCol(cell.X);
        TXColumn* column = dc >= 0 && dc < m_columns->Count() ? m_columns->Items(dc) : nullptr;
        if ((m_options & dgAlwaysShowEditor) ||
            (wasFocusCell && !keyed && column && !column->IsCheckBox() && column->ShowEdit() &&
             (m_options & dgEditing) && !(shift & tk::ssDouble))) {
            ShowEditor();
        } else {
            InvalidateEditor();
        }
        // With DragRows a press on a data row of a scrollable column starts a drag of rows once
        // the mouse moves.
        if (m_dragRows && m_dragKind == dkDrag && cell.X >= tk::TCustomGrid::FixedCols()) {
            m_dragPress = QPoint(x, y);
            m_dockPress = false;
            return;
        }
    }
    if (OnMouseDown)
        OnMouseDown(this, button, shift, x, y);
}

void TXCustomDBGrid::MouseUp(tk::TMouseButton button, TShiftState shift, int x, int y)
{
    m_dragPress = QPoint(-1, -1);
    m_dockPress = false;
    TXColumn* pressed = m_pressedTitle;
    m_pressedTitle = nullptr;
    const tk::TGridCoord pressedCell = m_pressedCell;
    m_pressedCell = tk::TGridCoord();
    const tk::TGridState state = GridState();
    const bool titlePressed = m_titlePressed;
    const TitleHit press = m_titlePress;
    m_titlePressed = false;
    m_titlePress = TitleHit();
    const bool shownPressed = m_titleShownPressed;
    m_titleShownPressed = false;
    if (shownPressed)
        InvalidateTitles();
    if (button == tk::mbLeft)
        SetHotTitle(nullptr, false);
    tk::TCustomGrid::MouseUp(button, shift, x, y);
    if (button == tk::mbRight) {
        // The menu of what was clicked pops up at the mouse.
        if (QMenu* menu = PopupMenuAt(QPoint(x, y)))
            DropMenu(menu, viewport()->mapToGlobal(QPoint(x, y)), true);
        return;
    }
    if (button == tk::mbLeft && titlePressed && state != tk::gsColSizing && state != tk::gsRowSizing &&
        std::abs(x - m_titlePressPoint.x()) <= QApplication::startDragDistance()) {
        const TitleHit release = TitleHitAt(QPoint(x, y));
        if (release.filler == press.filler && release.column == press.column && release.band == press.band &&
            (press.filler || press.column)) {
            if (press.filler) {
                FillerClick();
                return;
            }
            if (press.band >= 0) {
                HeaderClick(press.column, press.band);
                return;
            }
            if (press.expandButton && release.expandButton) {
                ExpandClick(press.column);
                return;
            }
            if (!(m_options & dgTitleButtons)) {
                if ((m_options & dgMarkerAutoToggle) && press.column->Title()->AutoToggle())
                    m_columns->ToggleMarker(press.column, shift & tk::ssCtrl);
                TitleClick(press.column);
                return;
            }
        }
    }
    if (button != tk::mbLeft || state == tk::gsColSizing || state == tk::gsRowSizing || state == tk::gsColMoving)
        return;
    if (!pressed && pressedCell.Y >= m_titleOffset) {
        // A click released on a data cell.
        const tk::TGridCoord cell = MouseCoord(x, y);
        const int dc = GridColToDataCol(pressedCell.X);
        if (dc < 0) {
            if (cell == pressedCell)
                IndicatorClick();
            return;
        }
        TXColumn* column = dc < m_columns->Count() ? m_columns->Items(dc) : nullptr;
        if (column && column->IsCheckBox()) {
            if (!(cell == pressedCell))
                return;
            const bool toggles = (!column->Field() || (m_options & dgEditing)) && column->ShowEdit() &&
                                 (column->CheckBoxToggle() == ctOnCellClick ||
                                  (column->CheckBoxToggle() == ctSelectClick && m_pressedOnFocus));
            if (toggles)
                ToggleCheckBox(column);
            CellClick(column);
            return;
        }
        const int focus = SelectedIndex();
        CellClick(focus >= 0 && focus < m_columns->Count() ? m_columns->Items(focus) : column);
        return;
    }
    if (!pressed)
        return;
    const tk::TGridCoord cell = MouseCoord(x, y);
    if (cell.Y < 0 || cell.Y >= m_titleOffset || GridColToDataCol(cell.X) != pressed->Index())
        return;
    if ((m_options & dgMarkerAutoToggle) && pressed->Title()->AutoToggle())
        m_columns->ToggleMarker(pressed, shift & tk::ssCtrl);
    TitleClick(pressed);
}

void TXCustomDBGrid::MouseMove(TShiftState shift, int x, int y)
{
    m_lastShift = shift;
    if (m_dragPress.x() >= 0 && (shift & tk::ssLeft) &&
        (QPoint(x, y) - m_dragPress).manhattanLength() > QApplication::startDragDistance()) {
        const bool dock = m_dockPress;
        const QPoint from = viewport()->mapToGlobal(m_dragPress);
        m_dragPress = QPoint(-1, -1);
        m_dockPress = false;
        if (dock)
            StartDocking(from);
        else
            StartRowDrag();
        return;
    }
    if (m_pressedTitle && (m_options & dgColumnResize) && !(m_options & dgRightMoving) &&
        (m_resizeOptions & roColumnMoving) &&
        DataColToGridCol(m_pressedTitle->Index()) >= tk::TCustomGrid::FixedCols() &&
        std::abs(x - m_titlePressPoint.x()) > QApplication::startDragDistance()) {
        // The title press turns into moving the column, from where it started.
        m_pressedTitle = nullptr;
        m_titleShownPressed = false;
        InvalidateTitles();
        tk::TCustomGrid::MouseDown(tk::mbLeft, shift, m_titlePressPoint.x(), m_titlePressPoint.y());
    }
    const TitleHit hit = TitleHitAt(QPoint(x, y));
    if (m_pressedTitle) {
        // The pressed look follows whether the mouse is still over the pressed title.
        const bool over = hit.column == m_pressedTitle && hit.band < 0;
        if (over != m_titleShownPressed) {
            m_titleShownPressed = over;
            InvalidateTitles();
        }
    } else if (!(shift & tk::ssLeft)) {
        int index, pos, ofs;
        const bool hotAllowed = (m_options & dgTitleButtons) && GridState() == tk::gsNormal &&
                                CalcSizingState(x, y, index, pos, ofs) == tk::gsNormal;
        TXColumn* hot = hotAllowed && hit.column && hit.band < 0 && (hit.column->Title()->Button() || hit.expandButton)
                            ? hit.column
                            : nullptr;
        SetHotTitle(hot, hotAllowed && hit.filler && m_fillerButton);
    }
    tk::TCustomGrid::MouseMove(shift, x, y);
}

void TXCustomDBGrid::KeyPress(QChar& key)
{
    const int dc = SelectedIndex();
    TXColumn* column = dc >= 0 && dc < m_columns->Count() ? m_columns->Items(dc) : nullptr;
    if ((key == QLatin1Char(' ') || key == QLatin1Char('\r')) && column && column->IsCheckBox() &&
        column->CheckBoxToggle() != ctCustomToggle && (!column->Field() || (m_options & dgEditing)) &&
        column->ShowEdit()) {
        ToggleCheckBox(column);
        key = QChar();
        return;
    }
    const bool enter = key == QLatin1Char('\r');
    if (enter && !(m_options & dgAlwaysShowEditor) && m_dataLink->Active() && m_dataLink->Editing())
        m_dataLink->UpdateRecord();
    // Enter switches the editor on and off.
    if (enter && !(GridOptions() & tk::goAlwaysShowEditor)) {
        if (EditorMode())
            HideEditor();
        else if (column && column->CanShowEditor())
            ShowEditor();
        key = QChar();
        return;
    }
    if (column && !column->CanShowEditor())
        return;    // no editor opens in this column
    if (EditorVisible())
        return;    // the editor types the character itself
    tk::TCustomGrid::KeyPress(key);
}

void TXCustomDBGrid::keyPressEvent(QKeyEvent* event)
{
    tk::TInplaceEdit* editor = InplaceEditor();
    const QString text = event->text();
    // The guard: a key the editor does not take comes back to the grid as its parent.
    if (!m_forwardingKey && editor && editor->isVisible() && !text.isEmpty() && text.at(0).isPrint() &&
        !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))) {
        m_forwardingKey = true;
        ScopeExit reset{[this] { m_forwardingKey = false; }};
        QApplication::sendEvent(editor, event);
        return;
    }
    tk::TCustomGrid::keyPressEvent(event);
}

void TXCustomDBGrid::CellClick(TXColumn* column)
{
    if (OnCellClick)
        OnCellClick(column);
}

bool TXCustomDBGrid::CanModifyColumn(TXColumn* column)
{
    if (m_readOnly || !m_dataLink->Active() || !column || column->ReadOnly())
        return false;
    db::TField* f = column->Field();
    return f && f->CanModify() && m_dataLink->Edit();
}

void TXCustomDBGrid::ToggleCheckBox(TXColumn* column)
{
    if (!column || !m_dataLink->Active())
        return;
    if (db::TField* f = column->Field()) {
        if (!CanModifyColumn(column))
            return;
        const QString text = ColGetText(column, f->EditText(), tkEdit);
        const bool checked = text.compare(column->CheckedText(), Qt::CaseInsensitive) == 0;
        f->SetAsString(ColSetText(column, checked ? column->UncheckedText() : column->CheckedText()));
    } else if (!(m_options & dgMultiSelect)) {
        ToggleCurrent();
    }
    InvalidateRow(Row());
}

bool TXCustomDBGrid::DoMouseWheel(TShiftState shift, int notches, const QPoint& pos)
{
    bool handled = false;
    if (notches < 0 && OnMouseWheelDown)
        OnMouseWheelDown(this, shift, pos, handled);
    else if (notches > 0 && OnMouseWheelUp)
        OnMouseWheelUp(this, shift, pos, handled);
    if (handled || !m_dataLink->Active())
        return true;
    db::TDataSet* ds = m_dataLink->DataSet();
    if (ds->State() == db::dsInsert && !ds->Modified() && !m_dataLink->IsModified()) {
        // An untouched inserted record: wheel down cancels it unless it is at the end, wheel up
        // cancels it at the end.
        // At the end: an appended record sits on the window's last row (the dataset does not set
        // Eof while inserting).
        const bool atEnd = m_dataLink->Eof() || m_dataLink->ActiveRecord() >= m_dataLink->RecordCount() - 1;
        if ((notches < 0 && !atEnd) || (notches > 0 && atEnd))
            ds->Cancel();
        return true;
    }
    ds->CheckBrowseMode();
    HideEditor();
    int rows = m_wheelScrollRows > 0 ? m_wheelScrollRows
               : m_wheelScrollRows == 0 ? WheelScrollLines()
                                        : m_dataLink->BufferCount();
    BeginUpdate();
    {
        ScopeExit end{[this] { EndUpdate(true); }};
        ds->MoveBy(-notches * rows);
    }
    if (m_options & dgAlwaysShowEditor)
        ShowEditor();
    return true;
}

void TXCustomDBGrid::TimedScroll(int direction)
{
    if (!m_dataLink->Active()) {
        tk::TCustomGrid::TimedScroll(direction);
        return;
    }
    db::TDataSet* ds = m_dataLink->DataSet();
    if (direction == -1)
        ds->MoveBy(-(m_dataLink->ActiveRecord() + 1));
    else if (direction == 1)
        ds->MoveBy(m_dataLink->RecordCount() - m_dataLink->ActiveRecord());
    else
        tk::TCustomGrid::TimedScroll(direction);
}

} // namespace xdb
