#include "mailing/htmlparser/LumUnicode.h"

#include <QBuffer>
#include <QPointer>
#include "PrintQt.h"

#include <gtest/gtest.h>

namespace {

void ReadAll(TLumUnicodeReader& r)
{
    while (r.ReadChar()) {
    }
}

} // namespace

TEST(LumUnicodeReader, LineAndColumnCounting)
{
    const struct { QByteArray text; int line, column, position; } cases[] = {
        {"a\r\nb", 2, 1, 4},
        {"a\rb", 2, 1, 3},
        {"a\n\nb", 3, 1, 4},
        {"ab", 1, 2, 2},
        {"\r\r\nx", 3, 1, 4},
        {"a\n", 1, 2, 2}, // the break counts once the next character is read
    };
    for (const auto& c : cases) {
        TLumUnicodeReader r;
        r.SetSourceString(c.text);
        char16_t last = 0;
        while (r.ReadChar())
            last = r.Char();
        EXPECT_EQ(last, char16_t(quint8(c.text.back())));
        EXPECT_FALSE(r.HasChar());
        // the counters describe the last character read
        TLumUnicodeReader again;
        again.SetSourceString(c.text);
        for (int i = 0; i < c.text.size(); ++i)
            again.ReadChar();
        EXPECT_EQ(again.Line(), c.line) << c.text.toHex().constData();
        EXPECT_EQ(again.Column(), c.column) << c.text.toHex().constData();
        EXPECT_EQ(again.Position(), c.position) << c.text.toHex().constData();
    }
}

TEST(LumUnicodeReader, BytesAreCharactersOfTheSameCodeAndWideTextIsNotSplit)
{
    TLumUnicodeReader r;
    r.SetSourceString(QByteArray("\xE4\x80", 2));
    ASSERT_TRUE(r.ReadChar());
    EXPECT_EQ(r.Char(), 0xE4);
    ASSERT_TRUE(r.ReadChar());
    EXPECT_EQ(r.Char(), 0x80);
    EXPECT_EQ(r.PrevChar(), 0xE4);
    EXPECT_FALSE(r.ReadChar());
    EXPECT_FALSE(r.ReadChar()) << "the end stays the end";

    r.SetSourceWideString(QString::fromUtf8("ä€\n😀"));
    QList<char16_t> got;
    while (r.ReadChar())
        got.append(r.Char());
    EXPECT_EQ(got, (QList<char16_t>{0xE4, 0x20AC, u'\n', 0xD83D, 0xDE00}));
    EXPECT_EQ(r.Line(), 2);

    // a new source resets the counters and the look-ahead
    r.SetSourceString("xyz");
    r.ReadChar();
    r.Peek(2);
    r.SetSourceString("q");
    EXPECT_FALSE(r.HasChar());
    ASSERT_TRUE(r.ReadChar());
    EXPECT_EQ(r.Char(), u'q');
    EXPECT_EQ(r.Position(), 1);
    EXPECT_FALSE(r.ReadChar());
}

TEST(LumUnicodeReader, PeekKeepsWhatItReadForLaterReads)
{
    TLumUnicodeReader r;
    r.SetSourceString("abc\nd");
    ASSERT_TRUE(r.ReadChar());
    EXPECT_TRUE(r.Peek(2));
    EXPECT_EQ(r.LookAhead(0), u'b');
    EXPECT_EQ(r.LookAhead(1), u'c');
    EXPECT_EQ(r.Position(), 1) << "peeking moves no counter";
    EXPECT_FALSE(r.Peek(10));
    EXPECT_EQ(r.LookAheadCount(), 4);
    QString rest;
    while (r.ReadChar())
        rest += QChar(r.Char());
    EXPECT_EQ(rest, "bc\nd");
    EXPECT_EQ(r.Line(), 2);
    EXPECT_EQ(r.Column(), 1);
}

