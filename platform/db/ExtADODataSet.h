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
// Left out (the program never uses them): ADO dynamic properties (Update_Criteria, Unique_Table,
// Update_Resync, Resync_Command ...), join resolution and DeleteGuardian, asynchronous and
// background fetch, master/detail, refresh kinds (RefreshType), find clones (FindRecord), Lookup,
// IndexDefs, server cursors and lock types, and the Version sub-object (only the constant below).
#include "platform/db/DataSet.h"
#include <QHash>
#include <QMap>
#include <memory>
#include <vector>

namespace db {

// Which columns an update compares with the values read, besides the key.
enum TUpdateCriteria { adCriteriaKey, adCriteriaAllCols, adCriteriaUpdCols, adCriteriaTimeStamp };

// The text of a refused post (EUpdateConflict).
extern const char* const kUpdateConflictText;

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
    void Refresh() override;                      // re-reads the values; snapshot and position kept

    // Default adCriteriaUpdCols. adCriteriaTimeStamp compares the table's TIMESTAMP or ROWVERSION
    // columns, all columns when it has none; adCriteriaKey only the key (the last writer wins).
    TUpdateCriteria Update_Criteria() const { return m_updateCriteria; }
    void SetUpdate_Criteria(TUpdateCriteria value) { m_updateCriteria = value; }

    bool CanModify() const override;
    bool IsTableCursor() const { return m_tableMode; } // one-table statement (updatable, keyed)
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
    int InternalLocate(const TField* field, const QVariant& value, TLocateOptions options) override;
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
