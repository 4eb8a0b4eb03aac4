#include "grid/GridOptions.h"

#include "grid/BaseGrid.h"
#include "grid/GridUtils.h"
#include "grid/ZodUvuz.h"

#include <QMetaProperty>
#include <algorithm>

namespace grid {

// ------------------------------------------------------------------ TGridPersistent

bool TGridPersistent::Assign(const QObject* source)
{
    if (!source || source->metaObject() != metaObject())
        return false;
    const QMetaObject* mo = metaObject();
    for (int i = QObject::staticMetaObject.propertyCount(); i < mo->propertyCount(); ++i) {
        const QMetaProperty p = mo->property(i);
        if (p.isWritable())
            p.write(this, p.read(source));
    }
    return true;
}

bool TGridPersistent::AssignExcept(const QObject* source, const QStringList& skipped)
{
    if (!source || source->metaObject() != metaObject())
        return false;
    const QMetaObject* mo = metaObject();
    for (int i = QObject::staticMetaObject.propertyCount(); i < mo->propertyCount(); ++i) {
        const QMetaProperty p = mo->property(i);
        if (p.isWritable() && !skipped.contains(QString::fromLatin1(p.name())))
            p.write(this, p.read(source));
    }
    return true;
}

void TGridPersistent::RepaintGrid()
{
    if (m_grid)
        m_grid->InvalidateGrid();
}

bool TGridPersistent::GridDesigning() const { return m_grid && m_grid->Designing(); }

// ------------------------------------------------------------------ TCellNode

void TCellNode::SetNodeType(grid::TNodeType v)
{
    if (tk::ChangeValue(m_nodeType, v))
        RepaintGrid();
}

void TCellNode::SetNodeIndent(int v)
{
    if (tk::ChangeValue(m_nodeIndent, v))
        RepaintGrid();
}

void TCellNode::SetShowTree(bool v)
{
    if (tk::ChangeValue(m_showTree, v))
        RepaintGrid();
}

void TCellNode::SetShowTreeFull(bool v)
{
    if (tk::ChangeValue(m_showTreeFull, v))
        RepaintGrid();
}

void TCellNode::SetTreeColor(TColor v)
{
    if (tk::ChangeValue(m_treeColor, v))
        RepaintGrid();
}

// ------------------------------------------------------------------ TMouseActions

void TMouseActions::SetDisjunctRowSelect(bool v)
{
    m_disjunctRow = v;
    if (v && GridDesigning())
        m_disjunctCol = m_disjunctCell = false;
}

void TMouseActions::SetDisjunctColSelect(bool v)
{
    m_disjunctCol = v;
    if (v && GridDesigning())
        m_disjunctRow = m_disjunctCell = false;
}

void TMouseActions::SetDisjunctCellSelect(bool v)
{
    m_disjunctCell = v;
    if (v && GridDesigning())
        m_disjunctRow = m_disjunctCol = false;
}

void TMouseActions::SetHotmailRowSelect(bool v)
{
    m_hotmail = v;
    RepaintGrid();
}

void TColumnSize::SetStretch(bool v)
{
    m_stretch = v;
    auto* grid = dynamic_cast<TZedEzeravIvur*>(Grid());
    if (grid && (grid->parentWidget() || grid->isVisible()))
        grid->ApplyColumnStretch();
}

bool TMouseActions::Assign(const QObject* source)
{
    return AssignExcept(source, {QStringLiteral("HotmailRowSelect"), QStringLiteral("SizeFixedRow")});
}

// ------------------------------------------------------------------ 8.168-style holders

void TSortSettings::SetShow(bool v)
{
    if (tk::ChangeValue(m_show, v))
        RepaintGrid();
}

void TSortSettings::SetRow(int v)
{
    if (Grid() && v >= Grid()->FixedRows())
        throw EZodUvuzError(QStringLiteral("Sort row should be smaller than number of fixed rows"));
    m_row = v;
}

bool TSortSettings::Assign(const QObject* source)
{
    if (!AssignExcept(source, {QStringLiteral("Row")}))
        return false;
    m_row = static_cast<const TSortSettings*>(source)->m_row;
    return true;
}

void TBands::repaintWhenActive()
{
    if (m_active)
        RepaintGrid();
}

void TBands::SetActive(bool v)
{
    m_active = v;
    RepaintGrid();
}

void TBands::SetPrimaryColor(TColor v)
{
    m_primaryColor = v;
    repaintWhenActive();
}

void TBands::SetPrimaryLength(int v)
{
    m_primaryLength = v;
    m_period = m_primaryLength + m_secondaryLength;
    repaintWhenActive();
}

void TBands::SetSecondaryColor(TColor v)
{
    m_secondaryColor = v;
    repaintWhenActive();
}

void TBands::SetSecondaryLength(int v)
{
    m_secondaryLength = v;
    m_period = m_primaryLength + m_secondaryLength;
    repaintWhenActive();
}

bool TGrouping::Assign(const QObject* source)
{
    return AssignExcept(source, {QStringLiteral("HeaderLineColor"), QStringLiteral("HeaderLineWidth"),
                                 QStringLiteral("Summary"), QStringLiteral("SummaryLineColor"),
                                 QStringLiteral("SummaryLineWidth")});
}

void TShowModified::SetColor(TColor v)
{
    m_color = v;
    if (OnChange)
        OnChange(this);
}

bool TDragScrollOptions::Assign(const QObject* source)
{
    if (!source || source->metaObject() != metaObject())
        return false;
    auto* s = const_cast<TDragScrollOptions*>(static_cast<const TDragScrollOptions*>(source));
    m_margins.Assign(s->Margins());
    m_delays.Assign(s->Delays());
    Active = s->Active;
    return true;
}

// ------------------------------------------------------------------ TFilter

tk::TCollectionItems TFilter::StoredItems()
{
    tk::TCollectionItems items;
    items.itemClass = &TFilterData::staticMetaObject;
    items.count = [this] { return Count(); };
    items.item = [this](int index) -> const void* { return &m_items.at(size_t(index)); };
    items.add = [this]() -> void* { return &Add(); };
    items.clear = [this] { Clear(); };
    return items;
}

// ------------------------------------------------------------------ TPrintSettings

bool TPrintSettings::Assign(const QObject* source)
{
    // Only print settings are taken; anything else changes nothing.
    // (the fonts are published values: their contents are copied with the others)
    return TGridPersistent::Assign(source);
}

// ------------------------------------------------------------------ TControlLook

bool TControlLook::Assign(const QObject* source)
{
    if (!source || source->metaObject() != metaObject())
        return false;
    const auto* s = static_cast<const TControlLook*>(source);
    m_CheckSize = s->m_CheckSize;
    m_RadioSize = s->m_RadioSize;
    m_ControlStyle = s->m_ControlStyle;
    m_CheckedGlyph = s->m_CheckedGlyph;
    m_UnCheckedGlyph = s->m_UnCheckedGlyph;
    m_RadioOnGlyph = s->m_RadioOnGlyph;
    m_RadioOffGlyph = s->m_RadioOffGlyph;
    m_ProgressMarginX = s->m_ProgressMarginX;
    m_ProgressMarginY = s->m_ProgressMarginY;
    m_CommentColor = s->m_CommentColor;
    m_Color = s->m_Color;
    ProgressBorderColor = s->ProgressBorderColor;
    CheckAlwaysActive = s->CheckAlwaysActive;
    RadioAlwaysActive = s->RadioAlwaysActive;
    RepaintGrid();
    return true;
}

// ------------------------------------------------------------------ TCellGraphic

void TCellGraphic::Assign(const TCellGraphic& s)
{
    CellType = s.CellType;
    CellVAlign = s.CellVAlign;
    CellHAlign = s.CellHAlign;
    CellIndex = s.CellIndex;
    CellTransparent = s.CellTransparent;
    CellValue = s.CellValue;
    CellAngle = s.CellAngle;
    CellBoolean = s.CellBoolean;
    CellErrFrom = s.CellErrFrom;
    CellErrLen = s.CellErrLen;
    CellText = s.CellText;
}

QPoint TCellGraphic::PictureSize(int availWidth, int availHeight) const
{
    if (CellType != ctPicture && CellType != ctFilePicture)
        return QPoint(0, 0);
    const int w = Picture.width(), h = Picture.height();
    availWidth -= CellIndex;
    availHeight -= CellIndex;
    const bool fits = availWidth >= w && availHeight >= h;
    auto scaled = [&](bool limit) {
        double wr = w > 0 ? double(availWidth) / w : 1.0;
        double hr = h > 0 ? double(availHeight) / h : 1.0;
        if (limit) {
            wr = std::min(wr, 1.0);
            hr = std::min(hr, 1.0);
        }
        if (wr >= hr)
            return QPoint(RoundHalfEven(w * hr), limit ? RoundHalfEven(h * hr) : availHeight);
        return QPoint(limit ? RoundHalfEven(w * wr) : availWidth, RoundHalfEven(h * wr));
    };
    switch (CellAngle & 0xFF) {
    case 0: return QPoint(w, h);
    case 1: return QPoint(availWidth, availHeight);
    case 2: return scaled(false);
    case 3: return fits ? QPoint(w, h) : QPoint(availWidth, availHeight);
    case 4: return fits ? QPoint(w, h) : scaled(true);
    default: return QPoint(w, h);
    }
}

} // namespace grid
