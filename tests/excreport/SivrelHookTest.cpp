#include "excreport/SivrelHook.h"
#include "excreport/SivrelModules.h"
#include <gtest/gtest.h>
#include <atomic>
#include <dlfcn.h>
#include <map>
#include <pthread.h>
#include <stdexcept>
#include <thread>
#include <typeinfo>
#include <unistd.h>
#include <vector>

using namespace excreport;

namespace {

uintptr_t ModuleOf(const char* symbol)
{
    return SivrelModuleOfAddress(reinterpret_cast<uintptr_t>(dlsym(RTLD_DEFAULT, symbol)));
}

struct SlotValue {
    uintptr_t module, value;
};

std::map<uintptr_t, SlotValue> SnapshotSlots()
{
    std::map<uintptr_t, SlotValue> values;
    for (uintptr_t module : SivrelRedirectableModules())
        for (const TSivrelImportSlot& s : SivrelImportSlots(module))
            values[s.Address] = {module, *reinterpret_cast<const uintptr_t*>(s.Address)};
    return values;
}

std::atomic<int> g_throws{0}, g_creates{0};
uintptr_t g_realThrow = 0, g_realCreate = 0, g_realGetppid = 0;

[[noreturn]] void CountingThrow(void* object, std::type_info* type, void (*destructor)(void*))
{
    ++g_throws;
    reinterpret_cast<void (*)(void*, std::type_info*, void (*)(void*))>(g_realThrow)(object, type, destructor);
    __builtin_unreachable();
}

int CountingCreate(pthread_t* thread, const pthread_attr_t* attr, void* (*routine)(void*), void* arg)
{
    ++g_creates;
    return reinterpret_cast<int (*)(pthread_t*, const pthread_attr_t*, void* (*)(void*), void*)>(g_realCreate)(
        thread, attr, routine, arg);
}

pid_t FakeGetppid()
{
    return 4242;
}

} // namespace

// Types with linkage outside this file: with the types of an unnamed namespace the compiler knows
// every class that overrides Corners and calls the one that is ever made directly, past the table.
namespace hooktest {
struct Shape {
    virtual ~Shape() = default;
    virtual int Corners() const { return 0; }
};
struct Square : Shape {
    int Corners() const override { return 4; }
};
int FakeCorners(const Shape*)
{
    return 99;
}
__attribute__((noipa)) int CornersOf(const Shape& s)
{
    return s.Corners();
}

} // namespace hooktest
using hooktest::CornersOf;
using hooktest::FakeCorners;
using hooktest::Shape;
using hooktest::Square;

namespace {

int Twice(int v)
{
    return 2 * v;
}
int Thrice(int v)
{
    return 3 * v;
}

} // namespace

TEST(SivrelHook, ImportSlotsOfTheRuntimeAreRedirectedAndPutBack)
{
    const std::map<uintptr_t, SlotValue> before = SnapshotSlots();
    ASSERT_FALSE(before.empty());
    const uintptr_t libstdcxx = ModuleOf("__cxa_throw");
    ASSERT_NE(libstdcxx, 0u);
    const uintptr_t self = SivrelThisModule();

    // The throw inside vector::at and the thread start of std::thread go through libstdc++'s slots.
    ASSERT_TRUE(HookImport({libstdcxx}, "", false, g_realThrow, reinterpret_cast<uintptr_t>(&CountingThrow), "__cxa_throw"));
    EXPECT_EQ(g_realThrow, reinterpret_cast<uintptr_t>(dlsym(RTLD_DEFAULT, "__cxa_throw")));
    ASSERT_TRUE(HookImport({libstdcxx}, "", false, g_realCreate, reinterpret_cast<uintptr_t>(&CountingCreate), "pthread_create"));
    ASSERT_TRUE(HookImport({self}, "libc.so.6", false, g_realGetppid, reinterpret_cast<uintptr_t>(&FakeGetppid), "getppid"));

    std::vector<int> v(3);
    EXPECT_THROW(static_cast<void>(v.at(5)), std::out_of_range);
    EXPECT_EQ(g_throws, 1);
    std::thread([] {}).join();
    EXPECT_EQ(g_creates, 1);
    EXPECT_EQ(getppid(), 4242);

    // A second redirection of the same function finds the slot holding the first replacement, not
    // the function: nothing changes.
    uintptr_t again = 0;
    EXPECT_FALSE(HookImport({libstdcxx}, "", true, again, 1, "__cxa_throw"));

    SivrelUnhookAll();
    EXPECT_NE(getppid(), 4242);
    EXPECT_THROW(static_cast<void>(v.at(5)), std::out_of_range);
    std::thread([] {}).join();
    EXPECT_EQ(g_throws, 1);
    EXPECT_EQ(g_creates, 1);
    // Every slot is as it was, apart from the loader's own lazy binding in libraries linked
    // without "-z now" (a slot that led to its module's stub now holds the function).
    const std::map<uintptr_t, SlotValue> after = SnapshotSlots();
    int compared = 0;
    for (const auto& [slot, was] : before) {
        if (!after.count(slot))
            continue;
        ++compared;
        if (after.at(slot).value != was.value) {
            EXPECT_EQ(SivrelModuleOfAddress(was.value), was.module) << std::hex << slot << " was no lazy stub";
        }
    }
    EXPECT_GT(compared, 1000);
}

