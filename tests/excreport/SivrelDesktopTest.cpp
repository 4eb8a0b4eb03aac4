// The reporter's dialogs on a real X server, answered the way a user answers them: the program
// (the one the run script builds) and the crash probe run under Xvfb, and xdotool moves the
// pointer, clicks and types. SivrelDesktop.XcbUnderXvfb starts this test program again under
// xvfb-run on the xcb platform, where the SivrelDesktopInner tests do the work.
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QPixmap>
#include <QProcess>
#include <QRegularExpression>
#include <QScreen>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>
#include <csignal>
#include <functional>
#include <memory>
#include <vector>

namespace {

constexpr const char* kInnerVar = "QLY_SIVREL_DESKTOP_INNER";

// Runs xdotool; its standard output (trimmed), or a null string when it failed.
QString Xdo(const QStringList& args, int timeoutMs = 15000)
{
    QProcess p;
    p.start(QStringLiteral("xdotool"), args);
    if (!p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished(1000);
        return QString();
    }
    if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        return QString();
    const QString out = QString::fromUtf8(p.readAllStandardOutput()).trimmed();
    return out.isNull() ? QStringLiteral("") : out;
}

bool WaitFor(const std::function<bool()>& done, int ms)
{
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < ms)
        QThread::msleep(100);
    return done();
}

// The visible windows whose title matches the pattern.
QStringList Windows(const QString& titlePattern)
{
    const QString out = Xdo({"search", "--onlyvisible", "--name", titlePattern});
    return out.isEmpty() ? QStringList() : out.split(u'\n');
}

QRect Geometry(const QString& window)
{
    const QString out = Xdo({"getwindowgeometry", "--shell", window});
    const auto value = [&out](const char* key) {
        return QRegularExpression(QStringLiteral("^%1=(-?\\d+)$").arg(QLatin1String(key)), QRegularExpression::MultilineOption)
            .match(out)
            .captured(1)
            .toInt();
    };
    return QRect(value("X"), value("Y"), value("WIDTH"), value("HEIGHT"));
}

bool ClickAt(QPoint p)
{
    // A synchronous move waits for the pointer to move: it starts elsewhere.
    Xdo({"mousemove", QString::number(p.x() + 40), QString::number(p.y() + 40)});
    return !Xdo({"mousemove", "--sync", QString::number(p.x()), QString::number(p.y())}).isNull()
           && !Xdo({"click", "1"}).isNull();
}

bool Key(const QString& keys)
{
    return !Xdo({"key", "--delay", "60", keys}).isNull();
}

// The whole screen into $QLY_EXC_SHOTS when that is set.
void SaveScreen(const QString& name)
{
    const QString dir = qEnvironmentVariable("QLY_EXC_SHOTS");
    if (dir.isEmpty() || !QGuiApplication::primaryScreen())
        return;
    QDir().mkpath(dir);
    QGuiApplication::primaryScreen()->grabWindow(0).save(dir + u'/' + name);
}

// The report dialog's OK button: centred, in the band above the check boxes (the program's
// options show no send box, so the band is 20 pixels high).
QPoint OkButton(const QRect& dialog)
{
    return QPoint(dialog.center().x(), dialog.bottom() - 44);
}

QStringList SourceLines(const QString& file)
{
    QFile f(QStringLiteral(QLY_SOURCE_DIR "/") + file);
    EXPECT_TRUE(f.open(QIODevice::ReadOnly)) << file.toStdString();
    return QString::fromUtf8(f.readAll()).split(u'\n');
}

int LineOf(const QString& file, const QString& text)
{
    const QStringList lines = SourceLines(file);
    for (int i = 0; i < lines.size(); ++i)
        if (lines[i].contains(text))
            return i + 1;
    return 0;
}

// The call-stack rows of a report: unit, class, routine and line cells.
struct Row {
    QString unit, cls, routine, line;
};
std::vector<Row> StackRows(const QString& log)
{
    std::vector<Row> rows;
    for (const QString& line : log.split(QStringLiteral("\r\n"))) {
        const QStringList cells = line.split(u'|');
        if (cells.size() == 8 && !cells[1].trimmed().isEmpty() && cells[1].trimmed() != QLatin1String("Address"))
            rows.push_back({cells[3].trimmed(), cells[4].trimmed(), cells[5].trimmed(), cells[6].trimmed()});
    }
    return rows;
}

