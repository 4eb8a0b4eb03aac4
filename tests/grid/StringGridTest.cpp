// The string grid: defaults, copying, stored column widths, fixed cells, updates, navigation,
// headers, the settings objects and the cell state operations.
#include "grid/ZodUvuz.h"
#include "platform/settings/IniFile.h"
#include "platform/settings/RegIniFile.h"

#include <QFile>
#include <QLabel>
#include <QMetaEnum>
#include <QVBoxLayout>
#include <gtest/gtest.h>
#include <memory>

using namespace grid;

namespace {
template <class E>
int ordinal(const char* name)
{
    return QMetaEnum::fromType<E>().keyToValue(name);
}
} // namespace

TEST(StringGrid, ConstructorDefaults)
{
    TZedEzeravIvur g;
    EXPECT_EQ(g.ColCount(), 5);
    EXPECT_EQ(g.RowCount(), 10);
    EXPECT_EQ(g.FixedRows(), 1);
    EXPECT_EQ(g.FixedCols(), 1);
    EXPECT_EQ(g.size(), QSize(400, 250));
    EXPECT_EQ(g.DefaultRowHeight(), 21);
    EXPECT_EQ(g.RowHeights(9), 21);
    EXPECT_EQ(g.FixedRowHeight(), 21);
    EXPECT_EQ(g.FixedColWidth(), 64);
    EXPECT_EQ(g.SelectionColor(), 0xEACAB6);
    EXPECT_EQ(g.SelectionColorTo(), gfx::clNone);
    EXPECT_EQ(g.ActiveCellColor(), 0x808080);
    EXPECT_EQ(g.URLColor(), 0xFF0000);
    EXPECT_EQ(g.HintColor, gfx::clInfoBk);
    EXPECT_EQ(g.Look(), glXP);
    EXPECT_TRUE(g.EnableHTML && g.EnableWheel && g.IntelliZoom && g.EnhRowColMove && g.ShowSelection() && g.WordWrap());
    EXPECT_EQ(g.GridLineColor(), 0xC0C0C0);
    EXPECT_EQ(g.ActiveRowColor(), gfx::clInfoBk);
    EXPECT_EQ(g.FloatFormat(), "%.2f");
    EXPECT_EQ(g.CheckTrueText(), "Y");
    EXPECT_EQ(g.CheckFalseText(), "N");
    EXPECT_EQ(g.PasswordChar(), QChar('*'));
    EXPECT_EQ(g.CellMarginX(), 2);
    EXPECT_EQ(g.GetVersionNr(), 0x03020003);
    EXPECT_EQ(g.Version(), "3.2.0.3");
    g.SetVersion("9.9");
    EXPECT_EQ(g.property("Version").toString(), "3.2.0.3");
    QString v;
    g.GetVersionString(v);
    EXPECT_EQ(v, "3.2.0.3 Oct, 2005");
    EXPECT_EQ(g.FixedFont().Font().family(), "Tahoma");
    EXPECT_TRUE(g.FixedFont().Font().bold());
    EXPECT_TRUE(g.ActiveCellFont().Font().bold());
    EXPECT_TRUE(g.CommonControls6());

    // Settings objects.
    EXPECT_EQ(g.CellNode()->NodeIndent(), 12);
    EXPECT_EQ(g.CellNode()->NodeType(), cnXP);
    EXPECT_EQ(g.CellNode()->Color, 0xC0C0C0);
    EXPECT_EQ(g.CellNode()->TreeColor(), 0x808080);
    EXPECT_TRUE(g.CellNode()->ShowTree() && g.CellNode()->ShowTreeFull());
    EXPECT_TRUE(g.MouseActions()->AutoSizeColOnDblClick);
    EXPECT_FALSE(g.MouseActions()->RowSelect);
    EXPECT_EQ(g.MouseActions()->WheelAction, waMoveSelection);
    EXPECT_TRUE(g.Navigation()->AllowCtrlEnter && g.Navigation()->EditSelectAll && g.Navigation()->SkipFixedCells);
    EXPECT_TRUE(g.Navigation()->AllowClipboardRowGrow && g.Navigation()->CopyHTMLTagsToClipboard);
    EXPECT_EQ(g.Navigation()->AdvanceDirection, adLeftRight);
    EXPECT_EQ(g.ColumnSize()->StretchColumn, -1);
    EXPECT_EQ(g.ColumnSize()->Location, clRegistry);
    EXPECT_EQ(g.HTMLSettings()->BorderSize, 1);
    EXPECT_EQ(g.HTMLSettings()->Width, 100);
    EXPECT_TRUE(g.HTMLSettings()->SaveColor && g.HTMLSettings()->SaveFonts);
    EXPECT_EQ(g.PrintSettings()->DateFormat, "dd/mm/yyyy");
    EXPECT_EQ(g.PrintSettings()->PageNumSep, "/");
    EXPECT_EQ(g.PrintSettings()->Borders, pbSingle);
    EXPECT_TRUE(g.PrintSettings()->Centered && g.PrintSettings()->UseDisplayFont);
    EXPECT_EQ(g.ControlLook()->CheckSize(), 15);
    EXPECT_EQ(g.ControlLook()->RadioSize(), 10);
    EXPECT_EQ(g.ControlLook()->ControlStyle(), csWinXP);
    EXPECT_EQ(g.ControlLook()->ProgressBorderColor, gfx::clGray);
}

