// Characters against the window's shortcuts, and the combo and date notifications.
#include "InputFixture.h"

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
