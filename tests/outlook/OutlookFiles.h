#pragma once
// Outlook data files made at test time by the project's writer (tests/importwizard/pst, Python 3
// standard library) and what each one holds.
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QString>
#include <gtest/gtest.h>

namespace qlytest {

// Writes the scenario's file to path (see outlook_files.py) and returns what it holds; an empty
// object, with a test failure, when the writer fails.
inline QJsonObject MakeOutlookFile(const QString& scenario, const QString& path, int count = 0)
{
    QStringList args{QStringLiteral(QLY_SOURCE_DIR "/tests/importwizard/pst/outlook_files.py"), scenario, path};
    if (count > 0)
        args.append(QString::number(count));
    QProcess p;
    p.start(QStringLiteral("python3"), args);
    if (!p.waitForFinished(300000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        ADD_FAILURE() << "outlook_files.py " << scenario.toStdString() << ": " << p.readAllStandardError().toStdString();
        return {};
    }
    return QJsonDocument::fromJson(p.readAllStandardOutput()).object();
}

} // namespace qlytest
