#include "excreport/SivrelSmtp.h"
#include "excreport/SivrelDns.h"
#include "excreport/SivrelMailText.h"
#include "excreport/SivrelReport.h"
#include "excreport/SivrelTypes.h"
#include <QDateTime>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QHostInfo>
#include <QScopeGuard>
#include <QSslSocket>
#include <unistd.h>

namespace excreport {

namespace {

int ReplyCode(const QByteArray& reply, bool* ok)
{
    qsizetype n = 0;
    while (n < reply.size() && n < 9 && reply[n] >= '0' && reply[n] <= '9')
        ++n;
    *ok = n > 0;
    return n > 0 ? reply.left(n).toInt() : 0;
}

// A reply is complete when its last line is three digits and a blank (or three digits alone).
bool ReplyComplete(const QByteArray& data)
{
    if (!data.endsWith("\r\n") && !data.endsWith('\n'))
        return false;
    QByteArray body = data.trimmed();
    const qsizetype lastBreak = body.lastIndexOf('\n');
    const QByteArray last = body.mid(lastBreak + 1);
    if (last.size() < 3)
        return false;
    for (int i = 0; i < 3; ++i)
        if (last[i] < '0' || last[i] > '9')
            return false;
    return last.size() == 3 || last[3] == ' ';
}

QString LocalHostName()
{
    char name[256] = {};
    gethostname(name, 250);
    return QString::fromLocal8Bit(name);
}

} // namespace

TSivrelClientSMTP::TSivrelClientSMTP(const QString& host, int timeoutMs, uint16_t port)
    : m_host(host), m_timeout(timeoutMs), m_port(port)
{
}

TSivrelClientSMTP::~TSivrelClientSMTP()
{
    if (m_socket)
        m_socket->abort();
}

void TSivrelClientSMTP::RaiseSocketError(const QString& message)
{
    const QString log = QString::fromUtf8(m_log);
    throw ESivrelError(message.contains(log) && !log.isEmpty()
                           ? message
                           : message + QStringLiteral("\r\nSocket log:\r\n") + log);
}

void TSivrelClientSMTP::Connect()
{
    QHostAddress address;
    if (!address.setAddress(m_host)) {
        const QHostInfo info = QHostInfo::fromName(m_host);
        for (const QHostAddress& a : info.addresses())
            if (a.protocol() == QAbstractSocket::IPv4Protocol) {
                address = a;
                break;
            }
    }
    if (address.isNull() || address.protocol() != QAbstractSocket::IPv4Protocol)
        RaiseSocketError(QStringLiteral("Connection error: \"%1\"").arg(QStringLiteral("Host %1 not found").arg(m_host)));
    m_socket = std::make_unique<QSslSocket>();
    m_socket->setPeerVerifyName(m_host);
    if (m_port == 465) {
        m_socket->connectToHostEncrypted(address.toString(), m_port, m_host);
        if (!m_socket->waitForEncrypted(m_timeout))
            RaiseSocketError(QStringLiteral("Connection error: \"%1\"").arg(m_socket->errorString()));
    } else {
        m_socket->connectToHost(address, m_port);
        if (!m_socket->waitForConnected(m_timeout))
            RaiseSocketError(QStringLiteral("Connection error: \"%1\"").arg(m_socket->errorString()));
    }
    m_log = QStringLiteral("Connected to %1 port %2\r\n").arg(address.toString()).arg(m_port).toUtf8();
    if (!CheckReply({220}))
        RaiseSocketError(QString::fromUtf8(m_log));
}

QByteArray TSivrelClientSMTP::ReadReply()
{
    QByteArray data;
    QDeadlineTimer deadline(m_timeout);
    while (!ReplyComplete(data)) {
        if (m_socket->bytesAvailable() == 0) {
            // Part of a reply: a second without more data ends it; nothing yet: the time-out.
            const int wait = data.isEmpty() ? int(deadline.remainingTime()) : std::min<int>(1000, int(deadline.remainingTime()));
            if (wait <= 0 || !m_socket->waitForReadyRead(wait))
                break;
        }
        data += m_socket->readAll();
    }
    m_log += data;
    m_reply = data;
    if (data.isEmpty())
        RaiseSocketError(QStringLiteral("Socket timeout."));
    return data;
}

bool TSivrelClientSMTP::CheckReply(const QList<int>& accepted)
{
    bool ok = false;
    const int code = ReplyCode(ReadReply(), &ok);
    return ok && accepted.contains(code);
}

bool TSivrelClientSMTP::SendCommand(const QByteArray& command, const QList<int>& accepted, const QByteArray& logText)
{
    if (command.isEmpty())
        return false;
    QByteArray text = command;
    if (!text.endsWith("\r\n"))
        text += "\r\n";
    qint64 sent = 0;
    while (sent < text.size()) {
        const qint64 n = m_socket->write(text.constData() + sent, std::min<qint64>(1024, text.size() - sent));
        if (n <= 0)
            RaiseSocketError(QStringLiteral("Error into \"send\": \"%1\"").arg(m_socket->errorString()));
        while (m_socket->bytesToWrite() > 0)
            if (!m_socket->waitForBytesWritten(m_timeout))
                RaiseSocketError(QStringLiteral("Error into \"send\": \"%1\"").arg(m_socket->errorString()));
        sent += n;
        if (OnSent)
            OnSent(sent, text.size());
    }
    m_log += logText.isEmpty() ? text : logText + "\r\n";
    if (!CheckReply(accepted))
        RaiseSocketError(QString::fromUtf8(m_log));
    return true;
}

void TSivrelClientSMTP::StartTls()
{
    m_socket->startClientEncryption();
    if (!m_socket->waitForEncrypted(m_timeout))
        RaiseSocketError(QStringLiteral("TLS error: \"%1\"").arg(m_socket->errorString()));
}

bool SendBySMTP(bool direct, const QString& from, const QString& server, const QStringList& attachments,
                const QString& body, const QString& subject, const QString& recipient, const QString& user,
                const QString& password, uint16_t port, const TSivrelSmtpProgress& progress, QByteArray* sessionLog)
{
    (void)direct;
    const auto text = [&](const QString& t) {
        if (progress.Text)
            progress.Text(t);
    };
    const TSivrelModuleOptions& o = SivrelReport().WorkingOptions;
    try {
        text(o.GetText(56));
        TSivrelClientSMTP client(server, 30000, port);
        const auto keepLog = qScopeGuard([&] {
            if (sessionLog)
                *sessionLog = client.SessionLog();
        });
        client.Connect();
        TSivrelMailParts parts;
        parts.From = from;
        parts.To = recipient;
        parts.Subject = subject;
        parts.Body = body;
        parts.Attachments = attachments;
        text(o.GetText(57));
        const QByteArray host = HeaderSafe(LocalHostName()).toUtf8();
        const QByteArray sender = "MAIL FROM:<" + HeaderSafe(from).toUtf8() + ">";
        bool ok = false;
        if (!user.isEmpty() || !password.isEmpty()) {
            ok = client.SendCommand("EHLO " + host, {250});
            if (client.LastReply().contains("STARTTLS")) {
                client.SendCommand("STARTTLS", {220});
                client.StartTls();
                client.SendCommand("EHLO " + host, {250});
            }
            ok = ok && client.SendCommand("RSET", {250}) && client.SendCommand("AUTH LOGIN", {334})
                 && client.SendCommand(user.toUtf8().toBase64(), {334}, "[credentials hidden]")
                 && client.SendCommand(password.toUtf8().toBase64(), {235}, "[credentials hidden]")
                 && client.SendCommand(sender, {250});
        } else {
            ok = client.SendCommand("HELO " + host, {250}) && client.SendCommand("RSET", {250})
                 && client.SendCommand(sender, {250});
        }
        if (!ok)
            return false;
        text(o.GetText(58));
        parts.Date = std::time(nullptr);
        parts.MessageId = QStringLiteral("%1@quillory.invalid").arg(QDateTime::currentMSecsSinceEpoch());
        const QByteArray data = SmtpDataText(BuildSmtpMessage(parts));
        client.SendCommand("RCPT TO:<" + HeaderSafe(recipient).toUtf8() + ">", {250, 251});
        client.SendCommand("DATA", {354});
        if (progress.Percent)
            client.OnSent = [&](qint64 at, qint64 total) { progress.Percent(int(at * 100 / std::max<qint64>(total, 1))); };
        client.SendCommand(data, {250});
        return true;
    } catch (...) {
        WarnFromException(eeEmailSMTPError, QStringLiteral("SMTP"));
        if (progress.Warning)
            progress.Warning(SivrelReport().LastWarning);
        return false;
    }
}

bool SendBySMTPToRecipients(bool direct, const QString& from, const QString& server, const QStringList& attachments,
                            const QString& body, const QString& subject, const QString& recipients,
                            const QString& user, const QString& password, uint16_t port,
                            const std::function<QString(int)>& text, const TSivrelSmtpProgress& progress)
{
    QStringList list;
    for (const QString& r : SplitAddresses(recipients))
        if (!r.isEmpty())
            list << r;
    bool any = false;
    for (int i = 0; i < list.size(); ++i) {
        TSivrelSmtpProgress p = progress;
        p.Text = [&](const QString& step) {
            if (progress.Text)
                progress.Text(QStringLiteral("%1 %2/%3: ").arg(text(54)).arg(i + 1).arg(list.size()) + step);
        };
        if (p.Percent)
            p.Percent(0);
        QString host = server;
        if (direct) {
            p.Text(text(55));
            try {
                host = ResolveMXHost(list[i], 30);
            } catch (...) {
                WarnFromException(eeEmailSMTPError, QStringLiteral("SMTP"));
                if (p.Warning)
                    p.Warning(SivrelReport().LastWarning);
                continue;
            }
        }
        any = SendBySMTP(direct, from, host, attachments, body, subject, list[i], user, password, port, p) || any;
    }
    return any;
}

} // namespace excreport
