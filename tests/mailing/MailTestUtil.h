#pragma once
// Shared pieces of the mailing tests: the SMTP peer (tests/mailing/smtp_peer.py on 127.0.0.1),
// a parser for what it received, a recipient list in SQLite and the job's test wiring.
#include "mailing/MailingJob.h"
#include "mailing/MailingLog.h"
#include "platform/db/Connection.h"
#include "TestUtil.h"

#include <QJsonObject>
#include <QMap>
#include <QProcess>
#include <QProgressBar>
#include <memory>

#include <ostream>

inline void PrintTo(const QString& s, std::ostream* os)
{
    *os << '"' << s.toStdString() << '"';
}

namespace mailtest {

struct PeerOptions {
    QString auth = {};          // "user:password": AUTH required
    QStringList reject = {};    // RCPT answered with 550
    QStringList dropData = {};  // connection closed in DATA
    QStringList fail421 = {};   // DATA answered with 421
    QStringList stallData = {}; // DATA never answered
    bool stall = false;      // never greets
    bool startTls = false;   // offers STARTTLS with a self-signed certificate
    bool pipelining = false; // offers PIPELINING
    bool smtpUtf8 = false;   // offers SMTPUTF8
    bool implicitTls = false; // TLS from the first byte, reached through the tap on port 465
    bool caSigned = false;   // the certificate comes from a CA the test makes (caFile())
    bool tap = false;        // clients reach the server through a relay that keeps their bytes
};

// Sets an environment variable for the scope (SSL_CERT_FILE: the certificates the program trusts).
class ScopedEnv {
public:
    ScopedEnv(const char* name, const QByteArray& value);
    ~ScopedEnv();

private:
    const char* m_name;
    QByteArray m_old;
    bool m_wasSet;
};

class SmtpPeer {
public:
    explicit SmtpPeer(const PeerOptions& options = {});
    ~SmtpPeer();
    int port() const { return m_port; }
    QString server() const { return QStringLiteral("127.0.0.1:%1").arg(m_port); }
    QList<QJsonObject> events() const;
    int count(const QString& ev) const;
    QStringList messageFiles() const;  // in arrival order
    QByteArray raw(int i) const;
    // With startTls: the peer's self-signed certificate (for 127.0.0.1).
    QString certificate() const { return m_certificate; }
    // With caSigned: the certificate of the CA that signed the peer's.
    QString caFile() const { return m_caFile; }
    // With tap (or implicitTls): the bytes each client connection sent, in connection order.
    QList<QByteArray> tapped() const;

private:
    qlytest::TempDir m_dir;
    QProcess m_process;
    int m_port = 0;
    QString m_certificate;
    QString m_caFile;
};

// A port on 127.0.0.1 on which nothing listens.
int ClosedPort();

struct ParsedPart {
    QString contentType;    // "type/subtype"
    QString parentType;     // content type of the containing multipart
    QString text;           // decoded text of a text part
    QByteArray data;        // decoded content of any part
    QString fileName;
    QString contentId;
    QString transferEncoding;
};

struct ParsedMail {
    QString subject;
    QString to;        // decoded, as "Name <addr>" or "addr"
    QString from;
    QMap<QString, QString> headers;  // raw header values by lower-case name (first occurrence)
    QStringList headerNames;
    QString topType;
    QList<ParsedPart> parts;  // leaf parts in order
};
ParsedMail ParseMail(const QByteArray& raw);

// A recipient list table "RL1" (_ID, Status, Email, Last Name, First Name, extra columns).
class ListDb {
public:
    explicit ListDb(const QStringList& extraColumns = {});
    // values: Email, Last Name, First Name, extra columns...; status 0 unless given
    qint64 Add(const QStringList& values, int status = 0);
    int Status(qint64 id);
    QList<int> Statuses();
    db::Connection& conn() { return m_conn; }
    std::unique_ptr<IRecipientCursor> Cursor();

private:
    qlytest::TempDir m_dir;
    db::Connection m_conn;
    QStringList m_extra;
};

class FakeContent : public IMailContent {
public:
    QString subject = QStringLiteral("Betreff");
    QString body = QStringLiteral("Text\r\n");
    bool signatureOn = false;
    QString signature;
    bool htmlMode = false;
    QString html;
    QStringList attachments;
    QString Subject() const override { return subject; }
    QString PlainBody() const override { return body; }
    bool SignatureOn() const override { return signatureOn; }
    QString Signature() const override { return signature; }
    bool HtmlMode() const override { return htmlMode; }
    QString Html() const override { return html; }
    QStringList AttachmentPaths() const override { return attachments; }
};

class FakeTimer : public IScheduleTimer {
public:
    void Start(int intervalMs) override { active = true; intervals.append(intervalMs); }
    void Stop() override { active = false; }
    bool Active() const override { return active; }
    void Fire() { if (OnTimer) OnTimer(); }
    bool active = false;
    QList<int> intervals;
};

// A job wired to a log, a progress bar, the list and fakes; questions answered Yes/OK.
struct JobRig {
    explicit JobRig(ListDb& list);
    TMailingLog log;
    QProgressBar progress;
    FakeContent content;
    TSenderSettings sender;
    FakeTimer* timer = nullptr;
    std::unique_ptr<TMailingJob> job;
    QStringList messages;
    QStringList questions;
    bool answer = true;
    QList<bool> runningChanges;
    // Runs the job's start and serves events until it has closed.
    void RunToEnd(int timeoutMs = 60000);
    bool WaitFor(const std::function<bool()>& condition, int timeoutMs = 30000);
    // Log lines without the leading time ("hh:mm:ss").
    QStringList Lines() const;
    int LineIndex(const QString& text) const;
};

// Text of a log line with its time stripped.
QString StripTime(const QString& line);

} // namespace mailtest
