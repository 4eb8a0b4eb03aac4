// The program's main window with the reporter on: an error raised by a key in the SMTP server
// field becomes a report (dialog, answered at once, and log), and the program goes on.
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QStandardPaths>
#include <QImage>
#include <QColor>
#include <gtest/gtest.h>

TEST(SivrelProgram, ErrorFromAKeyIsReportedAndTheProgramGoesOn)
{
    QTemporaryDir home;
    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("QLY_SIVREL_AUTOANSWER", "1");
    for (const char* name : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_STATE_HOME", "XDG_CACHE_HOME"})
        env.insert(name, home.filePath(QString::fromLatin1(name)));
    program.setProcessEnvironment(env);
    program.setWorkingDirectory(home.path());
    program.start(QStringLiteral(QLY_MAINWINDOW), {});
    ASSERT_TRUE(program.waitForFinished(120000));
    const QString out = QString::fromUtf8(program.readAllStandardOutput());
    const QString err = QString::fromUtf8(program.readAllStandardError());
    EXPECT_EQ(program.exitCode(), 0) << err.toStdString();
    EXPECT_TRUE(out.contains(QStringLiteral("went on visible=1"))) << out.toStdString() << err.toStdString();
    EXPECT_TRUE(err.contains(QStringLiteral("[dialog] Exception Log Check.")));
    EXPECT_FALSE(err.contains(QStringLiteral("[box]")));

    QFile log(home.filePath(QStringLiteral("XDG_STATE_HOME/ORV Software/Quillory/qly_reporter_mainwindow.slf")));
    ASSERT_TRUE(log.open(QIODevice::ReadOnly)) << log.fileName().toStdString() << err.toStdString();
    const QString text = QString::fromUtf8(log.readAll());
    EXPECT_TRUE(text.contains(QStringLiteral("  2.5 Message: Exception Log Check.\r\n"))) << text.toStdString();
    // The frame of the key handler, with the line of its throw.
    QString frame;
    for (const QString& line : text.split(QStringLiteral("\r\n")))
        if (line.contains(QStringLiteral("|EditSmtpServerKeyDown")))
            frame = line;
    EXPECT_TRUE(frame.contains(QStringLiteral("|MainForm.cpp")) && frame.contains(QStringLiteral("|TMainForm")))
        << frame.toStdString() << "\n" << text.toStdString();
    QFile source(QStringLiteral(QLY_SOURCE_DIR "/app/MainForm.cpp"));
    ASSERT_TRUE(source.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(source.readAll()).split(u'\n');
    const int throwLine = int(lines.indexOf(QStringLiteral("        throw std::runtime_error(\"Exception Log Check\");"))) + 1;
    ASSERT_GT(throwLine, 0);
    EXPECT_TRUE(frame.contains(QStringLiteral("|%1").arg(throwLine))) << frame.toStdString() << " line " << throwLine;
}

TEST(SivrelProgram, CrashesLeaveALogEntryNamingTheFaultingFunctionAndLine)
{
    QFile source(QStringLiteral(QLY_CRASH_SOURCE));
    ASSERT_TRUE(source.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(source.readAll()).split(u'\n');
    // A crashed or frozen window thread gets the whole report dialog from the helper process.
    struct {
        const char* mode;
        const char* function;
        const char* dialog;
    } cases[] = {{"segv", "WriteThroughNull", "[dialog from helper] Access violation at address "},
                 {"throw", "ThrowFromSlot", "[dialog] Slot failed."},
                 {"abort", "AbortInSlot", "[dialog from helper] Abnormal program termination.|"},
                 {"thread", "WorkerFault", "[dialog] Access violation at address "},
                 {"freeze", "BusyLoop", "[dialog from helper] The application seems to be frozen.|"}};
    for (const auto& c : cases) {
        int line = 0;
        for (int i = 0; i < lines.size(); ++i)
            if (lines[i].contains(QStringLiteral("// crash line: ") + QString::fromLatin1(c.function)))
                line = i + 1;
        ASSERT_GT(line, 0) << c.function;
        QTemporaryDir home;
        QProcess program;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("QLY_SIVREL_AUTOANSWER", "1");
        env.insert("XDG_STATE_HOME", home.filePath("state"));
        env.insert("XDG_CONFIG_HOME", home.filePath("config"));
        const QString shots = qEnvironmentVariable("QLY_EXC_SHOTS");
        if (!shots.isEmpty())
            env.insert("QLY_SIVREL_AUTOANSWER_SHOT", shots + QStringLiteral("/helper-%1.png").arg(QString::fromLatin1(c.mode)));
        const bool copy = QByteArray(c.mode) == "segv";
        if (copy)
            env.insert("QLY_SIVREL_AUTOANSWER_COPY", "1");
        program.setProcessEnvironment(env);
        program.start(QStringLiteral(QLY_CRASH), {QString::fromLatin1(c.mode)});
        ASSERT_TRUE(program.waitForFinished(60000)) << c.mode;
        const QString err = QString::fromUtf8(program.readAllStandardError());
        QFile log(home.filePath(QStringLiteral("state/qly_reporter_crash.slf")));
        ASSERT_TRUE(log.open(QIODevice::ReadOnly)) << c.mode << "\n" << err.toStdString();
        const QString text = QString::fromUtf8(log.readAll());
        bool found = false;
        for (const QString& row : text.split(QStringLiteral("\r\n")))
            found = found || (row.contains(QStringLiteral("|") + QString::fromLatin1(c.function))
                              && row.contains(QStringLiteral("|%1").arg(line)));
        if (QByteArray(c.mode) == "throw")
            EXPECT_TRUE(program.readAllStandardOutput().contains("went on"));
        EXPECT_TRUE(found) << c.mode << "\n" << text.left(4000).toStdString() << "\n" << err.toStdString();
        const qsizetype at = err.indexOf(QString::fromLatin1(c.dialog));
        EXPECT_GE(at, 0) << c.mode << "\n" << err.toStdString();
        if (at >= 0 && QByteArray(c.dialog).contains("helper")) {
            // The helper got the call stack and the modules too.
            const QStringList parts = err.mid(at).section(u'\n', 0, 0).split(u'|');
            ASSERT_EQ(parts.size(), 3) << c.mode;
            EXPECT_GT(parts[1].toInt(), 3) << c.mode;
            EXPECT_GT(parts[2].toInt(), 3) << c.mode;
        }
        // The copy box ticked in the helper's dialog: another helper copies the report.
        EXPECT_EQ(err.contains(QStringLiteral("[clipboard from helper] SivrelLog 4.6.7")), copy) << c.mode << "\n" << err.toStdString();
    }
}

TEST(SivrelProgram, XcbUnderXvfbAWindowThreadCrashShowsTheDialogThroughTheHelper)
{
    if (QStandardPaths::findExecutable(QStringLiteral("xvfb-run")).isEmpty())
        GTEST_SKIP() << "xvfb-run is not installed";
    QTemporaryDir home;
    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "xcb");
    env.insert("QLY_SIVREL_AUTOANSWER", "1");
    env.insert("XDG_STATE_HOME", home.filePath("state"));
    env.insert("XDG_CONFIG_HOME", home.filePath("config"));
    const QString shot = home.filePath(QStringLiteral("dialog.png"));
    env.insert("QLY_SIVREL_AUTOANSWER_SHOT", shot);
    program.setProcessEnvironment(env);
    program.start(QStringLiteral("xvfb-run"), {QStringLiteral("-a"), QStringLiteral("-s"), QStringLiteral("-screen 0 1024x768x24"),
                                               QStringLiteral(QLY_CRASH), QStringLiteral("segv")});
    ASSERT_TRUE(program.waitForFinished(60000));
    const QString err = QString::fromUtf8(program.readAllStandardError());
    EXPECT_TRUE(err.contains(QStringLiteral("[dialog from helper] Access violation at address "))) << err.toStdString();
    // The helper's dialog, grabbed on the xcb platform, with the custom caption in its first rows.
    const QImage picture(shot);
    ASSERT_FALSE(picture.isNull()) << err.toStdString();
    EXPECT_GE(picture.width(), 250);
    // The first band of the caption gradient, active or not.
    const QColor caption(picture.pixel(picture.width() - 6, 4));
    EXPECT_TRUE(caption == QColor(125, 148, 186) || caption == QColor(145, 145, 145)) << caption.name().toStdString();
    const QString copy = qEnvironmentVariable("QLY_EXC_SHOTS");
    if (!copy.isEmpty())
        QFile::copy(shot, copy + QStringLiteral("/xvfb-helper-dialog.png"));
}
