#pragma once
// The workbook's formatting: fonts, number formats and cell formats (XF records), and the
// formatted objects (cells, rows, columns) that share one cell format each, copy-on-write.
#include <QList>
#include <QString>
#include <cstdint>
#include <functional>

#include "spreadsheet/Pool.h"

namespace xls {

enum TExcelColor : uint8_t { xcBlack = 8, xcWhite = 9, xcRed = 10, xcAutomatic = 64 };
enum TXFontStyle : uint8_t { xfsBold = 1, xfsItalic = 2, xfsStrikeOut = 4 };   // bit set
enum TXSubSuperScript : uint8_t { xssNone, xssSuperscript, xssSubscript };
enum TXUnderline : uint8_t { xulNone, xulSingle, xulDouble, xulSingleAccount, xulDoubleAccount };

class TXFont {
public:
    QString Name = QStringLiteral("Arial");
    uint8_t Charset = 0;
    uint8_t Family = 2;
    uint8_t Color = xcBlack;
    uint16_t Size20 = 200;
    uint8_t Style = 0;
    TXSubSuperScript SubSuperScript = xssNone;
    TXUnderline Underline = xulNone;
    int Index = 0;
    int UsageCount = 0;
    bool Unshareable = false;

    int Size() const { return Size20 / 20; }
    void SetSize(int points) { if (points > 0) Size20 = uint16_t(points * 20); }
    bool Equals(const TXFont& o) const;
    void AssignAttributes(const TXFont& o);
};

class TXFonts {
public:
    TXFonts();
    ~TXFonts();
    int Count() const { return int(m_items.size()); }
    TXFont* Item(int i) const { return (i >= 0 && i < m_items.size()) ? m_items[i] : nullptr; }
    TXFont* AddDefault();
    int Find(const TXFont& f) const;
    TXFont* FindOrAdd(const TXFont& f);   // usage + 1 on the font used
    void Delete(int index);
    void Clear();
    void ResetDefaults();                 // 5 default fonts, loaded count 5
    int LoadedCount = 0;
private:
    QList<TXFont*> m_items;
};

class TNumberFormat {
public:
    uint16_t Hash = 0;
    QString FValue;
    int FIndexId = 0;
    int FUsageCount = -1;
};

class TNumberFormats {
public:
    TNumberFormats() = default;
    ~TNumberFormats();
    TNumberFormats(const TNumberFormats&) = delete;
    TNumberFormats& operator=(const TNumberFormats&) = delete;
    void AddBuiltIn();
    void Add(const QString& text, int index, int usage);
    int FindByIndex(int index) const;   // list position or -1
    int FindByText(const QString& text) const;   // list position or -1
    int FindOrAddByText(const QString& text);    // returns the format index, usage + 1
    void Use(int index);
    void Release(int index);
    TNumberFormat* Item(int pos) const { return m_items.value(pos); }
    int Count() const { return int(m_items.size()); }
    int HighestIndex() const { return m_highest; }
    void Clear();
private:
    QList<TNumberFormat*> m_items;
    int m_highest = 0;
};

class TCellFormats;

// One XF: the 20-byte BIFF8 body plus list bookkeeping.
class TCellFormat {
public:
    TCellFormats* Owner = nullptr;
    int Index = 0;
    int RefCount = 0;
    uint8_t Body[20] = {};

    void SetNew();   // the attributes of a new format
    uint16_t Word(int off) const { return uint16_t(Body[off] | (Body[off + 1] << 8)); }
    void SetWord(int off, uint16_t v) { Body[off] = uint8_t(v); Body[off + 1] = uint8_t(v >> 8); }
    uint32_t DWord(int off) const { return uint32_t(Word(off)) | (uint32_t(Word(off + 2)) << 16); }
    void SetDWord(int off, uint32_t v) { SetWord(off, uint16_t(v)); SetWord(off + 2, uint16_t(v >> 16)); }
    uint16_t FontIndex() const { return Word(0); }
    uint16_t NumberFormatIndex() const { return Word(2); }
    bool Equals(const TCellFormat& o) const;
};

class TCellFormats {
public:
    explicit TCellFormats(TXFonts* fonts);
    ~TCellFormats();
    TCellFormats(const TCellFormats&) = delete;
    TCellFormats& operator=(const TCellFormats&) = delete;

