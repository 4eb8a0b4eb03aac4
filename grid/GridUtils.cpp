#include "grid/GridUtils.h"

#include "platform/graphics/VisualStyles.h"

#include <QFontMetrics>
#include <QLocale>
#include <QWidget>
#include <QPainter>
#include <QRegularExpression>
#include <QStringConverter>
#include <QStringList>
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>

namespace grid {

namespace {
QColor rgb(TColor c) { return QColor(int(c & 0xFF), int((c >> 8) & 0xFF), int((c >> 16) & 0xFF)); }
int part(TColor c, int shift) { return int((c >> shift) & 0xFF); }
TColor make(int r, int g, int b) { return TColor(r & 0xFF) | TColor(g & 0xFF) << 8 | TColor(b & 0xFF) << 16; }
} // namespace

int RoundHalfEven(double value) { return int(std::nearbyint(value)); }

TColor GradientColorAt(TColor from, TColor to, int start, int end, int pos)
{
    if (to == gfx::clNone || end == start)
        return from;
    const double span = double(end - start);
    int c[3];
    for (int i = 0; i < 3; ++i) {
        const int f = part(from, 8 * i), t = part(to, 8 * i);
        c[i] = f + RoundHalfEven(double(t - f) / span * pos);
    }
    return make(c[0], c[1], c[2]);
}

void DrawGradientFill(QPainter& painter, TColor from, TColor to, int steps, const QRect& rect, bool horizontal)
{
    if (to == gfx::clNone) {
        painter.fillRect(rect, rgb(from));
        return;
    }
    if (steps <= 0)
        steps = 1;
    const double band = double(horizontal ? rect.width() : rect.height()) / steps;
    const int across = RoundHalfEven(band) + 1;
    painter.save();
    painter.setClipRect(rect, Qt::IntersectClip);
    for (int n = 0; n < steps; ++n) {
        int c[3];
        for (int i = 0; i < 3; ++i) {
            const int f = part(from, 8 * i), t = part(to, 8 * i);
            c[i] = f + RoundHalfEven(double(n) * (t - f) / steps);
        }
        const int offset = RoundHalfEven(n * band);
        const QRect r = horizontal ? QRect(rect.left() + offset, rect.top(), across, rect.height())
                                   : QRect(rect.left(), rect.top() + offset, rect.width(), across);
        painter.fillRect(r, rgb(make(c[0], c[1], c[2])));
    }
    painter.restore();
}



// ================================================================== text and numbers

namespace {
GridLocale& localeStore()
{
    static GridLocale l = GridLocale::FromSystem();
    return l;
}
bool isDigit(QChar c) { return c >= QLatin1Char('0') && c <= QLatin1Char('9'); }
bool readInt(const QString& s, int& v)
{
    bool ok = false;
    v = s.trimmed().toInt(&ok);
    return ok && !s.trimmed().isEmpty();
}
} // namespace

GridLocale GridLocale::FromSystem()
{
    const QLocale sys = QLocale::system();
    GridLocale l;
    l.decimalSeparator = sys.decimalPoint().isEmpty() ? QLatin1Char('.') : sys.decimalPoint().at(0);
    l.thousandSeparator = sys.groupSeparator().isEmpty() ? QLatin1Char(',') : sys.groupSeparator().at(0);
    QString fmt = sys.dateFormat(QLocale::ShortFormat);
    static const QRegularExpression twoDigitYear(QStringLiteral("(?<!y)yy(?!y)"));
    fmt.replace(twoDigitYear, QStringLiteral("yyyy"));
    l.shortDateFormat = fmt;
    for (QChar c : fmt)
        if (!c.isLetter()) {
            l.dateSeparator = c;
            break;
        }
    return l;
}

const GridLocale& CurrentGridLocale() { return localeStore(); }
void SetGridLocale(const GridLocale& locale) { localeStore() = locale; }

int CellTextKind(const QString& text, bool htmlEnabled)
{
    if (text.isEmpty())
        return 0;
    if (text.startsWith(QLatin1Char('=')))
        return 3;
    if (text.startsWith(QLatin1String("|\\"))) {
        // A packed "=" is the two characters 00 3D.
        if (text.size() >= 4 && text[2].unicode() == 0 && text[3] == QLatin1Char('='))
            return 3;
        return 5;
    }
    if (text.startsWith(QLatin1String("{\\")))
        return 2;
    if (htmlEnabled && (text.contains(QLatin1String("</")) || text.contains(QLatin1String("<B"))
                        || text.contains(QLatin1String("<I"))))
        return 1;
    return 0;
}

int NumberKind(const QString& text)
{
    if (text.isEmpty())
        return 2;
    const GridLocale& l = CurrentGridLocale();
    if (text.count(l.thousandSeparator) > 1 || text.count(l.decimalSeparator) > 1 || text.count(QLatin1Char('-')) > 1)
        return 2;
    bool integer = true;
    for (int i = 0; i < text.size(); ++i)
        if (!(isDigit(text[i]) || (text[i] == QLatin1Char('-') && i == 0)))
            integer = false;
    if (integer)
        return 0;
    int lastThousand = -1;
    for (int i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (isDigit(c) || c == l.decimalSeparator)
            continue;
        if (c == QLatin1Char('-')) {
            if (i != 0)
                return 2;
            continue;
        }
        if (c == l.thousandSeparator) {
            if (i == 0 || (lastThousand >= 0 && i - lastThousand < 3))
                return 2;
            lastThousand = i;
            continue;
        }
        return 2;
    }
    return 1;
}

QString CleanNumberText(const QString& input)
{
    const GridLocale& l = CurrentGridLocale();
    QString text = input.trimmed();
    bool negative = false;
    if (text.size() >= 2 && text.startsWith(QLatin1Char('(')) && text.endsWith(QLatin1Char(')'))) {
        negative = true;
        text = text.mid(1, text.size() - 2);
    }
    auto numberStart = [&](QChar c) {
        return isDigit(c) || c == QLatin1Char('E') || c == QLatin1Char('e') || c == l.thousandSeparator
               || c == l.decimalSeparator;
    };
    while (text.size() >= 2 && !numberStart(text[0])) {
        if (text[0] == QLatin1Char('-'))
            negative = true;
        text.remove(0, 1);
    }
    QString out;
    for (QChar c : text) {
        if (c == l.thousandSeparator)
            continue;
        if (c == l.decimalSeparator)
            out += QLatin1Char('.');
        else if (isDigit(c) || c == QLatin1Char('+') || c == QLatin1Char('-') || c == QLatin1Char('.')
                 || c == QLatin1Char('E') || c == QLatin1Char('e'))
            out += c;
        else
            break;
    }
    return negative ? QLatin1Char('-') + out : out;
}

QString NormalizeNumberSeparators(const QString& text)
{
    const GridLocale& l = CurrentGridLocale();
    QString out;
    for (QChar c : text) {
        if (c == l.decimalSeparator)
            out += QLatin1Char('.');
        else if (c != l.thousandSeparator)
            out += c;
    }
    return out;
}

bool TextToDateByFormat(const QString& text, QDate& date)
{
    const GridLocale& l = CurrentGridLocale();
    const QStringList parts = text.split(l.dateSeparator);
    if (parts.size() != 3)
        return false;
    const QString fmt = l.shortDateFormat.toUpper();
    const qsizetype pd = fmt.indexOf(QLatin1Char('D')), pm = fmt.indexOf(QLatin1Char('M')),
                    py = fmt.indexOf(QLatin1Char('Y'));
    if (pd < 0 || pm < 0 || py < 0)
        return false;
    // The rank of each letter gives the position of its part.
    auto rank = [&](qsizetype p) { return int(p > pd) + int(p > pm) + int(p > py); };
    int d, m, y;
    if (!readInt(parts[rank(pd)], d) || !readInt(parts[rank(pm)], m) || !readInt(parts[rank(py)], y))
        return false;
    if (d >= 32 || m > 12)
        return false;
    const QDate result(y, m, d);
    if (!result.isValid())
        return false;
    date = result;
    return true;
}

namespace {
QDate readDmy(const QString& text, bool monthFirst)
{
    QChar sep;
    for (QChar c : {QLatin1Char('/'), QLatin1Char('.'), QLatin1Char('-')})
        if (text.contains(c)) {
            sep = c;
            break;
        }
    if (sep.isNull())
        return QDate();
    const QStringList parts = text.split(sep);
    if (parts.size() != 3)
        return QDate();
    int a, b, y;
    if (!readInt(parts[0], a) || !readInt(parts[1], b) || !readInt(parts[2], y))
        return QDate();
    if (y >= 0 && y < 100)
        y += y <= 25 ? 2000 : 1900;
    const int m = monthFirst ? a : b, d = monthFirst ? b : a;
    const QDate date(y, m, d);
    if (!date.isValid())
        throw EConvertError(QStringLiteral("Invalid argument to date encode"));
    return date;
}
} // namespace

QDate USDateToDate(const QString& text) { return readDmy(text, true); }
QDate EUDateToDate(const QString& text) { return readDmy(text, false); }

bool LooksLikeDate(const QString& text)
{
    const QChar sep = CurrentGridLocale().dateSeparator;
    const qsizetype first = text.indexOf(sep);
    return first >= 1 && text.indexOf(sep, first + 2) > 0;
}

QDate DateSeriesStep(int years, int months, int days, const QDate& date, double step)
{
    QDate result;
    if (days && !years && !months) {
        result = date.addDays(days);
    } else if (years && !months && !days) {
        result = QDate(date.year() + years, date.month(), date.day());
    } else if (months && !years && !days) {
        const int total = date.year() * 12 + (date.month() - 1) + months;
        const int y = total >= 0 ? total / 12 : (total - 11) / 12;
        result = QDate(y, total - y * 12 + 1, date.day());
    } else {
        result = date.addDays(qint64(std::llround(step)));
    }
    if (!result.isValid())
        throw EConvertError(QStringLiteral("Invalid argument to date encode"));
    return result;
}

int ClampToLimits(int value, int low, int high)
{
    if (low == high)
        return value;
    if (low > 0 && value < low)
        value = low;
    if (high > 0 && value > high)
        value = high;
    return value;
}

bool IsURLText(const QString& text)
{
    return text.contains(QLatin1String("://")) || text.contains(QLatin1String("mailto:"));
}

void StripURLScheme(QString& text)
{
    qsizetype p = text.indexOf(QLatin1String("://"));
    if (p >= 0) {
        text.remove(0, p + 3);
        return;
    }
    p = text.indexOf(QLatin1String("mailto:"));
    if (p >= 0)
        text.remove(0, p + 7);
}

bool ParseCellRef(const QString& input, QPoint& cell)
{
    const QString text = input.toUpper();
    if (text.size() <= 3 || !text.startsWith(QLatin1Char('R')))
        return false;
    const qsizetype c = text.indexOf(QLatin1Char('C'), 1);
    if (c < 0)
        return false;
    int row, col;
    if (!readInt(text.mid(1, c - 1), row) || !readInt(text.mid(c + 1), col))
        return false;
    cell = QPoint(col, row);
    return true;
}

void SplitOffField(QString& text, QChar separator, QString& field)
{
    const qsizetype p = text.indexOf(separator);
    if (p < 0) {
        field.clear();
        return;
    }
    field = text.left(p);
    text.remove(0, p + 1);
}

QString UnescapeDoubledChar(QChar ch, const QString& text)
{
    if (!text.contains(ch))
        return text;
    QString out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == ch) {
            if (i + 1 < text.size() && text[i + 1] == ch) {
                out += ch;
                ++i;
            }
            continue;
        }
        out += text[i];
    }
    return out;
}

