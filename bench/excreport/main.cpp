// Reporter data benchmark (Release build, run by hand): this program links the whole program
// library and carries its own data block.
//  1. the build tool's run time on this program and the block's sizes (targets: under 10 s per link);
//  2. loading the block and the options (inflate and parse; target under 50 ms), and the options
//     alone as the start reads them;
//  3. symbolising a call stack of 200 return addresses spread over the program's code
//     (BuildCallStack; target under 100 ms);
//  4. the extra cost of a throw and catch through 30 frames with the raise hook on against off
//     (target under 5 us per throw);
//  5. the activation with every module redirected (target under 30 ms).
#include "excreport/SivrelDataBlock.h"
#include "excreport/SivrelDebugBlock.h"
#include "excreport/SivrelExcept.h"
#include "excreport/SivrelHook.h"
#include "excreport/SivrelModules.h"
#include "excreport/SivrelRaise.h"
#include "excreport/SivrelSupport.h"
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <stdexcept>
#include <link.h>

using namespace excreport;

namespace {

volatile int g_sink = 0;

__attribute__((noinline)) void ThrowAtDepth(int depth)
{
    if (depth == 0)
        throw std::runtime_error("bench");
    ThrowAtDepth(depth - 1);
    g_sink = g_sink + 1; // no tail call
}

// Nanoseconds per throw and catch through 30 frames, best of five rounds.
double ThrowCost()
{
    constexpr int Throws = 20000;
    double best = 1e18;
    for (int round = 0; round < 5; ++round) {
        QElapsedTimer t;
        t.start();
        for (int i = 0; i < Throws; ++i) {
            try {
                ThrowAtDepth(30);
            } catch (const std::exception&) {
                g_sink = g_sink + 1;
            }
        }
        best = std::min(best, double(t.nsecsElapsed()) / Throws);
    }
    return best;
}

} // namespace

int main(int, char** argv)
{
    const QString program = SivrelThisModuleFileName();
    (void)argv;

    QTemporaryDir tmp;
    QElapsedTimer t;
    t.start();
    QProcess tool;
    tool.start(QStringLiteral(QLY_SLDATA), {"--program", program, "--options", QLY_BENCH_OPTIONS, "--output",
                                            tmp.filePath("block"), "--sizes"});
    tool.waitForFinished(600000);
    const qint64 toolMs = t.elapsed();
    std::printf("tool: %lld ms; %s", static_cast<long long>(toolMs), tool.readAllStandardOutput().constData());
    std::printf("program file: %lld bytes\n", static_cast<long long>(QFile(program).size()));

    constexpr int Rounds = 20;
    t.restart();
    for (int i = 0; i < Rounds; ++i) {
        TSivrelModuleOptions options(program, false);
        TSivrelDataInfo info;
        if (!SivrelLoadDataBlock(program, options, info)) {
            std::printf("no data block in %s\n", qPrintable(program));
            return 1;
        }
    }
    std::printf("load block and options: %.2f ms\n", double(t.nsecsElapsed()) / 1e6 / Rounds);
    t.restart();
    for (int i = 0; i < Rounds; ++i) {
        TSivrelModuleOptions options(program, false);
        TSivrelDataInfo info;
        TSivrelDebugSource debug;
        if (!SivrelOpenDataBlock(program, options, info, debug))
            return 1;
    }
    std::printf("options only, as at the start (the debug block read later): %.2f ms\n",
                double(t.nsecsElapsed()) / 1e6 / Rounds);
    t.restart();
    const auto section = SivrelReadElfSection(program, SivrelDataSection);
    std::printf("  of which reading the section: %.2f ms\n", double(t.nsecsElapsed()) / 1e6);
    t.restart();
    const auto inflated = SivrelInflate(section.value_or(QByteArray()).mid(14));
    std::printf("  of which inflating it: %.2f ms\n", double(t.nsecsElapsed()) / 1e6);

    // 200 addresses evenly over the executable segment of this program.
    std::pair<uintptr_t, uintptr_t> code{0, 0};
    dl_iterate_phdr(
        [](dl_phdr_info* info, size_t, void* data) {
            auto* range = static_cast<std::pair<uintptr_t, uintptr_t>*>(data);
            for (int i = 0; i < info->dlpi_phnum; ++i)
                if (info->dlpi_phdr[i].p_type == PT_LOAD && (info->dlpi_phdr[i].p_flags & PF_X)) {
                    range->first = info->dlpi_addr + info->dlpi_phdr[i].p_vaddr;
                    range->second = range->first + info->dlpi_phdr[i].p_memsz;
                }
            return 1; // the main program only
        },
        &code);
    const uintptr_t codeStart = code.first, codeEnd = code.second;
    std::vector<uintptr_t> frames;
    for (int i = 0; i < 200; ++i)
        frames.push_back(codeStart + (codeEnd - codeStart) * uintptr_t(i) / 200 + 1);

    TSivrelModulesList modules;
    t.restart();
    modules.ModuleOfAddress(codeStart);
    std::printf("module entry (its debug block read on first use): %.2f ms\n", double(t.nsecsElapsed()) / 1e6);
    t.restart();
    int withLine = 0;
    for (int i = 0; i < Rounds; ++i) {
        const auto stack = modules.BuildCallStack(0, frames, 0, 0);
        withLine = 0;
        for (int j = 0; j < stack->Count(); ++j)
            withLine += stack->Items(j).Kind == 4;
    }
    const double buildMs = double(t.nsecsElapsed()) / 1e6 / Rounds;
    // Where the addresses fall in the block.
    const TSivrelModuleRef self = modules.ModuleOfAddress(codeStart);
    const TSivrelDebugSource::TLoaded* debug = self->DebugInfo.Get();
    if (!debug) {
        std::printf("no debug block\n");
        return 1;
    }
    int found = 0, notFound = 0, unreadable = 0;
    for (uintptr_t f : frames) {
        TSivrelLineInfo line;
        switch (SivrelFindLine(debug->Block, self->DataVersion, f - self->Handle - SivrelCodeOffsetBase, line)) {
        case TSivrelLookup::Found: ++found; break;
        case TSivrelLookup::NotFound: ++notFound; break;
        case TSivrelLookup::Unreadable: ++unreadable; break;
        }
    }
    std::printf("line look-ups: %d found, %d outside any unit, %d unreadable\n", found, notFound, unreadable);
    std::printf("units in the block: %zu (index usable: %s)\n", debug->Index.Units.size(),
                debug->Index.Usable ? "yes" : "no");
    std::printf("BuildCallStack, 200 frames: %.2f ms (%d with a line)\n", buildMs, withLine);

    const double off = ThrowCost();
    SivrelHookRaise(SivrelRedirectableModules());
    SivrelSetRaiseActive(true);
    const double on = ThrowCost();
    SivrelSetRaiseActive(false);
    SivrelUnhookAll();
    std::printf("throw and catch through 30 frames: %.2f us off, %.2f us on, extra %.2f us\n", off / 1000, on / 1000,
                (on - off) / 1000);

    double bestActivation = 1e18;
    for (int round = 0; round < 5; ++round) {
        QElapsedTimer a;
        a.start();
        const bool active = SivrelActivate();
        bestActivation = std::min(bestActivation, double(a.nsecsElapsed()) / 1e6);
        SivrelDeactivate();
        SivrelUnhookAll();
        if (!active) {
            std::printf("the reporter did not switch on\n");
            return 1;
        }
    }
    std::printf("activation with %zu modules redirected: %.2f ms (best of five)\n", SivrelRedirectableModules().size(),
                bestActivation);
    return 0;
}
