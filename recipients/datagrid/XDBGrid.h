#pragma once
// The data-aware grid: shows the records of a dataset (through a TDataSource) as rows and its fields
// as columns. Grid rows are the data link's record buffers: the row count is the link's record count
// (at most the visible rows) plus the title rows, and the vertical bar is driven by the grid from
// the dataset position. TXDBGrid is the grid the windows place; TXCustomDBGrid holds the behaviour.
#include "platform/db/DataSet.h"
#include "platform/grid/CustomGrid.h"
#include "platform/grid/DrawUtils.h"
#include "recipients/datagrid/XDBGridColumns.h"
#include "recipients/datagrid/XDBGridHints.h"
#include <QEvent>
#include <QFontMetrics>
#include <QMenu>
#include <QMimeData>
#include <QPixmap>
#include <QPointer>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace xdb {

using tk::EInvalidGridOperation;
using tk::TShiftState;

// Options (a set of 32 members).
enum TXDBGridOption : quint32 {
    dgEditing = 1u << 0, dgAlwaysShowEditor = 1u << 1, dgTitles = 1u << 2, dgIndicator = 1u << 3,
    dgColumnResize = 1u << 4, dgColLines = 1u << 5, dgRowLines = 1u << 6, dgTabs = 1u << 7,
    dgRowSelect = 1u << 8, dgAlwaysShowSelection = 1u << 9, dgConfirmDelete = 1u << 10,
    dgCancelOnExit = 1u << 11, dgMultiSelect = 1u << 12, dgExtendedSelect = 1u << 13,
    dgInternalSelect = 1u << 14, dgRowResize = 1u << 15, dgRowScroll = 1u << 16, dgHotButtons = 1u << 17,
    dgTitleButtons = 1u << 18, dgTitleHeaders = 1u << 19, dgTitleWidthOff = 1u << 20,
    dgAllowDeleteOff = 1u << 21, dgAllowInsertOff = 1u << 22, dgAutoUnselectOff = 1u << 23,
    dgIndicatorMarkOff = 1u << 24, dgMarkerAutoAlign = 1u << 25, dgMarkerAutoSwitch = 1u << 26,
    dgMarkerAutoToggle = 1u << 27, dgMarkerAscendOnly = 1u << 28, dgForceSequence = 1u << 29,
    dgThumbTracking = 1u << 30, dgRightMoving = 1u << 31,
};
using TXDBGridOptions = quint32;
constexpr TXDBGridOptions kDefaultGridOptions =
    dgEditing | dgTitles | dgIndicator | dgColumnResize | dgColLines | dgRowLines | dgTabs | dgConfirmDelete |
    dgCancelOnExit | dgExtendedSelect | dgInternalSelect | dgRowResize | dgRowScroll | dgHotButtons |
    dgTitleButtons | dgTitleHeaders | dgTitleWidthOff | dgMarkerAutoAlign | dgMarkerAutoToggle;

enum TXResizeOption { roColumnResize = 1, roOptimalWidth = 2, roDefaultWidth = 4, roColumnMoving = 8 };
using TXResizeOptions = int;

enum TSelectAction { saUnselect, saSelect, saClear, saDelete, saRefresh };
enum TSelection { slCellSelected = 1, slRowSelected = 2, slMultiSelected = 4, slCellFixed = 8, slRowStriped = 16 };
using TSelections = int;
enum THintCell { hcTitle, hcHeader, hcFiller, hcEditor, hcData, hcIndicator };
enum TTextKind { tkEdit, tkDisplay, tkReport };
enum TFixedStyle { fsDefault, fsSoft, fsNice, fsFlat, fsFine, fsMild };
enum TFixedTheme { ftNone, ftDefault, ftButtons, ftTabs };
enum TVisualStyle { vsCustom, vsDefault, vsStandard, vsXPStyle };
enum TMarkerStyle { msAuto, msAutoGray, msDefault, msSoft, msRaisedDark, msRaisedGray, msRaisedMild,
                    msLoweredDark, msLoweredGray, msLoweredMild, msFlat, msGray, msMild };
enum TMarkerTransparent { mtAuto, mtTrue, mtFalse };
enum THotButtons { hbAuto, hbBump, hbTile, hbLowered, hbRaised };
enum TFocusRect { frAuto, frDefault, frGray, frMild, frNone };
enum TListBorder { lbAuto, lbDefault, lbMild, lbGray };
enum TDragKind { dkDrag, dkDock };
enum TScrollBarStyle { ssRegular, ssFlat, ssHotTrack };

class TXCustomDBGrid;

// ------------------------------------------------------------------ TXGridStyle

class TXGridStyle {
public:
    explicit TXGridStyle(TXCustomDBGrid* grid) : m_grid(grid) {}
    virtual ~TXGridStyle() = default;
    int DataRowSpace() const { return m_dataRowSpace; }
    void SetDataRowSpace(int value);
    int HeaderRowSpace() const { return m_headerRowSpace; }
    void SetHeaderRowSpace(int value);
    int TitleColMargin() const { return m_titleColMargin; }
    void SetTitleColMargin(int value);
    int TitleRowSpace() const { return m_titleRowSpace; }
    void SetTitleRowSpace(int value);
    TVisualStyle VisualStyle() const { return m_visualStyle; }
    void SetVisualStyle(TVisualStyle value);

private:
    void Changed(bool refreshEditor);
    TXCustomDBGrid* m_grid;
    int m_dataRowSpace = 4;
    int m_headerRowSpace = 8;
    int m_titleColMargin = 1;
    int m_titleRowSpace = 8;
    TVisualStyle m_visualStyle = vsXPStyle;
};

// ------------------------------------------------------------------ TXScrollProp (what the bars use)

