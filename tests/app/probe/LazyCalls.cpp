// The calls of the lazy-library probe, in a static library as the program's calls are.
#include <QHostAddress>
#include <QString>
#include <curl/curl.h>
#include <sqlite3.h>
#include <zlib.h>

extern "C" {

const char* ProbeCurlVersion()
{
    return curl_version();
}

// A variadic call: the vector-register count in al must reach the library unchanged.
bool ProbeCurlOption()
{
    CURL* curl = curl_easy_init();
    if (!curl)
        return false;
    const CURLcode rc = curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, 1234L);
    curl_easy_cleanup(curl);
    return rc == CURLE_OK;
}

// Floating-point arguments and results pass in vector registers.
double ProbeSqliteTimes(double value, double factor)
{
    sqlite3* db = nullptr;
    if (sqlite3_open(":memory:", &db) != SQLITE_OK)
        return -1;
    sqlite3_stmt* statement = nullptr;
    double result = -1;
    if (sqlite3_prepare_v2(db, "SELECT ?1 * ?2", -1, &statement, nullptr) == SQLITE_OK) {
        sqlite3_bind_double(statement, 1, value);
        sqlite3_bind_double(statement, 2, factor);
        if (sqlite3_step(statement) == SQLITE_ROW)
            result = sqlite3_column_double(statement, 0);
    }
    sqlite3_finalize(statement);
    sqlite3_close(db);
    return result;
}

// C++ member functions: the object in rdi, a result of class type through a hidden pointer.
bool ProbeQtNetwork()
{
    const QHostAddress address(QStringLiteral("127.0.0.1"));
    return address.isLoopback() && address.toString() == QLatin1String("127.0.0.1");
}

// Stubbed under the name of a library that does not exist.
const char* ProbeAbsent()
{
    return zlibVersion();
}
}
