// Record selection: gestures of mouse and keyboard, select all, deleting the selection, and the
// selection across a requery.
#include "GridFixture.h"
#include <QAbstractButton>
#include <QMessageBox>
#include <QTimer>
#include <gtest/gtest.h>

using namespace gridtest;
using namespace xdb;

namespace {

struct SelGrid : ListGrid {
    QList<TSelectAction> events;
    explicit SelGrid(int rows, const QString& sql = QStringLiteral("SELECT * FROM \"RL1\""))
        : ListGrid(rows, sql)
    {
        grid->SetOptions(grid->Options() | dgMultiSelect | dgExtendedSelect);
        grid->ColumnByFieldName(QStringLiteral("Email"))->SetWidth(120);
        grid->OnRowSelect = [this](TXCustomDBGrid*, TSelectAction a) { events << a; };
    }
    // _IDs of the selected records in display order.
    QList<int> Ids()
    {
        QList<int> ids;
        for (const db::TBookmark& b : grid->SelectedRows()->List()) {
            grid->BeginUpdate();
            ds.GotoBookmark(b);
            ids << Id();
            grid->EndUpdate();
        }
        return ids;
    }
    int RowOfId(int id) const
    {
        // Data row of a record on screen (the window starts at the first record in these tests).
        return id - 1;
    }
};

// Answers the next modal message box with `button`, remembering its caption and text.
struct BoxAnswer {
    QString caption, text;
    explicit BoxAnswer(QMessageBox::StandardButton button)
    {
        QTimer::singleShot(0, [this, button] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box)
                return;
            caption = box->windowTitle();
            text = box->text();
            box->button(button)->click();
        });
    }
};

} // namespace

TEST(GridSelection, KeyboardShiftRanges)
{
    SelGrid g(10);
    g.ds.First();
    g.Key(Qt::Key_Down, Qt::ShiftModifier);
    g.Key(Qt::Key_Down, Qt::ShiftModifier);
    EXPECT_EQ(g.Ids(), QList<int>({1, 2, 3}));
    g.Key(Qt::Key_Up, Qt::ShiftModifier);
    EXPECT_EQ(g.Ids(), QList<int>({1, 2}));
    EXPECT_EQ(g.Id(), 2);
    // A move without Shift clears the selection ...
    g.Key(Qt::Key_Down);
    EXPECT_TRUE(g.Ids().isEmpty());
    // ... unless auto-unselect is off.
    g.Key(Qt::Key_Down, Qt::ShiftModifier);
    g.grid->SetOptions(g.grid->Options() | dgAutoUnselectOff);
    g.Key(Qt::Key_Down);
    g.Key(Qt::Key_PageDown);
    EXPECT_EQ(g.Ids(), QList<int>({3, 4}));
}

TEST(GridSelection, ClearingKeys)
{
    const std::vector<std::pair<int, Qt::KeyboardModifiers>> keys = {
        {Qt::Key_PageDown, Qt::NoModifier}, {Qt::Key_PageUp, Qt::NoModifier}, {Qt::Key_Escape, Qt::NoModifier},
        {Qt::Key_Home, Qt::ControlModifier}, {Qt::Key_End, Qt::ControlModifier}, {Qt::Key_Up, Qt::ControlModifier},
        {Qt::Key_Down, Qt::ControlModifier}, {Qt::Key_PageDown, Qt::ControlModifier}};
    SelGrid g(30);
    for (const auto& [key, mods] : keys) {
        g.ds.SetRecNo(5);
        g.grid->SelectCurrent();
        ASSERT_EQ(g.grid->SelectedRows()->Count(), 1);
        g.Key(key, mods);
        EXPECT_EQ(g.grid->SelectedRows()->Count(), 0) << "key " << key;
    }
}

