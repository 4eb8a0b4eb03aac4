// The build step end to end: probe programs built with qly_reporter_data carry a data block whose
// debug block names the file, class, routine and line of return addresses inside their routines.
#include "excreport/SivrelDataBlock.h"
#include "excreport/SivrelDebugBlock.h"
#include "excreport/SivrelOptions.h"
#include "excreport/SivrelOptionsText.h"
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <gtest/gtest.h>
#include <map>
#include <set>
#include <optional>
#include <cstring>
#include <elf.h>

using namespace excreport;

namespace {

// Line numbers of the "// MARK:<name>" comments of the probe's sources.
std::map<QString, int> Marks()
{
    std::map<QString, int> marks;
    for (const char* file : {"ReporterProbe.cpp", "ReporterProbeHeader.h"}) {
        QFile f(QStringLiteral(QLY_PROBE_SOURCE_DIR "/") + file);
        EXPECT_TRUE(f.open(QIODevice::ReadOnly));
        const QStringList lines = QString::fromUtf8(f.readAll()).split('\n');
        for (int i = 0; i < lines.size(); ++i) {
            const auto m = QRegularExpression("// MARK:(\\w+)").match(lines[i]);
            if (m.hasMatch())
                marks[m.captured(1)] = i + 1;
        }
    }
    return marks;
}

// What the probe prints: routine tag -> return address relative to its load base.
std::map<QString, uint64_t> ReturnAddresses(const QString& program)
{
    QProcess p;
    p.start(program, {});
    EXPECT_TRUE(p.waitForFinished(10000));
    std::map<QString, uint64_t> out;
    for (const QString& line : QString::fromUtf8(p.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts))
        out[line.section(' ', 0, 0)] = line.section(' ', 1, 1).toULongLong(nullptr, 16);
    return out;
}

struct Expected {
    const char* tag;
    const char* unit;
    const char* cls;
    const char* routine;
};

const Expected kRoutines[] = {
    {"free", "ReporterProbe.cpp", "", "FreeFunction"},
    {"method", "ReporterProbe.cpp", "Widget", "Method"},
    {"lambda", "ReporterProbe.cpp", "", "operator()"},
    {"inlined", "ReporterProbe.cpp", "", "InlinedHelper"},
    {"header", "ReporterProbeHeader.h", "", "HeaderFunction"},
};

void CheckProgram(const QString& program, const QString& carrier)
{
    const auto marks = Marks();
    const auto addresses = ReturnAddresses(program);
    ASSERT_EQ(addresses.size(), std::size(kRoutines)) << program.toStdString();
    TSivrelModuleOptions options("", false);
    TSivrelDataInfo info;
    ASSERT_TRUE(SivrelLoadDataBlock(carrier, options, info)) << carrier.toStdString();
    ASSERT_TRUE(info.DebugInfo.has_value());
    EXPECT_EQ(info.DataVersion, 467);
    EXPECT_EQ(options.EmailSubject(), "Probe report");
    EXPECT_EQ(options.GetText(3), "Fehler im Probeprogramm.\r\nBitte melden.");
    EXPECT_EQ(options.SendMode(), smSmtpRelay);
    EXPECT_EQ(options.CustomMessages(), QStringList{"Probe message"});
    for (const Expected& e : kRoutines) {
        SCOPED_TRACE(std::string(e.tag) + " in " + carrier.toStdString());
        const uint64_t ret = addresses.at(e.tag);
        TSivrelLineInfo line;
        // The byte before the return address lies in the call instruction.
        ASSERT_EQ(SivrelFindLine(*info.DebugInfo, info.DataVersion, ret - 1 - SivrelCodeOffsetBase, line),
                  TSivrelLookup::Found);
        EXPECT_EQ(line.UnitName, e.unit);
        EXPECT_EQ(line.ClassName, e.cls);
        EXPECT_EQ(line.ProcedureName, e.routine);
        EXPECT_EQ(line.Line, marks.at(e.tag));
    }
    // The name table lists the routines with their qualified names.
    EXPECT_TRUE(SivrelFindName(*info.DebugInfo, info.DataVersion, "Widget.Method").has_value());
    EXPECT_TRUE(SivrelFindName(*info.DebugInfo, info.DataVersion, "FreeFunction").has_value());
}

} // namespace

