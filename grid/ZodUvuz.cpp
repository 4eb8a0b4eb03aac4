#include "grid/ZodUvuz.h"
#include "grid/ZodUvuzEdit.h"

#include "grid/GridUtils.h"
#include "platform/graphics/VisualStyles.h"
#include "platform/grid/WinCompat.h"
#include "platform/settings/IniFile.h"
#include "platform/settings/RegIniFile.h"

#include <QApplication>
#include <QEvent>
#include <QFontMetrics>
#include <QTimerEvent>
#include <QResizeEvent>
#include <QStyle>
#include <algorithm>
#include <cmath>

namespace grid {

namespace {
// A header text's "\n" pairs (backslash, n) become line breaks.
QString headerText(QString s) { return s.replace(QLatin1String("\\n"), QLatin1String("\r")); }
} // namespace

TZedEzeravIvur::TZedEzeravIvur(QWidget* parent, bool designing) : TBaseGrid(parent)
{
    SetDesigning(designing);
    TrackFocusChanges();
    m_printSettings = std::make_unique<TPrintSettings>(this);
    m_sortSettings = std::make_unique<TSortSettings>(this);
    m_dragDropSettings = std::make_unique<TDragDropSettings>(this);
    m_dragScrollOptions = std::make_unique<TDragScrollOptions>(this);
    m_bands = std::make_unique<TBands>(this);
    m_backGround = std::make_unique<TBackGround>(this);
    m_grouping = std::make_unique<TGrouping>(this);
    m_showModified = std::make_unique<TShowModified>(this);
    m_showModified->OnChange = [this](TShowModified*) { InvalidateCol(0); };
    m_htmlSettings = std::make_unique<THTMLSettings>(this);
    m_controlLook = std::make_unique<TControlLook>(this);
    m_navigation = std::make_unique<TNavigation>(this);
    m_columnSize = std::make_unique<TColumnSize>(this);
    m_cellNode = std::make_unique<TCellNode>(this);
    m_sizeWhileTyping = std::make_unique<TSizeWhileTyping>(this);
    m_mouseActions = std::make_unique<TMouseActions>(this);
    m_columnHeaders.OnChange = [this](tk::TStringList*) { writeColumnHeaders(); };
    m_rowHeaders.OnChange = [this](tk::TStringList*) { writeRowHeaders(); };
    AutoMergeColumns().OnListChange = [this](TIntList*, int, int) { ReMergeColumns(); };

    // "Tahoma" stays the requested family; the font system substitutes it where it is missing.
    m_fixedFont.SetName(QStringLiteral("Tahoma"));
    QFont f = m_fixedFont.Font();
    f.setBold(true);
    m_fixedFont.SetFont(f);
    f = m_activeCellFont.Font();
    if (designing)
        f.setFamily(QStringLiteral("Tahoma"));
    f.setBold(true);
    m_activeCellFont.SetFont(f);
    m_fixedFont.OnChange = [this](tk::TFont*) { InvalidateGrid(); };
    m_activeCellFont.OnChange = [this](tk::TFont*) { InvalidateGrid(); };

    TBaseGrid::SetColCount(5);
    SetRowCount(10);
    resize(400, 250);
    SetDefaultRowHeight(21);

    m_themedDrawing = visualstyles::IsThemeActive();
    const int32_t cc = tk::GetFileVersion(QStringLiteral("COMCTL32.DLL"));
    m_commonControls6 = cc != -1 && ((cc >> 16) & 0xFF) > 5;
    ScrollWidth = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);
    connectScrollBars();
    QWidget* host = window();
    if (!designing)
        for (int d = 0; d < 4; ++d)
            m_arrows[size_t(d)] = new TArrowWindow(host, d);
    m_popupButton = new TPopupButton(host);
}

TZedEzeravIvur::~TZedEzeravIvur()
{
    // An editor that holds the focus would lose it while the window system tears the children
    // down, with the grid half gone: the focus leaves now, with nothing to end.
    m_tearingDown = true;
    if (QWidget* f = QApplication::focusWidget(); f && f != this && isAncestorOf(f))
        f->clearFocus();
    if (m_watchedWindow)
        m_watchedWindow->removeEventFilter(this);
    if (m_columnSize->Save)
        SaveColumnWidths();
    // The markers live in the grid's window: they go with the grid.
    for (auto& a : m_arrows)
        if (a && a->parent() != this)
            delete a.data();
    if (m_popupButton && m_popupButton->parent() != this)
        delete m_popupButton.data();
    // Hidden rows' cell objects are the grid's as well.
    for (TGridItem& item : m_hiddenRows)
        freeRecordObjects(item.Row);
    // The sub-objects know the grid: they go before the base grid frees the cells.
    m_mouseActions.reset();
    m_sizeWhileTyping.reset();
    m_cellNode.reset();
    m_columnSize.reset();
    m_navigation.reset();
    m_controlLook.reset();
    m_htmlSettings.reset();
    m_printSettings.reset();
    m_showModified.reset();
    m_grouping.reset();
    m_backGround.reset();
    m_bands.reset();
    m_dragScrollOptions.reset();
    m_dragDropSettings.reset();
    m_sortSettings.reset();
}

// --- published setters

void TZedEzeravIvur::SetActiveCellShow(bool v)
{
    m_activeCellShow = v;
    InvalidateGrid();
}

void TZedEzeravIvur::SetActiveCellColor(TColor v)
{
    m_activeCellColor = v;
    InvalidateGrid();
}

void TZedEzeravIvur::SetActiveCellColorTo(TColor v)
{
    m_activeCellColorTo = v;
    InvalidateGrid();
}

void TZedEzeravIvur::SetVAlignment(TVAlignment v)
{
    m_vAlignment = v;
    if (UpdateCount() == 0)
        InvalidateGrid();
}

void TZedEzeravIvur::SetBackGround(const TBackGround* value)
{
    m_backGround->Assign(value);
    InvalidateGrid();
}

