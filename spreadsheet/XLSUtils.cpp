#include "spreadsheet/XLSUtils.h"

#include <QLocale>
#include <QStringDecoder>
#include <QStringEncoder>
#include <charconv>
#include <cmath>
#include <cstring>

namespace xls {

void RaiseRecordTooShort(qint64 size, qint64 offset, qint64 need)
{
    throw EXLSError(QStringLiteral("Record too short: %1 bytes needed at offset %2 of %3").arg(need).arg(offset).arg(size));
}

double GetDouble(const uint8_t* p)
{
    uint64_t u = 0;
    for (int i = 7; i >= 0; --i) u = (u << 8) | p[i];
    double d;
    std::memcpy(&d, &u, 8);
    return d;
}

void PutDouble(uint8_t* p, double v)
{
    uint64_t u;
    std::memcpy(&u, &v, 8);
    for (int i = 0; i < 8; ++i) p[i] = uint8_t(u >> (8 * i));
}

int ErrorIndex(uint8_t code)
{
    switch (code) {
    case 0x00: return 1;
    case 0x07: return 2;
    case 0x0F: return 3;
    case 0x17: return 4;
    case 0x1D: return 5;
    case 0x24: return 6;
    case 0x2A: return 7;
    default: return 0;
    }
}

QString ErrorTextByIndex(int index)
{
    static const char* const texts[8] = {"[int] No error value", "#NULL!", "#DIV/0!", "#VALUE!",
                                         "#REF!", "#NAME?", "#NUM!", "N/A"};
    if (index < 0 || index > 7) index = 0;
    return QString::fromLatin1(texts[index]);
}

QString ErrorText(uint8_t code)
{
    int i = ErrorIndex(code);
    return i == 0 ? QStringLiteral("#???") : ErrorTextByIndex(i);
}

double DecodeRK(uint32_t rk)
{
    double d;
    if (rk & 2) {
        d = double(int32_t(rk) >> 2);
    } else {
        uint64_t u = uint64_t(rk & 0xFFFFFFFCu) << 32;
        std::memcpy(&d, &u, 8);
    }
    if (rk & 1) d /= 100.0;
    return d;
}

QString ReadBIFFString(const uint8_t* p, qint64 avail, int count, qint64* consumed)
{
    if (count <= 0 && avail <= 0) {
        // an empty text may come without its option byte
        if (consumed) *consumed = 0;
        return QString();
    }
    CheckRange(avail, 0, 1);
    if (count < 0) count = 0;
    QString s;
    if (p[0] == 1) {
        CheckRange(avail, 1, qint64(count) * 2);
        s.resize(count);
        for (int i = 0; i < count; ++i) s[i] = QChar(GetWord(p + 1 + 2 * i));
        if (consumed) *consumed = 1 + qint64(count) * 2;
    } else {
        CheckRange(avail, 1, count);
        s.resize(count);
        for (int i = 0; i < count; ++i) s[i] = QChar(p[1 + i]);
        if (consumed) *consumed = 1 + count;
    }
    return s;
}

QString JoinContinuedText(const uint8_t* first, qint64 firstLength, const QList<QByteArray>& pieces, int count, bool biff8)
{
    if (count < 0) count = 0;
    if (!biff8) {
        QByteArray bytes(reinterpret_cast<const char*>(first), qMax<qint64>(firstLength, 0));
        for (const QByteArray& piece : pieces) {
            if (bytes.size() >= count) break;
            bytes += piece;
        }
        CheckRange(bytes.size(), 0, count);
        return AnsiCodec().toUnicode(bytes.constData(), count);
    }
    CheckRange(firstLength, 0, 1);
    const bool firstWide = first[0] == 1;
    const int width = firstWide ? 2 : 1;
    const qint64 firstChars = qMin<qint64>(count, (firstLength - 1) / width);
    QString text = ReadBIFFString(first, 1 + firstChars * width, int(firstChars));
    const int rest = count - int(firstChars);
    // Pieces with their own option bytes: every piece is taken up by whole characters, the first
    // record's part too.
    QString withOptions;
    int found = 0;
    bool optionsFit = (firstLength - 1) % width == 0;
    for (const QByteArray& piece : pieces) {
        if (found == rest || !optionsFit) break;
        const auto* p = reinterpret_cast<const uint8_t*>(piece.constData());
        if (piece.isEmpty()) continue;
        if (p[0] > 1) { optionsFit = false; break; }
        const int w = p[0] == 1 ? 2 : 1;
        if ((piece.size() - 1) % w) { optionsFit = false; break; }
        const qint64 chars = (piece.size() - 1) / w;
        if (found + chars > rest) { optionsFit = false; break; }
        withOptions += ReadBIFFString(p, piece.size(), int(chars));
        found += int(chars);
    }
    if (optionsFit && found == rest) return text + withOptions;
    // Pieces that go on with the bytes: the first piece's width for all characters.
    QByteArray bytes(reinterpret_cast<const char*>(first) + 1, firstLength - 1);
    for (const QByteArray& piece : pieces) bytes += piece;
    const qint64 need = qint64(count) * width;
    CheckRange(bytes.size(), 0, need);
    QByteArray all = QByteArray(1, char(firstWide ? 1 : 0)) + bytes.left(need);
    return ReadBIFFString(reinterpret_cast<const uint8_t*>(all.constData()), all.size(), count);
}

QString SheetNameText(const QByteArray& raw)
{
    if (raw.isEmpty()) return QString();
    const auto* p = reinterpret_cast<const uint8_t*>(raw.constData());
    if (p[0] == 0) return AnsiCodec().toUnicode(raw.constData() + 1, int(raw.size() - 1));
    if (p[0] == 1) return WideFromBytes(p + 1, int(raw.size() - 1) + 2);  // no terminator in raw
    return AnsiCodec().toUnicode(raw);
}

QString WideFromBytes(const uint8_t* p, int byteCount)
{
    if (byteCount <= 2) return QString();
    int n = (byteCount - 2) / 2;
    QString s(n, Qt::Uninitialized);
    for (int i = 0; i < n; ++i) s[i] = QChar(GetWord(p + 2 * i));
    return s;
}

static QString columnLetters(int col)
{
    QString s;
    if (col < 26) {
        s += QChar('A' + col);
    } else {
        s += QChar(col / 26 + 64);
        s += QChar(col % 26 + 65);
    }
    return s;
}

QString CellRefText(int col, int row, bool colAbs, bool rowAbs)
{
    QString s;
    if (colAbs) s += '$';
    s += columnLetters(col);
    if (rowAbs) s += '$';
    s += QString::number(row + 1);
    return s;
}

QString AreaRefText(int col1, int row1, int col2, int row2, bool c1Abs, bool r1Abs, bool c2Abs, bool r2Abs)
{
    return CellRefText(col1, row1, c1Abs, r1Abs) + ':' + CellRefText(col2, row2, c2Abs, r2Abs);
}

bool ParseCellRef(const QString& text, int& col, int& row, bool& colAbs, bool& rowAbs)
{
    QString t = text.trimmed().toUpper();
    int i = 0;
    colAbs = rowAbs = false;
    if (i < t.size() && t[i] == '$') { colAbs = true; ++i; }
    int letters = 0;
    int c = 0;
    while (i < t.size() && t[i] >= 'A' && t[i] <= 'Z' && letters < 2) {
        c = c * 26 + (t[i].unicode() - 'A' + 1);
        ++i;
        ++letters;
    }
    if (letters == 0 || (letters == 2 && t[i - 2] > 'I')) return false;
    if (i < t.size() && t[i] == '$') { rowAbs = true; ++i; }
    if (i >= t.size()) return false;
    qint64 r = 0;
    for (; i < t.size(); ++i) {
        if (!t[i].isDigit()) return false;
        r = r * 10 + t[i].digitValue();
        if (r > 1000000) return false;
    }
    col = qMin(c - 1, 255);
    row = int(r) - 1;
    return row >= 0;
}

bool ParseAreaRef(const QString& text, int& col1, int& row1, int& col2, int& row2)
{
    int p = text.indexOf(':');
    if (p < 0) return false;
    bool a, b;
    return ParseCellRef(text.left(p), col1, row1, a, b) && ParseCellRef(text.mid(p + 1), col2, row2, a, b);
}

bool ClampArea(int& col1, int& row1, int& col2, int& row2)
{
    if (col1 >= 256 || row1 > 65535 || col2 < 0 || row2 < 0) return false;
    col1 = qBound(0, col1, 255);
    col2 = qBound(0, col2, 255);
    row1 = qBound(0, row1, 65535);
    row2 = qBound(0, row2, 65535);
    return true;
}

uint16_t TextHash(const uint8_t* p, int len)
{
    uint16_t h = 0;
    for (int i = 0; i < len; ++i) {
        h = uint16_t((h << 5) | (h >> 11));
        h ^= p[i];
    }
    return h;
}

uint16_t TextHash(const QString& text)
{
    return TextHash(reinterpret_cast<const uint8_t*>(text.constData()), int(text.size() * 2));
}

namespace {
// Tables for eight bytes at a step: t[k][b] is the remainder of byte b followed by k zero bytes.
struct CrcTable {
    uint32_t t[8][256];
    CrcTable()
    {
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t c = i;
            for (int k = 0; k < 8; ++k) c = (c & 1) ? (0xEDB88320u ^ (c >> 1)) : (c >> 1);
            t[0][i] = c;
        }
        for (int k = 1; k < 8; ++k)
            for (uint32_t i = 0; i < 256; ++i) t[k][i] = (t[k - 1][i] >> 8) ^ t[0][t[k - 1][i] & 0xFF];
    }
};
const CrcTable crcTable;
}

