#include "TestUtil.h"

#include "app/ContentPage.h"
#include "controls/FileDropTarget.h"
#include "controls/shell/OrvFileList.h"
#include "htmleditor/ORVHTMLEditor.h"
#include "platform/db/Connection.h"
#include "recipients/Schema.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDropEvent>
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QTest>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

using app::TContentPage;

namespace {

void WriteFile(const QString& name, const QByteArray& data)
{
    QFile f(name);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(data);
}

QString ReadFile(const QString& name)
{
    QFile f(name);
    f.open(QIODevice::ReadOnly);
    return QString::fromUtf8(f.readAll());
}

struct Box {
    QMessageBox::Icon icon;
    QString caption, text;
};

// The content page's controls in a window of their own, over a fresh database.
struct Content : ::testing::Test {
    qlytest::TempDir dir;
    db::Connection conn;
    QWidget window;
    app::TContentPageControls ctl;
    std::unique_ptr<TContentPage> page;
    QList<Box> boxes;
    QMessageBox::StandardButton answer = QMessageBox::Ok;
    QStringList exceptions;

    QToolButton* Button(const char* name)
    {
        auto* b = new QToolButton(&window);
        b->setObjectName(QLatin1String(name));
        window.layout()->addWidget(b);
        return b;
    }
    void SetUp() override
    {
        conn.Open(dir.file("qly.db"), db::OpenMode::CreateIfMissing);
        recipients::UpgradeSchema(conn, {});
        auto* v = new QVBoxLayout(&window);
        ctl.ComboBoxSubject = new QComboBox(&window);
        ctl.ComboBoxSubject->setEditable(true);
        v->addWidget(ctl.ComboBoxSubject);
        ctl.SpeedButtonNewMailForSubject = Button("SpeedButtonNewMailForSubject");
        ctl.SpeedButtonSaveMailToDB = Button("SpeedButtonSaveMailToDB");
        ctl.SpeedButtonRemoveMailFromSubject = Button("SpeedButtonRemoveMailFromSubject");
        ctl.SpeedButtonInsertField = Button("SpeedButtonInsertField");
        ctl.MemoMailBody = new QPlainTextEdit(&window);
        v->addWidget(ctl.MemoMailBody);
        ctl.ORVHTMLEditor1 = new TORVHTMLEditor(&window);
        ctl.ORVHTMLEditor1->ShowSourceCode = true;
        ctl.ORVHTMLEditor1->setVisible(false);
        v->addWidget(ctl.ORVHTMLEditor1);
        ctl.SpeedButtonAttachment = Button("SpeedButtonAttachment");
        ctl.SpeedButtonRemoveAttachment = Button("SpeedButtonRemoveAttachment");
        ctl.OrvFileListAttachments = new TOrvFileList(&window);
        v->addWidget(ctl.OrvFileListAttachments);
        ctl.SpeedButtonLoadMail = Button("SpeedButtonLoadMail");
        ctl.SpeedButtonPasteMail = Button("SpeedButtonPasteMail");
        ctl.SpeedButtonSaveMail = Button("SpeedButtonSaveMail");
        ctl.ORVHTMLEditor1->CreateWnd();
        page = std::make_unique<TContentPage>(ctl, conn);
        page->TempFileName = dir.file("cur_qly.html");
        page->MessageBox = [this](QMessageBox::Icon icon, const QString& caption, const QString& text, QMessageBox::StandardButtons) {
            boxes << Box{icon, caption, text};
            return answer;
        };
        page->OnApplicationException = [this](std::exception_ptr e) {
            try {
                std::rethrow_exception(e);
            } catch (const std::exception& x) {
                exceptions << QString::fromUtf8(x.what());
            }
        };
        page->FillSubjectList(-1);
        window.resize(800, 700);
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    }
    void SetHtmlMode(bool html)
    {
        ctl.MemoMailBody->setVisible(!html);
        ctl.ORVHTMLEditor1->setVisible(html);
    }
    bool SaveEnabled() const { return ctl.SpeedButtonSaveMailToDB->isEnabled(); }
    QStringList Subjects() const
    {
        QStringList s;
        for (int i = 0; i < ctl.ComboBoxSubject->count(); ++i)
            s << ctl.ComboBoxSubject->itemText(i);
        return s;
    }
    void Store(const QString& subject, const QString& body, const QStringList& attachments = {})
    {
        page->ClearMail();
        ctl.ComboBoxSubject->setEditText(subject);
        ctl.MemoMailBody->setPlainText(body);
        for (const QString& a : attachments)
            ctl.OrvFileListAttachments->AddFile(a);
        page->SpeedButtonSaveMailToDBClick();
    }
    QStringList StoredAttachments(qint64 id)
    {
        QStringList out;
        for (const QVariantList& r : conn.Select("SELECT Path FROM Attachments WHERE QlyMails_ID = ? ORDER BY ID", {id}))
            out << r.value(0).toString();
        return out;
    }
};

TEST_F(Content, StoringNeedsThreeCharactersAndSelectsTheNewMail)
{
    Store(QStringLiteral("ab"), QStringLiteral("Text"));
    ASSERT_EQ(boxes.size(), 1);
    EXPECT_EQ(boxes[0].icon, QMessageBox::Information);
    EXPECT_EQ(boxes[0].text, QStringLiteral("Die Betreffzeile muss mindestens 3 Zeichen lang sein."));
    EXPECT_EQ(conn.Scalar("SELECT COUNT(*) FROM QlyMails").toInt(), 0);
    EXPECT_TRUE(SaveEnabled()); // still unsaved

    WriteFile(dir.file("anhang.pdf"), "%PDF");
    Store(QStringLiteral("abc"), QStringLiteral("Erste Mail"));
    Store(QStringLiteral("Zweite"), QStringLiteral("Zweite Mail"), {dir.file("anhang.pdf")});
    EXPECT_EQ(Subjects(), QStringList({"Zweite", "abc"})); // newest first
    EXPECT_EQ(ctl.ComboBoxSubject->currentIndex(), 0);
    EXPECT_FALSE(SaveEnabled());
    EXPECT_TRUE(ctl.SpeedButtonRemoveMailFromSubject->isEnabled());
    EXPECT_EQ(StoredAttachments(page->SelectedMailId()), QStringList({dir.file("anhang.pdf")}));
    EXPECT_EQ(ctl.OrvFileListAttachments->Count(), 1);
}

TEST_F(Content, ANewMailKeepsTheIdItsInsertMade)
{
    // Another workstation stores a mail while ours is inserted: it gets the higher ID.
    conn.Execute("CREATE TRIGGER other AFTER INSERT ON QlyMails WHEN NEW.Subject <> 'Fremd' "
                 "BEGIN INSERT INTO QlyMails (Subject, Body) VALUES ('Fremd', 'x'); END");
    WriteFile(dir.file("a.txt"), "a");
    Store(QStringLiteral("Unsere Mail"), QStringLiteral("Hallo"), {dir.file("a.txt")});
    EXPECT_EQ(Subjects(), QStringList({"Fremd", "Unsere Mail"}));
    EXPECT_EQ(ctl.ComboBoxSubject->currentText(), QStringLiteral("Unsere Mail"));
    EXPECT_EQ(ctl.MemoMailBody->toPlainText(), QStringLiteral("Hallo"));
    const qint64 ours = conn.Scalar("SELECT ID FROM QlyMails WHERE Subject = 'Unsere Mail'").toLongLong();
    const qint64 theirs = conn.Scalar("SELECT ID FROM QlyMails WHERE Subject = 'Fremd'").toLongLong();
    EXPECT_EQ(page->SelectedMailId(), ours);
    EXPECT_EQ(StoredAttachments(ours), QStringList({dir.file("a.txt")}));
    EXPECT_TRUE(StoredAttachments(theirs).isEmpty());
}

TEST_F(Content, AFailedStoreDoesNotLookSaved)
{
    conn.Execute("CREATE TRIGGER refuse BEFORE INSERT ON QlyMails BEGIN SELECT RAISE(ABORT, 'voll'); END");
    Store(QStringLiteral("Betreff"), QStringLiteral("Text"));
    EXPECT_EQ(exceptions.size(), 1);
    EXPECT_TRUE(SaveEnabled());
    EXPECT_EQ(ctl.MemoMailBody->toPlainText(), QStringLiteral("Text"));
}

TEST_F(Content, ApostrophesAndMissingAttachmentFiles)
{
    WriteFile(dir.file("it's.txt"), "1");
    WriteFile(dir.file("weg.txt"), "2");
    Store(QStringLiteral("Max' Mail"), QStringLiteral("It's \"quoted\"\nzweite Zeile"), {dir.file("it's.txt"), dir.file("weg.txt")});
    const qint64 id = page->SelectedMailId();
    QFile::remove(dir.file("weg.txt"));
    page->ClearMail();
    EXPECT_EQ(ctl.ComboBoxSubject->currentText(), QString());
    EXPECT_EQ(ctl.OrvFileListAttachments->Count(), 0);
    EXPECT_FALSE(SaveEnabled());

    ctl.ComboBoxSubject->setCurrentIndex(0);
    page->ComboBoxSubjectSelect();
    EXPECT_EQ(ctl.ComboBoxSubject->currentText(), QStringLiteral("Max' Mail"));
    EXPECT_EQ(ctl.MemoMailBody->toPlainText(), QStringLiteral("It's \"quoted\"\nzweite Zeile"));
    EXPECT_EQ(page->AttachmentPaths(), QStringList({dir.file("it's.txt")})); // the missing one is left out
    EXPECT_TRUE(boxes.isEmpty());
    EXPECT_FALSE(SaveEnabled());
    // Storing again drops the row of the missing file.
    ctl.MemoMailBody->appendPlainText(QStringLiteral("mehr"));
    EXPECT_TRUE(SaveEnabled());
    page->SpeedButtonSaveMailToDBClick();
    EXPECT_EQ(StoredAttachments(id), QStringList({dir.file("it's.txt")}));
    EXPECT_EQ(conn.Scalar("SELECT COUNT(*) FROM QlyMails").toInt(), 1);
}

TEST_F(Content, DeletingStoredMails)
{
    Store(QStringLiteral("Alt"), QStringLiteral("1"));
    Store(QStringLiteral("Mitte"), QStringLiteral("2"));
    Store(QStringLiteral("Neu"), QStringLiteral("3"));
    ctl.ComboBoxSubject->setCurrentIndex(1);
    page->ComboBoxSubjectSelect();
    answer = QMessageBox::Cancel;
    page->SpeedButtonRemoveMailFromSubjectClick();
    ASSERT_EQ(boxes.size(), 1);
    EXPECT_EQ(boxes[0].caption, QStringLiteral("Bestätigung"));
    EXPECT_EQ(boxes[0].text, QStringLiteral("Möchten Sie \"Mitte\" wirklich aus der Datenbank löschen?"));
    EXPECT_EQ(Subjects().size(), 3);
    answer = QMessageBox::Ok;
    page->SpeedButtonRemoveMailFromSubjectClick();
    EXPECT_EQ(Subjects(), QStringList({"Neu", "Alt"}));
    EXPECT_EQ(ctl.ComboBoxSubject->currentText(), QStringLiteral("Neu")); // the next newer one
    EXPECT_EQ(ctl.MemoMailBody->toPlainText(), QStringLiteral("3"));
    page->SpeedButtonRemoveMailFromSubjectClick(); // the newest: the page is emptied
    EXPECT_EQ(Subjects(), QStringList({"Alt"}));
    EXPECT_EQ(ctl.ComboBoxSubject->currentIndex(), -1);
    EXPECT_EQ(ctl.MemoMailBody->toPlainText(), QString());
    EXPECT_FALSE(ctl.SpeedButtonRemoveMailFromSubject->isEnabled());
}

TEST_F(Content, NewMailAsksAboutUnsavedChanges)
{
    ctl.MemoMailBody->setPlainText(QStringLiteral("ungespeichert"));
    EXPECT_TRUE(SaveEnabled());
    answer = QMessageBox::Cancel;
    page->SpeedButtonNewMailForSubjectClick();
    ASSERT_EQ(boxes.size(), 1);
    EXPECT_EQ(boxes[0].text, QStringLiteral("Änderungen an der aktuellen Mail wurden noch nicht gespeichert. Trotzdem fortfahren?"));
    EXPECT_EQ(ctl.MemoMailBody->toPlainText(), QStringLiteral("ungespeichert"));
    answer = QMessageBox::Ok;
    page->SpeedButtonNewMailForSubjectClick();
    EXPECT_EQ(ctl.MemoMailBody->toPlainText(), QString());
    EXPECT_FALSE(SaveEnabled());
    page->SpeedButtonNewMailForSubjectClick(); // nothing to lose: no question
    EXPECT_EQ(boxes.size(), 2);
}

TEST_F(Content, ExportAndLoadBodyFiles)
{
    ctl.ComboBoxSubject->setEditText(QStringLiteral("Brief: an/alle?"));
    ctl.MemoMailBody->setPlainText(QStringLiteral("Zeile 1\nZeile 2"));
    QString proposed, filter;
    page->AskSaveFile = [&](const QString& f, const QString&, const QString& p) {
        filter = f;
        proposed = p;
        return dir.file("brief.txt");
    };
    page->SpeedButtonSaveMailClick();
    EXPECT_EQ(proposed, QStringLiteral("Brief_ an_alle_"));
    EXPECT_EQ(filter, QStringLiteral("Text Dateien (*.txt)|*.txt|Alle Dateien (*.*)|*.*"));
    EXPECT_EQ(ReadFile(dir.file("brief.txt")), QStringLiteral("Zeile 1\nZeile 2\n"));

    // HTML: the editor writes, and a failure is reported with the old file intact.
    SetHtmlMode(true);
    ctl.ORVHTMLEditor1->SetHTML(QStringLiteral("<p>Gruß</p>"), false);
    page->AskSaveFile = [&](const QString& f, const QString&, const QString&) {
        filter = f;
        return dir.file("brief.html");
    };
    page->SpeedButtonSaveMailClick();
    EXPECT_EQ(filter, QStringLiteral("HTML Dateien (*.html)|*.html|Alle Dateien (*.*)|*.*"));
    EXPECT_TRUE(ReadFile(dir.file("brief.html")).contains(QStringLiteral("<p>Gruß</p>"), Qt::CaseInsensitive));
    page->AskSaveFile = [&](const QString&, const QString&, const QString&) { return dir.file("fehlt/brief.html"); };
    page->SpeedButtonSaveMailClick();
    ASSERT_EQ(boxes.size(), 1);
    EXPECT_EQ(boxes[0].text, QStringLiteral("Datei kann nicht gespeichert werden: ") + dir.file("fehlt/brief.html"));

    // Loading: the subject becomes the file's name.
    SetHtmlMode(false);
    page->AskOpenFile = [&](const QString&, const QString&) { return dir.file("brief.txt"); };
    page->SpeedButtonLoadMailClick();
    EXPECT_EQ(ctl.ComboBoxSubject->currentText(), QStringLiteral("brief"));
    EXPECT_EQ(ctl.MemoMailBody->toPlainText(), QStringLiteral("Zeile 1\nZeile 2\n"));
    page->LoadMailFile(dir.file("fehlt.txt"));
    ASSERT_EQ(boxes.size(), 2);
    EXPECT_EQ(boxes[1].text, QStringLiteral("Datei kann nicht geöffnet werde:  ") + dir.file("fehlt.txt"));
}

TEST_F(Content, PasteAddsToTheBody)
{
    ctl.MemoMailBody->setPlainText(QStringLiteral("Anfang"));
    QApplication::clipboard()->setText(QStringLiteral("eingefügt"));
    page->FillSubjectList(-1);
    ctl.MemoMailBody->setPlainText(QStringLiteral("Anfang"));
    page->SpeedButtonPasteMailClick();
    EXPECT_EQ(ctl.MemoMailBody->toPlainText(), QStringLiteral("Anfang\neingefügt"));
    EXPECT_TRUE(SaveEnabled());

    SetHtmlMode(true);
    ctl.ORVHTMLEditor1->SetHTML(QStringLiteral("<p>Anfang</p>"), false);
    QApplication::clipboard()->setText(QStringLiteral("<p>mehr</p>"));
    page->SpeedButtonPasteMailClick();
    EXPECT_TRUE(page->Html().contains(QStringLiteral("<p>Anfang</p><p>mehr</p>"), Qt::CaseInsensitive));
}

TEST_F(Content, PlaceholderMenuAndInsertion)
{
    page->FieldNames = [] {
        return QStringList({"_ID", "Status", "Email", "Last Name", "First Name", "Firma_Nr", "Firma & Co", "status"});
    };
    page->FillFieldMenu();
    QStringList offered;
    for (QAction* a : page->PopupMenuFieldWizard->actions())
        offered << a->data().toString();
    EXPECT_EQ(offered, QStringList({"Email", "Last Name", "First Name", "Firma & Co", "status"}));

    ctl.MemoMailBody->setPlainText(QStringLiteral("Hallo !"));
    QTextCursor cur = ctl.MemoMailBody->textCursor();
    cur.setPosition(6);
    ctl.MemoMailBody->setTextCursor(cur);
    ctl.MemoMailBody->setFocus();
    page->PopupMenuFieldWizard->actions()[2]->trigger();
    EXPECT_EQ(ctl.MemoMailBody->toPlainText(), QStringLiteral("Hallo %First Name%!"));

    ctl.ComboBoxSubject->setEditText(QStringLiteral("Für "));
    ctl.ComboBoxSubject->lineEdit()->setFocus();
    QApplication::processEvents();
    page->PopUpFieldsClick(QStringLiteral("Email"));
    EXPECT_EQ(ctl.ComboBoxSubject->currentText(), QStringLiteral("Für %Email%"));

    // HTML: as text at the caret (the end of the body without one).
    SetHtmlMode(true);
    ctl.ORVHTMLEditor1->SetHTML(QStringLiteral("<p>Hallo</p>"), false);
    ctl.ORVHTMLEditor1->BrowserWidget()->setFocus();
    QApplication::processEvents();
    page->PopUpFieldsClick(QStringLiteral("Firma & Co"));
    EXPECT_TRUE(page->Html().contains(QStringLiteral("%Firma &amp; Co%")));
    EXPECT_TRUE(SaveEnabled());
}

TEST_F(Content, SwitchingModesKeepsEachEditorsContent)
{
    ctl.MemoMailBody->setPlainText(QStringLiteral("Klartext"));
    ctl.ORVHTMLEditor1->SetHTML(QStringLiteral("<p>Formatiert</p>"), false);
    EXPECT_FALSE(page->HtmlMode());
    EXPECT_EQ(page->PlainBody(), QStringLiteral("Klartext"));
    SetHtmlMode(true);
    EXPECT_TRUE(page->HtmlMode());
    EXPECT_TRUE(page->Html().contains(QStringLiteral("<p>Formatiert</p>"), Qt::CaseInsensitive));
    SetHtmlMode(false);
    EXPECT_EQ(ctl.MemoMailBody->toPlainText(), QStringLiteral("Klartext"));
    SetHtmlMode(true);
    EXPECT_TRUE(page->Html().contains(QStringLiteral("<p>Formatiert</p>"), Qt::CaseInsensitive));
    // A stored HTML mail loads into the HTML editor and leaves the memo alone.
    ctl.ComboBoxSubject->setEditText(QStringLiteral("HTML-Mail"));
    page->SpeedButtonSaveMailToDBClick();
    EXPECT_TRUE(conn.Scalar("SELECT Body FROM QlyMails").toString().contains(QStringLiteral("Formatiert")));
    EXPECT_EQ(ctl.MemoMailBody->toPlainText(), QStringLiteral("Klartext"));
}

struct DropOnBody : Content {
    // Drops files on the plain body as a file manager does.
    void DropFiles(const QStringList& paths, Qt::KeyboardModifiers keys = {})
    {
        QMimeData data;
        QList<QUrl> urls;
        for (const QString& p : paths)
            urls << QUrl::fromLocalFile(p);
        data.setUrls(urls);
        QWidget* vp = ctl.MemoMailBody->viewport();
        QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton, keys);
        QApplication::sendEvent(vp, &enter);
        ASSERT_TRUE(enter.isAccepted());
        QDropEvent drop(QPointF(10, 10), Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton, keys);
        QApplication::sendEvent(vp, &drop);
        lastAction = drop.dropAction();
    }
    Qt::DropAction lastAction = Qt::IgnoreAction;
};

