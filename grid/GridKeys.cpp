// The string grid's keyboard: navigation and marking keys, control cells, inserting and deleting
// rows, select all, typing into cells and the incremental row lookup; its timer tick (lookup
// expiry, hovering, blinking) and following its width.
#include "grid/ZodUvuz.h"

#include <QApplication>
#include <QCursor>
#include <QPointer>
#include <QTimer>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLocale>
#include <cmath>
#include <utility>
#include <QScopeGuard>

namespace grid {

using namespace tk;

namespace {

bool isNavigationKey(int key)
{
    switch (key) {
    case Qt::Key_PageUp: case Qt::Key_PageDown: case Qt::Key_End: case Qt::Key_Home:
    case Qt::Key_Left: case Qt::Key_Up: case Qt::Key_Right: case Qt::Key_Down:
        return true;
    default:
        return false;
    }
}

bool isEnter(int key) { return key == Qt::Key_Return || key == Qt::Key_Enter; }

Qt::KeyboardModifiers modifiersOf(TShiftState shift)
{
    Qt::KeyboardModifiers m;
    if (shift & ssShift) m |= Qt::ShiftModifier;
    if (shift & ssCtrl) m |= Qt::ControlModifier;
    if (shift & ssAlt) m |= Qt::AltModifier;
    return m;
}

} // namespace

int TZedEzeravIvur::FirstNormalColumn()
{
    return FixedCols() == 0 && HasNodes() ? 1 : FixedCols();
}

void TZedEzeravIvur::raiseKeyDown(int key, TShiftState shift)
{
    if (OnKeyDown)
        OnKeyDown(this, key, modifiersOf(shift));
}

// Enter or Space on a check box, radio or button cell.
void TZedEzeravIvur::controlCellKey(int key, int col, int row)
{
    bool enabled = (GridOptions() & goEditing) || MouseActions()->RangeSelectAndEdit;
    CanEditCell(col, row, enabled);
    const QPoint b = BaseCell(col, row);
    if (key == Qt::Key_Space && IsCheckBoxCell(col, row) && (enabled || ControlLook()->CheckAlwaysActive)) {
        if (ToggleCheckBox(col, row, false)) {
            bool state = false;
            GetCheckBoxState(b.x(), b.y(), state);
            if (OnCheckBoxClick)
                OnCheckBoxClick(this, col, row, state);
        }
    }
    if (key == Qt::Key_Space && IsRadio(col, row) && (enabled || ControlLook()->RadioAlwaysActive)) {
        if (ToggleRadio(col, row, false)) {
            int index = -1;
            GetRadioIndex(b.x(), b.y(), index);
            if (OnRadioClick)
                OnRadioClick(this, col, row, index);
        }
    }
    if (IsButtonCell(col, row) && enabled && OnButtonClick)
        OnButtonClick(this, col, row);
    RepaintCell(col, row);
}

// Arrow keys step over cells the application declares fixed. True when the key was used.
bool TZedEzeravIvur::skipFixedCells(int key)
{
    const bool rtl = layoutDirection() == Qt::RightToLeft;
    if (rtl && key == Qt::Key_Left)
        key = Qt::Key_Right;
    else if (rtl && key == Qt::Key_Right)
        key = Qt::Key_Left;
    const int col = Col(), row = Row();
    int c = col, r = row;
    switch (key) {
    case Qt::Key_Left:
        if (col - 1 < 0 || !IsFixedCell(col - 1, row))
            return false;
        for (c = col - 1; c >= FixedCols() && IsFixedCell(c, row); --c) {}
        if (c < FixedCols())
            return false;
        break;
    case Qt::Key_Right:
        if (col + 1 >= ColCount() || !IsFixedCell(col + 1, row))
            return false;
        for (c = col + 1; c < ColCount() - FixedRightCols() && IsFixedCell(c, row); ++c) {}
        if (c >= ColCount() - FixedRightCols())
            return false;
        break;
    case Qt::Key_Up:
        if (row - 1 < 0 || !IsFixedCell(col, row - 1))
            return false;
        for (r = row - 1; r >= FixedRows() && IsFixedCell(col, r); --r) {}
        if (r < FixedRows())
            return false;
        break;
    case Qt::Key_Down:
        if (row + 1 >= RowCount() || !IsFixedCell(col, row + 1))
            return false;
        for (r = row + 1; r < RowCount() - FixedFooters() && IsFixedCell(col, r); ++r) {}
        if (r >= RowCount() - FixedFooters())
            return false;
        break;
    default:
        return false;
    }
    FocusCell(c, r, true);
    return true;
}

// Row and column marks of the disjunct selections after a navigation key or Space.
void TZedEzeravIvur::disjunctMarks(int key, TShiftState shift)
{
    const bool sh = shift & ssShift, ctrl = shift & ssCtrl;
    const bool rows = MouseActions()->DisjunctRowSelect(), cols = MouseActions()->DisjunctColSelect();
    if (isNavigationKey(key)) {
        if (rows) {
            if (!sh && !ctrl)
                ClearRowMarks();
            if (sh)
                SelectionToRowMarks(true);
            if (ctrl && !sh)
                SetRowSelected(MouseActions()->RowSelectPersistent ? RealRowIndex(Row()) : Row(), true);
        }
        if (cols) {
            if (!sh && !ctrl)
                ClearColMarks();
            if (sh)
                SelectionToColMarks(true);
            if (ctrl && !sh)
                SetColSelected(Col(), true);
        }
    }
    if (key == Qt::Key_Space) {
        if (rows)
            SetRowSelected(Row(), !RowSelected(Row()));
        if (cols)
            SetColSelected(Col(), !ColSelected(Col()));
    }
}

void TZedEzeravIvur::KeyDown(int& key, TShiftState shift)
{
    const TGridRect oldSel = Selection();
    const int oldLeft = LeftCol();
    const int col = Col(), row = Row();
    const bool sh = shift & ssShift, ctrl = shift & ssCtrl, alt = shift & ssAlt;
    TNavigation* nav = Navigation();
    TMouseActions* ma = MouseActions();
    const bool disjRows = ma->DisjunctRowSelect();
    auto reportSelection = [&] {
        const TGridRect s = Selection();
        if (!(s == oldSel))
            SelectionChanged(s.Left, s.Top, s.Right, s.Bottom);
    };

    if (key == Qt::Key_F2 && ma->RangeSelectAndEdit && !(GridOptions() & goEditing)) {
        bool can = !IsFixedCell(col, row);
        CanEditCell(col, row, can);
        if (can)
            SetGridOptions(GridOptions() | goEditing);
    }
    if (key == Qt::Key_F2 && (GridOptions() & goEditing) && DisplayText(col, row).toUpper().contains("<CONTROL")) {
        // F2 on a cell of form controls goes to its first editable control, not to the cell editor.
        key = 0;
        const QPoint b = BaseCell(col, row);
        FocusCellControl(b.x(), b.y(), QString());
        return;
    }
    if ((isEnter(key) || key == Qt::Key_Space) && IsControlCell(col, row))
        controlCellKey(key, col, row);

    const int footers = FixedFooters();
    if (key == Qt::Key_Home && nav->HomeEndKey == heFirstLastRow) {
        if (RowCount() == FixedRows() + 1 && FixedRowAlways()) {
            TBaseGrid::KeyDown(key, shift);
            return;
        }
        MoveColRow(col, FixedRows(), !sh, true);
        SnapToBaseCell();
        if (sh)
            SetSelection(TGridRect{0, FixedRows(), ColCount() - 1, row});
        if (disjRows) {
            if (!sh)
                ClearRowMarks();
            SelectionToRowMarks(false);
        }
        raiseKeyDown(key, shift);
        reportSelection();
        return;
    }
    if (key == Qt::Key_Home && nav->HomeEndKey == heFirstLastColumn && (GridOptions() & goRowSelect)) {
        MoveColRow(FirstNormalColumn(), row, true, true);
        SetLeftCol(FirstNormalColumn());
        SnapToBaseCell();
        raiseKeyDown(key, shift);
        reportSelection();
        return;
    }
    if (key == Qt::Key_End && nav->HomeEndKey == heFirstLastRow) {
        // Under the floating footer's row the last row before it; the footers come into view.
        const int last = LastRowIsFooter() && RowCount() > 2 ? RowCount() - 2 : RowCount() - footers - 1;
        MoveColRow(col, last, !sh, true);
        if (footers > 0 || LastRowIsFooter())
            SetTopRow(std::max(FixedRows(), RowCount() - VisibleRowCount()));
        SnapToBaseCell();
        if (sh)
            SetSelection(TGridRect{0, row, ColCount() - 1, last});
        if (disjRows) {
            if (!sh)
                ClearRowMarks();
            SelectionToRowMarks(false);
        }
        raiseKeyDown(key, shift);
        reportSelection();
        return;
    }
    if (key == Qt::Key_End && nav->HomeEndKey == heFirstLastColumn && (GridOptions() & goRowSelect)) {
        MoveColRow(ColCount() - 1, row, true, true);
        SnapToBaseCell();
        SetLeftCol(std::max(FixedCols(), ColCount() - VisibleColCount()));
        raiseKeyDown(key, shift);
        reportSelection();
        return;
    }

    // Right opens and Left closes the node of a merged node row.
    if (HasNodes() && IsMergedCell(col, row) && IsNodeRow(RealRowIndex(row))) {
        if (key == Qt::Key_Right && IsNodeContracted(RealRowIndex(row)))
            ExpandNode(RealRowIndex(row));
        else if (key == Qt::Key_Left && !IsNodeContracted(RealRowIndex(row)))
            ContractNode(RealRowIndex(row));
    }
    if (nav->SkipFixedCells && !sh && skipFixedCells(key)) {
        raiseKeyDown(key, shift);
        reportSelection();
        return;
    }
    if (key == Qt::Key_Down && nav->AppendOnArrowDown && row == RowCount() - footers - 1) {
        bool canAdd = true;
        CanAddRow(canAdd);
        if (canAdd) {
            // The new row goes before the footers, so the footer row keeps its texts, objects and
            // calculations on the last row.
            if (footers > 0)
                InsertRows(RowCount() - footers, 1);
            else
                AddRow();
            if (footers > 0)
                MoveColRow(col, row + 1, true, true);
            if (LastRowIsFooter())
                CalcFooter(-1);
            if (OnAutoAddRow)
                OnAutoAddRow(this, Row());
        }
    }

    // The toolkit's turn.
    if (key != 0) {
        int k = key;
        if (OnKeyDown)
            OnKeyDown(this, k, modifiersOf(shift));
        if (k != 0)
            TBaseGrid::KeyDown(k, shift);
    }
    if ((key == Qt::Key_PageUp || key == Qt::Key_PageDown || key == Qt::Key_Up || key == Qt::Key_Down)
        && (GridOptions() & goRowSelect) && nav->KeepHorizScroll && LeftCol() != oldLeft)
        SetLeftCol(oldLeft);

    // A clipboard shortcut ends the key's handling (Shift+Delete cuts and deletes no row).
    if (nav->AllowClipboardShortCuts && clipboardShortcut(key, shift)) {
        reportSelection();
        return;
    }

    if (key == Qt::Key_Insert && nav->AllowInsertRow && !sh && !ctrl && !alt) {
        bool can = true;
        CanInsertRow(row, can);
        if (!can) {
            reportSelection();
            return;
        }
        if (nav->InsertPosition == pInsertAfter) {
            if (RowCount() == FixedRows() && FixedRowAlways()) {
                AutoInsertRow(row);
                SetRow(1);
            } else {
                AutoInsertRow(row + 1);
                if (row + 1 < RowCount())
                    MoveColRow(Col(), row + 1, true, true);
            }
        } else {
            AutoInsertRow(row);
        }
        CalcFooter(-1);
    }

    if (key == Qt::Key_A && ctrl && (GridOptions() & (goRowSelect | goRangeSelect))) {
        TGridRect range{FirstNormalColumn(), FixedRows(), ColCount() - FixedRightCols() - 1, RowCount() - footers - 1};
        if (disjRows) {
            for (int r = FixedRows(); r < RowCount() - footers; ++r)
                SetRowSelected(r, true);
        } else {
            KeySelectAllHook(range);
        }
        SetSelection(range);
    } else {
        disjunctMarks(key, shift);
    }

    if (key == Qt::Key_F2) {
        EditStarted(Col(), Row());
    }
    if (key == Qt::Key_Delete && nav->AllowDeleteRow && !alt && RowCount() > FixedRows() + footers) {
        bool can = true;
        if (OnCanDeleteRow)
            OnCanDeleteRow(this, Row(), can);
        if (can) {
            AutoDeleteRow(Row());
            EditStarted(Col(), Row());
            CalcFooter(-1);
        }
    }
    reportSelection();
}

bool TZedEzeravIvur::clipboardShortcut(int key, TShiftState shift)
{
    const bool sh = shift & ssShift, ctrl = shift & ssCtrl;
    enum { None, Cut, Paste, Copy } what = None;
    if ((ctrl && key == Qt::Key_X) || (sh && !ctrl && key == Qt::Key_Delete))
        what = Cut;
    else if ((ctrl && key == Qt::Key_V) || (sh && !ctrl && key == Qt::Key_Insert))
        what = Paste;
    else if ((ctrl && (key == Qt::Key_C || key == Qt::Key_Insert)))
        what = Copy;
    if (what == None)
        return false;
    bool allow = true;
    switch (what) {
    case Cut:
        if (OnClipboardCut)
            OnClipboardCut(this, allow);
        if (allow)
            CutToClipboard();
        break;
    case Paste:
        if (OnClipboardPaste)
            OnClipboardPaste(this, allow);
        if (allow)
            PasteFromClipboard();
        break;
    case Copy:
        if (OnClipboardCopy)
            OnClipboardCopy(this, allow);
        if (allow)
            CopyToClipboard();
        break;
    case None:
        break;
    }
    return true;
}

namespace {

// The widget that had the focus before the focus change under way: the application reports a
// change after the widgets' focus events.
QPointer<QWidget> g_focusBefore;

void trackFocus()
{
    static const bool connected = [] {
        QObject::connect(qApp, &QApplication::focusChanged, qApp,
                         [](QWidget*, QWidget* now) { g_focusBefore = now; });
        return true;
    }();
    (void)connected;
}

} // namespace

void TZedEzeravIvur::TrackFocusChanges() { trackFocus(); }

void TZedEzeravIvur::DoEnter()
{
    TBaseGrid::DoEnter();
    if (!m_enteringFromOutside)
        return;
    const auto restart = qScopeGuard([this] { EditStarted(Col(), Row()); });
    SelectCell(Col(), Row());
}

void TZedEzeravIvur::focusOutEvent(QFocusEvent* event)
{
    trackFocus();
    TBaseGrid::focusOutEvent(event);
    releasePressedControl();
}

void TZedEzeravIvur::focusInEvent(QFocusEvent* event)
{
    trackFocus();
    QWidget* before = g_focusBefore;
    // The focus coming back from a closed popup editor is ignored, once.
    if (m_popupEditorClosed) {
        m_popupEditorClosed = false;
        event->accept();
        return;
    }
    const bool fromInside = before && before != this && isAncestorOf(before);
    const auto entering = qScopeGuard([this] { m_enteringFromOutside = false; });
    m_enteringFromOutside =
        !fromInside && event->reason() != Qt::ActiveWindowFocusReason && event->reason() != Qt::PopupFocusReason;
    TBaseGrid::focusInEvent(event);   // DoEnter
    m_enteringFromOutside = false;
    if (IsCheckBoxCell(Col(), Row()))
        return;
    const bool fromEditor = InplaceEditor() && event->reason() == Qt::OtherFocusReason && InplaceEditor()->Visible();
    if (!fromEditor) {
        if (event->reason() == Qt::MouseFocusReason && QGuiApplication::mouseButtons() != Qt::NoButton) {
            m_focusByPress = true;
            // A press that never reaches the cells (a scroll bar's) leaves it to the focus.
            QTimer::singleShot(0, this, [this] {
                if (std::exchange(m_focusByPress, false) && hasFocus())
                    alwaysEditOnFocus();
            });
        } else
            alwaysEditOnFocus();
    }
    if ((FixedRowAlways() && RowCount() == FixedRows() + 1) || (FixedColAlways() && ColCount() == FixedCols() + 1))
        HideSelection();
}

void TZedEzeravIvur::alwaysEditOnFocus()
{
    if (Navigation()->AlwaysEdit && GridState() == gsNormal && !CellRect(Col(), Row()).isEmpty()
        && !MouseActions()->DirectEdit)
        ShowEditorForCurrentCell();
}

void TZedEzeravIvur::keyPressEvent(QKeyEvent* event)
{
    // A key ends panning and goes no further.
    if (m_panning) {
        EndPan();
        event->accept();
        return;
    }
    // "." on the numeric keypad types the locale's decimal separator.
    if (ExcelStyleDecimalSeparator && event->key() == Qt::Key_Period && (event->modifiers() & Qt::KeypadModifier)) {
        const QString sep = QLocale().decimalPoint();
        QKeyEvent local(event->type(), event->key(), event->modifiers(), sep, event->isAutoRepeat(), ushort(event->count()));
        TBaseGrid::keyPressEvent(&local);
        event->accept();
        return;
    }
    TBaseGrid::keyPressEvent(event);
}

void TZedEzeravIvur::KeyPress(QChar& key)
{
    const int col = Col(), row = Row();
    const ushort ch = key.unicode();
    const bool control = IsControlCell(col, row);

    // Typing into a cell with RangeSelectAndEdit switches editing on and brings the cell into view.
    if (MouseActions()->RangeSelectAndEdit && !control && ch != 9 && ch != 27 && ch != 13) {
        bool can = !IsFixedCell(col, row);
        CanEditCell(col, row, can);
        if (can) {
            m_pendingEditChar = key;
            SetGridOptions(GridOptions() | goEditing);
            if (CellRect(col, row).isEmpty())
                GoToCell(col, row);
            TBaseGrid::KeyPress(key);
            return;
        }
    }
    if (control && ch != 13) {
        key = QChar();
        return;
    }
    if ((GridOptions() & goEditing) && (ch == 8 || ch > 31) && ch != 127) {
        if (OnKeyPress)
            OnKeyPress(this, key);
        m_pendingEditChar = key;
        if (!key.isNull())
            TBaseGrid::KeyPress(key);
        return;
    }

    if (ch == 27 && (GridOptions() & goEditing) && EditingInProgress()) {
        RestoreEditText();
        return;
    }
    if (ch == 13 && !(hasFocus() && !control)) {
        const int oldCol = Col();
        AdvanceCell(Col(), Row(), false, true, false, false);
        if (IsControlCell(oldCol, row)) {
            if (OnKeyPress)
                OnKeyPress(this, key);
            return;
        }
    }

    // The incremental lookup.
    if (!(GridOptions() & goEditing) && Navigation()->AutoGotoWhenSorted && ch != 13 && ch != 27) {
        if (Navigation()->AutoGotoIncremental) {
            if (ch == 8)
                m_lookupText.chop(1);
            else
                m_lookupText += key;
            m_lookupTicks = 0;
        } else {
            m_lookupText = QString(key);
        }
        const int found = FindRowByPrefix(m_lookupText.toUpper());
        if (found < 0)
            m_lookupText.clear();
        else
            MoveColRow(Col(), found, true, true);
    }
    if (OnKeyPress)
        OnKeyPress(this, key);
    if (!key.isNull())
        TBaseGrid::KeyPress(key);
}

void TZedEzeravIvur::KeyUp(int& key, TShiftState shift)
{
    switch (key) {
    case Qt::Key_PageUp: case Qt::Key_PageDown: case Qt::Key_End:
    case Qt::Key_Left: case Qt::Key_Up: case Qt::Key_Right: case Qt::Key_Down:
    case Qt::Key_Insert: case Qt::Key_Delete:
        m_lookupText.clear();
        break;
    default:
        break;
    }
    TBaseGrid::KeyUp(key, shift);
    // With AlwaysEdit the editor follows the arrow keys (and Tab when the grid takes it).
    const bool arrow = key == Qt::Key_Left || key == Qt::Key_Right || key == Qt::Key_Up || key == Qt::Key_Down;
    const bool tab = (key == Qt::Key_Tab || key == Qt::Key_Backtab) && (GridOptions() & goTabs);
    if (Navigation()->AlwaysEdit && (arrow || tab))
        ShowEditor();
}

// ------------------------------------------------------------------ rows by key

void TZedEzeravIvur::AutoInsertRow(int row)
{
    if (HasNodes()) {
        const int real = RealRowIndex(std::min(row, RowCount() - 1));
        const int parent = GetParentNode(real);
        InsertRows(row, 1);
        if (parent >= 0 && parent != real)
            AddNodeSpan(parent, 1);
    } else {
        InsertRows(row, 1);
    }
    if (OnAutoInsertRow)
        OnAutoInsertRow(this, row);
}

void TZedEzeravIvur::AutoDeleteRow(int row)
{
    if (HasNodes()) {
        const int real = RealRowIndex(row);
        const int parent = GetParentNode(real);
        RemoveRows(row, 1);
        if (parent >= 0 && parent != real)
            AddNodeSpan(parent, -1);
    } else if (RowCount() - FixedRows() - FixedFooters() == 1 && !FixedRowAlways()) {
        ClearRect(0, row, ColCount() - 1, row);
        RepaintRow(row);
    } else {
        RemoveRows(row, 1);
    }
    if (OnAutoDeleteRow)
        OnAutoDeleteRow(this, row);
}

// ------------------------------------------------------------------ timer and size

void TZedEzeravIvur::TimerTick()
{
    ++m_timerTicks;
    if (Navigation()->AutoGotoIncremental) {
        if (m_lookupTicks >= 3) {
            m_lookupText.clear();
            m_lookupTicks = 0;
        } else {
            ++m_lookupTicks;
        }
    }
    if (Hovering && !Designing()) {
        const QPoint p = viewport()->mapFromGlobal(QCursor::pos());
        if (viewport()->rect().contains(p)) {
            const TGridCoord c = MouseCoord(p.x(), p.y());
            if (c.X >= FixedCols() && c.Y >= FixedRows() && c.X < ColCount() - FixedRightCols()
                && c.Y < RowCount() - FixedFooters()) {
                setFocus(Qt::OtherFocusReason);
                if (c.X != Col() || c.Y != Row())
                    FocusCell(c.X, c.Y, true);
            }
        }
    }
    if (EnableBlink) {
        BlinkPhase = !BlinkPhase;
        const int lastRow = std::min(RowCount() - 1, TopRow() + VisibleRowCount());
        const int lastCol = std::min(ColCount() - 1, LeftCol() + VisibleColCount());
        auto blinkCell = [&](int c, int r) {
            if (DisplayText(c, r).contains(QLatin1String("<BLI"), Qt::CaseInsensitive))
                InvalidateCell(c, r);
        };
        for (int r = TopRow(); r <= lastRow; ++r)
            for (int c = LeftCol(); c <= lastCol; ++c)
                blinkCell(c, r);
        for (int r = 0; r < FixedRows(); ++r)
            for (int c = LeftCol(); c <= lastCol; ++c)
                blinkCell(c, r);
        for (int c = 0; c < FixedCols(); ++c)
            for (int r = TopRow(); r <= lastRow; ++r)
                blinkCell(c, r);
    }
}

void TZedEzeravIvur::Resized()
{
    TBaseGrid::Resized();
    if (m_inResized)
        return;
    m_inResized = true;
    struct Done {
        bool& flag;
        ~Done() { flag = false; }
    } done{m_inResized};
    const int w = width();
    // A stretching column takes up the room the other columns leave; then the widths are not
    // scaled with the grid.
    if (ColumnSize()->Stretch() && ColCount() > 0) {
        int col = ColumnSize()->StretchColumn;
        if (col < 0 || col >= ColCount())
            col = ColCount() - 1;
        int others = 0;
        for (int c = 0; c < ColCount(); ++c)
            if (c != col)
                others += ColWidths(c);
        if (others < viewport()->width()) {
            doStretch(col, false);
            m_knownWidth = w;
            return;
        }
    }
    if (ColumnSize()->SynchWithGrid && m_knownWidth > 0 && w != m_knownWidth) {
        HideEditor();
        const double factor = double(w) / m_knownWidth;
        for (int c = 0; c < ColCount(); ++c)
            SetColWidths(c, int(std::lround(ColWidths(c) * factor)));
    }
    m_knownWidth = w;
}

} // namespace grid
