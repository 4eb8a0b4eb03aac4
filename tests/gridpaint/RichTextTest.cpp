// The RTF reader and writer of grid cells, also against AbiWord as the peer that reads and writes
// RTF of its own.
#include "grid/ZodUvuz.h"
#include "grid/richtext/RichText.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFragment>

using grid::richtext::ReadRtf;
using grid::richtext::WriteRtf;

namespace {

const char* const AbiWord = "/usr/bin/abiword";

// Converts a file with AbiWord (`--to=rtf` / `--to=txt`); empty on failure.
QByteArray abiwordConvert(const QTemporaryDir& dir, const QString& inName, const QByteArray& in, const char* to)
{
    const QString inPath = dir.filePath(inName);
    const QString outPath = dir.filePath(QStringLiteral("out.") + QLatin1String(to));
    QFile f(inPath);
    if (!f.open(QIODevice::WriteOnly))
        return {};
    f.write(in);
    f.close();
    QProcess p;
    p.setProcessEnvironment(QProcessEnvironment::systemEnvironment());
    p.start(QString::fromLatin1(AbiWord), {QStringLiteral("--to=") + QLatin1String(to),
                                           QStringLiteral("--to-name=") + outPath, inPath});
    if (!p.waitForFinished(60000) || p.exitCode() != 0)
        return {};
    QFile o(outPath);
    return o.open(QIODevice::ReadOnly) ? o.readAll() : QByteArray();
}

// The fragment of the document that holds `text`.
QTextCharFormat formatOf(const QTextDocument& doc, const QString& text)
{
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next())
        for (auto it = b.begin(); !it.atEnd(); ++it)
            if (it.fragment().text().contains(text))
                return it.fragment().charFormat();
    ADD_FAILURE() << "no fragment holds " << text.toStdString();
    return {};
}

QString plain(const QByteArray& rtf)
{
    QTextDocument doc;
    ReadRtf(rtf, doc);
    return doc.toRawText().replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
}

} // namespace

TEST(RichTextPeer, AbiWordRtfLoadsWithTextAndFormats)
{
    if (!QFile::exists(QString::fromLatin1(AbiWord)))
        GTEST_SKIP() << "abiword is not installed (scripts/packages.txt)";
    QTemporaryDir dir;
    const QByteArray html =
        "<html><head><meta charset=\"utf-8\"></head><body>"
        "<p><b>Fett</b> und <i>kursiv</i> <span style=\"color:#ff0000\">rot</span></p>"
        "<p>Gr\xc3\xbc\xc3\x9f" "e f\xc3\xbcr 5 \xe2\x82\xac</p></body></html>";
    const QByteArray rtf = abiwordConvert(dir, QStringLiteral("in.html"), html, "rtf");
    ASSERT_TRUE(rtf.startsWith("{\\rtf")) << rtf.left(200).toStdString();

    QTextDocument doc;
    ReadRtf(rtf, doc);
    ASSERT_GE(doc.blockCount(), 2);
    EXPECT_EQ(doc.begin().text(), QStringLiteral("Fett und kursiv rot"));
    EXPECT_EQ(doc.begin().next().text(), QString::fromUtf8("Grüße für 5 €"));
    EXPECT_EQ(formatOf(doc, QStringLiteral("Fett")).fontWeight(), QFont::Bold);
    EXPECT_FALSE(formatOf(doc, QStringLiteral(" und ")).fontWeight() == QFont::Bold);
    EXPECT_TRUE(formatOf(doc, QStringLiteral("kursiv")).fontItalic());
    EXPECT_EQ(formatOf(doc, QStringLiteral("rot")).foreground().color(), QColor(255, 0, 0));
    EXPECT_NE(formatOf(doc, QStringLiteral("kursiv")).foreground().color(), QColor(255, 0, 0));
    // Its colour table starts with black: that is no background of the text.
    EXPECT_FALSE(formatOf(doc, QStringLiteral("kursiv")).hasProperty(QTextFormat::BackgroundBrush));

    // In a grid cell the bold run paints darker than the same RTF without bold.
    grid::TZedEzeravIvur g;
    g.SetColWidths(1, 240);
    g.SetRowHeights(1, 60);
    g.SetRowHeights(2, 60);
    g.resize(400, 200);
    QByteArray plainRtf = rtf;
    plainRtf.replace("\\b\\lang", "\\lang");
    ASSERT_NE(plainRtf, rtf);
    g.SetCells(1, 1, QString::fromLatin1(rtf));
    g.SetCells(1, 2, QString::fromLatin1(plainRtf));
    g.SetRow(3);
    const QImage img = g.PaintToImage();
    auto darkInFirstWord = [&](int row) {
        const QRect r = g.CellRect(1, row);
        int n = 0;
        for (int y = r.top(); y < r.top() + 20; ++y) // the first line
            for (int x = r.left(); x < r.left() + 32; ++x) // its first word
                n += qGray(img.pixel(x, y)) < 100;
        return n;
    };
    EXPECT_GT(darkInFirstWord(1), darkInFirstWord(2) * 5 / 4);
}

