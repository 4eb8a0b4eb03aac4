#pragma once
// Cells (one class per kind of content), the sparse cell storage, rows and columns.
#include "spreadsheet/Formats.h"
#include "spreadsheet/Pool.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <cstdint>
#include <cstring>
#include <memory>

namespace xls {

struct TSSTEntry;

enum TCellType : uint8_t {
    ctBlank = 1, ctFloat = 4, ctString = 5, ctBoolean = 6, ctError = 7, ctNumberFormula = 8,
    ctStringFormula = 9, ctBooleanFormula = 10, ctErrorFormula = 11, ctArrayFormula = 12
};

class TCell : public TFormattedObject {
public:
    XLS_POOLED
    // A cell does not hold its position: the storage knows it (a cell is three words).
    TCell(TCellFormats* formats, int formatIndex) : TFormattedObject(formats, formatIndex) {}
    virtual uint8_t CellType() const = 0;
    virtual TCell* Copy() const = 0;
};

class TBlankCell : public TCell {
public:
    using TCell::TCell;
    uint8_t CellType() const override { return ctBlank; }
    TCell* Copy() const override { return new TBlankCell(owner(), FormatIndex()); }
};

class TFloatCell : public TCell {
public:
    TFloatCell(TCellFormats* f, int fi, double v) : TCell(f, fi), Value(v) {}
    uint8_t CellType() const override { return ctFloat; }
    TCell* Copy() const override { return new TFloatCell(owner(), FormatIndex(), Value); }
    double Value;
};

class TStringCell : public TCell {
public:
    // The cell counts as one user of the entry.
    TStringCell(TCellFormats* f, int fi, TSSTEntry* e) : TCell(f, fi), Entry(e) {}
    uint8_t CellType() const override { return ctString; }
    TCell* Copy() const override;
    TSSTEntry* Entry;
};

class TBooleanCell : public TCell {
public:
    TBooleanCell(TCellFormats* f, int fi, uint8_t v) : TCell(f, fi), Value(v) {}
    uint8_t CellType() const override { return ctBoolean; }
    TCell* Copy() const override { return new TBooleanCell(owner(), FormatIndex(), Value); }
    uint8_t Value;
};

class TErrorCell : public TCell {
public:
    TErrorCell(TCellFormats* f, int fi, uint8_t idx) : TCell(f, fi), ErrorIndex(idx) {}
    uint8_t CellType() const override { return ctError; }
    TCell* Copy() const override { return new TErrorCell(owner(), FormatIndex(), ErrorIndex); }
    uint8_t ErrorIndex;
};

class TFormulaCell : public TCell {
public:
    TFormulaCell(TCellFormats* f, int fi, const QByteArray& tokens)
        : TCell(f, fi), Tokens(tokens), TokenLength(int(tokens.size())) {}
    QByteArray Tokens;   // the tokens, followed by their extra data (array constants)
    int TokenLength;
protected:
    TCell* withTokens(TFormulaCell* c) const { c->TokenLength = TokenLength; return c; }
};

class TNumberFormulaCell : public TFormulaCell {
public:
    TNumberFormulaCell(TCellFormats* f, int fi, const QByteArray& t, double v)
        : TFormulaCell(f, fi, t), Value(v) {}
    uint8_t CellType() const override { return ctNumberFormula; }
    TCell* Copy() const override { return withTokens(new TNumberFormulaCell(owner(), FormatIndex(), Tokens, Value)); }
    double Value;
};

class TStringFormulaCell : public TFormulaCell {
public:
    TStringFormulaCell(TCellFormats* f, int fi, const QByteArray& t, const QString& v)
        : TFormulaCell(f, fi, t), Value(v) {}
    uint8_t CellType() const override { return ctStringFormula; }
    TCell* Copy() const override { return withTokens(new TStringFormulaCell(owner(), FormatIndex(), Tokens, Value)); }
    QString Value;
};

class TBooleanFormulaCell : public TFormulaCell {
public:
    TBooleanFormulaCell(TCellFormats* f, int fi, const QByteArray& t, uint8_t v)
        : TFormulaCell(f, fi, t), Value(v) {}
    uint8_t CellType() const override { return ctBooleanFormula; }
    TCell* Copy() const override { return withTokens(new TBooleanFormulaCell(owner(), FormatIndex(), Tokens, Value)); }
    uint8_t Value;
};

class TErrorFormulaCell : public TFormulaCell {
public:
    TErrorFormulaCell(TCellFormats* f, int fi, const QByteArray& t, uint8_t idx)
        : TFormulaCell(f, fi, t), ErrorIndex(idx) {}
    uint8_t CellType() const override { return ctErrorFormula; }
    TCell* Copy() const override { return withTokens(new TErrorFormulaCell(owner(), FormatIndex(), Tokens, ErrorIndex)); }
    uint8_t ErrorIndex;
};

// An array formula keeps its ARRAY record body; its cached result is the formula record's
// result: a number, or a text, boolean or error (ResultType).
class TArrayFormulaCell : public TFormulaCell {
public:
    enum TResultType : uint8_t { arNumber, arString, arBoolean, arError, arEmpty };
    TArrayFormulaCell(TCellFormats* f, int fi, const QByteArray& t, double v, const QByteArray& array)
        : TFormulaCell(f, fi, t), Value(v), ArrayBody(array) {}
    uint8_t CellType() const override { return ctArrayFormula; }
    TCell* Copy() const override
    {
        auto* c = new TArrayFormulaCell(owner(), FormatIndex(), Tokens, Value, ArrayBody);
        c->ResultType = ResultType;
        c->ResultText = ResultText;
        c->ResultByte = ResultByte;
        return withTokens(c);
    }
    double Value;
    QByteArray ArrayBody;
    TResultType ResultType = arNumber;
    QString ResultText;
    uint8_t ResultByte = 0;   // boolean value or error index
};

// A place in the cell storage, 12 bytes. The common cells of a read workbook (numbers, shared
// strings, blanks, booleans, errors) are held in the slot itself: their value and the index of
// their format (the slot holds one reference to that format, like a cell object does; only
// formats that keep their index are held so, see TCellStorage::PutValue). Other cells, and
// cells someone asked for as an object, are cell objects the slot owns.
struct TCellSlot {
    enum TKind : uint8_t { skEmpty = 0, skFloat = 1, skString = 2, skBlank = 3, skBoolean = 4, skError = 5, skObject = 6 };
    uint32_t v[2];   // the number's bits, the TSSTEntry*, the byte value, or the TCell*
    uint16_t xf;     // format index of a cell in place
    uint8_t kind;
    uint8_t spare;

