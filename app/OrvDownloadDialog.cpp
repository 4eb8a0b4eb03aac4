#include "app/OrvDownloadDialog.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFileInfo>
#include <QLabel>
#include <QLocale>
#include <QMessageBox>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QUrl>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <exception>

namespace app {

// ---- texts ------------------------------------------------------------------------------------

QString KiloBytes(qint64 bytes)
{
    // Cut, not rounded: 1023 bytes are 0,99 kByte.
    const qint64 hundredths = bytes * 100 / 1024;
    return QLocale().toString(double(hundredths) / 100.0, 'f', 2);
}

QString TDownloadTexts::SourceLabel(const QString& url) const
{
    const QString name = url.mid(url.lastIndexOf(QLatin1Char('/')) + 1);
    return (German ? QStringLiteral("Quelle: ") : QStringLiteral("Source: ")) + name;
}

QString TDownloadTexts::DestinationLabel(const QString& path) const
{
    return (German ? QStringLiteral("Ziel: ") : QStringLiteral("Destination: ")) + path.left(47) + QStringLiteral("...");
}

QString TDownloadTexts::CancelCaption() const
{
    return German ? QStringLiteral("Abbrechen") : QStringLiteral("Cancel");
}

QString TDownloadTexts::Progress(qint64 received, qint64 total) const
{
    if (German)
        return QStringLiteral("Fortschritt: ") + KiloBytes(received) + QStringLiteral(" kByte von ") + KiloBytes(total)
               + QStringLiteral(" kByte heruntergeladen");
    return QStringLiteral("Progress : ") + KiloBytes(received) + QStringLiteral(" kBytes of ") + KiloBytes(total)
           + QStringLiteral(" kBytes received");
}

QString TDownloadTexts::ConnectError(const QString& responseText) const
{
    return (German ? QStringLiteral("Fehler beim Verbinden zum Webserver.\n\r") : QStringLiteral("Error while connecting to server.\n\r"))
           + responseText;
}

QString TDownloadTexts::ReplaceQuestion(const QString& path) const
{
    if (German)
        return QStringLiteral("Die Datei '") + path + QStringLiteral("' existiert bereits. Durch neue ersetzen?");
    return QStringLiteral("File '") + path + QStringLiteral("' already exists. Replace existing file?");
}

// ---- copy animation -----------------------------------------------------------------------------

TCopyAnimation::TCopyAnimation(QWidget* parent) : QWidget(parent), m_timer(new QTimer(this))
{
    setObjectName(QStringLiteral("avi_copy"));
    m_timer->setInterval(60);
    connect(m_timer, &QTimer::timeout, this, [this] {
        m_frame = (m_frame + 1) % 20;
        update();
    });
}

void TCopyAnimation::Start()
{
    m_timer->start();
}

void TCopyAnimation::Stop()
{
    m_timer->stop();
    m_frame = 0;
    update();
}

bool TCopyAnimation::Active() const
{
    return m_timer->isActive();
}

void TCopyAnimation::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const int h = height();
    auto folder = [&](int x) {
        const QColor yellow(240, 200, 80), edge(160, 120, 30);
        p.setPen(edge);
        p.setBrush(yellow);
        p.drawRect(x, h / 2 - 10, 40, 28);
        p.drawRect(x, h / 2 - 14, 16, 5);
    };
    folder(10);
    folder(width() - 50);
    if (!Active())
        return;
    // The sheet flies in an arc from the left folder to the right one.
    const double t = m_frame / 19.0;
    const int x0 = 30, x1 = width() - 45;
    const int x = int(x0 + (x1 - x0) * t);
    const int y = int(h / 2 - 12 - 18 * 4 * t * (1 - t));
    p.setPen(QColor(90, 90, 90));
    p.setBrush(Qt::white);
    p.drawRect(x, y, 14, 18);
    p.drawLine(x + 3, y + 5, x + 11, y + 5);
    p.drawLine(x + 3, y + 9, x + 11, y + 9);
    p.drawLine(x + 3, y + 13, x + 9, y + 13);
}

// ---- progress window -----------------------------------------------------------------------------

