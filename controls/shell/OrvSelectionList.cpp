#include "controls/shell/OrvSelectionList.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QPainter>
#include <QStorageInfo>
#include <QStyle>
#include <QStyleOptionButton>

#include <dirent.h>
#include <sys/stat.h>

namespace {

const QString kAll = QStringLiteral("/*");

bool IsFolderEntry(const QString& entry)
{
    return entry.endsWith(kAll);
}

// "/a/b/*" -> "/a/b/"; a file path stays as it is.
QString FolderPrefix(const QString& entry)
{
    return IsFolderEntry(entry) ? entry.left(entry.size() - 1) : entry;
}

// The folder a folder entry stands for, without the trailing "/" (the root stays "/").
QString FolderOf(const QString& entry)
{
    QString f = entry.left(entry.size() - kAll.size());
    return f.isEmpty() ? QStringLiteral("/") : f;
}

// The folder entry of the folder holding a path or folder entry; empty at the top.
QString ParentEntry(const QString& entry)
{
    const QString path = IsFolderEntry(entry) ? FolderOf(entry) : entry;
    if (path == QLatin1String("/"))
        return QString();
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    if (slash < 0)
        return QString();
    return slash == 0 ? QStringLiteral("/*") : path.left(slash) + kAll;
}

// The entries of a folder's children: folders as folder entries.
QStringList ChildEntries(const QString& folder)
{
    QStringList children;
    const QString base = folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
    const QFileInfoList infos = QDir(base).entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    for (const QFileInfo& fi : infos)
        children << (fi.isDir() && !fi.isSymLink() ? base + fi.fileName() + kAll : base + fi.fileName());
    return children;
}

qint64 FileSize(const QString& path)
{
    struct stat st;
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0 || S_ISDIR(st.st_mode))
        return 0;
    return st.st_size;
}

void SumFolder(const QByteArray& dir, qint64& size, int& count, const std::function<bool()>& stop)
{
    DIR* d = ::opendir(dir.constData());
    if (!d)
        return;
    while (dirent* e = ::readdir(d)) {
        if (stop())
            break;
        const QByteArray name(e->d_name);
        if (name == "." || name == "..")
            continue;
        const QByteArray path = dir + '/' + name;
        struct stat st;
        if (::lstat(path.constData(), &st) != 0)
            continue;
        if (S_ISDIR(st.st_mode)) {
            SumFolder(path, size, count, stop);
        } else {
            size += st.st_size;
            ++count;
        }
    }
    ::closedir(d);
}

} // namespace

// ---- folder sizes -----------------------------------------------------------------------------

TOrvFolderSizeThread::TOrvFolderSizeThread(const QString& path, int sign, std::function<void(qint64, int)> done)
    : m_path(path), m_sign(sign), m_done(std::move(done))
{
    connect(this, &QThread::finished, this, &QObject::deleteLater);
}

void TOrvFolderSizeThread::run()
{
    qint64 size = 0;
    int count = 0;
    const QFileInfo fi(m_path);
    if (fi.isDir())
        SumFolder(QFile::encodeName(m_path), size, count, [this] { return isInterruptionRequested(); });
    else if (fi.exists()) {
        size = fi.size();
        count = 1;
    }
    if (QCoreApplication* app = QCoreApplication::instance())
        QMetaObject::invokeMethod(app, [done = m_done, s = m_sign * size, c = m_sign * count] { done(s, c); }, Qt::QueuedConnection);
}

// ---- the selection -----------------------------------------------------------------------------

TOrvSelectionList::TOrvSelectionList(QObject* owner)
    : QObject(owner), m_token(std::make_shared<TOrvSelectionList*>(this))
{
}

TOrvSelectionList::~TOrvSelectionList()
{
    *m_token = nullptr;
}

bool TOrvSelectionList::Normalize(QString& path)
{
    if (path.isEmpty() || path == QLatin1String(".") || path == QLatin1String(".."))
        return false;
    if (path.endsWith(QLatin1Char('*')))
        path.chop(1);
    QString p = path;
    while (p.size() > 1 && p.endsWith(QLatin1Char('/')))
        p.chop(1);
    if (p.isEmpty())
        return false;
    const QFileInfo fi(p);
    if (fi.isDir() && !fi.isSymLink()) {
        path = (p == QLatin1String("/") ? QString() : p) + kAll;
        return true;
    }
    if (fi.exists() || fi.isSymLink()) {
        path = p;
        return true;
    }
    return false;
}

