#include "spreadsheet/XLSBookReader.h"
#include "spreadsheet/XLSBook.h"
#include "spreadsheet/CompoundFile.h"
#include "spreadsheet/XLSUtils.h"

#include <cmath>
#include <cstring>
#include <memory>

namespace xls {

// The BOF records of BIFF2, 3, 4 and 5-8. Other ids ending in 09 (chart records such as 0x1009)
// open nothing.
static bool isBof(uint16_t id) { return id == 0x0009 || id == 0x0209 || id == 0x0409 || id == 0x0809; }

TXLSBookReader::TXLSBookReader(TXLSBook* book) : m_book(book), m_stream(&book->ExtraObjects(), book->PreserveMacros) {}

void TXLSBookReader::Read()
{
    m_version = m_stream.Open(m_book->Filename);
    run();
}

void TXLSBookReader::ReadData(const QByteArray& bytes)
{
    m_version = m_stream.OpenData(bytes);
    run();
}

TSheet* TXLSBookReader::sheet() const
{
    if (m_sheetIndex < 0 || m_sheetIndex >= m_book->Sheets().Count()) return nullptr;
    return m_book->Sheets().Items(m_sheetIndex);
}

void TXLSBookReader::need(int offset, int count) const { CheckRange(m_len, offset, count); }

void TXLSBookReader::mark(uint16_t marker)
{
    if (m_storage->HasSlot(marker)) m_storage->UpdateInternal(marker);
}

void TXLSBookReader::storeDefault() { storeDefault(body(), m_len); }

void TXLSBookReader::storeDefault(const uint8_t* data, int length)
{
    m_storage->UpdateDefault(RecordHeader(m_id, uint16_t(length)), data);
    m_taken = false;
}

void TXLSBookReader::storeRaw()
{
    m_storage->AddRec(RecordHeader(m_id, uint16_t(m_len)), body());
    m_taken = false;
}

QByteArray TXLSBookReader::readNextRecord(uint16_t& id)
{
    uint16_t len;
    if (m_stream.ReadHeader(id, len) < 4) throw EXLSError(QStringLiteral("Unexpected end of file"));
    QByteArray b(len, 0);
    int n = isBof(id) ? m_stream.ReadPlain(reinterpret_cast<uint8_t*>(b.data()), len)
                      : m_stream.ReadBody(reinterpret_cast<uint8_t*>(b.data()), len);
    b.truncate(n);
    return b;
}

namespace {
// Records whose handlers take their body as it is and read no further from the stream.
bool inPlaceRecord(uint16_t id)
{
    switch (id) {
    case 0x0201: case 0x00BE: case 0x0203: case 0x027E: case 0x007E: case 0x00BD: case 0x00FD: case 0x0205:
    case 0x0208: case 0x00D7:
        return true;
    default:
        return false;
    }
}
}

void TXLSBookReader::run()
{
    m_book->SetVersion(m_version);
    m_buf.assign(size_t(m_book->MaxRecordSize()) + 16, 0);
    m_storage = &m_book->GlobalsStorage();
    auto progress = [&](int v) {
        if (m_book->OnProgress) m_book->OnProgress(this, v);
    };
    progress(0);
    int progressCount = 0;
    try {
        try {
            while (!m_stop) {
                uint16_t id, len;
                if (m_stream.ReadHeader(id, len) < 4) break;
                m_id = id;
                m_len = len;
                if (len > m_book->MaxRecordSize()) {
                    m_stream.Seek(len, TXLSStream::soFromCurrent);
                    continue;
                }
                if (id & 0x8000) throw EXLSError(QStringLiteral("Bad record in file"));
                const bool selfRead = isBof(id) || id == 0x00FC || id == 0x00EB || id == 0x00EC;
                m_body = m_buf.data();
                const uint8_t* inPlace = nullptr;
                if (!selfRead && inPlaceRecord(id) && (inPlace = m_stream.PeekBody(len))) {
                    // Cell and row records are read where the stream holds them: their handlers
                    // read nothing more from the stream, so the bytes stay there until the next record.
                    m_stream.SkipBody(len);
                    m_body = inPlace;
                } else if (!selfRead) {
                    // Records an encrypting writer leaves in plain text (interface header, shared
                    // workbook and revision records) are read as they are.
                    const bool plain = id == 0x00E1 || id == 0x0194 || id == 0x0195 || id == 0x0196 || id == 0x0138;
                    int n = plain ? m_stream.ReadPlain(m_buf.data(), len) : m_stream.ReadBody(m_buf.data(), len);
                    if (n < len) {
                        // A truncated last record holds only what the file had.
                        std::memset(m_buf.data() + n, 0, size_t(len - n));
                        m_len = n;
                    }
                }
                if (++progressCount == 100) {
                    progressCount = 0;
                    if (m_book->OnProgress && m_stream.Size() > 0)
                        progress(int(std::lround(double(m_stream.Position()) * 100.0 / double(m_stream.Size()))));
                }
                if (m_skipView) {
                    if (id == 0x01AB) m_skipView = false;
                    else if (selfRead) m_stream.Seek(len, TXLSStream::soFromCurrent);
                    continue;
                }
                m_taken = true;
                dispatch();
                if (m_taken) storeRaw();
                ++m_recordNo;
            }
        } catch (const EXLSError& e) {
            throw EXLSError(QString::asprintf("Error on reading record # %d, %.4X Offs: %.8X\r", m_recordNo, m_id,
                                              uint32_t(m_stream.Position())) +
                            e.message());
        } catch (const std::bad_alloc&) {
            throw;
        } catch (const std::exception& e) {
            throw EXLSError(QString::asprintf("Error on reading record # %d, %.4X Offs: %.8X\r", m_recordNo, m_id,
                                              uint32_t(m_stream.Position())) +
                            QString::fromUtf8(e.what()));
        }
    } catch (...) {
        m_stream.Close();
        throw;
    }
    linkPictures();
    progress(100);
    m_stream.Close();
}

void TXLSBookReader::dispatch()
{
    const bool b8 = m_version == xvExcel97;
    const bool b58 = m_version >= xvExcel50;
    const bool early = m_version <= xvExcel40;
    const uint8_t* b = body();
    TSheet* s = sheet();

    if (isBof(m_id)) {
        onBOF();
        return;
    }
    switch (m_id) {
    case 0x000A: onEOF(); return;

    // ---- cells
    case 0x0201:
        if (!s) return;
        need(0, 6);
        s->AddBlank(GetWord(b + 2), GetWord(b), GetWord(b + 4));
        m_taken = false;
        return;
    case 0x00BE: {
        if (!s) return;
        need(0, 6);
        int row = GetWord(b), col = GetWord(b + 2);
        int n = (m_len - 6) / 2;
        for (int i = 0; i < n; ++i) s->AddBlank(col + i, row, GetWord(b + 4 + 2 * i));
        m_taken = false;
        return;
    }
    case 0x0203:
        if (!s) return;
        need(0, 14);
        s->AddFloat(GetWord(b + 2), GetWord(b), GetWord(b + 4), GetDouble(b + 6));
        m_taken = false;
        return;
    case 0x0002:
        if (!s || !early) return;
        need(0, 9);
        s->AddFloat(GetWord(b + 2), GetWord(b), 15, GetWord(b + 7));
        m_taken = false;
        return;
    case 0x0003:
        if (!s || !early) return;
        need(0, 15);
        s->AddFloat(GetWord(b + 2), GetWord(b), 15, GetDouble(b + 7));
        m_taken = false;
        return;
    case 0x027E: case 0x007E:
        if (!s) return;
        need(0, 10);
        s->AddFloat(GetWord(b + 2), GetWord(b), GetWord(b + 4), DecodeRK(GetDWord(b + 6)));
        m_taken = false;
        return;
    case 0x00BD: {
        if (!s) return;
        need(0, 6);
        int row = GetWord(b), col = GetWord(b + 2);
        int n = (m_len - 6) / 6;
        for (int i = 0; i < n; ++i)
            s->AddFloat(col + i, row, GetWord(b + 4 + 6 * i), DecodeRK(GetDWord(b + 6 + 6 * i)));
        m_taken = false;
        return;
    }
    case 0x0204: case 0x00D6: {
        if (!s) return;
        need(0, 8);
        s->AddText(GetWord(b + 2), GetWord(b), GetWord(b + 4), continuedText(b, m_len, 8, GetWord(b + 6)));
        m_taken = false;
        return;
    }
    case 0x0004: {
        if (!s || !early) return;
        need(0, 8);
        int n = b[7];
        need(8, n);
        s->AddText(GetWord(b + 2), GetWord(b), 15, AnsiCodec().toUnicode(reinterpret_cast<const char*>(b + 8), n));
        m_taken = false;
        return;
    }
    case 0x00FD: {
        if (!s) return;
        need(0, 10);
        TSSTEntry* e;
        try {
            e = m_book->Sheets().SST().EntryAt(int(qMin<uint32_t>(GetDWord(b + 6), 0x7FFFFFFF)));
        } catch (const EXLSError&) {
            throw EXLSError(QStringLiteral("Read error at %1").arg(m_stream.Position(), 8, 10, QChar('0')));
        }
        s->AddSST(GetWord(b + 2), GetWord(b), GetWord(b + 4), e);
        m_taken = false;
        return;
    }
    case 0x0205:
        if (!s) return;
        need(0, 8);
        if (b[7] == 0) s->AddBoolean(GetWord(b + 2), GetWord(b), GetWord(b + 4), b[6]);
        else s->AddError(GetWord(b + 2), GetWord(b), GetWord(b + 4), uint8_t(ErrorIndex(b[6])));
        m_taken = false;
        return;
    case 0x0006: case 0x0206: case 0x0406:
        if (!s) return;
        onFormula();
        m_taken = false;
        return;
    case 0x0208:
        if (!s) return;
        s->Rows().AddRow(b, m_len);
        // The row's columns, for its cells to come (AddRow checked the length)
        s->Cells().HintRow(GetWord(b), GetWord(b + 2), GetWord(b + 4));
        m_taken = false;
        return;
    case 0x007D:
        if (!s) return;
        mark(0x8104);
        s->Columns().AddColumns(b, m_len);
        m_taken = false;
        return;

    // ---- workbook
    case 0x0085: {
        mark(0x8002);
        need(0, 8);
        int n = b[6];
        QByteArray raw;
        if (b8) {
            need(7, 1);
            int bytes = b[7] == 1 ? 2 * n : n;
            need(8, bytes);
            raw = QByteArray(reinterpret_cast<const char*>(b + 7), 1 + bytes);
        } else {
            need(7, n);
            raw = QByteArray(1, '\0') + QByteArray(reinterpret_cast<const char*>(b + 7), n);
        }
        m_directory.append({raw, GetWord(b + 4) & 0x03});
        m_taken = false;
        return;
    }
    case 0x0031: case 0x0231: onFont(); m_taken = false; return;
    case 0x00E0: case 0x0243: case 0x0443:
        if (b8) m_book->CellFormats().ReadXF8(b, m_len);
        else if (m_version == xvExcel50) m_book->CellFormats().ReadXF5(b, m_len);
        else if (m_version >= xvExcel30) m_book->CellFormats().AddNew();
        else return;
        m_taken = false;
        return;
    case 0x041E: {
        need(0, 3);
        int index = GetWord(b);
        QString text;
        if (b8) {
            need(0, 4);
            text = ReadBIFFString(b + 4, m_len - 4, GetWord(b + 2));
        } else {
            int n = b[2];
            need(3, n);
            text = AnsiCodec().toUnicode(reinterpret_cast<const char*>(b + 3), n);
        }
        m_book->CellFormats().NumberFormats->Add(text, index, 1);
        m_taken = false;
        return;
    }
    case 0x0092: {
        need(0, 2);
        int n = qMin<int>(GetWord(b), 57);
        need(2, 4 * n);
        for (int i = 0; i < n; ++i) SetPaletteColor(8 + i, GetDWord(b + 2 + 4 * i));
        return;   // also kept raw
    }
    case 0x00FC:
        mark(0x8005);
        m_book->Sheets().SST().ReadSST(m_stream, m_len);
        m_taken = false;
        return;
    case 0x00FF: case 0x00D7: case 0x00ED: case 0x01A9: case 0x01C0: case 0x003D:
        m_taken = false;
        return;
    case 0x01AA:
        m_skipView = true;
        m_taken = false;
        return;
    case 0x002F: onFilePass(); return;
    case 0x0018: case 0x0218: case 0x0017: case 0x0023: case 0x0223: case 0x01AE:
        // Names and external references of BIFF8 go to the formula handler; earlier versions
        // keep them as raw records.
        if (!b8) return;
        mark(0x8003);
        onNames();
        return;
    case 0x0059: {
        need(0, 2);
        int count = GetWord(b);
        if (count == 0xFFFF) count = 1;
        const int sheetIndex = m_len >= 4 ? GetWord(b + 2) : 0;
        if (b8) m_taken = false;
        else storeRaw();
        for (int i = 0; i < count; ++i) {
            if (m_stream.PeekRecordId() != 0x005A) throw EXLSError(QStringLiteral("CRN record missing"));
            uint16_t id;
            QByteArray crn = readNextRecord(id);
            const auto* c = reinterpret_cast<const uint8_t*>(crn.constData());
            if (b8) {
                try {
                    m_book->FormulaHandler().ExternalNames().AddCRN(sheetIndex, c, int(crn.size()));
                    continue;
                } catch (const EXLSError& e) {
                    warn(e, id);
                }
            }
            m_storage->AddRec(RecordHeader(id, uint16_t(crn.size())), c);
        }
        return;
    }
    case 0x00EB:
        mark(0x8004);
        onDrawingGroup();
        m_taken = false;
        return;
    case 0x005C: {
        uint8_t wa[512];
        int len = qMin(m_len, int(sizeof wa));
        std::memcpy(wa, b, size_t(len));
        if (m_version <= xvExcel50 && len >= 3) {
            std::memmove(wa + 3, wa + 1, size_t(len - 3));
            wa[1] = 0;
            wa[2] = 0;
        }
        if (len < 112) {
            std::memset(wa + len, ' ', size_t(112 - len));
            len = 112;
        }
        storeDefault(wa, len);
        return;
    }
    case 0x00DA:
        storeDefault();
        mark(0x8001);
        return;
    case 0x0013:
        if (m_cursor < 0 && m_sheetIndex < 0) storeDefault();
        return;
    case 0x0042:
        if (m_len >= 2) AnsiCodec().setCodePage(GetWord(b));
        if (b58) storeDefault();
        else m_taken = false;
        return;

    // ---- sheet
    case 0x0000: case 0x0200: {
        // Four zero bytes that some writers leave between records read as an empty record
        // 0x0000: no extents, kept as it is.
        if (m_len == 0) return;
        uint8_t d[14] = {};
        if (b8) {
            need(0, 12);
            std::memcpy(d, b, size_t(qMin(m_len, 14)));
        } else {
            need(0, 8);
            PutDWord(d, GetWord(b));
            PutDWord(d + 4, GetWord(b + 2));
            PutWord(d + 8, GetWord(b + 4));
            PutWord(d + 10, GetWord(b + 6));
        }
        if (early) {
            // Plain BIFF2-4 files: the extents go to the sheet itself.
            if (s) s->RecordStorage().UpdateDefault(RecordHeader(0x0200, 14), d);
            m_taken = false;
            return;
        }
        m_id = 0x0200;
        storeDefault(d, 14);
        return;
    }
    case 0x023E:
        if (!b58) return;
        if (m_version == xvExcel50) {
            uint8_t d[18] = {};
            need(0, 10);
            std::memcpy(d, b, 10);
            storeDefault(d, 18);
        } else {
            storeDefault();
        }
        return;
    case 0x001D:
        if (!b58) { m_taken = false; return; }
        onSelection();
        storeDefault();
        return;
    case 0x0041: onPane(); m_taken = false; return;
    case 0x0014: case 0x0015: {
        if (!b58 || !s) return;
        mark(0x8102);
        QString text;
        if (m_len > 0) {
            if (b8) {
                need(0, 3);
                text = ReadBIFFString(b + 2, m_len - 2, GetWord(b));
            } else {
                int n = b[0];
                need(1, n);
                text = AnsiCodec().toUnicode(reinterpret_cast<const char*>(b + 1), n);
            }
        }
        (m_id == 0x0014 ? s->PrintSettings().Header : s->PrintSettings().Footer) = text;
        m_taken = false;
        return;
    }
    case 0x0026: case 0x0027: case 0x0028: case 0x0029: {
        if (!b58 || !s) return;
        mark(0x8103);
        need(0, 8);
        double v = GetDouble(b);
        auto& ps = s->PrintSettings();
        (m_id == 0x0026 ? ps.MarginLeft : m_id == 0x0027 ? ps.MarginRight : m_id == 0x0028 ? ps.MarginTop : ps.MarginBottom) = v;
        m_taken = false;
        return;
    }
    case 0x001A: case 0x001B: {
        if (!s) return;
        mark(0x8101);
        if (!b58) { m_taken = false; return; }
        need(0, 2);
        int n = GetWord(b);
        const bool vertical = m_id == 0x001A;
        auto& ps = s->PrintSettings();
        for (int i = 0; i < n; ++i) {
            if (b8) {
                need(2 + 6 * i, 6);
                int p = GetWord(b + 2 + 6 * i) - 1, a = GetWord(b + 4 + 6 * i) - 1, e = GetWord(b + 6 + 6 * i) - 1;
                if (vertical) ps.VertPagebreaks.append({p, a, e});
                else ps.HorizPagebreaks.append({p, a, e});
            } else {
                need(2 + 2 * i, 2);
                int p = GetWord(b + 2 + 2 * i) - 1;
                if (vertical) ps.VertPagebreaks.append({p, 0, 65535});
                else ps.HorizPagebreaks.append({p, 0, 255});
            }
        }
        m_taken = false;
        return;
    }
    case 0x00E5:
        mark(0x8106);
        if (!s) return;
        tolerant([&] {
            need(0, 2);
            const int n = GetWord(b);
            need(2, 8 * n);
            for (int i = 0; i < n; ++i) s->MergedCells().AddRef(b + 2 + 8 * i);
        });
        return;
    case 0x001C:
        mark(0x8106);
        if (!s || !b8 || m_drawingFailed) return;   // kept raw
        tolerant([&] {
            need(0, 10);
            const QString author = ReadBIFFString(b + 10, m_len - 10, GetWord(b + 8));
            s->Drawing().AttachNote(GetWord(b + 2), GetWord(b), author, GetWord(b + 6), GetWord(b + 4));
        });
        return;
    case 0x01B8:
        if (!s || !b8) return;
        tolerantStream([&](TRecordSource& src) { s->Hyperlinks().ReadHLINK(src, m_len, b); });
        return;
    case 0x01B0:
        if (!s) return;
        tolerantStream([&](TRecordSource& src) { s->ConditionalFormats().ReadCONDFMT(src, b, m_len); });
        return;
    case 0x01B2:
        if (!s) return;
        tolerantStream([&](TRecordSource& src) { s->Validations().ReadDVAL(b, m_len, src); });
        return;
    case 0x00EC: {
        mark(0x8106);
        int n = m_stream.ReadBody(m_buf.data(), m_len);
        m_len = n;
        if (!s || !b8 || m_drawingFailed) return;   // kept raw
        onDrawing(s);
        return;
    }
    case 0x0867:
        if (!s) return;
        need(0, 21);
        s->SheetProtection = GetWord(b + 19) & 0x7FFF;
        m_taken = false;
        return;
    case 0x020B:
        if (early && s) m_storage = &s->RecordStorage();
        m_taken = false;
        return;

    // ---- settings records kept in their slots
    case 0x000C: case 0x000D: case 0x000E: case 0x000F: case 0x0010: case 0x0011: case 0x0019: case 0x0022:
    case 0x002A: case 0x002B: case 0x0040: case 0x0055: case 0x005F: case 0x0080: case 0x0081: case 0x0082:
    case 0x0083: case 0x0084: case 0x008D: case 0x00A1: case 0x0225:
        if (b58) storeDefault();
        else m_taken = false;
        return;
    case 0x008C:
        if (b8) storeDefault();
        else m_taken = false;
        return;
    case 0x0012: case 0x009C: case 0x0161: case 0x01AF: case 0x01B7: case 0x01C1:
        storeDefault();
        return;
    default:
        return;   // kept raw
    }
}

// A record of the names, areas, validations, hyperlinks or conditional formats that cannot be read
// costs only itself: it is kept raw and reported, and the workbook is read on.
void TXLSBookReader::warn(const EXLSError& e, uint16_t id)
{
    m_book->ShowMessage(QString::asprintf("Error on reading record # %d, %.4X Offs: %.8X\r", m_recordNo, id,
                                          uint32_t(m_stream.Position())) +
                        e.message());
}

// Runs a reader of a record that may fail without ending the read: on success the record is
// taken, on failure it stays raw and is reported.
void TXLSBookReader::tolerant(const std::function<void()>& read)
{
    try {
        read();
        m_taken = false;
    } catch (const EXLSError& e) {
        warn(e, m_id);
        m_taken = true;
    }
}

namespace {
// The records after the current one, remembered so that they can be kept raw when the reader
// that took them fails.
class ReaderSource : public TRecordSource {
public:
    ReaderSource(TXLSStream& stream, std::function<QByteArray(uint16_t&)> next) : m_stream(stream), m_next(std::move(next)) {}
    uint16_t PeekRecordId() override { return m_stream.PeekRecordId(); }
    QByteArray ReadRecord(uint16_t& id) override
    {
        QByteArray r = m_next(id);
        Taken.append({id, r});
        return r;
    }
    QList<QPair<uint16_t, QByteArray>> Taken;
private:
    TXLSStream& m_stream;
    std::function<QByteArray(uint16_t&)> m_next;
};
}   // namespace

void TXLSBookReader::tolerantStream(const std::function<void(TRecordSource&)>& read)
{
    ReaderSource src(m_stream, [this](uint16_t& id) { return readNextRecord(id); });
    try {
        read(src);
        m_taken = false;
    } catch (const EXLSError& e) {
        warn(e, m_id);
        storeRaw();
        for (const auto& r : src.Taken)
            m_storage->AddRec(RecordHeader(r.first, uint16_t(r.second.size())), reinterpret_cast<const uint8_t*>(r.second.constData()));
    }
}

void TXLSBookReader::onNames()
{
    TFormulaHandler& h = m_book->FormulaHandler();
    const uint8_t* b = body();
    QList<QByteArray> continued;
    try {
        switch (m_id) {
        case 0x0018: h.InternalNames().AddFromRecord(b, m_len); break;
        case 0x0023: h.ExternalNames().AddExternName(b, m_len); break;
        case 0x01AE: h.ExternalNames().AddSupBook(b, m_len); break;
        case 0x0017: {
            // A long table goes on in CONTINUE records.
            while (m_stream.PeekRecordId() == 0x003C) {
                uint16_t id;
                continued.append(readNextRecord(id));
            }
            if (continued.isEmpty()) {
                h.ExternalNames().AddExternSheets(b, m_len);
            } else {
                QByteArray all(reinterpret_cast<const char*>(b), m_len);
                for (const QByteArray& c : continued) all += c;
                h.ExternalNames().AddExternSheets(reinterpret_cast<const uint8_t*>(all.constData()), int(all.size()));
            }
            break;
        }
        default: return;   // 0x0218, 0x0223 belong to other versions
        }
        m_taken = false;
    } catch (const EXLSError& e) {
        warn(e, m_id);
        storeRaw();
        for (const QByteArray& c : continued)
            m_storage->AddRec(RecordHeader(0x003C, uint16_t(c.size())), reinterpret_cast<const uint8_t*>(c.constData()));
    }
}

void TXLSBookReader::onBOF()
{
    m_taken = false;
    int n = m_stream.ReadPlain(m_buf.data(), m_len);
    m_len = n;
    const uint8_t* b = body();
    int type = m_len >= 4 ? GetWord(b + 2) : 0;
    switch (type) {
    case 0x0005:
        if (m_len > 256) throw EXLSError(QStringLiteral("Invalid BOF size"));
        m_book->IsMac = m_version == xvExcel97 && m_len >= 12 && (GetDWord(b + 8) & 0x10);
        m_storage = &m_book->GlobalsStorage();
        storeDefault();
        m_inSheet = false;
        break;
    case 0x0010: case 0x0006: case 0x0040: {
        ++m_cursor;
        ++m_sheetIndex;
        TSheet* s = m_book->Sheets().AddSheet(type == 0x0010 ? 0 : type == 0x0006 ? 1 : 2);
        m_drawingFailed = false;
        if (m_version >= xvExcel50) {
            if (m_cursor < m_directory.size()) {
                s->SetName(SheetNameText(m_directory[m_cursor].first));
                s->Hidden = THiddenState(qMin(m_directory[m_cursor].second, 2));
            }
            m_storage = &s->RecordStorage();
            storeDefault();
        } else {
            s->SetName(QStringLiteral("Sheet1"));
        }
        m_inSheet = true;
        break;
    }
    case 0x0020:
        if (m_inSheet) {
            // An embedded chart inside a worksheet: its records stay with the sheet.
            m_storage->AddRec(RecordHeader(m_id, uint16_t(m_len)), b);
            skipSubstream(m_storage);
        } else {
            ++m_cursor;
            onChartSheet();
            // the end-of-directory test, as after a worksheet's EOF
            if (m_directory.isEmpty() || m_cursor >= m_directory.size() - 1) m_stop = true;
        }
        break;
    case 0x0100:
        throw EXLSError(QStringLiteral("BIFF4 Workbook unhandled"));
    default:
        break;
    }
}

// Reads a chart substream up to its EOF (nested substreams included) into `into`.
void TXLSBookReader::skipSubstream(TBaseRecordStorage* into)
{
    int depth = 1;
    while (depth > 0) {
        uint16_t id, len;
        if (m_stream.ReadHeader(id, len) < 4) return;
        QByteArray b(len, 0);
        int n = isBof(id) ? m_stream.ReadPlain(reinterpret_cast<uint8_t*>(b.data()), len)
                                    : m_stream.ReadBody(reinterpret_cast<uint8_t*>(b.data()), len);
        b.truncate(n);
        if (isBof(id)) ++depth;
        else if (id == 0x000A) --depth;
        into->AddRec(RecordHeader(id, uint16_t(b.size())), reinterpret_cast<const uint8_t*>(b.constData()));
    }
}

void TXLSBookReader::onEOF()
{
    storeDefault(nullptr, 0);
    m_shared.clear();
    m_inSheet = false;
    if (m_directory.isEmpty() || m_cursor >= m_directory.size() - 1) m_stop = true;
}

void TXLSBookReader::onFormula()
{
    TSheet* s = sheet();
    const uint8_t* b = body();
    if (m_id == 0x0006 && m_version < xvExcel30) {
        // BIFF2: result at 7, token length byte at 16, tokens from 17
        need(0, 17);
        int col = GetWord(b + 2), row = GetWord(b);
        int tl = b[16];
        need(17, tl);
        QByteArray tokens(reinterpret_cast<const char*>(b + 17), m_len - 17);
        if (b[13] == 0xFF && b[14] == 0xFF) {
            specialResult(col, row, 65535, tokens, tl, b[7], b[9]);
        } else {
            auto* c = new TNumberFormulaCell(&m_book->CellFormats(), 15, tokens, GetDouble(b + 7));
            c->TokenLength = tl;
            s->AddCell(col, row, c);
        }
        return;
    }
    if (m_id == 0x0206 || m_id == 0x0406) {
        need(0, 18);
        int col = GetWord(b + 2), row = GetWord(b), fi = GetWord(b + 4);
        int tl = GetWord(b + 16);
        need(18, tl);
        QByteArray tokens(reinterpret_cast<const char*>(b + 18), m_len - 18);
        auto* c = new TNumberFormulaCell(&m_book->CellFormats(), fi, tokens, GetDouble(b + 6));
        c->TokenLength = tl;
        s->AddCell(col, row, c);
        if (b[12] == 0xFF && b[13] == 0xFF) specialResult(col, row, fi, tokens, tl, b[6], b[8]);
        return;
    }
    // BIFF5 and BIFF8
    need(0, 22);
    const int col = GetWord(b + 2), row = GetWord(b), fi = GetWord(b + 4);
    const uint16_t options = GetWord(b + 14);
    int tl = GetWord(b + 20);
    need(22, tl);
    QByteArray tokens(reinterpret_cast<const char*>(b + 22), m_len - 22);
    const bool special = b[6] < 4 && b[12] == 0xFF && b[13] == 0xFF;
    const bool isExp = tl >= 1 && uint8_t(tokens[0]) == 0x01;

    if ((options & 0x0008) && isExp) {
        uint16_t next = m_stream.PeekRecordId();
        if (next == 0x00BC || next == 0x04BC) {
            uint16_t id;
            addSharedFormula(readNextRecord(id));
        }
        for (const SharedFormula& f : m_shared) {
            if (row < f.firstRow || row > f.lastRow || col < f.firstCol || col > f.lastCol) continue;
            QByteArray converted = f.data;
            try {
                ConvertSharedFormula(m_version == xvExcel97, converted, f.tokenLength, row, col);
                tokens = converted;
                tl = f.tokenLength;
            } catch (const EXLSError&) {
                // Not convertible: the cell keeps its cached result.
            }
            break;
        }
    } else if (isExp && m_stream.PeekRecordId() == 0x0221) {
        uint16_t id;
        QByteArray array = readNextRecord(id);
        auto cell = std::make_unique<TArrayFormulaCell>(&m_book->CellFormats(), fi, tokens,
                                                        special ? 0.0 : GetDouble(b + 6), array);
        TArrayFormulaCell* c = cell.get();
        c->TokenLength = tl;
        if (special) {
            switch (b[6]) {
            case 1: c->ResultType = TArrayFormulaCell::arBoolean; c->ResultByte = b[8]; break;
            case 2: c->ResultType = TArrayFormulaCell::arError; c->ResultByte = uint8_t(ErrorIndex(b[8])); break;
            case 3: c->ResultType = TArrayFormulaCell::arEmpty; break;
            default: {
                c->ResultType = TArrayFormulaCell::arString;
                readStringResult(c->ResultText);
                break;
            }
            }
        }
        s->AddCell(col, row, cell.release());
        return;
    }
    if (special) {
        specialResult(col, row, fi, tokens, tl, b[6], b[8]);
        return;
    }
    if (tl == 0) return;
    auto* c = new TNumberFormulaCell(&m_book->CellFormats(), fi, tokens, GetDouble(b + 6));
    c->TokenLength = tl;
    s->AddCell(col, row, c);
}

void TXLSBookReader::specialResult(int col, int row, int fi, const QByteArray& tokens, int tl, int type, int value)
{
    TSheet* s = sheet();
    TCellFormats* f = &m_book->CellFormats();
    TFormulaCell* c = nullptr;
    switch (type) {
    case 1: c = new TBooleanFormulaCell(f, fi, tokens, uint8_t(value)); break;
    case 2: c = new TErrorFormulaCell(f, fi, tokens, uint8_t(ErrorIndex(uint8_t(value)))); break;
    case 3: c = new TStringFormulaCell(f, fi, tokens, QString()); break;
    case 0: {
        QString text;
        if (!readStringResult(text)) return;
        c = new TStringFormulaCell(f, fi, tokens, text);
        break;
    }
    default: return;
    }
    c->TokenLength = tl;
    s->AddCell(col, row, c);
}

void TXLSBookReader::addSharedFormula(const QByteArray& sh)
{
    CheckRange(sh.size(), 0, 10);
    const auto* p = reinterpret_cast<const uint8_t*>(sh.constData());
    SharedFormula f{GetWord(p), GetWord(p + 2), p[4], p[5], GetWord(p + 8), sh.mid(10)};
    CheckRange(f.data.size(), 0, f.tokenLength);
    m_shared.append(f);
}

// The text result of a formula is in the STRING record after it. Between the two may come the
// records that belong to the formula: its what-if TABLE, its ARRAY or the SHRFMLA of the range it
// starts. These are taken as the loop would take them (a shared formula is registered, the others
// are kept raw). False when no STRING record follows.
bool TXLSBookReader::readStringResult(QString& text)
{
    uint16_t next = m_stream.PeekRecordId();
    while (next == 0x0236 || next == 0x0221 || next == 0x00BC || next == 0x04BC) {
        uint16_t id;
        QByteArray r = readNextRecord(id);
        if (id == 0x00BC || id == 0x04BC) addSharedFormula(r);
        else m_storage->AddRec(RecordHeader(id, uint16_t(r.size())), reinterpret_cast<const uint8_t*>(r.constData()));
        next = m_stream.PeekRecordId();
    }
    if (next != 0x0207 && next != 0x0007) return false;
    uint16_t id;
    QByteArray str = readNextRecord(id);
    const auto* p = reinterpret_cast<const uint8_t*>(str.constData());
    if (id == 0x0207) {
        CheckRange(str.size(), 0, 2);
        text = continuedText(p, str.size(), 2, GetWord(p));
    } else {
        CheckRange(str.size(), 0, 1);
        const int n = p[0];
        CheckRange(str.size(), 1, n);
        text = AnsiCodec().toUnicode(str.constData() + 1, n);
    }
    return true;
}

// A text of `count` characters at `offset` of a record body (from its option byte in BIFF8); a
// text longer than the record goes on in the CONTINUE records after it.
QString TXLSBookReader::continuedText(const uint8_t* body, qint64 size, qint64 offset, int count)
{
    const bool b8 = m_version == xvExcel97;
    const uint8_t* p = body + offset;
    const qint64 avail = size - offset;
    if (b8) {
        const qint64 bytes = avail > 0 && p[0] == 1 ? 2 * qint64(count) : count;
        if (count <= 0 || avail - 1 >= bytes || m_stream.PeekRecordId() != 0x003C) return ReadBIFFString(p, avail, count);
    } else if (avail >= count || m_stream.PeekRecordId() != 0x003C) {
        CheckRange(size, offset, count);
        return AnsiCodec().toUnicode(reinterpret_cast<const char*>(p), count);
    }
    QList<QByteArray> pieces;
    while (m_stream.PeekRecordId() == 0x003C) {
        uint16_t id;
        pieces.append(readNextRecord(id));
    }
    return JoinContinuedText(p, avail, pieces, count, b8);
}

void TXLSBookReader::onFont()
{
    const uint8_t* b = body();
    TXFonts& fonts = m_book->Fonts();
    TXFont* f = fonts.AddDefault();
    f->UsageCount = 1;
    if (m_version >= xvExcel50) {
        need(0, 15);
        f->Size20 = GetWord(b);
        uint16_t opt = GetWord(b + 2);
        f->Style = uint8_t(((opt & 0x0002) ? xfsItalic : 0) | ((opt & 0x0008) ? xfsStrikeOut : 0) |
                           (GetWord(b + 6) > 699 ? xfsBold : 0));
        int color = GetWord(b + 4);
        f->Color = uint8_t(color >= 256 ? 8 : qMin(color, 64));
        f->Underline = TXUnderline(b[10] == 1 ? xulSingle : b[10] == 2 ? xulDouble : b[10] == 0x21 ? xulSingleAccount
                                   : b[10] == 0x22 ? xulDoubleAccount : xulNone);
        f->Family = b[11];
        f->Charset = b[12];
        int n = b[14];
        if (m_version == xvExcel97) {
            f->Name = ReadBIFFString(b + 15, m_len - 15, n);
        } else {
            need(15, n);
            f->Name = AnsiCodec().toUnicode(reinterpret_cast<const char*>(b + 15), n);
        }
    } else {
        // BIFF2: height, options, name; BIFF3/4 add a colour before the name.
        const int nameAt = m_id == 0x0231 ? 6 : 4;
        need(0, nameAt + 1);
        f->Size20 = GetWord(b);
        uint16_t opt = GetWord(b + 2);
        f->Style = uint8_t(((opt & 0x0001) ? xfsBold : 0) | ((opt & 0x0002) ? xfsItalic : 0) | ((opt & 0x0008) ? xfsStrikeOut : 0));
        f->Underline = (opt & 0x0004) ? xulSingle : xulNone;
        if (m_id == 0x0231) {
            int color = GetWord(b + 4);
            f->Color = uint8_t(color >= 256 ? 8 : qMin(color, 64));
        }
        int n = b[nameAt];
        need(nameAt + 1, n);
        f->Name = AnsiCodec().toUnicode(reinterpret_cast<const char*>(b + nameAt + 1), n);
    }
    if (fonts.Count() == 4) fonts.AddDefault();   // font index 4 is never used in a file
}

void TXLSBookReader::onFilePass()
{
    m_taken = false;
    need(0, 2);
    const uint8_t* b = body();
    const int type = GetWord(b);
    if (type == 0) throw EXLSError(QStringLiteral("File encrypted with non-standard key. French?"));
    if (type != 1) throw EXLSError(QStringLiteral("Can not read file, unknown type of encryption."));
    // Type 1 is RC4 (header version 1.1) or RC4 CryptoAPI (versions 2 to 4), which we cannot read.
    if (m_len < 6 || GetWord(b + 2) != 1 || GetWord(b + 4) != 1)
        throw EXLSError(QStringLiteral("Can not read file, unknown type of encryption."));
    need(0, 54);
    // A workbook that is only write-protected is encrypted with the published default password.
    if (m_stream.CheckPassword(b, m_len, QStringLiteral("VelvetSweatshop"))) return;
    if (!m_book->OnPassword) throw EXLSError(QStringLiteral("File is encrypted. Password required."));
    QString pw;
    m_book->OnPassword(m_book, pw);
    if (pw.isEmpty()) throw EXLSError(QStringLiteral("Password is missing."));
    if (!m_stream.CheckPassword(b, m_len, pw)) throw EXLSError(QStringLiteral("Invalid password"));
}

static void readSelectionInto(TSelectedAreas& sa, const uint8_t* b, int len)
{
    CheckRange(len, 0, 9);
    sa.Areas.clear();
    sa.ActiveRow = GetWord(b + 1);
    sa.ActiveCol = GetWord(b + 3);
    sa.ActiveArea = GetWord(b + 5);
    int n = GetWord(b + 7);
    CheckRange(len, 9, 6 * qint64(n));
    for (int i = 0; i < n; ++i) {
        const uint8_t* r = b + 9 + 6 * i;
        sa.Areas.append({r[4], GetWord(r), r[5], GetWord(r + 2)});
    }
}

void TXLSBookReader::onSelection()
{
    TSheet* s = sheet();
    if (!s) return;
    readSelectionInto(s->SelectedAreas(), body(), m_len);
}

void TXLSBookReader::onPane()
{
    TSheet* s = sheet();
    const uint8_t* b = body();
    need(0, 9);
    if (b[8] > 3) throw EXLSError(QStringLiteral("Value out of range"));
    if (!s) return;
    TPane& p = s->Pane();
    p.PaneType = b[8] == 0 ? ptSplit : TPaneType(qMin<int>(b[8], 2));
    p.SplitColX = GetWord(b);
    p.SplitRowY = GetWord(b + 2);
    p.TopRow = GetWord(b + 4);
    p.LeftCol = GetWord(b + 6);
    while (m_stream.PeekRecordId() == 0x001D) {
        uint16_t id;
        QByteArray sel = readNextRecord(id);
        p.Selections.append(sel);
        if (!sel.isEmpty() && uint8_t(sel[0]) == 3)
            readSelectionInto(s->SelectedAreas(), reinterpret_cast<const uint8_t*>(sel.constData()), int(sel.size()));
    }
}

// The drawing group: one container whose length its own header gives, over the record and
// its continuations. Kept as read.
void TXLSBookReader::onDrawingGroup()
{
    QByteArray& dg = m_book->DrawingGroup();
    m_stream.BeginDrawingMode(m_len);
    uint8_t head[8];
    int n = m_stream.ReadBody(head, 8);
    if (n < 8) {
        m_stream.EndDrawingMode();
        throw EXLSError(QStringLiteral("Drawing group too short"));
    }
    qint64 rest = GetDWord(head + 4);
    rest = qMin<qint64>(rest, m_stream.Size() - m_stream.Position());
    QByteArray data(qsizetype(8 + rest), Qt::Uninitialized);
    std::memcpy(data.data(), head, 8);
    const qint64 got = m_stream.ReadDrawingBody(data.data() + 8, rest);
    data.truncate(qsizetype(8 + got));
    m_stream.SkipRestOfPiece();
    m_stream.EndDrawingMode();
    if (m_version == xvExcel97 && dg.isEmpty()) {
        TMSOPictures& pictures = m_book->MSOPictures();
        try {
            pictures.ReadDrawingGroup(data);
            return;
        } catch (const EXLSError& e) {
            // The group stays as read; its pictures are not known.
            pictures.Clear();
            warn(e, m_id);
        }
    }
    dg += data;
}

// A sheet drawing that cannot be read is kept raw with the records it took, and the rest of
// the sheet's drawing records stay raw too.
void TXLSBookReader::onDrawing(TSheet* s)
{
    ReaderSource src(m_stream, [this](uint16_t& id) { return readNextRecord(id); });
    TEscherDrawing& d = s->Drawing();
    try {
        d.ReadDrawing(QByteArray(reinterpret_cast<const char*>(body()), m_len), src);
        m_taken = false;
    } catch (const EXLSError& e) {
        warn(e, m_id);
        s->ClearDrawing();
        m_drawingFailed = true;
        storeRaw();
        for (const auto& r : src.Taken)
            m_storage->AddRec(RecordHeader(r.first, uint16_t(r.second.size())), reinterpret_cast<const uint8_t*>(r.second.constData()));
    }
}

// A chart sheet whose records cannot be read keeps them raw, up to the end of its substream.
void TXLSBookReader::onChartSheet()
{
    const QString name = m_cursor < m_directory.size() ? SheetNameText(m_directory[m_cursor].first) : QStringLiteral("Chart");
    const QByteArray bof(reinterpret_cast<const char*>(body()), m_len);
    TSheetCharts& charts = m_book->SheetCharts();
    ReaderSource src(m_stream, [this](uint16_t& id) { return readNextRecord(id); });
    try {
        charts.ReadChartSheet(src, name, m_cursor, bof, &m_book->Fonts());
    } catch (const EXLSError& e) {
        warn(e, m_id);
        TSheetChart& c = charts[charts.Count() - 1];
        c.Root.reset();
        c.Drawing.reset();
        c.Raw.append({m_id, bof});
        for (const auto& r : src.Taken) c.Raw.append({r.first, r.second});
        if (src.Taken.isEmpty() || src.Taken.last().first != 0x000A) {
            while (m_stream.PeekRecordId() != 0) {
                uint16_t id;
                QByteArray r = readNextRecord(id);
                c.Raw.append({id, r});
                if (id == 0x000A) break;
            }
        }
    }
}

// Picture references of the shapes become collection indexes.
void TXLSBookReader::linkPictures()
{
    const QList<int> positions = m_book->MSOPictures().BsePositions();
    for (int i = 0; i < m_book->Sheets().Count(); ++i) {
        TEscherDrawing& d = m_book->Sheets().Items(i)->Drawing();
        try {
            LinkBlipIds(d, positions);
        } catch (const EXLSError& e) {
            m_book->ShowMessage(QStringLiteral("Sheet ") + m_book->Sheets().Items(i)->Name() + QStringLiteral(": ") + e.message());
        }
    }
}

}
