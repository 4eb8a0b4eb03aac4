#pragma once
// SQL on the recipient lists: the directory table RecipientsLists and the list tables "RL" + ID.
// Headless; it works on the given connection and shows nothing itself. The one list that is open
// lives in the store's own dataset (DataSet()), which the list grid shows; questions and messages
// go through IListPrompts.
//
// Conventions of every list table: `_ID` key, `Status` SMALLINT default 0, user columns
// TEXT(255) COLLATE NOCASE, and an index on `Email` (compared ignoring case).
//
// Locks: RecipientsLists.LockedBy holds user@host:pid:instance:start:time of the program run that
// has the list open ('' when free): start names the process's start (boot and start time, so a
// process id used again after the run ended is told apart), time is when the lock was taken.
// Locks of older runs carry only user@host:pid:instance. A lock naming this user on this host
// whose process no longer runs, or runs with another start (or is this process with another
// instance number) is stale: the list was left open by a run that ended without closing it. A
// lock of this user that cannot be checked (another host, an older form, a bare name) may be
// taken over after a question.
#include "recipients/ListPrompts.h"
#include <QElapsedTimer>
#include <QList>
#include <QString>
#include <QStringEncoder>
#include <QStringList>
#include <QVariant>
#include <functional>
#include <memory>
#include <vector>

namespace db {
class Connection;
class Statement;
class TDataSet;
class TExtADODataSet;
}

namespace recipients {

// Rows whose status is set by one statement.
constexpr int StatusBatchSize = 5000;

// Fixed columns of every list table besides `_ID`, in table order.
extern const QStringList FixedColumns;

// The backup table of a stored list's table: "Backup_" + table. It holds the list as it was
// opened or last saved, with the same `_ID`s as the list table.
QString BackupTableName(const QString& table);

// The parts of a LockedBy value. A value of another form (a bare user name) has only `user`.
struct TLockOwner {
    QString user;
    QString host;
    qint64 pid = 0;
    quint64 instance = 0;
    QString start;         // the process's start ('' in locks of older runs)
    QString time;          // when the lock was taken, yyyy-MM-dd hh.mm.ss ('' in older locks)
    bool complete = false; // user, host, pid and instance were there

    static TLockOwner Parse(const QString& lockedBy);
    QString Text() const; // user@host:pid:instance:start:time
};

// Case folding of every letter (Unicode), as addresses are compared for duplicates.
QString FoldCase(const QString& text);

// The rows of a list whose address occurs more than once (see FindDuplicates).
struct TDuplicateRows {
    QString statement;          // selects them: grouped by address, in _ID order within a group
    QList<qint64> autoSelected; // the _IDs of every row but the last of each address, in that order
    qint64 rows = 0;            // how many rows the statement selects
    // The same rows' _IDs in the statement's order, and where each address's group ends there.
    std::vector<qint64> shown;
    std::vector<qint64> groupEnds;
    // The database as they were found: PRAGMA data_version and the connection's total changes.
    qint64 dataVersion = -1;
    qint64 totalChanges = -1;
};

class TRecipientListStore {
public:
    explicit TRecipientListStore(db::Connection& conn, IListPrompts* prompts = nullptr);
    ~TRecipientListStore();
    TRecipientListStore(const TRecipientListStore&) = delete;
    TRecipientListStore& operator=(const TRecipientListStore&) = delete;

    db::Connection& Connection() const { return m_conn; }
    void SetPrompts(IListPrompts* prompts) { m_prompts = prompts; }
    IListPrompts* Prompts() const { return m_prompts; }

    // Table name of the unsaved list ("temp" + the run's instance number); it has no directory row.
    QString TEMP;
    // The run's instance number, part of the lock text.
    quint64 Instance = 0;

    // ---- identity and locks
    // Login name of the user running the program.
    static QString UserName();
    static QString HostName();
    // What this run writes into LockedBy.
    QString LockText() const;
    // The user shown for a lock value (the part before "@").
    static QString LockUser(const QString& lockedBy);
    // True for a lock left behind by an earlier run of this user on this host.
    bool IsStaleLock(const QString& lockedBy) const;
    // True for a lock of this user that cannot be checked: taken on another host, or in a form
    // without the process's start (a bare name, a lock of an older run whose process runs).
    bool CanTakeOverLock(const QString& lockedBy) const;
    // The start of a running process ("" when it does not run): boot id and start time.
    static QString ProcessStart(qint64 pid);

