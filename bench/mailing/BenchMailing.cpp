// Mails N recipients (a 20 KB text with two placeholders and a 100 KB attachment) through
// postfix's smtp-sink on 127.0.0.1 with the given worker counts, then runs smtp-source with the
// same session count and message size as the reference for what the machine can carry.
//
//   bench_mailing [--count 10000] [--workers 1,8,32] [--per-mail]
//
// Rows are marked through the program's send cursor (TRecipientsCursor: short batches);
// --per-mail marks them with one commit per mail instead, for comparison.
// Needs /usr/sbin/smtp-sink and /usr/sbin/smtp-source (Debian package postfix).
#include "mailing/MailingJob.h"
#include "mailing/MailingLog.h"
#include "mailing/RecipientsCursor.h"
#include "platform/db/ExtADODataSet.h"
#include "platform/db/Connection.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QProgressBar>
#include <QRandomGenerator>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <cstdio>

namespace {

long RssKb(const char* field)
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(int(strlen(field))).trimmed().split(' ').value(0).toLong();
    return 0;
}

int FreePort()
{
    QTcpServer s;
    s.listen(QHostAddress::LocalHost, 0);
    return s.serverPort();
}

class Content : public IMailContent {
public:
    QString subject, body;
    QStringList attachments;
    QString Subject() const override { return subject; }
    QString PlainBody() const override { return body; }
    bool SignatureOn() const override { return false; }
    QString Signature() const override { return {}; }
    bool HtmlMode() const override { return false; }
    QString Html() const override { return {}; }
    QStringList AttachmentPaths() const override { return attachments; }
};

