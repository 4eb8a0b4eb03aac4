#pragma once
// Visual-styles access for our own painted controls. On Linux the "theme library" is the
// application's QStyle: it is always there, and it counts as active unless the classic
// "Windows" style is in use. Only the calls our controls need are offered.
#include <QRect>
#include <QString>

class QPainter;
class QWidget;

namespace visualstyles {

// Theme part numbers of the "spin" class.
enum SpinPart { SPNP_UP = 1, SPNP_DOWN = 2, SPNP_UPHORZ = 3, SPNP_DOWNHORZ = 4 };
// Part states: 1 normal, 2 hot (mouse over), 3 pressed, 4 disabled.
enum SpinState { UPS_NORMAL = 1, UPS_HOT = 2, UPS_PRESSED = 3, UPS_DISABLED = 4 };

// Takes hold of the style once per process; true when a style is available (a QApplication exists).
bool Load();
bool Loaded();
void Release();

// True while the application's style draws themed controls (anything but the classic style).
bool IsThemeActive();

// A theme handle: the class name opened for a widget. Invalid (null widget) when not loaded.
struct HTheme {
    QWidget* widget = nullptr;
    bool spin = false; // the "spin" class was asked for
    explicit operator bool() const { return widget != nullptr; }
};

HTheme OpenThemeData(QWidget* widget, const QString& classList);
void CloseThemeData(HTheme& theme);
// Draws one part of the opened class into rect on painter. Returns false for unknown parts.
bool DrawThemeBackground(const HTheme& theme, QPainter& painter, int part, int state, const QRect& rect);

// The classic (unthemed) look of a spin arrow: a tool-button panel with an arrow.
void DrawClassicArrow(QWidget* widget, QPainter& painter, int part, bool pushed, bool flat, const QRect& rect);

}
