#pragma once
// Outlook data files made at test time by the project's writer (tests/importwizard/pst, Python 3
// standard library) and what each one holds.
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QString>
#include <gtest/gtest.h>

namespace qlytest {

// The layouts the writer makes: Unicode and ANSI (32-bit) personal folders files, and offline
// folders files of both.
inline const QStringList& OutlookFormats()
{
    static const QStringList formats{QStringLiteral("unicode"), QStringLiteral("ansi"), QStringLiteral("ost"),
                                     QStringLiteral("ansi-ost")};
    return formats;
}

// Writes the scenario's file to path (see outlook_files.py) in a layout of OutlookFormats() and
// returns what it holds; an empty object, with a test failure, when the writer fails.
inline QJsonObject MakeOutlookFile(const QString& scenario, const QString& path, int count = 0,
                                   const QString& format = QStringLiteral("unicode"))
{
    QStringList args{QStringLiteral(QLY_SOURCE_DIR "/tests/importwizard/pst/outlook_files.py"), scenario, path,
                     QStringLiteral("--format=") + format};
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
