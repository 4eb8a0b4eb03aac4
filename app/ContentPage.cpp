#include "app/ContentPage.h"

#include "controls/FileDropTarget.h"
#include "core/OrvUtils.h"
#include "controls/shell/OrvFileList.h"
#include "htmleditor/ORVHTMLEditor.h"
#include "platform/db/Connection.h"
#include "core/TextFile.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QSaveFile>
#include <QTextCursor>
#include <QTemporaryDir>
#include <QToolButton>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace app {

using db::QuoteName;

namespace {

struct TQuiet {
    int& n;
    explicit TQuiet(int& count) : n(count) { ++n; }
    ~TQuiet() { --n; }
};

} // namespace

namespace {

// A folder that is ours alone: a real folder (no link), owned by this user, writable by nobody else.
bool IsPrivateFolder(const QByteArray& path)
{
    struct stat st;
    return ::lstat(path.constData(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::getuid() &&
           (st.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

} // namespace

QString PrivateTempFolder(const QByteArray& runtimeDir)
{
    if (!runtimeDir.isEmpty() && runtimeDir.startsWith('/') && IsPrivateFolder(runtimeDir)) {
        const QByteArray own = runtimeDir + "/quillory";
        // mkdir never follows a link in the last component; an existing entry must pass the check.
        if ((::mkdir(own.constData(), 0700) == 0 || errno == EEXIST) && IsPrivateFolder(own))
            return QFile::decodeName(own);
    }
    // QTemporaryDir makes a new folder with a random name and mode 0700, removed at the end.
    static QTemporaryDir run(QDir::tempPath() + QStringLiteral("/quillory-XXXXXX"));
    return run.isValid() && IsPrivateFolder(QFile::encodeName(run.path())) ? run.path() : QString();
}

QString PrivateTempFolder()
{
    static const QString folder = PrivateTempFolder(qgetenv("XDG_RUNTIME_DIR"));
    return folder;
}

QString DialogFilter(const QString& pipeFilter)
{
    const QStringList parts = pipeFilter.split(QLatin1Char('|'));
    QStringList out;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        QString caption = parts[i];
        const int paren = caption.indexOf(QLatin1Char('('));
        if (paren >= 0)
            caption = caption.left(paren).trimmed();
        // "*.*" means every file there; here it would need a dot in the name.
        QStringList patterns = parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts);
        for (QString& p : patterns)
            if (p == QLatin1String("*.*"))
                p = QStringLiteral("*");
        out << caption + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) + QLatin1Char(')');
    }
    return out.join(QStringLiteral(";;"));
}

TContentPage::TContentPage(const TContentPageControls& controls, db::Connection& connection, QObject* parent)
    : QObject(parent), c(controls), m_conn(connection)
{
    TempFileName = PrivateTempFolder().isEmpty() ? QString() : PrivateTempFolder() + QStringLiteral("/cur_qly.html");
    QWidget* window = c.ComboBoxSubject ? c.ComboBoxSubject->window() : nullptr;
    MessageBox = [window](QMessageBox::Icon icon, const QString& caption, const QString& text,
                          QMessageBox::StandardButtons buttons) {
        QMessageBox box(icon, caption, text, buttons, window);
        return QMessageBox::StandardButton(box.exec());
    };
    AskOpenFile = [window](const QString& filter, const QString&) {
        return QFileDialog::getOpenFileName(window, QString(), QString(), DialogFilter(filter));
    };
    AskOpenFiles = [window](const QString& filter) {
        return QFileDialog::getOpenFileNames(window, QString(), QString(), DialogFilter(filter));
    };
    AskSaveFile = [window](const QString& filter, const QString& ext, const QString& proposed) {
        QFileDialog dlg(window);
        dlg.setAcceptMode(QFileDialog::AcceptSave);
        dlg.setNameFilter(DialogFilter(filter));
        dlg.setDefaultSuffix(ext);
        dlg.selectFile(proposed);
        return dlg.exec() == QDialog::Accepted && !dlg.selectedFiles().isEmpty() ? dlg.selectedFiles().first() : QString();
    };

    PopupMenuFieldWizard = new QMenu(c.SpeedButtonInsertField);
    PopupMenuFieldWizard->setObjectName(QStringLiteral("PopupMenuFieldWizard"));
    DropFileTargetMailBody = new TDropFileTarget(this);
    DropFileTargetMailBody->setObjectName(QStringLiteral("DropFileTargetMailBody"));
    DropFileTargetMailBody->OnDrop = [this](TDragType, const QPoint&) {
        DropFileTargetMailBodyDrop(DropFileTargetMailBody->Files);
    };
    if (c.MemoMailBody) {
        DropFileTargetMailBody->Register(c.MemoMailBody->viewport());
        connect(c.MemoMailBody, &QPlainTextEdit::textChanged, this, [this] { MemoMailBodyChange(); });
        c.MemoMailBody->installEventFilter(this);
    }
    if (c.ORVHTMLEditor1)
        c.ORVHTMLEditor1->OnChange = [this] { MemoMailBodyChange(); };
    if (c.ComboBoxSubject) {
        // The typed subject is only text: Enter adds no item and completion does not turn it into
        // a stored mail's subject. A stored mail is loaded only when chosen from the list.
        c.ComboBoxSubject->setInsertPolicy(QComboBox::NoInsert);
        c.ComboBoxSubject->setCompleter(nullptr);
        connect(c.ComboBoxSubject, &QComboBox::activated, this, [this] { ComboBoxSubjectSelect(); });
        c.ComboBoxSubject->installEventFilter(this);
        if (c.ComboBoxSubject->lineEdit())
            c.ComboBoxSubject->lineEdit()->installEventFilter(this);
    }
    auto click = [this](QToolButton* b, void (TContentPage::*handler)()) {
        if (b)
            connect(b, &QToolButton::clicked, this, [this, handler] { (this->*handler)(); });
    };
    click(c.SpeedButtonNewMailForSubject, &TContentPage::SpeedButtonNewMailForSubjectClick);
    click(c.SpeedButtonSaveMailToDB, &TContentPage::SpeedButtonSaveMailToDBClick);
    click(c.SpeedButtonRemoveMailFromSubject, &TContentPage::SpeedButtonRemoveMailFromSubjectClick);
    click(c.SpeedButtonInsertField, &TContentPage::SpeedButtonInsertFieldClick);
    click(c.SpeedButtonAttachment, &TContentPage::SpeedButtonAttachmentClick);
    click(c.SpeedButtonRemoveAttachment, &TContentPage::ActionRemoveSelectedAttachmentsExecute);
    click(c.SpeedButtonLoadMail, &TContentPage::SpeedButtonLoadMailClick);
    click(c.SpeedButtonPasteMail, &TContentPage::SpeedButtonPasteMailClick);
    click(c.SpeedButtonSaveMail, &TContentPage::SpeedButtonSaveMailClick);
    if (TOrvFileList* l = c.OrvFileListAttachments) {
        // The page may outlive the list when their common window goes away.
        connect(l, &QObject::destroyed, this, [this] { c.OrvFileListAttachments = nullptr; });
        l->OnAddItem = [this](QTreeWidgetItem* item, bool& canAdd) { OrvFileListAttachmentsAddItem(item, canAdd); };
        l->OnChange = [this] { OrvFileListAttachmentsChange(); };
        l->OnKeyDown = [this](int& key, Qt::KeyboardModifiers shift) { OrvFileListAttachmentsKeyDown(key, shift); };
        l->OnDeletion = [this](QTreeWidgetItem* item) { OrvFileListAttachmentsDeletion(item); };
    }
}

TContentPage::~TContentPage()
{
    if (TOrvFileList* l = c.OrvFileListAttachments) {
        l->OnAddItem = nullptr;
        l->OnChange = nullptr;
        l->OnKeyDown = nullptr;
        l->OnDeletion = nullptr;
    }
    if (c.ORVHTMLEditor1)
        c.ORVHTMLEditor1->OnChange = nullptr;
}

QMessageBox::StandardButton TContentPage::Box(QMessageBox::Icon icon, const QString& caption, const QString& text,
                                              QMessageBox::StandardButtons buttons)
{
    return MessageBox ? MessageBox(icon, caption, text, buttons) : QMessageBox::Ok;
}

void TContentPage::SetSaveEnabled(bool on)
{
    if (c.SpeedButtonSaveMailToDB)
        c.SpeedButtonSaveMailToDB->setEnabled(on);
}

bool TContentPage::Changed() const
{
    return c.SpeedButtonSaveMailToDB && c.SpeedButtonSaveMailToDB->isEnabled();
}

void TContentPage::SetMemoText(const QString& text)
{
    TQuiet quiet(m_quiet);
    c.MemoMailBody->setPlainText(text);
}

// ---- stored mails ---------------------------------------------------------------------------

qint64 TContentPage::SelectedMailId() const
{
    const int i = c.ComboBoxSubject->currentIndex();
    return i < 0 ? 0 : c.ComboBoxSubject->itemData(i).toLongLong();
}

void TContentPage::FillItems()
{
    QSignalBlocker block(c.ComboBoxSubject);
    c.ComboBoxSubject->clear();
    const QList<QVariantList> rows = m_conn.Select(
        QStringLiteral("SELECT %1, %2 FROM %3 ORDER BY %1 DESC").arg(QuoteName("ID"), QuoteName("Subject"), QuoteName("QlyMails")));
    for (const QVariantList& row : rows)
        c.ComboBoxSubject->addItem(row.value(1).toString().trimmed(), row.value(0).toLongLong());
}

void TContentPage::FillSubjectList(int index)
{
    FillItems();
    if (index < 0) {
        ClearMail();
    } else {
        {
            QSignalBlocker block(c.ComboBoxSubject);
            c.ComboBoxSubject->setCurrentIndex(index);
        }
        ComboBoxSubjectSelect();
    }
    SetSaveEnabled(false);
}

void TContentPage::SelectMailById(qint64 id)
{
    FillItems(); // to find the mail's place in the newest-first order
    FillSubjectList(c.ComboBoxSubject->findData(id));
}

void TContentPage::ComboBoxSubjectSelect()
{
    const int index = c.ComboBoxSubject->currentIndex();
    if (index < 0)
        return;
    const qint64 id = c.ComboBoxSubject->itemData(index).toLongLong();
    if (id == 0)
        return; // not a stored mail: nothing to load over what is typed
    try {
        const QVariant body = m_conn.Scalar(
            QStringLiteral("SELECT %1 FROM %2 WHERE %3 = ?").arg(QuoteName("Body"), QuoteName("QlyMails"), QuoteName("ID")), {id});
        TQuiet quiet(m_quiet);
        if (HtmlMode())
            c.ORVHTMLEditor1->SetHTML(body.toString(), false);
        else
            SetMemoText(body.toString());
    } catch (...) {
    }
    {
        TQuiet quiet(m_quiet);
        c.OrvFileListAttachments->Clear();
        OrvFileListAttachmentsChange();
        try {
            const QList<QVariantList> rows = m_conn.Select(
                QStringLiteral("SELECT %1 FROM %2 WHERE %3 = ? ORDER BY %4")
                    .arg(QuoteName("Path"), QuoteName("Attachments"), QuoteName("QlyMails_ID"), QuoteName("ID")),
                {id});
            for (const QVariantList& row : rows) {
                const QString path = row.value(0).toString();
                if (QFileInfo(path).isFile())
                    c.OrvFileListAttachments->AddFile(path);
            }
        } catch (...) {
            Box(QMessageBox::Critical, QString(), QStringLiteral("Fehler beim Laden der Attachments aus der Datenbank!"), QMessageBox::Ok);
        }
    }
    SetSaveEnabled(false);
    if (c.SpeedButtonRemoveMailFromSubject)
        c.SpeedButtonRemoveMailFromSubject->setEnabled(id != 0);
    QWidget* body = HtmlMode() ? c.ORVHTMLEditor1->BrowserWidget() : c.MemoMailBody;
    if (body && body->isVisible())
        body->setFocus();
}

void TContentPage::ClearMail()
{
    TQuiet quiet(m_quiet);
    if (c.SpeedButtonRemoveMailFromSubject)
        c.SpeedButtonRemoveMailFromSubject->setEnabled(false);
    QFile::remove(TempFileName);
    c.MemoMailBody->clear();
    {
        QSignalBlocker block(c.ComboBoxSubject);
        c.ComboBoxSubject->setCurrentIndex(-1);
        c.ComboBoxSubject->setEditText(QString());
    }
    c.OrvFileListAttachments->Clear();
    OrvFileListAttachmentsChange();
    c.ORVHTMLEditor1->New();
    SetSaveEnabled(false);
}

void TContentPage::SpeedButtonNewMailForSubjectClick()
{
    if (Changed() &&
        Box(QMessageBox::Question, QStringLiteral("Bestätigung"),
            QStringLiteral("Änderungen an der aktuellen Mail wurden noch nicht gespeichert. Trotzdem fortfahren?"),
            QMessageBox::Ok | QMessageBox::Cancel) != QMessageBox::Ok)
        return;
    ClearMail();
}

void TContentPage::SpeedButtonSaveMailToDBClick()
{
    const QString subject = c.ComboBoxSubject->currentText();
    if (subject.size() < 3) {
        Box(QMessageBox::Information, QString(), QStringLiteral("Die Betreffzeile muss mindestens 3 Zeichen lang sein."),
            QMessageBox::Ok);
        return;
    }
    SetSaveEnabled(false);
    try {
        if (!m_conn.TableExists(QStringLiteral("QlyMails")))
            m_conn.Execute(QStringLiteral("CREATE TABLE %1 (%2 INTEGER PRIMARY KEY AUTOINCREMENT, %3 TEXT(255), %4 TEXT)")
                               .arg(QuoteName("QlyMails"), QuoteName("ID"), QuoteName("Subject"), QuoteName("Body")));
        const QString body = HtmlMode() ? Html() : c.MemoMailBody->toPlainText();
        qint64 id = SelectedMailId();
        if (id == 0) {
            m_conn.Execute(QStringLiteral("INSERT INTO %1 (%2, %3) VALUES (?, ?)").arg(QuoteName("QlyMails"), QuoteName("Subject"), QuoteName("Body")),
                           {subject, body});
            // The row this insert made: another user may store a mail at the same time.
            id = m_conn.LastInsertId();
        } else {
            m_conn.Execute(QStringLiteral("UPDATE %1 SET %2 = ?, %3 = ? WHERE %4 = ?")
                               .arg(QuoteName("QlyMails"), QuoteName("Subject"), QuoteName("Body"), QuoteName("ID")),
                           {subject, body, id});
        }
        QStringList paths;
        GetAttachmentPaths(paths);
        try {
            m_conn.Execute(QStringLiteral("DELETE FROM %1 WHERE %2 = ?").arg(QuoteName("Attachments"), QuoteName("QlyMails_ID")), {id});
        } catch (...) {
        }
        for (const QString& path : paths) {
            try {
                m_conn.Execute(QStringLiteral("INSERT INTO %1 (%2, %3) VALUES (?, ?)")
                                   .arg(QuoteName("Attachments"), QuoteName("QlyMails_ID"), QuoteName("Path")),
                               {id, path});
            } catch (...) {
            }
        }
        SelectMailById(id);
    } catch (...) {
        // Not stored: the mail must not look saved.
        SetSaveEnabled(true);
        if (OnApplicationException)
            OnApplicationException(std::current_exception());
    }
}

void TContentPage::SpeedButtonRemoveMailFromSubjectClick()
{
    const int index = c.ComboBoxSubject->currentIndex();
    const qint64 id = SelectedMailId();
    if (index < 0 || id == 0)
        return;
    if (Box(QMessageBox::Question, QStringLiteral("Bestätigung"),
            QStringLiteral("Möchten Sie \"") + c.ComboBoxSubject->itemText(index) + QStringLiteral("\" wirklich aus der Datenbank löschen?"),
            QMessageBox::Ok | QMessageBox::Cancel) != QMessageBox::Ok)
        return;
    QFile::remove(TempFileName);
    try {
        db::Transaction t(m_conn);
        m_conn.Execute(QStringLiteral("DELETE FROM %1 WHERE %2 = ?").arg(QuoteName("QlyMails"), QuoteName("ID")), {id});
        m_conn.Execute(QStringLiteral("DELETE FROM %1 WHERE %2 = ?").arg(QuoteName("Attachments"), QuoteName("QlyMails_ID")), {id});
        t.Commit();
    } catch (...) {
        if (OnApplicationException)
            OnApplicationException(std::current_exception());
        return;
    }
    FillSubjectList(index - 1);
}

// ---- body files -----------------------------------------------------------------------------

void TContentPage::SpeedButtonLoadMailClick()
{
    const bool html = HtmlMode();
    const QString file =
        AskOpenFile ? AskOpenFile(html ? QStringLiteral("HTML Dateien (*.html)|*.html;*.htm|All Dateien (*.*)|*.*")
                                       : QStringLiteral("Text Dateien (*.txt)|*.txt|Alle Dateien (*.*)|*.*"),
                                  html ? QStringLiteral("html") : QStringLiteral("txt"))
                    : QString();
    if (file.isEmpty())
        return;
    c.ComboBoxSubject->setEditText(QFileInfo(file).completeBaseName());
    LoadMailFile(file);
}

void TContentPage::LoadMemoFromFile(const QString& file)
{
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly))
        throw std::runtime_error("open");
    c.MemoMailBody->setPlainText(core::DecodeTextFile(f.readAll()));
}

