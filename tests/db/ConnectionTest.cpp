#include "platform/db/Connection.h"
#include "TestUtil.h"
#include "../app/PermissionChecks.h"
#include <QFile>
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <unistd.h>

using namespace db;

TEST(Connection, OpenExistingNeverCreatesAndProbesTheFile)
{
    qlytest::TempDir dir;
    Connection c;
    EXPECT_THROW(c.Open(dir.file("missing.db")), EDatabaseError);
    EXPECT_FALSE(QFile::exists(dir.file("missing.db")));

    QFile junk(dir.file("junk.db"));
    ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
    junk.write(QByteArray(4096, 'x'));
    junk.close();
    EXPECT_THROW(c.Open(dir.file("junk.db")), EDatabaseError);
    EXPECT_FALSE(c.Connected());

    c.Open(dir.file("new.db"), OpenMode::CreateIfMissing);
    EXPECT_TRUE(c.Connected());
}

TEST(Connection, ReadOnlyFileCountsAsFailedOpen)
{
    qlytest::TempDir dir;
    { Connection c; c.Open(dir.file("ro.db"), OpenMode::CreateIfMissing); c.Execute("CREATE TABLE t (a)"); }
    QFile::setPermissions(dir.file("ro.db"), QFile::ReadOwner);
    qlytest::PermissionChecksApply asAUser; // root would write the file anyway
    Connection c;
    try {
        c.Open(dir.file("ro.db"));
        ADD_FAILURE() << "opened a file that may only be read";
    } catch (const EDatabaseError& e) {
        EXPECT_EQ(e.code(), SQLITE_READONLY) << e.message().toStdString();
    }
    EXPECT_FALSE(c.Connected());
}

TEST(Connection, BusyTimeoutIsTheWaitForAnotherConnectionsLock)
{
    qlytest::TempDir dir;
    Connection holder;
    holder.Open(dir.file("b.db"), OpenMode::CreateIfMissing);
    holder.Execute("CREATE TABLE t (a)");
    holder.Execute("BEGIN EXCLUSIVE");
    Connection c;
    EXPECT_EQ(c.BusyTimeout(), 5000);
    c.SetBusyTimeout(100);
    try {
        c.Open(dir.file("b.db"));
        ADD_FAILURE() << "read through an exclusive lock";
    } catch (const EDatabaseError& e) {
        EXPECT_EQ(e.code(), SQLITE_BUSY) << e.message().toStdString();
    }
    holder.Execute("ROLLBACK");
    c.Open(dir.file("b.db"));
    EXPECT_TRUE(c.Connected());
}

TEST(Connection, BoundValuesRoundTripAndQuotedNames)
{
    qlytest::TempDir dir;
    Connection c;
    c.Open(dir.file("a.db"), OpenMode::CreateIfMissing);
    const QString table = QStringLiteral("we\"ird ta'ble");
    c.Execute(QStringLiteral("CREATE TABLE %1 (%2 INTEGER, %3 TEXT, %4 BLOB, %5 REAL)")
                  .arg(QuoteName(table), QuoteName("n"), QuoteName("Last Name"), QuoteName("b"), QuoteName("r")));
    const QString text = QStringLiteral("O'Brien \"Ļ\" 😀");
    c.Execute(QStringLiteral("INSERT INTO %1 VALUES (?, ?, ?, ?)").arg(QuoteName(table)),
              {42, text, QByteArray("\0\1", 2), 2.5});
    c.Execute(QStringLiteral("INSERT INTO %1 VALUES (?, ?, ?, ?)").arg(QuoteName(table)), {QVariant(), QString(), QVariant(), QVariant()});
    QStringList cols;
    const auto rows = c.Select(QStringLiteral("SELECT * FROM %1 ORDER BY rowid").arg(QuoteName(table)), {}, &cols);
    ASSERT_EQ(rows.size(), 2);
    EXPECT_EQ(cols, QStringList({"n", "Last Name", "b", "r"}));
    EXPECT_EQ(rows[0][0].toLongLong(), 42);
    EXPECT_EQ(rows[0][1].toString(), text);
    EXPECT_EQ(rows[0][2].toByteArray(), QByteArray("\0\1", 2));
    EXPECT_DOUBLE_EQ(rows[0][3].toDouble(), 2.5);
    EXPECT_TRUE(rows[1][0].isNull());
    EXPECT_EQ(c.ColumnNames(table), cols);
    EXPECT_TRUE(c.TableExists(table));
}

TEST(Connection, ErrorsCarrySqliteMessageAndNestedTransactionsRollBack)
{
    qlytest::TempDir dir;
    Connection c;
    c.Open(dir.file("a.db"), OpenMode::CreateIfMissing);
    try {
        c.Execute("SELECT * FROM nosuchtable");
        FAIL();
    } catch (const EDatabaseError& e) {
        EXPECT_TRUE(e.message().contains("no such table"));
    }
    c.Execute("CREATE TABLE t (a)");
    // A misspelled quoted column is an error, never the text "b".
    EXPECT_THROW(c.Select(QStringLiteral("SELECT \"b\" FROM t")), EDatabaseError);
    {
        Transaction outer(c);
        c.Execute("INSERT INTO t VALUES (1)");
        {
            Transaction inner(c);
            c.Execute("INSERT INTO t VALUES (2)");
        } // inner rolled back
        outer.Commit();
    }
    EXPECT_EQ(c.Scalar("SELECT group_concat(a) FROM t").toString(), "1");
    EXPECT_EQ(c.TransactionLevel(), 0);
}

TEST(Connection, StatementLogSeesEveryStatement)
{
    qlytest::TempDir dir;
    Connection c;
    c.Open(dir.file("a.db"), OpenMode::CreateIfMissing);
    QStringList log;
    c.OnStatement = [&](const QString& s) { log << s; };
    c.Execute("CREATE TABLE t (a)");
    c.Select("SELECT a FROM t");
    EXPECT_EQ(log, QStringList({"CREATE TABLE t (a)", "SELECT a FROM t"}));
}
