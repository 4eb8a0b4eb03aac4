#pragma once
// TImportWizardForm: the modal wizard that reads recipient rows from a source, lets the user
// assign source columns to the target list's columns and hands every row, in the target's column
// order, to its owner through events. It never writes the list itself.
//
// Use: create it, set ImportTypes, Descriptions and the events, call ShowModal, delete it.
// Everything runs in the main thread; rows are handed out during ShowModal.
#include "core/TextFile.h"
#include "importwizard/WizardDialogs.h"

#include <QDateTime>

#include <QDialog>
#include <QElapsedTimer>
#include <QHash>
#include <QStringList>
#include <QVariant>
#include <functional>
#include <initializer_list>
#include <memory>

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;
class QStackedWidget;
class QToolButton;
class TAssociationBox;
class TProgressLabel;
class TProgressPanel;

namespace settings { class TRegIniFile; }
namespace xls { class TXLSBook; class TSheet; }
namespace dataaccess { class TForeignConnection; class TForeignQuery; }
namespace outlook { class IDataFile; class IFolder; class IItem; }

enum TImportType { itCSV = 0, itOutlook = 1, itDatabase = 2, itExcel = 3, itAccess = 4 };

// A set of import types (bit n for ordinal n, so all five are 31).
class TImportTypes {
public:
    constexpr TImportTypes() = default;
    constexpr TImportTypes(std::initializer_list<TImportType> types)
    {
        for (TImportType t : types)
            FBits |= 1u << t;
    }
    static constexpr TImportTypes All() { return {itCSV, itOutlook, itDatabase, itExcel, itAccess}; }
    constexpr bool Contains(TImportType t) const { return (FBits >> t) & 1u; }
    constexpr unsigned Bits() const { return FBits; }
    constexpr bool operator==(const TImportTypes&) const = default;
private:
    unsigned FBits = 0;
};

// The arrows that move the preview row.
enum TUDBtnType { btNext, btPrev };

class TImportWizardForm : public QDialog {
    Q_OBJECT
public:
    explicit TImportWizardForm(QWidget* owner = nullptr);
    ~TImportWizardForm() override;

    // ---- events (an unassigned event does nothing) ------------------------------------------
    // Receives each imported row: one text per entry of Descriptions, in that order, empty where
    // no source column is mapped. The receiver may change the list; it is valid during the call.
    std::function<void(QStringList& Strings)> OnRowOutput;
    // Published for the owner; never raised.
    std::function<void(const QVariant& Output)> OnCellOutput;
    std::function<void(int RowNo)> OnNewRow;
    // The duplicate test, asked before OnRowOutput when the source's option "Keine Duplikate
    // erstellen" is chosen: aCol is "Email", aValue the row's first value; true drops the row.
    std::function<bool(const QString& aCol, const QString& aValue)> OnDoRowOutput;
    // Asked to add a column at the end of the target; true when it was added. Assigned, the
    // mapping page offers "Feld hinzufügen".
    std::function<bool(const QString& ColName)> OnNewColumn;
    std::function<void(QObject* Sender)> OnDisallowDoubles;
    // Raised with a null sender at the end of a CSV run when "Duplikate durch neue Einträge
    // ersetzten" was chosen; that option is offered only while this is assigned.
    std::function<void(QObject* Sender)> OnReplaceDoubles;
    // A run begins (before its first row) and ends (after its last row, also after Cancel or a
    // failure), so that the receiver can keep the run's rows in one transaction.
    std::function<void()> OnRunStart;
    std::function<void()> OnRunEnd;

    // ---- properties --------------------------------------------------------------------------
    QStringList Descriptions() const { return FDescriptions; }
    void setDescriptions(const QStringList& names) { FDescriptions = names; }
    TImportTypes ImportTypes() const { return FImportTypes; }
    void SetImportTypes(TImportTypes types) { FImportTypes = types; }
    TImportType ImportType() const { return FImportType; }

    // Runs the wizard until the user closes it: Accepted after "Schließen", Rejected after
    // "Abbrechen" (also during a run).
    int ShowModal() { return exec(); }

    // The desktop services the wizard uses (message boxes, input box, file dialog ...); the
    // wizard does not own them. Null restores the real ones.
    void SetDialogs(importwizard::IWizardDialogs* dialogs);