class TXScrollProp {
public:
    explicit TXScrollProp(TXCustomDBGrid* grid) : m_grid(grid) {}
    virtual ~TXScrollProp() = default;
    tk::TScrollStyle AutoHidden() const { return m_autoHidden; }
    void SetAutoHidden(tk::TScrollStyle value);
    tk::TScrollStyle ThumbBar() const { return m_thumbBar; }
    void SetThumbBar(tk::TScrollStyle value);
    // The flat scroll bar look: the bars' background Color, and a flat (ssFlat), hot-tracking
    // (ssHotTrack) or raised (ssRegular) look of arrows and thumb; see FlatScrollBars.
    TColor Color() const { return m_color; }
    void SetColor(TColor value);                 // ParentColor off
    bool ParentColor() const { return m_parentColor; }
    void SetParentColor(bool value);             // on: Color back to clBtnHighlight
    TScrollBarStyle Style() const;               // with ParentStyle: by the grid's FixedStyle
    void SetStyle(TScrollBarStyle value);        // ParentStyle off
    bool ParentStyle() const { return m_parentStyle; }
    void SetParentStyle(bool value);
    bool WinXPMode() const { return m_winXPMode; }
    void SetWinXPMode(bool value);

private:
    TXCustomDBGrid* m_grid;
    tk::TScrollStyle m_autoHidden = tk::ssHorizontal;
    tk::TScrollStyle m_thumbBar = tk::ssBoth;
    TColor m_color = gfx::clBtnHighlight;
    bool m_parentColor = true;
    TScrollBarStyle m_style = ssRegular;
    bool m_parentStyle = true;
    bool m_winXPMode = false;
};

// ------------------------------------------------------------------ TXGridDataLink

class TXGridDataLink : public db::TDataLink {
public:
    explicit TXGridDataLink(TXCustomDBGrid* grid);
    ~TXGridDataLink() override;

    TXCustomDBGrid* Grid() const { return m_grid; }
    int FieldCount() const { return int(m_fieldMap.size()); }
    int FieldIndex(int i) const { return i >= 0 && i < FieldCount() ? m_fieldMap[size_t(i)] : -1; }
    db::TField* Fields(int i) const;            // nullptr for -1 or an index out of range
    bool SparseMap() const { return m_sparseMap; }
    void SetSparseMap(bool value) { m_sparseMap = value; }
    void ClearMapping();
    bool AddMapping(const QString& fieldName);
    bool DefaultFields() const;                 // the dataset has default fields and the map no gap
    void Modified() { m_modified = true; }
    bool IsModified() const { return m_modified; }
    void Reset();
    bool InUpdateData() const { return m_inUpdateData; }

protected:
    void ActiveChanged() override;
    void DataSetChanged() override;
    void DataSetScrolled(int distance) override;
    void EditingChanged() override;
    void FocusControl(db::TField*& field) override;
    void LayoutChanged() override;
    void RecordChanged(db::TField* field) override;
    void UpdateData() override;

private:
    TXCustomDBGrid* m_grid;
    std::vector<int> m_fieldMap;
    std::vector<db::TField*> m_watched;   // fields that tell the grid when they go away
    bool m_sparseMap = false;
    bool m_modified = false;
    bool m_inUpdateData = false;
};

// ------------------------------------------------------------------ TXBookmarkList

// The selected records: their bookmarks (row keys), sorted in display order.
class TXBookmarkList {
    friend class TXCustomDBGrid;

public:
    explicit TXBookmarkList(TXCustomDBGrid* grid);

    int Count();
    db::TBookmark Items(int index);
    void Clear();
    int Compare(const db::TBookmark& a, const db::TBookmark& b) const;
    db::TBookmark CurrentRow() const;           // raises on a closed dataset
    bool Find(const db::TBookmark& bookmark, int& index);
    bool IndexOf(const db::TBookmark& bookmark) { int i; return Find(bookmark, i); }
    bool CurrentRowSelected();
    void SetCurrentRowSelected(bool value);
    // Deletes the selected records (only those whose bookmark still names a record).
    void Delete();
    bool Active() const { return m_active; }
    void SetActive(bool value);

    // --- used by the grid
    bool Insert(const db::TBookmark& bookmark);      // false when already there
    bool Remove(const db::TBookmark& bookmark);      // false when not there
    void AppendInOrder(const db::TBookmark& bookmark); // caller guarantees display order
    // After the dataset took a new snapshot or deleted records: drops bookmarks that no longer name
    // a record and restores the display order; raises saRefresh when anything changed.
    void Validate();
    std::vector<db::TBookmark> List();

private:
    friend class TXCustomDBGrid;
    // The bookmarks in one flat block of equal-sized slots (a length and the bytes), so a selection
    // of a million records costs a few bytes per record and no allocation per record.
    class Store {
    public:
        size_t size() const { return m_stride ? m_data.size() / m_stride : 0; }
        bool empty() const { return m_data.empty(); }
        // A view into the block: valid until the store changes.
        QByteArray view(size_t i) const;
        db::TBookmark at(size_t i) const { const QByteArray v = view(i); return QByteArray(v.constData(), v.size()); }
        void insert(size_t i, QByteArrayView b);
        void push_back(QByteArrayView b);
        void erase(size_t i);
        void pop_back() { m_data.resize(m_data.size() - m_stride); }
        void clear() { m_data.clear(); }
        void reserve(size_t count, qsizetype length);
        std::vector<db::TBookmark> all() const;
        void assign(const std::vector<db::TBookmark>& list);
    private:
        void fit(qsizetype length);
        void write(size_t i, QByteArrayView b);
        // Growing the block leaves the new slots unset: every slot is written right after.
        template <class T>
        struct Uninitialized : std::allocator<T> {
            template <class U>
            struct rebind {
                using other = Uninitialized<U>;
            };
            using std::allocator<T>::allocator;
            Uninitialized() = default;
            template <class U>
            Uninitialized(const Uninitialized<U>&) noexcept
            {
            }
            // A large block (a selection of many records) asks for huge pages, so filling it costs a
            // few page faults instead of one per 4 KB.
            T* allocate(size_t n) { return static_cast<T*>(AllocateBlock(n * sizeof(T))); }
            void deallocate(T* p, size_t n) noexcept { FreeBlock(p, n * sizeof(T)); }
            template <class U>
            void construct(U* p) noexcept
            {
                ::new (static_cast<void*>(p)) U;
            }
            template <class U, class... Args>
            void construct(U* p, Args&&... args)
            {
                ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
            }
        };
        static void* AllocateBlock(size_t bytes);
        static void FreeBlock(void* p, size_t bytes) noexcept;
        size_t m_stride = 0;
        std::vector<char, Uninitialized<char>> m_data;
    };

private:
    void Changed() { m_cacheValid = false; }
    db::TDataSet* DataSet() const;

