// Imports the contacts of an Outlook data file (10,000 by default, six properties mapped) through
// the wizard into a list table of a real database with the duplicate test, and reports the time
// of the whole import (from opening the file to the end of the run), the longest pause of the
// event loop, and the times of readpst -r -o DIR and pffexport on the same file. Run by hand from
// a Release build:
//   bench_outlook [contacts]
#include "importwizard/AssociationBox.h"
#include "importwizard/ImportWizardForm.h"
#include "platform/db/Connection.h"
#include "platform/settings/RegIniFile.h"
#include "recipients/RecipientListStore.h"
#include "recipients/Schema.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QListWidget>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>

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

qint64 RunPeer(const QString& program, const QStringList& args)
{
    QElapsedTimer clock;
    clock.start();
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(600000) || p.exitCode() != 0) {
        std::printf("%s failed\n", qPrintable(program));
        return -1;
    }
    return clock.elapsed();
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
    const QString pst = dir.filePath("kontakte.pst");
    QProcess writer;
    writer.start("python3", {QStringLiteral(QLY_SOURCE_DIR "/tests/importwizard/pst/outlook_files.py"), "contacts", pst,
                             QString::number(contacts)});
    if (!writer.waitForFinished(600000) || writer.exitCode() != 0) {
        std::printf("the writer failed: %s\n", writer.readAllStandardError().constData());
        return 1;
    }

    db::Connection conn;
    conn.Open(dir.filePath("qly.db"), db::OpenMode::CreateIfMissing);
    recipients::UpgradeSchema(conn, [](const QString&) {});
    recipients::TRecipientListStore store(conn);
    const QString table = store.CreateListTable("Outlook");
    const QStringList extra = {"Firma", "Abteilung", "Anrede"};
    for (const QString& column : extra)
        store.AddTextColumn(table, column);
    QStringList columns = {"Status", "Email", "Last Name", "First Name"};
    columns += extra;
    QStringList quoted, marks;
    for (const QString& c : columns) {
        quoted.append(db::QuoteName(c));
        marks.append("?");
    }
    db::Statement insert(conn, QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                                   .arg(db::QuoteName(table), quoted.join(", "), marks.join(", ")));
    db::Statement lookup(conn, QStringLiteral("SELECT \"_ID\" FROM %1 WHERE \"Email\" = ? LIMIT 1").arg(db::QuoteName(table)));

    // The six properties in the order of the target columns (stored in the order of the rows,
    // the last column first): positions in the standard list.
    settings::TRegIniFile settings(TImportWizardForm::SettingsKeyPath());
    settings.WriteString(TImportWizardForm::SettingsSection, "MSOAssociations", "5\r\n1\r\n0\r\n3\r\n4\r\n2\r\n");
    settings.WriteInteger(TImportWizardForm::SettingsSection, "OutlookAllowDuplicates", 0);

    BenchDialogs dialogs;
    dialogs.file = pst;
    TImportWizardForm form;
    form.SetDialogs(&dialogs);
    form.SetImportTypes(TImportTypes::All());
    form.setDescriptions({"Email", "Last Name", "First Name", "Firma", "Abteilung", "Anrede"});
    qint64 inserted = 0, dropped = 0;
    form.OnRunStart = [&] { conn.BeginTrans(); };
    form.OnRunEnd = [&] { conn.CommitTrans(); };
    form.OnDoRowOutput = [&](const QString&, const QString& value) {
        lookup.Reset();
        lookup.Bind(1, value);
        const bool found = lookup.Step();
        dropped += found;
        return found;
    };
    form.OnRowOutput = [&](QStringList& row) {
        row.prepend("0");
        insert.Reset();
        for (int i = 0; i < row.size(); ++i)
            insert.Bind(i + 1, row[i]);
        insert.Step();
        ++inserted;
    };
    form.show();
    auto* next = form.findChild<QPushButton*>("ButtonNext");
    auto* sources = form.findChild<QListWidget*>("ListBoxSourceType");
    sources->setCurrentRow(1);

    QElapsedTimer sinceTick;
    qint64 longestPause = 0;
    QTimer ticker;
    ticker.setInterval(5);
    QObject::connect(&ticker, &QTimer::timeout, [&] { longestPause = std::max(longestPause, sinceTick.restart()); });
    ticker.start();
    sinceTick.start();
    QElapsedTimer clock;
    clock.start();
    next->click();  // the six steps over the file
    const qint64 prepared = clock.elapsed();
    next->click();  // the mapping
    next->click();  // the overview
    QElapsedTimer runClock;
    runClock.start();
    next->click();  // the run
    const qint64 run = runClock.elapsed();
    const qint64 whole = clock.elapsed();
    longestPause = std::max(longestPause, sinceTick.elapsed());
    ticker.stop();
    if (next->text() != QStringLiteral("Schließen"))
        std::printf("the run did not finish\n");

    QDir(dir.path()).mkpath("readpst");
    const qint64 readpst = RunPeer("readpst", {"-q", "-r", "-o", dir.filePath("readpst"), pst});
    const qint64 pffexport = RunPeer("pffexport", {"-q", "-m", "items", "-t", dir.filePath("pffexport"), pst});
    std::printf("%d contacts: import %lld ms (six steps %lld ms, run %lld ms), %lld inserted, %lld dropped as duplicates, "
                "longest event-loop pause %lld ms\n",
                contacts, whole, prepared, run, inserted, dropped, longestPause);
    std::printf("readpst -r -o DIR: %lld ms; pffexport: %lld ms; import / readpst = %.2f\n", readpst, pffexport,
                readpst > 0 ? double(whole) / double(readpst) : 0.0);
    return 0;
}