TDownloadProgressForm::TDownloadProgressForm(const QString& source, const QString& destination, const TDownloadTexts& texts,
                                             QWidget* parent)
    : QDialog(parent), m_source(source), m_destination(destination), m_texts(texts)
{
    setObjectName(QStringLiteral("DownloadProgressForm"));
    setWindowTitle(QStringLiteral("Download"));
    setFixedSize(368, 217);
    setModal(true);
    avi_copy = new TCopyAnimation(this);
    avi_copy->setGeometry(48, 6, 272, 60);
    // A compact font, as the window is small and the destination line is long.
    QFont small = font();
    small.setPointSizeF(std::max(7.0, small.pointSizeF() - 1.0));
    auto label = [this, &small](const char* name, int y, int height = 18) {
        auto* l = new QLabel(this);
        l->setObjectName(QLatin1String(name));
        l->setTextFormat(Qt::PlainText);
        l->setFont(small);
        l->setGeometry(8, y, 352, height);
        return l;
    };
    lab_speichern = label("lab_speichern", 70);
    pro_download = new QProgressBar(this);
    pro_download->setObjectName(QStringLiteral("pro_download"));
    pro_download->setGeometry(8, 92, 352, 18);
    pro_download->setTextVisible(false);
    pro_download->setRange(0, 100);
    pro_download->setValue(0);
    lab_pfad = label("lab_pfad", 116);
    lab_progress = label("lab_progress", 136, 34);
    lab_progress->setWordWrap(true);
    lab_progress->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    btn_abbrechen = new QPushButton(m_texts.CancelCaption(), this);
    btn_abbrechen->setObjectName(QStringLiteral("btn_abbrechen"));
    btn_abbrechen->setGeometry(141, 180, 86, 27);
    connect(btn_abbrechen, &QPushButton::clicked, this, &TDownloadProgressForm::reject);
    StartTimer = new QTimer(this);
    StartTimer->setObjectName(QStringLiteral("StartTimer"));
    StartTimer->setSingleShot(true);
    StartTimer->setInterval(300);
    connect(StartTimer, &QTimer::timeout, this, &TDownloadProgressForm::StartTimerTimer);
    m_http = new QNetworkAccessManager(this);
}

TDownloadProgressForm::~TDownloadProgressForm()
{
    if (m_reply) {
        m_result = m_result == mrNone ? mrCancel : m_result;
        m_reply->abort();
    }
    if (m_part.isOpen()) {
        m_part.close();
        m_part.remove();
    }
}

void TDownloadProgressForm::showEvent(QShowEvent* e)
{
    QDialog::showEvent(e);
    if (!m_started)
        StartTimer->start();
}

void TDownloadProgressForm::StartTimerTimer()
{
    StartTimer->stop();
    if (m_started || m_result != mrNone)
        return;
    m_started = true;
    lab_speichern->setText(m_texts.SourceLabel(m_source));
    lab_pfad->setText(m_texts.DestinationLabel(m_destination));
    btn_abbrechen->setText(m_texts.CancelCaption());
    avi_copy->Start();

    m_part.setFileName(m_destination + QStringLiteral(".part"));
    if (!m_part.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        const QString error = m_part.errorString();
        if (ShowMessage)
            ShowMessage(m_texts.ConnectError(QString()) + error);
        Finish(mrAbort);
        return;
    }
    QNetworkRequest request{QUrl(m_source)};
    request.setRawHeader("Accept", "text/html, */*");
    request.setHeader(QNetworkRequest::UserAgentHeader, QByteArrayLiteral("Mozilla/3.0 (compatible; Indy Library)"));
    // Redirects are followed, but never from https to http.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    m_reply = m_http->get(request);
    m_reply->setReadBufferSize(1 << 20);
    connect(m_reply, &QNetworkReply::readyRead, this, &TDownloadProgressForm::ReadBody);
    // The reply's own signals are connected by name: the network library is loaded on first
    // need, and a connection by member pointer would need its metaobject at start.
    connect(m_reply, SIGNAL(metaDataChanged()), this, SLOT(MetaDataChanged()));
    connect(m_reply, SIGNAL(downloadProgress(qint64, qint64)), this, SLOT(DownloadProgress(qint64, qint64)));
    connect(m_reply, SIGNAL(finished()), this, SLOT(Done()));
}

// The start of the transfer: the size the server announces (0 when it announces none).
void TDownloadProgressForm::MetaDataChanged()
{
    if (m_result != mrNone || !m_reply)
        return;
    const QVariant length = m_reply->header(QNetworkRequest::ContentLengthHeader);
    m_total = length.isValid() ? std::max<qint64>(length.toLongLong(), 0) : 0;
    pro_download->setValue(0);
    if (m_total != 0)
        pro_download->setMaximum(int(std::min<qint64>(m_total / (m_total > INT_MAX ? 1024 : 1), INT_MAX)));
}