TEST(GridSelection, MouseGestures)
{
    SelGrid g(12);
    g.ds.First();
    g.Click(2, 3);                                    // no key: only the clicked record, anchor there
    EXPECT_EQ(g.Ids(), QList<int>({4}));
    EXPECT_EQ(g.Id(), 4);
    g.Click(2, 6, Qt::ShiftModifier);                 // range from the anchor
    EXPECT_EQ(g.Ids(), QList<int>({4, 5, 6, 7}));
    g.Click(2, 5, Qt::ControlModifier);               // toggle one, it becomes the anchor
    EXPECT_EQ(g.Ids(), QList<int>({4, 5, 7}));
    g.Click(2, 7, Qt::ShiftModifier | Qt::ControlModifier); // toggle range 6..8 from the anchor 6
    EXPECT_EQ(g.Ids(), QList<int>({4, 5, 6, 8}));
    g.Click(2, 0, Qt::ControlModifier | Qt::AltModifier);   // invert
    EXPECT_EQ(g.Ids(), QList<int>({1, 2, 3, 7, 9, 10, 11, 12}));
    g.Click(2, 1, Qt::AltModifier);                   // clear with the anchor
    EXPECT_TRUE(g.Ids().isEmpty());
    EXPECT_TRUE(g.grid->SelectionAnchor().isEmpty());
    g.Click(2, 2, Qt::ShiftModifier);                 // no anchor: the range starts at the clicked record
    EXPECT_EQ(g.Ids(), QList<int>({3}));
    g.Click(2, 4, Qt::ShiftModifier | Qt::AltModifier);     // all
    EXPECT_EQ(g.Ids().size(), 12);
    EXPECT_EQ(g.Id(), 5) << "select all keeps the clicked record current";
    // With auto-unselect off a plain click leaves the selection as it was.
    g.grid->SetOptions(g.grid->Options() | dgAutoUnselectOff);
    g.Click(2, 0);
    EXPECT_EQ(g.Ids().size(), 12);
}

TEST(GridSelection, SelectAllOnAnEmptyTableRaisesOneClear)
{
    SelGrid g(0);
    g.grid->SelectAll();
    EXPECT_EQ(g.grid->SelectedRows()->Count(), 0);
    EXPECT_EQ(g.events, QList<TSelectAction>({saClear}));
}

TEST(GridSelection, SelectAllKeepsTheScreenRowAndSetsTheAnchor)
{
    SelGrid g(100);
    g.ds.SetRecNo(40);
    const int row = g.grid->Row();
    g.grid->SelectAll();
    EXPECT_EQ(g.grid->SelectedRows()->Count(), 100);
    EXPECT_EQ(g.Id(), 40);
    EXPECT_EQ(g.grid->Row(), row);
    EXPECT_EQ(g.grid->SelectionAnchor(), g.ds.GetBookmark());
    EXPECT_EQ(g.events.count(saSelect), 100);
}

TEST(GridSelection, CtrlDeleteAsksAndDeletesExactlyTheSelectedRows)
{
    SelGrid g(10);
    g.grid->setFocus();
    // One selected record: "Delete record?"
    g.ds.SetRecNo(3);
    g.grid->SelectCurrent();
    g.ds.SetRecNo(6);
    {
        BoxAnswer answer(QMessageBox::Ok);
        g.Key(Qt::Key_Delete, Qt::ControlModifier);
        EXPECT_EQ(answer.caption, QStringLiteral("Bestätigung"));
        EXPECT_EQ(answer.text, QStringLiteral("Delete record?"));
    }
    EXPECT_EQ(g.conn.Scalar(QStringLiteral("SELECT COUNT(*) FROM \"RL1\"")).toInt(), 9);
    EXPECT_EQ(g.conn.Scalar(QStringLiteral("SELECT COUNT(*) FROM \"RL1\" WHERE \"_ID\" = 3")).toInt(), 0);
    EXPECT_EQ(g.events.last(), saDelete);
    // Two selected records: "Delete all selected records?"; Cancel deletes nothing.
    g.ds.Locate(QStringLiteral("_ID"), 5);
    g.grid->SelectCurrent();
    g.ds.Locate(QStringLiteral("_ID"), 8);
    g.grid->SelectCurrent();
    {
        BoxAnswer answer(QMessageBox::Cancel);
        g.Key(Qt::Key_Delete, Qt::ControlModifier);
        EXPECT_EQ(answer.text, QStringLiteral("Delete all selected records?"));
    }
    EXPECT_EQ(g.conn.Scalar(QStringLiteral("SELECT COUNT(*) FROM \"RL1\"")).toInt(), 9);
    {
        BoxAnswer answer(QMessageBox::Ok);
        g.Key(Qt::Key_Delete, Qt::ControlModifier);
    }
    EXPECT_EQ(g.conn.Select(QStringLiteral("SELECT \"_ID\" FROM \"RL1\" ORDER BY 1")).size(), 7);
    EXPECT_EQ(g.conn.Scalar(QStringLiteral("SELECT COUNT(*) FROM \"RL1\" WHERE \"_ID\" IN (5, 8)")).toInt(), 0);
    EXPECT_EQ(g.grid->SelectedRows()->Count(), 0);
    // Nothing selected: the current record goes.
    g.ds.Locate(QStringLiteral("_ID"), 2);
    {
        BoxAnswer answer(QMessageBox::Ok);
        g.Key(Qt::Key_Delete, Qt::ControlModifier);
        EXPECT_EQ(answer.text, QStringLiteral("Delete record?"));
    }
    EXPECT_EQ(g.conn.Scalar(QStringLiteral("SELECT COUNT(*) FROM \"RL1\" WHERE \"_ID\" = 2")).toInt(), 0);
    EXPECT_EQ(g.conn.Scalar(QStringLiteral("SELECT COUNT(*) FROM \"RL1\"")).toInt(), 6);
}

