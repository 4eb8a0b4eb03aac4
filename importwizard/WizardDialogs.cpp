#include "importwizard/WizardDialogs.h"

#include "importwizard/DataLinkDialog.h"
#include "importwizard/OutlookFolderDialog.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QMessageBox>
#include <QUrl>

namespace importwizard {

QString ToNameFilter(const QString& filter)
{
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString description = parts[i];
        const QString mask = QString(parts[i + 1]).replace(QLatin1Char(';'), QLatin1Char(' '));
        if (!description.contains(QLatin1Char('(')))
            description += QLatin1String(" (") + mask + QLatin1Char(')');
        filters.append(description);
    }
    return filters.join(QLatin1String(";;"));
}

void TQtWizardDialogs::ShowMessage(QWidget* parent, const QString& text)
{
    // The texts break their lines with CR, CR LF or LF.
    QString shown = text;
    shown.replace(QLatin1String("\r\n"), QLatin1String("\n")).replace(QLatin1Char('\r'), QLatin1Char('\n'));
    QMessageBox::information(parent, QApplication::applicationName(), shown, QMessageBox::Ok);
}

std::optional<QString> TQtWizardDialogs::InputQuery(QWidget* parent, const QString& caption, const QString& prompt,
                                                    const QString& value)
{
    bool ok = false;
    const QString text = QInputDialog::getText(parent, caption, prompt, QLineEdit::Normal, value, &ok);
    if (!ok)
        return std::nullopt;
    return text;
}

QString TQtWizardDialogs::OpenFileName(QWidget* parent, const QString& defaultExt, const QString& filter,
                                       const QString& fileName)
{
    QFileDialog dialog(parent);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilter(ToNameFilter(filter));
    QString suffix = defaultExt;
    suffix.remove(QLatin1Char('*')).remove(QLatin1Char('.'));
    dialog.setDefaultSuffix(suffix);
    if (!fileName.isEmpty())
        dialog.selectFile(fileName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    return dialog.selectedFiles().constFirst();
}

bool TQtWizardDialogs::OpenWithDesktop(const QString& fileName)
{
    return QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(fileName).absoluteFilePath()));
}

void TQtWizardDialogs::BeginWaitCursor()
{
    QApplication::setOverrideCursor(Qt::WaitCursor);
}

void TQtWizardDialogs::EndWaitCursor()
{
    QApplication::restoreOverrideCursor();
}

QString TQtWizardDialogs::PromptDataSource(QWidget* parent, const QString& initial)
{
    return TDataLinkDialog::Execute(parent, initial);
}

std::optional<quint32> IWizardDialogs::PickOutlookFolder(QWidget* parent, const outlook::TFolderNode& root)
{
    return TOutlookFolderDialog::Execute(parent, root);
}

} // namespace importwizard
