#include "excreport/SivrelCallStack.h"
#include "excreport/SivrelLists.h"
#include "excreport/SivrelSupport.h"
#include "tests/common/TestUtil.h"
#include <gtest/gtest.h>
#include <csignal>
#include <cstring>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>

using namespace excreport;

namespace {

// Switches the readability test to /proc/self/maps for one scope.
struct MapsFallback {
    explicit MapsFallback(bool on) { SivrelSetMapsFallback(on); }
    ~MapsFallback() { SivrelSetMapsFallback(false); }
};

} // namespace

TEST(SivrelSupport, IsReadableOverReadOnlyReadWriteAndNoAccessPages)
{
    const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    for (const bool maps : {false, true}) {
        SCOPED_TRACE(maps ? "/proc/self/maps" : "process_vm_readv");
        const MapsFallback fallback(maps);
        auto* base = static_cast<uint8_t*>(mmap(nullptr, 3 * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
        ASSERT_NE(base, MAP_FAILED);
        ASSERT_EQ(mprotect(base, page, PROT_READ), 0);
        ASSERT_EQ(mprotect(base + 2 * page, page, PROT_NONE), 0);
        const auto p = [&](size_t offset) { return reinterpret_cast<uintptr_t>(base) + offset; };
        const struct {
            size_t from, length;
            bool readable;
        } cases[] = {
            {0, 2 * page, true},          // read-only into read-write
            {page, 2 * page, false},      // read-write into no access
            {page / 2, page, true},
            {2 * page - 8, 9, false},
            {2 * page, 1, false},
            {0, 1, true},
        };
        for (const auto& c : cases)
            EXPECT_EQ(IsReadable(p(c.from), c.length), c.readable) << c.from << "+" << c.length;
        EXPECT_EQ(ReadableLength(p(page), 2 * page), 0u);
        EXPECT_GE(ReadableLength(p(0), 2 * page), 2 * page);
        EXPECT_FALSE(IsReadable(0, 1));
        base[page] = 7;
        uint8_t byte = 1;
        EXPECT_FALSE(ReadMemory(p(2 * page), &byte, 1));
        EXPECT_TRUE(ReadMemory(p(0), &byte, 1));
        EXPECT_EQ(byte, 0);
        EXPECT_TRUE(ReadMemory(p(page), &byte, 1));
        EXPECT_EQ(byte, 7);
        std::vector<uint8_t> buffer(page + 1);
        EXPECT_FALSE(ReadMemory(p(page), buffer.data(), page + 1)) << "runs into the no-access page";
        munmap(base, 3 * page);
        EXPECT_FALSE(IsReadable(p(0), 1)) << "unmapped";
    }
}

TEST(SivrelSupport, StackScanFindsCalls)
{
    // "Code" and "stack" are plain buffers: the scan only reads them.
    std::vector<uint8_t> code(1024, 0x90);
    const uintptr_t c = reinterpret_cast<uintptr_t>(code.data());
    auto put = [&](size_t at, std::initializer_list<uint8_t> bytes) { std::copy(bytes.begin(), bytes.end(), code.begin() + at); };
    auto put32 = [&](size_t at, int32_t v) { std::memcpy(code.data() + at, &v, 4); };
    put(100, {0xFF, 0x54, 0x24, 0x08});                 // call *8(%rsp)        ends at 104
    put(200, {0xE8}); put32(201, 400 - 205);            // call c+400           ends at 205
    put(400, {0x55, 0x48, 0x89, 0xE5, 0xC3});
    put(300, {0xE8}); put32(301, 600 - 305);            // call into a PLT entry ends at 305
    put(600, {0xF3, 0x0F, 0x1E, 0xFA, 0xF2, 0xFF, 0x25}); put32(607, 700 - 611);
    const uintptr_t gotValue = c + 800;
    std::memcpy(code.data() + 700, &gotValue, 8);
    put(800, {0xC3, 0, 0, 0, 0});
    put(900, {0x41, 0xFF, 0xD3});                      // call *%r11           ends at 903
    put(950, {0xE8}); put32(951, 420 - 955);            // call to a byte E8: no target
    put(420, {0xE8, 0, 0, 0, 0});

    std::vector<uintptr_t> stack(16, 0);
    stack[1] = c + 104;
    stack[3] = c + 205;
    stack[4] = c + 305;
    stack[6] = c + 903;
    stack[7] = c + 955;
    stack[9] = c + 106;                                 // not behind a call
    const auto calls = SivrelScanStack(reinterpret_cast<uintptr_t>(stack.data()),
                                       reinterpret_cast<uintptr_t>(stack.data() + stack.size()));
    ASSERT_EQ(calls.size(), 5u);
    EXPECT_EQ(calls[0].Call, c + 100);
    EXPECT_EQ(calls[0].Target, 0u);
    EXPECT_EQ(calls[1].Call, c + 200);
    EXPECT_EQ(calls[1].Target, c + 400);
    EXPECT_EQ(calls[2].Call, c + 300);
    EXPECT_EQ(calls[2].Target, c + 800) << "PLT entry resolved to its GOT value";
    EXPECT_EQ(calls[3].Call, c + 900) << "REX prefix belongs to the call";
    EXPECT_EQ(calls[4].Call, c + 950);
    EXPECT_EQ(calls[4].Target, 0u);
}

TEST(SivrelSupport, StackScanStopsAfter100KB)
{
    std::vector<uint8_t> code(64, 0x90);
    code[10] = 0xFF; code[11] = 0x54; code[12] = 0x24; code[13] = 0x08;
    const uintptr_t ret = reinterpret_cast<uintptr_t>(code.data()) + 14;
    std::vector<uint8_t> stack(200000, 0);
    const uintptr_t start = (reinterpret_cast<uintptr_t>(stack.data()) + 7) & ~uintptr_t(7);
    const size_t offset = start - reinterpret_cast<uintptr_t>(stack.data());
    std::memcpy(stack.data() + offset + 102400 - 8, &ret, 8);
    std::memcpy(stack.data() + offset + 102400, &ret, 8);
    std::memcpy(stack.data() + offset + 150000, &ret, 8);
    const auto calls = SivrelScanStack(start, start + 199000);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].Call, reinterpret_cast<uintptr_t>(code.data()) + 10);
}

