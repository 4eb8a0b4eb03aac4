#pragma once
// TMainForm: the main window with the five steps of a mailing (sender, recipients, content,
// preview, sending), the sender profiles in the settings store, the status bar and the help menu.
// The recipients, content, preview and mailing pages carry their controls here; their behaviour
// is added by the list, content and mailing code (see the hook methods below).
#include "controls/ORVForm.h"
#include "htmleditor/ORVHTMLEditor.h"
#include "platform/db/Connection.h"
#include "recipients/ListPrompts.h"
#include "recipients/RecipientListStore.h"

#include <QMessageBox>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <QRect>

class QAction;
class QButtonGroup;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPlainTextEdit;
class QProgressBar;
class QRadioButton;
class QStackedWidget;
class QTextEdit;
class QToolButton;
class TAboutBox;
class THelpRouter;
class TnbStatusBar;
class TOrvRollOverSpeedBtn;
class TStateImage;
class TZedSpinEdit;
class TMailingLog;
class TOrvFileList;
class THtmlPreview;
namespace settings { class TRegIniFile; }
namespace recipients { class TRecipientsGrid; class TRemoveDoublesForm; }
namespace importwizard { class IWizardDialogs; }
namespace xdb { class TXColumn; }
namespace tk { class TFont; }

namespace app {

class TMailingPage;
class TContentPage;
class TPreviewPage;

// The number of this running instance: random, 63 bits, fixed for the run. Several workstations
// can share one database file, so the unsaved list's table carries it in its name.
quint64 InstanceNumber();
// "temp" followed by the instance number: the unsaved list's table.
QString TempTableName();

// The window placement record kept in the settings ("WindowPos"): 44 bytes, little-endian
// 32-bit fields: length, flags, show command, minimised and maximised positions, normal rectangle.
struct TWindowPlacement {
    quint32 length = 44;
    quint32 flags = 0;
    quint32 showCmd = 1; // 1 normal, 2 minimised, 3 maximised
    QPoint ptMinPosition, ptMaxPosition;
    QRect rcNormalPosition; // left, top, right, bottom as stored (right and bottom exclusive)
    QByteArray Encode() const;
    // Nothing for data of another size.
    static std::optional<TWindowPlacement> Decode(const QByteArray& data);
};

// Where the window finds its files; empty fields take the program's usual places.
struct TMainFormSite {
    QString programFolder;   // help file and first database place; empty: the program's folder
    QString appDataFolder;   // second database place; empty: the data folder of the title
    QString settingsKey = QStringLiteral("Software\\ORV Software\\Quillory2");
    QString title = QStringLiteral("Quillory");
    // Replace the window's message boxes and its route to the application's exception handler
    // from the start of the set-up on (see TMainForm::MessageBox, OnApplicationException).
    std::function<QMessageBox::StandardButton(const QString&, const QString&, QMessageBox::StandardButtons)> messageBox;
    std::function<void(std::exception_ptr)> onException;
};

class TMainForm : public TORVForm {
    Q_OBJECT
public:
    explicit TMainForm(const TMainFormSite& site = TMainFormSite(), QWidget* parent = nullptr);
    ~TMainForm() override;

    // ---- replaceable for tests and embedding
    // Message boxes: caption, text, buttons; the answer.
    std::function<QMessageBox::StandardButton(const QString&, const QString&, QMessageBox::StandardButtons)> MessageBox;
    // Where exceptions of set-up steps and of the server field's test key go (the application's
    // handler unless replaced).
    std::function<void(std::exception_ptr)> OnApplicationException;

    // ---- life cycle
    void FormCreate();
    // The closing; false keeps the window open.
    bool FormCloseQuery();
    // The end asked for by SIGTERM or SIGHUP (logout, shutdown): see MainForm.cpp.
    void EndOnSignal();
    void FormDestroy();

    // ---- settings and profiles
    settings::TRegIniFile* Settings() const { return fSettings.get(); }
    static QString ProfileSection(const QString& from);    // "Users\" + the escaped address
    static QString ProfileKeyName(const QString& from);     // the escaped address
    static QString ProfileNameFromKey(const QString& key);  // the address as typed
    void FillUserList();
    void ComboBoxUserSelectChange();
    void SpeedButtonSaveUserClick();
    void SpeedButtonDeleteUserClick();
    void SpeedButtonCreateUserClick();
    void EditChange();
    void ClearSenderControls(QWidget* container);
    static void ControlSwitch(QWidget* control, bool on);
    bool ProfileModified() const { return fProfileModified; }
    QString ProfileName() const { return fProfileName; }

