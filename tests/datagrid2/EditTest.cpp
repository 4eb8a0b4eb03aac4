// Editing cells in place: the line edit over the focus cell, its pick list and the keys that reach
// the grid, end to end down to the SQLite row.
#include "recipients/datagrid/XDBGridEdit.h"
#include "tests/datagrid/GridFixture.h"
#include <QListWidget>
#include <gtest/gtest.h>

using namespace xdb;
using gridtest::ListGrid;

namespace {

constexpr int kEmail = 2;      // _ID, Status, Email, Last Name, First Name
constexpr int kLastName = 3;

TXDBGridInplaceEdit* Editor(ListGrid& g)
{
    return qobject_cast<TXDBGridInplaceEdit*>(g.grid->InplaceEditor());
}

QString StoredEmail(ListGrid& g, int id)
{
    db::Statement st(g.conn, QStringLiteral("SELECT \"Email\" FROM \"RL1\" WHERE \"_ID\" = ?"));
    st.Bind(1, id);
    return st.Step() ? st.Column(0).toString() : QString();
}

// Opens the editor on a cell of the first record with F2.
TXDBGridInplaceEdit* EditCell(ListGrid& g, int dataCol)
{
    g.grid->SetSelectedIndex(dataCol);
    g.Key(Qt::Key_F2);
    TXDBGridInplaceEdit* e = Editor(g);
    if (e)
        e->selectAll();
    return e;
}

} // namespace

TEST(GridEditing, TypedAddressReachesTheFieldOnEnterAndTheRowOnDown)
{
    ListGrid g(5);
    TXDBGridInplaceEdit* e = EditCell(g, kEmail);
    ASSERT_NE(e, nullptr);
    ASSERT_TRUE(e->isVisible());
    EXPECT_EQ(e->text(), QStringLiteral("user001@example.com"));
    QTest::keyClicks(e, QStringLiteral("neu@example.de"));
    QTest::keyClick(e, Qt::Key_Return);
    EXPECT_EQ(g.Value(QStringLiteral("Email")), QStringLiteral("neu@example.de"));
    EXPECT_EQ(g.ds.State(), db::dsEdit);
    EXPECT_FALSE(e->isVisible());
    EXPECT_EQ(StoredEmail(g, 1), QStringLiteral("user001@example.com"));
    g.Key(Qt::Key_Down);
    EXPECT_EQ(g.ds.State(), db::dsBrowse);
    EXPECT_EQ(StoredEmail(g, 1), QStringLiteral("neu@example.de"));
}

TEST(GridEditing, EscapeDropsTheTypedTextAndASecondEscapeCancelsAnInsert)
{
    ListGrid g(5);
    TXDBGridInplaceEdit* e = EditCell(g, kEmail);
    ASSERT_NE(e, nullptr);
    QTest::keyClicks(e, QStringLiteral("weg@example.de"));
    QTest::keyClick(e, Qt::Key_Escape);
    EXPECT_EQ(g.Value(QStringLiteral("Email")), QStringLiteral("user001@example.com"));
    g.Key(Qt::Key_Down);
    EXPECT_EQ(StoredEmail(g, 1), QStringLiteral("user001@example.com"));

    const int before = g.ds.RecordCount();
    g.Key(Qt::Key_Insert);
    ASSERT_EQ(g.ds.State(), db::dsInsert);
    g.Key(Qt::Key_F2);
    e = Editor(g);
    ASSERT_TRUE(e && e->isVisible());
    QTest::keyClicks(e, QStringLiteral("x@y.de"));
    QTest::keyClick(e, Qt::Key_Escape);       // drops the typed text, the record stays
    EXPECT_EQ(g.ds.State(), db::dsInsert);
    g.Key(Qt::Key_Escape);                    // cancels the record
    EXPECT_EQ(g.ds.State(), db::dsBrowse);
    EXPECT_EQ(g.ds.RecordCount(), before);
}