    // Opens the Outlook data file the user picked (raises outlook::EOutlookError when it cannot);
    // null restores the real one over libpff.
    using TOutlookOpener = std::function<std::unique_ptr<outlook::IDataFile>(const QString& fileName)>;
    void SetOutlookOpener(TOutlookOpener opener);

    // The settings key: "Software\ORV Software\" + the application's title.
    static QString SettingsKeyPath();
    static const QString SettingsSection;  // "ImportWizard"

    // The 1-based source row shown in the mapping combos.
    int PreviewRow() const { return FPreviewRow; }
    TAssociationBox* AssociationBox() const { return FAssociationBox; }
    TProgressPanel* ProgressPanel() const { return ProgressPanelImport; }
    bool Cancelled() const { return FCancelled; }

    // ---- handlers ---------------------------------------------------------------------------
    void ListBoxSourceTypeClick();
    void ButtonNextClick();
    void ButtonBackClick();
    void ButtonCancelClick();
    void UpDown1Click(TUDBtnType button);
    void CheckBoxIgnoreFirstRowClick();
    void AddAColumn();
    void SpeedButtonFilenameDialogClick();
    void SpeedButtonOpenImportEditorClick();
    void DetectSeparator();
    void SpeedButtonOpenFileNameXLSClick();
    void SpeedButtonOpenAccessClick();
    void ButtonRetryClick();
    void ComboBoxDefaultAllSelect();

    // An address the Outlook source takes as it is: it contains "@" and "." and has more than 6
    // characters.
    static bool IsPlausibleAddress(const QString& text);
    // Milliseconds libpff may take for one step of the Outlook page or one item of a run before
    // the file counts as damaged (default 8000).
    static void SetOutlookTimeLimit(int milliseconds);

    // Esc and the window's close button act like "Abbrechen" while it is enabled.
    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void FormShow();
    void BuildWindow();
    void BuildSourcePage();
    void BuildCsvPage();
    void BuildXlsPages();
    void BuildDbPage();
    void BuildOutlookPage();
    void BuildMappingPage();
    void BuildOverviewPage();

    // Every page change runs the leave hook of the old page and the enter hook of the new one.
    void SetActivePage(QWidget* page);
    struct PageHooks {
        std::function<void()> enter;
        std::function<void()> leave;
    };
    QHash<QWidget*, PageHooks> FPageHooks;

    void TabSheetSelectSourceShow();
    void TabSheetSelectSourceHide();
    void TabSheetCSVFilesShow();
    void TabSheetCSVFilesHide();
    void TabSheetCSVAssociationsShow();
    void TabSheetCSVAssociationsHide();
    void TabSheetOverviewShow();
    void TabSheetXLSFilesShow();
    void TabSheetXLSFilesHide();
    void TabSheetXLSSheetSelectHide();
    void TabSheetDBTypeShow();
    void TabSheetDBTypeHide();
    void TabSheetConnectToOutlookShow();
    void TabSheetConnectToOutlookHide();
    // The overview rows of each source; they raise when something cannot be filled in.
    // Keeps the overview's values inside their box (after every fill).
    void FitOverviewValues();
    void OverviewCsv();
    void OverviewXls();
    void OverviewDb();
    void OverviewOutlook();
    QString SelectedOption(std::initializer_list<const QRadioButton*> options) const;

    // The mapping page.
    void AssignSelectedItems(const QStringList& values, const QStringList& descriptions, const QString& valueName);
    void FillMappingPage(int previewRow);
    void ShowMappingControls(bool arrows, bool ignoreFirstRow, bool listSelector = false);
    QString IgnoreFirstRowValueName() const;

    // The CSV source.
    // How the file is to be decoded, decided over the whole file once (kept while the file
    // stays as it is); raises when it cannot be read.
    core::TTextFileKind CsvFileKind(class QFile& file);
    // Why the file cannot be imported (it holds no text); empty when it can, or when it cannot be
    // read now (the preview says so).
    QString CsvRefusal();
    // The number of records that are not blank.
    int CountCsvRecords();
    QChar CsvSeparator() const;
    bool CsvNoDuplicates() const;
    void AssociateCSVFiles(int n);
    // False when the file cannot be read at the start: then nothing was handed out.
    bool ImportFromCSV();
    static QString CsvOpenFailedMessage();