// One commit per mail.
class PerMailCursor : public IRecipientCursor {
public:
    explicit PerMailCursor(db::Connection& c) : m_conn(c) {}
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
        for (int i = 0; i < m_names.size(); ++i)
            record.SetValue(m_names.at(i), m_rows.at(m_pos).at(i).toString());
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

int SinkCount(const QString& file)
{
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray all = f.readAll();
    const int at = int(all.lastIndexOf("mesg="));
    if (at < 0)
        return 0;
    QByteArray n;
    for (int i = at + 5; i < all.size() && isdigit(static_cast<unsigned char>(all.at(i))); ++i)
        n.append(all.at(i));
    return n.toInt();
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    int count = 10000;
    QList<int> workerCounts{1, 8, 32};
    bool perMail = false;
    const QStringList args = app.arguments();
    for (int i = 1; i < args.size(); ++i) {
        if (args[i] == "--count" && i + 1 < args.size())
            count = args[++i].toInt();
        else if (args[i] == "--workers" && i + 1 < args.size()) {
            workerCounts.clear();
            for (const QString& w : args[++i].split(','))
                workerCounts.append(w.toInt());
        } else if (args[i] == "--per-mail")
            perMail = true;
    }
    QTemporaryDir dir;
    QString text;
    while (text.size() < 20 * 1024)
        text += QStringLiteral("Sehr geehrte(r) %First Name% %Last Name%, dies ist eine Zeile mit Umlauten: äöü ß.\r\n");
    const QString attachment = dir.filePath(QStringLiteral("anhang.bin"));
    {
        QFile f(attachment);
        f.open(QIODevice::WriteOnly);
        QByteArray data(100 * 1024, '\0');
        QRandomGenerator rng(42);
        for (char& c : data)
            c = char(rng.generate());
        f.write(data);
    }
    Content content;
    content.subject = QStringLiteral("Angebot für %First Name%");
    content.body = text;
    content.attachments = {attachment};

    std::printf("recipients %d, %s status commits\n", count, perMail ? "per-mail" : "batched (send cursor)");
    std::printf("%8s %12s %12s %8s %10s %10s %8s %8s\n", "workers", "mails/s", "source/s", "ratio", "RSS0 MB",
                "peak MB", "rows ok", "sink");
    for (int workers : workerCounts) {
        db::Connection conn;
        const QString dbFile = dir.filePath(QStringLiteral("bench%1.db").arg(workers));
        conn.Open(dbFile, db::OpenMode::CreateIfMissing);
        conn.Execute(QStringLiteral("CREATE TABLE \"RL1\" (\"_ID\" INTEGER PRIMARY KEY AUTOINCREMENT, \"Status\" SMALLINT "
                                    "DEFAULT 0, \"Email\" TEXT, \"Last Name\" TEXT, \"First Name\" TEXT)"));
        conn.BeginTrans();
        for (int i = 0; i < count; ++i)
            conn.Execute(QStringLiteral("INSERT INTO \"RL1\" (Status, Email, \"Last Name\", \"First Name\") VALUES (0, ?, ?, ?)"),
                         {QStringLiteral("r%1@example.org").arg(i), QStringLiteral("Muster%1").arg(i), QStringLiteral("Eva")});
        conn.CommitTrans();

        const int port = FreePort();
        const QString sinkOut = dir.filePath(QStringLiteral("sink%1.out").arg(workers));
        QProcess sink;
        sink.setStandardOutputFile(sinkOut);
        sink.start(QStringLiteral("/usr/sbin/smtp-sink"),
                   {"-c", "-u", "nobody", QStringLiteral("127.0.0.1:%1").arg(port), "256"});
        sink.waitForStarted();
        QThread::msleep(300);

        TMailingLog log;
        QProgressBar progress;
        TMailingJob job(&log, &progress);
        job.Content = &content;
        TSenderSettings sender;
        sender.From = QStringLiteral("bench@example.org");
        sender.SmtpServer = QStringLiteral("127.0.0.1:%1").arg(port);
        sender.Threads = workers;
        job.SenderSettings = [sender] { return sender; };
        db::TExtADODataSet grid(&conn);
        grid.SetCommandText(QStringLiteral("SELECT * FROM \"RL1\""));
        job.OpenRecipients = [&conn, &grid, perMail]() -> std::unique_ptr<IRecipientCursor> {
            if (perMail)
                return std::make_unique<PerMailCursor>(conn);
            return std::make_unique<TRecipientsCursor>(grid);
        };
        job.AskQuestion = [](const QString&, TQuestionButtons) { return true; };
        job.ShowMessage = [](const QString& m) { std::fprintf(stderr, "%s\n", qPrintable(m)); };
        qInstallMessageHandler([](QtMsgType t, const QMessageLogContext&, const QString& m) {
            if (t != QtDebugMsg)
                std::fprintf(stderr, "%s\n", qPrintable(m));
        });

        const long rss0 = RssKb("VmRSS:");
        long peak = rss0;
        QTimer sampler;
        QObject::connect(&sampler, &QTimer::timeout, [&] { peak = std::max(peak, RssKb("VmRSS:")); });
        sampler.start(50);
        QElapsedTimer t;
        t.start();
        QEventLoop loop;
        QObject::connect(&job, &TMailingJob::JobClosed, &loop, &QEventLoop::quit);
        job.ButtonSendMailClick();
        if (job.Running())
            loop.exec();
        const double seconds = t.elapsed() / 1000.0;
        sampler.stop();
        peak = std::max(peak, RssKb("VmRSS:"));
        const int sentRows = conn.Scalar(QStringLiteral("SELECT COUNT(*) FROM \"RL1\" WHERE Status = 1")).toInt();
        QThread::msleep(500);
        sink.terminate();
        sink.waitForFinished();
        const int sinkCount = SinkCount(sinkOut);

        // Reference: smtp-source with the same sessions and message size, connections kept.
        const QStringList lines = log.Lines();
        const int port2 = FreePort();
        QProcess sink2;
        sink2.start(QStringLiteral("/usr/sbin/smtp-sink"), {"-u", "nobody", QStringLiteral("127.0.0.1:%1").arg(port2), "256"});
        sink2.waitForStarted();
        QThread::msleep(300);
        // One message as the workers send it: text, attachment and headers.
        const int messageSize = 140 * 1024;
        QProcess source;
        QElapsedTimer t2;
        t2.start();
        source.start(QStringLiteral("/usr/sbin/smtp-source"),
                     {"-s", QString::number(workers), "-m", QString::number(count), "-l", QString::number(messageSize),
                      "-d", QStringLiteral("127.0.0.1:%1").arg(port2)});
        source.waitForFinished(-1);
        const double seconds2 = t2.elapsed() / 1000.0;
        sink2.terminate();
        sink2.waitForFinished();

        const double rate = sentRows / seconds;
        const double rate2 = count / seconds2;
        std::printf("%8d %12.1f %12.1f %7.0f%% %10.1f %10.1f %8s %8d\n", workers, rate, rate2, 100.0 * rate / rate2,
                    rss0 / 1024.0, peak / 1024.0, sentRows == count ? "yes" : "NO", sinkCount);
        std::fflush(stdout);
        if (sentRows != count)
            std::fprintf(stderr, "last log line: %s\n", qPrintable(lines.value(lines.size() - 1)));
    }
    return 0;
}
