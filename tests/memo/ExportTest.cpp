// HTML spans and RTF of the memo's text; the RTF is read back by AbiWord.
#include "htmleditor/memo/ZedExport.h"
#include "htmleditor/memo/ZedMemoModel.h"
#include "tests/memo/MemoTestUtil.h"

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

TEST(HtmlExport, ColoursEscapesAndJoinedSpans)
{
    EXPECT_EQ(HtmlColor(0xFF0000), QStringLiteral("#0000FF"));
    EXPECT_EQ(HtmlColor(0x00FF80), QStringLiteral("#80FF00"));

    TZedHtmlSpans html;
    html.Lines << QString();
    const TZedSpanStyle plain{gfx::clBlack, gfx::clWhite, 0};
    const TZedSpanStyle bold{0x0000FF, gfx::clWhite, fsBold | fsItalic | fsUnderline};
    html.Span(QStringLiteral("a &amp; "), plain, false);
    html.Span(QStringLiteral("<b>"), plain, false);  // equal tags: one FONT
    html.Span(QStringLiteral("key"), bold, false);
    html.Span(QStringLiteral("http://x?a=\"1\""), plain, true);
    html.Finish();
    const QString tagPlain = QStringLiteral("<FONT style=\"background-color: #FFFFFF;color:#000000;\">");
    EXPECT_EQ(html.Lines, QStringList{
        tagPlain + QStringLiteral("a &amp;amp; &lt;b&gt;</FONT>")
        + QStringLiteral("<FONT style=\"background-color: #FFFFFF;color:#FF0000;font-weight:bold;font-style:italic;"
                         "text-decoration:underline;\">key</FONT>")
        + tagPlain + QStringLiteral("<a href=\"http://x?a=&quot;1&quot;\">http://x?a=\"1\"</a></FONT>")});

    TZedMemoModel m;
    TZedWebMemoStyler styler;
    m.SetSyntaxStyles(&styler);
    m.SetLines({QStringLiteral("see http://x"), QString()});
    const QStringList lines = ExportHtmlLines(m, TZedExportLook{});
    ASSERT_EQ(lines.size(), 2);
    EXPECT_TRUE(lines[0].contains(QStringLiteral("<a href=\"http://x\">http://x</a>"))) << lines[0].toStdString();
    // An empty line adds nothing; the one open tag is closed at the end of the export.
    EXPECT_FALSE(lines[0].endsWith(QStringLiteral("</FONT>")));
    EXPECT_EQ(lines[1], QStringLiteral("</FONT>"));
}

TEST(RtfWriter, TextControlWordsAndHyperlink)
{
    TRtfWriter w;
    w.Text(QStringLiteral("a{b}\\c\r\n"));
    EXPECT_EQ(w.Body(), QStringLiteral("a\\{b\\}\\\\c\\par "));

    TRtfWriter c;
    c.Bold(true);
    c.Text(QStringLiteral("x"));
    c.Bold(false);
    c.Text(QStringLiteral("Grüße €"));
    EXPECT_EQ(c.Body(), QStringLiteral("\\b x\\b0 Gr\\u252?\\u223?e \\u8364?"));
    c.Highlight(gfx::clNone);
    c.TextColor(0x0000FF);
    c.TextColor(0x0000FF);
    EXPECT_TRUE(c.Body().endsWith(QStringLiteral("\\highlight0\\cf1\\cf1")));

    TRtfWriter h;
    h.TextColor(0x00FF00);  // colour 1
    h.Hyperlink(QStringLiteral("http://x"), QStringLiteral("http://x"), QStringLiteral("Courier New"), 10, 0xFF0000);
    EXPECT_EQ(h.Body(), QStringLiteral("\\cf1{\\field{\\*\\fldinst {\\rtlch \\af0\\afs20\\ltrch \\f0\\fs20  HYPERLINK "
                                       "\"http://x\" }}{\\fldrslt {\\rtlch \\af0\\afs20 \\ltrch \\f0\\fs20\\ul\\cf2 "
                                       "http://x}}}"));
    EXPECT_EQ(h.Document(), QStringLiteral("{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 Courier New;}}{\\colortbl;"
                                           "\\red0\\green255\\blue0;\\red0\\green0\\blue255;}")
                                + h.Body() + QStringLiteral("}"));
}

TEST(RtfExport, AbiWordReadsTheTextAndTheColours)
{
    const QString abiword = QStandardPaths::findExecutable(QStringLiteral("abiword"));
    if (abiword.isEmpty())
        GTEST_SKIP() << "abiword is not installed (scripts/setup installs it)";
    TZedMemoModel m;
    TZedWebMemoStyler styler;
    m.SetSyntaxStyles(&styler);
    m.SetLines({QStringLiteral("Grüße € alert"), QStringLiteral("<!-- note --> {x}")});
    const QString rtf = ExportRtfDocument(m, TZedExportLook{});

    QTemporaryDir dir;
    const QString in = dir.filePath(QStringLiteral("memo.rtf"));
    QFile f(in);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(rtf.toLatin1());  // RTF is 7-bit: every other character is escaped
    f.close();
    auto convert = [&](const QString& to) {
        QProcess p;
        p.setWorkingDirectory(dir.path());
        p.start(abiword, {QStringLiteral("--to=") + to, in});
        EXPECT_TRUE(p.waitForFinished(60000));
        QFile out(dir.filePath(QStringLiteral("memo.") + to));
        EXPECT_TRUE(out.open(QIODevice::ReadOnly)) << to.toStdString();
        return QString::fromUtf8(out.readAll());
    };
    const QString text = convert(QStringLiteral("txt"));
    EXPECT_TRUE(text.contains(QStringLiteral("Grüße € alert"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("<!-- note --> {x}"))) << text.toStdString();
    const QString html = convert(QStringLiteral("html")).toLower();
    // "alert" is a function keyword (green, bold); the comment is silver.
    EXPECT_TRUE(html.contains(QStringLiteral("#008000"))) << html.toStdString();
    EXPECT_TRUE(html.contains(QStringLiteral("#c0c0c0"))) << html.toStdString();
}
