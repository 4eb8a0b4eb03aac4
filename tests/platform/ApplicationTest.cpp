#include "platform/app/Synchronize.h"
#include "QtPrint.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QMap>
#include <QProcess>
#include <QThread>
#include <QTimer>
#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>

namespace {
// Runs the probe program in a scenario and returns its key=value lines.
QMap<QString, QString> RunProbe(const QString& scenario)
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(QLY_APP_PROBE), {scenario});
    EXPECT_TRUE(p.waitForFinished(20000));
    EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
    QMap<QString, QString> out;
    for (const QString& line : QString::fromUtf8(p.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts)) {
        const qsizetype eq = line.indexOf('=');
        out.insert(line.left(eq), line.mid(eq + 1));
    }
    return out;
}
} // namespace

TEST(Application, ExceptionInASlotReachesTheHandlerOnceAndTheLoopGoesOn)
{
    const auto out = RunProbe("slot");
    EXPECT_EQ(out["handled"], QString::fromUtf8("Fehler im Slot: äö"));
    EXPECT_EQ(out["alive"], "1");
    EXPECT_EQ(out["exec"], "0");
}

TEST(Application, ExceptionWhileTheHandlerIsBusyIsLoggedNotHandledAgain)
{
    const auto out = RunProbe("reentry");
    EXPECT_EQ(out["handled"], "first");
    EXPECT_TRUE(out["log"].contains("second")) << out["log"].toStdString();
    EXPECT_EQ(out["alive"], "1");
}

TEST(Application, DefaultHandlerShowsOneBoxWithTheTitle)
{
    const auto out = RunProbe("box");
    EXPECT_EQ(out["boxTitle"], "Quillory");
    EXPECT_EQ(out["boxText"], "Verbindung fehlgeschlagen");
    EXPECT_EQ(out["boxesSeen"], "2") << "the same single box, seen twice";
    EXPECT_TRUE(out["log"].contains("while open")) << out["log"].toStdString();
    EXPECT_EQ(out["alive"], "1");
}

TEST(Application, ExceptionOfAnotherThreadsLoopIsHandledInTheMainThread)
{
    const auto out = RunProbe("thread");
    EXPECT_EQ(out["handled"], "worker@main");
}

TEST(Application, TerminateBeforeTheLoopEndsItAtOnce)
{
    const auto out = RunProbe("terminate");
    EXPECT_EQ(out["exec"], "0");
    EXPECT_EQ(out["alive"], "0");
    EXPECT_EQ(out["terminated"], "1");
}

TEST(Synchronize, RunsInTheMainThreadAndRaisesInTheCaller)
{
    QThread* mainThread = QThread::currentThread();
    std::atomic<QThread*> ranIn{nullptr};
    std::atomic<bool> sawError{false};
    QString errorText;
    QThread* worker = QThread::create([&] {
        platform::Synchronize([&] { ranIn = QThread::currentThread(); });
        try {
            platform::Synchronize([] { throw std::runtime_error("im Hauptthread"); });
        } catch (const std::runtime_error& e) {
            sawError = true;
            errorText = QString::fromUtf8(e.what());
        }
    });
    QEventLoop loop;
    QObject::connect(worker, &QThread::finished, &loop, &QEventLoop::quit);
    QTimer::singleShot(10000, &loop, &QEventLoop::quit);
    worker->start();
    loop.exec();
    ASSERT_TRUE(worker->wait(1000));
    delete worker;
    EXPECT_EQ(ranIn.load(), mainThread);
    EXPECT_TRUE(sawError);
    EXPECT_EQ(errorText, "im Hauptthread");

    // Called in the main thread itself: runs at once.
    bool direct = false;
    platform::Synchronize([&] { direct = true; });
    EXPECT_TRUE(direct);
}
