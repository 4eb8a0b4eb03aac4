#include "controls/shell/OrvFileList.h"

#include "controls/shell/OrvThumbnails.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QDrag>
#include <QDragEnterEvent>
#include <QMimeData>
#include <QUrl>
#include <QCoreApplication>
#include <QDir>
#include <QThread>
#include <QFileInfo>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>
#include <QStyledItemDelegate>
#include <QThreadPool>

namespace {

constexpr int kPathRole = TOrvFileList::PathRole;
constexpr int kSortRole = Qt::UserRole + 2;
constexpr int kIconRole = Qt::UserRole + 4; // the file's own icon
const QColor kSilver(192, 192, 192);

// Items compare by the sort value of their column (size and time as numbers), then by name.
class TFileItem : public QTreeWidgetItem {
public:
    using QTreeWidgetItem::QTreeWidgetItem;
    bool operator<(const QTreeWidgetItem& other) const override
    {
        const int c = treeWidget() ? treeWidget()->sortColumn() : 0;
        const QVariant a = data(c, kSortRole), b = other.data(c, kSortRole);
        if (a.isValid() && b.isValid() && a != b)
            return a.toLongLong() < b.toLongLong();
        const int r = text(c).compare(other.text(c), Qt::CaseInsensitive);
        if (r != 0)
            return r < 0;
        return text(0).compare(other.text(0), Qt::CaseInsensitive) < 0;
    }
};

// Draws an item's check-state image in front of its icon while the list shows check boxes.
class TStateDelegate : public QStyledItemDelegate {
public:
    explicit TStateDelegate(TOrvFileList* list) : QStyledItemDelegate(list), m_list(list) {}
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        const TOrvSelectionStateImageList* images = m_list->StateImages();
        if (index.column() != 0 || !images || !m_list->Checkboxes()) {
            QStyledItemDelegate::paint(painter, option, index);
            return;
        }
        const int state = index.data(TOrvFileList::StateRole).toInt();
        const int s = TOrvSelectionStateImageList::Size;
        if (state > ssUnused && state <= ssGrayed)
            painter->drawPixmap(option.rect.left() + 1, option.rect.top() + (option.rect.height() - s) / 2,
                                images->Image(TOrvSelectionState(state)));
        QStyleOptionViewItem rest(option);
        rest.rect.setLeft(option.rect.left() + s + 2);
        QStyledItemDelegate::paint(painter, rest, index);
    }
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        QSize size = QStyledItemDelegate::sizeHint(option, index);
        if (index.column() == 0 && m_list->Checkboxes())
            size.setWidth(size.width() + TOrvSelectionStateImageList::Size + 2);
        return size;
    }

private:
    TOrvFileList* m_list;
};

} // namespace

TOrvFileList::TOrvFileList(QWidget* parent) : QTreeWidget(parent)
{
    m_vantry.ShowErrorMessages = false;
    m_clock.start();
    Now = [this] { return m_clock.elapsed(); };
    setItemDelegate(new TStateDelegate(this));
    // The path index follows every way an item can leave the list.
    connect(model(), &QAbstractItemModel::rowsAboutToBeRemoved, this, [this](const QModelIndex& parent, int first, int last) {
        if (parent.isValid())
            return;
        for (int r = first; r <= last; ++r)
            if (QTreeWidgetItem* item = topLevelItem(r))
                Unindex(GetItemPath(item));
    });
    connect(model(), &QAbstractItemModel::modelAboutToBeReset, this, [this] { m_pathIndex.clear(); });
    m_notifier = new TOrvShellChangeNotifier(this);
    m_notifier->SetEnabled(false);
    m_notifier->SetEventFilter(NotifySet(neFileChange, neFileCreate, neFileDelete, neFileRename, neDriveAdd, neDriveRemove,
                                         neShellDriveAdd, neFolderCreate, neFolderDelete, neFolderRename, neFolderUpdate));
    m_notifier->OnChange = [this](TOrvShellChangeNotifier* sender, TNotificationEvent event, const QString& p1, const QString& p2) {
        ShellChanged(sender, event, p1, p2);
    };
    m_notifier->SetRecursive(true);
    m_notifier->SetEnabled(true);
    setRootIsDecorated(false);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setUniformRowHeights(true);
    SetOleDragDrop(true);
    header()->setSectionsClickable(true);
    connect(header(), &QHeaderView::sectionClicked, this, [this](int index) { SortByColumn(index); });
    connect(this, &QTreeWidget::itemSelectionChanged, this, [this] {
        if (OnChange)
            OnChange();
    });
    CreateColumns();
}

