// Each page of the main window at the design size (792 x 513) and maximized (1600 x 1000):
// pictures beside the test binary (screenshots/, or QLY_SCREENSHOT_DIR) and geometry checks:
// no text cut or run into another, the extra room given to what holds content, the button
// groups at their size.
#include "app/MainForm.h"
#include "controls/shell/OrvFileList.h"
#include "mailing/MailingLog.h"
#include "recipients/views/RecipientsGrid.h"
#include "TestUtil.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QStackedWidget>
#include <QTest>
#include <QToolBar>
#include <gtest/gtest.h>
#include <map>

namespace {

const QSize kDesign(792, 513);
const QSize kMaximized(1600, 1000);

class LayoutTest : public ::testing::Test {
protected:
    qlytest::TempDir dir;
    QStringList errors;
    std::unique_ptr<app::TMainForm> f;

    void SetUp() override
    {
        app::TMainFormSite site;
        site.programFolder = dir.path();
        site.appDataFolder = dir.file("data");
        site.messageBox = [](const QString&, const QString&, QMessageBox::StandardButtons) { return QMessageBox::No; };
        site.onException = [this](std::exception_ptr e) {
            try {
                std::rethrow_exception(e);
            } catch (const std::exception& ex) {
                errors << QString::fromUtf8(ex.what());
            }
        };
        f = std::make_unique<app::TMainForm>(site);
        // A profile named by a long address, a few recipients, a subject and a mail.
        f->EditFrom->setText(QStringLiteral("anna.mustermann@beispiel-firma.de"));
        f->EditName->setText(QStringLiteral("Anna Mustermann"));
        f->SpeedButtonSaveUserClick();
        for (int i = 0; i < 5; ++i)
            ASSERT_TRUE(f->ListStore().InsertRow({ QString::number(i % 3), QStringLiteral("person%1@beispiel.de").arg(i),
                                                   QStringLiteral("Muster"), QStringLiteral("Erika") }));
        f->StringGridFavorites->Reopen();
        f->ComboBoxSubject->setEditText(QStringLiteral("Einladung für %First Name%"));
        f->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(f.get()));
    }
    void TearDown() override
    {
        f.reset();
        // The saved profile and window place stay out of the next test of this process.
        QDir(qEnvironmentVariable("XDG_CONFIG_HOME")).removeRecursively();
        EXPECT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();
    }

    // Shows a page at a size and keeps its picture.
    void Show(QWidget* page, QSize size, const QString& variant = QString())
    {
        f->resize(size);
        f->BackGroundBottom->setCurrentWidget(page);
        QApplication::processEvents();
        const QString out = qEnvironmentVariable("QLY_SCREENSHOT_DIR", QDir::currentPath() + QStringLiteral("/screenshots"));
        QDir().mkpath(out);
        ASSERT_EQ(f->size(), size);
        EXPECT_TRUE(f->grab().save(QStringLiteral("%1/layout-%2%3-%4.png").arg(out, page->objectName(), variant).arg(size.width())));
    }

    // Every shown label and button of the page has the room its text needs, and no two with a
    // text and the same parent overlap.
    static void ExpectNothingCut(QWidget* page)
    {
        std::map<QWidget*, QList<QWidget*>> byParent;
        for (QWidget* w : page->findChildren<QWidget*>()) {
            if (!w->isVisibleTo(page) || !(qobject_cast<QLabel*>(w) || qobject_cast<QAbstractButton*>(w)))
                continue;
            const auto* label = qobject_cast<QLabel*>(w);
            if (label && (label->wordWrap() || label->text().isEmpty()))
                continue;
            const QSize need = w->minimumSizeHint();
            EXPECT_GE(w->width(), need.width()) << page->objectName().toStdString() << ": " << w->objectName().toStdString();
            EXPECT_GE(w->height(), need.height() - 2) << page->objectName().toStdString() << ": " << w->objectName().toStdString();
            const auto* button = qobject_cast<QAbstractButton*>(w);
            if ((label && !label->text().isEmpty()) || (button && !button->text().isEmpty()))
                byParent[w->parentWidget()] << w;
        }
        for (auto& [parent, widgets] : byParent)
            for (int i = 0; i < widgets.size(); ++i)
                for (int j = i + 1; j < widgets.size(); ++j)
                    EXPECT_FALSE(widgets[i]->geometry().intersects(widgets[j]->geometry()))
                        << widgets[i]->objectName().toStdString() << " / " << widgets[j]->objectName().toStdString();
    }
    QGroupBox* Group(QWidget* page, const QString& title) const
    {
        for (QGroupBox* g : page->findChildren<QGroupBox*>())
            if (g->title() == title)
                return g;
        ADD_FAILURE() << title.toStdString();
        return nullptr;
    }
};

} // namespace

TEST_F(LayoutTest, SenderPage)
{
    QWidget* page = f->TabSender;
    Show(page, kDesign);
    ExpectNothingCut(page);
    // The profile box shows the whole address.
    ASSERT_EQ(f->ComboBoxUserSelect->currentText(), QStringLiteral("anna.mustermann@beispiel-firma.de"));
    EXPECT_GE(f->ComboBoxUserSelect->width(),
              f->ComboBoxUserSelect->fontMetrics().horizontalAdvance(f->ComboBoxUserSelect->currentText()) + 30);
    for (QLineEdit* field : { f->EditFrom, f->EditName, f->EditReplyTo, f->EditSmtpServer, f->EditUserName, f->EditPassword })
        EXPECT_GE(field->height(), field->minimumSizeHint().height()) << field->objectName().toStdString();
    const int signatureAtDesign = f->MemoSignature->height();
    const int senderGroup = Group(page, QStringLiteral("Absender Informationen"))->height();
    const int sendGroup = Group(page, QStringLiteral("Versand Optionen"))->height();
    const int helpGroup = Group(page, QStringLiteral("Konfigurations Hilfe"))->height();

    Show(page, kMaximized);
    ExpectNothingCut(page);
    EXPECT_GT(f->MemoSignature->height(), 3 * signatureAtDesign) << "the signature takes the extra height";
    EXPECT_EQ(Group(page, QStringLiteral("Absender Informationen"))->height(), senderGroup);
    EXPECT_EQ(Group(page, QStringLiteral("Versand Optionen"))->height(), sendGroup);
    EXPECT_GT(Group(page, QStringLiteral("Konfigurations Hilfe"))->height(), helpGroup + 300) << "the help text takes the extra height";
}

