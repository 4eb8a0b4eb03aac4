#pragma once
// TOrvDownloadDialog: downloads one file over HTTP into a local path while a small modal window
// (TDownloadProgressForm, "Download") shows source, destination and progress, and can then hand
// the file to the desktop's handler. The transfer runs inside the window's event loop, so the
// program stays responsive; the body is written to "<destination>.part" and renamed over the
// destination only when complete.
#include <QDialog>
#include <QElapsedTimer>
#include <QFile>
#include <QObject>
#include <QPointer>
#include <QString>
#include <functional>

class QLabel;
class QNetworkAccessManager;
class QNetworkReply;
class QProgressBar;
class QPushButton;
class QTimer;

namespace app {

enum TModalResult { mrNone = 0, mrOk = 1, mrCancel = 2, mrAbort = 3 };

// The texts of the dialog in the user's language (German when the user's language is German).
struct TDownloadTexts {
    bool German = true;
    QString SourceLabel(const QString& url) const;
    QString DestinationLabel(const QString& path) const;
    QString CancelCaption() const;
    QString Progress(qint64 received, qint64 total) const;
    QString ConnectError(const QString& responseText) const;
    QString ReplaceQuestion(const QString& path) const;
};
// Bytes as kilobytes cut (not rounded) to two decimals, in the locale's format.
QString KiloBytes(qint64 bytes);

// A small copy animation: a sheet flying from one folder to the other.
class TCopyAnimation : public QWidget {
    Q_OBJECT
public:
    explicit TCopyAnimation(QWidget* parent = nullptr);
    void Start();
    void Stop();
    bool Active() const;

protected:
    void paintEvent(QPaintEvent*) override;

private:
    QTimer* m_timer;
    int m_frame = 0;
};

class TDownloadProgressForm : public QDialog {
    Q_OBJECT
public:
    TDownloadProgressForm(const QString& source, const QString& destination, const TDownloadTexts& texts, QWidget* parent = nullptr);
    ~TDownloadProgressForm() override;

    TModalResult ModalResult() const { return m_result; }
    // The error text shown for a failed transfer (empty when none failed).
    std::function<void(const QString& text)> ShowMessage;

    TCopyAnimation* avi_copy;
    QLabel* lab_speichern;
    QProgressBar* pro_download;
    QLabel* lab_pfad;
    QLabel* lab_progress;
    QPushButton* btn_abbrechen;
    QTimer* StartTimer;

    void reject() override; // Cancel, Escape and the close button stop the transfer

protected:
    void showEvent(QShowEvent* e) override;

private:
    void StartTimerTimer();
    void Finish(TModalResult result);
    void ReadBody();

private Q_SLOTS:
    void MetaDataChanged();
    void DownloadProgress(qint64 received, qint64 total);
    void Done();

private:
    QString m_source, m_destination;
    TDownloadTexts m_texts;
    QNetworkAccessManager* m_http = nullptr;
    QPointer<QNetworkReply> m_reply;
    QFile m_part;
    qint64 m_total = 0;
    bool m_started = false;
    bool m_writeFailed = false;
    TModalResult m_result = mrNone;
};

class TOrvDownloadDialog : public QObject {
    Q_OBJECT
public:
    explicit TOrvDownloadDialog(QObject* owner = nullptr);

    QWidget* FormHandle = nullptr; // the window the progress window is centred on
    QString Source;
    QString Destination;
    bool AlwaysOverwrite = false;
    bool ExecFile = false;
    QString ExecParams; // kept; the desktop's handler takes no parameters
    bool Cancelled() const { return m_cancelled; }
    TModalResult Result() const { return m_result; }

    // Asks, downloads with the progress window and, when asked to, hands the file to the
    // desktop's handler (never runs it as a program).
    void Execute();

    TDownloadTexts Texts;
    // Replaceable for tests: the overwrite question (true for Yes), a plain message, the
    // desktop's handler, and a look at the progress window once it is shown.
    std::function<bool(const QString& text)> Ask;
    std::function<void(const QString& text)> ShowMessage;
    std::function<bool(const QString& path)> Launcher;
    std::function<void(TDownloadProgressForm& form)> OnFormShown;

private:
    bool m_cancelled = false;
    TModalResult m_result = mrNone;
};

} // namespace app
