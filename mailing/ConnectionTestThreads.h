#pragma once
// The SMTP connection test of the sender page: a short-lived thread connects to the server and
// logs in while the window waits for it (serving its events) for up to 2500 ms, and the outcome
// is shown in the result label. An attempt the window no longer waits for (the limit ran out,
// the program quits) is cut off at once.
#include "mailing/SmtpClient.h"

#include <QObject>
#include <QPointer>
#include <QThread>
#include <atomic>
#include <functional>
#include <memory>

class QLabel;
class QWidget;

class TSMPTConnectionTestThread : public QThread {
    Q_OBJECT
public:
    TSMPTConnectionTestThread();
    ~TSMPTConnectionTestThread() override;

    bool fConnected = false;
    bool fAuthenticated = false;
    QString fErrorMessage;
    TSmtpClient fSMTP;
    std::atomic<bool> fCancel{false};  // gives up the attempt (the window no longer waits)
    // Any thread: sets fCancel and cuts the client's connection.
    void GiveUp();

protected:
    void run() override;
};

class TSmtpConnectionTest : public QObject {
    Q_OBJECT
public:
    // header, description and result are the labels of the sender page's description area;
    // button is the test button, disabled while a test runs.
    TSmtpConnectionTest(QLabel* header, QLabel* description, QLabel* result, QWidget* button,
                        QObject* parent = nullptr);
    ~TSmtpConnectionTest() override;

    // The test of the sender page's fields.
    void OrvRollOverSpeedBtn1Click(const QString& smtpServer, const QString& userName, const QString& password,
                                   bool authentication);
    bool Testing() const { return m_testing; }

    int WaitLimitMs = 2500;  // how long the window waits for the outcome
    std::function<void(const QString&)> ShowMessage;

private:
    void ShowResult(const QColor& color, const QString& text);

    QPointer<QLabel> m_header;
    QPointer<QLabel> m_description;
    QPointer<QLabel> m_result;
    QPointer<QWidget> m_button;
    bool m_testing = false;
    QList<TSMPTConnectionTestThread*> m_pending;  // attempts still running after the wait ended
};
