#pragma once
// A mailing ("job"): the checks and questions of the send button, the template built and
// prepared once, the workers started, recipients handed out in small batches, each outcome
// recorded in its worker's order, the pause and resume of a
// scheduled mailing, the abort, and the close with its totals. Everything here runs in the main
// thread; workers reach it only through the synchronous call.
//
// The job reads the window through small interfaces so that it does not depend on the main
// window: the mail content, the sender settings, a recipient cursor factory, the log, the
// progress bar, a schedule timer and a few event properties.
#include "core/AssociativeArray.h"
#include "mailing/MailingLog.h"
#include "mailing/MyMessage.h"
#include "platform/app/Synchronize.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <array>
#include <functional>
#include <memory>

class QProgressBar;
class QTimer;
class TMailThread;
struct TMailOutcome;
class TPreparedMessage;

// Hands a call to the main thread and waits for it (direct when already there).
using TSynchronize = std::function<void(const std::function<void()>&)>;

// The mail's content as the content page holds it.
class IMailContent {
public:
    virtual ~IMailContent() = default;
    virtual QString Subject() const = 0;
    virtual QString PlainBody() const = 0;
    virtual bool SignatureOn() const = 0;
    virtual QString Signature() const = 0;
    virtual bool HtmlMode() const = 0;
    virtual QString Html() const = 0;
    virtual QStringList AttachmentPaths() const = 0;
};

// The sender page's settings, read when the job starts and at every scheduled block.
struct TSenderSettings {
    QString From;
    QString Name;
    QString ReplyTo;
    QString SmtpServer;
    QString UserName;
    QString Password;
    bool Authentication = false;
    bool Scheduled = false;        // scheduled mode; parallel otherwise
    int Threads = 1;               // parallel workers, 1..64
    int ScheduledMails = 1;        // mails per block
    double ScheduledMinutes = 1;   // pause between blocks
};

// The send cursor over the open list's rows with status 0.
class IRecipientCursor {
public:
    virtual ~IRecipientCursor() = default;
    // Fills the record with the next row to send; an empty record when none is left.
    virtual void NextRecipient(TAssociativeArray& record) = 0;
    virtual void SetStatus(int id, int status) = 0;
    // A fresh count of the table's rows with status 0.
    virtual int RowsToSent() = 0;
    // Makes every status set so far permanent (the job calls it when it closes).
    virtual void Flush() {}
    // Statuses set but not yet written (another program held the database).
    virtual int PendingMarks() const { return 0; }
    // Raised when statuses held back by a busy database were written late: how many.
    std::function<void(int count)> OnLateMarks;
};

// The timer of the scheduled pause.
class IScheduleTimer {
public:
    virtual ~IScheduleTimer() = default;
    virtual void Start(int intervalMs) = 0;
    virtual void Stop() = 0;
    virtual bool Active() const = 0;
    std::function<void()> OnTimer;
};

enum class TQuestionButtons { YesNo, OkCancel };
enum class TSenderField { From, SmtpServer };

class TMailingJob : public QObject {
    Q_OBJECT
public:
    TMailingJob(TMailingLog* log, QProgressBar* progressBar, QObject* parent = nullptr);
    ~TMailingJob() override;

    // ---- wiring ----
    IMailContent* Content = nullptr;
    std::function<TSenderSettings()> SenderSettings;
    std::function<std::unique_ptr<IRecipientCursor>()> OpenRecipients;
    TSynchronize Synchronize = &platform::Synchronize;
    // Builds the HTML layout of the template (HTML mode); raises on failure.
    std::function<void(TMyMessage& message, const QString& html, int attachmentCount)> BuildHtmlMessage;
    std::function<void(const QString& text)> ShowMessage;
    // True for Yes or OK.
    std::function<bool(const QString& text, TQuestionButtons buttons)> AskQuestion;
    std::function<void(TSenderField focus)> OnShowSenderPage;  // back to the sender page
    std::function<void()> OnShowMailingPage;    // mailing page shown, status text emptied
    std::function<void()> OnAllStepsGreen;      // the four step state images
    std::function<void(bool running)> OnRunningChanged;  // send button off, abort button on
    std::function<void(int imageIndex)> OnStatusImage;   // first status bar panel
    std::function<void()> OnJobClosed;          // grid requery, list save button
    void SetScheduleTimer(std::unique_ptr<IScheduleTimer> timer);
    IScheduleTimer* ScheduleTimer() const { return m_timer.get(); }
    long ConnectTimeoutSeconds = 30;
    long LowSpeedTimeSeconds = 120;

    // ---- commands ----
    void SpeedButtonSendMailClick();
    void ButtonSendMailClick();
    void AbortButtonClick();
    void ResumeScheduledMailing();
    // Closing the main window: false keeps it open. During a mailing asks whether to abort;
    // Yes aborts and serves the event loop until every worker has ended.
    bool QueryClose();

    // ---- state ----
    bool Running() const { return m_running; }
    int SentMails() const { return fSentMails; }
    int FailedMails() const { return fFailedMails; }
    int WorkersCreated() const { return m_workersCreated; }
    int RunningThreads() const { return m_runningThreads; }
    TMailingLog* Log() const { return m_log; }

    // ---- called by the workers, in the main thread ----
    void Sync(const std::function<void()>& call);
    void WorkerLine(int number, const QString& text, const QColor& color);
    void JobLine(const QString& text, const QColor& color);
    void getReceipient(TAssociativeArray& record);
    // Up to count recipients for the worker (fewer when the list ends or a scheduled block is
    // full and the worker is held).
    void HandOut(TMailThread* worker, int count, QList<TAssociativeArray>& batch);
    // A worker's outcomes, in the order they happened: log lines, progress, sent marks, counts.
    void TakeOutcomes(TMailThread* worker, const QList<TMailOutcome>& outcomes);
    void SmtpConnected();
    void WorkerResumed(TMailThread* worker);

signals:
    void JobClosed();

private:
    int GetThreadCount(int rowsToSend) const;
    void StartSMTPThreads();
    void ConnectAndResumeWorker(TMailThread* worker);
    void CheckScheduledPause();
    void PauseThread(TMailThread* worker);
    void ThreadTerminated(TMailThread* worker);
    void CloseJob();
    void WriteAbortLine();
    void SetRunning(bool running);
    bool Ask(const QString& text, TQuestionButtons buttons);
    void Notify(const QString& text);
    void BuildTemplate(const TSenderSettings& sender);

    QPointer<TMailingLog> m_log;
    QPointer<QProgressBar> m_progress;
    std::unique_ptr<IScheduleTimer> m_timer;

    int fRoundCount = 0;
    std::unique_ptr<TMyMessage> fMessage;
    std::shared_ptr<const TPreparedMessage> m_prepared;
    int fFailedMails = 0;
    int fSentMails = 0;
    std::array<TMailThread*, 65> fThreads{};
    std::unique_ptr<IRecipientCursor> fRecipients;
    int m_runningThreads = 0;
    int m_threadCount = 0;
    bool m_aborted = false;
    bool m_abortLinePending = false;  // aborted; the line waits for the workers' last outcomes
    QString m_abortLine;
    QList<std::pair<QString, QColor>> m_heldEndLines;  // workers' "beendet." lines meanwhile
    bool m_running = false;
    bool m_starting = false;
    int m_jobRecipients = 0;  // rows to send when the job started (the progress bar's maximum)
    int m_workersCreated = 0;
    TSenderSettings m_sender;
};
