#include "TestUtil.h"
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QCoreApplication>
#include <QProcess>
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

int& CasesStarted()
{
    static int started = 0;
    return started;
}

bool RanInFreshProcess()
{
    if (CasesStarted() <= 1)
        return false;
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    const QString name = QString::fromUtf8(info->test_suite_name()) + '.' + QString::fromUtf8(info->name());
    QProcess child;
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QCoreApplication::applicationFilePath(), {"--gtest_filter=" + name});
    const bool ended = child.waitForFinished(280000);
    const QByteArray out = child.readAll();
    EXPECT_TRUE(ended) << name.toStdString() << " did not end in its own process";
    EXPECT_EQ(child.exitStatus(), QProcess::NormalExit) << out.toStdString();
    EXPECT_EQ(child.exitCode(), 0) << name.toStdString() << " failed in its own process:\n" << out.toStdString();
    return true;
}
}