    // The Excel source.
    bool XlsNoDuplicates() const;
    void GetXLSSheets();
    xls::TXLSBook& XLSRead();
    // The sheet chosen on the sheet page of the workbook read last; null when there is none.
    const xls::TSheet* SelectedSheet();
    // The sheet row that "Erste Zeile ignorieren" passes over: the first row with a value.
    static int HeaderRow(const xls::TSheet& sheet);
    // The mapped cells of a sheet row in target order (mapping positions count from firstCol).
    QStringList XlsRow(const xls::TSheet& sheet, int firstCol, int row, const QStringList& mapping) const;
    void AssociateXLSRows(int n);
    int CountXLSRows();
    void ImportFromXLS();

    // The database and Access sources.
    bool DbNoDuplicates() const;
    // The connection string as it is stored and compared: without passwords.
    QString StoredConnectionString() const;
    // Connects and lists the tables; shows the connection error and returns false on failure.
    bool ConnectAndListTables();
    void CloseConnection();
    void AskForDataSource();
    void OpenAccessFile();
    QString TableQueryText() const;
    void AssociateDBRows(int n);
    void ImportFromDB();

    // The Outlook source.
    bool OutlookNoDuplicates() const;
    bool ConnectToOutlook();
    // A step on the open file in a thread with a time limit; false (and the cause shown in the
    // description lines) when it failed or was given up.
    bool OutlookStep(const std::function<void(outlook::IDataFile&)>& step);
    void ShowOutlookFailure(const QString& cause, const QString& detail);
    bool PrepareImportFromOutlook();
    void AssociateOutlook();
    QStringList OutlookValues() const;
    void FillOutlookMapping(const QStringList& values, bool assign);
    // The values of an item; called in the run's reading thread.
    static QString getMAPIContactDetail(outlook::IItem& item, const QString& name);
    static QString getMAPIMailDetail(outlook::IItem& item, const QString& name);
    static QString ResolveSMTPAddress(outlook::IItem& item, const QString& address);
    void ImportFromOutlook();
    // Takes the file, the folder and the item from the form for a reading thread that did not
    // come back: they are freed with what holds them (the thread's work), once it ends.
    std::shared_ptr<void> TakeOutlookFile();

    // The run.
    void DoImport();
    // Hands one row to the owner: the duplicate test, then OnRowOutput.
    void HandOutRow(QStringList& row, bool noDuplicates);
    // Lets the window repaint and "Abbrechen" work during a run, at most every few milliseconds.
    void ProcessMessages();
    // The same for longer work outside a run (reading a large file); raises TWorkCancelled once
    // "Abbrechen" was pressed.
    void KeepWindowAlive();
    struct TWorkCancelled : std::exception {
        const char* what() const noexcept override { return "cancelled"; }
    };
    // While it lives, the pages and every button but "Abbrechen" take no input.
    class TBusy {
    public:
        explicit TBusy(TImportWizardForm* form);
        ~TBusy();
    private:
        TImportWizardForm* FForm;
        QList<QPair<QWidget*, bool>> FStates;
    };
    void SetFinished();
    void SetCancelled();

    // Runs the source's run with the run brackets around it.
    template <typename Run>
    void Bracketed(Run&& run);

    int SelectedSourceIndex() const;
    void ShowMessage(const QString& text);
    void Refuse(const QString& message);

    std::unique_ptr<settings::TRegIniFile> FSettings;
    std::unique_ptr<xls::TXLSBook> FXLSRead;
    std::unique_ptr<dataaccess::TForeignConnection> FConnection;
    std::unique_ptr<dataaccess::TForeignQuery> FQuery;
    // The Outlook file, the folder picked, and the current item (the one whose class decides
    // the run's rule).
    TOutlookOpener FOutlookOpener;
    QString FOutlookFileName;
    std::unique_ptr<outlook::IDataFile> FOutlookFile;
    std::unique_ptr<outlook::IFolder> FOutlookFolder;
    std::unique_ptr<outlook::IItem> FOutlookItem;
    importwizard::TQtWizardDialogs FQtDialogs;
    importwizard::IWizardDialogs* FDialogs;

