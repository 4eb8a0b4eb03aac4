#include "Connection.h"
#include <QElapsedTimer>
#include <QFileInfo>
#include <QThread>
#include <sqlite3.h>

namespace db {

QString QuoteName(const QString& name)
{
    QString n = name;
    n.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + n + QLatin1Char('"');
}

// ---------------------------------------------------------------- Statement

Statement::Statement(Connection& connection, const QString& sql) : m_conn(connection), m_sql(sql)
{
    if (!m_conn.Connected())
        throw EDatabaseError(QStringLiteral("Database is not connected"));
    if (m_conn.OnStatement)
        m_conn.OnStatement(sql);
    const QByteArray utf8 = sql.toUtf8();
    const char* tail = nullptr;
    if (sqlite3_prepare_v2(m_conn.Handle(), utf8.constData(), int(utf8.size()), &m_stmt, &tail) != SQLITE_OK) {
        sqlite3_finalize(m_stmt);
        m_stmt = nullptr;
        m_conn.RaiseError();
    }
    if (!m_stmt) // only white space or a comment
        throw EDatabaseError(QStringLiteral("Empty statement"));
}

Statement::~Statement() { sqlite3_finalize(m_stmt); }

void Statement::Bind(const QVariantList& params)
{
    sqlite3_clear_bindings(m_stmt);
    for (int i = 0; i < params.size(); ++i)
        Bind(i + 1, params[i]);
}

void Statement::Bind(int index, const QVariant& v)
{
    int rc;
    if (!v.isValid() || v.isNull()) {
        rc = sqlite3_bind_null(m_stmt, index);
    } else {
        switch (v.typeId()) {
        case QMetaType::Bool:
        case QMetaType::Int:
        case QMetaType::UInt:
        case QMetaType::Long:
        case QMetaType::LongLong:
        case QMetaType::Short:
        case QMetaType::UShort:
        case QMetaType::Char:
        case QMetaType::UChar:
            rc = sqlite3_bind_int64(m_stmt, index, v.toLongLong());
            break;
        case QMetaType::ULongLong:
        case QMetaType::ULong:
            rc = sqlite3_bind_int64(m_stmt, index, qint64(v.toULongLong()));
            break;
        case QMetaType::Double:
        case QMetaType::Float:
            rc = sqlite3_bind_double(m_stmt, index, v.toDouble());
            break;
        case QMetaType::QByteArray: {
            const QByteArray b = v.toByteArray();
            rc = sqlite3_bind_blob64(m_stmt, index, b.constData(), sqlite3_uint64(b.size()), SQLITE_TRANSIENT);
            break;
        }
        default: {
            const QString s = v.toString();
            rc = sqlite3_bind_text16(m_stmt, index, s.utf16(), int(s.size() * sizeof(char16_t)), SQLITE_TRANSIENT);
            break;
        }
        }
    }
    if (rc != SQLITE_OK)
        m_conn.RaiseError();
}

void Statement::BindUtf8(int index, QByteArrayView utf8, bool copy)
{
    const char* data = utf8.data() ? utf8.data() : "";
    if (sqlite3_bind_text64(m_stmt, index, data, sqlite3_uint64(utf8.size()), copy ? SQLITE_TRANSIENT : SQLITE_STATIC,
                            SQLITE_UTF8) != SQLITE_OK)
        m_conn.RaiseError();
}

bool Statement::Step()
{
    const int rc = sqlite3_step(m_stmt);
    if (rc == SQLITE_ROW)
        return true;
    if (rc == SQLITE_DONE)
        return false;
    const QString msg = QString::fromUtf8(sqlite3_errmsg(m_conn.Handle()));
    sqlite3_reset(m_stmt);
    throw EDatabaseError(msg, rc);
}

void Statement::Reset() { sqlite3_reset(m_stmt); }

int Statement::ColumnCount() const { return sqlite3_column_count(m_stmt); }

QString Statement::ColumnName(int i) const { return QString::fromUtf8(sqlite3_column_name(m_stmt, i)); }

QString Statement::ColumnDeclType(int i) const
{
    const char* t = sqlite3_column_decltype(m_stmt, i);
    return t ? QString::fromUtf8(t) : QString();
}

QString Statement::ColumnTable(int i) const
{
    const char* t = sqlite3_column_table_name(m_stmt, i);
    return t ? QString::fromUtf8(t) : QString();
}

QString Statement::ColumnOrigin(int i) const
{
    const char* t = sqlite3_column_origin_name(m_stmt, i);
    return t ? QString::fromUtf8(t) : QString();
}

QVariant Statement::Column(int i) const
{
    switch (sqlite3_column_type(m_stmt, i)) {
    case SQLITE_INTEGER:
        return QVariant(qlonglong(sqlite3_column_int64(m_stmt, i)));
    case SQLITE_FLOAT:
        return QVariant(sqlite3_column_double(m_stmt, i));
    case SQLITE_TEXT: {
        const void* p = sqlite3_column_text16(m_stmt, i);
        const int bytes = sqlite3_column_bytes16(m_stmt, i);
        if (!p && bytes == 0 && sqlite3_errcode(m_conn.Handle()) == SQLITE_NOMEM)
            throw EDatabaseError(QStringLiteral("Out of memory reading a column"), SQLITE_NOMEM);
        return QVariant(QString(reinterpret_cast<const QChar*>(p), bytes / 2));
    }
    case SQLITE_BLOB: {
        const void* p = sqlite3_column_blob(m_stmt, i);
        const int bytes = sqlite3_column_bytes(m_stmt, i);
        return QVariant(QByteArray(static_cast<const char*>(p), bytes));
    }
    default:
        return QVariant();
    }
}

bool Statement::IsReadOnly() const { return sqlite3_stmt_readonly(m_stmt) != 0; }

int Statement::ParameterCount() const { return sqlite3_bind_parameter_count(m_stmt); }

QString Statement::ParameterName(int index) const
{
    const char* n = sqlite3_bind_parameter_name(m_stmt, index);
    return n ? QString::fromUtf8(n) : QString();
}

// ---------------------------------------------------------------- Connection

Connection::Connection() = default;

Connection::~Connection() { Close(); }

namespace {
// SQLite's count of its memory takes a global lock around every allocation of every statement
// step; nothing here reads the count, so it is switched off before the library's first use (a
// library already started by someone else keeps counting: the call then fails harmlessly).
void ConfigureLibraryOnce()
{
    static const bool done = [] {
        sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0);
        return true;
    }();
    (void)done;
}
} // namespace

