#include "platform/db/Connection.h"
#include "recipients/RecipientListStore.h"
#include "recipients/Schema.h"
#include "TestUtil.h"
#include "Printers.h"
#include <gmock/gmock.h>
#include <gtest/gtest.h>

using namespace recipients;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

namespace {

class ListStoreTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        conn.Open(dir.file("qly.db"), db::OpenMode::CreateIfMissing);
        ASSERT_EQ(UpgradeSchema(conn, {}), 31);
        store.TEMP = "temp4711";
    }
    QList<QVariantList> Rows(const QString& sql) { return conn.Select(sql); }

    qlytest::TempDir dir;
    db::Connection conn;
    TRecipientListStore store{conn};
};

TEST_F(ListStoreTest, NamesResolveIgnoringCase)
{
    EXPECT_FALSE(store.ListExists("Kunden"));
    EXPECT_EQ(store.GetListID("Kunden"), -1);
    EXPECT_EQ(store.CreateListTable("Kunden"), "RL1");
    EXPECT_EQ(store.CreateListTable("O'Brien \"Liste\""), "RL2");

    const struct {
        const char* name;
        int id;
    } cases[] = {{"Kunden", 1}, {"KUNDEN", 1}, {"kunden", 1}, {"O'Brien \"Liste\"", 2}, {"o'brien \"LISTE\"", 2},
                 {"Kunden ", -1}, {"Kunde", -1}, {"", -1}, {"RL1", -1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(store.GetListID(c.name), c.id);
        EXPECT_EQ(store.ListExists(c.name), c.id >= 0);
    }
}

TEST_F(ListStoreTest, CreateListEntryAddsOnlyNewStoredNames)
{
    EXPECT_EQ(store.CreateListEntry("Händler's"), "RL1");
    EXPECT_EQ(store.CreateListEntry("Zweite"), "RL2");
    // An existing name (in any case) and the unsaved list's table add nothing.
    EXPECT_EQ(store.CreateListEntry("HäNDLER's"), "HäNDLER's");
    EXPECT_EQ(store.CreateListEntry("temp4711"), "temp4711");
    EXPECT_EQ(Rows("SELECT ID, Name, LockedBy FROM RecipientsLists ORDER BY ID"),
              (QList<QVariantList>{{1LL, "Händler's", QVariant()}, {2LL, "Zweite", QVariant()}}));
    EXPECT_TRUE(conn.TableNames().filter("RL").isEmpty());
}

TEST_F(ListStoreTest, CreateListTableLayout)
{
    ASSERT_EQ(store.CreateListTable("Kunden"), "RL1");
    EXPECT_THAT(conn.ColumnNames("RL1"), ElementsAre("_ID", "Status", "Email", "Last Name", "First Name"));
    conn.Execute("INSERT INTO RL1 (Email) VALUES ('00123'), ('A@Example.com')");
    EXPECT_EQ(Rows("SELECT _ID, Status, typeof(Email), Email, \"Last Name\" FROM RL1"),
              (QList<QVariantList>{{1LL, 0LL, "text", "00123", QVariant()}, {2LL, 0LL, "text", "A@Example.com", QVariant()}}));
    EXPECT_EQ(conn.Scalar("SELECT _ID FROM RL1 WHERE Email = 'a@EXAMPLE.com'").toInt(), 2);
    db::Statement st(conn, "SELECT * FROM RL1");
    EXPECT_EQ(st.ColumnDeclType(2), "TEXT(255)");

    // The unsaved list's table has no directory row.
    EXPECT_EQ(store.CreateListTable("temp4711"), "temp4711");
    EXPECT_THAT(conn.ColumnNames("temp4711"), ElementsAre("_ID", "Status", "Email", "Last Name", "First Name"));
    EXPECT_EQ(conn.Scalar("SELECT count(*) FROM RecipientsLists").toInt(), 1);

    // A user column compares ignoring case too.
    store.AddTextColumn("RL1", "Firma");
    conn.Execute("UPDATE RL1 SET Firma = 'ACME' WHERE _ID = 1");
    EXPECT_EQ(conn.Scalar("SELECT _ID FROM RL1 WHERE Firma = 'acme'").toInt(), 1);
}

TEST_F(ListStoreTest, FailedCreateLeavesNoDirectoryRow)
{
    conn.Execute("CREATE TABLE RL1 (x TEXT)"); // stands in the way of the first list table
    EXPECT_THROW(store.CreateListTable("Kunden"), db::EDatabaseError);
    EXPECT_FALSE(store.ListExists("Kunden"));
    conn.Execute("DROP TABLE RL1");
    EXPECT_EQ(store.CreateListTable("Kunden"), "RL1") << "the failed attempt used up no ID";
}

TEST_F(ListStoreTest, CopyTableRenumbersAndPutsTheKeyLast)
{
    ASSERT_EQ(store.CreateListTable("Kunden"), "RL1");
    store.AddTextColumn("RL1", "Firma");
    conn.Execute("INSERT INTO RL1 (_ID, Status, Email, Firma) VALUES (7, 2, 'c@x', 'C'), (3, 1, 'a@x', 'A'), (5, 0, 'b@x', NULL)");

    store.CopyTable("RL1", "Backup_RL1");
    EXPECT_THAT(conn.ColumnNames("Backup_RL1"), ElementsAre("Status", "Email", "Last Name", "First Name", "Firma", "_ID"));
    EXPECT_EQ(Rows("SELECT _ID, Status, Email, Firma FROM Backup_RL1 ORDER BY _ID"),
              (QList<QVariantList>{{1LL, 1LL, "a@x", "A"}, {2LL, 0LL, "b@x", QVariant()}, {3LL, 2LL, "c@x", "C"}}));
    // Keys, defaults and case-insensitive text survive the copy.
    conn.Execute("INSERT INTO Backup_RL1 (Email) VALUES ('d@x')");
    EXPECT_EQ(Rows("SELECT _ID, Status FROM Backup_RL1 WHERE Email = 'D@X'"), (QList<QVariantList>{{4LL, 0LL}}));
    EXPECT_EQ(conn.Scalar("SELECT Email FROM Backup_RL1 WHERE Firma = 'c'").toString(), "c@x");

    // A copy of a copy keeps the column order with the key last.
    store.CopyTable("Backup_RL1", "RL9");
    EXPECT_THAT(conn.ColumnNames("RL9"), ElementsAre("Status", "Email", "Last Name", "First Name", "Firma", "_ID"));
    EXPECT_EQ(conn.Scalar("SELECT group_concat(Email) FROM (SELECT Email FROM RL9 ORDER BY _ID)").toString(), "a@x,b@x,c@x,d@x");
}

TEST_F(ListStoreTest, FailedCopyNamesTheStatementAndChangesNothing)
{
    ASSERT_EQ(store.CreateListTable("Kunden"), "RL1");
    conn.Execute("CREATE TABLE Backup_RL1 (Email TEXT)");
    conn.Execute("INSERT INTO Backup_RL1 VALUES ('old')");
    struct Case {
        const char* source;
        const char* target;
    };
    for (const Case& c : {Case{"RL1", "Backup_RL1"}, Case{"RL404", "Backup_RL404"}}) {
        SCOPED_TRACE(c.source);
        try {
            store.CopyTable(c.source, c.target);
            ADD_FAILURE() << "no error";
        } catch (const db::EDatabaseError& e) {
            EXPECT_THAT(e.message().toStdString(), HasSubstr(" - CommandText:CREATE TABLE \"" + std::string(c.target) + "\""));
        }
    }
    EXPECT_EQ(Rows("SELECT * FROM Backup_RL1"), (QList<QVariantList>{{"old"}}));
    EXPECT_FALSE(conn.TableExists("Backup_RL404"));
}

} // namespace
