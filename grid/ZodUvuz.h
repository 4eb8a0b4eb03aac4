#pragma once
// The family's string grid TZedEzeravIvur: texts with per-cell properties on the base grid, its
// settings objects, published properties and events, created by class name through the class
// registry.
#include "grid/BaseGrid.h"
#include "grid/EditLink.h"
#include "grid/GridHelpers.h"
#include "grid/GridItem.h"
#include "grid/GridLists.h"
#include "grid/GridOptions.h"
#include "grid/editors/EditorHost.h"
#include "grid/footer/FooterPanel.h"
#include "grid/pictures/Pictures.h"
#include "platform/grid/ObjectStream.h"
#include "platform/grid/Toolkit.h"
#include <QDate>
#include <QImage>
#include <QPen>
#include <QRect>
#include <QSize>
#include <QPointer>
#include <QStringList>
#include <QUrl>
#include <vector>
class QIODevice;
class QMimeData;
#include <array>
#include <QString>
#include <functional>
#include <memory>

class QMimeData;
class QTimer;

namespace grid {

class TGridEditing;
class TEditLink;
class TControlEdit;
class TControlCombo;
class TGridTransEdit;
class TRichInplaceEdit;
class VOdoZozaRere;
namespace editors {
class TGridSpin;
class TGridCombo;
class TGridEditBtn;
class TGridUnitEditBtn;
class TGridCheckBox;
class TGridDatePicker;
class TGridButton;
class TGridUniEdit;
class TGridUniEditBtn;
class TGridUniMemo;
class TGridUniCombo;
}

// Search options: the values are fixed, callers combine them as numbers.
using TSearchOptions = int;
enum TSearchOption : int {
    soCaseSensitive = 0x0001, soWholeCell = 0x0002, soPattern = 0x0004, soRowByRow = 0x0008,
    soTextStart = 0x0010, soCurrentRow = 0x0020, soCurrentColumn = 0x0040, soWithFixed = 0x0080,
    soGoToCell = 0x0100, soIgnoreTags = 0x0200, soBackward = 0x0400, soHiddenColumns = 0x0800,
    soPresetColumn = 0x1000, soPresetRow = 0x2000
};

// What the grid reads from and sets on its search bar.
class ISearchBar {
public:
    virtual ~ISearchBar() = default;
    virtual QString EditText() const = 0;
    virtual bool HighlightDown() const = 0;
    virtual bool MatchCase() const = 0;
    virtual bool AutoSearch() const = 0;
    virtual bool SearchActiveColumnOnly() const = 0;
    virtual int SearchColumn() const = 0;   // -1: none
    virtual void SetEditColor(gfx::TColor color) = 0;
    virtual void SetVisible(bool visible) = 0;
    // The bar's widget and the height it takes under the cells (0 while hidden); the grid places
    // it below the floating footer.
    virtual QWidget* BarWidget() { return nullptr; }
    virtual int BarHeight() const { return 0; }
};

// Directions of scrolling while dragging (a set).
enum TDragScrollDirections : int { dsdUp = 1, dsdDown = 2, dsdLeft = 4, dsdRight = 8 };

// number x numerator / denominator in 64 bits, rounded half away from zero; -1 for denominator 0.
qint64 MulDiv(qint64 number, qint64 numerator, qint64 denominator);

// The thumb of a bar scaled to 0..127 from the pixel extents (client, fixed part, all normal
// rows, the rows above the top one); `fits` when everything is visible.
struct TProportionalScroll {
    bool fits = false;
    int nMax = 0;
    int nPage = 0;
    int nPos = 0;
};
TProportionalScroll ProportionalScrollInfo(int clientExtent, int fixedExtent, int totalExtent, int aboveExtent,
                                           int currentPos, bool keepPosWhenFits);

class TFloatingFooter;

class TZedEzeravIvur : public TBaseGrid, public tk::TStreamHooks, public editors::TEditorHost, public IFooterHost {
    Q_OBJECT
    // Always stored: the scroll bar width may differ from the system's, the row height has no
    // stream default.
    Q_CLASSINFO("QlyAlwaysStored", "ScrollWidth,DefaultRowHeight,FixedFont,ActiveCellFont")
    Q_PROPERTY(bool DefaultDrawing READ DefaultDrawing WRITE SetDefaultDrawing)
    Q_PROPERTY(int GridLineWidth READ GridLineWidth WRITE SetGridLineWidth)
    Q_PROPERTY(bool ActiveRowShow READ ActiveRowShow WRITE SetActiveRowShow)
    Q_PROPERTY(int ActiveRowColor READ ActiveRowColor WRITE SetActiveRowColor)
    Q_PROPERTY(int GridLineColor READ GridLineColor WRITE SetGridLineColor)
    Q_PROPERTY(grid::TZodUvuzUndoRedo* UndoRedo READ UndoRedo WRITE SetUndoRedo)
    Q_PROPERTY(int ColCount READ ColCount WRITE SetColCount)
    Q_PROPERTY(int DefaultRowHeight READ DefaultRowHeight WRITE SetDefaultRowHeight)
    Q_PROPERTY(int FixedCols READ FixedCols WRITE SetFixedCols)
    Q_PROPERTY(int RowCount READ RowCount WRITE SetRowCount)
    Q_PROPERTY(int FixedRows READ FixedRows WRITE SetFixedRows)
    Q_PROPERTY(grid::TControlLook* ControlLook READ ControlLook)
    Q_PROPERTY(grid::TPrintSettings* PrintSettings READ PrintSettings)
    Q_PROPERTY(grid::THTMLSettings* HTMLSettings READ HTMLSettings)
    Q_PROPERTY(grid::TNavigation* Navigation READ Navigation)
    Q_PROPERTY(grid::TColumnSize* ColumnSize READ ColumnSize)
    Q_PROPERTY(grid::TCellNode* CellNode READ CellNode)
    Q_PROPERTY(grid::TSizeWhileTyping* SizeWhileTyping READ SizeWhileTyping)
    Q_PROPERTY(grid::TMouseActions* MouseActions READ MouseActions)
    Q_PROPERTY(grid::TSortSettings* SortSettings READ SortSettings)
    Q_PROPERTY(grid::TDragDropSettings* DragDropSettings READ DragDropSettings)
    Q_PROPERTY(grid::TDragScrollOptions* DragScrollOptions READ DragScrollOptions)
    Q_PROPERTY(grid::TBands* Bands READ Bands)
    Q_PROPERTY(grid::TBackGround* BackGround READ BackGround)
    Q_PROPERTY(grid::TGrouping* Grouping READ Grouping)
    Q_PROPERTY(grid::TShowModified* ShowModified READ ShowModified)
    Q_PROPERTY(int FixedColWidth READ FixedColWidth WRITE SetFixedColWidth)
    Q_PROPERTY(int FixedRowHeight READ FixedRowHeight WRITE SetFixedRowHeight)
    // Published values that only store (their behaviour belongs to painting, input, hints ...).
    Q_PROPERTY(bool ActiveCellShow READ ActiveCellShow WRITE SetActiveCellShow)
    Q_PROPERTY(int ActiveCellColor READ ActiveCellColor WRITE SetActiveCellColor)
    Q_PROPERTY(int ActiveCellColorTo READ ActiveCellColorTo WRITE SetActiveCellColorTo)
    Q_PROPERTY(bool AnchorHint MEMBER AnchorHint)
    Q_PROPERTY(bool AutoThemeAdapt READ AutoThemeAdaptOn WRITE SetAutoThemeAdapt)
    Q_PROPERTY(bool AutoNumAlign MEMBER AutoNumAlign)
    Q_PROPERTY(bool AutoSize MEMBER AutoSize)
    Q_PROPERTY(grid::TVAlignment VAlignment READ VAlignment WRITE SetVAlignment)
    Q_PROPERTY(bool EnhTextSize MEMBER EnhTextSize)
    Q_PROPERTY(bool EditWithTags MEMBER EditWithTags)
    Q_PROPERTY(bool EnhRowColMove MEMBER EnhRowColMove)
    Q_PROPERTY(bool SizeWithForm READ SizeWithForm WRITE SetSizeWithForm)
    Q_PROPERTY(bool Multilinecells MEMBER Multilinecells)
    Q_PROPERTY(bool EnableBlink MEMBER EnableBlink)
    Q_PROPERTY(bool EnableHTML MEMBER EnableHTML)
    Q_PROPERTY(bool EnableWheel MEMBER EnableWheel)
    Q_PROPERTY(bool ExcelStyleDecimalSeparator MEMBER ExcelStyleDecimalSeparator)
    Q_PROPERTY(bool Flat READ Flat WRITE SetFlat)
    Q_PROPERTY(grid::TGridLook Look READ Look WRITE SetLook)
    Q_PROPERTY(int HintColor MEMBER HintColor)
    Q_PROPERTY(grid::TScrollBarAlways ScrollBarAlways READ scrollBarAlwaysValue WRITE SetScrollBarAlways)
    Q_PROPERTY(int SelectionColor READ SelectionColor WRITE SetSelectionColor)
    Q_PROPERTY(int SelectionColorTo READ SelectionColorTo WRITE SetSelectionColorTo)
    Q_PROPERTY(int SelectionTextColor READ SelectionTextColor WRITE SetSelectionTextColor)
    Q_PROPERTY(bool SelectionRectangle READ SelectionRectangle WRITE SetSelectionRectangle)
    Q_PROPERTY(bool SelectionResizer READ SelectionResizer WRITE SetSelectionResizer)
    Q_PROPERTY(bool SelectionRTFKeep MEMBER SelectionRTFKeep)
    Q_PROPERTY(bool HintShowCells MEMBER HintShowCells)
    Q_PROPERTY(bool HintShowLargeText MEMBER HintShowLargeText)
    Q_PROPERTY(bool HintShowSizing MEMBER HintShowSizing)
    Q_PROPERTY(bool HTMLHint MEMBER HTMLHint)
    Q_PROPERTY(int MaxEditLength MEMBER MaxEditLength)
    Q_PROPERTY(grid::TIntelliPan IntelliPan MEMBER IntelliPan)
    Q_PROPERTY(bool IntelliZoom MEMBER IntelliZoom)
    Q_PROPERTY(int URLColor READ URLColor WRITE SetURLColor)
    Q_PROPERTY(bool URLShow READ URLShow WRITE SetURLShow)
    Q_PROPERTY(bool URLFull READ URLFull WRITE SetURLFull)
    Q_PROPERTY(bool URLEdit MEMBER URLEdit)
    Q_PROPERTY(grid::TScrollType ScrollType READ scrollTypeValue WRITE SetScrollType)
    Q_PROPERTY(int ScrollColor READ scrollColorValue WRITE SetScrollColor)
    Q_PROPERTY(int ScrollWidth READ scrollWidthValue WRITE SetScrollWidth)
    Q_PROPERTY(bool ScrollSynch READ scrollSynchValue WRITE SetScrollSynch)
    Q_PROPERTY(bool ScrollProportional READ scrollProportionalValue WRITE SetScrollProportional)
    Q_PROPERTY(grid::TScrollHintType ScrollHints MEMBER ScrollHints)
    Q_PROPERTY(bool OemConvert MEMBER OemConvert)
    Q_PROPERTY(int FixedFooters READ FixedFooters WRITE SetFixedFooters)
    Q_PROPERTY(int FixedRightCols READ FixedRightCols WRITE SetFixedRightCols)
    Q_PROPERTY(bool FixedRowAlways READ FixedRowAlways WRITE SetFixedRowAlways)
    Q_PROPERTY(bool FixedColAlways READ FixedColAlways WRITE SetFixedColAlways)
    Q_PROPERTY(bool FixedAsButtons MEMBER FixedAsButtons)
    Q_PROPERTY(QString FloatFormat READ FloatFormat WRITE SetFloatFormat)
    Q_PROPERTY(bool IntegralHeight READ integralHeightValue WRITE SetIntegralHeight)
    Q_PROPERTY(bool WordWrap READ WordWrap WRITE SetWordWrap)
    Q_PROPERTY(bool Lookup MEMBER Lookup)
    Q_PROPERTY(bool LookupCaseSensitive MEMBER LookupCaseSensitive)
    Q_PROPERTY(bool LookupHistory MEMBER LookupHistory)
    Q_PROPERTY(bool ShowSelection READ ShowSelection WRITE SetShowSelection)
    Q_PROPERTY(bool HideFocusRect MEMBER HideFocusRect)
    Q_PROPERTY(bool Hovering MEMBER Hovering)
    Q_PROPERTY(bool FilterActive READ FilterActive WRITE SetFilterActive)
    Q_PROPERTY(grid::TEditorType DefaultEditor MEMBER DefaultEditor)
    Q_PROPERTY(QString Version READ Version WRITE SetVersion)
    Q_PROPERTY(QStringList ColumnHeaders READ ColumnHeadersList WRITE SetColumnHeadersList)
    Q_PROPERTY(QStringList RowHeaders READ RowHeadersList WRITE SetRowHeadersList)
    Q_PROPERTY(int Cursor READ Cursor WRITE SetCursor)
    Q_PROPERTY(grid::TScrollStyle ScrollBars READ ScrollBarsStyle WRITE SetScrollBarsStyle)
    Q_PROPERTY(QStringList LookupItems READ LookupItemsList WRITE SetLookupItemsList)
    Q_PROPERTY(QImage RowIndicator READ RowIndicator WRITE SetRowIndicator)
    Q_PROPERTY(tk::TFont FixedFont READ FixedFont WRITE SetFixedFont)
    Q_PROPERTY(tk::TFont ActiveCellFont READ ActiveCellFont WRITE SetActiveCellFont)
    // Components the grid refers to: stored by their names.
    Q_PROPERTY(QObject* GridImages READ GridImages WRITE SetGridImages)
    Q_PROPERTY(QObject* PictureContainer READ PictureContainer WRITE SetPictureContainer)
    Q_PROPERTY(QObject* CellChecker READ CellChecker WRITE SetCellChecker)
public:
    // `designing`: the grid is being designed (no editor controls, no drop markers).
    explicit TZedEzeravIvur(QWidget* parent = nullptr, bool designing = false);
    ~TZedEzeravIvur() override;

