#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStringList>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

namespace {

struct ChildRun {
    QString file;
    int exitCode = -1;
    bool crashed = false;
    QStringList lines;
    QString stderrText;
};

// Runs the child program for one case; the lines are what its listener and outputs wrote.
ChildRun RunChild(const QString& program, const QString& which, const QString& folder = QString())
{
    static QTemporaryDir dir;
    const QString file = dir.filePath(which + ".txt");
    QFile::remove(file);
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QLY_SIVREL_AUTOANSWER", "1");
    p.setProcessEnvironment(env);
    if (!folder.isEmpty())
        p.setWorkingDirectory(folder);
    p.start(program, {which, file});
    p.waitForFinished(60000);
    ChildRun run;
    run.file = file;
    run.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    run.crashed = p.exitStatus() == QProcess::CrashExit;
    run.stderrText = QString::fromUtf8(p.readAllStandardError());
    QFile f(file);
    if (f.open(QIODevice::ReadOnly))
        run.lines = QString::fromUtf8(f.readAll()).split('\n', Qt::SkipEmptyParts);
    return run;
}

QString LineValue(const QStringList& lines, const QString& key)
{
    for (const QString& l : lines)
        if (l.startsWith(key + ' '))
            return l.mid(key.size() + 1);
    return QString();
}

} // namespace

TEST(ReporterChild, ASlotThatThrowsIsReportedAndTheProgramGoesOn)
{
    const ChildRun run = RunChild(QLY_CHILD, "slot");
    const QString all = run.lines.join('\n');
    EXPECT_EQ(run.exitCode, 0) << run.stderrText.toStdString();
    EXPECT_EQ(LineValue(run.lines, "active"), "1");
    EXPECT_EQ(LineValue(run.lines, "class"), "std::runtime_error");
    EXPECT_EQ(LineValue(run.lines, "message"), "Exception Log Check");
    EXPECT_EQ(LineValue(run.lines, "thread"), "main");
    EXPECT_EQ(LineValue(run.lines, "first"),
              QStringLiteral("ThrowingSlot ReporterChild.cpp %1").arg(LineValue(run.lines, "line")));
    EXPECT_TRUE(run.lines.contains("dialog")) << all.toStdString();
    EXPECT_TRUE(run.lines.contains("log")) << all.toStdString();
    EXPECT_FALSE(all.contains("plain")) << "the application's own box would have shown: " << all.toStdString();
    EXPECT_TRUE(run.lines.contains("after")) << all.toStdString();
}

TEST(ReporterChild, WithoutTheBlockTheProgramHandlesItsExceptionsItself)
{
    const ChildRun run = RunChild(QStringLiteral(QLY_CHILD) + ".noblock", "slot");
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(LineValue(run.lines, "active"), "0");
    EXPECT_EQ(LineValue(run.lines, "assertion"),
              "Cannot use 'CurrentSivrelLogOptions' function without SivrelLog activate.");
    EXPECT_EQ(LineValue(run.lines, "plain"), "Exception Log Check");
    EXPECT_EQ(LineValue(run.lines, "class"), "");
}

TEST(ReporterChild, AbortsAndCustomMessagesGiveNoReport)
{
    const ChildRun aborted = RunChild(QLY_CHILD, "abort");
    EXPECT_EQ(aborted.exitCode, 0);
    EXPECT_EQ(LineValue(aborted.lines, "class"), "") << "no report";
    EXPECT_TRUE(aborted.lines.contains("plain std::exception")) << aborted.lines.join('\n').toStdString();

    const ChildRun custom = RunChild(QLY_CHILD, "custom");
    EXPECT_EQ(custom.exitCode, 0);
    EXPECT_TRUE(custom.lines.contains("custom Information.|Bitte erneut versuchen.")) << custom.lines.join('\n').toStdString();
    EXPECT_TRUE(custom.stderrText.contains("[box] Information.|Bitte erneut versuchen.\n")) << custom.stderrText.toStdString();
    EXPECT_FALSE(custom.lines.contains("dialog"));
    EXPECT_EQ(LineValue(custom.lines, "plain"), "");
}

