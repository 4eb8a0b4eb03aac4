// The recipient list file: what SaveToFile writes, LoadFromFile reads back as the same table.
// Input (FuzzedDataProvider): up to three extra column names, then rows of arbitrary values
// (UTF-8 texts with separators, quotes, line breaks of every kind, blanks and control characters
// at both ends; a status of 0, 1 or 2). Column names the program refuses (AddColumn) stay out.
// Property: the rows of the unsaved list, saved to a file and loaded from it, come back equal
// (the same columns, the same values in the same order; a NULL counts as an empty value), and
// the load shows no message.
// Seeds (tests/fuzz-corpus/listfile/): a list with an extra column and quoted values, one with
// line breaks and blanks at the ends.
#include "platform/db/Connection.h"
#include "recipients/ListPrompts.h"
#include "recipients/RecipientListStore.h"
#include "recipients/Schema.h"

#include <QCoreApplication>
#include <QDir>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <unistd.h>

namespace {

class Prompts : public recipients::IListPrompts {
public:
    QStringList shown;
    recipients::TAnswer Ask(const QString&, recipients::TAskButtons) override { return recipients::TAnswer::Ok; }
    void Message(const QString& text) override { shown << text; }
    void Information(const QString& text) override { shown << text; }
    void Warning(const QString& text) override { shown << text; }
};

QString g_dir;
std::unique_ptr<db::Connection> g_conn;
std::unique_ptr<Prompts> g_prompts;
std::unique_ptr<recipients::TRecipientListStore> g_store;

QString Text(FuzzedDataProvider& in, size_t max)
{
    const std::string s = in.ConsumeRandomLengthString(max);
    return QString::fromUtf8(s.data(), qsizetype(s.size()));
}

// The open list's columns and rows (without _ID), in the list's order.
QList<QVariantList> Table(QStringList& columns)
{
    columns = g_store->GetFieldNames();
    columns.removeAll(QStringLiteral("_ID"));
    QStringList quoted;
    for (const QString& c : columns)
        quoted << db::QuoteName(c);
    QList<QVariantList> rows = g_conn->Select(QStringLiteral("SELECT %1 FROM %2 ORDER BY _ID")
                                                  .arg(quoted.join(QLatin1Char(',')), db::QuoteName(g_store->TableName())));
    for (QVariantList& row : rows)
        for (QVariant& v : row)
            v = v.isNull() ? QString() : v.toString();
    return rows;
}

} // namespace

// The database and the list file are synced on every write; on a scratch folder that only slows
// the runs down (the executable's definitions are the ones the calls reach).
extern "C" int fsync(int) { return 0; }
extern "C" int fdatasync(int) { return 0; }

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    g_dir = QDir::tempPath() + QStringLiteral("/qly-fuzz-listfile-%1").arg(::getpid());
    QDir().mkpath(g_dir);
    std::atexit([] {
        g_store.reset();
        g_conn.reset();
        QDir(g_dir).removeRecursively();
    });
    g_conn = std::make_unique<db::Connection>();
    g_conn->Open(g_dir + QStringLiteral("/qly.db"), db::OpenMode::CreateIfMissing);
    g_conn->Execute(QStringLiteral("PRAGMA synchronous = OFF"));
    recipients::UpgradeSchema(*g_conn, {});
    g_prompts = std::make_unique<Prompts>();
    g_store = std::make_unique<recipients::TRecipientListStore>(*g_conn, g_prompts.get());
    g_store->TEMP = QStringLiteral("temp4711");
    g_store->Instance = 4711;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > 4096)
        return 0;
    FuzzedDataProvider in(data, size);
    g_store->NewUnsavedList();
    const int extras = in.ConsumeIntegralInRange(0, 3);
    for (int i = 0; i < extras; ++i)
        g_store->AddColumn(Text(in, 16)); // a refused name stays out
    const int columns = int(g_store->GetFieldNames().size()) - 1;
    const int rows = in.ConsumeIntegralInRange(0, 8);
    for (int r = 0; r < rows && in.remaining_bytes() > 0; ++r) {
        QStringList values{QString::number(in.ConsumeIntegralInRange(0, 2))};
        for (int c = 1; c < columns; ++c)
            values << Text(in, 24);
        g_store->InsertRow(values);
    }
    QStringList before;
    const QList<QVariantList> table = Table(before);

    const QString file = g_dir + QStringLiteral("/liste.csv");
    g_prompts->shown.clear();
    if (!g_store->SaveToFile(file) || !g_store->LoadFromFile(file) || !g_prompts->shown.isEmpty()) {
        fprintf(stderr, "save or load failed: %s\n", qPrintable(g_prompts->shown.join(QLatin1Char('\n'))));
        __builtin_trap();
    }
    QStringList after;
    const QList<QVariantList> back = Table(after);
    if (after != before || back != table) {
        fprintf(stderr, "columns [%s] came back as [%s]\n", qPrintable(before.join(QLatin1Char('|'))),
                qPrintable(after.join(QLatin1Char('|'))));
        for (qsizetype r = 0; r < std::max(table.size(), back.size()); ++r)
            if (table.value(r) != back.value(r)) {
                QStringList a, b;
                for (const QVariant& v : table.value(r))
                    a << QString::fromLatin1(v.toString().toUtf8().toPercentEncoding());
                for (const QVariant& v : back.value(r))
                    b << QString::fromLatin1(v.toString().toUtf8().toPercentEncoding());
                fprintf(stderr, "row %lld: %s\n     as %s\n", qlonglong(r), qPrintable(a.join(QLatin1Char('|'))),
                        qPrintable(b.join(QLatin1Char('|'))));
            }
        __builtin_trap(); // a saved list does not load back as the same table
    }
    return 0;
}
