#include "app/MailingPage.h"

#include "app/MainForm.h"
#include "controls/OrvRollOverButtons.h"
#include "controls/ZedSpin.h"
#include "controls/nbStatusBar.h"
#include "mailing/ConnectionTestThreads.h"
#include "mailing/MailingLog.h"
#include "mailing/RecipientsCursor.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QRadioButton>
#include <QToolButton>

namespace app {

// ---- content from the window's controls ------------------------------------------------------

QString TWindowPlainContent::Subject() const { return m_form.ComboBoxSubject->currentText(); }
QString TWindowPlainContent::PlainBody() const { return m_form.MemoMailBody->toPlainText(); }
bool TWindowPlainContent::SignatureOn() const { return m_form.CheckBoxSignature->isChecked(); }
QString TWindowPlainContent::Signature() const { return m_form.MemoSignature->toPlainText(); }

// ---- the mailing page ------------------------------------------------------------------------

TMailingPage::TMailingPage(TMainForm& form) : QObject(&form), f(form), m_windowContent(form)
{
    connect(f.SpeedButtonSend, &QToolButton::clicked, this, [this] { ButtonSendMailClick(); });
    connect(f.AbortButton, &QToolButton::clicked, this, [this] {
        if (m_job)
            m_job->AbortButtonClick();
    });
    connect(f.OrvRollOverSpeedBtn1, &QToolButton::clicked, this, [this] { OrvRollOverSpeedBtn1Click(); });
    TMailingLog* log = f.MemoLogFile;
    log->ShowMessage = [this](const QString& text) { f.MessageBox(f.FSite.title, text, QMessageBox::Ok); };
    connect(f.SpeedButtonPrintLogFile, &QToolButton::clicked, log, [log] { log->SpeedButtonPrintLogFileClick(); });
    connect(f.SpeedButtonCopyLogToClipboard, &QToolButton::clicked, log,
            [log] { log->SpeedButtonCopyLogToClipboardClick(); });
    connect(f.SpeedButtonSaveLogFile, &QToolButton::clicked, log, [log] { log->SpeedButtonSaveLogFileClick(); });
}

// The job and the connection test start the mail and transfer libraries, which are loaded on
// first need: both are made when first used, not with the window.
TMailingJob& TMailingPage::Job()
{
    if (m_job)
        return *m_job;
    m_job = std::make_unique<TMailingJob>(f.MemoLogFile, f.ProgressBar);
    TMailingJob& job = *m_job;
    job.SenderSettings = [this] { return SenderSettings(); };
    job.OpenRecipients = [this]() -> std::unique_ptr<IRecipientCursor> {
        return std::make_unique<TRecipientsCursor>(f.ListStore().DataSet());
    };
    job.ShowMessage = [this](const QString& text) { f.MessageBox(f.FSite.title, text, QMessageBox::Ok); };
    job.AskQuestion = [this](const QString& text, TQuestionButtons buttons) {
        if (buttons == TQuestionButtons::YesNo)
            return f.Ask(text, QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
        return f.Ask(text, QMessageBox::Ok | QMessageBox::Cancel) == QMessageBox::Ok;
    };
    job.OnShowSenderPage = [this](TSenderField field) {
        f.SpeedButtonSenderClick();
        f.SpeedButtonSender->setChecked(true);
        (field == TSenderField::From ? f.EditFrom : f.EditSmtpServer)->setFocus();
    };
    job.OnShowMailingPage = [this] {
        f.ShowPage(f.TabSendMail);
        f.SpeedButtonSendMail->setChecked(true);
        f.StatusBar1->Panels()[1]->SetText(QString());
    };
    job.OnAllStepsGreen = [this] { f.SetMarks(4); };
    job.OnRunningChanged = [this](bool running) {
        f.SpeedButtonSend->setEnabled(!running);
        f.AbortButton->setEnabled(running);
    };
    job.OnStatusImage = [this](int index) { f.StatusBar1->Panels()[0]->SetImageIndex(index); };
    job.OnJobClosed = [this] {
        // The grid shows the new marks. They are in the list's backup too, so the mailing
        // alone leaves the list unchanged: no save question for it.
        try {
            f.ListStore().Requery();
        } catch (...) {
            if (f.OnApplicationException)
                f.OnApplicationException(std::current_exception());
        }
    };

    return job;
}

TSmtpConnectionTest& TMailingPage::ConnectionTest()
{
    if (m_test)
        return *m_test;
    m_test = new TSmtpConnectionTest(f.LabelConfigurationHeader, f.LabelConfigurationDescription,
                                     f.LabelTestConnection, f.OrvRollOverSpeedBtn1, this);
    m_test->ShowMessage = [this](const QString& text) { f.MessageBox(f.FSite.title, text, QMessageBox::Ok); };

    return *m_test;
}

bool TMailingPage::QueryClose() { return !m_job || m_job->QueryClose(); }

// The job ends before the window's controls and its list go: a running mailing is aborted and
// its workers are waited for.
TMailingPage::~TMailingPage() { m_job.reset(); }

IMailContent* TMailingPage::Content()
{
    if (m_content)
        return m_content;
    for (QObject* child : f.children())
        if (auto* content = dynamic_cast<IMailContent*>(child))
            return content;
    return &m_windowContent;
}

TSenderSettings TMailingPage::SenderSettings() const
{
    TSenderSettings s;
    s.From = f.EditFrom->text();
    s.Name = f.EditName->text();
    s.ReplyTo = f.EditReplyTo->text();
    s.SmtpServer = f.EditSmtpServer->text();
    s.UserName = f.EditUserName->text();
    s.Password = f.EditPassword->text();
    s.Authentication = f.CheckBoxAuthentication->isChecked();
    s.Scheduled = f.RadioButtonScheduled->isChecked();
    s.Threads = f.SpinEditThreads->Value();
    s.ScheduledMails = f.SpinEditScheduledMails->Value();
    s.ScheduledMinutes = f.SpinEditScheduledMinutes->FloatValue();
    return s;
}

void TMailingPage::SpeedButtonSendMailClick()
{
    TMailingJob& job = Job();
    job.Content = Content();
    job.SpeedButtonSendMailClick();
}

void TMailingPage::ButtonSendMailClick()
{
    TMailingJob& job = Job();
    job.Content = Content();
    job.ButtonSendMailClick();
}

void TMailingPage::OrvRollOverSpeedBtn1Click()
{
    ConnectionTest().OrvRollOverSpeedBtn1Click(f.EditSmtpServer->text(), f.EditUserName->text(), f.EditPassword->text(),
                                      f.CheckBoxAuthentication->isChecked());
}

// ---- the window's side -----------------------------------------------------------------------

void TMainForm::WireMailingPage() { FMailingPage = new TMailingPage(*this); }

void TMainForm::ShutDownMailing()
{
    delete FMailingPage;
    FMailingPage = nullptr;
}

TMailingPage& TMainForm::MailingPage() { return *FMailingPage; }

void TMainForm::SpeedButtonSendMailClick()
{
    if (FMailingPage)
        FMailingPage->SpeedButtonSendMailClick();
}

bool TMainForm::MailingAllowsClose() { return !FMailingPage || FMailingPage->QueryClose(); }

} // namespace app
