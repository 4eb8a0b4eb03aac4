#pragma once
// TOrvFileList: a list of individual files, each added by its full path and shown the way a file
// manager shows it: name and icon, the folder ("In Folder") and the detail columns size, type and
// change time. A double-click opens a file with its program; the context menu offers the file
// verbs for the selected files; the columns sort on a header click.
#include "controls/shell/OrvFileSearch.h"
#include "controls/shell/OrvSelectionList.h"
#include "controls/shell/OrvShellNotifier.h"
#include "controls/shell/Vantry.h"

#include <QTreeWidget>
#include <functional>

class QDrag;
class QMenu;

enum TViewStyle { vsIcon, vsSmallIcon, vsList, vsReport };
enum class TScrollStyle { ssNone, ssHorizontal, ssVertical, ssBoth };

enum TOrvShellOperation : unsigned {
    sopCopy = 1, sopMove = 2, sopDrag = 4, sopDrop = 8, sopCut = 16, sopPaste = 32, sopDelete = 64,
    sopRemove = 128, sopAdd = 256, sopRename = 512
};
using TOrvShellOperations = unsigned;

class TOrvFileList : public QTreeWidget, public IOrvShellControl {
    Q_OBJECT
public:
    // Item data (column 0): the full path, and true once a thumbnail has replaced the placeholder.
    static constexpr int PathRole = Qt::UserRole + 1;
    static constexpr int ThumbnailRole = Qt::UserRole + 3;
    // The item's check state (a TOrvSelectionState) while check boxes are shown.
    static constexpr int StateRole = Qt::UserRole + 5;

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
    // Files dropped from other programs are added; selected files can be dragged out (as file
    // URLs, offered for copy or link only, so a drag never takes a file away).
    bool OleDragDrop() const { return m_oleDragDrop; }
    void SetOleDragDrop(bool on);
    // Runs a drag (the drag manager unless replaced) and answers the action performed.
    std::function<Qt::DropAction(QDrag& drag, Qt::DropActions allowed)> DragExecutor;
    QMenu* PopupMenu = nullptr;    // the list's own menu, merged into the context menu

    TVantry& Namespace() { return m_vantry; }

    // ---- check boxes tied to a shared selection
    // On only with a ShellLink: each item shows the state of its path in the link's selection;
    // a click on the state image checks or unchecks it for every joined control.
    bool Checkboxes() const { return m_checkboxes; }
    void SetCheckboxes(bool on);
    TOrvShellLink* ShellLink() const override { return m_link; }
    void SetShellLink(TOrvShellLink* link) override;
    void SelectAllItems() override { SelectAll(); }
    void RefreshControl() override { viewport()->update(); }
    void UpdateCheckStates() override;
    const TOrvSelectionStateImageList* StateImages() const { return m_stateImages.get(); }
    // The rectangle of an item's state image in viewport coordinates (empty without one).
    QRect StateImageRect(QTreeWidgetItem* item) const;

    // ---- thumbnails
    // On: the picture view (vsIcon) with a thumbnail per file, first a placeholder (the file's
    // icon in a silver frame) that a background thumbnail replaces; off: the view before.
    bool Thumbnails() const { return m_thumbnails; }
    void SetThumbnails(bool on);
    int ThumbnailWidth() const { return m_thumbSize.width(); }
    int ThumbnailHeight() const { return m_thumbSize.height(); }
    void SetThumbnailWidth(int w) { m_thumbSize.setWidth(w); }
    void SetThumbnailHeight(int h) { m_thumbSize.setHeight(h); }
    // Counts up whenever a file is added to an empty list; thumbnails made for an older fill are
    // dropped.
    quint32 FillGeneration() const { return m_fillGeneration; }
    // The thumbnail-ready step (main thread): shows the image in the frame unless it belongs to
    // an older fill or is null (the placeholder stays).
    void ThumbnailReady(const QString& path, quint32 generation, const QImage& image);

