#pragma once
// Rectangular cell areas and the arithmetic that a sheet's cell move, copy and delete apply to
// them: free areas (TCellAreas) may be cut and merged, solid ones (merged cells) stay whole.
#include <QList>
#include <cstdint>
#include <memory>
#include <vector>

namespace xls {

struct TRect {
    int Col1 = 0, Row1 = 0, Col2 = 0, Row2 = 0;
    bool operator==(const TRect&) const = default;
};

bool Intersect(const TRect& a, const TRect& b, TRect& out);
// The pieces of `a` outside `x` (x lying inside a): above, below, left, right.
QList<TRect> Subtract(const TRect& a, const TRect& x);
bool ClipToSheet(TRect& r);   // false when the rectangle lies outside the sheet

class TCellArea {
public:
    explicit TCellArea(int id) : ID(id) {}
    const int ID;
    uint16_t Col1 = 0, Row1 = 0, Col2 = 0, Row2 = 0;
    void Assign(const TCellArea& other) { Col1 = other.Col1; Row1 = other.Row1; Col2 = other.Col2; Row2 = other.Row2; }
    TRect Rect() const { return {Col1, Row1, Col2, Row2}; }
    void SetRect(const TRect& r);
};

class TBaseCellAreas {
public:
    explicit TBaseCellAreas(void* owner = nullptr) : m_owner(owner) {}
    virtual ~TBaseCellAreas() = default;
    TBaseCellAreas(const TBaseCellAreas&) = delete;
    TBaseCellAreas& operator=(const TBaseCellAreas&) = delete;

    void* Owner() const { return m_owner; }
    int Count() const { return int(m_items.size()); }
    TCellArea* Items(int index) const;   // raises on an index out of range
    TCellArea* Add();
    TCellArea* AddArea(int col1, int row1, int col2, int row2);
    // A BIFF reference: first row, last row, first column, last column (16-bit each).
    TCellArea* AddRef(const uint8_t* p);
    void Delete(int index);
    void Clear() { m_items.clear(); }
    void Assign(const TBaseCellAreas& other);
    bool IntersectsArea(int col1, int row1, int col2, int row2) const;

    virtual void CopyAreas(int col1, int row1, int col2, int row2, int dCol, int dRow) = 0;
    virtual void DeleteArea(int col1, int row1, int col2, int row2) = 0;
    virtual void CropAreas(int col1, int row1, int col2, int row2) = 0;
    virtual void OffsetAreas(int dCol, int dRow) = 0;
    virtual void MoveAreas(int col1, int row1, int col2, int row2, int dCol, int dRow) = 0;

protected:
    void* m_owner;
    std::vector<std::unique_ptr<TCellArea>> m_items;
    int m_nextId = 0;
};

// Free areas: cut by deletes, merged with what is copied onto them.
class TCellAreas : public TBaseCellAreas {
public:
    using TBaseCellAreas::TBaseCellAreas;
    void CopyAreas(int col1, int row1, int col2, int row2, int dCol, int dRow) override;
    void DeleteArea(int col1, int row1, int col2, int row2) override;
    void CropAreas(int col1, int row1, int col2, int row2) override;
    void OffsetAreas(int dCol, int dRow) override;
    void MoveAreas(int col1, int row1, int col2, int row2, int dCol, int dRow) override;
private:
    bool merge(const TRect& d);
    void copyOrMove(const TRect& x, int dCol, int dRow, bool move);
};

// Areas that must stay whole: an operation that would cut one into pieces fails.
class TSolidCellAreas : public TBaseCellAreas {
public:
    using TBaseCellAreas::TBaseCellAreas;
    void CopyAreas(int, int, int, int, int, int) override {}
    void DeleteArea(int col1, int row1, int col2, int row2) override;
    void CropAreas(int, int, int, int) override {}
    void OffsetAreas(int, int) override {}
    void MoveAreas(int col1, int row1, int col2, int row2, int dCol, int dRow) override;
};

class TMergedCells : public TSolidCellAreas {
public:
    using TSolidCellAreas::TSolidCellAreas;
};

}
