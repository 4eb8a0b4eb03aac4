// The Excel source of the import wizard: the file page (shared with the Access source), the
// sheet page, the preview, the row count and the run.
#include "controls/ProgressPanel.h"
#include "importwizard/AssociationBox.h"
#include "importwizard/ImportRules.h"
#include "importwizard/ImportWizardForm.h"
#include "platform/settings/RegIniFile.h"
#include "spreadsheet/XLSBook.h"

#include <QCheckBox>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>

using namespace importwizard;

void TImportWizardForm::BuildXlsPages()
{
    QWidget* page = TabSheetXLSFiles;
    auto* caption = new QLabel(QStringLiteral("Dateiname:"), page);
    caption->setObjectName(QStringLiteral("LabelXLSFilename"));
    caption->move(144, 8);
    caption->adjustSize();
    EditXLSFileName = new QLineEdit(page);
    EditXLSFileName->setObjectName(QStringLiteral("EditXLSFileName"));
    EditXLSFileName->setGeometry(144, 26, 237, 23);
    SpeedButtonOpenFileNameXLS = new QToolButton(page);
    SpeedButtonOpenFileNameXLS->setObjectName(QStringLiteral("SpeedButtonOpenFileNameXLS"));
    SpeedButtonOpenFileNameXLS->setText(QStringLiteral("..."));
    SpeedButtonOpenFileNameXLS->setToolTip(QStringLiteral("Empfängerliste aus Datei laden"));
    SpeedButtonOpenFileNameXLS->setGeometry(385, 26, 24, 23);
    // Both open buttons stand at the same place; the source shows one of them.
    SpeedButtonOpenExcel = new QToolButton(page);
    SpeedButtonOpenExcel->setObjectName(QStringLiteral("SpeedButtonOpenExcel"));
    SpeedButtonOpenExcel->setIcon(style()->standardIcon(QStyle::SP_FileDialogContentsView));
    SpeedButtonOpenExcel->setToolTip(QStringLiteral("Datei mit Microsoft Excel öffnen"));
    SpeedButtonOpenExcel->setGeometry(413, 26, 24, 23);
    SpeedButtonOpenAccess = new QToolButton(page);
    SpeedButtonOpenAccess->setObjectName(QStringLiteral("SpeedButtonOpenAccess"));
    SpeedButtonOpenAccess->setIcon(style()->standardIcon(QStyle::SP_FileDialogContentsView));
    SpeedButtonOpenAccess->setToolTip(QStringLiteral("In Microsoft Access öffnen"));
    SpeedButtonOpenAccess->setGeometry(413, 26, 24, 23);
    SpeedButtonOpenAccess->hide();
    connect(SpeedButtonOpenFileNameXLS, &QToolButton::clicked, this, [this] { SpeedButtonOpenFileNameXLSClick(); });
    connect(SpeedButtonOpenExcel, &QToolButton::clicked, this, [this] { SpeedButtonOpenAccessClick(); });
    connect(SpeedButtonOpenAccess, &QToolButton::clicked, this, [this] { SpeedButtonOpenAccessClick(); });

    GroupBoxXLSOptions = new QGroupBox(QStringLiteral("Optionen"), page);
    GroupBoxXLSOptions->setObjectName(QStringLiteral("GroupBoxXLSOptions"));
    GroupBoxXLSOptions->setGeometry(144, 58, 293, 106);
    auto* layout = new QVBoxLayout(GroupBoxXLSOptions);
    RadioButtonXLSAllowDuplicates = new QRadioButton(QStringLiteral("Duplikate zulassen"), GroupBoxXLSOptions);
    RadioButtonXLSAllowDuplicates->setObjectName(QStringLiteral("RadioButtonXLSAllowDuplicates"));
    RadioButtonXLSNoDuplicates = new QRadioButton(QStringLiteral("Keine Duplikate erstellen"), GroupBoxXLSOptions);
    RadioButtonXLSNoDuplicates->setObjectName(QStringLiteral("RadioButtonXLSNoDuplicates"));
    RadioButtonXLSReplaceDuplicates =
        new QRadioButton(QStringLiteral("Duplikate durch neue Einträge ersetzten"), GroupBoxXLSOptions);
    RadioButtonXLSReplaceDuplicates->setObjectName(QStringLiteral("RadioButtonXLSReplaceDuplicates"));
    RadioButtonXLSReplaceDuplicates->hide();
    layout->addWidget(RadioButtonXLSAllowDuplicates);
    layout->addWidget(RadioButtonXLSNoDuplicates);
    layout->addWidget(RadioButtonXLSReplaceDuplicates);
    layout->addStretch();
    RadioButtonXLSAllowDuplicates->setChecked(true);

    page = TabSheetXLSSheetSelect;
    auto* sheetCaption = new QLabel(QStringLiteral("Bitte wählen Sie ein Arbeitsblatt:"), page);
    sheetCaption->setObjectName(QStringLiteral("LabelXLSSheets"));
    sheetCaption->move(144, 8);
    sheetCaption->adjustSize();
    ListBoxXLSSheets = new QListWidget(page);
    ListBoxXLSSheets->setObjectName(QStringLiteral("ListBoxXLSSheets"));
    ListBoxXLSSheets->setGeometry(144, 28, 293, 110);
    auto* box = new QGroupBox(QStringLiteral("Beschreibung"), page);
    box->setObjectName(QStringLiteral("GroupBoxXLSSheetDescription"));
    box->setGeometry(144, 144, 293, 100);
    auto* text = new QLabel(QStringLiteral("Excel Dateien können aus mehreren Arbeitsblättern\n"
                                           "bestehen. Bitte wählen Sie das Arbeitsblatt, dass die\n"
                                           "benötigten Informationen Ihrer Empfänger enthält."),
                            box);
    text->setObjectName(QStringLiteral("LabelXLSSheetDescription"));
    text->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    // The designed line breaks fit a narrower font: the text flows in the box instead.
    text->setText(text->text().replace(QLatin1Char('\n'), QLatin1Char(' ')));
    text->setWordWrap(true);
    auto* boxLayout = new QVBoxLayout(box);
    boxLayout->setContentsMargins(6, 4, 6, 4);
    boxLayout->addWidget(text);
}

