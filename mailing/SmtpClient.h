#pragma once
// The SMTP client of one worker or one connection test: one libcurl easy handle whose cached
// connection carries the session. Connect is a NOOP request (greeting, EHLO, STARTTLS when
// offered, AUTH, NOOP), so a wrong server or password shows at once; Send is one request with the
// serialised message; Disconnect closes the connection. Port 465 uses implicit TLS.
#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <atomic>
#include <stdexcept>

typedef void CURL;

// A failed SMTP request: Message is the server's reply when it gave one, else libcurl's text.
class ESmtpError : public std::runtime_error {
public:
    ESmtpError(const QString& message, int curlCode, bool loginDenied, bool cancelled = false)
        : std::runtime_error(message.toStdString()), Message(message), CurlCode(curlCode),
          LoginDenied(loginDenied), Cancelled(cancelled) {}
    QString Message;
    int CurlCode;
    bool LoginDenied;  // the server refused the user name or password
    bool Cancelled;    // given up because the Cancel flag was set
};

// The server text of the sender page: a host name, optionally ":" and a port. A ":" at the
// first character does not split (the whole text is the host). A port that is not a decimal
// number in 1..65535 raises std::runtime_error.
struct TSmtpServer {
    QString Host;
    int Port = 25;
};
TSmtpServer ParseSmtpServer(const QString& text);

// Initialises libcurl once; call in the main thread before any client exists.
void InitSmtpLibrary();

class TSmtpClient {
public:
    TSmtpClient();
    ~TSmtpClient();
    TSmtpClient(const TSmtpClient&) = delete;
    TSmtpClient& operator=(const TSmtpClient&) = delete;

    QString Host;
    int Port = 25;
    bool Authenticate = false;  // log in with Username and Password
    QString Username;
    QString Password;
    long ConnectTimeoutSeconds = 30;   // TCP connect, TLS and the server's greeting
    long LowSpeedTimeSeconds = 120;    // a transfer or reply that stalls this long fails; no total limit
    // When set and true, a running request gives up: a connect, a transfer, or the wait for a
    // reply (checked at least about once a second, also while the server sends nothing).
    const std::atomic<bool>* Cancel = nullptr;

    void Connect();
    void Send(const QString& from, const QStringList& recipients, const QByteArray& data);
    // The message given as pieces sent one after the other (no copy is made).
    void Send(const QString& from, const QStringList& recipients, const QList<QByteArray>& pieces);
    void Disconnect();
    bool Connected() const { return m_connected; }
    // The last complete reply the server sent (all its lines, joined by blanks).
    QString LastReply() const { return m_lastReply; }

private:
    void Prepare();
    void Perform(const char* what);
    static size_t ReplyCallback(char* data, size_t size, size_t nitems, void* self);

    CURL* m_curl = nullptr;
    bool m_connected = false;
    char m_errorBuffer[256];
    QString m_lastReply;
    QString m_pendingReply;
    QString m_requestReply;  // last refusal (4xx/5xx) received during the current request
    QList<QByteArray> m_upload;
    qsizetype m_uploadPiece = 0;
    qsizetype m_uploadPos = 0;
    static size_t ReadCallback(char* buffer, size_t size, size_t nitems, void* self);
};
