// The report mail through SMTP servers on 127.0.0.1 (aiosmtpd, and a server that never answers).
#include "excreport/SivrelConsts.h"
#include "excreport/SivrelDns.h"
#include "excreport/SivrelReport.h"
#include "excreport/SivrelSmtp.h"
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QSslConfiguration>
#include <QTcpServer>
#include <gtest/gtest.h>
#include <atomic>
#include <thread>
#include <unistd.h>

using namespace excreport;

namespace {

// aiosmtpd in a child process; messages land in Out.
class SmtpServer {
public:
    explicit SmtpServer(const char* mode, const QStringList& tls = {})
    {
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start(QStringLiteral("/usr/bin/python3"),
                        QStringList{QStringLiteral(QLY_TEST_DATA_DIR "/smtp_server.py"), out.path(), QString::fromLatin1(mode)}
                            + tls);
        if (m_process.waitForReadyRead(20000))
            port = uint16_t(m_process.readLine().trimmed().toUInt());
    }
    ~SmtpServer()
    {
        m_process.kill();
        m_process.waitForFinished();
    }
    QByteArray File(const char* name) const
    {
        QFile f(out.filePath(QString::fromLatin1(name)));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    QTemporaryDir out;
    uint16_t port = 0;

private:
    QProcess m_process;
};

QStringList Commands(const QByteArray& log)
{
    // The lines we sent: those that are no reply (replies start with three digits).
    QStringList commands;
    for (const QByteArray& line : log.split('\n')) {
        const QByteArray l = line.trimmed();
        if (l.isEmpty() || l.startsWith("Connected to") || (l.size() >= 3 && l[0] >= '0' && l[0] <= '9' && l[1] >= '0' && l[2] >= '0'))
            continue;
        commands << QString::fromUtf8(l);
    }
    return commands;
}

QString Host()
{
    char name[256] = {};
    gethostname(name, 250);
    return QString::fromLocal8Bit(name);
}

} // namespace

TEST(SivrelSmtp, SessionWithAndWithoutCredentials)
{
    SmtpServer server("accept");
    ASSERT_NE(server.port, 0);
    QTemporaryDir dir;
    const QString png = dir.filePath(QStringLiteral("Screenshot.png"));
    {
        QFile f(png);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(200, 'p'));
    }
    QByteArray log;
    ClearWarning();
    ASSERT_TRUE(SendBySMTP(false, QStringLiteral("report@example.invalid"), QStringLiteral("127.0.0.1"), {png},
                           QStringLiteral("Line one\r\n.\r\nLast"), QStringLiteral("Report"),
                           QStringLiteral("dev@example.org"), QString(), QString(), server.port, {}, &log))
        << SivrelReport().LastWarning.toStdString();
    QStringList commands = Commands(log);
    ASSERT_GE(commands.size(), 5) << log.constData();
    EXPECT_EQ(commands.mid(0, 5), (QStringList{QStringLiteral("HELO ") + Host(), "RSET", "MAIL FROM:<report@example.invalid>",
                                              "RCPT TO:<dev@example.org>", "DATA"}));
    EXPECT_EQ(SivrelReport().LastWarningCode, eeNone);

    // The message as the server received it.
    const QByteArray eml = server.File("1.eml");
    EXPECT_TRUE(eml.contains("\r\nFrom: <report@example.invalid>\r\nSubject: Report\r\nTo: <dev@example.org>\r\n")) << eml.constData();
    EXPECT_TRUE(eml.contains("Content-Type: text/plain; charset=UTF-8\r\nContent-Transfer-Encoding: 8bit\r\n\r\nLine one\r\n.\r\nLast\r\n"))
        << "a body line \".\" arrives as \".\"";
    EXPECT_TRUE(eml.contains("Content-Type: image/png;\r\n        name=\"Screenshot.png\"\r\n"));
    const QByteArray base64 = QByteArray(200, 'p').toBase64();
    EXPECT_TRUE(eml.contains(base64.left(80) + "\r\n" + base64.mid(80, 80) + "\r\n" + base64.mid(160, 80) + "\r\n"
                             + base64.mid(240) + "\r\n--"));
    EXPECT_TRUE(eml.endsWith("--=_xcjvnxkbhvfkxzhfdbvzldjhfv--\r\n"));
    EXPECT_TRUE(server.File("1.env").startsWith("report@example.invalid\ndev@example.org\n"));

