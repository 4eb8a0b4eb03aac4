// Every other database through unixODBC: connected without prompts, read with the wide-character
// calls so that texts arrive as UTF-16.
#include "importwizard/dataaccess/ChildWork.h"
#include "importwizard/dataaccess/ForeignDb.h"

#include <QDate>
#include <QTime>
#include <limits>
#include <optional>

#include <odbcinst.h>
#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>

namespace dataaccess {

namespace {

static_assert(sizeof(SQLWCHAR) == sizeof(char16_t), "ODBC wide characters must be UTF-16");

SQLWCHAR* WMutable(QString& s)
{
    return reinterpret_cast<SQLWCHAR*>(s.data());
}

QString FromW(const SQLWCHAR* text, qsizetype length)
{
    return QString::fromUtf16(reinterpret_cast<const char16_t*>(text), length);
}

bool Ok(SQLRETURN rc)
{
    return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO;
}

// The failure a handle's diagnostic records describe: the German cause of the first record, and
// the records' messages.
EForeignDbError Diagnostics(SQLSMALLINT type, SQLHANDLE handle)
{
    QStringList messages;
    QString firstState;
    for (SQLSMALLINT record = 1; record < 20; ++record) {
        SQLWCHAR state[6] = {};
        SQLINTEGER native = 0;
        SQLWCHAR text[1024];
        SQLSMALLINT length = 0;
        const SQLRETURN rc =
            SQLGetDiagRecW(type, handle, record, state, &native, text, SQLSMALLINT(std::size(text)), &length);
        if (!Ok(rc))
            break;
        if (record == 1)
            firstState = FromW(state, 5);
        messages.append(FromW(text, std::min<qsizetype>(length, qsizetype(std::size(text)) - 1)));
    }
    if (messages.isEmpty())
        return EForeignDbError(QStringLiteral("Die Datenbank hat einen Fehler gemeldet."),
                               QStringLiteral("Unbekannter ODBC-Fehler"));
    const QString detail = messages.join(QLatin1Char(' '));
    return EForeignDbError(DriverFailureCause(firstState, detail), detail);
}

void Check(SQLRETURN rc, SQLSMALLINT type, SQLHANDLE handle)
{
    if (!Ok(rc))
        throw Diagnostics(type, handle);
}

class Handle {
public:
    Handle(SQLSMALLINT type, SQLHANDLE parent) : FType(type)
    {
        if (!Ok(SQLAllocHandle(type, parent, &FHandle))) {
            if (parent != nullptr)
                throw Diagnostics(type == SQL_HANDLE_DBC ? SQL_HANDLE_ENV : SQL_HANDLE_DBC, parent);
            throw EForeignDbError(QStringLiteral("Der ODBC-Treibermanager steht nicht zur Verfügung."));
        }
    }
    ~Handle() { SQLFreeHandle(FType, FHandle); }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    SQLHANDLE get() const { return FHandle; }
    SQLSMALLINT type() const { return FType; }
private:
    SQLSMALLINT FType;
    SQLHANDLE FHandle = SQL_NULL_HANDLE;
};

std::unique_ptr<Handle> NewEnvironment()
{
    auto env = std::make_unique<Handle>(SQL_HANDLE_ENV, SQLHANDLE(nullptr));
    Check(SQLSetEnvAttr(env->get(), SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0),
          SQL_HANDLE_ENV, env->get());
    return env;
}

// One text column of the current row (long values are read in pieces); nothing for null.
std::optional<QString> GetText(SQLHSTMT stmt, SQLUSMALLINT column)
{
    QString result;
    SQLWCHAR buffer[2048];
    for (;;) {
        SQLLEN indicator = 0;
        const SQLRETURN rc = SQLGetData(stmt, column, SQL_C_WCHAR, buffer, sizeof buffer, &indicator);
        if (rc == SQL_NO_DATA)
            break;
        Check(rc, SQL_HANDLE_STMT, stmt);
        if (indicator == SQL_NULL_DATA)
            return std::nullopt;
        const qsizetype capacity = qsizetype(std::size(buffer)) - 1;
        const qsizetype chars =
            (indicator == SQL_NO_TOTAL || indicator / qsizetype(sizeof(SQLWCHAR)) > capacity) ? capacity
                                                                                              : indicator / qsizetype(sizeof(SQLWCHAR));
        result += FromW(buffer, chars);
        if (rc == SQL_SUCCESS)
            break;
    }
    return result;
}

class OdbcCursor : public IBackend::ICursor {
public:
    OdbcCursor(SQLHDBC dbc, const QString& sql) : FDbc(dbc), FSql(sql), FStmt(SQL_HANDLE_STMT, dbc)
    {
        ExecuteStatement();
        SQLSMALLINT columns = 0;
        Check(SQLNumResultCols(FStmt.get(), &columns), SQL_HANDLE_STMT, FStmt.get());
        for (SQLUSMALLINT c = 1; c <= columns; ++c) {
            SQLWCHAR name[512];
            SQLSMALLINT nameLength = 0, dataType = 0, digits = 0, nullable = 0;
            SQLULEN size = 0;
            Check(SQLDescribeColW(FStmt.get(), c, name, SQLSMALLINT(std::size(name)), &nameLength, &dataType, &size,
                                  &digits, &nullable),
                  SQL_HANDLE_STMT, FStmt.get());
            FFields.append(FromW(name, std::min<qsizetype>(nameLength, qsizetype(std::size(name)) - 1)));
            FTypes.append(dataType);
        }
        FFresh = true;
    }

