#include "platform/db/Connection.h"
#include "recipients/Schema.h"
#include "TestUtil.h"
#include "Printers.h"
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sqlite3.h>

using namespace recipients;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

namespace {

class SchemaTest : public ::testing::Test {
protected:
    void SetUp() override { conn.Open(dir.file("qly.db"), db::OpenMode::CreateIfMissing); }

    int Upgrade()
    {
        return UpgradeSchema(conn, [this](const QString& m) { messages << m; });
    }
    QList<QVariantList> Rows(const QString& sql) { return conn.Select(sql); }
    QString Version() { return conn.Scalar("SELECT \"Value\" FROM \"Settings\" WHERE \"Key\" = 'DBVersion'").toString(); }

    // An old file: userindex naming old list tables with the three name columns and more.
    void CreateOldLists()
    {
        conn.Execute("CREATE TABLE userindex (Lists TEXT(255))");
        conn.Execute("INSERT INTO userindex (Lists) VALUES ('Kunden'), ('Händler''s')");
        conn.Execute("CREATE TABLE Kunden (Email TEXT, \"Last Name\" TEXT, \"First Name\" TEXT, Firma TEXT)");
        conn.Execute("INSERT INTO Kunden VALUES ('  a@example.com \t', 'O''Neill', 'Ann', 'ACME'),"
                     "(NULL, 'Roe', ' Rick ', NULL)");
        conn.Execute("CREATE TABLE \"Händler's\" (\"_Old\" TEXT, Status INTEGER, Email TEXT, \"Last Name\" TEXT,"
                     " \"first name\" TEXT)");
        conn.Execute("INSERT INTO \"Händler's\" VALUES ('x', 1, 'h@example.com', 'Hahn', 'Hugo')");
    }

