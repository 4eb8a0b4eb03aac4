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
        First();
    } else {
        Next();
    }
    if (Eof())
        return; // past the last row (or none at all)
    for (const QString& name : m_fieldNames)
        record.SetValue(name, FieldByName(name)->AsString());
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
          backupName(BackupTableName(table))
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
    // The backup's statement, or null when the list has none; looked up again whenever the
    // schema changed (a backup made, dropped or replaced while the cursor lives).
    db::Statement* Backup()
    {
        schema.Reset();
        const qint64 version = schema.Step() ? schema.Column(0).toLongLong() : -1;
        schema.Reset();
        if (version != schemaVersion || version < 0) {
            backup.reset();
            if (conn.TableExists(backupName))
                backup = std::make_unique<db::Statement>(conn, Update(backupName));
            schemaVersion = version;
        }
        return backup.get();
    }

    db::Connection& conn;
    db::Statement begin, release, rollbackTo, schema, list;
    const QString backupName;
    std::unique_ptr<db::Statement> backup;
    qint64 schemaVersion = -1;
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
    sqlite3* handle = m.conn.Handle();
    const bool outermost = sqlite3_get_autocommit(handle) != 0;
    MarkStatements::Run(m.begin);
    try {
        for (db::Statement* st : {&m.list, backup}) {
            if (!st)
                continue;
            st->Bind(1, status);
            st->Bind(2, id);
            MarkStatements::Run(*st);
        }
        MarkStatements::Run(m.release);
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