uint32_t Crc32(const uint8_t* p, qint64 len)
{
    uint32_t c = 0xFFFFFFFFu;
    const auto& t = crcTable.t;
    for (; len >= 8; p += 8, len -= 8) {
        const uint32_t lo = c ^ GetDWord(p), hi = GetDWord(p + 4);
        c = t[7][lo & 0xFF] ^ t[6][(lo >> 8) & 0xFF] ^ t[5][(lo >> 16) & 0xFF] ^ t[4][lo >> 24] ^
            t[3][hi & 0xFF] ^ t[2][(hi >> 8) & 0xFF] ^ t[1][(hi >> 16) & 0xFF] ^ t[0][hi >> 24];
    }
    for (; len > 0; ++p, --len) c = t[0][(c ^ *p) & 0xFF] ^ (c >> 8);
    return c;
}

const uint32_t DefaultPalette[65] = {
    0x000000, 0x000000, 0x000000, 0x000000, 0x000000, 0x000000, 0x000000, 0x000000,
    // 8..63: the BIFF8 default palette, red in the low byte
    0x000000, 0xFFFFFF, 0x0000FF, 0x00FF00, 0xFF0000, 0x00FFFF, 0xFF00FF, 0xFFFF00,
    0x000080, 0x008000, 0x800000, 0x008080, 0x800080, 0x808000, 0xC0C0C0, 0x808080,
    0xFF9999, 0x663399, 0xCCFFFF, 0xFFFFCC, 0x660066, 0x8080FF, 0xCC6600, 0xFFCCCC,
    0x800000, 0xFF00FF, 0x00FFFF, 0xFFFF00, 0x800080, 0x000080, 0x808000, 0xFF0000,
    0xFFCC00, 0xFFFFCC, 0xCCFFCC, 0x99FFFF, 0xFFCC99, 0xCC99FF, 0xFF99CC, 0x99CCFF,
    0xFF6633, 0xCCCC33, 0x00CC99, 0x00CCFF, 0x0099FF, 0x0066FF, 0x996666, 0x969696,
    0x663300, 0x669933, 0x003300, 0x003333, 0x003399, 0x663399, 0x993333, 0x333333,
    0xFFFFFF};

