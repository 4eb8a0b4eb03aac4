#include "TestUtil.h"
#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

namespace qlytest {
TempDir::TempDir()
{
    QTemporaryDir d;
    d.setAutoRemove(false);
    m_path = d.path();
}

TempDir::~TempDir() { QDir(m_path).removeRecursively(); }

QString fixturesDir()
{
    const QString fromEnv = qEnvironmentVariable("QLY_EXTERNAL_FIXTURES");
    return fromEnv.isEmpty() ? QStringLiteral(QLY_FIXTURES_DIR) : fromEnv;
}

QString externalFixture(const QString& relativePath)
{
    const QString path = fixturesDir() + "/" + relativePath;
    return QFileInfo::exists(path) ? path : QString();
}

std::string missingFixtureMessage(const QString& relativePath)
{
    const QString dir = fixturesDir();
    const QString why = QDir(dir).exists() ? QStringLiteral("%1 is not in %2").arg(relativePath, dir)
                                           : QStringLiteral("the external fixtures folder %1 is absent").arg(dir);
    return (why + " (set QLY_EXTERNAL_FIXTURES)").toStdString();
}
}