    QStringList FieldNames() const override { return FFields; }

    void Rewind() override
    {
        // Forward-only drivers: run the statement again.
        if (FFresh)
            return;
        SQLFreeStmt(FStmt.get(), SQL_CLOSE);
        ExecuteStatement();
        FFresh = true;
    }

    bool Fetch() override
    {
        FFresh = false;
        const SQLRETURN rc = SQLFetch(FStmt.get());
        if (rc == SQL_NO_DATA)
            return false;
        Check(rc, SQL_HANDLE_STMT, FStmt.get());
        FValues.clear();
        for (qsizetype c = 0; c < FFields.size(); ++c)
            FValues.append(ValueText(SQLUSMALLINT(c + 1), FTypes[c]));
        return true;
    }

    QStringList Values() override { return FValues; }

    int RecordCount() override
    {
        static const QString prefix = QStringLiteral("SELECT * FROM  ");
        const QString table = FSql.mid(prefix.size());
        Handle stmt(SQL_HANDLE_STMT, FDbc);
        QString count = QStringLiteral("SELECT COUNT(*) FROM ") + table;
        Check(SQLExecDirectW(stmt.get(), WMutable(count), SQL_NTS), SQL_HANDLE_STMT, stmt.get());
        Check(SQLFetch(stmt.get()), SQL_HANDLE_STMT, stmt.get());
        // Read as text: some drivers (MDBTools) hand a number asked for as a C integer over as
        // its characters.
        const qlonglong value = GetText(stmt.get(), 1).value_or(QString()).trimmed().toLongLong();
        return int(std::clamp<qlonglong>(value, 0, std::numeric_limits<int>::max()));
    }

private:
    void ExecuteStatement()
    {
        QString sql = FSql;
        Check(SQLExecDirectW(FStmt.get(), WMutable(sql), SQL_NTS), SQL_HANDLE_STMT, FStmt.get());
    }

    QString ValueText(SQLUSMALLINT column, SQLSMALLINT type)
    {
        SQLHSTMT stmt = FStmt.get();
        SQLLEN indicator = 0;
        switch (type) {
        case SQL_TYPE_DATE:
        case SQL_TYPE_TIMESTAMP:
        case SQL_DATE:
        case SQL_TIMESTAMP: {
            SQL_TIMESTAMP_STRUCT ts{};
            const SQLRETURN rc = SQLGetData(stmt, column, SQL_C_TYPE_TIMESTAMP, &ts, sizeof ts, &indicator);
            if (!Ok(rc))
                break;  // not a date after all: its text below
            if (indicator == SQL_NULL_DATA)
                return QString();
            QString text = QString::asprintf("%02d.%02d.%04d", int(ts.day), int(ts.month), int(ts.year));
            if (ts.hour || ts.minute || ts.second)
                text += QString::asprintf(" %02d:%02d:%02d", int(ts.hour), int(ts.minute), int(ts.second));
            return text;
        }
        case SQL_BIT: {
            const std::optional<QString> text = GetText(stmt, column);
            if (!text)
                return QString();
            return BoolText(text->trimmed() != QLatin1String("0") && !text->trimmed().isEmpty());
        }
        case SQL_DOUBLE:
        case SQL_FLOAT:
        case SQL_REAL: {
            double value = 0;
            const SQLRETURN rc = SQLGetData(stmt, column, SQL_C_DOUBLE, &value, sizeof value, &indicator);
            if (!Ok(rc))
                break;
            return indicator == SQL_NULL_DATA ? QString() : LocaleNumberText(NumberText(value));
        }
        case SQL_DECIMAL:
        case SQL_NUMERIC:
            return LocaleNumberText(TrimDecimalText(GetText(stmt, column).value_or(QString())));
        default:
            break;
        }
        return GetText(stmt, column).value_or(QString());
    }

