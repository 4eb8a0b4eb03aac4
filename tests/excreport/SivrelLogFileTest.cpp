// The log file: its layout when read and rewritten, the duplicate test and the log step.
#include "excreport/SivrelLogFile.h"
#include "excreport/SivrelOptions.h"
#include "excreport/SivrelReport.h"
#include "excreport/SivrelReportText.h"
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace excreport;

namespace {

QByteArray ReadAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

void WriteAll(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

// A report whose items 2.2 to 2.5 hold the given values.
TSivrelReportTexts Report(const QString& address, const QString& module, const QString& type, const QString& message)
{
    TSivrelModuleOptions options(QString(), false);
    TSivrelReportInput in;
    in.Items[5] = address;
    in.Items[6] = module;
    in.Items[7] = type;
    in.Items[8] = message;
    TSivrelReportTexts texts;
    BuildStackReport(in, options, texts);
    return texts;
}

} // namespace

TEST(SivrelLogFile, PathFollowsOutputPath)
{
    TSivrelModuleOptions options(QStringLiteral("/opt/quillory/bin/quillory"), false);
    const QString state = SivrelStateFolder();
    struct {
        const char* output;
        QString path;
    } cases[] = {{"", state + QStringLiteral("/quillory.slf")},
                 {"ORV Software/Quillory", state + QStringLiteral("/ORV Software/Quillory/quillory.slf")},
                 {"/var/tmp/logs", QStringLiteral("/var/tmp/logs/quillory.slf")},
                 {"/var/tmp/logs/", QStringLiteral("/var/tmp/logs/quillory.slf")},
                 {"/var/tmp/Errors.SLF", QStringLiteral("/var/tmp/Errors.SLF")}};
    for (const auto& c : cases) {
        options.SetOutputPath(QString::fromUtf8(c.output));
        EXPECT_EQ(options.LogFileName(), c.path) << c.output;
    }
}

TEST(SivrelLogFile, EntriesAreKeptAsTheLogIsReadAndRewritten)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("new/sub/app.slf"));
    // MaxLogReports 2: each run reads, adds one report and rewrites the file.
    for (const char* r : {"R1", "R2", "R3"}) {
        TLogFile log(path);
        log.Add(QString::fromLatin1(r), 2);
        log.Save();
    }
    EXPECT_EQ(ReadAll(path), QByteArray("R2\r\n\r\n\r\n\r\nR3\r\n\r\n\r\n\r\n\r\n"));
    EXPECT_EQ(QFile::permissions(dir.filePath(QStringLiteral("new/sub"))) & 0x0077, 0) << "folder made 0700";

    // A tail with fewer than four CR LF is no entry and is lost on the next rewrite.
    WriteAll(path, "A\r\n\r\n\r\n\r\nB\r\n\r\n\r\n");
    {
        TLogFile log(path);
        EXPECT_EQ(log.Entries(), QStringList{QStringLiteral("A\r\n\r\n\r\n")});
        log.Add(QStringLiteral("C"), 32);
        log.Save();
    }
    EXPECT_EQ(ReadAll(path), QByteArray("A\r\n\r\n\r\n\r\nC\r\n\r\n\r\n\r\n\r\n"));

    // An empty file has no entries; MaxLogReports 1 keeps the newest only.
    WriteAll(path, "");
    TLogFile empty(path);
    EXPECT_TRUE(empty.Entries().isEmpty());
    EXPECT_EQ(TLogFile::ParseEntries(QStringLiteral("x\r\n\r\n\r\n\r\ny\r\n\r\n\r\n\r\n\r\n")),
              (QStringList{QStringLiteral("x\r\n\r\n\r\n"), QStringLiteral("y\r\n\r\n\r\n")}));
}