TEST(SivrelSupport, RepeatsAreHidden)
{
    TSivrelStackList list;
    const struct {
        uint8_t kind;
        uintptr_t address;
    } entries[] = {{4, 0x10}, {4, 0x10}, {1, 0x99}, {4, 0x20}, {0, 0}, {4, 0x20}, {4, 0x30}, {4, 0x40}, {4, 0x30}};
    for (const auto& e : entries) {
        TSivrelDebugInfo info;
        info.Kind = e.kind;
        info.Address = e.address;
        list.Add(info);
    }
    list.HideRepeats();
    const uint8_t expected[] = {0, 4, 1, 0, 0, 4, 0, 4, 4};
    for (int i = 0; i < list.Count(); ++i)
        EXPECT_EQ(list.Items(i).Kind, expected[i]) << i;
}

TEST(SivrelSupport, TextRoutines)
{
    const struct {
        QString text, oldText, newText, out;
    } replace[] = {
        {"aaa", "aa", "b", "ba"}, {"abcabc", "bc", "X", "aXaX"}, {"ABC", "b", "x", "ABC"},
        {"", "a", "b", ""}, {"abc", "", "x", "abc"}, {"xx", "x", "xx", "xxxx"},
    };
    for (const auto& r : replace)
        EXPECT_EQ(ReplaceAll(r.text, r.oldText, r.newText), r.out) << r.text.toStdString();
    const struct {
        QString text, html;
    } html[] = {{"a b\r\nc", "a&nbsp;b<br>c"}, {"x\ny", "x\ny"}, {"  ", "&nbsp;&nbsp;"}};
    for (const auto& h : html)
        EXPECT_EQ(TextToHtml(h.text), h.html);
    EXPECT_EQ(IfThenText(true, "a", "b"), "a");
    EXPECT_EQ(IfText(false, "a"), "");
}

