// The mapping page of the import wizard: filling it, the preview arrows, "Erste Zeile
// ignorieren" and "Feld hinzufügen".
#include "importwizard/AssociationBox.h"
#include "importwizard/ImportRules.h"
#include "importwizard/ImportWizardForm.h"
#include "platform/settings/RegIniFile.h"

#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>

using namespace importwizard;

QString TImportWizardForm::IgnoreFirstRowValueName() const
{
    return FImportType == itExcel ? QStringLiteral("XLSIgnoreFirstRow") : QStringLiteral("CSVIgnoreFirstRow");
}

void TImportWizardForm::ShowMappingControls(bool arrows, bool ignoreFirstRow, bool listSelector)
{
    UpDown1->setVisible(arrows);
    CheckBoxIgnoreFirstRow->setVisible(ignoreFirstRow);
    ComboBoxDefaultAll->setVisible(listSelector);
}

void TImportWizardForm::FillMappingPage(int previewRow)
{
    switch (FImportType) {
    case itCSV:
        AssociateCSVFiles(previewRow);
        break;
    case itExcel:
        AssociateXLSRows(previewRow);
        break;
    case itDatabase:
    case itAccess:
        AssociateDBRows(previewRow);
        break;
    case itOutlook:
        AssociateOutlook();
        break;
    }
}

void TImportWizardForm::AssignSelectedItems(const QStringList& values, const QStringList& descriptions,
                                            const QString& valueName)
{
    QString stored;
    try {
        stored = FSettings->ReadString(SettingsSection, valueName, QString());
    } catch (const settings::ERegistryException&) {
    }
    const QStringList mapping = InitialMapping(FColumnMapping, stored, values, int(descriptions.size()));
    if (!mapping.isEmpty())
        FAssociationBox->SetSelectedItems(mapping);
}

void TImportWizardForm::UpDown1Click(TUDBtnType button)
{
    if (button == btPrev) {
        if (FPreviewRow > 1)
            --FPreviewRow;
    } else {
        ++FPreviewRow;
    }
    FColumnMapping = FAssociationBox->GetSelectedItems();
    FillMappingPage(FPreviewRow);
}

void TImportWizardForm::CheckBoxIgnoreFirstRowClick()
{
    if ((FImportType == itCSV || FImportType == itExcel) && FPreviewRow == 1)
        FillMappingPage(1);
}

void TImportWizardForm::TabSheetCSVAssociationsShow()
{
    ButtonAddField->setVisible(bool(OnNewColumn));
    if (FImportType == itCSV || FImportType == itExcel) {
        bool ignore = true;
        try {
            ignore = FSettings->ReadBool(SettingsSection, IgnoreFirstRowValueName(), true);
        } catch (const settings::ERegistryException&) {
        }
        CheckBoxIgnoreFirstRow->setChecked(ignore);
    }
}

void TImportWizardForm::TabSheetCSVAssociationsHide()
{
    ButtonAddField->hide();
    if (FImportType == itCSV || FImportType == itExcel) {
        try {
            FSettings->WriteBool(SettingsSection, IgnoreFirstRowValueName(), CheckBoxIgnoreFirstRow->isChecked());
        } catch (const settings::ERegistryException&) {
        }
    }
}

void TImportWizardForm::AddAColumn()
{
    const std::optional<QString> answer =
        FDialogs->InputQuery(this, QStringLiteral("Spalte hinzufügen"),
                             QStringLiteral("Bitte geben Sie einen Namen für die neue Spalte an:"), QString());
    if (!answer)
        return;
    const QString name = answer->trimmed();
    if (name.isEmpty() || !OnNewColumn)
        return;
    // The owner's list store checks the name and reports why it could not add the column.
    if (!OnNewColumn(name))
        return;
    FDescriptions.append(name);
    FColumnMapping = FAssociationBox->GetSelectedItems();
    FillMappingPage(FPreviewRow);
}
