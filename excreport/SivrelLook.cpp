#include "excreport/SivrelLook.h"
#include <QApplication>
#include <QDialog>
#include <QEvent>
#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QWindow>
#include <algorithm>
#include <cmath>

namespace excreport {

namespace {

int Darker(int c)
{
    return std::min(255, int(std::nearbyint(c * 0.96)));
}

QFont CaptionFont()
{
    QFont font = QApplication::font("QMdiSubWindowTitleBar");
    font.setBold(true);
    return font;
}

// A white sheet with a folded corner, the base of two icons.
void Sheet(QPainter& p)
{
    QPainterPath path;
    path.moveTo(2.5, 0.5);
    path.lineTo(10.5, 0.5);
    path.lineTo(13.5, 3.5);
    path.lineTo(13.5, 15.5);
    path.lineTo(2.5, 15.5);
    path.closeSubpath();
    p.setPen(QColor(64, 64, 64));
    p.setBrush(Qt::white);
    p.drawPath(path);
    p.drawLine(QPointF(10.5, 0.5), QPointF(10.5, 3.5));
    p.drawLine(QPointF(10.5, 3.5), QPointF(13.5, 3.5));
}

} // namespace

std::vector<std::pair<QRect, QColor>> CaptionBands(const QRect& caption, bool active)
{
    std::vector<std::pair<QRect, QColor>> bands;
    int r = active ? 130 : 151, g = active ? 154 : 151, b = active ? 194 : 151;
    QRect rect = caption;
    for (int step = 0; step < caption.height() / 5; ++step) {
        r = Darker(r);
        g = Darker(g);
        b = Darker(b);
        bands.emplace_back(rect, QColor(r, g, b));
        rect.adjust(0, 2, 0, -2);
    }
    return bands;
}

QPixmap SivrelListIcon(int index)
{
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    switch (index) {
    case siDll: {  // a library: a sheet with a cog
        Sheet(p);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QPen(QColor(90, 90, 160), 2));
        for (int i = 0; i < 8; ++i) {
            const double a = i * M_PI / 4;
            p.drawLine(QPointF(8 + 2.5 * std::cos(a), 9.5 + 2.5 * std::sin(a)),
                       QPointF(8 + 4.5 * std::cos(a), 9.5 + 4.5 * std::sin(a)));
        }
        p.setPen(QPen(QColor(90, 90, 160), 1.5));
        p.setBrush(QColor(200, 200, 240));
        p.drawEllipse(QPointF(8, 9.5), 2.6, 2.6);
        break;
    }
    case siBpl: {  // a package: a tied brown box
        p.setPen(QColor(96, 64, 16));
        p.setBrush(QColor(214, 170, 96));
        p.drawRect(1, 5, 13, 10);
        p.setBrush(QColor(236, 200, 128));
        const QPoint lid[4] = {{1, 5}, {4, 1}, {14, 1}, {14, 5}};
        p.drawPolygon(lid, 4);
        p.setPen(QPen(QColor(160, 32, 32), 2));
        p.drawLine(8, 2, 8, 15);
        break;
    }
    case siVcl: {  // the program: a window with its title bar
        p.setPen(QColor(48, 48, 48));
        p.setBrush(Qt::white);
        p.drawRect(0, 1, 15, 13);
        p.fillRect(1, 2, 14, 3, QColor(10, 36, 106));
        p.fillRect(12, 3, 2, 1, Qt::white);
        p.fillRect(2, 7, 6, 1, QColor(128, 128, 128));
        p.fillRect(2, 9, 9, 1, QColor(128, 128, 128));
        p.fillRect(2, 11, 5, 1, QColor(128, 128, 128));
        break;
    }
    case siPas: {  // source text: a sheet with coloured lines
        Sheet(p);
        const QColor lines[5] = {QColor(0, 0, 160), Qt::black, QColor(0, 128, 0), Qt::black, QColor(0, 0, 160)};
        const int widths[5] = {6, 8, 5, 7, 4};
        for (int i = 0; i < 5; ++i)
            p.fillRect(4 + (i % 2), 5 + 2 * i, widths[i], 1, lines[i]);
        break;
    }
    default:
        break;
    }
    return pixmap;
}

QPixmap SivrelMonitorPicture()
{
    QPixmap pixmap(32, 32);
    pixmap.fill(QColor(255, 0, 255));  // the colour left out
    QPainter p(&pixmap);
    // Stand and foot.
    p.fillRect(13, 23, 6, 4, QColor(128, 128, 128));
    p.setPen(QColor(64, 64, 64));
    p.setBrush(QColor(192, 192, 192));
    p.drawRect(7, 26, 17, 3);
    // Case and screen.
    p.setBrush(QColor(212, 208, 200));
    p.drawRect(1, 1, 29, 22);
    p.fillRect(4, 4, 24, 16, QColor(0, 0, 96));
    p.fillRect(26, 21, 2, 1, QColor(0, 192, 0));
    // The error sign on the screen.
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(Qt::white, 1));
    p.setBrush(QColor(208, 0, 0));
    p.drawEllipse(QPointF(16, 12), 6, 6);
    p.setPen(QPen(Qt::white, 2, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(13.5, 9.5), QPointF(18.5, 14.5));
    p.drawLine(QPointF(18.5, 9.5), QPointF(13.5, 14.5));
    return pixmap;
}

