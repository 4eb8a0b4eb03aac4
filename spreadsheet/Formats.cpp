#include "spreadsheet/Formats.h"
#include "spreadsheet/XLSUtils.h"

#include <cstring>

namespace xls {

// ---- fonts

bool TXFont::Equals(const TXFont& o) const
{
    if (Unshareable || o.Unshareable) return false;
    return Name.compare(o.Name, Qt::CaseInsensitive) == 0 && Charset == o.Charset && Family == o.Family &&
           Color == o.Color && Size20 == o.Size20 && Style == o.Style && SubSuperScript == o.SubSuperScript &&
           Underline == o.Underline;
}

void TXFont::AssignAttributes(const TXFont& o)
{
    Name = o.Name;
    Charset = o.Charset;
    Family = o.Family;
    Color = o.Color;
    Size20 = o.Size20;
    Style = o.Style;
    SubSuperScript = o.SubSuperScript;
    Underline = o.Underline;
}

TXFonts::TXFonts() { ResetDefaults(); }
TXFonts::~TXFonts() { Clear(); }

TXFont* TXFonts::AddDefault()
{
    auto* f = new TXFont;
    f->Index = int(m_items.size());
    m_items.append(f);
    return f;
}

int TXFonts::Find(const TXFont& f) const
{
    for (int i = 0; i < m_items.size(); ++i)
        if (m_items[i]->Equals(f)) return i;
    return -1;
}

TXFont* TXFonts::FindOrAdd(const TXFont& f)
{
    int i = Find(f);
    TXFont* r;
    if (i >= 0) {
        r = m_items[i];
    } else {
        r = AddDefault();
        r->AssignAttributes(f);
    }
    ++r->UsageCount;
    return r;
}

void TXFonts::Delete(int index)
{
    if (index < 0 || index >= m_items.size()) return;
    delete m_items.takeAt(index);
    for (int i = index; i < m_items.size(); ++i) m_items[i]->Index = i;
}

void TXFonts::Clear()
{
    qDeleteAll(m_items);
    m_items.clear();
    LoadedCount = 0;
}

void TXFonts::ResetDefaults()
{
    Clear();
    for (int i = 0; i < 5; ++i) AddDefault();
    LoadedCount = 5;
}

// ---- number formats

static const char* const builtInFormats[50] = {
    "", "0", "0.00", "#,##0", "#,##0.00", "_($#,##0_);($#,##0)", "_($#,##0_);[Red]($#,##0)",
    "_($#,##0.00_);($#,##0.00)", "_($#,##0.00_);[Red]($#,##0.00)", "0%", "0.00%", "0.00E+00", "# ?/?",
    "# ?\?/??", "m/d/yy", "d-mmm-y", "d-mmm", "mmmm-yy", "h:mm AM/PM", "h:mm:ss AM/PM", "h:mm", "h:mm:SS",
    "m/d/yy h:mm", "", "", "", "", "", "", "", "", "", "", "", "", "", "", "#,##0_);(#,##0)",
    "#,##0_);[Red](#,##0)", "#,##0.00_);(#,##0.00)", "#,##0.00_);[Red](#,##0.00)",
    "_(* #,##0_);_(* (#,##0);_(* \"-\"_);_(@_)", "_($* #,##0_);_($* (#,##0);_($* \"-\"_);_(@_)",
    "_(* #,##0.00_);_(* (#,##0.00);_(* \"-\"?\?_);_(@_)", "_($* #,##0.00_);_($* (#,##0.00);_($* \"-\"?\?_);_(@_)",
    "mm:ss", "[h]:mm:ss", "mm:ss.0", "# #0.0E+0", "@"};

TNumberFormats::~TNumberFormats() { Clear(); }

void TNumberFormats::Clear()
{
    qDeleteAll(m_items);
    m_items.clear();
    m_highest = 0;
}

void TNumberFormats::AddBuiltIn()
{
    for (int i = 0; i < 50; ++i) Add(QString::fromLatin1(builtInFormats[i]), i, -1);
}

int TNumberFormats::FindByIndex(int index) const
{
    int lo = 0, hi = int(m_items.size()) - 1;
    while (lo <= hi) {
        int mid = (lo + hi) / 2;
        int v = m_items[mid]->FIndexId;
        if (v == index) return mid;
        if (v < index) lo = mid + 1; else hi = mid - 1;
    }
    return -1;
}

void TNumberFormats::Add(const QString& text, int index, int usage)
{
    int pos = FindByIndex(index);
    TNumberFormat* f;
    if (pos < 0) {
        f = new TNumberFormat;
        f->FIndexId = index;
        f->FUsageCount = usage;
        // keep increasing index order
        int at = 0;
        while (at < m_items.size() && m_items[at]->FIndexId < index) ++at;
        m_items.insert(at, f);
    } else {
        f = m_items[pos];
        if (f->FUsageCount == -1) f->FUsageCount = usage; else f->FUsageCount += usage;
    }
    f->FValue = text;
    f->Hash = TextHash(text);
    if (index > m_highest) m_highest = index;
}

int TNumberFormats::FindByText(const QString& text) const
{
    if (text.isEmpty()) return m_items.isEmpty() ? -1 : 0;
    uint16_t h = TextHash(text);
    for (int i = 0; i < m_items.size(); ++i)
        if (m_items[i]->Hash == h && m_items[i]->FValue == text) return i;
    return -1;
}

int TNumberFormats::FindOrAddByText(const QString& text)
{
    int pos = FindByText(text);
    if (pos >= 0) {
        Use(m_items[pos]->FIndexId);
        return m_items[pos]->FIndexId;
    }
    int index = m_highest + 1;
    Add(text, index, 1);
    return index;
}

void TNumberFormats::Use(int index)
{
    int pos = FindByIndex(index);
    if (pos < 0) return;
    TNumberFormat* f = m_items[pos];
    if (f->FUsageCount == -1) f->FUsageCount = 1; else ++f->FUsageCount;
}

void TNumberFormats::Release(int index)
{
    if (index < 50) return;
    int pos = FindByIndex(index);
    if (pos < 0) throw EXLSError(QStringLiteral("Can not find number format# %1").arg(index));
    TNumberFormat* f = m_items[pos];
    if (f->FUsageCount == -1) return;
    if (--f->FUsageCount <= 0) delete m_items.takeAt(pos);
}

// ---- cell formats

void TCellFormat::SetNew()
{
    std::memset(Body, 0, sizeof Body);
    SetWord(4, 0x0001);                     // locked
    SetWord(6, 0x0020);                     // vertical alignment bottom
    SetWord(12, 0x40 | (0x40 << 7));        // left, right border colours 64
    SetDWord(14, 0x40 | (0x40 << 7) | (0x40 << 14));
    SetWord(18, 0x40 | (65 << 7));
}

bool TCellFormat::Equals(const TCellFormat& o) const { return std::memcmp(Body, o.Body, 20) == 0; }

TCellFormats::TCellFormats(TXFonts* fonts) : Fonts(fonts), NumberFormats(new TNumberFormats)
{
    NumberFormats->AddBuiltIn();
    AddDefaults();
}

TCellFormats::~TCellFormats()
{
    Clear();
    delete NumberFormats;
}

void TCellFormats::Clear()
{
    qDeleteAll(m_items);
    m_items.clear();
    LoadedCount = 0;
}

TCellFormat* TCellFormats::AddNew()
{
    auto* f = new TCellFormat;
    f->Owner = this;
    f->Index = int(m_items.size());
    f->SetNew();
    m_items.append(f);
    return f;
}

void TCellFormats::AddDefaults()
{
    if (!m_items.isEmpty()) throw EXLSError(QStringLiteral("Add default formats when not empty."));
    for (int i = 0; i < 21; ++i) {
        TCellFormat* f = AddNew();
        std::memset(f->Body, 0, 20);
        int font = (i == 1 || i == 2) ? 1 : (i == 3 || i == 4) ? 2 : 0;
        static const int nf[21] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 42, 43, 44, 45, 9};
        f->SetWord(0, uint16_t(font));
        f->SetWord(2, uint16_t(nf[i]));
        f->SetWord(4, i == 15 ? 0x0001 : 0xFFF5);
        f->SetWord(6, 0x0020);
        f->SetWord(8, (i >= 1 && i <= 14) ? 0xF400 : 0x0000);
        f->SetWord(18, 0x20C0);
    }
    LoadedCount = 21;
}