void TContentPage::LoadMailFile(const QString& file)
{
    try {
        if (HtmlMode()) {
            c.ORVHTMLEditor1->LoadFromFile(file); // shows its own errors
            SetSaveEnabled(true);
        } else {
            LoadMemoFromFile(file);
        }
    } catch (...) {
        Box(QMessageBox::Critical, QString(), QStringLiteral("Datei kann nicht geöffnet werde:  ") + file, QMessageBox::Ok);
    }
}

void TContentPage::SpeedButtonSaveMailClick()
{
    const bool html = HtmlMode();
    const QString file =
        AskSaveFile ? AskSaveFile(html ? QStringLiteral("HTML Dateien (*.html)|*.html|Alle Dateien (*.*)|*.*")
                                       : QStringLiteral("Text Dateien (*.txt)|*.txt|Alle Dateien (*.*)|*.*"),
                                  html ? QStringLiteral("html") : QStringLiteral("txt"),
                                  core::MakeValidFileName(c.ComboBoxSubject->currentText(), QLatin1Char('_'), false))
                    : QString();
    if (file.isEmpty())
        return;
    bool ok = false;
    if (html) {
        ok = c.ORVHTMLEditor1->SaveToFile(file);
    } else {
        QSaveFile f(file);
        if (f.open(QIODevice::WriteOnly)) {
            QString text = c.MemoMailBody->toPlainText();
            if (!text.isEmpty() && !text.endsWith(QLatin1Char('\n')))
                text += QLatin1Char('\n');
            f.write(text.toUtf8());
            ok = f.commit();
        }
    }
    if (!ok)
        Box(QMessageBox::Critical, QString(), QStringLiteral("Datei kann nicht gespeichert werden: ") + file, QMessageBox::Ok);
}

