// The program's outputs behind the report pipeline: log, duplicate test, dialog (answered at
// once), request section, clipboard and the CGI page.
#include "excreport/SivrelExcept.h"
#include "excreport/SivrelHook.h"
#include "excreport/SivrelLogFile.h"
#include "excreport/SivrelListeners.h"
#include "excreport/SivrelModules.h"
#include "excreport/SivrelOptions.h"
#include "excreport/SivrelOutputs.h"
#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QScreen>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <unistd.h>
#include <cstdio>
#include <gtest/gtest.h>
#include <stdexcept>

using namespace excreport;

namespace {

class Outputs : public ::testing::Test {
protected:
    void SetUp() override
    {
        qputenv("QLY_SIVREL_AUTOANSWER", "1");
        ASSERT_TRUE(SivrelActivate());
        SivrelInstallReportOutputs();
        options = CurrentSivrelLogOptions();
        options->SetOutputPath(dir.filePath(QStringLiteral("log")));
        SivrelListeners().Add(&listener);
    }
    void TearDown() override
    {
        if (server.state() != QProcess::NotRunning) {
            server.kill();
            server.waitForFinished();
        }
        SivrelListeners().Remove(&listener);
        SivrelSetReportOutputs(nullptr);
        SivrelDeactivate();
        SivrelUnhookAll();
        qunsetenv("QLY_SIVREL_AUTOANSWER");
    }
    static bool Report(const std::exception_ptr& error) { return ExceptionManager(&error, nullptr, 1); }
    // Starts the test SMTP server in a mode and sends the reports through it.
    void RelayThroughTestServer(const char* mode)
    {
        server.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        server.start(QStringLiteral("/usr/bin/python3"),
                     {QStringLiteral(QLY_TEST_DATA_DIR "/smtp_server.py"), received.path(), QString::fromLatin1(mode)});
        ASSERT_TRUE(server.waitForReadyRead(20000));
        options->SetSendMode(smSmtpRelay);
        options->SetSmtpHost(QStringLiteral("127.0.0.1"));
        options->SetSmtpPort(uint16_t(server.readLine().trimmed().toUInt()));
    }
    QStringList LogEntries() const { return TLogFile(options->LogFileName()).Entries(); }

    QTemporaryDir dir;
    std::shared_ptr<TSivrelModuleOptionsEx> options;
    TSivrelListener listener;
    QTemporaryDir received;  // the mails the test server took
    QProcess server;
};

std::exception_ptr Raise(const char* message)
{
    try {
        throw std::runtime_error(message);
    } catch (...) {
        return std::current_exception();
    }
}

} // namespace

TEST_F(Outputs, ReportsAreLoggedAndDuplicatesSkipped)
{
    options->SetLogFlags(3);
    qputenv("QLY_SIVREL_AUTOANSWER_REQUEST", "  Clicked twice.\n");
    EXPECT_FALSE(Report(Raise("Exception Log Check")));
    QStringList entries = LogEntries();
    ASSERT_EQ(entries.size(), 1);
    EXPECT_TRUE(entries[0].startsWith(QStringLiteral("SivrelLog 4.6.7\r\n")));
    EXPECT_TRUE(entries[0].contains(QStringLiteral("  2.5 Message: Exception Log Check.\r\n")));
    EXPECT_TRUE(entries[0].contains(QStringLiteral("  2.4 Type   : std::runtime_error\r\n")));
    EXPECT_TRUE(entries[0].contains(QStringLiteral("\r\nRequest:\r\n") + QString(40, u'-') + QStringLiteral("\r\nClicked twice.")));
    EXPECT_TRUE(entries[0].contains(QStringLiteral("|Raise")) || entries[0].contains(QStringLiteral("Raise")));
    // The same error raised from the same place again: a duplicate, not logged.
    EXPECT_FALSE(Report(Raise("Exception Log Check")));
    EXPECT_EQ(LogEntries().size(), 1);
    // A different message is a new report.
    EXPECT_FALSE(Report(Raise("Exception log check")));
    EXPECT_EQ(LogEntries().size(), 2);
    qunsetenv("QLY_SIVREL_AUTOANSWER_REQUEST");
}