TEST(GridSelection, DeleteSkipsBookmarksThatNoLongerNameARecord)
{
    SelGrid g(10);
    for (int id : {3, 4}) {
        g.ds.Locate(QStringLiteral("_ID"), id);
        g.grid->SelectCurrent();
    }
    // Record 3 goes elsewhere; its bookmark must not delete another row.
    g.ds.Locate(QStringLiteral("_ID"), 3);
    g.ds.Delete();
    g.grid->SelectedRows()->Delete();
    const auto rows = g.conn.Select(QStringLiteral("SELECT \"_ID\" FROM \"RL1\" ORDER BY 1"));
    QList<int> left;
    for (const auto& r : rows)
        left << r[0].toInt();
    EXPECT_EQ(left, QList<int>({1, 2, 5, 6, 7, 8, 9, 10}));
}

TEST(GridSelection, CurrentRowOnAClosedDatasetRaises)
{
    SelGrid g(3);
    g.ds.Close();
    try {
        g.grid->SelectedRows()->CurrentRow();
        FAIL() << "no exception";
    } catch (const tk::EInvalidGridOperation& e) {
        EXPECT_EQ(e.message(), QStringLiteral("Cannot perform this operation on a closed dataset"));
    }
}

TEST(GridSelection, MembershipSurvivesARequeryThatReordersRows)
{
    SelGrid g(10, QStringLiteral("SELECT * FROM \"RL1\" ORDER BY \"Email\""));
    for (int id : {2, 5, 7}) {
        g.ds.Locate(QStringLiteral("_ID"), id);
        g.grid->SelectCurrent();
    }
    g.grid->SetSelectionAnchor(g.ds.GetBookmark());   // record 7
    ASSERT_EQ(g.Ids(), QList<int>({2, 5, 7}));
    // Reverse the order and let record 7 vanish.
    g.conn.Execute(QStringLiteral("UPDATE \"RL1\" SET \"Email\" = 'z' || (100 - \"_ID\")"));
    g.conn.Execute(QStringLiteral("DELETE FROM \"RL1\" WHERE \"_ID\" = 7"));
    g.events.clear();
    g.ds.Requery();
    EXPECT_EQ(g.Ids(), QList<int>({5, 2}));            // display order now
    EXPECT_TRUE(g.events.contains(saRefresh));
    EXPECT_TRUE(g.grid->SelectionAnchor().isEmpty());
    // Membership tests agree with the new order.
    g.ds.Locate(QStringLiteral("_ID"), 2);
    EXPECT_TRUE(g.grid->SelectedRows()->CurrentRowSelected());
    g.ds.Locate(QStringLiteral("_ID"), 3);
    EXPECT_FALSE(g.grid->SelectedRows()->CurrentRowSelected());
}

