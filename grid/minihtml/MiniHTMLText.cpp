// The string and colour helpers of mini-HTML: one pass over the text each.
#include "grid/minihtml/MiniHTML.h"

#include <QHash>
#include <array>
#include <climits>
#include <vector>

namespace minihtml {

namespace {

bool isBlank(QChar c) { return c == QLatin1Char(' ') || c == QLatin1Char('\t'); }

// The index of the ">" closing a tag that starts at `lt`; -1 when the text has none.
qsizetype tagEnd(QStringView text, qsizetype lt) { return text.indexOf(QLatin1Char('>'), lt + 1); }

bool isTag(QStringView tag, QLatin1StringView name) { return tag.compare(name, Qt::CaseInsensitive) == 0; }

struct Entity {
    QLatin1StringView name;   // without "&" and ";"
    char16_t ch;
    bool anyCase;
};
constexpr std::array<Entity, 12> kEntities = {{
    {QLatin1StringView("amp"), u'&', true},      {QLatin1StringView("quot"), u'"', true},
    {QLatin1StringView("sect"), u'\u00A7', true}, {QLatin1StringView("permil"), u'\u2030', true},
    {QLatin1StringView("reg"), u'\u00AE', true},  {QLatin1StringView("copy"), u'\u00A9', true},
    {QLatin1StringView("para"), u'\u00B6', true}, {QLatin1StringView("trade"), u'\u2122', true},
    {QLatin1StringView("euro"), u'\u20AC', true}, {QLatin1StringView("nbsp"), u' ', false},
    {QLatin1StringView("lt"), u'<', false},       {QLatin1StringView("gt"), u'>', false},
}};
constexpr std::array<Entity, 4> kBasicEntities = {{
    {QLatin1StringView("lt"), u'<', false}, {QLatin1StringView("gt"), u'>', false},
    {QLatin1StringView("amp"), u'&', false}, {QLatin1StringView("quot"), u'"', false},
}};

template <size_t N>
QString decodeWith(QStringView text, const std::array<Entity, N>& table)
{
    const qsizetype first = text.indexOf(QLatin1Char('&'));
    if (first < 0)
        return text.toString();
    QString out;
    out.reserve(text.size());
    out.append(text.left(first));
    qsizetype i = first;
    while (i < text.size()) {
        const QChar c = text[i];
        if (c != QLatin1Char('&')) {
            out.append(c);
            ++i;
            continue;
        }
        bool done = false;
        for (const Entity& e : table) {
            const qsizetype len = e.name.size();
            if (i + 1 + len < text.size() && text[i + 1 + len] == QLatin1Char(';')
                && text.mid(i + 1, len).compare(e.name, e.anyCase ? Qt::CaseInsensitive : Qt::CaseSensitive) == 0) {
                out.append(QChar(e.ch));
                i += len + 2;
                done = true;
                break;
            }
        }
        if (!done) {
            out.append(c);
            ++i;
        }
    }
    return out;
}

QString stripTags(const QString& text, bool breaks)
{
    QString out;
    out.reserve(text.size());
    qsizetype i = 0;
    while (i < text.size()) {
        const qsizetype lt = text.indexOf(QLatin1Char('<'), i);
        if (lt < 0) {
            out.append(QStringView(text).mid(i));
            break;
        }
        out.append(QStringView(text).mid(i, lt - i));
        const qsizetype gt = tagEnd(text, lt);
        if (gt < 0) {
            out.append(QStringView(text).mid(lt));
            break;
        }
        const QStringView tag = QStringView(text).mid(lt, gt - lt + 1);
        if (breaks && (isTag(tag, QLatin1StringView("<BR>")) || isTag(tag, QLatin1StringView("<HR>"))))
            out.append(QLatin1String("\r\n"));
        i = gt + 1;
    }
    return out;
}

// For k = 1 .. visible count + 1: the 1-based position VisiblePosToTagPos gives for k.
std::vector<int> visibleToTagged(const QString& text)
{
    std::vector<int> map(1, 0);
    qsizetype runStart = -1;
    qsizetype i = 0;
    bool plainRest = false;
    while (i < text.size()) {
        const QChar c = text[i];
        if (c == QLatin1Char('<') && !plainRest) {
            const qsizetype gt = tagEnd(text, i);
            if (gt >= 0) {
                if (runStart < 0)
                    runStart = i;
                i = gt + 1;
                continue;
            }
            plainRest = true;   // an unterminated "<" is text, like everything after it
        }
        map.push_back(int((runStart >= 0 ? runStart : i) + 1));
        runStart = -1;
        ++i;
    }
    map.push_back(int((runStart >= 0 ? runStart : text.size()) + 1));
    return map;
}

// The quoted (or blank-delimited) value after "name=" outside quoted values, raw.
QStringView rawAttribute(QStringView attrs, QStringView name, bool* found)
{
    if (found)
        *found = false;
    bool inQuote = false;
    const qsizetype n = attrs.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = attrs[i];
        if (c == QLatin1Char('"')) {
            inQuote = !inQuote;
            continue;
        }
        if (inQuote)
            continue;
        if (i > 0 && (attrs[i - 1].isLetterOrNumber() || attrs[i - 1] == QLatin1Char('_')))
            continue;
        if (i + name.size() > n || attrs.mid(i, name.size()).compare(name, Qt::CaseInsensitive) != 0)
            continue;
        qsizetype j = i + name.size();
        while (j < n && isBlank(attrs[j]))
            ++j;
        if (j >= n || attrs[j] != QLatin1Char('='))
            continue;
        ++j;
        while (j < n && isBlank(attrs[j]))
            ++j;
        if (found)
            *found = true;
        if (j < n && attrs[j] == QLatin1Char('"')) {
            const qsizetype close = attrs.indexOf(QLatin1Char('"'), j + 1);
            return close < 0 ? attrs.mid(j + 1) : attrs.mid(j + 1, close - j - 1);
        }
        qsizetype k = j;
        while (k < n && !isBlank(attrs[k]) && attrs[k] != QLatin1Char('>'))
            ++k;
        return attrs.mid(j, k - j);
    }
    return {};
}

struct ControlTag {
    qsizetype start = 0;   // of "<"
    qsizetype end = 0;     // one past ">"
    QString type, id, value, width, prop;
    bool hasProp = false;
};

// Every "<CONTROL " tag of the text in order.
template <class F>
void forEachControl(const QString& text, F&& visit)
{
    const QLatin1StringView marker("<CONTROL ");
    qsizetype from = 0;
    while (true) {
        const qsizetype at = text.indexOf(marker, from, Qt::CaseInsensitive);
        if (at < 0)
            return;
        const qsizetype gt = tagEnd(text, at);
        const qsizetype end = gt < 0 ? text.size() : gt + 1;
        ControlTag t;
        t.start = at;
        t.end = end;
        const QString attrs = text.mid(at + 8, (gt < 0 ? text.size() : gt) - at - 8);
        ParseControlTag(attrs, t.type, t.id, t.value, t.width, t.prop);
        rawAttribute(attrs, u"PROP", &t.hasProp);
        if (!visit(t))
            return;
        from = end;
    }
}

} // namespace