static uint32_t workingPalette[65];
static const bool paletteInit = [] { ResetPalette(); return true; }();

void ResetPalette() { std::memcpy(workingPalette, DefaultPalette, sizeof workingPalette); }
void SetPaletteColor(int index, uint32_t color)
{
    if (index >= 0 && index < 65) workingPalette[index] = color & 0xFFFFFF;
}
int ClampColorIndex(int index) { return index > 64 ? 64 : (index < 0 ? 0 : index); }
uint32_t PaletteColor(int index) { (void)paletteInit; return workingPalette[ClampColorIndex(index)]; }

int NearestPaletteIndex(uint32_t color)
{
    int best = 8;
    int bestSum = 1 << 30;
    for (int i = 8; i <= 63; ++i) {
        uint32_t p = workingPalette[i];
        int sum = 0;
        for (int b = 0; b < 3; ++b)
            sum += std::abs(int((color >> (8 * b)) & 0xFF) - int((p >> (8 * b)) & 0xFF));
        if (sum < bestSum) { bestSum = sum; best = i; }
    }
    return best;
}

// Windows-1252, 0x80..0xFF; undefined positions map to the C1 control of the same code.
static const char16_t cp1252High[128] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
    0x00A0, 0x00A1, 0x00A2, 0x00A3, 0x00A4, 0x00A5, 0x00A6, 0x00A7, 0x00A8, 0x00A9, 0x00AA, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x00AF,
    0x00B0, 0x00B1, 0x00B2, 0x00B3, 0x00B4, 0x00B5, 0x00B6, 0x00B7, 0x00B8, 0x00B9, 0x00BA, 0x00BB, 0x00BC, 0x00BD, 0x00BE, 0x00BF,
    0x00C0, 0x00C1, 0x00C2, 0x00C3, 0x00C4, 0x00C5, 0x00C6, 0x00C7, 0x00C8, 0x00C9, 0x00CA, 0x00CB, 0x00CC, 0x00CD, 0x00CE, 0x00CF,
    0x00D0, 0x00D1, 0x00D2, 0x00D3, 0x00D4, 0x00D5, 0x00D6, 0x00D7, 0x00D8, 0x00D9, 0x00DA, 0x00DB, 0x00DC, 0x00DD, 0x00DE, 0x00DF,
    0x00E0, 0x00E1, 0x00E2, 0x00E3, 0x00E4, 0x00E5, 0x00E6, 0x00E7, 0x00E8, 0x00E9, 0x00EA, 0x00EB, 0x00EC, 0x00ED, 0x00EE, 0x00EF,
    0x00F0, 0x00F1, 0x00F2, 0x00F3, 0x00F4, 0x00F5, 0x00F6, 0x00F7, 0x00F8, 0x00F9, 0x00FA, 0x00FB, 0x00FC, 0x00FD, 0x00FE, 0x00FF};

