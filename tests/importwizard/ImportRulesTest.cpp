// The import wizard's window-free rules: reading delimited lines, the separator guess, the first
// mapping and the arrangement of rows in target order.
#include "Printers.h"
#include "importwizard/ImportRules.h"

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
        {"quote open at line end", QStringLiteral("a;\"unclosed; b"), u';', {"a", "unclosed; b"}},
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

TEST(CsvText, DecodingAndLines)
{
    // UTF-8 with a byte-order mark, and the same text in Windows-1252.
    EXPECT_EQ(DecodeTextFile(QByteArray("\xEF\xBB\xBF" "M\xC3\xBCller;\xE2\x82\xAC")), QStringLiteral("Müller;€"));
    EXPECT_EQ(DecodeTextFile(QByteArray("M\xFCller;\x80;\x9F")), QStringLiteral("Müller;€;Ÿ"));
    // One stray byte makes the whole file Windows-1252, also where it looked like UTF-8.
    EXPECT_EQ(DecodeTextFile(QByteArray("\xC3\xBC;\xFC")), QStringLiteral("Ã¼;ü"));

    TLineReader reader(QStringLiteral("a\r\nb\n\nc\rd\r\n"));
    QStringList lines;
    while (!reader.AtEnd())
        lines.append(reader.ReadLine().toString());
    EXPECT_EQ(lines, QStringList({"a", "b", "", "c", "d"}));
    EXPECT_TRUE(reader.ReadLine().isEmpty());

    EXPECT_EQ(CountNonBlankLines(QStringLiteral("Name\r\n\r\n   \n;;\rx\n")), 3);
    EXPECT_EQ(CountNonBlankLines(QString()), 0);
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
        {"no mapping", {}, {}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(OrderRow(values, c.mapping), c.row) << c.name;
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
