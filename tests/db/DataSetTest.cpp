// The dataset layer: snapshots, posting, bookmarks, filters and data links.
#include "platform/db/ExtADODataSet.h"
#include "TestUtil.h"
#include <gtest/gtest.h>

using namespace db;

namespace {

// A list table exactly as the program lays it out (in its SQLite form).
void CreateListTable(Connection& c, const QString& table, int rows, int firstStatus1 = -1)
{
    c.Execute(QStringLiteral("CREATE TABLE %1 (\"_ID\" INTEGER PRIMARY KEY AUTOINCREMENT, \"Status\" SMALLINT DEFAULT 0, "
                             "\"Email\" TEXT(255) COLLATE NOCASE, \"Last Name\" TEXT(255) COLLATE NOCASE, "
                             "\"First Name\" TEXT(255) COLLATE NOCASE)")
                  .arg(QuoteName(table)));
    Transaction t(c);
    for (int i = 1; i <= rows; ++i)
        c.Execute(QStringLiteral("INSERT INTO %1 (\"Status\", \"Email\", \"Last Name\", \"First Name\") VALUES (?, ?, ?, ?)")
                      .arg(QuoteName(table)),
                  {i == firstStatus1 ? 1 : 0, QStringLiteral("user%1@example.com").arg(i), QStringLiteral("Last%1").arg(i),
                   QStringLiteral("First%1").arg(i)});
    t.Commit();
}

struct Db {
    qlytest::TempDir dir;
    Connection conn;
    Db() { conn.Open(dir.file("qly.db"), OpenMode::CreateIfMissing); }
    QString path() const { return dir.file("qly.db"); }
};

// A data link that writes every notification into a log.
class LogLink : public TDataLink {
public:
    QStringList log;
    void ActiveChanged() override { log << QStringLiteral("active:%1").arg(Active()); }
    void CheckBrowseMode() override { log << QStringLiteral("checkbrowse"); }
    void DataSetChanged() override { log << QStringLiteral("changed"); }
    void DataSetScrolled(int d) override { log << QStringLiteral("scrolled:%1").arg(d); }
    void EditingChanged() override { log << QStringLiteral("editing:%1").arg(Editing()); }
    void LayoutChanged() override { log << QStringLiteral("layout"); }
    void RecordChanged(TField* f) override { log << QStringLiteral("record:%1").arg(f ? f->FieldName() : QString()); }
    void UpdateData() override { log << QStringLiteral("updatedata"); }
    void FocusControl(TField*& f) override
    {
        log << QStringLiteral("focus:%1").arg(f ? f->FieldName() : QString());
        f = nullptr;
    }
};

QString EmailOf(Connection& c, int id)
{
    return c.Scalar(QStringLiteral("SELECT \"Email\" FROM \"RL1\" WHERE \"_ID\" = ?"), {id}).toString();
}

} // namespace

TEST(DataSet, FieldListOfAListTable)
{
    Db db;
    CreateListTable(db.conn, "RL1", 3);
    db.conn.Execute("ALTER TABLE \"RL1\" ADD COLUMN \"Company\" TEXT(255) COLLATE NOCASE");
    TExtADODataSet ds(&db.conn);
    ds.SetCommandText("SELECT * FROM RL1");
    ds.Open();
    EXPECT_TRUE(ds.IsTableCursor());
    EXPECT_EQ(ds.KeyFieldName(), "_ID");
    EXPECT_EQ(ds.FieldNames(), QStringList({"_ID", "Status", "Email", "Last Name", "First Name", "Company"}));
    TField* id = ds.FieldByName("_ID");
    EXPECT_EQ(id->DataType(), ftAutoInc);
    EXPECT_TRUE(id->ReadOnly());
    EXPECT_FALSE(id->CanModify());
    EXPECT_EQ(id->Alignment(), taRightJustify);
    TField* status = ds.FieldByName("status"); // names match ignoring case
    EXPECT_EQ(status->DataType(), ftSmallint);
    EXPECT_EQ(status->Size(), 0);
    EXPECT_FALSE(status->ReadOnly());
    EXPECT_TRUE(status->CanModify());
    EXPECT_TRUE(status->IsValidChar('7'));
    EXPECT_FALSE(status->IsValidChar('x'));
    EXPECT_EQ(status->DisplayWidth(), 6);
    for (const char* name : {"Email", "Last Name", "First Name", "Company"}) {
        TField* f = ds.FieldByName(name);
        EXPECT_EQ(f->DataType(), ftWideString) << name;
        EXPECT_EQ(f->Size(), 255) << name;
        EXPECT_EQ(f->DisplayWidth(), 255) << name;
        EXPECT_EQ(f->Alignment(), taLeftJustify) << name;
        EXPECT_TRUE(f->IsValidChar(QChar(0x013B))) << name;
        EXPECT_FALSE(f->Required()) << name;
        EXPECT_TRUE(f->Visible()) << name;
    }
    EXPECT_EQ(ds.FindField("Nope"), nullptr);
    EXPECT_THROW(ds.FieldByName("Nope"), EDatabaseError);
    try {
        ds.FieldByName("Nope");
    } catch (const EDatabaseError& e) {
        EXPECT_EQ(e.message(), "Field 'Nope' not found");
    }
    EXPECT_EQ(ds.FieldByName("Email")->DisplayLabel(), "Email");
    EXPECT_EQ(ds.FieldByName("Email")->AsString(), "user1@example.com");
    EXPECT_EQ(ds.FieldByName("_ID")->Value().toLongLong(), 1);
    EXPECT_EQ(ds.FieldByName("Email")->Value().typeId(), QMetaType::QString);
}

TEST(DataSet, FieldTypesFromDeclaredTypes)
{
    int size = -1;
    EXPECT_EQ(TExtADODataSet::FieldTypeFromDecl("TEXT(255)", &size), ftWideString);
    EXPECT_EQ(size, 255);
    EXPECT_EQ(TExtADODataSet::FieldTypeFromDecl("TEXT", &size), ftMemo);
    EXPECT_EQ(size, 0);
    EXPECT_EQ(TExtADODataSet::FieldTypeFromDecl("SMALLINT", &size), ftSmallint);
    EXPECT_EQ(TExtADODataSet::FieldTypeFromDecl("INTEGER", &size), ftInteger);
    EXPECT_EQ(TExtADODataSet::FieldTypeFromDecl("BIGINT", &size), ftLargeint);
    EXPECT_EQ(TExtADODataSet::FieldTypeFromDecl("DATETIME", &size), ftDateTime);
    EXPECT_EQ(TExtADODataSet::FieldTypeFromDecl("REAL", &size), ftFloat);
    EXPECT_EQ(TExtADODataSet::FieldTypeFromDecl("BLOB", &size), ftBlob);
    EXPECT_EQ(TExtADODataSet::FieldTypeFromDecl("BOOLEAN", &size), ftBoolean);
    EXPECT_EQ(TExtADODataSet::FieldTypeFromDecl("", &size), ftVariant);
}