TEST(StringGrid, EnumerationOrdinals)
{
    EXPECT_EQ(ordinal<TEditorType>("edNone"), 27);
    EXPECT_EQ(ordinal<TEditorType>("edUniMemo"), 32);
    EXPECT_EQ(ordinal<TCellType>("ctSummary"), 22);
    EXPECT_EQ(ordinal<TCellType>("ctRangeIndicator"), 23);
    EXPECT_EQ(ordinal<TGridLook>("glListView"), 5);
    EXPECT_EQ(ordinal<TCellVAlign>("vaFull"), 5);
    EXPECT_EQ(ordinal<TFooterStyle>("fsCustomPreview"), 2);
}

TEST(StringGrid, AssignTakesOnlyAGridAndCopiesEveryCell)
{
    TZedEzeravIvur g;
    QLabel label("x");
    g.SetCells(1, 1, "keep");
    g.Assign(&label);
    EXPECT_EQ(g.Cells(1, 1), "keep");
    EXPECT_EQ(g.ColCount(), 5);

    TZedEzeravIvur src;
    src.SetColCount(7);
    src.SetRowCount(4);
    src.SetCells(0, 0, "fixed");
    src.SetCells(3, 2, "Zeile 1\r\nZeile 2");
    src.SetCells(6, 3, "last");
    src.SetColWidths(2, 133);
    src.CellNode()->SetNodeIndent(20);
    src.Navigation()->TabAdvanceDirection = adTopBottom;
    src.HTMLSettings()->Width = 80;
    src.SetActiveCellColor(0x123456);
    g.Assign(&src);
    EXPECT_EQ(g.ColCount(), 7);
    EXPECT_EQ(g.RowCount(), 4);
    EXPECT_EQ(g.Cells(0, 0), "fixed");
    EXPECT_EQ(g.Cells(3, 2), "Zeile 1\r\nZeile 2");
    EXPECT_EQ(g.Cells(6, 3), "last");
    EXPECT_EQ(g.Cells(1, 1), "");
    EXPECT_EQ(g.ColWidths(2), 133);
    EXPECT_EQ(g.CellNode()->NodeIndent(), 20);
    EXPECT_EQ(g.Navigation()->TabAdvanceDirection, adTopBottom);
    EXPECT_EQ(g.HTMLSettings()->Width, 80);
    EXPECT_EQ(g.ActiveCellColor(), 0x123456);
    // The source keeps its values.
    EXPECT_EQ(src.CellNode()->NodeIndent(), 20);
    EXPECT_EQ(src.Cells(3, 2), "Zeile 1\r\nZeile 2");
}

namespace {
void setWidths(TZedEzeravIvur& g, std::initializer_list<int> widths)
{
    int c = 0;
    for (int w : widths)
        g.SetColWidths(c++, w);
}
} // namespace

