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

namespace {

QByteArray begin() { return rec(0x1033, {}); }
QByteArray end() { return rec(0x1034, {}); }
QByteArray ai(int kind, const QByteArray& tokens = {}) { return rec(0x1051, u8(kind) + u8(tokens.isEmpty() ? 1 : 2) + u16(0) + u16(0) + u16(tokens.size()) + tokens); }
QByteArray fbi(int fontIndex) { return rec(0x1060, u16(5000) + u16(3000) + u16(200) + u16(0) + u16(fontIndex)); }
QByteArray fontx(int fontIndex) { return rec(0x1026, u16(fontIndex)); }
QByteArray legend(int position) { return rec(0x1015, u32(3547) + u32(1707) + u32(389) + u32(244) + u8(position) + u8(1) + u16(0x1F)); }
QByteArray chart3d() { return rec(0x103A, u16(20) + u16(15) + u16(30) + u16(100) + u16(100) + u16(150) + u16(0x16)); }

// A chart's records after its BOF: one series, a title, a plot area with the chart group.
QByteArray chartBody(const QByteArray& group, const QByteArray& styleExtra = {}, const QByteArray& seriesExtra = {})
{
    const QByteArray area = QByteArray::fromHex("3b00000100020002000200");   // tArea3d: sheet ref 0, C2:C3
    return rec(0x1002, QByteArray(16, 0)) + begin() +                                                   //
           rec(0x1003, u16(1) + u16(1) + u16(2) + u16(2) + u16(1) + u16(0)) + begin() +                 // SERIES
           ai(0) + ai(1, area) + ai(2) + ai(3) + seriesExtra + end() +                                  //
           rec(0x1025, QByteArray(32, 0)) + begin() + rec(0x100D, u16(0) + u8(5) + u8(0) + "Titel") + end() +
           rec(0x1041, u16(0) + QByteArray(16, 0)) + begin() +                                         // AXISPARENT
           rec(0x101D, u16(0) + QByteArray(16, 0)) + rec(0x101D, u16(1) + QByteArray(16, 0)) +         // two axes
           rec(0x1014, QByteArray(20, 0)) + begin() + group + rec(0x1022, QByteArray(10, 0)) + styleExtra + end() + end() +
           end() + rec(0x000A, {});
}

std::unique_ptr<TChartRecord> readTree(const QByteArray& records, TXFonts* fonts = nullptr)
{
    auto root = std::make_unique<TChartRecord>(chartRootId, 0);
    root->InsertChild(-1, 0x0809, false, 16);
    RecordList src(records);
    ReadChartRecords(*root, src, {fonts, nullptr});
    return root;
}

template <class F>
QString errorOf(F f)
{
    try {
        f();
    } catch (const EXLSError& e) {
        return e.message();
    }
    return {};
}

}   // namespace