TEST(RichTextPeer, AbiWordReadsOurRtfAsTheSameText)
{
    if (!QFile::exists(QString::fromLatin1(AbiWord)))
        GTEST_SKIP() << "abiword is not installed (scripts/packages.txt)";
    QTextDocument doc;
    QTextCursor c(&doc);
    QTextCharFormat bold;
    bold.setFontWeight(QFont::Bold);
    c.insertText(QStringLiteral("Fett"), bold);
    QTextCharFormat red;
    red.setForeground(QColor(200, 0, 0));
    red.setFontItalic(true);
    // 1252 characters, one beyond it and one beyond the 16-bit range, braces and a backslash.
    c.insertText(QString::fromUtf8(" Grüße € Ω 😀 {x} a\\b"), red);
    QTextBlockFormat centred;
    centred.setAlignment(Qt::AlignHCenter);
    c.insertBlock(centred);
    c.insertText(QStringLiteral("zwei\tdrei"));

    QTemporaryDir dir;
    const QByteArray txt = abiwordConvert(dir, QStringLiteral("in.rtf"), WriteRtf(doc), "txt");
    EXPECT_EQ(QString::fromUtf8(txt).trimmed(), QString::fromUtf8("Fett Grüße € Ω 😀 {x} a\\b\nzwei\tdrei"));
}