QString ReadFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

// One program with private folders on the virtual display.
class Program {
public:
    explicit Program(const QString& exe, const QStringList& args = {})
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_STATE_HOME", "XDG_CACHE_HOME"})
            env.insert(name, home.filePath(QString::fromLatin1(name)));
        env.insert(QStringLiteral("HOME"), home.path());
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        env.remove(QStringLiteral("QLY_SIVREL_AUTOANSWER"));
        env.remove(QString::fromLatin1(kInnerVar));
        process.setProcessEnvironment(env);
        process.setWorkingDirectory(home.path());
        process.start(exe, args);
        process.waitForStarted(10000);
    }
    ~Program()
    {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(5000);
        }
    }
    QString State(const QString& file) const { return home.filePath(QStringLiteral("XDG_STATE_HOME/") + file); }
    bool Running() { return process.state() == QProcess::Running && ::kill(pid_t(process.processId()), 0) == 0; }
    QString Errors() { return QString::fromUtf8(process.readAllStandardError()); }

    QTemporaryDir home;
    QProcess process;
};

// The program's main window: shown, and the SMTP server field clicked.
QString StartAndClickSmtpField(Program& program)
{
    QString window;
    EXPECT_TRUE(WaitFor([&] {
        window = Xdo({"search", "--onlyvisible", "--pid", QString::number(program.process.processId())}).section(u'\n', 0, 0);
        return !window.isEmpty();
    }, 60000)) << program.Errors().toStdString();
    if (window.isEmpty())
        return window;
    QThread::msleep(500);
    const QRect main = Geometry(window);
    // Where the field lies in a window of this size.
    QTemporaryDir other;
    QProcess probe;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_STATE_HOME", "XDG_CACHE_HOME"})
        env.insert(name, other.filePath(QString::fromLatin1(name)));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    probe.setProcessEnvironment(env);
    probe.setWorkingDirectory(other.path());
    probe.start(QStringLiteral(QLY_MAINWINDOW), {"geometry", QString::number(main.width()), QString::number(main.height())});
    EXPECT_TRUE(probe.waitForFinished(60000));
    const auto m = QRegularExpression(QStringLiteral("field (\\d+) (\\d+) (\\d+) (\\d+) visible=1"))
                       .match(QString::fromUtf8(probe.readAllStandardOutput()));
    EXPECT_TRUE(m.hasMatch());
    const QRect field(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt(), m.captured(4).toInt());
    EXPECT_TRUE(ClickAt(main.topLeft() + field.center()));
    QThread::msleep(300);
    return window;
}

// The one report dialog that shows up (by its caption "Error."), or a null string.
QString WaitForDialog(const QString& title = QStringLiteral("^Error\\.$"), int ms = 30000)
{
    QString dialog;
    WaitFor([&] {
        const QStringList found = Windows(title);
        dialog = found.size() == 1 ? found.first() : QString();
        return !dialog.isEmpty();
    }, ms);
    return dialog;
}

class SivrelDesktopInner : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (qEnvironmentVariableIsEmpty(kInnerVar))
            GTEST_SKIP() << "runs inside SivrelDesktop.XcbUnderXvfb, on the xcb platform of a virtual X server";
        ASSERT_EQ(QGuiApplication::platformName(), QStringLiteral("xcb"));
    }
};

} // namespace

TEST(SivrelDesktop, XcbUnderXvfb)
{
    for (const char* tool : {"xvfb-run", "xdotool"})
        if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
            GTEST_SKIP() << tool << " is not installed";
    QProcess inner;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QString::fromLatin1(kInnerVar), QStringLiteral("1"));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    inner.setProcessEnvironment(env);
    inner.setProcessChannelMode(QProcess::MergedChannels);
    inner.start(QStringLiteral("xvfb-run"), {"-a", "-s", "-screen 0 1280x1024x24", QCoreApplication::applicationFilePath(),
                                             "--gtest_filter=SivrelDesktopInner.*"});
    ASSERT_TRUE(inner.waitForFinished(280000));
    const QString out = QString::fromUtf8(inner.readAll());
    EXPECT_EQ(inner.exitCode(), 0) << out.toStdString();
    EXPECT_TRUE(out.contains(QStringLiteral("[  PASSED  ]"))) << out.toStdString();
    EXPECT_FALSE(out.contains(QStringLiteral("[  SKIPPED ]"))) << out.toStdString();
}