TEST_F(Outputs, VetoKeepsTheFileAndAFolderThatCannotHoldTheLogWarns)
{
    EXPECT_FALSE(Report(Raise("First")));
    const QString path = options->LogFileName();
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray before = f.readAll();
    f.close();
    listener.ActionNotify = [](const TSivrelExceptionRecord&, int action, bool& execute) {
        if (action == 2)
            execute = false;
    };
    EXPECT_FALSE(Report(Raise("Second")));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), before);
    f.close();
    listener.ActionNotify = nullptr;

    QFile blocker(dir.filePath(QStringLiteral("blocked")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    options->SetOutputPath(dir.filePath(QStringLiteral("blocked/sub")));
    // The failed log step's warning, as the listeners see it (later steps clear it again).
    TSivrelLogErrorCode code = eeNone;
    QString warning;
    listener.ActionErrorNotify = [&](const TSivrelExceptionRecord&, int action, bool&) {
        if (action == 3) {
            code = SivrelReport().LastWarningCode;
            warning = SivrelReport().LastWarning;
        }
    };
    EXPECT_FALSE(Report(Raise("Third")));
    listener.ActionErrorNotify = nullptr;
    EXPECT_EQ(code, eeLogError);
    EXPECT_TRUE(warning.startsWith(QStringLiteral("[Log] "))) << warning.toStdString();
}

TEST(SivrelOutputsCgi, PageIsEscapedAndMarkedAsAnError)
{
    const QByteArray page = "<html><head><title>Error.</title></head><body><p><small><font face=\"Lucida Console,Courier\">"
                            "a&nbsp;&lt;b&gt;&nbsp;&amp;&nbsp;&quot;c&quot;<br>x&nbsp;&nbsp;y</font></small></p></body></html>";
    EXPECT_EQ(CgiResponse(QStringLiteral("Error."), QStringLiteral("a <b> & \"c\"\r\nx  y")),
              "Status: 500 Internal Server Error\r\nContent-Type: text/html\r\nContent-Length: "
                  + QByteArray::number(page.size()) + "\r\nContent:\r\n\r\n" + page);
}

namespace {

// A stand-in for a desktop tool on PATH: writes its arguments, one a line, to <name>.args and
// ends with the given code.
void StubTool(const QString& folder, const QString& name, int exitCode)
{
    const QString path = folder + u'/' + name;
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(QStringLiteral("#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\" >> '%1.args';"
                           " case \"$a\" in *.png) cp \"$a\" '%1.png';; esac; done\n"
                           "exit %2\n")
                .arg(path)
                .arg(exitCode)
                .toUtf8());
    f.close();
    f.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

QStringList ReadLines(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    QStringList lines = QString::fromUtf8(f.readAll()).split(u'\n');
    lines.removeLast();
    return lines;
}

} // namespace

TEST_F(Outputs, MailClientThroughXdgEmailAndTheMailtoFallback)
{
    QTemporaryDir bin;
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", QFile::encodeName(bin.path()) + ":" + path);
    options->SetSendMode(smMailClient);
    options->SetEmailAddress(QStringLiteral("dev@example.org; ;ops@example.org"));
    options->SetEmailSubject(QStringLiteral("Fehler & Bericht"));
    options->SetEmailBody(QStringLiteral("Body text"));
    StubTool(bin.path(), QStringLiteral("xdg-email"), 0);
    StubTool(bin.path(), QStringLiteral("xdg-open"), 0);
    EXPECT_FALSE(Report(Raise("Mailed")));
    const QStringList args = ReadLines(bin.filePath(QStringLiteral("xdg-email.args")));
    ASSERT_EQ(args.size(), 9) << args.join(u'|').toStdString();
    EXPECT_EQ(args.mid(0, 5), (QStringList{"--utf8", "--subject", "Fehler & Bericht", "--body", "Body text"}));
    EXPECT_EQ(args[5], QStringLiteral("--attach"));
    EXPECT_TRUE(args[6].endsWith(QStringLiteral("/test_excreport.slf"))) << args[6].toStdString();
    EXPECT_FALSE(QFile::exists(args[6])) << "the log copy is deleted after sending";
    EXPECT_EQ(args.mid(7), (QStringList{"dev@example.org", "ops@example.org"}));
    EXPECT_FALSE(QFile::exists(bin.filePath(QStringLiteral("xdg-open.args"))));

    // The mail client fails: the mailto URL goes to xdg-open as one argument.
    QFile::remove(bin.filePath(QStringLiteral("xdg-email")));
    StubTool(bin.path(), QStringLiteral("xdg-email"), 1);
    EXPECT_FALSE(Report(Raise("Mailed again")));
    const QStringList open = ReadLines(bin.filePath(QStringLiteral("xdg-open.args")));
    ASSERT_EQ(open.size(), 1) << open.join(u'|').toStdString();
    EXPECT_TRUE(open[0].startsWith(QStringLiteral("mailto:dev@example.org; ;ops@example.org?Subject=Fehler%20%26%20Bericht&Body=Body%20text%0D%0A%0D%0A%0D%0ASivrelLog%204%2E6%2E7")))
        << open[0].left(200).toStdString();
    qputenv("PATH", path);
}

TEST_F(Outputs, ScreenshotTravelsWithTheMailOnlyWhenWanted)
{
    QApplication* app = qobject_cast<QApplication*>(QCoreApplication::instance());
    ASSERT_TRUE(app) << "the tests run with a QApplication";
    QTemporaryDir bin;
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", QFile::encodeName(bin.path()) + ":" + path);
    options->SetSendMode(smMailClient);
    options->SetEmailAddress(QStringLiteral("dev@example.org"));
    options->SetLogInMailBody(true);
    StubTool(bin.path(), QStringLiteral("xdg-email"), 0);
    for (const bool attach : {false, true}) {
        QFile::remove(bin.filePath(QStringLiteral("xdg-email.args")));
        options->SetAttachScreenshot(attach);
        EXPECT_FALSE(Report(Raise(attach ? "With picture" : "Without picture")));
        const QStringList args = ReadLines(bin.filePath(QStringLiteral("xdg-email.args")));
        ASSERT_FALSE(args.isEmpty());
        const qsizetype at = args.indexOf(QStringLiteral("--attach"));
        if (!attach) {
            EXPECT_EQ(at, -1) << args.join(u'|').toStdString();
            continue;
        }
        ASSERT_GE(at, 0);
        EXPECT_TRUE(args[at + 1].endsWith(QStringLiteral("/Screenshot.png")));
        EXPECT_FALSE(QFile::exists(args[at + 1])) << "deleted when the report is done";
        QImage picture(bin.filePath(QStringLiteral("xdg-email.png")));
        ASSERT_FALSE(picture.isNull());
        EXPECT_EQ(picture.size(), QGuiApplication::primaryScreen()->size());
        EXPECT_EQ(picture.format(), QImage::Format_Indexed8);
    }
    qputenv("PATH", path);
}

TEST_F(Outputs, SmtpRelayWithItsProgressWindow)
{
    RelayThroughTestServer("accept");
    if (HasFatalFailure())
        return;
    options->SetEmailAddress(QStringLiteral("dev@example.org"));
    options->SetShowSmtpProgress(true);
    EXPECT_FALSE(Report(Raise("Relayed")));
    QFile mail(received.filePath(QStringLiteral("1.eml")));
    ASSERT_TRUE(mail.open(QIODevice::ReadOnly));
    const QByteArray eml = mail.readAll();
    EXPECT_TRUE(eml.contains("Content-Type: application/octet-stream;\r\n        name=\"test_excreport.slf\"\r\n"));
    EXPECT_TRUE(eml.contains("Subject: Test program\r\n"));
}

TEST_F(Outputs, SmtpWarningsShowInABoxWhileTheProgressWindowIsOpen)
{
    RelayThroughTestServer("refuse-from");
    if (HasFatalFailure())
        return;
    options->SetEmailAddress(QStringLiteral("first@example.org;second@example.org"));
    // The boxes reach stderr under the automatic answers.
    QTemporaryFile captured;
    ASSERT_TRUE(captured.open());
    const auto boxes = [&](bool progressWindow) {
        options->SetShowSmtpProgress(progressWindow);
        std::fflush(stderr);
        const int saved = ::dup(STDERR_FILENO);
        ::dup2(captured.handle(), STDERR_FILENO);
        ::ftruncate(captured.handle(), 0);
        ::lseek(captured.handle(), 0, SEEK_SET);
        Report(Raise(progressWindow ? "With window" : "Without window"));
        std::fflush(stderr);
        ::dup2(saved, STDERR_FILENO);
        ::close(saved);
        QFile in(captured.fileName());
        EXPECT_TRUE(in.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(in.readAll());
        return text.mid(std::max<qsizetype>(text.indexOf(QStringLiteral("[box] Error.|")), 0));
    };
    // Every recipient is refused: one box each, with the session log (it spans lines).
    const QString shown = boxes(true);
    EXPECT_EQ(shown.count(QStringLiteral("[box] Error.|")), 2) << shown.toStdString();
    EXPECT_TRUE(shown.startsWith(QStringLiteral("[box] Error.|[SMTP] Connected to 127.0.0.1 port"))) << shown.toStdString();
    EXPECT_TRUE(shown.contains(QStringLiteral("550 sender refused")));
    const QString quiet = boxes(false);
    EXPECT_TRUE(quiet.contains(QStringLiteral("550 sender refused"))) << "the warnings are still recorded";
    EXPECT_FALSE(quiet.contains(QStringLiteral("[box] Error.|"))) << "no window, no box";
}
