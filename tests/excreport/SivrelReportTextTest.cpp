// The report text and the values of its general section.
#include "excreport/SivrelModules.h"
#include "excreport/SivrelOptions.h"
#include "excreport/SivrelReportText.h"
#include "excreport/SivrelValues.h"
#include <QLocale>
#include <cstring>
#include <gtest/gtest.h>
#include <stdexcept>

using namespace excreport;

namespace {
const std::time_t g_loaded = std::time(nullptr);
}


namespace {

TSivrelReportInput SampleInput()
{
    TSivrelReportInput in;
    const char* values[23] = {"Mon, 7 Dec 2026 09:00:00 +0100", "Quillory", "1.2.0.7", "\"-x\"",
                              "Mon, 7 Dec 2026 09:05:00 +0100", "00005555DEADBEEF", "quillory", "std::runtime_error",
                              "Boom.", "QMainWindow", "Quillory", "QLineEdit", "abc",
                              "host", "anna", "7800 Mb", "1200 Mb", "75 Gb", "1.5 Gb",
                              "Debian GNU/Linux 12 (bookworm)", "6.1.0", "#1 SMP", ""};
    for (int i = 0; i < 23; ++i)
        in.Items[size_t(i)] = QString::fromUtf8(values[i]);
    return in;
}

const char* const FullHeader =
    "SivrelLog 4.6.7\r\n\r\n"
    "Application:\r\n"
    "------------------------------------------------------\r\n"
    "  1.1 Start Date      : Mon, 7 Dec 2026 09:00:00 +0100\r\n"
    "  1.2 Name/Description: Quillory\r\n"
    "  1.3 Version Number  : 1.2.0.7\r\n"
    "  1.4 Parameters      : \"-x\"\r\n"
    "\r\n"
    "Exception:\r\n"
    "---------------------------------------------\r\n"
    "  2.1 Date   : Mon, 7 Dec 2026 09:05:00 +0100\r\n"
    "  2.2 Address: 00005555DEADBEEF\r\n"
    "  2.3 Module : quillory\r\n"
    "  2.4 Type   : std::runtime_error\r\n"
    "  2.5 Message: Boom.\r\n"
    "\r\n"
    "Active Controls:\r\n"
    "--------------------------------\r\n"
    "  3.1 Form Class   : QMainWindow\r\n"
    "  3.2 Form Text    : Quillory\r\n"
    "  3.3 Control Class: QLineEdit\r\n"
    "  3.4 Control Text : abc\r\n"
    "\r\n"
    "Computer:\r\n"
    "---------------------------\r\n"
    "  4.1 Name        : host\r\n"
    "  4.2 User        : anna\r\n"
    "  4.3 Total Memory: 7800 Mb\r\n"
    "  4.4 Free Memory : 1200 Mb\r\n"
    "  4.5 Total Disk  : 75 Gb\r\n"
    "  4.6 Free Disk   : 1.5 Gb\r\n"
    "\r\n"
    "Operating System:\r\n"
    "----------------------------------------------\r\n"
    "  5.1 Type    : Debian GNU/Linux 12 (bookworm)\r\n"
    "  5.2 Build # : 6.1.0\r\n"
    "  5.3 Update  : #1 SMP\r\n"
    "  5.4 Language: \r\n";

} // namespace

TEST(SivrelReportText, HeaderWithMasksAndHiddenSections)
{
    TSivrelModuleOptions options(QString(), false);
    TSivrelReportInput in = SampleInput();
    EXPECT_EQ(BuildReportHeader(in, options).toStdString(), FullHeader);

    // Section 1 alone (mask 0xF); the other sections go with their empty lines.
    options.SetLogSections(0xF);
    EXPECT_EQ(BuildReportHeader(in, options).toStdString(),
              "SivrelLog 4.6.7\r\n\r\nApplication:\r\n"
              "------------------------------------------------------\r\n"
              "  1.1 Start Date      : Mon, 7 Dec 2026 09:00:00 +0100\r\n"
              "  1.2 Name/Description: Quillory\r\n"
              "  1.3 Version Number  : 1.2.0.7\r\n"
              "  1.4 Parameters      : \"-x\"\r\n");
    // Without item 1.2 the others keep their numbers and align among themselves.
    options.SetLogSections(0xF & ~2u);
    EXPECT_EQ(BuildReportHeader(in, options).toStdString(),
              "SivrelLog 4.6.7\r\n\r\nApplication:\r\n"
              "----------------------------------------------------\r\n"
              "  1.1 Start Date    : Mon, 7 Dec 2026 09:00:00 +0100\r\n"
              "  1.3 Version Number: 1.2.0.7\r\n"
              "  1.4 Parameters    : \"-x\"\r\n");

    // Without section 3 (mask or console program) section 4 still numbers from 4.1.
    for (const bool console : {false, true}) {
        options.SetLogSections(console ? 0xFFFFFFFFu : ~(0xFu << 9));
        in.HideActiveControls = console;
        const QString text = BuildReportHeader(in, options);
        EXPECT_FALSE(text.contains(QStringLiteral("Active Controls"))) << console;
        EXPECT_TRUE(text.contains(QStringLiteral("  2.5 Message: Boom.\r\n\r\nComputer:\r\n"))) << console;
        EXPECT_TRUE(text.contains(QStringLiteral("  4.1 Name        : host"))) << console;
    }

    // A value with a line break stays on its line.
    in = SampleInput();
    in.Items[8] = QStringLiteral("two\r\nlines");
    options.SetLogSections(0xFFFFFFFFu);
    EXPECT_TRUE(BuildReportHeader(in, options).contains(QStringLiteral("  2.5 Message: two  lines\r\n")));
}

