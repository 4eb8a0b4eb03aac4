// The open list is never lost by a keystroke: the name box's Enter and pick ask the save question,
// a typed cell reaches the table when the user leaves the grid, and the program's own list file
// reloads what it saved. Real window, real input, real message boxes answered by clicking them.
#include "app/MainForm.h"
#include "app/ProgramStart.h"
#include "core/AssociativeArray.h"
#include "platform/db/ExtADODataSet.h"
#include "recipients/Recipients.h"
#include "recipients/views/RecipientsGrid.h"
#include "TestUtil.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QInputDialog>
#include <QMenu>
#include <QLineEdit>
#include <QMessageBox>
#include <QStackedWidget>
#include <QTest>
#include <QPointer>
#include <QTimer>
#include <QToolButton>
#include <deque>
#include <gtest/gtest.h>
#include <memory>
#include <csignal>
#include <unistd.h>

namespace {

const bool kWebEngineEnvironment = [] {
    if (::geteuid() == 0)
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", QByteArray("1"));
    return true;
}();

// Clicks the buttons of the message boxes that open, in order, and records their texts. A box
// that opens with no answer left is closed with Escape (and recorded).
class BoxClicker : public QObject {
public:
    QStringList seen;
    std::deque<QMessageBox::StandardButton> answers;
    // Texts typed into the input boxes and file dialogs that open, in order.
    std::deque<QString> inputs;

    BoxClicker()
    {
        m_timer.setInterval(10);
        QObject::connect(&m_timer, &QTimer::timeout, this, [this] { Poll(); });
        m_timer.start();
    }

private:
    void Poll()
    {
        QWidget* modal = QApplication::activeModalWidget();
        if (qobject_cast<QInputDialog*>(modal) || qobject_cast<QFileDialog*>(modal)) {
            QLineEdit* edit = qobject_cast<QFileDialog*>(modal) ? modal->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))
                                                                : modal->findChild<QLineEdit*>();
            if (modal == m_lastInput) {
                // Still open: the file dialog's completer may have taken the Enter key.
                ++m_retries;
                // The file dialog's completer may take the Enter key: its accepting button is
                // clicked instead.
                if (auto* buttons = modal->findChild<QDialogButtonBox*>(); buttons && m_retries % 5 == 1) {
                    for (QAbstractButton* b : buttons->buttons())
                        if (buttons->buttonRole(b) == QDialogButtonBox::AcceptRole && b->isEnabled())
                            QTest::mouseClick(b, Qt::LeftButton);
                    return;
                }
                if (m_retries > 100) {
                    ADD_FAILURE() << "a dialog does not take its input";
                    QTest::keyClick(modal, Qt::Key_Escape);
                    if (auto* d = qobject_cast<QDialog*>(modal))
                        d->reject();
                } else if (edit && m_retries % 5 == 0) {
                    QTest::keyClick(edit, Qt::Key_Return);
                }
                return;
            }
            m_lastInput = modal;
            m_retries = 0;
            if (!edit || inputs.empty()) {
                QTest::keyClick(modal, Qt::Key_Escape);
                return;
            }
            edit->setFocus();
            edit->selectAll();
            QTest::keyClicks(edit, inputs.front());
            inputs.pop_front();
            QTest::keyClick(edit, Qt::Key_Return);
            return;
        }
        auto* box = qobject_cast<QMessageBox*>(modal);
        if (!box || box == m_last)
            return;
        m_last = box;
        seen << box->text();
        if (answers.empty()) {
            QTest::keyClick(box, Qt::Key_Escape);
            return;
        }
        const QMessageBox::StandardButton answer = answers.front();
        answers.pop_front();
        QAbstractButton* button = box->button(answer);
        if (!button) {
            ADD_FAILURE() << "the box has no such button: " << box->text().toStdString();
            QTest::keyClick(box, Qt::Key_Escape);
            return;
        }
        QTest::mouseClick(button, Qt::LeftButton);
    }
    QTimer m_timer;
    QPointer<QMessageBox> m_last;
    QPointer<QWidget> m_lastInput;
    int m_retries = 0;
};

