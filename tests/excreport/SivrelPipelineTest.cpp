#include "excreport/SivrelCapture.h"
#include "excreport/SivrelExcept.h"
#include "excreport/SivrelHook.h"
#include "excreport/SivrelListeners.h"
#include "excreport/SivrelRaise.h"
#include "excreport/SivrelReport.h"
#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QStringList>
#include <QTimer>
#include <gtest/gtest.h>
#include <stdexcept>
#include <dlfcn.h>
#include <thread>
#include <unistd.h>

using namespace excreport;

namespace {

struct ECustomBase : std::runtime_error {
    using std::runtime_error::runtime_error;
};
struct ECustomDerived : ECustomBase {
    using ECustomBase::ECustomBase;
};
struct EAbort : std::exception {};

// Outputs that note what they were asked to do; failures on request.
class RecordingOutputs : public TSivrelReportOutputs {
public:
    QStringList calls;
    int failLog = 0;        // this many log writes fail
    int terminateDialogs = 0; // this many dialogs end with a terminate request
    bool failTexts = false;

    void ShowCustomMessage(const QString& caption, const QString& message) override { calls << "custom " + caption + "|" + message; }
    QString BuildTexts() override
    {
        if (failTexts)
            throw std::runtime_error("texts failed");
        calls << "texts";
        return "report text";
    }
    bool IsDuplicate() override { return false; }
    void CaptureScreen() override {}
    void ReleaseScreen() override {}
    QString MessageText() override { return {}; }
    bool IsConsole() override { return false; }
    void ShowReportDialog() override
    {
        calls << "dialog";
        if (terminateDialogs > 0) {
            --terminateDialogs;
            SivrelReport().TerminateRequested = true;
        }
    }
    void ShowConsoleReport() override { calls << "console"; }
    void ShowRequestDialog() override {}
    void SaveScreenshot() override {}
    void DeleteScreenshot() override {}
    void WriteLog() override
    {
        calls << "log";
        if (failLog > 0) {
            --failLog;
            throw std::runtime_error("disk full");
        }
    }
    void AppendRequestSection() override {}
    void CopyToClipboard() override {}
    void SendReport() override { calls << "send"; }
};

class Pipeline : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(SivrelActivate());
        SivrelSetReportOutputs(&outputs);
        SivrelListeners().Add(&listener);
    }
    void TearDown() override
    {
        SivrelSetReportOutputs(nullptr);
        SivrelDeactivate();
        SivrelUnhookAll();
    }
    bool Report(const std::exception_ptr& error) { return ExceptionManager(&error, nullptr, 1); }

    RecordingOutputs outputs;
    TSivrelListener listener;
};

int g_throwLine = 0;

template <typename E>
__attribute__((noinline)) std::exception_ptr Raise(E error)
{
    try {
        g_throwLine = __LINE__; throw error;
    } catch (...) {
        return std::current_exception();
    }
}

} // namespace

TEST_F(Pipeline, AReportGoesToTheOutputsAndTheListenersSeeItsRecord)
{
    QString cls, message, routine;
    int line = 0;
    pid_t thread = 0;
    listener.ExceptionNotify = [&](const TSivrelExceptionRecord& r, bool&) {
        cls = SivrelClassName(*SivrelExceptionType(r.ExceptionObject));
        try {
            std::rethrow_exception(r.ExceptionObject);
        } catch (const std::exception& e) {
            message = e.what();
        }
        ASSERT_TRUE(r.CallStack && r.CallStack->Count() > 0);
        routine = r.CallStack->Items(0).ProcedureName;
        line = r.CallStack->Items(0).Line;
        thread = gettid();
    };
    EXPECT_FALSE(Report(Raise(std::runtime_error("Exception Log Check"))));
    // The log comes before the dialog: a report is kept while its dialog is open.
    EXPECT_EQ(outputs.calls.join(", ").toStdString(), "texts, log, dialog");
    EXPECT_EQ(SivrelReport().ReportsThisRun, 1);
    EXPECT_EQ(cls.toStdString(), "std::runtime_error");
    EXPECT_EQ(message.toStdString(), "Exception Log Check");
    EXPECT_TRUE(routine.startsWith("Raise")) << routine.toStdString();
    EXPECT_EQ(line, g_throwLine);
    EXPECT_EQ(thread, gettid()) << "listeners run in the thread the report is about";
    EXPECT_FALSE(SivrelPublishedRecord()) << "cleared after the report";
}

