// Charts: the record trees of embedded charts and chart sheets, and the typed view over them, on
// LibreOffice workbooks and hand-built substreams.
#include "spreadsheet/XLSBook.h"
#include "DrawingTestUtil.h"
#include "XlsTestUtil.h"

#include <gtest/gtest.h>

using namespace xls;
using namespace xlstest;

namespace {

const QString dataDir = QStringLiteral(QLY_TEST_DATA_DIR "/");

struct Loaded {
    TXLSBook book;
    QStringList messages;
};

void loadFile(Loaded& l, const QString& name)
{
    l.book.OnMessage = [&](const QString& m) { l.messages << m; };
    l.book.Filename = dataDir + name;
    l.book.Read();
}

QString labelText(const TChartLabel& l) { return SeriesTextOf(l.SeriesText); }

}   // namespace

TEST(XlsChart, LibreOfficeCharts)
{
    {
        Loaded l;
        loadFile(l, "drawing-shapes.xls");
        EXPECT_TRUE(l.messages.isEmpty()) << l.messages.join('\n').toStdString();
        auto& charts = l.book.Sheets()[0]->Charts();
        ASSERT_EQ(charts.Count(), 1);
        TDrwChart* c = charts[0];
        EXPECT_EQ(c->DisplayName, "Chart 0");
        EXPECT_EQ(c->PlotArea.ChartType(), xctColumn);
        ASSERT_EQ(c->Series.size(), 1u);
        EXPECT_EQ(c->Series[0]->Values(), "Kunden!$C$2:$C$3");
        EXPECT_TRUE(c->PlotArea.HasLegend());
        EXPECT_FALSE(c->PlotArea.Is3D());
        bool title = false;
        for (const TChartLabel& lab : c->Labels) title |= labelText(lab) == "Umsatz";
        EXPECT_TRUE(title);
    }
    Loaded l;
    loadFile(l, "drawing-charts.xls");
    EXPECT_TRUE(l.messages.isEmpty()) << l.messages.join('\n').toStdString();
    auto& charts = l.book.Sheets()[0]->Charts();
    ASSERT_EQ(charts.Count(), 4);
    const TXLSChartType types[] = {xctPie, xctLine, xctScatter, xctColumn};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(charts[i]->PlotArea.ChartType(), types[i]) << i;
        EXPECT_TRUE(charts[i]->PlotArea.HasLegend()) << i;
        EXPECT_EQ(charts[i]->PlotArea.Is3D(), i == 3) << i;
        ASSERT_FALSE(charts[i]->Series.empty());
        EXPECT_EQ(charts[i]->Series[0]->Values(), "Kunden!$C$2:$C$3") << i;
    }
}
