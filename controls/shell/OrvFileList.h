#pragma once
// TOrvFileList: a list of individual files, each added by its full path and shown the way a file
// manager shows it: name and icon, the folder ("In Folder") and the detail columns size, type and
// change time. A double-click opens a file with its program; the context menu offers the file
// verbs for the selected files; the columns sort on a header click.
#include "controls/shell/Vantry.h"

#include <QTreeWidget>
#include <functional>

class QMenu;

enum TViewStyle { vsIcon, vsSmallIcon, vsList, vsReport };
enum class TScrollStyle { ssNone, ssHorizontal, ssVertical, ssBoth };

enum TOrvShellOperation : unsigned {
    sopCopy = 1, sopMove = 2, sopDrag = 4, sopDrop = 8, sopCut = 16, sopPaste = 32, sopDelete = 64,
    sopRemove = 128, sopAdd = 256, sopRename = 512
};
using TOrvShellOperations = unsigned;

class TOrvFileList : public QTreeWidget {
    Q_OBJECT
public:
    explicit TOrvFileList(QWidget* parent = nullptr);
    ~TOrvFileList() override;

    // Adds one file; a path already listed (exact comparison) is not added again. A path that
    // cannot be read still becomes an item (the file name, empty details) unless OnAddItem or
    // OnAddPath refuses it.
    void AddFile(const QString& path);
    QString GetItemPath(QTreeWidgetItem* item) const;
    QString GetItemPath(int index) const;
    bool ContainsPath(const QString& path) const;
    int Count() const { return topLevelItemCount(); }
    void Clear();
    // Deletes every selected item (OnDeletion for each).
    void DeleteSelected();
    // Deletes one item (OnDeletion first).
    void DeleteItem(QTreeWidgetItem* item);
    void SelectAll();

    void CreateColumns();
    bool Details() const { return m_details; }
    void SetDetails(bool on);
    int ColumnCount() const { return m_columnCount; }

    bool ExecuteVerb(const QString& verb);
    // The context menu of the selected files; verb receives the verb carried out.
    void ShowShellContextMenu(const QPoint& screenPoint, QString& verb);
    void SortByColumn(int index);
    int SortColumn() const { return m_sortColumn; }
    bool SortDescending() const { return m_descending; }

    TViewStyle ViewStyle() const { return m_viewStyle; }
    void SetViewStyle(TViewStyle style);
    TScrollStyle ScrollBars() const { return m_scrollBars; }
    void SetScrollBars(TScrollStyle style);
    bool ReadOnly = false;
    bool ShellContextMenu = true;
    bool OleDragDrop = true;       // dragging files in and out comes with the drag-and-drop layer
    bool AutomaticRefresh = true;  // kept for the change-notification layer
    QMenu* PopupMenu = nullptr;    // the list's own menu, merged into the context menu

    TVantry& Namespace() { return m_vantry; }

    // ---- events
    std::function<void(QTreeWidgetItem* item, bool& canAdd)> OnAddItem;
    std::function<void(const QString& path, bool& canAdd)> OnAddPath;
    std::function<void()> OnCreateColumns;
    std::function<void()> OnChange;                 // selection changed
    std::function<void(int& key, Qt::KeyboardModifiers shift)> OnKeyDown;
    std::function<void(QTreeWidgetItem* item)> OnDeletion;
    std::function<void()> OnDblClick;
    std::function<void(TOrvShellOperations operation, const QStringList& files, const QString& destination)> OnOperation;

protected:
    void keyPressEvent(QKeyEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    void contextMenuEvent(QContextMenuEvent* e) override;

private:
    void DoOperation(TOrvShellOperations operation, const QStringList& files, const QString& destination);
    QStringList SelectedPaths() const;

    TVantry m_vantry;
    bool m_details = true;
    int m_columnCount = 0;
    int m_sortColumn = -1;
    bool m_descending = false;
    TViewStyle m_viewStyle = vsReport;
    TScrollStyle m_scrollBars = TScrollStyle::ssBoth;
};
