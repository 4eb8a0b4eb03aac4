#pragma once
// TOrvShellChangeNotifier: watches a set of folders and reports every change in them as an event
// with two paths (created, deleted, renamed with old and new path, changed, attributes changed, a
// folder to be read again). Folders are watched with inotify in the main thread; an empty entry
// stands for the drives (the mounted volumes). Notices reach OnChange through a queued call in the
// order they happened; the same notice for the same path within 2500 ms is reported once.
#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

class QSocketNotifier;
class QTimer;

enum TNotificationEvent {
    neAssociationChange, neAttributesChange, neFileChange, neFileCreate, neFileDelete, neFileRename,
    neDriveAdd, neDriveRemove, neShellDriveAdd, neDriveSpaceChange, neMediaInsert, neMediaRemove,
    neFolderCreate, neFolderDelete, neFolderRename, neFolderUpdate, neNetShare, neNetUnShare,
    neServerDisconnect, neImageListChange, neUnknown
};
// A set of events: bit n stands for the event at position n.
using TNotificationEvents = quint32;
constexpr TNotificationEvents NotifySet(TNotificationEvent e) { return TNotificationEvents(1) << unsigned(e); }
template <typename... E>
constexpr TNotificationEvents NotifySet(TNotificationEvent e, E... rest) { return NotifySet(e) | NotifySet(rest...); }
constexpr TNotificationEvents AllNotificationEvents = (TNotificationEvents(1) << unsigned(neUnknown)) - 1;

class TOrvShellChangeNotifier : public QObject {
    Q_OBJECT
public:
    using TChangeEvent = std::function<void(TOrvShellChangeNotifier* sender, TNotificationEvent event,
                                            const QString& path1, const QString& path2)>;
    // Most watches one notifier holds; a deeper branch beyond it stays unwatched.
    static constexpr int WatchBudget = 8192;
    // A repeated notice within this many milliseconds is dropped.
    static constexpr qint64 RepeatInterval = 2500;

    explicit TOrvShellChangeNotifier(QObject* owner = nullptr);
    ~TOrvShellChangeNotifier() override;

    // Folders to watch: sorted, case-insensitive, no duplicates; "" is the drives folder.
    QStringList Directories() const { return m_dirs; }
    void SetDirectories(const QStringList& dirs);
    void AddDirectory(const QString& dir);
    void ClearDirectories();

    bool Enabled() const { return m_enabled; }
    void SetEnabled(bool on);
    bool Recursive() const { return m_recursive; }
    void SetRecursive(bool on);
    TNotificationEvents EventFilter() const { return m_filter; }
    void SetEventFilter(TNotificationEvents filter);
    bool Registered() const { return m_registered; }
    // Number of folders under watch (for tests and diagnostics).
    int WatchCount() const { return int(m_watches.size()); }

    TChangeEvent OnChange;
    // Milliseconds of a monotonic clock; replaceable for tests.
    std::function<qint64()> Now;
    // How often the mount table is read for the drives folder (milliseconds).
    int MountPollInterval = 2000;

    // Handles raw inotify records as if read from the watch descriptor (used by the reader; open
    // for tests that need records the kernel rarely produces, such as a queue overflow).
    void ProcessRecords(const QByteArray& records);

protected:
    // Called for every accepted notice; queues the OnChange call.
    virtual void Notify(TNotificationEvent event, const QString& path1, const QString& path2);

private:
    void Register();
    void Unregister();
    void Renew();
    void DirectoriesChanged();
    void WatchTree(const QString& dir, bool recursive);
    int AddWatch(const QString& dir);
    void RemoveWatchesBelow(const QString& dir);
    void RenameWatches(const QString& from, const QString& to);
    void ReadEvents();
    void PollMounts();
    void Accept(TNotificationEvent event, const QString& path1, const QString& path2);

    QStringList m_dirs;
    bool m_enabled = true;
    bool m_recursive = true;
    bool m_registered = false;
    TNotificationEvents m_filter = AllNotificationEvents;
    int m_fd = -1;
    QSocketNotifier* m_reader = nullptr;
    QHash<int, QString> m_watches; // watch descriptor -> folder path (no trailing "/")
    QHash<int, bool> m_recursiveWatch;
    QTimer* m_mountTimer = nullptr;
    QStringList m_mounts;
    // the last accepted notice
    TNotificationEvent m_lastEvent = neUnknown;
    QString m_lastPath;
    qint64 m_lastTime = 0;
    bool m_haveLast = false;
    QElapsedTimer m_clock;
};