void TZedEzeravIvur::SetFlat(bool v)
{
    m_flat = v;
    InvalidateGrid();
}

void TZedEzeravIvur::SetLook(TGridLook v)
{
    if (tk::ChangeValue(m_look, v))
        InvalidateGrid();
}

void TZedEzeravIvur::SetURLColor(TColor v)
{
    m_urlColor = v;
    if (m_urlShow)
        InvalidateGrid();
}

void TZedEzeravIvur::SetURLShow(bool v)
{
    m_urlShow = v;
    InvalidateGrid();
}

void TZedEzeravIvur::SetURLFull(bool v)
{
    m_urlFull = v;
    if (m_urlShow)
        InvalidateGrid();
}

void TZedEzeravIvur::SetWordWrap(bool v)
{
    m_ownWordWrap = v;
    TBaseGrid::SetWordWrap(v);
    if (UpdateCount() == 0)
        InvalidateGrid();
}

void TZedEzeravIvur::SetSizeWithForm(bool v)
{
    m_sizeWithForm = v;
    if (v && isVisible())
        watchWindow();
}

// --- dimensions

void TZedEzeravIvur::SetRowCount(int value)
{
    if (m_fixedRowAlways && TBaseGrid::FixedRows() >= TBaseGrid::RowCount())
        UnHideSelection();
    // The footer row stays the last row: new rows come in above it, and of the rows cut off the
    // footer row is kept in place of the last remaining one.
    const int old = TBaseGrid::RowCount();
    const bool footer = LastRowIsFooter() && !m_sortRun && old > 0 && value > 0 && value != old;
    const auto merges = m_noMergeRelay ? std::vector<TMergedRange>() : MergedRanges();
    if (footer && value < old)
        ExchangeRows(old - 1, value - 1);
    TBaseGrid::SetRowCount(value);
    if (footer && value > old)
        ExchangeRows(old - 1, value - 1);
    if (!merges.empty()) {
        // Rows cut off leave their ranges; the footer row moved to the new last place.
        std::vector<int> to = ShiftedIndices(old, std::min(old, TBaseGrid::RowCount()), -(old - TBaseGrid::RowCount()));
        if (footer) {
            if (value < old)
                to[size_t(value - 1)] = -1;
            to[size_t(old - 1)] = value - 1;
        }
        RelayMergedRanges(merges, to, ShiftedIndices(ColCount(), 0, 0));
    }
    if (m_fixedRowAlways && m_fixedRowsStored < TBaseGrid::RowCount())
        TBaseGrid::SetFixedRows(m_fixedRowsStored);
    SetDisplayTextRowLimit(TBaseGrid::RowCount());
    UpdateScrollBarsAlways();
}

void TZedEzeravIvur::SetColCount(int value)
{
    const int old = ColCount();
    const auto merges = m_noMergeRelay ? std::vector<TMergedRange>() : MergedRanges();
    TBaseGrid::SetColCount(value);
    if (!merges.empty() && ColCount() < old)
        RelayMergedRanges(merges, ShiftedIndices(RowCount(), 0, 0), ShiftedIndices(old, ColCount(), ColCount() - old));
    if (m_fixedColAlways && m_fixedColsStored < TBaseGrid::ColCount())
        TBaseGrid::SetFixedCols(m_fixedColsStored);
    SetBounds(x(), y(), width(), height());
    UpdateScrollBarsAlways();
}

int TZedEzeravIvur::FixedRows() const
{
    const int n = TBaseGrid::FixedRows();
    return n == 0 && m_fixedRowAlways ? 1 : n;
}

void TZedEzeravIvur::SetFixedRows(int value)
{
    TBaseGrid::SetFixedRows(value);
    m_fixedRowsStored = TBaseGrid::FixedRows();
}

int TZedEzeravIvur::FixedCols() const
{
    const int n = TBaseGrid::FixedCols();
    return n == 0 && m_fixedColAlways ? 1 : n;
}

void TZedEzeravIvur::SetFixedCols(int value)
{
    TBaseGrid::SetFixedCols(value);
    m_fixedColsStored = TBaseGrid::FixedCols();
}

void TZedEzeravIvur::SetFixedRowAlways(bool value)
{
    if (tk::ChangeValue(m_fixedRowAlways, value))
        InvalidateGrid();
}

void TZedEzeravIvur::SetFixedColAlways(bool value)
{
    if (tk::ChangeValue(m_fixedColAlways, value))
        InvalidateGrid();
}

void TZedEzeravIvur::SetFixedFooters(int value)
{
    m_fixedFooters = std::max(0, value);
    InvalidateGrid();
}

void TZedEzeravIvur::SetFixedRightCols(int value)
{
    m_fixedRightCols = std::max(0, value);
    InvalidateGrid();
}

void TZedEzeravIvur::SetFixedColWidth(int value)
{
    if (value == DefaultColWidth())
        return;
    for (int c = 0; c < TBaseGrid::FixedCols(); ++c)
        SetColWidths(c, value);
}

void TZedEzeravIvur::SetDefaultRowHeight(int value)
{
    TBaseGrid::SetDefaultRowHeight(value);
    if (Designing())
        m_fixedRowHeight = TBaseGrid::DefaultRowHeight();
}

void TZedEzeravIvur::SetFixedRowHeight(int value)
{
    m_fixedRowHeight = value;
    if (value == DefaultRowHeight()) {
        SetDefaultRowHeight(value);
        return;
    }
    for (int r = 0; r < TBaseGrid::FixedRows(); ++r)
        SetRowHeights(r, value);
}

// --- header lists

void TZedEzeravIvur::SetColumnHeaders(const tk::TStringList& list)
{
    auto handler = std::move(m_columnHeaders.OnChange);
    m_columnHeaders.Assign(list);
    m_columnHeaders.OnChange = std::move(handler);
    if (TBaseGrid::FixedRows() > 0)
        for (int c = 0; c < ColCount(); ++c)
            StoreCell(c, 0, QString());
    writeColumnHeaders();
}

