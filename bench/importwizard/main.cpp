// A CSV file of 1,000,000 rows and 6 columns (";", a header row, one quoted value with the
// separator in it) imported through the program's own path: the main window's import button, the
// wizard clicked through as its tests do (file, "Erste Zeile ignorieren" ticked on the mapping
// page, overview, run, "Schließen") into the open list of the recipients page, whose table has
// the six columns with their NOCASE collation and the index on Email. Beside it the sqlite3 shell
// imports the same file into a table of the same columns and index. The two take turns as
// processes of their own, in pairs; each pair prints the times and the memory growth (peak
// resident size during the import above the size before it), and the end the median and worst
// ratio of the pairs. Run by hand from a Release build, pinned to cores on a shared machine:
//   bench_importwizard [rows] [pairs] [nodups]
// "nodups" chooses the wizard's duplicate test ("Keine Duplikate") instead of allowing them.
//   bench_importwizard --ours <csv> <folder> [nodups]   (one import, as the benchmark runs it)
#include "app/MainForm.h"
#include "importwizard/ImportWizardForm.h"
#include "importwizard/WizardDialogs.h"
#include "platform/db/Connection.h"
#include "platform/settings/RegIniFile.h"
#include "recipients/RecipientListStore.h"
#include "recipients/views/RecipientsGrid.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <vector>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

const QStringList kExtraColumns = {"Ort", "Telefon", "Firma"};

class NoDialogs : public importwizard::IWizardDialogs {
public:
    void ShowMessage(QWidget*, const QString& text) override { std::fprintf(stderr, "message: %s\n", qPrintable(text)); }
    std::optional<QString> InputQuery(QWidget*, const QString&, const QString&, const QString&) override { return {}; }
    QString OpenFileName(QWidget*, const QString&, const QString&, const QString&) override { return {}; }
    bool OpenWithDesktop(const QString&) override { return false; }
    void BeginWaitCursor() override {}
    void EndWaitCursor() override {}
    QString PromptDataSource(QWidget*, const QString& initial) override { return initial; }
};

bool WriteCsv(const QString& path, int rows)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        return false;
    QByteArray chunk = "Email;Nachname;Vorname;Ort;Telefon;Firma\r\n";
    for (int i = 0; i < rows; ++i) {
        // Every 50th row repeats an address of an earlier row.
        const int id = (i % 50 == 49) ? i - 17 : i;
        chunk += "person" + QByteArray::number(id) + "@beispiel.de;M\xC3\xBCller" + QByteArray::number(i)
                 + ";J\xC3\xB6rg;K\xC3\xB6ln;0221 " + QByteArray::number(1000000 + i) + ";\"Firma; GmbH "
                 + QByteArray::number(i % 1000) + "\"\r\n";
        if (chunk.size() > (1 << 20)) {
            f.write(chunk);
            chunk.clear();
        }
    }
    f.write(chunk);
    return f.error() == QFile::NoError;
}

long StatusKb(const char* field)
{
    QFile f("/proc/self/status");
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(qstrlen(field)).trimmed().split(' ').first().toLong();
    return 0;
}