TEST(ReporterChild, AnExceptionEscapingMainIsReportedOnceAndEndsWithCode1)
{
    const ChildRun run = RunChild(QLY_CHILD, "escape");
    EXPECT_EQ(run.exitCode, 1) << run.stderrText.toStdString();
    EXPECT_EQ(run.lines.count("dialog"), 1) << run.lines.join('\n').toStdString();
    EXPECT_EQ(LineValue(run.lines, "message"), "escaped main");
    EXPECT_TRUE(LineValue(run.lines, "first").startsWith("main ReporterChild.cpp")) << run.lines.join('\n').toStdString();
}

TEST(ReporterChild, RestartStartsTheProgramAgainInItsStartFolder)
{
    QTemporaryDir folder;
    const ChildRun run = RunChild(QLY_CHILD, "restart", folder.path());
    EXPECT_EQ(run.exitCode, 1) << run.stderrText.toStdString();
    EXPECT_TRUE(run.lines.contains("dialog"));
    // The new instance runs on its own; wait for its line.
    QString restarted;
    for (int i = 0; i < 200 && restarted.isEmpty(); ++i) {
        QThread::msleep(50);
        QFile f(run.file);
        if (f.open(QIODevice::ReadOnly))
            restarted = LineValue(QString::fromUtf8(f.readAll()).split('\n'), "restarted");
    }
    EXPECT_EQ(restarted, "restart " + run.file + " in " + QDir(folder.path()).canonicalPath());
}

TEST(ReporterChild, CrashesInTheMainThreadAreReportedAndTheSignalEndsTheProgram)
{
    const struct {
        const char* which;
        const char* cls;
        const char* message;  // start of it
        const char* routine;  // the first entry's, or one of the stack's
        bool lineOfFirst;
    } cases[] = {
        {"segv", "excreport::EAccessViolation", "Access violation at address ", "NullSlot", true},
        {"overflow", "excreport::EStackOverflow", "Stack overflow.", "Recurse", false},
        {"sigabrt", "excreport::EProcessAbort", "Abnormal program termination.", "AbortSlot", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.which);
        const ChildRun run = RunChild(QLY_CHILD, c.which);
        const std::string all = run.lines.join('\n').toStdString();
        EXPECT_TRUE(run.crashed) << all << run.stderrText.toStdString();
        EXPECT_EQ(LineValue(run.lines, "class"), c.cls) << all;
        EXPECT_TRUE(LineValue(run.lines, "message").startsWith(c.message)) << all;
        EXPECT_EQ(LineValue(run.lines, "thread"), "main") << all;
        EXPECT_TRUE(run.lines.contains("dialog")) << all;
        EXPECT_FALSE(run.lines.contains("survived")) << all;
        if (c.lineOfFirst) {
            EXPECT_EQ(LineValue(run.lines, "first"),
                      QStringLiteral("%1 ReporterChild.cpp %2").arg(c.routine, LineValue(run.lines, "line")))
                << all;
        } else {
            EXPECT_TRUE(LineValue(run.lines, "stack").split(' ').contains(c.routine)) << all;
        }
    }
}

TEST(ReporterChild, WorkerThreadsShowTheirFramesThenTheirStarter)
{
    const struct {
        const char* which;
        const char* cls;
        const char* routine;
        bool crashes;
    } cases[] = {
        {"thread-segv", "excreport::EAccessViolation", "WorkerFault", true},
        {"qthread-segv", "excreport::EAccessViolation", "WorkerFault", true},
        {"thread-throw", "std::runtime_error", "WorkerThrow", false},
        {"qthread-throw", "std::runtime_error", "WorkerThrow", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.which);
        const ChildRun run = RunChild(QLY_CHILD, c.which);
        const std::string all = run.lines.join('\n').toStdString();
        EXPECT_EQ(run.crashed, c.crashes) << all << run.stderrText.toStdString();
        EXPECT_EQ(LineValue(run.lines, "class"), c.cls) << all;
        EXPECT_EQ(LineValue(run.lines, "thread"), "other") << all;
        EXPECT_EQ(run.lines.count("dialog"), 1) << all;
        const QStringList stack = LineValue(run.lines, "stack").split(' ');
        const qsizetype worker = stack.indexOf(c.routine), starter = stack.indexOf("StartWorker");
        EXPECT_GE(worker, 0) << all;
        EXPECT_GT(starter, worker) << "the starter's frames follow the worker's: " << all;
        if (!c.crashes) {
            EXPECT_EQ(run.exitCode, 0) << all;
            EXPECT_TRUE(run.lines.contains("survived")) << all;
        }
        if (QString(c.which) == "qthread-throw") {
            EXPECT_TRUE(run.lines.contains("finished")) << all;
        }
    }
}