void TAnsiCodec::setCodePage(int cp)
{
    // 1200 (UTF-16), the "ANSI" aliases and the multi-byte code pages keep Windows-1252; so do
    // code pages the system cannot decode.
    m_cp = 1252;
    m_useTable = false;
    if (cp == 1252 || cp == 1200 || cp == 1201 || cp == 367 || cp == 32769 || cp == 65001 || cp <= 0 || cp == 932 ||
        cp == 936 || cp == 949 || cp == 950 || cp == 1361)
        return;
    if (cp == 32768) cp = 10000;   // Apple Roman
    for (const QByteArray& name : candidateNames(cp)) {
        QStringDecoder dec(name);
        if (!dec.isValid()) continue;
        m_cp = cp;
        loadTable(name);
        return;
    }
}

QList<QByteArray> TAnsiCodec::candidateNames(int cp)
{
    if (cp == 10000) return {QByteArray("macintosh")};
    const QByteArray n = QByteArray::number(cp);
    return {"windows-" + n, "IBM" + n, "cp" + n};
}

void TAnsiCodec::loadTable(const QByteArray& name)
{
    QStringDecoder dec(name);
    for (int i = 0; i < 128; ++i) {
        char c = char(0x80 + i);
        QString s = dec.decode(QByteArrayView(&c, 1));
        m_table[i] = s.size() == 1 ? s[0].unicode() : char16_t(0x80 + i);
    }
    m_useTable = true;
}

QString TAnsiCodec::toUnicode(const char* p, int len) const
{
    if (len <= 0) return QString();
    QString s(len, Qt::Uninitialized);
    QChar* d = s.data();
    const char16_t* high = m_useTable ? m_table : cp1252High;
    for (int i = 0; i < len; ++i) {
        uint8_t b = uint8_t(p[i]);
        d[i] = b < 0x80 ? QChar(b) : QChar(high[b - 0x80]);
    }
    return s;
}

QByteArray TAnsiCodec::fromUnicode(const QString& s) const
{
    const char16_t* high = m_useTable ? m_table : cp1252High;
    QByteArray out(s.size(), Qt::Uninitialized);
    for (qsizetype i = 0; i < s.size(); ++i) {
        char16_t u = s[i].unicode();
        char c = '?';
        if (u < 0x80) {
            c = char(u);
        } else {
            for (int k = 0; k < 128; ++k)
                if (high[k] == u) { c = char(0x80 + k); break; }
        }
        out[i] = c;
    }
    return out;
}

TAnsiCodec& AnsiCodec()
{
    static TAnsiCodec codec;
    return codec;
}

