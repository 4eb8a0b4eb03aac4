#include "DatabaseLocation.h"

#include "core/OrvDBUtils.h"
#include "core/OrvUtils.h"
#include "platform/db/Connection.h"
#include "platform/settings/RegIniFile.h"

#include <QCoreApplication>
#include <QtDebug>

namespace core {

namespace {
const QString kSection = QStringLiteral("database");
const QString kValue = QStringLiteral("file");
const QString kSupportAddress = QStringLiteral("support@quillory.de");

bool TryOpen(db::Connection& conn, const QString& path, bool create)
{
    try {
        if (create)
            CreateAccessDatabase(path);
        conn.Open(path, db::OpenMode::Existing);
        return true;
    } catch (const std::exception& e) {
        qInfo().noquote() << QStringLiteral("Database not usable at %1: %2").arg(path, QString::fromUtf8(e.what()));
        return false;
    }
}
} // namespace

QString DatabaseFileName() { return QStringLiteral("qly.db"); }

QString DatabaseOpenFailedText()
{
    return QStringLiteral("Die Quillory Datenbank konnte nicht erstellt oder geöffnet werden. (Please report to: ")
           + kSupportAddress + QLatin1Char(')');
}

bool OpenDatabase(db::Connection& conn, settings::TRegIniFile& settings, const DatabaseSite& site,
                  const DatabaseOpenHandlers& handlers)
{
    QString recorded;
    try {
        recorded = settings.ReadString(kSection, kValue, QString());
    } catch (const std::exception& e) {
        qInfo().noquote() << QStringLiteral("Recorded database path unreadable: %1").arg(QString::fromUtf8(e.what()));
    }
    if (!recorded.isEmpty() && TryOpen(conn, recorded, false))
        return true;
    return CreateDatabase(conn, settings, site, handlers);
}

bool CreateDatabase(db::Connection& conn, settings::TRegIniFile& settings, const DatabaseSite& site,
                    const DatabaseOpenHandlers& handlers)
{
    const QString programFolder =
        site.programFolder.isEmpty() ? QCoreApplication::applicationDirPath() : site.programFolder;
    const QString programPath = IncludeTrailingChar(programFolder, QLatin1Char('/')) + DatabaseFileName();

    QString opened;
    if (TryOpen(conn, programPath, false) || TryOpen(conn, programPath, true)) {
        opened = programPath;
    } else {
        // No data folder (it cannot be created) is a failed attempt, never a path from the root.
        const QString dataFolder = site.appDataFolder.isEmpty() ? GetAppDataFolder(site.title) : site.appDataFolder;
        const QString dataPath = dataFolder + QLatin1Char('/') + DatabaseFileName();
        if (!dataFolder.isEmpty() && TryOpen(conn, dataPath, true))
            opened = dataPath;
    }
    if (opened.isEmpty()) {
        if (handlers.showMessage)
            handlers.showMessage(DatabaseOpenFailedText());
        if (handlers.terminate)
            handlers.terminate();
        return false;
    }
    settings.WriteString(kSection, kValue, opened);
    return true;
}

} // namespace core