TEST(GridEditing, EditLimitRestrictsTypingButNeverCutsAStoredValue)
{
    ListGrid g(3);
    const QString longValue(300, QLatin1Char('a'));
    g.conn.Execute(QStringLiteral("UPDATE \"RL1\" SET \"Email\" = ? WHERE \"_ID\" = 2"), {longValue});
    g.ds.Requery();
    TXDBGridInplaceEdit* e = EditCell(g, kEmail);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(g.grid->DataLink()->DataSet()->FieldByName(QStringLiteral("Email"))->Size(), 255);

    // 253 characters, then five typed: two fit.
    e->setText(QString(253, QLatin1Char('b')));
    e->end(false);
    QTest::keyClicks(e, QStringLiteral("cdefg"));
    EXPECT_EQ(e->text().size(), 255);
    EXPECT_TRUE(e->text().endsWith(QStringLiteral("cd")));

    // A stored value longer than the limit shows whole and goes back whole.
    QTest::keyClick(e, Qt::Key_Escape);
    g.Key(Qt::Key_Down);
    g.Key(Qt::Key_F2);
    e = Editor(g);
    ASSERT_TRUE(e && e->isVisible());
    EXPECT_EQ(e->text(), longValue);
    QTest::keyClick(e, Qt::Key_Return);
    g.Key(Qt::Key_Down);
    EXPECT_EQ(StoredEmail(g, 2), longValue);
}

TEST(GridPickList, DropDownHeightFromDropDownRowsAndNoItemForAnEmptyText)
{
    ListGrid g(3);
    TXColumn* c = g.grid->Columns()->Items(kLastName);
    c->SetDropDownRows(7);
    c->PickList().SetText(QStringLiteral("Alpha\nBeta\nGamma"));
    TXDBGridInplaceEdit* e = EditCell(g, kLastName);
    ASSERT_NE(e, nullptr);
    ASSERT_EQ(e->EditStyle(), esPickList);
    e->setText(QString());
    QTest::keyClick(e, Qt::Key_F2);              // F2 drops the list
    ASSERT_TRUE(e->ListVisible());
    TXPopupListBox* list = e->PickList();
    const int ih = list->ItemHeight();
    EXPECT_EQ(list->height(), 3 * ih + 4);
    EXPECT_TRUE(list->selectedItems().isEmpty());
    EXPECT_FALSE(list->hasFocus());
    EXPECT_TRUE(list->windowFlags() & Qt::WindowDoesNotAcceptFocus);
    QTest::keyClick(e, Qt::Key_F2);
    EXPECT_FALSE(e->ListVisible());

    QStringList ten;
    for (int i = 0; i < 10; ++i)
        ten << QStringLiteral("Item %1").arg(i);
    c->PickList().SetText(ten.join(QLatin1Char('\n')));
    g.grid->InvalidateEditor();
    e->setText(QStringLiteral("Item 4"));
    QTest::keyClick(e, Qt::Key_Down, Qt::AltModifier);
    ASSERT_TRUE(e->ListVisible());
    EXPECT_EQ(list->height(), 7 * ih + 4);
    ASSERT_NE(list->currentItem(), nullptr);
    EXPECT_EQ(list->currentItem()->text(), QStringLiteral("Item 4"));
    // Down goes to the list, Enter takes its item into the field.
    QTest::keyClick(e, Qt::Key_Down);
    QTest::keyClick(e, Qt::Key_Return);
    EXPECT_FALSE(e->ListVisible());
    EXPECT_TRUE(e->isVisible());
    EXPECT_EQ(g.Value(QStringLiteral("Last Name")), QStringLiteral("Item 5"));
    // A press outside the editor and the list closes the list without taking its item.
    QTest::keyClick(e, Qt::Key_F2);
    ASSERT_TRUE(e->ListVisible());
    QTest::keyClick(e, Qt::Key_Down);
    QTest::mouseClick(g.grid->viewport(), Qt::LeftButton, Qt::NoModifier, g.grid->CellRect(0, 0).center());
    EXPECT_FALSE(e->ListVisible());
    EXPECT_EQ(g.Value(QStringLiteral("Last Name")), QStringLiteral("Item 5"));
}