TEST(DataSet, OneTableStatementWithoutIdUsesTheRowid)
{
    Db db;
    db.conn.Execute("CREATE TABLE \"QlyMails\" (\"ID\" INTEGER PRIMARY KEY AUTOINCREMENT, \"Subject\" TEXT(255), \"Body\" TEXT)");
    db.conn.Execute("CREATE TABLE \"Settings\" (\"Key\" TEXT(255), \"Value\" TEXT(255))");
    db.conn.Execute("INSERT INTO \"Settings\" VALUES ('DBVersion', '31')");
    TExtADODataSet mails(&db.conn);
    mails.SetCommandText("SELECT * FROM QlyMails");
    mails.Open();
    EXPECT_EQ(mails.KeyFieldName(), "rowid");
    EXPECT_EQ(mails.FieldByName("ID")->DataType(), ftAutoInc);
    EXPECT_TRUE(mails.FieldByName("ID")->ReadOnly());
    EXPECT_EQ(mails.FieldByName("Body")->DataType(), ftMemo);
    mails.Append();
    mails.FieldByName("Subject")->SetAsString("Hello");
    mails.Post();
    EXPECT_EQ(mails.FieldByName("ID")->AsInteger(), 1);
    const TBookmark bm = mails.GetBookmark();
    mails.Requery();
    EXPECT_TRUE(mails.BookmarkValid(bm));

    TExtADODataSet settings(&db.conn);
    settings.SetCommandText("SELECT `Value` FROM `Settings` WHERE Key ='DBVersion'");
    settings.Open();
    EXPECT_TRUE(settings.IsTableCursor());
    EXPECT_EQ(settings.FieldByName("Value")->AsInteger(), 31);
    settings.Edit();
    settings.FieldByName("Value")->SetAsString("32");
    settings.Post();
    EXPECT_EQ(db.conn.Scalar("SELECT Value FROM Settings").toString(), "32");
}

TEST(DataSet, TwoDatasetsOnTheSameRowPostDifferentFieldsAndBothStay)
{
    Db db;
    CreateListTable(db.conn, "RL1", 5);
    Connection other;
    other.Open(db.path());
    TExtADODataSet a(&db.conn), b(&other);
    a.SetCommandText("SELECT * FROM RL1");
    b.SetCommandText("SELECT * FROM RL1");
    a.Open();
    b.Open();
    ASSERT_TRUE(a.Locate("_ID", 3));
    ASSERT_TRUE(b.Locate("_ID", 3));
    a.Edit();
    b.Edit();
    a.FieldByName("Email")->SetAsString("new@example.com");
    b.FieldByName("Last Name")->SetAsString("Newname");
    a.Post();
    b.Post();
    const auto row = db.conn.Select("SELECT Email, \"Last Name\", \"First Name\" FROM RL1 WHERE _ID = 3");
    ASSERT_EQ(row.size(), 1);
    EXPECT_EQ(row[0][0].toString(), "new@example.com");
    EXPECT_EQ(row[0][1].toString(), "Newname");
    EXPECT_EQ(row[0][2].toString(), "First3");
}

TEST(DataSet, PostWritesOnlyTheChangedFields)
{
    Db db;
    CreateListTable(db.conn, "RL1", 2);
    TExtADODataSet ds(&db.conn);
    ds.SetCommandText("SELECT * FROM RL1");
    ds.Open();
    QStringList log;
    db.conn.OnStatement = [&](const QString& sql) { log << sql; };
    ds.Edit();
    ds.FieldByName("First Name")->SetAsString("Anna");
    ds.Post();
    db.conn.OnStatement = nullptr;
    QStringList updates = log.filter("UPDATE");
    ASSERT_EQ(updates.size(), 1);
    EXPECT_TRUE(updates[0].contains("\"First Name\""));
    EXPECT_FALSE(updates[0].contains("Email"));
    EXPECT_FALSE(updates[0].contains("Status"));
    EXPECT_EQ(ds.State(), dsBrowse);
    EXPECT_EQ(ds.FieldByName("First Name")->AsString(), "Anna");
}

TEST(DataSet, NewRecordShowsDefaultsBeforePostingAndItsIdAfter)
{
    Db db;
    CreateListTable(db.conn, "RL1", 4);
    TExtADODataSet ds(&db.conn);
    ds.SetCommandText("SELECT * FROM RL1");
    ds.Open();
    ds.Append();
    EXPECT_EQ(ds.State(), dsInsert);
    EXPECT_FALSE(ds.FieldByName("Status")->IsNull());
    EXPECT_EQ(ds.FieldByName("Status")->AsInteger(), 0);
    EXPECT_TRUE(ds.FieldByName("_ID")->IsNull());
    EXPECT_EQ(ds.RecNo(), -1);
    EXPECT_EQ(ds.RecordCount(), 4);
    ds.FieldByName("Email")->SetAsString("fresh@example.com");
    ds.Post();
    EXPECT_EQ(ds.State(), dsBrowse);
    EXPECT_EQ(ds.FieldByName("_ID")->AsInteger(), 5);
    EXPECT_EQ(ds.FieldByName("Email")->AsString(), "fresh@example.com");
    EXPECT_EQ(ds.RecordCount(), 5);
    EXPECT_EQ(ds.RecNo(), 5);
    EXPECT_EQ(db.conn.Scalar("SELECT Status FROM RL1 WHERE _ID = 5").toLongLong(), 0);
}

TEST(DataSet, AnInsertedRowStaysWhereItWasInsertedUntilRequery)
{
    Db db;
    CreateListTable(db.conn, "RL1", 5);
    TExtADODataSet ds(&db.conn);
    ds.SetCommandText("SELECT * FROM RL1");
    ds.Open();
    ds.SetRecNo(3);
    ds.Insert();
    ds.FieldByName("Email")->SetAsString("middle@example.com");
    ds.Post();
    EXPECT_EQ(ds.RecNo(), 3);
    EXPECT_EQ(ds.FieldByName("_ID")->AsInteger(), 6);
    const TBookmark inserted = ds.GetBookmark();
    ds.Next();
    EXPECT_EQ(ds.FieldByName("_ID")->AsInteger(), 3);
    ds.Prior();
    ds.Prior();
    EXPECT_EQ(ds.FieldByName("_ID")->AsInteger(), 2);
    EXPECT_LT(ds.CompareBookmarks(inserted, [&] { ds.Last(); return ds.GetBookmark(); }()), 0);
    ds.Requery();
    ds.GotoBookmark(inserted);
    EXPECT_EQ(ds.RecNo(), 6);
    EXPECT_EQ(ds.FieldByName("Email")->AsString(), "middle@example.com");
}

