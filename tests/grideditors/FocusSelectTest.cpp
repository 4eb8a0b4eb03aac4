// Receiving the focus: the edits with AutoSelect select their whole text, except when a left press
// on the edit itself brought the focus; the grid's Unicode editors then go by EditSelectAll.
#include "Fixture.h"

using namespace gridedit;
using namespace grid::editors;

namespace {

enum class Came { Tab, Code, LeftClick, RightClick };

// Moves the focus from `from` to `edit` the given way; returns the edit's selected text.
QString focusBy(QWidget* from, QLineEdit* edit, Came how)
{
    from->setFocus();
    QApplication::processEvents();
    edit->deselect();
    edit->setCursorPosition(0);
    switch (how) {
    case Came::Tab: QTest::keyClick(from, Qt::Key_Tab); break;
    case Came::Code: edit->setFocus(); break;
    case Came::LeftClick: QTest::mouseClick(edit, Qt::LeftButton, {}, QPoint(4, edit->height() / 2)); break;
    case Came::RightClick: QTest::mouseClick(edit, Qt::RightButton, {}, QPoint(4, edit->height() / 2)); break;
    }
    QApplication::processEvents();
    EXPECT_TRUE(edit->hasFocus());
    return edit->selectedText();
}

// The three kinds of edit with the property, each after a line edit in the focus chain.
struct Case {
    const char* name;
    std::function<QLineEdit*(QWidget*)> make;
    std::function<void(QLineEdit*, bool)> setAutoSelect;
};

std::vector<Case> cases()
{
    return {
        {"spin", [](QWidget* p) { return new DAveVevaDiza(p); },
         [](QLineEdit* e, bool v) { static_cast<DAveVevaDiza*>(e)->AutoSelect = v; }},
        {"edit with button", [](QWidget* p) { return new TDidEzevBtn(p); },
         [](QLineEdit* e, bool v) { static_cast<TDidEzevBtn*>(e)->AutoSelect = v; }},
        {"Unicode edit with button", [](QWidget* p) { return new TZeiUniEditBtn(p); },
         [](QLineEdit* e, bool v) { static_cast<TDidEzevBtn*>(e)->AutoSelect = v; }},
        {"Unicode edit", [](QWidget* p) { return new TZeiUniEdit(p); },
         [](QLineEdit* e, bool v) { static_cast<TZeiUniEdit*>(e)->AutoSelect = v; }},
    };
}

} // namespace

TEST(FocusSelect, AutoSelectOnEntryExceptByALeftPressOnTheEdit)
{
    for (const Case& c : cases()) {
        SCOPED_TRACE(c.name);
        QWidget window;
        auto* before = new QLineEdit(&window);
        QLineEdit* e = c.make(&window);
        before->setGeometry(0, 0, 120, 24);
        e->setGeometry(0, 40, 120, 24);
        e->setText("42");
        window.show();
        QApplication::setActiveWindow(&window);

        EXPECT_EQ(focusBy(before, e, Came::Tab), "42");
        EXPECT_EQ(focusBy(before, e, Came::Code), "42");
        EXPECT_EQ(focusBy(before, e, Came::RightClick), "42");
        EXPECT_EQ(focusBy(before, e, Came::LeftClick), "");

        // Off: nothing is selected, also where Qt would select by itself (Tab).
        c.setAutoSelect(e, false);
        EXPECT_EQ(focusBy(before, e, Came::Tab), "");
        EXPECT_EQ(focusBy(before, e, Came::Code), "");
    }
}

TEST(FocusSelect, SpinWithoutTypingSelectsAlsoOnAClickAndTheButtonEditOnItsButtonsRelease)
{
    QWidget window;
    auto* before = new QLineEdit(&window);
    auto* spin = new DAveVevaDiza(&window);
    auto* edit = new TDidEzevBtn(&window);
    before->setGeometry(0, 0, 120, 24);
    spin->setGeometry(0, 40, 120, 24);
    edit->setGeometry(0, 80, 120, 24);
    window.show();
    QApplication::setActiveWindow(&window);
    spin->SetValue(42);
    spin->SetEditorEnabled(false);
    EXPECT_EQ(focusBy(before, spin, Came::LeftClick), "42");

    // A press on the button acts on its release; the focus it brought selects then, after the
    // button's own action.
    edit->setText("abc");
    QString seenByButton;
    edit->OnClickBtn = [&](QObject*) { seenByButton = edit->selectedText(); };
    before->setFocus();
    QApplication::processEvents();
    edit->deselect();
    QTest::mousePress(edit->Button(), Qt::LeftButton, {}, QPoint(3, 3));
    EXPECT_TRUE(edit->hasFocus());
    EXPECT_EQ(edit->selectedText(), "");
    QTest::mouseRelease(edit->Button(), Qt::LeftButton, {}, QPoint(3, 3));
    EXPECT_EQ(seenByButton, "");
    EXPECT_EQ(edit->selectedText(), "abc");
    // With the focus already in the edit, the button's release selects nothing.
    edit->setCursorPosition(1);
    QTest::mouseClick(edit->Button(), Qt::LeftButton, {}, QPoint(3, 3));
    EXPECT_EQ(edit->selectedText(), "");
}

// The grid's editors: the edit with a button and the spin come up with their text selected, so a
// character typed into the cell replaces it; the Unicode edit keeps the selection only with
// EditSelectAll.
TEST_F(GridEditFixture, EditorsSelectOnShowingByTheirRules)
{
    open(1, 1, "abc", edEditBtn);
    EXPECT_EQ(grid->GridEditBtn()->selectedText(), "abc");
    open(1, 2, "7", edSpinEdit);
    EXPECT_EQ(grid->GridSpin()->selectedText(), "7");
    for (bool all : {false, true}) {
        grid->Navigation()->EditSelectAll = all;
        open(2, 1, QString::fromUtf8("Ωx"), edUniEdit);
        ASSERT_EQ(grid->ShownEditorControl(), grid->GridUniEdit());
        EXPECT_EQ(grid->GridUniEdit()->selectedText(), all ? QString::fromUtf8("Ωx") : QString());
        EXPECT_EQ(grid->GridUniEdit()->cursorPosition(), 2);
        open(2, 2, "xyz", edUniEditBtn);
        EXPECT_EQ(grid->GridUniEditBtn()->selectedText(), all ? "xyz" : "");
        grid->GridUniEditBtn()->clearFocus();
    }
}
