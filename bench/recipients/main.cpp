// A 1,000,000-row recipient list through the list store: open, set the status of every row (as a
// selection and in bulk), remove the duplicates (10 %) the way the duplicate dialog does, save to
// a list file and load it back. Prints the times and the peak memory.
//
// Saving and loading the list file are measured against the sqlite3 shell in the same run, three
// rounds each: its ".output" of the same rows and its ".import" of the same file into a table
// with the same NOCASE columns and Email index. Loading also reports how far the process's memory
// grew above what it held before the load.
//
//   bench_recipients [rows]     (Release build, -DQLY_BENCH=ON; needs sqlite3 on the PATH)
#include "platform/db/Connection.h"
#include "platform/db/ExtADODataSet.h"
#include "recipients/RecipientListStore.h"
#include "recipients/Schema.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>
#include <sys/resource.h>

namespace {

class QuietPrompts : public recipients::IListPrompts {
public:
    recipients::TAnswer Ask(const QString&, recipients::TAskButtons) override { return recipients::TAnswer::Ok; }
    void Message(const QString& text) override { std::printf("message: %s\n", qPrintable(text)); }
    void Information(const QString& text) override { Message(text); }
    void Warning(const QString& text) override { Message(text); }
};

long PeakMb()
{
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    return ru.ru_maxrss / 1024;
}

// A line of /proc/self/status in kB ("VmRSS", "VmHWM").
long StatusKb(const char* field)
{
    std::ifstream in("/proc/self/status");
    std::string line;
    const std::string key = std::string(field) + ":";
    while (std::getline(in, line))
        if (line.rfind(key, 0) == 0)
            return std::stol(line.substr(key.size()));
    return -1;
}

// Lets VmHWM start again from the current RSS.
void ResetPeak()
{
    std::ofstream("/proc/self/clear_refs") << "5";
}

// Runs the sqlite3 shell on a database with commands on its input; the seconds it took.
double RunSqlite(const QString& db, const QByteArray& commands)
{
    QProcess p;
    QElapsedTimer t;
    t.start();
    p.start("sqlite3", {"-batch", db});
    if (!p.waitForStarted()) {
        std::printf("sqlite3 cannot be started\n");
        std::exit(2);
    }
    p.write(commands);
    p.closeWriteChannel();
    p.waitForFinished(-1);
    const double secs = double(t.nsecsElapsed()) / 1e9;
    const QByteArray err = p.readAllStandardError();
    if (p.exitCode() != 0 || !err.isEmpty())
        std::printf("sqlite3: exit %d %s\n", p.exitCode(), err.left(300).constData());
    return secs;
}

void Ratios(const char* what, std::vector<double> ours, std::vector<double> peer)
{
    std::vector<double> r;
    for (size_t i = 0; i < ours.size(); ++i)
        r.push_back(ours[i] / peer[i]);
    std::sort(r.begin(), r.end());
    std::sort(ours.begin(), ours.end());
    std::sort(peer.begin(), peer.end());
    std::printf("%-24s ours median %.3f s, sqlite3 median %.3f s, ratio median %.2f worst %.2f\n", what,
                ours[ours.size() / 2], peer[peer.size() / 2], r[r.size() / 2], r.back());
}

void Report(const char* what, QElapsedTimer& t)
{
    std::printf("%-44s %8.3f s   peak %4ld MB\n", what, double(t.nsecsElapsed()) / 1e9, PeakMb());
    t.restart();
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int rows = argc > 1 ? std::atoi(argv[1]) : 1000000;
    const int duplicates = rows / 10;
    QTemporaryDir dir;
    db::Connection conn;
    conn.Open(dir.filePath("qly.db"), db::OpenMode::CreateIfMissing);
    recipients::UpgradeSchema(conn, {});
    QuietPrompts prompts;
    recipients::TRecipientListStore store(conn, &prompts);
    store.TEMP = "temp1";
    store.Instance = 1;

    // The list: rows - duplicates distinct addresses, then the duplicates again in other letter case.
    const QString table = store.CreateListTable("Bench");
    store.AddTextColumn(table, "Firma");
    {
        db::Transaction trans(conn);
        db::Statement ins(conn, "INSERT INTO \"" + table + "\" (Email, \"Last Name\", \"First Name\", Firma) VALUES (?,?,?,?)");
        for (int i = 0; i < rows; ++i) {
            const int n = i < rows - duplicates ? i : (i - (rows - duplicates)) * 7 % (rows - duplicates);
            const QString email = (i < rows - duplicates ? QString("user%1@example.com") : QString("USER%1@Example.com")).arg(n);
            ins.Bind({email, QString("Nachname %1").arg(n), QString("Vorname %1").arg(n), QString("Firma %1").arg(n % 1000)});
            ins.Step();
            ins.Reset();
        }
        trans.Commit();
    }
    std::printf("%d rows, %d duplicates\n", rows, duplicates);

    QElapsedTimer t;
    t.start();
    if (!store.OpenStoredList("Bench"))
        return 1;
    Report("open (lock, backup copy, dataset)", t);
    store.Requery();
    Report("requery", t);

    QList<qint64> ids;
    ids.reserve(rows);
    for (qint64 i = 1; i <= rows; ++i)
        ids << i;
    store.SetStatusOfIds(ids, 1);
    Report("status of all rows as a selection", t);
    store.MarkAllSentAsUnsent();
    Report("status of all rows in bulk", t);
    std::printf("rows to send: %d\n", store.RowsToSent());

    {
        const recipients::TDuplicateRows found = recipients::TRecipientListStore::FindDuplicates(conn, store.TableName());
        db::TExtADODataSet dups(&conn);
        dups.SetCommandText(found.statement);
        dups.Open();
        Report("duplicates: find, automatic selection, open", t);
        const QList<qint64> selected = found.autoSelected;
        dups.Close();
        store.DeleteRows(selected);
        Report("duplicates: delete the selected rows", t);
        std::printf("deleted %lld, left %lld\n", qint64(selected.size()), store.RowCount());
    }

    const QString file = dir.filePath("liste.csv");
    const QString listTable = store.TableName();
    std::vector<double> saveOurs, savePeer, loadOurs, loadPeer;
    for (int round = 0; round < 3; ++round) {
        // Save: ours, then the shell's .output of the same rows in the same order.
        store.SaveToFile(file);
        saveOurs.push_back(double(t.nsecsElapsed()) / 1e9);
        Report("save to a list file", t);
        QFile::remove(dir.filePath("peer.csv"));
        savePeer.push_back(RunSqlite(dir.filePath("qly.db"),
                                     ".headers on\n.mode list\n.separator \";\" \"\\r\\n\"\n.output '"
                                         + dir.filePath("peer.csv").toUtf8() + "'\nSELECT Status, Email, \"Last Name\", "
                                         "\"First Name\", Firma FROM \"" + listTable.toUtf8() + "\" ORDER BY _ID;\n"));
        std::printf("file: %lld bytes, sqlite3's: %lld bytes\n", QFileInfo(file).size(),
                    QFileInfo(dir.filePath("peer.csv")).size());

        // Load: ours into the unsaved list, then the shell's .import of the same file into a
        // table of the same columns (one more for the field after the last ";") and index. The
        // previous list is closed first (its table dropped) and timed on its own: the shell has
        // nothing to clear away.
        t.restart();
        store.CloseList();
        Report("close the previous list (drop its table)", t);
        const long before = StatusKb("VmRSS");
        ResetPeak();
        t.restart();
        store.LoadFromFile(file);
        loadOurs.push_back(double(t.nsecsElapsed()) / 1e9);
        std::printf("%-44s %8.3f s   memory growth %ld MB\n", "load the list file", loadOurs.back(),
                    (StatusKb("VmHWM") - before) / 1024);
        std::printf("loaded rows: %lld\n", store.RowCount());
        QFile::remove(dir.filePath("peer.db"));
        loadPeer.push_back(RunSqlite(
            dir.filePath("peer.db"),
            "CREATE TABLE peer (Status SMALLINT DEFAULT 0, Email TEXT(255) COLLATE NOCASE, \"Last Name\" TEXT(255) "
            "COLLATE NOCASE, \"First Name\" TEXT(255) COLLATE NOCASE, Firma TEXT(255) COLLATE NOCASE, Rest TEXT);\n"
            "CREATE INDEX peer_Email ON peer (Email);\n.mode list\n.separator \";\" \"\\n\"\n.import --skip 1 '"
                + file.toUtf8() + "' peer\n"));
        t.restart();
    }
    Ratios("save (sqlite3 .output)", saveOurs, savePeer);
    Ratios("load (sqlite3 .import)", loadOurs, loadPeer);
    store.CloseList();
    return 0;
}