TEST(SivrelTool, DebugBuildOfTheProbe)
{
    CheckProgram(QLY_PROBE, QLY_PROBE);
}

TEST(SivrelTool, OptimisedBuildAndItsStrippedCopy)
{
    CheckProgram(QLY_PROBE_O2, QLY_PROBE_O2);
    CheckProgram(QLY_PROBE_O2, QLY_PROBE_O2 ".stripped");
}

TEST(SivrelTool, OptionsTextRejectsUnknownNamesAndBadValues)
{
    const struct {
        const char* text;
        bool ok;
        const char* error;
    } cases[] = {
        {"EmailSubject=x\n# comment\n\nSmtpPort=587\r\n", true, ""},
        {"NoSuchOption=1", false, "line 1: unknown option NoSuchOption"},
        {"SaveLog=1\nText71=x", false, "line 2: unknown option Text71"},
        {"SaveLog=2", false, "line 1: bad value for SaveLog: 2"},
        {"SmtpPort=70000", false, "line 1: bad value for SmtpPort: 70000"},
        {"CustomMessage=no colon", false, "line 1: bad value for CustomMessage: no colon"},
        {"EmailSubject", false, "line 1: unknown option EmailSubject"},
    };
    for (const auto& c : cases) {
        TSivrelModuleOptions o("", false);
        QString error;
        EXPECT_EQ(SivrelOptionsFromText(c.text, o, &error), c.ok) << c.text;
        EXPECT_EQ(error, c.error) << c.text;
    }
    TSivrelModuleOptions o("", false);
    ASSERT_TRUE(SivrelOptionsFromText("EmailBody=a\\nb\\\\n\nLogSections=0x10\nMaxLogReports=0", o, nullptr));
    EXPECT_EQ(o.EmailBody(), "a\r\nb\\n");
    EXPECT_EQ(o.LogSections(), 0x10u);
    EXPECT_EQ(o.MaxLogReports(), 1);

    // The tool fails the build on such a file.
    QProcess tool;
    tool.start(QStringLiteral(QLY_SLDATA), {"--program", QLY_PROBE, "--options", QLY_PROBE_SOURCE_DIR "/../SivrelToolTest.cpp",
                                            "--output", "/dev/null"});
    ASSERT_TRUE(tool.waitForFinished(20000));
    EXPECT_NE(tool.exitCode(), 0);
    EXPECT_TRUE(tool.readAllStandardError().contains("unknown option")) ;
}