void TContentPage::SpeedButtonPasteMailClick()
{
    const QString text = QApplication::clipboard()->text();
    if (HtmlMode()) {
        c.ORVHTMLEditor1->SetHTML(text, true);
    } else {
        c.MemoMailBody->appendPlainText(text);
    }
    SetSaveEnabled(true);
}

void TContentPage::WriteTempFile()
{
    if (TempFileName.isEmpty())
        return;
    QSaveFile f(TempFileName);
    if (f.open(QIODevice::WriteOnly)) {
        QString text = c.MemoMailBody->toPlainText();
        if (!text.isEmpty())
            text += QLatin1Char('\n');
        f.write(text.toUtf8());
        f.commit();
    }
}

void TContentPage::DropFileTargetMailBodyDrop(const QStringList& files)
{
    if (files.isEmpty())
        return;
    const QString ext = QStringLiteral(".") + QFileInfo(files.first()).suffix().toUpper();
    if (ext == QLatin1String(".TXT") || ext == QLatin1String(".HTM") || ext == QLatin1String(".HTML")) {
        try {
            LoadMemoFromFile(files.first());
        } catch (...) {
            Box(QMessageBox::Critical, QString(), QStringLiteral("Datei kann nicht geöffnet werde:  ") + files.first(),
                QMessageBox::Ok);
        }
    } else {
        for (const QString& f : files)
            c.OrvFileListAttachments->AddFile(f);
    }
    WriteTempFile();
}

