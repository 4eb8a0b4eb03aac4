#pragma once
// The base of the family's string grid: the toolkit's string grid with a property object per cell,
// merged cells, its own grid lines (colour and width), an active-row highlight, display-text
// events that change what a cell shows without changing what it stores, and a recorder of cell
// changes.
//
// The grid owns the objects in its cells: a cell's slot holds its TCellProperties or nothing.
#include "grid/GridOptions.h"
#include "grid/GridTypes.h"
#include "platform/grid/StringGrid.h"
#include "platform/grid/Toolkit.h"
#include <QPoint>
#include <QPointer>
#include <QRect>
#include <functional>
#include <memory>
#include <vector>

class QPainter;

namespace grid {

using gfx::TColor;
class TBaseGrid;
class TZodUvuzUndoRedo;

// What a cell has besides its text: colours, font, alignment, its place in a merged range, a
// read-only mark, its node level and a control placed in it. Created on first use.
class TCellProperties : public tk::TObject {
public:
    TCellProperties(TBaseGrid* owner, int col, int row);

    TBaseGrid* Owner() const { return m_owner; }

    bool IsBaseCell = true;
    int CellSpanX = -1;  // base cell: extra columns of its range; covered cell: distance from the base
    int CellSpanY = -1;
    int OwnerCol;
    int OwnerRow;
    TAlignment Alignment = taLeftJustify;
    TColor BorderColor = 0;
    int BorderWidth = 0;
    TBrushStyle BrushStyle = bsSolid;
    QPointer<QObject> CellObject;   // the application's, not owned
    TColor FontColor = gfx::clNone;
    QString FontName;
    int FontSize = 0;
    TFontStyles FontStyle = 0;
    TEditorType Editor = edNormal;
    bool ReadOnly = false;
    int NodeLevel = 0;
    QPointer<QWidget> Control;      // a control placed in the cell, not owned

    // Setting these repaints the owner cell.
    TColor BrushColor() const { return m_brushColor; }
    void SetBrushColor(TColor value);
    TColor BrushColorTo() const { return m_brushColorTo; }
    void SetBrushColorTo(TColor value);
    TVAlignment VAlignment() const { return m_vAlignment; }
    void SetVAlignment(TVAlignment value);
    bool WordWrap() const { return m_wordWrap; }
    void SetWordWrap(bool value);

    // Not published: the stamp of the paint pass that last drew this cell (the footer's
    // calculations are kept by the footer, per column).
    quint32 PaintStamp = 0;
    // What the cell shows besides its text (none at creation); owned.
    std::unique_ptr<TCellGraphic> Graphic;

    // Copies everything but BrushColorTo, CellObject and what the cell shows besides its text.
    void Assign(const TCellProperties& other);

private:
    void Repaint();
    TBaseGrid* m_owner;
    TColor m_brushColor = gfx::clNone;
    TColor m_brushColorTo = gfx::clNone;
    TVAlignment m_vAlignment = vtaTop;
    bool m_wordWrap;
};

// Colour and font parts a cell's properties set (brush colour, font colour, style, size, name).
void ApplyCellProperties(const TCellProperties* p, TColor& brush, tk::TFont& font);

// One recorded change: the new text, the text before, and the cell.
struct TUndoRedoItem {
    QString Value;
    QString OrigValue;
    int Col = 0;
    int Row = 0;
};

// Records cell changes of a grid (applying them back is not its business).
class TZodUvuzUndoRedo : public QObject {
    Q_OBJECT
    Q_PROPERTY(int MaxLevel READ MaxLevel WRITE SetMaxLevel)
public:
    explicit TZodUvuzUndoRedo(QObject* owner = nullptr);
    ~TZodUvuzUndoRedo() override;

    // 0: no limit. Lowering it drops the oldest changes down to the new limit.
    int MaxLevel() const { return m_maxLevel; }
    void SetMaxLevel(int value);
    int Level() const { return int(m_items.size()); }
    const std::vector<TUndoRedoItem>& Items() const { return m_items; }
    TBaseGrid* Grid() const { return m_grid; }