TEST(DataSet, ARowInsertedByAnotherConnectionAppearsOnlyAfterRequery)
{
    Db db;
    CreateListTable(db.conn, "RL1", 3);
    TExtADODataSet ds(&db.conn);
    ds.SetCommandText("SELECT * FROM RL1");
    ds.Open();
    ds.Last();
    (void)ds.FieldByName("Email")->AsString();
    Connection other;
    other.Open(db.path());
    other.Execute("INSERT INTO RL1 (Email) VALUES ('late@example.com')");
    EXPECT_EQ(ds.RecordCount(), 3);
    ds.First();
    ds.Last();
    EXPECT_EQ(ds.FieldByName("_ID")->AsInteger(), 3);
    EXPECT_FALSE(ds.Locate("Email", "late@example.com"));
    ds.Requery();
    EXPECT_EQ(ds.RecordCount(), 4);
    EXPECT_EQ(ds.RecNo(), 1);
    EXPECT_TRUE(ds.Locate("Email", "LATE@example.com", loCaseInsensitive));
    EXPECT_EQ(ds.FieldByName("_ID")->AsInteger(), 4);
}

TEST(DataSet, MovingOffAnEditedRowPostsIt)
{
    Db db;
    CreateListTable(db.conn, "RL1", 5);
    TExtADODataSet ds(&db.conn);
    ds.SetCommandText("SELECT * FROM RL1");
    ds.Open();
    ds.Edit();
    ds.FieldByName("Email")->SetAsString("moved@example.com");
    ds.Next();
    EXPECT_EQ(ds.State(), dsBrowse);
    EXPECT_EQ(EmailOf(db.conn, 1), "moved@example.com");
    EXPECT_EQ(ds.FieldByName("_ID")->AsInteger(), 2);

    // Every kind of move posts: MoveBy, First, Last, a bookmark, Locate.
    const TBookmark b2 = ds.GetBookmark();
    ds.Edit();
    ds.FieldByName("Email")->SetAsString("two@example.com");
    ds.Last();
    EXPECT_EQ(EmailOf(db.conn, 2), "two@example.com");
    ds.Edit();
    ds.FieldByName("Email")->SetAsString("five@example.com");
    ds.GotoBookmark(b2);
    EXPECT_EQ(EmailOf(db.conn, 5), "five@example.com");
    ds.Edit();
    ds.FieldByName("Email")->SetAsString("again@example.com");
    EXPECT_TRUE(ds.Locate("_ID", 4));
    EXPECT_EQ(EmailOf(db.conn, 2), "again@example.com");

    // An unmodified inserted record is cancelled; an unmodified edit just ends.
    ds.Insert();
    ds.Next();
    EXPECT_EQ(ds.RecordCount(), 5);
    EXPECT_EQ(db.conn.Scalar("SELECT count(*) FROM RL1").toInt(), 5);
    EXPECT_EQ(ds.FieldByName("_ID")->AsInteger(), 5);
    ds.Edit();
    ds.Prior();
    EXPECT_EQ(ds.State(), dsBrowse);
}

TEST(DataSet, AFailedPostRaisesTheDatabaseMessageAndKeepsTheEdit)
{
    Db db;
    CreateListTable(db.conn, "RL1", 3);
    db.conn.Execute("CREATE TRIGGER guard BEFORE UPDATE OF Email ON RL1 WHEN NEW.Email LIKE '%bad%' "
                    "BEGIN SELECT RAISE(ABORT, 'Email refused by the database'); END");
    db.conn.Execute("CREATE TRIGGER guard2 BEFORE INSERT ON RL1 WHEN NEW.Email LIKE '%bad%' "
                    "BEGIN SELECT RAISE(ABORT, 'Insert refused'); END");
    TExtADODataSet ds(&db.conn);
    ds.SetCommandText("SELECT * FROM RL1");
    ds.Open();
    ds.Next();
    ds.Edit();
    ds.FieldByName("Email")->SetAsString("bad@example.com");
    try {
        ds.Post();
        FAIL() << "post must fail";
    } catch (const EDatabaseError& e) {
        EXPECT_EQ(e.message(), "Email refused by the database");
    }
    EXPECT_EQ(ds.State(), dsEdit);
    EXPECT_EQ(ds.FieldByName("Email")->AsString(), "bad@example.com");
    EXPECT_EQ(EmailOf(db.conn, 2), "user2@example.com");
    // Moving off the row fails the same way and stays put.
    EXPECT_THROW(ds.Next(), EDatabaseError);
    EXPECT_EQ(ds.State(), dsEdit);
    EXPECT_EQ(ds.RecNo(), 2);
    ds.FieldByName("Email")->SetAsString("good@example.com");
    ds.Post();
    EXPECT_EQ(EmailOf(db.conn, 2), "good@example.com");

    ds.Append();
    ds.FieldByName("Email")->SetAsString("bad@x");
    EXPECT_THROW(ds.Post(), EDatabaseError);
    EXPECT_EQ(ds.State(), dsInsert);
    EXPECT_EQ(db.conn.Scalar("SELECT count(*) FROM RL1").toInt(), 3);
    ds.Cancel();
    EXPECT_EQ(ds.RecordCount(), 3);
    EXPECT_EQ(ds.RecNo(), 3);
}

TEST(DataSet, FilterIsEvaluatedWhenTheSnapshotIsTaken)
{
    Db db;
    CreateListTable(db.conn, "RL1", 20, 17);
    TExtADODataSet ds(&db.conn);
    ds.SetCommandText("SELECT * FROM RL1");
    ds.SetFilter("Status = 0");
    ds.SetFiltered(true);
    ds.Open();
    EXPECT_EQ(ds.RecordCount(), 19);
    EXPECT_FALSE(ds.Locate("_ID", 17));
    EXPECT_EQ(ds.RecNo(), 1);
    EXPECT_FALSE(ds.Locate("Email", "user17@example.com"));
    EXPECT_TRUE(ds.Locate("_ID", 16));
    EXPECT_EQ(ds.RecNo(), 16);

    // A row set to status 1 after the open stays in the snapshot (showing its new value).
    Connection other;
    other.Open(db.path());
    other.Execute("UPDATE RL1 SET Status = 1 WHERE _ID = 5");
    EXPECT_TRUE(ds.Locate("_ID", 5));
    EXPECT_EQ(ds.FieldByName("Status")->AsInteger(), 1);
    EXPECT_EQ(ds.RecordCount(), 19);
    int seen = 0;
    for (ds.First(); !ds.Eof(); ds.Next())
        ++seen;
    EXPECT_EQ(seen, 19);
    ds.Requery();
    EXPECT_EQ(ds.RecordCount(), 18);
    EXPECT_FALSE(ds.Locate("_ID", 5));
    ds.SetFiltered(false);
    EXPECT_EQ(ds.RecordCount(), 20);
    EXPECT_TRUE(ds.Locate("_ID", 17));
}

