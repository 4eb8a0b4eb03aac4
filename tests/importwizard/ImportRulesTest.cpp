// The import wizard's window-free rules: reading delimited lines, the separator guess, the first
// mapping and the arrangement of rows in target order.
#include "Printers.h"
#include "importwizard/CsvRecords.h"
#include "importwizard/ImportRules.h"

#include <QBuffer>
#include <gtest/gtest.h>

using namespace importwizard;

namespace {
const QChar kTab(u'\t');
}

TEST(CsvLine, FieldsAndQuotes)
{
    struct Case {
        const char* name;
        QString line;
        QChar separator;
        QStringList values;
    };
    const Case cases[] = {
        {"quoted separator", QStringLiteral("Meier;\"Berlin; Mitte\";x"), u';', {"Meier", "Berlin; Mitte", "x"}},
        {"doubled quote", QStringLiteral("\"Hans \"\"Jo\"\" Meier\";a"), u';', {"Hans \"Jo\" Meier", "a"}},
        {"apostrophe kept", QStringLiteral("o'neil@x.ie;Neil"), u';', {"o'neil@x.ie", "Neil"}},
        {"single quotes removed", QStringLiteral("'Meier' ; Hans"), u';', {"Meier", "Hans"}},
        {"lone single quote kept", QStringLiteral("'a;b'"), u';', {"'a", "b'"}},
        {"empty quoted field", QStringLiteral("a;\"\";b"), u';', {"a", "", "b"}},
        {"quote open at the end of the record", QStringLiteral("a;\"unclosed; b"), u';', {"a", "unclosed; b"}},
        {"inner double quote kept", QStringLiteral("ab\"cd;e"), u';', {"ab\"cd", "e"}},
        {"blanks around a quoted field", QStringLiteral("  \"x\" ;y"), u';', {"x", "y"}},
        {"empty items kept", QStringLiteral("Meier;;Hans"), u';', {"Meier", "", "Hans"}},
        {"trailing empty item kept", QStringLiteral("a;b;"), u';', {"a", "b", ""}},
        {"tab keeps empty fields", QStringLiteral("Meier\t\tHans"), kTab, {"Meier", "", "Hans"}},
        {"tab at both ends", QStringLiteral("\tMeier\t"), kTab, {"", "Meier", ""}},
        {"tab inside quotes", QStringLiteral("\"a\tb\"\tc"), kTab, {"a\tb", "c"}},
        {"blank line", QStringLiteral("   "), u';', {}},
        {"no separator", QStringLiteral(" a;b "), QChar(), {"a;b"}},
        {"only separators", QStringLiteral(";;"), u';', {"", "", ""}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(SplitCsvLine(c.line, c.separator), c.values) << c.name;
}

TEST(CsvLine, SeparatorDetection)
{
    const QList<QChar> candidates = {u';', u':', u',', kTab};
    struct Case {
        const char* name;
        QString line;
        int current;
        int expected;
    };
    const Case cases[] = {
        {"two semicolons, one comma", QStringLiteral("a;b;c,d"), 2, 0},
        {"two commas, one semicolon", QStringLiteral("a,b,c;d"), 0, 2},
        {"tie keeps the earlier", QStringLiteral("a;b,c"), 2, 0},
        {"tie colon and comma", QStringLiteral("a:b,c"), 0, 1},
        {"tabs", QStringLiteral("a\tb\tc;d"), 0, 3},
        {"none keeps the selection", QStringLiteral("abc def"), 2, 2},
        {"none with nothing selected", QStringLiteral("abc"), -1, -1},
        {"separators inside quotes do not count", QStringLiteral("\"a;b;c\",d"), 0, 2},
    };
    for (const Case& c : cases)
        EXPECT_EQ(DetectSeparatorIndex(c.line, candidates, c.current), c.expected) << c.name;
}

TEST(CsvText, Decoding)
{
    // UTF-8 with a byte-order mark, and the same text in Windows-1252.
    EXPECT_EQ(DecodeTextFile(QByteArray("\xEF\xBB\xBF" "M\xC3\xBCller;\xE2\x82\xAC")), QStringLiteral("Müller;€"));
    EXPECT_EQ(DecodeTextFile(QByteArray("M\xFCller;\x80;\x9F")), QStringLiteral("Müller;€;Ÿ"));
    // One stray byte makes the whole file Windows-1252, also where it looked like UTF-8.
    EXPECT_EQ(DecodeTextFile(QByteArray("\xC3\xBC;\xFC")), QStringLiteral("Ã¼;ü"));
    // UTF-16 by its byte-order mark, little and big endian (with a character outside the BMP).
    const QString text = QStringLiteral("Müller;€;") + QString::fromUtf8("😀");
    QByteArray le("\xFF\xFE"), be("\xFE\xFF");
    for (QChar c : text) {
        le += char(c.unicode() & 0xFF);
        le += char(c.unicode() >> 8);
        be += char(c.unicode() >> 8);
        be += char(c.unicode() & 0xFF);
    }
    EXPECT_EQ(DecodeTextFile(le), text);
    EXPECT_EQ(DecodeTextFile(be), text);
}

// A UTF-16 surrogate without its partner comes out as U+FFFD (whole and in pieces cut between
// the two halves of a pair); a U+FEFF after the byte-order mark or at the start of a line is
// text and stays, also in the line reader.
TEST(CsvText, LoneSurrogatesAndInnerByteOrderMarks)
{
    const QByteArray le("\xFF\xFE" "A\0" "\x3D\xD8" "B\0" "\x3D\xD8\x00\xDE" "\x00\xDE" "\x3D\xD8", 16);
    const QString expected = QStringLiteral("A\uFFFDB") + QString::fromUtf8("😀") + QStringLiteral("\uFFFD\uFFFD");
    EXPECT_EQ(DecodeTextFile(le), expected);
    for (int size = 1; size <= 3; ++size) {
        core::TextDecoder decoder(core::TextEncoding::Utf16LE);
        QString text;
        for (qsizetype at = 2; at < le.size(); at += size)
            text += decoder.Decode(QByteArrayView(le).sliced(at, std::min<qsizetype>(size, le.size() - at)));
        text += decoder.Finish();
        EXPECT_EQ(text, expected) << "pieces of " << size;
    }

    const QByteArray twoMarks("\xEF\xBB\xBF\xEF\xBB\xBF" "a\r\n\xEF\xBB\xBF" "b\r\n");
    EXPECT_EQ(DecodeTextFile(twoMarks), QStringLiteral("\uFEFFa\r\n\uFEFFb\r\n"));
    QBuffer device;
    device.setData(twoMarks);
    device.open(QIODevice::ReadOnly);
    core::TextFileLineReader reader(device, 4);
    QStringList lines;
    QStringView line;
    while (reader.NextLine(line))
        lines << line.toString();
    EXPECT_EQ(lines, (QStringList{QStringLiteral("\uFEFFa"), QStringLiteral("\uFEFFb")}));
}

namespace {

// The records of a text handed over in pieces of the given size.
QList<QString> RecordsInPieces(const QString& text, QChar separator, int pieceSize)
{
    qsizetype at = 0;
    TCsvRecordReader reader(separator, [&](QString& piece) {
        if (at >= text.size())
            return false;
        piece = text.mid(at, pieceSize);
        at += pieceSize;
        return true;
    });
    QList<QString> records;
    QStringView record;
    while (reader.Next(record))
        records.append(record.toString());
    return records;
}

} // namespace

TEST(CsvRecords, QuotesHoldLineBreaks)
{
    struct Case {
        const char* name;
        QString text;
        QChar separator;
        QList<QStringList> values;  // each record split into its values
    };
    const Case cases[] = {
        {"LF inside quotes", "dora@x.de;Groß;\"Zeile eins\nZeile zwei\"\nb@x.de;B;c\n", u';',
         {{"dora@x.de", "Groß", "Zeile eins\nZeile zwei"}, {"b@x.de", "B", "c"}}},
        {"CR LF inside quotes", "a;\"eins\r\nzwei\"\r\nb;c\r\n", u';', {{"a", "eins\r\nzwei"}, {"b", "c"}}},
        {"lone CR inside quotes and as line end", "a;\"eins\rzwei\"\rb;c", u';', {{"a", "eins\rzwei"}, {"b", "c"}}},
        {"doubled quotes across a line break", "\"Er sagte \"\"\nHallo\"\"\";x\n", u';', {{"Er sagte \"\nHallo\"", "x"}}},
        {"quote open at the end of the text", "a;b\nc;\"offen\nbis zum Ende\n", u';', {{"a", "b"}, {"c", "offen\nbis zum Ende"}}},
        {"separator and line break inside quotes", "\"a;b\nc\";d", u';', {{"a;b\nc", "d"}}},
        {"quote inside an unquoted value opens nothing", "ab\"c;d\ne;f\n", u';', {{"ab\"c", "d"}, {"e", "f"}}},
        {"text after a closing quote", "\"a\"b;c\nd\n", u';', {{"ab", "c"}, {"d"}}},
        {"empty and blank lines stay records", "a\n\n  \nb", u';', {{"a"}, {}, {}, {"b"}}},
        {"quoted line break with a tab separator", "\"a\tb\nc\"\td\n", u'\t', {{"a\tb\nc", "d"}}},
        {"quotes decide with no separator too", "\"a\nb\"\nc\n", QChar(), {{"a\nb"}, {"c"}}},
        {"a final line break starts no record", "a\r\n", u';', {{"a"}}},
        {"nothing", "", u';', {}},
    };
    for (const Case& c : cases) {
        const QList<QString> whole = CsvRecords(c.text, c.separator);
        QList<QStringList> values;
        for (const QString& record : whole)
            values.append(SplitCsvLine(record, c.separator));
        EXPECT_EQ(values, c.values) << c.name;
        // Pieces cut anywhere (inside CR LF, right after a quote) give the same records.
        for (int size = 1; size <= 4; ++size)
            EXPECT_EQ(RecordsInPieces(c.text, c.separator, size), whole) << c.name << ", pieces of " << size;
    }
}

TEST(CsvText, SnifferDecidesEncodingAndRefusesNonText)
{
    QByteArray random;
    quint32 x = 12345;
    for (int i = 0; i < 4096; ++i) {
        x = x * 1103515245u + 12345u;
        random += char(x >> 23);
    }
    QByteArray controls;
    for (int i = 0; i < 200; ++i)
        controls += (i % 8 == 0) ? "\x01" : "ab";  // no NUL, but one character in sixteen a control
    struct Case {
        const char* name;
        QByteArray bytes;
        core::TextEncoding encoding;
        int bomLength;
        bool isText;
    };
    using E = core::TextEncoding;
    const Case cases[] = {
        {"ASCII", "a;b\r\n", E::Utf8, 0, true},
        {"UTF-8", "M\xC3\xBCller \xE2\x82\xAC \xF0\x9F\x98\x80", E::Utf8, 0, true},
        {"UTF-8 with mark", "\xEF\xBB\xBFx", E::Utf8, 3, true},
        {"Windows-1252", "M\xFCller \x80", E::Windows1252, 0, true},
        {"cut UTF-8 at the end", "ab\xE2\x82", E::Windows1252, 0, true},
        {"UTF-16 LE", QByteArray("\xFF\xFEM\0\xFC\0", 6), E::Utf16LE, 2, true},
        {"UTF-16 BE", QByteArray("\xFE\xFF\0M\0\xFC", 6), E::Utf16BE, 2, true},
        {"UTF-16 holding NUL characters", QByteArray("\xFF\xFE\0\0a\0", 6), E::Utf16LE, 2, false},
        {"NUL byte", QByteArray("a;b\0c", 5), E::Utf8, 0, false},
        {"random bytes", random, E::Windows1252, 0, false},
        {"many control characters", controls, E::Utf8, 0, false},
        {"empty", "", E::Utf8, 0, true},
    };
    for (const Case& c : cases) {
        for (int size : {1, 2, 3, 7, 1 << 20}) {
            core::TextSniffer sniffer;
            for (qsizetype at = 0; at < c.bytes.size(); at += size)
                sniffer.Feed(QByteArrayView(c.bytes).sliced(at, std::min<qsizetype>(size, c.bytes.size() - at)));
            const core::TTextFileKind kind = sniffer.Finish();
            EXPECT_EQ(kind.encoding, c.encoding) << c.name << ", pieces of " << size;
            EXPECT_EQ(kind.bomLength, c.bomLength) << c.name;
            EXPECT_EQ(kind.isText, c.isText) << c.name;
            EXPECT_EQ(kind.size, c.bytes.size()) << c.name;
        }
    }
}

TEST(Mapping, AutomaticAndInitial)
{
    EXPECT_EQ(AutomaticMapping({"Meier", "meier@x.de", "Hans"}), QStringList({"1"}));
    EXPECT_EQ(AutomaticMapping({"Name", "E-MAIL", "x@y.de"}), QStringList({"1"}));
    EXPECT_EQ(AutomaticMapping({"Meier", "Hans"}), QStringList());
    EXPECT_EQ(AutomaticMapping({}), QStringList());

    const QStringList values = {"Meier", "meier@x.de", "Hans"};
    struct Case {
        const char* name;
        QStringList inMemory;
        QString stored;
        QStringList expected;
    };
    const Case cases[] = {
        {"automatic maps the first column", {}, "", {"-1", "-1", "1"}},
        {"stored mapping of the right length", {}, "2\r\n0\r\n-1\r\n", {"2", "0", "-1"}},
        {"stored mapping one short", {}, "0\r\n1\r\n", {"-1", "-1", "1"}},
        {"stored mapping one long", {}, "0\r\n1\r\n2\r\n0\r\n", {"-1", "-1", "1"}},
        {"stored entry not a number", {}, "2\r\nx\r\n-1\r\n", {"-1", "-1", "1"}},
        {"in-memory mapping wins and is padded", {"0", "2"}, "2\r\n0\r\n-1\r\n", {"-1", "0", "2"}},
        {"in-memory mapping too long applies nothing", {"0", "1", "2", "0"}, "", {}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(InitialMapping(c.inMemory, c.stored, values, 3), c.expected) << c.name;
    EXPECT_EQ(InitialMapping({}, "", {"a", "b"}, 3), QStringList({"-1", "-1", "-1"}));
}

TEST(Mapping, OrderRowAndStoredForm)
{
    const QStringList values = {"Meier", "meier@x.de", "Hans"};
    struct Case {
        const char* name;
        QStringList mapping;
        QStringList row;
    };
    const Case cases[] = {
        {"control order", {"2", "0", "1"}, {"meier@x.de", "Meier", "Hans"}},
        {"unmapped and beyond the values", {"-1", "7", "1"}, {"meier@x.de", "", ""}},
        {"one column", {"0"}, {"Meier"}},
        {"one column taken twice", {"1", "0", "1"}, {"meier@x.de", "Meier", "meier@x.de"}},
        {"no mapping", {}, {}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(OrderRow(values, c.mapping), c.row) << c.name;
        // the run's form: the columns read once, the values handed over
        EXPECT_EQ(OrderRowByColumns(QStringList(values), MappingColumns(c.mapping)), c.row) << c.name;
    }
    EXPECT_EQ(values, QStringList({"Meier", "meier@x.de", "Hans"}));
    EXPECT_EQ(OrderRow({}, {"0", "1"}), QStringList({"", ""}));

    EXPECT_EQ(JoinMapping({"-1", "0", "2"}), QStringLiteral("-1\r\n0\r\n2\r\n"));
    EXPECT_EQ(ParseStoredMapping(QStringLiteral("-1\r\n0\r\n2\r\n")), QStringList({"-1", "0", "2"}));
    EXPECT_EQ(ParseStoredMapping(QString()), QStringList());
    EXPECT_FALSE(ParseStoredMapping(QStringLiteral("1\r\n1.5\r\n")).has_value());
    EXPECT_TRUE(MapsAnyColumn({"-1", "0"}));
    EXPECT_FALSE(MapsAnyColumn({"-1", "-1"}));
    EXPECT_FALSE(MapsAnyColumn({}));
}

TEST(Overview, Texts)
{
    EXPECT_EQ(SeparatorDescription(u';'), QStringLiteral("; (Semikolon)"));
    EXPECT_EQ(SeparatorDescription(u','), QStringLiteral(", (Komma)"));
    EXPECT_EQ(SeparatorDescription(u':'), QStringLiteral(": (Doppelpunkt)"));
    EXPECT_EQ(SeparatorDescription(kTab), QStringLiteral("Tabulator"));
    EXPECT_EQ(SeparatorDescription(QChar()), QStringLiteral("Tabulator"));

    EXPECT_EQ(ShortFileName(QStringLiteral("/home/a/liste.csv")), QStringLiteral("/home/a/liste.csv"));
    // 36 characters: the first 30 - 9 characters, ".../" and the 9-character name.
    EXPECT_EQ(ShortFileName(QStringLiteral("/home/anna/dokumente/2024/liste.csv")),
              QStringLiteral("/home/anna/dokumente/.../liste.csv"));
    const QString longName = QStringLiteral("/x/") + QString(32, u'n') + QStringLiteral(".csv");
    EXPECT_EQ(ShortFileName(longName), QStringLiteral(".../") + QString(32, u'n') + QStringLiteral(".csv"));
}
