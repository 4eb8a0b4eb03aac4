// The CSV source of the import wizard: its file page, the separator guess, the preview on the
// mapping page and the run.
#include "controls/ProgressPanel.h"
#include "importwizard/AssociationBox.h"
#include "importwizard/CsvRecords.h"
#include "importwizard/ImportRules.h"
#include "importwizard/ImportWizardForm.h"
#include "platform/settings/RegIniFile.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>

using namespace importwizard;

namespace {

const QString kOpenFailed = QStringLiteral(
    "Die angegebe Datei konnte nicht geöffnet werden. Bitte achten Sie darauf, dass die Datei nicht bereits "
    "von einer anderen Anwendung geöffnet ist.");
const QString kNotText = QStringLiteral(
    "Die Datei enthält keinen lesbaren Text und kann nicht als CSV Datei importiert werden.");

// The separator guess reads no further than this much text for the first record.
constexpr qsizetype kDetectionText = qsizetype(1) << 20;

// A CSV file read record by record in pieces of text.
class CsvStream {
public:
    explicit CsvStream(const QString& fileName) : FFile(fileName) {}
    bool Open() { return FFile.open(QIODevice::ReadOnly); }
    QFile& File() { return FFile; }
    void Start(const core::TTextFileKind& kind, QChar separator, std::function<void()> progress)
    {
        FText.emplace(FFile);
        FText->SetProgress(std::move(progress));
        FText->Start(kind);
        FRecords.emplace(separator, [this](QString& piece) { return FText->Read(piece); });
    }
    // The next record; an empty view past the end.
    bool Next(QStringView& record)
    {
        if (FRecords->Next(record))
            return true;
        record = QStringView();
        return false;
    }

private:
    QFile FFile;
    std::optional<core::TextFileReader> FText;
    std::optional<TCsvRecordReader> FRecords;
};

bool IsBlankText(QStringView text)
{
    for (QChar c : text) {
        if (c.unicode() > 0x20)
            return false;
    }
    return true;
}

} // namespace

TImportWizardForm::TBusy::TBusy(TImportWizardForm* form) : FForm(form)
{
    const QList<QWidget*> widgets = {form->PageControlImportWizard, form->ButtonNext, form->ButtonBack,
                                     form->ButtonRetry, form->ButtonAddField};
    for (QWidget* w : widgets) {
        FStates.append({w, w->isEnabled()});
        w->setEnabled(false);
    }
}

TImportWizardForm::TBusy::~TBusy()
{
    for (const auto& [w, enabled] : FStates)
        w->setEnabled(enabled);
}

void TImportWizardForm::KeepWindowAlive()
{
    ProcessMessages();
    if (FCancelled)
        throw TWorkCancelled();
}

core::TTextFileKind TImportWizardForm::CsvFileKind(QFile& file)
{
    const QFileInfo info(file.fileName());
    if (FCsvKind && FCsvKind->path == info.absoluteFilePath() && FCsvKind->size == info.size()
        && FCsvKind->modified == info.lastModified())
        return FCsvKind->kind;
    core::TextFileReader reader(file);
    reader.SetProgress([this] { KeepWindowAlive(); });
    const core::TTextFileKind kind = reader.Kind();
    FCsvKind = TCsvKindCache{info.absoluteFilePath(), info.size(), info.lastModified(), kind};
    return kind;
}

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
    TBusy busy(this);
    try {
        CsvStream stream(fileName);
        if (!stream.Open())
            return;
        const core::TTextFileKind kind = CsvFileKind(stream.File());
        if (!kind.isText)
            return;
        // The beginning of the text; each candidate reads its first record from it, since where
        // a record ends depends on the separator that opens its quoted values.
        core::TextFileReader reader(stream.File());
        reader.SetProgress([this] { KeepWindowAlive(); });
        reader.Start(kind);
        QString head;
        QString piece;
        while (head.size() < kDetectionText && reader.Read(piece))
            head += piece;
        int best = 0;
        int chosen = BegrenzerComboBox->currentIndex();
        for (int i = 0; i < BegrenzerComboBox->count(); ++i) {
            const QChar candidate = BegrenzerComboBox->itemText(i).front();
            bool given = false;
            TCsvRecordReader records(candidate, [&](QString& text) {
                if (given)
                    return false;
                given = true;
                text = head;
                return true;
            });
            QStringView record;
            while (records.Next(record) && record.isEmpty()) {
            }
            const int count = CountSeparators(record, candidate);
            if (count > best) {
                best = count;
                chosen = i;
            }
        }
        BegrenzerComboBox->setCurrentIndex(chosen);
    } catch (const std::exception&) {
        // The guess is only a help: the selection stays.
    }
}