TEST(RichText, ReaderCases)
{
    struct Case {
        const char* rtf;
        const char* text; // UTF-8
    } cases[] = {
        // Not RTF: plain text, UTF-8 or Windows-1252.
        {"plain \xc3\xa4", "plain ä"},
        {"plain \xe4", "plain ä"},
        {"{\\rtf1 a\\par b}", "a\nb"},
        // \uN with its fallback characters, \uc changing their number, surrogates.
        {"{\\rtf1\\uc1 x\\u8364?y}", "x€y"},
        {"{\\rtf1\\uc2 x\\u8364\\'80\\'80y}", "x€y"},
        {"{\\rtf1\\uc0 x\\u8364 y}", "x€y"},
        {"{\\rtf1 \\u-10179?\\u-8704?}", "😀"},
        {"{\\rtf1\\uc1 {\\u937}?}", "Ω?"}, // a group ends the fallback
        // Code pages: the document's and a font's charset.
        {"{\\rtf1\\ansi\\ansicpg1252 \\'80\\'e4}", "€ä"},
        {"{\\rtf1\\ansi\\ansicpg1251 \\'c4\\'e0}", "Да"},
        {"{\\rtf1{\\fonttbl{\\f1\\fcharset204 Arial;}}\\f1 \\'c4\\'e0}", "Да"},
        {"{\\rtf1{\\fonttbl{\\f1\\fcharset128 MS Gothic;}}\\f1 \\'82\\'a0}", "あ"},
        // Escapes, tabs, line breaks, special characters.
        {"{\\rtf1 \\{a\\}\\\\ b\\tab c\\line d}", "{a}\\ b\tc\u2028d"},
        {"{\\rtf1 a\\~b\\emdash c}", "a\u00a0b—c"},
        // Destinations: skipped, also unknown ones behind \*; \bin data whatever it holds.
        {"{\\rtf1{\\info{\\title T}}{\\*\\unknown x}{\\stylesheet{\\s0 Normal;}}a}", "a"},
        {"{\\rtf1 a\\bin3 {}\\}", "a"},
        {"{\\rtf1 a\\bin99999 xyz}", "a"},
        {"{\\rtf1 {\\field{\\*\\fldinst HYPERLINK x}{\\fldrslt link}}}", "link"},
        // Tables: cells become tabs, rows paragraphs.
        {"{\\rtf1\\trowd a\\cell b\\cell\\row c\\cell d\\cell\\row}", "a\tb\nc\td\n"},
        // Broken input: unclosed groups, a lone backslash, text after the document.
        {"{\\rtf1 {\\b a", "a"},
        {"{\\rtf1 a\\", "a"},
        {"{\\rtf1 a} b", "a"},
        {"{\\rtf1 a\\'4", "a"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(plain(QByteArray(c.rtf)), QString::fromUtf8(c.text)) << c.rtf;
}

TEST(RichText, ReaderFormats)
{
    QTextDocument doc;
    ReadRtf("{\\rtf1{\\fonttbl{\\f0 Arial;}{\\f1 Courier New;}}{\\colortbl;\\red255\\green0\\blue0;\\red0\\green0\\blue255;}"
            "\\pard\\qc\\li300\\ri150\\fi-150\\sb60\\sa120 "
            "{\\b\\i\\ul\\strike\\f1\\fs30\\cf1\\highlight2 A}B\\super C\\nosupersub\\sub D\\plain E\\par"
            "\\pard\\qr R\\par\\pard\\qj J}",
            doc);
    const QTextCharFormat a = formatOf(doc, QStringLiteral("A"));
    EXPECT_EQ(a.fontWeight(), QFont::Bold);
    EXPECT_TRUE(a.fontItalic() && a.fontUnderline() && a.fontStrikeOut());
    EXPECT_EQ(a.fontFamilies().toStringList().value(0), QStringLiteral("Courier New"));
    EXPECT_EQ(a.fontPointSize(), 15.0);
    EXPECT_EQ(a.foreground().color(), QColor(255, 0, 0));
    EXPECT_EQ(a.background().color(), QColor(0, 0, 255));
    // The group's formats end with it; \plain resets what is left.
    const QTextCharFormat b = formatOf(doc, QStringLiteral("B"));
    EXPECT_NE(b.fontWeight(), QFont::Bold);
    EXPECT_EQ(b.fontFamilies().toStringList().value(0), QStringLiteral("Arial"));
    EXPECT_EQ(b.fontPointSize(), 12.0);
    EXPECT_FALSE(b.hasProperty(QTextFormat::ForegroundBrush));
    EXPECT_FALSE(b.hasProperty(QTextFormat::BackgroundBrush));
    EXPECT_EQ(formatOf(doc, QStringLiteral("C")).verticalAlignment(), QTextCharFormat::AlignSuperScript);
    EXPECT_EQ(formatOf(doc, QStringLiteral("D")).verticalAlignment(), QTextCharFormat::AlignSubScript);
    EXPECT_EQ(formatOf(doc, QStringLiteral("E")).verticalAlignment(), QTextCharFormat::AlignNormal);

    const QTextBlockFormat p = doc.begin().blockFormat();
    EXPECT_EQ(p.alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
    EXPECT_EQ(p.leftMargin(), 20.0);   // twips / 15 at 96 dpi
    EXPECT_EQ(p.rightMargin(), 10.0);
    EXPECT_EQ(p.textIndent(), -10.0);
    EXPECT_EQ(p.topMargin(), 4.0);
    EXPECT_EQ(p.bottomMargin(), 8.0);
    EXPECT_EQ(doc.begin().next().blockFormat().alignment() & Qt::AlignHorizontal_Mask, Qt::AlignRight);
    EXPECT_EQ(doc.lastBlock().blockFormat().alignment() & Qt::AlignHorizontal_Mask, Qt::AlignJustify);
}

TEST(RichText, WriterRoundTripKeepsTextAndFormats)
{
    QTextDocument doc;
    QTextCursor c(&doc);
    QTextCharFormat f;
    f.setFontWeight(QFont::Bold);
    f.setFontItalic(true);
    f.setFontUnderline(true);
    f.setFontPointSize(9);
    f.setFontFamilies({QStringLiteral("DejaVu Serif")});
    f.setForeground(QColor(0x12, 0x34, 0x56));
    f.setBackground(QColor(0xFE, 0xDC, 0xBA));
    c.insertText(QString::fromUtf8("Ω{}\\ä€"), f);
    QTextCharFormat sup;
    sup.setVerticalAlignment(QTextCharFormat::AlignSuperScript);
    c.insertText(QStringLiteral("2"), sup);
    QTextBlockFormat bf;
    bf.setAlignment(Qt::AlignRight);
    bf.setLeftMargin(20);
    bf.setTextIndent(-6);
    bf.setBottomMargin(4);
    c.insertBlock(bf);
    c.insertText(QString(QChar(0x2028)) + QStringLiteral("x\ty"));

    const QByteArray rtf = WriteRtf(doc);
    EXPECT_TRUE(rtf.startsWith("{\\rtf1\\ansi\\ansicpg1252"));
    for (char ch : rtf)
        EXPECT_LT(uchar(ch), 0x80) << "the writer emits 7-bit RTF";
    QTextDocument back;
    ReadRtf(rtf, back);
    EXPECT_EQ(back.toRawText(), doc.toRawText());
    const QTextCharFormat g = formatOf(back, QStringLiteral("Ω"));
    EXPECT_EQ(g.fontWeight(), QFont::Bold);
    EXPECT_TRUE(g.fontItalic() && g.fontUnderline());
    EXPECT_EQ(g.fontPointSize(), 9.0);
    EXPECT_EQ(g.fontFamilies().toStringList().value(0), QStringLiteral("DejaVu Serif"));
    EXPECT_EQ(g.foreground().color(), QColor(0x12, 0x34, 0x56));
    EXPECT_EQ(g.background().color(), QColor(0xFE, 0xDC, 0xBA));
    EXPECT_EQ(formatOf(back, QStringLiteral("2")).verticalAlignment(), QTextCharFormat::AlignSuperScript);
    const QTextBlockFormat p = back.lastBlock().blockFormat();
    EXPECT_EQ(p.alignment() & Qt::AlignHorizontal_Mask, Qt::AlignRight);
    EXPECT_EQ(p.leftMargin(), 20.0);
    EXPECT_EQ(p.textIndent(), -6.0);
    EXPECT_EQ(p.bottomMargin(), 4.0);
}