    // --- settings objects (owned)
    TCellNode* CellNode() const { return m_cellNode.get(); }
    TSizeWhileTyping* SizeWhileTyping() const { return m_sizeWhileTyping.get(); }
    TMouseActions* MouseActions() const { return m_mouseActions.get(); }
    TColumnSize* ColumnSize() const { return m_columnSize.get(); }
    TNavigation* Navigation() const { return m_navigation.get(); }
    THTMLSettings* HTMLSettings() const { return m_htmlSettings.get(); }
    TPrintSettings* PrintSettings() const { return m_printSettings.get(); }
    TControlLook* ControlLook() const { return m_controlLook.get(); }
    TSortSettings* SortSettings() const { return m_sortSettings.get(); }
    TDragDropSettings* DragDropSettings() const { return m_dragDropSettings.get(); }
    TDragScrollOptions* DragScrollOptions() const { return m_dragScrollOptions.get(); }
    TBands* Bands() const { return m_bands.get(); }
    TBackGround* BackGround() const { return m_backGround.get(); }
    // These setters copy the given object into the grid's own (the background then repaints).
    void SetBackGround(const TBackGround* value);
    void SetShowModified(const TShowModified* value) { m_showModified->Assign(value); }
    void SetDragScrollOptions(const TDragScrollOptions* value) { m_dragScrollOptions->Assign(value); }
    TGrouping* Grouping() const { return m_grouping.get(); }
    TShowModified* ShowModified() const { return m_showModified.get(); }
    TFilter& Filter() { return m_filter; }
    tk::TFont& FixedFont() { return m_fixedFont; }
    // Both setters copy the given font (the grid repaints).
    void SetFixedFont(const tk::TFont& font) { m_fixedFont.Assign(font); }
    tk::TFont& ActiveCellFont() { return m_activeCellFont; }
    void SetActiveCellFont(const tk::TFont& font) { m_activeCellFont.Assign(font); }
    tk::TStringList& ColumnHeaders() { return m_columnHeaders; }
    void SetColumnHeaders(const tk::TStringList& list);
    tk::TStringList& RowHeaders() { return m_rowHeaders; }
    void SetRowHeaders(const tk::TStringList& list);
    // The header lists as stored values.
    QStringList ColumnHeadersList() const { return m_columnHeaders.List(); }
    void SetColumnHeadersList(const QStringList& items);
    QStringList RowHeadersList() const { return m_rowHeaders.List(); }
    void SetRowHeadersList(const QStringList& items);

    // --- published values that only store
    bool AnchorHint = false;
    bool AutoThemeAdapt = false;
    bool AutoNumAlign = false;
    bool AutoSize = false;
    bool EnhTextSize = false;
    bool EditWithTags = false;
    bool EnhRowColMove = true;
    bool Multilinecells = false;
    bool EnableBlink = false;
    bool EnableHTML = true;
    bool EnableWheel = true;
    bool ExcelStyleDecimalSeparator = false;
    TColor HintColor = gfx::clInfoBk;
    TScrollBarAlways ScrollBarAlways = saNone;
    bool SelectionRTFKeep = false;
    bool HintShowCells = false;
    bool HintShowLargeText = false;
    bool HintShowSizing = false;
    bool HTMLHint = false;
    int MaxEditLength = 0;
    TIntelliPan IntelliPan = ipVertical;
    bool IntelliZoom = true;
    bool URLEdit = false;
    TScrollType ScrollType = ssNormal;
    TColor ScrollColor = gfx::clNone;
    int ScrollWidth = 17;
    bool ScrollSynch = false;
    bool ScrollProportional = false;
    TScrollHintType ScrollHints = shNone;
    bool OemConvert = false;
    bool FixedAsButtons = false;
    bool IntegralHeight = false;
    bool Lookup = false;
    bool LookupCaseSensitive = false;
    bool LookupHistory = false;
    bool HideFocusRect = false;
    bool Hovering = false;
    TEditorType DefaultEditor = edNormal;

    // --- published values with setters of their own
    bool ActiveCellShow() const { return m_activeCellShow; }
    void SetActiveCellShow(bool v);
    TColor ActiveCellColor() const { return m_activeCellColor; }
    void SetActiveCellColor(TColor v);
    TColor ActiveCellColorTo() const { return m_activeCellColorTo; }
    void SetActiveCellColorTo(TColor v);
    TVAlignment VAlignment() const { return m_vAlignment; }
    void SetVAlignment(TVAlignment v);
    bool Flat() const { return m_flat; }
    void SetFlat(bool v);
    TGridLook Look() const { return m_look; }
    void SetLook(TGridLook v);
    TColor URLColor() const { return m_urlColor; }
    void SetURLColor(TColor v);
    bool URLShow() const { return m_urlShow; }
    void SetURLShow(bool v);
    bool URLFull() const { return m_urlFull; }
    void SetURLFull(bool v);
    bool WordWrap() const { return m_ownWordWrap; }
    void SetWordWrap(bool v);
    // Grows and shrinks with its window.
    bool SizeWithForm() const { return m_sizeWithForm; }
    void SetSizeWithForm(bool v);

    // --- internal values
    int CellMarginX() const { return m_cellMarginX; }
    int CellMarginY() const { return m_cellMarginY; }
    QChar PasswordChar() const { return m_passwordChar; }
    QString CheckTrueText() const { return m_checkTrue; }
    void SetCheckTrueText(const QString& v) { m_checkTrue = v; }
    QString CheckFalseText() const { return m_checkFalse; }
    void SetCheckFalseText(const QString& v) { m_checkFalse = v; }
    QString FloatFormat() const { return m_floatFormat; }
    void SetFloatFormat(const QString& v) { m_floatFormat = v; }
    bool ThemedDrawing() const { return m_themedDrawing; }
    bool CommonControls6() const { return m_commonControls6; }

    // --- dimensions (the grid's own setters)
    int RowCount() const { return TBaseGrid::RowCount(); }
    void SetRowCount(int value);
    int ColCount() const { return TBaseGrid::ColCount(); }
    // Also applies the grid's bounds again (SetBounds with the current geometry).
    void SetColCount(int value);
    // Places the grid; with IntegralHeight the height is fitted to whole rows.
    virtual void SetBounds(int left, int top, int width, int height);
    int FixedRows() const;
    void SetFixedRows(int value);
    int FixedCols() const;
    void SetFixedCols(int value);
    bool FixedRowAlways() const { return m_fixedRowAlways; }
    void SetFixedRowAlways(bool value);
    bool FixedColAlways() const { return m_fixedColAlways; }
    void SetFixedColAlways(bool value);
    int FixedFooters() const { return m_fixedFooters; }
    void SetFixedFooters(int value);
    int FixedRightCols() const { return m_fixedRightCols; }
    void SetFixedRightCols(int value);
    int FixedColWidth() const { return ColWidths(0); }
    void SetFixedColWidth(int value);
    int FixedRowHeight() const { return m_fixedRowHeight; }
    int DefaultRowHeight() const { return TBaseGrid::DefaultRowHeight(); }
    // Every row takes the height; at design time the fixed row height follows it.
    void SetDefaultRowHeight(int value);
    void SetFixedRowHeight(int value);

    // --- components the grid refers to (not owned); each is cleared when its component goes away
    QObject* GridImages() const { return m_gridImages; }
    void SetGridImages(QObject* value) { referTo(m_gridImages, value); }
    QObject* PictureContainer() const { return m_pictureContainer; }
    void SetPictureContainer(QObject* value) { referTo(m_pictureContainer, value); }
    QObject* CellChecker() const { return m_cellChecker; }
    void SetCellChecker(QObject* value) { referTo(m_cellChecker, value); }
    // A component goes away (opRemove): a reference to it is cleared.
    virtual void Notification(QObject* component, TOperation operation);

    // --- published values kept for their users
    int Cursor() const { return m_cursor; }   // the toolkit's cursor id (0: crDefault)
    void SetCursor(int value) { m_cursor = value; }
    TScrollStyle ScrollBarsStyle() const { return TScrollStyle(ScrollBars()); }
    void SetScrollBarsStyle(TScrollStyle value) { SetScrollBars(tk::TScrollStyle(value)); }
    tk::TStringList& LookupItems() { return m_lookupItems; }
    QStringList LookupItemsList() const { return m_lookupItems.List(); }
    void SetLookupItemsList(const QStringList& items);
    QImage RowIndicator() const { return m_rowIndicator; }
    void SetRowIndicator(const QImage& value) { m_rowIndicator = value; }

    // --- internal lists (their users are sorting, selection, moving and the modified marks)
    tk::TStringList& SortList() { return m_sortList; }
    TIntList& IntLists(int index) { return m_intLists.at(size_t(index)); }
    // The columns whose equal texts are merged (the third integer list); every change re-merges.
    TIntList& AutoMergeColumns() { return m_intLists[2]; }
    // Merges equal texts in the AutoMergeColumns again; nothing until rows and columns merge.
    virtual void ReMergeColumns();
    void UnmergeAllColumns();
    TSortIndexList& SortIndexes() { return m_sortIndexes; }
    TControlList& CellControls() { return m_cellControls; }
    TIntList& ChangedCells() { return m_changedCells; }
    // The column order; filled (0 .. ColCount - 1) by the first MoveColumnData.
    TIntList& ColumnOrder() { return m_columnOrder; }