TEST(StringGrid, ColumnWidthsInAnIniFile)
{
    {
        TZedEzeravIvur g;
        g.ColumnSize()->Save = true;
        g.ColumnSize()->Location = clIniFile;
        g.ColumnSize()->Key = "gridtest.ini";
        g.ColumnSize()->Section = "Spalten";
        setWidths(g, {40, 50, 60, 70, 80});
    }
    const QString file = settings::TIniFile::WindowsFolder() + "/gridtest.ini";
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromUtf8(f.readAll()), "[Spalten]\r\nCol0=40\r\nCol1=50\r\nCol2=60\r\nCol3=70\r\nCol4=80\r\n\r\n");
    f.close();
    settings::TIniFile(file).DeleteKey("spalten", "col2");

    TZedEzeravIvur g;
    g.ColumnSize()->Save = true;
    g.ColumnSize()->Location = clIniFile;
    g.ColumnSize()->Key = file;
    g.ColumnSize()->Section = "Spalten";
    EXPECT_EQ(g.ColWidths(0), 64) << "loaded when shown";
    g.show();
    EXPECT_EQ(g.ColWidths(0), 40);
    EXPECT_EQ(g.ColWidths(4), 80);
    EXPECT_EQ(g.ColWidths(2), 64) << "a missing entry keeps the width";
}

TEST(StringGrid, ColumnWidthsInTheRegistry)
{
    const QString key = "Software\\ORV Software\\GridTest";
    {
        TZedEzeravIvur g;
        g.ColumnSize()->Save = true;
        g.ColumnSize()->Key = key;
        g.ColumnSize()->Section = "Grid";
        setWidths(g, {11, 22, 33, 44, 55});
    }
    settings::TRegIniFile reg(key);
    EXPECT_EQ(reg.ReadInteger("Grid", "Col3", -1), 44);
    reg.WriteInteger("Grid", "Col1", 99);
    TZedEzeravIvur g;
    g.ColumnSize()->Save = true;
    g.ColumnSize()->Key = key;
    g.ColumnSize()->Section = "Grid";
    g.Loaded();
    EXPECT_EQ(g.ColWidths(1), 99);
    EXPECT_EQ(g.ColWidths(4), 55);
    // A designed grid neither loads nor saves.
    TZedEzeravIvur d(nullptr, true);
    d.ColumnSize()->Save = true;
    d.ColumnSize()->Key = key;
    d.ColumnSize()->Section = "Grid";
    d.Loaded();
    EXPECT_EQ(d.ColWidths(1), 64);
}

TEST(StringGrid, FixedCellsWithFootersAndRightColumns)
{
    TZedEzeravIvur g;
    std::vector<std::pair<int, int>> asked;
    g.OnIsFixedCell = [&](QObject*, int row, int col, bool& fixed) {
        asked.push_back({row, col});
        fixed = row == 5 && col == 2;
    };
    g.SetFixedFooters(2);
    g.SetFixedRightCols(1);
    struct Case { int col, row; bool fixed; };
    for (const Case& c : {Case{0, 3, true}, Case{2, 0, true}, Case{2, 3, false}, Case{2, 8, true}, Case{2, 9, true},
                          Case{4, 3, true}, Case{3, 3, false}, Case{2, 5, true}})
        EXPECT_EQ(g.IsFixedCell(c.col, c.row), c.fixed) << c.col << "," << c.row;
    // Asked only for the normal cells, row first.
    const std::vector<std::pair<int, int>> expected = {{3, 2}, {3, 3}, {5, 2}};
    EXPECT_EQ(asked, expected);
}

TEST(StringGrid, FixedRowAlwaysAnswersOneFixedRow)
{
    TZedEzeravIvur g;
    g.SetFixedRows(0);
    EXPECT_EQ(g.FixedRows(), 0);
    g.SetFixedRowAlways(true);
    EXPECT_EQ(g.FixedRows(), 1);
    g.SetFixedColAlways(true);
    g.SetFixedCols(0);
    EXPECT_EQ(g.FixedCols(), 1);
    // A row count change puts the remembered fixed rows back.
    g.SetFixedRows(2);
    g.SetRowCount(2);
    EXPECT_EQ(g.FixedRows(), 1);
    g.SetRowCount(6);
    EXPECT_EQ(g.FixedRows(), 2);
}

