// The subject box of the content page with a typed subject, body and attachments: Enter, a
// subject that equals a stored one, storing, choosing from the list, closing and a new start
// keep what was typed. Keys go through the window as the window system delivers them.
#include "WindowDriver.h"
#include "controls/shell/OrvFileList.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QStackedWidget>
#include <QToolButton>
#include <QWheelEvent>

using namespace flowtest;

namespace {

class SubjectBox : public ::testing::Test {
protected:
    void SetUp() override
    {
        ForgetSettings();
        qlytest::writeFileBytes(dir.file("Vertrag"), "ohne Endung\n");
        qlytest::writeFileBytes(dir.file("Plan.pdf"), "%PDF-1.4\n");
    }

    // The first start stores a sender profile for plain-text mails; later starts select it.
    void Start(bool first)
    {
        f = StartWindow(dir);
        f->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(f.get()));
        if (first) {
            QTest::mouseClick(f->SpeedButtonSender, Qt::LeftButton);
            QTest::mouseClick(f->EditFrom, Qt::LeftButton);
            Type("info@absender.de");
            QTest::mouseClick(f->RadioButtonPlainTextMail, Qt::LeftButton, {}, QPoint(6, f->RadioButtonPlainTextMail->height() / 2));
            QTest::mouseClick(f->SpeedButtonSaveUser, Qt::LeftButton);
        }
        ASSERT_TRUE(f->RadioButtonPlainTextMail->isChecked());
        QTest::mouseClick(f->SpeedButtonContent, Qt::LeftButton);
        ASSERT_EQ(f->BackGroundBottom->currentWidget(), f->TabContent);
    }

    // Keys as the window system hands them to the window's focus widget.
    void Type(const QString& text)
    {
        for (QChar ch : text)
            QTest::keyClick(f->windowHandle(), ch.toLatin1());
    }
    void Key(Qt::Key key, Qt::KeyboardModifiers mods = {}) { QTest::keyClick(f->windowHandle(), key, mods); }

    void ClickSubject()
    {
        QLineEdit* edit = f->ComboBoxSubject->lineEdit();
        QTest::mouseClick(edit, Qt::LeftButton, {}, QPoint(edit->width() - 4, edit->height() / 2));
        Key(Qt::Key_End);
    }
    void ClickBody()
    {
        QTest::mouseClick(f->MemoMailBody->viewport(), Qt::LeftButton, {}, QPoint(40, 40));
        Key(Qt::Key_End, Qt::ControlModifier);
    }
    void Attach(const QString& path)
    {
        WhenFileDialogShows([path](QFileDialog* dlg) { TypeIntoFileDialog(dlg, path); });
        QTest::mouseClick(f->SpeedButtonAttachment, Qt::LeftButton);
    }
    // Chooses a stored mail from the subject box's list with the mouse.
    void Choose(const QString& subject)
    {
        QComboBox* box = f->ComboBoxSubject;
        QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(box->width() - 6, box->height() / 2));
        QAbstractItemView* view = box->view();
        ASSERT_TRUE(QTest::qWaitFor([&] { return view->isVisible(); }, 3000));
        QTest::qWait(QApplication::doubleClickInterval() + 50); // a release right after opening is ignored
        const int row = box->findText(subject, Qt::MatchExactly | Qt::MatchCaseSensitive);
        ASSERT_GE(row, 0);
        const QRect r = view->visualRect(box->model()->index(row, 0));
        QTest::mouseMove(view->viewport(), r.center());
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, r.center());
        ASSERT_TRUE(QTest::qWaitFor([&] { return !view->isVisible(); }, 3000));
    }

    QStringList Attachments() const
    {
        QStringList out;
        for (int i = 0; i < f->OrvFileListAttachments->Count(); ++i)
            out << f->OrvFileListAttachments->GetItemPath(i);
        return out;
    }
    QStringList Items() const
    {
        QStringList out;
        for (int i = 0; i < f->ComboBoxSubject->count(); ++i)
            out << f->ComboBoxSubject->itemText(i);
        return out;
    }
    // What the page shows: subject, body and attachments.
    void ExpectPage(const QString& subject, const QString& body, const QStringList& attachments, const char* step)
    {
        SCOPED_TRACE(step);
        EXPECT_EQ(f->ComboBoxSubject->currentText().toStdString(), subject.toStdString());
        EXPECT_EQ(f->MemoMailBody->toPlainText().toStdString(), body.toStdString());
        EXPECT_EQ(Attachments().join(" | ").toStdString(), attachments.join(" | ").toStdString());
    }
    struct Stored { QString subject, body; QStringList attachments; };
    QList<Stored> StoredMails()
    {
        QList<Stored> out;
        db::Connection& c = f->Connection();
        for (const QVariantList& row : c.Select("SELECT ID, Subject, Body FROM QlyMails ORDER BY ID")) {
            Stored s{row[1].toString(), row[2].toString(), {}};
            for (const QVariantList& a : c.Select("SELECT Path FROM Attachments WHERE QlyMails_ID = ? ORDER BY ID", {row[0]}))
                s.attachments << a[0].toString();
            out << s;
        }
        return out;
    }

    qlytest::TempDir dir;
    std::unique_ptr<app::TMainForm> f;
    BoxAnswerer boxes;
};