// ---- attachments ----------------------------------------------------------------------------

void TContentPage::SpeedButtonAttachmentClick()
{
    const QStringList files = AskOpenFiles ? AskOpenFiles(QStringLiteral("All Files (*.*)|*.*")) : QStringList();
    for (const QString& f : files)
        c.OrvFileListAttachments->AddFile(f);
}

void TContentPage::ActionRemoveSelectedAttachmentsExecute()
{
    c.OrvFileListAttachments->DeleteSelected();
    OrvFileListAttachmentsChange();
}

void TContentPage::OrvFileListAttachmentsAddItem(QTreeWidgetItem* item, bool& canAdd)
{
    if (QFileInfo(c.OrvFileListAttachments->GetItemPath(item)).isFile()) {
        if (!m_quiet)
            SetSaveEnabled(true);
    } else {
        canAdd = false;
    }
}

void TContentPage::OrvFileListAttachmentsChange()
{
    if (c.SpeedButtonRemoveAttachment)
        c.SpeedButtonRemoveAttachment->setEnabled(!c.OrvFileListAttachments->selectedItems().isEmpty());
}

void TContentPage::OrvFileListAttachmentsKeyDown(int& key, Qt::KeyboardModifiers)
{
    if (key == Qt::Key_Delete) {
        ActionRemoveSelectedAttachmentsExecute();
        key = 0;
    }
}