TEST(SivrelHook, SeveralRedirectionsInOnePass)
{
    const uintptr_t libstdcxx = ModuleOf("__cxa_throw");
    ASSERT_NE(libstdcxx, 0u);
    g_realThrow = reinterpret_cast<uintptr_t>(dlsym(RTLD_DEFAULT, "__cxa_throw"));
    g_realCreate = reinterpret_cast<uintptr_t>(dlsym(RTLD_DEFAULT, "pthread_create"));
    g_throws = 0;
    g_creates = 0;
    std::vector<TSivrelImportRedirect> redirects{
        {"__cxa_throw", g_realThrow, reinterpret_cast<uintptr_t>(&CountingThrow)},
        {"pthread_create", g_realCreate, reinterpret_cast<uintptr_t>(&CountingCreate)},
        {"ether_aton", reinterpret_cast<uintptr_t>(dlsym(RTLD_DEFAULT, "ether_aton")), 1}, // imported by no module here
        {"pthread_join", 0, 1}, // no function to find in the slots: nothing changes
    };
    ASSERT_TRUE(HookImports({libstdcxx}, redirects));
    EXPECT_TRUE(redirects[0].Changed);
    EXPECT_TRUE(redirects[1].Changed);
    EXPECT_FALSE(redirects[2].Changed);
    EXPECT_FALSE(redirects[3].Changed);
    std::vector<int> v(3);
    EXPECT_THROW(static_cast<void>(v.at(5)), std::out_of_range);
    std::thread([] {}).join();
    EXPECT_EQ(g_throws, 1);
    EXPECT_EQ(g_creates, 1);
    // Recorded like every redirection: undone with the rest.
    SivrelUnhookAll();
    EXPECT_THROW(static_cast<void>(v.at(5)), std::out_of_range);
    std::thread([] {}).join();
    EXPECT_EQ(g_throws, 1);
    EXPECT_EQ(g_creates, 1);
}

TEST(SivrelHook, FailuresAndTheirTexts)
{
    // A libc function that no module of ours imports.
    uintptr_t previous = 0;
    EXPECT_FALSE(HookImport(SivrelRedirectableModules(), "libc.so.6", true, previous, 1, "ether_aton"));
    EXPECT_EQ(previous, reinterpret_cast<uintptr_t>(dlsym(RTLD_DEFAULT, "ether_aton")));
    EXPECT_NE(previous, 0u);
    const struct {
        const char* function;
        const char* message;
    } cases[] = {
        {"ether_aton", "Cannot hook the procedure \"libc.so.6.ether_aton\"."},
        {"no_such_function", "Cannot hook a null procedure (\"libc.so.6.no_such_function\")."},
    };
    for (const auto& c : cases) {
        try {
            HookImport({SivrelThisModule()}, "libc.so.6", false, previous, 1, c.function);
            ADD_FAILURE() << c.function;
        } catch (const EHookError& e) {
            EXPECT_EQ(e.Message(), c.message);
        }
    }
    EXPECT_THROW(HookImport({SivrelThisModule()}, "libc.so.6", false, previous, 1, "no_such_function"), EProcNull);
    EXPECT_THROW(HookImport({SivrelThisModule()}, "libc.so.6", false, previous, 1, "ether_aton"), EHookingError);
    uintptr_t empty = 0;
    try {
        HookProcedure(&empty, 1, "Empty");
        ADD_FAILURE();
    } catch (const EProcNull& e) {
        EXPECT_EQ(e.Message(), "Cannot hook a null procedure (\"Empty\").");
    }
    EXPECT_FALSE(SivrelWriteSlot(reinterpret_cast<uintptr_t>(&previous), 1)) << "a stack variable is no module's slot";
}

TEST(SivrelHook, TableEntriesAndHookSlots)
{
    Square square;
    const auto member = &Shape::Corners;
    uintptr_t raw = 0;
    std::memcpy(&raw, &member, sizeof raw);
    ASSERT_EQ(raw & 1, 1u) << "a virtual member's pointer holds 1 + its table offset";
    const int index = int((raw - 1) / sizeof(uintptr_t));
    const uintptr_t table = *reinterpret_cast<const uintptr_t*>(&square);
    const uintptr_t original = reinterpret_cast<const uintptr_t*>(table)[index];

    const uintptr_t fake = reinterpret_cast<uintptr_t>(&FakeCorners);
    EXPECT_EQ(HookMethod(table, index, fake), original);
    EXPECT_EQ(CornersOf(square), 99);
    EXPECT_EQ(HookMethod(table, index, fake), original) << "the second call returns the first previous entry";
    EXPECT_TRUE(UnhookMethod(table, index));
    EXPECT_FALSE(UnhookMethod(table, index));
    EXPECT_EQ(CornersOf(square), 4);
    EXPECT_EQ(HookMethod(reinterpret_cast<uintptr_t>(&square), 0, fake), 0u) << "not a table of a module";

    static uintptr_t slot = reinterpret_cast<uintptr_t>(&Twice);
    const uintptr_t before = HookProcedure(&slot, reinterpret_cast<uintptr_t>(&Thrice), "Twice");
    EXPECT_EQ(before, reinterpret_cast<uintptr_t>(&Twice));
    EXPECT_EQ(reinterpret_cast<int (*)(int)>(slot)(5), 15);
    EXPECT_EQ(reinterpret_cast<int (*)(int)>(before)(5), 10) << "the caller reaches the routine as it was";

    HookMethod(table, index, fake);
    SivrelUnhookAll();
    EXPECT_EQ(slot, reinterpret_cast<uintptr_t>(&Twice));
    EXPECT_EQ(CornersOf(square), 4);
}
