// Hints of the data grid: titles, header bands, the filler, data cells, the indicator, the editor,
// and tool tips that show a cut-off cell text over its cell.
#include "recipients/datagrid/XDBGrid.h"

#include <QApplication>
#include <QCursor>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QHelpEvent>
#include <QScreen>
#include <climits>

namespace xdb {

namespace {

template <class F>
struct Finally {
    F f;
    ~Finally() { f(); }
};
template <class F>
Finally(F) -> Finally<F>;

int AlignMargin(db::TAlignment a)
{
    return a == db::taLeftJustify ? 2 : a == db::taRightJustify ? 3 : 0;
}

} // namespace

QString TXCustomDBGrid::CellHint(TXColumn* column, int index, THintCell kind, const QString& text)
{
    QString result = text;
    if (OnCellHint) {
        try {
            OnCellHint(this, column, index, kind, result);
        } catch (...) {
            result.clear();
        }
    }
    return result;
}

QString TXCustomDBGrid::CellHintText(TXColumn* column, int dataRow)
{
    if (!column || !m_dataLink->Active() || dataRow < 0 || dataRow >= m_dataLink->RecordCount())
        return QString();
    db::TField* f = column->Field();
    if ((column->IsCheckBox() || column->Images()) && !column->Wallpaper())
        return QString();
    if (f && f->DataType() == db::ftBlob && column->ShowBlob())
        return QString();
    const int current = m_dataLink->ActiveRecord();
    // Every way out puts the link's active record back.
    Finally restore{[this, current] { m_dataLink->SetActiveRecord(current); }};
    m_dataLink->SetActiveRecord(dataRow);
    QString text;
    if (f)
        text = (f->DataType() == db::ftMemo && column->ShowBlob()) ? f->AsString() : f->DisplayText();
    return ColGetText(column, text, tkDisplay);
}

TXCustomDBGrid::HintInfo TXCustomDBGrid::HintAt(const QPoint& pos)
{
    HintInfo info;
    info.text = m_ownHint;
    const tk::TGridCoord cell = MouseCoord(pos.x(), pos.y());
    const bool overTitles = cell.Y >= 0 && cell.Y < m_titleOffset;
    const bool overIndicator = cell.X >= 0 && cell.X < m_indicatorOffset;
    const int lw = ColLineWidth(), lh = RowLineWidth();
    auto cellArea = [&](int col, int row) { return CellRect(col, row).adjusted(0, 0, lw, lh); };
    const int dc = cell.X >= 0 ? GridColToDataCol(cell.X) : -1;
    TXColumn* column = dc >= 0 && dc < m_columns->Count() ? m_columns->Items(dc) : nullptr;

    // 1. Titles.
    if ((m_options & dgTitles) && (m_hintOptions & hoTitleHints) && overTitles && cell.X >= 0) {
        if (overIndicator) {
            info.area = cellArea(0, 0);
            for (int r = 1; r < m_titleOffset; ++r)
                info.area = info.area.united(cellArea(0, r));
            info.text = CellHint(nullptr, 0, hcFiller, m_fillerHint);
            info.kind = hcFiller;
        } else if (column) {
            // The column that owns this title level.
            TXColumn* owner = column;
            while (owner->Level() > cell.Y && owner->ParentColumn())
                owner = owner->ParentColumn();
            TXColumnTitle* title = owner->Title();
            QRect r = cellArea(cell.X, cell.Y);
            const int bands = (m_options & dgTitleHeaders) && m_headerHeight > 0 ? title->HeaderCount() : 0;
            const int band = bands > 0 ? (pos.y() - r.top()) / m_headerHeight : -1;
            if (band >= 0 && band < bands) {
                // The band spans the neighbouring columns that show the same band text.
                const QString bandText = title->HeaderText(band);
                int left = cell.X, right = cell.X;
                auto same = [&](int col) {
                    const int d = GridColToDataCol(col);
                    if (d < 0 || d >= m_columns->Count())
                        return false;
                    TXColumnTitle* t = m_columns->Items(d)->Title();
                    return t->HeaderCount() > band && t->HeaderText(band) == bandText;
                };
                while (left - 1 >= m_indicatorOffset && same(left - 1) && !CellRect(left - 1, cell.Y).isEmpty())
                    --left;
                while (right + 1 < ColCount() && same(right + 1) && !CellRect(right + 1, cell.Y).isEmpty())
                    ++right;
                const int top = r.top() + band * m_headerHeight;
                info.area = QRect(QPoint(cellArea(left, cell.Y).left(), top),
                                  QPoint(cellArea(right, cell.Y).right(), top + m_headerHeight - 1));
                QString part = title->HeaderHint().section(QLatin1Char('|'), band, band);
                if (part.isEmpty())
                    part = bandText;
                info.text = CellHint(owner, band, hcHeader, part);
                info.kind = hcHeader;
                info.index = band;
            } else {
                r.setTop(r.top() + std::max(0, bands) * m_headerHeight);
                info.area = r;
                info.text = CellHint(owner, 0, hcTitle, title->Hint().isEmpty() ? title->Caption() : title->Hint());
                info.kind = hcTitle;
            }
        }
        info.show = m_hintOptions & hoShowTitleHints;
        info.pauseKind = info.show ? 2 : 1;
        return info;
    }
    if ((m_options & dgTitles) && (m_hintOptions & hoTitleHints) && overTitles)
        return info;         // title area, but no cell: no hint

    // 2. Tool tips.
    if ((m_hintOptions & hoShowToolTips) && !overTitles && !overIndicator && column && cell.Y >= m_titleOffset &&
        column->ToolTips()) {
        const int dataRow = cell.Y - m_titleOffset;
        const QString text = CellHintText(column, dataRow);
        if (!text.isEmpty()) {
            const QRect cr = CellRect(cell.X, cell.Y);
            db::TField* f = column->Field();
            const bool memo = f && f->DataType() == db::ftMemo && (column->ShowBlob() || bool(f->OnGetText));
            const bool wrap = column->ToolTipsWidth() == ttFixedWidth || memo;
            db::TAlignment align = column->Alignment();
            if (layoutDirection() == Qt::RightToLeft && !column->SuppressRTL() && align != db::taCenter)
                align = align == db::taLeftJustify ? db::taRightJustify : db::taLeftJustify;
            const int margin = AlignMargin(align);
            int maxWidth;
            if (wrap || (column->WordWrap() && m_linesCount > 1))
                maxWidth = std::max(1, cr.width() - margin - (wrap ? 2 : 0));
            else
                maxWidth = (screen() ? screen()->geometry().width() : 1024) - 6;
            info.data.font = column->Font().Font();
            info.data.alignment = align;
            info.data.wordWrap = wrap;
            info.data.rightToLeft = layoutDirection() == Qt::RightToLeft;
            if (!m_hintWindow)
                m_hintWindow = new TXHintWindow(this);
            const QRect size = m_hintWindow->CalcHintRect(maxWidth, text, &info.data);
            int x = cr.left();
            if (align == db::taRightJustify)
                x = cr.right() + 1 + 1 - size.width();
            else if (align == db::taCenter)
                x = cr.left() + (cr.width() - size.width()) / 2 - (info.data.rightToLeft ? 1 : 0);
            int y = cr.top();
            const int room = std::max(0, cr.height() - size.height() - 2);
            if (column->VAlignment() == tvBottomJustify)
                y += room;
            else if (column->VAlignment() == tvCenter)
                y += room / 2;
            const QPoint screenPos = viewport()->mapToGlobal(QPoint(x - 1, y - 1));
            info.window = QRect(screenPos, size.size());
            info.area = cellArea(cell.X, cell.Y);
            info.text = text;
            info.toolTip = true;
            info.kind = hcData;
            info.hideTimeout = (m_hintOptions & hoKeepShowToolTips) ? INT_MAX : 2 * kHintHidePause;
            const bool cutOff = size.width() + margin - 6 > cr.width() + (align == db::taCenter ? 1 : 0) ||
                                size.height() + RowLineWidth() + 1 > cr.height();
            info.show = (m_hintOptions & hoAlwaysShowToolTips) || cutOff;
            if (info.show || !(m_hintOptions & hoDataHints))
                return info;
            info = HintInfo();
            info.text = m_ownHint;
        }
        if (!(m_hintOptions & hoDataHints))
            return info;
    }

    // 3. Data hints.
    if ((m_hintOptions & hoDataHints) && cell.Y >= m_titleOffset && cell.X >= 0) {
        const int dataRow = cell.Y - m_titleOffset;
        info.area = cellArea(cell.X, cell.Y);
        if (overIndicator) {
            info.text = CellHint(nullptr, 0, hcIndicator, m_indicatorHint);
            info.kind = hcIndicator;
        } else if (column) {
            QString text = column->Hint();
            if (text.isEmpty())
                text = CellHintText(column, dataRow);
            info.text = CellHint(column, dataRow, hcData, text);
            info.kind = hcData;
        }
        info.show = m_hintOptions & hoShowDataHints;
        info.pauseKind = info.show ? 2 : 1;
        return info;
    }
    // 4. The grid's own hint.
    info.show = !m_ownHint.isEmpty();
    info.pauseKind = 0;
    return info;
}

void TXCustomDBGrid::HideHint()
{
    if (m_hintWindow)
        m_hintWindow->ReleaseHandle();
    m_hintArea = QRect();
    m_hintIsToolTip = false;
}

void TXCustomDBGrid::ShowEditorHint(const QPoint& globalPos, QWidget* editor)
{
    (void)editor;
    if (!m_showHint || !(m_hintOptions & hoShowEditorHints))
        return;
    const int dc = SelectedIndex();
    TXColumn* c = dc >= 0 && dc < m_columns->Count() ? m_columns->Items(dc) : nullptr;
    const QString text = (m_hintOptions & hoEditorHints) && c ? CellHint(c, 0, hcEditor, c->EditorHint()) : m_currentHint;
    if (text.isEmpty())
        return;
    if (!m_hintWindow)
        m_hintWindow = new TXHintWindow(this);
    const QRect size = m_hintWindow->CalcHintRect(600, text, nullptr);
    m_hintWindow->ActivateHint(QRect(globalPos + QPoint(0, 20), size.size()), text, nullptr, kHintHidePause);
}

void TXCustomDBGrid::ShowHintAt(const QPoint& pos, const QPoint& globalPos)
{
    if (!m_showHint)
        return;
    const HintInfo info = HintAt(pos);
    m_hintKind = info.pauseKind;
    m_currentHint = info.text;
    if (!info.show || info.text.isEmpty()) {
        HideHint();
        m_hintArea = info.area;
        return;
    }
    if (!m_hintWindow)
        m_hintWindow = new TXHintWindow(this);
    QRect window = info.window;
    if (!info.toolTip) {
        const QRect size = m_hintWindow->CalcHintRect(600, info.text, nullptr);
        window = QRect(globalPos + QPoint(0, 20), size.size());
    }
    m_hintWindow->ActivateHint(window, info.text, info.toolTip ? &info.data : nullptr,
                               info.toolTip ? info.hideTimeout : kHintHidePause);
    m_hintArea = info.area;
    m_hintIsToolTip = info.toolTip;
}

bool TXCustomDBGrid::viewportEvent(QEvent* event)
{
    switch (event->type()) {
    case QEvent::ToolTip: {
        // The grid times its hints itself; a tool-tip request (keyboard, accessibility) shows now.
        auto* he = static_cast<QHelpEvent*>(event);
        ShowHintAt(he->pos(), he->globalPos());
        return true;
    }
    case QEvent::MouseMove: {
        const auto* me = static_cast<QMouseEvent*>(event);
        const QPoint p = me->position().toPoint();
        if (!m_hintArea.contains(p)) {
            const bool wasShowing = m_hintWindow && m_hintWindow->isVisible();
            HideHint();
            if (!m_hintTimer) {
                m_hintTimer = new QTimer(this);
                m_hintTimer->setSingleShot(true);
                connect(m_hintTimer, &QTimer::timeout, this, [this] {
                    const QPoint local = viewport()->mapFromGlobal(QCursor::pos());
                    if (viewport()->rect().contains(local) && !(QApplication::mouseButtons() & Qt::LeftButton))
                        ShowHintAt(local, QCursor::pos());
                });
            }
            // The second hint kind (a hint was just shown) answers with the short pause.
            m_hintTimer->start(wasShowing || m_hintKind == 2 ? kHintShortPause : kHintPause);
        }
        break;
    }
    case QEvent::Leave:
        SetHotTitle(nullptr, false);
        if (m_hintTimer)
            m_hintTimer->stop();
        HideHint();
        m_currentHint = m_ownHint;
        m_hintKind = 0;
        break;
    default:
        break;
    }
    return tk::TCustomGrid::viewportEvent(event);
}

} // namespace xdb
