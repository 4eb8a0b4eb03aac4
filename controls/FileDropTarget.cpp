#include "controls/FileDropTarget.h"

#include <QDragEnterEvent>
#include <QDragLeaveEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>
#include <QWidget>
#include <stdexcept>

TDropTarget::TDropTarget(QObject* owner) : QObject(owner) {}

TDropTarget::~TDropTarget()
{
    try {
        Unregister();
    } catch (...) {
    }
}

void TDropTarget::Register(QWidget* control)
{
    if (control && control == m_target && m_registered)
        return;
    if (m_target)
        Unregister();
    if (!control)
        throw std::runtime_error("Failed to Register ");
    m_target = control;
    control->setAcceptDrops(true);
    control->installEventFilter(this);
    m_registered = true;
}

void TDropTarget::Unregister()
{
    m_registered = false;
    if (!m_target)
        return;
    m_target->removeEventFilter(this);
    m_target->setAcceptDrops(false);
    m_target = nullptr;
}

Qt::DropAction TDropTarget::GetDropEffect(Qt::KeyboardModifiers keys) const
{
    Qt::DropAction effect = Qt::IgnoreAction;
    if (Dragtypes & (1u << dtCopy))
        effect = Qt::CopyAction;
    else if (Dragtypes & (1u << dtMove))
        effect = Qt::MoveAction;
    else if (Dragtypes & (1u << dtLink))
        effect = Qt::LinkAction;
    if (OnGetDropEffect)
        OnGetDropEffect(keys, effect);
    return effect;
}

bool TDropTarget::eventFilter(QObject* watched, QEvent* e)
{
    if (watched != m_target || !m_registered)
        return QObject::eventFilter(watched, e);
    switch (e->type()) {
    case QEvent::DragEnter: {
        auto* ev = static_cast<QDragEnterEvent*>(e);
        ClearData();
        m_dataValid = HasValidFormats(ev->mimeData());
        Qt::DropAction effect = GetDropEffect(ev->modifiers());
        if (!m_dataValid) {
            ev->ignore();
            return true;
        }
        if (GetDataOnEnter && !GetData(ev->mimeData()))
            effect = Qt::IgnoreAction;
        if (effect == Qt::IgnoreAction) {
            ev->ignore();
        } else {
            ev->setDropAction(effect);
            ev->accept();
        }
        if (OnEnter)
            OnEnter(ev->position().toPoint());
        return true;
    }
    case QEvent::DragMove: {
        auto* ev = static_cast<QDragMoveEvent*>(e);
        if (!m_dataValid) {
            ev->ignore();
            return true;
        }
        const Qt::DropAction effect = GetDropEffect(ev->modifiers());
        if (effect == Qt::IgnoreAction) {
            ev->ignore();
        } else {
            ev->setDropAction(effect);
            ev->accept();
        }
        if (OnDragOver)
            OnDragOver(ev->position().toPoint());
        return true;
    }
    case QEvent::DragLeave:
        ClearData();
        m_dataValid = false;
        if (OnLeave)
            OnLeave();
        return true;
    case QEvent::Drop: {
        auto* ev = static_cast<QDropEvent*>(e);
        Qt::DropAction effect = HasValidFormats(ev->mimeData()) ? GetDropEffect(ev->modifiers()) : Qt::IgnoreAction;
        if (effect != Qt::IgnoreAction && !GetDataOnEnter && !GetData(ev->mimeData()))
            effect = Qt::IgnoreAction;
        if (effect == Qt::IgnoreAction) {
            ev->ignore();
        } else {
            ev->setDropAction(effect);
            ev->accept();
            if (OnDrop)
                OnDrop(effect == Qt::MoveAction ? dtMove : effect == Qt::LinkAction ? dtLink : dtCopy,
                       ev->position().toPoint());
        }
        ClearData();
        m_dataValid = false;
        return true;
    }
    default:
        return QObject::eventFilter(watched, e);
    }
}

TDropFileTarget::TDropFileTarget(QObject* owner) : TDropTarget(owner) {}

bool TDropFileTarget::HasValidFormats(const QMimeData* data) const
{
    if (!data || !data->hasUrls())
        return false;
    for (const QUrl& u : data->urls())
        if (u.isLocalFile())
            return true;
    return false;
}

bool TDropFileTarget::GetData(const QMimeData* data)
{
    Files.clear();
    if (!data)
        return false;
    for (const QUrl& u : data->urls())
        if (u.isLocalFile())
            Files << u.toLocalFile();
    return !Files.isEmpty();
}