    // With credentials: EHLO and AUTH LOGIN, the credentials hidden in the session log.
    ASSERT_TRUE(SendBySMTP(false, QStringLiteral("report@example.invalid"), QStringLiteral("127.0.0.1"), {},
                           QStringLiteral("Body"), QStringLiteral("Report"), QStringLiteral("dev@example.org"),
                           QStringLiteral("anna"), QStringLiteral("geheim"), server.port, {}, &log));
    commands = Commands(log);
    ASSERT_GE(commands.size(), 8) << log.constData();
    EXPECT_EQ(commands.mid(0, 8),
              (QStringList{QStringLiteral("EHLO ") + Host(), "RSET", "AUTH LOGIN", "[credentials hidden]",
                           "[credentials hidden]", "MAIL FROM:<report@example.invalid>", "RCPT TO:<dev@example.org>", "DATA"}));
    EXPECT_FALSE(log.contains(QByteArray("geheim").toBase64()));
    EXPECT_TRUE(server.File("2.env").contains("anna:geheim"));
}

TEST(SivrelSmtp, RecipientsProgressAndFailures)
{
    SmtpServer server("refuse-first");
    ASSERT_NE(server.port, 0);
    QStringList progress;
    TSivrelSmtpProgress p;
    p.Text = [&](const QString& t) { progress << t; };
    const auto text = [](int i) { return SivrelDefaultTexts()[size_t(i)]; };
    std::vector<QString> warnings;
    p.Warning = [&](const QString& w) { warnings.push_back(w); };
    ClearWarning();
    EXPECT_TRUE(SendBySMTPToRecipients(false, QStringLiteral("r@example.invalid"), QStringLiteral("127.0.0.1"), {},
                                       QStringLiteral("Body"), QStringLiteral("S"), QStringLiteral("a@x.org;; b@y.org"),
                                       QString(), QString(), server.port, text, p));
    EXPECT_EQ(SivrelReport().LastWarningCode, eeEmailSMTPError);
    EXPECT_TRUE(SivrelReport().LastWarning.startsWith(QStringLiteral("[SMTP] Connected to 127.0.0.1 port")))
        << SivrelReport().LastWarning.toStdString();
    EXPECT_TRUE(SivrelReport().LastWarning.contains(QStringLiteral("550 sender refused")));
    EXPECT_EQ(warnings, std::vector<QString>{SivrelReport().LastWarning}) << "one warning, handed to the progress window";
    ASSERT_FALSE(progress.isEmpty());
    EXPECT_EQ(progress.first(), QStringLiteral("Message 1/2: Connecting with SMTP server..."));
    EXPECT_TRUE(progress.contains(QStringLiteral("Message 2/2: Sending message...")));
    EXPECT_FALSE(server.File("1.eml").isEmpty()) << "the second recipient got the mail";

    // A host that cannot be resolved is no connection.
    ClearWarning();
    EXPECT_FALSE(SendBySMTP(false, "r@x", QStringLiteral("no-such-host.invalid"), {}, "b", "s", "a@x.org", {}, {}, 25));
    EXPECT_TRUE(SivrelReport().LastWarning.startsWith(QStringLiteral("[SMTP] Connection error: "))) << SivrelReport().LastWarning.toStdString();

    // Direct delivery: an MX look-up that fails is a warning, and the next recipient is tried.
    SivrelSetDnsServers({}, 53);
    ClearWarning();
    EXPECT_FALSE(SendBySMTPToRecipients(true, "r@x", QString(), {}, "b", "s", "a@nowhere.invalid", {}, {}, server.port, text, p));
    EXPECT_EQ(SivrelReport().LastWarning.toStdString(), "[SMTP] Cannot resolve the \"nowhere.invalid\" MX record.");
    ASSERT_FALSE(warnings.empty());
    EXPECT_EQ(warnings.back(), SivrelReport().LastWarning);
}

TEST(SivrelSmtp, SilentServerTimesOut)
{
    QTcpServer silent;
    ASSERT_TRUE(silent.listen(QHostAddress::LocalHost));
    const uint16_t port = silent.serverPort();
    ClearWarning();
    std::atomic<bool> done{false};
    bool result = true;
    std::thread client([&] {
        result = SendBySMTP(false, "r@x", QStringLiteral("127.0.0.1"), {}, "b", "s", "a@x.org", {}, {}, port);
        done = true;
    });
    while (!done)
        silent.waitForNewConnection(100);  // accepts and never answers
    client.join();
    EXPECT_FALSE(result);
    EXPECT_TRUE(SivrelReport().LastWarning.startsWith(QStringLiteral("[SMTP] Socket timeout.\r\nSocket log:\r\nConnected to 127.0.0.1")))
        << SivrelReport().LastWarning.toStdString();
}

