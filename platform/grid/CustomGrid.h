#pragma once
// The toolkit's grid base: a scroll area that paints its viewport as a table of cells. It keeps the
// cell geometry (column and row counts, fixed columns and rows, widths and heights, top row and left
// column), the focus cell, grid lines, the scroll bars, mouse sizing and column and row moving, timed
// scrolling while the mouse is held beyond the edge, and the host of an in-place editor.
//
// Descendants paint the cells (DrawCell) and react through the virtual hooks; the base draws the
// grid lines and the empty area right of and below the cells. Data grids that drive the vertical bar
// themselves override ScrollBarAction / ScrollBarChanged / UpdateScrollBars.
#include "platform/grid/GridColors.h"
#include "platform/grid/Toolkit.h"
#include <QAbstractScrollArea>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPoint>
#include <QPointer>
#include <QRect>
#include <QTimer>
#include <vector>

class QPainter;

namespace tk {

enum TGridOption {
    goFixedVertLine = 1 << 0, goFixedHorzLine = 1 << 1, goVertLine = 1 << 2, goHorzLine = 1 << 3,
    goRangeSelect = 1 << 4, goDrawFocusSelected = 1 << 5, goRowSizing = 1 << 6, goColSizing = 1 << 7,
    goRowMoving = 1 << 8, goColMoving = 1 << 9, goEditing = 1 << 10, goTabs = 1 << 11,
    goRowSelect = 1 << 12, goAlwaysShowEditor = 1 << 13, goThumbTracking = 1 << 14,
};
using TGridOptions = int;

enum TGridDrawFlag { gdSelected = 1, gdFocused = 2, gdFixed = 4 };
using TGridDrawState = int;

enum TGridState { gsNormal, gsSelecting, gsRowSizing, gsColSizing, gsRowMoving, gsColMoving };
enum TScrollStyle { ssNone, ssHorizontal, ssVertical, ssBoth };

struct TGridCoord {
    int X = -1;
    int Y = -1;
    bool operator==(const TGridCoord&) const = default;
};

struct TGridRect {
    int Left = 0;
    int Top = 0;
    int Right = 0;
    int Bottom = 0;
    bool operator==(const TGridRect&) const = default;
};

class TCustomGrid;

// The in-place editor as the grid hosts it: a line edit or a multi-line edit. Texts and positions are
// in the grid's form, where a line break is CR LF.
class TInplaceEditor {
public:
    explicit TInplaceEditor(TCustomGrid* grid) : m_grid(grid) {}
    virtual ~TInplaceEditor() = default;
    TInplaceEditor(const TInplaceEditor&) = delete;
    TInplaceEditor& operator=(const TInplaceEditor&) = delete;

    TCustomGrid* Grid() const { return m_grid; }
    virtual QWidget* Widget() = 0;
    const QWidget* Widget() const { return const_cast<TInplaceEditor*>(this)->Widget(); }
    virtual bool MultiLine() const = 0;

    // Contents: reads the text of the focus cell from the grid and the limits.
    virtual void UpdateContents() = 0;
    // Bounds: places the editor over `rect` (viewport coordinates) and shows it.
    virtual void Move(const QRect& rect) = 0;

    virtual QString Text() const = 0;
    virtual void SetText(const QString& text) = 0;
    // Caret and selection, as positions in Text(); a selection leaves the caret at its end.
    virtual int CaretPos() const = 0;
    virtual void SetCaretPos(int pos) = 0;
    virtual int SelStart() const = 0;
    virtual int SelLength() const = 0;
    virtual void SetSelection(int start, int length) = 0;
    bool HasSelection() const { return SelLength() > 0; }
    QString SelText() const { return Text().mid(SelStart(), SelLength()); }
    void SelectAll() { SetSelection(0, int(Text().size())); }
    // Replaces the selection (or inserts at the caret) as typing would.
    virtual void InsertText(const QString& text) = 0;
    // Whether the caret is on the first / on the last line shown.
    virtual bool CaretOnFirstLine() const = 0;
    virtual bool CaretOnLastLine() const = 0;
    // The editor pixel position of the character at `pos`.
    virtual QPoint PosFromChar(int pos) const = 0;

