#pragma once
// Where the local database file is, and opening it at start: the path recorded in the settings
// (section "database", value "file"), else the program's folder, else the program's data folder.
// Opening never creates a file unless creation is the step; a file that is no database, that can
// only be read, or whose folder does not let SQLite write its journal counts as a failed open.
//
// A recorded file that is gone is replaced by the first default location that works, and the user
// is told so. A recorded file that exists but cannot be used is never replaced, never changed and
// never un-recorded: the user is asked whether to try again, to work with a fallback database for
// this run only, or to quit.
#include <QLoggingCategory>
#include <QString>
#include <functional>
#include <optional>

namespace db { class Connection; }
namespace settings { class TRegIniFile; }

namespace core {

// The start-up's diagnostics (which location failed and why); silent unless enabled, e.g. with
// QT_LOGGING_RULES="qly.database.info=true".
Q_DECLARE_LOGGING_CATEGORY(lcDatabase)

// The database file's name.
QString DatabaseFileName(); // "qly.db"
// Shown when no location works.
QString DatabaseOpenFailedText();

// Why a database file could not be used.
enum class DatabaseProblem {
    Missing,       // the file does not exist (or its folder does not)
    Damaged,       // not an SQLite database, or a damaged one
    InUse,         // another program holds a lock on it (reported after the busy time-out)
    NoPermission,  // the file or its folder may not be read or written
    Other,         // any other failure (the detail says which)
};

struct DatabaseOpenFailure {
    DatabaseProblem problem = DatabaseProblem::Other;
    QString detail; // SQLite's or the system's own message
};

// Tries to open the file for reading and writing without creating it; nothing when it worked,
// else why not. The file is not changed either way.
std::optional<DatabaseOpenFailure> ProbeDatabase(db::Connection& conn, const QString& path);

// The question for a recorded file that exists but cannot be used.
QString DatabaseUnusableText(const QString& path, const DatabaseOpenFailure& failure);
// The message after a recorded file was missing and another one took its place.
QString DatabaseMissingText(const QString& missing, const QString& replacement);

// The answers to DatabaseUnusableText.
enum class DatabaseChoice { Retry, FallbackThisRun, Quit };

struct DatabaseSite {
    QString title;          // application title: names the data folder
    QString programFolder;  // empty: the folder of the program file
    QString appDataFolder;  // empty: GetAppDataFolder(title), taken only when it is needed
};

struct DatabaseOpenHandlers {
    std::function<void(const QString&)> showMessage;  // a plain message with the application title
    std::function<void()> terminate;                  // asks the application to end
    // Asks about a recorded file that exists but cannot be used; unassigned: Quit.
    std::function<DatabaseChoice(const QString&)> askUnusable;
};

// Opens the database at start. With no recorded path: CreateDatabase, silently. A recorded file
// that is missing: CreateDatabase, then one message naming both files. A recorded file that
// exists but fails: the question, repeated while the answer is Retry; FallbackThisRun opens a
// default location without recording it; Quit asks the application to end. True when the
// connection is open.
bool OpenDatabase(db::Connection& conn, settings::TRegIniFile& settings, const DatabaseSite& site,
                  const DatabaseOpenHandlers& handlers);

// Opens or creates the file in the program folder, then in the data folder, and records the path
// that worked. When every attempt fails the message is shown, the application is asked to end,
// nothing is recorded, and the result is false.
bool CreateDatabase(db::Connection& conn, settings::TRegIniFile& settings, const DatabaseSite& site,
                    const DatabaseOpenHandlers& handlers);

// True when the file lies on a network file system (NFS, SMB/CIFS, AFS, Ceph, 9p, Coda, or a
// FUSE file system such as sshfs, which may be one).
bool IsOnNetworkFileSystem(const QString& path);

// The journal mode for the open database: write-ahead logging, so that the readers of other
// programs on this machine never wait for a writer; the rollback journal when the file lies on a
// network file system, where write-ahead logging cannot work (its index is shared memory of one
// machine). Result: the mode in force ("wal" or "delete"). A file whose mode cannot be changed
// now (another connection holds it) keeps the mode it has.
QString ChooseJournalMode(db::Connection& conn);

} // namespace core
