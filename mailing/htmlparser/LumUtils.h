#pragma once
// Small routines on UTF-16 text shared by the character reader, the HTML pull parser and the
// generic containers: case folding and comparison, hashing, growing wide strings and the
// character classes of HTML names.
#include <QByteArray>
#include <QString>
#include <cstdint>
#include <stdexcept>

// Base of the errors the parser family raises; the message is kept as UTF-8.
class ELumError : public std::runtime_error {
public:
    explicit ELumError(const QString& message) : std::runtime_error(message.toStdString()) {}
    QString Message() const { return QString::fromUtf8(what()); }
};

namespace lum {

// Simple case folding (Unicode status C and S) of one BMP code unit; surrogates and codes
// without a mapping come back unchanged.
char16_t FoldChar(char16_t c);

bool SameText(const char16_t* buf, qsizetype len, const QString& s);
bool SameTextIgnoreCase(const char16_t* buf, qsizetype len, const QString& s);
bool SameWideStrings(const QString& a, const QString& b);
bool SameWideStringsIgnoreCase(const QString& a, const QString& b);

// Bob Jenkins' lookup2 hash over bytes.
quint32 HashBytes(const void* data, quint32 length, quint32 initval);
quint32 HashString(const QByteArray& s, quint32 initval = 0);
quint32 HashWideString(const QString& s, quint32 initval = 0);
quint32 HashWideBuf(const char16_t* units, quint32 count, quint32 initval = 0);
// The same scheme over the folded code units, six units per step.
quint32 HashIgnoreCase(const char16_t* units, quint32 count, quint32 initval = 0);

// Growing wide strings: s holds `used` characters of content, the rest is spare room.
void AppendBuffer(QString& s, qsizetype& used, const char16_t* units, qsizetype count);
void AppendChar(QString& s, qsizetype& used, char16_t c);
void AppendWideString(QString& s, qsizetype& used, const QString& t);

using CharPredicate = bool (*)(char16_t);
// Position is 1-based; both are false for an empty string, position 0 or beyond the end.
bool AnyCharFrom(const QString& s, qsizetype position, CharPredicate pred);
bool AllCharsFrom(const QString& s, qsizetype position, CharPredicate pred);

// Character classes (16-bit codes).
inline bool IsWhiteSpace(char16_t c) { return c <= 32; }
inline bool IsLetter(char16_t c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
inline bool IsDigit(char16_t c) { return c >= '0' && c <= '9'; }
inline bool IsNameChar(char16_t c)
{
    return IsLetter(c) || IsDigit(c) || c == '-' || c == '.' || c == ':' || c == '_';
}
inline bool IsEndOfTextData(char16_t c) { return c <= 32 || c == '&' || c == '<'; }
inline bool IsEndOfUnquotedAttrValue(char16_t c) { return c <= 32 || c == '&' || c == '>'; }
inline bool IsEndOfUnquotedSsiValue(char16_t c) { return c <= 32 || c == '&' || c == '-'; }
inline bool IsEndOfSsiName(char16_t c) { return c <= 32 || c == '-' || c == '>'; }
inline bool IsEndOfSkippedUnquotedValue(char16_t c) { return c <= 32 || c == '>'; }

} // namespace lum
