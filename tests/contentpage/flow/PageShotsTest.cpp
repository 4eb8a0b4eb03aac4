// Every page of the window at its design size and maximized, kept as pictures beside the test
// (screenshots/), with what a user reads on them checked: the configuration help is filled from
// the start, the attachment list shows its columns whole, the editor's font boxes show the
// document's font.
#include "WindowDriver.h"
#include "controls/shell/OrvFileList.h"
#include "htmleditor/ORVHTMLEditor.h"

#include <QComboBox>
#include <QHeaderView>
#include <QTreeWidgetItem>
#include <QLabel>
#include <QPainter>
#include <QRadioButton>
#include <QScrollBar>
#include <QStackedWidget>
#include <QToolButton>

using namespace flowtest;

namespace {

void Save(QWidget* w, const QString& name)
{
    const QString dir = QStringLiteral(QLY_SCREENSHOT_DIR);
    QDir().mkpath(dir);
    QImage img = w->grab().toImage();
    // Web views paint into their own surface: their picture is put where they stand.
    for (QWidget* child : w->findChildren<QWidget*>())
        if (child->isVisible() && child->inherits("QWebEngineView")) {
            QPainter p(&img);
            p.drawImage(child->mapTo(w, QPoint(0, 0)), child->grab().toImage());
        }
    EXPECT_TRUE(img.save(dir + QLatin1Char('/') + name));
}

TEST(PageShots, EveryPageAtDesignSizeAndMaximized)
{
    ForgetSettings();
    qlytest::TempDir dir;
    BoxAnswerer boxes;
    qlytest::writeFileBytes(dir.file("Preisliste Sommer 2027.pdf"), "%PDF-1.4\n");
    auto f = StartWindow(dir);
    const QSize design = f->minimumSize();

    // The configuration help explains the first field before any field has the focus.
    EXPECT_EQ(f->LabelConfigurationHeader->text(), "Von");
    EXPECT_FALSE(f->LabelConfigurationDescription->text().isEmpty());
    // A sender, so that step 5 opens its page.
    f->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(f.get()));
    QTest::mouseClick(f->EditFrom, Qt::LeftButton);
    QTest::keyClicks(QApplication::focusWidget(), "info@absender.de");
    QTest::mouseClick(f->EditSmtpServer, Qt::LeftButton);
    QTest::keyClicks(QApplication::focusWidget(), "127.0.0.1:9");

    QTest::mouseClick(f->SpeedButtonContent, Qt::LeftButton);
    WhenFileDialogShows([&](QFileDialog* dlg) { TypeIntoFileDialog(dlg, dir.file("Preisliste Sommer 2027.pdf")); });
    QTest::mouseClick(f->SpeedButtonAttachment, Qt::LeftButton);
    ASSERT_EQ(f->OrvFileListAttachments->Count(), 1);

    // The HTML editor's font boxes show the new document's font, not the first entries of their lists.
    TORVHTMLEditor* editor = f->ORVHTMLEditor1;
    ASSERT_TRUE(editor->isVisible());
    auto* fontName = editor->findChild<QComboBox*>("ComboBoxFontName");
    auto* fontSize = editor->findChild<QComboBox*>("ComboBoxFontSize");
    ASSERT_NE(fontName, nullptr);
    ASSERT_NE(fontSize, nullptr);
    EXPECT_TRUE(QTest::qWaitFor([&] { return fontSize->currentText() == "3"; }, 15000)) << fontSize->currentText().toStdString();
    EXPECT_NE(fontName->currentIndex(), -1);
    EXPECT_FALSE(fontName->currentText().contains('[')) << fontName->currentText().toStdString();

    struct Page { QToolButton* button; QWidget* page; const char* name; };
    const Page pages[] = {{f->SpeedButtonSender, f->TabSender, "sender"},
                          {f->SpeedButtonRecipients, f->TabRecipients, "recipients"},
                          {f->SpeedButtonContent, f->TabContent, "content"},
                          {f->SpeedButtonPreview, f->TabPreview, "preview"},
                          {f->SpeedButtonSendMail, f->TabSendMail, "sendmail"}};
    for (const bool maximized : {false, true}) {
        if (maximized)
            f->showMaximized();
        else
            f->resize(design);
        QApplication::processEvents();
        for (const Page& p : pages) {
            if (p.page == f->TabSendMail)
                boxes.answers << QMessageBox::No; // "Mit dem Versand der Mails jetzt beginnen?"
            QTest::mouseClick(p.button, Qt::LeftButton);
            ASSERT_EQ(f->BackGroundBottom->currentWidget(), p.page) << p.name << " " << boxes.texts.join('\n').toStdString();
            QTest::qWait(50);
            Save(f.get(), QStringLiteral("window-%1-%2.png").arg(QLatin1String(p.name), maximized ? "max" : "design"));
        }
        // The attachment list: every column as wide as its texts; the list scrolls sideways.
        QTest::mouseClick(f->SpeedButtonContent, Qt::LeftButton);
        TOrvFileList* list = f->OrvFileListAttachments;
        QTreeWidgetItem* item = list->topLevelItem(0);
        for (int c = 0; c < list->columnCount(); ++c)
            EXPECT_GT(list->header()->sectionSize(c), list->fontMetrics().horizontalAdvance(item->text(c)))
                << "column " << c << ": " << item->text(c).toStdString();
        EXPECT_EQ(list->horizontalScrollBarPolicy(), Qt::ScrollBarAsNeeded);
    }
    boxes.fallback = QMessageBox::No;
    f->close();
}

} // namespace
