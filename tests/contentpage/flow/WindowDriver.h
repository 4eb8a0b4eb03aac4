#pragma once
// Driving the whole main window as a user does: the window's own message boxes and file dialogs
// are answered by clicking their buttons and typing into them once they show.
#include "app/MainForm.h"
#include "TestUtil.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QApplication>
#include <QCompleter>
#include <QDialogButtonBox>
#include <QPushButton>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QTest>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>
#include <memory>

namespace flowtest {

// Answers the modal message boxes of the window in order, recording their texts.
class BoxAnswerer : public QObject {
public:
    explicit BoxAnswerer(QObject* parent = nullptr) : QObject(parent)
    {
        m_timer.setInterval(20);
        connect(&m_timer, &QTimer::timeout, this, [this] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box || box == m_last)
                return;
            m_last = box;
            texts << box->text();
            if (answers.isEmpty() && fallback != QMessageBox::NoButton && box->button(fallback)) {
                QTest::mouseClick(box->button(fallback), Qt::LeftButton);
                return;
            }
            if (answers.isEmpty()) {
                ADD_FAILURE() << "unexpected message box: " << box->text().toStdString();
                box->reject();
                return;
            }
            QAbstractButton* b = box->button(answers.takeFirst());
            if (!b) {
                ADD_FAILURE() << "the box has not the button to answer: " << box->text().toStdString();
                box->reject();
                return;
            }
            QTest::mouseClick(b, Qt::LeftButton);
        });
        m_timer.start();
    }
    QList<QMessageBox::StandardButton> answers;
    // The answer to boxes beyond those (none: such a box fails the test).
    QMessageBox::StandardButton fallback = QMessageBox::NoButton;
    QStringList texts;

private:
    QTimer m_timer;
    QPointer<QMessageBox> m_last;
};

// Once the next file dialog shows, runs what the test wants to do with it.
inline void WhenFileDialogShows(std::function<void(QFileDialog*)> action)
{
    auto* timer = new QTimer;
    timer->setInterval(20);
    QObject::connect(timer, &QTimer::timeout, [timer, action] {
        auto* dlg = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (!dlg)
            return;
        timer->stop();
        timer->deleteLater();
        action(dlg);
    });
    timer->start();
}

// Types into the file dialog's name box as a user does: the folder first (Enter opens it),
// then the file's name, then a click on the accept button. A folder alone is only opened.
inline void TypeIntoFileDialog(QFileDialog* dlg, const QString& path)
{
    auto* edit = dlg->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    ASSERT_NE(edit, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(dlg));
    const QFileInfo info(path);
    const QString folder = info.isDir() ? info.absoluteFilePath() : info.absolutePath();
    auto typeText = [edit](const QString& text) {
        edit->setFocus();
        edit->selectAll();
        QTest::keyClick(edit, Qt::Key_Delete);
        QTest::keyClicks(edit, text);
        if (QCompleter* c = edit->completer(); c && c->popup() && c->popup()->isVisible())
            c->popup()->hide();
    };
    typeText(folder + QLatin1Char('/'));
    QTest::keyClick(edit, Qt::Key_Return);
    ASSERT_TRUE(QTest::qWaitFor([&] { return dlg->directory().absolutePath() == folder; }, 5000))
        << dlg->directory().absolutePath().toStdString() << " typed: " << edit->text().toStdString();
    if (info.isDir())
        return;
    typeText(info.fileName());
    auto* buttons = dlg->findChild<QDialogButtonBox*>(QStringLiteral("buttonBox"));
    ASSERT_NE(buttons, nullptr);
    QAbstractButton* accept = buttons->button(QDialogButtonBox::Open);
    if (!accept)
        accept = buttons->button(QDialogButtonBox::Save);
    ASSERT_NE(accept, nullptr);
    QTest::mouseClick(accept, Qt::LeftButton);
}

// A start of the program's window in a test folder with the window's own message boxes.
inline std::unique_ptr<app::TMainForm> StartWindow(const qlytest::TempDir& dir)
{
    app::TMainFormSite site;
    site.programFolder = dir.path();
    site.appDataFolder = dir.file("data");
    site.onException = [](std::exception_ptr e) {
        try {
            std::rethrow_exception(e);
        } catch (const std::exception& ex) {
            ADD_FAILURE() << ex.what();
        }
    };
    auto f = std::make_unique<app::TMainForm>(site);
    f->resize(900, 700);
    f->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(f.get()));
    return f;
}

// A fresh settings store for one test, also when all tests run in one process.
inline void ForgetSettings()
{
    QDir(qEnvironmentVariable("XDG_CONFIG_HOME")).removeRecursively();
}

} // namespace flowtest