int CountCharIn(QChar ch, const QString& text) { return int(text.count(ch)); }

void CellTextToCSVField(QString& text)
{
    text.replace(QLatin1String("\r\n"), QString(QChar(11)));
    text.replace(QLatin1String("\""), QLatin1String("\"\""));
    text = QLatin1Char('"') + text + QLatin1Char('"');
}

void VTToCRLF(QString& text) { text.replace(QChar(11), QLatin1String("\r\n")); }

void TildeToCRLF(QString& text)
{
    text.replace(QLatin1Char('~'), QLatin1String("\r\n"));
    if (text == QLatin1String("^"))
        text.clear();
}

QString EscapedNewlinesToCR(QString text) { return text.replace(QLatin1String("\\n"), QLatin1String("\r")); }

QString PackLineBreaks(QString text)
{
    if (!text.contains(QLatin1Char('\r')))
        return text;
    text.replace(QLatin1Char('\r'), QChar(9));
    text.replace(QLatin1Char('\n'), QChar(8));
    return text;
}

QString UnpackLineBreaks(QString text, bool multiLine)
{
    if (!text.contains(QChar(8)))
        return text;
    text.replace(QChar(9), QLatin1Char('\r'));
    text.replace(QChar(8), QLatin1Char('\n'));
    if (!multiLine) {
        const qsizetype p = text.indexOf(QLatin1Char('\r'));
        if (p >= 0)
            text.truncate(p);
    }
    return text;
}

