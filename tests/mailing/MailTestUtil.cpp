#include <gmime/gmime.h>

#include "MailTestUtil.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QTcpServer>
#include <QThread>
#include <QTimer>
#include <gtest/gtest.h>

namespace mailtest {

// ---- peer ------------------------------------------------------------------------------------

SmtpPeer::SmtpPeer(const PeerOptions& o)
{
    QStringList args{QStringLiteral(QLY_SMTP_PEER), QStringLiteral("--dir"), m_dir.path()};
    if (!o.auth.isEmpty())
        args << QStringLiteral("--auth") << o.auth;
    for (const QString& a : o.reject)
        args << QStringLiteral("--reject") << a;
    for (const QString& a : o.dropData)
        args << QStringLiteral("--drop-data") << a;
    for (const QString& a : o.fail421)
        args << QStringLiteral("--fail-421") << a;
    for (const QString& a : o.stallData)
        args << QStringLiteral("--stall-data") << a;
    if (o.stall)
        args << QStringLiteral("--stall");
    if (o.pipelining)
        args << QStringLiteral("--pipelining");
    if (o.smtpUtf8)
        args << QStringLiteral("--smtputf8");
    if (o.startTls || o.implicitTls) {
        const QString cert = m_dir.file(QStringLiteral("cert.pem")), key = m_dir.file(QStringLiteral("key.pem"));
        auto openssl = [this](const QStringList& a) {
            QProcess p;
            p.setWorkingDirectory(m_dir.path());
            p.start(QStringLiteral("openssl"), a);
            if (!p.waitForFinished(30000) || p.exitCode() != 0)
                throw std::runtime_error("openssl could not make a certificate: " + p.readAllStandardError().toStdString());
        };
        const QStringList ec{"-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes"};
        if (o.caSigned) {
            // a CA of the test's own, and the server's certificate signed by it
            m_caFile = m_dir.file(QStringLiteral("ca.pem"));
            const QString caKey = m_dir.file(QStringLiteral("ca.key")), request = m_dir.file(QStringLiteral("req.csr"));
            openssl(QStringList{"req", "-x509"} + ec
                    + QStringList{"-subj", "/CN=Quillory Test CA", "-days", "2", "-addext",
                                  "basicConstraints=critical,CA:TRUE", "-addext", "keyUsage=critical,keyCertSign,cRLSign",
                                  "-keyout", caKey, "-out", m_caFile});
            openssl(QStringList{"req"} + ec + QStringList{"-subj", "/CN=127.0.0.1", "-keyout", key, "-out", request});
            QFile ext(m_dir.file(QStringLiteral("ext.cnf")));
            if (!ext.open(QIODevice::WriteOnly))
                throw std::runtime_error("cannot write ext.cnf");
            ext.write("subjectAltName=IP:127.0.0.1,DNS:localhost\nbasicConstraints=CA:FALSE\n"
                      "extendedKeyUsage=serverAuth\n");
            ext.close();
            openssl({"x509", "-req", "-in", request, "-CA", m_caFile, "-CAkey", caKey, "-CAcreateserial", "-days", "1",
                     "-extfile", ext.fileName(), "-out", cert});
        } else {
            openssl(QStringList{"req", "-x509"} + ec
                    + QStringList{"-subj", "/CN=127.0.0.1", "-addext", "subjectAltName=IP:127.0.0.1", "-days", "1",
                                  "-keyout", key, "-out", cert});
        }
        args << QStringLiteral("--tls-cert") << cert << QStringLiteral("--tls-key") << key;
        m_certificate = cert;
    }
    if (o.implicitTls)
        args << QStringLiteral("--implicit-tls") << QStringLiteral("--tap-port") << QStringLiteral("465");
    else if (o.tap)
        args << QStringLiteral("--tap-port") << QStringLiteral("0");
    m_process.setProcessChannelMode(QProcess::SeparateChannels);
    m_process.setStandardErrorFile(m_dir.file(QStringLiteral("peer.err")));
    m_process.start(QStringLiteral("/usr/bin/python3"), args);
    if (!m_process.waitForStarted(10000))
        throw std::runtime_error("SMTP peer did not start");
    QElapsedTimer t;
    t.start();
    // A peer on port 465 may first wait for another test's peer to let the port go.
    while (!m_process.canReadLine() && t.elapsed() < 300000 && m_process.state() == QProcess::Running)
        m_process.waitForReadyRead(200);
    m_port = m_process.readLine().trimmed().toInt();
    if (m_port <= 0)
        throw std::runtime_error("SMTP peer gave no port");
}

SmtpPeer::~SmtpPeer()
{
    m_process.terminate();
    if (!m_process.waitForFinished(5000)) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}

QList<QJsonObject> SmtpPeer::events() const
{
    QList<QJsonObject> out;
    QFile f(m_dir.file(QStringLiteral("events.jsonl")));
    if (!f.open(QIODevice::ReadOnly))
        return out;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (!line.trimmed().isEmpty())
            out.append(QJsonDocument::fromJson(line).object());
    return out;
}

int SmtpPeer::count(const QString& ev) const
{
    int n = 0;
    for (const QJsonObject& e : events())
        if (e.value(QStringLiteral("ev")).toString() == ev)
            ++n;
    return n;
}

QStringList SmtpPeer::messageFiles() const
{
    QStringList out;
    for (int i = 1;; ++i) {
        const QString name = m_dir.file(QStringLiteral("msg-%1.eml").arg(i));
        if (!QFile::exists(name))
            break;
        out.append(name);
    }
    return out;
}

QByteArray SmtpPeer::raw(int i) const
{
    QFile f(messageFiles().value(i));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QList<QByteArray> SmtpPeer::tapped() const
{
    QList<QByteArray> out;
    for (int i = 1;; ++i) {
        QFile f(m_dir.file(QStringLiteral("tap-%1.bin").arg(i)));
        if (!f.open(QIODevice::ReadOnly))
            break;
        out.append(f.readAll());
    }
    return out;
}

ScopedEnv::ScopedEnv(const char* name, const QByteArray& value)
    : m_name(name), m_old(qgetenv(name)), m_wasSet(qEnvironmentVariableIsSet(name))
{
    qputenv(name, value);
}

ScopedEnv::~ScopedEnv()
{
    if (m_wasSet)
        qputenv(m_name, m_old);
    else
        qunsetenv(m_name);
}

int ClosedPort()
{
    QTcpServer s;
    s.listen(QHostAddress::LocalHost, 0);
    const int port = s.serverPort();
    s.close();
    return port;
}

// ---- parsing ---------------------------------------------------------------------------------

namespace {
QString MimeType(GMimeObject* o)
{
    char* s = g_mime_content_type_get_mime_type(g_mime_object_get_content_type(o));
    const QString out = QString::fromUtf8(s);
    g_free(s);
    return out;
}

void CollectParts(GMimeObject* parent, GMimeObject* part, gpointer data)
{
    auto* mail = static_cast<ParsedMail*>(data);
    if (!GMIME_IS_PART(part))
        return;
    ParsedPart p;
    p.contentType = MimeType(part);
    p.parentType = parent ? MimeType(parent) : QString();
    GMimePart* mp = GMIME_PART(part);
    if (const char* fn = g_mime_part_get_filename(mp))
        p.fileName = QString::fromUtf8(fn);
    if (const char* id = g_mime_object_get_content_id(part))
        p.contentId = QString::fromUtf8(id);
    p.transferEncoding = QString::fromUtf8(g_mime_content_encoding_to_string(g_mime_part_get_content_encoding(mp)));
    if (GMimeDataWrapper* w = g_mime_part_get_content(mp)) {
        GMimeStream* out = g_mime_stream_mem_new();
        g_mime_data_wrapper_write_to_stream(w, out);
        GByteArray* b = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(out));
        p.data = QByteArray(reinterpret_cast<const char*>(b->data), qsizetype(b->len));
        g_object_unref(out);
    }
    if (GMIME_IS_TEXT_PART(part)) {
        char* t = g_mime_text_part_get_text(GMIME_TEXT_PART(part));
        p.text = QString::fromUtf8(t);
        g_free(t);
    }
    mail->parts.append(p);
}
}

ParsedMail ParseMail(const QByteArray& raw)
{
    static const bool init = [] { g_mime_init(); return true; }();
    (void)init;
    ParsedMail mail;
    GMimeStream* stream = g_mime_stream_mem_new_with_buffer(raw.constData(), size_t(raw.size()));
    GMimeParser* parser = g_mime_parser_new_with_stream(stream);
    GMimeMessage* msg = g_mime_parser_construct_message(parser, nullptr);
    g_object_unref(parser);
    g_object_unref(stream);
    if (!msg)
        return mail;
    if (const char* s = g_mime_message_get_subject(msg))
        mail.subject = QString::fromUtf8(s);
    char* to = internet_address_list_to_string(g_mime_message_get_addresses(msg, GMIME_ADDRESS_TYPE_TO), nullptr, FALSE);
    mail.to = QString::fromUtf8(to);
    g_free(to);
    char* from = internet_address_list_to_string(g_mime_message_get_from(msg), nullptr, FALSE);
    mail.from = QString::fromUtf8(from);
    g_free(from);
    GMimeHeaderList* headers = g_mime_object_get_header_list(GMIME_OBJECT(msg));
    for (int i = 0; i < g_mime_header_list_get_count(headers); ++i) {
        GMimeHeader* h = g_mime_header_list_get_header_at(headers, i);
        const QString name = QString::fromUtf8(g_mime_header_get_name(h)).toLower();
        mail.headerNames.append(name);
        if (!mail.headers.contains(name))
            mail.headers.insert(name, QString::fromUtf8(g_mime_header_get_raw_value(h)).trimmed());
    }
    if (GMimeObject* top = g_mime_message_get_mime_part(msg))
        mail.topType = MimeType(top);
    g_mime_message_foreach(msg, &CollectParts, &mail);
    if (mail.parts.isEmpty() && GMIME_IS_PART(g_mime_message_get_mime_part(msg)))
        CollectParts(nullptr, g_mime_message_get_mime_part(msg), &mail);
    g_object_unref(msg);
    return mail;
}

// ---- recipient list --------------------------------------------------------------------------

namespace {
class SqliteCursor : public IRecipientCursor {
public:
    explicit SqliteCursor(db::Connection& c) : m_conn(c) {}
    void NextRecipient(TAssociativeArray& record) override
    {
        record.Clear();
        if (!m_open) {
            m_rows = m_conn.Select(QStringLiteral("SELECT * FROM \"RL1\" WHERE Status = 0 ORDER BY \"_ID\""), {}, &m_names);
            m_open = true;
        } else {
            ++m_pos;
        }
        if (m_pos >= m_rows.size())
            return;
        const QVariantList& row = m_rows.at(m_pos);
        for (int i = 0; i < m_names.size(); ++i)
            record.SetValue(m_names.at(i), row.at(i).isNull() ? QString() : row.at(i).toString());
    }
    void SetStatus(int id, int status) override
    {
        m_conn.Execute(QStringLiteral("UPDATE \"RL1\" SET Status = ? WHERE \"_ID\" = ?"), {status, id});
    }
    int RowsToSent() override
    {
        return m_conn.Scalar(QStringLiteral("SELECT COUNT(\"_ID\") FROM \"RL1\" WHERE Status = 0")).toInt();
    }

private:
    db::Connection& m_conn;
    bool m_open = false;
    QList<QVariantList> m_rows;
    QStringList m_names;
    int m_pos = 0;
};
}

ListDb::ListDb(const QStringList& extraColumns) : m_extra(extraColumns)
{
    m_conn.Open(m_dir.file(QStringLiteral("qly.db")), db::OpenMode::CreateIfMissing);
    QString sql = QStringLiteral("CREATE TABLE \"RL1\" (\"_ID\" INTEGER PRIMARY KEY AUTOINCREMENT, "
                                 "\"Status\" SMALLINT DEFAULT 0, \"Email\" TEXT, \"Last Name\" TEXT, \"First Name\" TEXT");
    for (const QString& c : extraColumns)
        sql += QStringLiteral(", ") + db::QuoteName(c) + QStringLiteral(" TEXT");
    m_conn.Execute(sql + QLatin1Char(')'));
}

qint64 ListDb::Add(const QStringList& values, int status)
{
    QStringList cols{QStringLiteral("Status"), QStringLiteral("Email"), QStringLiteral("Last Name"),
                     QStringLiteral("First Name")};
    cols += m_extra;
    QVariantList params{status};
    for (int i = 0; i < cols.size() - 1; ++i)
        params.append(i < values.size() ? QVariant(values.at(i)) : QVariant());
    QStringList quoted, marks;
    for (const QString& c : cols) {
        quoted.append(db::QuoteName(c));
        marks.append(QStringLiteral("?"));
    }
    m_conn.Execute(QStringLiteral("INSERT INTO \"RL1\" (%1) VALUES (%2)").arg(quoted.join(','), marks.join(',')), params);
    return m_conn.LastInsertId();
}

int ListDb::Status(qint64 id)
{
    return m_conn.Scalar(QStringLiteral("SELECT Status FROM \"RL1\" WHERE \"_ID\" = ?"), {id}).toInt();
}

QList<int> ListDb::Statuses()
{
    QList<int> out;
    for (const QVariantList& row : m_conn.Select(QStringLiteral("SELECT Status FROM \"RL1\" ORDER BY \"_ID\"")))
        out.append(row.at(0).toInt());
    return out;
}

std::unique_ptr<IRecipientCursor> ListDb::Cursor()
{
    return std::make_unique<SqliteCursor>(m_conn);
}

// ---- job rig ---------------------------------------------------------------------------------

JobRig::JobRig(ListDb& list)
{
    sender.From = QStringLiteral("info@absender.de");
    sender.Name = QStringLiteral("Absender");
    sender.Threads = 1;
    job = std::make_unique<TMailingJob>(&log, &progress);
    auto t = std::make_unique<FakeTimer>();
    timer = t.get();
    job->SetScheduleTimer(std::move(t));
    job->Content = &content;
    job->SenderSettings = [this] { return sender; };
    job->OpenRecipients = [&list] { return list.Cursor(); };
    job->ShowMessage = [this](const QString& m) { messages.append(m); };
    job->AskQuestion = [this](const QString& q, TQuestionButtons) {
        questions.append(q);
        return answer;
    };
    job->OnRunningChanged = [this](bool r) { runningChanges.append(r); };
}

bool JobRig::WaitFor(const std::function<bool()>& condition, int timeoutMs)
{
    QElapsedTimer t;
    t.start();
    while (!condition()) {
        if (t.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(2);
    }
    return true;
}

void JobRig::RunToEnd(int timeoutMs)
{
    job->ButtonSendMailClick();
    EXPECT_TRUE(WaitFor([this] { return !job->Running(); }, timeoutMs)) << "job did not close";
}

QString StripTime(const QString& line)
{
    static const QRegularExpression time(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d"));
    QString s = line;
    return s.remove(time);
}

QStringList JobRig::Lines() const
{
    QStringList out;
    for (const QString& l : log.Lines())
        out.append(StripTime(l));
    return out;
}

int JobRig::LineIndex(const QString& text) const
{
    return int(Lines().indexOf(text));
}

} // namespace mailtest
