// The string grid's mouse: clicks on cells, check boxes, button cells, links and form controls in
// mini-HTML cells, the header selections, sorting by a click on the sort row, disjunct marks, the
// right button, anchors under the pointer, the wheel and zooming.
#include "grid/GridUtils.h"
#include "grid/ZodUvuz.h"
#include "grid/minihtml/MiniHTML.h"

#include <QDesktopServices>
#include <QElapsedTimer>

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
                             QString& ctrlValue)
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
    return true;
}

// A press on a link or a form control of a cell. True when something was hit.
bool TZedEzeravIvur::clickLinkOrControl(int col, int row, int x, int y)
{
    const QString text = DisplayText(col, row);
    QString anchor, id, type, value;
    bool hit = false;
    if (text.contains(QLatin1Char('<')) && EnableHTML) {
        hit = hitHTML(col, row, x, y, anchor, id, type, value);
    } else if (URLShow() && (text.contains(QLatin1String("://")) || text.contains(QLatin1String("mailto:")))) {
        anchor = text;
        hit = true;
    }
    if (!hit)
        return false;
    if (!id.isEmpty()) {
        bool canEdit = true;
        CanEditCell(col, row, canEdit);
        if (!canEdit)
            return true;
        if (type.compare(QLatin1String("CHECK"), Qt::CaseInsensitive) == 0) {
            value = value.compare(QLatin1String("TRUE"), Qt::CaseInsensitive) == 0 ? QStringLiteral("FALSE")
                                                                                   : QStringLiteral("TRUE");
            const QPoint b = BaseCell(col, row);
            QString cell = Cells(b.x(), b.y());
            minihtml::SetControlValue(cell, id, value);
            SetCellText(b.x(), b.y(), cell);
            RepaintCell(col, row);
        }
        if (OnControlClick)
            OnControlClick(this, row, col, id, type, value);
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

void TZedEzeravIvur::MouseDown(TMouseButton button, TShiftState shift, int x, int y)
{
    const TGridCoord c = MouseCoord(x, y);
    const bool ctrl = shift & ssCtrl, alt = shift & ssAlt;
    TMouseActions* ma = MouseActions();

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
        return;
    }
    if (button != mbLeft) {
        TBaseGrid::MouseDown(button, shift, x, y);
        return;
    }

    m_pressHandled = false;
    if (c.X >= 0 && c.Y >= 0 && OnCanClickCell) {
        bool allow = true;
        OnCanClickCell(this, c.Y, c.X, allow);
        if (!allow)
            return;
    }
    m_pressHandled = true;
    m_lookupText.clear();
    m_pressedButtonCell = QPoint(-1, -1);
    m_unmarkOnRelease = false;
    m_pressPoint = QPoint(x, y);
    m_pressCell = QPoint(c.X, c.Y);
    const tk::TGridRect oldSel = Selection();
    auto reportSelection = [&] {
        const TGridRect s = Selection();
        if (!(s == oldSel))
            SelectionChanged(s.Left, s.Top, s.Right, s.Bottom);
    };

    if (c.X < 0 || c.Y < 0) {
        if (!FixedRowAlways())
            TBaseGrid::MouseDown(button, shift, x, y);
        return;
    }
    if (shift & ssDouble) {
        TBaseGrid::MouseDown(button, shift, x, y);
        if (OnDblClickCell)
            OnDblClickCell(this, c.Y, c.X);
        return;
    }
    const bool fixedRow = c.Y < FixedRows();
    const bool fixedCol = c.X < FixedCols();
    if (fixedRow || fixedCol || IsFixedCell(c.X, c.Y))
        HideEditor();

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
    if (fixedRow && fixedCol && ma->AllSelect && rangeSelect) {
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
    if (fixedCol && !fixedRow && ma->RowSelect && rangeSelect) {
        setFocus(Qt::MouseFocusReason);
        const int from = (shift & ssShift) ? Selection().Top : c.Y;
        SetSelection(TGridRect{FixedCols(), std::min(from, c.Y), ColCount() - 1, std::max(from, c.Y)});
        reportSelection();
        return;
    }
    if (fixedRow && !fixedCol && ma->ColSelect && rangeSelect) {
        setFocus(Qt::MouseFocusReason);
        SetSelection(TGridRect{c.X, FixedRows(), c.X, RowCount() - 1});
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
    if (!fixedRow && !fixedCol && IsFixedCell(c.X, c.Y)) {
        if (OnClickCell)
            OnClickCell(this, c.Y, c.X);
        return;
    }

    TBaseGrid::MouseDown(button, shift, x, y);
    const QRect cell = CellRect(c.X, c.Y);
    const bool atEdge = (GridOptions() & goColSizing) && (x - cell.left() < 3 || cell.right() - x < 3);
    if (!atEdge && OnClickCell)
        OnClickCell(this, c.Y, c.X);
    reportSelection();
}

void TZedEzeravIvur::MouseUp(TMouseButton button, TShiftState shift, int x, int y)
{
    if (button != mbLeft) {
        TBaseGrid::MouseUp(button, shift, x, y);
        return;
    }
    const TGridCoord c = MouseCoord(x, y);
    const TGridState state = GridState();
    const bool handled = m_pressHandled;
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
        TBaseGrid::MouseUp(button, shift, x, y);
        return;
    }
    if (!handled) {
        TBaseGrid::MouseUp(button, shift, x, y);
        return;
    }

    const bool inCell = c.X >= 0 && c.Y >= 0;
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
    TBaseGrid::MouseUp(button, shift, x, y);

    if (moved || !inCell)
        return;
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

// ------------------------------------------------------------------ moving

void TZedEzeravIvur::MouseMove(TShiftState shift, int x, int y)
{
    // The toolkit's move first: it sets the sizing cursors and takes back any other.
    TBaseGrid::MouseMove(shift, x, y);
    const TGridCoord c = MouseCoord(x, y);
    bool cursorSet = false;
    if (c.X >= 0 && c.Y >= 0 && GridState() == gsNormal) {
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

// ------------------------------------------------------------------ moved columns

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
