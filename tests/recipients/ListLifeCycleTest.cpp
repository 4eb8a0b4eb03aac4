// Opening with lock and backup, saving, replacing, discarding, deleting, closing.
#include "ListFixture.h"
#include <gmock/gmock.h>
#include <algorithm>
#include <sys/wait.h>
#include <unistd.h>

using namespace listtest;
using recipients::TRecipientListStore;

namespace {

const QString kRefusedBob = "Diese Empfängerliste wird bereits von einem weiteren Benutzer bearbeitet. Aus Sicherheitsgründen "
                            "lässt Quillory kein weiteres Öfnnen dieser Liste zu. Aktueller Benutzer dieser Liste ist: 'bob'.";

class LifeCycleTest : public ListTest {
protected:
    QString LockOf(const QString& name) { return Value("SELECT LockedBy FROM RecipientsLists WHERE Name = '" + name + "'").toString(); }
    QString Emails(const QString& table)
    {
        return Value("SELECT group_concat(Email) FROM (SELECT Email FROM \"" + table + "\" ORDER BY _ID)").toString();
    }
    void SetLock(const QString& name, const QString& lock)
    {
        conn.Execute("UPDATE RecipientsLists SET LockedBy = ? WHERE Name = ?", {lock, name});
    }
    // A lock text of this user on this host for a process that has ended.
    QString DeadLock()
    {
        const pid_t child = fork();
        if (child == 0)
            _exit(0);
        waitpid(child, nullptr, 0);
        return TRecipientListStore::UserName() + "@" + TRecipientListStore::HostName() + ":" + QString::number(child) + ":99";
    }
};

TEST_F(LifeCycleTest, OpeningLocksAndBacksUpAndClosingReleases)
{
    MakeList("Kunden", {{"a@x.de"}, {"b@x.de"}});
    ASSERT_TRUE(store.OpenStoredList("kunden"));
    EXPECT_EQ(store.TableName(), "RL1");
    EXPECT_EQ(LockOf("Kunden"), store.LockText());
    EXPECT_THAT(store.LockText().toStdString(), ::testing::MatchesRegex(".+@.+:[0-9]+:4711:[0-9a-f]+\\.[0-9]+:[-0-9 .]+"));
    EXPECT_EQ(TRecipientListStore::LockUser(store.LockText()), TRecipientListStore::UserName());
    EXPECT_EQ(Emails("Backup_RL1"), "a@x.de,b@x.de");
    EXPECT_TRUE(store.IsLocked("KUNDEN"));

    store.CloseList();
    EXPECT_EQ(LockOf("Kunden"), "");
    EXPECT_FALSE(conn.TableExists("Backup_RL1"));
    EXPECT_FALSE(store.IsLocked("Kunden"));
    EXPECT_TRUE(prompts.messages.isEmpty());
}

TEST_F(LifeCycleTest, LocksOfOthersAreRefused)
{
    MakeList("Kunden", {{"a@x.de"}});
    const QString me = TRecipientListStore::UserName() + "@" + TRecipientListStore::HostName();
    const struct {
        QString lock;
        QString user;
    } cases[] = {{"bob@otherhost:123:5", "bob"},
                 {"bob", "bob"}, // a bare name of another user
                 // a running run of mine, recognised by its process's start
                 {me + ":" + QString::number(getppid()) + ":5:" + TRecipientListStore::ProcessStart(getppid()) + ":2026-01-02 03.04.05",
                  TRecipientListStore::UserName()}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.lock.toStdString());
        SetLock("Kunden", c.lock);
        prompts.messages.clear();
        EXPECT_FALSE(store.OpenStoredList("Kunden"));
        EXPECT_EQ(prompts.messages, QStringList{QString(kRefusedBob).replace("'bob'", "'" + c.user + "'")});
        EXPECT_EQ(store.TableName(), "temp4711") << "a new unsaved list instead";
        EXPECT_EQ(store.RowCount(), 0);
        EXPECT_EQ(LockOf("Kunden"), c.lock);
        EXPECT_FALSE(conn.TableExists("Backup_RL1"));
    }
}