void TDownloadProgressForm::DownloadProgress(qint64 received, qint64)
{
    if (m_result != mrNone)
        return;
    if (m_total > 0)
        pro_download->setValue(int(std::min<qint64>(received / (m_total > INT_MAX ? 1024 : 1), pro_download->maximum())));
    lab_progress->setText(m_texts.Progress(received, m_total));
}

void TDownloadProgressForm::ReadBody()
{
    if (!m_reply || m_result != mrNone)
        return;
    const QVariant status = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    const QByteArray chunk = m_reply->readAll();
    if (status.isValid() && status.toInt() >= 300)
        return; // an error page or a redirect's body is not the file
    if (!m_writeFailed && m_part.write(chunk) != chunk.size())
        m_writeFailed = true;
}

void TDownloadProgressForm::Done()
{
    if (!m_reply || m_result != mrNone)
        return;
    ReadBody();
    QNetworkReply* reply = m_reply;
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    const bool httpError = status.isValid() && status.toInt() >= 400;
    if (reply->error() != QNetworkReply::NoError || httpError || m_writeFailed || !m_part.flush()) {
        QString response;
        if (status.isValid())
            response = QString::number(status.toInt()) + QLatin1Char(' ')
                       + QString::fromLatin1(reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toByteArray());
        m_part.close();
        m_part.remove();
        reply->deleteLater();
        m_reply = nullptr;
        avi_copy->Stop();
        if (ShowMessage)
            ShowMessage(m_texts.ConnectError(response));
        Finish(mrAbort);
        return;
    }
    m_part.close();
    reply->deleteLater();
    m_reply = nullptr;
    // Only a complete file replaces the destination.
    if (std::rename(QFile::encodeName(m_part.fileName()).constData(), QFile::encodeName(m_destination).constData()) != 0) {
        m_part.remove();
        if (ShowMessage)
            ShowMessage(m_texts.ConnectError(QString()));
        Finish(mrAbort);
        return;
    }
    Finish(mrOk);
}

void TDownloadProgressForm::reject()
{
    if (m_result != mrNone)
        return;
    StartTimer->stop();
    m_result = mrCancel;
    if (m_reply) {
        QNetworkReply* reply = m_reply;
        m_reply = nullptr;
        reply->abort();
        reply->deleteLater();
    }
    if (m_part.isOpen()) {
        m_part.close();
        m_part.remove();
    }
    Finish(mrCancel);
}

void TDownloadProgressForm::Finish(TModalResult result)
{
    m_result = result;
    avi_copy->Stop();
    done(int(result));
}

// ---- the component --------------------------------------------------------------------------------

TOrvDownloadDialog::TOrvDownloadDialog(QObject* owner) : QObject(owner)
{
    Texts.German = QLocale().language() == QLocale::German;
    Ask = [this](const QString& text) {
        return QMessageBox::question(FormHandle, Texts.German ? QStringLiteral("Bestätigung") : QStringLiteral("Confirm"), text,
                                     QMessageBox::Yes | QMessageBox::No)
               == QMessageBox::Yes;
    };
    ShowMessage = [this](const QString& text) {
        QMessageBox box(QMessageBox::NoIcon, QApplication::applicationName(), text, QMessageBox::Ok, FormHandle);
        box.exec();
    };
    Launcher = [](const QString& path) { return QDesktopServices::openUrl(QUrl::fromLocalFile(path)); };
}

void TOrvDownloadDialog::Execute()
{
    m_cancelled = false;
    m_result = mrNone;
    if (Source.isEmpty() || Destination.isEmpty())
        return;
    if (!AlwaysOverwrite && QFileInfo::exists(Destination) && !(Ask && Ask(Texts.ReplaceQuestion(Destination))))
        return;
    TDownloadProgressForm form(Source, Destination, Texts, FormHandle);
    form.ShowMessage = ShowMessage;
    if (OnFormShown)
        QTimer::singleShot(0, &form, [this, &form] { OnFormShown(form); });
    form.exec();
    m_result = form.ModalResult();
    m_cancelled = m_result == mrCancel;
    if (ExecFile && m_result == mrOk && Launcher) {
        try {
            Launcher(Destination);
        } catch (const std::exception& e) {
            if (ShowMessage)
                ShowMessage(QString::fromUtf8(e.what()));
        }
    }
}

} // namespace app
