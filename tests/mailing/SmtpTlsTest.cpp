// TLS and passwords on the SMTP client: implicit TLS on port 465 and STARTTLS against a server
// whose certificate comes from a CA the test makes (trusted through SSL_CERT_FILE, as the
// program reads it), with a relay between client and server that keeps the client's bytes.
#include "MailTestUtil.h"
#include "mailing/SmtpClient.h"

#include <gtest/gtest.h>

using namespace mailtest;

namespace {

// About 1 MB with a subject and body text that must never be seen on the wire, and dots at
// line starts.
QByteArray SecretMessage()
{
    QByteArray message = "From: a@x.de\r\nTo: b@x.de\r\nSubject: Geheimer Betreff\r\n\r\n";
    for (int i = 0; message.size() < 1024 * 1024; ++i)
        message += (i % 7 == 0 ? "." : "") + QByteArray("Vertraulicher Koerpertext ") + QByteArray::number(i)
                   + QByteArray(40, 'k') + "\r\n";
    return message;
}

// What the client sent in clear: any of these in the tapped bytes.
QStringList PlainTextSeen(const QList<QByteArray>& tapped)
{
    QStringList seen;
    for (const QByteArray& bytes : tapped)
        // Needles of six bytes and more: a four-byte one ("AUTH") turns up by chance in a few
        // megabytes of ciphertext about once in two thousand runs.
        for (const char* plain : {"Subject:", "Geheimer Betreff", "Vertraulicher Koerpertext", "MAIL FROM", "RCPT TO",
                                  "AUTH PLAIN", "AUTH LOGIN", "AGhhbnMAZ2VoZWlt", "Z2VoZWlt", "geheim"})
            if (bytes.contains(plain) && !seen.contains(QLatin1String(plain)))
                seen << QLatin1String(plain);
    return seen;
}

} // namespace

// A message sent on a TLS session arrives whole, and the relay sees none of it (nor the envelope
// or the login) in clear: on port 465 from the first byte, with STARTTLS after the switch.
TEST(SmtpTls, ImplicitTlsAndStartTlsSendEverythingEncrypted)
{
    const QByteArray message = SecretMessage();
    for (const bool implicit : {true, false}) {
        SCOPED_TRACE(implicit ? "port 465" : "STARTTLS");
        PeerOptions options{.auth = "hans:geheim"};
        options.implicitTls = implicit;
        options.startTls = !implicit;
        options.caSigned = true;
        options.tap = true;
        SmtpPeer peer(options);
        ScopedEnv trust("SSL_CERT_FILE", peer.caFile().toLocal8Bit());
        if (implicit) {
            ASSERT_EQ(peer.port(), 465);
        }
        TSmtpClient client;
        client.Host = "127.0.0.1";
        client.Port = peer.port();
        client.Authenticate = true;
        client.Username = "hans";
        client.Password = "geheim";
        client.Connect();
        EXPECT_TRUE(client.Encrypted());
        client.Send("from@x.de", {"to@x.de"}, {message.left(300), message.mid(300)});
        client.Send("from@x.de", {"to2@x.de"}, message);
        client.Disconnect();
        ASSERT_EQ(peer.messageFiles().size(), 2);
        EXPECT_TRUE(peer.raw(0) == message) << "the first message arrived whole";
        EXPECT_TRUE(peer.raw(1) == message);
        EXPECT_EQ(peer.count("auth"), 1);
        EXPECT_EQ(peer.count("starttls"), implicit ? 0 : 1);
        const QList<QByteArray> tapped = peer.tapped();
        ASSERT_EQ(tapped.size(), 1);
        EXPECT_GT(tapped[0].size(), 2 * message.size());
        EXPECT_EQ(PlainTextSeen(tapped), QStringList());
    }
}

