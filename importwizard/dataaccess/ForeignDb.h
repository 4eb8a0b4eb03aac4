#pragma once
// Access to foreign databases for the import: Access files read directly with mdbtools, every
// other database through unixODBC. A connection is given a connection string, opened, asked for
// its tables; a query on it reads one table row by row.
//
// Connection strings:
//  - "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=<file>;..." opens the Access file <file>.
//  - anything else is an ODBC connection string ("DSN=...;UID=...;PWD=..." or
//    "DRIVER=...;..."), connected without any prompt.
//
// Queries have the form "SELECT * FROM  <table>", the table name plain or quoted ("[...]" with
// "]]" for "]", or "..." with "" for "). On Access files the table is read by name; ODBC runs
// the statement as it is.
#include <QString>
#include <QStringList>
#include <memory>
#include <stdexcept>

namespace dataaccess {

// Every failure of this layer: a German sentence that names the cause, and the driver's or the
// library's own text when there is one.
class EForeignDbError : public std::runtime_error {
public:
    explicit EForeignDbError(const QString& cause, const QString& detail = QString())
        : std::runtime_error(Join(cause, detail).toStdString()), FCause(cause), FDetail(detail) {}
    // The cause, then the technical text on a line of its own.
    QString Message() const { return Join(FCause, FDetail); }
    const QString& Cause() const { return FCause; }
    const QString& Detail() const { return FDetail; }
private:
    static QString Join(const QString& cause, const QString& detail)
    {
        return detail.isEmpty() ? cause : cause + QStringLiteral("\r\n") + detail;
    }
    QString FCause;
    QString FDetail;
};

// The German sentence for a driver's failure, by its SQLSTATE and its text: a damaged file, a
// file that is no database, a missing table, no permission, a data source or driver that is not
// set up, a connection that failed; otherwise a general one.
QString DriverFailureCause(const QString& sqlState, const QString& text);

// The provider name of Access connection strings.
extern const QString JetProvider;  // "Microsoft.Jet.OLEDB.4.0"

// "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + file + ";Persist Security Info=False"
QString AccessConnectionString(const QString& fileName);

// The key=value pairs of a connection string, in order; a value may be braced ("{a;b}", "}}"
// inside for "}"). Keys keep their spelling; blanks around keys and values are dropped.
struct TConnectionPart {
    QString key;
    QString value;  // without the braces
    QString text;   // the pair as it stood in the string
};
QList<TConnectionPart> SplitConnectionString(const QString& connectionString);

// The value of a key (ignoring case), empty when the key is missing.
QString ConnectionValue(const QString& connectionString, const QString& key);

// The connection string without its password pairs (PWD=, Password=, keys matched ignoring
// case, a braced value removed whole).
QString RemovePasswords(const QString& connectionString);

// The Access file an Access connection string names; empty for any other connection string.
QString AccessFileOf(const QString& connectionString);

// The table name of "SELECT * FROM  <table>" with its quotes removed; raises EForeignDbError
// for any other statement.
QString TableOfQuery(const QString& sql);

// ---- text forms of values ------------------------------------------------------------------

// A stored date (days since 30.12.1899, the fraction the time of day) as dd.MM.yyyy, with
// " HH:mm:ss" when the time, rounded to the second, is not midnight.
QString DateText(double stored);
// A number in the C locale without trailing zeros (shortest text that reads back the same).
QString NumberText(double value);
QString NumberText(float value);
// A currency amount stored as ten-thousandths.
QString CurrencyText(qint64 tenThousandths);
// A decimal number's text without trailing zeros after its point ("12.500" -> "12.5").
QString TrimDecimalText(const QString& text);
// A number's text from the forms above with the decimal point of the user's settings (as the
// dates follow them, and as the workbook reader writes numbers): "1234.5" is "1234,5" under
// German settings.
QString LocaleNumberText(const QString& cText);
// Yes/No values.
inline QString BoolText(bool value) { return value ? QStringLiteral("True") : QStringLiteral("False"); }

// ---- connection and query ------------------------------------------------------------------

class TForeignConnection;

// What a connection is opened with: one for Access files, one for ODBC.
class IBackend {
public:
    virtual ~IBackend() = default;
    virtual QString ProviderName() const = 0;
    virtual QStringList TableNames() = 0;
    // A cursor over the table that the statement reads.
    class ICursor {
    public:
        virtual ~ICursor() = default;
        virtual QStringList FieldNames() const = 0;
        // Back before the first row.
        virtual void Rewind() = 0;
        // Moves to the next row; false after the last one.
        virtual bool Fetch() = 0;
        // The values of the current row as text; null values are empty.
        virtual QStringList Values() = 0;
        virtual int RecordCount() = 0;
    };
    virtual std::unique_ptr<ICursor> Execute(const QString& sql) = 0;
};

class TForeignConnection {
public:
    TForeignConnection();
    ~TForeignConnection();
    TForeignConnection(const TForeignConnection&) = delete;
    TForeignConnection& operator=(const TForeignConnection&) = delete;

    // Taking another connection string closes an open connection.
    void SetConnectionString(const QString& connectionString);
    QString ConnectionString() const { return FConnectionString; }

    // Raises EForeignDbError when the database cannot be reached.
    void Open();
    void Close();
    bool Connected() const { return bool(FBackend); }

    // "Microsoft.Jet.OLEDB.4.0" for Access files, the ODBC driver's name otherwise.
    QString ProviderName() const;
    // The tables without the system tables (MSys...), in the database's order.
    QStringList TableNames();

    IBackend& Backend();

private:
    friend class TForeignQuery;
    QString FConnectionString;
    std::unique_ptr<IBackend> FBackend;
    quint64 FGeneration = 0;  // counts the opens and closes; queries of an old one are closed
};

// A statement on a connection, read forward and backward by its position.
class TForeignQuery {
public:
    explicit TForeignQuery(TForeignConnection& connection) : FConnection(connection) {}
    ~TForeignQuery();

    QString SQL() const { return FSQL; }
    // Setting the text closes the query.
    void SetSQL(const QString& sql);

    // Raises EForeignDbError when the statement fails; an open query is first closed.
    void Open();
    void Close();
    // False also when the connection was closed or opened anew since the query was opened.
    bool Active() const;

    QStringList FieldNames() const;
    int RecordCount();

    void First();
    void Next();
    bool Eof() const { return FEof; }
    // Moves to the record at the 0-based position (from the front again when it lies behind);
    // false when the query has fewer records (then it stands at its end).
    bool MoveTo(int index);
    int RecNo() const { return FIndex; }
    // The current record's values as text (empty for null); raises at the end.
    QStringList Values() const;

private:
    void CheckActive() const;
    TForeignConnection& FConnection;
    QString FSQL;
    std::unique_ptr<IBackend::ICursor> FCursor;
    quint64 FGeneration = 0;
    QStringList FFields;
    QStringList FValues;
    int FIndex = -1;
    bool FEof = true;
    int FRecordCount = -1;
};

// Backends, made by the connection.
std::unique_ptr<IBackend> OpenAccessBackend(const QString& fileName);
std::unique_ptr<IBackend> OpenOdbcBackend(const QString& connectionString);

// The data sources and drivers unixODBC knows (user and system DSNs; installed drivers).
struct TOdbcDataSource {
    QString name;
    QString description;
};
QList<TOdbcDataSource> OdbcDataSources();
QStringList OdbcDrivers();

} // namespace dataaccess
