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