void TakeFirstLine(QString& text, bool keepRest, QString& line)
{
    const qsizetype p = text.indexOf(QLatin1Char('\r'));
    if (p < 0) {
        line = text;
        text.clear();
        return;
    }
    line = text.left(p);
    if (!keepRest) {
        text.clear();
        return;
    }
    qsizetype rest = p + 1;
    if (rest < text.size() && text[rest] == QLatin1Char('\n'))
        ++rest;
    text = text.mid(rest);
}

int LineCountOf(const QString& text, bool multiLine) { return multiLine ? int(text.count(QLatin1Char('\r'))) + 1 : 1; }

QString RemoveCRChars(QString text) { return text.remove(QLatin1Char('\r')); }

QString ProperCaseName(const QString& text)
{
    auto isSep = [](QChar c) {
        return c == QLatin1Char(' ') || c == QLatin1Char('\'') || c == QLatin1Char(',') || c == QLatin1Char('-')
               || c == QLatin1Char('.');
    };
    auto isAZ = [](QChar c) { return (c >= QLatin1Char('a') && c <= QLatin1Char('z')) || (c >= QLatin1Char('A') && c <= QLatin1Char('Z')); };
    auto up = [&](QChar c) { return isAZ(c) ? c.toUpper() : c; };
    auto low = [&](QChar c) { return isAZ(c) ? c.toLower() : c; };
    QString out = text;
    for (qsizetype i = 0; i < out.size(); ++i)
        out[i] = (i == 0 || isSep(out[i - 1])) ? up(out[i]) : low(out[i]);
    // McDonald: the letter after a leading "Mc" or after " Mc".
    for (qsizetype i = 0; i + 2 < out.size(); ++i)
        if (out[i] == QLatin1Char('M') && out[i + 1] == QLatin1Char('c') && (i == 0 || out[i - 1] == QLatin1Char(' ')))
            out[i + 2] = up(out[i + 2]);
    // Roman numerals I, II, III at the end stay upper case.
    const qsizetype blank = out.lastIndexOf(QLatin1Char(' '));
    if (blank >= 0 && out.size() - blank - 1 >= 1 && out.size() - blank - 1 <= 3) {
        const QString last = out.mid(blank + 1);
        if (last.toUpper().count(QLatin1Char('I')) == last.size())
            out.replace(blank + 1, last.size(), last.toUpper());
    }
    return out;
}

