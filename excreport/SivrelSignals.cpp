#include "excreport/SivrelSignals.h"
#include "excreport/SivrelCapture.h"
#include "excreport/SivrelExcept.h"
#include "excreport/SivrelRaise.h"
#include "excreport/SivrelReport.h"
#include <array>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <execinfo.h>
#include <fcntl.h>
#include <pthread.h>
#include <thread>
#include <ucontext.h>
#include <unistd.h>

namespace excreport {

namespace {

constexpr int Signals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT};
constexpr size_t AltStackSize = 64 * 1024;
constexpr int GiveUpSeconds = 30;

// What the handler notes about one fault, in memory made before the fault.
struct FaultNote {
    TSivrelFault fault;
    pid_t thread = 0;
    uintptr_t stackPointer = 0;
    uintptr_t stackTop = 0;
    gregset_t registers{};
    int frameCount = 0;
    uintptr_t frames[SivrelMaxRaiseFrames];
    std::atomic<bool> done{false};
};

// Per thread: its alternate stack (the note sits at its end) and its stack bounds.
struct ThreadFaultState {
    void* altStack = nullptr;
    FaultNote* note = nullptr;
    uintptr_t stackLow = 0;
    uintptr_t stackTop = 0;
    size_t guardSize = 0;
    ~ThreadFaultState()
    {
        if (altStack) {
            stack_t off{};
            off.ss_flags = SS_DISABLE;
            sigaltstack(&off, nullptr);
            std::free(altStack);
        }
    }
};
thread_local ThreadFaultState t_state;

struct sigaction g_previous[sizeof Signals / sizeof Signals[0]];
std::atomic<bool> g_installed{false};
int g_pipe[2] = {-1, -1};
std::atomic<pid_t> g_faultThreadId{0};

std::thread& FaultThread()
{
    static std::thread& thread = *new std::thread;
    return thread;
}

void WriteLine(const char* text)
{
    const ssize_t ignored = write(STDERR_FILENO, text, std::strlen(text));
    (void)ignored;
}

[[noreturn]] void TakeDefaultCourse(int signal)
{
    struct sigaction dfl {};
    dfl.sa_handler = SIG_DFL;
    sigemptyset(&dfl.sa_mask);
    sigaction(signal, &dfl, nullptr);
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, signal);
    pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
    raise(signal);
    _exit(128 + signal); // a blocked or ignored signal: end anyway
}

void NoteStack()
{
    if (t_state.stackTop)
        return;
    pthread_attr_t attr;
    if (pthread_getattr_np(pthread_self(), &attr) == 0) {
        void* base = nullptr;
        size_t size = 0;
        if (pthread_attr_getstack(&attr, &base, &size) == 0) {
            t_state.stackLow = reinterpret_cast<uintptr_t>(base);
            t_state.stackTop = t_state.stackLow + size;
        }
        pthread_attr_getguardsize(&attr, &t_state.guardSize);
        pthread_attr_destroy(&attr);
    }
}

void FaultHandler(int signal, siginfo_t* info, void* context)
{
    const int saved = errno;
    const pid_t self = gettid();
    if (!SivrelActive() || !g_installed || g_pipe[1] < 0) {
        errno = saved;
        TakeDefaultCourse(signal);
    }
    if (self == g_faultThreadId.load() || SivrelIsReportThread()) {
        WriteLine("[ERROR] - A fatal signal inside the exception reporter ended the program.\n");
        TakeDefaultCourse(signal);
    }
    // A thread without its own note (no alternate stack) notes on the stack it runs on.
    FaultNote local;
    FaultNote* note = t_state.note ? t_state.note : &local;
    note->done = false;
    const auto* uc = static_cast<const ucontext_t*>(context);
    note->fault = TSivrelFault();
    note->fault.Signal = signal;
    note->fault.Code = info->si_code;
    note->fault.Address = static_cast<uintptr_t>(uc->uc_mcontext.gregs[REG_RIP]);
    note->fault.DataAddress = reinterpret_cast<uintptr_t>(info->si_addr);
    note->fault.PageFaultError = static_cast<uint64_t>(uc->uc_mcontext.gregs[REG_ERR]);
    const uintptr_t data = note->fault.DataAddress;
    const size_t guard = t_state.guardSize ? t_state.guardSize : 4096;
    note->fault.InStackGuard = (signal == SIGSEGV || signal == SIGBUS) && t_state.stackLow
                               && data + guard >= t_state.stackLow && data < t_state.stackLow + 4096;
    std::memcpy(note->registers, uc->uc_mcontext.gregs, sizeof note->registers);
    note->stackPointer = static_cast<uintptr_t>(uc->uc_mcontext.gregs[REG_RSP]);
    note->stackTop = t_state.stackTop;
    note->thread = self;
    // The frames from the faulting instruction on (the unwinder was warmed up at the activation).
    void* frames[SivrelMaxRaiseFrames + 8];
    const int n = backtrace(frames, SivrelMaxRaiseFrames + 8);
    int first = 0;
    while (first < n && reinterpret_cast<uintptr_t>(frames[first]) != note->fault.Address)
        ++first;
    if (first == n)
        first = 0;
    note->frameCount = 0;
    for (int i = first; i < n && note->frameCount < SivrelMaxRaiseFrames; ++i)
        note->frames[note->frameCount++] = reinterpret_cast<uintptr_t>(frames[i]);

    const ssize_t written = write(g_pipe[1], &note, sizeof note);
    if (written == static_cast<ssize_t>(sizeof note)) {
        // Wait for the report; give up when it makes no progress for a while.
        uint64_t progress = SivrelReportProgress.load();
        int idle = 0;
        while (!note->done.load()) {
            timespec pause{0, 100 * 1000 * 1000};
            nanosleep(&pause, nullptr);
            const uint64_t now = SivrelReportProgress.load();
            // A window of the report is open: the user reads it, however long that takes.
            if (now != progress || SivrelWindowsOpen.load() > 0) {
                progress = now;
                idle = 0;
            } else if (++idle >= GiveUpSeconds * 10) {
                WriteLine("[ERROR] - The report of a fatal signal made no progress for 30 s and was given up.\n");
                break;
            }
        }
    }
    errno = saved;
    TakeDefaultCourse(signal);
}

