#pragma once
// The SMTP workers of a mailing. Each worker holds its own copy of the message template and its
// own SMTP client, asks the main thread for one recipient at a time, fills its copy, sends it,
// reports the outcome and puts the copy back, until no recipient is left or it is told to stop.
// Every call into the main thread goes through the job's synchronous call; a worker held by a
// scheduled pause waits on a condition.
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
    TAssociativeArray fRecipient;  // written by the main thread only while the worker waits
    QString fErrorText;

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
    void FetchRecipient();
    // Worker line: what + " Fehler: " + message in red; one failure counted.
    void ReportError(const QString& what, const QString& message);
    // Waits while the main thread holds the worker.
    void WaitWhileHeld();
    void SetState(TWorkerState state);

    TMailingJob* const m_job;

private:
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
    TSMTPMailThread(int number, TMailingJob* job, const TMyMessage& templ, const QString& server,
                    const QString& user, const QString& password, bool authentication);
    ~TSMTPMailThread() override;

    // Replaces the client by a new, connected one; a failure logs the red "SMTP" line and
    // tells the worker to terminate.
    void Reconnect();

    std::unique_ptr<TMyMessage> fMessage;
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
