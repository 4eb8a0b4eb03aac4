// The way a user writes and sends a mail in the window: an HTML mail with a local picture, a
// placeholder and an attachment, checked in the preview and sent to an SMTP peer on this machine.
#include "MailTestUtil.h"
#include "app/ContentPage.h"
#include "app/MailingPage.h"
#include "app/MainForm.h"
#include "app/PreviewPage.h"
#include "controls/shell/OrvFileList.h"
#include "htmleditor/HtmlPreview.h"
#include "importwizard/ImportWizardForm.h"
#include "importwizard/WizardDialogs.h"
#include "platform/settings/RegIniFile.h"
#include "mailing/MailingLog.h"
#include "recipients/RecipientListStore.h"

#include <QBuffer>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QPainter>
#include <QPushButton>
#include <QSet>
#include <QTimer>
#include <QImage>
#include <QMenu>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QStackedWidget>
#include <QTest>
#include <QThread>
#include <QToolButton>
#include <gtest/gtest.h>

using app::TMainForm;
using namespace mailtest;

namespace {

bool WaitFor(const std::function<bool()>& condition, int timeoutMs = 30000)
{
    QElapsedTimer t;
    t.start();
    while (!condition()) {
        if (t.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(2);
    }
    return true;
}

// The import wizard's desktop services: no message is expected.
class QuietDialogs : public importwizard::IWizardDialogs {
public:
    QStringList messages;
    void ShowMessage(QWidget*, const QString& text) override { messages << text; }
    std::optional<QString> InputQuery(QWidget*, const QString&, const QString&, const QString&) override { return std::nullopt; }
    QString OpenFileName(QWidget*, const QString&, const QString&, const QString&) override { return {}; }
    bool OpenWithDesktop(const QString&) override { return false; }
    void BeginWaitCursor() override {}
    void EndWaitCursor() override {}
    QString PromptDataSource(QWidget*, const QString& initial) override { return initial; }
};

template <typename T> T* FindIn(QWidget* w, const char* name)
{
    T* found = w->findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(found, nullptr) << name;
    return found;
}

// Goes through the import wizard once it is shown: a CSV file, its header row skipped.
void DriveCsvImport(const QString& path, bool* done)
{
    QTimer::singleShot(0, [=] {
        auto* wizard = qobject_cast<TImportWizardForm*>(QApplication::activeModalWidget());
        if (!wizard) {
            ADD_FAILURE() << "no wizard";
            return;
        }
        QPushButton* next = FindIn<QPushButton>(wizard, "ButtonNext");
        next->click(); // source -> CSV file
        FindIn<QLineEdit>(wizard, "EditCSVFilename")->setText(path);
        FindIn<QRadioButton>(wizard, "RadioButtonCSVAllowDuplicates")->setChecked(true);
        next->click(); // -> mapping
        FindIn<QCheckBox>(wizard, "CheckBoxIgnoreFirstRow")->setChecked(true);
        next->click(); // -> overview
        next->click(); // run
        next->click(); // close
        *done = true;
    });
}

// Distinct colours of a picture (sampled): a blank one has one or two.
int Colours(const QImage& img)
{
    QSet<QRgb> seen;
    for (int y = 0; y < img.height(); y += 2)
        for (int x = 0; x < img.width(); x += 2)
            seen.insert(img.pixel(x, y));
    return int(seen.size());
}

// A page of the window with the web view's own picture put where the view stands.
QImage PageShot(QWidget* page, QWidget* web)
{
    QImage view;
    (void)QTest::qWaitFor([&] {
        view = web->grab().toImage();
        return Colours(view) > 3;
    }, 10000);
    QImage img = page->grab().toImage();
    QPainter p(&img);
    p.drawImage(web->mapTo(page, QPoint(0, 0)), view);
    return img;
}

void SaveShot(const QImage& img, const QString& name)
{
    const QString dir = QStringLiteral(QLY_SCREENSHOT_DIR);
    QDir().mkpath(dir);
    EXPECT_TRUE(img.save(dir + QLatin1Char('/') + name));
}

// A small PNG picture.
QByteArray Png()
{
    QImage img(8, 8, QImage::Format_RGB32);
    img.fill(Qt::red);
    QByteArray data;
    QBuffer buf(&data);
    buf.open(QIODevice::WriteOnly);
    img.save(&buf, "PNG");
    return data;
}

TEST(ContentFlow, HtmlMailWithPicturePlaceholderAndAttachmentIsPreviewedAndSent)
{
    qlytest::TempDir dir;
    QStringList texts;
    app::TMainFormSite site;
    site.programFolder = dir.path();
    site.appDataFolder = dir.file("data");
    site.messageBox = [&](const QString&, const QString& text, QMessageBox::StandardButtons buttons) {
        texts << text;
        for (auto b : {QMessageBox::Yes, QMessageBox::Ok})
            if (buttons.testFlag(b))
                return b;
        return QMessageBox::NoButton;
    };
    site.onException = [](std::exception_ptr e) {
        try {
            std::rethrow_exception(e);
        } catch (const std::exception& ex) {
            ADD_FAILURE() << ex.what();
        }
    };
    auto f = std::make_unique<TMainForm>(site);
    f->resize(900, 700);
    f->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(f.get()));

    SmtpPeer peer;
    f->EditFrom->setText(QStringLiteral("info@absender.de"));
    f->EditName->setText(QStringLiteral("Absender"));
    f->EditSmtpServer->setText(peer.server());
    f->RadioButtonHtmlMail->setChecked(true);

    // The recipients, imported from a CSV file (file column i to list column i).
    {
        QFile csv(dir.file("kunden.csv"));
        ASSERT_TRUE(csv.open(QIODevice::WriteOnly));
        csv.write(QStringLiteral("Email;Last Name;First Name\r\neva@x.de;Muster;Eva\r\ntom@x.de;Müller;Tom & Co\r\n").toUtf8());
    }
    {
        settings::TRegIniFile s(TImportWizardForm::SettingsKeyPath());
        s.WriteString(TImportWizardForm::SettingsSection, "CSVAssociations", "2\r\n1\r\n0\r\n");
    }
    QuietDialogs dialogs;
    f->ImportWizardDialogs = &dialogs;
    QTest::mouseClick(f->SpeedButtonRecipients, Qt::LeftButton);
    bool imported = false;
    DriveCsvImport(dir.file("kunden.csv"), &imported);
    f->SpeedButtonImport->click();
    ASSERT_TRUE(imported);
    EXPECT_TRUE(dialogs.messages.isEmpty()) << dialogs.messages.join('\n').toStdString();
    ASSERT_EQ(f->ListStore().RowsToSent(), 2);

    // The content: subject with a placeholder, body with a picture and a placeholder, an attachment.
    QTest::mouseClick(f->SpeedButtonContent, Qt::LeftButton);
    ASSERT_EQ(f->BackGroundBottom->currentWidget(), f->TabContent);
    QFile pic(dir.file("logo.png"));
    ASSERT_TRUE(pic.open(QIODevice::WriteOnly));
    pic.write(Png());
    pic.close();
    QFile att(dir.file("Programm.txt"));
    ASSERT_TRUE(att.open(QIODevice::WriteOnly));
    att.write("Tagesordnung\n");
    att.close();

    f->ComboBoxSubject->setEditText(QStringLiteral("Einladung für %First Name%"));
    TORVHTMLEditor* editor = f->ORVHTMLEditor1;
    editor->SetHTML(QStringLiteral("<html><head></head><body><p>Hallo </p></body></html>"), false);
    editor->RunScript(QStringLiteral("var r = document.createRange(); r.selectNodeContents(document.querySelector('p'));"
                                     " r.collapse(false); var s = window.getSelection(); s.removeAllRanges(); s.addRange(r);"));
    f->ContentPage().FieldNames = [] { return QStringList{"_ID", "Status", "Email", "Last Name", "First Name"}; };
    f->ContentPage().FillFieldMenu();
    f->ContentPage().PopupMenuFieldWizard->actions().at(2)->trigger(); // "First Name"
    editor->AskImageFile = [&] { return dir.file("logo.png"); };
    editor->ToolButton(QStringLiteral("InsertImage"))->click();
    f->ContentPage().AskOpenFiles = [&](const QString&) { return QStringList{dir.file("Programm.txt")}; };
    QTest::mouseClick(f->SpeedButtonAttachment, Qt::LeftButton);
    const QString html = f->ContentPage().Html();
    EXPECT_TRUE(html.contains(QStringLiteral("Hallo %First Name%"))) << html.toStdString();
    EXPECT_TRUE(html.contains(QStringLiteral("src=\"") + dir.file("logo.png") + "\"")) << html.toStdString();
    EXPECT_TRUE(f->SpeedButtonSaveMailToDB->isEnabled());
    SaveShot(PageShot(f->TabContent, editor->BrowserWidget()), QStringLiteral("window-content-html.png"));
    editor->ToolButton(QStringLiteral("HTMLCode"))->click();
    QApplication::processEvents();
    const QImage source = f->TabContent->grab().toImage();
    EXPECT_GT(Colours(source), 10);
    SaveShot(source, QStringLiteral("window-content-source.png"));
    editor->ToolButton(QStringLiteral("HTMLCode"))->click();

    // The preview: the first recipient filled in, the attachment listed.
    QTest::mouseClick(f->SpeedButtonPreview, Qt::LeftButton);
    ASSERT_EQ(f->BackGroundBottom->currentWidget(), f->TabPreview);
    EXPECT_EQ(f->LabelPreviewPosition->text(), QStringLiteral("1/2"));
    EXPECT_EQ(f->LabelPSubject->text(), QStringLiteral("Einladung für Eva"));
    EXPECT_EQ(f->DBTextTo->text() + f->DBTextFirstName->text() + f->DBTextLastName->text(), QStringLiteral("eva@x.de (Eva Muster)"));
    EXPECT_TRUE(f->WebBrowserP->DocumentHtml().contains(QStringLiteral("Hallo Eva")));
    const QImage preview = PageShot(f->TabPreview, f->WebBrowserP->View());
    EXPECT_GT(Colours(preview), 10);
    SaveShot(preview, QStringLiteral("window-preview.png"));
    ASSERT_EQ(f->OrvFileListAttOverview->Count(), 1);
    EXPECT_EQ(f->OrvFileListAttOverview->GetItemPath(0), dir.file("Programm.txt"));
    QTest::mouseClick(f->DBNavigatorNext, Qt::LeftButton);
    EXPECT_EQ(f->LabelPreviewPosition->text(), QStringLiteral("2/2"));
    EXPECT_TRUE(f->WebBrowserP->DocumentHtml().contains(QStringLiteral("Hallo Tom &amp; Co")));

    // Sending.
    QTest::mouseClick(f->SpeedButtonSendMail, Qt::LeftButton);
    ASSERT_TRUE(WaitFor([&] { return f->MailingPage().Job().WorkersCreated() > 0 && !f->MailingPage().Job().Running(); }))
        << f->MemoLogFile->Lines().join('\n').toStdString();
    ASSERT_EQ(peer.messageFiles().size(), 2) << f->MemoLogFile->Lines().join('\n').toStdString();
    QMap<QString, ParsedMail> byTo;
    for (int i = 0; i < 2; ++i) {
        const ParsedMail m = ParseMail(peer.raw(i));
        byTo.insert(m.to, m);
    }
    ASSERT_TRUE(byTo.contains("Eva Muster <eva@x.de>"));
    const ParsedMail eva = byTo.value("Eva Muster <eva@x.de>");
    EXPECT_EQ(eva.subject, QStringLiteral("Einladung für Eva"));
    QString htmlPart, cid;
    bool picture = false, attachment = false;
    for (const ParsedPart& p : eva.parts) {
        if (p.contentType == "text/html")
            htmlPart = p.text;
        if (p.contentType == "image/png" && p.data == Png()) {
            picture = true;
            cid = p.contentId;
        }
        if (p.fileName == "Programm.txt" && p.data == "Tagesordnung\n")
            attachment = true;
    }
    EXPECT_TRUE(htmlPart.contains(QStringLiteral("Hallo Eva"))) << htmlPart.toStdString();
    EXPECT_TRUE(picture);
    EXPECT_FALSE(cid.isEmpty());
    EXPECT_TRUE(htmlPart.contains(QStringLiteral("cid:") + QString(cid).remove('<').remove('>'))) << htmlPart.toStdString();
    EXPECT_TRUE(attachment);
    const QString tomTo = QStringLiteral("Tom & Co Müller <tom@x.de>");
    ASSERT_EQ(byTo.size(), 2);
    bool tomSeen = false;
    for (const ParsedMail& m : byTo)
        if (m.to.contains(QStringLiteral("tom@x.de"))) {
            tomSeen = true;
            EXPECT_EQ(m.subject, QStringLiteral("Einladung für Tom & Co"));
        }
    EXPECT_TRUE(tomSeen);

    // The log shows both in green; the list marks them sent.
    int green = 0;
    const QStringList lines = f->MemoLogFile->Lines();
    for (int i = 0; i < lines.size(); ++i)
        if ((lines[i].contains("eva@x.de") || lines[i].contains("tom@x.de")) && f->MemoLogFile->LineColor(i) == QColor(14, 144, 4))
            ++green;
    EXPECT_EQ(green, 2) << lines.join('\n').toStdString();
    for (const QVariantList& row : f->Connection().Select(QStringLiteral("SELECT \"Status\" FROM \"%1\"").arg(f->OpenListTable())))
        EXPECT_EQ(row.value(0).toInt(), 1);
    f->close();
}

} // namespace