    // ---- following the file system
    // The change notifier is on while AutomaticRefresh is (on at creation: it watches the drives
    // until a search names a folder).
    bool AutomaticRefresh() const { return m_notifier->Enabled(); }
    void SetAutomaticRefresh(bool on) { m_notifier->SetEnabled(on); }
    TOrvShellChangeNotifier& Notifier() { return *m_notifier; }
    TOrvSearchOptions SearchOptions;
    // The notifier's handler: removes deleted items, renames renamed ones (they take the new
    // path), adds created files that match SearchOptions and searches an updated folder again.
    void ShellChanged(TOrvShellChangeNotifier* sender, TNotificationEvent event, const QString& path1, const QString& path2);
    // Searches a folder ("" every ready volume) in the background and adds what matches
    // SearchOptions; the notifier then watches that folder only.
    void StartSearch(const QString& folder);
    // Asks a running search to stop and waits up to 2000 ms for it (events are processed
    // meanwhile); a search still blocked then is let go and its later calls are dropped.
    void StopSearch();
    bool Searching() const { return m_search != nullptr; }
    QString SearchFolder() const { return m_searchFolder; }
    // Milliseconds of a monotonic clock for the 5000 ms rule of folder updates; replaceable.
    std::function<qint64()> Now;
    // How a search reads a folder (unset: the file system); replaceable for tests.
    TFindEnumerator SearchEnumerator;

    // ---- events
    std::function<void(QTreeWidgetItem* item, bool& canAdd)> OnAddItem;
    std::function<void(const QString& path, bool& canAdd)> OnAddPath;
    std::function<void()> OnCreateColumns;
    std::function<void()> OnChange;                 // selection changed
    std::function<void(int& key, Qt::KeyboardModifiers shift)> OnKeyDown;
    std::function<void(QTreeWidgetItem* item)> OnDeletion;
    std::function<void()> OnDblClick;
    std::function<void(TOrvShellOperations operation, const QStringList& files, const QString& destination)> OnOperation;
    std::function<void(TOrvFileList* sender, QTreeWidgetItem* dropTarget, const QStringList& droppedFiles, bool& executeDrop)> OnBeforeShellDrop;
    std::function<void(const QString& path)> OnSearchProgress;
    std::function<void(TOrvFileList* sender, int itemIndex, const QString& path, TOrvSelectionState state)> OnCheckStateChanged;
    std::function<void()> OnEndSearch;

protected:
    void keyPressEvent(QKeyEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void dragEnterEvent(QDragEnterEvent* e) override;
    void dragMoveEvent(QDragMoveEvent* e) override;
    void dragLeaveEvent(QDragLeaveEvent* e) override;
    void dropEvent(QDropEvent* e) override;
    void startDrag(Qt::DropActions supportedActions) override;
    void contextMenuEvent(QContextMenuEvent* e) override;

private:
    void DoOperation(TOrvShellOperations operation, const QStringList& files, const QString& destination);
    QStringList SelectedPaths() const;

    QTreeWidgetItem* FindPath(const QString& path) const;
    void Unindex(const QString& path);
    QHash<QString, int> m_pathIndex; // listed paths (with their count) for ContainsPath
    void ShowPlaceholder(QTreeWidgetItem* item);
    void RefreshState(QTreeWidgetItem* item);

    bool m_oleDragDrop = false;
    QTreeWidgetItem* m_dropTarget = nullptr;
    TOrvShellLink* m_link = nullptr;
    bool m_checkboxes = false;
    std::unique_ptr<TOrvSelectionStateImageList> m_stateImages;
    QPixmap FramedPixmap(const QImage& image, const QIcon& icon) const;

    // main-thread liveness of the list for queued results
    std::shared_ptr<TOrvFileList*> m_token = std::make_shared<TOrvFileList*>(this);
    QSize m_thumbSize{100, 100};
    TViewStyle m_savedViewStyle = vsReport;
    quint32 m_fillGeneration = 0;
    int m_savedNameWidth = 0;

    TVantry m_vantry;
    TOrvShellChangeNotifier* m_notifier = nullptr;
    TOrvFileSearchThread* m_search = nullptr;
    std::shared_ptr<TOrvFileSearchThread::State> m_searchState;
    QString m_searchFolder;
    QString m_lastSearchFolder;
    qint64 m_lastSearchTime = 0;
    bool m_searched = false;
    bool m_thumbnails = false;
    QElapsedTimer m_clock;
    bool m_details = true;
    int m_columnCount = 0;
    int m_sortColumn = -1;
    bool m_descending = false;
    TViewStyle m_viewStyle = vsReport;
    TScrollStyle m_scrollBars = TScrollStyle::ssBoth;
};
