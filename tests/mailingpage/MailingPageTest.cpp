// The main window's mailing: send button checks and questions, the mailing page during and after
// a mailing, the sender page's connection test and closing the window during a mailing.
#include "MailTestUtil.h"
#include "app/MailingPage.h"
#include "app/MainForm.h"
#include "controls/OrvRollOverButtons.h"
#include "controls/StateImage.h"
#include "controls/ZedSpin.h"
#include "controls/nbStatusBar.h"
#include "platform/db/Connection.h"
#include "platform/db/ExtADODataSet.h"
#include "mailing/MailingLog.h"
#include "recipients/RecipientListStore.h"
#include "recipients/views/RecipientsGrid.h"

#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLocale>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QRadioButton>
#include <QRegularExpression>
#include <QJsonArray>
#include <QJsonObject>
#include <QSet>
#include <QStackedWidget>
#include <QTest>
#include <QTimer>
#include <QThread>
#include <QToolButton>
#include <deque>
#include <optional>
#include <sys/wait.h>
#include <unistd.h>
#include <gtest/gtest.h>

using app::TMainForm;
using namespace mailtest;

namespace {

struct Box {
    QString caption, text;
    QMessageBox::StandardButtons buttons;
};

class MailingPageTest : public ::testing::Test {
protected:
    qlytest::TempDir dir;
    QList<Box> boxes;
    // Answers in turn; when none is left: Yes or OK, else the first button.
    std::deque<QMessageBox::StandardButton> answers;
    std::unique_ptr<TMainForm> f;

    void SetUp() override { f = Make(); }