TEST(XlsChart, ChartSheetTreeFontsAndPictureFill)
{
    const QByteArray records = fbi(5) + rec(0x1002, QByteArray(16, 0)) + begin() + fontx(5) + fontx(0) + fontx(99) +
                               rec(0x1066, QByteArray(100, 'a')) + rec(0x003C, QByteArray(50, 'b')) + rec(0x003C, QByteArray(30, 'c')) +
                               rec(0x1001, u16(0)) + end();
    QByteArray fonts;
    for (const char* n : {"Arial", "Arial", "Arial", "Arial", "Courier", "Times"}) fonts += font8(n);
    // the chart sheet is listed last; bytes after its EOF are not records of the workbook
    QByteArray wb = book8({{"Daten", number(0, 0, 3)}, {"Diagramm", records, 0x20}}, fonts) + QByteArray::fromHex("0302030000");
    TXLSBook book;
    QStringList messages;
    book.OnMessage = [&](const QString& m) { messages << m; };
    book.LoadFromData(compoundFile({{"Workbook", wb}}).bytes);
    EXPECT_TRUE(messages.isEmpty()) << messages.join('\n').toStdString();
    EXPECT_EQ(book.Sheets()[0]->CellText(0, 0), "3");
    ASSERT_EQ(book.SheetCharts().Count(), 1);
    TSheetChart& sc = book.SheetCharts()[0];
    EXPECT_EQ(sc.Name, "Diagramm");
    EXPECT_EQ(sc.SheetIndex, 1);
    // root: BOF (16 bytes), CHART with its children, EOF; BEGIN and END are no nodes
    TChartRecord* root = sc.Root.get();
    ASSERT_EQ(root->Count(), 4);
    EXPECT_EQ(root->Child(0)->Id, 0x0809);
    EXPECT_EQ(root->Child(0)->Length(), 16);
    EXPECT_EQ(root->Child(3)->Id, 0x000A);
    TChartRecord* chart = root->Child(2);
    ASSERT_EQ(chart->Count(), 5);
    // FBI keeps its bytes and a font (index 5: the fifth font read, as index 4 is left out); a
    // FONTX of its index refers to the same font, another index to the workbook font, an index
    // past the list to none
    TChartRecord* f = root->Child(1);
    EXPECT_EQ(f->Length(), 10);
    ASSERT_TRUE(f->Font);
    EXPECT_EQ(f->Font->Name, "Courier");
    EXPECT_TRUE(f->Font->Unshareable);
    EXPECT_EQ(root->FbiFont(5), f->Font);
    EXPECT_EQ(chart->Child(0)->Font, f->Font);
    EXPECT_EQ(chart->Child(0)->Length(), 0);
    EXPECT_EQ(chart->Child(1)->Font, book.Fonts().Item(0));
    EXPECT_EQ(chart->Child(2)->Font, nullptr);
    // GELFRAME with its two continuations is one node of 180 bytes
    TChartRecord* gel = chart->Child(3);
    EXPECT_EQ(gel->Id, 0x1066);
    EXPECT_EQ(gel->Length(), 180);
    EXPECT_TRUE(gel->IsUpdate);
    EXPECT_EQ(gel->Data, QByteArray(100, 'a') + QByteArray(50, 'b') + QByteArray(30, 'c'));
    EXPECT_EQ(chart->Child(4)->Id, 0x1001);
}

TEST(XlsChart, LongPictureFillAndMissingEof)
{
    // a picture fill of 70000 bytes keeps its length
    QByteArray records = rec(0x1066, QByteArray(8224, 'x'));
    for (int i = 0; i < 7; ++i) records += rec(0x003C, QByteArray(8224, 'y'));
    records += rec(0x003C, QByteArray(70000 - 8 * 8224, 'z'));
    auto root = readTree(records + rec(0x1001, {}));
    ASSERT_EQ(root->Count(), 3);
    EXPECT_EQ(root->Child(1)->Length(), 70000);
    // without EOF, the records are read to their end
    EXPECT_EQ(root->Last()->Id, 0x1001);

    // a chart sheet at the end of the workbook stream without its EOF
    QByteArray wb = book8({{"S", number(0, 0, 1)}, {"C", rec(0x1002, QByteArray(16, 0)), 0x20}});
    ASSERT_TRUE(wb.endsWith(QByteArray::fromHex("0a000000")));
    wb.chop(4);
    TXLSBook book;
    book.LoadFromData(compoundFile({{"Workbook", wb}}).bytes);
    ASSERT_EQ(book.SheetCharts().Count(), 1);
    EXPECT_EQ(book.SheetCharts()[0].Root->Last()->Id, 0x1002);
}

TEST(XlsChart, DamagedChartSheetsAreKeptRaw)
{
    QByteArray deep;
    for (int i = 0; i < 70; ++i) deep += rec(0x1001, {}) + begin();
    const struct { QByteArray records; const char* error; } cases[] = {
        {begin() + begin() + rec(0x1001, {}), "Chart record BEGIN without a record before it"},
        {deep, "Chart records nested deeper than 64 levels"},
        {rec(0x1026, u8(1)), "Record too short"},
    };
    for (const auto& c : cases) {
        TXLSBook book;
        QStringList messages;
        book.OnMessage = [&](const QString& m) { messages << m; };
        QByteArray wb = book8({{"C", c.records, 0x20}, {"S", number(0, 0, 4)}});
        book.LoadFromData(compoundFile({{"Workbook", wb}}).bytes);
        ASSERT_EQ(messages.size(), 1) << c.error;
        EXPECT_TRUE(messages[0].contains(c.error)) << messages[0].toStdString();
        ASSERT_EQ(book.SheetCharts().Count(), 1);
        EXPECT_FALSE(book.SheetCharts()[0].Root);
        EXPECT_EQ(book.SheetCharts()[0].Raw.first().first, 0x0809);
        EXPECT_EQ(book.SheetCharts()[0].Raw.last().first, 0x000A);
        ASSERT_EQ(book.Sheets().Count(), 1);
        EXPECT_EQ(book.Sheets()[0]->CellText(0, 0), "4") << c.error;
    }
}

