// Imports a 200,000-row CSV file (6 columns) through the wizard into an empty list table of a
// real database, once without and once with the duplicate test, and reports the time of each
// run and the longest pause of the event loop during it. Run by hand from a Release build:
//   bench_importwizard [rows] [noindex]
// "noindex" leaves out the index on Email that the duplicate test's look-up uses.
#include "controls/ProgressPanel.h"
#include "importwizard/ImportWizardForm.h"
#include "platform/db/Connection.h"
#include "platform/settings/RegIniFile.h"
#include "recipients/RecipientListStore.h"
#include "recipients/Schema.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>

namespace {

class QuietDialogs : public importwizard::IWizardDialogs {
public:
    void ShowMessage(QWidget*, const QString& text) override { std::printf("message: %s\n", qPrintable(text)); }
    std::optional<QString> InputQuery(QWidget*, const QString&, const QString&, const QString&) override { return {}; }
    QString OpenFileName(QWidget*, const QString&, const QString&, const QString&) override { return {}; }
    bool OpenWithDesktop(const QString&) override { return false; }
    void BeginWaitCursor() override {}
    void EndWaitCursor() override {}
    QString PromptDataSource(QWidget*, const QString& initial) override { return initial; }
};

QString WriteCsv(const QString& path, int rows)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        return {};
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
    return path;
}

struct Result {
    qint64 msecs = 0;
    qint64 longestPause = 0;
    qint64 longestPauseInLoop = 0;  // before the final commit
    qint64 inserted = 0;
    int duplicateTests = 0;
};

Result RunImport(const QString& dbPath, const QString& csvPath, bool duplicateTest, bool index)
{
    db::Connection conn;
    conn.Open(dbPath, db::OpenMode::CreateIfMissing);
    recipients::UpgradeSchema(conn, [](const QString&) {});
    recipients::TRecipientListStore store(conn);
    const QString table = store.CreateListTable(duplicateTest ? "Mit Test" : "Ohne Test");
    const QStringList extra = {"Ort", "Telefon", "Firma"};
    for (const QString& column : extra)
        store.AddTextColumn(table, column);
    // The duplicate test looks addresses up; without an index every look-up reads the table.
    if (index)
        conn.Execute(QStringLiteral("CREATE INDEX %1 ON %2 (\"Email\")").arg(db::QuoteName(table + "_Email"), db::QuoteName(table)));

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

    settings::TRegIniFile settings(TImportWizardForm::SettingsKeyPath());
    const QString section = TImportWizardForm::SettingsSection;
    settings.WriteString(section, "CSVFile", csvPath);
    settings.WriteInteger(section, "CSVSeparator", 0);
    settings.WriteBool(section, "CSVAllowDuplicates", !duplicateTest);
    settings.WriteBool(section, "CSVIgnoreFirstRow", true);
    settings.WriteString(section, "CSVAssociations", "5\r\n4\r\n3\r\n2\r\n1\r\n0\r\n");

    Result result;
    QuietDialogs dialogs;
    TImportWizardForm form;
    form.SetDialogs(&dialogs);
    form.setDescriptions({"Email", "Last Name", "First Name", "Ort", "Telefon", "Firma"});
    form.OnRunStart = [&] { conn.BeginTrans(); };
    QElapsedTimer sinceTick;
    form.OnRunEnd = [&] {
        result.longestPauseInLoop = std::max(result.longestPause, sinceTick.elapsed());
        conn.CommitTrans();
    };
    form.OnDoRowOutput = [&](const QString&, const QString& value) {
        ++result.duplicateTests;
        if (value.trimmed().isEmpty())
            return false;
        lookup.Reset();
        lookup.Bind(1, value);
        return lookup.Step();
    };
    form.OnRowOutput = [&](QStringList& row) {
        row.prepend("0");
        insert.Reset();
        for (int i = 0; i < row.size(); ++i)
            insert.Bind(i + 1, row[i]);
        insert.Step();
        ++result.inserted;
    };

    form.show();
    auto* next = form.findChild<QPushButton*>("ButtonNext");
    next->click();
    next->click();
    next->click();

    QTimer ticker;
    ticker.setInterval(5);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        result.longestPause = std::max(result.longestPause, sinceTick.restart());
    });
    ticker.start();
    sinceTick.start();
    QElapsedTimer clock;
    clock.start();
    next->click();
    result.msecs = clock.elapsed();
    result.longestPause = std::max(result.longestPause, sinceTick.elapsed());
    ticker.stop();
    if (next->text() != QStringLiteral("Schließen"))
        std::printf("the run did not finish\n");
    return result;
}

} // namespace

int main(int argc, char** argv)
{
    QTemporaryDir dir;
    qputenv("XDG_CONFIG_HOME", (dir.path() + "/config").toUtf8());
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int rows = argc > 1 ? std::atoi(argv[1]) : 200000;
    const QString csv = WriteCsv(dir.filePath("bench.csv"), rows);
    const QString dbPath = dir.filePath("qly.db");
    const bool index = !(argc > 2 && qstrcmp(argv[2], "noindex") == 0);

    for (const bool duplicateTest : {false, true}) {
        const Result r = RunImport(dbPath, csv, duplicateTest, index);
        std::printf("%-22s %7d rows: %6lld ms, %7lld inserted, %7d duplicate tests, longest event-loop pause %lld ms (%lld ms before the commit)\n",
                    duplicateTest ? "with duplicate test" : "without duplicate test", rows, r.msecs, r.inserted,
                    r.duplicateTests, r.longestPause, r.longestPauseInLoop);
    }
    return 0;
}