QString PackWideCell(const std::u16string& text)
{
    QString out = QStringLiteral("|\\");
    for (char16_t c : text) {
        out += QChar(ushort(c >> 8));
        out += QChar(ushort(c & 0xFF));
    }
    return out;
}

std::u16string UnpackWideCell(const QString& text)
{
    if (!text.startsWith(QLatin1String("|\\")))
        return text.toStdU16String();
    std::u16string out;
    for (qsizetype i = 2; i + 1 < text.size(); i += 2)
        out += char16_t(((text[i].unicode() & 0xFF) << 8) | (text[i + 1].unicode() & 0xFF));
    return out;
}

int WideTextPos(const std::u16string& sub, const std::u16string& text)
{
    if (sub.empty() || sub.size() > text.size())
        return 0;
    const auto p = text.find(sub);
    return p == std::u16string::npos ? 0 : int(p) + 1;
}

TColor HalveColor(TColor c) { return make(part(c, 0) / 2, part(c, 8) / 2, part(c, 16) / 2); }

int OddRunEnd(QChar ch, const QString& text, int from)
{
    qsizetype i = std::max(0, from - 1);
    while (i < text.size()) {
        if (text[i] != ch) {
            ++i;
            continue;
        }
        qsizetype end = i;
        while (end + 1 < text.size() && text[end + 1] == ch)
            ++end;
        const qsizetype len = end - i + 1;
        if (end + 1 == text.size() || len % 2 == 1)
            return int(end) + 1;
        i = end + 1;
    }
    return 0;
}