TEST_F(LayoutTest, RecipientsPage)
{
    QWidget* page = f->TabRecipients;
    auto* grid = f->StringGridFavorites;
    auto columnsWidth = [&] {
        int sum = 0;
        for (int i = 0; i < grid->Columns()->Count(); ++i)
            sum += grid->Columns()->Items(i)->Width();
        return sum;
    };
    Show(page, kDesign);
    const QSize listGroups[] = { Group(page, QStringLiteral("Listen Operationen"))->size(),
                                 Group(page, QStringLiteral("Dateisystem Operationen"))->size() };
    for (QSize size : { kDesign, kMaximized }) {
        Show(page, size);
        ExpectNothingCut(page);
        // The Status title stands whole in its column.
        xdb::TXColumn* status = grid->Columns()->Items(0);
        ASSERT_EQ(status->FieldName(), QStringLiteral("Status"));
        EXPECT_GE(status->Width(), QFontMetrics(status->Title()->Font().Font()).horizontalAdvance(QStringLiteral("Status")) + 4);
        // The grid takes the page's width and the height left by the rows above and below.
        EXPECT_GE(grid->width(), page->width() - 30);
        EXPECT_GE(grid->height(), page->height() - 140);
        EXPECT_EQ(Group(page, QStringLiteral("Listen Operationen"))->size(), listGroups[0]);
        EXPECT_EQ(Group(page, QStringLiteral("Dateisystem Operationen"))->size(), listGroups[1]);
    }
    // Maximized the columns keep their widths (the grid does not stretch them) and leave room.
    EXPECT_GT(grid->viewport()->width(), columnsWidth());
}

TEST_F(LayoutTest, ContentPage)
{
    QWidget* page = f->TabContent;
    ASSERT_TRUE(f->RadioButtonHtmlMail->isChecked());
    auto editingHeight = [&] {
        const QToolBar* bar = f->ORVHTMLEditor1->findChild<QToolBar*>(QStringLiteral("ToolBar"));
        return f->ORVHTMLEditor1->height() - (bar ? bar->height() : 0);
    };
    Show(page, kDesign);
    ExpectNothingCut(page);
    ASSERT_TRUE(f->ORVHTMLEditor1->isVisible());
    EXPECT_GE(editingHeight(), page->height() / 2) << "the editor gets the room of the page";
    EXPECT_GE(f->OrvFileListAttachments->height(), 50);
    const int attachmentsAtDesign = f->OrvFileListAttachments->height();
    const int editorAtDesign = editingHeight();
    QGroupBox* bodyButtons = Group(page, QStringLiteral("E-Mail Inhalt"));
    const QSize bodyButtonsSize = bodyButtons->size();

    Show(page, kMaximized);
    ExpectNothingCut(page);
    EXPECT_GE(editingHeight(), page->height() / 2);
    EXPECT_GT(editingHeight(), editorAtDesign + 300);
    EXPECT_GT(f->OrvFileListAttachments->height(), attachmentsAtDesign);
    EXPECT_GT(f->OrvFileListAttachments->width(), page->width() / 2);
    EXPECT_EQ(bodyButtons->size(), bodyButtonsSize) << "the button group keeps its size";

    // The plain text body and the source view take the same place.
    f->RadioButtonPlainTextMail->setChecked(true);
    QApplication::processEvents();
    ASSERT_TRUE(f->MemoMailBody->isVisible());
    EXPECT_GE(f->MemoMailBody->height(), page->height() / 2);
    Show(page, kDesign, QStringLiteral("-plain"));
    EXPECT_GE(f->MemoMailBody->height(), page->height() / 2);
}

TEST_F(LayoutTest, PreviewAndMailingPages)
{
    std::map<QString, QSize> groupsAtDesign;
    for (QSize size : { kDesign, kMaximized }) {
        Show(f->TabPreview, size);
        f->TabPreviewShow();
        QApplication::processEvents();
        Show(f->TabPreview, size);
        ExpectNothingCut(f->TabPreview);
        QWidget* body = f->PanelWebBrowserP->isVisible() ? f->PanelWebBrowserP : f->PanelPBody;
        EXPECT_GE(body->height(), f->TabPreview->height() / 2) << size.width();
        EXPECT_GE(body->width(), f->TabPreview->width() - 30);

        Show(f->TabSendMail, size);
        ExpectNothingCut(f->TabSendMail);
        EXPECT_GE(f->MemoLogFile->height(), f->TabSendMail->height() / 2) << size.width();
        EXPECT_GE(f->MemoLogFile->width(), f->TabSendMail->width() - 50);
        for (const char* title : { "Log Datei Operationen", "Versand Steuerung" }) {
            QGroupBox* g = Group(f->TabSendMail, QString::fromUtf8(title));
            if (size == kDesign)
                groupsAtDesign[g->title()] = g->size();
            EXPECT_EQ(g->size(), groupsAtDesign[g->title()]) << title << " keeps its size";
        }
    }
}
