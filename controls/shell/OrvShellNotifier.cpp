#include "controls/shell/OrvShellNotifier.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/inotify.h>
#include <unistd.h>

namespace {

constexpr uint32_t kWatchMask = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_CLOSE_WRITE | IN_MODIFY
                                | IN_ATTRIB | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR | IN_EXCL_UNLINK;

QString Join(const QString& dir, const QString& name)
{
    if (name.isEmpty())
        return dir;
    return dir.endsWith(QLatin1Char('/')) ? dir + name : dir + QLatin1Char('/') + name;
}

QString StripSlash(QString dir)
{
    while (dir.size() > 1 && dir.endsWith(QLatin1Char('/')))
        dir.chop(1);
    return dir;
}

// The mount points of the process's mount table (field 5 of /proc/self/mountinfo, octal escapes
// decoded), in table order.
QStringList ReadMountPoints()
{
    QFile f(QStringLiteral("/proc/self/mountinfo"));
    QStringList points;
    if (!f.open(QIODevice::ReadOnly))
        return points;
    const QList<QByteArray> lines = f.readAll().split('\n');
    for (const QByteArray& line : lines) {
        const QList<QByteArray> fields = line.split(' ');
        if (fields.size() < 5)
            continue;
        QByteArray raw = fields[4], point;
        for (int i = 0; i < raw.size(); ++i) {
            if (raw[i] == '\\' && i + 3 < raw.size()) {
                point += char(raw.mid(i + 1, 3).toInt(nullptr, 8));
                i += 3;
            } else {
                point += raw[i];
            }
        }
        points << QString::fromLocal8Bit(point);
    }
    return points;
}

// The sub-folders of a folder (symbolic links not followed), read without a stat per entry
// where the file system reports the entry type.
QStringList SubFolders(const QString& dir)
{
    QStringList subs;
    const QByteArray dir8 = QFile::encodeName(dir);
    DIR* d = ::opendir(dir8.constData());
    if (!d)
        return subs;
    while (dirent* e = ::readdir(d)) {
        if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0)
            continue;
        bool isDir = e->d_type == DT_DIR;
        if (e->d_type == DT_UNKNOWN) {
            struct stat st;
            isDir = ::fstatat(::dirfd(d), e->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode);
        }
        if (isDir)
            subs << QFile::decodeName(e->d_name);
    }
    ::closedir(d);
    return subs;
}

} // namespace

TOrvShellChangeNotifier::TOrvShellChangeNotifier(QObject* owner) : QObject(owner)
{
    m_clock.start();
    Now = [this] { return m_clock.elapsed(); };
    m_filter = AllNotificationEvents;
}

TOrvShellChangeNotifier::~TOrvShellChangeNotifier()
{
    SetEnabled(false);
}

void TOrvShellChangeNotifier::SetDirectories(const QStringList& dirs)
{
    Unregister();
    m_dirs.clear();
    for (const QString& d : dirs) {
        const QString dir = d.isEmpty() ? d : StripSlash(d);
        bool present = false;
        for (const QString& e : std::as_const(m_dirs))
            present = present || e.compare(dir, Qt::CaseInsensitive) == 0;
        if (!present)
            m_dirs << dir;
    }
    std::sort(m_dirs.begin(), m_dirs.end(), [](const QString& a, const QString& b) { return a.compare(b, Qt::CaseInsensitive) < 0; });
    DirectoriesChanged();
}

void TOrvShellChangeNotifier::AddDirectory(const QString& dir)
{
    QStringList dirs = m_dirs;
    dirs << dir;
    SetDirectories(dirs);
}

void TOrvShellChangeNotifier::ClearDirectories()
{
    SetDirectories({});
}

void TOrvShellChangeNotifier::DirectoriesChanged()
{
    if (m_dirs.size() > 1 && m_dirs.first().isEmpty())
        m_dirs.removeFirst();
    if (m_enabled)
        Register();
}

void TOrvShellChangeNotifier::SetEnabled(bool on)
{
    m_enabled = on;
    if (on)
        Register();
    else
        Unregister();
}

void TOrvShellChangeNotifier::SetRecursive(bool on)
{
    if (on == m_recursive)
        return;
    m_recursive = on;
    Renew();
}