    // --- painting
    // Repaints the grid, unless one repaint was asked to be skipped: that request is used up.
    void InvalidateGrid() override;
    // Skips the next InvalidateGrid (the editors ask for it when they switch the editing option).
    void SkipNextInvalidate() { m_skipInvalidate = true; }
    // The room a cell's content needs (automatic sizing): its display text in the grid's or, for a
    // fixed cell, the fixed font, with the cell margins; `wrap` wraps it at the column width.
    virtual void MeasureCellText(int col, int row, QSize& size, bool wrap);
    // The room a cell's graphic needs for automatic sizing (GridGraphics.cpp).
    virtual void CellGraphicSize(int col, int row, QSize& size);
    // Brings the always-visible scroll bars up to date (on resizing and count changes).
    virtual void UpdateScrollBarsAlways() { RefreshScrollBarsAlways(false); }
    // The same; with `force` a bar whose content fits is hidden also without ScrollBarAlways.
    void RefreshScrollBarsAlways(bool force);
    // The grid's 500 ms timer (started when its window is first shown) has ticked: the lookup
    // expires, hovering follows the pointer, blinking texts blink (GridKeys.cpp).
    virtual void TimerTick();
    bool TimerRunning() const { return m_timerId != 0; }

    // --- selection marks: rows, columns and cells marked besides the rectangular selection
    // A row's mark (disjunct row selection) or whether it lies in the selection. Raises
    // EZodUvuzError "Invalid row accessed" outside 0 .. RowCount + hidden rows - 1; the mark list
    // grows to the row. Writing repaints the row when the mark changes.
    bool RowSelected(int row);
    void SetRowSelected(int row, bool value);
    // A column's mark ("Invalid column accessed" outside 0 .. ColCount - 1).
    bool ColSelected(int col);
    void SetColSelected(int col, bool value);
    // Marked cells (disjunct cell selection, filled by mouse handling).
    TCellMarks& CellMarks() { return m_cellMarks; }
    // Clears every mark, repainting each marked row / column.
    void ClearRowMarks();
    void ClearColMarks();
    // Marks the rows (columns) of the rectangular selection; with `all` the other normal rows
    // (columns) lose their marks.
    void SelectionToRowMarks(bool all);
    void SelectionToColMarks(bool all);
    // False in fixed cells; else the row mark (disjunct rows), the column mark (disjunct columns)
    // or whether the cell lies in the rectangular selection.
    bool IsCellSelected(int col, int row);
    // --- hidden rows: every row has a real index (among all rows) and a displayed one
    virtual int NumHiddenRows() const { return int(m_hiddenRows.size()); }
    // The real index of a displayed row / the displayed index of a real row (for a hidden row:
    // the displayed row that follows it).
    virtual int RealRowIndex(int row) const;
    virtual int DisplRowIndex(int row) const;
    bool IsHiddenRow(int realRow) const;
    // The hidden rows in ascending order of their real index.
    const std::vector<TGridItem>& HiddenRows() const { return m_hiddenRows; }
    // Hides the real rows from .. to that are not hidden yet (each row leaves its own displayed
    // place). The grid keeps at least one displayed row.
    void HideRows(int fromReal, int toReal);
    // Hides the listed real rows (ascending).
    void HideRowList(const std::vector<int>& realRows);
    // Shows the hidden rows of the real range again, each at its own place.
    void UnHideRows(int fromReal, int toReal);
    void UnHideRowsAll();
    // The column visibility map (512 entries; no operation hides a column, so it maps 1:1).
    int RealColIndex(int displCol) const;
    int DisplColIndex(int realCol) override;
    bool IsHiddenColumn(int realCol) const;
    int NumHiddenColumns() const { return m_numHiddenCols; }

    // --- inserting and removing rows and columns
    virtual void InsertRows(int row, int count);
    virtual void RemoveRows(int row, int count);
    virtual void RemoveRowsShifted(int row, int count);
    virtual void RemoveRowsDeleting(int row, int count);
    virtual void InsertCols(int col, int count);
    virtual void RemoveCols(int col, int count);
    virtual void ClearRect(int col1, int row1, int col2, int row2);
    void ClearRowRange(int row, int count);
    void ClearColRange(int col, int count);
    void RemoveMarkedRows();
    // Every cell (nodes removed first; the lookup text typed so far is forgotten) / the marked
    // rows or columns, else the selection.
    void ClearAllCells();
    void ClearSelectedArea();
    void AddRowAtEnd();
    void UnmergeColumn(int col);
    void MergeEqualRuns(int col, bool ignoreRowMerges);
    // For every row position the row's number before any sort.
    TIntList& UnsortedRows() { return m_unsortedRows; }

    // --- sorting
    // -1, 0 or 1: how the cell of row1 sorts against the one of row2 in the column's style.
    int CompareCells(int col, int row1, int row2, bool descending);
    int CompareRowsFrom(int col, int row1, int row2);
    int CompareRowsByIndex(int key, int row1, int row2);
    // Exchanges two rows (cells with their objects and heights, or only the sort column's cells
    // with SingleColumn); the unsorted order, row marks and the row the sort follows go along.
    virtual void SwapRows(int row1, int row2);
    virtual void SortByColumn();
    // Raises EZodUvuzError "No indexes specified for indexed sort" with no keys.
    virtual void SortByIndex();
    // Sort the rows of every expanded node of more than 2 rows, each group on its own.
    virtual void SortNodes();
    // Raises EZodUvuzError "No indexes specified for indexed sort" with no keys.
    virtual void SortNodesByIndex();
    virtual void RestoreRowOrder();
    // The value of a cell's image for sorting by images; none until images are painted.
    virtual int CellImageValue(int col, int row) { (void)col; (void)row; return 0; }
    std::function<void(QObject* sender, const QString& str1, const QString& str2, int& res)> OnCustomCompare;
    std::function<void(QObject* sender, int col, int row1, int row2, int& res)> OnRawCompare;

    // --- node rows (real row numbers) and grouping
    void AddNode(int row, int span);
    void RemoveNode(int row);
    void RemoveAllNodes();
    void SetSummaryRow(int row);
    void ExpandNode(int row);
    void ContractNode(int row);
    void ExpandAll();
    void ContractAll();
    bool IsNodeRow(int row) const;
    bool IsSummaryRow(int row) const;
    bool IsNodeContracted(int row) const;
    int GetNodeLevel(int row) const;
    int GetNodeSpan(int row) const;
    void AddNodeSpan(int row, int delta);
    int GetParentNode(int row) const;
    bool PointOnNodeGlyph(int row, int x) const;
    // For the tree lines: 0 node row, 2 a line on to the next row, 1 the last row of a level.
    int NodeLineKind(int row) const;
    // A row inserted (at the row's displayed place + offset) / removed inside the node groups
    // that cover it: their spans follow.
    void InsertChildRow(int row, int offset);
    void RemoveChildRow(int row);
    void InsertRowReal(int row);
    void RemoveRowReal(int row);
    bool HasNodes() override { return m_nodeCount > 0; }
    int NodeCount() const { return m_nodeCount; }
    // Gathers the rows under header nodes by the column's values and removes the column; with the
    // filter on nothing happens.
    virtual void Group(int col);
    virtual void UnGroup();
    // A second level inside the groups: header nodes by the column's values (the values move to
    // the headers' next column); UnSubGroup puts them back.
    virtual void SubGroup(int col);
    virtual void UnSubGroup(int col);
    int GroupColumn() const { return m_groupColumn; }

    // --- drop markers and the pressed form button (children of the grid's window at creation)
    // The arrows of directions 0..3; none while designing.
    TArrowWindow* ArrowWindow(int direction) const
    {
        return direction >= 0 && direction < 4 ? m_arrows[size_t(direction)].data() : nullptr;
    }
    TPopupButton* PopupButton() const { return m_popupButton.data(); }

    // --- scroll bars and sizing
    void SetScrollBarAlways(TScrollBarAlways value);
    void SetScrollType(TScrollType value);
    void SetScrollColor(TColor value);
    void SetScrollWidth(int value);
    void SetScrollSynch(bool value);
    void SetScrollProportional(bool value);
    void SetIntegralHeight(bool value);
    // Styles the bars: flat (groove in ScrollColor, ScrollWidth thick) or the system's.
    void ApplyScrollStyle();
    // The text of the thumb hint while it shows, else empty.
    QString ScrollHintText() const;
    // Raises tk::EInvalidGridOperation "Stretch column index out of range" for a column at or
    // beyond ColCount; -1 is the last column.
    void StretchColumn(int col);
    // The column (row) being sized by the mouse with its width (height) before sizing; -1: none.
    void SetSizingRecord(int col, int colWidth, int row, int rowHeight);
    // Scrolling while something is dragged over the grid (client coordinates) and the timer's tick.
    void DragOverScroll(int x, int y, bool leaving);
    void DragScrollTick();
    QTimer* DragScrollTimer() const { return m_dragTimer; }
    std::function<void(QObject* sender, int row, QString& hint)> OnScrollHint;
    std::function<void(QObject* sender, int topRow, int leftCol, int& direction, bool& canScroll)> OnDragScroll;
    std::function<void(QObject* sender, int col)> OnEndColumnSize;
    std::function<void(QObject* sender, int row)> OnEndRowSize;

    // --- automatic sizing and statistics
    // Limits of automatic sizing (0, or minimum equal to maximum: none); a minimum row height
    // below 0 is the default row height.
    int MinColWidth = 10;
    int MaxColWidth = 0;
    int MinRowHeight = -1;
    int MaxRowHeight = 0;
    bool AutoSizeOnlyGrow = false;
    void AutoSizeColumn(int col, bool onlyGrow);
    void AutoSizeCol(int col);
    void AutoSizeColumns(bool includeFixed, int extra);
    void AutoSizeRowEx(int row, bool onlyGrow);
    void AutoSizeRow(int row);
    void SetRowLines(int row, int lines, int extra);
    // Over the displayed rows from .. to; a range beyond the displayed rows counts real rows,
    // hidden ones included. A cell that does not read as a number raises EZodUvuzError "Cell does
    // not contain a float value" as the first cell of ColumnMin / ColumnMax, else it is skipped.
    long double ColumnSum(int col, int fromRow, int toRow);
    long double ColumnAvg(int col, int fromRow, int toRow);
    long double ColumnMin(int col, int fromRow, int toRow);
    long double ColumnMax(int col, int fromRow, int toRow);
    // Moves the rectangle's top-left corner to where text rotated by the angle starts.
    void RotatedTextStart(QRect& rect, int angle, TVAlignment vAlign, TAlignment hAlign, const QString& text,
                          const QFont& textFont);
    void RotatedTextStart(QRect& rect, int angle, TVAlignment vAlign, TAlignment hAlign, const QString& text)
    {
        RotatedTextStart(rect, angle, vAlign, hAlign, text, font());
    }
    int MaxLinesInRow(int row);
    QWidget* CellControls(int col, int row) const;
    TColor CellColor(int col, int row) const;
    void SetCellColor(int col, int row, TColor color);
    void SetCellColorTo(int col, int row, TColor color);
    void SetFontColors(int col, int row, TColor color);
    bool ReadOnly(int col, int row) const;
    // clNone clears the row's colours, fonts and alignment (merges, read-only marks, node levels,
    // graphics and controls stay).
    void SetRowColor(int row, TColor color);
    void SetRowColorTo(int row, TColor color);
    void SetRowFontColor(int row, TColor color);
    int AllColCount() const { return ColCount() + NumHiddenColumns(); }
    void ResetColumnOrder();
    int SwapCount() const { return m_swapCount; }

