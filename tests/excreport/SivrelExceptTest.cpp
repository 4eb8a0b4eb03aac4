#include "excreport/SivrelExcept.h"
#include "excreport/SivrelModules.h"
#include "excreport/SivrelStream.h"
#include "excreport/SivrelSupport.h"
#include <gtest/gtest.h>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace excreport;

namespace {

std::atomic<int> g_starts{0}, g_stops{0};

// The process's module list and a counting freeze watch for one test.
class ReporterState : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_starts = g_stops = 0;
        SivrelSetFreezeControl({[] { ++g_starts; }, [] { ++g_stops; }});
    }
    void TearDown() override
    {
        SivrelSetFreezeControl({});
        SivrelFreeModules();
        UnlinkSharedBlock(SivrelThisModule());
    }
};

bool BlockExists(uintptr_t handle, pid_t pid)
{
    const int fd = shm_open(SharedBlockName(handle, pid).toLatin1().constData(), O_RDONLY, 0);
    if (fd < 0)
        return false;
    ::close(fd);
    return true;
}

} // namespace

TEST_F(ReporterState, CurrentOptionsNeedTheModuleList)
{
    const auto expectAssertion = [] {
        try {
            CurrentSivrelLogOptions();
            ADD_FAILURE() << "no assertion";
        } catch (const EAssertionFailed& e) {
            EXPECT_EQ(e.Message(), "Cannot use 'CurrentSivrelLogOptions' function without SivrelLog activate.");
        }
    };
    expectAssertion();

    SivrelCreateModules();
    const auto options = CurrentSivrelLogOptions();
    EXPECT_EQ(options->ModuleName(), SivrelThisModuleFileName());
    EXPECT_TRUE(options->Bound());
    EXPECT_EQ(options->EmailSubject(), "Test program") << "read from this program's data block";
    EXPECT_EQ(CurrentSivrelLogOptions(), options);
    EXPECT_EQ(SivrelCreateModules(), SivrelModules()) << "made once";

    // The entry outlives a refresh that drops it.
    SivrelModules()->Clear();
    EXPECT_EQ(options->EmailSubject(), "Test program");
    EXPECT_NE(CurrentSivrelLogOptions(), options) << "made again";

    SivrelFreeModules();
    expectAssertion();
}

TEST_F(ReporterState, ThisModulesSwitchesStartAndStopTheFreezeWatch)
{
    SivrelCreateModules();
    const auto options = CurrentSivrelLogOptions();
    ASSERT_TRUE(options->Active());
    ASSERT_FALSE(options->FreezeActive());
    // Each step: which switch, its value, and the starts and stops so far.
    const struct {
        bool freeze, value;
        int starts, stops;
    } steps[] = {
        {true, true, 1, 0},    // FreezeActive on while Active: start
        {true, true, 1, 0},    // unchanged: nothing
        {false, false, 1, 1},  // Active off: stop
        {true, false, 1, 2},   // FreezeActive off: stop
        {false, true, 1, 3},   // Active on without FreezeActive: stop
        {true, true, 2, 3},    // FreezeActive on: start
        {false, true, 2, 3},   // Active unchanged: nothing
    };
    for (const auto& s : steps) {
        if (s.freeze)
            options->SetFreezeActive(s.value);
        else
            options->SetActive(s.value);
        EXPECT_EQ(g_starts, s.starts) << (s.freeze ? "FreezeActive " : "Active ") << s.value;
        EXPECT_EQ(g_stops, s.stops) << (s.freeze ? "FreezeActive " : "Active ") << s.value;
    }

    // The change is published in this module's shared block.
    auto block = OpenSharedBlock(SivrelThisModule(), 0);
    ASSERT_TRUE(block);
    ASSERT_GE(block->DataSize(), 1u);
    EXPECT_EQ(block->Data()[0], 1);
    TSivrelStream read(QByteArray(reinterpret_cast<const char*>(block->Data()) + 1, qsizetype(block->DataSize() - 1)));
    TSivrelModuleOptions back("", false);
    back.LoadFromStream(read, SivrelDataVersion);
    EXPECT_TRUE(back.FreezeActive());
    CloseSharedBlock(*block);

    // Other options objects, even bound to this module, only store.
    TSivrelModuleOptionsEx other(SivrelThisModuleFileName(), true);
    other.SetFreezeActive(true);
    other.SetActive(false);
    other.SetActive(true);
    TSivrelModuleOptionsEx working(QString(), false);
    working.SetFreezeActive(true);
    EXPECT_EQ(g_starts, 2);
    EXPECT_EQ(g_stops, 3);
    EXPECT_TRUE(other.FreezeActive());
    EXPECT_TRUE(working.FreezeActive());
}