TOrvFileList::~TOrvFileList()
{
    // The items go with the tree after this object's members: no index upkeep then.
    disconnect(model(), nullptr, this, nullptr);
    *m_token = nullptr;
    if (m_link)
        m_link->Leave(this);
    m_link = nullptr;
    delete m_notifier;
    m_notifier = nullptr;
    OnDeletion = nullptr;
    OnChange = nullptr;
    OnEndSearch = nullptr;
    OnSearchProgress = nullptr;
    StopSearch();
    if (m_searchState)
        m_searchState->Released = true;
}

void TOrvFileList::CreateColumns()
{
    setColumnCount(0);
    QStringList captions;
    QList<shell::TShellColumn> cols;
    for (int i = 0;; ++i) {
        const QString caption = m_vantry.DetailsText(i, true);
        if (caption.isEmpty())
            break;
        shell::TShellColumn info = m_vantry.ColumnInfo(i);
        info.Caption = caption;
        if (info.Width > 0)
            cols << info;
        if (!m_details)
            break;
        if (i == 0)
            cols << shell::TShellColumn{QStringLiteral("In Folder"), info.Alignment, 150};
    }
    setColumnCount(int(cols.size()));
    for (int i = 0; i < cols.size(); ++i) {
        captions << cols[i].Caption;
        headerItem()->setTextAlignment(i, cols[i].Alignment | Qt::AlignVCenter);
    }
    setHeaderLabels(captions);
    for (int i = 0; i < cols.size(); ++i)
        setColumnWidth(i, cols[i].Width);
    m_columnCount = int(cols.size());
    if (OnCreateColumns)
        OnCreateColumns();
}

void TOrvFileList::SetDetails(bool on)
{
    m_details = on;
    CreateColumns();
}

QTreeWidgetItem* TOrvFileList::FindPath(const QString& path) const
{
    for (int i = 0; i < topLevelItemCount(); ++i)
        if (topLevelItem(i)->data(0, kPathRole).toString() == path)
            return topLevelItem(i);
    return nullptr;
}

bool TOrvFileList::ContainsPath(const QString& path) const
{
    return m_pathIndex.value(path) > 0;
}

void TOrvFileList::Unindex(const QString& path)
{
    auto it = m_pathIndex.find(path);
    if (it != m_pathIndex.end() && --it.value() <= 0)
        m_pathIndex.erase(it);
}