int CountOddRuns(QChar ch, const QString& text)
{
    int count = 0;
    for (int pos = OddRunEnd(ch, text, 1); pos > 0; pos = OddRunEnd(ch, text, pos + 1))
        ++count;
    return count;
}

bool CharPosVar(QChar ch, const QString& text, int& pos)
{
    const int p = FirstCharPos(ch, text);
    if (p > 0)
        pos = p;
    return p > 0;
}

int FirstCharPos(QChar ch, const QString& text) { return int(text.indexOf(ch)) + 1; }

int PosInUpperText(const QString& sub, const QString& text) { return int(text.toUpper().indexOf(sub)) + 1; }

QChar FirstCharOfSet(const QString& set, const QString& text)
{
    for (QChar c : text)
        if (set.contains(c))
            return c;
    return QChar();
}

bool CellInRange(const QRect& range, int col, int row)
{
    return col >= range.left() && col <= range.right() && row >= range.top() && row <= range.bottom();
}

QString OemTextToAnsi(const QString& text)
{
    QStringEncoder ansi("windows-1252");
    QStringDecoder oem("IBM850");
    if (!ansi.isValid() || !oem.isValid())
        return text;
    const QByteArray bytes = ansi.encode(text);
    return oem.decode(bytes);
}

// ------------------------------------------------------------------ filter