int TCellFormats::Find(const TCellFormat& f) const
{
    for (int i = 0; i < m_items.size(); ++i)
        if (m_items[i]->Equals(f)) return i;
    return -1;
}

void TCellFormats::fillUpTo15()
{
    while (m_items.size() <= 15) AddNew();
}

void TCellFormats::ReadXF8(const uint8_t* body, int length)
{
    CheckRange(length, 0, 20);
    uint16_t nf = GetWord(body + 2);
    if (nf >= 50) {
        if (NumberFormats->FindByIndex(nf) < 0) throw EXLSError(QStringLiteral("Can not find number format# %1").arg(nf));
        NumberFormats->Use(nf);
    }
    TCellFormat* f = AddNew();
    std::memcpy(f->Body, body, 20);
}

void TCellFormats::ReadXF5(const uint8_t* b, int length)
{
    CheckRange(length, 0, 16);
    uint16_t nf = GetWord(b + 2);
    if (nf >= 50) {
        if (NumberFormats->FindByIndex(nf) < 0) throw EXLSError(QStringLiteral("Can not find number format# %1").arg(nf));
        NumberFormats->Use(nf);
    }
    TCellFormat* f = AddNew();
    std::memset(f->Body, 0, 20);
    f->SetWord(0, GetWord(b));
    f->SetWord(2, nf);
    f->SetWord(4, GetWord(b + 4));
    uint16_t al = GetWord(b + 6);
    static const uint8_t rot[4] = {0, 255, 90, 180};
    f->SetWord(6, uint16_t((al & 0xFF) | (rot[(al >> 8) & 3] << 8)));
    f->SetWord(8, uint16_t(al & 0xFC00));
    uint16_t w8 = GetWord(b + 8), w10 = GetWord(b + 10), w12 = GetWord(b + 12), w14 = GetWord(b + 14);
    int left = (w12 >> 3) & 7, right = (w12 >> 6) & 7, top = w12 & 7, bottom = (w10 >> 6) & 7;
    f->SetWord(10, uint16_t(left | (right << 4) | (top << 8) | (bottom << 12)));
    f->SetWord(12, uint16_t(w14 & 0x3FFF));
    uint32_t further = uint32_t((w12 >> 9) & 0x7F) | (uint32_t((w10 >> 9) & 0x7F) << 7) | (uint32_t(w10 & 0x3F) << 26);
    f->SetDWord(14, further);
    f->SetWord(18, uint16_t(w8 & 0x3FFF));
}

