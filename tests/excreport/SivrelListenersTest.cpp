#include "excreport/SivrelListeners.h"
#include <QStringList>
#include <gtest/gtest.h>
#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>
#include <unistd.h>

using namespace excreport;

namespace {

class Listeners : public ::testing::Test {
protected:
    void TearDown() override
    {
        SivrelListeners().Clear();
        SivrelExceptionNotify = nullptr;
        SivrelActionNotify = nullptr;
        SivrelActionErrorNotify = nullptr;
        SivrelPublishRecord(nullptr);
    }
};

} // namespace

TEST_F(Listeners, EventsGoFromTheLastListenerToTheFirstThenToTheProcedure)
{
    TSivrelExceptionRecord record;
    record.LogText = "report";
    bool handled = true, flag = true;
    EXPECT_FALSE(HasExceptionNotify());
    EXPECT_FALSE(HasActionNotify());
    EXPECT_FALSE(HasActionErrorNotify());
    FireExceptionNotify(record, handled);
    FireActionNotify(record, atSavingLogFile, flag);
    EXPECT_TRUE(handled);
    EXPECT_TRUE(flag);

    QStringList calls;
    TSivrelListener first, second, quiet;
    first.ExceptionNotify = [&](const TSivrelExceptionRecord& r, bool& h) {
        calls << "first " + r.LogText + (h ? " handled" : " declined");
    };
    second.ExceptionNotify = [&](const TSivrelExceptionRecord&, bool& h) {
        calls << "second";
        h = false;
    };
    first.ActionNotify = [&](const TSivrelExceptionRecord&, int action, bool& execute) {
        calls << QStringLiteral("action %1").arg(action);
        execute = false;
    };
    second.ActionErrorNotify = [&](const TSivrelExceptionRecord&, int action, bool& retry) {
        calls << QStringLiteral("error %1").arg(action);
        retry = true;
    };
    SivrelListeners().Add(&first);
    SivrelListeners().Add(&quiet);
    SivrelListeners().Add(&second);
    EXPECT_TRUE(HasExceptionNotify());
    EXPECT_TRUE(HasActionNotify());
    EXPECT_TRUE(HasActionErrorNotify());
    SivrelExceptionNotify = [&](const TSivrelExceptionRecord&, bool& h) { calls << (h ? "procedure handled" : "procedure declined"); };

    FireExceptionNotify(record, handled);
    EXPECT_FALSE(handled);
    bool execute = true, retry = false;
    FireActionNotify(record, atSendingEmail, execute);
    FireActionErrorNotify(record, atSentEmail, retry);
    EXPECT_FALSE(execute);
    EXPECT_TRUE(retry);
    EXPECT_EQ(calls, QStringList({"second", "first report declined", "procedure declined", "action 4", "error 5"}));

    SivrelListeners().Remove(&first);
    SivrelListeners().Remove(&second);
    EXPECT_FALSE(HasActionNotify());
    EXPECT_TRUE(HasExceptionNotify()) << "the procedure is still set";
}

TEST_F(Listeners, CallsRunInTheThreadTheReportIsAbout)
{
    // Without a published report the call runs here; an exception from it is swallowed.
    pid_t ranIn = 0;
    RunInFaultingThread([&] { ranIn = gettid(); });
    EXPECT_EQ(ranIn, gettid());
    EXPECT_NO_THROW(RunInFaultingThread([] { throw std::runtime_error("listener"); }));

    // A faulting thread waits for its report and serves the queued calls.
    std::atomic<pid_t> faulting{0};
    std::atomic<bool> reportDone{false};
    std::atomic<int> served{0};
    std::thread waiting([&] {
        faulting = gettid();
        while (!reportDone) {
            served += SivrelServeListenerCall();
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    while (!faulting)
        std::this_thread::yield();
    TSivrelExceptionRecord record;
    record.ThreadId = static_cast<uint32_t>(faulting.load());
    SivrelPublishRecord(&record);
    std::thread report([&] {
        RunInFaultingThread([&] { ranIn = gettid(); });
        RunInFaultingThread([] { throw std::runtime_error("listener"); });
        reportDone = true;
    });
    report.join();
    waiting.join();
    EXPECT_EQ(ranIn, faulting.load());
    EXPECT_EQ(served, 2);
    EXPECT_FALSE(SivrelServeListenerCall()) << "nothing left in the slot";
}