TEST(StringGrid, UpdatesNestAndSilenceRowNotifications)
{
    TZedEzeravIvur g;
    g.show();
    std::vector<std::pair<int, int>> rows;
    g.OnRowUpdate = [&](QObject*, int oldRow, int newRow) { rows.push_back({oldRow, newRow}); };
    g.BeginUpdate();
    g.BeginUpdate();
    EXPECT_FALSE(g.updatesEnabled());
    g.SetRowNotify(3);
    EXPECT_TRUE(rows.empty());
    g.hide();
    g.EndUpdate();
    EXPECT_FALSE(g.updatesEnabled());
    g.EndUpdate();
    EXPECT_TRUE(g.updatesEnabled());
    g.EndUpdate();   // not below 0
    EXPECT_EQ(g.UpdateCount(), 0);
    // Counted on a hidden grid too.
    g.BeginUpdate();
    g.show();
    EXPECT_EQ(g.UpdateCount(), 1);
    g.EndUpdate();
    EXPECT_TRUE(g.updatesEnabled());

    g.SetRowNotify(4);
    g.SetRowNotify(4);
    g.SetRowNotify(2);
    const std::vector<std::pair<int, int>> expected = {{-1, 4}, {4, 2}};
    EXPECT_EQ(rows, expected);
}

TEST(StringGrid, GoToCell)
{
    TZedEzeravIvur g;
    g.SetRowCount(100);
    g.SetColCount(30);
    g.show();
    const int visRows = g.VisibleRowCount(), visCols = g.VisibleColCount();
    ASSERT_GT(visRows, 3);
    int reported = -1;
    g.OnRowUpdate = [&](QObject*, int, int row) { reported = row; };

    g.GoToCell(-1, 5);
    g.GoToCell(2, -3);
    g.GoToCell(30, 5);
    EXPECT_EQ(QPoint(g.Col(), g.Row()), QPoint(1, 1));

    g.GoToCell(2, 3);   // in view: no scrolling, but it becomes current
    EXPECT_EQ(QPoint(g.Col(), g.Row()), QPoint(2, 3));
    EXPECT_EQ(g.TopRow(), 1);
    EXPECT_EQ(g.LeftCol(), 1);
    EXPECT_EQ(reported, 3);

    g.GoToCell(2, 50);   // rows only
    EXPECT_EQ(g.TopRow(), 50 - visRows / 2);
    EXPECT_EQ(g.LeftCol(), 1);
    EXPECT_EQ(g.Row(), 50);

    g.GoToCell(29, 99);  // at the end: the last full page, not beyond
    EXPECT_EQ(g.TopRow(), 100 - visRows);
    EXPECT_EQ(g.LeftCol(), 30 - visCols);
    EXPECT_EQ(QPoint(g.Col(), g.Row()), QPoint(29, 99));
}

TEST(StringGrid, HeadersGoIntoTheFixedCells)
{
    TZedEzeravIvur g;
    g.ColumnHeaders().SetText("Nr\r\nVor\\nname\r\nName");
    EXPECT_EQ(g.Cells(1, 0), "Vor\rname");
    EXPECT_EQ(g.Cells(2, 0), "Name");
    g.RowHeaders().Add("");
    g.RowHeaders().Add("1");
    EXPECT_EQ(g.Cells(0, 1), "1");
    // Assigning the list empties row 0 first.
    tk::TStringList only;
    only.Add("A");
    g.SetColumnHeaders(only);
    EXPECT_EQ(g.Cells(0, 0), "A");
    EXPECT_EQ(g.Cells(1, 0), "");
    // Without a fixed row nothing is written.
    g.SetFixedRows(0);
    g.ColumnHeaders().Add("B");
    EXPECT_EQ(g.Cells(1, 0), "");
}

TEST(StringGrid, TwoGridsSizeWithTheirWindowAndTheFirstCanGo)
{
    QWidget window;
    window.resize(800, 600);
    auto* first = new TZedEzeravIvur(&window);
    auto* second = new TZedEzeravIvur(&window);
    first->SetSizeWithForm(true);
    second->SetSizeWithForm(true);
    window.show();
    window.resize(850, 620);
    EXPECT_EQ(first->size(), QSize(450, 270));
    EXPECT_EQ(second->size(), QSize(450, 270));
    delete first;
    window.resize(820, 600);
    EXPECT_EQ(second->size(), QSize(420, 250));
    // A shrink that would leave no grid is not followed.
    window.resize(300, 600);
    EXPECT_EQ(second->size(), QSize(420, 250));
}

// ------------------------------------------------------------------ settings objects

