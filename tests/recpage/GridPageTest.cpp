// The list grid on the recipients page: columns, status bar text, red addresses, the status,
// cleaning, column and row commands, and the list name box with its buttons.
#include "RecipientsPageFixture.h"
#include "recipients/datagrid/XDBGridColumns.h"

#include <QAction>
#include <QImage>
#include <QMenu>
#include <QToolButton>

using namespace pagetest;

namespace {

QList<int> Widths(recipients::TRecipientsGrid* g)
{
    QList<int> w;
    for (int i = 0; i < g->Columns()->Count(); ++i)
        w << g->Columns()->Items(i)->Width();
    return w;
}

QStringList ColumnNames(recipients::TRecipientsGrid* g)
{
    QStringList n;
    for (int i = 0; i < g->Columns()->Count(); ++i)
        n << g->Columns()->Items(i)->FieldName();
    return n;
}

int RedPixels(const QImage& img, const QRect& r)
{
    int n = 0;
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x) {
            const QColor c = img.pixelColor(x, y);
            n += c.red() > 180 && c.green() < 80 && c.blue() < 80;
        }
    return n;
}

} // namespace

TEST_F(RecipientsPageTest, FreshListShowsTheFixedColumnsAndHidesUnderscoreColumns)
{
    EXPECT_EQ(Grid()->objectName(), "StringGridFavorites");
    EXPECT_EQ(Grid()->parentWidget(), form->PanelRecipientsGrid);
    EXPECT_EQ(ColumnNames(Grid()), QStringList({"Status", "Email", "Last Name", "First Name"}));
    xdb::TXColumn* status = Grid()->Columns()->Items(0);
    // 37 pixels, wider only where the title font needs it for "Status".
    const int titleWidth = QFontMetrics(status->Title()->Font().Font()).horizontalAdvance(QStringLiteral("Status"));
    EXPECT_EQ(Widths(Grid()).first(), std::max(37, titleWidth + 2 * Grid()->GridStyle()->TitleColMargin() + 8));
    EXPECT_EQ(Widths(Grid()).mid(1), QList<int>({180, 180, 180}));
    EXPECT_EQ(status->Images(), Grid()->ImageListStatus());
    EXPECT_TRUE(status->ReadOnly());
    EXPECT_FALSE(status->ShowEdit());

    // A column made behind the page's back that starts with "_" stays hidden like _ID; a user
    // column added through the menu appears at the end.
    Conn().Execute("ALTER TABLE " + db::QuoteName(Grid()->TableName()) + " ADD COLUMN \"_x\" TEXT");
    inputs.push_back(QStringLiteral("Firma"));
    form->MenuAddColumnClick();
    EXPECT_EQ(ColumnNames(Grid()), QStringList({"Status", "Email", "Last Name", "First Name", "Firma"}));
    EXPECT_EQ(Widths(Grid()).last(), 180);
    EXPECT_TRUE(form->SpeedButtonSaveFavorite->isEnabled());

}

TEST_F(RecipientsPageTest, StatusBarShowsRowCountAndSelection)
{
    ShowRecipientsPage();
    QList<QStringList> rows;
    for (int i = 1; i <= 10; ++i)
        rows << QStringList{QStringLiteral("u%1@x.de").arg(i), "L", "F"};
    AddRows(rows);
    DataSet().SetRecNo(3);
    EXPECT_EQ(StatusText(), "3/10");
    Select({5, 7}, 3);
    EXPECT_EQ(StatusText(), "3/10 (3)");
    // The current row among the selected counts once.
    Select({3}, 3);
    DataSet().SetRecNo(5);
    DataSet().SetRecNo(3);
    EXPECT_EQ(StatusText(), "3/10 (3)");
    Grid()->SelectedRows()->Clear();
    DataSet().Insert();
    EXPECT_EQ(StatusText(), "11/11");
    DataSet().Cancel();
    EXPECT_EQ(StatusText(), "3/10");

    // Leaving the page clears the panel.
    form->SpeedButtonContentClick();
    EXPECT_EQ(StatusText(), "");
}