QString DecodeEntities(QStringView text) { return decodeWith(text, kEntities); }

QString DecodeBasicEntities(const QString& text) { return decodeWith(QStringView(text), kBasicEntities); }

QString EncodeBasicEntities(const QString& text)
{
    QString out;
    out.reserve(text.size() + text.size() / 8);
    for (const QChar c : text) {
        switch (c.unicode()) {
        case u'&': out.append(QLatin1String("&amp;")); break;
        case u'"': out.append(QLatin1String("&quot;")); break;
        case u'<': out.append(QLatin1String("&lt;")); break;
        case u'>': out.append(QLatin1String("&gt;")); break;
        default: out.append(c);
        }
    }
    return out;
}

QString TagAttribute(QStringView tag, QStringView name, bool* found)
{
    return DecodeEntities(rawAttribute(tag, name, found));
}

QString MiniHTMLToText(const QString& text) { return stripTags(text, true); }

QString StripMiniHTMLTags(const QString& text) { return stripTags(text, false); }

int VisiblePosToTagPos(const QString& text, int n)
{
    if (n < 1)
        return 0;
    const std::vector<int> map = visibleToTagged(text);
    return n < int(map.size()) ? map[size_t(n)] : 0;
}

int FindTextAfter(const QString& what, const QString& where, int offset, bool caseSensitive)
{
    if (what.isEmpty() || offset < 0 || offset >= where.size())
        return 0;
    const qsizetype at = where.indexOf(what, offset, caseSensitive ? Qt::CaseSensitive : Qt::CaseInsensitive);
    return at < 0 ? 0 : int(at + 1);
}

QString HighlightMiniHTML(const QString& text, const QString& what, const QString& tag, bool caseSensitive)
{
    if (what.isEmpty())
        return text;
    const QString visible = StripMiniHTMLTags(text);
    std::vector<int> map;
    std::vector<std::pair<int, bool>> inserts;   // (1-based position, opening)
    int offset = 0;
    while (true) {
        const int p = FindTextAfter(what, visible, offset, caseSensitive);
        if (p == 0)
            break;
        if (map.empty())
            map = visibleToTagged(text);
        const int after = p + int(what.size());
        inserts.emplace_back(map[size_t(p)], true);
        inserts.emplace_back(after < int(map.size()) - 1 ? map[size_t(after)] : int(text.size()) + 1, false);
        offset = after;
    }
    if (inserts.empty())
        return text;
    const QString open = QLatin1Char('<') + tag + QLatin1Char('>');
    const QString close = QLatin1String("</") + tag + QLatin1Char('>');
    QString out;
    out.reserve(text.size() + qsizetype(inserts.size()) * (tag.size() + 3));
    qsizetype copied = 0;
    for (const auto& [pos, opening] : inserts) {
        out.append(QStringView(text).mid(copied, pos - 1 - copied));
        copied = pos - 1;
        out.append(opening ? open : close);
    }
    out.append(QStringView(text).mid(copied));
    return out;
}

