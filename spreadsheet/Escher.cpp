#include "spreadsheet/Escher.h"
#include "spreadsheet/Controls.h"
#include "spreadsheet/MoveCopy.h"
#include "spreadsheet/Formats.h"
#include "spreadsheet/MD4Lanes.h"
#include "spreadsheet/XLSUtils.h"

#include <QCryptographicHash>
#include <QFile>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QThread>
#include <thread>
#include <vector>
#include <zlib.h>

#include <algorithm>
#include <cstring>

namespace xls {

namespace {
[[noreturn]] void fail(const QString& text) { throw EXLSError(text); }
[[noreturn]] void fail(const char* text) { throw EXLSError(QString::fromLatin1(text)); }
const uint8_t* bytes(const QByteArray& b) { return reinterpret_cast<const uint8_t*>(b.constData()); }
bool isBof(uint16_t id) { return id == 0x0009 || id == 0x0209 || id == 0x0409 || id == 0x0809; }

QString utf16(const uint8_t* p, qint64 count)
{
    QString s(count, Qt::Uninitialized);
    for (qint64 i = 0; i < count; ++i) s[i] = QChar(GetWord(p + 2 * i));
    return s;
}

// Inflates exactly `size` bytes; anything else (a short stream, bytes left over, a damaged
// stream) fails.
QByteArray inflateExact(const uint8_t* data, qint64 length, qint64 size)
{
    if (size < 0 || size > 0x7FFFFFF0) fail("Can not decompress picture");
    QByteArray out(size, 0);
    z_stream z{};
    if (inflateInit(&z) != Z_OK) fail("Can not decompress picture");
    z.next_in = const_cast<Bytef*>(data);
    z.avail_in = uInt(length);
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = uInt(size);
    int rc = inflate(&z, Z_FINISH);
    const qint64 produced = qint64(z.total_out);
    inflateEnd(&z);
    if (rc != Z_STREAM_END || produced != size) fail("Can not decompress picture");
    return out;
}
}   // namespace

// ---- EscherHeader

EscherHeader EscherHeader::Parse(const uint8_t* p)
{
    EscherHeader h;
    const uint16_t w = GetWord(p);
    h.Version = w & 0x0F;
    h.Instance = w >> 4;
    h.Type = GetWord(p + 2);
    h.Length = GetDWord(p + 4);
    return h;
}

void EscherHeader::Write(uint8_t* p) const
{
    PutWord(p, uint16_t((Version & 0x0F) | (Instance << 4)));
    PutWord(p + 2, Type);
    PutDWord(p + 4, Length);
}

QByteArray EscherHeader::Bytes() const
{
    QByteArray b(8, 0);
    Write(reinterpret_cast<uint8_t*>(b.data()));
    return b;
}

// ---- TMSORecords

void TMSORecords::Append(const EscherHeader& h, const QByteArray& data) { m_items.append({h, h.IsContainer() ? QByteArray() : data}); }

qint64 TMSORecords::TotalSize() const
{
    qint64 n = 0;
    for (const Item& i : m_items) n += 8 + (i.header.IsContainer() ? 0 : i.data.size());
    return n;
}

QByteArray TMSORecords::WriteAll() const
{
    QByteArray out;
    for (const Item& i : m_items) {
        out += i.header.Bytes();
        if (!i.header.IsContainer()) out += i.data;
    }
    return out;
}

// ---- TOPT

void TOPT::Read(const uint8_t* data, qint64 length, int count)
{
    m_entries.clear();
    CheckRange(length, 0, qint64(count) * 6);
    qint64 off = qint64(count) * 6;
    for (int i = 0; i < count; ++i) {
        Entry e;
        e.Word = GetWord(data + 6 * i);
        e.Value = int32_t(GetDWord(data + 6 * i + 2));
        m_entries.append(e);
    }
    for (Entry& e : m_entries) {
        if (!e.IsComplex() || e.Value <= 0) continue;
        if (e.Value > length - off) fail("Property data of OPT is larger than the record");
        e.Data = QByteArray(reinterpret_cast<const char*>(data + off), e.Value);
        off += e.Value;
    }
}

void TOPT::AddSimple(int id, int32_t value, bool pictureRef)
{
    Entry e;
    e.Word = uint16_t((id & 0x3FFF) | (pictureRef ? 0x4000 : 0));
    e.Value = value;
    m_entries.append(e);
}

void TOPT::AddString(int id, const QString& text)
{
    Entry e;
    e.Word = uint16_t((id & 0x3FFF) | 0xC000);
    for (QChar c : text) e.Data += char(c.unicode() & 0xFF), e.Data += char(c.unicode() >> 8);
    e.Data += QByteArray(2, 0);
    e.Value = int32_t(e.Data.size());
    m_entries.append(e);
}

void TOPT::AddComplex(int id, int size)
{
    Entry e;
    e.Word = uint16_t((id & 0x3FFF) | 0x8000);
    e.Value = size;
    e.Data = QByteArray(qMax(size, 0), 0);
    m_entries.append(e);
}

const TOPT::Entry* TOPT::Find(int id) const
{
    for (const Entry& e : m_entries)
        if (e.Id() == id) return &e;
    return nullptr;
}

int32_t TOPT::Value(int id) const
{
    const Entry* e = Find(id);
    return e ? e->Value : -1;
}

QString TOPT::String(int id) const
{
    const Entry* e = Find(id);
    if (!e || e->Data.size() < 2) return {};
    return utf16(bytes(e->Data), e->Data.size() / 2 - 1);
}

void TOPT::SetValue(int id, int32_t value)
{
    for (Entry& e : m_entries)
        if (e.Id() == id) {
            e.Value = value;
            return;
        }
}

void TOPT::SetString(int id, const QString& text)
{
    for (int i = 0; i < m_entries.size(); ++i)
        if (m_entries[i].Id() == id) {
            m_entries.removeAt(i);
            break;
        }
    AddString(id, text);
}

int32_t TOPT::TextId() const
{
    const Entry* e = Find(128);
    return e ? e->Value : 0;
}

int32_t TOPT::PictureRef() const
{
    for (const Entry& e : m_entries)
        if (e.IsPictureRef() && !e.IsComplex()) return e.Value;
    return -1;
}

void TOPT::SetPictureRef(int32_t value)
{
    for (Entry& e : m_entries) {
        if (!e.IsPictureRef()) continue;
        if (e.IsComplex()) fail("OPT value is complex");
        e.Value = value;
        return;
    }
    fail("Shape has no Blip Id");
}

qint64 TOPT::Size() const
{
    qint64 n = 0;
    for (const Entry& e : m_entries) n += 6 + (e.IsComplex() ? e.Data.size() : 0);
    return n;
}

QByteArray TOPT::Write() const
{
    EscherHeader h;
    h.Version = 3;
    h.Instance = uint16_t(m_entries.size());
    h.Type = 0xF00B;
    h.Length = uint32_t(Size());
    QByteArray out = h.Bytes();
    for (const Entry& e : m_entries) {
        uint8_t b[6];
        PutWord(b, e.Word);
        PutDWord(b + 2, uint32_t(e.Value));
        out.append(reinterpret_cast<const char*>(b), 6);
    }
    for (const Entry& e : m_entries)
        if (e.IsComplex()) out += e.Data;
    return out;
}

bool TOPT::operator==(const TOPT& o) const
{
    if (m_entries.size() != o.m_entries.size()) return false;
    for (int i = 0; i < m_entries.size(); ++i) {
        const Entry &a = m_entries[i], &b = o.m_entries[i];
        if (a.Word != b.Word || a.Value != b.Value || a.Data != b.Data) return false;
    }
    return true;
}

// ---- TMD4Hash

struct TMD4Hash::Impl {
    QCryptographicHash hash{QCryptographicHash::Md4};
};

TMD4Hash::TMD4Hash() = default;
TMD4Hash::~TMD4Hash() = default;

void TMD4Hash::Init() { m_impl = std::make_unique<Impl>(); }

void TMD4Hash::Update(const uint8_t* data, qint64 length)
{
    if (!m_impl) fail("Hash not initialized");
    m_impl->hash.addData(QByteArrayView(reinterpret_cast<const char*>(data), length));
}

QByteArray TMD4Hash::Final()
{
    if (!m_impl) fail("Hash not initialized");
    QByteArray d = m_impl->hash.result();
    m_impl.reset();
    return d;
}

QByteArray TMD4Hash::Digest(const QByteArray& data)
{
    TMD4Hash h;
    h.Init();
    h.Update(data);
    return h.Final();
}

// ---- TDGG

TDGG::Entry* TDGG::Find(uint32_t drawingId)
{
    for (Entry& e : Entries)
        if (e.DrawingId == drawingId) return &e;
    return nullptr;
}

// ---- TEscherGroup

void TEscherGroup::Clear()
{
    m_pictures.clear();
    Dgg.Clear();
    DefaultOpt.Clear();
    SplitMenuColors.clear();
    Colors.clear();
    Other.Clear();
    NextShapeIdBlock = 0;
}

TMSOPicture* TEscherGroup::Add()
{
    m_pictures.push_back(std::make_unique<TMSOPicture>());
    m_pictures.back()->Id = m_nextId++;
    m_pictures.back()->Owner = this;
    return m_pictures.back().get();
}

void TEscherGroup::Remove(int i) { m_pictures.erase(m_pictures.begin() + i); }

QList<int> TEscherGroup::BsePositions() const
{
    QList<int> l;
    for (const auto& p : m_pictures) l.append(p->BsePosition);
    return l;
}

void TEscherGroup::ReadDrawingGroup(const QByteArray& data)
{
    const auto buffer = std::make_shared<const QByteArray>(data);
    const uint8_t* p = bytes(*buffer);
    const qint64 size = data.size();
    if (size < 8) fail("Expected record missing: DGGContainer");
    EscherHeader top = EscherHeader::Parse(p);
    if (top.Type != 0xF000) fail("Expected record missing: DGGContainer");
    // The container's length may not reach past the bytes the records hold.
    qint64 left = top.Length;
    if (left > size - 8) fail("Error while reading MSODRAWINGGROUP. Length < 0");
    qint64 off = 8;
    while (left > 0) {
        if (left < 8) fail("MSOHeader split in MSODRAWINGGROUP");
        EscherHeader h = EscherHeader::Parse(p + off);
        off += 8;
        left -= 8;
        if (qint64(h.Length) > left) fail("Error while reading MSODRAWINGGROUP. Length < 0");
        if (h.IsContainer() && h.Type != 0xF001) {
            // Unknown containers are kept as their header; their children follow as records.
            Other.Append(h);
            continue;
        }
        const uint8_t* d = p + off;
        const qint64 len = h.Length;
        switch (h.Type) {
        case 0xF001: {
            qint64 o = 0;
            int position = 0;
            const int first = Count();
            try {
                while (o < len) {
                    CheckRange(len, o, 8);
                    EscherHeader bh = EscherHeader::Parse(d + o);
                    if (bh.Type != 0xF007) fail("Expected record missing: BSE");
                    if (qint64(bh.Length) > len - o - 8) fail("BSE is larger than the BStore container");
                    readBSE(d + o + 8, bh.Length, position++, buffer);
                    o += 8 + bh.Length;
                }
            } catch (...) {
                hashPictures(first);
                throw;
            }
            hashPictures(first);
            break;
        }
        case 0xF006: {
            CheckRange(len, 0, 16);
            Dgg.Clear();
            Dgg.MaxShapeId = GetDWord(d);
            const uint32_t clusters = GetDWord(d + 4);
            Dgg.SavedShapes = GetDWord(d + 8);
            Dgg.SavedDrawings = GetDWord(d + 12);
            if (clusters > 0) CheckRange(len, 16, qint64(clusters - 1) * 8);
            for (uint32_t i = 1; i < clusters; ++i) {
                TDGG::Entry e;
                e.DrawingId = GetDWord(d + 16 + 8 * (i - 1));
                e.ShapesUsed = GetDWord(d + 20 + 8 * (i - 1));
                Dgg.Entries.append(e);
            }
            NextShapeIdBlock = Dgg.MaxShapeId & ~0x3FFu;
            break;
        }
        case 0xF00B:
            DefaultOpt.Read(d, len, h.Instance);
            break;
        case 0xF016:
            fail("CLSID in MSODRAWINGGROUP");
        case 0xF11A:
        case 0xF11E: {
            CheckRange(len, 0, qint64(h.Instance) * 4);
            QList<uint32_t>& l = h.Type == 0xF11A ? Colors : SplitMenuColors;
            l.clear();
            for (int i = 0; i < h.Instance; ++i) l.append(GetDWord(d + 4 * i));
            break;
        }
        default:
            if (len > 8224) fail("Unknown FBT in MSODRAWINGGROUP to large");
            Other.Append(h, QByteArray(reinterpret_cast<const char*>(d), int(len)));
            break;
        }
        off += len;
        left -= len;
    }
}

// The identifiers of the pictures from `first` on: the MD4 digests of their bytes. The digests
// cost most of the time a workbook full of pictures takes to read: eight pictures are hashed at
// once, and a large store is split by bytes among a few threads.
void TEscherGroup::hashPictures(int first)
{
    const int count = Count() - first;
    if (count <= 0) return;
    QList<QByteArrayView> bytes;
    qint64 total = 0;
    for (int i = first; i < Count(); ++i) {
        bytes << Items(i)->Bytes();
        total += bytes.last().size();
    }
    const int threads = total < (qint64(8) << 20) ? 1 : qMax(1, std::min({QThread::idealThreadCount(), count / 8, 8}));
    QList<int> bounds{0};
    qint64 sum = 0;
    for (int i = 0; i < count && bounds.size() < threads; ++i) {
        sum += bytes[i].size();
        if (sum * threads >= total * bounds.size()) bounds << i + 1;
    }
    bounds << count;
    auto work = [&](int t) {
        const int from = bounds[t], to = qMax(from, bounds[t + 1]);
        const QList<QByteArray> digests = MD4Digests(bytes.mid(from, to - from));
        for (int i = from; i < to; ++i) Items(first + i)->Identifier = digests[i - from];
    };
    std::vector<std::thread> helpers;
    for (int t = 1; t + 1 < bounds.size(); ++t) helpers.emplace_back(work, t);
    work(0);
    for (std::thread& h : helpers) h.join();
}

// One BSE with its BLIP, into a new picture whose BSE position is `position`.
void TEscherGroup::readBSE(const uint8_t* d, qint64 len, int position, const std::shared_ptr<const QByteArray>& buffer)
{
    TMSOPicture* pic = Add();
    pic->BsePosition = position;
    try {
        CheckRange(len, 0, 36);
        qint64 o = 36;
        const int nameCount = d[33];
        if (nameCount) {
            CheckRange(len, o, 1);
            const bool wide = d[o] & 1;
            const qint64 n = qint64(nameCount) * (wide ? 2 : 1);
            CheckRange(len, o + 1, n);
            pic->SetFilenameRaw(wide ? utf16(d + o + 1, nameCount) : QString::fromLatin1(reinterpret_cast<const char*>(d + o + 1), int(n)));
            o += 1 + n;
        }
        pic->Type = d[0];
        pic->RefCount = GetDWord(d + 24);
        if (pic->Type == 0 && len == 36) {
            Remove(Count() - 1);
            return;
        }
        CheckRange(len, o, 8);
        EscherHeader bh = EscherHeader::Parse(d + o);
        o += 8;
        if (bh.Type < 0xF018 || bh.Type > 0xF117) fail("Expected record missing: BLIP");
        if (GetDWord(d + 20) != bh.Length + 8) fail("Blip size in BSE don't match actually blip");
        if (qint64(bh.Length) > len - o) fail("Blip size in BSE don't match actually blip");
        const uint8_t* b = d + o;
        const qint64 blen = bh.Length;
        // An odd instance carries a second identifier after the first.
        qint64 bo = (bh.Instance & 1) ? 32 : 16;
        CheckRange(blen, 0, bo);
        if (pic->Type >= 2 && pic->Type <= 4) {
            CheckRange(blen, bo, 34);
            const uint32_t fullSize = GetDWord(b + bo);
            const uint32_t stored = GetDWord(b + bo + 28);
            const uint8_t compression = b[bo + 32];
            bo += 34;
            if (stored > blen - bo) fail("Blip size in BSE don't match actually blip");
            if (compression == 0) pic->SetData(inflateExact(b + bo, stored, fullSize));
            else pic->SetData(buffer, reinterpret_cast<const char*>(b + bo) - buffer->constData(), stored);
        } else {
            CheckRange(blen, bo, 1);
            bo += 1;
            pic->SetData(buffer, reinterpret_cast<const char*>(b + bo) - buffer->constData(), blen - bo);
        }
    } catch (...) {
        Remove(Count() - 1);
        throw;
    }
}

// ---- shapes

int TShape::ObjectType() const
{
    if (ObjRecords.Count() == 0) return Side ? Side->ObjectType : -1;
    const TStoredRecord* r = ObjRecords.Item(0);
    return r->Id == 0x15 && r->Length() >= 2 ? GetWord(r->Bytes()) : -1;
}

int TShape::ObjectId() const
{
    for (int i = 0; i < ObjRecords.Count(); ++i) {
        const TStoredRecord* r = ObjRecords.Item(i);
        if (r->Id == 0x15 && r->Length() >= 4) return GetWord(r->Bytes() + 2);
    }
    return Side ? Side->ObjectId : -1;
}

// ---- TEscherDrawing

TEscherDrawing::TEscherDrawing(TEscherGroup* group) : Group(group) {}

TEscherDrawing::~TEscherDrawing()
{
    if (Group && DrawingId)
        for (int i = 0; i < Group->Dgg.Entries.size(); ++i)
            if (Group->Dgg.Entries[i].Drawing == this) Group->Dgg.Entries[i].Drawing = nullptr;
}

void TEscherDrawing::leaveGroup()
{
    if (!Group || !DrawingId) return;
    for (int i = 0; i < Group->Dgg.Entries.size(); ++i)
        if (Group->Dgg.Entries[i].DrawingId == DrawingId) {
            Group->Dgg.Entries.removeAt(i);
            if (Group->Dgg.SavedDrawings > 0) --Group->Dgg.SavedDrawings;
            return;
        }
    fail(QStringLiteral("Can not delete FIDCL for DgId #") + QString::number(DrawingId));
}

void TEscherDrawing::DeleteShape(uint32_t shapeId)
{
    auto& c = Root.Children;
    for (auto it = c.begin(); it != c.end(); ++it)
        if ((*it)->ShapeId == shapeId) {
            c.erase(it);
            if (c.empty()) {
                leaveGroup();
                DrawingId = 0;
            }
            return;
        }
}

void TEscherDrawing::Register()
{
    if (!Group) return;
    TDGG& dgg = Group->Dgg;
    if (Root.Count() > 0 || DrawingId != 0) {
        TDGG::Entry* e = dgg.Find(DrawingId);
        if (!e) fail(QStringLiteral("Can not update FIDCL for DgId #") + QString::number(DrawingId));
        e->Update = true;
        return;
    }
    if (dgg.Entries.isEmpty()) {
        Group->DefaultOpt.Clear();
        Group->DefaultOpt.AddSimple(191, 0x80008);
        Group->DefaultOpt.AddSimple(385, 0x8000041);
        Group->DefaultOpt.AddSimple(448, 0x8000040);
        Group->SplitMenuColors = {0x0800000D, 0x0800000C, 0x08000017, 0x100000F7};
        dgg.SavedShapes = 1;
    }
    // a new block of 1024 shape ids
    Group->NextShapeIdBlock += 1024;
    TDGG::Entry e;
    e.DrawingId = uint32_t(dgg.Entries.size() + 1);
    e.ShapesUsed = 1;
    e.Drawing = this;
    dgg.Entries.append(e);
    ++dgg.SavedDrawings;
    dgg.MaxShapeId = qMax(dgg.MaxShapeId, Group->NextShapeIdBlock + 1);
    DrawingId = e.DrawingId;
    Root.Flags = 0x05;
    Root.ShapeId = Group->NextShapeIdBlock;
    PutDWord(DG, 1);
    PutDWord(DG + 4, Root.ShapeId);
}

void TEscherDrawing::Clear()
{
    // A drawing that is being thrown away leaves the clusters without asking.
    try {
        leaveGroup();
    } catch (const EXLSError&) {
    }
    Root.Children.clear();
    Root.Opt.Clear();
    Root.Other.reset();
    Root.ShapeId = Root.Flags = Root.ShapeType = 0;
    std::fill(std::begin(Root.Rect), std::end(Root.Rect), 0);
    DrawingId = 0;
    std::memset(DG, 0, sizeof DG);
    RegroupItems.clear();
    Solver.Clear();
    LastObjectId = 0;
}

uint32_t TEscherDrawing::LastShapeId() const { return GetDWord(DG + 4); }

uint32_t TEscherDrawing::NextShapeId()
{
    const uint32_t id = LastShapeId() + 1;
    PutDWord(DG + 4, id);
    PutDWord(DG, GetDWord(DG) + 1);
    return id;
}

namespace {
int32_t randomTextId()
{
    static QElapsedTimer tick = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    return int32_t(QRandomGenerator::global()->bounded(0xFFFF) + tick.elapsed());
}

struct FactoryShape {
    int shapeType;
    int objectType;   // -1: the side data holds the OBJ data
    int col1, row1, col2, row2;
    std::initializer_list<std::pair<int, int32_t>> properties;
};
}   // namespace

// A shape as every factory makes it: registered drawing, next shape id, flags 0x0A00, the anchor,
// the properties (128 a new text id) and the common-object data with an end.
static TShapeClientAnchor* makeShape(TEscherDrawing& d, const FactoryShape& f, int options = 0x6011)
{
    d.Register();
    auto s = std::make_unique<TShapeClientAnchor>();
    s->ShapeId = d.NextShapeId();
    s->ShapeType = uint32_t(f.shapeType);
    s->Flags = 0x0A00;
    s->Anchor[1] = uint16_t(f.col1);
    s->Anchor[3] = uint16_t(f.row1);
    s->Anchor[5] = uint16_t(f.col2);
    s->Anchor[7] = uint16_t(f.row2);
    for (const auto& [id, value] : f.properties)
        s->Opt.AddSimple(id, id == 128 ? (d.NewTextId ? d.NewTextId() : randomTextId()) : value);
    if (f.objectType >= 0) {
        QByteArray c(18, 0);
        PutWord(reinterpret_cast<uint8_t*>(c.data()), uint16_t(f.objectType));
        PutWord(reinterpret_cast<uint8_t*>(c.data()) + 2, uint16_t(d.NextObjectId()));
        PutWord(reinterpret_cast<uint8_t*>(c.data()) + 4, uint16_t(options));
        s->ObjRecords.AddRec(RecordHeader(0x15, 18), reinterpret_cast<const uint8_t*>(c.constData()));
    }
    TShapeClientAnchor* p = s.get();
    d.Root.Children.push_back(std::move(s));
    return p;
}

static void endObj(TShape* s) { s->ObjRecords.AddRec(RecordHeader(0, 0), nullptr); }

static void newText(TShapeOutsideMsoBaseText& t)
{
    PutWord(reinterpret_cast<uint8_t*>(t.Txo.data()), 0x0212);
    t.Runs = QByteArray(16, 0);
}

TShapeClientAnchor* TEscherDrawing::AddTextBox()
{
    TShapeClientAnchor* s = makeShape(*this, {202, 6, 1, 1, 3, 5, {{128, 0}, {139, 2}, {191, 0x80008}, {385, 0x8000041}, {448, 0x8000040}}});
    endObj(s);
    auto t = std::make_unique<TShapeOutsideMsoBaseText>();
    newText(*t);
    t->ObjectId = uint16_t(LastObjectId);
    t->ObjectType = 6;
    s->Side = std::move(t);
    return s;
}

TShapeClientAnchor* TEscherDrawing::AddLine()
{
    TShapeClientAnchor* s = makeShape(*this, {20, 1, 1, 1, 3, 5,
                                              {{191, 0x80008}, {324, 4}, {383, 0x10000}, {447, 0x100000}, {448, 0x8000040},
                                               {385, 0x8000041}, {465, 1}, {511, 0x100010}}});
    endObj(s);
    return s;
}

TShapeClientAnchor* TEscherDrawing::AddListBox(bool combo)
{
    TShapeClientAnchor* s = makeShape(*this, {201, -1, 3, 1, 5, combo ? 2 : 5, {{127, 0x1040104}, {191, 0x80008}, {448, 0x8000040}, {511, 0x100010}}});
    std::unique_ptr<TShapeControlListBox> c;
    if (combo) c = std::make_unique<TShapeControlComboBox>();
    else c = std::make_unique<TShapeControlListBox>();
    c->ObjectId = uint16_t(NextObjectId());
    c->ObjectType = combo ? 20 : 18;
    s->Side = std::move(c);
    return s;
}

TShapeClientAnchor* TEscherDrawing::AddButton()
{
    TShapeClientAnchor* s = makeShape(*this, {201, -1, 3, 1, 4, 2,
                                              {{127, 0x1040104}, {128, 0}, {133, 1}, {139, 2}, {191, 0x1A0008}, {385, 0x8000043},
                                               {387, 0x8000043}, {447, 0x110011}, {448, 0x8000040}, {959, 0x80008}}});
    auto b = std::make_unique<TShapeControlButton>();
    newText(*b);
    b->Text = QStringLiteral("Button");
    b->ObjectId = uint16_t(NextObjectId());
    b->ObjectType = 7;
    s->Side = std::move(b);
    return s;
}

TShapeClientAnchor* TEscherDrawing::AddComment()
{
    TShapeClientAnchor* s = makeShape(*this, {202, 25, 1, 1, 3, 5,
                                              {{128, 0}, {139, 2}, {191, 0x80008}, {344, 0}, {385, 0x8000050}, {387, 0x8000050},
                                               {447, 0x100010}, {513, 0}, {575, 0x30003}, {959, 0x20002}}},
                                      0x4011);
    s->ObjRecords.AddRec(RecordHeader(0x0D, 22), reinterpret_cast<const uint8_t*>(QByteArray(22, 0).constData()));
    endObj(s);
    auto n = std::make_unique<TShapeOutsideMsoNote>();
    newText(*n);
    n->ObjectId = uint16_t(LastObjectId);
    n->ObjectType = 25;
    // the text's font: the workbook font of 8 points
    if (Fonts) {
        TXFont small;
        small.Size20 = 160;
        const int index = Fonts->Find(small) >= 0 ? Fonts->Find(small) : Fonts->Count();
        if (index == Fonts->Count()) Fonts->FindOrAdd(small);
        PutWord(reinterpret_cast<uint8_t*>(n->Runs.data()) + 2, uint16_t(index));
    }
    s->Side = std::move(n);
    return s;
}

TShapeClientAnchor* TEscherDrawing::AddAutoShape()
{
    TShapeClientAnchor* s = makeShape(*this, {183, 30, 1, 1, 2, 5, {{191, 0x80008}, {385, 0x8000041}, {448, 0x8000040}}});
    endObj(s);
    return s;
}

TShapeClientAnchor* TEscherDrawing::AddPicture()
{
    TShapeClientAnchor* s = makeShape(*this, {75, 8, 1, 1, 3, 7, {}});
    s->Opt.AddSimple(260, 0, true);
    s->Opt.AddString(261, QStringLiteral("[???]"));
    const QByteArray minus1 = QByteArray::fromHex("ffff"), zero = QByteArray::fromHex("0000");
    s->ObjRecords.AddRec(RecordHeader(0x07, 2), reinterpret_cast<const uint8_t*>(minus1.constData()));
    s->ObjRecords.AddRec(RecordHeader(0x08, 2), reinterpret_cast<const uint8_t*>(zero.constData()));
    endObj(s);
    return s;
}

TShapeClientAnchor* TEscherDrawing::AddChart()
{
    TShapeClientAnchor* s = makeShape(*this, {201, 5, 2, 1, 8, 16,
                                              {{127, 0x1040104}, {191, 0x80008}, {385, 0x800004E}, {387, 0x800004D}, {447, 0x100010},
                                               {448, 0x800004D}, {511, 0x100010}, {575, 0x20000}}});
    endObj(s);
    auto c = std::make_unique<TShapeOutsideMsoChart>();
    c->ObjectId = uint16_t(LastObjectId);
    c->ObjectType = 5;
    c->Fonts = Fonts;
    c->Group = Group;
    s->Side = std::move(c);
    return s;
}

static void forEach(const TShapeGroup& g, const std::function<void(TShape*)>& f)
{
    for (const auto& c : g.Children) {
        f(c.get());
        if (auto* sub = dynamic_cast<TShapeGroup*>(c.get())) forEach(*sub, f);
    }
}

void TEscherDrawing::ForEachShape(const std::function<void(TShape*)>& f) const { forEach(Root, f); }

// Reads drawing bytes across MSODRAWING and CONTINUE records, and the BIFF records that lie
// between the pieces.
class TEscherDrawing::Reader {
public:
    Reader(TEscherDrawing& d, const QByteArray& first, TRecordSource& src) : m_d(d), m_piece(first), m_src(src) {}

