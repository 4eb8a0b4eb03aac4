#include "mailing/htmlparser/LumHtmlParser.h"

#include "PrintQt.h"

#include <QBuffer>
#include <gtest/gtest.h>

namespace {

const char* KindName(TLumPieceKind k)
{
    static const char* names[] = {"none", "asp", "cdata", "comment", "custom", "dtd", "htmlpi", "tag",
                                  "php", "script", "ssi", "style", "text", "title", "xmlpi"};
    return names[k];
}

void ShowEverything(TLumHtmlParser& p)
{
    for (TLumPieceKind k : {pkASP, pkCDataSection, pkComment, pkDTD, pkHtmlPI, pkPHP, pkScript, pkStyle,
                            pkText, pkTitle, pkXmlPI})
        p.SetFilter(k, fiShow);
    for (TLumTagFilter* f : {&p.FilterHtmlTags(), &p.FilterCustomTags(), &p.FilterSsiTags()}) {
        f->SetStartTags(fiShow);
        f->SetEndTags(fiShow);
    }
}

// Every reported piece as "kind:data"; tags as "tag:<name>" or "tag:</name>".
QStringList Pieces(const QString& html, const std::function<void(TLumHtmlParser&)>& setup = {})
{
    TLumHtmlParser p;
    ShowEverything(p);
    if (setup)
        setup(p);
    p.SetSourceWideString(html);
    QStringList out;
    for (int guard = 0; guard < 100000; ++guard) {
        if (!p.ReadPiece()) {
            if (!p.HasChar())
                return out;
            continue;
        }
        const TLumTag* tag = p.PieceKind() == pkHtmlTag ? static_cast<const TLumTag*>(&p.HtmlTag())
            : p.PieceKind() == pkCustomTag             ? static_cast<const TLumTag*>(&p.CustomTag())
            : p.PieceKind() == pkSsiTag                ? static_cast<const TLumTag*>(&p.SsiTag())
                                                       : nullptr;
        if (tag)
            out << QString("%1:<%2%3>").arg(KindName(p.PieceKind()), tag->Form() == tfEnd ? "/" : "", tag->TagName());
        else
            out << QString("%1:%2").arg(KindName(p.PieceKind()), p.DataString());
    }
    ADD_FAILURE() << "parser does not end on: " << html.toStdString();
    return out;
}

QStringList TextPieces(const QString& html, bool normalize = false)
{
    TLumHtmlParser p;
    p.SetNormalizeWhiteSpace(normalize);
    p.SetSourceWideString(html);
    QStringList out;
    for (int guard = 0; guard < 100000; ++guard) {
        if (!p.ReadTextPiece(fiShow))
            return out;
        out << p.DataString();
    }
    ADD_FAILURE() << "parser does not end on: " << html.toStdString();
    return out;
}

} // namespace

