#include "app/ProgramStart.h"
#include "core/DatabaseLocation.h"
#include "platform/db/Connection.h"
#include "platform/settings/RegIniFile.h"
#include "QtPrint.h"
#include "TestUtil.h"
#include "PermissionChecks.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <gtest/gtest.h>

namespace {

const QString kKey = QStringLiteral("Software\\ORV Software\\Quillory2");

// One start of the database open and upgrade with chosen folders and a recording of what it did.
class DatabaseStart : public ::testing::Test {
protected:
    void SetUp() override
    {
        QDir(qEnvironmentVariable("XDG_CONFIG_HOME")).removeRecursively();
        QDir().mkpath(dir.file("program"));
        QDir().mkpath(dir.file("data"));
        qlytest::writeFileBytes(dir.file("regular-file"), "x");
        site.title = "Quillory";
        site.programFolder = dir.file("program");
        site.appDataFolder = dir.file("data");
        handlers.showMessage = [this](const QString& m) { messages << m; };
        handlers.terminate = [this] { ++terminateRequests; };
        handlers.askUnusable = [this](const QString& text) {
            questions << text;
            if (onQuestion)
                onQuestion();
            if (answers.isEmpty()) {
                ADD_FAILURE() << "unexpected question: " << text.toStdString();
                return core::DatabaseChoice::Quit;
            }
            return answers.takeFirst();
        };
    }

    bool Start()
    {
        settings::TRegIniFile ini(kKey);
        return app::OpenAndUpgradeDatabase(conn, ini, site, handlers, [this](const QString& m) { messages << m; });
    }

    QString Recorded() const { return settings::TRegIniFile(kKey).ReadString("database", "file", "<none>"); }

    // Tables and the Settings rows of a database file.
    static void ExpectFreshSchema(const QString& path)
    {
        db::Connection c;
        c.Open(path);
        QStringList tables;
        for (const QVariantList& row : c.Select("SELECT name FROM sqlite_master WHERE type = 'table' ORDER BY name"))
            tables << row[0].toString();
        EXPECT_EQ(tables, (QStringList{"Attachments", "QlyMails", "RecipientsLists", "Settings", "sqlite_sequence"}));
        const QList<QVariantList> rows = c.Select("SELECT \"Key\", \"Value\" FROM \"Settings\"");
        ASSERT_EQ(rows.size(), 1);
        EXPECT_EQ(rows[0][0].toString(), "DBVersion");
        EXPECT_EQ(rows[0][1].toString(), "31");
    }

    qlytest::TempDir dir;
    core::DatabaseSite site;
    core::DatabaseOpenHandlers handlers;
    db::Connection conn;
    QStringList messages;
    QStringList questions;
    QList<core::DatabaseChoice> answers;
    std::function<void()> onQuestion;
    int terminateRequests = 0;
};

} // namespace

TEST_F(DatabaseStart, FirstStartCreatesTheFileBesideTheProgram)
{
    ASSERT_TRUE(Start());
    const QString path = dir.file("program/qly.db");
    EXPECT_EQ(conn.FileName(), path);
    EXPECT_EQ(Recorded(), path);
    EXPECT_TRUE(messages.isEmpty()) << messages.join("|").toStdString();
    EXPECT_EQ(terminateRequests, 0);
    EXPECT_FALSE(QFile::exists(dir.file("data/qly.db")));
    conn.Close();
    ExpectFreshSchema(path);
}

TEST_F(DatabaseStart, ProgramFolderNotWritableUsesTheDataFolder)
{
    site.programFolder = dir.file("regular-file/bin");
    ASSERT_TRUE(Start());
    const QString path = dir.file("data/qly.db");
    EXPECT_EQ(conn.FileName(), path);
    EXPECT_EQ(Recorded(), path);
    conn.Close();
    ExpectFreshSchema(path);
}

TEST_F(DatabaseStart, DataFolderDefaultsToTheApplicationDataFolder)
{
    site.programFolder = dir.file("regular-file/bin");
    site.appDataFolder.clear();
    ASSERT_TRUE(Start());
    const QString path = qEnvironmentVariable("XDG_DATA_HOME") + "/ORV Software/Quillory/qly.db";
    EXPECT_EQ(conn.FileName(), path);
    EXPECT_EQ(Recorded(), path);
}