TEST(GridPickList, EscapeWithTheListOpenClosesOnlyTheList)
{
    ListGrid g(3);
    TXColumn* c = g.grid->Columns()->Items(kLastName);
    c->PickList().SetText(QStringLiteral("Alpha\nBeta"));
    TXDBGridInplaceEdit* e = EditCell(g, kLastName);
    ASSERT_NE(e, nullptr);
    QTest::keyClicks(e, QStringLiteral("Zeta"));
    QTest::keyClick(e, Qt::Key_F2);
    ASSERT_TRUE(e->ListVisible());
    QTest::keyClick(e, Qt::Key_Escape);
    EXPECT_FALSE(e->ListVisible());
    EXPECT_TRUE(e->isVisible());
    EXPECT_EQ(e->text(), QStringLiteral("Zeta"));
    EXPECT_EQ(g.ds.State(), db::dsEdit);
    QTest::keyClick(e, Qt::Key_Return);
    EXPECT_EQ(g.Value(QStringLiteral("Last Name")), QStringLiteral("Zeta"));
}

TEST(GridPickList, NextAndPriorValuesWrapAndDeleteClearsOnlyAWholeSelection)
{
    ListGrid g(3);
    TXColumn* c = g.grid->Columns()->Items(kLastName);
    c->PickList().SetText(QStringLiteral("Alpha\nBeta\nGamma"));
    c->SetListOptions(loSelectNextValue | loAllowClearValue);
    c->SetPickOptions(poDropDownList);
    TXDBGridInplaceEdit* e = EditCell(g, kLastName);
    ASSERT_NE(e, nullptr);
    EXPECT_TRUE(e->isReadOnly());                  // a drop-down list takes no typing
    QTest::keyClick(e, Qt::Key_Plus, Qt::KeypadModifier);
    EXPECT_EQ(g.Value(QStringLiteral("Last Name")), QStringLiteral("Alpha"));   // "Last1" is no item
    QTest::keyClick(e, Qt::Key_Minus, Qt::KeypadModifier);
    EXPECT_EQ(g.Value(QStringLiteral("Last Name")), QStringLiteral("Gamma"));   // before the first: the last
    QTest::keyClick(e, Qt::Key_Plus, Qt::KeypadModifier);
    EXPECT_EQ(g.Value(QStringLiteral("Last Name")), QStringLiteral("Alpha"));   // after the last: the first
    EXPECT_EQ(e->text(), QStringLiteral("Alpha"));
    EXPECT_EQ(e->selectedText(), QStringLiteral("Alpha"));

    e->setSelection(0, 2);
    QTest::keyClick(e, Qt::Key_Delete);
    EXPECT_EQ(g.Value(QStringLiteral("Last Name")), QStringLiteral("Alpha"));
    e->selectAll();
    QTest::keyClick(e, Qt::Key_Delete);
    EXPECT_EQ(g.Value(QStringLiteral("Last Name")), QString());
}

TEST(GridPickList, StoredItemIndexShowsItsPickText)
{
    ListGrid g(3);
    TXColumn* c = g.grid->Columns()->Items(kLastName);
    c->PickText().SetText(QStringLiteral("Herr\nFrau\nFirma"));
    c->SetPickOptions(poSelectPickText | poStoreItemIndex);
    TXDBGridInplaceEdit* e = EditCell(g, kLastName);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(static_cast<tk::TCustomGrid*>(g.grid.get())->GetEditLimit(), 0);   // no limit while mapping
    QTest::keyClick(e, Qt::Key_F2);
    ASSERT_TRUE(e->ListVisible());
    EXPECT_EQ(e->PickList()->count(), 3);
    e->PickList()->setCurrentRow(1);
    QTest::keyClick(e, Qt::Key_Return);
    // The second pick text is stored as "2", right-aligned to the text field's size.
    EXPECT_EQ(g.Value(QStringLiteral("Last Name")), QStringLiteral("2").rightJustified(255));
    EXPECT_EQ(e->text(), QStringLiteral("Frau"));
}

