// The grid over lookup fields and dataset fields, the input method per column, the column
// expansion event and the flat scroll bar look, driven with keys and the mouse.
#include "recipients/datagrid/XDBGridEdit.h"
#include "tests/datagrid/GridFixture.h"
#include <QListWidget>
#include <QScrollBar>
#include <gtest/gtest.h>

using namespace xdb;

namespace {

// Lists and their members in a database file; the members' grid has a lookup field for the
// list's name, the lists' grid a dataset field with each list's members.
struct ListsAndMembers {
    qlytest::TempDir dir;
    db::Connection conn;
    db::TExtADODataSet lists;
    db::TExtADODataSet members;
    db::TDataSource source;
    std::unique_ptr<TXDBGrid> grid;

    explicit ListsAndMembers(bool showLists)
    {
        conn.Open(dir.file("qly.db"), db::OpenMode::CreateIfMissing);
        conn.Execute("CREATE TABLE \"Lists\" (\"_ID\" INTEGER PRIMARY KEY AUTOINCREMENT, \"Name\" TEXT(255))");
        conn.Execute("CREATE TABLE \"Members\" (\"_ID\" INTEGER PRIMARY KEY AUTOINCREMENT, \"ListID\" INTEGER, "
                     "\"Email\" TEXT(255))");
        conn.Execute("INSERT INTO \"Lists\" (\"Name\") VALUES ('Kunden'), ('Presse'), ('Leer')");
        conn.Execute("INSERT INTO \"Members\" (\"ListID\", \"Email\") VALUES (1, 'a@x.de'), (2, 'b@x.de'), (1, 'c@x.de')");
        lists.SetConnection(&conn);
        lists.SetCommandText("SELECT * FROM Lists");
        members.SetConnection(&conn);
        members.SetCommandText("SELECT * FROM Members");
        if (showLists) {
            lists.AddNestedField("Mitglieder", "SELECT Email FROM Members WHERE ListID = :_ID ORDER BY Email");
            source.SetDataSet(&lists);
        } else {
            members.AddLookupField("Liste", db::ftWideString, 255, "ListID", &lists, "_ID", "Name");
            source.SetDataSet(&members);
        }
        lists.Open();
        members.Open();
        grid = std::make_unique<TXDBGrid>();
        grid->resize(520, 300);
        grid->SetDataSource(&source);
        grid->show();
        QApplication::processEvents();
    }
    TXDBGridInplaceEdit* Edit(const QString& field)
    {
        grid->SetSelectedIndex(grid->ColumnByFieldName(field)->Index());
        QTest::keyClick(grid.get(), Qt::Key_F2);
        return qobject_cast<TXDBGridInplaceEdit*>(grid->InplaceEditor());
    }
    int StoredListId(int memberId)
    {
        return conn.Scalar("SELECT ListID FROM Members WHERE _ID = ?", {memberId}).toInt();
    }
};

QStringList Texts(QListWidget* list)
{
    QStringList out;
    for (int i = 0; i < list->count(); ++i)
        out << list->item(i)->text();
    return out;
}

} // namespace

TEST(GridLookupList, ChoosingAListEntrySetsTheKeyField)
{
    ListsAndMembers t(false);
    EXPECT_EQ(t.grid->ColumnByFieldName("Liste")->Field()->AsString(), "Kunden");
    TXDBGridInplaceEdit* e = t.Edit("Liste");
    ASSERT_NE(e, nullptr);
    EXPECT_TRUE(e->UsesLookupList());
    EXPECT_EQ(e->EditStyle(), esPickList);
    QTest::keyClick(e, Qt::Key_F2);
    ASSERT_TRUE(e->ListVisible());
    TXPopupDataList* list = e->LookupList();
    EXPECT_TRUE(list->isVisible());
    EXPECT_EQ(Texts(list), QStringList({"Kunden", "Presse", "Leer"}));
    ASSERT_NE(list->currentItem(), nullptr);
    EXPECT_EQ(list->currentItem()->text(), "Kunden") << "the record's own entry is selected";
    QTest::keyClick(e, Qt::Key_Down);
    QTest::keyClick(e, Qt::Key_Return);
    EXPECT_FALSE(e->ListVisible());
    EXPECT_EQ(t.members.FieldByName("ListID")->AsInteger(), 2);
    EXPECT_EQ(e->text(), "Presse");
    EXPECT_EQ(t.lists.RecNo(), 1) << "the lookup dataset stays where it was";
    QTest::keyClick(t.grid.get(), Qt::Key_Down); // posts
    EXPECT_EQ(t.StoredListId(1), 2);

    // A click on an entry takes it.
    QTest::keyClick(t.grid.get(), Qt::Key_Up);
    e = t.Edit("Liste");
    QTest::keyClick(e, Qt::Key_Down, Qt::AltModifier);
    ASSERT_TRUE(e->ListVisible());
    const QRect third = list->visualItemRect(list->item(2));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, third.center());
    EXPECT_FALSE(e->ListVisible());
    EXPECT_EQ(t.members.FieldByName("ListID")->AsInteger(), 3);
    EXPECT_EQ(t.members.FieldByName("Liste")->AsString(), "Leer");

    // Keypad plus and minus step through the lookup records, wrapping at the ends.
    t.grid->ColumnByFieldName("Liste")->SetListOptions(loSelectNextValue | loAllowClearValue);
    t.grid->InvalidateEditor();
    QTest::keyClick(e, Qt::Key_Plus, Qt::KeypadModifier);
    EXPECT_EQ(t.members.FieldByName("Liste")->AsString(), "Kunden");
    QTest::keyClick(e, Qt::Key_Minus, Qt::KeypadModifier);
    EXPECT_EQ(t.members.FieldByName("Liste")->AsString(), "Leer");
    // Delete on the whole text clears the key.
    e->selectAll();
    QTest::keyClick(e, Qt::Key_Delete);
    EXPECT_TRUE(t.members.FieldByName("ListID")->IsNull());
}