    std::unique_ptr<TMainForm> Make()
    {
        app::TMainFormSite site;
        site.programFolder = dir.path();
        site.appDataFolder = dir.file("data");
        site.messageBox = [this](const QString& caption, const QString& text, QMessageBox::StandardButtons buttons) {
            boxes.append({caption, text, buttons});
            if (!answers.empty()) {
                const auto a = answers.front();
                answers.pop_front();
                return a;
            }
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
        f->show();
        f->activateWindow();
        f->RadioButtonPlainTextMail->setChecked(true);
        f->EditFrom->setText("info@absender.de");
        f->EditName->setText("Absender");
        f->EditSmtpServer->setText("smtp.absender.de");
        f->ComboBoxSubject->setEditText("Hallo %First Name%");
        f->MemoMailBody->setPlainText(QString::fromUtf8("Guten Tag %Last Name%,\nschöne Grüße"));
        return f;
    }

    void TearDown() override
    {
        if (f) {
            answers.clear();
            f->close();
        }
    }

    void AddRow(const QString& email, const QString& last, const QString& first, int status = 0)
    {
        f->Connection().Execute(QStringLiteral("INSERT INTO \"%1\" (\"Email\", \"Last Name\", \"First Name\", \"Status\") "
                                               "VALUES (?, ?, ?, ?)")
                                    .arg(f->OpenListTable()),
                                {email, last, first, status});
        f->ListStore().Requery();
    }

    QList<int> Statuses()
    {
        QList<int> out;
        for (const QVariantList& row :
             f->Connection().Select(QStringLiteral("SELECT \"Status\" FROM \"%1\" ORDER BY \"_ID\"").arg(f->OpenListTable())))
            out.append(row.at(0).toInt());
        return out;
    }

    QStringList LogLines() const
    {
        QStringList out;
        for (const QString& l : f->MemoLogFile->Lines())
            out.append(StripTime(l));
        return out;
    }

    QStringList Texts() const
    {
        QStringList out;
        for (const Box& b : boxes)
            out.append(b.text);
        return out;
    }

    std::vector<bool> Marks() const
    {
        return {f->StateImageSender->GreenShown(), f->StateImageRecipients->GreenShown(),
                f->StateImageContent->GreenShown(), f->StateImagePreview->GreenShown()};
    }

    static bool WaitFor(const std::function<bool()>& condition, int timeoutMs = 30000)
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
};

} // namespace

TEST_F(MailingPageTest, StepButtonChecksSenderAndServerAndReturnsToTheSenderPage)
{
    struct Case {
        const char* from;
        const char* server;
        const char* message;
        QLineEdit* TMainForm::*focus;
    };
    const Case cases[] = {
        {"", "smtp.x.de", "Bitte geben Sie im Feld \"Von\" eine gültige Adresse an.", &TMainForm::EditFrom},
        {"info@beispiel", "smtp.x.de", "Bitte geben Sie im Feld \"Von\" eine gültige Adresse an.", &TMainForm::EditFrom},
        {"info.beispiel.de", "smtp.x.de", "Bitte geben Sie im Feld \"Von\" eine gültige Adresse an.", &TMainForm::EditFrom},
        {"info@x.de", "smtp", "Bitte geben Sie einen gültigen SMTP Server an.", &TMainForm::EditSmtpServer},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        boxes.clear();
        f->SpeedButtonPreviewClick();
        f->EditFrom->setText(c.from);
        f->EditSmtpServer->setText(c.server);
        QTest::mouseClick(f->SpeedButtonSendMail, Qt::LeftButton);
        ASSERT_EQ(boxes.size(), 1);
        EXPECT_EQ(boxes[0].text, QString::fromUtf8(c.message));
        EXPECT_EQ(boxes[0].buttons, QMessageBox::Ok);
        EXPECT_EQ(f->BackGroundBottom->currentWidget(), f->TabSender);
        EXPECT_TRUE(f->SpeedButtonSender->isChecked());
        EXPECT_FALSE(f->SpeedButtonSendMail->isChecked());
        EXPECT_EQ(Marks(), std::vector<bool>({false, false, false, false}));
        EXPECT_EQ(f->focusWidget(), f.get()->*c.focus);
    }
    EXPECT_EQ(f->MemoLogFile->Lines(), QStringList{QString()}) << "nothing was started";
}

TEST_F(MailingPageTest, StepButtonShowsTheMailingPageAndAsksBeforeTheStart)
{
    f->StatusBar1->Panels()[1]->SetText("3/10 (3)");
    answers = {QMessageBox::No};
    QTest::mouseClick(f->SpeedButtonSendMail, Qt::LeftButton);
    EXPECT_EQ(f->BackGroundBottom->currentWidget(), f->TabSendMail);
    EXPECT_TRUE(f->SpeedButtonSendMail->isChecked());
    EXPECT_EQ(Marks(), std::vector<bool>({true, true, true, true}));
    EXPECT_EQ(f->StatusBar1->Panels()[1]->Text(), "");
    ASSERT_EQ(boxes.size(), 1);
    EXPECT_EQ(boxes[0].caption, QString::fromUtf8("Bestätigung"));
    EXPECT_EQ(boxes[0].text, "Mit dem Versand der Mails jetzt beginnen?");
    EXPECT_EQ(boxes[0].buttons, QMessageBox::Yes | QMessageBox::No);
    EXPECT_EQ(f->MemoLogFile->Lines(), QStringList{QString()}) << "No starts nothing";

    // Yes starts the job: with no row to send it ends with the red line.
    boxes.clear();
    QTest::mouseClick(f->SpeedButtonSendMail, Qt::LeftButton);
    EXPECT_EQ(Texts(), QStringList{"Mit dem Versand der Mails jetzt beginnen?"});
    EXPECT_EQ(LogLines().last(), QString::fromUtf8(" Es sind keine Empfänger als \"zu versenden\" markiert. Bitte "
                                                   "bearbeiten Sie die Empfängerliste."));
    EXPECT_EQ(LogLines().at(3), "Benutzer:  info@absender.de");
    EXPECT_EQ(LogLines().at(4), "SMTP Server: smtp.absender.de");
}

TEST_F(MailingPageTest, SendButtonAsksAboutAnEmptySubjectOrBody)
{
    const QString both = QString::fromUtf8("Möchten Sie diese Mail ohne Betreff und Inhalt senden?");
    const QString noSubject = QString::fromUtf8("Möchten Sie diese Mail ohne Betreff senden?");
    const QString noBody = QString::fromUtf8("Möchten Sie diese Mail ohne Inhalt senden?");
    struct Case {
        const char* name;
        QString subject, body;
        std::deque<QMessageBox::StandardButton> answers;
        QStringList questions;
        bool started;
    };
    const Case cases[] = {
        {"both empty, OK", "", "", {QMessageBox::Ok}, {both}, true},
        {"both empty, Cancel", "", "", {QMessageBox::Cancel}, {both}, false},
        {"no subject, OK", "", "Text", {QMessageBox::Ok}, {noSubject}, true},
        {"no body, OK", "Betreff", "", {QMessageBox::Ok}, {noBody}, true},
        {"no body, Cancel", "Betreff", "", {QMessageBox::Cancel}, {noBody}, false},
        {"both there", "Betreff", "Text", {}, {}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        boxes.clear();
        answers = c.answers;
        f->ComboBoxSubject->setEditText(c.subject);
        f->MemoMailBody->setPlainText(c.body);
        const int linesBefore = int(f->MemoLogFile->Lines().size());
        QTest::mouseClick(f->SpeedButtonSend, Qt::LeftButton);
        for (const Box& b : boxes)
            EXPECT_EQ(b.buttons, QMessageBox::Ok | QMessageBox::Cancel);
        EXPECT_EQ(Texts(), c.questions);
        // Started: the header and (no rows in the list) the red line follow.
        EXPECT_EQ(f->MemoLogFile->Lines().size() > linesBefore, c.started);
    }
}

TEST_F(MailingPageTest, PlainMailingFromTheWindowMarksTheRowsSent)
{
    SmtpPeer peer;
    AddRow("eva@x.de", "Muster", "Eva");
    AddRow("alt@x.de", "Alt", "Al", 1);
    AddRow("tom@x.de", QString::fromUtf8("Müller"), "Tom");
    f->EditSmtpServer->setText(peer.server());
    f->SpinEditThreads->SetValue(4);
    f->SpeedButtonSaveFavorite->setEnabled(false);

    QList<bool> abortEnabled, sendEnabled;
    QTest::mouseClick(f->SpeedButtonSendMail, Qt::LeftButton);
    // running: Abort on, Sende off
    abortEnabled.append(f->AbortButton->isEnabled());
    sendEnabled.append(f->SpeedButtonSend->isEnabled());
    ASSERT_TRUE(WaitFor([&] { return !f->MailingPage().Job().Running(); })) << LogLines().join('\n').toStdString();
    abortEnabled.append(f->AbortButton->isEnabled());
    sendEnabled.append(f->SpeedButtonSend->isEnabled());
    EXPECT_EQ(abortEnabled, (QList<bool>{true, false}));
    EXPECT_EQ(sendEnabled, (QList<bool>{false, true}));

    EXPECT_EQ(Texts(), QStringList{"Mit dem Versand der Mails jetzt beginnen?"});
    EXPECT_EQ(Statuses(), (QList<int>{1, 1, 1}));
    EXPECT_EQ(f->MailingPage().Job().WorkersCreated(), 2);
    const QStringList lines = LogLines();
    EXPECT_EQ(lines.last(), "2 Mail(s) gesendet.");
    EXPECT_TRUE(lines.contains(" Thread 1 : Initialisiert."));
    EXPECT_EQ(f->ProgressBar->maximum(), 2);
    EXPECT_EQ(f->ProgressBar->value(), 2);
    EXPECT_EQ(f->StatusBar1->Panels()[0]->ImageIndex(), 1);
    EXPECT_FALSE(f->SpeedButtonSaveFavorite->isEnabled()) << "a mailing alone leaves the list unchanged";
    // the grid's dataset was read again after the mailing
    EXPECT_EQ(f->ListStore().DataSet().RecordCount(), 3);

    ASSERT_EQ(peer.messageFiles().size(), 2);
    QMap<QString, ParsedMail> byTo;
    for (int i = 0; i < 2; ++i) {
        const ParsedMail m = ParseMail(peer.raw(i));
        byTo.insert(m.to, m);
    }
    ASSERT_TRUE(byTo.contains("Eva Muster <eva@x.de>"));
    const ParsedMail eva = byTo.value("Eva Muster <eva@x.de>");
    EXPECT_EQ(eva.from, "Absender <info@absender.de>");
    EXPECT_EQ(eva.subject, "Hallo Eva");
    ASSERT_EQ(eva.parts.size(), 1);
    EXPECT_EQ(eva.parts[0].text, QString::fromUtf8("Guten Tag Muster,\r\nschöne Grüße"));
    EXPECT_EQ(byTo.value(QString::fromUtf8("Tom Müller <tom@x.de>")).subject, "Hallo Tom");
}

TEST_F(MailingPageTest, ClosingDuringAMailingAsksAndAbortsOnYes)
{
    SmtpPeer peer(PeerOptions{.stall = true});  // the connect hangs until it is given up
    AddRow("eva@x.de", "Muster", "Eva");
    f->EditSmtpServer->setText(peer.server());
    QTest::mouseClick(f->SpeedButtonSend, Qt::LeftButton);
    ASSERT_TRUE(f->MailingPage().Job().Running());
    ASSERT_TRUE(WaitFor([&] { return peer.count("connect") > 0; }));

    const QString question =
        QString::fromUtf8("Es läuft noch ein Versand. Soll er abgebrochen und Quillory beendet werden?");
    boxes.clear();
    answers = {QMessageBox::No};
    EXPECT_FALSE(f->close());
    EXPECT_EQ(Texts(), QStringList{question});
    EXPECT_EQ(boxes[0].buttons, QMessageBox::Yes | QMessageBox::No);
    EXPECT_TRUE(f->MailingPage().Job().Running()) << "No keeps the mailing and the window";

    boxes.clear();
    // Yes to the mailing question; No to saving the list or the mail afterwards
    answers = {QMessageBox::Yes, QMessageBox::No, QMessageBox::No, QMessageBox::No};
    QElapsedTimer t;
    t.start();
    EXPECT_TRUE(f->close());
    EXPECT_LT(t.elapsed(), 20000) << "the hanging connect was given up";
    EXPECT_EQ(Texts().value(0), question);
    EXPECT_FALSE(f->MailingPage().Job().Running());
    const QStringList lines = LogLines();
    EXPECT_TRUE(lines.contains(" Abbruch durch Benutzer initiiert."));
    EXPECT_TRUE(lines.last().startsWith("0 Mail(s) gesendet."));
    EXPECT_EQ(peer.count("data"), 0);
    f.reset();
}

// A server that takes the message data and never answers: the abort button and "Ja" to the close
// question give up the transfer at once (not after the transfer's own time-outs), the row stays
// unsent, and the worker's end and the totals line follow as after any abort.
class StalledSendAbort : public MailingPageTest, public ::testing::WithParamInterface<bool> {};

TEST_P(StalledSendAbort, EndsTheJobAtOnceAndKeepsTheRowUnsent)
{
    const bool byClose = GetParam();
    SmtpPeer peer(PeerOptions{.stallData = {"eva@x.de"}});
    AddRow("tom@x.de", "Tal", "Tom");
    AddRow("eva@x.de", "Muster", "Eva");
    f->EditSmtpServer->setText(peer.server());
    f->SpinEditThreads->SetValue(1);  // one worker, whatever an earlier test left in the settings
    QTest::mouseClick(f->SpeedButtonSend, Qt::LeftButton);
    ASSERT_TRUE(WaitFor([&] { return peer.count("stall") > 0; })) << LogLines().join('\n').toStdString();
    // the client has sent the final dot and now waits for the reply
    QTest::qWait(300);
    ASSERT_TRUE(f->MailingPage().Job().Running());

    QList<int> statusesAtTheEnd;  // closing the window closes the list afterwards
    QObject::connect(&f->MailingPage().Job(), &TMailingJob::JobClosed, [&] { statusesAtTheEnd = Statuses(); });
    int ticks = 0;  // the window's event loop goes on while the transfer is given up
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
    ticker.start(20);
    QElapsedTimer t;
    t.start();
    if (byClose) {
        boxes.clear();
        // Yes to the mailing question; No to saving the list or the mail afterwards
        answers = {QMessageBox::Yes, QMessageBox::No, QMessageBox::No, QMessageBox::No};
        EXPECT_TRUE(f->close());
        EXPECT_EQ(Texts().value(0),
                  QString::fromUtf8("Es läuft noch ein Versand. Soll er abgebrochen und Quillory beendet werden?"));
    } else {
        QTest::mouseClick(f->AbortButton, Qt::LeftButton);
        ASSERT_TRUE(WaitFor([&] { return !f->MailingPage().Job().Running(); }, 60000));
    }
    const qint64 elapsed = t.elapsed();
    EXPECT_LT(elapsed, 5000) << "the stalled transfer was given up, not timed out";
    EXPECT_GT(ticks, 0);
    EXPECT_FALSE(f->MailingPage().Job().Running());
    EXPECT_EQ(f->MailingPage().Job().RunningThreads(), 0);

    const QStringList lines = LogLines();
    const int abort = int(lines.indexOf(" Abbruch durch Benutzer initiiert."));
    ASSERT_GE(abort, 0) << lines.join('\n').toStdString();
    EXPECT_EQ(lines.mid(abort + 1), (QStringList{" Thread 1 : beendet.", "", "1 Mail(s) gesendet."}))
        << "no failure line for the given-up mail";
    EXPECT_EQ(statusesAtTheEnd, (QList<int>{1, 0}));
    EXPECT_EQ(peer.count("data"), 1);
    if (byClose)
        f.reset();
}

INSTANTIATE_TEST_SUITE_P(Window, StalledSendAbort, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "CloseQuestionYes" : "AbortButton"; });

TEST_F(MailingPageTest, ConnectionTestButtonChecksTheFieldsAndReportsTheOutcome)
{
    SmtpPeer peer;
    struct Case {
        const char* name;
        QString server;
        bool auth;
        QString user, password;
        QString message;  // empty: no message box
        QString label;
    };
    const Case cases[] = {
        {"short server", "smtp", false, "", "", QString::fromUtf8("Bitte geben Sie einen gültigen SMTP Server an!"),
         QString::fromUtf8("Bitte überprüfen Sie den SMTP Servernamen.")},
        {"no user", peer.server(), true, "", "pw", QString::fromUtf8("Bitte geben Sie einen gültigen SMTP Benutzer an!"),
         QString::fromUtf8("Bitte überprüfen Sie den SMTP Benutzernamen.")},
        {"no password", peer.server(), true, "u", "",
         QString::fromUtf8("Bitte geben Sie ein gültiges SMTP Kennwort ein!"),
         QString::fromUtf8("Bitte überprüfen Sie das angegebene SMTP Kennwort.")},
        {"success", peer.server(), false, "", "", QString(), "Verbindung erfolgreich getestet."},
        {"closed port", QStringLiteral("127.0.0.1:%1").arg(ClosedPort()), false, "", "", QString(),
         QString::fromUtf8("Die Verbindung zum Server ist fehlgeschlagen.")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        boxes.clear();
        f->CheckBoxAuthentication->setChecked(c.auth);
        f->EditSmtpServer->setText(c.server);
        f->EditUserName->setText(c.user);
        f->EditPassword->setText(c.password);
        QTest::mouseClick(f->OrvRollOverSpeedBtn1, Qt::LeftButton);
        EXPECT_EQ(Texts(), c.message.isEmpty() ? QStringList() : QStringList{c.message});
        EXPECT_TRUE(f->LabelTestConnection->text().startsWith(c.label)) << f->LabelTestConnection->text().toStdString();
        EXPECT_EQ(f->LabelConfigurationHeader->text(), "Testen der Verbindung:");
        EXPECT_TRUE(f->OrvRollOverSpeedBtn1->isEnabled());
    }
}

TEST_F(MailingPageTest, AbortButtonGivesUpTheMailingAndFreesTheSendButton)
{
    SmtpPeer peer(PeerOptions{.stall = true});
    AddRow("eva@x.de", "Muster", "Eva");
    AddRow("tom@x.de", "Tal", "Tom");
    f->EditSmtpServer->setText(peer.server());
    QTest::mouseClick(f->SpeedButtonSend, Qt::LeftButton);
    ASSERT_TRUE(f->AbortButton->isEnabled());
    ASSERT_TRUE(WaitFor([&] { return peer.count("connect") > 0; }));
    QTest::mouseClick(f->AbortButton, Qt::LeftButton);
    ASSERT_TRUE(WaitFor([&] { return !f->MailingPage().Job().Running(); }, 20000));
    EXPECT_TRUE(f->SpeedButtonSend->isEnabled());
    EXPECT_FALSE(f->AbortButton->isEnabled());
    const QStringList lines = LogLines();
    EXPECT_TRUE(lines.contains(" Abbruch durch Benutzer initiiert."));
    EXPECT_EQ(lines.last(), "0 Mail(s) gesendet.");  // an abort is no failed send
    EXPECT_EQ(Statuses(), (QList<int>{0, 0}));
}

TEST_F(MailingPageTest, ScheduledModeTakesBlockAndPauseFromTheSenderPage)
{
    QLocale::setDefault(QLocale::c());
    SmtpPeer peer;
    for (const char* a : {"a@x.de", "b@x.de", "c@x.de"})
        AddRow(a, "N", "V");
    f->EditSmtpServer->setText(peer.server());
    f->SpinEditThreads->SetValue(8);  // scheduled mode sends with one worker
    f->RadioButtonScheduled->setChecked(true);
    f->SpinEditScheduledMails->SetValue(2);
    f->SpinEditScheduledMinutes->SetFloatValue(0.1);
    QTest::mouseClick(f->SpeedButtonSend, Qt::LeftButton);
    ASSERT_TRUE(WaitFor([&] { return !f->MailingPage().Job().Running(); }, 60000));
    EXPECT_EQ(f->MailingPage().Job().WorkersCreated(), 1);
    const QStringList lines = LogLines();
    EXPECT_TRUE(lines.contains(QString::fromUtf8(" Thread 1 : Warte für  0,1 Minuten.")));
    EXPECT_TRUE(lines.contains(" Thread 1 : Verbindung zum SMTP Server wiederhergestellt."));
    EXPECT_EQ(lines.last(), "3 Mail(s) gesendet.");
    EXPECT_EQ(peer.count("data"), 3);
    EXPECT_EQ(Statuses(), (QList<int>{1, 1, 1}));
}

// ---- sent marks and the list's changes ---------------------------------------------------------

namespace {

class SentMarksTest : public MailingPageTest {
protected:
    // A stored list "Kunden" of 30 rows to send, open in the window and unchanged.
    void MakeStoredList()
    {
        for (int i = 0; i < 30; ++i)
            AddRow(QStringLiteral("r%1@x.de").arg(i), QStringLiteral("Name%1").arg(i), QStringLiteral("V%1").arg(i));
        f->ComboBoxFavorites->setEditText("Kunden");
        f->SpeedButtonSaveFavoriteClick();
        ASSERT_TRUE(f->OpenListTable().startsWith("RL"));
        ASSERT_FALSE(f->SpeedButtonSaveFavorite->isEnabled());
    }
    // A user edit through the grid: the first row's last name typed anew.
    void EditFirstLastName(const QString& text)
    {
        f->BackGroundBottom->setCurrentWidget(f->TabRecipients);
        QApplication::processEvents();
        f->StringGridFavorites->FocusCell(2, 1);
        QTest::keyClicks(f->StringGridFavorites, text);
        QTest::keyClick(f->StringGridFavorites, Qt::Key_Down);  // posts the row
        ASSERT_EQ(FirstLastName(), text);
        ASSERT_TRUE(f->SpeedButtonSaveFavorite->isEnabled());
    }
    QString FirstLastName()
    {
        return f->Connection().Scalar(QStringLiteral("SELECT \"Last Name\" FROM \"%1\" WHERE \"_ID\" = 1").arg(f->OpenListTable())).toString();
    }
    void Mail(SmtpPeer& peer)
    {
        f->EditSmtpServer->setText(peer.server());
        f->SpinEditThreads->SetValue(4);
        QTest::mouseClick(f->SpeedButtonSend, Qt::LeftButton);
        ASSERT_TRUE(WaitFor([&] { return !f->MailingPage().Job().Running(); }, 60000)) << LogLines().join('\n').toStdString();
    }
    // Closes the window answering No to every question; the questions asked.
    QStringList CloseSayingNo()
    {
        boxes.clear();
        answers.assign(10, QMessageBox::No);
        EXPECT_TRUE(f->close());
        f.reset();
        answers.clear();
        return Texts();
    }
    void Restart()
    {
        boxes.clear();
        f = Make();
    }
    void OpenInNameBox(const QString& name)
    {
        f->ComboBoxFavorites->setCurrentIndex(f->ComboBoxFavorites->findText(name));
        f->ComboBoxFavoritesSelect();
    }
    // After the restart: the list shows every row sent and a second mailing sends nothing.
    void ExpectAllSentAndNothingSentAgain(SmtpPeer& peer)
    {
        ASSERT_TRUE(f->OpenListTable().startsWith("RL"));
        EXPECT_EQ(Statuses(), QList<int>(30, 1));
        EXPECT_EQ(FirstLastName(), "Name0") << "the user's edit was discarded";
        Mail(peer);
        EXPECT_EQ(peer.count("data"), 30);
        EXPECT_EQ(LogLines().last(), QString::fromUtf8(" Es sind keine Empfänger als \"zu versenden\" markiert. Bitte "
                                                       "bearbeiten Sie die Empfängerliste."));
    }
    static const QString& ListQuestion()
    {
        static const QString q = QString::fromUtf8("Änderungen an der Empfängerliste \"Kunden\" speichern?");
        return q;
    }
};

} // namespace

// A mailing without user edits leaves the list unchanged: closing asks nothing about the list; a
// user edit made before the mailing is asked about and discarded with No, the marks stay.
TEST_F(SentMarksTest, NoToEveryQuestionAfterAMailingKeepsTheMarks)
{
    SmtpPeer peer;
    MakeStoredList();
    Mail(peer);
    ASSERT_EQ(peer.count("data"), 30);
    EXPECT_EQ(Statuses(), QList<int>(30, 1));
    EXPECT_FALSE(f->SpeedButtonSaveFavorite->isEnabled()) << "the mailing alone changes nothing";
    EXPECT_FALSE(CloseSayingNo().contains(ListQuestion()));
    Restart();
    ExpectAllSentAndNothingSentAgain(peer);
}

TEST_F(SentMarksTest, NoToEveryQuestionAfterAnEditAndAMailingDropsTheEditAndKeepsTheMarks)
{
    SmtpPeer peer;
    MakeStoredList();
    EditFirstLastName("Geaendert");
    Mail(peer);
    ASSERT_EQ(peer.count("data"), 30);
    EXPECT_EQ(Statuses(), QList<int>(30, 1));
    const QStringList asked = CloseSayingNo();
    EXPECT_TRUE(asked.contains(ListQuestion())) << asked.join('\n').toStdString();
    Restart();
    ExpectAllSentAndNothingSentAgain(peer);
}

// A run killed after its mailing leaves the list's lock and backup; the next start answers No to
// restoring the list: the user's edit goes, the marks stay.
TEST_F(SentMarksTest, NoToRestoringAListLeftByAKilledRunKeepsTheMarks)
{
    SmtpPeer peer;
    MakeStoredList();
    EditFirstLastName("Geaendert");
    Mail(peer);
    ASSERT_EQ(peer.count("data"), 30);

    // What the killed run leaves on disk: the database as it is now, with the lock of a process
    // that no longer runs.
    const QString db = f->Connection().FileName();
    const QString snapshot = dir.file("killed.db");
    f->Connection().Execute("VACUUM INTO ?", {snapshot});
    CloseSayingNo();
    const pid_t child = fork();
    if (child == 0)
        _exit(0);
    waitpid(child, nullptr, 0);
    {
        db::Connection c;
        c.Open(snapshot);
        const QString lock = c.Scalar("SELECT LockedBy FROM RecipientsLists WHERE Name = 'Kunden'").toString();
        ASSERT_FALSE(lock.isEmpty());
        const recipients::TLockOwner owner = recipients::TLockOwner::Parse(lock);
        ASSERT_TRUE(owner.complete);
        c.Execute("UPDATE RecipientsLists SET LockedBy = ?",
                  {QStringLiteral("%1@%2:%3:1").arg(owner.user, owner.host).arg(child)});
        const QString id = c.Scalar("SELECT ID FROM RecipientsLists WHERE Name = 'Kunden'").toString();
        ASSERT_TRUE(c.TableExists("Backup_RL" + id));
    }
    ASSERT_TRUE(QFile::remove(db));
    ASSERT_TRUE(QFile::rename(snapshot, db));

    // The remembered list opens at the start, asking about the left-over edits.
    answers = {QMessageBox::No};
    Restart();
    OpenInNameBox("Kunden");
    ASSERT_EQ(Texts().size(), 1);
    EXPECT_TRUE(Texts()[0].startsWith(QString::fromUtf8("Die Liste \"Kunden\" konnte in der letzten Sizung nicht gespeichert werden.")));
    ExpectAllSentAndNothingSentAgain(peer);
}

// ---- TLS, passwords and the connection test's limits -------------------------------------------

namespace {

const QString kNotConnected = QString::fromUtf8(
    "Die Verbindung zum Server ist fehlgeschlagen. Bitte überprüfen Sie den SMTP Server und stellen Sie sicher, "
    "dass eine Verbindung zum Internet besteht.\n\n");
const QString kLoginFailed = QString::fromUtf8(
    "Authentifizierung fehlgeschlagen. Bitte überprüfen Sie SMTP Benutzernamen und Kennwort. \n\nDer Server "
    "antwortet:\n");

QColor LabelColor(const QLabel* label)
{
    return label->palette().color(QPalette::WindowText);
}

} // namespace

// Port 465 with a certificate from a CA the program trusts: the connection test and a mailing
// succeed, and the relay in front of the server sees nothing in clear. A self-signed
// certificate fails the test.
TEST_F(MailingPageTest, ConnectionTestAndMailingOnPort465)
{
    {
        PeerOptions options{.auth = "hans:geheim"};
        options.implicitTls = true;
        options.caSigned = true;
        SmtpPeer peer(options);
        ScopedEnv trust("SSL_CERT_FILE", peer.caFile().toLocal8Bit());
        f->EditSmtpServer->setText("127.0.0.1:465");
        f->CheckBoxAuthentication->setChecked(true);
        f->EditUserName->setText("hans");
        f->EditPassword->setText("geheim");
        QTest::mouseClick(f->OrvRollOverSpeedBtn1, Qt::LeftButton);
        EXPECT_EQ(f->LabelTestConnection->text(), "Verbindung erfolgreich getestet.");
        EXPECT_EQ(LabelColor(f->LabelTestConnection), QColor(0, 128, 0));
        EXPECT_EQ(peer.count("auth"), 1);

        AddRow("eva@x.de", "Muster", "Eva");
        AddRow("tom@x.de", "Tal", "Tom");
        f->SpinEditThreads->SetValue(2);
        QTest::mouseClick(f->SpeedButtonSend, Qt::LeftButton);
        ASSERT_TRUE(WaitFor([&] { return !f->MailingPage().Job().Running(); })) << LogLines().join('\n').toStdString();
        EXPECT_EQ(LogLines().last(), "2 Mail(s) gesendet.");
        EXPECT_EQ(Statuses(), (QList<int>{1, 1}));
        f->SpinEditThreads->SetValue(1);  // the settings outlive the window
        ASSERT_EQ(peer.messageFiles().size(), 2);
        EXPECT_EQ(ParseMail(peer.raw(0)).parts.value(0).text.left(9), "Guten Tag");
        const QList<QByteArray> tapped = peer.tapped();
        EXPECT_GE(tapped.size(), 2);
        for (const QByteArray& bytes : tapped)
            for (const char* plain : {"Subject:", "Guten Tag", "geheim", "AUTH", "MAIL FROM"})
                EXPECT_FALSE(bytes.contains(plain)) << plain;
    }
    {
        PeerOptions options;
        options.implicitTls = true;  // self-signed
        SmtpPeer peer(options);
        f->CheckBoxAuthentication->setChecked(false);
        QTest::mouseClick(f->OrvRollOverSpeedBtn1, Qt::LeftButton);
        EXPECT_TRUE(f->LabelTestConnection->text().startsWith(kNotConnected)) << f->LabelTestConnection->text().toStdString();
        EXPECT_TRUE(f->LabelTestConnection->text().contains("certificate"));
        EXPECT_EQ(LabelColor(f->LabelTestConnection), QColor(255, 0, 0));
    }
}

// Authentication on: a server elsewhere without STARTTLS is refused before AUTH (the test switch
// makes 127.0.0.1 count as elsewhere), a server without AUTH is no successful test.
TEST_F(MailingPageTest, ConnectionTestRefusesAPasswordInClearAndALoginThatCannotHappen)
{
    f->CheckBoxAuthentication->setChecked(true);
    f->EditUserName->setText("hans");
    f->EditPassword->setText("geheim");
    {
        SmtpPeer peer(PeerOptions{.auth = "hans:geheim"});
        ScopedEnv remote("QLY_TEST_LOOPBACK_IS_REMOTE", "1");
        f->EditSmtpServer->setText(peer.server());
        QTest::mouseClick(f->OrvRollOverSpeedBtn1, Qt::LeftButton);
        EXPECT_EQ(f->LabelTestConnection->text(),
                  kNotConnected + QString::fromUtf8("Der Server bietet keine verschlüsselte Verbindung an; das Kennwort "
                                                    "wird nicht unverschlüsselt gesendet."));
        EXPECT_EQ(LabelColor(f->LabelTestConnection), QColor(255, 0, 0));
        EXPECT_EQ(peer.count("auth_cmd"), 0);
    }
    {
        SmtpPeer peer;  // offers no AUTH
        f->EditSmtpServer->setText(peer.server());
        QTest::mouseClick(f->OrvRollOverSpeedBtn1, Qt::LeftButton);
        EXPECT_EQ(f->LabelTestConnection->text(),
                  kLoginFailed + QString::fromUtf8("Der Server bietet keine Anmeldung (AUTH) an; Benutzername und "
                                                   "Kennwort können nicht verwendet werden."));
        EXPECT_EQ(LabelColor(f->LabelTestConnection), QColor(255, 0, 0));
    }
}

// A server that does not greet: "Verbindungstest fehlgeschlagen." after 2500 ms, and the window
// paints meanwhile.
TEST_F(MailingPageTest, ConnectionTestGivesUpASilentServerAfter2500Ms)
{
    SmtpPeer peer(PeerOptions{.stall = true});
    f->CheckBoxAuthentication->setChecked(false);
    f->EditSmtpServer->setText(peer.server());
    struct PaintCounter : QObject {
        int paints = 0;
        bool eventFilter(QObject*, QEvent* e) override
        {
            paints += e->type() == QEvent::Paint ? 1 : 0;
            return false;
        }
    } counter;
    f->LabelTestConnection->installEventFilter(&counter);
    int ticks = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
    ticker.start(50);
    QElapsedTimer t;
    t.start();
    QTest::mouseClick(f->OrvRollOverSpeedBtn1, Qt::LeftButton);
    const qint64 elapsed = t.elapsed();
    f->LabelTestConnection->removeEventFilter(&counter);
    EXPECT_GE(elapsed, 2490);
    EXPECT_LT(elapsed, 4000);
    EXPECT_EQ(f->LabelTestConnection->text(), "Verbindungstest fehlgeschlagen.");
    EXPECT_GE(ticks, 20) << "the event loop ran during the wait";
    EXPECT_GE(counter.paints, 1) << "the label was painted during the wait";
}

// Quitting the program while a test waits for a silent server: the application's loop ends at
// once, and so does the window's end (the attempt is cut off, not waited for).
TEST_F(MailingPageTest, QuitDuringAConnectionTestReturnsAtOnce)
{
    SmtpPeer peer(PeerOptions{.stall = true});
    f->CheckBoxAuthentication->setChecked(false);
    f->EditSmtpServer->setText(peer.server());
    QElapsedTimer sinceQuit;
    QTimer::singleShot(0, [&] { QTest::mouseClick(f->OrvRollOverSpeedBtn1, Qt::LeftButton); });
    QTimer::singleShot(600, [&] {
        EXPECT_EQ(f->LabelTestConnection->text(), "Teste ...");
        sinceQuit.start();
        QCoreApplication::quit();
    });
    QCoreApplication::exec();
    EXPECT_LT(sinceQuit.elapsed(), 1000) << "the program's loop returned at once";
    EXPECT_EQ(peer.count("connect"), 1);
    QElapsedTimer closing;
    closing.start();
    answers = {QMessageBox::No, QMessageBox::No, QMessageBox::No};
    f->close();
    f.reset();
    EXPECT_LT(closing.elapsed(), 1000) << "the window's end did not wait for the attempt";
}

// A scheduled mailing whose server is gone after the pause: the failed reconnection is a red
// line, never followed by the line that says the connection was restored.
TEST_F(MailingPageTest, ScheduledReconnectionToAServerThatIsGoneIsLoggedAsFailed)
{
    QLocale::setDefault(QLocale::c());
    std::optional<SmtpPeer> peer(std::in_place);
    AddRow("a@x.de", "N", "V");
    AddRow("b@x.de", "N", "V");
    f->EditSmtpServer->setText(peer->server());
    f->RadioButtonScheduled->setChecked(true);
    f->SpinEditScheduledMails->SetValue(1);
    f->SpinEditScheduledMinutes->SetFloatValue(0.1);
    QTest::mouseClick(f->SpeedButtonSend, Qt::LeftButton);
    const QString waiting = QString::fromUtf8(" Thread 1 : Warte für  0,1 Minuten.");
    ASSERT_TRUE(WaitFor([&] { return LogLines().contains(waiting); })) << LogLines().join('\n').toStdString();
    peer.reset();  // the server goes away during the pause
    ASSERT_TRUE(WaitFor([&] { return !f->MailingPage().Job().Running(); }, 60000));
    const QStringList lines = LogLines();
    const int pause = int(lines.indexOf(waiting));
    const int red = int(lines.indexOf(QRegularExpression("^ Thread 1 : SMTP Fehler: .+")));
    ASSERT_GT(red, pause) << lines.join('\n').toStdString();
    EXPECT_EQ(f->MemoLogFile->LineColor(red), mailcolors::Red);
    EXPECT_FALSE(lines.contains(" Thread 1 : Verbindung zum SMTP Server wiederhergestellt."));
    EXPECT_EQ(lines.last(), "1 Mail(s) gesendet.1 Mail(s) konnten nicht gesendet werden.");
    EXPECT_EQ(Statuses(), (QList<int>{1, 0}));
    // the sender page's settings outlive the window: leave the parallel mode behind
    f->RadioButtonMultiThread->setChecked(true);
}

// The abort button during a mailing with eight workers: every mail the server had taken when the
// button was clicked is logged as sent above the abort line, and the rows marked sent are exactly
// the mails the server holds.
TEST_F(MailingPageTest, AbortLogsTheMailsSentBeforeItAboveItsLine)
{
    SmtpPeer peer(PeerOptions{.pipelining = true});
    f->Connection().Execute("BEGIN");
    for (int i = 1; i <= 3000; ++i)
        f->Connection().Execute(QStringLiteral("INSERT INTO \"%1\" (\"Email\", \"Last Name\", \"First Name\", \"Status\") "
                                               "VALUES (?, 'N', 'V', 0)")
                                    .arg(f->OpenListTable()),
                                {QStringLiteral("r%1@x.de").arg(i)});
    f->Connection().Execute("COMMIT");
    f->ListStore().Requery();
    f->EditSmtpServer->setText(peer.server());
    f->RadioButtonMultiThread->setChecked(true);
    f->SpinEditThreads->SetValue(8);
    QTest::mouseClick(f->SpeedButtonSend, Qt::LeftButton);
    ASSERT_TRUE(WaitFor([&] { return peer.count("data") >= 150; }, 60000));
    QTest::mouseClick(f->AbortButton, Qt::LeftButton);
    QSet<QString> acceptedBeforeTheClick;
    for (const QJsonObject& e : peer.events())
        if (e.value("ev").toString() == "data")
            acceptedBeforeTheClick.insert(e.value("rcpts").toArray().at(0).toString());
    ASSERT_TRUE(WaitFor([&] { return !f->MailingPage().Job().Running(); }, 30000));

    const QStringList lines = LogLines();
    const int abort = int(lines.indexOf(" Abbruch durch Benutzer initiiert."));
    ASSERT_GE(abort, 0);
    QMap<QString, int> sentLine;
    static const QRegularExpression sent("^ Thread \\d+ : (\\S+)  gesendet\\.$");
    for (int i = 0; i < lines.size(); ++i) {
        const QRegularExpressionMatch m = sent.match(lines.at(i));
        if (m.hasMatch())
            sentLine.insert(m.captured(1), i);
    }
    for (const QString& address : acceptedBeforeTheClick) {
        ASSERT_TRUE(sentLine.contains(address)) << address.toStdString();
        EXPECT_LT(sentLine.value(address), abort) << address.toStdString();
    }
    // after the abort line: the workers' ends and the totals only
    for (int i = abort + 1; i < lines.size() - 2; ++i)
        EXPECT_TRUE(lines.at(i).endsWith(" : beendet.")) << lines.at(i).toStdString();
    EXPECT_EQ(lines.mid(abort + 1).filter(" : beendet.").size(), 8);

    QSet<QString> onTheServer, markedSent;
    for (const QJsonObject& e : peer.events())
        if (e.value("ev").toString() == "data")
            onTheServer.insert(e.value("rcpts").toArray().at(0).toString());
    for (const QVariantList& row : f->Connection().Select(
             QStringLiteral("SELECT \"Email\" FROM \"%1\" WHERE \"Status\" = 1").arg(f->OpenListTable())))
        markedSent.insert(row.at(0).toString());
    EXPECT_EQ(onTheServer, markedSent);
    EXPECT_LT(markedSent.size(), 3000);
    EXPECT_EQ(lines.last(), QStringLiteral("%1 Mail(s) gesendet.").arg(markedSent.size()));
}
