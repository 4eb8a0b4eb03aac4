#pragma once
// TExtADODataSet: the program's dataset, a client-side static cursor over SQLite.
//
// Open takes a snapshot of the statement's keys (the filter is applied here, as an SQL WHERE over
// the statement); the rows' values are read lazily, a page at a time, from the base table by key.
// So a million-row list costs 8 bytes a row plus a small page cache.
//
// A statement over one table (every result column is a column of the table named after FROM, and
// no DISTINCT, GROUP BY, compound or join) is updatable. Its records are identified by key: `_ID`
// when the table has it, else the rowid. Bookmarks carry that key, so they survive Requery and
// never name another row. Any other statement (a count, a join) is read whole and is read-only.
//
// Posting writes only the fields changed since Edit/Insert; an insert shows the table's column
// defaults before it is posted and its new key after. An update finds its row by key and, by
// Update_Criteria, by the values the changed columns (or all columns) had when they were read:
// when another connection changed them meanwhile the post is refused with EUpdateConflict, the
// edit is cancelled and the row is read anew. Rows inserted elsewhere appear only after
// Requery; a row in the snapshot stays there (with its current values) even when it no longer
// matches the filter. A row deleted elsewhere reads as NULLs and cannot be posted.
//
// A snapshot is taken whole or not at all: a filter SQLite refuses raises and leaves the dataset
// as it was; a requery whose statement no longer runs raises and closes the dataset. The
// connection's statement log (Connection::OnStatement) shows the statement once per open and
// requery, and every INSERT, UPDATE and DELETE the dataset runs; its own reads stay out of it.
//
// A join is read whole; with Unique_Table naming one of its tables, that table's columns can be
// edited, and rows inserted into and deleted from it (JoinsResolution). Without Unique_Table a
// joined dataset is read-only and DeleteGuardian refuses a delete silently.
//
// Refresh re-reads by RefreshType: the current row (default), the rows in the snapshot, or a
// requery; Resync_Command, when set, is the statement that reads one row by its key (?1).
// A detail dataset follows a master through MasterSource: with MasterFields and
// IndexFieldNames its rows are those whose detail fields equal the master's fields, otherwise
// parameters named like master fields take their values. A dataset field (ftDataSet) holds
// such a detail dataset for every record (AddNestedField).
//
// SQLite has one kind of cursor: CursorLocation and CursorType are kept for callers but change
// nothing, and the rows of a snapshot are read on demand, BackgroundFetchSize rows at a time.
#include "platform/db/DataSet.h"
#include <QHash>
#include <algorithm>
#include <functional>
#include <QMap>
#include <memory>
#include <optional>
#include <vector>

namespace db {

// Which columns an update compares with the values read, besides the key.
enum TUpdateCriteria { adCriteriaKey, adCriteriaAllCols, adCriteriaUpdCols, adCriteriaTimeStamp };

// The text of a refused post (EUpdateConflict).
extern const char* const kUpdateConflictText;

enum TUpdateResyncFlag { ResyncAutoIncrement = 1, ResyncConflicts = 2, ResyncUpdates = 4, ResyncInserts = 8 };
using TUpdateResync = int;
enum TRefreshType { rtRequery, rtResyncCurrent, rtResyncGroup, rtResyncAll, rtResyncChapters };
enum TJoinsResolution { jrAuto, jrNone };
enum TJoinTest { jtInactive, jtNotJoined, jtJoined };
enum TCursorLocation { clUseServer, clUseClient };
enum TCursorType { ctUnspecified, ctOpenForwardOnly, ctKeyset, ctDynamic, ctStatic };

// One index of the base table (IndexDefs).
struct TIndexDef {
    QString Name;
    QString Fields;   // column names separated by ";"
    bool Primary = false;
    bool Unique = false;
};

class TExtADODataSet;

// Versions of the data-access library and the database behind a dataset; each is read when asked.
class TADOVersion {
public:
    explicit TADOVersion(const TExtADODataSet* owner) : m_owner(owner) {}
    QString ExtADSVersion() const;    // "4.04"
    QString ADOVersion() const;       // the SQLite library the program runs with
    QString OLEDBVersion() const;     // "Not used"
    QString ProviderName() const;     // "SQLite"
    QString ProviderVersion() const;  // the SQLite library's version
    QString DBMSName() const;         // "SQLite"
    QString DBMSVersion() const;      // the version the connection reports (sqlite_version())
    QString ODBCVersion() const;      // "Not used"
    QString ODBCDriverName() const;   // "Not used"
    QString ODBCDriverVersion() const; // "Not used"
    // Without an open connection every one is "No Connection Object".
private:
    QString WithConnection(const std::function<QString()>& read) const;
    const TExtADODataSet* m_owner;
};

class TExtADODataSet : public TDataSet {
public:
    static constexpr const char* ExtADSVersion = "4.04";

