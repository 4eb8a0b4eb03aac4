#pragma once
// TORVForm: the base of our windows. A window is designed at 96 dots per inch; the base form
// scales its client size and size constraints to the screen's logical dots per inch.
#include <QWidget>
#include <functional>

enum TFormBorderStyle { bsNone, bsSingle, bsSizeable, bsDialog, bsToolWindow, bsSizeToolWin };

// The size a window was designed with (outer size at 96 dpi, like a stored form).
struct TFormDesign {
    int Width = 0;
    int Height = 0;
    TFormBorderStyle BorderStyle = bsSizeable;
    // False for a window with neither caption text nor border icons: no caption height then.
    bool HasCaption = true;
    int MinWidth = 0, MinHeight = 0, MaxWidth = 0, MaxHeight = 0;
};

// v at 96 dpi, else (v * dpi + 48) div 96.
int OrvScale(int v, int dpi);
// The client size of a designed window at dpi.
QSize OrvScaledClientSize(const TFormDesign& design, int dpi);
// A constraint value (0 stays 0) scaled like the client size; height selects the caption rule.
int OrvScaledConstraint(const TFormDesign& design, int value, bool height, int dpi);

class TORVForm : public QWidget {
    Q_OBJECT
public:
    explicit TORVForm(const TFormDesign& design, QWidget* parent = nullptr);

    const TFormDesign& Design() const { return FDesign; }
    // The logical dots per inch the window scales to.
    int ScreenDpi() const;

    // Raised by DoCreate, after the constraints are scaled.
    std::function<void()> OnCreate;

protected:
    // Scales the size constraints and raises OnCreate. A derived window calls it once at the
    // end of its constructor, when its controls exist.
    virtual void DoCreate();

private:
    TFormDesign FDesign;
};