QString FloatToStrG(double v, QChar sep)
{
    if (std::isnan(v)) return QStringLiteral("NAN");
    if (std::isinf(v)) return v > 0 ? QStringLiteral("INF") : QStringLiteral("-INF");
    if (v == 0) return QStringLiteral("0");
    if (std::fabs(v) < 1e15 && v == std::trunc(v)) {
        // A whole number of up to 15 digits is itself (the common case: counts, dates, codes).
        char digits[24];
        auto r = std::to_chars(digits, digits + sizeof digits, static_cast<long long>(v));
        char16_t out[24];
        int n = 0;
        for (const char* q = digits; q < r.ptr; ++q) out[n++] = char16_t(*q);
        return QString(reinterpret_cast<const QChar*>(out), n);
    }
    // A value that is a decimal of at most 15 digits with up to 15 places (prices, rates,
    // hundredths): that decimal is the value rounded to 15 significant digits, since a double
    // lies closer to it than half a unit of the 15th digit. It is found by scaling until the
    // value is whole and checking that the scaled value divides back exactly.
    const double a = std::fabs(v);
    if (a >= 1e-4 && a < 1e14) {
        double scale = 10;
        for (int k = 1; k <= 15; ++k, scale *= 10) {
            const double m = a * scale;
            if (m >= 1e15) break;
            if (m != std::trunc(m) || m / scale != a) continue;
            char digits[24];
            const auto r = std::to_chars(digits, digits + sizeof digits, static_cast<long long>(m));
            const int len = int(r.ptr - digits);
            int last = len;   // trailing zeros of the places go
            while (last > 0 && last > len - k && digits[last - 1] == '0') --last;
            char16_t out[48];
            int n = 0;
            if (v < 0) out[n++] = '-';
            if (len > k) {
                for (int i = 0; i < len - k; ++i) out[n++] = char16_t(digits[i]);
                if (last > len - k) out[n++] = sep.unicode();
                for (int i = len - k; i < last; ++i) out[n++] = char16_t(digits[i]);
            } else {
                out[n++] = '0';
                out[n++] = sep.unicode();
                for (int i = 0; i < k - len; ++i) out[n++] = '0';
                for (int i = 0; i < last; ++i) out[n++] = char16_t(digits[i]);
            }
            return QString(reinterpret_cast<const QChar*>(out), n);
        }
    }
    // 15 significant digits in scientific form, then laid out.
    char buf[64];
    auto res = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::scientific, 14);
    *res.ptr = 0;
    const char* p = buf;
    bool neg = false;
    if (*p == '-') { neg = true; ++p; }
    char digits[20];
    int nd = 0;
    for (; *p && *p != 'e'; ++p)
        if (*p >= '0' && *p <= '9') digits[nd++] = *p;
    const int exp = std::atoi(p + 1);
    while (nd > 1 && digits[nd - 1] == '0') --nd;
    char16_t out[48];
    int n = 0;
    const char16_t dec = sep.unicode();
    if (neg) out[n++] = '-';
    if (exp >= 15 || exp < -5) {
        out[n++] = char16_t(digits[0]);
        if (nd > 1) {
            out[n++] = dec;
            for (int i = 1; i < nd; ++i) out[n++] = char16_t(digits[i]);
        }
        out[n++] = 'E';
        if (exp < 0) out[n++] = '-';
        char e[8];
        auto er = std::to_chars(e, e + sizeof e, exp < 0 ? -exp : exp);
        for (char* q = e; q < er.ptr; ++q) out[n++] = char16_t(*q);
    } else if (exp >= 0) {
        for (int i = 0; i <= exp; ++i) out[n++] = char16_t(i < nd ? digits[i] : '0');
        if (nd > exp + 1) {
            out[n++] = dec;
            for (int i = exp + 1; i < nd; ++i) out[n++] = char16_t(digits[i]);
        }
    } else {
        out[n++] = '0';
        out[n++] = dec;
        for (int i = 0; i < -exp - 1; ++i) out[n++] = '0';
        for (int i = 0; i < nd; ++i) out[n++] = char16_t(digits[i]);
    }
    return QString(reinterpret_cast<const QChar*>(out), n);
}

static QChar decimalSep;
QChar DecimalSeparator()
{
    if (decimalSep.isNull()) {
        QString d = QLocale::system().decimalPoint();
        decimalSep = d.isEmpty() ? QChar('.') : d[0];
    }
    return decimalSep;
}
void SetDecimalSeparator(QChar c) { decimalSep = c; }
QString FloatToStrG(double v) { return FloatToStrG(v, DecimalSeparator()); }

static QChar listSep;
QChar ListSeparator()
{
    if (listSep.isNull()) listSep = DecimalSeparator() == ',' ? QChar(';') : QChar(',');
    return listSep;
}
void SetListSeparator(QChar c) { listSep = c; }

}
