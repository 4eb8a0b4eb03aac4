// The stored list "Bench" the list benchmarks work on: rows of "kunde<n>@beispiel.de", every
// tenth row repeating the address of the row before it in other letter case.
#pragma once

#include "platform/db/Connection.h"
#include "recipients/RecipientListStore.h"
#include "recipients/Schema.h"

#include <QString>

// Creates the list in a new database at path; returns its table's name.
inline QString BuildBenchList(const QString& path, int rows)
{
    db::Connection c;
    c.Open(path, db::OpenMode::CreateIfMissing);
    recipients::UpgradeSchema(c, {});
    recipients::TRecipientListStore store(c);
    store.TEMP = QStringLiteral("temp1");
    const QString table = store.CreateListTable(QStringLiteral("Bench"));
    db::Transaction t(c);
    c.Execute("INSERT INTO " + db::QuoteName(table) + " (\"Status\", \"Email\", \"Last Name\", \"First Name\") "
              "WITH RECURSIVE n(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM n WHERE x < ?1) "
              "SELECT 0, CASE WHEN x % 10 = 0 THEN 'KUNDE' || (x - 1) || '@BEISPIEL.DE' ELSE 'kunde' || x || '@beispiel.de' END, "
              "'Müller ' || x, 'Jörg' FROM n",
              {rows});
    t.Commit();
    return table;
}
