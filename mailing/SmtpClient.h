#pragma once
// The SMTP client of one worker or one connection test: one libcurl easy handle whose connection
// carries the session. libcurl opens the session (greeting, EHLO, STARTTLS when offered, AUTH;
// port 465 uses implicit TLS) and keeps the connection for us. A password goes only over TLS,
// unless the server is on this machine: with authentication on, a server elsewhere that offers
// no STARTTLS (or fails it) is refused before AUTH; the transactions go through that
// connection (libcurl's send and receive, so TLS stays libcurl's): Connect adds a NOOP, so a
// wrong server or password shows at once; Send says MAIL FROM, RCPT TO and DATA (in one write
// when the server offers PIPELINING) and writes the message in large pieces, a "." at the start
// of a line doubled; Disconnect says QUIT and closes the connection.
#include <QByteArray>
#include <QDeadlineTimer>
#include <QList>
#include <QString>
#include <exception>
#include <QStringList>
#include <atomic>
#include <mutex>
#include <stdexcept>
#include <vector>

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

// The port on which a session starts with TLS (implicit TLS, "smtps").
constexpr int SmtpImplicitTlsPort = 465;

// The refusals of a session that cannot carry a password safely or cannot log in at all.
QString SmtpNoEncryptionMessage();  // no STARTTLS (or a failed one) on a server elsewhere
QString SmtpNoAuthMessage();        // authentication on, but the server offers no AUTH

// Whether a host text names this machine: "localhost" (or a name below ".localhost") or a
// loopback address. A password may go to it without TLS. The test switch
// QLY_TEST_LOOPBACK_IS_REMOTE=1 makes every host count as elsewhere.
bool SmtpHostIsLoopback(const QString& host);

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
    // Trusted certificates (PEM). By default the file named by SSL_CERT_FILE (the variable the
    // TLS library itself reads), else the system's.
    QString CaFile = DefaultCaFile();
    static QString DefaultCaFile();
    long ConnectTimeoutSeconds = 30;   // TCP connect, TLS and the server's greeting
    long LowSpeedTimeSeconds = 120;    // a transfer or reply that stalls this long fails; no total limit
    // When set and true, a running request gives up: a connect, a transfer, or the wait for a
    // reply (checked at least about once a second, also while the server sends nothing).
    const std::atomic<bool>* Cancel = nullptr;

    void Connect();
    // Sends one message to the recipients. A refused command, a failed transfer or a reply that
    // does not come raises ESmtpError and closes the session (the next Connect starts afresh).
    void Send(const QString& from, const QStringList& recipients, const QByteArray& data);
    // The message given as pieces sent one after the other (no copy is made).
    void Send(const QString& from, const QStringList& recipients, const QList<QByteArray>& pieces);
    // Send in two steps: BeginSend writes the envelope and the message with its final dot (to a
    // pipelining server the message's last bytes go out with the next envelope or with
    // FinishSend); FinishSend reads the server's answer to it (the caller may work in between).
    // An abort gives up only a wait: an answer that has arrived is still read, a message whose
    // end is not written yet is given up.
    void BeginSend(const QString& from, const QStringList& recipients, const QList<QByteArray>& pieces);
    void FinishSend();
    bool SendPending() const { return m_sendPending; }
    // The next message while the answer to the previous one is awaited: a server that offers
    // PIPELINING gets the next envelope at once, in one write with the end of the previous
    // message (which waits in the client for it). FinishSend then reads the previous answer and
    // ContinueSend the envelope's replies and writes the message. False, with nothing written,
    // when the server does not pipeline or no answer is awaited: then BeginSend as usual. A
    // failed write here is the previous message's failure (FinishSend raises it).
    bool SendEnvelopeAhead(const QString& from, const QStringList& recipients, const QList<QByteArray>& pieces);
    bool EnvelopeAhead() const { return m_envelopeAhead; }
    void ContinueSend(const QList<QByteArray>& pieces);
    void Disconnect();
    bool Connected() const { return m_connected; }
    // Whether the session runs over TLS (implicit, or STARTTLS taken).
    bool Encrypted() const { return m_tls; }
    // From any thread: cuts the connection (also one being opened), so that a request running in
    // the client's thread ends at once. Meant for giving a client up together with Cancel.
    void Interrupt();
    // The last complete reply the server sent (all its lines, joined by blanks).
    QString LastReply() const { return m_lastReply; }

