// The string grid's mouse: clicks on cells, check boxes, button cells, links and form controls in
// mini-HTML cells, the header selections, sorting by a click on the sort row, disjunct marks, the
// right button, anchors under the pointer, the wheel and zooming.
#include "grid/GridCursors.h"
#include "grid/GridHelpers.h"
#include "grid/GridHints.h"
#include "grid/ZodUvuzEdit.h"
#include "grid/ZodUvuzInplace.h"
#include "grid/GridUtils.h"
#include "grid/ZodUvuz.h"
#include "grid/minihtml/MiniHTML.h"

#include <QCursor>
#include <QDesktopServices>
#include <QLabel>
#include <QTimer>
#include <QElapsedTimer>
#include <utility>

namespace grid {

using namespace tk;

// ------------------------------------------------------------------ links

bool TZedEzeravIvur::IsOpenableLink(const QString& link, QUrl* url)
{
    const QUrl u(link.trimmed(), QUrl::StrictMode);
    if (!u.isValid())
        return false;
    const QString scheme = u.scheme().toLower();
    const bool web = scheme == QLatin1String("http") || scheme == QLatin1String("https");
    if (!(web && !u.host().isEmpty()) && !(scheme == QLatin1String("mailto") && !u.path().isEmpty()))
        return false;
    if (url)
        *url = u;
    return true;
}

bool TZedEzeravIvur::hitHTML(int col, int row, int x, int y, QString& anchor, QString& ctrlId, QString& ctrlType,
                             QString& ctrlValue, QRect* ctrlRect)
{
    const QString text = DisplayText(col, row);
    QRect r = CellRect(col, row);
    if (r.isEmpty())
        return false;
    r.translate(CellMarginX() + 1 + (IsCheckBoxCell(col, row) ? ControlLook()->CheckSize() : 0), CellMarginY() + 1);
    minihtml::TMiniHTMLInput in;
    in.Text = text;
    in.Rect = r;
    in.X = x;
    in.Y = y;
    in.HitTest = true;
    in.Font = font();
    in.Window = this;
    minihtml::TMiniHTMLResult out;
    if (!minihtml::DrawMiniHTML(nullptr, in, out))
        return false;
    anchor = out.AnchorValue;
    ctrlId = out.ControlID;
    ctrlType = out.ControlType;
    ctrlValue = out.ControlValue;
    if (ctrlRect)
        *ctrlRect = out.ControlRect;
    return true;
}

// A press on a link or a form control of a cell. True when something was hit.
bool TZedEzeravIvur::clickLinkOrControl(int col, int row, int x, int y)
{
    const QString text = DisplayText(col, row);
    QString anchor, id, type, value;
    QRect controlRect;
    bool hit = false;
    if (text.contains(QLatin1Char('<')) && EnableHTML) {
        hit = hitHTML(col, row, x, y, anchor, id, type, value, &controlRect);
    } else if (URLShow() && (text.contains(QLatin1String("://")) || text.contains(QLatin1String("mailto:")))) {
        anchor = text;
        hit = true;
    }
    if (!hit)
        return false;
    if (!id.isEmpty()) {
        // The control editors decide: a CHECK toggles, a BUTTON shows pressed, an EDIT or COMBO opens.
        const QPoint b = BaseCell(col, row);
        ClickCellControl(b.x(), b.y(), id, type, value, controlRect);
        RepaintCell(col, row);
        return true;
    }
    bool autoHandle = true;
    if (OnAnchorClick)
        OnAnchorClick(this, row, col, anchor, autoHandle);
    if (!autoHandle)
        return true;
    if (anchor.toUpper().startsWith(QLatin1String("CELL://"))) {
        QPoint cell;
        if (ParseCellRef(anchor.mid(7), cell) && cell.x() >= 0 && cell.x() < ColCount() && cell.y() >= 0
            && cell.y() < RowCount())
            GoToCell(cell.x(), cell.y());
        return true;
    }
    // Only web and mail links are handed to the desktop: cells may come from imported or pasted
    // data, and a file or program link must not start anything.
    QUrl url;
    if (IsOpenableLink(anchor, &url)) {
        if (LinkOpener)
            LinkOpener(url);
        else
            QDesktopServices::openUrl(url);
    }
    return true;
}

// ------------------------------------------------------------------ presses and releases

// A press on a node glyph in column 0: the header's node opens or closes every node (with
// NodeAllExpandContract), a row's node its own rows. True when the press was taken.
bool TZedEzeravIvur::clickNodeGlyph(int col, int row, int x)
{
    if (col != 0 || !HasNodes())
        return false;
    const int real = RealRowIndex(row);
    if (!IsNodeRow(real) || !PointOnNodeGlyph(real, x))
        return false;
    if (row < FixedRows()) {
        if (!MouseActions()->NodeAllExpandContract)
            return false;
        const bool collapsed = IsNodeContracted(real);
        if (collapsed)
            ExpandAll();
        else
            ContractAll();
        if (TCellGraphic* g = nodeGraphic(real))
            g->CellBoolean = !collapsed;
        RepaintCell(0, row);
        return true;
    }
    bool allow = true;
    if (IsNodeContracted(real)) {
        if (OnBeforeExpandNode)
            OnBeforeExpandNode(this, row, real, allow);
        if (allow) {
            ExpandNode(real);
            if (OnExpandNode)
                OnExpandNode(this, row, real);
        }
    } else {
        if (OnBeforeContractNode)
            OnBeforeContractNode(this, row, real, allow);
        if (allow) {
            ContractNode(real);
            if (OnContractNode)
                OnContractNode(this, row, real);
        }
    }
    if (MouseActions()->MoveRowOnNodeClick) {
        const TGridRect old = Selection();
        MoveColRow(std::max(Col(), FirstNormalColumn()), row, true, true);
        const TGridRect now = Selection();
        if (!(now == old))
            SelectionChanged(now.Left, now.Top, now.Right, now.Bottom);
    }
    return true;
}

namespace {

// Whether a press of the given kind edits the fixed cell (col, row).
bool editsFixedCell(const TMouseActions* ma, TGridFixedCellEdit kind, int col, int row, int fixedCols, int fixedRows)
{
    return (row < fixedRows && ma->FixedRowsEdit == kind) || (col < fixedCols && ma->FixedColsEdit == kind);
}

} // namespace

TGridTransEdit* TZedEzeravIvur::FixedCellEditor() const
{
    if (!m_fixedCellEditor)
        m_fixedCellEditor = new TGridTransEdit(const_cast<TZedEzeravIvur*>(this));
    return m_fixedCellEditor;
}

void TZedEzeravIvur::EditFixedCell(int col, int row)
{
    TGridTransEdit* e = FixedCellEditor();
    // An open edit of another fixed cell is stored first; refused, it keeps the focus.
    if (e->isVisible() && !e->ValidateAndStore())
        return;
    const QPoint b = BaseCell(col, row);
    bool canEdit = true;
    CanEditCell(b.x(), b.y(), canEdit);
    if (!canEdit)
        return;
    e->Col = b.x();
    e->Row = b.y();
    e->setText(DisplayText(b.x(), b.y()));
    e->setGeometry(MergedCellRect(b.x(), b.y()).adjusted(1, 1, -1, -1));
    e->show();
    e->raise();
    e->setFocus();
}

void TZedEzeravIvur::MouseDown(TMouseButton button, TShiftState shift, int x, int y)
{
    TGridCoord c = MouseCoord(x, y);
    const bool ctrl = shift & ssCtrl, alt = shift & ssAlt;
    TMouseActions* ma = MouseActions();
    // The focus this press gave the grid shows the AlwaysEdit editor once the press is done,
    // unless the press went to the toolkit as a plain cell press.
    struct FocusByPress {
        TZedEzeravIvur* grid;
        bool pending;
        ~FocusByPress()
        {
            if (pending && grid->hasFocus())
                grid->alwaysEditOnFocus();
        }
    } focusByPress{this, std::exchange(m_focusByPress, false)};

    if (m_panning) {
        EndPan();
        return;
    }
    if (button == mbMiddle && IntelliPan != ipNone && RowCount() > FixedRows()) {
        m_panning = true;
        m_panOrigin = QPoint(x, y);
        viewport()->setCursor(GridCursor(crPanStill));
        if (!m_panGlyph) {
            auto* glyph = new QLabel(viewport());
            glyph->setAttribute(Qt::WA_TransparentForMouseEvents);
            glyph->setFixedSize(32, 32);
            m_panGlyph = glyph;
        }
        {
            auto* glyph = static_cast<QLabel*>(m_panGlyph);
            const QPixmap pm = PanGlyph(IntelliPan == ipVertical     ? QStringLiteral("INTLI3")
                                        : IntelliPan == ipHorizontal ? QStringLiteral("INTLI2")
                                                                     : QStringLiteral("INTLI1"));
            glyph->setPixmap(pm);
            glyph->setMask(pm.mask());
            glyph->move(x - 16, y - 16);
            glyph->show();
            glyph->raise();
        }
        if (!m_panTimer) {
            auto* timer = new QTimer(this);
            timer->setInterval(10);
            connect(timer, &QTimer::timeout, this, [this] { PanTick(viewport()->mapFromGlobal(QCursor::pos())); });
            m_panTimer = timer;
        }
        static_cast<QTimer*>(m_panTimer)->start();
        viewport()->grabMouse();
        GridHints(this)->HideAll();
        return;
    }

    if (button == mbRight) {
        TBaseGrid::MouseDown(button, shift, x, y);
        if (c.X < 0 || c.Y < 0)
            return;
        if (ma->SelectOnRightClick && !IsCellSelected(c.X, c.Y) && c.X >= FixedCols() && c.Y >= FixedRows()) {
            const QPoint b = BaseCell(c.X, c.Y);
            FocusCell(b.x(), b.y(), true);
            if (ma->DisjunctRowSelect()) {
                if (ctrl) {
                    SetRowSelected(c.Y, !RowSelected(c.Y));
                } else {
                    ClearRowMarks();
                    SetRowSelected(c.Y, true);
                }
            }
        }
        if (OnRightClickCell)
            OnRightClickCell(this, c.Y, c.X);
        if (editsFixedCell(ma, fceRightClick, c.X, c.Y, FixedCols(), FixedRows()))
            EditFixedCell(c.X, c.Y);
        return;
    }
    if (button != mbLeft) {
        TBaseGrid::MouseDown(button, shift, x, y);
        return;
    }

    m_pressHandled = false;
    // Only the release of the double click that sized a column is swallowed.
    if (!(shift & ssDouble))
        m_dblClickSized = false;
    // A resize or drag whose release never came (the grab was lost) ends with this press.
    m_resizingSelection = false;
    m_ownClipboard.reset();
    m_selectOnRelease = false;
    if (c.X >= 0 && c.Y >= 0 && OnCanClickCell) {
        bool allow = true;
        OnCanClickCell(this, c.Y, c.X, allow);
        if (!allow)
            return;
    }
    m_pressHandled = true;
    m_leftButtonDown = true;
    if (Look() == glListView && m_hotCell.x() >= 0)
        RepaintCell(m_hotCell.x(), m_hotCell.y());
    m_cursorZone = m_zoneCleared ? czNone : cursorZoneAt(x, y);
    if (m_cursorZone == czResizer && !(shift & ssDouble)) {
        startSelectionResize(button, shift, x, y);
        return;
    }
    m_lookupText.clear();
    m_selectOnRelease = false;
    m_pressedButtonCell = QPoint(-1, -1);
    m_unmarkOnRelease = false;
    m_pressPoint = QPoint(x, y);
    m_pressCell = QPoint(c.X, c.Y);
    m_leftAtPress = LeftCol();
    const tk::TGridRect oldSel = Selection();
    auto reportSelection = [&] {
        const TGridRect s = Selection();
        if (!(s == oldSel))
            SelectionChanged(s.Left, s.Top, s.Right, s.Bottom);
    };

    if (c.X < 0 || c.Y < 0) {
        // A double click beside or below the cells counts as one on the last column's header
        // (right of the last column's border it sizes that column).
        if (!(shift & ssDouble) || FixedRowAlways() || ColCount() < 1) {
            if (!FixedRowAlways())
                TBaseGrid::MouseDown(button, shift, x, y);
            return;
        }
        c.X = ColCount() - 1;
        c.Y = 0;
    }
    if (shift & ssDouble) {
        // A double click on a header border sizes the column left of it to its contents.
        if (c.Y < FixedRows() && (GridOptions() & goColSizing) && ma->AutoSizeColOnDblClick) {
            const QRect cell = CellRect(c.X, c.Y);
            int col = -1;
            if (cell.isEmpty())
                col = -1;
            else if (std::abs(x - cell.left()) <= 4 && c.X - 1 >= FixedCols())
                col = c.X - 1;
            else if (std::abs(cell.right() - x) <= 4 && c.X >= FixedCols())
                col = c.X;
            if (col >= 0) {
                m_dblClickSized = true;
                bool allow = true;
                if (OnColumnSize)
                    OnColumnSize(this, col, allow);
                if (allow) {
                    AutoSizeCol(col);
                    if (OnEndColumnSize)
                        OnEndColumnSize(this, col);
                }
                return;
            }
        }
        TBaseGrid::MouseDown(button, shift, x, y);
        if (OnDblClickCell)
            OnDblClickCell(this, c.Y, c.X);
        // Under RangeSelectAndEdit a double click edits the cell: editing goes on and the cell is
        // pressed once more.
        if (ma->RangeSelectAndEdit && IsEditableCell(c.X, c.Y)) {
            SetGridOptions(GridOptions() | goEditing);
            const QRect base = MergedCellRect(c.X, c.Y);
            MouseDown(button, TShiftState(shift & ~ssDouble), base.left() + 4, base.top() + 4);
        }
        if (editsFixedCell(ma, fceDblClick, c.X, c.Y, FixedCols(), FixedRows()))
            EditFixedCell(c.X, c.Y);
        return;
    }
    const bool fixedRow = c.Y < FixedRows();
    const bool fixedCol = c.X < FixedCols();
    if (m_fixedEdgeCol >= 0 && ma->SizeFixedCol) {
        m_fixedColSizing = m_fixedEdgeCol;
        return;
    }
    if (m_fixedEdgeRow >= 0 && ma->SizeFixedRow) {
        m_fixedRowSizing = m_fixedEdgeRow;
        return;
    }
    if (fixedRow || fixedCol || IsFixedCell(c.X, c.Y))
        HideEditor();
    if ((fixedRow || fixedCol) && FixedAsButtons && (GridOptions() & goFixedVertLine)
        && (GridOptions() & goFixedHorzLine) && !Flat()) {
        m_pressedButtonCell = QPoint(c.X, c.Y);
        m_pressedFixed = true;
        RepaintCell(c.X, c.Y);
    }
    if (editsFixedCell(ma, fceLeftClick, c.X, c.Y, FixedCols(), FixedRows())) {
        // With sizing allowed, a press near the edges is left to the sizing.
        const QRect cell = CellRect(c.X, c.Y);
        const bool sizing = (fixedRow && (GridOptions() & goColSizing)) || (fixedCol && (GridOptions() & goRowSizing));
        if (!sizing
            || (x - cell.left() > 4 && cell.right() - x > 4 && y - cell.top() > 4 && cell.bottom() - y > 4)) {
            m_pressHandled = false;
            EditFixedCell(c.X, c.Y);
            return;
        }
    }

    if (clickNodeGlyph(c.X, c.Y, x))
        return;
    // Column 0 of a grid with nodes holds the glyphs and lines: only row selection uses it.
    if (c.X == 0 && !fixedRow && HasNodes() && !ma->RowSelect)
        return;

    // A press on the selection (or on a header that does not move columns) may start a drag of
    // the cells: the selection waits for the release, and a move of more than 3 pixels drags.
    if ((IsCellSelected(c.X, c.Y) || (fixedRow && !EnhRowColMove)) && !(GridOptions() & goEditing)
        && DragDropSettings()->OleDropSource && !ma->ColSelect && !ma->AllSelect
        && !(IsRadio(c.X, c.Y) && (ControlLook()->RadioAlwaysActive || IsEditableCell(c.X, c.Y)))) {
        const QRect cell = CellRect(c.X, c.Y);
        const bool atBorder = (GridOptions() & goColSizing) && (x - cell.left() <= 4 || cell.right() - x <= 4);
        if (!atBorder) {
            m_selectOnRelease = true;
            if (OnClickCell)
                OnClickCell(this, c.Y, c.X);
            return;
        }
    }

    if (IsButtonCell(c.X, c.Y)) {
        HideEditor();
        const QPoint b = BaseCell(c.X, c.Y);
        const QRect button = GetCellControlRect(b.x(), b.y());
        if (SelectCell(c.X, c.Y) && (button.isEmpty() || button.contains(x, y))) {
            m_pressedButtonCell = QPoint(c.X, c.Y);
            RepaintCell(c.X, c.Y);
            if (OnClickCell)
                OnClickCell(this, c.Y, c.X);
        }
        return;
    }

    if (ma->DisjunctRowSelect() && !fixedRow && !(c.X == 0 && ma->HotmailRowSelect())) {
        if (!ctrl) {
            m_clickSelecting = true;
            if (!alt)
                ClearRowMarks();
        } else if (RowSelected(c.Y)) {
            m_unmarkOnRelease = true;
        }
    }
    if (ma->DisjunctColSelect() && !fixedCol) {
        if (!ctrl) {
            m_clickSelecting = true;
            if (!alt)
                ClearColMarks();
        } else if (ColSelected(c.X)) {
            m_unmarkOnRelease = true;
        }
    }

    const QString text = DisplayText(c.X, c.Y);
    if ((URLShow() || text.contains(QLatin1Char('<'))) && clickLinkOrControl(c.X, c.Y, x, y))
        return;
    if (text.toUpper().contains(QLatin1String("<CONTROL"))) {
        MoveColRow(c.X, c.Y, true, true);
        reportSelection();
        return;
    }

    const bool rangeSelect = GridOptions() & goRangeSelect;
    if (fixedRow && fixedCol && ma->AllSelect && rangeSelect && m_cursorZone == czSelectAll) {
        setFocus(Qt::MouseFocusReason);
        CopyProgress(0, 0);
        CopyProgress(1, RowCount() - 1);
        CopyProgress(4, 0);
        TGridRect range{FixedCols(), FixedRows(), ColCount() - 1, RowCount() - 1};
        SelectAllHook(range);
        SetSelection(range);
        reportSelection();
        return;
    }
    if (fixedCol && !fixedRow && ma->RowSelect && rangeSelect && m_cursorZone == czRowHeader) {
        setFocus(Qt::MouseFocusReason);
        const int from = (shift & ssShift) ? Selection().Top : c.Y;
        SetSelection(TGridRect{FixedCols(), std::min(from, c.Y), ColCount() - 1, std::max(from, c.Y)});
        m_headerDragAnchor = c.Y;
        m_headerDragRows = true;
        reportSelection();
        return;
    }
    if (fixedRow && !fixedCol && ma->ColSelect && rangeSelect && m_cursorZone == czColHeader) {
        setFocus(Qt::MouseFocusReason);
        SetSelection(TGridRect{c.X, FixedRows(), c.X, RowCount() - 1});
        m_headerDragAnchor = c.X;
        m_headerDragRows = false;
        reportSelection();
        return;
    }

    bool canEdit = (GridOptions() & goEditing) || ma->RangeSelectAndEdit;
    {
        const QPoint b = BaseCell(c.X, c.Y);
        CanEditCell(b.x(), b.y(), canEdit);
    }
    if ((canEdit || ControlLook()->CheckAlwaysActive) && IsCheckBoxCell(c.X, c.Y) && PointInCheckBox(c.X, c.Y, x, y)) {
        setFocus(Qt::MouseFocusReason);
        ToggleCheckBox(c.X, c.Y, false);
        if (!Navigation()->AlwaysEdit && !fixedRow && !fixedCol)
            FocusCell(c.X, c.Y, true);
        bool state = false;
        const QPoint b = BaseCell(c.X, c.Y);
        GetCheckBoxState(b.x(), b.y(), state);
        if (OnCheckBoxClick)
            OnCheckBoxClick(this, c.X, c.Y, state);
        if (HideFocusRect)
            RepaintCell(c.X, c.Y);
        if (fixedRow && ma->CheckAllCheck) {
            if (state)
                CheckAll(c.X);
            else
                UnCheckAll(c.X);
        }
        reportSelection();
        return;
    }
    // A press on a radio group picks the item under the pointer (positions relative to the cell).
    if ((canEdit || ControlLook()->RadioAlwaysActive) && IsRadio(c.X, c.Y)) {
        setFocus(Qt::MouseFocusReason);
        const QPoint b = BaseCell(c.X, c.Y);
        const QRect cell = CellRect(b.x(), b.y());
        ClickRadioItem(b.x(), b.y(), y - cell.top(), x - cell.left());
        RepaintCell(c.X, c.Y);
        reportSelection();
        return;
    }
    if (!fixedRow && !fixedCol && IsFixedCell(c.X, c.Y)) {
        if (OnClickCell)
            OnClickCell(this, c.Y, c.X);
        return;
    }

    const bool normalCell = !fixedRow && !fixedCol && c.X < ColCount() - FixedRightCols()
                            && c.Y < RowCount() - FixedFooters();
    if (ma->DirectEdit && canEdit && normalCell) {
        HideEditor();
        setFocus(Qt::MouseFocusReason);
    }
    const int oldTop = TopRow(), oldLeft = LeftCol();
    // A cell only partly in view: the press scrolls it in, and the pointer then stands over another
    // cell, so that the next move would select a range nobody dragged.
    const bool edgeCell = c.X == oldLeft + VisibleColCount() || c.Y == oldTop + VisibleRowCount();
    {
        // The toolkit's press sees AlwaysEdit off: the focus it takes opens no editor on the cell
        // that is left.
        struct Restore {
            bool& flag;
            bool old;
            ~Restore() { flag = old; }
        } restore{Navigation()->AlwaysEdit, Navigation()->AlwaysEdit};
        Navigation()->AlwaysEdit = false;
        focusByPress.pending = false;
        TBaseGrid::MouseDown(button, shift, x, y);
    }
    if (edgeCell && ma->NoAutoRangeScroll && GridState() == gsSelecting)
        CancelMode();
    if (GridState() == gsColSizing || GridState() == gsRowSizing) {
        m_sizingIndexAtPress = SizingIndex();
        m_sizeAtPress = GridState() == gsColSizing ? ColWidths(SizingIndex()) : RowHeights(SizingIndex());
        return;
    }
    // A press on a partly visible row (or, keeping the horizontal scroll, any row) scrolls nothing.
    if (ma->NoScrollOnPartialRow && TopRow() != oldTop)
        SetTopRow(oldTop);
    if ((GridOptions() & goRowSelect) && Navigation()->KeepHorizScroll && LeftCol() != oldLeft)
        SetLeftCol(oldLeft);
    const QRect cell = CellRect(c.X, c.Y);
    const bool atEdge = (GridOptions() & goColSizing) && (x - cell.left() < 3 || cell.right() - x < 3);
    if (!atEdge && OnClickCell)
        OnClickCell(this, c.Y, c.X);
    if (OnCellValidate)
        EditStarted(Col(), Row());
    // DirectEdit: a press well inside a cell edits it at once.
    if (ma->DirectEdit && canEdit && normalCell && !IsControlCell(c.X, c.Y) && x - cell.left() > 3
        && cell.right() - x > 3) {
        const QPoint b = BaseCell(c.X, c.Y);
        FocusCell(b.x(), b.y(), true);
        EditStarted(b.x(), b.y());
        ShowEditor();
    }
    reportSelection();
}

void TZedEzeravIvur::MouseUp(TMouseButton button, TShiftState shift, int x, int y)
{
    if (button != mbLeft) {
        // Another button let go during a move leaves the move to the left button's release.
        if (GridState() == gsColMoving || GridState() == gsRowMoving)
            return;
        TBaseGrid::MouseUp(button, shift, x, y);
        return;
    }
    const TGridCoord c = MouseCoord(x, y);
    const TGridState state = GridState();
    const bool handled = m_pressHandled;
    m_leftButtonDown = false;
    if (Look() == glListView && m_hotCell.x() >= 0)
        RepaintCell(m_hotCell.x(), m_hotCell.y());
    // A fixed cell drawn pressed comes up again, whatever the press turned into.
    const bool fixedHeld = m_pressedFixed;
    m_pressedFixed = false;
    if (fixedHeld && m_pressedButtonCell.x() >= 0)
        RepaintCell(m_pressedButtonCell.x(), m_pressedButtonCell.y());
    if (fixedHeld && state != gsNormal && state != gsSelecting)
        m_pressedButtonCell = QPoint(-1, -1);   // a sizing or a move is no button click
    hideMoveMarkers();
    m_headerDragAnchor = -1;
    m_cursorZone = czNone;
    GridHints(this)->HintWindow()->hide();
    releasePressedControl();
    if (m_resizingSelection) {
        m_resizingSelection = false;
        m_pressHandled = false;
        TBaseGrid::MouseUp(button, shift, x, y);
        endSelectionResize();
        return;
    }
    // A sizing released beyond the grid's right (bottom) edge is abandoned.
    if ((state == gsColSizing && x > viewport()->width()) || (state == gsRowSizing && y > viewport()->height())) {
        const int index = m_sizingIndexAtPress;
        TBaseGrid::MouseUp(button, shift, x, y);
        if (index >= 0 && state == gsColSizing)
            SetColWidths(index, m_sizeAtPress);
        else if (index >= 0)
            SetRowHeights(index, m_sizeAtPress);
        m_pressHandled = false;
        return;
    }
    if (state == gsColSizing && m_sizingIndexAtPress >= 0 && OnEndColumnSize)
        OnEndColumnSize(this, m_sizingIndexAtPress);
    if (state == gsRowSizing && m_sizingIndexAtPress >= 0 && OnEndRowSize)
        OnEndRowSize(this, m_sizingIndexAtPress);
    m_sizingIndexAtPress = -1;
    // The end of a fixed column (row) sizing: the width from the columns left of it, never below 0.
    if (m_fixedColSizing >= 0) {
        const int col = m_fixedColSizing;
        m_fixedColSizing = -1;
        int left = 0;
        for (int i = 0; i < col; ++i)
            left += ColWidths(i);
        int width = std::max(0, x - left);
        SetColWidths(col, width);
        if (OnEndColumnSize)
            OnEndColumnSize(this, col);
        int updated = width;
        UpdateColumnSize(col, updated);
        if (updated != width)
            SetColWidths(col, std::max(0, updated));
        m_pressHandled = false;
        return;
    }
    if (m_fixedRowSizing >= 0) {
        const int row = m_fixedRowSizing;
        m_fixedRowSizing = -1;
        int top = 0;
        for (int i = 0; i < row; ++i)
            top += RowHeights(i);
        SetRowHeights(row, std::max(0, y - top));
        if (OnEndRowSize)
            OnEndRowSize(this, row);
        m_pressHandled = false;
        return;
    }
    m_pressHandled = false;
    m_clickSelecting = false;

    if (m_pressedButtonCell.x() >= 0) {
        const QPoint held = m_pressedButtonCell;
        m_pressedButtonCell = QPoint(-1, -1);
        RepaintCell(held.x(), held.y());
        if (c.X >= 0 && c.Y >= 0) {
            bool enabled = GridOptions() & goEditing;
            if (!ControlLook()->NoDisabledButtonLook())
                CanEditCell(held.x(), held.y(), enabled);
            if ((enabled || ControlLook()->NoDisabledButtonLook()) && OnButtonClick)
                OnButtonClick(this, held.x(), held.y());
        }
        // A button cell's release ends here; a header goes on to its click and sorting.
        if (!fixedHeld) {
            TBaseGrid::MouseUp(button, shift, x, y);
            return;
        }
    }
    if (!handled) {
        TBaseGrid::MouseUp(button, shift, x, y);
        return;
    }
    // A click, unless the release ends a column sizing in the header.
    if (!(c.Y >= 0 && c.Y < FixedRows() && (GridOptions() & goColSizing) && state == gsColSizing))
        Click();

    const bool inCell = c.X >= 0 && c.Y >= 0;
    // No drag came of the press on the selection: the release selects.
    if (m_selectOnRelease) {
        m_selectOnRelease = false;
        if (inCell && c.X >= FixedCols() && c.Y >= FixedRows()) {
            if (MouseActions()->DisjunctRowSelect() && DragDropSettings()->OleDropSource) {
                if (shift & ssCtrl) {
                    SetRowSelected(c.Y, !RowSelected(c.Y));
                    TBaseGrid::MouseUp(button, shift, x, y);
                    return;
                }
                ClearRowMarks();
            }
            const QPoint b = BaseCell(c.X, c.Y);
            MoveColRow(b.x(), b.y(), true, true);
        }
    }
    const bool moved = state == gsColMoving || state == gsRowMoving || state == gsColSizing || state == gsRowSizing;
    if (MouseActions()->DisjunctRowSelect() && !moved) {
        SelectionToRowMarks(false);
        if (m_unmarkOnRelease && inCell && c.Y >= FixedRows())
            SetRowSelected(c.Y, false);
    }
    if (MouseActions()->DisjunctColSelect() && !moved) {
        SelectionToColMarks(false);
        if (m_unmarkOnRelease && inCell && c.X >= FixedCols())
            SetColSelected(c.X, false);
    }
    m_unmarkOnRelease = false;
    if (MouseActions()->DisjunctCellSelect() && inCell && !moved)
        markCellsOnRelease(c.X, c.Y, shift);
    TBaseGrid::MouseUp(button, shift, x, y);

    if (moved || !inCell) {
        m_dblClickSized = false;
        return;
    }
    if (c.X < FixedCols() && !SortSettings()->FixedCols)
        return;
    if (IsCheckBoxCell(c.X, c.Y) && OnCheckBoxMouseUp) {
        bool checked = false;
        const QPoint b = BaseCell(c.X, c.Y);
        GetCheckBoxState(b.x(), b.y(), checked);
        OnCheckBoxMouseUp(this, c.X, c.Y, checked);
    }
    if (IsRadio(c.X, c.Y) && OnRadioMouseUp) {
        int index = -1;
        const QPoint b = BaseCell(c.X, c.Y);
        GetRadioIndex(b.x(), b.y(), index);
        OnRadioMouseUp(this, c.X, c.Y, index);
    }
    if (m_dblClickSized) {
        m_dblClickSized = false;
        return;
    }
    if (c.Y == 0 && (GridOptions() & goColSizing)) {
        const QRect cell = CellRect(c.X, c.Y);
        if (x - cell.left() <= 4 || cell.right() - x <= 4)
            return;
    }
    TSortSettings* ss = SortSettings();
    if (m_pressCell.y() == ss->Row() && c.Y == ss->Row() && FixedRows() > 0 && ss->Show() && RowCount() > 2) {
        bool doSort = true;
        if (OnCanSort)
            OnCanSort(this, c.X, doSort);
        if (doSort)
            sortClick(c.X, shift);
        else
            RepaintCell(c.X, c.Y);
    }
}

void TZedEzeravIvur::sortClick(int col, TShiftState shift)
{
    TSortSettings* ss = SortSettings();
    HideEditor();
    QElapsedTimer timer;
    timer.start();
    const bool initAscending = ss->InitSortDirection == sdAscending;
    if (ss->IndexShow) {
        TSortIndexList& index = SortIndexes();
        if (shift & ssShift) {
            if (index.FindSortColumn(col) < 0)
                index.AddSortColumn(col, initAscending);
            else
                index.ToggleSortColumn(col);
        } else if (index.Count() == 1 && index.SortColumn(0) == col) {
            index.ToggleSortColumn(col);
        } else {
            index.Clear();
            index.AddSortColumn(col, initAscending);
        }
        SortByIndex();
    } else {
        bool undo = false;
        if (col == ss->Column) {
            undo = ss->Direction != ss->InitSortDirection && ss->UndoSort;
            ss->Direction = ss->Direction == sdAscending ? sdDescending : sdAscending;
        } else {
            ss->Direction = ss->InitSortDirection;
            ss->Column = col;
        }
        const int oldLeft = LeftCol();
        const bool keepLeft = (GridOptions() & goRowSelect) && Navigation()->KeepHorizScroll;
        if (keepLeft)
            BeginUpdate();
        if (undo) {
            RestoreRowOrder();
            ss->Column = -1;
        } else {
            SortByColumn();
        }
        if (keepLeft) {
            SetLeftCol(oldLeft);
            EndUpdate();
        }
    }
    m_sortDuration = timer.elapsed();
    if (OnClickSort)
        OnClickSort(this, ss->Column);
}

void TZedEzeravIvur::Click()
{
    if (OnClick)
        OnClick(this);
    EditStarted(Col(), Row());
}

void TZedEzeravIvur::markCellsOnRelease(int col, int row, TShiftState shift)
{
    const QPoint b = BaseCell(col, row);
    const bool fixed = b.x() < FixedCols() || b.y() < FixedRows();
    if (!fixed && !SelectCell(b.x(), b.y()))
        return;
    // The marks hold real columns, as the painting reads them.
    auto repaintMarks = [this] {
        for (int i = 0; i < m_cellMarks.Count(); ++i) {
            const QPoint m = m_cellMarks.Items(i);
            RepaintCell(DisplColIndex(m.x()), m.y());
        }
    };
    const int real = RealColIndex(b.x());
    if (shift & ssCtrl) {
        const int at = m_cellMarks.IndexOf(real, b.y());
        if (at >= 0)
            m_cellMarks.Delete(at);
        else
            m_cellMarks.Add(real, b.y());
    } else {
        repaintMarks();
        m_cellMarks.Clear();
        m_cellMarks.Add(real, b.y());
    }
    // A dragged range marks all of its cells; a cell is listed once, so that Ctrl takes it out again.
    const TGridRect s = Selection();
    if (s.Left != s.Right || s.Top != s.Bottom) {
        for (int r = s.Top; r <= s.Bottom; ++r)
            for (int c = s.Left; c <= s.Right; ++c)
                if (!m_cellMarks.Contains(RealColIndex(c), r))
                    m_cellMarks.Add(RealColIndex(c), r);
        repaintMarks();
    }
    RepaintCell(b.x(), b.y());
}

void TZedEzeravIvur::releasePressedControl()
{
    if (!m_controlFocused)
        return;
    m_controlFocused = false;
    RepaintCell(m_controlEditCell.x(), m_controlEditCell.y());
}

// ------------------------------------------------------------------ the selection resizer

namespace {

// Switches a flag on for a scope and puts its value back, also when an exception passes.
class FlagScope {
public:
    explicit FlagScope(bool& flag) : m_flag(flag), m_old(flag) { flag = true; }
    ~FlagScope() { m_flag = m_old; }
    FlagScope(const FlagScope&) = delete;
    FlagScope& operator=(const FlagScope&) = delete;

private:
    bool& m_flag;
    bool m_old;
};

} // namespace

void TZedEzeravIvur::startSelectionResize(TMouseButton button, TShiftState shift, int x, int y)
{
    m_resizeOrigin = Selection();
    {
        // The copy goes into the grid's own buffer; what the user has on the clipboard stays.
        FlagScope own(m_useOwnClipboard);
        CopyToClipboard();
    }
    m_resizingSelection = true;
    const TGridRect sel = Selection();
    if (!(GridOptions() & goEditing))
        TBaseGrid::MouseDown(button, shift, x, y);
    // The drag grows the selection from its top-left corner.
    SetSelection(sel);
    MouseMove(shift, x, y);
}

void TZedEzeravIvur::endSelectionResize()
{
    const TGridRect orig = m_resizeOrigin;
    if (OnSelectionResize)
        OnSelectionResize(this, orig, Selection());
    {
        // The new selection is filled from the copy; its cells count as editable meanwhile.
        FlagScope own(m_useOwnClipboard);
        FlagScope editable(editing().optionRemoved);
        PasteFromClipboard();
    }
    m_ownClipboard.reset();
    if (OnSelectionResized)
        OnSelectionResized(this, orig, Selection());
}

// ------------------------------------------------------------------ moving

void TZedEzeravIvur::setHotCell(int col, int row)
{
    const QPoint cell(col, row);
    if (cell == m_hotCell)
        return;
    const QPoint old = m_hotCell;
    m_hotCell = cell;
    if (old.x() >= 0 && old.y() >= 0 && drawnAsFixed(old.x(), old.y()))
        RepaintCell(old.x(), old.y());
    if (col >= 0 && row >= 0 && drawnAsFixed(col, row))
        RepaintCell(col, row);
}

bool TZedEzeravIvur::viewportEvent(QEvent* event)
{
    if (event->type() == QEvent::Leave && Look() == glListView)
        setHotCell(-1, -1);
    return TBaseGrid::viewportEvent(event);
}

void TZedEzeravIvur::MouseMove(TShiftState shift, int x, int y)
{
    const TGridRect selAtStart = Selection();
    if (Look() == glListView) {
        const TGridCoord at = MouseCoord(x, y);
        setHotCell(at.X, at.Y);
    }
    // Dragging out of the pressed cell selects a range when editing comes with RangeSelectAndEdit.
    if ((shift & ssLeft) && MouseActions()->RangeSelectAndEdit && (GridOptions() & goEditing)
        && m_pressCell.x() >= 0) {
        const TGridCoord at = MouseCoord(x, y);
        if (QPoint(at.X, at.Y) != m_pressCell)
            SetGridOptions(GridOptions() & ~goEditing);
    }
    // An armed press moved far enough (and not by a column sizing or on the resizer's handle)
    // drags the cells.
    if (m_selectOnRelease && (shift & ssLeft)
        && (std::abs(x - m_pressPoint.x()) > 3 || std::abs(y - m_pressPoint.y()) > 3)
        && DragDropSettings()->OleDropSource && GridState() != gsColSizing
        && !SelectionResizerHandle().contains(x, y)) {
        m_selectOnRelease = false;
        const QPoint from = m_pressPoint;
        const QPoint cell = m_pressCell;
        bool refused = false;
        StartOleDrag(cell.x(), cell.y(), &refused);
        if (refused) {
            // Refused by the application: the press selects, and this move goes on selecting.
            if (GridState() == gsNormal)
                TBaseGrid::MouseDown(mbLeft, shift, from.x(), from.y());
        } else {
            // The drag took the button's release.
            m_pressHandled = false;
            return;
        }
    }
    // A fixed column or row being sized follows the pointer.
    if (m_fixedColSizing >= 0 || m_fixedRowSizing >= 0) {
        const bool column = m_fixedColSizing >= 0;
        const int index = column ? m_fixedColSizing : m_fixedRowSizing;
        const QRect cell = CellRect(column ? index : 0, column ? 0 : index);
        if (HintShowSizing || Designing())
            showSizeHint(column, index, std::max(0, column ? x - cell.left() : y - cell.top()));
        return;
    }
    // Dragging along the row (column) headers selects whole rows (columns) from where it started;
    // the footer rows are not taken.
    if (m_headerDragAnchor >= 0 && (shift & ssLeft)) {
        const TGridCoord c = MouseCoord(x, y);
        const TGridRect old = Selection();
        if (m_headerDragRows && MouseActions()->RowSelect) {
            // At the bottom edge the rows scroll up by one, over the header row down by one; the
            // selection follows to the row that came into view.
            int pointed = c.Y;
            if (y >= viewport()->height() - 4 && TopRow() + VisibleRowCount() < RowCount()) {
                SetTopRow(TopRow() + 1);
                pointed = TopRow() + VisibleRowCount() - 1;
            } else if (FixedRows() > 0 && y < RowHeights(0) && TopRow() > FixedRows()) {
                SetTopRow(TopRow() - 1);
                pointed = TopRow();
                // Over the header row the pointer stays in the row-header zone.
                m_cursorZone = czRowHeader;
                viewport()->setCursor(GridCursor(ZoneCursorId(czRowHeader)));
            }
            if (pointed >= 0) {
                const int row =
                    std::clamp(pointed, FixedRows(), std::max(FixedRows(), RowCount() - FixedFooters() - 1));
                SetSelection(TGridRect{FixedCols(), std::min(m_headerDragAnchor, row), ColCount() - 1,
                                       std::max(m_headerDragAnchor, row)});
            }
        } else if (!m_headerDragRows && MouseActions()->ColSelect && c.X >= FixedCols()) {
            SetSelection(TGridRect{std::min(m_headerDragAnchor, c.X), FixedRows(), std::max(m_headerDragAnchor, c.X),
                                   RowCount() - 1});
        }
        const TGridRect now = Selection();
        if (!(now == old))
            SelectionChanged(now.Left, now.Top, now.Right, now.Bottom);
        return;
    }
    // The toolkit's move first: it sets the sizing cursors and takes back any other.
    TBaseGrid::MouseMove(shift, x, y);
    if (GridState() == gsColMoving || GridState() == gsRowMoving) {
        showMoveMarkers(x, y);
        return;
    }
    // A drag keeping the horizontal scroll stays at the left column of the press.
    if (Navigation()->KeepHorizScroll && (shift & ssLeft) && GridState() != gsColMoving && m_leftAtPress >= 0
        && LeftCol() != m_leftAtPress)
        SetLeftCol(m_leftAtPress);
    if (const TGridRect now = Selection(); !(now == selAtStart))
        SelectionChanged(now.Left, now.Top, now.Right, now.Bottom);
    const TGridCoord c = MouseCoord(x, y);
    bool cursorSet = false;
    if (GridState() == gsColSizing || GridState() == gsRowSizing) {
        if (HintShowSizing || Designing()) {
            const bool column = GridState() == gsColSizing;
            showSizeHint(column, SizingIndex(), column ? ColWidths(SizingIndex()) : RowHeights(SizingIndex()));
        }
        return;
    }
    // Edges of fixed columns and rows that may be sized.
    m_fixedEdgeCol = m_fixedEdgeRow = -1;
    if (c.X >= 0 && c.Y >= 0 && !Designing()) {
        int pos = 0;
        for (int i = 0; i < FixedCols(); ++i) {
            pos += ColWidths(i) + 1;
            if (std::abs(x - pos) <= 3 && MouseActions()->SizeFixedCol)
                m_fixedEdgeCol = i;
        }
        pos = 0;
        for (int i = 0; i < FixedRows(); ++i) {
            pos += RowHeights(i) + 1;
            if (std::abs(y - pos) <= 3 && MouseActions()->SizeFixedRow)
                m_fixedEdgeRow = i;
        }
        if (m_fixedEdgeCol >= 0) {
            viewport()->setCursor(Qt::SplitHCursor);
            cursorSet = true;
        } else if (m_fixedEdgeRow >= 0) {
            viewport()->setCursor(Qt::SplitVCursor);
            cursorSet = true;
        }
    }
    m_cursorZone = GridState() == gsNormal ? cursorZoneAt(x, y) : czNone;
    m_zoneCleared = false;
    if (!cursorSet && m_cursorZone != czNone) {
        viewport()->setCursor(GridCursor(ZoneCursorId(m_cursorZone)));
        cursorSet = true;
    }
    if (!cursorSet && c.X >= 0 && c.Y >= 0 && GridState() == gsNormal) {
        const QString text = DisplayText(c.X, c.Y);
        if (URLShow() && !text.contains(QLatin1Char('<')) && IsURLText(text)) {
            viewport()->setCursor(Qt::PointingHandCursor);
            cursorSet = true;
        } else if (EnableHTML && text.contains(QLatin1Char('<'))) {
            QString anchor, id, type, value;
            if (hitHTML(c.X, c.Y, x, y, anchor, id, type, value) && !anchor.isEmpty() && id.isEmpty()) {
                viewport()->setCursor(Qt::PointingHandCursor);
                cursorSet = true;
                if (anchor != m_lastAnchor) {
                    if (OnAnchorEnter)
                        OnAnchorEnter(this, c.Y, c.X, anchor);
                    m_lastAnchor = anchor;
                }
            }
        }
    }
    if (!cursorSet && !m_lastAnchor.isEmpty()) {
        if (OnAnchorExit)
            OnAnchorExit(this, c.Y, c.X, QString());
        m_lastAnchor.clear();
    }
}

QRect TZedEzeravIvur::SelectionResizerHandle() const
{
    if (!m_selectionResizer || !m_selectionRectangle)
        return QRect();
    const TGridRect s = Selection();
    const QRect r = CellRect(s.Right, s.Bottom);
    if (r.isEmpty())
        return QRect();
    return QRect(r.right() - 5, r.bottom() - 5, 6, 6);
}

int TZedEzeravIvur::cursorZoneAt(int x, int y)
{
    if (Designing())
        return czNone;
    if (SelectionResizerHandle().contains(x, y))
        return czResizer;
    const TGridCoord c = MouseCoord(x, y);
    if (c.X < 0 || c.Y < 0)
        return czNone;
    const TMouseActions* ma = MouseActions();
    const bool fixedRow = c.Y < FixedRows(), fixedCol = c.X < FixedCols();
    if (fixedRow && fixedCol)
        return ma->AllSelect ? czSelectAll : czNone;
    // A border that sizes keeps its split cursor: the header cursor stops short of it.
    int index = -1, pos = 0, ofs = 0;
    const TGridState sizing = TBaseGrid::CalcSizingState(x, y, index, pos, ofs);
    if (fixedRow && ma->ColSelect && sizing != gsColSizing && m_fixedEdgeCol < 0)
        return czColHeader;
    if (fixedCol && !fixedRow && ma->RowSelect && sizing != gsRowSizing && m_fixedEdgeRow < 0
        && !IsNodeRow(RealRowIndex(c.Y)))
        return czRowHeader;
    return czNone;
}

void TZedEzeravIvur::showSizeHint(bool column, int index, int size)
{
    THTMLHintWindow* w = GridHints(this)->HintWindow();
    const QString text = (column ? QStringLiteral("cw=<b>") : QStringLiteral("rh=<b>")) + QString::number(size)
                         + QStringLiteral("</b>");
    const QRect cell = CellRect(column ? index : 0, column ? 0 : index);
    w->SetHtml(true);
    w->SetColor(HintColor);
    const QRect r = w->CalcHintRect(200, text);
    w->ActivateHint(QRect(viewport()->mapToGlobal(cell.topLeft()), r.size()), text);
}

TGridState TZedEzeravIvur::CalcSizingState(int x, int y, int& index, int& sizingPos, int& sizingOfs)
{
    TGridState state = TBaseGrid::CalcSizingState(x, y, index, sizingPos, sizingOfs);
    if (state == gsColSizing && y < FixedRowsHeight() && OnColumnSize) {
        bool allow = true;
        const TGridCoord c = MouseCoord(x - 6, y);
        OnColumnSize(this, c.X, allow);
        if (!allow)
            state = gsNormal;
    } else if (state == gsRowSizing && x < FixedColsWidth() && OnRowSize) {
        bool allow = true;
        const TGridCoord c = MouseCoord(x, y - 6);
        OnRowSize(this, c.Y, allow);
        if (!allow)
            state = gsNormal;
    }
    return state;
}

// ------------------------------------------------------------------ panning

void TZedEzeravIvur::PanTick(const QPoint& p)
{
    if (!m_panning)
        return;
    int dx = 0, dy = 0;
    if (IntelliPan != ipVertical) {
        if (p.x() < m_panOrigin.x() - 5)
            dx = -1;
        else if (p.x() > m_panOrigin.x() + 5)
            dx = 1;
    }
    if (IntelliPan != ipHorizontal) {
        if (p.y() < m_panOrigin.y() - 5)
            dy = -1;
        else if (p.y() > m_panOrigin.y() + 5)
            dy = 1;
    }
    viewport()->setCursor(GridCursor(PanCursorId(dx, dy)));
    const TGridRect old = Selection();
    const int firstCol = FixedCols(), lastCol = ColCount() - FixedRightCols() - 1;
    const int firstRow = FixedRows(), lastRow = RowCount() - FixedFooters() - 1;
    int col = std::clamp(Col(), firstCol, std::max(firstCol, lastCol));
    int row = std::clamp(Row(), firstRow, std::max(firstRow, lastRow));
    if (col + dx >= firstCol && col + dx <= lastCol)
        col += dx;
    if (row + dy >= firstRow && row + dy <= lastRow)
        row += dy;
    if (col != Col() || row != Row())
        MoveColRow(col, row, true, true);
    const TGridRect now = Selection();
    if (!(now == old))
        SelectionChanged(now.Left, now.Top, now.Right, now.Bottom);
}

void TZedEzeravIvur::EndPan()
{
    if (!m_panning)
        return;
    m_panning = false;
    if (m_panTimer)
        static_cast<QTimer*>(m_panTimer)->stop();
    viewport()->releaseMouse();
    viewport()->unsetCursor();
    if (m_panGlyph)
        m_panGlyph->hide();
}

// ------------------------------------------------------------------ wheel and zoom

void TZedEzeravIvur::ZoomBy(int delta)
{
    if (m_zoom + delta < -10 || m_zoom + delta > 10)
        return;
    m_zoom += delta;
    for (int c = 0; c < ColCount(); ++c)
        if (ColWidths(c) + delta > 0)
            SetColWidths(c, ColWidths(c) + delta);
    std::vector<int> heights = AllRowHeights();
    for (int& h : heights)
        if (h + delta > 0)
            h += delta;
    SetAllRowHeights(heights);
}

bool TZedEzeravIvur::DoMouseWheel(TShiftState shift, int notches, const QPoint& pos)
{
    const int lines = WheelScrollLines();
    // Towards the user is a negative notch count.
    const bool down = notches < 0;
    const int count = std::abs(notches);
    if ((shift & ssCtrl) && IntelliZoom) {
        for (int i = 0; i < count; ++i)
            ZoomBy(down ? lines : -lines);
        return true;
    }
    if (!EnableWheel)
        return TBaseGrid::DoMouseWheel(shift, notches, pos);
    if (FixedRowAlways() && RowCount() - FixedRows() <= 1)
        return true;
    const TGridRect oldSel = Selection();
    const int inc = MouseActions()->WheelIncrement < 1 ? lines : MouseActions()->WheelIncrement;
    const int oldLeft = LeftCol();
    for (int i = 0; i < count; ++i) {
        if (MouseActions()->WheelAction == waScroll) {
            if (down && TopRow() < RowCount() - VisibleRowCount())
                SetTopRow(TopRow() + inc);
            else if (!down && TopRow() > FixedRows())
                SetTopRow(std::max(FixedRows(), TopRow() - inc));
        } else {
            const int row = std::clamp(Row() + (down ? inc : -inc), FixedRows(), RowCount() - FixedFooters() - 1);
            const int col = std::clamp(Col(), FixedCols(), ColCount() - 1);
            MoveColRow(col, row, true, true);
        }
    }
    if ((GridOptions() & goRowSelect) && Navigation()->KeepHorizScroll)
        SetLeftCol(oldLeft);
    const TGridRect s = Selection();
    if (!(s == oldSel))
        SelectionChanged(s.Left, s.Top, s.Right, s.Bottom);
    return true;
}

} // namespace grid

