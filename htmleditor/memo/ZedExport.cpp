#include "htmleditor/memo/ZedExport.h"

#include "htmleditor/memo/ZedMemoModel.h"

TZedSpanStyle PieceStyle(const TZedPiece& piece, const TZedCustomMemoStyler* styler, const TCharStyle& urlStyle,
                         TColor fontColor, TColor bkColor)
{
    auto bgOf = [bkColor](TColor bg) { return bg == gfx::clNone ? bkColor : bg; };
    switch (piece.Kind) {
    case pkPlain:
        break;
    case pkComment:
        if (styler)
            return {styler->CommentStyle.TextColor, bgOf(styler->CommentStyle.BkColor), styler->CommentStyle.Style};
        break;
    case pkNumber:
        if (styler)
            return {styler->NumberStyle.TextColor, bgOf(styler->NumberStyle.BkColor), styler->NumberStyle.Style};
        break;
    case pkUrl:
        return {urlStyle.TextColor, bgOf(urlStyle.BkColor), urlStyle.Style};
    case pkString:
    case pkKeyword:
    case pkSymbol:
        if (styler && piece.Style >= 0 && piece.Style < styler->AllStyles.Count()) {
            const TElementStyle* st = styler->AllStyles[piece.Style];
            return {st->Font.Color, bgOf(st->BGColor), st->Font.Style};
        }
        break;
    }
    return {fontColor, bkColor, 0};
}

QString HtmlColor(TColor color)
{
    static const char digits[] = "0123456789ABCDEF";
    const QRgb rgb = gfx::ToQColor(color).rgb();
    const int parts[3] = {qRed(rgb), qGreen(rgb), qBlue(rgb)};
    QString out(7, QLatin1Char('#'));
    for (int i = 0; i < 3; ++i) {
        out[1 + 2 * i] = QLatin1Char(digits[parts[i] >> 4]);
        out[2 + 2 * i] = QLatin1Char(digits[parts[i] & 15]);
    }
    return out;
}

QString HtmlEscape(QStringView text, bool quote)
{
    QString out;
    out.reserve(text.size());
    for (QChar c : text) {
        switch (c.unicode()) {
        case '&': out += QLatin1String("&amp;"); break;
        case '<': out += QLatin1String("&lt;"); break;
        case '>': out += QLatin1String("&gt;"); break;
        case '"':
            if (quote) {
                out += QLatin1String("&quot;");
                break;
            }
            [[fallthrough]];
        default: out += c;
        }
    }
    return out;
}

// ---------------------------------------------------------------------------------------------
// HTML spans

void TZedHtmlSpans::Span(QStringView text, const TZedSpanStyle& style, bool url)
{
    if (Lines.isEmpty())
        return;
    QString body = HtmlEscape(text);
    if (url)
        body = QStringLiteral("<a href=\"") + HtmlEscape(text, true) + QStringLiteral("\">") + body
               + QStringLiteral("</a>");
    QString& last = Lines.last();
    if (m_hasTag && style == m_lastStyle) {
        last += body;
        return;
    }
    QString css;
    if (style.Style & fsBold)
        css += QLatin1String("font-weight:bold;");
    if (style.Style & fsItalic)
        css += QLatin1String("font-style:italic;");
    if (style.Style & fsUnderline)
        css += QLatin1String("text-decoration:underline;");
    const QString tag = QStringLiteral("<FONT style=\"background-color: ") + HtmlColor(style.Bg)
                        + QStringLiteral(";color:") + HtmlColor(style.Fg) + QLatin1Char(';') + css
                        + QStringLiteral("\">");
    if (m_hasTag)
        last += QLatin1String("</FONT>");
    last += tag + body;
    m_lastStyle = style;
    m_hasTag = true;
}

void TZedHtmlSpans::Finish()
{
    if (m_hasTag && !Lines.isEmpty())
        Lines.last() += QLatin1String("</FONT>");
    m_hasTag = false;
}

// ---------------------------------------------------------------------------------------------
// RTF writer

void TRtfWriter::Control(const QString& word)
{
    m_out += word;
    m_afterControl = true;
}

QString TRtfWriter::FontRef(const QString& name)
{
    int i = 0;
    for (; i < m_fonts.size(); ++i)
        if (m_fonts[i].compare(name, Qt::CaseInsensitive) == 0)
            break;
    if (i == m_fonts.size())
        m_fonts << name;
    return QStringLiteral("\\f%1").arg(i);
}

int TRtfWriter::ColorNumber(TColor color)
{
    const TColor rgb = gfx::ToQColor(color).rgb() & 0xFFFFFF;
    for (size_t i = 0; i < m_colors.size(); ++i)
        if (m_colors[i] == rgb)
            return int(i) + 1;
    m_colors.push_back(rgb);
    return int(m_colors.size());
}

void TRtfWriter::TextColor(TColor color)
{
    CurrentColor = color;
    Control(QLatin1String("\\cf") + QString::number(color == gfx::clNone ? 0 : ColorNumber(color)));
}

void TRtfWriter::Highlight(TColor color)
{
    CurrentHighlight = color;
    Control(QLatin1String("\\highlight") + QString::number(color == gfx::clNone ? 0 : ColorNumber(color)));
}

void TRtfWriter::Bold(bool on)
{
    BoldOn = on;
    Control(on ? QStringLiteral("\\b") : QStringLiteral("\\b0"));
}

void TRtfWriter::Italic(bool on)
{
    ItalicOn = on;
    Control(on ? QStringLiteral("\\i") : QStringLiteral("\\i0"));
}

void TRtfWriter::Underline(bool on)
{
    UnderlineOn = on;
    Control(on ? QStringLiteral("\\ul") : QStringLiteral("\\ulnone"));
}

