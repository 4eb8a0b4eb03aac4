#pragma once
// Drop targets for files dragged onto a control from a file manager. TDropTarget turns the drag
// events of one registered control into its own events; TDropFileTarget reads the dropped
// files' paths.
#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QStringList>
#include <functional>

class QMimeData;
class QWidget;

enum TDragType : unsigned { dtCopy, dtMove, dtLink };
using TDragTypes = unsigned; // bit n = member n
constexpr TDragTypes kAllDragTypes = 7;

class TDropTarget : public QObject {
    Q_OBJECT
public:
    explicit TDropTarget(QObject* owner = nullptr);
    ~TDropTarget() override;

    // Makes the control a drop target (another registered control is unregistered first).
    void Register(QWidget* control);
    void Unregister();
    bool Registered() const { return m_registered; }
    QWidget* Target() const { return m_target; }

    TDragTypes Dragtypes = kAllDragTypes;
    bool GetDataOnEnter = false;

    std::function<void(const QPoint& point)> OnEnter;
    std::function<void(const QPoint& point)> OnDragOver;
    std::function<void()> OnLeave;
    std::function<void(TDragType dragType, const QPoint& point)> OnDrop;
    std::function<void(Qt::KeyboardModifiers keys, Qt::DropAction& effect)> OnGetDropEffect;

    // The effect answered to the drag's source. Always a copy when copies are allowed: the
    // source must never delete its file because we answered "move".
    Qt::DropAction GetDropEffect(Qt::KeyboardModifiers keys) const;

protected:
    virtual bool GetData(const QMimeData* data) = 0;
    virtual void ClearData() = 0;
    virtual bool HasValidFormats(const QMimeData* data) const = 0;
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    QPointer<QWidget> m_target;
    bool m_registered = false;
    bool m_dataValid = false;
};

class TDropFileTarget : public TDropTarget {
    Q_OBJECT
public:
    explicit TDropFileTarget(QObject* owner = nullptr);
    // The dropped files' paths, in the order of the drop; valid inside OnDrop.
    QStringList Files;

protected:
    bool GetData(const QMimeData* data) override;
    void ClearData() override { Files.clear(); }
    bool HasValidFormats(const QMimeData* data) const override;
};