    TXCustomDBGrid* m_grid;
    Store m_list;
    bool m_active = false;
    quint64 m_snapshot = 0;          // the dataset's snapshot number the list was checked against
    bool m_validating = false;
    bool m_cacheValid = false;
    db::TBookmark m_cacheBookmark;
    int m_cacheIndex = 0;
    bool m_cacheFound = false;
};

// ------------------------------------------------------------------ text writing

// One line of a laid-out cell text, at its drawing position (top-left of the line).
struct TTextLine {
    QString text;
    int x = 0;
    int y = 0;
};

// Lays out a cell text: the lines that fit, word-wrapped at blanks, cut with "..." and aligned.
// dx / dy: the left and top margins. Pure: depends on the font metrics only.
std::vector<TTextLine> LayoutCellText(const QFontMetrics& fm, const QRect& rect, int dx, TVAlignment vAlign,
                                      bool wordWrap, bool ellipsis, TAlignment align, const QString& text,
                                      int dy);
// Draws the laid-out text with the painter's pen and font, clipped to `rect`; the background is
// filled with `brush` unless it is invalid (clear brush).
void WriteCellText(QPainter& painter, const QRect& rect, int dx, TVAlignment vAlign, bool wordWrap,
                   bool ellipsis, bool rightToLeft, TAlignment align, const QString& text, int dy,
                   const QColor& brush);

// ------------------------------------------------------------------ TXCustomDBGrid

class TXCustomDBGrid : public tk::TCustomGrid {
    Q_OBJECT
public:
    explicit TXCustomDBGrid(QWidget* parent = nullptr);
    ~TXCustomDBGrid() override;
    // This grid's editor is always a line edit (see CreateEditor).
    tk::TInplaceEdit* InplaceEditor() const { return static_cast<tk::TInplaceEdit*>(tk::TCustomGrid::InplaceEditor()); }

    // --- data
    db::TDataSource* DataSource() const { return m_dataLink->DataSource(); }
    void SetDataSource(db::TDataSource* value);
    TXGridDataLink* DataLink() const { return m_dataLink.get(); }
    TXDBGridColumns* Columns() const { return m_columns.get(); }
    db::TField* SelectedField() const;
    int SelectedIndex() const;
    void SetSelectedIndex(int index);
    int RecordCount() const;
    int RecordNumber() const;
    int FieldCount() const { return m_dataLink->FieldCount(); }
    db::TField* Fields(int index) const { return m_dataLink->Fields(index); }
    TXColumn* ColumnByFieldName(const QString& name) const;  // raises "Field '%s' not found"
    TXColumn* FindColumn(const QString& name) const;