namespace {

// A call site of the program's own code: the call instruction's address (a return address - 1).
struct CallSite {
    uint64_t address;
    QString function;
};

// The file offset of a loaded address, from the program headers.
std::optional<uint64_t> FileOffset(const QByteArray& elf, uint64_t address)
{
    if (elf.size() < qsizetype(sizeof(Elf64_Ehdr)))
        return std::nullopt;
    Elf64_Ehdr eh;
    std::memcpy(&eh, elf.constData(), sizeof eh);
    for (int i = 0; i < eh.e_phnum; ++i) {
        Elf64_Phdr ph;
        const uint64_t at = eh.e_phoff + uint64_t(i) * eh.e_phentsize;
        if (at + sizeof ph > uint64_t(elf.size()))
            return std::nullopt;
        std::memcpy(&ph, elf.constData() + at, sizeof ph);
        if (ph.p_type == PT_LOAD && address >= ph.p_vaddr && address < ph.p_vaddr + ph.p_filesz)
            return address - ph.p_vaddr + ph.p_offset;
    }
    return std::nullopt;
}

// Direct calls (E8 rel32 landing on a function's first byte) inside the program's own functions:
// those of its namespaces, not the standard library's.
std::vector<CallSite> OwnCallSites(const QString& program)
{
    QProcess nm;
    nm.start(QStringLiteral("nm"), {"-C", "-S", "--defined-only", program});
    EXPECT_TRUE(nm.waitForFinished(60000));
    struct Function {
        uint64_t start, size;
        QString name;
    };
    std::vector<Function> own;
    std::set<uint64_t> starts;
    static const QRegularExpression ownName(QStringLiteral("^(?!std::|__gnu_cxx::|__cxxabiv1::)([a-z][a-z0-9_]*|\\(anonymous namespace\\))::"));
    for (const QString& line : QString::fromUtf8(nm.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts)) {
        const QStringList f = line.split(u' ');
        if (f.size() < 4 || !QStringLiteral("tTwW").contains(f[2]))
            continue;
        const uint64_t start = f[0].toULongLong(nullptr, 16);
        starts.insert(start);
        const QString name = line.section(u' ', 3);
        if (ownName.match(name).hasMatch() && !name.contains(QStringLiteral("[clone")))
            own.push_back({start, f[1].toULongLong(nullptr, 16), name});
    }
    QFile file(program);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray elf = file.readAll();
    std::sort(own.begin(), own.end(), [](const Function& a, const Function& b) { return a.start < b.start; });
    std::vector<CallSite> sites;
    for (const Function& fn : own) {
        const auto offset = FileOffset(elf, fn.start);
        if (!offset || *offset + fn.size > uint64_t(elf.size()))
            continue;
        const auto* bytes = reinterpret_cast<const uint8_t*>(elf.constData() + *offset);
        for (uint64_t i = 0; i + 5 <= fn.size; ++i) {
            if (bytes[i] != 0xE8)
                continue;
            int32_t rel;
            std::memcpy(&rel, bytes + i + 1, 4);
            if (starts.count(fn.start + i + 5 + int64_t(rel))) {
                sites.push_back({fn.start + i + 4, fn.name});
                i += 4;
            }
        }
    }
    return sites;
}

// An addr2line's answer for each address: its chain of locations, innermost first.
struct Location {
    QString function, file;
    int line = 0;
    bool library = false; // in a header of the system's libraries
};
std::vector<std::vector<Location>> Addr2line(const QString& tool, const QString& program, const std::vector<uint64_t>& addresses)
{
    QStringList args{"-a", "-f", "-i", "-C", "-e", program};
    for (uint64_t a : addresses)
        args << QStringLiteral("0x%1").arg(a, 0, 16);
    QProcess p;
    p.start(tool, args);
    EXPECT_TRUE(p.waitForFinished(120000)) << tool.toStdString();
    std::vector<std::vector<Location>> answers;
    const QStringList lines = QString::fromUtf8(p.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (lines[i].startsWith(QStringLiteral("0x"))) {
            answers.emplace_back();
            continue;
        }
        if (answers.empty() || i + 1 >= lines.size())
            break;
        Location l;
        l.function = lines[i];
        const QString where = lines[++i].section(u' ', 0, 0);
        l.library = where.startsWith(QStringLiteral("/usr/"));
        l.file = where.section(u':', 0, -2).section(u'/', -1);
        l.line = where.section(u':', -1).toInt();
        answers.back().push_back(l);
    }
    return answers;
}

// A name without template arguments: "QList<int>.append<int&>" -> "QList.append".
QString WithoutTemplates(const QString& name)
{
    QString plain;
    int depth = 0;
    for (qsizetype i = 0; i < name.size(); ++i) {
        const QChar c = name[i];
        const bool op = plain.endsWith(QStringLiteral("operator"));
        if (c == u'<' && !op)
            ++depth;
        else if (c == u'>' && depth > 0 && !op)
            --depth;
        else if (depth == 0)
            plain += c;
    }
    return plain;
}

// "ns::Class::Routine<T>(args) const" -> its components without arguments and templates.
QStringList NameParts(QString function)
{
    function.replace(QStringLiteral("(anonymous namespace)"), QStringLiteral("{anonymous}"));
    // The C++ ABI tag of a routine returning std::string: "GetTextStr[abi:cxx11]()".
    function.remove(QRegularExpression(QStringLiteral("\\[abi:[^\\]]*\\]")));
    function = WithoutTemplates(function);
    qsizetype open = function.indexOf(u'(');
    if (function.mid(open - 8, 8) == QLatin1String("operator"))
        open = function.indexOf(u'(', open + 2);
    QString name = function.left(open);
    // A template's return type comes first: "long& QList::emplaceBack".
    if (!name.contains(QStringLiteral("operator")))
        name = name.section(u' ', -1);
    return name.split(QStringLiteral("::"));
}

} // namespace