TEST(SivrelSupport, TimeZoneMinutes)
{
    const QByteArray saved = qgetenv("TZ");
    const std::time_t january = 1736942400; // 2025-01-15 12:00 UTC
    const std::time_t july = 1752580800;    // 2025-07-15 12:00 UTC
    const struct {
        const char* zone;
        std::time_t when;
        int minutes;
    } cases[] = {
        {"UTC", january, 0}, {"Europe/Berlin", january, 60}, {"Europe/Berlin", july, 120},
        {"America/New_York", january, -300}, {"America/New_York", july, -240}, {"Asia/Kolkata", july, 330},
    };
    for (const auto& c : cases) {
        qputenv("TZ", c.zone);
        tzset();
        EXPECT_EQ(TimeZoneMinutes(c.when), c.minutes) << c.zone;
    }
    if (saved.isNull())
        qunsetenv("TZ");
    else
        qputenv("TZ", saved);
    tzset();
}

TEST(SivrelSupport, IniFiles)
{
    qlytest::TempDir dir;
    const QString file = dir.file("report.ini");
    EXPECT_EQ(ReadIniString(file, "Main", "Key", "def"), "def") << "missing file";
    WriteIniString(file, "Main", "Key", "one");
    WriteIniString(file, "Other", "Key", "two");
    WriteIniString(file, "main", "KEY", "three");
    WriteIniString(file, "Main", "Second", "vier");
    EXPECT_EQ(ReadIniString(file, "MAIN", "key", "def"), "three");
    EXPECT_EQ(ReadIniString(file, "Other", "Key", "def"), "two");
    EXPECT_EQ(ReadIniString(file, "Main", "Second", "def"), "vier");
    EXPECT_EQ(ReadIniString(file, "Main", "Missing", "def"), "def");
    EXPECT_EQ(ReadIniString(file, "Nothing", "Key", "def"), "def");
    WriteIniString(file, "Main", "Long", QString(3000, 'x'));
    EXPECT_EQ(ReadIniString(file, "Main", "Long", "def").size(), 2047);
    WriteIniString(dir.file("no/such/folder/x.ini"), "A", "B", "C"); // ignored
    EXPECT_EQ(ReadIniString(dir.file("no/such/folder/x.ini"), "A", "B", "def"), "def");
}

TEST(SivrelSupport, ProcessFacts)
{
    int local = 0;
    const uintptr_t top = CurrentStackTop();
    EXPECT_GT(top, reinterpret_cast<uintptr_t>(&local));
    EXPECT_LT(top - reinterpret_cast<uintptr_t>(&local), uintptr_t(64) << 20);
    EXPECT_EQ(DebuggerPresent(), false) << "run under a debugger?";
    EXPECT_EQ(TempFolder(), qEnvironmentVariable("TMPDIR"));
    EXPECT_EQ(DialogCharset(), 0);
    EXPECT_TRUE(SivrelThisModuleFileName().endsWith("/test_excreport")) << SivrelThisModuleFileName().toStdString();
}

TEST(SivrelSupport, FunctionsListFindsTheContainingExport)
{
    TSivrelFunctionsList list;
    for (auto [name, address, size] : {std::tuple{"c", 0x300, 0x10}, {"a", 0x100, 0x20}, {"b", 0x200, 0}})
        list.Add(TSivrelFunctionInfo{name, uintptr_t(address), size});
    list.SortByAddress();
    const struct {
        uintptr_t address;
        const char* name;
    } cases[] = {{0xFF, nullptr}, {0x100, "a"}, {0x120, "a"}, {0x121, nullptr}, {0x200, "b"}, {0x201, nullptr},
                 {0x310, "c"}, {0x311, nullptr}};
    for (const auto& c : cases) {
        const TSivrelFunctionInfo* f = list.Find(c.address);
        EXPECT_EQ(f ? f->Name : QString(), c.name ? QString(c.name) : QString()) << std::hex << c.address;
    }
}
