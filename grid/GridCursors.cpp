#include "grid/GridCursors.h"

#include <QBitmap>
#include <QHash>
#include <QImage>

static void initGridCursorResources()
{
    Q_INIT_RESOURCE(GridCursors);
}

namespace grid {

namespace {

QPixmap resourcePixmap(const QString& name)
{
    static bool loaded = false;
    if (!loaded) {
        initGridCursorResources();
        loaded = true;
    }
    return QPixmap(QStringLiteral(":/grid/cursors/") + name + QStringLiteral(".xpm"));
}

QPoint hotSpot(int id)
{
    switch (id) {
    case crRowSelect:
        return {24, 16};
    case crColSelect:
        return {15, 25};
    case crSelectAll:
        return {23, 23};
    default:
        return {16, 16};   // the pan cursors: the dot in the middle
    }
}

} // namespace

QCursor GridCursor(int id)
{
    static QHash<int, QCursor> cache;
    const auto it = cache.constFind(id);
    if (it != cache.constEnd())
        return *it;
    const bool known = (id >= crPanStill && id <= crPanDownLeft) || (id >= crRowSelect && id <= crSelectAll);
    const QPixmap pm = known ? resourcePixmap(QString::number(id)) : QPixmap();
    const QCursor cursor = pm.isNull() ? QCursor(Qt::ArrowCursor) : QCursor(pm, hotSpot(id).x(), hotSpot(id).y());
    cache.insert(id, cursor);
    return cursor;
}

int ZoneCursorId(int zone)
{
    switch (zone) {
    case czColHeader:
        return crColSelect;
    case czRowHeader:
        return crRowSelect;
    case czSelectAll:
    case czResizer:
        return crSelectAll;
    default:
        return 0;
    }
}

int PanCursorId(int dx, int dy)
{
    if (dx == 0)
        return dy < 0 ? crPanUp : dy > 0 ? crPanDown : crPanStill;
    if (dy == 0)
        return dx < 0 ? crPanLeft : crPanRight;
    if (dy < 0)
        return dx > 0 ? crPanUpRight : crPanUpLeft;
    return dx > 0 ? crPanDownRight : crPanDownLeft;
}

QPixmap PanGlyph(const QString& name)
{
    if (name != QLatin1String("INTLI1") && name != QLatin1String("INTLI2") && name != QLatin1String("INTLI3"))
        return QPixmap();
    QPixmap pm = resourcePixmap(name);
    if (pm.isNull())
        return pm;
    const QImage image = pm.toImage();
    pm.setMask(QBitmap::fromImage(image.createMaskFromColor(image.pixel(0, 0), Qt::MaskInColor)));
    return pm;
}

} // namespace grid
