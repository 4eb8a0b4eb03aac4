// A forward-only dataset cannot feed a grid, neither when bound nor when it becomes active.
#include "GridFixture.h"
#include <gtest/gtest.h>

namespace {
class ForwardOnlyDataSet : public db::TExtADODataSet {
public:
    bool IsUniDirectional() const override { return true; }
};
}

TEST(GridDataSource, UnidirectionalDatasetIsRefused)
{
    qlytest::TempDir dir;
    db::Connection conn;
    conn.Open(dir.file("qly.db"), db::OpenMode::CreateIfMissing);
    gridtest::CreateListTable(conn, 3);
    ForwardOnlyDataSet ds;
    ds.SetConnection(&conn);
    ds.SetCommandText(QStringLiteral("SELECT * FROM \"RL1\""));
    db::TDataSource source;
    source.SetDataSet(&ds);
    xdb::TXDBGrid grid;
    try {
        grid.SetDataSource(&source);
        FAIL() << "a unidirectional dataset was accepted";
    } catch (const db::EDatabaseError& e) {
        EXPECT_EQ(e.message(), QStringLiteral("Operation not allowed on a unidirectional dataset"));
    }
    EXPECT_EQ(grid.DataSource(), nullptr);
}
