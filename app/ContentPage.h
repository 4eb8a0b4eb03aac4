#pragma once
// The content page: subject, body (plain memo or HTML editor, whichever is shown), attachments,
// the stored mails of the database, body files loaded, exported, pasted and dropped, and the
// placeholder menu. It is the mailing's view of the mail content.
#include "mailing/MailingJob.h"

#include <QMessageBox>
#include <QObject>
#include <QStringList>
#include <exception>
#include <functional>

class QComboBox;
class QMenu;
class QPlainTextEdit;
class QToolButton;
class QTreeWidgetItem;
class TDropFileTarget;
class TORVHTMLEditor;
class TOrvFileList;
namespace db { class Connection; }

namespace app {

struct TContentPageControls {
    QComboBox* ComboBoxSubject = nullptr;
    QToolButton* SpeedButtonNewMailForSubject = nullptr;
    QToolButton* SpeedButtonSaveMailToDB = nullptr;
    QToolButton* SpeedButtonRemoveMailFromSubject = nullptr;
    QToolButton* SpeedButtonInsertField = nullptr;
    QPlainTextEdit* MemoMailBody = nullptr;
    TORVHTMLEditor* ORVHTMLEditor1 = nullptr;
    QToolButton* SpeedButtonAttachment = nullptr;
    QToolButton* SpeedButtonRemoveAttachment = nullptr;
    TOrvFileList* OrvFileListAttachments = nullptr;
    QToolButton* SpeedButtonLoadMail = nullptr;
    QToolButton* SpeedButtonPasteMail = nullptr;
    QToolButton* SpeedButtonSaveMail = nullptr;
};

// The folder of the temporary body file ("cur_qly.html"): only this user may write in it.
// $XDG_RUNTIME_DIR/quillory when the runtime folder is usable, else a private folder made in the
// temporary folder for this run (removed at the end). Empty when neither can be made.
QString PrivateTempFolder();
// The same for a given runtime folder (not remembered).
QString PrivateTempFolder(const QByteArray& runtimeDir);

// "Text Dateien (*.txt)|*.txt|Alle Dateien (*.*)|*.*" as a file dialog's filter list.
QString DialogFilter(const QString& pipeFilter);

class TContentPage : public QObject, public IMailContent {
    Q_OBJECT
public:
    // Wires the controls' events; the controls stay the caller's.
    TContentPage(const TContentPageControls& controls, db::Connection& connection, QObject* parent = nullptr);
    ~TContentPage() override;

    // ---- wiring (replaceable)
    // Message boxes: icon, caption, text, buttons; the answer.
    std::function<QMessageBox::StandardButton(QMessageBox::Icon, const QString&, const QString&, QMessageBox::StandardButtons)> MessageBox;
    std::function<void(std::exception_ptr)> OnApplicationException;
    // The list grid's field names (the placeholder menu).
    std::function<QStringList()> FieldNames;
    // File dialogs: filter (pipe form), default extension, proposed name; empty / none for Cancel.
    std::function<QString(const QString& filter, const QString& ext)> AskOpenFile;
    std::function<QStringList(const QString& filter)> AskOpenFiles;
    std::function<QString(const QString& filter, const QString& ext, const QString& proposed)> AskSaveFile;
    // The sender page's signature (plain mails).
    std::function<bool()> GetSignatureOn;
    std::function<QString()> GetSignature;
    // Where the plain body is kept for the HTML editor: the temporary folder + "cur_qly.html".
    QString TempFileName;

    const TContentPageControls& Controls() const { return c; }
    QMenu* PopupMenuFieldWizard = nullptr;
    TDropFileTarget* DropFileTargetMailBody = nullptr;

    // ---- stored mails
    void FillSubjectList(int index);
    void ComboBoxSubjectSelect();
    void ClearMail();
    void SpeedButtonNewMailForSubjectClick();
    void SpeedButtonSaveMailToDBClick();
    void SpeedButtonRemoveMailFromSubjectClick();
    // The ID of the selected stored mail; 0 for none.
    qint64 SelectedMailId() const;

    // ---- body files
    void SpeedButtonLoadMailClick();
    void LoadMailFile(const QString& file);
    void SpeedButtonSaveMailClick();
    void SpeedButtonPasteMailClick();
    void DropFileTargetMailBodyDrop(const QStringList& files);

    // ---- attachments
    void SpeedButtonAttachmentClick();
    void ActionRemoveSelectedAttachmentsExecute();
    void OrvFileListAttachmentsAddItem(QTreeWidgetItem* item, bool& canAdd);
    void OrvFileListAttachmentsChange();
    void OrvFileListAttachmentsKeyDown(int& key, Qt::KeyboardModifiers shift);
    void OrvFileListAttachmentsDeletion(QTreeWidgetItem* item);
    void GetAttachmentPaths(QStringList& list) const;
    // The attachment at oldPath follows its file to newPath (the mail counts as changed).
    void RenameAttachment(const QString& oldPath, const QString& newPath);

    // ---- placeholders
    // Fills the menu; the caller pops it up (SpeedButtonInsertFieldClick does both).
    void FillFieldMenu();
    void SpeedButtonInsertFieldClick();
    void PopUpFieldsClick(const QString& caption);

    // ---- change tracking
    void MemoMailBodyChange();
    bool Changed() const;

    // ---- IMailContent
    QString Subject() const override;
    QString PlainBody() const override;
    bool SignatureOn() const override;
    QString Signature() const override;
    bool HtmlMode() const override;
    QString Html() const override;
    QStringList AttachmentPaths() const override;

protected:
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    QMessageBox::StandardButton Box(QMessageBox::Icon icon, const QString& caption, const QString& text,
                                    QMessageBox::StandardButtons buttons);
    void SetSaveEnabled(bool on);
    // Before the stored mails open with unsaved changes: asks; false keeps the current mail.
    bool AllowLeaveMail();
    void SelectMailById(qint64 id);
    void FillItems();
    void WriteTempFile();
    void LoadMemoFromFile(const QString& file);
    void SetMemoText(const QString& text);

    TContentPageControls c;
    db::Connection& m_conn;
    int m_quiet = 0; // programmatic body changes in progress
};

} // namespace app