void TOrvFileList::AddFile(const QString& path)
{
    if (ContainsPath(path))
        return;
    if (topLevelItemCount() == 0)
        ++m_fillGeneration;
    auto* item = new TFileItem(this);
    item->setData(0, kPathRole, path);
    ++m_pathIndex[path];
    item->setText(1, shell::ExtractFilePath(path));
    try {
        m_vantry.SetObjectName(path);
        item->setText(0, m_vantry.ObjectName());
        item->setIcon(0, m_vantry.Icon());
        item->setData(0, kIconRole, m_vantry.Icon());
        if (m_details)
            for (int c = 1; c <= m_columnCount - 2; ++c) {
                item->setText(c + 1, m_vantry.DetailsText(c));
                const QTreeWidgetItem* h = headerItem();
                item->setTextAlignment(c + 1, Qt::Alignment(h->textAlignment(c + 1)));
            }
        const QFileInfo fi(path);
        if (m_columnCount > 2)
            item->setData(2, kSortRole, fi.isDir() ? qint64(-1) : fi.size());
        if (m_columnCount > 4)
            item->setData(4, kSortRole, fi.lastModified().toMSecsSinceEpoch());
    } catch (const EVantryError&) {
        item->setText(0, shell::ExtractFileName(path));
        for (int c = 2; c < m_columnCount; ++c)
            item->setText(c, QString());
    }
    if (m_thumbnails)
        ShowPlaceholder(item);
    RefreshState(item);
    if (OnAddItem) {
        bool canAdd = true;
        OnAddItem(item, canAdd);
        if (!canAdd) {
            DeleteItem(item);
            return;
        }
    }
    if (OnAddPath) {
        bool canAdd = true;
        OnAddPath(path, canAdd);
        if (!canAdd)
            DeleteItem(item);
    }
}

QString TOrvFileList::GetItemPath(QTreeWidgetItem* item) const
{
    return item ? item->data(0, kPathRole).toString() : QString();
}

QString TOrvFileList::GetItemPath(int index) const
{
    return GetItemPath(topLevelItem(index));
}

void TOrvFileList::Clear()
{
    clear();
}

void TOrvFileList::DeleteItem(QTreeWidgetItem* item)
{
    if (!item)
        return;
    if (item == m_dropTarget)
        m_dropTarget = nullptr;
    if (OnDeletion)
        OnDeletion(item);
    delete item;
}

void TOrvFileList::DeleteSelected()
{
    const QList<QTreeWidgetItem*> items = selectedItems();
    for (QTreeWidgetItem* item : items)
        DeleteItem(item);
}

void TOrvFileList::SelectAll()
{
    selectAll();
    setFocus();
}

QStringList TOrvFileList::SelectedPaths() const
{
    QStringList paths;
    for (int i = 0; i < topLevelItemCount(); ++i)
        if (topLevelItem(i)->isSelected())
            paths << GetItemPath(topLevelItem(i));
    return paths;
}

bool TOrvFileList::ExecuteVerb(const QString& verb)
{
    const QStringList paths = SelectedPaths();
    if (paths.isEmpty())
        return false;
    m_vantry.MultiObjects = paths;
    return m_vantry.ExecuteVerb(verb);
}

void TOrvFileList::ShowShellContextMenu(const QPoint& screenPoint, QString& verb)
{
    verb.clear();
    const QStringList paths = SelectedPaths();
    if (paths.isEmpty())
        return;
    m_vantry.MultiObjects = paths;
    m_vantry.ShowContextMenu(screenPoint, PopupMenu, verb);
    if (verb.compare(QLatin1String("delete"), Qt::CaseInsensitive) == 0)
        DoOperation(sopDelete | sopRemove, paths, QString());
}

void TOrvFileList::DoOperation(TOrvShellOperations operation, const QStringList& files, const QString& destination)
{
    if (operation & sopDelete) {
        setUpdatesEnabled(false);
        DeleteSelected();
        setUpdatesEnabled(true);
    }
    if (!files.isEmpty() && OnOperation)
        OnOperation(operation, files, destination);
    if ((operation & (sopMove | sopDelete | sopRemove | sopRename)) && m_link)
        m_link->TellOthers(this);
}

void TOrvFileList::SortByColumn(int index)
{
    m_descending = index == m_sortColumn && !m_descending;
    m_sortColumn = index >= columnCount() ? 0 : index;
    sortItems(m_sortColumn, m_descending ? Qt::DescendingOrder : Qt::AscendingOrder);
    header()->setSortIndicatorShown(true);
    header()->setSortIndicator(m_sortColumn, m_descending ? Qt::DescendingOrder : Qt::AscendingOrder);
}