TEST_F(Pipeline, OptionsAndListenersSteerTheReport)
{
    const auto options = CurrentSivrelLogOptions();
    options->SetCustomMessageClasses({"ecustombase", "ECustomDerived"});
    options->SetCustomMessages({"Bitte erneut versuchen.", ""});
    struct Case {
        const char* name;
        std::function<void()> arrange;
        std::exception_ptr error;
        bool answer;
        QStringList calls;
        int reports;
    };
    bool clearHandled = false, retryLog = false, vetoTerminate = false;
    listener.ExceptionNotify = [&](const TSivrelExceptionRecord&, bool& handled) { handled = handled && !clearHandled; };
    listener.ActionErrorNotify = [&](const TSivrelExceptionRecord&, int action, bool& retry) {
        retry = retryLog && action == atSavedLogFile;
    };
    listener.ActionNotify = [&](const TSivrelExceptionRecord&, int action, bool& flag) {
        if (action == atTerminating && vetoTerminate)
            flag = false;
    };
    const std::vector<Case> cases = {
        // A custom message class (by name, ignoring case, and a class derived from it): its box only.
        {"custom message", [] {}, Raise(ECustomDerived("x")), false, {"custom Information.|Bitte erneut versuchen."}, 0},
        {"empty custom message", [&] { options->SetCustomMessageClasses({"ECustomDerived"}); options->SetCustomMessages({""}); },
         Raise(ECustomDerived("x")), false, {}, 0},
        {"listener clears Handled", [&] { clearHandled = true; }, Raise(std::runtime_error("x")), true, {"texts"}, 0},
        {"retry after a failed log", [&] { clearHandled = false; retryLog = true; outputs.failLog = 1; },
         Raise(std::runtime_error("x")), false, {"texts", "log", "log", "dialog"}, 1},
        {"failed log without retry", [&] { retryLog = false; outputs.failLog = 1; }, Raise(std::runtime_error("x")),
         false, {"texts", "log", "dialog"}, 1},
        {"veto at action 6", [&] { vetoTerminate = true; outputs.terminateDialogs = 1; },
         Raise(std::runtime_error("x")), false, {"texts", "log", "dialog", "dialog"}, 1},
        {"EAbort", [] {}, Raise(EAbort()), true, {}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        c.arrange();
        outputs.calls.clear();
        const int before = SivrelReport().ReportsThisRun;
        EXPECT_EQ(Report(c.error), c.answer);
        EXPECT_EQ(outputs.calls.join(", ").toStdString(), c.calls.join(", ").toStdString());
        EXPECT_EQ(SivrelReport().ReportsThisRun - before, c.reports);
        EXPECT_FALSE(SivrelReport().TerminateRequested);
    }
}

TEST_F(Pipeline, AFailureInsideThePipelineLeavesTheExceptionToTheProgram)
{
    outputs.failTexts = true;
    testing::internal::CaptureStderr();
    EXPECT_TRUE(Report(Raise(std::runtime_error("x"))));
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("[ERROR] - Section: 702 - Address: "), std::string::npos) << err;
    EXPECT_NE(err.find("Message: \"texts failed\""), std::string::npos) << err;
    EXPECT_TRUE(outputs.calls.isEmpty());

    // A failed log after the dialog: the report stands, the warning names the log.
    outputs.failTexts = false;
    outputs.failLog = 1;
    testing::internal::CaptureStderr();
    EXPECT_FALSE(Report(Raise(std::runtime_error("x"))));
    const std::string warning = testing::internal::GetCapturedStderr();
    EXPECT_NE(warning.find("[WARNING] - Code: eeLogError - Address: "), std::string::npos) << warning;
    EXPECT_NE(warning.find("Message: \"[Log] disk full\""), std::string::npos) << warning;
}

