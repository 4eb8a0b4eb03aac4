#include "spreadsheet/CondFmt.h"
#include "spreadsheet/Formats.h"
#include "spreadsheet/FormulaHandler.h"
#include "spreadsheet/XLSUtils.h"

#include <cstring>

namespace xls {

// Offsets in the font block.
enum { fHeight = 64, fOptions = 68, fWeight = 72, fEscapement = 74, fUnderline = 76, fColor = 80, fModified = 88,
       fEscModified = 92, fUlModified = 96, fLast = 116 };

TCondFmtFont::TCondFmtFont()
{
    std::memset(Block, 0, sizeof Block);
    setI32(fHeight, -1);
    PutWord(Block + fWeight, 400);
    setI32(fColor, -1);
    setI32(fModified, 154);
    setI32(fEscModified, 1);
    setI32(fUlModified, 1);
    PutWord(Block + fLast, 1);
}

int32_t TCondFmtFont::i32(int off) const { return int32_t(GetDWord(Block + off)); }
void TCondFmtFont::setI32(int off, int32_t v) { PutDWord(Block + off, uint32_t(v)); }

int TCondFmtFont::Height20() const { return i32(fHeight) == -1 ? 0 : i32(fHeight); }

void TCondFmtFont::SetHeight20(int v)
{
    setI32(fHeight, v == 0 ? -1 : v);
    Assigned = i32(fHeight) != -1;
}

int TCondFmtFont::FontStyle() const
{
    const uint32_t o = uint32_t(i32(fOptions));
    return (GetWord(Block + fWeight) >= 700 ? xfsBold : 0) | ((o & 0x02) ? xfsItalic : 0) | ((o & 0x80) ? xfsStrikeOut : 0);
}

void TCondFmtFont::SetFontStyle(int style)
{
    if (style == FontStyle()) return;
    const bool bold = style & xfsBold, italic = style & xfsItalic, strike = style & xfsStrikeOut;
    setI32(fOptions, (italic ? 0x02 : 0) | (strike ? 0x80 : 0));
    int modified = 154;
    if (italic || bold) modified &= ~0x02;
    if (strike) modified &= ~0x80;
    setI32(fModified, modified);
    PutWord(Block + fWeight, bold ? 700 : 400);
    Assigned = true;
}

int TCondFmtFont::Escapment() const
{
    const int e = GetWord(Block + fEscapement);
    return e == 1 ? xssSuperscript : e == 2 ? xssSubscript : xssNone;
}

void TCondFmtFont::SetEscapment(int v)
{
    if (v == Escapment()) return;
    PutWord(Block + fEscapement, uint16_t(v == xssSuperscript ? 1 : v == xssSubscript ? 2 : 0));
    setI32(fEscModified, 0);
    Assigned = true;
}

int TCondFmtFont::Underline() const
{
    switch (Block[fUnderline]) {
    case 1: return xulSingle;
    case 2: return xulDouble;
    case 0x21: return xulSingleAccount;
    case 0x22: return xulDoubleAccount;
    default: return xulNone;
    }
}

void TCondFmtFont::SetUnderline(int v)
{
    if (v == Underline()) return;
    static const uint8_t codes[] = {0, 1, 2, 0x21, 0x22};
    Block[fUnderline] = v >= 0 && v <= xulDoubleAccount ? codes[v] : 0;
    setI32(fUlModified, 0);
    Assigned = true;
}

int TCondFmtFont::Color() const { return i32(fColor) == -1 ? xcAutomatic : i32(fColor); }

void TCondFmtFont::SetColor(int v)
{
    if (v == Color()) return;
    // automatic is stored as the 32-bit -1, so that it reads back as automatic
    setI32(fColor, v == xcAutomatic ? -1 : (v & 0x7F));
    Assigned = true;
}

void TCondFmtFont::Assign(const TCondFmtFont& other)
{
    std::memcpy(Block, other.Block, sizeof Block);
    Assigned = other.Assigned;
}

TCondFmtBorder::TCondFmtBorder()
{
    std::memset(Block, 0, sizeof Block);
    PutDWord(Block + 2, 0x20402040);
}

uint16_t TCondFmtBorder::styles() const { return GetWord(Block); }
uint32_t TCondFmtBorder::colors() const { return GetDWord(Block + 2); }

void TCondFmtBorder::setStyle(int shift, int v)
{
    PutWord(Block, uint16_t((styles() & ~(0x0F << shift)) | ((v & 0x0F) << shift)));
}

void TCondFmtBorder::SetLeftStyle(int v) { setStyle(0, v); if (v != 0) LeftAssigned = true; }
void TCondFmtBorder::SetRightStyle(int v) { setStyle(4, v); if (v != 0) RightAssigned = true; }
void TCondFmtBorder::SetTopStyle(int v) { setStyle(8, v); if (v != 0) TopAssigned = true; }
void TCondFmtBorder::SetBottomStyle(int v) { setStyle(12, v); if (v != 0) BottomAssigned = true; }

void TCondFmtBorder::setColor(int shift, int v)
{
    PutDWord(Block + 2, (colors() & ~(0x7Fu << shift)) | (uint32_t(v & 0x7F) << shift));
}

void TCondFmtBorder::Assign(const TCondFmtBorder& other)
{
    std::memcpy(Block, other.Block, sizeof Block);
    LeftAssigned = other.LeftAssigned;
    TopAssigned = other.TopAssigned;
    RightAssigned = other.RightAssigned;
    BottomAssigned = other.BottomAssigned;
}

int TCondFmtPattern::FillPattern() const { return GetWord(Block) >> 10; }

void TCondFmtPattern::SetFillPattern(int v)
{
    PutWord(Block, uint16_t((GetWord(Block) & 0x03FF) | ((v & 0x3F) << 10)));
    PatternAssigned = true;
}

int TCondFmtPattern::ForeColor() const { return GetWord(Block + 2) & 0x7F; }
int TCondFmtPattern::BackColor() const { return (GetWord(Block + 2) >> 7) & 0x7F; }

void TCondFmtPattern::setColor(int shift, int v, bool& assigned)
{
    uint16_t w = uint16_t(GetWord(Block + 2) & ~(0x7F << shift));
    // 0 and 64 are the automatic colour: no colour of its own
    if (v == 0 || v == xcAutomatic) {
        assigned = false;
    } else {
        w = uint16_t(w | ((v & 0x7F) << shift));
        assigned = true;
    }
    PutWord(Block + 2, w);
}

void TCondFmtPattern::SetForeColor(int v) { setColor(0, v, ForeAssigned); }
void TCondFmtPattern::SetBackColor(int v) { setColor(7, v, BackAssigned); }

void TCondFmtPattern::Assign(const TCondFmtPattern& other)
{
    std::memcpy(Block, other.Block, sizeof Block);
    PatternAssigned = other.PatternAssigned;
    ForeAssigned = other.ForeAssigned;
    BackAssigned = other.BackAssigned;
}

TCondFmtData::TCondFmtData(TFormulaHandler* handler) : m_handler(handler)
{
    std::memset(Header, 0, sizeof Header);
    Header[0] = 1;
    Header[1] = 3;
    PutDWord(Header + 6, 0x3FFFFF);
}

uint32_t TCondFmtData::Flags() const { return GetDWord(Header + 6); }

QString TCondFmtData::Formula1() const
{
    return Formula1Tokens.isEmpty() || !m_handler ? QString() : m_handler->DecodeFormula(Formula1Tokens, int(Formula1Tokens.size()));
}

QString TCondFmtData::Formula2() const
{
    return Formula2Tokens.isEmpty() || !m_handler ? QString() : m_handler->DecodeFormula(Formula2Tokens, int(Formula2Tokens.size()));
}

QByteArray TCondFmtData::compile(const QString& text)
{
    QByteArray tokens;
    if (!text.trimmed().isEmpty() && m_handler) m_handler->EncodeFormula(text, tokens, 1024);
    return tokens;
}

void TCondFmtData::SetFormula1(const QString& text)
{
    Formula1Tokens = compile(text);
    PutWord(Header + 2, uint16_t(Formula1Tokens.size()));
}

void TCondFmtData::SetFormula2(const QString& text)
{
    Formula2Tokens = compile(text);
    PutWord(Header + 4, uint16_t(Formula2Tokens.size()));
}

void TCondFmtData::Read(const uint8_t* data, int length)
{
    CheckRange(length, 0, 12);
    const uint32_t flags = GetDWord(data + 6);
    const int len1 = GetWord(data + 2), len2 = GetWord(data + 4);
    int pos = 12;
    const bool font = flags & 0x04000000, border = flags & 0x10000000, pattern = flags & 0x20000000;
    CheckRange(length, pos, (font ? TCondFmtFont::Size : 0) + (border ? 8 : 0) + (pattern ? 4 : 0) + len1 + len2);
    std::memcpy(Header, data, 12);
    if (font) {
        std::memcpy(FmtFont.Block, data + pos, TCondFmtFont::Size);
        FmtFont.Assigned = true;
        pos += TCondFmtFont::Size;
    }
    if (border) {
        std::memcpy(FmtBorder.Block, data + pos, 8);
        FmtBorder.LeftAssigned = !(flags & (1u << 10));
        FmtBorder.TopAssigned = !(flags & (1u << 12));
        FmtBorder.RightAssigned = !(flags & (1u << 11));
        FmtBorder.BottomAssigned = !(flags & (1u << 13));
        pos += 8;
    }
    if (pattern) {
        std::memcpy(FmtPattern.Block, data + pos, 4);
        FmtPattern.PatternAssigned = !(flags & (1u << 16));
        FmtPattern.ForeAssigned = !(flags & (1u << 17));
        FmtPattern.BackAssigned = !(flags & (1u << 18));
        pos += 4;
    }
    Formula1Tokens = QByteArray(reinterpret_cast<const char*>(data + pos), len1);
    Formula2Tokens = QByteArray(reinterpret_cast<const char*>(data + pos + len1), len2);
}

void TCondFmtData::Assign(const TCondFmtData& other)
{
    std::memcpy(Header, other.Header, sizeof Header);
    Formula1Tokens = other.Formula1Tokens;
    Formula2Tokens = other.Formula2Tokens;
    FmtFont.Assign(other.FmtFont);
    FmtBorder.Assign(other.FmtBorder);
    FmtPattern.Assign(other.FmtPattern);
}

void TConditionalFormat::Assign(const TConditionalFormat& other)
{
    Condition1.Assign(other.Condition1);
    Condition2.Assign(other.Condition2);
    Condition3.Assign(other.Condition3);
    ConditionCount = other.ConditionCount;
    m_areas.Assign(other.m_areas);
}

TConditionalFormat* TConditionalFormats::Items(int index) const
{
    if (index < 0 || index >= Count()) throw EXLSError(QStringLiteral("List index out of bounds (%1)").arg(index));
    return m_items[size_t(index)].get();
}

TConditionalFormat* TConditionalFormats::Add()
{
    m_items.push_back(std::make_unique<TConditionalFormat>(m_nextId++, m_handler));
    return m_items.back().get();
}

void TConditionalFormats::Delete(int index)
{
    Items(index);
    m_items.erase(m_items.begin() + index);
}

void TConditionalFormats::ReadCONDFMT(TRecordSource& source, const uint8_t* data, int length)
{
    CheckRange(length, 0, 14);
    auto item = std::make_unique<TConditionalFormat>(m_nextId, m_handler);
    const int areas = GetWord(data + 12);
    CheckRange(length, 14, 8 * areas);
    for (int i = 0; i < areas; ++i) item->Areas().AddRef(data + 14 + 8 * i);
    const int count = GetWord(data);
    if (count < 1 || count > 3) throw EXLSError(QStringLiteral("Bad number of CF records."));
    TCondFmtData* conditions[3] = {&item->Condition1, &item->Condition2, &item->Condition3};
    for (int i = 0; i < count; ++i) {
        if (source.PeekRecordId() != 0x01B1) throw EXLSError(QStringLiteral("Excpected record missing: CF"));
        uint16_t id;
        const QByteArray cf = source.ReadRecord(id);
        conditions[i]->Read(reinterpret_cast<const uint8_t*>(cf.constData()), int(cf.size()));
    }
    item->ConditionCount = count;
    ++m_nextId;
    m_items.push_back(std::move(item));
}

}