void TCellFormats::Delete(int index)
{
    if (index < 21 || index >= m_items.size()) return;
    TCellFormat* f = m_items.takeAt(index);
    if (NumberFormats->FindByIndex(f->NumberFormatIndex()) >= 0) NumberFormats->Release(f->NumberFormatIndex());
    delete f;
    for (int i = index; i < m_items.size(); ++i) m_items[i]->Index = i;
}

// ---- formatted objects

TFormattedObject::~TFormattedObject() { ReleaseFormatReference(m_format); }

void TFormattedObject::ReleaseFormatReference(TCellFormat* f)
{
    if (!f) return;
    TCellFormats* formats = f->Owner;
    if (formats && f->Index >= formats->LoadedCount && f->Index < formats->Count() && formats->Item(f->Index) == f) {
        if (--f->RefCount <= 0) formats->Delete(f->Index);
    } else {
        --f->RefCount;
    }
}

void TFormattedObject::TakeOverFormat(int formatIndex)
{
    if (!owner()) return;
    TCellFormat* nf = owner()->ForIndex(formatIndex);
    if (nf == m_format) return;
    ++nf->RefCount;
    TCellFormat* old = m_format;
    m_format = nf;
    if (old) {
        if (old->Index >= owner()->LoadedCount) {
            if (--old->RefCount <= 0) owner()->Delete(old->Index);
        } else {
            --old->RefCount;
        }
    }
}

