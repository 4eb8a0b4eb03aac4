#include "mailing/SmtpClient.h"

#include "core/OrvUtils.h"

#include <curl/curl.h>
#include <mutex>
#include <sys/socket.h>

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

struct SList {
    curl_slist* list = nullptr;
    ~SList() { curl_slist_free_all(list); }
    void Append(const QString& s) { list = curl_slist_append(list, s.toUtf8().constData()); }
};

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

void InitSmtpLibrary()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

TSmtpClient::TSmtpClient()
{
    m_errorBuffer[0] = 0;
}

TSmtpClient::~TSmtpClient()
{
    Disconnect();
}

size_t TSmtpClient::ReplyCallback(char* data, size_t size, size_t nitems, void* self)
{
    // libcurl hands every reply line of the server to the header function.
    auto* client = static_cast<TSmtpClient*>(self);
    const QString chunk = QString::fromUtf8(data, qsizetype(size * nitems));
    for (const QString& raw : chunk.split(QLatin1Char('\n'))) {
        const QString line = raw.trimmed();
        if (line.isEmpty())
            continue;
        client->m_pendingReply += (client->m_pendingReply.isEmpty() ? QString() : QStringLiteral(" ")) + line;
        // "250-..." continues a reply, "250 ..." or a bare code ends it.
        if (line.size() < 4 || line.at(3) != QLatin1Char('-')) {
            client->m_lastReply = client->m_pendingReply;
            // Keep the last refusal: libcurl may still send QUIT before it gives up.
            if (line.startsWith(QLatin1Char('4')) || line.startsWith(QLatin1Char('5')))
                client->m_requestReply = client->m_pendingReply;
            client->m_pendingReply.clear();
        }
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
    // The session's settings are set on every request (the fields may change between a
    // failure and the next Connect); the request's own ones are set by Connect and Send.
    // The handle is not reset: that would drop its buffers, which every mail would then
    // allocate anew.
    const bool implicitTls = Port == 465;
    const QString url = QStringLiteral("%1://%2:%3").arg(implicitTls ? "smtps" : "smtp", Host).arg(Port);
    curl_easy_setopt(c, CURLOPT_URL, url.toUtf8().constData());
    if (!implicitTls)
        curl_easy_setopt(c, CURLOPT_USE_SSL, long(CURLUSESSL_TRY));
    curl_easy_setopt(c, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(c, CURLOPT_SSL_VERIFYHOST, 2L);
    curl_easy_setopt(c, CURLOPT_USERNAME, Authenticate ? Username.toUtf8().constData() : nullptr);
    curl_easy_setopt(c, CURLOPT_PASSWORD, Authenticate ? Password.toUtf8().constData() : nullptr);
    curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT, ConnectTimeoutSeconds);
    curl_easy_setopt(c, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(c, CURLOPT_LOW_SPEED_TIME, LowSpeedTimeSeconds);
    // A reply the server never sends (after the message's final dot, for example) fails after
    // the same time; the transfer as a whole has no limit.
    curl_easy_setopt(c, CURLOPT_SERVER_RESPONSE_TIMEOUT, LowSpeedTimeSeconds);
    curl_easy_setopt(c, CURLOPT_ERRORBUFFER, m_errorBuffer);
    curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, &DiscardOutput);
    curl_easy_setopt(c, CURLOPT_HEADERFUNCTION, &TSmtpClient::ReplyCallback);
    curl_easy_setopt(c, CURLOPT_HEADERDATA, this);
    curl_easy_setopt(c, CURLOPT_NOPROGRESS, Cancel ? 0L : 1L);
    curl_easy_setopt(c, CURLOPT_XFERINFOFUNCTION, Cancel ? &CancelCheck : nullptr);
    curl_easy_setopt(c, CURLOPT_XFERINFODATA, Cancel);
    // A whole mail (a few hundred KB with attachments) goes through one read callback and as
    // few sends as the socket takes, instead of 64 KB rounds with a poll each. libcurl keeps
    // the buffer with the handle, so it is allocated once per session, not per mail.
    curl_easy_setopt(c, CURLOPT_UPLOAD_BUFFERSIZE, 512L * 1024L);
    // Commands and the message's last piece go out at once, not after the peer's delayed ACK.
    curl_easy_setopt(c, CURLOPT_TCP_NODELAY, 1L);
}

void TSmtpClient::Perform(const char* what)
{
    Q_UNUSED(what);
    m_errorBuffer[0] = 0;
    m_requestReply.clear();
    m_pendingReply.clear();
    const CURLcode rc = curl_easy_perform(m_curl);
    if (rc == CURLE_OK) {
        m_connected = true;
        return;
    }
    QString message;
    if (!m_requestReply.isEmpty())
        message = m_requestReply;
    else if (m_errorBuffer[0])
        message = QString::fromUtf8(m_errorBuffer);
    else
        message = QString::fromUtf8(curl_easy_strerror(rc));
    if (rc == CURLE_ABORTED_BY_CALLBACK) {
        // Closing the handle says QUIT and waits for the reply with no way to give up; a
        // server that stalls would keep the worker for the whole reply time-out. Shut the
        // connection down first so that the QUIT fails at once.
        curl_socket_t socket = CURL_SOCKET_BAD;
        if (curl_easy_getinfo(m_curl, CURLINFO_ACTIVESOCKET, &socket) == CURLE_OK && socket != CURL_SOCKET_BAD)
            ::shutdown(socket, SHUT_RDWR);
    }
    // Any failure leaves the session in an unknown state: the next Connect starts afresh.
    Disconnect();
    throw ESmtpError(message.trimmed(), int(rc), rc == CURLE_LOGIN_DENIED, rc == CURLE_ABORTED_BY_CALLBACK);
}

void TSmtpClient::Connect()
{
    Prepare();
    curl_easy_setopt(m_curl, CURLOPT_CUSTOMREQUEST, "NOOP");
    curl_easy_setopt(m_curl, CURLOPT_MAIL_FROM, nullptr);
    curl_easy_setopt(m_curl, CURLOPT_MAIL_RCPT, nullptr);
    curl_easy_setopt(m_curl, CURLOPT_UPLOAD, 0L);
    Perform("NOOP");
}

size_t TSmtpClient::ReadCallback(char* buffer, size_t size, size_t nitems, void* self)
{
    auto* client = static_cast<TSmtpClient*>(self);
    const size_t room = size * nitems;
    size_t n = 0;
    while (n < room && client->m_uploadPiece < client->m_upload.size()) {
        const QByteArray& piece = client->m_upload.at(client->m_uploadPiece);
        const size_t take = std::min<size_t>(room - n, size_t(piece.size() - client->m_uploadPos));
        memcpy(buffer + n, piece.constData() + client->m_uploadPos, take);
        n += take;
        client->m_uploadPos += qsizetype(take);
        if (client->m_uploadPos >= piece.size()) {
            ++client->m_uploadPiece;
            client->m_uploadPos = 0;
        }
    }
    return n;
}

void TSmtpClient::Send(const QString& from, const QStringList& recipients, const QByteArray& data)
{
    Send(from, recipients, QList<QByteArray>{data});
}

void TSmtpClient::Send(const QString& from, const QStringList& recipients, const QList<QByteArray>& pieces)
{
    Prepare();
    SList rcpts;
    for (const QString& r : recipients)
        rcpts.Append(QLatin1Char('<') + r + QLatin1Char('>'));
    const QByteArray fromArg = (QLatin1Char('<') + from + QLatin1Char('>')).toUtf8();
    curl_easy_setopt(m_curl, CURLOPT_CUSTOMREQUEST, nullptr);
    curl_easy_setopt(m_curl, CURLOPT_MAIL_FROM, fromArg.constData());
    curl_easy_setopt(m_curl, CURLOPT_MAIL_RCPT, rcpts.list);
    m_upload = pieces;
    m_uploadPiece = 0;
    m_uploadPos = 0;
    curl_off_t total = 0;
    for (const QByteArray& piece : pieces)
        total += piece.size();
    curl_easy_setopt(m_curl, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(m_curl, CURLOPT_INFILESIZE_LARGE, total);
    curl_easy_setopt(m_curl, CURLOPT_READDATA, this);
    curl_easy_setopt(m_curl, CURLOPT_READFUNCTION, &TSmtpClient::ReadCallback);
    auto done = [this] {
        m_upload.clear();
        if (m_curl)  // the list is freed when Send returns
            curl_easy_setopt(m_curl, CURLOPT_MAIL_RCPT, nullptr);
    };
    try {
        Perform("SEND");
    } catch (...) {
        done();
        throw;
    }
    done();
}

void TSmtpClient::Disconnect()
{
    if (m_curl) {
        curl_easy_cleanup(m_curl);
        m_curl = nullptr;
    }
    m_connected = false;
}
