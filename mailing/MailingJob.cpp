#include "mailing/MailingJob.h"

#include "mailing/HtmlMailBuilder.h"
#include "mailing/MailThread.h"
#include "mailing/MailingLog.h"
#include "mailing/SmtpClient.h"

#include <QApplication>
#include <QEventLoop>
#include <QMessageBox>
#include <QProgressBar>
#include <QTimer>
#include <cmath>

namespace {

class TQtScheduleTimer : public IScheduleTimer {
public:
    TQtScheduleTimer()
    {
        m_timer.setSingleShot(false);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            if (OnTimer)
                OnTimer();
        });
    }
    void Start(int intervalMs) override { m_timer.start(intervalMs); }
    void Stop() override { m_timer.stop(); }
    bool Active() const override { return m_timer.isActive(); }

private:
    QTimer m_timer;
};

} // namespace

TMailingJob::TMailingJob(TMailingLog* log, QProgressBar* progressBar, QObject* parent)
    : QObject(parent), m_log(log), m_progress(progressBar)
{
    InitMimeLibrary();
    InitSmtpLibrary();
    SetScheduleTimer(std::make_unique<TQtScheduleTimer>());
    BuildHtmlMessage = [this](TMyMessage& message, const QString& html, int attachmentCount) {
        // The editor hands over its document as one line.
        ::BuildHtmlMessage(message, QStringList{html}, attachmentCount,
                           [this](const QString& text) { return Ask(text, TQuestionButtons::YesNo); });
    };
}

TMailingJob::~TMailingJob()
{
    // Workers call back into the job: never leave one running.
    if (m_running) {
        AbortButtonClick();
        QEventLoop loop;
        connect(this, &TMailingJob::JobClosed, &loop, &QEventLoop::quit);
        if (m_running)
            loop.exec();
    }
}

void TMailingJob::SetScheduleTimer(std::unique_ptr<IScheduleTimer> timer)
{
    m_timer = std::move(timer);
    if (m_timer)
        m_timer->OnTimer = [this] { ResumeScheduledMailing(); };
}

// ---- helpers ---------------------------------------------------------------------------------

void TMailingJob::Sync(const std::function<void()>& call)
{
    if (!Synchronize)
        throw std::logic_error("TMailingJob::Synchronize is not set");
    // An error of the main thread's part is handed back to the calling worker, never to the
    // event loop.
    std::exception_ptr error;
    Synchronize([&call, &error] {
        try {
            call();
        } catch (...) {
            error = std::current_exception();
        }
    });
    if (error)
        std::rethrow_exception(error);
}

void TMailingJob::WorkerLine(int number, const QString& text, const QColor& color)
{
    if (m_log)
        m_log->WriteToLog(LogTime() + QStringLiteral(" Thread ") + QString::number(number) + QStringLiteral(" : ") + text,
                          color);
}

void TMailingJob::JobLine(const QString& text, const QColor& color)
{
    if (m_log)
        m_log->WriteToLog(LogTime() + text, color);
}