TEST_F(DatabaseStart, MissingRecordedFileFallsBackAndSaysSo)
{
    struct Case { const char* name; QString recorded; bool programWritable; QString expected; };
    const Case cases[] = {
        {"file gone", dir.file("gone.db"), true, dir.file("program/qly.db")},
        {"folder gone", dir.file("gone/qly.db"), true, dir.file("program/qly.db")},
        {"file gone, program folder not writable", dir.file("gone.db"), false, dir.file("data/qly.db")},
    };
    // Which location failed and why goes to a logging category that is silent unless enabled.
    static QStringList logged;
    logged.clear();
    const QtMessageHandler previous = qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString& m) {
        logged << m;
    });
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QFile::remove(dir.file("program/qly.db"));
        QFile::remove(dir.file("data/qly.db"));
        messages.clear();
        settings::TRegIniFile(kKey).WriteString("database", "file", c.recorded);
        site.programFolder = c.programWritable ? dir.file("program") : dir.file("regular-file/bin");
        ASSERT_TRUE(Start());
        EXPECT_EQ(conn.FileName(), c.expected);
        EXPECT_EQ(Recorded(), c.expected);
        EXPECT_EQ(messages, QStringList{core::DatabaseMissingText(c.recorded, c.expected)});
        EXPECT_TRUE(questions.isEmpty());
        conn.Close();
        ExpectFreshSchema(c.expected);
    }
    qInstallMessageHandler(previous);
    EXPECT_FALSE(logged.join('\n').contains("Database not usable")) << logged.join('\n').toStdString();
}

TEST_F(DatabaseStart, RecordedFileThatCannotBeUsedIsNeverReplaced)
{
    struct Case { const char* name; QString path; core::DatabaseProblem problem; };
    qlytest::writeFileBytes(dir.file("text.txt"), "Email;Last Name\nnot a database at all\n");
    qlytest::writeFileBytes(dir.file("empty-looking.db"), QByteArray(4096, '\0').replace(0, 6, "SQLite"));
    ASSERT_TRUE(Start());
    conn.Close();
    const QByteArray good = qlytest::readFileBytes(dir.file("program/qly.db"));
    qlytest::writeFileBytes(dir.file("header-only.db"), good.left(100));
    qlytest::writeFileBytes(dir.file("half.db"), good.left(good.size() / 2));
    QDir().mkpath(dir.file("a-folder.db"));
    const Case cases[] = {
        {"not SQLite", dir.file("text.txt"), core::DatabaseProblem::Damaged},
        {"damaged header", dir.file("empty-looking.db"), core::DatabaseProblem::Damaged},
        {"header only", dir.file("header-only.db"), core::DatabaseProblem::Damaged},
        {"cut in half", dir.file("half.db"), core::DatabaseProblem::Damaged},
        {"a folder", dir.file("a-folder.db"), core::DatabaseProblem::Damaged},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QByteArray before = qlytest::readFileBytes(c.path);
        settings::TRegIniFile(kKey).WriteString("database", "file", c.path);

        // Quit: nothing opened, nothing created, the application asked to end.
        QFile::remove(dir.file("program/qly.db"));
        questions.clear();
        messages.clear();
        terminateRequests = 0;
        answers = {core::DatabaseChoice::Quit};
        EXPECT_FALSE(Start());
        EXPECT_FALSE(conn.Connected());
        EXPECT_EQ(terminateRequests, 1);
        ASSERT_EQ(questions.size(), 1);
        EXPECT_EQ(questions[0], core::DatabaseUnusableText(c.path, {c.problem, {}}));
        EXPECT_TRUE(messages.isEmpty());
        EXPECT_FALSE(QFile::exists(dir.file("program/qly.db")));

        // This run only: the program folder's file, not recorded.
        questions.clear();
        answers = {core::DatabaseChoice::FallbackThisRun};
        ASSERT_TRUE(Start());
        EXPECT_EQ(conn.FileName(), dir.file("program/qly.db"));
        EXPECT_EQ(questions.size(), 1);
        EXPECT_TRUE(messages.isEmpty());
        conn.Close();
        ExpectFreshSchema(dir.file("program/qly.db"));

        EXPECT_EQ(Recorded(), c.path);
        EXPECT_EQ(qlytest::readFileBytes(c.path), before);
    }
}