    void read(uint8_t* out, qint64 n)
    {
        while (n > 0) {
            if (m_pos >= m_piece.size()) nextPiece();
            const qint64 k = qMin<qint64>(n, m_piece.size() - m_pos);
            std::memcpy(out, m_piece.constData() + m_pos, size_t(k));
            out += k;
            m_pos += k;
            n -= k;
        }
    }
    QByteArray read(qint64 n)
    {
        // Grows with the bytes really there, so a wrong length fails before it allocates.
        QByteArray out;
        while (n > 0) {
            if (m_pos >= m_piece.size()) nextPiece();
            const qint64 k = qMin<qint64>(n, m_piece.size() - m_pos);
            out.append(m_piece.constData() + m_pos, k);
            m_pos += k;
            n -= k;
        }
        return out;
    }
    EscherHeader header()
    {
        uint8_t h[8];
        read(h, 8);
        return EscherHeader::Parse(h);
    }
    QByteArray record(uint16_t& id)
    {
        QByteArray r = m_src.ReadRecord(id);
        m_lastId = id;
        return r;
    }
    uint16_t peek() { return m_src.PeekRecordId(); }

    void readDrawing();
    void readShapes(TShapeGroup& group, qint64 left);
    std::unique_ptr<TShape> readShape(qint64 left);
    void readObj(TShape& shape);
    void readTxo(TShapeOutsideMsoBaseText& text);
    void readChart(TShapeOutsideMsoChart& chart);
    int shapeNo = 0;

private:
    TEscherDrawing& m_d;
    QByteArray m_piece;
    qint64 m_pos = 0;
    TRecordSource& m_src;
    uint16_t m_lastId = 0x00EC;

