#pragma once
// The local database's schema and its upgrade to the current version.
#include <QString>
#include <functional>

namespace db { class Connection; }

namespace recipients {

// The schema version this program writes.
constexpr int CurrentSchemaVersion = 31;

// Brings the open database to the current schema version and returns the version afterwards
// (below CurrentSchemaVersion when an old list table had to be left behind; the next start then
// tries again). Statements that are not guarded raise db::EDatabaseError. showMessage shows the one
// notice that names old list tables that could not be taken over.
int UpgradeSchema(db::Connection& conn, const std::function<void(const QString&)>& showMessage);

} // namespace recipients