    virtual void RegisterChange(int col, int row, const QString& value, const QString& origValue);

private:
    friend class TBaseGrid;
    void trim();
    int m_maxLevel = 0;
    std::vector<TUndoRedoItem> m_items;
    TBaseGrid* m_grid = nullptr;
};

class TBaseGrid : public tk::TStringGrid {
    Q_OBJECT
public:
    using TGetDisplTextEvent = std::function<void(QObject* sender, int col, int row, QString& value)>;
    using TGetDisplWideTextEvent = std::function<void(QObject* sender, int col, int row, std::u16string& value)>;

    explicit TBaseGrid(QWidget* parent = nullptr);
    ~TBaseGrid() override;

    // --- published
    bool DefaultDrawing() const { return m_defaultDrawing; }
    void SetDefaultDrawing(bool value) { m_defaultDrawing = value; }
    int GridLineWidth() const { return m_gridLineWidth; }
    void SetGridLineWidth(int value);
    TColor GridLineColor() const { return m_gridLineColor; }
    void SetGridLineColor(TColor value);
    bool ActiveRowShow() const { return m_activeRowShow; }
    void SetActiveRowShow(bool value);
    TColor ActiveRowColor() const { return m_activeRowColor; }
    void SetActiveRowColor(TColor value);
    TZodUvuzUndoRedo* UndoRedo() const { return m_undoRedo; }
    void SetUndoRedo(TZodUvuzUndoRedo* value);
    TGetDisplTextEvent OnGetDisplText;
    TGetDisplWideTextEvent OnGetDisplWideText;

    // --- state
    // The grid is being designed (set once by the constructor of a descendant).
    bool Designing() const { return m_designing; }
    bool WordWrap() const { return m_wordWrap; }
    void SetWordWrap(bool value) { m_wordWrap = value; }
    bool LastRowIsFooter() const { return m_lastRowIsFooter; }
    void SetLastRowIsFooter(bool value) { m_lastRowIsFooter = value; }
    int DisplayTextRowLimit() const { return m_displayTextRowLimit; }
    void SetDisplayTextRowLimit(int value) { m_displayTextRowLimit = value; }
    quint32 PaintStamp() const { return m_paintStamp; }

    // --- cell properties
    TCellProperties* GetCellProperties(int col, int row);   // created on first use
    bool HasCellProperties(int col, int row) const;
    TCellProperties* CellPropertiesOrNull(int col, int row) const;
    // Replaces a cell's property object; the old one is freed.
    void SetCellProperties(int col, int row, TCellProperties* props);

    // The cell's graphic or null; setting one creates the properties when missing (the cell's
    // text is left as it was) and frees a graphic it replaces.
    TCellGraphic* GetCellGraphic(int col, int row) const;
    void SetCellGraphic(int col, int row, std::unique_ptr<TCellGraphic> graphic);

    // --- merged cells
    QPoint BaseCell(int col, int row) const;
    bool IsBaseCell(int col, int row) const;
    bool IsMergedCell(int col, int row) const;
    bool IsXMergedCell(int col, int row) const;
    bool IsYMergedCell(int col, int row) const;
    QPoint CellSpan(int col, int row) const;
    QRect MergedCellRect(int col, int row) const;
    QSize CellSize(int col, int row) const;
    QRect CellRectAt(int col, int row) const;
    bool RowsInSameMerge(int row1, int row2) const;
    void SnapToBaseCell();
    virtual void MergeCells(int col, int row, int numCols, int numRows);
    virtual void SplitCells(int col, int row);