QString TOrvSelectionList::ResolveShortcut(const QString& path) const
{
    if (!ResolveFolderShortcuts)
        return path;
    QString p = path;
    if (p.endsWith(QLatin1Char('*')))
        p.chop(1);
    while (p.size() > 1 && p.endsWith(QLatin1Char('/')))
        p.chop(1);
    const QFileInfo link(p + QStringLiteral("/target.lnk"));
    if (QFileInfo(p).isDir() && link.isSymLink()) {
        const QFileInfo target(link.symLinkTarget());
        if (target.isDir())
            return target.absoluteFilePath();
    }
    return path;
}

bool TOrvSelectionList::CoveredByFolderEntry(const QString& entry) const
{
    if (m_paths.contains(entry))
        return true;
    for (QString candidate = ParentEntry(entry); !candidate.isEmpty() && candidate != entry; candidate = ParentEntry(candidate))
        if (m_paths.contains(candidate))
            return true;
    return false;
}

TOrvSelectionState TOrvSelectionList::State(const QString& path, bool* viaFolder) const
{
    if (viaFolder)
        *viaFolder = false;
    if (path.isEmpty())
        return ssNone;
    QString p = ResolveShortcut(path);
    const QStorageInfo volume(p.endsWith(QLatin1Char('*')) ? p.left(p.size() - 1) : p);
    if (!volume.isValid() || !volume.isReady())
        return ssNone;
    if (!Normalize(p))
        return ssNone;
    if (m_paths.contains(p))
        return ssChecked;
    if (CoveredByFolderEntry(p)) {
        if (viaFolder)
            *viaFolder = true;
        return ssChecked;
    }
    // Something below it is selected: the prefix ends at a "/", so "/a/" is not below "/ab/".
    QString prefix = FolderPrefix(p);
    if (!prefix.endsWith(QLatin1Char('/')))
        prefix += QLatin1Char('/');
    for (const QString& e : m_paths)
        if (e.startsWith(prefix))
            return ssGrayed;
    return ssUnChecked;
}

void TOrvSelectionList::StartSize(const QString& path, int sign)
{
    ++m_pendingSizes;
    const std::shared_ptr<TOrvSelectionList*> token = m_token;
    auto* t = new TOrvFolderSizeThread(path, sign, [token](qint64 size, int files) {
        if (TOrvSelectionList* self = *token) {
            self->m_totalSize += size;
            self->m_fileCount += files;
            --self->m_pendingSizes;
        }
    });
    t->start(QThread::HighPriority);
}

void TOrvSelectionList::AddEntry(const QString& entry)
{
    if (IsFolderEntry(entry)) {
        StartSize(FolderOf(entry), +1);
    } else {
        const qint64 size = FileSize(entry);
        m_fileSizes.insert(entry, size);
        m_totalSize += size;
        ++m_fileCount;
    }
    m_paths << entry;
    Changed();
}

void TOrvSelectionList::RemoveEntry(int index)
{
    const QString entry = m_paths.at(index);
    if (IsFolderEntry(entry)) {
        StartSize(FolderOf(entry), -1);
    } else {
        // The size counted when it was added, so a file changed or gone since keeps the sum exact.
        m_totalSize -= m_fileSizes.take(entry);
        --m_fileCount;
    }
    m_paths.removeAt(index);
    Changed();
}

void TOrvSelectionList::RemoveBelow(const QString& folderEntry)
{
    QString prefix = FolderPrefix(folderEntry);
    if (!prefix.endsWith(QLatin1Char('/')))
        prefix += QLatin1Char('/');
    for (int i = int(m_paths.size()) - 1; i >= 0; --i)
        if (m_paths[i].startsWith(prefix) && m_paths[i] != folderEntry)
            RemoveEntry(i);
}

void TOrvSelectionList::Add(const QString& path)
{
    QString p = ResolveShortcut(path);
    if (!Normalize(p))
        return;
    const TOrvSelectionState state = State(p);
    if (state == ssChecked || state == ssNone)
        return;
    if (state == ssGrayed)
        RemoveBelow(p);
    AddEntry(p);
}