void RunFaultThread()
{
    g_faultThreadId = gettid();
    for (;;) {
        FaultNote* note = nullptr;
        const ssize_t n = read(g_pipe[0], &note, sizeof note);
        if (n < 0 && errno == EINTR)
            continue;
        if (n != static_cast<ssize_t>(sizeof note) || !note)
            return;
        TExceptNotifyParams params;
        params.ThreadId = note->thread;
        params.GuiThreadHeld = note->thread == SivrelMainThreadId();
        params.StackStart = note->stackPointer;
        params.StackTop = note->stackTop;
        // The first frame is the faulting instruction itself, where the call stack starts.
        if (note->frameCount > 1)
            params.Frames.assign(note->frames + 1, note->frames + note->frameCount);
        const auto reg = [note](int r) { return static_cast<uint64_t>(note->registers[r]); };
        params.Registers = std::array<uint64_t, 8>{reg(REG_RAX), reg(REG_RDI), reg(REG_RBX), reg(REG_RSI),
                                                   reg(REG_RCX), reg(REG_RSP), reg(REG_RDX), reg(REG_RIP)};
        try {
            DispatchException(SivrelFaultException(note->fault), note->fault.Address, params, 0);
        } catch (...) {
        }
        note->done = true;
    }
}

} // namespace

void SivrelPrepareThreadForFaults()
{
    NoteStack();
    if (t_state.altStack)
        return;
    // The note sits above the stack area the handler runs on.
    void* block = std::malloc(AltStackSize + sizeof(FaultNote));
    if (!block)
        return;
    stack_t ss{};
    ss.ss_sp = block;
    ss.ss_size = AltStackSize;
    if (sigaltstack(&ss, nullptr) != 0) {
        std::free(block);
        return;
    }
    t_state.altStack = block;
    t_state.note = new (static_cast<char*>(block) + AltStackSize) FaultNote;
}

void SivrelInstallSignalHandlers()
{
    if (g_installed)
        return;
    if (pipe2(g_pipe, O_CLOEXEC) != 0)
        return;
    FaultThread() = std::thread(&RunFaultThread);
    SivrelPrepareThreadForFaults();
    struct sigaction sa {};
    sa.sa_sigaction = &FaultHandler;
    sa.sa_flags = SA_SIGINFO | SA_ONSTACK;
    sigemptyset(&sa.sa_mask);
    for (size_t i = 0; i < sizeof Signals / sizeof Signals[0]; ++i)
        sigaction(Signals[i], &sa, &g_previous[i]);
    g_installed = true;
}

void SivrelRemoveSignalHandlers()
{
    if (!g_installed)
        return;
    g_installed = false;
    for (size_t i = 0; i < sizeof Signals / sizeof Signals[0]; ++i)
        sigaction(Signals[i], &g_previous[i], nullptr);
    ::close(g_pipe[1]);
    g_pipe[1] = -1;
    if (FaultThread().joinable())
        FaultThread().join();
    ::close(g_pipe[0]);
    g_pipe[0] = -1;
}

} // namespace excreport
