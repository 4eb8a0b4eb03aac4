#include "controls/VisualStyles.h"

#include <QApplication>
#include <QPainter>
#include <QStyle>
#include <QStyleOption>
#include <QWidget>

namespace visualstyles {
namespace {
bool g_loaded = false;
}

bool Load()
{
    if (g_loaded)
        return true;
    g_loaded = qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr;
    return g_loaded;
}

bool Loaded() { return g_loaded; }

void Release() { g_loaded = false; }

bool IsThemeActive()
{
    if (!Load())
        return false;
    QStyle* style = QApplication::style();
    return style && style->name().compare(QLatin1String("windows"), Qt::CaseInsensitive) != 0;
}

HTheme OpenThemeData(QWidget* widget, const QString& classList)
{
    HTheme t;
    if (!Load() || !widget)
        return t;
    t.widget = widget;
    t.spin = classList.compare(QLatin1String("spin"), Qt::CaseInsensitive) == 0;
    return t;
}

void CloseThemeData(HTheme& theme) { theme = HTheme(); }

static QStyle::PrimitiveElement arrowFor(int part)
{
    switch (part) {
    case SPNP_UP: return QStyle::PE_IndicatorArrowUp;
    case SPNP_DOWN: return QStyle::PE_IndicatorArrowDown;
    case SPNP_UPHORZ: return QStyle::PE_IndicatorArrowRight;
    default: return QStyle::PE_IndicatorArrowLeft;
    }
}

bool DrawThemeBackground(const HTheme& theme, QPainter& painter, int part, int state, const QRect& rect)
{
    if (!theme || !theme.spin || part < SPNP_UP || part > SPNP_DOWNHORZ)
        return false;
    QStyle* style = theme.widget->style();
    QStyleOptionToolButton opt;
    opt.initFrom(theme.widget);
    opt.rect = rect;
    opt.state &= ~(QStyle::State_MouseOver | QStyle::State_Sunken | QStyle::State_Raised);
    switch (state) {
    case UPS_HOT: opt.state |= QStyle::State_MouseOver | QStyle::State_Raised | QStyle::State_AutoRaise; break;
    case UPS_PRESSED: opt.state |= QStyle::State_Sunken | QStyle::State_On; break;
    case UPS_DISABLED: opt.state &= ~QStyle::State_Enabled; break;
    default: opt.state |= QStyle::State_Raised; break;
    }
    style->drawPrimitive(QStyle::PE_PanelButtonTool, &opt, &painter, theme.widget);
    QStyleOption arrow = opt;
    arrow.rect = rect.adjusted(2, 1, -2, -1);
    style->drawPrimitive(arrowFor(part), &arrow, &painter, theme.widget);
    return true;
}

void DrawClassicArrow(QWidget* widget, QPainter& painter, int part, bool pushed, bool flat, const QRect& rect)
{
    QStyle* style = widget->style();
    QStyleOptionButton opt;
    opt.initFrom(widget);
    opt.rect = rect;
    opt.state |= pushed ? QStyle::State_Sunken : QStyle::State_Raised;
    if (flat)
        opt.features |= QStyleOptionButton::Flat;
    if (!flat || pushed)
        style->drawPrimitive(QStyle::PE_PanelButtonBevel, &opt, &painter, widget);
    QStyleOption arrow = opt;
    arrow.rect = rect.adjusted(2, 1, -2, -1);
    if (pushed)
        arrow.rect.translate(1, 1);
    style->drawPrimitive(arrowFor(part), &arrow, &painter, widget);
}

}