TEST_F(DropOnBody, TheFirstFileDecides)
{
    WriteFile(dir.file("text.txt"), "Text aus der Datei");
    WriteFile(dir.file("bild.png"), "png");
    DropFiles({dir.file("text.txt"), dir.file("bild.png")}, Qt::ShiftModifier);
    EXPECT_EQ(lastAction, Qt::CopyAction);
    EXPECT_EQ(ctl.MemoMailBody->toPlainText(), QStringLiteral("Text aus der Datei"));
    EXPECT_EQ(ctl.OrvFileListAttachments->Count(), 0);
    EXPECT_EQ(ReadFile(page->TempFileName), QStringLiteral("Text aus der Datei\n"));
    EXPECT_TRUE(SaveEnabled());

    DropFiles({dir.file("bild.png"), dir.file("text.txt")});
    EXPECT_EQ(page->AttachmentPaths(), QStringList({dir.file("bild.png"), dir.file("text.txt")}));
    EXPECT_EQ(ctl.MemoMailBody->toPlainText(), QStringLiteral("Text aus der Datei"));

    WriteFile(dir.file("seite.HTML"), "<p>html</p>");
    DropFiles({dir.file("seite.HTML")});
    EXPECT_EQ(ctl.MemoMailBody->toPlainText(), QStringLiteral("<p>html</p>"));

    // A text drag is not taken.
    QMimeData text;
    text.setText(QStringLiteral("gezogener Text"));
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &text, Qt::LeftButton, {});
    QApplication::sendEvent(ctl.MemoMailBody->viewport(), &enter);
    EXPECT_FALSE(enter.isAccepted());
}