TEST_F(DatabaseStart, TheFallbackSkipsTheRecordedFileAndReportsWhenNothingIsLeft)
{
    // The recorded file is the program folder's own: the fallback goes on to the data folder.
    const QString own = dir.file("program/qly.db");
    qlytest::writeFileBytes(own, "kaputt");
    settings::TRegIniFile(kKey).WriteString("database", "file", own);
    answers = {core::DatabaseChoice::FallbackThisRun};
    ASSERT_TRUE(Start());
    EXPECT_EQ(conn.FileName(), dir.file("data/qly.db"));
    EXPECT_EQ(Recorded(), own);
    EXPECT_EQ(qlytest::readFileBytes(own), "kaputt");
    conn.Close();

    // No default location works: the plain failure message, and the recorded path stays.
    site.appDataFolder = dir.file("regular-file/data");
    answers = {core::DatabaseChoice::FallbackThisRun};
    messages.clear();
    EXPECT_FALSE(Start());
    EXPECT_EQ(messages, QStringList{core::DatabaseOpenFailedText()});
    EXPECT_EQ(terminateRequests, 1);
    EXPECT_EQ(Recorded(), own);
}

TEST_F(DatabaseStart, RetryWaitsForTheLockAndOpensTheFile)
{
    ASSERT_TRUE(Start());
    conn.Close();
    const QString own = dir.file("program/qly.db");
    db::Connection other;
    other.Open(own);
    other.Execute("BEGIN EXCLUSIVE");
    conn.SetBusyTimeout(200);
    // Still locked at the first answer, free at the second.
    answers = {core::DatabaseChoice::Retry, core::DatabaseChoice::Retry};
    onQuestion = [&] {
        if (questions.size() == 2)
            other.Close();
    };
    ASSERT_TRUE(Start());
    EXPECT_EQ(conn.FileName(), own);
    ASSERT_EQ(questions.size(), 2);
    EXPECT_EQ(questions[0], core::DatabaseUnusableText(own, {core::DatabaseProblem::InUse, {}}));
    EXPECT_TRUE(questions[0].contains(QString::fromUtf8("von einem anderen Programm verwendet")));
    EXPECT_EQ(Recorded(), own);
    EXPECT_EQ(terminateRequests, 0);
}

TEST_F(DatabaseStart, AFileThatMayOnlyBeReadIsNoPermission)
{
    ASSERT_TRUE(Start());
    conn.Close();
    const QString own = dir.file("program/qly.db");
    const QByteArray before = qlytest::readFileBytes(own);
    ASSERT_TRUE(QFile::setPermissions(own, QFile::ReadOwner));
    answers = {core::DatabaseChoice::Quit};
    bool opened = true;
    {
        qlytest::PermissionChecksApply asAUser;
        opened = Start();
    }
    QFile::setPermissions(own, QFile::ReadOwner | QFile::WriteOwner);
    EXPECT_FALSE(opened);
    ASSERT_EQ(questions.size(), 1);
    EXPECT_EQ(questions[0], core::DatabaseUnusableText(own, {core::DatabaseProblem::NoPermission, {}}));
    EXPECT_EQ(Recorded(), own);
    EXPECT_EQ(qlytest::readFileBytes(own), before);
}

TEST_F(DatabaseStart, RecordedWorkingFileIsUsedAsItIs)
{
    ASSERT_TRUE(Start());
    conn.Close();
    // Move it elsewhere and record the new place: the start takes it and records nothing new.
    ASSERT_TRUE(QFile::rename(dir.file("program/qly.db"), dir.file("moved.db")));
    settings::TRegIniFile(kKey).WriteString("database", "file", dir.file("moved.db"));
    QStringList log;
    conn.OnStatement = [&log](const QString& sql) { log << sql; };
    ASSERT_TRUE(Start());
    EXPECT_EQ(conn.FileName(), dir.file("moved.db"));
    EXPECT_FALSE(QFile::exists(dir.file("program/qly.db")));
    EXPECT_EQ(Recorded(), dir.file("moved.db"));
    for (const QString& sql : log)
        EXPECT_FALSE(sql.contains("CREATE", Qt::CaseInsensitive) || sql.contains("UPDATE", Qt::CaseInsensitive))
            << sql.toStdString();
}

TEST_F(DatabaseStart, EveryLocationFailingShowsTheMessageAndQuits)
{
    site.programFolder = dir.file("regular-file/bin");
    site.appDataFolder = dir.file("regular-file/data");
    bool result = true;
    EXPECT_NO_THROW(result = Start()) << "no schema statement may run on the closed connection";
    EXPECT_FALSE(result);
    EXPECT_FALSE(conn.Connected());
    EXPECT_EQ(messages, QStringList{QString::fromUtf8("Die Quillory Datenbank konnte nicht erstellt oder geöffnet werden. "
                                                      "(Please report to: support@quillory.de)")});
    EXPECT_EQ(terminateRequests, 1);
    EXPECT_EQ(Recorded(), "<none>");
}