// Frames of the program's own code, resolved through its debug block, name the same routine, unit
// and line as addr2line -i (in the build type these tests are built in): the innermost place, or,
// inside code inlined from a library header, the first place of the program's own code it was
// inlined into. GNU addr2line names the outer routine for the innermost place of inlined code:
// routines are taken from llvm-addr2line where it is installed.
TEST(SivrelTool, OwnCallSitesOfTheProgramMatchAddr2line)
{
    const QString program = QStringLiteral(QLY_QUILLORY);
    const std::vector<CallSite> sites = OwnCallSites(program);
    ASSERT_GE(sites.size(), 50u);
    std::vector<uint64_t> sample;
    for (size_t i = 0; i < 50; ++i)
        sample.push_back(sites[i * sites.size() / 50].address);
    const auto gnu = Addr2line(QStringLiteral("addr2line"), program, sample);
    ASSERT_EQ(gnu.size(), sample.size());
    // Debian's llvm-14 names it with its version; the unversioned link comes with the llvm package.
    QString llvmTool = QStandardPaths::findExecutable(QStringLiteral("llvm-addr2line-14"));
    if (llvmTool.isEmpty())
        llvmTool = QStandardPaths::findExecutable(QStringLiteral("llvm-addr2line"));
    const auto llvm = llvmTool.isEmpty() ? decltype(gnu)() : Addr2line(llvmTool, program, sample);
    if (llvmTool.isEmpty())
        std::printf("llvm-addr2line is not installed: innermost routines of inlined code are not compared\n");
    TSivrelModuleOptions options("", false);
    TSivrelDataInfo info;
    ASSERT_TRUE(SivrelLoadDataBlock(program, options, info));
    ASSERT_TRUE(info.DebugInfo.has_value());
    const TSivrelUnitIndex index = SivrelIndexUnits(*info.DebugInfo, info.DataVersion);
    EXPECT_TRUE(index.Usable) << "no two units of the block overlap";
    int compared = 0;
    for (size_t i = 0; i < sample.size(); ++i) {
        if (gnu[i].empty() || gnu[i].front().line == 0 || gnu[i].front().function == QLatin1String("??"))
            continue; // addr2line knows no line here either
        ++compared;
        size_t k = 0;
        while (k + 1 < gnu[i].size() && gnu[i][k].library)
            ++k;
        Location a = gnu[i][k];
        // GNU addr2line (2.40) names the unit's own file for some places in a header's inline
        // routine emitted in that unit (the destructor of a class whose key function lives in
        // the unit): the line is the header's, the file the unit's. llvm-addr2line reads the
        // file table right; its file is taken where the two agree on the line.
        if (llvm.size() == sample.size() && llvm[i].size() == gnu[i].size() && llvm[i][k].line == a.line)
            a.file = llvm[i][k].file;
        TSivrelLineInfo line;
        const TSivrelLookup found = SivrelFindLine(*info.DebugInfo, info.DataVersion, sample[i] - SivrelCodeOffsetBase, line, &index);
        QString function = a.function;
        bool bareName = false; // llvm-addr2line names an inlined routine without its class
        if (llvm.size() == sample.size() && llvm[i].size() == gnu[i].size()) {
            function = llvm[i][k].function;
            bareName = k + 1 < gnu[i].size();
        } else if (k == 0 && gnu[i].size() > 1) {
            function.clear();
        }
        const QStringList parts = NameParts(function);
        const QString expectedClass = line.ClassName.isEmpty() || (bareName && parts.size() < 2)
                                          ? WithoutTemplates(line.ClassName)
                                          : parts.value(parts.size() - 2);
        const bool sameName = function.isEmpty()
                              || (WithoutTemplates(line.ProcedureName) == parts.last() && WithoutTemplates(line.ClassName) == expectedClass);
        EXPECT_TRUE(found == TSivrelLookup::Found && line.UnitName == a.file && line.Line == a.line && sameName)
            << QStringLiteral("0x%1 in %2: block %3:%4 %5.%6, addr2line %7:%8 %9")
                   .arg(sample[i], 0, 16)
                   .arg(sites[i * sites.size() / 50].function)
                   .arg(line.UnitName)
                   .arg(line.Line)
                   .arg(line.ClassName, line.ProcedureName, a.file)
                   .arg(a.line)
                   .arg(function)
                   .toStdString();
    }
    EXPECT_GE(compared, 45);
}
