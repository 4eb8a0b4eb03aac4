// Node rows and grouping: a node row owns the rows of its span; contracting it hides them.
// Grouping gathers rows of equal values under header rows, optionally closed by summary rows.
#include "grid/ZodUvuz.h"

#include <QVariant>
#include <algorithm>
#include <climits>
#include <QScopeGuard>

namespace grid {

namespace {
const QString kNoValue = QStringLiteral("\u00FF\u00FE");   // a value no cell shows
} // namespace

// Column 0's properties of a real row, displayed or hidden.
TCellProperties* TZedEzeravIvur::rowProps0(int realRow) const
{
    if (realRow < 0)
        return nullptr;
    if (IsHiddenRow(realRow)) {
        const auto it = std::lower_bound(m_hiddenRows.begin(), m_hiddenRows.end(), realRow,
                                         [](const TGridItem& item, int r) { return item.Idx < r; });
        return dynamic_cast<TCellProperties*>(it->Object(0));
    }
    return CellPropertiesOrNull(0, DisplRowIndex(realRow));
}

TCellGraphic* TZedEzeravIvur::nodeGraphic(int realRow) const
{
    TCellProperties* p = rowProps0(realRow);
    return p && p->Graphic && p->Graphic->CellType == ctNode ? p->Graphic.get() : nullptr;
}

bool TZedEzeravIvur::IsNodeRow(int row) const { return nodeGraphic(row) != nullptr; }

bool TZedEzeravIvur::IsSummaryRow(int row) const
{
    TCellProperties* p = rowProps0(row);
    return p && p->Graphic && p->Graphic->CellType == ctSummary;
}

bool TZedEzeravIvur::IsNodeContracted(int row) const
{
    const TCellGraphic* g = nodeGraphic(row);
    return g && g->CellBoolean;
}

int TZedEzeravIvur::GetNodeLevel(int row) const
{
    if (!IsNodeRow(row))
        return -1;
    return rowProps0(row)->NodeLevel;
}

int TZedEzeravIvur::GetNodeSpan(int row) const
{
    const TCellGraphic* g = nodeGraphic(row);
    return g ? g->CellIndex : -1;
}

void TZedEzeravIvur::AddNodeSpan(int row, int delta)
{
    if (TCellGraphic* g = nodeGraphic(row))
        g->CellIndex += delta;
}

int TZedEzeravIvur::nodeEnd(int realRow) const
{
    // The real row after the node's last row: its span, or up to the next node row.
    const int span = GetNodeSpan(realRow);
    const int total = RowCount() + NumHiddenRows();
    if (span > 0)
        return std::min(total, realRow + span);
    for (int r = realRow + 1; r < total; ++r)
        if (IsNodeRow(r))
            return r;
    return total;
}

void TZedEzeravIvur::AddNode(int row, int span)
{
    const int r = DisplRowIndex(row);
    if (r < 0 || r >= RowCount())
        return;
    const bool wasNode = IsNodeRow(row);
    if (wasNode) {
        // The node gets its new span: the rows of the old one lose its level first.
        const int oldEnd = nodeEnd(row);
        for (int i = row; i < oldEnd; ++i)
            if (TCellProperties* p = rowProps0(i))
                p->NodeLevel = std::max(0, p->NodeLevel - 1);
    }
    auto g = std::make_unique<TCellGraphic>();
    g->CellType = ctNode;
    g->CellAngle = r;
    g->CellBoolean = false;
    g->CellIndex = span;
    g->CellHAlign = haBeforeText;
    g->CellVAlign = vaCenter;
    g->Value = -1;
    GetCellProperties(0, r)->Graphic = std::move(g);
    for (int i = r; i < std::min(RowCount(), r + span); ++i)
        ++GetCellProperties(0, i)->NodeLevel;
    if (!wasNode) {
        if (m_nodeCount == 0)
            RepaintCol(0);
        ++m_nodeCount;
    }
    if (Col() == 0 && ColCount() > 1)
        SetCol(1);
    RepaintCell(0, r);
}

void TZedEzeravIvur::RemoveNode(int row)
{
    if (!IsNodeRow(row))
        return;
    ExpandNode(row);
    const int end = nodeEnd(row);
    for (int i = row; i < end; ++i)
        if (TCellProperties* p = rowProps0(i))
            p->NodeLevel = std::max(0, p->NodeLevel - 1);
    rowProps0(row)->Graphic.reset();
    m_nodeCount = std::max(0, m_nodeCount - 1);
    RepaintCell(0, DisplRowIndex(row));
}

void TZedEzeravIvur::RemoveAllNodes()
{
    int r = 0;
    while (r < RowCount() + NumHiddenRows()) {
        if (!IsNodeRow(r)) {
            ++r;
            continue;
        }
        ExpandNode(r);
        const int end = nodeEnd(r);
        for (int i = r; i < end; ++i)
            if (TCellProperties* p = rowProps0(i))
                p->NodeLevel = 0;
        rowProps0(r)->Graphic.reset();
        m_nodeCount = std::max(0, m_nodeCount - 1);
        r = std::max(end, r + 1);
    }
    m_nodeCount = 0;
    RepaintCol(0);
}

void TZedEzeravIvur::SetSummaryRow(int row)
{
    const int r = DisplRowIndex(row);
    if (r < 0 || r >= RowCount())
        return;
    auto g = std::make_unique<TCellGraphic>();
    g->CellType = ctSummary;
    GetCellProperties(0, r)->Graphic = std::move(g);
}

void TZedEzeravIvur::ExpandNode(int row)
{
    if (CellNode()->ExpandOne) {
        for (int r = FixedRows(); r < RowCount(); ++r) {
            const int real = RealRowIndex(r);
            if (real != row && IsNodeRow(real) && !IsNodeContracted(real))
                ContractNode(real);
        }
    }
    TCellGraphic* g = nodeGraphic(row);
    if (!g || !g->CellBoolean)
        return;
    g->CellBoolean = false;
    const int d = DisplRowIndex(row);
    const int next = d + 1 < RowCount() ? RealRowIndex(d + 1) : RowCount() + NumHiddenRows();
    const int top = TopRow();
    const int current = Row();
    const tk::TGridOptions options = GridOptions();
    const bool rowSelect = options & tk::goRowSelect;
    if (rowSelect)
        SetGridOptions(options & ~tk::goRowSelect);
    BeginUpdate();
    UnHideRows(row + 1, next - 1);
    if (rowSelect) {
        SetGridOptions(options);
        SetRowNotify(std::min(current, RowCount() - 1));
        SetTopRow(std::min(top, RowCount() - 1));
    }
    EndUpdate();
    RepaintCell(0, d);
    CalcFooter(-1);
}

void TZedEzeravIvur::ContractNode(int row)
{
    TCellGraphic* g = nodeGraphic(row);
    if (!g || g->CellBoolean)
        return;
    g->CellBoolean = true;
    const int end = nodeEnd(row);
    // Contracted nodes inside are marked expanded: their rows stay hidden with the outer node's
    // and come back expanded with it.
    for (int r = row + 1; r < end; ++r)
        if (TCellGraphic* inner = nodeGraphic(r))
            inner->CellBoolean = false;
    HideRows(row + 1, end - 1);
    RepaintCell(0, DisplRowIndex(row));
    CalcFooter(-1);
}

void TZedEzeravIvur::ExpandAll()
{
    UnHideRowsAll();
    for (int r = FixedRows(); r < RowCount(); ++r)
        if (TCellGraphic* g = nodeGraphic(r))
            g->CellBoolean = false;
    InvalidateGrid();
    CalcFooter(-1);
}

void TZedEzeravIvur::ContractAll()
{
    BeginUpdate();
    ExpandAll();
    std::vector<int> rows;
    int r = FixedRows();
    while (r < RowCount()) {
        TCellGraphic* g = nodeGraphic(r);
        if (!g) {
            ++r;
            continue;
        }
        g->CellBoolean = true;
        const int end = nodeEnd(r);
        for (int i = r + 1; i < end; ++i)
            rows.push_back(i);
        r = std::max(end, r + 1);
    }
    HideRowList(rows);
    EndUpdate();
    CalcFooter(-1);
}

int TZedEzeravIvur::GetParentNode(int row) const
{
    if (m_nodeCount == 0)
        return -1;
    const bool isNode = IsNodeRow(row);
    const int level = isNode ? rowProps0(row)->NodeLevel : INT_MAX;
    for (int r = row; r >= FixedRows(); --r) {
        const TCellGraphic* g = nodeGraphic(r);
        if (!g || rowProps0(r)->NodeLevel >= level)
            continue;
        if (nodeEnd(r) > row)
            return r;
    }
    return isNode ? row : -1;
}

bool TZedEzeravIvur::PointOnNodeGlyph(int row, int x) const
{
    if (!IsNodeRow(row))
        return false;
    const int l = rowProps0(row)->NodeLevel;
    const int n = CellNode()->NodeIndent();
    if (layoutDirection() == Qt::RightToLeft)
        return width() - l * n - 2 <= x && x < width() - (l - 1) * n;
    return (l - 1) * n < x && x < l * n;
}

int TZedEzeravIvur::NodeLineKind(int row) const
{
    if (IsNodeRow(row))
        return 0;
    const int d = DisplRowIndex(row);
    if (d < RowCount() - FixedFooters() - 1) {
        const TCellProperties* next = CellPropertiesOrNull(0, d + 1);
        const TCellProperties* own = CellPropertiesOrNull(0, d);
        if (next && next->NodeLevel >= (own ? own->NodeLevel : 0))
            return 2;
    }
    return 1;
}

void TZedEzeravIvur::InsertChildRow(int row, int offset)
{
    const int p = GetParentNode(row);
    int level = 1;
    if (p >= 0) {
        // Every node that covers the row grows by the new row and is shown expanded.
        AddNodeSpan(p, 1);
        ExpandNode(p);
        level = GetNodeLevel(p);
        int current = p;
        while (GetNodeLevel(current) > 1) {
            const int q = GetParentNode(current);
            if (q < 0 || q == current)
                break;
            AddNodeSpan(q, 1);
            ExpandNode(q);
            current = q;
        }
    }
    const int at = DisplRowIndex(row) + offset;
    InsertRows(at, 1);
    if (p >= 0)
        GetCellProperties(0, at)->NodeLevel = level;
}

void TZedEzeravIvur::RemoveChildRow(int row)
{
    const int p = GetParentNode(row);
    if (p >= 0 && p != row) {
        if (GetNodeSpan(p) > 1)
            AddNodeSpan(p, -1);
        ExpandNode(p);
        const int firstLevel = GetNodeLevel(p);
        int current = p;
        while (GetNodeLevel(current) > 1) {
            const int q = GetParentNode(current);
            if (q < 0 || q == current || GetNodeLevel(q) >= firstLevel)
                break;
            if (GetNodeSpan(q) > 1)
                AddNodeSpan(q, -1);
            ExpandNode(q);
            current = q;
        }
    }
    RemoveRows(DisplRowIndex(row), 1);
}

void TZedEzeravIvur::InsertRowReal(int row)
{
    // InsertRows renumbers the hidden rows from the inserted one on.
    InsertRows(DisplRowIndex(row), 1);
}

void TZedEzeravIvur::RemoveRowReal(int row)
{
    if (!IsHiddenRow(row))
        RemoveRows(DisplRowIndex(row), 1);
}

// ------------------------------------------------------------------ grouping

void TZedEzeravIvur::colourGroupRow(int row, bool header, int headerCol)
{
    const TGrouping* gr = Grouping();
    const int t = headerCol >= 0 ? headerCol : m_groupHeaderCol;
    const bool merge = header ? gr->MergeHeader : gr->MergeSummary;
    const TColor color = header ? gr->HeaderColor : gr->SummaryColor;
    const TColor colorTo = header ? gr->HeaderColorTo : gr->SummaryColorTo;
    const TColor textColor = header ? gr->HeaderTextColor : gr->SummaryTextColor;
    auto apply = [&](TCellProperties* p) {
        if (color != gfx::clNone)
            p->SetBrushColor(color);
        if (colorTo != gfx::clNone)
            p->SetBrushColorTo(colorTo);
        if (textColor != gfx::clNone)
            p->FontColor = textColor;
    };
    if (merge) {
        if (ColCount() - t > 1)
            MergeCells(t, row, ColCount() - t, 1);
        apply(GetCellProperties(t, row));
        return;
    }
    // Column 0 carries the node: it is never coloured or freed here.
    for (int c = std::max(1, FixedCols()); c < ColCount(); ++c) {
        if (color == gfx::clNone)
            FreeCellProperties(c, row);
        else
            apply(GetCellProperties(c, row));
    }
}

void TZedEzeravIvur::uncolourGroupRow(int row, bool header, int headerCol)
{
    const bool merge = header ? Grouping()->MergeHeader : Grouping()->MergeSummary;
    const int t = headerCol >= 0 ? headerCol : m_groupHeaderCol;
    if (merge && IsMergedCell(t, row)) {
        const QPoint base = BaseCell(t, row);
        SplitCells(base.x(), base.y());
    }
    for (int c = 1; c < ColCount(); ++c)
        FreeCellProperties(c, row);
}

void TZedEzeravIvur::insertSummaryRow(int row)
{
    InsertRows(row, 1);
    SetSummaryRow(row);
    colourGroupRow(row, false);
}

void TZedEzeravIvur::Group(int col)
{
    if (col <= 0 || col < FixedCols() || col >= ColCount() || m_filterActive)
        return;
    if (RowCount() - FixedFooters() - FixedRows() <= 0)
        return;
    if (m_groupColumn > 0)
        UnGroup();
    ExpandAll();
    // Rows are gathered under header rows: ranges over several rows cannot stay.
    SplitRowSpanningRanges(FixedRows(), RowCount() - FixedFooters() - 1);
    BeginUpdate();
    const auto end = qScopeGuard([this] { EndUpdate(); });
    m_groupColumn = col;
    m_groupWidth = ColWidths(col);
    m_groupHeaderText = FixedRows() > 0 ? Cells(col, 0) : QString();
    m_groupHeaderCol = col == 1 ? 2 : 1;
    if (SortSettings()->AutoSortForGrouping) {
        SortSettings()->Column = col;
        SortByColumn();
    }
    const bool summary = Grouping()->Summary;
    QString last = kNoValue;
    int h = -1;
    int r = FixedRows();
    while (r <= RowCount() - FixedFooters() - 1) {
        const QString v = DisplayText(col, r);
        if (v != last) {
            if (h >= 0) {
                if (summary && h > FixedRows()) {
                    insertSummaryRow(h);
                    AddNode(h + 1, r - h);
                    ++r;
                } else {
                    AddNode(h, r - h);
                }
            }
            InsertRows(r, 1);
            SetCells(m_groupHeaderCol, r, v);
            colourGroupRow(r, true);
            h = r;
            ++r;
        }
        if (r < RowCount() - 1)
            last = DisplayText(col, r);
        ++r;
    }
    if (h < 0) {
        AddNode(FixedRows(), r - 1);
    } else {
        if (summary && h > FixedRows()) {
            insertSummaryRow(h);
            ++h;
            ++r;
        }
        AddNode(h, r - h);
        colourGroupRow(h, true);
    }
    if (summary)
        insertSummaryRow(std::min(r, RowCount()));
    RemoveCols(col, 1);
    SetRowNotify(FixedRows());
}

void TZedEzeravIvur::UnGroup()
{
    if (m_groupColumn <= 0)
        return;
    ExpandAll();
    BeginUpdate();
    const auto end = qScopeGuard([this] { EndUpdate(); });
    const int col = m_groupColumn;
    InsertCols(col, 1);
    SetColWidths(col, m_groupWidth);
    if (FixedRows() > 0)
        SetCells(col, 0, m_groupHeaderText);
    QString value;
    int r = FixedRows();
    while (r <= RowCount() - FixedFooters() - 1) {
        if (IsSummaryRow(r)) {
            // Found by its mark, whatever the Summary setting is now.
            uncolourGroupRow(r, false);
            FreeCellProperties(0, r);
            RemoveRows(r, 1);
            continue;
        }
        if (!IsNodeRow(r)) {
            SetCells(col, r, value);
            ++r;
            continue;
        }
        value = Cells(m_groupHeaderCol, r);
        RemoveNode(r);
        FreeCellProperties(0, r);
        uncolourGroupRow(r, true);
        ClearRowRange(r, 1);
        RemoveRows(r, 1);
    }
    // The rows the nodes covered keep no level.
    for (int i = FixedRows(); i < RowCount(); ++i)
        if (TCellProperties* p = CellPropertiesOrNull(0, i))
            if (!p->Graphic && p->NodeLevel == 0 && p->BrushColor() == gfx::clNone && !p->Control
                && p->IsBaseCell && p->CellSpanX <= 0 && p->CellSpanY <= 0)   // a merged cell stays
                FreeCellProperties(0, i);
    m_nodeCount = 0;
    m_groupColumn = -1;
}

void TZedEzeravIvur::SubGroup(int col)
{
    if (col <= 0 || col < FixedCols() || col + 1 >= ColCount() || m_filterActive)
        return;
    ExpandAll();
    BeginUpdate();
    const auto end = qScopeGuard([this] { EndUpdate(); });
    // The grouping's own column stays remembered for UnGroup.
    const int t = col + 1;
    auto special = [this](int r) { return IsNodeRow(r) || IsSummaryRow(r); };
    auto makeNode = [this, col](int row, int span) {
        AddNode(row, span);
        if (TCellGraphic* g = nodeGraphic(row))
            g->Value = col;
    };
    QString last = kNoValue;
    int h = -1;
    int r = FixedRows() + 1;   // row FixedRows holds the first group's header
    while (r < RowCount() - 1 - FixedFooters()) {
        const QString v = DisplayText(col, r);
        if (v != last || special(r)) {
            if (h >= 0 && !special(h))
                makeNode(h, r - h);
            if (!special(r)) {
                InsertChildRow(r, 0);
                SetCells(t, r, v);
                colourGroupRow(r, true, t);
            }
            h = r;
            ++r;
        }
        if (r < RowCount() - 1 && !special(r - 1)) {
            last = DisplayText(col, r);
            SetCells(col, r, QString());
            ++r;
        } else {
            last = kNoValue;
        }
    }
    if (h < 0 || !IsSummaryRow(h)) {
        if (h < 0) {
            makeNode(FixedRows(), r - 1);
        } else {
            makeNode(h, r - h + 1);
            colourGroupRow(h, true, t);
        }
        if (r <= RowCount() - 1 && !special(r - 1)) {
            SetCells(col, r, QString());
            ++r;
        }
    }
    SetRowNotify(FixedRows());
}

void TZedEzeravIvur::UnSubGroup(int col)
{
    ExpandAll();
    BeginUpdate();
    const auto end = qScopeGuard([this] { EndUpdate(); });
    QString value;
    int r = FixedRows();
    while (r <= RowCount() - FixedFooters() - 1) {
        const TCellGraphic* g = nodeGraphic(r);
        if (g && g->Value.toInt() == col && g->Value.isValid()) {
            value = Cells(col + 1, r);
            RemoveNode(r);
            uncolourGroupRow(r, true, col + 1);
            RemoveChildRow(r);
            continue;
        }
        if (!g && !IsSummaryRow(r))
            SetCells(col, r, value);
        ++r;
    }
}

} // namespace grid