    // ---- navigation and the sender page
    void SpeedButtonSenderClick();
    void SpeedButtonRecipientsClick();
    void SpeedButtonContentClick();
    void SpeedButtonPreviewClick();
    void SpeedButtonSendMailClick();
    void RadioSendChange();
    void CheckBoxAuthenticationClick();
    void RadioButtonMailTypeChange();
    void CheckBoxSignatureClick();
    void RadioButtonMultiThreadClick();
    void EditSmtpServerKeyDown(int key, Qt::KeyboardModifiers modifiers);
    void SpeedButtonAboutClick();
    // Fills the configuration help for a control of the sender page; false when it has none.
    bool ShowConfigurationHelp(QWidget* control);
    // The help texts as stored (line breaks as a lone CR).
    QString ConfigurationHeaderText() const { return FConfigHeader; }
    QString ConfigurationDescriptionText() const { return FConfigDescription; }
    static QString FromHelpExample() { return QStringLiteral("info@beispiel.de"); }
    void StatusBar1Resize();
    void MenuHelpClick();
    void MenuFaqClick();
    void MenuAboutClick();

    // ---- the recipient list of the window (set-up and closing)
    recipients::TRecipientListStore& ListStore() { return *FListStore; }
    db::Connection& Connection() { return ADOConnection1; }
    // How long a statement of the window waits for another program's hold on the database.
    static constexpr int WindowBusyMs = 150;
    // Drops and creates the unsaved list's table and opens it (name box emptied).
    void NewUnsavedList();
    // The open list's table (the unsaved list's table until stored lists can be opened).
    QString OpenListTable() const { return FListStore ? FListStore->TableName() : QString(); }
    // Hooks completed by the recipient-list code: the names of the stored lists, opening the
    // remembered list at start (today: a new unsaved list), asking to save the list, closing it.
    virtual void FillListNames();
    virtual void OpenRememberedList(int index, int listId);
    virtual bool AskSaveList();
    // The save question about the open list under this name ('' asks about "unbenannt").
    bool AskSaveListAs(const QString& name);
    // The name box shows this list name ('' for the unsaved list).
    void ShowListName(const QString& name);
    virtual void CloseList();
    // Hook of the mailing code: whether the window may close now (a mailing may be running).
    virtual bool MailingAllowsClose();
    // Hooks of the content code: storing the mail, filling the stored mails, the empty mail.
    virtual void SpeedButtonSaveMailToDBClick();
    virtual void FillSubjectList(int index);
    virtual void ClearMail();

    // ---- controls (object names as the member names)
    QWidget* Panel1;
    QToolButton *SpeedButtonSender, *SpeedButtonRecipients, *SpeedButtonContent, *SpeedButtonPreview, *SpeedButtonSendMail;
    QToolButton* SpeedButtonAbout;
    QButtonGroup* StepButtons;
    TStateImage *StateImageSender, *StateImageRecipients, *StateImageContent, *StateImagePreview;
    QStackedWidget* BackGroundBottom;
    QWidget *TabSender, *TabRecipients, *TabContent, *TabPreview, *TabSendMail;
    TnbStatusBar* StatusBar1;
    QProgressBar* ProgressBarImport;
    QMenu* PopupMenuAbout;
    THelpRouter* HelpRouter1;
    TAboutBox* AboutBox; // made on first show

    // sender page
    QComboBox* ComboBoxUserSelect;
    QToolButton *SpeedButtonCreateUser, *SpeedButtonSaveUser, *SpeedButtonDeleteUser;
    QLineEdit *EditFrom, *EditName, *EditReplyTo, *EditSmtpServer, *EditUserName, *EditPassword;
    QCheckBox* CheckBoxAuthentication;
    TOrvRollOverSpeedBtn* OrvRollOverSpeedBtn1;
    QRadioButton *RadioSendSmtp, *RadioSendMapi;
    QRadioButton *RadioButtonPlainTextMail, *RadioButtonHtmlMail;
    QCheckBox* CheckBoxSignature;
    QPlainTextEdit* MemoSignature;
    QComboBox* ComboBoxCharset;
    QLabel *LabelConfigurationHeader, *LabelConfigurationDescription, *LabelTestConnection;
    QRadioButton *RadioButtonMultiThread, *RadioButtonScheduled;
    TZedSpinEdit *SpinEditThreads, *SpinEditScheduledMails, *SpinEditScheduledMinutes;
    QLabel *LabelSend1, *LabelMailsAtOnce, *LabelSend2, *LabelMailsEvery, *LabelMinutes;

