// A 1,000,000-row recipient list through the list store: open, set the status of every row (as a
// selection and in bulk), remove the duplicates (10 %) the way the duplicate dialog does, save to
// a list file and load it back. Prints the times and the peak memory.
//
//   bench_recipients [rows]     (Release build, -DQLY_BENCH=ON)
#include "platform/db/Connection.h"
#include "platform/db/ExtADODataSet.h"
#include "recipients/RecipientListStore.h"
#include "recipients/Schema.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>
#include <cstdio>
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
        db::TExtADODataSet dups(&conn);
        dups.SetCommandText(recipients::TRecipientListStore::DuplicatesStatement(store.TableName()));
        dups.Open();
        Report("duplicates: open the dialog's rows", t);
        const QList<qint64> selected = recipients::TRecipientListStore::AutoSelectDuplicates(dups);
        Report("duplicates: automatic selection", t);
        dups.Close();
        store.DeleteRows(selected);
        Report("duplicates: delete the selected rows", t);
        std::printf("deleted %lld, left %lld\n", qint64(selected.size()), store.RowCount());
    }

    const QString file = dir.filePath("liste.csv");
    store.SaveToFile(file);
    Report("save to a list file", t);
    std::printf("file: %lld bytes\n", QFileInfo(file).size());
    store.LoadFromFile(file);
    Report("load the list file", t);
    std::printf("loaded rows: %lld\n", store.RowCount());
    store.CloseList();
    return 0;
}