// Shift with Ctrl+End, Ctrl+Home, PageDown and PageUp select from the clicked row to where the key
// goes, in a sorted list too; the current row is where the key went.
TEST_F(RecipientsPageTest, ShiftKeysSelectFromTheClickedRowToWhereTheKeyGoes)
{
    QList<QStringList> rows;
    for (int i = 1; i <= 40; ++i)
        rows << QStringList{QStringLiteral("u%1@x.de").arg(i, 2, 10, QLatin1Char('0')), QStringLiteral("L%1").arg(i % 7), "F"};
    AddRows(rows);
    ShowRecipientsPage();
    QWidget* view = Grid()->viewport();
    const auto selectedRecNos = [&] {
        QList<int> recNos;
        auto& ds = DataSet();
        const int keep = ds.RecNo();
        for (const db::TBookmark& b : Grid()->SelectedRows()->List()) {
            ds.GotoBookmark(b);
            recNos << ds.RecNo();
        }
        ds.SetRecNo(keep);
        return recNos;
    };
    const auto span = [](int from, int to) {
        QList<int> out;
        for (int r = from; r <= to; ++r)
            out << r;
        return out;
    };
    const struct {
        const char* name;
        int key;
        Qt::KeyboardModifiers mods;
        int recNoAfter;   // 0: a page below the clicked row
    } cases[] = {{"Shift+Ctrl+End", Qt::Key_End, Qt::ShiftModifier | Qt::ControlModifier, 40},
                 {"Shift+Ctrl+Home", Qt::Key_Home, Qt::ShiftModifier | Qt::ControlModifier, 1},
                 {"Shift+PageDown", Qt::Key_PageDown, Qt::ShiftModifier, 0}};
    for (const bool sorted : {false, true}) {
        if (sorted) {   // a click on the title "Last Name" sorts the records by it
            QTest::mouseClick(view, Qt::LeftButton, Qt::NoModifier,
                              Grid()->CellRect(Grid()->DataColToGridCol(2), 0).center());
            ASSERT_EQ(Grid()->Columns()->Items(2)->Title()->Marker(), xdb::tmAscend);
        }
        for (const auto& c : cases) {
            SCOPED_TRACE(c.name);
            SCOPED_TRACE(sorted);
            DataSet().First();
            QApplication::processEvents();
            QTest::mouseClick(view, Qt::LeftButton, Qt::NoModifier,
                              Grid()->ColumnCellRect(Grid()->Columns()->Items(1), 4).center());
            ASSERT_EQ(DataSet().RecNo(), 5);
            const int after = c.recNoAfter ? c.recNoAfter : 5 + Grid()->VisibleRowCount();
            QTest::keyClick(Grid(), Qt::Key(c.key), c.mods);
            EXPECT_EQ(DataSet().RecNo(), after);
            const QList<int> want = span(std::min(5, after), std::max(5, after));
            EXPECT_EQ(selectedRecNos(), want);
            EXPECT_EQ(StatusText(), QStringLiteral("%1/40 (%2)").arg(after).arg(want.size()));
        }
    }
}

TEST_F(RecipientsPageTest, InvalidAddressesArePaintedRed)
{
    AddRows({{"good@example.com", "A", "B"}, {"bad@nowhere", "C", "D"}, {"", "E", "F"}});
    ShowRecipientsPage();
    Grid()->resize(700, 300);
    QApplication::processEvents();
    const QImage shot = Grid()->viewport()->grab().toImage();
    xdb::TXColumn* email = Grid()->Columns()->Items(1);
    xdb::TXColumn* last = Grid()->Columns()->Items(2);
    EXPECT_EQ(RedPixels(shot, Grid()->ColumnCellRect(email, 0)), 0) << "a valid address keeps its colour";
    EXPECT_GT(RedPixels(shot, Grid()->ColumnCellRect(email, 1)), 5) << "an invalid address is red";
    EXPECT_EQ(RedPixels(shot, Grid()->ColumnCellRect(last, 1)), 0) << "only the Email column";
}