    // recipients page
    QComboBox* ComboBoxFavorites;
    QToolButton *SpeedButtonSaveFavorite, *SpeedButton1, *SpeedButtonDeleteFavorite;
    QToolButton *SpeedButtonImport, *SpeedButtonImport1, *SpeedButtonImport2, *SpeedButtonImport3;
    QWidget* PanelRecipientsGrid; // where the list grid goes
    // The recipients page's list commands (RecipientsPage.cpp).
    recipients::TRecipientsGrid* StringGridFavorites;
    recipients::TRemoveDoublesForm* RemoveDoublesForm = nullptr; // made when first used
    QToolButton *SpeedButtonToggleMarks, *SpeedButtonRemoveDoubles, *SpeedButtonSearchRecipients;
    QToolButton *SpeedButtonLoadrecipients, *SpeedButtonSaverecipients;
    QMenu *PopupMenuMarks, *PopupMenuGridOperations, *PopupMenuRecipientsGrid;
    QAction *MenuAddColumn, *MenuRenameColumn, *MenuRemoveColumn, *MenuInsertRow, *MenuDeleteRows;
    QAction *MenuMarkSent, *MenuMarkToSend, *MenuMarkBlocked, *MenuAllSentToSend, *MenuAllBlockedToSend, *MenuAllBlocked;
    QAction *MenuRemoveDoubles, *MenuRemoveEmpty, *MenuRemoveInvalid, *MenuNextInvalid, *N1;
    QAction *MenuImport, *MenuLoadFromFile, *MenuSaveToFile, *MenuSearch;
    // Replaceable for tests: the input box (nothing on Cancel), the file dialogs ('' on Cancel),
    // the system beep and the flash of a window's task bar entry.
    std::function<std::optional<QString>(const QString& caption, const QString& prompt, const QString& value)> InputQuery;
    std::function<QString(bool save, const QString& filter, const QString& defaultExt)> FileDialog;
    std::function<void()> BeepSound;
    std::function<void(QWidget*)> FlashWindow;
    // The desktop services handed to each import wizard (null: the real ones).
    importwizard::IWizardDialogs* ImportWizardDialogs = nullptr;

    void ComboBoxFavoritesSelect();
    void ComboBoxFavoritesDropDown(bool& allow);
    void ComboBoxFavoritesKeyDown(int& key);
    void SpeedButtonSaveFavoriteClick();
    void SpeedButtonDeleteFavoriteClick();
    void SpeedButtonDeleterecipientsClick();
    void N1Click() { SpeedButtonDeleterecipientsClick(); }
    void SpeedButtonImportClick();
    void SpeedButtonToggleMarksClick();
    void SpeedButtonRemoveDoublesClick();
    void SpeedButtonSearchRecipientsClick();
    void SpeedButtonLoadrecipientsClick();
    void SpeedButtonSaverecipientsClick();
    void MenuMarkSentClick();
    void MenuMarkToSendClick();
    void MenuMarkBlockedClick();
    void MenuAllSentToSendClick();
    void MenuAllBlockedToSendClick();
    void MenuAllBlockedClick();
    void MenuAddColumnClick();
    void MenuRenameColumnClick();
    void MenuRemoveColumnClick();
    void MenuInsertRowClick();
    void MenuDeleteRowsClick();
    void MenuRemoveDoublesClick();
    void MenuRemoveEmptyClick();
    void MenuRemoveInvalidClick();
    void MenuNextInvalidClick();
    void PopupMenuRecipientsGridPopup();
    void StringGridFavoritesTitleClick(xdb::TXColumn* column);
    void StringGridFavoritesDataChange();
    void StringGridFavoritesKeyDown();
    void StringGridEdited();
    void StringGridFavoritesEnter();
    void StringGridFavoritesMouseDown();
    // Paints an Email value that is no valid address in red.
    void StringGridFavoritesPaintColumnCell(xdb::TXColumn* column, tk::TFont& font);
    void TabRecipientsHide();
    // The status bar text of the list position ("3/10 (3)").
    QString RecipientsPositionText();