void Connection::Open(const QString& path, OpenMode mode)
{
    ConfigureLibraryOnce();
    Close();
    if (path.isEmpty())
        throw EDatabaseError(QStringLiteral("No database file given"));
    if (mode == OpenMode::Existing && !QFileInfo(path).isFile())
        throw EDatabaseError(QStringLiteral("Database file not found: %1").arg(path));
    // A connection is used by one thread at a time (threads open connections of their own), so
    // SQLite need not lock it around every call.
    int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX;
    if (mode == OpenMode::CreateIfMissing)
        flags |= SQLITE_OPEN_CREATE;
    sqlite3* h = nullptr;
    const int rc = sqlite3_open_v2(path.toUtf8().constData(), &h, flags, nullptr);
    if (rc != SQLITE_OK) {
        const QString msg = h ? QString::fromUtf8(sqlite3_errmsg(h)) : QStringLiteral("Cannot open database");
        sqlite3_close(h);
        throw EDatabaseError(msg + QStringLiteral(": ") + path, rc);
    }
    // SQLite falls back to read-only when it may not write: that is no usable database for us.
    if (sqlite3_db_readonly(h, "main") == 1) {
        sqlite3_close(h);
        throw EDatabaseError(QStringLiteral("Database file is read-only: %1").arg(path), SQLITE_READONLY);
    }
    sqlite3_busy_handler(h, &Connection::BusyHandler, this);
    // A double-quoted name that names nothing must fail, not be read as a text literal.
    sqlite3_db_config(h, SQLITE_DBCONFIG_DQS_DML, 0, nullptr);
    sqlite3_db_config(h, SQLITE_DBCONFIG_DQS_DDL, 0, nullptr);
    sqlite3_extended_result_codes(h, 0);
    m_db = h;
    m_path = path;
    try {
        // SQLite opens any file; the first statement tells whether it is a database.
        Select(QStringLiteral("SELECT count(*) FROM sqlite_master"));
        Execute(QStringLiteral("PRAGMA foreign_keys = OFF"));
    } catch (...) {
        Close();
        throw;
    }
}

void Connection::SetBusyTimeout(int ms) { m_busyTimeout = ms; }

