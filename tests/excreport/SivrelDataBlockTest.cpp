#include "excreport/SivrelDataBlock.h"
#include "excreport/SivrelOptions.h"
#include "excreport/SivrelStream.h"
#include "tests/common/TestUtil.h"
#include "tests/excreport/SivrelTestStreams.h"
#include <QFile>
#include <QProcess>
#include <gtest/gtest.h>
#include <cstdio>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace excreport;

namespace {

QByteArray CurrentOptions(const TSivrelModuleOptions& o)
{
    TSivrelStream s;
    o.SaveToStream(s);
    return s.Data();
}

bool WriteFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

} // namespace

TEST(SivrelDataBlock, ResourceFormUncompressedBelow450AndZlibFrom450)
{
    OldStream old;
    old.smtpHost = "relay.example.org";
    old.sendMode = 1;
    old.freezeTimeout = 5000;
    TSivrelModuleOptions reference("", false);
    {
        TSivrelStream s(old.Build(449));
        reference.LoadFromStream(s, 449);
    }
    const QByteArray debug = "debug block bytes";
    const QByteArray v449 = SivrelMakeResourceBlock(449, old.Build(449), debug);
    const QByteArray v450 = SivrelMakeResourceBlock(450, CurrentOptions(reference), debug);
    EXPECT_EQ(v449.mid(14, 5), old.Build(449).left(5)) << "449 is stored as it is";
    EXPECT_NE(v450.mid(14, 5), CurrentOptions(reference).left(5)) << "450 is compressed";

    for (const QByteArray& block : {v449, v450}) {
        TSivrelModuleOptions o("", false);
        TSivrelDataInfo info;
        ASSERT_TRUE(SivrelReadResourceBlock(block, o, info));
        EXPECT_EQ(CurrentOptions(o), CurrentOptions(reference));
        EXPECT_EQ(o.SendMode(), smSmtpRelay);
        EXPECT_EQ(o.FreezeTimeout(), 5000) << "seconds from 422 on";
        EXPECT_EQ(info.DebugInfo, debug);
    }
}

TEST(SivrelDataBlock, DamagedResourceFormCountsAsNone)
{
    TSivrelModuleOptions source("", false);
    source.SetEmailSubject("from the block");
    const QByteArray good = SivrelMakeResourceBlock(467, CurrentOptions(source), "dbg");
    QByteArray emptyStream = good.left(14) + SivrelDeflate(QByteArray());
    QByteArray badMagic = good;
    badMagic[1] = 0;
    QByteArray longDebug = SivrelMakeResourceBlock(449, CurrentOptions(source), "dbg");
    longDebug.chop(1);  // L says 3, 2 are left
    const struct {
        const char* what;
        QByteArray block;
    } cases[] = {
        {"inflates to nothing", emptyStream}, {"bad magic", badMagic}, {"cut zlib stream", good.left(good.size() - 3)},
        {"header only", good.left(14)}, {"debug length beyond the end", longDebug}, {"empty", QByteArray()},
    };
    for (const auto& c : cases) {
        TSivrelModuleOptions o("", false);
        TSivrelDataInfo info;
        EXPECT_FALSE(SivrelReadResourceBlock(c.block, o, info)) << c.what;
        EXPECT_EQ(info.DataVersion, 467) << c.what;
        EXPECT_FALSE(info.DebugInfo.has_value()) << c.what;
        EXPECT_EQ(o.EmailSubject(), "") << c.what << ": options untouched";
    }
    // A zlib bomb beyond the limit counts as none.
    EXPECT_FALSE(SivrelInflate(SivrelDeflate(QByteArray(2048, 'x')), 1024).has_value());
    EXPECT_EQ(SivrelInflate(SivrelDeflate(QByteArray(2048, 'x')), 4096).value_or(QByteArray()).size(), 2048);
}