TEST_F(RecipientsPageTest, StatusCommandsWorkOnTheSelectionOrTheCurrentRow)
{
    AddRows({{"a@x.de", "", ""}, {"b@x.de", "", ""}, {"c@x.de", "", ""}, {"d@x.de", "", ""}});
    auto statuses = [this] {
        QList<int> s;
        for (const QVariantList& r : Conn().Select("SELECT Status FROM " + db::QuoteName(Grid()->TableName()) + " ORDER BY _ID"))
            s << r[0].toInt();
        return s;
    };
    DataSet().SetRecNo(2);
    form->MenuMarkSent->trigger();
    EXPECT_EQ(statuses(), QList<int>({0, 1, 0, 0})) << "no selection: the current row";
    EXPECT_TRUE(form->SpeedButtonSaveFavorite->isEnabled());
    Select({3, 4}, 1);
    form->MenuMarkBlocked->trigger();
    EXPECT_EQ(statuses(), QList<int>({0, 1, 2, 2})) << "the selected rows, not the current one";
    EXPECT_EQ(Grid()->SelectedRows()->Count(), 0) << "the selection is cleared afterwards";
    EXPECT_EQ(Grid()->RowsToSent(), 1);
    form->MenuAllBlockedToSend->trigger();
    EXPECT_EQ(statuses(), QList<int>({0, 1, 0, 0}));
    form->MenuAllSentToSend->trigger();
    EXPECT_EQ(statuses(), QList<int>({0, 0, 0, 0}));
    form->MenuAllBlocked->trigger();
    EXPECT_EQ(statuses(), QList<int>({2, 2, 2, 2}));
    EXPECT_EQ(Grid()->RowsToSent(), 0);
}

TEST_F(RecipientsPageTest, CleaningCommands)
{
    AddRows({{"Max <max@x.de>", "", "", "1"}, {"", "", ""}, {"a@b", "", ""}, {"x@y.z", "", "", "2"}, {"info@müller.de", "", ""}});
    // Next invalid wraps around from the last row.
    DataSet().SetRecNo(5);
    form->MenuNextInvalid->trigger();
    EXPECT_EQ(DataSet().RecNo(), 2);
    form->MenuNextInvalid->trigger();
    EXPECT_EQ(DataSet().RecNo(), 3);
    EXPECT_EQ(beeps, 0);

    form->MenuRemoveEmpty->trigger();
    EXPECT_EQ(Emails(), QStringList({"Max <max@x.de>", "a@b", "x@y.z", "info@müller.de"}));
    form->MenuRemoveInvalid->trigger();
    EXPECT_EQ(Emails(), QStringList({"Max <max@x.de>", "x@y.z"}));
    EXPECT_EQ(Conn().Select("SELECT Status FROM " + db::QuoteName(Grid()->TableName()) + " ORDER BY _ID"),
              QList<QVariantList>({{1}, {2}}))
        << "the kept rows keep their status";
    EXPECT_TRUE(form->SpeedButtonSaveFavorite->isEnabled());

    // Nothing invalid left: the beep sounds and the main window is flashed; the row stays.
    DataSet().SetRecNo(2);
    form->MenuNextInvalid->trigger();
    EXPECT_EQ(DataSet().RecNo(), 2);
    EXPECT_EQ(beeps, 1);
    ASSERT_EQ(flashed.size(), 1);
    EXPECT_EQ(flashed[0], form.get());
}