void TContentPage::OrvFileListAttachmentsDeletion(QTreeWidgetItem*)
{
    if (!m_quiet)
        SetSaveEnabled(true);
}

void TContentPage::GetAttachmentPaths(QStringList& list) const
{
    list.clear();
    for (int i = 0; i < c.OrvFileListAttachments->Count(); ++i)
        list << c.OrvFileListAttachments->GetItemPath(i);
}

void TContentPage::RenameAttachment(const QString& oldPath, const QString& newPath)
{
    TOrvFileList* l = c.OrvFileListAttachments;
    if (!l || !l->ContainsPath(oldPath) || l->ContainsPath(newPath))
        return;
    l->ShellChanged(nullptr, neFileRename, oldPath, newPath);
    SetSaveEnabled(true);
}

// ---- placeholders ---------------------------------------------------------------------------

void TContentPage::FillFieldMenu()
{
    PopupMenuFieldWizard->clear();
    const QStringList names = FieldNames ? FieldNames() : QStringList();
    for (const QString& name : names) {
        if (name.contains(QLatin1Char('_')) || name == QLatin1String("Status"))
            continue;
        QAction* a = PopupMenuFieldWizard->addAction(QString(name).replace(QLatin1Char('&'), QLatin1String("&&")));
        a->setData(name);
        connect(a, &QAction::triggered, this, [this, name] { PopUpFieldsClick(name); });
    }
}