int Connection::BusyHandler(void* self, int count)
{
    // SQLite's own handler sleeps ever longer (up to 100 ms), so a writer that holds the lock
    // almost all the time and lets go of it for a moment between its transactions is never
    // seen free. A short, even step finds such a gap.
    auto* c = static_cast<Connection*>(self);
    static const QElapsedTimer clock = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    if (count == 0)
        c->m_busySince = clock.elapsed();
    if (clock.elapsed() - c->m_busySince >= c->m_busyTimeout)
        return 0;
    QThread::usleep(500);
    return 1;
}

QString BusyText()
{
    return QStringLiteral("Die Datenbank ist zurzeit von einem anderen Programm belegt.");
}

void Connection::Close()
{
    if (m_db) {
        sqlite3_close_v2(m_db);
        m_db = nullptr;
    }
    m_path.clear();
    m_transLevel = 0;
}

void Connection::RaiseError(const QString& context) const
{
    const QString msg = m_db ? QString::fromUtf8(sqlite3_errmsg(m_db)) : QStringLiteral("Database is not connected");
    throw EDatabaseError(context.isEmpty() ? msg : context + QStringLiteral(": ") + msg,
                         m_db ? sqlite3_errcode(m_db) : 0);
}

int Connection::Execute(const QString& sql, const QVariantList& params)
{
    Statement st(*this, sql);
    st.Bind(params);
    while (st.Step()) {
    }
    return sqlite3_changes(m_db);
}

QList<QVariantList> Connection::Select(const QString& sql, const QVariantList& params, QStringList* columnNames)
{
    Statement st(*this, sql);
    st.Bind(params);
    const int n = st.ColumnCount();
    if (columnNames) {
        columnNames->clear();
        for (int i = 0; i < n; ++i)
            columnNames->append(st.ColumnName(i));
    }
    QList<QVariantList> rows;
    while (st.Step()) {
        QVariantList row;
        row.reserve(n);
        for (int i = 0; i < n; ++i)
            row.append(st.Column(i));
        rows.append(row);
    }
    return rows;
}

QVariant Connection::Scalar(const QString& sql, const QVariantList& params)
{
    Statement st(*this, sql);
    st.Bind(params);
    if (st.Step() && st.ColumnCount() > 0)
        return st.Column(0);
    return QVariant();
}

qint64 Connection::LastInsertId() const { return m_db ? sqlite3_last_insert_rowid(m_db) : 0; }

int Connection::Changes() const { return m_db ? sqlite3_changes(m_db) : 0; }

void Connection::BeginTrans()
{
    if (m_transLevel == 0)
        Execute(QStringLiteral("BEGIN IMMEDIATE"));
    else
        Execute(QStringLiteral("SAVEPOINT sp%1").arg(m_transLevel));
    ++m_transLevel;
}

void Connection::CommitTrans()
{
    if (m_transLevel <= 0)
        throw EDatabaseError(QStringLiteral("No transaction is active"));
    if (m_transLevel == 1)
        Execute(QStringLiteral("COMMIT"));
    else
        Execute(QStringLiteral("RELEASE sp%1").arg(m_transLevel - 1));
    --m_transLevel;
}

void Connection::RollbackTrans()
{
    if (m_transLevel <= 0)
        throw EDatabaseError(QStringLiteral("No transaction is active"));
    --m_transLevel;
    if (m_transLevel == 0) {
        if (!sqlite3_get_autocommit(m_db))
            Execute(QStringLiteral("ROLLBACK"));
    } else {
        Execute(QStringLiteral("ROLLBACK TO sp%1").arg(m_transLevel));
        Execute(QStringLiteral("RELEASE sp%1").arg(m_transLevel));
    }
}

bool Connection::TableExists(const QString& table)
{
    return Scalar(QStringLiteral("SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name = ?1 COLLATE NOCASE"),
                  {table}).toLongLong() > 0;
}

QStringList Connection::TableNames()
{
    QStringList names;
    for (const QVariantList& r : Select(QStringLiteral(
             "SELECT name FROM sqlite_master WHERE type = 'table' AND name NOT LIKE 'sqlite\\_%' ESCAPE '\\' ORDER BY name")))
        names << r.value(0).toString();
    return names;
}

QStringList Connection::ColumnNames(const QString& table)
{
    QStringList names;
    for (const QVariantList& r : Select(QStringLiteral("SELECT name FROM pragma_table_info(?1)"), {table}))
        names << r.value(0).toString();
    return names;
}

} // namespace db