    qlytest::TempDir dir;
    db::Connection conn;
    QStringList messages;
};

TEST_F(SchemaTest, FreshFileGetsTheCurrentSchema)
{
    EXPECT_EQ(Upgrade(), 31);
    EXPECT_THAT(conn.TableNames(), ElementsAre("Attachments", "QlyMails", "RecipientsLists", "Settings"));
    EXPECT_TRUE(conn.TableExists("sqlite_sequence"));
    EXPECT_EQ(Rows("SELECT \"Key\", \"Value\" FROM \"Settings\""), (QList<QVariantList>{{"DBVersion", "31"}}));
    EXPECT_THAT(conn.ColumnNames("RecipientsLists"),
                ElementsAre("ID", "Name", "CreateDate", "LastUsedDate", "CreatedBy", "LockedBy"));
    EXPECT_THAT(conn.ColumnNames("QlyMails"), ElementsAre("ID", "Subject", "Body"));
    EXPECT_THAT(conn.ColumnNames("Attachments"), ElementsAre("ID", "QlyMails_ID", "Path"));
    EXPECT_EQ(Rows("SELECT * FROM QlyMails").size(), 0);
    EXPECT_TRUE(messages.isEmpty());

    // Bodies and paths are text: leading zeros and long subjects survive.
    conn.Execute("INSERT INTO QlyMails (Subject, Body) VALUES (?, '00123')", {QString(300, 'x')});
    EXPECT_EQ(Rows("SELECT length(Subject), typeof(Body), Body FROM QlyMails"),
              (QList<QVariantList>{{300LL, "text", "00123"}}));
}

TEST_F(SchemaTest, CurrentFileRunsOnlyTheVersionRead)
{
    ASSERT_EQ(Upgrade(), 31);
    QStringList log;
    conn.OnStatement = [&](const QString& sql) { log << sql; };
    EXPECT_EQ(Upgrade(), 31);
    ASSERT_EQ(log.size(), 1);
    EXPECT_THAT(log[0].toStdString(), HasSubstr("Settings"));
    EXPECT_THAT(log[0].toStdString(), HasSubstr("SELECT"));
}

TEST_F(SchemaTest, BadOrMissingVersionRowIsRepairedAndTheUpgradeCompletes)
{
    struct Case {
        const char* name;
        const char* setup;
    };
    const Case cases[] = {
        {"empty value", "INSERT INTO Settings (Key, Value) VALUES ('DBVersion', '')"},
        {"null value", "INSERT INTO Settings (Key) VALUES ('DBVersion')"},
        {"not a number", "INSERT INTO Settings (Key, Value) VALUES ('DBVersion', 'abc')"},
        {"no row", "INSERT INTO Settings (Key, Value) VALUES ('Other', 'x')"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        qlytest::TempDir d;
        db::Connection cn;
        cn.Open(d.file("qly.db"), db::OpenMode::CreateIfMissing);
        cn.Execute("CREATE TABLE Settings (Key TEXT(255), Value TEXT(255))");
        cn.Execute(c.setup);
        EXPECT_EQ(UpgradeSchema(cn, {}), 31);
        EXPECT_EQ(cn.Scalar("SELECT count(*) FROM Settings WHERE Key = 'DBVersion'").toInt(), 1);
        EXPECT_EQ(cn.Scalar("SELECT Value FROM Settings WHERE Key = 'DBVersion'").toString(), "31");
        EXPECT_TRUE(cn.TableExists("RecipientsLists"));
    }
}

TEST_F(SchemaTest, OldListsAreTakenOver)
{
    CreateOldLists();
    EXPECT_EQ(Upgrade(), 31);
    EXPECT_TRUE(messages.isEmpty());
    EXPECT_EQ(Rows("SELECT ID, Name FROM RecipientsLists ORDER BY ID"),
              (QList<QVariantList>{{1LL, "Kunden"}, {2LL, "Händler's"}}));
    EXPECT_THAT(conn.TableNames(), ElementsAre("Attachments", "QlyMails", "RL1", "RL2", "RecipientsLists", "Settings"));

    EXPECT_THAT(conn.ColumnNames("RL1"), ElementsAre("_ID", "Status", "Email", "Last Name", "First Name", "Firma"));
    EXPECT_EQ(Rows("SELECT * FROM RL1 ORDER BY _ID"),
              (QList<QVariantList>{{1LL, 0LL, "a@example.com", "O'Neill", "Ann", "ACME"},
                                   {2LL, 0LL, "", "Roe", "Rick", QVariant()}}));
    // The old status and the column starting with "_" are not user columns; the status is 0.
    EXPECT_THAT(conn.ColumnNames("RL2"), ElementsAre("_ID", "Status", "Email", "Last Name", "First Name"));
    EXPECT_EQ(Rows("SELECT * FROM RL2"), (QList<QVariantList>{{1LL, 0LL, "h@example.com", "Hahn", "Hugo"}}));
    // A user column compares ignoring case like the fixed ones.
    EXPECT_EQ(conn.Scalar("SELECT count(*) FROM RL1 WHERE Firma = 'acme' AND Email = 'A@EXAMPLE.COM'").toInt(), 1);
    EXPECT_EQ(Version(), "31");
}

TEST_F(SchemaTest, OldTableThatCannotBeCopiedStaysAndIsRetried)
{
    CreateOldLists();
    // A row longer than this connection accepts cannot be read or written.
    conn.Execute("INSERT INTO Kunden (Email) VALUES (?)", {QString(3000, 'z')});
    const int oldLimit = sqlite3_limit(conn.Handle(), SQLITE_LIMIT_LENGTH, 1000);
    conn.Execute("CREATE TABLE Settings (Key TEXT(255), Value TEXT(255))");
    conn.Execute("INSERT INTO Settings VALUES ('DBVersion', '30')");

    EXPECT_EQ(Upgrade(), 30);
    ASSERT_EQ(messages.size(), 1);
    EXPECT_THAT(messages[0].toStdString(), HasSubstr("\"Kunden\""));
    EXPECT_THAT(messages[0].toStdString(), ::testing::Not(HasSubstr("Händler")));
    EXPECT_EQ(Version(), "30");
    // The good table went over; the bad one is untouched, with no list or table left of it.
    EXPECT_EQ(Rows("SELECT ID, Name FROM RecipientsLists"), (QList<QVariantList>{{1LL, "Händler's"}}));
    EXPECT_THAT(conn.TableNames(), ElementsAre("Attachments", "Kunden", "QlyMails", "RL1", "RecipientsLists", "Settings", "userindex"));
    EXPECT_EQ(conn.Scalar("SELECT count(*) FROM Kunden").toInt(), 3);

    // Running again with the same trouble changes nothing and says so again.
    EXPECT_EQ(Upgrade(), 30);
    EXPECT_EQ(messages.size(), 2);
    EXPECT_EQ(conn.Scalar("SELECT count(*) FROM RecipientsLists").toInt(), 1);

    // Once the rows can be copied, the next run finishes: the table taken over earlier is skipped.
    sqlite3_limit(conn.Handle(), SQLITE_LIMIT_LENGTH, oldLimit);
    EXPECT_EQ(Upgrade(), 31);
    EXPECT_EQ(messages.size(), 2);
    EXPECT_EQ(Rows("SELECT ID, Name FROM RecipientsLists ORDER BY ID"),
              (QList<QVariantList>{{1LL, "Händler's"}, {2LL, "Kunden"}}));
    EXPECT_EQ(conn.Scalar("SELECT count(*) FROM RL2").toInt(), 3);
    EXPECT_EQ(conn.Scalar("SELECT length(Email) FROM RL2 WHERE _ID = 3").toInt(), 3000);
    EXPECT_THAT(conn.TableNames(), ElementsAre("Attachments", "QlyMails", "RL1", "RL2", "RecipientsLists", "Settings"));
    EXPECT_EQ(Version(), "31");
}

TEST_F(SchemaTest, RerunFromVersion30IsHarmless)
{
    ASSERT_EQ(Upgrade(), 31);
    conn.Execute("INSERT INTO RecipientsLists (Name, LockedBy) VALUES ('Liste', 'anna')");
    conn.Execute("INSERT INTO QlyMails (Subject, Body) VALUES ('Hallo', 'Text')");
    conn.Execute("UPDATE Settings SET Value = '30'");
    const auto before = Rows("SELECT type, name, sql FROM sqlite_master ORDER BY name");

    EXPECT_EQ(Upgrade(), 31);
    EXPECT_EQ(Rows("SELECT type, name, sql FROM sqlite_master ORDER BY name"), before);
    EXPECT_EQ(Rows("SELECT Name, LockedBy FROM RecipientsLists"), (QList<QVariantList>{{"Liste", "anna"}}));
    EXPECT_EQ(Rows("SELECT Subject FROM QlyMails"), (QList<QVariantList>{{"Hallo"}}));
    EXPECT_EQ(Version(), "31");
}

TEST_F(SchemaTest, OldDirectoryGetsTheLockColumnInPlaceOfTheBackupColumn)
{
    conn.Execute("CREATE TABLE Settings (Key TEXT(255), Value TEXT(255))");
    conn.Execute("INSERT INTO Settings VALUES ('DBVersion', '20')");
    conn.Execute("CREATE TABLE RecipientsLists (ID INTEGER PRIMARY KEY AUTOINCREMENT, Name TEXT(255) COLLATE NOCASE,"
                 " CreateDate TEXT, LastUsedDate TEXT, CreatedBy INTEGER, BackupTable TEXT(255))");
    conn.Execute("INSERT INTO RecipientsLists (Name, BackupTable) VALUES ('Liste', 'x')");
    EXPECT_EQ(Upgrade(), 31);
    EXPECT_THAT(conn.ColumnNames("RecipientsLists"),
                ElementsAre("ID", "Name", "CreateDate", "LastUsedDate", "CreatedBy", "LockedBy"));
    EXPECT_EQ(Rows("SELECT ID, Name FROM RecipientsLists"), (QList<QVariantList>{{1LL, "Liste"}}));
}

TEST_F(SchemaTest, UnguardedFailureRaises)
{
    // A QlyMails table without an ID column cannot be probed and cannot be created anew.
    conn.Execute("CREATE TABLE QlyMails (Subject TEXT)");
    EXPECT_THROW(Upgrade(), db::EDatabaseError);
    EXPECT_EQ(Version(), "");
}

} // namespace

namespace {

TEST_F(SchemaTest, OldTableWithoutANameColumnStays)
{
    // A missing column must not be read as the text of its quoted name.
    conn.Execute("CREATE TABLE userindex (Lists TEXT)");
    conn.Execute("INSERT INTO userindex VALUES ('Alt')");
    conn.Execute("CREATE TABLE Alt (Email TEXT, \"Last Name\" TEXT)");
    conn.Execute("INSERT INTO Alt VALUES ('a@example.com', 'Ames')");
    EXPECT_LT(Upgrade(), 31);
    ASSERT_EQ(messages.size(), 1);
    EXPECT_THAT(messages[0].toStdString(), HasSubstr("First Name"));
    EXPECT_TRUE(conn.TableExists("Alt"));
    EXPECT_TRUE(conn.TableExists("userindex"));
    EXPECT_EQ(conn.Scalar("SELECT count(*) FROM RecipientsLists").toInt(), 0);
}

} // namespace
