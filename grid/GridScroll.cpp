// Scroll bars and sizing: always-visible and flat bars, thumb hints, proportional thumbs, the
// stretch column, whole-row heights, sizing all columns or rows together, and scrolling while
// something is dragged near the edges.
#include "grid/GridHints.h"
#include "grid/GridUtils.h"
#include "grid/ZodUvuz.h"

#include <QCursor>
#include <QDragMoveEvent>
#include <QScrollBar>
#include <QStyle>
#include <QTimer>
#include <cmath>
#include <cstdlib>

namespace grid {

qint64 MulDiv(qint64 number, qint64 numerator, qint64 denominator)
{
    if (denominator == 0)
        return -1;
    const qint64 product = number * numerator;
    qint64 q = product / denominator;
    const qint64 r = product % denominator;
    // Half away from zero.
    if (2 * std::llabs(r) >= std::llabs(denominator))
        q += ((product < 0) != (denominator < 0)) ? -1 : 1;
    return q;
}

TProportionalScroll ProportionalScrollInfo(int clientExtent, int fixedExtent, int totalExtent, int aboveExtent,
                                           int currentPos, bool keepPosWhenFits)
{
    TProportionalScroll s;
    const float d = float(clientExtent - fixedExtent) / float(totalExtent);
    if (d >= 0.9999f) {
        s.fits = true;
        return s;
    }
    s.nMax = int(std::trunc((d + 127.0f) / (1.0f - d)));
    s.nPage = s.nMax - 126;
    if (clientExtent < totalExtent)
        s.nPos = int(std::trunc(double(aboveExtent) / double(totalExtent - clientExtent) * 128.0));
    else
        s.nPos = keepPosWhenFits ? currentPos : 127;
    return s;
}

// ------------------------------------------------------------------ always-visible bars

bool TZedEzeravIvur::allRowsFit() const { return VisibleRowCount() + FixedRows() >= RowCount(); }

bool TZedEzeravIvur::allColsFit() const { return VisibleColCount() + FixedCols() >= ColCount(); }

void TZedEzeravIvur::RefreshScrollBarsAlways(bool force)
{
    const tk::TScrollStyle bars = ScrollBars();
    const bool hasV = bars == tk::ssVertical || bars == tk::ssBoth;
    const bool hasH = bars == tk::ssHorizontal || bars == tk::ssBoth;
    const bool rowsFit = allRowsFit();
    const bool colsFit = allColsFit();
    auto apply = [](QAbstractScrollArea* area, QScrollBar* bar, bool vertical, bool has, bool always, bool fits) {
        Qt::ScrollBarPolicy policy = has ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff;
        if (fits && always)
            policy = Qt::ScrollBarAlwaysOn;
        if (vertical)
            area->setVerticalScrollBarPolicy(policy);
        else
            area->setHorizontalScrollBarPolicy(policy);
        bar->setEnabled(!fits);
    };
    if (ScrollBarAlways != saNone) {
        apply(this, verticalScrollBar(), true, hasV, ScrollBarAlways == saVert || ScrollBarAlways == saBoth, rowsFit);
        apply(this, horizontalScrollBar(), false, hasH, ScrollBarAlways == saHorz || ScrollBarAlways == saBoth,
              colsFit);
    } else if (force) {
        apply(this, verticalScrollBar(), true, hasV, false, rowsFit);
        apply(this, horizontalScrollBar(), false, hasH, false, colsFit);
    }
    updateProportionalThumbs();
}

void TZedEzeravIvur::SetScrollBarAlways(TScrollBarAlways value)
{
    ScrollBarAlways = value;
    RefreshScrollBarsAlways(true);
}

// ------------------------------------------------------------------ flat bars and thumbs

void TZedEzeravIvur::SetScrollType(TScrollType value)
{
    ScrollType = value;
    ApplyScrollStyle();
}

void TZedEzeravIvur::SetScrollColor(TColor value)
{
    ScrollColor = value;
    ApplyScrollStyle();
}

void TZedEzeravIvur::SetScrollWidth(int value)
{
    ScrollWidth = value;
    ApplyScrollStyle();
}

void TZedEzeravIvur::ApplyScrollStyle()
{
    QString sheet;
    if (ScrollType != ssNormal) {
        // A flat groove in the scroll colour, a flat thumb, no arrow buttons.
        const QString groove = ScrollColor != gfx::clNone ? gfx::ToQColor(ScrollColor, &palette()).name()
                                                          : palette().color(QPalette::Button).name();
        const QString thumb = palette().color(QPalette::Dark).name();
        sheet = QStringLiteral("QScrollBar { background: %1; border: none; margin: 0; }"
                               "QScrollBar:vertical { width: %3px; } QScrollBar:horizontal { height: %3px; }"
                               "QScrollBar::handle { background: %2; border: none; min-height: 12px; min-width: 12px; }"
                               "QScrollBar::add-line, QScrollBar::sub-line { width: 0; height: 0; border: none; }"
                               "QScrollBar::add-page, QScrollBar::sub-page { background: none; }")
                    .arg(groove, thumb)
                    .arg(ScrollWidth);
    }
    verticalScrollBar()->setStyleSheet(sheet);
    horizontalScrollBar()->setStyleSheet(sheet);
}

void TZedEzeravIvur::SetScrollProportional(bool value)
{
    ScrollProportional = value;
    updateProportionalThumbs();
}

void TZedEzeravIvur::updateProportionalThumbs()
{
    // The toolkit's bars count rows and columns: a proportional thumb takes the share of the
    // track that the visible rows have of all rows, which the page step gives.
    if (!IsLoaded() && !isVisible())
        return;
    QScrollBar* v = verticalScrollBar();
    QScrollBar* h = horizontalScrollBar();
    v->setPageStep(std::max(1, VisibleRowCount()));
    h->setPageStep(std::max(1, VisibleColCount()));
}

void TZedEzeravIvur::SetScrollSynch(bool value)
{
    ScrollSynch = value;
    verticalScrollBar()->setTracking(value);
    horizontalScrollBar()->setTracking(value);
}

// ------------------------------------------------------------------ thumb hints

void TZedEzeravIvur::thumbMoved(Qt::Orientation orientation, int value)
{
    const bool vertical = orientation == Qt::Vertical;
    const bool hints = ScrollHints == shBoth || ScrollHints == (vertical ? shVertical : shHorizontal);
    // The row (column) under the thumb.
    const int n = value + (vertical ? FixedRows() : FixedCols());
    if (hints) {
        QString hint = (vertical ? QStringLiteral("Row : ") : QStringLiteral("Col : ")) + QString::number(n);
        if (OnScrollHint)
            OnScrollHint(this, n, hint);
        // The grid's hint window, measured for 100 pixels, 10 pixels right of the pointer.
        THTMLHintWindow* w = GridHints(this)->HintWindow();
        w->SetHtml(true);
        w->SetColor(HintColor);
        const QRect r = w->CalcHintRect(100, hint);
        w->ActivateHint(QRect(QCursor::pos() + QPoint(10, 0), r.size()), hint);
        m_scrollHintShown = true;
    }
}

void TZedEzeravIvur::thumbReleased()
{
    if (!m_scrollHintShown)
        return;
    m_scrollHintShown = false;
    GridHints(this)->HintWindow()->hide();
}

QString TZedEzeravIvur::ScrollHintText() const
{
    if (!m_scrollHintShown)
        return QString();
    const THTMLHintWindow* w = GridHints(const_cast<TZedEzeravIvur*>(this))->HintWindow();
    return w->isVisible() ? w->Text() : QString();
}

void TZedEzeravIvur::connectScrollBars()
{
    connect(verticalScrollBar(), &QAbstractSlider::sliderMoved, this, [this](int v) { thumbMoved(Qt::Vertical, v); });
    connect(horizontalScrollBar(), &QAbstractSlider::sliderMoved, this,
            [this](int v) { thumbMoved(Qt::Horizontal, v); });
    connect(verticalScrollBar(), &QAbstractSlider::sliderReleased, this, [this] { thumbReleased(); });
    connect(horizontalScrollBar(), &QAbstractSlider::sliderReleased, this, [this] { thumbReleased(); });
    SetScrollSynch(ScrollSynch);
}

// ------------------------------------------------------------------ stretching and sizing

void TZedEzeravIvur::StretchColumn(int col)
{
    doStretch(col, true);
}

void TZedEzeravIvur::doStretch(int col, bool explicitCall)
{
    if (col == -1)
        col = ColCount() - 1;
    if (col >= ColCount() || col < -1) {
        // Only an explicit call raises; the automatic paths fall back to the last column.
        if (explicitCall)
            throw tk::EInvalidGridOperation(QStringLiteral("Stretch column index out of range"));
        col = ColCount() - 1;
    }
    if (ColCount() == 0 || !ColumnSize()->Stretch())
        return;
    m_stretchAllowed = false;
    const int client = viewport()->width();
    if (ColCount() == 1) {
        SetColWidths(0, client);
    } else {
        int others = 0;
        for (int c = 0; c < ColCount(); ++c)
            if (c != col)
                others += ColWidths(c);
        if (others < client)
            SetColWidths(col, client - others - 1);
        else if (LeftCol() == FixedCols())
            SetColWidths(col, DefaultColWidth());
    }
    m_stretchAllowed = true;
}

void TZedEzeravIvur::SetSizingRecord(int col, int colWidth, int row, int rowHeight)
{
    m_sizingCol = col;
    m_sizingColWidth = colWidth;
    m_sizingRow = row;
    m_sizingRowHeight = rowHeight;
}

void TZedEzeravIvur::ColWidthsChanged()
{
    if (m_inWidthsChanged)
        return;
    m_inWidthsChanged = true;
    struct Reset {
        bool& flag;
        ~Reset() { flag = false; }
    } reset{m_inWidthsChanged};
    if (m_stretchAllowed && ColumnSize()->Stretch())
        doStretch(ColumnSize()->StretchColumn, false);
    TBaseGrid::ColWidthsChanged();
    FollowEditorControl();
    RepositionCellControls();
    const int c = m_sizingCol;
    if (c >= 0 && c < ColCount()) {
        const int w0 = m_sizingColWidth;
        if (MouseActions()->AllColumnSize && w0 > 0) {
            const double factor = double(ColWidths(c)) / w0;
            for (int i = FixedCols(); i < ColCount(); ++i)
                if (i != c)
                    SetColWidths(i, int(std::nearbyint(ColWidths(i) * factor)));
        }
        m_sizingCol = -1;
        if (OnEndColumnSize)
            OnEndColumnSize(this, c);
        int w = ColWidths(c);
        UpdateColumnSize(c, w);
        if (w != ColWidths(c))
            SetColWidths(c, w);
        m_sizingRow = -1;
    }
}

void TZedEzeravIvur::RowHeightsChanged()
{
    if (m_inHeightsChanged)
        return;
    m_inHeightsChanged = true;
    struct Reset {
        bool& flag;
        ~Reset() { flag = false; }
    } reset{m_inHeightsChanged};
    TBaseGrid::RowHeightsChanged();
    FollowEditorControl();
    RepositionCellControls();
    const int r = m_sizingRow;
    if (r >= 0 && r < RowCount()) {
        const int h0 = m_sizingRowHeight;
        if (MouseActions()->AllRowSize && h0 > 0) {
            const double factor = double(RowHeights(r)) / h0;
            for (int i = FixedRows(); i < RowCount(); ++i)
                if (i != r)
                    SetRowHeights(i, int(std::nearbyint(RowHeights(i) * factor)));
        }
        if (OnEndRowSize)
            OnEndRowSize(this, r);
        m_sizingRow = -1;
        m_sizingCol = -1;
    }
}

int TZedEzeravIvur::integralHeight(int height) const
{
    if (!IntegralHeight || m_updateCount > 0 || DefaultRowHeight() <= 0)
        return height;
    const int hs = allColsFit() ? 0 : style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);
    // The grid counts as single-bordered, as the family's grids are by default.
    const int b = 2;
    return height + b - ((height - hs - b) % DefaultRowHeight());
}

