#include "ProgramStart.h"

#include "app/MainForm.h"
#include "app/OrvDownloadDialog.h"
#include "core/DatabaseLocation.h"
#include "core/OrvDBUtils.h"
#include "platform/app/Application.h"
#include "platform/db/Connection.h"
#include "platform/settings/RegIniFile.h"
#include "recipients/Schema.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QMessageBox>
#include <QSocketNotifier>
#include <QTimer>
#include <cstdio>
#include <sqlite3.h>
#include <fcntl.h>
#include <memory>
#include <signal.h>
#include <unistd.h>

namespace app {

namespace {
const QString kTitle = QStringLiteral("Quillory");
const QString kHelpFile = QStringLiteral("Quillory.chm");
} // namespace

bool MdacVersionTooOld(double version)
{
    return version > MdacLowerBound && version < MdacUpperBound;
}

QString MdacQuestionText(double version, const QLocale& locale)
{
    QString v = locale.toString(version, 'g', QLocale::FloatingPointShortest);
    const qsizetype comma = v.indexOf(QLatin1Char(','));
    if (comma >= 0)
        v[comma] = QLatin1Char('.');
    return QStringLiteral("Quillory needs a newer version of Microsoft MDAC driver. Installed version is V") + v
           + QStringLiteral(". Quillory\r\ncan automatically download the needed driver. This may need some minutes. "
                            "After finish the system will reboot.\r\nStart updare now?");
}

bool CheckMdacVersion(double version, const QLocale& locale, const std::function<bool(const QString&)>& ask,
                      const std::function<void()>& download)
{
    if (!MdacVersionTooOld(version))
        return true;
    if (ask && ask(MdacQuestionText(version, locale)) && download)
        download();
    return false;
}

QString SqliteVersionText(int v)
{
    return QStringLiteral("%1.%2.%3").arg(v / 1000000).arg(v / 1000 % 1000).arg(v % 1000);
}

QString SqliteTooOldText(int installed)
{
    return QStringLiteral("Quillory benötigt die SQLite-Bibliothek in Version %1 oder neuer, installiert ist Version %2.\n"
                          "Bitte installieren Sie eine neuere Version des Debian-Pakets \"libsqlite3-0\" und starten Sie "
                          "Quillory danach erneut.")
        .arg(SqliteVersionText(SqliteMinimumVersion), SqliteVersionText(installed));
}

DataAccessStart& DataAccessSettings()
{
    static DataAccessStart settings{[] { return sqlite3_libversion_number(); }};
    return settings;
}

bool CheckDataAccess()
{
    const int v = DataAccessSettings().VersionNumber ? DataAccessSettings().VersionNumber() : sqlite3_libversion_number();
    if (v >= SqliteMinimumVersion)
        return true;
    QMessageBox box(QMessageBox::Critical, kTitle, SqliteTooOldText(v), QMessageBox::Ok);
    box.setObjectName(QStringLiteral("DataAccessMessage"));
    box.exec();
    return false;
}

const QString MdacInstallerName = QStringLiteral("mdac_typ25sp3.exe");

MdacStart& MdacStartSettings()
{
    static MdacStart settings{
        [] { return core::GetMdacVersion(); },
        [](const QString& text) {
            return QMessageBox::question(nullptr, kTitle, text, QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
        },
        QString(), QString(), {}};
    return settings;
}

void DownloadMdac()
{
    const MdacStart& s = MdacStartSettings();
    if (!s.Version || s.Version() >= MdacUpperBound)
        return;
    TOrvDownloadDialog dialog;
    dialog.AlwaysOverwrite = true;
    dialog.Source = s.Source;
    const QString folder = s.ProgramFolder.isEmpty() ? QCoreApplication::applicationDirPath() : s.ProgramFolder;
    dialog.Destination = folder + QLatin1Char('/') + MdacInstallerName;
    dialog.ExecFile = true;
    dialog.FormHandle = nullptr;
    if (s.Prepare)
        s.Prepare(dialog);
    dialog.Execute();
}

bool CheckMdacVersion()
{
    const MdacStart& s = MdacStartSettings();
    return CheckMdacVersion(s.Version ? s.Version() : 0.0, QLocale(), s.Ask, [] { DownloadMdac(); });
}

bool OpenAndUpgradeDatabase(db::Connection& conn, settings::TRegIniFile& settings, const core::DatabaseSite& site,
                            const core::DatabaseOpenHandlers& handlers,
                            const std::function<void(const QString&)>& showMessage)
{
    if (!core::OpenDatabase(conn, settings, site, handlers))
        return false;
    recipients::UpgradeSchema(conn, showMessage);
    core::ChooseJournalMode(conn);
    return true;
}

QMessageBox::StandardButtons DatabaseQuestionButtons()
{
    return QMessageBox::Retry | QMessageBox::Ignore | QMessageBox::Abort;
}

core::DatabaseChoice DatabaseChoiceOf(QMessageBox::StandardButton answer)
{
    switch (answer) {
    case QMessageBox::Retry:
        return core::DatabaseChoice::Retry;
    case QMessageBox::Ignore:
        return core::DatabaseChoice::FallbackThisRun;
    default:
        return core::DatabaseChoice::Quit;
    }
}

std::unique_ptr<QMessageBox> MakeDatabaseQuestionBox(const QString& title, const QString& text, QWidget* parent)
{
    auto box = std::make_unique<QMessageBox>(QMessageBox::Warning, title, text, DatabaseQuestionButtons(), parent);
    box->setObjectName(QStringLiteral("DatabaseQuestion"));
    box->button(QMessageBox::Retry)->setText(QStringLiteral("Erneut versuchen"));
    box->button(QMessageBox::Ignore)->setText(QStringLiteral("Nur diesmal Ersatzdatenbank verwenden"));
    box->button(QMessageBox::Abort)->setText(QStringLiteral("Quillory beenden"));
    box->setDefaultButton(QMessageBox::Retry);
    box->setEscapeButton(QMessageBox::Abort);
    return box;
}

namespace {
int g_signalPipe[2] = {-1, -1};
}

std::unique_ptr<QObject> InstallEndSignals(TMainForm& window, std::function<void()> quit)
{
    if (g_signalPipe[0] < 0 && ::pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return nullptr;
    struct sigaction sa {};
    // Only the pipe is written here; everything else runs in the event loop.
    sa.sa_handler = [](int) {
        const char c = 1;
        [[maybe_unused]] const auto n = ::write(g_signalPipe[1], &c, 1);
    };
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    ::sigaction(SIGTERM, &sa, nullptr);
    ::sigaction(SIGHUP, &sa, nullptr);
    auto notifier = std::make_unique<QSocketNotifier>(g_signalPipe[0], QSocketNotifier::Read);
    QObject::connect(notifier.get(), &QSocketNotifier::activated, &window, [&window, quit = std::move(quit)] {
        char c;
        while (::read(g_signalPipe[0], &c, 1) > 0) {
        }
        window.EndOnSignal();
        if (quit)
            quit();
    });
    return notifier;
}

int RunProgram(platform::Application& app)
{
    if (!CheckDataAccess())
        return 0;
    app.SetTitle(kTitle);
    app.SetHelpFile(kHelpFile);

    // The main window reads the settings and opens the database in its set-up.
    TMainForm window;
    if (app.Terminated())
        return 0;

    const std::unique_ptr<QObject> endSignals = InstallEndSignals(window, [&app] { app.quit(); });

    window.show();
    if (qEnvironmentVariableIsSet("QLY_QUIT_AFTER_SHOW")) {
        // Used by the start-up test: report the shown window and end.
        QTimer::singleShot(0, &app, [&] {
            std::printf("shown=%s visible=%d icon=%d\n", qPrintable(window.windowTitle()), window.isVisible() ? 1 : 0,
                        window.windowIcon().isNull() ? 0 : 1);
            std::fflush(stdout);
            app.quit();
        });
    }
    return app.exec();
}

} // namespace app
