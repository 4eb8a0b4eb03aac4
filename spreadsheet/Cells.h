#pragma once
// Cells (one class per kind of content), the sparse cell storage, rows and columns.
#include "spreadsheet/Formats.h"
#include "spreadsheet/Pool.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <cstdint>
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

// Sparse table: row high byte, row low byte, then the row's cells as one array over the columns
// that row uses (grown as cells come; most rows hold a few neighbouring columns).
class TCellStorage {
public:
    TCellStorage() = default;
    ~TCellStorage() { Clear(); }
    TCellStorage(const TCellStorage&) = delete;
    TCellStorage& operator=(const TCellStorage&) = delete;

    TCell* FindCell(uint32_t key) const
    {
        if (key > 0xFFFFFF) return nullptr;
        const Row* row = rowOf(key >> 8);
        if (!row) return nullptr;
        const int i = int(key & 0xFF) - row->first;
        return (i < 0 || i >= row->capacity) ? nullptr : row->c()[i];
    }
    void PutCell(uint32_t key, TCell* cell);
    void Clear();
    template <class F> void ForEach(F f) const;   // f(key, cell), in key order

private:
    struct Row {
        uint16_t first;      // column of the first slot
        uint16_t capacity;   // columns held: that many slots follow the header
        uint32_t unused;
        TCell** c() { return reinterpret_cast<TCell**>(this + 1); }
        TCell* const* c() const { return reinterpret_cast<TCell* const*>(this + 1); }
    };
    struct L2 { Row* r[256] = {}; };
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
    static Row* newRow(int first, int capacity);
    static void freeRow(Row* r);
};

template <class F> void TCellStorage::ForEach(F f) const
{
    for (int hi = 0; hi < 256; ++hi) {
        const L2* l2 = m_root[hi];
        if (!l2) continue;
        for (int lo = 0; lo < 256; ++lo) {
            const Row* row = l2->r[lo];
            if (!row) continue;
            for (int i = 0; i < row->capacity; ++i)
                if (TCell* c = row->c()[i]) f(uint32_t(hi << 16 | lo << 8 | (row->first + i)), c);
        }
    }
}

class TXLSRow : public TFormattedObjectNotify {
public:
    TXLSRow(TCellFormats* f, int formatIndex, const TFormatCallback* cb) : TFormattedObjectNotify(f, formatIndex, cb) {}
    int Identifier() const override { return Row; }
    uint16_t Row = 0, FirstCol = 0, LastCol = 0, Height = 255, Options = 0;
};

class TXLSRows {
public:
    TXLSRows(TCellFormats* formats, TFormattedObjectNotify::TFormatCallback cb) : m_formats(formats), m_cb(std::move(cb)) {}
    ~TXLSRows() { Clear(); }
    TXLSRows(const TXLSRows&) = delete;
    TXLSRows& operator=(const TXLSRows&) = delete;
    void AddRow(const uint8_t* body, int length);
    void SortRows();
    int FindRow(int row) const;   // list position or -1
    TXLSRow* RowAt(int row) const { int i = FindRow(row); return i < 0 ? nullptr : m_rows[i]; }
    int Count() const { return int(m_rows.size()); }
    TXLSRow* Item(int i) const { return m_rows[i]; }
    void Clear()
    {
        qDeleteAll(m_rows);
        m_rows.clear();
        m_unsorted = false;
    }
private:
    TCellFormats* m_formats;
    TFormattedObjectNotify::TFormatCallback m_cb;
    QList<TXLSRow*> m_rows;
    bool m_unsorted = false;   // a row came after one with a higher number
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