TEST_F(Pipeline, OneReportAtATime)
{
    // A second exception in the same thread while its report runs is left to the program.
    bool nested = false;
    listener.ExceptionNotify = [&](const TSivrelExceptionRecord&, bool&) {
        nested = Report(Raise(std::runtime_error("inner")));
    };
    EXPECT_FALSE(Report(Raise(std::runtime_error("outer"))));
    EXPECT_TRUE(nested);
    EXPECT_EQ(SivrelReport().ReportsThisRun, 1);

    // Two threads: two reports, one after the other.
    listener.ExceptionNotify = nullptr;
    std::atomic<int> inside{0}, most{0};
    listener.ActionNotify = [&](const TSivrelExceptionRecord&, int action, bool&) {
        if (action == atShowingException) {
            most = std::max(most.load(), ++inside);
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        } else if (action == atShowedException) {
            --inside;
        }
    };
    std::thread a([&] { EXPECT_FALSE(Report(Raise(std::runtime_error("a")))); });
    std::thread b([&] { EXPECT_FALSE(Report(Raise(std::runtime_error("b")))); });
    a.join();
    b.join();
    EXPECT_EQ(SivrelReport().ReportsThisRun, 3);
    EXPECT_EQ(most, 1);
}

TEST_F(Pipeline, AModuleLoadedLaterGetsTheHooksAtTheNextReport)
{
    void* library = dlopen(QLY_PROBELIB, RTLD_NOW | RTLD_LOCAL);
    ASSERT_TRUE(library) << dlerror();
    const auto probeThrow = reinterpret_cast<void (*)()>(dlsym(library, "probe_throw"));
    ASSERT_TRUE(probeThrow);
    const auto thrown = [&] {
        try {
            probeThrow();
        } catch (...) {
            return std::current_exception();
        }
        return std::exception_ptr();
    };
    EXPECT_FALSE(SivrelRaiseRecord(thrown())) << "loaded after the activation";
    EXPECT_FALSE(Report(Raise(std::runtime_error("x"))));
    EXPECT_TRUE(SivrelRaiseRecord(thrown())) << "redirected by the report's module refresh";
    SivrelUnhookAll();
    dlclose(library);
}

TEST_F(Pipeline, ALibraryCarryingTheReporterAnswersWhatTheProgramAnswers)
{
    void* library = dlopen(QLY_FORWARDLIB, RTLD_NOW | RTLD_LOCAL);
    ASSERT_TRUE(library) << dlerror();
    const auto forwarding = reinterpret_cast<bool (*)()>(dlsym(library, "probe_forwarding"));
    using Entry = bool (*)(const void*, const void*, uint8_t);
    const auto entry = reinterpret_cast<Entry>(dlsym(library, "ExceptionManager"));
    ASSERT_TRUE(forwarding && entry);
    ASSERT_NE(reinterpret_cast<void*>(entry), reinterpret_cast<void*>(&ExceptionManager)) << "the library's own entry";
    EXPECT_TRUE(forwarding());

    bool decline = false;
    listener.ExceptionNotify = [&](const TSivrelExceptionRecord&, bool& handled) { handled = !decline; };
    const struct {
        std::exception_ptr error;
        bool decline;
    } cases[] = {{Raise(std::runtime_error("x")), false}, {Raise(EAbort()), false}, {Raise(std::runtime_error("y")), true}};
    for (const auto& c : cases) {
        decline = c.decline;
        outputs.calls.clear();
        const bool fromLibrary = entry(&c.error, nullptr, 1);
        const QString libraryCalls = outputs.calls.join(", ");
        outputs.calls.clear();
        const bool fromProgram = ExceptionManager(&c.error, nullptr, 1);
        EXPECT_EQ(fromLibrary, fromProgram);
        EXPECT_EQ(libraryCalls.toStdString(), outputs.calls.join(", ").toStdString()) << "the program's reporter ran";
    }
    dlclose(library);
}

