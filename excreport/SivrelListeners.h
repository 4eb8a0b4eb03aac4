#pragma once
// Listeners of a report: objects in the listener list and three process-wide procedures, which
// may cancel a report, skip or repeat single actions and veto the termination. Their events run
// in the thread the report is about, which serves them while it waits for the report.
#include "excreport/SivrelLists.h"
#include <functional>
#include <vector>

namespace excreport {

// The actions of a report that listeners hear about.
enum TSivrelAction : int {
    atShowingException = 0,  // before the report is shown
    atShowedException = 1,   // after it was shown
    atSavingLogFile = 2,     // before the log is written
    atSavedLogFile = 3,      // after the log was written (the error event: writing failed)
    atSendingEmail = 4,      // before the mail is sent
    atSentEmail = 5,         // after the mail was sent (the error event: sending failed)
    atTerminating = 6,       // the user asked to terminate or restart; clearing the flag vetoes
};

using TSivrelExceptionNotify = std::function<void(const TSivrelExceptionRecord& record, bool& handled)>;
using TSivrelActionNotify = std::function<void(const TSivrelExceptionRecord& record, int action, bool& flag)>;

// A listener: each event may be empty.
struct TSivrelListener {
    TSivrelExceptionNotify ExceptionNotify;
    TSivrelActionNotify ActionNotify;      // flag: Execute (action 6: TerminateRequested)
    TSivrelActionNotify ActionErrorNotify; // flag: Retry
};

// The listener list: listeners are not owned.
class TSivrelLogList {
public:
    int Count() const { return static_cast<int>(m_items.size()); }
    TSivrelListener* Items(int index) const { return m_items.at(static_cast<size_t>(index)); }
    void Add(TSivrelListener* listener) { m_items.push_back(listener); }
    void Remove(TSivrelListener* listener) { std::erase(m_items, listener); }
    void Delete(int index) { m_items.erase(m_items.begin() + index); }
    void Clear() { m_items.clear(); }

private:
    std::vector<TSivrelListener*> m_items;
};

// The process's listener list (made by the activation) and the three procedures.
TSivrelLogList& SivrelListeners();
extern TSivrelExceptionNotify SivrelExceptionNotify;
extern TSivrelActionNotify SivrelActionNotify;
extern TSivrelActionNotify SivrelActionErrorNotify;

bool HasExceptionNotify();
bool HasActionNotify();
bool HasActionErrorNotify();
// Each listener with the event set, from the last to the first, then the procedure when set.
void FireExceptionNotify(const TSivrelExceptionRecord& record, bool& handled);
// The same with a copy of the record.
void FireActionNotify(const TSivrelExceptionRecord& record, int action, bool& execute);
void FireActionErrorNotify(const TSivrelExceptionRecord& record, int action, bool& retry);

// The record of the report in progress, published for the listeners (nullptr when none).
void SivrelPublishRecord(const TSivrelExceptionRecord* record);
const TSivrelExceptionRecord* SivrelPublishedRecord();

// The thread that waits for the published report: the faulting thread itself, or the thread that
// stands in for it (a crashed thread's fault, the freeze watch). 0 means the record's ThreadId.
void SivrelSetWaitingThread(pid_t thread);
pid_t SivrelWaitingThread();

// Runs the procedure in the thread that waits for the published report: queued for it, and run
// in SivrelServeListenerCall while the caller waits in steps of 10 ms. Without a published
// report, or in that thread itself, it runs here. An exception from it is swallowed.
void RunInFaultingThread(const std::function<void()>& procedure);
// Called by the thread that waits for its report: runs a call queued for it. True when one ran.
bool SivrelServeListenerCall();

} // namespace excreport
