#include "spreadsheet/Chart.h"
#include "spreadsheet/Escher.h"
#include "spreadsheet/FormulaHandler.h"
#include "spreadsheet/XLSUtils.h"

#include <cstring>

namespace xls {

namespace {
[[noreturn]] void fail(const char* text) { throw EXLSError(QString::fromLatin1(text)); }
}   // namespace

uint8_t* TRecordObject::data(int size) const
{
    if (!m_node || m_node->Length() < size) fail("Property has no data.");
    return m_node->Bytes();
}

// ---- texts

int TChartText::Color() const { return qMin<int>(GetWord(data(28) + 26), 64); }

void TChartText::SetColor(int index)
{
    uint8_t* p = data(28);
    PutWord(p + 26, uint16_t(index));
    PutWord(p + 24, GetWord(p + 24) & ~0x0021);
}

// ---- formats

namespace {
void setBit(uint8_t* word, int bit, bool on) { PutWord(word, uint16_t(on ? GetWord(word) | bit : GetWord(word) & ~bit)); }
void setColor(uint8_t* p, int indexOffset, int valueOffset, int index)
{
    PutWord(p + indexOffset, uint16_t(index));
    PutDWord(p + valueOffset, PaletteColor(index));
}
}   // namespace

int TLineFormat::LineColor() const { return qMin<int>(GetWord(data(12) + 10), 64); }
void TLineFormat::SetLineColor(int index) { setColor(data(12), 10, 0, index); }
TChartLineStyle TLineFormat::LineStyle() const { return TChartLineStyle(qMin<int>(GetWord(data(12) + 4), clsLightGray)); }
void TLineFormat::SetLineStyle(TChartLineStyle s) { PutWord(data(12) + 4, s); }
bool TLineFormat::Automatic() const { return GetWord(data(12) + 8) & 0x0001; }
void TLineFormat::SetAutomatic(bool on) { setBit(data(12) + 8, 0x0001, on); }

int TAreaFormat::Pattern() const { return GetWord(data(16) + 8); }
void TAreaFormat::SetPattern(int p) { PutWord(data(16) + 8, uint16_t(p)); }
int TAreaFormat::ForegroundColor() const { return qMin<int>(GetWord(data(16) + 12), 64); }
int TAreaFormat::BackgroundColor() const { return qMin<int>(GetWord(data(16) + 14), 64); }
void TAreaFormat::SetForegroundColor(int index) { setColor(data(16), 12, 0, index); }
void TAreaFormat::SetBackgroundColor(int index) { setColor(data(16), 14, 4, index); }
bool TAreaFormat::SwapColorWhenNeg() const { return GetWord(data(16) + 10) & 0x0002; }
void TAreaFormat::SetSwapColorWhenNeg(bool on) { setBit(data(16) + 10, 0x0002, on); }
bool TAreaFormat::Automatic() const { return GetWord(data(16) + 10) & 0x0001; }
void TAreaFormat::SetAutomatic(bool on) { setBit(data(16) + 10, 0x0001, on); }

TChartMarkerStyle TMarkerFormat::MarkerStyle() const { return TChartMarkerStyle(qMin<int>(GetWord(data(20) + 8), cmsPlus)); }
void TMarkerFormat::SetMarkerStyle(TChartMarkerStyle s)
{
    PutWord(data(20) + 8, s);
    PutWord(data(20) + 10, 0);
}
int TMarkerFormat::ForegroundColor() const { return qMin<int>(GetWord(data(20) + 12), 64); }
int TMarkerFormat::BackgroundColor() const { return qMin<int>(GetWord(data(20) + 14), 64); }
void TMarkerFormat::SetForegroundColor(int index) { setColor(data(20), 12, 0, index); }
void TMarkerFormat::SetBackgroundColor(int index) { setColor(data(20), 14, 4, index); }
bool TMarkerFormat::Automatic() const { return GetWord(data(20) + 10) & 0x0001; }
void TMarkerFormat::SetAutomatic(bool on) { setBit(data(20) + 10, 0x0001, on); }
int TMarkerFormat::Size() const { return int(GetDWord(data(20) + 16)); }
void TMarkerFormat::SetSize(int size) { PutDWord(data(20) + 16, uint32_t(size)); }

// ---- data points

void TDataPoint::Load(TChartRecord* node)
{
    Unbind();
    m_node = node;
    if (node->Count() == 0) fail("DATAFORMAT has no child records");
    for (int i = 0; i < node->Count(); ++i) {
        TChartRecord* c = node->Child(i);
        switch (c->Id) {
        case 0x1007: LineFormat.Load(c); break;
        case 0x100A: AreaFormat.Load(c); break;
        case 0x1009: MarkerFormat.Load(c); break;
        case 0x100B: PieFormat = c; break;
        case 0x100C: AttachedLabel = c; break;
        default: break;
        }
    }
}

int TDataPoint::PointIndex() const { return GetWord(data(8)); }
void TDataPoint::SetPointIndex(int v)
{
    if (v < 0) fail("Point index out of range.");
    PutWord(data(8), uint16_t(v));
}

int TDataPoint::PieSliceDist() const
{
    if (!PieFormat || PieFormat->Length() < 2) fail("Property has no data.");
    return GetWord(PieFormat->Bytes());
}

void TDataPoint::SetPieSliceDist(int v)
{
    if (!PieFormat || PieFormat->Length() < 2) fail("Property has no data.");
    if (v < 0 || v > 100) fail("Value out of range");
    PutWord(PieFormat->Bytes(), uint16_t(v));
}

int TDataPoint::DataLablel() const
{
    if (!AttachedLabel || AttachedLabel->Length() < 2) fail("Property has no data.");
    return AttachedLabel->Bytes()[0] & 0x1F;
}

void TDataPoint::SetDataLablel(int labels)
{
    if (!AttachedLabel || AttachedLabel->Length() < 2) fail("Property has no data.");
    PutWord(AttachedLabel->Bytes(), uint16_t(labels & 0xFF));
}

void TChartText::Load(TChartRecord* node)
{
    TRecordObject::Load(node);
    m_font = nullptr;
    for (int i = 0; node && i < node->Count(); ++i)
        if (node->Child(i)->Id == 0x1026) m_font = node->Child(i)->Font;
}

int TChart3D::Rotation() const { return GetWord(data(14)); }
int TChart3D::Elevation() const { return int16_t(GetWord(data(14) + 2)); }
int TChart3D::Distance() const { return GetWord(data(14) + 4); }

// The position byte: 7 is "not docked" (the ordinal 5 of the type is no position of the format).
TChartLegendType TChartLegend::LegendType() const
{
    const uint8_t v = data(20)[16];
    if (v == 7) return cltNotDocked;
    return v < cltNotDocked ? TChartLegendType(v) : cltRight;
}

void TChartLegend::SetLegendType(TChartLegendType t) { data(20)[16] = t == cltNotDocked ? 7 : uint8_t(t); }

void TChartLegend::Load(TChartRecord* node)
{
    TRecordObject::Load(node);
    Frame.Unbind();
    if (TChartRecord* f = node->Find(0x1032)) Frame.Load(f);
}

void TChartLegend::SetHasFrame(bool on)
{
    if (!m_node || on == HasFrame()) return;
    if (!on) {
        Frame.Unbind();
        m_node->DeleteById(0x1032);
        return;
    }
    TChartRecord* f = m_node->InsertChild(-1, 0x1032, false, 4);
    PutWord(f->Bytes() + 2, 3);
    TChartRecord* line = f->InsertChild(-1, 0x1007, false, 12);
    PutWord(line->Bytes() + 6, 0xFFFF);
    PutWord(line->Bytes() + 8, 0x0009);
    PutWord(line->Bytes() + 10, 0x4D);
    TChartRecord* area = f->InsertChild(-1, 0x100A, false, 16);
    PutDWord(area->Bytes(), 0xFFFFFF);
    PutWord(area->Bytes() + 8, 1);
    PutWord(area->Bytes() + 10, 0x0001);
    PutWord(area->Bytes() + 12, 0x4E);
    PutWord(area->Bytes() + 14, 0x4E);
    Frame.Load(f);
}

void TChart3D::SetRotation(int v)
{
    if (v < 0 || v > 360) fail("Invalid value");
    PutWord(data(14), uint16_t(v));
}

void TChart3D::SetElevation(int v)
{
    if (v < -90 || v > 90) fail("Invalid value");
    PutWord(data(14) + 2, uint16_t(int16_t(v)));
}

void TChart3D::SetDistance(int v)
{
    if (v < 0 || v > 100) fail("Invalid value");
    PutWord(data(14) + 4, uint16_t(v));
}

int TChart3D::Options() const
{
    const int w = GetWord(data(14) + 12);
    return (w & 0x07) | ((w & 0x20) ? c3do2dWalls : 0);
}

void TChart3D::SetOptions(int options)
{
    uint8_t* p = data(14) + 12;
    int w = GetWord(p) & ~0x27;
    w |= options & 0x07;
    if (options & c3do2dWalls) w |= 0x20;
    PutWord(p, uint16_t(w));
}

// ---- axes

int TCatSerAxisScaling::CrossingPoint() const { return GetWord(data(8)); }
int TCatSerAxisScaling::LabelsFrequency() const { return GetWord(data(8) + 2); }
int TCatSerAxisScaling::TickMarksFrequency() const { return GetWord(data(8) + 4); }
void TCatSerAxisScaling::setWord(int offset, int v)
{
    if (v < 1) fail("Value out of range");
    PutWord(data(8) + offset, uint16_t(v));
}
void TCatSerAxisScaling::SetCrossingPoint(int v) { setWord(0, v); }
void TCatSerAxisScaling::SetLabelsFrequency(int v) { setWord(2, v); }
void TCatSerAxisScaling::SetTickMarksFrequency(int v) { setWord(4, v); }
int TCatSerAxisScaling::Options() const { return GetWord(data(8) + 6) & 0x07; }
void TCatSerAxisScaling::SetOptions(int options)
{
    uint8_t* p = data(8) + 6;
    PutWord(p, uint16_t((GetWord(p) & ~0x07) | (options & 0x07)));
}

double TValueAxisScaling::value(int i) const { return GetDouble(data(42) + 8 * i); }
void TValueAxisScaling::setValue(int i, double v)
{
    uint8_t* p = data(42);
    PutDouble(p + 8 * i, v);
    int w = GetWord(p + 40);
    w = v == 0.0 ? w | (1 << i) : w & ~(1 << i);
    PutWord(p + 40, uint16_t(w));
}
int TValueAxisScaling::Options() const { return (GetWord(data(42) + 40) >> 5) & 0x07; }
void TValueAxisScaling::SetOptions(int options)
{
    uint8_t* p = data(42) + 40;
    PutWord(p, uint16_t((GetWord(p) & ~0xE0) | ((options & 0x07) << 5)));
}

void TChartAxis::Load(TChartRecord* node)
{
    TRecordObject::Load(node);
    TickFormat.Unbind();
    CatSerAxisScaling.Unbind();
    ValueAxisScaling.Unbind();
    const int type = node->Length() >= 2 ? GetWord(node->Bytes()) : -1;
    for (int i = 0; i < node->Count(); ++i) {
        TChartRecord* c = node->Child(i);
        if (c->Id == 0x101E) TickFormat.Load(c);
        else if (c->Id == 0x1020 && type != 1) CatSerAxisScaling.Load(c);
        else if (c->Id == 0x101F && type == 1) ValueAxisScaling.Load(c);
    }
}

// ---- frames and fills

void TGelFrame::Load(TChartRecord* node)
{
    TRecordObject::Load(node);
    Properties.Clear();
    if (node->IsUpdate) node->Update = [this](TChartRecord& n) { Encode(n); };
    const QByteArray d = node->Data;
    const auto* p = reinterpret_cast<const uint8_t*>(d.constData());
    if (d.size() < 4 || GetWord(p + 2) != 0xF00B) fail("First MSO record in Gelframe is not OPT");
    for (qint64 o = 0; o + 8 <= d.size();) {
        const EscherHeader h = EscherHeader::Parse(p + o);
        o += 8;
        const qint64 len = qMin<qint64>(h.Length, d.size() - o);
        if (h.Type == 0xF00B) {
            TOPT more;
            more.Read(p + o, len, h.Instance);
            for (int i = 0; i < more.Count(); ++i) Properties.Append(more.Item(i));
        }
        o += len;
    }
    // the property table holds the fill from now on
    if (node->IsUpdate) node->Data.clear();
}

void TGelFrame::Encode(TChartRecord& node) const { node.Data = Properties.Write(); }

void TGelFrame::SetDefaults()
{
    Properties.Clear();
    const struct { int id; int32_t v; } simple[] = {{384, 7}, {385, 0x08000009}, {386, 0x10000}, {387, 0x08000016}, {388, 0x10000}, {389, 0x100000F4}};
    for (const auto& e : simple) Properties.AddSimple(e.id, e.v);
    Properties.Append({uint16_t(0xC000 | 390), 0, {}});
    Properties.AddComplex(391, 0);
    for (int id = 392; id <= 395; ++id) Properties.AddSimple(id, 0);
    Properties.AddSimple(396, 100);
    for (int id = 397; id <= 406; ++id) Properties.AddSimple(id, 0);
    Properties.AddComplex(407, 0);
    for (int id = 408; id <= 411; ++id) Properties.AddSimple(id, 0);
    Properties.AddSimple(412, 0x40000003);
    Properties.AddSimple(447, 0x1F001C);
}

TMSOBlipType TGelFrame::PictureType() const
{
    const TOPT::Entry* e = Properties.Find(390);
    if (!e || e->Data.size() < 2) return msoblipERROR;
    switch (GetWord(reinterpret_cast<const uint8_t*>(e->Data.constData())) >> 4) {
    case 0x3D4: return msoblipEMF;
    case 0x216: return msoblipWMF;
    case 0x542: return msoblipPICT;
    case 0x46A: return msoblipJPEG;
    case 0x6E0: return msoblipPNG;
    case 0x7A8: return msoblipDIB;
    default: return msoblipUNKNOWN;
    }
}

void TPaintFrame::Load(TChartRecord* node)
{
    TRecordObject::Load(node);
    LineFormat.Unbind();
    AreaFormat.Unbind();
    FillEffects.Unbind();
    for (int i = 0; i < node->Count(); ++i) {
        TChartRecord* c = node->Child(i);
        if (c->Id == 0x1007) LineFormat.Load(c);
        else if (c->Id == 0x100A) AreaFormat.Load(c);
        else if (c->Id == 0x1066) FillEffects.Load(c);
    }
}

void TPaintFrame::SetHasFillEffects(bool on)
{
    if (!m_node || on == HasFillEffects()) return;
    if (!on) {
        m_node->DeleteById(0x1066);
        FillEffects.Unbind();
        return;
    }
    TChartRecord* root = m_node->Root();
    if (!root) fail("Can not find chart root record");
    TChartRecord* g = m_node->InsertChild(-1, 0x1066, true, 0);
    FillEffects.TRecordObject::Load(g);
    FillEffects.SetDefaults();
    g->Update = [this](TChartRecord& n) { FillEffects.Encode(n); };
    // the fill's picture lives in the chart's own drawing
    if (TShapeOutsideMsoChart* owner = root->OwnerChart; owner && !owner->Drawing) {
        const int at = root->IndexOf(0x0012);
        if (at < 0) fail("Can not find insertion point for MSODRAWING");
        owner->Drawing = std::make_unique<TEscherDrawing>(owner->Group);
        owner->Drawing->Fonts = owner->Fonts;
        owner->Drawing->Register();
        root->InsertChild(at + 1, 0x00EC, false, 0);
    }
}

// ---- styles

bool TChartStyle::VaryColors() const { return GetWord(data(18) + 16) & 0x0001; }

void TChartStyle::Load(TChartRecord* node)
{
    TRecordObject::Load(node);
    Chart3D.Unbind();
    Legend.Unbind();
    DefDatapoint = nullptr;
    for (int i = 0; i < node->Count(); ++i) {
        TChartRecord* c = node->Child(i);
        switch (c->Id) {
        case 0x1006:
            if (c->Length() >= 6 && GetWord(c->Bytes() + 4) > 0xF000) DefDatapoint = c;
            break;
        case 0x1015: Legend.Load(c); break;
        case 0x103A: Chart3D.Load(c); break;
        default: break;
        }
    }
}

TXLSChartType TChartStyleGroup::GetChartType() const
{
    const TChartRecord* g = m_node && m_node->Count() > 0 ? m_node->Child(0) : nullptr;
    if (!g) return xctNone;
    switch (g->Id) {
    case 0x1017: return xctColumn;
    case 0x1018: return xctLine;
    case 0x1019: return xctPie;
    case 0x101A: return xctArea;
    // bubbles are scatter charts with the bubble bit
    case 0x101B: return g->Length() >= 6 && (GetWord(g->Bytes() + 4) & 0x0001) ? xctBubble : xctScatter;
    case 0x103E: return xctRadar;
    case 0x103F: return xctSurface;
    default: return xctNone;   // radar area, bar of pie
    }
}

void TChartPlotArea::Load(TChartRecord* node)
{
    TRecordObject::Load(node);
    CategoryAxis.Unbind();
    ValueAxis.Unbind();
    SerieAxis.Unbind();
    Frame.Unbind();
    m_style.reset();
    for (int i = 0; i < node->Count(); ++i) {
        TChartRecord* c = node->Child(i);
        switch (c->Id) {
        case 0x1014: {
            if (c->Count() == 0) fail("Chart style record is missing");
            const uint16_t g = c->Child(0)->Id;
            const bool known = g == 0x1017 || g == 0x1018 || g == 0x1019 || g == 0x101A || g == 0x101B || g == 0x103E ||
                               g == 0x103F || g == 0x1040 || g == 0x1061;
            if (!known) throw EXLSError(QString::asprintf("Unknown chart style %.4X", g));
            m_style = std::make_unique<TChartStyleGroup>();
            m_style->Load(c);
            break;
        }
        case 0x101D: {
            if (c->Length() < 2) fail("Property has no data.");
            const int type = GetWord(c->Bytes());
            if (type == 0) CategoryAxis.Load(c);
            else if (type == 1) ValueAxis.Load(c);
            else if (type == 2) SerieAxis.Load(c);
            else throw EXLSError(QString::asprintf("Unknown axis type %d", type));
            break;
        }
        case 0x1032: Frame.Load(c); break;
        default: break;
        }
    }
}

void TChartPlotArea::SetIs3D(bool on)
{
    if (!m_style || on == Is3D()) return;
    TChartRecord* f = m_style->Node();
    if (!on) {
        f->DeleteById(0x103A);
        m_style->Chart3D.Unbind();
        return;
    }
    if (f->Count() < 2) fail("Invalid record");
    const int at = f->Child(1)->Id == 0x1022 ? 2 : 1;
    TChartRecord* n = f->InsertChild(at, 0x103A, false, 14);
    const uint16_t v[] = {20, 15, 30, 100, 100, 150, 0x0016};
    for (int i = 0; i < 7; ++i) PutWord(n->Bytes() + 2 * i, v[i]);
    m_style->Chart3D.Load(n);
}

void TChartPlotArea::SetHasLegend(bool on)
{
    if (!m_style || on == HasLegend()) return;
    TChartRecord* f = m_style->Node();
    if (!on) {
        // The records bound below the legend go with it.
        f->DeleteById(0x1015);
        m_style->Legend.Unbind();
        return;
    }
    TChartRecord* n = f->InsertChild(-1, 0x1015, false, 20);
    const uint32_t v[] = {3644, 1742, 336, 350};
    for (int i = 0; i < 4; ++i) PutDWord(n->Bytes() + 4 * i, v[i]);
    n->Bytes()[16] = 3;
    n->Bytes()[17] = 1;
    PutWord(n->Bytes() + 18, 0x001F);
    m_style->Legend.Load(n);
    InsertDefaultRecords(*n, 1);
}

void TChartPlotArea::SetChartType(TXLSChartType type)
{
    if (type == xctNone || type > xctSurface) fail("Invalid chart type");
    if (!m_style || type == ChartType()) return;
    static const int templates[] = {0, 4, 9, 5, 6, 7, 8, 9, 10};
    TChartRecord* f = m_style->Node();
    f->ClearChildren();
    m_style = std::make_unique<TChartStyleGroup>();
    InsertDefaultRecords(*f, templates[type]);
    TChartRecord* g = f->Child(0);
    // plain columns (the template's bars lie), and bubbles by their bit
    if (type == xctColumn) PutWord(g->Bytes() + 4, GetWord(g->Bytes() + 4) & ~0x0001);
    if (type == xctBubble) PutWord(g->Bytes() + 4, GetWord(g->Bytes() + 4) | 0x0001);
    m_style->Load(f);
}

void TChartStyle::SetHasDefDataPoint(bool on)
{
    if (!m_node || on == HasDefDataPoint()) return;
    if (!on) {
        for (int i = 0; i < m_node->Count(); ++i)
            if (m_node->Child(i) == DefDatapoint) {
                m_node->DeleteById(0x1006);
                break;
            }
        DefDatapoint = nullptr;
        return;
    }
    TChartRecord* n = m_node->InsertChild(-1, 0x1006, false, 8);
    PutWord(n->Bytes() + 4, 0xFFFD);
    InsertDefaultRecords(*n, 3);
    DefDatapoint = n;
}

// ---- series

TChartSerie::TChartSerie(TChartRecord* node, TFormulaHandler* formulas) : Node(node), m_formulas(formulas)
{
    for (int i = 0; i < node->Count(); ++i) {
        TChartRecord* c = node->Child(i);
        if (c->Id == 0x1006) {
            if (c->Length() >= 2 && GetWord(c->Bytes()) == 0xFFFF) {
                DefDataPoint.Load(c);
                if (c->Child(0)->Id == 0x105F) m_geometry = c->Child(0);
            } else {
                DataPoints.push_back(std::make_unique<TDataPoint>());
                DataPoints.back()->Load(c);
            }
        } else if (c->Id == 0x1051 && c->Length() >= 1) {
            switch (c->Bytes()[0]) {
            case 0: m_name = i; break;
            case 1: m_values = i; break;
            case 2: m_category = i; break;
            case 3: m_values2 = i; break;
            default: break;
            }
        }
    }
}

QString TChartSerie::formula(int pos) const
{
    if (pos < 0 || pos >= Node->Count()) fail("Property has no data");
    const TChartRecord* ai = Node->Child(pos);
    if (ai->Length() < 8) fail("Property has no data");
    const int n = GetWord(ai->Bytes() + 6);
    if (n == 0) return {};
    CheckRange(ai->Length(), 8, n);
    if (!m_formulas) return {};
    return m_formulas->DecodeFormula(ai->Data.mid(8, n), n);
}

QString SeriesTextOf(const TChartRecord* node)
{
    if (!node || node->Length() < 3) return {};
    const int count = node->Bytes()[2];
    return ReadBIFFString(node->Bytes() + 3, node->Length() - 3, count);
}

QString TChartSerie::SerieName() const
{
    if (m_name < 0 || m_name >= Node->Count()) fail("Property has no data");
    const TChartRecord* ai = Node->Child(m_name);
    if (ai->Length() >= 2 && ai->Bytes()[1] == 1) {
        const TChartRecord* next = m_name + 1 < Node->Count() ? Node->Child(m_name + 1) : nullptr;
        if (!next || next->Id != 0x100D) return {};
        const QString t = SeriesTextOf(next);
        return t.isEmpty() ? t : QLatin1Char('"') + t + QLatin1Char('"');
    }
    return formula(m_name);
}

void TChartSerie::setFormula(int pos, const QString& text)
{
    if (pos < 0 || pos >= Node->Count()) fail("Property has no data");
    TChartRecord* ai = Node->Child(pos);
    if (ai->Length() < 8) fail("Property has no data");
    QByteArray buf(8224, 0);
    const int n = m_formulas ? m_formulas->EncodeFormula(text, buf, int(buf.size())) : 0;
    ai->ResizeData(8 + n - ai->Length());
    std::memcpy(ai->Bytes() + 8, buf.constData(), size_t(n));
    PutWord(ai->Bytes() + 6, uint16_t(n));
    ai->Bytes()[1] = n > 0 ? 2 : 1;
}

void TChartSerie::SetHasDefDataPoint(bool on)
{
    TChartRecord* n = DefDataPoint.Node();
    if (!on || HasDefDataPoint() || !n) return;
    InsertDefaultRecords(*n, 3);
    DefDataPoint.Load(n);
}

static const int geometries[] = {0, 1, 256, 512, 257, 513};

TSerieItemGeomtery TChartSerie::Geomtery() const
{
    if (!m_geometry || m_geometry->Length() < 2) return sigDefault;
    const int w = GetWord(m_geometry->Bytes());
    for (int i = 0; i < 6; ++i)
        if (geometries[i] == w) return TSerieItemGeomtery(i);
    return sigDefault;
}

void TChartSerie::SetGeomtery(TSerieItemGeomtery g)
{
    if (!m_geometry || m_geometry->Length() < 2 || g >= sigLast) return;
    PutWord(m_geometry->Bytes(), uint16_t(geometries[g]));
}

void TChartSerie::SetSerieName(const QString& name)
{
    if (m_name < 0 || m_name >= Node->Count()) fail("Property has no data");
    if (!name.startsWith('"')) {
        setFormula(m_name, name);
        return;
    }
    QString text = name.mid(1);
    if (text.endsWith('"')) text.chop(1);
    // its count is one byte
    if (text.size() > 255) fail("Value out of range");
    if (m_name == Node->Count() - 1) return;
    TChartRecord* ai = Node->Child(m_name);
    if (ai->Length() < 2) fail("Property has no data");
    TChartRecord* st = Node->Child(m_name + 1);
    if (st->Id != 0x100D) {
        st = Node->InsertChild(m_name + 1, 0x100D, false, 3);
        for (int* p : {&m_values, &m_values2, &m_category})
            if (*p >= m_name + 1) ++*p;
    }
    st->Data = QByteArray(4 + 2 * text.size(), 0);
    st->Bytes()[2] = uint8_t(text.size());
    st->Bytes()[3] = 1;
    for (int i = 0; i < text.size(); ++i) PutWord(st->Bytes() + 4 + 2 * i, text[i].unicode());
    ai->Bytes()[1] = 1;
}

// ---- the chart

int TDrwChart::SheetOptions() const
{
    if (!ShtProps || ShtProps->Length() < 2) fail("Property has no data");
    return (GetWord(ShtProps->Bytes()) >> 1) & 0x03;
}

void TDrwChart::SetSheetOptions(int options)
{
    if (!ShtProps || ShtProps->Length() < 2) fail("Property has no data");
    PutWord(ShtProps->Bytes(), uint16_t((GetWord(ShtProps->Bytes()) & ~0x06) | ((options & 0x03) << 1)));
}

void TDrwChart::SetShape(TShapeClientAnchor* shape)
{
    TDrwAnchor::SetShape(shape);
    auto* side = shape ? dynamic_cast<TShapeOutsideMsoChart*>(shape->Side.get()) : nullptr;
    if (side && side->Root) Load(side->Root.get());
}

void TDrwChart::Load(TChartRecord* root)
{
    m_root = root;
    m_chart = nullptr;
    Labels.clear();
    Series.clear();
    DefaultTextA.Unbind();
    DefaultTextB.Unbind();
    Frame.Unbind();
    ShtProps = nullptr;
    TChartRecord* walk = root;
    if (root->Count() > 0 && root->Child(0)->Id == 0x0809) {
        m_chart = root->Find(0x1002);
        if (!m_chart) fail("Can not find CHART record.");
        walk = m_chart;
    }
    for (int i = 0; i < walk->Count(); ++i) {
        TChartRecord* c = walk->Child(i);
        switch (c->Id) {
        case 0x1003: Series.push_back(std::make_unique<TChartSerie>(c, m_context.Formulas)); break;
        case 0x1024: {
            TChartRecord* t = i + 1 < walk->Count() ? walk->Child(i + 1) : nullptr;
            if (!t || t->Id != 0x1025) fail("Excpected Chart record missing: TEXT");
            const int which = c->Length() >= 2 ? GetWord(c->Bytes()) : -1;
            if (which == 2) DefaultTextA.Load(t);
            else if (which == 3) DefaultTextB.Load(t);
            ++i;
            break;
        }
        case 0x1025: {
            TChartLabel l;
            l.Text = c;
            l.Pos = c->Find(0x104F);
            l.Ai = c->Find(0x1051);
            l.ObjectLink = c->Find(0x1027);
            l.SeriesText = c->Find(0x100D);
            Labels.push_back(l);
            break;
        }
        case 0x1026: ++i; break;
        case 0x1032: Frame.Load(c); break;
        case 0x1041: PlotArea.Load(c); break;
        case 0x1044: ShtProps = c; break;
        default: break;
        }
    }
}

}