TEST(SivrelSmtp, StartTlsWithATestCertificateAuthority)
{
    // A certificate authority of our own and a server certificate for 127.0.0.1, signed by it.
    QTemporaryDir pki;
    const auto file = [&](const char* name) { return pki.filePath(QString::fromLatin1(name)); };
    const auto openssl = [&](const QStringList& args) {
        QProcess p;
        p.setWorkingDirectory(pki.path());
        p.start(QStringLiteral("openssl"), args);
        return p.waitForFinished(60000) && p.exitCode() == 0;
    };
    {
        QFile ext(file("ext.cnf"));
        ASSERT_TRUE(ext.open(QIODevice::WriteOnly));
        ext.write("subjectAltName=IP:127.0.0.1\n");
    }
    ASSERT_TRUE(openssl({"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", "ca.key", "-out", "ca.pem", "-days", "2",
                         "-subj", "/CN=Quillory Test CA"}));
    ASSERT_TRUE(openssl({"req", "-newkey", "rsa:2048", "-nodes", "-keyout", "server.key", "-out", "server.csr", "-subj", "/CN=127.0.0.1"}));
    ASSERT_TRUE(openssl({"x509", "-req", "-in", "server.csr", "-CA", "ca.pem", "-CAkey", "ca.key", "-CAcreateserial", "-out",
                         "server.pem", "-days", "2", "-extfile", "ext.cnf"}));
    SmtpServer server("accept", {file("server.pem"), file("server.key")});
    ASSERT_NE(server.port, 0);

    // Without the authority the certificate is refused.
    QByteArray log;
    ClearWarning();
    EXPECT_FALSE(SendBySMTP(false, "r@example.invalid", QStringLiteral("127.0.0.1"), {}, "Body", "S", "dev@example.org",
                            QStringLiteral("anna"), QStringLiteral("geheim"), server.port, {}, &log));
    EXPECT_TRUE(SivrelReport().LastWarning.contains(QStringLiteral("TLS error"))) << SivrelReport().LastWarning.toStdString();

    QSslConfiguration config = QSslConfiguration::defaultConfiguration();
    const QSslConfiguration saved = config;
    config.addCaCertificates(file("ca.pem"));
    QSslConfiguration::setDefaultConfiguration(config);
    ClearWarning();
    EXPECT_TRUE(SendBySMTP(false, "r@example.invalid", QStringLiteral("127.0.0.1"), {}, "Body", "S", "dev@example.org",
                           QStringLiteral("anna"), QStringLiteral("geheim"), server.port, {}, &log))
        << SivrelReport().LastWarning.toStdString();
    QSslConfiguration::setDefaultConfiguration(saved);
    const QStringList commands = Commands(log);
    ASSERT_GE(commands.size(), 4);
    EXPECT_EQ(commands.mid(0, 4), (QStringList{QStringLiteral("EHLO ") + Host(), "STARTTLS", QStringLiteral("EHLO ") + Host(), "RSET"}));
    EXPECT_TRUE(server.File("1.env").contains("anna:geheim"));

    // Port 465 speaks TLS from the first byte: no STARTTLS. Binding it needs root.
    {
        QTcpServer probe;
        if (!probe.listen(QHostAddress::LocalHost, 465)) {
            QSslConfiguration::setDefaultConfiguration(saved);
            GTEST_SKIP() << "port 465 cannot be bound here";
        }
    }
    SmtpServer implicit("accept", {file("server.pem"), file("server.key"), QStringLiteral("implicit")});
    ASSERT_EQ(implicit.port, 465);
    ClearWarning();
    EXPECT_FALSE(SendBySMTP(false, "r@example.invalid", QStringLiteral("127.0.0.1"), {}, "Body", "S", "dev@example.org",
                            QStringLiteral("anna"), QStringLiteral("geheim"), 465, {}, &log))
        << "the certificate is checked before anything is said";
    EXPECT_TRUE(SivrelReport().LastWarning.startsWith(QStringLiteral("[SMTP] Connection error: "))) << SivrelReport().LastWarning.toStdString();
    EXPECT_TRUE(implicit.File("1.eml").isEmpty());
    QSslConfiguration::setDefaultConfiguration(config);
    ClearWarning();
    EXPECT_TRUE(SendBySMTP(false, "r@example.invalid", QStringLiteral("127.0.0.1"), {}, "Body 465", "S", "dev@example.org",
                           QStringLiteral("anna"), QStringLiteral("geheim"), 465, {}, &log))
        << SivrelReport().LastWarning.toStdString();
    QSslConfiguration::setDefaultConfiguration(saved);
    const QStringList direct = Commands(log);
    ASSERT_GE(direct.size(), 2);
    EXPECT_EQ(direct[0], QStringLiteral("EHLO ") + Host());
    EXPECT_FALSE(direct.contains(QStringLiteral("STARTTLS"))) << direct.join(u'|').toStdString();
    EXPECT_TRUE(implicit.File("1.eml").contains("Body 465"));
    EXPECT_TRUE(implicit.File("1.env").contains("anna:geheim"));
}
