#include "excreport/SivrelOptions.h"
#include "excreport/SivrelStream.h"
#include "excreport/SivrelTypes.h"
#include "tests/excreport/SivrelTestStreams.h"
#include <gtest/gtest.h>
#include <functional>

using namespace excreport;

namespace {

using Options = TSivrelModuleOptions;

// One option seen as text, so a table can compare any field.
struct Field {
    const char* name;
    std::function<QString(const Options&)> get;
};

QString B(bool v) { return v ? "1" : "0"; }
QString N(long long v) { return QString::number(v); }

const std::vector<Field>& Fields()
{
    static const std::vector<Field> fields = {
        {"SmtpFrom", [](const Options& o) { return o.SmtpFrom(); }},
        {"SmtpHost", [](const Options& o) { return o.SmtpHost(); }},
        {"SmtpUser", [](const Options& o) { return o.SmtpUser(); }},
        {"SmtpPassword", [](const Options& o) { return o.SmtpPassword(); }},
        {"SmtpPort", [](const Options& o) { return N(o.SmtpPort()); }},
        {"TerminateAction", [](const Options& o) { return N(o.TerminateAction()); }},
        {"FreezeActive", [](const Options& o) { return B(o.FreezeActive()); }},
        {"FreezeTimeout", [](const Options& o) { return N(o.FreezeTimeout()); }},
        {"FreezeMessage", [](const Options& o) { return o.FreezeMessage(); }},
        {"CustomDialogLook", [](const Options& o) { return B(o.CustomDialogLook()); }},
        {"LogSections", [](const Options& o) { return N(o.LogSections()); }},
        {"CustomMessageClasses", [](const Options& o) { return o.CustomMessageClasses().join('|'); }},
        {"CustomMessages", [](const Options& o) { return o.CustomMessages().join('|'); }},
        {"SpareSwitch", [](const Options& o) { return B(o.SpareSwitch()); }},
        {"UseCustomMessages", [](const Options& o) { return B(o.UseCustomMessages()); }},
        {"ShowDialog", [](const Options& o) { return B(o.ShowDialog()); }},
        {"LogInMailBody", [](const Options& o) { return B(o.LogInMailBody()); }},
        {"AttachScreenshot", [](const Options& o) { return B(o.AttachScreenshot()); }},
        {"ShowSmtpProgress", [](const Options& o) { return B(o.ShowSmtpProgress()); }},
        {"OfferTerminate", [](const Options& o) { return B(o.OfferTerminate()); }},
        {"SaveLog", [](const Options& o) { return B(o.SaveLog()); }},
        {"MailWholeLog", [](const Options& o) { return B(o.MailWholeLog()); }},
        {"LogFlags", [](const Options& o) { return N(o.LogFlags()); }},
        {"InitialTab", [](const Options& o) { return N(o.InitialTab()); }},
        {"MaxLogReports", [](const Options& o) { return N(o.MaxLogReports()); }},
        {"TerminateThreshold", [](const Options& o) { return N(o.TerminateThreshold()); }},
        {"OutputPath", [](const Options& o) { return o.OutputPath(); }},
        {"EmailAddress", [](const Options& o) { return o.EmailAddress(); }},
        {"EmailSubject", [](const Options& o) { return o.EmailSubject(); }},
        {"EmailBody", [](const Options& o) { return o.EmailBody(); }},
        {"SendMode", [](const Options& o) { return N(o.SendMode()); }},
        {"Texts", [](const Options& o) {
             QStringList t;
             for (int i = 0; i < SivrelTextCount; ++i)
                 t << o.GetText(i);
             return t.join('|');
         }},
    };
    return fields;
}

// Every stored field at a value other than its default.
void SetAllOtherThanDefault(Options& o)
{
    o.SetSmtpFrom("from@example.org");
    o.SetSmtpHost("mail.example.org");
    o.SetSmtpUser("user");
    o.SetSmtpPassword("pässwort");
    o.SetSmtpPort(587);
    o.SetTerminateAction(taTerminate);
    o.SetFreezeActive(true);
    o.SetFreezeTimeout(17);
    o.SetFreezeMessage("Eingefroren");
    o.SetCustomDialogLook(false);
    o.SetLogSections(0x00500005);
    o.SetCustomMessageClasses({"EAccessViolation", "EDivByZero"});
    o.SetCustomMessages({"Zugriff", "Division"});
    o.SetSpareSwitch(false);
    o.SetUseCustomMessages(false);
    o.SetShowDialog(false);
    o.SetLogInMailBody(true);
    o.SetAttachScreenshot(true);
    o.SetShowSmtpProgress(false);
    o.SetOfferTerminate(false);
    o.SetSaveLog(false);
    o.SetMailWholeLog(true);
    o.SetLogFlags(3);
    o.SetInitialTab(2);
    o.SetMaxLogReports(7);
    o.SetTerminateThreshold(9);
    o.SetOutputPath("/var/log/q");
    o.SetEmailAddress("a@example.org;b@example.org");
    o.SetEmailSubject("Fehler");
    o.SetEmailBody("Zeile 1\r\nZeile 2");
    o.SetSendMode(smSmtpDirect);
    for (int i = 0; i < SivrelTextCount; ++i)
        o.SetText(i, QString("Text %1").arg(i));
}

QByteArray Saved(const Options& o)
{
    TSivrelStream s;
    o.SaveToStream(s);
    return s.Data();
}

void Load(Options& o, const QByteArray& bytes, int version)
{
    TSivrelStream s(bytes);
    o.LoadFromStream(s, version);
    EXPECT_EQ(s.Left(), 0) << "stream not read to its end";
}

} // namespace