TEST(XlsChart, DrawingsInsideCharts)
{
    // a chart sheet's MSODRAWING fills the sheet chart's drawing
    const QByteArray drawing = sheetDrawing(3, {});
    TXLSBook book;
    QStringList messages;
    book.OnMessage = [&](const QString& m) { messages << m; };
    book.LoadFromData(compoundFile({{"Workbook", book8({{"C", rec(0x1002, QByteArray(16, 0)) + drawing, 0x20}})}}).bytes);
    EXPECT_TRUE(messages.isEmpty()) << messages.join('\n').toStdString();
    ASSERT_TRUE(book.SheetCharts()[0].Drawing);
    EXPECT_EQ(book.SheetCharts()[0].Drawing->DrawingId, 3u);
    EXPECT_EQ(book.SheetCharts()[0].Root->Child(2)->Id, 0x00EC);

    // an embedded chart's MSODRAWING fills the chart's own drawing; a tree of no owner fails
    TestShape chartShape;
    chartShape.obj = objBody(5, 1);
    const QByteArray sub = bof8(0x20) + rec(0x1002, QByteArray(16, 0)) + sheetDrawing(4, {}) + rec(0x000A, {});
    TXLSBook b2;
    b2.OnMessage = [&](const QString& m) { messages << m; };
    b2.LoadFromData(compoundFile({{"Workbook", book8({{"S", sheetDrawing(1, {chartShape}) + sub + number(0, 0, 5)}})}}).bytes);
    EXPECT_TRUE(messages.isEmpty()) << messages.join('\n').toStdString();
    EXPECT_EQ(b2.Sheets()[0]->CellText(0, 0), "5");
    TShape* shape = b2.Sheets()[0]->Drawing().Root.Child(0);
    auto* side = dynamic_cast<TShapeOutsideMsoChart*>(shape->Side.get());
    ASSERT_TRUE(side && side->Drawing);
    EXPECT_EQ(side->Drawing->DrawingId, 4u);
    EXPECT_EQ(b2.Sheets()[0]->Charts().Count(), 1);

    TChartRecord orphan(chartRootId, 0);
    RecordList src(sheetDrawing(5, {}));
    EXPECT_EQ(errorOf([&] { ReadChartRecords(orphan, src, {}); }), "Chart record parent is not of excpected type");
}