TEST(SivrelReportText, CallStackAndModuleTables)
{
    TSivrelModuleOptions options(QString(), false);
    // The dash lines are as long as the rows: the widths and the seven bars.
    const std::string d58(58, '-'), d80(80, '-'), d68(68, '-');
    EXPECT_EQ(BuildCallStackTable({}, options).toStdString(),
              "Call Stack Information:\r\n" + d58 + "\r\n|Address         |Module|Unit|Class|Procedure/Method|Line|\r\n"
                  + d58 + "\r\n" + d58);

    auto module = std::make_shared<TSivrelModuleInfo>();
    module->FileName = QStringLiteral("/usr/bin/quillory");
    module->Handle = 0x5555AAAA0000;
    module->Description = QStringLiteral("Quillory");
    module->Version = QStringLiteral("1.2.0.7");
    module->FileSize = 1234567;
    std::vector<TSivrelDebugInfo> stack(4);
    stack[0] = {4, module, 0x5555AAAA1234, QStringLiteral("MainForm.cpp"), QStringLiteral("TMainForm"),
                QStringLiteral("EditSmtpServerKeyDown"), 812};
    stack[1] = {1, module, 0x5555AAAA2000, {}, {}, {}, 0};  // module only: left out
    stack[2] = {3, nullptr, 0x7F0000001000, QStringLiteral("QWidget"), {}, QStringLiteral("event"), 0};
    stack[3] = {0, nullptr, 0x10, {}, {}, {}, 0};
    // A 19-character address caption widens the column; addresses stay 16 digits.
    options.SetText(47, QStringLiteral("Return address here"));
    EXPECT_EQ(BuildCallStackTable(stack, options).toStdString(),
              "Call Stack Information:\r\n" + d80 + "\r\n"
                  "|Return address here|Module  |Unit        |Class    |Procedure/Method     |Line|\r\n" + d80 + "\r\n"
                  "|00005555AAAA1234   |quillory|MainForm.cpp|TMainForm|EditSmtpServerKeyDown|812 |\r\n"
                  "|00007F0000001000   |        |QWidget     |         |event                |    |\r\n" + d80);

    auto root = std::make_shared<TSivrelModuleInfo>();
    root->FileName = QStringLiteral("/init");
    root->Handle = 0x1000;
    // A 20-character handle caption zero-pads the handles to 20 digits.
    options.SetText(62, QStringLiteral("Load base of module."));
    EXPECT_EQ(BuildModulesTable({module, root}, options).toStdString(),
              "Modules Information:\r\n" + d68 + "\r\n"
                  "|Load base of module.|Name    |Description|Version|Size   |Path    |\r\n" + d68 + "\r\n"
                  "|000000005555AAAA0000|quillory|Quillory   |1.2.0.7|1234567|/usr/bin|\r\n"
                  "|00000000000000001000|init    |           |       |0      |/       |\r\n" + d68);
}