bool TMailingJob::Ask(const QString& text, TQuestionButtons buttons)
{
    if (AskQuestion)
        return AskQuestion(text, buttons);
    QWidget* parent = QApplication::activeWindow();
    if (buttons == TQuestionButtons::YesNo)
        return QMessageBox::question(parent, QStringLiteral("Bestätigung"), text,
                                     QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
    return QMessageBox::question(parent, QStringLiteral("Bestätigung"), text,
                                 QMessageBox::Ok | QMessageBox::Cancel) == QMessageBox::Ok;
}

void TMailingJob::Notify(const QString& text)
{
    if (ShowMessage)
        ShowMessage(text);
    else
        QMessageBox::information(QApplication::activeWindow(), QApplication::applicationName(), text);
}

void TMailingJob::SetRunning(bool running)
{
    m_running = running;
    if (OnRunningChanged)
        OnRunningChanged(running);
}

// ---- send button -----------------------------------------------------------------------------

void TMailingJob::SpeedButtonSendMailClick()
{
    if (OnAllStepsGreen)
        OnAllStepsGreen();
    const TSenderSettings sender = SenderSettings ? SenderSettings() : TSenderSettings();
    if (!sender.From.contains(QLatin1Char('@')) || !sender.From.contains(QLatin1Char('.'))) {
        Notify(QStringLiteral("Bitte geben Sie im Feld \"Von\" eine gültige Adresse an."));
        if (OnShowSenderPage)
            OnShowSenderPage(TSenderField::From);
        return;
    }
    if (sender.SmtpServer.size() < 5) {
        Notify(QStringLiteral("Bitte geben Sie einen gültigen SMTP Server an."));
        if (OnShowSenderPage)
            OnShowSenderPage(TSenderField::SmtpServer);
        return;
    }
    if (OnShowMailingPage)
        OnShowMailingPage();
    if (!m_running && Ask(QStringLiteral("Mit dem Versand der Mails jetzt beginnen?"), TQuestionButtons::YesNo))
        ButtonSendMailClick();
}

void TMailingJob::ButtonSendMailClick()
{
    if (m_running)  // one job at a time, also while workers are still being started
        return;
    m_aborted = false;
    m_abortLinePending = false;
    m_heldEndLines.clear();
    fSentMails = 0;
    fRoundCount = 0;
    m_sender = SenderSettings ? SenderSettings() : TSenderSettings();
    if (!m_sender.From.contains(QLatin1Char('@')) || !m_sender.From.contains(QLatin1Char('.'))) {
        Notify(QStringLiteral("Bitte geben Sie im Feld \"Von\" eine gültige Adresse an."));
        return;
    }
    if (m_sender.SmtpServer.size() < 5) {
        Notify(QStringLiteral("Bitte geben Sie einen gültigen SMTP Server an."));
        return;
    }
    const bool htmlMode = Content && Content->HtmlMode();
    const QString subject = Content ? Content->Subject() : QString();
    const QString body = Content ? Content->PlainBody() : QString();
    if (!htmlMode && body.isEmpty() && subject.isEmpty()) {
        if (!Ask(QStringLiteral("Möchten Sie diese Mail ohne Betreff und Inhalt senden?"), TQuestionButtons::OkCancel))
            return;
    } else {
        if (subject.isEmpty()
            && !Ask(QStringLiteral("Möchten Sie diese Mail ohne Betreff senden?"), TQuestionButtons::OkCancel))
            return;
        if (!htmlMode && body.isEmpty()
            && !Ask(QStringLiteral("Möchten Sie diese Mail ohne Inhalt senden?"), TQuestionButtons::OkCancel))
            return;
    }

    if (m_progress)
        m_progress->setValue(0);
    fFailedMails = 0;
    if (m_log)
        m_log->PrepareLogHeader(m_sender.From, m_sender.SmtpServer);

    // Marks of the last mailing that a busy database still holds back must be written before
    // the rows to send are counted, or their mails would go out again.
    if (fRecipients && fRecipients->PendingMarks() > 0) {
        try {
            fRecipients->Flush();
        } catch (const std::exception&) {
        }
        if (fRecipients->PendingMarks() > 0) {
            JobLine(QStringLiteral(" Fehler: ") + QString::number(fRecipients->PendingMarks())
                        + QStringLiteral(" gesendete Mail(s) sind noch nicht als gesendet markiert, weil ein anderes "
                                         "Programm die Datenbank belegt. Bitte starten Sie den Versand gleich noch "
                                         "einmal."),
                    mailcolors::Red);
            return;
        }
    }
    fRecipients.reset();
    fRecipients = OpenRecipients ? OpenRecipients() : nullptr;
    if (fRecipients)
        fRecipients->OnLateMarks = [this](int count) {
            JobLine(QStringLiteral(" ") + QString::number(count)
                        + QStringLiteral(" gesendete Mail(s) wurden verspätet als gesendet markiert (die Datenbank "
                                         "war von einem anderen Programm belegt)."),
                    mailcolors::Blue);
        };
    const int rowsToSend = fRecipients ? fRecipients->RowsToSent() : 0;
    if (rowsToSend == 0) {
        JobLine(QStringLiteral(" Es sind keine Empfänger als \"zu versenden\" markiert. Bitte bearbeiten Sie die "
                               "Empfängerliste."),
                mailcolors::Red);
        fRecipients.reset();
        return;
    }

    SetRunning(true);
    m_threadCount = GetThreadCount(rowsToSend);
    m_runningThreads = 0;
    m_workersCreated = 0;
    JobLine(QStringLiteral(" E-Mail wird zum Versand vorbereitet."), mailcolors::Blue);
    try {
        BuildTemplate(m_sender);
    } catch (const std::exception& e) {
        JobLine(QStringLiteral(" Fehler: ") + QString::fromUtf8(e.what()), mailcolors::Red);
        JobLine(QStringLiteral(" Anwendung abgebrochen."), mailcolors::Blue);
        SetRunning(false);
        fRecipients.reset();
        fMessage.reset();
        m_prepared.reset();
        return;
    }
    m_jobRecipients = rowsToSend;  // nothing was sent since the count above
    if (m_progress) {
        m_progress->setMaximum(m_jobRecipients);
        m_progress->setValue(0);
    }
    StartSMTPThreads();
    fMessage.reset();
    m_prepared.reset();
}

void TMailingJob::BuildTemplate(const TSenderSettings& sender)
{
    fMessage = std::make_unique<TMyMessage>();
    const QStringList attachments = Content ? Content->AttachmentPaths() : QStringList();
    if (Content && Content->HtmlMode()) {
        if (!BuildHtmlMessage)
            throw std::runtime_error("HTML-Mails können nicht aufgebaut werden.");
        BuildHtmlMessage(*fMessage, Content->Html(), int(attachments.size()));
    } else {
        QString text = Content ? Content->PlainBody() : QString();
        if (Content && Content->SignatureOn()) {
            // The signature starts on a line of its own.
            if (!text.isEmpty() && !text.endsWith(QLatin1Char('\n')) && !text.endsWith(QLatin1Char('\r')))
                text += QStringLiteral("\r\n");
            text += Content->Signature();
        }
        fMessage->SetPlainTextBody(text);
    }
    fMessage->Subject = Content ? Content->Subject() : QString();
    fMessage->From = TMailAddress{sender.From, sender.Name};
    fMessage->ReplyTo = {TMailAddress{sender.ReplyTo, QString()}};
    fMessage->AddAttachments(attachments);
    fMessage->SaveTemplates();
    // Attachments and pictures are read and encoded once for all workers; one that cannot be
    // read stops the job here.
    fMessage->LoadFiles();
    // The parts that are the same in every mail are serialised once; when the layout does not
    // allow it every mail is built whole.
    try {
        m_prepared = TPreparedMessage::Prepare(*fMessage);
    } catch (const std::exception&) {
        m_prepared.reset();
    }
}

int TMailingJob::GetThreadCount(int rowsToSend) const
{
    if (m_sender.Scheduled)
        return 1;
    const int n = std::min(rowsToSend, std::clamp(m_sender.Threads, 1, 64));
    return n == 0 ? 1 : n;
}

void TMailingJob::StartSMTPThreads()
{
    m_starting = true;
    for (int i = 1; i <= m_threadCount; ++i) {
        QCoreApplication::processEvents();
        if (m_aborted || !fRecipients)
            break;
        int rowsLeft = 0;
        try {
            rowsLeft = fRecipients->RowsToSent();
        } catch (const std::exception& e) {
            // The workers started so far go on; no further one is started.
            JobLine(QStringLiteral(" Fehler: ") + QString::fromUtf8(e.what()), mailcolors::Red);
            break;
        }
        if (rowsLeft == 0)
            break;
        ++m_runningThreads;
        ++m_workersCreated;
        auto* worker = new TSMTPMailThread(i, this, *fMessage, m_prepared, m_sender.SmtpServer, m_sender.UserName,
                                           m_sender.Password, m_sender.Authentication);
        // A scheduled mailing counts its blocks recipient by recipient.
        worker->MaxBatch = m_sender.Scheduled ? 1 : 32;
        fThreads[size_t(i)] = worker;
        connect(worker, &QThread::finished, this, [this, worker] { ThreadTerminated(worker); });
        connect(worker, &QThread::finished, worker, &QObject::deleteLater);
        ConnectAndResumeWorker(worker);
    }
    m_starting = false;
    if (m_runningThreads == 0)
        CloseJob();
}

void TMailingJob::ConnectAndResumeWorker(TMailThread* worker)
{
    // A new worker connects at the start of its own thread; a held one connects again when it
    // is let go, unless it has been told to terminate.
    if (worker->State() == TWorkerState::Created)
        worker->Start();
    else
        worker->Resume(!worker->Terminated());
}

// ---- recipient hand-out and outcomes (main thread, the worker waits) -------------------------

void TMailingJob::getReceipient(TAssociativeArray& record)
{
    record.Clear();
    if (fRecipients)
        fRecipients->NextRecipient(record);
    if (m_sender.Scheduled)
        CheckScheduledPause();
}

void TMailingJob::CheckScheduledPause()
{
    if (m_aborted || !fRecipients || fRecipients->RowsToSent() <= 0)
        return;
    // The sender page may change the block and the pause while the mailing runs.
    const TSenderSettings now = SenderSettings ? SenderSettings() : m_sender;
    if (fRoundCount >= now.ScheduledMails) {
        JobLine(QStringLiteral(" Thread 1 : Verbindung zum SMTP Server unterbrochen."), mailcolors::Blue);
        if (fThreads[1])
            PauseThread(fThreads[1]);
        const int interval = int(std::lround(now.ScheduledMinutes * 60000.0));
        JobLine(QStringLiteral(" Thread 1 : Warte für  ") + LogNumber(now.ScheduledMinutes) + QStringLiteral(" Minuten."),
                mailcolors::Blue);
        if (interval <= 0)
            ResumeScheduledMailing();
        else if (m_timer)
            m_timer->Start(interval);
    } else {
        ++fRoundCount;
    }
}

void TMailingJob::PauseThread(TMailThread* worker)
{
    // The worker is inside its fetch call: it stays held after the call returns and closes its
    // connection itself.
    worker->Hold();
}

void TMailingJob::ResumeScheduledMailing()
{
    if (m_timer)
        m_timer->Stop();
    fRoundCount = 1;
    if (fThreads[1] && fThreads[1]->State() == TWorkerState::Held)
        ConnectAndResumeWorker(fThreads[1]);
}

void TMailingJob::WorkerResumed(TMailThread*)
{
    JobLine(QStringLiteral(" Thread 1 : Verbindung zum SMTP Server wiederhergestellt."), mailcolors::Blue);
}

void TMailingJob::HandOut(TMailThread* worker, int count, QList<TAssociativeArray>& batch)
{
    for (int i = 0; i < count; ++i) {
        TAssociativeArray record;
        getReceipient(record);
        if (record.IsEmpty())
            break;
        batch.append(record);
        if (worker->State() == TWorkerState::Held)
            break;
    }
}

void TMailingJob::TakeOutcomes(TMailThread* worker, const QList<TMailOutcome>& outcomes)
{
    if (outcomes.isEmpty())
        return;
    // The lines go into the log with those of the other workers' outcomes that come soon after
    // (one edit), the progress bar moves once.
    QList<std::pair<QString, QColor>> lines;
    const QString prefix = LogTime() + QStringLiteral(" Thread ") + QString::number(worker->fNumber) + QStringLiteral(" : ");
    int progressed = 0;
    for (const TMailOutcome& outcome : outcomes) {
        switch (outcome.kind) {
        case TMailOutcome::Sent:
            ++progressed;
            lines.append({prefix + outcome.email + QStringLiteral("  gesendet."), mailcolors::Green});
            try {
                fRecipients->SetStatus(outcome.id, 1);
            } catch (const std::exception& e) {
                // The server has the mail: the next mailing would send it again.
                lines.append({prefix + outcome.email
                                  + QStringLiteral(" Fehler: Die Mail wurde gesendet, aber nicht als gesendet markiert: ")
                                  + QString::fromUtf8(e.what()),
                              mailcolors::Red});
            }
            ++fSentMails;
            break;
        case TMailOutcome::ErrorLine:
            lines.append({prefix + outcome.text, mailcolors::Red});
            ++fFailedMails;
            break;
        case TMailOutcome::Done:
            ++progressed;
            break;
        }
    }
    if (m_log)
        m_log->QueueLines(lines);
    if (m_progress && progressed > 0)
        m_progress->setValue(std::min(m_progress->maximum(), m_progress->value() + progressed));
}

void TMailingJob::SmtpConnected()
{
    if (OnStatusImage)
        OnStatusImage(0);
}

// ---- abort and close -------------------------------------------------------------------------

void TMailingJob::AbortButtonClick()
{
    if (!m_running)
        return;
    m_aborted = true;
    if (m_timer)
        m_timer->Stop();
    for (TMailThread* worker : fThreads) {
        if (!worker)
            continue;
        worker->Terminate();
        if (worker->State() == TWorkerState::Held)
            worker->Resume(false);
    }
    // The line goes into the log once every worker has handed over what happened before the
    // click (the mails the server took are logged above it); its time is the click's.
    if (!m_abortLinePending) {
        m_abortLinePending = true;
        m_abortLine = LogTime() + QStringLiteral(" Abbruch durch Benutzer initiiert.");
    }
}

void TMailingJob::WriteAbortLine()
{
    if (!m_abortLinePending)
        return;
    m_abortLinePending = false;
    if (m_log) {
        QList<std::pair<QString, QColor>> lines{{m_abortLine, mailcolors::Red}};
        lines += m_heldEndLines;
        m_log->WriteLinesToLog(lines);
    }
    m_heldEndLines.clear();
}

void TMailingJob::ThreadTerminated(TMailThread* worker)
{
    --m_runningThreads;
    if (worker->fNumber >= 1 && worker->fNumber <= 64 && fThreads[size_t(worker->fNumber)] == worker)
        fThreads[size_t(worker->fNumber)] = nullptr;
    const QString ended = LogTime() + QStringLiteral(" Thread ") + QString::number(worker->fNumber)
                          + QStringLiteral(" : beendet.");
    if (m_abortLinePending)
        m_heldEndLines.append({ended, mailcolors::Blue});  // below the abort line
    else if (m_log)
        m_log->WriteToLog(ended, mailcolors::Blue);
    if (m_runningThreads > 0 || m_starting)
        return;
    CloseJob();
}

void TMailingJob::CloseJob()
{
    if (m_timer)
        m_timer->Stop();
    WriteAbortLine();
    if (OnStatusImage)
        OnStatusImage(1);
    if (fRecipients) {
        try {
            fRecipients->Flush();
        } catch (const std::exception& e) {
            JobLine(QStringLiteral(" Fehler: Gesendete Mails konnten nicht als gesendet markiert werden: ")
                        + QString::fromUtf8(e.what()),
                    mailcolors::Red);
        }
        if (const int held = fRecipients->PendingMarks(); held > 0)
            JobLine(QStringLiteral(" ") + QString::number(held)
                        + QStringLiteral(" gesendete Mail(s) sind noch nicht als gesendet markiert, weil ein anderes "
                                         "Programm die Datenbank belegt. Sie werden markiert, sobald sie frei ist."),
                    mailcolors::Red);
    }
    SetRunning(false);
    // Recipients of the job that were not sent, whatever the reason.
    const int notSent = std::max(0, m_jobRecipients - fSentMails);
    QString totals = QString::number(fSentMails) + QStringLiteral(" Mail(s) gesendet.");
    if (fFailedMails > 0 && notSent > 0)
        totals += QString::number(notSent) + QStringLiteral(" Mail(s) konnten nicht gesendet werden.");
    if (m_log) {
        m_log->AppendLine(QString());
        m_log->WriteToLog(totals, mailcolors::Blue);
    }
    if (OnJobClosed)
        OnJobClosed();
    emit JobClosed();
}

bool TMailingJob::QueryClose()
{
    if (!m_running)
        return true;
    if (!Ask(QStringLiteral("Es läuft noch ein Versand. Soll er abgebrochen und Quillory beendet werden?"),
             TQuestionButtons::YesNo))
        return false;
    AbortButtonClick();
    // A plain wait could deadlock against a worker inside its synchronous call.
    QEventLoop loop;
    connect(this, &TMailingJob::JobClosed, &loop, &QEventLoop::quit);
    if (m_running)
        loop.exec();
    return true;
}
