// What the string grid paints behind and beside its cells: the background picture or gradient,
// the theme colours, the sizing-line overlay, and the update count that holds painting back.
#include "grid/ZodUvuz.h"

#include "grid/GridSearchBar.h"
#include "grid/GridUtils.h"
#include "platform/graphics/VisualStyles.h"
#include "platform/grid/GridColors.h"

#include <QPainter>
#include <QRegion>

namespace grid {

namespace {

// Draws `tile` repeatedly over `rect` so that a tile starts at `origin` (and every tile size from it).
void tileFrom(QPainter& p, const QImage& tile, const QRect& rect, QPoint origin)
{
    if (tile.isNull() || rect.isEmpty())
        return;
    const int w = tile.width(), h = tile.height();
    int ox = (rect.left() - origin.x()) % w;
    int oy = (rect.top() - origin.y()) % h;
    if (ox < 0)
        ox += w;
    if (oy < 0)
        oy += h;
    p.save();
    p.setClipRect(rect, Qt::IntersectClip);
    for (int y = rect.top() - oy; y <= rect.bottom(); y += h)
        for (int x = rect.left() - ox; x <= rect.right(); x += w)
            p.drawImage(x, y, tile);
    p.restore();
}

} // namespace

// ------------------------------------------------------------------ update count

void TZedEzeravIvur::IncUpdateCount()
{
    if (m_updateCountBeforeInc < 0)
        m_updateCountBeforeInc = m_updateCount;
    ++m_updateCount;
}

void TZedEzeravIvur::ClearUpdateCount()
{
    m_updateCount = m_updateCountBeforeInc >= 0 ? m_updateCountBeforeInc : 0;
    m_updateCountBeforeInc = -1;
}

// ------------------------------------------------------------------ theme colours

int TZedEzeravIvur::DetectThemeScheme()
{
    const QString name = visualstyles::GetCurrentThemeName().colorName;
    if (name == QLatin1String("NormalColor"))
        return 1;
    if (name == QLatin1String("HomeStead"))
        return 2;
    if (name == QLatin1String("Metallic"))
        return 3;
    return 0;
}

void TZedEzeravIvur::AdaptToTheme()
{
    static const TColor from[] = {gfx::clWhite, 0xFCE1CB, 0xCFF0EA, 0xECE2E1};
    static const TColor to[] = {gfx::clBtnFace, 0xE0A57D, 0x8CC0B1, 0xB39698};
    const int scheme = DetectThemeScheme();
    FixedGradientColor = from[scheme];
    FixedGradientColorTo = to[scheme];
    m_controlLook->FixedGradientFrom = scheme == 0 ? gfx::clNone : from[scheme];
    m_controlLook->FixedGradientTo = scheme == 0 ? gfx::clNone : to[scheme];
    if (scheme == 0) {
        SetActiveCellColor(gfx::clWhite);
        SetActiveCellColorTo(0xFFD9B3);
    } else {
        SetActiveCellColor(0x94E6FB);
        SetActiveCellColorTo(0x1595EE);
    }
    // The search bar's gradient follows the fixed cells' (white to a light blue without a scheme).
    TSearchFooter* bar = SearchFooter();
    bar->SetColor(from[scheme]);
    bar->SetColorTo(scheme == 0 ? TColor(0xFFD9B3) : to[scheme]);
    InvalidateGrid();
}

void TZedEzeravIvur::SetAutoThemeAdapt(bool value)
{
    AutoThemeAdapt = value;
    if (auto* bar = findChild<TSearchPanel*>(QStringLiteral("SearchPanel"), Qt::FindDirectChildrenOnly))
        bar->SearchFooter()->SetThemeAdapt(value);
    if (value) {
        AdaptToTheme();
        viewport()->update();
    }
}

// ------------------------------------------------------------------ frame

bool TZedEzeravIvur::FlatFrameShown() const
{
    const bool look = m_look == glSoft || m_look == glZarn || m_look == glXP || m_look == glListView;
    return look && !m_flat && frameShape() != QFrame::NoFrame && frameWidth() > 0;
}

void TZedEzeravIvur::DrawFrameBorder(QPainter& painter)
{
    if (!FlatFrameShown())
        return;
    const int w = width(), h = height();
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(tk::ToQColor(m_themedDrawing ? TColor(0xB99D7F) : TColor(0x808080), palette()));
    painter.drawRect(QRect(1, 1, w - 3, h - 3));
    if (QWidget* parent = parentWidget()) {
        painter.setPen(parent->palette().color(parent->backgroundRole()));
        painter.drawRect(QRect(0, 0, w - 1, h - 1));
    }
    painter.restore();
}

// ------------------------------------------------------------------ painting

void TZedEzeravIvur::Paint(QPainter& painter, const QRect& clip)
{
    // Nothing is painted while updates are held back.
    if (m_updateCount > 0)
        return;
    TBaseGrid::Paint(painter, clip);
    // The cell being edited gets a frame in the grid line colour.
    if (EditingInProgress()) {
        const int options = GridOptions();
        const bool lines = GridLineWidth() >= 1 && (options & (tk::goHorzLine | tk::goVertLine));
        QRect r = MergedCellRect(Col(), Row());
        if (r.isEmpty())
            r = CellRect(Col(), Row());
        painter.save();
        painter.setPen(tk::ToQColor(lines ? TBaseGrid::GridLineColor() : Color(), palette()));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(r.adjusted(0, 0, -1, -1));
        painter.restore();
    }
    paintUnusedArea(painter);
    // Sizing lines: a dotted overlay while a column or row is sized.
    if (m_colSizingLine >= 0 || m_rowSizingLine >= 0) {
        painter.save();
        painter.setClipping(false);
        QPen pen(Qt::black, 1, Qt::DotLine);
        painter.setPen(pen);
        const QSize vs = viewport()->size();
        if (m_colSizingLine >= 0)
            painter.drawLine(m_colSizingLine, 0, m_colSizingLine, vs.height());
        if (m_rowSizingLine >= 0)
            painter.drawLine(0, m_rowSizingLine, vs.width(), m_rowSizingLine);
        painter.restore();
    }
}

bool TZedEzeravIvur::CanScrollPixels() const
{
    // A gradient or a picture behind the cells is placed by the viewport, not by the rows; the
    // sizing lines stand where the pointer is; nothing is painted while updates are held back.
    const TBackGround* bg = m_backGround.get();
    const bool gradient = (bg->Display() == bdGradientHorz || bg->Display() == bdGradientVert) && bg->ColorTo() != gfx::clNone;
    return m_updateCount == 0 && !gradient && bg->Bitmap().isNull() && m_colSizingLine < 0 && m_rowSizingLine < 0;
}

void TZedEzeravIvur::paintUnusedArea(QPainter& p)
{
    const TBackGround* bg = m_backGround.get();
    const bool gradient = bg->Display() == bdGradientHorz || bg->Display() == bdGradientVert;
    if (gradient && bg->ColorTo() == gfx::clNone)
        return;
    const QRect client = viewport()->rect();
    // The right edge of the last column and the bottom of the last row, when they are on screen.
    QRegion region;
    const QRect lastCol = CellRect(ColCount() - 1, TBaseGrid::FixedRows() > 0 ? 0 : TopRow());
    if (RightToLeft()) {
        // The columns end at the left: the area lies left of the last column.
        if (!lastCol.isEmpty() && lastCol.left() - 1 > client.left())
            region += QRect(QPoint(client.left(), 0), QPoint(lastCol.left() - 3, client.bottom()));
    } else if (!lastCol.isEmpty() && lastCol.right() + 1 < client.right()) {
        region += QRect(QPoint(lastCol.right() + 2, 0), QPoint(client.right(), client.bottom()));
    }
    const QRect lastRow = CellRect(TBaseGrid::FixedCols() > 0 ? 0 : LeftCol(), RowCount() - 1);
    if (!lastRow.isEmpty() && lastRow.bottom() + 1 < client.bottom())
        region += QRect(QPoint(0, lastRow.bottom() + 2), QPoint(client.right(), client.bottom()));
    if (region.isEmpty())
        return;
    p.save();
    p.setClipRegion(region);
    if (bg->Bitmap().isNull()) {
        if (gradient)
            DrawGradientFill(p, tk::ResolveColor(bg->Color(), palette()), tk::ResolveColor(bg->ColorTo(), palette()), 128,
                             client, bg->Display() == bdGradientHorz);
    } else if (bg->Display() != bdTile) {
        const QImage& pic = bg->Bitmap();
        const QRect placed(bg->Left(), bg->Top(), pic.width(), pic.height());
        p.drawImage(placed.topLeft(), pic);
    } else if (bg->Cells() != bcFixed) {
        QPoint origin(0, 0);
        if (bg->Cells() == bcNormal)
            origin = QPoint(FixedColsWidth(), FixedRowsHeight());
        tileFrom(p, bg->Bitmap(), client, origin + QPoint(m_cellMarginX, m_cellMarginY));
    }
    p.restore();
}

void TZedEzeravIvur::drawCellBackground(QPainter& p, int col, int row, const QRect& rect, bool fixed, bool selected)
{
    const TBackGround* bg = m_backGround.get();
    const TCellProperties* props = CellPropertiesOrNull(RealColIndex(col), row);
    if (props && props->BrushColor() != gfx::clNone)
        return;
    if (selected && m_showSelection)
        return;
    const bool applies = bg->Cells() == bcAll || (bg->Cells() == bcFixed) == fixed;
    if (!applies)
        return;
    const bool gradient = bg->Display() == bdGradientHorz || bg->Display() == bdGradientVert;
    if (gradient) {
        if (bg->ColorTo() == gfx::clNone)
            return;
        const TColor c1 = tk::ResolveColor(bg->Color(), palette());
        const TColor c2 = tk::ResolveColor(bg->ColorTo(), palette());
        const bool horz = bg->Display() == bdGradientHorz;
        const int extent = horz ? viewport()->width() : viewport()->height();
        const TColor a = GradientColorAt(c1, c2, 0, extent, horz ? rect.left() : rect.top());
        const TColor b = GradientColorAt(c1, c2, 0, extent, horz ? rect.right() + 1 : rect.bottom() + 1);
        DrawGradientFill(p, a, b, 128, rect, horz);
        return;
    }
    const QImage& pic = bg->Bitmap();
    if (pic.isNull())
        return;
    if (bg->Display() != bdTile) {
        p.save();
        p.setClipRect(rect, Qt::IntersectClip);
        p.drawImage(QPoint(bg->Left(), bg->Top()), pic);
        p.restore();
        return;
    }
    // The pattern runs on across cells: its origin is where the first counted column and row
    // would start on screen, scrolled-out ones included.
    const int firstCol = bg->Cells() == bcNormal ? TBaseGrid::FixedCols() : 0;
    const int firstRow = bg->Cells() == bcNormal ? TBaseGrid::FixedRows() : 0;
    const QRect cell = CellRect(col, row);
    int x = cell.left(), y = cell.top();
    const int line = GridLineWidth();
    for (int c = firstCol; c < col; ++c)
        x -= ColWidths(c) + line;
    for (int r = firstRow; r < row; ++r)
        y -= RowHeights(r) + line;
    tileFrom(p, pic, rect, QPoint(x, y));
}

} // namespace grid
