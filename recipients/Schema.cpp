#include "recipients/Schema.h"
#include "platform/db/Connection.h"
#include "recipients/RecipientListStore.h"
#include <QSet>

namespace recipients {

using db::QuoteName;

namespace {

const QString kSettings = QStringLiteral("Settings");
const QString kLists = QStringLiteral("RecipientsLists");
const QString kVersionKey = QStringLiteral("DBVersion");
const QString kUserIndex = QStringLiteral("userindex");

bool SameName(const QString& a, const QString& b) { return a.compare(b, Qt::CaseInsensitive) == 0; }

bool ContainsName(const QStringList& names, const QString& name)
{
    return names.contains(name, Qt::CaseInsensitive);
}

// Removes control characters and blanks at both ends (the old program's trim).
QString TrimBlanks(const QString& s)
{
    qsizetype b = 0, e = s.size();
    while (b < e && s[b].unicode() <= 0x20)
        ++b;
    while (e > b && s[e - 1].unicode() <= 0x20)
        --e;
    return s.mid(b, e - b);
}

// The stored version as a number; a missing, empty or non-numeric value counts as 0.
int VersionValue(const QVariant& v)
{
    bool ok = false;
    const int n = v.toString().trimmed().toInt(&ok);
    return ok ? n : 0;
}

// Reads the schema version. A missing Settings table or version row is created (the row with
// an empty value); the version is then 0.
int ReadVersion(db::Connection& conn)
{
    try {
        const QList<QVariantList> rows = conn.Select(
            QStringLiteral("SELECT %1 FROM %2 WHERE %3 = ?").arg(QuoteName("Value"), QuoteName(kSettings), QuoteName("Key")),
            {kVersionKey});
        if (!rows.isEmpty())
            return VersionValue(rows.first().value(0));
    } catch (const db::EDatabaseError&) {
        // no Settings table yet: repaired below
    }
    db::Transaction trans(conn);
    if (!conn.TableExists(kSettings))
        conn.Execute(QStringLiteral("CREATE TABLE %1 (%2 TEXT(255), %3 TEXT(255))")
                         .arg(QuoteName(kSettings), QuoteName("Key"), QuoteName("Value")));
    const qint64 rows = conn.Scalar(QStringLiteral("SELECT count(*) FROM %1 WHERE %2 = ?").arg(QuoteName(kSettings), QuoteName("Key")),
                                    {kVersionKey})
                            .toLongLong();
    if (rows == 0)
        conn.Execute(QStringLiteral("INSERT INTO %1 (%2) VALUES (?)").arg(QuoteName(kSettings), QuoteName("Key")), {kVersionKey});
    trans.Commit();
    return 0;
}

// True when the table exists with an ID column. (Asked of the catalogue: a query for a missing
// double-quoted column would read it as a text literal and succeed.)
bool Probe(db::Connection& conn, const QString& table)
{
    return conn.TableExists(table) && ContainsName(conn.ColumnNames(table), QStringLiteral("ID"));
}

// Moves one old list table into a new stored list: directory row, list table, user columns for
// the old table's further columns, every row with Status 0, then the old table is dropped. All or
// nothing: any failure raises and leaves the database as it was.
void MigrateOldTable(TRecipientListStore& store, const QString& oldTable)
{
    db::Connection& conn = store.Connection();
    db::Transaction trans(conn);
    if (store.ListExists(oldTable))
        throw db::EDatabaseError(QStringLiteral("Eine Empfängerliste mit diesem Namen existiert bereits."));
    const QString table = store.CreateListTable(oldTable);

    static const QStringList fixed = {QStringLiteral("_ID"), QStringLiteral("Status"), QStringLiteral("Email"),
                                      QStringLiteral("Last Name"), QStringLiteral("First Name")};
    const QStringList oldColumns = conn.ColumnNames(oldTable);
    for (const QString& c : {QStringLiteral("Email"), QStringLiteral("Last Name"), QStringLiteral("First Name")})
        if (!ContainsName(oldColumns, c))
            throw db::EDatabaseError(QStringLiteral("no such column: %1").arg(c));
    QStringList extras;
    for (const QString& c : oldColumns) {
        if (c.startsWith('_') || ContainsName(fixed, c))
            continue;
        store.AddTextColumn(table, c);
        extras << c;
    }

    QStringList readColumns, writeColumns, params;
    for (const QString& c : {QStringLiteral("Email"), QStringLiteral("Last Name"), QStringLiteral("First Name")}) {
        readColumns << QuoteName(c);
        writeColumns << QuoteName(c);
        params << QStringLiteral("?");
    }
    writeColumns << QuoteName("Status");
    params << QStringLiteral("0");
    for (const QString& c : extras) {
        readColumns << QuoteName(c);
        writeColumns << QuoteName(c);
        params << QStringLiteral("?");
    }
    {
        db::Statement read(conn, QStringLiteral("SELECT %1 FROM %2").arg(readColumns.join(','), QuoteName(oldTable)));
        db::Statement write(conn, QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                                      .arg(QuoteName(table), writeColumns.join(','), params.join(',')));
        const int n = read.ColumnCount();
        QVariantList values;
        while (read.Step()) {
            values.clear();
            for (int i = 0; i < n; ++i)
                values << (i < 3 ? QVariant(TrimBlanks(read.Column(i).toString())) : read.Column(i));
            write.Bind(values);
            write.Step();
            write.Reset();
        }
    }
    conn.Execute(QStringLiteral("DROP TABLE %1").arg(QuoteName(oldTable)));
    trans.Commit();
}

// Takes the old list tables named by userindex over into stored lists. userindex goes once all
// its tables are gone. Returns one line per old table that had to stay, with the reason.
QStringList MigrateUserIndex(db::Connection& conn)
{
    if (!conn.TableExists(kUserIndex))
        return {};
    QStringList columns;
    const QList<QVariantList> rows = conn.Select(QStringLiteral("SELECT * FROM %1").arg(QuoteName(kUserIndex)), {}, &columns);
    qsizetype listsColumn = -1;
    for (qsizetype i = 0; i < columns.size() && listsColumn < 0; ++i)
        if (SameName(columns[i], "Lists"))
            listsColumn = i;
    if (listsColumn < 0)
        return {}; // not an index of lists: left alone

    TRecipientListStore store(conn);
    QStringList failed;
    QSet<QString> done;
    for (const QVariantList& row : rows) {
        const QString name = row.value(listsColumn).toString();
        if (name.isEmpty() || done.contains(name.toLower()))
            continue;
        done.insert(name.toLower());
        if (!conn.TableExists(name))
            continue; // taken over by an earlier run
        try {
            MigrateOldTable(store, name);
        } catch (const db::EDatabaseError& e) {
            failed << QStringLiteral("\"%1\" (%2)").arg(name, e.message());
        }
    }
    if (failed.isEmpty())
        conn.Execute(QStringLiteral("DROP TABLE %1").arg(QuoteName(kUserIndex)));
    return failed;
}

} // namespace

int UpgradeSchema(db::Connection& conn, const std::function<void(const QString&)>& showMessage)
{
    const int version = ReadVersion(conn);
    if (version >= CurrentSchemaVersion)
        return version;

    // Stored lists, and the list tables of the oldest files.
    if (!Probe(conn, kLists))
        conn.Execute(QStringLiteral("CREATE TABLE %1 (%2 INTEGER PRIMARY KEY AUTOINCREMENT, %3, %4 TEXT, %5 TEXT, %6 INTEGER, %7 TEXT(255))")
                         .arg(QuoteName(kLists), QuoteName("ID"), TRecipientListStore::TextColumnDef("Name"),
                              QuoteName("CreateDate"), QuoteName("LastUsedDate"), QuoteName("CreatedBy"), QuoteName("LockedBy")));
    const QStringList leftBehind = MigrateUserIndex(conn);
    if (!leftBehind.isEmpty() && showMessage)
        showMessage(QStringLiteral("Folgende alte Empfängerlisten konnten nicht in die Datenbank übernommen werden und bleiben "
                                   "unverändert erhalten:\n%1\nDie Übernahme wird beim nächsten Programmstart wiederholt.")
                        .arg(leftBehind.join('\n')));

    // Stored mails. The subject width needs no check: column widths are not enforced here.
    if (!Probe(conn, QStringLiteral("QlyMails")))
        conn.Execute(QStringLiteral("CREATE TABLE %1 (%2 INTEGER PRIMARY KEY AUTOINCREMENT, %3 TEXT(255), %4 TEXT)")
                         .arg(QuoteName("QlyMails"), QuoteName("ID"), QuoteName("Subject"), QuoteName("Body")));
    if (!Probe(conn, QStringLiteral("Attachments")))
        conn.Execute(QStringLiteral("CREATE TABLE %1 (%2 INTEGER PRIMARY KEY AUTOINCREMENT, %3 INTEGER, %4 TEXT)")
                         .arg(QuoteName("Attachments"), QuoteName("ID"), QuoteName("QlyMails_ID"), QuoteName("Path")));

    // The lock column replaced the backup-table column.
    const QStringList listColumns = conn.ColumnNames(kLists);
    if (!ContainsName(listColumns, "LockedBy")) {
        try {
            conn.Execute(QStringLiteral("ALTER TABLE %1 ADD COLUMN %2 TEXT(255)").arg(QuoteName(kLists), QuoteName("LockedBy")));
            if (ContainsName(listColumns, "BackupTable"))
                conn.Execute(QStringLiteral("ALTER TABLE %1 DROP COLUMN %2").arg(QuoteName(kLists), QuoteName("BackupTable")));
        } catch (const db::EDatabaseError&) {
        }
    }

    if (!leftBehind.isEmpty())
        return version; // the next start tries again
    conn.Execute(QStringLiteral("UPDATE %1 SET %2 = ? WHERE %3 = ?").arg(QuoteName(kSettings), QuoteName("Value"), QuoteName("Key")),
                 {QString::number(CurrentSchemaVersion), kVersionKey});
    return CurrentSchemaVersion;
}

} // namespace recipients