double CpuSeconds()
{
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    return double(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) + double(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
}

// One import through the main window; prints "name=value" fields.
int Ours(const QString& csv, const QString& folder, bool noDuplicates)
{
    const QByteArray f = folder.toLocal8Bit();
    qputenv("XDG_CONFIG_HOME", f + "/config");
    qputenv("XDG_DATA_HOME", f + "/data");
    qputenv("XDG_CACHE_HOME", f + "/cache");
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // The window's HTML editor starts the web engine, which refuses its sandbox as root.
    if (::geteuid() == 0)
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    int argc = 1;
    char name[] = "bench_importwizard";
    char* argv[] = {name, nullptr};
    QApplication app(argc, argv);

    app::TMainFormSite site;
    site.programFolder = folder + "/program";
    site.appDataFolder = folder + "/appdata";
    QDir().mkpath(site.programFolder);
    site.messageBox = [](const QString&, const QString& text, QMessageBox::StandardButtons buttons) {
        std::fprintf(stderr, "message box: %s\n", qPrintable(text));
        return buttons.testFlag(QMessageBox::Ok) && !buttons.testFlag(QMessageBox::Cancel) ? QMessageBox::Ok
                                                                                            : QMessageBox::Cancel;
    };
    app::TMainForm form(site);
    QStringList columnNames = kExtraColumns;
    form.InputQuery = [&](const QString&, const QString&, const QString&) -> std::optional<QString> {
        return columnNames.isEmpty() ? std::nullopt : std::optional<QString>(columnNames.takeFirst());
    };
    NoDialogs dialogs;
    form.ImportWizardDialogs = &dialogs;
    form.resize(900, 600);
    form.show();
    form.BackGroundBottom->setCurrentWidget(form.TabRecipients);
    QApplication::processEvents();
    for (int i = 0; i < kExtraColumns.size(); ++i)
        form.MenuAddColumnClick();
    {
        settings::TRegIniFile s(TImportWizardForm::SettingsKeyPath());
        s.WriteString(TImportWizardForm::SettingsSection, "CSVAssociations", "5\r\n4\r\n3\r\n2\r\n1\r\n0\r\n");
        s.WriteInteger(TImportWizardForm::SettingsSection, "CSVSeparator", 0);
    }
    QApplication::processEvents();

    // The wizard's steps, each timed from its click.
    QElapsedTimer clock;
    qint64 toPreview = 0, toIgnoreFirst = 0, toOverview = 0, toRunEnd = 0;
    bool done = false;
    QTimer::singleShot(0, [&] {
        auto* wizard = qobject_cast<TImportWizardForm*>(QApplication::activeModalWidget());
        if (!wizard)
            return;
        auto* next = wizard->findChild<QPushButton*>("ButtonNext");
        next->click();
        wizard->findChild<QLineEdit*>("EditCSVFilename")->setText(csv);
        wizard->findChild<QRadioButton*>(noDuplicates ? "RadioButtonCSVNoDuplicates" : "RadioButtonCSVAllowDuplicates")
            ->setChecked(true);
        qint64 t = clock.elapsed();
        next->click();
        toPreview = clock.elapsed() - t;
        t = clock.elapsed();
        wizard->findChild<QCheckBox*>("CheckBoxIgnoreFirstRow")->setChecked(true);
        toIgnoreFirst = clock.elapsed() - t;
        t = clock.elapsed();
        next->click();
        toOverview = clock.elapsed() - t;
        t = clock.elapsed();
        next->click();
        toRunEnd = clock.elapsed() - t;
        if (next->text() == QStringLiteral("Schließen")) {
            next->click();
            done = true;
        } else {
            wizard->reject();
        }
    });
    const long beforeKb = StatusKb("VmRSS:");
    // The peak resident size starts again from the present size.
    if (QFile clear("/proc/self/clear_refs"); clear.open(QIODevice::WriteOnly))
        clear.write("5");
    const double cpu0 = CpuSeconds();
    clock.start();
    form.findChild<QToolButton*>("SpeedButtonImport")->click();
    const qint64 ms = clock.elapsed();
    const double cpu = CpuSeconds() - cpu0;
    const long peakKb = StatusKb("VmHWM:");
    const QVariant rows = form.Connection().Scalar(
        QStringLiteral("SELECT COUNT(*) FROM %1").arg(db::QuoteName(form.StringGridFavorites->TableName())));
    std::printf("done=%d ms=%lld cpu=%.3f growthkb=%ld rows=%lld preview=%lld ignorefirst=%lld overview=%lld run=%lld\n",
                done ? 1 : 0, (long long)ms, cpu, peakKb - beforeKb, rows.toLongLong(), (long long)toPreview,
                (long long)toIgnoreFirst, (long long)toOverview, (long long)toRunEnd);
    std::fflush(stdout);
    // The window's teardown is no part of the import.
    std::_Exit(0);
}

struct Run {
    double wall = 0, cpu = 0;
    long peakKb = 0;
    QByteArray out;
};

// Runs a program to its end, its standard input from a file (or none) and its output kept.
bool Spawn(const QStringList& args, const QString& input, Run& run)
{
    QTemporaryDir tmp;
    const QByteArray outPath = tmp.filePath("out").toLocal8Bit();
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, input.isEmpty() ? "/dev/null" : input.toLocal8Bit().constData(), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    QList<QByteArray> bytes;
    for (const QString& a : args)
        bytes << a.toLocal8Bit();
    std::vector<char*> argv;
    for (QByteArray& b : bytes)
        argv.push_back(b.data());
    argv.push_back(nullptr);
    QElapsedTimer t;
    t.start();
    pid_t pid = 0;
    if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) {
        std::fprintf(stderr, "cannot start %s\n", argv[0]);
        return false;
    }
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    rusage ru{};
    wait4(pid, &status, 0, &ru);
    run.wall = double(t.nsecsElapsed()) / 1e9;
    run.cpu = double(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) + double(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
    run.peakKb = ru.ru_maxrss;
    QFile out(QString::fromLocal8Bit(outPath));
    if (out.open(QIODevice::ReadOnly))
        run.out = out.readAll();
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "%s ended with status %d: %s\n", argv[0], status, run.out.constData());
        return false;
    }
    return true;
}

double Field(const QByteArray& out, const char* name)
{
    for (const QByteArray& f : out.trimmed().split('\n').last().split(' '))
        if (f.startsWith(QByteArray(name) + '='))
            return f.mid(qstrlen(name) + 1).toDouble();
    return 0;
}