// What the user sees and can do for locks of runs that are gone or cannot be checked.
TEST_F(LifeCycleTest, StaleAndUncheckableLocksOfThisUser)
{
    const QString user = TRecipientListStore::UserName();
    const QString me = user + "@" + TRecipientListStore::HostName();
    const QString restore = "\" konnte in der letzten Sizung nicht gespeichert werden.";
    auto takeOver = [&](const QString& name, const QString& host, const QString& time) {
        return "Die Empfängerliste \"" + name + "\" ist für den Benutzer '" + user + "' auf dem Rechner '" + host +
               "' gesperrt (seit: " + time + ").\rQuillory kann nicht prüfen, ob sie dort noch geöffnet ist. Möchten Sie die "
               "Sperre aufheben? Ist die Liste dort noch geöffnet, gehen die Änderungen einer der beiden Sitzungen verloren.";
    };
    const struct {
        const char* what;
        QString lock;
        QString takeOverHost, takeOverTime; // empty: no take-over question (the lock is stale)
    } cases[] = {
        {"dead process", DeadLock() + ":x.1:2026-01-02 03.04.05", "", ""},
        {"process id used again (another start)", me + ":" + QString::number(getppid()) + ":5:x.1:2026-01-02 03.04.05", "", ""},
        {"another host", user + "@elsewhere:123:5:x.1:2026-01-02 03.04.05", "elsewhere", "2026-01-02 03.04.05"},
        {"bare name", user, "unbekannt", "unbekannt"},
        {"older form, process id runs", me + ":" + QString::number(getppid()) + ":5", TRecipientListStore::HostName(), "unbekannt"},
    };
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const QString name = QString("Liste%1").arg(++n);
        const QString table = MakeList(name, {{"alt@x.de"}});
        store.CopyTable(table, "Backup_" + table);
        SetLock(name, c.lock);
        const bool question = !c.takeOverHost.isEmpty();
        if (question) {
            // No: the list stays locked, nothing is said beyond the question.
            prompts.asked.clear();
            prompts.messages.clear();
            prompts.answers = {TAnswer::No};
            EXPECT_FALSE(store.OpenStoredList(name));
            EXPECT_EQ(prompts.asked, QStringList{takeOver(name, c.takeOverHost, c.takeOverTime)});
            EXPECT_TRUE(prompts.messages.isEmpty());
            EXPECT_EQ(LockOf(name), c.lock);
        }
        // Yes (or a stale lock): the list opens after the restore question, locked by this run.
        prompts.asked.clear();
        prompts.answers = question ? std::deque<TAnswer>{TAnswer::Yes, TAnswer::Yes} : std::deque<TAnswer>{TAnswer::Yes};
        EXPECT_TRUE(store.OpenStoredList(name));
        ASSERT_EQ(prompts.asked.size(), question ? 2 : 1);
        EXPECT_TRUE(prompts.asked.last().contains(restore));
        EXPECT_EQ(LockOf(name), store.LockText());
        store.CloseList();
        EXPECT_EQ(LockOf(name), "");
    }
    // Deleting a list under a lock that cannot be checked asks the same question first.
    const QString table = MakeList("Fremd", {{"x@x.de"}});
    SetLock("Fremd", user + "@elsewhere:1:1:x.1:2026-01-02 03.04.05");
    prompts.asked.clear();
    prompts.answers = {TAnswer::Ok, TAnswer::Yes};
    QString nowOpen;
    EXPECT_TRUE(store.DeleteList("Fremd", nowOpen));
    EXPECT_EQ(prompts.asked.value(1), takeOver("Fremd", "elsewhere", "2026-01-02 03.04.05"));
    EXPECT_FALSE(store.ListExists("Fremd"));
    EXPECT_FALSE(conn.TableExists(table));
}