void TContentPage::SpeedButtonInsertFieldClick()
{
    FillFieldMenu();
    QToolButton* b = c.SpeedButtonInsertField;
    const QPoint corner = b->mapToGlobal(QPoint(b->width(), b->height()));
    const QSize size = PopupMenuFieldWizard->sizeHint();
    PopupMenuFieldWizard->popup(QPoint(corner.x() - size.width(), corner.y())); // right-aligned
}

void TContentPage::PopUpFieldsClick(const QString& caption)
{
    const QString text = QLatin1Char('%') + caption + QLatin1Char('%');
    QLineEdit* subject = c.ComboBoxSubject->lineEdit();
    if (c.ComboBoxSubject->hasFocus() || (subject && subject->hasFocus())) {
        if (subject)
            subject->insert(text);
        SetSaveEnabled(true);
    } else if (!HtmlMode()) {
        c.MemoMailBody->insertPlainText(text);
    } else {
        c.ORVHTMLEditor1->InsertAtCaret(text);
        c.ORVHTMLEditor1->BrowserWidget()->setFocus();
    }
}

// ---- change tracking ------------------------------------------------------------------------

void TContentPage::MemoMailBodyChange()
{
    if (!m_quiet)
        SetSaveEnabled(true);
}

bool TContentPage::AllowLeaveMail()
{
    // Opening the stored mails with unsaved changes asks first.
    if (!Changed() || c.ComboBoxSubject->count() == 0)
        return true;
    if (Box(QMessageBox::Question, QStringLiteral("Bestätigung"), QStringLiteral("Die aktuelle Mail ohne Speichern verlassen?"),
            QMessageBox::Ok | QMessageBox::Cancel) == QMessageBox::Ok)
        return true;
    QWidget* body = HtmlMode() ? c.ORVHTMLEditor1->BrowserWidget() : c.MemoMailBody;
    if (body)
        body->setFocus();
    return false;
}