    QStringList FDescriptions;
    TImportTypes FImportTypes;
    TImportType FImportType = itCSV;
    QStringList FColumnMapping;  // the in-memory mapping
    int FPreviewRow = 1;
    bool FCancelled = false;
    QElapsedTimer FMessagesTimer;
    struct TCsvKindCache {
        QString path;
        qint64 size = -1;
        QDateTime modified;
        core::TTextFileKind kind;
    };
    std::optional<TCsvKindCache> FCsvKind;
    QWidget* FCurrentPage = nullptr;

    // Window.
    QStackedWidget* PageControlImportWizard;
    QLabel* ImageSide;
    QPushButton* ButtonCancel;
    QPushButton* ButtonNext;
    QPushButton* ButtonBack;
    QPushButton* ButtonRetry;
    QPushButton* ButtonAddField;
    // Pages.
    QWidget* TabSheetSelectSource;
    QWidget* TabSheetCSVFiles;
    QWidget* TabSheetXLSFiles;
    QWidget* TabSheetXLSSheetSelect;
    QWidget* TabSheetDBType;
    QWidget* TabSheetConnectToOutlook;
    QWidget* TabSheetCSVAssociations;
    QWidget* TabSheetOverview;
    // Source page.
    QListWidget* ListBoxSourceType;
    QGroupBox* GroupBoxDescription;
    QLabel* LabelDescription;
    // CSV file page.
    QLineEdit* EditCSVFilename;
    QToolButton* SpeedButtonFilenameDialog;
    QToolButton* SpeedButtonOpenImportEditor;
    QRadioButton* RadioButtonCSVAllowDuplicates;
    QRadioButton* RadioButtonCSVNoDuplicates;
    QRadioButton* RadioButtonCSVReplaceDuplicates;
    QComboBox* BegrenzerComboBox;
    // Excel or Access file page.
    QLineEdit* EditXLSFileName;
    QToolButton* SpeedButtonOpenFileNameXLS;
    QToolButton* SpeedButtonOpenExcel;
    QToolButton* SpeedButtonOpenAccess;
    QGroupBox* GroupBoxXLSOptions;
    QRadioButton* RadioButtonXLSAllowDuplicates;
    QRadioButton* RadioButtonXLSNoDuplicates;
    QRadioButton* RadioButtonXLSReplaceDuplicates;
    // Sheet page.
    QListWidget* ListBoxXLSSheets;
    // Table page.
    QComboBox* ComboBoxTables;
    QRadioButton* RadioButtonDBAllowDuplicates;
    QRadioButton* RadioButtonDBNoDuplicates;
    QRadioButton* RadioButtonDBReplaceDuplicates;
    // Outlook page.
    TProgressLabel* PLCreate;
    TProgressLabel* PLConnecting;
    TProgressLabel* PLCheckVersion;
    TProgressLabel* PLLogon;
    TProgressLabel* PLSelectFolder;
    TProgressLabel* PLSearchContacts;
    QRadioButton* RadioButtonOutlookAllowDuplicates;
    QRadioButton* RadioButtonOutlookNoDuplicates;
    QLabel* LabelOutlookDescription1;
    QLabel* LabelOutlookDescription2;
    // Mapping page.
    TAssociationBox* FAssociationBox;
    QComboBox* ComboBoxDefaultAll;
    QCheckBox* CheckBoxIgnoreFirstRow;
    QWidget* UpDown1;
    // Overview page.
    QLabel* LabelTypeValue;
    QLabel* LabelFileCaption;
    QLabel* LabelFileValue;
    QLabel* LabelHint;
    QLabel* LabelOptionsCaption;
    QLabel* LabelOptionsValue;
    QLabel* LabelSeparatorCaption;
    QLabel* LabelSeparatorValue;
    QLabel* LabelIgnoreFirstRowCaption;
    QLabel* LabelIgnoreFirstRowValue;
    TProgressPanel* ProgressPanelImport;
};

template <typename Run>
void TImportWizardForm::Bracketed(Run&& run)
{
    if (OnRunStart)
        OnRunStart();
    try {
        run();
    } catch (...) {
        if (OnRunEnd)
            OnRunEnd();
        throw;
    }
    if (OnRunEnd)
        OnRunEnd();
}