    // --- options and properties
    TXDBGridOptions Options() const { return m_options; }
    void SetOptions(TXDBGridOptions value);
    bool ReadOnly() const { return m_readOnly; }
    void SetReadOnly(bool value);
    bool DefaultDrawing() const { return m_defaultDrawing; }
    void SetDefaultDrawing(bool value) { m_defaultDrawing = value; InvalidateGrid(); }
    int FixedCols() const { return m_fixedCols; }
    void SetFixedCols(int value);
    TColor FixedColor() const { return m_fixedColor; }
    void SetFixedColor(TColor value);
    TFixedStyle FixedStyle() const { return m_fixedStyle; }
    void SetFixedStyle(TFixedStyle value) { m_fixedStyle = value; InvalidateGrid(); UpdateScrollBarLook(); }
    TFixedTheme FixedTheme() const { return m_fixedTheme; }
    void SetFixedTheme(TFixedTheme value);
    const tk::TFont& GridFont() const { return m_font; }
    void SetGridFont(const tk::TFont& value);
    bool ParentFont() const { return m_parentFont; }
    void SetParentFont(bool value);
    const tk::TFont& TitleFont() const { return m_titleFont; }
    void SetTitleFont(const tk::TFont& value);
    const tk::TFont& HeaderFont() const { return m_headerFont; }
    void SetHeaderFont(const tk::TFont& value);
    int TitleLinesCount() const { return m_titleLinesCount; }
    void SetTitleLinesCount(int value);
    int HeaderLinesCount() const { return m_headerLinesCount; }
    void SetHeaderLinesCount(int value);
    int LinesCount() const { return m_linesCount; }
    void SetLinesCount(int value);
    int LinesCountMin() const { return m_linesCountMin; }
    void SetLinesCountMin(int value);
    int LinesCountMax() const { return m_linesCountMax; }
    void SetLinesCountMax(int value);
    tk::TImageList* TitleImages() const { return m_titleImages; }
    void SetTitleImages(tk::TImageList* value);
    tk::TImageList* TitleMarkers() const { return m_titleMarkers; }
    void SetTitleMarkers(tk::TImageList* value);
    TMarkerStyle MarkerStyle() const { return m_markerStyle; }
    void SetMarkerStyle(TMarkerStyle value);
    TMarkerTransparent MarkerTransparent() const { return m_markerTransparent; }
    void SetMarkerTransparent(TMarkerTransparent value);
    TColor HeaderColor() const { return m_headerColor; }
    void SetHeaderColor(TColor value);
    TXGridStyle* GridStyle() const { return m_gridStyle.get(); }
    TXScrollProp* ScrollProp() const { return m_scrollProp.get(); }
    tk::TScrollStyle ScrollBars() const { return m_scrollBars; }
    void SetScrollBars(tk::TScrollStyle value);
    int IndicatorWidth() const { return m_indicatorWidth; }
    void SetIndicatorWidth(int value);
    tk::TImageList* IndicatorImages() const { return m_indicatorImages; }
    void SetIndicatorImages(tk::TImageList* value);
    QString IndicatorHint() const { return m_indicatorHint; }
    void SetIndicatorHint(const QString& value) { m_indicatorHint = value; }
    QMenu* IndicatorPopupMenu() const { return m_indicatorPopupMenu; }
    void SetIndicatorPopupMenu(QMenu* menu) { m_indicatorPopupMenu = menu; }
    bool FillerButton() const { return m_fillerButton; }
    void SetFillerButton(bool value) { m_fillerButton = value; }
    TColor FillerColor() const { return m_fillerColor; }
    void SetFillerColor(TColor value);
    int FillerIndex() const { return m_fillerIndex; }
    void SetFillerIndex(int value);
    QString FillerHint() const { return m_fillerHint; }
    void SetFillerHint(const QString& value) { m_fillerHint = value; }
    QMenu* FillerPopupMenu() const { return m_fillerPopupMenu; }
    void SetFillerPopupMenu(QMenu* menu) { m_fillerPopupMenu = menu; }
    THotButtons HotButtons() const { return m_hotButtons; }
    void SetHotButtons(THotButtons value) { m_hotButtons = value; }
    TFocusRect FocusRect() const { return m_focusRect; }
    void SetFocusRect(TFocusRect value) { m_focusRect = value; InvalidateGrid(); }
    TListBorder ListBorder() const { return m_listBorder; }
    void SetListBorder(TListBorder value) { m_listBorder = value; }
    TColor EditorColor() const { return m_editorColor; }
    void SetEditorColor(TColor value) { m_editorColor = value; }
    TColor StripeColor() const { return m_stripeColor; }
    void SetStripeColor(TColor value);
    TColor SelectionColor() const { return m_selectionColor; }
    void SetSelectionColor(TColor value);
    TColor SelectRowColor() const { return m_selectRowColor; }
    void SetSelectRowColor(TColor value);
    TColor SelectCellColor() const { return m_selectCellColor; }
    void SetSelectCellColor(TColor value);
    TXResizeOptions ResizeOptions() const { return m_resizeOptions; }
    void SetResizeOptions(TXResizeOptions value);
    int WheelScrollRows() const { return m_wheelScrollRows; }
    void SetWheelScrollRows(int value);
    // --- dragging rows and docking
    // With DragRows and DragKind dkDrag a left press on a data row of a scrollable column and a
    // move past the drag distance drag the selected records' bookmarks (the current record's when
    // none is selected) as kRowsMimeType, with the single or multi drag cursor. With dkDock a
    // drag from the filler cell floats the grid in a window of its own; dropped on a dock site
    // (a widget whose property "dockSite" is true) it is docked there.
    bool DragRows() const { return m_dragRows; }
    void SetDragRows(bool value) { m_dragRows = value; }
    TDragKind DragKind() const { return m_dragKind; }
    void SetDragKind(TDragKind value) { m_dragKind = value; }
    static constexpr const char* kRowsMimeType = "application/x-qly-grid-bookmarks";
    // The cursor shapes of a drag: one page (crDrag) or a stack of pages (crMultiDrag).
    static QPixmap DragCursorPixmap(bool multi);
    // The bookmarks a rows drag carries (decoded from its mime data).
    static QList<db::TBookmark> DraggedBookmarks(const QMimeData* data);
    // Floats the grid in a window at the global point, or docks it into a dock site.
    void FloatAt(const QPoint& globalPos);
    void DockInto(QWidget* site);
    bool Floating() const;
    QWidget* FloatingWindow() const { return m_floatWindow; }
    // Drag events: OnStartDrag before a drag of rows begins; OnDragOver while one moves over
    // this grid (accept it to receive the drop; the source is the grid it comes from, null for
    // another program); OnDragDrop on the drop; OnEndDrag on the source when it ended (target
    // null when not dropped on a grid). Docking: OnStartDock, OnEndDock (target: the dock site,
    // null when left floating).
    std::function<void(TXCustomDBGrid* sender)> OnStartDrag;
    std::function<void(TXCustomDBGrid* sender, TXCustomDBGrid* source, int x, int y, bool& accept)> OnDragOver;
    std::function<void(TXCustomDBGrid* sender, TXCustomDBGrid* source, int x, int y)> OnDragDrop;
    std::function<void(TXCustomDBGrid* sender, QObject* target, int x, int y)> OnEndDrag;
    std::function<void(TXCustomDBGrid* sender)> OnStartDock;
    std::function<void(TXCustomDBGrid* sender, QWidget* target, int x, int y)> OnEndDock;

    // --- input method (the columns' default) and the editor's switch for the current column
    TImeMode ImeMode() const { return m_imeMode; }
    void SetImeMode(TImeMode value) { m_imeMode = value; ApplyImeToEditor(); }
    QString ImeName() const { return m_imeName; }
    void SetImeName(const QString& value) { m_imeName = value; ApplyImeToEditor(); }
    void ApplyImeToEditor();

    // --- column expansion
    virtual void ColExpand(TXColumn* column);
    std::function<void(TXColumn* column)> OnColExpand;

    // --- nested datasets: a floating grid over the dataset field's rows (from the ellipsis
    // button of a dataset-field column); x, y global, or -1 for the focus cell's corner.
    virtual void ShowNestedDataSet(TXColumn* column, int x = -1, int y = -1);
    QList<TXCustomDBGrid*> NestedGrids() const;

    // --- the flat scroll bar look (ScrollProp): in use without themes, WinXPMode and a
    // right-to-left layout; drawn by a proxy style on both bars.
    bool FlatScrollBars() const;
    void UpdateScrollBarLook();
    QString OrderFields() const;
    // Stretch mode: the showing columns share the client width in proportion to their base widths
    // (WidthBase), within their bounds and the grid's stretch bounds (-1: none). Only in effect with
    // an active link; the horizontal bar is off meanwhile.
    bool StretchMode() const { return m_stretchMode; }
    void SetStretchMode(bool value);
    bool Stretching() const { return m_stretchMode && m_dataLink->Active(); }
    int StretchWidthMin() const { return m_stretchWidthMin; }
    void SetStretchWidthMin(int value);
    int StretchWidthMax() const { return m_stretchWidthMax; }
    void SetStretchWidthMax(int value);
    void UpdateStretchWidths();