    void Show() { Widget()->show(); }
    void Hide() { Widget()->hide(); }
    bool Visible() const { return Widget()->isVisible(); }
    void SetFocus() { Widget()->setFocus(); }
    bool Focused() const { return Widget()->hasFocus(); }

protected:
    // The toolkit's key-down forwarding: navigation keys, Tab, Escape, Enter and F2 go to the grid
    // (true: the grid had the key). Otherwise a key that changes the text first asks the grid whether
    // the cell may change (false with `refused` set when it may not).
    bool ForwardKeyToGrid(QKeyEvent* event, bool& refused);

private:
    TCustomGrid* m_grid;
};

// The line-edit in-place editor. Keys it does not use itself go to the grid.
class TInplaceEdit : public QLineEdit, public TInplaceEditor {
    Q_OBJECT
public:
    explicit TInplaceEdit(TCustomGrid* grid);
    QWidget* Widget() override { return this; }
    bool MultiLine() const override { return false; }
    void UpdateContents() override;
    void Move(const QRect& rect) override;
    QString Text() const override { return text(); }
    void SetText(const QString& value) override { setText(value); }
    int CaretPos() const override { return cursorPosition(); }
    void SetCaretPos(int pos) override { setCursorPosition(pos); }
    int SelStart() const override { return hasSelectedText() ? selectionStart() : cursorPosition(); }
    int SelLength() const override { return hasSelectedText() ? int(selectedText().size()) : 0; }
    void SetSelection(int start, int length) override { setSelection(start, length); }
    void InsertText(const QString& value) override { insert(value); }
    bool CaretOnFirstLine() const override { return true; }
    bool CaretOnLastLine() const override { return true; }
    QPoint PosFromChar(int pos) const override;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    // The line edit's own key handling, without the grid's forwarding.
    void NativeKeyPress(QKeyEvent* event) { QLineEdit::keyPressEvent(event); }
};

// The multi-line in-place editor: the same forwarding; the grid's CR LF line breaks are the
// editor's line breaks.
class TInplaceMemo : public QPlainTextEdit, public TInplaceEditor {
    Q_OBJECT
public:
    explicit TInplaceMemo(TCustomGrid* grid);
    QWidget* Widget() override { return this; }
    bool MultiLine() const override { return true; }
    void UpdateContents() override;
    void Move(const QRect& rect) override;
    QString Text() const override;
    void SetText(const QString& value) override;
    int CaretPos() const override { return ToGridPos(textCursor().position()); }
    void SetCaretPos(int pos) override;
    int SelStart() const override { return ToGridPos(textCursor().selectionStart()); }
    int SelLength() const override;
    void SetSelection(int start, int length) override;
    void InsertText(const QString& value) override;
    bool CaretOnFirstLine() const override;
    bool CaretOnLastLine() const override;
    QPoint PosFromChar(int pos) const override;
    int MaxLength() const { return m_maxLength; }
    // The text as the editor holds it (line breaks as LF).
    QString EditorText() const;
    int ToGridPos(int editorPos) const;
    int ToEditorPos(int gridPos) const;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void NativeKeyPress(QKeyEvent* event) { QPlainTextEdit::keyPressEvent(event); }
    // Inner margins of the text inside the editor.
    void SetTextMargins(int left, int top, int right, int bottom) { setViewportMargins(left, top, right, bottom); }
    // True while the text is set by the program (no edit notification).
    bool SettingText() const { return m_settingText; }

private:
    int m_maxLength = 0;
    bool m_settingText = false;
};

class TCustomGrid : public QAbstractScrollArea {
    Q_OBJECT
public:
    explicit TCustomGrid(QWidget* parent = nullptr);
    ~TCustomGrid() override;

