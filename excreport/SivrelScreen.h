#pragma once
// The screen picture of a report: the primary screen with the mouse pointer drawn on it. GUI
// thread (or the helper process) only.
#include <QImage>
#include <QPoint>

namespace excreport {

// The pointer's picture and its top-left corner in screen coordinates, from the X server's
// XFixes extension; a null image on other platforms or when the server lacks the extension.
QImage SivrelCursorImage(QPoint* topLeft);
// The primary screen's picture with the pointer on it; a null image when there is no screen.
QImage SivrelGrabScreen();

} // namespace excreport
