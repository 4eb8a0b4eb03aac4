#include "spreadsheet/Cells.h"
#include "spreadsheet/SST.h"
#include "spreadsheet/XLSUtils.h"

#include <cstring>

namespace xls {

TCell* TStringCell::Copy() const
{
    ++Entry->RefCount;
    return new TStringCell(owner(), FormatIndex(), Entry);
}

static_assert(sizeof(TCellSlot) == 12);

TCellStorage::Row* TCellStorage::newRow(int first, int capacity)
{
    const size_t bytes = sizeof(Row) + sizeof(TCellSlot) * size_t(capacity);
    auto* r = static_cast<Row*>(PoolAlloc(bytes));
    r->first = uint16_t(first);
    r->capacity = uint16_t(capacity);
    std::memset(r->c(), 0, sizeof(TCellSlot) * size_t(capacity));
    return r;
}

void TCellStorage::freeRow(Row* r)
{
    PoolFree(r, sizeof(Row) + sizeof(TCellSlot) * size_t(r->capacity));
}

TCell* TCellStorage::MakeObject(TCellFormats* formats, int fi, TCellSlot::TKind kind, uint64_t value)
{
    TCellSlot s{};
    s.SetValue(value);
    switch (kind) {
    case TCellSlot::skFloat: return new TFloatCell(formats, fi, s.Number());
    case TCellSlot::skString: return new TStringCell(formats, fi, s.Entry());
    case TCellSlot::skBoolean: return new TBooleanCell(formats, fi, s.Byte());
    case TCellSlot::skError: return new TErrorCell(formats, fi, s.Byte());
    default: return new TBlankCell(formats, fi);
    }
}

TCell* TCellStorage::materialize(TCellSlot& s) const
{
    // The object takes over the slot's reference to its format (and a string's use of its entry).
    TCell* c = MakeObject(nullptr, 0, s.Kind(), s.Value());
    c->AdoptFormatReference(m_formats->Item(s.xf));
    s.SetValue(uint64_t(reinterpret_cast<uintptr_t>(c)));
    s.kind = TCellSlot::skObject;
    return c;
}

void TCellStorage::release(TCellSlot& s) const
{
    if (s.kind == TCellSlot::skObject) delete s.Object();
    else TFormattedObject::ReleaseFormatReference(m_formats->Item(s.xf));
    s = TCellSlot{};
}

TCellSlot& TCellStorage::slotFor(uint32_t key)
{
    const int col = int(key & 0xFF);
    Row* row = rowOf(key >> 8);
    if (!row || col < row->first || col >= row->first + row->capacity) {
        L2*& l2 = m_root[key >> 16];
        if (!l2) l2 = new L2;
        Row*& place = l2->r[(key >> 8) & 0xFF];
        if (!place) {
            const RowHint& h = m_hints[(key >> 8) & 63];
            // The columns the row said it takes; a wide row (a file may claim all 256 for a row
            // of one cell) grows from a few as its cells come.
            if (h.row == int(key >> 8) && col >= h.first && col < h.end && h.end <= 256 && h.end - h.first <= 64)
                place = newRow(h.first, h.end - h.first);
            else
                place = newRow(qMin(col, 256 - 4), 4);   // a row never reaches past column 255
        } else {
            // Grow to take the column in, by half again at least, in steps of 4 columns.
            Row* old = place;
            const int last = qMax(col, old->first + old->capacity - 1);
            int first = qMin(col, int(old->first));
            int capacity = qMax(last - first + 1, old->capacity + old->capacity / 2);
            capacity = qMin((capacity + 3) & ~3, 256);
            if (first + capacity > 256) first = 256 - capacity;
            Row* grown = newRow(first, capacity);
            std::memcpy(grown->c() + (old->first - first), old->c(), sizeof(TCellSlot) * old->capacity);
            place = grown;
            freeRow(old);
        }
        row = place;
        m_row = row;
        m_rowKey = key >> 8;
    }
    return row->c()[col - row->first];
}

void TCellStorage::PutCell(uint32_t key, TCell* cell)
{
    if (key > 0xFFFFFF) {
        delete cell;
        return;
    }
    TCellSlot& slot = slotFor(key);
    if (slot.Object() == cell) return;
    if (!slot.Empty()) {
        // The new cell keeps the format of the one it replaces.
        cell->TakeOverFormat(slot.kind == TCellSlot::skObject ? slot.Object()->FormatIndex() : slot.xf);
        release(slot);
    }
    slot.SetValue(uint64_t(reinterpret_cast<uintptr_t>(cell)));
    slot.kind = TCellSlot::skObject;
}

void TCellStorage::PutValue(uint32_t key, TCellFormats* formats, int fi, TCellSlot::TKind kind, uint64_t value)
{
    if (key > 0xFFFFFF) return;
    if (!m_formats) m_formats = formats;
    TCellFormat* f = formats && formats == m_formats ? formats->ForIndex(fi) : nullptr;
    TCellSlot& slot = slotFor(key);
    // A cell is held in place with a format whose index stays (one read or loaded: later ones
    // are renumbered when an earlier one goes), and not over another cell (rare): other cells
    // go the way of objects.
    if (!f || f->Index >= formats->LoadedCount || f->Index > 0xFFFF || !slot.Empty()) {
        PutCell(key, MakeObject(formats, fi, kind, value));
        return;
    }
    ++f->RefCount;
    slot.SetValue(value);
    slot.xf = uint16_t(f->Index);
    slot.kind = kind;
}

void TCellStorage::Clear()
{
    for (auto*& l2 : m_root) {
        if (!l2) continue;
        for (Row*& row : l2->r) {
            if (!row) continue;
            for (int i = 0; i < row->capacity; ++i) {
                TCellSlot& s = row->c()[i];
                if (!s.Empty()) release(s);
            }
            freeRow(row);
        }
        delete l2;
        l2 = nullptr;
    }
    m_row = nullptr;
    m_rowKey = 0xFFFFFFFF;
}

void TXLSRows::AddRow(const uint8_t* b, int length)
{
    CheckRange(length, 0, 16);
    uint16_t options = GetWord(b + 12);
    int fi = (options & 0x0080) ? (GetWord(b + 14) & 0x0FFF) : 15;
    Entry e{nullptr, GetWord(b), GetWord(b + 2), GetWord(b + 4), GetWord(b + 6), options, 0};
    TCellFormat* f = m_formats ? m_formats->ForIndex(fi) : nullptr;
    if (f && f->Index < m_formats->LoadedCount && f->Index <= 0xFFFF) {
        ++f->RefCount;
        e.xf = uint16_t(f->Index);
    } else {
        // a format that may be renumbered: the row is an object from the start
        e.object = new TXLSRow(m_formats, fi, &m_cb);
        e.object->Row = e.row;
        e.object->FirstCol = e.firstCol;
        e.object->LastCol = e.lastCol;
        e.object->Height = e.height;
        e.object->Options = e.options;
    }
    // Whether the list is still in order is noted as rows come (the last one is at hand now; a
    // walk over all of them later would visit every row again).
    if (!m_rows.isEmpty() && rowOf(m_rows.last()) > e.row) m_unsorted = true;
    m_rows.append(e);
}

int TXLSRows::rowOf(const Entry& e) { return e.object ? e.object->Row : e.row; }

TXLSRow* TXLSRows::materialize(Entry& e) const
{
    // The object takes over the entry's reference to its format.
    auto* r = new TXLSRow(nullptr, 0, &m_cb);
    r->AdoptFormatReference(m_formats->Item(e.xf));
    r->Row = e.row;
    r->FirstCol = e.firstCol;
    r->LastCol = e.lastCol;
    r->Height = e.height;
    r->Options = e.options;
    e.object = r;
    return r;
}

void TXLSRows::Clear()
{
    for (Entry& e : m_rows) {
        if (e.object) delete e.object;
        else TFormattedObject::ReleaseFormatReference(m_formats->Item(e.xf));
    }
    m_rows.clear();
    m_unsorted = false;
}

void TXLSRows::quickSort(int l, int r)
{
    while (l < r) {
        int i = l, j = r;
        int pivot = rowOf(m_rows[(l + r) / 2]);
        while (i <= j) {
            while (rowOf(m_rows[i]) < pivot) ++i;
            while (rowOf(m_rows[j]) > pivot) --j;
            if (i <= j) {
                m_rows.swapItemsAt(i, j);
                ++i;
                --j;
            }
        }
        if (l < j) quickSort(l, j);
        l = i;
    }
}

void TXLSRows::SortRows()
{
    // Files list their rows in order as a rule: then there is nothing to sort.
    if (m_unsorted) quickSort(0, int(m_rows.size()) - 1);
    m_unsorted = false;
}

int TXLSRows::FindRow(int row) const
{
    if (row < 0 || row > 65535 || m_rows.isEmpty()) return -1;
    int lo = 0, hi = int(m_rows.size()) - 1;
    while (lo <= hi) {
        int mid = (lo + hi) / 2;
        int v = rowOf(m_rows[mid]);
        if (v == row) return mid;
        if (v < row) lo = mid + 1; else hi = mid - 1;
    }
    return -1;
}

void TXLSColumns::AddColumns(const uint8_t* b, int length)
{
    CheckRange(length, 0, 10);
    int first = qMin<int>(GetWord(b), 255);
    int last = qMin<int>(GetWord(b + 2), 255);
    uint16_t opt = GetWord(b + 8);
    for (int c = first; c <= last; ++c) {
        auto* col = new TXLSColumn(m_formats, GetWord(b + 6), &m_cb);
        col->Col = uint8_t(c);
        col->Width = GetWord(b + 4);
        col->Hidden = opt & 1;
        col->UserSet = (opt >> 1) & 1;
        col->OutlineLevel = (opt >> 8) & 7;
        col->Collapsed = (opt >> 12) & 1;
        delete m_cols[c];
        m_cols[c] = col;
    }
}

void TXLSColumns::DeleteColumns(int first, int last)
{
    if (first < 0 || last > 255 || first > last) throw EXLSError(QStringLiteral("Invalid columns"));
    for (int c = first; c <= last; ++c) {
        delete m_cols[c];
        m_cols[c] = nullptr;
    }
}

}