void TZedEzeravIvur::SetRowHeaders(const tk::TStringList& list)
{
    auto handler = std::move(m_rowHeaders.OnChange);
    m_rowHeaders.Assign(list);
    m_rowHeaders.OnChange = std::move(handler);
    if (Designing() && TBaseGrid::FixedCols() > 0)
        for (int r = 0; r < RowCount(); ++r)
            StoreCell(0, r, QString());
    writeRowHeaders();
}

namespace {
tk::TStringList toStringList(const QStringList& items)
{
    tk::TStringList list;
    for (const QString& s : items)
        list.Add(s);
    return list;
}
} // namespace

void TZedEzeravIvur::SetColumnHeadersList(const QStringList& items) { SetColumnHeaders(toStringList(items)); }

void TZedEzeravIvur::SetRowHeadersList(const QStringList& items) { SetRowHeaders(toStringList(items)); }

void TZedEzeravIvur::writeColumnHeaders()
{
    if (TBaseGrid::FixedRows() <= 0)
        return;
    for (int i = 0; i < m_columnHeaders.Count() && i < ColCount(); ++i)
        StoreCell(i, 0, headerText(m_columnHeaders[i]));
    InvalidateRow(0);
}

void TZedEzeravIvur::writeRowHeaders()
{
    if (TBaseGrid::FixedCols() <= 0)
        return;
    for (int i = 0; i < m_rowHeaders.Count() && i < RowCount(); ++i)
        StoreCell(0, i, headerText(m_rowHeaders[i]));
    InvalidateCol(0);
}

// --- updates

void TZedEzeravIvur::BeginUpdate()
{
    // Counted whether or not the grid is shown, so hiding between the calls keeps them balanced.
    if (m_updateCount++ == 0)
        setUpdatesEnabled(false);
}

void TZedEzeravIvur::EndUpdate()
{
    if (m_updateCount == 0)
        return;
    if (--m_updateCount == 0) {
        setUpdatesEnabled(true);
        viewport()->update();
    }
}

// --- navigation

void TZedEzeravIvur::SetRowNotify(int row)
{
    SetRow(row);
    if (Row() != m_lastReportedRow && OnRowUpdate && m_updateCount == 0) {
        const int old = m_lastReportedRow;
        m_lastReportedRow = Row();
        OnRowUpdate(this, old, Row());
    }
}

void TZedEzeravIvur::HideSelection()
{
    m_hiddenSelection = Selection();
    SetSelection(tk::TGridRect{ColCount(), RowCount(), ColCount(), RowCount()});
    m_selectionHidden = true;
}

void TZedEzeravIvur::UnHideSelection()
{
    m_selectionHidden = false;
    if (m_hiddenSelection.Top < RowCount() && m_hiddenSelection.Left < ColCount()) {
        SetSelection(m_hiddenSelection);
        return;
    }
    const int rows = TBaseGrid::RowCount(), cols = TBaseGrid::ColCount();
    const int row = m_fixedRowAlways && TBaseGrid::FixedRows() >= rows ? 0 : TBaseGrid::FixedRows();
    const int col = m_fixedColAlways && TBaseGrid::FixedCols() >= cols ? 0 : TBaseGrid::FixedCols();
    SetSelection(tk::TGridRect{col, row, col, row});
}

void TZedEzeravIvur::ScreenToCell(const QPoint& screenPoint, int& col, int& row) const
{
    const tk::TGridCoord c = MouseCoord(viewport()->mapFromGlobal(screenPoint).x(),
                                        viewport()->mapFromGlobal(screenPoint).y());
    col = c.X;
    row = c.Y;
}

void TZedEzeravIvur::MoveColumnData(int fromIndex, int toIndex)
{
    if (m_columnOrder.Count() == 0)
        for (int c = 0; c < ColCount(); ++c)
            m_columnOrder.Insert(c, c);
    MoveColumn(fromIndex, toIndex);
}

void TZedEzeravIvur::MoveRowData(int fromIndex, int toIndex)
{
    if (isFooterRow(fromIndex) || isFooterRow(toIndex))
        return;
    MoveRow(fromIndex, toIndex);
}

void TZedEzeravIvur::referTo(QPointer<QObject>& slot, QObject* value)
{
    if (slot == value)
        return;
    if (slot)
        disconnect(slot, &QObject::destroyed, this, nullptr);
    slot = value;
    if (value)
        connect(value, &QObject::destroyed, this, [this](QObject* gone) { Notification(gone, opRemove); });
}

void TZedEzeravIvur::Notification(QObject* component, TOperation operation)
{
    if (operation != opRemove || !component)
        return;
    // A destroyed object already reads null through its QPointer; a removal reported before the
    // destruction is found by address.
    for (QPointer<QObject>* slot : {&m_gridImages, &m_pictureContainer, &m_cellChecker})
        if (slot->data() == component)
            *slot = nullptr;
}

void TZedEzeravIvur::SetLookupItemsList(const QStringList& items)
{
    m_lookupItems.Clear();
    for (const QString& s : items)
        m_lookupItems.Add(s);
}

void TZedEzeravIvur::GoToCell(int col, int row)
{
    if (col < 0 || row < 0 || col >= ColCount() || row >= RowCount())
        return;
    const int fixedCols = TBaseGrid::FixedCols(), fixedRows = TBaseGrid::FixedRows();
    const int visCols = VisibleColCount(), visRows = VisibleRowCount();
    int left = LeftCol(), top = TopRow();
    if (col >= fixedCols && (col < left || col >= left + visCols))
        left = std::max(fixedCols, col - visCols / 2);
    if (row >= fixedRows && (row < top || row >= top + visRows))
        top = std::max(fixedRows, row - visRows / 2);
    // Never beyond the last full page.
    left = std::max(fixedCols, std::min(left, ColCount() - visCols));
    top = std::max(fixedRows, std::min(top, RowCount() - visRows));
    SetLeftCol(left);
    SetTopRow(top);
    MoveColRow(col, Row(), true, false);
    SetRowNotify(row);
}

// --- copying

