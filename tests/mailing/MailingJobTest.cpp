// Mailings against a real SMTP server (aiosmtpd on 127.0.0.1, see smtp_peer.py).
#include "MailTestUtil.h"
#include "mailing/MailingLog.h"
#include "mailing/RecipientsCursor.h"
#include "platform/db/ExtADODataSet.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonObject>
#include <QLocale>
#include <QRegularExpression>
#include <QSet>
#include <optional>
#include <gtest/gtest.h>

using namespace mailtest;

namespace {

int CountLines(const QStringList& lines, const QString& text)
{
    return int(lines.count(text));
}

int CountContaining(const QStringList& lines, const QString& part)
{
    int n = 0;
    for (const QString& l : lines)
        n += l.contains(part) ? 1 : 0;
    return n;
}

} // namespace

TEST(MailingJob, PlainMailingToThreeRowsWithTenThreads)
{
    QLocale::setDefault(QLocale::c());
    SmtpPeer peer;
    ListDb list({QStringLiteral("Anrede")});
    list.Add({"eva@x.de", "Muster", "Eva", "Frau"});
    list.Add({"anna@x.de", "", "Anna", "Frau"});
    list.Add({"joerg@x.de", "Müller", "Jörg", "Herr"});
    list.Add({"blocked@x.de", "B", "B", ""}, 2);
    JobRig rig(list);
    rig.sender.SmtpServer = peer.server();
    rig.sender.Threads = 10;
    rig.sender.ReplyTo = QString();
    rig.content.subject = QStringLiteral("Hallo %first name% %LAST NAME%!");
    rig.content.body = QStringLiteral("%anrede% %Last Name%,\r\nIhre Adresse: %EMAIL%.\r\nGrüße aus Köln\r\n%Unbekannt%");
    rig.content.signatureOn = true;
    rig.content.signature = QStringLiteral("-- \r\nIhr Team");
    rig.RunToEnd();

    EXPECT_EQ(rig.job->WorkersCreated(), 3);
    const QStringList lines = rig.Lines();
    EXPECT_EQ(CountLines(lines, " Thread 1 : Initialisiert."), 1);
    EXPECT_EQ(CountLines(lines, " Thread 3 : Initialisiert."), 1);
    EXPECT_EQ(CountContaining(lines, " : Initialisiert."), 3);
    EXPECT_EQ(CountContaining(lines, "  gesendet."), 3);
    EXPECT_EQ(CountContaining(lines, " : beendet."), 3);
    ASSERT_GE(lines.size(), 3);
    EXPECT_EQ(lines.last(), "3 Mail(s) gesendet.");
    EXPECT_EQ(lines.at(lines.size() - 2), "");
    EXPECT_TRUE(lines.at(lines.size() - 3).endsWith(" : beendet."));
    EXPECT_EQ(rig.log.LineColor(rig.log.Lines().size() - 1), mailcolors::Blue);
    const int green = int(rig.log.Lines().indexOf(QRegularExpression(".*eva@x.de  gesendet\\.")));
    ASSERT_GE(green, 0);
    EXPECT_EQ(rig.log.LineColor(green), mailcolors::Green);
    EXPECT_EQ(rig.log.LineColor(rig.LineIndex(" Thread 2 : Initialisiert.")), mailcolors::Blue);
    EXPECT_EQ(list.Statuses(), (QList<int>{1, 1, 1, 2}));
    EXPECT_EQ(rig.progress.maximum(), 3);
    EXPECT_EQ(rig.progress.value(), 3);
    EXPECT_EQ(rig.runningChanges, (QList<bool>{true, false}));

    ASSERT_EQ(peer.messageFiles().size(), 3);
    QMap<QString, ParsedMail> byTo;
    QSet<QString> ids;
    for (int i = 0; i < 3; ++i) {
        const QByteArray raw = peer.raw(i);
        EXPECT_FALSE(raw.contains("\n") && raw.count("\n") != raw.count("\r\n")) << "bare LF in message";
        const ParsedMail m = ParseMail(raw);
        byTo.insert(m.to, m);
        ids.insert(m.headers.value("message-id"));
        EXPECT_TRUE(m.headers.contains("date"));
        EXPECT_EQ(m.headers.value("mime-version"), "1.0");
        EXPECT_FALSE(m.headers.contains("reply-to")) << "no empty Reply-To";
        EXPECT_EQ(m.from, "Absender <info@absender.de>");
    }
    EXPECT_EQ(ids.size(), 3);
    ASSERT_TRUE(byTo.contains("Eva Muster <eva@x.de>"));
    ASSERT_TRUE(byTo.contains("anna@x.de")) << "no display name without a last name";
    ASSERT_TRUE(byTo.contains(QString::fromUtf8("Jörg Müller <joerg@x.de>")));

    const ParsedMail eva = byTo.value("Eva Muster <eva@x.de>");
    EXPECT_EQ(eva.subject, "Hallo Eva Muster!");
    ASSERT_EQ(eva.parts.size(), 1);
    EXPECT_EQ(eva.parts[0].contentType, "text/plain");
    EXPECT_EQ(eva.parts[0].transferEncoding, "quoted-printable");
    EXPECT_EQ(eva.parts[0].text,
              QString::fromUtf8("Frau Muster,\r\nIhre Adresse: eva@x.de.\r\nGrüße aus Köln\r\n%Unbekannt%\r\n-- \r\nIhr Team"));
    const ParsedMail joerg = byTo.value(QString::fromUtf8("Jörg Müller <joerg@x.de>"));
    EXPECT_EQ(joerg.subject, QString::fromUtf8("Hallo Jörg Müller!"));
    EXPECT_FALSE(joerg.parts[0].text.contains("Muster")) << "leftover of another recipient";
    EXPECT_FALSE(joerg.parts[0].text.contains("eva@x.de"));
    EXPECT_TRUE(joerg.parts[0].text.startsWith(QString::fromUtf8("Herr Müller,")));
    EXPECT_EQ(byTo.value("anna@x.de").subject, "Hallo Anna !");
}