    // --- built-in images
    tk::TImageList* BuiltInIndicators() const { return m_indicators.get(); }
    tk::TImageList* BuiltInCheckBoxes() const { return m_checkBoxes.get(); }
    tk::TImageList* BuiltInMarkers() const { return m_markers.get(); }
    TMarkerStyle ResolvedMarkerStyle() const;
    bool ThemedFixedCells() const;

    // --- layout state
    int IndicatorOffset() const { return m_indicatorOffset; }
    int TitleOffset() const { return m_titleOffset; }
    int HeaderHeight() const { return m_headerHeight; }
    void BeginLayout();
    void EndLayout();
    void DeferLayout();                 // lays out once from the event loop
    bool LayoutPending() const { return m_layoutPending; }
    virtual void LayoutChanged();
    bool InLayout() const { return m_layoutLock > 0; }
    // Update lock around bulk operations (see EndUpdate).
    void BeginUpdate();
    // Re-enables the dataset's controls and puts the remembered record (with KeepCurrent the record
    // current now) back on its screen row, when its bookmark still names a record. Never throws.
    void EndUpdate(bool keepCurrent = false);
    bool Updating() const { return m_updateLock > 0; }
    // Grid column of a data column index and back.
    int DataColToGridCol(int dataCol) const { return dataCol + m_indicatorOffset; }
    int GridColToDataCol(int col) const { return col - m_indicatorOffset; }
    // Showing columns in collection order.
    const std::vector<TXColumn*>& VisibleColumns() const { return m_visibleColumns; }

    // --- selection
    TXBookmarkList* SelectedRows() const { return m_bookmarks.get(); }
    db::TBookmark SelectionAnchor() const { return m_selectionAnchor; }
    void SetSelectionAnchor(const db::TBookmark& bookmark);
    bool Selecting() const { return m_selecting; }
    int CompareToAnchor() const;
    void SelectAll();
    void InvertSelection();
    void ToggleCurrent();
    void SelectCurrent();
    void SelectRange();
    void ToggleRange();
    void MarkRangeToAnchor(void (TXCustomDBGrid::*mark)());
    void ClearSelectionAndAnchor();
    // Ctrl+Delete: asks when dgConfirmDelete, then deletes the current record or the selection.
    void DeleteRecords();
    // Toggles a check-box cell of the current record: a field between its checked and unchecked
    // text, a column without field the record's selection (only without dgMultiSelect).
    void ToggleCheckBox(TXColumn* column);
    virtual bool CanModifyColumn(TXColumn* column);

    // --- text of fields
    virtual QString ColGetText(TXColumn* column, const QString& text, TTextKind kind);
    virtual QString ColSetText(TXColumn* column, const QString& text);
    QString EditText() const { return m_editText; }

    // --- column geometry for users of the grid
    QRect ColumnCellRect(TXColumn* column, int dataRow) const;
    QFontMetrics TextMetrics(const tk::TFont& font) const { return QFontMetrics(font.Font()); }
    // Text height of "Wg" in a font.
    int TextHeight(const tk::TFont& font) const;

    // --- events (an unassigned event does nothing)
    std::function<void(TXCustomDBGrid* sender, TSelectAction action)> OnRowSelect;
    std::function<void(TXCustomDBGrid* sender, const QRect& rect, db::TField* field, tk::TGridDrawState state)> OnDrawDataCell;
    std::function<void(TXCustomDBGrid* sender, const QRect& rect, int dataCol, TXColumn* column, tk::TGridDrawState state)> OnDrawColumnCell;
    std::function<void(TXCustomDBGrid* sender, const QRect& rect, int dataCol, TXColumn* column, bool highlight,
                       TSelections selections, TColor& color, tk::TFont& font, const QImage*& image)> OnPaintColumnCell;
    std::function<void(TXCustomDBGrid* sender, TXColumn* column, int& index)> OnCalcImageIndex;
    std::function<void(TXColumn* column, QString& text, TTextKind kind)> OnColGetText;
    std::function<void(TXColumn* column, QString& text)> OnColSetText;
    std::function<void(TXCustomDBGrid* sender)> OnOrderChanged;
    std::function<void(TXCustomDBGrid* sender)> OnColEnter;
    std::function<void(TXCustomDBGrid* sender)> OnColExit;
    std::function<void(TXCustomDBGrid* sender, int& key, TShiftState shift)> OnKeyDown;
    std::function<void(TXCustomDBGrid* sender, tk::TMouseButton button, TShiftState shift, int x, int y)> OnMouseDown;
    std::function<void(TXColumn* column)> OnTitleClick;
    std::function<void(TXColumn* column)> OnCellClick;
    std::function<void(TXCustomDBGrid* sender)> OnEnter;

    // --- editing in place
    void EditButtonClick();
    // The list border the pick list of the editor follows (lbAuto resolved).
    TListBorder GetListBorder() const;
    std::function<void(TXCustomDBGrid* sender)> OnEditButtonClick;

    // --- mouse: sizing and moving
    // The widest shown text of a column over the records in the link's buffer (+ 4, + the
    // editor's button when it shows one); the base width with an inactive link.
    int OptimalWidth(TXColumn* column);
    // LinesCount for a data row height: (height - line - half the text height - 3) div text
    // height + 1, within LinesCountMin and LinesCountMax.
    int LinesForRowHeight(int height) const;
    std::function<void(TXCustomDBGrid* sender, int fromIndex, int toIndex, bool& accept)> OnColumnMoving;
    std::function<void(TXCustomDBGrid* sender, int fromIndex, int toIndex)> OnColumnMoved;
    std::function<void(TXCustomDBGrid* sender)> OnRowResize;
    std::function<void(TXCustomDBGrid* sender, tk::TShiftState shift, const QPoint& pos, bool& handled)> OnMouseWheelDown;
    std::function<void(TXCustomDBGrid* sender, tk::TShiftState shift, const QPoint& pos, bool& handled)> OnMouseWheelUp;