    // ---- runs on one database
    // Marks this run as alive for the other runs on this machine: a file beside the database,
    // named after the run's instance number and held with an open file lock that dies with the
    // process. Without a writable folder nothing is marked (and nothing of others is removed).
    void MarkRunAlive(const QString& databaseFile);
    // Removes what runs that are gone left behind: unsaved-list tables "temp" + instance whose
    // run's mark is not held, and backup tables of lists that are not locked (a backup under a
    // stale lock stays: opening the list offers its recovery). Result: the tables removed.
    QStringList RemoveOrphanTables();

    // ---- tables
    // Declaration of a text column of a list table (or of RecipientsLists.Name): the quoted name,
    // TEXT(255), compared ignoring case (ASCII case folding).
    static QString TextColumnDef(const QString& column);
    // Appends a text column to a table.
    void AddTextColumn(const QString& table, const QString& column);
    // Creates the index on Email of a list table when it is missing.
    void EnsureEmailIndex(const QString& table);

    // True when a stored list of that name exists (names compare ignoring case).
    bool ListExists(const QString& name);
    // ID of the stored list of that name, -1 when there is none.
    int GetListID(const QString& name);
    // Adds a directory row for a new name and returns its table name ("RL" + ID). For TEMP or a
    // name that exists already nothing is added and the name itself is returned.
    QString CreateListEntry(const QString& name);
    // CreateListEntry, then creates the list table with the fixed columns and the Email index;
    // returns the table name. All happens in one transaction.
    QString CreateListTable(const QString& name);
    // CreateListTable, then each column added (names the column rule refuses raise); one transaction.
    QString CreateListTableWithColumns(const QString& name, const QStringList& columns);
    // Copies a list table: the target gets the source's columns in order, Status with its default
    // and _ID last (numbered afresh from 1 in the source's _ID order), and the Email index.
    // keepIds: the rows keep their _IDs instead (a list table and its backup), so a row of the
    // one is found in the other.
    void CopyTable(const QString& source, const QString& target, bool keepIds = false);

    // ---- list names
    // Names of the stored lists in the order of LastUsedDate, then ID.
    QStringList GetListNames();
    // TEMP for TEMP; "RL" + ID of the stored list of that name; '' when there is none.
    QString ListNameToTable(const QString& name);
    // True when the list of that name carries a non-empty lock; user gets the trimmed lock value.
    bool GetLockedBy(const QString& name, QString& lockedBy);
    bool IsLocked(const QString& name);

    // ---- the open list
    db::TExtADODataSet& DataSet() const { return *m_dataSet; }
    // Table of the open list ('' when none is open).
    QString TableName() const { return m_table; }
    bool IsUnsavedOpen() const { return !m_table.isEmpty() && m_table == TEMP; }
    // Name of the open stored list ('' for the unsaved list or when none is open).
    QString OpenListName();
    // Opens a list: an argument beginning with "RL" is a table name, anything else a list name
    // (TEMP names the unsaved list). The order is reset to unsorted. An empty argument does
    // nothing; an unknown name or a missing table raises.
    void OpenList(const QString& nameOrTable);
    // New snapshot of the open list (same statement), on the row that was current.
    void Requery();
    // Releases the open list: a stored list's lock (only when this run holds it) and backup, or
    // the unsaved list's table. Errors are ignored. The dataset is closed.
    void CloseList();
    // Lets go of the open list without releasing anything (its table, backup and lock stay for
    // the recovery at the next open).
    void ForgetOpenList();
    // Number of rows in the open list's table.
    qint64 RowCount();
    // Writes a pending edit of the grid. A post the database refuses is shown and gives false;
    // the edit stays pending.
    bool PostPendingEdit();

    // ---- columns
    // Field names of the open list in table order (_ID included).
    QStringList GetFieldNames() const;
    // The columns the import wizard maps: fields without "_"-names and without Status.
    QStringList ImportColumns() const;
    static bool IsFixedColumn(const QString& name);
    // The column-name rule: '' when the name may be added to the open list, else the German
    // reason. Trims; refuses empty names, names starting with "_", the fixed names, names with a
    // backquote, a ";" or a line break, and existing names ignoring case.
    QString ColumnNameProblem(const QString& name) const;
    QString ColumnNameProblem(const QString& name, const QStringList& existing) const;
    bool IsNewColumnName(const QString& name) const { return ColumnNameProblem(name).isEmpty(); }
    // Refusal text of a column add: "Diese Spalte konnte nicht erstellt werden. (" + reason + ")".
    static QString ColumnRefusal(const QString& reason);
    // Adds a text column to the open list; a refusal or failure is shown; result: added.
    bool AddColumn(const QString& name);
    // New column at the end with the old values, old column dropped; one transaction.
    bool RenameColumn(const QString& oldName, const QString& newName);
    // Removes a user column (fixed and "_" columns are refused with a message).
    bool DropColumn(const QString& name);