void TFormattedObject::assign(const TCellFormat& temp)
{
    TCellFormat* old = m_format;
    // Find or make the new entry first, so releasing the old one cannot renumber it away.
    int found = owner()->Find(temp);
    TCellFormat* target;
    if (found >= 0) {
        target = owner()->Item(found);
    } else {
        target = owner()->AddNew();
        std::memcpy(target->Body, temp.Body, 20);
        if (temp.NumberFormatIndex() >= 50) owner()->NumberFormats->Use(temp.NumberFormatIndex());
    }
    ++target->RefCount;
    m_format = target;
    if (old && old->Index >= owner()->LoadedCount) {
        if (--old->RefCount <= 0) owner()->Delete(old->Index);
    } else if (old) {
        --old->RefCount;
    }
    FormatChanged();
}

void TFormattedObject::change(const std::function<void(TCellFormat&)>& edit)
{
    if (!owner() || !m_format) throw EXLSError(QStringLiteral("CellFormat has no parent"));
    TCellFormat temp;
    std::memcpy(temp.Body, m_format->Body, 20);
    edit(temp);
    if (temp.Equals(*m_format)) return;
    assign(temp);
}

void TFormattedObject::changeFont(const std::function<void(TXFont&)>& edit)
{
    TXFonts* fonts = owner() ? owner()->Fonts : nullptr;
    if (!fonts || !m_format) throw EXLSError(QStringLiteral("CellFormat has no parent"));
    const TXFont* cur = fonts->Item(m_format->FontIndex());
    TXFont copy;
    if (cur) copy.AssignAttributes(*cur);
    edit(copy);
    if (cur && cur->Equals(copy)) return;
    TXFont* used = fonts->FindOrAdd(copy);
    int usedIndex = used->Index;
    if (cur && cur->Index >= fonts->LoadedCount && !cur->Unshareable && cur != used) {
        TXFont* c = fonts->Item(cur->Index);
        if (--c->UsageCount <= 0) {
            int gone = c->Index;
            fonts->Delete(gone);
            for (int i = 0; i < owner()->Count(); ++i) {
                TCellFormat* f = owner()->Item(i);
                if (f->FontIndex() > gone) f->SetWord(0, uint16_t(f->FontIndex() - 1));
            }
            if (usedIndex > gone) --usedIndex;
        }
    }
    change([&](TCellFormat& f) { f.SetWord(0, uint16_t(usedIndex)); });
}

static void setBits(TCellFormat& f, int off, int shift, int width, int value)
{
    uint32_t mask = ((1u << width) - 1) << shift;
    uint32_t v = f.DWord(off);
    if (off == 18 || off <= 12) v = f.Word(off);
    v = (v & ~mask) | ((uint32_t(value) << shift) & mask);
    if (off == 14) f.SetDWord(off, v); else f.SetWord(off, uint16_t(v));
}
static int getBits(const TCellFormat& f, int off, int shift, int width)
{
    uint32_t v = off == 14 ? f.DWord(off) : f.Word(off);
    return int((v >> shift) & ((1u << width) - 1));
}

static void updateBorderUsed(TCellFormat& f)
{
    bool any = f.Word(10) != 0 || getBits(f, 14, 21, 4) != 0;
    f.SetWord(8, uint16_t(any ? (f.Word(8) | 0x2000) : (f.Word(8) & ~0x2000)));
}
static void updatePatternUsed(TCellFormat& f)
{
    bool defaults = (f.Word(18) & 0x3FFF) == 0x2040;
    f.SetWord(8, uint16_t(defaults ? (f.Word(8) & ~0x4000) : (f.Word(8) | 0x4000)));
}
static void updateAlignUsed(TCellFormat& f)
{
    uint16_t a = f.Word(6);
    bool any = (a & 0x08) || (a & 0x07) || ((a >> 4) & 0x07);
    f.SetWord(8, uint16_t(any ? (f.Word(8) | 0x1000) : (f.Word(8) & ~0x1000)));
}