    explicit TExtADODataSet(Connection* connection = nullptr);
    ~TExtADODataSet() override;

    Connection* GetConnection() const { return m_conn; }
    void SetConnection(Connection* connection);   // only while closed
    QString CommandText() const { return m_commandText; }
    void SetCommandText(const QString& sql);      // only while closed

    // Named parameters of the statement (":name", "@name", "$name" or "?NNN" as SQLite knows them);
    // the name is given without its prefix character. Values are bound at every open and requery.
    bool ParamCheck() const { return m_paramCheck; }
    void SetParamCheck(bool value) { m_paramCheck = value; }
    void SetParamValue(const QString& name, const QVariant& value);
    QVariant ParamValue(const QString& name) const { return m_params.value(name.toLower()); }
    void ClearParams() { m_params.clear(); }

    // Requery: a new snapshot of the statement, on the first record; opens when closed.
    void Requery();
    // The keys the statement gives, in its order, when the caller has them already: the next
    // snapshot (open or requery) takes them instead of running the statement, when the statement
    // is over one table and neither a filter nor a master limits it. The rows must exist.
    void SetKnownKeys(std::vector<qint64> keys);
    // Re-reads by RefreshType: rtResyncCurrent the current row, rtResyncGroup and rtResyncAll the
    // rows of the snapshot, rtResyncChapters those and the nested datasets' rows, rtRequery a
    // requery that goes back to the current record when it is still there.
    void Refresh() override;

    // Default adCriteriaUpdCols. adCriteriaTimeStamp compares the table's TIMESTAMP or ROWVERSION
    // columns, all columns when it has none; adCriteriaKey only the key (the last writer wins).
    TUpdateCriteria Update_Criteria() const { return m_updateCriteria; }
    void SetUpdate_Criteria(TUpdateCriteria value) { m_updateCriteria = value; }
    // The table a joined dataset writes to ('' for none; see above). Catalog and schema name an
    // attached database's schema ("main" when empty).
    QString Unique_Catalog() const { return m_uniqueCatalog; }
    void SetUnique_Catalog(const QString& value) { m_uniqueCatalog = value; }
    QString Unique_Schema() const { return m_uniqueSchema; }
    void SetUnique_Schema(const QString& value) { m_uniqueSchema = value; }
    QString Unique_Table() const { return m_uniqueTable; }
    void SetUnique_Table(const QString& value); // only while closed
    // After a post the row is read anew (ResyncUpdates, ResyncInserts), so values the database set
    // (defaults, triggers) show; without them the posted values stay as written. A post refused for
    // a conflict always reads the row anew; the new key of an insert is always taken.
    TUpdateResync Update_Resync() const { return m_updateResync; }
    void SetUpdate_Resync(TUpdateResync value) { m_updateResync = value; }
    QStringList& Resync_Command() { return m_resyncCommand; }
    TRefreshType RefreshType() const { return m_refreshType; }
    void SetRefreshType(TRefreshType value) { m_refreshType = value; }
    TJoinsResolution JoinsResolution() const { return m_joinsResolution; }
    void SetJoinsResolution(TJoinsResolution value) { m_joinsResolution = value; }
    TJoinTest JoinTest() const { return m_joinTest; } // set by the dataset when it opens
    bool DeleteGuardian() const { return m_deleteGuardian; }
    void SetDeleteGuardian(bool value) { m_deleteGuardian = value; }
    TCursorLocation CursorLocation() const { return m_cursorLocation; }
    void SetCursorLocation(TCursorLocation value) { m_cursorLocation = value; }
    TCursorType CursorType() const { return m_cursorType; }
    void SetCursorType(TCursorType value) { m_cursorType = value; }
    // DECIMAL and NUMERIC columns become ftBCD (a DECIMAL above 15 digits always does).
    bool EnableBCD() const { return m_enableBCD; }
    void SetEnableBCD(bool value); // only while closed
    bool AutoCalcClear() const { return m_autoCalcClear; }
    void SetAutoCalcClear(bool value) { m_autoCalcClear = value; }
    // Rows read at open (0: none until asked) and rows per later read; both taken at the next open.
    int InitialFetchSize() const { return m_initialFetchSize; }
    void SetInitialFetchSize(int value) { m_initialFetchSize = std::max(0, value); }
    int BackgroundFetchSize() const { return m_backgroundFetchSize; }
    void SetBackgroundFetchSize(int value) { m_backgroundFetchSize = std::max(1, value); }
    const TADOVersion& Version() const { return m_version; }
    // The indexes of the base table (of Unique_Table for a join); empty without one.
    QList<TIndexDef> IndexDefs() const;

