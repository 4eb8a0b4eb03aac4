#include "controls/shell/Vantry.h"

#include <QApplication>
#include <QClipboard>
#include <QCursor>
#include <QDesktopServices>
#include <QDir>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QLocale>
#include <QMimeData>
#include <QMimeDatabase>
#include <QRegularExpression>
#include <QUrl>
#include <cmath>

namespace shell {

const QList<TShellColumn>& DefaultColumns()
{
    static const QList<TShellColumn> columns = {
        {QStringLiteral("Name"), Qt::AlignLeft, 150},
        {QStringLiteral("Size"), Qt::AlignRight, 60},
        {QStringLiteral("Type"), Qt::AlignLeft, 120},
        {QStringLiteral("Changed"), Qt::AlignLeft, 100},
    };
    return columns;
}

QString FormatFileSize(qint64 size)
{
    if (size > 0 && size < 1024)
        size = 1024;
    const double kb = std::round(double(size) / 1024.0);
    return QLocale().toString(kb, 'f', 0) + QStringLiteral(" KB");
}

bool IsDriveRoot(const QString& path)
{
    return path == QLatin1String("/");
}

QString ExtractFilePath(const QString& path)
{
    return path.left(path.lastIndexOf(QLatin1Char('/')) + 1);
}

QString ExtractFileName(const QString& path)
{
    return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}

qint64 GetFileSize64(const QString& path)
{
    const QFileInfo fi(path);
    return fi.exists() ? fi.size() : -1;
}

bool ObjectExists(const QString& path)
{
    return !path.isEmpty() && (QFileInfo::exists(path) || QFileInfo(path).isSymLink() || IsDriveRoot(path));
}

bool MatchesMask(const QString& name, const QString& mask)
{
    if (mask.isEmpty())
        return false;
    const QRegularExpression re(QRegularExpression::wildcardToRegularExpression(mask, QRegularExpression::UnanchoredWildcardConversion),
                                QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = re.match(name);
    return m.hasMatch() && m.capturedStart() == 0 && m.capturedLength() == name.size();
}

const QList<TShellVerb>& ContextMenuVerbs()
{
    static const QList<TShellVerb> verbs = {
        {QStringLiteral("open"), QStringLiteral("Öffnen")},
        {QStringLiteral("copy"), QStringLiteral("Kopieren")},
        {QStringLiteral("delete"), QStringLiteral("Löschen")},
    };
    return verbs;
}

} // namespace shell

using namespace shell;

TVantry::TVantry(QObject* owner) : QObject(owner)
{
    OpenFile = [](const QString& path) { return QDesktopServices::openUrl(QUrl::fromLocalFile(path)); };
}

void TVantry::SetFolder(const QString& value)
{
    if (!value.isEmpty() && (value == m_folder || value + QLatin1Char('/') == m_folder))
        return;
    QString folder = value;
    if (!folder.isEmpty()) {
        const QFileInfo fi(folder);
        if (!fi.isDir())
            throw EVantryError(QStringLiteral("Das System kann den angegebenen Pfad nicht finden.\r\n") + value);
        if (!folder.endsWith(QLatin1Char('/')))
            folder += QLatin1Char('/');
    }
    m_folder = folder;
    m_object.clear();
    m_entries.clear();
    m_next = -1;
}

QString TVantry::ObjectName() const
{
    if (m_object.isEmpty())
        return QString();
    return m_object;
}

QString TVantry::ObjectPath() const
{
    if (m_object.isEmpty())
        return QString();
    if (IsDriveRoot(m_object))
        return m_object;
    return m_folder + m_object;
}

void TVantry::SetObjectName(const QString& value)
{
    if (value.isEmpty()) {
        m_object.clear();
        return;
    }
    QString v = value;
    if (v.size() > 1 && v.endsWith(QLatin1Char('/')))
        v.chop(1);
    if (!v.contains(QLatin1Char('/'))) {
        const QFileInfo fi(m_folder + v);
        if (m_folder.isEmpty() || !(fi.exists() || fi.isSymLink()))
            throw EVantryError(QStringLiteral("Error! Cannot find Object \"") + v + QStringLiteral("\" in Folder \"") + m_folder +
                               QStringLiteral("\""));
        m_object = v;
        return;
    }
    if (IsDriveRoot(v)) {
        // The root is an object of the top, which has no folder of its own.
        m_folder.clear();
        m_object = v;
        return;
    }
    SetFolder(ExtractFilePath(v));
    SetObjectName(ExtractFileName(v));
}

QString TVantry::Filter() const
{
    return m_masks.join(QLatin1Char(';'));
}

void TVantry::SetFilter(const QString& value)
{
    QString v = value.isEmpty() ? QStringLiteral("*;") : value;
    if (!v.endsWith(QLatin1Char(';')))
        v += QLatin1Char(';');
    m_masks = v.split(QLatin1Char(';'));
    m_masks.removeLast(); // the piece after the final ";"
}

bool TVantry::NextObject()
{
    if (m_next < 0) {
        if (m_folder.isEmpty())
            m_entries = QStringList{QStringLiteral("/")};
        else
            m_entries = QDir(m_folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                                                 QDir::Name | QDir::IgnoreCase);
        m_next = 0;
    }
    while (m_next < m_entries.size()) {
        m_object = m_entries[m_next++];
        if (IsFolder())
            return true;
        for (const QString& mask : m_masks)
            if (MatchesMask(m_object, mask))
                return true;
    }
    m_object.clear();
    m_entries.clear();
    m_next = -1;
    return false;
}

bool TVantry::IsFolder() const
{
    return !m_object.isEmpty() && QFileInfo(ObjectPath()).isDir();
}

QIcon TVantry::Icon() const
{
    static QFileIconProvider provider;
    if (m_object.isEmpty())
        return QIcon();
    return provider.icon(QFileInfo(ObjectPath()));
}

QString TVantry::DetailsText(int column, bool header) const
{
    if (header)
        return column >= 0 && column < DefaultColumns().size() ? DefaultColumns()[column].Caption : QString();
    if (m_object.isEmpty())
        return QString();
    const QFileInfo fi(ObjectPath());
    switch (column) {
    case 0:
        return DisplayName();
    case 1:
        return fi.isDir() ? QString() : FormatFileSize(fi.size());
    case 2: {
        static QMimeDatabase mimes;
        return fi.isDir() ? QStringLiteral("Ordner") : mimes.mimeTypeForFile(fi).comment();
    }
    case 3: {
        const QDateTime t = fi.lastModified();
        if (!t.isValid())
            return QString();
        const QLocale l;
        return l.toString(t.date(), QLocale::ShortFormat) + QLatin1Char(' ') + l.toString(t.time(), QLocale::ShortFormat);
    }
    default:
        return QString();
    }
}

TShellColumn TVantry::ColumnInfo(int column) const
{
    if (column >= 0 && column < DefaultColumns().size())
        return DefaultColumns()[column];
    return {QString(), Qt::AlignLeft, 120};
}

QStringList TVantry::Objects() const
{
    QStringList objects;
    if (MultiObjects.isEmpty()) {
        if (!m_object.isEmpty())
            objects << ObjectPath();
        return objects;
    }
    for (const QString& o : MultiObjects)
        objects << (o.startsWith(QLatin1Char('/')) ? o : m_folder + o);
    return objects;
}

bool TVantry::RunVerb(const QString& verb, const QStringList& objects)
{
    const QString v = verb.isEmpty() ? QStringLiteral("default") : verb.toLower();
    if (v == QLatin1String("default") || v == QLatin1String("open")) {
        bool ok = !objects.isEmpty();
        for (const QString& o : objects)
            ok = (OpenFile && OpenFile(o)) && ok;
        return ok;
    }
    if (v == QLatin1String("copy")) {
        auto* data = new QMimeData;
        QList<QUrl> urls;
        for (const QString& o : objects)
            urls << QUrl::fromLocalFile(o);
        data->setUrls(urls);
        QApplication::clipboard()->setMimeData(data);
        return true;
    }
    if (v == QLatin1String("delete")) {
        // Into the trash, never unlinked: the user can take the file back.
        bool ok = !objects.isEmpty();
        for (const QString& o : objects)
            ok = QFile::moveToTrash(o) && ok;
        if (ok && !objects.isEmpty() && ObjectExists(objects.first()))
            ok = false;
        return ok;
    }
    if (v == QLatin1String("rename")) {
        if (OnRename)
            OnRename();
        return false;
    }
    return false;
}

bool TVantry::ExecuteVerb(const QString& verb)
{
    bool execute = true;
    if (OnContextMenuSelect)
        OnContextMenuSelect(verb, execute);
    const QStringList objects = Objects();
    MultiObjects.clear();
    if (!execute || objects.isEmpty())
        return false;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    bool result = false;
    try {
        result = RunVerb(verb, objects);
    } catch (...) {
        QApplication::restoreOverrideCursor();
        throw;
    }
    QApplication::restoreOverrideCursor();
    return result;
}

QMenu* TVantry::CreateContextMenu(QMenu* extra, QWidget* parent)
{
    auto* menu = new QMenu(parent);
    menu->setObjectName(QStringLiteral("ShellContextMenu"));
    auto addVerbs = [&] {
        for (const TShellVerb& v : ContextMenuVerbs()) {
            QAction* a = menu->addAction(v.Caption);
            a->setData(v.Verb);
        }
    };
    auto addExtra = [&] {
        if (!extra)
            return;
        emit extra->aboutToShow();
        for (QAction* a : extra->actions())
            menu->addAction(a);
    };
    if (ShowContextMenuOnTop) {
        addVerbs();
        if (extra && !extra->actions().isEmpty())
            menu->addSeparator();
        addExtra();
    } else {
        addExtra();
        if (extra && !extra->actions().isEmpty())
            menu->addSeparator();
        addVerbs();
    }
    return menu;
}

void TVantry::ShowContextMenu(const QPoint& screenPoint, QMenu* extra, QString& command)
{
    command.clear();
    const QStringList objects = Objects();
    if (objects.isEmpty()) {
        MultiObjects.clear();
        return;
    }
    std::unique_ptr<QMenu> menu(CreateContextMenu(extra, nullptr));
    QAction* chosen = menu->exec(screenPoint);
    if (!chosen || !chosen->data().isValid() || (extra && extra->actions().contains(chosen))) {
        MultiObjects.clear();
        return; // one of the caller's own items: its handler ran
    }
    command = chosen->data().toString();
    bool execute = true;
    if (OnContextMenuSelect)
        OnContextMenuSelect(command, execute);
    if (!execute) {
        command.clear();
        MultiObjects.clear();
        return;
    }
    MultiObjects.clear();
    if (!RunVerb(command, objects))
        command.clear();
}
