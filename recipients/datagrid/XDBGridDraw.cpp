// Painting of the data grid: the indicator column, the filler, titles with header bands, images and
// markers, and data cells with their colours, images, check boxes and multi-line text.
#include "recipients/datagrid/XDBGrid.h"

#include <QAbstractButton>
#include <QMessageBox>
#include <QPainter>
#include <QPointer>
#include <QTimer>
#include <QRegularExpression>
#include <QStyle>
#include <algorithm>
#include <climits>

namespace xdb {

namespace {

template <class F>
struct ScopeExit {
    F f;
    ~ScopeExit() { f(); }
};
template <class F>
ScopeExit(F) -> ScopeExit<F>;

const QString kEllipsis = QStringLiteral("...");

} // namespace

// ================================================================== text

std::vector<TTextLine> LayoutCellText(const QFontMetrics& fm, const QRect& rect, int dx, TVAlignment vAlign,
                                      bool wordWrap, bool ellipsis, TAlignment align, const QString& text, int dy)
{
    const int lineHeight = std::max(1, fm.height());
    int fit = (rect.height() - 2 * dy + 1) / lineHeight;
    const bool noneFits = fit <= 0;
    if (noneFits)
        fit = 1;
    const int avail = align == taLeftJustify ? rect.width() - dx : align == taRightJustify ? rect.width() - dx - 1
                                                                                             : rect.width();
    // Every shown character is at least a pixel wide, so no more than this many characters of a
    // line can be seen: longer lines are cut before they are measured, and a value of megabytes
    // costs no more to lay out than a short one.
    const qsizetype cap = qsizetype(std::max(avail, 0)) + 64;
    const auto fits = [&](const QString& s) { return s.size() <= cap && fm.horizontalAdvance(s) <= avail; };
    static const QRegularExpression kBreaks(QStringLiteral("\r\n|\r|\n"));
    const QStringList hard = text.split(kBreaks);
    std::vector<QString> lines;
    // Lines past the last that fits are dropped below, so they need no wrapping.
    int breaksLeft = ellipsis ? fit - 1 : fit;
    for (const QString& h : hard) {
        if (int(lines.size()) >= fit)
            break;
        if (!wordWrap) {
            lines.push_back(h);
            continue;
        }
        QString rest = h;
        while (breaksLeft > 0 && !fits(rest)) {
            // The last blank before the text stops fitting; a first word wider than the cell
            // breaks at its end.
            int cut = -1;
            int firstBlank = -1;
            for (int i = 0; i < rest.size(); ++i) {
                if (rest[i] != QLatin1Char(' '))
                    continue;
                if (firstBlank < 0)
                    firstBlank = i;
                if (i <= cap && fm.horizontalAdvance(rest.left(i)) <= avail)
                    cut = i;
                else
                    break;
            }
            if (cut <= 0)
                cut = firstBlank;
            if (cut < 0)
                break;
            lines.push_back(rest.left(cut));
            rest = rest.mid(cut + 1);
            --breaksLeft;
        }
        lines.push_back(rest);
    }
    if (int(lines.size()) > fit)
        lines.resize(size_t(fit));
    const int n = int(lines.size());
    int offset = 0;
    if (!noneFits) {
        const int freeHeight = std::max(0, rect.height() - 2 * dy - n * lineHeight);
        if (vAlign == tvBottomJustify)
            offset = freeHeight;
        else if (vAlign == tvCenter)
            offset = freeHeight / 2;
    }
    std::vector<TTextLine> out;
    out.reserve(size_t(n));
    for (int i = 0; i < n; ++i) {
        QString s = lines[size_t(i)];
        if (ellipsis && !fits(s)) {
            // The longest start that fits with the ellipsis (at least one character).
            s.truncate(cap);
            qsizetype lo = 1;
            qsizetype hi = std::max<qsizetype>(1, s.size());
            while (lo < hi) {
                const qsizetype mid = (lo + hi + 1) / 2;
                if (fm.horizontalAdvance(s.left(mid) + kEllipsis) <= avail)
                    lo = mid;
                else
                    hi = mid - 1;
            }
            s = s.left(lo) + kEllipsis;
        } else if (s.size() > cap) {
            s.truncate(cap);  // the rest lies beyond the cell and is clipped anyway
        }
        const int w = fm.horizontalAdvance(s);
        TTextLine line;
        line.text = s;
        if (align == taLeftJustify)
            line.x = rect.left() + dx;
        else if (align == taRightJustify)
            line.x = rect.left() + rect.width() - 1 - dx - w;
        else
            line.x = rect.left() + (rect.width() - w) / 2;
        line.y = (noneFits ? rect.top() : rect.top() + dy) + offset + i * lineHeight;
        out.push_back(line);
    }
    return out;
}

void WriteCellText(QPainter& painter, const QRect& rect, int dx, TVAlignment vAlign, bool wordWrap, bool ellipsis,
                   bool rightToLeft, TAlignment align, const QString& text, int dy, const QColor& brush)
{
    if (brush.isValid())
        painter.fillRect(rect, brush);
    if (rightToLeft) {
        // Right-to-left reading is kept as a setting only; mirror the alignment.
        if (align == taLeftJustify)
            align = taRightJustify;
        else if (align == taRightJustify)
            align = taLeftJustify;
    }
    const QFontMetrics fm(painter.font());
    const auto lines = LayoutCellText(fm, rect, dx, vAlign, wordWrap, ellipsis, align, text, dy);
    painter.save();
    painter.setClipRect(rect, Qt::IntersectClip);
    for (const TTextLine& l : lines)
        painter.drawText(QPoint(l.x, l.y + fm.ascent()), l.text);
    painter.restore();
}

// ================================================================== colours

TColor TXCustomDBGrid::AdjustGray(TColor c) const
{
    const TColor rgb = tk::ResolveColor(c, palette());
    return rgb == gfx::clSilver ? gfx::RGBColor(0xE8, 0xE8, 0xE8) : rgb;
}

TColor TXCustomDBGrid::RowColorValue() const
{
    const TColor c = m_selectRowColor == gfx::clDefault ? tk::clGradientInactiveCaption : m_selectRowColor;
    return AdjustGray(c);
}

TColor TXCustomDBGrid::StripeColorValue() const
{
    TColor c = m_stripeColor;
    if (c == gfx::clDefault)
        c = tk::SameColor(gfx::clBtnHighlight, gfx::clWindow, palette()) ? gfx::cl3DLight : gfx::clBtnHighlight;
    return AdjustGray(c);
}

int TXCustomDBGrid::CalcImageIndex(TXColumn* column, int index)
{
    if (OnCalcImageIndex)
        OnCalcImageIndex(this, column, index);
    return index;
}

int TXCustomDBGrid::CellImageIndex(TXColumn* column)
{
    try {
        return CalcImageIndex(column, column ? column->ImageIndex() : -1);
    } catch (...) {
        // An event handler that fails draws no image.
        return -1;
    }
}

bool TXCustomDBGrid::HighlightCell(int dataCol, int dataRow, tk::TGridDrawState state, const QString& text)
{
    (void)dataCol;
    (void)dataRow;
    (void)text;
    if ((m_options & (dgMultiSelect | dgInternalSelect)) && m_dataLink->Active() && !(state & tk::gdFixed) &&
        IsSelectedRecord())
        return true;
    if ((state & tk::gdSelected) && (hasFocus() || (m_options & dgAlwaysShowSelection)))
        return !InLayout() || (m_options & dgRowSelect);
    return false;
}

void TXCustomDBGrid::PaintColumnCell(const QRect& rect, int dataCol, TXColumn* column, bool highlight,
                                     TSelections selections, TColor& color, tk::TFont& font, const QImage*& image)
{
    if (OnPaintColumnCell)
        OnPaintColumnCell(this, rect, dataCol, column, highlight, selections, color, font, image);
}

void TXCustomDBGrid::DrawDataCell(const QRect& rect, db::TField* field, tk::TGridDrawState state)
{
    if (OnDrawDataCell)
        OnDrawDataCell(this, rect, field, state);
}

void TXCustomDBGrid::DrawColumnCell(const QRect& rect, int dataCol, TXColumn* column, tk::TGridDrawState state)
{
    if (OnDrawColumnCell)
        OnDrawColumnCell(this, rect, dataCol, column, state);
}

// ================================================================== cells

namespace {
// Grids whose paint failed to read and whose report is queued or shown.
QList<QPointer<QWidget>>& PaintErrorGrids()
{
    static QList<QPointer<QWidget>> grids;
    return grids;
}
} // namespace

static void ReportPaintReadError(QAbstractScrollArea* grid, const QString& message)
{
    QList<QPointer<QWidget>>& pending = PaintErrorGrids();
    pending.removeAll(QPointer<QWidget>());
    if (pending.contains(grid))
        return;
    pending.append(grid);
    QPointer<QAbstractScrollArea> guarded(grid);
    QTimer::singleShot(0, grid, [guarded, message] {
        if (!guarded)
            return;
        QMessageBox box(QMessageBox::Warning, guarded->window()->windowTitle(),
                        QStringLiteral("Die Datenbank ist zurzeit von einem anderen Programm belegt. Einige Einträge "
                                       "konnten nicht gelesen werden und werden leer angezeigt.\n\n(") +
                            message + QLatin1Char(')'),
                        QMessageBox::Retry | QMessageBox::Cancel, guarded);
        box.setObjectName(QStringLiteral("PaintReadError"));
        box.button(QMessageBox::Retry)->setText(QStringLiteral("Wiederholen"));
        box.button(QMessageBox::Cancel)->setText(QStringLiteral("Abbrechen"));
        const int answer = box.exec();
        if (!guarded)
            return;
        PaintErrorGrids().removeAll(QPointer<QWidget>(guarded.data()));
        if (answer == QMessageBox::Retry)
            guarded->viewport()->update();
    });
}

void TXCustomDBGrid::DrawCell(int col, int row, const QRect& cellRect, tk::TGridDrawState state)
{
    QPainter& p = *Canvas();
    const int dataCol = col - m_indicatorOffset;
    const int dataRow = row - m_titleOffset;
    const bool fixed = state & tk::gdFixed;
    const bool threeD = fixed && (m_options & dgColLines) && (m_options & dgRowLines);
    const bool themed = fixed && ThemedFixedCells();
    QRect rect = cellRect;
    if (dataCol < 0) {
        DrawIndicatorCell(dataRow, rect, state);
        return;
    }
    if (dataCol >= m_columns->Count())
        return;
    TXColumn* column = m_columns->Items(dataCol);
    if (!column->Showing())
        return;
    if (dataRow < 0) {
        DrawTitleCell(column, row, rect, state);
        return;
    }
    if (m_dataLink->Active()) {
        try {
            DrawDataColumnCell(dataCol, dataRow, column, rect, state);
        } catch (const db::EDatabaseError& e) {
            // A read that fails while painting (another program holds the database) shows the
            // cell empty; the failure is reported once, after the paint.
            p.fillRect(rect, Resolve(fixed ? m_fixedColor : column->Color()));
            ReportPaintReadError(this, e.message());
        }
    } else if (!themed) {
        p.fillRect(rect, Resolve(fixed ? m_fixedColor : column->Color()));
    }
    if (fixed && !themed && threeD)
        DrawFixedFrame(p, rect);
}

void TXCustomDBGrid::DrawFixedFrame(QPainter& p, const QRect& rect)
{
    int flags = tk::BF_RECT;
    if (m_fixedStyle >= fsNice)
        flags |= tk::BF_FLAT;
    if (m_fixedStyle == fsFlat || m_fixedStyle == fsMild)
        flags |= tk::BF_MONO;
    int edge = tk::BDR_RAISEDINNER;
    if (m_fixedStyle == fsSoft || m_fixedStyle == fsFine || m_fixedStyle == fsMild)
        edge |= tk::BDR_RAISEDOUTER;
    tk::DrawEdge(p, rect, edge, flags, palette());
}

void TXCustomDBGrid::DrawIndicatorCell(int dataRow, const QRect& rect, tk::TGridDrawState state)
{
    (void)state;
    QPainter& p = *Canvas();
    const bool threeD = (m_options & dgColLines) && (m_options & dgRowLines);
    const bool themed = ThemedFixedCells();
    tk::TImageList* images = m_indicatorImages ? m_indicatorImages : m_indicators.get();
    const QColor fill = Resolve(dataRow < 0 ? m_fillerColor : m_fixedColor);
    if (themed) {
        p.fillRect(rect, fill);
        tk::DrawThemedHeader(p, rect.adjusted(-1, -1, 1, 1), isEnabled() ? tk::tsNormal : tk::tsDisabled, this);
    } else {
        p.fillRect(rect, fill);
    }
    auto drawCentred = [&](tk::TImageList* list, int index) {
        if (!list || index < 0 || index >= list->Count())
            return;
        list->Draw(p, rect.left() + (rect.width() - list->Width()) / 2, rect.top() + (rect.height() - list->Height()) / 2,
                   index, isEnabled(), Resolve(m_fixedColor));
    };
    if (dataRow < 0) {
        if (m_fillerIndex >= 0 && m_titleImages && m_fillerIndex < m_titleImages->Count())
            drawCentred(m_titleImages, m_fillerIndex);
        else if (m_fillerIndex < -1 && -m_fillerIndex - 2 < images->Count())
            drawCentred(images, -m_fillerIndex - 2);
    } else if (m_dataLink->Active() && dataRow < m_dataLink->RecordCount()) {
        const int current = m_dataLink->ActiveRecord();
        m_dataLink->SetActiveRecord(dataRow);
        ScopeExit restore{[this, current] { m_dataLink->SetActiveRecord(current); }};
        db::TDataSet* ds = m_dataLink->DataSet();
        const bool selected = (m_options & (dgMultiSelect | dgInternalSelect)) && IsSelectedRecord();
        int index = -1;
        if (dataRow == current) {
            switch (ds->State()) {
            case db::dsEdit: index = 1; break;
            case db::dsInsert: index = 2; break;
            case db::dsBrowse: index = selected ? 4 : 0; break;
            default: index = 0; break;
            }
            m_indicatorRow = dataRow + m_titleOffset;
        } else if (selected) {
            index = 3;
        }
        if ((m_options & dgMultiSelect) && (m_options & dgExtendedSelect) && !m_selectionAnchor.isEmpty()) {
            // Extended mode: the current record is the anchor of a range.
            const int saved = m_dataLink->ActiveRecord();
            m_dataLink->SetActiveRecord(current);
            const bool atAnchor = ds->GetBookmark() == m_selectionAnchor;
            m_dataLink->SetActiveRecord(saved);
            if (atAnchor && dataRow != current) {
                if (index == -1)
                    index = 6;
                else if (index == 3)
                    index = 7;
            }
        }
        try {
            index = CalcImageIndex(nullptr, index);
        } catch (...) {
            index = -1;
        }
        if (!(m_options & dgIndicatorMarkOff))
            drawCentred(images, index);
    }
    if (threeD && !themed)
        DrawFixedFrame(p, rect);
}

QRect TXCustomDBGrid::ImageRect(const QRect& rect, TXColumn* column, const QSize& size) const
{
    const int w = size.width(), h = size.height();
    const int ox = column->ImageOffsetX(), oy = column->ImageOffsetY();
    TAlignment ha = taCenter;
    TVAlignment va = tvCenter;
    if (column->ImageDraw() == idAlignment) {
        ha = column->Alignment();
        va = column->VAlignment();
    } else if (column->ImageDraw() == idOpposite) {
        const TAlignment a = column->Alignment();
        const TVAlignment v = column->VAlignment();
        ha = a == taLeftJustify ? taRightJustify : a == taRightJustify ? taLeftJustify : taCenter;
        va = v == tvTopJustify ? tvBottomJustify : v == tvBottomJustify ? tvTopJustify : tvCenter;
    }
    int x, y;
    if (ha == taLeftJustify)
        x = rect.left() + ox;
    else if (ha == taRightJustify)
        x = rect.left() + rect.width() - w - ox;
    else
        x = rect.left() + (rect.width() - w) / 2 + ox;
    if (va == tvTopJustify)
        y = rect.top() + oy;
    else if (va == tvBottomJustify)
        y = rect.top() + rect.height() - h - oy;
    else
        y = rect.top() + (rect.height() - h) / 2 + oy;
    return QRect(x, y, w, h);
}

void TXCustomDBGrid::DrawCheckBoxFrame(QPainter& p, const QRect& box, TXColumn* column)
{
    if (tk::ThemesEnabled()) {
        const int state = int(column->CheckState());
        tk::DrawThemedCheckBox(p, box, state == cbChecked ? 1 : state == cbGrayed ? 2 : 0,
                               isEnabled() ? tk::tsNormal : tk::tsDisabled, this);
        return;
    }
    TCheckBoxStyle style = column->CheckBoxStyle();
    if (!isEnabled()) {
        style = cbMild;
    } else if (style == cbAuto) {
        static constexpr TCheckBoxStyle table[] = {cbDefault, cbSoft, cbLoweredDark, cbFlat, cbLoweredMild, cbMild};
        style = table[m_fixedStyle];
    } else if (style == cbAutoGray) {
        static constexpr TCheckBoxStyle table[] = {cbSoft, cbSoft, cbLoweredGray, cbGray, cbLoweredGray, cbGray};
        style = table[m_fixedStyle];
    }
    const QPalette& pal = palette();
    QRect r = box;
    switch (style) {
    case cbDefault:
        tk::DrawEdge(p, r, tk::BDR_SUNKENOUTER, tk::BF_RECT | tk::BF_ADJUST, pal);
        tk::DrawEdge(p, r, tk::BDR_SUNKENOUTER, tk::BF_TOPLEFT | tk::BF_FLAT, pal);
        tk::DrawEdge(p, r, tk::BDR_SUNKENINNER, tk::BF_BOTTOMRIGHT, pal);
        break;
    case cbSoft:
        tk::DrawEdge(p, r, tk::BDR_SUNKENOUTER, tk::BF_RECT | tk::BF_ADJUST, pal);
        tk::DrawEdge(p, r, tk::BDR_SUNKENINNER, tk::BF_RECT, pal);
        break;
    case cbLoweredDark:
        tk::DrawEdge(p, r, tk::BDR_SUNKENOUTER, tk::BF_TOPLEFT | tk::BF_FLAT, pal);
        tk::DrawEdge(p, r, tk::BDR_SUNKENINNER, tk::BF_BOTTOMRIGHT, pal);
        break;
    case cbLoweredGray:
        tk::DrawEdge(p, r, tk::BDR_SUNKENINNER, tk::BF_RECT, pal);
        break;
    case cbLoweredMild:
        tk::DrawEdge(p, r, tk::BDR_SUNKENOUTER, tk::BF_TOPLEFT, pal);
        tk::DrawEdge(p, r, tk::BDR_SUNKENINNER, tk::BF_BOTTOMRIGHT, pal);
        break;
    case cbFlat:
        tk::DrawEdge(p, r, tk::BDR_SUNKENOUTER, tk::BF_TOPLEFT | tk::BF_FLAT, pal);
        tk::DrawEdge(p, r, tk::BDR_RAISEDOUTER, tk::BF_BOTTOMRIGHT | tk::BF_FLAT, pal);
        break;
    case cbGray:
        tk::DrawEdge(p, r, tk::BDR_SUNKENINNER, tk::BF_TOPLEFT, pal);
        tk::DrawEdge(p, r, tk::BDR_RAISEDOUTER, tk::BF_BOTTOMRIGHT, pal);
        break;
    case cbMild:
    default:
        tk::DrawEdge(p, r, tk::BDR_SUNKENOUTER, tk::BF_TOPLEFT, pal);
        tk::DrawEdge(p, r, tk::BDR_RAISEDINNER, tk::BF_BOTTOMRIGHT, pal);
        break;
    }
}

void TXCustomDBGrid::DrawCellImage(QPainter& p, const QRect& rect, TXColumn* column, const QImage& source,
                                   bool fromImages)
{
    QImage image = source;
    if (fromImages && column->TransparentColor() != gfx::clNone)
        image = tk::MakeTransparent(image, Resolve(column->TransparentColor()));
    if (!isEnabled()) {
        tk::TImageList one(image.width(), image.height());
        one.Add(image);
        QImage blended(image.size(), QImage::Format_ARGB32);
        blended.fill(Qt::transparent);
        QPainter bp(&blended);
        one.Draw(bp, 0, 0, 0, false, Resolve(m_fixedColor));
        bp.end();
        image = blended;
    }
    const int w = image.width(), h = image.height();
    const int ox = column->ImageOffsetX(), oy = column->ImageOffsetY();
    p.save();
    p.setClipRect(rect, Qt::IntersectClip);
    switch (column->ImageDraw()) {
    case idAlignment:
    case idOpposite:
    case idCenter:
        p.drawImage(ImageRect(rect, column, image.size()).topLeft(), image);
        break;
    case idStretch:
        p.drawImage(rect.adjusted(ox, oy, -ox, -oy), image);
        break;
    case idScaled: {
        const QRect r = rect.adjusted(ox, oy, -ox, -oy);
        if (w > 0 && h > 0) {
            const double scale = std::min(double(r.width()) / w, double(r.height()) / h);
            const int sw = int(w * scale), sh = int(h * scale);
            p.drawImage(QRect(r.left() + (r.width() - sw) / 2, r.top() + (r.height() - sh) / 2, sw, sh), image);
        }
        break;
    }
    default: {
        // Tiles: from the cell, the grid origin, the column's left or the row's top.
        QPoint origin = rect.topLeft();
        if (column->ImageDraw() == idTileGrid)
            origin = QPoint(0, 0);
        else if (column->ImageDraw() == idTileCol)
            origin = QPoint(rect.left(), 0);
        else if (column->ImageDraw() == idTileRow)
            origin = QPoint(0, rect.top());
        if (w > 0 && h > 0) {
            const int sx = ((rect.left() - origin.x() - ox) % w + w) % w;
            const int sy = ((rect.top() - origin.y() - oy) % h + h) % h;
            p.drawTiledPixmap(rect, QPixmap::fromImage(image), QPoint(sx, sy));
        }
        break;
    }
    }
    p.restore();
}

void TXCustomDBGrid::DrawDataColumnCell(int dataCol, int dataRow, TXColumn* column, const QRect& rect,
                                        tk::TGridDrawState state)
{
    QPainter& p = *Canvas();
    const bool fixed = state & tk::gdFixed;
    const bool threeD = fixed && (m_options & dgColLines) && (m_options & dgRowLines);
    const int margin = threeD ? 1 : 2;
    if (dataRow >= m_dataLink->RecordCount()) {
        p.fillRect(rect, Resolve(fixed ? m_fixedColor : column->Color()));
        return;
    }
    const int current = m_dataLink->ActiveRecord();
    m_dataLink->SetActiveRecord(dataRow);
    // Every way out of the drawing puts the link's active record back.
    ScopeExit restore{[this, current] { m_dataLink->SetActiveRecord(current); }};

    db::TField* field = column->Field();
    QString text;
    if (field || column->AutoNumber()) {
        if (field && field->DataType() == db::ftMemo && column->ShowBlob())
            text = field->AsString();
        else if (field)
            text = field->DisplayText();
        text = ColGetText(column, text, tkDisplay);
    }
    const bool selectedRecord = (m_options & (dgMultiSelect | dgInternalSelect)) && !fixed && IsSelectedRecord();
    const bool highlight = HighlightCell(dataCol, dataRow, state, text);
    const bool focusCell = (state & tk::gdSelected) && (hasFocus() || (m_options & dgAlwaysShowSelection)) &&
                           (!InLayout() || (m_options & dgRowSelect));
    const bool currentRow = dataRow == current;
    const bool rowColor = m_selectRowColor != gfx::clNone;

    tk::TFont font = column->Font();
    TColor brush = fixed ? m_fixedColor : column->Color();
    if (highlight) {
        brush = gfx::clHighlight;
        font.SetColor(gfx::clHighlightText);
    } else if (!fixed) {
        if (currentRow && rowColor)
            brush = RowColorValue();
        else if (m_stripeColor != gfx::clNone)
            brush = (dataRow % 2) ? StripeColorValue() : AdjustGray(Color());
    }
    if (highlight && focusCell) {
        if (m_selectCellColor != gfx::clNone) {
            brush = m_selectCellColor == gfx::clDefault ? gfx::clHighlight : m_selectCellColor;
        } else if (!selectedRecord) {
            brush = currentRow && rowColor ? RowColorValue() : column->Color();
            font.SetColor(column->Font().Color());
        }
    } else if (highlight && selectedRecord && m_selectionColor != gfx::clNone) {
        // Selected records take the light selection colour with the column's text colour.
        brush = currentRow && rowColor ? RowColorValue()
                                       : (m_selectionColor == gfx::clDefault ? tk::clGradientActiveCaption
                                                                             : m_selectionColor);
        font.SetColor(column->Font().Color());
    }
    if (!isEnabled())
        font.SetColor(gfx::clGrayText);

    if (m_defaultDrawing) {
        TSelections selections = 0;
        if (focusCell)
            selections |= slCellSelected;
        if (currentRow)
            selections |= slRowSelected;
        if (selectedRecord)
            selections |= slMultiSelected;
        if (fixed)
            selections |= slCellFixed;
        if (m_stripeColor != gfx::clNone && (dataRow % 2))
            selections |= slRowStriped;
        const QImage* image = nullptr;
        bool fromImages = false;
        if (column->Images()) {
            const int index = CellImageIndex(column);
            if (index >= 0 && index < column->Images()->Count()) {
                image = &column->Images()->Image(index);
                fromImages = true;
            }
        }
        QImage glyph;
        const QImage* glyphImage = nullptr;
        if (!image && column->IsCheckBox()) {
            const int index = column->ImageIndex();
            if (tk::ThemesEnabled()) {
                // The style draws the box; the picture only reserves its place.
                glyph = QImage(13, 13, QImage::Format_ARGB32);
                glyph.fill(Qt::transparent);
            } else if (m_checkBoxes->Count() > 0) {
                glyph = tk::MakeTransparent(m_checkBoxes->Image(index % m_checkBoxes->Count()), Qt::white);
            }
            if (!glyph.isNull())
                image = glyphImage = &glyph;
        }
        PaintColumnCell(rect, dataCol, column, highlight, selections, brush, font, image);
        p.fillRect(rect, Resolve(brush));
        if (image)
            DrawCellImage(p, rect, column, *image, fromImages);
        if (image && image == glyphImage)
            DrawCheckBoxFrame(p, ImageRect(rect, column, image->size()), column);
        if (!image || column->Wallpaper()) {
            p.setFont(font.Font());
            p.setPen(Resolve(font.Color()));
            WriteCellText(p, rect, margin, column->VAlignment(), column->WordWrap(), column->Ellipsis(), false,
                          column->Alignment(), text, margin, QColor());
        }
    }
    if (m_columns->State() == csDefault)
        DrawDataCell(rect, field, state);
    DrawColumnCell(rect, dataCol, column, state);
    if (m_defaultDrawing && (state & tk::gdSelected) && hasFocus() && !(m_options & dgRowSelect) && !InLayout()) {
        switch (GetFocusRect()) {
        case frDefault:
            tk::DrawFocusRect(p, rect, this);
            break;
        case frGray:
            tk::DrawEdge(p, rect, tk::BDR_SUNKENINNER, tk::BF_TOPLEFT, palette());
            tk::DrawEdge(p, rect, tk::BDR_RAISEDOUTER, tk::BF_BOTTOMRIGHT, palette());
            break;
        case frMild:
            tk::DrawEdge(p, rect, tk::BDR_SUNKENOUTER, tk::BF_TOPLEFT, palette());
            tk::DrawEdge(p, rect, tk::BDR_RAISEDINNER, tk::BF_BOTTOMRIGHT, palette());
            break;
        default:
            break;
        }
    }
}

void TXCustomDBGrid::DrawTitleCell(TXColumn* column, int titleRow, const QRect& cellRect, tk::TGridDrawState state)
{
    (void)state;
    QPainter& p = *Canvas();
    // A title row above the column's own level belongs to an ancestor; one below it to the column's
    // own title reaching down. Both are drawn across their whole span afterwards (PaintTitleSpans).
    TXColumn* owner = column;
    for (int level = column->Level(); level > titleRow && owner->ParentColumn(); --level)
        owner = owner->ParentColumn();
    if (titleRow > column->Level()) {
        DrawTitleBackground(p, cellRect, owner->Title()->Color());
        return;
    }
    DrawTitle(p, owner->Title(), cellRect, 0);
}

void TXCustomDBGrid::DrawTitleBackground(QPainter& p, const QRect& rect, TColor color, tk::TThemeState state)
{
    const bool threeD = (m_options & dgColLines) && (m_options & dgRowLines);
    p.fillRect(rect, Resolve(color));
    if (ThemedFixedCells()) {
        tk::DrawThemedHeader(p, rect.adjusted(-1, -1, 1, 1), isEnabled() ? state : tk::tsDisabled, this);
    } else if (state == tk::tsPressed) {
        // Sunken: dark edges left and top, light ones right and bottom.
        p.setPen(Resolve(gfx::clBtnShadow));
        p.drawLine(rect.topLeft(), rect.topRight());
        p.drawLine(rect.topLeft(), rect.bottomLeft());
        p.setPen(Resolve(gfx::clBtnHighlight));
        p.drawLine(rect.bottomLeft(), rect.bottomRight());
        p.drawLine(rect.topRight(), rect.bottomRight());
    } else if (state == tk::tsHot) {
        // Unthemed hot buttons by HotButtons: lowered, raised, or a bump / tile highlight.
        const THotButtons hot = GetHotButtons();
        const bool lowered = hot == hbLowered;
        p.setPen(Resolve(lowered ? gfx::clBtnShadow : gfx::clBtnHighlight));
        p.drawLine(rect.topLeft(), rect.topRight());
        p.drawLine(rect.topLeft(), rect.bottomLeft());
        p.setPen(Resolve(lowered ? gfx::clBtnHighlight : gfx::cl3DDkShadow));
        p.drawLine(rect.bottomLeft(), rect.bottomRight());
        p.drawLine(rect.topRight(), rect.bottomRight());
        if (hot == hbBump || hot == hbTile)
            p.fillRect(rect.adjusted(1, 1, -1, hot == hbBump ? -rect.height() + 3 : -1),
                       QColor(255, 255, 255, hot == hbBump ? 160 : 60));
    } else if (threeD) {
        DrawFixedFrame(p, rect);
    }
}

void TXCustomDBGrid::DrawHeaderBand(QPainter& p, const QRect& bandRect, const QString& text)
{
    const bool threeD = (m_options & dgColLines) && (m_options & dgRowLines);
    const int margin = threeD ? 1 : 2;
    const int rowLine = (m_options & dgRowLines) ? GridLineWidth() : 0;
    const QRect textRect = bandRect.adjusted(0, 0, 0, -rowLine);
    p.fillRect(bandRect, Resolve(m_headerColor));
    if (ThemedFixedCells())
        tk::DrawThemedHeader(p, textRect.adjusted(-1, -1, 1, 1), tk::tsNormal, this);
    else if (threeD)
        DrawFixedFrame(p, textRect);
    p.setFont(m_headerFont.Font());
    p.setPen(Resolve(isEnabled() ? m_headerFont.Color() : gfx::clGrayText));
    WriteCellText(p, textRect, margin, tvCenter, true, true, false, taCenter, text, margin, QColor());
    if (rowLine > 0)
        p.fillRect(QRect(bandRect.left(), bandRect.bottom() - rowLine + 1, bandRect.width(), rowLine),
                   QColor(Qt::black));
}

void TXCustomDBGrid::DrawTitle(QPainter& p, TXColumnTitle* title, const QRect& titleRect, int firstBand)
{
    const bool themed = ThemedFixedCells();
    const bool threeD = (m_options & dgColLines) && (m_options & dgRowLines);
    const int margin = threeD ? 1 : 2;
    QRect rect = titleRect;
    if ((m_options & dgTitleHeaders) && m_headerHeight > 0) {
        for (int band = 0; band < title->HeaderCount(); ++band) {
            if (band >= firstBand)
                DrawHeaderBand(p, QRect(rect.left(), rect.top(), rect.width(), std::min(m_headerHeight, rect.height())),
                               title->HeaderText(band));
            rect.setTop(rect.top() + m_headerHeight);
        }
    }
    DrawTitleBackground(p, rect, title->Color(), TitleState(title->Column()));
    // Expand button: a parent's fold button or a drop-down button, a square at the right edge.
    TXColumn* column = title->Column();
    const TXColumnExpandStyle es = column->ExpandStyle();
    const bool button = (column->HasSubColumns() && es == cesAuto) || es == cesDropDown || es == cesDropDownMenu;
    const int arrow = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);
    if (button && rect.width() >= arrow) {
        const QRect b(rect.right() - arrow + 1, rect.top() + (rect.height() - arrow) / 2, arrow, arrow);
        const bool dropDown = !(column->HasSubColumns() && es == cesAuto);
        if (themed) {
            if (dropDown)
                tk::DrawThemedDropDown(p, b, isEnabled() ? tk::tsNormal : tk::tsDisabled, this);
            else
                tk::DrawThemedBranch(p, b, column->Expanded(), this);
        } else {
            tk::TImageList* images = m_indicatorImages ? m_indicatorImages : m_indicators.get();
            if (images->Count() > 11) {
                const int index = dropDown ? 9 : (column->Expanded() ? 10 : 11);
                images->Draw(p, b.left() + (b.width() - images->Width()) / 2, b.top() + (b.height() - images->Height()) / 2,
                             index, isEnabled(), Resolve(m_fixedColor));
            }
        }
        rect.setRight(b.left() - 1);
    }
    QRect textRect = rect.adjusted(m_gridStyle->TitleColMargin(), 0, -m_gridStyle->TitleColMargin(), 0);
    if (m_titleImages && title->ImageIndex() >= 0 && title->ImageIndex() < m_titleImages->Count()) {
        m_titleImages->Draw(p, textRect.left() + margin, textRect.top() + (textRect.height() - m_titleImages->Height()) / 2,
                            title->ImageIndex(), isEnabled(), Resolve(m_fixedColor));
        textRect.setLeft(textRect.left() + m_titleImages->Width() + 2);
    }
    const tk::TFont& font = title->Font();
    p.setFont(font.Font());
    tk::TImageList* markers = m_titleMarkers && m_titleMarkers->Count() > 0 ? m_titleMarkers : m_markers.get();
    const int markerIndex = title->MarkerIndex();
    if (markers && markerIndex >= 0 && markerIndex < markers->Count()) {
        int mx = textRect.right() - markers->Width() + 1;
        const int my = textRect.top() + (textRect.height() - markers->Height()) / 2 + (themed ? int(m_fixedTheme) - 2 : 0);
        const QFontMetrics fm(font.Font());
        const int textWidth = fm.horizontalAdvance(title->Caption());
        QRect captionRect = textRect.adjusted(0, 0, -(markers->Width() + 2), 0);
        if ((m_options & dgMarkerAutoAlign) && title->Alignment() != taRightJustify) {
            if (title->Alignment() == taLeftJustify) {
                mx = std::min(mx, textRect.left() + margin + textWidth + margin + 1);
            } else {
                const int total = textWidth + margin + markers->Width();
                const int start = textRect.left() + (textRect.width() - total) / 2;
                mx = std::min(mx, start + textWidth + margin);
                captionRect = QRect(start, textRect.top(), textWidth + 2 * margin, textRect.height());
            }
        }
        markers->Draw(p, mx, my, markerIndex, isEnabled(), Resolve(m_fixedColor));
        textRect = captionRect;
    }
    p.setPen(Resolve(isEnabled() ? font.Color() : gfx::clGrayText));
    WriteCellText(p, textRect, margin, title->VAlignment(), title->WordWrap(), title->Ellipsis(), false,
                  title->Alignment(), title->Caption(), margin, QColor());
}