TEST(SivrelDataBlock, AppendedFormAndItsLengthChecks)
{
    qlytest::TempDir dir;
    TSivrelModuleOptions source("", false);
    source.SetEmailSubject("appended");
    const QByteArray program(5000, 'P');
    const QByteArray block = SivrelMakeAppendedBlock(467, CurrentOptions(source), "dbg");
    const QString file = dir.file("prog");
    ASSERT_TRUE(WriteFile(file, program + block));
    {
        TSivrelModuleOptions o("", false);
        TSivrelDataInfo info;
        ASSERT_TRUE(SivrelLoadDataBlock(file, o, info));
        EXPECT_EQ(o.EmailSubject(), "appended");
        EXPECT_EQ(info.DebugInfo, QByteArray("dbg"));
        EXPECT_TRUE(SivrelCarriesData(file));
    }
    auto withLength = [&](uint32_t n) {
        QByteArray b = program + block;
        for (int i = 0; i < 4; ++i)
            b[b.size() - 8 + i] = char(n >> (8 * i));
        return b;
    };
    const uint32_t total = uint32_t(program.size() + block.size());
    const struct {
        const char* what;
        QByteArray bytes;
    } cases[] = {
        {"N = 0", withLength(0)}, {"N = 9", withLength(9)}, {"N beyond the file's start", withLength(total - 7)},
        {"N huge", withLength(0xFFFFFFF0u)}, {"N too short for the options", withLength(40)},
        {"magic only", QByteArray("\x10\xAB\x0F\x00", 4)},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(WriteFile(file, c.bytes));
        TSivrelModuleOptions o("", false);
        TSivrelDataInfo info;
        EXPECT_FALSE(SivrelLoadDataBlock(file, o, info)) << c.what;
        EXPECT_FALSE(info.DebugInfo.has_value()) << c.what;
        EXPECT_EQ(o.EmailSubject(), "") << c.what;
    }
    EXPECT_FALSE(SivrelLoadDataBlock(dir.file("missing"), source, *std::make_unique<TSivrelDataInfo>()));
}

TEST(SivrelDataBlock, ElfSectionSurvivesStrip)
{
    qlytest::TempDir dir;
    TSivrelModuleOptions source("", false);
    source.SetEmailSubject("in the section");
    const QByteArray block = SivrelMakeResourceBlock(467, CurrentOptions(source), "debug info");
    ASSERT_TRUE(WriteFile(dir.file("block"), block));
    ASSERT_TRUE(QFile::copy("/bin/true", dir.file("prog")));
    ASSERT_EQ(QProcess::execute("objcopy", {"--add-section", ".sldata=" + dir.file("block"), dir.file("prog")}), 0);
    ASSERT_EQ(QProcess::execute("strip", {"--strip-all", "-o", dir.file("stripped"), dir.file("prog")}), 0);
    EXPECT_FALSE(SivrelReadElfSection("/bin/true", ".sldata").has_value());
    for (const QString& name : {QString("prog"), QString("stripped")}) {
        EXPECT_EQ(SivrelReadElfSection(dir.file(name), ".sldata"), block) << name.toStdString();
        TSivrelModuleOptions o("", false);
        TSivrelDataInfo info;
        ASSERT_TRUE(SivrelLoadDataBlock(dir.file(name), o, info));
        EXPECT_EQ(o.EmailSubject(), "in the section");
        EXPECT_EQ(info.DebugInfo, QByteArray("debug info"));
        EXPECT_TRUE(SivrelCarriesData(dir.file(name)));
    }
    EXPECT_FALSE(SivrelCarriesData("/bin/true"));
}