void TOrvFileList::SetViewStyle(TViewStyle style)
{
    const TViewStyle before = m_viewStyle;
    m_viewStyle = style;
    // Only the report view shows the column headers; the picture view shows names only.
    setHeaderHidden(style != vsReport);
    if (style == vsIcon || before == vsIcon) {
        for (int c = 1; c < columnCount(); ++c)
            setColumnHidden(c, style == vsIcon);
        if (style == vsIcon) {
            m_savedNameWidth = columnWidth(0);
            setColumnWidth(0, std::max(m_savedNameWidth, m_thumbSize.width() + 200));
        } else if (m_savedNameWidth > 0) {
            setColumnWidth(0, m_savedNameWidth);
        }
    }
}

void TOrvFileList::SetScrollBars(TScrollStyle style)
{
    m_scrollBars = style;
    setVerticalScrollBarPolicy(style == TScrollStyle::ssVertical || style == TScrollStyle::ssBoth ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff);
    setHorizontalScrollBarPolicy(style == TScrollStyle::ssHorizontal || style == TScrollStyle::ssBoth ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff);
}

void TOrvFileList::keyPressEvent(QKeyEvent* e)
{
    if (OnKeyDown) {
        int key = e->key();
        OnKeyDown(key, e->modifiers());
        if (key == 0) {
            e->accept();
            return;
        }
    }
    QTreeWidget::keyPressEvent(e);
}

void TOrvFileList::mouseDoubleClickEvent(QMouseEvent* e)
{
    QTreeWidget::mouseDoubleClickEvent(e);
    if (e->button() != Qt::LeftButton)
        return;
    if (OnDblClick)
        OnDblClick();
    else if (itemAt(e->position().toPoint()))
        ExecuteVerb(QStringLiteral("default"));
}

void TOrvFileList::contextMenuEvent(QContextMenuEvent* e)
{
    QTreeWidgetItem* item = nullptr;
    QPoint point = e->globalPos();
    if (e->reason() == QContextMenuEvent::Keyboard) {
        item = currentItem() && currentItem()->isSelected() ? currentItem() : nullptr;
        if (item)
            point = viewport()->mapToGlobal(visualItemRect(item).bottomRight());
    } else {
        item = itemAt(e->pos());
    }
    if (item && ShellContextMenu) {
        QString verb;
        ShowShellContextMenu(point, verb);
    } else if (PopupMenu) {
        PopupMenu->exec(point);
    }
    e->accept();
}

// ---- following the file system --------------------------------------------------------------

void TOrvFileList::ShellChanged(TOrvShellChangeNotifier*, TNotificationEvent event, const QString& path1, const QString& path2)
{
    switch (event) {
    case neFileDelete:
    case neFolderDelete:
        if (QTreeWidgetItem* item = FindPath(path1)) {
            DeleteItem(item);
            if (m_thumbnails && m_sortColumn >= 0)
                sortItems(m_sortColumn, m_descending ? Qt::DescendingOrder : Qt::AscendingOrder);
        }
        break;
    case neFileRename:
    case neFolderRename:
        if (QTreeWidgetItem* item = FindPath(path1)) {
            // The item follows its file: opening it and a later delete notice use the new path.
            item->setText(0, shell::ExtractFileName(path2));
            Unindex(path1);
            item->setData(0, kPathRole, path2);
            ++m_pathIndex[path2];
            item->setText(1, shell::ExtractFilePath(path2));
        }
        break;
    case neFileCreate:
    case neFolderCreate: {
        TFindData data;
        if (!path1.isEmpty() && !ContainsPath(path1) && FindDataOf(path1, data) && SearchOptions.Matches(data))
            AddFile(path1);
        break;
    }
    case neFolderUpdate: {
        if (path1.isEmpty())
            break; // no folder named: nothing to read again
        for (int i = topLevelItemCount() - 1; i >= 0; --i) {
            QTreeWidgetItem* item = topLevelItem(i);
            QString folder = shell::ExtractFilePath(GetItemPath(item));
            if (folder.size() > 1)
                folder.chop(1);
            if (folder == path1 && !shell::ObjectExists(GetItemPath(item)))
                DeleteItem(item);
        }
        const qint64 now = Now ? Now() : m_clock.elapsed();
        if (!m_searched || now >= m_lastSearchTime + 5000 || m_lastSearchFolder != path1) {
            SearchOptions.RecursiveSearch = false;
            StartSearch(path1);
        }
        break;
    }
    default:
        break;
    }
}