TEST_F(LifeCycleTest, StaleLockOfThisUserOffersTheRestore)
{
    for (const TAnswer answer : {TAnswer::Yes, TAnswer::No}) {
        SCOPED_TRACE(answer == TAnswer::Yes ? "Yes" : "No");
        const QString name = answer == TAnswer::Yes ? "Ja-Liste" : "Nein-Liste";
        const QString table = MakeList(name, {{"alt@x.de"}});
        // The run that ended without closing: its edits in the table, the state at open in the backup.
        store.CopyTable(table, "Backup_" + table);
        conn.Execute("INSERT INTO " + table + " (Email) VALUES ('neu@x.de')");
        SetLock(name, DeadLock());

        prompts.answers = {answer};
        prompts.asked.clear();
        ASSERT_TRUE(store.OpenStoredList(name));
        EXPECT_EQ(prompts.asked, QStringList{"Die Liste \"" + name +
                                             "\" konnte in der letzten Sizung nicht gespeichert werden.\rMöchten Sie diese "
                                             "Liste jetzt wiederherstellen? Klicken Sie \"Nein\" um die Änderungen zu verwerfen."});
        const QString expected = answer == TAnswer::Yes ? "alt@x.de,neu@x.de" : "alt@x.de";
        EXPECT_EQ(Emails(table), expected);
        EXPECT_EQ(Emails("Backup_" + table), expected);
        EXPECT_EQ(LockOf(name), store.LockText());
        EXPECT_EQ(store.DataSet().RecordCount(), answer == TAnswer::Yes ? 2 : 1);
    }
    // This process with another instance number is stale too.
    const QString mine = TRecipientListStore::UserName() + "@" + TRecipientListStore::HostName() + ":" + QString::number(getpid());
    EXPECT_TRUE(store.IsStaleLock(mine + ":1"));
    EXPECT_FALSE(store.IsStaleLock(mine + ":4711"));
}

TEST_F(LifeCycleTest, SavingAStoredListUnderANewNameLeavesTheOldOneAsItWas)
{
    MakeList("Alt", {{"a@x.de"}});
    ASSERT_TRUE(store.OpenStoredList("Alt"));
    ASSERT_TRUE(store.AddColumn("Firma"));
    ASSERT_TRUE(store.InsertRow({"0", "b@x.de", "", "", "ACME"}));
    store.SortByColumn("Email");
    store.SortByColumn("Email");

    ASSERT_TRUE(store.SaveList("Neu"));
    EXPECT_EQ(store.TableName(), "RL2");
    EXPECT_EQ(store.GetListNames(), (QStringList{"Alt", "Neu"}));
    EXPECT_EQ(Emails("RL2"), "a@x.de,b@x.de");
    EXPECT_EQ(Value("SELECT Firma FROM RL2 WHERE Email = 'b@x.de'").toString(), "ACME");
    EXPECT_EQ(LockOf("Neu"), store.LockText());
    EXPECT_EQ(Emails("Backup_RL2"), "a@x.de,b@x.de");
    // The old list: back at its last open, released, no backup.
    EXPECT_EQ(Emails("RL1"), "a@x.de");
    EXPECT_FALSE(conn.ColumnNames("RL1").contains("Firma"));
    EXPECT_EQ(LockOf("Alt"), "");
    EXPECT_FALSE(conn.TableExists("Backup_RL1"));
    // The order stays.
    EXPECT_EQ(store.OrderClause(), " ORDER BY \"Email\" DESC");
    EXPECT_EQ(ShownEmails(), (QStringList{"b@x.de", "a@x.de"}));

    // Saving under its own name refreshes the backup.
    ASSERT_TRUE(store.InsertRow({"0", "c@x.de"}));
    ASSERT_TRUE(store.SaveList("neu"));
    EXPECT_EQ(Emails("Backup_RL2"), "a@x.de,b@x.de,c@x.de");
    EXPECT_TRUE(prompts.asked.isEmpty());
}

