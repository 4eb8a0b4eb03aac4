#include "controls/shell/OrvFileList.h"

#include <QContextMenuEvent>
#include <QFileInfo>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>

namespace {

constexpr int kPathRole = Qt::UserRole + 1;
constexpr int kSortRole = Qt::UserRole + 2;

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

} // namespace

TOrvFileList::TOrvFileList(QWidget* parent) : QTreeWidget(parent)
{
    m_vantry.ShowErrorMessages = false;
    setRootIsDecorated(false);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setUniformRowHeights(true);
    setAcceptDrops(false);
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
    OnDeletion = nullptr;
    OnChange = nullptr;
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

bool TOrvFileList::ContainsPath(const QString& path) const
{
    for (int i = 0; i < topLevelItemCount(); ++i)
        if (topLevelItem(i)->data(0, kPathRole).toString() == path)
            return true;
    return false;
}

void TOrvFileList::AddFile(const QString& path)
{
    if (ContainsPath(path))
        return;
    auto* item = new TFileItem(this);
    item->setData(0, kPathRole, path);
    item->setText(1, shell::ExtractFilePath(path));
    try {
        m_vantry.SetObjectName(path);
        item->setText(0, m_vantry.ObjectName());
        item->setIcon(0, m_vantry.Icon());
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
    m_viewStyle = style;
    // Only the report view shows the column headers.
    setHeaderHidden(style != vsReport);
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
