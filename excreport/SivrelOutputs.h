#pragma once
// The report's outputs as the program uses them: texts, duplicate test, dialog or console, request
// dialog, screenshot, log, clipboard and mail.
#include "excreport/SivrelReport.h"
#include "excreport/SivrelReportText.h"
#include <QImage>

namespace excreport {

class TSivrelOutputs : public TSivrelReportOutputs {
public:
    void ShowCustomMessage(const QString& caption, const QString& message) override;
    QString BuildTexts() override;
    bool IsDuplicate() override;
    void CaptureScreen() override;
    void ReleaseScreen() override;
    QString MessageText() override;
    bool IsConsole() override;
    void ShowReportDialog() override;
    void ShowConsoleReport() override;
    void ShowRequestDialog() override;
    void SaveScreenshot() override;
    void DeleteScreenshot() override;
    void WriteLog() override;
    void CompleteLog() override;
    void AppendRequestSection() override;
    void CopyToClipboard() override;
    void SendReport() override;

    TSivrelReportTexts& Texts() { return m_texts; }

private:
    TSivrelReportTexts m_texts;
    bool m_requestAppended = false;
    QImage m_screen;
    QString m_screenshotFolder;
    QString m_screenshotFile;
};

// The program's outputs (made on first use, never freed), installed for the pipeline.
void SivrelInstallReportOutputs();

// The web page of a CGI program: the status, type, length and "Content:" header lines, then the
// page with the intro and the text escaped and turned into HTML.
QByteArray CgiResponse(const QString& caption, const QString& text);
// A CGI program: no GUI application, and REQUEST_METHOD is set.
bool IsCgiProgram();

} // namespace excreport