    void nextPiece()
    {
        for (;;) {
            const uint16_t id = peek();
            if (id == 0x007F) {
                uint16_t x;
                m_src.ReadRecord(x);
                while (peek() == 0x003C) m_src.ReadRecord(x);
                continue;
            }
            if (id != 0x00EC && id != 0x003C) fail("Expected record missing: MSODRAWING");
            m_piece = record(m_lastId);
            m_pos = 0;
            if (!m_piece.isEmpty()) return;
        }
    }
};

void TEscherDrawing::ReadDrawing(const QByteArray& first, TRecordSource& source)
{
    Reader r(*this, first, source);
    try {
        r.readDrawing();
    } catch (const EXLSError& e) {
        fail(QString::asprintf("Error on reading shape #%d\r", r.shapeNo) + e.message());
    }
}

void TEscherDrawing::Reader::readDrawing()
{
    EscherHeader h = header();
    if (h.Type != 0xF002) fail("Expected record missing: DGCONTAINER");
    qint64 left = h.Length;
    m_d.LastObjectId = 0;
    auto take = [&](const EscherHeader& hh) {
        left -= 8;
        if (!hh.IsContainer()) left -= hh.Length;
        if (left < 0) fail("Error while reading Shape. Length <> 0");
    };
    h = header();
    if (h.Type != 0xF008) fail("Expected record missing: DG");
    take(h);
    if (h.Length < 8) fail("Expected record missing: DG");
    QByteArray dg = read(h.Length);
    m_d.DrawingId = h.Instance;
    std::memcpy(m_d.DG, dg.constData(), 8);
    if (TEscherGroup* g = m_d.Group) {
        if (TDGG::Entry* e = g->Dgg.Find(m_d.DrawingId)) {
            e->Drawing = &m_d;
            e->Update = false;
        } else {
            TDGG::Entry ne;
            ne.DrawingId = m_d.DrawingId;
            ne.ShapesUsed = GetDWord(m_d.DG);
            ne.Drawing = &m_d;
            g->Dgg.Entries.append(ne);
            g->Dgg.SavedDrawings = uint32_t(g->Dgg.Entries.size());
        }
    }
    h = header();
    if (h.Type == 0xF118) {
        take(h);
        CheckRange(h.Length, 0, qint64(h.Instance) * 4);
        QByteArray d = read(h.Length);
        m_d.RegroupItems.clear();
        for (int i = 0; i < h.Instance; ++i) m_d.RegroupItems.append(GetDWord(bytes(d) + 4 * i));
        h = header();
    }
    if (h.Type != 0xF003) fail("Expected record missing: SPGRCONTAINER");
    take(h);
    qint64 groupLeft = h.Length;
    if (groupLeft > left) fail("Error while reading Shape. Group Length <> 0");
    left -= groupLeft;
    h = header();
    if (h.Type != 0xF004) fail("Expected record missing: SPCONTAINER");
    groupLeft -= 8 + qint64(h.Length);
    if (groupLeft < 0) fail("Error while reading Shape. Group Length <> 0");
    ++shapeNo;
    qint64 rootLeft = h.Length;
    h = header();
    rootLeft -= 8 + qint64(h.Length);
    if (h.Type != 0xF009 || h.Length < 16 || rootLeft < 0) fail("Expected record missing: SPGR");
    QByteArray rect = read(h.Length);
    for (int i = 0; i < 4; ++i) m_d.Root.Rect[i] = int32_t(GetDWord(bytes(rect) + 4 * i));
    h = header();
    rootLeft -= 8 + qint64(h.Length);
    if (h.Type != 0xF00A || h.Length < 8 || rootLeft < 0) fail("Expected record missing: SP");
    QByteArray sp = read(h.Length);
    m_d.Root.ShapeId = GetDWord(bytes(sp));
    m_d.Root.Flags = GetDWord(bytes(sp) + 4);
    m_d.Root.ShapeType = h.Instance;
    if (!(m_d.Root.Flags & 0x04)) fail("SP is not root");
    while (rootLeft > 0) {
        h = header();
        rootLeft -= 8;
        if (!m_d.Root.Other) m_d.Root.Other = std::make_unique<TMSORecords>();
        if (h.IsContainer()) {
            m_d.Root.Other->Append(h);
            continue;
        }
        rootLeft -= h.Length;
        if (rootLeft < 0) fail("Error while reading Shape. Length <> 0");
        m_d.Root.Other->Append(h, read(h.Length));
    }
    readShapes(m_d.Root, groupLeft);
    // What follows the shapes in the drawing container: the solver container.
    while (left > 0) {
        h = header();
        take(h);
        m_d.Solver.Append(h, h.IsContainer() ? QByteArray() : read(h.Length));
    }
}

void TEscherDrawing::Reader::readShapes(TShapeGroup& group, qint64 left)
{
    while (left > 0) {
        EscherHeader h = header();
        left -= 8;
        if (h.Type == 0xF003) {
            if (qint64(h.Length) > left) fail("Error while reading Shape. Group Length <> 0");
            left -= h.Length;
            qint64 groupLeft = h.Length;
            EscherHeader sh = header();
            groupLeft -= 8;
            if (sh.Type != 0xF004) fail("Expected record missing: SPCONTAINER");
            if (qint64(sh.Length) > groupLeft) fail("Error while reading Shape. Group Length <> 0");
            groupLeft -= sh.Length;
            std::unique_ptr<TShape> shape = readShape(sh.Length);
            auto* sub = dynamic_cast<TShapeGroup*>(shape.get());
            if (!sub) fail("Expected record missing: SPGR");
            sub->Drawing = &m_d;
            group.Children.push_back(std::move(shape));
            if (m_d.OnShape) m_d.OnShape(sub);
            readShapes(*sub, groupLeft);
        } else if (h.Type == 0xF004) {
            if (qint64(h.Length) > left) fail("Error while reading Shape. Group Length <> 0");
            left -= h.Length;
            std::unique_ptr<TShape> shape = readShape(h.Length);
            TShape* s = shape.get();
            group.Children.push_back(std::move(shape));
            if (m_d.OnShape) m_d.OnShape(s);
        } else {
            fail("Expected record missing: SPCONTAINER");
        }
    }
    if (left != 0) fail("Error while reading Shape. Group Length <> 0");
}

std::unique_ptr<TShape> TEscherDrawing::Reader::readShape(qint64 left)
{
    ++shapeNo;
    std::unique_ptr<TShape> shape;
    int32_t rect[4] = {};
    QList<QPair<EscherHeader, QByteArray>> early;   // records before the SP
    while (left > 0) {
        EscherHeader h = header();
        left -= 8;
        if (h.IsContainer()) {
            if (shape) {
                if (!shape->Other) shape->Other = std::make_unique<TMSORecords>();
                shape->Other->Append(h);
            } else {
                early.append({h, {}});
            }
            continue;
        }
        if (qint64(h.Length) > left) fail("Error while reading Shape. Length <> 0");
        left -= h.Length;
        if (h.Type == 0xF00A) {
            if (h.Length < 8) fail("Expected record missing: SP");
            QByteArray sp = read(h.Length);
            const uint32_t flags = GetDWord(bytes(sp) + 4);
            if (flags & 0x01) {
                auto g = std::make_unique<TShapeGroup>(&m_d);
                std::memcpy(g->Rect, rect, sizeof rect);
                shape = std::move(g);
            } else if (flags & 0x02) {
                shape = std::make_unique<TShapeChildAnchor>();
            } else {
                shape = std::make_unique<TShapeClientAnchor>();
            }
            shape->ShapeId = GetDWord(bytes(sp));
            shape->Flags = flags;
            shape->ShapeType = h.Instance;
            shape->HasAnchor = false;
            shape->HasClientData = false;
            for (const auto& e : early) {
                if (!shape->Other) shape->Other = std::make_unique<TMSORecords>();
                shape->Other->Append(e.first, e.second);
            }
            early.clear();
            continue;
        }
        QByteArray data = read(h.Length);
        if (h.Type == 0xF009) {
            CheckRange(data.size(), 0, 16);
            for (int i = 0; i < 4; ++i) rect[i] = int32_t(GetDWord(bytes(data) + 4 * i));
            if (auto* g = dynamic_cast<TShapeGroup*>(shape.get())) std::memcpy(g->Rect, rect, sizeof rect);
            continue;
        }
        if (!shape) {
            early.append({h, data});
            continue;
        }
        switch (h.Type) {
        case 0xF00B:
            shape->Opt.Read(bytes(data), data.size(), h.Instance);
            break;
        case 0xF00F: {
            auto* c = dynamic_cast<TShapeChildAnchor*>(shape.get());
            if (!c && dynamic_cast<TShapeGroup*>(shape.get())) {
                // A nested group sits in its parent by a child anchor: kept with its records.
                if (!shape->Other) shape->Other = std::make_unique<TMSORecords>();
                shape->Other->Append(h, data);
                break;
            }
            if (!c) fail("CHILDANCHOR when shape not is ChildAnchor");
            CheckRange(data.size(), 0, 16);
            for (int i = 0; i < 4; ++i) c->Anchor[i] = int32_t(GetDWord(bytes(data) + 4 * i));
            c->HasAnchor = true;
            break;
        }
        case 0xF010: {
            auto* c = dynamic_cast<TShapeClientAnchor*>(shape.get());
            if (!c) fail("CLIENTANCHOR when shape not is ClientAnchor");
            CheckRange(data.size(), 0, 18);
            for (int i = 0; i < 9; ++i) c->Anchor[i] = GetWord(bytes(data) + 2 * i);
            c->HasAnchor = true;
            break;
        }
        case 0xF011:
            if (h.Length > 0) fail("Size of CLIENTDATA > 0");
            shape->HasClientData = true;
            readObj(*shape);
            break;
        case 0xF00D:
            // The client text box: its TXO with the text follows as the next BIFF record.
            if (peek() == 0x01B6) {
                if (!shape->Text()) shape->Side = std::make_unique<TShapeOutsideMsoBaseText>();
                readTxo(*shape->Text());
                break;
            }
            [[fallthrough]];
        default:
            if (!shape->Other) shape->Other = std::make_unique<TMSORecords>();
            shape->Other->Append(h, data);
            break;
        }
    }
    if (!shape) fail("Expected record missing: SP");
    if (left != 0) fail("Error while reading Shape. Length <> 0");
    return shape;
}

void TEscherDrawing::Reader::readObj(TShape& shape)
{
    if (peek() != 0x005D) fail("Expected record missing: OBJ");
    uint16_t id;
    const QByteArray obj = record(id);
    const uint8_t* p = bytes(obj);
    const qint64 len = obj.size();
    qint64 off = 0;
    while (len - off >= 4) {
        const uint16_t sid = GetWord(p + off);
        const uint16_t slen = GetWord(p + off + 2);
        if (sid == 0x13) {
            // The list-box data's length cannot be trusted: it runs to the record's last 2 bytes.
            const qint64 n = len - off - 4 - 2;
            if (n < 0) fail("OBJ sub-record length out of range");
            shape.ObjRecords.AddRec(RecordHeader(sid, uint16_t(qMin<qint64>(n, 0xFFFF))), p + off + 4);
            shape.ObjRecords.AddRec(RecordHeader(0, 0), nullptr);
            break;
        }
        if ((sid >= 1 && sid <= 3) || sid > 0x15) fail(QString::asprintf("Unknown OBJ record %.2X", sid));
        if (slen > len - off - 4) fail("OBJ sub-record length out of range");
        shape.ObjRecords.AddRec(RecordHeader(sid, slen), p + off + 4);
        if (sid == 0x15 && slen >= 4) m_d.LastObjectId = qMax<int>(m_d.LastObjectId, GetWord(p + off + 6));
        if (sid == 0) break;
        off += 4 + slen;
    }
    const int type = shape.ObjectType();
    const int oid = shape.ObjectId();
    switch (type) {
    case 5: {
        auto c = std::make_unique<TShapeOutsideMsoChart>();
        readChart(*c);
        shape.Side = std::move(c);
        break;
    }
    case 6: shape.Side = std::make_unique<TShapeOutsideMsoBaseText>(); break;
    case 7: shape.Side = std::make_unique<TShapeControlButton>(); break;
    case 18: shape.Side = std::make_unique<TShapeControlListBox>(); break;
    case 20: shape.Side = std::make_unique<TShapeControlComboBox>(); break;
    case 25: shape.Side = std::make_unique<TShapeOutsideMsoNote>(); break;
    default:
        if (shape.Opt.TextId() != 0) shape.Side = std::make_unique<TShapeOutsideMsoBaseText>();
        break;
    }
    if (shape.Side) {
        shape.Side->ObjectId = uint16_t(qMax(oid, 0));
        shape.Side->ObjectType = type;
        if (shape.Side->TakeObjData(shape.ObjRecords)) shape.ObjRecords.Clear();
    }
}

void TEscherDrawing::Reader::readTxo(TShapeOutsideMsoBaseText& text)
{
    if (m_lastId != 0x00EC && m_lastId != 0x003C) fail("Excpected record missing: MSODRAWING");
    if (peek() != 0x01B6) fail("Excpected record missing: TXO");
    uint16_t id;
    text.Txo = record(id);
    CheckRange(text.Txo.size(), 0, 14);
    const int length = GetWord(bytes(text.Txo) + 10);
    const int runBytes = GetWord(bytes(text.Txo) + 12);
    text.Text.clear();
    text.Runs.clear();
    if (length == 0) return;
    // The text goes on over CONTINUE records until it is complete, each with its flag byte.
    QString t;
    int startFlag = -1;
    while (t.size() < length) {
        if (peek() != 0x003C) fail("Excpected record missing: CONTINUE");
        const QByteArray c = record(id);
        if (c.isEmpty()) fail("Unicode error in TXO");
        const int flag = uint8_t(c[0]);
        if (flag > 1) fail("Unicode error in TXO");
        if (startFlag < 0) startFlag = flag;
        else if (flag != startFlag && !(startFlag == 1 && flag == 0)) fail("Unicode error in TXO");
        const int avail = int(c.size() - 1) / (flag ? 2 : 1);
        const int n = qMin(avail, length - int(t.size()));
        if (n <= 0) fail("Unicode error in TXO");
        const uint8_t* p = bytes(c) + 1;
        if (flag) t += utf16(p, n);
        else
            for (int i = 0; i < n; ++i) t += QChar(p[i]);
    }
    text.Text = t;
    if (runBytes > 0) {
        if (peek() != 0x003C) fail("Excpected record missing: CONTINUE");
        const QByteArray runs = record(id);
        const int n = qMin<int>(runBytes, int(runs.size())) / 8 * 8;
        text.Runs = runs.left(n);
    }
}

void TEscherDrawing::Reader::readChart(TShapeOutsideMsoChart& chart)
{
    chart.Fonts = m_d.Fonts;
    chart.Group = m_d.Group;
    if (!isBof(peek())) return;
    uint16_t id;
    QByteArray bof = record(id);
    chart.Root = std::make_unique<TChartRecord>(chartRootId, 0);
    chart.Root->IsUpdate = true;
    chart.Root->OwnerChart = &chart;
    chart.Root->InsertChild(-1, id, false, 0)->Data = bof;
    ReadChartRecords(*chart.Root, m_src, {m_d.Fonts, m_d.Group});
    m_lastId = 0x000A;
}

TShapeOutsideMsoChart::TShapeOutsideMsoChart() = default;
TShapeOutsideMsoChart::~TShapeOutsideMsoChart() = default;

std::unique_ptr<TShapeOutsideMso> TShapeOutsideMsoChart::Clone() const { fail("Can not assign this interface"); }

void TEscherDrawing::AttachNote(int col, int row, const QString& author, int objectId, uint16_t options)
{
    for (const auto& c : Root.Children) {
        auto* note = dynamic_cast<TShapeOutsideMsoNote*>(c->Side.get());
        if (!note || c->ObjectId() != objectId) continue;
        note->Col = col;
        note->Row = row;
        note->Options = options;
        note->Author = author;
        return;
    }
    fail(QString::asprintf("Can not find shape for note #%d", objectId));
}

void AssignShape(TShape& target, const TShape& source, TEscherDrawing& drawing)
{
    target.ShapeType = source.ShapeType;
    target.Flags = source.Flags;
    target.HasAnchor = source.HasAnchor;
    target.HasClientData = source.HasClientData;
    source.Opt.CopyTo(target.Opt);
    if (target.Opt.Find(128)) target.Opt.SetValue(128, drawing.NewTextId ? drawing.NewTextId() : randomTextId());
    target.Other.reset();
    if (source.Other) {
        target.Other = std::make_unique<TMSORecords>();
        source.Other->CopyTo(*target.Other);
    }
    target.ObjRecords.Clear();
    source.ObjRecords.CopyTo(target.ObjRecords);
    target.Side.reset();
    if (source.Side) {
        if (!dynamic_cast<const TShapeOutsideMsoBaseText*>(source.Side.get())) fail("Can not assign this interface");
        target.Side = source.Side->Clone();
    }
    if (auto* a = dynamic_cast<const TShapeClientAnchor*>(&source))
        if (auto* b = dynamic_cast<TShapeClientAnchor*>(&target)) std::copy(std::begin(a->Anchor), std::end(a->Anchor), b->Anchor);
    if (auto* a = dynamic_cast<const TShapeChildAnchor*>(&source))
        if (auto* b = dynamic_cast<TShapeChildAnchor*>(&target)) std::copy(std::begin(a->Anchor), std::end(a->Anchor), b->Anchor);
    auto* from = dynamic_cast<const TShapeGroup*>(&source);
    auto* to = dynamic_cast<TShapeGroup*>(&target);
    if (!from || !to) return;
    std::copy(std::begin(from->Rect), std::end(from->Rect), to->Rect);
    to->Children.clear();
    for (const auto& c : from->Children) {
        std::unique_ptr<TShape> copy;
        if (dynamic_cast<const TShapeGroup*>(c.get())) copy = std::make_unique<TShapeGroup>(&drawing);
        else if (dynamic_cast<const TShapeClientAnchor*>(c.get())) fail("ClientAnchor in ShapeGroup");
        else if (dynamic_cast<const TShapeChildAnchor*>(c.get())) copy = std::make_unique<TShapeChildAnchor>();
        else fail("Dont know how to Copy this shape");
        copy->ShapeId = drawing.NextShapeId();
        AssignShape(*copy, *c, drawing);
        to->Children.push_back(std::move(copy));
    }
}

void LinkBlipIds(TEscherDrawing& drawing, const QList<int>& bsePositions)
{
    drawing.ForEachShape([&](TShape* s) {
        const int32_t ref = s->Opt.PictureRef();
        // 0 is the format's default for "no picture".
        if (ref <= 0) return;
        const int index = int(bsePositions.indexOf(ref - 1));
        if (index < 0) fail(QString::asprintf("Can not find Blip Id #%d", ref));
        s->Opt.SetPictureRef(index + 1);
    });
}

}

