#include "app/MainForm.h"
#include "controls/About.h"
#include "controls/HelpRouter.h"
#include "controls/StateImage.h"
#include "controls/ZedSpin.h"
#include "controls/nbStatusBar.h"
#include "htmleditor/HtmlPreview.h"
#include "platform/settings/RegIniFile.h"
#include "TestUtil.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QMenu>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QRadioButton>
#include <QSet>
#include <QStackedWidget>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>

QT_BEGIN_NAMESPACE
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }
QT_END_NAMESPACE

using app::TMainForm;

namespace {
const QString kKey = QStringLiteral("Software\\ORV Software\\Quillory2");

class MainFormTest : public ::testing::Test {
protected:
    qlytest::TempDir dir;
    std::vector<QString> questions;
    QMessageBox::StandardButton answer = QMessageBox::No;
    QStringList errors;

    std::unique_ptr<TMainForm> Make()
    {
        app::TMainFormSite site;
        site.programFolder = dir.path();
        site.appDataFolder = dir.file("data");
        site.messageBox = [this](const QString&, const QString& text, QMessageBox::StandardButtons) {
            questions.push_back(text);
            return answer;
        };
        site.onException = [this](std::exception_ptr e) {
            try {
                std::rethrow_exception(e);
            } catch (const std::exception& ex) {
                errors << QString::fromUtf8(ex.what());
            }
        };
        return std::make_unique<TMainForm>(site);
    }
    static std::vector<bool> Marks(TMainForm& f)
    {
        return { f.StateImageSender->GreenShown(), f.StateImageRecipients->GreenShown(), f.StateImageContent->GreenShown(),
                 f.StateImagePreview->GreenShown() };
    }
    static bool TableExists(TMainForm& f, const QString& t) { return f.Connection().TableExists(t); }
};
}

TEST_F(MainFormTest, FirstStartAndCloseWriteTheSettings)
{
    auto f = Make();
    EXPECT_EQ(f->BackGroundBottom->currentWidget(), f->TabSender);
    EXPECT_TRUE(f->SpeedButtonSender->isChecked());
    EXPECT_EQ(Marks(*f), std::vector<bool>({ false, false, false, false }));
    EXPECT_EQ(f->ComboBoxUserSelect->count(), 0);
    EXPECT_FALSE(f->SpeedButtonDeleteUser->isEnabled());
    EXPECT_TRUE(f->RadioButtonMultiThread->isChecked());
    EXPECT_EQ(f->OpenListTable(), app::TempTableName());
    EXPECT_TRUE(TableExists(*f, app::TempTableName()));
    EXPECT_EQ(app::TempTableName(), "temp" + QString::number(app::InstanceNumber()));
    EXPECT_LT(app::InstanceNumber(), quint64(1) << 63);
    EXPECT_EQ(f->ListStore().TEMP, app::TempTableName());
    EXPECT_EQ(f->ListStore().Instance, app::InstanceNumber());
    EXPECT_TRUE(QFile::exists(dir.file("qly.db")));
    EXPECT_FALSE(f->EditUserName->isEnabled());
    EXPECT_EQ(f->EditUserName->palette().color(QPalette::Base), QApplication::palette().color(QPalette::Midlight));
    EXPECT_EQ(f->EditSmtpServer->palette().color(QPalette::Base), QApplication::palette().color(QPalette::Base));
    EXPECT_EQ(f->minimumSize(), OrvScaledClientSize(f->Design(), f->ScreenDpi()));
    EXPECT_EQ(f->windowTitle(), "Quillory");

    f->setGeometry(4, 30, 796, 560); // inside the 800 by 600 offscreen screen
    f->show();
    ASSERT_TRUE(f->close());
    {
        settings::TRegIniFile s(kKey);
        EXPECT_EQ(s.ReadString("allUser", "MAPI", "x"), "0");
        EXPECT_EQ(s.ReadString("allUser", "html", "x"), "1");
        EXPECT_EQ(s.ReadString("allUser", "curUser", "x"), "-1");
        EXPECT_EQ(s.ReadString("allUser", "curList", "x"), "-1");
        EXPECT_EQ(s.ReadString("allUser", "curMail", "x"), "-1");
        auto pos = s.ReadBinaryData("", "WindowPos");
        ASSERT_TRUE(pos.has_value());
        EXPECT_EQ(pos->size(), 44);
    }
    EXPECT_FALSE(TableExists(*f, app::TempTableName())) << "closing drops the unsaved list's table";
    const QRect closed = f->geometry();
    f.reset();

    auto g = Make();
    EXPECT_EQ(g->geometry(), closed) << "a second start restores the placement";
}