void TOrvFileList::StartSearch(const QString& folder)
{
    StopSearch();
    // The watch is registered once the search runs (below), so reading the folder tree for the
    // watch and the search overlap.
    const bool refresh = m_notifier->Enabled();
    m_notifier->SetEnabled(false);
    m_notifier->SetDirectories(folder == QLatin1String("*") ? QStringList() : QStringList{folder});
    m_searchFolder = folder;
    m_lastSearchFolder = folder;
    m_lastSearchTime = Now ? Now() : m_clock.elapsed();
    m_searched = true;

    auto* thread = new TOrvFileSearchThread(SearchOptions, folder);
    thread->Enumerate = SearchEnumerator;
    thread->Found = [this](const QString& path) { AddFile(path); };
    if (OnSearchProgress)
        thread->Progress = [this](const QString& path) {
            if (OnSearchProgress)
                OnSearchProgress(path);
        };
    TOrvFileSearchThread* self = thread;
    thread->Ended = [this, self] {
        if (m_search != self)
            return;
        m_search = nullptr;
        m_searchState.reset();
        if (OnEndSearch)
            OnEndSearch();
    };
    m_search = thread;
    m_searchState = thread->Shared();
    thread->start();
    m_notifier->SetEnabled(refresh);
}

void TOrvFileList::StopSearch()
{
    if (!m_search)
        return;
    const std::shared_ptr<TOrvFileSearchThread::State> state = m_searchState;
    if (state->Stop)
        return;
    state->Stop = true;
    QElapsedTimer waited;
    waited.start();
    while (m_search && waited.elapsed() < 2000) {
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        if (m_search)
            QThread::msleep(10);
    }
    if (m_search) {
        // Still blocked in a file-system call: let it go; it deletes itself when it ends.
        state->Released = true;
        m_search = nullptr;
        m_searchState.reset();
    }
}

// ---- thumbnails -------------------------------------------------------------------------------

QPixmap TOrvFileList::FramedPixmap(const QImage& image, const QIcon& icon) const
{
    QPixmap pm(m_thumbSize);
    pm.fill(image.isNull() ? QColor(Qt::transparent) : palette().color(QPalette::Base));
    QPainter p(&pm);
    if (!image.isNull()) {
        p.drawImage((m_thumbSize.width() - image.width()) / 2, (m_thumbSize.height() - image.height()) / 2, image);
    } else if (!icon.isNull()) {
        const int s = 32; // the large icon
        icon.paint(&p, QRect((m_thumbSize.width() - s) / 2, (m_thumbSize.height() - s) / 2, s, s));
    }
    p.setPen(kSilver);
    p.setBrush(Qt::NoBrush);
    p.drawRect(0, 0, m_thumbSize.width() - 1, m_thumbSize.height() - 1);
    return pm;
}

void TOrvFileList::ShowPlaceholder(QTreeWidgetItem* item)
{
    item->setIcon(0, QIcon(FramedPixmap(QImage(), item->data(0, kIconRole).value<QIcon>())));
    item->setData(0, ThumbnailRole, false);
    const std::shared_ptr<TOrvFileList*> token = m_token;
    const quint32 generation = m_fillGeneration;
    const QString path = GetItemPath(item);
    QThreadPool::globalInstance()->start(new TOrvThumbnailThread(path, m_thumbSize, [token, path, generation](const QImage& image) {
        if (*token)
            (*token)->ThumbnailReady(path, generation, image);
    }));
}

