#pragma once
// The records of a chart substream as a tree: BEGIN/END become parent and children; fonts
// (FONTX, FBI), picture fills (GELFRAME with its continuations) and the chart's own drawing are
// interpreted, every other record keeps its bytes.
#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace xls {

class TRecordSource;
class TXFont;
class TXFonts;
class TEscherDrawing;
class TEscherGroup;
class TSheetCharts;
class TShapeOutsideMsoChart;

enum : uint16_t { chartRootId = 0xFFFA };

class TChartRecord {
public:
    TChartRecord(uint16_t id, int length, TChartRecord* parent = nullptr);
    virtual ~TChartRecord() = default;
    TChartRecord(const TChartRecord&) = delete;
    TChartRecord& operator=(const TChartRecord&) = delete;

    uint16_t Id;
    QByteArray Data;            // 32-bit long: a picture fill with its continuations may pass 65535
    TXFont* Font = nullptr;     // FONTX: the font it refers to; FBI: the font besides its bytes
    int FontIndex = -1;         // FONTX: the index read, kept for a font that is not there
    TChartRecord* Parent;       // none for a root
    // The owner of a root: an embedded chart's side data or the chart-sheet collection.
    TShapeOutsideMsoChart* OwnerChart = nullptr;
    TSheetCharts* OwnerSheets = nullptr;
    // Called by the writer before it writes an update node (roots, GELFRAME).
    std::function<void(TChartRecord&)> Update;
    bool IsUpdate = false;
    bool Nested = false;        // a BEGIN followed it in the file, even with nothing inside

    int Length() const { return int(Data.size()); }
    uint8_t* Bytes() { return reinterpret_cast<uint8_t*>(Data.data()); }
    const uint8_t* Bytes() const { return reinterpret_cast<const uint8_t*>(Data.constData()); }

    int Count() const { return int(m_children.size()); }
    TChartRecord* Child(int i) const { return m_children[size_t(i)].get(); }
    TChartRecord* Last() const { return m_children.empty() ? nullptr : m_children.back().get(); }
    TChartRecord* Root();
    int IndexOf(uint16_t id) const;
    TChartRecord* Find(uint16_t id) const;
    TChartRecord* InsertChild(int index, uint16_t id, bool update, int length);
    bool DeleteById(uint16_t id);
    void ClearChildren() { m_children.clear(); }
    void ResizeData(int delta);
    TXFont* FbiFont(int fontIndex);

private:
    std::vector<std::unique_ptr<TChartRecord>> m_children;
};

// What reading a chart needs besides its records.
struct TChartReadContext {
    TXFonts* Fonts = nullptr;
    TEscherGroup* Group = nullptr;
};

// Reads records into the children of `node` up to EOF, the END of its level or the end of the
// records. `depth` is the BEGIN nesting of `node`.
void ReadChartRecords(TChartRecord& node, TRecordSource& source, const TChartReadContext& context, int depth = 0);

// Appends the records of a template (1, 3 to 10) to the children of `node`: 1 the texts of a
// legend, 3 the formats of a default data point, 4 to 10 the chart groups area, column, line,
// pie, radar, scatter and surface with their link, legend and (4, 8 to 10) default data point.
void InsertDefaultRecords(TChartRecord& node, int type);

// The BIFF records of the children of `node` (the writer side): nodes with children are followed
// by BEGIN, their children and END; fonts are written by their index in `fonts`.
QByteArray WriteChartRecords(TChartRecord& node, TXFonts* fonts);

// A chart sheet: its records and the drawing placed on it.
class TSheetChart {
public:
    TSheetChart();
    ~TSheetChart();
    int SheetIndex = 0;
    QString Name = QStringLiteral("Chart");
    std::unique_ptr<TEscherDrawing> Drawing;
    std::unique_ptr<TChartRecord> Root;
    QList<QPair<uint16_t, QByteArray>> Raw;   // the records of a substream that could not be read
};

class TSheetCharts {
public:
    explicit TSheetCharts(TEscherGroup* group) : m_group(group) {}
    int Count() const { return int(m_items.size()); }
    int size() const { return Count(); }
    TSheetChart& operator[](int i) const { return *m_items[size_t(i)]; }
    TSheetChart* Add();
    void Clear() { m_items.clear(); }
    TEscherGroup* Group() const { return m_group; }
    // Reads a chart sheet whose BOF is `bof`; the rest of its substream comes from `source`.
    void ReadChartSheet(TRecordSource& source, const QString& name, int sheetIndex, const QByteArray& bof, TXFonts* fonts);
private:
    TEscherGroup* m_group;
    std::vector<std::unique_ptr<TSheetChart>> m_items;
};

}