TEST(GridOptions, PictureSizeModes)
{
    TCellGraphic g;
    g.CellType = ctPicture;
    g.Picture = QImage(200, 100, QImage::Format_RGB32);
    struct Case { int mode; int w, h; QPoint expected; };
    for (const Case& c : {Case{0, 100, 100, {200, 100}}, Case{1, 100, 100, {100, 100}}, Case{2, 100, 100, {100, 50}},
                          Case{3, 100, 100, {100, 100}}, Case{4, 100, 100, {100, 50}}, Case{3, 300, 300, {200, 100}},
                          Case{4, 300, 300, {200, 100}}, Case{2, 400, 100, {200, 100}}}) {
        g.CellAngle = c.mode;
        EXPECT_EQ(g.PictureSize(c.w, c.h), c.expected) << "mode " << c.mode << " in " << c.w << "x" << c.h;
    }
    g.Picture = QImage(200, 101, QImage::Format_RGB32);
    g.CellAngle = 2;
    EXPECT_EQ(g.PictureSize(100, 100), QPoint(100, 50)) << "50.5 rounds to even";
    g.CellIndex = 10;   // margin
    g.Picture = QImage(50, 50, QImage::Format_RGB32);
    g.CellAngle = 1;
    EXPECT_EQ(g.PictureSize(100, 80), QPoint(90, 70));
    g.CellType = ctBitmap;
    EXPECT_EQ(g.PictureSize(100, 80), QPoint(0, 0));
}

TEST(GridOptions, AssignTakesOnlyItsOwnClass)
{
    TNavigation a, b;
    TPrintSettings p;
    a.AllowInsertRow = true;
    a.HomeEndKey = heFirstLastRow;
    EXPECT_TRUE(b.Assign(&a));
    EXPECT_TRUE(b.AllowInsertRow);
    EXPECT_EQ(b.HomeEndKey, heFirstLastRow);
    EXPECT_FALSE(p.Assign(&a));
    EXPECT_EQ(p.DateFormat, "dd/mm/yyyy") << "print settings from another class change nothing";
    TPrintSettings q;
    q.TitleLines = {"Kopf"};
    q.Font.SetHeight(-20);
    q.Orientation = poLandscape;
    EXPECT_TRUE(p.Assign(&q));
    EXPECT_EQ(p.TitleLines, QStringList{"Kopf"});
    EXPECT_EQ(p.Font.Font().pixelSize(), 20);
    EXPECT_EQ(p.Orientation, poLandscape);

    TControlLook l1, l2;
    l1.SetCheckSize(20);
    l1.CheckAlwaysActive = true;
    l1.SetFlatButton(true);
    l2.Assign(&l1);
    EXPECT_EQ(l2.CheckSize(), 20);
    EXPECT_TRUE(l2.CheckAlwaysActive);
    EXPECT_FALSE(l2.FlatButton()) << "not part of the look's copy";

    TCellGraphic g1, g2;
    g1.CellType = ctCheckBox;
    g1.CellBoolean = true;
    g1.CellText = "c";
    g1.CellCreated = true;
    g1.Picture = QImage(4, 4, QImage::Format_RGB32);
    g2.Assign(g1);
    EXPECT_EQ(g2.CellType, ctCheckBox);
    EXPECT_TRUE(g2.CellBoolean);
    EXPECT_EQ(g2.CellText, "c");
    EXPECT_FALSE(g2.CellCreated) << "CellCreated stays tied to the receiver's own object";
    EXPECT_TRUE(g2.Picture.isNull());
}

TEST(GridOptions, DisjunctSelectionsExcludeEachOtherOnlyWhenDesigning)
{
    for (bool designing : {true, false}) {
        TZedEzeravIvur g(nullptr, designing);
        TMouseActions* m = g.MouseActions();
        m->SetDisjunctRowSelect(true);
        m->SetDisjunctCellSelect(true);
        m->SetDisjunctColSelect(true);
        EXPECT_TRUE(m->DisjunctColSelect());
        EXPECT_EQ(m->DisjunctRowSelect(), !designing);
        EXPECT_EQ(m->DisjunctCellSelect(), !designing);
    }
}

// ------------------------------------------------------------------ cell states

namespace {
TCellGraphic* addGraphic(TZedEzeravIvur& g, int col, int row, TCellType type)
{
    auto gr = std::make_unique<TCellGraphic>();
    gr->CellType = type;
    TCellGraphic* raw = gr.get();
    g.SetCellGraphic(col, row, std::move(gr));
    return raw;
}
} // namespace

