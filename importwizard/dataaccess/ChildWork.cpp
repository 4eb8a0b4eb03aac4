#include "importwizard/dataaccess/ChildWork.h"

#include "importwizard/dataaccess/ForeignDb.h"

#include <QElapsedTimer>
#include <QLoggingCategory>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

Q_LOGGING_CATEGORY(lcParser, "qly.import.parser", QtWarningMsg)

namespace dataaccess {

namespace {

std::function<void()>& WaitHook()
{
    static std::function<void()> hook;
    return hook;
}

int gTimeLimit = 5000;
constexpr qint64 kLogLimit = 64 * 1024;

// Frames: a type byte ('M' message, 'E' error, 'Z' end), the number of texts (32 bits), then
// each text as its UTF-8 length (32 bits) and bytes.
void Put32(QByteArray& out, quint32 v)
{
    out.append(reinterpret_cast<const char*>(&v), 4);
}

[[gnu::noinline]] quint32 Get32(const char* p)
{
    quint32 v;
    std::memcpy(&v, p, 4);
    return v;
}

QByteArray Frame(char type, const QStringList& texts)
{
    QByteArray out;
    out.append(type);
    Put32(out, quint32(texts.size()));
    for (const QString& t : texts) {
        const QByteArray utf8 = t.toUtf8();
        Put32(out, quint32(utf8.size()));
        out.append(utf8);
    }
    return out;
}

// A whole frame at the start of the buffer: its length, or 0 when it is not complete yet.
qsizetype FrameLength(const QByteArray& buffer)
{
    if (buffer.size() < 5)
        return 0;
    const quint32 count = Get32(buffer.constData() + 1);
    qsizetype at = 5;
    for (quint32 i = 0; i < count; ++i) {
        if (buffer.size() < at + 4)
            return 0;
        at += 4 + qsizetype(Get32(buffer.constData() + at));
        if (buffer.size() < at)
            return 0;
    }
    return at;
}

QStringList Texts(const QByteArray& frame)
{
    QStringList texts;
    const quint32 count = Get32(frame.constData() + 1);
    qsizetype at = 5;
    for (quint32 i = 0; i < count; ++i) {
        const quint32 n = Get32(frame.constData() + at);
        texts.append(QString::fromUtf8(frame.constData() + at + 4, n));
        at += 4 + n;
    }
    return texts;
}

void WriteAll(int fd, const QByteArray& bytes)
{
    const char* p = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, size_t(left));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            ::_exit(3);  // the parent is gone or gave up
        }
        p += n;
        left -= n;
    }
}

} // namespace

QString TChildWork::DamagedFileMessage()
{
    return QStringLiteral("Die Datei ist beschädigt oder kann nicht gelesen werden.");
}

void TChildWork::SetWaitHook(std::function<void()> hook)
{
    WaitHook() = std::move(hook);
}

void TChildWork::SetTimeLimit(int milliseconds)
{
    gTimeLimit = milliseconds > 0 ? milliseconds : 5000;
}

TChildWork::TChildWork(TWork work)
{
    int data[2];
    int log[2];
    if (::pipe2(data, O_CLOEXEC) != 0)
        throw EForeignDbError(QStringLiteral("Es kann kein Prozess zum Lesen der Datei gestartet werden: %1")
                                  .arg(QString::fromLocal8Bit(std::strerror(errno))));
    if (::pipe2(log, O_CLOEXEC) != 0) {
        ::close(data[0]);
        ::close(data[1]);
        throw EForeignDbError(QStringLiteral("Es kann kein Prozess zum Lesen der Datei gestartet werden: %1")
                                  .arg(QString::fromLocal8Bit(std::strerror(errno))));
    }
    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid == 0) {
        // The child: default handling of faults (no report dialog of the program), ended with
        // its parent, its output into the log pipe.
        for (int sig : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT, SIGPIPE, SIGTERM, SIGINT})
            ::signal(sig, SIG_DFL);
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent)
            ::_exit(4);
        ::dup2(log[1], STDERR_FILENO);
        ::dup2(log[1], STDOUT_FILENO);
        ::close(data[0]);
        ::close(log[0]);
        const int out = data[1];
        try {
            work([out](const QStringList& message) { WriteAll(out, Frame('M', message)); });
            WriteAll(out, Frame('Z', {}));
        } catch (const EForeignDbError& e) {
            WriteAll(out, Frame('E', {e.Cause(), e.Detail()}));
        } catch (const std::exception& e) {
            WriteAll(out, Frame('E', {QString::fromLocal8Bit(e.what())}));
        } catch (...) {
            WriteAll(out, Frame('E', {DamagedFileMessage()}));
        }
        ::_exit(0);
    }
    ::close(data[1]);
    ::close(log[1]);
    if (pid < 0) {
        ::close(data[0]);
        ::close(log[0]);
        throw EForeignDbError(QStringLiteral("Es kann kein Prozess zum Lesen der Datei gestartet werden: %1")
                                  .arg(QString::fromLocal8Bit(std::strerror(errno))));
    }
    FPid = pid;
    FData = data[0];
    FLog = log[0];
    ::fcntl(FData, F_SETFL, ::fcntl(FData, F_GETFL) | O_NONBLOCK);
    ::fcntl(FLog, F_SETFL, ::fcntl(FLog, F_GETFL) | O_NONBLOCK);
}

