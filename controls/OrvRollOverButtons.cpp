#include "controls/OrvRollOverButtons.h"

#include <QMouseEvent>

TOrvRollOverSpeedBtn::TOrvRollOverSpeedBtn(QWidget* parent) : QToolButton(parent)
{
    setAutoRaise(true);
    setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    FFontNormal = FFontDown = FFontHighLighted = font();
}

void TOrvRollOverSpeedBtn::SetGlyphNormal(const QPixmap& pm)
{
    FGlyphNormal = pm;
    FCurrentGlyph = pm;
    setIcon(QIcon(pm));
}

void TOrvRollOverSpeedBtn::SetFontNormal(const QFont& f)
{
    FFontNormal = f;
    setFont(f);
}

void TOrvRollOverSpeedBtn::Appearance()
{
    if (FPressed) {
        FCurrentGlyph = FGlyphDown;
        setFont(FFontDown);
    } else if (FHot) {
        FCurrentGlyph = FGlyphHighLighted;
        setFont(FFontHighLighted);
    } else {
        FCurrentGlyph = FGlyphNormal;
        setFont(FFontNormal);
    }
    setIcon(FCurrentGlyph.isNull() ? QIcon() : QIcon(FCurrentGlyph));
}

void TOrvRollOverSpeedBtn::enterEvent(QEnterEvent* e)
{
    QToolButton::enterEvent(e);
    FHot = true;
    Appearance();
    if (OnMouseEnter)
        OnMouseEnter();
}

void TOrvRollOverSpeedBtn::leaveEvent(QEvent* e)
{
    QToolButton::leaveEvent(e);
    FHot = false;
    Appearance();
    if (OnMouseLeave)
        OnMouseLeave();
}

void TOrvRollOverSpeedBtn::mousePressEvent(QMouseEvent* e)
{
    if (e->button() == Qt::LeftButton)
        FPressed = true;
    Appearance();
    QToolButton::mousePressEvent(e);
}

void TOrvRollOverSpeedBtn::mouseReleaseEvent(QMouseEvent* e)
{
    if (e->button() == Qt::LeftButton)
        FPressed = false;
    Appearance();
    QToolButton::mouseReleaseEvent(e);
}
