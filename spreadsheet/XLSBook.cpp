#include "spreadsheet/XLSBook.h"
#include "spreadsheet/XLSBookReader.h"
#include "spreadsheet/XLSUtils.h"

#include <QFileInfo>
#include <QIODevice>
#include <climits>
#include <cstring>

namespace xls {

// ---- print settings

void TPrintSettings::Clear()
{
    Header.clear();
    Footer.clear();
    MarginLeft = MarginRight = MarginTop = MarginBottom = -1.0;
    HorizPagebreaks.clear();
    VertPagebreaks.clear();
}

static const TStoredRecord* setupOf(TSheet* s) { return s->RecordStorage().Slot(0x00A1); }
int TPrintSettings::PaperSize() const { auto* r = setupOf(m_sheet); return r && r->Length() >= 2 ? r->Bytes()[0] : 0; }
int TPrintSettings::ScalingFactor() const { auto* r = setupOf(m_sheet); return r && r->Length() >= 4 ? GetWord(r->Bytes() + 2) : 100; }
int TPrintSettings::StartingPage() const { auto* r = setupOf(m_sheet); return r && r->Length() >= 6 ? GetWord(r->Bytes() + 4) : 1; }
int TPrintSettings::Copies() const { auto* r = setupOf(m_sheet); return r && r->Length() >= 34 ? GetWord(r->Bytes() + 32) : 0; }
double TPrintSettings::HeaderMargin() const { auto* r = setupOf(m_sheet); return r && r->Length() >= 24 ? GetDouble(r->Bytes() + 16) : 0.5; }
double TPrintSettings::FooterMargin() const { auto* r = setupOf(m_sheet); return r && r->Length() >= 32 ? GetDouble(r->Bytes() + 24) : 0.5; }

// ---- sheet

TSheet::TSheet(TSheets* owner, int id) : m_owner(owner), m_print(this)
{
    m_name = QStringLiteral("Sheet%1").arg(id + 1);
    TCellFormats* f = formats();
    m_columns = std::make_unique<TXLSColumns>(f, [this](TCellFormat* fmt, int col) { ApplyColumnFormat(fmt, col); });
    m_rows = std::make_unique<TXLSRows>(f, [this](TCellFormat* fmt, int row) { ApplyRowFormat(fmt, row); });
    m_merged = std::make_unique<TMergedCells>(this);
    m_validations = std::make_unique<TDataValidations>(this, &Book()->FormulaHandler());
    m_hyperlinks = std::make_unique<THyperlinks>(this, &Book()->FormulaHandler());
    m_condFmts = std::make_unique<TConditionalFormats>(this, &Book()->FormulaHandler());
    m_applyFormat = std::make_unique<TApplyFormat>(f, &m_cells);
    m_drawing = std::make_unique<TEscherDrawing>(&Book()->MSOPictures());
    m_drawing->Fonts = &Book()->Fonts();
    const TDrawingContext context{m_drawing.get(), &Book()->MSOPictures(), &Book()->FormulaHandler().InternalNames(),
                                  &Book()->FormulaHandler()};
    m_drawingObjects = std::make_unique<TDrawingObjects>(context);
    m_controls = std::make_unique<TControlObjects>(context);
    m_charts = std::make_unique<TDrwCollection<TDrwChart>>(context, "Chart ");
    m_drawing->OnShape = [this](TShape* s) {
        if (!RouteShape(s, *m_drawing, *m_drawingObjects, *m_controls) && s->ObjectType() == 5 && IsTopLevelClientShape(s, *m_drawing))
            m_charts->AddExisting(static_cast<TShapeClientAnchor*>(s));
    };
}

TSheet::~TSheet()
{
    m_cells.Clear();
    m_rows->Clear();
    m_columns->Clear();
}

TXLSBook* TSheet::Book() const { return m_owner->Owner(); }
TCellFormats* TSheet::formats() const { return &m_owner->Owner()->CellFormats(); }
int TSheet::Index() const { return m_owner->IndexOf(this); }

void TSheet::SetName(const QString& name)
{
    if (name.toUpper() == m_name.toUpper()) return;
    for (int i = 0; i < m_owner->Count(); ++i) {
        if (m_owner->Items(i)->m_name.toUpper() == name.toUpper()) {
            Book()->ShowMessage(QStringLiteral("Sheet name \"%1\" allready exists").arg(name));
            return;
        }
    }
    m_name = name;
}

QString TSheet::CellText(int col, int row) const
{
    if (col < 0 || col > 255 || row < 0 || row > 65535) return QString();
    const TCellSlot* slot = m_cells.FindSlot(CellKey(uint32_t(col), uint32_t(row)));
    if (!slot) return QString();
    const TXLSBook* book = Book();
    switch (slot->Kind()) {
    case TCellSlot::skObject: break;
    case TCellSlot::skFloat: return FloatToStrG(slot->Number());
    case TCellSlot::skString: return slot->Entry()->Text();
    case TCellSlot::skBoolean: return slot->Byte() ? book->StrTRUE() : book->StrFALSE();
    case TCellSlot::skError: return ErrorTextByIndex(slot->Byte());
    default: return QString();
    }
    const TCell* c = slot->Object();
    auto formulaText = [&](const TFormulaCell* f) {
        if (f->CellType() == ctArrayFormula) {
            // The formula of an array lives in its ARRAY record.
            const auto* a = static_cast<const TArrayFormulaCell*>(f);
            if (a->ArrayBody.size() >= 14) {
                const auto* b = reinterpret_cast<const uint8_t*>(a->ArrayBody.constData());
                int tl = GetWord(b + 12);
                return const_cast<TXLSBook*>(book)->FormulaHandler().DecodeCellFormula(a->ArrayBody.mid(14), tl, row, col, Index());
            }
        }
        return const_cast<TXLSBook*>(book)->FormulaHandler().DecodeCellFormula(f->Tokens, f->TokenLength, row, col, Index());
    };
    switch (c->CellType() & 0x7F) {
    case ctBlank: return QString();
    case ctFloat: return FloatToStrG(static_cast<const TFloatCell*>(c)->Value);
    case ctString: return static_cast<const TStringCell*>(c)->Entry->Text();
    case ctBoolean: return static_cast<const TBooleanCell*>(c)->Value ? book->StrTRUE() : book->StrFALSE();
    case ctError: return ErrorTextByIndex(static_cast<const TErrorCell*>(c)->ErrorIndex);
    case ctNumberFormula:
        if (book->ShowFormulas) return formulaText(static_cast<const TFormulaCell*>(c));
        return FloatToStrG(static_cast<const TNumberFormulaCell*>(c)->Value);
    case ctStringFormula:
        if (book->ShowFormulas) return formulaText(static_cast<const TFormulaCell*>(c));
        return static_cast<const TStringFormulaCell*>(c)->Value;
    case ctBooleanFormula:
        if (book->ShowFormulas) return formulaText(static_cast<const TFormulaCell*>(c));
        return static_cast<const TBooleanFormulaCell*>(c)->Value ? book->StrTRUE() : book->StrFALSE();
    case ctErrorFormula:
        if (book->ShowFormulas) return formulaText(static_cast<const TFormulaCell*>(c));
        return ErrorTextByIndex(static_cast<const TErrorFormulaCell*>(c)->ErrorIndex);
    case ctArrayFormula: {
        const auto* a = static_cast<const TArrayFormulaCell*>(c);
        if (book->ShowFormulas) return formulaText(a);
        switch (a->ResultType) {
        case TArrayFormulaCell::arString: return a->ResultText;
        case TArrayFormulaCell::arBoolean: return a->ResultByte ? book->StrTRUE() : book->StrFALSE();
        case TArrayFormulaCell::arError: return ErrorTextByIndex(a->ResultByte);
        case TArrayFormulaCell::arEmpty: return QString();
        default: return FloatToStrG(a->Value);
        }
    }
    default: return QString();
    }
}

static const TStoredRecord* dims(const TRecordStorageSheet& s) { return s.Slot(0x0200); }

uint16_t TSheet::FirstRow() const
{
    auto* r = dims(m_records);
    if (!r || r->Length() < 4) return 0;
    return uint16_t(qMin<uint32_t>(GetDWord(r->Bytes()), 65535));
}

uint16_t TSheet::LastRow() const
{
    auto* r = dims(m_records);
    if (!r || r->Length() < 8) return 0;
    int32_t v = int32_t(GetDWord(r->Bytes() + 4));
    return v > 0 ? uint16_t(qMin<int32_t>(v, 65536) - 1) : 0;
}

uint16_t TSheet::FirstCol() const
{
    auto* r = dims(m_records);
    if (!r || r->Length() < 10) return 0;
    return uint16_t(qMin<int>(GetWord(r->Bytes() + 8), 255));
}

uint16_t TSheet::LastCol() const
{
    auto* r = dims(m_records);
    if (!r || r->Length() < 12) return 0;
    int v = GetWord(r->Bytes() + 10);
    return v > 0 ? uint16_t(qMin(v, 256) - 1) : 0;
}

TSheet::TUsedArea TSheet::UsedArea() const
{
    TUsedArea area{FirstRow(), LastRow(), FirstCol(), LastCol()};
    // Extents of 0 stand for an empty sheet as well as for a sheet whose only cell is A1.
    const bool none = !dims(m_records);
    bool first = none;
    m_cells.ForEachKey([&](uint32_t key) {
        const int row = int(key >> 8);
        const int col = int(key & 0xFF);
        if (first) {
            area = {row, row, col, col};
            first = false;
            return;
        }
        area.firstRow = std::min(area.firstRow, row);
        area.lastRow = std::max(area.lastRow, row);
        area.firstCol = std::min(area.firstCol, col);
        area.lastCol = std::max(area.lastCol, col);
    });
    return area;
}

void TSheet::AddCell(int col, int row, TCell* cell)
{
    // The cell key keeps 8 bits of the column: a cell beyond column 255 would replace another.
    if (col < 0 || col > 255 || row < 0 || row > 65535) {
        delete cell;
        return;
    }
    m_cells.PutCell(CellKey(uint32_t(col), uint32_t(row)), cell);
}

// The common cells are held in place in the storage (no object of their own).
void TSheet::AddBlank(int col, int row, int fi)
{
    if (col < 0 || col > 255 || row < 0 || row > 65535) return;
    m_cells.PutValue(CellKey(uint32_t(col), uint32_t(row)), formats(), fi, TCellSlot::skBlank, 0);
}
void TSheet::AddBoolean(int col, int row, int fi, uint8_t v)
{
    if (col < 0 || col > 255 || row < 0 || row > 65535) return;
    m_cells.PutValue(CellKey(uint32_t(col), uint32_t(row)), formats(), fi, TCellSlot::skBoolean, v);
}
void TSheet::AddError(int col, int row, int fi, uint8_t e)
{
    if (col < 0 || col > 255 || row < 0 || row > 65535) return;
    m_cells.PutValue(CellKey(uint32_t(col), uint32_t(row)), formats(), fi, TCellSlot::skError, e);
}
void TSheet::AddFloat(int col, int row, int fi, double v)
{
    if (col < 0 || col > 255 || row < 0 || row > 65535) return;
    uint64_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    m_cells.PutValue(CellKey(uint32_t(col), uint32_t(row)), formats(), fi, TCellSlot::skFloat, bits);
}
void TSheet::AddSST(int col, int row, int fi, TSSTEntry* e)
{
    if (col < 0 || col > 255 || row < 0 || row > 65535) return;
    ++e->RefCount;
    m_cells.PutValue(CellKey(uint32_t(col), uint32_t(row)), formats(), fi, TCellSlot::skString,
                     uint64_t(reinterpret_cast<uintptr_t>(e)));
}
void TSheet::AddText(int col, int row, int fi, const QString& text)
{
    if (col < 0 || col > 255 || row < 0 || row > 65535) return;
    m_cells.PutValue(CellKey(uint32_t(col), uint32_t(row)), formats(), fi, TCellSlot::skString,
                     uint64_t(reinterpret_cast<uintptr_t>(m_owner->SST().AddText(text))));
}

int TSheet::FormatIndexAt(int col, int row) const
{
    if (TXLSColumn* c = m_columns->ColumnAt(col)) return c->FormatIndex();
    if (TXLSRow* r = m_rows->RowAt(row)) return r->FormatIndex();
    return 15;
}

void TSheet::ApplyRowFormat(TCellFormat* format, int row)
{
    for (int c = FirstCol(); c <= LastCol(); ++c)
        if (TCell* cell = Cell(c, row)) cell->TakeOverFormat(format->Index);
}

void TSheet::ApplyColumnFormat(TCellFormat* format, int col)
{
    for (int r = FirstRow(); r <= LastRow(); ++r)
        if (TCell* cell = Cell(col, r)) cell->TakeOverFormat(format->Index);
}

void TSheet::ClearSheet()
{
    SheetProtection = 0x7FFF;
    m_records.SetDefaultData();
    m_print.Clear();
    m_columns->Clear();
    m_rows->Clear();
    m_pane = TPane();
    m_selected = TSelectedAreas();
    m_selected.Areas.clear();
    m_cells.Clear();
    m_merged->Clear();
    m_validations->Clear();
    m_hyperlinks->Clear();
    m_condFmts->Clear();
    ClearDrawing();
}

void TSheet::ClearDrawing()
{
    // A shape that cannot leave the drawing goes with the drawing as a whole below.
    for (const auto& clear : {std::function<void()>([this] { m_drawingObjects->Clear(); }),
                              std::function<void()>([this] { m_controls->Clear(); }),
                              std::function<void()>([this] { m_charts->Clear(); })}) {
        try {
            clear();
        } catch (const EXLSError&) {
        }
    }
    m_drawing->Clear();
}

void TSheet::AfterRead()
{
    m_rows->SortRows();
    m_owner->SST().ReleaseIndex();
}

int TSheet::DefaultRowHeight() const { auto* r = m_records.Slot(0x0225); return r && r->Length() >= 4 ? GetWord(r->Bytes() + 2) : 255; }
int TSheet::DefaultColWidth() const { auto* r = m_records.Slot(0x0055); return r && r->Length() >= 2 ? GetWord(r->Bytes()) : 8; }
int TSheet::Zoom() const { auto* r = m_records.Slot(0x023E); return r && r->Length() >= 14 ? GetWord(r->Bytes() + 12) : 0; }
uint16_t TSheet::WindowOptions() const { auto* r = m_records.Slot(0x023E); return r && r->Length() >= 2 ? GetWord(r->Bytes()) : 0; }

int TSheet::WorkspaceOptions() const
{
    auto* r = m_records.Slot(0x0081);
    return r && r->Length() >= 2 ? (GetWord(r->Bytes()) & 0x05E1) : 0;
}

void TSheet::SetWorkspaceOptions(int options)
{
    if (auto* r = m_records.Slot(0x0081); r && r->Length() >= 2) PutWord(r->Bytes(), uint16_t(options & 0x05E1));
}

void TSheet::SetOptions(int options)
{
    if (auto* r = m_records.Slot(0x023E); r && r->Length() >= 2) PutWord(r->Bytes(), uint16_t(0x04A0 | (options & 0x001F)));
}

int TSelection::word(int off) const
{
    auto* r = m_sheet->RecordStorage().Slot(0x001D);
    return r && r->Length() >= off + 2 ? GetWord(r->Bytes() + off) : 0;
}
int TSelection::byte(int off) const
{
    auto* r = m_sheet->RecordStorage().Slot(0x001D);
    return r && r->Length() > off ? r->Bytes()[off] : 0;
}
void TSelection::setWord(int off, int v)
{
    if (auto* r = m_sheet->RecordStorage().Slot(0x001D); r && r->Length() >= off + 2) PutWord(r->Bytes() + off, uint16_t(v));
}
void TSelection::setByte(int off, int v)
{
    if (auto* r = m_sheet->RecordStorage().Slot(0x001D); r && r->Length() > off) r->Bytes()[off] = uint8_t(v);
}

// ---- sheets

TSheets::TSheets(TXLSBook* owner) : m_owner(owner), m_sst(std::make_unique<TSST2>(&owner->Fonts())) {}

TSheets::~TSheets()
{
    qDeleteAll(m_items);
    m_items.clear();
}

void TSheets::raiseOutOfBounds(int index)
{
    throw EXLSError(QStringLiteral("List index out of bounds (%1)").arg(index));
}

TSheet* TSheets::SheetByName(const QString& name) const
{
    for (TSheet* s : m_items)
        if (s->Name().toLower() == name.toLower()) return s;
    return nullptr;
}

TSheet* TSheets::AddSheet(uint8_t kind)
{
    auto* s = new TSheet(this, m_nextId++);
    s->Kind = kind;
    m_items.append(s);
    return s;
}

void TSheets::ClearAll()
{
    m_sst->Clear();
    for (TSheet* s : m_items) s->ClearSheet();
    qDeleteAll(m_items);
    m_items.clear();
}

void TSheets::Reset()
{
    ClearAll();
    AddSheet(0);
}

// ---- workbook data, options

int TWorkbookData::word(int off) const
{
    auto* r = m_g->Slot(0x003D);
    return r && r->Length() >= off + 2 ? GetWord(r->Bytes() + off) : 0;
}

void TWorkbookData::setWord(int off, int v)
{
    auto* r = m_g->Slot(0x003D);
    if (r && r->Length() >= off + 2) PutWord(r->Bytes() + off, uint16_t(v));
}

int TOptionsDialog::ShowObjects() const
{
    auto* r = m_g->Slot(0x008D);
    return r && r->Length() >= 2 ? GetWord(r->Bytes()) : 0;
}

void TOptionsDialog::RefreshFrom(TSheet* sheet)
{
    auto& st = sheet->RecordStorage();
    auto word = [&](uint16_t id, int def) {
        auto* r = st.Slot(id);
        return r && r->Length() >= 2 ? int(int16_t(GetWord(r->Bytes()))) : def;
    };
    switch (word(0x000D, 1)) {
    case 0: CalcMode = cmManual; break;
    case 1: CalcMode = cmAutomatic; break;
    case -1: CalcMode = cmAutoExTables; break;
    default: break;
    }
    SetCalcCount(word(0x000C, 100));
    if (auto* r = st.Slot(0x0010); r && r->Length() >= 8) Delta = GetDouble(r->Bytes());
    R1C1Mode = word(0x000F, 1) == 0;
    Iteration = word(0x0011, 0) == 1;
    SaveRecalc = word(0x005F, 1) == 1;
}

// ---- book

TXLSBook::TXLSBook(QObject* owner) : QObject(owner)
{
    ResetPalette();
    m_globals = std::make_unique<TRecordStorageGlobals>();
    m_workbook = std::make_unique<TWorkbookData>(m_globals.get());
    m_workbook->SetOptions(woHScroll | woVScroll | woTabs);
    m_options = std::make_unique<TOptionsDialog>(m_globals.get());
    m_fonts = std::make_unique<TXFonts>();
    m_formats = std::make_unique<TCellFormats>(m_fonts.get());
    m_defaultFormat = m_formats->Item(15);
    m_formulaHandler = std::make_unique<TFormulaHandler>(
        [this](const QString& n, int& i, int& c) { SheetIndexByName(n, i, c); },
        [this](int k, int s, int c, int r) { return SheetNameOrCellText(k, s, c, r); });
    m_pictures = std::make_unique<TMSOPictures>();
    m_sheetCharts = std::make_unique<TSheetCharts>(m_pictures.get());
    m_sheets = std::make_unique<TSheets>(this);
    m_sheets->AddSheet(0);
    m_options->RefreshFrom(m_sheets->Items(0));
    SetVersion(xvExcel97);
}

TXLSBook::~TXLSBook()
{
    m_sheetCharts.reset();
    m_sheets.reset();   // cells release their formats before the formats go
}

void TXLSBook::SetVersion(TExcelVersion v)
{
    m_version = v;
    m_maxRecordSize = v == xvExcel97 ? 8224 : 2080;
    m_sheets->SST().SetMaxRecordSize(m_maxRecordSize);
    m_formulaHandler->SetVersion(v);
}

TXFont* TXLSBook::Font()
{
    if (m_fonts->Count() == 0) {
        ShowMessage(QStringLiteral("No Fonts"));
        return nullptr;
    }
    return m_fonts->Item(0);
}

void TXLSBook::Clear()
{
    m_formulaHandler->Clear();
    m_globals->SetDefaultData();
    m_sheets->Reset();
    m_formats->Clear();
    m_fonts->ResetDefaults();
    m_formats->AddDefaults();
    m_defaultFormat = m_formats->Item(15);
    m_styles.clear();
    m_drawingGroup.clear();
    m_pictures->Clear();
    m_extras.Clear();
    m_sheetCharts->Clear();
}

void TXLSBook::Read() { load(nullptr, nullptr); }
void TXLSBook::LoadFromStream(QIODevice* stream) { load(stream, nullptr); }
void TXLSBook::LoadFromData(const QByteArray& bytes) { load(nullptr, &bytes); }

void TXLSBook::load(QIODevice* stream, const QByteArray* data)
{
    Clear();
    m_sheets->ClearAll();
    m_fonts->Clear();
    m_formats->Clear();
    m_formats->NumberFormats->Clear();
    m_formats->NumberFormats->AddBuiltIn();
    // While reading, no format entry may be released: XF indexes must stay as in the file.
    m_formats->LoadedCount = INT_MAX;
    m_fonts->LoadedCount = INT_MAX;
    AnsiCodec().setCodePage(1252);
    m_defaultFormat = nullptr;
    {
        TXLSBookReader reader(this);
        try {
            QByteArray bytes;
            if (data) bytes = *data;
            else if (stream) bytes = stream->readAll();
            if (data || stream) reader.ReadData(bytes);
            else reader.Read();
            m_formulaHandler->ExternalNames().BasePath = Filename.isEmpty() ? QString() : QFileInfo(Filename).absolutePath() + '/';
            if (OnAfterRead) OnAfterRead(this);
        } catch (...) {
            m_formats->LoadedCount = m_formats->Count();
            m_fonts->LoadedCount = m_fonts->Count();
            throw;
        }
    }
    m_formats->LoadedCount = m_formats->Count();
    m_fonts->LoadedCount = m_fonts->Count();
    m_defaultFormat = m_formats->Count() >= 16 ? m_formats->Item(15) : m_formats->Item(0);
    // a workbook of chart sheets only has no worksheet to take the options from
    if (m_sheets->Count() > 0) m_options->RefreshFrom(m_sheets->Items(0));
    for (int i = 0; i < m_sheets->Count(); ++i) m_sheets->Items(i)->AfterRead();
}

void TXLSBook::SheetIndexByName(const QString& name, int& index, int& count) const
{
    for (int i = 0; i < m_sheets->Count(); ++i) {
        if (m_sheets->Items(i)->Name().compare(name, Qt::CaseInsensitive) == 0) {
            index = i;
            count = m_sheets->Count();
            return;
        }
    }
    index = -1;
    count = 0;
}

QString TXLSBook::SheetNameOrCellText(int kind, int sheetIndex, int col, int row) const
{
    if (sheetIndex < 0 || sheetIndex >= m_sheets->Count()) return QString();
    TSheet* s = m_sheets->Items(sheetIndex);
    return kind == 0 ? s->Name() : s->CellText(col, row);
}

}
