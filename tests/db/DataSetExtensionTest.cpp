// The dataset's own properties beyond reading and posting: resync after posts, refresh kinds,
// find, lookup, joins with a unique table, master/detail, nested datasets, lookup fields,
// indexes, versions and fetch sizes.
#include "platform/db/ExtADODataSet.h"
#include "TestUtil.h"
#include <gtest/gtest.h>
#include <sqlite3.h>

using namespace db;

namespace {

// Two lists and their members; "Members"."ListID" refers to "Lists"."_ID".
struct Db {
    qlytest::TempDir dir;
    Connection conn;
    Db()
    {
        conn.Open(dir.file("qly.db"), OpenMode::CreateIfMissing);
        conn.Execute("CREATE TABLE \"Lists\" (\"_ID\" INTEGER PRIMARY KEY AUTOINCREMENT, \"Name\" TEXT(255))");
        conn.Execute("CREATE TABLE \"Members\" (\"_ID\" INTEGER PRIMARY KEY AUTOINCREMENT, \"ListID\" INTEGER, "
                      "\"Status\" SMALLINT DEFAULT 0, \"Email\" TEXT(255), \"Changed\" INTEGER DEFAULT 0)");
        conn.Execute("INSERT INTO \"Lists\" (\"Name\") VALUES ('Kunden'), ('Presse'), ('Leer')");
        conn.Execute("INSERT INTO \"Members\" (\"ListID\", \"Status\", \"Email\") VALUES "
                     "(1, 0, 'a@x.de'), (1, 1, 'b@x.de'), (2, 0, 'c@x.de'), (1, 1, 'd@x.de'), (2, 2, 'e@x.de')");
    }
    QVariant Scalar(const QString& sql, const QVariantList& p = {}) { return conn.Scalar(sql, p); }
};

std::unique_ptr<TExtADODataSet> OpenSet(Connection& c, const QString& sql, const std::function<void(TExtADODataSet&)>& setUp = {})
{
    auto ds = std::make_unique<TExtADODataSet>(&c);
    ds->SetCommandText(sql);
    if (setUp)
        setUp(*ds);
    ds->Open();
    return ds;
}

QStringList Column(TDataSet& ds, const char* field)
{
    QStringList out;
    for (ds.First(); !ds.Eof(); ds.Next())
        out << ds.FieldByName(field)->AsString();
    return out;
}

} // namespace

TEST(DataSetExtension, UpdateResyncDecidesWhetherValuesTheDatabaseSetShowAfterAPost)
{
    Db db;
    db.conn.Execute("CREATE TRIGGER \"Stamp\" AFTER UPDATE OF \"Email\" ON \"Members\" BEGIN "
                    "UPDATE \"Members\" SET \"Changed\" = \"Changed\" + 1 WHERE \"_ID\" = NEW.\"_ID\"; END");
    db.conn.Execute("CREATE TRIGGER \"Fill\" AFTER INSERT ON \"Members\" BEGIN "
                    "UPDATE \"Members\" SET \"Changed\" = 100 WHERE \"_ID\" = NEW.\"_ID\"; END");
    for (const bool resync : {true, false}) {
        SCOPED_TRACE(resync ? "ResyncUpdates, ResyncInserts" : "no resync");
        auto ds = OpenSet(db.conn, "SELECT * FROM Members", [&](TExtADODataSet& d) {
            d.SetUpdate_Resync(resync ? ResyncAutoIncrement | ResyncUpdates | ResyncInserts : ResyncAutoIncrement);
        });
        const int before = ds->FieldByName("Changed")->AsInteger();
        ds->Edit();
        ds->FieldByName("Email")->SetAsString(resync ? "neu@x.de" : "neuer@x.de");
        ds->Post();
        EXPECT_EQ(ds->FieldByName("Changed")->AsInteger(), resync ? before + 1 : before);
        EXPECT_EQ(ds->FieldByName("Email")->AsString(), resync ? "neu@x.de" : "neuer@x.de");

        ds->Append();
        ds->FieldByName("Email")->SetAsString("x@x.de");
        ds->Post();
        EXPECT_GT(ds->FieldByName("_ID")->AsInteger(), 5) << "the new key is always taken";
        EXPECT_EQ(ds->FieldByName("Changed")->AsInteger(), resync ? 100 : 0);
    }
}