// ---- file and sheet pages ----------------------------------------------------------------

void TImportWizardForm::TabSheetXLSFilesShow()
{
    const bool excel = FImportType == itExcel;
    SpeedButtonOpenExcel->setVisible(excel);
    SpeedButtonOpenAccess->setVisible(!excel);
    GroupBoxXLSOptions->setVisible(excel);
    try {
        if (excel) {
            EditXLSFileName->setText(FSettings->ReadString(SettingsSection, QStringLiteral("XLSFile"), QString()));
            if (FSettings->ReadBool(SettingsSection, QStringLiteral("XLSAllowDuplicates"), true))
                RadioButtonXLSAllowDuplicates->setChecked(true);
            else
                RadioButtonXLSNoDuplicates->setChecked(true);
        } else {
            EditXLSFileName->setText(FSettings->ReadString(SettingsSection, QStringLiteral("AccessFile"), QString()));
        }
    } catch (const settings::ERegistryException&) {
    }
}

void TImportWizardForm::TabSheetXLSFilesHide()
{
    const QString fileName = EditXLSFileName->text();
    try {
        if (FImportType == itExcel) {
            // The sheet chosen last time, when it is the same workbook.
            int index = 0;
            if (fileName == FSettings->ReadString(SettingsSection, QStringLiteral("XLSFile"), QString()))
                index = FSettings->ReadInteger(SettingsSection, QStringLiteral("XLSSheet"), 0);
            ListBoxXLSSheets->setCurrentRow(index >= 0 && index < ListBoxXLSSheets->count() ? index : -1);
            if (!fileName.isEmpty())
                FSettings->WriteString(SettingsSection, QStringLiteral("XLSFile"), fileName);
            FSettings->WriteBool(SettingsSection, QStringLiteral("XLSAllowDuplicates"),
                                 RadioButtonXLSAllowDuplicates->isChecked());
        } else if (!fileName.isEmpty()) {
            FSettings->WriteString(SettingsSection, QStringLiteral("AccessFile"), fileName);
        }
    } catch (const settings::ERegistryException&) {
    }
}

void TImportWizardForm::TabSheetXLSSheetSelectHide()
{
    const int index = ListBoxXLSSheets->currentRow();
    if (index < 0)
        return;
    try {
        FSettings->WriteInteger(SettingsSection, QStringLiteral("XLSSheet"), index);
    } catch (const settings::ERegistryException&) {
    }
}

void TImportWizardForm::SpeedButtonOpenFileNameXLSClick()
{
    const bool access = FImportType == itAccess;
    const QString fileName = FDialogs->OpenFileName(
        this, access ? QStringLiteral("*.mdb") : QStringLiteral("*.xls"),
        access ? QStringLiteral("Access Dateien (*.mdb)|*.mdb|Alle Dateien (*.*)|*.*")
               : QStringLiteral("Excel Dateien (*.xls)|*.xls|Alle Dateien (*.*)|*.*"),
        EditXLSFileName->text());
    if (!fileName.isEmpty())
        EditXLSFileName->setText(fileName);
}

void TImportWizardForm::SpeedButtonOpenAccessClick()
{
    const QString fileName = EditXLSFileName->text();
    if (!fileName.isEmpty() && QFileInfo(fileName).isFile())
        FDialogs->OpenWithDesktop(fileName);
    else
        ShowMessage(QStringLiteral("Der angegebene Dateiname existiert nicht."));
}