TEST_F(ReporterState, StartFreezeDetectorFollowsThisModulesFreezeActive)
{
    StartFreezeDetector();
    EXPECT_EQ(g_starts, 0) << "no module list";
    SivrelCreateModules();
    StartFreezeDetector();
    EXPECT_EQ(g_starts, 0) << "FreezeActive is off by default";
    CurrentSivrelLogOptions()->SetFreezeActive(true);
    g_starts = 0;
    StartFreezeDetector();
    EXPECT_EQ(g_starts, 1);
    StopFreezeDetector();
    EXPECT_EQ(g_stops, 1);
}

TEST_F(ReporterState, OwnSharedBlockIsRemovedOnCloseAndOnAFatalSignal)
{
    const uintptr_t self = SivrelThisModule();
    ASSERT_TRUE(SivrelCreateOwnSharedBlock());
    auto block = OpenSharedBlock(self, 0);
    ASSERT_TRUE(block);
    EXPECT_EQ(block->DataSize(), 1u);
    EXPECT_EQ(block->Data()[0], 0) << "nothing published";
    CloseSharedBlock(*block);
    SivrelCloseOwnSharedBlock();
    EXPECT_FALSE(BlockExists(self, getpid()));

    // A child that crashes: its handler removes the block before the signal ends it. A child
    // without the handler leaves its block behind, which shows that the check can fail.
    for (const bool handled : {true, false}) {
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            if (!SivrelCreateOwnSharedBlock())
                _exit(3);
            if (handled) {
                struct sigaction sa {};
                sa.sa_handler = [](int sig) {
                    SivrelUnlinkOwnSharedBlockFromSignal();
                    signal(sig, SIG_DFL);
                    raise(sig);
                };
                sigaction(SIGSEGV, &sa, nullptr);
            }
            raise(SIGSEGV);
            _exit(4);
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFSIGNALED(status)) << status;
        EXPECT_EQ(WTERMSIG(status), SIGSEGV);
        EXPECT_EQ(BlockExists(self, child), !handled) << (handled ? "handled" : "not handled");
        shm_unlink(SharedBlockName(self, child).toLatin1().constData());
    }

    // A forked child never removes its parent's block.
    ASSERT_TRUE(SivrelCreateOwnSharedBlock());
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        SivrelUnlinkOwnSharedBlockFromSignal();
        _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(BlockExists(self, getpid()));
    SivrelCloseOwnSharedBlock();
}

TEST(SivrelThreadsList, LookUpsGoFromTheLastRecordAndRemoveCurrentThreadTakesOnlyTheCaller)
{
    TSivrelThreadsList list;
    int objects[2];
    const auto add = [&](pid_t id, pthread_t handle, void* object) {
        auto r = std::make_unique<TSivrelThreadRecord>();
        r->ThreadId = id;
        r->ThreadHandle = handle;
        r->ThreadObject = object;
        list.Add(std::move(r));
    };
    const pthread_t self = pthread_self();
    add(100, pthread_t(1), &objects[0]);
    add(200, self, &objects[1]);
    add(100, pthread_t(3), &objects[0]);
    EXPECT_EQ(list.IndexOfId(100), 2);
    EXPECT_EQ(list.IndexOfId(200), 1);
    EXPECT_EQ(list.IndexOfId(300), -1);
    EXPECT_EQ(list.IndexOfHandle(self), 1);
    EXPECT_EQ(list.IndexOfHandle(pthread_t(4)), -1);
    EXPECT_EQ(list.IndexOfObject(&objects[0]), 2);
    EXPECT_EQ(list.IndexOfObject(nullptr), -1);

    // Threads add their own records and remove them while others do the same.
    std::vector<std::thread> threads;
    std::atomic<int> failures{0};
    for (int t = 0; t < 8; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 200; ++i) {
                {
                    std::lock_guard lock(list.Mutex());
                    auto r = std::make_unique<TSivrelThreadRecord>();
                    r->ThreadId = gettid();
                    r->CreatorFrames.assign(16, 1);
                    list.Add(std::move(r));
                }
                list.RemoveCurrentThread();
                std::lock_guard lock(list.Mutex());
                if (list.IndexOfId(gettid()) >= 0)
                    ++failures;
            }
        });
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(failures, 0);
    EXPECT_EQ(list.Count(), 3) << "the three records above stay";
    list.RemoveCurrentThread();
    EXPECT_EQ(list.Count(), 3) << "the test thread has no record";
}