void TImportWizardForm::AssociateCSVFiles(int n)
{
    const QString fileName = EditCSVFilename->text();
    if (fileName.isEmpty())
        return;
    const QChar separator = CsvSeparator();
    CsvStream stream(fileName);
    auto giveUp = [this](const QString& message) {
        ShowMessage(message);
        if (PageControlImportWizard->currentWidget() == TabSheetCSVAssociations)
            ButtonBackClick();
    };
    if (!stream.Open()) {
        giveUp(kOpenFailed);
        return;
    }
    QStringList values;
    {
        TBusy busy(this);
        try {
            const core::TTextFileKind kind = CsvFileKind(stream.File());
            if (!kind.isText) {
                giveUp(kNotText);
                return;
            }
            stream.Start(kind, separator, [this] { KeepWindowAlive(); });
            QStringView record;
            if (CheckBoxIgnoreFirstRow->isChecked())
                stream.Next(record);
            for (int i = 0; i < n; ++i)
                stream.Next(record);
            if (record.isEmpty() && n > 1)
                return;
            values = SplitCsvLine(record, separator);
        } catch (const TWorkCancelled&) {
            return;
        }
    }
    FAssociationBox->SetDropDownValues(values);
    FAssociationBox->SetDescriptions(FDescriptions);
    AssignSelectedItems(values, FDescriptions, QStringLiteral("CSVAssociations"));
}

QString TImportWizardForm::CsvRefusal()
{
    TBusy busy(this);
    QFile file(EditCSVFilename->text());
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    try {
        return CsvFileKind(file).isText ? QString() : kNotText;
    } catch (const std::exception&) {
        return QString();
    }
}

int TImportWizardForm::CountCsvRecords()
{
    TBusy busy(this);
    CsvStream stream(EditCSVFilename->text());
    if (!stream.Open())
        throw std::runtime_error("open failed");
    stream.Start(CsvFileKind(stream.File()), CsvSeparator(), [this] { KeepWindowAlive(); });
    int count = 0;
    QStringView record;
    while (stream.Next(record)) {
        if (!IsBlankText(record))
            ++count;
    }
    return count;
}

bool TImportWizardForm::ImportFromCSV()
{
    ProgressPanelImport->Start();
    const QChar separator = CsvSeparator();
    CsvStream stream(EditCSVFilename->text());
    if (!stream.Open())
        return false;
    try {
        const core::TTextFileKind kind = CsvFileKind(stream.File());
        if (!kind.isText) {
            ShowMessage(kNotText);
            return true;
        }
        stream.Start(kind, separator, [this] { ProcessMessages(); });
    } catch (const TWorkCancelled&) {
        SetFinished();
        return true;
    } catch (const std::exception&) {
        return false;
    }
    const QList<int> columns = MappingColumns(FAssociationBox->GetSelectedItems());
    const bool noDuplicates = CsvNoDuplicates();
    QStringView record;
    if (CheckBoxIgnoreFirstRow->isChecked())
        stream.Next(record);

    Bracketed([&] {
        while (!Cancelled() && stream.Next(record)) {
            if (record.isEmpty())
                continue;
            QStringList values = SplitCsvLine(record, separator);
            if (!AllEmpty(values)) {
                QStringList row = OrderRowByColumns(std::move(values), columns);
                HandOutRow(row, noDuplicates);
            }
            ProcessMessages();
            ProgressPanelImport->StepIt();
        }
    });

    if (RadioButtonCSVReplaceDuplicates->isChecked() && OnReplaceDoubles)
        OnReplaceDoubles(nullptr);
    SetFinished();
    return true;
}

QString TImportWizardForm::CsvOpenFailedMessage()
{
    return kOpenFailed;
}