    // --- hints
    TXHintOptions HintOptions() const { return m_hintOptions; }
    void SetHintOptions(TXHintOptions value) { m_hintOptions = value; }
    bool ShowHint() const { return m_showHint; }
    void SetShowHint(bool value) { m_showHint = value; }
    // The grid's own hint; setting it also sets the hint shown now.
    QString Hint() const { return m_currentHint; }
    QString OwnHint() const { return m_ownHint; }
    void SetHint(const QString& value) { m_ownHint = m_currentHint = value; }
    // What the grid shows when asked for a hint at a viewport point.
    struct HintInfo {
        QString text;
        QRect area;                  // viewport coordinates
        bool show = false;
        bool toolTip = false;
        QRect window;                // screen rectangle of a tool tip
        TXHintData data;
        int hideTimeout = 0;
        THintCell kind = hcData;
        int index = 0;
        int pauseKind = 0;           // 0 none, 1 first, 2 second
    };
    HintInfo HintAt(const QPoint& pos);
    // The pause before the next hint by the hint kind.
    int HintPause() const { return m_hintKind == 2 ? kHintShortPause : kHintPause; }
    // Text of a data cell as hints and tool tips show it (the link's active record is put back).
    QString CellHintText(TXColumn* column, int dataRow);
    QString CellHint(TXColumn* column, int index, THintCell kind, const QString& text);
    void ShowEditorHint(const QPoint& globalPos, QWidget* editor);
    TXHintWindow* HintWindow() const { return m_hintWindow; }
    std::function<void(TXCustomDBGrid* sender, TXColumn* column, int index, THintCell kind, QString& text)> OnCellHint;

    // --- sort order, linked grids
    void SetOrderFields(const QString& value);
    TXCustomDBGrid* MasterGrid() const { return m_masterGrid; }
    void SetMasterGrid(TXCustomDBGrid* value);
    // The next grid of the MasterGrid ring (nullptr when the grid is in none).
    TXCustomDBGrid* FollowerGrid();
    // Copies the column layout to the follower and on around the ring.
    void CopyLayoutToFollower();

    // --- numbered scrolling (dgForceSequence): the grid counts the records itself
    void ResetSequence();
    int SequenceCount() const { return m_seqCount; }
    int SequencePosition() const { return m_seqPos; }
    std::function<void(TXCustomDBGrid* sender)> OnColumnResize;
    // The first scrollable column changed (its index without the indicator).
    std::function<void(TXCustomDBGrid* sender, int firstColumn)> OnColumnScroll;

    // --- clicks on fixed cells and popup menus
    QMenu* PopupMenu() const { return m_popupMenu; }
    void SetPopupMenu(QMenu* menu) { m_popupMenu = menu; }
    // What a viewport point is over: the owning column, title level, header band (-1: none),
    // the filler or the expand button.
    struct TitleHit {
        TXColumn* column = nullptr;
        int band = -1;
        bool filler = false;
        bool expandButton = false;
    };
    TitleHit TitleHitAt(const QPoint& pos) const;
    // The look of a title: pressed while held down over it, hot under the mouse with dgHotButtons.
    tk::TThemeState TitleState(TXColumn* column) const;
    virtual void HeaderClick(TXColumn* column, int band);
    virtual void ExpandClick(TXColumn* column);
    virtual void FillerClick();
    virtual void IndicatorClick();
    std::function<void(TXCustomDBGrid* sender, TXColumn* column, int band)> OnHeaderClick;
    std::function<void(TXCustomDBGrid* sender, TXColumn* column)> OnExpandClick;
    std::function<void(TXCustomDBGrid* sender)> OnFillerClick;
    std::function<void(TXCustomDBGrid* sender)> OnIndicatorClick;
    // The menu the right button shows at a viewport point (nullptr: none).
    QMenu* PopupMenuAt(const QPoint& pos) const;

    // --- used by columns, the link and the bookmark list
    void ColumnsChanged(TXColumn* column);          // nullptr: all
    void MarkerLock();
    void MarkerUnlock();
    bool InLinkLayout() const { return m_inLinkLayout; }
    bool Loading() const { return false; }
    bool Destroying() const { return m_destroying; }
    virtual void RowSelect(TSelectAction action);
    void InvalidateSelection() { InvalidateGrid(); }
    void RepaintIndicatorRow();
    // Image of the current record's cell after OnCalcImageIndex (an exception there gives none).
    int CellImageIndex(TXColumn* column);
    bool IsSelectedRecord();            // the link's active record is in the selection

protected:
    // --- overridable operations
    virtual void DefineFieldMap();
    virtual bool HighlightCell(int dataCol, int dataRow, tk::TGridDrawState state, const QString& text);
    virtual void LinkActive(bool value);
    virtual void PaintColumnCell(const QRect& rect, int dataCol, TXColumn* column, bool highlight,
                                 TSelections selections, TColor& color, tk::TFont& font, const QImage*& image);
    virtual void Scroll(int distance);
    virtual void SetColumnAttributes();
    virtual void UpdateScrollBar();
    virtual int CalcImageIndex(TXColumn* column, int index);
    virtual void DrawDataCell(const QRect& rect, db::TField* field, tk::TGridDrawState state);
    virtual void DrawColumnCell(const QRect& rect, int dataCol, TXColumn* column, tk::TGridDrawState state);
    virtual void OrderChanged();
    virtual void ColEnter();
    virtual void ColExit();
    virtual std::unique_ptr<TXDBGridColumns> CreateColumns();
    virtual std::unique_ptr<TXGridDataLink> CreateDataLink();
    virtual std::unique_ptr<TXGridStyle> CreateGridStyle();
    virtual std::unique_ptr<TXScrollProp> CreateScrollProp();
    virtual TFocusRect GetFocusRect() const { return m_focusRect == frAuto ? frDefault : m_focusRect; }
    virtual THotButtons GetHotButtons() const;
    virtual void TitleClick(TXColumn* column);
    virtual void CellClick(TXColumn* column);

