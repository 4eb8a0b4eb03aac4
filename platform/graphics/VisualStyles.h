#pragma once
// Visual-styles access for our own painted controls. On Linux the "theme library" is the
// application's QStyle: it can be loaded while a QApplication exists, and it counts as active
// unless the classic "Windows" style is in use. Only the calls our controls need are offered:
// the "spin", "button", "combobox" and "Progress" classes.
#include <QRect>
#include <QString>

class QPainter;
class QWidget;

namespace visualstyles {

// Theme part numbers of the "spin" class.
enum SpinPart { SPNP_UP = 1, SPNP_DOWN = 2, SPNP_UPHORZ = 3, SPNP_DOWNHORZ = 4 };
// Part states: 1 normal, 2 hot (mouse over), 3 pressed, 4 disabled.
enum SpinState { UPS_NORMAL = 1, UPS_HOT = 2, UPS_PRESSED = 3, UPS_DISABLED = 4 };

// Part numbers of the "button", "combobox" and "Progress" classes.
enum ButtonPart { BP_PUSHBUTTON = 1, BP_RADIOBUTTON = 2, BP_CHECKBOX = 3 };
enum ComboPart { CP_DROPDOWNBUTTON = 1 };
enum ProgressPart { PP_BAR = 1, PP_BARVERT = 2, PP_CHUNK = 3, PP_CHUNKVERT = 4 };
// Push-button states (1 normal, 2 hot, 3 pressed, 4 disabled, 5 default); check boxes and radio
// buttons: 1-4 unchecked, 5-8 checked, 9-12 mixed (check boxes only), each normal/hot/pressed/disabled.
enum ButtonState { PBS_NORMAL = 1, PBS_HOT = 2, PBS_PRESSED = 3, PBS_DISABLED = 4, PBS_DEFAULTED = 5 };
enum CheckState { CBS_UNCHECKEDNORMAL = 1, CBS_CHECKEDNORMAL = 5, CBS_MIXEDNORMAL = 9 };
// Drop-down button states: 1 normal, 2 hot, 3 pressed, 4 disabled.
enum ComboState { CBXS_NORMAL = 1, CBXS_HOT = 2, CBXS_PRESSED = 3, CBXS_DISABLED = 4 };

// Takes hold of the style; true when a style is available (a QApplication exists). Loading again
// while loaded changes nothing; one FreeThemeLibrary releases it.
bool LoadThemeLibrary();
bool ThemeLibraryLoaded();
void FreeThemeLibrary();
// How many times the library was actually taken (not counting loads while loaded).
int ThemeLibraryLoadCount();

// True while the application's style draws themed controls (anything but the classic style).
bool IsThemeActive();

// A theme handle: the class name opened for a widget. Invalid (null widget) when not loaded.
enum class ThemeClass { None, Spin, Button, Combobox, Progress };
struct HTheme {
    QWidget* widget = nullptr;
    ThemeClass cls = ThemeClass::None;
    explicit operator bool() const { return widget != nullptr; }
};

HTheme OpenThemeData(QWidget* widget, const QString& classList);
void CloseThemeData(HTheme& theme);
// Draws one part of the opened class into rect on painter. Returns false for unknown parts.
bool DrawThemeBackground(const HTheme& theme, QPainter& painter, int part, int state, const QRect& rect);

// File, colour scheme and size names of the current visual style. Linux styles have no colour
// schemes, so all three are empty unless a test set them.
struct ThemeName {
    QString fileName;
    QString colorName;
    QString sizeName;
};
ThemeName GetCurrentThemeName();
void SetCurrentThemeNameForTest(const ThemeName& name);

// The classic (unthemed) look of a spin arrow: a tool-button panel with an arrow.
void DrawClassicArrow(QWidget* widget, QPainter& painter, int part, bool pushed, bool flat, const QRect& rect);

}