    // ---- rows
    // Inserts a row into the open list: value i into the i-th column that does not start with
    // "_" (Status first). Missing values are empty, an empty Status is 0. A Status other than 0, 1
    // or 2 and a row the database refuses give false and the row message in error. More values
    // than columns raise db::EDatabaseError.
    bool InsertRow(const QStringList& values, QString* error = nullptr);
    // Puts "0" in front of the row (in the caller's list) and inserts it.
    bool AddImportedRow(QStringList& row, QString* error = nullptr);
    // True when some row holds the value in that column (ignoring the case of every letter);
    // never for a blank value.
    bool IsDuplicate(const QString& column, const QString& value);
    // A transaction around many inserts; EndBulkInsert commits (also after failed rows). The
    // rows are committed in pieces of about BulkPieceMs (see BulkPiece), so other programs on
    // the database are not kept out for the whole bulk. With onRefusedRow, InsertRow may hold a
    // row back and store it with the next ones (it then gives true): a held row the database
    // refuses is handed to onRefusedRow (its values in column order, Status first) at the
    // latest in EndBulkInsert. Held rows go in before IsDuplicate looks, before a piece is
    // committed and before the list's columns change. Only the outermost bulk's function counts.
    void BeginBulkInsert(std::function<void(const QStringList& values)> onRefusedRow = {});
    void EndBulkInsert();
    // Inside a bulk: commits the rows so far once the piece has taken BulkPieceMs, pauses for
    // BulkGapUs and begins the next piece. InsertRow calls it after each row.
    void BulkPiece();
    static constexpr int BulkPieceMs = 50;
    static constexpr int BulkGapUs = 3000;
    static constexpr int BulkCheckpointPages = 10000;
    // Deletes the rows with these _IDs, in batches, in one transaction; then Requery. Result:
    // the rows deleted.
    qint64 DeleteRows(const QList<qint64>& ids);

    // ---- status
    // Sets the status of the rows with these _IDs: one statement per StatusBatchSize ids, all in
    // one transaction. A failure is shown (its message alone) and changes nothing; result: done.
    bool SetStatusOfIds(const QList<qint64>& ids, int status);
    void MarkAllSentAsUnsent();
    void MarkAllBlockedAsUnsent();
    void MarkAllAsBlocked();
    void RemoveEmptyAddresses();
    // Fresh count of the open list's rows with status 0.
    int RowsToSent();

    // ---- order
    // A title click: the same field again flips the direction, another field sorts ascending.
    void SortByColumn(const QString& field);
    QString SortField() const { return m_sortField; }
    bool SortDescending() const { return m_sortDesc; }
    // " ORDER BY `field`" or " ORDER BY `field` DESC", '' when unsorted.
    QString OrderClause() const;
    // Applies a remembered order when the field exists in the open list; '' clears it.
    void ApplyOrder(const QString& field, bool descending);

    // ---- cleaning
    // Valid when some part of the text looks like an address: [\w\d\-\.]+@[\w\d\-]+(\.[\w\d\-]+)+
    // with ASCII \w.
    static bool IsValidAddress(const QString& email);
    // Deletes the rows whose Email is invalid or empty; result: rows deleted.
    int RemoveInvalidAddresses();
    // Moves the list dataset to the next row with an invalid address, wrapping at the end. When
    // there is none, beeps, alerts the main window and gives false. An empty list gives true.
    bool GotoNextInvalid();

    // ---- duplicates
    // The rows whose Email occurs more than once, every letter's case folded; empty and blank
    // addresses never. Groups follow each other in the order of their folded addresses. The
    // statement reads a temporary table of the connection that this call fills anew, so it holds
    // until the next call or ForgetDuplicates.
    static TDuplicateRows FindDuplicates(db::Connection& conn, const QString& table);
    // Bytes of addresses FindDuplicates keeps from its first pass over the table; with more it
    // reads the table a second time.
    static inline size_t DuplicateTextKept = size_t(64) << 20;
    // The duplicates left after DeleteRows took the rows `deleted` away (it gave `deletedCount`).
    // When the database changed in no other way since `found` (no other connection committed,
    // this one changed nothing else) they are found's groups without those rows, groups of one
    // row left out; otherwise FindDuplicates searches anew. The temporary table is filled anew.
    static TDuplicateRows DuplicatesAfterDelete(db::Connection& conn, const QString& table, const TDuplicateRows& found,
                                                const QList<qint64>& deleted, qint64 deletedCount);
    // Drops that temporary table.
    static void ForgetDuplicates(db::Connection& conn);

