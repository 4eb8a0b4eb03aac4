#include "excreport/SivrelOutputs.h"
#include "excreport/SivrelScreen.h"
#include "excreport/SivrelDialog.h"
#include "excreport/SivrelGui.h"
#include "excreport/SivrelListeners.h"
#include "excreport/SivrelLogFile.h"
#include "excreport/SivrelMailText.h"
#include "excreport/SivrelModules.h"
#include "excreport/SivrelExcept.h"
#include "excreport/SivrelPng.h"
#include "excreport/SivrelSmtp.h"
#include "excreport/SivrelSmtpDialog.h"
#include "excreport/SivrelSupport.h"
#include "excreport/SivrelValues.h"
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
#include <QMessageBox>
#include <QPointer>
#include <QProcess>
#include <QScreen>
#include <QStandardPaths>
#include <QThread>
#include <QWidget>
#include <condition_variable>
#include <mutex>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>

namespace excreport {

namespace {

bool AutoAnswer()
{
    return qEnvironmentVariableIsSet("QLY_SIVREL_AUTOANSWER");
}

void WriteStderr(const QString& line)
{
    const QByteArray bytes = line.toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
    std::fflush(stderr);
}

const TSivrelModuleOptions& Options()
{
    return SivrelReport().WorkingOptions;
}

QString HtmlEscaped(const QString& text)
{
    QString out = text;
    out.replace(u'&', QStringLiteral("&amp;"));
    out.replace(u'<', QStringLiteral("&lt;"));
    out.replace(u'>', QStringLiteral("&gt;"));
    out.replace(u'"', QStringLiteral("&quot;"));
    return out;
}

enum class TGuiRun { Done, Held, Busy };

// Runs a step on the GUI thread. Held: the GUI thread crashed or froze (a helper process may serve
// instead). Busy: the GUI thread neither waits for this report nor takes the step within two
// seconds (it may be blocked on the faulting thread itself); the step is then dropped.
TGuiRun RunOnGui(const std::function<void()>& step)
{
    QCoreApplication* app = QCoreApplication::instance();
    if (!qobject_cast<QApplication*>(app))
        return TGuiRun::Held;
    if (QThread::currentThread() == app->thread()) {
        step();
        return TGuiRun::Done;
    }
    if (SivrelReport().Params.GuiThreadHeld)
        return TGuiRun::Held;
    if (SivrelPublishedRecord() && SivrelWaitingThread() == SivrelMainThreadId())
        return SivrelRunOnGuiThread(step) ? TGuiRun::Done : TGuiRun::Held;
    struct Shared {
        std::mutex lock;
        std::condition_variable changed;
        bool started = false, done = false, dropped = false;
    };
    auto shared = std::make_shared<Shared>();
    QMetaObject::invokeMethod(app, [shared, &step] {
        {
            std::lock_guard guard(shared->lock);
            if (shared->dropped)
                return;
            shared->started = true;
        }
        shared->changed.notify_all();
        step();
        std::lock_guard guard(shared->lock);
        shared->done = true;
        shared->changed.notify_all();
    }, Qt::QueuedConnection);
    std::unique_lock guard(shared->lock);
    if (!shared->changed.wait_for(guard, std::chrono::seconds(2), [&] { return shared->started; })) {
        shared->dropped = true;
        return TGuiRun::Busy;
    }
    shared->changed.wait(guard, [&] { return shared->done; });
    return TGuiRun::Done;
}

} // namespace

bool IsCgiProgram()
{
    return !qobject_cast<QGuiApplication*>(QCoreApplication::instance()) && qEnvironmentVariableIsSet("REQUEST_METHOD");
}

QByteArray CgiResponse(const QString& caption, const QString& text)
{
    const QByteArray page = (QStringLiteral("<html><head><title>") + caption + QStringLiteral("</title></head><body>")
                             + QStringLiteral("<p><small><font face=\"Lucida Console,Courier\">")
                             + TextToHtml(HtmlEscaped(text)) + QStringLiteral("</font></small></p></body></html>"))
                                .toUtf8();
    return "Status: 500 Internal Server Error\r\nContent-Type: text/html\r\nContent-Length: "
           + QByteArray::number(page.size()) + "\r\nContent:\r\n\r\n" + page;
}

void TSivrelOutputs::ShowCustomMessage(const QString& caption, const QString& message)
{
    SivrelMessageBox(caption, message);
}

QString TSivrelOutputs::BuildTexts()
{
    TSivrelReportState& r = SivrelReport();
    TSivrelValueSources sources;
    sources.Exception = r.Exception;
    sources.Address = r.ExceptionAddress;
    sources.ExceptionTime = std::time(nullptr);
    sources.FocusClass = r.Params.FocusClass;
    sources.FocusText = r.Params.FocusText;
    if (!IsConsole()) {
        RunOnGui([&] {
            if (QWidget* w = QApplication::activeWindow()) {
                sources.FormClass = QString::fromLatin1(w->metaObject()->className());
                sources.FormText = w->windowTitle();
            }
        });
    }
    TSivrelReportInput input;
    input.Items = GatherReportValues(sources);
    input.HideActiveControls = IsConsole();
    if (r.CallStack)
        for (int i = 0; i < r.CallStack->Count(); ++i)
            input.CallStack.push_back(r.CallStack->Items(i));
    if (TSivrelModulesList* modules = SivrelModules())
        for (int i = 0; i < modules->Count(); ++i)
            input.Modules.push_back(modules->Items(i));
    input.ExceptionAddress = r.ExceptionAddress;
    input.StackPointer = r.Params.StackStart;
    if (r.Params.Registers)
        input.Registers = *r.Params.Registers;
    m_texts = TSivrelReportTexts();
    m_requestAppended = false;
    return BuildStackReport(input, Options(), m_texts);
}

bool TSivrelOutputs::IsDuplicate()
{
    return IsDuplicateReport(Options(), m_texts);
}

void TSivrelOutputs::CaptureScreen()
{
    m_screen = QImage();
    // The picture only travels with a mail.
    if (Options().SendMode() == smNone || !Options().AttachScreenshot() || IsConsole())
        return;
    RunOnGui([this] {
        m_screen = SivrelGrabScreen();
    });
}

void TSivrelOutputs::ReleaseScreen()
{
    m_screen = QImage();
}

QString TSivrelOutputs::MessageText()
{
    m_texts.MessageText = DialogBlanked(ExceptionMessageText(SivrelReport().Exception));
    return m_texts.MessageText;
}

bool TSivrelOutputs::IsConsole()
{
    return !qobject_cast<QGuiApplication*>(QCoreApplication::instance());
}

void TSivrelOutputs::ShowReportDialog()
{
    TSivrelReportState& r = SivrelReport();
    // A crashed or frozen GUI thread: the helper process shows the dialog (tests included).
    QCoreApplication* app = QCoreApplication::instance();
    const bool held = r.Params.GuiThreadHeld && app && QThread::currentThread() != app->thread();
    if (AutoAnswer() && !held) {
        WriteStderr(QStringLiteral("[dialog] ") + m_texts.MessageText);
        return;
    }
    TSivrelDialogData data;
    data.Texts = &m_texts;
    data.Options = &Options();
    if (r.CallStack)
        for (int i = 0; i < r.CallStack->Count(); ++i)
            data.CallStack.push_back(r.CallStack->Items(i));
    if (TSivrelModulesList* modules = SivrelModules())
        for (int i = 0; i < modules->Count(); ++i)
            data.Modules.push_back(modules->Items(i));
    data.Duplicate = r.Duplicate;
    data.ReportsThisRun = r.ReportsThisRun;
    data.SendSwitch = r.SendSwitch;
    data.ScreenshotSwitch = r.ScreenshotSwitch;
    const TGuiRun shown = RunOnGui([&] {
        QApplication::beep();
        QWidget* before = QApplication::activeWindow();
        TSivrelReportDialog dialog(data);
        const TSivrelWindowOpen open;
        dialog.exec();
        if (before)
            before->activateWindow();
    });
    if (shown != TGuiRun::Done) {
        // The GUI thread crashed, froze, or waits for the faulting thread itself (a join): a
        // helper process shows the dialog.
        if (!ReadDialogAnswer(SivrelRunInHelper("dialog", PackDialogData(data)), data))
            throw ESivrelError(QStringLiteral("Cannot show the DialogBox window."));
    }
    r.SendSwitch = data.SendSwitch;
    r.ScreenshotSwitch = data.ScreenshotSwitch;
    r.CopySwitch = data.CopySwitch;
    r.TerminateRequested = data.TerminateChosen;
}

void TSivrelOutputs::ShowConsoleReport()
{
    QByteArray out;
    if (IsCgiProgram())
        out = CgiResponse(Options().GetText(2), m_texts.IntroText + m_texts.ReportText);
    else
        out = (m_texts.IntroText + m_texts.ReportText).toUtf8() + '\n';
    if (std::fwrite(out.constData(), 1, size_t(out.size()), stdout) != size_t(out.size()) || std::fflush(stdout) != 0)
        throw ESivrelError(QStringLiteral("Cannot write the report to the standard output."));
}

void TSivrelOutputs::ShowRequestDialog()
{
    const TSivrelReportState& r = SivrelReport();
    if (!(Options().LogFlags() & 2) || IsConsole() || r.Duplicate || (Options().SendMode() == smNone && !Options().SaveLog()))
        return;
    if (AutoAnswer()) {
        m_texts.RequestText = NormalizeRequestText(qEnvironmentVariable("QLY_SIVREL_AUTOANSWER_REQUEST"));
        return;
    }
    RunOnGui([this] {
        TSivrelRequestDialog dialog(Options());
        const TSivrelWindowOpen open;
        dialog.exec();
        m_texts.RequestText = dialog.RequestText();
    });
}

void TSivrelOutputs::SaveScreenshot()
{
    DeleteScreenshot();
    if (!SivrelReport().ScreenshotSwitch || !Options().AttachScreenshot() || m_screen.isNull())
        return;
    QByteArray folder = QFile::encodeName(TempFolder() + QStringLiteral("/sivrel-XXXXXX"));
    if (!mkdtemp(folder.data()))
        return;
    m_screenshotFolder = QFile::decodeName(folder);
    m_screenshotFile = m_screenshotFolder + QStringLiteral("/Screenshot.png");
    if (!SaveScreenshotPNG(m_screen, m_screenshotFile))
        m_screenshotFile.clear();
}

void TSivrelOutputs::DeleteScreenshot()
{
    if (!m_screenshotFolder.isEmpty())
        QDir(m_screenshotFolder).removeRecursively();
    m_screenshotFolder.clear();
    m_screenshotFile.clear();
}

void TSivrelOutputs::WriteLog()
{
    WriteReportToLog(Options(), m_texts, SivrelReport().Duplicate, m_requestAppended);
}

void TSivrelOutputs::CompleteLog()
{
    CompleteReportInLog(Options(), m_texts, SivrelReport().Duplicate, m_requestAppended);
}

void TSivrelOutputs::AppendRequestSection()
{
    if (m_requestAppended)
        return;
    excreport::AppendRequestSection(m_texts, Options(), SivrelReport().Duplicate);
    m_requestAppended = true;
}

void TSivrelOutputs::CopyToClipboard()
{
    const QString text = m_texts.ReportText;
    if (RunOnGui([text] { QGuiApplication::clipboard()->setText(text); }) == TGuiRun::Held)
        SivrelRunInHelper("clipboard", text.toUtf8());
}

void TSivrelOutputs::SendReport()
{
    const TSivrelModuleOptions& o = Options();
    QStringList attachments;
    QString logFolder;
    QString body = o.EmailBody();
    if (o.LogInMailBody()) {
        body += QStringLiteral("\r\n\r\n\r\n") + m_texts.MailText;
    } else {
        QByteArray folder = QFile::encodeName(TempFolder() + QStringLiteral("/sivrel-XXXXXX"));
        if (mkdtemp(folder.data())) {
            logFolder = QFile::decodeName(folder);
            const QString path = logFolder + u'/' + QFileInfo(o.LogFileName()).fileName();
            QFile file(path);
            if (file.open(QIODevice::WriteOnly)) {
                QString text = m_texts.MailText;
                if (!text.endsWith(QStringLiteral("\r\n")))
                    text += QStringLiteral("\r\n");
                file.write(text.toUtf8());
                attachments << path;
            }
        }
    }
    if (!m_screenshotFile.isEmpty())
        attachments << m_screenshotFile;
    const auto cleanUp = qScopeGuard([&] {
        if (!logFolder.isEmpty())
            QDir(logFolder).removeRecursively();
    });
    if (o.SendMode() == smSmtpRelay || o.SendMode() == smSmtpDirect) {
        const auto text = [&o](int i) { return o.GetText(i); };
        // The progress window, for a program with windows.
        QPointer<TSivrelSmtpProgressDialog> dialog;
        if (o.ShowSmtpProgress() && !IsConsole())
            RunOnGui([&] {
                dialog = new TSivrelSmtpProgressDialog(o);
                dialog->setAttribute(Qt::WA_DeleteOnClose);
                dialog->show();
            });
        TSivrelSmtpProgress progress;
        if (dialog) {
            progress.Text = [dialog](const QString& t) { PostSmtpProgressText(dialog, t); };
            progress.Percent = [dialog](int p) { PostSmtpProgressPercent(dialog, p); };
            progress.Warning = [](const QString& message) {
                if (AutoAnswer()) {
                    WriteStderr(QStringLiteral("[box] Error.|") + message);
                    return;
                }
                RunOnGui([&message] {
                    QMessageBox box(QMessageBox::Critical, QStringLiteral("Error."), message, QMessageBox::Ok);
                    box.setWindowFlag(Qt::WindowStaysOnTopHint);
                    box.setProperty("sivrelReporterWindow", true);
                    const TSivrelWindowOpen open;
                    box.exec();
                });
            };
        }
        const bool sent = SendBySMTPToRecipients(o.SendMode() == smSmtpDirect, o.SmtpFrom(), o.SmtpHost(), attachments,
                                                 body, o.EmailSubject(), o.EmailAddress(), o.SmtpUser(),
                                                 o.SmtpPassword(), o.SmtpPort(), text, progress);
        PostSmtpProgressClose(dialog);
        if (!sent)
            throw ESivrelError(QStringLiteral("The report was not sent."));
        return;
    }
    QStringList recipients;
    for (const QString& a : SplitAddresses(o.EmailAddress()))
        if (!a.isEmpty())
            recipients << a;
    const QString email = QStandardPaths::findExecutable(QStringLiteral("xdg-email"));
    bool sent = false;
    if (email.isEmpty()) {
        InternalWarning(eeEmailMAPIError, QStringLiteral("Cannot open the MAPI dll."));
    } else {
        QStringList args{QStringLiteral("--utf8"), QStringLiteral("--subject"), o.EmailSubject(), QStringLiteral("--body"), body};
        for (const QString& a : attachments)
            args << QStringLiteral("--attach") << a;
        args << recipients;
        sent = QProcess::execute(email, args) == 0;
        if (!sent)
            InternalWarning(eeEmailMAPIError, QStringLiteral("Cannot send the MAPI message."));
    }
    if (sent)
        return;
    const QString url = MailtoUrl(o.EmailAddress(), o.EmailSubject(), o.EmailBody(), m_texts.ReportText);
    const QString open = QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
    if (open.isEmpty() || QProcess::execute(open, {url}) != 0)
        throw ESivrelError(QStringLiteral("The mail program could not be started."));
}

void SivrelInstallReportOutputs()
{
    static TSivrelOutputs& outputs = *new TSivrelOutputs;
    SivrelSetReportOutputs(&outputs);
}

} // namespace excreport