void TOrvFileList::ThumbnailReady(const QString& path, quint32 generation, const QImage& image)
{
    if (image.isNull() || generation != m_fillGeneration || !m_thumbnails)
        return;
    QTreeWidgetItem* item = FindPath(path);
    if (!item)
        return;
    item->setIcon(0, QIcon(FramedPixmap(image, QIcon())));
    item->setData(0, ThumbnailRole, true);
}

void TOrvFileList::SetThumbnails(bool on)
{
    if (on == m_thumbnails)
        return;
    m_thumbnails = on;
    if (on) {
        m_savedViewStyle = m_viewStyle;
        SetViewStyle(vsIcon);
        setIconSize(m_thumbSize);
        for (int i = 0; i < topLevelItemCount(); ++i)
            ShowPlaceholder(topLevelItem(i));
    } else {
        setIconSize(QSize());
        SetViewStyle(m_savedViewStyle);
        for (int i = 0; i < topLevelItemCount(); ++i) {
            QTreeWidgetItem* item = topLevelItem(i);
            item->setIcon(0, item->data(0, kIconRole).value<QIcon>());
            item->setData(0, ThumbnailRole, QVariant());
        }
    }
    viewport()->update();
}

// ---- check boxes ------------------------------------------------------------------------------

void TOrvFileList::SetShellLink(TOrvShellLink* link)
{
    if (link == m_link)
        return;
    if (m_link)
        m_link->Leave(this);
    m_link = link;
    if (m_link)
        m_link->Join(this);
    if (!m_link && m_checkboxes)
        SetCheckboxes(false);
    UpdateCheckStates();
}

void TOrvFileList::SetCheckboxes(bool on)
{
    if (on && !m_link)
        on = false; // the check boxes show the link's selection: nothing to show without one
    m_checkboxes = on;
    if (on && !m_stateImages)
        m_stateImages = std::make_unique<TOrvSelectionStateImageList>();
    else if (!on)
        m_stateImages.reset();
    for (int i = 0; i < topLevelItemCount(); ++i)
        RefreshState(topLevelItem(i));
    viewport()->update();
}

void TOrvFileList::RefreshState(QTreeWidgetItem* item)
{
    if (m_checkboxes && m_link)
        item->setData(0, StateRole, int(m_link->SelectionList().State(GetItemPath(item))));
    else
        item->setData(0, StateRole, QVariant());
}

void TOrvFileList::UpdateCheckStates()
{
    if (!isEnabled())
        return;
    if (topLevelItemCount() <= 300) {
        for (int i = 0; i < topLevelItemCount(); ++i)
            RefreshState(topLevelItem(i));
        return;
    }
    // Many items: the states are read again as the items are drawn.
    for (int i = 0; i < topLevelItemCount(); ++i)
        RefreshState(topLevelItem(i));
    QTreeWidgetItem* current = currentItem() ? currentItem() : topLevelItem(0);
    viewport()->update();
    if (current)
        scrollToItem(current);
}

QRect TOrvFileList::StateImageRect(QTreeWidgetItem* item) const
{
    if (!item || !m_checkboxes || !m_stateImages)
        return QRect();
    const QRect r = visualItemRect(item);
    const int s = TOrvSelectionStateImageList::Size;
    const int left = visualRect(indexFromItem(item, 0)).left();
    return QRect(left + 1, r.top() + (r.height() - s) / 2, s, s);
}

void TOrvFileList::mousePressEvent(QMouseEvent* e)
{
    if (e->button() == Qt::LeftButton && m_checkboxes && m_link) {
        QTreeWidgetItem* item = itemAt(e->position().toPoint());
        if (item && StateImageRect(item).contains(e->position().toPoint())) {
            const QString path = GetItemPath(item);
            TOrvSelectionList& sel = m_link->SelectionList();
            const TOrvSelectionState state = sel.State(path);
            if (state != ssNone) {
                QApplication::setOverrideCursor(Qt::WaitCursor);
                sel.BeginUpdate();
                if (state == ssChecked)
                    sel.Remove(path);
                else
                    sel.Add(path);
                sel.EndUpdate();
                QApplication::restoreOverrideCursor();
                RefreshState(item);
                if (OnCheckStateChanged)
                    OnCheckStateChanged(this, indexOfTopLevelItem(item), path,
                                        TOrvSelectionState(item->data(0, StateRole).toInt()));
            }
            e->accept();
            return;
        }
    }
    QTreeWidget::mousePressEvent(e);
}