namespace {
// "*" any run, "?" one character, "\" a literal next character, '"' ignored.
bool wildcard(const QString& pat, qsizetype pi, const QString& val, qsizetype vi)
{
    while (pi < pat.size()) {
        const QChar p = pat[pi];
        if (p == QLatin1Char('"')) {
            ++pi;
            continue;
        }
        if (p == QLatin1Char('*')) {
            while (pi < pat.size() && pat[pi] == QLatin1Char('*'))
                ++pi;
            for (qsizetype k = vi; k <= val.size(); ++k)
                if (wildcard(pat, pi, val, k))
                    return true;
            return false;
        }
        if (vi >= val.size())
            return false;
        if (p == QLatin1Char('?')) {
            ++pi;
            ++vi;
            continue;
        }
        QChar lit = p;
        if (p == QLatin1Char('\\') && pi + 1 < pat.size())
            lit = pat[++pi];
        if (val[vi] != lit)
            return false;
        ++pi;
        ++vi;
    }
    return vi == val.size();
}

QString operandAfter(const QString& cond, qsizetype pos)
{
    while (pos < cond.size() && cond[pos] == QLatin1Char(' '))
        ++pos;
    qsizetype end = pos;
    while (end < cond.size() && cond[end] != QLatin1Char(' ') && cond[end] != QLatin1Char('&') && cond[end] != QLatin1Char('|'))
        ++end;
    QString op = cond.mid(pos, end - pos);
    if (op.startsWith(QLatin1Char('"')))
        op.remove(0, 1);
    if (op.endsWith(QLatin1Char('"')))
        op.chop(1);
    return op;
}

// <0, 0, >0 as value compares to operand: as numbers, else as dates, else as texts.
int compareOperand(const QString& value, const QString& operand)
{
    bool okV = false, okO = false;
    const double v = NormalizeNumberSeparators(value).toDouble(&okV);
    const double o = NormalizeNumberSeparators(operand).toDouble(&okO);
    if (okV && okO)
        return v < o ? -1 : v > o ? 1 : 0;
    QDate dv, dop;
    if (TextToDateByFormat(value, dv) && TextToDateByFormat(operand, dop))
        return dv < dop ? -1 : dv > dop ? 1 : 0;
    return QString::compare(value.left(255), operand.left(255), Qt::CaseSensitive);
}

bool matchConditionText(const QString& cond, const QString& value)
{
    const qsizetype gt = cond.indexOf(QLatin1Char('>'));
    if (gt >= 0) {
        const bool eq = gt + 1 < cond.size() && cond[gt + 1] == QLatin1Char('=');
        const int c = compareOperand(value, operandAfter(cond, gt + (eq ? 2 : 1)));
        if (c > 0 || (eq && c == 0))
            return true;
    }
    const qsizetype lt = cond.indexOf(QLatin1Char('<'));
    if (lt >= 0) {
        const bool eq = lt + 1 < cond.size() && cond[lt + 1] == QLatin1Char('=');
        const int c = compareOperand(value, operandAfter(cond, lt + (eq ? 2 : 1)));
        if (c < 0 || (eq && c == 0))
            return true;
    }
    if (gt >= 0 || lt >= 0)
        return false;
    const bool negate = cond.contains(QLatin1Char('!'));
    QString pattern = cond;
    pattern.remove(QLatin1Char('!'));
    return wildcard(pattern, 0, value, 0) != negate;
}
} // namespace

bool MatchFilterCondition(const QString& condition, const QString& value, bool caseSensitive)
{
    if (caseSensitive)
        return matchConditionText(condition, value);
    return matchConditionText(condition.toUpper(), value.toUpper());
}

bool MatchFilterExpression(const QString& expression, const QString& value, bool caseSensitive)
{
    QString e = expression.trimmed();
    static const QRegularExpression around(QStringLiteral(" *([&;\\^|=]) *"));
    e.replace(around, QStringLiteral("\\1"));
    if (e.startsWith(QLatin1Char('=')))
        e.remove(0, 1);
    bool result = false;
    QChar op;
    qsizetype start = 0;
    for (qsizetype i = 0; i <= e.size(); ++i) {
        if (i < e.size() && e[i] != QLatin1Char('&') && e[i] != QLatin1Char(';') && e[i] != QLatin1Char('^')
            && e[i] != QLatin1Char('|'))
            continue;
        const bool r = MatchFilterCondition(e.mid(start, i - start), value, caseSensitive);
        result = op.isNull() ? r : op == QLatin1Char('&') ? (result && r) : (result || r);
        if (i < e.size())
            op = e[i];
        start = i + 1;
    }
    return result;
}

QString FormatNumber(const QString& format, double value)
{
    QString out;
    out.reserve(format.size() + 16);
    const qsizetype n = format.size();
    qsizetype i = 0;
    while (i < n) {
        const QChar ch = format[i];
        if (ch != QLatin1Char('%')) {
            out += ch;
            ++i;
            continue;
        }
        if (i + 1 < n && format[i + 1] == QLatin1Char('%')) {
            out += QLatin1Char('%');
            i += 2;
            continue;
        }
        // %[flags][width][.precision][length]conversion, with numbers of at most three digits.
        qsizetype j = i + 1;
        QByteArray spec("%");
        while (j < n && QStringLiteral("-+ 0#").contains(format[j]))
            spec += char(format[j++].unicode());
        auto digits = [&] {
            int count = 0;
            while (j < n && format[j].isDigit() && format[j].unicode() < 128 && count < 3) {
                spec += char(format[j++].unicode());
                ++count;
            }
        };
        digits();
        if (j < n && format[j] == QLatin1Char('.')) {
            spec += '.';
            ++j;
            digits();
        }
        while (j < n && QStringLiteral("hlLqjzt").contains(format[j]))
            ++j;   // the value's own type decides the length
        const char conv = j < n && format[j].unicode() < 128 ? char(format[j].unicode()) : '\0';
        if (conv && std::strchr("diuoxXc", conv)) {
            const double rounded = std::isfinite(value) ? std::round(value) : 0.0;
            const long long v = rounded >= 9.2e18 ? LLONG_MAX : rounded <= -9.2e18 ? LLONG_MIN : (long long)rounded;
            if (conv == 'c') {
                out += QChar(char16_t(v & 0xFFFF));
            } else {
                spec += "ll";
                spec += conv;
                out += QString::asprintf(spec.constData(), v);
            }
            i = j + 1;
        } else if (conv && std::strchr("eEfFgGaA", conv)) {
            spec += conv;
            out += QString::asprintf(spec.constData(), value);
            i = j + 1;
        } else {
            // Not a conversion of a number: written as it stands.
            out += format.mid(i, j - i);
            i = j;
        }
    }
    return out;
}

