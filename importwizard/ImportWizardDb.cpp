// The database and Access sources of the import wizard: connecting, the table page, the preview
// and the run.
#include "controls/ProgressPanel.h"
#include "core/OrvDBUtils.h"
#include "importwizard/AssociationBox.h"
#include "importwizard/ImportRules.h"
#include "importwizard/ImportWizardForm.h"
#include "importwizard/dataaccess/ForeignDb.h"
#include "platform/settings/RegIniFile.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

using namespace importwizard;
using dataaccess::EForeignDbError;

namespace {

const QString kConnectFailed = QStringLiteral(
    "Beim Versuch mit Ihrer Datenbank zu verbinden ist ein \r\nFehler aufgetrete. Bitte überprüfen Sie Ihre "
    "Einstellungen.");

// The failure of a preview's query; it reaches the application's error handling.
class EQueryError : public std::runtime_error {
public:
    explicit EQueryError(const QString& message) : std::runtime_error(message.toStdString()) {}
};

} // namespace

void TImportWizardForm::BuildDbPage()
{
    QWidget* page = TabSheetDBType;
    auto* caption = new QLabel(QStringLiteral("Bitte wählen Sie eine Tabelle:"), page);
    caption->setObjectName(QStringLiteral("LabelDBTables"));
    caption->move(144, 8);
    caption->adjustSize();
    ComboBoxTables = new QComboBox(page);
    ComboBoxTables->setObjectName(QStringLiteral("ComboBoxTables"));
    ComboBoxTables->setEditable(true);
    ComboBoxTables->setInsertPolicy(QComboBox::NoInsert);
    ComboBoxTables->setGeometry(144, 26, 293, 23);

    auto* options = new QGroupBox(QStringLiteral("Optionen"), page);
    options->setObjectName(QStringLiteral("GroupBoxDBOptions"));
    options->setGeometry(144, 58, 293, 106);
    auto* layout = new QVBoxLayout(options);
    RadioButtonDBAllowDuplicates = new QRadioButton(QStringLiteral("Duplikate zulassen"), options);
    RadioButtonDBAllowDuplicates->setObjectName(QStringLiteral("RadioButtonDBAllowDuplicates"));
    RadioButtonDBNoDuplicates = new QRadioButton(QStringLiteral("Keine Duplikate erstellen"), options);
    RadioButtonDBNoDuplicates->setObjectName(QStringLiteral("RadioButtonDBNoDuplicates"));
    RadioButtonDBReplaceDuplicates = new QRadioButton(QStringLiteral("Duplikate durch neue Einträge ersetzten"), options);
    RadioButtonDBReplaceDuplicates->setObjectName(QStringLiteral("RadioButtonDBReplaceDuplicates"));
    RadioButtonDBReplaceDuplicates->hide();
    layout->addWidget(RadioButtonDBAllowDuplicates);
    layout->addWidget(RadioButtonDBNoDuplicates);
    layout->addWidget(RadioButtonDBReplaceDuplicates);
    layout->addStretch();
    RadioButtonDBAllowDuplicates->setChecked(true);

    FConnection = std::make_unique<dataaccess::TForeignConnection>();
    FQuery = std::make_unique<dataaccess::TForeignQuery>(*FConnection);
}

bool TImportWizardForm::DbNoDuplicates() const
{
    return RadioButtonDBNoDuplicates->isChecked();
}

QString TImportWizardForm::StoredConnectionString() const
{
    return dataaccess::RemovePasswords(FConnection->ConnectionString());
}

// ---- connecting --------------------------------------------------------------------------

bool TImportWizardForm::ConnectAndListTables()
{
    try {
        FDialogs->BeginWaitCursor();
        struct EndWait {
            IWizardDialogs* dialogs;
            ~EndWait() { dialogs->EndWaitCursor(); }
        } endWait{FDialogs};
        TBusy busy(this);
        FConnection->Open();
        const QStringList tables = FConnection->TableNames();
        ComboBoxTables->clear();
        ComboBoxTables->addItems(tables);
        return true;
    } catch (const EForeignDbError& e) {
        // The cause follows the general sentence.
        ShowMessage(kConnectFailed + QStringLiteral("\r\n\r\n") + e.Message());
        CloseConnection();
        return false;
    } catch (const TWorkCancelled&) {
        CloseConnection();
        return false;
    }
}

void TImportWizardForm::CloseConnection()
{
    FQuery->Close();
    FConnection->Close();
}

