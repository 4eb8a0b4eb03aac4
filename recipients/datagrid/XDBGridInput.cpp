// The data grid's in-place editor, its key-press handling, the optimal column width, column moving
// and row sizing.
#include "recipients/datagrid/XDBGrid.h"
#include "recipients/datagrid/XDBGridEdit.h"
#include "recipients/datagrid/XDBGridPickText.h"

#include <QApplication>
#include <QMenu>
#include <QStyle>
#include <QTimer>

namespace xdb {

namespace {

template <class F>
struct Finally {
    F f;
    ~Finally() { f(); }
};
template <class F>
Finally(F) -> Finally<F>;

bool IsTextField(const db::TField* f)
{
    return f && (f->DataType() == db::ftString || f->DataType() == db::ftFixedChar || f->DataType() == db::ftWideString);
}

} // namespace

bool EditableFieldType(const db::TField* f)
{
    // Binary and memo fields take typed text only through an OnSetText handler.
    switch (f->DataType()) {
    case db::ftBytes:
    case db::ftVarBytes:
    case db::ftBlob:
    case db::ftMemo:
        return bool(f->OnSetText);
    default:
        return true;
    }
}

// ------------------------------------------------------------------ editing

tk::TInplaceEdit* TXCustomDBGrid::CreateEditor()
{
    auto* editor = new TXDBGridInplaceEdit(this);
    // Focus that leaves the editor for a widget outside the grid leaves the grid.
    connect(qApp, &QApplication::focusChanged, editor, [this, editor](QWidget* old, QWidget* now) {
        if (old == editor && now != this && !(now && isAncestorOf(now)))
            ExitFromEditor();
    });
    return editor;
}

void TXCustomDBGrid::DoExit()
{
    if (!m_dataLink->Active())
        return;
    db::TDataSet* ds = m_dataLink->DataSet();
    try {
        if ((m_options & dgCancelOnExit) && ds->State() == db::dsInsert && !ds->Modified() &&
            !m_dataLink->IsModified())
            ds->Cancel();
        else if (m_dataLink->Editing())
            m_dataLink->UpdateRecord();
    } catch (...) {
        // The field refused the text: the grid takes the focus back and the error goes on.
        setFocus();
        throw;
    }
}

void TXCustomDBGrid::ExitFromEditor()
{
    // Run from the event loop, so an error of the field reaches the application's handler as
    // any other event's error does.
    QTimer::singleShot(0, this, [this] {
        if (!hasFocus() && !(InplaceEditor() && InplaceEditor()->hasFocus()))
            DoExit();
    });
}

int TXCustomDBGrid::GetEditLimit()
{
    const int dc = SelectedIndex();
    if (dc < 0 || dc >= m_columns->Count())
        return 0;
    TXColumn* c = m_columns->Items(dc);
    if (PickTextMapping(c))
        return 0;
    db::TField* f = c->Field();
    return IsTextField(f) ? f->Size() : 0;
}

void TXCustomDBGrid::EditButtonClick()
{
    // Without a handler a dataset field opens its nested dataset.
    if (OnEditButtonClick) {
        OnEditButtonClick(this);
        return;
    }
    const int dc = SelectedIndex();
    if (dc >= 0 && dc < m_columns->Count())
        ShowNestedDataSet(m_columns->Items(dc));
}

TListBorder TXCustomDBGrid::GetListBorder() const
{
    if (m_listBorder != lbAuto)
        return m_listBorder;
    if (!((m_options & dgColLines) && (m_options & dgRowLines)))
        return lbDefault;
    if (ThemedFixedCells() || m_fixedStyle == fsFine || m_fixedStyle == fsMild)
        return lbMild;
    return m_fixedStyle == fsSoft ? lbGray : lbDefault;
}

// ------------------------------------------------------------------ TXScrollProp

void TXScrollProp::SetColor(TColor value)
{
    m_color = value;
    m_parentColor = false;
    if (m_grid)
        m_grid->UpdateScrollBarLook();
}

void TXScrollProp::SetParentColor(bool value)
{
    m_parentColor = value;
    if (value)
        m_color = gfx::clBtnHighlight;
    if (m_grid)
        m_grid->UpdateScrollBarLook();
}

void TXScrollProp::SetParentStyle(bool value)
{
    m_parentStyle = value;
    if (m_grid)
        m_grid->UpdateScrollBarLook();
}

void TXScrollProp::SetWinXPMode(bool value)
{
    m_winXPMode = value;
    if (m_grid)
        m_grid->UpdateScrollBarLook();
}

TScrollBarStyle TXScrollProp::Style() const
{
    if (!m_parentStyle || !m_grid)
        return m_style;
    static constexpr TScrollBarStyle table[] = {ssRegular, ssRegular, ssFlat, ssHotTrack, ssFlat, ssHotTrack};
    return table[m_grid->FixedStyle()];
}

void TXScrollProp::SetStyle(TScrollBarStyle value)
{
    m_style = value;
    m_parentStyle = false;
    if (m_grid)
        m_grid->UpdateScrollBarLook();
}

// ------------------------------------------------------------------ column widths and moving

int TXCustomDBGrid::OptimalWidth(TXColumn* column)
{
    if (!column)
        return 0;
    if (!m_dataLink->Active())
        return column->WidthBase();
    const QFontMetrics fm(column->Font().Font());
    int widest = 0;
    const int current = m_dataLink->ActiveRecord();
    {
        Finally restore{[this, current] { m_dataLink->SetActiveRecord(current); }};
        for (int r = 0; r < m_dataLink->RecordCount(); ++r) {
            m_dataLink->SetActiveRecord(r);
            QString text;
            if (db::TField* f = column->Field())
                text = (f->DataType() == db::ftMemo && column->ShowBlob()) ? f->AsString() : f->DisplayText();
            text = ColGetText(column, text, tkDisplay);
            widest = std::max(widest, fm.horizontalAdvance(text));
        }
    }
    int width = widest + 4;
    auto* editor = qobject_cast<TXInplaceEditList*>(InplaceEditor());
    if (editor && editor->isVisible() && editor->EditStyle() != esSimple && SelectedIndex() == column->Index())
        width += editor->ButtonWidth();
    return width;
}

bool TXCustomDBGrid::BeginColumnDrag(int& origin, int& destination, const QPoint& pt)
{
    // The column that owns the pressed title level moves (not from a header band).
    if (!(m_resizeOptions & roColumnMoving))
        return false;
    const TitleHit hit = TitleHitAt(pt);
    if (!hit.column || hit.band >= 0)
        return false;
    origin = destination = DataColToGridCol(hit.column->Index());
    return tk::TCustomGrid::BeginColumnDrag(origin, destination, pt);
}

bool TXCustomDBGrid::CheckColumnDrag(int& origin, int& destination, const QPoint& pt)
{
    const int first = LeftCol();
    const int fixed = tk::TCustomGrid::FixedCols();
    // Beyond the visible scrollable columns the grid scrolls one column and refuses this step.
    const QRect firstRect = CellRect(first, 0);
    if (destination < first || (destination == first && pt.x() < firstRect.left())) {
        if (first > fixed)
            SetLeftCol(first - 1);
        return false;
    }
    const int last = std::min(ColCount() - 1, first + VisibleColCount() - 1);
    if (destination > last || pt.x() >= viewport()->width()) {
        if (last < ColCount() - 1)
            SetLeftCol(first + 1);
        return false;
    }
    // The destination stays among the moving column's siblings.
    const int from = GridColToDataCol(origin);
    const int to = GridColToDataCol(destination);
    if (from >= 0 && to >= 0 && from < m_columns->Count() && to < m_columns->Count()) {
        TXColumn* moving = m_columns->Items(from);
        TXColumn* target = m_columns->Items(to);
        TXColumn* parent = moving->ParentColumn();
        auto isUnder = [](TXColumn* c, TXColumn* ancestor) {
            for (TXColumn* p = c->ParentColumn(); p; p = p->ParentColumn())
                if (p == ancestor)
                    return true;
            return false;
        };
        while (target && target->ParentColumn() != parent && target->ParentColumn())
            target = target->ParentColumn();
        if (!target || target->ParentColumn() != parent) {
            // Under another parent: the first column after the own parent, or the last sibling.
            int index = -1;
            for (int i = 0; i < m_columns->Count(); ++i) {
                if (m_columns->Items(i)->ParentColumn() == parent) {
                    if (destination < origin) {
                        index = i;
                        break;
                    }
                    index = i;
                }
            }
            if (index < 0)
                return false;
            target = m_columns->Items(index);
        }
        int index = target->Index();
        // Moving right: after the whole sub-tree of the destination.
        if (destination > origin)
            while (index + 1 < m_columns->Count() && isUnder(m_columns->Items(index + 1), target))
                ++index;
        destination = DataColToGridCol(index);
    }
    return tk::TCustomGrid::CheckColumnDrag(origin, destination, pt);
}

bool TXCustomDBGrid::ColumnMoving(int fromIndex, int toIndex)
{
    if (!OnColumnMoving)
        return true;
    bool accept = true;
    try {
        OnColumnMoving(this, fromIndex, toIndex, accept);
    } catch (...) {
        return false;          // an exception there refuses the move
    }
    return accept;
}

int TXCustomDBGrid::LinesForRowHeight(int height) const
{
    const int th = std::max(1, TextHeight(m_font));
    int lines = std::max(0, height - RowLineWidth() - th / 2 - 3) / th + 1;
    lines = std::max(lines, m_linesCountMin);
    if (m_linesCountMax >= 0)
        lines = std::min(lines, m_linesCountMax);
    return lines;
}

// ------------------------------------------------------------------ fixed cells and menus

TXCustomDBGrid::TitleHit TXCustomDBGrid::TitleHitAt(const QPoint& pos) const
{
    TitleHit hit;
    const tk::TGridCoord cell = MouseCoord(pos.x(), pos.y());
    if (cell.X < 0 || cell.Y < 0 || cell.Y >= m_titleOffset)
        return hit;
    if (cell.X < m_indicatorOffset) {
        hit.filler = true;
        return hit;
    }
    const int dc = GridColToDataCol(cell.X);
    if (dc < 0 || dc >= m_columns->Count())
        return hit;
    TXColumn* owner = m_columns->Items(dc);
    while (owner->Level() > cell.Y && owner->ParentColumn())
        owner = owner->ParentColumn();
    hit.column = owner;
    QRect r = CellRect(cell.X, cell.Y);
    const int bands = (m_options & dgTitleHeaders) && m_headerHeight > 0 ? owner->Title()->HeaderCount() : 0;
    if (bands > 0) {
        const int band = (pos.y() - r.top()) / m_headerHeight;
        if (band < bands) {
            hit.band = band;
            return hit;
        }
        r.setTop(r.top() + bands * m_headerHeight);
    }
    const TXColumnExpandStyle es = owner->ExpandStyle();
    const bool button = (owner->HasSubColumns() && es == cesAuto) || es == cesDropDown || es == cesDropDownMenu;
    const int arrow = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);
    if (button && r.width() >= arrow && pos.x() > r.right() - arrow)
        hit.expandButton = true;
    return hit;
}