void TZedEzeravIvur::Assign(const QObject* source)
{
    const auto* s = qobject_cast<const TZedEzeravIvur*>(source);
    if (!s || s == this)
        return;
    setFont(s->font());
    m_activeCellColor = s->m_activeCellColor;
    m_activeCellColorTo = s->m_activeCellColorTo;
    m_activeCellFont.Assign(s->m_activeCellFont);
    m_activeCellShow = s->m_activeCellShow;
    SetActiveRowShow(s->ActiveRowShow());
    AnchorHint = s->AnchorHint;
    AutoNumAlign = s->AutoNumAlign;
    AutoSize = s->AutoSize;
    AutoThemeAdapt = s->AutoThemeAdapt;
    m_mouseActions->Assign(s->m_mouseActions.get());
    m_navigation->Assign(s->m_navigation.get());
    m_grouping->Assign(s->m_grouping.get());
    m_printSettings->Assign(s->m_printSettings.get());
    m_filter.Assign(s->m_filter);
    m_htmlSettings->Assign(s->m_htmlSettings.get());
    m_bands->Assign(s->m_bands.get());
    m_cellNode->Assign(s->m_cellNode.get());
    m_sortSettings->Assign(s->m_sortSettings.get());
    m_dragScrollOptions->Assign(s->m_dragScrollOptions.get());
    SetColCount(s->ColCount());
    SetRowCount(s->RowCount());
    SetFixedRows(s->TBaseGrid::FixedRows());
    SetFixedCols(s->TBaseGrid::FixedCols());
    SetDefaultColWidth(s->DefaultColWidth());
    SetDefaultRowHeight(s->DefaultRowHeight());
    SetGridOptions(s->GridOptions());
    // Every cell's text as it is stored (fixed cells and line breaks included) and the widths.
    for (int r = 0; r < RowCount(); ++r)
        for (int c = 0; c < ColCount(); ++c)
            StoreCell(c, r, s->Cells(c, r));
    for (int c = 0; c < ColCount(); ++c)
        SetColWidths(c, s->ColWidths(c));
    InvalidateGrid();
}

// --- column widths

void TZedEzeravIvur::SaveColumnWidths()
{
    const TColumnSize& cs = *m_columnSize;
    if (cs.Key.isEmpty() || cs.Section.isEmpty() || Designing())
        return;
    if (cs.Location == clIniFile) {
        settings::TIniFile ini(cs.Key);
        for (int c = 0; c < ColCount(); ++c)
            ini.WriteInteger(cs.Section, QStringLiteral("Col%1").arg(c), ColWidths(c));
    } else {
        settings::TRegIniFile reg(cs.Key);
        for (int c = 0; c < ColCount(); ++c)
            reg.WriteInteger(cs.Section, QStringLiteral("Col%1").arg(c), ColWidths(c));
    }
}

void TZedEzeravIvur::LoadColumnWidths()
{
    const TColumnSize& cs = *m_columnSize;
    if (cs.Key.isEmpty() || cs.Section.isEmpty() || Designing())
        return;
    auto apply = [this](auto& store, const QString& section) {
        for (int c = 0; c < ColCount(); ++c) {
            const int w = store.ReadInteger(section, QStringLiteral("Col%1").arg(c), ColWidths(c));
            if (w != ColWidths(c))
                SetColWidths(c, w);
        }
    };
    if (cs.Location == clIniFile) {
        settings::TIniFile ini(cs.Key);
        apply(ini, cs.Section);
    } else {
        settings::TRegIniFile reg(cs.Key);
        apply(reg, cs.Section);
    }
}

// --- window

void TZedEzeravIvur::showEvent(QShowEvent* event)
{
    TBaseGrid::showEvent(event);
    if (m_shownOnce)
        return;
    // The first show stands for the creation of the grid's window.
    m_shownOnce = true;
    if (m_columnSize->Save)
        LoadColumnWidths();
    if (m_timerId == 0)
        m_timerId = startTimer(500);
    // A grid being designed shows its default font as "Tahoma" until it is loaded.
    if (Designing() && !m_loaded) {
        QFont f = font();
        f.setFamily(QStringLiteral("Tahoma"));
        setFont(f);
    }
    if (m_sizeWithForm)
        watchWindow();
}

void TZedEzeravIvur::TopLeftChanged()
{
    TBaseGrid::TopLeftChanged();
    FollowEditorControl();
    RepositionCellControls();
}

void TZedEzeravIvur::resizeEvent(QResizeEvent* event)
{
    TBaseGrid::resizeEvent(event);
    RepositionCellControls();
    if (OnResize)
        OnResize(this);
    const TBackGroundDisplay d = m_backGround->Display();
    if ((d == bdGradientHorz || d == bdGradientVert) && m_backGround->ColorTo() != gfx::clNone)
        InvalidateGrid();
    UpdateScrollBarsAlways();
    applyIntegralHeightOnResize();
}

void TZedEzeravIvur::timerEvent(QTimerEvent* event)
{
    if (event->timerId() == m_timerId && m_timerId != 0) {
        TimerTick();
        return;
    }
    TBaseGrid::timerEvent(event);
}

void TZedEzeravIvur::InvalidateGrid()
{
    if (m_skipInvalidate) {
        m_skipInvalidate = false;
        return;
    }
    TBaseGrid::InvalidateGrid();
}

void TZedEzeravIvur::watchWindow()
{
    if (Designing())
        return;
    QWidget* w = window();
    if (!w || w == this || w == m_watchedWindow)
        return;
    if (m_watchedWindow)
        m_watchedWindow->removeEventFilter(this);
    m_watchedWindow = w;
    m_windowSize = w->size();
    w->installEventFilter(this);
}

bool TZedEzeravIvur::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_watchedWindow && event->type() == QEvent::Resize && m_sizeWithForm && !Designing()) {
        const QSize now = static_cast<QResizeEvent*>(event)->size();
        const int w = width() + now.width() - m_windowSize.width();
        const int h = height() + now.height() - m_windowSize.height();
        if (w > 0 && h > 0) {
            resize(w, h);
            m_windowSize = now;
        }
    }
    return TBaseGrid::eventFilter(watched, event);
}

