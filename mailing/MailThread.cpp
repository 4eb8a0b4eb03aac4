#include "mailing/MailThread.h"

#include "mailing/MailingJob.h"
#include "mailing/MailingLog.h"

#include <QCoreApplication>
#include <algorithm>
#include <chrono>

namespace {

QString RecordValue(const TAssociativeArray& record, const QString& key)
{
    const int i = record.IndexOfKey(key);
    return i < 0 ? QString() : record.ValueAt(i);
}

// Trims blanks and control characters at both ends.
QString TrimControls(const QString& s)
{
    qsizetype b = 0, e = s.size();
    while (b < e && s.at(b).unicode() <= 0x20)
        ++b;
    while (e > b && s.at(e - 1).unicode() <= 0x20)
        --e;
    return s.mid(b, e - b);
}

} // namespace

bool IsBareEmailAddress(const QString& address)
{
    static const QString forbidden = QStringLiteral("<>,;:\"()[]\\");
    int at = -1;
    for (int i = 0; i < address.size(); ++i) {
        const QChar c = address.at(i);
        if (c.unicode() < 0x20 || c.unicode() == 0x7f || c.isSpace() || forbidden.contains(c))
            return false;
        if (c == QLatin1Char('@')) {
            if (at >= 0)
                return false;
            at = i;
        }
    }
    return at > 0 && at < address.size() - 1;
}

// ---- TMailThread -----------------------------------------------------------------------------

TMailThread::TMailThread(int number, TMailingJob* job) : fNumber(number), m_job(job)
{
    m_job->WorkerLine(fNumber, QStringLiteral("Initialisiert."), mailcolors::Blue);
}

TMailThread::~TMailThread()
{
    wait();
}

void TMailThread::Start()
{
    {
        std::lock_guard lock(m_mutex);
        if (m_started)
            return;
        m_started = true;
    }
    start();
}

TWorkerState TMailThread::State() const
{
    std::lock_guard lock(m_mutex);
    return m_state;
}

void TMailThread::SetState(TWorkerState state)
{
    std::lock_guard lock(m_mutex);
    m_state = state;
}

void TMailThread::Hold()
{
    std::lock_guard lock(m_mutex);
    m_holdRequested = true;
    m_resumed = false;
    m_state = TWorkerState::Held;
}

void TMailThread::Resume(bool reconnect)
{
    {
        std::lock_guard lock(m_mutex);
        if (!m_holdRequested)
            return;
        m_resumed = true;
        m_reconnectOnResume = reconnect;
    }
    m_wake.notify_all();
}

void TMailThread::Sync(const std::function<void()>& call)
{
    m_job->Sync(call);
}

void TMailThread::Exchange(int want)
{
    QList<TAssociativeArray> batch;
    Sync([&] {
        const QList<TMailOutcome> outcomes = std::move(m_outcomes);
        m_outcomes.clear();
        m_job->TakeOutcomes(this, outcomes);
        if (want > 0)
            m_job->HandOut(this, want, batch);
    });
    m_queue.append(batch);
    WaitWhileHeld();
}

void TMailThread::RequestAhead(int want)
{
    {
        std::lock_guard lock(m_aheadMutex);
        if (m_requestOpen || m_listDone)
            return;
        m_requestOpen = true;
    }
    QList<TMailOutcome> outcomes = std::move(m_outcomes);
    m_outcomes.clear();
    TMailingJob* job = m_job;
    // Queued to the application object like the synchronous calls, so both keep their order.
    const bool posted = QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [this, job, outcomes = std::move(outcomes), want] {
            QList<TAssociativeArray> batch;
            std::exception_ptr error;
            try {
                job->TakeOutcomes(this, outcomes);
                job->HandOut(this, want, batch);
            } catch (...) {
                error = std::current_exception();
            }
            {
                std::lock_guard lock(m_aheadMutex);
                m_arrived.append(batch);
                if (batch.isEmpty() || error)
                    m_listDone = true;
                m_aheadError = error;
                m_requestOpen = false;
            }
            m_aheadWake.notify_all();
        },
        Qt::QueuedConnection);
    if (!posted) {
        std::lock_guard lock(m_aheadMutex);
        m_requestOpen = false;
        m_listDone = true;
    }
}

bool TMailThread::AwaitAhead(int want)
{
    RequestAhead(want);
    std::exception_ptr error;
    {
        std::unique_lock lock(m_aheadMutex);
        m_aheadWake.wait(lock, [this] { return !m_requestOpen; });
        m_queue.append(m_arrived);
        m_arrived.clear();
        std::swap(error, m_aheadError);
    }
    if (error)
        std::rethrow_exception(error);
    return !m_queue.isEmpty();
}

void TMailThread::SettleAhead()
{
    std::unique_lock lock(m_aheadMutex);
    m_aheadWake.wait(lock, [this] { return !m_requestOpen; });
    m_arrived.clear();
}

void TMailThread::ReportError(const QString& what, const QString& message)
{
    NoteError(what, message);
    Exchange(0);
}

