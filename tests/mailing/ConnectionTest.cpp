// The SMTP connection test of the sender page.
#include "MailTestUtil.h"
#include "mailing/ConnectionTestThreads.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <gtest/gtest.h>

using namespace mailtest;

namespace {
struct TestPage {
    QLabel header, description, result;
    QPushButton button;
    QStringList messages;
    TSmtpConnectionTest test{&header, &description, &result, &button};
    TestPage()
    {
        test.ShowMessage = [this](const QString& m) { messages.append(m); };
    }
    QColor color() const { return result.palette().color(QPalette::WindowText); }
};
const QColor Green(0, 128, 0);
const QColor Red(255, 0, 0);
}

TEST(ConnectionTest, FieldChecks)
{
    struct Case { QString server, user, password; bool auth; QString message, label; };
    const Case cases[] = {
        {"smtp", "", "", false, QString::fromUtf8("Bitte geben Sie einen gültigen SMTP Server an!"),
         QString::fromUtf8("Bitte überprüfen Sie den SMTP Servernamen.")},
        {"localhost:70000", "", "", false, QString::fromUtf8("Bitte geben Sie einen gültigen SMTP Server an!"),
         QString::fromUtf8("Bitte überprüfen Sie den SMTP Servernamen.")},
        {"localhost:abc", "", "", false, QString::fromUtf8("Bitte geben Sie einen gültigen SMTP Server an!"),
         QString::fromUtf8("Bitte überprüfen Sie den SMTP Servernamen.")},
        {"localhost:25", "", "pw", true, QString::fromUtf8("Bitte geben Sie einen gültigen SMTP Benutzer an!"),
         QString::fromUtf8("Bitte überprüfen Sie den SMTP Benutzernamen.")},
        {"localhost:25", "hans", "", true, QString::fromUtf8("Bitte geben Sie ein gültiges SMTP Kennwort ein!"),
         QString::fromUtf8("Bitte überprüfen Sie das angegebene SMTP Kennwort.")},
    };
    for (const Case& c : cases) {
        TestPage page;
        page.test.OrvRollOverSpeedBtn1Click(c.server, c.user, c.password, c.auth);
        EXPECT_EQ(page.messages, QStringList{c.message}) << c.server.toStdString();
        EXPECT_EQ(page.result.text(), c.label);
        EXPECT_EQ(page.color(), Red);
        EXPECT_EQ(page.header.text(), "Testen der Verbindung:");
        EXPECT_TRUE(page.description.text().endsWith("Dieser Test kann bis zu 30 Sekunden dauern.\n\n"));
    }
}

TEST(ConnectionTest, SuccessBadCredentialsAndClosedPort)
{
    {
        SmtpPeer peer({QStringLiteral("hans:geheim")});
        TestPage page;
        page.test.OrvRollOverSpeedBtn1Click(peer.server(), "hans", "geheim", true);
        EXPECT_EQ(page.result.text(), "Verbindung erfolgreich getestet.");
        EXPECT_EQ(page.color(), Green);
        EXPECT_TRUE(page.messages.isEmpty());
        EXPECT_TRUE(page.button.isEnabled());

        page.test.OrvRollOverSpeedBtn1Click(peer.server(), "hans", "falsch", true);
        EXPECT_EQ(page.color(), Red);
        EXPECT_TRUE(page.result.text().startsWith(
            "Authentifizierung fehlgeschlagen. Bitte überprüfen Sie SMTP Benutzernamen und Kennwort. \n\n"
            "Der Server antwortet:\n535 "))
            << page.result.text().toStdString();
    }
    {
        SmtpPeer peer;
        TestPage page;
        page.test.OrvRollOverSpeedBtn1Click(peer.server(), "", "", false);
        EXPECT_EQ(page.result.text(), "Verbindung erfolgreich getestet.");
        EXPECT_EQ(peer.count("auth_cmd"), 0);
    }
    {
        TestPage page;
        page.test.OrvRollOverSpeedBtn1Click(QStringLiteral("127.0.0.1:%1").arg(ClosedPort()), "", "", false);
        EXPECT_EQ(page.color(), Red);
        EXPECT_TRUE(page.result.text().startsWith(
            "Die Verbindung zum Server ist fehlgeschlagen. Bitte überprüfen Sie den SMTP Server und stellen Sie "
            "sicher, dass eine Verbindung zum Internet besteht.\n\n"))
            << page.result.text().toStdString();
        EXPECT_GT(page.result.text().size(), 160) << "the error follows";
    }
}

TEST(ConnectionTest, SilentServerFailsAfterTheLimitWhileTheWindowKeepsWorking)
{
    PeerOptions options;
    options.stall = true;
    SmtpPeer peer(options);
    TestPage page;
    page.test.WaitLimitMs = 700;
    int ticks = 0;
    bool buttonDisabledMeanwhile = false;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        ++ticks;
        buttonDisabledMeanwhile = buttonDisabledMeanwhile || !page.button.isEnabled();
    });
    timer.start(20);
    QElapsedTimer t;
    t.start();
    page.test.OrvRollOverSpeedBtn1Click(peer.server(), "", "", false);
    EXPECT_GE(t.elapsed(), 650);
    EXPECT_LT(t.elapsed(), 10000);
    EXPECT_EQ(page.result.text(), "Verbindungstest fehlgeschlagen.");
    EXPECT_EQ(page.color(), Red);
    EXPECT_GE(ticks, 10) << "the event loop ran during the wait";
    EXPECT_TRUE(buttonDisabledMeanwhile);
    EXPECT_TRUE(page.button.isEnabled());
}
