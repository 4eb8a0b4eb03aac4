#include "DatabaseLocation.h"

#include "core/OrvDBUtils.h"
#include "core/OrvUtils.h"
#include "platform/db/Connection.h"
#include "platform/settings/RegIniFile.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <sqlite3.h>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <sys/vfs.h>

namespace core {

Q_LOGGING_CATEGORY(lcDatabase, "qly.database", QtWarningMsg)

namespace {
const QString kSection = QStringLiteral("database");
const QString kValue = QStringLiteral("file");
const QString kSupportAddress = QStringLiteral("support@quillory.de");

DatabaseOpenFailure Classify(const QString& path, int sqliteCode, const QString& detail)
{
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0) {
        const int err = errno;
        if (err == ENOENT || err == ENOTDIR)
            return {DatabaseProblem::Missing, detail};
        if (err == EACCES || err == EPERM)
            return {DatabaseProblem::NoPermission, QString::fromLocal8Bit(std::strerror(err))};
        return {DatabaseProblem::Other, QString::fromLocal8Bit(std::strerror(err))};
    }
    if (!S_ISREG(st.st_mode))
        return {DatabaseProblem::Damaged, detail};
    switch (sqliteCode & 0xff) {
    case SQLITE_NOTADB:
    case SQLITE_CORRUPT:
    case SQLITE_FORMAT:
    case SQLITE_EMPTY:
        return {DatabaseProblem::Damaged, detail};
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return {DatabaseProblem::InUse, detail};
    case SQLITE_PERM:
    case SQLITE_READONLY:
    case SQLITE_CANTOPEN:
    case SQLITE_AUTH:
        return {DatabaseProblem::NoPermission, detail};
    default:
        return {DatabaseProblem::Other, detail};
    }
}

// Whether SQLite may write the file: a write transaction that changes a page in memory only
// (which makes SQLite create its journal beside the file) and is rolled back. The file itself is
// not written.
void ProbeWrite(db::Connection& conn)
{
    const qlonglong version = conn.Scalar(QStringLiteral("PRAGMA user_version")).toLongLong();
    conn.Execute(QStringLiteral("BEGIN IMMEDIATE"));
    try {
        conn.Execute(QStringLiteral("PRAGMA user_version = %1").arg(version));
    } catch (...) {
        try {
            conn.Execute(QStringLiteral("ROLLBACK"));
        } catch (...) {
        }
        throw;
    }
    conn.Execute(QStringLiteral("ROLLBACK"));
}

void LogFailure(const QString& path, const QString& detail)
{
    qCInfo(lcDatabase).noquote() << QStringLiteral("Database not usable at %1: %2").arg(path, detail);
}

bool TryOpen(db::Connection& conn, const QString& path, bool create)
{
    if (create) {
        try {
            CreateAccessDatabase(path);
        } catch (const std::exception& e) {
            LogFailure(path, QString::fromUtf8(e.what()));
            return false;
        }
    }
    if (const std::optional<DatabaseOpenFailure> failure = ProbeDatabase(conn, path)) {
        LogFailure(path, failure->detail);
        return false;
    }
    return true;
}

bool SameFile(const QString& a, const QString& b)
{
    if (a == b)
        return true;
    const QString ca = QFileInfo(a).canonicalFilePath();
    return !ca.isEmpty() && ca == QFileInfo(b).canonicalFilePath();
}

// The default locations in order; the path that opened, or empty. A file equal to skip is not
// tried (it has just failed).
QString OpenDefaultLocation(db::Connection& conn, const DatabaseSite& site, const QString& skip)
{
    const QString programFolder =
        site.programFolder.isEmpty() ? QCoreApplication::applicationDirPath() : site.programFolder;
    const QString programPath = IncludeTrailingChar(programFolder, QLatin1Char('/')) + DatabaseFileName();
    if (skip.isEmpty() || !SameFile(programPath, skip)) {
        // An existing file is tried once: creating leaves it alone, so a second try would only
        // wait for a lock again.
        if (QFileInfo::exists(programPath) ? TryOpen(conn, programPath, false) : TryOpen(conn, programPath, true))
            return programPath;
    }
    // No data folder (it cannot be created) is a failed attempt, never a path from the root.
    const QString dataFolder = site.appDataFolder.isEmpty() ? GetAppDataFolder(site.title) : site.appDataFolder;
    if (dataFolder.isEmpty())
        return {};
    const QString dataPath = dataFolder + QLatin1Char('/') + DatabaseFileName();
    if ((skip.isEmpty() || !SameFile(dataPath, skip)) && TryOpen(conn, dataPath, true))
        return dataPath;
    return {};
}

void ReportNoDatabase(const DatabaseOpenHandlers& handlers)
{
    if (handlers.showMessage)
        handlers.showMessage(DatabaseOpenFailedText());
    if (handlers.terminate)
        handlers.terminate();
}

QString ProblemText(const DatabaseOpenFailure& failure)
{
    switch (failure.problem) {
    case DatabaseProblem::Damaged:
        return QStringLiteral("Die Datei ist beschädigt oder keine Quillory Datenbank.");
    case DatabaseProblem::InUse:
        return QStringLiteral("Die Datei wird von einem anderen Programm verwendet.");
    case DatabaseProblem::NoPermission:
        return QStringLiteral("Keine Berechtigung: Die Datei oder ihr Ordner darf nicht gelesen oder beschrieben werden.");
    case DatabaseProblem::Missing:
        return QStringLiteral("Die Datei wurde nicht gefunden.");
    case DatabaseProblem::Other:
        break;
    }
    return QStringLiteral("Fehler beim Zugriff: ") + failure.detail;
}
} // namespace

