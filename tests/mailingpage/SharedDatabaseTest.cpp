// Two programs on one database file, as the user has them: this test's window (program A) shows
// a list of 1,000 recipients, takes a typed cell and sends the mailing to a local SMTP server,
// while a second process (program B, qly_import_peer) imports a large list into the same file.
// QLY_SHARED_IMPORT_ROWS sets B's rows (default 1,000,000).
#include "MailTestUtil.h"
#include "app/MailingPage.h"
#include "app/MainForm.h"
#include "controls/OrvRollOverButtons.h"
#include "controls/ZedSpin.h"
#include "mailing/MailingLog.h"
#include "platform/db/ExtADODataSet.h"
#include "recipients/RecipientListStore.h"
#include "recipients/views/RecipientsGrid.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QMessageBox>
#include <QProcess>
#include <QRadioButton>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <deque>
#include <gtest/gtest.h>

using app::TMainForm;
using namespace mailtest;

namespace {

// The largest gap between two turns of the event loop while it runs.
class LoopGaps : public QObject {
public:
    LoopGaps()
    {
        m_timer.setInterval(5);
        QObject::connect(&m_timer, &QTimer::timeout, this, [this] {
            const qint64 now = m_clock.elapsed();
            if (m_last >= 0)
                m_max = std::max(m_max, now - m_last);
            m_last = now;
        });
        m_clock.start();
        m_timer.start();
    }
    qint64 Max() const { return m_max; }

private:
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_last = -1;
    qint64 m_max = 0;
};

bool WaitFor(const std::function<bool()>& condition, int timeoutMs)
{
    QElapsedTimer t;
    t.start();
    while (!condition()) {
        if (t.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(1);
    }
    return true;
}

} // namespace

TEST(SharedDatabase, AWindowSendsAndEditsWhileAnotherProgramImportsALargeList)
{
    qlytest::TempDir dir;
    QStringList shown;  // every message the window showed
    app::TMainFormSite site;
    site.programFolder = dir.path();
    site.appDataFolder = dir.file("data");
    site.messageBox = [&](const QString&, const QString& text, QMessageBox::StandardButtons buttons) {
        shown.append(text);
        return buttons.testFlag(QMessageBox::Yes) ? QMessageBox::Yes : QMessageBox::Ok;
    };
    site.onException = [](std::exception_ptr e) {
        try {
            std::rethrow_exception(e);
        } catch (const std::exception& ex) {
            ADD_FAILURE() << ex.what();
        }
    };
    // Boxes the window opens by itself (a busy database, a failed read while painting).
    QTimer boxWatch;
    QObject::connect(&boxWatch, &QTimer::timeout, [&] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible()) {
                shown.append(box->objectName() + QStringLiteral(": ") + box->text());
                box->reject();
            }
    });
    boxWatch.start(20);

    auto f = std::make_unique<TMainForm>(site);
    f->show();
    QApplication::setActiveWindow(f.get());
    f->RadioButtonPlainTextMail->setChecked(true);
    f->EditFrom->setText("info@absender.de");
    f->EditName->setText("Absender");
    f->ComboBoxSubject->setEditText("Hallo %First Name%");
    f->MemoMailBody->setPlainText("Guten Tag %Last Name%");
    SmtpPeer peer;
    f->EditSmtpServer->setText(peer.server());
    f->SpinEditThreads->SetValue(4);

    constexpr int mails = 1000;
    db::Connection& conn = f->Connection();
    const QString table = f->OpenListTable();
    {
        db::Transaction t(conn);
        for (int i = 0; i < mails; ++i)
            conn.Execute(QStringLiteral("INSERT INTO \"%1\" (\"Email\", \"Last Name\", \"First Name\") VALUES (?, ?, ?)").arg(table),
                         {QStringLiteral("r%1@x.de").arg(i), QStringLiteral("Name%1").arg(i), QStringLiteral("V%1").arg(i)});
        t.Commit();
    }
    f->ListStore().Requery();
    QTest::mouseClick(f->SpeedButtonRecipients, Qt::LeftButton);
    QApplication::processEvents();

    // Program B starts its import.
    const int rows = qEnvironmentVariableIsSet("QLY_SHARED_IMPORT_ROWS") ? qEnvironmentVariableIntValue("QLY_SHARED_IMPORT_ROWS")
                                                                           : 1000000;
    QProcess importer;
    importer.start(QStringLiteral(QLY_IMPORT_PEER), {conn.FileName(), QString::number(rows)});
    ASSERT_TRUE(importer.waitForStarted(10000));
    ASSERT_TRUE(WaitFor([&] { return importer.canReadLine() || importer.state() != QProcess::Running; }, 60000));
    ASSERT_EQ(importer.readLine().trimmed(), "importing") << importer.readAllStandardError().toStdString();
    LoopGaps gaps;

    // A: the grid paints its last rows, and a typed cell is posted by leaving its row.
    recipients::TRecipientsGrid* grid = f->StringGridFavorites;
    const QRect cell = grid->ColumnCellRect(grid->VisibleColumns()[2], 0);
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cell.center());
    QApplication::processEvents();
    if (QApplication::focusWidget() == grid)
        QTest::keyClick(grid, Qt::Key_F2);
    QWidget* editor = QApplication::focusWidget();
    ASSERT_TRUE(editor && editor != grid && grid->isAncestorOf(editor));
    QTest::keyClick(editor, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(editor, QStringLiteral("Geaendert"));
    QElapsedTimer post;
    post.start();
    QTest::keyClick(editor, Qt::Key_Down);
    const qint64 postMs = post.elapsed();
    QTest::keyClick(grid, Qt::Key_End, Qt::ControlModifier);
    grid->viewport()->repaint();
    QTest::keyClick(grid, Qt::Key_Home, Qt::ControlModifier);
    QApplication::processEvents();
    const bool importingDuringPost = importer.state() == QProcess::Running;

    // A: the mailing, the grid painted now and then.
    QTimer painter;
    QObject::connect(&painter, &QTimer::timeout, [grid] { grid->viewport()->grab(); });
    painter.start(100);
    QTest::mouseClick(f->SpeedButtonSendMail, Qt::LeftButton);
    const bool importingAtStart = importer.state() == QProcess::Running;
    ASSERT_TRUE(WaitFor([&] { return !f->MailingPage().Job().Running(); }, 240000));
    const bool importingAtEnd = importer.state() == QProcess::Running;
    painter.stop();
    const qint64 maxGap = gaps.Max();
    ASSERT_TRUE(importer.waitForFinished(240000));
    std::printf("[ figures ] B: %d rows; A: largest event-loop gap %lld ms, post %lld ms; B importing during the "
                "post %d, at the mailing's start %d, at its end %d\n",
                rows, maxGap, postMs, importingDuringPost, importingAtStart, importingAtEnd);

    EXPECT_EQ(importer.exitCode(), 0) << importer.readAllStandardError().toStdString();
    EXPECT_EQ(importer.readAllStandardOutput().trimmed(), QByteArray("done ") + QByteArray::number(rows));
    EXPECT_TRUE(importingDuringPost && importingAtStart) << "B imported while A posted and began the mailing";
    // A 5 s busy wait of the window's connection (the old behaviour) shows here; the 200 ms
    // target itself is measured by hand (see the README).
    EXPECT_LT(maxGap, 1000);
    EXPECT_EQ(shown, QStringList{"Mit dem Versand der Mails jetzt beginnen?"}) << "no error appears";
    for (const QString& line : f->MemoLogFile->Lines())
        EXPECT_FALSE(line.contains("Fehler")) << line.toStdString();

    // The typed value is in the table; every mail the server accepted is marked, once.
    EXPECT_EQ(conn.Scalar(QStringLiteral("SELECT \"Last Name\" FROM \"%1\" ORDER BY \"_ID\" LIMIT 1").arg(table)).toString(),
              QStringLiteral("Geaendert"));
    QStringList accepted;
    for (const QJsonObject& e : peer.events())
        if (e.value("ev").toString() == "data")
            for (const QJsonValue& to : e.value("rcpts").toArray())
                accepted.append(to.toString());
    QStringList marked;
    for (const QVariantList& r : conn.Select(QStringLiteral("SELECT \"Email\" FROM \"%1\" WHERE \"Status\" = 1").arg(table)))
        marked.append(r.value(0).toString());
    accepted.sort();
    marked.sort();
    EXPECT_EQ(accepted.size(), mails);
    EXPECT_EQ(accepted, marked);

    // A second mailing sends nothing.
    QTest::mouseClick(f->SpeedButtonSendMail, Qt::LeftButton);
    ASSERT_TRUE(WaitFor([&] { return !f->MailingPage().Job().Running(); }, 60000));
    QApplication::processEvents();
    EXPECT_EQ(peer.count("data"), mails);
    f->close();
}

