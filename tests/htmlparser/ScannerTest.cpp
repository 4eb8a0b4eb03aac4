#include "mailing/HtmlScanner.h"

#include "PrintQt.h"

#include <gtest/gtest.h>

namespace {

TParsed Scan(const QStringList& lines)
{
    THTMLParser s;
    s.SetHTML(lines);
    s.Parse();
    return s.Parsed();
}

} // namespace

TEST(HtmlScanner, Images)
{
    const struct { QStringList lines; QStringList images; } cases[] = {
        {{"<img src=\"a.png\">"}, {"a.png"}},
        {{"<img src=a.png>"}, {"a.png"}},
        {{"<img src=a.png alt=x>"}, {"a.png"}},
        {{"<img alt=\"x\">"}, {""}},
        {{"<img>"}, {""}},
        {{"<img\tsrc=\"t.png\">"}, {"t.png"}},
        {{"<img\r\nsrc=\"n.png\">"}, {"n.png"}},
        {{"<IMG SRC='q.png'>"}, {"q.png"}},
        {{"<img src = \"sp ace.png\" />"}, {"sp ace.png"}},
        {{"<img src=x.png/>"}, {"x.png/"}},
        {{"<img data-src=\"d.png\" src=\"s.png\">"}, {"s.png"}},
        {{"<img alt=\"src=no.png\" src=\"yes.png\">"}, {"yes.png"}},
        {{"<body background=\"bg.jpg\">"}, {"bg.jpg"}},
        {{"<body background=bg.jpg>"}, {"bg.jpg"}},
        {{"<td background='c.gif' width=3>"}, {"c.gif"}},
        {{"<body style=\"background-color: red\">"}, {}},
        {{"<td style=\"background: url(x.png)\"><img style=\"background:x\" src=\"y.png\">"}, {"y.png"}},
        {{"<div background=\"no.png\"><img src=\"a.png\"><img src=\"a.png\">"}, {"a.png", "a.png"}},
        {{"<img sr", "c=\"j.png\">"}, {"j.png"}},
        {{"<p>", "", "<img src=\"1.png\"><br/><img src=\"2.png\">"}, {"1.png", "2.png"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Scan(c.lines).Images, c.images) << c.lines.join("|").toStdString();
}

TEST(HtmlScanner, LinkLists)
{
    const TParsed p = Scan({"<a href=\"mailto:info@example.de\">m</a>"
                            "<a href=\"http://example.de/page.html\">h</a>"
                            "<a href=\"https://example.de/doc.pdf\">s</a>"
                            "<a href=\"ftp://files.example.de/pub/x.zip\">f</a>"
                            "<a href=\"local/page.htm\">l</a>"
                            "<a href=pics/photo.JPG>p</a>"
                            "<a href=\"http://example.de/x.php?a=1.2\">q</a>"
                            "<a name=\"anchor\">"});
    EXPECT_EQ(p.EMails, QStringList{"info@example.de"});
    EXPECT_EQ(p.HTTPlinks, (QStringList{"http://example.de/page.html", "http://example.de/x.php?a=1.2"}));
    EXPECT_EQ(p.FTPlinks, QStringList{"ftp://files.example.de/pub/x.zip"});
    EXPECT_EQ(p.Locallinks, (QStringList{"local/page.htm", "pics/photo.JPG", ""}));
    EXPECT_EQ(p.Hyperlinks.size(), 8);
    EXPECT_EQ(p.HTML.Remote, QStringList{"http://example.de/page.html"});
    EXPECT_EQ(p.HTML.Local, QStringList{"local/page.htm"});
    EXPECT_EQ(p.Image.Local, QStringList{"pics/photo.JPG"});
    EXPECT_EQ(p.PHP.Remote, QStringList{"http://example.de/x.php?a=1.2"});

    // an https link is neither an HTTP link nor a local one: it is handed to OnFoundHyperlink
    THTMLParser s;
    QStringList found;
    s.OnFoundHyperlink = [&found](THTMLParser*, const QString& link) { found << link; };
    s.SetHTML({"<a href=\"https://example.de/a.js\">x</a>"});
    s.Parse();
    EXPECT_EQ(found, QStringList{"https://example.de/a.js"});
    EXPECT_TRUE(s.Parsed().HTTPlinks.isEmpty());
    EXPECT_EQ(s.Parsed().Java.Local, QStringList{"https://example.de/a.js"});
}

TEST(HtmlScanner, TitleMetaAndEvents)
{
    for (const QString& open : {QString("<title>"), QString("<title lang=de>"), QString("<TITLE\tlang=\"de\">")}) {
        const TParsed p = Scan({open + "T</title><img src=\"a.png\">"});
        EXPECT_EQ(p.Title, "T") << open.toStdString();
        EXPECT_EQ(p.Images, QStringList{"a.png"}) << open.toStdString();
    }
    const TParsed meta = Scan({"<meta name=\"keyword\" content=\"a, b\"><meta name=Description content='Hallo'>"
                               "<frame src=\"f.html\">"});
    EXPECT_EQ(meta.Keyword, "a, b");
    EXPECT_EQ(meta.Description, "Hallo");
    EXPECT_EQ(meta.FramePages, QStringList{"f.html"});

    THTMLParser s;
    QStringList texts, tags, comments;
    int calls = 0;
    s.OnFoundText = [&texts](THTMLParser*, const QString& t) { texts << t; };
    s.OnFoundTag = [&tags](THTMLParser*, const QString& t) { tags << t; };
    s.OnFoundComment = [&comments](THTMLParser*, const QString& t) { comments << t; };
    s.OnParsing = [&calls](THTMLParser*, int line, int total) {
        ++calls;
        EXPECT_LE(line, total);
    };
    s.SetHTML({"a<b>c<!-- hi -->d", "e"});
    s.Parse();
    EXPECT_EQ(texts, (QStringList{"a", "c"})) << "text after the last tag is not reported";
    EXPECT_EQ(tags, QStringList{"b>"});
    EXPECT_EQ(comments, QStringList{"hi "});
    EXPECT_EQ(calls, 18);

    // a rescan empties the lists but keeps the title
    s.SetHTML({"<title>X</title><img src=1.png>"});
    s.Parse();
    s.SetHTML({"<img src=2.png>"});
    s.Parse();
    EXPECT_EQ(s.Parsed().Images, QStringList{"2.png"});
    EXPECT_EQ(s.Parsed().Title, "X");
}

TEST(HtmlScanner, AttributeValue)
{
    const struct { QString tag, name, value; bool found; } cases[] = {
        {"img src=\"a b.png\">", "src", "a b.png", true},
        {"img src='a\">b.png'>", "src", "a\">b.png", true},
        {"img src=\"open>", "src", "open", true},
        {"img SRC = x.png >", "src", "x.png", true},
        {"img srcset=\"x 2x\">", "src", "", false},
        {"img alt=\"see src=1\">", "src", "", false},
        {"img checked src>", "src", "", true},
        {"img>", "img", "", false},
    };
    for (const auto& c : cases) {
        bool found = !c.found;
        EXPECT_EQ(THTMLParser::AttributeValue(c.tag, c.name, &found), c.value) << c.tag.toStdString();
        EXPECT_EQ(found, c.found) << c.tag.toStdString();
    }
    EXPECT_EQ(THTMLParser::TagName("/title>"), "/TITLE");
    EXPECT_EQ(THTMLParser::TagName("br/>"), "BR");
    EXPECT_EQ(THTMLParser::TagName("!-- x -->"), "!--");
}
