#pragma once
// The main window's mailing: the send buttons, the mailing page (log, progress, abort, the
// schedule), the sender page's connection test and the closing during a mailing. The job itself
// (mailing/MailingJob.h) reads the window through the wiring made here.
#include "mailing/MailingJob.h"

#include <QObject>
#include <memory>

class TSmtpConnectionTest;

namespace app {

class TMainForm;

// The mail content straight from the window's subject box, body memo and signature, used while
// the window has no content page of its own: plain mails only, no attachments.
class TWindowPlainContent : public IMailContent {
public:
    explicit TWindowPlainContent(TMainForm& form) : m_form(form) {}
    QString Subject() const override;
    QString PlainBody() const override;
    bool SignatureOn() const override;
    QString Signature() const override;
    bool HtmlMode() const override { return false; }
    QString Html() const override { return QString(); }
    QStringList AttachmentPaths() const override { return {}; }

private:
    TMainForm& m_form;
};

class TMailingPage : public QObject {
    Q_OBJECT
public:
    explicit TMailingPage(TMainForm& form);
    ~TMailingPage() override;

    // Made on first use.
    TMailingJob& Job();
    TSmtpConnectionTest& ConnectionTest();
    // True unless a running mailing is to go on (the job's question).
    bool QueryClose();

    // The content a mailing reads. Unset: the window's content page (a child object of the
    // window that offers IMailContent), else the window's own controls.
    void SetContent(IMailContent* content) { m_content = content; }
    IMailContent* Content();

    // The sender page's fields as the job reads them.
    TSenderSettings SenderSettings() const;

    // The send buttons and the connection test.
    void SpeedButtonSendMailClick();
    void ButtonSendMailClick();
    void OrvRollOverSpeedBtn1Click();

private:
    TMainForm& f;
    std::unique_ptr<TMailingJob> m_job;
    TSmtpConnectionTest* m_test = nullptr;
    IMailContent* m_content = nullptr;
    TWindowPlainContent m_windowContent;
};

} // namespace app