TEST(SivrelOptions, RoundTripAtCurrentVersionKeepsEveryField)
{
    Options defaults("", false), source("", false), target("", false);
    SetAllOtherThanDefault(source);
    source.SetActive(false);
    Load(target, Saved(source), SivrelDataVersion);
    for (const Field& f : Fields()) {
        EXPECT_NE(f.get(source), f.get(defaults)) << f.name << " was not set to a value of its own";
        EXPECT_EQ(f.get(target), f.get(source)) << f.name;
    }
    EXPECT_TRUE(target.Active()) << "Active is not part of the stream";
}

TEST(SivrelOptions, TrailingLineBreakOfAStringIsDropped)
{
    const struct {
        QString in, out;
    } cases[] = {
        {"abc\r\n", "abc"}, {"a\r\nb\r\n", "a\r\nb\r\n"}, {"\r\n", ""}, {"\r", "\r"}, {"ab\n", "ab\n"},
    };
    for (const auto& c : cases) {
        Options source("", false), target("", false);
        source.SetEmailBody(c.in);
        source.SetText(3, c.in);
        Load(target, Saved(source), SivrelDataVersion);
        EXPECT_EQ(target.EmailBody(), c.out) << c.in.toStdString();
        EXPECT_EQ(target.GetText(3), c.out) << c.in.toStdString();
    }
}

TEST(SivrelOptions, MessageCountIsTheLongerList)
{
    Options source("", false), target("", false);
    source.SetCustomMessageClasses({"E1", "E2", "E3"});
    source.SetCustomMessages({"m1"});
    Load(target, Saved(source), SivrelDataVersion);
    EXPECT_EQ(target.CustomMessageClasses(), QStringList({"E1", "E2", "E3"}));
    EXPECT_EQ(target.CustomMessages(), QStringList({"m1", "", ""}));

    source.SetCustomMessageClasses({});
    source.SetCustomMessages({"x", "y"});
    Load(target, Saved(source), SivrelDataVersion);
    EXPECT_EQ(target.CustomMessageClasses(), QStringList({"", ""}));
    EXPECT_EQ(target.CustomMessages(), QStringList({"x", "y"}));
}