TEST_F(LifeCycleTest, SaveRefusesShortNamesAndKeepsAReplaceOnlyAfterYes)
{
    MakeList("Kunden", {{"old@x.de"}});
    store.NewUnsavedList();
    ASSERT_TRUE(store.InsertRow({"0", "new@x.de"}));
    for (const char* name : {"ab", " ab  ", ""}) {
        EXPECT_FALSE(store.SaveList(name));
    }
    EXPECT_EQ(prompts.infos, QStringList(3, "Der Name einer Empfängerliste muss mindestens 3 Zeichen lang sein."));

    prompts.answers = {TAnswer::No};
    EXPECT_FALSE(store.SaveList("KUNDEN"));
    EXPECT_EQ(prompts.asked, QStringList{"Die Empfängerliste \"KUNDEN\" existiert bereits. Möchten Sie sie ersetzten?"});
    EXPECT_EQ(Emails("RL1"), "old@x.de");
    EXPECT_EQ(Emails("temp4711"), "new@x.de");
    EXPECT_EQ(store.TableName(), "temp4711");

    // Replacing a list someone else holds is refused.
    SetLock("Kunden", "bob@otherhost:1:1");
    prompts.answers = {TAnswer::Yes};
    EXPECT_FALSE(store.SaveList("Kunden"));
    EXPECT_EQ(prompts.messages, QStringList{kRefusedBob});
    EXPECT_EQ(Emails("RL1"), "old@x.de");
    EXPECT_EQ(store.TableName(), "temp4711");
    EXPECT_EQ(store.DataSet().RecordCount(), 1);

    SetLock("Kunden", "");
    prompts.answers = {TAnswer::Yes};
    ASSERT_TRUE(store.SaveList("Kunden"));
    EXPECT_EQ(Emails("RL1"), "new@x.de");
    EXPECT_EQ(Emails("Backup_RL1"), "new@x.de");
    EXPECT_FALSE(conn.TableExists("temp4711"));
    EXPECT_EQ(LockOf("Kunden"), store.LockText());
    EXPECT_EQ(store.TableName(), "RL1");
}

TEST_F(LifeCycleTest, SavingAStoredListOverAnotherStoredListMovesItsContent)
{
    MakeList("Erste", {{"a@x.de"}});
    MakeList("Zweite", {{"z@x.de"}});
    ASSERT_TRUE(store.OpenStoredList("Erste"));
    ASSERT_TRUE(store.InsertRow({"0", "b@x.de"}));
    prompts.answers = {TAnswer::Yes};
    ASSERT_TRUE(store.SaveList("Zweite"));
    EXPECT_EQ(store.TableName(), "RL2");
    EXPECT_EQ(Emails("RL2"), "a@x.de,b@x.de");
    EXPECT_EQ(Emails("RL1"), "a@x.de");
    EXPECT_EQ(LockOf("Erste"), "");
    EXPECT_FALSE(conn.TableExists("Backup_RL1"));
    EXPECT_EQ(LockOf("Zweite"), store.LockText());
}

TEST_F(LifeCycleTest, AskSaveList)
{
    // Nothing changed, or an empty unsaved list: no question.
    store.NewUnsavedList();
    EXPECT_TRUE(store.AskSaveList("", false));
    EXPECT_TRUE(store.AskSaveList("", true));
    EXPECT_TRUE(prompts.asked.isEmpty());

    ASSERT_TRUE(store.InsertRow({"0", "a@x.de"}));
    prompts.answers = {TAnswer::Yes, TAnswer::Cancel, TAnswer::No};
    EXPECT_FALSE(store.AskSaveList("", true));
    EXPECT_EQ(prompts.messages, QStringList{"Bitte geben Sie zuerst einen Namen für diese Empfängerliste ein."});
    EXPECT_FALSE(store.AskSaveList("Liste", true));
    EXPECT_TRUE(store.AskSaveList("Liste", true));
    EXPECT_EQ(prompts.asked, (QStringList{"Änderungen an der Empfängerliste \"unbenannt\" speichern?",
                                          "Änderungen an der Empfängerliste \"Liste\" speichern?",
                                          "Änderungen an der Empfängerliste \"Liste\" speichern?"}));
    EXPECT_EQ(store.RowCount(), 1) << "No leaves the unsaved list to the caller";

    // Yes answers true only when the list was stored.
    prompts.answers = {TAnswer::Yes};
    EXPECT_FALSE(store.AskSaveList("ab", true));
    prompts.answers = {TAnswer::Yes};
    EXPECT_TRUE(store.AskSaveList("Gespeichert", true));
    EXPECT_EQ(store.TableName(), "RL1");

    // A stored list whose rows were all deleted still asks; No discards the changes.
    conn.Execute("DELETE FROM RL1");
    store.Requery();
    prompts.answers = {TAnswer::No};
    EXPECT_TRUE(store.AskSaveList("Gespeichert", true));
    EXPECT_EQ(Emails("RL1"), "a@x.de");
    EXPECT_EQ(store.DataSet().RecordCount(), 1);
    EXPECT_EQ(LockOf("Gespeichert"), store.LockText()) << "lock and backup stay";
    EXPECT_TRUE(conn.TableExists("Backup_RL1"));
}