TEST_F(Content, AttachmentList)
{
    WriteFile(dir.file("a.pdf"), "a");
    WriteFile(dir.file("b.pdf"), "b");
    page->AskOpenFiles = [&](const QString& filter) {
        EXPECT_EQ(filter, QStringLiteral("All Files (*.*)|*.*"));
        return QStringList({dir.file("a.pdf"), dir.file("b.pdf"), dir.file("a.pdf"), dir.file("fehlt.pdf")});
    };
    ctl.SpeedButtonAttachment->click();
    EXPECT_EQ(page->AttachmentPaths(), QStringList({dir.file("a.pdf"), dir.file("b.pdf")}));
    EXPECT_TRUE(SaveEnabled());
    EXPECT_EQ(ctl.OrvFileListAttachments->topLevelItem(0)->text(1), dir.path() + "/");

    page->FillSubjectList(-1);
    ctl.SpeedButtonSaveMailToDB->setEnabled(false);
    ctl.SpeedButtonAttachment->click();
    ctl.SpeedButtonSaveMailToDB->setEnabled(false);
    EXPECT_FALSE(ctl.SpeedButtonRemoveAttachment->isEnabled());
    ctl.OrvFileListAttachments->topLevelItem(0)->setSelected(true);
    EXPECT_TRUE(ctl.SpeedButtonRemoveAttachment->isEnabled());
    ctl.OrvFileListAttachments->setFocus();
    QTest::keyClick(ctl.OrvFileListAttachments, Qt::Key_Delete);
    EXPECT_EQ(page->AttachmentPaths(), QStringList({dir.file("b.pdf")}));
    EXPECT_TRUE(SaveEnabled());
    ctl.OrvFileListAttachments->topLevelItem(0)->setSelected(true);
    ctl.SpeedButtonRemoveAttachment->click();
    EXPECT_TRUE(page->AttachmentPaths().isEmpty());
    EXPECT_FALSE(ctl.SpeedButtonRemoveAttachment->isEnabled());
}