TEST(MailingJob, NoRowsToSendWritesTheRedLineAndStartsNoWorker)
{
    SmtpPeer peer;
    ListDb list;
    list.Add({"a@x.de", "A", "A"}, 1);
    JobRig rig(list);
    rig.sender.SmtpServer = peer.server();
    rig.job->ButtonSendMailClick();
    EXPECT_FALSE(rig.job->Running());
    EXPECT_EQ(rig.job->WorkersCreated(), 0);
    const QStringList lines = rig.Lines();
    ASSERT_FALSE(lines.isEmpty());
    EXPECT_EQ(lines.last(), QString::fromUtf8(" Es sind keine Empfänger als \"zu versenden\" markiert. Bitte bearbeiten "
                                              "Sie die Empfängerliste."));
    EXPECT_EQ(rig.log.LineColor(int(lines.size()) - 1), mailcolors::Red);
    EXPECT_EQ(rig.log.Lines().at(1), QString(62, '-'));
    EXPECT_TRUE(rig.runningChanges.isEmpty());
    EXPECT_EQ(peer.count("connect"), 0);
}

TEST(MailingJob, ScheduledBlocksPauseAndResumeWithGermanLogFormats)
{
    QLocale::setDefault(QLocale::c());
    SmtpPeer peer;
    ListDb list;
    for (int i = 1; i <= 5; ++i)
        list.Add({QStringLiteral("r%1@x.de").arg(i), "N", "V"});
    JobRig rig(list);
    rig.sender.SmtpServer = peer.server();
    rig.sender.Scheduled = true;
    rig.sender.Threads = 10;  // ignored in scheduled mode
    rig.sender.ScheduledMails = 2;
    rig.sender.ScheduledMinutes = 0.5;
    rig.job->ButtonSendMailClick();
    for (int pause = 1; pause <= 2; ++pause) {
        ASSERT_TRUE(rig.WaitFor([&] { return rig.timer->active; })) << "pause " << pause;
        EXPECT_EQ(rig.timer->intervals.last(), 30000);
        EXPECT_EQ(rig.job->SentMails(), 2 * pause);
        // The worker closes its connection while it waits.
        ASSERT_TRUE(rig.WaitFor([&] { return peer.count("quit") == pause; }));
        rig.timer->Fire();
        EXPECT_FALSE(rig.timer->active);
    }
    ASSERT_TRUE(rig.WaitFor([&] { return !rig.job->Running(); }));
    EXPECT_EQ(rig.job->WorkersCreated(), 1);
    const QStringList lines = rig.Lines();
    EXPECT_EQ(CountLines(lines, " Thread 1 : Verbindung zum SMTP Server unterbrochen."), 2);
    EXPECT_EQ(CountLines(lines, QString::fromUtf8(" Thread 1 : Warte für  0,5 Minuten.")), 2);
    EXPECT_EQ(CountLines(lines, " Thread 1 : Verbindung zum SMTP Server wiederhergestellt."), 2);
    // Order: two mails, pause, two mails, pause, one mail.
    const int firstPause = rig.LineIndex(" Thread 1 : Verbindung zum SMTP Server unterbrochen.");
    EXPECT_EQ(CountContaining(lines.mid(0, firstPause), "  gesendet."), 2);
    EXPECT_EQ(lines.last(), "5 Mail(s) gesendet.");
    EXPECT_EQ(peer.count("connect"), 3);
    EXPECT_EQ(peer.messageFiles().size(), 5);
    EXPECT_EQ(list.Statuses(), (QList<int>{1, 1, 1, 1, 1}));
    const QString header = rig.log.Lines().at(2);
    EXPECT_TRUE(QRegularExpression("^Datum/Uhrzeit:  \\d\\d\\.\\d\\d\\.\\d{4} \\d\\d:\\d\\d:\\d\\d$").match(header).hasMatch())
        << header.toStdString();
}

TEST(MailingJob, PauseOfZeroMinutesResumesAtOnce)
{
    SmtpPeer peer;
    ListDb list;
    for (int i = 1; i <= 3; ++i)
        list.Add({QStringLiteral("r%1@x.de").arg(i), "N", "V"});
    JobRig rig(list);
    rig.sender.SmtpServer = peer.server();
    rig.sender.Scheduled = true;
    rig.sender.ScheduledMails = 1;
    rig.sender.ScheduledMinutes = 0;
    rig.RunToEnd();
    EXPECT_EQ(rig.Lines().last(), "3 Mail(s) gesendet.");
    EXPECT_EQ(CountLines(rig.Lines(), " Thread 1 : Verbindung zum SMTP Server wiederhergestellt."), 2);
    EXPECT_TRUE(rig.timer->intervals.isEmpty());
}

TEST(MailingJob, AbortWhilePausedEndsWithoutSendingTheHeldRecipient)
{
    SmtpPeer peer;
    ListDb list;
    for (int i = 1; i <= 5; ++i)
        list.Add({QStringLiteral("r%1@x.de").arg(i), "N", "V"});
    JobRig rig(list);
    rig.sender.SmtpServer = peer.server();
    rig.sender.Scheduled = true;
    rig.sender.ScheduledMails = 2;
    rig.sender.ScheduledMinutes = 3;
    rig.job->ButtonSendMailClick();
    ASSERT_TRUE(rig.WaitFor([&] { return rig.timer->active; }));
    rig.job->AbortButtonClick();
    EXPECT_FALSE(rig.timer->active);
    ASSERT_TRUE(rig.WaitFor([&] { return !rig.job->Running(); }));
    const QStringList lines = rig.Lines();
    const int abort = rig.LineIndex(" Abbruch durch Benutzer initiiert.");
    ASSERT_GE(abort, 0);
    EXPECT_EQ(rig.log.LineColor(abort), mailcolors::Red);
    EXPECT_EQ(lines.at(abort + 1), " Thread 1 : beendet.");
    EXPECT_EQ(CountContaining(lines, "Mail(s) gesendet."), 1);
    EXPECT_EQ(lines.last(), "2 Mail(s) gesendet.");
    EXPECT_EQ(CountLines(lines, " Thread 1 : Verbindung zum SMTP Server wiederhergestellt."), 0);
    EXPECT_EQ(peer.count("data"), 2);
    EXPECT_EQ(list.Statuses(), (QList<int>{1, 1, 0, 0, 0}));
}

