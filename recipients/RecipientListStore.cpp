#include "recipients/RecipientListStore.h"
#include "core/OrvUtils.h"
#include "platform/db/Connection.h"
#include "platform/app/Application.h"
#include "platform/db/ExtADODataSet.h"

#include <QRegularExpression>
#include <algorithm>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QSysInfo>
#include <QThread>
#include <QTimer>
#include <QCoreApplication>
#include <sqlite3.h>
#include <cerrno>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <unistd.h>

namespace recipients {

using db::QuoteName;

const QStringList FixedColumns = {QStringLiteral("Status"), QStringLiteral("Email"), QStringLiteral("Last Name"),
                                  QStringLiteral("First Name")};

namespace {
const QString kLists = QStringLiteral("RecipientsLists");

bool SameName(const QString& a, const QString& b) { return a.compare(b, Qt::CaseInsensitive) == 0; }

QString IdList(const QList<qint64>& ids, qsizetype from, qsizetype count)
{
    QString s;
    s.reserve(count * 8);
    for (qsizetype i = from; i < from + count; ++i) {
        if (i > from)
            s += QLatin1Char(',');
        s += QString::number(ids[i]);
    }
    return s;
}

// A larger page cache for the connection while it lives (64 MiB at most, taken as pages are
// used); the connection's own size comes back after.
class TPageCacheScope {
public:
    TPageCacheScope(db::Connection& conn, bool on) : m_conn(conn)
    {
        if (!on)
            return;
        m_old = m_conn.Scalar(QStringLiteral("PRAGMA cache_size"));
        m_conn.Execute(QStringLiteral("PRAGMA cache_size = -65536"));
    }
    ~TPageCacheScope()
    {
        if (m_old.isNull())
            return;
        try {
            m_conn.Execute(QStringLiteral("PRAGMA cache_size = ") + QString::number(m_old.toLongLong()));
        } catch (const db::EDatabaseError&) {
        }
    }
    TPageCacheScope(const TPageCacheScope&) = delete;
    TPageCacheScope& operator=(const TPageCacheScope&) = delete;

private:
    db::Connection& m_conn;
    QVariant m_old;
};
} // namespace

// ------------------------------------------------------------------ locks

TLockOwner TLockOwner::Parse(const QString& lockedBy)
{
    TLockOwner o;
    const QString v = lockedBy.trimmed();
    const qsizetype at = v.lastIndexOf(QLatin1Char('@'));
    if (at < 0) {
        o.user = v;
        return o;
    }
    o.user = v.left(at);
    const QStringList rest = v.mid(at + 1).split(QLatin1Char(':'));
    if (rest.size() != 3 && rest.size() != 5) {
        o.host = rest.value(0);
        return o;
    }
    bool okPid = false, okInst = false;
    o.pid = rest[1].toLongLong(&okPid);
    o.instance = rest[2].toULongLong(&okInst);
    o.host = rest[0];
    if (rest.size() == 5) {
        o.start = rest[3];
        o.time = rest[4];
    }
    o.complete = okPid && okInst && o.pid > 0;
    return o;
}

QString TLockOwner::Text() const
{
    return user + QLatin1Char('@') + host + QLatin1Char(':') + QString::number(pid) + QLatin1Char(':') +
           QString::number(instance) + QLatin1Char(':') + start + QLatin1Char(':') + time;
}

TRecipientListStore::TRecipientListStore(db::Connection& conn, IListPrompts* prompts)
    : m_conn(conn), m_prompts(prompts), m_dataSet(std::make_unique<db::TExtADODataSet>(&conn))
{
    m_dataSet->SetParamCheck(false);
}

TRecipientListStore::~TRecipientListStore()
{
    m_insert.reset();
    if (m_runMarkFd >= 0) {
        QFile::remove(m_runMarkFolder + QStringLiteral("/run-") + QString::number(Instance));
        ::close(m_runMarkFd);
    }
}

namespace {
// The folder of the runs' marks of a database file.
QString RunMarkFolder(const QString& databaseFile) { return databaseFile + QStringLiteral(".runs"); }
} // namespace

void TRecipientListStore::MarkRunAlive(const QString& databaseFile)
{
    if (m_runMarkFd >= 0 || databaseFile.isEmpty())
        return;
    const QString folder = RunMarkFolder(databaseFile);
    if (!QDir().mkpath(folder))
        return;
    const QByteArray path = QFile::encodeName(folder + QStringLiteral("/run-") + QString::number(Instance));
    const int fd = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0)
        return;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return;
    }
    m_runMarkFd = fd;
    m_runMarkFolder = folder;
}

