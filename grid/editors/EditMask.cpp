#include "grid/editors/EditMask.h"

#include <QStringList>

namespace grid::editors {

namespace {
struct Parsed {
    QString body;
    bool saveLiterals = true;
    QChar blank = QLatin1Char('_');
};

Parsed split(const QString& mask)
{
    Parsed p;
    // The fields are separated by ";" unless it is escaped.
    QStringList fields{QString()};
    for (int i = 0; i < mask.size(); ++i) {
        if (mask[i] == QLatin1Char('\\') && i + 1 < mask.size()) {
            fields.last() += mask[i];
            fields.last() += mask[++i];
        } else if (mask[i] == QLatin1Char(';')) {
            fields << QString();
        } else {
            fields.last() += mask[i];
        }
    }
    p.body = fields.value(0);
    if (fields.size() > 1 && !fields[1].isEmpty())
        p.saveLiterals = fields[1] != QLatin1String("0");
    if (fields.size() > 2 && !fields[2].isEmpty())
        p.blank = fields[2][0];
    return p;
}

// The toolkit's mask character as Qt's, or a null character for a literal.
QChar maskChar(QChar c)
{
    switch (c.unicode()) {
    case '0': return QLatin1Char('9');   // required digit
    case '9': return QLatin1Char('0');   // optional digit
    case '#': return QLatin1Char('#');   // optional digit or sign
    case 'L': return QLatin1Char('A');   // required letter
    case 'l': return QLatin1Char('a');
    case 'A': return QLatin1Char('N');   // required letter or digit
    case 'a': return QLatin1Char('n');
    case 'C': return QLatin1Char('X');   // required character
    case 'c': return QLatin1Char('x');
    default: return QChar();
    }
}

bool isQtSpecial(QChar c) { return QStringLiteral("AaNnXx9D0d#HhBb><!{}[]\\;").contains(c); }
} // namespace

TEditMask TranslateEditMask(const QString& mask)
{
    TEditMask out;
    if (mask.isEmpty())
        return out;
    const Parsed p = split(mask);
    out.saveLiterals = p.saveLiterals;
    QString m;
    for (int i = 0; i < p.body.size(); ++i) {
        const QChar c = p.body[i];
        if (c == QLatin1Char('\\') && i + 1 < p.body.size()) {
            const QChar lit = p.body[++i];
            m += isQtSpecial(lit) ? QStringLiteral("\\") + lit : QString(lit);
        } else if (c == QLatin1Char('!')) {
            continue;   // leading blanks: no counterpart
        } else if (c == QLatin1Char('<') && i + 1 < p.body.size() && p.body[i + 1] == QLatin1Char('>')) {
            m += QLatin1Char('!');   // case conversion off
            ++i;
        } else if (c == QLatin1Char('>') || c == QLatin1Char('<')) {
            m += c;
        } else if (const QChar q = maskChar(c); !q.isNull()) {
            m += q;
        } else {
            m += isQtSpecial(c) ? QStringLiteral("\\") + c : QString(c);
        }
    }
    out.inputMask = m + QLatin1Char(';') + p.blank;
    return out;
}

QString MaskedText(const QString& mask, const QString& text)
{
    const Parsed p = split(mask);
    if (mask.isEmpty() || p.saveLiterals)
        return text;
    // Drop the characters that stand at literal positions of the mask.
    QString out;
    int pos = 0;
    for (int i = 0; i < p.body.size() && pos < text.size(); ++i) {
        const QChar c = p.body[i];
        if (c == QLatin1Char('!') || c == QLatin1Char('>') || c == QLatin1Char('<'))
            continue;
        if (c == QLatin1Char('\\') && i + 1 < p.body.size()) {
            ++i;
            ++pos;   // an escaped literal
            continue;
        }
        if (maskChar(c).isNull()) {
            ++pos;
            continue;
        }
        const QChar t = text[pos++];
        if (t != p.blank && t != QLatin1Char(' '))
            out += t;
    }
    return out;
}

} // namespace grid::editors
