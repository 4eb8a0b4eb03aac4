#include "recipients/datagrid/XDBGrid.h"
#include "recipients/datagrid/XDBGridPickText.h"

#include <QApplication>
#include <QCoreApplication>
#include <QLocale>
#include <QMessageBox>
#include <QScrollBar>
#include <algorithm>

namespace xdb {

namespace {

// The deferred layout: posted once, run from the event loop.
const QEvent::Type kLayoutEvent = static_cast<QEvent::Type>(QEvent::registerEventType());

// Runs a clean-up on every way out of a scope.
template <class F>
struct ScopeExit {
    F f;
    ~ScopeExit() { f(); }
};
template <class F>
ScopeExit(F) -> ScopeExit<F>;

} // namespace

// ================================================================== TXGridStyle

void TXGridStyle::Changed(bool refreshEditor)
{
    if (!m_grid)
        return;
    m_grid->LayoutChanged();
    if (refreshEditor)
        m_grid->InvalidateEditor();
}

void TXGridStyle::SetDataRowSpace(int value)
{
    if (!tk::ChangeValue(m_dataRowSpace, value))
        return;
    m_visualStyle = vsCustom;
    Changed(true);
}

void TXGridStyle::SetHeaderRowSpace(int value)
{
    if (!tk::ChangeValue(m_headerRowSpace, value))
        return;
    m_visualStyle = vsCustom;
    Changed(true);
}

void TXGridStyle::SetTitleColMargin(int value)
{
    if (!tk::ChangeValue(m_titleColMargin, value))
        return;
    m_visualStyle = vsCustom;
    Changed(false);
}

void TXGridStyle::SetTitleRowSpace(int value)
{
    if (!tk::ChangeValue(m_titleRowSpace, value))
        return;
    m_visualStyle = vsCustom;
    Changed(true);
}

void TXGridStyle::SetVisualStyle(TVisualStyle value)
{
    if (value == m_visualStyle && value != vsDefault)
        return;
    TVisualStyle resolved = value;
    if (value == vsDefault)
        resolved = m_grid && m_grid->ThemedFixedCells() ? vsXPStyle : vsStandard;
    switch (resolved) {
    case vsStandard:
        m_dataRowSpace = 3;
        m_headerRowSpace = 4;
        m_titleColMargin = 0;
        m_titleRowSpace = 4;
        break;
    case vsXPStyle:
        m_dataRowSpace = 4;
        m_headerRowSpace = 8;
        m_titleColMargin = 1;
        m_titleRowSpace = 8;
        break;
    default:
        break;
    }
    m_visualStyle = value;
    Changed(true);
}

// ================================================================== TXScrollProp

void TXScrollProp::SetAutoHidden(tk::TScrollStyle value)
{
    if (value == m_autoHidden)
        return;
    m_autoHidden = value;
    if (m_grid)
        m_grid->UpdateScrollBar();
}

void TXScrollProp::SetThumbBar(tk::TScrollStyle value)
{
    if (value == m_thumbBar)
        return;
    m_thumbBar = value;
    if (m_grid)
        m_grid->UpdateScrollBar();
}

// ================================================================== TXGridDataLink

TXGridDataLink::TXGridDataLink(TXCustomDBGrid* grid)
    : m_grid(grid)
{
    SetVisualControl(true);
}

TXGridDataLink::~TXGridDataLink()
{
    ClearMapping();
}

db::TField* TXGridDataLink::Fields(int i) const
{
    const int index = FieldIndex(i);
    db::TDataSet* ds = DataSet();
    if (index < 0 || !ds || index >= ds->FieldCount())
        return nullptr;
    return ds->Fields(index);
}

void TXGridDataLink::ClearMapping()
{
    m_fieldMap.clear();
    for (db::TField* f : m_watched)
        f->RemoveFreeNotification(m_grid);
    m_watched.clear();
}

bool TXGridDataLink::AddMapping(const QString& fieldName)
{
    constexpr size_t kMaxMapEntries = 268435455;
    if (m_fieldMap.size() >= kMaxMapEntries)
        throw EInvalidGridOperation(QStringLiteral("Grid requested to display more than 256 columns"));
    if (m_fieldMap.size() == m_fieldMap.capacity())
        m_fieldMap.reserve(std::max<size_t>(8, m_fieldMap.capacity() * 2));
    db::TDataSet* ds = DataSet();
    db::TField* field = nullptr;
    if (ds)
        field = m_sparseMap ? ds->FindField(fieldName) : ds->FieldByName(fieldName);
    if (field) {
        m_fieldMap.push_back(field->Index());
        if (std::find(m_watched.begin(), m_watched.end(), field) == m_watched.end())
            m_watched.push_back(field);
        field->FreeNotification(m_grid, [this, grid = m_grid](db::TField* f) {
            // A field going away unbinds its columns and lays the grid out again.
            std::erase(m_watched, f);
            for (int i = 0; i < grid->Columns()->Count(); ++i) {
                TXColumn* c = grid->Columns()->Items(i);
                if (c->m_field == f)
                    c->m_field = nullptr;
            }
            grid->DeferLayout();
        });
    } else {
        m_fieldMap.push_back(-1);
    }
    return field != nullptr;
}

bool TXGridDataLink::DefaultFields() const
{
    db::TDataSet* ds = DataSet();
    if (!ds)
        return false;
    if (m_sparseMap)
        return std::find(m_fieldMap.begin(), m_fieldMap.end(), -1) == m_fieldMap.end();
    return true;
}

void TXGridDataLink::Reset()
{
    if (m_modified)
        RecordChanged(nullptr);
    else if (db::TDataSet* ds = DataSet())
        ds->Cancel();
    m_modified = false;
}

void TXGridDataLink::ActiveChanged()
{
    if (Active()) {
        db::TDataSet* ds = DataSet();
        if (ds && ds->IsUniDirectional())
            throw db::EDatabaseError(QStringLiteral("Operation not allowed on a unidirectional dataset"));
    }
    m_grid->LinkActive(Active());
    m_modified = false;
}

void TXGridDataLink::DataSetChanged()
{
    m_grid->DataChanged();
    m_modified = false;
}

void TXGridDataLink::DataSetScrolled(int distance)
{
    m_grid->Scroll(distance);
}

void TXGridDataLink::EditingChanged()
{
    m_grid->EditingChanged();
}

void TXGridDataLink::FocusControl(db::TField*& field)
{
    m_grid->FocusControlField(field);
}

void TXGridDataLink::LayoutChanged()
{
    const bool was = m_grid->m_inLinkLayout;
    m_grid->m_inLinkLayout = true;
    try {
        m_grid->LayoutChanged();
    } catch (...) {
        m_grid->m_inLinkLayout = was;
        throw;
    }
    m_grid->m_inLinkLayout = was;
    db::TDataLink::LayoutChanged();
}

void TXGridDataLink::RecordChanged(db::TField* field)
{
    m_grid->RecordChanged(field);
    m_modified = false;
}

void TXGridDataLink::UpdateData()
{
    m_inUpdateData = true;
    try {
        if (m_modified)
            m_grid->UpdateData();
    } catch (...) {
        m_inUpdateData = false;
        throw;
    }
    m_modified = false;
    m_inUpdateData = false;
}

// ================================================================== TXCustomDBGrid

TXCustomDBGrid::TXCustomDBGrid(QWidget* parent)
    : tk::TCustomGrid(parent)
{
    m_indicators = std::make_unique<tk::TImageList>(16, 16);
    m_indicators->AddMasked(IndicatorStrip(), gfx::clOlive);
    m_checkBoxes = std::make_unique<tk::TImageList>(13, 13);
    m_checkBoxes->AddMasked(CheckBoxStrip(), gfx::clOlive);
    m_markers = std::make_unique<tk::TImageList>(16, 16);

    m_font.SetFont(font());
    m_font.OnChange = [this](tk::TFont* f) { FontChangedHandler(f); };
    m_titleFont.SetFont(font());
    m_titleFont.OnChange = [this](tk::TFont* f) { FontChangedHandler(f); };
    m_headerFont.SetFont(font());
    m_headerFont.OnChange = [this](tk::TFont* f) { FontChangedHandler(f); };

    m_columns = CreateColumns();
    m_dataLink = CreateDataLink();
    m_bookmarks = std::make_unique<TXBookmarkList>(this);
    m_gridStyle = CreateGridStyle();
    m_scrollProp = CreateScrollProp();

    SetColor(gfx::clWindow);
    SetColCount(2);
    SetRowCount(2);
    tk::TCustomGrid::SetScrollBars(tk::ssHorizontal);
    verticalScrollBar()->setRange(0, 4);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // Without thumb tracking the records follow the thumb where it is let go.
    connect(verticalScrollBar(), &QAbstractSlider::sliderReleased, this, [this] {
        if (!(m_options & dgThumbTracking))
            ScrollBarAction(Qt::Vertical, QAbstractSlider::SliderMove);
    });
    m_options = 0;
    // Korean input composes in the editor, so there the editor stays shown.
    SetOptions(kDefaultGridOptions |
               (QLocale::system().language() == QLocale::Korean ? TXDBGridOptions(dgAlwaysShowEditor) : 0));
    RebuildMarkerImages();
    UpdateScrollBarLook();
    // Rows dragged from grids are offered to OnDragOver.
    setAcceptDrops(true);
    viewport()->setAcceptDrops(true);
    LayoutChanged();
}

TXCustomDBGrid::~TXCustomDBGrid()
{
    m_destroying = true;
    FreeNestedGrids();
    // Leave the MasterGrid ring; grids that followed this one keep no master.
    for (const QPointer<TXCustomDBGrid>& s : m_slaves)
        if (s)
            s->m_masterGrid = nullptr;
    m_slaves.clear();
    LeaveRing();
    delete m_hintWindow;
    m_hintWindow = nullptr;
    // Unsubscribe from fields and the data source before the link and columns go.
    m_dataLink->ClearMapping();
    if (db::TDataSource* source = m_dataLink->DataSource())
        source->RemoveFreeNotification(this);
    m_dataLink->SetDataSource(nullptr);
    for (tk::TImageList* l : {m_titleImages, m_titleMarkers, m_indicatorImages})
        if (l)
            l->RemoveFreeNotification(this);
    m_columns.reset();
}

std::unique_ptr<TXDBGridColumns> TXCustomDBGrid::CreateColumns()
{
    return std::make_unique<TXDBGridColumns>(this);
}

std::unique_ptr<TXGridDataLink> TXCustomDBGrid::CreateDataLink()
{
    return std::make_unique<TXGridDataLink>(this);
}

std::unique_ptr<TXGridStyle> TXCustomDBGrid::CreateGridStyle()
{
    return std::make_unique<TXGridStyle>(this);
}

std::unique_ptr<TXScrollProp> TXCustomDBGrid::CreateScrollProp()
{
    return std::make_unique<TXScrollProp>(this);
}

// ------------------------------------------------------------------ data source

void TXCustomDBGrid::SetDataSource(db::TDataSource* value)
{
    if (value == m_dataLink->DataSource())
        return;
    if (value && value->DataSet() && value->DataSet()->IsUniDirectional())
        throw db::EDatabaseError(QStringLiteral("Operation not allowed on a unidirectional dataset"));
    m_bookmarks->Clear();
    if (db::TDataSource* old = m_dataLink->DataSource())
        old->RemoveFreeNotification(this);
    m_dataLink->SetDataSource(value);
    if (value)
        value->FreeNotification(this, [this](db::TDataSource*) {
            if (!m_destroying)
                SetDataSource(nullptr);
        });
    LayoutChanged();
}

db::TField* TXCustomDBGrid::SelectedField() const
{
    const int index = SelectedIndex();
    if (index < 0 || index >= m_columns->Count())
        return nullptr;
    return m_columns->Items(index)->Field();
}

int TXCustomDBGrid::SelectedIndex() const
{
    return GridColToDataCol(Col());
}

void TXCustomDBGrid::SetSelectedIndex(int index)
{
    MoveCol(DataColToGridCol(index), 0);
}

int TXCustomDBGrid::RecordCount() const
{
    if (!m_dataLink->Active())
        return 0;
    return m_dataLink->DataSet()->RecordCount();
}

int TXCustomDBGrid::RecordNumber() const
{
    if (!m_dataLink->Active())
        return -1;
    if (m_options & dgForceSequence) {
        // The drawn row's offset from the current record.
        const int n = m_seqPos + (m_dataLink->ActiveRecord() - m_seqRow);
        return m_dataLink->DataSet()->State() == db::dsInsert && m_dataLink->ActiveRecord() > m_seqRow ? n - 1 : n;
    }
    return m_dataLink->DataSet()->RecNo();
}

TXColumn* TXCustomDBGrid::FindColumn(const QString& name) const
{
    for (int i = 0; i < m_columns->Count(); ++i) {
        TXColumn* c = m_columns->Items(i);
        if (c->FieldName().compare(name, Qt::CaseInsensitive) == 0)
            return c;
    }
    return nullptr;
}

TXColumn* TXCustomDBGrid::ColumnByFieldName(const QString& name) const
{
    if (TXColumn* c = FindColumn(name))
        return c;
    throw EInvalidGridOperation(QStringLiteral("Field '%1' not found").arg(name));
}

// ------------------------------------------------------------------ properties

void TXCustomDBGrid::SetOptions(TXDBGridOptions value)
{
    int toolkit = 0;
    if (value & dgColLines)
        toolkit |= tk::goFixedVertLine | tk::goVertLine;
    if (value & dgRowLines)
        toolkit |= tk::goFixedHorzLine | tk::goHorzLine;
    if (value & dgColumnResize)
        toolkit |= tk::goColSizing | tk::goColMoving;
    if (value & dgRowResize)
        toolkit |= tk::goRowSizing;
    if (value & dgTabs)
        toolkit |= tk::goTabs;
    if (value & dgRowSelect) {
        toolkit |= tk::goRowSelect;
        value &= ~(dgEditing | dgAlwaysShowEditor);
    }
    if (value & dgEditing)
        toolkit |= tk::goEditing;
    if (value & dgAlwaysShowEditor)
        toolkit |= tk::goAlwaysShowEditor;
    if (value & dgThumbTracking)
        toolkit |= tk::goThumbTracking;
    const TXDBGridOptions changed = value ^ m_options;
    if (changed == 0 && toolkit == GridOptions())
        return;
    SetGridOptions(toolkit);
    if ((m_options & dgMultiSelect) && !(value & dgMultiSelect))
        m_bookmarks->Clear();
    m_options = value;
    constexpr TXDBGridOptions layoutOptions =
        dgEditing | dgAlwaysShowEditor | dgTitles | dgIndicator | dgColLines | dgRowLines | dgRowSelect |
        dgAlwaysShowSelection | dgMultiSelect | dgInternalSelect | dgRowScroll | dgTitleHeaders | dgTitleWidthOff |
        dgIndicatorMarkOff | dgMarkerAutoAlign | dgForceSequence;
    if (changed & layoutOptions)
        LayoutChanged();
    if (changed & (dgTitles | dgIndicator | dgColLines | dgRowLines | dgTitleHeaders | dgTitleWidthOff))
        InvalidateEditor();
    if (changed & (dgMarkerAutoSwitch | dgMarkerAutoToggle | dgMarkerAscendOnly))
        m_columns->RealignMarkers();
    if (changed & dgForceSequence) {
        ResetSequence();
        UpdateScrollBar();
    }
    InvalidateGrid();
}

void TXCustomDBGrid::SetReadOnly(bool value)
{
    if (value == m_readOnly)
        return;
    m_readOnly = value;
    BeginLayout();
    SetColumnAttributes();
    EndLayout();
    InvalidateGrid();
}

void TXCustomDBGrid::SetFixedCols(int value)
{
    value = std::max(0, value);
    if (value == m_fixedCols)
        return;
    m_fixedCols = value;
    LayoutChanged();
    CopyLayoutToFollower();
}

void TXCustomDBGrid::SetFixedColor(TColor value)
{
    if (value == m_fixedColor)
        return;
    m_fixedColor = value;
    if (!m_fillerColorSet)
        m_fillerColor = value;
    if (!m_headerColorSet)
        m_headerColor = value;
    SetGridFixedColor(value);
    InvalidateGrid();
}

void TXCustomDBGrid::SetFixedTheme(TFixedTheme value)
{
    if (value == m_fixedTheme)
        return;
    const bool wasNone = m_fixedTheme == ftNone;
    m_fixedTheme = value;
    if ((wasNone != (value == ftNone)) && m_gridStyle->VisualStyle() == vsDefault)
        m_gridStyle->SetVisualStyle(vsDefault);
    RebuildMarkerImages();
    InvalidateGrid();
}

void TXCustomDBGrid::SetGridFont(const tk::TFont& value)
{
    m_font.Assign(value);
}

void TXCustomDBGrid::SetParentFont(bool value)
{
    if (value == m_parentFont)
        return;
    m_parentFont = value;
    if (value) {
        tk::TFont f = m_font;
        f.SetFont(font());
        m_titleFont.Assign(f);
        m_headerFont.Assign(f);
    }
}

void TXCustomDBGrid::SetTitleFont(const tk::TFont& value)
{
    m_titleFont.Assign(value);
}

void TXCustomDBGrid::SetHeaderFont(const tk::TFont& value)
{
    m_headerFont.Assign(value);
}

void TXCustomDBGrid::FontChangedHandler(tk::TFont* f)
{
    if (f == &m_font) {
        BeginLayout();
        EndLayout();
        return;
    }
    // A title or header font of its own ends following the grid font.
    m_parentFont = false;
    if (m_options & dgTitles)
        LayoutChanged();
}

void TXCustomDBGrid::SetTitleLinesCount(int value)
{
    value = std::max(1, value);
    if (value == m_titleLinesCount)
        return;
    m_titleLinesCount = value;
    LayoutChanged();
}

void TXCustomDBGrid::SetHeaderLinesCount(int value)
{
    value = std::max(1, value);
    if (value == m_headerLinesCount)
        return;
    m_headerLinesCount = value;
    LayoutChanged();
}

void TXCustomDBGrid::SetLinesCount(int value)
{
    if (value < 0)
        return;
    value = std::max(1, value);
    value = std::max(value, m_linesCountMin);
    if (m_linesCountMax >= 0)
        value = std::min(value, m_linesCountMax);
    if (value == m_linesCount)
        return;
    m_linesCount = value;
    LayoutChanged();
}

void TXCustomDBGrid::SetLinesCountMin(int value)
{
    if (value < 0)
        return;
    value = std::max(1, value);
    if (m_linesCountMax >= 0)
        value = std::min(value, m_linesCountMax);
    m_linesCountMin = value;
    if (m_linesCount < value)
        SetLinesCount(value);
}

void TXCustomDBGrid::SetLinesCountMax(int value)
{
    if (value < -1)
        return;
    if (value >= 0)
        value = std::max(value, m_linesCountMin);
    m_linesCountMax = value;
    if (value >= 0 && m_linesCount > value)
        SetLinesCount(value);
}

namespace {
void RebindImageList(tk::TImageList*& slot, tk::TImageList* value, TXCustomDBGrid* grid)
{
    if (slot)
        slot->RemoveFreeNotification(grid);
    slot = value;
    if (slot) {
        tk::TImageList** where = &slot;
        slot->FreeNotification(grid, [where, grid](tk::TFreeNotifier*) {
            *where = nullptr;
            grid->InvalidateGrid();
        });
    }
}
} // namespace

void TXCustomDBGrid::SetTitleImages(tk::TImageList* value)
{
    RebindImageList(m_titleImages, value, this);
    LayoutChanged();
}

void TXCustomDBGrid::SetTitleMarkers(tk::TImageList* value)
{
    RebindImageList(m_titleMarkers, value, this);
    InvalidateGrid();
}

void TXCustomDBGrid::SetIndicatorImages(tk::TImageList* value)
{
    RebindImageList(m_indicatorImages, value, this);
    InvalidateGrid();
}

void TXCustomDBGrid::SetMarkerStyle(TMarkerStyle value)
{
    if (value == m_markerStyle)
        return;
    m_markerStyle = value;
    RebuildMarkerImages();
    InvalidateGrid();
}

void TXCustomDBGrid::SetMarkerTransparent(TMarkerTransparent value)
{
    if (value == m_markerTransparent)
        return;
    m_markerTransparent = value;
    RebuildMarkerImages();
    InvalidateGrid();
}

void TXCustomDBGrid::SetHeaderColor(TColor value)
{
    m_headerColorSet = true;
    if (value == m_headerColor)
        return;
    m_headerColor = value;
    InvalidateGrid();
}

void TXCustomDBGrid::SetFillerColor(TColor value)
{
    m_fillerColorSet = true;
    if (value == m_fillerColor)
        return;
    m_fillerColor = value;
    InvalidateGrid();
}

void TXCustomDBGrid::SetFillerIndex(int value)
{
    if (tk::ChangeValue(m_fillerIndex, value))
        InvalidateCell(0, 0);
}

void TXCustomDBGrid::SetScrollBars(tk::TScrollStyle value)
{
    m_scrollBars = value;
    setHorizontalScrollBarPolicy((value == tk::ssHorizontal || value == tk::ssBoth) ? Qt::ScrollBarAsNeeded
                                                                                     : Qt::ScrollBarAlwaysOff);
    UpdateScrollBar();
}

void TXCustomDBGrid::SetIndicatorWidth(int value)
{
    value = std::max(11, value);
    if (value == m_indicatorWidth)
        return;
    m_indicatorWidth = value;
    SetColumnAttributes();
    CopyLayoutToFollower();
}

void TXCustomDBGrid::SetStripeColor(TColor value)
{
    if (tk::ChangeValue(m_stripeColor, value))
        InvalidateGrid();
}

void TXCustomDBGrid::SetSelectionColor(TColor value)
{
    if (tk::ChangeValue(m_selectionColor, value))
        InvalidateGrid();
}

void TXCustomDBGrid::SetSelectRowColor(TColor value)
{
    if (tk::ChangeValue(m_selectRowColor, value))
        InvalidateGrid();
}

void TXCustomDBGrid::SetSelectCellColor(TColor value)
{
    if (tk::ChangeValue(m_selectCellColor, value))
        InvalidateGrid();
}

void TXCustomDBGrid::SetResizeOptions(TXResizeOptions value)
{
    if (!(value & roColumnResize))
        value &= ~(roOptimalWidth | roDefaultWidth);
    m_resizeOptions = value;
}

void TXCustomDBGrid::SetWheelScrollRows(int value)
{
    m_wheelScrollRows = std::max(-1, value);
}

THotButtons TXCustomDBGrid::GetHotButtons() const
{
    if (m_hotButtons != hbAuto)
        return m_hotButtons;
    static constexpr THotButtons table[] = {hbBump, hbBump, hbLowered, hbRaised, hbTile, hbTile};
    return table[m_fixedStyle];
}

bool TXCustomDBGrid::ThemedFixedCells() const
{
    return m_fixedTheme != ftNone && tk::ThemesEnabled();
}

TMarkerStyle TXCustomDBGrid::ResolvedMarkerStyle() const
{
    if (m_markerStyle == msAuto || m_markerStyle == msAutoGray) {
        if (ThemedFixedCells())
            return m_markerStyle == msAuto ? msRaisedMild : msRaisedGray;
        static constexpr TMarkerStyle autoTable[] = {msDefault, msSoft, msRaisedDark, msFlat, msRaisedMild, msMild};
        static constexpr TMarkerStyle grayTable[] = {msSoft, msSoft, msRaisedGray, msGray, msRaisedGray, msGray};
        return m_markerStyle == msAuto ? autoTable[m_fixedStyle] : grayTable[m_fixedStyle];
    }
    return m_markerStyle;
}

void TXCustomDBGrid::RebuildMarkerImages()
{
    const TMarkerStyle style = ResolvedMarkerStyle();
    const bool transparent = m_markerTransparent == mtTrue ||
                             (m_markerTransparent == mtAuto && style <= msRaisedMild);
    if (m_markers->Count() > 0 && style == m_builtMarkerStyle && transparent == m_builtMarkerTransparent)
        return;
    m_builtMarkerStyle = style;
    m_builtMarkerTransparent = transparent;
    m_markers->Clear();
    m_markers->AddMasked(MarkerStripFor(style, transparent, palette()), gfx::clOlive);
}

// ------------------------------------------------------------------ layout

void TXCustomDBGrid::BeginLayout()
{
    ++m_layoutLock;
    if (m_layoutLock == 1)
        m_columns->BeginUpdate();
}

void TXCustomDBGrid::EndLayout()
{
    if (m_layoutLock <= 0)
        return;
    if (m_layoutLock == 1) {
        // The lock stays held while the columns report their changes, so they do not lay out again.
        try {
            InternalLayout();
        } catch (...) {
            m_columns->EndUpdate();
            m_layoutLock = 0;
            throw;
        }
        m_columns->EndUpdate();
        m_layoutLock = 0;
    } else {
        --m_layoutLock;
    }
}

void TXCustomDBGrid::DeferLayout()
{
    if (m_layoutPending || m_destroying)
        return;
    m_layoutPending = true;
    QCoreApplication::postEvent(this, new QEvent(kLayoutEvent));
}

bool TXCustomDBGrid::event(QEvent* e)
{
    if (e->type() == kLayoutEvent) {
        if (!m_layoutPending)
            return true;
        if (m_layoutLock > 0 || m_inLayout) {
            // A layout is running: try again later.
            QCoreApplication::postEvent(this, new QEvent(kLayoutEvent));
            return true;
        }
        m_layoutPending = false;
        LayoutChanged();
        return true;
    }
    return tk::TCustomGrid::event(e);
}

void TXCustomDBGrid::changeEvent(QEvent* e)
{
    tk::TCustomGrid::changeEvent(e);
    if (e->type() == QEvent::EnabledChange)
        InvalidateGrid();
    else if (e->type() == QEvent::LayoutDirectionChange)
        CopyLayoutToFollower();
    else if (e->type() == QEvent::FontChange && m_parentFont) {
        BeginLayout();
        m_font.SetFont(font());
        m_titleFont.SetFont(font());
        m_headerFont.SetFont(font());
        m_parentFont = true;
        EndLayout();
    }
}

void TXCustomDBGrid::LayoutChanged()
{
    if (m_layoutLock > 0)
        return;
    BeginLayout();
    EndLayout();
}

void TXCustomDBGrid::ColumnsChanged(TXColumn* column)
{
    if (m_destroying)
        return;
    if (!column) {
        LayoutChanged();
        CopyLayoutToFollower();
        return;
    }
    const int col = DataColToGridCol(column->Index());
    if (col >= 0 && col < ColCount()) {
        const int w = column->Width();
        if (w != ColWidths(col))
            tk::TCustomGrid::SetColWidths(col, w);
        InvalidateCol(col);
    }
    // Widths, visibility and expansion go around a MasterGrid ring.
    CopyLayoutToFollower();
}

void TXCustomDBGrid::DefineFieldMap()
{
    db::TDataSet* ds = m_dataLink->DataSet();
    if (m_columns->State() == csCustomized) {
        m_dataLink->SetSparseMap(true);
        for (int i = 0; i < m_columns->Count(); ++i)
            m_dataLink->AddMapping(m_columns->Items(i)->FieldName());
    } else {
        m_dataLink->SetSparseMap(false);
        for (int i = 0; i < ds->FieldCount(); ++i) {
            db::TField* f = ds->Fields(i);
            if (f->Visible())
                m_dataLink->AddMapping(f->FullName());
        }
    }
}

void TXCustomDBGrid::RebuildVisibleColumns()
{
    m_visibleColumns.clear();
    for (int i = 0; i < m_columns->Count(); ++i)
        if (m_columns->Items(i)->Showing())
            m_visibleColumns.push_back(m_columns->Items(i));
}

int TXCustomDBGrid::TextHeight(const tk::TFont& font) const
{
    return QFontMetrics(font.Font()).height();
}

int TXCustomDBGrid::DefaultRowHeightForLines() const
{
    const int line = (m_options & dgRowLines) ? GridLineWidth() : 0;
    return line + TextHeight(m_font) * m_linesCount + m_gridStyle->DataRowSpace();
}

void TXCustomDBGrid::InternalLayout()
{
    if (m_destroying)
        return;
    m_inLayout = true;
    ScopeExit done{[this] { m_inLayout = false; }};
    m_layoutPending = false;
    // 1. Mixed persistent and default columns: the default ones go.
    bool anyStored = false, anyDefault = false;
    for (int i = 0; i < m_columns->Count(); ++i)
        (m_columns->Items(i)->Stored() ? anyStored : anyDefault) = true;
    if (anyStored && anyDefault)
        for (int i = m_columns->Count() - 1; i >= 0; --i)
            if (!m_columns->Items(i)->Stored())
                m_columns->Delete(i);
    // 2. Field map.
    m_indicatorOffset = (m_options & dgIndicator) ? 1 : 0;
    m_dataLink->ClearMapping();
    if (m_dataLink->Active())
        DefineFieldMap();
    // 3. Bind columns.
    const bool persistent = m_columns->State() == csCustomized;
    if (persistent) {
        for (int i = 0; i < m_columns->Count(); ++i)
            m_columns->Items(i)->DropField();
    } else {
        db::TDataSet* ds = m_dataLink->DataSet();
        if (m_dataLink->Active() || !m_dataLink->DefaultFields()) {
            for (int i = m_columns->Count() - 1; i >= 0; --i) {
                TXColumn* c = m_columns->Items(i);
                bool found = false;
                for (int k = 0; k < m_dataLink->FieldCount() && !found; ++k)
                    found = c->m_field && m_dataLink->Fields(k) == c->m_field;
                if (!found)
                    m_columns->Delete(i);
            }
        } else {
            m_columns->Clear();
        }
        const int mapCount = std::max(1, m_dataLink->FieldCount());
        for (int i = 0; i < mapCount; ++i) {
            db::TField* f = m_dataLink->Fields(i);
            int at = -1;
            for (int k = i; k < m_columns->Count() && at < 0; ++k)
                if (m_columns->Items(k)->m_field == f && f)
                    at = k;
            if (at < 0) {
                TXColumn* c = m_columns->AddDefault();
                c->SetField(f);
                at = m_columns->Count() - 1;
            }
            if (at != i)
                m_columns->Move(at, i);
        }
        (void)ds;
    }
    // 4. Showing columns, column count.
    RebuildVisibleColumns();
    SetColCount(m_columns->Count() + m_indicatorOffset);
    // 5. Sub-trees and fixed columns.
    int fixed = m_indicatorOffset;
    if (m_dataLink->Active() || persistent) {
        const int n = m_columns->Count();
        for (int i = n - 1; i >= 0; --i) {
            TXColumn* c = m_columns->Items(i);
            int ec = std::min(c->m_expandCols, n - 1 - i);
            if (ec > 0) {
                for (int k = i + 1; k <= i + ec && k < n; ++k)
                    ec = std::max(ec, k - i + m_columns->Items(k)->m_expandCols);
                ec = std::min(ec, n - 1 - i);
            }
            c->m_expandCols = ec;
        }
        m_fixedCols = std::min(m_fixedCols, std::max(0, n - 1));
        if (m_fixedCols > 0) {
            // The fixed area covers the whole sub-tree of its last column.
            TXColumn* last = m_columns->Items(m_fixedCols - 1);
            TXColumn* root = last;
            while (TXColumn* p = root->ParentColumn())
                root = p;
            const int rootIndex = root->Index();
            const int end = rootIndex + root->m_expandCols + 1;
            if (end >= n)
                m_fixedCols = rootIndex;
            else
                m_fixedCols = std::max(m_fixedCols, end);
        }
        fixed += m_fixedCols;
    }
    tk::TCustomGrid::SetFixedCols(std::min(fixed, ColCount() - 1));
    // 6. An editor that cannot show switches dgAlwaysShowEditor off.
    if (m_options & dgAlwaysShowEditor) {
        for (int i = m_fixedCols; i < m_columns->Count(); ++i) {
            TXColumn* c = m_columns->Items(i);
            if (!c->Showing())
                continue;
            if (!c->CanShowEditor()) {
                m_options &= ~dgAlwaysShowEditor;
                SetGridOptions(GridOptions() & ~tk::goAlwaysShowEditor);
                HideEditor();
            }
            break;
        }
    }
    // 7. Title rows.
    if (m_options & dgTitles) {
        int deepest = 0;
        for (TXColumn* c : m_visibleColumns)
            deepest = std::max(deepest, c->Level());
        m_titleOffset = 1 + deepest;
    } else {
        m_titleOffset = 0;
    }
    // 8. Markers, rows and row heights.
    RebuildMarkerImages();
    UpdateRowCount();
    SetDefaultRowHeight(DefaultRowHeightForLines());
    if (m_options & dgTitles) {
        const int rowLine = (m_options & dgRowLines) ? GridLineWidth() : 0;
        m_headerHeight = (m_options & dgTitleHeaders)
                             ? TextHeight(m_headerFont) * m_headerLinesCount + m_gridStyle->HeaderRowSpace() + rowLine
                             : 0;
        std::vector<int> need(size_t(m_titleOffset), 0);
        for (int i = 0; i < m_columns->Count(); ++i) {
            TXColumn* c = m_columns->Items(i);
            if (!c->Visible())
                continue;
            const int level = c->Level();
            if (level >= m_titleOffset)
                continue;
            bool ancestorsShown = true;
            for (TXColumn* p = c->ParentColumn(); p; p = p->ParentColumn())
                if (!p->Visible() || !p->Expanded())
                    ancestorsShown = false;
            if (!ancestorsShown)
                continue;
            const int bands = (m_options & dgTitleHeaders) ? c->Title()->HeaderCount() : 0;
            const int h = TextHeight(c->Title()->Font()) * m_titleLinesCount + m_gridStyle->TitleRowSpace() +
                          bands * m_headerHeight;
            need[size_t(level)] = std::max(need[size_t(level)], h);
        }
        if (std::all_of(need.begin(), need.end(), [](int h) { return h == 0; }))
            need[0] = TextHeight(m_titleFont) + m_gridStyle->TitleRowSpace();
        for (int r = 0; r < m_titleOffset && r < RowCount(); ++r)
            SetRowHeights(r, std::max(1, need[size_t(r)]));
    } else {
        m_headerHeight = 0;
    }
    UpdateRowCount();
    // 9. Current column, bars, attributes.
    const int dataCol = GridColToDataCol(Col());
    if (dataCol >= 0 && dataCol < m_columns->Count() && !m_columns->Items(dataCol)->Showing()) {
        const int next = FirstShowingColumnFrom(dataCol);
        if (next >= 0)
            MoveColRow(DataColToGridCol(next), Row(), false, false);
    }
    UpdateScrollBar();
    if (Stretching()) {
        m_inLayout = false;
        UpdateStretchWidths();
        m_inLayout = true;
    }
    SetColumnAttributes();
    UpdateActive();
    InvalidateGrid();
}

int TXCustomDBGrid::FirstShowingColumnFrom(int dataCol) const
{
    for (int i = dataCol; i < m_columns->Count(); ++i)
        if (m_columns->Items(i)->Showing())
            return i;
    for (int i = dataCol - 1; i >= 0; --i)
        if (m_columns->Items(i)->Showing())
            return i;
    return -1;
}

void TXCustomDBGrid::SetColumnAttributes()
{
    for (int i = 0; i < m_columns->Count(); ++i) {
        const int col = DataColToGridCol(i);
        if (col >= ColCount())
            continue;
        TXColumn* c = m_columns->Items(i);
        db::TField* f = c->Field();
        SetTabStops(col, c->Showing() && !c->ReadOnly() && m_dataLink->Active() && f &&
                             f->FieldKind() != db::fkCalculated && !f->ReadOnly());
        tk::TCustomGrid::SetColWidths(col, c->Width());
    }
    if (m_indicatorOffset > 0 && ColCount() > 0)
        SetTabStops(0, false);
    if ((m_options & dgIndicator) && ColCount() > 0)
        tk::TCustomGrid::SetColWidths(0, m_indicatorWidth);
}

void TXCustomDBGrid::UpdateRowCount()
{
    if (m_inUpdateRowCount)
        return;
    m_inUpdateRowCount = true;
    ScopeExit done{[this] { m_inUpdateRowCount = false; }};
    if (RowCount() <= m_titleOffset)
        SetRowCount(m_titleOffset + 1);
    tk::TCustomGrid::SetFixedRows(m_titleOffset);
    if (m_dataLink->Active() && m_dataLink->RecordCount() > 0) {
        SetRowCount(1000);
        SetTopRow(m_titleOffset);
        m_dataLink->SetBufferCount(VisibleRowCount());
        SetRowCount(std::max(1, m_dataLink->RecordCount()) + m_titleOffset);
        if (m_options & dgRowSelect)
            SetTopRow(FixedRows());
        UpdateActive();
    } else {
        SetRowCount(m_titleOffset + 1);
    }
}

void TXCustomDBGrid::UpdateActive()
{
    if (!m_dataLink->Active())
        return;
    const int row = m_dataLink->ActiveRecord() + m_titleOffset;
    if (row != Row() && row < RowCount()) {
        if (!(m_options & dgAlwaysShowEditor))
            HideEditor();
        MoveColRow(Col(), row, false, false);
    }
    if (EditorVisible()) {
        TXColumn* c = nullptr;
        const int dc = SelectedIndex();
        if (dc >= 0 && dc < m_columns->Count())
            c = m_columns->Items(dc);
        if (c && c->Field() && ColGetText(c, c->Field()->EditText(), tkEdit) != m_editText)
            InvalidateEditor();
    }
}

void TXCustomDBGrid::Resized()
{
    if (!m_inLayout)
        UpdateRowCount();
    UpdateScrollBar();
    UpdateStretchWidths();
}

bool TXCustomDBGrid::SelectCell(int col, int row)
{
    (void)row;
    const int dc = GridColToDataCol(col);
    (void)dc;
    return true;
}

// ------------------------------------------------------------------ link notifications

void TXCustomDBGrid::LinkActive(bool value)
{
    if (!value)
        HideEditor();
    FreeNestedGrids();
    m_bookmarks->SetActive(value);
    m_selectionAnchor.clear();
    m_selecting = false;
    if (value)
        ResetSequence();
    else
        m_seqCount = m_seqPos = m_seqRow = 0;
    LayoutChanged();
    UpdateScrollBar();
    UpdateRowCount();
    if (m_stretchMode)
        setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    if (value && (m_options & dgAlwaysShowEditor))
        ShowEditor();
    // Default columns get the stored order again (without OrderChanged).
    if (value && m_columns->State() == csDefault && !m_orderFieldsStored.isEmpty()) {
        const QString stored = m_orderFieldsStored;
        const auto handler = OnOrderChanged;
        OnOrderChanged = nullptr;
        try {
            SetOrderFields(stored);
        } catch (...) {
            OnOrderChanged = handler;
            throw;
        }
        OnOrderChanged = handler;
    }
}

void TXCustomDBGrid::DataChanged()
{
    if (!m_dataLink->Active())
        return;
    // After a requery: vanished records leave the selection (checked when it is next used, by the
    // dataset's snapshot number) and a vanished anchor is cleared.
    if (!m_selectionAnchor.isEmpty() && !m_dataLink->DataSet()->BookmarkValid(m_selectionAnchor))
        SetSelectionAnchor(db::TBookmark());
    UpdateRowCount();
    if (Numbered() && !m_inResetSequence) {
        // A jump, a requery or a changed record count: the position is taken again.
        db::TDataSet* ds = m_dataLink->DataSet();
        if (ds->IsEmpty()) {
            m_seqCount = m_seqPos = 0;
        } else if (ds->Bof() && m_seqCount > 0 && ds->RecordCount() == m_seqCount) {
            m_seqPos = 1;
        } else if (ds->Eof() && m_seqCount > 0 && ds->RecordCount() == m_seqCount) {
            m_seqPos = m_seqCount;
        } else {
            ResetSequence();
        }
        m_seqRow = m_dataLink->ActiveRecord();
    }
    UpdateScrollBar();
    UpdateActive();
    InvalidateEditor();
    InvalidateGrid();
}

void TXCustomDBGrid::RecordChanged(db::TField* field)
{
    if (!field) {
        InvalidateGrid();
    } else {
        for (int i = 0; i < m_columns->Count(); ++i)
            if (m_columns->Items(i)->m_field == field)
                InvalidateCol(DataColToGridCol(i));
    }
    const int dc = SelectedIndex();
    if (EditorVisible() && dc >= 0 && dc < m_columns->Count()) {
        TXColumn* c = m_columns->Items(dc);
        if (c->Field() && ColGetText(c, c->Field()->EditText(), tkEdit) != m_editText)
            InvalidateEditor();
    }
}

void TXCustomDBGrid::EditingChanged()
{
    if (m_options & dgIndicator)
        RepaintIndicatorRow();
}

void TXCustomDBGrid::UpdateData()
{
    const int dc = SelectedIndex();
    if (dc < 0 || dc >= m_columns->Count())
        return;
    TXColumn* c = m_columns->Items(dc);
    if (db::TField* f = c->Field())
        f->SetEditText(ColSetText(c, m_editText));
}

void TXCustomDBGrid::FocusControlField(db::TField*& field)
{
    if (!field)
        return;
    for (int i = 0; i < m_columns->Count(); ++i) {
        if (m_columns->Items(i)->Field() == field) {
            MoveCol(DataColToGridCol(i), 0);
            if (SelectedIndex() == i && AcquireFocus()) {
                field = nullptr;
                setFocus();
                ShowEditor();
            }
            return;
        }
    }
}

void TXCustomDBGrid::RepaintIndicatorRow()
{
    if (m_indicatorOffset > 0) {
        InvalidateCell(0, Row());
        if (m_indicatorRow >= 0)
            InvalidateCell(0, m_indicatorRow);
    }
}

void TXCustomDBGrid::Scroll(int distance)
{
    if (!m_dataLink->Active())
        return;
    if (Numbered() && !m_inResetSequence) {
        // Records moved: the window's shift plus the current record's move inside it.
        const int row = m_dataLink->ActiveRecord();
        m_seqPos = std::clamp(m_seqPos + distance + (row - m_seqRow), m_seqCount > 0 ? 1 : 0, m_seqCount);
        m_seqRow = row;
    }
    const int oldRow = Row();
    if (m_dataLink->ActiveRecord() + m_titleOffset >= RowCount())
        UpdateRowCount();
    UpdateActive();
    UpdateScrollBar();
    InvalidateRow(oldRow);
    InvalidateRow(Row());
    if (distance != 0) {
        const bool editor = EditorVisible();
        if (editor)
            HideEditor();
        bool tiles = false;
        for (TXColumn* c : m_visibleColumns)
            if (c->ImageDraw() == idTileCol || c->ImageDraw() == idTileGrid)
                tiles = true;
        if (tiles || std::abs(distance) >= VisibleRowCount() || m_stripeColor != gfx::clNone) {
            InvalidateGrid();
        } else {
            ScrollDataRows(distance, DefaultRowHeight() + RowLineWidth());
            if (m_indicatorOffset > 0)
                InvalidateCol(0);
        }
        if (editor && (m_options & dgAlwaysShowEditor))
            ShowEditor();
    }
}

// ------------------------------------------------------------------ vertical bar

void TXCustomDBGrid::UpdateScrollBars()
{
    // The toolkit's horizontal bar; the vertical bar is the grid's own.
    const int savedMin = verticalScrollBar()->minimum();
    const int savedMax = verticalScrollBar()->maximum();
    const int savedPos = verticalScrollBar()->value();
    const int savedPage = verticalScrollBar()->pageStep();
    tk::TCustomGrid::UpdateScrollBars();
    const QSignalBlocker block(verticalScrollBar());
    verticalScrollBar()->setRange(savedMin, savedMax);
    verticalScrollBar()->setPageStep(savedPage);
    verticalScrollBar()->setValue(savedPos);
}

void TXCustomDBGrid::UpdateScrollBar()
{
    QScrollBar* bar = verticalScrollBar();
    const QSignalBlocker block(bar);
    const bool vertical = m_scrollBars == tk::ssVertical || m_scrollBars == tk::ssBoth;
    if (!vertical) {
        setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        return;
    }
    const bool autoHide = m_scrollProp->AutoHidden() == tk::ssVertical || m_scrollProp->AutoHidden() == tk::ssBoth;
    const bool thumb = m_scrollProp->ThumbBar() == tk::ssVertical || m_scrollProp->ThumbBar() == tk::ssBoth;
    if (!m_dataLink->Active()) {
        if (autoHide) {
            setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        } else {
            setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
            bar->setValue(0);
        }
        return;
    }
    db::TDataSet* ds = m_dataLink->DataSet();
    int min = 0, max = 4, page = 1, pos = 2;
    if (m_options & dgForceSequence) {
        min = 1;
        max = std::max(1, m_seqCount);
        page = thumb ? VisibleRowCount() : 1;
        pos = ds->Bof() ? 1 : ds->Eof() ? max : std::max(1, m_seqPos);
    } else if (ds->IsSequenced()) {
        const int count = ds->RecordCount();
        min = 1;
        max = std::max(1, count);
        page = thumb ? VisibleRowCount() : 1;
        pos = ds->State() == db::dsInsert ? bar->value() : std::max(1, ds->RecNo());
    } else {
        // Five coarse positions: 0 .. 4 without a page, 0 .. 5 with a page of 2; the bar's
        // last position is the maximum less the page plus one, 4 either way.
        max = 4;
        page = thumb ? 2 : 1;
        pos = ds->Bof() ? 0 : ds->Eof() ? max : 2;
    }
    if (autoHide && ((m_options & dgForceSequence) ? m_seqCount : ds->RecordCount()) <= VisibleRowCount()) {
        setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        return;
    }
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    if (bar->minimum() != min || bar->maximum() != max)
        bar->setRange(min, max);
    if (bar->pageStep() != page)
        bar->setPageStep(page);
    if (bar->value() != pos)
        bar->setValue(pos);
}

void TXCustomDBGrid::ScrollBarAction(Qt::Orientation orientation, int action)
{
    if (orientation != Qt::Vertical || !m_dataLink->Active())
        return;
    db::TDataSet* ds = m_dataLink->DataSet();
    QScrollBar* bar = verticalScrollBar();
    switch (action) {
    case QAbstractSlider::SliderSingleStepSub:
        ds->MoveBy(-(m_dataLink->ActiveRecord() + 1));
        break;
    case QAbstractSlider::SliderSingleStepAdd:
        ds->MoveBy(m_dataLink->RecordCount() - m_dataLink->ActiveRecord());
        break;
    case QAbstractSlider::SliderPageStepSub:
        ds->MoveBy(-VisibleRowCount());
        break;
    case QAbstractSlider::SliderPageStepAdd:
        ds->MoveBy(VisibleRowCount());
        break;
    case QAbstractSlider::SliderToMinimum:
        ds->First();
        break;
    case QAbstractSlider::SliderToMaximum:
        ds->Last();
        break;
    case QAbstractSlider::SliderMove: {
        if (!(m_options & dgThumbTracking) && bar->isSliderDown())
            return;
        const int p = bar->sliderPosition();
        if (m_options & dgForceSequence) {
            if (p <= 1)
                ds->First();
            else if (p < m_seqCount)
                ds->MoveBy(p - m_seqPos);
            else
                ds->Last();
        } else if (ds->IsSequenced()) {
            if (p <= 1)
                ds->First();
            else if (p < ds->RecordCount())
                ds->SetRecNo(p);
            else
                ds->Last();
        } else {
            switch (p) {
            case 0: ds->First(); break;
            case 1: ds->MoveBy(-VisibleRowCount()); break;
            case 3: ds->MoveBy(VisibleRowCount()); break;
            case 4: ds->Last(); break;
            default: break;
            }
        }
        break;
    }
    default:
        break;
    }
    UpdateScrollBar();
    bar->setSliderPosition(bar->value());
}

void TXCustomDBGrid::ScrollBarChanged(Qt::Orientation orientation, int value)
{
    if (orientation == Qt::Horizontal)
        tk::TCustomGrid::ScrollBarChanged(orientation, value);
}

void TXCustomDBGrid::TopLeftChanged()
{
    // The data rows never scroll in the toolkit's sense: the top row stays below the titles.
    if (TopRow() != FixedRows() && m_dataLink->Active())
        SetTopRow(FixedRows());
    if (LeftCol() != m_lastLeftCol) {
        // A new first scrollable column: titles repainted, the ring follows, OnColumnScroll.
        m_lastLeftCol = LeftCol();
        InvalidateTitles();
        CopyLayoutToFollower();
        if (OnColumnScroll)
            OnColumnScroll(this, LeftCol() - m_indicatorOffset);
    }
}

// ------------------------------------------------------------------ update lock

void TXCustomDBGrid::BeginUpdate()
{
    if (m_updateLock++ > 0)
        return;
    m_updateBookmark.clear();
    m_updateDataSet = nullptr;
    if (m_dataLink->Active()) {
        db::TDataSet* ds = m_dataLink->DataSet();
        m_updateBookmark = ds->GetBookmark();
        m_updateRow = m_dataLink->ActiveRecord();
        ds->DisableControls();
        m_updateDataSet = ds;
    }
}

void TXCustomDBGrid::EndUpdate(bool keepCurrent)
{
    if (m_updateLock <= 0)
        return;
    if (--m_updateLock > 0)
        return;
    db::TDataSet* ds = m_updateDataSet;
    m_updateDataSet = nullptr;
    if (!ds)
        return;
    try {
        ds->EnableControls();
    } catch (...) {
        // A failed refresh of the view must not stop the caller's clean-up.
    }
    if (!m_dataLink->Active() || m_dataLink->DataSet() != ds)
        return;
    try {
        const db::TBookmark bookmark = keepCurrent ? ds->GetBookmark() : m_updateBookmark;
        const db::TBookmark current = ds->GetBookmark();
        const int row = std::clamp(m_updateRow, 0, std::max(0, m_dataLink->BufferCount() - 1));
        // Restore only a record that still exists; otherwise stay where the dataset is.
        if (!bookmark.isEmpty() && ds->BookmarkValid(bookmark) &&
            (bookmark != current || m_dataLink->ActiveRecord() != row)) {
            m_dataLink->SetActiveRecord(row);
            ds->GotoBookmark(bookmark, 0);
        }
    } catch (...) {
    }
    m_updateBookmark.clear();
}

// ------------------------------------------------------------------ text of fields

QString TXCustomDBGrid::ColGetText(TXColumn* column, const QString& text, TTextKind kind)
{
    QString result;
    if (column && column->AutoNumber() && kind != tkReport) {
        const int n = RecordNumber();
        result = n < 0 ? QString() : QString::number(n) + QLatin1Char('.');
    } else {
        result = PickGetText(column, text);
    }
    if (OnColGetText)
        OnColGetText(column, result, kind);
    return result;
}

QString TXCustomDBGrid::ColSetText(TXColumn* column, const QString& text)
{
    QString result = text;
    if (OnColSetText)
        OnColSetText(column, result);
    return PickSetText(column, result, column ? column->Field() : nullptr);
}

QString TXCustomDBGrid::GetEditText(int col, int row)
{
    (void)row;
    const int dc = GridColToDataCol(col);
    QString text;
    if (dc >= 0 && dc < m_columns->Count()) {
        TXColumn* c = m_columns->Items(dc);
        if (db::TField* f = c->Field())
            text = ColGetText(c, f->EditText(), tkEdit);
    }
    m_editText = text;
    return text;
}

void TXCustomDBGrid::SetEditText(int col, int row, const QString& value)
{
    (void)col;
    (void)row;
    m_editText = value;
    m_dataLink->Modified();
}

bool TXCustomDBGrid::CanEditModify()
{
    const int dc = SelectedIndex();
    if (m_readOnly || !m_dataLink->Active() || dc < 0 || dc >= m_columns->Count())
        return false;
    TXColumn* c = m_columns->Items(dc);
    db::TField* f = c->Field();
    if (!f || c->ReadOnly() || !f->CanModify() || m_dataLink->ReadOnly() || !EditableFieldType(f))
        return false;
    const bool editing = m_dataLink->Edit();
    if (editing)
        m_dataLink->Modified();
    return editing;
}

bool TXCustomDBGrid::CanEditShow() const
{
    const int dc = GridColToDataCol(Col());
    if (dc < 0 || dc >= m_columns->Count() || !m_dataLink->Active())
        return false;
    if (!m_columns->Items(dc)->CanShowEditor())
        return false;
    return tk::TCustomGrid::CanEditShow();
}

QString TXCustomDBGrid::OrderFields() const
{
    if (m_columns->State() == csDefault && !(m_dataLink->DataSet() && m_dataLink->DataSet()->Active()))
        return m_orderFieldsStored;
    QStringList parts;
    for (TXColumn* c : m_columns->SortList()) {
        QString p = c->FieldName();
        if (c->Title()->Marker() == tmDescend)
            p += QStringLiteral(" DESC");
        parts << p;
    }
    return parts.join(QLatin1Char(','));
}

void TXCustomDBGrid::MarkerLock()
{
    if (m_markerLock++ == 0)
        m_markerOrderBefore = OrderFields();
}

void TXCustomDBGrid::MarkerUnlock()
{
    if (m_markerLock <= 0)
        return;
    if (--m_markerLock == 0) {
        InvalidateGrid();
        if (OrderFields() != m_markerOrderBefore)
            OrderChanged();
    }
}

void TXCustomDBGrid::OrderChanged()
{
    if (OnOrderChanged)
        OnOrderChanged(this);
}

void TXCustomDBGrid::TitleClick(TXColumn* column)
{
    if (OnTitleClick)
        OnTitleClick(column);
}

void TXCustomDBGrid::ColEnter()
{
    if (OnColEnter)
        OnColEnter(this);
}

void TXCustomDBGrid::ColExit()
{
    if (OnColExit)
        OnColExit(this);
}

void TXCustomDBGrid::DoEnter()
{
    if (OnEnter)
        OnEnter(this);
}

QRect TXCustomDBGrid::ColumnCellRect(TXColumn* column, int dataRow) const
{
    return CellRect(DataColToGridCol(column->Index()), dataRow + m_titleOffset);
}

// ------------------------------------------------------------------ stretch mode

void TXCustomDBGrid::SetStretchMode(bool value)
{
    if (value == m_stretchMode)
        return;
    m_stretchMode = value;
    if (value) {
        setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        SetLeftCol(tk::TCustomGrid::FixedCols());
    } else {
        SetScrollBars(m_scrollBars);
        for (int i = 0; i < m_columns->Count(); ++i)
            m_columns->Items(i)->m_stretchWidth = -1;
    }
    LayoutChanged();
}

void TXCustomDBGrid::SetStretchWidthMin(int value)
{
    if (value < -1)
        return;
    if (value >= 0 && m_stretchWidthMax >= 0)
        value = std::min(value, m_stretchWidthMax);
    m_stretchWidthMin = value;
    UpdateStretchWidths();
}

void TXCustomDBGrid::SetStretchWidthMax(int value)
{
    if (value < -1)
        return;
    if (value >= 0 && m_stretchWidthMin >= 0)
        value = std::max(value, m_stretchWidthMin);
    m_stretchWidthMax = value;
    UpdateStretchWidths();
}

void TXCustomDBGrid::UpdateStretchWidths()
{
    if (!Stretching() || m_inStretch)
        return;
    m_inStretch = true;
    ScopeExit done{[this] { m_inStretch = false; }};
    const int line = (m_options & dgColLines) ? GridLineWidth() : 0;
    const std::vector<TXColumn*>& cols = m_visibleColumns;
    const size_t n = cols.size();
    if (n == 0)
        return;
    int avail = viewport()->width() - int(n) * line;
    if (m_options & dgIndicator)
        avail -= m_indicatorWidth + line;
    std::vector<qint64> share(n);
    std::vector<int> fixed(n, -1);      // width a column was fixed at, -1 while it shares
    std::vector<bool> atLower(n, false);
    for (size_t i = 0; i < n; ++i)
        share[i] = std::max(1, cols[i]->WidthBase());
    auto lowerOf = [&](TXColumn* c) {
        if (c->WidthMin() >= 0 || c->WidthMax() >= 0)
            return c->WidthMin();
        return m_stretchWidthMin;
    };
    auto upperOf = [&](TXColumn* c) {
        if (c->WidthMin() >= 0 || c->WidthMax() >= 0)
            return c->WidthMax();
        return m_stretchWidthMax;
    };
    bool freed = false;
    for (;;) {
        qint64 total = 0;
        int remaining = avail;
        for (size_t i = 0; i < n; ++i) {
            if (fixed[i] >= 0)
                remaining -= fixed[i];
            else
                total += share[i];
        }
        if (total == 0) {
            // Nothing left to share but space remains: free the columns held at a lower bound once.
            if (remaining > 0 && !freed) {
                freed = true;
                bool any = false;
                for (size_t i = 0; i < n; ++i)
                    if (atLower[i]) {
                        fixed[i] = -1;
                        atLower[i] = false;
                        any = true;
                    }
                if (any)
                    continue;
            }
            break;
        }
        if (remaining <= 0)
            break;
        bool anyFixed = false;
        for (size_t i = 0; i < n; ++i) {
            if (fixed[i] >= 0)
                continue;
            const int w = int(qint64(remaining) * share[i] / total);
            const int lo = lowerOf(cols[i]);
            const int hi = upperOf(cols[i]);
            if (lo >= 0 && w < lo) {
                fixed[i] = lo;
                atLower[i] = true;
                anyFixed = true;
            } else if (hi >= 0 && w > hi) {
                fixed[i] = hi;
                anyFixed = true;
            }
        }
        if (!anyFixed)
            break;
    }
    qint64 total = 0;
    int remaining = avail;
    for (size_t i = 0; i < n; ++i) {
        if (fixed[i] >= 0)
            remaining -= fixed[i];
        else
            total += share[i];
    }
    qint64 carry = 0;
    for (size_t i = 0; i < n; ++i) {
        int w;
        if (fixed[i] >= 0) {
            w = fixed[i];
        } else if (remaining > 0 && total > 0) {
            const qint64 exact = qint64(remaining) * share[i] + carry;
            w = int(exact / total);
            carry = exact % total;
        } else {
            w = std::max(0, m_stretchWidthMin);
        }
        cols[i]->m_stretchWidth = w;
    }
    SetColumnAttributes();
    InvalidateGrid();
}

// ------------------------------------------------------------------ widths and heights

void TXCustomDBGrid::ColWidthsChanged()
{
    // Only widths the user changed reach the columns; the layout sets them itself.
    if (m_layoutLock > 0 || m_inLayout || m_inStretch ||
        !(m_dataLink->Active() || m_columns->State() == csCustomized)) {
        tk::TCustomGrid::ColWidthsChanged();
        return;
    }
    BeginLayout();
    for (int i = 0; i < m_columns->Count(); ++i) {
        TXColumn* c = m_columns->Items(i);
        const int w = ColWidths(DataColToGridCol(i));
        if (c->Showing() && w != c->Width() && w > 0)
            c->SetWidth(w);
    }
    EndLayout();
    tk::TCustomGrid::ColWidthsChanged();
    CopyLayoutToFollower();
    if (OnColumnResize)
        OnColumnResize(this);
}

void TXCustomDBGrid::ColumnMoved(int fromIndex, int toIndex)
{
    // The toolkit moved a grid column: the column (with its sub-tree) follows, then the layout.
    if (m_inColumnMoved)
        return;
    m_inColumnMoved = true;
    ScopeExit guard{[this] { m_inColumnMoved = false; }};
    const int from = GridColToDataCol(fromIndex);
    const int to = GridColToDataCol(toIndex);
    if (from < 0 || to < 0 || from >= m_columns->Count() || to >= m_columns->Count() || !ColumnMoving(from, to)) {
        // Refused: the toolkit's move is undone.
        MoveColumn(toIndex, fromIndex);
        return;
    }
    const int leftCol = LeftCol();
    BeginLayout();
    m_columns->Items(from)->SetIndex(to);
    EndLayout();
    if ((m_options & dgRowSelect) && (m_options & dgRowScroll))
        SetLeftCol(leftCol);
    TXCustomDBGrid* follower = FollowerGrid();
    if (follower && from < follower->Columns()->Count() && to < follower->Columns()->Count())
        follower->Columns()->Items(from)->SetIndex(to);
    if (OnColumnMoved)
        OnColumnMoved(this, from, to);
}

void TXCustomDBGrid::RowHeightsChanged()
{
    if ((m_options & dgRowResize) && !m_inLayout && m_layoutLock == 0) {
        // The first data row the user sized sets the lines of every row.
        const int before = DefaultRowHeight();
        for (int r = m_titleOffset; r < RowCount(); ++r) {
            const int h = RowHeights(r);
            if (h == before)
                continue;
            BeginLayout();
            SetLinesCount(LinesForRowHeight(h));
            EndLayout();
            InvalidateEditor();
            if (std::abs(DefaultRowHeight() - before) > RowLineWidth() && OnRowResize)
                OnRowResize(this);
            break;
        }
    }
    tk::TCustomGrid::RowHeightsChanged();
}

} // namespace xdb
