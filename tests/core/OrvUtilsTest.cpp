#include "core/OrvDBUtils.h"
#include "core/OrvUtils.h"
#include "QtPrint.h"
#include "TestUtil.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QPrinter>
#include <QRegularExpression>
#include <gtest/gtest.h>

using namespace core;

TEST(SplitString, ItemsAreTrimmedInnerEmptiesKeptTrailingEmptyDropped)
{
    struct Case { QString text; QString sep; QStringList items; };
    const Case cases[] = {
        {"a; ;b;", ";", {"a", "", "b"}},
        {";", ";", {""}},
        {"", ";", {}},
        {"   ", ";", {}},
        {"a;;", ";", {"a", ""}},
        {" Email ;\tLast Name ; First Name\r\n", ";", {"Email", "Last Name", "First Name"}},
        {"smtp.example.de:587", ":", {"smtp.example.de", "587"}},
        {"a, b,,c", ",", {"a", "b", "", "c"}},
        {"a--b--", "--", {"a", "b"}},
        {"no separator", ";", {"no separator"}},
        {"x", "", {"x"}},
        // Empty fields of a tab-separated line stay in their columns.
        {"a\t\tb\t", "\t", {"a", "", "b"}},
    };
    for (const Case& c : cases) {
        QStringList list;
        SplitString(c.text, c.sep, list);
        EXPECT_EQ(list, c.items) << c.text.toStdString();
    }
}

TEST(SplitString, AppendsToTheListAndKeepsTextsBeyond10000Characters)
{
    QStringList list{"existing"};
    const QString longItem(25000, QChar('y'));
    const QString longFirst(12000, QChar('f'));
    SplitString(longFirst + ";" + longItem + ";" + longItem + "z;last", ";", list);
    ASSERT_EQ(list.size(), 5);
    EXPECT_EQ(list[0], "existing");
    EXPECT_EQ(list[1], longFirst);
    EXPECT_EQ(list[2], longItem);
    EXPECT_EQ(list[3], longItem + "z");
    EXPECT_EQ(list[4], "last");
}

TEST(TextRoutines, ReplaceAllTextIgnoresCaseAndDoesNotRescan)
{
    struct Case { QString s, oldText, newText, result; };
    const Case cases[] = {
        {"Hallo %VORNAME% %vorname%!", "%Vorname%", "Hans", "Hallo Hans Hans!"},
        {"aXa", "a", "aa", "aaXaa"},
        {"%x%", "%X%", "%x%%x%", "%x%%x%"},
        {"Grüße ÄRGER", "ärger", "Freude", "Grüße Freude"},
        {"unchanged", "", "y", "unchanged"},
        {"", "a", "b", ""},
    };
    for (const Case& c : cases) {
        QString s = c.s;
        ReplaceAllText(s, c.oldText, c.newText);
        EXPECT_EQ(s, c.result) << c.s.toStdString();
    }
}

TEST(TextRoutines, CountCharComparesWhole16BitUnits)
{
    EXPECT_EQ(CountChar("a;b;c;", ';'), 3);
    EXPECT_EQ(CountChar("", ';'), 0);
    EXPECT_EQ(CountChar(QString(QChar(0x013B)), ';'), 0) << "U+013B has the low byte of ';'";
    EXPECT_EQ(CountChar(QString(QChar(0x013B)) + ";" + QChar(0x023B), ';'), 1);
    EXPECT_EQ(CountChar("\"a\";\"b\"", '"'), 4);
}

TEST(TextRoutines, BlanksAndIncludeTrailingChar)
{
    EXPECT_EQ(Blanks(3), "   ");
    EXPECT_EQ(Blanks(0), "");
    EXPECT_EQ(Blanks(-2), "");

    EXPECT_EQ(IncludeTrailingChar("/opt/quillory", '/'), "/opt/quillory/");
    EXPECT_EQ(IncludeTrailingChar("/opt/quillory/", '/'), "/opt/quillory/");
    EXPECT_EQ(IncludeTrailingChar("", '/'), "");
    EXPECT_EQ(IncludeTrailingChar("C:\\Programme", '\\'), "C:\\Programme\\");
}

TEST(TextRoutines, MakeValidFileName)
{
    EXPECT_EQ(MakeValidFileName("Angebot: **50%** Rabatt", '_', false), "Angebot_ __50%__ Rabatt");
    EXPECT_EQ(MakeValidFileName("a\\b/c:d*e?f<g>h|i\"j", '-', false), "a-b-c-d-e-f-g-h-i-j");
    EXPECT_EQ(MakeValidFileName("my.file.name.txt", '_', true), "my_file_");
    EXPECT_EQ(MakeValidFileName("a:b", '_', true), "a_b");
    EXPECT_EQ(MakeValidFileName("", '_', false), "");
}

