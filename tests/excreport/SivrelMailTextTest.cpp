// The texts of the report mail and the MX look-up (against a DNS server on 127.0.0.1).
#include "excreport/SivrelDns.h"
#include "excreport/SivrelMailText.h"
#include "excreport/SivrelTypes.h"
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QFile>
#include <arpa/inet.h>
#include <atomic>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

using namespace excreport;

TEST(SivrelMailText, AddressesAndUrl)
{
    struct {
        const char* text;
        QStringList items;
    } cases[] = {{"a@x.org; b@y.org", {"a@x.org", "b@y.org"}},
                 {"a@x.org,,b@y.org", {"a@x.org", "", "b@y.org"}},
                 {" a@x.org ;", {"a@x.org"}},
                 {"   ", {}},
                 {"a@x.org", {"a@x.org"}}};
    for (const auto& c : cases)
        EXPECT_EQ(SplitAddresses(QString::fromUtf8(c.text)), c.items) << c.text;

    EXPECT_EQ(UrlEncode(QStringLiteral("Fehler & mehr")), QStringLiteral("Fehler%20%26%20mehr"));
    EXPECT_EQ(UrlEncode(QStringLiteral("Grüße.-_")), QStringLiteral("Grüße%2E-%5F"));
    EXPECT_EQ(MailtoUrl(QStringLiteral("a@x.org"), QStringLiteral("S 1"), QStringLiteral("B"), QStringLiteral("R\r\n")),
              QStringLiteral("mailto:a@x.org?Subject=S%201&Body=B%0D%0A%0D%0A%0D%0AR%0D%0A"));
}

TEST(SivrelMailText, Base64AndHeaders)
{
    EXPECT_EQ(EncodeBase64({}), QByteArray());
    EXPECT_EQ(EncodeBase64("Man"), QByteArray("TWFu\r\n"));
    const QByteArray encoded = EncodeBase64(QByteArray(130, 'x'));
    const QList<QByteArray> lines = encoded.split('\n');
    ASSERT_EQ(lines.size(), 4);
    EXPECT_EQ(lines[0].size(), 81);  // 80 characters and the CR
    EXPECT_EQ(lines[1].size(), 81);
    EXPECT_EQ(QByteArray::fromBase64(QByteArray(encoded).replace("\r\n", "")), QByteArray(130, 'x'));

    EXPECT_EQ(HeaderSafe(QStringLiteral("a@x.org>\r\nRCPT TO:<b@y.org")), QStringLiteral("a@x.org>RCPT TO:<b@y.org"));
    EXPECT_EQ(EncodeHeaderText(QStringLiteral("Error report")), QByteArray("Error report"));
    EXPECT_EQ(EncodeHeaderText(QStringLiteral("Fehlerbericht für")), QByteArray("=?UTF-8?B?RmVobGVyYmVyaWNodCBmw7xy?="));
    EXPECT_EQ(AttachmentType(QStringLiteral("/tmp/x/Screenshot.PNG")), QByteArray("image/png"));
    EXPECT_EQ(AttachmentType(QStringLiteral("/tmp/x/quillory.slf")), QByteArray("application/octet-stream"));
}

