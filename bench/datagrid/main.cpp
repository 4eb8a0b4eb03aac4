// Benchmark of the data grid: a TXDBGrid bound to a list table of 1,000,000 rows through
// TExtADODataSet. After the dataset is open it times: binding the grid and painting the first
// screen, Last and painting, First and painting, a range selection from the first record to the
// last (Shift+Ctrl+End) against SelectAll as its peer, SelectAll and painting. Prints each step with the
// peak resident memory. Target: each step under 200 ms, peak under 300 MB.
//
// Usage: bench_datagrid [rows]   (default 1000000; runs on Qt's offscreen platform)
// The table is built in a child process before the GUI starts, so the peak memory is the grid's
// and the dataset's alone.
#include "platform/db/ExtADODataSet.h"
#include "recipients/datagrid/XDBGrid.h"
#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <cstdio>
#include <sys/resource.h>
#include <time.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace db;

namespace {

double PeakRssMb()
{
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    return double(ru.ru_maxrss) / 1024.0;
}

void BuildTable(const QString& path, int rows)
{
    Connection c;
    c.Open(path, OpenMode::CreateIfMissing);
    c.Execute("PRAGMA journal_mode = WAL");
    c.Execute("CREATE TABLE \"RL1\" (\"_ID\" INTEGER PRIMARY KEY AUTOINCREMENT, \"Status\" SMALLINT DEFAULT 0, "
              "\"Email\" TEXT(255) COLLATE NOCASE, \"Last Name\" TEXT(255) COLLATE NOCASE, "
              "\"First Name\" TEXT(255) COLLATE NOCASE, \"Company\" TEXT(255) COLLATE NOCASE)");
    Transaction t(c);
    c.Execute("INSERT INTO \"RL1\" (\"Status\", \"Email\", \"Last Name\", \"First Name\", \"Company\") "
              "WITH RECURSIVE n(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM n WHERE x < ?1) "
              "SELECT x % 3, 'recipient' || x || '@example.com', 'Lastname' || x, 'Firstname' || x, "
              "'Company ' || (x % 977) FROM n",
              {rows});
    t.Commit();
    c.Execute("PRAGMA journal_mode = DELETE");
}

double ThreadCpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

// Wall time of a step, and the processor time this thread spent in it: on a loaded machine the
// difference is time spent waiting for a processor.
struct Step {
    QElapsedTimer timer;
    double cpu0 = ThreadCpuMs();
    Step() { timer.start(); }
    double ms() const { return double(timer.nsecsElapsed()) / 1e6; }
    double cpuMs() const { return ThreadCpuMs() - cpu0; }
};

bool g_ok = true;

void Report(const char* what, double ms, bool timed = true)
{
    std::printf("  %-42s %9.1f ms   peak %7.1f MB%s\n", what, ms, PeakRssMb(),
                timed && ms >= 200.0 ? "   (over 200 ms)" : "");
    if (timed && ms >= 200.0)
        g_ok = false;
}

// Paints the visible grid at once into a picture, as the window system would on screen.
void PaintNow(xdb::TXDBGrid& grid)
{
    const QPixmap shot = grid.viewport()->grab();
    if (shot.isNull())
        std::fprintf(stderr, "nothing painted\n");
}

} // namespace

int main(int argc, char** argv)
{
    const int rows = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 1000000;
    QTemporaryDir tmp;
    const QString path = tmp.filePath("qly.db");
    {
        Step build;
        const pid_t pid = fork();
        if (pid == 0) {
            BuildTable(path, rows);
            _exit(0);
        }
        int status = 0;
        waitpid(pid, &status, 0);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            std::fprintf(stderr, "building the table failed\n");
            return 2;
        }
        std::printf("built %d rows in %.0f ms (child process)\n", rows, build.ms());
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    std::printf("peak before the dataset: %.1f MB\n", PeakRssMb());

    Connection conn;
    conn.Open(path);
    TExtADODataSet ds(&conn);
    ds.SetCommandText(QStringLiteral("SELECT * FROM \"RL1\""));
    TDataSource source(&ds);
    Step open;
    ds.Open();
    Report("dataset Open (not part of the target)", open.ms(), false);

    xdb::TXDBGrid grid;
    grid.resize(1000, 700);
    grid.SetOptions(grid.Options() | xdb::dgMultiSelect);
    auto status = xdb::CreateStatusImageList();
    {
        Step bind;
        grid.SetDataSource(&source);
        grid.show();
        if (xdb::TXColumn* c = grid.FindColumn(QStringLiteral("Status")))
            c->SetImages(status.get());
        PaintNow(grid);
        Report("bind grid, show, paint first screen", bind.ms());
    }
    std::printf("  visible rows %d, grid rows %d, record count %d\n", grid.VisibleRowCount(), grid.RowCount(),
                grid.RecordCount());
    {
        Step last;
        ds.Last();
        PaintNow(grid);
        Report("Last + paint", last.ms());
    }
    {
        Step first;
        ds.First();
        PaintNow(grid);
        Report("First + paint", first.ms());
    }
    double selectAllMs = 0;
    {
        // Shift+Ctrl+End from the first record: the range from the anchor to the last record.
        grid.SelectedRows()->Clear();
        ds.First();
        grid.SetSelectionAnchor(ds.GetBookmark());
        Step range;
        ds.Last();
        grid.SelectRange();
        const double ms = range.ms();
        const double cpu = range.cpuMs();
        Report("range selection from the first record to the end", ms);
        std::printf("  range selection: %.1f ms processor time of the thread\n", cpu);
        std::printf("  selected %d records\n", grid.SelectedRows()->Count());
        grid.SelectedRows()->Clear();
        ds.First();
        Step all;
        grid.SelectAll();
        selectAllMs = all.ms();
        std::printf("  peer: SelectAll from the first record %.1f ms; range / SelectAll = %.2f\n", selectAllMs,
                    selectAllMs > 0 ? ms / selectAllMs : 0.0);
        grid.SelectedRows()->Clear();
    }
    ds.SetRecNo(rows / 2);
    {
        Step all;
        grid.SelectAll();
        Report("SelectAll (from the middle)", all.ms());
        Step paint;
        PaintNow(grid);
        Report("paint after SelectAll (checks the selection)", paint.ms());
    }
    std::printf("  selected %d records, current record %d\n", grid.SelectedRows()->Count(), ds.RecNo());
    {
        Step last;
        ds.Last();
        PaintNow(grid);
        Report("Last + paint with everything selected", last.ms());
    }
    const bool memoryOk = PeakRssMb() < 300.0;
    std::printf("final peak RSS: %.1f MB\n", PeakRssMb());
    std::printf("target (each step < 200 ms, peak < 300 MB): %s\n", g_ok && memoryOk ? "met" : "MISSED");
    return g_ok && memoryOk ? 0 : 1;
}