    // --- typed values and text hooks
    // The displayed text as an integer / a number ("" and "-" read 0; brackets make it negative).
    // Raise EZodUvuzError "Cell does not contain integer value" / "... a float value".
    int IntegerCell(int col, int row);
    double FloatCell(int col, int row);
    double FloatCellByRealRow(int col, int realRow);
    // Stores the value through FloatFormat with the locale's separators ("%.2f" for a format that
    // is not one floating conversion).
    void SetFloatCell(int col, int row, double value);
    void SetDateCell(int col, int row, const QDate& date);
    virtual void GetFormattedText(int col, int row, QString& value);
    virtual void GetCellTextForSave(int col, int row, QString& value);
    virtual void SetCellTextFromLoad(int col, int row, const QString& value);
    std::function<void(QObject* sender, int col, int row, bool& isFloat, QString& format)> OnGetFloatFormat;

    // --- search
    // Searches from the cell `from` ((-1, -1): from the start) and gives the found cell or (-1, -1).
    // The search does not wrap: the caller starts again from (-1, -1).
    bool FindCell(QPoint from, const QString& text, QPoint& found, TSearchOptions options);
    bool FindCellEx(QPoint from, const QString& text, QPoint& found, TSearchOptions options);
    bool CellMatches(int col, int row, bool wide);
    // Search progress: stage 0 start, 1 before each cell test (with its row), 2 end without a
    // find, 4 end with one.
    virtual void CopyProgress(int stage, int index) { (void)stage; (void)index; }
    QPoint LastFound() const { return m_lastFound; }
    void SetLastFound(QPoint cell) { m_lastFound = cell; }
    TSearchOptions SearchOptions() const { return m_searchOptions; }
    int SearchColumnIndex = 0;
    int SearchRowIndex = 0;
    // Wraps every occurrence of the text in the stored texts of base cells in the tag (rich,
    // formula and packed texts are left alone, and so are plain texts holding "<", ">" or "&",
    // which the tags would turn into markup) / takes the tags out again.
    void HighlightRange(const QString& text, const QString& tag, int lastRow, int lastCol, int firstRow, int firstCol,
                        bool caseSensitive);
    void UnHighlightRange(const QString& tag, int firstCol, int lastRow, int lastCol, int firstRow);
    // Shows every occurrence of the text highlighted, in the normal cells or (withFixed) in all;
    // only the view is marked: stored texts, copies and streams stay as they are.
    void HighlightInGrid(bool withFixed, bool caseSensitive, const QString& text);
    void UnHighlightInGrid(bool withFixed);
    QString HighlightedText() const { return m_viewHighlight.text; }
    // The text a cell is painted with under the view's highlighting: mini-HTML with the
    // occurrences in hi tags (a plain text is made mini-HTML with its characters kept), or the
    // text unchanged.
    bool ViewHighlight(int col, int row, QString& text, int& kind) const;
    // The search bar (not owned) and its handlers.
    // Places every control held in a cell's properties over its cell, hiding those whose cell
    // is out of view or in a hidden column; runs when the cells scroll or change size.
    void RepositionCellControls();
    // Moves a shown control editor with its cell.
    void FollowEditorControl();
    void SetSearchBar(ISearchBar* bar) { m_searchBar = bar; }
    // The room under the cells: the floating footer right below them, the search bar below the
    // footer; the scroll area's bottom margin is their heights together.
    void LayoutBottomPanels();
    void SearchTextChanged();
    void SearchFindNext();
    void SearchFindPrevious();
    void SearchClose();
    void SearchHighlightClicked();
    // The first row whose lookup text begins with the (upper-case) prefix; -1 when none.
    int FindRowByPrefix(const QString& prefix);

    // --- filtering
    virtual bool RowMatchesFilter(int row);
    void ApplyFilter();
    bool FilterActive() const { return m_filterActive; }
    void SetFilterActive(bool value);
    std::function<void(QObject* sender, short progress)> OnFilterProgress;

    TColor SelectionColor() const { return m_selectionColor; }
    void SetSelectionColor(TColor value);
    TColor SelectionColorTo() const { return m_selectionColorTo; }
    void SetSelectionColorTo(TColor value);
    TColor SelectionTextColor() const { return m_selectionTextColor; }
    void SetSelectionTextColor(TColor value);
    bool SelectionRectangle() const { return m_selectionRectangle; }
    void SetSelectionRectangle(bool value);
    bool SelectionResizer() const { return m_selectionResizer; }
    void SetSelectionResizer(bool value);
    bool ShowSelection() const { return m_showSelection; }
    void SetShowSelection(bool value);

    // --- repainting
    // The band of a row from column 0 to the last visible column / a column from the top row to
    // the last visible row.
    void RepaintRow(int row);
    void RepaintCol(int col);
    // The merged rectangles of the range's corner cells; the whole grid when a corner is out of
    // view; nothing for a range with a negative coordinate.
    void RepaintRange(const tk::TGridRect& range);
    void RepaintActiveHeaders(int oldCol, int oldRow, int newRow, int newCol);

    // Pictures named by a source text in the cells' mini-HTML ("RES://", "FILE://", URLs).
    pictures::THTMLPictureCache& PictureCache() { return m_pictureCache; }

    // --- updates
    void BeginUpdate();
    void EndUpdate();
    int UpdateCount() const { return m_updateCount; }
    // Counts up without touching the window (around a single scroll-position change); Clear
    // gives back the count the matching Inc found, so an enclosing BeginUpdate keeps its hold.
    void IncUpdateCount();
    void ClearUpdateCount();

    // --- cell painting (GridPaint.cpp)
    // The colours, font, alignment and word wrap of a cell; `mapColumn`: `col` is a display column.
    void GetCellColors(int col, int row, bool& wordWrap, TAlignment& hAlign, TVAlignment& vAlign, tk::TFont& font,
                       TColor& colorTo, TColor& brushColor, bool mapColumn, bool selectionAware, bool printing,
                       tk::TGridDrawState& state) override;
    void ResolveCellAlignment(int col, int row, TAlignment& hAlign, TVAlignment& vAlign);
    // Whether a header cell shows the sort mark; the mark itself at (x, y).
    bool ShowsSortIndicator(int col, int row);
    void DrawSortIndicator(QPainter& painter, int col, int y, int x);
    // The dotted line shown while a column / row is sized; drawing the same line again removes it.
    void DrawColumnSizingLine(int x);
    void DrawRowSizingLine(int y);
    // The sizing lines now shown (x or y; -1 when none).
    int ColumnSizingLine() const { return m_colSizingLine; }
    int RowSizingLine() const { return m_rowSizingLine; }
    // The text shown for a formula cell: the display text in this class.
    virtual void GetCellTextForCopy(int col, int row, QString& value) { (void)col; (void)row; (void)value; }
    virtual bool FilterButtonColumn(int col) { (void)col; return false; }
    // Points added to every cell font while painting (wheel zoom); never below 1 point in total.
    int FontZoom = 0;
    // Blinking mini-HTML text shows while this is on.
    bool BlinkPhase = true;
    TColor FixedGradientColor = gfx::clWhite;
    TColor FixedGradientColorTo = gfx::clBtnFace;
    std::function<void(QObject* sender, int row, int col, QPen& left, QPen& top, QPen& right, QPen& bottom)>
        OnGetCellBorderProp;
    std::function<void(QObject* sender, int col, int row, const QRect& rect, tk::TGridDrawState state)> OnDrawCell;
    std::function<void(QObject* sender, QPainter& canvas, int col, int row, tk::TGridDrawState state,
                       const QRect& rect, bool printing)>
        OnCustomCellDraw;

    // --- rich-text cells (GridPaintRichText.cpp)
    // The hidden rich edit that renders and measures rich-text cells (made on first use).
    class VOdoZozaRere* RichRender();
    // A non-empty stored text is read into the edit (RTF, else plain text); an empty one clears it.
    void LoadRichTextToEdit(int col, int row, class VOdoZozaRere* edit);
    // The edit's content as RTF; "" for an empty edit.
    void SaveRichTextFromEdit(class VOdoZozaRere* edit, QString& text);
    void DrawRichTextCell(int col, int row, const QRect& rect, QPainter& painter);

    // --- cell graphics (GridGraphics.cpp)
    // The cell's graphic; in column 0 of a HotmailRowSelect grid the grid's shared row check box,
    // which no cell owns.
    virtual TCellGraphic* GetCellGraphicObject(int col, int row);
    virtual TCellType GetCellType(int col, int row);
    // Replaces the cell's graphic by a new one.
    TCellGraphic* CreateCellGraphic(int col, int row);
    // Frees the cell's graphic; false when it had none (of that kind).
    bool RemoveCellGraphic(int col, int row);
    bool RemoveCellGraphicOfKind(int col, int row, TCellType kind);
    const std::vector<int>* CellImageIndexes(int col, int row);
    // The graphic with its size and place for painting (null when the cell has none).
    TCellGraphic* GetCellGraphicLayout(int col, int row, TCellVAlign& vAlign, TCellHAlign& hAlign, bool& textVisible,
                                       int& height, int& width);
    // The room for printing: pictures for the available area divided by `scale`, full bitmaps and
    // icons, progress bars the cell's size, buttons their own size.
    virtual void CellGraphicSizeScaled(int col, int row, QSize& size, double scale, int availableHeight,
                                       int availableWidth);
    // Draws the cell's graphic into the cell; `textWidth` is the painted text's width + 2 (0: none).
    void DrawCellGraphic(QPainter& p, const QRect& rect, int col, int row, TCellGraphic* g, TVAlignment cellVAlign,
                         TAlignment textAlign, int textWidth, bool shownSelected, TColor brush);
    void DrawCheckGlyph(QPainter& p, const QRect& rect, bool checked, bool enabled, TControlStyle style);
    void DrawRadioGroup(QPainter& p, const QRect& rect, int count, int selectedIndex, const QStringList& items,
                        bool disabled, bool sideBySide, const QString& cellText, bool selected);
    // Selects the radio item under (x, y), relative to the cell's top-left corner.
    void ClickRadioItem(int col, int row, int y, int x);
    std::function<void(QObject* sender, int col, int row, int index)> OnRadioClick;
    // A row's indent: its node level times CellNode.NodeIndent in a grid with nodes.
    int RowIndent(int row) override;

    // --- background and theme colours (GridBackground.cpp)
    // 1 "NormalColor", 2 "HomeStead", 3 "Metallic", else 0.
    int DetectThemeScheme();
    void AdaptToTheme();
    // Switching it on takes the theme's colours at once (and again after loading).
    bool AutoThemeAdaptOn() const { return AutoThemeAdapt; }
    void SetAutoThemeAdapt(bool value);

    // --- navigation
    void GoToCell(int col, int row);
    void SetRowNotify(int row);
    // Selects the single cell (ColCount, RowCount) outside the grid, remembering the selection.
    void HideSelection();
    // Restores the remembered selection when it still starts inside the grid, else selects the
    // first normal cell.
    void UnHideSelection();
    bool SelectionHidden() const { return m_selectionHidden; }
    // The cell under a point in screen coordinates (-1 where it lies outside the cells).
    void ScreenToCell(const QPoint& screenPoint, int& col, int& row) const;
    // Moves a column with its cells (the column order is filled first when empty) / a row.
    void MoveColumnData(int fromIndex, int toIndex);
    void MoveRowData(int fromIndex, int toIndex);