void TFormattedObject::SetPatternBgColor(int c)
{
    change([c](TCellFormat& f) { setBits(f, 18, 7, 7, c & 0x7F); updatePatternUsed(f); });
}
void TFormattedObject::SetPatternFgColor(int c)
{
    change([c](TCellFormat& f) {
        setBits(f, 18, 0, 7, c & 0x7F);
        if ((c & 0x7F) != 64) {
            setBits(f, 14, 26, 6, 1);
            setBits(f, 18, 7, 7, 9);
        }
        updatePatternUsed(f);
    });
}
void TFormattedObject::SetFillPattern(int p)
{
    change([p](TCellFormat& f) {
        setBits(f, 14, 26, 6, p);
        f.SetWord(8, uint16_t(p ? (f.Word(8) | 0x4000) : (f.Word(8) & ~0x4000)));
    });
}
void TFormattedObject::SetBorderStyle(int side, int style)
{
    change([=](TCellFormat& f) { setBits(f, 10, 4 * (side & 3), 4, style); updateBorderUsed(f); });
}
void TFormattedObject::SetBorderColor(int side, int color)
{
    change([=](TCellFormat& f) {
        switch (side) {
        case 0: setBits(f, 12, 0, 7, color); break;
        case 1: setBits(f, 12, 7, 7, color); break;
        case 2: setBits(f, 14, 0, 7, color); break;
        case 3: setBits(f, 14, 7, 7, color); break;
        default: setBits(f, 14, 14, 7, color); break;
        }
    });
}
void TFormattedObject::SetDiagonalStyle(int style)
{
    change([=](TCellFormat& f) { setBits(f, 14, 21, 4, style); updateBorderUsed(f); });
}
void TFormattedObject::SetDiagonalLines(int lines)
{
    change([=](TCellFormat& f) { setBits(f, 12, 14, 2, lines); });
}
void TFormattedObject::SetWrap(bool wrap, bool second)
{
    change([=](TCellFormat& f) {
        uint16_t a = f.Word(6) & ~0x0088;
        if (wrap) a |= 0x08;
        f.SetWord(6, a);
        if (second) f.SetWord(8, uint16_t(f.Word(8) | 0x10));
        else f.SetWord(8, uint16_t(f.Word(8) & ~0x10));
        updateAlignUsed(f);
    });
}
void TFormattedObject::SetIndent(int indent)
{
    change([=](TCellFormat& f) { setBits(f, 8, 0, 4, indent); });
}
void TFormattedObject::SetNumberFormat(const QString& text)
{
    if (!owner()) throw EXLSError(QStringLiteral("CellFormat has no parent"));
    int index = 0;
    if (!text.isEmpty()) {
        TExcelMask mask;
        mask.SetMask(text);
        index = owner()->NumberFormats->FindOrAddByText(text);
    }
    if (index == m_format->NumberFormatIndex()) {
        if (index >= 50) owner()->NumberFormats->Release(index);
        return;
    }
    change([=](TCellFormat& f) { f.SetWord(2, uint16_t(index)); });
    if (index >= 50) owner()->NumberFormats->Release(index);   // the entry holds its own use
}
void TFormattedObject::SetProtection(bool locked, bool hidden)
{
    change([=](TCellFormat& f) { setBits(f, 4, 0, 2, (locked ? 1 : 0) | (hidden ? 2 : 0)); });
}
void TFormattedObject::SetRotation(int deg)
{
    int stored;
    if (deg >= 255) stored = 255;
    else if (deg > 90) stored = 90;
    else if (deg >= 0) stored = deg;
    else if (deg >= -90) stored = 90 - deg;
    else stored = 180;
    change([=](TCellFormat& f) { setBits(f, 6, 8, 8, stored); });
}
void TFormattedObject::SetVerticalAlignment(int v)
{
    change([=](TCellFormat& f) { setBits(f, 6, 4, 3, v); updateAlignUsed(f); });
}
void TFormattedObject::SetHorizontalAlignment(int h)
{
    change([=](TCellFormat& f) { setBits(f, 6, 0, 3, h); updateAlignUsed(f); });
}
void TFormattedObject::SetFontName(const QString& n) { changeFont([&](TXFont& f) { f.Name = n; }); }
void TFormattedObject::SetFontSize20(int s) { if (s > 0) changeFont([&](TXFont& f) { f.Size20 = uint16_t(s); }); }
void TFormattedObject::SetFontColor(int c) { changeFont([&](TXFont& f) { f.Color = uint8_t(ClampColorIndex(c)); }); }
void TFormattedObject::SetFontStyle(uint8_t s) { changeFont([&](TXFont& f) { f.Style = s; }); }
void TFormattedObject::SetFontCharset(uint8_t cs) { changeFont([&](TXFont& f) { f.Charset = cs; }); }
void TFormattedObject::SetFontFamily(uint8_t fam) { changeFont([&](TXFont& f) { f.Family = fam; }); }
void TFormattedObject::SetFontUnderline(TXUnderline u) { changeFont([&](TXFont& f) { f.Underline = u; }); }
void TFormattedObject::SetFontSubSuperScript(TXSubSuperScript s) { changeFont([&](TXFont& f) { f.SubSuperScript = s; }); }