TEST(SivrelMailText, MessageLayout)
{
    QTemporaryDir dir;
    const QString png = dir.filePath(QStringLiteral("Screenshot.png"));
    const QString log = dir.filePath(QStringLiteral("quillory.slf"));
    for (const QString& path : {png, log}) {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(path == png ? QByteArray("PNGDATA") : QByteArray("log"));
    }
    TSivrelMailParts parts;
    parts.From = QStringLiteral("report@example.invalid");
    parts.To = QStringLiteral("dev@example.org");
    parts.Subject = QStringLiteral("Error");
    parts.Body = QStringLiteral("Body\n.\nEnd");
    parts.Attachments = {png, log, dir.filePath(QStringLiteral("missing.txt")), QStringLiteral(" ")};
    parts.MessageId = QStringLiteral("1234@quillory.invalid");
    const QByteArray b = "=_xcjvnxkbhvfkxzhfdbvzldjhfv";
    const QByteArray expectedTail =
        "Content-Type: multipart/mixed; boundary=\"" + b + "\";\r\n"
        "MIME-Version: 1.0\r\n"
        "Message-ID: <1234@quillory.invalid>\r\n"
        "\r\n"
        "This is a multi-part message in MIME format\r\n"
        "\r\n"
        "--" + b + "\r\n"
        "Content-Type: text/plain; charset=UTF-8\r\n"
        "Content-Transfer-Encoding: 8bit\r\n"
        "\r\n"
        "Body\r\n.\r\nEnd\r\n"
        "\r\n--" + b + "\r\n"
        "Content-Type: image/png;\r\n"
        "        name=\"Screenshot.png\"\r\n"
        "Content-Transfer-Encoding: base64\r\n"
        "Content-Disposition: attachment;\r\n"
        "        filename=\"Screenshot.png\"\r\n"
        "\r\n"
        "UE5HREFUQQ==\r\n"
        "\r\n--" + b + "\r\n"
        "Content-Type: application/octet-stream;\r\n"
        "        name=\"quillory.slf\"\r\n"
        "Content-Transfer-Encoding: base64\r\n"
        "Content-Disposition: attachment;\r\n"
        "        filename=\"quillory.slf\"\r\n"
        "\r\n"
        "bG9n\r\n"
        "--" + b + "--\r\n";
    const QByteArray m = BuildSmtpMessage(parts);
    EXPECT_TRUE(m.startsWith("Date: ")) << m.left(40).constData();
    EXPECT_TRUE(m.contains("\r\nFrom: <report@example.invalid>\r\nSubject: Error\r\nTo: <dev@example.org>\r\n"));
    EXPECT_TRUE(m.endsWith(expectedTail)) << m.constData();

    // Without attachments the text part is followed by the closing boundary.
    parts.Attachments.clear();
    EXPECT_TRUE(BuildSmtpMessage(parts).endsWith("End\r\n--" + b + "--\r\n"));
    // The DATA text doubles a leading "." and ends with the line ".".
    EXPECT_EQ(SmtpDataText("a\r\n.\r\n..b\r\nc"), QByteArray("a\r\n..\r\n...b\r\nc\r\n.\r\n"));
}

namespace {

// A reply with the given header identifier and flags, the question for example.com and the
// given answers (each an MX record whose exchange may use a compression pointer).
QByteArray Reply(uint16_t id, uint16_t flags, const QList<QByteArray>& answers)
{
    QByteArray r;
    r += char(id >> 8);
    r += char(id);
    r += char(flags >> 8);
    r += char(flags);
    r += QByteArray::fromHex("0001");
    r += char(0);
    r += char(answers.size());
    r += QByteArray::fromHex("00000000");
    r += QByteArray::fromHex("076578616d706c6503636f6d00" "000f0001");  // example.com at offset 12
    for (const QByteArray& rdata : answers) {
        r += QByteArray::fromHex("c00c" "000f" "0001" "00000e10");
        r += char(rdata.size() >> 8);
        r += char(rdata.size());
        r += rdata;
    }
    return r;
}

QByteArray Mx(uint16_t preference, const QByteArray& name)
{
    QByteArray d;
    d += char(preference >> 8);
    d += char(preference);
    return d + name;
}

} // namespace

