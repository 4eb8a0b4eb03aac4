#include "platform/graphics/VisualStyles.h"

#include "platform/grid/DrawUtils.h"

#include <QApplication>
#include <QPainter>
#include <QStyle>
#include <QStyleOption>
#include <QWidget>

namespace visualstyles {
namespace {
bool g_loaded = false;
int g_loadCount = 0;
ThemeName g_themeName;
}

bool LoadThemeLibrary()
{
    if (g_loaded)
        return true;
    g_loaded = qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr;
    if (g_loaded)
        ++g_loadCount;
    return g_loaded;
}

bool ThemeLibraryLoaded() { return g_loaded; }

void FreeThemeLibrary() { g_loaded = false; }

int ThemeLibraryLoadCount() { return g_loadCount; }

ThemeName GetCurrentThemeName() { return g_themeName; }

void SetCurrentThemeNameForTest(const ThemeName& name) { g_themeName = name; }

bool IsThemeActive()
{
    if (!LoadThemeLibrary())
        return false;
    QStyle* style = QApplication::style();
    return style && style->name().compare(QLatin1String("windows"), Qt::CaseInsensitive) != 0;
}

HTheme OpenThemeData(QWidget* widget, const QString& classList)
{
    HTheme t;
    if (!LoadThemeLibrary() || !widget)
        return t;
    auto is = [&](const char* name) { return classList.compare(QLatin1String(name), Qt::CaseInsensitive) == 0; };
    if (is("spin"))
        t.cls = ThemeClass::Spin;
    else if (is("button"))
        t.cls = ThemeClass::Button;
    else if (is("combobox"))
        t.cls = ThemeClass::Combobox;
    else if (is("progress"))
        t.cls = ThemeClass::Progress;
    else
        return t; // a class this facade does not know: no handle
    t.widget = widget;
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

static tk::TThemeState pushStateOf(int state)
{
    switch (state) {
    case 2: return tk::tsHot;
    case 3: return tk::tsPressed;
    case 4: return tk::tsDisabled;
    default: return tk::tsNormal;
    }
}

static bool drawButtonPart(const HTheme& theme, QPainter& painter, int part, int state, const QRect& rect)
{
    if (part == BP_PUSHBUTTON) {
        tk::DrawThemedButton(painter, rect, pushStateOf(state), theme.widget);
        return true;
    }
    if (part != BP_CHECKBOX && part != BP_RADIOBUTTON)
        return false;
    if (state < 1 || state > (part == BP_CHECKBOX ? 12 : 8))
        return false;
    const int check = (state - 1) / 4;       // 0 unchecked, 1 checked, 2 mixed
    const int sub = (state - 1) % 4 + 1;     // normal, hot, pressed, disabled
    if (part == BP_CHECKBOX) {
        tk::DrawThemedCheckBox(painter, rect, check, pushStateOf(sub), theme.widget);
        return true;
    }
    QStyleOptionButton opt;
    opt.initFrom(theme.widget);
    opt.rect = rect;
    opt.state &= ~(QStyle::State_On | QStyle::State_Off | QStyle::State_MouseOver | QStyle::State_Sunken);
    opt.state |= check ? QStyle::State_On : QStyle::State_Off;
    if (sub == 2)
        opt.state |= QStyle::State_MouseOver;
    else if (sub == 3)
        opt.state |= QStyle::State_Sunken;
    else if (sub == 4)
        opt.state &= ~QStyle::State_Enabled;
    theme.widget->style()->drawPrimitive(QStyle::PE_IndicatorRadioButton, &opt, &painter, theme.widget);
    return true;
}

static bool drawProgressPart(const HTheme& theme, QPainter& painter, int part, const QRect& rect)
{
    QStyleOptionProgressBar opt;
    opt.initFrom(theme.widget);
    opt.rect = rect;
    opt.minimum = 0;
    opt.maximum = 100;
    opt.textVisible = false;
    switch (part) {
    case PP_BAR:
    case PP_BARVERT:
        opt.progress = 0;
        theme.widget->style()->drawControl(QStyle::CE_ProgressBarGroove, &opt, &painter, theme.widget);
        return true;
    case PP_CHUNK:
    case PP_CHUNKVERT:
        // The chunk fills the whole rectangle it is given.
        opt.progress = 100;
        theme.widget->style()->drawControl(QStyle::CE_ProgressBarContents, &opt, &painter, theme.widget);
        return true;
    default: return false;
    }
}

static bool drawPart(const HTheme& theme, QPainter& painter, int part, int state, const QRect& rect);

bool DrawThemeBackground(const HTheme& theme, QPainter& painter, int part, int state, const QRect& rect)
{
    if (!theme)
        return false;
    // Some styles draw a part's shadow or frame a little outside the rectangle they are given;
    // a part never paints over its neighbours.
    painter.save();
    painter.setClipRect(rect, Qt::IntersectClip);
    const bool drawn = drawPart(theme, painter, part, state, rect);
    painter.restore();
    return drawn;
}

static bool drawPart(const HTheme& theme, QPainter& painter, int part, int state, const QRect& rect)
{
    switch (theme.cls) {
    case ThemeClass::Button: return drawButtonPart(theme, painter, part, state, rect);
    case ThemeClass::Combobox:
        if (part != CP_DROPDOWNBUTTON)
            return false;
        tk::DrawThemedDropDown(painter, rect, pushStateOf(state), theme.widget);
        return true;
    case ThemeClass::Progress: return drawProgressPart(theme, painter, part, rect);
    case ThemeClass::Spin: break;
    case ThemeClass::None: return false;
    }
    if (part < SPNP_UP || part > SPNP_DOWNHORZ)
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
