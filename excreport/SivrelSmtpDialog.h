#pragma once
// The progress window of the report mail: which message is being sent and how far. Made and
// changed on the GUI thread only; the sending thread reaches it through queued calls.
#include <QDialog>
#include <QPointer>

class QLabel;
class QProgressBar;

namespace excreport {

class TSivrelModuleOptions;

class TSivrelSmtpProgressDialog : public QDialog {
public:
    explicit TSivrelSmtpProgressDialog(const TSivrelModuleOptions& options, QWidget* parent = nullptr);
    void SetText(const QString& text);
    void SetPercent(int percent);

private:
    QLabel* m_text = nullptr;
    QProgressBar* m_bar = nullptr;
};

// Queued calls from another thread; nothing when the window is gone.
void PostSmtpProgressText(const QPointer<TSivrelSmtpProgressDialog>& dialog, const QString& text);
void PostSmtpProgressPercent(const QPointer<TSivrelSmtpProgressDialog>& dialog, int percent);
void PostSmtpProgressClose(const QPointer<TSivrelSmtpProgressDialog>& dialog);

} // namespace excreport