// --- version

void TZedEzeravIvur::GetVersionString(QString& text)
{
    text = Version() + QStringLiteral(" Oct, 2005");
}

QString TZedEzeravIvur::Version()
{
    const int v = GetVersionNr();
    return QStringLiteral("%1.%2.%3.%4").arg((v >> 24) & 0xFF).arg((v >> 16) & 0xFF).arg((v >> 8) & 0xFF).arg(v & 0xFF);
}

// --- hooks

void TZedEzeravIvur::GetCellFixed(int col, int row, bool& isFixed)
{
    if (isFixed)
        return;
    isFixed = col < TBaseGrid::FixedCols() || row < TBaseGrid::FixedRows()
              || (m_fixedRowAlways && RowCount() == m_loadedFixedRows && row <= m_loadedFixedRows)
              || (m_fixedColAlways && ColCount() == m_loadedFixedCols && col < m_loadedFixedCols);
    if (!isFixed && OnIsFixedCell)
        OnIsFixedCell(this, row, col, isFixed);
}

bool TZedEzeravIvur::IsFixedCell(int col, int row)
{
    const QPoint b = BaseCell(DisplColIndex(col), row);
    if (b.y() >= RowCount() - m_fixedFooters)
        return true;
    if (b.x() >= ColCount() - m_fixedRightCols)
        return true;
    bool fixed = false;
    GetCellFixed(b.x(), b.y(), fixed);
    return fixed;
}

void TZedEzeravIvur::GetCheckTrue(int col, int row, QString& value)
{
    value = m_checkTrue;
    if (OnGetCheckTrue)
        OnGetCheckTrue(this, col, row, value);
}

void TZedEzeravIvur::GetCheckFalse(int col, int row, QString& value)
{
    value = m_checkFalse;
    if (OnGetCheckFalse)
        OnGetCheckFalse(this, col, row, value);
}

void TZedEzeravIvur::CanEditCell(int col, int row, bool& canEdit)
{
    // Decided for the base cell of a merged range.
    const QPoint b = BaseCell(col, row);
    if (HasCellProperties(b.x(), b.y()) && canEdit) {
        canEdit = !CellPropertiesOrNull(b.x(), b.y())->ReadOnly;
        if (!(GridOptions() & tk::goEditing) && !MouseActions()->RangeSelectAndEdit && !editing().optionRemoved)
            canEdit = false;
    }
    if (OnCanEditCell)
        OnCanEditCell(this, b.y(), b.x(), canEdit);
}

void TZedEzeravIvur::GetCellColor(int col, int row, tk::TGridDrawState state, TColor& brush, tk::TFont& font)
{
    if (m_activeCellShow
        && ((col == 0 && row == Row() && TBaseGrid::FixedCols() > 0)
            || (row == 0 && col == Col() && TBaseGrid::FixedRows() > 0))) {
        font.Assign(m_activeCellFont);
        brush = m_activeCellColor;
    }
    if (const TCellProperties* p = CellPropertiesOrNull(col, row))
        ApplyCellProperties(p, brush, font);
    if (OnGetCellColor)
        OnGetCellColor(this, row, col, state, brush, font);
}

void TZedEzeravIvur::GetCellAlignment(int col, int row, TAlignment& hAlign, TVAlignment& vAlign)
{
    if (col == 0 && m_mouseActions->HotmailRowSelect())
        hAlign = taCenter;
    if (OnGetAlignment)
        OnGetAlignment(this, row, col, hAlign, vAlign);
}

void TZedEzeravIvur::GridHint(int col, int row, QString& hint)
{
    if (OnGridHint)
        OnGridHint(this, row, col, hint);
}

void TZedEzeravIvur::GetCellPrintColor(int col, int row, tk::TGridDrawState state, TColor& brush, tk::TFont& font)
{
    if (OnGetCellPrintColor)
        OnGetCellPrintColor(this, row, col, state, brush, font);
}

void TZedEzeravIvur::GetCellBorder(int col, int row, QPen& pen, TCellBorders& borders)
{
    // Group header rows are underlined, summary rows get a line on top.
    if (col > 0 && m_nodeCount > 0) {
        const int real = RealRowIndex(row);
        if (m_grouping->HeaderUnderline && IsNodeRow(real)) {
            borders = 1 << cbBottom;
            pen = QPen(gfx::ToQColor(m_grouping->HeaderLineColor, &palette()), m_grouping->HeaderLineWidth);
        } else if (m_grouping->SummaryLine && IsSummaryRow(real)) {
            borders = 1 << cbTop;
            pen = QPen(gfx::ToQColor(m_grouping->SummaryLineColor, &palette()), m_grouping->SummaryLineWidth);
        }
    }
    if (OnGetCellBorder)
        OnGetCellBorder(this, row, col, pen, borders);
}

void TZedEzeravIvur::GetCellPrintBorder(int col, int row, QPen& pen, TCellBorders& borders)
{
    if (OnGetCellPrintBorder)
        OnGetCellPrintBorder(this, row, col, pen, borders);
}

void TZedEzeravIvur::GetColumnFormat(int col, TSortStyle& style, QString& prefix, QString& suffix)
{
    if (OnGetFormat)
        OnGetFormat(this, col, style, prefix, suffix);
}

void TZedEzeravIvur::GetCellEditor(int col, int row, TEditorType& editor)
{
    if (OnGetEditorType)
        OnGetEditorType(this, col, row, editor);
}

void TZedEzeravIvur::GetPasswordCell(int col, int row, bool& isPassword)
{
    if (OnIsPasswordCell)
        OnIsPasswordCell(this, row, col, isPassword);
}

void TZedEzeravIvur::GetCellWordWrap(int col, int row, bool& wordWrap)
{
    if (OnGetWordWrap)
        OnGetWordWrap(this, col, row, wordWrap);
}

