// The CSV source of the import wizard: its file page, the separator guess, the preview on the
// mapping page and the run.
#include "controls/ProgressPanel.h"
#include "importwizard/AssociationBox.h"
#include "importwizard/ImportRules.h"
#include "importwizard/ImportWizardForm.h"
#include "platform/settings/RegIniFile.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QRadioButton>
#include <QStackedWidget>

using namespace importwizard;

namespace {

const QString kOpenFailed = QStringLiteral(
    "Die angegebe Datei konnte nicht geöffnet werden. Bitte achten Sie darauf, dass die Datei nicht bereits "
    "von einer anderen Anwendung geöffnet ist.");

// The whole file as text; nothing when it cannot be opened or read.
std::optional<QString> ReadTextFile(const QString& fileName)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return std::nullopt;
    return DecodeTextFile(bytes);
}

} // namespace

QChar TImportWizardForm::CsvSeparator() const
{
    const int index = BegrenzerComboBox->currentIndex();
    if (index < 0)
        return QChar();
    const QString text = BegrenzerComboBox->itemText(index);
    return text.isEmpty() ? QChar() : text.front();
}

bool TImportWizardForm::CsvNoDuplicates() const
{
    return RadioButtonCSVNoDuplicates->isChecked();
}

void TImportWizardForm::TabSheetCSVFilesShow()
{
    try {
        EditCSVFilename->setText(FSettings->ReadString(SettingsSection, QStringLiteral("CSVFile"), QString()));
        const int index = FSettings->ReadInteger(SettingsSection, QStringLiteral("CSVSeparator"), 0);
        BegrenzerComboBox->setCurrentIndex(index >= 0 && index < BegrenzerComboBox->count() ? index : -1);
        if (FSettings->ReadBool(SettingsSection, QStringLiteral("CSVAllowDuplicates"), false))
            RadioButtonCSVAllowDuplicates->setChecked(true);
        else
            RadioButtonCSVNoDuplicates->setChecked(true);
    } catch (const settings::ERegistryException&) {
    }
}

void TImportWizardForm::TabSheetCSVFilesHide()
{
    try {
        if (!EditCSVFilename->text().isEmpty())
            FSettings->WriteString(SettingsSection, QStringLiteral("CSVFile"), EditCSVFilename->text());
        if (BegrenzerComboBox->currentIndex() >= 0)
            FSettings->WriteInteger(SettingsSection, QStringLiteral("CSVSeparator"), BegrenzerComboBox->currentIndex());
        FSettings->WriteBool(SettingsSection, QStringLiteral("CSVAllowDuplicates"),
                             RadioButtonCSVAllowDuplicates->isChecked());
    } catch (const settings::ERegistryException&) {
    }
}

void TImportWizardForm::SpeedButtonFilenameDialogClick()
{
    const QString fileName = FDialogs->OpenFileName(
        this, QStringLiteral("*.csv"),
        QStringLiteral("CSV Dateien (*.csv)|*.csv|Text Dateien (*.txt)|*.txt|Alle Dateien (*.*)|*.*"),
        EditCSVFilename->text());
    if (fileName.isEmpty())
        return;
    EditCSVFilename->setText(fileName);
    DetectSeparator();
}

void TImportWizardForm::SpeedButtonOpenImportEditorClick()
{
    const QString fileName = EditCSVFilename->text();
    if (!fileName.isEmpty() && QFileInfo(fileName).isFile())
        FDialogs->OpenWithDesktop(fileName);
    else
        ShowMessage(QStringLiteral("Der angegebene Dateiname existiert nicht."));
}

void TImportWizardForm::DetectSeparator()
{
    const QString fileName = EditCSVFilename->text();
    if (fileName.isEmpty())
        return;
    const std::optional<QString> text = ReadTextFile(fileName);
    if (!text)
        return;
    TLineReader reader(*text);
    QStringView line;
    while (!reader.AtEnd() && line.isEmpty())
        line = reader.ReadLine();
    if (line.isEmpty())
        return;
    QList<QChar> candidates;
    for (int i = 0; i < BegrenzerComboBox->count(); ++i)
        candidates.append(BegrenzerComboBox->itemText(i).front());
    BegrenzerComboBox->setCurrentIndex(DetectSeparatorIndex(line, candidates, BegrenzerComboBox->currentIndex()));
}

void TImportWizardForm::AssociateCSVFiles(int n)
{
    const QString fileName = EditCSVFilename->text();
    if (fileName.isEmpty())
        return;
    const QChar separator = CsvSeparator();
    const std::optional<QString> text = ReadTextFile(fileName);
    if (!text) {
        ShowMessage(kOpenFailed);
        if (PageControlImportWizard->currentWidget() == TabSheetCSVAssociations)
            ButtonBackClick();
        return;
    }
    TLineReader reader(*text);
    if (CheckBoxIgnoreFirstRow->isChecked())
        reader.ReadLine();
    QStringView line;
    for (int i = 0; i < n; ++i)
        line = reader.ReadLine();
    if (line.isEmpty() && n > 1)
        return;
    const QStringList values = SplitCsvLine(line, separator);
    FAssociationBox->SetDropDownValues(values);
    FAssociationBox->SetDescriptions(FDescriptions);
    AssignSelectedItems(values, FDescriptions, QStringLiteral("CSVAssociations"));
}

bool TImportWizardForm::ImportFromCSV()
{
    ProgressPanelImport->Start();
    const QChar separator = CsvSeparator();
    const std::optional<QString> text = ReadTextFile(EditCSVFilename->text());
    if (!text)
        return false;
    const QStringList mapping = FAssociationBox->GetSelectedItems();
    const bool noDuplicates = CsvNoDuplicates();
    TLineReader reader(*text);
    if (CheckBoxIgnoreFirstRow->isChecked())
        reader.ReadLine();

    if (OnRunStart)
        OnRunStart();
    try {
        while (!reader.AtEnd()) {
            if (Cancelled())
                break;
            const QStringView line = reader.ReadLine();
            if (line.isEmpty())
                continue;
            const QStringList values = SplitCsvLine(line, separator);
            if (!AllEmpty(values)) {
                QStringList row = OrderRow(values, mapping);
                HandOutRow(row, noDuplicates);
            }
            ProcessMessages();
            ProgressPanelImport->StepIt();
        }
    } catch (...) {
        if (OnRunEnd)
            OnRunEnd();
        throw;
    }
    if (OnRunEnd)
        OnRunEnd();

    if (RadioButtonCSVReplaceDuplicates->isChecked() && OnReplaceDoubles)
        OnReplaceDoubles(nullptr);
    SetFinished();
    return true;
}

QString TImportWizardForm::CsvOpenFailedMessage()
{
    return kOpenFailed;
}