    void AddDefaults();
    TCellFormat* AddNew();
    int Find(const TCellFormat& f) const;
    TCellFormat* Item(int i) const { return (i >= 0 && i < m_items.size()) ? m_items[i] : nullptr; }
    int Count() const { return int(m_items.size()); }
    void ReadXF8(const uint8_t* body, int length);
    void ReadXF5(const uint8_t* body, int length);
    void Delete(int index);   // index 21 or higher, later entries renumbered
    void Clear();
    // The entry a new cell, row or column uses: an unknown index becomes 15. A list that has
    // no entry 15 (a BIFF2 file has no XF records) is first filled up with new formats.
    TCellFormat* ForIndex(int index)
    {
        if (index < 0 || index >= m_items.size()) index = 15;
        if (m_items.size() <= 15) [[unlikely]]
            fillUpTo15();
        return m_items[index];
    }

    TXFonts* Fonts;
    TNumberFormats* NumberFormats;
    int LoadedCount = 0;
private:
    QList<TCellFormat*> m_items;
    void fillUpTo15();
};

// A cell, row or column: refers to one shared cell format.
class TFormattedObject {
public:
    XLS_POOLED
    TFormattedObject(TCellFormats* owner, int formatIndex)
    {
        if (owner) {
            m_format = owner->ForIndex(formatIndex);
            ++m_format->RefCount;
        }
    }
    virtual ~TFormattedObject();
    TFormattedObject(const TFormattedObject&) = delete;
    TFormattedObject& operator=(const TFormattedObject&) = delete;

    TCellFormat* Format() const { return m_format; }
    int FormatIndex() const { return m_format ? m_format->Index : 15; }
    void TakeOverFormat(int formatIndex);
    // An object made without a format takes over a reference someone else held (a cell slot's).
    void AdoptFormatReference(TCellFormat* f) { m_format = f; }
    // Gives up one reference to a format entry: an entry added after loading goes when its last
    // user does.
    static void ReleaseFormatReference(TCellFormat* f);

    // Setters (copy-on-write) and getters of the attributes.
    void SetPatternBgColor(int c);
    void SetPatternFgColor(int c);
    void SetFillPattern(int p);
    void SetBorderStyle(int side, int style);    // 0 left, 1 right, 2 top, 3 bottom
    void SetBorderColor(int side, int color);    // 0 left, 1 right, 2 top, 3 bottom, 4 diagonal
    void SetDiagonalStyle(int style);
    void SetDiagonalLines(int lines);
    void SetWrap(bool wrap, bool second);
    void SetIndent(int indent);
    void SetNumberFormat(const QString& text);
    void SetProtection(bool locked, bool hidden);
    void SetRotation(int degrees);
    void SetVerticalAlignment(int v);
    void SetHorizontalAlignment(int h);
    void SetFontName(const QString& name);
    void SetFontSize20(int size20);
    void SetFontSize(int points) { if (points > 0) SetFontSize20(points * 20); }
    void SetFontColor(int color);
    void SetFontStyle(uint8_t style);
    void SetFontCharset(uint8_t cs);
    void SetFontFamily(uint8_t f);
    void SetFontUnderline(TXUnderline u);
    void SetFontSubSuperScript(TXSubSuperScript s);

    int PatternBgColor() const;
    int PatternFgColor() const;
    int FillPattern() const;
    int BorderStyle(int side) const;
    int BorderColor(int side) const;
    int Rotation() const;
    int VerticalAlignment() const;
    int HorizontalAlignment() const;
    int Indent() const;
    bool Wrap() const;
    bool Locked() const;
    bool Hidden() const;
    QString NumberFormat() const;
    const TXFont* Font() const;

protected:
    virtual void FormatChanged() {}
    // The format list is reached through the format entry: one pointer less per cell.
    TCellFormats* owner() const { return m_format ? m_format->Owner : nullptr; }
    TCellFormat* m_format = nullptr;
private:
    void change(const std::function<void(TCellFormat&)>& edit);
    void changeFont(const std::function<void(TXFont&)>& edit);
    void assign(const TCellFormat& temp);
};

// A row or column: tells its owner when its format entry changed.
class TFormattedObjectNotify : public TFormattedObject {
public:
    using TFormatCallback = std::function<void(TCellFormat* format, int id)>;
    // The callback belongs to the owning list (rows or columns) and outlives the object.
    TFormattedObjectNotify(TCellFormats* owner, int formatIndex, const TFormatCallback* cb)
        : TFormattedObject(owner, formatIndex), m_callback(cb) {}
    virtual int Identifier() const = 0;
protected:
    void FormatChanged() override { if (m_callback && *m_callback) (*m_callback)(m_format, Identifier()); }
private:
    const TFormatCallback* m_callback;
};

// Checks a number-format text: at most 255 characters, at most four sections.
class TExcelMask {
public:
    void SetMask(const QString& text);
    int SectionCount() const { return int(m_sections.size()); }
private:
    QString m_mask;
    QList<QString> m_sections;
};

}