    // --- master/detail
    TDataSource* MasterSource() const { return m_masterSource; }
    void SetMasterSource(TDataSource* source);
    QString MasterFields() const { return m_masterFields; }
    void SetMasterFields(const QString& fields);
    QString IndexFieldNames() const { return m_indexFieldNames; }
    void SetIndexFieldNames(const QString& fields);
    // Adds a dataset field: its nested dataset runs detailSql, whose parameters named like fields of
    // this dataset take the current record's values. Defined while closed; made at every open.
    void AddNestedField(const QString& name, const QString& detailSql);

    bool FindRecord(bool restart, bool goForward) override;

    bool CanModify() const override;
    bool IsTableCursor() const { return m_tableMode; } // one-table statement (keyed)
    QString TableName() const { return m_table; }      // base table ('' when read whole)
    QString KeyFieldName() const { return m_keyName; } // "_ID" or "rowid" ('' when read whole)
    // The SQL condition the filter became (after the "AND(" rewrite and ADO -> SQLite translation).
    QString FilterSql() const;

    // Rewrites "AND(" as "AND (" and "OR(" as "OR (", ignoring case (SetFilterText).
    static QString RewriteFilterText(const QString& filter);
    // Translates an ADO filter to an SQLite condition: LIKE patterns with * become %, "= Null"
    // becomes "IS NULL", "<> Null" "IS NOT NULL"; [names] and quotes stay as SQLite reads them.
    static QString FilterToSql(const QString& filter);
    // Field type and size from an SQLite declared type ("TEXT(255)" -> ftWideString, 255).
    static TFieldType FieldTypeFromDecl(const QString& declType, int* size);

    // Statistics for tests and the benchmark: page reads from the base table since the open.
    int PageReads() const { return m_pageReads; }

protected:
    void InternalOpen() override;
    void InternalClose() override;
    int InternalRecordCount() const override { return int(m_keys.size()); }
    QVariant InternalGetValue(int position, int dataIndex) const override;
    void InternalInitRecord(QVector<QVariant>& buffer) override;
    void InternalInsertPlaceholder(int position) override;
    void InternalRemovePlaceholder(int position) override;
    void InternalPost(int position, bool inserting, const QVector<QVariant>& buffer,
                      const QList<int>& changed) override;
    void InternalDelete(int position) override;
    TBookmark InternalBookmark(int position) const override;
    int InternalBookmarkPosition(const TBookmark& bookmark) const override;
    void InternalBookmarks(int first, int end, const std::function<void(QByteArrayView)>& take) const override;
    int InternalLocate(const TField* field, const QVariant& value, TLocateOptions options) override;
    int InternalLocateFields(const QList<const TField*>& fields, const QVariantList& values,
                             TLocateOptions options) override;
    void DoBeforeDelete() override;
    void InternalRefresh() override;
    void InternalFilterChanged() override;
    QString AdjustFilterText(const QString& filter) const override;
    int InternalCompareMissing(const TBookmark& a, const TBookmark& b) const override;

private:
    struct SilentStatements;
    struct Column {
        QString name;       // result column name
        QString declType;
        QString table;      // origin table ('' for expressions)
        QString origin;     // origin column ('' for expressions)
        bool updatable = false;
        bool autoInc = false;
        bool notNull = false;
        QString defaultExpr;
    };

