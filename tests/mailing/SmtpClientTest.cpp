// The SMTP client against the test peer, compared with what libcurl's own SMTP upload sends for
// the same message and envelope: the same bytes arrive, whatever pieces the message comes in.
#include "MailTestUtil.h"
#include "mailing/SmtpClient.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QThread>
#include <atomic>
#include <curl/curl.h>
#include <gtest/gtest.h>

using namespace mailtest;

namespace {

struct Upload {
    QByteArray data;
    qsizetype pos = 0;
};

size_t ReadUpload(char* buffer, size_t size, size_t nitems, void* p)
{
    auto* u = static_cast<Upload*>(p);
    const size_t n = std::min<size_t>(size * nitems, size_t(u->data.size() - u->pos));
    memcpy(buffer, u->data.constData() + u->pos, n);
    u->pos += qsizetype(n);
    return n;
}

// One message the way libcurl uploads it by itself (MAIL FROM, RCPT TO, DATA and its own escaping).
CURLcode CurlUpload(const SmtpPeer& peer, const QString& from, const QString& to, const QByteArray& message)
{
    CURL* c = curl_easy_init();
    const QByteArray url = QStringLiteral("smtp://127.0.0.1:%1").arg(peer.port()).toUtf8();
    const QByteArray fromArg = ('<' + from + '>').toUtf8();
    curl_slist* rcpt = curl_slist_append(nullptr, ('<' + to + '>').toUtf8().constData());
    Upload upload{message};
    curl_easy_setopt(c, CURLOPT_URL, url.constData());
    curl_easy_setopt(c, CURLOPT_MAIL_FROM, fromArg.constData());
    curl_easy_setopt(c, CURLOPT_MAIL_RCPT, rcpt);
    curl_easy_setopt(c, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(c, CURLOPT_INFILESIZE_LARGE, curl_off_t(message.size()));
    curl_easy_setopt(c, CURLOPT_READFUNCTION, &ReadUpload);
    curl_easy_setopt(c, CURLOPT_READDATA, &upload);
    const CURLcode rc = curl_easy_perform(c);
    curl_easy_cleanup(c);
    curl_slist_free_all(rcpt);
    return rc;
}

QList<QJsonObject> DataEvents(const SmtpPeer& peer)
{
    QList<QJsonObject> out;
    for (const QJsonObject& e : peer.events())
        if (e.value("ev").toString() == "data")
            out.append(e);
    return out;
}

// Every way of cutting the message into two pieces, plus one byte per piece.
QList<QList<QByteArray>> Cuts(const QByteArray& message)
{
    QList<QList<QByteArray>> out;
    for (qsizetype i = 0; i <= message.size(); ++i)
        out.append({message.left(i), message.mid(i)});
    QList<QByteArray> bytes;
    for (char ch : message)
        bytes.append(QByteArray(1, ch));
    out.append(bytes);
    return out;
}

} // namespace

TEST(SmtpClient, MessagesArriveAsLibcurlsOwnUploadSendsThem)
{
    // Dots at the start of the message and of lines, lone CR and LF, a message without its last
    // line end and an empty one.
    const QList<QByteArray> messages{
        ".erste\r\n..zweite\r\n.\r\nx.y\r\n\r\n.\r\n",
        "Subject: a\r\n\r\nText\r\n.\r\r\n.\n.x\r\n.",
        "Subject: b\r\n\r\nohne Zeilenende",
        "",
    };
    for (const bool pipelining : {false, true}) {
        SCOPED_TRACE(pipelining ? "pipelining" : "one command at a time");
        SmtpPeer peer(PeerOptions{.pipelining = pipelining});
        TSmtpClient client;
        client.Host = "127.0.0.1";
        client.Port = peer.port();
        client.Connect();
        int expected = 0;
        for (const QByteArray& message : messages) {
            ASSERT_EQ(CurlUpload(peer, "from@x.de", "to@x.de", message), CURLE_OK);
            const QByteArray reference = peer.raw(expected++);
            for (const QList<QByteArray>& pieces : Cuts(message)) {
                client.Send("from@x.de", {"to@x.de"}, pieces);
                ASSERT_EQ(peer.raw(expected++), reference)
                    << QByteArray(message).replace("\r", "\\r").replace("\n", "\\n").toStdString() << " cut at "
                    << pieces.value(0).size();
            }
        }
        EXPECT_EQ(peer.count("connect"), 1 + int(messages.size())) << "one session for all of our mails";
        client.Disconnect();
        EXPECT_EQ(peer.count("quit"), 1 + int(messages.size())) << "libcurl says QUIT too";
    }
}

TEST(SmtpClient, ALargePieceSentAgainHasItsDotsDoubledByWhatGoesBeforeIt)
{
    // An attachment every mail shares is looked through once; whether its first bytes start a
    // line still depends on the piece before it in each mail.
    QByteArray lines;
    while (lines.size() < 8192)
        lines += QByteArray(70, 'b') + "\r\n";
    const QByteArray shared = ".anfang\r\n" + lines;
    const QByteArray afterCr = "\n.zweite\r\n" + lines;  // its dot starts a line only after a CR
    const QByteArray dotted = shared + ".innen\r\n" + lines;  // a dot line inside: never remembered
    const QList<QList<QByteArray>> mails{
        {"Subject: a\r\n\r\n", shared}, {"Subject: b\r\n\r\nx", shared}, {shared},
        {"Subject: c\r\n\r\n\r", afterCr}, {"Subject: d\r\n\r\n", afterCr}, {"Subject: e\r\n\r\nx\r\n", dotted},
    };
    for (const bool pipelining : {false, true}) {
        SCOPED_TRACE(pipelining ? "pipelining" : "one command at a time");
        SmtpPeer peer(PeerOptions{.pipelining = pipelining});
        TSmtpClient client;
        client.Host = "127.0.0.1";
        client.Port = peer.port();
        int arrived = 0;
        for (int round = 0; round < 2; ++round)
            for (const QList<QByteArray>& pieces : mails) {
                client.Send("from@x.de", {"to@x.de"}, pieces);
                ASSERT_EQ(peer.raw(arrived++), pieces.join()) << "round " << round << ", mail " << arrived;
            }
        // The pieces may change once the message is begun: what it was goes out.
        {
            QList<QByteArray> pieces{QByteArray("Subject: f\r\n\r\n"), QByteArray(lines.constData(), 720)};
            const QByteArray expected = pieces.join();
            client.BeginSend("from@x.de", {"to@x.de"}, pieces);
            pieces[1].fill('z');
            client.FinishSend();
            ASSERT_EQ(peer.raw(arrived++), expected);
        }
        client.Disconnect();
    }
}

TEST(SmtpClient, EnvelopeIsWrittenAsLibcurlWritesIt)
{
    struct Case {
        QString from, to;
    };
    const QList<Case> cases{
        {"absender@x.de", "empfaenger@y.de"},
        {"info@bücher.de", "kunde@müller.example"},  // host names in their ASCII form
        {"jörg@x.de", "renée@y.de"},                 // SMTPUTF8 where it is offered
    };
    for (const bool utf8 : {false, true}) {
        SCOPED_TRACE(utf8 ? "SMTPUTF8 offered" : "no SMTPUTF8");
        SmtpPeer peer(PeerOptions{.smtpUtf8 = utf8});
        TSmtpClient client;
        client.Host = "127.0.0.1";
        client.Port = peer.port();
        for (const Case& c : cases) {
            if (!utf8 && c.from.startsWith("jörg"))
                continue;  // no server takes these without SMTPUTF8
            const QByteArray message = "Subject: x\r\n\r\nText\r\n";
            ASSERT_EQ(CurlUpload(peer, c.from, c.to, message), CURLE_OK) << c.from.toStdString();
            client.Send(c.from, {c.to}, message);
            const QList<QJsonObject> data = DataEvents(peer);
            ASSERT_GE(data.size(), 2);
            const QJsonObject reference = data.at(data.size() - 2), ours = data.last();
            EXPECT_EQ(ours.value("mail_from"), reference.value("mail_from")) << c.from.toStdString();
            EXPECT_EQ(ours.value("rcpts"), reference.value("rcpts")) << c.to.toStdString();
            EXPECT_EQ(ours.value("mail_options"), reference.value("mail_options")) << c.from.toStdString();
            EXPECT_TRUE(ours.value("mail_options").toArray().contains(QStringLiteral("SIZE=%1").arg(message.size())));
        }
    }
}

TEST(SmtpClient, StartTlsCarriesLargeMessagesAndRefusals)
{
    SmtpPeer peer(PeerOptions{.reject = {"nein@x.de"}, .startTls = true, .pipelining = true});
    TSmtpClient client;
    client.Host = "127.0.0.1";
    client.Port = peer.port();
    client.CaFile = peer.certificate();
    client.Connect();
    // Large enough that writes block, with dots at line starts all along.
    QByteArray message = "Subject: gross\r\n\r\n";
    for (int i = 0; message.size() < 3 * 1024 * 1024; ++i)
        message += (i % 3 == 0 ? "." : "") + QByteArray::number(i) + QByteArray(70, 'x') + "\r\n";
    const QByteArray half = message.left(message.size() / 2 + 1);
    client.Send("from@x.de", {"to@x.de"}, {half, message.mid(half.size())});
    try {
        client.Send("from@x.de", {"nein@x.de"}, message);
        ADD_FAILURE() << "a refused recipient must fail";
    } catch (const ESmtpError& e) {
        EXPECT_TRUE(e.Message.startsWith("550 5.1.1 <nein@x.de>")) << e.Message.toStdString();
        EXPECT_FALSE(e.Cancelled);
    }
    client.Connect();  // a new session
    client.Send("from@x.de", {"to@x.de"}, message);
    client.Disconnect();
    EXPECT_EQ(peer.count("starttls"), 2);
    ASSERT_EQ(peer.messageFiles().size(), 2);
    const QByteArray arrived = peer.raw(0);
    EXPECT_EQ(arrived.size(), message.size());
    EXPECT_TRUE(arrived == message) << "the dots were doubled on the wire and undone by the peer";
    EXPECT_TRUE(peer.raw(1) == message);
}

TEST(SmtpClient, AnAbortGivesUpOnlyAnAnswerThatHasNotArrived)
{
    SmtpPeer peer(PeerOptions{.stallData = {"haengt@x.de"}});
    std::atomic<bool> cancel{false};
    TSmtpClient client;
    client.Host = "127.0.0.1";
    client.Port = peer.port();
    client.Cancel = &cancel;
    client.BeginSend("from@x.de", {"to@x.de"}, {QByteArray("Subject: a\r\n\r\nText\r\n")});
    QElapsedTimer t;
    t.start();
    while (peer.count("data") < 1 && t.elapsed() < 10000)
        QThread::msleep(10);
    QThread::msleep(50);
    cancel = true;
    EXPECT_NO_THROW(client.FinishSend()) << "the server took the mail before the abort";

    cancel = false;
    client.BeginSend("from@x.de", {"haengt@x.de"}, {QByteArray("Subject: b\r\n\r\nText\r\n")});
    t.restart();
    while (peer.count("stall") < 1 && t.elapsed() < 10000)
        QThread::msleep(10);
    cancel = true;
    t.restart();
    try {
        client.FinishSend();
        ADD_FAILURE() << "no answer came";
    } catch (const ESmtpError& e) {
        EXPECT_TRUE(e.Cancelled);
    }
    EXPECT_LT(t.elapsed(), 2000);
    EXPECT_FALSE(client.Connected());
}

TEST(SmtpClient, PipelinedEnvelopesGoWithThePreviousMessagesEnd)
{
    // The next envelope goes out while the previous answer is awaited; every answer still
    // belongs to its own mail, a refusal on either side ends only its own mail, and a session
    // left with an envelope ahead closes at once and lets no further mail arrive.
    SmtpPeer peer(PeerOptions{.reject = {"nein@x.de"}, .fail421 = {"f@x.de"}, .pipelining = true});
    TSmtpClient client;
    client.Host = "127.0.0.1";
    client.Port = peer.port();
    client.LowSpeedTimeSeconds = 5;
    auto mail = [](int i) { return QList<QByteArray>{"Subject: " + QByteArray::number(i) + "\r\n\r\n.Text\r\n"}; };
    client.BeginSend("from@x.de", {"a@x.de"}, mail(1));
    ASSERT_TRUE(client.SendEnvelopeAhead("from@x.de", {"b@x.de"}, mail(2)));
    EXPECT_FALSE(client.SendEnvelopeAhead("from@x.de", {"c@x.de"}, mail(9))) << "one envelope ahead at a time";
    client.FinishSend();
    client.ContinueSend(mail(2));
    ASSERT_TRUE(client.SendEnvelopeAhead("from@x.de", {"nein@x.de"}, mail(3)));
    client.FinishSend();  // mail 2 was taken
    try {
        client.ContinueSend(mail(3));
        ADD_FAILURE() << "a refused recipient must fail";
    } catch (const ESmtpError& e) {
        EXPECT_TRUE(e.Message.startsWith("550 5.1.1 <nein@x.de>")) << e.Message.toStdString();
    }
    client.Connect();
    client.BeginSend("from@x.de", {"f@x.de"}, mail(4));
    ASSERT_TRUE(client.SendEnvelopeAhead("from@x.de", {"c@x.de"}, mail(5)));
    try {
        client.FinishSend();
        ADD_FAILURE() << "the server refused mail 4";
    } catch (const ESmtpError& e) {
        EXPECT_TRUE(e.Message.startsWith("421 4.3.2")) << e.Message.toStdString();
    }
    EXPECT_FALSE(client.EnvelopeAhead()) << "the envelope went with the closed session";
    client.BeginSend("from@x.de", {"c@x.de"}, mail(5));
    ASSERT_TRUE(client.SendEnvelopeAhead("from@x.de", {"d@x.de"}, mail(6)));
    client.FinishSend();
    QElapsedTimer t;
    t.start();
    client.Disconnect();  // with the server waiting for mail 6's text
    EXPECT_LT(t.elapsed(), 2000);
    const int quitsBefore = peer.count("quit");
    ASSERT_EQ(peer.messageFiles().size(), 3);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(peer.raw(i), mail(QList<int>{1, 2, 5}.at(i)).first());
    QList<QString> accepted;
    for (const QJsonObject& e : DataEvents(peer))
        accepted.append(e.value("rcpts").toArray().first().toString());
    EXPECT_EQ(accepted, (QList<QString>{"a@x.de", "b@x.de", "c@x.de"}));
    EXPECT_EQ(quitsBefore, 1) << "QUIT after the refused recipient only";

    // A server without PIPELINING gets each envelope after the answer.
    SmtpPeer plain;
    TSmtpClient other;
    other.Host = "127.0.0.1";
    other.Port = plain.port();
    other.BeginSend("from@x.de", {"a@x.de"}, mail(1));
    EXPECT_FALSE(other.SendEnvelopeAhead("from@x.de", {"b@x.de"}, mail(2)));
    other.FinishSend();
    EXPECT_EQ(plain.messageFiles().size(), 1);
}

TEST(SmtpClient, AnAbortBeforeTheMessagesEndWasWrittenGivesTheMessageUp)
{
    // Towards a pipelining server the message's end waits for the next envelope; an abort in
    // between never lets the mail arrive (it would arrive and stay unmarked).
    SmtpPeer peer(PeerOptions{.pipelining = true});
    std::atomic<bool> cancel{false};
    TSmtpClient client;
    client.Host = "127.0.0.1";
    client.Port = peer.port();
    client.Cancel = &cancel;
    client.BeginSend("from@x.de", {"to@x.de"}, {QByteArray("Subject: a\r\n\r\nText\r\n")});
    cancel = true;
    try {
        client.FinishSend();
        ADD_FAILURE() << "the abort gives the mail up";
    } catch (const ESmtpError& e) {
        EXPECT_TRUE(e.Cancelled);
    }
    EXPECT_FALSE(client.Connected());
    QThread::msleep(300);
    EXPECT_EQ(peer.count("data"), 0);
}