TEST(MailingJob, AbortGivesUpTheMailsInFlight)
{
    SmtpPeer peer;
    ListDb list;
    // enough rows that the workers (which ask for the next rows while they send) are still busy
    // when the abort comes
    for (int i = 1; i <= 400; ++i)
        list.Add({QStringLiteral("r%1@x.de").arg(i), "N", "V"});
    JobRig rig(list);
    rig.sender.SmtpServer = peer.server();
    rig.sender.Threads = 2;
    rig.job->ButtonSendMailClick();
    ASSERT_TRUE(rig.WaitFor([&] { return rig.job->SentMails() >= 2; }));
    rig.job->AbortButtonClick();
    const int dataAtAbort = peer.count("data");
    ASSERT_TRUE(rig.WaitFor([&] { return !rig.job->Running(); }));
    const int sent = rig.job->SentMails();
    EXPECT_LT(sent, 400);
    EXPECT_LE(sent, dataAtAbort + 2) << "at most the mails in flight are finished";
    // A mail whose data reached the server but whose reply was not awaited any more stays
    // unsent here: at most one per worker.
    EXPECT_GE(peer.count("data"), sent);
    EXPECT_LE(peer.count("data"), sent + 2);
    EXPECT_EQ(list.Statuses().count(1), sent);
    EXPECT_EQ(list.Statuses().count(0), 400 - sent);
    EXPECT_EQ(CountContaining(rig.Lines(), "Mail(s) gesendet."), 1);
    EXPECT_EQ(rig.Lines().last(), QStringLiteral("%1 Mail(s) gesendet.").arg(sent));
}

struct FailureCase {
    const char* name;
    PeerOptions options;
    const char* serverText;  // part of the red line
};
void PrintTo(const FailureCase& c, std::ostream* os) { *os << c.name; }

class MailingFailures : public ::testing::TestWithParam<FailureCase> {};

TEST_P(MailingFailures, FailedRowKeepsStatusZeroAndTheWorkerGoesOn)
{
    SmtpPeer peer(GetParam().options);
    ListDb list;
    for (int i = 1; i <= 5; ++i)
        list.Add({QStringLiteral("r%1@x.de").arg(i), "N", "V"});
    JobRig rig(list);
    rig.sender.SmtpServer = peer.server();
    rig.job->LowSpeedTimeSeconds = 1;  // a stalled transfer gives up after a second
    rig.RunToEnd();
    EXPECT_EQ(list.Statuses(), (QList<int>{1, 1, 0, 1, 1}));
    const QStringList lines = rig.Lines();
    const int red = int(lines.indexOf(QRegularExpression("^ Thread 1 : r3@x.de Fehler: Could not send message\\. .+")));
    ASSERT_GE(red, 0) << lines.join('\n').toStdString();
    EXPECT_TRUE(lines.at(red).contains(GetParam().serverText)) << lines.at(red).toStdString();
    EXPECT_EQ(rig.log.LineColor(red), mailcolors::Red);
    EXPECT_EQ(lines.last(), "4 Mail(s) gesendet.1 Mail(s) konnten nicht gesendet werden.");
    EXPECT_EQ(peer.count("connect"), 2) << "one reconnect after the failure";
    EXPECT_EQ(peer.messageFiles().size(), 4);
    EXPECT_EQ(rig.progress.value(), 5);
}