    // --- the toolkit's hooks
    void DrawCell(int col, int row, const QRect& rect, tk::TGridDrawState state) override;
    void Paint(QPainter& painter, const QRect& clip) override;
    bool SelectCell(int col, int row) override;
    void KeyDown(int& key, TShiftState shift) override;
    void KeyPress(QChar& key) override;
    // A character key that reaches the grid while its editor is open is typed into the editor.
    void keyPressEvent(QKeyEvent* event) override;
    void MouseDown(tk::TMouseButton button, TShiftState shift, int x, int y) override;
    void MouseUp(tk::TMouseButton button, TShiftState shift, int x, int y) override;
    void MouseMove(TShiftState shift, int x, int y) override;
    bool DoMouseWheel(TShiftState shift, int notches, const QPoint& pos) override;
    void TimedScroll(int direction) override;
    void ColWidthsChanged() override;
    void ColumnMoved(int fromIndex, int toIndex) override;
    void RowHeightsChanged() override;
    void TopLeftChanged() override;
    void Resized() override;
    void DoEnter() override;
    void ScrollBarAction(Qt::Orientation orientation, int action) override;
    void ScrollBarChanged(Qt::Orientation orientation, int value) override;
    void UpdateScrollBars() override;
    bool CanEditShow() const override;
    QString GetEditText(int col, int row) override;
    void SetEditText(int col, int row, const QString& value) override;
    bool CanEditModify() override;
    tk::TInplaceEdit* CreateEditor() override;
    int GetEditLimit() override;
    virtual bool ColumnMoving(int fromIndex, int toIndex);
    bool BeginColumnDrag(int& origin, int& destination, const QPoint& pt) override;
    bool CheckColumnDrag(int& origin, int& destination, const QPoint& pt) override;
    bool viewportEvent(QEvent* event) override;
    void DoExit() override;

    // --- keyboard moves that reach the selection
    void ClearOnMove();
    void MoveSelecting(bool select, int direction, TShiftState shift);
    void NextRow(bool select, TShiftState shift);
    void PriorRow(bool select, TShiftState shift);
    void MoveCol(int col, int direction);