QString UnhighlightMiniHTML(const QString& text, const QString& tag)
{
    QString out = text;
    out.replace(QLatin1Char('<') + tag + QLatin1Char('>'), QString(), Qt::CaseInsensitive);
    out.replace(QLatin1String("</") + tag + QLatin1Char('>'), QString(), Qt::CaseInsensitive);
    return out;
}

void ParseControlTag(const QString& attributes, QString& type, QString& id, QString& value, QString& width,
                     QString& prop)
{
    const QStringView a(attributes);
    type = rawAttribute(a, u"TYPE", nullptr).toString().toUpper();
    id = rawAttribute(a, u"ID", nullptr).toString();
    value = DecodeBasicEntities(rawAttribute(a, u"VALUE", nullptr).toString());
    width = rawAttribute(a, u"WIDTH", nullptr).toString();
    prop = rawAttribute(a, u"PROP", nullptr).toString();
}

bool HasControlTag(const QString& text) { return text.contains(QLatin1String("<CONTROL"), Qt::CaseInsensitive); }

QString NextEditControlID(const QString& text, const QString& id)
{
    bool passed = id.isEmpty();
    QString result;
    forEachControl(text, [&](const ControlTag& t) {
        if (!passed) {
            passed = t.id == id;
            return true;
        }
        if (t.type != QLatin1String("BUTTON") && t.type != QLatin1String("CHECK") && t.type != QLatin1String("RADIO")) {
            result = t.id;
            return false;
        }
        return true;
    });
    return result;
}

QString GetControlProp(const QString& text, const QString& id)
{
    QString result;
    forEachControl(text, [&](const ControlTag& t) {
        if (t.id != id)
            return true;
        result = t.prop;
        return false;
    });
    return result;
}

bool SetControlValue(QString& text, const QString& id, const QString& value)
{
    bool replaced = false;
    forEachControl(text, [&](const ControlTag& t) {
        if (t.id != id)
            return true;
        QString tag = QStringLiteral("<CONTROL ID=\"%1\" VALUE=\"%2\" WIDTH=\"%3\" TYPE=\"%4\"")
                          .arg(id, EncodeBasicEntities(value), t.width, t.type);
        if (t.hasProp)
            tag += QStringLiteral(" PROP=\"%1\"").arg(t.prop);
        tag += QLatin1Char('>');
        text.replace(t.start, t.end - t.start, tag);
        replaced = true;
        return false;
    });
    return replaced;
}

QString PasswordText(const QString& text) { return QString(text.size(), QLatin1Char('*')); }

QString UnwrapFieldMarks(const QString& text)
{
    if (!text.contains(QLatin1String("<#")))
        return text;
    QString out;
    out.reserve(text.size());
    int pendingClose = 0;   // ">" still to drop, one per removed "<#"
    for (const QChar c : text) {
        if (c == QLatin1Char('#')) {
            // "<#" (also one formed when an inner "<#" went): the "<" goes, and later the first ">".
            while (out.endsWith(QLatin1Char('<'))) {
                out.chop(1);
                ++pendingClose;
            }
        } else if (c == QLatin1Char('>') && pendingClose > 0) {
            --pendingClose;
            continue;
        }
        out.append(c);
    }
    return out;
}

QString LineBreaksToBR(const QString& text, bool convertCR)
{
    if (!text.contains(QLatin1Char('\r')) && !text.contains(QLatin1Char('\n')))
        return text;
    QString out;
    out.reserve(text.size() + 16);
    for (const QChar c : text) {
        if (c == QLatin1Char('\n'))
            continue;
        if (c == QLatin1Char('\r')) {
            if (convertCR)
                out.append(QLatin1String("<BR>"));
            continue;
        }
        out.append(c);
    }
    return out;
}

bool ReplaceFirstNoCase(const QString& what, const QString& by, QString& text)
{
    const qsizetype at = what.isEmpty() ? -1 : text.indexOf(what, 0, Qt::CaseInsensitive);
    if (at < 0)
        return false;
    text.replace(at, what.size(), by);
    return true;
}

int PosNoCase(const QString& what, const QString& text)
{
    return what.isEmpty() ? 0 : int(text.indexOf(what, 0, Qt::CaseInsensitive) + 1);
}

