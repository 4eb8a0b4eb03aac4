#include "excreport/SivrelGui.h"
#include "excreport/SivrelDialog.h"
#include "excreport/SivrelExcept.h"
#include "excreport/SivrelListeners.h"
#include "excreport/SivrelReport.h"
#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QMessageBox>
#include <QSocketNotifier>
#include <QThread>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <vector>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace excreport {

namespace {

constexpr const char* HelperVariable = "QLY_SIVREL_HELPER";

bool AutoAnswer()
{
    return qEnvironmentVariableIsSet("QLY_SIVREL_AUTOANSWER");
}

bool OnGuiThread()
{
    return QCoreApplication::instance() && QThread::currentThread() == QCoreApplication::instance()->thread();
}

bool DisplayExists()
{
    return qEnvironmentVariableIsSet("DISPLAY") || qEnvironmentVariableIsSet("WAYLAND_DISPLAY")
           || qEnvironmentVariableIsSet("QT_QPA_PLATFORM");
}

void ShowBox(const QString& caption, const QString& text, bool helper)
{
    if (AutoAnswer()) {
        const QByteArray line = (helper ? "[box from helper] " : "[box] ") + caption.toUtf8() + '|' + text.toUtf8() + '\n';
        std::fwrite(line.constData(), 1, size_t(line.size()), stderr);
        std::fflush(stderr);
        return;
    }
    QMessageBox box(QMessageBox::Information, caption, text, QMessageBox::Ok);
    box.setWindowFlag(Qt::WindowStaysOnTopHint);
    box.setProperty("sivrelReporterWindow", true);
    const TSivrelWindowOpen open;
    box.exec();
}

// The step's data for the helper: two texts, each as a 32-bit length and UTF-8 bytes.
QByteArray Pack(const QString& a, const QString& b)
{
    QByteArray out;
    for (const QString& s : {a, b}) {
        const QByteArray bytes = s.toUtf8();
        const uint32_t n = uint32_t(bytes.size());
        out.append(reinterpret_cast<const char*>(&n), 4);
        out.append(bytes);
    }
    return out;
}

bool WriteAll(int fd, const void* data, size_t size)
{
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = ::write(fd, p, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        p += n;
        size -= size_t(n);
    }
    return true;
}

bool ReadAll(int fd, void* data, size_t size)
{
    char* p = static_cast<char*>(data);
    while (size > 0) {
        const ssize_t n = ::read(fd, p, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        p += n;
        size -= size_t(n);
    }
    return true;
}

// The helper's window lives no longer than the program that started it: its input pipe ends
// when that program has ended.
void EndWithTheProgram()
{
    auto* watch = new QSocketNotifier(STDIN_FILENO, QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(watch, &QSocketNotifier::activated, [] {
        char byte;
        ssize_t n;
        while ((n = ::read(STDIN_FILENO, &byte, 1)) < 0 && errno == EINTR) {
        }
        if (n <= 0)
            std::_Exit(3);
    });
}

bool Unpack(const QByteArray& data, QString& a, QString& b)
{
    qsizetype at = 0;
    for (QString* s : {&a, &b}) {
        if (at + 4 > data.size())
            return false;
        uint32_t n = 0;
        std::memcpy(&n, data.constData() + at, 4);
        at += 4;
        if (n > uint32_t(data.size() - at))
            return false;
        *s = QString::fromUtf8(data.constData() + at, qsizetype(n));
        at += n;
    }
    return true;
}

} // namespace

// Starts this program again in helper mode, hands it the step's data and waits for it.
int SivrelRunInHelper(const char* kind, const QByteArray& data)
{
    int input[2];
    if (!DisplayExists() || pipe2(input, O_CLOEXEC) != 0)
        return -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, input[0], STDIN_FILENO);
    std::vector<QByteArray> env;
    for (char** e = environ; *e; ++e)
        if (std::strncmp(*e, HelperVariable, std::strlen(HelperVariable)) != 0)
            env.emplace_back(*e);
    env.push_back(QByteArray(HelperVariable) + '=' + kind);
    std::vector<char*> envp;
    for (QByteArray& e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    char name[] = "quillory-report-helper";
    char* argv[] = {name, nullptr};
    pid_t child = 0;
    const int error = posix_spawn(&child, "/proc/self/exe", &actions, nullptr, argv, envp.data());
    posix_spawn_file_actions_destroy(&actions);
    ::close(input[0]);
    if (error != 0) {
        ::close(input[1]);
        return -1;
    }
    // The data with its length first; the pipe then stays open while the helper runs: when this
    // process ends, the helper sees its input end and closes its window.
    const uint32_t length = uint32_t(data.size());
    const bool written = WriteAll(input[1], &length, sizeof length) && WriteAll(input[1], data.constData(), size_t(data.size()));
    int status = 0;
    {
        const TSivrelWindowOpen open;
        while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
        }
    }
    ::close(input[1]);
    return written && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool SivrelRunOnGuiThread(const std::function<void()>& step)
{
    QCoreApplication* app = QCoreApplication::instance();
    if (!qobject_cast<QApplication*>(app))
        return false;
    if (OnGuiThread()) {
        step();
        return true;
    }
    if (SivrelReport().Params.GuiThreadHeld)
        return false;
    // The GUI thread waits for this report: it serves the listener slot.
    const TSivrelExceptionRecord* record = SivrelPublishedRecord();
    if (record && SivrelWaitingThread() == SivrelMainThreadId()) {
        RunInFaultingThread(step);
        return true;
    }
    return QMetaObject::invokeMethod(app, step, Qt::BlockingQueuedConnection);
}

void SivrelMessageBox(const QString& caption, const QString& text)
{
    if (SivrelRunOnGuiThread([&] { ShowBox(caption, text, false); }))
        return;
    SivrelRunInHelper("box", Pack(caption, text));
}

bool SivrelHelperRequested()
{
    return qEnvironmentVariableIsSet(HelperVariable);
}

int SivrelRunHelper(int argc, char** argv)
{
    uint32_t length = 0;
    if (!ReadAll(STDIN_FILENO, &length, sizeof length) || length > 256u * 1024 * 1024)
        return 2;
    QByteArray data(qsizetype(length), Qt::Uninitialized);
    if (!ReadAll(STDIN_FILENO, data.data(), length))
        return 2;
    if (qgetenv(HelperVariable) == "clipboard") {
        QApplication app(argc, argv);
        EndWithTheProgram();
        const QString text = QString::fromUtf8(data);
        QGuiApplication::clipboard()->setText(text);
        if (AutoAnswer()) {
            const QByteArray line = "[clipboard from helper] " + QGuiApplication::clipboard()->text().toUtf8().left(40) + '\n';
            std::fwrite(line.constData(), 1, size_t(line.size()), stderr);
            std::fflush(stderr);
        }
        // On X11 the text outlives this process only when a clipboard manager takes it on exit.
        QCoreApplication::processEvents();
        return 0;
    }
    if (qgetenv(HelperVariable) == "dialog") {
        QApplication app(argc, argv);
        EndWithTheProgram();
        return RunDialogStep(data);
    }
    QString caption, text;
    if (qgetenv(HelperVariable) != "box" || !Unpack(data, caption, text))
        return 2;
    QApplication app(argc, argv);
    EndWithTheProgram();
    ShowBox(caption, text, true);
    return 0;
}

} // namespace excreport