TEST(VersionAndLanguage, VersionTextFormatting)
{
    EXPECT_EQ(FormatVersionText(false, "2.0", "2.0.0.17"), "2.0   (2.0.0.17)");
    EXPECT_EQ(FormatVersionText(true, "2.0", "2.0.0.17"), "2.0");
    EXPECT_EQ(FormatVersionText(true, "", "2.0.0.17"), "2.0.0.17");
    EXPECT_EQ(FormatVersionText(false, "", "2.0.0.17"), "2.0.0.17");
    EXPECT_EQ(FormatVersionText(false, "2.0", ""), "2.0");
    EXPECT_EQ(FormatVersionText(false, "", ""), "");

    SetProgramVersion("2.0", "2.0.0.17");
    EXPECT_EQ(GetVersionText(false), "2.0   (2.0.0.17)");
    EXPECT_EQ(GetVersionText(true, QCoreApplication::applicationFilePath()), "2.0");
    EXPECT_EQ(GetVersionText(false, "/bin/sh"), "") << "other files carry no version";
}

TEST(VersionAndLanguage, PrimaryLangIdKeepsTheLow10Bits)
{
    EXPECT_EQ(PrimaryLangId(1031), 7);   // German (Germany)
    EXPECT_EQ(PrimaryLangId(0x0807), 7); // German (Switzerland)
    EXPECT_EQ(PrimaryLangId(0x0409), 9);
    EXPECT_EQ(PrimaryLangId(0xFFFF), 0x3FF);
}

TEST(PrintStrings, LayoutBreaksPagesAndNumbersFooters)
{
    // A4: 2970 - 100 = 2870 bottom, a page is full past 2690; lines of 40 + 5.
    QStringList lines;
    for (int i = 1; i <= 59; ++i)
        lines << QStringLiteral("line %1").arg(i);

    const PrintLayout two = LayoutPrintStrings(lines, 40, 297);
    EXPECT_EQ(two.lineHeight, 45);
    ASSERT_EQ(two.pageCount, 2);
    ASSERT_EQ(two.lines.size(), 59);
    EXPECT_EQ(two.lines[0].page, 1);
    EXPECT_EQ(two.lines[0].x, 200);
    EXPECT_EQ(two.lines[0].y, 100);
    EXPECT_EQ(two.lines[1].y, 145);
    EXPECT_EQ(two.lines[57].page, 1);
    EXPECT_EQ(two.lines[57].y, 100 + 57 * 45);
    EXPECT_EQ(two.lines[58].page, 2);
    EXPECT_EQ(two.lines[58].y, 100);
    ASSERT_EQ(two.footers.size(), 2);
    EXPECT_EQ(two.footers[0].text, "Page 1");
    EXPECT_EQ(two.footers[0].x, 1000);
    EXPECT_EQ(two.footers[0].y, 2770);
    EXPECT_EQ(two.footers[1].text, "Page 2");
    EXPECT_EQ(two.footers[1].page, 2);

    // Exactly one full page: no empty page after it.
    const PrintLayout one = LayoutPrintStrings(lines.mid(0, 58), 40, 297);
    EXPECT_EQ(one.pageCount, 1);
    ASSERT_EQ(one.footers.size(), 1);
    EXPECT_EQ(one.footers[0].text, "Page 1");

    const PrintLayout none = LayoutPrintStrings({}, 40, 297);
    EXPECT_EQ(none.pageCount, 1);
    EXPECT_EQ(none.footers.size(), 1);

    EXPECT_EQ(LayoutPrintStrings({"x"}, 7, 297).lineHeight, 7);
    EXPECT_EQ(LayoutPrintStrings({"x"}, 17, 297).lineHeight, 19);
}

TEST(PrintStrings, PrintsToAPdfFile)
{
    qlytest::TempDir dir;
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(dir.file("log.pdf"));
    printer.setPageSize(QPageSize(QPageSize::A4));
    QStringList lines;
    for (int i = 1; i <= 150; ++i)
        lines << QStringLiteral("Mailing line %1").arg(i);
    const int expectedPages =
        LayoutPrintStrings(lines, 40, int(printer.pageLayout().paintRect(QPageLayout::Millimeter).height())).pageCount;
    ASSERT_GT(expectedPages, 1);

    PrintStrings(lines, 40, printer);

    QFile f(dir.file("log.pdf"));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray pdf = f.readAll();
    EXPECT_TRUE(pdf.startsWith("%PDF"));
    const auto pages = QRegularExpression("/Type\\s*/Page[^s]").globalMatch(QString::fromLatin1(pdf));
    int count = 0;
    for (auto it = pages; it.hasNext(); it.next())
        ++count;
    EXPECT_EQ(count, expectedPages);
}

