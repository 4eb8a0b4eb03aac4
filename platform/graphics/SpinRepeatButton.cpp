#include "platform/graphics/SpinRepeatButton.h"

#include "platform/graphics/VisualStyles.h"

#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOption>
#include <QTimer>

#include <algorithm>

DAvoRorurAroruDadaze::DAvoRorurAroruDadaze(QWidget* parent) : QAbstractButton(parent)
{
    setFocusPolicy(Qt::NoFocus);
    setAttribute(Qt::WA_Hover);
}

void DAvoRorurAroruDadaze::SetButtonDirection(TButtonDirection d)
{
    FButtonDirection = d;
    update();
}

void DAvoRorurAroruDadaze::SetFocusShown(bool on)
{
    if (FFocusShown == on)
        return;
    FFocusShown = on;
    update();
}

void DAvoRorurAroruDadaze::SetFlat(bool on)
{
    FFlat = on;
    update();
}

void DAvoRorurAroruDadaze::SetTransparent(bool on)
{
    FTransparent = on;
    setAttribute(Qt::WA_NoSystemBackground, on);
    update();
}

void DAvoRorurAroruDadaze::SetGlyph(const QPixmap& glyph)
{
    FGlyph = glyph;
    update();
}

void DAvoRorurAroruDadaze::SetNumGlyphs(int count)
{
    FNumGlyphs = std::clamp(count, 1, 4);
    update();
}

QSize DAvoRorurAroruDadaze::sizeHint() const { return QSize(15, 12); }

void DAvoRorurAroruDadaze::mousePressEvent(QMouseEvent* e)
{
    QAbstractButton::mousePressEvent(e);
    if (e->button() == Qt::LeftButton && FAllowTimer) {
        if (!FRepeatTimer) {
            FRepeatTimer = new QTimer(this);
            connect(FRepeatTimer, &QTimer::timeout, this, &DAvoRorurAroruDadaze::TimerExpired);
        }
        FRepeatTimer->setInterval(400);
        FRepeatTimer->start();
    }
    RepaintParent();
}

void DAvoRorurAroruDadaze::mouseReleaseEvent(QMouseEvent* e)
{
    QAbstractButton::mouseReleaseEvent(e);
    if (FRepeatTimer)
        FRepeatTimer->stop();
    RepaintParent();
}

void DAvoRorurAroruDadaze::TimerExpired()
{
    FRepeatTimer->setInterval(100);
    if (isDown()) {
        try {
            emit clicked(false);
        } catch (...) {
            FRepeatTimer->stop();
            throw;
        }
    }
}

void DAvoRorurAroruDadaze::RepaintParent()
{
    if (parentWidget())
        parentWidget()->update();
    update();
}

void DAvoRorurAroruDadaze::enterEvent(QEnterEvent* e)
{
    QAbstractButton::enterEvent(e);
    FMouseOver = true;
    update();
}

void DAvoRorurAroruDadaze::leaveEvent(QEvent* e)
{
    QAbstractButton::leaveEvent(e);
    FMouseOver = false;
    update();
}

void DAvoRorurAroruDadaze::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    const QRect r = rect();
    int part = visualstyles::SPNP_UP;
    switch (FButtonDirection) {
    case bdUp: part = visualstyles::SPNP_UP; break;
    case bdDown: part = visualstyles::SPNP_DOWN; break;
    case bdRight: part = visualstyles::SPNP_UPHORZ; break;
    case bdLeft: part = visualstyles::SPNP_DOWNHORZ; break;
    }
    if (FVisualStyles && visualstyles::IsThemeActive()) {
        visualstyles::HTheme theme = visualstyles::OpenThemeData(parentWidget() ? parentWidget() : this, "spin");
        int state = isDown() ? visualstyles::UPS_PRESSED : FMouseOver ? visualstyles::UPS_HOT : visualstyles::UPS_NORMAL;
        if (!isEnabled())
            state = visualstyles::UPS_DISABLED;
        visualstyles::DrawThemeBackground(theme, p, part, state, r);
        visualstyles::CloseThemeData(theme);
        paintFocus(p);
        return;
    }
    if (FButtonDirection == bdLeft || FButtonDirection == bdRight || FGlyph.isNull()) {
        visualstyles::DrawClassicArrow(this, p, part, isDown(), FFlat, r);
        paintFocus(p);
        return;
    }
    // Classic speed button with its glyph.
    QStyleOptionButton opt;
    opt.initFrom(this);
    opt.rect = r;
    opt.state |= isDown() ? QStyle::State_Sunken : QStyle::State_Raised;
    if (!FFlat || isDown() || FMouseOver)
        style()->drawPrimitive(QStyle::PE_PanelButtonBevel, &opt, &p, this);
    // The image of the state from a strip of NumGlyphs.
    const int w = FGlyph.width() / FNumGlyphs;
    int index = 0;
    if (!isEnabled() && FNumGlyphs > 1)
        index = 1;
    else if (isDown() && FNumGlyphs > 2)
        index = 2;
    const QPoint at = r.center() - QPoint(w / 2, FGlyph.height() / 2) + (isDown() ? QPoint(1, 1) : QPoint());
    p.drawPixmap(at, FGlyph, QRect(index * w, 0, w, FGlyph.height()));
    paintFocus(p);
}

void DAvoRorurAroruDadaze::paintFocus(QPainter& p)
{
    if (!FFocusShown)
        return;
    QStyleOptionFocusRect fr;
    fr.initFrom(this);
    fr.rect = rect().adjusted(2, 2, -2, -2);
    style()->drawPrimitive(QStyle::PE_FrameFocusRect, &fr, &p, this);
}