    // --- copying and storing
    // Takes everything from another TZedEzeravIvur; any other source changes nothing.
    void Assign(const QObject* source);
    void SaveColumnWidths();
    void LoadColumnWidths();

    // --- version
    virtual int GetVersionNr() { return 0x03020003; }
    virtual void GetVersionString(QString& text);
    QString Version();
    void SetVersion(const QString&) {}

    // --- cell states (check boxes, radio groups, comments, rotation, placed controls)
    bool GetCheckBoxState(int col, int row, bool& state);
    bool SetCheckBoxState(int col, int row, bool state);
    virtual bool ToggleCheckBox(int col, int row, bool checkEditable);
    void CheckAll(int col);
    void UnCheckAll(int col);
    bool ToggleRadio(int col, int row, bool checkEditable);
    bool IsRadio(int col, int row) const;
    QStringList GetRadioOptions(int col, int row) const;
    bool GetRadioIndex(int col, int row, int& index) const;
    bool IsCheckBoxCell(int col, int row) const;
    bool IsControlCell(int col, int row) const;
    bool IsButtonCell(int col, int row) const;
    bool PointInCheckBox(int col, int row, int x, int y);
    bool GetComment(int col, int row, QString& text) const;
    bool GetRotation(int col, int row, int& angle) const;
    void SetCellBoolean(int col, int row, bool value);
    void GetCellErrorRange(int col, int row, int& from, int& len) const;
    QRect GetCellControlRect(int col, int row) const;

    // --- hooks with behaviour of their own
    virtual void GetCellFixed(int col, int row, bool& isFixed);
    bool IsFixedCell(int col, int row) override;
    virtual void GetCheckTrue(int col, int row, QString& value);
    virtual void GetCheckFalse(int col, int row, QString& value);
    virtual void CanEditCell(int col, int row, bool& canEdit);
    // The active-cell look for the headers of the current cell, then the cell's own colours and
    // font, then OnGetCellColor.
    virtual void GetCellColor(int col, int row, tk::TGridDrawState state, TColor& brush, tk::TFont& font);
    // Column 0 centred with HotmailRowSelect, then OnGetAlignment.
    virtual void GetCellAlignment(int col, int row, TAlignment& hAlign, TVAlignment& vAlign);
    // The hooks below raise their event when it is assigned (parameters in the event's own order).
    virtual void GridHint(int col, int row, QString& hint);
    virtual void GetCellPrintColor(int col, int row, tk::TGridDrawState state, TColor& brush, tk::TFont& font);
    virtual void GetCellBorder(int col, int row, QPen& pen, TCellBorders& borders);
    virtual void GetCellPrintBorder(int col, int row, QPen& pen, TCellBorders& borders);
    virtual void GetColumnFormat(int col, TSortStyle& style, QString& prefix, QString& suffix);
    virtual void GetCellEditor(int col, int row, TEditorType& editor);
    virtual void GetPasswordCell(int col, int row, bool& isPassword);
    virtual void GetCellWordWrap(int col, int row, bool& wordWrap);
    // False when OnHasComboBox is not assigned.
    virtual bool HasComboBox(int col, int row);
    virtual void CanAddRow(bool& canAdd);
    virtual void CanInsertRow(int row, bool& canInsert);
    // One row more at the bottom.
    virtual void AddRow() { SetRowCount(RowCount() + 1); }
    virtual void SelectionChanged(int left, int top, int right, int bottom);
    // A column was sized by the user / by automatic sizing: the width may still change.
    virtual void UpdateColumnSize(int col, int& width);
    virtual void UpdateAutoColumnSize(int col, int& width);
    virtual void CellsChanged(const QRect& cells);
    // A cell changed: the footer of its column is recalculated; all cells changed: every footer.
    virtual void RowChanged(int col, int row) { (void)row; CalcFooter(col); }
    virtual void AllCellsChanged() { CalcFooter(-1); }
    // Progress of a copy to and a paste from the clipboard (0 .. 100).
    virtual void CopyProgress(int progress) { (void)progress; }
    virtual void PasteProgress(int progress) { (void)progress; }
    // The floating footer row's calculations (-1: every column).
    virtual void UpdateFooter(int col);
    void CalcFooter(int col) { UpdateFooter(col); }
    void RichEditSelectionChanged();

    // --- data exchange: the clipboard, CSV and workbook files, the grid text stream
    // Whole-grid transfers treat the fixed rows and columns like normal cells.
    bool StoreFixedCells = true;
    // A copy quotes multi-line cells with character 11 for their line breaks (Multilinecells).
    bool MultiLineClipboardQuoting = false;
    // CSV fields code line breaks as "~" (and an empty text as "^") instead of character 11.
    bool TildeLineBreaks = false;
    // The CSV field delimiter; a null character: found for each file.
    QChar Delimiter;
    bool LastTransferWasCopy() const { return m_lastTransferWasCopy; }
    QPoint CopyOrigin() const { return m_copyOrigin; }
    void CopyToClipboard();
    void CutToClipboard();
    void PasteFromClipboard();
    // Pastes the clipboard with its top-left cell at the cell; the number of cells pasted (0 for
    // a rich-text paste).
    int PasteFromClipboardAt(int col, int row);
    void CopyRangeToClipboard(const tk::TGridRect& range, bool disjunct);
    // The text block a copy of the range puts on the clipboard.
    QString RangeToText(const tk::TGridRect& range, bool disjunct);
    // Adds the cell's rich text to the clipboard (keeping the forms already there).
    void CopyCellRTFToClipboard(int col, int row);
    // Pastes a tab/line-break text block; the number of fields read.
    int PasteTextAt(int col, int row, const QString& text);
    // The widest line's field count and the number of line breaks of a text block.
    void GetTextDimensions(const QString& text, int& cols, int& lineBreaks);
    void ExtendSelectionToMergedCells();
    // The private cell form: cells with their properties and graphics. Reading places the block at
    // the target (a whole grid in place) and answers where it landed; a malformed block raises
    // before anything changes when its header is wrong, else keeps the cells read before the fault.
    void PutCellsOnClipboard(const tk::TGridRect& range);
    void WriteCellsToStream(const tk::TGridRect& range, QIODevice& stream);
    tk::TGridRect ReadCellsFromStream(QPoint target, QIODevice& stream, int* sourceId = nullptr);
    // The MIME type of the private form ("TZedEzeravIvur Cells").
    static QString CellFormMime();
    // The number the private form names this grid by (random, drawn once per grid).
    int ClipboardID();
    // Stores one pasted text into the real column of the displayed column.
    virtual void PasteCellText(int col, int row, const QString& text);
    // After a paste: where the data was copied (-1, -1 when unknown), where it landed.
    virtual void CellsPasted(QPoint origin, const tk::TGridRect& target, bool fromCopy)
    {
        (void)origin; (void)target; (void)fromCopy;
    }
    // Paste progress: stage 0 before, 3 with each row, 2 at the end.
    virtual void PasteProgress(int stage, int row) { (void)stage; (void)row; }
    // Raises EZodUvuzError "Cannot open file <name>" when the file cannot be read.
    void LoadFromCSV(const QString& fileName);
    // The selected sheet of a workbook; the reader's error passes on.
    void LoadFromXLS(const QString& fileName);
    void SaveToStream(QIODevice& stream);
    void LoadFromStream(QIODevice& stream);
    std::function<void(QObject* sender, int col, int row, QString& value, bool& allow)> OnClipboardBeforePasteCell;
    std::function<void(QObject* sender, int col, int row, std::u16string& value, bool& allow)>
        OnClipboardBeforePasteWideCell;
    std::function<void(QObject* sender, short progress)> OnFileProgress;
    // --- the floating footer (created on first use)
    TFloatingFooter* FloatingFooter();
    TFooterPanel* FooterPanel();
    // Applies the footer's Visible and FooterStyle: panel height, FixedFooters, footer row.
    void ApplyFooterSettings();
    // The footer calculation of a column (0 none, 1 sum, 2 average, 3 count, 4 minimum, 5 maximum,
    // 7 OnCalcFooter), kept by the floating footer for the column whatever rows come and go.
    void SetFooterCalc(int col, int kind);
    void PaintFooter(QPainter& painter, const QRect& rect) override;
    int FooterColumnAt(int x) override;
    QString FooterHint(int col) override;
    void SetFooterMargin(int height) override;
    std::function<void(QObject* sender, int col, QPainter& painter, const QRect& rect)> OnFooterPaint;
    // --- drag and drop
    // Takes drops on the viewport (the OleDropTarget setter calls it).
    void RegisterDropTarget(bool on);
    // Runs a drag: by default QDrag::exec; tests put in one that sends Qt's drag events.
    using TDragExecutor = std::function<Qt::DropAction(QMimeData* data, Qt::DropActions allowed,
                                                       TZedEzeravIvur* source, const QPixmap& pixmap, QPoint hotSpot)>;
    static TDragExecutor& DragExecutor();
    // A drag from the cell: the column of a header cell (OleColumnDragDrop) or the selected cells;
    // after a move the source cells are removed or cleared. False when refused or cancelled;
    // `refused` tells OnOleDrag's refusal apart.
    bool StartOleDrag(int col, int row, bool* refused = nullptr);
    QString SelectionToDragText();
    tk::TGridRect DragSourceRect() const { return m_dragSourceRect; }
    // What the drop target calls (points in viewport coordinates); true when something was taken.
    void DragMouseMove(QPoint pt, bool& allow, bool columnDrag);
    bool DropText(QPoint pt, const QString& text);
    void HideDropMarkers();
    bool DropRTF(QPoint pt, const QString& rtf);
    void DropColumn(QPoint pt, int column);
    bool DropFiles(QPoint pt, const QStringList& files);
    std::function<void(QObject* sender, int row, int col, const QString& data, bool& allow)> OnOleDrag;
    std::function<void(QObject* sender, int row, int col)> OnOleDragStart;
    std::function<void(QObject* sender, int effect)> OnOleDragStop;
    std::function<void(QObject* sender, int row, int col, bool& allow)> OnOleDragOver;
    std::function<void(QObject* sender, int row, int col, const QString& data, bool& allow)> OnOleDrop;
    std::function<void(QObject* sender, const tk::TGridRect& rect)> OnOleDropped;
    std::function<void(QObject* sender, int row, int col, int dropCol)> OnOleDropCol;
    std::function<void(QObject* sender, int row, int col, const QString& fileName, bool& allow)> OnOleDropFile;

    // Cell-change listeners: told of every CellsChanged rectangle.
    using TCellsChangedListener = std::function<void(TZedEzeravIvur* grid, const QRect& cells)>;
    std::vector<TCellsChangedListener>& CellsChangedListeners() { return m_cellsChangedListeners; }

    // After streaming: copies the headers, loads saved widths, remembers the fixed counts.
    void Loaded() override;
    // The filter conditions are stored as the collection "Filter".
    void DefineProperties(tk::TFiler& filer) override;
    bool IsLoaded() const { return m_loaded; }