TEST(GridPickList, IncrementalSearchResetsAfterTwoSeconds)
{
    TXPopupListBox list(nullptr);
    list.SetItems({QStringLiteral("Alpha"), QStringLiteral("Beta"), QStringLiteral("Bravo"), QStringLiteral("Charlie")});
    list.SearchKey(0, QLatin1Char('b'), 1000);
    EXPECT_EQ(list.currentRow(), 1);
    list.SearchKey(0, QLatin1Char('R'), 1500);
    EXPECT_EQ(list.currentRow(), 2);
    EXPECT_EQ(list.SearchText(), QStringLiteral("bR"));
    list.SearchKey(0, QLatin1Char('c'), 3400);          // within 2 s of the last key: "brc" matches nothing
    EXPECT_EQ(list.currentRow(), 2);
    list.SearchKey(0, QLatin1Char('c'), 5401);          // more than 2 s later: a new search
    EXPECT_EQ(list.SearchText(), QStringLiteral("c"));
    EXPECT_EQ(list.currentRow(), 3);
    list.SearchKey(Qt::Key_Backspace, QChar(), 5500);
    EXPECT_TRUE(list.SearchText().isEmpty());
    for (int i = 0; i < 40; ++i)
        list.SearchKey(0, QLatin1Char('x'), 6000);
    EXPECT_EQ(list.SearchText().size(), 32);
}

TEST(GridEditing, EllipsisButtonAndMemoColumns)
{
    ListGrid g(3);
    g.ds.Close();
    g.conn.Execute(QStringLiteral("ALTER TABLE \"RL1\" ADD COLUMN \"Notes\" TEXT"));
    g.ds.Open();
    QApplication::processEvents();

    // The ellipsis button: Ctrl+Enter and a click on the button reach OnEditButtonClick.
    int clicks = 0;
    g.grid->OnEditButtonClick = [&](TXCustomDBGrid*) { ++clicks; };
    g.grid->Columns()->Items(kEmail)->SetButtonStyle(cbsEllipsis);
    TXDBGridInplaceEdit* e = EditCell(g, kEmail);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->EditStyle(), esEllipsis);
    QTest::keyClick(e, Qt::Key_Return, Qt::ControlModifier);
    EXPECT_EQ(clicks, 1);
    QTest::mouseClick(e, Qt::LeftButton, Qt::NoModifier, e->ButtonRect().center());
    EXPECT_EQ(clicks, 2);
    QTest::keyClick(e, Qt::Key_Escape);

    // A memo column takes typed text only through an OnSetText handler.
    const int notes = g.grid->Columns()->Count() - 1;
    ASSERT_EQ(g.grid->Columns()->Items(notes)->Field()->DataType(), db::ftMemo);
    e = EditCell(g, notes);
    ASSERT_NE(e, nullptr);
    QTest::keyClicks(e, QStringLiteral("abc"));
    EXPECT_TRUE(e->text().isEmpty());
    EXPECT_EQ(g.ds.State(), db::dsBrowse);
    QString written;
    g.grid->Columns()->Items(notes)->Field()->OnSetText = [&](db::TField* f, const QString& text) {
        written = text;
        f->SetAsString(text);
    };
    QTest::keyClicks(e, QStringLiteral("abc"));
    QTest::keyClick(e, Qt::Key_Return);
    EXPECT_EQ(written, QStringLiteral("abc"));
    EXPECT_EQ(g.Value(QStringLiteral("Notes")), QStringLiteral("abc"));
}

