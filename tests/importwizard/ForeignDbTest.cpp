// The foreign-database layer: connection strings, value texts, Access files through mdbtools
// and an ODBC source through unixODBC.
#include "OdbcTestSupport.h"
#include "Printers.h"
#include "core/OrvDBUtils.h"
#include "importwizard/dataaccess/ForeignDb.h"
#include "spreadsheet/XLSBook.h"
#include "tests/spreadsheet/XlsTestUtil.h"
#include "TestUtil.h"

#include <QCoreApplication>
#include <QLocale>
#include <QProcess>

#include <gtest/gtest.h>

using namespace dataaccess;

namespace {


// All records of a table, read through a query on the connection.
QList<QStringList> ReadAll(TForeignQuery& query)
{
    QList<QStringList> rows;
    for (query.First(); !query.Eof(); query.Next())
        rows.append(query.Values());
    return rows;
}

} // namespace

TEST(ConnectionString, PasswordsAreRemovedWhole)
{
    struct Case {
        QString in;
        QString out;
    };
    const Case cases[] = {
        {"DSN=Kunden;UID=otto;PWD=geheim", "DSN=Kunden;UID=otto"},
        {"pwd=geheim;DSN=Kunden;", "DSN=Kunden;"},
        {"Driver={SQL Server};Server=s;Password={a;b}}c};Database=d", "Driver={SQL Server};Server=s;Database=d"},
        {"DSN=Kunden; PassWord = x ;UID=u", "DSN=Kunden;UID=u"},
        {"DSN=Kunden;UID=otto", "DSN=Kunden;UID=otto"},
        {AccessConnectionString("/a;b/k.mdb"), AccessConnectionString("/a;b/k.mdb")},
    };
    for (const Case& c : cases)
        EXPECT_EQ(RemovePasswords(c.in), c.out) << c.in.toStdString();
}

TEST(ConnectionString, AccessStringNamesTheFile)
{
    EXPECT_EQ(AccessConnectionString("/daten/kunden.mdb"),
              "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=/daten/kunden.mdb;Persist Security Info=False");
    EXPECT_EQ(AccessFileOf(AccessConnectionString("/daten/kunden.mdb")), "/daten/kunden.mdb");
    EXPECT_EQ(AccessFileOf("DSN=Kunden"), QString());
    EXPECT_EQ(ConnectionValue("DRIVER={My Driver};Database=x", "driver"), "My Driver");
}

TEST(ConnectionString, QueryTextGivesTheTable)
{
    EXPECT_EQ(TableOfQuery("SELECT * FROM  Customers"), "Customers");
    EXPECT_EQ(TableOfQuery("SELECT * FROM  [Order Details]"), "Order Details");
    EXPECT_EQ(TableOfQuery("SELECT * FROM  [a]]b]"), "a]b");
    EXPECT_EQ(TableOfQuery("SELECT * FROM  \"dbo.Kunden\""), "dbo.Kunden");
    EXPECT_THROW(TableOfQuery("SELECT * FROM  [a]b]"), EForeignDbError);
    EXPECT_THROW(TableOfQuery("DELETE FROM Customers"), EForeignDbError);
}

TEST(ValueText, FixedForms)
{
    struct DateCase {
        double stored;
        QString text;
    };
    const DateCase dates[] = {
        {0, "30.12.1899"},          {44532, "02.12.2021"},     {44532.5, "02.12.2021 12:00:00"},
        {2958465.99999, "31.12.9999 23:59:59"}, {-1.25, "29.12.1899 06:00:00"},
        {-728, "01.01.1898"},       {-463126, "01.01.0632"},   {1.999999999, "01.01.1900"},
    };
    for (const DateCase& c : dates)
        EXPECT_EQ(DateText(c.stored), c.text) << c.stored;

    EXPECT_EQ(CurrencyText(127500), "12.75");
    EXPECT_EQ(CurrencyText(180000), "18");
    EXPECT_EQ(CurrencyText(-5), "-0.0005");
    EXPECT_EQ(CurrencyText(std::numeric_limits<qint64>::min()), "-922337203685477.5808");
    EXPECT_EQ(NumberText(0.1f), "0.1");
    EXPECT_EQ(NumberText(2.5), "2.5");
    EXPECT_EQ(NumberText(100.0), "100");
    EXPECT_EQ(NumberText(-0.000125), "-0.000125");
    EXPECT_EQ(TrimDecimalText("12.500"), "12.5");
    EXPECT_EQ(TrimDecimalText("12.000"), "12");
    EXPECT_EQ(TrimDecimalText("1200"), "1200");
    EXPECT_EQ(BoolText(true), "True");
}