    // --- events
    std::function<void(QObject* sender, int oldRow, int newRow)> OnRowUpdate;
    // Asked before the current cell moves (SelectCell); clearing allow keeps the cell.
    std::function<void(QObject* sender, int oldRow, int newRow, bool& allow)> OnRowChanging;
    std::function<void(QObject* sender, int oldCol, int newCol, bool& allow)> OnColChanging;
    std::function<void(QObject* sender, int oldRow, int oldCol, int newRow, int newCol, bool& allow)> OnCellChanging;
    // The advance after an edit may change its target or refuse it.
    std::function<void(QObject* sender, int oldRow, int oldCol, int& newRow, int& newCol, bool& allow)> OnAutoAdvance;
    // A column added by the advance after an edit (AdvanceInsert, top-to-bottom).
    std::function<void(QObject* sender, int col)> OnAutoInsertCol;
    std::function<void(QObject* sender, int row, int col, bool& isFixed)> OnIsFixedCell;
    std::function<void(QObject* sender, int col, int row, QString& value)> OnGetCheckTrue;
    std::function<void(QObject* sender, int col, int row, QString& value)> OnGetCheckFalse;
    std::function<void(QObject* sender, int row, int col, bool& canEdit)> OnCanEditCell;
    std::function<void(QObject* sender)> OnRichEditSelectionChange;
    std::function<void(QObject* sender, int row, int col, tk::TGridDrawState state, TColor& brush, tk::TFont& font)>
        OnGetCellColor;
    std::function<void(QObject* sender, int row, int col, TAlignment& hAlign, TVAlignment& vAlign)> OnGetAlignment;
    std::function<void(QObject* sender)> OnResize;
    std::function<void(QObject* sender, int row, int col, QString& hint)> OnGridHint;
    std::function<void(QObject* sender, int row, int col, tk::TGridDrawState state, TColor& brush, tk::TFont& font)>
        OnGetCellPrintColor;
    std::function<void(QObject* sender, int row, int col, QPen& pen, TCellBorders& borders)> OnGetCellBorder;
    std::function<void(QObject* sender, int row, int col, QPen& pen, TCellBorders& borders)> OnGetCellPrintBorder;
    std::function<void(QObject* sender, int col, TSortStyle& style, QString& prefix, QString& suffix)> OnGetFormat;
    std::function<void(QObject* sender, int col, int row, TEditorType& editor)> OnGetEditorType;
    std::function<void(QObject* sender, int row, int col, bool& isPassword)> OnIsPasswordCell;
    std::function<void(QObject* sender, int col, int row, bool& wordWrap)> OnGetWordWrap;
    std::function<void(QObject* sender, int col, int row, bool& hasComboBox)> OnHasComboBox;
    std::function<void(QObject* sender, bool& canAdd)> OnCanAddRow;
    std::function<void(QObject* sender, int row, bool& canInsert)> OnCanInsertRow;
    std::function<void(QObject* sender, int left, int top, int right, int bottom)> OnSelectionChanged;
    std::function<void(QObject* sender, int col, int& width)> OnUpdateColumnSize;
    std::function<void(QObject* sender, const QRect& cells)> OnCellsChanged;

    // --- editing: which editor a cell gets, showing it over the cell, writing back (ZodUvuzEdit.cpp)
    bool DatePickerSupported = true;
    bool IsEditableCell(int col, int row);
    void ShowInplaceEdit(int col, int row);
    void HideInplaceEdit(int col, int row);
    void EndInplaceEdit() override;
    void RestoreEditText() override;
    // Gives the text to the edit-text store of the displayed column, then to the cell.
    void StoreEditText(int col, int row, const QString& value);
    bool ValidateCell(const QString& value) override;
    // Starts tracking the edit of a cell (its text before the edit).
    virtual void EditStarted(int col, int row);
    bool RowModified(int row) const;
    // Refuses a row outside the grid (nothing is written).
    void SetRowModified(int row, bool value);
    int GetEditLimit() override { return MaxEditLength; }
    void TabAdvance(bool backward) override;
    void AdvanceCell(int col, int row, bool repeat, bool forward, bool keepEditing, bool force);
    void EditorKeyExit(int key, Qt::KeyboardModifiers modifiers) override;
    void ShowEditorForCurrentCell();
    QString GetInplaceEditText() override;
    void SetInplaceEditText(const QString& value) override;
    QString EllipsClick(const QString& value) override;
    // The editor kind chosen when the current edit began.
    TEditorType CurrentEditorType() const;
    bool EditorControlActive() const;
    bool EditingInProgress() const;
    QWidget* ShownEditorControl() const;
    QString EditStartText() override;
    // The edited text of a cell: its merge's base cell in the real column; without EditWithTags the
    // HTML tags are left out.
    QString GetEditText(int col, int row) override;
    // Stores an edited text into the merge's base cell, in the real column.
    void SetEditText(int col, int row, const QString& value) override;
    // The stored text without its mini-HTML tags.
    QString GetCellTextNoHTML(int col, int row);
    void GetCellTextNoHTML(int col, int row, QString& text) { text = GetCellTextNoHTML(col, row); }
    // The texts kept for a hidden real row (empty when the row is shown).
    QStringList HiddenRowItems(int realRow) const;
    // The text of a cell by real row, hidden or shown.
    QString GetCellOfRealRow(int col, int realRow) const;
    // The editor controls (created with the grid, kept hidden).
    editors::TGridSpin* GridSpin() const;
    editors::TGridCombo* GridCombo() const;
    editors::TGridEditBtn* GridEditBtn() const;
    editors::TGridUnitEditBtn* GridUnitEditBtn() const;
    editors::TGridCheckBox* GridCheckBox() const;
    editors::TGridDatePicker* GridDatePicker() const;
    editors::TGridButton* GridButton() const;
    editors::TGridUniEdit* GridUniEdit() const;
    editors::TGridUniEditBtn* GridUniEditBtn() const;
    editors::TGridUniMemo* GridUniMemo() const;
    editors::TGridUniCombo* GridUniCombo() const;
    // Wide cell texts: stored packed ("|\" and two characters per UTF-16 unit).
    bool IsWideCell(int col, int row) const;
    std::u16string WideCells(int col, int row) const;
    void SetWideCells(int col, int row, const std::u16string& value);
    bool ValidateWideCell(const QString& value) override;
    QString GetWideEditText() override;
    void SetWideEditText(const QString& value) override;
    std::function<void(QObject* sender, int col, int row, std::u16string& value, bool& valid)> OnCellValidateWide;
    // The application's editor of edCustom cells (not owned).
    TEditLink* EditLink() const { return m_editLink; }
    void SetEditLink(TEditLink* link) { m_editLink = link; }
    std::function<void(QObject* sender, int col, int row, TEditLink* link)> OnGetEditorProp;

    // --- form controls in mini-HTML cells (ZodUvuzControls.cpp)
    // Opens the editor of an EDIT, PASSWORD, MASK or COMBO control over its rectangle.
    void EditCellControl(const QString& cellText, const QString& ctrlType, int row, int col, int displayCol,
                         const QRect& controlRect, const QString& ctrlValue, const QString& ctrlID);
    // Writes the editor's value into the control's VALUE of the stored cell text.
    void ControlEditDone();
    // Opens the first editable control of the cell after `afterID` (the first one when empty); the
    // grid takes the focus when there is none.
    void FocusCellControl(int col, int row, const QString& afterID);
    // A click on a control (BUTTON pressed, CHECK toggled, editors opened).
    void ClickCellControl(int col, int row, const QString& ctrlID, const QString& ctrlType, const QString& ctrlValue,
                          const QRect& controlRect);
    TControlEdit* ControlEdit() const;
    // The rich-text in-place editor.
    TRichInplaceEdit* RichEdit() const;
    TControlCombo* ControlCombo() const;
    // Edits a fixed cell in the grid's fixed-cell editor (GridMouse.cpp).
    void EditFixedCell(int col, int row);
    TGridTransEdit* FixedCellEditor() const;
    QString ControlEditType() const { return m_controlEditType; }
    bool ControlFocused() const { return m_controlFocused; }
    std::function<void(QObject* sender, int row, int col, const QString& id, const QString& type, const QString& value)>
        OnControlClick;
    // The toolkit's edit mask of a cell for the default edit (translated to Qt's input mask).
    QString GetEditMask(int col, int row) override;
    std::function<void(QObject* sender, int col, int row, QString& value)> OnGetEditMask;
    std::function<void(QObject* sender, int row, int col, const QString& id, const QString& type, const QString& value)>
        OnControlEditDone;
    std::function<void(QObject* sender, int row, int col, const QString& id, const QString& type, const QString& value,
                       QStringList& values, bool& edit, int& dropCount)>
        OnControlComboList;
    // Separators and formats of the editors (the grid locale's, with ":" and "HH:mm:ss" for times).
    const editors::TEditorLocale& EditorLocale() override;

    std::function<void(QObject* sender, int col, int row, QString& value, bool& valid)> OnCellValidate;
    std::function<void(QObject* sender)> OnEditingDone;
    std::function<void(QObject* sender, int col, int row, QString& value)> OnEllipsClick;
    std::function<void(QObject* sender, int col, int row, int value, bool upDown)> OnSpinClick;
    std::function<void(QObject* sender, int col, int row, double value, bool upDown)> OnFloatSpinClick;
    std::function<void(QObject* sender, int col, int row, QDateTime value, bool upDown)> OnDateSpinClick;
    std::function<void(QObject* sender, int col, int row, QDateTime value, bool upDown)> OnTimeSpinClick;
    std::function<void(QObject* sender, int col, int row, int itemIndex, const QString& selection)> OnComboChange;
    // The item's object is the QObject* the combo keeps as that item's data (null when none).
    std::function<void(QObject* sender, int col, int row, int itemIndex, const QString& selection, QObject* object)>
        OnComboObjectChange;
    std::function<void(QObject* sender, int col, int row, const QString& value)> OnEditChange;
    std::function<void(QObject* sender, int& key, Qt::KeyboardModifiers modifiers)> OnKeyDown;
    std::function<void(QObject* sender, int row, int col)> OnDblClickCell;

    // --- editor host (the editors' side of the grid)
    QWidget* HostWidget() override { return this; }
    bool WantsTabs() override { return GridOptions() & tk::goTabs; }
    bool EditSelectAll() override;
    void AdvanceCell(bool forward) override { AdvanceCell(Col(), Row(), false, forward, true, false); }
    bool LookupEnabled() override { return Lookup; }
    bool LookupIsCaseSensitive() override { return LookupCaseSensitive; }
    bool LookupKeepsHistory() override { return LookupHistory; }
    int LookupCount() override { return m_lookupItems.Count(); }
    QString LookupItem(int index) override { return m_lookupItems.Strings(index); }
    void AddLookupItem(const QString& value) override { m_lookupItems.Add(value); }
    void SpinClicked(int spinKind, const QVariant& value, bool up) override;
    void ComboChanged(int index, const QString& text, QObject* object, bool objectEvent = true) override;
    void ComboCloseUp() override;
    void DateTimeChanged(const QDateTime& value) override;
    std::function<void(QObject* sender, int row, int col)> OnComboCloseUp;
    std::function<void(QObject* sender, int col, int row, const QDateTime& value)> OnDateTimeChange;