TEST_F(SubjectBox, TypedMailSurvivesEnterStoringClosingAndANewStart)
{
    Start(true);
    const QString vertrag = dir.file("Vertrag"), plan = dir.file("Plan.pdf");

    // Enter in the subject adds no item and loads nothing.
    ClickSubject();
    Type("Einladung");
    Key(Qt::Key_Return);
    EXPECT_EQ(f->ComboBoxSubject->count(), 0);
    ClickBody();
    Type("Hallo Welt");
    Attach(vertrag);
    ExpectPage("Einladung", "Hallo Welt", {vertrag}, "typed");
    ClickSubject();
    Key(Qt::Key_Enter);
    ExpectPage("Einladung", "Hallo Welt", {vertrag}, "Enter with body and attachment");
    EXPECT_EQ(f->ComboBoxSubject->count(), 0);
    EXPECT_TRUE(f->SpeedButtonSaveMailToDB->isEnabled());

    // "Speichern" stores it as a new mail and shows it again.
    QTest::mouseClick(f->SpeedButtonSaveMailToDB, Qt::LeftButton);
    ExpectPage("Einladung", "Hallo Welt", {vertrag}, "stored");
    EXPECT_EQ(Items(), QStringList({"Einladung"}));
    EXPECT_FALSE(f->SpeedButtonSaveMailToDB->isEnabled());
    ASSERT_EQ(StoredMails().size(), 1);
    EXPECT_EQ(StoredMails()[0].body, "Hallo Welt");
    EXPECT_EQ(StoredMails()[0].attachments, QStringList({vertrag}));

    // A new mail whose subject equals the stored one but for case: Enter does not load the stored mail.
    QTest::mouseClick(f->SpeedButtonNewMailForSubject, Qt::LeftButton);
    ExpectPage("", "", {}, "new mail");
    ClickSubject();
    Type("EINLADUNG");
    ClickBody();
    Type("Zweiter Text");
    Attach(plan);
    ClickSubject();
    Key(Qt::Key_Return);
    ExpectPage("EINLADUNG", "Zweiter Text", {plan}, "Enter on a stored subject");
    EXPECT_EQ(f->ComboBoxSubject->currentIndex(), -1);
    // Arrow keys and the wheel do not choose another stored mail while the mail is unsaved.
    Key(Qt::Key_Down);
    Key(Qt::Key_Up);
    QWheelEvent wheel(QPointF(10, 5), f->ComboBoxSubject->mapToGlobal(QPointF(10, 5)), QPoint(), QPoint(0, -120), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(f->ComboBoxSubject, &wheel);
    ExpectPage("EINLADUNG", "Zweiter Text", {plan}, "arrows and wheel");

    // Opening the list with unsaved changes asks; Cancel keeps the mail.
    boxes.answers << QMessageBox::Cancel;
    QComboBox* box = f->ComboBoxSubject;
    QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(box->width() - 6, box->height() / 2));
    ASSERT_TRUE(QTest::qWaitFor([&] { return boxes.texts.size() == 1; }, 3000));
    EXPECT_EQ(boxes.texts.last(), QStringLiteral("Die aktuelle Mail ohne Speichern verlassen?"));
    EXPECT_FALSE(box->view()->isVisible());
    ExpectPage("EINLADUNG", "Zweiter Text", {plan}, "list not opened");

    // Closing asks to store the mail; Yes stores it as a second mail.
    boxes.answers << QMessageBox::Yes;
    ASSERT_TRUE(f->close());
    EXPECT_EQ(boxes.texts.mid(1), QStringList({QStringLiteral("Möchten Sie diese Mail speichern?")}));
    ASSERT_EQ(StoredMails().size(), 2);
    EXPECT_EQ(StoredMails()[1].subject, "EINLADUNG");
    EXPECT_EQ(StoredMails()[1].body, "Zweiter Text");
    EXPECT_EQ(StoredMails()[1].attachments, QStringList({plan}));
    f.reset();

    // A new start shows the last mail; the first is chosen from the list.
    Start(false);
    ExpectPage("EINLADUNG", "Zweiter Text", {plan}, "after a new start");
    EXPECT_EQ(Items(), QStringList({"EINLADUNG", "Einladung"}));
    Choose("Einladung");
    ExpectPage("Einladung", "Hallo Welt", {vertrag}, "chosen from the list");
    EXPECT_FALSE(f->SpeedButtonSaveMailToDB->isEnabled());
    EXPECT_TRUE(f->SpeedButtonRemoveMailFromSubject->isEnabled());

    // Editing the chosen mail and storing it changes that mail only.
    ClickBody();
    Type(" und Gruss");
    ClickSubject();
    Key(Qt::Key_Return);
    ExpectPage("Einladung", "Hallo Welt und Gruss", {vertrag}, "edited stored mail");
    QTest::mouseClick(f->SpeedButtonSaveMailToDB, Qt::LeftButton);
    ASSERT_EQ(StoredMails().size(), 2);
    EXPECT_EQ(StoredMails()[0].body, "Hallo Welt und Gruss");
    EXPECT_EQ(StoredMails()[1].body, "Zweiter Text");
    ASSERT_TRUE(f->close());
    EXPECT_EQ(boxes.texts.size(), 2) << "no question for a stored mail";
}

} // namespace