    SQLHDBC FDbc;
    QString FSql;
    Handle FStmt;
    QStringList FFields;
    QList<SQLSMALLINT> FTypes;
    QStringList FValues;
    bool FFresh = false;
};

class OdbcBackend : public IBackend {
public:
    explicit OdbcBackend(const QString& connectionString) : FConnectionString(connectionString)
    {
        FEnv = NewEnvironment();
        FDbc = std::make_unique<Handle>(SQL_HANDLE_DBC, FEnv->get());
        SQLSetConnectAttr(FDbc->get(), SQL_ATTR_LOGIN_TIMEOUT, reinterpret_cast<SQLPOINTER>(SQLULEN(15)), 0);
        QString text = connectionString;
        SQLWCHAR out[1024];
        SQLSMALLINT outLength = 0;
        const SQLRETURN rc = SQLDriverConnectW(FDbc->get(), nullptr, WMutable(text), SQL_NTS, out,
                                               SQLSMALLINT(std::size(out)), &outLength, SQL_DRIVER_NOPROMPT);
        if (!Ok(rc))
            throw Diagnostics(SQL_HANDLE_DBC, FDbc->get());
        FConnected = true;
    }

    ~OdbcBackend() override
    {
        if (FConnected)
            SQLDisconnect(FDbc->get());
    }

    QString ProviderName() const override
    {
        SQLWCHAR name[256];
        SQLSMALLINT length = 0;
        if (Ok(SQLGetInfoW(FDbc->get(), SQL_DRIVER_NAME, name, sizeof name, &length)) && length > 0)
            return FromW(name, std::min<qsizetype>(length / qsizetype(sizeof(SQLWCHAR)), qsizetype(std::size(name)) - 1));
        // Some drivers (MDBTools) cannot name themselves: the driver or data source the
        // connection string names.
        const QString driver = ConnectionValue(FConnectionString, QStringLiteral("DRIVER"));
        return driver.isEmpty() ? ConnectionValue(FConnectionString, QStringLiteral("DSN")) : driver;
    }

    QStringList TableNames() override
    {
        Handle stmt(SQL_HANDLE_STMT, FDbc->get());
        QString types = QStringLiteral("TABLE");
        Check(SQLTablesW(stmt.get(), nullptr, 0, nullptr, 0, nullptr, 0, WMutable(types), SQL_NTS), SQL_HANDLE_STMT,
              stmt.get());
        QStringList names;
        for (;;) {
            const SQLRETURN rc = SQLFetch(stmt.get());
            if (rc == SQL_NO_DATA)
                break;
            Check(rc, SQL_HANDLE_STMT, stmt.get());
            if (const std::optional<QString> name = GetText(stmt.get(), 3))
                names.append(*name);
        }
        return names;
    }

    std::unique_ptr<ICursor> Execute(const QString& sql) override
    {
        return std::make_unique<OdbcCursor>(FDbc->get(), sql);
    }

private:
    QString FConnectionString;
    std::unique_ptr<Handle> FEnv;
    std::unique_ptr<Handle> FDbc;
    bool FConnected = false;
};

// The MDBTools driver reads Access files with the library our Access backend uses, inside the
// process that connects: on a damaged file it may loop for ever or crash. Its connections are
// therefore made in child processes (TChildWork), as the Access backend reads: one for the
// tables, one for each reading of a statement, one for each count.
QString ProfileValue(const QString& section, const char* key, const char* file)
{
    char value[1024] = {};
    const QByteArray name = section.toUtf8();
    if (SQLGetPrivateProfileString(name.constData(), key, "", value, int(sizeof value), file) <= 0)
        return QString();
    return QString::fromUtf8(value);
}

// The driver a connection string names, or the one of the data source it names, and the library
// the driver's name stands for in unixODBC's configuration.
bool IsMdbToolsDriver(const QString& connectionString)
{
    QString driver = ConnectionValue(connectionString, QStringLiteral("DRIVER"));
    const QString dsn = ConnectionValue(connectionString, QStringLiteral("DSN"));
    if (driver.isEmpty() && !dsn.isEmpty())
        driver = ProfileValue(dsn, "Driver", "ODBC.INI");
    if (driver.isEmpty())
        return false;
    QStringList names{driver};
    if (!driver.contains(QLatin1Char('/')))
        names.append(ProfileValue(driver, "Driver", "ODBCINST.INI"));
    for (const QString& name : names) {
        if (name.contains(QLatin1String("MDBTools"), Qt::CaseInsensitive)
            || name.contains(QLatin1String("libmdbodbc"), Qt::CaseInsensitive))
            return true;
    }
    return false;
}

class ChildOdbcBackend : public IBackend {
public:
    explicit ChildOdbcBackend(const QString& connectionString) : FConnectionString(connectionString)
    {
        TChildWork child([connectionString](const TChildWork::TSend& send) {
            OdbcBackend backend(connectionString);
            send({backend.ProviderName()});
            send(backend.TableNames());
        });
        QStringList provider;
        if (!child.Next(provider) || !child.Next(FTables))
            throw EForeignDbError(TChildWork::DamagedFileMessage());
        FProvider = provider.value(0);
        // The driver connects to a file it cannot read and lists no tables: the Access backend
        // tells a damaged file (or one that is no database) from an empty one.
        if (FTables.isEmpty()) {
            QString file = ConnectionValue(connectionString, QStringLiteral("DBQ"));
            if (file.isEmpty())
                file = ConnectionValue(connectionString, QStringLiteral("Database"));
            const QString dsn = ConnectionValue(connectionString, QStringLiteral("DSN"));
            if (file.isEmpty() && !dsn.isEmpty())
                file = ProfileValue(dsn, "Database", "ODBC.INI");
            if (!file.isEmpty())
                OpenAccessBackend(file);
        }
    }

