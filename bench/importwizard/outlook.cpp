// Imports the contacts of an Outlook data file made by the tests' writer (10,000 by default, six
// properties mapped) through the wizard into a new list of a real database, with the duplicate
// test, the rows going through the list store as the recipients page hands them over. Each run
// times the whole import (from the source page's "Weiter", which opens the file, to the end of the
// run) and the longest pause of the event loop, then readpst -r -o DIR and pffexport on the same
// file. Reports every run, the median and worst ratio of the import to readpst, and the load
// average. Run by hand from a Release build:
//   bench_importwizard_outlook [contacts] [runs] [nopeers]
// "nopeers" runs the import alone (for profiling).
#include "importwizard/ImportWizardForm.h"
#include "platform/db/Connection.h"
#include "platform/settings/RegIniFile.h"
#include "recipients/RecipientListStore.h"
#include "recipients/Schema.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QListWidget>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

class BenchDialogs : public importwizard::IWizardDialogs {
public:
    QString file;
    void ShowMessage(QWidget*, const QString& text) override { std::printf("message: %s\n", qPrintable(text)); }
    std::optional<QString> InputQuery(QWidget*, const QString&, const QString&, const QString&) override { return {}; }
    QString OpenFileName(QWidget*, const QString&, const QString&, const QString&) override { return file; }
    bool OpenWithDesktop(const QString&) override { return false; }
    void BeginWaitCursor() override {}
    void EndWaitCursor() override {}
    QString PromptDataSource(QWidget*, const QString& initial) override { return initial; }
    std::optional<quint32> PickOutlookFolder(QWidget*, const outlook::TFolderNode& root) override
    {
        for (const outlook::TFolderNode& child : root.children) {
            if (child.name == QStringLiteral("Kontakte"))
                return child.id;
        }
        return std::nullopt;
    }
};

struct Import {
    qint64 whole = 0;
    qint64 prepared = 0;  // the six steps
    qint64 run = 0;
    qint64 longestPause = 0;
    qint64 inserted = 0;
    qint64 dropped = 0;
};

Import RunImport(const QString& dbPath, const QString& pst, const QString& listName)
{
    db::Connection conn;
    conn.Open(dbPath, db::OpenMode::CreateIfMissing);
    recipients::UpgradeSchema(conn, [](const QString&) {});
    recipients::TRecipientListStore store(conn);
    store.CreateListTableWithColumns(listName, {"Firma", "Abteilung", "Anrede"});
    store.OpenList(listName);

    // The six properties in the order of the list's columns (stored in the order of the rows, the
    // last column first): positions in the standard list.
    settings::TRegIniFile settings(TImportWizardForm::SettingsKeyPath());
    settings.WriteString(TImportWizardForm::SettingsSection, "MSOAssociations", "5\r\n1\r\n0\r\n3\r\n4\r\n2\r\n");
    settings.WriteInteger(TImportWizardForm::SettingsSection, "OutlookAllowDuplicates", 0);

    Import result;
    BenchDialogs dialogs;
    dialogs.file = pst;
    TImportWizardForm form;
    form.SetDialogs(&dialogs);
    form.SetImportTypes(TImportTypes::All());
    form.setDescriptions(store.ImportColumns());
    form.OnDoRowOutput = [&](const QString& column, const QString& value) {
        const bool found = store.IsDuplicate(column, value);
        result.dropped += found;
        return found;
    };
    form.OnRowOutput = [&](QStringList& row) { result.inserted += store.AddImportedRow(row); };
    form.OnRunStart = [&] { store.BeginBulkInsert(); };
    form.OnRunEnd = [&] { store.EndBulkInsert(); };
    form.show();
    auto* next = form.findChild<QPushButton*>("ButtonNext");
    form.findChild<QListWidget*>("ListBoxSourceType")->setCurrentRow(1);

    QElapsedTimer sinceTick;
    QTimer ticker;
    ticker.setInterval(5);
    QObject::connect(&ticker, &QTimer::timeout, [&] { result.longestPause = std::max(result.longestPause, sinceTick.restart()); });
    ticker.start();
    sinceTick.start();
    QElapsedTimer clock;
    clock.start();
    next->click();  // the six steps over the file
    result.prepared = clock.elapsed();
    next->click();  // the mapping
    next->click();  // the overview
    const qint64 runStart = clock.elapsed();
    next->click();  // the run
    result.whole = clock.elapsed();
    result.run = result.whole - runStart;
    result.longestPause = std::max(result.longestPause, sinceTick.elapsed());
    ticker.stop();
    if (next->text() != QStringLiteral("Schließen"))
        std::printf("the run did not finish\n");
    return result;
}

