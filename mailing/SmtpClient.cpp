#include "mailing/SmtpClient.h"

#include "core/OrvUtils.h"

#include <QDeadlineTimer>
#include <curl/curl.h>
#include <idn2.h>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>

namespace {

size_t DiscardOutput(char*, size_t size, size_t nmemb, void*)
{
    return size * nmemb;
}

int CancelCheck(void* flag, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
{
    const auto* cancel = static_cast<const std::atomic<bool>*>(flag);
    return cancel && cancel->load() ? 1 : 0;
}

// Pieces of a message shorter than this are gathered into one write (a mail with attachments
// of a few hundred KB goes out in one send, which also spares the server many small reads);
// longer ones are written from where they lie.
constexpr qsizetype GatherLimit = 512 * 1024;
constexpr qsizetype GatherBuffer = 512 * 1024;
// Pieces at least this long are remembered once looked through for lines starting with ".".
constexpr qsizetype RememberedPiece = 4096;
constexpr int RememberedPieces = 8;
// How often a wait looks at the Cancel flag.
constexpr int CancelCheckMs = 200;
// After an abort, how long the answer to a message whose end went out is still waited for.
constexpr int AnswerGraceMs = 1000;

bool IsAscii(QByteArrayView bytes)
{
    for (char c : bytes)
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    return true;
}

// Appends an address as the argument of MAIL FROM or RCPT TO: "<local@host>", a host name with
// other than ASCII characters in its ASCII form (IDNA, as libcurl writes it).
void AppendEnvelopeAddress(QByteArray& out, const QString& address)
{
    const QByteArray raw = address.toUtf8();
    const qsizetype at = raw.indexOf('@');
    out += '<';
    if (at < 0 || IsAscii(raw)) {
        out += raw;
        out += '>';
        return;
    }
    QByteArray host = raw.mid(at + 1);
    if (!IsAscii(host)) {
        char* ace = nullptr;
        int rc = idn2_lookup_u8(reinterpret_cast<const uint8_t*>(host.constData()), reinterpret_cast<uint8_t**>(&ace),
                                IDN2_NFC_INPUT | IDN2_NONTRANSITIONAL);
        if (rc != IDN2_OK) {
            idn2_free(ace);
            ace = nullptr;
            rc = idn2_lookup_u8(reinterpret_cast<const uint8_t*>(host.constData()), reinterpret_cast<uint8_t**>(&ace),
                                IDN2_TRANSITIONAL);
        }
        if (rc == IDN2_OK && ace)
            host = QByteArray(ace);
        idn2_free(ace);
    }
    out.append(raw.constData(), at + 1);
    out += host;
    out += '>';
}

qint64 Seconds(long seconds)
{
    return qint64(std::max(1L, seconds)) * 1000;
}

} // namespace

TSmtpServer ParseSmtpServer(const QString& text)
{
    TSmtpServer server;
    const int colon = int(text.indexOf(QLatin1Char(':')));
    if (colon >= 1) {
        QStringList items;
        core::SplitString(text, QStringLiteral(":"), items);
        server.Host = items.value(0);
        const QString portText = items.value(1);
        bool ok = false;
        const int port = portText.toInt(&ok, 10);
        if (!ok)
            throw std::runtime_error(QStringLiteral("'%1' ist kein gültiger Integerwert").arg(portText).toStdString());
        if (port < 1 || port > 65535)
            throw std::runtime_error(QStringLiteral("Ungültige Portnummer: %1").arg(port).toStdString());
        server.Port = port;
    } else {
        server.Host = text;
    }
    return server;
}

QString SmtpNoEncryptionMessage()
{
    return QStringLiteral("Der Server bietet keine verschlüsselte Verbindung an; das Kennwort wird nicht "
                          "unverschlüsselt gesendet.");
}

QString SmtpNoAuthMessage()
{
    return QStringLiteral("Der Server bietet keine Anmeldung (AUTH) an; Benutzername und Kennwort können nicht "
                          "verwendet werden.");
}

namespace {

bool IsLoopbackAddress(const sockaddr* address)
{
    if (!address)
        return false;
    if (address->sa_family == AF_INET) {
        const auto* in = reinterpret_cast<const sockaddr_in*>(address);
        return (ntohl(in->sin_addr.s_addr) >> 24) == 127;
    }
    if (address->sa_family == AF_INET6) {
        const auto* in6 = reinterpret_cast<const sockaddr_in6*>(address);
        if (IN6_IS_ADDR_LOOPBACK(&in6->sin6_addr))
            return true;
        return IN6_IS_ADDR_V4MAPPED(&in6->sin6_addr) && in6->sin6_addr.s6_addr[12] == 127;
    }
    return false;
}

bool LoopbackCountsAsRemote()
{
    return qgetenv("QLY_TEST_LOOPBACK_IS_REMOTE") == "1";
}

} // namespace

bool SmtpHostIsLoopback(const QString& host)
{
    if (LoopbackCountsAsRemote())
        return false;
    QString h = host.trimmed().toLower();
    if (h.startsWith(QLatin1Char('[')) && h.endsWith(QLatin1Char(']')))
        h = h.mid(1, h.size() - 2);
    if (h.endsWith(QLatin1Char('.')))
        h.chop(1);
    if (h == QLatin1String("localhost") || h.endsWith(QLatin1String(".localhost")))
        return true;
    const QByteArray text = h.toLatin1();
    sockaddr_in in{};
    if (inet_pton(AF_INET, text.constData(), &in.sin_addr) == 1) {
        in.sin_family = AF_INET;
        return IsLoopbackAddress(reinterpret_cast<const sockaddr*>(&in));
    }
    sockaddr_in6 in6{};
    if (inet_pton(AF_INET6, text.constData(), &in6.sin6_addr) == 1) {
        in6.sin6_family = AF_INET6;
        return IsLoopbackAddress(reinterpret_cast<const sockaddr*>(&in6));
    }
    return false;
}

QString TSmtpClient::DefaultCaFile()
{
    return qEnvironmentVariable("SSL_CERT_FILE");
}

void InitSmtpLibrary()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct TSmtpSocketCallbacks {
    static curl_socket_t Open(void* self, curlsocktype purpose, curl_sockaddr* address);
    static int Close(void* self, curl_socket_t socket);
};

TSmtpClient::TSmtpClient()
{
    m_errorBuffer[0] = 0;
}

TSmtpClient::~TSmtpClient()
{
    Disconnect();
}

void TSmtpClient::NoteReplyLine(const QString& line)
{
    m_pendingReply += (m_pendingReply.isEmpty() ? QString() : QStringLiteral(" ")) + line;
    // "250-..." continues a reply, "250 ..." or a bare code ends it.
    if (line.size() < 4 || line.at(3) != QLatin1Char('-')) {
        m_lastReply = m_pendingReply;
        // Keep the last refusal: libcurl may still say more before it gives up.
        if (line.startsWith(QLatin1Char('4')) || line.startsWith(QLatin1Char('5')))
            m_requestReply = m_pendingReply;
        m_pendingReply.clear();
    }
}

size_t TSmtpClient::ReplyCallback(char* data, size_t size, size_t nitems, void* self)
{
    // While libcurl opens the session it hands every reply line of the server to the header
    // function: the greeting, the EHLO reply with the server's extensions, STARTTLS and AUTH.
    auto* client = static_cast<TSmtpClient*>(self);
    const QString chunk = QString::fromUtf8(data, qsizetype(size * nitems));
    for (const QString& raw : chunk.split(QLatin1Char('\n'))) {
        const QString line = raw.trimmed();
        if (line.isEmpty())
            continue;
        if (line.startsWith(QLatin1String("220"))) {
            // a greeting, or the start of TLS: the EHLO that follows tells the extensions anew
            client->m_pipelining = client->m_sizeOffered = client->m_utf8Offered = false;
        } else if (line.startsWith(QLatin1String("250")) && line.size() > 4) {
            const QString keyword = line.mid(4).section(QLatin1Char(' '), 0, 0).toUpper();
            if (keyword == QLatin1String("PIPELINING"))
                client->m_pipelining = true;
            else if (keyword == QLatin1String("SIZE"))
                client->m_sizeOffered = true;
            else if (keyword == QLatin1String("SMTPUTF8"))
                client->m_utf8Offered = true;
            else if (keyword == QLatin1String("STARTTLS"))
                client->m_startTlsOffered = true;
        } else if (line.startsWith(QLatin1String("235"))) {
            client->m_authAccepted = true;
        }
        client->NoteReplyLine(line);
        if (line.startsWith(QLatin1String("220")) && (line.size() < 4 || line.at(3) != QLatin1Char('-')))
            ++client->m_greetings;
    }
    return size * nitems;
}

void TSmtpClient::Prepare()
{
    if (!m_curl) {
        m_curl = curl_easy_init();
        if (!m_curl)
            throw ESmtpError(QStringLiteral("libcurl konnte nicht initialisiert werden."), CURLE_FAILED_INIT, false);
        m_connected = false;
    }
    CURL* c = m_curl;
    m_implicitTls = Port == SmtpImplicitTlsPort;
    const QString url = QStringLiteral("%1://%2:%3").arg(m_implicitTls ? "smtps" : "smtp", Host).arg(Port);
    curl_easy_setopt(c, CURLOPT_URL, url.toUtf8().constData());
    // A password goes to another machine only over TLS: libcurl then fails before AUTH when the
    // server offers no STARTTLS or refuses it. Without a password (or to this machine, which the
    // socket callback makes sure of) STARTTLS is taken when offered.
    const bool passwordInClearAllowed = SmtpHostIsLoopback(Host);
    m_loopbackOnly = Authenticate && !m_implicitTls && passwordInClearAllowed;
    if (!m_implicitTls)
        curl_easy_setopt(c, CURLOPT_USE_SSL,
                         long(Authenticate && !passwordInClearAllowed ? CURLUSESSL_ALL : CURLUSESSL_TRY));
    curl_easy_setopt(c, CURLOPT_OPENSOCKETFUNCTION, &TSmtpSocketCallbacks::Open);
    curl_easy_setopt(c, CURLOPT_OPENSOCKETDATA, this);
    curl_easy_setopt(c, CURLOPT_CLOSESOCKETFUNCTION, &TSmtpSocketCallbacks::Close);
    curl_easy_setopt(c, CURLOPT_CLOSESOCKETDATA, this);
    curl_easy_setopt(c, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(c, CURLOPT_SSL_VERIFYHOST, 2L);
    if (!CaFile.isEmpty())
        curl_easy_setopt(c, CURLOPT_CAINFO, CaFile.toUtf8().constData());
    curl_easy_setopt(c, CURLOPT_USERNAME, Authenticate ? Username.toUtf8().constData() : nullptr);
    curl_easy_setopt(c, CURLOPT_PASSWORD, Authenticate ? Password.toUtf8().constData() : nullptr);
    curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT, ConnectTimeoutSeconds);
    curl_easy_setopt(c, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(c, CURLOPT_LOW_SPEED_TIME, LowSpeedTimeSeconds);
    curl_easy_setopt(c, CURLOPT_SERVER_RESPONSE_TIMEOUT, LowSpeedTimeSeconds);
    curl_easy_setopt(c, CURLOPT_ERRORBUFFER, m_errorBuffer);
    curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, &DiscardOutput);
    curl_easy_setopt(c, CURLOPT_HEADERFUNCTION, &TSmtpClient::ReplyCallback);
    curl_easy_setopt(c, CURLOPT_HEADERDATA, this);
    curl_easy_setopt(c, CURLOPT_NOPROGRESS, Cancel ? 0L : 1L);
    curl_easy_setopt(c, CURLOPT_XFERINFOFUNCTION, Cancel ? &CancelCheck : nullptr);
    curl_easy_setopt(c, CURLOPT_XFERINFODATA, Cancel);
    // libcurl opens the session and leaves the connection to us.
    curl_easy_setopt(c, CURLOPT_CONNECT_ONLY, 1L);
    // Commands and the message's last piece go out at once, not after the peer's delayed ACK.
    curl_easy_setopt(c, CURLOPT_TCP_NODELAY, 1L);
}

void TSmtpClient::OpenSession()
{
    Prepare();
    m_errorBuffer[0] = 0;
    m_requestReply.clear();
    m_pendingReply.clear();
    m_in.clear();
    m_out.clear();
    m_pipelining = m_sizeOffered = m_utf8Offered = false;
    m_startTlsOffered = m_authAccepted = false;
    m_greetings = 0;
    const CURLcode rc = curl_easy_perform(m_curl);
    if (rc == CURLE_OK) {
        curl_socket_t socket = CURL_SOCKET_BAD;
        if (curl_easy_getinfo(m_curl, CURLINFO_ACTIVESOCKET, &socket) != CURLE_OK || socket == CURL_SOCKET_BAD) {
            Disconnect();
            throw ESmtpError(QString::fromUtf8(curl_easy_strerror(CURLE_COULDNT_CONNECT)), CURLE_COULDNT_CONNECT, false);
        }
        m_socket = socket;
        // TLS when it was asked for (implicit TLS) or when the server offered STARTTLS, which
        // libcurl then always takes (and fails without, when it is required). A STARTTLS the
        // server refused leaves a plain session that is still written through libcurl: erring
        // that way only costs speed.
        m_tls = m_implicitTls || m_startTlsOffered;
        if (Authenticate && !m_tls && !SmtpHostIsLoopback(Host)) {
            Disconnect();
            throw ESmtpError(SmtpNoEncryptionMessage(), CURLE_USE_SSL_FAILED, false);
        }
        // libcurl skips the login when the server offers no AUTH: that is no success.
        if (Authenticate && !m_authAccepted) {
            Disconnect();
            throw ESmtpError(SmtpNoAuthMessage(), CURLE_LOGIN_DENIED, true);
        }
        m_connected = true;
        return;
    }
    QString message;
    if (rc == CURLE_USE_SSL_FAILED && Authenticate)
        message = SmtpNoEncryptionMessage();
    else if (!m_requestReply.isEmpty())
        message = m_requestReply;
    else if (m_errorBuffer[0])
        message = QString::fromUtf8(m_errorBuffer);
    else
        message = QString::fromUtf8(curl_easy_strerror(rc));
    if (rc == CURLE_ABORTED_BY_CALLBACK) {
        curl_socket_t socket = CURL_SOCKET_BAD;
        if (curl_easy_getinfo(m_curl, CURLINFO_ACTIVESOCKET, &socket) == CURLE_OK && socket != CURL_SOCKET_BAD)
            ::shutdown(socket, SHUT_RDWR);
    }
    Disconnect();
    throw ESmtpError(message.trimmed(), int(rc), rc == CURLE_LOGIN_DENIED, rc == CURLE_ABORTED_BY_CALLBACK);
}

curl_socket_t TSmtpSocketCallbacks::Open(void* self, curlsocktype, curl_sockaddr* a)
{
    auto* client = static_cast<TSmtpClient*>(self);
    // A password without TLS goes only to this machine, whatever the name resolved to.
    if (client->m_loopbackOnly && (LoopbackCountsAsRemote() || !IsLoopbackAddress(&a->addr)))
        return CURL_SOCKET_BAD;
    std::lock_guard lock(client->m_socketsMutex);
    if (client->m_interrupted)
        return CURL_SOCKET_BAD;
    const int s = ::socket(a->family, a->socktype | SOCK_CLOEXEC, a->protocol);
    if (s >= 0)
        client->m_openSockets.push_back(s);
    return s < 0 ? CURL_SOCKET_BAD : s;
}

int TSmtpSocketCallbacks::Close(void* self, curl_socket_t socket)
{
    auto* client = static_cast<TSmtpClient*>(self);
    {
        std::lock_guard lock(client->m_socketsMutex);
        std::erase(client->m_openSockets, static_cast<long long>(socket));
    }
    return ::close(socket);
}

void TSmtpClient::Interrupt()
{
    std::lock_guard lock(m_socketsMutex);
    m_interrupted = true;
    for (long long s : m_openSockets)
        ::shutdown(int(s), SHUT_RDWR);
}

void TSmtpClient::Fail(const QString& message, int curlCode, bool sessionUsable, bool cancelled)
{
    if (!m_quitting) {
        // A session whose state is unknown (a transfer cut short, a reply not awaited, an abort)
        // is not said QUIT to: that could wait for a stalled server.
        m_clean = sessionUsable && !cancelled;
        if (!m_clean && m_socket >= 0)
            ::shutdown(int(m_socket), SHUT_RDWR);
        Disconnect();
    }
    throw ESmtpError(message.trimmed(), curlCode, false, cancelled);
}

bool TSmtpClient::WaitForSocket(bool forWrite, qint64 deadlineMs)
{
    const QDeadlineTimer deadline(deadlineMs);
    for (;;) {
        qint64 left = deadline.remainingTime();
        if (Cancel && Cancel->load()) {
            // What is already there is still taken (an answer that arrived is not lost).
            pollfd ready{int(m_socket), short(forWrite ? POLLOUT : POLLIN), 0};
            if (::poll(&ready, 1, 0) > 0)
                return true;
            // The answer to a message whose end went out is waited for a moment: the server
            // may have taken the mail, and then it counts as sent.
            if (!m_answerDue || forWrite)
                Fail(QString::fromUtf8(curl_easy_strerror(CURLE_ABORTED_BY_CALLBACK)), CURLE_ABORTED_BY_CALLBACK, false, true);
            if (!m_graceStarted) {
                m_graceStarted = true;
                m_grace.setRemainingTime(AnswerGraceMs);
            }
            if (m_grace.hasExpired())
                Fail(QString::fromUtf8(curl_easy_strerror(CURLE_ABORTED_BY_CALLBACK)), CURLE_ABORTED_BY_CALLBACK, false, true);
            left = left < 0 ? m_grace.remainingTime() : std::min(left, m_grace.remainingTime());
        }
        if (left == 0)
            return false;
        pollfd p{int(m_socket), short(forWrite ? POLLOUT : POLLIN), 0};
        const int timeout = Cancel ? int(std::min<qint64>(left, CancelCheckMs)) : int(std::min<qint64>(left, 1 << 30));
        const int n = ::poll(&p, 1, timeout);
        if (n > 0)
            return true;  // ready, or an error the next send or receive reports
        if (n < 0 && errno != EINTR)
            return true;
    }
}

void TSmtpClient::FailTooSlow()
{
    Fail(QStringLiteral("Operation too slow. Less than 1 bytes/sec transferred the last %1 seconds").arg(LowSpeedTimeSeconds),
         CURLE_OPERATION_TIMEDOUT, false);
}

void TSmtpClient::Write(const char* data, qsizetype size)
{
    qint64 stallLimit = Seconds(LowSpeedTimeSeconds);
    while (size > 0) {
        size_t sent = 0;
        const CURLcode rc = curl_easy_send(m_curl, data, size_t(size), &sent);
        if (rc == CURLE_AGAIN || (rc == CURLE_OK && sent == 0)) {
            // The same bytes are offered again (TLS needs that after a blocked write).
            if (!WaitForSocket(true, stallLimit))
                FailTooSlow();
            continue;
        }
        if (rc != CURLE_OK)
            Fail(m_errorBuffer[0] ? QString::fromUtf8(m_errorBuffer) : QString::fromUtf8(curl_easy_strerror(rc)), rc, false);
        data += sent;
        size -= qsizetype(sent);
    }
}

void TSmtpClient::Queue(const char* data, qsizetype size)
{
    if (size >= GatherLimit) {
        Flush();
        Write(data, size);
        return;
    }
    m_out.append(data, size);
    if (m_out.size() >= GatherBuffer)
        Flush();
}

void TSmtpClient::Flush()
{
    if (!m_spans.empty()) {
        // the message's pieces, then what was gathered behind them, in one go
        if (!m_out.isEmpty())
            m_spans.push_back(Span{m_out.constData(), m_out.size()});
        WriteSpans(m_spans);
        m_spans.clear();
        m_heldPieces.clear();
        m_out.resize(0);
        return;
    }
    if (m_out.isEmpty())
        return;
    Write(m_out.constData(), m_out.size());
    m_out.resize(0);  // keeps its capacity (clear would free it)
}

void TSmtpClient::WriteSpans(std::vector<Span>& spans)
{
    // The raw socket carries only a plain session: on TLS it would put the bytes in clear
    // beside the TLS layer.
    if (m_tls)
        throw std::logic_error("plain socket write on a TLS session");
    const qint64 stallLimit = Seconds(LowSpeedTimeSeconds);
    constexpr int MaxVectors = 64;
    iovec vectors[MaxVectors];
    size_t first = 0;
    for (;;) {
        while (first < spans.size() && spans[first].size == 0)
            ++first;
        if (first == spans.size())
            break;
        int count = 0;
        for (size_t k = first; k < spans.size() && count < MaxVectors; ++k)
            if (spans[k].size > 0)
                vectors[count++] = iovec{const_cast<char*>(spans[k].data), size_t(spans[k].size)};
        msghdr message{};
        message.msg_iov = vectors;
        message.msg_iovlen = size_t(count);
        const ssize_t sent = ::sendmsg(int(m_socket), &message, MSG_NOSIGNAL);
        if (sent < 0) {
            const int error = errno;
            if (error == EINTR)
                continue;
            if (error == EAGAIN || error == EWOULDBLOCK) {
                if (!WaitForSocket(true, stallLimit))
                    FailTooSlow();
                continue;
            }
            // as libcurl words a failed send
            Fail(QStringLiteral("Send failure: %1").arg(QString::fromLocal8Bit(strerror(error))), CURLE_SEND_ERROR, false);
        }
        for (qsizetype left = qsizetype(sent); left > 0;) {
            Span& span = spans[first];
            if (span.size <= left) {
                left -= span.size;
                ++first;
            } else {
                span.data += left;
                span.size -= left;
                left = 0;
            }
        }
    }
}

TSmtpClient::Reply TSmtpClient::ReadReply()
{
    const qint64 limit = Seconds(LowSpeedTimeSeconds);
    QDeadlineTimer deadline(limit);
    Reply reply;
    qsizetype from = 0;
    for (;;) {
        qsizetype end;
        while ((end = m_in.indexOf('\n', from)) >= 0) {
            const QString line = QString::fromUtf8(m_in.constData() + from, end - from).trimmed();
            from = end + 1;
            if (line.isEmpty())
                continue;
            reply.text += (reply.text.isEmpty() ? QString() : QStringLiteral(" ")) + line;
            if (line.size() < 4 || line.at(3) != QLatin1Char('-')) {
                m_in.remove(0, from);
                reply.code = line.left(3).toInt();
                m_lastReply = reply.text;
                return reply;
            }
        }
        // Without TLS, wait for the socket first (the reply is rarely there yet); with TLS,
        // libcurl may hold decrypted bytes the socket no longer shows.
        if (!m_tls && !WaitForSocket(false, deadline.remainingTime()))
            Fail(QStringLiteral("server response timeout"), CURLE_OPERATION_TIMEDOUT, false);
        char buffer[4096];
        size_t n = 0;
        const CURLcode rc = curl_easy_recv(m_curl, buffer, sizeof buffer, &n);
        if (rc == CURLE_AGAIN) {
            if (m_tls && !WaitForSocket(false, deadline.remainingTime()))
                Fail(QStringLiteral("server response timeout"), CURLE_OPERATION_TIMEDOUT, false);
            continue;
        }
        if (rc != CURLE_OK)
            Fail(m_errorBuffer[0] ? QString::fromUtf8(m_errorBuffer) : QString::fromUtf8(curl_easy_strerror(rc)), rc, false);
        if (n == 0)
            Fail(QString::fromUtf8(curl_easy_strerror(CURLE_RECV_ERROR)), CURLE_RECV_ERROR, false);
        m_in.append(buffer, qsizetype(n));
    }
}

void TSmtpClient::Command(const QByteArray& line, int expectedClass)
{
    Flush();
    Write(line.constData(), line.size());
    const Reply reply = ReadReply();
    if (reply.code / 100 != expectedClass)
        Fail(reply.text, CURLE_SEND_ERROR, true);
}

void TSmtpClient::Connect()
{
    if (!m_connected)
        OpenSession();
    m_clean = false;
    Command("NOOP\r\n", 2);
    m_clean = true;
}

void TSmtpClient::Send(const QString& from, const QStringList& recipients, const QByteArray& data)
{
    Send(from, recipients, QList<QByteArray>{data});
}

void TSmtpClient::Send(const QString& from, const QStringList& recipients, const QList<QByteArray>& pieces)
{
    BeginSend(from, recipients, pieces);
    FinishSend();
}

QByteArray TSmtpClient::Envelope(const QString& from, const QStringList& recipients, const QList<QByteArray>& pieces) const
{
    qint64 total = 0;
    for (const QByteArray& piece : pieces)
        total += piece.size();
    // The envelope as libcurl writes it: SIZE when offered, SMTPUTF8 when offered and an
    // address needs it.
    bool utf8 = false;
    if (m_utf8Offered) {
        const auto ascii = [](const QString& text) {
            for (const QChar c : text)
                if (c.unicode() >= 0x80)
                    return false;
            return true;
        };
        utf8 = !ascii(from);
        for (const QString& r : recipients)
            utf8 = utf8 || !ascii(r);
    }
    QByteArray envelope;
    envelope.reserve(64 + from.size() * 3 + qsizetype(recipients.size()) * 128);
    envelope += "MAIL FROM:";
    AppendEnvelopeAddress(envelope, from);
    if (m_sizeOffered && total > 0) {
        envelope += " SIZE=";
        envelope += QByteArray::number(total);
    }
    if (utf8)
        envelope += " SMTPUTF8";
    envelope += "\r\n";
    for (const QString& r : recipients) {
        envelope += "RCPT TO:";
        AppendEnvelopeAddress(envelope, r);
        envelope += "\r\n";
    }
    envelope += "DATA\r\n";
    return envelope;
}

void TSmtpClient::ReadEnvelopeReplies(qsizetype recipients)
{
    // Every reply is read, so that a refusal leaves the session in order.
    Reply refused;
    Reply reply = ReadReply();
    if (reply.code / 100 != 2)
        refused = reply;
    for (qsizetype i = 0; i < recipients; ++i) {
        reply = ReadReply();
        if (reply.code / 100 != 2 && refused.code == 0)
            refused = reply;
    }
    reply = ReadReply();
    if (refused.code != 0) {
        if (reply.code / 100 == 3) {
            // DATA taken without a recipient: an empty message ends the transaction.
            Write(".\r\n", 3);
            ReadReply();
        }
        Fail(refused.text, CURLE_SEND_ERROR, true);
    }
    if (reply.code / 100 != 3)
        Fail(reply.text, CURLE_SEND_ERROR, true);
}

void TSmtpClient::BeginSend(const QString& from, const QStringList& recipients, const QList<QByteArray>& pieces)
{
    if (m_sendPending)
        throw std::logic_error("the answer to the previous message is not read yet");
    if (!m_connected)
        OpenSession();
    if (Cancel && Cancel->load())
        Fail(QString::fromUtf8(curl_easy_strerror(CURLE_ABORTED_BY_CALLBACK)), CURLE_ABORTED_BY_CALLBACK, true, true);
    m_clean = false;
    const QByteArray envelope = Envelope(from, recipients, pieces);
    if (m_pipelining) {
        Queue(envelope.constData(), envelope.size());
        Flush();
        ReadEnvelopeReplies(recipients.size());
    } else {
        // one command at a time: the envelope's lines
        qsizetype at = 0;
        for (qsizetype i = 0; i < recipients.size() + 2; ++i) {
            const qsizetype end = envelope.indexOf("\r\n", at) + 2;
            Command(envelope.mid(at, end - at), i == recipients.size() + 1 ? 3 : 2);
            at = end;
        }
    }
    WriteMessage(pieces);
    m_sendPending = true;
}

bool TSmtpClient::SendEnvelopeAhead(const QString& from, const QStringList& recipients, const QList<QByteArray>& pieces)
{
    if (!m_sendPending || !m_pipelining || m_envelopeAhead || !m_connected || (Cancel && Cancel->load()))
        return false;
    const QByteArray envelope = Envelope(from, recipients, pieces);
    try {
        // behind the previous message's end, in one write
        Queue(envelope.constData(), envelope.size());
        Flush();
    } catch (const ESmtpError&) {
        m_aheadFailure = std::current_exception();
        return false;
    }
    m_envelopeAhead = true;
    m_aheadRecipients = recipients.size();
    return true;
}

void TSmtpClient::ContinueSend(const QList<QByteArray>& pieces)
{
    if (!m_envelopeAhead || m_sendPending)
        throw std::logic_error("no envelope was sent ahead");
    m_envelopeAhead = false;
    if (Cancel && Cancel->load())
        Fail(QString::fromUtf8(curl_easy_strerror(CURLE_ABORTED_BY_CALLBACK)), CURLE_ABORTED_BY_CALLBACK, false, true);
    m_clean = false;
    ReadEnvelopeReplies(m_aheadRecipients);
    WriteMessage(pieces);
    m_sendPending = true;
}

void TSmtpClient::FinishSend()
{
    if (m_aheadFailure) {
        const std::exception_ptr failure = m_aheadFailure;
        m_aheadFailure = nullptr;
        std::rethrow_exception(failure);
    }
    if (!m_sendPending)
        return;
    m_sendPending = false;
    // The message's end, unless an envelope took it along. After an abort it stays unwritten:
    // the server drops the unfinished message with the connection (it cannot arrive unmarked).
    if (!m_out.isEmpty() && Cancel && Cancel->load())
        Fail(QString::fromUtf8(curl_easy_strerror(CURLE_ABORTED_BY_CALLBACK)), CURLE_ABORTED_BY_CALLBACK, false, true);
    Flush();
    m_answerDue = true;
    m_graceStarted = false;
    Reply reply;
    try {
        reply = ReadReply();
    } catch (...) {
        m_answerDue = false;
        throw;
    }
    m_answerDue = false;
    // With an envelope ahead the server now waits for that message: the session is usable only
    // through ContinueSend (no QUIT, which the server would take as message text).
    if (reply.code / 100 != 2)
        Fail(reply.text, CURLE_SEND_ERROR, !m_envelopeAhead);
    m_clean = !m_envelopeAhead;
}

void TSmtpClient::WriteMessage(const QList<QByteArray>& pieces)
{
    // A "." at the start of a line is doubled (the message's start counts as one). state: how
    // much of a CR LF the bytes so far end with (2: a line starts).
    static const char Dot = '.';
    Flush();
    std::vector<Span>& spans = m_spans;
    int state = 2;
    for (const QByteArray& piece : pieces) {
        const char* const begin = piece.constData();
        const char* const end = begin + piece.size();
        // A piece looked through before needs a look at its first two bytes only: whether
        // they start a line depends on the piece before.
        bool known = false;
        for (const QByteArray& seen : std::as_const(m_withoutDotLines))
            if (seen.constData() == begin && seen.size() == piece.size()) {
                known = true;
                break;
            }
        const char* const scanEnd = known ? begin + std::min<qsizetype>(piece.size(), 2) : end;
        bool doubledInside = false;
        const char* run = begin;  // not yet queued
        for (const char* p = begin; p < scanEnd;) {
            const char* dot = static_cast<const char*>(memchr(p, '.', size_t(scanEnd - p)));
            if (!dot)
                break;
            bool lineStart;
            if (dot - begin >= 2)
                lineStart = dot[-2] == '\r' && dot[-1] == '\n';
            else if (dot == begin)
                lineStart = state == 2;
            else
                lineStart = state == 1 && dot[-1] == '\n';
            if (lineStart) {
                spans.push_back(Span{run, dot + 1 - run});
                spans.push_back(Span{&Dot, 1});
                run = dot + 1;
                doubledInside = doubledInside || dot - begin >= 2;
            }
            p = dot + 1;
        }
        if (end > run)
            spans.push_back(Span{run, end - run});
        // Only bytes the piece owns are remembered (a piece over foreign memory could change).
        if (!known && !doubledInside && piece.size() >= RememberedPiece && piece.capacity() >= piece.size()) {
            if (m_withoutDotLines.size() >= RememberedPieces)
                m_withoutDotLines.removeFirst();
            m_withoutDotLines.append(piece);
        }
        if (piece.size() >= 2)
            state = end[-2] == '\r' && end[-1] == '\n' ? 2 : end[-1] == '\r' ? 1 : 0;
        else if (piece.size() == 1)
            state = begin[0] == '\r' ? 1 : (begin[0] == '\n' && state == 1) ? 2 : 0;
    }
    // On a plain connection the pieces go out from where they lie, held until then; TLS takes
    // one buffer at a time, and a piece over memory it does not own is copied.
    bool holdable = !m_tls;
    for (const QByteArray& piece : pieces)
        holdable = holdable && (piece.isEmpty() || piece.capacity() >= piece.size());
    if (holdable) {
        m_heldPieces = pieces;
    } else {
        std::vector<Span> copied;
        copied.swap(spans);
        for (const Span& span : copied)
            Queue(span.data, span.size);
    }
    if (state == 2)
        Queue(".\r\n", 3);
    else
        Queue("\r\n.\r\n", 5);
    // A pipelining server gets the end with the next envelope in one write; FinishSend writes
    // it otherwise.
    if (!m_pipelining)
        Flush();
}

void TSmtpClient::Disconnect()
{
    if (m_curl && m_connected && m_clean && !m_quitting && !(Cancel && Cancel->load())) {
        m_quitting = true;
        try {
            m_out.clear();
            m_spans.clear();
            m_heldPieces.clear();
            Write("QUIT\r\n", 6);
            ReadReply();
        } catch (...) {
        }
        m_quitting = false;
    }
    if (m_curl) {
        curl_easy_cleanup(m_curl);
        m_curl = nullptr;
    }
    m_connected = false;
    m_clean = false;
    m_sendPending = false;
    m_envelopeAhead = false;
    m_tls = false;
    m_socket = -1;
    m_in.clear();
    m_out.clear();
    m_spans.clear();
    m_heldPieces.clear();
    m_withoutDotLines.clear();
}