TEST(DataSetExtension, RefreshRereadsByRefreshType)
{
    Db db;
    Connection other;
    other.Open(db.dir.file("qly.db"));
    struct Case {
        TRefreshType type;
        const char* first;   // row 1's Email after the refresh
        const char* second;  // row 2's Email
        int count;           // records
    };
    const Case cases[] = {
        {rtResyncCurrent, "a1@x.de", "b@x.de", 5},
        {rtResyncAll, "a1@x.de", "b1@x.de", 5},
        {rtResyncGroup, "a1@x.de", "b1@x.de", 5},
        {rtRequery, "a1@x.de", "b1@x.de", 6},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(int(c.type));
        db.conn.Execute("UPDATE \"Members\" SET \"Email\" = substr(\"Email\", 1, 1) || '@x.de'");
        db.conn.Execute("DELETE FROM \"Members\" WHERE \"_ID\" > 5");
        auto ds = OpenSet(db.conn, "SELECT * FROM Members", [&](TExtADODataSet& d) { d.SetRefreshType(c.type); });
        EXPECT_EQ(Column(*ds, "Email").mid(0, 2), QStringList({"a@x.de", "b@x.de"}));
        ds->First();
        other.Execute("UPDATE \"Members\" SET \"Email\" = substr(\"Email\", 1, 1) || '1@x.de'");
        other.Execute("INSERT INTO \"Members\" (\"Email\") VALUES ('f@x.de')");
        ds->Refresh();
        EXPECT_EQ(ds->RecNo(), 1);
        EXPECT_EQ(ds->FieldByName("Email")->AsString(), c.first);
        ds->Next();
        EXPECT_EQ(ds->FieldByName("Email")->AsString(), c.second);
        EXPECT_EQ(ds->RecordCount(), c.count);
    }
}

TEST(DataSetExtension, ResyncCommandReadsTheCurrentRow)
{
    Db db;
    // A resync statement that reads only the address keeps the other values as they were read.
    auto ds = OpenSet(db.conn, "SELECT * FROM Members");
    ds->Resync_Command() << "SELECT \"Email\" FROM \"Members\" WHERE \"_ID\" = ?";
    EXPECT_EQ(ds->FieldByName("Status")->AsInteger(), 0);
    db.conn.Execute("UPDATE \"Members\" SET \"Email\" = 'neu@x.de', \"Status\" = 2 WHERE \"_ID\" = 1");
    ds->Refresh();
    EXPECT_EQ(ds->FieldByName("Email")->AsString(), "neu@x.de");
    EXPECT_EQ(ds->FieldByName("Status")->AsInteger(), 0);
}

TEST(DataSetExtension, FindUsesTheFilterTextWithoutFiltering)
{
    Db db;
    auto ds = OpenSet(db.conn, "SELECT * FROM Members ORDER BY Email DESC");
    ds->SetFilter("Status = 1");
    ASSERT_FALSE(ds->Filtered());
    EXPECT_TRUE(ds->FindFirst());
    EXPECT_EQ(ds->FieldByName("Email")->AsString(), "d@x.de");
    EXPECT_TRUE(ds->FindNext());
    EXPECT_EQ(ds->FieldByName("Email")->AsString(), "b@x.de");
    EXPECT_FALSE(ds->FindNext());
    EXPECT_FALSE(ds->Found());
    EXPECT_EQ(ds->FieldByName("Email")->AsString(), "b@x.de") << "no match: no move";
    EXPECT_TRUE(ds->FindPrior());
    EXPECT_EQ(ds->FieldByName("Email")->AsString(), "d@x.de");
    EXPECT_TRUE(ds->FindLast());
    EXPECT_EQ(ds->FieldByName("Email")->AsString(), "b@x.de");
    EXPECT_EQ(ds->RecordCount(), 5);

    // A statement read whole finds the same way.
    auto counts = OpenSet(db.conn, "SELECT ListID, COUNT(*) AS N FROM Members GROUP BY ListID");
    counts->SetFilter("N = 2");
    EXPECT_TRUE(counts->FindFirst());
    EXPECT_EQ(counts->FieldByName("ListID")->AsInteger(), 2);
    ds->SetFilter("Nonsense = ");
    EXPECT_THROW(ds->FindFirst(), EDatabaseError);
}