TEST(DataSet, FilterTextRewriteAndTranslation)
{
    EXPECT_EQ(TExtADODataSet::RewriteFilterText("Status = 0 AND([Email] = 'a' OR(x = 1)) and(y=2)"),
              "Status = 0 AND ([Email] = 'a' OR (x = 1)) and (y=2)");
    EXPECT_EQ(TExtADODataSet::FilterToSql("[Email] LIKE '*ex*' OR [Last Name] = Null OR [First Name] <> Null"),
              "[Email] LIKE '%ex%' OR [Last Name] IS NULL OR [First Name] IS NOT NULL");

    Db db;
    CreateListTable(db.conn, "RL1", 12);
    TExtADODataSet ds(&db.conn);
    ds.SetCommandText("SELECT * FROM RL1 ORDER BY Email DESC");
    ds.SetFilter("[Email] LIKE '*1*' OR([Last Name] = 'Last2')");
    EXPECT_EQ(ds.Filter(), "[Email] LIKE '*1*' OR ([Last Name] = 'Last2')");
    ds.SetFiltered(true);
    ds.Open();
    QStringList order;
    for (ds.First(); !ds.Eof(); ds.Next())
        order << ds.FieldByName("_ID")->AsString();
    // Descending text order ("user1@" sorts after "user12@", '@' > '2'): the statement's ORDER BY
    // holds under the filter.
    EXPECT_EQ(order, QStringList({"2", "1", "12", "11", "10"}));
}

TEST(DataSet, BookmarksSurviveRequeryAndNeverPointAtAnotherRow)
{
    Db db;
    CreateListTable(db.conn, "RL1", 10);
    TExtADODataSet ds(&db.conn);
    ds.SetCommandText("SELECT * FROM RL1 ORDER BY Email DESC");
    ds.Open();
    ASSERT_TRUE(ds.Locate("_ID", 7));
    const TBookmark b7 = ds.GetBookmark();
    ASSERT_TRUE(ds.Locate("_ID", 3));
    const TBookmark b3 = ds.GetBookmark();
    ASSERT_TRUE(ds.Locate("_ID", 1));
    const TBookmark b1 = ds.GetBookmark();
    // Display order (descending Email): 9, 8, 7, 6, 5, 4, 3, 2, 1, 10.
    EXPECT_LT(ds.CompareBookmarks(b7, b3), 0);
    EXPECT_GT(ds.CompareBookmarks(b1, b3), 0);
    EXPECT_EQ(ds.CompareBookmarks(b3, b3), 0);
    EXPECT_LT(ds.CompareBookmarks(TBookmark(), b3), 0);

    Connection other;
    other.Open(db.path());
    other.Execute("DELETE FROM RL1 WHERE _ID IN (3, 9)");
    other.Execute("UPDATE RL1 SET Email = 'zzz@example.com' WHERE _ID = 1");
    ds.Requery();
    EXPECT_TRUE(ds.BookmarkValid(b7));
    EXPECT_FALSE(ds.BookmarkValid(b3));
    ds.GotoBookmark(b7);
    EXPECT_EQ(ds.FieldByName("_ID")->AsInteger(), 7);
    EXPECT_EQ(ds.RecNo(), 3); // zzz (1), 8, 7
    EXPECT_THROW(ds.GotoBookmark(b3), EDatabaseError);
    EXPECT_EQ(ds.FieldByName("_ID")->AsInteger(), 7);
    // Row 1 now sorts first: Compare follows the new snapshot.
    EXPECT_LT(ds.CompareBookmarks(b1, b7), 0);
    // A bookmark of a row that is gone sorts after every present row, consistently.
    EXPECT_GT(ds.CompareBookmarks(b3, b1), 0);
    EXPECT_LT(ds.CompareBookmarks(b1, b3), 0);
    // A fresh row never takes an old key (AUTOINCREMENT).
    other.Execute("INSERT INTO RL1 (Email) VALUES ('new@example.com')");
    ds.Requery();
    EXPECT_FALSE(ds.BookmarkValid(b3));
}

TEST(DataSet, MoveByReturnsTheDistanceMovedAtTheEnds)
{
    Db db;
    CreateListTable(db.conn, "RL1", 10);
    TExtADODataSet ds(&db.conn);
    ds.SetCommandText("SELECT * FROM RL1");
    ds.Open();
    EXPECT_TRUE(ds.Bof());
    EXPECT_FALSE(ds.Eof());
    EXPECT_EQ(ds.MoveBy(-1), 0);
    EXPECT_EQ(ds.MoveBy(3), 3);
    EXPECT_EQ(ds.RecNo(), 4);
    EXPECT_FALSE(ds.Bof());
    EXPECT_EQ(ds.MoveBy(100), 6);
    EXPECT_TRUE(ds.Eof());
    EXPECT_EQ(ds.RecNo(), 10);
    EXPECT_EQ(ds.MoveBy(1), 0);
    EXPECT_EQ(ds.MoveBy(-100), -9);
    EXPECT_TRUE(ds.Bof());
    EXPECT_EQ(ds.RecNo(), 1);
    ds.Last();
    EXPECT_TRUE(ds.Eof());
    EXPECT_FALSE(ds.Bof());
    ds.Next();
    EXPECT_TRUE(ds.Eof());
    EXPECT_EQ(ds.RecNo(), 10);
    ds.Prior();
    EXPECT_FALSE(ds.Eof());
    EXPECT_EQ(ds.RecNo(), 9);
    EXPECT_TRUE(ds.IsSequenced());

    TExtADODataSet empty(&db.conn);
    empty.SetCommandText("SELECT * FROM RL1 WHERE 0");
    empty.Open();
    EXPECT_TRUE(empty.IsEmpty());
    EXPECT_TRUE(empty.Bof());
    EXPECT_TRUE(empty.Eof());
    EXPECT_EQ(empty.MoveBy(5), 0);
    EXPECT_EQ(empty.RecNo(), -1);
    EXPECT_TRUE(empty.FieldByName("Email")->IsNull());
    EXPECT_THROW(empty.Delete(), EDatabaseError);
}

