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

enum TChartLineStyle : uint8_t { clsSolid, clsDash, clsDot, clsDashDot, clsDashDotDot, clsNone, clsDarkGray, clsMediumGray, clsLightGray };
enum TChartMarkerStyle : uint8_t { cmsNone, cmsSquare, cmsDiamond, cmsTriangle, cmsX, cmsStar, cmsDowJones, cmsStandardDeviation, cmsCircle, cmsPlus };
enum TChartDataLabel : uint8_t { cdlValue = 0x01, cdlValuePercent = 0x02, cdlSmoothedLine = 0x04, cdlCategory = 0x08, cdlBubbleSize = 0x10 };
enum TSerieItemGeomtery : uint8_t { sigDefault, sigCylinder, sigPyramid, sigChoppedPyramid, sigCone, sigChoppedCone, sigLast };
enum TChartSheetOption : uint8_t { csoOnlyVisibleCells = 0x01, csoDoNotSize = 0x02 };

// Colour indexes read capped at 64; writing one also writes its colour value.
class TLineFormat : public TRecordObject {
public:
    int LineColor() const;
    void SetLineColor(int index);
    TChartLineStyle LineStyle() const;
    void SetLineStyle(TChartLineStyle s);
    bool Automatic() const;
    void SetAutomatic(bool on);
};

class TAreaFormat : public TRecordObject {
public:
    int Pattern() const;
    void SetPattern(int p);
    int ForegroundColor() const;
    int BackgroundColor() const;
    void SetForegroundColor(int index);
    void SetBackgroundColor(int index);
    bool SwapColorWhenNeg() const;
    void SetSwapColorWhenNeg(bool on);
    bool Automatic() const;
    void SetAutomatic(bool on);
};

class TMarkerFormat : public TRecordObject {
public:
    TChartMarkerStyle MarkerStyle() const;
    void SetMarkerStyle(TChartMarkerStyle s);   // also clears the option word
    int ForegroundColor() const;
    int BackgroundColor() const;
    void SetForegroundColor(int index);
    void SetBackgroundColor(int index);
    bool Automatic() const;
    void SetAutomatic(bool on);
    int Size() const;
    void SetSize(int size);
};

// A data point: its DATAFORMAT with the formats below it.
class TDataPoint : public TRecordObject {
public:
    TLineFormat LineFormat;
    TAreaFormat AreaFormat;
    TMarkerFormat MarkerFormat;
    TChartRecord* PieFormat = nullptr;
    TChartRecord* AttachedLabel = nullptr;
    int PointIndex() const;
    void SetPointIndex(int v);
    int PieSliceDist() const;
    void SetPieSliceDist(int v);   // 0 to 100
    int DataLablel() const;        // TChartDataLabel bits
    void SetDataLablel(int labels);
    void Load(TChartRecord* node) override;
    void Unbind() { m_node = nullptr; LineFormat.Unbind(); AreaFormat.Unbind(); MarkerFormat.Unbind(); PieFormat = AttachedLabel = nullptr; }
};

enum TCatSerAxisScalingOption : uint8_t { csasoCrossesMidCategory = 0x01, csasoValueCrossesRight = 0x02, csasoReverseCategories = 0x04 };
enum TValueAxisScalingOption : uint8_t { vasoLogScale = 0x01, vasoReverse = 0x02, vasoCategoryAxisCrossing = 0x04 };
enum TChart3DOption : uint8_t { c3doPerspectiveTrans = 0x01, c3doClusterdCols = 0x02, c3doAutoScaling = 0x04, c3do2dWalls = 0x08 };
enum TMSOBlipType : uint8_t { msoblipERROR, msoblipUNKNOWN, msoblipEMF, msoblipWMF, msoblipPICT, msoblipJPEG, msoblipPNG, msoblipDIB };

class TCatSerAxisScaling : public TRecordObject {
public:
    int CrossingPoint() const;
    int LabelsFrequency() const;
    int TickMarksFrequency() const;
    void SetCrossingPoint(int v);
    void SetLabelsFrequency(int v);
    void SetTickMarksFrequency(int v);
    int Options() const;             // TCatSerAxisScalingOption bits
    void SetOptions(int options);
private:
    void setWord(int offset, int v);
};

