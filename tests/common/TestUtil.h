#pragma once
#include <QByteArray>
#include <QString>
#include <gtest/gtest.h>
#include <string>

namespace qlytest {
// A fresh folder for one test, removed when the object goes away.
class TempDir {
public:
    TempDir();
    ~TempDir();
    QString path() const { return m_path; }
    QString file(const QString& name) const { return m_path + "/" + name; }
private:
    QString m_path;
};

// The bytes of a file, or "<unreadable>" when it cannot be read.
QByteArray readFileBytes(const QString& path);
// Replaces a file's content; a failure fails the test.
void writeFileBytes(const QString& path, const QByteArray& bytes);

// Folder of other projects' sample files: $QLY_EXTERNAL_FIXTURES, else ../shared/fixtures from the
// project root. These files are never part of the project.
QString fixturesDir();
// The path of one file in that folder, or an empty string when the folder is absent.
QString externalFixture(const QString& relativePath);
// Why a test that needs such a file skips.
std::string missingFixtureMessage(const QString& relativePath);
}

// Declares `var` as the path of an external fixture, or skips the test naming the missing folder.
#define QLY_EXTERNAL_FIXTURE(var, relativePath)                                     \
    const QString var = qlytest::externalFixture(relativePath);                      \
    if (var.isEmpty())                                                               \
    GTEST_SKIP() << qlytest::missingFixtureMessage(relativePath)

namespace qlytest {
// For a case that looks at what the whole process has loaded or set up (mapped libraries, first
// use of a module): false when this is the first case the process runs, so the case goes on
// here; otherwise the case runs again alone in a new process of the same test program, its result
// is this case's result, and the answer is true (the caller returns).
bool RanInFreshProcess();
// How many cases this process has started, the current one included (kept by the test entry).
int& CasesStarted();
}

// Runs the rest of the case in a process that has run nothing before it.
#define QLY_NEEDS_FRESH_PROCESS()          \
    if (qlytest::RanInFreshProcess())      \
    return