void TZedEzeravIvur::SetBounds(int left, int top, int width, int height)
{
    m_settingBounds = true;
    setGeometry(left, top, width, integralHeight(height));
    m_settingBounds = false;
}

void TZedEzeravIvur::SetIntegralHeight(bool value)
{
    IntegralHeight = value;
    SetBounds(x(), y(), width(), height());
}

void TZedEzeravIvur::applyIntegralHeightOnResize()
{
    if (m_settingBounds || !IntegralHeight)
        return;
    const int h = integralHeight(height());
    if (h != height())
        SetBounds(x(), y(), width(), h);
}

void TZedEzeravIvur::SizeChanged(int oldColCount, int oldRowCount)
{
    TBaseGrid::SizeChanged(oldColCount, oldRowCount);
    if (parentWidget() && m_stretchAllowed && ColumnSize() && ColumnSize()->Stretch())
        doStretch(ColumnSize()->StretchColumn, false);
}

// ------------------------------------------------------------------ scrolling while dragging

void TZedEzeravIvur::DragOverScroll(int x, int y, bool leaving)
{
    TDragScrollOptions* o = DragScrollOptions();
    if (!o->Active || leaving) {
        stopDragTimer();
        m_dragDirection = 0;
        return;
    }
    const int previous = m_dragDirection;
    int dir = 0;
    const TDragScrollMargins* m = o->Margins();
    if (y < m->TopMargin)
        dir |= dsdUp;
    else if (y > height() - m->BottomMargin)
        dir |= dsdDown;
    if (x < m->LeftMargin)
        dir |= dsdLeft;
    else if (x > width() - m->RightMargin)
        dir |= dsdRight;
    m_dragDirection = dir;
    if (dir == 0) {
        stopDragTimer();
        return;
    }
    if (!m_dragTimer) {
        m_dragTimer = new QTimer(this);
        connect(m_dragTimer, &QTimer::timeout, this, [this] { DragScrollTick(); });
        m_dragTimer->start(o->Delays()->InitialDelay);
    } else if (previous != 0) {
        m_dragTimer->setInterval(o->Delays()->InitialDelay);
    }
}