// ---- writer

namespace xls {

namespace {
QByteArray biff(uint16_t id, const QByteArray& data)
{
    QByteArray h(4, 0);
    PutWord(reinterpret_cast<uint8_t*>(h.data()), id);
    PutWord(reinterpret_cast<uint8_t*>(h.data()) + 2, uint16_t(data.size()));
    return h + data;
}

QByteArray esc(uint16_t version, uint16_t instance, uint16_t type, const QByteArray& data, qint64 length = -1)
{
    EscherHeader h;
    h.Version = version;
    h.Instance = instance;
    h.Type = type;
    h.Length = uint32_t(length < 0 ? data.size() : length);
    return h.Bytes() + data;
}

QByteArray dwords(const int32_t* v, int n)
{
    QByteArray b(4 * n, 0);
    for (int i = 0; i < n; ++i) PutDWord(reinterpret_cast<uint8_t*>(b.data()) + 4 * i, uint32_t(v[i]));
    return b;
}

QByteArray sub(uint16_t id, const QByteArray& data)
{
    QByteArray h(4, 0);
    PutWord(reinterpret_cast<uint8_t*>(h.data()), id);
    PutWord(reinterpret_cast<uint8_t*>(h.data()) + 2, uint16_t(data.size()));
    return h + data;
}

QByteArray cmo(int type, int id, int options)
{
    QByteArray d(18, 0);
    PutWord(reinterpret_cast<uint8_t*>(d.data()), uint16_t(type));
    PutWord(reinterpret_cast<uint8_t*>(d.data()) + 2, uint16_t(id));
    PutWord(reinterpret_cast<uint8_t*>(d.data()) + 4, uint16_t(options));
    return sub(0x15, d);
}

// The OBJ record's body: the shape's sub-records, or those of the control that took them.
QByteArray objBody(const TShape& s)
{
    QByteArray out;
    for (int i = 0; i < s.ObjRecords.Count(); ++i) out += sub(s.ObjRecords.Item(i)->Id, s.ObjRecords.Item(i)->Data);
    if (s.ObjRecords.Count() > 0) return out;
    if (auto* b = dynamic_cast<const TShapeControlButton*>(s.Side.get())) {
        out = cmo(7, b->ObjectId, b->Options);
        if (!b->Macro.isEmpty()) out += sub(0x04, b->Macro);
        return out + sub(0, {});
    }
    if (auto* l = dynamic_cast<const TShapeControlListBox*>(s.Side.get())) {
        out = cmo(l->Combo ? 20 : 18, l->ObjectId, l->Options) + sub(0x0C, l->Sbs);
        if (!l->Changed) {
            if (!l->Macro.isEmpty()) out += sub(0x04, l->Macro);
            if (!l->LinkFmla.isEmpty()) out += sub(0x0E, l->LinkFmla);
            if (!l->LbsData.isEmpty()) out += sub(0x13, l->LbsData);
            return out + sub(0, {});
        }
        QByteArray link(6, 0);
        PutWord(reinterpret_cast<uint8_t*>(link.data()), 5);
        out += sub(0x0E, link + l->CellLink + QByteArray(1, 0));
        QByteArray lbs(4, 0);
        PutWord(reinterpret_cast<uint8_t*>(lbs.data()), l->LbsFirst);
        PutWord(reinterpret_cast<uint8_t*>(lbs.data()) + 2, 9);
        lbs += l->LbsReserved + l->Source + l->LbsOptions + l->Selection;
        if (l->Combo) lbs += QByteArray(10, 0);
        return out + sub(0x13, lbs) + sub(0, {});
    }
    return out;
}

class Writer {
public:
    QByteArray out;
    void escher(const QByteArray& b) { m_pending += b; }
    void record(uint16_t id, const QByteArray& data)
    {
        flush();
        out += biff(id, data);
    }
    void raw(const QByteArray& records)
    {
        flush();
        out += records;
    }
    void flush()
    {
        for (int o = 0; o < m_pending.size(); o += 8224) out += biff(o == 0 ? 0x00EC : 0x003C, m_pending.mid(o, 8224));
        m_pending.clear();
    }
private:
    QByteArray m_pending;
};

qint64 otherSize(const TShape& s) { return s.Other ? s.Other->TotalSize() : 0; }
bool hasText(const TShape& s) { return s.Text() != nullptr; }

// The records of a shape's container before its children, without the container header.
QByteArray shapeHead(const TShape& s)
{
    QByteArray b;
    if (auto* g = dynamic_cast<const TShapeGroup*>(&s)) b += esc(1, 0, 0xF009, dwords(g->Rect, 4));
    QByteArray sp(8, 0);
    PutDWord(reinterpret_cast<uint8_t*>(sp.data()), s.ShapeId);
    PutDWord(reinterpret_cast<uint8_t*>(sp.data()) + 4, s.Flags);
    b += esc(2, uint16_t(s.ShapeType), 0xF00A, sp);
    if (s.Opt.Count() > 0) b += s.Opt.Write();
    if (s.Other) b += s.Other->WriteAll();
    if (s.HasAnchor) {
        if (auto* c = dynamic_cast<const TShapeChildAnchor*>(&s)) b += esc(0, 0, 0xF00F, dwords(c->Anchor, 4));
        else if (auto* a = dynamic_cast<const TShapeClientAnchor*>(&s)) {
            QByteArray d(18, 0);
            for (int i = 0; i < 9; ++i) PutWord(reinterpret_cast<uint8_t*>(d.data()) + 2 * i, a->Anchor[i]);
            b += esc(0, 0, 0xF010, d);
        }
    }
    if (s.HasClientData) b += esc(0, 0, 0xF011, {});
    return b;
}

qint64 shapeSize(const TShape& s);

qint64 containerSize(const TShape& s) { return shapeHead(s).size() + (s.HasClientData && hasText(s) ? 8 : 0); }

// A shape's bytes in the drawing: its SP container (a group: SPGR container with the group's SP
// container and the children).
qint64 shapeSize(const TShape& s)
{
    qint64 n = 8 + containerSize(s);
    if (auto* g = dynamic_cast<const TShapeGroup*>(&s)) {
        n += 8;
        for (const auto& c : g->Children) n += shapeSize(*c);
    }
    return n;
}

void writeText(Writer& w, const TShapeOutsideMsoBaseText& t)
{
    w.escher(esc(0, 0, 0xF00D, {}));
    QByteArray txo = t.Txo;
    if (txo.size() < 18) txo.resize(18);
    QByteArray runs = t.Runs;
    // a single run keeps its start: the last run of several is the closing one
    if (!t.Text.isEmpty() && runs.size() >= 16) PutWord(reinterpret_cast<uint8_t*>(runs.data()) + runs.size() - 8, uint16_t(t.Text.size()));
    PutWord(reinterpret_cast<uint8_t*>(txo.data()) + 10, uint16_t(t.Text.size()));
    PutWord(reinterpret_cast<uint8_t*>(txo.data()) + 12, uint16_t(t.Text.isEmpty() ? 0 : runs.size()));
    w.record(0x01B6, txo);
    if (t.Text.isEmpty()) return;
    for (int o = 0; o < t.Text.size(); o += 4111) {
        QByteArray piece(1, 1);
        for (QChar c : t.Text.mid(o, 4111)) piece += char(c.unicode() & 0xFF), piece += char(c.unicode() >> 8);
        w.record(0x003C, piece);
    }
    if (!runs.isEmpty()) w.record(0x003C, runs);
}

void writeShape(Writer& w, const TShape& s, TXFonts* fonts)
{
    const auto* g = dynamic_cast<const TShapeGroup*>(&s);
    if (g) w.escher(esc(0xF, 0, 0xF003, {}, shapeSize(s) - 8));
    w.escher(esc(0xF, 0, 0xF004, {}, containerSize(s)) + shapeHead(s));
    if (s.HasClientData) {
        w.record(0x005D, objBody(s));
        if (auto* c = dynamic_cast<const TShapeOutsideMsoChart*>(s.Side.get()); c && c->Root) w.raw(WriteChartRecords(*c->Root, fonts));
        if (auto* t = s.Text()) writeText(w, *t);
    }
    if (g)
        for (const auto& c : g->Children) writeShape(w, *c, fonts);
}
}   // namespace

QByteArray TEscherDrawing::WriteRecords() const
{
    Writer w;
    QByteArray head = esc(0, uint16_t(DrawingId), 0xF008, QByteArray(reinterpret_cast<const char*>(DG), 8));
    if (!RegroupItems.isEmpty()) {
        QByteArray r;
        for (uint32_t v : RegroupItems) r += dwords(reinterpret_cast<const int32_t*>(&v), 1);
        head += esc(0, uint16_t(RegroupItems.size()), 0xF118, r);
    }
    const QByteArray rootHead = esc(1, 0, 0xF009, dwords(Root.Rect, 4)) + [&] {
        QByteArray sp(8, 0);
        PutDWord(reinterpret_cast<uint8_t*>(sp.data()), Root.ShapeId);
        PutDWord(reinterpret_cast<uint8_t*>(sp.data()) + 4, Root.Flags);
        return esc(2, uint16_t(Root.ShapeType), 0xF00A, sp) + (Root.Other ? Root.Other->WriteAll() : QByteArray());
    }();
    qint64 group = 8 + rootHead.size();
    for (const auto& c : Root.Children) group += shapeSize(*c);
    const qint64 total = head.size() + 8 + group + Solver.TotalSize();
    w.escher(esc(0xF, 0, 0xF002, {}, total) + head + esc(0xF, 0, 0xF003, {}, group) + esc(0xF, 0, 0xF004, rootHead));
    for (const auto& c : Root.Children) writeShape(w, *c, Fonts);
    w.escher(Solver.WriteAll());
    w.flush();
    for (const auto& c : Root.Children) {
        auto* n = dynamic_cast<const TShapeOutsideMsoNote*>(c->Side.get());
        if (!n) continue;
        QByteArray d(8, 0);
        auto* p = reinterpret_cast<uint8_t*>(d.data());
        PutWord(p, uint16_t(n->Row));
        PutWord(p + 2, uint16_t(n->Col));
        PutWord(p + 4, n->Options);
        PutWord(p + 6, n->ObjectId);
        bool wide = false;
        for (QChar ch : n->Author) wide |= ch.unicode() > 0xFF;
        QByteArray a(3, 0);
        PutWord(reinterpret_cast<uint8_t*>(a.data()), uint16_t(n->Author.size()));
        a[2] = char(wide ? 1 : 0);
        for (QChar ch : n->Author) {
            a += char(ch.unicode() & 0xFF);
            if (wide) a += char(ch.unicode() >> 8);
        }
        w.record(0x001C, d + a + QByteArray(1, 0));
    }
    return w.out;
}

}