TEST(DataSet, DataLinkNotificationsForScrollEditAndPost)
{
    Db db;
    CreateListTable(db.conn, "RL1", 20);
    TExtADODataSet ds(&db.conn);
    ds.SetCommandText("SELECT * FROM RL1");
    TDataSource source(&ds);
    QStringList sourceLog;
    source.OnDataChange = [&](TDataSource*, TField* f) { sourceLog << (f ? f->FieldName() : QStringLiteral("-")); };
    LogLink link;
    link.SetVisualControl(true);
    link.SetDataSource(&source);
    link.SetBufferCount(5);
    EXPECT_TRUE(link.log.isEmpty());
    ds.Open();
    EXPECT_EQ(link.log, QStringList({"active:1"}));
    EXPECT_EQ(ds.BufferCount(), 5);
    EXPECT_EQ(link.RecordCount(), 5);
    EXPECT_EQ(link.ActiveRecord(), 0);
    link.log.clear();

    ds.Next();
    ds.MoveBy(3);
    EXPECT_EQ(link.ActiveRecord(), 4);
    ds.Next();                      // past the window: it shifts by one
    EXPECT_EQ(link.ActiveRecord(), 4);
    EXPECT_EQ(ds.MoveBy(-7), -5);   // back to the first record: the window shifts by -1
    EXPECT_EQ(link.ActiveRecord(), 0);
    EXPECT_EQ(ds.RecNo(), 1);
    ds.MoveBy(12);                  // a big jump
    EXPECT_EQ(link.ActiveRecord(), 4);
    EXPECT_EQ(ds.RecNo(), 13);
    // Every move runs the browse-mode check first (deCheckBrowseMode reaches the links).
    EXPECT_EQ(link.log, QStringList({"checkbrowse", "scrolled:0", "checkbrowse", "scrolled:0", "checkbrowse", "scrolled:1",
                                     "checkbrowse", "scrolled:-1", "checkbrowse", "scrolled:8"}));
    link.log.clear();

    ds.Edit();
    EXPECT_TRUE(link.Editing());
    ds.FieldByName("Email")->SetAsString("x@example.com");
    ds.Post();
    EXPECT_FALSE(link.Editing());
    EXPECT_EQ(link.log, QStringList({"checkbrowse", "editing:1", "record:", "record:Email", "updatedata", "checkbrowse",
                                     "editing:0", "changed"}));
    link.log.clear();

    // Drawing other rows through the link's active record reads them; the cursor comes back.
    link.SetActiveRecord(0);
    EXPECT_EQ(ds.FieldByName("_ID")->AsInteger(), 9);
    link.SetActiveRecord(4);
    EXPECT_EQ(ds.FieldByName("_ID")->AsInteger(), 13);

    ds.DisableControls();
    ds.First();
    ds.Next();
    ds.Last();
    EXPECT_TRUE(link.log.isEmpty());
    ds.EnableControls();
    EXPECT_EQ(link.log, QStringList({"changed"}));
    EXPECT_EQ(ds.RecNo(), 20);
    EXPECT_EQ(link.ActiveRecord(), 4);
    EXPECT_EQ(link.RecordCount(), 5);
    link.log.clear();

    ds.First();
    ds.Insert();
    EXPECT_EQ(link.log, QStringList({"checkbrowse", "changed", "checkbrowse", "editing:1", "changed"}));
    EXPECT_EQ(link.RecordCount(), 5);
    link.log.clear();
    ds.Cancel();
    EXPECT_EQ(link.log, QStringList({"checkbrowse", "editing:0", "changed"}));
    link.log.clear();

    ds.FieldByName("Email")->SetDisplayWidth(40);
    ds.FieldByName("Email")->SetIndex(0);
    EXPECT_EQ(ds.FieldNames().first(), "Email");
    EXPECT_EQ(link.log, QStringList({"layout", "layout"}));
    link.log.clear();

    source.SetEnabled(false);
    EXPECT_EQ(link.log, QStringList({"active:0"}));
    source.SetEnabled(true);
    link.log.clear();
    ds.Close();
    EXPECT_EQ(link.log, QStringList({"active:0"}));
    EXPECT_FALSE(sourceLog.isEmpty());
}

TEST(DataSet, RequiredFieldsAndFocusControl)
{
    Db db;
    db.conn.Execute("CREATE TABLE t (_ID INTEGER PRIMARY KEY AUTOINCREMENT, Name TEXT(50) NOT NULL, Note TEXT(20))");
    TExtADODataSet ds(&db.conn);
    ds.SetCommandText("SELECT * FROM t");
    ds.Open();
    EXPECT_TRUE(ds.FieldByName("Name")->Required());
    EXPECT_FALSE(ds.FieldByName("Note")->Required());
    TDataSource source(&ds);
    LogLink link;
    link.SetDataSource(&source);
    ds.FieldByName("Name")->SetDisplayLabel("Full name");
    ds.Append();
    ds.FieldByName("Note")->SetAsString("n");
    link.log.clear();
    try {
        ds.Post();
        FAIL();
    } catch (const EDatabaseError& e) {
        EXPECT_EQ(e.message(), "Field 'Full name' must have a value");
    }
    EXPECT_TRUE(link.log.contains("focus:Name"));
    EXPECT_EQ(ds.State(), dsInsert);
}

TEST(DataSet, FailingFieldReadRaises)
{
    Db db;
    CreateListTable(db.conn, "RL1", 500);
    TExtADODataSet ds(&db.conn);
    ds.SetCommandText("SELECT * FROM RL1");
    ds.Open();
    EXPECT_EQ(ds.FieldByName("Email")->AsString(), "user1@example.com");
    Connection other;
    other.Open(db.path());
    other.Execute("DROP TABLE RL1");
    ds.Last(); // a page that was never read
    EXPECT_THROW(ds.FieldByName("Email")->AsString(), EDatabaseError);
    EXPECT_THROW(ds.FieldByName("Email")->Value(), EDatabaseError);
    EXPECT_THROW(ds.FieldByName("Email")->IsNull(), EDatabaseError);
}

TEST(DataSet, ConversionsAndTextEvents)
{
    Db db;
    CreateListTable(db.conn, "RL1", 2);
    TExtADODataSet ds(&db.conn);
    ds.SetCommandText("SELECT * FROM RL1");
    ds.Open();
    TField* status = ds.FieldByName("Status");
    EXPECT_THROW(status->SetAsString("2"), EDatabaseError); // not editing
    ds.Edit();
    EXPECT_THROW(status->SetAsString("abc"), EConvertError);
    EXPECT_THROW(status->SetAsString("70000"), EConvertError);
    EXPECT_THROW(ds.FieldByName("_ID")->SetAsInteger(9), EDatabaseError);
    status->SetEditText("2");
    EXPECT_EQ(status->Value().toLongLong(), 2);
    status->SetAsString("");
    EXPECT_TRUE(status->IsNull());
    ds.Cancel();
    status->OnGetText = [](TField* f, QString& text, bool display) {
        text = (display ? QStringLiteral("D") : QStringLiteral("E")) + f->AsString();
    };
    EXPECT_EQ(status->DisplayText(), "D0");
    EXPECT_EQ(status->EditText(), "E0");
    QString setText;
    status->OnSetText = [&](TField*, const QString& t) { setText = t; };
    ds.Edit();
    status->SetEditText("1");
    EXPECT_EQ(setText, "1");
    EXPECT_EQ(status->AsInteger(), 0);
    ds.Cancel();
    // Text that is not a number in a number column reads as text and refuses AsInteger.
    db.conn.Execute("UPDATE RL1 SET Status = 'x' WHERE _ID = 2");
    ds.Requery();
    ds.Last();
    EXPECT_EQ(status->AsString(), "x");
    EXPECT_THROW(status->AsInteger(), EConvertError);
}