int PosUpper(const QString& what, const QString& text)
{
    return what.isEmpty() ? 0 : int(text.toUpper().indexOf(what) + 1);
}

int PosVar(const QString& what, const QString& text, int& position)
{
    position = what.isEmpty() ? 0 : int(text.indexOf(what) + 1);
    return position;
}

int TextToIntLoose(QStringView text)
{
    qsizetype i = 0;
    while (i < text.size() && isBlank(text[i]))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == QLatin1Char('-') || text[i] == QLatin1Char('+'))) {
        negative = text[i] == QLatin1Char('-');
        ++i;
    }
    long long v = 0;
    for (; i < text.size() && text[i] >= QLatin1Char('0') && text[i] <= QLatin1Char('9'); ++i)
        v = std::min<long long>(v * 10 + (text[i].unicode() - u'0'), INT_MAX);
    return int(negative ? -v : v);
}

// ------------------------------------------------------------------ colours

int HexPairValue(QStringView pair)
{
    if (pair.size() < 2)
        return 0;
    auto digit = [](QChar c) {
        const char16_t u = c.toUpper().unicode();
        if (u >= u'0' && u <= u'9')
            return int(u - u'0');
        if (u >= u'A' && u <= u'F')
            return int(u - u'A' + 10);
        return 0;
    };
    return digit(pair[0]) * 16 + digit(pair[1]);
}

TColor HexToColor(const QString& value)
{
    const QStringView v(value);
    const int r = HexPairValue(v.mid(1, 2));
    const int g = HexPairValue(v.mid(3, 2));
    const int b = HexPairValue(v.mid(5, 2));
    return gfx::RGBColor(r, g, b);
}

TColor ColorNameToColor(const QString& name)
{
    static const QHash<QString, TColor> table = {
        {QStringLiteral("clred"), 0x0000FF}, {QStringLiteral("clblack"), 0x000000},
        {QStringLiteral("clblue"), 0xFF0000}, {QStringLiteral("clgreen"), 0x008000},
        {QStringLiteral("claqua"), 0xFFFF00}, {QStringLiteral("clyellow"), 0x00FFFF},
        {QStringLiteral("clfuchsia"), 0xFF00FF}, {QStringLiteral("clwhite"), 0xFFFFFF},
        {QStringLiteral("cllime"), 0x00FF00}, {QStringLiteral("clsilver"), 0xC0C0C0},
        {QStringLiteral("clgray"), 0x808080}, {QStringLiteral("clolive"), 0x008080},
        {QStringLiteral("clnavy"), 0x800000}, {QStringLiteral("clpurple"), 0x800080},
        {QStringLiteral("clteal"), 0x808000}, {QStringLiteral("clmaroon"), 0x000080},
        {QStringLiteral("clbackground"), gfx::SystemColor(1)}, {QStringLiteral("clactivecaption"), gfx::SystemColor(2)},
        {QStringLiteral("clinactivecaption"), gfx::SystemColor(3)}, {QStringLiteral("clmenu"), gfx::SystemColor(4)},
        {QStringLiteral("clwindow"), gfx::SystemColor(5)}, {QStringLiteral("clwindowframe"), gfx::SystemColor(6)},
        {QStringLiteral("clmenutext"), gfx::SystemColor(7)}, {QStringLiteral("clwindowtext"), gfx::SystemColor(8)},
        {QStringLiteral("clcaptiontext"), gfx::SystemColor(9)}, {QStringLiteral("clactiveborder"), gfx::SystemColor(10)},
        {QStringLiteral("clinactiveborder"), gfx::SystemColor(11)}, {QStringLiteral("clappworkspace"), gfx::SystemColor(12)},
        {QStringLiteral("clhighlight"), gfx::SystemColor(13)}, {QStringLiteral("clhighlighttext"), gfx::SystemColor(14)},
        {QStringLiteral("clbtnface"), gfx::SystemColor(15)}, {QStringLiteral("clbtnshadow"), gfx::SystemColor(16)},
        {QStringLiteral("clgraytext"), gfx::SystemColor(17)}, {QStringLiteral("clbtntext"), gfx::SystemColor(18)},
        {QStringLiteral("clinactivecaptiontext"), gfx::SystemColor(19)}, {QStringLiteral("clbtnhighlight"), gfx::SystemColor(20)},
        {QStringLiteral("cl3ddkshadow"), gfx::SystemColor(21)}, {QStringLiteral("cl3dlight"), gfx::SystemColor(22)},
        {QStringLiteral("clinfotext"), gfx::SystemColor(23)}, {QStringLiteral("clinfobk"), gfx::SystemColor(24)},
    };
    return table.value(name.toLower(), 0);
}

} // namespace minihtml