TEST_F(MainFormTest, MalformedWindowPosIsIgnored)
{
    for (int variant = 0; variant < 2; ++variant) {
        {
            settings::TRegIniFile s(kKey);
            if (variant == 0)
                s.WriteBinaryData("", "WindowPos", QByteArray(50, '\x01'));
            else
                s.WriteString("", "WindowPos", "kaputt");
        }
        auto f = Make();
        EXPECT_TRUE(f->Connection().Connected()) << variant;
        EXPECT_TRUE(TableExists(*f, app::TempTableName())) << variant;
        f->show();
        f->close();
    }
}

TEST_F(MainFormTest, SavingProfilesStoresTheLayout)
{
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    auto f = Make();
    f->EditFrom->setText("a@b.de");
    f->EditName->setText("Anna");
    f->SpinEditThreads->SetValue(8);
    f->SpinEditScheduledMails->SetValue(50);
    f->SpinEditScheduledMinutes->setText("2,5");
    f->RadioButtonPlainTextMail->setChecked(true);
    f->CheckBoxAuthentication->setChecked(true);
    EXPECT_TRUE(f->ProfileModified());
    EXPECT_TRUE(f->SpeedButtonSaveUser->isEnabled());
    QTest::mouseClick(f->SpeedButtonSaveUser, Qt::LeftButton);
    EXPECT_FALSE(f->ProfileModified());
    EXPECT_TRUE(f->SpeedButtonDeleteUser->isEnabled());
    {
        settings::TRegIniFile s(kKey);
        const QString sec = "Users\\a@b.de";
        const std::pair<const char*, const char*> expected[] = {
            { "Threads", "8" }, { "ScheduledMails", "50" }, { "ScheduledMinutes", "2,5" }, { "Name", "Anna" },
            { "ReplyTo", "" }, { "SmtpServer", "" }, { "UserName", "" }, { "Password", "" }, { "SignatureText", "" },
            { "Authentication", "1" }, { "PlainText", "1" }, { "Signature", "0" }, { "MultiThread", "1" }, { "Position", "1" } };
        for (auto [name, value] : expected)
            EXPECT_EQ(s.ReadString(sec, name, "missing"), QString::fromUtf8(value)) << name;
    }
    f->SpeedButtonSaveUserClick();
    EXPECT_EQ(settings::TRegIniFile(kKey).ReadSubKeys("Users"), QStringList({ "a@b.de" }));

    f->EditFrom->setText("z@b.de");
    f->SpeedButtonSaveUserClick();
    EXPECT_EQ(settings::TRegIniFile(kKey).ReadString("Users\\z@b.de", "Position", ""), "2");
    EXPECT_EQ(f->ComboBoxUserSelect->currentText(), "z@b.de");
    QLocale::setDefault(QLocale::c());
}

TEST_F(MainFormTest, DeletingTheOnlyProfileLoadsTheDefaults)
{
    auto f = Make();
    f->EditFrom->setText("a@b.de");
    f->EditSmtpServer->setText("smtp.b.de");
    f->SpinEditThreads->SetValue(9);
    f->CheckBoxSignature->setChecked(true);
    f->RadioButtonScheduled->setChecked(true);
    f->SpeedButtonSaveUserClick();
    f->SpeedButtonDeleteUserClick();
    EXPECT_EQ(f->ComboBoxUserSelect->count(), 0);
    EXPECT_FALSE(f->SpeedButtonDeleteUser->isEnabled());
    EXPECT_EQ(f->EditFrom->text(), "");
    EXPECT_EQ(f->EditSmtpServer->text(), "");
    EXPECT_EQ(f->SpinEditThreads->Value(), 1);
    EXPECT_EQ(f->SpinEditScheduledMails->Value(), 20);
    EXPECT_EQ(f->SpinEditScheduledMinutes->text(), "5");
    EXPECT_TRUE(f->RadioButtonMultiThread->isChecked());
    EXPECT_TRUE(f->RadioButtonHtmlMail->isChecked());
    EXPECT_FALSE(f->CheckBoxSignature->isChecked());
    EXPECT_FALSE(f->CheckBoxAuthentication->isChecked());
    EXPECT_TRUE(questions.empty()) << "no confirmation";
}