TEST(XlsChart, ChartModelFromRecords)
{
    const QByteArray bar = rec(0x1017, u16(0) + u16(150) + u16(0));
    // types and the bubble bit of SCATTER
    const struct { QByteArray group; TXLSChartType type; } types[] = {
        {bar, xctColumn},
        {rec(0x1018, u16(0)), xctLine},
        {rec(0x1019, u16(0) + u16(0) + u16(2)), xctPie},
        {rec(0x101A, u16(0)), xctArea},
        {rec(0x101B, u16(100) + u16(1) + u16(0)), xctScatter},
        {rec(0x101B, u16(100) + u16(1) + u16(1)), xctBubble},
        {rec(0x103E, u16(1) + u16(0x12)), xctRadar},
        {rec(0x103F, u16(1)), xctSurface},
        {rec(0x1040, u16(1)), xctNone},
    };
    for (const auto& t : types) {
        auto root = readTree(chartBody(t.group));
        TDrwChart c(0, {});
        c.Load(root.get());
        EXPECT_EQ(c.PlotArea.ChartType(), t.type) << int(t.type);
    }

    auto root = readTree(chartBody(bar, legend(7) + chart3d()));
    TDrwChart c(0, {});
    c.Load(root.get());
    ASSERT_EQ(c.Labels.size(), 1u);
    EXPECT_EQ(SeriesTextOf(c.Labels[0].SeriesText), "Titel");
    EXPECT_TRUE(c.PlotArea.HasLegend());
    EXPECT_EQ(c.PlotArea.ChartStyle()->Legend.LegendType(), cltNotDocked);
    c.PlotArea.ChartStyle()->Legend.SetLegendType(cltNotDocked);
    EXPECT_EQ(c.PlotArea.ChartStyle()->Legend.Node()->Bytes()[16], 7);
    c.PlotArea.ChartStyle()->Legend.SetLegendType(cltLeft);
    EXPECT_EQ(c.PlotArea.ChartStyle()->Legend.Node()->Bytes()[16], 4);
    EXPECT_TRUE(c.PlotArea.Is3D());
    EXPECT_EQ(c.PlotArea.ChartStyle()->Chart3D.Rotation(), 20);
    // removing the legend unbinds it
    c.PlotArea.SetHasLegend(false);
    EXPECT_FALSE(c.PlotArea.HasLegend());
    EXPECT_EQ(errorOf([&] { c.PlotArea.ChartStyle()->Legend.LegendType(); }), "Property has no data.");
    // 3-D off and on again: CHART3D goes in after the group and CHARTFORMATLINK, with its bytes
    c.PlotArea.SetIs3D(false);
    EXPECT_FALSE(c.PlotArea.Is3D());
    c.PlotArea.SetIs3D(true);
    TChartRecord* f = c.PlotArea.ChartStyle()->Node();
    EXPECT_EQ(f->Child(2)->Id, 0x103A);
    EXPECT_EQ(f->Child(2)->Data.toHex(), QByteArray("14000f001e006400640096001600"));

    // a literal series name is inserted after the name AI, the later AIs move on by one
    TChartSerie& s = *c.Series[0];
    EXPECT_EQ(s.ValuesPos(), 1);
    s.SetSerieName("\"Umsatz 2024\"");
    EXPECT_EQ(s.SerieName(), "\"Umsatz 2024\"");
    EXPECT_EQ(s.Node->Child(1)->Id, 0x100D);
    EXPECT_EQ(s.ValuesPos(), 2);
    EXPECT_EQ(s.CategoryPos(), 3);
    EXPECT_EQ(s.Node->Child(s.ValuesPos())->Bytes()[0], 1);   // the values AI
    // a second literal reuses the SERIESTEXT
    s.SetSerieName("\"B\"");
    EXPECT_EQ(s.SerieName(), "\"B\"");
    EXPECT_EQ(s.ValuesPos(), 2);
    EXPECT_EQ(errorOf([&] { s.SetSerieName('"' + QString(256, 'x') + '"'); }), "Value out of range");
    EXPECT_EQ(s.SerieName(), "\"B\"");
    EXPECT_EQ(errorOf([&] { s.Values2(); }), "");   // the bubble sizes AI exists, empty
    EXPECT_EQ(s.Values2(), "");
}

TEST(XlsChart, LoadErrors)
{
    const QByteArray bar = rec(0x1017, u16(0) + u16(150) + u16(0));
    const struct { QByteArray records; const char* error; } cases[] = {
        {rec(0x1001, {}) + rec(0x000A, {}), "Can not find CHART record."},
        {rec(0x1002, QByteArray(16, 0)) + begin() + rec(0x1024, u16(2)) + rec(0x1001, {}) + end(), "Excpected Chart record missing: TEXT"},
        {rec(0x1002, QByteArray(16, 0)) + begin() + rec(0x1041, QByteArray(18, 0)) + begin() + rec(0x1014, QByteArray(20, 0)) + end() + end(), "Chart style record is missing"},
        {rec(0x1002, QByteArray(16, 0)) + begin() + rec(0x1041, QByteArray(18, 0)) + begin() + rec(0x1014, QByteArray(20, 0)) + begin() + rec(0x1001, {}) + end() + end() + end(), "Unknown chart style 1001"},
        {rec(0x1002, QByteArray(16, 0)) + begin() + rec(0x1041, QByteArray(18, 0)) + begin() + rec(0x101D, u16(7) + QByteArray(16, 0)) + end() + end(), "Unknown axis type 7"},
    };
    for (const auto& k : cases) {
        auto root = readTree(k.records);
        TDrwChart c(0, {});
        EXPECT_EQ(errorOf([&] { c.Load(root.get()); }), k.error);
    }
}