void TImportWizardForm::AskForDataSource()
{
    const QString connectionString = FDialogs->PromptDataSource(this, QString());
    FConnection->SetConnectionString(connectionString);
    if (connectionString.isEmpty())
        return;
    if (ConnectAndListTables())
        SetActivePage(TabSheetDBType);
}

void TImportWizardForm::OpenAccessFile()
{
    FConnection->SetConnectionString(dataaccess::AccessConnectionString(EditXLSFileName->text()));
    if (ConnectAndListTables()) {
        SetActivePage(TabSheetDBType);
        return;
    }
    // Back to the source page, as Back goes.
    SetActivePage(TabSheetSelectSource);
    ButtonBack->setEnabled(false);
}

// ---- table page --------------------------------------------------------------------------

void TImportWizardForm::TabSheetDBTypeShow()
{
    try {
        const QString stored = FSettings->ReadString(SettingsSection, QStringLiteral("DBConStr"), QString());
        if (stored != StoredConnectionString())
            return;
        const int index = FSettings->ReadInteger(SettingsSection, QStringLiteral("DBTable"), 0);
        ComboBoxTables->setCurrentIndex(index >= 0 && index < ComboBoxTables->count() ? index : -1);
        if (FSettings->ReadBool(SettingsSection, QStringLiteral("DBAllowDuplicates"), true))
            RadioButtonDBAllowDuplicates->setChecked(true);
        else
            RadioButtonDBNoDuplicates->setChecked(true);
    } catch (const settings::ERegistryException&) {
    }
}

void TImportWizardForm::TabSheetDBTypeHide()
{
    // Only a table chosen from the list is remembered, not one typed in.
    const int index = ComboBoxTables->currentIndex();
    if (index < 0 || ComboBoxTables->currentText() != ComboBoxTables->itemText(index))
        return;
    try {
        FSettings->WriteInteger(SettingsSection, QStringLiteral("DBTable"), index);
        FSettings->WriteString(SettingsSection, QStringLiteral("DBConStr"), StoredConnectionString());
        FSettings->WriteBool(SettingsSection, QStringLiteral("DBAllowDuplicates"),
                             RadioButtonDBAllowDuplicates->isChecked());
    } catch (const settings::ERegistryException&) {
    }
}

QString TImportWizardForm::TableQueryText() const
{
    return QStringLiteral("SELECT * FROM  ")
        + core::QuoteIdentifier(ComboBoxTables->currentText(), FConnection->ConnectionString());
}

// ---- preview and run ---------------------------------------------------------------------

void TImportWizardForm::AssociateDBRows(int n)
{
    QStringList values;
    try {
        TBusy busy(this);
        if (!FQuery->Active()) {
            FQuery->SetSQL(TableQueryText());
            try {
                FQuery->Open();
            } catch (const EForeignDbError& e) {
                // The cause first, then the driver's own text and the statement.
                throw EQueryError(e.Cause() + QStringLiteral("\r\n\r\next. ErrorMsg: ")
                                  + (e.Detail().isEmpty() ? e.Cause() : e.Detail()) + QStringLiteral(" - ") + FQuery->SQL());
            }
        }
        if (n <= 1) {
            values = FQuery->FieldNames();
        } else if (FQuery->RecordCount() == 0) {
            for (qsizetype i = 0; i < FQuery->FieldNames().size(); ++i)
                values.append(QString());
        } else {
            // Record n - 1, or the last one when there are fewer.
            FQuery->MoveTo(std::min(n - 2, FQuery->RecordCount() - 1));
            values = FQuery->Values();
        }
    } catch (const TWorkCancelled&) {
        return;
    }
    FAssociationBox->SetDescriptions(FDescriptions);
    FAssociationBox->SetDropDownValues(values);
    AssignSelectedItems(values, FDescriptions, QStringLiteral("DBAssociations"));
}

void TImportWizardForm::ImportFromDB()
{
    ProgressPanelImport->Start();
    const QStringList mapping = FAssociationBox->GetSelectedItems();
    const bool noDuplicates = DbNoDuplicates();
    try {
        FQuery->First();
        Bracketed([&] {
            while (!FQuery->Eof()) {
                if (Cancelled())
                    break;
                const QStringList record = FQuery->Values();
                // Every record is handed out, also one whose mapped fields are all empty.
                QStringList row = OrderRow(record, mapping);
                HandOutRow(row, noDuplicates);
                ProgressPanelImport->StepIt();
                ProcessMessages();
                FQuery->Next();
            }
        });
    } catch (const TWorkCancelled&) {
        // "Abbrechen" while the next record was awaited: the rows so far stay.
    }
    SetFinished();
}
