#include "grid/BaseGrid.h"

#include "grid/GridUtils.h"
#include "platform/grid/GridColors.h"

#include <QImage>
#include <QPainter>
#include <algorithm>

namespace grid {

// ------------------------------------------------------------------ TCellProperties

TCellProperties::TCellProperties(TBaseGrid* owner, int col, int row)
    : OwnerCol(col), OwnerRow(row), m_owner(owner), m_wordWrap(owner ? owner->WordWrap() : true)
{
}

void TCellProperties::Repaint()
{
    if (m_owner)
        m_owner->RepaintCell(OwnerCol, OwnerRow);
}

void TCellProperties::SetBrushColor(TColor value)
{
    m_brushColor = value;
    Repaint();
}

void TCellProperties::SetBrushColorTo(TColor value)
{
    m_brushColorTo = value;
    Repaint();
}

void TCellProperties::SetVAlignment(TVAlignment value)
{
    m_vAlignment = value;
    Repaint();
}

void TCellProperties::SetWordWrap(bool value)
{
    m_wordWrap = value;
    Repaint();
}

void TCellProperties::Assign(const TCellProperties& o)
{
    IsBaseCell = o.IsBaseCell;
    CellSpanX = o.CellSpanX;
    CellSpanY = o.CellSpanY;
    OwnerRow = o.OwnerRow;
    OwnerCol = o.OwnerCol;
    Alignment = o.Alignment;
    BorderColor = o.BorderColor;
    BorderWidth = o.BorderWidth;
    m_brushColor = o.m_brushColor;
    BrushStyle = o.BrushStyle;
    FontColor = o.FontColor;
    FontStyle = o.FontStyle;
    FontName = o.FontName;
    FontSize = o.FontSize;
    ReadOnly = o.ReadOnly;
    Editor = o.Editor;
    m_vAlignment = o.m_vAlignment;
    SetWordWrap(o.m_wordWrap);
    NodeLevel = o.NodeLevel;
    Control = o.Control;
}

// ------------------------------------------------------------------ TZodUvuzUndoRedo

TZodUvuzUndoRedo::TZodUvuzUndoRedo(QObject* owner) : QObject(owner) {}

// The grid's reference is a guarded pointer: it clears itself.
TZodUvuzUndoRedo::~TZodUvuzUndoRedo() = default;

void TZodUvuzUndoRedo::trim()
{
    if (m_maxLevel > 0 && int(m_items.size()) > m_maxLevel)
        m_items.erase(m_items.begin(), m_items.begin() + (int(m_items.size()) - m_maxLevel));
}

void TZodUvuzUndoRedo::SetMaxLevel(int value)
{
    m_maxLevel = std::max(0, value);
    trim();
}

void TZodUvuzUndoRedo::RegisterChange(int col, int row, const QString& value, const QString& origValue)
{
    if (m_maxLevel > 0 && int(m_items.size()) >= m_maxLevel)
        m_items.erase(m_items.begin(), m_items.begin() + (int(m_items.size()) - m_maxLevel + 1));
    m_items.push_back(TUndoRedoItem{value, origValue, col, row});
}

// ------------------------------------------------------------------ TBaseGrid

TBaseGrid::TBaseGrid(QWidget* parent) : tk::TStringGrid(parent)
{
    // This grid draws every line itself.
    tk::TCustomGrid::SetGridLineWidth(0);
    SetGridOptions(GridOptions() | tk::goDrawFocusSelected);
    m_displayTextRowLimit = RowCount();
}

TBaseGrid::~TBaseGrid()
{
    m_destroying = true;
    if (m_undoRedo && m_undoRedo->m_grid == this)
        m_undoRedo->m_grid = nullptr;
    FreeCellProperties();
}

void TBaseGrid::SetGridLineWidth(int value)
{
    m_gridLineWidth = std::max(0, value);
    tk::TCustomGrid::SetGridLineWidth(0);
    InvalidateGrid();
}

void TBaseGrid::SetGridLineColor(TColor value)
{
    m_gridLineColor = value;
    InvalidateGrid();
}

void TBaseGrid::SetActiveRowShow(bool value)
{
    if (tk::ChangeValue(m_activeRowShow, value))
        InvalidateGrid();
}

void TBaseGrid::SetActiveRowColor(TColor value)
{
    m_activeRowColor = value;
    InvalidateGrid();
}

void TBaseGrid::SetUndoRedo(TZodUvuzUndoRedo* value)
{
    if (m_undoRedo && m_undoRedo->m_grid == this)
        m_undoRedo->m_grid = nullptr;
    m_undoRedo = value;
    if (value)
        value->m_grid = this;
}

QColor TBaseGrid::GridLineColor(bool fixed) const
{
    return tk::ToQColor(fixed ? gfx::clGray : m_gridLineColor, palette());
}

// --- cell properties

TCellProperties* TBaseGrid::CellPropertiesOrNull(int col, int row) const
{
    return static_cast<TCellProperties*>(Objects(col, row));
}

bool TBaseGrid::HasCellProperties(int col, int row) const { return Objects(col, row) != nullptr; }

TCellProperties* TBaseGrid::GetCellProperties(int col, int row)
{
    if (col < 0 || col >= ColCount())
        throw EZodUvuzError(QStringLiteral("Invalid column accessed"));
    if (row < 0 || row >= RowCount())
        throw EZodUvuzError(QStringLiteral("Invalid row accessed"));
    if (TCellProperties* p = CellPropertiesOrNull(col, row))
        return p;
    auto* p = new TCellProperties(this, col, row);
    SetObjects(col, row, p);
    return p;
}

void TBaseGrid::SetCellProperties(int col, int row, TCellProperties* props)
{
    if (col < 0 || row < 0 || col >= ColCount() || row >= RowCount()) {
        delete props;
        return;
    }
    TCellProperties* old = CellPropertiesOrNull(col, row);
    if (old == props)
        return;
    SetObjects(col, row, props);
    delete old;
}

void TBaseGrid::ReleaseObject(tk::TObject* object) { delete object; }

TCellGraphic* TBaseGrid::GetCellGraphic(int col, int row) const
{
    const TCellProperties* p = CellPropertiesOrNull(col, row);
    return p ? p->Graphic.get() : nullptr;
}

void TBaseGrid::SetCellGraphic(int col, int row, std::unique_ptr<TCellGraphic> graphic)
{
    GetCellProperties(col, row)->Graphic = std::move(graphic);
    RepaintCell(col, row);
}

// --- merged cells

QPoint TBaseGrid::BaseCell(int col, int row) const
{
    const TCellProperties* p = CellPropertiesOrNull(col, row);
    if (p && !p->IsBaseCell && p->CellSpanX != -1 && p->CellSpanY != -1) {
        // Only a base cell whose range reaches this cell counts: a stale span never leads
        // outside the grid or into another range.
        const int bc = col - p->CellSpanX, br = row - p->CellSpanY;
        const TCellProperties* b = bc >= 0 && br >= 0 && bc < ColCount() && br < RowCount()
                                       ? CellPropertiesOrNull(bc, br) : nullptr;
        if (b && b->IsBaseCell && b->CellSpanX >= p->CellSpanX && b->CellSpanY >= p->CellSpanY)
            return QPoint(bc, br);
    }
    return QPoint(col, row);
}

bool TBaseGrid::IsBaseCell(int col, int row) const
{
    const TCellProperties* p = CellPropertiesOrNull(col, row);
    return !p || p->IsBaseCell;
}

bool TBaseGrid::IsMergedCell(int col, int row) const
{
    const TCellProperties* p = CellPropertiesOrNull(col, row);
    return p && (p->CellSpanX > 0 || p->CellSpanY > 0);
}

bool TBaseGrid::IsXMergedCell(int col, int row) const
{
    const QPoint b = BaseCell(col, row);
    const TCellProperties* p = CellPropertiesOrNull(b.x(), b.y());
    return p && p->CellSpanX > 0;
}

bool TBaseGrid::IsYMergedCell(int col, int row) const
{
    const QPoint b = BaseCell(col, row);
    const TCellProperties* p = CellPropertiesOrNull(b.x(), b.y());
    return p && p->CellSpanY > 0;
}

QPoint TBaseGrid::CellSpan(int col, int row) const
{
    if (!IsMergedCell(col, row))
        return QPoint(0, 0);
    const QPoint b = BaseCell(col, row);
    const TCellProperties* p = CellPropertiesOrNull(b.x(), b.y());
    return p ? QPoint(std::max(0, p->CellSpanX), std::max(0, p->CellSpanY)) : QPoint(0, 0);
}

QRect TBaseGrid::CellRectAt(int col, int row) const
{
    // Fixed cells from the origin; scrollable cells from the first visible one, so the cost
    // follows the distance from the visible area and not the size of the grid.
    auto position = [](int index, int fixed, int first, const auto& size) {
        int pos = 0;
        for (int i = 0; i < std::min(index, fixed); ++i)
            pos += size(i);
        if (index < fixed)
            return pos;
        if (index >= first)
            for (int i = first; i < index; ++i)
                pos += size(i);
        else
            for (int i = index; i < first; ++i)
                pos -= size(i);
        return pos;
    };
    const int left = position(col, FixedCols(), LeftCol(), [this](int c) { return ColWidths(c); });
    const int top = position(row, FixedRows(), TopRow(), [this](int r) { return RowHeights(r); });
    return QRect(left, top, ColWidths(col), RowHeights(row));
}

QRect TBaseGrid::MergedCellRect(int col, int row) const
{
    if (IsMergedCell(col, row)) {
        const QPoint b = BaseCell(col, row);
        const QPoint span = CellSpan(col, row);
        return CellRectAt(b.x(), b.y()).united(CellRectAt(b.x() + span.x(), b.y() + span.y()));
    }
    const TCellProperties* p = CellPropertiesOrNull(col, row);
    if (p && p->Control)
        return CellRectAt(col, row);
    return CellRect(col, row);
}

QSize TBaseGrid::CellSize(int col, int row) const { return MergedCellRect(col, row).size(); }

bool TBaseGrid::RowsInSameMerge(int row1, int row2) const
{
    bool any = false;
    for (int c = 0; c < ColCount(); ++c) {
        if (!IsYMergedCell(c, row1) || !IsYMergedCell(c, row2))
            continue;
        if (BaseCell(c, row1).y() != BaseCell(c, row2).y())
            return false;
        any = true;
    }
    return any;
}

void TBaseGrid::SnapToBaseCell()
{
    if (!HasCellProperties(Col(), Row()))
        return;
    const QPoint b = BaseCell(Col(), Row());
    if (b != QPoint(Col(), Row()))
        FocusCell(b.x(), b.y(), true);
}

void TBaseGrid::MergeCells(int col, int row, int numCols, int numRows)
{
    if (numCols <= 0 || numRows <= 0)
        return;
    // The range is cut at the grid's edges.
    const int lastCol = std::min(col + numCols, ColCount()) - 1;
    const int lastRow = std::min(row + numRows, RowCount()) - 1;
    col = std::max(0, col);
    row = std::max(0, row);
    if (lastCol < col || lastRow < row)
        return;
    // Ranges the new one overlaps are split first, so no cell keeps a link to an old base.
    for (int r = row; r <= lastRow; ++r)
        for (int c = col; c <= lastCol; ++c)
            if (IsMergedCell(c, r))
                SplitCells(c, r);
    const int sx = lastCol - col, sy = lastRow - row;
    for (int r = row; r <= lastRow; ++r)
        for (int c = col; c <= lastCol; ++c) {
            TCellProperties* p = GetCellProperties(c, r);
            const bool base = c == col && r == row;
            p->IsBaseCell = base;
            p->CellSpanX = base ? sx : c - col;
            p->CellSpanY = base ? sy : r - row;
        }
    for (int r = row; r <= lastRow; ++r)
        for (int c = col; c <= lastCol; ++c)
            RepaintCell(c, r);
}

void TBaseGrid::SplitCells(int col, int row)
{
    const QPoint b = BaseCell(col, row);
    const TCellProperties* bp = CellPropertiesOrNull(b.x(), b.y());
    if (!bp)
        return;
    const int sx = std::max(0, bp->CellSpanX), sy = std::max(0, bp->CellSpanY);
    for (int r = b.y(); r <= b.y() + sy && r < RowCount(); ++r)
        for (int c = b.x(); c <= b.x() + sx && c < ColCount(); ++c) {
            if (TCellProperties* p = CellPropertiesOrNull(c, r)) {
                p->IsBaseCell = true;
                p->CellSpanX = -1;
                p->CellSpanY = -1;
            }
            RepaintCell(c, r);
        }
}

// --- merged ranges under row and column changes

std::vector<TBaseGrid::TMergedRange> TBaseGrid::MergedRanges() const
{
    std::vector<TMergedRange> ranges;
    const int cols = ColCount();
    for (int r = 0; r < RowCount(); ++r) {
        const tk::TStringGrid::TRowRecord& record = const_cast<TBaseGrid*>(this)->RecordAt(r);
        if (!record.objects)
            continue;
        const auto& objects = *record.objects;
        for (int c = 0; c < std::min(cols, int(objects.size())); ++c) {
            const auto* p = static_cast<const TCellProperties*>(objects[size_t(c)]);
            if (!p || !p->IsBaseCell || (p->CellSpanX <= 0 && p->CellSpanY <= 0))
                continue;
            const QRect cells(c, r, std::max(0, p->CellSpanX) + 1, std::max(0, p->CellSpanY) + 1);
            ranges.push_back({cells, Cells(c, r)});
        }
    }
    return ranges;
}

namespace {

// The new extent [first, last] of a range's old indices [from, to], or false when it is given up.
bool followIndices(int from, int to, const std::vector<int>& newOf, const std::vector<int>& oldOf, int& first,
                   int& last)
{
    first = -1;
    last = -1;
    int previous = -1;
    for (int i = from; i <= to; ++i) {
        const int n = i >= 0 && i < int(newOf.size()) ? newOf[size_t(i)] : -1;
        if (n < 0)
            continue;
        if (n <= previous)
            return false;   // out of order
        if (first < 0)
            first = n;
        last = n;
        previous = n;
    }
    if (first < 0)
        return false;
    // Between them: only the range's own indices or new ones.
    for (int n = first; n <= last; ++n) {
        const int o = n < int(oldOf.size()) ? oldOf[size_t(n)] : -1;
        if (o >= 0 && (o < from || o > to))
            return false;
    }
    return true;
}

std::vector<int> inverse(const std::vector<int>& to, int size)
{
    std::vector<int> from(size_t(std::max(0, size)), -1);
    for (int i = 0; i < int(to.size()); ++i)
        if (to[size_t(i)] >= 0 && to[size_t(i)] < size)
            from[size_t(to[size_t(i)])] = i;
    return from;
}

} // namespace

void TBaseGrid::RelayMergedRanges(const std::vector<TMergedRange>& before, const std::vector<int>& rowTo,
                                  const std::vector<int>& colTo)
{
    const int rows = RowCount(), cols = ColCount();
    // No cell keeps a span from before: the ranges are laid from the list alone.
    for (int r = 0; r < rows; ++r) {
        tk::TStringGrid::TRowRecord& record = RecordAt(r);
        if (!record.objects)
            continue;
        for (tk::TObject* o : *record.objects)
            if (auto* p = static_cast<TCellProperties*>(o)) {
                p->IsBaseCell = true;
                p->CellSpanX = -1;
                p->CellSpanY = -1;
            }
    }
    if (before.empty())
        return;
    const std::vector<int> rowFrom = inverse(rowTo, rows);
    const std::vector<int> colFrom = inverse(colTo, cols);
    for (const TMergedRange& range : before) {
        const QRect& old = range.cells;
        int top, bottom, left, right;
        if (!followIndices(old.top(), old.bottom(), rowTo, rowFrom, top, bottom)
            || !followIndices(old.left(), old.right(), colTo, colFrom, left, right))
            continue;
        right = std::min(right, cols - 1);
        bottom = std::min(bottom, rows - 1);
        if (left > right || top > bottom)
            continue;
        const int baseRow = old.top() < int(rowTo.size()) ? rowTo[size_t(old.top())] : -1;
        const int baseCol = old.left() < int(colTo.size()) ? colTo[size_t(old.left())] : -1;
        if (baseRow != top || baseCol != left)
            StoreCell(left, top, range.text);   // the base cell went: the range keeps its text
        if (right == left && bottom == top)
            continue;
        for (int r = top; r <= bottom; ++r)
            for (int c = left; c <= right; ++c) {
                TCellProperties* p = GetCellProperties(c, r);
                const bool base = c == left && r == top;
                p->IsBaseCell = base;
                p->CellSpanX = base ? right - left : c - left;
                p->CellSpanY = base ? bottom - top : r - top;
            }
    }
    InvalidateGrid();
}

std::vector<int> TBaseGrid::ShiftedIndices(int count, int at, int delta)
{
    std::vector<int> to(size_t(std::max(0, count)));
    for (int i = 0; i < count; ++i)
        to[size_t(i)] = i < at ? i : delta >= 0 ? i + delta : (i < at - delta ? -1 : i + delta);
    return to;
}

void TBaseGrid::SplitRowSpanningRanges(int first, int last)
{
    for (const TMergedRange& range : MergedRanges())
        if (range.cells.height() > 1 && range.cells.bottom() >= first && range.cells.top() <= last)
            SplitCells(range.cells.left(), range.cells.top());
}

// --- texts

void TBaseGrid::GetDisplText(int col, int row, QString& value)
{
    if (OnGetDisplText)
        OnGetDisplText(this, col, row, value);
}

void TBaseGrid::GetDisplWideText(int col, int row, std::u16string& value)
{
    if (OnGetDisplWideText)
        OnGetDisplWideText(this, col, row, value);
}

QString TBaseGrid::DisplayText(int col, int row)
{
    // One look-up gives the text and the properties; a covered cell of a merged range shows the
    // text of the range's base cell.
    tk::TObject* object = nullptr;
    const QString& own = CellAndObject(col, row, object);
    const auto* p = static_cast<const TCellProperties*>(object);
    const QPoint base = p && !p->IsBaseCell ? BaseCell(col, row) : QPoint(col, row);
    const bool covered = base != QPoint(col, row);
    const int baseRow = base.y();
    QString text = covered ? Cells(base.x(), baseRow) : own;
    if (baseRow < m_displayTextRowLimit) {
        GetDisplText(col, row, text);
        if (OnGetDisplWideText) {
            // Texts are 16-bit already: widening and narrowing keep them as they are.
            std::u16string wide = text.toStdU16String();
            GetDisplWideText(col, row, wide);
            text = QString::fromStdU16String(wide);
        }
    }
    return text;
}

void TBaseGrid::SetCellText(int col, int row, const QString& value)
{
    if (HasCellProperties(col, row)) {
        const QPoint b = BaseCell(col, row);
        StoreCell(b.x(), b.y(), value);
        if (parentWidget())
            RepaintCell(col, row);
    } else {
        SetCells(col, row, value);
    }
    if (m_lastRowIsFooter && row == RowCount() - 1)
        LastRowChanged();
}

void TBaseGrid::RepaintCell(int col, int row)
{
    const QRect r = MergedCellRect(col, row);
    if (!r.isEmpty())
        viewport()->update(r);
}

// --- clearing

void TBaseGrid::ClearCell(int col, int row)
{
    StoreCell(col, row, QString());
    SetObjects(col, row, nullptr);
    InvalidateCell(col, row);
}

void TBaseGrid::ClearRowCells(int row)
{
    for (int c = 0; c < ColCount(); ++c) {
        StoreCell(c, row, QString());
        SetObjects(c, row, nullptr);
    }
    InvalidateRow(row);
}

void TBaseGrid::ClearColumnCells(int col)
{
    for (int r = 0; r < RowCount(); ++r) {
        StoreCell(col, r, QString());
        SetObjects(col, r, nullptr);
    }
    InvalidateCol(col);
}

void TBaseGrid::FreeCellProperties(int col, int row)
{
    if (TCellProperties* p = CellPropertiesOrNull(col, row)) {
        SetObjects(col, row, nullptr);
        delete p;
    }
}

void TBaseGrid::FreeCellProperties(int left, int top, int right, int bottom)
{
    for (int r = std::max(0, top); r <= bottom && r < RowCount(); ++r)
        for (int c = std::max(0, left); c <= right && c < ColCount(); ++c)
            FreeCellProperties(c, r);
}

void TBaseGrid::FreeCellProperties()
{
    for (tk::TObject* o : AllObjects())
        delete o;
    for (int r = 0; r < RowCount(); ++r)
        for (int c = 0; c < ColCount(); ++c)
            if (Objects(c, r))
                SetObjects(c, r, nullptr);
}

int TBaseGrid::FixedColsWidth() const
{
    int w = 0;
    for (int c = 0; c < FixedCols(); ++c)
        w += ColWidths(c);
    return w;
}

int TBaseGrid::FixedRowsHeight() const
{
    int h = 0;
    for (int r = 0; r < FixedRows(); ++r)
        h += RowHeights(r);
    return h;
}

// --- painting

void TBaseGrid::GetCellColors(int, int, bool&, TAlignment&, TVAlignment&, tk::TFont&, TColor&, TColor&, bool, bool,
                              bool, tk::TGridDrawState&)
{
}

void TBaseGrid::DrawCellContent(QPainter& painter, int col, tk::TGridDrawState, const QRect& rect, int row)
{
    painter.drawText(rect, Qt::AlignCenter | Qt::TextSingleLine, DisplayText(col, row));
}

void TBaseGrid::drawLines(QPainter& p, const QRect& rect, bool fixed, int col)
{
    const int w = fixed ? 1 : m_gridLineWidth;
    if (w <= 0)
        return;
    const QColor color = GridLineColor(fixed);
    const int options = GridOptions();
    const bool horz = fixed ? (options & tk::goFixedHorzLine) : (options & tk::goHorzLine);
    const bool vert = fixed ? (options & tk::goFixedVertLine) : (options & tk::goVertLine);
    // The lines lie inside the cell: its last w pixel rows and columns.
    if (horz && !(col == 0 && HasNodes()))
        p.fillRect(QRect(rect.left(), rect.bottom() + 1 - w, rect.width(), w), color);
    if (vert)
        p.fillRect(QRect(rect.right() + 1 - w, rect.top(), w, rect.height()), color);
}

void TBaseGrid::DrawCell(int col, int row, const QRect& cellRect, tk::TGridDrawState state)
{
    QPainter* painter = Canvas();
    if (!painter)
        return;
    QPainter& p = *painter;
    if (m_lastRowIsFooter && row == RowCount() - 1) {
        p.fillRect(cellRect, tk::ToQColor(Color(), palette()));
        return;
    }
    TCellProperties* props = CellPropertiesOrNull(col, row);
    if (props && !props->IsBaseCell && props->CellSpanX != -1 && props->CellSpanY != -1) {
        const QPoint b = BaseCell(col, row);
        TCellProperties* bp = CellPropertiesOrNull(b.x(), b.y());
        if (bp && bp->PaintStamp != m_paintStamp) {
            bp->PaintStamp = m_paintStamp;
            tk::TGridDrawState bs = 0;
            if (b.x() < FixedCols() || b.y() < FixedRows())
                bs |= tk::gdFixed;
            else if (b.y() == Row() && b.x() == Col())
                bs |= tk::gdSelected | (hasFocus() ? tk::gdFocused : 0);
            DrawCell(b.x(), b.y(), CellRect(b.x(), b.y()), bs);
        }
        return;
    }
    if (props)
        props->PaintStamp = m_paintStamp;   // the range is drawn now; its covered cells skip it

    if (IsFixedCell(col, row))
        state = (state & ~tk::gdSelected) | tk::gdFixed;
    const bool fixed = state & tk::gdFixed;
    QRect rect = MergedCellRect(col, row);
    if (rect.isEmpty())
        rect = CellRectAt(col, row);

    p.save();
    // The toolkit clips to the cell; a merged range reaches over its neighbours.
    QRect clip = viewport()->rect();
    const bool underFixedCols = col >= FixedCols() && FixedCols() > 0 && rect.left() < FixedColsWidth();
    const bool underFixedRows = row >= FixedRows() && FixedRows() > 0 && rect.top() < FixedRowsHeight();
    if (underFixedCols || underFixedRows)
        clip.setTopLeft(QPoint(col >= FixedCols() ? FixedColsWidth() : 0, row >= FixedRows() ? FixedRowsHeight() : 0));
    p.setClipRect(clip, Qt::ReplaceClip);

    bool wordWrap = props ? props->WordWrap() : m_wordWrap;
    TAlignment hAlign = taLeftJustify;
    TVAlignment vAlign = vtaTop;
    tk::TFont font;
    font.SetFont(this->font());
    const bool selected = (state & tk::gdSelected) && !fixed;
    font.SetColor(selected ? gfx::clHighlightText : gfx::clWindowText);
    TColor brush = fixed ? GridFixedColor() : selected ? gfx::clHighlight : Color();
    TColor colorTo = gfx::clNone;
    GetCellColors(col, row, wordWrap, hAlign, vAlign, font, colorTo, brush, true, true, false, state);
    if (m_activeRowShow && row == Row() && col != Col() && !fixed)
        brush = m_activeRowColor;

    const QPalette& pal = palette();
    if (colorTo == gfx::clNone)
        p.fillRect(rect, tk::ToQColor(brush, pal));
    else
        DrawGradientFill(p, tk::ResolveColor(brush, pal), tk::ResolveColor(colorTo, pal), 64, rect, true);
    drawLines(p, rect, fixed, col);

    const int inset = fixed ? 1 : m_gridLineWidth;
    const QRect content = rect.adjusted(inset, inset, -inset, -inset);
    p.setFont(font.Font());
    p.setPen(tk::ToQColor(font.Color(), pal));
    DrawCellContent(p, col, state, content, row);
    p.restore();
}

void TBaseGrid::Paint(QPainter& painter, const QRect& clip)
{
    tk::TStringGrid::Paint(painter, clip);
    ++m_paintStamp;
}

QImage TBaseGrid::PaintToImage()
{
    QImage img(viewport()->size(), QImage::Format_RGB32);
    img.fill(Qt::white);
    QPainter p(&img);
    PaintTo(p, img.rect());
    return img;
}

bool TBaseGrid::SelectCell(int col, int row)
{
    RepaintCell(Col(), Row());
    // The active row's colour leaves the old row and covers the new one.
    const bool rowChanges = m_activeRowShow && row != Row();
    if (rowChanges)
        InvalidateRow(Row());
    const bool ok = tk::TStringGrid::SelectCell(col, row);
    RepaintCell(col, row);
    if (rowChanges)
        InvalidateRow(row);
    return ok;
}

void TBaseGrid::KeyDown(int& key, tk::TShiftState shift)
{
    const int col = Col(), row = Row();
    switch (key) {
    case Qt::Key_PageDown:
        if (m_lastRowIsFooter && RowCount() > 1 && RowCount() == VisibleRowCount() + TopRow() - FixedRows() + 1)
            SetRow(RowCount() - 2);
        break;
    case Qt::Key_Right:
    case Qt::Key_Down:
        if (HasCellProperties(col, row)) {
            const QPoint b = BaseCell(col, row);
            const TCellProperties* bp = CellPropertiesOrNull(b.x(), b.y());
            if (bp && key == Qt::Key_Right && b.x() + bp->CellSpanX >= col && col < ColCount() - 1
                && b.x() < ColCount() - 1 && bp->CellSpanX > 0)
                FocusCell(std::min(b.x() + bp->CellSpanX, ColCount() - 1), row, true);
            if (bp && key == Qt::Key_Down && b.y() + bp->CellSpanY >= row && row < RowCount() - 1
                && b.y() < RowCount() - 1 && bp->CellSpanY > 0)
                FocusCell(col, std::min(b.y() + bp->CellSpanY, RowCount() - 1), true);
        }
        break;
    case Qt::Key_Left:
    case Qt::Key_Up:
        // From a covered cell the step starts at the range's base cell.
        if (!IsBaseCell(col, row)) {
            const QPoint b = BaseCell(col, row);
            FocusCell(b.x(), b.y(), true);
        }
        break;
    default: break;
    }
    tk::TStringGrid::KeyDown(key, shift);
    SnapToBaseCell();
}

bool TBaseGrid::DoMouseWheel(tk::TShiftState shift, int notches, const QPoint& pos)
{
    const bool handled = tk::TStringGrid::DoMouseWheel(shift, notches, pos);
    if (notches < 0 && m_lastRowIsFooter && Row() != RowCount() - 1 && Row() > TopRow() + VisibleRowCount())
        SetTopRow(TopRow() + 1);
    SnapToBaseCell();
    return handled;
}

void TBaseGrid::SizeChanged(int oldColCount, int oldRowCount)
{
    tk::TStringGrid::SizeChanged(oldColCount, oldRowCount);
    m_displayTextRowLimit = RowCount();
}

void TBaseGrid::TopLeftChanged()
{
    tk::TStringGrid::TopLeftChanged();
    const int lastRow = std::min(RowCount() - 1, TopRow() + VisibleRowCount());
    const int lastCol = std::min(ColCount() - 1, LeftCol() + VisibleColCount());
    for (int r = TopRow(); r <= lastRow; ++r)
        for (int c = 0; c < FixedCols(); ++c)
            if (IsMergedCell(c, r))
                RepaintCell(c, r);
    for (int r = 0; r < FixedRows(); ++r)
        for (int c = LeftCol(); c <= lastCol; ++c)
            if (IsMergedCell(c, r))
                RepaintCell(c, r);
}

} // namespace grid