namespace xls {

namespace {
QByteArray deflateAll(const QByteArray& data)
{
    uLongf n = compressBound(uLong(data.size()));
    QByteArray out(int(n), Qt::Uninitialized);
    if (compress2(reinterpret_cast<Bytef*>(out.data()), &n, reinterpret_cast<const Bytef*>(data.constData()), uLong(data.size()), 9) != Z_OK)
        throw EXLSError(QStringLiteral("Can not compress picture"));
    out.truncate(int(n));
    return out;
}

// The BLIP record type and instance of a picture type.
const struct { uint8_t type; uint16_t blip; uint16_t instance; } blipKinds[] = {
    {2, 0xF01A, 0x3D4}, {3, 0xF01B, 0x216}, {4, 0xF01C, 0x542}, {5, 0xF01D, 0x46A}, {6, 0xF01E, 0x6E0}, {7, 0xF01F, 0x7A8}};
}   // namespace

void TMSOPicture::LoadFromFile(const QString& fileName)
{
    const QString ext = fileName.mid(fileName.lastIndexOf('.') + 1).toUpper();
    uint8_t type = 0;
    if (ext == "EMF") type = 2;
    else if (ext == "WMF") type = 3;
    else if (ext == "PICT") type = 4;
    else if (ext == "JPG" || ext == "JPEG") type = 5;
    else if (ext == "PNG") type = 6;
    else if (ext == "BMP") type = 7;
    else throw EXLSError(QStringLiteral("Unknown picture type ") + ext);
    QFile f(fileName);
    if (!f.open(QIODevice::ReadOnly)) throw EXLSError(QStringLiteral("Can not open ") + fileName);
    LoadFromData(f.readAll(), type);
    m_filename = fileName;
}

void TMSOPicture::LoadFromData(const QByteArray& bytes, uint8_t type)
{
    if (type == 7 && bytes.size() > 32767) throw EXLSError(QStringLiteral("Bitmap (BMP) pictures can be max 32767 bytes in size"));
    Type = type;
    RefCount = 0;
    Compressed = false;
    CompressedLength = UncompressedLength = 0;
    if (type >= 2 && type <= 4) {
        SetData(deflateAll(bytes));
        Compressed = true;
        CompressedLength = uint32_t(Size());
        UncompressedLength = uint32_t(bytes.size());
    } else {
        SetData(type == 7 ? bytes.mid(14) : bytes);
    }
    TMD4Hash h;
    h.Init();
    h.Update(reinterpret_cast<const uint8_t*>(Bytes().data()), Size());
    Identifier = h.Final();
}

void TMSOPicture::SetFilename(const QString& name)
{
    for (int i = 0; Owner && i < Owner->Count(); ++i) {
        const TMSOPicture* p = Owner->Items(i);
        if (p != this && p->m_filename.compare(name, Qt::CaseInsensitive) == 0)
            throw EXLSError(QStringLiteral("A picture with this name already exists."));
    }
    m_filename = name;
}

QByteArray TEscherGroup::WriteDrawingGroup() const
{
    QByteArray body;
    {
        QByteArray d(16, 0);
        auto* p = reinterpret_cast<uint8_t*>(d.data());
        PutDWord(p, Dgg.MaxShapeId);
        PutDWord(p + 4, uint32_t(Dgg.Entries.size() + 1));
        PutDWord(p + 8, Dgg.SavedShapes);
        PutDWord(p + 12, Dgg.SavedDrawings);
        for (const TDGG::Entry& e : Dgg.Entries) {
            QByteArray c(8, 0);
            PutDWord(reinterpret_cast<uint8_t*>(c.data()), e.DrawingId);
            PutDWord(reinterpret_cast<uint8_t*>(c.data()) + 4, e.ShapesUsed);
            d += c;
        }
        body += esc(0, 0, 0xF006, d);
    }
    if (!m_pictures.empty()) {
        QByteArray bses;
        for (const auto& pic : m_pictures) {
            uint16_t blipType = 0xF018, instance = 0;
            for (const auto& k : blipKinds)
                if (k.type == pic->Type) blipType = k.blip, instance = k.instance;
            QByteArray blip = pic->Identifier.leftJustified(16, '\0', true);
            if (pic->Type >= 2 && pic->Type <= 4) {
                const QByteArray stored = pic->Compressed ? pic->Data() : deflateAll(pic->Data());
                QByteArray h(34, 0);
                auto* p = reinterpret_cast<uint8_t*>(h.data());
                PutDWord(p, pic->Compressed ? pic->UncompressedLength : uint32_t(pic->Size()));
                PutDWord(p + 28, uint32_t(stored.size()));
                p[32] = 0;      // deflated
                p[33] = 0xFE;   // no filter
                blip += h + stored;
            } else {
                blip += char(0xFF);
                blip += QByteArray(pic->Bytes().data(), pic->Size());
            }
            const QByteArray blipRecord = esc(0, instance, blipType, blip);
            QByteArray b(36, 0);
            auto* p = reinterpret_cast<uint8_t*>(b.data());
            p[0] = pic->Type;
            p[1] = pic->Type;
            std::memcpy(p + 2, pic->Identifier.leftJustified(16, '\0', true).constData(), 16);
            PutWord(p + 18, 0xFF);
            PutDWord(p + 20, uint32_t(blipRecord.size()));
            PutDWord(p + 24, pic->RefCount);
            const QString name = pic->Filename();
            p[33] = uint8_t(qMin<qsizetype>(name.size(), 255));
            if (!name.isEmpty()) {
                b += char(1);
                for (QChar c : name.left(255)) b += char(c.unicode() & 0xFF), b += char(c.unicode() >> 8);
            }
            bses += esc(2, pic->Type, 0xF007, b + blipRecord);
        }
        body += esc(0xF, uint16_t(m_pictures.size()), 0xF001, bses);
    }
    if (DefaultOpt.Count() > 0) body += DefaultOpt.Write();
    auto colours = [&](uint16_t type, const QList<uint32_t>& list) {
        if (list.isEmpty()) return;
        QByteArray d(4 * list.size(), 0);
        for (int i = 0; i < list.size(); ++i) PutDWord(reinterpret_cast<uint8_t*>(d.data()) + 4 * i, list[i]);
        body += esc(0, uint16_t(list.size()), type, d);
    };
    colours(0xF11A, Colors);
    colours(0xF11E, SplitMenuColors);
    body += Other.WriteAll();
    return esc(0xF, 0, 0xF000, body);
}

}
