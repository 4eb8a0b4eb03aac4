// The preview as the user reaches it with "4. Vorschau": the body without recipients, a value
// just typed into the list, attachments renamed while the preview is shown, and the
// attachment dialog's "all files".
#include "WindowDriver.h"
#include "app/ContentPage.h"
#include "controls/shell/OrvFileList.h"
#include "htmleditor/HtmlPreview.h"
#include "recipients/RecipientListStore.h"
#include "recipients/views/RecipientsGrid.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QListView>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QStackedWidget>
#include <QToolButton>

using namespace flowtest;

namespace {

class PreviewFlow : public ::testing::Test {
protected:
    void SetUp() override { ForgetSettings(); }

    void Start(bool plain)
    {
        f = StartWindow(dir);
        f->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(f.get()));
        QRadioButton* type = plain ? f->RadioButtonPlainTextMail : f->RadioButtonHtmlMail;
        QTest::mouseClick(type, Qt::LeftButton, {}, QPoint(6, type->height() / 2));
        ASSERT_TRUE(type->isChecked());
        QTest::mouseClick(f->SpeedButtonContent, Qt::LeftButton);
    }
    void Type(const QString& text)
    {
        for (QChar ch : text)
            QTest::keyClick(f->windowHandle(), ch.toLatin1());
    }
    void TypeSubject(const QString& text)
    {
        QTest::mouseClick(f->ComboBoxSubject->lineEdit(), Qt::LeftButton);
        Type(text);
    }
    void TypeBody(const QString& text)
    {
        QTest::mouseClick(f->MemoMailBody->viewport(), Qt::LeftButton, {}, QPoint(40, 40));
        Type(text);
    }
    void Attach(const QString& path)
    {
        WhenFileDialogShows([path](QFileDialog* dlg) { TypeIntoFileDialog(dlg, path); });
        QTest::mouseClick(f->SpeedButtonAttachment, Qt::LeftButton);
    }
    void ShowPreview()
    {
        QTest::mouseClick(f->SpeedButtonPreview, Qt::LeftButton);
        ASSERT_EQ(f->BackGroundBottom->currentWidget(), f->TabPreview);
    }
    // Closing answers "No" to keeping the profile, the list and the mail.
    void CloseWithoutKeeping()
    {
        boxes.fallback = QMessageBox::No;
        EXPECT_TRUE(f->close());
        boxes.fallback = QMessageBox::NoButton;
    }
    QString RecipientLine() const { return f->DBTextTo->text() + f->DBTextFirstName->text() + f->DBTextLastName->text(); }

    qlytest::TempDir dir;
    std::unique_ptr<app::TMainForm> f;
    BoxAnswerer boxes;
};

TEST_F(PreviewFlow, EmptyListShowsTheMailAsWritten)
{
    // Plain text, typed.
    Start(true);
    TypeSubject("Hallo %First Name%");
    TypeBody("Liebe %First Name%, bis bald.");
    ShowPreview();
    EXPECT_EQ(f->DBTextTo->text(), QStringLiteral("Keine Empfänger in der Liste."));
    EXPECT_EQ(f->LabelPreviewPosition->text(), "-/-");
    EXPECT_EQ(f->LabelPSubject->text(), "Hallo %First Name%");
    EXPECT_TRUE(f->PanelPBody->isVisible());
    EXPECT_EQ(f->MemoPBody->toPlainText(), "Liebe %First Name%, bis bald.");
    CloseWithoutKeeping();
    f.reset();

    // HTML, opened from a file with "Öffnen".
    qlytest::writeFileBytes(dir.file("brief.html"),
                            "<html><body><p>Sehr geehrte %Last Name%,</p><p>Inhalt des Briefes</p></body></html>");
    Start(false);
    WhenFileDialogShows([this](QFileDialog* dlg) { TypeIntoFileDialog(dlg, dir.file("brief.html")); });
    QTest::mouseClick(f->SpeedButtonLoadMail, Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return f->ContentPage().Html().contains("Inhalt des Briefes"); }, 15000));
    EXPECT_EQ(f->ComboBoxSubject->currentText(), "brief");
    ShowPreview();
    EXPECT_EQ(f->LabelPreviewPosition->text(), "-/-");
    EXPECT_TRUE(f->PanelWebBrowserP->isVisible());
    EXPECT_FALSE(f->PanelPBody->isVisible());
    QString shown;
    EXPECT_TRUE(QTest::qWaitFor([&] {
        shown = f->WebBrowserP->DocumentHtml();
        return shown.contains("Inhalt des Briefes");
    }, 15000)) << shown.toStdString();
    EXPECT_TRUE(shown.contains("Sehr geehrte %Last Name%,")) << shown.toStdString();
    CloseWithoutKeeping();
}