// ------------------------------------------------------------------ drawing

void DrawProgressBar(QPainter& painter, const QRect& rect, TColor barColor, TColor barTextColor, TColor restColor,
                     TColor restTextColor, int value, int marginX, int marginY, int rangeStart, int divisor,
                     const QString& format, TColor borderColor)
{
    const QBrush remembered = painter.brush();
    QString text;
    int percentage;
    if (!format.isEmpty()) {
        text = FormatNumber(format, value);
        if (divisor == 0)
            return;   // no range to measure the value in
        percentage = RoundHalfEven(double(value - rangeStart) * 100 / divisor);
    } else {
        percentage = value;
        text = QString::number(value) + QLatin1Char('%');
    }
    percentage = std::clamp(percentage, 0, 100);
    const QRect r = rect.adjusted(marginX, marginY, -marginX, -marginY);
    const int barWidth = RoundHalfEven(double(percentage) * r.width() / 100);
    const QRect bar(r.left(), r.top(), barWidth, r.height());
    const QRect rest(r.left() + barWidth, r.top(), r.width() - barWidth, r.height());
    painter.save();
    for (int pass = 0; pass < 2; ++pass) {
        const QRect& part = pass == 0 ? bar : rest;
        if (part.width() <= 0)
            continue;
        painter.setClipRect(part);
        painter.fillRect(part, rgb(pass == 0 ? barColor : restColor));
        painter.setPen(rgb(pass == 0 ? barTextColor : restTextColor));
        painter.drawText(r, Qt::AlignCenter | Qt::TextSingleLine, text);
    }
    painter.restore();
    painter.save();
    painter.setBrush(Qt::NoBrush);
    if (borderColor != gfx::clNone) {
        painter.setPen(rgb(borderColor));
        painter.drawRect(r.adjusted(-1, -1, 0, 0));
    }
    painter.setPen(remembered.color());
    painter.drawRect(r.adjusted(-2, -2, 1, 1));
    painter.restore();
}

void DrawRangeBar(QPainter& painter, const QRect& rect, int value, int range, bool showValue, TColor negColor,
                  TColor posColor)
{
    if (range <= 0)
        return;
    const QRect r = rect.adjusted(2, 2, -2, -2);
    const int half = r.width() / 2;
    value = std::clamp(value, -range, range);
    const int w = RoundHalfEven(double(half) * value / range);
    const int centre = r.left() + half;
    if (value < 0)
        painter.fillRect(QRect(centre + w, r.top(), -w, r.height()), rgb(negColor));
    else
        painter.fillRect(QRect(centre, r.top(), w, r.height()), rgb(posColor));
    if (showValue)
        painter.drawText(r, Qt::AlignHCenter | Qt::AlignTop | Qt::TextSingleLine, QString::number(value));
}