// ---- drag and drop ----------------------------------------------------------------------------

void TOrvFileList::SetOleDragDrop(bool on)
{
    m_oleDragDrop = on;
    setAcceptDrops(on);
    viewport()->setAcceptDrops(on);
    setDragEnabled(on);
    setDragDropMode(on ? QAbstractItemView::DragDrop : QAbstractItemView::NoDragDrop);
    setDefaultDropAction(Qt::CopyAction);
    setDropIndicatorShown(false);
}

void TOrvFileList::dragEnterEvent(QDragEnterEvent* e)
{
    // The enter must be accepted, or no move and no drop follow.
    if (!m_oleDragDrop || !e->mimeData() || !e->mimeData()->hasUrls()) {
        e->ignore();
        return;
    }
    e->setDropAction(Qt::CopyAction);
    e->accept();
}

void TOrvFileList::dragMoveEvent(QDragMoveEvent* e)
{
    if (!m_oleDragDrop || !e->mimeData() || !e->mimeData()->hasUrls()) {
        e->ignore();
        return;
    }
    m_dropTarget = itemAt(e->position().toPoint());
    e->setDropAction(Qt::CopyAction);
    e->accept();
}

void TOrvFileList::dragLeaveEvent(QDragLeaveEvent* e)
{
    m_dropTarget = nullptr;
    e->accept();
}

void TOrvFileList::dropEvent(QDropEvent* e)
{
    if (!m_oleDragDrop || !e->mimeData()) {
        e->ignore();
        return;
    }
    QStringList files;
    for (const QUrl& url : e->mimeData()->urls())
        if (url.isLocalFile())
            files << url.toLocalFile();
    // Copy, never Move: the source keeps its files.
    e->setDropAction(Qt::CopyAction);
    e->accept();
    QTreeWidgetItem* target = itemAt(e->position().toPoint());
    m_dropTarget = nullptr;
    try {
        bool execute = true;
        if (OnBeforeShellDrop)
            OnBeforeShellDrop(this, target, files, execute);
        if (execute)
            for (const QString& f : files)
                AddFile(f);
    } catch (...) {
        // A failing drop adds nothing more.
    }
}

void TOrvFileList::startDrag(Qt::DropActions)
{
    if (!m_oleDragDrop)
        return;
    QStringList files;
    QList<QUrl> urls;
    for (int i = 0; i < topLevelItemCount(); ++i) {
        QTreeWidgetItem* item = topLevelItem(i);
        if (!item->isSelected())
            continue;
        const QString path = GetItemPath(item);
        files << path;
        urls << QUrl::fromLocalFile(path);
    }
    if (urls.isEmpty())
        return;
    auto* data = new QMimeData;
    data->setUrls(urls);
    QDrag drag(this);
    drag.setMimeData(data);
    // Copy and link only: a plain drag onto a folder would otherwise move the attachment away.
    const Qt::DropActions allowed = Qt::CopyAction | Qt::LinkAction;
    const Qt::DropAction done = DragExecutor ? DragExecutor(drag, allowed) : drag.exec(allowed, Qt::CopyAction);
    if (done == Qt::IgnoreAction)
        return;
    TOrvShellOperations operation = sopDrag;
    if (done == Qt::CopyAction)
        operation |= sopCopy;
    else if (done == Qt::MoveAction)
        operation |= sopMove | sopRemove;
    DoOperation(operation, files, QString());
}
