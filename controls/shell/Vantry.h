#pragma once
// TVantry: the file lists' access to the file system, the way a file manager shows it: a current
// folder and a current object in it, the object's name, type, size and change time as detail
// columns, its icon, and the verbs of its context menu (open, copy, delete to the trash).
#include <QIcon>
#include <QMenu>
#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>
#include <stdexcept>

class QFileInfo;

class EVantryError : public std::runtime_error {
public:
    explicit EVantryError(const QString& message) : std::runtime_error(message.toStdString()), m_message(message) {}
    QString message() const { return m_message; }

private:
    QString m_message;
};

namespace shell {

// The four detail columns shown for a file.
struct TShellColumn {
    QString Caption;
    Qt::Alignment Alignment;
    int Width;
};
const QList<TShellColumn>& DefaultColumns(); // "Name", "Size", "Type", "Changed"

// The Size column's text of a file size: whole kilobytes, rounded, with the locale's thousands
// separator and " KB"; 1 to 1023 bytes count as 1 KB.
QString FormatFileSize(qint64 size);
// A path that is "/" (the root of the file system).
bool IsDriveRoot(const QString& path);
// Folder part of a path, up to and including the last "/".
QString ExtractFilePath(const QString& path);
QString ExtractFileName(const QString& path);
// Size of a file, -1 when there is none.
qint64 GetFileSize64(const QString& path);
bool ObjectExists(const QString& path);
// A file-mask test ("*", "*.txt", "a?c"); an empty mask matches nothing.
bool MatchesMask(const QString& name, const QString& mask);

// The verbs our context menu offers, with their captions.
struct TShellVerb {
    QString Verb;
    QString Caption;
};
const QList<TShellVerb>& ContextMenuVerbs();

} // namespace shell

class TVantry : public QObject {
    Q_OBJECT
public:
    explicit TVantry(QObject* owner = nullptr);

    // The current folder with a trailing "/"; empty for the top (no folder).
    QString Folder() const { return m_folder; }
    void SetFolder(const QString& value);
    // The current object's name; writing selects an object by name (in the folder) or by path.
    QString ObjectName() const;
    void SetObjectName(const QString& value);
    // Full path of the current object (empty without one).
    QString ObjectPath() const;

    QString Filter() const;
    void SetFilter(const QString& value);

    // Steps to the next object of the folder that passes the filter; false at the end.
    bool NextObject();

    bool IsFolder() const;
    QString DisplayName() const { return ObjectName(); }
    QIcon Icon() const;
    // Detail text of a column for the current object; header = the column caption.
    QString DetailsText(int column, bool header = false) const;
    shell::TShellColumn ColumnInfo(int column) const;

    // Runs a verb on MultiObjects (or the current object): "default"/"" and "open" open the file
    // with its program, "copy" puts the files on the clipboard, "delete" moves them to the trash.
    bool ExecuteVerb(const QString& verb);
    // The context menu for MultiObjects (or the current object): the verbs, then copies of
    // extra's items (before them when ShowContextMenuOnTop is off). Each verb action carries its
    // verb as data.
    QMenu* CreateContextMenu(QMenu* extra, QWidget* parent);
    // Shows the menu at a screen point; command receives the verb carried out (empty for none).
    void ShowContextMenu(const QPoint& screenPoint, QMenu* extra, QString& command);

    QStringList MultiObjects; // emptied by every operation that uses it
    bool FileSystemOnly = false;
    bool ShowErrorMessages = true;
    bool ShowContextMenuOnTop = false;
    std::function<void()> OnRename;
    std::function<void(const QString& command, bool& execute)> OnContextMenuSelect;
    // Opens a file with its program (the desktop's handler unless replaced).
    std::function<bool(const QString& path)> OpenFile;

private:
    QStringList Objects() const;
    bool RunVerb(const QString& verb, const QStringList& objects);

    QString m_folder;
    QString m_object; // name of the current object in the folder
    QStringList m_masks{QStringLiteral("*")};
    QStringList m_entries; // enumeration in progress
    int m_next = -1;
};