TEST_F(MainFormTest, SwitchingProfilesWithUnsavedChanges)
{
    auto f = Make();
    for (const char* from : { "a@b.de", "c@d.de" }) {
        f->EditFrom->setText(from);
        f->EditName->setText(QString("Name ") + from);
        f->SpeedButtonSaveUserClick();
    }
    // c@d.de is loaded; change it and pick a@b.de, answer Yes: saved, stays loaded and selected.
    f->EditName->setText("Geändert");
    answer = QMessageBox::Yes;
    f->ComboBoxUserSelect->setCurrentIndex(0);
    f->ComboBoxUserSelectChange();
    EXPECT_EQ(questions.back(), "Aktuellen Benutzer speichern?");
    EXPECT_EQ(settings::TRegIniFile(kKey).ReadString("Users\\c@d.de", "Name", ""), "Geändert");
    EXPECT_EQ(f->ComboBoxUserSelect->currentText(), "c@d.de");
    EXPECT_EQ(f->EditName->text(), "Geändert");

    // Cancel: the box goes back to the shown profile, so Delete removes that one.
    f->EditName->setText("Noch mal");
    answer = QMessageBox::Cancel;
    f->ComboBoxUserSelect->setCurrentIndex(0);
    f->ComboBoxUserSelectChange();
    EXPECT_EQ(f->ComboBoxUserSelect->currentText(), "c@d.de");
    f->SpeedButtonDeleteUserClick();
    EXPECT_EQ(settings::TRegIniFile(kKey).ReadSubKeys("Users"), QStringList({ "a@b.de" }));

    // Yes for a profile without a From address: nothing can be saved, so nothing is discarded.
    f->SpeedButtonCreateUserClick();
    f->EditName->setText("Ohne Adresse");
    answer = QMessageBox::Yes;
    f->ComboBoxUserSelect->setCurrentIndex(0);
    f->ComboBoxUserSelectChange();
    EXPECT_EQ(f->EditName->text(), "Ohne Adresse");
    EXPECT_EQ(f->ComboBoxUserSelect->currentIndex(), -1);
    EXPECT_TRUE(f->ProfileModified());
}

TEST_F(MainFormTest, SlashInTheAddressStaysOneProfile)
{
    auto f = Make();
    f->EditFrom->setText("x/y@z.de");
    f->EditName->setText("Schräg");
    f->SpeedButtonSaveUserClick();
    settings::TRegIniFile s(kKey);
    EXPECT_EQ(s.ReadSubKeys("Users").size(), 1);
    EXPECT_EQ(f->ComboBoxUserSelect->count(), 1);
    EXPECT_EQ(f->ComboBoxUserSelect->itemText(0), "x/y@z.de");
    f->EditName->setText("");
    answer = QMessageBox::No;
    f->ComboBoxUserSelectChange();
    EXPECT_EQ(f->EditFrom->text(), "x/y@z.de");
    EXPECT_EQ(f->EditName->text(), "Schräg");
    for (const char* from : { "a%2Fb@c.de", "a\\b/c%5C@d.de", "%25@x.de" })
        EXPECT_EQ(TMainForm::ProfileNameFromKey(TMainForm::ProfileKeyName(from)), QString(from));
    EXPECT_FALSE(TMainForm::ProfileKeyName("a\\b/c@d.de").contains('/'));
    EXPECT_FALSE(TMainForm::ProfileKeyName("a\\b/c@d.de").contains('\\'));
}

