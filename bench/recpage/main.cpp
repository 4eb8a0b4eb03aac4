// Benchmark of the recipients page's list grid over a stored list of 1,000,000 rows (10% of the
// addresses twice). Times, each with the peak resident memory:
//   select    the name box's select: lock, backup copy of the list, open         (no target)
//   open      the list opened in the grid: snapshot, columns, first paint        (target < 1 s)
//   status    all rows selected, status set to sent                              (target < 5 s)
//   doubles   the duplicate dialog: refresh, automatic selection, "Löschen"      (target < 5 s)
//   save/load the list to a list file and back into the unsaved list             (target < 10 s each)
// Peak target: 400 MB. Usage: bench_recpage [rows]   (default 1000000; offscreen platform)
#include "platform/db/ExtADODataSet.h"
#include "../common/BenchList.h"
#include "recipients/RecipientListStore.h"
#include "recipients/Schema.h"
#include "recipients/views/RecipientsGrid.h"
#include "recipients/views/RemoveDoubles.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <cstdio>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

double PeakRssMb()
{
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    return double(ru.ru_maxrss) / 1024.0;
}

struct Step {
    QElapsedTimer timer;
    Step() { timer.start(); }
    double ms() const { return double(timer.nsecsElapsed()) / 1e6; }
};

bool g_ok = true;

void Report(const char* what, double ms, double targetMs)
{
    const bool over = targetMs > 0 && ms >= targetMs;
    std::printf("  %-48s %9.1f ms   peak %7.1f MB%s\n", what, ms, PeakRssMb(), over ? "   (over target)" : "");
    if (over)
        g_ok = false;
}

// The answers a user would give: yes to everything.
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

void PaintNow(QWidget& w)
{
    if (w.grab().isNull())
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
            BuildBenchList(path, rows);
            _exit(0);
        }
        int status = 0;
        waitpid(pid, &status, 0);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            std::fprintf(stderr, "building the list failed\n");
            return 2;
        }
        std::printf("built a list of %d rows in %.0f ms (child process)\n", rows, build.ms());
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

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
    {
        Step open;
        store.OpenStoredList(QStringLiteral("Bench"));
        PaintNow(grid);
        Report("select in the name box: lock, backup copy, open", open.ms(), 0);
    }
    {
        Step open;
        grid.Reopen();
        PaintNow(grid);
        Report("open in the grid: open, columns, paint", open.ms(), 1000);
    }
    std::printf("  rows %d, columns %d\n", grid.RowCount(), grid.Columns()->Count());
    {
        Step status;
        grid.SelectAll();
        grid.SetStatusOfSelection(1);
        PaintNow(grid);
        Report("status: select all, set sent, paint", status.ms(), 5000);
    }
    {
        recipients::TRemoveDoublesForm dialog;
        dialog.SetConnection(&conn);
        dialog.SetTableName(grid.TableName());
        dialog.SetFieldNames(grid.GetFieldNames());
        dialog.SetListName(QStringLiteral("Bench"));
        dialog.SetListGrid(&grid);
        Step doubles;
        dialog.MyRefresh();
        dialog.AutoSelect();
        const int selected = dialog.AutoSelectedCount();
        dialog.ButtonRemoveClick();
        Report("doubles: refresh, automatic selection, delete", doubles.ms(), 5000);
        std::printf("  %d duplicates removed, %d rows left\n", selected, grid.RowCount());
    }
    const QString file = tmp.filePath("liste.csv");
    {
        Step save;
        grid.SaveToFile(file);
        Report("save to a list file", save.ms(), 10000);
    }
    {
        Step load;
        grid.LoadFromFile(file);
        PaintNow(grid);
        Report("load the list file into the unsaved list", load.ms(), 10000);
    }
    std::printf("  rows after load %d\n", grid.RowCount());
    if (PeakRssMb() >= 400) {
        std::printf("peak memory over 400 MB\n");
        g_ok = false;
    }
    std::printf(g_ok ? "all steps within their targets\n" : "some steps over their targets\n");
    store.CloseList();
    return g_ok ? 0 : 1;
}
