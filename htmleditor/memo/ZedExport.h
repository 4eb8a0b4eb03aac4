#pragma once
// The colours of the scanner's pieces as the memo paints them, and the two export forms of a
// memo's text: HTML spans and RTF (through a small RTF writer).
#include "htmleditor/memo/ZedScanner.h"
#include "htmleditor/memo/ZedStyler.h"

#include <QString>
#include <QStringList>

class TZedMemoModel;

// The colours and font style of a piece of text.
struct TZedSpanStyle {
    TColor Fg = gfx::clBlack;
    TColor Bg = gfx::clWhite;
    TFontStyles Style = 0;
    bool operator==(const TZedSpanStyle& o) const { return Fg == o.Fg && Bg == o.Bg && Style == o.Style; }
};

// The style of a piece: the memo font colour and background for plain text, the styler's
// comment, number and element styles, the URL style; a background clNone is the memo's.
TZedSpanStyle PieceStyle(const TZedPiece& piece, const TZedCustomMemoStyler* styler, const TCharStyle& urlStyle,
                         TColor fontColor, TColor bkColor);

// "#" and red, green, blue as two hexadecimal digits each.
QString HtmlColor(TColor color);
// Text escaped for HTML ("&", "<", ">", and '"' when quote is set).
QString HtmlEscape(QStringView text, bool quote = false);

// The HTML export state: the output lines and the last opening tag.
class TZedHtmlSpans {
public:
    QStringList Lines;
    // Appends a piece of text with its style; a URL piece becomes a link.
    void Span(QStringView text, const TZedSpanStyle& style, bool url);
    // Closes the last tag when one was written.
    void Finish();

private:
    TZedSpanStyle m_lastStyle;
    bool m_hasTag = false;
};

// A writer of RTF text: font and colour tables, and the body with its control words.
class TRtfWriter {
public:
    // "\f" and the font's number; an unknown name (compared ignoring case) is added first.
    QString FontRef(const QString& name);
    // The colour's number in the colour table, from 1 (0 is the automatic colour); an unknown
    // colour is added.
    int ColorNumber(TColor color);
    void TextColor(TColor color);
    // "\highlight0" for clNone.
    void Highlight(TColor color);
    void Bold(bool on);
    void Italic(bool on);
    void Underline(bool on);
    // CR as "\par ", LF dropped, braces and backslashes escaped, characters above 127 as "\uN?".
    void Text(QStringView text);
    void Hyperlink(const QString& url, const QString& text, const QString& fontName, int pointSize, TColor color);
    void FontSize(int pointSize);
    // Selects a font (its reference as a control word).
    void Font(const QString& name) { Control(FontRef(name)); }

    const QString& Body() const { return m_out; }
    // The whole document: header, font table, colour table (automatic colour first), body.
    QString Document() const;

    // The styles written last (the export writes only changes).
    bool BoldOn = false, ItalicOn = false, UnderlineOn = false;
    TColor CurrentColor = gfx::clNone, CurrentHighlight = gfx::clNone;

private:
    void Control(const QString& word);
    QStringList m_fonts;
    std::vector<TColor> m_colors;
    QString m_out;
    bool m_afterControl = false;
};

// Settings of a printout; the print modes read PrintLineNumbers.
class TPrintOptions {
public:
    QString JobName;
    QString Title;
    int MarginLeft = 0;
    int MarginRight = 0;
    int MarginTop = 0;
    int MarginBottom = 0;
    bool PageNr = false;
    QString PagePrefix;
    bool PrintLineNumbers = false;
    void Assign(const TPrintOptions& other) { *this = other; }
};

// The memo's text as HTML spans (one output line per text line) and as an RTF document.
struct TZedExportLook {
    QString FontName = QStringLiteral("Courier New");
    int FontSize = 10;
    TColor FontColor = gfx::clBlack;
    TColor BkColor = gfx::clWhite;
};
QStringList ExportHtmlLines(const TZedMemoModel& memo, const TZedExportLook& look);
QString ExportRtfDocument(const TZedMemoModel& memo, const TZedExportLook& look);
