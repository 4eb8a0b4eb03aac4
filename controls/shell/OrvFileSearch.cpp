#include "controls/shell/OrvFileSearch.h"

#include "platform/app/Synchronize.h"

#include <QCoreApplication>
#include <QDate>
#include <QDateTime>
#include <QFile>
#include <QStorageInfo>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

qint64 Msecs(const struct statx_timestamp& t)
{
    return qint64(t.tv_sec) * 1000 + t.tv_nsec / 1000000;
}

bool StatAt(int dirFd, const char* name, TFindData& d)
{
    struct statx sx;
    if (::statx(dirFd, name, AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT, STATX_BASIC_STATS | STATX_BTIME, &sx) != 0)
        return false;
    d.IsDir = S_ISDIR(sx.stx_mode);
    d.IsSymLink = S_ISLNK(sx.stx_mode);
    d.Size = d.IsDir ? 0 : qint64(sx.stx_size);
    d.CreationTime = (sx.stx_mask & STATX_BTIME) ? Msecs(sx.stx_btime) : -1;
    d.AccessTime = Msecs(sx.stx_atime);
    d.WriteTime = Msecs(sx.stx_mtime);
    d.Device = (quint64(sx.stx_dev_major) << 32) | sx.stx_dev_minor;
    return true;
}

// File systems that hold no user files.
bool IsPseudoFileSystem(const QByteArray& type)
{
    static const QList<QByteArray> pseudo = {
        "proc", "sysfs", "devtmpfs", "devpts", "cgroup", "cgroup2", "securityfs", "pstore", "debugfs", "tracefs",
        "mqueue", "hugetlbfs", "configfs", "fusectl", "bpf", "autofs", "binfmt_misc", "nsfs", "rpc_pipefs",
        "efivarfs", "selinuxfs", "fuse.gvfsd-fuse", "fuse.portal", "ramfs", "squashfs"};
    return pseudo.contains(type);
}

} // namespace