namespace grid {

// ------------------------------------------------------------------ moved columns and rows

bool TZedEzeravIvur::BeginRowDrag(int& origin, int& destination, const QPoint& pt)
{
    return !isFooterRow(origin) && TBaseGrid::BeginRowDrag(origin, destination, pt);
}

bool TZedEzeravIvur::EndColumnDrag(int& origin, int& destination, const QPoint& pt)
{
    if (!TBaseGrid::EndColumnDrag(origin, destination, pt))
        return false;
    if (origin != destination && m_columnOrder.Count() == 0)
        for (int c = 0; c < ColCount(); ++c)
            m_columnOrder.Insert(c, c);
    return true;
}

// While a column (row) is moved: the floating header button follows the pointer where the header
// was grabbed, and two arrows show where it would land.
void TZedEzeravIvur::showMoveMarkers(int x, int y)
{
    const bool column = GridState() == gsColMoving;
    if (!MoveStarted() || !EnhRowColMove || Designing()) {
        hideMoveMarkers();
        return;
    }
    const int moved = MoveIndex();
    if (!m_moveAsked) {
        m_moveAsked = true;
        bool allow = true;
        if (column && OnColumnMove)
            OnColumnMove(this, moved, allow);
        else if (!column && OnRowMove)
            OnRowMove(this, moved, allow);
        if (!allow) {
            CancelMode();
            hideMoveMarkers();
            return;
        }
    }
    viewport()->setCursor(Qt::DragMoveCursor);

    // Beyond the scrolling part the view follows by one column (row).
    if (column && !allColsFit()) {
        if (x < FixedColsWidth() && LeftCol() > FixedCols())
            SetLeftCol(LeftCol() - 1);
        else if (x > viewport()->width())
            SetLeftCol(LeftCol() + 1);
    } else if (!column && !allRowsFit()) {
        if (y < FixedRowsHeight() && TopRow() > FixedRows())
            SetTopRow(TopRow() - 1);
        else if (y > viewport()->height())
            SetTopRow(TopRow() + 1);
    }

    auto place = [this](QWidget* w, QPoint viewportPoint) {
        if (!w)
            return;
        QWidget* parent = w->parentWidget();
        const QPoint global = viewport()->mapToGlobal(viewportPoint);
        w->move(parent ? parent->mapFromGlobal(global) : global);
        w->show();
        w->raise();
    };

    if (TPopupButton* button = PopupButton()) {
        const bool wasHidden = button->isHidden();
        button->SetCaption(column ? Cells(RealColIndex(moved), 0) : Cells(0, moved));
        button->resize(column ? ColWidths(moved) : ColWidths(Col()), column ? RowHeights(Row()) : RowHeights(moved));
        if (wasHidden) {
            const bool gradient = Look() == glZarn || Look() == glXP;
            const QPalette pal = palette();
            button->SetGradFrom(gradient ? gfx::ColorToRGB(FixedGradientColor, &pal) : gfx::clNone);
            button->SetGradTo(gradient ? gfx::ColorToRGB(FixedGradientColorTo, &pal) : gfx::clNone);
            button->SetImages(dynamic_cast<const tk::TImageList*>(GridImages()));
        }
        // Where the header was grabbed, measured from its cell at the press.
        const QPoint press = MoveOriginPoint();
        const QRect grabbed = column ? CellRect(moved, 0) : CellRect(0, moved);
        const QPoint offset = grabbed.isEmpty() ? QPoint() : press - grabbed.topLeft();
        place(button, QPoint(x, y) - offset);
    }

    const int target = MoveTarget();
    for (int d = 0; d < 4; ++d)
        if (TArrowWindow* a = ArrowWindow(d))
            a->hide();
    if (target == moved)
        return;
    if (column) {
        const QRect r = CellRect(target, 0);
        if (target < FixedCols() || r.isEmpty())
            return;
        const int edge = target < moved ? r.left() : r.right() + 1;
        place(ArrowWindow(1), QPoint(edge - 5, r.top() - 8));   // above, pointing down
        place(ArrowWindow(0), QPoint(edge - 5, r.bottom()));    // below, pointing up
    } else {
        const QRect r = CellRect(0, target);
        if (target < FixedRows() || target >= RowCount() - FixedFooters() || isFooterRow(target) || r.isEmpty())
            return;
        const int edge = target < moved ? r.top() : r.bottom() + 1;
        place(ArrowWindow(2), QPoint(r.left() - 10, edge - 5));   // left, pointing right
        place(ArrowWindow(3), QPoint(r.right(), edge - 5));       // right, pointing left
    }
}

void TZedEzeravIvur::hideMoveMarkers()
{
    m_moveAsked = false;
    for (int d = 0; d < 4; ++d)
        if (TArrowWindow* a = ArrowWindow(d))
            a->hide();
    if (TPopupButton* button = PopupButton())
        button->hide();
}

bool TZedEzeravIvur::EndRowDrag(int& origin, int& destination, const QPoint& pt)
{
    return !isFooterRow(destination) && TBaseGrid::EndRowDrag(origin, destination, pt);
}

void TZedEzeravIvur::RowMoved(int fromIndex, int toIndex)
{
    TBaseGrid::RowMoved(fromIndex, toIndex);
    if (m_noMergeRelay || fromIndex == toIndex)
        return;
    // As for columns: the ranges are taken back to where they stood and laid again.
    auto follow = [fromIndex, toIndex](int p) {
        if (p == fromIndex)
            return toIndex;
        if (fromIndex < toIndex && p > fromIndex && p <= toIndex)
            return p - 1;
        if (fromIndex > toIndex && p >= toIndex && p < fromIndex)
            return p + 1;
        return p;
    };
    auto ranges = MergedRanges();
    std::vector<int> to(static_cast<size_t>(RowCount()));
    for (int r = 0; r < RowCount(); ++r)
        to[size_t(r)] = follow(r);
    std::vector<int> from(to.size());
    for (int r = 0; r < RowCount(); ++r)
        from[size_t(to[size_t(r)])] = r;
    for (TMergedRange& m : ranges)
        m.cells.moveTop(from[size_t(m.cells.top())]);
    RelayMergedRanges(ranges, to, ShiftedIndices(ColCount(), 0, 0));
}

void TZedEzeravIvur::ColumnMoved(int fromIndex, int toIndex)
{
    // Where a column at position p stands after the move.
    auto follow = [fromIndex, toIndex](int p) {
        if (p == fromIndex)
            return toIndex;
        if (fromIndex < toIndex && p > fromIndex && p <= toIndex)
            return p - 1;
        if (fromIndex > toIndex && p >= toIndex && p < fromIndex)
            return p + 1;
        return p;
    };
    const int realFrom = RealColIndex(fromIndex);
    const int realTo = RealColIndex(toIndex);
    if (m_columnOrder.Count() > std::max(fromIndex, toIndex)) {
        const int entry = m_columnOrder.Items(fromIndex);
        m_columnOrder.Delete(fromIndex);
        m_columnOrder.Insert(toIndex, entry);
    }
    if (m_numHiddenCols > 0 && realFrom < int(m_hiddenCols.size()) && realTo < int(m_hiddenCols.size())) {
        const bool flag = m_hiddenCols[size_t(realFrom)];
        if (realFrom < realTo)
            std::rotate(m_hiddenCols.begin() + realFrom, m_hiddenCols.begin() + realFrom + 1,
                        m_hiddenCols.begin() + realTo + 1);
        else
            std::rotate(m_hiddenCols.begin() + realTo, m_hiddenCols.begin() + realFrom,
                        m_hiddenCols.begin() + realFrom + 1);
        m_hiddenCols[size_t(realTo)] = flag;
    }
    TBaseGrid::ColumnMoved(fromIndex, toIndex);
    if (!m_noMergeRelay) {
        // The cells have moved: each range is taken back to where it stood and laid again.
        auto ranges = MergedRanges();
        std::vector<int> to(static_cast<size_t>(ColCount()));
        for (int c = 0; c < ColCount(); ++c)
            to[size_t(c)] = follow(c);
        std::vector<int> from(to.size());
        for (int c = 0; c < ColCount(); ++c)
            from[size_t(to[size_t(c)])] = c;
        for (TMergedRange& m : ranges)
            m.cells.moveLeft(from[size_t(m.cells.left())]);
        if (!ranges.empty() || fromIndex != toIndex)
            RelayMergedRanges(ranges, ShiftedIndices(RowCount(), 0, 0), to);
    }

    TSortSettings* ss = SortSettings();
    if (ss->Column >= 0)
        ss->Column = follow(ss->Column);
    TSortIndexList& index = SortIndexes();
    for (int i = 0; i < index.Count(); ++i) {
        const int item = index.Items(i);
        const int col = item & 0x7FFFFFFF;
        index.SetItems(i, (item & TSortIndexList::kDescending) | follow(col));
    }
}

} // namespace grid
