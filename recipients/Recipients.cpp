#include "recipients/Recipients.h"
#include "recipients/RecipientListStore.h"
#include "platform/db/Connection.h"
#include <QRegularExpression>
#include <sqlite3.h>

namespace recipients {

using db::QuoteName;

QString StatementTable(const QString& sql)
{
    static const QRegularExpression from(QStringLiteral("\\bFROM\\s+"), QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = from.match(sql);
    if (!m.hasMatch())
        return {};
    qsizetype i = m.capturedEnd();
    const qsizetype n = sql.size();
    if (i < n && (sql[i] == QLatin1Char('"') || sql[i] == QLatin1Char('`') || sql[i] == QLatin1Char('['))) {
        const QChar close = sql[i] == QLatin1Char('[') ? QLatin1Char(']') : sql[i];
        QString name;
        for (++i; i < n; ++i) {
            if (sql[i] == close) {
                if (close != QLatin1Char(']') && i + 1 < n && sql[i + 1] == close) {
                    name += close;
                    ++i;
                    continue;
                }
                break;
            }
            name += sql[i];
        }
        return name;
    }
    const qsizetype start = i;
    while (i < n && !sql[i].isSpace() && sql[i] != QLatin1Char(';'))
        ++i;
    return sql.mid(start, i - start);
}

TRecipients::TRecipients(const db::TExtADODataSet& source) : db::TExtADODataSet(source.GetConnection())
{
    SetParamCheck(false);
    SetCommandText(source.CommandText());
    m_table = StatementTable(source.CommandText());
    SetFilter(QStringLiteral("Status = 0"));
    SetFiltered(true);
}

void TRecipients::NextRecipient(TAssociativeArray& record)
{
    record.Clear();
    if (!Active()) {
        Open();
        m_fieldNames = FieldNames();
        m_distinctNames = true;
        for (qsizetype i = 0; i < m_fieldNames.size() && m_distinctNames; ++i)
            for (qsizetype j = 0; j < i; ++j)
                if (m_fieldNames.at(i).compare(m_fieldNames.at(j), Qt::CaseInsensitive) == 0) {
                    m_distinctNames = false;
                    break;
                }
        First();
    } else {
        Next();
    }
    if (Eof())
        return; // past the last row (or none at all)
    if (!m_distinctNames || FieldCount() != m_fieldNames.size()) {
        // A name that comes twice keeps the first field's value, as a lookup by name finds it.
        for (const QString& name : m_fieldNames)
            record.SetValue(name, FieldByName(name)->AsString());
        return;
    }
    QStringList values;
    values.reserve(m_fieldNames.size());
    for (int i = 0; i < int(m_fieldNames.size()); ++i)
        values.append(Fields(i)->AsString());
    record.AssignDistinct(m_fieldNames, values);
}

// The statements of the sent marks, prepared once per cursor. The savepoint has a name of its
// own, so it nests inside the connection's transactions and savepoints without touching their
// bookkeeping; outside any transaction it is a transaction of its own.
struct TRecipients::MarkStatements {
    MarkStatements(db::Connection& c, const QString& table)
        : conn(c),
          begin(c, QStringLiteral("SAVEPOINT status_mark")),
          release(c, QStringLiteral("RELEASE status_mark")),
          rollbackTo(c, QStringLiteral("ROLLBACK TO status_mark")),
          schema(c, QStringLiteral("PRAGMA schema_version")),
          list(c, Update(table)),
          backupName(BackupTableName(table)),
          backupUtf8(backupName.toUtf8())
    {
    }
    static QString Update(const QString& table)
    {
        return QStringLiteral("UPDATE %1 SET %2 = ?1 WHERE %3 = ?2").arg(QuoteName(table), QuoteName("Status"), QuoteName("_ID"));
    }
    static void Run(db::Statement& st)
    {
        st.Reset();
        while (st.Step()) {
        }
        st.Reset();
    }
    // The backup's statement, or null when the list has none. The connection's schema answers
    // without a statement while it is known to be current: the last mark's statements checked
    // it against the file, the data version shows that no other connection's commit has been
    // noticed since, and a write transaction keeps other connections out (this connection's
    // own changes take effect in its schema at once). Otherwise the schema version is read and
    // the table looked up afresh when it moved.
    db::Statement* Backup()
    {
        sqlite3* handle = conn.Handle();
        bool exists;
        if (sqlite3_txn_state(handle, "main") == SQLITE_TXN_WRITE && DataVersion(handle) == markedVersion
            && markedVersion != 0) {
            exists = SchemaHasTable(handle);
            if (exists != bool(backup))
                schemaVersion = -1; // made or dropped in this transaction, which may yet roll back
        } else {
            schema.Reset();
            const qint64 version = schema.Step() ? schema.Column(0).toLongLong() : -1;
            schema.Reset();
            if (version == schemaVersion && version >= 0)
                return backup.get();
            exists = conn.TableExists(backupName);
            schemaVersion = version;
        }
        // A backup dropped and made again under the same name keeps its statement: SQLite
        // prepares it again by itself.
        if (exists != bool(backup))
            backup = exists ? std::make_unique<db::Statement>(conn, Update(backupName)) : nullptr;
        return backup.get();
    }
    // After a mark: its statements checked the schema against the file.
    void Marked() { markedVersion = DataVersion(conn.Handle()); }
    // The main database's data version plus one (0: unknown).
    static quint64 DataVersion(sqlite3* handle)
    {
        unsigned int version = 0;
        if (sqlite3_file_control(handle, "main", SQLITE_FCNTL_DATA_VERSION, &version) != SQLITE_OK)
            return 0;
        return quint64(version) + 1;
    }
    // Whether the connection's current schema holds the backup table (as TableExists: a table
    // of the main database, the name compared ignoring case).
    bool SchemaHasTable(sqlite3* handle)
    {
        const int rc = sqlite3_table_column_metadata(handle, "main", backupUtf8.constData(), nullptr, nullptr, nullptr,
                                                     nullptr, nullptr, nullptr);
        if (rc == SQLITE_OK)
            return true;
        if (rc == SQLITE_ERROR)
            return false; // no such table (or a view)
        throw db::EDatabaseError(QString::fromUtf8(sqlite3_errmsg(handle)));
    }

    db::Connection& conn;
    db::Statement begin, release, rollbackTo, schema, list;
    const QString backupName;
    const QByteArray backupUtf8;
    std::unique_ptr<db::Statement> backup;
    qint64 schemaVersion = -1;
    quint64 markedVersion = 0;
};

TRecipients::~TRecipients() = default;

TRecipients::MarkStatements& TRecipients::Marks()
{
    db::Connection* conn = GetConnection();
    if (!conn)
        throw db::EDatabaseError(QStringLiteral("Database is not connected"));
    if (!m_marks || &m_marks->conn != conn)
        m_marks = std::make_unique<MarkStatements>(*conn, m_table);
    return *m_marks;
}

void TRecipients::SetStatus(qint64 id, int status)
{
    // The mark records what happened outside the program, so it goes into a stored list's
    // backup as well, in the same transaction: discarding the list's edits or restoring the
    // backup after a crash keeps it. The unsaved list has no backup.
    MarkStatements& m = Marks();
    db::Statement* backup = m.Backup();
    m.markedVersion = 0; // until this mark has gone through
    m.list.Bind(1, status);
    m.list.Bind(2, id);
    if (!backup) {
        // One statement: it changes the row or nothing.
        MarkStatements::Run(m.list);
        m.Marked();
        return;
    }
    sqlite3* handle = m.conn.Handle();
    const bool outermost = sqlite3_get_autocommit(handle) != 0;
    MarkStatements::Run(m.begin);
    try {
        MarkStatements::Run(m.list);
        backup->Bind(1, status);
        backup->Bind(2, id);
        MarkStatements::Run(*backup);
        MarkStatements::Run(m.release);
        m.Marked();
    } catch (...) {
        // Both rows keep their status; a transaction the savepoint began is ended.
        try {
            MarkStatements::Run(m.rollbackTo);
            MarkStatements::Run(m.release);
        } catch (...) {
        }
        if (outermost && !sqlite3_get_autocommit(handle))
            sqlite3_exec(handle, "ROLLBACK", nullptr, nullptr, nullptr);
        throw;
    }
}

int TRecipients::RowsToSent()
{
    return GetConnection()
        ->Scalar(QStringLiteral("SELECT count(%1) FROM %2 WHERE %3 = 0").arg(QuoteName("_ID"), QuoteName(m_table), QuoteName("Status")))
        .toInt();
}

} // namespace recipients
