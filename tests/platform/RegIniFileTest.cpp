#include "platform/settings/RegIniFile.h"
#include "QtPrint.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>

using settings::ERegistryException;
using settings::TRegIniFile;

namespace {
const QString kKey = QStringLiteral("Software\\ORV Software\\Quillory2");

// Every test starts with no settings at all.
class RegIniFile : public ::testing::Test {
protected:
    void SetUp() override { QDir(qEnvironmentVariable("XDG_CONFIG_HOME")).removeRecursively(); }
};

QByteArray FileBytes(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}
} // namespace

TEST_F(RegIniFile, KeyLivesInPrivateFileBelowConfigHome)
{
    TRegIniFile ini(kKey);
    const QString expected = qEnvironmentVariable("XDG_CONFIG_HOME") + "/ORV Software/Quillory2.conf";
    EXPECT_EQ(ini.FileName(), expected);
    EXPECT_TRUE(QFileInfo::exists(expected)) << "opening creates the key";
    ini.WriteString("database", "file", "/x/qly.db");

    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(expected).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    ASSERT_EQ(::stat(QFile::encodeName(QFileInfo(expected).absolutePath()).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);

    EXPECT_EQ(TRegIniFile::FileNameForKey("Software\\ORV Software\\Quillory"),
              qEnvironmentVariable("XDG_CONFIG_HOME") + "/ORV Software/Quillory.conf");
}

TEST_F(RegIniFile, MissingOrMalformedValuesGiveTheDefault)
{
    TRegIniFile ini(kKey);
    EXPECT_EQ(ini.ReadString("allUser", "none", "dflt"), "dflt");
    EXPECT_EQ(ini.ReadInteger("allUser", "curList", -1), -1);
    EXPECT_TRUE(ini.ReadBool("Users\\x", "MultiThread", true));
    EXPECT_FALSE(ini.ReadBinaryData("", "WindowPos").has_value());

    struct Case { const char* text; int asInt; bool asBool; };
    const Case cases[] = {
        {"42", 42, true}, {"-1", -1, true}, {"0", 0, false}, {"", 7, true},
        {"abc", 7, true}, {"12x", 7, true}, {" 5", 5, true}, {"99999999999", 7, true},
    };
    for (const Case& c : cases) {
        ini.WriteString("allUser", "v", c.text);
        EXPECT_EQ(ini.ReadInteger("allUser", "v", 7), c.asInt) << c.text;
        EXPECT_EQ(ini.ReadBool("allUser", "v", true), c.asBool) << c.text;
    }
    ini.WriteBool("allUser", "MAPI", true);
    EXPECT_EQ(ini.ReadString("allUser", "MAPI", ""), "1");
    ini.WriteBool("allUser", "MAPI", false);
    EXPECT_EQ(ini.ReadString("allUser", "MAPI", ""), "0");
    ini.WriteInteger("allUser", "curMail", -12);
    EXPECT_EQ(ini.ReadString("allUser", "curMail", ""), "-12");
}

TEST_F(RegIniFile, NamesMatchIgnoringCaseAndKeepTheirFirstSpelling)
{
    TRegIniFile ini(kKey);
    ini.WriteString("Users\\Hans@Example.de", "Name", "Hans");
    ini.WriteString("USERS\\hans@example.DE", "NAME", "Hans B.");
    ini.WriteString("users\\zora@example.de", "Name", "Zora");
    ini.WriteString("Users\\anna@example.de", "Name", "Anna");

    EXPECT_EQ(ini.ReadString("users\\HANS@example.de", "name", ""), "Hans B.");
    EXPECT_EQ(ini.ReadSections(), QStringList{"Users"});
    EXPECT_EQ(ini.ReadSubKeys("uSeRs"),
              (QStringList{"anna@example.de", "Hans@Example.de", "zora@example.de"}));
    EXPECT_EQ(ini.ReadSection("Users\\hans@example.de"), QStringList{"Name"});
    EXPECT_TRUE(ini.SectionExists("USERS\\ZORA@EXAMPLE.DE"));
    EXPECT_TRUE(ini.ValueExists("users\\anna@example.de", "NAME"));
    EXPECT_FALSE(ini.ValueExists("users\\anna@example.de", "ReplyTo"));
}

TEST_F(RegIniFile, ValuesSurviveTheFileWhateverTheyHold)
{
    const QString tricky = "Zeile 1\r\nZeile \"2\"\t\\n [x] = ; # \x01 äöü € \U0001F600";
    const QByteArray placement = QByteArray::fromHex("2c00000000000000010000000000ff");
    {
        TRegIniFile ini(kKey);
        ini.WriteString("Users\\a]b@c.de", "Signature=Text", tricky);
        ini.WriteString("Users\\a]b@c.de", "Empty", "");
        ini.WriteBinaryData("", "WindowPos", placement);
        ini.WriteString("Users\\50% off", "Name", "p");
        ini.WriteBinaryData("x", "Nothing", QByteArray());
    }
    TRegIniFile again(kKey);
    EXPECT_EQ(again.ReadString("users\\a]b@c.de", "signature=text", ""), tricky);
    EXPECT_TRUE(again.ValueExists("Users\\a]b@c.de", "Empty"));
    EXPECT_EQ(again.ReadString("Users\\a]b@c.de", "Empty", "d"), "");
    EXPECT_EQ(again.ReadBinaryData("", "windowpos").value_or("missing"), placement);
    EXPECT_EQ(again.ReadBinaryData("x", "Nothing").value_or("missing"), QByteArray());
    EXPECT_EQ(again.ReadSubKeys("Users"), (QStringList{"50% off", "a]b@c.de"}));
}

// Found by the settings fuzzer: text with a surrogate that lost its partner (no UTF-8 form)
// came back as U+FFFD, and an escaped "\\" in a section header made a sub-key that no path
// could reach and that a write turned into two.
TEST_F(RegIniFile, LoneSurrogatesAndEscapedBackslashesKeepTheirMeaning)
{
    const QString high(QChar(0xD800)), low(QChar(0xDC00));
    const QString text = "a" + high + "b" + low + low + high + low + high;
    {
        TRegIniFile ini(kKey);
        ini.WriteString("Users\\x" + low + "y", "n" + high, text);
    }
    {
        TRegIniFile again(kKey);
        EXPECT_EQ(again.ReadSubKeys("Users"), QStringList{"x" + low + "y"});
        EXPECT_EQ(again.ReadString("Users\\x" + low + "y", "n" + high, "missing"), text);
    }

    const QString file = TRegIniFile::FileNameForKey(kKey);
    {
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write("[a%5cb]\n\"v\"=\"1\"\n");
    }
    TRegIniFile hand(kKey);
    EXPECT_EQ(hand.ReadSubKeys("a"), QStringList{"b"});
    EXPECT_EQ(hand.ReadString("a\\b", "v", ""), "1");
    hand.WriteString("a\\b", "w", "2");
    EXPECT_EQ(QString::fromUtf8(FileBytes(file)), "[a]\n\n[a\\b]\n\"v\"=\"1\"\n\"w\"=\"2\"\n");
}

// A damaged or hand-edited file: the lines the store cannot read, and comments, stay in their
// section through a rewrite, with their own line ends (a line that ends in two CRs must not turn
// into a section header); the values around them read and write as usual.
TEST_F(RegIniFile, LinesThatCannotBeReadSurviveARewrite)
{
    const QString file = TRegIniFile::FileNameForKey(kKey);
    QDir().mkpath(QFileInfo(file).absolutePath());
    {
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("; von Hand\r\n"
                "\"top\"=\"1\"\n"
                "[allUser]\n"
                "\"curList\"=\"3\"\n"
                "curMail=5\n"
                "\"broken\"=\"no end\n"
                "\"bad\"=\"\\q\"\n"
                "# Kommentar\n"
                "[Users\\a@b.de\n"
                "[Mail]\r\r\n"
                "\"last\"=\"x\"\n");
    }
    TRegIniFile ini(kKey);
    EXPECT_EQ(ini.ReadString("allUser", "curList", ""), "3");
    EXPECT_EQ(ini.ReadString("allUser", "last", ""), "x");
    EXPECT_FALSE(ini.ValueExists("allUser", "curMail"));
    EXPECT_FALSE(ini.SectionExists("Mail")) << "a header followed by a second CR is no header";
    ini.WriteString("allUser", "curList", "4");
    EXPECT_EQ(FileBytes(file), "\"top\"=\"1\"\n"
                               "; von Hand\r\n"
                               "\n[allUser]\n"
                               "\"curList\"=\"4\"\n"
                               "\"last\"=\"x\"\n"
                               "curMail=5\n"
                               "\"broken\"=\"no end\n"
                               "\"bad\"=\"\\q\"\n"
                               "# Kommentar\n"
                               "[Users\\a@b.de\n"
                               "[Mail]\r\r\n");
    // Read again and written again: the same file.
    const QByteArray once = FileBytes(file);
    TRegIniFile again(kKey);
    again.WriteString("allUser", "curList", "4");
    EXPECT_EQ(FileBytes(file), once);
}

TEST_F(RegIniFile, ReadingTheWrongKindRaises)
{
    TRegIniFile ini(kKey);
    ini.WriteBinaryData("", "WindowPos", QByteArray(44, '\0'));
    ini.WriteString("allUser", "curUser", "3");
    EXPECT_THROW(ini.ReadString("", "WindowPos", ""), ERegistryException);
    EXPECT_THROW(ini.ReadInteger("", "WindowPos", 0), ERegistryException);
    EXPECT_THROW(ini.ReadBool("", "WindowPos", false), ERegistryException);
    EXPECT_THROW(ini.ReadBinaryData("allUser", "curUser"), ERegistryException);
    // Writing another kind replaces the value.
    ini.WriteInteger("", "WindowPos", 5);
    EXPECT_EQ(ini.ReadInteger("", "WindowPos", 0), 5);
}

TEST_F(RegIniFile, EraseSectionTakesItsSubKeysAndDeleteKeyOneValue)
{
    TRegIniFile ini(kKey);
    ini.WriteString("Users\\a@b.de", "Name", "A");
    ini.WriteString("Users\\a@b.de\\deep", "x", "1");
    ini.WriteString("Users\\c@d.de", "Name", "C");
    ini.WriteString("Users\\c@d.de", "ReplyTo", "r@d.de");

    ini.EraseSection("USERS\\A@B.DE");
    EXPECT_FALSE(ini.SectionExists("Users\\a@b.de"));
    EXPECT_FALSE(ini.SectionExists("Users\\a@b.de\\deep"));
    EXPECT_EQ(ini.ReadSubKeys("Users"), QStringList{"c@d.de"});

    ini.DeleteKey("users\\c@d.de", "replyto");
    EXPECT_EQ(ini.ReadSection("Users\\c@d.de"), QStringList{"Name"});
    ini.EraseSection("nothing\\here"); // no such section: nothing happens
    ini.DeleteKey("nothing", "x");

    TRegIniFile again(kKey);
    EXPECT_EQ(again.ReadSubKeys("Users"), QStringList{"c@d.de"});
    EXPECT_FALSE(again.ValueExists("Users\\c@d.de", "ReplyTo"));
}

TEST_F(RegIniFile, TwoStoresOnOneKeySeeEachOthersWrites)
{
    TRegIniFile a(kKey);
    TRegIniFile b(kKey);
    a.WriteString("allUser", "x", "from a");
    EXPECT_EQ(b.ReadString("allUser", "x", ""), "from a");
    b.WriteString("allUser", "y", "from b");
    EXPECT_EQ(a.ReadString("allUser", "x", ""), "from a") << "b's write kept a's value";
    EXPECT_EQ(a.ReadString("allUser", "y", ""), "from b");
}

TEST_F(RegIniFile, InterruptedWriteLeavesThePreviousFile)
{
    TRegIniFile ini(kKey);
    ini.WriteString("database", "file", "/old/qly.db");
    const QByteArray before = FileBytes(ini.FileName());
    ASSERT_FALSE(before.isEmpty());

    // Let the file system refuse the write half-way: the store must report it and keep the old file.
    struct rlimit old {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    auto* oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = old;
    small.rlim_cur = 4096;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    bool raised = false;
    try {
        ini.WriteString("Users\\big", "SignatureText", QString(100000, QChar('x')));
    } catch (const ERegistryException&) {
        raised = true;
    }
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_TRUE(raised);
    EXPECT_EQ(FileBytes(ini.FileName()), before);
    EXPECT_EQ(QDir(QFileInfo(ini.FileName()).absolutePath()).entryList(QDir::Files | QDir::Hidden),
              QStringList{"Quillory2.conf"}) << "no temporary file is left behind";
    EXPECT_FALSE(ini.SectionExists("Users\\big"));
    EXPECT_EQ(ini.ReadString("database", "file", ""), "/old/qly.db");
}

TEST_F(RegIniFile, FileIsReadOnceAndAgainOnlyAfterAnotherProcessChangedIt)
{
    TRegIniFile writer(kKey);
    writer.WriteString("allUser", "curUser", "1");
    writer.WriteString("Users\\a@b.de", "Name", "Anna");
    const QString file = writer.FileName();

    // Another process's file (written beside and renamed over, same size): read once, then kept.
    const QByteArray outside = QByteArray(FileBytes(file)).replace("\"curUser\"=\"1\"", "\"curUser\"=\"7\"");
    {
        QFile f(file + ".new");
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(outside);
    }
    ASSERT_EQ(::rename(QFile::encodeName(file + ".new").constData(), QFile::encodeName(file).constData()), 0);
    const int before = TRegIniFile::FileReads();
    for (int i = 0; i < 20; ++i) {
        TRegIniFile reader(kKey);
        EXPECT_EQ(reader.ReadInteger("allUser", "curUser", 0), 7);
        EXPECT_EQ(reader.ReadSubKeys("Users"), QStringList{"a@b.de"});
        EXPECT_TRUE(reader.ValueExists("Users\\a@b.de", "Name"));
    }
    EXPECT_EQ(TRegIniFile::FileReads() - before, 1);

    // Own writes go through to the file without reading it back.
    writer.WriteString("allUser", "html", "1");
    EXPECT_EQ(TRegIniFile::FileReads() - before, 1);
    EXPECT_TRUE(FileBytes(file).contains("\"html\"=\"1\""));

    // A removed file is seen as an empty key.
    ASSERT_TRUE(QFile::remove(file));
    EXPECT_EQ(writer.ReadString("allUser", "html", "none"), "none");
}