TEST(SivrelReportText, CpuSection)
{
    TSivrelModuleOptions options(QString(), false);
    TSivrelReportInput in;
    const std::string head = "Registers:\r\n" + std::string(45, '-') + "\r\n";
    const std::string unknown(12, ' ');
    const std::string caption = "\r\nStack:" + std::string(31, ' ') + "Memory Dump:\r\n" + std::string(34, '-')
                                + "   " + std::string(83, '-') + "\r\n";
    EXPECT_EQ(BuildCPUText(in, options).toStdString(),
              head + "RAX: ????" + unknown + "   RDI: ????" + unknown + "\r\n" + "RBX: ????" + unknown
                  + "   RSI: ????" + unknown + "\r\n" + "RCX: ????" + unknown + "   RSP: ????" + unknown + "\r\n"
                  + "RDX: ????" + unknown + "   RIP: ????" + unknown + "\r\n" + caption);

    // Over a fixture buffer: the stack words and the memory bytes with their characters.
    alignas(8) static uint8_t memory[256];
    alignas(8) static uint64_t stack[16];
    for (int i = 0; i < 256; ++i)
        memory[i] = uint8_t(i);
    for (int i = 0; i < 16; ++i)
        stack[i] = 0x1111111111111111ull * uint64_t(i);
    in.Registers = TSivrelRegisters{1, 2, 3, 4, 5, 6, 7, 0xFFFFFFFFFFFFFFFFull};
    in.StackPointer = 0x7FFC00001000;
    in.ExceptionAddress = 0x400000;
    in.ReadMemory = [&](uintptr_t a, void* d, size_t n) {
        if (a == 0x7FFC00001000 && n == sizeof stack)
            std::memcpy(d, stack, n);
        else if (a == 0x400000 && n == sizeof memory)
            std::memcpy(d, memory, n);
        else
            return false;
        return true;
    };
    const QStringList lines = BuildCPUText(in, options).split(QStringLiteral("\r\n"));
    ASSERT_EQ(lines.size(), 2 + 4 + 3 + 16 + 1);
    EXPECT_EQ(lines[2].toStdString(), "RAX: 0000000000000001   RDI: 0000000000000002");
    EXPECT_EQ(lines[5].toStdString(), "RDX: 0000000000000007   RIP: FFFFFFFFFFFFFFFF");
    EXPECT_EQ(lines[9].toStdString(), "00007FFC00001000: 0000000000000000   0000000000400000: "
                                      "00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F  ................");
    EXPECT_EQ(lines[13].toStdString(), "00007FFC00001020: 4444444444444444   0000000000400040: "
                                       "40 41 42 43 44 45 46 47 48 49 4A 4B 4C 4D 4E 4F  @ABCDEFGHIJKLMNO");
    EXPECT_EQ(lines[24].toStdString(), "00007FFC00001078: FFFFFFFFFFFFFFFF   00000000004000F0: "
                                       "F0 F1 F2 F3 F4 F5 F6 F7 F8 F9 FA FB FC FD FE FF  ................");
    EXPECT_EQ(lines[25], QString());
    // Memory that cannot be read: nothing after the dashes.
    in.ExceptionAddress = 0x10;
    EXPECT_TRUE(BuildCPUText(in, options).endsWith(QString(83, u'-') + QStringLiteral("\r\n")));
}

TEST(SivrelReportText, WholeReportAndRequestSection)
{
    TSivrelModuleOptions options(QString(), false);
    TSivrelReportInput in = SampleInput();
    TSivrelReportTexts texts;
    const QString report = BuildStackReport(in, options, texts);
    EXPECT_EQ(texts.HeaderText.toStdString(), FullHeader);
    EXPECT_EQ(report, texts.HeaderText + QStringLiteral("\r\n") + BuildCallStackTable({}, options)
                          + QStringLiteral("\r\n\r\n") + BuildModulesTable({}, options) + QStringLiteral("\r\n\r\n")
                          + texts.CPUText);
    EXPECT_EQ(texts.MailText, report);
    EXPECT_EQ(texts.IntroText, options.GetText(3) + QStringLiteral("\r\n\r\n"));
    EXPECT_EQ(texts.DupAddress, QStringLiteral("00005555DEADBEEF"));
    EXPECT_EQ(texts.DupModule, QStringLiteral("quillory"));
    EXPECT_EQ(texts.DupType, QStringLiteral("std::runtime_error"));
    EXPECT_EQ(texts.DupMessage, QStringLiteral("Boom."));

    const QString section = QStringLiteral("\r\nRequest:\r\n") + QString(40, u'-') + QStringLiteral("\r\nI clicked.");
    struct Case {
        uint8_t flags;
        bool duplicate;
        const char* request;
        bool appended;
    } cases[] = {{2, false, "I clicked.", true}, {0, false, "I clicked.", false}, {2, true, "I clicked.", false},
                 {2, false, "", false}};
    for (const Case& c : cases) {
        TSivrelReportTexts t = texts;
        t.RequestText = QString::fromUtf8(c.request);
        options.SetLogFlags(c.flags);
        AppendRequestSection(t, options, c.duplicate);
        EXPECT_EQ(t.ReportText, c.appended ? report + section : report) << int(c.flags) << c.duplicate;
        EXPECT_EQ(t.MailText, t.ReportText);
    }
}