TEST_F(MainFormTest, StepButtonsShowPagesAndMarks)
{
    auto f = Make();
    f->show();
    // The mailing step checks these before it shows its page (and the start question gets No).
    f->EditFrom->setText("info@x.de");
    f->EditSmtpServer->setText("smtp.x.de");
    struct Case { QToolButton* button; QWidget* page; std::vector<bool> marks; };
    const Case cases[] = {
        { f->SpeedButtonRecipients, f->TabRecipients, { true, false, false, false } },
        { f->SpeedButtonContent, f->TabContent, { true, true, false, false } },
        { f->SpeedButtonPreview, f->TabPreview, { true, true, true, false } },
        { f->SpeedButtonSendMail, f->TabSendMail, { true, true, true, true } },
        { f->SpeedButtonSender, f->TabSender, { false, false, false, false } },
    };
    for (const Case& c : cases) {
        f->StatusBar1->Panels()[1]->SetText("7 / 9");
        QTest::mouseClick(c.button, Qt::LeftButton);
        EXPECT_EQ(f->BackGroundBottom->currentWidget(), c.page) << c.button->objectName().toStdString();
        EXPECT_TRUE(c.button->isChecked());
        EXPECT_EQ(Marks(*f), c.marks) << c.button->objectName().toStdString();
        if (c.page != f->TabPreview && c.page != f->TabRecipients) {
            EXPECT_EQ(f->StatusBar1->Panels()[1]->Text(), "");
        }
    }
    EXPECT_TRUE(f->SpeedButtonImport->isVisibleTo(f->TabRecipients));
    EXPECT_FALSE(f->SpeedButtonImport3->isVisibleTo(f->TabRecipients));
    f->close();
}

TEST_F(MainFormTest, MailFormatSwitchesBodyAndSignatureControls)
{
    auto f = Make();
    f->RadioButtonPlainTextMail->setChecked(true);
    EXPECT_TRUE(f->MemoMailBody->isVisibleTo(f.get()) || !f->isVisible());
    EXPECT_FALSE(f->ORVHTMLEditor1->isVisibleTo(f->TabContent));
    EXPECT_TRUE(f->MemoMailBody->isVisibleTo(f->TabContent));
    EXPECT_TRUE(f->CheckBoxSignature->isEnabled());
    EXPECT_TRUE(f->ComboBoxCharset->isEnabled());
    EXPECT_FALSE(f->MemoSignature->isEnabled());
    f->CheckBoxSignature->setChecked(true);
    EXPECT_TRUE(f->MemoSignature->isEnabled());
    f->MemoMailBody->setPlainText("Hallo");
    f->RadioButtonHtmlMail->setChecked(true);
    EXPECT_TRUE(f->ORVHTMLEditor1->isVisibleTo(f->TabContent));
    EXPECT_FALSE(f->MemoMailBody->isVisibleTo(f->TabContent));
    EXPECT_FALSE(f->MemoSignature->isEnabled());
    EXPECT_FALSE(f->CheckBoxSignature->isEnabled());
    EXPECT_FALSE(f->ComboBoxCharset->isEnabled());
    EXPECT_TRUE(f->ProfileModified());
    f->RadioButtonPlainTextMail->setChecked(true);
    EXPECT_EQ(f->MemoMailBody->toPlainText(), "Hallo");

    f->RadioButtonScheduled->setChecked(true);
    EXPECT_FALSE(f->SpinEditThreads->isEnabled());
    EXPECT_TRUE(f->SpinEditScheduledMinutes->isEnabled());
    EXPECT_FALSE(f->LabelMailsAtOnce->isEnabled());
}