void TMailThread::NoteError(const QString& what, const QString& message)
{
    TMailOutcome outcome;
    outcome.kind = TMailOutcome::ErrorLine;
    outcome.text = what + QStringLiteral(" Fehler: ") + message;
    m_outcomes.append(outcome);
}

void TMailThread::WaitWhileHeld()
{
    {
        std::lock_guard lock(m_mutex);
        if (!m_holdRequested)
            return;
    }
    DisconnectForPause();
    bool reconnect = false;
    {
        std::unique_lock lock(m_mutex);
        m_wake.wait(lock, [this] { return m_resumed; });
        m_holdRequested = false;
        m_resumed = false;
        reconnect = m_reconnectOnResume;
        m_state = TWorkerState::Running;
    }
    if (reconnect && !Terminated())
        ReconnectAfterPause();
}

void TMailThread::run()
{
    try {
        SetState(TWorkerState::Connecting);
        if (!Terminated())
            Connect();
        if (!Terminated()) {
            SetState(TWorkerState::Running);
            SendMails();
        }
    } catch (const std::exception& e) {
        const QString text = QString::fromUtf8(e.what());
        try {
            ReportError(QStringLiteral("Thread"), text);
        } catch (...) {
        }
    } catch (...) {
        try {
            ReportError(QStringLiteral("Thread"), QStringLiteral("Unbekannter Fehler"));
        } catch (...) {
        }
    }
    // A request still open is answered before the worker ends (the answer refers to it).
    SettleAhead();
    // Outcomes not handed over yet (the sent marks above all) are never dropped.
    if (!m_outcomes.isEmpty()) {
        try {
            Exchange(0);
        } catch (...) {
        }
    }
    try {
        ReleaseResources();
    } catch (...) {
    }
    SetState(TWorkerState::Ended);
}

// ---- TSMTPMailThread -------------------------------------------------------------------------

TSMTPMailThread::TSMTPMailThread(int number, TMailingJob* job, const TMyMessage& templ,
                                 std::shared_ptr<const TPreparedMessage> prepared, const QString& server,
                                 const QString& user, const QString& password, bool authentication)
    : TMailThread(number, job), fMessage(std::make_unique<TMyMessage>()), fPrepared(std::move(prepared)),
      fServer(server), fUser(user), fPassword(password), fAuthentication(authentication)
{
    fMessage->Assign(templ);
}

TSMTPMailThread::~TSMTPMailThread()
{
    wait();
}

void TSMTPMailThread::Reconnect()
{
    fSMTP.reset();
    try {
        auto client = std::make_unique<TSmtpClient>();
        if (fAuthentication) {
            client->Authenticate = true;
            client->Username = fUser;
            client->Password = fPassword;
        }
        const TSmtpServer server = ParseSmtpServer(fServer);
        client->Host = server.Host;
        client->Port = server.Port;
        client->ConnectTimeoutSeconds = m_job->ConnectTimeoutSeconds;
        client->LowSpeedTimeSeconds = m_job->LowSpeedTimeSeconds;
        // An abort gives up a connect that hangs and a send in progress (also one whose data
        // went out while the server's reply is still awaited).
        client->Cancel = &TerminatedFlag();
        fSMTP = std::move(client);
        fSMTP->Connect();
        Sync([this] { m_job->SmtpConnected(); });
    } catch (const std::exception& e) {
        const bool cancelled = Terminated();
        fSMTP.reset();
        if (!cancelled)
            ReportError(QStringLiteral("SMTP"), QString::fromUtf8(e.what()));
        Terminate();
    }
}

