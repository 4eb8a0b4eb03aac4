#include "spreadsheet/Chart.h"
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
    CategoryAxis = ValueAxis = SerieAxis = Frame = nullptr;
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
            if (type == 0) CategoryAxis = c;
            else if (type == 1) ValueAxis = c;
            else if (type == 2) SerieAxis = c;
            else throw EXLSError(QString::asprintf("Unknown axis type %d", type));
            break;
        }
        case 0x1032: Frame = c; break;
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
            if (c->Length() >= 2 && GetWord(c->Bytes()) == 0xFFFF) DefDataPoint = c;
            else DataPoints.append(c);
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

void TChartSerie::SetSerieName(const QString& name)
{
    if (m_name < 0 || m_name >= Node->Count()) fail("Property has no data");
    if (!name.startsWith('"')) {
        // a formula
        QByteArray buf(8224, 0);
        const int n = m_formulas ? m_formulas->EncodeFormula(name, buf, int(buf.size())) : 0;
        TChartRecord* ai = Node->Child(m_name);
        if (ai->Length() < 8) fail("Property has no data");
        ai->ResizeData(8 + n - ai->Length());
        std::memcpy(ai->Bytes() + 8, buf.constData(), size_t(n));
        PutWord(ai->Bytes() + 6, uint16_t(n));
        ai->Bytes()[1] = n > 0 ? 2 : 1;
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
    Frame = ShtProps = nullptr;
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
        case 0x1032: Frame = c; break;
        case 0x1041: PlotArea.Load(c); break;
        case 0x1044: ShtProps = c; break;
        default: break;
        }
    }
}

}
