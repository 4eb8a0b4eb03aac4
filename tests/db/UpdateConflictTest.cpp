// Two programs on one database file: an update finds its row by key and by the values read, so a
// row another connection changed meanwhile is not overwritten.
#include "platform/db/ExtADODataSet.h"
#include "TestUtil.h"
#include <gtest/gtest.h>

using namespace db;

namespace {

struct TwoConnections {
    qlytest::TempDir dir;
    Connection a; // this program
    Connection b; // the other program
    TwoConnections()
    {
        a.Open(dir.file("qly.db"), OpenMode::CreateIfMissing);
        a.Execute("CREATE TABLE \"RL1\" (\"_ID\" INTEGER PRIMARY KEY AUTOINCREMENT, \"Status\" SMALLINT DEFAULT 0, "
                  "\"Email\" TEXT(255) COLLATE NOCASE, \"Last Name\" TEXT(255) COLLATE NOCASE, "
                  "\"First Name\" TEXT(255) COLLATE NOCASE, \"Stamp\" TIMESTAMP)");
        a.Execute("INSERT INTO \"RL1\" (\"Email\", \"Last Name\", \"First Name\", \"Stamp\") VALUES "
                  "('a@x.de', 'Alt', NULL, 1), ('b@x.de', 'Bert', 'B', 1)");
        b.Open(dir.file("qly.db"));
    }
    QString Stored(const char* column, int id = 1)
    {
        return b.Scalar(QStringLiteral("SELECT \"%1\" FROM \"RL1\" WHERE \"_ID\" = ?").arg(column), {id}).toString();
    }
};

} // namespace

TEST(UpdateConflict, AnotherProgramsChangeRefusesThePostAndShowsItsValue)
{
    TwoConnections db;
    TExtADODataSet ds(&db.a);
    ds.SetCommandText("SELECT * FROM RL1");
    ds.Open();
    ASSERT_EQ(ds.FieldByName("Last Name")->AsString(), "Alt"); // A has read the row

    db.b.Execute("UPDATE \"RL1\" SET \"Last Name\" = 'Von B' WHERE \"_ID\" = 1");

    ds.Edit();
    ds.FieldByName("Last Name")->SetAsString("Von A");
    EXPECT_EQ(ds.FieldByName("Last Name")->OldValue().toString(), "Alt");
    try {
        ds.Post();
        FAIL() << "the post went through";
    } catch (const EUpdateConflict& e) {
        EXPECT_EQ(e.message(), QString::fromUtf8("Der Datensatz wurde inzwischen von einem anderen Programm geändert. "
                                                 "Die aktuellen Werte wurden neu geladen."));
    }
    EXPECT_EQ(ds.State(), dsBrowse);
    EXPECT_EQ(ds.RecNo(), 1);
    EXPECT_EQ(ds.FieldByName("Last Name")->AsString(), "Von B");
    EXPECT_EQ(db.Stored("Last Name"), "Von B");

    // Now that A has B's value, A's next edit goes through.
    ds.Edit();
    ds.FieldByName("Last Name")->SetAsString("Von A");
    ds.Post();
    EXPECT_EQ(db.Stored("Last Name"), "Von A");
}

TEST(UpdateConflict, WhichChangesCountByUpdateCriteria)
{
    struct Case {
        const char* name;
        TUpdateCriteria criteria;
        const char* otherChange;  // what B does after A read the row
        const char* column;       // what A then edits
        bool refused;
    };
    const Case cases[] = {
        {"changed columns, B changed another one", adCriteriaUpdCols, "\"First Name\" = 'X'", "Last Name", false},
        {"changed columns, B changed only the case", adCriteriaUpdCols, "\"Last Name\" = 'ALT'", "Last Name", true},
        {"changed columns, B filled a NULL", adCriteriaUpdCols, "\"First Name\" = 'X'", "First Name", true},
        {"changed columns, B wrote the same value", adCriteriaUpdCols, "\"Last Name\" = 'Alt'", "Last Name", false},
        {"all columns", adCriteriaAllCols, "\"First Name\" = 'X'", "Last Name", true},
        {"key only: the last writer wins", adCriteriaKey, "\"Last Name\" = 'Von B'", "Last Name", false},
        {"time stamp, B left it", adCriteriaTimeStamp, "\"First Name\" = 'X'", "Last Name", false},
        {"time stamp, B moved it", adCriteriaTimeStamp, "\"First Name\" = 'X', \"Stamp\" = 2", "Last Name", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TwoConnections db;
        TExtADODataSet ds(&db.a);
        ds.SetCommandText("SELECT * FROM RL1");
        ds.SetUpdate_Criteria(c.criteria);
        ds.Open();
        ds.FieldByName(c.column)->AsString(); // read before B writes
        db.b.Execute(QStringLiteral("UPDATE \"RL1\" SET %1 WHERE \"_ID\" = 1").arg(c.otherChange));
        ds.Edit();
        ds.FieldByName(c.column)->SetAsString("Von A");
        if (c.refused) {
            EXPECT_THROW(ds.Post(), EUpdateConflict);
            EXPECT_NE(db.Stored(c.column), "Von A");
            EXPECT_EQ(ds.FieldByName(c.column)->AsString(), db.Stored(c.column));
        } else {
            EXPECT_NO_THROW(ds.Post());
            EXPECT_EQ(db.Stored(c.column), "Von A");
        }
    }
}

TEST(UpdateConflict, TimeStampWithoutSuchAColumnComparesAllColumns)
{
    TwoConnections db;
    db.a.Execute("CREATE TABLE \"Plain\" (\"_ID\" INTEGER PRIMARY KEY, \"A\" TEXT, \"B\" TEXT)");
    db.a.Execute("INSERT INTO \"Plain\" VALUES (1, 'a', 'b')");
    TExtADODataSet ds(&db.a);
    ds.SetCommandText("SELECT * FROM Plain");
    ds.SetUpdate_Criteria(adCriteriaTimeStamp);
    ds.Open();
    ds.FieldByName("A")->AsString();
    db.b.Execute("UPDATE \"Plain\" SET \"B\" = 'other' WHERE \"_ID\" = 1");
    ds.Edit();
    ds.FieldByName("A")->SetAsString("mine");
    EXPECT_THROW(ds.Post(), EUpdateConflict);
    EXPECT_EQ(ds.FieldByName("B")->AsString(), "other");
}

TEST(UpdateConflict, RowDeletedByAnotherProgramIsNoConflictButAnError)
{
    TwoConnections db;
    TExtADODataSet ds(&db.a);
    ds.SetCommandText("SELECT * FROM RL1");
    ds.Open();
    ds.FieldByName("Email")->AsString();
    db.b.Execute("DELETE FROM \"RL1\" WHERE \"_ID\" = 1");
    ds.Edit();
    ds.FieldByName("Email")->SetAsString("new@x.de");
    try {
        ds.Post();
        FAIL() << "the post went through";
    } catch (const EUpdateConflict&) {
        FAIL() << "a deleted row was reported as changed";
    } catch (const EDatabaseError&) {
        EXPECT_EQ(ds.State(), dsEdit); // the user's text is kept, as for any failed post
    }
    ds.Cancel();
}
