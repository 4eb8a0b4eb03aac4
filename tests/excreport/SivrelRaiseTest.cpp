#include "excreport/SivrelHook.h"
#include "excreport/SivrelModules.h"
#include "excreport/SivrelRaise.h"
#include <gtest/gtest.h>
#include <cerrno>
#include <stdexcept>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace excreport;

namespace {

class RaiseHook : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(SivrelHookRaise(SivrelRedirectableModules()));
        SivrelSetRaiseActive(true);
    }
    void TearDown() override
    {
        SivrelSetRaiseActive(false);
        SivrelUnhookAll();
    }
};

int g_raiseLine = 0;

int g_destroyed = 0;
struct Counted : std::runtime_error {
    Counted() : std::runtime_error("counted") {}
    Counted(const Counted& o) = default;
    ~Counted() override { ++g_destroyed; }
};

__attribute__((noinline)) void RaiseCounted()
{
    g_raiseLine = __LINE__; throw Counted();
}

__attribute__((noinline)) std::exception_ptr CatchFrom(void (*raise)())
{
    try {
        raise();
    } catch (...) {
        return std::current_exception();
    }
    return nullptr;
}

__attribute__((noinline)) void RaiseFromLibrary()
{
    std::vector<int> v(1);
    static_cast<void>(v.at(3));
}

} // namespace

TEST_F(RaiseHook, TheThrownObjectCarriesItsRaisePlaceUntilItIsDestroyed)
{
    const int before = SivrelRaiseRecordCount();
    g_destroyed = 0;
    std::exception_ptr error = CatchFrom(&RaiseCounted);
    const auto record = SivrelRaiseRecord(error);
    ASSERT_TRUE(record);
    EXPECT_EQ(record->ThreadId, gettid());
    ASSERT_GE(record->Frames.size(), 2u);
    EXPECT_EQ(record->Frames.front(), record->ReturnAddress);

    TSivrelModulesList modules;
    const TSivrelDebugInfo raised = modules.GetDebugInfo(SivrelRaiseAddress(*record));
    EXPECT_EQ(raised.ProcedureName, "RaiseCounted");
    EXPECT_EQ(raised.Line, g_raiseLine);
    const TSivrelDebugInfo caller = modules.GetDebugInfo(record->Frames[1] - 1);
    EXPECT_EQ(caller.ProcedureName, "CatchFrom");

    // A re-raise elsewhere keeps the note of the first raise.
    std::exception_ptr again;
    std::thread([&] {
        try {
            std::rethrow_exception(error);
        } catch (...) {
            again = std::current_exception();
        }
    }).join();
    const auto kept = SivrelRaiseRecord(again);
    ASSERT_TRUE(kept);
    EXPECT_EQ(kept->ReturnAddress, record->ReturnAddress);
    EXPECT_EQ(kept->ThreadId, gettid());

    EXPECT_EQ(SivrelRaiseRecordCount(), before + 1);
    error = nullptr;
    again = nullptr;
    EXPECT_EQ(g_destroyed, 1) << "the object's own destructor runs once";
    EXPECT_EQ(SivrelRaiseRecordCount(), before) << "the note goes with the object";
}

TEST_F(RaiseHook, ThrowsInsideTheRuntimeAndSwitchingOff)
{
    const std::exception_ptr error = CatchFrom(&RaiseFromLibrary);
    const auto record = SivrelRaiseRecord(error);
    ASSERT_TRUE(record);
    TSivrelModulesList modules;
    bool throwerSeen = false;
    for (uintptr_t frame : record->Frames)
        throwerSeen = throwerSeen || modules.GetDebugInfo(frame - 1).ProcedureName == "RaiseFromLibrary";
    EXPECT_TRUE(throwerSeen);

    // The program's last error survives the note.
    errno = EDOM;
    const std::exception_ptr again = CatchFrom(&RaiseCounted);
    EXPECT_EQ(errno, EDOM);
    EXPECT_TRUE(SivrelRaiseRecord(again));

    SivrelSetRaiseActive(false);
    const std::exception_ptr unnoted = CatchFrom(&RaiseCounted);
    EXPECT_FALSE(SivrelRaiseRecord(unnoted));
    EXPECT_FALSE(SivrelRaiseRecord(std::make_exception_ptr(std::runtime_error("made, not thrown"))));
}
