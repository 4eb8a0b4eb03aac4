// The duplicate dialog on a stored list of 1,000,000 rows with 100,000 duplicates (every tenth
// address repeats the one before it in other letter case): its three steps — refresh (the rows
// of the addresses found more than once), automatic selection (all but the last row of each
// address) and "Löschen" (delete, refresh again, the list grid re-read) — timed together against
// the sqlite3 shell's
//     DELETE FROM <list> WHERE _ID NOT IN (SELECT MAX(_ID) FROM <list> GROUP BY Email)
// on a copy of the same database, in alternating pairs (ours, then the shell). Each round starts
// from a fresh copy of the database; opening the list in the grid is not timed.
//
// Prints each pair, the per-step medians, and the ratio ours/shell as median and worst, with the
// load average before and after.
//
//   bench_duplicates [pairs] [rows]   (Release build, -DQLY_BENCH=ON; needs sqlite3 on the PATH;
//                                      offscreen platform unless QT_QPA_PLATFORM is set)
#include "platform/db/ExtADODataSet.h"
#include "../common/BenchList.h"
#include "recipients/RecipientListStore.h"
#include "recipients/Schema.h"
#include "recipients/views/RecipientsGrid.h"
#include "recipients/views/RemoveDoubles.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <vector>
#include <sys/wait.h>
#include <unistd.h>

namespace {

class Yes : public recipients::IListPrompts {
public:
    recipients::TAnswer Ask(const QString&, recipients::TAskButtons b) override
    {
        return b == recipients::TAskButtons::OkCancel ? recipients::TAnswer::Ok : recipients::TAnswer::Yes;
    }
    void Message(const QString& t) override { std::fprintf(stderr, "message: %s\n", qPrintable(t)); }
    void Information(const QString& t) override { Message(t); }
    void Warning(const QString& t) override { Message(t); }
};

double Seconds(const QElapsedTimer& t) { return double(t.nsecsElapsed()) / 1e9; }

QString LoadAverage()
{
    QFile f(QStringLiteral("/proc/loadavg"));
    if (!f.open(QIODevice::ReadOnly))
        return QStringLiteral("?");
    return QString::fromLatin1(f.readAll()).section(QLatin1Char(' '), 0, 2);
}

bool CopyFresh(const QString& from, const QString& to)
{
    QFile::remove(to);
    return QFile::copy(from, to);
}

struct Ours {
    double refresh = 0, select = 0, remove = 0;
    double Total() const { return refresh + select + remove; }
};

// The dialog's three steps on the list opened in a list grid, as the recipients page does it.
Ours RunDialog(const QString& path, int expectLeft)
{
    Ours r;
    db::Connection conn;
    conn.Open(path);
    Yes prompts;
    recipients::TRecipientListStore store(conn, &prompts);
    store.TEMP = QStringLiteral("temp2");
    store.Instance = 2;
    recipients::TRecipientsGrid grid;
    grid.resize(1000, 700);
    grid.SetStore(&store);
    grid.show();
    store.OpenStoredList(QStringLiteral("Bench"));
    grid.Reopen();
    {
        recipients::TRemoveDoublesForm dialog;
        dialog.SetConnection(&conn);
        dialog.SetTableName(grid.TableName());
        dialog.SetFieldNames(grid.GetFieldNames());
        dialog.SetListName(QStringLiteral("Bench"));
        dialog.SetListGrid(&grid);
        QElapsedTimer t;
        t.start();
        dialog.MyRefresh();
        r.refresh = Seconds(t);
        t.restart();
        dialog.AutoSelect();
        r.select = Seconds(t);
        t.restart();
        dialog.ButtonRemoveClick();
        r.remove = Seconds(t);
    }
    if (grid.RowCount() != expectLeft)
        std::printf("ours: %d rows left, expected %d\n", grid.RowCount(), expectLeft);
    store.CloseList();
    return r;
}

double RunShell(const QString& path, const QString& table, int expectDeleted)
{
    const QString t = db::QuoteName(table);
    QProcess p;
    QElapsedTimer timer;
    timer.start();
    p.start(QStringLiteral("sqlite3"), {QStringLiteral("-batch"), path});
    if (!p.waitForStarted()) {
        std::printf("sqlite3 cannot be started\n");
        std::exit(2);
    }
    p.write(("DELETE FROM " + t + " WHERE _ID NOT IN (SELECT MAX(_ID) FROM " + t + " GROUP BY Email);\nSELECT changes();\n").toUtf8());
    p.closeWriteChannel();
    p.waitForFinished(-1);
    const double secs = Seconds(timer);
    const QByteArray out = p.readAllStandardOutput().trimmed();
    const QByteArray err = p.readAllStandardError();
    if (p.exitCode() != 0 || !err.isEmpty() || out.toInt() != expectDeleted)
        std::printf("sqlite3: exit %d, deleted %s (expected %d) %s\n", p.exitCode(), out.constData(), expectDeleted,
                    err.left(300).constData());
    return secs;
}

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

} // namespace

