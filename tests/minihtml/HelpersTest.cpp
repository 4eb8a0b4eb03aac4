// The string and colour helpers of mini-HTML.
#include "grid/minihtml/MiniHTML.h"

#include <gtest/gtest.h>

using namespace minihtml;

namespace {
QString q(const char* s) { return QString::fromUtf8(s); }

// The attributes of the first CONTROL tag of a text.
QString firstControlAttributes(const QString& text)
{
    const qsizetype at = text.indexOf(QLatin1String("<CONTROL"), 0, Qt::CaseInsensitive);
    const qsizetype gt = text.indexOf(QLatin1Char('>'), at);
    return text.mid(at + 8, gt - at - 8);
}
} // namespace

TEST(MiniHTMLHelpers, HighlightAndUnhighlight)
{
    struct Row { const char* text; const char* what; bool cs; const char* expected; };
    const Row rows[] = {
        {"aa", "a", true, "<HI>a</HI>a"},
        {"aaa", "a", true, "<HI>a</HI>a<HI>a</HI>"},
        {"abc", "", true, "abc"},                         // an empty search text changes nothing
        {"abc", "x", true, "abc"},
        {"xA", "a", false, "x<HI>A</HI>"},
        {"xA", "a", true, "xA"},
        // Both tags go before the tags standing right in front of the visible characters.
        {"a<B>bc</B>d", "bc", true, "a<HI><B>bc</HI></B>d"},
        {"ab<B>c</B>", "c", true, "ab<HI><B>c</B></HI>"},  // a match at the end closes at the end
    };
    for (const Row& r : rows)
        EXPECT_EQ(HighlightMiniHTML(q(r.text), q(r.what), "HI", r.cs), q(r.expected)) << r.text << " / " << r.what;
    EXPECT_EQ(UnhighlightMiniHTML("<HI>a</HI>a<HI>a</HI>", "hi"), "aaa");
    EXPECT_EQ(UnhighlightMiniHTML("<hi>a</Hi><B>b</B>", "HI"), "a<B>b</B>");
}

TEST(MiniHTMLHelpers, VisiblePosToTagPos)
{
    struct Row { const char* text; int n; int expected; };
    const Row rows[] = {
        {"ab<B>c", 3, 3}, {"ab<B>c", 1, 1}, {"ab<B>c", 4, 7}, {"ab<B>c</B>", 4, 7},
        {"<I><B>x", 1, 1}, {"ab", 0, 0}, {"ab", 5, 0}, {"a<b", 2, 2}, {"", 1, 1},
    };
    for (const Row& r : rows)
        EXPECT_EQ(VisiblePosToTagPos(q(r.text), r.n), r.expected) << r.text << " " << r.n;
}

TEST(MiniHTMLHelpers, TextAndStripping)
{
    EXPECT_EQ(MiniHTMLToText("a<BR>b"), "a\r\nb");
    EXPECT_EQ(MiniHTMLToText("a<hr>b<B>c</B>"), "a\r\nbc");
    EXPECT_EQ(MiniHTMLToText("a<b"), "a<b");
    EXPECT_EQ(StripMiniHTMLTags("<B>x</B>y<z"), "xy<z");
    EXPECT_EQ(StripMiniHTMLTags("a<BR>b"), "ab");
    EXPECT_EQ(UnwrapFieldMarks("<#Total> and <#b>"), "#Total and #b");
    EXPECT_EQ(UnwrapFieldMarks("<<#a>"), "#a");
    EXPECT_EQ(LineBreaksToBR("a\r\nb\nc\rd", true), "a<BR>bc<BR>d");
    EXPECT_EQ(LineBreaksToBR("a\r\nb", false), "ab");
    EXPECT_EQ(PasswordText("abc"), "***");
    EXPECT_EQ(FindTextAfter("b", "abab", 2, true), 4);
    EXPECT_EQ(FindTextAfter("B", "abab", 0, false), 2);
    EXPECT_EQ(FindTextAfter("B", "abab", 0, true), 0);
    QString t = "xAbAb";
    EXPECT_TRUE(ReplaceFirstNoCase("ab", "-", t));
    EXPECT_EQ(t, "x-Ab");
    EXPECT_FALSE(ReplaceFirstNoCase("zz", "-", t));
    EXPECT_EQ(TextToIntLoose(u"12px"), 12);
    EXPECT_EQ(TextToIntLoose(u"-7"), -7);
    EXPECT_EQ(TextToIntLoose(u"abc"), 0);
    EXPECT_EQ(TextToIntLoose(u"99999999999999"), 2147483647);
}

