// The default in-place edit: filters, limit, completion, paste, caret walking and leaving it.
#include "Fixture.h"

#include <QClipboard>

using namespace gridedit;


TEST_F(GridEditFixture, LengthLimitDropsTypingButNotOverASelection)
{
    grid->MaxEditLength = 3;
    open(1, 1, "abc", edNormal);
    auto* e = inplace();
    ASSERT_TRUE(e && e->isVisible());
    e->setCursorPosition(3);
    QTest::keyClick(e, Qt::Key_D);
    EXPECT_EQ(e->text(), "abc");
    e->setSelection(0, 1);
    QTest::keyClick(e, Qt::Key_X);
    EXPECT_EQ(e->text(), "xbc");
    QTest::keyClick(e, Qt::Key_Backspace);
    EXPECT_EQ(e->text(), "bc");
}

TEST_F(GridEditFixture, CharacterFiltersByKindWithBeeps)
{
    struct Case {
        TEditorType kind;
        QString start;
        int caret;
        QString typed;
        QString result;
        int beeps;
    };
    const std::vector<Case> cases = {
        {edFloat, "1,5", 3, ",", "1,5", 0},     // a second decimal separator, silently
        {edFloat, "1,5", 3, "a", "1,5", 0},     // a letter, silently
        {edFloat, "1,5", 1, "-", "1,5", 1},     // "-" not at the start beeps
        {edFloat, "15", 0, "-", "-15", 0},
        {edFloat, "15", 2, ".", "15", 0},       // the thousands separator never
        {edNumeric, "12", 2, "a", "12", 1},
        {edNumeric, "12", 0, "-", "-12", 0},
        {edNumeric, "-12", 0, "-", "-12", 1},
        {edPositiveNumeric, "12", 0, "-", "12", 1},
        {edUpperCase, "", 0, "ab", "AB", 0},
        {edLowerCase, "", 0, "AB", "ab", 0},
        {edMixedCase, "", 0, "mary smith", "Mary Smith", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE((c.start + " + " + c.typed).toStdString());
        grid->HideEditor();
        open(1, 1, c.start, c.kind);
        auto* e = inplace();
        ASSERT_TRUE(e && e->isVisible());
        e->setCursorPosition(c.caret);
        beeps = 0;
        QTest::keyClicks(e, c.typed);
        EXPECT_EQ(e->text(), c.result);
        EXPECT_EQ(beeps, c.beeps);
        EXPECT_EQ(grid->Cells(1, 1), c.result);
    }
}

TEST_F(GridEditFixture, MixedCaseKeepsTheCaretAfterTheTypedCharacter)
{
    open(1, 1, "ary", edMixedCase);
    auto* e = inplace();
    e->setCursorPosition(0);
    QTest::keyClicks(e, "m");
    EXPECT_EQ(e->text(), "Mary");
    EXPECT_EQ(e->cursorPosition(), 1);
}

TEST_F(GridEditFixture, CompletionFromTheLookupList)
{
    grid->Lookup = true;
    grid->SetLookupItemsList({"monday", "tuesday"});
    open(1, 1, "", edNormal);
    auto* e = inplace();
    QTest::keyClicks(e, "t");
    EXPECT_EQ(e->text(), "tuesday");
    EXPECT_EQ(e->selectedText(), "uesday");
    EXPECT_EQ(grid->Cells(1, 1), "tuesday");

    // Home puts the caret at 0: nothing typed completes nothing.
    grid->HideEditor();
    grid->SetLookupItemsList({"world"});
    open(1, 2, "hello", edNormal);
    e = inplace();
    QTest::keyClick(e, Qt::Key_Home);
    EXPECT_EQ(e->text(), "hello");

    // Completion stops at the length limit.
    grid->HideEditor();
    grid->MaxEditLength = 4;
    grid->SetLookupItemsList({"tuesday"});
    open(1, 3, "", edNormal);
    e = inplace();
    QTest::keyClicks(e, "t");
    EXPECT_EQ(e->text(), "tues");
}

TEST_F(GridEditFixture, PasswordsAreNeitherCompletedNorRecorded)
{
    grid->Lookup = true;
    grid->LookupHistory = true;
    grid->SetLookupItemsList({"secret"});
    open(1, 1, "", edPassword);
    auto* e = inplace();
    EXPECT_EQ(e->echoMode(), QLineEdit::Password);
    QTest::keyClicks(e, "s");
    EXPECT_EQ(e->text(), "s");
    EXPECT_EQ(e->displayText(), "*");
    other->setFocus();
    QApplication::processEvents();
    EXPECT_EQ(grid->LookupItemsList(), QStringList{"secret"});

    // An ordinary text is recorded when the edit is left.
    open(2, 1, "", edNormal);
    QTest::keyClicks(inplace(), "xyz");
    other->setFocus();
    QApplication::processEvents();
    EXPECT_TRUE(grid->LookupItemsList().contains("xyz"));
}

TEST_F(GridEditFixture, PasteFollowsTheKind)
{
    struct Case {
        TEditorType kind;
        QString start;
        QString pasted;
        QString result;
        int limit;
    };
    const std::vector<Case> cases = {
        {edPositiveNumeric, "", "-5", "", 0},
        {edPositiveNumeric, "1", "23", "123", 0},
        {edNumeric, "", "-5", "-5", 0},
        {edNumeric, "", "x5", "", 0},
        {edFloat, "", "1,5", "1,5", 0},
        {edUpperCase, "a", "bc", "ABC", 0},
        {edMixedCase, "", "john doe", "John Doe", 0},
        {edNormal, "ab", "cdef", "ab", 3},   // longer than the limit: nothing
    };
    for (const Case& c : cases) {
        SCOPED_TRACE((c.start + " + " + c.pasted).toStdString());
        grid->HideEditor();
        grid->MaxEditLength = c.limit;
        open(1, 1, c.start, c.kind);
        auto* e = static_cast<TZedInplaceEdit*>(inplace());
        e->setCursorPosition(int(e->text().size()));
        QGuiApplication::clipboard()->setText(c.pasted);
        QTest::keyClick(e, Qt::Key_V, Qt::ControlModifier);
        EXPECT_EQ(e->text(), c.result);
    }
}

TEST_F(GridEditFixture, CursorWalkMovesBetweenCellsKeepingTheEditor)
{
    grid->Navigation()->CursorWalkEditor = true;
    open(2, 1, "ab", edNormal);
    auto* e = inplace();
    e->setCursorPosition(2);
    QTest::keyClick(e, Qt::Key_Right);
    EXPECT_EQ(grid->Col(), 3);
    EXPECT_TRUE(inplace()->isVisible());
    inplace()->setCursorPosition(0);
    QTest::keyClick(inplace(), Qt::Key_Left);
    EXPECT_EQ(grid->Col(), 2);
    // Inside the text the caret moves and the cell stays.
    inplace()->setCursorPosition(1);
    QTest::keyClick(inplace(), Qt::Key_Left);
    EXPECT_EQ(grid->Col(), 2);
}

TEST_F(GridEditFixture, EnterValidatesAndARefusalRestoresTheStartText)
{
    grid->OnCellValidate = [](QObject*, int, int, QString& value, bool& valid) { valid = value != "bad"; };
    open(1, 1, "good", edNormal);
    auto* e = inplace();
    e->selectAll();
    QTest::keyClicks(e, "bad");
    QTest::keyClick(e, Qt::Key_Return);
    EXPECT_EQ(grid->Cells(1, 1), "good");
    EXPECT_EQ(inplace()->text(), "good");
    EXPECT_TRUE(inplace()->isVisible());
}

TEST_F(GridEditFixture, ClickingAwayValidatesAndEndsOnce)
{
    int validated = 0, done = 0;
    grid->OnCellValidate = [&](QObject*, int col, int row, QString& value, bool&) {
        ++validated;
        EXPECT_EQ(col, 1);
        EXPECT_EQ(row, 1);
        EXPECT_EQ(value, "new");
    };
    grid->OnEditingDone = [&](QObject*) { ++done; };
    open(1, 1, "old", edNormal);
    auto* e = inplace();
    e->selectAll();
    QTest::keyClicks(e, "new");
    QTest::mouseClick(other, Qt::LeftButton);
    other->setFocus();
    QApplication::processEvents();
    EXPECT_EQ(validated, 1);
    EXPECT_EQ(done, 1);
    EXPECT_EQ(grid->Cells(1, 1), "new");
    EXPECT_FALSE(grid->EditingInProgress());
}

TEST_F(GridEditFixture, TabWithTheTabOptionAdvancesToTheNextCell)
{
    grid->SetGridOptions(grid->GridOptions() | tk::goTabs);
    open(1, 1, "x", edNormal);
    QTest::keyClick(inplace(), Qt::Key_Tab);
    EXPECT_EQ(grid->Col(), 2);
    EXPECT_EQ(grid->Row(), 1);
}