void TXCustomDBGrid::HeaderClick(TXColumn* column, int band)
{
    if (OnHeaderClick)
        OnHeaderClick(this, column, band);
}

void TXCustomDBGrid::ExpandClick(TXColumn* column)
{
    switch (column->ExpandStyle()) {
    case cesAuto:
        column->SetExpanded(!column->Expanded());
        return;
    case cesNone:
        return;
    case cesDropDownMenu:
        if (QMenu* menu = column->Title()->DropDownMenu()) {
            const int col = DataColToGridCol(column->Index());
            const QRect r = CellRect(col, std::max(0, column->Level()));
            DropMenu(menu, viewport()->mapToGlobal(layoutDirection() == Qt::RightToLeft ? r.bottomRight() : r.bottomLeft()),
                     true);
            return;
        }
        break;
    default:
        break;
    }
    if (OnExpandClick)
        OnExpandClick(this, column);
}

void TXCustomDBGrid::FillerClick()
{
    if (m_fillerPopupMenu && m_fillerIndex == -7) {
        const int bottom = m_titleOffset > 0 ? CellRect(0, m_titleOffset - 1).bottom() + 1 : 0;
        DropMenu(m_fillerPopupMenu, viewport()->mapToGlobal(QPoint(0, bottom)), true);
        return;
    }
    if (OnFillerClick)
        OnFillerClick(this);
}

