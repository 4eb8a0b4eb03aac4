// The toolkit pieces under the grid: colour resolution, string list, image list, grid base, the
// deferred layout and the shortcut order of Ctrl+Delete.
#include "GridFixture.h"
#include "platform/grid/GridColors.h"
#include <QAction>
#include <QMainWindow>
#include <QScrollBar>
#include <gtest/gtest.h>

using namespace gridtest;
using namespace xdb;

TEST(Toolkit, ColoursResolveThroughThePaletteAndOneFixedTable)
{
    QPalette pal;
    pal.setColor(QPalette::Active, QPalette::Base, QColor(10, 20, 30));
    pal.setColor(QPalette::Active, QPalette::Highlight, QColor(1, 2, 3));
    EXPECT_EQ(tk::ResolveColor(gfx::clWindow, pal), gfx::RGBColor(10, 20, 30));
    EXPECT_EQ(tk::ResolveColor(gfx::clHighlight, pal), gfx::RGBColor(1, 2, 3));
    EXPECT_EQ(tk::ResolveColor(tk::clGradientActiveCaption, pal), gfx::RGBColor(166, 202, 240));
    EXPECT_EQ(tk::ResolveColor(tk::clGradientInactiveCaption, pal), gfx::RGBColor(192, 192, 192));
    EXPECT_EQ(tk::ResolveColor(gfx::clRed, pal), gfx::clRed);
    EXPECT_EQ(tk::ResolveColor(gfx::clNone, pal), gfx::clNone);
    EXPECT_FALSE(tk::ToQColor(gfx::clDefault, pal).isValid());
    // Comparisons are made on resolved values.
    EXPECT_TRUE(tk::SameColor(gfx::clWindow, gfx::RGBColor(10, 20, 30), pal));
    EXPECT_TRUE(tk::SameColor(tk::clGradientInactiveCaption, gfx::clSilver, pal));
    EXPECT_FALSE(tk::SameColor(gfx::clWindow, gfx::clHighlight, pal));
}

TEST(Toolkit, StringListIndexOfIgnoresCase)
{
    tk::TStringList list;
    int changes = 0;
    list.OnChange = [&](tk::TStringList*) { ++changes; };
    list.SetText(QStringLiteral("Ja\r\nNein\nvielleicht\r"));
    EXPECT_EQ(list.Count(), 3);
    EXPECT_EQ(list.IndexOf(QStringLiteral("NEIN")), 1);
    EXPECT_EQ(list.IndexOf(QStringLiteral("nie")), -1);
    EXPECT_EQ(list.Text(), QStringLiteral("Ja\r\nNein\r\nvielleicht\r\n"));
    EXPECT_THROW(list.Delete(3), tk::EInvalidGridOperation);
    EXPECT_EQ(changes, 1);
}

TEST(Toolkit, ImageListCutsStripsOnTheMaskColourAndNotifiesItsUsers)
{
    auto list = std::make_unique<tk::TImageList>(16, 16);
    list->AddMasked(IndicatorStrip(), gfx::clOlive);
    EXPECT_EQ(list->Count(), 20);
    EXPECT_EQ(qAlpha(list->Image(0).pixel(0, 0)), 0);           // mask colour: transparent
    EXPECT_EQ(QColor(list->Image(0).pixel(6, 7)), QColor(Qt::black)); // the triangle
    tk::TImageList checks(13, 13);
    checks.AddMasked(CheckBoxStrip(), gfx::clOlive);
    EXPECT_EQ(checks.Count(), 9);
    // A column forgets an image list that goes away.
    TXDBGrid grid;
    TXColumn* c = grid.Columns()->Add();
    c->SetImages(list.get());
    list.reset();
    EXPECT_EQ(c->Images(), nullptr);
}

TEST(Toolkit, MarkerStripTakesTheStyleColours)
{
    QPalette pal;
    const QImage flat = MarkerStripFor(msFlat, false, pal);
    const QImage def = MarkerStripFor(msDefault, true, pal);
    auto count = [](const QImage& img, QRgb c) {
        int n = 0;
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x)
                n += (img.pixel(x, y) & 0xFFFFFF) == (c & 0xFFFFFF);
        return n;
    };
    // No key colour survives; the flat style draws its edges black, the default one white.
    for (QRgb key : {qRgb(0, 255, 255), qRgb(0, 128, 128), qRgb(0, 0, 255), qRgb(0, 0, 128), qRgb(0, 255, 0)}) {
        EXPECT_EQ(count(flat, key), 0);
        EXPECT_EQ(count(def, key), 0);
    }
    EXPECT_GT(count(flat, qRgb(0, 0, 0)), 50);
    EXPECT_GT(count(def, qRgb(255, 255, 255)), 20);
}

TEST(Toolkit, GridBaseGeometry)
{
    TXDBGrid grid;
    grid.resize(300, 200);
    grid.show();
    grid.SetOptions(grid.Options() & ~dgIndicator);
    grid.Columns()->Add()->SetWidth(100);
    grid.Columns()->Add()->SetWidth(50);
    EXPECT_EQ(grid.ColCount(), 2);
    const QRect a = grid.CellRect(0, 1);
    const QRect b = grid.CellRect(1, 1);
    EXPECT_EQ(a.width(), 100);
    EXPECT_EQ(b.left(), a.right() + 1 + grid.GridLineWidth());
    const tk::TGridCoord hit = grid.MouseCoord(b.left() + 3, b.top() + 3);
    EXPECT_EQ(hit.X, 1);
    EXPECT_EQ(hit.Y, 1);
    EXPECT_EQ(grid.MouseCoord(280, 5).X, -1);   // right of the columns
}

