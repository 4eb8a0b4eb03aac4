#include "recipients/datagrid/XDBGridColumns.h"
#include "recipients/datagrid/XDBGrid.h"

#include <QFontMetrics>
#include <algorithm>

namespace xdb {

namespace {
const QString kDefaultCheckBoxValues = QStringLiteral("True;False");
}

// ================================================================== TXColumnTitle

TXColumnTitle::TXColumnTitle(TXColumn* column)
    : m_column(column)
{
    m_font.OnChange = [this](tk::TFont*) { FontChanged(); };
}

void TXColumnTitle::Changed(bool allColumns)
{
    m_column->Changed(allColumns);
}

QString TXColumnTitle::Caption() const
{
    if (m_assigned & aCaption)
        return m_caption;
    if (db::TField* f = m_column->Field())
        return f->DisplayName();
    return m_column->FieldName();
}

void TXColumnTitle::SetCaption(const QString& value)
{
    if ((m_assigned & aCaption) && value == m_caption)
        return;
    TXCustomDBGrid* grid = m_column->Grid();
    if (!m_column->Stored() && grid && grid->DataLink()->Active()) {
        if (db::TField* f = m_column->Field())
            f->SetDisplayLabel(value);
    }
    m_caption = value;
    m_assigned |= aCaption;
    Changed(false);
}

void TXColumnTitle::SetAlignment(TAlignment value)
{
    if ((m_assigned & aAlignment) && value == m_alignment)
        return;
    m_alignment = value;
    m_assigned |= aAlignment;
    Changed(false);
}

void TXColumnTitle::SetVAlignment(TVAlignment value)
{
    if (tk::ChangeValue(m_vAlignment, value))
        Changed(false);
}

TColor TXColumnTitle::Color() const
{
    if (m_assigned & aColor)
        return m_color;
    if (TXCustomDBGrid* g = m_column->Grid())
        return g->FixedColor();
    return gfx::clBtnFace;
}

void TXColumnTitle::SetColor(TColor value)
{
    if ((m_assigned & aColor) && value == m_color)
        return;
    m_color = value;
    m_assigned |= aColor;
    Changed(false);
}

const tk::TFont& TXColumnTitle::Font() const
{
    if (m_assigned & aFont)
        return m_font;
    if (TXCustomDBGrid* g = m_column->Grid())
        return g->TitleFont();
    return m_font;
}

void TXColumnTitle::SetFont(const tk::TFont& value)
{
    m_assigned |= aFont;
    auto handler = std::move(m_font.OnChange);
    m_font.Assign(value);
    m_font.OnChange = std::move(handler);
    FontChanged();
}

void TXColumnTitle::FontChanged()
{
    m_assigned |= aFont;
    Changed(true);
}

void TXColumnTitle::SetWordWrap(bool value)
{
    if (tk::ChangeValue(m_wordWrap, value))
        Changed(false);
}

void TXColumnTitle::SetEllipsis(bool value)
{
    if (tk::ChangeValue(m_ellipsis, value))
        Changed(false);
}

void TXColumnTitle::SetButton(bool value)
{
    if (tk::ChangeValue(m_button, value))
        Changed(false);
}

void TXColumnTitle::SetHeader(const QString& value)
{
    if (tk::ChangeValue(m_header, value))
        Changed(true);
}

void TXColumnTitle::SetImageIndex(int value)
{
    if (tk::ChangeValue(m_imageIndex, value))
        Changed(false);
}

void TXColumnTitle::SetDropDownMenu(QMenu* menu)
{
    if (menu == m_dropDownMenu)
        return;
    if (menu && m_column->ExpandStyle() == cesAuto)
        m_column->SetExpandStyle(cesDropDownMenu);
    else if (!menu && m_column->ExpandStyle() == cesDropDownMenu)
        m_column->SetExpandStyle(cesAuto);
    m_dropDownMenu = menu;
}

int TXColumnTitle::HeaderCount() const
{
    return m_header.isEmpty() ? 0 : int(m_header.count(QLatin1Char('|'))) + 1;
}

QString TXColumnTitle::HeaderText(int band) const
{
    const QStringList parts = m_header.split(QLatin1Char('|'));
    return band >= 0 && band < parts.size() ? parts[band] : QString();
}

void TXColumnTitle::SetMarkerIndexRaw(int index)
{
    m_markerIndex = index;
    m_marker = index < 0 ? tmNone : ((index & 1) ? tmDescend : tmAscend);
}

void TXColumnTitle::SetMarker(TMarker value)
{
    TXCustomDBGrid* grid = m_column->Grid();
    const TXDBGridOptions opt = grid ? grid->Options() : 0;
    if (value == tmDescend && (opt & dgMarkerAscendOnly))
        value = tmAscend;
    if (value == m_marker)
        return;
    TXDBGridColumns* cols = m_column->Collection();
    if (grid)
        grid->MarkerLock();
    if (value != tmNone && (opt & dgMarkerAutoSwitch))
        cols->ClearMarkers();
    if (value == tmNone) {
        SetMarkerIndexRaw(-1);
        cols->SortListRemove(m_column);
        if (!(opt & dgMarkerAutoSwitch))
            cols->RealignMarkers();
    } else {
        const int dir = value == tmDescend ? 1 : 0;
        const bool listed = std::find(cols->m_sortList.begin(), cols->m_sortList.end(), m_column) != cols->m_sortList.end();
        if (!listed)
            cols->SortListAdd(m_column);
        int index = std::max(0, m_markerIndex);
        index = (index & ~1) | dir;
        if (!listed) {
            // A new entry takes the encoding of its position.
            const int pos = int(cols->m_sortList.size()) - 1;
            if (opt & dgMarkerAutoSwitch)
                index = dir;
            else if (opt & dgMarkerAutoToggle)
                index = pos * 2 + 2 + dir;
        }
        SetMarkerIndexRaw(index);
    }
    Changed(false);
    if (grid)
        grid->MarkerUnlock();
}

void TXColumnTitle::SetMarkerIndex(int value)
{
    TXCustomDBGrid* grid = m_column->Grid();
    const TXDBGridOptions opt = grid ? grid->Options() : 0;
    if (value < -1)
        value = -1;
    if (value >= 0 && (opt & dgMarkerAscendOnly))
        value &= ~1;
    if (value == m_markerIndex)
        return;
    TXDBGridColumns* cols = m_column->Collection();
    if (grid)
        grid->MarkerLock();
    if (value < 0) {
        SetMarkerIndexRaw(-1);
        cols->SortListRemove(m_column);
        if (!(opt & dgMarkerAutoSwitch))
            cols->RealignMarkers();
    } else {
        const bool listed = std::find(cols->m_sortList.begin(), cols->m_sortList.end(), m_column) != cols->m_sortList.end();
        if (!listed) {
            if (opt & dgMarkerAutoSwitch)
                cols->ClearMarkers();
            cols->SortListAdd(m_column);
        }
        const int dir = value & 1;
        int index = value;
        const int pos = int(std::find(cols->m_sortList.begin(), cols->m_sortList.end(), m_column) - cols->m_sortList.begin());
        if (opt & dgMarkerAutoSwitch)
            index = dir;
        else if (opt & dgMarkerAutoToggle)
            index = pos * 2 + 2 + dir;
        SetMarkerIndexRaw(index);
    }
    Changed(false);
    if (grid)
        grid->MarkerUnlock();
}

void TXColumnTitle::SetOrderIndex(int value)
{
    TXCustomDBGrid* grid = m_column->Grid();
    const TXDBGridOptions opt = grid ? grid->Options() : 0;
    if (value < 0) {
        SetMarkerIndex(-1);
        return;
    }
    if ((opt & dgMarkerAutoToggle) && !(opt & dgMarkerAutoSwitch)) {
        if (value <= 0)
            return;
        TXDBGridColumns* cols = m_column->Collection();
        if (grid)
            grid->MarkerLock();
        const bool desc = m_marker == tmDescend;
        cols->SortListRemove(m_column);
        const int pos = std::min<int>(value - 1, int(cols->m_sortList.size()));
        cols->m_sortList.insert(cols->m_sortList.begin() + pos, m_column);
        if (m_markerIndex < 0)
            SetMarkerIndexRaw(desc ? 1 : 0);
        cols->RealignMarkers();
        Changed(false);
        if (grid)
            grid->MarkerUnlock();
        return;
    }
    SetMarkerIndex(value * 2 + (m_marker == tmDescend ? 1 : 0));
}

void TXColumnTitle::Assign(const TXColumnTitle& source)
{
    if (source.m_assigned & aAlignment)
        SetAlignment(source.m_alignment);
    if (source.m_assigned & aColor)
        SetColor(source.m_color);
    if (source.m_assigned & aCaption)
        SetCaption(source.m_caption);
    if (source.m_assigned & aFont)
        SetFont(source.m_font);
    m_button = source.m_button;
    m_ellipsis = source.m_ellipsis;
    SetMarker(source.m_marker);
    m_header = source.m_header;
    m_wordWrap = source.m_wordWrap;
    m_vAlignment = source.m_vAlignment;
    m_headerHint = source.m_headerHint;
    m_hint = source.m_hint;
    m_imageIndex = source.m_imageIndex;
    if (source.m_markerIndex >= 0)
        SetMarkerIndex(source.m_markerIndex);
    m_autoToggle = source.m_autoToggle;
    m_popupMenu = source.m_popupMenu;
    m_dropDownMenu = source.m_dropDownMenu;
    Changed(true);
}

void TXColumnTitle::RestoreDefaults()
{
    const bool fontAssigned = m_assigned & aFont;
    m_assigned = 0;
    m_caption.clear();
    m_header.clear();
    m_headerHint.clear();
    m_hint.clear();
    if (m_markerIndex >= 0) {
        SetMarkerIndexRaw(-1);
        m_column->Collection()->SortListRemove(m_column);
    }
    m_imageIndex = -1;
    m_popupMenu = nullptr;
    m_button = true;
    m_ellipsis = true;
    m_wordWrap = true;
    m_vAlignment = tvCenter;
    m_autoToggle = true;
    m_alignment = taLeftJustify;
    Changed(fontAssigned);
}

// ================================================================== TXColumn

TXColumn::TXColumn(TXDBGridColumns* collection, bool stored)
    : m_collection(collection), m_stored(stored)
{
    m_title = CreateTitle();
    m_font.OnChange = [this](tk::TFont*) { FontChanged(); };
    if (TXCustomDBGrid* g = Grid()) {
        auto h = std::move(m_font.OnChange);
        m_font.Assign(g->GridFont());
        m_font.OnChange = std::move(h);
    }
    m_checkBoxValues = kDefaultCheckBoxValues;
}

TXColumn::~TXColumn()
{
    if (m_field)
        m_field->RemoveFreeNotification(this);
    if (m_images)
        m_images->RemoveFreeNotification(this);
}

TXCustomDBGrid* TXColumn::Grid() const
{
    return m_collection ? m_collection->Grid() : nullptr;
}

int TXColumn::Index() const
{
    return m_collection ? m_collection->IndexOf(this) : -1;
}

void TXColumn::SetIndex(int value)
{
    const int old = Index();
    if (old < 0 || value == old)
        return;
    TXCustomDBGrid* grid = Grid();
    // A parent moves with its whole sub-tree.
    int span = 1;
    for (int i = old; i < old + span && i < m_collection->Count(); ++i)
        span = std::max(span, i - old + 1 + m_collection->Items(i)->m_expandCols);
    span = std::min(span, m_collection->Count() - old);
    value = std::clamp(value, 0, m_collection->Count() - span);
    if (value == old)
        return;
    m_collection->BeginUpdate();
    if (value > old) {
        for (int k = 0; k < span; ++k)
            m_collection->Move(old, value + span - 1);
    } else {
        for (int k = 0; k < span; ++k)
            m_collection->Move(old + k, value + k);
    }
    if (!m_stored && grid && grid->DataLink()->Active()) {
        if (db::TField* f = Field()) {
            if (db::TField* target = grid->DataLink()->Fields(value))
                f->SetIndex(target->Index());
        }
    }
    m_collection->EndUpdate();
}

void TXColumn::Changed(bool allColumns)
{
    if (m_collection)
        m_collection->Update(allColumns ? nullptr : this);
}

void TXColumn::FontChanged()
{
    m_assigned |= aFont;
    Changed(true);
}

void TXColumn::SetFieldName(const QString& value)
{
    TXCustomDBGrid* grid = Grid();
    db::TField* field = nullptr;
    if (grid && grid->DataLink()->Active() && !value.isEmpty())
        field = grid->DataLink()->DataSet()->FindField(value);
    m_fieldName = value;
    SetField(field);
    if (!field)
        m_fieldName = value;
    Changed(true);
}

db::TField* TXColumn::Field() const
{
    if (!m_field && !m_fieldName.isEmpty()) {
        TXCustomDBGrid* grid = Grid();
        if (grid && grid->DataLink()->DataSet() && grid->DataLink()->DataSet()->Active()) {
            if (db::TField* f = grid->DataLink()->DataSet()->FindField(m_fieldName))
                const_cast<TXColumn*>(this)->SetField(f);
        }
    }
    return m_field;
}

void TXColumn::DropField()
{
    if (m_field)
        m_field->RemoveFreeNotification(this);
    m_field = nullptr;
}

void TXColumn::SetField(db::TField* value)
{
    if (value == m_field)
        return;
    if (m_field)
        m_field->RemoveFreeNotification(this);
    m_field = value;
    if (m_field) {
        m_field->FreeNotification(this, [this](db::TField* f) {
            if (m_field == f)
                m_field = nullptr;
            if (TXCustomDBGrid* g = Grid())
                g->DeferLayout();
        });
        m_fieldName = m_field->FullName();
    }
    if (!m_stored && !m_field) {
        m_fieldName.clear();
        RestoreDefaults();
    }
}

int TXColumn::DefaultWidth() const
{
    TXCustomDBGrid* grid = Grid();
    if (!grid)
        return 64;
    db::TField* f = Field();
    if (!f)
        return grid->DefaultColWidth();
    const QFontMetrics fm(Font().Font());
    const int zero = fm.horizontalAdvance(QLatin1Char('0'));
    int w = zero * f->DisplayWidth() + 4;
    if ((grid->Options() & dgTitles) && !(grid->Options() & dgTitleWidthOff)) {
        const QFontMetrics tm(m_title->Font().Font());
        int widest = 0;
        for (const QString& line : m_title->Caption().split(QLatin1Char('\n')))
            widest = std::max(widest, tm.horizontalAdvance(line));
        w = std::max(w, widest + 4);
    }
    return w;
}

int TXColumn::Width() const
{
    TXCustomDBGrid* grid = Grid();
    if (!grid)
        return -1;
    if (!Showing())
        return (grid->Options() & dgColLines) ? -1 : 0;
    if (grid->Stretching() && m_stretchWidth >= 0)
        return m_stretchWidth;
    if (m_assigned & aWidth)
        return m_width;
    return DefaultWidth();
}

void TXColumn::SetWidth(int value)
{
    TXCustomDBGrid* grid = Grid();
    if (!m_stored && grid && grid->InLinkLayout() && !(m_assigned & aWidth))
        return;
    if (m_widthMin >= 0 && value < m_widthMin)
        value = m_widthMin;
    if (m_widthMax >= 0 && value > m_widthMax)
        value = m_widthMax;
    const int lowest = grid && (grid->Options() & dgColLines) ? -1 : 0;
    if (value <= lowest)
        return;
    if (!m_stored && grid && grid->DataLink()->Active()) {
        if (db::TField* f = Field()) {
            const QFontMetrics fm(Font().Font());
            int per = fm.horizontalAdvance(QLatin1Char('0'));
            if (per <= 0)
                per = std::max(1, fm.averageCharWidth() - 3);
            f->SetDisplayWidth(std::max(1, (value + per / 2 - 4) / per));
        }
    }
    if (grid && grid->Stretching() && !grid->m_inStretch) {
        // The new width becomes the column's share of the stretched total.
        int shares = 0;
        int widths = 0;
        for (TXColumn* c : grid->VisibleColumns()) {
            shares += c->WidthBase();
            widths += c->Width();
        }
        if (widths > 0 && shares > 0)
            m_widthBase = std::max(1, int(qint64(value) * shares / widths));
        m_width = value;
        m_assigned |= aWidth;
        grid->UpdateStretchWidths();
        return;
    }
    if ((m_assigned & aWidth) && value == m_width)
        return;
    if (!(m_assigned & aWidth) && value == DefaultWidth())
        return;
    m_width = value;
    m_assigned |= aWidth;
    Changed(false);
}

int TXColumn::WidthBase() const
{
    TXCustomDBGrid* grid = Grid();
    if (grid && grid->Stretching()) {
        if (m_widthBase > 0)
            return m_widthBase;
        return (m_assigned & aWidth) ? m_width : DefaultWidth();
    }
    return Width();
}

void TXColumn::SetWidthBase(int value)
{
    TXCustomDBGrid* grid = Grid();
    if (grid && grid->Stretching()) {
        m_widthBase = std::max(1, value);
        grid->UpdateStretchWidths();
    } else {
        SetWidth(value);
    }
}

void TXColumn::SetWidthMin(int value)
{
    if (value < -1)
        return;
    if (m_widthMax >= 0 && value > m_widthMax)
        value = m_widthMax;
    m_widthMin = value;
    if (m_widthMin >= 0 && (m_assigned & aWidth) && m_width < m_widthMin)
        SetWidth(m_widthMin);
    Changed(false);
}

void TXColumn::SetWidthMax(int value)
{
    if (value < -1)
        return;
    if (value >= 0 && m_widthMin >= 0 && value < m_widthMin)
        value = m_widthMin;
    m_widthMax = value;
    if (m_widthMax >= 0 && (m_assigned & aWidth) && m_width > m_widthMax)
        SetWidth(m_widthMax);
    Changed(false);
}

TAlignment TXColumn::Alignment() const
{
    if (m_assigned & aAlignment)
        return m_alignment;
    if (db::TField* f = Field())
        return f->Alignment();
    return taLeftJustify;
}

void TXColumn::SetAlignment(TAlignment value)
{
    TXCustomDBGrid* grid = Grid();
    if (!m_stored && grid && grid->DataLink()->Active()) {
        if (db::TField* f = Field())
            f->SetAlignment(value);
    }
    if ((m_assigned & aAlignment) && value == m_alignment)
        return;
    m_alignment = value;
    m_assigned |= aAlignment;
    Changed(false);
}

void TXColumn::SetVAlignment(TVAlignment value)
{
    if (tk::ChangeValue(m_vAlignment, value))
        Changed(false);
}

TColor TXColumn::Color() const
{
    if (m_assigned & aColor)
        return m_color;
    if (TXCustomDBGrid* g = Grid())
        return g->Color();
    return gfx::clWindow;
}

void TXColumn::SetColor(TColor value)
{
    if ((m_assigned & aColor) && value == m_color)
        return;
    m_color = value;
    m_assigned |= aColor;
    Changed(false);
}

const tk::TFont& TXColumn::Font() const
{
    if (m_assigned & aFont)
        return m_font;
    if (TXCustomDBGrid* g = Grid())
        return g->GridFont();
    return m_font;
}

void TXColumn::SetFont(const tk::TFont& value)
{
    auto h = std::move(m_font.OnChange);
    m_font.Assign(value);
    m_font.OnChange = std::move(h);
    FontChanged();
}

bool TXColumn::ReadOnly() const
{
    if (m_assigned & aReadOnly)
        return m_readOnly;
    TXCustomDBGrid* g = Grid();
    if (g && g->ReadOnly())
        return true;
    if (db::TField* f = Field())
        return f->ReadOnly();
    return false;
}

void TXColumn::SetReadOnly(bool value)
{
    TXCustomDBGrid* grid = Grid();
    if (!m_stored && grid && grid->DataLink()->Active()) {
        if (db::TField* f = Field())
            f->SetReadOnly(value);
    }
    if ((m_assigned & aReadOnly) && value == m_readOnly)
        return;
    m_readOnly = value;
    m_assigned |= aReadOnly;
    Changed(false);
}

void TXColumn::SetVisible(bool value)
{
    if (tk::ChangeValue(m_visible, value))
        Changed(true);
}

void TXColumn::SetWordWrap(bool value)
{
    if (tk::ChangeValue(m_wordWrap, value))
        Changed(false);
}

void TXColumn::SetEllipsis(bool value)
{
    if (tk::ChangeValue(m_ellipsis, value))
        Changed(false);
}

void TXColumn::SetShowEdit(bool value)
{
    if (tk::ChangeValue(m_showEdit, value))
        Changed(true);
}

void TXColumn::SetShowBlob(bool value)
{
    if (tk::ChangeValue(m_showBlob, value))
        Changed(false);
}

void TXColumn::SetAutoNumber(bool value)
{
    if (tk::ChangeValue(m_autoNumber, value))
        Changed(true);
}

void TXColumn::SetDropDownMenu(QMenu* menu)
{
    if (menu == m_dropDownMenu)
        return;
    if (menu && m_buttonStyle == cbsAuto)
        m_buttonStyle = cbsDropDownMenu;
    else if (!menu && m_buttonStyle == cbsDropDownMenu)
        m_buttonStyle = cbsAuto;
    m_dropDownMenu = menu;
    Changed(false);
}

void TXColumn::SetCheckBox(bool value)
{
    if (value == m_checkBox)
        return;
    m_checkBox = value;
    if (m_checkBox && m_imageDraw > idCenter)
        m_imageDraw = idCenter;
    Changed(true);
}

void TXColumn::SetCheckBoxValues(const QString& value)
{
    m_checkBoxValues = value.isEmpty() ? kDefaultCheckBoxValues : value;
    Changed(false);
}

QString TXColumn::CheckedText() const
{
    const int semi = m_checkBoxValues.indexOf(QLatin1Char(';'));
    return semi < 0 ? m_checkBoxValues.left(255) : m_checkBoxValues.left(semi);
}

QString TXColumn::UncheckedText() const
{
    const int semi = m_checkBoxValues.indexOf(QLatin1Char(';'));
    return semi < 0 ? QString() : m_checkBoxValues.mid(semi + 1);
}

TCheckState TXColumn::CheckState() const
{
    TXCustomDBGrid* grid = Grid();
    if (!grid)
        return cbUnchecked;
    db::TField* f = Field();
    if (!f) {
        if (!grid->DataLink()->Active())
            return cbUnchecked;
        return grid->IsSelectedRecord() ? cbChecked : cbUnchecked;
    }
    const QString text = grid->ColGetText(const_cast<TXColumn*>(this), f->EditText(), tkEdit);
    if (text.compare(CheckedText(), Qt::CaseInsensitive) == 0)
        return cbChecked;
    if (text.compare(UncheckedText(), Qt::CaseInsensitive) == 0)
        return cbUnchecked;
    return cbGrayed;
}

void TXColumn::SetImages(tk::TImageList* images)
{
    if (images == m_images)
        return;
    if (m_images)
        m_images->RemoveFreeNotification(this);
    m_images = images;
    if (m_images)
        m_images->FreeNotification(this, [this](tk::TFreeNotifier*) {
            m_images = nullptr;
            Changed(false);
        });
    Changed(false);
}

void TXColumn::SetImageDraw(TImageDraw value)
{
    if (m_checkBox && value > idCenter)
        value = idCenter;
    if (value == m_imageDraw)
        return;
    m_imageDraw = value;
    Changed(false);
}

int TXColumn::ImageIndex() const
{
    if (m_checkBox) {
        const int index = int(CheckState()) + int(m_checkBoxKind) * 3;
        const bool themed = Grid() && Grid()->ThemedFixedCells();
        if ((m_images && !themed && m_images->Count() <= index) || (themed && (!m_images || m_images->Count() <= index)))
            return index % 3;
        return index;
    }
    db::TField* f = Field();
    if (!f)
        return -1;
    if (f->DataType() == db::ftBoolean)
        return f->AsBoolean() ? 1 : 0;
    TXCustomDBGrid* grid = Grid();
    const QString text = grid ? grid->ColGetText(const_cast<TXColumn*>(this), f->DisplayText(), tkDisplay) : f->DisplayText();
    bool ok = false;
    const int v = text.trimmed().toInt(&ok);
    return ok ? v : -1;
}

void TXColumn::SetExpanded(bool value)
{
    if (!tk::ChangeValue(m_expanded, value))
        return;
    Changed(true);
    if (TXCustomDBGrid* g = Grid())
        g->ColExpand(this);
}

TImeMode TXColumn::ImeMode() const
{
    if (m_imeModeAssigned)
        return m_imeMode;
    const TXCustomDBGrid* g = Grid();
    return g ? g->ImeMode() : imDontCare;
}

void TXColumn::SetImeMode(TImeMode value)
{
    m_imeMode = value;
    m_imeModeAssigned = true;
    Changed(false);
}

QString TXColumn::ImeName() const
{
    if (m_imeNameAssigned)
        return m_imeName;
    const TXCustomDBGrid* g = Grid();
    return g ? g->ImeName() : QString();
}

void TXColumn::SetImeName(const QString& value)
{
    m_imeName = value;
    m_imeNameAssigned = true;
    Changed(false);
}

void TXColumn::SetExpandCols(int value)
{
    value = std::max(0, value);
    if (value == m_expandCols)
        return;
    m_expandCols = value;
    Changed(true);
}

TXColumn* TXColumn::ParentColumn() const
{
    if (!m_collection)
        return nullptr;
    const int me = Index();
    for (int i = me - 1; i >= 0; --i) {
        const TXColumn* c = m_collection->Items(i);
        if (c->m_expandCols > 0 && i + c->m_expandCols >= me) {
            // the nearest enclosing parent
            return const_cast<TXColumn*>(c);
        }
    }
    return nullptr;
}

int TXColumn::Level() const
{
    int level = 0;
    for (const TXColumn* p = ParentColumn(); p; p = p->ParentColumn())
        ++level;
    return level;
}

bool TXColumn::Showing() const
{
    if (!m_visible)
        return false;
    for (const TXColumn* p = ParentColumn(); p; p = p->ParentColumn())
        if (!p->m_visible || !p->m_expanded)
            return false;
    return !(m_expandCols > 0 && m_expanded);
}

void TXColumn::Assign(const TXColumn& source)
{
    if (m_collection)
        m_collection->BeginUpdate();
    RestoreDefaults();
    m_fieldName = source.m_fieldName;
    m_field = nullptr;
    if (source.m_assigned & aColor)
        SetColor(source.m_color);
    if (source.m_assigned & aWidth)
        SetWidth(source.m_width);
    if (source.m_assigned & aFont)
        SetFont(source.m_font);
    if (source.m_assigned & aAlignment)
        SetAlignment(source.m_alignment);
    if (source.m_assigned & aReadOnly)
        SetReadOnly(source.m_readOnly);
    m_title->Assign(*source.m_title);
    m_buttonStyle = source.m_buttonStyle;
    m_pickList.Assign(source.m_pickList);
    m_popupMenu = source.m_popupMenu;
    m_visible = source.m_visible;
    m_expanded = source.m_expanded;
    m_ellipsis = source.m_ellipsis;
    m_quickDraw = source.m_quickDraw;
    m_showBlob = source.m_showBlob;
    m_showEdit = source.m_showEdit;
    m_toolTips = source.m_toolTips;
    m_transparent = source.m_transparent;
    m_vAlignment = source.m_vAlignment;
    m_wordWrap = source.m_wordWrap;
    m_wallpaper = source.m_wallpaper;
    m_widthMin = source.m_widthMin;
    m_widthMax = source.m_widthMax;
    m_imageOffsetX = source.m_imageOffsetX;
    m_imageOffsetY = source.m_imageOffsetY;
    m_checkBox = source.m_checkBox;
    m_checkBoxKind = source.m_checkBoxKind;
    m_checkBoxStyle = source.m_checkBoxStyle;
    m_checkBoxToggle = source.m_checkBoxToggle;
    m_checkBoxValues = source.m_checkBoxValues;
    m_hint = source.m_hint;
    m_editorHint = source.m_editorHint;
    m_toolTipsWidth = source.m_toolTipsWidth;
    SetImages(source.m_images);
    m_imageDraw = source.m_imageDraw;
    m_transparentColor = source.m_transparentColor;
    m_pickText.Assign(source.m_pickText);
    m_pickOptions = source.m_pickOptions;
    m_listOptions = source.m_listOptions;
    m_suppressRTL = source.m_suppressRTL;
    m_autoNumber = source.m_autoNumber;
    m_dropDownMenu = source.m_dropDownMenu;
    m_dropDownRows = source.m_dropDownRows;
    m_dropDownWidth = source.m_dropDownWidth;
    m_expandCols = source.m_expandCols;
    m_expandStyle = source.m_expandStyle;
    m_dialogOptions = source.m_dialogOptions;
    Changed(true);
    if (m_collection)
        m_collection->EndUpdate();
}

void TXColumn::RestoreDefaults()
{
    const bool fontAssigned = m_assigned & aFont;
    m_assigned = 0;
    m_title->RestoreDefaults();
    if (TXCustomDBGrid* g = Grid()) {
        auto h = std::move(m_font.OnChange);
        m_font.Assign(g->GridFont());
        m_font.OnChange = std::move(h);
    }
    m_widthMin = m_widthMax = -1;
    m_vAlignment = tvCenter;
    m_visible = true;
    m_wordWrap = true;
    m_ellipsis = true;
    m_showEdit = true;
    m_showBlob = true;
    m_quickDraw = true;
    m_autoNumber = false;
    m_suppressRTL = false;
    m_buttonStyle = cbsAuto;
    m_dropDownRows = 7;
    m_dropDownWidth = 0;
    m_dropDownMenu = nullptr;
    m_popupMenu = nullptr;
    m_pickList.Clear();
    m_pickText.Clear();
    m_pickOptions = poSelectPickText | poAcceptPickList;
    m_listOptions = loSelectNextValue | loAllowClearValue;
    m_hint.clear();
    m_editorHint.clear();
    m_toolTips = true;
    m_toolTipsWidth = ttAutoWidth;
    m_dialogOptions = doShowColumn | doItemEnabled;
    m_checkBox = false;
    m_checkBoxKind = ckCheck;
    m_checkBoxStyle = cbAuto;
    m_checkBoxToggle = ctOnCellClick;
    m_checkBoxValues = kDefaultCheckBoxValues;
    if (m_images)
        m_images->RemoveFreeNotification(this);
    m_images = nullptr;
    m_imageDraw = idCenter;
    m_imageOffsetX = m_imageOffsetY = 0;
    m_transparent = false;
    m_transparentColor = gfx::clNone;
    m_wallpaper = false;
    m_expanded = true;
    m_expandCols = 0;
    m_expandStyle = cesAuto;
    if (fontAssigned)
        Changed(true);
}

QString TXColumn::GetDisplayName() const
{
    QString name;
    if (db::TField* f = Field())
        name = f->FieldName();
    else
        name = m_fieldName;
    if (name.isEmpty()) {
        const QString caption = m_title->Caption();
        if (!caption.isEmpty())
            name = QLatin1Char('(') + (caption.size() > 20 ? caption.left(20) + QStringLiteral("...") : caption) +
                   QLatin1Char(')');
    }
    if (name.isEmpty())
        name = QStringLiteral("TXColumn");
    if (const TXColumn* p = ParentColumn())
        name = p->GetDisplayName() + QLatin1Char('.') + name;
    return name;
}

// ================================================================== TXDBGridColumns

TXDBGridColumns::TXDBGridColumns(TXCustomDBGrid* grid)
    : m_grid(grid)
{
}

TXDBGridColumns::~TXDBGridColumns()
{
    m_sortList.clear();
    m_items.clear();
}

TXColumn* TXDBGridColumns::Items(int index) const
{
    if (index < 0 || index >= Count())
        throw EInvalidGridOperation(QStringLiteral("List index out of bounds (%1)").arg(index));
    return m_items[size_t(index)].get();
}

int TXDBGridColumns::IndexOf(const TXColumn* column) const
{
    for (int i = 0; i < Count(); ++i)
        if (m_items[size_t(i)].get() == column)
            return i;
    return -1;
}

TXColumn* TXDBGridColumns::Add()
{
    BeginUpdate();
    m_items.push_back(std::make_unique<TXColumn>(this, true));
    TXColumn* c = m_items.back().get();
    m_changedAll = true;
    EndUpdate();
    return c;
}

TXColumn* TXDBGridColumns::AddDefault()
{
    m_items.push_back(std::make_unique<TXColumn>(this, false));
    return m_items.back().get();
}

void TXDBGridColumns::Clear()
{
    if (m_items.empty())
        return;
    BeginUpdate();
    if (m_grid)
        m_grid->MarkerLock();
    m_sortList.clear();
    m_items.clear();
    m_changedAll = true;
    if (m_grid)
        m_grid->MarkerUnlock();
    EndUpdate();
}

void TXDBGridColumns::Delete(int index)
{
    if (index < 0 || index >= Count())
        return;
    BeginUpdate();
    TXColumn* c = m_items[size_t(index)].get();
    const bool listed = std::find(m_sortList.begin(), m_sortList.end(), c) != m_sortList.end();
    if (listed && m_grid)
        m_grid->MarkerLock();
    SortListRemove(c);
    std::erase(m_changedItems, c);
    m_items.erase(m_items.begin() + index);
    if (listed) {
        RealignMarkers();
        if (m_grid)
            m_grid->MarkerUnlock();
    }
    m_changedAll = true;
    EndUpdate();
}

void TXDBGridColumns::Move(int from, int to)
{
    if (from == to || from < 0 || to < 0 || from >= Count() || to >= Count())
        return;
    auto item = std::move(m_items[size_t(from)]);
    m_items.erase(m_items.begin() + from);
    m_items.insert(m_items.begin() + to, std::move(item));
    Update(nullptr);
}

TDBGridColumnsState TXDBGridColumns::State() const
{
    return !m_items.empty() && m_items.front()->Stored() ? csCustomized : csDefault;
}

void TXDBGridColumns::SetState(TDBGridColumnsState value)
{
    if (value == State())
        return;
    if (value == csCustomized)
        RebuildColumns();
    else
        Clear();
}

void TXDBGridColumns::RebuildColumns()
{
    db::TDataSet* ds = m_grid ? m_grid->DataLink()->DataSet() : nullptr;
    if (m_grid && m_grid->DataSource() && ds) {
        m_grid->BeginLayout();
        Clear();
        for (int i = 0; i < ds->FieldCount(); ++i) {
            TXColumn* c = Add();
            c->SetFieldName(ds->Fields(i)->FullName());
        }
        m_grid->EndLayout();
    } else {
        Clear();
    }
}

void TXDBGridColumns::BeginUpdate()
{
    ++m_updateCount;
}

void TXDBGridColumns::EndUpdate()
{
    if (m_updateCount == 0 || --m_updateCount > 0)
        return;
    const bool all = m_changedAll;
    auto items = std::move(m_changedItems);
    m_changedAll = false;
    if (!m_grid)
        return;
    if (all)
        m_grid->ColumnsChanged(nullptr);
    else
        for (TXColumn* c : items)
            m_grid->ColumnsChanged(c);
}

void TXDBGridColumns::Update(TXColumn* item)
{
    if (m_updateCount > 0) {
        if (!item)
            m_changedAll = true;
        else if (std::find(m_changedItems.begin(), m_changedItems.end(), item) == m_changedItems.end())
            m_changedItems.push_back(item);
        return;
    }
    if (m_grid)
        m_grid->ColumnsChanged(item);
}

void TXDBGridColumns::SortListRemove(TXColumn* column)
{
    std::erase(m_sortList, column);
}

void TXDBGridColumns::SortListAdd(TXColumn* column)
{
    if (std::find(m_sortList.begin(), m_sortList.end(), column) == m_sortList.end())
        m_sortList.push_back(column);
}

void TXDBGridColumns::ClearMarkers()
{
    if (m_grid)
        m_grid->MarkerLock();
    for (auto& c : m_items)
        c->m_title->SetMarkerIndexRaw(-1);
    m_sortList.clear();
    Update(nullptr);
    if (m_grid)
        m_grid->MarkerUnlock();
}

void TXDBGridColumns::RealignMarkers()
{
    const TXDBGridOptions opt = m_grid ? m_grid->Options() : 0;
    if (m_grid)
        m_grid->MarkerLock();
    if (opt & dgMarkerAutoSwitch) {
        for (size_t i = 1; i < m_sortList.size(); ++i)
            m_sortList[i]->m_title->SetMarkerIndexRaw(-1);
        if (m_sortList.size() > 1)
            m_sortList.erase(m_sortList.begin() + 1, m_sortList.end());
        if (!m_sortList.empty()) {
            TXColumnTitle* t = m_sortList.front()->m_title.get();
            const bool desc = (t->m_markerIndex & 1) && !(opt & dgMarkerAscendOnly);
            t->SetMarkerIndexRaw(desc ? 1 : 0);
        }
    } else if (opt & dgMarkerAutoToggle) {
        Reencode();
    } else if (opt & dgMarkerAscendOnly) {
        for (TXColumn* c : m_sortList)
            c->m_title->SetMarkerIndexRaw(c->m_title->m_markerIndex & ~1);
    }
    Update(nullptr);
    if (m_grid)
        m_grid->MarkerUnlock();
}

void TXDBGridColumns::Reencode()
{
    const TXDBGridOptions opt = m_grid ? m_grid->Options() : 0;
    for (size_t i = 0; i < m_sortList.size(); ++i) {
        TXColumnTitle* t = m_sortList[i]->m_title.get();
        const int desc = (t->m_markerIndex & 1) && !(opt & dgMarkerAscendOnly) ? 1 : 0;
        t->SetMarkerIndexRaw(int(i) * 2 + 2 + desc);
    }
}

void TXDBGridColumns::ToggleMarker(TXColumn* column, bool ctrl)
{
    const TXDBGridOptions opt = m_grid ? m_grid->Options() : 0;
    const bool ascendOnly = opt & dgMarkerAscendOnly;
    if (m_grid)
        m_grid->MarkerLock();
    TXColumnTitle* t = column->m_title.get();
    bool wasAscending = t->m_marker == tmAscend && !ascendOnly;
    if (!ctrl || (opt & dgMarkerAutoSwitch)) {
        wasAscending = t->m_marker == tmAscend && !ascendOnly;
        for (auto& c : m_items)
            c->m_title->SetMarkerIndexRaw(-1);
        m_sortList.clear();
    }
    const auto it = std::find(m_sortList.begin(), m_sortList.end(), column);
    if (it == m_sortList.end()) {
        if (m_sortList.size() < 9) {
            const int count = int(m_sortList.size());
            m_sortList.push_back(column);
            const int desc = wasAscending ? 1 : 0;
            t->SetMarkerIndexRaw((opt & dgMarkerAutoSwitch) ? desc : count * 2 + 2 + desc);
        }
    } else if (t->m_marker == tmAscend && !ascendOnly) {
        t->SetMarkerIndexRaw(t->m_markerIndex | 1);
    } else if (column == m_sortList.back() && m_sortList.size() > 1) {
        t->SetMarkerIndexRaw(-1);
        m_sortList.pop_back();
    } else {
        t->SetMarkerIndexRaw(t->m_markerIndex & ~1);
    }
    Update(nullptr);
    if (m_grid)
        m_grid->MarkerUnlock();
}

} // namespace xdb