    // --- geometry
    int ColCount() const { return int(m_colWidths.size()); }
    void SetColCount(int value);
    int RowCount() const { return int(m_rowHeights.size()); }
    void SetRowCount(int value);
    int FixedCols() const { return m_fixedCols; }
    void SetFixedCols(int value);
    int FixedRows() const { return m_fixedRows; }
    void SetFixedRows(int value);
    int DefaultColWidth() const { return m_defaultColWidth; }
    void SetDefaultColWidth(int value);
    int DefaultRowHeight() const { return m_defaultRowHeight; }
    void SetDefaultRowHeight(int value);   // all rows take it
    int ColWidths(int col) const;
    void SetColWidths(int col, int width);
    int RowHeights(int row) const;
    void SetRowHeights(int row, int height);
    // Every row's height at once (a vector of RowCount entries; others are ignored), with one
    // notification and one repaint.
    void SetAllRowHeights(const std::vector<int>& heights);
    const std::vector<int>& AllRowHeights() const { return m_rowHeights; }
    // Whether Tab stops at a column (all columns do until told otherwise).
    bool TabStops(int col) const { return col >= 0 && col < int(m_tabStops.size()) ? m_tabStops[size_t(col)] : false; }
    void SetTabStops(int col, bool value);
    int GridLineWidth() const { return m_gridLineWidth; }
    void SetGridLineWidth(int value);
    // Line width between columns / rows with the current options (0 when the lines are off).
    int ColLineWidth(bool fixed = false) const;
    int RowLineWidth(bool fixed = false) const;

    int TopRow() const { return m_topRow; }
    void SetTopRow(int value);
    int LeftCol() const { return m_leftCol; }
    void SetLeftCol(int value);
    int VisibleColCount() const;           // scrollable columns that fit completely (at least 1)
    int VisibleRowCount() const;           // scrollable rows that fit completely (at least 1)
    int GridWidth() const;                 // pixels up to the end of the last visible column
    int GridHeight() const;

    // --- focus cell
    int Col() const { return m_col; }
    void SetCol(int value);
    int Row() const { return m_row; }
    void SetRow(int value);
    // Moves the focus cell (asks SelectCell first); Show scrolls it into view.
    void MoveColRow(int col, int row, bool moveAnchor, bool show);
    void FocusCell(int col, int row, bool moveAnchor) { MoveColRow(col, row, moveAnchor, true); }
    // The rectangle between the anchor and the focus cell.
    TGridRect Selection() const;
    // Anchor at the top left, focus cell at the bottom right, without range checks: a rectangle
    // outside the grid selects no cell.
    void SetSelection(const TGridRect& rect);

    // Viewport rectangle of a cell without its grid lines; empty when the cell is not on screen.
    // Right to left (the layout direction) the columns run from the viewport's right edge: the
    // rectangle is mirrored within the viewport's width.
    QRect CellRect(int col, int row) const;
    // Cell under a viewport point; X or Y is -1 where the point lies outside the cells.
    TGridCoord MouseCoord(int x, int y) const;
    bool RightToLeft() const { return layoutDirection() == Qt::RightToLeft; }
    // A viewport x as counted from the side the columns start at (mirrored right to left), and a
    // rectangle of that counting placed in the viewport.
    int LogicalX(int x) const;
    QRect VisualRect(const QRect& logical) const;

    // --- options and look
    TGridOptions GridOptions() const { return m_options; }
    void SetGridOptions(TGridOptions value);
    TScrollStyle ScrollBars() const { return m_scrollBars; }
    void SetScrollBars(TScrollStyle value);
    TColor Color() const { return m_color; }
    void SetColor(TColor value);
    TColor GridFixedColor() const { return m_fixedColor; }
    void SetGridFixedColor(TColor value);
    TGridState GridState() const { return m_gridState; }

    // --- in-place editor
    bool EditorMode() const { return m_editorMode; }
    void SetEditorMode(bool value);
    void ShowEditor();
    void HideEditor();
    void InvalidateEditor();               // reads the editor's contents again
    void UpdateEditor();                   // shows, moves or hides the editor by the state
    TInplaceEditor* InplaceEditor() const { return m_editor; }
    bool EditorVisible() const { return m_editor && m_editor->Visible(); }

