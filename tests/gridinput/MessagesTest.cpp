// Characters against the window's shortcuts, and the combo and date notifications.
#include "InputFixture.h"
#include "grid/editors/GridEditors.h"

#include <QApplication>
#include <QShortcut>
#include <QTest>
#include <QVBoxLayout>
#include <gtest/gtest.h>

using namespace grid;
using namespace inputtest;

TEST(DialogChars, TypedCharactersStayInTheGridAltAndCtrlReachTheWindow)
{
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    auto g = fruitGrid();
    layout->addWidget(g.get());
    g->SetGridOptions(g->GridOptions() | tk::goEditing);
    int plain = 0, alt = 0, ctrl = 0;
    QObject::connect(new QShortcut(QKeySequence("S"), &window), &QShortcut::activated, [&] { ++plain; });
    QObject::connect(new QShortcut(QKeySequence("Alt+S"), &window), &QShortcut::activated, [&] { ++alt; });
    QObject::connect(new QShortcut(QKeySequence("Ctrl+S"), &window), &QShortcut::activated, [&] { ++ctrl; });
    window.show();
    QApplication::setActiveWindow(&window);
    g->setFocus();
    ASSERT_EQ(QApplication::focusWidget(), g.get());

    QTest::keyClick(g.get(), Qt::Key_S);
    EXPECT_EQ(plain, 0);
    ASSERT_TRUE(g->EditorVisible());   // the grid took the character: the editor opened with it
    EXPECT_EQ(g->InplaceEditor()->Text(), "s");
    g->HideEditor();
    g->setFocus();

    QTest::keyClick(g.get(), Qt::Key_S, Qt::AltModifier);
    QTest::keyClick(g.get(), Qt::Key_S, Qt::ControlModifier);
    EXPECT_EQ(alt, 1);
    EXPECT_EQ(ctrl, 1);
    EXPECT_EQ(plain, 0);
    layout->removeWidget(g.get());
    g->setParent(nullptr);
}

namespace {

struct Editors {
    QWidget window;
    TZedEzeravIvur* grid = new TZedEzeravIvur(&window);
    std::vector<std::string> events;
    Editors()
    {
        window.resize(500, 320);
        grid->setGeometry(0, 0, 480, 300);
        grid->SetGridOptions(grid->GridOptions() | tk::goEditing);
        grid->OnGetEditorType = [](QObject*, int col, int row, TEditorType& kind) {
            if (col == 2 && row == 2)
                kind = edComboList;
            else if (col == 2 && row == 3)
                kind = edComboEdit;
            else if (col == 2 && row == 4)
                kind = edDateEditUpDown;
            else if (col == 2 && row == 5)
                kind = edUniComboEdit;
        };
        grid->OnComboChange = [this](QObject*, int col, int row, int index, const QString& text) {
            events.push_back(QString("change %1,%2 %3 %4").arg(col).arg(row).arg(index).arg(text).toStdString());
        };
        grid->OnComboCloseUp = [this](QObject*, int row, int col) {
            events.push_back(QString("closeup %1,%2").arg(col).arg(row).toStdString());
        };
        grid->OnDateTimeChange = [this](QObject*, int col, int row, const QDateTime& v) {
            events.push_back(QString("date %1,%2 %3").arg(col).arg(row).arg(v.date().toString(Qt::ISODate)).toStdString());
        };
        window.show();
        QApplication::setActiveWindow(&window);
    }
    void open(int col, int row, const QString& text)
    {
        grid->SetCells(col, row, text);
        grid->FocusCell(col, row, true);
        grid->setFocus();
        grid->ShowEditor();
        QApplication::processEvents();
    }
};

} // namespace

TEST(Notifications, ComboReportsTheUsersChoicesOnly)
{
    Editors e;
    auto* combo = e.grid->GridCombo();
    combo->addItems({"a", "b", "c"});
    e.open(2, 2, "a");
    ASSERT_TRUE(combo->isVisible());
    combo->setCurrentIndex(1);   // by code
    EXPECT_TRUE(e.events.empty());
    QTest::keyClick(combo, Qt::Key_Down);   // the user picks "c", once
    EXPECT_EQ(e.events, (std::vector<std::string>{"change 2,2 2 c"}));
    emit combo->activated(0);   // what the toolkit sends for a pick in the list
    EXPECT_EQ(e.events.back(), "change 2,2 0 a");
    e.grid->EndInplaceEdit();
    e.events.clear();

    // The edit of an editable combo: each typed change, with index -1; text set by code nothing.
    e.open(2, 3, "");
    ASSERT_TRUE(combo->isVisible() && combo->isEditable());
    QTest::keyClicks(combo, "xy");
    EXPECT_EQ(e.events, (std::vector<std::string>{"change 2,3 -1 x", "change 2,3 -1 xy"}));
    e.events.clear();
    combo->setEditText("zz");
    combo->setCurrentIndex(0);
    EXPECT_TRUE(e.events.empty());

    // The list closing (last: offscreen the popup keeps the activation).
    combo->showPopup();
    combo->hidePopup();
    EXPECT_EQ(e.events, (std::vector<std::string>{"closeup 2,3"}));
}

TEST(Notifications, WideComboReportsEditsAndChoices)
{
    Editors e;
    auto* combo = e.grid->GridUniCombo();
    combo->addItems({"a", "b"});
    e.open(2, 5, "");
    ASSERT_TRUE(combo->isVisible());
    QTest::keyClicks(combo, "q");
    combo->setEditText("by code");
    // The user's pick: the toolkit sets the item, then reports it.
    combo->setCurrentIndex(1);
    emit combo->activated(1);
    combo->showPopup();
    combo->hidePopup();
    EXPECT_EQ(e.events, (std::vector<std::string>{"change 2,5 -1 q", "change 2,5 1 b", "closeup 2,5"}));
}

TEST(Notifications, DatePickerReportsTheUsersChangesOnly)
{
    Editors e;
    e.open(2, 4, "10.03.2024");
    auto* picker = e.grid->GridDatePicker();
    ASSERT_TRUE(picker->isVisible());
    const QDate shown = picker->date();
    EXPECT_TRUE(e.events.empty());   // showing the editor sets the date by code
    picker->setDate(shown.addDays(3));
    EXPECT_TRUE(e.events.empty());

    picker->setCurrentSection(QDateTimeEdit::DaySection);
    QTest::keyClick(picker, Qt::Key_Up);
    ASSERT_EQ(e.events.size(), 1u);
    EXPECT_EQ(e.events[0], "date 2,4 " + shown.addDays(4).toString(Qt::ISODate).toStdString());
    picker->PickDate(QDate(2024, 12, 24));
    ASSERT_EQ(e.events.size(), 2u);
    EXPECT_EQ(e.events[1], "date 2,4 2024-12-24");
    QTest::keyClick(picker, Qt::Key_Escape);   // putting the start value back is no change
    EXPECT_EQ(e.events.size(), 2u);
}