void TXCustomDBGrid::IndicatorClick()
{
    if (OnIndicatorClick)
        OnIndicatorClick(this);
}

void TXCustomDBGrid::DropMenu(QMenu* menu, const QPoint& globalPos, bool titleMenu)
{
    if (QWidget* grabber = QWidget::mouseGrabber())
        grabber->releaseMouse();
    if (titleMenu)
        HideEditor();
    menu->popup(globalPos);
    if (titleMenu && (m_options & dgAlwaysShowEditor))
        ShowEditor();
}

tk::TThemeState TXCustomDBGrid::TitleState(TXColumn* column) const
{
    if (column && column == m_pressedTitle && m_titleShownPressed)
        return tk::tsPressed;
    if (column && column == m_hotTitle && (m_options & dgHotButtons))
        return tk::tsHot;
    return tk::tsNormal;
}

void TXCustomDBGrid::InvalidateTitles()
{
    for (int r = 0; r < m_titleOffset; ++r)
        InvalidateRow(r);
}

void TXCustomDBGrid::SetHotTitle(TXColumn* column, bool filler)
{
    if (column == m_hotTitle && filler == m_hotFiller)
        return;
    m_hotTitle = column;
    m_hotFiller = filler;
    if (m_options & dgHotButtons)
        InvalidateTitles();
}

QMenu* TXCustomDBGrid::PopupMenuAt(const QPoint& pos) const
{
    const tk::TGridCoord cell = MouseCoord(pos.x(), pos.y());
    if (cell.X < 0 || cell.Y < 0)
        return m_popupMenu;
    if (cell.Y < m_titleOffset) {
        const TitleHit hit = TitleHitAt(pos);
        if (hit.filler)
            return m_fillerPopupMenu;
        if (!hit.column || hit.band >= 0)
            return nullptr;
        const bool rightMoving = (m_resizeOptions & roColumnMoving) && (m_options & dgColumnResize) &&
                                 (m_options & dgRightMoving);
        if (rightMoving && cell.X >= tk::TCustomGrid::FixedCols())
            return nullptr;
        return hit.column->Title()->PopupMenu();     // title rows fall back to nothing
    }
    if (cell.X < m_indicatorOffset)
        return m_indicatorPopupMenu ? m_indicatorPopupMenu.data() : m_popupMenu.data();
    const int dc = GridColToDataCol(cell.X);
    TXColumn* column = dc >= 0 && dc < m_columns->Count() ? m_columns->Items(dc) : nullptr;
    if (column && column->PopupMenu())
        return column->PopupMenu();
    return m_popupMenu;
}

} // namespace xdb