    QString ProviderName() const override { return FProvider; }
    QStringList TableNames() override { return FTables; }
    std::unique_ptr<ICursor> Execute(const QString& sql) override
    {
        return std::make_unique<TChildCursor>(
            [cs = FConnectionString, sql](const TChildWork::TSend& send) {
                OdbcBackend backend(cs);
                std::unique_ptr<ICursor> cursor = backend.Execute(sql);
                send(cursor->FieldNames());
                while (cursor->Fetch())
                    send(cursor->Values());
            },
            [cs = FConnectionString, sql](const TChildWork::TSend& send) {
                OdbcBackend backend(cs);
                send({QString::number(backend.Execute(sql)->RecordCount())});
            });
    }

private:
    QString FConnectionString;
    QString FProvider;
    QStringList FTables;
};

} // namespace

std::unique_ptr<IBackend> OpenOdbcBackend(const QString& connectionString)
{
    if (IsMdbToolsDriver(connectionString))
        return std::make_unique<ChildOdbcBackend>(connectionString);
    return std::make_unique<OdbcBackend>(connectionString);
}

QList<TOdbcDataSource> OdbcDataSources()
{
    QList<TOdbcDataSource> sources;
    try {
        auto env = NewEnvironment();
        SQLUSMALLINT direction = SQL_FETCH_FIRST;
        for (;;) {
            SQLWCHAR name[SQL_MAX_DSN_LENGTH + 1];
            SQLWCHAR description[512];
            SQLSMALLINT nameLength = 0, descriptionLength = 0;
            const SQLRETURN rc = SQLDataSourcesW(env->get(), direction, name, SQLSMALLINT(std::size(name)), &nameLength,
                                                 description, SQLSMALLINT(std::size(description)), &descriptionLength);
            if (!Ok(rc))
                break;
            sources.append({FromW(name, std::min<qsizetype>(nameLength, qsizetype(std::size(name)) - 1)),
                            FromW(description,
                                  std::min<qsizetype>(descriptionLength, qsizetype(std::size(description)) - 1))});
            direction = SQL_FETCH_NEXT;
        }
    } catch (const EForeignDbError&) {
    }
    return sources;
}

QStringList OdbcDrivers()
{
    QStringList drivers;
    try {
        auto env = NewEnvironment();
        SQLUSMALLINT direction = SQL_FETCH_FIRST;
        for (;;) {
            SQLWCHAR name[512];
            SQLWCHAR attributes[2048];
            SQLSMALLINT nameLength = 0, attributesLength = 0;
            const SQLRETURN rc = SQLDriversW(env->get(), direction, name, SQLSMALLINT(std::size(name)), &nameLength,
                                             attributes, SQLSMALLINT(std::size(attributes)), &attributesLength);
            if (!Ok(rc))
                break;
            drivers.append(FromW(name, std::min<qsizetype>(nameLength, qsizetype(std::size(name)) - 1)));
            direction = SQL_FETCH_NEXT;
        }
    } catch (const EForeignDbError&) {
    }
    return drivers;
}

} // namespace dataaccess
