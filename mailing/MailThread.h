#pragma once
// The SMTP workers of a mailing. Each worker holds its own copy of the message template and its
// own SMTP client. It takes a small batch of recipients from the main thread, and for each one
// fills its copy, builds the mail from the template's prepared pieces, sends it and notes the
// outcome; the outcomes go back, in order, together with the request for the next batch, until
// no recipient is left or the worker is told to stop. The batch grows with the worker's pace
// (about 50 ms of mails, at most MaxBatch; one recipient in a scheduled mailing). Every call into
// the main thread goes through the job's synchronous call; a worker held by a scheduled pause
// waits on a condition.
#include "core/AssociativeArray.h"
#include "mailing/MyMessage.h"
#include "mailing/SmtpClient.h"

#include <QThread>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

class TMailingJob;

enum class TWorkerState { Created, Connecting, Running, Held, Ended };

// What a worker reports about one recipient, handed to the job in order.
struct TMailOutcome {
    enum Kind {
        Sent,      // the server took the mail: green line, status 1, progress
        ErrorLine, // a red line that counts one failure
        Done       // a failed recipient is finished: progress
    };
    Kind kind = Sent;
    QString email;  // Sent
    int id = 0;     // Sent: the row
    QString text;   // ErrorLine
};

// One bare address: no control characters or white space, none of <>,;:"()[]\ and exactly one
// "@" with text on both sides.
bool IsBareEmailAddress(const QString& address);

class TMailThread : public QThread {
    Q_OBJECT
public:
    // Main thread: logs the worker line "Initialisiert.".
    TMailThread(int number, TMailingJob* job);
    ~TMailThread() override;

    const int fNumber;
    // Most recipients taken at once (set by the job before the start).
    int MaxBatch = 32;

    // Starts the thread; a second call does nothing.
    void Start();
    void Terminate() { m_terminated = true; }
    bool Terminated() const { return m_terminated; }
    TWorkerState State() const;

    // Main thread, inside the worker's fetch call: the worker stays held once the call returns
    // (it disconnects its client and waits).
    void Hold();
    // Main thread: lets a held worker go on, connecting again first when reconnect is set.
    void Resume(bool reconnect);

protected:
    void run() override;  // the thread body (Execute)
    virtual void Connect() = 0;
    virtual void SendMails() = 0;
    virtual void DisconnectForPause() = 0;
    virtual void ReconnectAfterPause() = 0;
    virtual void ReleaseResources() = 0;

    void Sync(const std::function<void()>& call);
    // Hands the outcomes noted so far to the job and, when want > 0, takes up to want further
    // recipients into the queue (none: the list is done); then waits while held.
    void Exchange(int want);
    // The same without waiting (not for scheduled mailings, whose worker the job may hold): the
    // outcomes go to the job and up to want recipients are asked for, which arrive while the
    // worker sends. Does nothing while an earlier request is open or once the list is done.
    void RequestAhead(int want);
    // Waits for the open request (asking for want recipients first when none is open) and
    // appends what arrived to the queue; false when the list is done. An error of the main
    // thread's part is raised here.
    bool AwaitAhead(int want);
    // Waits until no request is open (before the worker ends).
    void SettleAhead();
    // Worker line: what + " Fehler: " + message in red; one failure counted. Goes to the job at
    // once, after the outcomes noted before it.
    void ReportError(const QString& what, const QString& message);
    // The same line noted for the next exchange.
    void NoteError(const QString& what, const QString& message);

    QList<TAssociativeArray> m_queue;  // recipients taken and not yet sent
    QList<TMailOutcome> m_outcomes;    // outcomes not yet handed to the job
    // Waits while the main thread holds the worker.
    void WaitWhileHeld();
    void SetState(TWorkerState state);

    TMailingJob* const m_job;

private:
    // Requests made ahead: filled by the main thread.
    std::mutex m_aheadMutex;
    std::condition_variable m_aheadWake;
    QList<TAssociativeArray> m_arrived;
    std::exception_ptr m_aheadError;
    bool m_requestOpen = false;
    bool m_listDone = false;

    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::atomic<bool> m_terminated{false};
    TWorkerState m_state = TWorkerState::Created;
    bool m_started = false;
    bool m_holdRequested = false;
    bool m_resumed = false;
    bool m_reconnectOnResume = false;

protected:
    const std::atomic<bool>& TerminatedFlag() const { return m_terminated; }
};

class TSMTPMailThread : public TMailThread {
    Q_OBJECT
public:
    TSMTPMailThread(int number, TMailingJob* job, const TMyMessage& templ,
                    std::shared_ptr<const TPreparedMessage> prepared, const QString& server,
                    const QString& user, const QString& password, bool authentication);
    ~TSMTPMailThread() override;

    // Replaces the client by a new, connected one; a failure logs the red "SMTP" line and
    // tells the worker to terminate.
    void Reconnect();

    std::unique_ptr<TMyMessage> fMessage;
    std::shared_ptr<const TPreparedMessage> fPrepared;  // null: each mail is serialised whole
    std::unique_ptr<TSmtpClient> fSMTP;
    const QString fServer;
    const QString fUser;
    const QString fPassword;
    const bool fAuthentication;

protected:
    void Connect() override { Reconnect(); }
    void SendMails() override;
    void DisconnectForPause() override;
    void ReconnectAfterPause() override;
    void ReleaseResources() override;
};