TEST(CellStates, DataCheckBoxSwitchesItsText)
{
    TZedEzeravIvur g;
    addGraphic(g, 1, 1, ctDataCheckBox);
    g.SetCells(1, 1, "Y");
    const char* steps[] = {"N", "Y", "N"};
    for (const char* s : steps) {
        ASSERT_TRUE(g.ToggleCheckBox(1, 1, false));
        EXPECT_EQ(g.Cells(1, 1), s);
    }
    g.SetCells(1, 1, "maybe");
    g.ToggleCheckBox(1, 1, false);
    EXPECT_EQ(g.Cells(1, 1), "Y");
    bool state = false;
    EXPECT_TRUE(g.GetCheckBoxState(1, 1, state));
    EXPECT_TRUE(state);

    g.OnGetCheckTrue = [](QObject*, int, int, QString& v) { v = "ja"; };
    EXPECT_TRUE(g.GetCheckBoxState(1, 1, state));
    EXPECT_FALSE(state) << "\"Y\" is not the true text any more";
    g.ToggleCheckBox(1, 1, false);
    EXPECT_EQ(g.Cells(1, 1), "ja");
    g.ToggleCheckBox(1, 1, false);
    EXPECT_EQ(g.Cells(1, 1), "N");
    g.CheckAll(1);
    EXPECT_EQ(g.Cells(1, 1), "ja");
    EXPECT_EQ(g.Cells(1, 2), "") << "cells without a check box are left alone";
}

TEST(CellStates, ReadOnlyCheckBoxAndPlainBoolean)
{
    TZedEzeravIvur g;
    TCellGraphic* box = addGraphic(g, 2, 2, ctCheckBox);
    g.GetCellProperties(2, 2)->ReadOnly = true;
    EXPECT_FALSE(g.ToggleCheckBox(2, 2, true));
    EXPECT_FALSE(box->CellBoolean);
    EXPECT_TRUE(g.ToggleCheckBox(2, 2, false));
    EXPECT_TRUE(box->CellBoolean);
    g.ControlLook()->CheckAlwaysActive = true;
    EXPECT_TRUE(g.ToggleCheckBox(2, 2, true));
    EXPECT_FALSE(box->CellBoolean);
    EXPECT_FALSE(g.ToggleCheckBox(3, 3, false)) << "no check box";
    EXPECT_TRUE(g.IsCheckBoxCell(2, 2));
    EXPECT_TRUE(g.IsControlCell(2, 2));
    EXPECT_FALSE(g.IsButtonCell(2, 2));
}

TEST(CellStates, RadioWrapsAroundAndNeedsOptions)
{
    TZedEzeravIvur g;
    TCellGraphic* r = addGraphic(g, 1, 1, ctRadio);
    r->Options = {"rot", "gelb", "blau"};
    r->CellIndex = 1;
    g.ToggleRadio(1, 1, false);
    EXPECT_EQ(r->CellIndex, 2);
    EXPECT_EQ(g.Cells(1, 1), "blau");
    g.ToggleRadio(1, 1, false);
    EXPECT_EQ(r->CellIndex, 0);
    EXPECT_EQ(g.Cells(1, 1), "rot");
    // The selection follows the text when the index is negative.
    r->CellIndex = -1;
    g.SetCells(1, 1, "gelb");
    g.ToggleRadio(1, 1, false);
    EXPECT_EQ(g.Cells(1, 1), "blau");
    EXPECT_EQ(r->CellIndex, -1);

    TCellGraphic* empty = addGraphic(g, 2, 1, ctRadio);
    empty->CellIndex = 0;
    g.SetCells(2, 1, "x");
    EXPECT_FALSE(g.ToggleRadio(2, 1, false));
    EXPECT_EQ(g.Cells(2, 1), "x");

    // Merged: the base cell's radio answers for the range.
    g.MergeCells(1, 1, 1, 2);
    EXPECT_TRUE(g.IsRadio(1, 2));
    EXPECT_EQ(g.GetRadioOptions(1, 2).size(), 3);
}