// A certificate that no trusted CA signed ends the connect on both ways into TLS, before any
// command of the session.
TEST(SmtpTls, SelfSignedCertificateIsRefused)
{
    for (const bool implicit : {true, false}) {
        SCOPED_TRACE(implicit ? "port 465" : "STARTTLS");
        PeerOptions options;
        options.implicitTls = implicit;
        options.startTls = !implicit;
        options.tap = true;
        SmtpPeer peer(options);
        TSmtpClient client;
        client.Host = "127.0.0.1";
        client.Port = peer.port();
        try {
            client.Connect();
            ADD_FAILURE() << "a self-signed certificate was accepted";
        } catch (const ESmtpError& e) {
            EXPECT_TRUE(e.Message.contains("certificate")) << e.Message.toStdString();
        }
        EXPECT_FALSE(client.Connected());
        EXPECT_EQ(peer.count("noop"), 0);
        EXPECT_EQ(PlainTextSeen(peer.tapped()), QStringList());
    }
}

// With authentication on, a server elsewhere that offers no STARTTLS never sees AUTH; one on
// this machine does (the test switch makes 127.0.0.1 count as elsewhere). Without
// authentication the session goes on in clear.
TEST(SmtpTls, PasswordGoesToAnotherMachineOnlyOverTls)
{
    SmtpPeer peer(PeerOptions{.auth = "hans:geheim"});
    auto client = [&](bool authenticate) {
        auto c = std::make_unique<TSmtpClient>();
        c->Host = "127.0.0.1";
        c->Port = peer.port();
        c->Authenticate = authenticate;
        c->Username = "hans";
        c->Password = "geheim";
        return c;
    };
    {
        ScopedEnv remote("QLY_TEST_LOOPBACK_IS_REMOTE", "1");
        try {
            client(true)->Connect();
            ADD_FAILURE() << "the password was sent without TLS";
        } catch (const ESmtpError& e) {
            EXPECT_EQ(e.Message, QString::fromUtf8("Der Server bietet keine verschlüsselte Verbindung an; das Kennwort "
                                                   "wird nicht unverschlüsselt gesendet."));
            EXPECT_FALSE(e.LoginDenied);
        }
        EXPECT_EQ(peer.count("auth_cmd"), 0) << "refused before AUTH";
        EXPECT_EQ(peer.count("connect"), 1);
        // without a password the session goes on in clear
        EXPECT_NO_THROW(client(false)->Connect());
        EXPECT_EQ(peer.count("noop"), 1);
        EXPECT_EQ(peer.count("auth_cmd"), 0);
    }
    auto local = client(true);
    local->Connect();
    EXPECT_FALSE(local->Encrypted());
    EXPECT_EQ(peer.count("auth"), 1);
    EXPECT_TRUE(SmtpHostIsLoopback("localhost"));
    EXPECT_TRUE(SmtpHostIsLoopback("127.0.0.2"));
    EXPECT_TRUE(SmtpHostIsLoopback("[::1]"));
    EXPECT_FALSE(SmtpHostIsLoopback("smtp.example.org"));
    EXPECT_FALSE(SmtpHostIsLoopback("10.0.0.1"));
}

// Authentication on, but the server offers no AUTH: libcurl would skip the login silently.
TEST(SmtpTls, AServerWithoutAuthIsNoSuccessfulLogin)
{
    SmtpPeer peer;  // offers no AUTH
    TSmtpClient client;
    client.Host = "127.0.0.1";
    client.Port = peer.port();
    client.Authenticate = true;
    client.Username = "hans";
    client.Password = "geheim";
    try {
        client.Connect();
        ADD_FAILURE() << "the login was skipped and taken for a success";
    } catch (const ESmtpError& e) {
        EXPECT_EQ(e.Message, QString::fromUtf8("Der Server bietet keine Anmeldung (AUTH) an; Benutzername und Kennwort "
                                               "können nicht verwendet werden."));
        EXPECT_TRUE(e.LoginDenied);
    }
    EXPECT_FALSE(client.Connected());
    EXPECT_EQ(peer.count("noop"), 0);
}