private:
    struct Reply {
        int code = 0;
        QString text;  // all lines, trimmed, joined by blanks
    };
    void Prepare();
    void OpenSession();
    [[noreturn]] void Fail(const QString& message, int curlCode, bool sessionUsable, bool cancelled = false);
    void Write(const char* data, qsizetype size);
    void Flush();
    void Queue(const char* data, qsizetype size);
    struct Span {
        const char* data;
        qsizetype size;
    };
    // Writes the spans on a plain connection, without a copy.
    void WriteSpans(std::vector<Span>& spans);
    [[noreturn]] void FailTooSlow();
    Reply ReadReply();
    void Command(const QByteArray& line, int expectedClass);
    void WriteMessage(const QList<QByteArray>& pieces);
    QByteArray Envelope(const QString& from, const QStringList& recipients, const QList<QByteArray>& pieces) const;
    // The replies to a pipelined envelope (MAIL, each RCPT, DATA); a refusal ends the
    // transaction and raises ESmtpError.
    void ReadEnvelopeReplies(qsizetype recipients);
    bool WaitForSocket(bool forWrite, qint64 deadlineMs);
    static size_t ReplyCallback(char* data, size_t size, size_t nitems, void* self);
    friend struct TSmtpSocketCallbacks;  // libcurl's socket callbacks
    void NoteReplyLine(const QString& line);

    CURL* m_curl = nullptr;
    bool m_connected = false;
    // The one flag that decides how bytes go out: on a TLS session only through libcurl,
    // never on the raw socket. Set from what was asked (implicit TLS) and what the server
    // offered (STARTTLS), never from an optional library pointer.
    bool m_tls = false;
    bool m_implicitTls = false;
    bool m_startTlsOffered = false;  // the first EHLO offered STARTTLS, which libcurl then takes
    bool m_authAccepted = false;     // a "235" came while libcurl opened the session
    bool m_loopbackOnly = false;     // connect only to loopback addresses (password without TLS)
    std::mutex m_socketsMutex;
    std::vector<long long> m_openSockets;  // sockets libcurl opened and has not closed yet
    bool m_interrupted = false;
    // The answer to a complete message is awaited: an abort waits for it a moment longer.
    bool m_answerDue = false;
    bool m_graceStarted = false;
    QDeadlineTimer m_grace;
    bool m_clean = false;     // the session waits for a command (no transaction half done)
    bool m_quitting = false;
    bool m_sendPending = false;  // a message went out and its answer is not read yet
    bool m_envelopeAhead = false;  // the next envelope went out behind it
    qsizetype m_aheadRecipients = 0;
    std::exception_ptr m_aheadFailure;  // the write of the envelope ahead failed
    // What the server offered in its (last) EHLO reply.
    bool m_pipelining = false;
    bool m_sizeOffered = false;
    bool m_utf8Offered = false;
    int m_greetings = 0;  // "220" replies: the greeting, and the yes to STARTTLS
    long long m_socket = -1;
    char m_errorBuffer[256];
    QString m_lastReply;
    QString m_pendingReply;
    QString m_requestReply;  // last refusal (4xx/5xx) received while libcurl opened the session
    QByteArray m_in;         // received bytes not yet read as reply lines
    QByteArray m_out;        // small pieces gathered into one write
    // A message's pieces not yet written (plain connections), the pieces held for them, and
    // m_out after them.
    std::vector<Span> m_spans;
    QList<QByteArray> m_heldPieces;
    // Large pieces of earlier messages (an attachment every mail shares) with no line starting
    // with "." after their first two bytes; held, so their bytes stay as they were looked at.
    QList<QByteArray> m_withoutDotLines;
};
