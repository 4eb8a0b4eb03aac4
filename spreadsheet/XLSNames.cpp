#include "spreadsheet/XLSNames.h"
#include "spreadsheet/EncodeFormula.h"
#include "spreadsheet/XLSUtils.h"

namespace xls {

// ---- raw texts

QString RawTextToString(const QByteArray& raw)
{
    if (raw.size() < 2) return QString();
    const auto* p = reinterpret_cast<const uint8_t*>(raw.constData());
    if (p[0] == 1) {
        const int n = int(raw.size() - 1) / 2;
        QString s(n, Qt::Uninitialized);
        for (int i = 0; i < n; ++i) s[i] = QChar(GetWord(p + 1 + 2 * i));
        return s;
    }
    return QString::fromLatin1(raw.constData() + 1, raw.size() - 1);
}

QByteArray StringToRawText16(const QString& text)
{
    QByteArray raw(1, '\1');
    raw.reserve(1 + 2 * text.size());
    for (QChar c : text) {
        raw.append(char(c.unicode() & 0xFF));
        raw.append(char(c.unicode() >> 8));
    }
    return raw;
}

QByteArray StringToRawText(const QString& text)
{
    for (QChar c : text)
        if (c.unicode() > 0xFF) return StringToRawText16(text);
    return QByteArray(1, '\0') + text.toLatin1();
}

// Reads a raw text of `count` characters whose flag byte is at `offset`; `offset` moves past it.
static QByteArray readRawText(const uint8_t* data, int length, int& offset, int count)
{
    CheckRange(length, offset, 1);
    const int bytes = data[offset] == 1 ? 2 * count : count;
    CheckRange(length, offset + 1, bytes);
    QByteArray raw(reinterpret_cast<const char*>(data + offset), 1 + bytes);
    if (raw[0] != 1) raw[0] = 0;
    offset += 1 + bytes;
    return raw;
}

static int rawLength(const QByteArray& raw) { return raw.isEmpty() ? 0 : (raw[0] == 1 ? int(raw.size() - 1) / 2 : int(raw.size() - 1)); }

QString BytesToHex(const QByteArray& bytes) { return QString::fromLatin1(bytes.toHex().toUpper()); }

QByteArray HexToBytes(const QString& hex)
{
    if (hex.size() % 2 != 0) throw EXLSError(QStringLiteral("Length error in hex string."));
    QByteArray out;
    out.reserve(hex.size() / 2);
    for (int i = 0; i < hex.size(); i += 2) {
        bool ok = false;
        const int v = hex.mid(i, 2).toInt(&ok, 16);
        out.append(char(ok ? v : 0));
    }
    return out;
}

static bool isCellLike(const QString& s)
{
    // A1-style references of the sheet grid ("AB12") and R1C1-style ones ("R1C1", "R", "C") would be
    // read as cells.
    int i = 0;
    while (i < s.size() && s[i].isLetter() && s[i].unicode() < 128) ++i;
    if (i >= 1 && i <= 2 && i < s.size() && (i == 1 || s.left(2).toUpper() <= QLatin1String("IV"))) {
        int j = i;
        while (j < s.size() && s[j].isDigit()) ++j;
        if (j == s.size()) return true;
    }
    const QString u = s.toUpper();
    return u == QLatin1String("R") || u == QLatin1String("C") ||
           (u.startsWith('R') && u.size() > 1 && (u[1].isDigit() || u[1] == 'C'));
}

static bool needsQuotes(const QString& name)
{
    if (name.isEmpty() || name[0].isDigit() || isCellLike(name)) return true;
    for (QChar c : name)
        if (!(c.isLetterOrNumber() || c == '_' || c == '.')) return true;
    return false;
}

QString QuotedSheetRef(const QString& first, const QString& last)
{
    if (first.isEmpty()) return first;
    const bool range = !last.isNull() && last != first;
    const QString text = range ? first + ':' + last : first;
    if (!needsQuotes(first) && !(range && needsQuotes(last))) return text;
    QString q = text;
    q.replace('\'', QStringLiteral("''"));
    return '\'' + q + '\'';
}

// ---- external names

QByteArray TExtName::countedName() const
{
    return QByteArray(1, char(rawLength(Name))) + (Name.isEmpty() ? QByteArray(1, '\0') : Name);
}

QByteArray TExtName::Write() const
{
    const QByteArray b = body();
    QByteArray r(4, 0);
    auto* p = reinterpret_cast<uint8_t*>(r.data());
    PutWord(p, 0x0023);
    PutWord(p + 2, uint16_t(b.size()));
    return r + b;
}

static QByteArray le16(int v)
{
    QByteArray b(2, '\0');
    PutWord(reinterpret_cast<uint8_t*>(b.data()), uint16_t(v));
    return b;
}
static QByteArray le32(uint32_t v) { return le16(int(v & 0xFFFF)) + le16(int(v >> 16)); }

QByteArray TExtNameName::body() const
{
    return le16(Options) + le16(0) + le16(0) + countedName() + le16(int(Definition.size())) + Definition;
}

QByteArray TExtNameDDE::body() const { return le16(Options) + le16(0) + le16(0) + countedName(); }

QByteArray TExtNameOLE::body() const { return le16(Options) + le32(StorageId) + countedName(); }

// ---- supporting workbooks

QString TSupBook::PathText(bool formulaForm) const
{
    const QString chars = RawTextToString(Path);
    if (chars.isEmpty()) return QString();   // own workbook and add-in functions
    QString out;
    int sepAt = -1;   // where the last directory code was written (formula form with sheets)
    int i = 0;
    if (chars.size() >= 2 && chars[0].unicode() < 3) i = 1;   // the encoding marker
    for (; i < chars.size(); ++i) {
        const ushort c = chars[i].unicode();
        switch (c) {
        case 1:
            if (i + 1 < chars.size()) {
                const QChar arg = chars[i + 1];
                if (arg == '@') out += QStringLiteral("\\\\");
                else out += QString(arg) + QStringLiteral(":\\");
                ++i;
            }
            break;
        case 2: case 3:
            if (formulaForm && Sheets.empty()) out += '|';
            else out += '\\';
            break;
        case 4: out += QStringLiteral("..\\"); break;
        case 5: case 6: case 7: case 8: break;
        default: out += chars[i]; break;
        }
    }
    if (!formulaForm) return out;
    if (Sheets.empty()) return out + '!';
    sepAt = int(out.lastIndexOf('\\'));
    return out.left(sepAt + 1) + '[' + out.mid(sepAt + 1) + ']';
}

void TExternalNames::AddSupBook(const uint8_t* data, int length)
{
    auto sb = std::make_unique<TSupBook>();
    // A SUPBOOK that cannot be read is kept empty, so that the EXTERNSHEET entries after it
    // still point to the right workbooks.
    TSupBook* book = sb.get();
    m_supBooks.push_back(std::move(sb));
    CheckRange(length, 0, 4);
    book->TabCount = GetWord(data);
    const uint16_t second = GetWord(data + 2);
    if (second == TSupBook::OwnWorkbook || second == TSupBook::AddInFunctions) {
        book->Kind = second;
        return;
    }
    int pos = 4;
    book->Path = readRawText(data, length, pos, second);
    for (int i = 0; i < book->TabCount; ++i) {
        CheckRange(length, pos, 2);
        const int n = GetWord(data + pos);
        pos += 2;
        TSupBookSheet sheet;
        sheet.Name = readRawText(data, length, pos, n);
        book->Sheets.push_back(std::move(sheet));
    }
}

void TExternalNames::AddExternName(const uint8_t* data, int length)
{
    if (m_supBooks.empty()) throw EXLSError(QStringLiteral("No SUPBOOK for EXTERNNAME"));
    CheckRange(length, 0, 8);
    const uint16_t options = GetWord(data);
    std::unique_ptr<TExtName> name;
    if (options <= 1) name = std::make_unique<TExtNameName>();
    else if (options & 0x10) name = std::make_unique<TExtNameOLE>();
    else name = std::make_unique<TExtNameDDE>();
    name->Options = options;
    int pos = 7;
    name->Name = readRawText(data, length, pos, data[6]);
    if (auto* n = dynamic_cast<TExtNameName*>(name.get())) {
        if (pos + 2 <= length) {
            const int count = GetWord(data + pos);
            CheckRange(length, pos + 2, count);
            n->Definition = QByteArray(reinterpret_cast<const char*>(data + pos + 2), count);
        }
    }
    m_supBooks.back()->Names.push_back(std::move(name));
}

void TExternalNames::AddExternSheets(const uint8_t* data, int length)
{
    CheckRange(length, 0, 2);
    const int n = GetWord(data);
    CheckRange(length, 2, 6 * qint64(n));
    m_extSheets.reserve(m_extSheets.size() + size_t(n));
    for (int i = 0; i < n; ++i) {
        const uint8_t* e = data + 2 + 6 * i;
        m_extSheets.push_back({int32_t(GetWord(e)), GetWord(e + 2), GetWord(e + 4)});
    }
}

void TExternalNames::AddCRN(int sheetIndex, const uint8_t* data, int length)
{
    if (m_supBooks.empty()) throw EXLSError(QStringLiteral("No SUPBOOK for CRN"));
    TSupBook* sb = m_supBooks.back().get();
    if (sheetIndex < 0 || sheetIndex >= int(sb->Sheets.size())) throw EXLSError(QStringLiteral("Invalid SUPBOOK Sheet Index"));
    CheckRange(length, 0, 4);
    TCRN crn;
    crn.Col2 = data[0];
    crn.Col1 = data[1];
    crn.Row = GetWord(data + 2);
    crn.Values = QByteArray(reinterpret_cast<const char*>(data + 4), length - 4);
    sb->Sheets[size_t(sheetIndex)].CRNs.push_back(std::move(crn));
}

void TExternalNames::Clear()
{
    m_extSheets.clear();
    m_supBooks.clear();
    BasePath.clear();
}

const TSupBook* TExternalNames::supBookOf(int entry) const
{
    if (entry < 0 || entry >= int(m_extSheets.size())) return nullptr;
    const int sb = m_extSheets[size_t(entry)].SupBook;
    if (sb < 0 || sb >= int(m_supBooks.size())) return nullptr;
    return m_supBooks[size_t(sb)].get();
}

int TExternalNames::ExtSheetToSheet(int entry) const
{
    const TSupBook* sb = supBookOf(entry);
    if (!sb || sb->Kind != TSupBook::OwnWorkbook) return -1;
    return m_extSheets[size_t(entry)].FirstSheet;
}

QString TExternalNames::ExtRefText(int entry, int nameNumber) const
{
    const TSupBook* sb = supBookOf(entry);
    if (!sb) return nameNumber < 0 ? QStringLiteral("#REF!") : QStringLiteral("#NAME?");
    const QString path = sb->PathText(true);
    if (nameNumber < 0) {
        const int sheet = m_extSheets[size_t(entry)].FirstSheet;
        if (sheet >= int(sb->Sheets.size())) return QStringLiteral("#REF!");
        QString inner = path + sb->Sheets[size_t(sheet)].NameText();
        inner.replace('\'', QStringLiteral("''"));
        return '\'' + inner + QStringLiteral("'!");
    }
    if (nameNumber < 1 || nameNumber > int(sb->Names.size())) return path + QStringLiteral("#NAME?");
    return path + sb->Names[size_t(nameNumber - 1)]->NameText();
}

static QString joinedPath(const QString& path, const QString& file)
{
    if (path.isEmpty()) return file;
    return path.endsWith('\\') ? path + file : path + '\\' + file;
}

int TExternalNames::FindExtSheet(const QString& path, const QString& file, const QString& sheet) const
{
    const QString wanted = joinedPath(path, file);
    for (size_t e = 0; e < m_extSheets.size(); ++e) {
        const TSupBook* sb = supBookOf(int(e));
        if (!sb || sb->Kind != 0 || sb->PathText(false).compare(wanted, Qt::CaseInsensitive) != 0) continue;
        const int s = m_extSheets[e].FirstSheet;
        if (s < int(sb->Sheets.size()) && sb->Sheets[size_t(s)].NameText().compare(sheet, Qt::CaseInsensitive) == 0)
            return int(e);
    }
    return -1;
}

int TExternalNames::FindExtName(const QString& path, const QString& file, const QString& name, int& supBook) const
{
    const QString wanted = joinedPath(path, file);
    for (size_t b = 0; b < m_supBooks.size(); ++b) {
        const TSupBook* sb = m_supBooks[b].get();
        if (sb->Kind != 0 || sb->PathText(false).compare(wanted, Qt::CaseInsensitive) != 0) continue;
        for (size_t n = 0; n < sb->Names.size(); ++n) {
            if (sb->Names[n]->NameText().compare(name, Qt::CaseInsensitive) == 0) {
                supBook = int(b);
                return int(n);
            }
        }
    }
    supBook = -1;
    return -1;
}

int TExternalNames::FindOrAddExtSheet(const QString& path, const QString& file, const QString& sheet)
{
    const int found = FindExtSheet(path, file, sheet);
    if (found >= 0) return found;
    const QString wanted = joinedPath(path, file);
    // A workbook already known with that sheet gets a new entry only.
    for (size_t b = 0; b < m_supBooks.size(); ++b) {
        const TSupBook* sb = m_supBooks[b].get();
        if (sb->Kind != 0 || sb->PathText(false).compare(wanted, Qt::CaseInsensitive) != 0) continue;
        for (size_t s = 0; s < sb->Sheets.size(); ++s) {
            if (sb->Sheets[s].NameText().compare(sheet, Qt::CaseInsensitive) == 0) {
                m_extSheets.push_back({int32_t(b), uint16_t(s), uint16_t(s)});
                return int(m_extSheets.size() - 1);
            }
        }
    }
    auto sb = std::make_unique<TSupBook>();
    sb->Kind = 0;
    sb->TabCount = 1;
    QString p = path;
    if (p.endsWith('\\')) p.chop(1);
    // Folder and file are joined by the directory code.
    sb->Path = StringToRawText(p.isEmpty() ? file : p + QChar(3) + file);
    TSupBookSheet s;
    s.Name = StringToRawText(sheet);
    sb->Sheets.push_back(std::move(s));
    m_supBooks.push_back(std::move(sb));
    m_extSheets.push_back({int32_t(m_supBooks.size() - 1), 0, 0});
    return int(m_extSheets.size() - 1);
}

int TExternalNames::FindOrAddIntSheet(int sheet, int sheetCount, int lastSheet)
{
    if (lastSheet < 0) lastSheet = sheet;
    int own = -1;
    for (size_t b = 0; b < m_supBooks.size(); ++b) {
        if (m_supBooks[b]->Kind == TSupBook::OwnWorkbook) {
            own = int(b);
            break;
        }
    }
    if (own >= 0) {
        for (size_t e = 0; e < m_extSheets.size(); ++e) {
            const TExtSheet& x = m_extSheets[e];
            if (x.SupBook == own && x.FirstSheet == sheet && x.LastSheet == lastSheet) return int(e);
        }
    } else {
        auto sb = std::make_unique<TSupBook>();
        sb->Kind = TSupBook::OwnWorkbook;
        sb->TabCount = sheetCount;
        m_supBooks.push_back(std::move(sb));
        own = int(m_supBooks.size() - 1);
    }
    m_extSheets.push_back({own, uint16_t(sheet), uint16_t(lastSheet)});
    return int(m_extSheets.size() - 1);
}

// ---- defined names

int TInternalName::Index() const
{
    for (int i = 0; i < m_owner->Count(); ++i)
        if (m_owner->m_items[size_t(i)].get() == this) return i;
    return -1;
}

QString TInternalName::Name() const
{
    if (Options & 0x0020) return QString();
    return RawTextToString(RawName);
}

void TInternalName::SetName(const QString& name)
{
    if (name.size() < 3) throw EXLSError(QStringLiteral("Invalid name. Must be at least 3 characters"));
    const int found = m_owner->FindName(name);
    if (found >= 0 && m_owner->Items(found) != this)
        throw EXLSError(QStringLiteral("There is allready an area named ") + name);
    RawName = StringToRawText16(name);
    m_owner->NameChanged();
}

TBuiltInName TInternalName::BuiltInName() const
{
    if ((Options & 0x0020) && RawName.size() == 2 && uint8_t(RawName[1]) < 13) return TBuiltInName(uint8_t(RawName[1]));
    return bnNone;
}

void TInternalName::SetBuiltInName(TBuiltInName code)
{
    if (code == bnNone) {
        Options &= ~0x0020;
    } else {
        Options |= 0x0020;
        RawName = QByteArray(2, '\0');
        RawName[1] = char(code);
    }
    m_owner->NameChanged();
}

QString TInternalName::Definition() const
{
    if (DefinitionBytes.isEmpty()) return QString();
    return DecodeFormula(xvExcel97, DefinitionBytes, TokenCount, m_owner->Resolver(), 0, 0, 0);
}

void TInternalName::SetDefinition(const QString& text)
{
    if (RawName.size() < 2) throw EXLSError(QStringLiteral("Name must be set before definition."));
    TEncodeFormula* encoder = m_owner->Encoder();
    if (!encoder) throw EXLSError(QStringLiteral("No formula encoder"));
    QByteArray tokens;
    const int n = encoder->Encode(text, 0x20, 512, tokens);
    if (n == 0) return;   // the error went to the encoder's error event
    const TBuiltInName code = BuiltInName();
    if ((code == bnPrintArea || code == bnPrintTitles) && shapeOf(tokens, true) == NoShape)
        throw EXLSError(QStringLiteral("Name definition must be an area"));
    DefinitionBytes = tokens;
    TokenCount = n;
    SheetIndexWord = uint16_t(encoder->LastSheetIndex + 1);
    // A sheet has one print area and one set of print titles: the older one goes.
    if (code != bnNone) {
        for (int i = m_owner->Count() - 1; i >= 0; --i) {
            TInternalName* other = m_owner->Items(i);
            if (other != this && other->BuiltInName() == code && other->SheetIndexWord == SheetIndexWord) m_owner->Delete(i);
        }
    }
}

TInternalName::Shape TInternalName::shape(bool listAllowed) const { return shapeOf(DefinitionBytes, listAllowed); }

TInternalName::Shape TInternalName::shapeOf(const QByteArray& bytes, bool listAllowed)
{
    const auto* p = reinterpret_cast<const uint8_t*>(bytes.constData());
    const int n = int(bytes.size());
    if (n == 11 && (p[0] == 0x3B || p[0] == 0x5B || p[0] == 0x7B)) return AreaShape;
    if (listAllowed && n == 23 && p[0] == 0x3B && p[11] == 0x3B) return AreaListShape;
    if (n == 7 && p[0] == 0x3A) return CellShape;
    return NoShape;
}

int TInternalName::word(int offset) const { return GetWord(reinterpret_cast<const uint8_t*>(DefinitionBytes.constData()) + offset); }

void TInternalName::setWord(int offset, int v) { PutWord(reinterpret_cast<uint8_t*>(DefinitionBytes.data()) + offset, uint16_t(v)); }

// Byte offset of a row or column word in the area or cell token.
int TInternalName::coordOffset(bool isColumn, bool second) const
{
    switch (shape(false)) {
    case AreaShape: return isColumn ? (second ? 9 : 7) : (second ? 5 : 3);
    case CellShape: return isColumn ? 5 : 3;
    default: throw EXLSError(QStringLiteral("Name is not of requested type."));
    }
}

// The column words carry the relative flags in their top bits; the number is the rest.
int TInternalName::Col1() const { return word(coordOffset(true, false)) & 0x3FFF; }
int TInternalName::Col2() const { return word(coordOffset(true, true)) & 0x3FFF; }
int TInternalName::Row1() const { return word(coordOffset(false, false)); }
int TInternalName::Row2() const { return word(coordOffset(false, true)); }
void TInternalName::SetCol1(int v) { const int o = coordOffset(true, false); setWord(o, (word(o) & 0xC000) | (v & 0x3FFF)); }
void TInternalName::SetCol2(int v) { const int o = coordOffset(true, true); setWord(o, (word(o) & 0xC000) | (v & 0x3FFF)); }
void TInternalName::SetRow1(int v) { setWord(coordOffset(false, false), v); }
void TInternalName::SetRow2(int v) { setWord(coordOffset(false, true), v); }

int TInternalName::ExtSheet() const
{
    if (shape(false) == NoShape) return -1;
    return word(1);
}

void TInternalName::SetNameName(const QString& hex)
{
    RawName = HexToBytes(hex);
    m_owner->NameChanged();
}

TInternalName* TInternalNames::Items(int index) const
{
    if (index < 0 || index >= Count()) throw EXLSError(QStringLiteral("List index out of bounds (%1)").arg(index));
    return m_items[size_t(index)].get();
}

TInternalName* TInternalNames::Add()
{
    m_items.push_back(std::make_unique<TInternalName>(this));
    m_indexValid = false;
    return m_items.back().get();
}

void TInternalNames::Delete(int index)
{
    Items(index);
    m_items.erase(m_items.begin() + index);
    m_indexValid = false;
}

void TInternalNames::Clear()
{
    m_items.clear();
    m_index.clear();
    m_indexValid = false;
}

int TInternalNames::FindName(const QString& text) const
{
    if (!m_indexValid) {
        m_index.clear();
        m_index.reserve(Count());
        for (int i = Count() - 1; i >= 0; --i) {
            const QString n = m_items[size_t(i)]->Name();
            if (!n.isEmpty()) m_index.insert(n.toLower(), i);   // the first of equal names wins
        }
        m_indexValid = true;
    }
    return m_index.value(text.toLower(), -1);
}

void TInternalNames::AddFromRecord(const uint8_t* data, int length)
{
    // The item is added first: a NAME that cannot be read keeps its place, so that the name
    // numbers in formulas still point to the right names.
    TInternalName* n = Add();
    CheckRange(length, 0, 14);
    const uint16_t options = GetWord(data);
    n->Options = options;
    n->Shortcut = data[2];
    n->TokenCount = GetWord(data + 4);
    n->ExternSheetWord = GetWord(data + 6);
    n->SheetIndexWord = GetWord(data + 8);
    int pos = 14;
    QByteArray name = readRawText(data, length, pos, data[3]);
    CheckRange(length, pos, n->TokenCount);
    const QByteArray rest(reinterpret_cast<const char*>(data + pos), length - pos);
    const int extra = ArrayDataSize(rest, n->TokenCount);
    CheckRange(length, pos, qint64(n->TokenCount) + extra);
    QByteArray def = rest.left(n->TokenCount + extra);
    pos += n->TokenCount + extra;
    QByteArray* texts[4] = {&n->CustomMenu, &n->Description, &n->HelpTopic, &n->StatusText};
    QByteArray values[4];
    for (int i = 0; i < 4; ++i)
        if (data[10 + i] != 0) values[i] = readRawText(data, length, pos, data[10 + i]);
    n->RawName = name;
    n->DefinitionBytes = def;
    for (int i = 0; i < 4; ++i) *texts[i] = values[i];
    n->ReadFromFile = true;
    m_indexValid = false;
}

}
