#pragma once
// Where the local database file is, and opening it at start: the path recorded in the settings
// (section "database", value "file"), else the program's folder, else the program's data folder.
// Opening never creates a file unless creation is the step; a file that is no database or that
// can only be read counts as a failed open.
#include <QString>
#include <functional>

namespace db { class Connection; }
namespace settings { class TRegIniFile; }

namespace core {

// The database file's name.
QString DatabaseFileName(); // "qly.db"
// Shown when no location works.
QString DatabaseOpenFailedText();

struct DatabaseSite {
    QString title;          // application title: names the data folder
    QString programFolder;  // empty: the folder of the program file
    QString appDataFolder;  // empty: GetAppDataFolder(title), taken only when it is needed
};

struct DatabaseOpenHandlers {
    std::function<void(const QString&)> showMessage;  // a plain message with the application title
    std::function<void()> terminate;                  // asks the application to end
};

// Opens the database at start: the recorded path, or CreateDatabase when there is none or it
// fails. True when the connection is open.
bool OpenDatabase(db::Connection& conn, settings::TRegIniFile& settings, const DatabaseSite& site,
                  const DatabaseOpenHandlers& handlers);

// Opens or creates the file in the program folder, then in the data folder, and records the path
// that worked. When every attempt fails the message is shown, the application is asked to end,
// nothing is recorded, and the result is false.
bool CreateDatabase(db::Connection& conn, settings::TRegIniFile& settings, const DatabaseSite& site,
                    const DatabaseOpenHandlers& handlers);

} // namespace core
