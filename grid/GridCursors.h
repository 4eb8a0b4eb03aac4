#pragma once
// The grid's own cursors and the middle-button pan glyphs, drawn by cursors/make_cursors.py.
#include <QCursor>
#include <QPixmap>
#include <QString>

namespace grid {

enum : int {
    crPanStill = 8000, crPanDown = 8001, crPanLeft = 8002, crPanRight = 8003, crPanUp = 8004,
    crPanUpRight = 8005, crPanUpLeft = 8006, crPanDownRight = 8007, crPanDownLeft = 8008,
    crRowSelect = 8010, crColSelect = 8011, crSelectAll = 8012,
};

// Where the pointer stands for the header and selection cursors.
enum TCursorZone : int { czNone = 0, czColHeader = 1, czRowHeader = 2, czSelectAll = 3, czResizer = 5 };

// One of the cursors above; the arrow cursor for an unknown id.
QCursor GridCursor(int id);
// The cursor id of a zone (0 for none).
int ZoneCursorId(int zone);
// The pan cursor for a direction: dx, dy each -1, 0 or 1 (dy 1 is down).
int PanCursorId(int dx, int dy);
// "INTLI1" (both directions), "INTLI2" (horizontal), "INTLI3" (vertical), 32 x 32, with the colour
// of its top-left pixel transparent. Null for another name.
QPixmap PanGlyph(const QString& name);

} // namespace grid
