#include "mailing/HtmlMailText.h"

#include "PrintQt.h"
#include "tests/common/TestUtil.h"

#include <QFile>
#include <gtest/gtest.h>

using namespace htmlmail;

namespace {

QByteArray Bytes(std::initializer_list<int> b)
{
    QByteArray a;
    for (int x : b)
        a.append(char(x));
    return a;
}

const QByteArray kPng = Bytes({0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 0, 0, 0, 13, 'I', 'H', 'D', 'R'});

void WriteFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

} // namespace

TEST(HtmlMailText, PlainTextOfTheEditorsDocument)
{
    const QString html = "<html><head><style>p { color: red; }\nbody { margin: 0 }</style><title>Titel</title>"
                         "<script>var x = 1;</script></head>\n<body>\n<p>Hallo&nbsp;Welt &amp; Co</p>\n"
                         "<img src=\"bild.png\"><img src=\"bild.png\"></body></html>";
    EXPECT_EQ(PlainTextLines(html), (QStringList{
        " - This mail is a HTML mail. Not all elements could be shown in plain text mode. -", "", "Hallo Welt & Co"}));
}

TEST(HtmlMailText, PlainTextPieces)
{
    const struct { QString html; QStringList lines; } cases[] = {
        {"<p>&#228;rger &#x41;B</p>", {QString::fromUtf8("ärger AB")}},
        {"<p>  eins\n  zwei </p><p>drei</p>", {"eins\n  zwei", "drei"}},
        {"<p>&nbsp;</p><p>x&NBSP;y</p>", {"", "x y"}},
        {"<p> </p>\n\n<div>\t</div>", {}},
        {"<p>Gr&uuml;&szlig;e &lt;an&gt; alle &#70000;</p>", {QString::fromUtf8("Grüße <an> alle \U00011170")}},
        {"<!-- Kommentar --><p>a</p><!DOCTYPE x>b", {"a", "b"}},
        {"Smileys: 😀 €", {QString::fromUtf8("Smileys: 😀 €")}},
    };
    for (const auto& c : cases) {
        QStringList lines = PlainTextLines(c.html);
        ASSERT_GE(lines.size(), 2);
        EXPECT_EQ(lines.takeFirst(), kPlainTextBanner);
        EXPECT_EQ(lines.takeFirst(), "");
        EXPECT_EQ(lines, c.lines) << c.html.toStdString();
    }
}

TEST(HtmlMailText, PictureTypeByFirstBytes)
{
    QByteArray bmp = Bytes({'B', 'M', 0x46, 0, 0, 0, 0, 0, 0, 0, 0x36, 0, 0, 0, 40, 0, 0, 0});
    const struct { QByteArray bytes; const char* type; } cases[] = {
        {kPng, "image/png"},
        {QByteArray("GIF87a\x01\x00"), "image/gif"},
        {QByteArray("GIF89a\x01\x00"), "image/gif"},
        {Bytes({0xFF, 0xD8, 0xFF, 0xE0, 0, 0x10, 'J', 'F', 'I', 'F'}), "image/jpeg"},
        {bmp, "image/bmp"},
        {QByteArray("RIFF\x10\x00\x00\x00WEBPVP8 ", 16), "image/webp"},
        {QByteArray("RIFF\x10\x00\x00\x00WAVEfmt ", 16), ""},
        {QByteArray("BM is a text file that starts like a bitmap"), ""},
        {QByteArray("GIF8"), ""},
        {Bytes({0x89, 'P', 'N', 'G'}), ""},
        {QByteArray("<html>"), ""},
        {QByteArray(), ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(PictureMimeType(c.bytes), QString(c.type)) << c.bytes.toHex().constData();
}

TEST(HtmlMailText, PictureScan)
{
    qlytest::TempDir dir;
    const QString png = dir.file("bild.png");
    const QString fake = dir.file("nicht-bild.png");
    WriteFile(png, kPng);
    WriteFile(fake, "#!/bin/sh\necho this is no picture\n");

    const QString html = QString("<body style=\"background-color: #fff\" background=\"%1\">"
                                 "<img src=\"%1\"><img src=\"http://example.de/a.png\"><img src=\"https://x/b.gif\">"
                                 "<img src=\"ftp://x/c.jpg\"><img src=\"data:image/png;base64,iVBORw0=\">"
                                 "<img src=\"HTTP://EXAMPLE.DE/D.PNG\"><img src=\"%2\"><img src=\"%3/fehlt.png\">"
                                 "<img alt=\"ohne\"><img src=\"%3\">")
                             .arg(png, fake, dir.path());
    const QList<HtmlPicture> pictures = ScanPictures({html});
    const struct { QString source; PictureKind kind; } expected[] = {
        {png, PictureKind::Local},
        {png, PictureKind::Local},
        {"http://example.de/a.png", PictureKind::Remote},
        {"https://x/b.gif", PictureKind::Remote},
        {"ftp://x/c.jpg", PictureKind::Remote},
        {"data:image/png;base64,iVBORw0=", PictureKind::Remote},
        {"HTTP://EXAMPLE.DE/D.PNG", PictureKind::Missing},
        {fake, PictureKind::Missing},
        {dir.path() + "/fehlt.png", PictureKind::Missing},
        {"", PictureKind::Missing},
        {dir.path(), PictureKind::Missing},
    };
    ASSERT_EQ(pictures.size(), int(std::size(expected)));
    for (int i = 0; i < pictures.size(); ++i) {
        EXPECT_EQ(pictures[i].Source, expected[i].source) << i;
        EXPECT_EQ(pictures[i].Kind, expected[i].kind) << i;
    }
    EXPECT_EQ(pictures[0].MimeType, "image/png");
}

TEST(HtmlMailText, OnlyExactSourceValuesBecomeContentIds)
{
    const QString html = "<body background='a.png'><img src=\"a.png\"><img SRC=a.png alt=\"a.png\">"
                         "<img src=\"xa.png\"><img src=\"A.png\"><img data-src=\"a.png\">"
                         "<a href=\"a.png\">a.png</a><p style=\"background: url(a.png)\">"
                         "<img src=\"b/a.png\"><img src=\"b/a.png\">";
    const QString out = ReplacePictureSources(html, {{"a.png", "123"}, {"b/a.png", "-7"}});
    EXPECT_EQ(out, "<body background='cid:123'><img src=\"cid:123\"><img SRC=cid:123 alt=\"a.png\">"
                   "<img src=\"xa.png\"><img src=\"A.png\"><img data-src=\"a.png\">"
                   "<a href=\"a.png\">a.png</a><p style=\"background: url(a.png)\">"
                   "<img src=\"cid:-7\"><img src=\"cid:-7\">");
    EXPECT_EQ(ReplacePictureSources(html, {}), html);
    EXPECT_EQ(ReplacePictureSources("a > b <img src=\"x\"", {{"x", "1"}}), "a > b <img src=\"x\"");
}