INSTANTIATE_TEST_SUITE_P(
    Peer, MailingFailures,
    ::testing::Values(FailureCase{"Rcpt550", PeerOptions{{}, {"r3@x.de"}, {}, {}, {}, false}, "550 5.1.1 <r3@x.de>: Recipient address rejected"},
                      FailureCase{"DropInData", PeerOptions{{}, {}, {"r3@x.de"}, {}, {}, false}, "Could not send message. "},
                      FailureCase{"Answer421", PeerOptions{{}, {}, {}, {"r3@x.de"}, {}, false}, "421 4.3.2 Service shutting down"},
                      FailureCase{"StallInData", PeerOptions{{}, {}, {}, {}, {"r3@x.de"}, false}, "server response timeout"},
                      // the same with the envelope sent in one write
                      FailureCase{"Rcpt550Pipelined", PeerOptions{.reject = {"r3@x.de"}, .pipelining = true}, "550 5.1.1 <r3@x.de>: Recipient address rejected"},
                      FailureCase{"DropInDataPipelined", PeerOptions{.dropData = {"r3@x.de"}, .pipelining = true}, "Could not send message. "},
                      FailureCase{"Answer421Pipelined", PeerOptions{.fail421 = {"r3@x.de"}, .pipelining = true}, "421 4.3.2 Service shutting down"},
                      FailureCase{"StallInDataPipelined", PeerOptions{.stallData = {"r3@x.de"}, .pipelining = true}, "server response timeout"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(MailingJob, RefusingServerGivesOneRedLinePerWorkerAndOneTotalsLine)
{
    ListDb list;
    for (int i = 1; i <= 3; ++i)
        list.Add({QStringLiteral("r%1@x.de").arg(i), "N", "V"});
    JobRig rig(list);
    rig.sender.SmtpServer = QStringLiteral("127.0.0.1:%1").arg(ClosedPort());
    rig.sender.Threads = 3;
    rig.RunToEnd();
    const QStringList lines = rig.Lines();
    EXPECT_EQ(CountContaining(lines, " : SMTP Fehler: "), 3) << lines.join('\n').toStdString();
    EXPECT_EQ(CountContaining(lines, "Mail(s) gesendet."), 1);
    EXPECT_EQ(lines.last(), "0 Mail(s) gesendet.3 Mail(s) konnten nicht gesendet werden.");
    EXPECT_EQ(list.Statuses(), (QList<int>{0, 0, 0}));
}

TEST(MailingJob, ServerTextWithABadPortEndsTheWorkerWithTheConnectionLine)
{
    ListDb list;
    list.Add({"a@x.de", "N", "V"});
    JobRig rig(list);
    rig.sender.SmtpServer = QStringLiteral("localhost:abc");
    rig.RunToEnd();
    EXPECT_EQ(CountLines(rig.Lines(), QString::fromUtf8(" Thread 1 : SMTP Fehler: 'abc' ist kein gültiger Integerwert")), 1)
        << rig.Lines().join('\n').toStdString();
    EXPECT_EQ(rig.Lines().last(), "0 Mail(s) gesendet.1 Mail(s) konnten nicht gesendet werden.");
}

TEST(MailingJob, AuthenticationOnSendsCredentialsAndOffSendsNoAuth)
{
    {
        SmtpPeer peer({QStringLiteral("hans:geheim")});
        ListDb list;
        list.Add({"a@x.de", "N", "V"});
        JobRig rig(list);
        rig.sender.SmtpServer = peer.server();
        rig.sender.Authentication = true;
        rig.sender.UserName = QStringLiteral("hans");
        rig.sender.Password = QStringLiteral("geheim");
        rig.RunToEnd();
        EXPECT_EQ(rig.Lines().last(), "1 Mail(s) gesendet.");
        bool sawLogin = false;
        for (const QJsonObject& e : peer.events())
            if (e.value("ev").toString() == "auth")
                sawLogin = e.value("login").toString() == "hans" && e.value("password").toString() == "geheim";
        EXPECT_TRUE(sawLogin);
    }
    {
        SmtpPeer peer({QStringLiteral("hans:geheim")});
        ListDb list;
        list.Add({"a@x.de", "N", "V"});
        JobRig rig(list);
        rig.sender.SmtpServer = peer.server();
        rig.sender.Authentication = true;
        rig.sender.UserName = QStringLiteral("hans");
        rig.sender.Password = QStringLiteral("falsch");
        rig.RunToEnd();
        const int red = int(rig.Lines().indexOf(QRegularExpression("^ Thread 1 : SMTP Fehler: 535 .*")));
        EXPECT_GE(red, 0) << rig.Lines().join('\n').toStdString();
        EXPECT_EQ(list.Statuses(), (QList<int>{0}));
    }
    {
        SmtpPeer peer;
        ListDb list;
        list.Add({"a@x.de", "N", "V"});
        JobRig rig(list);
        rig.sender.SmtpServer = peer.server();
        rig.sender.Authentication = false;
        rig.sender.UserName = QStringLiteral("hans");
        rig.sender.Password = QStringLiteral("geheim");
        rig.RunToEnd();
        EXPECT_EQ(rig.Lines().last(), "1 Mail(s) gesendet.");
        EXPECT_EQ(peer.count("auth_cmd"), 0);
    }
}

TEST(MailingJob, HeaderInjectionIsRemovedAndBadAddressesFailWithoutReconnect)
{
    SmtpPeer peer;
    ListDb list({QStringLiteral("Thema")});
    const QString evil = QStringLiteral("X\r\nBcc: evil@x.de");
    list.Add({"eva@x.de", evil, "Eva", evil});
    list.Add({"a@x.de, b@x.de", "N", "V", "t"});
    list.Add({"@x.de", "N", "V", "t"});
    list.Add({"c@x.de", "N", "V", "t"});
    JobRig rig(list);
    rig.sender.SmtpServer = peer.server();
    rig.content.subject = QStringLiteral("Zum %Thema%");
    rig.RunToEnd();

    const QStringList lines = rig.Lines();
    EXPECT_EQ(CountLines(lines, " Thread 1 : a@x.de, b@x.de Fehler: Could not send message. Ungültige E-Mail-Adresse."), 1)
        << lines.join('\n').toStdString();
    EXPECT_EQ(CountLines(lines, " Thread 1 : @x.de Fehler: Could not send message. Ungültige E-Mail-Adresse."), 1);
    EXPECT_EQ(lines.last(), "2 Mail(s) gesendet.2 Mail(s) konnten nicht gesendet werden.");
    EXPECT_EQ(peer.count("connect"), 1) << "no reconnect after an invalid address";
    EXPECT_EQ(rig.progress.value(), 4);
    EXPECT_EQ(list.Statuses(), (QList<int>{1, 0, 0, 1}));

    QStringList rcpts;
    for (const QJsonObject& e : peer.events())
        if (e.value("ev").toString() == "rcpt")
            rcpts.append(e.value("to").toString());
    EXPECT_EQ(rcpts, (QStringList{"eva@x.de", "c@x.de"}));
    const ParsedMail m = ParseMail(peer.raw(0));
    EXPECT_FALSE(m.headerNames.contains("bcc"));
    EXPECT_EQ(m.subject, "Zum XBcc: evil@x.de");
    EXPECT_EQ(m.to, "\"Eva XBcc: evil@x.de\" <eva@x.de>");
    EXPECT_FALSE(peer.raw(0).contains("\nBcc:"));
}

TEST(MailingJob, AttachmentIsEncodedOnceAndAnUnreadableOneStopsTheJobAtItsStart)
{
    qlytest::TempDir dir;
    const QString path = dir.file("Preisliste 2024.pdf");
    QByteArray data;
    for (int i = 0; i < 5000; ++i)
        data.append(char(i * 7));
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(data);
    }
    {
        SmtpPeer peer;
        ListDb list;
        list.Add({"a@x.de", "N", "V"});
        list.Add({"b@x.de", "N", "V"});
        JobRig rig(list);
        rig.sender.SmtpServer = peer.server();
        rig.sender.Threads = 2;
        rig.content.attachments = {path};
        rig.RunToEnd();
        ASSERT_EQ(peer.messageFiles().size(), 2);
        for (int i = 0; i < 2; ++i) {
            const ParsedMail m = ParseMail(peer.raw(i));
            EXPECT_EQ(m.topType, "multipart/mixed");
            ASSERT_EQ(m.parts.size(), 2);
            EXPECT_EQ(m.parts[1].fileName, "Preisliste 2024.pdf");
            EXPECT_EQ(m.parts[1].transferEncoding, "base64");
            EXPECT_EQ(m.parts[1].data, data);
        }
    }
    {
        SmtpPeer peer;
        ListDb list;
        list.Add({"a@x.de", "N", "V"});
        JobRig rig(list);
        rig.sender.SmtpServer = peer.server();
        rig.content.attachments = {path, dir.file("fehlt.pdf")};
        rig.RunToEnd();
        const QStringList lines = rig.Lines();
        ASSERT_GE(lines.size(), 3);
        EXPECT_TRUE(lines.at(lines.size() - 2).startsWith(" Fehler: ")) << lines.join('\n').toStdString();
        EXPECT_TRUE(lines.at(lines.size() - 2).contains("fehlt.pdf"));
        EXPECT_EQ(lines.last(), " Anwendung abgebrochen.");
        EXPECT_EQ(rig.job->WorkersCreated(), 0);
        EXPECT_EQ(peer.count("connect"), 0);
        EXPECT_EQ(rig.runningChanges, (QList<bool>{true, false}));
    }
}

namespace {
// A cursor whose status update or fetch fails on request.
class FailingCursor : public IRecipientCursor {
public:
    FailingCursor(std::unique_ptr<IRecipientCursor> inner, bool failStatus, int failFetchAt)
        : m_inner(std::move(inner)), m_failStatus(failStatus), m_failFetchAt(failFetchAt) {}
    void NextRecipient(TAssociativeArray& r) override
    {
        if (++m_fetches == m_failFetchAt)
            throw db::EDatabaseError(QStringLiteral("disk I/O error"));
        m_inner->NextRecipient(r);
    }
    void SetStatus(int id, int status) override
    {
        if (m_failStatus)
            throw db::EDatabaseError(QStringLiteral("database is locked"));
        m_inner->SetStatus(id, status);
    }
    int RowsToSent() override { return m_inner->RowsToSent(); }

private:
    std::unique_ptr<IRecipientCursor> m_inner;
    bool m_failStatus;
    int m_failFetchAt;
    int m_fetches = 0;
};
}

TEST(MailingJob, FailedStatusUpdateAndUnexpectedErrorsAreLoggedApart)
{
    {
        SmtpPeer peer;
        ListDb list;
        list.Add({"a@x.de", "N", "V"});
        JobRig rig(list);
        rig.sender.SmtpServer = peer.server();
        rig.job->OpenRecipients = [&list] { return std::make_unique<FailingCursor>(list.Cursor(), true, 0); };
        rig.RunToEnd();
        const QStringList lines = rig.Lines();
        const int red = CountContaining(lines, "a@x.de Fehler: Die Mail wurde gesendet, aber nicht als gesendet markiert: database is locked");
        EXPECT_EQ(red, 1) << lines.join('\n').toStdString();
        EXPECT_EQ(CountContaining(lines, "Could not send message"), 0);
        EXPECT_EQ(lines.last(), "1 Mail(s) gesendet.");
    }
    {
        SmtpPeer peer;
        ListDb list;
        list.Add({"a@x.de", "N", "V"});
        list.Add({"b@x.de", "N", "V"});
        JobRig rig(list);
        rig.sender.SmtpServer = peer.server();
        rig.job->OpenRecipients = [&list] { return std::make_unique<FailingCursor>(list.Cursor(), false, 2); };
        rig.RunToEnd();
        const QStringList lines = rig.Lines();
        EXPECT_EQ(CountLines(lines, " Thread 1 : Thread Fehler: disk I/O error"), 1) << lines.join('\n').toStdString();
        EXPECT_EQ(CountLines(lines, " Thread 1 : beendet."), 1);
        EXPECT_EQ(lines.last(), "1 Mail(s) gesendet.1 Mail(s) konnten nicht gesendet werden.");
    }
}

struct CheckCase {
    const char* name;
    QString from;
    QString server;
    QString subject;
    QString body;
    QStringList expectedMessages;
    QStringList expectedQuestions;
    bool starts;
};
void PrintTo(const CheckCase& c, std::ostream* os) { *os << c.name; }

class SendButtonChecks : public ::testing::TestWithParam<CheckCase> {};

TEST_P(SendButtonChecks, ChecksAndQuestionsBeforeTheStart)
{
    const CheckCase& c = GetParam();
    SmtpPeer peer;
    ListDb list;
    list.Add({"a@x.de", "N", "V"});
    JobRig rig(list);
    rig.sender.From = c.from;
    rig.sender.SmtpServer = c.server == "peer" ? peer.server() : c.server;
    rig.content.subject = c.subject;
    rig.content.body = c.body;
    QList<TSenderField> pages;
    rig.job->OnShowSenderPage = [&](TSenderField f) { pages.append(f); };
    rig.job->SpeedButtonSendMailClick();
    rig.WaitFor([&] { return !rig.job->Running(); });
    EXPECT_EQ(rig.messages, c.expectedMessages);
    EXPECT_EQ(rig.questions, c.expectedQuestions);
    EXPECT_EQ(rig.job->WorkersCreated() > 0, c.starts);
    if (!c.expectedMessages.isEmpty()) {
        EXPECT_EQ(pages.size(), 1);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Job, SendButtonChecks,
    ::testing::Values(
        CheckCase{"FromWithoutAt", "info.absender.de", "peer", "s", "b",
                  {QString::fromUtf8("Bitte geben Sie im Feld \"Von\" eine gültige Adresse an.")}, {}, false},
        CheckCase{"FromWithoutDot", "info@absender", "peer", "s", "b",
                  {QString::fromUtf8("Bitte geben Sie im Feld \"Von\" eine gültige Adresse an.")}, {}, false},
        CheckCase{"ShortServer", "info@absender.de", "smtp", "s", "b",
                  {QString::fromUtf8("Bitte geben Sie einen gültigen SMTP Server an.")}, {}, false},
        CheckCase{"Confirmed", "info@absender.de", "peer", "s", "b", {},
                  {"Mit dem Versand der Mails jetzt beginnen?"}, true},
        CheckCase{"EmptySubjectAndBody", "info@absender.de", "peer", "", "", {},
                  {"Mit dem Versand der Mails jetzt beginnen?",
                   QString::fromUtf8("Möchten Sie diese Mail ohne Betreff und Inhalt senden?")}, true},
        CheckCase{"EmptySubject", "info@absender.de", "peer", "", "b", {},
                  {"Mit dem Versand der Mails jetzt beginnen?", QString::fromUtf8("Möchten Sie diese Mail ohne Betreff senden?")},
                  true},
        CheckCase{"EmptyBody", "info@absender.de", "peer", "s", "", {},
                  {"Mit dem Versand der Mails jetzt beginnen?", QString::fromUtf8("Möchten Sie diese Mail ohne Inhalt senden?")},
                  true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(MailingJob, AnsweringNoOrCancelStartsNothing)
{
    SmtpPeer peer;
    ListDb list;
    list.Add({"a@x.de", "N", "V"});
    JobRig rig(list);
    rig.sender.SmtpServer = peer.server();
    rig.content.subject = QString();
    rig.answer = false;
    rig.job->SpeedButtonSendMailClick();
    EXPECT_EQ(rig.questions, QStringList{"Mit dem Versand der Mails jetzt beginnen?"});
    rig.job->ButtonSendMailClick();
    EXPECT_EQ(rig.questions.last(), QString::fromUtf8("Möchten Sie diese Mail ohne Betreff senden?"));
    EXPECT_EQ(rig.job->WorkersCreated(), 0);
    EXPECT_EQ(rig.log.Lines().size(), 1) << "no header before the questions are answered";
}

TEST(MailingJob, ClosingDuringAMailingAsksAndWaitsForTheWorkers)
{
    SmtpPeer peer;
    ListDb list;
    for (int i = 1; i <= 5; ++i)
        list.Add({QStringLiteral("r%1@x.de").arg(i), "N", "V"});
    JobRig rig(list);
    rig.sender.SmtpServer = peer.server();
    rig.sender.Scheduled = true;
    rig.sender.ScheduledMails = 2;
    rig.sender.ScheduledMinutes = 10;
    rig.job->ButtonSendMailClick();
    ASSERT_TRUE(rig.WaitFor([&] { return rig.timer->active; }));
    rig.answer = false;
    EXPECT_FALSE(rig.job->QueryClose());
    EXPECT_TRUE(rig.job->Running());
    rig.answer = true;
    EXPECT_TRUE(rig.job->QueryClose());
    EXPECT_FALSE(rig.job->Running());
    EXPECT_EQ(rig.questions.last(),
              QString::fromUtf8("Es läuft noch ein Versand. Soll er abgebrochen und Quillory beendet werden?"));
    EXPECT_EQ(rig.job->RunningThreads(), 0);
    EXPECT_EQ(rig.Lines().last(), "2 Mail(s) gesendet.");
}

TEST(MailingJob, StartTlsIsUsedAndASelfSignedCertificateIsRefused)
{
    PeerOptions options;
    options.startTls = true;
    SmtpPeer peer(options);
    ListDb list;
    list.Add({"a@x.de", "N", "V"});
    JobRig rig(list);
    rig.sender.SmtpServer = peer.server();
    rig.RunToEnd();
    const QStringList lines = rig.Lines();
    const int red = int(lines.indexOf(QRegularExpression("^ Thread 1 : SMTP Fehler: .*certificate.*")));
    EXPECT_GE(red, 0) << lines.join('\n').toStdString();
    EXPECT_EQ(peer.count("starttls"), 1);
    EXPECT_EQ(peer.count("data"), 0) << "nothing goes out in clear text";
    EXPECT_EQ(lines.last(), "0 Mail(s) gesendet.1 Mail(s) konnten nicht gesendet werden.");
}

TEST(MailingJob, SilentServerTimesOutAndAbortGivesUpAHangingConnect)
{
    PeerOptions options;
    options.stall = true;
    SmtpPeer peer(options);
    ListDb list;
    for (int i = 1; i <= 2; ++i)
        list.Add({QStringLiteral("r%1@x.de").arg(i), "N", "V"});
    {
        JobRig rig(list);
        rig.sender.SmtpServer = peer.server();
        rig.job->ConnectTimeoutSeconds = 1;
        rig.RunToEnd(20000);
        EXPECT_EQ(CountContaining(rig.Lines(), " Thread 1 : SMTP Fehler: "), 1) << rig.Lines().join('\n').toStdString();
    }
    {
        JobRig rig(list);
        rig.sender.SmtpServer = peer.server();
        rig.sender.Threads = 2;
        QElapsedTimer t;
        t.start();
        rig.job->ButtonSendMailClick();
        ASSERT_TRUE(rig.WaitFor([&] { return peer.count("connect") >= 3; }));
        rig.job->AbortButtonClick();
        ASSERT_TRUE(rig.WaitFor([&] { return !rig.job->Running(); }, 10000));
        EXPECT_LT(t.elapsed(), 10000) << "the 30 s connect time-out was not waited out";
        const QStringList lines = rig.Lines();
        EXPECT_EQ(CountContaining(lines, "Fehler"), 0) << lines.join('\n').toStdString();
        EXPECT_EQ(CountContaining(lines, " : beendet."), 2);
        EXPECT_EQ(lines.last(), "0 Mail(s) gesendet.");
        EXPECT_EQ(list.Statuses(), (QList<int>{0, 0}));
    }
}

TEST(MailingJob, SendsThroughTheListsSendCursorInTheGridsOrder)
{
    SmtpPeer peer;
    ListDb list;
    list.Add({"b@x.de", "B", "V"});
    list.Add({"a@x.de", "A", "V"});
    list.Add({"c@x.de", "C", "V"}, 2);
    db::TExtADODataSet grid(&list.conn());
    grid.SetCommandText(QStringLiteral("SELECT * FROM \"RL1\" ORDER BY \"Email\""));
    JobRig rig(list);
    rig.sender.SmtpServer = peer.server();
    rig.job->OpenRecipients = [&grid] { return std::make_unique<TRecipientsCursor>(grid); };
    rig.RunToEnd();
    EXPECT_EQ(rig.Lines().last(), "2 Mail(s) gesendet.");
    EXPECT_EQ(list.Statuses(), (QList<int>{1, 1, 2}));
    QStringList rcpts;
    for (const QJsonObject& e : peer.events())
        if (e.value("ev").toString() == "rcpt")
            rcpts.append(e.value("to").toString());
    EXPECT_EQ(rcpts, (QStringList{"a@x.de", "b@x.de"}));
}

TEST(MailingJob, SentMarksAreCommittedInBatchesAndAtTheClose)
{
    SmtpPeer peer;
    ListDb list;
    const int rows = TRecipientsCursor::BatchSize + 7;
    for (int i = 1; i <= rows; ++i)
        list.Add({QStringLiteral("r%1@x.de").arg(i), "N", "V"});
    db::Connection other;  // another program instance on the same file
    other.Open(list.conn().FileName());
    auto committed = [&] {
        return other.Scalar(QStringLiteral("SELECT COUNT(*) FROM \"RL1\" WHERE Status = 1")).toInt();
    };
    db::TExtADODataSet grid(&list.conn());
    grid.SetCommandText(QStringLiteral("SELECT * FROM \"RL1\""));
    JobRig rig(list);
    rig.sender.SmtpServer = peer.server();
    rig.sender.Threads = 4;
    TRecipientsCursor* cursor = nullptr;
    rig.job->OpenRecipients = [&] {
        auto c = std::make_unique<TRecipientsCursor>(grid);
        cursor = c.get();
        return c;
    };
    rig.RunToEnd();
    EXPECT_EQ(rig.Lines().last(), QStringLiteral("%1 Mail(s) gesendet.").arg(rows));
    EXPECT_EQ(committed(), rows) << "every mark is committed when the job closes";
    EXPECT_EQ(list.conn().TransactionLevel(), 0);

    // A half-full batch is committed by its timer while the cursor lives on.
    list.conn().Execute(QStringLiteral("UPDATE \"RL1\" SET Status = 0"));
    ASSERT_NE(cursor, nullptr);
    cursor->SetStatus(1, 1);
    EXPECT_EQ(committed(), 0);
    EXPECT_TRUE(rig.WaitFor([&] { return committed() == 1; }, 5000));
}

// A full batch is committed when the event loop runs next, and before it would take another
// mark: no transaction holds more than a batch.
TEST(MailingJob, AFullBatchIsCommittedByTheEventLoopAndNeverGrows)
{
    ListDb list;
    const int n = TRecipientsCursor::BatchSize;
    for (int i = 1; i <= 3 * n; ++i)
        list.Add({QStringLiteral("r%1@x.de").arg(i), "N", "V"});
    db::Connection other;
    other.Open(list.conn().FileName());
    auto committed = [&] {
        return other.Scalar(QStringLiteral("SELECT COUNT(*) FROM \"RL1\" WHERE Status = 1")).toInt();
    };
    db::TExtADODataSet grid(&list.conn());
    grid.SetCommandText(QStringLiteral("SELECT * FROM \"RL1\""));
    {
        TRecipientsCursor cursor(grid);
        for (int id = 1; id <= n; ++id)
            cursor.SetStatus(id, 1);
        EXPECT_EQ(committed(), 0) << "the commit waits for the event loop";
        cursor.SetStatus(n + 1, 1);
        EXPECT_EQ(committed(), n) << "a full batch takes no further mark";
        for (int id = n + 2; id <= 2 * n; ++id)
            cursor.SetStatus(id, 1);
        EXPECT_EQ(committed(), n);
        QCoreApplication::processEvents();
        EXPECT_EQ(committed(), 2 * n);
        EXPECT_EQ(list.conn().TransactionLevel(), 0);
        cursor.SetStatus(2 * n + 1, 1);
        cursor.Flush();
        EXPECT_EQ(committed(), 2 * n + 1);
    }

    // Another program holds the database for longer than the busy time-out: no mark is lost or
    // raised; they are kept, written by the retry once the database is free, and counted as late.
    list.conn().Execute(QStringLiteral("UPDATE \"RL1\" SET Status = 0"));
    list.conn().SetBusyTimeout(50);
    TRecipientsCursor cursor(grid);
    QList<int> late;
    cursor.OnLateMarks = [&](int count) { late.append(count); };
    for (int id = 1; id <= n; ++id)
        cursor.SetStatus(id, 1);
    other.Execute(QStringLiteral("BEGIN IMMEDIATE"));
    EXPECT_NO_THROW(cursor.SetStatus(n + 1, 1));
    EXPECT_NO_THROW(cursor.Flush());
    EXPECT_EQ(cursor.PendingMarks(), n + 1);
    EXPECT_EQ(cursor.RowsToSent(), 3 * n - (n + 1)) << "kept marks count as written";
    QElapsedTimer held;
    held.start();
    while (held.elapsed() < 3 * TRecipientsCursor::RetryMs)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    EXPECT_EQ(cursor.PendingMarks(), n + 1) << "the retry keeps them while the database is held";
    other.Execute(QStringLiteral("COMMIT"));
    QElapsedTimer freed;
    freed.start();
    while (cursor.PendingMarks() > 0 && freed.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    EXPECT_EQ(committed(), n + 1);
    EXPECT_EQ(late, QList<int>{n + 1});
    EXPECT_EQ(list.conn().TransactionLevel(), 0);
}

// Another program holds the database through the whole mailing: the mails go out, their marks
// are kept and the log says so; a new mailing is refused while they are held (nothing is sent
// twice); once the database is free they are written and the log says they came late.
TEST(MailingJob, MarksHeldBackByABusyDatabaseAreWrittenLateAndLogged)
{
    SmtpPeer peer;
    ListDb list;
    for (int i = 1; i <= 3; ++i)
        list.Add({QStringLiteral("r%1@x.de").arg(i), "N", "V"});
    list.conn().SetBusyTimeout(50);
    db::TExtADODataSet grid(&list.conn());
    grid.SetCommandText(QStringLiteral("SELECT * FROM \"RL1\""));
    JobRig rig(list);
    rig.sender.SmtpServer = peer.server();
    rig.job->OpenRecipients = [&grid] { return std::make_unique<TRecipientsCursor>(grid); };
    db::Connection other;
    other.Open(list.conn().FileName());
    other.Execute(QStringLiteral("BEGIN IMMEDIATE"));
    rig.RunToEnd();
    EXPECT_EQ(peer.count("data"), 3);
    EXPECT_GE(rig.LineIndex(" 3 gesendete Mail(s) sind noch nicht als gesendet markiert, weil ein anderes Programm die "
                            "Datenbank belegt. Sie werden markiert, sobald sie frei ist."),
              0)
        << rig.Lines().join('\n').toStdString();
    EXPECT_EQ(rig.Lines().last(), "3 Mail(s) gesendet.");

    rig.job->ButtonSendMailClick();
    EXPECT_FALSE(rig.job->Running());
    EXPECT_EQ(rig.Lines().last(), " Fehler: 3 gesendete Mail(s) sind noch nicht als gesendet markiert, weil ein anderes "
                                  "Programm die Datenbank belegt. Bitte starten Sie den Versand gleich noch einmal.");
    EXPECT_EQ(peer.count("data"), 3);

    other.Execute(QStringLiteral("COMMIT"));
    const QString late = " 3 gesendete Mail(s) wurden verspätet als gesendet markiert (die Datenbank war von einem "
                         "anderen Programm belegt).";
    EXPECT_TRUE(rig.WaitFor([&] { return rig.LineIndex(late) >= 0; }, 5000)) << rig.Lines().join('\n').toStdString();
    EXPECT_EQ(list.Statuses(), (QList<int>{1, 1, 1}));
    rig.RunToEnd();
    EXPECT_EQ(peer.count("data"), 3) << "a mailing after the late marks sends nothing again";
}

// Workers take recipients and hand back their outcomes in batches: the log still tells each
// worker's mails in the order they were sent, failures in their place and colour, and the
// progress bar and the sent marks count every row once.
TEST(MailingJob, BatchedOutcomesKeepEachWorkersOrder)
{
    SmtpPeer peer(PeerOptions{.reject = {"r17@x.de", "r45@x.de"}});
    ListDb list;
    const int rows = 80;
    for (int i = 1; i <= rows; ++i)
        list.Add({QStringLiteral("r%1@x.de").arg(i), "N", "V"});
    list.Add({"kaputt@", "N", "V"});  // no valid address: fails without a reconnect
    JobRig rig(list);
    rig.sender.SmtpServer = peer.server();
    rig.sender.Threads = 2;
    rig.RunToEnd();

    // the order in which each worker's mails reached the server
    QStringList rcpts;
    for (const QJsonObject& e : peer.events())
        if (e.value("ev").toString() == "rcpt")
            rcpts.append(e.value("to").toString());
    ASSERT_EQ(rcpts.size(), rows);
    const QStringList lines = rig.Lines();
    QMap<QString, QStringList> logged;  // worker -> addresses in log order
    QMap<QString, QString> workerOf;
    static const QRegularExpression line("^ Thread (\\d) : (\\S+?)(  gesendet\\.| Fehler: Could not send message\\. .*)$");
    for (int i = 0; i < lines.size(); ++i) {
        const auto m = line.match(lines.at(i));
        if (!m.hasMatch())
            continue;
        logged[m.captured(1)].append(m.captured(2));
        workerOf[m.captured(2)] = m.captured(1);
        const bool sent = m.captured(3).startsWith("  gesendet");
        EXPECT_EQ(rig.log.LineColor(i), sent ? mailcolors::Green : mailcolors::Red) << lines.at(i).toStdString();
        EXPECT_EQ(sent, !QStringList({"r17@x.de", "r45@x.de", "kaputt@"}).contains(m.captured(2)));
    }
    ASSERT_EQ(workerOf.size(), rows + 1) << lines.join('\n').toStdString();
    for (auto it = logged.begin(); it != logged.end(); ++it) {
        QStringList sentOrder;
        for (const QString& r : rcpts)
            if (workerOf.value(r) == it.key())
                sentOrder.append(r);
        QStringList loggedServer = it.value();
        loggedServer.removeAll("kaputt@");
        EXPECT_EQ(loggedServer, sentOrder) << "worker " << it.key().toStdString();
    }
    EXPECT_EQ(lines.last(), QStringLiteral("%1 Mail(s) gesendet.3 Mail(s) konnten nicht gesendet werden.").arg(rows - 2));
    EXPECT_EQ(rig.progress.value(), rows + 1);
    EXPECT_EQ(list.Statuses().count(1), rows - 2);
    EXPECT_EQ(list.Statuses().count(0), 3);
}

// Port 465 (implicit TLS) with a certificate from a CA the program trusts: every mail arrives
// whole, with one worker and with eight, a 1 MB attachment included, and none of it in clear.
TEST(MailingJob, ImplicitTlsOnPort465SendsEveryMailEncrypted)
{
    qlytest::TempDir dir;
    const QString path = dir.file("Katalog.bin");
    QByteArray attachment;
    for (int i = 0; attachment.size() < 1024 * 1024; ++i)
        attachment.append(char((i * 131) ^ (i >> 9)));
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(attachment);
    }
    for (const int workers : {1, 8}) {
        SCOPED_TRACE(workers);
        PeerOptions options{.auth = "hans:geheim", .pipelining = true};
        options.implicitTls = true;
        options.caSigned = true;
        SmtpPeer peer(options);
        ASSERT_EQ(peer.port(), 465);
        ScopedEnv trust("SSL_CERT_FILE", peer.caFile().toLocal8Bit());
        ListDb list;
        for (int i = 1; i <= 12; ++i)
            list.Add({QStringLiteral("r%1@x.de").arg(i), "N", "V"});
        JobRig rig(list);
        rig.sender.SmtpServer = QStringLiteral("127.0.0.1:465");
        rig.sender.Threads = workers;
        rig.sender.Authentication = true;
        rig.sender.UserName = "hans";
        rig.sender.Password = "geheim";
        rig.content.subject = QStringLiteral("Geheimer Betreff");
        rig.content.body = QStringLiteral("Vertraulicher Text\r\n");
        rig.content.attachments = {path};
        rig.RunToEnd();
        EXPECT_EQ(rig.Lines().last(), "12 Mail(s) gesendet.") << rig.Lines().join('\n').toStdString();
        EXPECT_EQ(list.Statuses(), QList<int>(12, 1));
        ASSERT_EQ(peer.messageFiles().size(), 12);
        for (int i = 0; i < 12; ++i) {
            const ParsedMail m = ParseMail(peer.raw(i));
            EXPECT_EQ(m.subject, "Geheimer Betreff");
            ASSERT_EQ(m.parts.size(), 2);
            EXPECT_EQ(m.parts[0].text, "Vertraulicher Text\r\n");
            EXPECT_TRUE(m.parts[1].data == attachment) << "attachment of mail " << i;
        }
        const QList<QByteArray> tapped = peer.tapped();
        EXPECT_EQ(tapped.size(), workers);
        for (const QByteArray& bytes : tapped)
            for (const char* plain : {"Subject:", "Geheimer", "Vertraulicher", "Katalog", "MAIL FROM"})
                EXPECT_FALSE(bytes.contains(plain)) << plain;
    }
}

// The refusals of a session that would put the password in clear or could not log in stop the
// mailing with the German reason in the worker's red line; the server never sees AUTH.
TEST(MailingJob, APasswordWithoutTlsOrAServerWithoutAuthStopsTheMailing)
{
    struct Case {
        const char* name;
        QString auth;        // the server's AUTH ("": none offered)
        bool loopbackIsRemote;
        QString reason;
    };
    const Case cases[] = {
        {"no STARTTLS elsewhere", "hans:geheim", true,
         QString::fromUtf8("Der Server bietet keine verschlüsselte Verbindung an; das Kennwort wird nicht unverschlüsselt "
                           "gesendet.")},
        {"no AUTH", "", false,
         QString::fromUtf8("Der Server bietet keine Anmeldung (AUTH) an; Benutzername und Kennwort können nicht "
                           "verwendet werden.")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SmtpPeer peer(PeerOptions{.auth = c.auth});
        std::optional<ScopedEnv> remote;
        if (c.loopbackIsRemote)
            remote.emplace("QLY_TEST_LOOPBACK_IS_REMOTE", "1");
        ListDb list;
        list.Add({"a@x.de", "N", "V"});
        list.Add({"b@x.de", "N", "V"});
        JobRig rig(list);
        rig.sender.SmtpServer = peer.server();
        rig.sender.Authentication = true;
        rig.sender.UserName = "hans";
        rig.sender.Password = "geheim";
        rig.RunToEnd();
        const QStringList lines = rig.Lines();
        const int red = rig.LineIndex(" Thread 1 : SMTP Fehler: " + c.reason);
        ASSERT_GE(red, 0) << lines.join('\n').toStdString();
        EXPECT_EQ(rig.log.LineColor(red), mailcolors::Red);
        EXPECT_EQ(lines.last(), "0 Mail(s) gesendet.2 Mail(s) konnten nicht gesendet werden.");
        EXPECT_EQ(peer.count("auth_cmd"), 0);
        EXPECT_EQ(peer.count("data"), 0);
        EXPECT_EQ(list.Statuses(), (QList<int>{0, 0}));
    }
}
