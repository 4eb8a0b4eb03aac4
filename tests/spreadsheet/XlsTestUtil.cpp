#include "XlsTestUtil.h"
#include "spreadsheet/XLSBook.h"

#include <QCryptographicHash>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <algorithm>
#include <cstring>
#include <gtest/gtest.h>

namespace xlstest {

QByteArray u8(int v) { return QByteArray(1, char(v & 0xFF)); }
QByteArray u16(int v) { QByteArray b(2, 0); b[0] = char(v & 0xFF); b[1] = char((v >> 8) & 0xFF); return b; }
QByteArray u32(uint32_t v) { QByteArray b(4, 0); for (int i = 0; i < 4; ++i) b[i] = char((v >> (8 * i)) & 0xFF); return b; }
QByteArray f64(double v)
{
    QByteArray b(8, 0);
    uint64_t u;
    std::memcpy(&u, &v, 8);
    for (int i = 0; i < 8; ++i) b[i] = char((u >> (8 * i)) & 0xFF);
    return b;
}
QByteArray rec(int id, const QByteArray& body) { return u16(id) + u16(int(body.size())) + body; }

QByteArray str8body(const QString& s)
{
    bool wide = std::any_of(s.begin(), s.end(), [](QChar c) { return c.unicode() > 255; });
    QByteArray b = u8(wide ? 1 : 0);
    for (QChar c : s) b += wide ? u16(c.unicode()) : u8(c.unicode());
    return b;
}
QByteArray str16(const QString& s) { return u16(int(s.size())) + str8body(s); }

QByteArray bof8(int type) { return rec(0x0809, u16(0x0600) + u16(type) + u16(0x0DBB) + u16(0x07CC) + u32(0x41) + u32(6)); }
QByteArray bof5(int type) { return rec(0x0809, u16(0x0500) + u16(type) + u16(0x0DBB) + u16(0x07CC)); }
QByteArray dims8(int r1, int r2, int c1, int c2) { return rec(0x0200, u32(r1) + u32(r2) + u16(c1) + u16(c2) + u16(0)); }
QByteArray number(int row, int col, double v, int xf) { return rec(0x0203, u16(row) + u16(col) + u16(xf) + f64(v)); }
QByteArray labelsst(int row, int col, uint32_t index, int xf) { return rec(0x00FD, u16(row) + u16(col) + u16(xf) + u32(index)); }
QByteArray sst(const QStringList& strings)
{
    QByteArray b = u32(uint32_t(strings.size())) + u32(uint32_t(strings.size()));
    for (const QString& s : strings) b += str16(s);
    return rec(0x00FC, b);
}
QByteArray boolerr(int row, int col, int v, bool isError, int xf)
{
    return rec(0x0205, u16(row) + u16(col) + u16(xf) + u8(v) + u8(isError ? 1 : 0));
}
QByteArray formula8(int row, int col, double result, const QByteArray& tokens, int options, int xf)
{
    return rec(0x0006, u16(row) + u16(col) + u16(xf) + f64(result) + u16(options) + u32(0) + u16(int(tokens.size())) + tokens);
}
QByteArray formula8Special(int row, int col, int type, int value, const QByteArray& tokens, int options, int xf)
{
    QByteArray res = u8(type) + u8(0) + u8(value) + u8(0) + u8(0) + u8(0) + u16(0xFFFF);
    return rec(0x0006, u16(row) + u16(col) + u16(xf) + res + u16(options) + u32(0) + u16(int(tokens.size())) + tokens);
}

static QByteArray buildBook(const QList<Sheet8>& sheets, const QByteArray& globalsExtra, const QByteArray& beforeSheets, bool biff8)
{
    auto boundsheet = [&](const Sheet8& s, uint32_t pos) {
        QByteArray body = u32(pos) + u8(0) + u8(s.type == 0x20 ? 2 : 0);
        if (biff8) body += u8(int(s.name.size())) + str8body(s.name);
        else body += u8(int(s.name.size())) + s.name.toLatin1();
        return rec(0x0085, body);
    };
    QByteArray head = (biff8 ? bof8(5) : bof5(5)) + beforeSheets;
    QByteArray tail = globalsExtra + rec(0x000A, {});
    qint64 bsSize = 0;
    for (const Sheet8& s : sheets) bsSize += boundsheet(s, 0).size();
    uint32_t pos = uint32_t(head.size() + bsSize + tail.size());
    QByteArray bs, body;
    for (const Sheet8& s : sheets) {
        bs += boundsheet(s, pos);
        QByteArray sub = (biff8 ? bof8(s.type) : bof5(s.type)) + s.records + rec(0x000A, {});
        body += sub;
        pos += uint32_t(sub.size());
    }
    return head + bs + tail + body;
}

QByteArray book8(const QList<Sheet8>& sheets, const QByteArray& globalsExtra, const QByteArray& beforeSheets)
{
    return buildBook(sheets, globalsExtra, beforeSheets, true);
}
QByteArray book5(const QList<Sheet8>& sheets, const QByteArray& globalsExtra) { return buildBook(sheets, globalsExtra, {}, false); }

// ---- compound file writer

namespace {
constexpr uint32_t EOC = 0xFFFFFFFE, FREE = 0xFFFFFFFF, FATSECT = 0xFFFFFFFD;
void put32(QByteArray& b, qint64 off, uint32_t v) { for (int i = 0; i < 4; ++i) b[off + i] = char((v >> (8 * i)) & 0xFF); }
void put16(QByteArray& b, qint64 off, int v) { b[off] = char(v & 0xFF); b[off + 1] = char((v >> 8) & 0xFF); }
}

CfbFile compoundFile(const QList<QPair<QString, QByteArray>>& streamsIn, int version)
{
    const int ss = version == 4 ? 4096 : 512;
    CfbFile out;
    out.sectorSize = ss;
    // Sort entries the way the directory compares names: by length, then upper-cased.
    QList<QPair<QString, QByteArray>> streams = streamsIn;
    std::sort(streams.begin(), streams.end(), [](const auto& a, const auto& b) {
        if (a.first.size() != b.first.size()) return a.first.size() < b.first.size();
        return a.first.toUpper() < b.first.toUpper();
    });
    QByteArray mini;
    QList<uint32_t> miniFat;
    QList<QByteArray> sectors;   // regular sectors' contents, in id order
    QList<uint32_t> fat;
    QMap<QString, uint32_t> starts;
    auto addChain = [&](const QByteArray& data) -> uint32_t {
        if (data.isEmpty()) return EOC;
        uint32_t first = uint32_t(sectors.size());
        for (qint64 off = 0; off < data.size(); off += ss) {
            QByteArray s = data.mid(off, ss);
            s.resize(ss, 0);
            sectors.append(s);
            fat.append(uint32_t(sectors.size()));
        }
        fat.last() = EOC;
        return first;
    };
    for (const auto& [name, data] : streams) {
        if (data.size() >= 4096) {
            starts[name] = addChain(data);
        } else if (!data.isEmpty()) {
            uint32_t first = uint32_t(mini.size() / 64);
            for (qint64 off = 0; off < data.size(); off += 64) {
                QByteArray s = data.mid(off, 64);
                s.resize(64, 0);
                mini += s;
                miniFat.append(uint32_t(mini.size() / 64));
            }
            miniFat.last() = EOC;
            starts[name] = first;
        } else {
            starts[name] = EOC;
        }
    }
    uint32_t miniStart = addChain(mini);
    QByteArray miniFatBytes;
    for (uint32_t v : miniFat) miniFatBytes += u32(v);
    while (miniFatBytes.size() % ss) miniFatBytes += u32(FREE);
    uint32_t miniFatStart = miniFat.isEmpty() ? EOC : addChain(miniFatBytes);
    int miniFatSectors = int(miniFatBytes.size() / ss);
    // Directory: root, then the streams as a right-linked chain.
    QByteArray dir;
    auto entry = [&](const QString& name, int type, uint32_t right, uint32_t child, uint32_t start, uint32_t size) {
        QByteArray e(128, 0);
        for (int i = 0; i < name.size(); ++i) put16(e, 2 * i, name[i].unicode());
        put16(e, 0x40, int(2 * (name.size() + 1)));
        e[0x42] = char(type);
        e[0x43] = 1;
        put32(e, 0x44, FREE);
        put32(e, 0x48, right);
        put32(e, 0x4C, child);
        put32(e, 0x74, start);
        put32(e, 0x78, size);
        return e;
    };
    dir += entry(QStringLiteral("Root Entry"), 5, FREE, streams.isEmpty() ? FREE : 1, miniStart, uint32_t(mini.size()));
    for (int i = 0; i < streams.size(); ++i)
        dir += entry(streams[i].first, 2, i + 1 < streams.size() ? uint32_t(i + 2) : FREE, FREE, starts[streams[i].first],
                     uint32_t(streams[i].second.size()));
    while (dir.size() % ss) dir += QByteArray(128, 0);
    // empty entries need FREE siblings
    for (qint64 off = 128 * (streams.size() + 1); off < dir.size(); off += 128) {
        put32(dir, off + 0x44, FREE);
        put32(dir, off + 0x48, FREE);
        put32(dir, off + 0x4C, FREE);
    }
    uint32_t dirStart = addChain(dir);
    // FAT sectors at the end; they describe themselves.
    const int perFat = ss / 4;
    int fatSectors = 1;
    while (int(sectors.size()) + fatSectors > fatSectors * perFat) ++fatSectors;
    uint32_t fatStart = uint32_t(sectors.size());
    for (int i = 0; i < fatSectors; ++i) fat.append(FATSECT);
    while (fat.size() % perFat) fat.append(FREE);
    QByteArray header(ss, 0);
    const uint8_t sig[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
    std::memcpy(header.data(), sig, 8);
    put16(header, 0x18, 0x3E);
    put16(header, 0x1A, version);
    put16(header, 0x1C, 0xFFFE);
    put16(header, 0x1E, version == 4 ? 12 : 9);
    put16(header, 0x20, 6);
    put32(header, 0x2C, uint32_t(fatSectors));
    put32(header, 0x30, dirStart);
    put32(header, 0x38, 4096);
    put32(header, 0x3C, miniFatStart);
    put32(header, 0x40, uint32_t(miniFatSectors));
    put32(header, 0x44, EOC);
    put32(header, 0x48, 0);
    for (int i = 0; i < 109; ++i) put32(header, 0x4C + 4 * i, i < fatSectors ? fatStart + uint32_t(i) : FREE);
    QByteArray bytes = header;
    for (const QByteArray& s : sectors) bytes += s;
    for (int i = 0; i < fatSectors; ++i) {
        out.fatSectorOffsets.append(bytes.size());
        QByteArray s;
        for (int k = 0; k < perFat; ++k) s += u32(fat[i * perFat + k]);
        bytes += s;
    }
    out.bytes = bytes;
    out.start = starts;
    return out;
}

void setFatEntry(CfbFile& f, uint32_t sector, uint32_t value)
{
    const int perFat = f.sectorSize / 4;
    qint64 off = f.fatSectorOffsets[int(sector / perFat)] + 4 * (sector % perFat);
    put32(f.bytes, off, value);
}

void scatterStream(CfbFile& f, const QString& name, qint64 size, const QList<int>& order)
{
    const int ss = f.sectorSize;
    const uint32_t first = f.start[name];
    const int n = int((size + ss - 1) / ss);
    Q_ASSERT(order.size() == n);
    auto at = [&](int slot) { return qint64(first + uint32_t(slot) + 1) * ss; };
    const QByteArray old = f.bytes.mid(at(0), qint64(n) * ss);
    for (int k = 0; k < n; ++k) {
        f.bytes.replace(at(order[k]), ss, old.mid(qint64(k) * ss, ss));
        setFatEntry(f, first + uint32_t(order[k]), k + 1 < n ? first + uint32_t(order[k + 1]) : EOC);
    }
    f.start[name] = first + uint32_t(order[0]);
    // the directory entry names the new first sector
    const QByteArray utf16(reinterpret_cast<const char*>(name.utf16()), name.size() * 2);
    const qsizetype entry = f.bytes.lastIndexOf(utf16 + QByteArray(2, 0));
    Q_ASSERT(entry > 0);
    put32(f.bytes, entry + 0x74, f.start[name]);
}

// ---- RC4 encryption, independent of the reader's own classes

namespace {
struct Rc4 {
    uint8_t s[256];
    uint8_t i = 0, j = 0;
    explicit Rc4(const QByteArray& key)
    {
        for (int k = 0; k < 256; ++k) s[k] = uint8_t(k);
        uint8_t jj = 0;
        for (int k = 0; k < 256; ++k) {
            jj = uint8_t(jj + s[k] + uint8_t(key[k % key.size()]));
            std::swap(s[k], s[jj]);
        }
    }
    uint8_t next()
    {
        i = uint8_t(i + 1);
        j = uint8_t(j + s[i]);
        std::swap(s[i], s[j]);
        return s[uint8_t(s[i] + s[j])];
    }
};
QByteArray md5(const QByteArray& b) { return QCryptographicHash::hash(b, QCryptographicHash::Md5); }
QByteArray blockKey(const QByteArray& base5, uint32_t block) { return md5(base5 + u32(block)); }
}

QByteArray encryptWorkbook(const QByteArray& plain, const QString& password)
{
    QByteArray pw;
    for (QChar c : password.left(31)) pw += u16(c.unicode());
    QByteArray salt;
    for (int i = 0; i < 16; ++i) salt += char(0x30 + i * 7);
    QByteArray h0 = md5(pw).left(5);
    QByteArray buf;
    for (int i = 0; i < 16; ++i) buf += h0 + salt;
    QByteArray base = md5(buf).left(5);
    QByteArray verifier = QByteArray("0123456789ABCDEF");
    QByteArray vh = md5(verifier);
    Rc4 r0(blockKey(base, 0));
    QByteArray ev = verifier, evh = vh;
    for (auto& c : ev) c = char(uint8_t(c) ^ r0.next());
    for (auto& c : evh) c = char(uint8_t(c) ^ r0.next());
    QByteArray filepass = rec(0x002F, u16(1) + u16(1) + u16(1) + salt + ev + evh);
    // insert after the first BOF
    int bofLen = 4 + (uint8_t(plain[2]) | (uint8_t(plain[3]) << 8));
    QByteArray s = plain.left(bofLen) + filepass + plain.mid(bofLen);
    // fix BOUNDSHEET positions (shifted by the FILEPASS record)
    qint64 pos = 0;
    while (pos + 4 <= s.size()) {
        int id = uint8_t(s[pos]) | (uint8_t(s[pos + 1]) << 8);
        int len = uint8_t(s[pos + 2]) | (uint8_t(s[pos + 3]) << 8);
        if (id == 0x0085) put32(s, pos + 4, (uint8_t(s[pos + 4]) | (uint8_t(s[pos + 5]) << 8) | (uint8_t(s[pos + 6]) << 16) |
                                             (uint32_t(uint8_t(s[pos + 7])) << 24)) + uint32_t(filepass.size()));
        pos += 4 + len;
    }
    // encrypt bodies after FILEPASS: not the headers, not BOF bodies, not BOUNDSHEET positions,
    // not the records writers leave plain (interface header, shared-workbook and revision records)
    pos = bofLen + filepass.size();
    while (pos + 4 <= s.size()) {
        int id = uint8_t(s[pos]) | (uint8_t(s[pos + 1]) << 8);
        int len = uint8_t(s[pos + 2]) | (uint8_t(s[pos + 3]) << 8);
        qint64 b = pos + 4;
        const bool plainRecord = (id & 0xFF) == 0x09 || id == 0x00E1 || id == 0x0194 || id == 0x0195 || id == 0x0196 || id == 0x0138;
        if (!plainRecord) {
            for (qint64 k = (id == 0x0085 ? 4 : 0); k < len; ++k) {
                qint64 p = b + k;
                Rc4 r(blockKey(base, uint32_t(p / 1024)));
                for (qint64 skip = 0; skip < p % 1024; ++skip) r.next();
                s[p] = char(uint8_t(s[p]) ^ r.next());
            }
        }
        pos = b + len;
    }
    return s;
}

QString python(const QString& script, const QStringList& args, int* exitCode)
{
    QProcess p;
    p.start(QStringLiteral("/usr/bin/python3"), QStringList{QStringLiteral("-c"), script} + args);
    bool ok = p.waitForFinished(120000);
    QString err = QString::fromUtf8(p.readAllStandardError());
    if (exitCode) *exitCode = p.exitCode();
    else if (!ok || p.exitCode() != 0) ADD_FAILURE() << "python failed: " << err.toStdString();
    return QString::fromUtf8(p.readAllStandardOutput());
}

namespace {
// Every cell text as xlrd gives it, formatted the way CellText does: numbers with up to 15
// significant digits ("." as separator, trailing zeros dropped, "1E20" / "1.5E-7" outside
// 1E-5 .. 1E15, "NAN", "INF"), booleans TRUE/FALSE, errors by their text.
const char* const xlrdDump = R"PY(
import json, os, sys, xlrd, xlrd.book
# a defined name whose formula xlrd cannot evaluate must not keep it from reading the cells
evaluate = xlrd.book.evaluate_name_formula
def tolerant(*args, **kwargs):
    try: evaluate(*args, **kwargs)
    except Exception: pass
xlrd.book.evaluate_name_formula = tolerant
def num(v):
    if v != v: return "NAN"
    if v in (float('inf'), float('-inf')): return "INF" if v > 0 else "-INF"
    if v == 0: return "0"
    mant, exp = ('%.14e' % v).split('e'); exp = int(exp)
    neg = mant.startswith('-'); mant = mant.lstrip('-')
    d = mant.replace('.', '').rstrip('0') or '0'
    if exp >= 15 or exp < -5:
        out = d[0] + ('.' + d[1:] if len(d) > 1 else '') + 'E' + ('-' if exp < 0 else '') + str(abs(exp))
    elif exp >= 0:
        out = d[:exp + 1].ljust(exp + 1, '0') + ('.' + d[exp + 1:] if len(d) > exp + 1 else '')
    else:
        out = '0.' + '0' * (-exp - 1) + d
    return ('-' if neg else '') + out
errs = {0x00: '#NULL!', 0x07: '#DIV/0!', 0x0F: '#VALUE!', 0x17: '#REF!', 0x1D: '#NAME?', 0x24: '#NUM!', 0x2A: 'N/A'}
b = xlrd.open_workbook(sys.argv[1], logfile=open(os.devnull, 'w'))
out = []
for s in b.sheets():
    cells = {}
    for r in range(s.nrows):
        for c in range(s.ncols):
            cell = s.cell(r, c)
            t = cell.ctype
            if t in (xlrd.XL_CELL_EMPTY, xlrd.XL_CELL_BLANK): v = ''
            elif t in (xlrd.XL_CELL_NUMBER, xlrd.XL_CELL_DATE): v = num(cell.value)
            elif t == xlrd.XL_CELL_BOOLEAN: v = 'TRUE' if cell.value else 'FALSE'
            elif t == xlrd.XL_CELL_ERROR: v = errs.get(cell.value, '#???')
            else: v = cell.value
            cells['%d,%d' % (r, c)] = v
    out.append({'name': s.name, 'rows': s.nrows, 'cols': s.ncols, 'cells': cells})
print(json.dumps(out))
)PY";
}

QJsonArray xlrdSheets(const QString& path)
{
    return QJsonDocument::fromJson(python(xlrdDump, {path}).toUtf8()).array();
}

int crossCheck(const xls::TXLSBook& book, const QJsonArray& sheets, const CrossCheckRules& rules)
{
    int compared = 0;
    EXPECT_EQ(book.Sheets().Count(), sheets.size());
    if (book.Sheets().Count() != sheets.size()) return 0;
    for (int i = 0; i < sheets.size(); ++i) {
        const QJsonObject js = sheets[i].toObject();
        const xls::TSheet* s = book.Sheets()[i];
        SCOPED_TRACE("sheet " + std::to_string(i));
        if (rules.sheetNames) {
            EXPECT_EQ(s->Name(), js["name"].toString());
        }
        const QJsonObject cells = js["cells"].toObject();
        const int rows = js["rows"].toInt(), cols = js["cols"].toInt();
        for (int r = 0; r < rows; ++r)
            for (int c = 0; c < cols; ++c) {
                const QString expected = cells[QStringLiteral("%1,%2").arg(r).arg(c)].toString();
                EXPECT_EQ(s->CellText(c, r), expected) << "row " << r << " col " << c;
                ++compared;
                // A cell with a text lies inside the rows and columns an import reads, and (unless
                // the file's DIMENSIONS record is too small) inside the sheet's extents.
                if (!expected.isEmpty()) {
                    const xls::TSheet::TUsedArea area = s->UsedArea();
                    EXPECT_TRUE(r >= area.firstRow && r <= area.lastRow && c >= area.firstCol && c <= area.lastCol)
                        << "row " << r << " col " << c << " outside the area an import reads";
                }
                if (!expected.isEmpty() && !rules.cellsOutsideDimensions) {
                    EXPECT_TRUE(r >= s->FirstRow() && r <= s->LastRow() && c >= s->FirstCol() && c <= s->LastCol())
                        << "row " << r << " col " << c << " outside the extents";
                }
            }
        for (int r = s->FirstRow(); r <= s->LastRow(); ++r)
            for (int c = s->FirstCol(); c <= s->LastCol(); ++c)
                if (r >= rows || c >= cols) {
                    EXPECT_EQ(s->CellText(c, r), QString()) << "row " << r << " col " << c;
                }
    }
    return compared;
}

void crossCheck(const QString& path)
{
    SCOPED_TRACE(path.toStdString());
    const QJsonArray sheets = xlrdSheets(path);
    ASSERT_FALSE(sheets.isEmpty());
    xls::SetDecimalSeparator('.');
    xls::TXLSBook book;
    book.Filename = path;
    book.Read();
    EXPECT_GT(crossCheck(book, sheets), 0);
}

QString writeFile(const QString& dir, const QString& name, const QByteArray& bytes)
{
    QString path = dir + "/" + name;
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly)) ADD_FAILURE() << "cannot write " << path.toStdString();
    f.write(bytes);
    return path;
}

bool hasRecord(const xls::TBaseRecordStorage& storage, int id)
{
    for (int i = 0; i < storage.Count(); ++i)
        if (storage.Item(i)->Id == id) return true;
    return false;
}

}