void TXCustomDBGrid::Paint(QPainter& painter, const QRect& clip)
{
    tk::TCustomGrid::Paint(painter, clip);
    if ((m_options & dgTitles) && m_titleOffset > 0)
        PaintTitleSpans(painter);
}

void TXCustomDBGrid::PaintTitleSpans(QPainter& p)
{
    struct OnScreen {
        TXColumn* column;
        int col;
        bool fixed;
    };
    std::vector<OnScreen> on;
    const int fixedCols = tk::TCustomGrid::FixedCols();
    for (int col = m_indicatorOffset; col < ColCount(); ++col) {
        const int dc = GridColToDataCol(col);
        if (dc < 0 || dc >= m_columns->Count())
            continue;
        TXColumn* c = m_columns->Items(dc);
        if (c->Showing() && !CellRect(col, 0).isEmpty())
            on.push_back({c, col, col < fixedCols});
    }
    if (m_indicatorOffset > 0 && m_titleOffset > 1) {
        // The filler spans all title rows.
        p.save();
        const QRect filler = CellRect(0, 0).united(CellRect(0, m_titleOffset - 1));
        p.setClipRect(filler);
        DrawIndicatorCell(-1, filler, tk::gdFixed);
        p.restore();
    }
    if (on.empty())
        return;
    auto span = [&](size_t from, size_t to, int row1, int row2) {
        return CellRect(on[from].col, row1).united(CellRect(on[to].col, row2));
    };
    auto ancestorAt = [](TXColumn* c, int level) {
        for (int l = c->Level(); l > level && c; --l)
            c = c->ParentColumn();
        return c;
    };
    p.save();
    // Parents: one title across the sub-columns on the parent's row.
    for (int row = 0; row < m_titleOffset; ++row) {
        for (size_t i = 0; i < on.size();) {
            if (on[i].column->Level() <= row) {
                ++i;
                continue;
            }
            TXColumn* parent = ancestorAt(on[i].column, row);
            size_t j = i;
            while (j + 1 < on.size() && on[j + 1].fixed == on[i].fixed && on[j + 1].column->Level() > row &&
                   ancestorAt(on[j + 1].column, row) == parent)
                ++j;
            DrawTitle(p, parent->Title(), span(i, j, row, row), 0);
            i = j + 1;
        }
    }
    // Titles above deeper neighbours reach down to the data rows.
    for (size_t i = 0; i < on.size(); ++i) {
        const int level = on[i].column->Level();
        if (level < m_titleOffset - 1)
            DrawTitle(p, on[i].column->Title(), span(i, i, level, m_titleOffset - 1), 0);
    }
    // Header bands that neighbours share are drawn once across them.
    if ((m_options & dgTitleHeaders) && m_headerHeight > 0) {
        auto sameBands = [](TXColumnTitle* a, TXColumnTitle* b, int upTo) {
            if (a->HeaderCount() <= upTo || b->HeaderCount() <= upTo)
                return false;
            for (int k = 0; k <= upTo; ++k)
                if (a->HeaderText(k) != b->HeaderText(k))
                    return false;
            return true;
        };
        for (size_t i = 0; i < on.size(); ++i) {
            TXColumn* first = on[i].column;
            for (int band = 0; band < first->Title()->HeaderCount(); ++band) {
                size_t j = i;
                while (j + 1 < on.size() && on[j + 1].fixed == on[i].fixed &&
                       on[j + 1].column->Level() == first->Level() &&
                       on[j + 1].column->ParentColumn() == first->ParentColumn() &&
                       sameBands(first->Title(), on[j + 1].column->Title(), band))
                    ++j;
                // Only the first column of a run draws it; a run's later columns skip it.
                const bool startsRun = i == 0 || on[i - 1].fixed != on[i].fixed ||
                                       on[i - 1].column->Level() != first->Level() ||
                                       on[i - 1].column->ParentColumn() != first->ParentColumn() ||
                                       !sameBands(on[i - 1].column->Title(), first->Title(), band);
                if (j > i && startsRun) {
                    const QRect r = span(i, j, first->Level(), first->Level());
                    DrawHeaderBand(p, QRect(r.left(), r.top() + band * m_headerHeight, r.width(), m_headerHeight),
                                   first->Title()->HeaderText(band));
                }
            }
        }
    }
    p.restore();
}

} // namespace xdb