    // --- repainting
    void InvalidateCell(int col, int row);
    void InvalidateRow(int row);
    void InvalidateCol(int col);
    virtual void InvalidateGrid();
    // Paints the cells into any painter (pictures, printing); exceptions of DrawCell pass through.
    void PaintTo(QPainter& painter, const QRect& clip);
    // The painter of the paint in progress (nullptr outside painting).
    QPainter* Canvas() const { return m_canvas; }

    // Wheel lines of the desktop setting.
    static int WheelScrollLines();

    // --- hooks of the editor (public so the editor can reach them)
    virtual QString GetEditText(int col, int row);
    virtual void SetEditText(int col, int row, const QString& value);
    virtual int GetEditLimit() { return 0; }
    virtual QString GetEditMask(int col, int row) { (void)col; (void)row; return QString(); }
    virtual bool CanEditModify() { return true; }
    virtual bool CanEditAcceptKey(QChar key) { (void)key; return true; }
    // Keys the editor forwards (navigation, Tab, Esc, Enter).
    void EditorKeyDown(int key, TShiftState shift);
    // Characters the editor hands to the grid first (its key-press stage).
    void EditorKeyPress(QChar& key) { KeyPress(key); }

protected:
    // --- painting
    virtual void DrawCell(int col, int row, const QRect& rect, TGridDrawState state) = 0;
    virtual void Paint(QPainter& painter, const QRect& clip);
    // Colour of the lines between data cells / fixed cells.
    virtual QColor GridLineColor(bool fixed) const;

    // --- notifications
    virtual bool SelectCell(int col, int row) { (void)col; (void)row; return true; }
    virtual void TopLeftChanged() {}
    virtual void ColWidthsChanged() { UpdateScrollBars(); UpdateEditor(); }
    virtual void RowHeightsChanged() { UpdateScrollBars(); UpdateEditor(); }
    virtual void SizeChanged(int oldColCount, int oldRowCount) { (void)oldColCount; (void)oldRowCount; }
    virtual void ColumnMoved(int fromIndex, int toIndex) { (void)fromIndex; (void)toIndex; }
    virtual void RowMoved(int fromIndex, int toIndex) { (void)fromIndex; (void)toIndex; }
    // The grid's visible area changed size.
    virtual void Resized() {}

    // --- input (the toolkit's dispatch points)
    virtual void KeyDown(int& key, TShiftState shift);
    virtual void KeyPress(QChar& key);
    virtual void KeyUp(int& key, TShiftState shift) { (void)key; (void)shift; }
    virtual void MouseDown(TMouseButton button, TShiftState shift, int x, int y);
    virtual void MouseMove(TShiftState shift, int x, int y);
    virtual void MouseUp(TMouseButton button, TShiftState shift, int x, int y);
    // Returns true when handled; delta in notches (positive = up).
    virtual bool DoMouseWheel(TShiftState shift, int notches, const QPoint& pos);
    // Mouse held beyond an edge while selecting: direction -1 up, +1 down, -2 left, +2 right.
    virtual void TimedScroll(int direction);
    virtual void DoEnter() {}
    virtual void DoExit() {}

    // --- sizing and moving
    // Decides the sizing state for a press at (x, y): gsColSizing / gsRowSizing with the index of the
    // sized column or row, or gsNormal.
    virtual TGridState CalcSizingState(int x, int y, int& index, int& sizingPos, int& sizingOfs);
    virtual bool BeginColumnDrag(int& origin, int& destination, const QPoint& pt);
    virtual bool CheckColumnDrag(int& origin, int& destination, const QPoint& pt);
    virtual bool EndColumnDrag(int& origin, int& destination, const QPoint& pt);
    // Rows move like columns, by a press in a fixed column with goRowMoving.
    virtual bool BeginRowDrag(int& origin, int& destination, const QPoint& pt);
    virtual bool CheckRowDrag(int& origin, int& destination, const QPoint& pt);
    virtual bool EndRowDrag(int& origin, int& destination, const QPoint& pt);
    void MoveColumn(int fromIndex, int toIndex);   // moves the widths; raises ColumnMoved
public:
    // Moves a row's height (and, in descendants, its cells); the focus row goes along; raises
    // RowMoved.
    virtual void MoveRow(int fromIndex, int toIndex);
protected:
    void CancelMode();                             // ends sizing, moving and selecting