void TRtfWriter::FontSize(int pointSize)
{
    Control(QStringLiteral("\\fs%1").arg(pointSize * 2));
}

void TRtfWriter::Text(QStringView text)
{
    if (text.isEmpty())
        return;
    if (m_afterControl)
        m_out += QLatin1Char(' ');
    m_afterControl = false;
    const bool plain = std::all_of(text.begin(), text.end(), [](QChar c) {
        const char16_t u = c.unicode();
        return u >= 0x20 && u < 128 && u != '{' && u != '}' && u != '\\';
    });
    if (plain) {
        m_out += text;
        return;
    }
    for (QChar c : text) {
        switch (c.unicode()) {
        case '\r': m_out += QLatin1String("\\par "); break;
        case '\n': break;
        case '{': m_out += QLatin1String("\\{"); break;
        case '}': m_out += QLatin1String("\\}"); break;
        case '\\': m_out += QLatin1String("\\\\"); break;
        default:
            if (c.unicode() > 127)
                m_out += QStringLiteral("\\u%1?").arg(int(qint16(c.unicode())));
            else
                m_out += c;
        }
    }
    m_afterControl = false;
}

void TRtfWriter::Hyperlink(const QString& url, const QString& text, const QString& fontName, int pointSize,
                           TColor color)
{
    const QString f = FontRef(fontName).mid(2);
    const QString s = QString::number(pointSize * 2);
    const QString c = QString::number(ColorNumber(color));
    m_out += QStringLiteral("{\\field{\\*\\fldinst {\\rtlch \\af") + f + QStringLiteral("\\afs") + s
             + QStringLiteral("\\ltrch \\f") + f + QStringLiteral("\\fs") + s + QStringLiteral("  HYPERLINK \"") + url
             + QStringLiteral("\" }}{\\fldrslt {\\rtlch \\af") + f + QStringLiteral("\\afs") + s
             + QStringLiteral(" \\ltrch \\f") + f + QStringLiteral("\\fs") + s + QStringLiteral("\\ul\\cf") + c
             + QLatin1Char(' ');
    m_afterControl = false;
    Text(text);
    m_out += QLatin1String("}}}");
    m_afterControl = false;
}

QString TRtfWriter::Document() const
{
    QString doc = QStringLiteral("{\\rtf1\\ansi\\deff0{\\fonttbl");
    for (int i = 0; i < m_fonts.size(); ++i)
        doc += QStringLiteral("{\\f%1 %2;}").arg(i).arg(m_fonts[i]);
    doc += QStringLiteral("}{\\colortbl;");
    for (TColor c : m_colors)
        doc += QStringLiteral("\\red%1\\green%2\\blue%3;").arg(qRed(c)).arg(qGreen(c)).arg(qBlue(c));
    doc += QLatin1Char('}') + m_out + QLatin1Char('}');
    return doc;
}

// ---------------------------------------------------------------------------------------------
// export of a memo's text

namespace {

// Calls back with every piece of every line, in order, with its style; lineDone after each line.
template <typename PieceFn, typename LineFn>
void ForEachPiece(const TZedMemoModel& memo, const TZedExportLook& look, PieceFn piece, LineFn lineDone)
{
    const TZedScanner scanner(memo);
    const TZedCustomMemoStyler* styler = memo.UseStyler() ? memo.SyntaxStyles() : nullptr;
    LineStartState state;
    std::vector<TZedPiece> pieces;
    for (const QString& line : memo.Lines().Strings()) {
        pieces.clear();
        scanner.ScanLine(line, state, &pieces);
        for (const TZedPiece& p : pieces)
            piece(QStringView(line).mid(p.Start, p.Length), PieceStyle(p, styler, memo.UrlStyle, look.FontColor, look.BkColor),
                  p.Kind == pkUrl);
        lineDone();
    }
}

}  // namespace

QStringList ExportHtmlLines(const TZedMemoModel& memo, const TZedExportLook& look)
{
    TZedHtmlSpans html;
    html.Lines << QString();
    ForEachPiece(
        memo, look, [&](QStringView text, const TZedSpanStyle& st, bool url) { html.Span(text, st, url); },
        [&] { html.Lines << QString(); });
    html.Lines.removeLast();
    html.Finish();
    return html.Lines;
}

QString ExportRtfDocument(const TZedMemoModel& memo, const TZedExportLook& look)
{
    TRtfWriter rtf;
    rtf.Font(look.FontName);
    rtf.FontSize(look.FontSize);
    ForEachPiece(
        memo, look,
        [&](QStringView text, const TZedSpanStyle& st, bool url) {
            if (url) {
                const TColor saved = rtf.CurrentHighlight;
                if (memo.UrlStyle.BkColor != gfx::clNone)
                    rtf.Highlight(memo.UrlStyle.BkColor);
                rtf.Hyperlink(text.toString(), text.toString(), look.FontName, look.FontSize, memo.UrlStyle.TextColor);
                if (memo.UrlStyle.BkColor != gfx::clNone)
                    rtf.Highlight(saved);
                return;
            }
            rtf.Highlight(st.Bg);
            rtf.TextColor(st.Fg);
            if (bool(st.Style & fsBold) != rtf.BoldOn)
                rtf.Bold(st.Style & fsBold);
            if (bool(st.Style & fsItalic) != rtf.ItalicOn)
                rtf.Italic(st.Style & fsItalic);
            if (bool(st.Style & fsUnderline) != rtf.UnderlineOn)
                rtf.Underline(st.Style & fsUnderline);
            rtf.Text(text);
        },
        [&] { rtf.Text(QStringLiteral("\r")); });
    return rtf.Document();
}
