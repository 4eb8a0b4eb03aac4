#pragma once
// TRecipientsGrid: the grid of the recipients page. It shows the list that the list store has open
// (the store's dataset) and passes every list command to the store; what it adds is the view:
// one column per list field whose name does not start with "_", the status images, the selection
// as the set of rows a command works on, the changed flag and the search.
#include "recipients/RecipientListStore.h"
#include "recipients/datagrid/XDBGrid.h"
#include "recipients/views/FindDialog.h"

#include <QPointer>
#include <functional>
#include <memory>

namespace recipients {

class TADOSearch;

class TRecipientsGrid : public xdb::TXDBGrid {
    Q_OBJECT
public:
    // The Status column's width; wider when its title needs more in the title font.
    static constexpr int StatusColumnWidth = 37;
    static constexpr int ColumnWidth = 180;
    // The Status column's width for its title: StatusColumnWidth, or what the title needs.
    static int StatusWidth(xdb::TXColumn& column, const xdb::TXDBGrid& grid);

    explicit TRecipientsGrid(QWidget* parent = nullptr);
    ~TRecipientsGrid() override;

    // The list store whose open list the grid shows (not owned); the grid binds to its dataset.
    void SetStore(TRecipientListStore* store);
    TRecipientListStore* Store() const { return m_store; }
    db::TDataSource* ListDataSource() const { return m_source.get(); }
    db::TExtADODataSet* DataSet() const;

    tk::TImageList* ImageListStatus() const { return m_imageListStatus; }
    void SetImageListStatus(tk::TImageList* images);

    // Raised for every data change of the list (also when the current row moves).
    std::function<void(db::TDataSource* sender, db::TField* field)> OnDataChange;
    // Raised before a command changes rows.
    std::function<void()> OnEdited;

    // The list's record number of the current row, -1 while a new row is being inserted (this
    // hides the grid row of the base class on purpose: callers of the list grid mean the record).
    int Row() const;
    int RowCount() const;
    int RowsToSent();
    QString TableName() const { return m_store ? m_store->TableName() : QString(); }

    // ---- opening and closing (columns follow the opened list)
    void OpenList(const QString& nameOrTable);
    void Reopen();
    void CloseList();
    // Rebuilds the columns from the dataset's fields when they differ from the shown ones.
    void SyncColumns();
    void BuildColumns();
    // The title marker of the list's sort field and direction (none while unsorted).
    void ShowSortMarker();
    QStringList GetFieldNames() const;

    // ---- columns
    bool AddColumn(const QString& name);
    bool RenameColumn(const QString& oldName, const QString& newName);
    bool DropColumn(const QString& name);
    // Field name of the focused column ('' when none).
    QString FocusedFieldName() const;
    int FocusedColumnIndex() const;

    // ---- rows
    bool InsertRow(const QStringList& values, QString* error = nullptr);
    bool AddImportedRow(QStringList& row, QString* error = nullptr);
    bool IsDuplicate(const QString& column, const QString& value);
    // Deletes the selected rows, or the current row when none is selected.
    void DeleteSelectedRows();
    bool PostPendingEdit();
    // Focus to a data cell: column index among the shown columns, 1-based record number.
    void FocusCell(int column, int row);
    // _IDs of the selected rows in display order; the current row's alone when none is selected.
    QList<qint64> SelectedIds(bool currentWhenNone = true);
    // Selected rows, plus one when the current row is not among them.
    int SelectionCountWithCurrent();

    // ---- status and cleaning
    void SetStatusOfSelection(int status);
    void MarkAllSentAsUnsent();
    void MarkAllBlockedAsUnsent();
    void MarkAllAsBlocked();
    void RemoveEmptyAddresses();
    int RemoveInvalidAddresses();
    bool GotoNextInvalid();

    // ---- refresh and order
    void Requery();
    void RefreshIfChanged();
    // After rows were deleted through the store (which re-read the list): the columns and the
    // selection follow, without reading the list again.
    void RowsDeletedInStore();
    bool IsChanged() const { return m_changed; }
    void SetChanged(bool value) { m_changed = value; }
    // A title click: sorts by the field (ascending first, then flipping).
    void SetSortField(const QString& field);

    // ---- search and list files
    // Opens the find dialog over a snapshot of the list (replacing an earlier search).
    void Search();
    TFindDialog* FindDialog() const { return m_findDialog; }
    // The system beep and the flash of the find dialog when nothing (more) is found.
    std::function<void(QWidget* dialog)> OnSearchNotFound;
    bool SaveToFile(const QString& fileName);
    bool LoadFromFile(const QString& fileName);

protected:
    void KeyDown(int& key, xdb::TShiftState shift) override;
    void MouseDown(tk::TMouseButton button, xdb::TShiftState shift, int x, int y) override;
    // Runs a key or mouse action of the grid; a post refused because another program changed the
    // row is shown to the user (result false) instead of ending the action with an error.
    bool RunUnlessConflict(const std::function<void()>& action);
    // Leaving the grid (also from its in-place editor, whose focus the grid never had) posts
    // the pending edit.
    void DoExit() override;

private:
    void DataSourceDataChange(db::TDataSource* sender, db::TField* field);
    void Edited();
    void AfterListChange();
    static qint64 KeyOf(const db::TBookmark& bookmark);

    TRecipientListStore* m_store = nullptr;
    std::unique_ptr<db::TDataSource> m_source;
    tk::TImageList* m_imageListStatus = nullptr;
    std::unique_ptr<tk::TImageList> m_ownStatusImages;
    QStringList m_shownFields;
    bool m_changed = false;
    std::unique_ptr<TADOSearch> m_search;
    QPointer<TFindDialog> m_findDialog;
};

} // namespace recipients