    // --- keyboard, timer and size (GridKeys.cpp)
    // A row inserted / removed by the Insert and Delete keys (inside its parent node when it has
    // one); the last normal row of a grid without FixedRowAlways is only cleared.
    virtual void AutoInsertRow(int row);
    virtual void AutoDeleteRow(int row);
    // Ctrl+A's range before it becomes the selection.
    virtual void KeySelectAllHook(tk::TGridRect& range) { (void)range; }
    // The select-all corner's range before it becomes the selection.
    virtual void SelectAllHook(tk::TGridRect& range) { (void)range; }
    // The in-place edit's text, the position of the character before the caret and the caret.
    virtual void EditorCaretChanged(const QString& text, const QPoint& point, int position)
    {
        (void)text; (void)point; (void)position;
    }
    // Whether the in-place edit's text begins with "=" (false when the edit is left).
    virtual void EditorEqualsPrefix(bool equals) { (void)equals; }
    // FixedCols, or 1 when there are none and the grid holds nodes.
    int FirstNormalColumn();
    QString LookupText() const { return m_lookupText; }
    int LookupTicks() const { return m_lookupTicks; }
    int TimerTicks() const { return m_timerTicks; }
    QChar PendingEditChar() const { return m_pendingEditChar; }
    std::function<void(QObject* sender, QChar& key)> OnKeyPress;
    std::function<void(QObject* sender, int row)> OnAutoAddRow;
    std::function<void(QObject* sender, int row)> OnAutoInsertRow;
    std::function<void(QObject* sender, int row, bool& canDelete)> OnCanDeleteRow;
    std::function<void(QObject* sender, int row)> OnAutoDeleteRow;
    std::function<void(QObject* sender, int col, int row, bool state)> OnCheckBoxClick;
    std::function<void(QObject* sender, int col, int row)> OnButtonClick;
    std::function<void(QObject* sender, bool& allow)> OnClipboardCut;
    std::function<void(QObject* sender, bool& allow)> OnClipboardCopy;
    std::function<void(QObject* sender, bool& allow)> OnClipboardPaste;
    // Set when a popup editor closes: the focus coming back to the grid then is ignored once.
    void SetPopupEditorClosed() { m_popupEditorClosed = true; }
    bool PopupEditorClosed() const { return m_popupEditorClosed; }