TEST(MdacCheck, VersionBoundsAndQuestion)
{
    const QLocale comma(QLocale::German, QLocale::Germany);
    const QLocale point(QLocale::English, QLocale::UnitedStates);
    struct Case { double v; bool tooOld; };
    const Case cases[] = {{0.0, false}, {-1.0, false}, {2.5, false}, {2.8, false}, {3.4, false},
                          {2.1, true}, {0.1, true}, {2.4999, true}};
    for (const Case& c : cases) {
        int asked = 0;
        const bool goOn = app::CheckMdacVersion(c.v, comma, [&](const QString&) { ++asked; return false; }, {});
        EXPECT_EQ(app::MdacVersionTooOld(c.v), c.tooOld) << c.v;
        EXPECT_EQ(goOn, !c.tooOld) << c.v;
        EXPECT_EQ(asked, c.tooOld ? 1 : 0) << c.v;
    }

    // Too old: both answers end the start; Yes also runs the download.
    QString question;
    int downloads = 0;
    EXPECT_FALSE(app::CheckMdacVersion(2.1, comma, [&](const QString& q) { question = q; return true; },
                                       [&] { ++downloads; }));
    EXPECT_EQ(downloads, 1);
    EXPECT_FALSE(app::CheckMdacVersion(2.1, comma, [](const QString&) { return false; }, [&] { ++downloads; }));
    EXPECT_EQ(downloads, 1);
    EXPECT_EQ(question, "Quillory needs a newer version of Microsoft MDAC driver. Installed version is V2.1. Quillory\r\n"
                        "can automatically download the needed driver. This may need some minutes. After finish the "
                        "system will reboot.\r\nStart updare now?");
    EXPECT_TRUE(app::MdacQuestionText(2.1, point).contains("is V2.1. Quillory"));
}

TEST(ProgramStart, TheProgramShowsItsMainWindow)
{
    // A copy of the program in a folder of its own, so its database lands there.
    qlytest::TempDir dir;
    const QString program = dir.file("quillory");
    ASSERT_TRUE(QFile::copy(QStringLiteral(QLY_PROGRAM), program));
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("QLY_QUIT_AFTER_SHOW", "1");
    env.insert("XDG_CONFIG_HOME", dir.file("config"));
    env.insert("XDG_DATA_HOME", dir.file("data"));
    p.setProcessEnvironment(env);
    p.start(program, {});
    ASSERT_TRUE(p.waitForFinished(30000));
    EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
    EXPECT_EQ(QString::fromUtf8(p.readAllStandardOutput()).trimmed(), "shown=Quillory visible=1 icon=1");
    EXPECT_TRUE(QFile::exists(dir.file("qly.db")));
    const QByteArray savedConfig = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", dir.file("config").toUtf8());
    EXPECT_EQ(settings::TRegIniFile(kKey).ReadString("database", "file", ""), dir.file("qly.db"));
    qputenv("XDG_CONFIG_HOME", savedConfig);
}

TEST(ProgramStart, TheProgramStartsWithoutTheLibrariesItLoadsOnFirstNeed)
{
    // The loader names every library it loads (LD_DEBUG=files); from start to end of a run that
    // only shows the window, the libraries of the web engine, mailing, imports, help, pictures,
    // printing and downloads are not among them: they come on first need.
    qlytest::TempDir dir;
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("QLY_QUIT_AFTER_SHOW", "1");
    env.insert("XDG_CONFIG_HOME", dir.file("config"));
    env.insert("XDG_DATA_HOME", dir.file("data"));
    env.insert("LD_DEBUG", "files");
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(QLY_PROGRAM), {});
    ASSERT_TRUE(p.waitForFinished(30000));
    EXPECT_EQ(p.exitCode(), 0);
    EXPECT_EQ(QString::fromUtf8(p.readAllStandardOutput()).trimmed(), "shown=Quillory visible=1 icon=1");
    const QByteArray loaded = p.readAllStandardError();
    ASSERT_TRUE(loaded.contains("file=libQt6Widgets.so")) << "the loader's list of files is missing";
    for (const char* library : {"libQt6WebEngine", "libcurl", "libgmime", "libidn2", "libpff", "libmdb", "libodbc",
                                "libwmf", "libchm", "libQt6Network", "libQt6PrintSupport", "libQt6Svg", "imageformats/"})
        EXPECT_FALSE(loaded.contains(library)) << library << "\n" << loaded.toStdString();
}
