#include "grid/GridHelpers.h"

#include "grid/GridUtils.h"
#include "grid/minihtml/MiniHTML.h"

#include <QPainter>
#include <QRegion>

namespace grid {

QPolygon TArrowWindow::ArrowPolygon(int direction)
{
    switch (direction) {
    case 0:
        return QPolygon({{5, 0}, {10, 5}, {7, 5}, {7, 9}, {3, 9}, {3, 5}, {0, 5}});
    case 1:
        return QPolygon({{3, 0}, {7, 0}, {7, 4}, {9, 4}, {5, 8}, {1, 4}, {3, 4}});
    case 2:
        return QPolygon({{0, 3}, {0, 7}, {4, 7}, {4, 10}, {8, 5}, {4, 0}, {4, 3}});
    default:
        return QPolygon({{0, 5}, {4, 10}, {4, 7}, {8, 7}, {8, 3}, {4, 3}, {4, 0}});
    }
}

TArrowWindow::TArrowWindow(QWidget* parent, int direction) : QWidget(parent), m_direction(direction)
{
    setFocusPolicy(Qt::NoFocus);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    resize(11, 11);
    setMask(QRegion(ArrowPolygon(direction), Qt::WindingFill));
    hide();
}

void TArrowWindow::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), gfx::ToQColor(m_color, &palette()));
}

TPopupButton::TPopupButton(QWidget* parent) : QWidget(parent)
{
    setFocusPolicy(Qt::NoFocus);
    setEnabled(false);
    setAutoFillBackground(false);
    hide();
}

void TPopupButton::SetCaption(const QString& value)
{
    m_caption = value;
    update();
}

void TPopupButton::SetFlat(bool value)
{
    m_flat = value;
    update();
}

void TPopupButton::SetGradFrom(TColor value)
{
    m_gradFrom = value;
    update();
}

void TPopupButton::SetGradTo(TColor value)
{
    m_gradTo = value;
    update();
}

void TPopupButton::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    QRect r = rect();
    p.fillRect(r, gfx::ToQColor(gfx::clBtnFace, &palette()));
    if (!m_flat) {
        // A raised frame of one pixel: white top-left, gray bottom-right.
        p.setPen(QColor(255, 255, 255));
        p.drawLine(r.topLeft(), r.topRight());
        p.drawLine(r.topLeft(), r.bottomLeft());
        p.setPen(QColor(0x80, 0x80, 0x80));
        p.drawLine(r.bottomLeft(), r.bottomRight());
        p.drawLine(r.topRight(), r.bottomRight());
        r.adjust(1, 1, -1, -1);
    }
    if (m_gradFrom != gfx::clNone)
        DrawGradientFill(p, m_gradFrom, m_gradTo, 64, r, false);
    if (!m_caption.contains(QLatin1String("</"))) {
        p.setPen(palette().color(QPalette::Active, QPalette::ButtonText));
        const QString shown = fontMetrics().elidedText(m_caption, Qt::ElideRight, r.width());
        p.drawText(r, Qt::AlignHCenter | Qt::AlignTop, shown);
        return;
    }
    minihtml::TMiniHTMLInput in;
    in.Text = m_caption;
    in.Rect = r;
    in.Images = m_images;
    in.X = 2;
    in.Y = 2;
    in.FocusLink = -1;
    in.HoverLink = -1;
    in.ShadowOffset = 2;
    in.ScaleFactor = 1.0;
    in.URLColor = gfx::clBlue;
    in.HoverColor = gfx::clNone;
    in.HoverFontColor = gfx::clNone;
    in.ShadowColor = gfx::clGray;
    in.Window = this;
    in.Font = font();
    in.FontColor = gfx::clBtnText;
    in.BrushColor = gfx::clNone;
    minihtml::TMiniHTMLResult out;
    minihtml::DrawMiniHTML(&p, in, out);
}

} // namespace grid