TEST(SivrelValues, DatesUnderSeveralZonesAndLocales)
{
    const QByteArray saved = qgetenv("TZ");
    const std::time_t winter = 1796950923; // 2026-12-11 01:02:03 UTC, a Friday
    struct {
        const char* zone;
        const char* text;
    } cases[] = {{"Europe/Berlin", "Fri, 11 Dec 2026 02:02:03 +0100"},
                 {"America/New_York", "Thu, 10 Dec 2026 20:02:03 -0500"},
                 {"UTC", "Fri, 11 Dec 2026 01:02:03 +0000"},
                 {"Asia/Kolkata", "Fri, 11 Dec 2026 06:32:03 +0530"}};
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    std::setlocale(LC_ALL, "de_DE.UTF-8");
    for (const auto& c : cases) {
        qputenv("TZ", c.zone);
        tzset();
        EXPECT_EQ(ReportDate(winter).toStdString(), c.text) << c.zone;
    }
    std::setlocale(LC_ALL, "C");
    QLocale::setDefault(QLocale::c());
    if (saved.isNull())
        qunsetenv("TZ");
    else
        qputenv("TZ", saved);
    tzset();
}

TEST(SivrelValues, ItemValues)
{
    struct Case {
        std::exception_ptr error;
        const char* type;
        const char* message;
    };
    const Case cases[] = {
        {nullptr, "Unknown exception type.", "Unknown error message."},
        {std::make_exception_ptr(std::runtime_error("Boom")), "std::runtime_error", "Boom."},
        {std::make_exception_ptr(std::runtime_error("Done.")), "std::runtime_error", "Done."},
        {std::make_exception_ptr(std::runtime_error("")), "std::runtime_error", ""},
        {std::make_exception_ptr(ESivrelError(QStringLiteral("Line\r\nbreak"))), "excreport::ESivrelError",
         "Line\r\nbreak."},
        {std::make_exception_ptr(42), "int", "Unknown error message."},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ExceptionTypeText(c.error).toStdString(), c.type);
        EXPECT_EQ(ExceptionMessageText(c.error).toStdString(), c.message);
    }
    // The item is blanked; the dialog's text keeps the line break.
    EXPECT_EQ(Blanked(QStringLiteral("Line\r\nbreak.\t")), QStringLiteral("Line  break. "));
    EXPECT_EQ(DialogBlanked(QStringLiteral("Line\r\nbreak.\t")), QStringLiteral("Line\r\nbreak. "));

    EXPECT_EQ(FormatGb(80530636800ull, u'.'), QStringLiteral("75 Gb"));
    EXPECT_EQ(FormatGb(1610612736ull, u'.'), QStringLiteral("1.5 Gb"));
    EXPECT_EQ(FormatGb(1610612736ull, u','), QStringLiteral("1,5 Gb"));
    EXPECT_EQ(FormatMb(3u * 1048576u / 2u), QStringLiteral("2 Mb")); // 1.5 → 2
    EXPECT_EQ(FormatMb(5u * 1048576u / 2u), QStringLiteral("2 Mb")); // 2.5 → 2
    EXPECT_EQ(QuotedArguments({QStringLiteral("a b"), QStringLiteral("-x")}), QStringLiteral("\"a b\" \"-x\""));
    EXPECT_EQ(QuotedArguments({}), QString());

    // Address 0 lies nowhere: the item is empty and the module is the main program.
    TSivrelValueSources sources;
    const auto values = GatherReportValues(sources);
    EXPECT_EQ(values[5], QString());
    EXPECT_EQ(values[6], QStringLiteral("test_excreport"));
    // Mapped memory of no module (the heap) gives an empty module; code of the program its name.
    auto heap = std::make_unique<char[]>(1 << 20);
    EXPECT_EQ(ModuleNameOfAddress(reinterpret_cast<uintptr_t>(heap.get())), QString());
    EXPECT_EQ(ModuleNameOfAddress(reinterpret_cast<uintptr_t>(&GatherReportValues)), QStringLiteral("test_excreport"));
    EXPECT_TRUE(values[15].endsWith(QStringLiteral(" Mb")));
    EXPECT_TRUE(values[17].endsWith(QStringLiteral(" Gb")));
    EXPECT_FALSE(values[19].isEmpty());
    EXPECT_FALSE(values[20].isEmpty());
    // The process started before this test program's static objects were made (a whole run of
    // the tests may take minutes).
    EXPECT_LE(std::difftime(ProcessStartTime(), g_loaded), 1.0);
    EXPECT_LE(std::difftime(g_loaded, ProcessStartTime()), 60.0);
}
