#pragma once
// The local database connection: a thin layer over the SQLite C API. Every statement is prepared,
// values are bound as parameters, and failures raise EDatabaseError with SQLite's message.
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QByteArrayView>
#include <QList>
#include <functional>
#include <memory>
#include <stdexcept>

struct sqlite3;
struct sqlite3_stmt;

namespace db {

class EDatabaseError : public std::runtime_error {
public:
    explicit EDatabaseError(const QString& message, int code = 0)
        : std::runtime_error(message.toStdString()), m_message(message), m_code(code) {}
    QString message() const { return m_message; }
    int code() const { return m_code; }
    // Another connection (often another program) holds the database: trying again later may work.
    bool IsBusy() const { return m_code == 5 /* SQLITE_BUSY */ || m_code == 6 /* SQLITE_LOCKED */; }
private:
    QString m_message;
    int m_code;
};

// Quotes a table or column name for SQLite: "name" with every " doubled.
QString QuoteName(const QString& name);

class Connection;

// One prepared statement. Rows are read with Step(); values come back as QVariant
// (qlonglong, double, QString, QByteArray, or a null QVariant for NULL).
class Statement {
public:
    Statement(Connection& connection, const QString& sql);
    ~Statement();
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    void Bind(const QVariantList& params);
    void Bind(int index, const QVariant& value); // 1-based
    // Binds UTF-8 text (never NULL: empty bytes bind ''). Without copy the bytes must stay
    // unchanged until the statement has been stepped and reset, or bound again.
    void BindUtf8(int index, QByteArrayView utf8, bool copy = true);
    bool Step();                                 // true while a row is available
    void Reset();
    int ColumnCount() const;
    QString ColumnName(int i) const;
    QString ColumnDeclType(int i) const;  // declared type of a table column, empty for expressions
    QString ColumnTable(int i) const;     // origin table of a column, empty for expressions
    QString ColumnOrigin(int i) const;    // origin column name, empty for expressions
    QVariant Column(int i) const;
    bool IsReadOnly() const;              // the statement does not write
    int ParameterCount() const;           // highest parameter index
    QString ParameterName(int index) const; // 1-based; with its prefix (":name"), '' for a plain "?"
    QString Sql() const { return m_sql; }
    sqlite3_stmt* Handle() const { return m_stmt; }

private:
    Connection& m_conn;
    sqlite3_stmt* m_stmt = nullptr;
    QString m_sql;
};

enum class OpenMode { Existing, CreateIfMissing };

// A connection belongs to one thread at a time; another thread opens a connection of its own.
class Connection {
public:
    Connection();
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // Opens a database file. Existing never creates a file. The file is probed with a query, so
    // a file that is not a database fails here; a file that can only be opened read-only fails too.
    void Open(const QString& path, OpenMode mode = OpenMode::Existing);
    void Close();
    // How long a statement waits for another connection's lock before it fails with SQLITE_BUSY;
    // taken by the next Open and by the open connection. 5000 ms unless set. The wait looks at
    // the lock every millisecond, so a writer that lets go of it briefly between short
    // transactions lets this connection in.
    void SetBusyTimeout(int ms);
    int BusyTimeout() const { return m_busyTimeout; }
    bool Connected() const { return m_db != nullptr; }
    QString FileName() const { return m_path; }
    sqlite3* Handle() const { return m_db; }

    // Runs a statement that returns no rows (rows it returns are discarded); result: rows changed.
    int Execute(const QString& sql, const QVariantList& params = {});
    // Runs a query and returns every row. columnNames receives the result's column names.
    QList<QVariantList> Select(const QString& sql, const QVariantList& params = {},
                               QStringList* columnNames = nullptr);
    // First column of the first row; a null QVariant when there is no row.
    QVariant Scalar(const QString& sql, const QVariantList& params = {});
    qint64 LastInsertId() const;
    int Changes() const;

    // Transactions nest: inner levels are savepoints.
    void BeginTrans();
    void CommitTrans();
    void RollbackTrans();
    int TransactionLevel() const { return m_transLevel; }

    bool TableExists(const QString& table);
    QStringList TableNames();                    // user tables, SQLite's own left out
    QStringList ColumnNames(const QString& table);

    // Raised with the text of every statement prepared on this connection (statement log).
    std::function<void(const QString& sql)> OnStatement;

    [[noreturn]] void RaiseError(const QString& context = {}) const;

private:
    sqlite3* m_db = nullptr;
    QString m_path;
    int m_transLevel = 0;
    int m_busyTimeout = 5000;
    qint64 m_busySince = 0;
    static int BusyHandler(void* self, int count);
};

// The German text shown when the database stays busy: another program holds it.
QString BusyText();

// Rolls back unless committed.
class Transaction {
public:
    explicit Transaction(Connection& c) : m_conn(c) { m_conn.BeginTrans(); }
    ~Transaction() { if (!m_done) { try { m_conn.RollbackTrans(); } catch (...) {} } }
    void Commit() { m_conn.CommitTrans(); m_done = true; }
private:
    Connection& m_conn;
    bool m_done = false;
};

} // namespace db
