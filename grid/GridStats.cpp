// Sizing columns and rows to their contents, column statistics, rotated text placement, line
// counts and the cell and row colour operations.
#include "grid/GridUtils.h"
#include "grid/ZodUvuz.h"

#include <QFontMetrics>
#include <QWidget>
#include <charconv>
#include <cmath>

namespace grid {

// ------------------------------------------------------------------ automatic sizing

namespace {
// How far ahead of the measured row the walk asks for texts: far enough to hide a memory
// round trip behind the measuring of the rows in between.
constexpr int kPrefetchAhead = 16;

// A column walk over many rows waits mostly on memory: the row's text list and then the text
// itself are scattered over the heap. The list entry is asked for two strides ahead, the
// text's characters one stride ahead (by then its entry has arrived). Nothing is read that the
// measuring would not read anyway, and nothing is changed.
void prefetchCellText(const tk::TStringGrid& g, int col, int row, int rows)
{
    if (row + 2 * kPrefetchAhead < rows)
        __builtin_prefetch(&g.Cells(col, row + 2 * kPrefetchAhead));
    if (row + kPrefetchAhead < rows) {
        const QString& ahead = g.Cells(col, row + kPrefetchAhead);
        if (!ahead.isEmpty()) {
            __builtin_prefetch(const_cast<QString&>(ahead).data_ptr().d_ptr());   // the header
            __builtin_prefetch(ahead.constData());
        }
    }
}
} // namespace

void TZedEzeravIvur::AutoSizeColumn(int col, bool onlyGrow)
{
    if (col < 0 || col >= ColCount())
        return;
    int widest = 0;
    const int real = RealColIndex(col);
    for (int r = 0; r < RowCount(); ++r) {
        prefetchCellText(*this, real, r, RowCount());
        if (!IsBaseCell(col, r))
            continue;
        QSize graphic(0, 0);
        CellGraphicSize(col, r, graphic);
        const TCellGraphic* g = GetCellGraphic(col, r);
        int need;
        if (g && g->CellVAlign == vaFull) {
            need = graphic.width() - 2 * GridLineWidth() - CellMarginX() - 2;
        } else {
            QSize text(0, 0);
            MeasureCellText(col, r, text, false);
            need = graphic.width() + text.width() - 2 * CellMarginX();
        }
        widest = std::max(widest, need);
    }
    int width = widest + 2 * GridLineWidth() + CellMarginX() + 2;
    if (onlyGrow && ColWidths(col) >= width)
        return;
    UpdateAutoColumnSize(col, width);
    SetColWidths(col, ClampToLimits(width, MinColWidth, MaxColWidth));
}

void TZedEzeravIvur::AutoSizeCol(int col) { AutoSizeColumn(col, AutoSizeOnlyGrow); }

void TZedEzeravIvur::AutoSizeColumns(bool includeFixed, int extra)
{
    for (int c = includeFixed ? 0 : FixedCols(); c < ColCount(); ++c) {
        AutoSizeCol(c);
        if (extra != 0)
            SetColWidths(c, ClampToLimits(ColWidths(c) + extra, MinColWidth, MaxColWidth));
    }
}

void TZedEzeravIvur::AutoSizeRowEx(int row, bool onlyGrow)
{
    if (row < 0 || row >= RowCount())
        return;
    int tallest = 0;
    for (int c = 0; c < ColCount(); ++c) {
        int need = 0;
        if (IsBaseCell(c, row)) {
            const TCellGraphic* g = GetCellGraphic(c, row);
            QSize graphic(0, 0);
            CellGraphicSize(c, row, graphic);
            if (g && g->CellVAlign == vaFull) {
                need = graphic.height() - 2 * GridLineWidth() - CellMarginY() - 2;
            } else if (g && (g->CellType == ctCheckBox || g->CellType == ctDataCheckBox)) {
                need = DefaultRowHeight();
            } else {
                QSize text(0, 0);
                MeasureCellText(c, row, text, WordWrap());
                need = graphic.height() + text.height() - 2 * CellMarginY();
            }
        }
        tallest = std::max(tallest, need);
    }
    const int height = tallest + 2 * GridLineWidth() + CellMarginY();
    if (onlyGrow && RowHeights(row) >= height)
        return;
    SetRowHeights(row, ClampToLimits(height, minRowHeight(), MaxRowHeight));
}

void TZedEzeravIvur::AutoSizeRow(int row) { AutoSizeRowEx(row, AutoSizeOnlyGrow); }

void TZedEzeravIvur::SetRowLines(int row, int lines, int extra)
{
    const int h = QFontMetrics(font()).boundingRect(QStringLiteral("gh")).height();
    SetRowHeights(row, ClampToLimits(extra + lines * (h + h / 8), minRowHeight(), MaxRowHeight));
}

// ------------------------------------------------------------------ column statistics

namespace {
// A cell's value: its number without decoration; an empty text or "-" counts as 0.
bool cellValue(const QString& text, double& value)
{
    // A plain number (digits, one leading minus, the decimal separator) reads directly.
    if (!text.isEmpty() && text.size() < 40) {
        const QChar decimal = CurrentGridLocale().decimalSeparator;
        char buf[40];
        int n = 0;
        bool plain = true;
        for (QChar ch : text) {
            const char16_t u = ch.unicode();
            if (u >= '0' && u <= '9')
                buf[n++] = char(u);
            else if (ch == decimal)
                buf[n++] = '.';
            else if (u == '-' && n == 0)
                buf[n++] = '-';
            else {
                plain = false;
                break;
            }
        }
        if (plain) {
            const auto r = std::from_chars(buf, buf + n, value);
            if (r.ec == std::errc() && r.ptr == buf + n)
                return true;
        }
    }
    QString clean = CleanNumberText(text);
    if (clean.isEmpty() || clean == QLatin1String("-")) {
        // Only an empty cell or a lone minus counts as 0: a text with no number does not read.
        const QString t = text.trimmed();
        if (!t.isEmpty() && t != QLatin1String("-"))
            return false;
        clean = QStringLiteral("0");
    }
    bool ok = false;
    value = clean.toDouble(&ok);
    return ok;
}
} // namespace

QString TZedEzeravIvur::statText(int col, int row, bool real)
{
    if (!real)
        return DisplayText(col, row);
    if (IsHiddenRow(row)) {
        const auto it = std::lower_bound(m_hiddenRows.begin(), m_hiddenRows.end(), row,
                                         [](const TGridItem& item, int r) { return item.Idx < r; });
        return col < it->Row.texts.size() ? it->Row.texts[col] : QString();
    }
    return DisplayText(col, DisplRowIndex(row));
}

bool TZedEzeravIvur::statRowCounts(int col, int row, bool real)
{
    if (real)
        return true;
    if (m_groupColumn >= 0 || HasNodes())
        if (IsNodeRow(RealRowIndex(row)) || IsSummaryRow(RealRowIndex(row)))
            return false;
    return IsBaseCell(col, row);
}

long double TZedEzeravIvur::columnStat(int col, int fromRow, int toRow, int kind, int realRows)
{
    // kind: 0 sum, 1 average, 2 minimum, 3 maximum.
    const bool real = realRows < 0 ? toRow > RowCount() - 1 : realRows == 1;
    CopyProgress(0, -1);
    long double sum = 0;
    int counted = 0;
    long double extreme = 0;
    if (kind >= 2) {
        double first = 0;
        if (!cellValue(statText(col, fromRow, real), first))
            throw EZodUvuzError(QStringLiteral("Cell does not contain a float value"));
        extreme = first;
    }
    for (int r = fromRow; r <= toRow; ++r) {
        if (!statRowCounts(col, r, real))
            continue;
        CopyProgress(1, r);
        ++counted;
        double v = 0;
        if (!cellValue(statText(col, r, real), v))
            continue;
        sum += v;
        if (kind == 2 && v < extreme)
            extreme = v;
        if (kind == 3 && v > extreme)
            extreme = v;
    }
    CopyProgress(2, -1);
    switch (kind) {
    case 0:
        return sum;
    case 1:
        return counted > 0 ? sum / counted : 0;
    default:
        return extreme;
    }
}

long double TZedEzeravIvur::ColumnSum(int col, int fromRow, int toRow) { return columnStat(col, fromRow, toRow, 0); }
long double TZedEzeravIvur::ColumnAvg(int col, int fromRow, int toRow) { return columnStat(col, fromRow, toRow, 1); }
long double TZedEzeravIvur::ColumnMin(int col, int fromRow, int toRow) { return columnStat(col, fromRow, toRow, 2); }
long double TZedEzeravIvur::ColumnMax(int col, int fromRow, int toRow) { return columnStat(col, fromRow, toRow, 3); }

// ------------------------------------------------------------------ text placement and lines

void TZedEzeravIvur::RotatedTextStart(QRect& rect, int angle, TVAlignment vAlign, TAlignment hAlign,
                                      const QString& text, const QFont& textFont)
{
    const QFontMetrics fm(textFont);
    const int w = fm.horizontalAdvance(text);
    const int h = fm.height();
    const int l = rect.left() + 2;
    const int t = rect.top() + 2;
    const int r = rect.left() + rect.width() - 2;   // the rectangle's right and bottom edges
    const int b = rect.top() + rect.height() - 2;
    const double a = angle * M_PI / 180.0;
    const int cx = std::abs(int(std::trunc(std::cos(a) * w)));
    const int sx = std::abs(int(std::trunc(std::sin(a) * w)));
    const int ch = std::abs(int(std::trunc(std::cos(a) * h)));
    const int sh = std::abs(int(std::trunc(std::sin(a) * h)));
    auto half = [](int v) { return v / 2; };
    int x, y;
    const int middle = half(sx + ch - (b - t));
    if (angle <= 90) {
        x = hAlign == taLeftJustify ? l : hAlign == taRightJustify ? r - cx - sh : l + half(r - l - sh - cx);
        y = vAlign == vtaTop ? t + sx : vAlign == vtaBottom ? b - ch : t + sx - middle;
    } else if (angle <= 180) {
        x = hAlign == taLeftJustify ? l + cx : hAlign == taRightJustify ? r - sh : r - half(sh + r - l - cx);
        y = vAlign == vtaTop ? t + ch + sx : vAlign == vtaBottom ? b : t + ch + sx - middle;
    } else if (angle <= 270) {
        x = hAlign == taLeftJustify ? l + sh + cx : hAlign == taRightJustify ? r : r - half(r - l - sh - cx);
        y = vAlign == vtaTop ? t + ch : vAlign == vtaBottom ? b - sx : t + ch - middle;
    } else {
        x = hAlign == taLeftJustify ? l + sh : hAlign == taRightJustify ? r - cx : l + half(sh + r - l - cx);
        y = vAlign == vtaTop ? t : vAlign == vtaBottom ? b - ch - sx : t - middle;
    }
    rect.moveTopLeft(QPoint(x, y));
}

int TZedEzeravIvur::MaxLinesInRow(int row)
{
    if (!Multilinecells)
        return 1;
    int most = 1;
    for (int c = 0; c < ColCount(); ++c)
        most = std::max(most, int(Cells(c, row).count(QLatin1Char('\r'))) + 1);
    return most;
}

// ------------------------------------------------------------------ cell and row colours

QWidget* TZedEzeravIvur::CellControls(int col, int row) const
{
    const TCellProperties* p = CellPropertiesOrNull(col, row);
    return p ? p->Control.data() : nullptr;
}

TColor TZedEzeravIvur::CellColor(int col, int row) const
{
    const TCellProperties* p = CellPropertiesOrNull(col, row);
    return p ? p->BrushColor() : gfx::clNone;
}

void TZedEzeravIvur::SetCellColor(int col, int row, TColor color)
{
    GetCellProperties(col, row)->SetBrushColor(color);
    RepaintCell(col, row);
}

void TZedEzeravIvur::SetCellColorTo(int col, int row, TColor color)
{
    GetCellProperties(col, row)->SetBrushColorTo(color);
    RepaintCell(col, row);
}

void TZedEzeravIvur::SetFontColors(int col, int row, TColor color)
{
    GetCellProperties(col, row)->FontColor = color;
    RepaintCell(col, row);
}

bool TZedEzeravIvur::ReadOnly(int col, int row) const
{
    const TCellProperties* p = CellPropertiesOrNull(col, row);
    return p && p->ReadOnly;
}

void TZedEzeravIvur::rowColour(int row, TColor color, int which)
{
    for (int c = FixedCols(); c < AllColCount(); ++c) {
        if (color == gfx::clNone) {
            // The colours, fonts and alignment go; merges, read-only marks, node levels,
            // graphics and controls stay.
            TCellProperties* p = CellPropertiesOrNull(c, row);
            if (!p)
                continue;
            p->SetBrushColor(gfx::clNone);
            p->SetBrushColorTo(gfx::clNone);
            p->FontColor = gfx::clNone;
            p->FontName.clear();
            p->FontSize = 0;
            p->FontStyle = 0;
            p->Alignment = taLeftJustify;
            p->SetVAlignment(vtaTop);
            continue;
        }
        TCellProperties* p = GetCellProperties(c, row);
        if (which == 0)
            p->SetBrushColor(color);
        else if (which == 1)
            p->SetBrushColorTo(color);
        else
            p->FontColor = color;
    }
    RepaintRow(row);
}

void TZedEzeravIvur::SetRowColor(int row, TColor color) { rowColour(row, color, 0); }
void TZedEzeravIvur::SetRowColorTo(int row, TColor color) { rowColour(row, color, 1); }
void TZedEzeravIvur::SetRowFontColor(int row, TColor color) { rowColour(row, color, 2); }

void TZedEzeravIvur::ResetColumnOrder()
{
    std::vector<int>& order = ColumnOrder().Values();
    order.resize(size_t(ColCount()));
    for (int c = 0; c < ColCount(); ++c)
        order[size_t(c)] = c;
}

} // namespace grid