    // --- editor
    virtual TInplaceEditor* CreateEditor();
    virtual bool CanEditShow() const;
    // Whether the editor suits the cell about to be edited; one that does not is replaced by a new
    // one from CreateEditor.
    virtual bool EditorFits(TInplaceEditor* editor) { (void)editor; return true; }

    // --- scroll bars
    virtual void UpdateScrollBars();
    // A scroll bar action (QAbstractSlider::SliderAction) before the bar moves.
    virtual void ScrollBarAction(Qt::Orientation orientation, int action) { (void)orientation; (void)action; }
    // A scroll bar's value changed (by the user or by UpdateScrollBars).
    virtual void ScrollBarChanged(Qt::Orientation orientation, int value);
    // Moves the pixels of the data rows by `rows` rows (positive = content moves up).
    void ScrollDataRows(int rows, int rowHeight);
    // Whether everything painted outside the fixed rows and columns moves with its cell, so that a
    // new top row or left column may move the pixels already painted and repaint only the rows or
    // columns that come into view.
    virtual bool CanScrollPixels() const { return false; }

    // --- Qt
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    bool focusNextPrevChild(bool next) override;

    int SizingIndex() const { return m_sizingIndex; }
    QPoint MoveOriginPoint() const { return m_movePoint; }
    // The column (row) being moved, where it would land now, and whether the pointer has left the
    // press point far enough for the move to count.
    int MoveIndex() const { return m_moveIndex; }
    int MoveTarget() const { return m_movePos; }
    bool MoveStarted() const { return m_moveStarted; }

    // Removes `eraseCount` row slots from `at` and inserts slots of the given heights there; the
    // current and top rows keep their numbers within the new bounds, then SizeChanged runs (the
    // string grid has already moved its records).
    void SpliceRowHeights(int at, int eraseCount, const std::vector<int>& heights);

private:
    void ClampInView(int col, int row);
    // Moves the painted cells after the top row or the left column changed from `oldFirst`; false
    // when the viewport has to be painted again as a whole.
    bool ScrollPixels(Qt::Orientation orientation, int oldFirst);
    int MaxTopRow() const;
    int MaxLeftCol() const;
    int ColX(int col) const;     // viewport x of a column's left edge, -1 when hidden
    int RowY(int row) const;
    void StartTimedScroll(int direction);
    void StopTimedScroll();
    void DoTimedScroll();

    std::vector<int> m_colWidths;
    std::vector<int> m_rowHeights;
    std::vector<bool> m_tabStops;
    int m_fixedCols = 1;
    int m_fixedRows = 1;
    int m_defaultColWidth = 64;
    int m_defaultRowHeight = 24;
    int m_gridLineWidth = 1;
    int m_topRow = 1;
    int m_leftCol = 1;
    int m_col = 1;
    int m_row = 1;
    int m_anchorCol = 1;
    int m_anchorRow = 1;
    TGridOptions m_options = goFixedVertLine | goFixedHorzLine | goVertLine | goHorzLine | goRangeSelect;
    TScrollStyle m_scrollBars = ssBoth;
    TColor m_color = gfx::clWindow;
    TColor m_fixedColor = gfx::clBtnFace;

    TGridState m_gridState = gsNormal;
    int m_sizingIndex = -1;
    int m_sizingPos = 0;
    int m_sizingOfs = 0;
    int m_moveIndex = -1;
    int m_movePos = -1;
    QPoint m_movePoint;
    bool m_moveStarted = false;

    bool m_editorMode = false;
    TInplaceEditor* m_editor = nullptr;
    QPainter* m_canvas = nullptr;
    bool m_updatingBars = false;
    int m_wheelDelta = 0;            // wheel movement not yet a whole notch

    QTimer m_scrollTimer;
    int m_scrollDirection = 0;

    void replaceEditor();

    friend class TInplaceEdit;
    friend class TInplaceEditor;
};

} // namespace tk
