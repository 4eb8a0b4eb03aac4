// The text-block, CSV and stream field codings on their own.
#include "grid/exchange/TextBlock.h"

#include <gtest/gtest.h>

using namespace grid::exchange;

namespace {

QString s(const char* utf8) { return QString::fromUtf8(utf8); }

} // namespace

TEST(CopyField, QuotesWhatWouldBreakTheBlock)
{
    struct Case { const char* in; bool vt; const char* out; } cases[] = {
        {"plain", false, "plain"},
        {"x\r\ny", false, "\"x\ny\""},
        {"x\"y\nz", false, "\"x\"\"y\nz\""},
        {"\"Hi\" he said", false, "\"\"\"Hi\"\" he said\""},
        {"a\tb", false, "\"a\tb\""},
        {"in \"the\" middle", false, "in \"the\" middle"},
        {"x\r\ny", true, "\"x\x0By\""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(CopyField(s(c.in), c.vt), s(c.out)) << c.in;
}

TEST(ParseTextBlock, LinesFieldsAndQuotedFields)
{
    TextBlock b = ParseTextBlock(s("1\t2\n3\t4\n"));
    ASSERT_EQ(b.Lines.size(), 3u);
    EXPECT_EQ(b.Lines[0], QStringList({"1", "2"}));
    EXPECT_EQ(b.Lines[1], QStringList({"3", "4"}));
    EXPECT_EQ(b.Lines[2], QStringList({""}));
    EXPECT_EQ(b.FieldCount(), 5);
    EXPECT_EQ(b.Columns(), 2);
    EXPECT_EQ(b.LineBreaks(), 2);

    b = ParseTextBlock(s("a\rb\r\nc"));
    ASSERT_EQ(b.Lines.size(), 3u);
    EXPECT_EQ(b.Lines[2], QStringList({"c"}));

    // A quoted field keeps its TABs and line breaks and un-doubles its quotes.
    b = ParseTextBlock(s("\"x\"\"y\nz\"\t\"a\tb\"\r\n\"\"\"Hi\"\" he said\""));
    ASSERT_EQ(b.Lines.size(), 2u);
    EXPECT_EQ(b.Lines[0], QStringList({"x\"y\nz", "a\tb"}));
    EXPECT_EQ(b.Lines[1], QStringList({"\"Hi\" he said"}));

    // Without a closing quote the field stays as written; character 11 is a line break.
    b = ParseTextBlock(s("\"open\tnext\n\"x\" y\tv\x0Bw"));
    ASSERT_EQ(b.Lines.size(), 2u);
    EXPECT_EQ(b.Lines[0], QStringList({"\"open", "next"}));
    EXPECT_EQ(b.Lines[1], QStringList({"\"x\" y", "v\r\nw"}));
}

TEST(DetectDelimiter, Table)
{
    struct Case { const char* l1; const char* l2; char16_t expected; } cases[] = {
        {"a;b;c,d", "e;f;g", u';'},      // equal in both lines beats the comma of the first
        {"a,b,c", "d,e,f", u','},
        {"a\tb", "c\td", u'\t'},
        {"a|b|c", "", u'|'},              // one line: the largest count
        {"a;;b;c", "d;e;f", u';'},        // an even run counts only in the plain pass
        {"abc", "def", 0},
        {"a#b", "c,d,e", u','},
    };
    for (const Case& c : cases)
        EXPECT_EQ(DetectDelimiter(s(c.l1), s(c.l2)), QChar(c.expected)) << c.l1;
}

TEST(SplitCSVLine, Fields)
{
    struct Case { const char* line; bool tilde; QStringList fields; } cases[] = {
        {"a;b;c", false, {"a", "b", "c"}},
        {"a;b;", false, {"a", "b"}},
        {"\"x;y\";\"say \"\"hi\"\"\";z", false, {"x;y", "say \"hi\"", "z"}},
        {"\"abc;def;x", false, {"abc", "def", "x"}},   // an unclosed quote ends at the delimiter
        {"a;\"last\"", false, {"a", "last"}},
        {"a~b;^;c", true, {"a\r\nb", "", "c"}},
        {"a\x0B" "b;c", false, {"a\r\nb", "c"}},
        {";x", false, {"", "x"}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(SplitCSVLine(s(c.line), QLatin1Char(';'), c.tilde), c.fields) << c.line;
    EXPECT_EQ(SplitCSVLine(s("a;b"), QChar(), false), QStringList({"a;b"}));
}

TEST(StreamText, LineBreaksRoundTrip)
{
    EXPECT_EQ(EncodeStreamText(s("a\r\nb")), s("a\t\bb"));
    EXPECT_EQ(DecodeStreamText(s("a\t\bb")), s("a\r\nb"));
    EXPECT_EQ(EncodeStreamText(s("a\tb")), s("a\tb"));   // no CR: left as it is
    EXPECT_EQ(DecodeStreamText(s("a\tb")), s("a\tb"));
}