QPixmap SivrelMaskedMonitor()
{
    QPixmap pixmap = SivrelMonitorPicture();
    const QImage image = pixmap.toImage();
    pixmap.setMask(QBitmap::fromImage(image.createMaskFromColor(image.pixel(0, image.height() - 1), Qt::MaskInColor)));
    return pixmap;
}

TSivrelDialogLook::TSivrelDialogLook(QDialog* dialog, bool custom) : QObject(dialog), m_dialog(dialog), m_custom(custom)
{
    if (!custom)
        return;
    m_captionHeight = std::max(17, QFontMetrics(CaptionFont()).height() + 4);
    dialog->setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    QPalette palette = dialog->palette();
    palette.setColor(QPalette::Window, QColor(212, 208, 200));
    palette.setColor(QPalette::WindowText, Qt::black);
    dialog->setPalette(palette);
    const int fw = FrameWidth();
    dialog->setContentsMargins(fw, fw + m_captionHeight, fw, fw);
    dialog->setMouseTracking(true);
    dialog->installEventFilter(this);
}

QRect TSivrelDialogLook::CaptionRect() const
{
    const int fw = FrameWidth();
    return QRect(fw, fw, m_dialog->width() - 2 * fw, m_captionHeight);
}

void TSivrelDialogLook::PaintFrame(bool active)
{
    if (!m_custom)
        return;
    QPainter p(m_dialog);
    const QRect all = m_dialog->rect();
    const int fw = FrameWidth();
    const QRect inner = all.adjusted(fw, fw, -fw, -fw);
    // Frame band around caption and client area, then its outer edge.
    const QColor band = active ? QColor(128, 128, 128) : QColor(96, 96, 96);
    p.fillRect(QRect(all.left(), all.top(), all.width(), fw), band);
    p.fillRect(QRect(all.left(), inner.bottom() + 1, all.width(), fw), band);
    p.fillRect(QRect(all.left(), inner.top(), fw, inner.height()), band);
    p.fillRect(QRect(inner.right() + 1, inner.top(), fw, inner.height()), band);
    p.setPen(active ? QColor(64, 64, 64) : QColor(48, 48, 48));
    p.setBrush(Qt::NoBrush);
    p.drawRect(all.adjusted(0, 0, -1, -1));
    const QRect caption = CaptionRect();
    for (const auto& [rect, colour] : CaptionBands(caption, active))
        p.fillRect(rect, colour);
    p.setFont(CaptionFont());
    const QString title = m_dialog->windowTitle();
    const QRect text = caption.adjusted(4, 0, 0, 0);
    if (active) {
        p.setPen(QColor(34, 34, 34));
        p.drawText(text.translated(1, 1), Qt::AlignLeft | Qt::AlignVCenter, title);
        p.setPen(Qt::white);
    } else {
        p.setPen(QColor(224, 224, 224));
    }
    p.drawText(text, Qt::AlignLeft | Qt::AlignVCenter, title);
}

Qt::Edges TSivrelDialogLook::EdgesAt(const QPoint& pos) const
{
    Qt::Edges edges;
    if (!m_sizable || m_dialog->isMaximized())
        return edges;
    const int grip = std::max(FrameWidth(), 4);
    if (pos.x() < grip)
        edges |= Qt::LeftEdge;
    if (pos.x() >= m_dialog->width() - grip)
        edges |= Qt::RightEdge;
    if (pos.y() < grip)
        edges |= Qt::TopEdge;
    if (pos.y() >= m_dialog->height() - grip)
        edges |= Qt::BottomEdge;
    return edges;
}

bool TSivrelDialogLook::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != m_dialog)
        return false;
    switch (event->type()) {
    case QEvent::Paint:
        PaintFrame(m_dialog->isActiveWindow());
        break;
    case QEvent::ActivationChange:
    case QEvent::WindowTitleChange:
        m_dialog->update();
        break;
    case QEvent::MouseMove: {
        const Qt::Edges e = EdgesAt(static_cast<QMouseEvent*>(event)->position().toPoint());
        if (e == (Qt::LeftEdge | Qt::TopEdge) || e == (Qt::RightEdge | Qt::BottomEdge))
            m_dialog->setCursor(Qt::SizeFDiagCursor);
        else if (e == (Qt::RightEdge | Qt::TopEdge) || e == (Qt::LeftEdge | Qt::BottomEdge))
            m_dialog->setCursor(Qt::SizeBDiagCursor);
        else if (e & (Qt::LeftEdge | Qt::RightEdge))
            m_dialog->setCursor(Qt::SizeHorCursor);
        else if (e)
            m_dialog->setCursor(Qt::SizeVerCursor);
        else
            m_dialog->unsetCursor();
        break;
    }
    case QEvent::MouseButtonPress: {
        auto* mouse = static_cast<QMouseEvent*>(event);
        QWindow* window = m_dialog->windowHandle();
        if (mouse->button() != Qt::LeftButton || !window)
            break;
        const QPoint pos = mouse->position().toPoint();
        if (const Qt::Edges e = EdgesAt(pos))
            return window->startSystemResize(e);
        if (CaptionRect().contains(pos))
            return window->startSystemMove();
        break;
    }
    case QEvent::MouseButtonDblClick: {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (m_sizable && CaptionRect().contains(mouse->position().toPoint())) {
            m_dialog->setWindowState(m_dialog->windowState() ^ Qt::WindowMaximized);
            return true;
        }
        break;
    }
    default:
        break;
    }
    return false;
}

} // namespace excreport
