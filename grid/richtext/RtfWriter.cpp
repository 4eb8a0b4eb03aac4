#include "grid/richtext/RichText.h"

#include "core/TextFile.h"

#include <QColor>
#include <QHash>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextFragment>

#include <cmath>

namespace grid::richtext {

namespace {

// The Windows-1252 byte of a character, or -1.
int windows1252Byte(char16_t c)
{
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF))
        return c;
    static const QHash<char16_t, int> upper = [] {
        QHash<char16_t, int> h;
        for (int b = 0x80; b < 0xA0; ++b) {
            const char byte = char(b);
            const QString s = core::DecodeWindows1252(QByteArrayView(&byte, 1));
            if (s.size() == 1 && s[0].unicode() != b && s[0] != QChar::ReplacementCharacter)
                h.insert(s[0].unicode(), b);
        }
        return h;
    }();
    return upper.value(c, -1);
}

QString fontFamily(const QTextCharFormat& f, const QString& fallback)
{
    const QStringList families = f.fontFamilies().toStringList();
    if (!families.isEmpty() && !families.first().isEmpty())
        return families.first();
    return fallback;
}

void appendEscaped(QByteArray& out, QStringView text)
{
    for (const QChar qc : text) {
        const char16_t c = qc.unicode();
        if (c == '\\' || c == '{' || c == '}') {
            out += '\\';
            out += char(c);
        } else if (c == '\t') {
            out += "\\tab ";
        } else if (c == 0x2028) {
            out += "\\line ";
        } else if (c >= 0x20 && c < 0x80) {
            out += char(c);
        } else if (const int b = windows1252Byte(c); b >= 0x80) {
            static const char hex[] = "0123456789abcdef";
            out += "\\'";
            out += hex[b >> 4];
            out += hex[b & 15];
        } else {
            out += "\\u";
            out += QByteArray::number(int(short(c)));
            out += '?';
        }
    }
}

} // namespace

QByteArray WriteRtf(const QTextDocument& doc)
{
    const QString defaultFamily = doc.defaultFont().family();
    const double defaultSize = doc.defaultFont().pointSizeF() > 0 ? doc.defaultFont().pointSizeF() : 12.0;

    // Font and colour tables from the formats in use.
    QStringList fonts{defaultFamily};
    QList<QRgb> colors;
    auto colorIndex = [&](const QColor& c) {
        const QRgb rgb = c.rgb() | 0xFF000000u;
        qsizetype i = colors.indexOf(rgb);
        if (i < 0) {
            colors.append(rgb);
            i = colors.size() - 1;
        }
        return int(i) + 1;
    };
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next())
        for (auto it = b.begin(); !it.atEnd(); ++it) {
            const QTextCharFormat f = it.fragment().charFormat();
            const QString family = fontFamily(f, defaultFamily);
            if (!fonts.contains(family))
                fonts.append(family);
            if (f.hasProperty(QTextFormat::ForegroundBrush) && f.foreground().style() != Qt::NoBrush)
                colorIndex(f.foreground().color());
            if (f.hasProperty(QTextFormat::BackgroundBrush) && f.background().style() != Qt::NoBrush)
                colorIndex(f.background().color());
        }

    QByteArray out = "{\\rtf1\\ansi\\ansicpg1252\\deff0\\uc1\n{\\fonttbl";
    for (int i = 0; i < fonts.size(); ++i) {
        out += "{\\f" + QByteArray::number(i) + "\\fnil\\fcharset0 ";
        appendEscaped(out, fonts[i]);
        out += ";}";
    }
    out += "}\n{\\colortbl;";
    for (QRgb c : colors)
        out += "\\red" + QByteArray::number(qRed(c)) + "\\green" + QByteArray::number(qGreen(c)) + "\\blue"
               + QByteArray::number(qBlue(c)) + ";";
    out += "}\n";

    auto twips = [](double px) { return QByteArray::number(qRound(px * 15)); };
    bool first = true;
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next()) {
        if (!first)
            out += "\\par\n";
        first = false;
        const QTextBlockFormat bf = b.blockFormat();
        out += "\\pard";
        const Qt::Alignment a = bf.alignment() & Qt::AlignHorizontal_Mask;
        if (a & Qt::AlignRight)
            out += "\\qr";
        else if (a & Qt::AlignHCenter)
            out += "\\qc";
        else if (a & Qt::AlignJustify)
            out += "\\qj";
        if (qRound(bf.leftMargin() * 15) != 0)
            out += "\\li" + twips(bf.leftMargin());
        if (qRound(bf.rightMargin() * 15) != 0)
            out += "\\ri" + twips(bf.rightMargin());
        if (qRound(bf.textIndent() * 15) != 0)
            out += "\\fi" + twips(bf.textIndent());
        if (qRound(bf.topMargin() * 15) > 0)
            out += "\\sb" + twips(bf.topMargin());
        if (qRound(bf.bottomMargin() * 15) > 0)
            out += "\\sa" + twips(bf.bottomMargin());
        out += ' ';
        for (auto it = b.begin(); !it.atEnd(); ++it) {
            const QTextFragment frag = it.fragment();
            const QTextCharFormat f = frag.charFormat();
            out += "\\plain\\f" + QByteArray::number(fonts.indexOf(fontFamily(f, defaultFamily)));
            const double pt = f.fontPointSize() > 0 ? f.fontPointSize() : defaultSize;
            out += "\\fs" + QByteArray::number(std::max(2, int(std::lround(pt * 2))));
            if (f.fontWeight() > QFont::Medium)
                out += "\\b";
            if (f.fontItalic())
                out += "\\i";
            if (f.fontUnderline())
                out += "\\ul";
            if (f.fontStrikeOut())
                out += "\\strike";
            if (f.hasProperty(QTextFormat::ForegroundBrush) && f.foreground().style() != Qt::NoBrush)
                out += "\\cf" + QByteArray::number(colorIndex(f.foreground().color()));
            if (f.hasProperty(QTextFormat::BackgroundBrush) && f.background().style() != Qt::NoBrush)
                out += "\\highlight" + QByteArray::number(colorIndex(f.background().color()));
            if (f.verticalAlignment() == QTextCharFormat::AlignSuperScript)
                out += "\\super";
            else if (f.verticalAlignment() == QTextCharFormat::AlignSubScript)
                out += "\\sub";
            out += ' ';
            appendEscaped(out, frag.text());
        }
    }
    out += "\n}";
    return out;
}

} // namespace grid::richtext