TEST(MiniHTMLHelpers, EntitiesAreDecodedOnceAndEncodingIsItsInverse)
{
    EXPECT_EQ(DecodeEntities(u"a&amp;b &AMP; &permil;&euro;&trade;"), q("a&b & \u2030\u20AC\u2122"));
    EXPECT_EQ(DecodeEntities(u"&amp;lt;"), "&lt;");
    EXPECT_EQ(DecodeEntities(u"&NBSP;&nbsp;&lt;&LT;"), "&NBSP; <&LT;");
    EXPECT_EQ(DecodeEntities(u"&amp"), "&amp");
    for (const char* s : {"AT&amp;T", "a\"b<c&", "*amp;", "&quot;&lt;", "", "plain"})
        EXPECT_EQ(DecodeBasicEntities(EncodeBasicEntities(q(s))), q(s)) << s;
    EXPECT_EQ(EncodeBasicEntities("a\"b<c&>"), "a&quot;b&lt;c&amp;&gt;");
}

TEST(MiniHTMLHelpers, ControlValuesRoundTrip)
{
    const QString original = "x<CONTROL TYPE=\"edit\" ID=\"c1\" VALUE=\"old\" WIDTH=\"40\" PROP=\"p\">y";
    for (const char* v : {"AT&amp;T", "a\"b<c&", "*amp;", "WIDTH=\"9\"", ""}) {
        QString text = original;
        ASSERT_TRUE(SetControlValue(text, "c1", q(v))) << v;
        QString type, id, value, width, prop;
        ParseControlTag(firstControlAttributes(text), type, id, value, width, prop);
        EXPECT_EQ(value, q(v));
        EXPECT_EQ(type, "EDIT");
        EXPECT_EQ(id, "c1");
        EXPECT_EQ(width, "40");
        EXPECT_EQ(prop, "p");
        EXPECT_TRUE(text.startsWith("x<CONTROL ID=\"c1\" VALUE=\"") && text.endsWith("\" WIDTH=\"40\" TYPE=\"EDIT\" PROP=\"p\">y"))
            << text.toStdString();
    }
    // An unknown ID leaves the text byte for byte.
    QString text = original;
    EXPECT_FALSE(SetControlValue(text, "C1", "new"));
    EXPECT_EQ(text, original);
    // Without PROP the rewritten tag has none.
    QString noProp = "<control type=\"CHECK\" id=\"k\" value=\"false\" width=\"16\">";
    ASSERT_TRUE(SetControlValue(noProp, "k", "true"));
    EXPECT_EQ(noProp, "<CONTROL ID=\"k\" VALUE=\"true\" WIDTH=\"16\" TYPE=\"CHECK\">");
}

TEST(MiniHTMLHelpers, ControlLookups)
{
    const QString text = "<CONTROL TYPE=\"BUTTON\" ID=\"b1\" WIDTH=\"30\"><CONTROL TYPE=\"EDIT\" ID=\"e1\" WIDTH=\"30\" "
                         "PROP=\"x\"><CONTROL TYPE=\"CHECK\" ID=\"k1\" WIDTH=\"16\"><CONTROL TYPE=\"COMBO\" ID=\"e2\" "
                         "WIDTH=\"30\">";
    EXPECT_TRUE(HasControlTag(text));
    EXPECT_FALSE(HasControlTag("<CONTRO"));
    EXPECT_EQ(NextEditControlID(text, ""), "e1");
    EXPECT_EQ(NextEditControlID(text, "e1"), "e2");
    EXPECT_EQ(NextEditControlID(text, "b1"), "e1");
    EXPECT_EQ(NextEditControlID(text, "e2"), "");
    EXPECT_EQ(NextEditControlID(text, "nope"), "");
    EXPECT_EQ(GetControlProp(text, "e1"), "x");
    EXPECT_EQ(GetControlProp(text, "b1"), "");
}

TEST(MiniHTMLHelpers, Colours)
{
    EXPECT_EQ(ColorNameToColor("clRed"), 0x0000FF);
    EXPECT_EQ(ColorNameToColor("CLNAVY"), 0x800000);
    EXPECT_EQ(ColorNameToColor("clInfoBk"), gfx::SystemColor(24));
    EXPECT_EQ(ColorNameToColor("purpleish"), 0);
    EXPECT_EQ(HexToColor("#FF8000"), gfx::RGBColor(0xFF, 0x80, 0x00));
    EXPECT_EQ(HexToColor("#F"), 0);
    EXPECT_EQ(HexPairValue(u"A"), 0);
    EXPECT_EQ(HexPairValue(u"7f"), 0x7F);
}
