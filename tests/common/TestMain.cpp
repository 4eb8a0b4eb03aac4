// Test entry: a QApplication on the offscreen platform, and for every test case fresh private
// home, XDG and temporary folders, so no case reads the real user's settings or data, and no case
// sees what an earlier case of the same process left behind (a whole executable run as one process
// behaves like the same cases run one by one).
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include "TestUtil.h"
#include <gtest/gtest.h>
#include <memory>
#include <vector>
#include <unistd.h>

namespace {

// The folders one case runs in. The process's own temporary folder stays the parent of every
// case's folder, so a case's folder is made where the real /tmp (or the caller's TMPDIR) is.
class PrivateFolders {
public:
    explicit PrivateFolders(const QString& parent)
        : m_dir(parent + "/qly-case-XXXXXX")
    {
        const QString root = m_dir.path();
        for (const char* sub : {"home", "config", "data", "cache", "state", "runtime", "tmp"})
            QDir().mkpath(root + "/" + sub);
        QFile::setPermissions(root + "/runtime", QFileDevice::ReadOwner | QFileDevice::WriteOwner
                                                     | QFileDevice::ExeOwner);
        qputenv("HOME", (root + "/home").toUtf8());
        qputenv("XDG_CONFIG_HOME", (root + "/config").toUtf8());
        qputenv("XDG_DATA_HOME", (root + "/data").toUtf8());
        qputenv("XDG_CACHE_HOME", (root + "/cache").toUtf8());
        qputenv("XDG_STATE_HOME", (root + "/state").toUtf8());
        qputenv("XDG_RUNTIME_DIR", (root + "/runtime").toUtf8());
        qputenv("TMPDIR", (root + "/tmp").toUtf8());
    }

private:
    QTemporaryDir m_dir;
};

class FreshFoldersPerCase : public ::testing::EmptyTestEventListener {
public:
    explicit FreshFoldersPerCase(QString parent) : m_parent(std::move(parent)) {}
    void OnTestStart(const ::testing::TestInfo&) override
    {
        m_folders.push_back(std::make_unique<PrivateFolders>(m_parent));
        ++qlytest::CasesStarted();
    }
    // A case's folders stay until the program ends: what a suite sets up once (a static folder,
    // a file made for every case of a suite) and what a case leaves to the event loop still find
    // them. No later case looks there: each one's variables name its own.
    void OnTestProgramEnd(const ::testing::UnitTest&) override { m_folders.clear(); }

private:
    QString m_parent;
    std::vector<std::unique_ptr<PrivateFolders>> m_folders;
};

}

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // Folders for what runs before the first case (the application object, test environments).
    const QString parent = QDir::tempPath();
    auto startFolders = std::make_unique<PrivateFolders>(parent);
    // Web views: a shared GL context before the application exists; no engine sandbox as root.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    if (::geteuid() == 0 && qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX"))
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", QByteArray("1"));
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::UnitTest::GetInstance()->listeners().Append(new FreshFoldersPerCase(parent));
    const int rc = RUN_ALL_TESTS();
    startFolders.reset();
    return rc;
}