void TOrvSelectionList::Remove(const QString& path)
{
    QString p = ResolveShortcut(path);
    if (!Normalize(p))
        return;
    bool viaFolder = false;
    const TOrvSelectionState state = State(p, &viaFolder);
    if (state == ssChecked && !viaFolder) {
        RemoveEntry(int(m_paths.indexOf(p)));
    } else if (state == ssChecked) {
        // Expand the covering folder entry: from the path upward every sibling of the line
        // becomes an entry of its own, up to the covering entry, which is then removed.
        QString line = p;
        for (;;) {
            const QString parent = ParentEntry(line);
            if (parent.isEmpty())
                break;
            for (const QString& sibling : ChildEntries(FolderOf(parent)))
                if (sibling != line && !m_paths.contains(sibling))
                    AddEntry(sibling);
            const qsizetype covering = m_paths.indexOf(parent);
            if (covering >= 0) {
                RemoveEntry(int(covering));
                break;
            }
            line = parent;
        }
    } else if (state == ssGrayed) {
        RemoveBelow(p);
    }
}

void TOrvSelectionList::SetPaths(const QStringList& paths)
{
    const bool was = m_updating;
    m_updating = true;
    for (const QString& p : paths)
        Add(p);
    m_updating = was;
    if (!was)
        Changed();
}

void TOrvSelectionList::Clear()
{
    m_paths.clear();
    m_fileSizes.clear();
    m_totalSize = 0;
    m_fileCount = 0;
    Changed();
}

void TOrvSelectionList::EndUpdate()
{
    m_updating = false;
    Changed();
}

void TOrvSelectionList::Changed()
{
    if (OnChange)
        OnChange();
    if (m_updating)
        return;
    if (auto* link = qobject_cast<TOrvShellLink*>(parent()))
        link->TellAll();
}

bool TOrvSelectionList::AllChildrenSelected(const QString& folder) const
{
    QString entry = folder;
    if (!Normalize(entry))
        return false;
    if (m_paths.contains(entry))
        return true;
    if (!IsFolderEntry(entry))
        return false;
    const QStringList children = ChildEntries(FolderOf(entry));
    if (children.isEmpty())
        return false;
    for (const QString& child : children) {
        if (m_paths.contains(child))
            continue;
        if (!IsFolderEntry(child) || !AllChildrenSelected(child))
            return false;
    }
    return true;
}

QString TOrvSelectionList::CollapseUpward(const QString& path) const
{
    QString p = path;
    if (!Normalize(p))
        return path;
    QString found = path;
    for (QString parent = ParentEntry(p); !parent.isEmpty(); parent = ParentEntry(parent)) {
        if (!AllChildrenSelected(parent))
            break;
        found = FolderPrefix(parent);
    }
    return found;
}

// ---- the link ----------------------------------------------------------------------------------

TOrvShellLink::TOrvShellLink(QObject* owner) : QObject(owner), m_selection(new TOrvSelectionList(this))
{
}

TOrvShellLink::~TOrvShellLink()
{
    const QList<IOrvShellControl*> controls = m_controls;
    m_controls.clear();
    for (IOrvShellControl* c : controls)
        if (c->ShellLink() == this)
            c->SetShellLink(nullptr);
}

void TOrvShellLink::Join(IOrvShellControl* control)
{
    if (control && !m_controls.contains(control))
        m_controls << control;
}

void TOrvShellLink::Leave(IOrvShellControl* control)
{
    m_controls.removeAll(control);
}

void TOrvShellLink::TellOthers(IOrvShellControl* except)
{
    if (!Enabled)
        return;
    const QList<IOrvShellControl*> controls = m_controls;
    for (IOrvShellControl* c : controls)
        if (c != except)
            c->UpdateCheckStates();
}

// ---- state images ----------------------------------------------------------------------------

TOrvSelectionStateImageList::TOrvSelectionStateImageList()
{
    struct Look { bool checked, enabled; };
    const Look looks[] = {{false, true}, {false, false}, {true, true}, {false, true}, {true, false}};
    QStyle* style = QApplication::style();
    for (const Look& l : looks) {
        QPixmap pm(Size, Size);
        pm.fill(Qt::white);
        QPainter p(&pm);
        QStyleOptionButton opt;
        opt.rect = QRect(2, 2, Size - 3, Size - 3); // inset 2 at left and top, 1 at right and bottom
        opt.state = (l.checked ? QStyle::State_On : QStyle::State_Off) | (l.enabled ? QStyle::State_Enabled : QStyle::State_None);
        opt.palette = QApplication::palette();
        opt.palette.setCurrentColorGroup(l.enabled ? QPalette::Active : QPalette::Disabled);
        if (style)
            style->drawPrimitive(QStyle::PE_IndicatorCheckBox, &opt, &p);
        m_images << pm;
    }
}
