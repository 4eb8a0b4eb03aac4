// Mailing throughput and CPU against postfix's smtp-sink on 127.0.0.1, with smtp-source as the
// reference in the same run. Each case mails N recipients with the given worker count and
// message ("big": a 20 KB text with two placeholders and a 100 KB attachment; "small": a 6 KB
// text; "letter": as big, with the two placeholders in the first line only), then smtp-source sends our own message as the sink captured it (-F, the same bytes on
// the wire) with as many sessions, connections kept. Every case runs --runs times; the summary
// gives the median and the worst of the ratios, each with the sink's own CPU per mail (read from
// /proc before and after each run, ours and smtp-source's), the peer's rates and the load averages.
// Before each case one commit of a batch of sent marks is timed on the same disk ("commit ms"):
// the batches' disk syncs bound how many mails per second a mailing can mark.
//
//   bench_mailing [--count 10000] [--cases 1:big,8:big,8:small] [--runs 3] [--per-mail] [--show-log]
//
// (cases such as 8:letter are run when asked for)
//
// --show-log shows the log and the progress bar while the mailing runs (as the mailing page
// does: a shown log lays out and paints its lines); otherwise they stay hidden.
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
#include <QDir>
#include <algorithm>
#include <cstdio>
#include <sys/resource.h>
#include <unistd.h>

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