TEST(GridPickList, FrameFollowsTheGridsListBorder)
{
    ListGrid g(3);
    g.grid->SetFixedStyle(fsSoft);
    g.grid->SetFixedTheme(ftNone);
    ASSERT_EQ(g.grid->GetListBorder(), lbGray);
    TXPopupListBox list(g.grid.get());
    list.SetItems({QStringLiteral("Alpha"), QStringLiteral("Beta")});
    list.resize(80, 2 * list.ItemHeight() + 4);
    const QImage gray = list.grab().toImage();
    const QPalette pal = list.palette();
    // Raised outer edge right and bottom, sunken inner edge left and top.
    EXPECT_EQ(gray.pixel(79, 10) & 0xFFFFFF, pal.color(QPalette::Shadow).rgb() & 0xFFFFFF);
    EXPECT_EQ(gray.pixel(1, 10) & 0xFFFFFF, pal.color(QPalette::Shadow).rgb() & 0xFFFFFF);
    g.grid->SetFixedStyle(fsMild);
    ASSERT_EQ(g.grid->GetListBorder(), lbMild);
    const QImage mild = list.grab().toImage();
    EXPECT_EQ(mild.pixel(0, 10) & 0xFFFFFF, pal.color(QPalette::Mid).rgb() & 0xFFFFFF);
    EXPECT_EQ(mild.pixel(78, 10) & 0xFFFFFF, pal.color(QPalette::Mid).rgb() & 0xFFFFFF);
}

// Typing on a selected cell that is not being edited: the first character opens the editor and
// replaces the cell's text, later ones follow it. The keys go to the grid itself (as its key
// clicks do) or, the way a user types, to whatever has the focus once the editor is open.
TEST(GridEditing, TypingOnASelectedCellReplacesItsText)
{
    for (const bool toFocus : {false, true}) {
        SCOPED_TRACE(toFocus ? "keys to the focus widget" : "keys to the grid");
        ListGrid g(3);
        g.grid->activateWindow();
        g.grid->setFocus();
        g.grid->SetSelectedIndex(kLastName);
        ASSERT_FALSE(g.grid->EditorMode());
        const QString typed = QStringLiteral("Hallo Welt");
        for (qsizetype i = 0; i < typed.size(); ++i) {
            QWidget* target = toFocus && i > 0 ? QApplication::focusWidget() : g.grid.get();
            ASSERT_NE(target, nullptr);
            QTest::keyClicks(target, typed.mid(i, 1), Qt::NoModifier, 30);
        }
        ASSERT_NE(Editor(g), nullptr);
        EXPECT_EQ(Editor(g)->text(), typed);
        g.Key(Qt::Key_Down);
        db::Statement st(g.conn, QStringLiteral("SELECT \"Last Name\" FROM \"RL1\" WHERE \"_ID\" = 1"));
        ASSERT_TRUE(st.Step());
        EXPECT_EQ(st.Column(0).toString(), typed);
    }
}

// F2 edits the text that is there: typing appends.
TEST(GridEditing, F2KeepsTheTextAndTypingAppends)
{
    ListGrid g(3);
    g.grid->activateWindow();
    g.grid->setFocus();
    g.grid->SetSelectedIndex(kLastName);
    g.Key(Qt::Key_F2);
    ASSERT_TRUE(Editor(g) && Editor(g)->isVisible());
    EXPECT_FALSE(Editor(g)->hasSelectedText());
    QTest::keyClicks(g.grid.get(), QStringLiteral(" neu"), Qt::NoModifier, 30);
    EXPECT_EQ(Editor(g)->text(), QStringLiteral("Last1 neu"));
    QTest::keyClick(Editor(g), Qt::Key_Return);
    EXPECT_EQ(g.Value(QStringLiteral("Last Name")), QStringLiteral("Last1 neu"));
}