TEST(SivrelOptions, Version400Stream)
{
    Options o("", false);
    Load(o, OldStream{}.Build(400), 400);
    EXPECT_FALSE(o.ShowDialog()) << "stored 1 is inverted below 450";
    EXPECT_TRUE(o.SaveLog());
    EXPECT_EQ(o.InitialTab(), 0);
    EXPECT_TRUE(o.CustomDialogLook());
    EXPECT_EQ(o.LogSections(), 0x12345678u);
    EXPECT_EQ(o.OutputPath(), "/out") << "the byte after LogSections is skipped";
    EXPECT_EQ(o.CustomMessageClasses(), QStringList{"EFoo"});
    EXPECT_EQ(o.EmailBody(), "body");
    EXPECT_EQ(o.FreezeMessage(), "The application seems to be frozen.");
    EXPECT_EQ(o.SmtpPort(), 25);
    const struct {
        int index;
        QString value;
    } texts[] = {
        {0, "S0"}, {8, "Modules"}, {11, "CPU Information"}, {13, "S13"}, {14, "&Restart"}, {15, "&Details"},
        {16, "&Send this error via Email"}, {18, "&Copy to Clipboard"}, {22, "S22"}, {23, "Parameters"},
        {37, "User"}, {45, "Update"}, {47, "Address"}, {48, "Module"}, {52, "S52"},
        {55, "Resolving MX record..."}, {70, "Memory Dump"},
    };
    for (const auto& t : texts)
        EXPECT_EQ(o.GetText(t.index), t.value) << "text " << t.index;

    Options shown("", false);
    OldStream hidden;
    hidden.showDialog = 0;
    Load(shown, hidden.Build(400), 400);
    EXPECT_TRUE(shown.ShowDialog());
}

TEST(SivrelOptions, Version421SendModeAndFreezeTimeout)
{
    const struct {
        uint8_t stored;
        QString host;
        TSivrelSendMode expected;
    } cases[] = {
        {1, "smtp.example.org", smSmtpRelay}, {1, "", smMailClient}, {3, "", smMailClient}, {0, "x", smNone},
    };
    for (const auto& c : cases) {
        OldStream st;
        st.sendMode = c.stored;
        st.smtpHost = c.host;
        st.freezeTimeout = 60000;
        Options o("", false);
        Load(o, st.Build(421), 421);
        EXPECT_EQ(o.SendMode(), c.expected) << int(c.stored) << " " << c.host.toStdString();
        EXPECT_EQ(o.FreezeTimeout(), 60);
        EXPECT_EQ(o.SmtpHost(), c.host);
        EXPECT_EQ(o.SmtpUser(), "u");
        EXPECT_EQ(o.TerminateAction(), taTerminate);
        EXPECT_EQ(o.GetText(14), "S14");
        EXPECT_EQ(o.GetText(15), "S15");
        EXPECT_EQ(o.GetText(16), "&Send this error via Email");
    }
    // Version 420 has no user, password or terminate action, and not yet text 14.
    OldStream v420;
    v420.freezeTimeout = 30000;
    Options o420("", false);
    Load(o420, v420.Build(420), 420);
    EXPECT_EQ(o420.FreezeTimeout(), 30);
    EXPECT_EQ(o420.SmtpUser(), "");
    EXPECT_EQ(o420.TerminateAction(), taRestart);
    EXPECT_EQ(o420.GetText(14), "&Restart");
    EXPECT_EQ(o420.GetText(15), "S15");
    // From 422 on the timeout is stored in seconds.
    OldStream v422;
    v422.freezeTimeout = 45;
    Options o422("", false);
    Load(o422, v422.Build(422), 422);
    EXPECT_EQ(o422.FreezeTimeout(), 45);
}

