#include "platform/grid/DrawUtils.h"

#include <QPainter>
#include <QStyle>
#include <QStyleOption>
#include <QWidget>

namespace tk {

namespace {

QColor Role(const QPalette& pal, TColor c)
{
    return ToQColor(c, pal);
}

void Line(QPainter& p, const QColor& c, int x1, int y1, int x2, int y2)
{
    p.setPen(c);
    p.drawLine(x1, y1, x2, y2);
}

// One ring of edges: top-left colour and bottom-right colour.
void Ring(QPainter& p, QRect& r, const QColor& tl, const QColor& br, int flags)
{
    if (r.width() <= 0 || r.height() <= 0)
        return;
    p.save();
    if (flags & BF_LEFT)
        Line(p, tl, r.left(), r.top(), r.left(), r.bottom());
    if (flags & BF_TOP)
        Line(p, tl, r.left(), r.top(), r.right(), r.top());
    if (flags & BF_RIGHT)
        Line(p, br, r.right(), r.top(), r.right(), r.bottom());
    if (flags & BF_BOTTOM)
        Line(p, br, r.left(), r.bottom(), r.right(), r.bottom());
    p.restore();
    if (flags & BF_LEFT) r.setLeft(r.left() + 1);
    if (flags & BF_TOP) r.setTop(r.top() + 1);
    if (flags & BF_RIGHT) r.setRight(r.right() - 1);
    if (flags & BF_BOTTOM) r.setBottom(r.bottom() - 1);
}

} // namespace

void DrawEdge(QPainter& p, QRect& rect, int edge, int flags, const QPalette& pal)
{
    QRect r = rect;
    const QColor hi = Role(pal, gfx::clBtnHighlight);
    const QColor light = Role(pal, gfx::cl3DLight);
    const QColor shadow = Role(pal, gfx::clBtnShadow);
    const QColor dark = Role(pal, gfx::cl3DDkShadow);
    const QColor face = Role(pal, gfx::clBtnFace);
    const QColor frame = Role(pal, gfx::clWindowFrame);
    const bool mono = flags & BF_MONO;
    const bool flat = flags & BF_FLAT;
    // outer ring
    if (edge & (BDR_RAISEDOUTER | BDR_SUNKENOUTER)) {
        QColor tl, br;
        if (mono) {
            tl = br = frame;
        } else if (flat) {
            tl = br = shadow;
        } else if (edge & BDR_RAISEDOUTER) {
            tl = light;
            br = dark;
        } else {
            tl = shadow;
            br = hi;
        }
        Ring(p, r, tl, br, flags);
    }
    if (edge & (BDR_RAISEDINNER | BDR_SUNKENINNER)) {
        QColor tl, br;
        if (mono) {
            tl = br = face;
        } else if (flat) {
            tl = br = face;
        } else if (edge & BDR_RAISEDINNER) {
            tl = hi;
            br = shadow;
        } else {
            tl = dark;
            br = light;
        }
        Ring(p, r, tl, br, flags);
    }
    if (flags & BF_ADJUST)
        rect = r;
}

void DrawFocusRect(QPainter& p, const QRect& rect, const QWidget* widget)
{
    p.save();
    QPen pen(widget ? widget->palette().color(QPalette::Text) : QColor(Qt::black));
    pen.setStyle(Qt::DotLine);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    p.drawRect(rect.adjusted(0, 0, -1, -1));
    p.restore();
}

namespace {
void ApplyState(QStyleOption& opt, TThemeState state)
{
    // The part's own state counts, not whether the pointer is somewhere over the whole widget.
    opt.state &= ~(QStyle::State_MouseOver | QStyle::State_Sunken);
    opt.state |= QStyle::State_Enabled;
    if (state == tsHot)
        opt.state |= QStyle::State_MouseOver;
    else if (state == tsPressed)
        opt.state |= QStyle::State_Sunken;
    else if (state == tsDisabled)
        opt.state &= ~QStyle::State_Enabled;
}
} // namespace

void DrawThemedHeader(QPainter& p, const QRect& rect, TThemeState state, const QWidget* widget)
{
    QStyleOptionHeader opt;
    if (widget)
        opt.initFrom(widget);
    opt.rect = rect;
    ApplyState(opt, state);
    QStyle* s = widget ? widget->style() : nullptr;
    if (s)
        s->drawControl(QStyle::CE_HeaderSection, &opt, &p, widget);
}

void DrawThemedButton(QPainter& p, const QRect& rect, TThemeState state, const QWidget* widget)
{
    QStyleOptionButton opt;
    if (widget)
        opt.initFrom(widget);
    opt.rect = rect;
    ApplyState(opt, state);
    if (state != tsPressed)
        opt.state |= QStyle::State_Raised;
    if (widget)
        widget->style()->drawPrimitive(QStyle::PE_PanelButtonCommand, &opt, &p, widget);
}

void DrawThemedCheckBox(QPainter& p, const QRect& rect, int check, TThemeState state, const QWidget* widget)
{
    QStyleOptionButton opt;
    if (widget)
        opt.initFrom(widget);
    opt.rect = rect;
    ApplyState(opt, state);
    opt.state |= check == 1 ? QStyle::State_On : check == 2 ? QStyle::State_NoChange : QStyle::State_Off;
    if (widget)
        widget->style()->drawPrimitive(QStyle::PE_IndicatorCheckBox, &opt, &p, widget);
}

void DrawThemedBranch(QPainter& p, const QRect& rect, bool expanded, const QWidget* widget)
{
    QStyleOption opt;
    if (widget)
        opt.initFrom(widget);
    opt.rect = rect;
    opt.state |= QStyle::State_Children;
    if (expanded)
        opt.state |= QStyle::State_Open;
    if (widget)
        widget->style()->drawPrimitive(QStyle::PE_IndicatorBranch, &opt, &p, widget);
}

void DrawThemedDropDown(QPainter& p, const QRect& rect, TThemeState state, const QWidget* widget)
{
    QStyleOption opt;
    if (widget)
        opt.initFrom(widget);
    opt.rect = rect;
    ApplyState(opt, state);
    if (widget)
        widget->style()->drawPrimitive(QStyle::PE_IndicatorArrowDown, &opt, &p, widget);
}

} // namespace tk

namespace tk {
namespace {
bool g_themesEnabled = true;
}
bool ThemesEnabled()
{
    return g_themesEnabled;
}
void SetThemesEnabled(bool value)
{
    g_themesEnabled = value;
}
} // namespace tk