TEST(CellStates, PointInCheckBoxAndControlRect)
{
    TZedEzeravIvur g;
    g.show();
    TCellGraphic* box = addGraphic(g, 2, 2, ctCheckBox);
    const QRect cell = g.CellRectAt(2, 2);   // x 128..191, y 42..62
    EXPECT_TRUE(g.PointInCheckBox(2, 2, cell.right(), cell.bottom())) << "anywhere without precise checking";
    g.MouseActions()->PreciseCheckBoxCheck = true;
    EXPECT_TRUE(g.PointInCheckBox(2, 2, cell.left() + 3, cell.top() + 3));
    EXPECT_FALSE(g.PointInCheckBox(2, 2, cell.right() - 2, cell.top() + 3));
    g.GetCellProperties(2, 2)->Alignment = taRightJustify;
    box->CellVAlign = vaBottom;
    EXPECT_TRUE(g.PointInCheckBox(2, 2, cell.right() - 3, cell.bottom() - 3));
    EXPECT_FALSE(g.PointInCheckBox(2, 2, cell.left() + 3, cell.top() + 3));
    EXPECT_FALSE(g.PointInCheckBox(3, 3, cell.left(), cell.top()));

    TCellGraphic* ctl = addGraphic(g, 1, 1, ctEmpty);
    ctl->CellValue = (3 << 16) | 5;      // top 3, left 5
    ctl->CellIndex = (12 << 16) | 40;    // height 12, width 40
    const QRect c11 = g.MergedCellRect(1, 1);
    EXPECT_EQ(g.GetCellControlRect(1, 1), QRect(c11.left() + 5, c11.top() + 3, 40, 12));
    ctl->CellHAlign = haFull;
    ctl->CellVAlign = vaFull;
    EXPECT_EQ(g.GetCellControlRect(1, 1), c11);
}

TEST(GridOptions, SettingsClassesDefaultsAndCopies)
{
    TZedEzeravIvur a, b;
    EXPECT_EQ(a.SortSettings()->IndexColor, gfx::clYellow);
    EXPECT_TRUE(a.SortSettings()->Full && a.SortSettings()->AutoFormat && a.SortSettings()->AutoSortForGrouping);
    EXPECT_EQ(a.Bands()->PrimaryColor(), gfx::clInfoBk);
    EXPECT_EQ(a.Bands()->Period(), 2);
    EXPECT_EQ(a.BackGround()->ColorTo(), gfx::clBtnFace);
    EXPECT_EQ(a.Grouping()->HeaderLineWidth, 2);
    EXPECT_TRUE(a.DragDropSettings()->OleAcceptFiles && a.DragDropSettings()->OleAcceptText);
    EXPECT_EQ(a.ShowModified()->Color(), gfx::clYellow);
    EXPECT_EQ(a.DragScrollOptions()->Delays()->InitialDelay, 1000);
    EXPECT_EQ(a.DragScrollOptions()->Delays()->RepeatDelay, 250);
    EXPECT_EQ(a.DragScrollOptions()->Margins()->LeftMargin, 50);

    // The sort row must be a fixed row.
    a.SetFixedRows(2);
    EXPECT_THROW(a.SortSettings()->SetRow(2), EZodUvuzError);
    try {
        a.SortSettings()->SetRow(5);
    } catch (const EZodUvuzError& e) {
        EXPECT_EQ(e.message(), "Sort row should be smaller than number of fixed rows");
    }
    a.SortSettings()->SetRow(1);
    EXPECT_EQ(a.SortSettings()->Row(), 1);

    a.Bands()->SetPrimaryLength(2);
    a.Bands()->SetSecondaryLength(3);
    EXPECT_EQ(a.Bands()->Period(), 5);
    a.MouseActions()->RowSelect = true;
    a.MouseActions()->SetHotmailRowSelect(true);
    a.MouseActions()->SizeFixedRow = true;
    a.Grouping()->HeaderUnderline = true;
    a.Grouping()->HeaderLineWidth = 4;
    a.SortSettings()->Direction = sdDescending;
    a.DragScrollOptions()->Margins()->TopMargin = 7;
    a.Filter().Add().Condition = ">5";
    b.Assign(&a);
    EXPECT_TRUE(b.MouseActions()->RowSelect);
    EXPECT_FALSE(b.MouseActions()->HotmailRowSelect()) << "not copied";
    EXPECT_FALSE(b.MouseActions()->SizeFixedRow) << "not copied";
    EXPECT_TRUE(b.Grouping()->HeaderUnderline);
    EXPECT_EQ(b.Grouping()->HeaderLineWidth, 2) << "not copied";
    EXPECT_EQ(b.Bands()->Period(), 5);
    EXPECT_EQ(b.SortSettings()->Direction, sdDescending);
    EXPECT_EQ(b.DragScrollOptions()->Margins()->TopMargin, 7);
    ASSERT_EQ(b.Filter().Count(), 1);
    EXPECT_EQ(b.Filter().Items(0).Condition, ">5");
    EXPECT_TRUE(a.MouseActions()->RowSelect) << "the source keeps its values";
}