namespace {
// The tree below a node as "id(children)" text with the data of the nodes named in `withData`.
QString shape(const TChartRecord& n, const QList<uint16_t>& withData = {})
{
    QStringList parts;
    for (int i = 0; i < n.Count(); ++i) {
        const TChartRecord* c = n.Child(i);
        QString s = QString::number(c->Id, 16);
        if (withData.contains(c->Id)) s += ':' + QString::fromLatin1(c->Data.toHex());
        if (c->Count()) s += '(' + shape(*c, withData) + ')';
        parts << s;
    }
    return parts.join(' ');
}
}   // namespace

TEST(XlsChart, Templates)
{
    // a legend's texts below a node without children: POS and TEXT, POS and AI below the TEXT
    TChartRecord legend(0x1015, 20);
    InsertDefaultRecords(legend, 1);
    EXPECT_EQ(shape(legend, {0x1051}), "104f 1025(104f 1051:0001000000000000)");
    // the column group with its link, legend and the legend's texts
    TChartRecord format(0x1014, 20);
    InsertDefaultRecords(format, 5);
    EXPECT_EQ(shape(format, {0x1017, 0x1022, 0x1015}),
              "1017:000096000100 1022:00000000000000000f00 1015:db0d0000ab06000085010000f40000000301" "1f00(104f 1025(104f 1051))");
    TChartRecord pie(0x1014, 20);
    InsertDefaultRecords(pie, 7);
    EXPECT_EQ(shape(pie, {0x1019}), "1019:000000000200 1022 1015(104f 1025(104f 1051))");
    // area, radar, scatter and surface carry a default data point with its formats
    TChartRecord area(0x1014, 20);
    InsertDefaultRecords(area, 4);
    EXPECT_EQ(shape(area, {0x1006}), "101a 1022 1015(104f 1025(104f 1051)) 1006:00000000fdff0000(105f 1007 100a 100b 1009)");
}

TEST(XlsChart, ChartTypeLegendAndDefaultPointSetters)
{
    auto root = readTree(chartBody(rec(0x1019, u16(0) + u16(0) + u16(2)), legend(3) + chart3d()));
    TDrwChart c(0, {});
    c.Load(root.get());
    TChartPlotArea& p = c.PlotArea;
    TChartRecord* f = p.ChartStyle()->Node();
    EXPECT_EQ(p.ChartType(), xctPie);
    EXPECT_EQ(errorOf([&] { p.SetChartType(xctNone); }), "Invalid chart type");
    EXPECT_EQ(p.ChartType(), xctPie);
    // a new group replaces the old one and its 3-D settings
    p.SetChartType(xctColumn);
    EXPECT_EQ(p.ChartType(), xctColumn);
    EXPECT_EQ(f->Child(0)->Data.toHex(), QByteArray("000096000000"));
    EXPECT_FALSE(p.Is3D());
    EXPECT_TRUE(p.HasLegend());
    // bubbles keep their bit and read back as bubbles; scatter without it
    p.SetChartType(xctBubble);
    EXPECT_EQ(p.ChartType(), xctBubble);
    EXPECT_EQ(f->Child(0)->Data.toHex(), QByteArray("640001000100"));
    EXPECT_TRUE(p.ChartStyle()->HasDefDataPoint());
    p.SetChartType(xctScatter);
    EXPECT_EQ(p.ChartType(), xctScatter);
    for (TXLSChartType t : {xctArea, xctLine, xctPie, xctRadar, xctSurface}) {
        p.SetChartType(t);
        EXPECT_EQ(p.ChartType(), t) << int(t);
    }
    // the legend off and on: the new LEGEND with its bytes and texts
    p.SetHasLegend(false);
    EXPECT_FALSE(p.HasLegend());
    EXPECT_EQ(f->IndexOf(0x1015), -1);
    p.SetHasLegend(true);
    TChartRecord* l = p.ChartStyle()->Legend.Node();
    ASSERT_TRUE(l);
    EXPECT_EQ(l->Data.toHex(), QByteArray("3c0e0000ce06000050010000") + "5e01000003011f00");
    EXPECT_EQ(shape(*l), "104f 1025(104f 1051)");
    EXPECT_EQ(p.ChartStyle()->Legend.LegendType(), cltRight);

    // a default data point on a line chart
    p.SetChartType(xctLine);
    EXPECT_FALSE(p.ChartStyle()->HasDefDataPoint());
    p.ChartStyle()->SetHasDefDataPoint(true);
    ASSERT_TRUE(p.ChartStyle()->DefDatapoint);
    EXPECT_EQ(p.ChartStyle()->DefDatapoint->Data.toHex(), QByteArray("00000000fdff0000"));
    EXPECT_EQ(shape(*p.ChartStyle()->DefDatapoint), "105f 1007 100a 100b 1009");
    p.ChartStyle()->SetHasDefDataPoint(false);
    EXPECT_EQ(f->IndexOf(0x1006), -1);
}