TEST(AccessFile, ListsTablesAndReadsCustomers)
{
    TForeignConnection connection;
    QLY_EXTERNAL_FIXTURE(nwind, "access/nwind.mdb");
    connection.SetConnectionString(AccessConnectionString(nwind));
    connection.Open();
    EXPECT_EQ(connection.ProviderName(), "Microsoft.Jet.OLEDB.4.0");
    EXPECT_EQ(connection.TableNames(), QStringList({"Order Details", "Orders", "Products", "Shippers", "Categories",
                                                     "Customers", "Employees", "Suppliers", "Umsätze"}));

    TForeignQuery query(connection);
    query.SetSQL("SELECT * FROM  Customers");
    query.Open();
    EXPECT_EQ(query.FieldNames().mid(0, 3), QStringList({"CustomerID", "CompanyName", "ContactName"}));
    EXPECT_EQ(query.RecordCount(), 91);
    const QList<QStringList> rows = ReadAll(query);
    ASSERT_EQ(rows.size(), 91);
    EXPECT_EQ(rows[7].mid(0, 3), QStringList({"BOLID", "Bólido Comidas preparadas", "Martín Sommer"}));
    EXPECT_EQ(rows[6][2], "Frédérique Citeaux");
    EXPECT_EQ(rows[0][6], QString());  // a null region

    // Moving back and forth by position.
    EXPECT_TRUE(query.MoveTo(2));
    EXPECT_EQ(query.Values()[0], "ANTON");
    EXPECT_TRUE(query.MoveTo(1));
    EXPECT_EQ(query.Values()[0], "ANATR");
    EXPECT_FALSE(query.MoveTo(91));
    EXPECT_TRUE(query.Eof());

    // Closing the connection closes its queries.
    connection.Close();
    EXPECT_FALSE(query.Active());
    EXPECT_THROW(query.Values(), EForeignDbError);
}

TEST(AccessFile, NumbersMoneyYesNoAndQuotedNames)
{
    TForeignConnection connection;
    QLY_EXTERNAL_FIXTURE(nwind, "access/nwind.mdb");
    connection.SetConnectionString(AccessConnectionString(nwind));
    connection.Open();
    TForeignQuery query(connection);
    const QString sql = "SELECT * FROM  " + core::QuoteIdentifier("Order Details", connection.ConnectionString());
    EXPECT_EQ(sql, "SELECT * FROM  [Order Details]");
    query.SetSQL(sql);
    query.Open();
    EXPECT_EQ(query.RecordCount(), 2155);

    query.SetSQL("SELECT * FROM  Products");
    query.Open();
    // ProductID, ProductName, SupplierID, CategoryID, QuantityPerUnit, UnitPrice, UnitsInStock,
    // UnitsOnOrder, ReorderLevel, Discontinued
    EXPECT_EQ(query.Values(), QStringList({"1", "Chai", "1", "1", "10 boxes x 20 bags", "18", "39", "0", "10", "False"}));
    ASSERT_TRUE(query.MoveTo(4));
    EXPECT_EQ(query.Values()[1], "Chef Anton's Gumbo Mix");
    EXPECT_EQ(query.Values()[5], "21.35");
    EXPECT_EQ(query.Values()[9], "True");

    query.SetSQL("SELECT * FROM  Orders");
    query.Open();
    EXPECT_EQ(query.Values()[3], "16.11.1994");
    EXPECT_EQ(query.Values()[7], "12.75");

    // A name with an umlaut is found by its UTF-8 spelling.
    query.SetSQL("SELECT * FROM  " + core::QuoteIdentifier("Umsätze", connection.ConnectionString()));
    query.Open();
    EXPECT_EQ(query.FieldNames().value(0), "OrderID");
    EXPECT_EQ(query.Values().value(8), "LILA-Supermercado");

    query.SetSQL("SELECT * FROM  [Gibt es nicht]");
    EXPECT_THROW(query.Open(), EForeignDbError);
}