TEST(LumUnicodeReader, ScanningFamily)
{
    auto run = [](const QByteArray& text, int peek, const std::function<void(TLumUnicodeReader&)>& scan) {
        TLumUnicodeReader r;
        r.SetSourceString(text);
        r.ReadChar();
        r.Peek(peek);
        scan(r);
        return std::make_pair(r.DataString(), r.HasChar() ? QString(QChar(r.Char())) : QString("<end>"));
    };
    using P = std::pair<QString, QString>;
    EXPECT_EQ(run("aaab", 0, [](auto& r) { r.AddWhileChar(u'a'); }), P("aaa", "b"));
    EXPECT_EQ(run("aaab", 2, [](auto& r) { r.SkipWhileChar(u'a'); }), P("", "b"));
    EXPECT_EQ(run("ab-c d", 3, [](auto& r) { r.AddWhile(&lum::IsNameChar); }), P("ab-c", " "));
    EXPECT_EQ(run("abc", 0, [](auto& r) { r.AddWhile(&lum::IsLetter); }), P("abc", "<end>"));
    EXPECT_EQ(run("x;y", 0, [](auto& r) { r.AddUntilChar(u';'); }), P("x", ";"));
    EXPECT_EQ(run("x;y", 0, [](auto& r) { r.SkipUntilChar(u'y'); }), P("", "y"));
    EXPECT_EQ(run("abc>d", 0, [](auto& r) { r.AddUntilChar2(u'>', u'c'); }), P("ab", "c"));
    EXPECT_EQ(run("abc>d", 0, [](auto& r) { r.SkipUntilChar2(u'>', u'z'); }), P("", ">"));
    EXPECT_EQ(run("abcd", 0, [](auto& r) { r.AddUntilChar3(u'x', u'y', u'd'); }), P("abc", "d"));
    EXPECT_EQ(run("ab c", 0, [](auto& r) { r.AddUntil(&lum::IsWhiteSpace); }), P("ab", " "));
    EXPECT_EQ(run("ab c", 0, [](auto& r) { r.SkipUntil(&lum::IsWhiteSpace); }), P("", " "));
    EXPECT_EQ(run(" \t\r\nx", 4, [](auto& r) { r.AddWhiteSpace(); }), P(" \t\r\n", "x"));
    EXPECT_EQ(run(" \t x", 0, [](auto& r) { r.SkipWhiteSpace(); }), P("", "x"));
    EXPECT_EQ(run("", 0, [](auto& r) { r.AddWhile(&lum::IsLetter); }), P("", "<end>"));
}

TEST(LumUnicodeReader, DataGrowsByAQuarterAndFoldsBlanks)
{
    TLumUnicodeReader r;
    const int expected[][2] = {{1, 4}, {4, 4}, {5, 8}, {9, 12}, {13, 20}, {21, 28}};
    int added = 0;
    for (const auto& e : expected) {
        while (added < e[0]) {
            r.AddCharCode(u'x');
            ++added;
        }
        EXPECT_EQ(r.DataCapacity(), e[1]) << e[0];
    }
    r.ClearData();
    EXPECT_EQ(r.DataLength(), 0);
    EXPECT_EQ(r.DataCapacity(), 28);
    r.AddStringFolded(" a \t\n b  ");
    r.AddCharCodeFolded(u'\n');
    r.AddBlank();
    r.AddString("c d");
    EXPECT_EQ(r.DataString(), " a b c d");
}

TEST(LumUnicodeReader, StreamMode)
{
    QByteArray text;
    for (int i = 0; i < 1500; ++i)
        text += "ab\n"; // 4500 bytes: more than one block
    auto* stream = new QBuffer;
    stream->setData(text);
    stream->open(QIODevice::ReadOnly);
    QPointer<QBuffer> watch(stream);

    TLumUnicodeReader r;
    r.SetSourceStream(stream, 2);
    try {
        r.SetSourceString("x");
        ADD_FAILURE() << "a string source is refused in stream mode";
    } catch (const ELumError& e) {
        EXPECT_EQ(e.Message(), "Class TLumUnicodeReader: Operation not allowed in Source Stream Mode");
    }
    int count = 0;
    while (r.ReadChar())
        ++count;
    EXPECT_EQ(count, text.size());
    EXPECT_EQ(r.Line(), 1500);
    EXPECT_TRUE(watch.isNull()) << "an exhausted stream of ownership 2 is freed";
    r.SetSourceString("ok"); // stream mode has ended
    EXPECT_TRUE(r.ReadChar());

    QBuffer mine;
    mine.setData("xy");
    mine.open(QIODevice::ReadOnly);
    r.SetSourceStream(&mine, 0);
    ReadAll(r);
    r.SetSourceStream(nullptr);
    r.SetSourceString("z");
    EXPECT_TRUE(r.ReadChar());
    EXPECT_TRUE(mine.isOpen()) << "the caller's stream stays the caller's";
}
