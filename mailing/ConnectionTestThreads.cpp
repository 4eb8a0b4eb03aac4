#include "mailing/ConnectionTestThreads.h"

#include <QApplication>
#include <QEventLoop>
#include <QLabel>
#include <QMessageBox>
#include <QTimer>

namespace {
const QColor TestGreen(0, 128, 0);
const QColor TestRed(255, 0, 0);

struct OverrideCursor {
    OverrideCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~OverrideCursor() { QApplication::restoreOverrideCursor(); }
};
}

TSMPTConnectionTestThread::TSMPTConnectionTestThread()
{
    fSMTP.Cancel = &fCancel;
}

TSMPTConnectionTestThread::~TSMPTConnectionTestThread()
{
    GiveUp();
    wait();
}

void TSMPTConnectionTestThread::GiveUp()
{
    fCancel = true;
    fSMTP.Interrupt();  // a connect or a wait for the server ends at once
}

void TSMPTConnectionTestThread::run()
{
    fConnected = false;
    fAuthenticated = false;
    try {
        // Greeting, EHLO, STARTTLS when offered, AUTH and a NOOP in one request.
        fSMTP.Connect();
        fConnected = true;
        fAuthenticated = true;
    } catch (const ESmtpError& e) {
        fConnected = e.LoginDenied;
        fErrorMessage = e.Message;
    } catch (const std::exception& e) {
        fErrorMessage = QString::fromUtf8(e.what());
    }
    fSMTP.Disconnect();
}

TSmtpConnectionTest::TSmtpConnectionTest(QLabel* header, QLabel* description, QLabel* result, QWidget* button,
                                         QObject* parent)
    : QObject(parent), m_header(header), m_description(description), m_result(result), m_button(button)
{
    InitSmtpLibrary();
}

TSmtpConnectionTest::~TSmtpConnectionTest()
{
    for (TSMPTConnectionTestThread* t : m_pending)
        delete t;  // cancels the attempt and waits for it
}

void TSmtpConnectionTest::ShowResult(const QColor& color, const QString& text)
{
    if (!m_result)
        return;
    QPalette p = m_result->palette();
    p.setColor(QPalette::WindowText, color);
    m_result->setPalette(p);
    m_result->setText(text);
}

void TSmtpConnectionTest::OrvRollOverSpeedBtn1Click(const QString& smtpServer, const QString& userName,
                                                     const QString& password, bool authentication)
{
    if (m_testing)
        return;
    OverrideCursor cursor;
    if (m_header)
        m_header->setText(QStringLiteral("Testen der Verbindung:"));
    if (m_description)
        m_description->setText(QStringLiteral("Um Ihre SMTP Verbindung zu testen, wird Quillory veruschen, sich mit "
                                              "Ihrem SMTP Server zu verbinden. Dieser Test kann bis zu 30 Sekunden "
                                              "dauern.\n\n"));
    ShowResult(TestGreen, QStringLiteral("Teste ..."));

    auto fieldError = [this](const QString& message, const QString& label) {
        if (ShowMessage)
            ShowMessage(message);
        else
            QMessageBox::warning(QApplication::activeWindow(), QApplication::applicationName(), message);
        ShowResult(TestRed, label);
    };
    TSmtpServer server;
    bool serverOk = smtpServer.size() >= 5;
    if (serverOk) {
        try {
            server = ParseSmtpServer(smtpServer);
        } catch (const std::exception&) {
            serverOk = false;
        }
    }
    if (!serverOk) {
        fieldError(QStringLiteral("Bitte geben Sie einen gültigen SMTP Server an!"),
                   QStringLiteral("Bitte überprüfen Sie den SMTP Servernamen."));
        return;
    }
    if (authentication && userName.isEmpty()) {
        fieldError(QStringLiteral("Bitte geben Sie einen gültigen SMTP Benutzer an!"),
                   QStringLiteral("Bitte überprüfen Sie den SMTP Benutzernamen."));
        return;
    }
    if (authentication && password.isEmpty()) {
        fieldError(QStringLiteral("Bitte geben Sie ein gültiges SMTP Kennwort ein!"),
                   QStringLiteral("Bitte überprüfen Sie das angegebene SMTP Kennwort."));
        return;
    }

    auto* thread = new TSMPTConnectionTestThread;
    thread->fSMTP.Host = server.Host;
    thread->fSMTP.Port = server.Port;
    thread->fSMTP.Authenticate = authentication;
    if (authentication) {
        thread->fSMTP.Username = userName;
        thread->fSMTP.Password = password;
    }

    m_testing = true;
    const bool buttonWasEnabled = m_button && m_button->isEnabled();
    if (m_button)
        m_button->setEnabled(false);
    // Wait for the outcome while the window keeps working.
    QEventLoop loop;
    QTimer limit;
    limit.setSingleShot(true);
    limit.setTimerType(Qt::PreciseTimer);  // a coarse timer may end the wait 5 % early
    bool ended = false;
    connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
    connect(thread, &QThread::finished, &loop, [&ended, &loop] {
        ended = true;
        loop.quit();
    });
    thread->start();
    limit.start(WaitLimitMs);
    if (!thread->isFinished())
        loop.exec();
    // finished is emitted just before the thread ends: then the wait is short. The loop also
    // ends without it, when the limit runs out or the program quits: the attempt is given up,
    // never waited for.
    const bool finished = ended || thread->isFinished() ? thread->wait() : false;
    if (m_button)
        m_button->setEnabled(buttonWasEnabled);
    m_testing = false;

    if (!finished) {
        // Give up the attempt; it ends at once.
        thread->GiveUp();
        m_pending.append(thread);
        connect(thread, &QThread::finished, this, [this, thread] {
            m_pending.removeOne(thread);
            thread->deleteLater();
        });
        ShowResult(TestRed, QStringLiteral("Verbindungstest fehlgeschlagen."));
        return;
    }
    const bool connected = thread->fConnected;
    const bool authenticated = thread->fAuthenticated;
    const QString error = thread->fErrorMessage;
    delete thread;
    if (!connected)
        ShowResult(TestRed, QStringLiteral("Die Verbindung zum Server ist fehlgeschlagen. Bitte überprüfen Sie den SMTP "
                                           "Server und stellen Sie sicher, dass eine Verbindung zum Internet besteht.")
                                + QStringLiteral("\n\n") + error);
    else if (!authenticated)
        ShowResult(TestRed, QStringLiteral("Authentifizierung fehlgeschlagen. Bitte überprüfen Sie SMTP Benutzernamen "
                                           "und Kennwort. ")
                                + QStringLiteral("\n\nDer Server antwortet:\n") + error);
    else
        ShowResult(TestGreen, QStringLiteral("Verbindung erfolgreich getestet."));
}