TEST(GridLookupList, ReadOnlyKeyFieldGivesAPlainCell)
{
    ListsAndMembers t(false);
    t.members.FieldByName("ListID")->SetReadOnly(true);
    TXDBGridInplaceEdit* e = t.Edit("Liste");
    ASSERT_NE(e, nullptr);
    EXPECT_FALSE(e->UsesLookupList());
    EXPECT_EQ(e->EditStyle(), esSimple);
}

TEST(GridNestedDataSet, EllipsisOpensAFloatingGridThatFollowsTheRecord)
{
    ListsAndMembers t(true);
    TXColumn* column = t.grid->ColumnByFieldName("Mitglieder");
    EXPECT_EQ(column->Field()->DataType(), db::ftDataSet);
    TXDBGridInplaceEdit* e = t.Edit("Mitglieder");
    ASSERT_NE(e, nullptr);
    ASSERT_EQ(e->EditStyle(), esEllipsis);
    QTest::mouseClick(e, Qt::LeftButton, {}, e->ButtonRect().center());
    ASSERT_EQ(t.grid->NestedGrids().size(), 1);
    TXCustomDBGrid* nested = t.grid->NestedGrids()[0];
    QWidget* window = nested->window();
    EXPECT_TRUE(window->isVisible());
    EXPECT_NE(window, t.grid->window());
    EXPECT_EQ(nested->DragKind(), dkDock);
    db::TDataSet* rows = nested->DataLink()->DataSet();
    ASSERT_NE(rows, nullptr);
    EXPECT_EQ(rows->RecordCount(), 2);
    EXPECT_EQ(rows->FieldByName("Email")->AsString(), "a@x.de");
    EXPECT_GE(window->height(), 100);

    // The same field again shows the same grid; the next list shows its own members.
    QTest::mouseClick(e, Qt::LeftButton, {}, e->ButtonRect().center());
    EXPECT_EQ(t.grid->NestedGrids().size(), 1);
    QTest::keyClick(t.grid.get(), Qt::Key_Escape);
    QTest::keyClick(t.grid.get(), Qt::Key_Down);
    EXPECT_EQ(rows->RecordCount(), 1);
    EXPECT_EQ(rows->FieldByName("Email")->AsString(), "b@x.de");

    // Closing the dataset frees the floating grids.
    QPointer<QWidget> gone = window;
    t.lists.Close();
    EXPECT_TRUE(t.grid->NestedGrids().isEmpty());
    EXPECT_TRUE(gone.isNull());
}

TEST(GridInputMethod, EachColumnSwitchesTheEditorsInputMethod)
{
    gridtest::ListGrid g(3);
    g.grid->SetImeMode(imAlpha);
    g.grid->Columns()->Items(3)->SetImeMode(imDisable);  // Last Name
    g.grid->Columns()->Items(4)->SetImeMode(imOpen);     // First Name
    g.grid->Columns()->Items(4)->SetImeName("Hangul");
    g.grid->SetSelectedIndex(2);  // Email: the grid's mode
    g.Key(Qt::Key_F2);
    QWidget* e = g.grid->InplaceEditor();
    ASSERT_NE(e, nullptr);
    EXPECT_TRUE(e->testAttribute(Qt::WA_InputMethodEnabled));
    EXPECT_TRUE(e->inputMethodHints() & Qt::ImhLatinOnly);
    g.Key(Qt::Key_Tab);
    g.Key(Qt::Key_F2);
    ASSERT_EQ(g.grid->SelectedIndex(), 3);
    EXPECT_FALSE(e->testAttribute(Qt::WA_InputMethodEnabled));
    g.Key(Qt::Key_Tab);
    g.Key(Qt::Key_F2);
    ASSERT_EQ(g.grid->SelectedIndex(), 4);
    EXPECT_TRUE(e->testAttribute(Qt::WA_InputMethodEnabled));
    EXPECT_FALSE(e->inputMethodHints() & Qt::ImhLatinOnly);
    EXPECT_EQ(e->property("imeName").toString(), "Hangul");
    EXPECT_EQ(g.grid->Columns()->Items(2)->ImeMode(), imAlpha) << "unassigned: the grid's";
}

