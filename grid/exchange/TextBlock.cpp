#include "grid/exchange/TextBlock.h"

namespace grid::exchange {

namespace {

const QChar kQuote = QLatin1Char('"');
const QChar kVT = QChar(11);

QString undoubleQuotes(QString text)
{
    if (text.contains(kQuote))
        text.replace(QLatin1String("\"\""), QLatin1String("\""));
    return text;
}

QString undoubleQuotes(QStringView text)
{
    if (!text.contains(kQuote))
        return text.toString();
    return undoubleQuotes(text.toString());
}

QString quoted(QString text)
{
    text.replace(kQuote, QLatin1String("\"\""));
    return kQuote + text + kQuote;
}

void vtToCRLF(QString& text)
{
    if (text.contains(kVT))
        text.replace(kVT, QLatin1String("\r\n"));
}

} // namespace

QString CopyField(const QString& text, bool vtLineBreaks)
{
    if (vtLineBreaks && text.contains(QLatin1String("\r\n"))) {
        QString t = text;
        t.replace(QLatin1String("\r\n"), QString(kVT));
        t.replace(QLatin1Char('\r'), kVT); // a lone CR is a line break too, not dropped
        return quoted(t);
    }
    if (text.contains(QLatin1Char('\r')) || text.contains(QLatin1Char('\n')) || text.contains(QLatin1Char('\t'))
        || text.startsWith(kQuote)) {
        QString t = text;
        t.replace(QLatin1String("\r\n"), QLatin1String("\n"));
        t.replace(QLatin1Char('\r'), QLatin1Char('\n'));
        return quoted(t);
    }
    return text;
}

int TextBlock::FieldCount() const
{
    int n = 0;
    for (const QStringList& line : Lines)
        n += int(line.size());
    return n;
}

int TextBlock::Columns() const
{
    int n = 0;
    for (const QStringList& line : Lines)
        n = std::max(n, int(line.size()));
    return n;
}

TextBlock ParseTextBlock(const QString& text)
{
    TextBlock block;
    block.Lines.emplace_back();
    const qsizetype n = text.size();
    auto isEnd = [&](qsizetype i) {
        return i >= n || text[i] == QLatin1Char('\t') || text[i] == QLatin1Char('\r') || text[i] == QLatin1Char('\n');
    };
    qsizetype i = 0;
    for (;;) {
        QString field;
        bool done = false;
        if (i < n && text[i] == kQuote) {
            // Look for the closing quote: one not doubled and followed by a field or line end.
            for (qsizetype j = i + 1; j < n; ++j) {
                if (text[j] != kQuote)
                    continue;
                if (j + 1 < n && text[j + 1] == kQuote) {
                    ++j;
                    continue;
                }
                if (isEnd(j + 1)) {
                    field = undoubleQuotes(text.mid(i + 1, j - i - 1));
                    i = j + 1;
                    done = true;
                    break;
                }
            }
        }
        if (!done) {
            const qsizetype start = i;
            while (!isEnd(i))
                ++i;
            field = text.mid(start, i - start);
        }
        vtToCRLF(field);
        block.Lines.back().append(field);
        if (i >= n)
            break;
        if (text[i] == QLatin1Char('\t')) {
            ++i;
            continue;
        }
        if (text[i] == QLatin1Char('\r') && i + 1 < n && text[i + 1] == QLatin1Char('\n'))
            ++i;
        ++i;
        block.Lines.emplace_back();
    }
    return block;
}

// ------------------------------------------------------------------ CSV

namespace {

// Occurrences of `ch` in the line: as runs (an odd run counts once, an even one not at all, a run
// ending the line always once) and one by one.
void countCandidate(QChar ch, const QString& line, int& runs, int& plain)
{
    runs = 0;
    plain = 0;
    const qsizetype n = line.size();
    for (qsizetype i = 0; i < n;) {
        if (line[i] != ch) {
            ++i;
            continue;
        }
        qsizetype end = i;
        while (end < n && line[end] == ch)
            ++end;
        const qsizetype len = end - i;
        plain += int(len);
        if (len % 2 == 1 || end == n)
            ++runs;
        i = end;
    }
}

QString decodeLineBreaks(QString field, bool tilde)
{
    if (tilde) {
        if (field == QLatin1String("^"))
            return QString();
        if (field.contains(QLatin1Char('~')))
            field.replace(QLatin1Char('~'), QLatin1String("\r\n"));
    } else {
        vtToCRLF(field);
    }
    return field;
}

} // namespace

QChar DetectDelimiter(const QString& line1, const QString& line2)
{
    static const char16_t candidates[] = {u',', u';', u'#', u'\t', u'|', u'@', u'*', u'-', u'+', u'&'};
    int runs1[10], runs2[10], plain1[10], plain2[10];
    for (int k = 0; k < 10; ++k) {
        countCandidate(QChar(candidates[k]), line1, runs1[k], plain1[k]);
        countCandidate(QChar(candidates[k]), line2, runs2[k], plain2[k]);
    }
    int best = -1, bestCount = 0;
    for (int k = 0; k < 10; ++k)
        if (runs1[k] == runs2[k] && runs1[k] > bestCount) {
            best = k;
            bestCount = runs1[k];
        }
    if (best < 0)
        for (int k = 0; k < 10; ++k)
            if (plain1[k] == plain2[k] && plain1[k] > bestCount) {
                best = k;
                bestCount = plain1[k];
            }
    if (best < 0)
        for (int k = 0; k < 10; ++k) {
            const int count = std::max(plain1[k], plain2[k]);
            if (count > bestCount) {
                best = k;
                bestCount = count;
            }
        }
    return best < 0 ? QChar() : QChar(candidates[best]);
}

QStringList SplitCSVLine(QStringView line, QChar delimiter, bool tilde)
{
    QStringList fields;
    SplitCSVLine(line, delimiter, tilde, fields);
    return fields;
}

void SplitCSVLine(QStringView line, QChar delimiter, bool tilde, QStringList& fields)
{
    fields.resize(0);
    if (!delimiter.isNull()) {
        for (qsizetype d = line.indexOf(delimiter); d >= 0; d = line.indexOf(delimiter)) {
            QString field;
            if (line.startsWith(kQuote)) {
                // The closing quote ends the first odd run of quotes, or a run that ends the line.
                qsizetype close = -1;
                for (qsizetype i = 1; i < line.size();) {
                    if (line[i] != kQuote) {
                        ++i;
                        continue;
                    }
                    qsizetype end = i;
                    while (end < line.size() && line[end] == kQuote)
                        ++end;
                    if ((end - i) % 2 == 1 || end == line.size()) {
                        close = end - 1;
                        break;
                    }
                    i = end;
                }
                if (close >= 0) {
                    field = undoubleQuotes(line.mid(1, close - 1));
                    line = line.mid(close + 1);
                    const qsizetype next = line.indexOf(delimiter);
                    line = next < 0 ? QStringView() : line.mid(next + 1);
                } else {
                    // No closing quote: the field ends at the delimiter.
                    field = undoubleQuotes(line.mid(1, d - 1));
                    line = line.mid(d + 1);
                }
            } else {
                field = undoubleQuotes(line.left(d));
                line = line.mid(d + 1);
            }
            fields.append(decodeLineBreaks(std::move(field), tilde));
        }
    }
    if (!line.isEmpty()) {
        if (line.startsWith(kQuote))
            line = line.mid(1);
        if (line.endsWith(kQuote))
            line.chop(1);
        fields.append(decodeLineBreaks(undoubleQuotes(line), tilde));
    }
}

// ------------------------------------------------------------------ grid text stream

namespace {

// The stream's own line-break coding: CR as TAB, LF as character 8. It gives a text back exactly
// when the text has an LF and neither a TAB nor a character 8 (a text with CR alone would come
// back with TABs).
bool classicCodingFits(const QString& text)
{
    return text.contains(QLatin1Char('\n')) && !text.contains(QLatin1Char('\t')) && !text.contains(QChar(8));
}

// Every other text with a line break, a character 8 or a NUL is written escaped: character 8 and
// ESC lead it (no text of the classic coding starts so unless it began with LF ESC), then ESC r,
// ESC n, ESC 0 and ESC ESC stand for CR, LF, NUL and ESC.
const QChar kEsc(0x1B);
const QString kEscapedLead = QStringLiteral("\x08\x1B");

bool needsCoding(const QString& text)
{
    for (const QChar ch : text)
        if (ch == QLatin1Char('\r') || ch == QLatin1Char('\n') || ch == QChar(8) || ch.isNull())
            return true;
    return false;
}

} // namespace

QString EncodeStreamText(const QString& text)
{
    if (!needsCoding(text))
        return text;
    if (classicCodingFits(text) && !text.contains(QChar(0)) && !text.startsWith(QStringLiteral("\n\x1B"))) {
        QString t = text;
        t.replace(QLatin1Char('\r'), QLatin1Char('\t'));
        t.replace(QLatin1Char('\n'), QChar(8));
        return t;
    }
    QString t = kEscapedLead;
    t.reserve(text.size() + text.size() / 8 + 2);
    for (const QChar ch : text) {
        if (ch == QLatin1Char('\r'))
            t += kEsc, t += QLatin1Char('r');
        else if (ch == QLatin1Char('\n'))
            t += kEsc, t += QLatin1Char('n');
        else if (ch.isNull())
            t += kEsc, t += QLatin1Char('0');
        else if (ch == kEsc)
            t += kEsc, t += kEsc;
        else
            t += ch;
    }
    return t;
}

QString DecodeStreamText(const QString& text)
{
    if (text.startsWith(kEscapedLead)) {
        QString t;
        t.reserve(text.size());
        for (qsizetype i = kEscapedLead.size(); i < text.size(); ++i) {
            const QChar ch = text[i];
            if (ch != kEsc || i + 1 == text.size()) {
                t += ch;
                continue;
            }
            const QChar next = text[++i];
            t += next == QLatin1Char('r') ? QChar(13) : next == QLatin1Char('n') ? QChar(10)
               : next == QLatin1Char('0') ? QChar(0) : next;
        }
        return t;
    }
    if (!text.contains(QChar(8)))
        return text;
    QString t = text;
    t.replace(QLatin1Char('\t'), QLatin1Char('\r'));
    t.replace(QChar(8), QLatin1Char('\n'));
    return t;
}

} // namespace grid::exchange
