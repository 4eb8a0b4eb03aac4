#include "excreport/SivrelScreen.h"
#include <QGuiApplication>
#include <QPainter>
#include <QPixmap>
#include <QScreen>
#include <QtGui/qguiapplication_platform.h>
// Xlib's macros stay below every Qt header.
#include <X11/Xlib.h>
#include <X11/extensions/Xfixes.h>

namespace excreport {

QImage SivrelCursorImage(QPoint* topLeft)
{
    auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
    auto* x11 = app ? app->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    Display* display = x11 ? x11->display() : nullptr;
    int event = 0, error = 0;
    if (!display || !XFixesQueryExtension(display, &event, &error))
        return QImage();
    XFixesCursorImage* cursor = XFixesGetCursorImage(display);
    if (!cursor)
        return QImage();
    QImage image(int(cursor->width), int(cursor->height), QImage::Format_ARGB32_Premultiplied);
    // One premultiplied ARGB pixel in each (long) element.
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x)
            line[x] = QRgb(cursor->pixels[y * image.width() + x] & 0xFFFFFFFFu);
    }
    if (topLeft)
        *topLeft = QPoint(cursor->x - cursor->xhot, cursor->y - cursor->yhot);
    XFree(cursor);
    return image;
}

QImage SivrelGrabScreen()
{
    QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen)
        return QImage();
    QImage picture = screen->grabWindow(0).toImage();
    if (picture.isNull())
        return picture;
    QPoint at;
    const QImage cursor = SivrelCursorImage(&at);
    if (!cursor.isNull()) {
        // Screen coordinates to picture pixels.
        const QRect geometry = screen->geometry();
        const double scale = geometry.width() > 0 ? double(picture.width()) / geometry.width() : 1.0;
        QPainter painter(&picture);
        painter.drawImage(QPointF((at.x() - geometry.x()) * scale, (at.y() - geometry.y()) * scale), cursor);
    }
    return picture;
}

} // namespace excreport
