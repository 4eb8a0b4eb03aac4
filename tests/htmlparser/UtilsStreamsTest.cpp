#include "mailing/htmlparser/LumStreams.h"
#include "mailing/htmlparser/LumUtils.h"

#include <QBuffer>
#include "PrintQt.h"

#include <gtest/gtest.h>

using namespace lum;

TEST(LumUtils, CaseFoldingTable)
{
    const struct { char16_t from, to; } cases[] = {
        {u'A', u'a'}, {u'z', u'z'}, {0x00B5, 0x03BC}, {0x03C2, 0x03C3}, {0x0345, 0x03B9}, {0x1FBE, 0x03B9},
        {0x017F, u's'}, {0x212A, u'k'}, {0x2160, 0x2170}, {0x24B6, 0x24D0}, {0xFF21, 0xFF41},
        {0x00C4, 0x00E4}, {u'1', u'1'}, {0xD800, 0xD800}, {0x4E00, 0x4E00},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FoldChar(c.from), c.to) << std::hex << int(c.from);
}

TEST(LumUtils, ComparisonAndHashIgnoringCase)
{
    const QString kelvin(QChar(0x212A));
    EXPECT_TRUE(SameWideStringsIgnoreCase("ABC", "abc"));
    EXPECT_TRUE(SameWideStringsIgnoreCase(kelvin, "k"));
    EXPECT_FALSE(SameWideStringsIgnoreCase("ABC", "abcd"));
    EXPECT_FALSE(SameWideStrings("ABC", "abc"));
    EXPECT_TRUE(SameWideStrings("abc", "abc"));
    const char16_t buf[] = u"Title";
    EXPECT_TRUE(SameTextIgnoreCase(buf, 5, "TITLE"));
    EXPECT_FALSE(SameText(buf, 5, "TITLE"));
    EXPECT_FALSE(SameText(buf, 4, "Title"));

    // strings equal ignoring case hash alike, at every tail length of the six-unit steps
    for (const QString& s : {QString("a"), QString("Hello"), QString("STYLE-Sheet"), QString("abcdefghijklmnopq")}) {
        const QString lower = s.toLower();
        EXPECT_EQ(HashIgnoreCase(reinterpret_cast<const char16_t*>(s.utf16()), s.size()),
                  HashIgnoreCase(reinterpret_cast<const char16_t*>(lower.utf16()), lower.size()));
    }
    EXPECT_NE(HashWideString("abc"), HashWideString("abd"));
    EXPECT_NE(HashBytes("abcdefghijklm", 13, 0), HashBytes("abcdefghijklm", 13, 1));
}

TEST(LumUtils, GrowingWideStrings)
{
    QString s;
    qsizetype used = 0;
    AppendChar(s, used, u'x');
    EXPECT_EQ(s.size(), 4);
    EXPECT_EQ(used, 1);

    QString t;
    qsizetype tused = 0;
    const char16_t ten[] = u"0123456789";
    AppendBuffer(t, tused, ten, 10);
    EXPECT_EQ(t.size(), 16);
    AppendWideString(t, tused, "abcdefg"); // 17 needed: 17 + 8 + 3 = 28
    EXPECT_EQ(t.size(), 28);
    EXPECT_EQ(t.left(tused), "0123456789abcdefg");
    for (int i = 0; i < 12; ++i) // the 12th finds 28 of 28 used: 2 * 28 + 4 = 60
        AppendChar(t, tused, u'.');
    EXPECT_EQ(t.size(), 60);
}

TEST(LumUtils, PositionTestsAndClasses)
{
    EXPECT_TRUE(AnyCharFrom("ab c", 2, &IsWhiteSpace));
    EXPECT_FALSE(AnyCharFrom("ab c", 4, &IsWhiteSpace));
    EXPECT_TRUE(AllCharsFrom("x-y.z", 1, &IsNameChar));
    EXPECT_FALSE(AllCharsFrom("x y", 1, &IsNameChar));
    for (qsizetype pos : {0, 4})
        EXPECT_FALSE(AllCharsFrom("abc", pos, &IsLetter));
    EXPECT_FALSE(AllCharsFrom("", 1, &IsLetter));
    EXPECT_FALSE(AnyCharFrom("", 1, &IsLetter));

    const QString name = "AZaz09-.:_";
    for (QChar c : name)
        EXPECT_TRUE(IsNameChar(c.unicode())) << c.toLatin1();
    for (char16_t c : {u'@', u'/', u'>', u' ', char16_t(0xE4)})
        EXPECT_FALSE(IsNameChar(c));
    EXPECT_TRUE(IsWhiteSpace(32) && IsWhiteSpace(0) && !IsWhiteSpace(33) && !IsWhiteSpace(0xA0));
    EXPECT_TRUE(IsEndOfTextData(u'<') && IsEndOfTextData(u'&') && !IsEndOfTextData(u'>'));
    EXPECT_TRUE(IsEndOfUnquotedAttrValue(u'>') && !IsEndOfUnquotedAttrValue(u'<'));
    EXPECT_TRUE(IsEndOfUnquotedSsiValue(u'-') && IsEndOfSsiName(u'>') && IsEndOfSkippedUnquotedValue(u'\t'));
    EXPECT_FALSE(IsEndOfSkippedUnquotedValue(u'&'));
}