QStringList TRecipientListStore::RemoveOrphanTables()
{
    QStringList removed;
    if (!m_conn.Connected())
        return removed;
    const QString folder = RunMarkFolder(m_conn.FileName());
    static const QRegularExpression tempName(QStringLiteral("^temp([0-9]+)$"), QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression backupName(QStringLiteral("^Backup_RL([0-9]+)$"), QRegularExpression::CaseInsensitiveOption);
    for (const QString& table : m_conn.TableNames()) {
        if (const auto m = tempName.match(table); m.hasMatch()) {
            if (table == TEMP || m_runMarkFd < 0)
                continue; // without a mark of our own, the marks of others cannot be trusted
            const QString mark = folder + QStringLiteral("/run-") + m.captured(1);
            const QByteArray path = QFile::encodeName(mark);
            const int fd = ::open(path.constData(), O_RDWR | O_CLOEXEC);
            bool gone = fd < 0;
            if (fd >= 0) {
                gone = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
                ::close(fd);
            }
            if (!gone)
                continue;
            try {
                DropTableIfExists(table);
                QFile::remove(mark);
                removed << table;
            } catch (const db::EDatabaseError&) {
            }
        } else if (const auto b = backupName.match(table); b.hasMatch()) {
            const QVariant lock = m_conn.Scalar(QStringLiteral("SELECT %1 FROM %2 WHERE %3 = ?")
                                                    .arg(QuoteName("LockedBy"), QuoteName(kLists), QuoteName("ID")),
                                                {b.captured(1).toInt()});
            if (!lock.toString().trimmed().isEmpty())
                continue; // a list in use, or one whose recovery is offered when it is opened
            try {
                DropTableIfExists(table);
                removed << table;
            } catch (const db::EDatabaseError&) {
            }
        }
    }
    return removed;
}

QString TRecipientListStore::UserName() { return core::GetWindowsUserName(); }

QString TRecipientListStore::HostName() { return QSysInfo::machineHostName(); }

QString TRecipientListStore::ProcessStart(qint64 pid)
{
    // Field 22 of /proc/<pid>/stat: the start time in clock ticks since boot; with the boot's id
    // it names one process for good.
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return {};
    const QByteArray text = stat.readAll();
    const qsizetype close = text.lastIndexOf(')');
    if (close < 0)
        return {};
    const QList<QByteArray> fields = text.mid(close + 2).split(' ');
    // After the name: state is field 3, start time field 22.
    if (fields.size() < 20)
        return {};
    static const QString boot = [] {
        QFile f(QStringLiteral("/proc/sys/kernel/random/boot_id"));
        return f.open(QIODevice::ReadOnly) ? QString::fromLatin1(f.readAll().trimmed()).remove(QLatin1Char('-')).left(12)
                                           : QString();
    }();
    return boot + QLatin1Char('.') + QString::fromLatin1(fields[19]);
}

QString TRecipientListStore::LockText() const
{
    // Fixed for the process, so the lock this run wrote is recognised as its own (a forked
    // child is a process of its own).
    static qint64 forPid = 0;
    static QString start, time;
    if (forPid != qint64(::getpid())) {
        forPid = qint64(::getpid());
        start = ProcessStart(forPid);
        time = QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd hh.mm.ss"));
    }
    TLockOwner o;
    o.user = UserName();
    o.host = HostName();
    o.pid = qint64(::getpid());
    o.instance = Instance;
    o.start = start;
    o.time = time;
    return o.Text();
}

QString TRecipientListStore::LockUser(const QString& lockedBy) { return TLockOwner::Parse(lockedBy).user; }

bool TRecipientListStore::IsStaleLock(const QString& lockedBy) const
{
    const TLockOwner o = TLockOwner::Parse(lockedBy);
    if (!o.complete || o.user != UserName() || o.host != HostName())
        return false;
    if (o.pid == qint64(::getpid()))
        return o.instance != Instance;
    if (::kill(pid_t(o.pid), 0) != 0 && errno == ESRCH)
        return true;
    // The process id runs again: the same process only when it started at the same time.
    if (!o.start.isEmpty()) {
        const QString now = ProcessStart(o.pid);
        return !now.isEmpty() && now != o.start;
    }
    return false;
}

bool TRecipientListStore::CanTakeOverLock(const QString& lockedBy) const
{
    const TLockOwner o = TLockOwner::Parse(lockedBy);
    if (o.user != UserName() || IsStaleLock(lockedBy))
        return false;
    if (!o.complete)
        return true; // a bare name or a form this program cannot read
    if (o.host != HostName())
        return true;
    return o.start.isEmpty(); // an older run's lock whose process id runs: not to be told apart
}

void TRecipientListStore::Message(const QString& text)
{
    if (m_prompts)
        m_prompts->Message(text);
}

TAnswer TRecipientListStore::Ask(const QString& text, TAskButtons buttons)
{
    if (!m_prompts)
        return TAnswer::Cancel;
    return m_prompts->Ask(text, buttons);
}

// ------------------------------------------------------------------ tables

QString TRecipientListStore::TextColumnDef(const QString& column)
{
    return QuoteName(column) + QStringLiteral(" TEXT(255) COLLATE NOCASE");
}

void TRecipientListStore::AddTextColumn(const QString& table, const QString& column)
{
    m_conn.Execute(QStringLiteral("ALTER TABLE %1 ADD COLUMN %2").arg(QuoteName(table), TextColumnDef(column)));
}

void TRecipientListStore::EnsureEmailIndex(const QString& table)
{
    // The column compares ignoring case, so the index does too.
    m_conn.Execute(QStringLiteral("CREATE INDEX IF NOT EXISTS %1 ON %2 (%3)")
                       .arg(QuoteName(table + QStringLiteral("_Email")), QuoteName(table), QuoteName("Email")));
}

bool TRecipientListStore::ListExists(const QString& name)
{
    return GetListID(name) >= 0;
}

int TRecipientListStore::GetListID(const QString& name)
{
    const QVariant id = m_conn.Scalar(
        QStringLiteral("SELECT %1 FROM %2 WHERE %3 = ? ORDER BY %1").arg(QuoteName("ID"), QuoteName(kLists), QuoteName("Name")),
        {name});
    return id.isNull() ? -1 : id.toInt();
}

QString TRecipientListStore::CreateListEntry(const QString& name)
{
    if (name == TEMP || ListExists(name))
        return name;
    m_conn.Execute(QStringLiteral("INSERT INTO %1 (%2) VALUES (?)").arg(QuoteName(kLists), QuoteName("Name")), {name});
    return QStringLiteral("RL") + QString::number(m_conn.LastInsertId());
}

QString TRecipientListStore::CreateListTable(const QString& name)
{
    db::Transaction trans(m_conn);
    const QString table = CreateListEntry(name);
    m_conn.Execute(QStringLiteral("CREATE TABLE %1 (%2 INTEGER PRIMARY KEY AUTOINCREMENT, %3 SMALLINT DEFAULT 0, %4, %5, %6)")
                       .arg(QuoteName(table), QuoteName("_ID"), QuoteName("Status"), TextColumnDef("Email"),
                            TextColumnDef("Last Name"), TextColumnDef("First Name")));
    EnsureEmailIndex(table);
    trans.Commit();
    return table;
}

QString TRecipientListStore::CreateListTableWithColumns(const QString& name, const QStringList& columns)
{
    db::Transaction trans(m_conn);
    const QString table = CreateListTable(name);
    QStringList existing = FixedColumns;
    for (const QString& c : columns) {
        const QString problem = ColumnNameProblem(c, existing);
        if (!problem.isEmpty())
            throw db::EDatabaseError(ColumnRefusal(problem));
        AddTextColumn(table, c.trimmed());
        existing << c.trimmed();
    }
    trans.Commit();
    return table;
}

QString BackupTableName(const QString& table) { return QStringLiteral("Backup_") + table; }

void TRecipientListStore::CopyTable(const QString& source, const QString& target, bool keepIds)
{
    const QStringList sourceColumns = m_conn.ColumnNames(source);
    QStringList defs, columns;
    bool hasId = false;
    for (const QString& c : sourceColumns) {
        if (SameName(c, "_ID")) {
            hasId = true;
            continue;
        }
        columns << QuoteName(c);
        defs << (SameName(c, "Status") ? QuoteName(c) + QStringLiteral(" SMALLINT DEFAULT 0") : TextColumnDef(c));
    }
    defs << QuoteName("_ID") + QStringLiteral(" INTEGER PRIMARY KEY AUTOINCREMENT");
    const QString create = QStringLiteral("CREATE TABLE %1 (%2)").arg(QuoteName(target), defs.join(", "));
    if (sourceColumns.isEmpty())
        throw db::EDatabaseError(QStringLiteral("no such table: %1 - CommandText:%2").arg(source, create));
    if (keepIds && hasId)
        columns << QuoteName("_ID");
    const QString list = columns.join(',');
    QString copy = QStringLiteral("INSERT INTO %1 (%2) SELECT %2 FROM %3").arg(QuoteName(target), list, QuoteName(source));
    if (hasId)
        copy += QStringLiteral(" ORDER BY ") + QuoteName("_ID");

    db::Transaction trans(m_conn);
    for (const QString& sql : {create, copy}) {
        try {
            m_conn.Execute(sql);
        } catch (const db::EDatabaseError& e) {
            // A failed copy names the tables involved.
            throw db::EDatabaseError(e.message() + QStringLiteral(" - CommandText:") + sql, e.code());
        }
    }
    if (m_conn.ColumnNames(target).contains(QStringLiteral("Email"), Qt::CaseInsensitive))
        EnsureEmailIndex(target);
    trans.Commit();
}

void TRecipientListStore::DropTableIfExists(const QString& table)
{
    m_conn.Execute(QStringLiteral("DROP TABLE IF EXISTS ") + QuoteName(table));
}

// ------------------------------------------------------------------ list names

QStringList TRecipientListStore::GetListNames()
{
    QStringList names;
    const auto rows = m_conn.Select(QStringLiteral("SELECT %1 FROM %2 ORDER BY %3, %4")
                                        .arg(QuoteName("Name"), QuoteName(kLists), QuoteName("LastUsedDate"), QuoteName("ID")));
    for (const QVariantList& r : rows)
        names << r.value(0).toString();
    return names;
}

QString TRecipientListStore::ListNameToTable(const QString& name)
{
    if (name == TEMP)
        return TEMP;
    const int id = GetListID(name);
    return id < 0 ? QString() : QStringLiteral("RL") + QString::number(id);
}

bool TRecipientListStore::GetLockedBy(const QString& name, QString& lockedBy)
{
    const int id = GetListID(name);
    lockedBy = id < 0 ? QString() : ReadLock(id);
    return !lockedBy.isEmpty();
}

bool TRecipientListStore::IsLocked(const QString& name)
{
    QString dummy;
    return GetLockedBy(name, dummy);
}

QString TRecipientListStore::ReadLock(int id)
{
    return m_conn.Scalar(QStringLiteral("SELECT %1 FROM %2 WHERE %3 = ?").arg(QuoteName("LockedBy"), QuoteName(kLists), QuoteName("ID")),
                         {id})
        .toString()
        .trimmed();
}

// ------------------------------------------------------------------ the open list

void TRecipientListStore::SetStatement()
{
    // Rows of equal sort values (and an unsorted list) stay in the order they were added; without
    // that the database may walk the Email index.
    const QString key = QuoteName("_ID");
    m_dataSet->SetCommandText(QStringLiteral("SELECT * FROM ") + QuoteName(m_table) +
                              (m_sortField.isEmpty() ? QStringLiteral(" ORDER BY ") + key : OrderClause() + QStringLiteral(", ") + key));
}

QString TRecipientListStore::OrderClause() const
{
    if (m_sortField.isEmpty())
        return {};
    return QStringLiteral(" ORDER BY ") + QuoteName(m_sortField) + (m_sortDesc ? QStringLiteral(" DESC") : QString());
}

void TRecipientListStore::OpenList(const QString& nameOrTable)
{
    if (nameOrTable.isEmpty())
        return;
    const QString table = nameOrTable.startsWith(QLatin1String("RL")) ? nameOrTable : ListNameToTable(nameOrTable);
    if (table.isEmpty() || !m_conn.TableExists(table))
        throw db::EDatabaseError(QStringLiteral("no such table: %1").arg(table.isEmpty() ? nameOrTable : table));
    m_insert.reset();
    m_dataSet->Close();
    m_table = table;
    m_sortField.clear();
    m_sortDesc = false;
    EnsureEmailIndex(table);
    SetStatement();
    m_dataSet->Open();
    PrepareInsertCommand();
}

void TRecipientListStore::ReopenAfterFailure()
{
    if (m_table.isEmpty() || !m_conn.TableExists(m_table))
        return;
    try {
        if (!m_dataSet->Active()) {
            SetStatement();
            m_dataSet->Open();
        }
        PrepareInsertCommand();
    } catch (const db::EDatabaseError&) {
        // the caller reports the first error
    }
}

void TRecipientListStore::Requery()
{
    if (m_table.isEmpty())
        return;
    const db::TBookmark bm = m_dataSet->Active() ? m_dataSet->GetBookmark() : db::TBookmark();
    m_dataSet->Requery();
    if (!bm.isEmpty() && m_dataSet->BookmarkValid(bm)) {
        try {
            m_dataSet->GotoBookmark(bm);
        } catch (const db::EDatabaseError&) {
        }
    }
}

void TRecipientListStore::CloseList()
{
    if (m_table.isEmpty())
        return;
    m_insert.reset();
    try {
        m_dataSet->Cancel();
    } catch (...) {
    }
    m_dataSet->Close();
    const QString table = m_table;
    m_table.clear();
    try {
        if (table == TEMP) {
            DropTableIfExists(TEMP);
        } else {
            // Only this run's own lock is released.
            m_conn.Execute(QStringLiteral("UPDATE %1 SET %2 = '' WHERE %3 = ? AND %2 = ?")
                               .arg(QuoteName(kLists), QuoteName("LockedBy"), QuoteName("ID")),
                           {table.mid(2).toInt(), LockText()});
            DropTableIfExists(QStringLiteral("Backup_") + table);
        }
    } catch (const db::EDatabaseError&) {
        // cleaning up only
    }
}

void TRecipientListStore::ForgetOpenList()
{
    m_insert.reset();
    m_dataSet->Close();
    m_table.clear();
}

QString TRecipientListStore::OpenListName()
{
    if (m_table.isEmpty() || IsUnsavedOpen() || !m_table.startsWith(QLatin1String("RL")))
        return {};
    return m_conn.Scalar(QStringLiteral("SELECT %1 FROM %2 WHERE %3 = ?").arg(QuoteName("Name"), QuoteName(kLists), QuoteName("ID")),
                         {m_table.mid(2).toInt()})
        .toString();
}

qint64 TRecipientListStore::RowCount()
{
    if (m_table.isEmpty())
        return 0;
    return m_conn.Scalar(QStringLiteral("SELECT count(*) FROM ") + QuoteName(m_table)).toLongLong();
}

bool TRecipientListStore::PostPendingEdit()
{
    const auto state = m_dataSet->State();
    if (state != db::dsEdit && state != db::dsInsert)
        return true;
    for (;;) {
        try {
            m_dataSet->Post();
            return true;
        } catch (const db::EDatabaseError& e) {
            // Another program holds the database: asked whether to try again; the edit stays
            // pending either way until it is written.
            // Leaving the grid posts more than once (the page, then the grid's focus, which the
            // window system may report later): while the question is open, and for a second
            // after "Abbrechen", it is not asked again.
            if (e.IsBusy()) {
                if (m_askingBusy || *m_busyDeclined)
                    return false;
                m_askingBusy = true;
                const bool retry = platform::AskRetryBusy(e.message());
                m_askingBusy = false;
                if (retry)
                    continue;
                *m_busyDeclined = true;
                QTimer::singleShot(1000, QCoreApplication::instance(), [declined = m_busyDeclined] { *declined = false; });
                return false;
            }
            Message(e.message());
            return false;
        }
    }
}

// ------------------------------------------------------------------ columns

QStringList TRecipientListStore::GetFieldNames() const
{
    if (m_dataSet->Active())
        return m_dataSet->FieldNames();
    return m_table.isEmpty() ? QStringList() : m_conn.ColumnNames(m_table);
}

QStringList TRecipientListStore::ImportColumns() const
{
    QStringList result;
    for (const QString& f : GetFieldNames())
        if (!f.startsWith(QLatin1Char('_')) && !SameName(f, "Status"))
            result << f;
    return result;
}

bool TRecipientListStore::IsFixedColumn(const QString& name)
{
    return FixedColumns.contains(name.trimmed(), Qt::CaseInsensitive) || name.trimmed().startsWith(QLatin1Char('_'));
}

QString TRecipientListStore::ColumnNameProblem(const QString& name) const
{
    return ColumnNameProblem(name, GetFieldNames());
}

QString TRecipientListStore::ColumnNameProblem(const QString& name, const QStringList& existing) const
{
    const QString n = name.trimmed();
    if (n.isEmpty())
        return QStringLiteral("Der Name ist leer.");
    if (n.startsWith(QLatin1Char('_')))
        return QStringLiteral("Der Name darf nicht mit \"_\" beginnen.");
    if (FixedColumns.contains(n, Qt::CaseInsensitive))
        return QStringLiteral("\"%1\" ist eine feste Spalte der Liste.").arg(n);
    if (n.contains(QLatin1Char('`')))
        return QStringLiteral("Der Name darf kein \"`\" enthalten.");
    // The list file separates its values with ";" and its rows with line breaks.
    if (n.contains(QLatin1Char(';')))
        return QStringLiteral("Der Name darf kein \";\" enthalten.");
    if (n.contains(QLatin1Char('\r')) || n.contains(QLatin1Char('\n')))
        return QStringLiteral("Der Name darf keinen Zeilenumbruch enthalten.");
    if (existing.contains(n, Qt::CaseInsensitive))
        return QStringLiteral("Eine Spalte \"%1\" gibt es bereits.").arg(n);
    return {};
}

QString TRecipientListStore::ColumnRefusal(const QString& reason)
{
    return QStringLiteral("Diese Spalte konnte nicht erstellt werden. (") + reason + QLatin1Char(')');
}

bool TRecipientListStore::AddColumn(const QString& name)
{
    if (m_table.isEmpty())
        return false;
    const QString problem = ColumnNameProblem(name);
    if (!problem.isEmpty()) {
        Message(ColumnRefusal(problem));
        return false;
    }
    try {
        m_insert.reset();
        ExecuteChange(QStringLiteral("ALTER TABLE %1 ADD COLUMN %2").arg(QuoteName(m_table), TextColumnDef(name.trimmed())));
    } catch (const db::EDatabaseError& e) {
        Message(ColumnRefusal(e.message()));
        PrepareInsertCommand();
        return false;
    }
    return true;
}

bool TRecipientListStore::RenameColumn(const QString& oldName, const QString& newName)
{
    if (m_table.isEmpty())
        return false;
    if (IsFixedColumn(oldName)) {
        Message(QStringLiteral("Die Spalten E-Mail, First Name und Last Name können nicht umbenannt werden."));
        return false;
    }
    const QString problem = ColumnNameProblem(newName);
    if (!problem.isEmpty()) {
        Message(ColumnRefusal(problem));
        return false;
    }
    const QString from = oldName.trimmed(), to = newName.trimmed();
    m_insert.reset();
    m_dataSet->Close();
    try {
        db::Transaction trans(m_conn);
        try {
            AddTextColumn(m_table, to);
        } catch (const db::EDatabaseError& e) {
            // A failed add stops the rename.
            Message(ColumnRefusal(e.message()));
            ReopenAfterFailure();
            return false;
        }
        m_conn.Execute(QStringLiteral("UPDATE %1 SET %2 = %3").arg(QuoteName(m_table), QuoteName(to), QuoteName(from)));
        m_conn.Execute(QStringLiteral("ALTER TABLE %1 DROP COLUMN %2").arg(QuoteName(m_table), QuoteName(from)));
        trans.Commit();
    } catch (...) {
        ReopenAfterFailure();
        throw;
    }
    if (SameName(m_sortField, from))
        m_sortField = to;
    SetStatement();
    Requery();
    PrepareInsertCommand();
    return true;
}

bool TRecipientListStore::DropColumn(const QString& name)
{
    if (m_table.isEmpty())
        return false;
    if (IsFixedColumn(name)) {
        Message(QStringLiteral("Die Spalten E-Mail, First Name und Last Name können nicht umbenannt werden."));
        return false;
    }
    m_insert.reset();
    if (SameName(m_sortField, name.trimmed())) {
        m_sortField.clear();
        m_sortDesc = false;
        m_dataSet->Close();
        SetStatement();
    }
    try {
        ExecuteChange(QStringLiteral("ALTER TABLE %1 DROP COLUMN %2").arg(QuoteName(m_table), QuoteName(name.trimmed())));
    } catch (...) {
        ReopenAfterFailure();
        throw;
    }
    return true;
}

// ------------------------------------------------------------------ rows

void TRecipientListStore::PrepareInsertCommand()
{
    // Rows held back go in before the list changes further.
    InsertHeldRows();
    ++m_insertGeneration;
    m_insert.reset();
    m_insertColumns.clear();
    m_statusColumn = -1;
    if (m_table.isEmpty())
        return;
    QStringList quoted, params;
    for (const QString& c : m_conn.ColumnNames(m_table)) {
        if (c.startsWith(QLatin1Char('_')))
            continue;
        if (SameName(c, "Status"))
            m_statusColumn = int(m_insertColumns.size());
        m_insertColumns << c;
        quoted << QuoteName(c);
        params << QStringLiteral("?");
    }
    m_insert = std::make_unique<db::Statement>(
        m_conn, QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)").arg(QuoteName(m_table), quoted.join(','), params.join(',')));
}

bool TRecipientListStore::InsertRow(const QStringList& values, QString* error)
{
    if (!m_insert)
        PrepareInsertCommand();
    if (!m_insert)
        throw db::EDatabaseError(QStringLiteral("Es ist keine Empfängerliste geöffnet."));
    if (values.size() > m_insertColumns.size())
        throw db::EDatabaseError(QStringLiteral("Die Zeile hat %1 Werte, die Liste aber nur %2 Spalten.")
                                     .arg(values.size())
                                     .arg(m_insertColumns.size()));
    auto rowMessage = [&values] {
        return QStringLiteral("Ein Eintrag konnte der Dantenbank nicht hinzugefügt werden: \"") + values.value(0) +
               QLatin1Char('\'');
    };
    // Status as a number, every other value as UTF-8 text (missing values are empty).
    int status = 0;
    if (m_statusColumn >= 0) {
        const QString t = values.value(m_statusColumn).trimmed();
        if (t == QLatin1String("1") || t == QLatin1String("2")) {
            status = t.toInt();
        } else if (!t.isEmpty() && t != QLatin1String("0")) {
            if (error)
                *error = rowMessage();
            return false;
        }
    }
    // The row's UTF-8 texts go into one buffer that lives until the row is stored, so the
    // statement binds them without copies. In a bulk whose caller takes refused rows later, the
    // row waits there for the next rows and goes in with them.
    const bool held = m_bulkDepth > 0 && m_onRefusedRow;
    if (held && m_heldGeneration != m_insertGeneration) {
        // The rows held so far belong to the columns as they were.
        InsertHeldRows();
        m_heldOne = std::make_unique<db::Statement>(m_conn, m_insert->Sql());
        m_heldMany.reset();
        m_heldTable = m_table;
        m_heldColumns = m_insertColumns;
        m_heldStatusColumn = m_statusColumn;
        m_heldGeneration = m_insertGeneration;
    }
    QByteArray& text = held ? m_heldText : m_insertText;
    QList<qsizetype>& ends = held ? m_heldEnds : m_insertEnds;
    if (!held) {
        text.resize(0);   // keeps its room for the next rows
        ends.resize(0);
    }
    const qsizetype columns = m_insertColumns.size();
    for (qsizetype i = 0; i < columns; ++i) {
        if (i != m_statusColumn && i < values.size()) {
            const QString& v = values[i];
            const qsizetype at = text.size();
            text.resize(at + m_insertEncoder.requiredSpace(v.size()));
            char* const out = text.data() + at;
            text.resize(at + (m_insertEncoder.appendToBuffer(out, v) - out));
        }
        ends.append(text.size());
    }
    if (held) {
        m_heldStatus.append(status);
        if (m_heldStatus.size() >= HeldRowsMax())
            InsertHeldRows();
        BulkPiece();
        return true;
    }
    try {
        BindRow(*m_insert, 0, m_insertColumns.size(), m_statusColumn, text.constData(), ends.constData(), 0, status);
        m_insert->Step();
        m_insert->Reset();
    } catch (const db::EDatabaseError&) {
        try {
            m_insert->Reset();
        } catch (const db::EDatabaseError&) {
        }
        if (error)
            *error = rowMessage();
        BulkPiece();
        return false;
    }
    BulkPiece();
    return true;
}

void TRecipientListStore::BindRow(db::Statement& st, int first, qsizetype columns, int statusColumn, const char* text,
                                  const qsizetype* ends, qsizetype from, int status)
{
    for (qsizetype i = 0; i < columns; ++i) {
        if (i == statusColumn)
            st.Bind(first + int(i) + 1, status);
        else
            st.BindUtf8(first + int(i) + 1, QByteArrayView(text + from, ends[i] - from), false);
        from = ends[i];
    }
}

int TRecipientListStore::HeldRowsMax() const
{
    // One statement inserts this many rows; SQLite's oldest limit of parameters is 999.
    return int(std::clamp<qsizetype>(900 / std::max<qsizetype>(1, m_heldColumns.size()), 1, 32));
}

void TRecipientListStore::InsertHeldRows()
{
    const qsizetype rows = m_heldStatus.size();
    if (rows == 0)
        return;
    const qsizetype columns = m_heldColumns.size();
    const char* const text = m_heldText.constData();
    const qsizetype* const ends = m_heldEnds.constData();
    auto from = [&](qsizetype row) { return row == 0 ? qsizetype(0) : ends[row * columns - 1]; };
    // The rows are let go however this ends, so none goes in twice.
    struct Clear {
        TRecipientListStore& s;
        ~Clear()
        {
            s.m_heldText.resize(0);
            s.m_heldEnds.resize(0);
            s.m_heldStatus.resize(0);
        }
    } clear{*this};
    // A full batch goes in with one statement (the table's AUTOINCREMENT counter is then written
    // once for all its rows); the ids follow the order of the rows as with single inserts.
    if (rows == HeldRowsMax() && rows > 1) {
        try {
            if (!m_heldMany) {
                QStringList quoted;
                for (const QString& c : std::as_const(m_heldColumns))
                    quoted << QuoteName(c);
                const QString one = QLatin1Char('(') + QStringList(columns, QStringLiteral("?")).join(',') + QLatin1Char(')');
                m_heldMany = std::make_unique<db::Statement>(
                    m_conn, QStringLiteral("INSERT INTO %1 (%2) VALUES %3")
                                .arg(QuoteName(m_heldTable), quoted.join(','), QStringList(rows, one).join(',')));
            }
            for (qsizetype r = 0; r < rows; ++r)
                BindRow(*m_heldMany, int(r * columns), columns, m_heldStatusColumn, text, ends + r * columns, from(r),
                        m_heldStatus[r]);
            m_heldMany->Step();
            m_heldMany->Reset();
            return;
        } catch (const db::EDatabaseError&) {
            // Nothing of the batch went in: each row is tried by itself, so only the refused
            // ones are lost.
            if (m_heldMany) {
                try {
                    m_heldMany->Reset();
                } catch (const db::EDatabaseError&) {
                }
            }
        }
    }
    for (qsizetype r = 0; r < rows; ++r) {
        try {
            BindRow(*m_heldOne, 0, columns, m_heldStatusColumn, text, ends + r * columns, from(r), m_heldStatus[r]);
            m_heldOne->Step();
            m_heldOne->Reset();
        } catch (const db::EDatabaseError&) {
            try {
                m_heldOne->Reset();
            } catch (const db::EDatabaseError&) {
            }
            QStringList values;
            for (qsizetype i = 0; i < columns; ++i) {
                const qsizetype f = i == 0 ? from(r) : ends[r * columns + i - 1];
                values << (i == m_heldStatusColumn ? QString::number(m_heldStatus[r])
                                               : QString::fromUtf8(text + f, ends[r * columns + i] - f));
            }
            if (m_onRefusedRow)
                m_onRefusedRow(values);
        }
    }
}

bool TRecipientListStore::AddImportedRow(QStringList& row, QString* error)
{
    row.prepend(QStringLiteral("0"));
    return InsertRow(row, error);
}

bool TRecipientListStore::IsDuplicate(const QString& column, const QString& value)
{
    InsertHeldRows();
    if (value.trimmed().isEmpty() || m_table.isEmpty())
        return false;
    // The column's index compares ASCII letters ignoring case. A value of ASCII letters is
    // looked up directly; for one with other letters, the rows that share its ASCII beginning
    // (found through the index) are compared with every letter's case folded.
    qsizetype ascii = 0;
    while (ascii < value.size() && value[ascii].unicode() < 0x80)
        ++ascii;
    if (ascii == value.size())
        return !m_conn.Scalar(QStringLiteral("SELECT 1 FROM %1 WHERE %2 = ? LIMIT 1").arg(QuoteName(m_table), QuoteName(column)),
                              {value})
                    .isNull();
    const QString prefix = value.left(ascii);
    const QString folded = FoldCase(value);
    db::Statement st(m_conn, QStringLiteral("SELECT %2 FROM %1 WHERE %2 >= ?1 AND %2 < ?1 || char(1114111)")
                                 .arg(QuoteName(m_table), QuoteName(column)));
    st.Bind({prefix});
    while (st.Step())
        if (FoldCase(st.Column(0).toString()) == folded)
            return true;
    return false;
}

void TRecipientListStore::BeginBulkInsert(std::function<void(const QStringList& values)> onRefusedRow)
{
    if (m_bulkDepth++ == 0) {
        m_onRefusedRow = std::move(onRefusedRow);
        if (m_conn.TransactionLevel() == 0)
            BulkSettings(true);
        m_conn.BeginTrans();
        m_bulkOpen = true;
        m_bulkLevel = m_conn.TransactionLevel();
        m_bulkPiece.start();
    }
}

void TRecipientListStore::EndBulkInsert()
{
    if (m_bulkDepth == 0)
        return;
    if (--m_bulkDepth == 0) {
        struct Forget {
            std::function<void(const QStringList&)>& f;
            ~Forget() { f = nullptr; }
        } forget{m_onRefusedRow};
        // The connection's settings come back also when the last commit fails.
        struct Restore {
            TRecipientListStore& s;
            ~Restore() { s.BulkSettings(false); }
        } restore{*this};
        InsertHeldRows();
        if (m_bulkOpen) {
            m_bulkOpen = false;
            m_conn.CommitTrans();
        }
    }
}

void TRecipientListStore::BulkSettings(bool on)
{
    // With the write-ahead log, a piece's commit need not wait for the disk: the log stays
    // consistent. The log is also copied into the database (and both synced) less often, every
    // BulkCheckpointPages rather than SQLite's 1000 pages. After the bulk the connection's own
    // settings come back (SQLite takes them only outside a transaction; one it refuses is tried
    // again after the next bulk) and a checkpoint syncs the log, so the bulk ends as durable as
    // single inserts would be.
    if (!on) {
        const bool changed = !m_bulkOldSync.isNull() || !m_bulkOldCheckpoint.isNull();
        for (auto [pragma, old] : {std::pair{"synchronous", &m_bulkOldSync}, std::pair{"wal_autocheckpoint", &m_bulkOldCheckpoint}}) {
            if (old->isNull())
                continue;
            try {
                m_conn.Scalar(QStringLiteral("PRAGMA %1 = %2").arg(QLatin1String(pragma)).arg(old->toLongLong()));
                *old = QVariant();
            } catch (const db::EDatabaseError&) {
            }
        }
        if (changed && m_conn.TransactionLevel() == 0) {
            try {
                m_conn.Scalar(QStringLiteral("PRAGMA wal_checkpoint(PASSIVE)"));
            } catch (const db::EDatabaseError&) {
            }
        }
        return;
    }
    try {
        if (m_conn.Scalar(QStringLiteral("PRAGMA journal_mode")).toString().compare(QLatin1String("wal"), Qt::CaseInsensitive) != 0)
            return;
        const QVariant sync = m_conn.Scalar(QStringLiteral("PRAGMA synchronous"));
        if (sync.toLongLong() > 1) {
            m_conn.Execute(QStringLiteral("PRAGMA synchronous = 1"));
            if (m_bulkOldSync.isNull())
                m_bulkOldSync = sync;
        }
        const QVariant checkpoint = m_conn.Scalar(QStringLiteral("PRAGMA wal_autocheckpoint"));
        if (checkpoint.toLongLong() > 0 && checkpoint.toLongLong() < BulkCheckpointPages) {
            m_conn.Scalar(QStringLiteral("PRAGMA wal_autocheckpoint = %1").arg(BulkCheckpointPages));
            if (m_bulkOldCheckpoint.isNull())
                m_bulkOldCheckpoint = checkpoint;
        }
    } catch (const db::EDatabaseError&) {
        // The bulk runs with the settings it has.
    }
}

void TRecipientListStore::BulkPiece()
{
    // Other programs on the database wait while this one writes, and with the rollback journal
    // they cannot even read once the pages no longer fit the cache. A long bulk therefore ends
    // its transaction every BulkPieceMs and lets go of the lock for a moment, so their reads,
    // posts and sent marks go through in between. Only a bulk that began the transaction does;
    // inside someone else's transaction the rows stay in it.
    if (m_bulkDepth == 0 || m_bulkLevel != 1 || !m_bulkPiece.isValid() || m_bulkPiece.elapsed() < BulkPieceMs)
        return;
    if (m_bulkOpen) {
        if (m_conn.TransactionLevel() != 1)
            return;
        InsertHeldRows();
        try {
            m_conn.CommitTrans();
        } catch (const db::EDatabaseError&) {
            // A reader holds the file: the transaction stays open and is committed later.
            m_bulkPiece.restart();
            return;
        }
        m_bulkOpen = false;
        QThread::usleep(BulkGapUs);
    }
    try {
        m_conn.BeginTrans();
        m_bulkOpen = true;
    } catch (const db::EDatabaseError&) {
        // Another program writes: rows go in one at a time until the next piece begins.
    }
    m_bulkPiece.restart();
}

qint64 TRecipientListStore::DeleteRows(const QList<qint64>& ids)
{
    if (m_table.isEmpty() || ids.isEmpty())
        return 0;
    qint64 deleted = 0;
    {
        // Deleting many rows changes pages all over the Email index: with SQLite's small default
        // page cache they would be written out and read back again and again before the commit.
        TPageCacheScope cache(m_conn, ids.size() > StatusBatchSize);
        db::Transaction trans(m_conn);
        for (qsizetype from = 0; from < ids.size(); from += StatusBatchSize) {
            const qsizetype n = std::min<qsizetype>(StatusBatchSize, ids.size() - from);
            deleted += m_conn.Execute(
                QStringLiteral("DELETE FROM %1 WHERE %2 IN (%3)").arg(QuoteName(m_table), QuoteName("_ID"), IdList(ids, from, n)));
        }
        trans.Commit();
    }
    Requery();
    return deleted;
}

void TRecipientListStore::ExecuteChange(const QString& sql, const QVariantList& params)
{
    if (m_dataSet->Active())
        m_dataSet->CheckBrowseMode();
    m_conn.Execute(sql, params);
    Requery();
    PrepareInsertCommand();
}

// ------------------------------------------------------------------ status

bool TRecipientListStore::SetStatusOfIds(const QList<qint64>& ids, int status)
{
    if (m_table.isEmpty() || ids.isEmpty() || status < 0 || status > 2)
        return false;
    if (m_prompts)
        m_prompts->Busy(true);
    bool ok = true;
    try {
        if (m_dataSet->Active())
            m_dataSet->CheckBrowseMode();
        db::Transaction trans(m_conn);
        for (qsizetype from = 0; from < ids.size(); from += StatusBatchSize) {
            const qsizetype n = std::min<qsizetype>(StatusBatchSize, ids.size() - from);
            m_conn.Execute(QStringLiteral("UPDATE %1 SET %2 = %3 WHERE %4 IN (%5)")
                               .arg(QuoteName(m_table), QuoteName("Status"), QString::number(status), QuoteName("_ID"),
                                    IdList(ids, from, n)));
        }
        trans.Commit();
    } catch (const db::EDatabaseError& e) {
        ok = false;
        Message(e.message());
    }
    if (m_prompts)
        m_prompts->Busy(false);
    Requery();
    return ok;
}

void TRecipientListStore::MarkAllSentAsUnsent()
{
    ExecuteChange(QStringLiteral("UPDATE %1 SET %2 = 0 WHERE %2 = 1").arg(QuoteName(m_table), QuoteName("Status")));
}

void TRecipientListStore::MarkAllBlockedAsUnsent()
{
    ExecuteChange(QStringLiteral("UPDATE %1 SET %2 = 0 WHERE %2 = 2").arg(QuoteName(m_table), QuoteName("Status")));
}

void TRecipientListStore::MarkAllAsBlocked()
{
    ExecuteChange(QStringLiteral("UPDATE %1 SET %2 = 2").arg(QuoteName(m_table), QuoteName("Status")));
}

void TRecipientListStore::RemoveEmptyAddresses()
{
    ExecuteChange(QStringLiteral("DELETE FROM %1 WHERE %2 IS NULL OR %2 = ''").arg(QuoteName(m_table), QuoteName("Email")));
}

int TRecipientListStore::RowsToSent()
{
    if (m_table.isEmpty())
        return 0;
    return m_conn.Scalar(QStringLiteral("SELECT count(*) FROM %1 WHERE %2 = 0").arg(QuoteName(m_table), QuoteName("Status")))
        .toInt();
}

// ------------------------------------------------------------------ order

void TRecipientListStore::SortByColumn(const QString& field)
{
    if (m_table.isEmpty() || field.isEmpty())
        return;
    if (SameName(field, m_sortField))
        m_sortDesc = !m_sortDesc;
    else
        m_sortDesc = false;
    m_sortField = field;
    m_dataSet->Close();
    SetStatement();
    m_dataSet->Open();
}

void TRecipientListStore::ApplyOrder(const QString& field, bool descending)
{
    if (m_table.isEmpty())
        return;
    if (!field.isEmpty() && !GetFieldNames().contains(field, Qt::CaseInsensitive))
        return; // the remembered field is gone
    m_sortField = field;
    m_sortDesc = !field.isEmpty() && descending;
    m_dataSet->Close();
    SetStatement();
    m_dataSet->Open();
}

// ------------------------------------------------------------------ cleaning

bool TRecipientListStore::IsValidAddress(const QString& email)
{
    // Without UseUnicodePropertiesOption \w is ASCII only, like the original engine.
    static const QRegularExpression pattern(QStringLiteral("[\\w\\d\\-\\.]+@[\\w\\d\\-]+(\\.[\\w\\d\\-]+)+"));
    return !email.isEmpty() && pattern.match(email).hasMatch();
}

int TRecipientListStore::RemoveInvalidAddresses()
{
    if (m_table.isEmpty())
        return 0;
    if (m_prompts)
        m_prompts->Busy(true);
    QList<qint64> invalid;
    try {
        if (m_dataSet->Active())
            m_dataSet->CheckBrowseMode();
        db::Statement read(m_conn, QStringLiteral("SELECT %1, %2 FROM %3").arg(QuoteName("_ID"), QuoteName("Email"), QuoteName(m_table)));
        while (read.Step())
            if (!IsValidAddress(read.Column(1).toString()))
                invalid << read.Column(0).toLongLong();
    } catch (...) {
        if (m_prompts)
            m_prompts->Busy(false);
        throw;
    }
    try {
        DeleteRows(invalid);
    } catch (...) {
        if (m_prompts)
            m_prompts->Busy(false);
        Requery();
        throw;
    }
    if (m_prompts)
        m_prompts->Busy(false);
    return int(invalid.size());
}

bool TRecipientListStore::GotoNextInvalid()
{
    db::TExtADODataSet& ds = *m_dataSet;
    if (!ds.Active() || ds.IsEmpty())
        return true;
    ds.CheckBrowseMode();
    db::TField* email = ds.FieldByName(QStringLiteral("Email"));
    const int count = ds.RecordCount();
    const int start = std::max(1, ds.RecNo());
    ds.DisableControls();
    int found = -1;
    try {
        for (int step = 1; step <= count && found < 0; ++step) {
            const int recNo = (start - 1 + step) % count + 1;
            ds.SetRecNo(recNo);
            if (!IsValidAddress(email->AsString()))
                found = recNo;
        }
        if (found < 0)
            ds.SetRecNo(start);
    } catch (...) {
        ds.EnableControls();
        throw;
    }
    ds.EnableControls();
    if (found >= 0)
        return true;
    if (m_prompts) {
        m_prompts->Beep();
        m_prompts->AlertMainWindow();
    }
    return false;
}

// ------------------------------------------------------------------ duplicates

QString FoldCase(const QString& text) { return text.toCaseFolded(); }

namespace {

// FNV-1a over the UTF-16 code units of an address with every letter's case folded. Addresses of
// ASCII characters only (nearly all) are folded byte by byte without building a string.
quint64 FoldedHash(const char* text, int size)
{
    constexpr quint64 basis = 14695981039346656037ULL, prime = 1099511628211ULL;
    quint64 h = basis;
    int i = 0;
    for (; i < size; ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (c >= 0x80)
            break;
        if (c >= 'A' && c <= 'Z')
            c += 'a' - 'A';
        h = (h ^ c) * prime;
    }
    if (i == size)
        return h;
    // Folding works letter by letter, so the ASCII beginning hashed above stays as it is.
    const QString rest = QString::fromUtf8(text + i, size - i).toCaseFolded();
    for (QChar u : rest)
        h = (h ^ u.unicode()) * prime;
    return h;
}

// An address as FoldCase gives it; ASCII letters are folded without a second pass over the text.
QString FoldedText(const char* text, int size)
{
    QString out(size, Qt::Uninitialized);
    char16_t* d = reinterpret_cast<char16_t*>(out.data());
    for (int i = 0; i < size; ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c >= 0x80)
            return FoldCase(QString::fromUtf8(text, size));
        d[i] = c >= 'A' && c <= 'Z' ? char16_t(c + ('a' - 'A')) : char16_t(c);
    }
    return out;
}

// SQLite's trim() takes spaces only.
bool Blank(const char* text, int size)
{
    for (int i = 0; i < size; ++i)
        if (text[i] != ' ')
            return false;
    return true;
}

const QString kDuplicatesTable = QStringLiteral("qly_duplicates");

qint64 DataVersion(db::Connection& conn) { return conn.Scalar(QStringLiteral("PRAGMA data_version")).toLongLong(); }

// The shown rows' places go to a temporary table of the connection, which the statement reads;
// the caller's transaction (if any) holds them. Notes the database's state for later.
void ShowDuplicates(db::Connection& conn, const QString& table, TDuplicateRows& result)
{
    const QString shownTable = QStringLiteral("temp.") + QuoteName(kDuplicatesTable);
    conn.Execute(QStringLiteral("CREATE TEMP TABLE IF NOT EXISTS %1 (Id INTEGER PRIMARY KEY, Place INTEGER)").arg(QuoteName(kDuplicatesTable)));
    conn.Execute(QStringLiteral("DELETE FROM %1").arg(shownTable));
    std::vector<std::pair<qint64, qint64>> byId; // _ID, place
    byId.reserve(result.shown.size());
    for (size_t i = 0; i < result.shown.size(); ++i)
        byId.emplace_back(result.shown[i], qint64(i));
    std::sort(byId.begin(), byId.end());
    db::Statement ins(conn, QStringLiteral("INSERT INTO %1 (Id, Place) VALUES (?1, ?2)").arg(shownTable));
    sqlite3_stmt* h = ins.Handle();
    for (const auto& [id, place] : byId) {
        sqlite3_bind_int64(h, 1, id);
        sqlite3_bind_int64(h, 2, place);
        ins.Step();
        ins.Reset();
    }
    result.rows = qint64(result.shown.size());
    result.dataVersion = DataVersion(conn);
    result.totalChanges = sqlite3_total_changes64(conn.Handle());
    const QString t = QuoteName(table), key = QuoteName("_ID");
    result.statement = QStringLiteral("SELECT * FROM %1 WHERE %2 IN (SELECT Id FROM %3) ORDER BY (SELECT Place FROM %3 WHERE Id = %1.%2)")
                           .arg(t, key, shownTable);
}

} // namespace