TEST(DataSet, StatementsNotOverOneTableAreReadWholeAndReadOnly)
{
    Db db;
    CreateListTable(db.conn, "RL1", 6, 2);
    db.conn.Execute("CREATE TABLE \"RecipientsLists\" (\"ID\" INTEGER PRIMARY KEY AUTOINCREMENT, \"Name\" TEXT(255), "
                    "\"LockedBy\" TEXT(255))");
    db.conn.Execute("INSERT INTO RecipientsLists (Name, LockedBy) VALUES ('One', 'me'), ('Two', '')");
    TExtADODataSet count(&db.conn);
    count.SetCommandText("SELECT COUNT(`_ID`) AS RowsToSent FROM RL1 WHERE Status = 0");
    count.Open();
    EXPECT_FALSE(count.IsTableCursor());
    EXPECT_FALSE(count.CanModify());
    EXPECT_EQ(count.FieldByName("RowsToSent")->AsInteger(), 5);
    EXPECT_THROW(count.Edit(), EDatabaseError);

    TExtADODataSet join(&db.conn);
    join.SetCommandText("SELECT r.Email, l.Name FROM RL1 r, RecipientsLists l WHERE l.ID = 1");
    join.Open();
    EXPECT_FALSE(join.IsTableCursor());
    EXPECT_EQ(join.RecordCount(), 6);
    EXPECT_TRUE(join.FieldByName("Email")->ReadOnly());
    EXPECT_TRUE(join.Locate("Email", "user4@example.com"));
    EXPECT_EQ(join.RecNo(), 4);
    const TBookmark b = join.GetBookmark();
    join.First();
    join.GotoBookmark(b);
    EXPECT_EQ(join.RecNo(), 4);

    TExtADODataSet names(&db.conn);
    names.SetCommandText("SELECT Email, Email, 1 AS \"\" FROM RL1");
    names.Open();
    EXPECT_EQ(names.FieldNames(), QStringList({"Email", "Email_1", "COLUMN3"}));

    // A named parameter (the lookup dataset's lock query).
    TExtADODataSet lock(&db.conn);
    lock.SetCommandText("SELECT LockedBy FROM RecipientsLists WHERE Name = :RLName");
    lock.SetParamValue("RLName", "One");
    lock.Open();
    EXPECT_TRUE(lock.IsTableCursor());
    EXPECT_EQ(lock.RecordCount(), 1);
    EXPECT_EQ(lock.FieldByName("LockedBy")->AsString(), "me");
}

TEST(DataSet, DeleteAndFreeNotification)
{
    Db db;
    CreateListTable(db.conn, "RL1", 4);
    TExtADODataSet ds(&db.conn);
    ds.SetCommandText("SELECT * FROM RL1");
    ds.Open();
    ds.SetRecNo(2);
    ds.Delete();
    EXPECT_EQ(ds.RecordCount(), 3);
    EXPECT_EQ(ds.FieldByName("_ID")->AsInteger(), 3);
    EXPECT_EQ(db.conn.Scalar("SELECT count(*) FROM RL1").toInt(), 3);
    ds.Last();
    ds.Delete();
    EXPECT_EQ(ds.FieldByName("_ID")->AsInteger(), 3);
    EXPECT_EQ(ds.RecNo(), 2);

    int freed = 0;
    int dummy = 0;
    ds.FieldByName("Email")->FreeNotification(&dummy, [&](TField* f) {
        EXPECT_EQ(f->FieldName(), "Email");
        ++freed;
    });
    ds.Close();
    EXPECT_EQ(freed, 1);
    EXPECT_EQ(ds.FieldCount(), 0);
    EXPECT_EQ(ds.RecordCount(), 0);
    EXPECT_THROW(ds.First(), EDatabaseError);
}

TEST(DataSet, RowsAreReadInPages)
{
    Db db;
    CreateListTable(db.conn, "RL1", 5000);
    TExtADODataSet ds(&db.conn);
    ds.SetCommandText("SELECT * FROM RL1");
    ds.Open();
    EXPECT_EQ(ds.PageReads(), 0);
    EXPECT_EQ(ds.RecordCount(), 5000);
    (void)ds.FieldByName("Email")->AsString();
    ds.Last();
    EXPECT_EQ(ds.FieldByName("Email")->AsString(), "user5000@example.com");
    ds.SetRecNo(2500);
    EXPECT_EQ(ds.FieldByName("_ID")->AsInteger(), 2500);
    EXPECT_EQ(ds.PageReads(), 3);
    for (ds.First(); !ds.Eof(); ds.Next())
        (void)ds.FieldByName("Email")->AsString();
    EXPECT_LE(ds.PageReads(), 3 + 5000 / ds.BackgroundFetchSize() + 1);
}

TEST(DataSet, StatementLogShowsTheStatementAndTheWritesOnly)
{
    Db db;
    CreateListTable(db.conn, "RL1", 3);
    db.conn.Execute("CREATE TABLE \"Settings\" (\"Key\" TEXT(255), \"Value\" TEXT(255))");
    db.conn.Execute("INSERT INTO \"Settings\" VALUES ('DBVersion', '31')");
    QStringList log;
    db.conn.OnStatement = [&](const QString& sql) { log << sql; };
    TExtADODataSet version(&db.conn);
    version.SetCommandText("SELECT `Value` FROM `Settings` WHERE Key ='DBVersion'");
    version.Open();
    EXPECT_EQ(version.FieldByName("Value")->AsInteger(), 31);
    version.Close();
    EXPECT_EQ(log, QStringList({"SELECT `Value` FROM `Settings` WHERE Key ='DBVersion'"}));
    log.clear();

    TExtADODataSet ds(&db.conn);
    ds.SetCommandText("SELECT * FROM RL1");
    ds.Open();
    ds.Last();
    ds.Locate("Email", "user2@example.com");
    ds.Append();
    ds.FieldByName("Email")->SetAsString("n@example.com");
    ds.Post();
    ds.Requery();
    ASSERT_EQ(log.size(), 3);
    EXPECT_EQ(log[0], "SELECT * FROM RL1");
    EXPECT_TRUE(log[1].startsWith("INSERT INTO \"RL1\""));
    EXPECT_EQ(log[2], "SELECT * FROM RL1");
    db.conn.OnStatement = nullptr;
}

