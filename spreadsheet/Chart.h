#pragma once
// The typed view over a chart's record tree: series with their formulas, labels, default texts
// and the plot area with its chart style, 3-D settings and legend. Every view object reads and
// writes the bytes of the record it wraps.
#include "spreadsheet/ChartRecords.h"
#include "spreadsheet/DrawingObj.h"

#include <QString>
#include <memory>
#include <vector>

namespace xls {

class TFormulaHandler;

enum TXLSChartType : uint8_t { xctNone, xctArea, xctBubble, xctColumn, xctLine, xctPie, xctRadar, xctScatter, xctSurface };
enum TChartLegendType : uint8_t { cltBottom, cltCorner, cltTop, cltRight, cltLeft, cltNotDocked };

class TRecordObject {
public:
    virtual ~TRecordObject() = default;
    TChartRecord* Node() const { return m_node; }
    virtual void Load(TChartRecord* node) { m_node = node; }
    void Unbind() { m_node = nullptr; }
protected:
    TChartRecord* m_node = nullptr;
    // The node's bytes, at least `size` of them; "Property has no data." without.
    uint8_t* data(int size) const;
};

class TChartText : public TRecordObject {
public:
    int Color() const;
    TXFont* Font() const { return m_font; }
    void Load(TChartRecord* node) override;
private:
    TXFont* m_font = nullptr;
};

class TChart3D : public TRecordObject {
public:
    int Rotation() const;
    int Elevation() const;
    int Distance() const;
};

class TChartLegend : public TRecordObject {
public:
    TChartLegendType LegendType() const;
    void SetLegendType(TChartLegendType t);
};

class TChartStyle : public TRecordObject {
public:
    virtual TXLSChartType GetChartType() const { return xctNone; }
    TChart3D Chart3D;
    TChartLegend Legend;
    TChartRecord* DefDatapoint = nullptr;   // the DATAFORMAT of the default data point
    bool VaryColors() const;
    bool HasDefDataPoint() const { return DefDatapoint; }
    void SetHasDefDataPoint(bool on);
    void Load(TChartRecord* node) override;
};

// The style of a chart group: the record that is the first child of CHARTFORMAT.
class TChartStyleGroup : public TChartStyle {
public:
    TXLSChartType GetChartType() const override;
};

class TChartPlotArea : public TRecordObject {
public:
    TChartStyle* ChartStyle() const { return m_style.get(); }
    TChartRecord* CategoryAxis = nullptr;
    TChartRecord* ValueAxis = nullptr;
    TChartRecord* SerieAxis = nullptr;
    TChartRecord* Frame = nullptr;
    TXLSChartType ChartType() const { return m_style ? m_style->GetChartType() : xctNone; }
    bool Is3D() const { return m_style && m_style->Chart3D.Node(); }
    bool HasLegend() const { return m_style && m_style->Legend.Node(); }
    void SetIs3D(bool on);
    void SetHasLegend(bool on);
    // Replaces the chart group by the default group of the type.
    void SetChartType(TXLSChartType type);
    void Load(TChartRecord* node) override;
private:
    std::unique_ptr<TChartStyle> m_style;
};

class TChartSerie {
public:
    TChartSerie(TChartRecord* node, TFormulaHandler* formulas);
    TChartRecord* Node;
    QString Values() const { return formula(m_values); }
    QString Values2() const { return formula(m_values2); }
    QString Category() const { return formula(m_category); }
    QString SerieName() const;
    // A text in double quotes is stored as a literal name (at most 255 characters).
    void SetSerieName(const QString& name);
    TChartRecord* DefDataPoint = nullptr;
    QList<TChartRecord*> DataPoints;
    int ValuesPos() const { return m_values; }
    int CategoryPos() const { return m_category; }
    int NamePos() const { return m_name; }
private:
    TFormulaHandler* m_formulas;
    int m_values = -1, m_values2 = -1, m_category = -1, m_name = -1;
    QString formula(int pos) const;
};

// A text of the chart: its TEXT node and the POS, AI, OBJECTLINK and SERIESTEXT below it.
struct TChartLabel {
    TChartRecord* Text = nullptr;
    TChartRecord* Pos = nullptr;
    TChartRecord* Ai = nullptr;
    TChartRecord* ObjectLink = nullptr;
    TChartRecord* SeriesText = nullptr;
};

class TDrwChart : public TDrwAnchor {
public:
    TDrwChart(int id, const TDrawingContext& context) : TDrwAnchor(id, context) {}
    // Binds the record tree of the chart shape's side data.
    void SetShape(TShapeClientAnchor* shape) override;
    void Load(TChartRecord* root);
    TChartRecord* Root() const { return m_root; }
    TChartRecord* ChartNode() const { return m_chart; }
    TChartText DefaultTextA, DefaultTextB;
    std::vector<TChartLabel> Labels;
    std::vector<std::unique_ptr<TChartSerie>> Series;
    TChartPlotArea PlotArea;
    TChartRecord* Frame = nullptr;
    TChartRecord* ShtProps = nullptr;
private:
    TChartRecord* m_root = nullptr;
    TChartRecord* m_chart = nullptr;
};

// Literal series texts: SERIESTEXT's text.
QString SeriesTextOf(const TChartRecord* node);

}