class ListSafetyTest : public ::testing::Test {
protected:
    qlytest::TempDir dir;
    std::unique_ptr<BoxClicker> boxes = std::make_unique<BoxClicker>();
    QStringList errors;
    std::unique_ptr<app::TMainForm> form;

    app::TMainFormSite Site()
    {
        app::TMainFormSite site;
        site.programFolder = dir.path();
        site.appDataFolder = dir.file("data");
        site.onException = [this](std::exception_ptr e) {
            try {
                std::rethrow_exception(e);
            } catch (const std::exception& ex) {
                errors << QString::fromUtf8(ex.what());
            }
        };
        return site;
    }
    void SetUp() override
    {
        form = std::make_unique<app::TMainForm>(Site());
        form->resize(1000, 650);
        form->show();
        QApplication::setActiveWindow(form.get());
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
        QTest::mouseClick(form->SpeedButtonRecipients, Qt::LeftButton);
        QApplication::processEvents();
        boxes->seen.clear(); // what the start may have said about the database
    }
    void TearDown() override
    {
        form.reset();
        EXPECT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();
    }

    recipients::TRecipientsGrid* Grid() const { return form->StringGridFavorites; }
    db::Connection& Conn() const { return form->Connection(); }
    db::TExtADODataSet& DataSet() const { return form->ListStore().DataSet(); }