TEST(DataSet, ARefusedFilterRaisesAndChangesNothing)
{
    Db db;
    CreateListTable(db.conn, "RL1", 10, 4);
    TExtADODataSet ds(&db.conn);
    ds.SetCommandText("SELECT * FROM RL1");
    ds.SetFilter("Status = 0");
    ds.SetFiltered(true);
    ds.Open();
    ds.SetRecNo(5);
    // The search's filter with a quote in the text is invalid SQL.
    EXPECT_THROW(ds.SetFilter("[Email] LIKE '*o'Brien*'"), EDatabaseError);
    EXPECT_EQ(ds.Filter(), "Status = 0");
    EXPECT_EQ(ds.RecordCount(), 9);
    EXPECT_EQ(ds.RecNo(), 5);
    ds.SetFilter("[Email] LIKE '*1*'");
    EXPECT_EQ(ds.RecordCount(), 2); // user1, user10
    EXPECT_EQ(ds.RecNo(), 1);
}

TEST(DataSet, RequeryOfAStatementThatNoLongerRunsClosesTheDataset)
{
    Db db;
    CreateListTable(db.conn, "RL1", 3);
    TExtADODataSet ds(&db.conn);
    ds.SetCommandText("SELECT * FROM RL1");
    ds.Open();
    TDataSource source(&ds);
    LogLink link;
    link.SetDataSource(&source);
    db.conn.Execute("DROP TABLE RL1");
    EXPECT_THROW(ds.Requery(), EDatabaseError);
    EXPECT_FALSE(ds.Active());
    EXPECT_FALSE(link.Active());
    EXPECT_THROW(ds.Requery(), EDatabaseError); // closed: Requery opens, which fails
    CreateListTable(db.conn, "RL1", 2);
    ds.Requery();
    EXPECT_TRUE(ds.Active());
    EXPECT_EQ(ds.RecordCount(), 2);
}

TEST(DataSet, BookmarksOfADatasetReadWholeEndWithItsSnapshot)
{
    Db db;
    CreateListTable(db.conn, "RL1", 4);
    TExtADODataSet ds(&db.conn);
    ds.SetCommandText("SELECT Status, count(*) AS n FROM RL1 GROUP BY Status");
    ds.Open();
    EXPECT_FALSE(ds.IsTableCursor());
    const TBookmark b = ds.GetBookmark();
    EXPECT_TRUE(ds.BookmarkValid(b));
    ds.Requery();
    EXPECT_FALSE(ds.BookmarkValid(b));
}

// The bookmarks a range selection reads by position without moving are the ones the records
// give when visited, for keyed and read-whole statements; a row being inserted has none.
TEST(DataSet, BookmarksByPositionEqualThoseOfTheVisitedRecords)
{
    Db db;
    CreateListTable(db.conn, "RL1", 6);
    for (const char* sql : {"SELECT * FROM RL1 ORDER BY Email DESC", "SELECT Email, count(*) AS n FROM RL1 GROUP BY Email"}) {
        SCOPED_TRACE(sql);
        TExtADODataSet ds(&db.conn);
        ds.SetCommandText(sql);
        ds.Open();
        QList<TBookmark> visited;
        for (ds.First(); !ds.Eof(); ds.Next())
            visited << ds.GetBookmark();
        ASSERT_EQ(visited.size(), 6);
        const struct { int recNo, count, from, to; } cases[] = {
            {1, 6, 0, 6}, {2, 3, 1, 4}, {5, 10, 4, 6}, {0, 3, 0, 2}, {-5, 3, 0, 0}, {7, 2, 0, 0}, {3, 0, 0, 0}};
        for (const auto& c : cases) {
            QList<TBookmark> read;
            ds.ForEachBookmark(c.recNo, c.count, [&](QByteArrayView b) { read << b.toByteArray(); });
            EXPECT_EQ(read, visited.mid(c.from, c.to - c.from)) << c.recNo << "+" << c.count;
        }
    }
    TExtADODataSet ds(&db.conn);
    ds.SetCommandText("SELECT * FROM RL1");
    ds.Open();
    ds.SetRecNo(3);
    ds.Insert();
    int read = 0;
    ds.ForEachBookmark(1, 10, [&](QByteArrayView b) {
        ++read;
        EXPECT_FALSE(b.isEmpty());
    });
    EXPECT_EQ(read, 6);
}

TEST(DataSet, GotoBookmarkCanKeepTheScreenRow)
{
    Db db;
    CreateListTable(db.conn, "RL1", 50);
    TExtADODataSet ds(&db.conn);
    ds.SetCommandText("SELECT * FROM RL1");
    TDataSource source(&ds);
    LogLink link;
    link.SetDataSource(&source);
    link.SetBufferCount(10);
    ds.Open();
    ds.SetRecNo(30);
    const TBookmark b = ds.GetBookmark();
    ds.First();
    link.SetActiveRecord(7);
    ds.GotoBookmark(b, rmExact);
    EXPECT_EQ(ds.RecNo(), 30);
    EXPECT_EQ(link.ActiveRecord(), 7);
    ds.First();
    ds.GotoBookmark(b);
    EXPECT_EQ(link.ActiveRecord(), 4); // centred
    ds.Last();
    EXPECT_EQ(link.ActiveRecord(), 9);
    EXPECT_EQ(link.RecordCount(), 10);
}

TEST(DataSet, ARowDeletedElsewhereReadsAsNullsAndCannotBePosted)
{
    Db db;
    CreateListTable(db.conn, "RL1", 3);
    TExtADODataSet ds(&db.conn);
    ds.SetCommandText("SELECT * FROM RL1");
    ds.Open();
    Connection other;
    other.Open(db.path());
    other.Execute("DELETE FROM RL1 WHERE _ID = 2");
    ds.Next();
    EXPECT_EQ(ds.RecordCount(), 3);
    EXPECT_TRUE(ds.FieldByName("Email")->IsNull());
    ds.Edit();
    ds.FieldByName("Email")->SetAsString("back@example.com");
    EXPECT_THROW(ds.Post(), EDatabaseError);
    EXPECT_EQ(ds.State(), dsEdit);
    ds.Cancel();
    EXPECT_TRUE(ds.Locate("Status", 0));
    EXPECT_EQ(ds.RecNo(), 1);
    ds.Last();
    EXPECT_TRUE(ds.Locate("Status", 0));
    EXPECT_EQ(ds.RecNo(), 1);
}