TEST(AccessFile, DatesBeyondTwoDigitYears)
{
    TForeignConnection connection;
    QLY_EXTERNAL_FIXTURE(dates, "access/DateTestDatabase.mdb");
    connection.SetConnectionString(AccessConnectionString(dates));
    connection.Open();
    EXPECT_EQ(connection.TableNames(), QStringList({"DateTest"}));
    TForeignQuery query(connection);
    query.SetSQL("SELECT * FROM  DateTest");
    query.Open();
    EXPECT_EQ(query.FieldNames(),
              QStringList({"IDCol", "DateTimeCol", "DateCol", "TimeCol", "LongTextCol", "ShortTextCol"}));
    const QList<QStringList> rows = ReadAll(query);
    ASSERT_EQ(rows.size(), 6);
    EXPECT_EQ(rows[0].mid(0, 5), QStringList({"1", "02.12.2021", "02.12.2021", "02.12.2021", "Hello"}));
    EXPECT_EQ(rows[1].mid(0, 5), QStringList({"2", "01.01.9999", "01.01.9999", "01.01.9999", "Year 9999"}));
    EXPECT_EQ(rows[2].mid(0, 4), QStringList({"3", "01.01.1898", "01.01.1899", "01.01.1900"}));
    EXPECT_EQ(rows[3].mid(0, 4), QStringList({"4", "01.01.0632", "01.01.0633", "01.01.0634"}));
    EXPECT_EQ(rows[5][4], "New line\r\nin field");
}

TEST(AccessFile, NotAnAccessFile)
{
    qlytest::TempDir dir;
    const QString path = dir.file("kein.mdb");
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(QByteArray(4096, 'x'));
    f.close();
    for (const QString& file : {path, dir.file("fehlt.mdb")}) {
        TForeignConnection connection;
        connection.SetConnectionString(AccessConnectionString(file));
        EXPECT_THROW(connection.Open(), EForeignDbError);
        EXPECT_FALSE(connection.Connected());
    }
}

TEST(OdbcSource, ThroughDsnAndDriver)
{
    odbctest::OdbcSource source;
    for (const QString& connectionString : {source.dsnConnection, source.driverConnection}) {
        SCOPED_TRACE(connectionString.toStdString());
        TForeignConnection connection;
        connection.SetConnectionString(connectionString);
        connection.Open();
        EXPECT_TRUE(connection.ProviderName().contains("sqlite3odbc")) << connection.ProviderName().toStdString();
        QStringList tables = connection.TableNames();
        tables.sort();
        EXPECT_EQ(tables, QStringList({"Alte Kunden", "Kunden"}));

        TForeignQuery query(connection);
        query.SetSQL("SELECT * FROM  Kunden");
        query.Open();
        EXPECT_EQ(query.FieldNames(), QStringList({"Name", "EMail", "Ort", "Betrag", "Seit"}));
        EXPECT_EQ(query.RecordCount(), 3);
        EXPECT_EQ(ReadAll(query), QList<QStringList>({{"Müller", "mueller@x.de", "Köln", "12.5", "02.12.2021"},
                                                      {"", "", "", "", ""},
                                                      {"Çelik", "celik@x.de", "Genève", "3", "30.12.1899"}}));
        // A forward-only cursor goes back by running the statement again.
        ASSERT_TRUE(query.MoveTo(2));
        ASSERT_TRUE(query.MoveTo(0));
        EXPECT_EQ(query.Values()[0], "Müller");

        const QString quoted = core::QuoteIdentifier("Alte Kunden", connectionString);
        EXPECT_EQ(quoted, "\"Alte Kunden\"");
        query.SetSQL("SELECT * FROM  " + quoted);
        query.Open();
        EXPECT_EQ(query.RecordCount(), 1);
        EXPECT_EQ(query.Values(), QStringList({"Alt", "alt@x.de"}));

        query.SetSQL("SELECT * FROM  Fehlt");
        try {
            query.Open();
            ADD_FAILURE() << "a missing table opened";
        } catch (const EForeignDbError& e) {
            EXPECT_TRUE(e.Message().contains("no such table")) << e.Message().toStdString();
        }
    }
}

TEST(OdbcSource, LongTextsArriveWhole)
{
    odbctest::OdbcSource source;
    // Longer than one piece of the driver's text transfer, with characters beyond Latin-1.
    QString memo;
    for (int i = 0; i < 1500; ++i)
        memo += QStringLiteral("ä€%1;").arg(i % 10);
    {
        db::Connection c;
        c.Open(source.database);
        c.Execute("CREATE TABLE Lang (Notiz TEXT)");
        c.Execute("INSERT INTO Lang VALUES (?)", {memo});
    }
    TForeignConnection connection;
    connection.SetConnectionString(source.driverConnection);
    connection.Open();
    TForeignQuery query(connection);
    query.SetSQL("SELECT * FROM  Lang");
    query.Open();
    EXPECT_EQ(query.Values(), QStringList({memo}));
}