TChildWork::~TChildWork()
{
    Kill();
}

void TChildWork::Kill()
{
    if (FPid > 0) {
        ::kill(FPid, SIGKILL);
        while (::waitpid(FPid, nullptr, 0) < 0 && errno == EINTR) {
        }
        FPid = -1;
    }
    if (FLog >= 0) {
        DrainLog(true);
        if (FDropped > 0)
            qCInfo(lcParser, "(%lld further bytes of diagnostic output left out)", static_cast<long long>(FDropped));
        ::close(FLog);
        FLog = -1;
    }
    if (FData >= 0) {
        ::close(FData);
        FData = -1;
    }
}

void TChildWork::DrainLog(bool all)
{
    if (FLog < 0)
        return;
    char buffer[65536];
    // A bounded amount per call, so that a flood of output cannot hold the window.
    for (int round = 0; all || round < 4; ++round) {
        const ssize_t n = ::read(FLog, buffer, sizeof buffer);
        if (n <= 0)
            break;
        if (FLogged >= kLogLimit) {
            FDropped += n;
            continue;
        }
        const qsizetype keep = std::min<qsizetype>(n, kLogLimit - FLogged);
        FLogged += keep;
        FDropped += n - keep;
        FLogLine.append(buffer, keep);
        qsizetype end;
        while ((end = FLogLine.indexOf('\n')) >= 0) {
            qCInfo(lcParser, "%s", FLogLine.left(end).constData());
            FLogLine.remove(0, end + 1);
        }
    }
}

void TChildWork::Fail(const QString& message)
{
    FDone = true;
    Kill();
    throw EForeignDbError(message);
}

bool TChildWork::Next(QStringList& message)
{
    if (FDone)
        return false;
    QElapsedTimer waited;
    waited.start();
    for (;;) {
        // The hook keeps its own pace (the wizard's lets the window run every 10 ms), also when
        // the messages come quickly one after another.
        CallHook();
        if (const qsizetype length = FrameLength(FBuffer); length > 0) {
            const QByteArray frame = FBuffer.left(length);
            FBuffer.remove(0, length);
            switch (frame[0]) {
            case 'M':
                message = Texts(frame);
                return true;
            case 'E': {
                const QStringList texts = Texts(frame);
                FDone = true;
                Kill();
                throw EForeignDbError(texts.value(0), texts.value(1));
            }
            case 'Z':
                FDone = true;
                // The child ends right after its last frame.
                if (FPid > 0) {
                    while (::waitpid(FPid, nullptr, 0) < 0 && errno == EINTR) {
                    }
                    FPid = -1;
                }
                Kill();
                return false;
            default:
                Fail(DamagedFileMessage());
            }
        }
        pollfd fds[2] = {{FData, POLLIN, 0}, {FLog, POLLIN, 0}};
        const int ready = ::poll(fds, 2, 20);
        if (ready < 0 && errno != EINTR)
            Fail(DamagedFileMessage());
        DrainLog(false);
        bool closed = false;
        if (ready > 0 && (fds[0].revents & (POLLIN | POLLHUP | POLLERR))) {
            char buffer[65536];
            for (int round = 0; round < 16; ++round) {
                const ssize_t n = ::read(FData, buffer, sizeof buffer);
                if (n > 0) {
                    FBuffer.append(buffer, n);
                    waited.restart();
                    continue;
                }
                if (n == 0)
                    closed = true;
                break;
            }
        }
        if (closed && FrameLength(FBuffer) == 0)
            Fail(DamagedFileMessage());  // died before its end
        if (FrameLength(FBuffer) > 0)
            continue;
        if (waited.elapsed() > gTimeLimit)
            Fail(DamagedFileMessage());  // hung
    }
}

void TChildWork::CallHook()
{
    if (auto& hook = WaitHook()) {
        try {
            hook();
        } catch (...) {
            FDone = true;
            Kill();
            throw;
        }
    }
}

TChildCursor::TChildCursor(TChildWork::TWork rows, TChildWork::TWork count)
    : FRows(std::move(rows)), FCount(std::move(count))
{
    Rewind();
}

void TChildCursor::Rewind()
{
    FChild.reset();
    FChild = std::make_unique<TChildWork>(FRows);
    QStringList fields;
    if (!FChild->Next(fields))
        throw EForeignDbError(TChildWork::DamagedFileMessage());
    FFields = fields;
}

bool TChildCursor::Fetch()
{
    QStringList values;
    if (!FChild->Next(values))
        return false;
    FValues = values;
    return true;
}

int TChildCursor::RecordCount()
{
    TChildWork child(FCount);
    QStringList count;
    if (!child.Next(count))
        throw EForeignDbError(TChildWork::DamagedFileMessage());
    return count.value(0).toInt();
}

} // namespace dataaccess