TEST_F(RecipientsPageTest, ColumnCommandsAndTheContextMenu)
{
    inputs.push_back(QStringLiteral("  Firma "));
    form->MenuAddColumnClick();
    ASSERT_EQ(Grid()->GetFieldNames().mid(1), QStringList({"Status", "Email", "Last Name", "First Name", "Firma"}));

    // The first four columns cannot be renamed or removed: the menu says so, and the shortcut
    // path is refused by the list.
    Grid()->SetSelectedIndex(1);
    form->PopupMenuRecipientsGridPopup();
    EXPECT_FALSE(form->MenuRenameColumn->isEnabled());
    EXPECT_FALSE(form->MenuRemoveColumn->isEnabled());
    EXPECT_FALSE(form->MenuDeleteRows->isEnabled()) << "no rows";
    answers.push_back(QMessageBox::Ok);
    form->MenuRemoveColumnClick();
    EXPECT_TRUE(Grid()->GetFieldNames().contains("Email"));

    Grid()->SetSelectedIndex(4);
    form->PopupMenuRecipientsGridPopup();
    EXPECT_TRUE(form->MenuRenameColumn->isEnabled());
    inputs.push_back(QStringLiteral("Company"));
    form->MenuRenameColumnClick();
    EXPECT_TRUE(Grid()->GetFieldNames().contains("Company"));
    EXPECT_FALSE(Grid()->GetFieldNames().contains("Firma"));

    // Cancel keeps the column; OK removes it; the question names it.
    Grid()->SetSelectedIndex(4);
    shown.clear();
    answers.push_back(QMessageBox::Cancel);
    form->MenuRemoveColumnClick();
    EXPECT_EQ(shown, QStringList({"Möchten Sie die Spalte \"Company\" wirklich löschen?"}));
    EXPECT_TRUE(Grid()->GetFieldNames().contains("Company"));
    answers.push_back(QMessageBox::Ok);
    form->MenuRemoveColumnClick();
    EXPECT_FALSE(Grid()->GetFieldNames().contains("Company"));
    EXPECT_EQ(Grid()->Columns()->Count(), 4);
}

TEST_F(RecipientsPageTest, DeleteSelectedRowsDeletesOnlyTheSelection)
{
    AddRows({{"a@x.de", "", ""}, {"b@x.de", "", ""}, {"c@x.de", "", ""}});
    Select({3}, 1);
    form->MenuDeleteRows->trigger();
    EXPECT_EQ(Emails(), QStringList({"a@x.de", "b@x.de"})) << "one selected row that is not the current one";
    DataSet().SetRecNo(1);
    form->MenuDeleteRowsClick();
    EXPECT_EQ(Emails(), QStringList({"b@x.de"})) << "without a selection the current row";
}

TEST_F(RecipientsPageTest, TitleClicksSortAscendingThenDescending)
{
    AddRows({{"b@x.de", "", ""}, {"c@x.de", "", ""}, {"a@x.de", "", ""}});
    xdb::TXColumn* email = Grid()->Columns()->Items(1);
    Grid()->OnTitleClick(email);
    EXPECT_EQ(Emails(), QStringList({"a@x.de", "b@x.de", "c@x.de"}));
    EXPECT_EQ(email->Title()->Marker(), xdb::tmAscend);
    Grid()->OnTitleClick(email);
    EXPECT_EQ(Emails(), QStringList({"c@x.de", "b@x.de", "a@x.de"}));
    EXPECT_EQ(email->Title()->Marker(), xdb::tmDescend);
    EXPECT_EQ(Grid()->Columns()->Count(), 4) << "sorting keeps the columns";
    // Another column sorts ascending and takes the marker; reopening the list ends the order.
    xdb::TXColumn* last = Grid()->Columns()->Items(2);
    Grid()->OnTitleClick(last);
    EXPECT_EQ(email->Title()->Marker(), xdb::tmNone);
    EXPECT_EQ(last->Title()->Marker(), xdb::tmAscend);
    Grid()->Reopen(); // the columns are made afresh
    email = Grid()->Columns()->Items(1);
    EXPECT_EQ(Grid()->Columns()->Items(2)->Title()->Marker(), xdb::tmNone);
    EXPECT_EQ(Emails(), QStringList({"b@x.de", "c@x.de", "a@x.de"}));
    Grid()->OnTitleClick(email);
    EXPECT_EQ(Emails(), QStringList({"a@x.de", "b@x.de", "c@x.de"})) << "the first click after an open sorts ascending";
}

