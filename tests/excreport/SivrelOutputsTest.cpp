// The program's outputs behind the report pipeline: log, duplicate test, dialog (answered at
// once), request section, clipboard and the CGI page.
#include "excreport/SivrelExcept.h"
#include "excreport/SivrelHook.h"
#include "excreport/SivrelLogFile.h"
#include "excreport/SivrelListeners.h"
#include "excreport/SivrelModules.h"
#include "excreport/SivrelOutputs.h"
#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QTemporaryDir>
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
        SivrelListeners().Remove(&listener);
        SivrelSetReportOutputs(nullptr);
        SivrelDeactivate();
        SivrelUnhookAll();
        qunsetenv("QLY_SIVREL_AUTOANSWER");
    }
    static bool Report(const std::exception_ptr& error) { return ExceptionManager(&error, nullptr, 1); }
    QStringList LogEntries() const { return TLogFile(options->LogFileName()).Entries(); }

    QTemporaryDir dir;
    std::shared_ptr<TSivrelModuleOptionsEx> options;
    TSivrelListener listener;
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
    EXPECT_FALSE(Report(Raise("Third")));
    EXPECT_EQ(SivrelReport().LastWarningCode, eeLogError);
    EXPECT_TRUE(SivrelReport().LastWarning.startsWith(QStringLiteral("[Log] "))) << SivrelReport().LastWarning.toStdString();
}

TEST(SivrelOutputsCgi, PageIsEscapedAndMarkedAsAnError)
{
    const QByteArray page = "<html><head><title>Error.</title></head><body><p><small><font face=\"Lucida Console,Courier\">"
                            "a&nbsp;&lt;b&gt;&nbsp;&amp;&nbsp;&quot;c&quot;<br>x&nbsp;&nbsp;y</font></small></p></body></html>";
    EXPECT_EQ(CgiResponse(QStringLiteral("Error."), QStringLiteral("a <b> & \"c\"\r\nx  y")),
              "Status: 500 Internal Server Error\r\nContent-Type: text/html\r\nContent-Length: "
                  + QByteArray::number(page.size()) + "\r\nContent:\r\n\r\n" + page);
}
