// One whole report without dialog and mail (Release build, run by hand; target under 1 s): the
// texts for a 200-frame call stack, the duplicate test against a full log of 32 reports, the log
// rewrite and the PNG of a 1920x1080 screen. Prints each step's time and share.
#include "excreport/SivrelLogFile.h"
#include "excreport/SivrelModules.h"
#include "excreport/SivrelOptions.h"
#include "excreport/SivrelPng.h"
#include "excreport/SivrelReportText.h"
#include "excreport/SivrelValues.h"
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QImage>
#include <QTemporaryDir>
#include <cstdio>
#include <link.h>
#include <random>
#include <stdexcept>

using namespace excreport;

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    QTemporaryDir dir;
    TSivrelModulesList modules;
    modules.RefreshModules();
    std::pair<uintptr_t, uintptr_t> code{0, 0};
    dl_iterate_phdr(
        [](dl_phdr_info* info, size_t, void* data) {
            auto* range = static_cast<std::pair<uintptr_t, uintptr_t>*>(data);
            for (int i = 0; i < info->dlpi_phnum; ++i)
                if (info->dlpi_phdr[i].p_type == PT_LOAD && (info->dlpi_phdr[i].p_flags & PF_X)) {
                    range->first = info->dlpi_addr + info->dlpi_phdr[i].p_vaddr;
                    range->second = range->first + info->dlpi_phdr[i].p_memsz;
                }
            return 1;
        },
        &code);
    std::vector<uintptr_t> frames;
    for (int i = 0; i < 200; ++i)
        frames.push_back(code.first + (code.second - code.first) * uintptr_t(i) / 200 + 1);
    modules.ModuleOfAddress(code.first);  // the program's entry with its block, as after the activation

    TSivrelModuleOptions options(QStringLiteral("/opt/quillory/quillory"), false);
    options.SetOutputPath(dir.path());
    options.SetLogFlags(1);
    // A full log of 32 earlier reports of the same size.
    std::exception_ptr error;
    try {
        throw std::runtime_error("Benchmark error");
    } catch (...) {
        error = std::current_exception();
    }

    QElapsedTimer t;
    double ms[5] = {};
    TSivrelReportTexts texts;
    for (int round = 0; round < 33; ++round) {
        t.restart();
        const auto stack = modules.BuildCallStack(0, frames, 0, 0);
        TSivrelValueSources sources;
        sources.Exception = error;
        sources.Address = frames[0] + uintptr_t(round);
        TSivrelReportInput input;
        input.Items = GatherReportValues(sources);
        for (int i = 0; i < stack->Count(); ++i)
            input.CallStack.push_back(stack->Items(i));
        for (int i = 0; i < modules.Count(); ++i)
            input.Modules.push_back(modules.Items(i));
        input.ExceptionAddress = frames[0];
        BuildStackReport(input, options, texts);
        ms[0] = double(t.nsecsElapsed()) / 1e6;
        t.restart();
        const bool duplicate = IsDuplicateReport(options, texts);
        ms[1] = double(t.nsecsElapsed()) / 1e6;
        t.restart();
        bool appended = false;
        WriteReportToLog(options, texts, duplicate, appended);
        ms[2] = double(t.nsecsElapsed()) / 1e6;
    }
    QImage screen(1920, 1080, QImage::Format_RGB32);
    std::mt19937 random(7);
    for (int y = 0; y < screen.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(screen.scanLine(y));
        for (int x = 0; x < screen.width(); ++x)
            line[x] = (x / 64 + y / 48) % 3 ? qRgb(x % 256, y % 256, 180) : qRgb(int(random() % 256), 40, 40);
    }
    t.restart();
    const QByteArray png = ScreenshotPng(screen);
    ms[3] = double(t.nsecsElapsed()) / 1e6;
    const double total = ms[0] + ms[1] + ms[2] + ms[3];
    const char* names[4] = {"texts (200 frames)", "duplicate test, 32 reports", "log rewrite, 32 reports",
                            "PNG 1920x1080"};
    std::printf("report text: %lld characters, log: %lld entries, PNG: %lld bytes\n", qlonglong(texts.ReportText.size()),
                qlonglong(TLogFile(options.LogFileName()).Entries().size()), qlonglong(png.size()));
    for (int i = 0; i < 4; ++i)
        std::printf("%-28s %8.2f ms  %5.1f %%\n", names[i], ms[i], 100.0 * ms[i] / total);
    std::printf("%-28s %8.2f ms (target under 1000 ms)\n", "whole report", total);
    return 0;
}
