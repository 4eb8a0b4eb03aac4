#include "excreport/SivrelSmtpDialog.h"
#include "excreport/SivrelLook.h"
#include "excreport/SivrelOptions.h"
#include <QApplication>
#include <QLabel>
#include <QProgressBar>
#include <QVBoxLayout>

namespace excreport {

TSivrelSmtpProgressDialog::TSivrelSmtpProgressDialog(const TSivrelModuleOptions& options, QWidget* parent)
    : QDialog(parent)
{
    setProperty("sivrelReporterWindow", true);
    setWindowFlag(Qt::WindowStaysOnTopHint);
    setWindowTitle(options.GetText(53));
    new TSivrelDialogLook(this, options.CustomDialogLook());
    auto* layout = new QVBoxLayout(this);
    m_text = new QLabel(this);
    m_text->setObjectName(QStringLiteral("Id100"));
    m_text->setFont(QApplication::font("QMessageBox"));
    m_bar = new QProgressBar(this);
    m_bar->setObjectName(QStringLiteral("Id101"));
    m_bar->setRange(0, 100);
    m_bar->setTextVisible(false);
    layout->addWidget(m_text);
    layout->addWidget(m_bar);
    setMinimumWidth(360);
}

void TSivrelSmtpProgressDialog::SetText(const QString& text)
{
    m_text->setText(text);
}

void TSivrelSmtpProgressDialog::SetPercent(int percent)
{
    m_bar->setValue(percent);
}

void PostSmtpProgressText(const QPointer<TSivrelSmtpProgressDialog>& dialog, const QString& text)
{
    if (dialog)
        QMetaObject::invokeMethod(dialog.data(), [dialog, text] { if (dialog) dialog->SetText(text); }, Qt::QueuedConnection);
}

void PostSmtpProgressPercent(const QPointer<TSivrelSmtpProgressDialog>& dialog, int percent)
{
    if (dialog)
        QMetaObject::invokeMethod(dialog.data(), [dialog, percent] { if (dialog) dialog->SetPercent(percent); }, Qt::QueuedConnection);
}

void PostSmtpProgressClose(const QPointer<TSivrelSmtpProgressDialog>& dialog)
{
    if (dialog)
        QMetaObject::invokeMethod(dialog.data(), [dialog] { if (dialog) dialog->deleteLater(); }, Qt::QueuedConnection);
}

} // namespace excreport
