// Which editor a cell gets, where it lies, and what it writes back.
#include "Fixture.h"

#include <functional>

using namespace gridedit;
using namespace grid::editors;

namespace {

struct Row {
    const char* name;
    TEditorType kind;
    QString text;
    std::function<void(GridEditFixture&, QWidget*)> act;
    QString stored;
};

} // namespace

TEST_F(GridEditFixture, EachKindLiesOverTheCellInItsColourAndWritesBack)
{
    auto key = [](int k, Qt::KeyboardModifiers m = Qt::NoModifier) {
        return [k, m](GridEditFixture&, QWidget* w) { QTest::keyClick(w, Qt::Key(k), m); };
    };
    const std::vector<Row> rows = {
        {"spin", edSpinEdit, "41", key(Qt::Key_Up), "42"},
        {"float spin", edFloatSpinEdit, "1,25",
         [](GridEditFixture& f, QWidget*) {
             f.grid->GridSpin()->SetPrecision(2);
             QTest::keyClick(f.grid->GridSpin(), Qt::Key_Up);
         },
         "1,35"},
        {"float spin through the grid's float format", edFloatSpinEdit, "2",
         [](GridEditFixture& f, QWidget*) {
             f.grid->SetFloatFormat("%.3f");
             f.grid->GridSpin()->SetPrecision(0);
             QTest::keyClick(f.grid->GridSpin(), Qt::Key_Up);
         },
         "2,100"},
        {"date spin", edDateSpinEdit, "31.01.2024",
         [](GridEditFixture& f, QWidget*) {
             f.grid->GridSpin()->setCursorPosition(4);   // in the month
             QTest::keyClick(f.grid->GridSpin(), Qt::Key_Up);
         },
         "29.02.2024"},
        {"unit split and rejoined", edUnitEditBtn, "12.5kg",
         [](GridEditFixture& f, QWidget*) {
             EXPECT_EQ(f.grid->GridUnitEditBtn()->text(), "12.5");
             EXPECT_EQ(f.grid->GridUnitEditBtn()->UnitID(), "kg");
         },
         "12.5kg"},
        {"unit with digits after the unit", edUnitEditBtn, "5m2", nullptr, "5m2"},
        // The edit with a button comes up with its text selected (AutoSelect).
        {"edit with button", edEditBtn, "abc", key(Qt::Key_D), "d"},
        {"date picker", edDateEdit, "05.03.2024",
         [](GridEditFixture& f, QWidget*) { f.grid->GridDatePicker()->setDate(QDate(2024, 3, 6)); }, "06.03.2024"},
        {"check box (hidden only)", edCheckBox, "caption",
         [](GridEditFixture& f, QWidget*) {
             EXPECT_EQ(f.grid->GridCheckBox()->text(), "caption");
             QTest::keyClick(f.grid->GridCheckBox(), Qt::Key_Space);
             EXPECT_TRUE(f.grid->GridCheckBox()->isChecked());
         },
         "caption"},
        {"button (hidden only)", edButton, "press", nullptr, "press"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        open(2, 2, r.text, r.kind);
        QWidget* w = grid->ShownEditorControl();
        ASSERT_NE(w, nullptr);
        EXPECT_TRUE(w->isVisible());
        EXPECT_FALSE(inplace() && inplace()->Visible());
        const QRect cell = grid->MergedCellRect(2, 2);
        if (r.kind == edButton)
            EXPECT_EQ(w->geometry(), QRect(cell.left() - 1, cell.top() - 1, cell.width() + 1, cell.height() + 1));
        else if (r.kind != edDateEdit)
            EXPECT_EQ(w->geometry(), QRect(cell.left(), cell.top(), cell.width() - 1, cell.height() - 1));
        EXPECT_EQ(w->palette().color(QPalette::Base).rgb() & 0xFFFFFF,
                  tk::ToQColor(grid->cellBrush, grid->palette()).rgb() & 0xFFFFFF);
        if (r.act)
            r.act(*this, w);
        grid->EndInplaceEdit();
        EXPECT_FALSE(w->isVisible());
        EXPECT_FALSE(grid->EditorControlActive());
        EXPECT_EQ(grid->Cells(2, 2), r.stored);
        grid->HideEditor();
    }
}

TEST_F(GridEditFixture, ListComboOnAnUnknownTextTakesItemZeroWithOneChange)
{
    grid->GridCombo()->addItems({"a", "b"});
    int changes = 0;
    grid->OnComboChange = [&](QObject*, int, int, int index, const QString& text) {
        ++changes;
        EXPECT_EQ(index, 0);
        EXPECT_EQ(text, "a");
    };
    open(1, 1, "z", edComboList);
    EXPECT_EQ(grid->ShownEditorControl(), grid->GridCombo());
    EXPECT_EQ(changes, 1);
    grid->EndInplaceEdit();
    EXPECT_EQ(grid->Cells(1, 1), "a");
}

TEST_F(GridEditFixture, NoEditorForReadOnlyNoneAndCheckBoxCells)
{
    grid->GetCellProperties(1, 1)->ReadOnly = true;
    open(1, 1, "ro", edNormal);
    EXPECT_FALSE(inplace() && inplace()->Visible());
    EXPECT_FALSE(grid->IsEditableCell(1, 1));

    // The handler may still allow it; it is asked with the row first.
    std::vector<std::pair<int, int>> asked;
    grid->OnCanEditCell = [&](QObject*, int row, int col, bool& can) {
        asked.push_back({row, col});
        if (row == 1 && col == 1)
            can = true;
    };
    grid->HideEditor();
    open(1, 1, "ro", edNormal);
    EXPECT_TRUE(inplace() && inplace()->Visible());
    ASSERT_FALSE(asked.empty());
    EXPECT_EQ(asked.back(), std::make_pair(1, 1));
    grid->HideEditor();
    grid->OnCanEditCell = nullptr;

    open(3, 1, "none", edNone);
    EXPECT_FALSE(inplace() && inplace()->Visible());
    EXPECT_EQ(grid->ShownEditorControl(), nullptr);

    auto g = std::make_unique<TCellGraphic>();
    g->CellType = ctCheckBox;
    grid->SetCellGraphic(3, 3, std::move(g));
    open(3, 3, "", edSpinEdit);
    EXPECT_EQ(grid->ShownEditorControl(), nullptr);
    EXPECT_FALSE(inplace() && inplace()->Visible());
}

TEST_F(GridEditFixture, EditingOptionFollowsTheOneEditableCell)
{
    grid->SetGridOptions(grid->GridOptions() & ~tk::goEditing);
    grid->OnCanEditCell = [](QObject*, int row, int col, bool& can) { can = row == 2 && col == 2; };
    grid->FocusCell(2, 2, true);
    EXPECT_TRUE(grid->GridOptions() & tk::goEditing);
    grid->FocusCell(3, 2, true);
    EXPECT_FALSE(grid->GridOptions() & tk::goEditing);
    grid->FocusCell(2, 2, true);
    EXPECT_TRUE(grid->GridOptions() & tk::goEditing);
}

TEST_F(GridEditFixture, DateEditorsNeedThePickerSupport)
{
    grid->DatePickerSupported = false;
    open(1, 1, "05.03.2024", edDateEdit);
    EXPECT_EQ(grid->ShownEditorControl(), nullptr);
    grid->EndInplaceEdit();
    EXPECT_EQ(grid->Cells(1, 1), "05.03.2024");
}

TEST_F(GridEditFixture, UnchangedSpinAndDateEditorsLeaveTheCell)
{
    const std::vector<std::pair<TEditorType, QString>> cases = {
        {edSpinEdit, "abc"}, {edSpinEdit, ""}, {edFloatSpinEdit, "abc"}, {edDateSpinEdit, ""}, {edDateEdit, ""}};
    for (const auto& [kind, text] : cases) {
        SCOPED_TRACE(text.toStdString() + " kind " + std::to_string(int(kind)));
        open(1, 1, text, kind);
        ASSERT_NE(grid->ShownEditorControl(), nullptr);
        grid->EndInplaceEdit();
        EXPECT_EQ(grid->Cells(1, 1), text);
        grid->HideEditor();
    }
}


TEST_F(GridEditFixture, EditTextLeavesTagsOutAndGoesToTheBaseCell)
{
    grid->SetCells(1, 1, "<b>x</b>");
    EXPECT_EQ(grid->GetEditText(1, 1), "x");
    grid->EditWithTags = true;
    EXPECT_EQ(grid->GetEditText(1, 1), "<b>x</b>");
    grid->EditWithTags = false;

    grid->MergeCells(2, 2, 2, 1);
    grid->SetEditText(3, 2, "merged");
    EXPECT_EQ(grid->Cells(2, 2), "merged");
    EXPECT_EQ(grid->Cells(3, 2), "");
}

TEST_F(GridEditFixture, CellsOfRealRowsHiddenOrShown)
{
    for (int r = 0; r < grid->RowCount(); ++r)
        grid->SetCells(1, r, QStringLiteral("r%1").arg(r));
    grid->HideRows(2, 3);
    EXPECT_EQ(grid->GetCellOfRealRow(1, 2), "r2");
    EXPECT_EQ(grid->GetCellOfRealRow(1, 3), "r3");
    EXPECT_EQ(grid->GetCellOfRealRow(1, 4), "r4");
    EXPECT_EQ(grid->Cells(1, 2), "r4");
    EXPECT_EQ(grid->HiddenRowItems(3).value(1), "r3");
    EXPECT_TRUE(grid->HiddenRowItems(4).isEmpty());
}

TEST_F(GridEditFixture, FixedCellEditorStaysWhenRefusedAndStoresWhenAccepted)
{
    int done = 0;
    grid->OnEditingDone = [&](QObject*) { ++done; };
    grid->OnCellValidate = [](QObject*, int col, int row, QString& value, bool& valid) {
        EXPECT_EQ(col, 2);
        EXPECT_EQ(row, 0);
        valid = value != "no";
    };
    TGridTransEdit t(grid);
    t.Col = 2;
    t.Row = 0;
    t.show();
    t.setText("no");
    EXPECT_FALSE(t.ValidateAndStore());
    EXPECT_TRUE(t.isVisible());
    EXPECT_EQ(grid->Col(), 2);
    EXPECT_EQ(done, 0);
    t.setText("Name");
    QTest::keyClick(&t, Qt::Key_Return);   // swallowed
    EXPECT_TRUE(t.ValidateAndStore());
    EXPECT_FALSE(t.isVisible());
    EXPECT_EQ(grid->Cells(2, 0), "Name");
    EXPECT_EQ(done, 1);
}

TEST_F(GridEditFixture, ATypedCharacterOpensTheControlWithIt)
{
    kinds[{1, 1}] = edEditBtn;
    grid->SetCells(1, 1, "");
    grid->FocusCell(1, 1, true);
    grid->setFocus();
    QTest::keyClick(grid, Qt::Key_X);
    QApplication::processEvents();
    ASSERT_EQ(grid->ShownEditorControl(), grid->GridEditBtn());
    EXPECT_EQ(grid->GridEditBtn()->text(), "x");
    EXPECT_TRUE(grid->PendingEditChar().isNull());
}

TEST_F(GridEditFixture, RichTextEditorStoresRtfAndGrowsTheRow)
{
    open(1, 1, "", edRichEdit);
    auto* e = grid->RichEdit();
    ASSERT_EQ(grid->ShownEditorControl(), e);
    QTest::keyClicks(e, "bold");
    e->selectAll();
    e->setFontWeight(QFont::Bold);
    grid->EndInplaceEdit();
    EXPECT_TRUE(grid->Cells(1, 1).startsWith("{\\rtf"));
    EXPECT_TRUE(grid->Cells(1, 1).contains("\\b")) << grid->Cells(1, 1).toStdString();
    EXPECT_FALSE(e->isVisible());

    // Loaded again, the text is bold.
    grid->HideEditor();
    open(1, 1, grid->Cells(1, 1), edRichEdit);
    e->selectAll();
    EXPECT_EQ(e->fontWeight(), QFont::Bold);
    grid->EndInplaceEdit();
    grid->HideEditor();

    // A second line grows the row to the requested height + 5, once per growth, never while locked.
    grid->SizeWhileTyping()->Height = true;
    std::vector<int> grown;
    grid->OnEndRowSize = [&](QObject*, int row) { grown.push_back(row); };
    open(1, 2, "", edRichEdit);
    const int before = grid->RowHeights(2);
    e->Lock();
    QTest::keyClicks(e, "eins");
    QTest::keyClick(e, Qt::Key_Return);
    QTest::keyClicks(e, "zwei");
    QTest::keyClick(e, Qt::Key_Return);
    QTest::keyClicks(e, "drei");
    EXPECT_TRUE(grown.empty());
    EXPECT_EQ(grid->RowHeights(2), before);
    e->Unlock();
    QTest::keyClick(e, Qt::Key_Return);
    QTest::keyClicks(e, "vier");
    ASSERT_EQ(grown.size(), 1u);
    EXPECT_EQ(grown[0], 2);
    EXPECT_EQ(grid->RowHeights(2), e->ReqHeight() + 5);
    EXPECT_EQ(e->height(), e->ReqHeight() + 4);
}