    void AddRows(const QStringList& emails)
    {
        for (const QString& e : emails)
            ASSERT_TRUE(form->ListStore().InsertRow({"0", e, "L", "F"}));
        Grid()->Reopen();
    }
    QStringList TableEmails(const QString& table) const
    {
        QStringList out;
        for (const QVariantList& r : Conn().Select("SELECT Email FROM " + db::QuoteName(table) + " ORDER BY _ID"))
            out << r.value(0).toString();
        return out;
    }
    // A stored list made the way the user makes one: rows, a name in the box, "Speichern".
    void StoreList(const QString& name, const QStringList& emails)
    {
        form->NewUnsavedList();
        AddRows(emails);
        QLineEdit* edit = form->ComboBoxFavorites->lineEdit();
        edit->setFocus();
        QTest::keyClicks(edit, name);
        QTest::mouseClick(form->SpeedButtonSaveFavorite, Qt::LeftButton);
        ASSERT_EQ(form->ListStore().OpenListName(), name);
    }
    // The offscreen platform does not give the window back its activation when a message box
    // closes, as a window system does.
    void Activate()
    {
        QApplication::setActiveWindow(form.get());
        QApplication::processEvents();
    }
    // A key pressed in the grid marks the list changed (the save button comes on).
    void MarkChangedByAKey()
    {
        const QRect cell = Grid()->ColumnCellRect(Grid()->VisibleColumns()[1], 0);
        QTest::mouseClick(Grid()->viewport(), Qt::LeftButton, {}, cell.center());
        QTest::keyClick(Grid(), Qt::Key_Right);
        ASSERT_TRUE(form->SpeedButtonSaveFavorite->isEnabled());
    }
    // Types into the name box and presses Enter.
    void TypeNameAndEnter(const QString& text)
    {
        QLineEdit* edit = form->ComboBoxFavorites->lineEdit();
        Activate();
        QTest::mouseClick(edit, Qt::LeftButton);
        edit->selectAll();
        QTest::keyClick(edit, Qt::Key_Delete);
        QTest::keyClicks(edit, text);
        QTest::keyClick(edit, Qt::Key_Return);
        QApplication::processEvents();
    }
    // Clicks a data cell of the grid and types a text into it (the in-place editor opens).
    void TypeIntoCell(int column, int row, const QString& text)
    {
        Activate();
        const QRect cell = Grid()->ColumnCellRect(Grid()->VisibleColumns()[size_t(column)], row);
        QTest::mouseClick(Grid()->viewport(), Qt::LeftButton, {}, cell.center());
        QApplication::processEvents();
        // A click on the current cell opens the editor at once; otherwise F2 opens it.
        if (QApplication::focusWidget() == Grid())
            QTest::keyClick(Grid(), Qt::Key_F2);
        QWidget* editor = QApplication::focusWidget();
        ASSERT_TRUE(editor && editor != Grid() && Grid()->isAncestorOf(editor)) << "the in-place editor has the focus";
        QTest::keyClick(editor, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(editor, text);
    }
};

// Item 1: Enter in the name box after its inline completion, with an unsaved list of rows.
TEST_F(ListSafetyTest, EnterInTheNameBoxAsksBeforeTheUnsavedListIsReplaced)
{
    StoreList("Kunden", {"k1@x.de", "k2@x.de"});
    form->NewUnsavedList();
    AddRows({"u1@x.de", "u2@x.de", "u3@x.de"});
    MarkChangedByAKey();
    const QString temp = form->ListStore().TEMP;

    // Cancel: the unsaved list stays open with its rows, the box names no list.
    boxes->answers = {QMessageBox::Cancel};
    TypeNameAndEnter("Kund");
    EXPECT_EQ(boxes->seen, QStringList({"Änderungen an der Empfängerliste \"unbenannt\" speichern?"}));
    EXPECT_EQ(Grid()->TableName(), temp);
    EXPECT_EQ(TableEmails(temp), QStringList({"u1@x.de", "u2@x.de", "u3@x.de"}));
    EXPECT_EQ(form->ComboBoxFavorites->currentText(), "");
    EXPECT_TRUE(form->SpeedButtonSaveFavorite->isEnabled());

    // No: the user gives up the unsaved rows and the list opens.
    boxes->seen.clear();
    boxes->answers = {QMessageBox::No};
    TypeNameAndEnter("Kunden");
    EXPECT_EQ(boxes->seen.size(), 1);
    EXPECT_EQ(form->ListStore().OpenListName(), "Kunden");
    EXPECT_EQ(form->ComboBoxFavorites->currentText(), "Kunden");
    EXPECT_FALSE(form->SpeedButtonSaveFavorite->isEnabled());
    EXPECT_EQ(Grid()->RowCount(), 2);
}

TEST_F(ListSafetyTest, PickingAnotherListAsksAboutTheOpenStoredListsEdits)
{
    StoreList("Alpha", {"a1@x.de", "a2@x.de"});
    StoreList("Beta", {"b1@x.de"});
    boxes->answers = {};
    TypeNameAndEnter("Alpha");
    ASSERT_EQ(form->ListStore().OpenListName(), "Alpha");
    const QString alpha = Grid()->TableName();
    TypeIntoCell(1, 0, "changed@x.de");
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    ASSERT_TRUE(form->SpeedButtonSaveFavorite->isEnabled());

    // Picking "Beta" from the box's list: the question names the open list; No discards its edit.
    boxes->answers = {QMessageBox::No};
    form->ComboBoxFavorites->setFocus();
    QTest::keyClick(form->ComboBoxFavorites, Qt::Key_PageDown);
    QApplication::processEvents();
    EXPECT_EQ(boxes->seen, QStringList({"Änderungen an der Empfängerliste \"Alpha\" speichern?"}));
    EXPECT_EQ(form->ListStore().OpenListName(), "Beta");
    EXPECT_EQ(TableEmails(alpha), QStringList({"a1@x.de", "a2@x.de"})) << "the edit was discarded as answered";

    // Yes keeps the edit of the open list for good.
    TypeNameAndEnter("Alpha");
    TypeIntoCell(1, 1, "kept@x.de");
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    boxes->seen.clear();
    boxes->answers = {QMessageBox::Yes};
    TypeNameAndEnter("Beta");
    EXPECT_EQ(boxes->seen, QStringList({"Änderungen an der Empfängerliste \"Alpha\" speichern?"}));
    EXPECT_EQ(form->ListStore().OpenListName(), "Beta");
    EXPECT_EQ(TableEmails(alpha), QStringList({"a1@x.de", "kept@x.de"}));
    // No backup or lock of Alpha is left behind.
    EXPECT_FALSE(Conn().TableExists("Backup_" + alpha));
}

TEST_F(ListSafetyTest, ANameOfNoStoredListStaysInTheBoxAndKeepsTheList)
{
    AddRows({"u1@x.de"});
    MarkChangedByAKey();
    TypeNameAndEnter("Neue Liste");
    EXPECT_TRUE(boxes->seen.isEmpty()) << boxes->seen.join('|').toStdString();
    EXPECT_EQ(Grid()->TableName(), form->ListStore().TEMP);
    EXPECT_EQ(Grid()->RowCount(), 1);
    EXPECT_EQ(form->ComboBoxFavorites->currentText(), "Neue Liste");
}

// Item 2: the typed value reaches the table and the send cursor when the user leaves the page,
// also for an inserted row left for the name box.
TEST_F(ListSafetyTest, ATypedCellIsPostedWhenThePageOrTheGridIsLeft)
{
    AddRows({"old@x.de", "second@x.de"});
    TypeIntoCell(1, 0, "new@x.de");
    QTest::mouseClick(form->SpeedButtonContent, Qt::LeftButton);
    QApplication::processEvents();
    EXPECT_EQ(TableEmails(Grid()->TableName()).value(0), "new@x.de");
    recipients::TRecipients cursor(*Grid()->DataSet());
    TAssociativeArray record;
    cursor.NextRecipient(record);
    EXPECT_EQ(record.GetValue("Email"), "new@x.de");

    // An inserted row, typed, then the user clicks into the name box.
    QTest::mouseClick(form->SpeedButtonRecipients, Qt::LeftButton);
    QApplication::processEvents();
    const QRect cell = Grid()->ColumnCellRect(Grid()->VisibleColumns()[1], 1);
    QTest::mouseClick(Grid()->viewport(), Qt::LeftButton, {}, cell.center());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Insert);
    QTest::keyClicks(QApplication::focusWidget(), "inserted@x.de");
    ASSERT_EQ(DataSet().State(), db::dsInsert);
    QTest::mouseClick(form->ComboBoxFavorites->lineEdit(), Qt::LeftButton);
    QApplication::processEvents();
    QApplication::processEvents();
    EXPECT_TRUE(TableEmails(Grid()->TableName()).contains("inserted@x.de"));
    EXPECT_EQ(DataSet().State(), db::dsBrowse);
}