bool TZedEzeravIvur::HasComboBox(int col, int row)
{
    bool has = false;
    if (OnHasComboBox)
        OnHasComboBox(this, col, row, has);
    return has;
}

void TZedEzeravIvur::CanAddRow(bool& canAdd)
{
    if (OnCanAddRow)
        OnCanAddRow(this, canAdd);
}

void TZedEzeravIvur::CanInsertRow(int row, bool& canInsert)
{
    if (OnCanInsertRow)
        OnCanInsertRow(this, row, canInsert);
}

void TZedEzeravIvur::SelectionChanged(int left, int top, int right, int bottom)
{
    if (OnSelectionChanged)
        OnSelectionChanged(this, left, top, right, bottom);
}

void TZedEzeravIvur::UpdateColumnSize(int col, int& width)
{
    if (OnUpdateColumnSize)
        OnUpdateColumnSize(this, col, width);
}

void TZedEzeravIvur::UpdateAutoColumnSize(int col, int& width)
{
    if (OnUpdateColumnSize)
        OnUpdateColumnSize(this, col, width);
}

void TZedEzeravIvur::CellsChanged(const QRect& cells)
{
    if (OnCellsChanged)
        OnCellsChanged(this, cells);
    for (const TCellsChangedListener& listener : m_cellsChangedListeners)
        listener(this, cells);
    CalcFooter(-1);
}

void TZedEzeravIvur::RichEditSelectionChanged()
{
    if (OnRichEditSelectionChange)
        OnRichEditSelectionChange(this);
}

void TZedEzeravIvur::DefineProperties(tk::TFiler& filer)
{
    filer.DefineCollection(QStringLiteral("Filter"), m_filter.StoredItems());
}

void TZedEzeravIvur::Loaded()
{
    writeColumnHeaders();
    writeRowHeaders();
    if (m_columnSize->Save)
        LoadColumnWidths();
    m_loadedFixedRows = TBaseGrid::FixedRows();
    m_loadedFixedCols = TBaseGrid::FixedCols();
    m_loadedDefaultRowHeight = DefaultRowHeight();
    m_loaded = true;
    if (GridOptions() & tk::goAlwaysShowEditor) {
        SetGridOptions(GridOptions() & ~tk::goAlwaysShowEditor);
        m_navigation->AlwaysEdit = true;
    }
    if (!m_themedDrawing && m_controlLook->ControlStyle() == csTheme && !Designing())
        m_controlLook->SetControlStyle(csClassic);
    if (AutoThemeAdapt)
        AdaptToTheme();
    UpdateScrollBarsAlways();
}

// --- cell states

TCellGraphic* TZedEzeravIvur::baseGraphic(int col, int row) const
{
    const QPoint b = BaseCell(col, row);
    return GetCellGraphic(b.x(), b.y());
}

bool TZedEzeravIvur::IsCheckBoxCell(int col, int row) const
{
    const TCellGraphic* g = baseGraphic(col, row);
    return g && (g->CellType == ctCheckBox || g->CellType == ctDataCheckBox || g->CellType == ctVirtCheckBox
                 || g->CellType == ctRowCheckBox);
}

bool TZedEzeravIvur::IsControlCell(int col, int row) const
{
    const TCellGraphic* g = baseGraphic(col, row);
    return g && (IsCheckBoxCell(col, row) || g->CellType == ctRadio || g->CellType == ctButton);
}

bool TZedEzeravIvur::IsButtonCell(int col, int row) const
{
    const TCellGraphic* g = baseGraphic(col, row);
    return g && (g->CellType == ctButton || g->CellType == ctBitButton);
}

bool TZedEzeravIvur::IsRadio(int col, int row) const
{
    const TCellGraphic* g = baseGraphic(col, row);
    return g && g->CellType == ctRadio;
}

QStringList TZedEzeravIvur::GetRadioOptions(int col, int row) const
{
    const TCellGraphic* g = baseGraphic(col, row);
    return g && g->CellType == ctRadio ? g->Options : QStringList();
}

bool TZedEzeravIvur::GetRadioIndex(int col, int row, int& index) const
{
    const TCellGraphic* g = baseGraphic(col, row);
    if (!g || g->CellType != ctRadio)
        return false;
    index = g->CellIndex;
    return true;
}

bool TZedEzeravIvur::GetCheckBoxState(int col, int row, bool& state)
{
    const QPoint b = BaseCell(col, row);
    const TCellGraphic* g = GetCellGraphic(b.x(), b.y());
    if (!g)
        return false;
    switch (g->CellType) {
    case ctCheckBox: state = g->CellBoolean; return true;
    case ctDataCheckBox:
    case ctVirtCheckBox: {
        QString t;
        GetCheckTrue(b.x(), b.y(), t);
        state = DisplayText(b.x(), b.y()) == t;
        return true;
    }
    default: return false;   // row check boxes follow the row selection
    }
}

bool TZedEzeravIvur::SetCheckBoxState(int col, int row, bool state)
{
    const QPoint b = BaseCell(col, row);
    TCellGraphic* g = GetCellGraphic(b.x(), b.y());
    if (!g)
        return false;
    switch (g->CellType) {
    case ctCheckBox:
        g->CellBoolean = state;
        RepaintCell(b.x(), b.y());
        return true;
    case ctDataCheckBox:
    case ctVirtCheckBox: {
        QString t;
        if (state)
            GetCheckTrue(b.x(), b.y(), t);
        else
            GetCheckFalse(b.x(), b.y(), t);
        SetCellText(b.x(), b.y(), t);
        return true;
    }
    default: return false;
    }
}