TEST_F(RecipientsPageTest, SaveOpenAndDeleteListsThroughTheNameBox)
{
    AddRows({{"a@x.de", "", ""}});
    form->SpeedButtonSaveFavorite->setEnabled(true);
    // Too short a name: the information and nothing stored.
    form->ComboBoxFavorites->setEditText("ab");
    form->SpeedButtonSaveFavoriteClick();
    EXPECT_EQ(shown.last(), "Der Name einer Empfängerliste muss mindestens 3 Zeichen lang sein.");
    EXPECT_TRUE(form->SpeedButtonSaveFavorite->isEnabled());

    form->ComboBoxFavorites->setEditText("Kunden");
    form->SpeedButtonSaveFavoriteClick();
    EXPECT_FALSE(form->SpeedButtonSaveFavorite->isEnabled());
    EXPECT_EQ(form->ComboBoxFavorites->count(), 1);
    EXPECT_EQ(form->ComboBoxFavorites->currentText(), "Kunden");
    EXPECT_TRUE(Grid()->TableName().startsWith("RL"));
    EXPECT_EQ(Emails(), QStringList({"a@x.de"}));

    // A new list: the stored one is released; Arrow keys do not switch lists over changes.
    form->SpeedButton1->click();
    EXPECT_EQ(Grid()->TableName(), form->ListStore().TEMP);
    EXPECT_EQ(form->ComboBoxFavorites->currentText(), "");
    AddRows({{"n@x.de", "", ""}});
    form->SpeedButtonSaveFavorite->setEnabled(true);
    int up = Qt::Key_Down;
    form->ComboBoxFavoritesKeyDown(up);
    EXPECT_EQ(up, 0);

    // The drop-down asks first; Cancel keeps it closed and the list open.
    shown.clear();
    answers.push_back(QMessageBox::Cancel);
    bool allow = true;
    form->ComboBoxFavoritesDropDown(allow);
    EXPECT_FALSE(allow);
    EXPECT_EQ(shown, QStringList({"Änderungen an der Empfängerliste \"unbenannt\" speichern?"}));
    EXPECT_EQ(Emails(), QStringList({"n@x.de"}));

    // No: go on and open the stored list.
    answers.push_back(QMessageBox::No);
    form->ComboBoxFavoritesDropDown(allow);
    EXPECT_TRUE(allow);
    form->ComboBoxFavorites->setCurrentIndex(0);
    form->ComboBoxFavoritesSelect();
    EXPECT_EQ(Emails(), QStringList({"a@x.de"}));
    EXPECT_FALSE(form->SpeedButtonSaveFavorite->isEnabled());
    EXPECT_FALSE(form->ListStore().GetListNames().isEmpty());

    // Delete: the question with two blanks, then a new unsaved list (it was the first list).
    shown.clear();
    answers.push_back(QMessageBox::Ok);
    form->SpeedButtonDeleteFavoriteClick();
    EXPECT_EQ(shown, QStringList({"Diese Liste aus der Datenbank löschen:  Kunden."}));
    EXPECT_EQ(form->ComboBoxFavorites->count(), 0);
    EXPECT_EQ(Grid()->TableName(), form->ListStore().TEMP);
    EXPECT_TRUE(Emails().isEmpty());
}

TEST_F(RecipientsPageTest, ListFilesThroughThePageButtons)
{
    AddRows({{"ä@x.de", "Müller", "Jörg", "2"}, {"b@x.de", "B", "C"}});
    fileAnswer = dir.file("out.csv");
    form->SpeedButtonSaverecipients->click();
    QFile f(fileAnswer);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), QByteArray("Status;Email;Last Name;First Name;\r\n2;ä@x.de;Müller;Jörg;\r\n0;b@x.de;B;C;\r\n"));
    f.close();

    form->SpeedButton1->click();
    EXPECT_TRUE(Emails().isEmpty());
    form->SpeedButtonLoadrecipients->click();
    EXPECT_EQ(Emails(), QStringList({"ä@x.de", "b@x.de"}));
    EXPECT_TRUE(form->SpeedButtonSaveFavorite->isEnabled());
    EXPECT_EQ(form->ComboBoxFavorites->currentText(), "");
}

