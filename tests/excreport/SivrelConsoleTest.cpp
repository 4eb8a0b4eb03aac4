// Console and CGI programs: the report goes to the standard output.
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

QByteArray RunConsoleProgram(bool cgi)
{
    QTemporaryDir home;
    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("REQUEST_METHOD");
    if (cgi)
        env.insert("REQUEST_METHOD", "GET");
    env.insert("XDG_STATE_HOME", home.filePath("state"));
    program.setProcessEnvironment(env);
    program.start(QStringLiteral(QLY_CONSOLE), {});
    EXPECT_TRUE(program.waitForFinished(60000));
    return program.readAllStandardOutput();
}

} // namespace

TEST(SivrelConsole, ReportOnTheStandardOutput)
{
    const QByteArray out = RunConsoleProgram(false);
    EXPECT_TRUE(out.startsWith("An error has occurred during program execution.\r\n"
                               "Please read the following information for further details.\r\n\r\n"
                               "SivrelLog 4.6.7\r\n\r\nApplication:\r\n"))
        << out.left(300).constData();
    EXPECT_TRUE(out.contains("  2.5 Message: Console <failure> & more.\r\n"));
    EXPECT_FALSE(out.contains("Active Controls:"));
    EXPECT_TRUE(out.contains("\r\nComputer:\r\n"));
}

TEST(SivrelConsole, CgiAnswersWithAnErrorPage)
{
    const QByteArray out = RunConsoleProgram(true);
    const qsizetype headerEnd = out.indexOf("\r\n\r\n");
    ASSERT_GT(headerEnd, 0);
    const QByteArray page = out.mid(headerEnd + 4);
    EXPECT_EQ(out.left(headerEnd + 4), "Status: 500 Internal Server Error\r\nContent-Type: text/html\r\nContent-Length: "
                                           + QByteArray::number(page.size()) + "\r\nContent:\r\n\r\n");
    EXPECT_TRUE(page.startsWith("<html><head><title>Error.</title></head><body><p><small><font face=\"Lucida Console,Courier\">"
                                "An&nbsp;error&nbsp;has&nbsp;occurred"));
    EXPECT_TRUE(page.contains("Message:&nbsp;Console&nbsp;&lt;failure&gt;&nbsp;&amp;&nbsp;more.<br>")) << page.constData();
    EXPECT_TRUE(page.endsWith("</font></small></p></body></html>"));
}