QString DatabaseFileName() { return QStringLiteral("qly.db"); }

QString DatabaseOpenFailedText()
{
    return QStringLiteral("Die Quillory Datenbank konnte nicht erstellt oder geöffnet werden. (Please report to: ")
           + kSupportAddress + QLatin1Char(')');
}

QString DatabaseUnusableText(const QString& path, const DatabaseOpenFailure& failure)
{
    return QStringLiteral("Die Quillory Datenbank \"%1\" kann nicht geöffnet werden.\n\n%2\n\n"
                          "Die Datei wird nicht verändert und bleibt als Datenbank eingetragen. Sie können es erneut "
                          "versuchen, nur für diesen Start mit einer Ersatzdatenbank arbeiten oder Quillory beenden.")
        .arg(path, ProblemText(failure));
}

QString DatabaseMissingText(const QString& missing, const QString& replacement)
{
    return QStringLiteral("Die Quillory Datenbank \"%1\" wurde nicht gefunden.\nQuillory verwendet ab jetzt die "
                          "Datenbank \"%2\".")
        .arg(missing, replacement);
}

std::optional<DatabaseOpenFailure> ProbeDatabase(db::Connection& conn, const QString& path)
{
    try {
        conn.Open(path, db::OpenMode::Existing);
        ProbeWrite(conn);
        return std::nullopt;
    } catch (const db::EDatabaseError& e) {
        conn.Close();
        return Classify(path, e.code(), e.message());
    } catch (const std::exception& e) {
        conn.Close();
        return Classify(path, 0, QString::fromUtf8(e.what()));
    }
}

bool OpenDatabase(db::Connection& conn, settings::TRegIniFile& settings, const DatabaseSite& site,
                  const DatabaseOpenHandlers& handlers)
{
    QString recorded;
    try {
        recorded = settings.ReadString(kSection, kValue, QString());
    } catch (const std::exception& e) {
        qCInfo(lcDatabase).noquote() << QStringLiteral("Recorded database path unreadable: %1").arg(QString::fromUtf8(e.what()));
    }
    if (recorded.isEmpty())
        return CreateDatabase(conn, settings, site, handlers);
    for (;;) {
        const std::optional<DatabaseOpenFailure> failure = ProbeDatabase(conn, recorded);
        if (!failure)
            return true;
        LogFailure(recorded, failure->detail);
        if (failure->problem == DatabaseProblem::Missing) {
            if (!CreateDatabase(conn, settings, site, handlers))
                return false;
            if (handlers.showMessage)
                handlers.showMessage(DatabaseMissingText(recorded, conn.FileName()));
            return true;
        }
        const DatabaseChoice choice =
            handlers.askUnusable ? handlers.askUnusable(DatabaseUnusableText(recorded, *failure)) : DatabaseChoice::Quit;
        switch (choice) {
        case DatabaseChoice::Retry:
            continue;
        case DatabaseChoice::FallbackThisRun:
            // The recorded path stays: the next start tries that file again.
            if (!OpenDefaultLocation(conn, site, recorded).isEmpty())
                return true;
            ReportNoDatabase(handlers);
            return false;
        case DatabaseChoice::Quit:
            break;
        }
        if (handlers.terminate)
            handlers.terminate();
        return false;
    }
}

bool CreateDatabase(db::Connection& conn, settings::TRegIniFile& settings, const DatabaseSite& site,
                    const DatabaseOpenHandlers& handlers)
{
    const QString opened = OpenDefaultLocation(conn, site, QString());
    if (opened.isEmpty()) {
        ReportNoDatabase(handlers);
        return false;
    }
    settings.WriteString(kSection, kValue, opened);
    return true;
}

bool IsOnNetworkFileSystem(const QString& path)
{
    struct statfs fs {};
    const QString folder = QFileInfo(path).absolutePath();
    if (statfs(QFile::encodeName(folder).constData(), &fs) != 0)
        return false;
    switch (static_cast<unsigned long>(fs.f_type)) {
    case 0x6969UL:      // NFS
    case 0x517BUL:      // SMB
    case 0xFF534D42UL:  // CIFS
    case 0xFE534D42UL:  // SMB2
    case 0x5346414FUL:  // AFS
    case 0x00C36400UL:  // Ceph
    case 0x01021997UL:  // 9p
    case 0x73757245UL:  // Coda
    case 0x65735546UL:  // FUSE (sshfs and others)
        return true;
    default:
        return false;
    }
}

QString ChooseJournalMode(db::Connection& conn)
{
    const bool network = IsOnNetworkFileSystem(conn.FileName());
    try {
        const QString current = conn.Scalar(QStringLiteral("PRAGMA journal_mode")).toString().toLower();
        const QString wanted = network ? QStringLiteral("delete") : QStringLiteral("wal");
        if (current == wanted)
            return current;
        const QString now = conn.Scalar(QStringLiteral("PRAGMA journal_mode = %1").arg(wanted)).toString().toLower();
        qCInfo(lcDatabase).noquote() << QStringLiteral("Journal mode of %1: %2%3")
                                            .arg(conn.FileName(), now, network ? QStringLiteral(" (network file system)") : QString());
        return now;
    } catch (const db::EDatabaseError& e) {
        qCInfo(lcDatabase).noquote() << QStringLiteral("Journal mode not changed: %1").arg(e.message());
        return {};
    }
}

} // namespace core