// The user types a new last name into the list and, without Enter, clicks "4. Vorschau": the
// list grid posts its pending edit as the page is left.
TEST_F(PreviewFlow, ValueTypedIntoTheListShowsInThePreview)
{
    Start(true);
    TypeSubject("Hallo %Last Name%");
    TypeBody("Guten Tag %Last Name%");
    QString error;
    ASSERT_TRUE(f->ListStore().InsertRow({"0", "eva@x.de", "Alt", "Eva"}, &error)) << error.toStdString();
    QTest::mouseClick(f->SpeedButtonRecipients, Qt::LeftButton);
    recipients::TRecipientsGrid* grid = f->StringGridFavorites;
    grid->Reopen();
    QApplication::processEvents();
    xdb::TXColumn* last = grid->Columns()->Items(2);
    const QRect cell = grid->ColumnCellRect(last, 0);
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cell.center());
    ASSERT_EQ(grid->FocusedFieldName(), "Last Name");
    for (QChar ch : QStringLiteral("Neu"))
        QTest::keyClick(QApplication::focusWidget(), ch.toLatin1());
    ASSERT_TRUE(grid->EditorMode()) << "the value is still in the editor";

    ShowPreview();
    EXPECT_EQ(RecipientLine(), "eva@x.de (Eva Neu)");
    EXPECT_EQ(f->LabelPSubject->text(), "Hallo Neu");
    EXPECT_EQ(f->MemoPBody->toPlainText(), "Guten Tag Neu");
    CloseWithoutKeeping();
}

TEST_F(PreviewFlow, AttachmentRenamedDuringThePreviewIsRenamedForTheMailing)
{
    qlytest::writeFileBytes(dir.file("Angebot.pdf"), "%PDF-1.4\n");
    Start(true);
    TypeSubject("Angebot");
    TypeBody("Anbei das Angebot.");
    Attach(dir.file("Angebot.pdf"));
    ASSERT_EQ(f->OrvFileListAttachments->Count(), 1);
    ShowPreview();
    ASSERT_EQ(f->OrvFileListAttOverview->Count(), 1);
    ASSERT_TRUE(QFile::rename(dir.file("Angebot.pdf"), dir.file("Angebot 2027.pdf")));
    EXPECT_TRUE(QTest::qWaitFor([&] {
        return f->OrvFileListAttOverview->Count() == 1 && f->OrvFileListAttOverview->GetItemPath(0) == dir.file("Angebot 2027.pdf");
    }, 10000));
    QTest::mouseClick(f->SpeedButtonContent, Qt::LeftButton);
    ASSERT_EQ(f->OrvFileListAttachments->Count(), 1);
    EXPECT_EQ(f->OrvFileListAttachments->GetItemPath(0), dir.file("Angebot 2027.pdf"));
    EXPECT_EQ(f->ContentPage().AttachmentPaths(), QStringList({dir.file("Angebot 2027.pdf")}));
    EXPECT_TRUE(f->SpeedButtonSaveMailToDB->isEnabled());

    // Stored, the mail keeps the new name.
    QTest::mouseClick(f->SpeedButtonSaveMailToDB, Qt::LeftButton);
    EXPECT_EQ(f->Connection().Scalar("SELECT Path FROM Attachments").toString(), dir.file("Angebot 2027.pdf"));
    CloseWithoutKeeping();
}

TEST_F(PreviewFlow, AttachmentDialogListsFilesWithoutExtension)
{
    qlytest::writeFileBytes(dir.file("Vertrag"), "ohne Endung\n");
    qlytest::writeFileBytes(dir.file("Plan.pdf"), "%PDF\n");
    Start(true);
    QStringList listed, filters;
    WhenFileDialogShows([&](QFileDialog* dlg) {
        filters = dlg->nameFilters();
        TypeIntoFileDialog(dlg, dir.path()); // into the folder
        auto* view = dlg->findChild<QListView*>(QStringLiteral("listView"));
        ASSERT_NE(view, nullptr);
        // The folder is read in the background: the file with an extension shows it is read.
        (void)QTest::qWaitFor([&] {
            listed.clear();
            const QModelIndex root = view->rootIndex();
            for (int r = 0; r < view->model()->rowCount(root); ++r)
                listed << view->model()->index(r, 0, root).data().toString();
            return dlg->directory().absolutePath() == dir.path() && listed.contains("Plan.pdf");
        }, 5000);
        dlg->reject();
    });
    QTest::mouseClick(f->SpeedButtonAttachment, Qt::LeftButton);
    EXPECT_EQ(filters, QStringList({"All Files (*)"}));
    // The folder also holds the program's database and its folder of run marks.
    EXPECT_TRUE(listed.contains("Vertrag")) << listed.join(" | ").toStdString();
    EXPECT_TRUE(listed.contains("Plan.pdf")) << listed.join(" | ").toStdString();
    EXPECT_EQ(f->OrvFileListAttachments->Count(), 0);
    CloseWithoutKeeping();
}

} // namespace