TEST(PrintStrings, AFailedJobRaises)
{
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    qlytest::TempDir dir;
    QFile blocker(dir.file("file"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    printer.setOutputFileName(dir.file("file/below/out.pdf"));
    EXPECT_THROW(PrintStrings({"x"}, 40, printer), EPrinter);
}

TEST(Folders, AppDataFolderIsCreatedBelowTheDataHome)
{
    const QString expected = qEnvironmentVariable("XDG_DATA_HOME") + "/ORV Software/Quillory";
    EXPECT_EQ(GetAppDataFolder("Quillory"), expected);
    EXPECT_TRUE(QDir(expected).exists());
    EXPECT_EQ(GetSpecialFolder(CSIDL_APPDATA), qEnvironmentVariable("XDG_DATA_HOME"));
    EXPECT_EQ(GetSpecialFolder(0x7777), "");

    qlytest::TempDir dir;
    QFile blocker(dir.file("file"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    const QByteArray saved = qgetenv("XDG_DATA_HOME");
    qputenv("XDG_DATA_HOME", dir.file("file/data").toUtf8());
    EXPECT_EQ(GetAppDataFolder("Quillory"), "") << "a folder that cannot be created gives empty text";
    qputenv("XDG_DATA_HOME", saved);
}

TEST(DbUtils, MdacVersionTextToNumber)
{
    const QLocale comma(QLocale::German, QLocale::Germany);
    const QLocale point(QLocale::English, QLocale::UnitedStates);
    struct Case { const char* text; const QLocale& locale; double v; };
    const Case cases[] = {
        {"2.80.1022.0", comma, 2.8},
        {"2.80.1022.0", point, 0.0},
        {"2.50.4403.12", comma, 2.5},
        {"2.1", comma, 2.1},
        {"3.40.1", comma, 3.4},
        {"", comma, 0.0},
        {"abc", comma, 0.0},
        {"10.5", comma, 10.0}, // only the first 3 characters count: "10." -> "10,"
    };
    for (const Case& c : cases)
        EXPECT_DOUBLE_EQ(MdacVersionFromText(c.text, c.locale), c.v) << c.text;

    const double v = GetMdacVersion();
    EXPECT_FALSE(v > 0.0 && v < 2.5) << "the SQLite version is never below 2.5";
}

TEST(DbUtils, QuoteIdentifier)
{
    const QString jet = "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=x.mdb";
    const QString jetLower = "provider=microsoft.jet.oledb.4.0";
    const QString other = "Provider=MSDASQL;DSN=Kunden";
    struct Case { QString name; QString conn; QString quoted; };
    const Case cases[] = {
        {"Kunden", jet, "Kunden"},
        {"Kunden_2024", other, "Kunden_2024"},
        {"Straße", other, "Straße"},
        {"Meine Liste", jet, "[Meine Liste]"},
        {"Meine Liste", jetLower, "[Meine Liste]"},
        {"Meine Liste", other, "\"Meine Liste\""},
        {"E-Mail", other, "\"E-Mail\""},
        {"Tab$1", jet, "[Tab$1]"},
        {"a]b", jet, "[a]]b]"},
        {"a\"b", other, "\"a\"\"b\""},
        {"a\"b", jet, "[a\"b]"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(QuoteIdentifier(c.name, c.conn), c.quoted) << c.name.toStdString();

    EXPECT_EQ(QuoteSqlName("Last Name"), "\"Last Name\"");
    EXPECT_EQ(QuoteSqlName("Status"), "\"Status\"");
    EXPECT_EQ(QuoteSqlName("a\"b"), "\"a\"\"b\"");
}

TEST(DbUtils, CreateAccessDatabaseMakesAnOpenableFileOnlyWhenMissing)
{
    qlytest::TempDir dir;
    CreateAccessDatabase(dir.file("qly.db"));
    db::Connection conn;
    EXPECT_NO_THROW(conn.Open(dir.file("qly.db"), db::OpenMode::Existing));
    conn.Close();

    QFile text(dir.file("notes.txt"));
    ASSERT_TRUE(text.open(QIODevice::WriteOnly));
    text.write("not a database, keep me");
    text.close();
    CreateAccessDatabase(dir.file("notes.txt"));
    ASSERT_TRUE(text.open(QIODevice::ReadOnly));
    EXPECT_EQ(text.readAll(), "not a database, keep me");

    EXPECT_THROW(CreateAccessDatabase(dir.file("notes.txt/qly.db")), db::EDatabaseError);
}