TEST(SivrelLogFile, DuplicateTest)
{
    QTemporaryDir dir;
    TSivrelModuleOptions options(dir.filePath(QStringLiteral("app")), false);
    options.SetOutputPath(dir.path());
    options.SetLogFlags(1);
    const TSivrelReportTexts stored = Report("00005555DEADBEEF", "app", "std::runtime_error", "Boom.");
    {
        TLogFile log(options.LogFileName());
        log.Add(stored.ReportText, 32);
        log.Save();
    }
    struct {
        const char* address;
        const char* module;
        const char* type;
        const char* message;
        uint8_t flags;
        bool duplicate;
    } cases[] = {
        {"00005555DEADBEEF", "app", "std::runtime_error", "Boom.", 1, true},
        {"00005555DEADBEEF", "app", "std::runtime_error", "boom.", 1, false},   // case counts
        {"00005555DEADBEEF", "app", "std::runtime_error", "Boom!", 1, false},   // message differs
        {"00005555DEADBEE0", "app", "std::runtime_error", "Boom.", 1, false},   // address differs
        {"00005555DEADBEEF", "App", "std::runtime_error", "Boom.", 1, false},
        {"00005555DEADBEEF", "app", "std::logic_error", "Boom.", 1, false},
        {"00005555DEADBEEF", "app", "std::runtime_error", "Boom.", 0, false},   // bit 0 off
    };
    for (const auto& c : cases) {
        options.SetLogFlags(c.flags);
        EXPECT_EQ(IsDuplicateReport(options, Report(c.address, c.module, c.type, c.message)), c.duplicate)
            << c.address << " " << c.module << " " << c.type << " " << c.message << " " << int(c.flags);
    }

    // A stored report whose item 2.5 was masked out never matches.
    {
        TSivrelModuleOptions masked(QString(), false);
        masked.SetLogSections(~(1u << 8));
        TSivrelReportInput in;
        in.Items[5] = QStringLiteral("1");
        in.Items[6] = QStringLiteral("m");
        in.Items[7] = QStringLiteral("t");
        in.Items[8] = QStringLiteral("x");
        TSivrelReportTexts t;
        BuildStackReport(in, masked, t);
        TLogFile log(options.LogFileName());
        log.Add(t.ReportText, 32);
        EXPECT_FALSE(log.Contains({"2.2", "2.3", "2.4", "2.5"}, {"1", "m", "t", "x"}));
        EXPECT_TRUE(log.Contains({"2.2", "2.3", "2.4"}, {"1", "m", "t"}));
    }

    // A log that cannot be read: a warning, and the report counts as new.
    options.SetLogFlags(1);
    options.SetOutputPath(dir.filePath(QStringLiteral("app.slf/inside.slf")));
    WriteAll(dir.filePath(QStringLiteral("app.slf")), "a file, not a folder");
    ClearWarning();
    EXPECT_FALSE(IsDuplicateReport(options, stored));
    EXPECT_EQ(SivrelReport().LastWarningCode, eeLogError);
    EXPECT_TRUE(SivrelReport().LastWarning.startsWith(QStringLiteral("[Log] "))) << SivrelReport().LastWarning.toStdString();
}

TEST(SivrelLogFile, LogStep)
{
    QTemporaryDir dir;
    TSivrelModuleOptions options(dir.filePath(QStringLiteral("app")), false);
    options.SetOutputPath(dir.path());
    options.SetLogFlags(2);
    TSivrelReportTexts texts = Report("1", "app", "E", "First.");
    texts.RequestText = NormalizeRequestText(QStringLiteral("  I clicked.\r\n\r\n\r\n\r\n\r\nThen it broke. \r\n"));
    EXPECT_EQ(texts.RequestText, QStringLiteral("I clicked.\r\n\r\nThen it broke."));
    bool appended = false;
    WriteReportToLog(options, texts, false, appended);
    // A repeated step adds the report again only to the list it reads, not the request section.
    WriteReportToLog(options, texts, false, appended);
    const QString request = QStringLiteral("\r\nRequest:\r\n") + QString(40, u'-') + QStringLiteral("\r\nI clicked.");
    EXPECT_EQ(texts.ReportText.count(QStringLiteral("Request:")), 1);
    {
        TLogFile log(options.LogFileName());
        ASSERT_EQ(log.Entries().size(), 2);
        EXPECT_TRUE(log.Entries()[1].contains(request));
        EXPECT_EQ(TLogFile::ParseEntries(log.GetText()).size(), 2) << "the request does not split the entry";
    }

    // MailWholeLog: the mailed text is the whole log; a duplicate is not logged.
    options.SetMailWholeLog(true);
    TSivrelReportTexts second = Report("2", "app", "E", "Second.");
    bool appended2 = false;
    WriteReportToLog(options, second, true, appended2);
    EXPECT_EQ(TLogFile(options.LogFileName()).Entries().size(), 2);
    WriteReportToLog(options, second, false, appended2);
    EXPECT_EQ(second.MailText, QString::fromUtf8(ReadAll(options.LogFileName())));

    // A folder that cannot hold the log fails the step.
    WriteAll(dir.filePath(QStringLiteral("blocked")), "file");
    options.SetOutputPath(dir.filePath(QStringLiteral("blocked/x.slf")));
    EXPECT_THROW(WriteReportToLog(options, second, false, appended2), ESivrelError);
}