TEST_F(LifeCycleTest, DeleteOpensTheListAboveOrANewUnsavedList)
{
    MakeList("Eins", {{"1@x.de"}});
    MakeList("Zwei", {{"2@x.de"}});
    MakeList("Drei", {{"3@x.de"}});
    ASSERT_TRUE(store.OpenStoredList("Drei"));
    QString nowOpen;
    prompts.answers = {TAnswer::Cancel};
    EXPECT_FALSE(store.DeleteList("Drei", nowOpen));
    EXPECT_TRUE(conn.TableExists("RL3"));

    prompts.answers = {TAnswer::Ok};
    ASSERT_TRUE(store.DeleteList("Drei", nowOpen));
    EXPECT_EQ(prompts.asked.last(), "Diese Liste aus der Datenbank löschen:  Drei.");
    EXPECT_EQ(nowOpen, "Zwei");
    EXPECT_EQ(store.TableName(), "RL2");
    EXPECT_EQ(LockOf("Zwei"), store.LockText());
    EXPECT_FALSE(conn.TableExists("RL3"));
    EXPECT_FALSE(conn.TableExists("Backup_RL3"));
    EXPECT_EQ(store.GetListNames(), (QStringList{"Eins", "Zwei"}));

    // The list above is held by someone else: refused, a new unsaved list instead.
    SetLock("Eins", "bob@otherhost:1:1");
    prompts.answers = {TAnswer::Ok};
    ASSERT_TRUE(store.DeleteList("Zwei", nowOpen));
    EXPECT_EQ(nowOpen, "");
    EXPECT_EQ(prompts.messages, QStringList{kRefusedBob});
    EXPECT_EQ(store.TableName(), "temp4711");

    // A list someone else holds is not deleted.
    prompts.answers = {TAnswer::Ok};
    EXPECT_FALSE(store.DeleteList("Eins", nowOpen));
    EXPECT_TRUE(conn.TableExists("RL1"));

    // The first list: a new unsaved list follows.
    SetLock("Eins", "");
    prompts.answers = {TAnswer::Ok};
    ASSERT_TRUE(store.DeleteList("Eins", nowOpen));
    EXPECT_EQ(nowOpen, "");
    EXPECT_EQ(store.TableName(), "temp4711");
    EXPECT_TRUE(store.GetListNames().isEmpty());

    // No stored list of that name: discarding the unsaved list, after OK only.
    ASSERT_TRUE(store.InsertRow({"0", "u@x.de"}));
    prompts.answers = {TAnswer::Cancel, TAnswer::Ok};
    EXPECT_FALSE(store.DeleteList("", nowOpen));
    EXPECT_EQ(store.RowCount(), 1);
    EXPECT_TRUE(store.DeleteList("", nowOpen));
    EXPECT_EQ(prompts.asked.last(), "Möchten Sie die Änderungen dieser ungespeicherten Liste verwerfen.");
    EXPECT_EQ(store.RowCount(), 0);
}

