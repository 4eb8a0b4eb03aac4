#pragma once
// Bases of the items that attach properties to cell areas, and the record source that their
// readers take follow-up records from.
#include <QByteArray>
#include <cstdint>

namespace xls {

// The records after the one being read: the next record's id, and the next record itself.
class TRecordSource {
public:
    virtual ~TRecordSource() = default;
    virtual uint16_t PeekRecordId() = 0;
    virtual QByteArray ReadRecord(uint16_t& id) = 0;
};

// An item whose areas follow a sheet's cell move, copy and delete.
class TCollectionItemMoveCopy {
public:
    explicit TCollectionItemMoveCopy(int id) : ID(id) {}
    virtual ~TCollectionItemMoveCopy() = default;
    const int ID;
    virtual bool IntersectsArea(int col1, int row1, int col2, int row2) const = 0;
    virtual void CopyAreas(int col1, int row1, int col2, int row2, int dCol, int dRow) = 0;
    virtual void DeleteArea(int col1, int row1, int col2, int row2) = 0;
    virtual void CropAreas(int col1, int row1, int col2, int row2) = 0;
    virtual void OffsetAreas(int dCol, int dRow) = 0;
    virtual void MoveAreas(int col1, int row1, int col2, int row2, int dCol, int dRow) = 0;
};

// The area operations of an item forwarded to its areas.
#define QLY_FORWARD_AREA_OPERATIONS(areas)                                                                           \
    bool IntersectsArea(int c1, int r1, int c2, int r2) const override { return areas.IntersectsArea(c1, r1, c2, r2); } \
    void CopyAreas(int c1, int r1, int c2, int r2, int dc, int dr) override { areas.CopyAreas(c1, r1, c2, r2, dc, dr); } \
    void DeleteArea(int c1, int r1, int c2, int r2) override { areas.DeleteArea(c1, r1, c2, r2); }                   \
    void CropAreas(int c1, int r1, int c2, int r2) override { areas.CropAreas(c1, r1, c2, r2); }                     \
    void OffsetAreas(int dc, int dr) override { areas.OffsetAreas(dc, dr); }                                         \
    void MoveAreas(int c1, int r1, int c2, int r2, int dc, int dr) override { areas.MoveAreas(c1, r1, c2, r2, dc, dr); }

}
