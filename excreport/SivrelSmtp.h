#pragma once
// The reporter's own SMTP client: one session per recipient, the reply codes checked, a session
// log that goes into the warning of a failed send.
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

class QSslSocket;

namespace excreport {

class TSivrelClientSMTP {
public:
    // Port 465 means TLS from the start.
    TSivrelClientSMTP(const QString& host, int timeoutMs, uint16_t port);
    ~TSivrelClientSMTP();
    // Resolves the host, connects (bounded by the time-out) and reads the greeting (220).
    void Connect();
    // Sends the command (CR LF added) and reads its reply; raises ESivrelError with the session
    // log when the reply's code is none of the accepted. An empty command does nothing (false).
    // LogText stands for the command in the session log (credentials are not written there).
    bool SendCommand(const QByteArray& command, const QList<int>& accepted, const QByteArray& logText = {});
    // The last reply (complete at its last line, or after a second without more data).
    QByteArray ReadReply();
    bool CheckReply(const QList<int>& accepted);
    // Switches to TLS (after STARTTLS was accepted).
    void StartTls();
    const QByteArray& SessionLog() const { return m_log; }
    QByteArray LastReply() const { return m_reply; }
    // Called after each piece of up to 1024 bytes of a sent text: position, total.
    std::function<void(qint64, qint64)> OnSent;
    [[noreturn]] void RaiseSocketError(const QString& message);

private:
    QString m_host;
    int m_timeout;
    uint16_t m_port;
    std::unique_ptr<QSslSocket> m_socket;
    QByteArray m_log;
    QByteArray m_reply;
};

// Progress of a send: the text line and the bar in percent.
struct TSivrelSmtpProgress {
    std::function<void(const QString&)> Text;
    std::function<void(int)> Percent;
    // Every SMTP warning recorded while sending (the progress window shows it in a box).
    std::function<void(const QString&)> Warning;
};

// One message to one recipient; false after a failure, which is recorded as the warning
// "[SMTP] <message with the session log>".
bool SendBySMTP(bool direct, const QString& from, const QString& server, const QStringList& attachments,
                const QString& body, const QString& subject, const QString& recipient, const QString& user,
                const QString& password, uint16_t port, const TSivrelSmtpProgress& progress = {},
                QByteArray* sessionLog = nullptr);
// One session per recipient (empty items skipped); true when at least one mail went through.
// Progress lines read "Message n/count: <step>".
bool SendBySMTPToRecipients(bool direct, const QString& from, const QString& server, const QStringList& attachments,
                            const QString& body, const QString& subject, const QString& recipients,
                            const QString& user, const QString& password, uint16_t port,
                            const std::function<QString(int)>& text, const TSivrelSmtpProgress& progress = {});

} // namespace excreport