TEST(GridColumns, ExpandButtonRaisesOnColExpand)
{
    gridtest::ListGrid g(2);
    TXDBGridColumns* cols = g.grid->Columns();
    for (int i = 0; i < cols->Count(); ++i)
        cols->Items(i)->SetWidth(80);
    TXColumn* parent = cols->Items(2);
    parent->SetExpandCols(2);
    QList<std::pair<QString, bool>> events;
    g.grid->OnColExpand = [&](TXColumn* c) { events << std::make_pair(c->FieldName(), c->Expanded()); };
    QApplication::processEvents();
    // The expand button of the parent's title, found by what the grid reports under the mouse.
    const auto findButton = [&] {
        for (int y = 0; y < 60; ++y)
            for (int x = 0; x < g.grid->viewport()->width(); ++x) {
                const auto hit = g.grid->TitleHitAt(QPoint(x, y));
                if (hit.column == parent && hit.expandButton)
                    return QPoint(x, y);
            }
        return QPoint(-1, -1);
    };
    const bool before = parent->Expanded();
    QPoint button = findButton();
    ASSERT_GE(button.x(), 0);
    QTest::mouseClick(g.grid->viewport(), Qt::LeftButton, {}, button);
    ASSERT_EQ(events.size(), 1);
    EXPECT_EQ(events[0], std::make_pair(QString("Email"), !before));
    button = findButton();
    ASSERT_GE(button.x(), 0);
    QTest::mouseClick(g.grid->viewport(), Qt::LeftButton, {}, button);
    ASSERT_EQ(events.size(), 2);
    EXPECT_EQ(events[1].second, before);
}

TEST(GridScrollBars, FlatAndHotTrackLooksAreDrawnInTheirColour)
{
    tk::SetThemesEnabled(false);
    gridtest::ListGrid g(200);
    QScrollBar* bar = g.grid->verticalScrollBar();
    ASSERT_TRUE(bar->isVisible());
    ASSERT_TRUE(g.grid->FlatScrollBars());
    const auto shot = [&] { return bar->grab().toImage().convertToFormat(QImage::Format_RGB32); };
    const QRgb pink = qRgb(255, 0, 255);
    const auto pinkPixels = [&](const QImage& img) {
        int n = 0;
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x)
                n += img.pixel(x, y) == pink;
        return n;
    };
    const QImage regular = shot();
    EXPECT_EQ(pinkPixels(regular), 0);
    g.grid->ScrollProp()->SetColor(0xFF00FF); // 0x00BBGGRR: magenta
    EXPECT_FALSE(g.grid->ScrollProp()->ParentColor());
    const QImage coloured = shot();
    EXPECT_GT(pinkPixels(coloured), bar->width() * 10) << "the groove takes the scroll colour";

    g.grid->ScrollProp()->SetStyle(ssFlat);
    const QImage flat = shot();
    g.grid->ScrollProp()->SetStyle(ssHotTrack);
    const QImage hotTrack = shot();
    EXPECT_NE(flat, coloured);
    EXPECT_NE(hotTrack, flat);

    // Under the mouse the hot-track arrow lights up.
    const QPoint arrow(bar->width() / 2, bar->height() - bar->width() / 2);
    QTest::mouseMove(bar, arrow);
    QApplication::processEvents();
    const QImage lit = shot();
    const QRect arrowRect(0, bar->height() - bar->width(), bar->width(), bar->width());
    EXPECT_NE(lit.copy(arrowRect), hotTrack.copy(arrowRect));

    // With the parent style the look follows the fixed style; themes give the style's own bars.
    g.grid->ScrollProp()->SetParentStyle(true);
    g.grid->SetFixedStyle(fsFlat);
    EXPECT_EQ(g.grid->ScrollProp()->Style(), ssHotTrack);
    tk::SetThemesEnabled(true);
    EXPECT_FALSE(g.grid->FlatScrollBars());
    g.grid->UpdateScrollBarLook();
    EXPECT_EQ(pinkPixels(shot()), 0);
    g.grid->ScrollProp()->SetWinXPMode(true);
    tk::SetThemesEnabled(false);
    EXPECT_FALSE(g.grid->FlatScrollBars());
    tk::SetThemesEnabled(true);
}