    void BindParams(Statement& st) const;
    QString CleanStatement() const;
    bool DetectTable(const QString& sql, const std::vector<Column>& cols, QString* table) const;
    void ReadColumns(const QString& sql);
    void TakeSnapshot();
    void CreateFieldsFromColumns();
    bool ColumnsChanged(const std::vector<Column>& before) const;
    void FetchPage(int position) const;
    int PositionOfKey(qint64 key) const;
    void BuildIndex() const;
    void IndexShift(int fromPosition, int delta) const;
    QString QuotedKey() const;

    QList<int> CriteriaColumns(const QList<int>& changed) const; // data indexes compared by an update
    class MasterLink;
    friend class MasterLink;
    void MasterChanged(bool force = false);
    QString PrepareMaster();              // the master's values into the parameters; the detail condition
    void ResyncRows(bool current);
    void ReadRowInto(qint64 key);
    QList<int> MatchingPositions(const QString& condition) const;
    std::vector<QVariantList> ReadWhole() const;
    void DetectJoin();
    void OpenNested();
    void CloseNested();
    void PrefetchInitial();
    bool WritableColumn(int idx) const;
    QString SchemaPrefix() const;
    bool Keyed() const { return m_tableMode || m_joinWritable; } // rows can be written by key
    qint64 KeyAt(int position) const;     // the base table key of a record
    QString TableRef() const;             // the written table, with its schema when one is named
    void DetectJoinKey();
    void CreateNestedFields();

    TUpdateResync m_updateResync = ResyncAutoIncrement | ResyncUpdates | ResyncInserts;
    QString m_uniqueCatalog, m_uniqueSchema, m_uniqueTable;
    QStringList m_resyncCommand;
    TRefreshType m_refreshType = rtResyncCurrent;
    TJoinsResolution m_joinsResolution = jrAuto;
    TJoinTest m_joinTest = jtInactive;
    bool m_deleteGuardian = true;
    TCursorLocation m_cursorLocation = clUseClient;
    TCursorType m_cursorType = ctStatic;
    bool m_enableBCD = false;
    bool m_autoCalcClear = true;
    int m_initialFetchSize = 0;
    int m_backgroundFetchSize = 15;
    int m_pageSize = 15;                  // BackgroundFetchSize at the last open
    TADOVersion m_version{this};
    TDataSource* m_masterSource = nullptr;
    std::unique_ptr<MasterLink> m_masterLink;
    QString m_masterFields, m_indexFieldNames;
    QVariantList m_masterValues;          // the master's values the snapshot was taken for
    QString m_snapshotCondition;          // the filter and master condition of the snapshot
    QHash<QString, QVariant> m_masterParams; // lower-case parameter name -> master value
    struct Nested {
        QString name;
        QString sql;
        std::unique_ptr<TExtADODataSet> dataSet;
    };
    std::vector<Nested> m_nested;
    std::unique_ptr<TDataSource> m_selfSource; // the master source of the nested datasets
    bool m_joinWritable = false;          // a join with Unique_Table: its rows carry that table's key
    int m_joinKeyIndex = -1;              // the result column holding that key
    bool m_openWithMaster = false;        // a nested dataset: opens and closes with its master

    Connection* m_conn = nullptr;
    QString m_commandText;
    TUpdateCriteria m_updateCriteria = adCriteriaUpdCols;
    bool m_paramCheck = true;
    QHash<QString, QVariant> m_params;   // lower-case name -> value

    std::vector<Column> m_columns;
    bool m_tableMode = false;
    QString m_table;
    QString m_keyName;                   // "_ID" or "rowid"
    QString m_keyColumnName;             // table column that equals the key ("_ID" or the rowid alias)

    static constexpr qint64 kPending = INT64_MIN;
    std::vector<qint64> m_keys;          // snapshot: key per position (whole mode: row ordinal)
    std::optional<std::vector<qint64>> m_knownKeys; // SetKnownKeys, for the next snapshot
    bool m_keysSorted = true;            // keys (placeholder excepted) ascending
    int m_pendingPos = -1;               // position of an inserted record not yet posted
    mutable std::vector<std::pair<qint64, int>> m_index; // key -> position, built when keys are unsorted
    mutable bool m_indexValid = false;

    std::vector<QVariantList> m_rows;    // whole mode: every row
    mutable QHash<qint64, QVariantList> m_cache; // table mode: rows read (empty list: row gone)
    mutable std::unique_ptr<Statement> m_pageStmt;
    mutable int m_pageReads = 0;
    quint32 m_generation = 0;            // snapshot number: bookmarks of a dataset read whole name it
};

} // namespace db
