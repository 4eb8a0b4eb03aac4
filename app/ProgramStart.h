#pragma once
// The program start: the data-access check, the application's title and help file, the main
// window, and the database open with its schema upgrade.
#include <QLocale>
#include <QMessageBox>
#include <QString>
#include <functional>
#include <memory>

namespace db { class Connection; }
namespace settings { class TRegIniFile; }
namespace platform { class Application; }
namespace core { struct DatabaseSite; struct DatabaseOpenHandlers; enum class DatabaseChoice; }

namespace app {

// Bounds of the data-access check: a version is too old when it is above the lower and below the
// upper bound.
constexpr float MdacLowerBound = 0.0f;
constexpr float MdacUpperBound = 2.5f;

bool MdacVersionTooOld(double version);
// The question shown for a too old version: the version in the locale's format with its first
// "," turned into ".".
QString MdacQuestionText(double version, const QLocale& locale);
// True when the start may go on. For a too old version it asks (ask returns true for Yes), runs
// download on Yes when there is one, and answers false whatever the answer.
bool CheckMdacVersion(double version, const QLocale& locale, const std::function<bool(const QString&)>& ask,
                      const std::function<void()>& download);
// The check with the installed version, the user's locale and a question box; Yes runs
// DownloadMdac.
bool CheckMdacVersion();

// The data-access check of this program: the SQLite library it runs with must be at least the
// oldest version whose features it uses (3.35.0: ALTER TABLE ... DROP COLUMN). There is no
// installer to offer: a too old library is named with the version needed and the Debian package
// that brings it, and the start ends.
constexpr int SqliteMinimumVersion = 3035000;
// 3035005 -> "3.35.5"
QString SqliteVersionText(int versionNumber);
QString SqliteTooOldText(int installedVersionNumber);
struct DataAccessStart {
    std::function<int()> VersionNumber; // the running library's sqlite3_libversion_number()
};
DataAccessStart& DataAccessSettings();
// True when the start may go on; otherwise the message has been shown (an error box).
bool CheckDataAccess();

class TOrvDownloadDialog;

// What the data-access check reads and uses; replaceable for tests.
struct MdacStart {
    std::function<double()> Version;                  // the installed version (GetMdacVersion)
    std::function<bool(const QString& question)> Ask; // a question box; true for Yes
    // Where the installer is downloaded from. There is no installer for Linux: empty, so the
    // download does nothing.
    QString Source;
    QString ProgramFolder;                            // empty: the program's folder
    std::function<void(TOrvDownloadDialog& dialog)> Prepare; // a look at the dialog before it runs
};
MdacStart& MdacStartSettings();
// The installer's file name in the program folder.
extern const QString MdacInstallerName;
// Reads the version again and returns when it is new enough; otherwise downloads the installer
// into the program folder with the download dialog and hands it to the desktop's handler.
void DownloadMdac();

// Opens the local database (the recorded path, else the program and data folders) and brings its
// schema up to date. When no database can be opened the message is shown, the application is asked
// to end, no schema statement runs, and the result is false. Errors of the upgrade itself raise.
bool OpenAndUpgradeDatabase(db::Connection& conn, settings::TRegIniFile& settings, const core::DatabaseSite& site,
                            const core::DatabaseOpenHandlers& handlers,
                            const std::function<void(const QString&)>& showMessage);

// The question about a recorded database file that exists but cannot be used offers Retry
// ("Erneut versuchen"), Ignore ("Nur diesmal Ersatzdatenbank verwenden": a fallback database for
// this run, the recorded path stays) and Abort ("Quillory beenden").
QMessageBox::StandardButtons DatabaseQuestionButtons();
// The choice an answer stands for; any other answer (the box closed) quits.
core::DatabaseChoice DatabaseChoiceOf(QMessageBox::StandardButton answer);
// The box for that question with its German button texts; Escape quits.
std::unique_ptr<QMessageBox> MakeDatabaseQuestionBox(const QString& title, const QString& text, QWidget* parent);

class TMainForm;
// SIGTERM and SIGHUP (logout, shutdown, kill) end the program from the event loop: the window
// ends without questions (TMainForm::EndOnSignal), then `quit` runs. Until the returned object
// is destroyed.
std::unique_ptr<QObject> InstallEndSignals(TMainForm& window, std::function<void()> quit);

// The program after the application object exists: returns the exit code.
int RunProgram(platform::Application& app);

} // namespace app