    // ---- life cycle (the recipients page's list commands)
    // Locks the list and makes its backup (a stale backup is dropped first); false when the
    // lock is held by another run (the refusal is shown).
    bool LockAndBackupList(const QString& table);
    // Backup made afresh, list reopened.
    void RefreshListBackup(const QString& table);
    // Stored list: its table replaced by the backup (backup and lock stay); one transaction.
    void DiscardListChanges(const QString& table);
    // Drops and creates the unsaved list's table and opens it.
    void NewUnsavedList();
    // Opens the stored list of that name with its lock check and backup (the name box's select).
    // A list held by another run is refused with a message and a new unsaved list starts; a stale
    // lock of this user asks whether to restore. Result: the list is open.
    bool OpenStoredList(const QString& name);
    // Whether the caller may go on over the open list's unsaved changes (changed = the save
    // button's state); asks to save. name = the name box's text.
    bool AskSaveList(const QString& name, bool changed);
    // Saves the open list under the name (the name box's text). Result: the list was stored.
    bool SaveList(const QString& name);
    // Deletes the stored list of that name, or discards the unsaved list when no stored list has
    // that name. Afterwards the list above it is opened (or a new unsaved list). nowOpen receives
    // the name of the list open afterwards ('' for the unsaved list). Result: something was done.
    bool DeleteList(const QString& name, QString& nowOpen);

    // ---- list files
    // Writes the open list to a text file (header of the field names without _ID, one line per
    // row in the list's order, every value followed by ";", CR LF, UTF-8). Asks before
    // overwriting; failures are shown. Result: written.
    bool SaveToFile(const QString& fileName);
    // Reads a list file into a new unsaved list. A refused file changes nothing. Result: the
    // unsaved list was replaced (also when some rows failed).
    bool LoadFromFile(const QString& fileName);

private:
    void Message(const QString& text);
    TAnswer Ask(const QString& text, TAskButtons buttons);
    void PrepareInsertCommand();
    // The connection's settings for a bulk (on) and back (off).
    void BulkSettings(bool on);
    // Binds a row's values (UTF-8 texts ending at ends, the first at from) from parameter first + 1.
    static void BindRow(db::Statement& st, int first, qsizetype columns, int statusColumn, const char* text,
                        const qsizetype* ends, qsizetype from, int status);
    // Rows held back by a bulk: how many one statement stores, and storing them.
    int HeldRowsMax() const;
    void InsertHeldRows();
    void ExecuteChange(const QString& sql, const QVariantList& params = {});
    void SetStatement();
    // After a failed statement: the open list's dataset and insert command back (errors ignored).
    void ReopenAfterFailure();
    void DropTableIfExists(const QString& table);
    QString ReadLock(int id);
    bool TakeLock(int id, const QString& expected);
    void RefuseLocked(const QString& lockedBy);
    // Whether a list held by lockedBy may be taken: a stale lock, or one that cannot be checked
    // and the user agrees to take over.
    bool MayTakeLock(const QString& lockedBy, const QString& listName);

    db::Connection& m_conn;
    IListPrompts* m_prompts = nullptr;
    std::unique_ptr<db::TExtADODataSet> m_dataSet;
    QString m_table;
    QString m_sortField;
    bool m_sortDesc = false;
    std::unique_ptr<db::Statement> m_insert;
    QStringList m_insertColumns;
    int m_statusColumn = -1;
    // The UTF-8 texts of the row being inserted and where each column's text ends.
    QStringEncoder m_insertEncoder{QStringConverter::Utf8, QStringConverter::Flag::Stateless};
    QByteArray m_insertText;
    QList<qsizetype> m_insertEnds;
    int m_insertGeneration = 0;  // counts the insert commands prepared
    // Rows a bulk holds back: their texts and ends as above, row after row, their Status values,
    // and the statements, table and columns of the insert command they were taken for.
    std::function<void(const QStringList& values)> m_onRefusedRow;
    QByteArray m_heldText;
    QList<qsizetype> m_heldEnds;
    QList<int> m_heldStatus;
    std::unique_ptr<db::Statement> m_heldOne, m_heldMany;
    QString m_heldTable;
    QStringList m_heldColumns;
    int m_heldStatusColumn = -1;
    int m_heldGeneration = -1;
    int m_bulkDepth = 0;
    int m_bulkLevel = 0;
    bool m_bulkOpen = false;  // the bulk's own transaction is open
    QElapsedTimer m_bulkPiece;
    QVariant m_bulkOldSync, m_bulkOldCheckpoint;  // the settings a bulk changed (null: unchanged)
    // "Abbrechen" to a busy post, for a second
    std::shared_ptr<bool> m_busyDeclined = std::make_shared<bool>(false);
    bool m_askingBusy = false;
    QString m_runMarkFolder;  // where the runs' marks lie ('' when none is held)
    int m_runMarkFd = -1;
};

} // namespace recipients