    // --- Qt
    bool event(QEvent* event) override;
    void changeEvent(QEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    // The grid a nested dataset's rows are shown in (default: a TXDBGrid).
    virtual TXCustomDBGrid* CreateNestedGrid();

private:
    friend class TXGridDataLink;
    friend class TXBookmarkList;
    friend class TXGridStyle;
    friend class TXScrollProp;
    friend class TXColumn;
    friend class TXDBGridColumns;

    void InternalLayout();
    void UpdateRowCount();
    void UpdateActive();
    void DataChanged();
    void RecordChanged(db::TField* field);
    void EditingChanged();
    void UpdateData();
    void FocusControlField(db::TField*& field);
    void RebuildVisibleColumns();
    void SetRowHeightsFromFonts();
    bool AcquireFocus() const { return isEnabled() && isVisible(); }
    int DefaultRowHeightForLines() const;
    void RebuildMarkerImages();
    QColor Resolve(TColor c) const { return tk::ToQColor(c, palette()); }
    TColor AdjustGray(TColor c) const;
    TColor RowColorValue() const;
    TColor StripeColorValue() const;
    void DrawIndicatorCell(int dataRow, const QRect& rect, tk::TGridDrawState state);
    void DrawTitleCell(TXColumn* column, int titleRow, const QRect& rect, tk::TGridDrawState state);
    void DrawTitle(QPainter& p, TXColumnTitle* title, const QRect& rect, int firstBand);
    void DrawTitleBackground(QPainter& p, const QRect& rect, TColor color, tk::TThemeState state = tk::tsNormal);
    void SetHotTitle(TXColumn* column, bool filler);
    void InvalidateTitles();
    void DrawHeaderBand(QPainter& p, const QRect& bandRect, const QString& text);
    void PaintTitleSpans(QPainter& p);
    void DrawDataColumnCell(int dataCol, int dataRow, TXColumn* column, const QRect& rect, tk::TGridDrawState state);
    void DrawFixedFrame(QPainter& p, const QRect& rect);
    void DrawCellImage(QPainter& p, const QRect& rect, TXColumn* column, const QImage& image, bool fromImages);
    QRect ImageRect(const QRect& rect, TXColumn* column, const QSize& size) const;
    void DrawCheckBoxFrame(QPainter& p, const QRect& box, TXColumn* column);
    void FontChangedHandler(tk::TFont* font);
    int FirstShowingColumnFrom(int dataCol) const;
    void MouseSelect(TShiftState shift);

    std::unique_ptr<TXDBGridColumns> m_columns;
    std::unique_ptr<TXGridDataLink> m_dataLink;
    std::unique_ptr<TXBookmarkList> m_bookmarks;
    bool m_forwardingKey = false;
    std::unique_ptr<TXGridStyle> m_gridStyle;
    std::unique_ptr<TXScrollProp> m_scrollProp;
    std::unique_ptr<tk::TImageList> m_indicators;
    std::unique_ptr<tk::TImageList> m_checkBoxes;
    std::unique_ptr<tk::TImageList> m_markers;
    TMarkerStyle m_builtMarkerStyle = msAuto;
    bool m_builtMarkerTransparent = false;
    std::vector<TXColumn*> m_visibleColumns;

    TXDBGridOptions m_options = kDefaultGridOptions;
    bool m_readOnly = false;
    bool m_defaultDrawing = true;
    int m_fixedCols = 0;
    TColor m_fixedColor = gfx::clBtnFace;
    TFixedStyle m_fixedStyle = fsDefault;
    TFixedTheme m_fixedTheme = ftDefault;
    tk::TFont m_font;
    bool m_parentFont = true;
    tk::TFont m_titleFont;
    tk::TFont m_headerFont;
    int m_titleLinesCount = 1;
    int m_headerLinesCount = 1;
    int m_linesCount = 1;
    int m_linesCountMin = 1;
    int m_linesCountMax = -1;
    tk::TImageList* m_titleImages = nullptr;
    tk::TImageList* m_titleMarkers = nullptr;
    tk::TImageList* m_indicatorImages = nullptr;
    TMarkerStyle m_markerStyle = msAuto;
    TMarkerTransparent m_markerTransparent = mtAuto;
    TColor m_headerColor = gfx::clBtnFace;
    bool m_headerColorSet = false;
    tk::TScrollStyle m_scrollBars = tk::ssBoth;
    int m_indicatorWidth = 20;
    QString m_indicatorHint;
    QPointer<QMenu> m_indicatorPopupMenu;
    bool m_fillerButton = true;
    TColor m_fillerColor = gfx::clBtnFace;
    bool m_fillerColorSet = false;
    int m_fillerIndex = -7;
    QString m_fillerHint;
    QPointer<QMenu> m_fillerPopupMenu;
    THotButtons m_hotButtons = hbAuto;
    TFocusRect m_focusRect = frAuto;
    TListBorder m_listBorder = lbAuto;
    TColor m_editorColor = gfx::clNone;
    TColor m_stripeColor = gfx::clNone;
    TColor m_selectionColor = gfx::clDefault;
    TColor m_selectRowColor = gfx::clDefault;
    TColor m_selectCellColor = gfx::clDefault;
    TXResizeOptions m_resizeOptions = roColumnResize | roOptimalWidth | roDefaultWidth | roColumnMoving;
    int m_wheelScrollRows = 0;
    bool m_dragRows = false;
    TDragKind m_dragKind = dkDrag;
    TImeMode m_imeMode = imDontCare;
    QString m_imeName;
    QPoint m_dragPress{-1, -1};           // a press that may start a drag of rows or a docking
    bool m_dockPress = false;
    QPointer<QWidget> m_floatWindow;
    QPointer<QWidget> m_dockHome;          // where the grid sat before it floated
    TXCustomDBGrid* m_dropSource = nullptr;
    QObject* m_scrollStyle = nullptr;      // the proxy style of the bars (owned by the grid)
    void StartRowDrag();
    void StartDocking(const QPoint& globalPos);
    bool AcceptsRowDrag(QDropEvent* event);
    // A floating grid over a nested dataset, with its own data source.
    struct NestedView {
        db::TDataSet* dataSet = nullptr;
        std::unique_ptr<db::TDataSource> source;
        QPointer<TXCustomDBGrid> grid;
        QPointer<QWidget> window;
        ~NestedView() { delete window.data(); } // the grid goes before its source
    };
    std::vector<std::unique_ptr<NestedView>> m_nestedViews; // floating grids of nested datasets
    void FreeNestedGrids();
    QString m_orderFieldsStored;
    bool m_stretchMode = false;
    int m_stretchWidthMin = -1;
    int m_stretchWidthMax = -1;
    bool m_inStretch = false;

    int m_indicatorOffset = 1;
    int m_titleOffset = 1;
    int m_headerHeight = 0;
    int m_layoutLock = 0;
    bool m_layoutPending = false;
    bool m_inLayout = false;
    bool m_inLinkLayout = false;
    bool m_inUpdateRowCount = false;
    int m_updateLock = 0;
    db::TBookmark m_updateBookmark;
    db::TDataSet* m_updateDataSet = nullptr;   // the dataset whose controls the lock disabled
    int m_updateRow = 0;
    int m_markerLock = 0;
    QString m_markerOrderBefore;
    db::TBookmark m_selectionAnchor;
    bool m_selecting = false;
    QString m_editText;
    int m_indicatorRow = -1;
    bool m_destroying = false;
    bool m_inColExit = false;
    TShiftState m_lastShift = 0;
    TXColumn* m_pressedTitle = nullptr;

    // editing, mouse, hints, linked grids
    bool m_inColumnMoved = false;
    TXHintOptions m_hintOptions = kDefaultHintOptions;
    bool m_showHint = true;
    QString m_ownHint;
    QString m_currentHint;
    int m_hintKind = 0;
    QRect m_hintArea;
    bool m_hintIsToolTip = false;
    TXHintWindow* m_hintWindow = nullptr;
    QPointer<TXCustomDBGrid> m_masterGrid;
    std::vector<QPointer<TXCustomDBGrid>> m_slaves;     // grids whose master this grid is
    bool m_copyingLayout = false;
    void LeaveRing();
    TXCustomDBGrid* RingRoot();
    void RingMembers(std::vector<TXCustomDBGrid*>& out);
    void HideHint();
    void ShowHintAt(const QPoint& pos, const QPoint& globalPos);
    void ExitFromEditor();
    QPointer<QMenu> m_popupMenu;
    TitleHit m_titlePress;                  // what a left press on the titles hit
    bool m_titlePressed = false;
    bool m_titleShownPressed = false;       // the pressed title button is drawn pressed
    TXColumn* m_hotTitle = nullptr;
    bool m_hotFiller = false;
    int m_lastLeftCol = -1;
    void DropMenu(QMenu* menu, const QPoint& globalPos, bool titleMenu);
    int m_seqCount = 0;
    int m_seqPos = 0;
    int m_seqRow = 0;                 // the current record's row when the position was taken
    bool m_inResetSequence = false;
    bool Numbered() const { return (m_options & dgForceSequence) && m_dataLink->Active(); }
    QTimer* m_hintTimer = nullptr;
    QPoint m_titlePressPoint;           // where a title press started
    tk::TGridCoord m_pressedCell;       // data cell a left press started on
    bool m_pressedOnFocus = false;      // ... which already was the focus cell
};

class TXDBGrid : public TXCustomDBGrid {
    Q_OBJECT
public:
    explicit TXDBGrid(QWidget* parent = nullptr) : TXCustomDBGrid(parent) {}
};

// Whether typed text may go into a field of this type (binary and memo fields need OnSetText).
bool EditableFieldType(const db::TField* field);

// Built-in images, drawn in code: the indicator strip (20 images of 16 x 16), the check-box strip
// (9 glyphs of 13 x 13) and the marker strip (20 images of 16 x 16, faces in the key colours
// aqua, teal, blue and navy, background in the mask colour 0x008080; lime marks the light parts).
QImage IndicatorStrip();
QImage CheckBoxStrip();
QImage MarkerStrip();
// The marker strip with its key colours replaced for a marker style.
QImage MarkerStripFor(TMarkerStyle style, bool transparent, const QPalette& palette);
// The status images of a recipient list: 0 to send, 1 sent, 2 blocked (16 x 16, transparent).
std::unique_ptr<tk::TImageList> CreateStatusImageList();

} // namespace xdb