TEST(StringGrid, CellColourAndAlignmentHooks)
{
    TZedEzeravIvur g;
    g.FocusCell(2, 3, true);
    g.SetActiveCellShow(true);
    g.SetActiveCellColor(0x112233);
    tk::TFont font;
    TColor brush = gfx::clWindow;
    g.GetCellColor(0, 3, 0, brush, font);
    EXPECT_EQ(brush, 0x112233) << "the row header of the current cell";
    EXPECT_TRUE(font.Font().bold());
    brush = gfx::clWindow;
    g.GetCellColor(2, 0, 0, brush, font);
    EXPECT_EQ(brush, 0x112233) << "the column header of the current cell";
    brush = gfx::clWindow;
    tk::TFont plain;
    g.GetCellColor(0, 4, 0, brush, plain);
    EXPECT_EQ(brush, gfx::clWindow);

    TCellProperties* p = g.GetCellProperties(1, 1);
    p->SetBrushColor(gfx::clRed);
    p->FontColor = gfx::clBlue;
    p->FontStyle = fsItalic;
    p->FontSize = 14;
    p->FontName = "Courier";
    std::vector<std::pair<int, int>> asked;
    g.OnGetCellColor = [&](QObject*, int row, int col, tk::TGridDrawState, TColor& b, tk::TFont&) {
        asked.push_back({row, col});
        if (col == 1 && row == 2)
            b = gfx::clYellow;
    };
    tk::TFont f;
    brush = gfx::clWindow;
    g.GetCellColor(1, 1, 0, brush, f);
    EXPECT_EQ(brush, gfx::clRed);
    EXPECT_EQ(f.Color(), gfx::clBlue);
    EXPECT_TRUE(f.Font().italic());
    EXPECT_EQ(f.Font().pointSize(), 14);
    EXPECT_EQ(f.Font().family(), "Courier");
    g.GetCellColor(1, 2, 0, brush, f);
    EXPECT_EQ(brush, gfx::clYellow);
    EXPECT_EQ(asked, (std::vector<std::pair<int, int>>{{1, 1}, {2, 1}}));

    TAlignment h = taLeftJustify;
    TVAlignment v = vtaTop;
    g.MouseActions()->SetHotmailRowSelect(true);
    g.GetCellAlignment(0, 1, h, v);
    EXPECT_EQ(h, taCenter);
    h = taLeftJustify;
    g.OnGetAlignment = [](QObject*, int row, int, TAlignment& ha, TVAlignment& va) {
        if (row == 5) {
            ha = taRightJustify;
            va = vtaBottom;
        }
    };
    g.GetCellAlignment(1, 5, h, v);
    EXPECT_EQ(h, taRightJustify);
    EXPECT_EQ(v, vtaBottom);
}

TEST(StringGrid, ObjectSettersCopyIntoTheGridsOwnObjects)
{
    TZedEzeravIvur source, g;
    source.BackGround()->SetDisplay(bdGradientHorz);
    source.BackGround()->SetColorTo(0x00FF00);
    source.ShowModified()->Enabled = true;
    source.ShowModified()->SetColor(0x0000FF);
    source.DragScrollOptions()->Margins()->TopMargin = 9;
    TBackGround* ownBackGround = g.BackGround();
    g.SetBackGround(source.BackGround());
    g.SetShowModified(source.ShowModified());
    g.SetDragScrollOptions(source.DragScrollOptions());
    EXPECT_EQ(g.BackGround(), ownBackGround) << "copied, not taken over";
    EXPECT_EQ(g.BackGround()->Display(), bdGradientHorz);
    EXPECT_EQ(g.BackGround()->ColorTo(), 0x00FF00);
    EXPECT_TRUE(g.ShowModified()->Enabled);
    EXPECT_EQ(g.ShowModified()->Color(), 0x0000FF);
    EXPECT_EQ(g.DragScrollOptions()->Margins()->TopMargin, 9);
    g.BackGround()->SetColorTo(0x123456);
    EXPECT_EQ(source.BackGround()->ColorTo(), 0x00FF00);
}
