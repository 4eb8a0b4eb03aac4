// The default in-place edit: filters, limit, completion, paste, caret walking and leaving it, in
// its multi-line and its single-line kind; line breaks, row growth and the clipboard events.
#include "Fixture.h"

#include <QAction>
#include <QClipboard>
#include <QMenu>
#include <QPlainTextEdit>

using namespace gridedit;

namespace {

// Runs each case with the multi-line editor (true) and with Ctrl+Enter breaks off, which gives the
// single-line editor (false).
class DefaultEdit : public GridEditFixture, public ::testing::WithParamInterface<bool> {
public:
    void SetUp() override
    {
        GridEditFixture::SetUp();
        grid->Navigation()->AllowCtrlEnter = GetParam();
    }
    // The editor after opening, of the kind the parameter asks for.
    tk::TInplaceEditor* openEdit(int col, int row, const QString& text, TEditorType kind)
    {
        open(col, row, text, kind);
        tk::TInplaceEditor* e = inplace();
        EXPECT_TRUE(e && e->Visible());
        if (e && kind != edPassword)
            EXPECT_EQ(e->MultiLine(), GetParam());
        return e;
    }
};

INSTANTIATE_TEST_SUITE_P(Kinds, DefaultEdit, ::testing::Values(true, false),
                         [](const ::testing::TestParamInfo<bool>& i) { return i.param ? "MultiLine" : "SingleLine"; });

} // namespace

TEST_P(DefaultEdit, LengthLimitDropsTypingButNotOverASelection)
{
    grid->MaxEditLength = 3;
    auto* e = openEdit(1, 1, "abc", edNormal);
    ASSERT_TRUE(e);
    e->SetCaretPos(3);
    QTest::keyClick(e->Widget(), Qt::Key_D);
    EXPECT_EQ(e->Text(), "abc");
    e->SetSelection(0, 1);
    QTest::keyClick(e->Widget(), Qt::Key_X);
    EXPECT_EQ(e->Text(), "xbc");
    QTest::keyClick(e->Widget(), Qt::Key_Backspace);
    EXPECT_EQ(e->Text(), "bc");
}

TEST_P(DefaultEdit, CharacterFiltersByKindWithBeeps)
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
        auto* e = openEdit(1, 1, c.start, c.kind);
        ASSERT_TRUE(e);
        e->SetCaretPos(c.caret);
        beeps = 0;
        QTest::keyClicks(e->Widget(), c.typed);
        EXPECT_EQ(e->Text(), c.result);
        EXPECT_EQ(beeps, c.beeps);
        EXPECT_EQ(grid->Cells(1, 1), c.result);
    }
}

TEST_P(DefaultEdit, MixedCaseKeepsTheCaretAfterTheTypedCharacter)
{
    auto* e = openEdit(1, 1, "ary", edMixedCase);
    e->SetCaretPos(0);
    QTest::keyClicks(e->Widget(), "m");
    EXPECT_EQ(e->Text(), "Mary");
    EXPECT_EQ(e->CaretPos(), 1);
}

TEST_P(DefaultEdit, CompletionFromTheLookupList)
{
    grid->Lookup = true;
    grid->SetLookupItemsList({"monday", "tuesday"});
    auto* e = openEdit(1, 1, "", edNormal);
    QTest::keyClicks(e->Widget(), "t");
    EXPECT_EQ(e->Text(), "tuesday");
    EXPECT_EQ(e->SelText(), "uesday");
    EXPECT_EQ(grid->Cells(1, 1), "tuesday");

    // Home puts the caret at 0: nothing typed completes nothing.
    grid->HideEditor();
    grid->SetLookupItemsList({"world"});
    e = openEdit(1, 2, "hello", edNormal);
    QTest::keyClick(e->Widget(), Qt::Key_Home);
    EXPECT_EQ(e->Text(), "hello");

    // Completion stops at the length limit.
    grid->HideEditor();
    grid->MaxEditLength = 4;
    grid->SetLookupItemsList({"tuesday"});
    e = openEdit(1, 3, "", edNormal);
    QTest::keyClicks(e->Widget(), "t");
    EXPECT_EQ(e->Text(), "tues");
}

TEST_P(DefaultEdit, PasswordsAreNeitherCompletedNorRecorded)
{
    grid->Lookup = true;
    grid->LookupHistory = true;
    grid->SetLookupItemsList({"secret"});
    open(1, 1, "", edPassword);
    QLineEdit* e = inplaceLine();
    ASSERT_NE(e, nullptr) << "a password always gets the single-line editor";
    EXPECT_EQ(e->echoMode(), QLineEdit::Password);
    QTest::keyClicks(e, "s");
    EXPECT_EQ(e->text(), "s");
    EXPECT_EQ(e->displayText(), "*");
    other->setFocus();
    QApplication::processEvents();
    EXPECT_EQ(grid->LookupItemsList(), QStringList{"secret"});

    // An ordinary text is recorded when the edit is left.
    openEdit(2, 1, "", edNormal);
    QTest::keyClicks(inplaceWidget(), "xyz");
    other->setFocus();
    QApplication::processEvents();
    EXPECT_TRUE(grid->LookupItemsList().contains("xyz"));
}