TDuplicateRows TRecipientListStore::FindDuplicates(db::Connection& conn, const QString& table)
{
    // Two passes over the addresses, in one read transaction so both see the same rows in the
    // same order. The first hashes every non-blank address as folded and keeps the hash and the
    // row's place in the pass; rows whose hash no other row has are no duplicates. The second
    // folds the addresses of the others as text: comparing them separates the rows whose hashes
    // merely collide, and sorts the groups. The first pass keeps the addresses' bytes as well
    // while they take up to DuplicateTextKept; then the second reads them there, not in the table.
    db::Transaction trans(conn);
    const QString scan = QStringLiteral("SELECT %1, %2 FROM %3").arg(QuoteName("_ID"), QuoteName("Email"), QuoteName(table));
    struct Hashed {
        quint64 hash;
        quint32 place; // the row's place in the pass
        quint32 entry; // its number among the non-blank addresses
    };
    std::vector<char> keptText;    // the non-blank addresses one after the other
    std::vector<quint32> keptEnds; // where each ends there
    std::vector<qint64> keptIds;   // its row's _ID
    bool keeping = true;
    {
        // Room for about as many rows as the highest _ID says: growing would copy them again and again.
        const size_t rows = size_t(std::clamp<qint64>(
            conn.Scalar(QStringLiteral("SELECT max(%1) FROM %2").arg(QuoteName("_ID"), QuoteName(table))).toLongLong(), 0, 1 << 22));
        keptText.reserve(std::min(rows * 32, DuplicateTextKept));
        keptEnds.reserve(rows);
        keptIds.reserve(rows);
    }
    // Gathered in blocks (no copies as they grow), counted by the hash's top bits, then placed
    // by those bits; each bucket is sorted on its own.
    constexpr int bucketBits = 16, blockSize = 1 << 16;
    std::vector<std::unique_ptr<Hashed[]>> blocks;
    std::vector<quint32> buckets((1 << bucketBits) + 1);
    size_t count = 0;
    quint32 places = 0;
    {
        db::Statement st(conn, scan);
        sqlite3_stmt* h = st.Handle();
        while (st.Step()) {
            const char* email = reinterpret_cast<const char*>(sqlite3_column_text(h, 1));
            const int size = sqlite3_column_bytes(h, 1);
            if (email && !Blank(email, size)) {
                if (count % blockSize == 0)
                    blocks.push_back(std::make_unique_for_overwrite<Hashed[]>(blockSize));
                const quint64 hash = FoldedHash(email, size);
                blocks.back()[count % blockSize] = {hash, places, quint32(count)};
                if (keeping && keptText.size() + size_t(size) > DuplicateTextKept) {
                    keeping = false;
                    keptText = {};
                    keptEnds = {};
                    keptIds = {};
                }
                if (keeping) {
                    keptText.insert(keptText.end(), email, email + size);
                    keptEnds.push_back(quint32(keptText.size()));
                    keptIds.push_back(sqlite3_column_int64(h, 0));
                }
                ++buckets[(hash >> (64 - bucketBits)) + 1];
                ++count;
            }
            ++places;
        }
    }
    for (size_t b = 1; b < buckets.size(); ++b)
        buckets[b] += buckets[b - 1];
    struct Candidate {
        QString key;
        qint64 id;
    };
    std::vector<Candidate> candidates;
    std::vector<quint32> picked; // with the addresses kept: the entries of the rows sharing a hash
    std::vector<bool> wanted(keeping ? 0 : places);
    quint32 lastWanted = 0;
    bool anyWanted = false;
    {
        const std::unique_ptr<Hashed[]> hashed = std::make_unique_for_overwrite<Hashed[]>(count);
        std::vector<quint32> next(buckets.begin(), buckets.end() - 1);
        for (size_t i = 0; i < count; ++i) {
            const Hashed& e = blocks[i / blockSize][i % blockSize];
            hashed[next[e.hash >> (64 - bucketBits)]++] = e;
            if ((i + 1) % blockSize == 0)
                blocks[i / blockSize].reset();
        }
        blocks.clear();
        for (size_t b = 0; b + 1 < buckets.size(); ++b) {
            Hashed *const first = hashed.get() + buckets[b], *const last = hashed.get() + buckets[b + 1];
            std::sort(first, last, [](const Hashed& x, const Hashed& y) { return x.hash < y.hash; });
            for (Hashed *from = first, *to = first; from != last; from = to) {
                while (to != last && to->hash == from->hash)
                    ++to;
                if (to - from < 2)
                    continue;
                for (Hashed* i = from; i != to; ++i) {
                    if (keeping) {
                        picked.push_back(i->entry);
                    } else {
                        wanted[i->place] = true;
                        lastWanted = std::max(lastWanted, i->place);
                        anyWanted = true;
                    }
                }
            }
        }
    }
    // Taken in the order of the pass, which is near the order of the addresses: the sort of the
    // candidates below has less to do.
    std::sort(picked.begin(), picked.end());
    candidates.reserve(picked.size());
    for (const quint32 e : picked) {
        const quint32 begin = e ? keptEnds[e - 1] : 0;
        candidates.push_back({FoldedText(keptText.data() + begin, int(keptEnds[e] - begin)), keptIds[e]});
    }
    picked = {};
    keptText = {};
    keptEnds = {};
    keptIds = {};
    if (anyWanted) {
        db::Statement st(conn, scan);
        sqlite3_stmt* h = st.Handle();
        for (quint32 place = 0; place <= lastWanted && st.Step(); ++place)
            if (wanted[place])
                candidates.push_back({FoldedText(reinterpret_cast<const char*>(sqlite3_column_text(h, 1)), sqlite3_column_bytes(h, 1)),
                                      sqlite3_column_int64(h, 0)});
    }
    std::sort(candidates.begin(), candidates.end(), [](const Candidate& a, const Candidate& b) {
        const int c = a.key.compare(b.key);
        return c < 0 || (c == 0 && a.id < b.id);
    });

    // The groups of two rows or more, in their order; every row but the last one selected.
    TDuplicateRows result;
    for (size_t from = 0, to; from < candidates.size(); from = to) {
        to = from + 1;
        while (to < candidates.size() && candidates[to].key == candidates[from].key)
            ++to;
        if (to - from < 2)
            continue;
        for (size_t i = from; i < to; ++i) {
            result.shown.push_back(candidates[i].id);
            if (i + 1 < to)
                result.autoSelected << candidates[i].id;
        }
        result.groupEnds.push_back(qint64(result.shown.size()));
    }
    candidates = {};
    ShowDuplicates(conn, table, result);
    trans.Commit();
    return result;
}

