#include "platform/grid/StringGrid.h"

#include <QPainter>
#include <algorithm>

namespace tk {

namespace {
const QString kEmpty;
}

TStringGrid::TStringGrid(QWidget* parent) : TCustomGrid(parent)
{
    m_rows.resize(size_t(RowCount()));
}

TStringGrid::~TStringGrid() = default;

const QString& TStringGrid::emptyText() { return kEmpty; }

void TStringGrid::StoreCell(int col, int row, const QString& value)
{
    if (row < 0 || row >= int(m_rows.size()) || col < 0 || col >= ColCount())
        return;
    RowRecord& r = m_rows[size_t(row)];
    if (col >= r.texts.size()) {
        if (value.isEmpty())
            return;
        r.texts.resize(ColCount());
    }
    r.texts[col] = value;
}

void TStringGrid::SetCells(int col, int row, const QString& value)
{
    StoreCell(col, row, value);
    // Nothing to repaint while painting is held back (filling inside BeginUpdate).
    if (updatesEnabled())
        InvalidateCell(col, row);
}

void TStringGrid::SetObjects(int col, int row, TObject* object)
{
    if (row < 0 || row >= int(m_rows.size()) || col < 0 || col >= ColCount())
        return;
    RowRecord& r = m_rows[size_t(row)];
    if (!r.objects) {
        if (!object)
            return;
        r.objects = std::make_unique<std::vector<TObject*>>(size_t(ColCount()), nullptr);
    }
    if (col >= int(r.objects->size()))
        r.objects->resize(size_t(ColCount()), nullptr);
    (*r.objects)[size_t(col)] = object;
}

QStringList TStringGrid::Rows(int row) const
{
    QStringList out;
    out.reserve(ColCount());
    for (int c = 0; c < ColCount(); ++c)
        out.append(Cells(c, row));
    return out;
}

void TStringGrid::SetRows(int row, const QStringList& texts)
{
    for (int c = 0; c < texts.size() && c < ColCount(); ++c)
        StoreCell(c, row, texts[c]);
    InvalidateRow(row);
}

QStringList TStringGrid::Cols(int col) const
{
    QStringList out;
    out.reserve(RowCount());
    for (int r = 0; r < RowCount(); ++r)
        out.append(Cells(col, r));
    return out;
}

void TStringGrid::SetCols(int col, const QStringList& texts)
{
    for (int r = 0; r < texts.size() && r < RowCount(); ++r)
        StoreCell(col, r, texts[r]);
    InvalidateCol(col);
}

void TStringGrid::trimRowColumns(RowRecord& r, int cols)
{
    if (r.texts.size() > cols)
        r.texts.resize(cols);
    if (r.objects && int(r.objects->size()) > cols) {
        for (size_t c = size_t(cols); c < r.objects->size(); ++c)
            if (TObject* o = (*r.objects)[c])
                ReleaseObject(o);
        r.objects->resize(size_t(cols));
    }
}

void TStringGrid::SizeChanged(int oldColCount, int oldRowCount)
{
    (void)oldRowCount;
    const size_t rows = size_t(RowCount());
    if (rows < m_rows.size()) {
        for (size_t i = rows; i < m_rows.size(); ++i)
            if (m_rows[i].objects)
                for (TObject* o : *m_rows[i].objects)
                    if (o)
                        ReleaseObject(o);
        m_rows.resize(rows);
    } else if (rows > m_rows.size()) {
        m_rows.resize(rows);
    }
    if (ColCount() < oldColCount)
        for (RowRecord& r : m_rows)
            trimRowColumns(r, ColCount());
}

void TStringGrid::ColumnMoved(int fromIndex, int toIndex)
{
    const int cols = ColCount();
    for (RowRecord& r : m_rows) {
        if (!r.texts.isEmpty()) {
            r.texts.resize(cols);
            r.texts.move(fromIndex, toIndex);
        }
        if (r.objects) {
            r.objects->resize(size_t(cols), nullptr);
            TObject* o = (*r.objects)[size_t(fromIndex)];
            r.objects->erase(r.objects->begin() + fromIndex);
            r.objects->insert(r.objects->begin() + toIndex, o);
        }
    }
}

void TStringGrid::DeleteRow(int row)
{
    if (row < 0 || row >= RowCount() || RowCount() <= 1)
        return;
    // Heights below the row move up one place.
    for (int r = row; r < RowCount() - 1; ++r)
        SetRowHeights(r, RowHeights(r + 1));
    if (m_rows[size_t(row)].objects)
        for (TObject* o : *m_rows[size_t(row)].objects)
            if (o)
                ReleaseObject(o);
    m_rows.erase(m_rows.begin() + row);
    m_rows.emplace_back();   // keeps the size until the row count drops it
    SetRowCount(RowCount() - 1);
}

void TStringGrid::DeleteColumn(int col)
{
    if (col < 0 || col >= ColCount() || ColCount() <= 1)
        return;
    MoveColumn(col, ColCount() - 1);
    SetColCount(ColCount() - 1);
}

void TStringGrid::MoveRow(int fromIndex, int toIndex)
{
    if (fromIndex == toIndex || fromIndex < 0 || toIndex < 0 || fromIndex >= RowCount() || toIndex >= RowCount())
        return;
    if (fromIndex < toIndex)
        std::rotate(m_rows.begin() + fromIndex, m_rows.begin() + fromIndex + 1, m_rows.begin() + toIndex + 1);
    else
        std::rotate(m_rows.begin() + toIndex, m_rows.begin() + fromIndex, m_rows.begin() + fromIndex + 1);
    TCustomGrid::MoveRow(fromIndex, toIndex);
}

void TStringGrid::ExchangeRows(int row1, int row2)
{
    if (row1 < 0 || row2 < 0 || row1 >= RowCount() || row2 >= RowCount() || row1 == row2)
        return;
    std::swap(m_rows[size_t(row1)], m_rows[size_t(row2)]);
    InvalidateRow(row1);
    InvalidateRow(row2);
}

void TStringGrid::AssignRow(int destRow, int sourceRow)
{
    if (destRow < 0 || sourceRow < 0 || destRow >= RowCount() || sourceRow >= RowCount() || destRow == sourceRow)
        return;
    m_rows[size_t(destRow)].texts = m_rows[size_t(sourceRow)].texts;
    InvalidateRow(destRow);
}

int TStringGrid::TakeRows(int at, int count, std::vector<TRowRecord>& records, std::vector<int>& heights)
{
    if (at < 0 || at >= RowCount())
        return 0;
    count = std::min({count, RowCount() - at, RowCount() - 1});
    if (count <= 0)
        return 0;
    records.reserve(records.size() + size_t(count));
    heights.reserve(heights.size() + size_t(count));
    for (int i = 0; i < count; ++i) {
        records.push_back(std::move(m_rows[size_t(at + i)]));
        heights.push_back(RowHeights(at + i));
    }
    m_rows.erase(m_rows.begin() + at, m_rows.begin() + at + count);
    SpliceRowHeights(at, count, {});
    return count;
}

void TStringGrid::PutRows(int at, std::vector<TRowRecord>&& records, const std::vector<int>& heights)
{
    at = std::clamp(at, 0, RowCount());
    if (records.empty())
        return;
    for (TRowRecord& r : records)
        trimRowColumns(r, ColCount());
    m_rows.insert(m_rows.begin() + at, std::make_move_iterator(records.begin()), std::make_move_iterator(records.end()));
    std::vector<int> h(heights);
    h.resize(records.size(), DefaultRowHeight());
    records.clear();
    SpliceRowHeights(at, 0, h);
}

int TStringGrid::TakeRowList(const std::vector<int>& rows, std::vector<TRowRecord>& records, std::vector<int>& heights)
{
    const int n = RowCount();
    const size_t k = std::min(rows.size(), size_t(n - 1));
    if (k == 0)
        return 0;
    std::vector<int> kept;
    kept.reserve(size_t(n) - k);
    records.reserve(records.size() + k);
    heights.reserve(heights.size() + k);
    size_t li = 0;
    size_t w = 0;
    for (int r = 0; r < n; ++r) {
        if (li < k && rows[li] == r) {
            records.push_back(std::move(m_rows[size_t(r)]));
            heights.push_back(RowHeights(r));
            ++li;
        } else {
            if (w != size_t(r))
                m_rows[w] = std::move(m_rows[size_t(r)]);
            kept.push_back(RowHeights(r));
            ++w;
        }
    }
    m_rows.resize(w);
    SpliceRowHeights(0, n, kept);
    return int(li);
}

void TStringGrid::PutRowList(const std::vector<int>& positions, std::vector<TRowRecord>&& records,
                             const std::vector<int>& heights)
{
    const size_t k = std::min(positions.size(), records.size());
    if (k == 0)
        return;
    const int n = RowCount();
    const size_t total = size_t(n) + k;
    std::vector<TRowRecord> rows(total);
    std::vector<int> h(total);
    size_t li = 0;
    size_t old = 0;
    for (size_t p = 0; p < total; ++p) {
        if (li < k && (size_t(positions[li]) == p || old >= size_t(n))) {
            trimRowColumns(records[li], ColCount());
            rows[p] = std::move(records[li]);
            h[p] = li < heights.size() ? heights[li] : DefaultRowHeight();
            ++li;
        } else {
            rows[p] = std::move(m_rows[old]);
            h[p] = RowHeights(int(old));
            ++old;
        }
    }
    records.clear();
    m_rows = std::move(rows);
    SpliceRowHeights(0, n, h);
}

void TStringGrid::InsertEmptyRows(int at, int count, int height)
{
    at = std::clamp(at, 0, RowCount());
    if (count <= 0)
        return;
    std::vector<TRowRecord> blank(static_cast<size_t>(count));
    m_rows.insert(m_rows.begin() + at, std::make_move_iterator(blank.begin()), std::make_move_iterator(blank.end()));
    SpliceRowHeights(at, 0, std::vector<int>(size_t(count), height));
}

std::vector<TObject*> TStringGrid::AllObjects() const
{
    std::vector<TObject*> out;
    for (const RowRecord& r : m_rows)
        if (r.objects)
            for (TObject* o : *r.objects)
                if (o)
                    out.push_back(o);
    return out;
}

void TStringGrid::DrawCell(int col, int row, const QRect& rect, TGridDrawState state)
{
    QPainter* p = Canvas();
    if (!p)
        return;
    const bool selected = (state & gdSelected) && !(state & gdFixed);
    p->fillRect(rect, selected ? palette().highlight() : QBrush(ToQColor(state & gdFixed ? GridFixedColor() : Color(), palette())));
    p->setPen(selected ? palette().highlightedText().color() : palette().text().color());
    p->drawText(rect.adjusted(2, 2, -2, -2), Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, Cells(col, row));
}

QString TStringGrid::GetEditText(int col, int row) { return Cells(col, row); }

void TStringGrid::SetEditText(int col, int row, const QString& value) { SetCells(col, row, value); }

} // namespace tk