bool TImportWizardForm::XlsNoDuplicates() const
{
    return RadioButtonXLSNoDuplicates->isChecked();
}

void TImportWizardForm::GetXLSSheets()
{
    // A reader of its own: the wizard's reader keeps the workbook of the last preview.
    xls::TXLSBook book;
    book.Filename = EditXLSFileName->text();
    book.Read();
    ListBoxXLSSheets->clear();
    for (int i = 0; i < book.Sheets().Count(); ++i)
        ListBoxXLSSheets->addItem(book.Sheets()[i]->Name());
}

xls::TXLSBook& TImportWizardForm::XLSRead()
{
    if (!FXLSRead)
        FXLSRead = std::make_unique<xls::TXLSBook>();
    return *FXLSRead;
}

const xls::TSheet* TImportWizardForm::SelectedSheet()
{
    const int index = ListBoxXLSSheets->currentRow();
    xls::TXLSBook& book = XLSRead();
    if (index < 0 || index >= book.Sheets().Count())
        return nullptr;
    return book.Sheets()[index];
}

// ---- rows of a sheet ---------------------------------------------------------------------

int TImportWizardForm::HeaderRow(const xls::TSheet& sheet)
{
    const xls::TSheet::TUsedArea area = sheet.UsedArea();
    for (int row = area.firstRow; row <= area.lastRow; ++row) {
        for (int col = area.firstCol; col <= area.lastCol; ++col) {
            if (!sheet.CellText(col, row).trimmed().isEmpty())
                return row;
        }
    }
    return area.firstRow;
}

QStringList TImportWizardForm::XlsRow(const xls::TSheet& sheet, int firstCol, int row, const QStringList& mapping) const
{
    QStringList values;
    for (qsizetype i = mapping.size() - 1; i >= 0; --i) {
        const int entry = mapping[i].toInt();
        values.append(entry < 0 ? QString() : sheet.CellText(firstCol + entry, row));
    }
    return values;
}

void TImportWizardForm::AssociateXLSRows(int n)
{
    xls::TXLSBook& book = XLSRead();
    book.Filename = EditXLSFileName->text();
    book.Read();
    QStringList values;
    if (const xls::TSheet* sheet = SelectedSheet()) {
        const xls::TSheet::TUsedArea area = sheet->UsedArea();
        // Preview row 1 is the first row of the sheet, or the row after the header when the
        // header is passed over.
        const int row = CheckBoxIgnoreFirstRow->isChecked() ? HeaderRow(*sheet) + n : area.firstRow + n - 1;
        for (int col = area.firstCol; col <= area.lastCol; ++col)
            values.append(row <= 65535 ? sheet->CellText(col, row) : QString());
    }
    FAssociationBox->SetDropDownValues(values);
    FAssociationBox->SetDescriptions(FDescriptions);
    AssignSelectedItems(values, FDescriptions, QStringLiteral("XLSAssociations"));
}

int TImportWizardForm::CountXLSRows()
{
    FDialogs->BeginWaitCursor();
    int count = 0;
    try {
        if (const xls::TSheet* sheet = SelectedSheet()) {
            const QStringList mapping = FAssociationBox->GetSelectedItems();
            const xls::TSheet::TUsedArea area = sheet->UsedArea();
            for (int row = area.firstRow; row <= area.lastRow; ++row) {
                if (!XlsRow(*sheet, area.firstCol, row, mapping).join(QString()).trimmed().isEmpty())
                    ++count;
            }
        }
    } catch (...) {
        FDialogs->EndWaitCursor();
        throw;
    }
    FDialogs->EndWaitCursor();
    return count;
}

void TImportWizardForm::ImportFromXLS()
{
    ProgressPanelImport->Start();
    const xls::TSheet* sheet = SelectedSheet();
    if (!sheet) {
        SetFinished();
        return;
    }
    const QStringList mapping = FAssociationBox->GetSelectedItems();
    const bool noDuplicates = XlsNoDuplicates();
    const int header = CheckBoxIgnoreFirstRow->isChecked() ? HeaderRow(*sheet) : -1;
    // Every used row of the sheet but the header; rows blank in their mapped cells are passed
    // over without a step.
    Bracketed([&] {
        const xls::TSheet::TUsedArea area = sheet->UsedArea();
        for (int row = area.firstRow; row <= area.lastRow; ++row) {
            if (Cancelled())
                break;
            if (row == header)
                continue;
            QStringList values = XlsRow(*sheet, area.firstCol, row, mapping);
            if (values.join(QString()).trimmed().isEmpty())
                continue;
            HandOutRow(values, noDuplicates);
            ProcessMessages();
            ProgressPanelImport->StepIt();
        }
    });
    SetFinished();
}
