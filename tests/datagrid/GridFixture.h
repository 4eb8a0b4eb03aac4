#pragma once
// A recipient list table in a temporary database, opened through the dataset layer and shown in a
// data grid on the offscreen platform.
#include "platform/db/ExtADODataSet.h"
#include "recipients/datagrid/XDBGrid.h"
#include "TestUtil.h"
#include <QApplication>
#include <QTest>
#include <memory>

namespace gridtest {

inline void CreateListTable(db::Connection& c, int rows)
{
    c.Execute(QStringLiteral("CREATE TABLE \"RL1\" (\"_ID\" INTEGER PRIMARY KEY AUTOINCREMENT, \"Status\" SMALLINT DEFAULT 0, "
                             "\"Email\" TEXT(255) COLLATE NOCASE, \"Last Name\" TEXT(255) COLLATE NOCASE, "
                             "\"First Name\" TEXT(255) COLLATE NOCASE)"));
    db::Transaction t(c);
    for (int i = 1; i <= rows; ++i)
        c.Execute(QStringLiteral("INSERT INTO \"RL1\" (\"Status\", \"Email\", \"Last Name\", \"First Name\") VALUES (?, ?, ?, ?)"),
                  {0, QStringLiteral("user%1@example.com").arg(i, 3, 10, QLatin1Char('0')), QStringLiteral("Last%1").arg(i),
                   QStringLiteral("First%1").arg(i)});
    t.Commit();
}

struct ListGrid {
    qlytest::TempDir dir;
    db::Connection conn;
    db::TExtADODataSet ds;
    db::TDataSource source;
    std::unique_ptr<xdb::TXDBGrid> grid;

    explicit ListGrid(int rows, const QString& sql = QStringLiteral("SELECT * FROM \"RL1\""), bool open = true)
    {
        conn.Open(dir.file("qly.db"), db::OpenMode::CreateIfMissing);
        CreateListTable(conn, rows);
        ds.SetConnection(&conn);
        ds.SetCommandText(sql);
        source.SetDataSet(&ds);
        grid = std::make_unique<xdb::TXDBGrid>();
        grid->resize(420, 300);
        grid->SetDataSource(&source);
        grid->show();
        if (open)
            ds.Open();
        QApplication::processEvents();
    }
    ~ListGrid()
    {
        grid.reset();
    }

    // Current record's value of a field.
    QString Value(const QString& field) const { return ds.FieldByName(field)->AsString(); }
    int Id() const { return ds.FieldByName(QStringLiteral("_ID"))->AsInteger(); }
    // _IDs of the selected records, in the list's order.
    QList<int> SelectedIds()
    {
        QList<int> ids;
        const auto list = grid->SelectedRows()->List();
        for (const db::TBookmark& b : list) {
            const int active = grid->DataLink()->ActiveRecord();
            (void)active;
            qint64 key;
            std::memcpy(&key, b.constData(), sizeof key);
            ids << int(key);
        }
        return ids;
    }
    // The viewport centre of a data cell.
    QPoint CellCenter(int dataCol, int dataRow) const
    {
        return grid->CellRect(grid->DataColToGridCol(dataCol), dataRow + grid->TitleOffset()).center();
    }
    void Click(int dataCol, int dataRow, Qt::KeyboardModifiers mods = Qt::NoModifier)
    {
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, mods, CellCenter(dataCol, dataRow));
    }
    void Key(int key, Qt::KeyboardModifiers mods = Qt::NoModifier)
    {
        QTest::keyClick(grid.get(), Qt::Key(key), mods);
    }
    QImage Shot() const { return grid->viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32); }
};

} // namespace gridtest