TEST_P(DefaultEdit, PasteFollowsTheKind)
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
        {edNumeric, "", "12a", "", 0},
        {edFloat, "", "1,5", "1,5", 0},
        {edUpperCase, "a", "bc", "ABC", 0},
        {edMixedCase, "", "john doe", "John Doe", 0},
        {edNormal, "ab", "cdef", "ab", 3},   // longer than the limit: nothing
    };
    for (const Case& c : cases) {
        SCOPED_TRACE((c.start + " + " + c.pasted).toStdString());
        grid->HideEditor();
        grid->MaxEditLength = c.limit;
        auto* e = openEdit(1, 1, c.start, c.kind);
        e->SetCaretPos(int(e->Text().size()));
        QGuiApplication::clipboard()->setText(c.pasted);
        QTest::keyClick(e->Widget(), Qt::Key_V, Qt::ControlModifier);
        EXPECT_EQ(e->Text(), c.result);
    }
}

TEST_P(DefaultEdit, CursorWalkMovesBetweenCellsKeepingTheEditor)
{
    grid->Navigation()->CursorWalkEditor = true;
    auto* e = openEdit(2, 1, "ab", edNormal);
    e->SetCaretPos(2);
    QTest::keyClick(e->Widget(), Qt::Key_Right);
    EXPECT_EQ(grid->Col(), 3);
    ASSERT_TRUE(inplace()->Visible());
    inplace()->SetCaretPos(0);
    QTest::keyClick(inplaceWidget(), Qt::Key_Left);
    EXPECT_EQ(grid->Col(), 2);
    // Inside the text the caret moves and the cell stays.
    inplace()->SetCaretPos(1);
    QTest::keyClick(inplaceWidget(), Qt::Key_Left);
    EXPECT_EQ(grid->Col(), 2);
}

TEST_P(DefaultEdit, EnterValidatesAndARefusalRestoresTheStartText)
{
    grid->OnCellValidate = [](QObject*, int, int, QString& value, bool& valid) { valid = value != "bad"; };
    auto* e = openEdit(1, 1, "good", edNormal);
    e->SelectAll();
    QTest::keyClicks(e->Widget(), "bad");
    QTest::keyClick(e->Widget(), Qt::Key_Return);
    EXPECT_EQ(grid->Cells(1, 1), "good");
    EXPECT_EQ(inplace()->Text(), "good");
    EXPECT_TRUE(inplace()->Visible());
}

TEST_P(DefaultEdit, ClickingAwayValidatesAndEndsOnce)
{
    int validated = 0, done = 0;
    grid->OnCellValidate = [&](QObject*, int col, int row, QString& value, bool&) {
        ++validated;
        EXPECT_EQ(col, 1);
        EXPECT_EQ(row, 1);
        EXPECT_EQ(value, "new");
    };
    grid->OnEditingDone = [&](QObject*) { ++done; };
    auto* e = openEdit(1, 1, "old", edNormal);
    e->SelectAll();
    QTest::keyClicks(e->Widget(), "new");
    QTest::mouseClick(other, Qt::LeftButton);
    other->setFocus();
    QApplication::processEvents();
    EXPECT_EQ(validated, 1);
    EXPECT_EQ(done, 1);
    EXPECT_EQ(grid->Cells(1, 1), "new");
    EXPECT_FALSE(grid->EditingInProgress());
}

TEST_P(DefaultEdit, TabWithTheTabOptionAdvancesToTheNextCell)
{
    grid->SetGridOptions(grid->GridOptions() | tk::goTabs);
    openEdit(1, 1, "x", edNormal);
    QTest::keyClick(inplaceWidget(), Qt::Key_Tab);
    EXPECT_EQ(grid->Col(), 2);
    EXPECT_EQ(grid->Row(), 1);
}

TEST_P(DefaultEdit, TabWithoutTheTabOptionLeavesTheGrid)
{
    int done = 0;
    grid->OnEditingDone = [&](QObject*) { ++done; };
    auto* e = openEdit(1, 1, "x", edNormal);
    e->SetCaretPos(1);
    QTest::keyClicks(e->Widget(), "y");
    QTest::keyClick(e->Widget(), Qt::Key_Tab);
    QApplication::processEvents();
    EXPECT_TRUE(other->hasFocus());
    EXPECT_EQ(grid->Cells(1, 1), "xy");
    EXPECT_EQ(done, 1);
    EXPECT_EQ(grid->Col(), 1);
}

TEST_P(DefaultEdit, SizeWhileTypingWidensTheColumn)
{
    grid->SizeWhileTyping()->Width = true;
    openEdit(1, 1, "", edNormal);
    const int before = grid->ColWidths(1);
    QTest::keyClicks(inplaceWidget(), "a rather long text for a narrow column");
    EXPECT_GT(grid->ColWidths(1), before);
    EXPECT_GE(grid->ColWidths(1), inplaceWidget()->fontMetrics().horizontalAdvance("a rather long text for a narrow column"));
}

TEST_P(DefaultEdit, EditChangeOnceForEachTypedCharacter)
{
    std::vector<QString> seen;
    grid->OnEditChange = [&](QObject*, int col, int row, const QString& text) {
        EXPECT_EQ(col, 1);
        EXPECT_EQ(row, 1);
        seen.push_back(text);
    };
    const struct {
        TEditorType kind;
        const char* typed;
        std::vector<QString> expected;
    } cases[] = {
        {edNormal, "ab", {"a", "ab"}},
        {edUpperCase, "ab", {"A", "AB"}},   // transformed characters
        {edMixedCase, "jo", {"J", "Jo"}},  // the whole text rewritten
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed);
        grid->HideEditor();
        openEdit(1, 1, "", c.kind);
        seen.clear();
        QTest::keyClicks(inplaceWidget(), c.typed);
        EXPECT_EQ(seen, c.expected);
    }
}
