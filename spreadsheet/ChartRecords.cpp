#include "spreadsheet/ChartRecords.h"
#include "spreadsheet/Escher.h"
#include "spreadsheet/Formats.h"
#include "spreadsheet/MoveCopy.h"
#include "spreadsheet/XLSUtils.h"

namespace xls {

namespace {
[[noreturn]] void fail(const char* text) { throw EXLSError(QString::fromLatin1(text)); }
const int maxNesting = 64;
}   // namespace

TChartRecord::TChartRecord(uint16_t id, int length, TChartRecord* parent) : Id(id), Data(qMax(length, 0), 0), Parent(parent) {}

TChartRecord* TChartRecord::Root()
{
    for (TChartRecord* n = this; n; n = n->Parent)
        if (n->Id == chartRootId) return n;
    return nullptr;
}

int TChartRecord::IndexOf(uint16_t id) const
{
    for (size_t i = 0; i < m_children.size(); ++i)
        if (m_children[i]->Id == id) return int(i);
    return -1;
}

TChartRecord* TChartRecord::Find(uint16_t id) const
{
    const int i = IndexOf(id);
    return i < 0 ? nullptr : Child(i);
}

TChartRecord* TChartRecord::InsertChild(int index, uint16_t id, bool update, int length)
{
    auto n = std::make_unique<TChartRecord>(id, length, this);
    n->IsUpdate = update;
    TChartRecord* p = n.get();
    if (index < 0 || index >= Count()) m_children.push_back(std::move(n));
    else m_children.insert(m_children.begin() + index, std::move(n));
    return p;
}

bool TChartRecord::DeleteById(uint16_t id)
{
    const int i = IndexOf(id);
    if (i < 0) return false;
    m_children.erase(m_children.begin() + i);
    return true;
}

void TChartRecord::ResizeData(int delta) { Data.resize(qMax(0, Length() + delta)); }

TXFont* TChartRecord::FbiFont(int fontIndex)
{
    TChartRecord* root = Root();
    if (!root) return nullptr;
    for (const auto& c : root->m_children)
        if (c->Id == 0x1060 && c->Length() >= 10 && GetWord(c->Bytes() + 8) == fontIndex) return c->Font;
    return nullptr;
}

// The drawing that an MSODRAWING inside the tree fills: the owner's.
static TEscherDrawing* ownerDrawing(TChartRecord& node, TEscherGroup* group);

void ReadChartRecords(TChartRecord& node, TRecordSource& source, const TChartReadContext& context, int depth)
{
    for (;;) {
        // 0: the end of the records; a substream without EOF is read to there
        if (source.PeekRecordId() == 0) return;
        uint16_t id;
        QByteArray d = source.ReadRecord(id);
        const auto* p = reinterpret_cast<const uint8_t*>(d.constData());
        switch (id) {
        case 0x000A:
            node.InsertChild(-1, id, false, 0)->Data = d;
            return;
        case 0x00EC: {
            node.InsertChild(-1, id, false, 0);
            TEscherDrawing* drawing = ownerDrawing(node, context.Group);
            drawing->Fonts = context.Fonts;
            drawing->ReadDrawing(d, source);
            break;
        }
        case 0x1026: {
            CheckRange(d.size(), 0, 2);
            const int index = GetWord(p);
            TXFont* font = node.FbiFont(index);
            // An index that names no workbook font refers to no font.
            if (!font && context.Fonts) font = context.Fonts->Item(index);
            TChartRecord* n = node.InsertChild(-1, id, false, 0);
            n->Font = font;
            n->FontIndex = index;
            break;
        }
        case 0x1033: {
            TChartRecord* last = node.Last();
            if (!last) fail("Chart record BEGIN without a record before it");
            if (depth + 1 > maxNesting) fail("Chart records nested deeper than 64 levels");
            last->Nested = true;
            ReadChartRecords(*last, source, context, depth + 1);
            break;
        }
        case 0x1034:
            return;
        case 0x1060: {
            CheckRange(d.size(), 0, 10);
            TChartRecord* n = node.InsertChild(-1, id, false, 0);
            n->Data = d.left(10);
            n->Font = context.Fonts ? context.Fonts->Item(GetWord(p + 8)) : nullptr;
            if (n->Font) n->Font->Unshareable = true;
            break;
        }
        case 0x1066: {
            while (source.PeekRecordId() == 0x1066 || source.PeekRecordId() == 0x003C) {
                uint16_t more;
                d += source.ReadRecord(more);
            }
            node.InsertChild(-1, id, true, 0)->Data = d;
            break;
        }
        default:
            node.InsertChild(-1, id, false, 0)->Data = d;
            break;
        }
    }
}

static TEscherDrawing* ownerDrawing(TChartRecord& node, TEscherGroup* group)
{
    TChartRecord* root = node.Root();
    if (root && root->OwnerChart) {
        root->OwnerChart->Drawing = std::make_unique<TEscherDrawing>(group);
        return root->OwnerChart->Drawing.get();
    }
    if (root && root->OwnerSheets && root->OwnerSheets->Count() > 0) {
        TSheetChart& c = (*root->OwnerSheets)[root->OwnerSheets->Count() - 1];
        c.Drawing = std::make_unique<TEscherDrawing>(group);
        return c.Drawing.get();
    }
    fail("Chart record parent is not of excpected type");
}

// ---- templates

namespace {
struct TDefaultRecord {
    uint16_t id;
    QByteArray data;
};
enum : uint16_t { beginId = 0x1033, endId = 0x1034, legendMarker = 0xF001 };

QByteArray words(std::initializer_list<uint32_t> values, std::initializer_list<int> sizes)
{
    QByteArray out;
    auto size = sizes.begin();
    for (uint32_t v : values) {
        const int n = *size++;
        for (int i = 0; i < n; ++i) out += char((v >> (8 * i)) & 0xFF);
    }
    return out;
}

const QList<TDefaultRecord>& legendTexts()
{
    static const QList<TDefaultRecord> t = {
        {beginId, {}},
        {0x104F, words({2, 2, 0, 0, 0, 0}, {2, 2, 4, 4, 4, 4})},                                    // POS
        {0x1025, words({2, 2, 1, 0, 0, 0, 0, 0, 0x00B1, 0x4D, 0, 0}, {1, 1, 2, 4, 4, 4, 4, 4, 2, 2, 2, 2})},   // TEXT
        {beginId, {}},
        {0x104F, words({2, 2, 0, 0, 0, 0}, {2, 2, 4, 4, 4, 4})},
        {0x1051, words({0, 1, 0, 0, 0}, {1, 1, 2, 2, 2})},                                          // AI of the name
        {endId, {}},
        {endId, {}},
    };
    return t;
}

const QList<TDefaultRecord>& pointFormats()
{
    static const QList<TDefaultRecord> t = {
        {0x105F, words({0}, {2})},                                                                  // CHART3DBARSHAPE
        {0x1007, words({0, 0, 0xFFFF, 0x0009, 0x4D}, {4, 2, 2, 2, 2})},                             // LINEFORMAT
        {0x100A, words({0xFFFFFF, 0, 1, 0x0001, 0x4E, 0x4E}, {4, 4, 2, 2, 2, 2})},                  // AREAFORMAT
        {0x100B, words({0}, {2})},                                                                  // PIEFORMAT
        {0x1009, words({0, 0, 0, 0x0001, 0x4D, 0x4D, 60}, {4, 4, 2, 2, 2, 2, 4})},                  // MARKERFORMAT
    };
    return t;
}

QList<TDefaultRecord> chartGroup(const TDefaultRecord& group, bool defaultPoint)
{
    QList<TDefaultRecord> t = {
        group,
        {0x1022, words({0, 0, 0, 0, 0x000F}, {2, 2, 2, 2, 2})},                                     // CHARTFORMATLINK
        {0x1015, words({3547, 1707, 389, 244, 3, 1, 0x001F}, {4, 4, 4, 4, 1, 1, 2})},               // LEGEND
        {legendMarker, {}},
    };
    if (defaultPoint) {
        t.append(TDefaultRecord{0x1006, words({0, 0, 0xFFFD, 0}, {2, 2, 2, 2})});                                 // DATAFORMAT
        t.append(TDefaultRecord{beginId, {}});
        t += pointFormats();
        t.append(TDefaultRecord{endId, {}});
    }
    return t;
}

QList<TDefaultRecord> templateOf(int type)
{
    switch (type) {
    case 1: return legendTexts();
    case 3: return pointFormats();
    case 4: return chartGroup({0x101A, words({0}, {2})}, true);
    case 5: return chartGroup({0x1017, words({0, 150, 0x0001}, {2, 2, 2})}, false);
    case 6: return chartGroup({0x1018, words({0}, {2})}, false);
    case 7: return chartGroup({0x1019, words({0, 0, 0x0002}, {2, 2, 2})}, false);
    case 8: return chartGroup({0x103E, words({0x0001, 0x0012}, {2, 2})}, true);
    case 9: return chartGroup({0x101B, words({100, 1, 0}, {2, 2, 2})}, true);
    case 10: return chartGroup({0x103F, words({0x0001}, {2})}, true);
    default: throw EXLSError(QStringLiteral("Unknown chart template %1").arg(type));
    }
}

// Walks the entries from `i` into the children of `node`; answers the entry after the level.
int walkTemplate(TChartRecord& node, const QList<TDefaultRecord>& t, int i)
{
    while (i < t.size()) {
        const TDefaultRecord& e = t[i++];
        switch (e.id) {
        case beginId:
            if (TChartRecord* last = node.Last()) i = walkTemplate(*last, t, i);
            break;
        case endId:
            return i;
        case legendMarker:
            walkTemplate(node, legendTexts(), 0);
            break;
        default:
            node.InsertChild(-1, e.id, false, 0)->Data = e.data;
            break;
        }
    }
    return i;
}
}   // namespace

void InsertDefaultRecords(TChartRecord& node, int type) { walkTemplate(node, templateOf(type), 0); }

// ---- writer

namespace {
QByteArray record(uint16_t id, const QByteArray& data)
{
    QByteArray h(4, 0);
    PutWord(reinterpret_cast<uint8_t*>(h.data()), id);
    PutWord(reinterpret_cast<uint8_t*>(h.data()) + 2, uint16_t(data.size()));
    return h + data;
}

int fontIndex(TXFonts* fonts, TXFont* font, int fallback)
{
    for (int i = 0; font && fonts && i < fonts->Count(); ++i)
        if (fonts->Item(i) == font) return i;
    return fallback;
}
}   // namespace

QByteArray WriteChartRecords(TChartRecord& node, TXFonts* fonts)
{
    QByteArray out;
    for (int i = 0; i < node.Count(); ++i) {
        TChartRecord& c = *node.Child(i);
        switch (c.Id) {
        case 0x00EC: {
            TChartRecord* root = c.Root();
            TEscherDrawing* d = nullptr;
            if (root && root->OwnerChart) d = root->OwnerChart->Drawing.get();
            else if (root && root->OwnerSheets) {
                for (int k = 0; k < root->OwnerSheets->Count(); ++k)
                    if ((*root->OwnerSheets)[k].Root.get() == root) d = (*root->OwnerSheets)[k].Drawing.get();
            }
            if (!d) fail("Chart record parent is not of excpected type");
            out += d->WriteRecords();
            break;
        }
        case 0x1026: {
            QByteArray d(2, 0);
            PutWord(reinterpret_cast<uint8_t*>(d.data()), uint16_t(fontIndex(fonts, c.Font, qMax(c.FontIndex, 0))));
            out += record(c.Id, d);
            break;
        }
        case 0x1060: {
            QByteArray d = c.Data;
            if (d.size() >= 10 && c.Font) PutWord(reinterpret_cast<uint8_t*>(d.data()) + 8, uint16_t(fontIndex(fonts, c.Font, GetWord(c.Bytes() + 8))));
            out += record(c.Id, d);
            break;
        }
        case 0x1066: {
            if (c.IsUpdate && c.Update) c.Update(c);
            // a picture fill longer than a record goes on in CONTINUE records
            for (int o = 0; o == 0 || o < c.Length(); o += 8224) out += record(o == 0 ? c.Id : 0x003C, c.Data.mid(o, 8224));
            break;
        }
        default:
            out += record(c.Id, c.Data);
            break;
        }
        if (c.Count() > 0 || c.Nested) out += record(0x1033, {}) + WriteChartRecords(c, fonts) + record(0x1034, {});
    }
    return out;
}

// ---- chart sheets

TSheetChart::TSheetChart() = default;
TSheetChart::~TSheetChart() = default;

TSheetChart* TSheetCharts::Add()
{
    m_items.push_back(std::make_unique<TSheetChart>());
    return m_items.back().get();
}

void TSheetCharts::ReadChartSheet(TRecordSource& source, const QString& name, int sheetIndex, const QByteArray& bof, TXFonts* fonts)
{
    TSheetChart* c = Add();
    c->Name = name;
    c->SheetIndex = sheetIndex;
    c->Root = std::make_unique<TChartRecord>(chartRootId, 0);
    c->Root->IsUpdate = true;
    c->Root->OwnerSheets = this;
    TChartRecord* b = c->Root->InsertChild(-1, 0x0809, false, 0);
    b->Data = bof.left(16);
    b->Data.resize(16);
    ReadChartRecords(*c->Root, source, {fonts, m_group});
}

}