void TOrvShellChangeNotifier::SetEventFilter(TNotificationEvents filter)
{
    if (filter == m_filter)
        return;
    m_filter = filter;
    Renew();
}

void TOrvShellChangeNotifier::Renew()
{
    if (!m_registered)
        return;
    Unregister();
    Register();
}

void TOrvShellChangeNotifier::Register()
{
    if (!m_enabled || m_registered)
        return; // registered entries stay as they are
    if (m_dirs.isEmpty())
        m_dirs << QString();
    for (const QString& dir : std::as_const(m_dirs)) {
        if (dir.isEmpty()) {
            // The drives folder: the mount table is read again and again.
            if (!m_mountTimer) {
                m_mountTimer = new QTimer(this);
                connect(m_mountTimer, &QTimer::timeout, this, &TOrvShellChangeNotifier::PollMounts);
            }
            m_mounts = ReadMountPoints();
            m_mountTimer->start(MountPollInterval);
            continue;
        }
        if (m_fd < 0) {
            m_fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
            if (m_fd < 0)
                continue;
            m_reader = new QSocketNotifier(m_fd, QSocketNotifier::Read, this);
            connect(m_reader, &QSocketNotifier::activated, this, &TOrvShellChangeNotifier::ReadEvents);
        }
        WatchTree(dir, m_recursive);
    }
    m_registered = true;
}

void TOrvShellChangeNotifier::Unregister()
{
    if (m_mountTimer)
        m_mountTimer->stop();
    if (m_fd >= 0) {
        delete m_reader;
        m_reader = nullptr;
        ::close(m_fd); // removes every watch
        m_fd = -1;
    }
    m_watches.clear();
    m_recursiveWatch.clear();
    m_registered = false;
}

int TOrvShellChangeNotifier::AddWatch(const QString& dir)
{
    if (m_fd < 0 || m_watches.size() >= WatchBudget)
        return -1;
    const int wd = inotify_add_watch(m_fd, QFile::encodeName(dir).constData(), kWatchMask);
    if (wd >= 0)
        m_watches.insert(wd, StripSlash(dir));
    return wd;
}

void TOrvShellChangeNotifier::WatchTree(const QString& dir, bool recursive)
{
    const int wd = AddWatch(dir);
    if (wd < 0)
        return;
    m_recursiveWatch.insert(wd, recursive);
    if (!recursive)
        return;
    // Breadth first, so a budget that runs out leaves the deepest branches unwatched.
    QStringList level{dir};
    while (!level.isEmpty() && m_watches.size() < WatchBudget) {
        QStringList next;
        for (const QString& d : std::as_const(level)) {
            for (const QString& s : SubFolders(d)) {
                const QString path = Join(d, s);
                const int w = AddWatch(path);
                if (w < 0)
                    continue;
                m_recursiveWatch.insert(w, true);
                next << path;
            }
        }
        level = next;
    }
}

void TOrvShellChangeNotifier::RemoveWatchesBelow(const QString& dir)
{
    const QString prefix = dir + QLatin1Char('/');
    for (auto it = m_watches.begin(); it != m_watches.end();) {
        if (it.value() == dir || it.value().startsWith(prefix)) {
            if (m_fd >= 0)
                inotify_rm_watch(m_fd, it.key());
            m_recursiveWatch.remove(it.key());
            it = m_watches.erase(it);
        } else {
            ++it;
        }
    }
}

void TOrvShellChangeNotifier::RenameWatches(const QString& from, const QString& to)
{
    const QString prefix = from + QLatin1Char('/');
    for (auto it = m_watches.begin(); it != m_watches.end(); ++it) {
        if (it.value() == from)
            it.value() = to;
        else if (it.value().startsWith(prefix))
            it.value() = to + it.value().mid(from.size());
    }
}