TEST_F(RecipientsPageTest, GridKeysInsertRowAndEnterFocus)
{
    ShowRecipientsPage();
    AddRows({{"a@x.de", "", ""}, {"b@x.de", "", ""}, {"c@x.de", "", ""}});
    Grid()->setFocus();
    form->SpeedButtonSaveFavorite->setEnabled(false);
    QTest::keyClick(Grid(), Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(Grid()->SelectedRows()->Count(), 3) << "Ctrl+A selects every row";
    EXPECT_TRUE(form->SpeedButtonSaveFavorite->isEnabled()) << "a key in the grid marks the list changed";
    Grid()->SelectedRows()->Clear();

    // "Neue Reihe einfügen" starts a new row; the status bar counts it.
    form->MenuInsertRow->trigger();
    EXPECT_EQ(DataSet().State(), db::dsInsert);
    EXPECT_EQ(Grid()->Row(), -1);
    EXPECT_EQ(StatusText(), "4/4");
    DataSet().Cancel();

    // Entering the grid on the status column moves to the address column.
    Grid()->SetSelectedIndex(0);
    form->StringGridFavoritesEnter();
    EXPECT_EQ(Grid()->SelectedIndex(), 1);
}

TEST_F(RecipientsPageTest, RememberedListIsOpenedUnlessItIsLocked)
{
    AddRows({{"a@x.de", "", ""}});
    form->ComboBoxFavorites->setEditText("Kunden");
    form->SpeedButtonSaveFavoriteClick();
    const int id = Grid()->TableName().mid(2).toInt();
    form->SpeedButton1->click();
    ASSERT_EQ(Grid()->TableName(), form->ListStore().TEMP);

    form->OpenRememberedList(-1, id);
    EXPECT_EQ(Grid()->TableName(), "RL" + QString::number(id));
    EXPECT_EQ(form->ComboBoxFavorites->currentText(), "Kunden");
    EXPECT_EQ(Emails(), QStringList({"a@x.de"}));

    // Held by someone else: the start goes on with a new unsaved list and asks nothing.
    form->SpeedButton1->click();
    Conn().Execute("UPDATE RecipientsLists SET LockedBy = 'otto@elsewhere:1:1' WHERE ID = ?", {id});
    shown.clear();
    form->OpenRememberedList(0, -1);
    EXPECT_EQ(Grid()->TableName(), form->ListStore().TEMP);
    EXPECT_TRUE(shown.isEmpty());
    // Chosen in the name box, the refusal names the other user.
    form->ComboBoxFavorites->setCurrentIndex(0);
    form->ComboBoxFavoritesSelect();
    ASSERT_EQ(shown.size(), 1);
    EXPECT_TRUE(shown[0].endsWith("Aktueller Benutzer dieser Liste ist: 'otto'.")) << shown[0].toStdString();
    EXPECT_EQ(Grid()->TableName(), form->ListStore().TEMP);
    EXPECT_EQ(form->ComboBoxFavorites->currentText(), "");
}

// Typing on a selected cell of the list: the first character opens the editor and replaces the
// value, the text reaches the table whole. The keys go to the grid (its editor takes the ones
// that reach the grid while it is open) or, the way a user types, to the editor once it has the
// focus. F2 keeps the value and typing appends.
TEST_F(RecipientsPageTest, TypingIntoASelectedCellStoresExactlyTheTypedText)
{
    ShowRecipientsPage();
    form->activateWindow();
    AddRows({{"a@x.de", "Name0", "Vorname0"}, {"b@x.de", "Name1", "Vorname1"}});
    const auto stored = [this](int id) {
        return Conn().Scalar(QStringLiteral("SELECT \"Last Name\" FROM \"%1\" WHERE \"_ID\" = ?").arg(Grid()->TableName()), {id}).toString();
    };
    for (const bool toFocus : {false, true}) {
        SCOPED_TRACE(toFocus ? "keys to the focus widget" : "keys to the grid");
        Conn().Execute(QStringLiteral("UPDATE \"%1\" SET \"Last Name\" = 'Name0' WHERE \"_ID\" = 1").arg(Grid()->TableName()));
        Grid()->Reopen();
        Grid()->FocusCell(2, 1);  // Last Name of the first row
        ASSERT_EQ(Grid()->FocusedFieldName(), "Last Name");
        ASSERT_FALSE(Grid()->EditorMode());
        const auto type = [&](const QString& text) {
            for (const QChar ch : text) {
                QWidget* target = toFocus ? QApplication::focusWidget() : Grid();
                ASSERT_NE(target, nullptr);
                QTest::keyClicks(target, QString(ch), Qt::NoModifier, 30);
            }
        };

        type("Hallo Welt");
        QTest::keyClick(Grid(), Qt::Key_Return);
        EXPECT_FALSE(Grid()->EditorMode());
        EXPECT_TRUE(form->ListStore().PostPendingEdit());
        EXPECT_EQ(stored(1), "Hallo Welt");

        QTest::keyClick(Grid(), Qt::Key_F2);
        type(" neu");
        QTest::keyClick(Grid(), Qt::Key_Return);
        EXPECT_TRUE(form->ListStore().PostPendingEdit());
        EXPECT_EQ(stored(1), "Hallo Welt neu");
        EXPECT_EQ(stored(2), "Name1");
    }
    EXPECT_TRUE(form->SpeedButtonSaveFavorite->isEnabled());
}

TEST_F(RecipientsPageTest, EditOfARowAnotherProgramChangedIsRefusedAndShowsItsValues)
{
    ShowRecipientsPage();
    form->activateWindow();
    AddRows({{"a@x.de", "Name0", "Vorname0"}, {"b@x.de", "Name1", "Vorname1"}});
    const QString table = Grid()->TableName();
    db::Connection other;  // the other program, on the same file
    other.Open(Conn().FileName());
    const auto stored = [&](int id) {
        return other.Scalar(QStringLiteral("SELECT \"Last Name\" FROM \"%1\" WHERE \"_ID\" = ?").arg(table), {id}).toString();
    };

    // Moving to the next row with the arrow key, and clicking another row, post the edit.
    for (const bool byKey : {true, false}) {
        SCOPED_TRACE(byKey ? "Down key" : "click on the other row");
        shown.clear();
        Grid()->FocusCell(2, 1);  // Last Name of the first row
        ASSERT_EQ(Grid()->FocusedFieldName(), "Last Name");
        QTest::keyClick(Grid(), Qt::Key_F2);
        QTest::keyClicks(QApplication::focusWidget(), "-A");
        QTest::keyClick(Grid(), Qt::Key_Return);
        ASSERT_EQ(DataSet().State(), db::dsEdit);

        const QString theirs = byKey ? "Geändert von B" : "Nochmals von B";
        other.Execute(QStringLiteral("UPDATE \"%1\" SET \"Last Name\" = ? WHERE \"_ID\" = 1").arg(table), {theirs});

        if (byKey)
            QTest::keyClick(Grid(), Qt::Key_Down);
        else
            QTest::mouseClick(Grid()->viewport(), Qt::LeftButton, {},
                              Grid()->CellRect(Grid()->DataColToGridCol(2), Grid()->TitleOffset() + 1).center());
        QApplication::processEvents();

        EXPECT_EQ(shown, QStringList({QString::fromUtf8("Der Datensatz wurde inzwischen von einem anderen Programm "
                                                        "geändert. Die aktuellen Werte wurden neu geladen.")}));
        EXPECT_EQ(stored(1), theirs);
        EXPECT_EQ(DataSet().State(), db::dsBrowse);
        ASSERT_EQ(DataSet().RecNo(), 1) << "the refused row stays current";
        EXPECT_EQ(DataSet().FieldByName("Last Name")->AsString(), theirs);
    }
    // Without another program in between the edit goes through.
    QTest::keyClick(Grid(), Qt::Key_F2);
    QTest::keyClicks(QApplication::focusWidget(), "!");
    QTest::keyClick(Grid(), Qt::Key_Return);
    QTest::keyClick(Grid(), Qt::Key_Down);
    EXPECT_EQ(stored(1), "Nochmals von B!");
    EXPECT_EQ(DataSet().RecNo(), 2);
}