void DrawBitmapTransparent(QPainter& painter, const QImage& image, TColor background, const QRect& rect)
{
    if (image.isNull())
        return;
    QImage copy = image.convertToFormat(QImage::Format_ARGB32);
    const QRgb key = copy.pixel(0, 0);
    const QRgb bg = rgb(background).rgba();
    for (int y = 0; y < copy.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(copy.scanLine(y));
        for (int x = 0; x < copy.width(); ++x)
            if (line[x] == key)
                line[x] = bg;
    }
    painter.drawImage(rect.topLeft(), copy);
}

void DrawPieChart(QPainter& painter, const QRect& rect, TColor fillColor, int percentage)
{
    percentage = std::clamp(percentage, 0, 100);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    if (percentage > 0) {
        // Qt angles run counter-clockwise from three o'clock in 1/16 degrees.
        painter.setPen(Qt::NoPen);
        painter.setBrush(rgb(fillColor));
        if (percentage == 100)
            painter.drawEllipse(rect);
        else
            painter.drawPie(rect, 90 * 16, -percentage * 360 * 16 / 100);
    }
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(QColor(0x80, 0x80, 0x80), 1));
    painter.drawEllipse(rect);
    const QPoint c = rect.center();
    painter.drawLine(QPoint(c.x(), rect.top()), c);
    const double a = percentage / 100.0 * 2 * M_PI;
    painter.drawLine(c, c + QPoint(RoundHalfEven((rect.width() + 1) / 2.0 * std::sin(a)),
                                   -RoundHalfEven((rect.height() + 1) / 2.0 * std::cos(a))));
    painter.restore();
}

} // namespace grid

namespace grid {

void DrawResourceBitmapTransparent(QPainter& painter, TColor background, const QRect& rect, const QString& name)
{
    const QImage image(name.startsWith(QLatin1Char(':')) ? name : QStringLiteral(":/") + name);
    DrawBitmapTransparent(painter, image, background, rect);
}

void DrawErrorWave(const QWidget* owner, QPainter& painter, const QString& text, const QRect& rect, int offset,
                   int start, int length)
{
    if (start < 0)
        return;
    const QFontMetrics fm(owner ? owner->font() : painter.font());
    // A single-line edit puts its text one margin in from the left and centres the line.
    constexpr int kMargin = 2;
    const int lineTop = std::max(0, (rect.height() - fm.height()) / 2);
    auto charX = [&](int index) { return kMargin + fm.horizontalAdvance(text.left(index)); };
    const int y1 = lineTop;
    const int x1 = start >= text.size() ? charX(int(text.size())) + 4 : charX(start);
    const int last = start + std::max(0, length) - 1;
    int x2, y2 = lineTop;
    if (last >= text.size())
        x2 = charX(std::max(0, int(text.size()) - 1)) + 4;
    else
        x2 = charX(last);
    const int base = rect.top() + y2 + offset;
    painter.save();
    painter.setPen(QPen(QColor(255, 0, 0), 2));
    QPolygon wave;
    int x = rect.left() + x1;
    wave << QPoint(x, rect.top() + y1 + offset + 3);
    bool up = true;
    while (x <= rect.left() + x2) {
        x += 3;
        wave << QPoint(x, up ? base : base + 3);
        up = !up;
    }
    x += 3;
    wave << QPoint(x, up ? base : base + 3);
    painter.drawPolyline(wave);
    painter.restore();
}

QRect DropDownGlyphRect(const QRect& rect)
{
    return QRect(rect.right() + 1 - 16 - 2, rect.top() + 1, 16, rect.height() - 2);
}

void DrawDropDownGlyph(QPainter& painter, QWidget* window, const QRect& rect, bool themed)
{
    const QRect r = DropDownGlyphRect(rect);
    if (themed) {
        visualstyles::HTheme theme = visualstyles::OpenThemeData(window, QStringLiteral("combobox"));
        if (theme)
            visualstyles::DrawThemeBackground(theme, painter, visualstyles::CP_DROPDOWNBUTTON,
                                              visualstyles::CBXS_NORMAL, r);
        visualstyles::CloseThemeData(theme);
        return;
    }
    visualstyles::DrawClassicArrow(window, painter, visualstyles::SPNP_DOWN, false, true, r);
}

} // namespace grid