double LoadAverage()
{
    QFile f(QStringLiteral("/proc/loadavg"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    return f.readAll().split(' ').value(0).toDouble();
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

bool showLog = false;

double CpuSeconds(int who)
{
    rusage u{};
    getrusage(who, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// User and system CPU seconds a running process has used so far (/proc/<pid>/stat), -1 when it
// cannot be read.
double ProcessCpuSeconds(qint64 pid)
{
    QFile f(QStringLiteral("/proc/%1/stat").arg(pid));
    if (pid <= 0 || !f.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray stat = f.readAll();
    // The command name in parentheses may hold spaces: the fields are counted after it.
    const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 13)
        return -1;
    // utime and stime are the 14th and 15th fields, the 12th and 13th after the name.
    return double(fields.at(11).toLongLong() + fields.at(12).toLongLong()) / double(sysconf(_SC_CLK_TCK));
}

struct Sink {
    QProcess process;
    int port = 0;
    // dumpTemplate: smtp-sink -d (every transaction into a file); countFile: -c output
    void Start(const QString& countFile = {}, const QString& dumpTemplate = {})
    {
        port = FreePort();
        QStringList args{"-u", "nobody"};
        if (!countFile.isEmpty()) {
            args.prepend("-c");
            process.setStandardOutputFile(countFile);
        }
        if (!dumpTemplate.isEmpty())
            args << "-d" << dumpTemplate;
        args << QStringLiteral("127.0.0.1:%1").arg(port) << "256";
        process.start(QStringLiteral("/usr/sbin/smtp-sink"), args);
        process.waitForStarted();
        QThread::msleep(300);
    }
    void Stop()
    {
        process.terminate();
        process.waitForFinished();
    }
    QString Server() const { return QStringLiteral("127.0.0.1:%1").arg(port); }
    double CpuSeconds() const { return ProcessCpuSeconds(process.processId()); }
};

// The message of a smtp-sink dump (-d): what follows the sink's own records and its three-line
// "Received:" header, without the dump's closing empty line; LF line ends as smtp-source -F
// reads them.
QByteArray MessageOfDump(const QByteArray& dump)
{
    const QList<QByteArray> lines = dump.split('\n');
    int i = 0;
    while (i < lines.size() && !lines.at(i).startsWith("Received: "))
        ++i;
    ++i;
    while (i < lines.size() && (lines.at(i).startsWith('\t') || lines.at(i).startsWith(' ')))
        ++i;
    QByteArray out;
    for (int end = int(lines.size()) - 1; i < end; ++i) {
        QByteArray line = lines.at(i);
        if (line.endsWith('\r'))
            line.chop(1);
        out += line;
        out += '\n';
    }
    // the dump's closing empty line and the split's empty tail
    if (out.endsWith("\n\n"))
        out.chop(1);
    return out;
}

struct Outcome {
    double seconds = 0, cpu = 0, mainCpu = 0;  // mainCpu: the main thread's share
    int sentRows = 0;
    QString lastLine;
};

// Runs one mailing of the list in conn through a sink at server.
Outcome RunMailing(db::Connection& conn, IMailContent* content, const QString& server, int workers, bool perMail)
{
    TMailingLog log;
    QProgressBar progress;
    if (showLog) {
        log.resize(700, 300);
        log.show();
        progress.show();
    }
    TMailingJob job(&log, &progress);
    job.Content = content;
    TSenderSettings sender;
    sender.From = QStringLiteral("bench@example.org");
    sender.SmtpServer = server;
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
    Outcome out;
    const double cpu0 = CpuSeconds(RUSAGE_SELF);
    const double mainCpu0 = CpuSeconds(RUSAGE_THREAD);
    QElapsedTimer t;
    t.start();
    QEventLoop loop;
    QObject::connect(&job, &TMailingJob::JobClosed, &loop, &QEventLoop::quit);
    job.ButtonSendMailClick();
    if (job.Running())
        loop.exec();
    out.seconds = t.elapsed() / 1000.0;
    out.cpu = CpuSeconds(RUSAGE_SELF) - cpu0;
    out.mainCpu = CpuSeconds(RUSAGE_THREAD) - mainCpu0;
    out.sentRows = conn.Scalar(QStringLiteral("SELECT COUNT(*) FROM \"RL1\" WHERE Status = 1")).toInt();
    out.lastLine = log.Lines().value(log.Lines().size() - 1);
    return out;
}

void FillList(db::Connection& conn, const QString& file, int count)
{
    conn.Open(file, db::OpenMode::CreateIfMissing);
    conn.Execute(QStringLiteral("CREATE TABLE \"RL1\" (\"_ID\" INTEGER PRIMARY KEY AUTOINCREMENT, \"Status\" SMALLINT "
                                "DEFAULT 0, \"Email\" TEXT, \"Last Name\" TEXT, \"First Name\" TEXT)"));
    conn.BeginTrans();
    for (int i = 0; i < count; ++i)
        conn.Execute(QStringLiteral("INSERT INTO \"RL1\" (Status, Email, \"Last Name\", \"First Name\") VALUES (0, ?, ?, ?)"),
                     {QStringLiteral("r%1@example.org").arg(i), QStringLiteral("Muster%1").arg(i), QStringLiteral("Eva")});
    conn.CommitTrans();
}

// Milliseconds per commit of a batch of sent marks (TRecipientsCursor::BatchSize updates of one
// list's Status) on the bench's disk: the batches' disk syncs bound the marks per second a
// mailing can commit.
double CommitMs(const QString& file)
{
    db::Connection conn;
    FillList(conn, file, 1000);
    db::Statement update(conn, QStringLiteral("UPDATE \"RL1\" SET Status = ?1 WHERE \"_ID\" = ?2"));
    const int commits = 40;
    QElapsedTimer t;
    t.start();
    for (int c = 0; c < commits; ++c) {
        conn.BeginTrans();
        for (int i = 0; i < TRecipientsCursor::BatchSize; ++i) {
            update.Reset();
            update.Bind({c % 2, (c * TRecipientsCursor::BatchSize + i) % 1000 + 1});
            update.Step();
        }
        update.Reset();
        conn.CommitTrans();
    }
    return double(t.nsecsElapsed()) / 1e6 / commits;
}

double Median(QList<double> v)
{
    std::sort(v.begin(), v.end());
    return v.isEmpty() ? 0 : v.at(v.size() / 2);
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    int count = 10000;
    int runs = 3;
    QStringList cases{"1:big", "8:big", "8:small"};
    bool perMail = false;
    const QStringList args = app.arguments();
    for (int i = 1; i < args.size(); ++i) {
        if (args[i] == "--count" && i + 1 < args.size())
            count = args[++i].toInt();
        else if (args[i] == "--runs" && i + 1 < args.size())
            runs = std::max(1, args[++i].toInt());
        else if (args[i] == "--cases" && i + 1 < args.size())
            cases = args[++i].split(',');
        else if (args[i] == "--per-mail")
            perMail = true;
        else if (args[i] == "--show-log")
            showLog = true;
    }
    qInstallMessageHandler([](QtMsgType t, const QMessageLogContext&, const QString& m) {
        if (t != QtDebugMsg)
            std::fprintf(stderr, "%s\n", qPrintable(m));
    });
    QTemporaryDir dir;
    const QString line = QStringLiteral("Sehr geehrte(r) %First Name% %Last Name%, dies ist eine Zeile mit Umlauten: äöü ß.\r\n");
    QString bigText, smallText;
    while (bigText.size() < 20 * 1024)
        bigText += line;
    while (smallText.size() < 6 * 1024)
        smallText += line;
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
    Content big, small, letter;
    big.subject = small.subject = letter.subject = QStringLiteral("Angebot für %First Name%");
    big.body = bigText;
    big.attachments = {attachment};
    small.body = smallText;
    // the same size, text without placeholders after the greeting
    const QString plainLine = QStringLiteral("Sehr geehrte Damen und Herren, dies ist eine Zeile mit Umlauten: äöü ß.\r\n");
    letter.body = line;
    while (letter.body.size() < 20 * 1024)
        letter.body += plainLine;
    letter.attachments = {attachment};
    const QMap<QString, Content*> contents{{"big", &big}, {"small", &small}, {"letter", &letter}};

    // Our own messages as the sink receives them: one mailing to the list's first recipient.
    QMap<QString, QString> referenceFile;
    for (auto content = contents.begin(); content != contents.end(); ++content) {
        const QString kind = content.key();
        bool asked = false;
        for (const QString& c : cases)
            asked = asked || c.section(':', 1, 1) == kind;
        if (!asked)
            continue;
        db::Connection conn;
        FillList(conn, dir.filePath("capture-" + kind + ".db"), 1);
        // the sink runs as nobody: it must reach and write the folder
        const QString dumpDir = dir.filePath("dump-" + kind);
        QDir().mkpath(dumpDir);
        QFile::setPermissions(dir.path(), QFile::permissions(dir.path()) | QFile::ExeOther);
        QFile::setPermissions(dumpDir, QFile::ReadOther | QFile::WriteOther | QFile::ExeOther | QFile::ReadOwner
                                           | QFile::WriteOwner | QFile::ExeOwner);
        Sink sink;
        sink.Start({}, dumpDir + "/m.");
        RunMailing(conn, content.value(), sink.Server(), 1, false);
        QThread::msleep(300);
        sink.Stop();
        const QStringList dumps = QDir(dumpDir).entryList(QDir::Files);
        QFile dump(dumpDir + "/" + dumps.value(0));
        if (dumps.size() != 1 || !dump.open(QIODevice::ReadOnly)) {
            std::fprintf(stderr, "the sink captured %d messages of kind %s\n", int(dumps.size()), qPrintable(kind));
            return 1;
        }
        const QByteArray ourDump = dump.readAll();
        dump.close();
        const QByteArray message = MessageOfDump(ourDump);
        referenceFile[kind] = dir.filePath("reference-" + kind + ".eml");
        QFile out(referenceFile[kind]);
        out.open(QIODevice::WriteOnly);
        out.write(message);
        out.close();
        // What smtp-source sends of it must reach the sink as our mail did.
        QFile::remove(dump.fileName());
        Sink check;
        check.Start({}, dumpDir + "/m.");
        QProcess source;
        source.start(QStringLiteral("/usr/sbin/smtp-source"),
                     {"-m", "1", "-f", "bench@example.org", "-t", "r@example.org", "-F", referenceFile[kind], check.Server()});
        source.waitForFinished(-1);
        QThread::msleep(300);
        check.Stop();
        const QStringList sourceDumps = QDir(dumpDir).entryList(QDir::Files);
        QFile sourceDump(dumpDir + "/" + sourceDumps.value(0));
        // smtp-source ends the data with an empty line of its own before the final dot
        const bool same = sourceDumps.size() == 1 && sourceDump.open(QIODevice::ReadOnly)
                          && MessageOfDump(sourceDump.readAll()) == message + "\n";
        std::printf("message %s: %lld bytes on the wire (CRLF), smtp-source sends the same (+ CRLF): %s\n",
                    qPrintable(kind), static_cast<long long>(message.size() + message.count('\n')), same ? "yes" : "NO");
    }

    const double batchCommitMs = CommitMs(dir.filePath(QStringLiteral("commit.db")));
    std::printf("commit of %d marks on this disk: %.2f ms, at most %.0f marks/s\n", TRecipientsCursor::BatchSize,
                batchCommitMs, TRecipientsCursor::BatchSize * 1000.0 / batchCommitMs);
    std::printf("recipients %d, %s status commits, %d run(s) per case, log %s\n", count,
                perMail ? "per-mail" : "batched (send cursor)", runs, showLog ? "shown" : "hidden");
    // "sink ms/mail": the sink's own CPU per mail while our mailing ran / while smtp-source ran. It
    // is the same work in both; when it rises in a run the machine was slower, not our program.
    std::printf("%8s %6s %10s %10s %7s %14s %11s %10s %11s %7s %8s %6s %6s %9s\n", "workers", "mail", "mails/s", "source/s", "ratio",
                "sink ms/mail", "cpu ms/mail", "main share", "src ms/mail", "cpu x", "rows ok", "sink", "load", "commit ms");
    struct Summary { QList<double> ratio, cpuRatio, peerRate, load, sinkOurs, sinkPeer; };
    QMap<QString, Summary> summaries;
    for (int run = 0; run < runs; ++run) {
        for (const QString& c : cases) {
            const int workers = c.section(':', 0, 0).toInt();
            const QString kind = c.section(':', 1, 1);
            if (workers < 1 || !referenceFile.contains(kind)) {
                std::fprintf(stderr, "unknown case %s\n", qPrintable(c));
                return 1;
            }
            const double load = LoadAverage();
            const double commitMs = CommitMs(dir.filePath(QStringLiteral("commit-%1.db").arg(run)));
            QFile::remove(dir.filePath(QStringLiteral("commit-%1.db").arg(run)));
            db::Connection conn;
            FillList(conn, dir.filePath(QStringLiteral("bench-%1-%2.db").arg(c.section(':', 0, 0), kind) + QString::number(run)), count);
            const QString sinkOut = dir.filePath(QStringLiteral("sink.out"));
            Sink sink;
            sink.Start(sinkOut);
            // The sink's own CPU time around the run: what it spent on our mails.
            const double sinkCpu0 = sink.CpuSeconds();
            const Outcome ours = RunMailing(conn, contents.value(kind), sink.Server(), workers, perMail);
            const double sinkCpu = sink.CpuSeconds() - sinkCpu0;
            QThread::msleep(300);
            sink.Stop();
            const int sinkCount = SinkCount(sinkOut);
            conn.Close();

            Sink sink2;
            sink2.Start();
            const double childCpu0 = CpuSeconds(RUSAGE_CHILDREN);
            const double sink2Cpu0 = sink2.CpuSeconds();
            QProcess source;
            QElapsedTimer t2;
            t2.start();
            source.start(QStringLiteral("/usr/sbin/smtp-source"),
                         {"-s", QString::number(workers), "-m", QString::number(count), "-d", "-f", "bench@example.org",
                          "-t", "r@example.org", "-F", referenceFile[kind], sink2.Server()});
            source.waitForFinished(-1);
            const double seconds2 = t2.elapsed() / 1000.0;
            const double sourceCpu = CpuSeconds(RUSAGE_CHILDREN) - childCpu0;  // the sink still runs
            const double sink2Cpu = sink2.CpuSeconds() - sink2Cpu0;
            sink2.Stop();

            const double rate = ours.sentRows / ours.seconds;
            const double rate2 = count / seconds2;
            const double cpuPerMail = 1000.0 * ours.cpu / std::max(1, ours.sentRows);
            const double sourceCpuPerMail = 1000.0 * sourceCpu / count;
            summaries[c].ratio.append(rate / rate2);
            summaries[c].cpuRatio.append(cpuPerMail / sourceCpuPerMail);
            summaries[c].peerRate.append(rate2);
            summaries[c].load.append(load);
            const double sinkPerMail = 1000.0 * sinkCpu / std::max(1, ours.sentRows), sink2PerMail = 1000.0 * sink2Cpu / count;
            summaries[c].sinkOurs.append(sinkPerMail);
            summaries[c].sinkPeer.append(sink2PerMail);
            std::printf("%8d %6s %10.1f %10.1f %7.2f %7.3f/%-6.3f %11.3f %9.0f%% %11.3f %7.2f %8s %6d %6.1f %9.2f\n", workers,
                        qPrintable(kind), rate, rate2, rate / rate2, sinkPerMail, sink2PerMail, cpuPerMail,
                        100.0 * ours.mainCpu / std::max(1e-9, ours.cpu), sourceCpuPerMail, cpuPerMail / sourceCpuPerMail,
                        ours.sentRows == count ? "yes" : "NO", sinkCount, load, commitMs);
            std::fflush(stdout);
            if (ours.sentRows != count)
                std::fprintf(stderr, "last log line: %s\n", qPrintable(ours.lastLine));
        }
    }
    // Beside the median and the worst ratio: the sink's CPU per mail in our runs / in smtp-source's
    // (their medians), and in the run of the worst ratio.
    std::printf("\n%10s %14s %16s %12s %16s %14s %12s %15s %10s\n", "case", "ratio median", "sink ms/mail", "ratio worst",
                "sink ms/mail", "cpu x median", "cpu x worst", "peer mails/s", "load");
    for (const QString& c : cases) {
        const Summary& s = summaries[c];
        const qsizetype worst = std::min_element(s.ratio.begin(), s.ratio.end()) - s.ratio.begin();
        std::printf("%10s %14.2f %8.3f/%-7.3f %12.2f %8.3f/%-7.3f %14.2f %12.2f %7.0f-%-7.0f %4.1f-%-4.1f\n", qPrintable(c),
                    Median(s.ratio), Median(s.sinkOurs), Median(s.sinkPeer), s.ratio.at(worst), s.sinkOurs.at(worst),
                    s.sinkPeer.at(worst), Median(s.cpuRatio),
                    *std::max_element(s.cpuRatio.begin(), s.cpuRatio.end()),
                    *std::min_element(s.peerRate.begin(), s.peerRate.end()),
                    *std::max_element(s.peerRate.begin(), s.peerRate.end()), *std::min_element(s.load.begin(), s.load.end()),
                    *std::max_element(s.load.begin(), s.load.end()));
    }
    return 0;
}
