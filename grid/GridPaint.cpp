// What the string grid draws inside a cell: colours and font, alignment, the text in its four
// kinds, the sort mark, borders, fixed-cell looks, selection and focus marks, sizing lines, and the
// measuring of a cell's content for automatic sizing.
#include "grid/ZodUvuz.h"

#include "grid/GridPaintFormat.h"
#include "grid/GridUtils.h"
#include "grid/VOdoZozaRere.h"
#include "grid/minihtml/MiniHTML.h"
#include "platform/grid/DrawUtils.h"
#include "platform/grid/GridColors.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>
#include <QTextDocument>
#include <algorithm>
#include <cmath>

namespace grid {

namespace {

QColor qcolor(TColor c, const QWidget* w) { return tk::ToQColor(c, w->palette()); }

// CR LF and lone CRs become the line feeds Qt breaks lines at.
QString qtLines(QString s)
{
    s.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    s.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return s;
}

Qt::Alignment qtAlign(TAlignment h, TVAlignment v)
{
    Qt::Alignment a = h == taRightJustify ? Qt::AlignRight : h == taCenter ? Qt::AlignHCenter : Qt::AlignLeft;
    a |= v == vtaCenter ? Qt::AlignVCenter : v == vtaBottom ? Qt::AlignBottom : Qt::AlignTop;
    return a;
}

QFont zoomed(QFont f, int zoom)
{
    if (zoom != 0) {
        const qreal pt = f.pointSizeF() > 0 ? f.pointSizeF() : 9;
        f.setPointSizeF(std::max<qreal>(1, pt + zoom));
    }
    return f;
}

} // namespace

void ApplyCellProperties(const TCellProperties* p, TColor& brush, tk::TFont& font)
{
    if (p->BrushColor() != gfx::clNone)
        brush = p->BrushColor();
    if (p->FontColor != gfx::clNone)
        font.SetColor(p->FontColor);
    QFont f = font.Font();
    if (p->FontStyle != 0) {
        f.setBold(p->FontStyle & fsBold);
        f.setItalic(p->FontStyle & fsItalic);
        f.setUnderline(p->FontStyle & fsUnderline);
        f.setStrikeOut(p->FontStyle & fsStrikeOut);
    }
    if (p->FontSize != 0)
        f.setPointSize(p->FontSize);
    if (!p->FontName.isEmpty())
        f.setFamily(p->FontName);
    if (f != font.Font())
        font.SetFont(f);
}

bool SingleConversionFormat(const QString& format, QLatin1StringView kinds)
{
    int conversions = 0;
    for (qsizetype i = 0; i < format.size(); ++i) {
        if (format[i] != QLatin1Char('%'))
            continue;
        ++i;
        if (i < format.size() && format[i] == QLatin1Char('%'))
            continue;
        while (i < format.size() && QStringLiteral("-+ #0").contains(format[i]))
            ++i;
        int digits = 0;
        while (i < format.size() && (format[i].isDigit() || format[i] == QLatin1Char('.')))
            if (++digits > 4)
                return false;
            else
                ++i;
        if (i >= format.size() || !kinds.contains(format[i].toLatin1()))
            return false;
        ++conversions;
    }
    return conversions == 1;
}

// ------------------------------------------------------------------ colours and alignment

void TZedEzeravIvur::GetCellColors(int col, int row, bool& wordWrap, TAlignment& hAlign, TVAlignment& vAlign,
                                   tk::TFont& font, TColor& colorTo, TColor& brush, bool mapColumn,
                                   bool selectionAware, bool printing, tk::TGridDrawState& state)
{
    const int fixedCols = TBaseGrid::FixedCols();
    const int fixedRows = TBaseGrid::FixedRows();
    const tk::TFont& gridFont = [&]() -> const tk::TFont& {
        static thread_local tk::TFont f;
        QFont q = this->font();
        if (f.Font() != q)
            f.SetFont(q);
        f.SetColor(gfx::clWindowText);
        return f;
    }();
    font.Assign(col < fixedCols || row < fixedRows ? m_fixedFont : gridFont);
    const int real = mapColumn ? RealColIndex(col) : col;
    brush = gfx::clNone;
    colorTo = gfx::clNone;
    const TCellProperties* props = CellPropertiesOrNull(real, row);
    if (props) {
        ApplyCellProperties(props, brush, font);
        wordWrap = props->WordWrap();
        colorTo = props->BrushColorTo();
    }
    const bool footerOrRight = row >= RowCount() - m_fixedFooters || col >= ColCount() - m_fixedRightCols;
    if (brush == gfx::clNone) {
        brush = Color();
        const TBands* b = m_bands.get();
        if (b->Active() && (b->Print == printing || !printing) && col >= fixedCols
            && col < ColCount() - m_fixedRightCols && row >= fixedRows && row < RowCount() - m_fixedFooters) {
            const int cycle = b->PrimaryLength() + b->SecondaryLength();
            if (cycle >= 1)
                brush = (row - fixedRows) % cycle < b->PrimaryLength() ? b->PrimaryColor() : b->SecondaryColor();
        }
        if (col < fixedCols || row < fixedRows || footerOrRight)
            brush = GridFixedColor();
    }
    const bool fixed = IsFixedCell(col, row) || col < fixedCols || row < fixedRows;
    if (fixed && !printing) {
        brush = GridFixedColor();
        font.Assign(m_fixedFont);
        state |= tk::gdFixed;
    }
    if (printing)
        GetCellPrintColor(real, row, state, brush, font);
    else
        GetCellColor(real, row, state, brush, font);

    auto apply = [&]() {
        brush = m_selectionColor == gfx::clNone ? gfx::clHighlight : m_selectionColor;
        colorTo = m_selectionColorTo;
        font.SetColor(m_selectionTextColor);
    };
    const bool focusedCell = (state & tk::gdFocused) && !(GridOptions() & tk::goDrawFocusSelected);
    if (selectionAware && !printing && m_showSelection && !fixed && !focusedCell) {
        TMouseActions* ma = m_mouseActions.get();
        if (ma->DisjunctRowSelect() || ma->DisjunctColSelect()) {
            if (IsCellSelected(col, row)) {
                apply();
                state = tk::gdSelected;
            }
        } else if (ma->DisjunctCellSelect()) {
            if (m_cellMarks.Contains(real, row)) {
                apply();
                state |= tk::gdSelected;
            } else if (col == Col() && row == Row()) {
                state &= ~tk::gdSelected;
                brush = Color();
                font.SetColor(gridFont.Color());
            }
        } else if (IsCellSelected(col, row)) {
            apply();
            state |= tk::gdSelected;
        }
    }
    GetCellWordWrap(real, row, wordWrap);
    ResolveCellAlignment(real, row, hAlign, vAlign);
}

void TZedEzeravIvur::ResolveCellAlignment(int col, int row, TAlignment& hAlign, TVAlignment& vAlign)
{
    vAlign = m_vAlignment;
    hAlign = taLeftJustify;
    if (AutoNumAlign) {
        QString text = DisplayText(col, row);
        if (text.startsWith(QLatin1Char('=')) || (text.startsWith(QLatin1String("|\\")) && text.mid(3, 1) == QLatin1String("=")))
            GetCellTextForCopy(col, row, text);
        if (NumberKind(text) <= 1 && !text.isEmpty())
            hAlign = taRightJustify;
    }
    if (const TCellProperties* p = CellPropertiesOrNull(col, row))
        hAlign = p->Alignment;
    GetCellAlignment(col, row, hAlign, vAlign);
}

// ------------------------------------------------------------------ the cell

bool TZedEzeravIvur::cellShownSelected(int col, int row, tk::TGridDrawState state)
{
    if (state & tk::gdSelected)
        return true;
    const int real = RealColIndex(col);
    return (GridOptions() & tk::goRowSelect) && real >= FixedCols() && real < ColCount() - m_fixedRightCols
           && row >= 0 && RowSelected(row);
}

void TZedEzeravIvur::DrawCellContent(QPainter& p, int col, tk::TGridDrawState state, const QRect& cellRect, int row)
{
    QRect rect = cellRect;
    const int real = RealColIndex(col);
    bool wordWrap = WordWrap();
    TAlignment hAlign = taLeftJustify;
    TVAlignment vAlign = vtaTop;
    tk::TFont font;
    TColor brush = gfx::clNone, colorTo = gfx::clNone;
    tk::TGridDrawState colorState = state;
    GetCellColors(col, row, wordWrap, hAlign, vAlign, font, colorTo, brush, true, false, false, colorState);
    const bool fixed = (state & tk::gdFixed) || (colorState & tk::gdFixed);

    // The graphic's room; in column 0 of a node row the node glyph's.
    TCellVAlign gva = vaTop;
    TCellHAlign gha = haLeft;
    bool textVisible = true;
    int gw = 0, gh = 0;
    TCellGraphic* graphic = GetCellGraphicLayout(real, row, gva, gha, textVisible, gh, gw);
    if (col == 0 && HasNodes() && IsNodeRow(RealRowIndex(row)))
        gw = 12 * GetNodeLevel(RealRowIndex(row)) + 4;

    if ((state & tk::gdSelected) && !(state & tk::gdFocused) && m_selectionColor == gfx::clNone)
        brush = gfx::clHighlight;
    font.SetFont(zoomed(font.Font(), FontZoom));

    // Row indicator of the current row.
    int indicatorShift = 0;
    if (col == 0 && row == Row() && TBaseGrid::FixedCols() > 0 && !m_rowIndicator.isNull()) {
        DrawBitmapTransparent(p, m_rowIndicator, GridFixedColor(), QRect(rect.topLeft(), m_rowIndicator.size()));
        indicatorShift = m_rowIndicator.width();
        rect.setLeft(rect.left() + indicatorShift);
    }
    const TColor savedBrush = brush;
    const TColor savedFontColor = font.Color();

    // Fixed-cell look.
    if (fixed && !m_flat) {
        const bool activeHeader = m_activeCellShow
                                  && ((col == 0 && row == Row() && TBaseGrid::FixedCols() > 0)
                                      || (row == 0 && real == Col() && TBaseGrid::FixedRows() > 0));
        if (m_look == glZarn || m_look == glXP) {
            // A cell with a colour of its own keeps it.
            const TCellProperties* props = CellPropertiesOrNull(real, row);
            if (!(props && props->BrushColor() != gfx::clNone)) {
                if (activeHeader)
                    DrawGradientFill(p, tk::ResolveColor(m_activeCellColor, palette()),
                                     m_activeCellColorTo == gfx::clNone ? gfx::clNone
                                                                        : tk::ResolveColor(m_activeCellColorTo, palette()),
                                     10, rect, false);
                else
                    DrawGradientFill(p, tk::ResolveColor(FixedGradientColor, palette()),
                                     tk::ResolveColor(FixedGradientColorTo, palette()), 10, rect, false);
            }
        } else if (m_look == glListView) {
            if (m_themedDrawing) {
                const bool hot = m_hotCell == QPoint(col, row);
                tk::DrawThemedHeader(p, rect.adjusted(-1, -1, 1, 1),
                                     !hot ? tk::tsNormal : m_leftButtonDown ? tk::tsPressed : tk::tsHot, this);
                p.setPen(Qt::white);
                p.drawLine(rect.left(), rect.top(), rect.right(), rect.top());
            } else {
                p.fillRect(rect, qcolor(gfx::clBtnFace, this));
                p.setPen(Qt::white);
                p.drawRect(rect.adjusted(0, 0, -1, -1));
            }
        }
    }

    // Modified mark of the row.
    if (col == 0 && m_showModified->Enabled && RowModified(row))
        p.fillRect(QRect(rect.right() - 3, rect.top(), 4, rect.height()), qcolor(m_showModified->Color(), this));

    // Drop-down button of a combo cell.
    if (!fixed && m_controlLook->DropDownAlwaysVisible() && HasComboBox(real, row)) {
        DrawDropDownGlyph(p, this, rect, m_themedDrawing && m_commonControls6);
        rect.setRight(rect.right() - 16);
    }

    int textWidth = 0;
    drawCellText(p, col, row, state, rect, hAlign, vAlign, wordWrap, savedBrush, savedFontColor, font, brush,
                 textWidth, gha, gva, gw, gh, textVisible);

    // Borders and edges on the whole cell again.
    rect = cellRect.adjusted(-1, -1, 1, 1);
    rect.setLeft(rect.left());
    drawCellBorders(p, col, row, rect);
    if (fixed && !m_flat) {
        const QRect r = cellRect;
        if (m_look == glClassic) {
            tk::DrawEdge(p, r, tk::BDR_RAISEDINNER, tk::BF_TOPLEFT, palette());
            tk::DrawEdge(p, r, tk::BDR_RAISEDINNER, tk::BF_BOTTOMRIGHT, palette());
        } else if (m_look == glZarn || m_look == glXP || m_look == glSoft) {
            // Grown by one pixel, less one at the bottom.
            const QRect e = r.adjusted(-1, -1, 1, 0);
            const QColor dark = qcolor(HalveColor(tk::ResolveColor(GridFixedColor(), palette())), this);
            const int o = GridOptions();
            const bool horz = m_look != glSoft || (o & tk::goFixedHorzLine);
            if (horz) {
                p.setPen(dark);
                p.drawLine(e.left(), e.bottom(), e.right(), e.bottom());
                p.setPen(Qt::white);
                p.drawLine(e.left(), e.top(), e.right(), e.top());
                p.drawLine(e.left(), e.top(), e.left(), e.bottom());
            }
            if (m_look == glSoft && (o & tk::goFixedVertLine)) {
                p.setPen(dark);
                p.drawLine(e.right() - 1, e.top(), e.right() - 1, e.bottom());
                p.setPen(Qt::white);
                p.drawLine(e.right(), e.top(), e.right(), e.bottom());
            }
        }
    }

    // A fixed cell drawn as a button looks pressed while the left button holds it.
    if (fixed && m_pressedFixed && m_pressedButtonCell == QPoint(col, row)) {
        tk::DrawEdge(p, cellRect, tk::BDR_SUNKENINNER, tk::BF_BOTTOMRIGHT, palette());
        tk::DrawEdge(p, cellRect, tk::BDR_SUNKENINNER, tk::BF_TOPLEFT, palette());
    }

    // Right fixed columns of the flat looks get a frame line outside the cell.
    if (real >= ColCount() - m_fixedRightCols && m_look != glClassic && m_flat) {
        p.setPen(QColor(0x80, 0x80, 0x80));
        p.drawRect(cellRect.adjusted(-1, -1, 0, 0));
    }

    // Tree lines of node rows, then the graphic.
    QRect graphicRect = cellRect;
    if (col == 0 && HasNodes() && row >= TBaseGrid::FixedRows() && m_cellNode->ShowTree())
        drawTreeLines(p, row, graphicRect);
    if (graphic) {
        p.setFont(font.Font());
        p.setPen(tk::ToQColor(font.Color(), palette()));
    }
    if (graphic)
        DrawCellGraphic(p, graphic->CellType == ctNode ? cellRect : graphicRect, real, row, graphic, vAlign, hAlign, textVisible ? textWidth : 0,
                        cellShownSelected(col, row, state) && !(state & tk::gdFocused), brush);

    // OnDrawCell and OnCustomCellDraw draw over what the grid drew.
    if (OnDrawCell) {
        const QRect r(cellRect.left() + 1, cellRect.top() + 1, cellRect.width() - GridLineWidth() - 1,
                      cellRect.height() - GridLineWidth() - 1);
        OnDrawCell(this, real, row, r, state);
    }
    if (OnCustomCellDraw)
        OnCustomCellDraw(this, p, real, row, state, cellRect, false);

    // Focus rectangle of the current cell.
    const QPoint base = BaseCell(col, row);
    if (!HideFocusRect && base.x() == Col() && base.y() == Row() && hasFocus() && !(GridOptions() & tk::goRowSelect)
        && !fixed) {
        const int g = GridLineWidth() - 1;
        QRect r = cellRect.adjusted(-g, -g, g, g);
        r.setRight(r.right() - 1);
        r.setBottom(r.bottom() - 1);
        tk::DrawFocusRect(p, r, this);
    }
}

void TZedEzeravIvur::drawCellText(QPainter& p, int col, int row, tk::TGridDrawState state, QRect rect,
                                  TAlignment hAlign, TVAlignment vAlign, bool wordWrap, TColor savedBrush,
                                  TColor savedFontColor, tk::TFont& font, TColor& brush, int& textWidth,
                                  TCellHAlign gha, TCellVAlign gva, int gw, int gh, bool textVisible)
{
    const int real = RealColIndex(col);
    const bool fixed = state & tk::gdFixed;
    TColor urlColor = m_urlColor;
    const bool selected = cellShownSelected(col, row, state);
    if (selected && (!(state & tk::gdFocused) || (GridOptions() & tk::goDrawFocusSelected)) && !fixed) {
        if (m_showSelection) {
            if (m_selectionColor != gfx::clNone)
                brush = m_selectionColor;
            if (m_selectionTextColor != gfx::clNone)
                font.SetColor(m_selectionTextColor);
            urlColor = m_selectionTextColor;
        } else if (!hasFocus()) {
            brush = savedBrush;
            font.SetColor(savedFontColor);
        }
    }

    // The text to show.
    // The display text, a number through the float format that OnGetFloatFormat gives.
    QString text;
    GetFormattedText(real, row, text);
    int kind = CellTextKind(text, EnableHTML);
    if (kind == 3) {
        GetCellTextForCopy(real, row, text);
        kind = CellTextKind(text, EnableHTML);
    }
    bool password = false;
    GetPasswordCell(real, row, password);
    if (password)
        text = QString(text.size(), m_passwordChar);
    else
        ViewHighlight(col, row, text, kind);

    // Disjunct modes: an unmarked cell shows its own colours.
    if (!fixed && (m_mouseActions->DisjunctRowSelect() || m_mouseActions->DisjunctColSelect())
        && !IsCellSelected(col, row)) {
        brush = Color();
        font.SetColor(gfx::clWindowText);
        urlColor = m_urlColor;
        GetCellColor(real, row, state, brush, font);
    }

    drawCellBackground(p, col, row, rect, fixed, selected);

    // Selection rectangle around the selection, with the resizer at its corner.
    const tk::TGridRect sel = Selection();
    if (m_selectionRectangle && !fixed && col >= sel.Left && col <= sel.Right && row >= sel.Top && row <= sel.Bottom) {
        p.setPen(QPen(Qt::black, 2));
        const int g = GridLineWidth();
        if (col == sel.Left)
            p.drawLine(rect.left() - g + 1, rect.top(), rect.left() - g + 1, rect.bottom());
        if (col == sel.Right)
            p.drawLine(rect.right() - 1, rect.top(), rect.right() - 1, rect.bottom());
        if (row == sel.Top)
            p.drawLine(rect.left(), rect.top() - g + 1, col == sel.Right ? rect.right() - 1 : rect.right(), rect.top() - g + 1);
        if (row == sel.Bottom)
            p.drawLine(rect.left(), rect.bottom(), col == sel.Right ? rect.right() - 1 : rect.right(), rect.bottom());
        if (m_selectionResizer && col == sel.Right && row == sel.Bottom)
            p.fillRect(QRect(rect.right() - 4, rect.bottom() - 4, 5, 5), Qt::black);
        p.setPen(QPen(Qt::black, 1));
    }

    if (!textVisible)
        return;
    const QRect outer = rect;
    rect.adjust(m_cellMarginX, m_cellMarginY, -m_cellMarginX, 0);
    int textOffset = 0;
    if (gha == haBeforeText) {
        rect.setLeft(rect.left() + gw);
        if (hAlign == taLeftJustify)
            textOffset = gw;
    } else if (gha == haAfterText) {
        rect.setRight(rect.right() - gw);
    } else if (gha == haLeft) {
        textOffset = gw;
    }
    if (gva == vaAboveText)
        rect.setTop(rect.top() + gh);
    else if (gva == vaUnderText)
        rect.setBottom(rect.bottom() - gh);
    if (col == 0 && HasNodes() && !IsNodeRow(RealRowIndex(row)))
        rect.setLeft(rect.left() + RowIndent(row));
    const bool sortMark = ShowsSortIndicator(real, row);
    const QPalette& pal = palette();
    p.setFont(font.Font());
    p.setPen(tk::ToQColor(font.Color(), pal));

    if (kind == 1) {
        if (row == 0 && FilterButtonColumn(real))
            rect.setRight(rect.right() - 18);
        rect.setLeft(rect.left() - 1);
        if (sortMark)
            rect.setRight(rect.right() - 10);
        minihtml::TMiniHTMLInput in;
        in.Text = text;
        in.Rect = rect;
        in.Images = dynamic_cast<const tk::TImageList*>(m_gridImages.data());
        in.URLColor = urlColor;
        in.ShadowColor = 0x808080;
        in.PictureCache = &m_pictureCache;
        in.PictureContainer = qobject_cast<const pictures::TPictureContainer*>(m_pictureContainer.data());
        in.BlinkOn = BlinkPhase;
        // A held-down BUTTON shows pressed while the pointer that pressed it is over it.
        in.MouseDown = m_controlFocused && m_controlEditCell == QPoint(col, row);
        if (in.MouseDown) {
            in.X = m_pressPoint.x();
            in.Y = m_pressPoint.y();
        }
        in.Selected = selected;
        in.WordWrap = wordWrap;
        in.Window = this;
        in.Font = font.Font();
        in.FontColor = font.Color();
        in.Palette = &pal;
        minihtml::TMiniHTMLResult out;
        minihtml::DrawMiniHTML(&p, in, out);
        textWidth = out.ExtentX + 2;
        if (sortMark) {
            const int y = vAlign == vtaCenter ? outer.center().y() : vAlign == vtaBottom ? outer.bottom() - 8 : outer.top() + 8;
            DrawSortIndicator(p, real, y, rect.right() + 2);
        }
        return;
    }
    if (kind == 2) {
        if (!(selected && !(state & tk::gdFocused) && m_selectionColor == gfx::clNone))
            p.fillRect(outer, tk::ToQColor(brush, pal));
        DrawRichTextCell(real, row, outer, p);
        return;
    }
    if (kind == 5) {
        text = QString::fromStdU16String(UnpackWideCell(text));
        if (sortMark) {
            rect.setRight(rect.right() - 10);
            const int y = vAlign == vtaCenter ? outer.center().y() : vAlign == vtaBottom ? outer.bottom() - 8 : outer.top() + 8;
            DrawSortIndicator(p, real, y, rect.right() + 3);
        }
        if (!(selected && !(state & tk::gdFocused) && m_selectionColor == gfx::clNone) && !fixed)
            p.fillRect(outer, tk::ToQColor(brush, pal));
        const int flags = int(qtAlign(hAlign, vAlign))
                          | ((wordWrap || Multilinecells) ? int(Qt::TextWordWrap) : int(Qt::TextSingleLine));
        QString shown = qtLines(text);
        if (!(wordWrap || Multilinecells))
            shown = p.fontMetrics().elidedText(shown.section(QLatin1Char('\n'), 0, 0), Qt::ElideRight, rect.width());
        p.drawText(rect, flags, shown);
        return;
    }

    // Plain text and formulas.
    if (hAlign == taCenter && row == m_sortSettings->Row() && real == m_sortSettings->Column && m_sortSettings->Show())
        rect.setLeft(rect.left() + 10);
    const int sortSpace = row == 0 && real == m_sortSettings->Column && m_sortSettings->Show() ? 14 : 0;
    QFont f = font.Font();
    if (m_urlShow && IsURLText(text)) {
        if (!m_urlFull)
            StripURLScheme(text);
        f.setUnderline(true);
        p.setFont(f);
        p.setPen(tk::ToQColor(urlColor, pal));
    }
    const bool multiLine = text.contains(QLatin1Char('\r')) || text.contains(QLatin1Char('\n'));
    int flags = int(qtAlign(hAlign, vAlign)) | Qt::TextExpandTabs;
    bool ellipsis = false;
    if ((!multiLine || !Multilinecells) && !wordWrap) {
        text = text.section(QLatin1Char('\r'), 0, 0).section(QLatin1Char('\n'), 0, 0);
        flags |= Qt::TextSingleLine;
        ellipsis = EnhTextSize;
    } else if (wordWrap) {
        flags |= Qt::TextWordWrap;
        ellipsis = !Multilinecells && EnhTextSize;
    }
    if (hAlign == taLeftJustify)
        rect.setRight(rect.right() - sortSpace);
    else
        rect.setLeft(rect.left() + sortSpace);
    if (row == 0 && FilterButtonColumn(real))
        rect.setRight(rect.right() - 16);
    QString shown = qtLines(text);
    const QFontMetrics fm(p.font());
    if (ellipsis && (flags & Qt::TextSingleLine))
        shown = fm.elidedText(shown, Qt::ElideRight, rect.width());
    // One layout both draws the text and measures it.
    QRect measured;
    p.drawText(rect, flags, shown, &measured);
    textWidth = measured.width() + 2;
    // Error marking: a red wave under the graphic's error range.
    if (const TCellGraphic* g = GetCellGraphic(real, row); g && g->CellErrLen > 0)
        DrawErrorWave(this, p, shown, rect, 0, g->CellErrFrom, g->CellErrLen);

    if (sortMark) {
        QRect r = outer.adjusted(m_cellMarginX, m_cellMarginY, -m_cellMarginX, 0);
        if (row == 0 && FilterButtonColumn(real))
            r.setRight(r.right() - 16);
        const int w = std::max(0, std::min(r.width() - 16, measured.width()));
        const int x = hAlign == taLeftJustify ? r.left() + w + textOffset + 10 : hAlign == taRightJustify ? r.right() - w - 10 : r.left() + 8;
        const int y = vAlign == vtaCenter ? outer.center().y() : vAlign == vtaBottom ? outer.bottom() - 8 : outer.top() + 8;
        DrawSortIndicator(p, real, y, x);
    }
}

// ------------------------------------------------------------------ sort mark

bool TZedEzeravIvur::ShowsSortIndicator(int col, int row)
{
    const TSortSettings* s = m_sortSettings.get();
    if (!s->Show() || row != s->Row() || RowCount() <= 2 || TBaseGrid::FixedRows() <= 0)
        return false;
    if (col < TBaseGrid::FixedCols() && !s->FixedCols)
        return false;
    const int listed = m_sortIndexes.FindSortColumn(col);
    if (col != s->Column && listed < 0)
        return false;
    if (!s->IndexShow && m_sortIndexes.Count() > 0 && listed > 0)
        return false;
    return true;
}

void TZedEzeravIvur::DrawSortIndicator(QPainter& p, int col, int y, int x)
{
    const TSortSettings* s = m_sortSettings.get();
    p.save();
    p.setRenderHint(QPainter::Antialiasing, false);
    const int listed = m_sortIndexes.FindSortColumn(col);
    if (s->IndexShow) {
        if (listed < 0) {
            p.restore();
            return;
        }
        const bool descending = m_sortIndexes.Items(listed) & 0x80000000;
        p.setBrush(qcolor(s->IndexColor, this));
        p.setPen(Qt::black);
        QFont f = p.font();
        f.setPointSize(6);
        f.setBold(false);
        p.setFont(f);
        const QImage& glyph = descending ? s->IndexDownGlyph : s->IndexUpGlyph;
        if (s->IndexUpGlyph.isNull() || s->IndexDownGlyph.isNull()) {
            const QPoint down[3] = {QPoint(x - 7, y - 5), QPoint(x + 7, y - 5), QPoint(x, y + 8)};
            const QPoint up[3] = {QPoint(x - 6, y + 8), QPoint(x + 6, y + 8), QPoint(x, y - 4)};
            const QPoint* tri = descending ? down : up;
            p.drawPolygon(tri, 3);
        } else {
            DrawBitmapTransparent(p, glyph, GridFixedColor(), QRect(QPoint(x - 7, y - 7), glyph.size()));
        }
        const QFontMetrics fm(f);
        p.drawText(QPoint(x - 2, (descending ? y - 4 : y - 2) + fm.ascent()), QString::number(listed + 1));
        p.restore();
        return;
    }
    const bool descending = s->Direction == sdDescending;
    if (s->UpGlyph.isNull() || s->DownGlyph.isNull()) {
        const QColor grey(0x80, 0x80, 0x80);
        if (descending) {
            p.setPen(Qt::white);
            p.drawLine(x + 4, y - 4, x, y + 4);
            p.setPen(grey);
            p.drawLine(x, y + 4, x - 4, y - 4);
            p.drawLine(x - 4, y - 4, x + 4, y - 4);
        } else {
            p.setPen(Qt::white);
            p.drawLine(x - 4, y + 4, x + 4, y + 4);
            p.drawLine(x + 4, y + 4, x, y - 4);
            p.setPen(grey);
            p.drawLine(x, y - 4, x - 4, y + 4);
        }
    } else {
        const QImage& glyph = descending ? s->DownGlyph : s->UpGlyph;
        DrawBitmapTransparent(p, glyph, GridFixedColor(), QRect(QPoint(x - 4, y - 4), glyph.size()));
    }
    p.restore();
}

// ------------------------------------------------------------------ borders

void TZedEzeravIvur::drawCellBorders(QPainter& p, int col, int row, const QRect& rect)
{
    const int real = RealColIndex(col);
    QPen pen(Qt::black, 1);
    TCellBorders borders = 0;
    GetCellBorder(real, row, pen, borders);
    if (borders == 0 && !OnGetCellBorderProp)
        return;
    QPen left = pen, top = pen, right = pen, bottom = pen;
    if (OnGetCellBorderProp)
        OnGetCellBorderProp(this, row, real, left, top, right, bottom);
    QRect r = rect;
    const int inset = (pen.width() + 1) / 2;
    if (GridOptions() & tk::goVertLine)
        r.adjust(inset, 0, -inset, 0);
    if (GridOptions() & tk::goHorzLine)
        r.adjust(0, inset, 0, -inset);
    p.save();
    if (borders & (1 << cbLeft)) {
        p.setPen(left);
        p.drawLine(r.left(), r.top(), r.left(), r.bottom());
    }
    if (borders & (1 << cbRight)) {
        p.setPen(right);
        p.drawLine(r.right() - 1, r.top(), r.right() - 1, r.bottom());
    }
    if (borders & (1 << cbTop)) {
        p.setPen(top);
        const int y = GridLineWidth() == 0 ? r.top() + 1 : r.top() - GridLineWidth() + 1;
        p.drawLine(r.left(), y, r.right(), y);
    }
    if (borders & (1 << cbBottom)) {
        p.setPen(bottom);
        p.drawLine(r.left(), r.bottom() - 1, r.right(), r.bottom() - 1);
    }
    p.restore();
}

// ------------------------------------------------------------------ tree lines

void TZedEzeravIvur::drawTreeLines(QPainter& p, int row, QRect& rect)
{
    const TCellNode* cn = m_cellNode.get();
    const int realRow = RealRowIndex(row);
    const int level = std::max(0, CellPropertiesOrNull(0, row) ? CellPropertiesOrNull(0, row)->NodeLevel : 0);
    const int x = rect.left() + level * cn->NodeIndent();
    p.save();
    p.setPen(QPen(tk::ToQColor(cn->TreeColor(), palette()), 1));
    const int mid = rect.top() + rect.height() / 2;
    if (level > 0) {
        p.drawLine(x - 4, mid, cn->ShowTreeFull() ? rect.right() : x + 4, mid);
        const int kind = NodeLineKind(realRow);
        if (kind == 1)
            p.drawLine(x - 4, rect.top(), x - 4, mid);
        else if (kind == 2)
            p.drawLine(x - 4, rect.top(), x - 4, rect.bottom() + 4);
    }
    if (CellPropertiesOrNull(0, row))
        for (int k = 1; k <= level; ++k)
            p.drawLine(x - cn->NodeIndent() * k - 4, rect.top(), x - cn->NodeIndent() * k - 4, rect.bottom() + 4);
    p.restore();
    rect.setLeft(x);
}

// ------------------------------------------------------------------ sizing lines

void TZedEzeravIvur::DrawColumnSizingLine(int x)
{
    m_colSizingLine = m_colSizingLine == x ? -1 : x;
    viewport()->update();
}

void TZedEzeravIvur::DrawRowSizingLine(int y)
{
    m_rowSizingLine = m_rowSizingLine == y ? -1 : y;
    viewport()->update();
}

// ------------------------------------------------------------------ measuring

void TZedEzeravIvur::MeasureCellText(int col, int row, QSize& size, bool wrap)
{
    const int real = RealColIndex(col);
    tk::TFont f;
    bool wordWrap = wrap;
    TAlignment hAlign = taLeftJustify;
    TVAlignment vAlign = vtaTop;
    TColor colorTo = gfx::clNone;
    TColor brush = Color();
    tk::TGridDrawState state = 0;
    GetCellColors(col, row, wordWrap, hAlign, vAlign, f, colorTo, brush, true, true, false, state);
    const QFont font = zoomed(f.Font(), FontZoom);
    const QFontMetrics fm(font);
    QString text = DisplayText(real, row);
    int kind = CellTextKind(text, EnableHTML);
    if (kind == 3) {
        GetCellTextForCopy(real, row, text);
        kind = CellTextKind(text, EnableHTML);
    }
    const int mx = m_cellMarginX, my = m_cellMarginY;
    if (kind == 1) {
        minihtml::TMiniHTMLInput in;
        in.Text = text;
        const QRect cell = CellRect(col, row);
        in.Rect = QRect(QPoint(mx, my), QPoint(wrap ? std::max(mx, cell.width() - mx) : 65535, 65535));
        in.MeasureOnly = true;
        in.WordWrap = wrap;
        in.Font = font;
        in.Images = dynamic_cast<const tk::TImageList*>(m_gridImages.data());
        in.PictureCache = &m_pictureCache;
        in.PictureContainer = qobject_cast<const pictures::TPictureContainer*>(m_pictureContainer.data());
        minihtml::TMiniHTMLResult out;
        minihtml::DrawMiniHTML(nullptr, in, out);
        size = QSize(out.ExtentX + 2 * mx + 2, out.ExtentY + 2 * my + 2);
    } else if (kind == 2) {
        VOdoZozaRere* edit = RichRender();
        LoadRichTextToEdit(real, row, edit);
        QTextDocument* doc = edit->document();
        doc->setDefaultFont(font);
        doc->setDocumentMargin(0);
        if (wrap || WordWrap()) {
            edit->setLineWrapMode(QTextEdit::FixedPixelWidth);
            edit->setLineWrapColumnOrWidth(std::max(1, ColWidths(col) - 2 * mx));
            doc->setTextWidth(std::max(1, ColWidths(col) - 2 * mx));
        } else {
            edit->setLineWrapMode(QTextEdit::NoWrap);
            doc->setTextWidth(-1);
        }
        edit->UpdateRequestedSize();
        size = QSize(edit->ReqWidth() + 2 * mx, edit->ReqHeight() + 2 * my);
    } else if (kind == 5) {
        const QString wide = qtLines(QString::fromStdU16String(UnpackWideCell(text)));
        const int flags = (wordWrap || Multilinecells) ? Qt::TextWordWrap : Qt::TextSingleLine;
        const QRect r = fm.boundingRect(QRect(0, 0, std::max(1, ColWidths(col) - 2 * mx), 65535), flags, wide);
        size = QSize(r.right() + 1 + 2 * mx - r.left(), r.height() + 2 * my);
    } else if (wrap) {
        // The text wraps inside the cell less its margins and two pixels on each side.
        const int width = std::max(1, ColWidths(col) - 2 * (mx + 2));
        const QRect r = fm.boundingRect(QRect(0, 0, width, 65535), Qt::TextWordWrap | Qt::TextExpandTabs, qtLines(text));
        size = QSize(r.width() + 2 * mx, r.height() + 2 * my);
    } else {
        QStringList lines = qtLines(text).split(QLatin1Char('\n'));
        if (!Multilinecells)
            lines = QStringList{lines.first()};
        int widest = 0;
        for (QString line : lines) {
            if (m_urlShow && !m_urlFull && IsURLText(line))
                StripURLScheme(line);
            widest = std::max(widest, fm.horizontalAdvance(line) + 2 * mx);
        }
        size = QSize(widest, fm.height() * int(lines.size()) + 2 * my);
    }
    // A turned cell takes the room of its rotated box.
    int angle = 0;
    if (GetRotation(real, row, angle)) {
        const double a = angle * M_PI / 180.0;
        const int w = size.width(), h = size.height();
        const int A = std::abs(int(std::lround(h * std::sin(a))));
        const int B = std::abs(int(std::lround(w * std::cos(a))));
        const int C = std::abs(int(std::lround(h * std::cos(a))));
        const int D = std::abs(int(std::lround(w * std::sin(a))));
        size = QSize(std::abs(A - B) + 12, std::abs(C - D) + 12);
    }
}

} // namespace grid
