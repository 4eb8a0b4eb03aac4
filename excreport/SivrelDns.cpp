#include "excreport/SivrelDns.h"
#include "excreport/SivrelTypes.h"
#include <QElapsedTimer>
#include <arpa/inet.h>
#include <arpa/nameser.h>
#include <mutex>
#include <netinet/in.h>
#include <poll.h>
#include <random>
#include <resolv.h>
#include <sys/socket.h>
#include <unistd.h>

#ifndef QLY_SIVREL_FALLBACK_DNS
#define QLY_SIVREL_FALLBACK_DNS ""
#endif

namespace excreport {

namespace {

std::mutex g_serversLock;
bool g_serversSet = false;
QStringList g_servers;
uint16_t g_port = 53;

// One question to one server: the reply, or nothing within the wait.
QByteArray Ask(const QString& server, uint16_t port, const QByteArray& query, int waitMs)
{
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    if (inet_pton(AF_INET, server.trimmed().toLatin1().constData(), &to.sin_addr) != 1)
        return {};
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return {};
    QByteArray reply;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) == 0
        && ::send(fd, query.constData(), size_t(query.size()), 0) == query.size()) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, std::max(waitMs, 1)) == 1 && (p.revents & POLLIN)) {
            char buffer[4096];
            const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
            if (n > 0)
                reply = QByteArray(buffer, n);
        }
    }
    ::close(fd);
    return reply;
}

} // namespace

QString MxDomain(const QString& address)
{
    const qsizetype at = address.indexOf(u'@');
    return at < 0 ? address : address.mid(at + 1);
}

QByteArray BuildMxQuery(const QString& domain, uint16_t id)
{
    QByteArray q;
    q += char(id >> 8);
    q += char(id & 0xFF);
    q += QByteArray::fromHex("0100" "0001" "0000" "0000" "0000");
    for (const QByteArray& label : domain.toUtf8().split('.')) {
        if (label.isEmpty() || label.size() > 63)
            continue;
        q += char(label.size());
        q += label;
    }
    q += QByteArray::fromHex("00" "000F" "0001");
    return q;
}

bool ParseMxReply(const QByteArray& reply, uint16_t id, const QString& domain, QString* host)
{
    ns_msg msg;
    const auto* data = reinterpret_cast<const unsigned char*>(reply.constData());
    if (ns_initparse(data, int(reply.size()), &msg) != 0)
        return false;
    if (ns_msg_id(msg) != id || !ns_msg_getflag(msg, ns_f_qr) || ns_msg_getflag(msg, ns_f_rcode) != ns_r_noerror)
        return false;
    int best = -1;
    QString exchange;
    for (int i = 0; i < ns_msg_count(msg, ns_s_an); ++i) {
        ns_rr rr;
        if (ns_parserr(&msg, ns_s_an, i, &rr) != 0)
            return false;
        if (ns_rr_type(rr) != ns_t_mx || ns_rr_rdlen(rr) < 3)
            continue;
        const int preference = ns_get16(ns_rr_rdata(rr));
        char name[NS_MAXDNAME];
        if (dn_expand(ns_msg_base(msg), ns_msg_end(msg), ns_rr_rdata(rr) + 2, name, sizeof name) < 0)
            continue;
        if (best < 0 || preference < best) {
            best = preference;
            exchange = QString::fromUtf8(name);
        }
    }
    *host = best < 0 ? domain : exchange;
    return !host->isEmpty();
}

QStringList GetDnsServers()
{
    {
        std::lock_guard lock(g_serversLock);
        if (g_serversSet)
            return g_servers;
    }
    QStringList servers;
    struct __res_state state {};
    if (res_ninit(&state) == 0) {
        for (int i = 0; i < state.nscount; ++i) {
            if (state.nsaddr_list[i].sin_family != AF_INET)
                continue;
            char text[INET_ADDRSTRLEN] = {};
            inet_ntop(AF_INET, &state.nsaddr_list[i].sin_addr, text, sizeof text);
            const QString address = QString::fromLatin1(text).trimmed();
            if (address != QStringLiteral("0.0.0.0"))
                servers << address;
        }
        res_nclose(&state);
    }
    const QString fallback = QStringLiteral(QLY_SIVREL_FALLBACK_DNS);
    if (!fallback.isEmpty())
        servers << fallback;
    return servers;
}

void SivrelSetDnsServers(const QStringList& servers, uint16_t port)
{
    std::lock_guard lock(g_serversLock);
    g_serversSet = true;
    g_servers = servers;
    g_port = port;
}

QString ResolveMXHost(const QString& address, int timeout)
{
    const QString domain = MxDomain(address);
    std::random_device random;
    const auto id = static_cast<uint16_t>(random());
    const QByteArray query = BuildMxQuery(domain, id);
    const QStringList servers = GetDnsServers();
    uint16_t port = 53;
    {
        std::lock_guard lock(g_serversLock);
        port = g_port;
    }
    int roundTime = (timeout + 150) / 5;
    for (int round = 0; round < 5; ++round, roundTime += 50) {
        QElapsedTimer clock;
        clock.start();
        for (const QString& server : servers) {
            const int left = roundTime - int(clock.elapsed());
            if (left <= 0)
                break;
            QString host;
            if (ParseMxReply(Ask(server, port, query, left), id, domain, &host))
                return host;
        }
        // Without a server (or after quick refusals) the round still lasts its time.
        const int rest = roundTime - int(clock.elapsed());
        if (rest > 0)
            ::usleep(useconds_t(rest) * 1000u);
    }
    throw ESivrelError(QStringLiteral("Cannot resolve the \"%1\" MX record.").arg(domain));
}

} // namespace excreport