TEST(GridLayout, FieldsRebuiltByARequeryAndTheDeferredLayout)
{
    ListGrid g(5);
    TXColumn* email = g.grid->ColumnByFieldName(QStringLiteral("Email"));
    ASSERT_NE(email->Field(), nullptr);
    // A new column makes the requery rebuild the fields: the grid follows without stale fields.
    g.conn.Execute(QStringLiteral("ALTER TABLE \"RL1\" ADD COLUMN \"Firma\" TEXT(255)"));
    g.ds.Requery();
    QApplication::processEvents();
    ASSERT_NE(g.grid->FindColumn(QStringLiteral("Firma")), nullptr);
    for (int i = 0; i < g.grid->Columns()->Count(); ++i) {
        TXColumn* c = g.grid->Columns()->Items(i);
        EXPECT_EQ(c->Field(), g.ds.FindField(c->FieldName())) << c->FieldName().toStdString();
    }
    EXPECT_FALSE(g.grid->LayoutPending());
    // A deferred layout runs once, from the event loop.
    g.grid->DeferLayout();
    g.grid->DeferLayout();
    EXPECT_TRUE(g.grid->LayoutPending());
    QApplication::processEvents();
    EXPECT_FALSE(g.grid->LayoutPending());
    EXPECT_EQ(g.grid->RowCount(), g.grid->TitleOffset() + 5);
}

TEST(GridLayout, VerticalBarFollowsTheDatasetPosition)
{
    ListGrid g(100);
    QScrollBar* bar = g.grid->verticalScrollBar();
    EXPECT_EQ(bar->minimum(), 1);
    EXPECT_EQ(bar->maximum(), 100);
    EXPECT_EQ(bar->value(), 1);
    g.ds.SetRecNo(40);
    EXPECT_EQ(bar->value(), 40);
    bar->triggerAction(QAbstractSlider::SliderToMaximum);
    EXPECT_EQ(g.ds.RecNo(), 100);
    EXPECT_EQ(bar->value(), 100);
    bar->triggerAction(QAbstractSlider::SliderPageStepSub);
    EXPECT_EQ(g.ds.RecNo(), 100 - g.grid->VisibleRowCount());
    // The data rows never scroll away under the titles.
    EXPECT_EQ(g.grid->TopRow(), g.grid->TitleOffset());
}

TEST(GridLayout, MenuShortcutTakesCtrlDeleteBeforeTheGrid)
{
    QMainWindow window;
    ListGrid g(5);
    g.grid->setParent(&window);
    window.setCentralWidget(g.grid.get());
    int triggered = 0;
    QAction remove(QStringLiteral("Gewählte Reihe(n) entfernen"), &window);
    remove.setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Delete));
    window.addAction(&remove);
    QObject::connect(&remove, &QAction::triggered, [&] { ++triggered; });
    window.show();
    window.activateWindow();
    g.grid->setFocus();
    QApplication::processEvents();
    QTest::keyClick(g.grid.get(), Qt::Key_Delete, Qt::ControlModifier);
    EXPECT_EQ(triggered, 1);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr) << "the grid asked too";
    EXPECT_EQ(g.ds.RecordCount(), 5);
    g.grid->setParent(nullptr);
}

TEST(GridLayout, GridAndDataOutliveEachOtherInAnyOrder)
{
    qlytest::TempDir dir;
    db::Connection conn;
    conn.Open(dir.file("qly.db"), db::OpenMode::CreateIfMissing);
    CreateListTable(conn, 5);
    {
        // The grid goes first: the fields and the source no longer know it.
        db::TExtADODataSet ds(&conn);
        ds.SetCommandText(QStringLiteral("SELECT * FROM \"RL1\""));
        auto source = std::make_unique<db::TDataSource>(&ds);
        ds.Open();
        auto grid = std::make_unique<TXDBGrid>();
        grid->SetDataSource(source.get());
        grid->Columns()->Add()->SetFieldName(QStringLiteral("Email"));
        grid.reset();
        ds.Close();
        source.reset();
    }
    {
        // The source goes first: the grid lets go of it; then another dataset takes over.
        db::TExtADODataSet ds(&conn), other(&conn);
        ds.SetCommandText(QStringLiteral("SELECT * FROM \"RL1\""));
        other.SetCommandText(QStringLiteral("SELECT \"Email\" FROM \"RL1\""));
        auto source = std::make_unique<db::TDataSource>(&ds);
        db::TDataSource second(&other);
        ds.Open();
        other.Open();
        TXDBGrid grid;
        grid.SetDataSource(source.get());
        source.reset();
        EXPECT_EQ(grid.DataSource(), nullptr);
        grid.SetDataSource(&second);
        EXPECT_EQ(grid.Columns()->Count(), 1);
        ds.Close();   // fields of the dataset the grid left
        grid.SetDataSource(nullptr);
        other.Close();
        EXPECT_EQ(grid.RowCount(), grid.TitleOffset() + 1);
    }
}