TEST(GridKeys, TabStopsSkipReadOnlyColumns)
{
    SelGrid g(3);
    g.grid->ColumnByFieldName(QStringLiteral("Status"))->SetReadOnly(true);
    g.ds.First();
    g.grid->SetSelectedIndex(0);    // _ID
    const int colEmail = g.grid->ColumnByFieldName(QStringLiteral("Email"))->Index();
    g.Key(Qt::Key_Tab);             // Status is read-only: straight to Email
    EXPECT_EQ(g.grid->SelectedIndex(), colEmail);
    // Before the first tab stop (the key _ID is read-only too): the last column of the prior row,
    // which on the first record is the same record.
    g.Key(Qt::Key_Tab, Qt::ShiftModifier);
    EXPECT_EQ(g.grid->SelectedIndex(), g.grid->Columns()->Count() - 1);
    EXPECT_EQ(g.Id(), 1);
    g.Key(Qt::Key_Left, Qt::ControlModifier);
    EXPECT_EQ(g.grid->SelectedIndex(), colEmail);
    g.Key(Qt::Key_Right, Qt::ControlModifier);
    g.Key(Qt::Key_Tab);             // past the last column: first tab stop of the next record
    EXPECT_EQ(g.Id(), 2);
    EXPECT_EQ(g.grid->SelectedIndex(), colEmail);
}

TEST(GridKeys, EditorHostShowsTheCellAndWritesBackOnMove)
{
    SelGrid g(3);
    g.grid->setFocus();
    g.ds.First();
    g.grid->SetSelectedIndex(g.grid->ColumnByFieldName(QStringLiteral("Last Name"))->Index());
    g.Key(Qt::Key_F2);
    tk::TInplaceEdit* editor = g.grid->InplaceEditor();
    ASSERT_NE(editor, nullptr);
    EXPECT_TRUE(editor->isVisible());
    EXPECT_EQ(editor->text(), QStringLiteral("Last1"));
    EXPECT_EQ(g.ds.State(), db::dsBrowse) << "showing the editor edits nothing yet";
    editor->selectAll();
    QTest::keyClicks(editor, QStringLiteral("Meier"));
    EXPECT_EQ(g.ds.State(), db::dsEdit);
    QTest::keyClick(editor, Qt::Key_Down);
    EXPECT_EQ(g.ds.State(), db::dsBrowse);
    EXPECT_EQ(g.conn.Scalar(QStringLiteral("SELECT \"Last Name\" FROM \"RL1\" WHERE \"_ID\" = 1")).toString(),
              QStringLiteral("Meier"));
    EXPECT_EQ(g.Id(), 2);
    // A read-only column's editor takes no typing.
    g.grid->ColumnByFieldName(QStringLiteral("Last Name"))->SetReadOnly(true);
    g.Key(Qt::Key_F2);
    if (g.grid->EditorVisible())
        QTest::keyClicks(g.grid->InplaceEditor(), QStringLiteral("x"));
    EXPECT_EQ(g.ds.State(), db::dsBrowse);
}

TEST(GridKeys, CheckBoxColumnTogglesSelectionOrFieldByClickAndSpace)
{
    // The duplicates dialog's way: a check-box column without field, no dgMultiSelect.
    ListGrid g(5);
    g.grid->SetOptions((g.grid->Options() | dgAllowInsertOff | dgIndicatorMarkOff | dgMarkerAutoSwitch) & ~dgMultiSelect);
    TXDBGridColumns* cols = g.grid->Columns();
    cols->Clear();
    TXColumn* box = cols->Add();
    box->SetCheckBox(true);
    box->SetWidth(41);
    TXColumn* status = cols->Add();
    status->SetFieldName(QStringLiteral("Status"));
    int clicks = 0;
    g.grid->OnCellClick = [&](TXColumn* c) { clicks += c == box; };
    g.Click(0, 2);
    EXPECT_EQ(g.Id(), 3);
    EXPECT_EQ(g.grid->SelectedRows()->Count(), 1);
    EXPECT_EQ(clicks, 1);
    g.Click(0, 2);
    EXPECT_EQ(g.grid->SelectedRows()->Count(), 0);
    g.Key(Qt::Key_Space);
    EXPECT_EQ(g.grid->SelectedRows()->Count(), 1);

    // A field column toggles between its checked and unchecked text.
    status->SetCheckBox(true);
    status->SetCheckBoxValues(QStringLiteral("1;0"));
    g.Click(1, 0);
    EXPECT_EQ(g.ds.State(), db::dsEdit);
    EXPECT_EQ(g.Value(QStringLiteral("Status")), QStringLiteral("1"));
    g.ds.Post();
    g.Key(Qt::Key_Space);
    EXPECT_EQ(g.Value(QStringLiteral("Status")), QStringLiteral("0"));
}
