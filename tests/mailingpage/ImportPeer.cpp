// The second program of the shared-database test: imports rows into a new stored list of the
// given database file with the list store's bulk insert, the path the import wizard's run takes
// (OnRunStart, OnRowOutput, OnRunEnd). Prints "importing" once the first rows are in and
// "done <rows in the list>" at the end; exit status 0 when every row went in.
//
// Usage: qly_import_peer <database file> <rows>
#include "platform/db/Connection.h"
#include "recipients/RecipientListStore.h"
#include <QCoreApplication>
#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: qly_import_peer <database file> <rows>\n");
        return 2;
    }
    const QString path = QString::fromLocal8Bit(argv[1]);
    const int rows = atoi(argv[2]);
    try {
        db::Connection conn;
        conn.Open(path);
        recipients::TRecipientListStore store(conn);
        store.OpenList(store.CreateListTable(QStringLiteral("Import")));
        int failed = 0;
        store.BeginBulkInsert();
        for (int i = 0; i < rows; ++i) {
            QStringList row{QStringLiteral("import%1@example.com").arg(i), QStringLiteral("Nachname %1").arg(i),
                            QStringLiteral("Vorname %1").arg(i)};
            if (!store.AddImportedRow(row))
                ++failed;
            if (i == 1000) {
                std::printf("importing\n");
                std::fflush(stdout);
            }
        }
        store.EndBulkInsert();
        std::printf("done %lld\n", store.RowCount());
        std::fflush(stdout);
        return failed == 0 ? 0 : 1;
    } catch (const db::EDatabaseError& e) {
        std::fprintf(stderr, "%s\n", qPrintable(e.message()));
        return 1;
    }
}
