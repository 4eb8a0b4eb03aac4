#pragma once
// The Office drawings of a workbook: the drawing group with its pictures (held once per
// workbook, identified by their MD4 digest), and one drawing per sheet with its shapes, their
// property tables and the side data (texts, comments, embedded charts) that the BIFF records
// OBJ, TXO and NOTE carry outside the drawing stream.
#include "spreadsheet/ChartRecords.h"
#include "spreadsheet/RecordStorage.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace xls {

class TRecordSource;
class TXFonts;
class TEscherDrawing;
class TEscherGroup;

// The 8 bytes in front of every drawing record.
struct EscherHeader {
    uint16_t Version = 0;    // low 4 bits; 0xF marks a container
    uint16_t Instance = 0;   // high 12 bits
    uint16_t Type = 0;
    uint32_t Length = 0;
    bool IsContainer() const { return Version == 0xF; }
    static EscherHeader Parse(const uint8_t* p);
    void Write(uint8_t* p) const;
    QByteArray Bytes() const;
};

// Drawing records kept as they came: header, and the data of atoms.
class TMSORecords {
public:
    void Append(const EscherHeader& h, const QByteArray& data = {});
    void CopyTo(TMSORecords& other) const { other.m_items = m_items; }
    void Clear() { m_items.clear(); }
    int Count() const { return int(m_items.size()); }
    const EscherHeader& Header(int i) const { return m_items[i].header; }
    const QByteArray& Data(int i) const { return m_items[i].data; }
    qint64 TotalSize() const;
    QByteArray WriteAll() const;
private:
    struct Item { EscherHeader header; QByteArray data; };
    QList<Item> m_items;
};

// A property table.
class TOPT {
public:
    struct Entry {
        uint16_t Word = 0;   // id in the low 14 bits, 0x4000 picture reference, 0x8000 complex
        int32_t Value = 0;
        QByteArray Data;     // complex data
        int Id() const { return Word & 0x3FFF; }
        bool IsComplex() const { return Word & 0x8000; }
        bool IsPictureRef() const { return Word & 0x4000; }
    };
    int Count() const { return int(m_entries.size()); }
    const Entry& Item(int i) const { return m_entries[i]; }
    void Clear() { m_entries.clear(); }
    // Reads `count` entries and their complex data from `data`.
    void Read(const uint8_t* data, qint64 length, int count);
    void Append(const Entry& e) { m_entries.append(e); }
    void AddSimple(int id, int32_t value, bool pictureRef = false);
    void AddString(int id, const QString& text);
    void AddComplex(int id, int size);
    const Entry* Find(int id) const;
    int32_t Value(int id) const;          // -1 when absent
    QString String(int id) const;         // empty when absent
    void SetValue(int id, int32_t value);
    void SetString(int id, const QString& text);
    int32_t TextId() const;               // property 128, 0 when absent
    int32_t PictureRef() const;           // -1 when no entry has the flag
    void SetPictureRef(int32_t value);
    qint64 Size() const;
    void CopyTo(TOPT& other) const { other.m_entries = m_entries; }
    QByteArray Write() const;
    bool operator==(const TOPT& o) const;
private:
    QList<Entry> m_entries;
};

// MD4 message digest of RFC 1320.
class TMD4Hash {
public:
    TMD4Hash();
    ~TMD4Hash();
    void Init();
    void Update(const uint8_t* data, qint64 length);
    void Update(const QByteArray& data) { Update(reinterpret_cast<const uint8_t*>(data.constData()), data.size()); }
    QByteArray Final();   // the 16 digest bytes; the hash must be initialised again after it
    static QByteArray Digest(const QByteArray& data);
private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

class TShape;

// Side data of a shape that BIFF keeps outside the drawing stream.
class TShapeOutsideMso {
public:
    virtual ~TShapeOutsideMso() = default;
    uint16_t ObjectId = 0;
    int ObjectType = -1;   // of the OBJ record read with the shape
    bool OwnsObjData = false;
    virtual bool TakeObjData(TBaseRecordStorage& /*subRecords*/) { return false; }
    virtual std::unique_ptr<TShapeOutsideMso> Clone() const = 0;
};

// A text box's TXO record, its text and formatting runs.
class TShapeOutsideMsoBaseText : public TShapeOutsideMso {
public:
    TShapeOutsideMsoBaseText() : Txo(18, 0) {}
    QByteArray Txo;
    QString Text;
    QByteArray Runs;   // 8 bytes a run
    std::unique_ptr<TShapeOutsideMso> Clone() const override { return std::make_unique<TShapeOutsideMsoBaseText>(*this); }
};

// A comment: the text, and the cell and author of its NOTE record.
class TShapeOutsideMsoNote : public TShapeOutsideMsoBaseText {
public:
    int Col = 0, Row = 0;
    uint16_t Options = 0;
    QString Author;
    std::unique_ptr<TShapeOutsideMso> Clone() const override { return std::make_unique<TShapeOutsideMsoNote>(*this); }
};

// An embedded chart: the record tree of its substream (its BOF the root's first child), the
// workbook fonts and drawing group, and the drawing of shapes placed on the chart.
class TShapeOutsideMsoChart : public TShapeOutsideMso {
public:
    TShapeOutsideMsoChart();
    ~TShapeOutsideMsoChart() override;
    std::unique_ptr<TChartRecord> Root;
    TXFonts* Fonts = nullptr;
    TEscherGroup* Group = nullptr;
    std::unique_ptr<TEscherDrawing> Drawing;
    std::unique_ptr<TShapeOutsideMso> Clone() const override;   // raises: a chart is not copied
};

class TShape {
public:
    virtual ~TShape() = default;
    uint32_t ShapeId = 0;
    uint32_t ShapeType = 0;
    uint32_t Flags = 0;
    TOPT Opt;
    std::unique_ptr<TMSORecords> Other;    // further drawing records of the shape
    TBaseRecordStorage ObjRecords;         // OBJ sub-records: 16-bit id, length, data
    std::unique_ptr<TShapeOutsideMso> Side;
    bool HasAnchor = true;       // written with its anchor record
    bool HasClientData = true;   // written with a client data record and its OBJ