    TKind Kind() const { return TKind(kind); }
    bool Empty() const { return kind == skEmpty; }
    uint64_t Value() const { uint64_t x; std::memcpy(&x, v, sizeof x); return x; }
    void SetValue(uint64_t x) { std::memcpy(v, &x, sizeof x); }
    TCell* Object() const { return kind == skObject ? reinterpret_cast<TCell*>(uintptr_t(Value())) : nullptr; }
    double Number() const { double d; std::memcpy(&d, v, sizeof d); return d; }
    TSSTEntry* Entry() const { return reinterpret_cast<TSSTEntry*>(uintptr_t(Value())); }
    uint8_t Byte() const { return uint8_t(v[0]); }
};

// Sparse table: row high byte, row low byte, then the row's slots as one array over the columns
// that row uses (grown as cells come; most rows hold a few neighbouring columns).
class TCellStorage {
public:
    TCellStorage() = default;
    ~TCellStorage() { Clear(); }
    TCellStorage(const TCellStorage&) = delete;
    TCellStorage& operator=(const TCellStorage&) = delete;

    // The slot of a cell, nullptr when there is none; a cell held in place stays so.
    const TCellSlot* FindSlot(uint32_t key) const
    {
        if (key > 0xFFFFFF) return nullptr;
        const Row* row = rowOf(key >> 8);
        if (!row) return nullptr;
        const int i = int(key & 0xFF) - row->first;
        if (i < 0 || i >= row->capacity) return nullptr;
        const TCellSlot* s = &row->c()[i];
        return s->Empty() ? nullptr : s;
    }
    // The cell as an object; a cell held in place becomes one (and stays one).
    TCell* FindCell(uint32_t key) const
    {
        const TCellSlot* s = FindSlot(key);
        if (!s) return nullptr;
        return s->kind == TCellSlot::skObject ? s->Object() : materialize(const_cast<TCellSlot&>(*s));
    }
    void PutCell(uint32_t key, TCell* cell);
    // A cell held in place (kind skFloat ... skError): value as TCellSlot::Value holds it.
    void PutValue(uint32_t key, TCellFormats* formats, int formatIndex, TCellSlot::TKind kind, uint64_t value);
    void Clear();
    // The columns a row's cells will take (first, and last + 1, as a ROW record gives them), so
    // its slots are made in one piece when its first cell comes. Rows come in blocks of at most
    // 32 before their cells; the hints of the last 64 rows are kept.
    void HintRow(int row, int firstCol, int endCol)
    {
        RowHint& h = m_hints[row & 63];
        h.row = row;
        h.first = uint16_t(firstCol);
        h.end = uint16_t(endCol);
    }
    template <class F> void ForEach(F f) const;      // f(key, cell), in key order; every cell as an object
    template <class F> void ForEachKey(F f) const;   // f(key), in key order

