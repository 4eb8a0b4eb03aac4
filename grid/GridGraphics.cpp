// What a cell shows besides its text: attaching and removing its graphic, the graphic's size and
// place, and drawing each kind (pictures, check boxes and radio groups in every control style,
// progress bars, buttons, node glyphs and the rest); the radio click.
#include "grid/ZodUvuz.h"

#include "grid/GridPaintFormat.h"
#include "grid/GridUtils.h"
#include "platform/grid/DrawUtils.h"
#include "platform/grid/GridColors.h"

#include <QFontMetrics>
#include <QHash>
#include <QPainter>
#include <QPolygon>
#include <QStyle>
#include <QStyleOptionButton>
#include <algorithm>

namespace grid {

namespace {

// The check-box and radio glyphs of the bitmap styles, drawn once: "ZEICHK01" .. "08" and
// "ZEIRAD01" .. "08" (odd: checked, even: unchecked; 1-4 the Zarn look, 5-8 the XP look; 3, 4, 7
// and 8 disabled), 13 x 13 on a transparent ground.
const QImage& glyph(bool radio, int number)
{
    static QHash<int, QImage> cache;
    const int key = (radio ? 100 : 0) + number;
    auto it = cache.find(key);
    if (it != cache.end())
        return *it;
    const bool checked = number % 2 == 1;
    const bool disabled = number == 3 || number == 4 || number == 7 || number == 8;
    const bool xp = number >= 5;
    QImage img(13, 13, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    QPainter p(&img);
    const QColor frame = disabled ? QColor(0xC0, 0xC0, 0xC0) : xp ? QColor(0x1C, 0x51, 0x80) : QColor(0x6B, 0x86, 0xB4);
    const QColor fill = disabled ? QColor(0xF0, 0xF0, 0xF0) : xp ? QColor(0xF4, 0xF4, 0xF0) : QColor(0xFF, 0xFF, 0xFF);
    const QColor mark = disabled ? QColor(0xA0, 0xA0, 0xA0) : xp ? QColor(0x21, 0xA1, 0x21) : QColor(0x20, 0x20, 0x80);
    if (radio) {
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(frame);
        p.setBrush(fill);
        p.drawEllipse(QRectF(0.5, 0.5, 12, 12));
        if (checked) {
            p.setPen(Qt::NoPen);
            p.setBrush(mark);
            p.drawEllipse(QRectF(3.5, 3.5, 6, 6));
        }
    } else {
        p.fillRect(QRect(0, 0, 13, 13), frame);
        p.fillRect(QRect(1, 1, 11, 11), fill);
        if (checked) {
            p.setPen(QPen(mark, 2));
            p.drawPolyline(QPolygon({QPoint(3, 6), QPoint(5, 9), QPoint(10, 3)}));
        }
    }
    p.end();
    return *cache.insert(key, img);
}

// A cell's integer value; false when its text holds none (nothing is drawn then).
bool cellInt(const QString& text, int& value)
{
    bool ok = false;
    value = text.trimmed().toInt(&ok);
    return ok;
}

QSize iconSize(const QIcon& icon)
{
    const QList<QSize> sizes = icon.availableSizes();
    return sizes.isEmpty() ? (icon.isNull() ? QSize(0, 0) : QSize(16, 16)) : sizes.first();
}

} // namespace

// ------------------------------------------------------------------ attaching

int TZedEzeravIvur::RowIndent(int row)
{
    if (!HasNodes() || row < 0)
        return 0;
    const TCellProperties* p = CellPropertiesOrNull(0, row);
    return p ? p->NodeLevel * m_cellNode->NodeIndent() : 0;
}

TCellGraphic* TZedEzeravIvur::GetCellGraphicObject(int col, int row)
{
    if (col == 0 && m_mouseActions->HotmailRowSelect()) {
        if (!m_rowCheckBox) {
            m_rowCheckBox = std::make_unique<TCellGraphic>();
            m_rowCheckBox->CellType = ctRowCheckBox;
        }
        m_rowCheckBox->CellTransparent = m_controlLook->ControlStyle() == csFlat;
        m_rowCheckBox->CellBoolean = row >= 0 && RowSelected(row);
        return m_rowCheckBox.get();
    }
    return GetCellGraphic(col, row);
}

TCellType TZedEzeravIvur::GetCellType(int col, int row)
{
    if (col < 0 || row < 0)
        return ctEmpty;
    if (col == 0 && m_mouseActions->HotmailRowSelect())
        return ctRowCheckBox;
    const TCellGraphic* g = GetCellGraphic(col, row);
    return g ? g->CellType : ctEmpty;
}

TCellGraphic* TZedEzeravIvur::CreateCellGraphic(int col, int row)
{
    SetCellGraphic(col, row, std::make_unique<TCellGraphic>());
    if (RealColIndex(col) != col || DisplColIndex(col) != col)
        RepaintCell(DisplColIndex(col), row);
    return GetCellGraphic(col, row);
}

bool TZedEzeravIvur::RemoveCellGraphic(int col, int row)
{
    // Only the cell's own graphic goes; the shared row check box is no cell's.
    TCellProperties* p = CellPropertiesOrNull(col, row);
    if (!p || !p->Graphic)
        return false;
    p->Graphic.reset();
    RepaintCell(col, row);
    return true;
}

bool TZedEzeravIvur::RemoveCellGraphicOfKind(int col, int row, TCellType kind)
{
    const TCellGraphic* g = GetCellGraphic(col, row);
    if (!g || g->CellType != kind)
        return false;
    return RemoveCellGraphic(col, row);
}

const std::vector<int>* TZedEzeravIvur::CellImageIndexes(int col, int row)
{
    const TCellGraphic* g = GetCellGraphic(col, row);
    return g && g->CellType == ctImages ? &g->Images : nullptr;
}

// ------------------------------------------------------------------ sizes

TCellGraphic* TZedEzeravIvur::GetCellGraphicLayout(int col, int row, TCellVAlign& vAlign, TCellHAlign& hAlign,
                                                   bool& textVisible, int& height, int& width)
{
    width = height = 0;
    textVisible = true;
    TCellGraphic* g = GetCellGraphicObject(col, row);
    if (!g)
        return nullptr;
    vAlign = g->CellVAlign;
    hAlign = g->CellHAlign;
    const auto* images = dynamic_cast<const tk::TImageList*>(m_gridImages.data());
    const int check = m_controlLook->CheckSize();
    switch (g->CellType) {
    case ctBitmap: width = g->Picture.width(); height = g->Picture.height(); break;
    case ctIcon: width = iconSize(g->Icon).width(); height = iconSize(g->Icon).height(); break;
    case ctImageList:
        if (images) {
            width = images->Width();
            height = images->Height();
        }
        break;
    case ctDataImage:
        if (images) {
            width = images->Width();
            height = images->Height();
            textVisible = false;
        }
        break;
    case ctCheckBox: width = height = check; break;
    case ctDataCheckBox:
    case ctVirtCheckBox:
    case ctRowCheckBox:
        width = height = check;
        textVisible = false;
        break;
    case ctRotated:
    case ctRadio:
    case ctProgress:
    case ctRangeIndicator: textVisible = false; break;
    case ctImages:
        if (images) {
            const int n = int(g->Images.size());
            width = g->CellBoolean ? n * images->Width() : images->Width();
            height = g->CellBoolean ? images->Height() : n * images->Height();
        }
        break;
    case ctPicture:
    case ctFilePicture: {
        const QSize cell = CellSize(col, row);
        const QPoint s = g->PictureSize(cell.width(), cell.height());
        width = s.x();
        height = s.y();
        break;
    }
    case ctButton:
    case ctBitButton:
        width = g->CellIndex & 0xFFFF;
        height = (g->CellIndex >> 16) & 0xFFFF;
        break;
    case ctProgressPie: width = height = 20; break;
    default: break;
    }
    return g;
}

void TZedEzeravIvur::CellGraphicSize(int col, int row, QSize& size)
{
    size = QSize(0, 0);
    TCellGraphic* g = GetCellGraphicObject(col, row);
    if (!g)
        return;
    const bool hasText = !DisplayText(col, row).isEmpty();
    const bool beside = g->CellHAlign == haBeforeText || g->CellHAlign == haAfterText || !hasText;
    const bool stacked = g->CellVAlign == vaUnderText || g->CellVAlign == vaAboveText || !hasText;
    const auto* images = dynamic_cast<const tk::TImageList*>(m_gridImages.data());
    const int check = m_controlLook->CheckSize();
    switch (g->CellType) {
    case ctBitmap:
        size = QSize(beside ? g->Picture.width() : 0, stacked ? g->Picture.height() : 0);
        break;
    case ctIcon: {
        const QSize s = iconSize(g->Icon);
        size = QSize(beside ? s.width() : 0, s.height());
        break;
    }
    case ctImageList:
    case ctDataImage:
        if (images)
            size = QSize(beside ? images->Width() : 0, images->Height());
        break;
    case ctCheckBox:
    case ctDataCheckBox:
    case ctVirtCheckBox:
    case ctRowCheckBox: size = QSize(check, check); break;
    case ctRadio: {
        const QFontMetrics fm(font());
        const int gh = fm.height();
        if (g->CellBoolean) {
            int w = 0;
            for (const QString& item : g->Options)
                w += fm.horizontalAdvance(item) + 12;
            size = QSize(w, gh);
        } else {
            int w = 12;
            for (const QString& item : g->Options)
                w = std::max(w, fm.horizontalAdvance(item) + 12);
            size = QSize(w, gh * int(g->Options.size()));
        }
        break;
    }
    case ctImages:
    case ctPicture:
    case ctFilePicture: {
        TCellVAlign va;
        TCellHAlign ha;
        bool visible;
        int w, h;
        GetCellGraphicLayout(col, row, va, ha, visible, h, w);
        size = QSize(w, h);
        break;
    }
    case ctButton:
    case ctBitButton: {
        const int w = g->CellIndex & 0xFFFF, h = (g->CellIndex >> 16) & 0xFFFF;
        size = hasText ? QSize(beside ? w : 0, stacked ? h : 0) : QSize(w, h);
        break;
    }
    case ctProgressPie: size = QSize(20, 20); break;
    default: break;
    }
    const QSize cell = CellSize(col, row);
    if (g->CellHAlign == haFull)
        size.setWidth(cell.width());
    if (g->CellVAlign == vaFull)
        size.setHeight(cell.height());
}

void TZedEzeravIvur::CellGraphicSizeScaled(int col, int row, QSize& size, double scale, int availableHeight,
                                           int availableWidth)
{
    size = QSize(0, 0);
    TCellGraphic* g = GetCellGraphicObject(col, row);
    if (!g)
        return;
    const auto* images = dynamic_cast<const tk::TImageList*>(m_gridImages.data());
    switch (g->CellType) {
    case ctBitmap: size = g->Picture.size(); break;
    case ctIcon: size = iconSize(g->Icon); break;
    case ctDataImage:
        if (images)
            size = QSize(images->Width(), images->Height());
        break;
    case ctPicture:
    case ctFilePicture: {
        const QPoint s = g->PictureSize(availableWidth, availableHeight);
        const double d = scale > 0 ? scale : 1.0;
        size = QSize(RoundHalfEven(s.x() / d), RoundHalfEven(s.y() / d));
        break;
    }
    case ctProgress: size = QSize(ColWidths(col), RowHeights(row)); break;
    case ctButton:
    case ctBitButton: size = QSize(g->CellIndex & 0xFFFF, (g->CellIndex >> 16) & 0xFFFF); break;
    default: {
        // The rest as for the screen, without the whole-cell alignments.
        const TCellHAlign ha = g->CellHAlign;
        const TCellVAlign va = g->CellVAlign;
        g->CellHAlign = ha == haFull ? haLeft : ha;
        g->CellVAlign = va == vaFull ? vaTop : va;
        CellGraphicSize(col, row, size);
        g->CellHAlign = ha;
        g->CellVAlign = va;
        break;
    }
    }
}

// ------------------------------------------------------------------ drawing

void TZedEzeravIvur::DrawCellGraphic(QPainter& p, const QRect& r, int col, int row, TCellGraphic* g,
                                     TVAlignment cellVAlign, TAlignment textAlign, int textWidth, bool shownSelected,
                                     TColor brush)
{
    TCellVAlign va;
    TCellHAlign ha;
    bool textVisible;
    int w, h;
    GetCellGraphicLayout(col, row, va, ha, textVisible, h, w);
    const int t = textWidth > 0 ? textWidth + 2 : 0;
    // Place (Windows rectangles end before right/bottom: right_ = r.right() + 1).
    const int right = r.right() + 1, bottom = r.bottom() + 1;
    int x = r.left() + 1, y = r.top() + 1;
    switch (ha) {
    case haLeft: break;
    case haCenter: x = w < r.width() ? r.left() + (r.width() - w) / 2 : r.left() + 1; break;
    case haBeforeText: x = textAlign != taLeftJustify ? std::max(r.left() + 1, right - t - w) : r.left() + 1; break;
    case haAfterText: x = textAlign != taRightJustify ? r.left() + t : right - 1 - w; break;
    case haRight: x = right - 1 - w; break;
    case haFull: x = r.left(); w = r.width(); break;
    }
    switch (va) {
    case vaTop:
    case vaAboveText: break;
    case vaBottom: y = bottom - 1 - h; break;
    case vaCenter: y = h < r.height() ? r.top() + (r.height() - h) / 2 : r.top() + 1; break;
    case vaUnderText: y = bottom - h; break;
    case vaFull: y = r.top(); h = r.height(); break;
    }
    const bool checkKind = g->CellType == ctCheckBox || g->CellType == ctDataCheckBox || g->CellType == ctVirtCheckBox
                           || g->CellType == ctRowCheckBox;
    if (checkKind) {
        const int size = m_controlLook->CheckSize();
        if (textAlign == taRightJustify)
            x = std::max(r.left() + 1, (g->CellType == ctCheckBox ? right - t : right) - 1 - size);
        else if (textAlign == taCenter)
            x = std::max(r.left() + 1, g->CellType == ctCheckBox && t > 0
                                           ? r.left() + std::max(0, right - t - r.left()) / 2 - size
                                           : r.left() + (r.width() - size) / 2);
        else
            x = r.left() + 1;
        if (cellVAlign != m_vAlignment) {
            const int cs = size;
            y = cellVAlign == vtaTop ? r.top() + 1 : cellVAlign == vtaBottom ? bottom - 1 - cs : r.top() + (r.height() - cs) / 2;
        } else if (va == vaCenter) {
            y = r.top() + (r.height() - size) / 2;
        }
    }
    const QRect gr(x, y, w, h);
    const auto* images = dynamic_cast<const tk::TImageList*>(m_gridImages.data());
    bool editable = true;
    CanEditCell(col, row, editable);
    const QPalette& pal = palette();

    switch (g->CellType) {
    case ctBitmap:
        if (g->CellTransparent) {
            const TColor back = shownSelected ? m_selectionColor : brush;
            DrawBitmapTransparent(p, g->Picture, tk::ResolveColor(back == gfx::clNone ? brush : back, pal), gr);
        } else {
            p.drawImage(gr.topLeft(), g->Picture);
        }
        break;
    case ctIcon: g->Icon.paint(&p, gr); break;
    case ctImageList:
        if (images && g->CellIndex >= 0 && g->CellIndex < images->Count())
            images->Draw(p, gr.left(), gr.top(), g->CellIndex, true);
        break;
    case ctDataImage: {
        int v = 0;
        if (images && cellInt(DisplayText(col, row), v)) {
            const long long idx = (long long)v + g->CellIndex;
            if (idx >= 0 && idx < images->Count())
                images->Draw(p, gr.left(), gr.top(), int(idx), true);
        }
        break;
    }
    case ctCheckBox:
    case ctDataCheckBox:
    case ctVirtCheckBox:
    case ctRowCheckBox: {
        bool checked = g->CellBoolean;
        if (g->CellType == ctDataCheckBox || g->CellType == ctVirtCheckBox) {
            QString trueText;
            GetCheckTrue(col, row, trueText);
            checked = DisplayText(col, row) == trueText;
        }
        const int size = m_controlLook->CheckSize();
        DrawCheckGlyph(p, QRect(x, y, size, size), checked, editable, m_controlLook->ControlStyle());
        break;
    }
    case ctRadio:
        DrawRadioGroup(p, r, int(g->Options.size()), g->CellIndex, g->Options, !editable, g->CellBoolean,
                       DisplayText(col, row), shownSelected);
        break;
    case ctImages:
        if (images) {
            int px = gr.left(), py = gr.top();
            for (int idx : g->Images) {
                if (idx >= 0 && idx < images->Count())
                    images->Draw(p, px, py, idx, true);
                (g->CellBoolean ? px : py) += g->CellBoolean ? images->Width() : images->Height();
            }
        }
        break;
    case ctPicture:
    case ctFilePicture:
        if ((g->CellAngle & 0xFF) != 0)
            p.drawImage(gr, g->Picture);
        else
            p.drawImage(gr.topLeft(), g->Picture);
        break;
    case ctProgress: {
        int v = 0;
        if (!cellInt(DisplayText(col, row), v))
            break;
        const QRect pr = r.adjusted(2, 2, -2, -2);
        const TColor bar = g->GraphicColor != gfx::clNone ? g->GraphicColor : gfx::clHighlight;
        const TColor rest = g->GraphicIconColor != gfx::clNone ? g->GraphicIconColor : gfx::clWindow;
        const TColor barText = g->CellBoolean ? TColor(g->CellIndex) : (tk::ResolveColor(bar, pal) ^ 0xFFFFFF);
        const TColor restText = g->CellBoolean ? TColor(g->CellAngle) : (tk::ResolveColor(rest, pal) ^ 0xFFFFFF);
        DrawProgressBar(p, pr, tk::ResolveColor(bar, pal), tk::ResolveColor(barText, pal), tk::ResolveColor(rest, pal),
                        tk::ResolveColor(restText, pal), v, m_controlLook->ProgressMarginX(),
                        m_controlLook->ProgressMarginY(), g->CellErrFrom, g->CellErrLen,
                        // A format that is no single integer conversion shows the value with "%".
                        SingleConversionFormat(g->CellText, QLatin1StringView("dixXuoc")) ? g->CellText : QString(),
                        m_controlLook->ProgressBorderColor);
        break;
    }
    case ctComment:
        if (m_controlLook->CommentColor() != gfx::clNone) {
            const TColor c = TColor(g->CellAngle) == gfx::clNone ? m_controlLook->CommentColor() : TColor(g->CellAngle);
            const QPoint tri[3] = {QPoint(right - 7, r.top() + 1), QPoint(right - 2, r.top() + 1),
                                   QPoint(right - 2, r.top() + 6)};
            p.save();
            p.setPen(tk::ToQColor(c, pal));
            p.setBrush(tk::ToQColor(c, pal));
            p.drawPolygon(tri, 3);
            p.restore();
        }
        break;
    case ctButton:
    case ctBitButton: {
        g->CellValue = double(((gr.top() - r.top()) << 16) | ((gr.left() - r.left()) & 0xFFFF));
        const bool enabled = m_controlLook->NoDisabledButtonLook() || editable;
        const bool pressed = g->CellBoolean;
        tk::DrawThemedButton(p, gr, !enabled ? tk::tsDisabled : pressed ? tk::tsPressed : tk::tsNormal, this);
        QRect tr = gr.adjusted(pressed ? 3 : 2, pressed ? 3 : 2, -2, -2);
        if (g->CellType == ctBitButton && !g->Picture.isNull()) {
            DrawBitmapTransparent(p, g->Picture, tk::ResolveColor(gfx::clBtnFace, pal),
                                  QRect(QPoint(tr.left(), tr.top() + (tr.height() - g->Picture.height()) / 2),
                                        g->Picture.size()));
            tr.setLeft(tr.left() + g->Picture.width() + 2);
        }
        p.save();
        p.setPen(enabled ? pal.color(QPalette::ButtonText) : pal.color(QPalette::Disabled, QPalette::ButtonText));
        p.drawText(tr, Qt::AlignCenter, p.fontMetrics().elidedText(g->CellText, Qt::ElideRight, tr.width()));
        p.restore();
        break;
    }
    case ctRotated: {
        // The text turned by the angle, from where the turned text starts, clipped to the cell
        // less 2 pixels.
        const QString text = DisplayText(col, row);
        QRect start = r;
        RotatedTextStart(start, g->CellAngle, cellVAlign, textAlign, text, p.font());
        p.save();
        p.setClipRect(r.adjusted(2, 2, -2, -2), Qt::IntersectClip);
        p.translate(start.topLeft());
        p.rotate(-g->CellAngle);
        p.drawText(QPoint(0, p.fontMetrics().ascent()), text);
        p.restore();
        break;
    }
    case ctProgressPie: {
        const TColor fill = g->GraphicColor != gfx::clNone ? g->GraphicColor : gfx::clHighlight;
        DrawPieChart(p, QRect(gr.topLeft(), QSize(20, 20)), tk::ResolveColor(fill, pal), g->CellAngle);
        break;
    }
    case ctNode: {
        // The glyph at the node's own level; a box with a minus, and the stroke of a plus while
        // the node is contracted (or the cell node's glyphs).
        const TCellNode* cn = m_cellNode.get();
        const int nx = r.left() + RowIndent(row) - cn->NodeIndent() + (IsFixedCell(col, row) ? 1 : 0);
        if (cn->NodeType() == cnGlyph && !cn->ExpandGlyph.isNull() && !cn->ContractGlyph.isNull()) {
            const QImage& img = g->CellBoolean ? cn->ContractGlyph : cn->ExpandGlyph;
            DrawBitmapTransparent(p, img, tk::ResolveColor(brush, pal),
                                  QRect(QPoint(nx, r.top() + (r.height() - img.height()) / 2), img.size()));
            break;
        }
        const int top = r.top() + (r.height() - 8) / 2;
        const QRect box(nx + 4, top, 9, 9);
        p.save();
        p.fillRect(box, tk::ToQColor(cn->Color, pal));
        p.setPen(tk::ToQColor(cn->NodeType() == cnFlat ? cn->NodeColor : gfx::clGray, pal));
        p.drawRect(box.adjusted(-1, -1, 0, 0));
        p.setPen(tk::ToQColor(cn->NodeColor, pal));
        p.drawLine(nx + 6, top + 4, nx + 10, top + 4);
        if (g->CellBoolean)
            p.drawLine(nx + 8, top + 2, nx + 8, top + 6);
        p.restore();
        break;
    }
    case ctRangeIndicator: {
        int v = 0;
        if (!cellInt(DisplayText(col, row), v))
            break;
        const QRect rr = r.adjusted(m_controlLook->ProgressMarginX(), m_controlLook->ProgressMarginY(),
                                    -m_controlLook->ProgressMarginX(), -m_controlLook->ProgressMarginY());
        const TColor neg = g->GraphicColor != gfx::clNone ? g->GraphicColor : gfx::clRed;
        const TColor pos = g->GraphicIconColor != gfx::clNone ? g->GraphicIconColor : gfx::clLime;
        DrawRangeBar(p, rr, v, g->CellIndex, g->CellBoolean, tk::ResolveColor(neg, pal), tk::ResolveColor(pos, pal));
        break;
    }
    default: break;
    }
}

void TZedEzeravIvur::DrawCheckGlyph(QPainter& p, const QRect& r, bool checked, bool enabled, TControlStyle style)
{
    const TControlLook* look = m_controlLook.get();
    if (look->NoDisabledCheckRadioLook() || look->CheckAlwaysActive)
        enabled = true;
    const int size = look->CheckSize();
    const QPalette& pal = palette();
    switch (style) {
    case csClassic:
    case csFlat: {
        const QRect box(r.left() + (r.width() - size) / 2, r.top() + (r.height() - size) / 2, size, size);
        tk::DrawThemedCheckBox(p, box, checked ? 1 : 0, enabled ? tk::tsNormal : tk::tsDisabled, this);
        break;
    }
    case csWinXP:
    case csZarn: {
        const int number = (style == csWinXP ? 5 : 1) + (enabled ? 0 : 2) + (checked ? 0 : 1);
        p.drawImage(r.topLeft(), glyph(false, number));
        break;
    }
    case csBorland: {
        const QColor face = tk::ToQColor(gfx::clBtnFace, pal);
        p.save();
        p.fillRect(r, enabled ? face : tk::ToQColor(gfx::clBtnShadow, pal));
        p.setPen(face);
        p.drawRect(r.adjusted(0, 0, -1, -1));
        p.setPen(tk::ToQColor(gfx::clBtnHighlight, pal));
        p.drawLine(r.left(), r.bottom(), r.left(), r.top());
        p.drawLine(r.left(), r.top(), r.right(), r.top());
        p.setPen(tk::ToQColor(gfx::clBtnShadow, pal));
        p.drawLine(r.right(), r.top(), r.right(), r.bottom());
        p.drawLine(r.right(), r.bottom(), r.left(), r.bottom());
        if (checked) {
            p.setPen(enabled ? tk::ToQColor(look->Color(), pal) : QColor(Qt::gray));
            const int top = r.top() - 1, bottom = r.bottom();
            const int half = size / 2;
            p.drawLine(r.left() + 2, r.top() + half, r.left() + 2, bottom - 1);
            p.drawLine(r.left() + 3, top + half, r.left() + 3, bottom - 2);
            p.drawLine(r.left() + 2, bottom - 1, r.right() - 1, top + 3);
            p.drawLine(r.left() + 3, bottom - 1, r.right(), top + 3);
        }
        p.restore();
        break;
    }
    case csGlyph: {
        const QImage& g = checked ? look->CheckedGlyph() : look->UnCheckedGlyph();
        if (!g.isNull())
            DrawBitmapTransparent(p, g, tk::ResolveColor(Color(), pal), QRect(r.topLeft(), g.size()));
        break;
    }
    case csTheme:
        if (m_themedDrawing)
            tk::DrawThemedCheckBox(p, QRect(r.topLeft(), QSize(size, size)), checked ? 1 : 0,
                                   enabled ? tk::tsNormal : tk::tsDisabled, this);
        break;
    }
}

void TZedEzeravIvur::DrawRadioGroup(QPainter& p, const QRect& r, int count, int selectedIndex,
                                    const QStringList& items, bool disabled, bool sideBySide, const QString& cellText,
                                    bool selected)
{
    const TControlLook* look = m_controlLook.get();
    if (look->NoDisabledCheckRadioLook() || look->RadioAlwaysActive)
        disabled = false;
    const TControlStyle style = look->ControlStyle();
    const bool classic = style == csClassic || style == csFlat;
    const bool bitmap = style == csWinXP || style == csZarn || style == csGlyph;
    const int s = classic ? look->RadioSize() : 16;
    const QFontMetrics fm(p.font());
    const int gh = fm.height();
    const int h = classic ? gh : std::max(16, gh);
    p.save();
    if (selected && m_showSelection)
        p.setPen(tk::ToQColor(m_selectionTextColor, palette()));
    auto drawGlyph = [&](int x, int y, bool checked) {
        if (classic) {
            QStyleOptionButton opt;
            opt.initFrom(this);
            const int side = style == csFlat ? look->RadioSize() + 2 : look->RadioSize();
            opt.rect = QRect(x, y, side, side);
            opt.state = (disabled ? QStyle::State_None : QStyle::State_Enabled) | (checked ? QStyle::State_On : QStyle::State_Off);
            this->style()->drawPrimitive(QStyle::PE_IndicatorRadioButton, &opt, &p, this);
        } else if (style == csBorland) {
            const QPolygon outer({QPoint(x + 2, y + 8), QPoint(x + 8, y + 2), QPoint(x + 14, y + 8), QPoint(x + 8, y + 14)});
            p.save();
            p.setPen(Qt::NoPen);
            p.setBrush(tk::ToQColor(gfx::clBtnFace, palette()));
            p.drawPolygon(outer);
            p.setPen(checked ? QColor(Qt::gray) : QColor(Qt::white));
            p.drawLine(x + 2, y + 8, x + 8, y + 2);
            p.drawLine(x + 8, y + 2, x + 14, y + 8);
            p.setPen(checked ? QColor(Qt::white) : QColor(Qt::gray));
            p.drawLine(x + 14, y + 8, x + 8, y + 14);
            p.drawLine(x + 8, y + 14, x + 2, y + 8);
            if (checked) {
                p.setPen(tk::ToQColor(look->Color(), palette()));
                p.setBrush(tk::ToQColor(look->Color(), palette()));
                p.drawPolygon(QPolygon({QPoint(x + 6, y + 8), QPoint(x + 8, y + 6), QPoint(x + 10, y + 8), QPoint(x + 8, y + 10)}));
            }
            p.restore();
        } else if (style == csTheme) {
            if (m_themedDrawing) {
                QStyleOptionButton opt;
                opt.initFrom(this);
                opt.rect = QRect(x, y, 16, 16);
                opt.state = (disabled ? QStyle::State_None : QStyle::State_Enabled) | (checked ? QStyle::State_On : QStyle::State_Off);
                this->style()->drawPrimitive(QStyle::PE_IndicatorRadioButton, &opt, &p, this);
            }
        } else {
            if (style != csGlyph) {
                p.drawImage(QPoint(x, y), glyph(true, (style == csWinXP ? 5 : 1) + (disabled ? 2 : 0) + (checked ? 0 : 1)));
            } else {
                const QImage& img = checked ? look->RadioOnGlyph() : look->RadioOffGlyph();
                if (!img.isNull())
                    DrawBitmapTransparent(p, img, tk::ResolveColor(Color(), palette()), QRect(QPoint(x, y), img.size()));
            }
        }
    };
    int w = 0;
    for (int i = 0; i < count && i < items.size(); ++i) {
        const bool checked = i == selectedIndex || (selectedIndex == -1 && items[i] == cellText);
        const QString& caption = items[i];
        if (sideBySide) {
            const int x = r.left() + 2 + i * s + w;
            const int y = r.top() + (r.height() - s) / 2;
            drawGlyph(x, y, checked);
            if (!caption.isEmpty()) {
                const int tx = bitmap ? x + 16 : x + s;
                const int ty = bitmap ? y + 1 : y - 2;
                p.drawText(QPoint(tx, ty + fm.ascent()), caption);
                w += fm.horizontalAdvance(caption);
            }
        } else if (!caption.isEmpty()) {
            drawGlyph(r.left() + 2, r.top() + i * h + 2, checked);
            const QPoint at = classic ? QPoint(r.left() + look->RadioSize() + 6, r.top() + i * h)
                              : (style == csBorland || style == csTheme) ? QPoint(r.left() + 20, r.top() + i * h)
                                                                         : QPoint(r.left() + 18, r.top() + i * h + 3);
            p.drawText(QPoint(at.x(), at.y() + fm.ascent()), caption);
        } else {
            drawGlyph(r.left() + (r.width() - s) / 2, r.top() + i * h + 2, checked);
        }
    }
    p.restore();
}

void TZedEzeravIvur::ClickRadioItem(int col, int row, int y, int x)
{
    TCellGraphic* g = GetCellGraphic(col, row);
    if (!g || g->CellType != ctRadio)
        return;
    bool wordWrap = false;
    TAlignment ha;
    TVAlignment va;
    tk::TFont f;
    TColor brush, colorTo;
    tk::TGridDrawState state = 0;
    GetCellColors(col, row, wordWrap, ha, va, f, colorTo, brush, false, false, false, state);
    const QFontMetrics fm(f.Font());
    if (!IsFixedCell(col, row)) {
        SetCol(col);
        SetRow(row);
    }
    const TControlStyle style = m_controlLook->ControlStyle();
    const int s = style == csClassic || style == csFlat ? m_controlLook->RadioSize() : 16;
    int chosen = -1;
    if (g->CellBoolean) {
        int end = 0;
        for (int i = 0; i < g->Options.size(); ++i) {
            const int next = end + fm.horizontalAdvance(g->Options[i]) + s;
            if (x > end && x < next) {
                chosen = i;
                break;
            }
            end = next;
        }
    } else {
        const int h = std::max(s, fm.height());
        for (int i = 0; i < g->Options.size(); ++i)
            if (y > i * h && y < (i + 1) * h) {
                chosen = i;
                break;
            }
    }
    if (chosen < 0)
        return;
    if (g->CellIndex == -1)
        SetCellText(col, row, g->Options[chosen]);
    else {
        g->CellIndex = chosen;
        SetCellText(col, row, Cells(col, row));
    }
    if (OnRadioClick)
        OnRadioClick(this, DisplColIndex(col), row, chosen);
}

} // namespace grid
