// The open list: columns, the column-name rule, inserted rows, status commands, order.
#include "ListFixture.h"
#include <QElapsedTimer>
#include <atomic>
#include <chrono>
#include <thread>
#include <gmock/gmock.h>

using namespace listtest;
using ::testing::ElementsAre;

namespace {

TEST_F(ListTest, FreshListColumnsAndInsertedRowsLandInTheirColumns)
{
    store.NewUnsavedList();
    EXPECT_EQ(store.TableName(), "temp4711");
    EXPECT_THAT(store.GetFieldNames(), ElementsAre("_ID", "Status", "Email", "Last Name", "First Name"));
    conn.Execute("ALTER TABLE temp4711 ADD COLUMN \"_x\" TEXT"); // a hidden column made behind the list's back
    ASSERT_TRUE(store.AddColumn("Firma"));
    EXPECT_THAT(store.ImportColumns(), ElementsAre("Email", "Last Name", "First Name", "Firma"));

    QString error;
    ASSERT_TRUE(store.InsertRow({"1", "a@x.de", "Alt", "Anna", "ACME"}, &error)) << error.toStdString();
    QStringList imported{"b@x.de", "Bahr", "", "B&B"};
    ASSERT_TRUE(store.AddImportedRow(imported));
    EXPECT_EQ(imported.first(), "0") << "the status goes in front of the caller's row";
    EXPECT_EQ(Rows("SELECT _ID, Status, Email, \"Last Name\", \"First Name\", Firma, _x FROM temp4711"),
              (QList<QVariantList>{{1LL, 1LL, "a@x.de", "Alt", "Anna", "ACME", QVariant()},
                                   {2LL, 0LL, "b@x.de", "Bahr", "", "B&B", QVariant()}}));

    // After a copy _ID is the last column; the rows keep landing by name.
    conn.Execute("CREATE TABLE keep AS SELECT 1");
    store.CloseList();
    store.CreateListTable("temp4711");
    conn.Execute("INSERT INTO temp4711 (_ID, Email) VALUES (9, 'z@x.de'), (4, 'y@x.de')");
    store.CopyTable("temp4711", "RL77");
    store.OpenList("RL77");
    EXPECT_THAT(store.GetFieldNames(), ElementsAre("Status", "Email", "Last Name", "First Name", "_ID"));
    ASSERT_TRUE(store.InsertRow({"2", "c@x.de", "Cem", "Can"}));
    EXPECT_EQ(Rows("SELECT _ID, Status, Email, \"Last Name\" FROM RL77 ORDER BY _ID"),
              (QList<QVariantList>{{1LL, 0LL, "y@x.de", QVariant()}, {2LL, 0LL, "z@x.de", QVariant()}, {3LL, 2LL, "c@x.de", "Cem"}}));
}

TEST_F(ListTest, EveryListTableHasTheCaseInsensitiveEmailIndex)
{
    const QString table = MakeList("Kunden", {{"A@X.de"}});
    store.CopyTable(table, "Backup_RL1");
    store.NewUnsavedList();
    for (const QString t : {"RL1", "Backup_RL1", "temp4711"}) {
        SCOPED_TRACE(t.toStdString());
        EXPECT_EQ(Value("SELECT count(*) FROM sqlite_master WHERE type = 'index' AND tbl_name = '" + t + "'").toInt(), 1);
        const auto plan = Rows("EXPLAIN QUERY PLAN SELECT 1 FROM \"" + t + "\" WHERE Email = 'a@x.DE'");
        EXPECT_TRUE(plan.last().last().toString().contains("USING COVERING INDEX")) << plan.last().last().toString().toStdString();
    }
    store.OpenList("RL1");
    ASSERT_TRUE(store.InsertRow({"0", "o'brien@x.de"}));
    EXPECT_TRUE(store.IsDuplicate("Email", "O'Brien@x.de"));
    EXPECT_TRUE(store.IsDuplicate("Email", "a@x.DE"));
    EXPECT_FALSE(store.IsDuplicate("Email", "  "));
    EXPECT_FALSE(store.IsDuplicate("Email", "b@x.de"));
}

TEST_F(ListTest, ColumnNameRule)
{
    store.NewUnsavedList();
    ASSERT_TRUE(store.AddColumn("  Firma  "));
    EXPECT_THAT(store.GetFieldNames(), ElementsAre("_ID", "Status", "Email", "Last Name", "First Name", "Firma"));
    const struct {
        const char* name;
        const char* reason;
    } refused[] = {{"", "Der Name ist leer."},
                   {"   ", "Der Name ist leer."},
                   {"_intern", "Der Name darf nicht mit \"_\" beginnen."},
                   {"email", "\"email\" ist eine feste Spalte der Liste."},
                   {" Last Name", "\"Last Name\" ist eine feste Spalte der Liste."},
                   {"a`b", "Der Name darf kein \"`\" enthalten."},
                   {"FIRMA", "Eine Spalte \"FIRMA\" gibt es bereits."}};
    for (const auto& c : refused) {
        SCOPED_TRACE(c.name);
        prompts.messages.clear();
        EXPECT_FALSE(store.AddColumn(c.name));
        EXPECT_EQ(prompts.messages, QStringList{QString("Diese Spalte konnte nicht erstellt werden. (") + c.reason + ")"});
    }
    // Quotes in names are data, not SQL.
    EXPECT_TRUE(store.AddColumn("Kd \"Nr\" 'x'"));
    EXPECT_EQ(store.GetFieldNames().last(), "Kd \"Nr\" 'x'");
    EXPECT_TRUE(store.InsertRow({"0", "a@x", "", "", "ACME", "42"}));
    EXPECT_EQ(Value("SELECT \"Kd \"\"Nr\"\" 'x'\" FROM temp4711").toString(), "42");
}

TEST_F(ListTest, RenameMovesTheColumnToTheEndAndDropRemovesIt)
{
    store.NewUnsavedList();
    ASSERT_TRUE(store.AddColumn("Firma"));
    ASSERT_TRUE(store.AddColumn("Ort"));
    ASSERT_TRUE(store.InsertRow({"0", "a@x.de", "A", "B", "ACME", "Bonn"}));
    store.SortByColumn("Firma");

    EXPECT_TRUE(store.RenameColumn("Firma", " Unternehmen "));
    EXPECT_THAT(store.GetFieldNames(), ElementsAre("_ID", "Status", "Email", "Last Name", "First Name", "Ort", "Unternehmen"));
    EXPECT_EQ(Rows("SELECT Ort, Unternehmen FROM temp4711"), (QList<QVariantList>{{"Bonn", "ACME"}}));
    EXPECT_EQ(store.SortField(), "Unternehmen") << "the order follows the renamed column";

    // Refused: the new name exists, the old one is fixed or hidden. Nothing changes.
    for (const auto& [from, to] : {std::pair{"Ort", "unternehmen"}, std::pair{"Email", "Mail"}, std::pair{"_ID", "Id"}}) {
        SCOPED_TRACE(from);
        prompts.messages.clear();
        EXPECT_FALSE(store.RenameColumn(from, to));
        EXPECT_EQ(prompts.messages.size(), 1);
    }
    EXPECT_FALSE(store.DropColumn("First Name"));
    EXPECT_FALSE(store.DropColumn("_ID"));
    EXPECT_THAT(store.GetFieldNames(), ElementsAre("_ID", "Status", "Email", "Last Name", "First Name", "Ort", "Unternehmen"));

    EXPECT_TRUE(store.DropColumn("Unternehmen"));
    EXPECT_THAT(store.GetFieldNames(), ElementsAre("_ID", "Status", "Email", "Last Name", "First Name", "Ort"));
    EXPECT_EQ(store.SortField(), "");
    EXPECT_EQ(store.DataSet().RecordCount(), 1);
    EXPECT_TRUE(store.InsertRow({"0", "b@x.de", "", "", "Köln"}));
}

TEST_F(ListTest, InsertRowErrorsAreReturnedNotShown)
{
    store.NewUnsavedList();
    conn.Execute("CREATE TRIGGER no_spam BEFORE INSERT ON temp4711 WHEN NEW.Email = 'spam@x.de' "
                 "BEGIN SELECT RAISE(ABORT, 'refused'); END");
    const struct {
        QStringList values;
        bool ok;
    } cases[] = {{{"", "a@x.de"}, true},              // empty status is 0, missing columns empty
                 {{"7", "b@x.de"}, false},            // not a status
                 {{"x", "c@x.de"}, false},
                 {{"0", "spam@x.de"}, false},         // the database refuses
                 {{" 2 ", "d@x.de", "D", "Dora"}, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.values.join(';').toStdString());
        QString error;
        EXPECT_EQ(store.InsertRow(c.values, &error), c.ok);
        EXPECT_EQ(error, c.ok ? QString() : "Ein Eintrag konnte der Dantenbank nicht hinzugefügt werden: \"" + c.values[0] + "'");
    }
    EXPECT_TRUE(prompts.messages.isEmpty());
    EXPECT_EQ(Rows("SELECT Status, Email, \"Last Name\" FROM temp4711 ORDER BY _ID"),
              (QList<QVariantList>{{0LL, "a@x.de", ""}, {2LL, "d@x.de", "D"}}));
    EXPECT_THROW(store.InsertRow({"0", "e@x.de", "", "", "zu viel"}), db::EDatabaseError);
}

TEST_F(ListTest, ARefusedPostIsShownAndStaysPending)
{
    MakeList("Kunden", {{"a@x.de"}});
    ASSERT_TRUE(store.OpenStoredList("Kunden"));
    conn.Execute("CREATE TRIGGER nope BEFORE UPDATE ON RL1 BEGIN SELECT RAISE(ABORT, 'abgelehnt'); END");
    auto& ds = store.DataSet();
    ds.Edit();
    ds.FieldByName("Email")->SetAsString("neu@x.de");
    EXPECT_FALSE(store.PostPendingEdit());
    EXPECT_EQ(prompts.messages, QStringList{"abgelehnt"});
    EXPECT_EQ(ds.State(), db::dsEdit);
    EXPECT_EQ(ds.FieldByName("Email")->AsString(), "neu@x.de");
    EXPECT_FALSE(store.SaveList("Kunden")) << "nothing is saved over a refused edit";
    EXPECT_EQ(ds.State(), db::dsEdit);
    conn.Execute("DROP TRIGGER nope");
    EXPECT_TRUE(store.SaveList("Kunden"));
    EXPECT_EQ(Value("SELECT Email FROM Backup_RL1").toString(), "neu@x.de");
}

TEST_F(ListTest, BulkInsertKeepsRowsBeforeAFailure)
{
    store.NewUnsavedList();
    store.BeginBulkInsert();
    EXPECT_TRUE(store.InsertRow({"0", "a@x.de"}));
    EXPECT_FALSE(store.InsertRow({"9", "b@x.de"}));
    EXPECT_TRUE(store.InsertRow({"0", "c@x.de"}));
    EXPECT_EQ(conn.TransactionLevel(), 1);
    store.EndBulkInsert();
    EXPECT_EQ(conn.TransactionLevel(), 0);
    db::Connection other;
    other.Open(dir.file("qly.db"));
    EXPECT_EQ(other.Scalar("SELECT group_concat(Email) FROM temp4711").toString(), "a@x.de,c@x.de");
}

// A bulk whose caller takes refused rows later may hold rows back and store them together: every
// row still lands in its order with its values, a refused one (inside a full batch or in the
// last rows) comes back with its values, and the list's AUTOINCREMENT counter ends at the last id.
TEST_F(ListTest, HeldBackRowsLandInOrderAndRefusedOnesComeBack)
{
    store.NewUnsavedList();
    conn.Execute("CREATE TRIGGER no_bad BEFORE INSERT ON temp4711 WHEN NEW.Email LIKE 'bad%' "
                 "BEGIN SELECT RAISE(ABORT, 'refused'); END");
    // With the write-ahead log the bulk's pieces commit without a sync and the log is copied
    // into the database less often; the connection's settings come back for the last commit.
    ASSERT_EQ(Value("PRAGMA journal_mode = wal").toString(), "wal");
    const QVariantList settings = {Value("PRAGMA synchronous"), Value("PRAGMA wal_autocheckpoint")};
    ASSERT_EQ(settings, (QVariantList{2LL, 1000LL}));
    QList<QStringList> refused;
    QStringList expected;
    store.BeginBulkInsert([&](const QStringList& values) { refused << values; });
    EXPECT_EQ((QVariantList{Value("PRAGMA synchronous"), Value("PRAGMA wal_autocheckpoint")}), (QVariantList{1LL, 10000LL}));
    for (int i = 0; i < 100; ++i) {
        const bool bad = i == 5 || i == 40 || i == 98;
        const QString email = QStringLiteral("%1%2@x.de").arg(bad ? "bad" : "ok").arg(i);
        QStringList row{i == 7 ? "2" : "0", email, QStringLiteral("Müller %1").arg(i)};
        if (i % 3 == 0)
            row << QStringLiteral("Jörg");
        EXPECT_TRUE(store.InsertRow(row)) << i;
        if (!bad)
            expected << email;
    }
    EXPECT_FALSE(store.InsertRow({"9", "status@x.de"})) << "a wrong status is refused at once";
    EXPECT_TRUE(store.IsDuplicate("Email", "OK99@X.DE")) << "held rows are stored before the look";
    store.EndBulkInsert();

    EXPECT_EQ(refused, (QList<QStringList>{{"0", "bad5@x.de", "Müller 5", ""},
                                           {"0", "bad40@x.de", "Müller 40", ""},
                                           {"0", "bad98@x.de", "Müller 98", ""}}));
    const auto rows = Rows("SELECT _ID, Email, Status, \"Last Name\", \"First Name\" FROM temp4711 ORDER BY _ID");
    QStringList emails;
    for (const QVariantList& r : rows)
        emails << r[1].toString();
    EXPECT_EQ(emails, expected);
    // The ids count on from the refused row's (a refused row takes none).
    EXPECT_EQ(rows[6], (QVariantList{7LL, "ok7@x.de", 2LL, "Müller 7", ""}));
    EXPECT_EQ(rows[8], (QVariantList{9LL, "ok9@x.de", 0LL, "Müller 9", "Jörg"}));
    EXPECT_EQ(Value("SELECT count(*) FROM temp4711 WHERE \"First Name\" IS NULL").toInt(), 0)
        << "missing values are empty, not NULL";
    EXPECT_EQ(Value("SELECT seq FROM sqlite_sequence WHERE name = 'temp4711'").toLongLong(), rows.last()[0].toLongLong());
    EXPECT_EQ((QVariantList{Value("PRAGMA synchronous"), Value("PRAGMA wal_autocheckpoint")}), settings);
    EXPECT_EQ(conn.TransactionLevel(), 0);

    // Without a taker of refused rows nothing is held: a refusal is the row's result.
    store.BeginBulkInsert();
    EXPECT_FALSE(store.InsertRow({"0", "bad@x.de"}));
    EXPECT_TRUE(store.InsertRow({"0", "late@x.de"}));
    store.EndBulkInsert();
    EXPECT_EQ(Value("SELECT Email FROM temp4711 ORDER BY _ID DESC LIMIT 1").toString(), "late@x.de");
}

// Rows held back when the list gets a new column go in first, with the columns they were taken for.
TEST_F(ListTest, HeldBackRowsGoInBeforeTheColumnsChange)
{
    store.NewUnsavedList();
    store.BeginBulkInsert([](const QStringList&) { ADD_FAILURE() << "nothing is refused"; });
    EXPECT_TRUE(store.InsertRow({"0", "a@x.de", "A"}));
    EXPECT_TRUE(store.InsertRow({"0", "b@x.de", "B"}));
    ASSERT_TRUE(store.AddColumn("Firma"));
    EXPECT_TRUE(store.InsertRow({"0", "c@x.de", "C", "", "Acme"}));
    store.EndBulkInsert();
    EXPECT_EQ(Rows("SELECT Email, \"Last Name\", Firma FROM temp4711 ORDER BY _ID"),
              (QList<QVariantList>{{"a@x.de", "A", QVariant()}, {"b@x.de", "B", QVariant()}, {"c@x.de", "C", "Acme"}}));
}

// A long bulk (an import run, a list file) commits in pieces: another program reads the rows so
// far and gets its own writes in with the window's short busy wait, in either journal mode.
TEST_F(ListTest, ALongBulkCommitsInPiecesSoAnotherProgramReadsAndWritesMeanwhile)
{
    conn.Execute("CREATE TABLE Other (v INTEGER)");
    conn.Execute("INSERT INTO Other VALUES (0)");
    for (const char* mode : {"wal", "delete"})
      for (const bool held : {false, true}) {
        SCOPED_TRACE(mode);
        SCOPED_TRACE(held ? "rows held back" : "rows one by one");
        ASSERT_EQ(Value(QStringLiteral("PRAGMA journal_mode = %1").arg(mode)).toString(), mode);
        store.NewUnsavedList();
        std::atomic<bool> bulkRuns{true};
        std::atomic<int> writes{0}, failures{0};
        std::atomic<qint64> seen{0};
        std::thread other([&] {
            db::Connection c;
            c.Open(dir.file("qly.db"));
            c.SetBusyTimeout(150);
            while (bulkRuns) {
                try {
                    seen = std::max<qint64>(seen, c.Scalar("SELECT count(*) FROM temp4711").toLongLong());
                    c.Execute("UPDATE Other SET v = v + 1");
                    ++writes;
                } catch (const db::EDatabaseError&) {
                    ++failures;
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
        });
        QElapsedTimer running;
        running.start();
        int refused = 0;
        if (held)
            store.BeginBulkInsert([&](const QStringList&) { ++refused; });
        else
            store.BeginBulkInsert();
        int rows = 0;
        while (running.elapsed() < 8 * recipients::TRecipientListStore::BulkPieceMs)
            ASSERT_TRUE(store.InsertRow({"0", QStringLiteral("r%1@x.de").arg(++rows)}));
        const int writesDuringBulk = writes;
        const qint64 seenDuringBulk = seen;
        store.EndBulkInsert();
        bulkRuns = false;
        other.join();
        EXPECT_EQ(failures, 0);
        EXPECT_GE(writesDuringBulk, 3);
        EXPECT_GT(seenDuringBulk, 0) << "rows of the bulk were committed before its end";
        EXPECT_EQ(conn.TransactionLevel(), 0);
        EXPECT_EQ(Value("SELECT count(*) FROM temp4711").toInt(), rows);
        EXPECT_EQ(refused, 0);
    }
}

TEST_F(ListTest, StatusOfSelectionRunsBatchesOfFiveThousandInOneTransaction)
{
    store.NewUnsavedList();
    conn.Execute("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 12500) "
                 "INSERT INTO temp4711 (Email) SELECT 'r' || i || '@x.de' FROM n");
    store.Requery();
    QList<qint64> ids;
    for (qint64 i = 12000; i >= 1; --i) // in the selection's order, not the table's
        ids << i;
    QStringList updates;
    conn.OnStatement = [&](const QString& sql) {
        if (sql.startsWith("UPDATE"))
            updates << sql;
    };
    EXPECT_EQ(store.RowsToSent(), 12500);
    ASSERT_TRUE(store.SetStatusOfIds(ids, 1));
    conn.OnStatement = nullptr;
    ASSERT_EQ(updates.size(), 3);
    QList<int> sizes;
    for (const QString& u : updates)
        sizes << int(u.count(',') + 1);
    EXPECT_EQ(sizes, (QList<int>{5000, 5000, 2000}));
    EXPECT_TRUE(updates[0].contains("IN (12000,11999,"));
    EXPECT_EQ(store.RowsToSent(), 500);
    EXPECT_EQ(Value("SELECT count(*) FROM temp4711 WHERE Status = 1 AND _ID <= 12000").toInt(), 12000);

    // A failing batch changes nothing at all and shows its message.
    conn.Execute("CREATE TRIGGER stop AFTER UPDATE ON temp4711 WHEN NEW._ID = 12001 BEGIN SELECT RAISE(ABORT, 'nein'); END");
    EXPECT_FALSE(store.SetStatusOfIds({1, 2, 12001}, 2));
    EXPECT_EQ(prompts.messages, QStringList{"nein"});
    EXPECT_EQ(Value("SELECT count(*) FROM temp4711 WHERE Status = 2").toInt(), 0);
}

TEST_F(ListTest, BulkStatusStatementsChangeOnlyWhatTheyName)
{
    store.NewUnsavedList();
    for (const auto& [status, email] : {std::pair{0, "a@x"}, {1, "b@x"}, {2, "c@x"}, {1, ""}, {0, "e@x"}})
        conn.Execute("INSERT INTO temp4711 (Status, Email) VALUES (?, ?)", {status, email});
    conn.Execute("INSERT INTO temp4711 (Status, Email) VALUES (2, NULL)");
    auto statuses = [&] { return Value("SELECT group_concat(Status, '') FROM (SELECT Status FROM temp4711 ORDER BY _ID)").toString(); };
    store.MarkAllSentAsUnsent();
    EXPECT_EQ(statuses(), "002002");
    EXPECT_EQ(store.RowsToSent(), 4);
    store.MarkAllBlockedAsUnsent();
    EXPECT_EQ(statuses(), "000000");
    EXPECT_EQ(store.RowsToSent(), 6);
    store.MarkAllAsBlocked();
    EXPECT_EQ(statuses(), "222222");
    EXPECT_EQ(store.RowsToSent(), 0);
    store.RemoveEmptyAddresses();
    EXPECT_EQ(Value("SELECT group_concat(Email) FROM temp4711").toString(), "a@x,b@x,c@x,e@x");
    EXPECT_EQ(store.DataSet().RecordCount(), 4);
}

TEST_F(ListTest, SortingKeepsFieldAndDirectionAndOpeningResetsIt)
{
    MakeList("Kunden", {{"b@x", "Name2"}, {"c@x", "Name1"}, {"a@x", "Name3"}});
    store.OpenList("Kunden");
    ASSERT_TRUE(store.AddColumn("Name"));
    conn.Execute("UPDATE RL1 SET Name = Email");
    store.SortByColumn("Last Name");
    EXPECT_EQ(ShownEmails(), (QStringList{"c@x", "b@x", "a@x"}));
    // Another column whose name is part of the statement still sorts ascending first.
    store.SortByColumn("Name");
    EXPECT_EQ(ShownEmails(), (QStringList{"a@x", "b@x", "c@x"}));
    store.SortByColumn("Name");
    EXPECT_EQ(ShownEmails(), (QStringList{"c@x", "b@x", "a@x"}));
    store.SortByColumn("Name");
    EXPECT_EQ(ShownEmails(), (QStringList{"a@x", "b@x", "c@x"}));
    EXPECT_EQ(store.OrderClause(), " ORDER BY \"Name\"");
    store.OpenList("RL1");
    EXPECT_EQ(store.OrderClause(), "");
    store.SortByColumn("Email");
    EXPECT_FALSE(store.SortDescending());
}

} // namespace
