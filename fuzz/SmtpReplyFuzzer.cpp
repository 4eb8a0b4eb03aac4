// The SMTP client's reply reading (multi-line replies, several replies in one read, replies split
// at any byte) against a scripted peer on 127.0.0.1.
// Input: byte 0: bit 0 = the peer offers PIPELINING; byte 1: the number of split points (up to
// 15), then two bytes per split point (an offset into the script), then the script: the bytes the
// peer sends, after the greeting and its EHLO reply, once the client's first command (the NOOP of
// Connect) came; then the peer stops sending and reads until the client hangs up.
// The client connects and sends one message to two recipients.
// Property: the outcome (success, or the error's text and code, and the last reply) is the same
// when the script comes in one piece and when it comes in pieces cut at the split points.
// Seeds (tests/fuzz-corpus/smtpreply/): a whole accepted session, a pipelined one, multi-line
// replies, a refused recipient, and a reply cut short by the peer.
#include "mailing/SmtpClient.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>


namespace {

int g_listener = -1;
int g_port = 0;

// Reads up to and with the next LF; false when the client hung up.
bool ReadLine(int fd)
{
    char c;
    for (;;) {
        const ssize_t n = ::recv(fd, &c, 1, 0);
        if (n <= 0)
            return false;
        if (c == '\n')
            return true;
    }
}

bool SendAll(int fd, const char* p, size_t n)
{
    while (n > 0) {
        const ssize_t w = ::send(fd, p, n, MSG_NOSIGNAL);
        if (w <= 0)
            return false;
        p += w;
        n -= size_t(w);
    }
    return true;
}

void Peer(bool pipelining, const QByteArray& script, const std::vector<int>& cuts)
{
    const int fd = ::accept(g_listener, nullptr, nullptr);
    if (fd < 0)
        return;
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    const std::string ehlo = pipelining ? "250-fuzz\r\n250 PIPELINING\r\n" : "250 fuzz\r\n";
    if (SendAll(fd, "220 fuzz\r\n", 10) && ReadLine(fd) && SendAll(fd, ehlo.data(), ehlo.size()) && ReadLine(fd)) {
        int from = 0;
        for (int cut : cuts) {
            if (!SendAll(fd, script.constData() + from, size_t(cut - from)))
                break;
            from = cut;
            ::usleep(300); // let the client read the piece on its own
        }
        SendAll(fd, script.constData() + from, size_t(script.size() - from));
    }
    ::shutdown(fd, SHUT_WR);
    char sink[4096];
    while (::recv(fd, sink, sizeof sink, 0) > 0) {
    }
    ::close(fd);
}

QString Run(bool pipelining, const QByteArray& script, const std::vector<int>& cuts)
{
    std::thread peer(Peer, pipelining, script, cuts);
    QString outcome;
    {
        TSmtpClient client;
        client.Host = QStringLiteral("127.0.0.1");
        client.Port = g_port;
        client.ConnectTimeoutSeconds = 5;
        client.LowSpeedTimeSeconds = 5;
        try {
            client.Connect();
            client.Send(QStringLiteral("from@example.org"), {QStringLiteral("a@example.org"), QStringLiteral("b@example.org")},
                        QByteArray("Subject: x\r\n\r\nbody\r\n"));
            outcome = QStringLiteral("sent");
        } catch (const ESmtpError& e) {
            outcome = QStringLiteral("error %1/%2: %3").arg(e.CurlCode).arg(e.LoginDenied).arg(e.Message);
        }
        outcome += QStringLiteral(" | last reply: ") + client.LastReply();
        client.Disconnect();
    }
    peer.join();
    return outcome;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    InitSmtpLibrary();
    g_listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    if (g_listener < 0 || ::bind(g_listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0
        || ::listen(g_listener, 4) != 0 || ::getsockname(g_listener, reinterpret_cast<sockaddr*>(&addr), &len) != 0)
        std::abort();
    g_port = ntohs(addr.sin_port);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2 || size > 2048)
        return 0;
    const bool pipelining = data[0] & 1;
    const size_t splits = data[1] % 16;
    if (size < 2 + 2 * splits)
        return 0;
    const QByteArray script(reinterpret_cast<const char*>(data) + 2 + 2 * splits, qsizetype(size - 2 - 2 * splits));
    std::vector<int> cuts;
    for (size_t i = 0; i < splits && !script.isEmpty(); ++i)
        cuts.push_back(int((data[2 + 2 * i] | (data[3 + 2 * i] << 8)) % script.size()));
    std::sort(cuts.begin(), cuts.end());
    cuts.erase(std::unique(cuts.begin(), cuts.end()), cuts.end());

    const QString whole = Run(pipelining, script, {});
    const QString pieces = Run(pipelining, script, cuts);
    if (std::getenv("QLY_FUZZ_VERBOSE"))
        fprintf(stderr, "outcome: %s\n", qPrintable(whole));
    if (whole != pieces) {
        fprintf(stderr, "whole:  %s\npieces: %s\n", qPrintable(whole), qPrintable(pieces));
        __builtin_trap(); // how the bytes were cut changed what the client made of them
    }
    return 0;
}