    // The object type of the first OBJ sub-record (the common object data), -1 without one.
    int ObjectType() const;
    // The object id of the common-object sub-record, -1 without one.
    int ObjectId() const;
    TShapeOutsideMsoBaseText* Text() const { return dynamic_cast<TShapeOutsideMsoBaseText*>(Side.get()); }
};

class TShapeClientAnchor : public TShape {
public:
    uint16_t Anchor[9] = {};   // flags, col1, x1, row1, y1, col2, x2, row2, y2
    bool FlipH() const { return Flags & 0x40; }
    bool FlipV() const { return Flags & 0x80; }
    void SetFlipH(bool on) { Flags = on ? Flags | 0x40 : Flags & ~0x40u; }
    void SetFlipV(bool on) { Flags = on ? Flags | 0x80 : Flags & ~0x80u; }
};

class TShapeChildAnchor : public TShape {
public:
    int32_t Anchor[4] = {};
};

class TShapeGroup : public TShapeClientAnchor {
public:
    explicit TShapeGroup(TEscherDrawing* drawing = nullptr) : Drawing(drawing) {}
    TEscherDrawing* Drawing;
    std::vector<std::unique_ptr<TShape>> Children;
    int32_t Rect[4] = {};
    int Count() const { return int(Children.size()); }
    TShape* Child(int i) const { return Children[size_t(i)].get(); }
};

// One picture of the drawing group.
class TMSOPicture {
public:
    // The picture bytes (metafiles inflated, or deflated when Compressed): a bitmap read with the
    // drawing group is a part of the group's bytes, shared and not copied.
    QByteArrayView Bytes() const
    {
        return m_buffer ? QByteArrayView(m_buffer->constData() + m_offset, m_length) : QByteArrayView(m_own);
    }
    QByteArray Data() const { return Bytes().toByteArray(); }
    // A picture file: its type by the extension (EMF, WMF, PICT, JPG, JPEG, PNG, BMP), metafiles
    // held deflated, a bitmap without its file header.
    void LoadFromFile(const QString& fileName);
    void LoadFromData(const QByteArray& bytes, uint8_t type);
    QString Filename() const { return m_filename; }
    void SetFilename(const QString& name);   // unique in the group, ignoring case
    void SetFilenameRaw(const QString& name) { m_filename = name; }
    qint64 Size() const { return Bytes().size(); }
    void SetData(const QByteArray& bytes)
    {
        m_own = bytes;
        m_buffer.reset();
    }
    void SetData(std::shared_ptr<const QByteArray> buffer, qint64 offset, qint64 length)
    {
        m_buffer = std::move(buffer);
        m_offset = offset;
        m_length = length;
        m_own.clear();
    }
    uint8_t Type = 0;           // 2 EMF, 3 WMF, 4 PICT, 5 JPEG, 6 PNG, 7 DIB
    uint32_t RefCount = 0;
    bool Compressed = false;
    uint32_t CompressedLength = 0;
    uint32_t UncompressedLength = 0;   // of a metafile held deflated
    QByteArray Identifier;      // 16 bytes, the MD4 digest of Data
    int BsePosition = -1;       // its place among the BSE records of the file
    int Id = 0;                 // collection id
    QString Name() const { return QStringLiteral("Picture ") + QString::number(Id); }
    TEscherGroup* Owner = nullptr;
private:
    QString m_filename;
    QByteArray m_own;
    std::shared_ptr<const QByteArray> m_buffer;
    qint64 m_offset = 0, m_length = 0;
};

// The shape-id clusters of the drawing group.
class TDGG {
public:
    struct Entry {
        uint32_t DrawingId = 0;
        uint32_t ShapesUsed = 0;
        TEscherDrawing* Drawing = nullptr;
        bool Update = false;
    };
    QList<Entry> Entries;
    uint32_t MaxShapeId = 0;
    uint32_t SavedShapes = 0;
    uint32_t SavedDrawings = 0;
    Entry* Find(uint32_t drawingId);
    void Clear() { Entries.clear(); MaxShapeId = SavedShapes = SavedDrawings = 0; }
};

// The drawing group of a workbook: its pictures and shape-id clusters.
class TEscherGroup {
public:
    TEscherGroup() = default;
    virtual ~TEscherGroup() = default;
    TEscherGroup(const TEscherGroup&) = delete;
    TEscherGroup& operator=(const TEscherGroup&) = delete;

