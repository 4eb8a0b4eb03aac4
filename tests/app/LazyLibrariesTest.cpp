// Libraries loaded on first call (cmake/QlyLazyLibraries.cmake, app/lazy/LazyLibraries.cpp),
// through a probe program built the same way as the program.
#include <gtest/gtest.h>

#include <QProcess>
#include <QString>

namespace {

struct TRun {
    int ExitCode = -1;
    QString Out, Err;
};

TRun RunProbe(const QString& mode)
{
    QProcess p;
    p.start(QStringLiteral(QLY_LAZY_PROBE), {mode});
    TRun r;
    if (!p.waitForFinished(60000))
        return r;
    r.ExitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.Out = QString::fromUtf8(p.readAllStandardOutput());
    r.Err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

} // namespace

TEST(LazyLibraries, LoadedOnTheFirstCallWithTheArgumentsAndResultsIntact)
{
    // Eight threads make the first calls at once: integer, variadic and floating-point arguments,
    // pointer and floating-point results, C++ member functions with a result of class type. Each library is loaded once, and the reporter is told.
    const TRun r = RunProbe(QStringLiteral("calls"));
    ASSERT_EQ(r.ExitCode, 0) << r.Err.toStdString();
    EXPECT_EQ(r.Out, "at start: curl 0 sqlite 0 network 0\n"
                     "wrong results 0\n"
                     "after: curl 1 sqlite 1 network 1, reporter told 3 times\n");
}

TEST(LazyLibraries, ALibraryThatCannotBeLoadedEndsTheProgramAsTheLoaderWould)
{
    const TRun r = RunProbe(QStringLiteral("absent"));
    EXPECT_EQ(r.ExitCode, 127);
    EXPECT_EQ(r.Out, "before\n");
    EXPECT_TRUE(r.Err.contains("qly_lazy_probe: error while loading shared libraries: libqly-absent.so.1: cannot open "
                               "shared object file"))
        << r.Err.toStdString();
}