void TZedEzeravIvur::stopDragTimer()
{
    if (m_dragTimer) {
        m_dragTimer->stop();
        m_dragTimer->deleteLater();
        m_dragTimer = nullptr;
    }
}

void TZedEzeravIvur::DragScrollTick()
{
    TDragScrollOptions* o = DragScrollOptions();
    if (!o->Active) {
        stopDragTimer();
        return;
    }
    if (m_dragTimer)
        m_dragTimer->setInterval(o->Delays()->RepeatDelay);
    int dir = m_dragDirection;
    if (OnDragScroll) {
        bool canScroll = true;
        OnDragScroll(this, TopRow(), LeftCol(), dir, canScroll);
        if (!canScroll)
            return;
    }
    if ((dir & dsdUp) && TopRow() > FixedRows())
        SetTopRow(TopRow() - 1);
    if ((dir & dsdDown) && VisibleRowCount() + TopRow() < RowCount())
        SetTopRow(TopRow() + 1);
    if ((dir & dsdLeft) && LeftCol() > FixedCols())
        SetLeftCol(LeftCol() - 1);
    if ((dir & dsdRight) && VisibleColCount() + LeftCol() < ColCount())
        SetLeftCol(LeftCol() + 1);
}

void TZedEzeravIvur::dragEnterEvent(QDragEnterEvent* event)
{
    TBaseGrid::dragEnterEvent(event);
    DragOverScroll(event->position().toPoint().x(), event->position().toPoint().y(), false);
}

void TZedEzeravIvur::dragMoveEvent(QDragMoveEvent* event)
{
    TBaseGrid::dragMoveEvent(event);
    DragOverScroll(event->position().toPoint().x(), event->position().toPoint().y(), false);
}

void TZedEzeravIvur::dragLeaveEvent(QDragLeaveEvent* event)
{
    TBaseGrid::dragLeaveEvent(event);
    DragOverScroll(0, 0, true);
}

} // namespace grid
