#pragma once
// Conditional formats of a sheet (CONDFMT with its CF records): up to three conditions, each with
// a font, border and pattern block, for a set of cell areas.
#include "spreadsheet/CellAreas.h"
#include "spreadsheet/MoveCopy.h"

#include <QByteArray>
#include <QString>
#include <memory>
#include <vector>

namespace xls {

class TFormulaHandler;

enum TConditionOperator : uint8_t {
    coNoComparision, coBetween, coNotBetween, coEqual, coNotEqual, coGreater, coLess, coGreateEqual, coLessEqual
};

// The 118-byte font block of a CF record.
class TCondFmtFont {
public:
    TCondFmtFont();
    static constexpr int Size = 118;
    uint8_t Block[Size];
    bool Assigned = false;

    int Height20() const;
    void SetHeight20(int v);
    int FontStyle() const;          // TXFontStyle bits
    void SetFontStyle(int style);
    int Escapment() const;          // TXSubSuperScript
    void SetEscapment(int v);
    int Underline() const;          // TXUnderline
    void SetUnderline(int v);
    int Color() const;              // colour index; 64 automatic
    void SetColor(int v);
    void Assign(const TCondFmtFont& other);
private:
    int32_t i32(int off) const;
    void setI32(int off, int32_t v);
};

// The 8-byte border block.
class TCondFmtBorder {
public:
    TCondFmtBorder();
    uint8_t Block[8];
    bool LeftAssigned = false, TopAssigned = false, RightAssigned = false, BottomAssigned = false;

    int LeftStyle() const { return styles() & 0x0F; }
    int RightStyle() const { return (styles() >> 4) & 0x0F; }
    int TopStyle() const { return (styles() >> 8) & 0x0F; }
    int BottomStyle() const { return (styles() >> 12) & 0x0F; }
    void SetLeftStyle(int v);
    void SetRightStyle(int v);
    void SetTopStyle(int v);
    void SetBottomStyle(int v);
    int LeftColor() const { return colors() & 0x7F; }
    int RightColor() const { return (colors() >> 7) & 0x7F; }
    int TopColor() const { return (colors() >> 16) & 0x7F; }
    int BottomColor() const { return (colors() >> 23) & 0x7F; }
    void SetLeftColor(int v) { setColor(0, v); }
    void SetRightColor(int v) { setColor(7, v); }
    void SetTopColor(int v) { setColor(16, v); }
    void SetBottomColor(int v) { setColor(23, v); }
    void Assign(const TCondFmtBorder& other);
private:
    uint16_t styles() const;
    uint32_t colors() const;
    void setStyle(int shift, int v);
    void setColor(int shift, int v);
};

// The 4-byte pattern block.
class TCondFmtPattern {
public:
    uint8_t Block[4] = {};
    bool PatternAssigned = false, ForeAssigned = false, BackAssigned = false;

    int FillPattern() const;
    void SetFillPattern(int v);
    int ForeColor() const;
    void SetForeColor(int v);
    int BackColor() const;
    void SetBackColor(int v);
    void Assign(const TCondFmtPattern& other);
private:
    void setColor(int shift, int v, bool& assigned);
};

class TCondFmtData {
public:
    explicit TCondFmtData(TFormulaHandler* handler);
    uint8_t Header[12];
    QByteArray Formula1Tokens, Formula2Tokens;
    TCondFmtFont FmtFont;
    TCondFmtBorder FmtBorder;
    TCondFmtPattern FmtPattern;

    bool CompareCell() const { return Header[0] == 1; }
    void SetCompareCell(bool on) { Header[0] = on ? 1 : 2; }
    TConditionOperator CompOperator() const { return Header[1] <= coLessEqual ? TConditionOperator(Header[1]) : coNoComparision; }
    void SetCompOperator(TConditionOperator op) { Header[1] = op; }
    uint32_t Flags() const;
    QString Formula1() const;
    QString Formula2() const;
    void SetFormula1(const QString& text);
    void SetFormula2(const QString& text);
    void Read(const uint8_t* data, int length);   // a CF record
    void Assign(const TCondFmtData& other);
private:
    TFormulaHandler* m_handler;
    QByteArray compile(const QString& text);
};

class TConditionalFormat : public TCollectionItemMoveCopy {
public:
    TConditionalFormat(int id, TFormulaHandler* handler)
        : TCollectionItemMoveCopy(id), Condition1(handler), Condition2(handler), Condition3(handler) {}
    TCondFmtData Condition1, Condition2, Condition3;
    int ConditionCount = 0;   // conditions read from the file
    TCellAreas& Areas() { return m_areas; }
    const TCellAreas& Areas() const { return m_areas; }
    void Assign(const TConditionalFormat& other);
    QLY_FORWARD_AREA_OPERATIONS(m_areas)
private:
    TCellAreas m_areas{this};
};

class TConditionalFormats {
public:
    TConditionalFormats(void* sheet, TFormulaHandler* handler) : m_sheet(sheet), m_handler(handler) {}
    int Count() const { return int(m_items.size()); }
    TConditionalFormat* Items(int index) const;
    TConditionalFormat* Add();
    void Delete(int index);
    void Clear() { m_items.clear(); }
    // The CONDFMT record and the CF records after it, taken from the source.
    void ReadCONDFMT(TRecordSource& source, const uint8_t* data, int length);
    void* Owner() const { return m_sheet; }
private:
    void* m_sheet;
    TFormulaHandler* m_handler;
    std::vector<std::unique_ptr<TConditionalFormat>> m_items;
    int m_nextId = 0;
};

}