void EnumerateFolder(const QString& dir, const std::function<bool(const TFindData&)>& each)
{
    const QByteArray encoded = QFile::encodeName(dir);
    const int fd = ::open(encoded.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    DIR* d = ::fdopendir(fd);
    if (!d) {
        ::close(fd);
        return;
    }
    std::vector<QByteArray> names;
    while (dirent* e = ::readdir(d))
        names.emplace_back(e->d_name);
    std::sort(names.begin(), names.end());
    for (const QByteArray& n : names) {
        TFindData data;
        data.Name = QFile::decodeName(n);
        if (n != "." && n != ".." && !StatAt(fd, n.constData(), data))
            continue;
        if (!each(data))
            break;
    }
    ::closedir(d);
}

bool FindDataOf(const QString& path, TFindData& data)
{
    QString p = path;
    while (p.size() > 1 && p.endsWith(QLatin1Char('/')))
        p.chop(1);
    data.Name = p.mid(p.lastIndexOf(QLatin1Char('/')) + 1);
    return StatAt(AT_FDCWD, QFile::encodeName(p).constData(), data);
}

qint64 DateTimeToUtcMsecs(double dateTime)
{
    const double days = std::floor(dateTime);
    const qint64 msOfDay = qint64(std::llround((dateTime - days) * 86400000.0));
    const QDateTime local(QDate(1899, 12, 30).addDays(qint64(days)), QTime(0, 0), Qt::LocalTime);
    return local.addMSecs(msOfDay).toMSecsSinceEpoch();
}

void TOrvSearchOptions::SetFilter(const QString& value)
{
    m_filter = value.isEmpty() ? QStringLiteral("*") : value;
    m_masks.clear();
    const QStringList pieces = m_filter.split(QLatin1Char(';'));
    for (int i = 0; i < pieces.size() && i < 255; ++i) {
        QString piece = pieces[i].trimmed();
        if (piece.isEmpty())
            break;
        if (!piece.contains(QLatin1Char('*')) && !piece.contains(QLatin1Char('?')))
            piece = QLatin1Char('*') + piece + QLatin1Char('*');
        m_masks << piece;
    }
    m_masks8.clear();
    for (const QString& m : std::as_const(m_masks))
        m_masks8 << QFile::encodeName(m);
}

bool TOrvSearchOptions::NameMatches(const QByteArray& name) const
{
    for (const QByteArray& m : m_masks8)
        if (::fnmatch(m.constData(), name.constData(), FNM_CASEFOLD) == 0)
            return true;
    return false;
}

bool TOrvSearchOptions::Matches(const TFindData& d) const
{
    if (d.Name == QLatin1String(".") || d.Name == QLatin1String(".."))
        return false;
    if (FilesOnly && d.IsDir)
        return false;
    if (!NameMatches(QFile::encodeName(d.Name)))
        return false;
    if (d.Size < MinFileSize)
        return false;
    if (MaxFileSize >= 0 && d.Size > MaxFileSize)
        return false;
    if (d.Name.startsWith(QLatin1Char('.')) && !IncludeHidden)
        return false;
    auto outside = [](qint64 time, double max, double min) {
        if (max > 1.0 && time > DateTimeToUtcMsecs(max))
            return true;
        return min > 1.0 && time < DateTimeToUtcMsecs(min);
    };
    // Without a recorded creation time the creation bounds do not apply.
    if (d.CreationTime >= 0 && outside(d.CreationTime, CreationDateMax, CreationDateMin))
        return false;
    if (outside(d.AccessTime, AccessDateMax, AccessDateMin))
        return false;
    if (outside(d.WriteTime, LastWriteDateMax, LastWriteDateMin))
        return false;
    return true;
}

QStringList ReadyVolumeRoots()
{
    QStringList roots;
    for (const QStorageInfo& s : QStorageInfo::mountedVolumes()) {
        if (!s.isValid() || !s.isReady() || IsPseudoFileSystem(s.fileSystemType()))
            continue;
        QString root = s.rootPath();
        if (!root.endsWith(QLatin1Char('/')))
            root += QLatin1Char('/');
        if (!roots.contains(root))
            roots << root;
    }
    return roots;
}

TOrvFileSearchThread::TOrvFileSearchThread(const TOrvSearchOptions& options, const QString& folder)
    : m_options(options), m_folder(folder), m_state(std::make_shared<State>())
{
    connect(this, &QThread::finished, this, &QObject::deleteLater);
}

TOrvFileSearchThread::~TOrvFileSearchThread() = default;

void TOrvFileSearchThread::Call(const std::function<void(const QString&)>& fn, const QString& path)
{
    if (!fn || m_state->Stop)
        return;
    m_pending.emplace_back(&fn, path);
    // Handed over in small batches: one blocking call per file would make the search wait for
    // the main thread a thousand times.
    if (m_pending.size() >= 128 || m_sinceFlush.elapsed() >= 25)
        Flush();
}

void TOrvFileSearchThread::Flush()
{
    m_sinceFlush.restart();
    if (m_pending.empty())
        return;
    std::vector<std::pair<const std::function<void(const QString&)>*, QString>> calls;
    calls.swap(m_pending);
    if (m_state->Stop)
        return;
    const std::shared_ptr<State> state = m_state;
    try {
        platform::Synchronize([&] {
            for (const auto& [fn, path] : calls) {
                // Each call is dropped once the stop was asked for or the owner let go.
                if (state->Stop || state->Released)
                    return;
                try {
                    (*fn)(path);
                } catch (...) {
                    // A failing add ends nothing but this one call.
                }
            }
        });
    } catch (...) {
    }
}

bool TOrvFileSearchThread::Descend(const TFindData& d, bool sameDeviceOnly, quint64 device) const
{
    return m_options.RecursiveSearch && d.IsDir && !d.IsSymLink && d.Name != QLatin1String(".") && d.Name != QLatin1String("..")
           && (m_options.IncludeHidden || !d.Name.startsWith(QLatin1Char('.'))) && (!sameDeviceOnly || d.Device == device);
}

void TOrvFileSearchThread::Search(const QString& dir, bool sameDeviceOnly, quint64 device)
{
    if (!Enumerate) {
        SearchFileSystem(dir, sameDeviceOnly, device);
        return;
    }
    QStringList folders;
    Enumerate(dir, [&](const TFindData& d) {
        if (m_state->Stop)
            return false;
        if (m_options.Matches(d)) {
            Call(Found, dir + d.Name);
            Call(Progress, dir + d.Name);
        } else if (Progress && d.Name != QLatin1String(".") && d.Name != QLatin1String("..")) {
            Call(Progress, dir + d.Name);
        }
        if (Descend(d, sameDeviceOnly, device))
            folders << d.Name;
        return true;
    });
    for (const QString& f : std::as_const(folders)) {
        if (m_state->Stop)
            return;
        Search(dir + f + QLatin1Char('/'), sameDeviceOnly, device);
    }
}

// The same walk straight on the file system: the entry type comes from the folder listing, and
// only names that pass the masks (and folders on a search of every volume) are looked at closer.
void TOrvFileSearchThread::SearchFileSystem(const QString& dir, bool sameDeviceOnly, quint64 device)
{
    const int fd = ::open(QFile::encodeName(dir).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    DIR* d = ::fdopendir(fd);
    if (!d) {
        ::close(fd);
        return;
    }
    std::vector<std::pair<QByteArray, unsigned char>> entries;
    while (dirent* e = ::readdir(d)) {
        if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0)
            entries.emplace_back(QByteArray(e->d_name), e->d_type);
        if (m_state->Stop)
            break;
    }
    std::sort(entries.begin(), entries.end());
    QStringList folders;
    for (const auto& [name8, type] : entries) {
        if (m_state->Stop)
            break;
        const bool nameOk = m_options.NameMatches(name8);
        TFindData data;
        data.IsDir = type == DT_DIR;
        data.IsSymLink = type == DT_LNK;
        if ((nameOk || type == DT_UNKNOWN || (data.IsDir && sameDeviceOnly)) && !StatAt(fd, name8.constData(), data))
            continue;
        const bool descend = m_options.RecursiveSearch && data.IsDir && !data.IsSymLink;
        if (!nameOk && !Progress && !descend)
            continue;
        data.Name = QFile::decodeName(name8);
        if (nameOk && m_options.Matches(data)) {
            Call(Found, dir + data.Name);
            Call(Progress, dir + data.Name);
        } else if (Progress) {
            Call(Progress, dir + data.Name);
        }
        if (Descend(data, sameDeviceOnly, device))
            folders << data.Name;
    }
    ::closedir(d);
    for (const QString& f : std::as_const(folders)) {
        if (m_state->Stop)
            return;
        SearchFileSystem(dir + f + QLatin1Char('/'), sameDeviceOnly, device);
    }
}

void TOrvFileSearchThread::run()
{
    m_sinceFlush.start();
    if (!m_folder.isEmpty()) {
        Search(m_folder.endsWith(QLatin1Char('/')) ? m_folder : m_folder + QLatin1Char('/'), false, 0);
    } else {
        // Every volume on its own; a search does not wander into the volumes mounted inside it.
        for (const QString& root : ReadyVolumeRoots()) {
            if (m_state->Stop)
                break;
            TFindData rootData;
            if (FindDataOf(root, rootData))
                Search(root, true, rootData.Device);
        }
    }
    Flush();
    const std::shared_ptr<State> state = m_state;
    const std::function<void()> ended = Ended;
    if (QCoreApplication* app = QCoreApplication::instance())
        QMetaObject::invokeMethod(
            app,
            [state, ended] {
                if (!state->Released && ended)
                    ended();
            },
            Qt::QueuedConnection);
}