    // content page
    QComboBox* ComboBoxSubject;
    QToolButton *SpeedButtonNewMailForSubject, *SpeedButtonSaveMailToDB, *SpeedButtonRemoveMailFromSubject, *SpeedButtonInsertField;
    QPlainTextEdit* MemoMailBody;
    TORVHTMLEditor* ORVHTMLEditor1;
    TOrvFileList* OrvFileListAttachments = nullptr;
    QToolButton *SpeedButtonAttachment, *SpeedButtonRemoveAttachment;
    QToolButton *SpeedButtonLoadMail, *SpeedButtonPasteMail, *SpeedButtonSaveMail;
    QWidget* PanelAttachments; // where the attachment list goes

    // preview page
    QLabel *LabelPFrom, *LabelPTo, *LabelPSubject, *LabelPreviewPosition;
    QWidget *PanelWebBrowserP, *PanelPBody;
    QPlainTextEdit* MemoPBody;
    // The recipient line, navigator, browser and attachment overview (MainFormContent.cpp).
    QLabel *DBTextTo = nullptr, *DBTextFirstName = nullptr, *DBTextLastName = nullptr;
    QWidget* DBNavigator1 = nullptr;
    QToolButton *DBNavigatorFirst = nullptr, *DBNavigatorPrior = nullptr, *DBNavigatorNext = nullptr, *DBNavigatorLast = nullptr;
    THtmlPreview* WebBrowserP = nullptr;
    TOrvFileList* OrvFileListAttOverview = nullptr;
    // The content and preview pages' behaviour (ContentPage.cpp, PreviewPage.cpp).
    TContentPage& ContentPage() { return *FContentPage; }
    TPreviewPage& PreviewPage() { return *FPreviewPage; }
    void FillAttachmentOverview();
    void TabPreviewShow();
    void TabPreviewHide();

    // mailing page
    QToolButton *SpeedButtonSend, *AbortButton;
    QProgressBar* ProgressBar;
    TMailingLog* MemoLogFile;
    QToolButton *SpeedButtonPrintLogFile, *SpeedButtonCopyLogToClipboard, *SpeedButtonSaveLogFile;
    // The mailing, the send buttons and the connection test (MailingPage.cpp).
    TMailingPage& MailingPage();

    QString TempFileName;

protected:
    void closeEvent(QCloseEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;
    void showEvent(QShowEvent* e) override;

private:
    void BuildTopPanel();
    void BuildSenderPage();
    void BuildRecipientsPage();
    void WireRecipientsPage();
    // The save button's state; edited: rows or columns changed (not only the name box's text).
    void SetListChanged(bool on, bool edited = true);
    void WriteClosingSettings();
    std::optional<QString> AskInput(const QString& caption, const QString& prompt, const QString& value);
    QString AskFileName(bool save);
    void BuildContentPage();
    void BuildPreviewPage();
    void BuildContentControls();
    void BuildSendMailPage();
    void WireMailingPage();
    void ShutDownMailing();
    void BuildStatusBar();
    void WireSenderPage();
    void ShowPage(QWidget* page);
    void SetMarks(int greens);
    void ApplyWindowPlacement(const TWindowPlacement& wp);
    TWindowPlacement CurrentWindowPlacement() const;
    void SelectProfileInCombo(const QString& name);
    // Saves the profile after a Yes to the save question; false (and a message) when it could
    // not be saved, so nothing is lost.
    bool SaveProfileAsAnswered();
    void RunSetupStep(const std::function<void()>& step);
    void PlayImportAnimation();
    QMessageBox::StandardButton Ask(const QString& text, QMessageBox::StandardButtons buttons);

    TMainFormSite FSite;
    std::unique_ptr<settings::TRegIniFile> fSettings;
    db::Connection ADOConnection1;
    std::unique_ptr<recipients::IListPrompts> FListPrompts;
    std::unique_ptr<recipients::TRecipientListStore> FListStore;
    QString fProfileName;
    bool fProfileModified = false;
    QString FShownProfile; // the profile whose values the page shows
    QString FConfigHeader, FConfigDescription;
    bool FMaximizeOnShow = false;
    bool FClosing = false;
    bool FListEdited = false; // the open list's rows or columns changed since it was opened or saved
    friend class TMailingPage;
    TMailingPage* FMailingPage = nullptr;
    TContentPage* FContentPage = nullptr;
    TPreviewPage* FPreviewPage = nullptr;
};

} // namespace app