TEST(DataSet, TheDuplicateDialogStatementIsOverOneTableAndUpdatable)
{
    Db db;
    CreateListTable(db.conn, "RL1", 5);
    db.conn.Execute("UPDATE RL1 SET Email = 'SAME@example.com' WHERE _ID IN (2, 4)");
    db.conn.Execute("UPDATE RL1 SET Email = 'same@example.com' WHERE _ID = 5");
    TExtADODataSet ds(&db.conn);
    ds.SetCommandText("SELECT * FROM `RL1` WHERE Email IN (SELECT Email FROM `RL1` GROUP BY Email HAVING "
                      "(COUNT(Email) > 1)) ORDER BY Email");
    ds.Open();
    EXPECT_TRUE(ds.IsTableCursor());
    EXPECT_EQ(ds.RecordCount(), 3); // NOCASE: the three addresses are one
    for (ds.First(); !ds.Eof(); ds.Next()) {
        ds.Edit();
        ds.FieldByName("Status")->SetAsString("2");
        ds.Post();
    }
    EXPECT_EQ(db.conn.Scalar("SELECT count(*) FROM RL1 WHERE Status = 2").toInt(), 3);

    bool freed = false;
    {
        TDataSource source(&ds);
        LogLink link;
        link.SetDataSource(&source);
        int subscriber = 0;
        source.FreeNotification(&subscriber, [&](TDataSource*) { freed = true; });
        EXPECT_TRUE(link.Active());
    }
    EXPECT_TRUE(freed);
}

// Keys the caller knows make the next snapshot, in their order: bookmarks and Locate find those
// rows out of key order, and they can be edited. The requery after runs the statement again, and
// under a filter the statement always runs.
TEST(DataSet, KnownKeysMakeTheNextSnapshot)
{
    Db db;
    CreateListTable(db.conn, "RL1", 6);
    TExtADODataSet ds(&db.conn);
    const auto ids = [&ds] {
        QList<int> out;
        for (ds.First(); !ds.Eof(); ds.Next())
            out << ds.FieldByName("_ID")->AsInteger();
        return out;
    };
    ds.SetCommandText("SELECT * FROM RL1 WHERE _ID IN (2, 3, 5) ORDER BY Email DESC");
    ds.SetKnownKeys({5, 3, 2});
    ds.Open();
    EXPECT_EQ(ids(), (QList<int>{5, 3, 2}));
    EXPECT_TRUE(ds.Locate("_ID", 3));
    EXPECT_EQ(ds.RecNo(), 2);
    EXPECT_EQ(ds.FieldByName("Email")->AsString(), "user3@example.com");
    const TBookmark third = (ds.Last(), ds.GetBookmark());
    ds.First();
    ds.GotoBookmark(third);
    EXPECT_EQ(ds.FieldByName("_ID")->AsInteger(), 2);
    ds.Edit();
    ds.FieldByName("Last Name")->SetAsString("Neu");
    ds.Post();
    EXPECT_EQ(db.conn.Scalar("SELECT \"Last Name\" FROM RL1 WHERE _ID = 2").toString(), "Neu");

    db.conn.Execute("DELETE FROM RL1 WHERE _ID = 3");
    ds.Requery();
    EXPECT_EQ(ids(), (QList<int>{5, 2}));

    ds.Close();
    ds.SetFilter("Status = 0");
    ds.SetFiltered(true);
    ds.SetKnownKeys({5, 3, 2});
    ds.Open();
    EXPECT_EQ(ids(), (QList<int>{5, 2}));
}

TEST(DataSet, RequeryAfterAColumnWasAddedRebuildsTheFields)
{
    Db db;
    CreateListTable(db.conn, "RL1", 3);
    TExtADODataSet ds(&db.conn);
    ds.SetCommandText("SELECT * FROM RL1");
    ds.Open();
    TDataSource source(&ds);
    LogLink link;
    link.SetDataSource(&source);
    QStringList seenOnFree;
    int subscriber = 0;
    ds.FieldByName("Email")->FreeNotification(&subscriber, [&](TField*) { seenOnFree = ds.FieldNames(); });
    TField* before = ds.FieldByName("Status");
    ds.Requery(); // nothing changed: the same field objects
    EXPECT_EQ(ds.FieldByName("Status"), before);
    EXPECT_TRUE(seenOnFree.isEmpty());
    db.conn.Execute("ALTER TABLE RL1 ADD COLUMN \"Company\" TEXT(255)");
    link.log.clear();
    ds.Requery();
    EXPECT_EQ(seenOnFree.last(), "Company");
    EXPECT_EQ(ds.FieldCount(), 6);
    EXPECT_EQ(link.log, QStringList({"checkbrowse", "layout", "changed"}));
}

TEST(DataSet, LocateOptionsAndEditingThroughALink)
{
    Db db;
    CreateListTable(db.conn, "RL1", 12);
    db.conn.Execute("CREATE TABLE strict (_ID INTEGER PRIMARY KEY AUTOINCREMENT, Code TEXT(10) NOT NULL DEFAULT 'x')");
    TExtADODataSet ds(&db.conn);
    ds.SetCommandText("SELECT * FROM RL1");
    ds.Open();
    EXPECT_TRUE(ds.Locate("Last Name", "last1", loCaseInsensitive | loPartialKey));
    EXPECT_EQ(ds.RecNo(), 1);
    EXPECT_FALSE(ds.Locate("Last Name", "last1", loPartialKey)); // case matters without the option...
    EXPECT_TRUE(ds.Locate("Email", "USER11@EXAMPLE.COM"));       // ...unless the column compares NOCASE
    EXPECT_EQ(ds.RecNo(), 11);
    EXPECT_TRUE(ds.Locate("Last Name", "Last12", loPartialKey));
    EXPECT_EQ(ds.RecNo(), 12);
    EXPECT_FALSE(ds.Locate("No such field", 1));
    EXPECT_FALSE(ds.Locate("_ID", "abc"));
    EXPECT_EQ(ds.RecNo(), 12);

    TDataSource source(&ds);
    LogLink link;
    link.SetDataSource(&source);
    EXPECT_TRUE(link.Edit());
    EXPECT_EQ(ds.State(), dsEdit);
    ds.Cancel();
    source.SetAutoEdit(false);
    EXPECT_FALSE(link.Edit());
    EXPECT_EQ(ds.State(), dsBrowse);

    // NOT NULL with a default: required, and the insert starts with the default.
    TExtADODataSet st(&db.conn);
    st.SetCommandText("SELECT * FROM strict");
    st.Open();
    EXPECT_TRUE(st.FieldByName("Code")->Required());
    st.Append();
    EXPECT_EQ(st.FieldByName("Code")->AsString(), "x");
    st.FieldByName("Code")->Clear();
    EXPECT_THROW(st.Post(), EDatabaseError);
    st.FieldByName("Code")->SetAsString("y");
    st.Post();
    EXPECT_EQ(db.conn.Scalar("SELECT Code FROM strict").toString(), "y");
}