// At the start only the options are read; the debug block is read from the file opened then, when
// it is first needed: after the file was replaced (an update), the program still gets its own.
TEST(SivrelDataBlock, StartReadsTheOptionsAndTheDebugBlockLaterFromTheFileItOpened)
{
    qlytest::TempDir dir;
    const auto makeProgram = [&](const QString& name, const QString& subject, const QByteArray& debug) {
        TSivrelModuleOptions source("", false);
        source.SetEmailSubject(subject);
        if (!WriteFile(dir.file(name + ".block"), SivrelMakeResourceBlock(467, CurrentOptions(source), debug)))
            return false;
        QFile::remove(dir.file(name));
        return QFile::copy("/bin/true", dir.file(name))
               && QProcess::execute("objcopy", {"--add-section", ".sldata=" + dir.file(name + ".block"), dir.file(name)}) == 0;
    };
    // Options beyond the first piece inflated; a debug block of 2 MB.
    const QString longSubject = QString("Betreff ").repeated(2000);
    QByteArray debug;
    for (int i = 0; debug.size() < 2 * 1024 * 1024; ++i)
        debug += QByteArray::number(i * 7919 % 100003) + ' ';
    ASSERT_TRUE(makeProgram("prog", longSubject, debug));
    ASSERT_TRUE(makeProgram("update", "newer", "the update's debug block"));

    TSivrelModuleOptions o("", false);
    TSivrelDataInfo info;
    TSivrelDebugSource source;
    ASSERT_TRUE(SivrelOpenDataBlock(dir.file("prog"), o, info, source));
    EXPECT_EQ(o.EmailSubject(), longSubject);
    EXPECT_EQ(info.DataVersion, 467);
    EXPECT_TRUE(source.Present());
    ASSERT_EQ(::rename(QFile::encodeName(dir.file("update")).constData(), QFile::encodeName(dir.file("prog")).constData()), 0);
    const TSivrelDebugSource copy = source;
    const TSivrelDebugSource::TLoaded* loaded = copy.Get();
    ASSERT_TRUE(loaded);
    EXPECT_TRUE(loaded->Block == debug) << "the block of the file opened at the start";
    EXPECT_EQ(source.Get(), loaded) << "copies share one block";

    // A stream cut inside the debug block: the options are there at the start, the block is none.
    TSivrelModuleOptions cutSource("", false);
    cutSource.SetEmailSubject("cut");
    const QByteArray whole = SivrelMakeResourceBlock(467, CurrentOptions(cutSource), debug);
    ASSERT_TRUE(WriteFile(dir.file("cut.block"), whole.left(whole.size() / 2)));
    ASSERT_TRUE(QFile::copy("/bin/true", dir.file("cut")));
    ASSERT_EQ(QProcess::execute("objcopy", {"--add-section", ".sldata=" + dir.file("cut.block"), dir.file("cut")}), 0);
    TSivrelModuleOptions cutOptions("", false);
    TSivrelDebugSource cutDebug;
    ASSERT_TRUE(SivrelOpenDataBlock(dir.file("cut"), cutOptions, info, cutDebug));
    EXPECT_EQ(cutOptions.EmailSubject(), "cut");
    EXPECT_TRUE(cutDebug.Present());
    EXPECT_EQ(cutDebug.Get(), nullptr);
    // Read whole, such a block counts as none and leaves the options as they were.
    TSivrelModuleOptions whole2("", false);
    TSivrelDataInfo info2;
    EXPECT_FALSE(SivrelLoadDataBlock(dir.file("cut"), whole2, info2));
    EXPECT_EQ(whole2.EmailSubject(), "");
    EXPECT_FALSE(info2.DebugInfo.has_value());
}

// A report after the memory ran out: the debug block cannot be read then, which makes no damaged
// block of it; with memory again the next report gets it. (In a child process with an address
// space limit.)
TEST(SivrelDataBlock, ADebugBlockWithoutMemoryForItIsReadLater)
{
    qlytest::TempDir dir;
    TSivrelModuleOptions source("", false);
    const QByteArray debug = QByteArray("0123456789abcdef").repeated(2 * 1024 * 1024); // 32 MB
    ASSERT_TRUE(WriteFile(dir.file("block"), SivrelMakeResourceBlock(467, CurrentOptions(source), debug)));
    ASSERT_TRUE(QFile::copy("/bin/true", dir.file("prog")));
    ASSERT_EQ(QProcess::execute("objcopy", {"--add-section", ".sldata=" + dir.file("block"), dir.file("prog")}), 0);
    TSivrelModuleOptions o("", false);
    TSivrelDataInfo info;
    TSivrelDebugSource lazy;
    ASSERT_TRUE(SivrelOpenDataBlock(dir.file("prog"), o, info, lazy));

    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        long sizeKb = 0;
        if (FILE* status = std::fopen("/proc/self/status", "r")) {
            char line[256];
            while (std::fgets(line, sizeof line, status))
                if (std::sscanf(line, "VmSize: %ld kB", &sizeKb) == 1)
                    break;
            std::fclose(status);
        }
        rlimit tight{rlim_t(sizeKb + 4096) * 1024, RLIM_INFINITY};
        if (sizeKb == 0 || setrlimit(RLIMIT_AS, &tight) != 0)
            _exit(10);
        if (lazy.Get())
            _exit(11); // no room for 32 MB, yet read
        rlimit open{RLIM_INFINITY, RLIM_INFINITY};
        setrlimit(RLIMIT_AS, &open);
        const TSivrelDebugSource::TLoaded* loaded = lazy.Get();
        _exit(!loaded ? 12 : loaded->Block.size() != debug.size() ? 13 : 0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "10: no limit set, 11: read within the limit, 12: not read with memory again, "
                                         "13: wrong size";
}