TEST(ReporterChild, AFrozenWindowIsReportedWhileTheWatchRuns)
{
    const ChildRun frozen = RunChild(QLY_CHILD, "freeze");
    const std::string all = frozen.lines.join('\n').toStdString();
    EXPECT_EQ(frozen.exitCode, 0) << all << frozen.stderrText.toStdString();
    const qsizetype reports = frozen.lines.count("dialog");
    EXPECT_GE(reports, 1) << all;
    EXPECT_LE(reports, 3) << all;
    EXPECT_EQ(LineValue(frozen.lines, "class"), "excreport::EFrozenApplication") << all;
    EXPECT_EQ(LineValue(frozen.lines, "message"), "The application seems to be frozen.") << all;
    EXPECT_EQ(LineValue(frozen.lines, "thread"), "main") << all;
    EXPECT_TRUE(LineValue(frozen.lines, "stack").split(' ').contains("Busy")) << all;
    EXPECT_TRUE(frozen.lines.contains("survived")) << all;

    for (const char* which : {"freeze-answers", "freeze-off", "freeze-inactive"}) {
        const ChildRun run = RunChild(QLY_CHILD, which);
        EXPECT_EQ(run.exitCode, 0) << which;
        EXPECT_FALSE(run.lines.contains("dialog")) << which << ": " << run.lines.join('\n').toStdString();
        EXPECT_TRUE(run.lines.contains("survived")) << which;
    }
}

TEST(ReporterChild, ACaughtExceptionIsNotReportedAndAFaultInsideTheReporterEndsTheProgram)
{
    const ChildRun caught = RunChild(QLY_CHILD, "caught");
    EXPECT_EQ(caught.exitCode, 0);
    EXPECT_TRUE(caught.lines.contains("handled caught")) << caught.lines.join('\n').toStdString();
    EXPECT_EQ(LineValue(caught.lines, "class"), "");
    EXPECT_TRUE(caught.lines.contains("survived"));

    const ChildRun fault = RunChild(QLY_CHILD, "report-fault");
    EXPECT_TRUE(fault.crashed);
    EXPECT_FALSE(fault.lines.contains("survived"));
    EXPECT_EQ(fault.stderrText.count("[ERROR] - A fatal signal inside the exception reporter ended the program."), 1)
        << fault.stderrText.toStdString();
}

TEST(ReporterChild, ACrashedGuiThreadsCustomMessageIsShownByTheHelper)
{
    const ChildRun run = RunChild(QLY_CHILD, "segv-custom");
    EXPECT_TRUE(run.crashed);
    EXPECT_TRUE(run.lines.contains("custom Information.|Ein Speicherfehler ist aufgetreten."))
        << run.lines.join('\n').toStdString();
    EXPECT_FALSE(run.lines.contains("dialog"));
    EXPECT_TRUE(run.stderrText.contains("[box from helper] Information.|Ein Speicherfehler ist aufgetreten.\n"))
        << run.stderrText.toStdString();
}

TEST(ReporterChild, AFatalSignalsReportWithoutProgressIsGivenUpAfter30Seconds)
{
    QElapsedTimer t;
    t.start();
    const ChildRun run = RunChild(QLY_CHILD, "segv-hang");
    EXPECT_TRUE(run.crashed);
    EXPECT_GE(t.elapsed(), 29000);
    EXPECT_LT(t.elapsed(), 50000);
    EXPECT_EQ(run.stderrText.count("[ERROR] - The report of a fatal signal made no progress for 30 s and was given up."), 1)
        << run.stderrText.toStdString();
}
