// The list commands of the recipients page: open with lock and backup, save, save under a name,
// discard, delete, new unsaved list.
#include "recipients/RecipientListStore.h"
#include "platform/db/Connection.h"
#include "platform/db/ExtADODataSet.h"

namespace recipients {

using db::QuoteName;

namespace {
const QString kLists = QStringLiteral("RecipientsLists");

QString BackupOf(const QString& table) { return BackupTableName(table); }
int IdOf(const QString& table) { return table.mid(2).toInt(); }

// Restores the busy cursor on every way out.
class TBusy {
public:
    explicit TBusy(IListPrompts* p) : m_p(p) { if (m_p) m_p->Busy(true); }
    ~TBusy() { if (m_p) m_p->Busy(false); }
private:
    IListPrompts* m_p;
};
} // namespace

void TRecipientListStore::RefuseLocked(const QString& lockedBy)
{
    Message(QStringLiteral("Diese Empfängerliste wird bereits von einem weiteren Benutzer bearbeitet. Aus Sicherheitsgründen "
                           "lässt Quillory kein weiteres Öfnnen dieser Liste zu. Aktueller Benutzer dieser Liste ist: '") +
            LockUser(lockedBy) + QStringLiteral("'."));
}

bool TRecipientListStore::MayTakeLock(const QString& lockedBy, const QString& listName)
{
    if (lockedBy.isEmpty() || IsStaleLock(lockedBy))
        return true;
    if (!CanTakeOverLock(lockedBy))
        return false;
    const TLockOwner o = TLockOwner::Parse(lockedBy);
    const QString host = o.host.isEmpty() ? QStringLiteral("unbekannt") : o.host;
    const QString time = o.time.isEmpty() ? QStringLiteral("unbekannt") : o.time;
    return Ask(QStringLiteral("Die Empfängerliste \"") + listName + QStringLiteral("\" ist für den Benutzer '") + o.user +
                   QStringLiteral("' auf dem Rechner '") + host + QStringLiteral("' gesperrt (seit: ") + time +
                   QStringLiteral(").\rQuillory kann nicht prüfen, ob sie dort noch geöffnet ist. Möchten Sie die Sperre "
                                  "aufheben? Ist die Liste dort noch geöffnet, gehen die Änderungen einer der beiden "
                                  "Sitzungen verloren."),
               TAskButtons::YesNo) == TAnswer::Yes;
}

// Takes the lock of a list: a free one, or the one that reads `expected` (a stale lock of this
// user). One conditional statement, so of two runs racing for a list exactly one gets it.
bool TRecipientListStore::TakeLock(int id, const QString& expected)
{
    int changed;
    if (expected.isEmpty())
        changed = m_conn.Execute(QStringLiteral("UPDATE %1 SET %2 = ? WHERE %3 = ? AND (%2 IS NULL OR trim(%2) = '')")
                                     .arg(QuoteName(kLists), QuoteName("LockedBy"), QuoteName("ID")),
                                 {LockText(), id});
    else
        changed = m_conn.Execute(QStringLiteral("UPDATE %1 SET %2 = ? WHERE %3 = ? AND trim(%2) = ?")
                                     .arg(QuoteName(kLists), QuoteName("LockedBy"), QuoteName("ID")),
                                 {LockText(), id, expected});
    return changed == 1;
}

bool TRecipientListStore::LockAndBackupList(const QString& table)
{
    if (table == TEMP)
        return true;
    const int id = IdOf(table);
    // Read before the transaction: its first statement then is the write, so two runs never
    // wait on each other's read lock.
    const QString current = ReadLock(id);
    db::Transaction trans(m_conn);
    if (current != LockText()) {
        if (!TakeLock(id, IsStaleLock(current) ? current : QString())) {
            trans.Commit();
            RefuseLocked(ReadLock(id));
            return false;
        }
    }
    DropTableIfExists(BackupOf(table));
    CopyTable(table, BackupOf(table), true);
    trans.Commit();
    return true;
}

void TRecipientListStore::RefreshListBackup(const QString& table)
{
    m_dataSet->Close();
    try {
        db::Transaction trans(m_conn);
        DropTableIfExists(BackupOf(table));
        CopyTable(table, BackupOf(table), true);
        trans.Commit();
    } catch (...) {
        ReopenAfterFailure();
        throw;
    }
    OpenList(table);
}

void TRecipientListStore::DiscardListChanges(const QString& table)
{
    if (table.isEmpty() || table == TEMP)
        return;
    const bool wasOpen = table == m_table;
    if (wasOpen) {
        m_insert.reset();
        m_dataSet->Close();
    }
    try {
        db::Transaction trans(m_conn);
        m_conn.Execute(QStringLiteral("DROP TABLE ") + QuoteName(table));
        CopyTable(BackupOf(table), table, true);
        trans.Commit();
    } catch (...) {
        if (wasOpen)
            ReopenAfterFailure();
        throw;
    }
    if (wasOpen) {
        SetStatement();
        m_dataSet->Open();
        PrepareInsertCommand();
    }
}

void TRecipientListStore::NewUnsavedList()
{
    CloseList();
    try {
        DropTableIfExists(TEMP);
    } catch (const db::EDatabaseError&) {
    }
    CreateListTable(TEMP);
    OpenList(TEMP);
}

bool TRecipientListStore::OpenStoredList(const QString& name)
{
    CloseList();
    const QString table = ListNameToTable(name);
    if (table.isEmpty() || table == TEMP) {
        NewUnsavedList();
        return false;
    }
    const int id = IdOf(table);
    const QString lockedBy = ReadLock(id);
    bool restoreAsked = false, keepEdits = true;
    if (!lockedBy.isEmpty()) {
        if (!IsStaleLock(lockedBy)) {
            const bool checkable = !CanTakeOverLock(lockedBy);
            if (checkable || !MayTakeLock(lockedBy, name)) {
                if (checkable)
                    RefuseLocked(lockedBy);
                NewUnsavedList();
                return false;
            }
        }
        restoreAsked = true;
        keepEdits = Ask(QStringLiteral("Die Liste \"") + name +
                            QStringLiteral("\" konnte in der letzten Sizung nicht gespeichert werden.\rMöchten Sie diese Liste "
                                           "jetzt wiederherstellen? Klicken Sie \"Nein\" um die Änderungen zu verwerfen."),
                        TAskButtons::YesNo) == TAnswer::Yes;
    }
    TBusy busy(m_prompts);
    try {
        db::Transaction trans(m_conn);
        if (!TakeLock(id, lockedBy)) {
            trans.Commit();
            RefuseLocked(ReadLock(id));
            NewUnsavedList();
            return false;
        }
        if (restoreAsked && !keepEdits && m_conn.TableExists(BackupOf(table))) {
            // Back to the state of that run's last open or save.
            DropTableIfExists(table);
            CopyTable(BackupOf(table), table, true);
        }
        DropTableIfExists(BackupOf(table));
        CopyTable(table, BackupOf(table), true);
        trans.Commit();
    } catch (...) {
        // Nothing of the open was kept: the user goes on with a new unsaved list.
        try {
            NewUnsavedList();
        } catch (const db::EDatabaseError&) {
        }
        throw;
    }
    OpenList(table);
    return true;
}

bool TRecipientListStore::AskSaveList(const QString& name, bool changed)
{
    if (!changed || m_table.isEmpty())
        return true;
    // An empty unsaved list has nothing to lose; a stored list whose rows were all deleted has.
    if (IsUnsavedOpen() && RowCount() == 0)
        return true;
    const QString shown = name.isEmpty() ? QStringLiteral("unbenannt") : name;
    const TAnswer answer =
        Ask(QStringLiteral("Änderungen an der Empfängerliste \"") + shown + QStringLiteral("\" speichern?"), TAskButtons::YesNoCancel);
    if (answer == TAnswer::Cancel)
        return false;
    if (answer == TAnswer::Yes) {
        if (name.isEmpty()) {
            Message(QStringLiteral("Bitte geben Sie zuerst einen Namen für diese Empfängerliste ein."));
            return false;
        }
        return SaveList(name);
    }
    if (!IsUnsavedOpen())
        DiscardListChanges(m_table);
    return true;
}

bool TRecipientListStore::SaveList(const QString& name)
{
    if (m_table.isEmpty())
        return false;
    if (!PostPendingEdit())
        return false;
    if (name.trimmed().size() <= 2) {
        if (m_prompts)
            m_prompts->Information(QStringLiteral("Der Name einer Empfängerliste muss mindestens 3 Zeichen lang sein."));
        return false;
    }
    TBusy busy(m_prompts);
    const QString sortField = m_sortField;
    const bool sortDesc = m_sortDesc;
    const QString open = m_table;
    const bool stored = open != TEMP;
    const QString target = ListNameToTable(name);
    QString newTable;

    if (!target.isEmpty() && target == open) {
        // The open list under its own name.
        RefreshListBackup(target);
        ApplyOrder(sortField, sortDesc);
        return true;
    }

    try {
    if (!target.isEmpty()) {
        // Replacing another stored list with the open one.
        if (Ask(QStringLiteral("Die Empfängerliste \"") + name + QStringLiteral("\" existiert bereits. Möchten Sie sie ersetzten?"),
                TAskButtons::YesNo) != TAnswer::Yes)
            return false;
        const int targetId = IdOf(target);
        m_insert.reset();
        m_dataSet->Close();
        const QString held = ReadLock(targetId);
        db::Transaction trans(m_conn);
        if (!TakeLock(targetId, IsStaleLock(held) ? held : QString())) {
            trans.Commit();
            RefuseLocked(ReadLock(targetId));
            m_dataSet->Open();
            PrepareInsertCommand();
            return false;
        }
        DropTableIfExists(target);
        DropTableIfExists(BackupOf(target));
        CopyTable(open, target);
        CopyTable(target, BackupOf(target), true);
        if (stored) {
            // The open list goes back to its last open or save and is released.
            m_conn.Execute(QStringLiteral("DROP TABLE ") + QuoteName(open));
            CopyTable(BackupOf(open), open, true);
            DropTableIfExists(BackupOf(open));
            m_conn.Execute(QStringLiteral("UPDATE %1 SET %2 = '' WHERE %3 = ?").arg(QuoteName(kLists), QuoteName("LockedBy"), QuoteName("ID")),
                           {IdOf(open)});
        } else {
            m_conn.Execute(QStringLiteral("DROP TABLE ") + QuoteName(open));
        }
        trans.Commit();
        newTable = target;
    } else {
        // A new name: the open list's content moves into a new stored list.
        m_insert.reset();
        m_dataSet->Close();
        db::Transaction trans(m_conn);
        newTable = CreateListEntry(name);
        CopyTable(open, newTable);
        m_conn.Execute(QStringLiteral("DROP TABLE ") + QuoteName(open));
        if (stored) {
            CopyTable(BackupOf(open), open, true);
            DropTableIfExists(BackupOf(open));
            m_conn.Execute(QStringLiteral("UPDATE %1 SET %2 = '' WHERE %3 = ?").arg(QuoteName(kLists), QuoteName("LockedBy"), QuoteName("ID")),
                           {IdOf(open)});
        }
        if (!TakeLock(IdOf(newTable), QString()))
            throw db::EDatabaseError(QStringLiteral("Die neue Empfängerliste konnte nicht gesperrt werden."));
        CopyTable(newTable, BackupOf(newTable), true);
        trans.Commit();
    }
    } catch (...) {
        // Nothing was stored: the open list comes back as it was.
        ReopenAfterFailure();
        throw;
    }
    m_table.clear();
    OpenList(newTable);
    ApplyOrder(sortField, sortDesc);
    return true;
}

bool TRecipientListStore::DeleteList(const QString& name, QString& nowOpen)
{
    nowOpen = m_table.isEmpty() || IsUnsavedOpen() ? QString() : name;
    if (!ListExists(name)) {
        if (Ask(QStringLiteral("Möchten Sie die Änderungen dieser ungespeicherten Liste verwerfen."), TAskButtons::OkCancel) !=
            TAnswer::Ok)
            return false;
        try {
            NewUnsavedList();
        } catch (const db::EDatabaseError&) {
        }
        nowOpen.clear();
        return true;
    }
    if (Ask(QStringLiteral("Diese Liste aus der Datenbank löschen:  ") + name + QStringLiteral("."), TAskButtons::OkCancel) !=
        TAnswer::Ok)
        return false;
    const QStringList before = GetListNames();
    const qsizetype index = before.indexOf(name);
    const QString table = ListNameToTable(name);
    const int id = IdOf(table);
    const bool isOpen = table == m_table;
    // Another list than the open one: refuse when someone else holds it.
    const QString held = ReadLock(id);
    QString takenOver;
    if (!isOpen && !held.isEmpty() && !IsStaleLock(held)) {
        if (!CanTakeOverLock(held)) {
            RefuseLocked(held);
            return false;
        }
        if (!MayTakeLock(held, name))
            return false;
        takenOver = held;
    }
    CloseList();
    {
        TBusy busy(m_prompts);
        const QString lock = ReadLock(id);
        db::Transaction trans(m_conn);
        const int removed =
            lock.isEmpty() || IsStaleLock(lock) || (!takenOver.isEmpty() && lock == takenOver)
                ? m_conn.Execute(QStringLiteral("DELETE FROM %1 WHERE %2 = ? AND (%3 IS NULL OR trim(%3) = '' OR trim(%3) = ?)")
                                     .arg(QuoteName(kLists), QuoteName("ID"), QuoteName("LockedBy")),
                                 {id, lock})
                : 0;
        if (removed != 1) {
            trans.Commit();
            RefuseLocked(ReadLock(id));
            NewUnsavedList();
            nowOpen.clear();
            return false;
        }
        DropTableIfExists(table);
        DropTableIfExists(BackupOf(table));
        trans.Commit();
    }
    const QStringList after = GetListNames();
    const qsizetype above = index - 1;
    if (above < 0 || above >= after.size()) {
        NewUnsavedList();
        nowOpen.clear();
        return true;
    }
    nowOpen = after[above];
    if (!OpenStoredList(nowOpen))
        nowOpen.clear();
    return true;
}

} // namespace recipients
