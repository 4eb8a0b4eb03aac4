// The string grid's window-level messages: characters offered to the window's shortcuts first, a
// move ended by losing the window, and the notifications of its combo and date editors.
#include "grid/ZodUvuz.h"

#include <QCursor>
#include <QKeyEvent>
#include <QPainter>
#include <QPixmap>

namespace grid {

bool TZedEzeravIvur::event(QEvent* event)
{
    if (event->type() == QEvent::ShortcutOverride) {
        auto* key = static_cast<QKeyEvent*>(event);
        const Qt::KeyboardModifiers mods = key->modifiers() & ~(Qt::ShiftModifier | Qt::KeypadModifier);
        const QString text = key->text();
        if (mods == Qt::NoModifier && !text.isEmpty() && text.at(0).isPrint()) {
            // Claimed: it arrives as a key press, and no plain-letter shortcut of the window fires.
            event->accept();
            return true;
        }
    }
    // The application gave the grid another cursor: the pointer's zone counts no longer until the
    // pointer moves again (the grid's own cursors are set on its viewport).
    if (event->type() == QEvent::CursorChange) {
        // The viewport's cursor changes arrive here too: only a change of the grid's own counts.
        const QCursor c = cursor();
        const QString key = testAttribute(Qt::WA_SetCursor)
                                ? QString::number(int(c.shape())) + QLatin1Char('/') + QString::number(c.pixmap().cacheKey())
                                : QString();
        if (key != m_ownCursorKey) {
            m_ownCursorKey = key;
            m_cursorZone = 0;
            m_zoneCleared = true;
        }
    }
    // Losing the window ends a row or column move: nothing moves, no marker stays.
    if (event->type() == QEvent::WindowDeactivate
        && (GridState() == tk::gsColMoving || GridState() == tk::gsRowMoving)) {
        CancelMode();
        hideMoveMarkers();
    }
    // The grid's own paint event paints its frame: the flat frame of the modern looks goes over it.
    if (event->type() == QEvent::Paint && m_updateCount == 0 && FlatFrameShown()) {
        const bool done = TBaseGrid::event(event);
        QPainter painter(this);
        DrawFrameBorder(painter);
        return done;
    }
    return TBaseGrid::event(event);
}

void TZedEzeravIvur::ComboCloseUp()
{
    if (OnComboCloseUp)
        OnComboCloseUp(this, Row(), Col());
}

void TZedEzeravIvur::DateTimeChanged(const QDateTime& value)
{
    if (OnDateTimeChange)
        OnDateTimeChange(this, Col(), Row(), value);
}

} // namespace grid