// Another program holds the database while the user leaves the grid with a typed cell: the
// window waits only briefly, then asks in German; "Abbrechen" keeps the typed value pending,
// "Wiederholen" once the database is free writes it.
TEST(SharedDatabase, APostOnABusyDatabaseAsksWithARetryAndKeepsTheValue)
{
    qlytest::TempDir dir;
    app::TMainFormSite site;
    site.programFolder = dir.path();
    site.appDataFolder = dir.file("data");
    site.messageBox = [](const QString&, const QString&, QMessageBox::StandardButtons) { return QMessageBox::Ok; };
    auto f = std::make_unique<TMainForm>(site);
    f->show();
    QApplication::setActiveWindow(f.get());
    db::Connection& conn = f->Connection();
    const QString table = f->OpenListTable();
    conn.Execute(QStringLiteral("INSERT INTO \"%1\" (\"Email\", \"Last Name\") VALUES ('a@x.de', 'Alt'), ('b@x.de', 'B')").arg(table));
    f->ListStore().Requery();
    QTest::mouseClick(f->SpeedButtonRecipients, Qt::LeftButton);
    QApplication::processEvents();

    db::Connection other;
    other.Open(conn.FileName());
    other.Execute(QStringLiteral("BEGIN IMMEDIATE"));

    recipients::TRecipientsGrid* grid = f->StringGridFavorites;
    const QRect cell = grid->ColumnCellRect(grid->VisibleColumns()[2], 0);
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cell.center());
    QApplication::processEvents();
    if (QApplication::focusWidget() == grid)
        QTest::keyClick(grid, Qt::Key_F2);
    QWidget* editor = QApplication::focusWidget();
    ASSERT_TRUE(editor && editor != grid && grid->isAncestorOf(editor));
    QTest::keyClick(editor, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(editor, "Neu");

    // The box is answered by the user: first Abbrechen, then Wiederholen after the other
    // program has let go.
    std::deque<QMessageBox::StandardButton> answers{QMessageBox::Cancel, QMessageBox::Retry};
    QStringList texts, buttons;
    QTimer user;
    QObject::connect(&user, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || !box->isVisible() || answers.empty() || box->property("answered").toBool())
            return;
        box->setProperty("answered", true);
        texts.append(box->objectName() + ": " + box->text());
        if (buttons.isEmpty()) {
            for (QAbstractButton* b : box->buttons())
                buttons.append(b->text());
            if (const QString shot = qEnvironmentVariable("QLY_SCREENSHOT_DIR"); !shot.isEmpty())
                box->grab().save(shot + "/database-busy.png");
        }
        const QMessageBox::StandardButton answer = answers.front();
        answers.pop_front();
        if (answer == QMessageBox::Retry)
            other.Execute(QStringLiteral("COMMIT"));
        QTest::mouseClick(box->button(answer), Qt::LeftButton);
    });
    user.start(20);
    const auto lastName = [&] {
        return conn.Scalar(QStringLiteral("SELECT \"Last Name\" FROM \"%1\" ORDER BY \"_ID\" LIMIT 1").arg(table)).toString();
    };

    QElapsedTimer clicked;
    clicked.start();
    QTest::mouseClick(f->SpeedButtonContent, Qt::LeftButton);
    QApplication::processEvents();
    ASSERT_EQ(texts.size(), 1) << texts.join(" | ").toStdString();
    EXPECT_EQ(texts[0], "DatabaseBusy: Die Datenbank ist zurzeit von einem anderen Programm belegt. Die Aktion konnte "
                        "deshalb nicht ausgeführt werden.\n\n(database is locked)");
    EXPECT_EQ(buttons, QStringList({"Wiederholen", "Abbrechen"}));
    EXPECT_EQ(lastName(), "Alt");
    EXPECT_EQ(f->ListStore().DataSet().State(), db::dsEdit) << "the typed value stays pending";

    QTest::qWait(1100);  // the user reads, then tries again
    QTest::mouseClick(f->SpeedButtonRecipients, Qt::LeftButton);
    QTest::mouseClick(f->SpeedButtonContent, Qt::LeftButton);
    QApplication::processEvents();
    EXPECT_EQ(texts.size(), 2);
    EXPECT_EQ(lastName(), "Neu");
    f->close();
}