TEST(DataSetExtension, LookupAndLocateOnSeveralFields)
{
    Db db;
    auto ds = OpenSet(db.conn, "SELECT * FROM Members");
    ds->Next();
    EXPECT_EQ(ds->Lookup("Email", "c@x.de", "ListID").toInt(), 2);
    EXPECT_EQ(ds->Lookup("ListID;Status", QVariantList{1, 1}, "Email").toString(), "b@x.de");
    EXPECT_EQ(ds->Lookup("Email", "e@x.de", "ListID;Status").toList(), QVariantList({2, 2}));
    EXPECT_TRUE(ds->Lookup("Email", "nobody", "ListID").isNull());
    EXPECT_TRUE(ds->Lookup("NoSuchField", 1, "ListID").isNull());
    EXPECT_EQ(ds->RecNo(), 2) << "Lookup does not move";

    EXPECT_TRUE(ds->Locate("ListID;Status", QVariantList{2, 2}));
    EXPECT_EQ(ds->FieldByName("Email")->AsString(), "e@x.de");
    EXPECT_FALSE(ds->Locate("ListID;Status", QVariantList{3, 0}));
    EXPECT_TRUE(ds->Locate("ListID;Email", QVariantList{1, "D@"}, loCaseInsensitive | loPartialKey));
    EXPECT_EQ(ds->RecNo(), 4);
    // Filtered away counts as not there.
    ds->SetFilter("Status = 0");
    ds->SetFiltered(true);
    EXPECT_FALSE(ds->Locate("ListID;Status", QVariantList{2, 2}));
}

TEST(DataSetExtension, JoinTestAndDeleteGuardian)
{
    Db db;
    const QString join = "SELECT m.\"_ID\", m.\"Email\", l.\"Name\" FROM Members m JOIN Lists l ON l.\"_ID\" = m.ListID";
    TExtADODataSet plain(&db.conn);
    plain.SetCommandText("SELECT * FROM Members");
    EXPECT_EQ(plain.JoinTest(), jtInactive);
    plain.Open();
    EXPECT_EQ(plain.JoinTest(), jtNotJoined);
    plain.Close();
    EXPECT_EQ(plain.JoinTest(), jtInactive);

    auto ds = OpenSet(db.conn, join);
    EXPECT_EQ(ds->JoinTest(), jtJoined);
    EXPECT_FALSE(ds->CanModify());
    EXPECT_THROW(ds->Delete(), EAbort); // silently refused
    EXPECT_EQ(db.Scalar("SELECT COUNT(*) FROM Members").toInt(), 5);
    ds->Close();
    ds->SetDeleteGuardian(false);
    ds->Open();
    EXPECT_THROW(ds->Delete(), EDatabaseError);
    EXPECT_EQ(db.Scalar("SELECT COUNT(*) FROM Members").toInt(), 5);
}

TEST(DataSetExtension, JoinWritesToItsUniqueTable)
{
    Db db;
    Connection other;
    other.Open(db.dir.file("qly.db"));
    auto ds = OpenSet(db.conn,
                      "SELECT m.\"_ID\", m.\"Email\", m.ListID, l.\"Name\" FROM Members m JOIN Lists l ON l.\"_ID\" = m.ListID "
                      "ORDER BY m.\"_ID\"",
                      [](TExtADODataSet& d) { d.SetUnique_Table("Members"); });
    EXPECT_EQ(ds->JoinTest(), jtJoined);
    EXPECT_TRUE(ds->CanModify());
    EXPECT_FALSE(ds->FieldByName("Email")->ReadOnly());
    EXPECT_TRUE(ds->FieldByName("Name")->ReadOnly()) << "the other table's columns stay read-only";
    EXPECT_TRUE(ds->FieldByName("_ID")->ReadOnly());

    ds->Next(); // b@x.de
    ds->Edit();
    ds->FieldByName("Email")->SetAsString("bb@x.de");
    ds->FieldByName("ListID")->SetAsInteger(2);
    ds->Post();
    EXPECT_EQ(db.Scalar("SELECT Email FROM Members WHERE _ID = 2").toString(), "bb@x.de");
    EXPECT_EQ(ds->FieldByName("Name")->AsString(), "Presse") << "the joined row is read again";
    EXPECT_EQ(db.Scalar("SELECT Name FROM Lists WHERE _ID = 1").toString(), "Kunden");

    ds->Append();
    ds->FieldByName("Email")->SetAsString("neu@x.de");
    ds->FieldByName("ListID")->SetAsInteger(1);
    ds->Post();
    const int id = ds->FieldByName("_ID")->AsInteger();
    EXPECT_EQ(db.Scalar("SELECT Email FROM Members WHERE _ID = ?", {id}).toString(), "neu@x.de");
    EXPECT_EQ(ds->FieldByName("Name")->AsString(), "Kunden");
    EXPECT_EQ(ds->RecordCount(), 6);

    ds->Delete();
    EXPECT_FALSE(db.Scalar("SELECT 1 FROM Members WHERE _ID = ?", {id}).isValid());
    EXPECT_EQ(db.Scalar("SELECT COUNT(*) FROM Lists").toInt(), 3);
    EXPECT_EQ(ds->RecordCount(), 5);

    // The conflict detection holds for joined rows too.
    ds->First();
    other.Execute("UPDATE Members SET Email = 'anders@x.de' WHERE _ID = 1");
    ds->Edit();
    ds->FieldByName("Email")->SetAsString("meins@x.de");
    EXPECT_THROW(ds->Post(), EUpdateConflict);
    EXPECT_EQ(ds->FieldByName("Email")->AsString(), "anders@x.de");

    // With join resolution off nothing of the join is written.
    auto off = OpenSet(db.conn, "SELECT m.\"_ID\", m.\"Email\", l.\"Name\" FROM Members m JOIN Lists l ON l.\"_ID\" = m.ListID",
                       [](TExtADODataSet& d) {
                           d.SetUnique_Table("Members");
                           d.SetJoinsResolution(jrNone);
                       });
    EXPECT_FALSE(off->CanModify());
}

