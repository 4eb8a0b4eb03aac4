// The build step end to end: probe programs built with qly_reporter_data carry a data block whose
// debug block names the file, class, routine and line of return addresses inside their routines.
#include "excreport/SivrelDataBlock.h"
#include "excreport/SivrelDebugBlock.h"
#include "excreport/SivrelOptions.h"
#include "excreport/SivrelOptionsText.h"
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <gtest/gtest.h>
#include <map>

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