TEST(SivrelOptions, StreamThatEndsEarlyRaisesReadError)
{
    Options source("", false);
    SetAllOtherThanDefault(source);
    const QByteArray bytes = Saved(source);
    for (qsizetype cut : {qsizetype(0), qsizetype(3), bytes.size() / 2, bytes.size() - 1}) {
        Options o("", false);
        TSivrelStream s(bytes.left(cut));
        EXPECT_THROW(o.LoadFromStream(s, SivrelDataVersion), EReadError) << cut;
        EXPECT_EQ(o.UpdateCount(), 0);
    }
    // A string length beyond the stream's end is an error, not an allocation.
    TSivrelStream s;
    s.WriteLongWord(0xFFFFFFF0u);
    EXPECT_THROW(s.ReadScrambled(), EReadError);
}

TEST(SivrelOptions, DefaultsSettersAndAssign)
{
    Options o("/usr/bin/quillory", false);
    EXPECT_EQ(o.GetText(3), "An error has occurred during program execution.\r\n"
                            "Please read the following information for further details.");
    EXPECT_EQ(o.GetText(55), "Resolving MX record...");
    EXPECT_EQ(o.GetText(20), "Start Date");
    EXPECT_EQ(o.SmtpFrom(), "report@example.invalid");
    EXPECT_EQ(o.SmtpPort(), 25);
    EXPECT_EQ(o.FreezeTimeout(), 60);
    EXPECT_EQ(o.MaxLogReports(), 32);
    EXPECT_EQ(o.LogSections(), 0xFFFFFFFFu);
    EXPECT_EQ(o.TerminateAction(), taRestart);
    EXPECT_TRUE(o.Active());

    o.SetMaxLogReports(0);
    EXPECT_EQ(o.MaxLogReports(), 1);
    EXPECT_EQ(Options("", false).GetText(71), QString());

    try {
        o.Assign(nullptr);
        FAIL() << "no exception";
    } catch (const EConvertError& e) {
        EXPECT_EQ(e.Message(), "Impossible to assign nil as TSivrelModuleOptions.");
    }

    Options source("/other/module", false);
    SetAllOtherThanDefault(source);
    source.SetActive(false);
    o.Assign(&source);
    for (const Field& f : Fields())
        EXPECT_EQ(f.get(o), f.get(source)) << f.name;
    EXPECT_TRUE(o.Active());
    EXPECT_EQ(o.ModuleName(), "/usr/bin/quillory");
    o.Assign(&o);
    EXPECT_EQ(o.SmtpHost(), "mail.example.org");
}

TEST(SivrelOptions, LogFilePathFollowsOutputPath)
{
    qputenv("XDG_STATE_HOME", "/home/u/.local/state");
    const struct {
        QString outputPath, module, path, name;
    } cases[] = {
        {"", "/usr/bin/quillory", "/home/u/.local/state/quillory", "/home/u/.local/state/quillory.slf"},
        {"logs", "/usr/bin/quillory", "/home/u/.local/state/logs/quillory", "/home/u/.local/state/logs/quillory.slf"},
        {"/var/log/q/", "/opt/q/quillory.bin", "/var/log/q/quillory.bin", "/var/log/q/quillory.slf"},
        {"/var/log/q", "/a.b/quillory", "/var/log/q/quillory", "/var/log/q/quillory.slf"},
        {"/var/log/X.SLF", "/usr/bin/quillory", "/var/log/X.SLF", "/var/log/X.SLF"},
        {"X.SLF", "/usr/bin/quillory", "/home/u/.local/state/X.SLF", "/home/u/.local/state/X.SLF"},
        {"/var/log.d/x", "/a.b/quillory", "/var/log.d/x/quillory", "/var/log.d/x/quillory.slf"},
    };
    for (const auto& c : cases) {
        Options o(c.module, false);
        o.SetOutputPath(c.outputPath);
        EXPECT_EQ(o.LogFilePath(c.module), c.path) << c.outputPath.toStdString();
        EXPECT_EQ(o.LogFileName(), c.name) << c.outputPath.toStdString();
    }
    qunsetenv("XDG_STATE_HOME");
    Options o("/usr/bin/quillory", false);
    EXPECT_TRUE(o.LogFileName().endsWith("/.local/state/quillory.slf")) << o.LogFileName().toStdString();
}