    void ReadDrawingGroup(const QByteArray& data);   // the pictures share the bytes
    // The DGG container with the clusters, the pictures (one BSE each, in collection order), the
    // default properties, the colours and the other records.
    QByteArray WriteDrawingGroup() const;
    void Clear();

    int Count() const { return int(m_pictures.size()); }
    TMSOPicture* Items(int i) const { return m_pictures[size_t(i)].get(); }
    TMSOPicture* Add();
    void Remove(int i);
    // The BSE position of every picture in collection order.
    QList<int> BsePositions() const;

    TDGG Dgg;
    TOPT DefaultOpt;
    QList<uint32_t> SplitMenuColors;
    QList<uint32_t> Colors;
    TMSORecords Other;
    uint32_t NextShapeIdBlock = 0;

private:
    std::vector<std::unique_ptr<TMSOPicture>> m_pictures;
    int m_nextId = 0;
    void readBSE(const uint8_t* p, qint64 length, int position, const std::shared_ptr<const QByteArray>& buffer);
    void hashPictures(int first);
};

class TMSOPictures : public TEscherGroup {};

// The drawing of one sheet or chart.
class TEscherDrawing {
public:
    explicit TEscherDrawing(TEscherGroup* group = nullptr);
    ~TEscherDrawing();
    TEscherDrawing(const TEscherDrawing&) = delete;
    TEscherDrawing& operator=(const TEscherDrawing&) = delete;

    // Reads the drawing that starts in `first` (an MSODRAWING body); further drawing pieces,
    // OBJ, TXO, IMDATA, CONTINUE records and embedded chart substreams are taken from `source`.
    void ReadDrawing(const QByteArray& first, TRecordSource& source);
    void AttachNote(int col, int row, const QString& author, int objectId, uint16_t options);
    void Clear();
    // Removes the top-level shape with the id; the last one gone, the drawing leaves the
    // group's clusters.
    void DeleteShape(uint32_t shapeId);
    // Enters a drawing made in code in the group's clusters (a drawing with shapes: marks its
    // cluster for update).
    void Register();
    bool IsEmpty() const { return Root.Count() == 0 && DrawingId == 0; }

    TEscherGroup* Group;
    TXFonts* Fonts = nullptr;
    TShapeGroup Root{this};
    uint32_t DrawingId = 0;
    uint8_t DG[8] = {};           // shape count, last shape id
    QList<uint32_t> RegroupItems;
    TMSORecords Solver;
    int LastObjectId = 0;
    std::function<void(TShape*)> OnShape;

    uint32_t LastShapeId() const;

    // Shapes made in code, each at the top of the drawing with its cell anchor, properties, OBJ
    // data and side data.
    TShapeClientAnchor* AddTextBox();
    TShapeClientAnchor* AddLine();
    TShapeClientAnchor* AddListBox(bool combo = false);
    TShapeClientAnchor* AddButton();
    TShapeClientAnchor* AddComment();
    TShapeClientAnchor* AddAutoShape();
    TShapeClientAnchor* AddPicture();
    TShapeClientAnchor* AddChart();
    uint32_t NextShapeId();
    int NextObjectId() { return ++LastObjectId; }
    // The id of a new text: a random number below 0xFFFF plus the millisecond tick.
    std::function<int32_t()> NewTextId;
    // The BIFF records of the drawing: MSODRAWING and CONTINUE records with the OBJ, TXO and
    // chart records of the shapes between them, then the NOTE record of every comment.
    QByteArray WriteRecords() const;
    // Every shape, nested ones included, in reading order.
    void ForEachShape(const std::function<void(TShape*)>& f) const;

private:
    class Reader;
    friend class Reader;
    void leaveGroup();
};

// Copies `source` into `target` (a shape of `drawing`): header fields, properties with a new
// text id, other records, OBJ sub-records and text side data; a group's children are copied with
// the drawing's next shape ids.
void AssignShape(TShape& target, const TShape& source, TEscherDrawing& drawing);

// Relinks the picture references of every shape of the drawing from the file's BSE numbers
// (1-based) to the collection index + 1; `bsePositions` holds each picture's BSE position.
void LinkBlipIds(TEscherDrawing& drawing, const QList<int>& bsePositions);

}