bool TZedEzeravIvur::ToggleCheckBox(int col, int row, bool checkEditable)
{
    const QPoint b = BaseCell(col, row);
    TCellGraphic* g = GetCellGraphic(b.x(), b.y());
    if (!g || (g->CellType != ctCheckBox && g->CellType != ctDataCheckBox && g->CellType != ctVirtCheckBox))
        return false;
    if (checkEditable && !m_controlLook->CheckAlwaysActive) {
        bool canEdit = true;
        CanEditCell(b.x(), b.y(), canEdit);
        if (!canEdit)
            return false;
    }
    if (g->CellType == ctCheckBox) {
        g->CellBoolean = !g->CellBoolean;
    } else {
        QString t, f;
        GetCheckTrue(b.x(), b.y(), t);
        GetCheckFalse(b.x(), b.y(), f);
        SetCellText(b.x(), b.y(), DisplayText(b.x(), b.y()) == t ? f : t);
    }
    RepaintCell(b.x(), b.y());
    return true;
}

void TZedEzeravIvur::CheckAll(int col)
{
    for (int r = TBaseGrid::FixedRows(); r < RowCount(); ++r)
        SetCheckBoxState(col, r, true);
}

void TZedEzeravIvur::UnCheckAll(int col)
{
    for (int r = TBaseGrid::FixedRows(); r < RowCount(); ++r)
        SetCheckBoxState(col, r, false);
}

bool TZedEzeravIvur::ToggleRadio(int col, int row, bool checkEditable)
{
    const QPoint b = BaseCell(col, row);
    TCellGraphic* g = GetCellGraphic(b.x(), b.y());
    // A radio cell without options has nothing to switch to.
    if (!g || g->CellType != ctRadio || g->Options.isEmpty())
        return false;
    if (checkEditable && !m_controlLook->RadioAlwaysActive) {
        bool canEdit = true;
        CanEditCell(b.x(), b.y(), canEdit);
        if (!canEdit)
            return false;
    }
    const int current = g->CellIndex >= 0 ? g->CellIndex : int(g->Options.indexOf(Cells(b.x(), b.y())));
    const int next = (current + 1) % int(g->Options.size());
    if (g->CellIndex >= 0)
        g->CellIndex = next;
    SetCellText(b.x(), b.y(), g->Options[next]);
    RepaintCell(b.x(), b.y());
    return true;
}

bool TZedEzeravIvur::PointInCheckBox(int col, int row, int x, int y)
{
    if (!IsCheckBoxCell(col, row))
        return false;
    if (!m_mouseActions->PreciseCheckBoxCheck)
        return true;
    const QPoint b = BaseCell(col, row);
    const TCellGraphic* g = GetCellGraphic(b.x(), b.y());
    const QRect r = CellRectAt(b.x(), b.y()).united(MergedCellRect(b.x(), b.y()));
    const int size = m_controlLook->CheckSize();
    int top = r.top() + 2;
    if (g->CellVAlign == vaBottom)
        top = r.bottom() + 1 - 2 - size;
    else if (g->CellVAlign == vaCenter)
        top = r.top() + (r.height() - size) / 2;
    const TCellProperties* p = CellPropertiesOrNull(b.x(), b.y());
    const TAlignment h = p ? p->Alignment : taLeftJustify;
    int left = r.left() + 2;
    if (h == taRightJustify)
        left = r.right() + 1 - 2 - size;
    else if (h == taCenter)
        left = r.left() + (r.width() - size) / 2;
    return QRect(left, top, size, size).contains(x, y);
}

bool TZedEzeravIvur::GetComment(int col, int row, QString& text) const
{
    const TCellGraphic* g = baseGraphic(col, row);
    if (!g || g->CellType != ctComment)
        return false;
    text = g->CellText;
    return true;
}

bool TZedEzeravIvur::GetRotation(int col, int row, int& angle) const
{
    const TCellGraphic* g = baseGraphic(col, row);
    if (!g || g->CellType != ctRotated)
        return false;
    angle = g->CellAngle;
    return true;
}

void TZedEzeravIvur::SetCellBoolean(int col, int row, bool value)
{
    const int real = DisplColIndex(col);
    if (TCellGraphic* g = GetCellGraphic(real, row)) {
        g->CellBoolean = value;
        RepaintCell(real, row);
    }
}

void TZedEzeravIvur::GetCellErrorRange(int col, int row, int& from, int& len) const
{
    const TCellGraphic* g = GetCellGraphic(col, row);
    from = g ? g->CellErrFrom : 0;
    len = g ? g->CellErrLen : 0;
}

QRect TZedEzeravIvur::GetCellControlRect(int col, int row) const
{
    const TCellGraphic* g = GetCellGraphic(col, row);
    QRect cell = MergedCellRect(col, row);
    if (cell.isEmpty())
        cell = CellRectAt(col, row);
    if (!g)
        return QRect();
    const int v = int(std::lround(g->CellValue));
    int left = cell.left() + (v & 0xFFFF);
    int top = cell.top() + ((v >> 16) & 0xFFFF);
    int w = g->CellIndex & 0xFFFF;
    int h = (g->CellIndex >> 16) & 0xFFFF;
    if (g->CellVAlign == vaFull) {
        top = cell.top();
        h = cell.height();
    }
    if (g->CellHAlign == haFull) {
        left = cell.left();
        w = cell.width();
    }
    return QRect(left, top, w, h);
}

} // namespace grid

// ------------------------------------------------------------------ selection marks