TEST(DataSetExtension, DetailFollowsItsMaster)
{
    Db db;
    auto lists = OpenSet(db.conn, "SELECT * FROM Lists");
    TDataSource source(lists.get());
    // By detail fields ...
    auto byFields = OpenSet(db.conn, "SELECT * FROM Members", [&](TExtADODataSet& d) {
        d.SetMasterSource(&source);
        d.SetMasterFields("_ID");
        d.SetIndexFieldNames("ListID");
    });
    // ... and by a parameter named like the master's field.
    auto byParam = OpenSet(db.conn, "SELECT * FROM Members WHERE ListID = :_ID AND Status < 2",
                           [&](TExtADODataSet& d) { d.SetMasterSource(&source); });
    EXPECT_EQ(Column(*byFields, "Email"), QStringList({"a@x.de", "b@x.de", "d@x.de"}));
    EXPECT_EQ(Column(*byParam, "Email"), QStringList({"a@x.de", "b@x.de", "d@x.de"}));
    lists->Next();
    EXPECT_EQ(Column(*byFields, "Email"), QStringList({"c@x.de", "e@x.de"}));
    EXPECT_EQ(Column(*byParam, "Email"), QStringList({"c@x.de"}));
    lists->Next();
    EXPECT_TRUE(byFields->IsEmpty());
    EXPECT_TRUE(byParam->IsEmpty());
    // A new detail row of the current master is found after the next master move.
    db.conn.Execute("INSERT INTO Members (ListID, Email) VALUES (3, 'z@x.de')");
    lists->First();
    lists->Last();
    EXPECT_EQ(Column(*byFields, "Email"), QStringList({"z@x.de"}));
    lists->Close();
    EXPECT_TRUE(byFields->Active()) << "a detail stays open when its master closes";
    byFields->SetMasterSource(nullptr);
    EXPECT_EQ(byFields->RecordCount(), 6) << "without a master every row";
}

TEST(DataSetExtension, NestedDataSetFieldHoldsTheRecordsRows)
{
    Db db;
    TExtADODataSet lists(&db.conn);
    lists.SetCommandText("SELECT * FROM Lists");
    lists.AddNestedField("Members", "SELECT Email FROM Members WHERE ListID = :_ID ORDER BY Email");
    lists.Open();
    TField* field = lists.FieldByName("Members");
    EXPECT_EQ(field->DataType(), ftDataSet);
    EXPECT_TRUE(field->ReadOnly());
    EXPECT_EQ(field->AsString(), "(DATASET)");
    TDataSet* nested = field->NestedDataSet();
    ASSERT_NE(nested, nullptr);
    EXPECT_TRUE(nested->Active());
    EXPECT_EQ(Column(*nested, "Email"), QStringList({"a@x.de", "b@x.de", "d@x.de"}));
    lists.Next();
    EXPECT_EQ(Column(*nested, "Email"), QStringList({"c@x.de", "e@x.de"}));
    lists.Close();
    EXPECT_FALSE(nested->Active());
    lists.Open();
    EXPECT_TRUE(lists.FieldByName("Members")->NestedDataSet()->Active());
}

