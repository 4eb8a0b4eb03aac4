// The grid's look: spacing presets, what the automatic styles resolve to, colours that follow
// FixedColor, and the coarse vertical bar of a dataset without record numbers.
#include "tests/datagrid/GridFixture.h"
#include <QScrollBar>
#include <gtest/gtest.h>

using namespace xdb;
using gridtest::ListGrid;

namespace {

struct StyleAccess : TXDBGrid {
    using TXCustomDBGrid::GetHotButtons;
};

// A dataset that cannot tell record numbers.
class UnsequencedDataSet : public db::TExtADODataSet {
public:
    bool IsSequenced() const override { return false; }
};

} // namespace

TEST(GridStyle, SpacingPresetsAndTheCustomRule)
{
    TXDBGrid grid;
    TXGridStyle* s = grid.GridStyle();
    struct Preset {
        TVisualStyle style;
        int data, header, margin, title;
    };
    const Preset presets[] = {{vsStandard, 3, 4, 0, 4}, {vsXPStyle, 4, 8, 1, 8}};
    for (const Preset& p : presets) {
        s->SetVisualStyle(p.style);
        EXPECT_EQ(s->VisualStyle(), p.style);
        EXPECT_EQ(s->DataRowSpace(), p.data);
        EXPECT_EQ(s->HeaderRowSpace(), p.header);
        EXPECT_EQ(s->TitleColMargin(), p.margin);
        EXPECT_EQ(s->TitleRowSpace(), p.title);
    }
    // vsDefault resolves by the theme of the fixed cells and stays vsDefault.
    grid.SetFixedTheme(ftNone);
    s->SetVisualStyle(vsDefault);
    EXPECT_EQ(s->VisualStyle(), vsDefault);
    EXPECT_EQ(s->DataRowSpace(), 3);
    EXPECT_EQ(s->TitleRowSpace(), 4);
    // Any changed number makes the style custom; the same number does not.
    s->SetVisualStyle(vsXPStyle);
    s->SetDataRowSpace(4);
    EXPECT_EQ(s->VisualStyle(), vsXPStyle);
    s->SetDataRowSpace(6);
    EXPECT_EQ(s->VisualStyle(), vsCustom);
    EXPECT_EQ(s->HeaderRowSpace(), 8);
    s->SetVisualStyle(vsCustom);
    EXPECT_EQ(s->DataRowSpace(), 6);
}

TEST(GridStyle, ResolutionOfAutomaticStylesByFixedStyle)
{
    struct Row {
        TFixedStyle fixed;
        THotButtons hot;
        TMarkerStyle markerAuto, markerGray;
        TListBorder border;           // both line options set, unthemed
        TScrollBarStyle scroll;       // ScrollProp.Style with ParentStyle
    };
    const Row table[] = {
        {fsDefault, hbBump, msDefault, msSoft, lbDefault, ssRegular},
        {fsSoft, hbBump, msSoft, msSoft, lbGray, ssRegular},
        {fsNice, hbLowered, msRaisedDark, msRaisedGray, lbDefault, ssFlat},
        {fsFlat, hbRaised, msFlat, msGray, lbDefault, ssHotTrack},
        {fsFine, hbTile, msRaisedMild, msRaisedGray, lbMild, ssFlat},
        {fsMild, hbTile, msMild, msGray, lbMild, ssHotTrack},
    };
    StyleAccess grid;
    grid.SetFixedTheme(ftNone);
    for (const Row& r : table) {
        SCOPED_TRACE(int(r.fixed));
        grid.SetFixedStyle(r.fixed);
        EXPECT_EQ(grid.GetHotButtons(), r.hot);
        grid.SetMarkerStyle(msAuto);
        EXPECT_EQ(grid.ResolvedMarkerStyle(), r.markerAuto);
        grid.SetMarkerStyle(msAutoGray);
        EXPECT_EQ(grid.ResolvedMarkerStyle(), r.markerGray);
        grid.SetOptions(grid.Options() | dgColLines | dgRowLines);
        EXPECT_EQ(grid.GetListBorder(), r.border);
        grid.SetOptions(grid.Options() & ~dgRowLines);
        EXPECT_EQ(grid.GetListBorder(), lbDefault);
        grid.SetListBorder(lbGray);
        EXPECT_EQ(grid.GetListBorder(), lbGray);
        grid.SetListBorder(lbAuto);
        EXPECT_EQ(grid.ScrollProp()->Style(), r.scroll);
    }
    // Setting the style or the colour drops the parent flags; ParentColor brings the colour back.
    grid.ScrollProp()->SetStyle(ssFlat);
    EXPECT_FALSE(grid.ScrollProp()->ParentStyle());
    grid.SetFixedStyle(fsDefault);
    EXPECT_EQ(grid.ScrollProp()->Style(), ssFlat);
    grid.ScrollProp()->SetColor(gfx::clRed);
    EXPECT_FALSE(grid.ScrollProp()->ParentColor());
    grid.ScrollProp()->SetParentColor(true);
    EXPECT_EQ(grid.ScrollProp()->Color(), gfx::clBtnHighlight);
}

TEST(GridStyle, FillerAndHeaderColoursFollowFixedColorUntilSet)
{
    TXDBGrid grid;
    grid.SetFixedColor(gfx::clYellow);
    EXPECT_EQ(grid.FillerColor(), gfx::clYellow);
    EXPECT_EQ(grid.HeaderColor(), gfx::clYellow);
    grid.SetHeaderColor(gfx::clRed);
    grid.SetFixedColor(gfx::clAqua);
    EXPECT_EQ(grid.HeaderColor(), gfx::clRed);
    EXPECT_EQ(grid.FillerColor(), gfx::clAqua);
}

TEST(GridScrollBar, UnsequencedDatasetShowsFivePositions)
{
    qlytest::TempDir dir;
    db::Connection conn;
    conn.Open(dir.file("qly.db"), db::OpenMode::CreateIfMissing);
    gridtest::CreateListTable(conn, 100);
    UnsequencedDataSet ds;
    ds.SetConnection(&conn);
    ds.SetCommandText(QStringLiteral("SELECT * FROM \"RL1\""));
    db::TDataSource source;
    source.SetDataSet(&ds);
    TXDBGrid grid;
    grid.resize(420, 300);
    grid.SetDataSource(&source);
    grid.show();
    ds.Open();
    QScrollBar* bar = grid.verticalScrollBar();
    // 0 .. 5 with a page of 2: the bar's positions are 0 .. 4.
    EXPECT_EQ(bar->minimum(), 0);
    EXPECT_EQ(bar->maximum(), 4);
    EXPECT_EQ(bar->pageStep(), 2);
    EXPECT_EQ(bar->value(), 0);
    ds.MoveBy(50);
    EXPECT_EQ(bar->value(), 2);
    ds.Last();
    EXPECT_EQ(bar->value(), 4);
    // The coarse positions page and jump.
    ds.First();
    bar->setSliderPosition(4);
    bar->triggerAction(QAbstractSlider::SliderMove);
    EXPECT_EQ(ds.RecNo(), 100);
}