TDuplicateRows TRecipientListStore::DuplicatesAfterDelete(db::Connection& conn, const QString& table, const TDuplicateRows& found,
                                                          const QList<qint64>& deleted, qint64 deletedCount)
{
    // Deleting rows makes no new duplicates and leaves the addresses of the other rows as they
    // were; only another change to the list since the search calls for a new one.
    if (found.totalChanges < 0 || sqlite3_total_changes64(conn.Handle()) != found.totalChanges + deletedCount ||
        DataVersion(conn) != found.dataVersion)
        return FindDuplicates(conn, table);
    std::vector<qint64> gone(deleted.begin(), deleted.end());
    std::sort(gone.begin(), gone.end());
    const auto isGone = [&gone](qint64 id) { return std::binary_search(gone.begin(), gone.end(), id); };
    TDuplicateRows result;
    qint64 from = 0;
    for (const qint64 end : found.groupEnds) {
        std::vector<qint64> left;
        for (qint64 i = from; i < end; ++i)
            if (!isGone(found.shown[size_t(i)]))
                left.push_back(found.shown[size_t(i)]);
        from = end;
        if (left.size() < 2)
            continue;
        for (size_t i = 0; i < left.size(); ++i) {
            result.shown.push_back(left[i]);
            if (i + 1 < left.size())
                result.autoSelected << left[i];
        }
        result.groupEnds.push_back(qint64(result.shown.size()));
    }
    db::Transaction trans(conn);
    ShowDuplicates(conn, table, result);
    trans.Commit();
    return result;
}

void TRecipientListStore::ForgetDuplicates(db::Connection& conn)
{
    if (conn.Connected())
        conn.Execute(QStringLiteral("DROP TABLE IF EXISTS temp.") + QuoteName(kDuplicatesTable));
}

} // namespace recipients