void TOrvShellChangeNotifier::ReadEvents()
{
    QByteArray all;
    char buf[16384];
    for (;;) {
        const ssize_t n = ::read(m_fd, buf, sizeof buf);
        if (n > 0) {
            all.append(buf, n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        break;
    }
    if (!all.isEmpty())
        ProcessRecords(all);
}

void TOrvShellChangeNotifier::ProcessRecords(const QByteArray& records)
{
    struct Pending {
        uint32_t cookie = 0;
        QString path;
        bool dir = false;
        bool set = false;
    } from;
    auto flushFrom = [&] {
        if (!from.set)
            return;
        // Moved out of the watched tree: gone from here.
        if (from.dir)
            RemoveWatchesBelow(from.path);
        Accept(from.dir ? neFolderDelete : neFileDelete, from.path, QString());
        from = Pending();
    };

    qsizetype pos = 0;
    while (pos + qsizetype(sizeof(inotify_event)) <= records.size()) {
        inotify_event ev;
        std::memcpy(&ev, records.constData() + pos, sizeof ev);
        const char* namePtr = records.constData() + pos + sizeof(inotify_event);
        pos += qsizetype(sizeof(inotify_event)) + ev.len;
        if (pos > records.size())
            break;
        const QString name = ev.len ? QFile::decodeName(QByteArray(namePtr, qstrnlen(namePtr, ev.len))) : QString();

        if (ev.mask & IN_Q_OVERFLOW) {
            flushFrom();
            QStringList folders = m_watches.values();
            std::sort(folders.begin(), folders.end());
            for (const QString& f : std::as_const(folders))
                Accept(neFolderUpdate, f, QString());
            continue;
        }
        if (ev.mask & IN_IGNORED) {
            m_watches.remove(ev.wd);
            m_recursiveWatch.remove(ev.wd);
            continue;
        }
        const auto folder = m_watches.constFind(ev.wd);
        if (folder == m_watches.cend())
            continue;
        const QString dir = folder.value();
        const bool recursive = m_recursiveWatch.value(ev.wd, false);
        const QString path = Join(dir, name);
        const bool isDir = ev.mask & IN_ISDIR;

        if (ev.mask & IN_MOVED_TO) {
            if (from.set && from.cookie == ev.cookie) {
                if (from.dir)
                    RenameWatches(from.path, path);
                Accept(isDir ? neFolderRename : neFileRename, from.path, path);
                from = Pending();
                continue;
            }
            flushFrom();
            if (isDir && recursive)
                WatchTree(path, true);
            Accept(isDir ? neFolderCreate : neFileCreate, path, QString());
            continue;
        }
        flushFrom();
        if (ev.mask & IN_MOVED_FROM) {
            from.cookie = ev.cookie;
            from.path = path;
            from.dir = isDir;
            from.set = true;
            continue;
        }
        if (ev.mask & IN_CREATE) {
            if (isDir && recursive)
                WatchTree(path, true);
            Accept(isDir ? neFolderCreate : neFileCreate, path, QString());
        } else if (ev.mask & IN_DELETE) {
            Accept(isDir ? neFolderDelete : neFileDelete, path, QString());
        } else if (ev.mask & (IN_CLOSE_WRITE | IN_MODIFY)) {
            if (!isDir)
                Accept(neFileChange, path, QString());
        } else if (ev.mask & IN_ATTRIB) {
            Accept(neAttributesChange, path, QString());
        }
    }
    flushFrom();
}

void TOrvShellChangeNotifier::PollMounts()
{
    const QStringList now = ReadMountPoints();
    if (now == m_mounts)
        return;
    const QStringList before = m_mounts;
    m_mounts = now;
    for (const QString& p : before)
        if (!now.contains(p))
            Accept(neDriveRemove, p, QString());
    for (const QString& p : now)
        if (!before.contains(p))
            Accept(neDriveAdd, p, QString());
}

void TOrvShellChangeNotifier::Accept(TNotificationEvent event, const QString& path1, const QString& path2)
{
    if (!(m_filter & NotifySet(event)))
        return;
    const qint64 now = Now ? Now() : m_clock.elapsed();
    if (m_haveLast && event == m_lastEvent && !path1.isEmpty() && path1 == m_lastPath && now - m_lastTime < RepeatInterval)
        return;
    m_haveLast = true;
    m_lastEvent = event;
    m_lastPath = path1;
    m_lastTime = now;
    Notify(event, path1, path2);
}

void TOrvShellChangeNotifier::Notify(TNotificationEvent event, const QString& path1, const QString& path2)
{
    if (!OnChange)
        return;
    QMetaObject::invokeMethod(
        this,
        [this, event, path1, path2] {
            if (m_enabled && OnChange)
                OnChange(this, event, path1, path2);
        },
        Qt::QueuedConnection);
}
