// Benchmark of the dataset layer: a list table of 1,000,000 rows opened through TExtADODataSet,
// then First, Last and the middle row by bookmark. Prints the time of each step and the peak
// resident memory (getrusage). Target: open under 1 s and under 200 MB.
//
// Usage: bench_dataset [rows] [database file]   (default 1000000 rows in a temporary folder)
// The table is built in a child process, so the peak memory is the dataset's alone.
#include "platform/db/ExtADODataSet.h"
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <cstdio>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace db;

namespace {

double PeakRssMb()
{
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    return double(ru.ru_maxrss) / 1024.0; // kilobytes on Linux
}

double CurrentRssMb()
{
    long pages = 0, resident = 0;
    if (FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(f);
    }
    return double(resident) * double(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
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

struct Step {
    QElapsedTimer timer;
    Step() { timer.start(); }
    double ms() const { return double(timer.nsecsElapsed()) / 1e6; }
};

void Report(const char* what, double ms)
{
    std::printf("  %-38s %9.1f ms   rss %7.1f MB   peak %7.1f MB\n", what, ms, CurrentRssMb(), PeakRssMb());
}

int Run(const QString& path, const QString& sql, const QString& filter, bool target)
{
    Connection conn;
    conn.Open(path);
    TExtADODataSet ds(&conn);
    ds.SetCommandText(sql);
    if (!filter.isEmpty()) {
        ds.SetFilter(filter);
        ds.SetFiltered(true);
    }
    std::printf("%s%s%s\n", qPrintable(sql), filter.isEmpty() ? "" : "  filter: ", qPrintable(filter));
    Step open;
    ds.Open();
    const double openMs = open.ms();
    Report("Open", openMs);
    std::printf("  %-38s %d\n", "RecordCount", ds.RecordCount());

    Step first;
    ds.First();
    const QString firstMail = ds.FieldByName("Email")->AsString();
    Report("First (+ read Email)", first.ms());

    Step last;
    ds.Last();
    const QString lastMail = ds.FieldByName("Email")->AsString();
    Report("Last (+ read Email)", last.ms());

    Step middle;
    ds.SetRecNo(ds.RecordCount() / 2);
    const TBookmark bm = ds.GetBookmark();
    const QString midMail = ds.FieldByName("Email")->AsString();
    Report("RecNo := middle, GetBookmark", middle.ms());

    ds.First();
    Step gotoBm;
    ds.GotoBookmark(bm);
    const QString again = ds.FieldByName("Email")->AsString();
    Report("First, then GotoBookmark(middle)", gotoBm.ms());

    Step locate;
    const bool found = ds.Locate("_ID", ds.RecordCount() / 3);
    Report("Locate(_ID, n/3)", locate.ms());

    Step locateText;
    const bool foundText = ds.Locate("Email", QStringLiteral("recipient%1@example.com").arg(ds.RecordCount() / 4 * 3));
    Report("Locate(Email, 3/4 row) (no index)", locateText.ms());

    Step requery;
    ds.Requery();
    Report("Requery", requery.ms());

    std::printf("  first %s, last %s, middle %s (%s), locate %s\n", qPrintable(firstMail), qPrintable(lastMail),
                qPrintable(midMail), again == midMail ? "same row by bookmark" : "BOOKMARK MISMATCH",
                found && foundText ? "found" : "not found");
    if (target) {
        const bool ok = openMs < 1000.0 && PeakRssMb() < 200.0 && again == midMail;
        std::printf("  target (open < 1 s, peak < 200 MB): %s\n", ok ? "met" : "MISSED");
        return ok ? 0 : 1;
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int rows = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 1000000;
    QTemporaryDir tmp;
    const QString path = argc > 2 ? QString::fromLocal8Bit(argv[2]) : tmp.filePath("qly.db");

    if (argc <= 2 || !QFileInfo::exists(path)) {
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
    std::printf("peak before the dataset: %.1f MB\n\n", PeakRssMb());
    int rc = Run(path, QStringLiteral("SELECT * FROM RL1"), QString(), true);
    std::printf("\n");
    Run(path, QStringLiteral("SELECT * FROM RL1"), QStringLiteral("Status = 0"), false);
    std::printf("\n");
    Run(path, QStringLiteral("SELECT * FROM  RL1 ORDER BY `Email`DESC"), QString(), false);
    std::printf("\nfinal peak RSS: %.1f MB\n", PeakRssMb());
    return rc;
}