TEST(XlsChart, AxesThreeDAndFills)
{
    const QByteArray catRange = rec(0x1020, u16(1) + u16(1) + u16(1) + u16(0x0001));
    const QByteArray valRange = rec(0x101F, QByteArray(40, 0) + u16(0x011F));
    QByteArray records = chartBody(rec(0x1017, u16(0) + u16(150) + u16(0)), legend(3) + chart3d());
    // axes with their scaling below the two AXIS records
    records.replace(rec(0x101D, u16(0) + QByteArray(16, 0)), rec(0x101D, u16(0) + QByteArray(16, 0)) + begin() + catRange + end());
    records.replace(rec(0x101D, u16(1) + QByteArray(16, 0)), rec(0x101D, u16(1) + QByteArray(16, 0)) + begin() + valRange + end());
    // the chart area's frame, and PROTECT before CHART for the fill's drawing
    records.prepend(rec(0x0012, u16(0)));
    records.replace(rec(0x1002, QByteArray(16, 0)) + begin(), rec(0x1002, QByteArray(16, 0)) + begin() + rec(0x1032, u16(0) + u16(3)) + begin() +
                                                                  rec(0x1007, QByteArray(12, 0)) + rec(0x100A, QByteArray(16, 0)) + end());
    TMSOPictures group;   // outlives the chart's drawing
    TShapeOutsideMsoChart side;
    side.Group = &group;
    side.Root = readTree(records);
    side.Root->OwnerChart = &side;
    TDrwChart c(0, {});
    c.Load(side.Root.get());

    TCatSerAxisScaling& cat = c.PlotArea.CategoryAxis.CatSerAxisScaling;
    EXPECT_EQ(cat.CrossingPoint(), 1);
    EXPECT_EQ(cat.Options(), csasoCrossesMidCategory);
    cat.SetOptions(csasoReverseCategories | csasoValueCrossesRight);
    EXPECT_EQ(GetWord(cat.Node()->Bytes() + 6), 0x0006);
    cat.SetLabelsFrequency(3);
    EXPECT_EQ(GetWord(cat.Node()->Bytes() + 2), 3);
    EXPECT_EQ(errorOf([&] { cat.SetTickMarksFrequency(0); }), "Value out of range");

    TValueAxisScaling& val = c.PlotArea.ValueAxis.ValueAxisScaling;
    EXPECT_EQ(val.Options(), 0);
    val.SetMaxValue(50.0);   // the maximum is no longer automatic
    EXPECT_EQ(GetWord(val.Node()->Bytes() + 40), 0x011D);
    EXPECT_EQ(val.MaxValue(), 50.0);
    val.SetMaxValue(0.0);
    EXPECT_EQ(GetWord(val.Node()->Bytes() + 40), 0x011F);
    val.SetOptions(vasoLogScale | vasoCategoryAxisCrossing);
    EXPECT_EQ(GetWord(val.Node()->Bytes() + 40), 0x01BF);
    EXPECT_EQ(val.Options(), vasoLogScale | vasoCategoryAxisCrossing);
    EXPECT_FALSE(c.PlotArea.SerieAxis.Node());
    EXPECT_EQ(errorOf([&] { c.PlotArea.SerieAxis.CatSerAxisScaling.CrossingPoint(); }), "Property has no data.");

    TChart3D& d3 = c.PlotArea.ChartStyle()->Chart3D;
    EXPECT_EQ(d3.Options(), c3doClusterdCols | c3doAutoScaling);
    d3.SetOptions(c3do2dWalls);
    EXPECT_EQ(GetWord(d3.Node()->Bytes() + 12), 0x0030);   // the other bits stay
    const struct { std::function<void()> set; } bad[] = {
        {[&] { d3.SetRotation(361); }}, {[&] { d3.SetElevation(-91); }}, {[&] { d3.SetDistance(101); }}};
    for (const auto& b : bad) EXPECT_EQ(errorOf(b.set), "Invalid value");
    d3.SetElevation(-90);
    EXPECT_EQ(d3.Elevation(), -90);

    // a fill for the chart area: a GELFRAME with the default properties, and the chart's own
    // drawing, registered with the group, with its MSODRAWING after PROTECT
    TPaintFrame& frame = c.Frame;
    ASSERT_TRUE(frame.Node());
    EXPECT_FALSE(frame.HasFillEffects());
    frame.SetHasFillEffects(true);
    ASSERT_TRUE(frame.HasFillEffects());
    EXPECT_EQ(frame.FillEffects.Properties.Value(396), 100);
    EXPECT_EQ(frame.FillEffects.PictureType(), msoblipERROR);
    ASSERT_TRUE(side.Drawing);
    EXPECT_EQ(side.Drawing->DrawingId, 1u);
    EXPECT_EQ(group.Dgg.Entries.size(), 1);
    EXPECT_EQ(side.Root->Child(2)->Id, 0x00EC);
    // written, the fill is one OPT record of its properties; read again, the same properties
    const QByteArray written = WriteChartRecords(*side.Root, nullptr);
    const QByteArray opt = frame.FillEffects.Properties.Write();
    EXPECT_TRUE(written.contains(rec(0x1066, opt)));
    EXPECT_EQ(opt.left(8).toHex(), QByteArray("e301") + "0bf0" + QByteArray::number(frame.FillEffects.Properties.Size() , 16).rightJustified(2, '0') + "000000");
    TChartRecord gel(0x1066, 0);
    gel.Data = opt;
    TGelFrame back;
    back.Load(&gel);
    EXPECT_TRUE(back.Properties == frame.FillEffects.Properties);
    EXPECT_EQ(gel.Length(), opt.size());   // a plain node keeps its bytes
    // the fill off again
    frame.SetHasFillEffects(false);
    EXPECT_FALSE(frame.HasFillEffects());
    EXPECT_EQ(frame.Node()->IndexOf(0x1066), -1);
    TChartRecord notOpt(0x1066, 8);
    EXPECT_EQ(errorOf([&] { back.Load(&notOpt); }), "First MSO record in Gelframe is not OPT");

    // a legend frame with its formats, gone with the legend
    TChartLegend& lg = c.PlotArea.ChartStyle()->Legend;
    lg.SetHasFrame(true);
    ASSERT_TRUE(lg.HasFrame());
    EXPECT_EQ(lg.Frame.LineFormat.Node()->Data.toHex(), QByteArray("000000000000ffff09004d00"));
    EXPECT_EQ(lg.Frame.AreaFormat.Node()->Data.toHex(), QByteArray("ffffff0000000000010001004e004e00"));
    c.PlotArea.SetHasLegend(false);
    EXPECT_FALSE(lg.Frame.Node());
    EXPECT_FALSE(lg.Frame.LineFormat.Node());
}

