// The string grid's floating footer: its options, the footer-row calculations and the painting
// and hints of its panel.
#include "grid/ZodUvuzFooter.h"

#include "grid/GridUtils.h"
#include "grid/ZodUvuz.h"
#include "grid/footer/FooterPanel.h"
#include "grid/minihtml/MiniHTML.h"

#include <QPainter>
#include <charconv>
#include <cmath>
#include <limits>

namespace grid {

TFloatingFooter::TFloatingFooter(TZedEzeravIvur* grid) : QObject(grid), m_grid(grid) {}

void TFloatingFooter::SetVisible(bool value)
{
    m_visible = value;
    m_grid->ApplyFooterSettings();
}

void TFloatingFooter::SetFooterStyle(TFooterStyle value)
{
    m_style = value;
    m_grid->ApplyFooterSettings();
}

void TFloatingFooter::SetColor(gfx::TColor value)
{
    m_color = value;
    m_grid->FooterPanel()->update();
}

void TFloatingFooter::SetColumn(int value)
{
    m_column = value;
    m_grid->FooterPanel()->update();
}

void TFloatingFooter::SetCustomTemplate(const QString& value)
{
    m_template = value;
    m_grid->FooterPanel()->update();
}

void TFloatingFooter::SetShowHint(bool value)
{
    m_showHint = value;
    m_grid->FooterPanel()->ShowHints = value;
}

void TFloatingFooter::Assign(const TFloatingFooter* source)
{
    if (!source)
        return;
    CalculateHiddenRows = source->CalculateHiddenRows;
    m_color = source->m_color;
    m_column = source->m_column;
    m_template = source->m_template;
    m_style = source->m_style;
    SetVisible(source->m_visible);
    SetShowHint(source->m_showHint);
}

int TFloatingFooter::Calc(int col) const
{
    const auto it = m_calcs.find(col);
    return it == m_calcs.end() ? -1 : it->second;
}

void TFloatingFooter::SetCalc(int col, int kind)
{
    if (col >= 0)
        m_calcs[col] = quint8(kind);
}

void TFloatingFooter::ColumnsInserted(int col, int count)
{
    std::map<int, quint8> moved;
    for (const auto& [c, kind] : m_calcs)
        moved[c >= col ? c + count : c] = kind;
    m_calcs = std::move(moved);
}

void TFloatingFooter::ColumnsRemoved(int col, int count)
{
    std::map<int, quint8> moved;
    for (const auto& [c, kind] : m_calcs)
        if (c < col)
            moved[c] = kind;
        else if (c >= col + count)
            moved[c - count] = kind;
    m_calcs = std::move(moved);
}

// ------------------------------------------------------------------ the grid's side

TFloatingFooter* TZedEzeravIvur::FloatingFooter()
{
    if (!m_floatingFooter) {
        m_footerPanel = new TFooterPanel(this, this);
        m_floatingFooter = new TFloatingFooter(this);
    }
    return m_floatingFooter;
}

TFooterPanel* TZedEzeravIvur::FooterPanel()
{
    FloatingFooter();
    return m_footerPanel;
}

void TZedEzeravIvur::ApplyFooterSettings()
{
    TFloatingFooter* f = FloatingFooter();
    const bool lastRow = f->Visible() && f->FooterStyle() == fsFixedLastRow;
    m_footerPanel->SetPanelHeight(f->Visible() ? DefaultRowHeight() - 1 : 0);
    m_footerPanel->ShowHints = f->ShowHint();
    SetFixedFooters(lastRow ? 1 : 0);
    SetLastRowIsFooter(lastRow);
    InvalidateGrid();
    m_footerPanel->update();
}

void TZedEzeravIvur::SetFooterCalc(int col, int kind)
{
    FloatingFooter()->SetCalc(col, kind);
}

namespace {

// A number in the grid's notation (thousand separators allowed); false for any other text.
bool readNumber(QStringView text, double& value)
{
    const GridLocale& loc = CurrentGridLocale();
    text = text.trimmed();
    if (text.isEmpty() || text.size() > 60)
        return false;
    char buf[64];
    int n = 0;
    for (QChar ch : text) {
        if (ch == loc.thousandSeparator)
            continue;
        char c;
        if (ch == loc.decimalSeparator)
            c = '.';
        else if (ch.unicode() < 128)
            c = char(ch.unicode());
        else
            return false;
        buf[n++] = c;
    }
    const char* first = buf;
    if (n > 0 && buf[0] == '+')
        ++first;
    const auto r = std::from_chars(first, buf + n, value);
    return r.ec == std::errc() && r.ptr == buf + n && std::isfinite(value);
}

QString formatFloat(const QString& format, double value)
{
    QString s = FormatNumber(format, value);
    const QChar decimal = CurrentGridLocale().decimalSeparator;
    if (decimal != QLatin1Char('.'))
        s.replace(QLatin1Char('.'), decimal);
    return s;
}

} // namespace

void TZedEzeravIvur::UpdateFooter(int col)
{
    if (!m_floatingFooter || !m_floatingFooter->Visible() || m_floatingFooter->FooterStyle() != fsFixedLastRow
        || !m_floatingFooter->Calculate || RowCount() < 1)
        return;
    const int last = RowCount() - 1;
    const int hidden = m_floatingFooter->CalculateHiddenRows ? NumHiddenRows() : 0;
    const int from = col < 0 ? 0 : col;
    const int to = col < 0 ? ColCount() - 1 : std::min(col, ColCount() - 1);
    for (int c = from; c <= to; ++c) {
        const int calc = m_floatingFooter->Calc(c);
        if (calc < 0)
            continue;
        const int kind = calc & 0x7F;
        QString value;
        try {
            switch (kind) {
            case 0: break;
            case 1: case 2: case 4: case 5: {
                double sum = 0, low = std::numeric_limits<double>::infinity(), high = -low;
                int numbers = 0;
                auto take = [&](QStringView text) {
                    double v = 0;
                    if (!readNumber(text, v))
                        return;   // a text that is no number is skipped
                    sum += v;
                    low = std::min(low, v);
                    high = std::max(high, v);
                    ++numbers;
                };
                for (int r = FixedRows(); r < last; ++r)
                    take(Cells(c, r));   // a reference into the grid: no copy
                if (hidden > 0)
                    for (const TGridItem& item : HiddenRows())
                        take(item.Row.texts.value(c));
                double result = 0;
                if (kind == 1)
                    result = sum;
                else if (kind == 2)
                    result = numbers ? sum / numbers : 0;
                else if (numbers)
                    result = kind == 4 ? low : high;
                value = formatFloat(FloatFormat(), result);
                break;
            }
            case 3: value = formatFloat(FloatFormat(), RowCount() - FixedRows() - 1 + hidden); break;
            case 7:
                if (m_floatingFooter->OnCalcFooter)
                    m_floatingFooter->OnCalcFooter(m_floatingFooter, c, last + hidden, value);
                break;
            default: continue;   // other kinds leave the cell alone
            }
        } catch (const std::exception&) {
            value.clear();   // a failing calculation leaves its footer cell empty
        }
        SetCells(c, last, value);
    }
    if (m_footerPanel)
        m_footerPanel->update();
}

// The columns the panel paints, left to right, with their x positions: the fixed columns, then
// the grid's left column onwards.
std::vector<std::pair<int, int>> TZedEzeravIvur::footerLayout() const
{
    std::vector<std::pair<int, int>> out;
    int x = 0;
    auto add = [&](int c) {
        out.emplace_back(c, x);
        x += ColWidths(c) + GridLineWidth();
    };
    for (int c = 0; c < std::min(FixedCols(), ColCount()); ++c)
        add(c);
    for (int c = std::max(LeftCol(), FixedCols()); c < ColCount(); ++c)
        add(c);
    return out;
}

void TZedEzeravIvur::PaintFooter(QPainter& painter, const QRect& rect)
{
    if (!m_floatingFooter)
        return;
    const TFloatingFooter& f = *m_floatingFooter;
    const auto layout = footerLayout();
    int width = 0;
    if (!layout.empty())
        width = layout.back().second + ColWidths(layout.back().first);
    width = std::min(width, rect.width());
    painter.fillRect(rect, gfx::ToQColor(Color()));
    const QRect strip(rect.left(), rect.top(), width, rect.height());
    painter.fillRect(strip, gfx::ToQColor(f.Color()));
    const int last = RowCount() - 1;
    auto raisedFrame = [&] {
        painter.setPen(Qt::white);
        painter.drawLine(strip.topLeft(), strip.topRight());
        painter.drawLine(strip.topLeft(), strip.bottomLeft());
        painter.setPen(Qt::gray);
        painter.drawLine(strip.bottomLeft(), strip.bottomRight());
        painter.drawLine(strip.topRight(), strip.bottomRight());
    };
    switch (f.FooterStyle()) {
    case fsFixedLastRow:
        for (const auto& [c, x] : layout) {
            const QRect cell(x, rect.top(), ColWidths(c), rect.height());
            if (x >= rect.width())
                break;
            const TCellProperties* props = CellPropertiesOrNull(c, last);
            if (c >= FixedCols() && props && props->BrushColor() != gfx::clNone)
                painter.fillRect(cell, gfx::ToQColor(props->BrushColor()));
            if (!IsMergedCell(c, last) || IsBaseCell(c, last)) {
                painter.save();
                painter.setClipRect(cell);
                if (OnFooterPaint && c >= FixedCols())
                    OnFooterPaint(m_footerPanel, c, painter, cell);
                else
                    DrawCellContent(painter, c, 0, cell, last);
                painter.restore();
            }
            painter.setPen(Qt::gray);
            painter.drawLine(cell.right() + 1, cell.top(), cell.right() + 1, cell.bottom());
        }
        break;
    case fsColumnPreview: {
        raisedFrame();
        const QRect cell = strip.adjusted(1, 1, -1, -1);
        painter.save();
        painter.setClipRect(cell);
        if (OnFooterPaint)
            OnFooterPaint(m_footerPanel, f.Column(), painter, cell);
        else if (f.Column() >= 0 && f.Column() < ColCount())
            DrawCellContent(painter, f.Column(), 0, cell, Row());
        painter.restore();
        break;
    }
    case fsCustomPreview: {
        raisedFrame();
        const int row = Row();
        const QString html = ExpandFooterTemplate(f.CustomTemplate(), [&](int c) {
            return c >= 0 && c < ColCount() && row >= 0 && row < RowCount() ? Cells(c, row) : QString();
        });
        minihtml::TMiniHTMLInput in;
        in.Text = html;
        in.Rect = strip.adjusted(2, 2, -2, 0);
        in.Font = font();
        in.PictureCache = &PictureCache();
        in.PictureContainer = qobject_cast<const pictures::TPictureContainer*>(PictureContainer());
        in.Window = this;
        minihtml::TMiniHTMLResult out;
        minihtml::DrawMiniHTML(&painter, in, out);
        break;
    }
    }
}

void TZedEzeravIvur::SetFooterMargin(int height)
{
    (void)height;   // the panel's own height, read back by the layout
    LayoutBottomPanels();
}

void TZedEzeravIvur::LayoutBottomPanels()
{
    const int footer = m_footerPanel ? m_footerPanel->PanelHeight() : 0;
    const int search = m_searchBar ? m_searchBar->BarHeight() : 0;
    QMargins m = viewportMargins();
    if (m.bottom() != footer + search) {
        m.setBottom(footer + search);
        setViewportMargins(m);
    }
    const QRect vp = viewport()->geometry();
    if (m_footerPanel && footer > 0)
        m_footerPanel->setGeometry(vp.x(), vp.bottom() + 1, vp.width(), footer);
    if (QWidget* bar = m_searchBar ? m_searchBar->BarWidget() : nullptr) {
        const QRect cr = contentsRect();
        bar->setGeometry(cr.left(), vp.bottom() + 1 + footer, cr.width(), search);
        if (search > 0)
            bar->raise();
    }
}

int TZedEzeravIvur::FooterColumnAt(int x)
{
    for (const auto& [c, left] : footerLayout())
        if (x >= left && x < left + ColWidths(c))
            return c;
    return -1;
}

QString TZedEzeravIvur::FooterHint(int col)
{
    QString hint;
    if (col >= 0)
        GridHint(col, RowCount() - 1, hint);
    return hint;
}

} // namespace grid