TEST_F(MainFormTest, ConfigurationHelpTexts)
{
    auto f = Make();
    const QString h = "\r\rHinweis:\r";
    struct Case { QWidget* w; QString header; QString text; };
    const QString sched = "Legen Sie fest, wieviele Mails in einer vorgegenen Zeit versendet werden. " + h
        + "Diese Werte sind Erfahrungswerte und müssen für jeden Provider individuell festgelegt werden.";
    const Case cases[] = {
        { f->EditName, "Name", "Wenn angegeben sieht der Empfänger diesen Namen an Stelle der Mailadresse im Feld \"Von\". " + h + "Diese sinnvolle Feld ist optional." },
        { f->EditSmtpServer, "SMTP Server: ", "Ein SMTP Server bearbeitet ausgehende Mails." + h + "Wenn Sie die Adresse Ihres SMTP Servers nicht wissen werfen Sie bitte einen Blick in die Einstellungen Ihres Mailprogramms oder kontaktieren Ihren Provider." },
        { f->RadioButtonHtmlMail, "HTML Mail:", "Wählen Sie diese Option um HTML Mails zu versenden." + h + "HTML Mails bieten zahlreiche Möglickeiten der Gestaltung, können allerdings Probleme mit z.B. Spamfiltern haben." },
        { f->CheckBoxSignature, "Signatur anhängen", "Ist diese Option gewählt, wird jeder von Ihnen gesendeten Mail die untenstehende Signatur angehangen." },
        { f->SpinEditScheduledMails, "Zeitversetzter Versand:", sched },
        { f->SpinEditScheduledMinutes, "Zeitversetzter Versand:", sched },
        { f->ComboBoxCharset, "Charset:", "By default charset is set to \"us-ascii\" which is fine for most emails." + h + "Nur für erfahrene Benutzer." },
    };
    f->RadioButtonPlainTextMail->setChecked(true); // signature and charset take the focus only then
    f->RadioButtonScheduled->setChecked(true);
    f->show();
    QApplication::setActiveWindow(f.get());
    for (const Case& c : cases) {
        f->LabelTestConnection->setText("alt");
        c.w->setFocus();
        QApplication::processEvents();
        EXPECT_EQ(f->ConfigurationHeaderText(), c.header);
        EXPECT_EQ(f->ConfigurationDescriptionText(), c.text);
        EXPECT_EQ(f->LabelConfigurationDescription->text(), QString(c.text).replace('\r', '\n'));
        EXPECT_EQ(f->LabelTestConnection->text(), "");
    }
    EXPECT_TRUE(f->ShowConfigurationHelp(f->EditFrom));
    EXPECT_TRUE(f->ConfigurationDescriptionText().endsWith("(z.B.: info@beispiel.de)"));
    int withHelp = 0;
    for (QWidget* w : f->TabSender->findChildren<QWidget*>())
        withHelp += f->ShowConfigurationHelp(w) ? 1 : 0;
    EXPECT_EQ(withHelp, 19) << "seventeen handlers, two of them shared by two controls";
    EXPECT_FALSE(f->ShowConfigurationHelp(f->ComboBoxUserSelect));
    f->close();
}

