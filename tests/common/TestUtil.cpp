#include "TestUtil.h"
#include <QDir>
#include <QFile>
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

QByteArray readFileBytes(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

void writeFileBytes(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    ASSERT_EQ(f.write(bytes), bytes.size()) << path.toStdString();
}

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