TEST_F(LifeCycleTest, AfterAFailedStatementTheListIsOpenAsBefore)
{
    MakeList("Kunden", {{"a@x.de"}, {"b@x.de"}});
    ASSERT_TRUE(store.OpenStoredList("Kunden"));
    ASSERT_TRUE(store.AddColumn("Firma"));
    conn.Execute("UPDATE RL1 SET Firma = 'ACME'");
    // A rename whose copy fails keeps the old column.
    conn.Execute("CREATE TRIGGER nope BEFORE UPDATE ON RL1 BEGIN SELECT RAISE(ABORT, 'gesperrt'); END");
    EXPECT_THROW(store.RenameColumn("Firma", "Unternehmen"), db::EDatabaseError);
    EXPECT_EQ(store.GetFieldNames().last(), "Firma");
    EXPECT_TRUE(store.DataSet().Active());
    EXPECT_EQ(store.DataSet().RecordCount(), 2);
    EXPECT_TRUE(store.InsertRow({"0", "c@x.de", "", "", "X"}));
    conn.Execute("DROP TRIGGER nope");

    // Discarding without a backup fails and changes nothing.
    conn.Execute("DROP TABLE Backup_RL1");
    EXPECT_THROW(store.DiscardListChanges("RL1"), db::EDatabaseError);
    EXPECT_EQ(Emails("RL1"), "a@x.de,b@x.de,c@x.de");
    EXPECT_TRUE(store.DataSet().Active());
    EXPECT_EQ(store.DataSet().RecordCount(), 3);
    EXPECT_TRUE(store.InsertRow({"0", "d@x.de"}));
}

TEST_F(LifeCycleTest, ListNamesInTheirOrder)
{
    MakeList("Beta");
    MakeList("alpha");
    MakeList("Gamma");
    conn.Execute("UPDATE RecipientsLists SET LastUsedDate = '2020-01-01' WHERE Name = 'Beta'");
    EXPECT_EQ(store.GetListNames(), (QStringList{"alpha", "Gamma", "Beta"}));
    EXPECT_EQ(store.ListNameToTable("ALPHA"), "RL2");
    EXPECT_EQ(store.ListNameToTable("temp4711"), "temp4711");
    EXPECT_EQ(store.ListNameToTable("Delta"), "");
}

TEST_F(LifeCycleTest, TwoProcessesRacingForOneListExactlyOneGetsIt)
{
    MakeList("Kunden", {{"a@x.de"}});
    const QString path = dir.file("qly.db");
    // go: both start together; results: each reports; done: both stay alive (their locks held by
    // running processes) until the parent has both results.
    int go[2], results[2], done[2];
    ASSERT_EQ(pipe(go), 0);
    ASSERT_EQ(pipe(results), 0);
    ASSERT_EQ(pipe(done), 0);
    pid_t children[2];
    for (pid_t& child : children) {
        child = fork();
        if (child == 0) {
            close(go[1]);
            close(done[1]);
            char c;
            (void)!read(go[0], &c, 1);
            char result = 'e';
            try {
                db::Connection c2;
                c2.Open(path);
                ScriptedPrompts quiet;
                quiet.answers = {TAnswer::No, TAnswer::No}; // never reached while both run
                TRecipientListStore s(c2, &quiet);
                s.TEMP = "temp" + QString::number(getpid());
                s.Instance = 1;
                result = s.OpenStoredList("Kunden") ? 'o' : (quiet.messages.size() == 1 && quiet.asked.isEmpty() ? 'r' : 'q');
            } catch (...) {
            }
            (void)!write(results[1], &result, 1);
            (void)!read(done[0], &c, 1);
            _exit(0);
        }
    }
    close(go[0]);
    close(go[1]); // the closed pipe releases both
    QString outcome;
    for (int i = 0; i < 2; ++i) {
        char r = '?';
        (void)!read(results[0], &r, 1);
        outcome += QChar(r);
    }
    const QString lock = LockOf("Kunden");
    close(done[1]);
    for (pid_t child : children)
        waitpid(child, nullptr, 0);
    std::sort(outcome.begin(), outcome.end());
    EXPECT_EQ(outcome, "or") << "one opened, one refused";
    EXPECT_TRUE(lock.section(':', 1, 1) == QString::number(children[0]) || lock.section(':', 1, 1) == QString::number(children[1]))
        << lock.toStdString();
}

} // namespace
