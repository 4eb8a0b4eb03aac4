#include "excreport/SivrelModules.h"
#include "excreport/SivrelStream.h"
#include "excreport/SivrelSupport.h"
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QtGlobal>
#include <QRegularExpression>
#include <gtest/gtest.h>
#include <cstdlib>
#include <iterator>
#include <set>
#include <dlfcn.h>
#include <execinfo.h>
#include <sys/stat.h>
#include <utime.h>

using namespace excreport;

namespace {

// The probe library, loaded for one test and unloaded after it.
class ProbeLib : public ::testing::Test {
protected:
    void SetUp() override
    {
        handle = dlopen(QLY_PROBELIB, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(handle, nullptr) << dlerror();
        cFunction = reinterpret_cast<uintptr_t>(dlsym(handle, "probe_c_function"));
        base = SivrelModuleOfAddress(cFunction);
        ASSERT_NE(base, 0u);
    }
    void TearDown() override
    {
        if (handle)
            dlclose(handle);
        UnlinkSharedBlock(base);
        UnlinkSharedBlock(SivrelThisModule());
    }
    bool Listed(const TSivrelModulesList& list, uintptr_t h) const
    {
        for (int i = 0; i < list.Count(); ++i)
            if (list.Items(i)->Handle == h)
                return true;
        return false;
    }

    void* handle = nullptr;
    uintptr_t cFunction = 0;
    uintptr_t base = 0;
};

int MarkLine(const char* file, const char* tag)
{
    QFile f(QStringLiteral(QLY_PROBE_SOURCE_DIR "/") + file);
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    const QStringList lines = QString::fromUtf8(f.readAll()).split('\n');
    for (int i = 0; i < lines.size(); ++i)
        if (lines[i].contains(QStringLiteral("// MARK:") + tag))
            return i + 1;
    return -1;
}

// The address of the call to this routine (in the caller's line).
__attribute__((noinline)) uintptr_t SivrelCurrentAddress()
{
    return reinterpret_cast<uintptr_t>(__builtin_return_address(0)) - 1;
}

std::vector<uintptr_t> g_frames;
void CollectFrames()
{
    void* frames[64];
    const int n = backtrace(frames, 64);
    g_frames.assign(reinterpret_cast<uintptr_t*>(frames), reinterpret_cast<uintptr_t*>(frames) + n);
}

} // namespace

TEST_F(ProbeLib, LoadedLibraryAppearsAndGoes)
{
    TSivrelModulesList list;
    list.RefreshModules();
    ASSERT_TRUE(Listed(list, base));
    EXPECT_TRUE(Listed(list, SivrelThisModule()));
    for (int i = 0; i + 1 < list.Count(); ++i)
        EXPECT_LT(list.Items(i)->Handle, list.Items(i + 1)->Handle);

    const TSivrelModuleRef m = list.ModuleInfo(base);
    ASSERT_TRUE(m);
    EXPECT_EQ(m->FileName, QString(QLY_PROBELIB));
    EXPECT_EQ(m->ModuleType, mtLibrary);
    EXPECT_EQ(m->Description, "Reporter probe library");
    EXPECT_TRUE(QRegularExpression("^\\d+\\.\\d+\\.\\d+\\.0$").match(m->Version).hasMatch()) << m->Version.toStdString();
    EXPECT_EQ(m->FileSize, uint32_t(QFileInfo(QLY_PROBELIB).size()));
    ASSERT_TRUE(m->DebugInfo.Get());
    EXPECT_EQ(m->Options->EmailSubject(), "Library probe");
    EXPECT_TRUE(IsLibraryModule(base));
    const uintptr_t mainProgram = SivrelModuleOfAddress(reinterpret_cast<uintptr_t>(&MarkLine));
    EXPECT_FALSE(IsLibraryModule(mainProgram));
    EXPECT_EQ(GetModuleType(mainProgram), mtExecutable);
    EXPECT_EQ(list.ModuleInfo(mainProgram)->FileName, SivrelThisModuleFileName());
    EXPECT_EQ(list.ModuleOfAddress(cFunction), m);

    // The entry survives its removal from the list for whoever holds it.
    dlclose(handle);
    handle = nullptr;
    list.RefreshModules();
    EXPECT_FALSE(Listed(list, base));
    EXPECT_EQ(m->Options->EmailSubject(), "Library probe");
}

TEST_F(ProbeLib, ChangedFileIsExaminedAgain)
{
    TSivrelModulesList list;
    const TSivrelModuleRef first = list.ModuleInfo(base);
    ASSERT_TRUE(first);
    list.DropChangedModules();
    EXPECT_EQ(list.ModuleInfo(base), first) << "unchanged file keeps its entry";

    struct stat st;
    ASSERT_EQ(stat(QLY_PROBELIB, &st), 0);
    utimbuf times{st.st_atime, st.st_mtime + 10};
    ASSERT_EQ(utime(QLY_PROBELIB, &times), 0);
    list.DropChangedModules();
    EXPECT_FALSE(Listed(list, base));
    const TSivrelModuleRef again = list.ModuleInfo(base);
    ASSERT_TRUE(again);
    EXPECT_NE(again, first);
    EXPECT_EQ(again->FileDate, QFileInfo(QLY_PROBELIB).lastModified());
}

TEST_F(ProbeLib, DebugInfoFromBlockAndFromExports)
{
    TSivrelModulesList list;
    // From the library's own debug block.
    const TSivrelDebugInfo own = list.GetDebugInfo(cFunction + 1);
    EXPECT_EQ(own.Kind, 4);
    EXPECT_EQ(own.UnitName, "ReporterProbeLib.cpp");
    EXPECT_EQ(own.ProcedureName, "probe_c_function");

    // libc has no block: a C export gives kind 2.
    const uintptr_t getpidAddress = reinterpret_cast<uintptr_t>(dlsym(RTLD_DEFAULT, "getpid"));
    const TSivrelDebugInfo c = list.GetDebugInfo(getpidAddress + 1);
    EXPECT_EQ(c.Kind, 2);
    EXPECT_TRUE(c.ProcedureName.endsWith("getpid")) << c.ProcedureName.toStdString();
    EXPECT_EQ(c.ClassName, "");
    ASSERT_TRUE(c.Module);
    EXPECT_TRUE(c.Module->FileName.contains("libc.so")) << c.Module->FileName.toStdString();

    // A Qt export gives kind 3 with class and routine.
    const uintptr_t qt = reinterpret_cast<uintptr_t>(dlsym(RTLD_DEFAULT, "_ZN16QCoreApplication15applicationNameEv"));
    ASSERT_NE(qt, 0u);
    const TSivrelDebugInfo q = list.GetDebugInfo(qt + 1);
    EXPECT_EQ(q.Kind, 3);
    EXPECT_EQ(q.ClassName, "QCoreApplication");
    EXPECT_EQ(q.ProcedureName, "applicationName");
    ASSERT_TRUE(q.Module);
    EXPECT_EQ(q.Module->Version, VersionFromFileName(QFileInfo(q.Module->FileName).canonicalFilePath()));
    EXPECT_EQ(VersionFromFileName("/usr/lib/x86_64-linux-gnu/libQt6Core.so.6.4.2"), "6.4.2.0");
    EXPECT_EQ(VersionFromFileName("/lib/libfoo.so"), "");
    EXPECT_EQ(VersionFromFileName("/lib/libfoo.so.1"), "1.0.0.0");

    const TSivrelDebugInfo none = list.GetDebugInfo(0x10);
    EXPECT_EQ(none.Kind, 0);
    EXPECT_FALSE(none.Module);
}

TEST(SivrelModules, DecodeExportNames)
{
    const struct {
        const char* name;
        int kind;
        const char* unit;
        const char* cls;
        const char* routine;
    } cases[] = {
        {"getpid", 2, "", "", "getpid"},
        {"_ZN16QCoreApplication15applicationNameEv", 3, "", "QCoreApplication", "applicationName"},
        {"_ZNK7QString5toIntEPbi", 3, "", "QString", "toInt"},
        {"_ZN2ns3fooIiEEvT_", 3, "", "ns", "foo"},
        {"_Z4Markv", 3, "", "", "Mark"},
        {"@Forms@TApplication@HandleException$qqrp14System@TObject", 3, "Forms.pas", "TApplication", "HandleException"},
        {"Unit1.Routine", 3, "Unit1.pas", "", "Routine"},
        {"?skipped", 0, "", "", ""},
    };
    for (const auto& c : cases) {
        TSivrelDebugInfo info;
        DecodeExportName(c.name, info);
        EXPECT_EQ(info.Kind, c.kind) << c.name;
        EXPECT_EQ(info.UnitName, c.unit) << c.name;
        EXPECT_EQ(info.ClassName, c.cls) << c.name;
        EXPECT_EQ(info.ProcedureName, c.routine) << c.name;
    }
}

TEST_F(ProbeLib, PublishedOptionsAreTheOnesRead)
{
    // What the library's reporter would publish after changing its options.
    TSivrelModuleOptions published("", false);
    published.SetEmailSubject("Published by the library");
    TSivrelStream s;
    s.WriteByte(1);
    published.SaveToStream(s);
    auto block = OpenSharedBlock(base, size_t(s.Size()));
    ASSERT_TRUE(block);
    std::memcpy(block->Data(), s.Data().constData(), size_t(s.Size()));
    CloseSharedBlock(*block);

    TSivrelModulesList list;
    const TSivrelModuleRef m = list.ModuleInfo(base);
    ASSERT_TRUE(m);
    EXPECT_EQ(m->Options->EmailSubject(), "Published by the library");
    EXPECT_TRUE(m->DebugInfo.Get()) << "the debug block still comes from the file";

    // Our own bound options publish their changes.
    TSivrelModuleOptionsEx mine(SivrelThisModuleFileName(), true);
    mine.SetEmailSubject("mine");
    auto own = OpenSharedBlock(SivrelThisModule(), 0);
    ASSERT_TRUE(own);
    ASSERT_GE(own->DataSize(), 1u);
    EXPECT_EQ(own->Data()[0], 1);
    TSivrelStream read(QByteArray(reinterpret_cast<const char*>(own->Data()) + 1, qsizetype(own->DataSize() - 1)));
    TSivrelModuleOptions back("", false);
    back.LoadFromStream(read, SivrelDataVersion);
    EXPECT_EQ(back.EmailSubject(), "mine");
    CloseSharedBlock(*own);
    struct stat st;
    ASSERT_EQ(stat(("/dev/shm" + SharedBlockName(SivrelThisModule())).toLatin1().constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    // Options of another module are not published.
    TSivrelModuleOptionsEx other("/usr/lib/other.so", true);
    UnlinkSharedBlock(SivrelThisModule());
    other.SetEmailSubject("x");
    EXPECT_FALSE(OpenSharedBlock(SivrelThisModule(), 0));
}

TEST_F(ProbeLib, CallStackFromUnwinderAndFromStackScan)
{
    auto probeCall = reinterpret_cast<void (*)(void (*)())>(dlsym(handle, "probe_call"));
    ASSERT_TRUE(probeCall);
    probeCall(&CollectFrames);
    ASSERT_GE(g_frames.size(), 3u);
    const int line = MarkLine("ReporterProbeLib.cpp", "probe_call");

    TSivrelModulesList list;
    const auto stack = list.BuildCallStack(0, g_frames, 0, 0);
    bool found = false;
    for (int i = 0; i < stack->Count(); ++i) {
        const TSivrelDebugInfo& e = stack->Items(i);
        if (e.Kind == 4 && e.ProcedureName == "probe_call") {
            EXPECT_EQ(e.UnitName, "ReporterProbeLib.cpp");
            EXPECT_EQ(e.Line, line);
            found = true;
        }
    }
    EXPECT_TRUE(found);

    // A smashed stack: the unwinder gave one frame, the scan finds the call in the library.
    uintptr_t returnIntoLib = 0;
    for (uintptr_t f : g_frames)
        if (SivrelModuleOfAddress(f) == base)
            returnIntoLib = f;
    ASSERT_NE(returnIntoLib, 0u);
    std::vector<uintptr_t> fakeStack(32, 0);
    fakeStack[5] = returnIntoLib;
    fakeStack[6] = returnIntoLib;
    const auto scanned = list.BuildCallStack(cFunction, {g_frames[0]}, reinterpret_cast<uintptr_t>(fakeStack.data()),
                                             reinterpret_cast<uintptr_t>(fakeStack.data() + fakeStack.size()));
    ASSERT_GE(scanned->Count(), 2);
    EXPECT_EQ(scanned->Items(0).ProcedureName, "probe_c_function");
    int shown = 0;
    for (int i = 1; i < scanned->Count(); ++i)
        if (scanned->Items(i).Kind == 4 && scanned->Items(i).ProcedureName == "probe_call") {
            EXPECT_EQ(scanned->Items(i).Line, line);
            ++shown;
        }
    EXPECT_EQ(shown, 1) << "the same return address twice shows once";
}

TEST(SivrelModules, MainProgramWithItsOwnBlock)
{
    const uintptr_t self = SivrelThisModule();
    UnlinkSharedBlock(self);
    TSivrelModulesList list;
    const TSivrelModuleRef m = list.ModuleInfo(self);
    ASSERT_TRUE(m);
    EXPECT_EQ(m->ModuleType, mtExecutable);
    EXPECT_EQ(m->Description, "Reporter tests");
    EXPECT_TRUE(QRegularExpression("^\\d+\\.\\d+\\.\\d+\\.0$").match(m->Version).hasMatch()) << m->Version.toStdString();
    EXPECT_EQ(m->Functions.Count(), 0) << "no export list for the main program";
    ASSERT_TRUE(m->DebugInfo.Get());
    EXPECT_EQ(m->Options->EmailSubject(), "Test program");
    EXPECT_FALSE(OpenSharedBlock(self, 0)) << "loading the block publishes nothing";

    const int line = __LINE__ + 1;
    const TSivrelDebugInfo here = list.GetDebugInfo(SivrelCurrentAddress());
    EXPECT_EQ(here.Kind, 4);
    EXPECT_EQ(here.UnitName, "SivrelModulesTest.cpp");
    EXPECT_EQ(here.Line, line);
    EXPECT_EQ(list.FindInDebugBlock(self, "MarkLine"), reinterpret_cast<uintptr_t>(&MarkLine));
}

// The exports of large libraries, as the report's module entries read them from memory, against
// the dynamic symbol table readelf reads from the file: every defined routine with its name (cut
// at 255 bytes) and address, none missing and none made up.
TEST(SivrelModules, ExportsOfLargeLibrariesMatchTheirDynamicSymbolTables)
{
    const uintptr_t inLibraries[] = {reinterpret_cast<uintptr_t>(&qVersion), reinterpret_cast<uintptr_t>(&::qsort)};
    for (const uintptr_t address : inLibraries) {
        const uintptr_t base = SivrelModuleOfAddress(address);
        ASSERT_NE(base, 0u);
        const QString file = ModuleFileName(base);
        QProcess readelf;
        readelf.start(QStringLiteral("readelf"), {QStringLiteral("--dyn-syms"), QStringLiteral("-W"), file});
        ASSERT_TRUE(readelf.waitForFinished(60000)) << file.toStdString();
        std::set<std::pair<uintptr_t, QString>> expected;
        for (const QByteArray& line : readelf.readAllStandardOutput().split('\n')) {
            // Num: Value Size Type Bind Vis Ndx Name
            const QList<QByteArray> f = line.simplified().split(' ');
            if (f.size() < 8 || !f[0].endsWith(':') || (f[3] != "FUNC" && f[3] != "IFUNC") || f[6] == "UND")
                continue;
            const uintptr_t value = f[1].toULongLong(nullptr, 16);
            if (value == 0)
                continue;
            QByteArray name = f[7];
            if (const qsizetype at = name.indexOf('@'); at > 0)
                name.truncate(at); // readelf adds the symbol's version
            expected.insert({base + value, QString::fromUtf8(name.left(255))});
        }
        ASSERT_GT(expected.size(), 1000u) << file.toStdString();

        TSivrelFunctionsList list;
        ReadExports(base, list);
        std::set<std::pair<uintptr_t, QString>> read;
        for (int i = 0; i < list.Count(); ++i)
            read.insert({list.Items(i).Address, list.Items(i).Name});
        EXPECT_EQ(read.size(), expected.size()) << file.toStdString();
        std::vector<std::pair<uintptr_t, QString>> missing, extra;
        std::set_difference(expected.begin(), expected.end(), read.begin(), read.end(), std::back_inserter(missing));
        std::set_difference(read.begin(), read.end(), expected.begin(), expected.end(), std::back_inserter(extra));
        EXPECT_TRUE(missing.empty()) << file.toStdString() << ": " << missing.size() << " missing, first "
                                     << missing.front().second.toStdString();
        EXPECT_TRUE(extra.empty()) << file.toStdString() << ": " << extra.size() << " not in the file, first "
                                   << extra.front().second.toStdString();
        // An address inside a routine finds its export.
        const TSivrelFunctionInfo* f = list.Find(address + 1);
        ASSERT_TRUE(f) << file.toStdString();
        EXPECT_LE(f->Address, address + 1);
    }
}