bool TContentPage::eventFilter(QObject* watched, QEvent* e)
{
    const bool subject = c.ComboBoxSubject && (watched == c.ComboBoxSubject || watched == c.ComboBoxSubject->lineEdit());
    if (e->type() == QEvent::KeyPress) {
        auto* k = static_cast<QKeyEvent*>(e);
        if (watched == c.MemoMailBody) {
            if (k->key() == Qt::Key_A && (k->modifiers() & Qt::ControlModifier)) {
                c.MemoMailBody->selectAll();
                return true;
            }
        } else if (subject) {
            const int key = k->key();
            if ((key == Qt::Key_Return || key == Qt::Key_Enter) && !c.ComboBoxSubject->view()->isVisible())
                return true; // Enter in the subject line neither stores nor loads anything
            const bool moves = key == Qt::Key_Up || key == Qt::Key_Down || key == Qt::Key_PageUp || key == Qt::Key_PageDown;
            if (moves && Changed())
                return true; // the stored-mail selection stays while there are unsaved changes
            if (key == Qt::Key_F4 && !AllowLeaveMail())
                return true;
            if (!moves && key != Qt::Key_F4)
                SetSaveEnabled(true);
        }
    } else if (subject && e->type() == QEvent::Wheel) {
        if (Changed())
            return true; // the wheel would choose another stored mail
    } else if (e->type() == QEvent::MouseButtonPress && watched == c.ComboBoxSubject) {
        if (!AllowLeaveMail())
            return true;
    }
    return QObject::eventFilter(watched, e);
}

// ---- IMailContent ---------------------------------------------------------------------------

QString TContentPage::Subject() const
{
    return c.ComboBoxSubject->currentText();
}

QString TContentPage::PlainBody() const
{
    return c.MemoMailBody->toPlainText();
}

bool TContentPage::SignatureOn() const
{
    return GetSignatureOn && GetSignatureOn();
}

QString TContentPage::Signature() const
{
    return GetSignature ? GetSignature() : QString();
}

bool TContentPage::HtmlMode() const
{
    return c.MemoMailBody->isHidden();
}

QString TContentPage::Html() const
{
    return c.ORVHTMLEditor1->GetHTML().join(QLatin1Char('\n'));
}

QStringList TContentPage::AttachmentPaths() const
{
    QStringList paths;
    GetAttachmentPaths(paths);
    return paths;
}

} // namespace app
