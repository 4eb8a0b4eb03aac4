// The button of the edit-with-button editors.
#include "grid/editors/EditButton.h"

#include "platform/graphics/VisualStyles.h"

#include <QMouseEvent>
#include <QPainter>
#include <qdrawutil.h>

namespace grid::editors {

TZedSpeedButton::TZedSpeedButton(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("SpeedButton"));
    setFocusPolicy(Qt::NoFocus);
    setAttribute(Qt::WA_Hover);
    setCursor(Qt::ArrowCursor);
}

void TZedSpeedButton::SetIsWinXP(bool value)
{
    m_winXP = value;
    update();
}

void TZedSpeedButton::SetFlat(bool value)
{
    m_flat = value;
    update();
}

void TZedSpeedButton::SetGlyph(const QPixmap& value)
{
    m_glyph = value;
    update();
}

void TZedSpeedButton::SetNumGlyphs(int value)
{
    m_numGlyphs = std::clamp(value, 1, 4);
    update();
}

void TZedSpeedButton::SetCaption(const QString& value)
{
    m_caption = value;
    update();
}

QPoint TZedSpeedButton::GlyphPos() const
{
    // One image of a strip of NumGlyphs, centred; one pixel further while down.
    const int gw = m_glyph.width() / m_numGlyphs, gh = m_glyph.height();
    const int x = gw < width() ? (width() - gw) / 2 : 0;
    const int y = gh < height() ? (height() - gh) / 2 : 0;
    return m_down ? QPoint(x + 1, y + 1) : QPoint(x, y);
}

void TZedSpeedButton::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setFont(font());
    QRect r = rect();
    const QPalette& pal = palette();
    if (m_winXP) {
        visualstyles::HTheme theme = visualstyles::OpenThemeData(parentWidget() ? parentWidget() : this,
                                                                 QStringLiteral("button"));
        const int state = m_down ? visualstyles::PBS_PRESSED : m_mouseOver ? visualstyles::PBS_HOT
                                                                           : visualstyles::PBS_NORMAL;
        if (!theme || !visualstyles::DrawThemeBackground(theme, p, visualstyles::BP_PUSHBUTTON, state, r))
            qDrawWinButton(&p, r, pal, m_down, &pal.brush(QPalette::Button));
        visualstyles::CloseThemeData(theme);
    } else if (m_flat) {
        // A one-pixel edge around the filled middle: raised, or sunken while down.
        qDrawShadePanel(&p, r, pal, m_down, 1, &pal.brush(QPalette::Button));
        r.adjust(1, 1, -1, -1);
    } else {
        qDrawWinButton(&p, r, pal, m_down, &pal.brush(QPalette::Button));
    }
    if (!m_glyph.isNull()) {
        const int gw = m_glyph.width() / m_numGlyphs;
        // The first image of the strip is the enabled one, the second the disabled one.
        const int index = !isEnabled() && m_numGlyphs > 1 ? 1 : 0;
        p.drawPixmap(GlyphPos(), m_glyph, QRect(index * gw, 0, gw, m_glyph.height()));
    }
    if (!m_caption.isEmpty()) {
        p.setPen(pal.color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::ButtonText));
        const QPoint at = CaptionPos();
        p.drawText(QRect(at, QSize(width() - at.x(), height() - at.y())), Qt::AlignLeft | Qt::AlignTop, m_caption);
    }
}

void TZedSpeedButton::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        m_down = true;
        update();
    }
    event->accept();
}

void TZedSpeedButton::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || !m_down)
        return;
    m_down = false;
    update();
    if (OnMouseUp)
        OnMouseUp(this);
}

void TZedSpeedButton::enterEvent(QEnterEvent*)
{
    m_mouseOver = true;
    update();
}

void TZedSpeedButton::leaveEvent(QEvent*)
{
    m_mouseOver = false;
    update();
}

// ------------------------------------------------------------------ TDidEzevButton

TDidEzevButton::TDidEzevButton(QWidget* parent) : QWidget(parent), m_button(new TZedSpeedButton(this))
{
    setObjectName(QStringLiteral("EditButton"));
    setFocusPolicy(Qt::NoFocus);
    m_button->OnMouseUp = [this](QObject*) { buttonMouseUp(); };
    SetBounds(0, 0, 20, 25);
}

void TDidEzevButton::SetFlat(bool value)
{
    m_flat = value;
    m_button->SetFlat(value);
}

void TDidEzevButton::SetBounds(int x, int y, int w, int h)
{
    setGeometry(x, y, std::max(w, 15), h);
    m_button->setGeometry(0, 0, width(), height());
}

void TDidEzevButton::resizeEvent(QResizeEvent*)
{
    if (width() < 15) {
        resize(15, height());
        return;
    }
    m_button->setGeometry(0, 0, width(), height());
}

void TDidEzevButton::buttonMouseUp()
{
    if (OnClick)
        OnClick(this);
    QWidget* target = FocusControl;
    if (target && target->focusPolicy() & Qt::TabFocus && target->isEnabled() && target->isVisible()
        && !target->hasFocus())
        target->setFocus(Qt::MouseFocusReason);
}

} // namespace grid::editors
