#pragma once
// Drawing helpers over QPainter for painted controls: the classic 3-D edges (DrawEdge), the focus
// rectangle, and themed parts drawn through QStyle (header sections, push-button bevels, check-box
// indicators, branch indicators, drop-down arrows).
#include "platform/grid/GridColors.h"
#include <QPalette>
#include <QRect>

class QPainter;
class QWidget;

namespace tk {

// Edge kinds and sides, as the classic DrawEdge takes them.
enum TEdgeFlag {
    BDR_RAISEDOUTER = 0x1, BDR_SUNKENOUTER = 0x2, BDR_RAISEDINNER = 0x4, BDR_SUNKENINNER = 0x8,
    EDGE_RAISED = BDR_RAISEDOUTER | BDR_RAISEDINNER, EDGE_SUNKEN = BDR_SUNKENOUTER | BDR_SUNKENINNER,
    EDGE_ETCHED = BDR_SUNKENOUTER | BDR_RAISEDINNER, EDGE_BUMP = BDR_RAISEDOUTER | BDR_SUNKENINNER,
};
enum TEdgeSide {
    BF_LEFT = 0x1, BF_TOP = 0x2, BF_RIGHT = 0x4, BF_BOTTOM = 0x8,
    BF_TOPLEFT = BF_TOP | BF_LEFT, BF_BOTTOMRIGHT = BF_BOTTOM | BF_RIGHT,
    BF_RECT = BF_LEFT | BF_TOP | BF_RIGHT | BF_BOTTOM,
    BF_ADJUST = 0x2000, BF_FLAT = 0x4000, BF_MONO = 0x8000,
};

// Draws the edges inside `rect`; with BF_ADJUST the rectangle is shrunk by the drawn edges.
void DrawEdge(QPainter& p, QRect& rect, int edge, int flags, const QPalette& pal);
inline void DrawEdge(QPainter& p, const QRect& rect, int edge, int flags, const QPalette& pal)
{
    QRect r = rect;
    DrawEdge(p, r, edge, flags & ~BF_ADJUST, pal);
}

// The system focus rectangle (dotted) around `rect`.
void DrawFocusRect(QPainter& p, const QRect& rect, const QWidget* widget);

// Themed parts through the widget's style. State: 0 normal, 1 hot, 2 pressed, 3 disabled.
enum TThemeState { tsNormal, tsHot, tsPressed, tsDisabled };
void DrawThemedHeader(QPainter& p, const QRect& rect, TThemeState state, const QWidget* widget);
void DrawThemedButton(QPainter& p, const QRect& rect, TThemeState state, const QWidget* widget);
// check: 0 unchecked, 1 checked, 2 mixed
void DrawThemedCheckBox(QPainter& p, const QRect& rect, int check, TThemeState state, const QWidget* widget);
void DrawThemedBranch(QPainter& p, const QRect& rect, bool expanded, const QWidget* widget);
void DrawThemedDropDown(QPainter& p, const QRect& rect, TThemeState state, const QWidget* widget);

} // namespace tk

namespace tk {
// Whether fixed cells, buttons and check boxes are drawn by the style (the desktop's themes).
bool ThemesEnabled();
void SetThemesEnabled(bool value);
} // namespace tk