// Item 6: a column name with the file's separator is refused in the window, and a list with
// separators, quotes and line breaks in its values survives its own export and reload.
TEST_F(ListSafetyTest, TheOwnListFileReloadsTheSameTableAndASeparatorColumnIsRefused)
{
    AddRows({"a@x.de"});
    ASSERT_TRUE(form->ListStore().InsertRow({"1", "b@x.de", "two\r\nlines", "lf\nonly"}));
    Grid()->Reopen();

    // "Spalte hinzufügen" by its shortcut in the grid (Ctrl and "+"), with "Tel;Fax".
    auto addColumn = [this](const QString& name) {
        Activate();
        const QRect cell = Grid()->ColumnCellRect(Grid()->VisibleColumns()[0], 0);
        QTest::mouseClick(Grid()->viewport(), Qt::LeftButton, {}, cell.center());
        boxes->inputs = {name};
        QTest::keyClick(Grid(), Qt::Key_Plus, Qt::ControlModifier);
        QApplication::processEvents();
    };
    addColumn("Tel;Fax");
    EXPECT_EQ(boxes->seen, QStringList({"Diese Spalte konnte nicht erstellt werden. (Der Name darf kein \";\" enthalten.)"}));
    EXPECT_FALSE(Grid()->GetFieldNames().contains("Tel;Fax"));
    addColumn("Tel");
    ASSERT_TRUE(Grid()->GetFieldNames().contains("Tel"));

    // Values with ";" and quotes typed into the cells.
    TypeIntoCell(2, 0, "Mueller; Meier");
    TypeIntoCell(4, 1, "\"Haus\" 12");
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QTest::keyClick(Grid(), Qt::Key_Up);
    const QString table = Grid()->TableName();
    const QString query = "SELECT Status, Email, \"Last Name\", \"First Name\", ifnull(Tel, '') FROM %1 ORDER BY _ID";
    const QList<QVariantList> before = Conn().Select(query.arg(db::QuoteName(table)));
    ASSERT_EQ(before.value(0).value(2).toString(), "Mueller; Meier");
    ASSERT_EQ(before.value(1).value(4).toString(), "\"Haus\" 12");

    // "Export", then "Öffnen" of the same file (the save question answered No).
    // The offscreen platform's file dialog does not reliably take a typed name once the web
    // engine has run in the process: the file name comes from the window's file-dialog hook.
    const QString file = dir.file("liste.csv");
    form->FileDialog = [file](bool, const QString&, const QString&) { return file; };
    boxes->seen.clear();
    QTest::mouseClick(form->SpeedButtonSaverecipients, Qt::LeftButton);
    QApplication::processEvents();
    ASSERT_TRUE(QFile::exists(file));
    boxes->answers = {QMessageBox::No};
    Activate();
    QTest::mouseClick(form->SpeedButtonLoadrecipients, Qt::LeftButton);
    QApplication::processEvents();
    EXPECT_EQ(boxes->seen, QStringList({"Änderungen an der Empfängerliste \"unbenannt\" speichern?"}));
    EXPECT_EQ(Conn().Select(query.arg(db::QuoteName(Grid()->TableName()))), before);
}