    // --- mouse and wheel (GridMouse.cpp)
    // Adds delta to the zoom level (-10 .. 10) and to every column width and row height that stays
    // above 0; nothing when the level would leave its range.
    void ZoomBy(int delta);
    int ZoomLevel() const { return m_zoom; }
    // Milliseconds the last sort by a header click took.
    qint64 SortDuration() const { return m_sortDuration; }
    // Opens an http, https or mailto link; the desktop's by default.
    std::function<void(const QUrl& url)> LinkOpener;
    // Whether a link text is one the grid opens itself (http, https, mailto).
    static bool IsOpenableLink(const QString& link, QUrl* url = nullptr);
    std::function<void(QObject* sender, int row, int col, bool& allow)> OnCanClickCell;
    std::function<void(QObject* sender, int row, int col)> OnClickCell;
    // A left press and release handled by the grid (not one that ended a header sizing, started
    // a drag or resized the selection).
    std::function<void(QObject* sender)> OnClick;
    std::function<void(QObject* sender, int row, int col)> OnRightClickCell;
    std::function<void(QObject* sender, int row, int col, const QString& anchor, bool& autoHandle)> OnAnchorClick;
    std::function<void(QObject* sender, int col, bool& doSort)> OnCanSort;
    std::function<void(QObject* sender, int col)> OnClickSort;
    std::function<void(QObject* sender, int col, int row, bool state)> OnCheckBoxMouseUp;
    std::function<void(QObject* sender, int col, int row, int index)> OnRadioMouseUp;
    std::function<void(QObject* sender, int row, int col, const QString& anchor)> OnAnchorEnter;
    std::function<void(QObject* sender, int row, int col, const QString& anchor)> OnAnchorExit;
    // A press on a node glyph: asked first (row displayed, then real), told after.
    std::function<void(QObject* sender, int row, int realRow, bool& allow)> OnBeforeExpandNode;
    std::function<void(QObject* sender, int row, int realRow)> OnExpandNode;
    std::function<void(QObject* sender, int row, int realRow, bool& allow)> OnBeforeContractNode;
    std::function<void(QObject* sender, int row, int realRow)> OnContractNode;
    // A column (row) header dragged far enough to move: a refusal ends the move.
    std::function<void(QObject* sender, int col, bool& allow)> OnColumnMove;
    std::function<void(QObject* sender, int row, bool& allow)> OnRowMove;
    std::function<void(QObject* sender, int col, bool& allow)> OnColumnSize;
    std::function<void(QObject* sender, int row, bool& allow)> OnRowSize;
    // The fixed column (row) whose right (bottom) edge lies under the pointer, -1 when none, and
    // the one being sized.
    int FixedSizingEdgeCol() const { return m_fixedEdgeCol; }
    int FixedSizingEdgeRow() const { return m_fixedEdgeRow; }
    int FixedColSizing() const { return m_fixedColSizing; }
    // Middle-button panning: started by a middle press, moved every 10 ms by where the pointer
    // stands from the press point, ended by any button or key.
    bool Panning() const { return m_panning; }
    void PanTick(const QPoint& viewportPointer);
    void EndPan();
    // The column (row) being moved by the mouse and where it would land now.
    using TBaseGrid::MoveIndex;
    using TBaseGrid::MoveTarget;
    // The pan glyph shown at the press point while panning (nullptr before the first pan).
    QWidget* PanGlyphWidget() const { return m_panGlyph; }
    // Where the pointer stood at the last move or press (TCursorZone): the header and selection
    // cursors follow it, and the header selections and the select-all corner need it.
    int CursorZone() const { return m_cursorZone; }
    // The 6 x 6 handle at the bottom-right corner of the selection (viewport pixels); empty without
    // SelectionResizer and SelectionRectangle or when the corner cell is off screen.
    QRect SelectionResizerHandle() const;
    // A press on the handle copies the selection and drags it larger; the release fills the new
    // selection from the copy (a series where the copy holds one). The copy is kept by the grid:
    // the desktop clipboard is neither read nor changed.
    bool ResizingSelection() const { return m_resizingSelection; }
    std::function<void(QObject* sender, const tk::TGridRect& origSelection, const tk::TGridRect& newSelection)>
        OnSelectionResize;
    std::function<void(QObject* sender, const tk::TGridRect& origSelection, const tk::TGridRect& newSelection)>
        OnSelectionResized;

protected:
    void MouseDown(tk::TMouseButton button, tk::TShiftState shift, int x, int y) override;
    void MouseUp(tk::TMouseButton button, tk::TShiftState shift, int x, int y) override;
    void MouseMove(tk::TShiftState shift, int x, int y) override;
    bool viewportEvent(QEvent* event) override;
    bool DoMouseWheel(tk::TShiftState shift, int notches, const QPoint& pos) override;
    // The column order, hidden-column flags, sort column and sort keys follow a moved column.
    void ColumnMoved(int fromIndex, int toIndex) override;
    void RowMoved(int fromIndex, int toIndex) override;
    // The floating footer row stays last: it is not moved, and no row moves past it.
    bool BeginRowDrag(int& origin, int& destination, const QPoint& pt) override;
    // A column moved by the mouse keeps the column order as MoveColumnData does.
    bool EndColumnDrag(int& origin, int& destination, const QPoint& pt) override;
    bool EndRowDrag(int& origin, int& destination, const QPoint& pt) override;
    // A sizing the application refuses (OnColumnSize, OnRowSize) does not start.
    tk::TGridState CalcSizingState(int x, int y, int& index, int& sizingPos, int& sizingOfs) override;
    bool CanEditShow() const override;
    bool SelectCell(int col, int row) override;
    tk::TInplaceEditor* CreateEditor() override;
    bool EditorFits(tk::TInplaceEditor* editor) override;
    // The default edit is multi-line unless Ctrl+Enter breaks are off or the cell is a password or masked.
    bool WantsMultiLineEditor();
    void DrawCellContent(QPainter& painter, int col, tk::TGridDrawState state, const QRect& rect, int row) override;
    void Paint(QPainter& painter, const QRect& clip) override;
    bool CanScrollPixels() const override;
    void KeyDown(int& key, tk::TShiftState shift) override;
    void KeyPress(QChar& key) override;
    void KeyUp(int& key, tk::TShiftState shift) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    // Follows the application's focus changes from the first grid on, so a grid knows where its
    // focus came from even when an editor took the focus before the grid ever had it.
    static void TrackFocusChanges();
    // The focus came into the grid from outside it (not from one of its editors, not by the
    // window's activation or a closed popup): the current cell is selected again and the edit
    // tracking starts over for it.
    void DoEnter() override;
    // Raises OnClick; the edit tracking starts over for the current cell.
    void Click();
    void Resized() override;
    void ColWidthsChanged() override;
    void RowHeightsChanged() override;
    void SizeChanged(int oldColCount, int oldRowCount) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void TopLeftChanged() override;
    QPoint editorAnchor(int col, int row) const;
    void timerEvent(QTimerEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    // A character typed into the grid is the grid's: only with Alt (accelerators) or Ctrl and Meta
    // (menu shortcuts) may a shortcut of the window take it first.
    bool event(QEvent* event) override;

private:
    friend class TGridEditing;
    friend class TZedInplaceEdit;
    friend class TEditLink;
    friend class TControlEdit;
    friend class TControlCombo;
    QPointer<TEditLink> m_editLink;
    mutable TControlEdit* m_controlEdit = nullptr;
    mutable TRichInplaceEdit* m_richEdit = nullptr;
    mutable TControlCombo* m_controlCombo = nullptr;
    mutable TGridTransEdit* m_fixedCellEditor = nullptr;
    QPoint m_controlEditCell{-1, -1};
    QString m_controlEditID;
    QString m_controlEditType;
    QString m_controlEditMask;
    bool m_controlEditOpen = false;
    bool m_controlFocused = false;
    TGridEditing& editing() const;
    bool canEditShowStep();
    mutable TGridEditing* m_editing = nullptr;   // a child object of the grid

    void writeColumnHeaders();
    void writeRowHeaders();
    void watchWindow();
    TCellGraphic* baseGraphic(int col, int row) const;
    void referTo(QPointer<QObject>& slot, QObject* value);

    std::unique_ptr<TSortSettings> m_sortSettings;
    std::unique_ptr<TDragDropSettings> m_dragDropSettings;
    std::unique_ptr<TDragScrollOptions> m_dragScrollOptions;
    std::unique_ptr<TBands> m_bands;
    std::unique_ptr<TBackGround> m_backGround;
    std::unique_ptr<TGrouping> m_grouping;
    std::unique_ptr<TShowModified> m_showModified;
    TFilter m_filter{this};
    std::unique_ptr<TPrintSettings> m_printSettings;
    std::unique_ptr<THTMLSettings> m_htmlSettings;
    std::unique_ptr<TControlLook> m_controlLook;
    std::unique_ptr<TNavigation> m_navigation;
    std::unique_ptr<TColumnSize> m_columnSize;
    std::unique_ptr<TCellNode> m_cellNode;
    std::unique_ptr<TSizeWhileTyping> m_sizeWhileTyping;
    std::unique_ptr<TMouseActions> m_mouseActions;
    tk::TStringList m_columnHeaders;
    tk::TStringList m_rowHeaders;
    tk::TFont m_fixedFont;
    tk::TFont m_activeCellFont;

    QPointer<QObject> m_gridImages;
    QPointer<QObject> m_pictureContainer;
    QPointer<QObject> m_cellChecker;
    int m_cursor = 0;
    tk::TStringList m_lookupItems;
    QImage m_rowIndicator;
    tk::TStringList m_sortList;
    std::array<TIntList, 5> m_intLists;
    TSortIndexList m_sortIndexes;
    TControlList m_cellControls;
    TIntList m_changedCells;
    TIntList m_columnOrder;
    tk::TGridRect m_hiddenSelection;
    bool m_selectionHidden = false;

    TColor m_selectionColor = 0xEACAB6;
    TColor m_selectionColorTo = gfx::clNone;
    TColor m_selectionTextColor = 0;
    bool m_selectionRectangle = false;
    bool m_selectionResizer = false;
    bool m_showSelection = true;
    std::vector<uint8_t> m_rowMarks;
    std::vector<uint8_t> m_colMarks;
    TCellMarks m_cellMarks;
    pictures::THTMLPictureCache m_pictureCache;
    bool m_loaded = false;
    bool m_shownOnce = false;
    bool m_skipInvalidate = false;
    int m_timerId = 0;
    int m_cellMarginX = 2;
    int m_cellMarginY = 2;
    QChar m_passwordChar = QLatin1Char('*');
    QString m_checkTrue = QStringLiteral("Y");
    QString m_checkFalse = QStringLiteral("N");
    QString m_floatFormat = QStringLiteral("%.2f");
    bool m_themedDrawing = false;
    bool m_commonControls6 = false;
    int m_lastReportedRow = -1;
    int m_updateCount = 0;
    bool m_activeCellShow = false;
    TColor m_activeCellColor = 0x808080;
    TColor m_activeCellColorTo = gfx::clNone;
    TVAlignment m_vAlignment = vtaTop;
    bool m_flat = false;
    TGridLook m_look = glXP;
    TColor m_urlColor = 0xFF0000;
    bool m_urlShow = false;
    bool m_urlFull = false;
    bool m_ownWordWrap = true;
    bool m_sizeWithForm = false;
    QPointer<QWidget> m_watchedWindow;
    QSize m_windowSize;
    bool m_fixedRowAlways = false;
    bool m_fixedColAlways = false;
    int m_fixedFooters = 0;
    int m_fixedRightCols = 0;
    int m_fixedRowHeight = 21;
    int m_fixedRowsStored = 1;
    int m_fixedColsStored = 1;
    int m_loadedFixedRows = 1;
    int m_loadedFixedCols = 1;
    int m_loadedDefaultRowHeight = 21;
    // painting
    std::unique_ptr<TCellGraphic> m_rowCheckBox; // the shared check box of HotmailRowSelect rows
    int m_updateCountBeforeInc = -1;
    int m_colSizingLine = -1;
    int m_rowSizingLine = -1;
    void drawCellText(QPainter& p, int col, int row, tk::TGridDrawState state, QRect rect, TAlignment hAlign,
                      TVAlignment vAlign, bool wordWrap, TColor savedBrush, TColor savedFontColor, tk::TFont& font,
                      TColor& brush, int& textWidth, TCellHAlign gha, TCellVAlign gva, int gw, int gh,
                      bool textVisible);
    void drawTreeLines(QPainter& p, int row, QRect& rect);
    void drawCellBorders(QPainter& p, int col, int row, const QRect& rect);
    void drawCellBackground(QPainter& p, int col, int row, const QRect& rect, bool fixed, bool selected);
    void paintUnusedArea(QPainter& p);
    bool cellShownSelected(int col, int row, tk::TGridDrawState state);

    // data exchange
    bool cellEditable(int realCol, int row);
    int firstNormalCol() const;
    int firstNormalRow() const;
    // The text of a cell as transfers and files take it.
    QString textForSave(int col, int row);
    void setTextFromLoad(int col, int row, const QString& text);
    void afterLoad();
    bool PasteCellForm(int col, int row, int& count);
    std::vector<std::pair<int, int>> footerLayout() const;
    class TGridDropTarget* m_dropTarget = nullptr;   // a child of the grid
    tk::TGridRect m_dragSourceRect{-1, -1, -1, -1};
    tk::TGridRect m_lastDropRect{-1, -1, -1, -1};
    bool m_dropHappened = false;
    TFloatingFooter* m_floatingFooter = nullptr;   // children of the grid
    TFooterPanel* m_footerPanel = nullptr;
    int m_clipboardId = 0;
    QPoint m_copyOrigin{-1, -1};
    bool m_lastTransferWasCopy = false;
    std::vector<TCellsChangedListener> m_cellsChangedListeners;

    // keyboard and timer
    void raiseKeyDown(int key, tk::TShiftState shift);
    bool skipFixedCells(int key);
    void controlCellKey(int key, int col, int row);
    void disjunctMarks(int key, tk::TShiftState shift);
    QString m_lookupText;
    int m_lookupTicks = 0;
    int m_timerTicks = 0;
    QChar m_pendingEditChar;
    // Set first thing by the destructor: editors losing the focus then end nothing.
    bool m_tearingDown = false;
    // Set while an operation lays the merged ranges itself (SetRowCount and SetColCount leave them).
    bool m_noMergeRelay = false;
    int m_knownWidth = 0;
    bool m_inResized = false;
    bool m_popupEditorClosed = false;
    bool clipboardShortcut(int key, tk::TShiftState shift);

    // mouse
    bool hitHTML(int col, int row, int x, int y, QString& anchor, QString& ctrlId, QString& ctrlType,
                 QString& ctrlValue, QRect* ctrlRect = nullptr);
    bool clickLinkOrControl(int col, int row, int x, int y);
    void sortClick(int col, tk::TShiftState shift);
    bool clickNodeGlyph(int col, int row, int x);
    bool isFooterRow(int row) const { return LastRowIsFooter() && row == RowCount() - 1; }
    void showMoveMarkers(int x, int y);
    void hideMoveMarkers();
    bool m_moveAsked = false;
    QPoint m_pressPoint{-1, -1};
    QPoint m_pressCell{-1, -1};
    QPoint m_pressedButtonCell{-1, -1};
    bool m_unmarkOnRelease = false;
    bool m_clickSelecting = false;
    bool m_pressHandled = false;
    QString m_lastAnchor;
    int m_zoom = 0;
    qint64 m_sortDuration = 0;
    void showSizeHint(bool column, int index, int size);
    int m_fixedEdgeCol = -1;
    int m_fixedEdgeRow = -1;
    int m_fixedColSizing = -1;
    int m_fixedRowSizing = -1;
    int m_sizingIndexAtPress = -1;
    int m_headerDragAnchor = -1;
    bool m_panning = false;
    bool m_dblClickSized = false;
    // The selection resizer: the selection at the press, and the grid's own copy buffer that the
    // clipboard operations use in place of the desktop's while it works.
    void startSelectionResize(tk::TMouseButton button, tk::TShiftState shift, int x, int y);
    void endSelectionResize();
    const QMimeData* clipboardMime() const;
    void setClipboardMime(QMimeData* mime);   // takes it over
    bool m_resizingSelection = false;
    // A press on the selection: a move drags the cells, a release selects the cell.
    bool m_selectOnRelease = false;
    // A held-down BUTTON control of a mini-HTML cell comes up (button release, focus lost).
    void releasePressedControl();
    // Disjunct cell selection: the release on a cell marks it (Ctrl toggles it).
    void markCellsOnRelease(int col, int row, tk::TShiftState shift);
    // Fixed cells drawn as buttons: m_pressedButtonCell holds a fixed cell drawn pressed.
    bool m_pressedFixed = false;
    bool m_leftButtonDown = false;
    // The list-view look's fixed cell under the pointer (drawn hot, or pressed while the left
    // button is down); -1 when none.
    QPoint m_hotCell{-1, -1};
    bool drawnAsFixed(int col, int row) { return col < TBaseGrid::FixedCols() || row < TBaseGrid::FixedRows() || IsFixedCell(col, row); }
    void setHotCell(int col, int row);
    // A focus taken by a mouse press: what AlwaysEdit does on focus waits for the press, which
    // hands a plain cell press to the toolkit with AlwaysEdit off.
    bool m_focusByPress = false;
    void alwaysEditOnFocus();
    bool m_enteringFromOutside = false;   // set while a focus-in from outside the grid runs
    int m_leftAtPress = -1;               // the left column when the left button went down
    tk::TGridRect m_resizeOrigin{-1, -1, -1, -1};
    std::shared_ptr<QMimeData> m_ownClipboard;
    bool m_useOwnClipboard = false;
    QPoint m_panOrigin;
    QObject* m_panTimer = nullptr;
    QWidget* m_panGlyph = nullptr;
    bool m_headerDragRows = false;
    int m_cursorZone = 0;
    bool m_zoneCleared = false;   // a cursor change cleared the zone; the next move finds it again
    QString m_ownCursorKey;       // the grid's own cursor as last seen (empty: none of its own)
    int cursorZoneAt(int x, int y);
    int m_sizeAtPress = 0;

    // rows
    struct SortRun;
    bool sameVerticalMerges(int row1, int row2, int exceptCol) const;
    TCellProperties* rowProps0(int realRow) const;
    TCellGraphic* nodeGraphic(int realRow) const;
    int nodeEnd(int realRow) const;
    void colourGroupRow(int row, bool header, int headerCol = -1);
    void uncolourGroupRow(int row, bool header, int headerCol = -1);
    void insertSummaryRow(int row);
    void keepFoundRowAboveFooter();
    void searchFromButton(bool backward);
    QString m_searchText;
    TSearchOptions m_searchOptions = 0;
    QPoint m_lastFound{-1, -1};
    QString m_lastButtonSearch;
    struct ViewHighlightState {
        QString text;
        bool caseSensitive = false;
        bool withFixed = false;
    } m_viewHighlight;
    ISearchBar* m_searchBar = nullptr;
    TScrollBarAlways scrollBarAlwaysValue() const { return ScrollBarAlways; }
    TScrollType scrollTypeValue() const { return ScrollType; }
    int scrollColorValue() const { return int(ScrollColor); }
    int scrollWidthValue() const { return ScrollWidth; }
    bool scrollSynchValue() const { return ScrollSynch; }
    bool scrollProportionalValue() const { return ScrollProportional; }
    bool integralHeightValue() const { return IntegralHeight; }
    bool allRowsFit() const;
    bool allColsFit() const;
    void updateProportionalThumbs();
    void thumbMoved(Qt::Orientation orientation, int value);
    void thumbReleased();
    void connectScrollBars();
    void doStretch(int col, bool explicitCall);
    int integralHeight(int height) const;
    void applyIntegralHeightOnResize();
    void stopDragTimer();
    std::array<QPointer<TArrowWindow>, 4> m_arrows;
    QPointer<TPopupButton> m_popupButton;
    bool m_scrollHintShown = false;   // the hint window shows a thumb hint
    QTimer* m_dragTimer = nullptr;
    int m_dragDirection = 0;
    bool m_stretchAllowed = true;
    int m_sizingCol = -1;
    int m_sizingColWidth = 0;
    int m_sizingRow = -1;
    int m_sizingRowHeight = 0;
    bool m_inWidthsChanged = false;
    bool m_inHeightsChanged = false;
    bool m_settingBounds = false;
    int m_nodeCount = 0;
    int m_swapCount = 0;
    int minRowHeight() const { return MinRowHeight < 0 ? DefaultRowHeight() : MinRowHeight; }
    QString statText(int col, int row, bool real);
    bool statRowCounts(int col, int row, bool real);
    long double columnStat(int col, int fromRow, int toRow, int kind);
    void rowColour(int row, TColor color, int which);
    int m_groupColumn = -1;
    int m_groupWidth = 0;
    int m_groupHeaderCol = 1;
    QString m_groupHeaderText;
    void takeHiddenRows(std::vector<int> displRows, const std::vector<int>& realIdx);
    void putHiddenRows(std::vector<TGridItem> items);
    void freeRecordObjects(tk::TStringGrid::TRowRecord& record);
    void quickSort(SortRun& run, int low, int high);
    void sortFrame(bool byIndex, bool nodes);
    void moveRowsToOrder(int first, const std::vector<int>& order);
    TSortStyle resolvedStyle(int col, int row1, TSortStyle style, SortRun* run);
    std::vector<TGridItem> m_hiddenRows;
    std::array<bool, 512> m_hiddenCols{};
    int m_numHiddenCols = 0;
    TIntList m_unsortedRows;
    bool m_filterActive = false;
    int m_filterFixedRows = 1;
    SortRun* m_sortRun = nullptr;
};

} // namespace grid
