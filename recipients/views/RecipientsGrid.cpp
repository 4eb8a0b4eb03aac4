#include "recipients/views/RecipientsGrid.h"
#include "recipients/ADOSearch.h"
#include "recipients/views/FindDialog.h"

#include "platform/db/ExtADODataSet.h"

#include <QApplication>
#include <QFocusEvent>
#include <QFontMetrics>
#include <algorithm>
#include <cstring>

namespace recipients {

namespace {

// Runs the store's busy cursor around a block, also when it throws.
class BusyScope {
public:
    explicit BusyScope(TRecipientListStore* store) : m_prompts(store ? store->Prompts() : nullptr)
    {
        if (m_prompts)
            m_prompts->Busy(true);
    }
    ~BusyScope()
    {
        if (m_prompts)
            m_prompts->Busy(false);
    }
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

private:
    IListPrompts* m_prompts;
};

} // namespace

TRecipientsGrid::TRecipientsGrid(QWidget* parent)
    : xdb::TXDBGrid(parent), m_source(std::make_unique<db::TDataSource>())
{
    setObjectName(QStringLiteral("StringGridFavorites"));
    m_source->OnDataChange = [this](db::TDataSource* sender, db::TField* field) { DataSourceDataChange(sender, field); };
    // Multi-row selection with the mouse and the keyboard; cells are not edited in place.
    // The sort marker follows the list's order (ShowSortMarker), not the title clicks themselves.
    SetOptions((Options() | xdb::dgMultiSelect) & ~(xdb::dgAlwaysShowEditor | xdb::dgMarkerAutoToggle));
    m_ownStatusImages = xdb::CreateStatusImageList();
    m_imageListStatus = m_ownStatusImages.get();
    Columns()->SetState(xdb::csCustomized);
}

TRecipientsGrid::~TRecipientsGrid()
{
    if (m_findDialog)
        delete m_findDialog.data();
    m_search.reset();
    // The store may be gone already (its dataset then let go of the data source).
    if (m_store && m_source->DataSet())
        m_store->DataSet().AfterOpen = nullptr;
    SetDataSource(nullptr);
    m_source->SetDataSet(nullptr);
}

void TRecipientsGrid::SetStore(TRecipientListStore* store)
{
    if (m_store && m_source->DataSet())
        m_store->DataSet().AfterOpen = nullptr;
    m_store = store;
    m_source->SetDataSet(store ? &store->DataSet() : nullptr);
    SetDataSource(m_source.get());
    if (m_store) {
        // Every open (another list, a new order) may bring other fields.
        m_store->DataSet().AfterOpen = [this](db::TDataSet*) { SyncColumns(); };
        SyncColumns();
    }
}

db::TExtADODataSet* TRecipientsGrid::DataSet() const
{
    return m_store ? static_cast<db::TExtADODataSet*>(m_source->DataSet()) : nullptr;
}

void TRecipientsGrid::SetImageListStatus(tk::TImageList* images)
{
    m_imageListStatus = images ? images : m_ownStatusImages.get();
    m_shownFields.clear();
    SyncColumns();
}

// ------------------------------------------------------------------ opening and columns

int TRecipientsGrid::Row() const
{
    const db::TExtADODataSet* ds = DataSet();
    if (!ds || !ds->Active())
        return 0;
    if (ds->State() == db::dsInsert)
        return -1;
    return ds->RecNo();
}

int TRecipientsGrid::RowCount() const
{
    const db::TExtADODataSet* ds = DataSet();
    return ds && ds->Active() ? ds->RecordCount() : 0;
}

int TRecipientsGrid::RowsToSent() { return m_store ? m_store->RowsToSent() : 0; }

void TRecipientsGrid::OpenList(const QString& nameOrTable)
{
    if (!m_store || nameOrTable.isEmpty())
        return;
    m_source->SetEnabled(false);
    try {
        m_store->OpenList(nameOrTable);
    } catch (...) {
        m_source->SetEnabled(true);
        throw;
    }
    m_source->SetEnabled(true);
    m_shownFields.clear();
    SyncColumns();
}

void TRecipientsGrid::Reopen() { OpenList(TableName()); }

void TRecipientsGrid::CloseList()
{
    if (m_store)
        m_store->CloseList();
}

QStringList TRecipientsGrid::GetFieldNames() const { return m_store ? m_store->GetFieldNames() : QStringList(); }

void TRecipientsGrid::SyncColumns()
{
    const db::TExtADODataSet* ds = DataSet();
    const QStringList fields = ds && ds->Active() ? ds->FieldNames() : QStringList();
    if (fields != m_shownFields || Columns()->Count() == 0)
        BuildColumns();
    ShowSortMarker();
}

void TRecipientsGrid::ShowSortMarker()
{
    xdb::TXColumn* sorted = m_store && DataSet() && !m_store->SortField().isEmpty() ? FindColumn(m_store->SortField()) : nullptr;
    for (int i = 0; i < Columns()->Count(); ++i) {
        xdb::TXColumn* c = Columns()->Items(i);
        if (c != sorted && c->Title()->Marker() != xdb::tmNone)
            c->Title()->SetMarker(xdb::tmNone);
    }
    if (sorted)
        sorted->Title()->SetMarker(m_store->SortDescending() ? xdb::tmDescend : xdb::tmAscend);
}

void TRecipientsGrid::BuildColumns()
{
    const db::TExtADODataSet* ds = DataSet();
    m_shownFields = ds && ds->Active() ? ds->FieldNames() : QStringList();
    xdb::TXDBGridColumns* cols = Columns();
    cols->BeginUpdate();
    cols->Clear();
    for (const QString& name : m_shownFields) {
        if (name.startsWith(QLatin1Char('_')))
            continue;
        xdb::TXColumn* c = cols->Add();
        c->SetFieldName(name);
        if (name.compare(QLatin1String("Status"), Qt::CaseInsensitive) == 0) {
            c->SetImages(m_imageListStatus);
            c->SetImageDraw(xdb::idCenter);
            c->SetAlignment(xdb::taCenter);
            c->SetVAlignment(xdb::tvCenter);
            c->SetTransparent(true);
            c->SetWallpaper(false);
            c->SetReadOnly(true);
            c->SetShowEdit(false);
            c->SetWidth(StatusWidth(*c, *this));
        } else {
            c->SetWidth(ColumnWidth);
        }
    }
    cols->EndUpdate();
}

int TRecipientsGrid::StatusWidth(xdb::TXColumn& column, const xdb::TXDBGrid& grid)
{
    const QFontMetrics fm(column.Title()->Font().Font());
    return std::max(StatusColumnWidth,
                    fm.horizontalAdvance(column.Title()->Caption()) + 2 * grid.GridStyle()->TitleColMargin() + 8);
}

QString TRecipientsGrid::FocusedFieldName() const
{
    const int i = FocusedColumnIndex();
    const auto& visible = VisibleColumns();
    return i >= 0 && i < int(visible.size()) ? visible[size_t(i)]->FieldName() : QString();
}

int TRecipientsGrid::FocusedColumnIndex() const { return SelectedIndex(); }

bool TRecipientsGrid::AddColumn(const QString& name)
{
    if (!m_store)
        return false;
    const bool added = m_store->AddColumn(name);
    SyncColumns();
    return added;
}

bool TRecipientsGrid::RenameColumn(const QString& oldName, const QString& newName)
{
    if (!m_store)
        return false;
    const bool done = m_store->RenameColumn(oldName, newName);
    SyncColumns();
    return done;
}

bool TRecipientsGrid::DropColumn(const QString& name)
{
    if (!m_store)
        return false;
    const bool done = m_store->DropColumn(name);
    SyncColumns();
    return done;
}

// ------------------------------------------------------------------ rows

bool TRecipientsGrid::InsertRow(const QStringList& values, QString* error)
{
    return m_store && m_store->InsertRow(values, error);
}

bool TRecipientsGrid::AddImportedRow(QStringList& row, QString* error)
{
    return m_store && m_store->AddImportedRow(row, error);
}

bool TRecipientsGrid::IsDuplicate(const QString& column, const QString& value)
{
    return m_store && m_store->IsDuplicate(column, value);
}

qint64 TRecipientsGrid::KeyOf(const db::TBookmark& bookmark)
{
    // A keyed list's bookmark is its row's _ID.
    qint64 key = 0;
    if (bookmark.size() >= qsizetype(sizeof key))
        std::memcpy(&key, bookmark.constData(), sizeof key);
    return key;
}

QList<qint64> TRecipientsGrid::SelectedIds(bool currentWhenNone)
{
    QList<qint64> ids;
    db::TExtADODataSet* ds = DataSet();
    if (!ds || !ds->Active() || ds->IsEmpty())
        return ids;
    const std::vector<db::TBookmark> list = SelectedRows()->List();
    ids.reserve(qsizetype(list.size()));
    for (const db::TBookmark& b : list)
        ids << KeyOf(b);
    if (ids.isEmpty() && currentWhenNone && ds->State() != db::dsInsert)
        ids << ds->FieldByName(QStringLiteral("_ID"))->AsLargeInt();
    return ids;
}

int TRecipientsGrid::SelectionCountWithCurrent()
{
    const db::TExtADODataSet* ds = DataSet();
    if (!ds || !ds->Active())
        return 0;
    const int selected = SelectedRows()->Count();
    if (selected == 0)
        return 0;
    return selected + (SelectedRows()->CurrentRowSelected() ? 0 : 1);
}

void TRecipientsGrid::DeleteSelectedRows()
{
    db::TExtADODataSet* ds = DataSet();
    if (!m_store || !ds || !ds->Active() || ds->State() == db::dsInsert)
        return;
    Edited();
    const QList<qint64> ids = SelectedIds();
    if (ids.isEmpty())
        return;
    BusyScope busy(m_store);
    m_store->DeleteRows(ids);
    SelectedRows()->Clear();
}

bool TRecipientsGrid::PostPendingEdit()
{
    // Without a dataset (none bound, or the store already gone) there is nothing to post.
    return !DataSet() || m_store->PostPendingEdit();
}

void TRecipientsGrid::FocusCell(int column, int row)
{
    db::TExtADODataSet* ds = DataSet();
    if (ds && ds->Active() && row >= 1 && row <= ds->RecordCount())
        ds->SetRecNo(row);
    if (column >= 0 && column < int(VisibleColumns().size()))
        SetSelectedIndex(column);
    setFocus();
}

// ------------------------------------------------------------------ status and cleaning

void TRecipientsGrid::Edited()
{
    m_changed = true;
    if (OnEdited)
        OnEdited();
}

void TRecipientsGrid::SetStatusOfSelection(int status)
{
    if (!m_store || TableName().isEmpty())
        return;
    Edited();
    const QList<qint64> ids = SelectedIds();
    if (ids.isEmpty())
        return;
    BeginUpdate();
    bool done = false;
    try {
        done = m_store->SetStatusOfIds(ids, status);
    } catch (...) {
        EndUpdate();
        throw;
    }
    EndUpdate();
    if (done)
        SelectedRows()->Clear();
}

void TRecipientsGrid::AfterListChange()
{
    SyncColumns();
    SelectedRows()->Validate();
}

void TRecipientsGrid::MarkAllSentAsUnsent()
{
    if (!m_store || TableName().isEmpty())
        return;
    m_store->MarkAllSentAsUnsent();
    AfterListChange();
}

void TRecipientsGrid::MarkAllBlockedAsUnsent()
{
    if (!m_store || TableName().isEmpty())
        return;
    m_store->MarkAllBlockedAsUnsent();
    AfterListChange();
}

void TRecipientsGrid::MarkAllAsBlocked()
{
    if (!m_store || TableName().isEmpty())
        return;
    m_store->MarkAllAsBlocked();
    AfterListChange();
}

void TRecipientsGrid::RemoveEmptyAddresses()
{
    if (!m_store || TableName().isEmpty())
        return;
    m_store->RemoveEmptyAddresses();
    AfterListChange();
}

int TRecipientsGrid::RemoveInvalidAddresses()
{
    if (!m_store || TableName().isEmpty())
        return 0;
    Edited();
    BeginUpdate();
    int removed = 0;
    try {
        removed = m_store->RemoveInvalidAddresses();
    } catch (...) {
        EndUpdate();
        AfterListChange();
        throw;
    }
    EndUpdate();
    AfterListChange();
    return removed;
}

bool TRecipientsGrid::GotoNextInvalid() { return !m_store || m_store->GotoNextInvalid(); }

// ------------------------------------------------------------------ refresh and order

void TRecipientsGrid::Requery()
{
    if (!m_store)
        return;
    m_store->Requery();
    m_changed = false;
    AfterListChange();
}

void TRecipientsGrid::RefreshIfChanged()
{
    if (m_changed)
        Requery();
}

void TRecipientsGrid::RowsDeletedInStore()
{
    m_changed = false;
    AfterListChange();
}

void TRecipientsGrid::SetSortField(const QString& field)
{
    if (!m_store || field.isEmpty())
        return;
    PostPendingEdit();
    m_store->SortByColumn(field);
    ShowSortMarker();
    SelectedRows()->Validate();
}

void TRecipientsGrid::DataSourceDataChange(db::TDataSource* sender, db::TField* field)
{
    m_changed = true;
    if (OnDataChange)
        OnDataChange(sender, field);
}

// ------------------------------------------------------------------ search and list files

void TRecipientsGrid::Search()
{
    db::TExtADODataSet* ds = DataSet();
    if (!m_store || !ds || !ds->Active())
        return;
    PostPendingEdit();
    // One search at a time: the command replaces the earlier snapshot.
    m_search.reset();
    m_search = std::make_unique<TADOSearch>(m_store->Connection(), ds->CommandText(), QStringLiteral("_ID"));
    m_search->SetOnFound([this](const QString& key) {
        if (db::TExtADODataSet* d = DataSet())
            d->Locate(QStringLiteral("_ID"), key.toLongLong());
    });
    SelectedRows()->Clear();
    m_search->SetStartKey(ds->IsEmpty() ? QVariant() : ds->FieldByName(QStringLiteral("_ID"))->Value());
    if (!m_findDialog) {
        m_findDialog = new TFindDialog(window());
        m_findDialog->OnFind = [this] {
            if (m_search)
                m_search->DoFind(m_findDialog->FindText(), m_findDialog->WholeWord(), m_findDialog->Down());
        };
    }
    m_search->OnNotFound = [this] {
        if (OnSearchNotFound) {
            OnSearchNotFound(m_findDialog);
        } else {
            QApplication::beep();
            QApplication::alert(m_findDialog);
        }
    };
    m_findDialog->Execute();
}

bool TRecipientsGrid::SaveToFile(const QString& fileName)
{
    if (!m_store)
        return false;
    PostPendingEdit();
    return m_store->SaveToFile(fileName);
}

bool TRecipientsGrid::LoadFromFile(const QString& fileName)
{
    if (!m_store)
        return false;
    const bool loaded = m_store->LoadFromFile(fileName);
    AfterListChange();
    return loaded;
}

// ------------------------------------------------------------------ keyboard and mouse

void TRecipientsGrid::KeyDown(int& key, xdb::TShiftState shift)
{
    const bool sh = shift & tk::ssShift;
    const bool ctrl = shift & tk::ssCtrl;
    const bool rangeKey = key == Qt::Key_End || key == Qt::Key_Home || key == Qt::Key_PageDown || key == Qt::Key_PageUp;
    db::TExtADODataSet* ds = DataSet();
    const bool active = ds && ds->Active() && !ds->IsEmpty();
    if (active && sh && rangeKey && SelectedRows()->Count() < 2 && ds->State() != db::dsInsert)
        SetSelectionAnchor(ds->GetBookmark());
    const int pressed = key;
    if (!RunUnlessConflict([&] { xdb::TXDBGrid::KeyDown(key, shift); }))
        return;
    if (!active)
        return;
    if (ctrl && !sh && pressed == Qt::Key_A) {
        SelectAll();
    } else if (sh && ((ctrl && (pressed == Qt::Key_End || pressed == Qt::Key_Home)) ||
                      (!ctrl && (pressed == Qt::Key_PageDown || pressed == Qt::Key_PageUp)))) {
        SelectRange();
    }
}

void TRecipientsGrid::MouseDown(tk::TMouseButton button, xdb::TShiftState shift, int x, int y)
{
    // A right click first makes the clicked row current, so the context menu works on it.
    if (button == tk::mbRight && SelectedRows()->Count() < 2) {
        if (!RunUnlessConflict([&] { xdb::TXDBGrid::MouseDown(tk::mbLeft, (shift & ~tk::ssRight) | tk::ssLeft, x, y); }))
            return;
        xdb::TXDBGrid::MouseUp(tk::mbLeft, shift & ~tk::ssRight, x, y);
    }
    RunUnlessConflict([&] { xdb::TXDBGrid::MouseDown(button, shift, x, y); });
}

bool TRecipientsGrid::RunUnlessConflict(const std::function<void()>& action)
{
    // Moving off an edited row posts it; when another program changed the row meanwhile the
    // dataset refuses the post and shows the row's current values, and the user is told why.
    try {
        action();
        return true;
    } catch (const db::EUpdateConflict& e) {
        if (m_store && m_store->Prompts())
            m_store->Prompts()->Message(e.message());
        else
            throw;
        return false;
    }
}

void TRecipientsGrid::DoExit()
{
    xdb::TXDBGrid::DoExit();
    // The focus going into the grid's own editor is no leaving: posting here would end the edit
    // the first typed character has just begun, and the next key would start it again from the
    // stored value.
    if (QWidget* now = QApplication::focusWidget(); now && (now == this || isAncestorOf(now)))
        return;
    PostPendingEdit();
}

} // namespace recipients
