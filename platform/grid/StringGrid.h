#pragma once
// The toolkit's string grid: a text and an object slot per cell on top of the grid base.
//
// Cells are kept per row: a row is a record that moves whole (deleting, moving and sorting rows move
// records, never texts). A row allocates its texts on the first write and its object slots only when
// it gets an object, so empty rows and rows without objects cost one small record.
//
// The grid does not own the objects: a descendant that does is told of every object the grid drops
// (rows or columns cut away, deleted or cleared) through ReleaseObject.
#include "platform/grid/CustomGrid.h"
#include <QStringList>
#include <memory>
#include <vector>

namespace tk {

class TStringGrid : public TCustomGrid {
    Q_OBJECT
public:
    explicit TStringGrid(QWidget* parent = nullptr);
    ~TStringGrid() override;

    // Text of a cell; empty outside the grid.
    const QString& Cells(int col, int row) const
    {
        if (row < 0 || row >= int(m_rows.size()) || col < 0)
            return emptyText();
        const RowRecord& r = m_rows[size_t(row)];
        return col < r.texts.size() ? r.texts[col] : emptyText();
    }
    // Text and object of a cell in one look-up (empty and null outside the grid).
    const QString& CellAndObject(int col, int row, TObject*& object) const
    {
        object = nullptr;
        if (row < 0 || row >= int(m_rows.size()) || col < 0)
            return emptyText();
        const RowRecord& r = m_rows[size_t(row)];
        if (r.objects && col < int(r.objects->size()))
            object = (*r.objects)[size_t(col)];
        return col < r.texts.size() ? r.texts[col] : emptyText();
    }
    // Stores a text (ignored outside the grid) and repaints the cell.
    void SetCells(int col, int row, const QString& value);
    TObject* Objects(int col, int row) const
    {
        if (row < 0 || row >= int(m_rows.size()) || col < 0)
            return nullptr;
        const RowRecord& r = m_rows[size_t(row)];
        return r.objects && col < int(r.objects->size()) ? (*r.objects)[size_t(col)] : nullptr;
    }
    // Stores an object; the grid does not free the one it replaces (see ReleaseObject).
    void SetObjects(int col, int row, TObject* object);

    // The texts of one row / column; setting fills from the first cell and leaves the rest alone.
    QStringList Rows(int row) const;
    void SetRows(int row, const QStringList& texts);
    QStringList Cols(int col) const;
    void SetCols(int col, const QStringList& texts);

    // Removes a row / column with its cells (their objects are released) and shrinks the grid.
    void DeleteRow(int row);
    void DeleteColumn(int col);
    // Moves a row with its cells and height (MoveColumn of the base moves columns with their cells).
    void MoveRow(int fromIndex, int toIndex) override;
    // Exchanges two rows' cells (records); heights stay with the positions.
    void ExchangeRows(int row1, int row2);
    // Copies the texts of one row onto another (objects stay where they are).
    void AssignRow(int destRow, int sourceRow);

    // A row's cells as one record: it moves whole between the grid and stores kept beside it.
    struct TRowRecord {
        QList<QString> texts;                           // empty until written; up to ColCount
        std::unique_ptr<std::vector<TObject*>> objects; // only rows that have an object
    };
    // Takes `count` rows from `at` out of the grid with their heights; the grid shrinks (it keeps
    // at least one row, so the count may be lowered) and the objects go with the records. The
    // current and top rows keep their numbers within the new bounds. Returns the rows taken.
    int TakeRows(int at, int count, std::vector<TRowRecord>& records, std::vector<int>& heights);
    // Puts records in before row `at` (0 .. RowCount) with their heights; the grid grows. Texts
    // and objects beyond ColCount are dropped (objects released).
    void PutRows(int at, std::vector<TRowRecord>&& records, const std::vector<int>& heights);
    // Takes the listed rows (ascending, distinct) out in one pass; like TakeRows it keeps at least
    // one row (the list's tail is then left in place). Returns the rows taken.
    int TakeRowList(const std::vector<int>& rows, std::vector<TRowRecord>& records, std::vector<int>& heights);
    // Puts records in so that each lands at its position of the grown grid (ascending, distinct).
    void PutRowList(const std::vector<int>& positions, std::vector<TRowRecord>&& records,
                    const std::vector<int>& heights);
    // Inserts `count` empty rows of the given height before row `at`.
    void InsertEmptyRows(int at, int count, int height);
    // The record of a displayed row (0 .. RowCount - 1).
    TRowRecord& RecordAt(int row) { return m_rows.at(size_t(row)); }

protected:
    void DrawCell(int col, int row, const QRect& rect, TGridDrawState state) override;
    void SizeChanged(int oldColCount, int oldRowCount) override;
    void ColumnMoved(int fromIndex, int toIndex) override;
    QString GetEditText(int col, int row) override;
    void SetEditText(int col, int row, const QString& value) override;
    // An object left the grid's cells (its cell was cut away or deleted).
    virtual void ReleaseObject(TObject* object) { (void)object; }

    // Text only, without repainting (for descendants that repaint themselves).
    void StoreCell(int col, int row, const QString& value);
    // Every object stored in the grid, in no particular order.
    std::vector<TObject*> AllObjects() const;

private:
    static const QString& emptyText();
    using RowRecord = TRowRecord;
    void trimRowColumns(RowRecord& r, int cols);
    std::vector<RowRecord> m_rows;
};

} // namespace tk