    // --- merged ranges under row and column changes
    // A merged range: its cells (the base cell top-left) and the text its base cell holds.
    struct TMergedRange {
        QRect cells;
        QString text;
    };
    // Every merged range of the grid, found from the base cells.
    std::vector<TMergedRange> MergedRanges() const;
    // Lays the ranges found before an operation again after it moved, added or dropped rows and
    // columns: rowTo[r] and colTo[c] are the new places of the old row r and column c (-1: gone).
    // A range keeps the rows and columns it had that remain, with rows and columns inserted
    // between them, while they stay in their order side by side; otherwise it is given up and its
    // cells show their own texts. When its base cell went, its text goes to its new top-left cell.
    // Every other cell is left unmerged, whatever stale spans it carried.
    void RelayMergedRanges(const std::vector<TMergedRange>& before, const std::vector<int>& rowTo,
                           const std::vector<int>& colTo);
    // The index map of `count` indices after `delta` of them were inserted at `at` (delta > 0)
    // or removed from `at` on (delta < 0).
    static std::vector<int> ShiftedIndices(int count, int at, int delta);
    // Splits every range that spans more than one row and reaches into rows first .. last.
    void SplitRowSpanningRanges(int first, int last);

    // --- texts
    // The text shown in a cell: the stored text of its base cell, possibly changed by the
    // display-text events.
    QString DisplayText(int col, int row);
    // Stores a text; a cell with properties stores it in its base cell.
    void SetCellText(int col, int row, const QString& value);
    void RepaintCell(int col, int row);

    // --- clearing (detach: the object lives on in another cell)
    void ClearCell(int col, int row);
    void ClearRowCells(int row);
    void ClearColumnCells(int col);
    void FreeCellProperties(int col, int row);
    void FreeCellProperties(int left, int top, int right, int bottom);
    void FreeCellProperties();

    int FixedColsWidth() const;
    int FixedRowsHeight() const;

    // --- operations descendants fill
    virtual bool IsFixedCell(int col, int row) { (void)col; (void)row; return false; }
    virtual int RowIndent(int row) { (void)row; return 0; }
    virtual bool HasNodes() { return false; }
    virtual void LastRowChanged() {}
    virtual void GetDisplText(int col, int row, QString& value);
    virtual void GetDisplWideText(int col, int row, std::u16string& value);
    // Resolves how a cell is drawn. The base leaves everything as it comes.
    virtual void GetCellColors(int col, int row, bool& wordWrap, TAlignment& hAlign, TVAlignment& vAlign,
                               tk::TFont& font, TColor& colorTo, TColor& brushColor, bool mapColumn,
                               bool selectionAware, bool printing, tk::TGridDrawState& state);
    virtual int DisplColIndex(int col) { return col; }

    // Paints the cells into an image (offscreen pictures and tests).
    QImage PaintToImage();

protected:
    virtual void DrawCellContent(QPainter& painter, int col, tk::TGridDrawState state, const QRect& rect, int row);

    void DrawCell(int col, int row, const QRect& rect, tk::TGridDrawState state) override;
    void Paint(QPainter& painter, const QRect& clip) override;
    bool SelectCell(int col, int row) override;
    void KeyDown(int& key, tk::TShiftState shift) override;
    bool DoMouseWheel(tk::TShiftState shift, int notches, const QPoint& pos) override;
    void TopLeftChanged() override;
    void SizeChanged(int oldColCount, int oldRowCount) override;
    void ReleaseObject(tk::TObject* object) override;
    QColor GridLineColor(bool fixed) const override;

    void SetDesigning(bool value) { m_designing = value; }

private:
    void drawLines(QPainter& p, const QRect& rect, bool fixed, int col);
    bool m_defaultDrawing = false;
    int m_gridLineWidth = 1;
    TColor m_gridLineColor = 0xC0C0C0;
    quint32 m_paintStamp = 0;
    bool m_lastRowIsFooter = false;
    int m_displayTextRowLimit = 0;
    QPointer<TZodUvuzUndoRedo> m_undoRedo;
    bool m_wordWrap = true;
    bool m_activeRowShow = false;
    TColor m_activeRowColor = gfx::clInfoBk;
    bool m_destroying = false;
    bool m_designing = false;
};

} // namespace grid
