#pragma once
// A real ODBC data source for tests: Debian's SQLite ODBC driver over a SQLite file made by the
// test, with unixODBC's configuration files in the test's own folder.
#include "../common/TestUtil.h"
#include "platform/db/Connection.h"

#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>

namespace odbctest {

inline const QString kSqliteDriver = QStringLiteral("/usr/lib/x86_64-linux-gnu/odbc/libsqlite3odbc.so");

struct OdbcSource {
    QString database;
    QString dsnConnection;     // "DSN=KundenDSN"
    QString driverConnection;  // "DRIVER=<library>;Database=<file>"

    // Writes the database and the configuration into a folder of the test process and points
    // unixODBC at them (the same files for every test of the process: unixODBC keeps what it read).
    OdbcSource()
    {
        EXPECT_TRUE(QFileInfo::exists(kSqliteDriver)) << "libsqliteodbc is not installed";
        static qlytest::TempDir dir;
        database = dir.file("kunden.db");
        QFile::remove(database);
        db::Connection c;
        c.Open(database, db::OpenMode::CreateIfMissing);
        c.Execute("CREATE TABLE Kunden (Name TEXT, EMail TEXT, Ort TEXT, Betrag REAL, Seit DATE)");
        c.Execute("INSERT INTO Kunden VALUES ('Müller', 'mueller@x.de', 'Köln', 12.5, '2021-12-02')");
        c.Execute("INSERT INTO Kunden VALUES (NULL, NULL, NULL, NULL, NULL)");
        c.Execute("INSERT INTO Kunden VALUES ('Çelik', 'celik@x.de', 'Genève', 3, '1899-12-30')");
        c.Execute("CREATE TABLE \"Alte Kunden\" (Name TEXT, EMail TEXT)");
        c.Execute("INSERT INTO \"Alte Kunden\" VALUES ('Alt', 'alt@x.de')");
        c.Execute("CREATE TABLE MSysHidden (x TEXT)");
        c.Close();

        Write(dir.file("odbcinst.ini"), "[SQLite3 Test]\nDriver=" + kSqliteDriver.toUtf8() + "\n");
        Write(dir.file("odbc.ini"),
              "[KundenDSN]\nDescription=Kunden zum Test\nDriver=" + kSqliteDriver.toUtf8() + "\nDatabase=" + database.toUtf8() + "\n");
        qputenv("ODBCSYSINI", dir.path().toUtf8());
        qputenv("ODBCINI", dir.file("odbc.ini").toUtf8());
        dsnConnection = QStringLiteral("DSN=KundenDSN");
        driverConnection = QStringLiteral("DRIVER=") + kSqliteDriver + QStringLiteral(";Database=") + database;
    }

    static void Write(const QString& path, const QByteArray& bytes)
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
    }
};

} // namespace odbctest