    static TCell* MakeObject(TCellFormats* formats, int formatIndex, TCellSlot::TKind kind, uint64_t value);

private:
    struct Row {
        uint16_t first;      // column of the first slot
        uint16_t capacity;   // columns held: that many slots follow the header
        TCellSlot* c() { return reinterpret_cast<TCellSlot*>(this + 1); }
        const TCellSlot* c() const { return reinterpret_cast<const TCellSlot*>(this + 1); }
    };
    struct L2 { Row* r[256] = {}; };
    struct RowHint {
        int row = -1;
        uint16_t first = 0, end = 0;
    };
    RowHint m_hints[64];
    L2* m_root[256] = {};
    // The row looked up last (cells are read and put row by row): its number and the row, or
    // nullptr when it has no cells. Every change of a row's place updates it.
    mutable uint32_t m_rowKey = 0xFFFFFFFF;
    mutable Row* m_row = nullptr;
    Row* rowOf(uint32_t rowKey) const
    {
        if (rowKey != m_rowKey) {
            const L2* l2 = m_root[rowKey >> 8];
            m_row = l2 ? l2->r[rowKey & 0xFF] : nullptr;
            m_rowKey = rowKey;
        }
        return m_row;
    }
    // The format list of the cells held in place (all of one book): the first one put.
    TCellFormats* m_formats = nullptr;
    TCellSlot& slotFor(uint32_t key);   // the slot of a key within the grid, made when missing
    TCell* materialize(TCellSlot& s) const;
    void release(TCellSlot& s) const;   // frees the cell of a slot, which becomes empty
    static Row* newRow(int first, int capacity);
    static void freeRow(Row* r);
};

template <class F> void TCellStorage::ForEachKey(F f) const
{
    for (int hi = 0; hi < 256; ++hi) {
        const L2* l2 = m_root[hi];
        if (!l2) continue;
        for (int lo = 0; lo < 256; ++lo) {
            const Row* row = l2->r[lo];
            if (!row) continue;
            for (int i = 0; i < row->capacity; ++i)
                if (!row->c()[i].Empty()) f(uint32_t(hi << 16 | lo << 8 | (row->first + i)));
        }
    }
}

template <class F> void TCellStorage::ForEach(F f) const
{
    for (int hi = 0; hi < 256; ++hi) {
        const L2* l2 = m_root[hi];
        if (!l2) continue;
        for (int lo = 0; lo < 256; ++lo) {
            Row* row = l2->r[lo];
            if (!row) continue;
            for (int i = 0; i < row->capacity; ++i) {
                TCellSlot& s = row->c()[i];
                if (s.Empty()) continue;
                f(uint32_t(hi << 16 | lo << 8 | (row->first + i)), s.kind == TCellSlot::skObject ? s.Object() : materialize(s));
            }
        }
    }
}

class TXLSRow : public TFormattedObjectNotify {
public:
    TXLSRow(TCellFormats* f, int formatIndex, const TFormatCallback* cb) : TFormattedObjectNotify(f, formatIndex, cb) {}
    int Identifier() const override { return Row; }
    uint16_t Row = 0, FirstCol = 0, LastCol = 0, Height = 255, Options = 0;
};

// The rows of a sheet. A row read from a ROW record is held as its fields with its format
// index (holding one reference to a format that keeps its index, like cells in place); its
// object is made when someone asks for it, and then stands for the row.
class TXLSRows {
public:
    TXLSRows(TCellFormats* formats, TFormattedObjectNotify::TFormatCallback cb) : m_formats(formats), m_cb(std::move(cb)) {}
    ~TXLSRows() { Clear(); }
    TXLSRows(const TXLSRows&) = delete;
    TXLSRows& operator=(const TXLSRows&) = delete;
    void AddRow(const uint8_t* body, int length);
    void SortRows();
    int FindRow(int row) const;   // list position or -1
    TXLSRow* RowAt(int row) const { int i = FindRow(row); return i < 0 ? nullptr : Item(i); }
    int Count() const { return int(m_rows.size()); }
    TXLSRow* Item(int i) const
    {
        Entry& e = m_rows[i];
        return e.object ? e.object : materialize(e);
    }
    void Clear();
private:
    struct Entry {
        TXLSRow* object;   // nullptr: the row is the fields below
        uint16_t row, firstCol, lastCol, height, options, xf;
    };
    TCellFormats* m_formats;
    TFormattedObjectNotify::TFormatCallback m_cb;
    mutable QList<Entry> m_rows;
    bool m_unsorted = false;   // a row came after one with a higher number
    static int rowOf(const Entry& e);
    TXLSRow* materialize(Entry& e) const;
    void quickSort(int l, int r);
};

class TXLSColumn : public TFormattedObjectNotify {
public:
    TXLSColumn(TCellFormats* f, int formatIndex, const TFormatCallback* cb) : TFormattedObjectNotify(f, formatIndex, cb) {}
    int Identifier() const override { return Col; }
    uint8_t Col = 0;
    uint16_t Width = 2500;
    uint8_t Hidden = 0, OutlineLevel = 0, Collapsed = 0, UserSet = 0;
};

class TXLSColumns {
public:
    TXLSColumns(TCellFormats* formats, TFormattedObjectNotify::TFormatCallback cb) : m_formats(formats), m_cb(std::move(cb)) {}
    ~TXLSColumns() { Clear(); }
    TXLSColumns(const TXLSColumns&) = delete;
    TXLSColumns& operator=(const TXLSColumns&) = delete;
    void AddColumns(const uint8_t* body, int length);
    TXLSColumn* ColumnAt(int col) const { return (col >= 0 && col < 256) ? m_cols[col] : nullptr; }
    void DeleteColumns(int first, int last);
    void Clear() { DeleteColumns(0, 255); }
private:
    TCellFormats* m_formats;
    TFormattedObjectNotify::TFormatCallback m_cb;
    TXLSColumn* m_cols[256] = {};
};

}
