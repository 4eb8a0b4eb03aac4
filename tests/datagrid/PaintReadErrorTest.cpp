// A read that fails while the grid paints (another program holds the database) never leaves the
// paint: the cells show empty, and one German report follows the paint, with a retry.
#include "platform/db/ExtADODataSet.h"
#include "recipients/datagrid/XDBGrid.h"
#include "TestUtil.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

TEST(PaintReadError, ALockedDatabaseShowsEmptyCellsAndOneReportAfterThePaint)
{
    qlytest::TempDir dir;
    const QString path = dir.file("qly.db");
    db::Connection conn;
    conn.Open(path, db::OpenMode::CreateIfMissing);
    conn.Execute("CREATE TABLE RL1 (_ID INTEGER PRIMARY KEY AUTOINCREMENT, Email TEXT)");
    conn.Execute("WITH RECURSIVE n(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM n WHERE x < 5000) "
                 "INSERT INTO RL1 (Email) SELECT 'u' || x || '@x.de' FROM n");
    conn.SetBusyTimeout(20);
    db::TExtADODataSet ds(&conn);
    ds.SetCommandText("SELECT * FROM RL1");
    ds.Open();
    db::TDataSource source(&ds);
    xdb::TXDBGrid grid;
    grid.resize(500, 300);
    grid.SetDataSource(&source);
    grid.show();
    QApplication::processEvents();

    // Another program takes the database for itself; the grid is moved to rows it has not read.
    db::Connection other;
    other.Open(path);
    other.Execute("BEGIN EXCLUSIVE");
    other.Execute("UPDATE RL1 SET Email = Email WHERE _ID = 1");
    try {
        ds.SetRecNo(4000);
    } catch (const db::EDatabaseError&) {
        // the move itself may fail to read: that is the command's error, not the paint's
    }
    QStringList reports;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            reports << box->objectName() + ": " + box->text();
            QTest::mouseClick(box->button(QMessageBox::Cancel), Qt::LeftButton);
        }
    });
    poll.start(10);
    EXPECT_NO_THROW(grid.viewport()->grab());
    EXPECT_NO_THROW(grid.viewport()->grab());
    QTest::qWait(300);
    ASSERT_EQ(reports.size(), 1) << reports.join('|').toStdString();
    EXPECT_TRUE(reports[0].startsWith("PaintReadError: Die Datenbank ist zurzeit von einem anderen Programm belegt."))
        << reports[0].toStdString();

    // The other program is done: the next paint reads the rows.
    other.Execute("COMMIT");
    EXPECT_NO_THROW(grid.viewport()->grab());
    QTest::qWait(100);
    EXPECT_EQ(reports.size(), 1);
    EXPECT_TRUE(ds.FieldByName("Email")->AsString().startsWith("u"));
}