TEST(DataSetExtension, LookupFieldShowsAndSetsTheKey)
{
    Db db;
    auto lists = OpenSet(db.conn, "SELECT * FROM Lists");
    TExtADODataSet members(&db.conn);
    members.SetCommandText("SELECT * FROM Members");
    members.AddLookupField("ListName", ftWideString, 255, "ListID", lists.get(), "_ID", "Name");
    members.Open();
    TField* name = members.FieldByName("ListName");
    EXPECT_EQ(name->FieldKind(), fkLookup);
    EXPECT_EQ(Column(members, "ListName"), QStringList({"Kunden", "Kunden", "Presse", "Kunden", "Presse"}));
    members.First();
    members.Edit();
    name->SetAsString("Leer");
    EXPECT_EQ(members.FieldByName("ListID")->AsInteger(), 3);
    members.Post();
    EXPECT_EQ(db.Scalar("SELECT ListID FROM Members WHERE _ID = 1").toInt(), 3);
    EXPECT_EQ(name->AsString(), "Leer");
    members.Requery(); // the lookup field outlives a new snapshot and a reopen
    members.Close();
    members.Open();
    EXPECT_EQ(members.FieldByName("ListName")->AsString(), "Leer");
}

TEST(DataSetExtension, IndexDefsVersionFetchSizesAndBcd)
{
    Db db;
    db.conn.Execute("CREATE UNIQUE INDEX \"ByEmail\" ON \"Members\" (\"Email\")");
    db.conn.Execute("CREATE INDEX \"ByList\" ON \"Members\" (\"ListID\", \"Status\")");
    db.conn.Execute("CREATE TABLE \"Prices\" (\"A\" DECIMAL(10,2), \"B\" DECIMAL(20,4), \"C\" NUMERIC(5))");
    auto ds = OpenSet(db.conn, "SELECT * FROM Members");
    QStringList defs;
    for (const TIndexDef& d : ds->IndexDefs())
        defs << QStringLiteral("%1:%2:%3").arg(d.Name, d.Fields).arg(d.Unique);
    EXPECT_EQ(defs, QStringList({"ByEmail:Email:1", "ByList:ListID;Status:0"}));

    EXPECT_EQ(ds->Version().ExtADSVersion(), "4.04");
    EXPECT_EQ(ds->Version().ADOVersion(), QString::fromLatin1(sqlite3_libversion()));
    EXPECT_EQ(ds->Version().DBMSName(), "SQLite");
    EXPECT_EQ(ds->Version().DBMSVersion(), QString::fromLatin1(sqlite3_libversion()));
    EXPECT_EQ(ds->Version().ODBCDriverName(), "Not used");
    TExtADODataSet loose;
    EXPECT_EQ(loose.Version().ProviderName(), "No Connection Object");
    EXPECT_EQ(loose.Version().ExtADSVersion(), "4.04");

    db.conn.Execute("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 200) "
                    "INSERT INTO Members (Email) SELECT 'n' || i FROM n");
    EXPECT_EQ(ds->InitialFetchSize(), 0);
    EXPECT_EQ(ds->BackgroundFetchSize(), 15);
    ds->Close();
    ds->SetInitialFetchSize(40);
    ds->SetBackgroundFetchSize(10);
    ds->Open();
    EXPECT_EQ(ds->PageReads(), 4) << "40 rows at open, 10 a time";
    ds->SetRecNo(100);
    (void)ds->FieldByName("Email")->AsString();
    EXPECT_EQ(ds->PageReads(), 5);

    auto prices = OpenSet(db.conn, "SELECT * FROM Prices");
    EXPECT_EQ(prices->FieldByName("A")->DataType(), ftFloat);
    EXPECT_EQ(prices->FieldByName("B")->DataType(), ftBCD);
    EXPECT_EQ(prices->FieldByName("C")->DataType(), ftInteger);
    prices->Close();
    prices->SetEnableBCD(true);
    prices->Open();
    EXPECT_EQ(prices->FieldByName("A")->DataType(), ftBCD);
    EXPECT_EQ(prices->FieldByName("C")->DataType(), ftInteger);
    EXPECT_THROW(prices->SetEnableBCD(false), EDatabaseError) << "only while closed";
}