class TValueAxisScaling : public TRecordObject {
public:
    double MinValue() const { return value(0); }
    double MaxValue() const { return value(1); }
    double MajorInc() const { return value(2); }
    double MinorInc() const { return value(3); }
    double CategoryAxisCrossing() const { return value(4); }
    // A value of 0.0 switches the value's automatic bit on, any other off.
    void SetMinValue(double v) { setValue(0, v); }
    void SetMaxValue(double v) { setValue(1, v); }
    void SetMajorInc(double v) { setValue(2, v); }
    void SetMinorInc(double v) { setValue(3, v); }
    void SetCategoryAxisCrossing(double v) { setValue(4, v); }
    int Options() const;             // TValueAxisScalingOption bits
    void SetOptions(int options);
private:
    double value(int i) const;
    void setValue(int i, double v);
};

// An axis with its tick format and the scaling of its kind.
class TChartAxis : public TRecordObject {
public:
    TRecordObject TickFormat;
    TCatSerAxisScaling CatSerAxisScaling;   // category and series axes
    TValueAxisScaling ValueAxisScaling;     // value axes
    void Load(TChartRecord* node) override;
};

// A picture or gradient fill: the property table of a GELFRAME, written back into its node.
class TGelFrame : public TRecordObject {
public:
    TOPT Properties;
    TMSOBlipType PictureType() const;
    void Load(TChartRecord* node) override;
    void SetDefaults();
    void Encode(TChartRecord& node) const;
};

class TPaintFrame : public TRecordObject {
public:
    TLineFormat LineFormat;
    TAreaFormat AreaFormat;
    TGelFrame FillEffects;
    bool HasFillEffects() const { return FillEffects.Node(); }
    // with the objects bound to the records below it
    void Unbind() { m_node = nullptr; LineFormat.Unbind(); AreaFormat.Unbind(); FillEffects.Unbind(); }
    void SetHasFillEffects(bool on);
    void Load(TChartRecord* node) override;
};

class TChartText : public TRecordObject {
public:
    int Color() const;
    void SetColor(int index);
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
    void SetRotation(int v);    // 0 to 360
    void SetElevation(int v);   // -90 to 90
    void SetDistance(int v);    // 0 to 100
    int Options() const;        // TChart3DOption bits
    void SetOptions(int options);
};

class TChartLegend : public TRecordObject {
public:
    TChartLegendType LegendType() const;
    void SetLegendType(TChartLegendType t);
    TPaintFrame Frame;
    bool HasFrame() const { return Frame.Node(); }
    void Unbind() { m_node = nullptr; Frame.Unbind(); }
    void SetHasFrame(bool on);
    void Load(TChartRecord* node) override;
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
    TChartAxis CategoryAxis, ValueAxis, SerieAxis;
    TPaintFrame Frame;
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
    void SetValues(const QString& formula) { setFormula(m_values, formula); }
    void SetValues2(const QString& formula) { setFormula(m_values2, formula); }
    void SetCategory(const QString& formula) { setFormula(m_category, formula); }
    TDataPoint DefDataPoint;
    std::vector<std::unique_ptr<TDataPoint>> DataPoints;
    bool HasDefDataPoint() const { return DefDataPoint.Node() && DefDataPoint.Node()->Count() > 2; }
    void SetHasDefDataPoint(bool on);
    TSerieItemGeomtery Geomtery() const;
    void SetGeomtery(TSerieItemGeomtery g);
    int ValuesPos() const { return m_values; }
    int CategoryPos() const { return m_category; }
    int NamePos() const { return m_name; }
private:
    TFormulaHandler* m_formulas;
    int m_values = -1, m_values2 = -1, m_category = -1, m_name = -1;
    TChartRecord* m_geometry = nullptr;
    QString formula(int pos) const;
    void setFormula(int pos, const QString& text);
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
    // A chart made in code has a shape and no record tree.
    static TShapeClientAnchor* MakeShape(TEscherDrawing& d) { return d.AddChart(); }
    // Binds the record tree of the chart shape's side data.
    void SetShape(TShapeClientAnchor* shape) override;
    void Load(TChartRecord* root);
    TChartRecord* Root() const { return m_root; }
    TChartRecord* ChartNode() const { return m_chart; }
    TChartText DefaultTextA, DefaultTextB;
    std::vector<TChartLabel> Labels;
    std::vector<std::unique_ptr<TChartSerie>> Series;
    TChartPlotArea PlotArea;
    TPaintFrame Frame;   // of the chart area
    TChartRecord* ShtProps = nullptr;
    int SheetOptions() const;   // TChartSheetOption bits
    void SetSheetOptions(int options);
private:
    TChartRecord* m_root = nullptr;
    TChartRecord* m_chart = nullptr;
};

// Literal series texts: SERIESTEXT's text.
QString SeriesTextOf(const TChartRecord* node);

}
