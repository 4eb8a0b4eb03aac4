// The send cursor: rows with status 0 of the snapshot, in the list's order, as recipient records.
#include "ListFixture.h"
#include "recipients/Recipients.h"

using namespace listtest;
using recipients::TRecipientListStore;
using recipients::TRecipients;

namespace {

QStringList Emails(TRecipients& cursor)
{
    QStringList out;
    TAssociativeArray r;
    for (cursor.NextRecipient(r); !r.IsEmpty(); cursor.NextRecipient(r))
        out << r.GetValue("Email");
    return out;
}

TEST_F(ListTest, SendCursorHandsOutRowsToSendOnceThenEmptyRecords)
{
    MakeList("Kunden", {{"a@x.de", "Alt", "", "0"}, {"b@x.de", "", "", "2"}, {"c@x.de", "", "", "0"}});
    store.OpenList("Kunden");
    ASSERT_TRUE(store.AddColumn("Firma"));
    conn.Execute("UPDATE RL1 SET \"Last Name\" = NULL WHERE Email = 'c@x.de'");

    TRecipients cursor(store.DataSet());
    EXPECT_EQ(cursor.TableName(), "RL1");
    EXPECT_EQ(cursor.RowsToSent(), 2);
    TAssociativeArray r;
    cursor.NextRecipient(r);
    ASSERT_EQ(r.Count(), 6);
    const QStringList keys{r.KeyAt(0), r.KeyAt(1), r.KeyAt(2), r.KeyAt(3), r.KeyAt(4), r.KeyAt(5)};
    EXPECT_EQ(keys, (QStringList{"_ID", "Status", "Email", "Last Name", "First Name", "Firma"}));
    EXPECT_EQ(r.GetValue("_ID"), "1");
    EXPECT_EQ(r.GetValue("Status"), "0");
    EXPECT_EQ(r.GetValue("Last Name"), "Alt");
    EXPECT_EQ(r.GetValue("Firma"), "") << "NULL comes out empty";

    // Sent since the cursor opened: counted no more, still handed out once. Added: not handed out.
    cursor.SetStatus(3, 1);
    conn.Execute("INSERT INTO RL1 (Email) VALUES ('d@x.de')");
    EXPECT_EQ(cursor.RowsToSent(), 2) << "a fresh count: a@x.de and the new row";
    cursor.NextRecipient(r);
    EXPECT_EQ(r.GetValue("Email"), "c@x.de");
    EXPECT_EQ(r.GetValue("Last Name"), "");
    for (int i = 0; i < 3; ++i) {
        cursor.NextRecipient(r);
        EXPECT_TRUE(r.IsEmpty());
    }
}

TEST_F(ListTest, SendCursorFollowsTheListOrderAndAnEmptyListGivesNothing)
{
    MakeList("Kunden", {{"m@x.de", "M"}, {"a@x.de", "Z"}, {"z@x.de", "A"}, {"q@x.de", "Q", "", "1"}});
    store.OpenList("Kunden");
    store.SortByColumn("Last Name");
    TRecipients byName(store.DataSet());
    EXPECT_EQ(Emails(byName), (QStringList{"z@x.de", "m@x.de", "a@x.de"}));
    store.SortByColumn("Last Name");
    TRecipients descending(store.DataSet());
    EXPECT_EQ(Emails(descending), (QStringList{"a@x.de", "m@x.de", "z@x.de"}));

    store.MarkAllAsBlocked();
    TRecipients none(store.DataSet());
    EXPECT_EQ(none.RowsToSent(), 0);
    TAssociativeArray r;
    r.SetValue("alt", "x");
    none.NextRecipient(r);
    EXPECT_TRUE(r.IsEmpty());
}

// A mailing's marks record what happened outside the program: they go into the stored list's
// backup with the row's own _ID, in the same transaction, so discarding the user's edits and
// restoring the backup after a crash keep them; the user's edits are still discarded.
TEST_F(ListTest, SendMarksReachTheBackupAndSurviveDiscardAndRestore)
{
    const auto statuses = [this](const QString& table) {
        QStringList out;
        for (const QVariantList& r : Rows("SELECT _ID, Email, Status FROM \"" + table + "\" ORDER BY _ID"))
            out << QStringLiteral("%1 %2 %3").arg(r[0].toString(), r[1].toString(), r[2].toString());
        return out;
    };
    for (const bool crash : {false, true}) {
        SCOPED_TRACE(crash ? "restore after a crash" : "discard");
        const QString name = crash ? "Absturz" : "Verwerfen";
        const QString table = MakeList(name, {{"a@x.de"}, {"weg@x.de"}, {"b@x.de"}, {"c@x.de", "", "", "2"}});
        // A gap in the _IDs: the backup must not number the rows afresh.
        conn.Execute("DELETE FROM \"" + table + "\" WHERE Email = 'weg@x.de'");
        ASSERT_TRUE(store.OpenStoredList(name));
        ASSERT_EQ(Rows("SELECT _ID FROM \"Backup_" + table + "\" ORDER BY _ID"), (QList<QVariantList>{{1LL}, {3LL}, {4LL}}));

        // The user's edits, then the mailing.
        conn.Execute("UPDATE \"" + table + "\" SET Email = 'neu@x.de' WHERE _ID = 3");
        ASSERT_TRUE(store.InsertRow({"0", "dazu@x.de"}));
        store.Requery();
        TRecipients cursor(store.DataSet());
        TAssociativeArray r;
        for (cursor.NextRecipient(r); !r.IsEmpty(); cursor.NextRecipient(r))
            cursor.SetStatus(r.GetValue("_ID").toLongLong(), 1);
        EXPECT_EQ(statuses(table), (QStringList{"1 a@x.de 1", "3 neu@x.de 1", "4 c@x.de 2", "5 dazu@x.de 1"}));
        EXPECT_EQ(statuses("Backup_" + table), (QStringList{"1 a@x.de 1", "3 b@x.de 1", "4 c@x.de 2"}));

        // The run ends without closing the list (its lock and backup stay); the next run, here
        // another store with its own instance number, answers No to restoring.
        TRecipientListStore next(conn, &prompts);
        next.TEMP = "temp99";
        next.Instance = 99;
        TRecipientListStore& after = crash ? next : store;
        prompts.answers = {TAnswer::No};
        if (crash)
            ASSERT_TRUE(next.OpenStoredList(name));
        else
            ASSERT_TRUE(store.AskSaveList(name, true));
        EXPECT_TRUE(prompts.answers.empty());
        EXPECT_EQ(statuses(table), (QStringList{"1 a@x.de 1", "3 b@x.de 1", "4 c@x.de 2"}));
        EXPECT_EQ(after.DataSet().RecordCount(), 3);
        // A row added afterwards does not take the _ID of a backup row.
        ASSERT_TRUE(after.InsertRow({"0", "spaeter@x.de"}));
        EXPECT_GT(Value("SELECT max(_ID) FROM \"" + table + "\"").toLongLong(), 4);
        after.CloseList();
        store.CloseList();
    }
}

TEST_F(ListTest, SendMarkAndBackupMarkAreOneTransaction)
{
    MakeList("Kunden", {{"a@x.de"}});
    ASSERT_TRUE(store.OpenStoredList("Kunden"));
    TRecipients cursor(store.DataSet());
    // A backup that refuses the change: the list's row keeps its status as well.
    conn.Execute("CREATE TRIGGER refuse BEFORE UPDATE ON \"Backup_RL1\" BEGIN SELECT RAISE(ABORT, 'refused'); END");
    EXPECT_THROW(cursor.SetStatus(1, 1), db::EDatabaseError);
    EXPECT_EQ(Value("SELECT Status FROM RL1").toInt(), 0);
    EXPECT_EQ(conn.TransactionLevel(), 0);
    // Inside the caller's batch the marks are a savepoint of it: its rollback takes both back.
    conn.Execute("DROP TRIGGER refuse");
    conn.BeginTrans();
    cursor.SetStatus(1, 1);
    EXPECT_EQ(conn.TransactionLevel(), 1);
    conn.RollbackTrans();
    EXPECT_EQ(Value("SELECT Status FROM RL1").toInt(), 0);
    EXPECT_EQ(Value("SELECT Status FROM Backup_RL1").toInt(), 0);

    // The unsaved list has no backup.
    store.NewUnsavedList();
    ASSERT_TRUE(store.InsertRow({"0", "t@x.de"}));
    store.Requery();
    TRecipients unsaved(store.DataSet());
    unsaved.SetStatus(1, 1);
    EXPECT_EQ(Value("SELECT Status FROM temp4711").toInt(), 1);
}

// The marks' statements are prepared once per cursor; a backup made, dropped or replaced while
// the cursor lives is still followed (between marks, inside a batch, by another connection), and a refused mark inside a batch leaves the batch's
// earlier marks and the batch itself intact.
TEST_F(ListTest, SendMarksKeepTheirStatementsAndFollowTheBackup)
{
    MakeList("Kunden", {{"a@x.de"}, {"b@x.de"}, {"c@x.de"}, {"d@x.de"}, {"e@x.de"}});
    ASSERT_TRUE(store.OpenStoredList("Kunden"));
    TRecipients cursor(store.DataSet());
    const auto status = [this](const QString& table, int id) {
        return Value(QStringLiteral("SELECT Status FROM \"%1\" WHERE _ID = %2").arg(table).arg(id)).toInt();
    };
    QStringList prepared;
    conn.OnStatement = [&](const QString& sql) { prepared << sql; };
    cursor.SetStatus(1, 1);
    EXPECT_FALSE(prepared.isEmpty());
    prepared.clear();
    cursor.SetStatus(2, 1);
    cursor.SetStatus(2, 2);
    EXPECT_EQ(prepared, QStringList()) << "no statement prepared again";
    EXPECT_EQ(status("RL1", 2), 2);
    EXPECT_EQ(status("Backup_RL1", 2), 2);
    conn.OnStatement = nullptr;

    conn.Execute("DROP TABLE \"Backup_RL1\"");
    cursor.SetStatus(3, 1);
    EXPECT_EQ(status("RL1", 3), 1);
    conn.Execute("CREATE TABLE \"Backup_RL1\" AS SELECT * FROM RL1");
    conn.Execute("UPDATE \"Backup_RL1\" SET Status = 0");
    cursor.SetStatus(4, 1);
    EXPECT_EQ(status("Backup_RL1", 4), 1) << "a backup made after the first marks gets the next ones";
    EXPECT_EQ(status("Backup_RL1", 3), 0);

    // A batch: the refused mark is taken back alone, the batch goes on and commits.
    conn.BeginTrans();
    cursor.SetStatus(1, 2);
    conn.Execute("CREATE TRIGGER refuse BEFORE UPDATE ON \"Backup_RL1\" WHEN new._ID = 5 BEGIN SELECT RAISE(ABORT, 'refused'); END");
    EXPECT_THROW(cursor.SetStatus(5, 1), db::EDatabaseError);
    EXPECT_EQ(conn.TransactionLevel(), 1);
    cursor.SetStatus(3, 2);
    conn.CommitTrans();
    EXPECT_EQ(Rows("SELECT _ID, Status FROM RL1 ORDER BY _ID"),
              (QList<QVariantList>{{1LL, 2LL}, {2LL, 2LL}, {3LL, 2LL}, {4LL, 1LL}, {5LL, 0LL}}));
    EXPECT_EQ(Rows("SELECT _ID, Status FROM Backup_RL1 ORDER BY _ID"),
              (QList<QVariantList>{{1LL, 2LL}, {2LL, 0LL}, {3LL, 2LL}, {4LL, 1LL}, {5LL, 0LL}}));
    conn.Execute("DROP TRIGGER refuse");
    const auto statuses = [this](const QString& table) {
        QList<qint64> out;
        for (const QVariantList& r : Rows("SELECT Status FROM \"" + table + "\" ORDER BY _ID"))
            out << r.value(0).toLongLong();
        return out;
    };

    // Inside a batch, once it has written: the backup dropped between two marks, then made again.
    conn.BeginTrans();
    cursor.SetStatus(1, 0);
    conn.Execute("DROP TABLE \"Backup_RL1\"");
    cursor.SetStatus(2, 0);
    conn.Execute("CREATE TABLE \"Backup_RL1\" AS SELECT * FROM RL1");
    conn.Execute("UPDATE \"Backup_RL1\" SET Status = 9");
    cursor.SetStatus(3, 0);
    conn.CommitTrans();
    EXPECT_EQ(statuses("RL1"), (QList<qint64>{0, 0, 0, 1, 0}));
    EXPECT_EQ(statuses("Backup_RL1"), (QList<qint64>{9, 9, 0, 9, 9}));

    // A drop that is rolled back: the backup is there again for the next mark.
    conn.BeginTrans();
    cursor.SetStatus(4, 2);
    conn.Execute("DROP TABLE \"Backup_RL1\"");
    cursor.SetStatus(5, 2);
    conn.RollbackTrans();
    cursor.SetStatus(5, 1);
    EXPECT_EQ(statuses("RL1"), (QList<qint64>{0, 0, 0, 1, 1}));
    EXPECT_EQ(statuses("Backup_RL1"), (QList<qint64>{9, 9, 0, 9, 1}));

    // Another connection drops the backup and makes it again between two batches.
    db::Connection other;
    other.Open(dir.file("qly.db"), db::OpenMode::Existing);
    conn.BeginTrans();
    cursor.SetStatus(1, 1);
    conn.CommitTrans();
    other.Execute("DROP TABLE \"Backup_RL1\"");
    conn.BeginTrans();
    cursor.SetStatus(2, 1);
    conn.CommitTrans();
    other.Execute("CREATE TABLE \"Backup_RL1\" AS SELECT * FROM RL1");
    other.Execute("UPDATE \"Backup_RL1\" SET Status = 7");
    conn.BeginTrans();
    cursor.SetStatus(3, 2);
    cursor.SetStatus(4, 2);
    conn.CommitTrans();
    EXPECT_EQ(statuses("RL1"), (QList<qint64>{1, 1, 2, 2, 1}));
    EXPECT_EQ(statuses("Backup_RL1"), (QList<qint64>{7, 7, 2, 2, 7}));
    store.CloseList();
}

TEST(StatementTable, NamesTheTableAfterFrom)
{
    EXPECT_EQ(recipients::StatementTable("SELECT * FROM \"RL1\" ORDER BY \"Email\" DESC"), "RL1");
    EXPECT_EQ(recipients::StatementTable("select * from temp99"), "temp99");
    EXPECT_EQ(recipients::StatementTable("SELECT * FROM \"a \"\"b\"\"\""), "a \"b\"");
}

} // namespace