TEST_F(SivrelDesktopInner, ShiftAltEInTheSmtpFieldIsAnsweredByClickReturnAndEscape)
{
    Program program(QStringLiteral(QLY_QUILLORY));
    ASSERT_FALSE(StartAndClickSmtpField(program).isEmpty());
    const QString logFile = program.State(QStringLiteral("ORV Software/Quillory/quillory.slf"));

    struct {
        const char* answer;
    } cases[] = {{"click"}, {"Return"}, {"Escape"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.answer);
        ASSERT_TRUE(Key(QStringLiteral("shift+alt+e")));
        const QString dialog = WaitForDialog();
        ASSERT_FALSE(dialog.isEmpty()) << program.Errors().toStdString();
        QThread::msleep(300);
        SaveScreen(QStringLiteral("desktop-dialog-%1.png").arg(QLatin1String(c.answer)));
        // The report is in the log while its dialog is still open.
        EXPECT_TRUE(ReadFile(logFile).contains(QStringLiteral("2.5 Message: Exception Log Check.")));
        if (QByteArray(c.answer) == "click")
            ASSERT_TRUE(ClickAt(OkButton(Geometry(dialog))));
        else
            ASSERT_TRUE(Key(QString::fromLatin1(c.answer)));
        EXPECT_TRUE(WaitFor([&] { return Windows(QStringLiteral("^Error\\.$")).isEmpty(); }, 10000));
        EXPECT_TRUE(program.Running()) << "the program goes on";
    }

    // Each report is logged (the program's options switch the duplicate test off); the frames
    // name our routines where they are.
    const QString log = ReadFile(logFile);
    EXPECT_EQ(log.count(QStringLiteral("2.5 Message: Exception Log Check.")), 3) << log.toStdString();
    const std::vector<Row> rows = StackRows(log);
    const struct {
        const char* routine;
        const char* cls;
        const char* unit;
        int line;
    } frames[] = {
        {"EditSmtpServerKeyDown", "TMainForm", "MainForm.cpp",
         LineOf(QStringLiteral("app/MainForm.cpp"), QStringLiteral("throw std::runtime_error(\"Exception Log Check\");"))},
        {"eventFilter", "TMainForm", "MainForm.cpp",
         LineOf(QStringLiteral("app/MainForm.cpp"), QStringLiteral("EditSmtpServerKeyDown(k->key(), k->modifiers());"))},
        {"RunProgram", "", "ProgramStart.cpp", LineOf(QStringLiteral("app/ProgramStart.cpp"), QStringLiteral("return app.exec();"))},
    };
    for (const auto& f : frames) {
        ASSERT_GT(f.line, 0) << f.routine;
        bool found = false;
        for (const Row& r : rows)
            found = found || (r.routine == QLatin1String(f.routine) && r.cls == QLatin1String(f.cls) && r.unit == QLatin1String(f.unit)
                              && r.line == QString::number(f.line));
        EXPECT_TRUE(found) << f.routine << " " << f.unit << ":" << f.line << "\n" << log.toStdString();
    }
}