namespace grid {

namespace {
// Grows a mark list to hold `index` (new entries unmarked) and answers the entry.
uint8_t& markAt(std::vector<uint8_t>& marks, int index)
{
    if (size_t(index) >= marks.size())
        marks.resize(size_t(index) + 1, 0);
    return marks[size_t(index)];
}

bool between(int v, int a, int b) { return v >= std::min(a, b) && v <= std::max(a, b); }
} // namespace

bool TZedEzeravIvur::RowSelected(int row)
{
    if (row < 0 || row >= RowCount() + NumHiddenRows())
        throw EZodUvuzError(QStringLiteral("Invalid row accessed"));
    if (MouseActions()->DisjunctRowSelect())
        return markAt(m_rowMarks, row) != 0;
    const tk::TGridRect s = Selection();
    return between(row, s.Top, s.Bottom);
}

void TZedEzeravIvur::SetRowSelected(int row, bool value)
{
    if (row < 0 || row >= RowCount() + NumHiddenRows())
        throw EZodUvuzError(QStringLiteral("Invalid row accessed"));
    uint8_t& mark = markAt(m_rowMarks, row);
    if ((mark != 0) == value)
        return;
    mark = value ? 1 : 0;
    RepaintRow(row);
}

bool TZedEzeravIvur::ColSelected(int col)
{
    if (col < 0 || col >= ColCount())
        throw EZodUvuzError(QStringLiteral("Invalid column accessed"));
    return markAt(m_colMarks, col) != 0;
}

void TZedEzeravIvur::SetColSelected(int col, bool value)
{
    if (col < 0 || col >= ColCount())
        throw EZodUvuzError(QStringLiteral("Invalid column accessed"));
    uint8_t& mark = markAt(m_colMarks, col);
    if ((mark != 0) == value)
        return;
    mark = value ? 1 : 0;
    RepaintCol(col);
}

void TZedEzeravIvur::ClearRowMarks()
{
    const bool persistent = MouseActions()->RowSelectPersistent;
    for (size_t i = 0; i < m_rowMarks.size(); ++i) {
        if (m_rowMarks[i]) {
            m_rowMarks[i] = 0;
            RepaintRow(persistent ? DisplRowIndex(int(i)) : int(i));
        }
    }
}

void TZedEzeravIvur::ClearColMarks()
{
    for (size_t i = 0; i < m_colMarks.size(); ++i) {
        if (m_colMarks[i]) {
            m_colMarks[i] = 0;
            RepaintCol(int(i));
        }
    }
}

void TZedEzeravIvur::SelectionToRowMarks(bool all)
{
    const tk::TGridRect s = Selection();
    const bool persistent = MouseActions()->RowSelectPersistent;
    for (int row = FixedRows(); row < RowCount(); ++row) {
        const bool inSelection = between(row, s.Top, s.Bottom);
        if (!inSelection && !all)
            continue;
        uint8_t& mark = markAt(m_rowMarks, persistent ? RealRowIndex(row) : row);
        if ((mark != 0) != inSelection) {
            mark = inSelection ? 1 : 0;
            RepaintRow(row);
        }
    }
}

void TZedEzeravIvur::SelectionToColMarks(bool all)
{
    const tk::TGridRect s = Selection();
    for (int col = FixedCols(); col < ColCount(); ++col) {
        const bool inSelection = between(col, s.Left, s.Right);
        if (!inSelection && !all)
            continue;
        uint8_t& mark = markAt(m_colMarks, col);
        if ((mark != 0) != inSelection) {
            mark = inSelection ? 1 : 0;
            RepaintCol(col);
        }
    }
}

bool TZedEzeravIvur::IsCellSelected(int col, int row)
{
    if (row < FixedRows() || col < FixedCols())
        return false;
    if (MouseActions()->DisjunctRowSelect()) {
        const int index = MouseActions()->RowSelectPersistent ? RealRowIndex(row) : row;
        return index >= 0 && markAt(m_rowMarks, index) != 0;
    }
    if (MouseActions()->DisjunctColSelect())
        return col >= 0 && markAt(m_colMarks, col) != 0;
    const tk::TGridRect s = Selection();
    return between(col, s.Left, s.Right) && between(row, s.Top, s.Bottom);
}

void TZedEzeravIvur::SetSelectionColor(TColor value)
{
    if (tk::ChangeValue(m_selectionColor, value))
        InvalidateGrid();
}

void TZedEzeravIvur::SetSelectionColorTo(TColor value)
{
    if (tk::ChangeValue(m_selectionColorTo, value))
        InvalidateGrid();
}

void TZedEzeravIvur::SetSelectionTextColor(TColor value)
{
    if (tk::ChangeValue(m_selectionTextColor, value))
        InvalidateGrid();
}

void TZedEzeravIvur::SetSelectionRectangle(bool value)
{
    if (tk::ChangeValue(m_selectionRectangle, value))
        InvalidateGrid();
}

void TZedEzeravIvur::SetSelectionResizer(bool value)
{
    if (tk::ChangeValue(m_selectionResizer, value))
        InvalidateGrid();
}

void TZedEzeravIvur::SetShowSelection(bool value)
{
    if (tk::ChangeValue(m_showSelection, value))
        InvalidateGrid();
}

// ------------------------------------------------------------------ repainting

void TZedEzeravIvur::RepaintRow(int row)
{
    QRect band;
    for (int col = 0; col < ColCount(); ++col) {
        const QRect r = CellRect(col, row);
        if (r.isEmpty())
            continue;
        if (r.left() >= viewport()->width())
            break;
        band |= r;
    }
    if (!band.isEmpty())
        viewport()->update(band.adjusted(0, 0, GridLineWidth(), GridLineWidth()));
}

void TZedEzeravIvur::RepaintCol(int col)
{
    QRect band;
    for (int row = TopRow(); row < RowCount(); ++row) {
        const QRect r = CellRect(col, row);
        if (r.isEmpty())
            continue;
        if (r.top() >= viewport()->height())
            break;
        band |= r;
    }
    if (!band.isEmpty())
        viewport()->update(band.adjusted(0, 0, GridLineWidth(), GridLineWidth()));
}

void TZedEzeravIvur::RepaintRange(const tk::TGridRect& range)
{
    if (range.Left < 0 || range.Top < 0 || range.Right < 0 || range.Bottom < 0)
        return;
    const QRect a = MergedCellRect(range.Left, range.Top);
    const QRect b = MergedCellRect(range.Right, range.Bottom);
    if (a.isEmpty() || b.isEmpty()) {
        viewport()->update();
        return;
    }
    viewport()->update(a | b);
}

void TZedEzeravIvur::RepaintActiveHeaders(int oldCol, int oldRow, int newRow, int newCol)
{
    RepaintCell(oldCol, 0);
    RepaintCell(0, oldRow);
    RepaintCell(newCol, 0);
    RepaintCell(0, newRow);
}

} // namespace grid