TEST_F(Content, SubjectKeysTrackChanges)
{
    QLineEdit* edit = ctl.ComboBoxSubject->lineEdit();
    edit->setFocus();
    EXPECT_FALSE(SaveEnabled());
    QTest::keyClicks(edit, QStringLiteral("Neu"));
    EXPECT_TRUE(SaveEnabled());
    EXPECT_EQ(ctl.ComboBoxSubject->currentText(), QStringLiteral("Neu"));
}

} // namespace

// The temporary body file's folder: only this user may write in it, and no link or foreign
// folder placed in its way is used.
TEST(TempBodyFolder, IsPrivateAndFollowsNoLink)
{
    qlytest::TempDir dir;
    const auto isPrivate = [](const QString& path) {
        struct stat st;
        return ::lstat(QFile::encodeName(path).constData(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::getuid() &&
               (st.st_mode & 077) == 0;
    };
    // A usable runtime folder: its own subfolder.
    QDir().mkpath(dir.file("run"));
    ::chmod(QFile::encodeName(dir.file("run")).constData(), 0700);
    EXPECT_EQ(app::PrivateTempFolder(QFile::encodeName(dir.file("run"))), dir.file("run/quillory"));
    EXPECT_TRUE(isPrivate(dir.file("run/quillory")));

    // Without one, or with one that others may write in, or with a link in its place: a new
    // private folder in the temporary folder, never the shared folder itself.
    const QString fallback = app::PrivateTempFolder(QByteArray());
    ASSERT_FALSE(fallback.isEmpty());
    EXPECT_TRUE(isPrivate(fallback));
    EXPECT_NE(QDir(fallback), QDir(QDir::tempPath()));
    QDir().mkpath(dir.file("open"));
    ::chmod(QFile::encodeName(dir.file("open")).constData(), 0777);
    EXPECT_EQ(app::PrivateTempFolder(QFile::encodeName(dir.file("open"))), fallback);
    QDir().mkpath(dir.file("run2"));
    ::chmod(QFile::encodeName(dir.file("run2")).constData(), 0700);
    QDir().mkpath(dir.file("elsewhere"));
    ASSERT_TRUE(QFile::link(dir.file("elsewhere"), dir.file("run2/quillory")));
    EXPECT_EQ(app::PrivateTempFolder(QFile::encodeName(dir.file("run2"))), fallback);
    EXPECT_TRUE(QDir(dir.file("elsewhere")).isEmpty());
}
