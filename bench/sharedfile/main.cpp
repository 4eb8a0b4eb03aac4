// Benchmark of two programs on one database file, for the choice of the journal mode. Program B
// (a child process) imports rows into a new stored list through the list store's bulk insert
// (committed in pieces); meanwhile program A, on its own connection with the window's short
// busy wait, reads a row of its list every 5 ms (as the grid does when it paints) and marks a
// row sent every 20 ms (as a mailing does). Each round runs once with write-ahead logging and
// once with the rollback journal, alternating which goes first, on a fresh file each.
//
// Printed per run: B's import time, A's slowest read and slowest write, and how many of A's
// statements failed; at the end the median and worst over the rounds and the ratios WAL/rollback.
//
// Usage: bench_sharedfile [rows] [rounds]   (default 1000000 rows, 5 rounds; the folder is a
// temporary one under $TMPDIR)
#include "platform/db/Connection.h"
#include "recipients/RecipientListStore.h"
#include "recipients/Schema.h"
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <cstdio>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr int WindowBusyMs = 150;  // the main window's busy wait

struct Run {
    double importMs = 0, maxReadMs = 0, maxWriteMs = 0;
    int reads = 0, writes = 0, failed = 0;
};

void Prepare(const QString& path, bool wal)
{
    db::Connection c;
    c.Open(path, db::OpenMode::CreateIfMissing);
    recipients::UpgradeSchema(c, [](const QString&) {});
    c.Execute(QStringLiteral("PRAGMA journal_mode = %1").arg(wal ? "WAL" : "DELETE"));
    recipients::TRecipientListStore store(c);
    const QString table = store.CreateListTable(QStringLiteral("A"));
    db::Transaction t(c);
    for (int i = 0; i < 1000; ++i)
        c.Execute(QStringLiteral("INSERT INTO \"%1\" (\"Email\") VALUES (?)").arg(table), {QStringLiteral("a%1@x.de").arg(i)});
    t.Commit();
}

// Program B: imports the rows; exit status 0 when every row went in.
int Import(const QString& path, int rows)
{
    db::Connection c;
    c.Open(path);
    recipients::TRecipientListStore store(c);
    store.OpenList(store.CreateListTable(QStringLiteral("B")));
    int failed = 0;
    store.BeginBulkInsert();
    for (int i = 0; i < rows; ++i) {
        QStringList row{QStringLiteral("b%1@example.com").arg(i), QStringLiteral("Nachname%1").arg(i),
                        QStringLiteral("Vorname%1").arg(i)};
        if (!store.AddImportedRow(row))
            ++failed;
    }
    store.EndBulkInsert();
    return failed == 0 ? 0 : 1;
}

Run Measure(const QString& path, bool wal, int rows)
{
    Prepare(path, wal);
    Run run;
    QElapsedTimer total;
    total.start();
    const pid_t child = fork();
    if (child == 0)
        _exit(Import(path, rows));
    db::Connection a;
    a.Open(path);
    a.SetBusyTimeout(WindowBusyMs);
    QElapsedTimer lastWrite;
    lastWrite.start();
    int status = 0;
    while (waitpid(child, &status, WNOHANG) == 0) {
        QElapsedTimer t;
        t.start();
        try {
            a.Scalar(QStringLiteral("SELECT \"Email\" FROM \"RL1\" WHERE \"_ID\" = ?"), {QRandomGenerator::global()->bounded(1, 1000)});
        } catch (const db::EDatabaseError&) {
            ++run.failed;
        }
        run.maxReadMs = std::max(run.maxReadMs, double(t.nsecsElapsed()) / 1e6);
        ++run.reads;
        if (lastWrite.elapsed() >= 20) {
            lastWrite.restart();
            t.restart();
            try {
                a.Execute(QStringLiteral("UPDATE \"RL1\" SET \"Status\" = 1 WHERE \"_ID\" = ?"), {run.writes % 1000 + 1});
            } catch (const db::EDatabaseError&) {
                ++run.failed;
            }
            run.maxWriteMs = std::max(run.maxWriteMs, double(t.nsecsElapsed()) / 1e6);
            ++run.writes;
        }
        QThread::msleep(5);
    }
    run.importMs = double(total.nsecsElapsed()) / 1e6;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        std::printf("  import failed (status %d)\n", status);
    return run;
}

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int rows = argc > 1 ? atoi(argv[1]) : 1000000;
    const int rounds = argc > 2 ? atoi(argv[2]) : 5;
    std::vector<double> importRatio, readRatio, writeRatio;
    std::vector<Run> wals, rollbacks;
    for (int r = 0; r < rounds; ++r) {
        Run w, d;
        for (int k = 0; k < 2; ++k) {
            const bool wal = (k == 0) == (r % 2 == 0);
            QTemporaryDir dir;
            const Run run = Measure(dir.filePath(QStringLiteral("qly.db")), wal, rows);
            std::printf("round %d %-8s import %8.0f ms  A read max %7.1f ms  A write max %7.1f ms  (%d reads, %d writes, %d failed)\n",
                        r + 1, wal ? "WAL" : "rollback", run.importMs, run.maxReadMs, run.maxWriteMs, run.reads, run.writes,
                        run.failed);
            std::fflush(stdout);
            (wal ? w : d) = run;
        }
        wals.push_back(w);
        rollbacks.push_back(d);
        importRatio.push_back(w.importMs / d.importMs);
        readRatio.push_back(w.maxReadMs / std::max(d.maxReadMs, 0.001));
        writeRatio.push_back(w.maxWriteMs / std::max(d.maxWriteMs, 0.001));
    }
    auto summary = [](const char* what, std::vector<double> v, bool higherWorse) {
        const double worst = higherWorse ? *std::max_element(v.begin(), v.end()) : *std::min_element(v.begin(), v.end());
        std::printf("%-34s median %6.2f  worst %6.2f\n", what, Median(v), worst);
    };
    auto field = [](const std::vector<Run>& runs, double Run::*f) {
        std::vector<double> v;
        for (const Run& r : runs)
            v.push_back(r.*f);
        return v;
    };
    std::printf("\n");
    summary("WAL import ms", field(wals, &Run::importMs), true);
    summary("rollback import ms", field(rollbacks, &Run::importMs), true);
    summary("WAL A read max ms", field(wals, &Run::maxReadMs), true);
    summary("rollback A read max ms", field(rollbacks, &Run::maxReadMs), true);
    summary("WAL A write max ms", field(wals, &Run::maxWriteMs), true);
    summary("rollback A write max ms", field(rollbacks, &Run::maxWriteMs), true);
    summary("ratio import WAL/rollback", importRatio, true);
    summary("ratio A read max WAL/rollback", readRatio, true);
    summary("ratio A write max WAL/rollback", writeRatio, true);
    return 0;
}
