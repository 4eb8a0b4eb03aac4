#pragma once
// The main window with its own folders and scripted message boxes, input boxes, file dialogs,
// beep and flash; helpers to fill and read the open recipient list.
#include "app/MainForm.h"
#include "controls/nbStatusBar.h"
#include "platform/db/ExtADODataSet.h"
#include "recipients/views/RecipientsGrid.h"
#include "TestUtil.h"

#include <QApplication>
#include <QComboBox>
#include <QStackedWidget>
#include <QTest>
#include <deque>
#include <gtest/gtest.h>
#include <memory>
#include <unistd.h>

QT_BEGIN_NAMESPACE
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }
QT_END_NAMESPACE

namespace pagetest {

// The window's HTML editor starts the web engine, which refuses its sandbox as root.
inline const bool kWebEngineEnvironment = [] {
    if (::geteuid() == 0)
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", QByteArray("1"));
    return true;
}();

class RecipientsPageTest : public ::testing::Test {
protected:
    qlytest::TempDir dir;
    QStringList shown;                                  // every message box text, in order
    std::deque<QMessageBox::StandardButton> answers;    // answers to questions; none: Cancel/OK
    std::deque<std::optional<QString>> inputs;          // answers of the input box
    QString fileAnswer;
    int beeps = 0;
    QList<QWidget*> flashed;
    QStringList errors;
    std::unique_ptr<app::TMainForm> form;

    void SetUp() override { form = Make(); }
    void TearDown() override
    {
        form.reset();
        EXPECT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();
    }

    std::unique_ptr<app::TMainForm> Make()
    {
        app::TMainFormSite site;
        site.programFolder = dir.path();
        site.appDataFolder = dir.file("data");
        site.messageBox = [this](const QString&, const QString& text, QMessageBox::StandardButtons buttons) {
            shown << text;
            if (!answers.empty()) {
                const auto a = answers.front();
                answers.pop_front();
                return a;
            }
            return buttons.testFlag(QMessageBox::Ok) && !buttons.testFlag(QMessageBox::Cancel) ? QMessageBox::Ok
                                                                                                : QMessageBox::Cancel;
        };
        site.onException = [this](std::exception_ptr e) {
            try {
                std::rethrow_exception(e);
            } catch (const std::exception& ex) {
                errors << QString::fromUtf8(ex.what());
            }
        };
        auto f = std::make_unique<app::TMainForm>(site);
        f->InputQuery = [this](const QString&, const QString&, const QString&) -> std::optional<QString> {
            if (inputs.empty())
                return std::nullopt;
            auto a = inputs.front();
            inputs.pop_front();
            return a;
        };
        f->FileDialog = [this](bool, const QString&, const QString&) { return fileAnswer; };
        f->BeepSound = [this] { ++beeps; };
        f->FlashWindow = [this](QWidget* w) { flashed << w; };
        return f;
    }

    recipients::TRecipientsGrid* Grid() const { return form->StringGridFavorites; }
    db::TExtADODataSet& DataSet() const { return form->ListStore().DataSet(); }
    db::Connection& Conn() const { return form->Connection(); }

    // Rows into the open list: email, last name, first name, status.
    void AddRows(const QList<QStringList>& rows)
    {
        for (const QStringList& r : rows) {
            QString error;
            ASSERT_TRUE(form->ListStore().InsertRow({r.value(3, "0"), r.value(0), r.value(1), r.value(2)}, &error))
                << error.toStdString();
        }
        Grid()->Reopen();
    }
    // Email column of the grid's dataset, in the shown order.
    QStringList Emails() const
    {
        QStringList out;
        auto& ds = DataSet();
        const int keep = ds.RecNo();
        for (ds.First(); !ds.Eof(); ds.Next())
            out << ds.FieldByName("Email")->AsString();
        if (keep > 0)
            ds.SetRecNo(keep);
        return out;
    }
    QString CurrentEmail() const { return DataSet().FieldByName("Email")->AsString(); }
    QString StatusText() const { return form->StatusBar1->Panels()[1]->Text(); }
    void ShowRecipientsPage()
    {
        form->resize(900, 600);
        form->show();
        form->BackGroundBottom->setCurrentWidget(form->TabRecipients);
        QApplication::processEvents();
    }
    // Selects the rows with these record numbers (1-based) and leaves the current row at `current`.
    void Select(const QList<int>& recNos, int current)
    {
        for (int r : recNos) {
            DataSet().SetRecNo(r);
            Grid()->SelectedRows()->SetCurrentRowSelected(true);
        }
        DataSet().SetRecNo(current);
    }
};

} // namespace pagetest