// The peer's time, or -1 when it fails; its output is removed afterwards (not timed).
qint64 RunPeer(const QString& program, const QStringList& args, const QString& output)
{
    QDir(output).removeRecursively();
    QDir().mkpath(output);
    QElapsedTimer clock;
    clock.start();
    QProcess p;
    p.start(program, args);
    const bool ok = p.waitForFinished(600000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    const qint64 msecs = clock.elapsed();
    QDir(output).removeRecursively();
    if (!ok) {
        std::printf("%s failed: %s\n", qPrintable(program), p.readAllStandardError().constData());
        return -1;
    }
    return msecs;
}

QByteArray LoadAverage()
{
    QFile f(QStringLiteral("/proc/loadavg"));
    if (!f.open(QIODevice::ReadOnly))
        return "?";
    return f.readAll().split(' ').mid(0, 3).join(' ');
}

} // namespace

int main(int argc, char** argv)
{
    QTemporaryDir dir;
    qputenv("XDG_CONFIG_HOME", (dir.path() + "/config").toUtf8());
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int contacts = argc > 1 ? std::atoi(argv[1]) : 10000;
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
    const bool peers = !(argc > 3 && qstrcmp(argv[3], "nopeers") == 0);
    const QString pst = dir.filePath("kontakte.pst");
    QProcess writer;
    writer.start("python3", {QStringLiteral(QLY_SOURCE_DIR "/tests/importwizard/pst/outlook_files.py"), "contacts", pst,
                             QString::number(contacts)});
    if (!writer.waitForFinished(600000) || writer.exitCode() != 0) {
        std::printf("the writer failed: %s\n", writer.readAllStandardError().constData());
        return 1;
    }
    std::printf("%d contacts, %lld bytes; load average before: %s\n", contacts, qint64(QFileInfo(pst).size()),
                LoadAverage().constData());

    std::vector<double> ratios;
    for (int r = 1; r <= runs; ++r) {
        const Import i = RunImport(dir.filePath("qly.db"), pst, QStringLiteral("Outlook %1").arg(r));
        std::printf("run %d: import %lld ms (six steps %lld ms, mapping and overview %lld ms, run %lld ms), %lld inserted, "
                    "%lld dropped as duplicates, longest event-loop pause %lld ms\n",
                    r, i.whole, i.prepared, i.whole - i.prepared - i.run, i.run, i.inserted, i.dropped, i.longestPause);
        if (!peers)
            continue;
        const qint64 readpst = RunPeer("readpst", {"-q", "-r", "-o", dir.filePath("readpst"), pst}, dir.filePath("readpst"));
        const qint64 pffexport =
            RunPeer("pffexport", {"-q", "-m", "items", "-t", dir.filePath("pffexport/out"), pst}, dir.filePath("pffexport"));
        if (readpst > 0)
            ratios.push_back(double(i.whole) / double(readpst));
        std::printf("       readpst -r -o DIR %lld ms, pffexport %lld ms; import / readpst = %.2f, import / pffexport = %.2f\n",
                    readpst, pffexport, readpst > 0 ? double(i.whole) / double(readpst) : 0.0,
                    pffexport > 0 ? double(i.whole) / double(pffexport) : 0.0);
    }
    if (!ratios.empty()) {
        std::vector<double> sorted = ratios;
        std::sort(sorted.begin(), sorted.end());
        std::printf("import / readpst: median %.2f, worst %.2f\n", sorted[sorted.size() / 2], sorted.back());
    }
    std::printf("load average after: %s\n", LoadAverage().constData());
    return 0;
}
