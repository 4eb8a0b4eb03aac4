#include "controls/ORVForm.h"

#include <QGuiApplication>
#include <QScreen>

int OrvScale(int v, int dpi)
{
    if (dpi == 96)
        return v;
    return (v * dpi + 48) / 96;
}

static int BorderReduction(TFormBorderStyle s) { return (s == bsSizeable || s == bsDialog) ? 8 : 0; }

QSize OrvScaledClientSize(const TFormDesign& d, int dpi)
{
    const int r = BorderReduction(d.BorderStyle);
    const int caption = d.HasCaption ? 19 : 0;
    return QSize(OrvScale(d.Width - r, dpi), OrvScale(d.Height - r - caption, dpi));
}

int OrvScaledConstraint(const TFormDesign& d, int value, bool height, int dpi)
{
    if (value == 0)
        return 0;
    const int r = BorderReduction(d.BorderStyle);
    const int caption = height && d.HasCaption ? 19 : 0;
    return OrvScale(value - r - caption, dpi);
}

TORVForm::TORVForm(const TFormDesign& design, QWidget* parent) : QWidget(parent, Qt::Window), FDesign(design)
{
    resize(OrvScaledClientSize(design, ScreenDpi()));
}

int TORVForm::ScreenDpi() const
{
    const QScreen* s = screen() ? screen() : QGuiApplication::primaryScreen();
    return s ? qRound(s->logicalDotsPerInchX()) : 96;
}

void TORVForm::DoCreate()
{
    // Qt's size constraints apply to the client area, so the frame needs no allowance.
    const int dpi = ScreenDpi();
    if (FDesign.MinWidth || FDesign.MinHeight)
        setMinimumSize(OrvScaledConstraint(FDesign, FDesign.MinWidth, false, dpi),
                       OrvScaledConstraint(FDesign, FDesign.MinHeight, true, dpi));
    if (FDesign.MaxWidth || FDesign.MaxHeight)
        setMaximumSize(FDesign.MaxWidth ? OrvScaledConstraint(FDesign, FDesign.MaxWidth, false, dpi) : QWIDGETSIZE_MAX,
                       FDesign.MaxHeight ? OrvScaledConstraint(FDesign, FDesign.MaxHeight, true, dpi) : QWIDGETSIZE_MAX);
    if (OnCreate)
        OnCreate();
}