TEST(PipelineOff, WithoutActivationEverythingPassesThrough)
{
    const std::exception_ptr error = std::make_exception_ptr(std::runtime_error("x"));
    EXPECT_FALSE(SivrelActive());
    EXPECT_TRUE(ExceptionManager(&error, nullptr, 1));
    // Also after a deactivation.
    ASSERT_TRUE(SivrelActivate());
    SivrelDeactivate();
    SivrelUnhookAll();
    EXPECT_TRUE(ExceptionManager(&error, nullptr, 1));
    try {
        CurrentSivrelLogOptions();
        ADD_FAILURE();
    } catch (const EAssertionFailed& e) {
        EXPECT_EQ(e.Message(), "Cannot use 'CurrentSivrelLogOptions' function without SivrelLog activate.");
    }
}

namespace {

// Counts what reaches it.
class EventCounter : public QLineEdit {
public:
    int paints = 0, presses = 0, keys = 0;

protected:
    void paintEvent(QPaintEvent* e) override
    {
        ++paints;
        QLineEdit::paintEvent(e);
    }
    void mousePressEvent(QMouseEvent* e) override
    {
        ++presses;
        QLineEdit::mousePressEvent(e);
    }
    void keyPressEvent(QKeyEvent* e) override
    {
        ++keys;
        QLineEdit::keyPressEvent(e);
    }
};

// The report dialog stand-in: while it is "open", the GUI thread gets input, a repaint and timers.
class BusyDialogOutputs : public RecordingOutputs {
public:
    QWidget* target = nullptr;
    void ShowReportDialog() override
    {
        RecordingOutputs::ShowReportDialog();
        const QPoint at(5, 5);
        QCoreApplication::postEvent(target, new QMouseEvent(QEvent::MouseButtonPress, at, target->mapToGlobal(at),
                                                             Qt::LeftButton, Qt::LeftButton, Qt::NoModifier));
        QCoreApplication::postEvent(target, new QKeyEvent(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, "a"));
        QMetaObject::invokeMethod(target, [w = target] { w->repaint(); }, Qt::QueuedConnection);
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
    }
};

} // namespace

TEST_F(Pipeline, WhileTheReportRunsTheWindowPaintsAndDropsInputAndTheFocusIsMasked)
{
    BusyDialogOutputs busy;
    SivrelSetReportOutputs(&busy);
    EventCounter edit;
    edit.setEchoMode(QLineEdit::Password);
    edit.setText("secret");
    edit.show();
    QApplication::setActiveWindow(&edit);
    edit.setFocus();
    QCoreApplication::processEvents();
    ASSERT_EQ(QApplication::focusWidget(), &edit);
    busy.target = &edit;
    int ticks = 0;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] { ++ticks; });
    timer.start(20);
    QString focusClass, focusText;
    listener.ExceptionNotify = [&](const TSivrelExceptionRecord&, bool&) {
        focusClass = SivrelReport().Params.FocusClass;
        focusText = SivrelReport().Params.FocusText;
    };
    edit.paints = 0;

    EXPECT_FALSE(Report(Raise(std::runtime_error("x"))));
    EXPECT_GT(ticks, 3) << "timers ran during the report";
    EXPECT_GT(edit.paints, 0) << "the window painted during the report";
    EXPECT_EQ(edit.presses, 0);
    EXPECT_EQ(edit.keys, 0);
    EXPECT_EQ(edit.text(), "secret");
    EXPECT_EQ(focusClass.toStdString(), "QLineEdit") << "the meta-object class of the focused widget";
    EXPECT_EQ(focusText.toStdString(), "******");

    // After the report input arrives again.
    QCoreApplication::postEvent(&edit, new QKeyEvent(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, "a"));
    QCoreApplication::processEvents();
    EXPECT_EQ(edit.keys, 1);
}