TEST(OdbcSource, BadConnectionRaises)
{
    odbctest::OdbcSource source;
    for (const QString& connectionString : {QStringLiteral("DSN=GibtEsNicht"), QStringLiteral("DRIVER=/nirgends/libx.so")}) {
        TForeignConnection connection;
        connection.SetConnectionString(connectionString);
        try {
            connection.Open();
            ADD_FAILURE() << "connected to " << connectionString.toStdString();
        } catch (const EForeignDbError& e) {
            EXPECT_FALSE(e.Message().isEmpty());
        }
        EXPECT_FALSE(connection.Connected());
    }
    const QList<TOdbcDataSource> sources = OdbcDataSources();
    ASSERT_EQ(sources.size(), 1);
    EXPECT_EQ(sources[0].name, "KundenDSN");
    EXPECT_EQ(OdbcDrivers(), QStringList({"SQLite3 Test"}));
}

// Under German settings a number arrives from Access, from ODBC and from a workbook in one form,
// with the decimal comma (the dates already followed the settings). The settings are the
// process's own: the test runs itself again with LANG and LC_ALL German.
TEST(ValueText, NumbersFollowTheUserSettingsLikeWorkbookCells)
{
    if (qEnvironmentVariable("QLY_GERMAN_CHILD") != QLatin1String("1")) {
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QLY_GERMAN_CHILD"), QStringLiteral("1"));
        env.insert(QStringLiteral("LANG"), QStringLiteral("de_DE.UTF-8"));
        env.insert(QStringLiteral("LC_ALL"), QStringLiteral("de_DE.UTF-8"));
        child.setProcessEnvironment(env);
        child.setProcessChannelMode(QProcess::MergedChannels);
        child.start(QCoreApplication::applicationFilePath(),
                    {QStringLiteral("--gtest_filter=ValueText.NumbersFollowTheUserSettingsLikeWorkbookCells")});
        ASSERT_TRUE(child.waitForFinished(120000));
        const QByteArray out = child.readAll();
        EXPECT_EQ(child.exitCode(), 0) << out.toStdString();
        EXPECT_TRUE(out.contains("[  PASSED  ] 1 test")) << out.toStdString();
        return;
    }
    ASSERT_EQ(QLocale::system().decimalPoint(), QStringLiteral(","));
    // A workbook cell of 12.5.
    {
        using namespace xlstest;
        const QByteArray workbook = book8({{"Zahlen", dims8(0, 1, 0, 1) + number(0, 0, 12.5)}});
        qlytest::TempDir dir;
        xls::TXLSBook book;
        book.Filename = writeFile(dir.path(), "zahl.xls", compoundFile({{"Workbook", workbook}}).bytes);
        book.Read();
        EXPECT_EQ(book.Sheets()[0]->CellText(0, 0), "12,5");
    }
    // The same number through ODBC, and the date beside it.
    odbctest::OdbcSource source;
    TForeignConnection odbc;
    odbc.SetConnectionString(source.driverConnection);
    odbc.Open();
    TForeignQuery query(odbc);
    query.SetSQL("SELECT * FROM  Kunden");
    query.Open();
    EXPECT_EQ(query.Values(), QStringList({"Müller", "mueller@x.de", "Köln", "12,5", "02.12.2021"}));
    // Currency and decimals of an Access file.
    const QString nwind = qlytest::externalFixture("access/nwind.mdb");
    if (nwind.isEmpty())
        return;
    TForeignConnection access;
    access.SetConnectionString(AccessConnectionString(nwind));
    access.Open();
    TForeignQuery products(access);
    products.SetSQL("SELECT * FROM  Products");
    products.Open();
    const int name = int(products.FieldNames().indexOf("ProductName"));
    const int price = int(products.FieldNames().indexOf("UnitPrice"));
    QString gumbo;
    for (products.First(); !products.Eof(); products.Next()) {
        if (products.Values().value(name) == QLatin1String("Chef Anton's Gumbo Mix"))
            gumbo = products.Values().value(price);
    }
    EXPECT_EQ(gumbo, "21,35");
}