int main(int argc, char** argv)
{
    const int pairs = argc > 1 ? std::max(1, QString::fromLocal8Bit(argv[1]).toInt()) : 5;
    const int rows = argc > 2 ? QString::fromLocal8Bit(argv[2]).toInt() : 1000000;
    const int duplicates = rows / 10;
    QTemporaryDir tmp;
    const QString source = tmp.filePath("source.db"), work = tmp.filePath("work.db");
    {
        // Built in a child process, so the database's pages are not counted as ours.
        QElapsedTimer t;
        t.start();
        QFile tableName(tmp.filePath("table"));
        const pid_t pid = fork();
        if (pid == 0) {
            const QString table = BuildBenchList(source, rows);
            tableName.open(QIODevice::WriteOnly);
            tableName.write(table.toUtf8());
            tableName.close();
            _exit(0);
        }
        int status = 0;
        waitpid(pid, &status, 0);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            std::fprintf(stderr, "building the list failed\n");
            return 2;
        }
        std::printf("built a list of %d rows, %d duplicates, in %.2f s\n", rows, duplicates, Seconds(t));
    }
    QFile tableFile(tmp.filePath("table"));
    tableFile.open(QIODevice::ReadOnly);
    const QString table = QString::fromUtf8(tableFile.readAll());

    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    std::printf("load average before: %s\n", qPrintable(LoadAverage()));
    std::vector<double> refresh, select, remove, ours, shell, ratio;
    // One round of each, not counted, first: both start from a warm page cache and code.
    for (int round = -1; round < pairs; ++round) {
        if (!CopyFresh(source, work))
            return 2;
        const Ours o = RunDialog(work, rows - duplicates);
        if (!CopyFresh(source, work))
            return 2;
        const double s = RunShell(work, table, duplicates);
        if (round < 0)
            continue;
        refresh.push_back(o.refresh);
        select.push_back(o.select);
        remove.push_back(o.remove);
        ours.push_back(o.Total());
        shell.push_back(s);
        ratio.push_back(o.Total() / s);
        std::printf("pair %d: ours %.3f s (refresh %.3f, selection %.3f, delete %.3f), sqlite3 %.3f s, ratio %.2f\n",
                    round + 1, o.Total(), o.refresh, o.select, o.remove, s, ratio.back());
    }
    QFile::remove(work);
    std::printf("load average after: %s\n", qPrintable(LoadAverage()));
    std::printf("medians: refresh %.3f s, selection %.3f s, delete %.3f s; ours %.3f s, sqlite3 %.3f s\n", Median(refresh),
                Median(select), Median(remove), Median(ours), Median(shell));
    std::printf("ratio ours/sqlite3 over %d pairs: median %.2f, worst %.2f\n", pairs, Median(ratio),
                *std::max_element(ratio.begin(), ratio.end()));
    return 0;
}