void TSMTPMailThread::SendMails()
{
    using Clock = std::chrono::steady_clock;
    constexpr double BatchTargetMs = 50;
    double msPerMail = -1;  // the worker's pace, a running average
    auto want = [&] {
        if (msPerMail < 0)
            return 1;
        return std::clamp(int(BatchTargetMs / std::max(msPerMail, 0.05)), 1, std::max(1, MaxBatch));
    };
    auto paced = [&](Clock::time_point started) {
        const double ms = std::chrono::duration<double, std::milli>(Clock::now() - started).count();
        msPerMail = msPerMail < 0 ? ms : 0.8 * msPerMail + 0.2 * ms;
    };
    // A failed recipient: the red line, a new connection unless the address was the fault.
    auto failed = [&](const QString& email, const QString& error, bool badAddress) {
        NoteError(CleanHeaderValue(email), QStringLiteral("Could not send message. ") + TrimControls(error));
        if (!badAddress)
            Reconnect();
        TMailOutcome done;
        done.kind = TMailOutcome::Done;
        m_outcomes.append(done);
    };
    auto errorText = [](const std::exception& e) {
        const auto* smtp = dynamic_cast<const ESmtpError*>(&e);
        QString text = smtp ? smtp->Message : QString::fromUtf8(e.what());
        return text.isEmpty() ? QStringLiteral("Unbekannter Fehler") : text;
    };
    // The mail whose data went out: its answer is read once the next mail is built (the server
    // works on it meanwhile), and always before the worker talks to the main thread.
    struct InFlight {
        bool active = false;
        QString email;
        int id = 0;
        Clock::time_point started;
    } inFlight;
    bool cancelled = false;  // given up by the abort: no failure, the row stays unsent
    auto finishInFlight = [&] {
        if (!inFlight.active)
            return;
        inFlight.active = false;
        QString error;
        try {
            fSMTP->FinishSend();
        } catch (const std::exception& e) {
            const auto* smtp = dynamic_cast<const ESmtpError*>(&e);
            if (smtp && smtp->Cancelled && Terminated()) {
                cancelled = true;
                return;
            }
            error = errorText(e);
        }
        if (error.isNull()) {
            TMailOutcome outcome;
            outcome.kind = TMailOutcome::Sent;
            outcome.email = inFlight.email;
            outcome.id = inFlight.id;
            m_outcomes.append(outcome);
        } else {
            failed(inFlight.email, error, false);
        }
        paced(inFlight.started);
    };

    fMessage->Recipients = {TMailAddress()};
    QList<QByteArray> pieces;
    // A scheduled mailing takes each recipient with a synchronous call (the job may hold the
    // worker there); otherwise the next batch is asked for while the current one is sent.
    const bool ahead = MaxBatch > 1;
    Exchange(1);
    for (;;) {
        if (ahead && !Terminated() && m_queue.size() <= want() / 2)
            RequestAhead(want());
        if (m_queue.isEmpty()) {
            finishInFlight();
            if (cancelled || Terminated())
                break;
            if (ahead ? !AwaitAhead(want()) : (Exchange(want()), m_queue.isEmpty()))
                break;
        }
        const Clock::time_point started = Clock::now();
        const TAssociativeArray recipient = m_queue.takeFirst();
        if (Terminated())
            break;
        // With a prepared template the record is filled while the mail is built.
        if (!fPrepared)
            FillPlaceholders(*fMessage, recipient);
        const QString email = RecordValue(recipient, QStringLiteral("Email")).trimmed();
        const QString lastName = RecordValue(recipient, QStringLiteral("Last Name"));
        TMailAddress& to = fMessage->Recipients[0];
        to.Address = email;
        to.Name = lastName.isEmpty()
                      ? QString()
                      : RecordValue(recipient, QStringLiteral("First Name")) + QLatin1Char(' ') + lastName;

        QString error;
        bool badAddress = false;
        const QString from = CleanHeaderValue(fMessage->From.Address).trimmed();
        if (!IsBareEmailAddress(email)) {
            badAddress = true;
            error = QStringLiteral("Ungültige E-Mail-Adresse.");
        } else {
            try {
                if (fPrepared)
                    fPrepared->FillAndBuild(*fMessage, recipient, pieces);
                else
                    pieces = {fMessage->SerializeShared()};
            } catch (const std::exception& e) {
                error = errorText(e);
            }
        }
        fMessage->RestoreTemplates();
        // A pipelining server gets this mail's envelope with the previous mail's end.
        bool envelopeAhead = false;
        if (error.isNull() && inFlight.active && fSMTP && !Terminated())
            envelopeAhead = fSMTP->SendEnvelopeAhead(from, {email}, pieces);
        // The previous mail's outcome comes first; a failed reconnect ends the worker.
        finishInFlight();
        if (cancelled || Terminated())
            break;
        if (error.isNull()) {
            try {
                if (!fSMTP)
                    throw std::runtime_error("Keine Verbindung zum SMTP Server.");
                // after a failure of the previous mail the envelope went with the old connection
                if (envelopeAhead && fSMTP->EnvelopeAhead())
                    fSMTP->ContinueSend(pieces);
                else
                    fSMTP->BeginSend(from, {email}, pieces);
                inFlight = InFlight{true, email, RecordValue(recipient, QStringLiteral("_ID")).toInt(), started};
            } catch (const std::exception& e) {
                const auto* smtp = dynamic_cast<const ESmtpError*>(&e);
                if (smtp && smtp->Cancelled && Terminated())
                    cancelled = true;
                else
                    error = errorText(e);
            }
        }
        pieces.clear();
        if (cancelled)
            break;
        if (!error.isNull()) {
            failed(email, error, badAddress);
            paced(started);
        }
    }
    // After an abort: an answer that has already arrived still counts.
    if (!cancelled)
        finishInFlight();
    SettleAhead();
    m_queue.clear();
    if (!m_outcomes.isEmpty())
        Exchange(0);
}

void TSMTPMailThread::DisconnectForPause()
{
    if (fSMTP && fSMTP->Connected())
        fSMTP->Disconnect();
}

void TSMTPMailThread::ReconnectAfterPause()
{
    Reconnect();
    // A failed reconnection has written its red line and ends the worker: nothing was restored.
    if (fSMTP && fSMTP->Connected())
        Sync([this] { m_job->WorkerResumed(this); });
}

void TSMTPMailThread::ReleaseResources()
{
    fSMTP.reset();
    fMessage.reset();
}