double Median(QList<double> v)
{
    std::sort(v.begin(), v.end());
    return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

double Worst(const QList<double>& v) { return *std::max_element(v.begin(), v.end()); }

double LoadAverage()
{
    double load[1] = {0};
    return getloadavg(load, 1) == 1 ? load[0] : -1;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc >= 4 && qstrcmp(argv[1], "--ours") == 0)
        return Ours(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]), argc > 4 && qstrcmp(argv[4], "nodups") == 0);

    const int rows = argc > 1 ? std::atoi(argv[1]) : 1000000;
    const int pairs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
    const bool noDuplicates = argc > 3 && qstrcmp(argv[3], "nodups") == 0;
    QTemporaryDir dir;
    const QString csv = dir.filePath("adressen.csv");
    if (!WriteCsv(csv, rows))
        return 1;
    std::printf("%d rows, %.1f MB, %s, %d pairs, load average %.2f at the start\n", rows,
                double(QFileInfo(csv).size()) / (1 << 20), noDuplicates ? "duplicate test" : "duplicates allowed", pairs,
                LoadAverage());

    // The peer: the six columns with the collation and index of the list table, then the file.
    const QString script = dir.filePath("import.sql");
    {
        QFile f(script);
        if (!f.open(QIODevice::WriteOnly))
            return 1;
        f.write("CREATE TABLE t (\"Email\" TEXT COLLATE NOCASE, \"Last Name\" TEXT COLLATE NOCASE, "
                "\"First Name\" TEXT COLLATE NOCASE, \"Ort\" TEXT COLLATE NOCASE, \"Telefon\" TEXT COLLATE NOCASE, "
                "\"Firma\" TEXT COLLATE NOCASE);\n"
                "CREATE INDEX t_Email ON t (\"Email\");\n");
        f.write(".mode csv\n.separator ;\n.import --skip 1 " + csv.toLocal8Bit() + " t\n");
        f.write("SELECT COUNT(*) FROM t;\n");
    }
    Run empty;
    const QString emptyDb = dir.filePath("empty.db");
    if (!Spawn({"sqlite3", emptyDb, "SELECT 1"}, QString(), empty))
        return 1;

    QList<double> wall, cpu, ourGrowth, peerGrowth;
    const QString self = QFile::symLinkTarget("/proc/self/exe");
    for (int pair = 0; pair < pairs; ++pair) {
        const QString folder = dir.filePath(QStringLiteral("ours%1").arg(pair));
        const QString db = dir.filePath(QStringLiteral("peer%1.db").arg(pair));
        Run ours, peer;
        QStringList args = {self, "--ours", csv, folder};
        if (noDuplicates)
            args << "nodups";
        if (!Spawn(args, QString(), ours) || !Spawn({"sqlite3", db}, script, peer))
            return 1;
        const double ms = Field(ours.out, "ms"), ourCpu = Field(ours.out, "cpu");
        const double growth = Field(ours.out, "growthkb") / 1024.0, pGrowth = double(peer.peakKb - empty.peakKb) / 1024.0;
        wall << ms / 1000.0 / peer.wall;
        cpu << ourCpu / peer.cpu;
        ourGrowth << growth;
        peerGrowth << pGrowth;
        std::printf("pair %d: ours %.0f ms (cpu %.2f s; preview %.0f, ignore first row %.0f, overview %.0f, run %.0f ms), "
                    "%.0f rows, +%.1f MB | sqlite3 %.0f ms (cpu %.2f s), %s rows, +%.1f MB | ratio %.2fx wall, %.2fx cpu | load %.2f\n",
                    pair + 1, ms, ourCpu, Field(ours.out, "preview"), Field(ours.out, "ignorefirst"),
                    Field(ours.out, "overview"), Field(ours.out, "run"), Field(ours.out, "rows"), growth, peer.wall * 1000,
                    peer.cpu, peer.out.trimmed().constData(), pGrowth, wall.last(), cpu.last(), LoadAverage());
        std::fflush(stdout);
        if (Field(ours.out, "done") != 1)
            std::printf("  the wizard did not reach \"Schließen\"\n");
        QDir(folder).removeRecursively();
        QFile::remove(db);
    }
    std::printf("time ours / sqlite3: median %.2fx, worst %.2fx (wall); median %.2fx, worst %.2fx (cpu); target <= 1.3x\n",
                Median(wall), Worst(wall), Median(cpu), Worst(cpu));
    std::printf("memory growth: ours median %.1f MB, worst %.1f MB (target < 50 MB); sqlite3 median %.1f MB\n",
                Median(ourGrowth), Worst(ourGrowth), Median(peerGrowth));
    std::printf("load average %.2f at the end\n", LoadAverage());
    return 0;
}
