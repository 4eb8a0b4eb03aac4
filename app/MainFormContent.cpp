// The main window's content and preview pages: the HTML editor, the attachment lists, the
// preview's recipient line, navigator and browser, and the page objects that carry their
// behaviour (ContentPage.cpp, PreviewPage.cpp).
#include "app/MainForm.h"

#include "app/ContentPage.h"
#include "app/PreviewPage.h"
#include "controls/shell/OrvFileList.h"
#include "htmleditor/HtmlPreview.h"
#include "htmleditor/ORVHTMLEditor.h"
#include "platform/db/ExtADODataSet.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QStackedWidget>
#include <QToolButton>
#include <QVBoxLayout>

namespace app {

void TMainForm::BuildContentControls()
{
    // HTML editor: no file operations, no overwrite question, source view on, all items.
    ORVHTMLEditor1->ShowFileOperations = false;
    ORVHTMLEditor1->AskBeforeSave = false;
    ORVHTMLEditor1->ShowSourceCode = true;
    ORVHTMLEditor1->SecureFontsOnly = false;
    ORVHTMLEditor1->ToolBarButtons = kAllEditorButtons;

    OrvFileListAttachments = new TOrvFileList(PanelAttachments);
    OrvFileListAttachments->setObjectName(QStringLiteral("OrvFileListAttachments"));
    OrvFileListAttachments->SetViewStyle(vsSmallIcon);
    OrvFileListAttachments->ReadOnly = true;
    OrvFileListAttachments->SetOleDragDrop(true);
    OrvFileListAttachments->ShellContextMenu = false;
    OrvFileListAttachments->SetAutomaticRefresh(false);
    // Every column as wide as its texts ("PDF-Dokument", long folders), scrolled sideways when
    // the list is narrower.
    OrvFileListAttachments->SetScrollBars(TScrollStyle::ssBoth);
    OrvFileListAttachments->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    PanelAttachments->layout()->addWidget(OrvFileListAttachments);

    // Preview: the recipient line (address, first and last name side by side) in LabelPTo's place.
    auto* to = new QHBoxLayout(LabelPTo);
    to->setContentsMargins(0, 0, 0, 0);
    to->setSpacing(0);
    for (QLabel** l : {&DBTextTo, &DBTextFirstName, &DBTextLastName}) {
        *l = new QLabel(LabelPTo);
        to->addWidget(*l);
    }
    to->addStretch(1);
    DBTextTo->setObjectName(QStringLiteral("DBTextTo"));
    DBTextFirstName->setObjectName(QStringLiteral("DBTextFirstName"));
    DBTextLastName->setObjectName(QStringLiteral("DBTextLastName"));
    LabelPTo->setMinimumHeight(DBTextTo->sizeHint().height());

    DBNavigator1 = new QWidget(TabPreview);
    DBNavigator1->setObjectName(QStringLiteral("DBNavigator1"));
    auto* nav = new QHBoxLayout(DBNavigator1);
    nav->setContentsMargins(0, 0, 0, 0);
    struct { QToolButton** button; const char* name; const char* text; const char* hint; } navButtons[] = {
        {&DBNavigatorFirst, "DBNavigatorFirst", "|◀", "Erster Datensatz"},
        {&DBNavigatorPrior, "DBNavigatorPrior", "◀", "Vorheriger Datensatz"},
        {&DBNavigatorNext, "DBNavigatorNext", "▶", "Nächster Datensatz"},
        {&DBNavigatorLast, "DBNavigatorLast", "▶|", "Letzter Datensatz"},
    };
    for (const auto& b : navButtons) {
        *b.button = new QToolButton(DBNavigator1);
        (*b.button)->setObjectName(QLatin1String(b.name));
        (*b.button)->setText(QString::fromUtf8(b.text));
        (*b.button)->setToolTip(QString::fromUtf8(b.hint));
        nav->addWidget(*b.button);
    }
    nav->addStretch(1);
    if (auto* v = qobject_cast<QVBoxLayout*>(TabPreview->layout()))
        v->insertWidget(1, DBNavigator1);

    WebBrowserP = new THtmlPreview(PanelWebBrowserP);
    WebBrowserP->setObjectName(QStringLiteral("WebBrowserP"));
    PanelWebBrowserP->layout()->setContentsMargins(0, 0, 0, 0);
    PanelWebBrowserP->layout()->addWidget(WebBrowserP);

    OrvFileListAttOverview = new TOrvFileList(TabPreview);
    OrvFileListAttOverview->setObjectName(QStringLiteral("OrvFileListAttOverview"));
    OrvFileListAttOverview->SetViewStyle(vsSmallIcon);
    OrvFileListAttOverview->SetOleDragDrop(false);
    OrvFileListAttOverview->SetScrollBars(TScrollStyle::ssBoth);
    OrvFileListAttOverview->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    OrvFileListAttOverview->setBackgroundRole(QPalette::Button);
    OrvFileListAttOverview->setMaximumHeight(90);
    OrvFileListAttOverview->setVisible(false);
    TabPreview->layout()->addWidget(OrvFileListAttOverview);

    TContentPageControls cc;
    cc.ComboBoxSubject = ComboBoxSubject;
    cc.SpeedButtonNewMailForSubject = SpeedButtonNewMailForSubject;
    cc.SpeedButtonSaveMailToDB = SpeedButtonSaveMailToDB;
    cc.SpeedButtonRemoveMailFromSubject = SpeedButtonRemoveMailFromSubject;
    cc.SpeedButtonInsertField = SpeedButtonInsertField;
    cc.MemoMailBody = MemoMailBody;
    cc.ORVHTMLEditor1 = ORVHTMLEditor1;
    cc.SpeedButtonAttachment = SpeedButtonAttachment;
    cc.SpeedButtonRemoveAttachment = SpeedButtonRemoveAttachment;
    cc.OrvFileListAttachments = OrvFileListAttachments;
    cc.SpeedButtonLoadMail = SpeedButtonLoadMail;
    cc.SpeedButtonPasteMail = SpeedButtonPasteMail;
    cc.SpeedButtonSaveMail = SpeedButtonSaveMail;
    FContentPage = new TContentPage(cc, ADOConnection1, this);
    FContentPage->setObjectName(QStringLiteral("ContentPage"));
    FContentPage->MessageBox = [this](QMessageBox::Icon, const QString& caption, const QString& text,
                                      QMessageBox::StandardButtons buttons) {
        return MessageBox(caption.isEmpty() ? windowTitle() : caption, text, buttons);
    };
    FContentPage->OnApplicationException = [this](std::exception_ptr e) {
        if (OnApplicationException)
            OnApplicationException(e);
    };
    FContentPage->FieldNames = [this]() -> QStringList {
        if (!FListStore)
            return {};
        const db::TExtADODataSet& ds = FListStore->DataSet();
        if (ds.Active())
            return ds.FieldNames();
        return ADOConnection1.ColumnNames(FListStore->TableName());
    };
    FContentPage->GetSignatureOn = [this] { return CheckBoxSignature->isChecked(); };
    FContentPage->GetSignature = [this] { return MemoSignature->toPlainText(); };

    TPreviewPageControls pc;
    pc.LabelPFrom = LabelPFrom;
    pc.DBTextTo = DBTextTo;
    pc.DBTextFirstName = DBTextFirstName;
    pc.DBTextLastName = DBTextLastName;
    pc.LabelPSubject = LabelPSubject;
    pc.LabelPreviewPosition = LabelPreviewPosition;
    pc.NavFirst = DBNavigatorFirst;
    pc.NavPrior = DBNavigatorPrior;
    pc.NavNext = DBNavigatorNext;
    pc.NavLast = DBNavigatorLast;
    pc.PanelWebBrowserP = PanelWebBrowserP;
    pc.WebBrowserP = WebBrowserP;
    pc.PanelPBody = PanelPBody;
    pc.MemoPBody = MemoPBody;
    pc.OrvFileListAttOverview = OrvFileListAttOverview;
    FPreviewPage = new TPreviewPage(pc, *FContentPage, this);
    FPreviewPage->setObjectName(QStringLiteral("PreviewPage"));
    FPreviewPage->ListDataSet = [this]() -> const db::TExtADODataSet* { return FListStore ? &FListStore->DataSet() : nullptr; };
    FPreviewPage->From = [this] { return EditFrom->text(); };
    FPreviewPage->Name = [this] { return EditName->text(); };
    FPreviewPage->OnApplicationException = [this](std::exception_ptr e) {
        if (OnApplicationException)
            OnApplicationException(e);
    };
    FPreviewPage->OnAttachmentRenamed = [this](const QString& oldPath, const QString& newPath) {
        FContentPage->RenameAttachment(oldPath, newPath);
    };
}

void TMainForm::FillSubjectList(int index)
{
    FContentPage->TempFileName = TempFileName;
    FContentPage->FillSubjectList(index);
}

void TMainForm::ClearMail()
{
    FContentPage->TempFileName = TempFileName;
    FContentPage->ClearMail();
}

void TMainForm::SpeedButtonSaveMailToDBClick()
{
    FContentPage->SpeedButtonSaveMailToDBClick();
}

void TMainForm::FillAttachmentOverview()
{
    FPreviewPage->FillAttachmentOverview(FContentPage->AttachmentPaths());
}

void TMainForm::TabPreviewShow()
{
    FPreviewPage->TabPreviewShow();
}

void TMainForm::TabPreviewHide()
{
    FPreviewPage->TabPreviewHide();
}

} // namespace app