TEST_F(SivrelDesktopInner, TheRequestDialogTakesTypedTextIntoTheLog)
{
    Program program(QStringLiteral(QLY_QUILLORY_REQUEST));
    ASSERT_FALSE(StartAndClickSmtpField(program).isEmpty());
    ASSERT_TRUE(Key(QStringLiteral("shift+alt+e")));
    const QString dialog = WaitForDialog();
    ASSERT_FALSE(dialog.isEmpty()) << program.Errors().toStdString();
    ASSERT_TRUE(ClickAt(OkButton(Geometry(dialog))));
    const QString request = WaitForDialog(QStringLiteral("^Request$"));
    ASSERT_FALSE(request.isEmpty()) << program.Errors().toStdString();
    const QRect r = Geometry(request);
    // Into the edit, then typed as a user types.
    ASSERT_TRUE(ClickAt(r.center()));
    ASSERT_FALSE(Xdo({"type", "--delay", "30", "Klick auf Senden"}).isNull());
    QThread::msleep(300);
    SaveScreen(QStringLiteral("desktop-request.png"));
    ASSERT_TRUE(Key(QStringLiteral("Escape")));
    EXPECT_TRUE(WaitFor([&] { return Windows(QStringLiteral("^Request$")).isEmpty(); }, 10000));
    const QString logFile = program.State(QStringLiteral("ORV Software/Quillory/quillory-request.slf"));
    EXPECT_TRUE(WaitFor([&] { return ReadFile(logFile).contains(QStringLiteral("Request:\r\n")); }, 10000));
    const QString log = ReadFile(logFile);
    EXPECT_TRUE(log.contains(QStringLiteral("\r\nRequest:\r\n") + QString(40, u'-') + QStringLiteral("\r\nKlick auf Senden")))
        << log.toStdString();
    EXPECT_EQ(log.count(QStringLiteral("2.5 Message: Exception Log Check.")), 1) << log.toStdString();
    EXPECT_TRUE(program.Running());
}

// A SIGSEGV in the window thread (its dialog comes from the helper process) and in a worker that
// the window thread waits for: the dialog stays usable past the 30 s give-up, the report with the
// fault's registers is in the log while the dialog is open, and OK ends the program and its dialog.
TEST_F(SivrelDesktopInner, CrashDialogsStayUsableFor60Seconds)
{
    std::vector<std::unique_ptr<Program>> programs;
    for (const char* which : {"segv", "thread"})
        programs.push_back(std::make_unique<Program>(QStringLiteral(QLY_CRASH), QStringList{QString::fromLatin1(which)}));
    QStringList dialogs;
    ASSERT_TRUE(WaitFor([&] { dialogs = Windows(QStringLiteral("^Error\\.$")); return dialogs.size() == 2; }, 60000))
        << programs[0]->Errors().toStdString() << programs[1]->Errors().toStdString();
    QElapsedTimer open;
    open.start();
    for (auto& p : programs) {
        const QString log = ReadFile(p->State(QStringLiteral("qly_reporter_crash.slf")));
        EXPECT_TRUE(log.contains(QStringLiteral("Access violation at address"))) << log.toStdString();
        const QString address = QRegularExpression(QStringLiteral("2\\.2 Address: ([0-9A-F]+)")).match(log).captured(1);
        EXPECT_FALSE(address.isEmpty());
        EXPECT_TRUE(log.contains(QStringLiteral("RIP: ") + address)) << "the fault's registers\n" << log.toStdString();
        EXPECT_FALSE(log.contains(QStringLiteral("????"))) << log.toStdString();
    }
    SaveScreen(QStringLiteral("desktop-crash-dialogs.png"));
    while (open.elapsed() < 61000)
        QThread::msleep(500);
    EXPECT_EQ(Windows(QStringLiteral("^Error\\.$")).size(), 2);
    for (auto& p : programs)
        EXPECT_TRUE(p->Running()) << p->Errors().toStdString();
    // The two dialogs lie on top of each other: a click on OK answers the upper one, then the other.
    for (int left = 2; left > 0; --left) {
        const QStringList open = Windows(QStringLiteral("^Error\\.$"));
        ASSERT_EQ(open.size(), left);
        ASSERT_TRUE(ClickAt(OkButton(Geometry(open.last()))));
        EXPECT_TRUE(WaitFor([&] { return Windows(QStringLiteral("^Error\\.$")).size() < left; }, 10000));
    }
    for (auto& p : programs) {
        EXPECT_TRUE(p->process.waitForFinished(20000));
        EXPECT_EQ(p->process.exitStatus(), QProcess::CrashExit) << "the signal ends the program after its report";
        EXPECT_FALSE(p->Errors().contains(QStringLiteral("given up")));
    }
    EXPECT_TRUE(WaitFor([&] { return Windows(QStringLiteral("^Error\\.$")).isEmpty(); }, 10000)) << "no dialog is left behind";
}