int TFormattedObject::PatternBgColor() const { return getBits(*m_format, 18, 7, 7); }
int TFormattedObject::PatternFgColor() const { return getBits(*m_format, 18, 0, 7); }
int TFormattedObject::FillPattern() const { return getBits(*m_format, 14, 26, 6); }
int TFormattedObject::BorderStyle(int side) const { return getBits(*m_format, 10, 4 * (side & 3), 4); }
int TFormattedObject::BorderColor(int side) const
{
    switch (side) {
    case 0: return getBits(*m_format, 12, 0, 7);
    case 1: return getBits(*m_format, 12, 7, 7);
    case 2: return getBits(*m_format, 14, 0, 7);
    case 3: return getBits(*m_format, 14, 7, 7);
    default: return getBits(*m_format, 14, 14, 7);
    }
}
int TFormattedObject::Rotation() const
{
    int r = getBits(*m_format, 6, 8, 8);
    return (r > 90 && r <= 180) ? 90 - r : r;
}
int TFormattedObject::VerticalAlignment() const { return getBits(*m_format, 6, 4, 3); }
int TFormattedObject::HorizontalAlignment() const { return getBits(*m_format, 6, 0, 3); }
int TFormattedObject::Indent() const { return getBits(*m_format, 8, 0, 4); }
bool TFormattedObject::Wrap() const { return getBits(*m_format, 6, 3, 1) != 0; }
bool TFormattedObject::Locked() const { return getBits(*m_format, 4, 0, 1) != 0; }
bool TFormattedObject::Hidden() const { return getBits(*m_format, 4, 1, 1) != 0; }
QString TFormattedObject::NumberFormat() const
{
    int pos = owner()->NumberFormats->FindByIndex(m_format->NumberFormatIndex());
    return pos >= 0 ? owner()->NumberFormats->Item(pos)->FValue : QString();
}
const TXFont* TFormattedObject::Font() const { return owner()->Fonts->Item(m_format->FontIndex()); }

// ---- mask

void TExcelMask::SetMask(const QString& text)
{
    if (text.size() >= 256) throw EXLSError(QStringLiteral("Format string more than 255 characthers"));
    m_mask = text;
    m_sections.clear();
    QString cur;
    bool quoted = false;
    for (int i = 0; i < text.size(); ++i) {
        QChar c = text[i];
        if (c == '\\' && i + 1 < text.size()) {
            cur += c;
            cur += text[++i];
            continue;
        }
        if (c == '"') quoted = !quoted;
        if (c == ';' && !quoted && m_sections.size() < 3) {
            m_sections.append(cur);
            cur.clear();
            continue;
        }
        cur += c;
    }
    m_sections.append(cur);
}

}
