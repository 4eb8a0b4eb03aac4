#include "mailing/htmlparser/LumUtils.h"

#include <QChar>

namespace lum {

char16_t FoldChar(char16_t c)
{
    if (c < 0x80)
        return (c >= 'A' && c <= 'Z') ? char16_t(c + 32) : c;
    if (QChar::isSurrogate(c))
        return c;
    return char16_t(QChar::toCaseFolded(char32_t(c)));
}

bool SameText(const char16_t* buf, qsizetype len, const QString& s)
{
    if (len != s.size())
        return false;
    const char16_t* p = reinterpret_cast<const char16_t*>(s.utf16());
    for (qsizetype i = 0; i < len; ++i)
        if (buf[i] != p[i])
            return false;
    return true;
}

bool SameTextIgnoreCase(const char16_t* buf, qsizetype len, const QString& s)
{
    if (len != s.size())
        return false;
    const char16_t* p = reinterpret_cast<const char16_t*>(s.utf16());
    for (qsizetype i = 0; i < len; ++i)
        if (buf[i] != p[i] && FoldChar(buf[i]) != FoldChar(p[i]))
            return false;
    return true;
}

bool SameWideStrings(const QString& a, const QString& b)
{
    return SameText(reinterpret_cast<const char16_t*>(a.utf16()), a.size(), b);
}

bool SameWideStringsIgnoreCase(const QString& a, const QString& b)
{
    return SameTextIgnoreCase(reinterpret_cast<const char16_t*>(a.utf16()), a.size(), b);
}

namespace {

inline void Mix(quint32& a, quint32& b, quint32& c)
{
    a -= b; a -= c; a ^= (c >> 13);
    b -= c; b -= a; b ^= (a << 8);
    c -= a; c -= b; c ^= (b >> 13);
    a -= b; a -= c; a ^= (c >> 12);
    b -= c; b -= a; b ^= (a << 16);
    c -= a; c -= b; c ^= (b >> 5);
    a -= b; a -= c; a ^= (c >> 3);
    b -= c; b -= a; b ^= (a << 10);
    c -= a; c -= b; c ^= (b >> 15);
}

inline quint32 Word(const quint8* k)
{
    return quint32(k[0]) | (quint32(k[1]) << 8) | (quint32(k[2]) << 16) | (quint32(k[3]) << 24);
}

} // namespace

quint32 HashBytes(const void* data, quint32 length, quint32 initval)
{
    const quint8* k = static_cast<const quint8*>(data);
    quint32 a = 0x9E3779B9u, b = 0x9E3779B9u, c = initval;
    quint32 len = length;
    while (len >= 12) {
        a += Word(k);
        b += Word(k + 4);
        c += Word(k + 8);
        Mix(a, b, c);
        k += 12;
        len -= 12;
    }
    c += length;
    switch (len) { // the low byte of c is taken by the length
    case 11: c += quint32(k[10]) << 24; [[fallthrough]];
    case 10: c += quint32(k[9]) << 16; [[fallthrough]];
    case 9: c += quint32(k[8]) << 8; [[fallthrough]];
    case 8: b += quint32(k[7]) << 24; [[fallthrough]];
    case 7: b += quint32(k[6]) << 16; [[fallthrough]];
    case 6: b += quint32(k[5]) << 8; [[fallthrough]];
    case 5: b += k[4]; [[fallthrough]];
    case 4: a += quint32(k[3]) << 24; [[fallthrough]];
    case 3: a += quint32(k[2]) << 16; [[fallthrough]];
    case 2: a += quint32(k[1]) << 8; [[fallthrough]];
    case 1: a += k[0]; [[fallthrough]];
    default: break;
    }
    Mix(a, b, c);
    return c;
}

quint32 HashString(const QByteArray& s, quint32 initval)
{
    return HashBytes(s.constData(), quint32(s.size()), initval);
}

quint32 HashWideString(const QString& s, quint32 initval)
{
    return HashBytes(s.utf16(), quint32(s.size()) * 2, initval);
}

quint32 HashWideBuf(const char16_t* units, quint32 count, quint32 initval)
{
    return HashBytes(units, count * 2, initval);
}

quint32 HashIgnoreCase(const char16_t* k, quint32 count, quint32 initval)
{
    quint32 a = 0x9E3779B9u, b = 0x9E3779B9u, c = initval;
    quint32 len = count;
    auto f = [](char16_t u) { return quint32(FoldChar(u)); };
    while (len >= 6) {
        a += f(k[0]) | (f(k[1]) << 16);
        b += f(k[2]) | (f(k[3]) << 16);
        c += f(k[4]) | (f(k[5]) << 16);
        Mix(a, b, c);
        k += 6;
        len -= 6;
    }
    c += count;
    switch (len) {
    case 5: c += f(k[4]) << 16; [[fallthrough]];
    case 4: b += f(k[3]) << 16; [[fallthrough]];
    case 3: b += f(k[2]); [[fallthrough]];
    case 2: a += f(k[1]) << 16; [[fallthrough]];
    case 1: a += f(k[0]); [[fallthrough]];
    default: break;
    }
    Mix(a, b, c);
    return c;
}

void AppendBuffer(QString& s, qsizetype& used, const char16_t* units, qsizetype count)
{
    if (count <= 0)
        return;
    const qsizetype need = used + count;
    if (s.size() < need)
        s.resize((need + need / 2 + 3) & ~qsizetype(3));
    std::copy(units, units + count, reinterpret_cast<char16_t*>(s.data()) + used);
    used = need;
}

void AppendChar(QString& s, qsizetype& used, char16_t c)
{
    if (s.size() <= used)
        s.resize((2 * used + 4) & ~qsizetype(3));
    s[used] = QChar(c);
    ++used;
}

void AppendWideString(QString& s, qsizetype& used, const QString& t)
{
    AppendBuffer(s, used, reinterpret_cast<const char16_t*>(t.utf16()), t.size());
}

bool AnyCharFrom(const QString& s, qsizetype position, CharPredicate pred)
{
    if (position < 1 || position > s.size())
        return false;
    for (qsizetype i = position - 1; i < s.size(); ++i)
        if (pred(s.at(i).unicode()))
            return true;
    return false;
}

bool AllCharsFrom(const QString& s, qsizetype position, CharPredicate pred)
{
    if (position < 1 || position > s.size())
        return false;
    for (qsizetype i = position - 1; i < s.size(); ++i)
        if (!pred(s.at(i).unicode()))
            return false;
    return true;
}

} // namespace lum