TEST(SivrelDns, QueryAndReplies)
{
    EXPECT_EQ(MxDomain(QStringLiteral("dev@example.com")), QStringLiteral("example.com"));
    EXPECT_EQ(MxDomain(QStringLiteral("example.com")), QStringLiteral("example.com"));
    EXPECT_EQ(BuildMxQuery(QStringLiteral("example.com"), 0x4142).toHex(),
              QByteArray("414201000001000000000000076578616d706c6503636f6d00000f0001"));

    const QByteArray mail1 = QByteArray::fromHex("056d61696c31c00c");      // mail1 + pointer to example.com
    const QByteArray mail2 = QByteArray::fromHex("056d61696c32c00c");
    struct {
        const char* name;
        QByteArray reply;
        bool ok;
        const char* host;
    } cases[] = {
        {"pointer", Reply(7, 0x8180, {Mx(10, mail1)}), true, "mail1.example.com"},
        {"lowest preference", Reply(7, 0x8180, {Mx(20, mail1), Mx(5, mail2)}), true, "mail2.example.com"},
        {"no MX: the domain", Reply(7, 0x8180, {}), true, "example.com"},
        {"other identifier", Reply(8, 0x8180, {Mx(10, mail1)}), false, ""},
        {"not a response", Reply(7, 0x0100, {Mx(10, mail1)}), false, ""},
        {"name error", Reply(7, 0x8183, {}), false, ""},
        {"cut short", Reply(7, 0x8180, {Mx(10, mail1)}).left(40), false, ""},
    };
    for (const auto& c : cases) {
        QString host;
        EXPECT_EQ(ParseMxReply(c.reply, 7, QStringLiteral("example.com"), &host), c.ok) << c.name;
        if (c.ok)
            EXPECT_EQ(host.toStdString(), c.host) << c.name;
    }
}

namespace {

// A DNS server on 127.0.0.1 answering each query with an MX record, or never.
class FakeDns {
public:
    explicit FakeDns(bool answer) : m_answer(answer)
    {
        m_fd = ::socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(m_fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
        socklen_t len = sizeof a;
        ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&a), &len);
        m_port = ntohs(a.sin_port);
        m_thread = std::thread([this] { Serve(); });
    }
    ~FakeDns()
    {
        m_stop = true;
        m_thread.join();
        ::close(m_fd);
    }
    uint16_t Port() const { return m_port; }
    int Queries() const { return m_queries; }

private:
    void Serve()
    {
        while (!m_stop) {
            pollfd p{m_fd, POLLIN, 0};
            if (::poll(&p, 1, 20) != 1)
                continue;
            char buffer[512];
            sockaddr_in from{};
            socklen_t len = sizeof from;
            const ssize_t n = ::recvfrom(m_fd, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &len);
            if (n < 12)
                continue;
            ++m_queries;
            if (!m_answer)
                continue;
            const uint16_t id = uint16_t((uint8_t(buffer[0]) << 8) | uint8_t(buffer[1]));
            const QByteArray reply = Reply(id, 0x8180, {Mx(10, QByteArray::fromHex("026d78c00c"))});
            ::sendto(m_fd, reply.constData(), size_t(reply.size()), 0, reinterpret_cast<sockaddr*>(&from), len);
        }
    }

    bool m_answer;
    int m_fd = -1;
    uint16_t m_port = 0;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_queries{0};
    std::thread m_thread;
};

} // namespace

TEST(SivrelDns, LookUpThroughALocalServer)
{
    {
        FakeDns dns(true);
        SivrelSetDnsServers({QStringLiteral("127.0.0.1")}, dns.Port());
        EXPECT_EQ(ResolveMXHost(QStringLiteral("dev@example.com"), 30), QStringLiteral("mx.example.com"));
    }
    FakeDns silent(false);
    SivrelSetDnsServers({QStringLiteral("127.0.0.1")}, silent.Port());
    QElapsedTimer clock;
    clock.start();
    try {
        ResolveMXHost(QStringLiteral("dev@example.com"), 30);
        ADD_FAILURE() << "no error";
    } catch (const ESivrelError& e) {
        EXPECT_EQ(e.Message().toStdString(), "Cannot resolve the \"example.com\" MX record.");
    }
    EXPECT_GE(clock.elapsed(), 660);
    EXPECT_LE(clock.elapsed(), 2000);
    EXPECT_EQ(silent.Queries(), 5);
    SivrelSetDnsServers({}, 53);
}