namespace {

QByteArray Written(const std::function<void(TLumWriter&)>& write)
{
    QByteArray bytes;
    QBuffer buf(&bytes);
    buf.open(QIODevice::WriteOnly);
    {
        TLumBinaryWriter w(&buf, 4); // a small buffer exercises the flushes
        write(w);
    }
    return bytes;
}

QByteArray Bytes(std::initializer_list<int> b)
{
    QByteArray a;
    for (int x : b)
        a.append(char(x));
    return a;
}

} // namespace

TEST(LumStreams, IntegerElementEncoding)
{
    const struct { qint64 value; bool isUnsigned; QByteArray bytes; } cases[] = {
        {200, true, Bytes({3, 200})},
        {-1, false, Bytes({1, 255})},
        {300, false, Bytes({5, 44, 1})},
        {0, false, Bytes({2, 0})},
        {127, false, Bytes({2, 127})},
        {-128, false, Bytes({1, 128})},
        {-129, false, Bytes({4, 127, 255})},
        {-32768, false, Bytes({4, 0, 128})},
        {32768, false, Bytes({6, 0, 128})},
        {0x10000, true, Bytes({8, 0, 0, 1})},
        {0xFFFFFFFFLL, true, Bytes({12, 255, 255, 255, 255})},
        {INT32_MIN, false, Bytes({10, 0, 0, 0, 128})},
    };
    for (const auto& c : cases) {
        const QByteArray got = Written([&](TLumWriter& w) {
            c.isUnsigned ? w.WriteUnsigned(quint32(c.value)) : w.WriteInteger(qint32(c.value));
        });
        EXPECT_EQ(got.toHex(' '), c.bytes.toHex(' ')) << c.value;
        QByteArray copy = got;
        QBuffer in(&copy);
        in.open(QIODevice::ReadOnly);
        TLumBinaryReader r(&in, 4096);
        if (c.isUnsigned)
            EXPECT_EQ(r.ReadUnsigned(), quint32(c.value));
        else
            EXPECT_EQ(r.ReadInteger(), qint32(c.value));
    }
}

TEST(LumStreams, StringsBytesAndRoundTrip)
{
    EXPECT_EQ(Written([](TLumWriter& w) { w.WriteWideString("abc"); }), Bytes({35, 6, 'a', 0, 'b', 0, 'c', 0}));
    EXPECT_EQ(Written([](TLumWriter& w) { w.WriteWideString(QString()); }), Bytes({34}));
    EXPECT_EQ(Written([](TLumWriter& w) { w.WriteByteElement(7); }), Bytes({3, 7}));

    const QString longText = QString(200, QChar(0x263A)); // 400 bytes: two length bytes
    QByteArray bytes = Written([&](TLumWriter& w) {
        w.WriteWideString(longText);
        w.WriteWideString(QString::fromUtf8("Grüße"));
        w.WriteByteElement(200);
        w.WriteInteger(-70000);
    });
    EXPECT_EQ(quint8(bytes[0]), 36);
    bytes.append(Bytes({31, 3, 0, 'x', 'y', 'z'})); // an 8-bit string element
    QBuffer in(&bytes);
    in.open(QIODevice::ReadOnly);
    TLumBinaryReader r(&in, 7);
    EXPECT_EQ(r.ReadWideString(), longText);
    EXPECT_EQ(r.ReadWideString(), QString::fromUtf8("Grüße"));
    EXPECT_EQ(r.ReadByteElement(), 200);
    EXPECT_EQ(r.ReadInteger(), -70000);
    EXPECT_EQ(r.ReadWideString(), "xyz");
}

TEST(LumStreams, ReadErrors)
{
    const struct { QByteArray bytes; int what; const char* message; } cases[] = {
        {Bytes({5, 44}), 0, "Stream read error"},          // ends inside an element
        {Bytes({}), 0, "Stream read error"},
        {Bytes({35, 6, 'a', 0}), 2, "Stream read error"},
        {Bytes({1, 255}), 1, "Invalid Element Type"},       // negative is no unsigned
        {Bytes({13, 0, 0, 0, 0, 0}), 0, "Invalid Element Type"}, // 5-byte integers are not read
        {Bytes({0}), 0, "Invalid Element Type"},
        {Bytes({2, 1}), 2, "Invalid Element Type"},
        {Bytes({5, 1, 1}), 3, "Invalid Element Type"},      // a byte element has one data byte
    };
    for (const auto& c : cases) {
        QByteArray copy = c.bytes;
        QBuffer in(&copy);
        in.open(QIODevice::ReadOnly);
        TLumBinaryReader r(&in, 4096);
        try {
            switch (c.what) {
            case 0: r.ReadInteger(); break;
            case 1: r.ReadUnsigned(); break;
            case 2: r.ReadWideString(); break;
            default: r.ReadByteElement(); break;
            }
            ADD_FAILURE() << "no error for " << c.bytes.toHex().constData();
        } catch (const ELumStreamError& e) {
            EXPECT_STREQ(e.what(), c.message) << c.bytes.toHex().constData();
        }
    }
}
