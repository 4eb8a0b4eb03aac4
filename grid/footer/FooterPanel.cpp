#include "grid/footer/FooterPanel.h"

#include <QAbstractScrollArea>
#include <QEvent>
#include <QHelpEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QToolTip>

namespace grid {

TFooterPanel::TFooterPanel(IFooterHost* host, QAbstractScrollArea* area)
    : QWidget(area), m_host(host), m_area(area)
{
    setObjectName(QStringLiteral("FooterPanel"));
    setMouseTracking(true);
    hide();
    m_viewport = area->viewport();
    m_viewport->installEventFilter(this);
    connect(area->horizontalScrollBar(), &QScrollBar::valueChanged, this, [this] { update(); });
}

void TFooterPanel::SetPanelHeight(int height)
{
    m_height = std::max(0, height);
    m_host->SetFooterMargin(m_height);
    setVisible(m_height > 0);
    place();
    update();
}

void TFooterPanel::place()
{
    if (!m_viewport)
        return;
    const QRect vp = m_viewport->geometry();
    setGeometry(vp.x(), vp.y() + vp.height(), vp.width(), m_height);
}

bool TFooterPanel::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_viewport && (event->type() == QEvent::Resize || event->type() == QEvent::Move))
        place();
    return QWidget::eventFilter(watched, event);
}

void TFooterPanel::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    m_host->PaintFooter(painter, rect());
}

bool TFooterPanel::event(QEvent* event)
{
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        const int col = m_host->FooterColumnAt(help->pos().x());
        m_hintColumn = col;
        const QString hint = col >= 0 && ShowHints ? m_host->FooterHint(col) : QString();
        if (hint.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(help->globalPos(), hint, this);
        return true;
    }
    return QWidget::event(event);
}

void TFooterPanel::mouseMoveEvent(QMouseEvent* event)
{
    const int col = m_host->FooterColumnAt(event->position().toPoint().x());
    if (col != m_hintColumn) {
        QToolTip::hideText();
        m_hintColumn = col;
    }
    QWidget::mouseMoveEvent(event);
}

void TFooterPanel::leaveEvent(QEvent* event)
{
    m_hintColumn = -1;
    QWidget::leaveEvent(event);
}

QString ExpandFooterTemplate(const QString& tmpl, const std::function<QString(int col)>& columnText)
{
    QString out;
    qsizetype pos = 0;
    for (;;) {
        const qsizetype open = tmpl.indexOf(QLatin1String("<#"), pos);
        if (open < 0) {
            out += QStringView(tmpl).mid(pos);
            break;
        }
        const qsizetype close = tmpl.indexOf(QLatin1Char('>'), open + 2);
        if (close < 0) {
            out += QStringView(tmpl).mid(pos);   // an unclosed tag and the rest stay
            break;
        }
        out += QStringView(tmpl).mid(pos, open - pos);
        bool ok = false;
        const int col = QStringView(tmpl).mid(open + 2, close - open - 2).toInt(&ok);
        if (ok)
            out += columnText(col);
        pos = close + 1;
    }
    return out;
}

} // namespace grid