TEST(XlsChart, SeriesPointsAndFormats)
{
    // a series formula set on the LibreOffice chart reads back
    {
        Loaded l;
        loadFile(l, "drawing-shapes.xls");
        TChartSerie& s = *l.book.Sheets()[0]->Charts()[0]->Series[0];
        s.SetValues("Kunden!$C$2:$C$5");
        EXPECT_EQ(s.Values(), "Kunden!$C$2:$C$5");
        EXPECT_EQ(s.Node->Child(s.ValuesPos())->Bytes()[1], 2);
        s.SetSerieName("Kunden!$A$1");
        EXPECT_EQ(s.SerieName(), "Kunden!$A$1");
        TDrwChart* c = l.book.Sheets()[0]->Charts()[0];
        EXPECT_EQ(c->SheetOptions(), 0);   // SHTPROPS 0x0008: neither bit 0x0002 nor 0x0004
        c->SetSheetOptions(csoOnlyVisibleCells | csoDoNotSize);
        EXPECT_EQ(GetWord(c->ShtProps->Bytes()), 0x000E);   // the other bits stay
    }
    const QByteArray formats = rec(0x1007, u32(0) + u16(1) + u16(0) + u16(1) + u16(70)) +            // LINEFORMAT: dash, automatic, index 70
                               rec(0x100A, u32(0) + u32(0) + u16(1) + u16(0x0002) + u16(8) + u16(9)) +  // AREAFORMAT
                               rec(0x100B, u16(10)) +                                                    // PIEFORMAT
                               rec(0x1009, u32(0) + u32(0) + u16(8) + u16(0x0001) + u16(12) + u16(13) + u32(60));
    const QByteArray points = rec(0x1006, u16(0xFFFF) + u16(0) + u16(0) + u16(0)) + begin() + rec(0x105F, u16(257)) + formats + end() +
                              rec(0x1006, u16(1) + u16(0) + u16(0) + u16(0)) + begin() + rec(0x100B, u16(25)) + rec(0x100C, u16(0x0009)) + end();
    auto root = readTree(chartBody(rec(0x1019, u16(0) + u16(0) + u16(2)), {}, points));
    TDrwChart c(0, {});
    c.Load(root.get());
    TChartSerie& s = *c.Series[0];
    EXPECT_EQ(s.Geomtery(), sigCone);
    s.SetGeomtery(sigChoppedPyramid);
    EXPECT_EQ(GetWord(s.DefDataPoint.Node()->Child(0)->Bytes()), 512);
    EXPECT_TRUE(s.HasDefDataPoint());
    TDataPoint& def = s.DefDataPoint;
    EXPECT_EQ(def.LineFormat.LineStyle(), clsDash);
    EXPECT_TRUE(def.LineFormat.Automatic());
    EXPECT_EQ(def.LineFormat.LineColor(), 64);   // read capped
    def.LineFormat.SetLineColor(10);
    EXPECT_EQ(GetWord(def.LineFormat.Node()->Bytes() + 10), 10);
    EXPECT_EQ(GetDWord(def.LineFormat.Node()->Bytes()), PaletteColor(10));
    EXPECT_TRUE(def.AreaFormat.SwapColorWhenNeg());
    EXPECT_FALSE(def.AreaFormat.Automatic());
    def.AreaFormat.SetBackgroundColor(12);
    EXPECT_EQ(GetDWord(def.AreaFormat.Node()->Bytes() + 4), PaletteColor(12));
    EXPECT_EQ(def.MarkerFormat.MarkerStyle(), cmsCircle);
    EXPECT_EQ(def.MarkerFormat.Size(), 60);
    def.MarkerFormat.SetMarkerStyle(cmsX);
    EXPECT_EQ(GetWord(def.MarkerFormat.Node()->Bytes() + 10), 0);   // the option word cleared
    EXPECT_EQ(def.PieSliceDist(), 10);
    EXPECT_EQ(errorOf([&] { def.DataLablel(); }), "Property has no data.");

    ASSERT_EQ(s.DataPoints.size(), 1u);
    TDataPoint& p = *s.DataPoints[0];
    EXPECT_EQ(p.PointIndex(), 1);
    EXPECT_EQ(p.DataLablel(), cdlValue | cdlCategory);
    p.SetDataLablel(cdlValuePercent);
    EXPECT_EQ(GetWord(p.AttachedLabel->Bytes()), 0x0002);
    EXPECT_EQ(errorOf([&] { p.SetPieSliceDist(101); }), "Value out of range");
    EXPECT_EQ(errorOf([&] { p.SetPointIndex(-1); }), "Point index out of range.");
    EXPECT_EQ(errorOf([&] { p.LineFormat.LineColor(); }), "Property has no data.");
    // DATAFORMAT without children
    auto bad = readTree(chartBody(rec(0x1019, u16(0) + u16(0) + u16(2)), {}, rec(0x1006, QByteArray(8, 0))));
    TDrwChart b(0, {});
    EXPECT_EQ(errorOf([&] { b.Load(bad.get()); }), "DATAFORMAT has no child records");

    // the default data point of a series gets its formats when switched on
    auto plain = readTree(chartBody(rec(0x1019, u16(0) + u16(0) + u16(2)), {},
                                    rec(0x1006, u16(0xFFFF) + QByteArray(6, 0)) + begin() + rec(0x105F, u16(0)) + end()));
    TDrwChart pc(0, {});
    pc.Load(plain.get());
    TChartSerie& ps = *pc.Series[0];
    EXPECT_FALSE(ps.HasDefDataPoint());
    ps.SetHasDefDataPoint(true);
    EXPECT_TRUE(ps.HasDefDataPoint());
    EXPECT_TRUE(ps.DefDataPoint.MarkerFormat.Node());
}