TEST_F(MainFormTest, ShiftAltEInTheServerFieldRaisesTheTestException)
{
    auto f = Make();
    QStringList raised;
    f->OnApplicationException = [&](std::exception_ptr e) {
        try {
            std::rethrow_exception(e);
        } catch (const std::exception& ex) {
            raised << QString::fromUtf8(ex.what());
        }
    };
    f->show();
    QApplication::setActiveWindow(f.get());
    f->EditSmtpServer->setFocus();
    QTest::keyClick(f->EditSmtpServer, Qt::Key_E, Qt::AltModifier);
    QTest::keyClick(f->EditSmtpServer, Qt::Key_E, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_TRUE(raised.isEmpty());
    QTest::keyClick(f->EditSmtpServer, Qt::Key_E, Qt::ShiftModifier | Qt::AltModifier);
    EXPECT_EQ(raised, QStringList({ "Exception Log Check" }));
    f->close();
}

TEST_F(MainFormTest, StatusBarFollowsTheWindowWidth)
{
    auto f = Make();
    f->show();
    f->StatusBar1->resize(600, f->StatusBar1->height());
    EXPECT_EQ(f->StatusBar1->Panels()[0]->Width(), 450);
    EXPECT_EQ(f->ProgressBarImport->x(), 290);
    EXPECT_EQ(f->StatusBar1->Panels().Count(), 3);
    EXPECT_EQ(f->StatusBar1->Panels()[0]->Text(), "   ");
}

TEST_F(MainFormTest, TypedThreadsAreClampedWhileEditing)
{
    auto f = Make();
    f->show();
    QApplication::setActiveWindow(f.get());
    f->SpinEditThreads->setFocus();
    f->SpinEditThreads->selectAll();
    QTest::keyClicks(f->SpinEditThreads, "100");
    EXPECT_TRUE(f->SpinEditThreads->hasFocus());
    EXPECT_EQ(f->SpinEditThreads->Value(), 64);
    f->close();
}

TEST_F(MainFormTest, HelpMenuAndAboutBox)
{
    auto f = Make();
    const QStringList items = [&] {
        QStringList l;
        for (QAction* a : f->PopupMenuAbout->actions())
            l << a->text();
        return l;
    }();
    EXPECT_EQ(items, QStringList({ "Hilfe", "FAQ", "Über" }));
    f->PopupMenuAbout->actions()[2]->trigger();
    ASSERT_NE(f->AboutBox, nullptr);
    EXPECT_TRUE(f->AboutBox->isVisible());
    f->AboutBox->close();
    // Made on first show, then the same box again.
    TAboutBox* box = f->AboutBox;
    f->PopupMenuAbout->actions()[2]->trigger();
    EXPECT_EQ(f->AboutBox, box);
    EXPECT_TRUE(box->isVisible());
    box->close();
}

TEST_F(MainFormTest, ScreenshotOfEveryPage)
{
    auto f = Make();
    f->resize(900, 600);
    f->show();
    QTest::qWait(50);
    QToolButton* steps[] = { f->SpeedButtonSender, f->SpeedButtonRecipients, f->SpeedButtonContent, f->SpeedButtonPreview,
                             f->SpeedButtonSendMail };
    // The pictures land in the test's working folder (the build tree) unless a folder is named.
    const QString out = qEnvironmentVariable("QLY_SCREENSHOT_DIR", QDir::currentPath() + QStringLiteral("/screenshots"));
    QDir().mkpath(out);
    int n = 0;
    for (QToolButton* b : steps) {
        QTest::mouseClick(b, Qt::LeftButton);
        QApplication::processEvents();
        const QImage shot = f->grab().toImage();
        shot.save(QStringLiteral("%1/page%2.png").arg(out).arg(++n));
        QSet<QRgb> colours;
        for (int y = 0; y < shot.height(); y += 3)
            for (int x = 0; x < shot.width(); x += 3)
                colours.insert(shot.pixel(x, y));
        EXPECT_GT(colours.size(), 8) << "page " << n << " looks blank";
    }
    QTest::mouseClick(f->SpeedButtonSender, Qt::LeftButton);
    EXPECT_TRUE(f->EditFrom->isVisible());
    EXPECT_TRUE(f->LabelConfigurationDescription->isVisible());
    f->close();
}

TEST_F(MainFormTest, ClosingQuestionsForAChangedProfile)
{
    auto f = Make();
    f->show();
    f->EditName->setText("Geändert"); // no From address: the profile cannot be saved
    answer = QMessageBox::Cancel;
    EXPECT_FALSE(f->close());
    EXPECT_EQ(questions, std::vector<QString>({ "Aktuellen Benutzer speichern?" }));
    EXPECT_FALSE(settings::TRegIniFile(kKey).ValueExists("", "WindowPos")) << "Cancel writes nothing";
    answer = QMessageBox::Yes;
    EXPECT_FALSE(f->close()) << "a profile that could not be saved keeps the window open";
    ASSERT_EQ(questions.size(), 3u);
    EXPECT_EQ(questions[2], "Der Benutzer kann nicht gespeichert werden: Bitte geben Sie im Feld \"Von\" eine E-Mail Adresse an.");
    answer = QMessageBox::No;
    EXPECT_TRUE(f->close());
    settings::TRegIniFile s(kKey);
    EXPECT_TRUE(s.ValueExists("", "WindowPos"));
    EXPECT_TRUE(s.ReadSubKeys("Users").isEmpty());
    EXPECT_EQ(s.ReadString("allUser", "curListID", "x"), "-1");
    EXPECT_EQ(QFileInfo(s.FileName()).permissions() & (QFile::ReadGroup | QFile::ReadOther | QFile::WriteGroup | QFile::WriteOther),
              QFile::Permissions()) << "the file holds passwords";
}

TEST_F(MainFormTest, ANewProfileClearsTextsAndChecksButKeepsSpinValues)
{
    auto f = Make();
    f->RadioButtonPlainTextMail->setChecked(true);
    f->EditFrom->setText("a@b.de");
    f->EditPassword->setText("geheim");
    f->CheckBoxAuthentication->setChecked(true);
    f->CheckBoxSignature->setChecked(true);
    f->MemoSignature->setPlainText("Gruß");
    f->SpinEditThreads->SetValue(12);
    f->SpeedButtonSaveUserClick();
    f->SpeedButtonCreateUserClick();
    EXPECT_EQ(f->ComboBoxUserSelect->currentIndex(), -1);
    EXPECT_EQ(f->EditFrom->text(), "");
    EXPECT_EQ(f->EditPassword->text(), "");
    EXPECT_FALSE(f->CheckBoxAuthentication->isChecked());
    EXPECT_FALSE(f->EditPassword->isEnabled()) << "unchecking switches the credentials off";
    EXPECT_FALSE(f->CheckBoxSignature->isChecked());
    EXPECT_EQ(f->MemoSignature->toPlainText(), "Gruß");
    EXPECT_EQ(f->SpinEditThreads->Value(), 12);
    EXPECT_TRUE(f->ProfileModified());
}

TEST_F(MainFormTest, ASetUpErrorIsReportedAndTheWindowStillOpens)
{
    {
        settings::TRegIniFile s(kKey);
        s.WriteBinaryData("Users\\a@b.de", "Name", QByteArray("\x01\x02"));
    }
    auto f = Make();
    ASSERT_EQ(errors.size(), 1);
    f->show();
    EXPECT_TRUE(f->isVisible());
    EXPECT_TRUE(f->Connection().Connected()) << "the steps before the failing one ran";
}

TEST_F(MainFormTest, HelpMenuRoutesToTheHelpFile)
{
    auto f = Make();
    struct Fake : THtmlHelpBackend {
        QStringList* seen;
        explicit Fake(QStringList* s) : seen(s) {}
        bool LoadHHCtrl() override { return true; }
        bool HHCtrlLoaded() const override { return true; }
        void UnloadHHCtrl() override {}
        QWidget* HtmlHelp(QWidget*, const QString& file, unsigned command, const THelpData&) override
        {
            *seen << QString("%1 %2").arg(command).arg(file);
            return nullptr;
        }
    };
    QStringList seen;
    SetHelpBackend(std::make_unique<Fake>(&seen));
    f->PopupMenuAbout->actions()[0]->trigger();
    f->PopupMenuAbout->actions()[1]->trigger();
    SetHelpBackend(nullptr);
    const QString chm = dir.file("Quillory.chm");
    EXPECT_EQ(seen, QStringList({ QString("%1 %2").arg(HH_DISPLAY_TOC).arg(chm), QString("%1 %2::/faq.htm").arg(HH_DISPLAY_TOPIC).arg(chm) }));
}

// True when the web engine's libraries are mapped into this process.
static bool WebEngineMapped()
{
    QFile maps(QStringLiteral("/proc/self/maps"));
    EXPECT_TRUE(maps.open(QIODevice::ReadOnly));
    return maps.readAll().contains("libQt6WebEngineCore");
}

TEST_F(MainFormTest, StartReadsTheSettingsOnceAndLeavesTheWebEngineForLater)
{
    // Whether the engine is mapped is a fact of the whole process.
    QLY_NEEDS_FRESH_PROCESS();
    // Settings of an earlier run, written by another process (beside the file, renamed over it).
    QString file;
    QByteArray earlier;
    {
        settings::TRegIniFile s(kKey);
        s.WriteString("allUser", "html", "1");
        s.WriteString("Users\\info@x.de", "EditFrom", "info@x.de");
        s.WriteInteger("allUser", "curUser", 0);
        file = s.FileName();
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        earlier = f.readAll();
    }
    {
        QFile f(file + ".new");
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(earlier);
    }
    ASSERT_TRUE(QFile::remove(file));
    ASSERT_TRUE(QFile::rename(file + ".new", file));

    const int before = settings::TRegIniFile::FileReads();
    auto f = Make();
    f->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(f.get()));
    QApplication::processEvents();
    EXPECT_EQ(settings::TRegIniFile::FileReads() - before, 1) << "each settings file is read once per start";
    EXPECT_EQ(f->ComboBoxUserSelect->currentText(), "info@x.de");
    EXPECT_TRUE(f->RadioButtonHtmlMail->isChecked());
    EXPECT_FALSE(f->ORVHTMLEditor1->BrowserCreated()) << "the window comes up without the web engine";
    EXPECT_FALSE(f->WebBrowserP->ViewCreated());
    EXPECT_FALSE(WebEngineMapped()) << "the engine's libraries come with its module, on first need";

    // The HTML editor's view comes with the content page, holding the document set before.
    QTest::mouseClick(f->SpeedButtonContent, Qt::LeftButton);
    ASSERT_EQ(f->BackGroundBottom->currentWidget(), f->TabContent);
    ASSERT_TRUE(f->ORVHTMLEditor1->BrowserCreated());
    EXPECT_TRUE(WebEngineMapped());
    EXPECT_TRUE(f->ORVHTMLEditor1->Browser->isVisible());
    EXPECT_EQ(f->ORVHTMLEditor1->GetHTML().value(0).toLower(), "<html><head></head><body></body></html>");
    f->close();
}