// SIGTERM (logout, shutdown) with a stored list open and edited: the program ends without a
// question, and the next start opens the list as it was saved and offers the edits; no table of
// the killed run is left behind.
TEST_F(ListSafetyTest, SigtermKeepsTheEditsForTheRecoveryAtTheNextStart)
{
    StoreList("Kunden", {"a@x.de", "b@x.de"});
    const QString table = Grid()->TableName();
    const QString temp = form->ListStore().TEMP;
    TypeIntoCell(1, 0, "edited@x.de");
    bool quit = false;
    auto signals_ = app::InstallEndSignals(*form, [&quit] { quit = true; });
    ASSERT_TRUE(signals_);
    std::raise(SIGTERM);
    QTRY_VERIFY_WITH_TIMEOUT(quit, 5000);
    EXPECT_TRUE(quit);
    EXPECT_TRUE(boxes->seen.isEmpty()) << "no question at a signal";
    EXPECT_EQ(TableEmails(table).value(0), "edited@x.de") << "the typed cell went into the table";
    const QString dbFile = Conn().FileName();
    const QString lock = Conn().Scalar("SELECT LockedBy FROM RecipientsLists WHERE Name = 'Kunden'").toString();
    signals_.reset();
    form.reset();

    // What the next run finds: the list's edits and its backup, a lock of a process that has
    // ended (this test process stands for it: the next run is another instance), no other table.
    db::Connection c;
    c.Open(dbFile);
    QStringList tables;
    for (const QVariantList& r : c.Select("SELECT name FROM sqlite_master WHERE type = 'table' ORDER BY name"))
        tables << r.value(0).toString();
    EXPECT_FALSE(tables.contains(temp)) << tables.join(',').toStdString();
    EXPECT_TRUE(tables.contains("Backup_" + table)) << tables.join(',').toStdString();
    EXPECT_EQ(c.Scalar("SELECT LockedBy FROM RecipientsLists WHERE Name = 'Kunden'").toString(), lock);

    struct Prompts : recipients::IListPrompts {
        QStringList asked;
        recipients::TAnswer Ask(const QString& text, recipients::TAskButtons) override
        {
            asked << text;
            return recipients::TAnswer::No;
        }
        void Message(const QString&) override {}
        void Information(const QString&) override {}
        void Warning(const QString&) override {}
    } prompts;
    recipients::TRecipientListStore next(c, &prompts);
    next.TEMP = "temp1";
    next.Instance = 1; // another run of this user on this host
    ASSERT_TRUE(next.OpenStoredList("Kunden"));
    EXPECT_EQ(prompts.asked, QStringList({"Die Liste \"Kunden\" konnte in der letzten Sizung nicht gespeichert werden.\rMöchten "
                                          "Sie diese Liste jetzt wiederherstellen? Klicken Sie \"Nein\" um die Änderungen zu verwerfen."}));
    QStringList emails;
    for (const QVariantList& r : c.Select("SELECT Email FROM " + db::QuoteName(table) + " ORDER BY _ID"))
        emails << r.value(0).toString();
    EXPECT_EQ(emails, QStringList({"a@x.de", "b@x.de"})) << "the list as it was saved";
    next.CloseList();
    EXPECT_FALSE(c.TableExists("Backup_" + table));
}

} // namespace