TEST(LumHtmlParser, EveryPieceKind)
{
    const auto ssi = [](TLumHtmlParser& p) { p.SetEnableSSI(true); };
    const auto php = [](TLumHtmlParser& p) { p.SetEnablePHP(true); };
    const auto asp = [](TLumHtmlParser& p) { p.SetEnableASP(true); };
    const auto custom = [](TLumHtmlParser& p) { p.SetEnableCustomTags(true); };
    const struct {
        QString html;
        std::function<void(TLumHtmlParser&)> setup;
        QStringList expected;
    } cases[] = {
        {"<b>x</b>", {}, {"tag:<b>", "text:x", "tag:</b>"}},
        {"<!-- c - d --->", {}, {"comment: c - d "}},
        {"<!DOCTYPE html>", {}, {"dtd: html"}},
        {"<!doctype html>a", {}, {"dtd: html", "text:a"}},
        {"<?xml version=\"1.0\"?>", {}, {"xmlpi:xml version=\"1.0\""}},
        {"<?php echo 1 ?>", php, {"php: echo 1 "}},
        {"<?php echo 1 ?>", {}, {"htmlpi:php echo 1 ?"}},
        {"<?pi x>", {}, {"htmlpi:pi x"}},
        {"<% a %b %>", asp, {"asp: a %b "}},
        {"<% a %>", {}, {"text:<% a %>"}},
        {"<![CDATA[a<b]]]>", {}, {"cdata:a<b]"}},
        {"<!--#include file=\"x\" -->", ssi, {"ssi:<include>"}},
        {"<!--#include file=\"x\" -->", {}, {"comment:#include file=\"x\" "}},
        {"<#field>x<#/field>", custom, {"custom:<field>", "text:x", "custom:</field>"}},
        {"<#field>", {}, {"text:<#field>"}},
        {"<script>if (a<b) s='</script>'; // </script> x\n</script>", {},
         {"tag:<script>", "script:if (a<b) s='</script>'; // </script> x\n", "tag:</script>"}},
        {"<script></script >", {}, {"tag:<script>", "script:", "tag:</script>"}},
        {"<style>p{}</style>", {}, {"tag:<style>", "style:p{}", "tag:</style>"}},
        {"<TITLE> A \n &amp; B </Title>", {}, {"tag:<TITLE>", "title: A & B ", "tag:</Title>"}},
        {"<p>a</p >", {}, {"tag:<p>", "text:a", "tag:</p>"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Pieces(c.html, c.setup), c.expected) << c.html.toStdString();
}

TEST(LumHtmlParser, StyleScriptAndTitleNeverReachTheText)
{
    EXPECT_EQ(TextPieces("<style>p{}</style>Hallo"), QStringList{"Hallo"});
    EXPECT_EQ(TextPieces("<title>T</title><script>var a = '<b>';</script>x"), QStringList{"x"});
    EXPECT_EQ(TextPieces("<head><style type=\"text/css\">\nbody { font: 10pt }\n</style></head><body>Hi</body>"),
              (QStringList{"Hi"}));
}

TEST(LumHtmlParser, CharacterReferences)
{
    const QString smile(QChar(0x263A));
    const struct { QString html; QString expected; } cases[] = {
        {"x &amp; y", "x & y"},
        {"a&nbsp;b", QString("a") + QChar(0xA0) + "b"},
        {"&lt;b&gt;&quot;", "<b>\""},
        {"&NBSP; &foo; &amp", "&NBSP; &foo; &amp"},
        {" &#65; ", " A "},
        {"&#x263A;", smile},
        {"&#X41;&#0065;", "AA"},
        {"&#228;", QString(QChar(0xE4))},
        {"&#70000;", QString::fromUcs4(U"\U00011170")},
        {"&#x10FFFF;", QString::fromUcs4(U"\U0010FFFF")},
        {"&#1114112;", "&#1114112;"},
        {"&#99999999999;", "&#99999999999;"},
        {"&#;&#x;&#0;&#x0;", "&#;&#x;&#0;&#x0;"},
        {"&#xD800;&#57343;", QString(2, QChar(0xFFFD))},
        {"&#65 &#x41", "&#65 &#x41"},
        {"&", "&"},
        {"&#", "&#"},
        {"a&#65;&#66;", "aAB"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(TextPieces(c.html), QStringList{c.expected}) << c.html.toStdString();
}

TEST(LumHtmlParser, TextPieceBoundaries)
{
    const struct { QString html; QStringList expected; } cases[] = {
        {"a < b", {"a < b"}},
        {"a<b", {"a"}},
        {"abc<", {"abc<"}},
        {"<", {"<"}},
        {"a<3 b</ c", {"a<3 b</ c"}},
        {"a<!--c-->b<!DOCTYPE x>c<?pi?>d", {"a", "b", "c", "d"}},
        {"<p>x</p> \n <p>y</p>", {"x", " \n ", "y"}},
        {"a<br/>b<br />c", {"a", "b", "c"}},
        {"a<!x>b", {"a", "<!x>b"}},
        {"<script>a<b c<x</script>", {}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(TextPieces(c.html), c.expected) << c.html.toStdString();
    EXPECT_EQ(Pieces("a<b"), (QStringList{"text:a", "tag:<b>"}));
}

TEST(LumHtmlParser, EndOfInputStaysTheEnd)
{
    TLumHtmlParser p;
    p.SetSourceWideString("<p>x</p>");
    EXPECT_TRUE(p.ReadTextPiece(fiShow));
    EXPECT_EQ(p.DataString(), "x");
    for (int i = 0; i < 3; ++i)
        EXPECT_FALSE(p.ReadTextPiece(fiShow));
    EXPECT_FALSE(p.ReadPiece());
    EXPECT_EQ(p.FilterText(), fiHide) << "ReadTextPiece restores the text filter";
}

TEST(LumHtmlParser, WhiteSpaceNormalisationAndPre)
{
    EXPECT_EQ(TextPieces("a \n\t b", true), QStringList{"a b"});
    EXPECT_EQ(TextPieces("a&#32;&#9; b", true), QStringList{"a b"});
    EXPECT_EQ(TextPieces("a&#160; b", true), QStringList{QString("a") + QChar(0xA0) + " b"});
    EXPECT_EQ(TextPieces("<pre>a  b</pre> c  d", true), (QStringList{"a  b", " c d"}));
    EXPECT_EQ(TextPieces("</pre></pre>x  y", true), QStringList{"x y"}) << "the PRE count never goes below 0";
    EXPECT_EQ(TextPieces("a \n b", false), QStringList{"a \n b"});
}

TEST(LumHtmlParser, TagObjects)
{
    TLumHtmlParser p;
    ShowEverything(p);
    p.SetSourceWideString("<br/><br /></P><img src = \" a.png \" alt=x title='it&#39;s' checked data-x=&#65;b "
                          "q=\"&amp;\">\n<Title>");
    ASSERT_TRUE(p.ReadPiece());
    EXPECT_EQ(p.HtmlTag().TagName(), "br/");
    EXPECT_EQ(p.HtmlTag().Form(), tfStart);
    ASSERT_TRUE(p.ReadPiece());
    EXPECT_EQ(p.HtmlTag().TagName(), "br");
    EXPECT_EQ(p.HtmlTag().Form(), tfEmpty);
    ASSERT_TRUE(p.ReadPiece());
    EXPECT_EQ(p.HtmlTag().TagName(), "P");
    EXPECT_EQ(p.HtmlTag().Form(), tfEnd);
    ASSERT_TRUE(p.ReadPiece());
    const TLumHtmlTag& img = p.HtmlTag();
    ASSERT_EQ(img.Count(), 6);
    const QStringList names{"src", "alt", "title", "checked", "data-x", "q"};
    const QStringList values{"a.png", "x", "it's", "", "Ab", "&"};
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(img.Items(i).Name, names[i]);
        EXPECT_EQ(img.Items(i).Value, values[i]) << names[i].toStdString();
    }
    ASSERT_TRUE(p.ReadPiece()); // the line break
    EXPECT_EQ(p.PieceKind(), pkText);
    ASSERT_TRUE(p.ReadPiece());
    EXPECT_EQ(p.HtmlTag().TagId(), 99u);
    EXPECT_EQ(p.PieceStartLine(), 2);
    EXPECT_EQ(p.PieceStartColumn(), 1);

    TLumHtmlTag copy;
    copy.Assign(img);
    EXPECT_EQ(copy.Count(), 0) << "the tag object was refilled by the last piece";
}

TEST(LumHtmlParser, TagFilters)
{
    // start tags only
    EXPECT_EQ(Pieces("<b>x</b>", [](TLumHtmlParser& p) { p.FilterHtmlTags().SetEndTags(fiHide); }),
              (QStringList{"tag:<b>", "text:x"}));
    // a per-tag filter word takes the place of the kind's filter
    EXPECT_EQ(Pieces("<title>T</title><i>x</i>",
                     [](TLumHtmlParser& p) {
                         p.HtmlTagFilters().FindOrAdd(99) = fiHide | (fiHide << 8);
                         p.SetFilterTitles(fiHide);
                     }),
              (QStringList{"tag:<i>", "text:x", "tag:</i>"}));
    // assigning a tag filter copies both values and reaches the parser
    TLumTagFilter f;
    f.SetStartTags(fiHide);
    f.SetEndTags(fiShowLocal);
    EXPECT_EQ(Pieces("<b>x</b>", [&f](TLumHtmlParser& p) { p.SetFilterHtmlTags(f); }),
              (QStringList{"text:x", "tag:</b>"}));
    int changes = 0;
    f.OnChange = [&changes] { ++changes; };
    f.SetEndTags(fiShowLocal);
    f.SetStartTags(fiShow);
    EXPECT_EQ(changes, 1);

    TLumHtmlParser p;
    p.SetFilterComments(TLumFilter(0));
    EXPECT_EQ(p.FilterComments(), fiHide);
    // a start tag whose filter asks for no attributes is skipped over whole, quoted ">" included
    EXPECT_EQ(TextPieces("<a title=\"x>y\" href='>'>z"), QStringList{"z"});
}

TEST(LumHtmlParser, WriteAttributeValue)
{
    const struct { QString value; int mode; QString html, custom; bool bare; } cases[] = {
        {"abc", 1, "=abc", "=abc", true},
        {"a b", 1, "=\"a b\"", "=\"a b\"", false},
        {"a/b", 2, "=a/b", "=a/b", true},
        {"a>b", 2, "=\"a>b\"", "=\"a>b\"", false},
        {"'x", 2, "=\"'x\"", "=\"'x\"", false},
        {"", 1, "=\"\"", "=\"\"", false},
        {"say \"hi\"", 0, "='say \"hi\"'", "='say \"hi\"'", false},
        {"a\"b\"c'd & e", 0, "='a\"b\"c&apos;d &amp; e'", "='a\"b\"c&apos;d &amp; e'", false},
        {"a\"b'c'd", 0, "=\"a&quot;b'c'd\"", "=\"a&quot;b'c'd\"", false},
        {"x&{y} & z", 0, "=\"x&{y} &amp; z\"", "=\"x&amp;{y} &amp; z\"", false},
    };
    for (const auto& c : cases) {
        QString target = "<x a";
        qsizetype used = target.size();
        EXPECT_EQ(TLumHtmlTag().WriteAttributeValue(c.value, c.mode, target, used), c.bare);
        EXPECT_EQ(target.left(used), "<x a" + c.html) << c.value.toStdString();
        QString other;
        qsizetype otherUsed = 0;
        TLumCustomTag().WriteAttributeValue(c.value, c.mode, other, otherUsed);
        EXPECT_EQ(other.left(otherUsed), c.custom) << c.value.toStdString();
    }
}

TEST(LumHtmlParser, MalformedInputNeverHangs)
{
    QStringList inputs{
        "<a href=\"x", "<a href='x>y", "<!-- abc", "<!-- abc --", "<", "<<<", "<!", "<!-", "<![CDATA[",
        "<![CDATA[x]]", "<?", "<?xml", "<?xml ?", "&#", "&", "&#x", "&#12345678901234567890;", "<script>",
        "<script>'abc", "<script>/* x", "<script><!-- x", "<script>\"\\", "<title>", "<title>&", "<style>x</style",
        "<a b='", "</", "</a", "</a b='>'", "<!--#", "<!--#x a=\"", "<!--#x a=`\\", "<b/", "<b/x>", "<!DOCTYPE",
        "<%", "<% x %", "<#", "<#/", QString(2000, '<'), QString(1000, '&'), "<a" + QString(3000, ' ') + "b=c",
        QString::fromLatin1("<b\0>", 4), QString::fromLatin1("a\0b<\0", 5), "<!-" + QString(500, '-'), "</script" + QString(500, ' '),
    };
    QString nested;
    for (int i = 0; i < 500; ++i)
        nested += "<div><p title=\"";
    inputs << nested;
    for (const QString& in : inputs) {
        // ends with every kind shown and with every option on, and returns the text it saw
        Pieces(in, [](TLumHtmlParser& p) {
            p.SetEnableASP(true);
            p.SetEnablePHP(true);
            p.SetEnableSSI(true);
            p.SetEnableCustomTags(true);
            p.SetNormalizeWhiteSpace(true);
        });
        Pieces(in);
        TextPieces(in);
    }
    EXPECT_EQ(TextPieces("x<a href=\"y"), QStringList{"x"});
    EXPECT_EQ(TextPieces("<!-- never closed <p>text"), QStringList{});
    EXPECT_EQ(TextPieces("a <<b"), (QStringList{"a <"}));
}

TEST(LumHtmlParser, SsiAndCustomTagAttributes)
{
    TLumHtmlParser p;
    ShowEverything(p);
    p.SetEnableSSI(true);
    p.SetEnableCustomTags(true);
    p.SetSourceWideString("<!--#echo var=\" a\\\"b \" x=`c` y='&#65;' flag z=end--><!--#/if -->"
                          "<!--#set v=1 --->x<#field name=\"Firma\" />");
    ASSERT_TRUE(p.ReadPiece());
    const TLumSsiTag& ssi = p.SsiTag();
    EXPECT_EQ(ssi.TagName(), "echo");
    ASSERT_EQ(ssi.Count(), 5);
    const QStringList names{"var", "x", "y", "flag", "z"};
    const QStringList values{"a\"b", "c", "A", "", "end"};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(ssi.Items(i).Name, names[i]);
        EXPECT_EQ(ssi.Items(i).Value, values[i]) << names[i].toStdString();
    }
    ASSERT_TRUE(p.ReadPiece());
    EXPECT_EQ(p.SsiTag().TagName(), "if");
    EXPECT_EQ(p.SsiTag().Form(), tfEnd);
    ASSERT_TRUE(p.ReadPiece());
    EXPECT_EQ(p.SsiTag().TagName(), "set");
    EXPECT_EQ(p.SsiTag().Items(0).Value, "1");
    ASSERT_TRUE(p.ReadPiece());
    EXPECT_EQ(p.DataString(), "x");
    ASSERT_TRUE(p.ReadPiece());
    EXPECT_EQ(p.PieceKind(), pkCustomTag);
    EXPECT_EQ(p.CustomTag().TagName(), "field");
    EXPECT_EQ(p.CustomTag().Form(), tfEmpty);
    EXPECT_EQ(p.CustomTag().Items(0).Value, "Firma");
    EXPECT_FALSE(p.ReadPiece());
}

TEST(LumHtmlParser, TagStreamRoundTrip)
{
    TLumHtmlParser p;
    ShowEverything(p);
    p.SetSourceWideString("<pre class=\"code\" data-n=3 hidden/>");
    ASSERT_TRUE(p.ReadPiece());
    QByteArray bytes;
    {
        QBuffer out(&bytes);
        out.open(QIODevice::WriteOnly);
        TLumBinaryWriter w(&out, 16);
        p.HtmlTag().SaveToWriter(w, lfAll);
    }
    TLumHtmlTag back;
    QBuffer in(&bytes);
    in.open(QIODevice::ReadOnly);
    TLumBinaryReader r(&in, 16);
    back.LoadFromReader(r, lfAll);
    EXPECT_EQ(back.TagName(), "pre");
    EXPECT_EQ(back.TagId(), 77u);
    EXPECT_EQ(back.Form(), tfEmpty);
    ASSERT_EQ(back.Count(), 3);
    EXPECT_EQ(back.Items(1).Name, "data-n");
    EXPECT_EQ(back.Items(1).Value, "3");
    EXPECT_EQ(back.Items(2).Name, "hidden");

    TLumHtmlTag copy;
    copy.Assign(back);
    EXPECT_EQ(copy.TagName(), "pre");
    EXPECT_EQ(copy.Items(0).Value, "code");
    copy.Clear();
    EXPECT_EQ(copy.Count(), 0);
    EXPECT_EQ(copy.TagId(), 0u);
    EXPECT_TRUE(copy.TagName().isEmpty());
}
