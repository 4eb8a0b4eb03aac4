#pragma once
// The toolkit's dataset layer, as far as the program and its data grid use it: a dataset base with
// states, navigation over a buffer window, bookmarks, editing with an edit buffer, fields, a data
// source and data links with the toolkit's notifications. The rows themselves come from a subclass
// (TExtADODataSet over SQLite, ExtADODataSet.h).
//
// Record positions: a dataset holds an ordered list of records (its snapshot). The buffer window is
// a run of at most BufferCount() consecutive records that contains the current one; ActiveRecord() is
// the current record's index inside the window. Data links see a sub-window of it (their own
// BufferCount), exactly like the toolkit's record buffers.
#include "platform/db/Connection.h"
#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace db {

enum TDataSetState { dsInactive, dsBrowse, dsEdit, dsInsert };

// The toolkit's data events. Info of deFieldChange / deRecordChange: the TField* (or null);
// deDataSetScroll: how far the dataset's buffer window moved (records, positive = towards the end);
// deFocusControl: a TField** that a control sets to null once it took the focus.
enum TDataEvent {
    deFieldChange, deRecordChange, deDataSetChange, deDataSetScroll, deLayoutChange,
    deUpdateRecord, deUpdateState, deCheckBrowseMode, deFocusControl
};

enum TFieldType {
    ftUnknown, ftString, ftSmallint, ftInteger, ftWord, ftBoolean, ftFloat, ftCurrency, ftBCD,
    ftDate, ftTime, ftDateTime, ftBytes, ftVarBytes, ftAutoInc, ftBlob, ftMemo, ftFixedChar,
    ftWideString, ftLargeint, ftVariant, ftGuid,
    ftDataSet   // a nested dataset: the field's NestedDataSet() holds the rows that belong to the record
};

enum TFieldKind { fkData, fkCalculated, fkLookup, fkInternalCalc };

enum TAlignment { taLeftJustify, taRightJustify, taCenter };

enum TLocateOption { loCaseInsensitive = 1, loPartialKey = 2 };
using TLocateOptions = int;

enum TResyncModeFlag { rmExact = 1, rmCenter = 2 };
using TResyncMode = int;

// A bookmark names one record of a dataset; an empty bookmark names none. Bookmarks of one dataset
// are compared with TDataSet::CompareBookmarks, never by their bytes' order.
using TBookmark = QByteArray;

// The toolkit's silent exception: a Before... event throws it to stop the operation quietly.
class EAbort : public std::exception {
public:
    const char* what() const noexcept override { return "Operation aborted"; }
};

// Conversion of a text or value to a field's type failed ("'x' is not a valid integer value").
class EConvertError : public EDatabaseError {
public:
    using EDatabaseError::EDatabaseError;
};

// A post refused because another connection changed the row since it was read. The dataset has
// cancelled the edit and reads the row anew, so the current values show.
class EUpdateConflict : public EDatabaseError {
public:
    using EDatabaseError::EDatabaseError;
};

class TDataSet;
class TDataSource;
class TDataLink;

// ------------------------------------------------------------------ TField

class TField {
public:
    TField(TDataSet* dataSet, const QString& fieldName, TFieldType type, int size, int dataIndex);
    ~TField(); // raises the free notifications
    TField(const TField&) = delete;
    TField& operator=(const TField&) = delete;

    TDataSet* DataSet() const { return m_dataSet; }
    QString FieldName() const { return m_fieldName; }
    QString FullName() const { return m_fieldName; }
    TFieldType DataType() const { return m_dataType; }
    TFieldKind FieldKind() const { return m_fieldKind; }
    bool Lookup() const { return m_fieldKind == fkLookup; }
    // A lookup field shows LookupResultField of the LookupDataSet record whose LookupKeyFields equal
    // this dataset's KeyFields (field lists separated by ";"). Writing it writes the key fields.
    QString KeyFields() const { return m_keyFields; }
    TDataSet* LookupDataSet() const { return m_lookupDataSet; }
    QString LookupKeyFields() const { return m_lookupKeyFields; }
    QString LookupResultField() const { return m_lookupResultField; }
    // The rows of a dataset field (ftDataSet) for the current record; null for other fields.
    TDataSet* NestedDataSet() const { return m_nestedDataSet; }
    void SetNestedDataSet(TDataSet* dataSet) { m_nestedDataSet = dataSet; }
    int Size() const { return m_size; }              // characters of a text field, 0 for the others
    int DataIndex() const { return m_dataIndex; }    // column of the row data (never changes)

    int Index() const;                               // position in the dataset's field list
    void SetIndex(int index);                        // moves the field; a layout change follows

    QString DisplayLabel() const { return m_displayLabel.isEmpty() ? m_fieldName : m_displayLabel; }
    void SetDisplayLabel(const QString& label);
    QString DisplayName() const { return DisplayLabel(); }
    int DisplayWidth() const;                        // characters; the type's default until set
    void SetDisplayWidth(int width);
    TAlignment Alignment() const { return m_alignment; } // right for numbers, left otherwise
    void SetAlignment(TAlignment alignment);
    bool ReadOnly() const { return m_readOnly; }
    void SetReadOnly(bool value);
    bool Visible() const { return m_visible; }
    void SetVisible(bool value);
    bool Required() const { return m_required; }
    void SetRequired(bool value) { m_required = value; }
    bool CanModify() const;                          // not read-only and the dataset can modify
    bool IsBlob() const;
    bool IsNumeric() const;
    bool IsText() const;                             // ftString, ftFixedChar, ftWideString, ftMemo

    // Base-table column behind the field ('' for expressions); set by the dataset.
    QString Origin() const { return m_origin; }

    // Values of the current record (the dataset's active record). Reading a value the dataset
    // cannot read raises EDatabaseError; it never turns into an empty value.
    QVariant Value() const;                          // null QVariant for NULL; text is QString
    // The value as it was read before the current edit began (Value() outside an edit; null
    // while inserting).
    QVariant OldValue() const;
    bool IsNull() const;
    QString AsString() const;                        // '' for NULL
    int AsInteger() const;                           // 0 for NULL; raises EConvertError
    qint64 AsLargeInt() const;
    double AsFloat() const;
    bool AsBoolean() const;
    // Writing needs the dataset in edit or insert state; the value is converted to the field's type
    // (EConvertError when it cannot be); an empty text gives NULL for non-text fields.
    void SetValue(const QVariant& value);
    void SetAsString(const QString& value);
    void SetAsInteger(qint64 value);
    void SetAsFloat(double value);
    void SetAsBoolean(bool value);
    void Clear();                                    // sets NULL

    QString DisplayText() const;                     // OnGetText(display) or AsString
    QString EditText() const;                        // OnGetText(edit) or AsString
    QString Text() const { return EditText(); }
    void SetEditText(const QString& text);           // OnSetText or SetAsString
    void SetText(const QString& text) { SetEditText(text); }
    bool IsValidChar(QChar c) const;
    QString EditMask() const { return m_editMask; }  // kept for the grid's editor; never applied here
    void SetEditMask(const QString& mask) { m_editMask = mask; }

    void FocusControl();                             // asks the data links to focus this field

    // The toolkit's OnGetText (Sender, var Text, DisplayText) and OnSetText (Sender, Text).
    std::function<void(TField* sender, QString& text, bool displayText)> OnGetText;
    std::function<void(TField* sender, const QString& text)> OnSetText;
    std::function<void(TField* sender)> OnChange;    // after the value was written
    std::function<void(TField* sender)> OnValidate;  // before the value is written (throw to refuse)

    // Free notification: onFree runs when the field is destroyed (the dataset closes, or its
    // fields are rebuilt). One entry per subscriber; adding again replaces it.
    void FreeNotification(const void* subscriber, std::function<void(TField*)> onFree);
    void RemoveFreeNotification(const void* subscriber);

    // Set up by the dataset while it builds its fields.
    void SetOrigin(const QString& origin) { m_origin = origin; }

private:
    friend class TDataSet;
    QVariant ConvertForWrite(const QVariant& value) const;
    void PropertyChanged(bool layoutAffected);

    TDataSet* m_dataSet;
    QString m_fieldName;
    TFieldType m_dataType;
    int m_size;
    int m_dataIndex;
    QString m_displayLabel;
    int m_displayWidth = -1;
    TAlignment m_alignment;
    bool m_readOnly = false;
    bool m_visible = true;
    bool m_required = false;
    QString m_origin;
    QString m_editMask;
    TFieldKind m_fieldKind = fkData;
    QString m_keyFields;
    TDataSet* m_lookupDataSet = nullptr;
    QString m_lookupKeyFields;
    QString m_lookupResultField;
    TDataSet* m_nestedDataSet = nullptr;
    std::vector<std::pair<const void*, std::function<void(TField*)>>> m_freeNotifies;
};

// ------------------------------------------------------------------ TDataSet

class TDataSet {
public:
    TDataSet();
    virtual ~TDataSet();
    TDataSet(const TDataSet&) = delete;
    TDataSet& operator=(const TDataSet&) = delete;

    // --- state
    bool Active() const { return m_state != dsInactive; }
    void SetActive(bool value);
    void Open() { SetActive(true); }
    void Close() { SetActive(false); }
    TDataSetState State() const { return m_state; }
    bool Modified() const { return m_modified; }
    bool IsEmpty() const;
    virtual bool CanModify() const { return false; }
    void CheckActive() const;   // raises "Cannot perform this operation on a closed dataset"
    void CheckInactive() const; // raises "Cannot perform this operation on an open dataset"

    // --- navigation (each posts a pending edit first, see CheckBrowseMode)
    void First();
    void Last();
    void Next() { MoveBy(1); }
    void Prior() { MoveBy(-1); }
    int MoveBy(int distance);   // result: the records actually moved (negative backwards)
    bool Bof() const { return m_bof; }
    bool Eof() const { return m_eof; }
    int RecNo() const;          // 1-based position; -1 while inserting, on an empty or closed dataset
    void SetRecNo(int value);
    int RecordCount() const;    // records of the snapshot (a record being inserted not counted); 0 closed
    virtual bool IsSequenced() const { return true; }
    virtual bool IsUniDirectional() const { return false; }
    bool DefaultFields() const { return true; } // fields are made at every open from the statement

    // --- bookmarks
    TBookmark GetBookmark() const;            // empty on an empty dataset and while inserting
    TBookmark Bookmark() const { return GetBookmark(); }
    // The bookmarks of `count` records from the 1-based position `recNo` on, in order, without
    // moving there: `take` sees each one (the view is valid during the call only); positions
    // outside the records and records without a bookmark are skipped.
    void ForEachBookmark(int recNo, int count, const std::function<void(QByteArrayView)>& take) const;
    // Raises "Record not found" for a record not there. With rmCenter the record lands in the middle
    // of the buffer window; without it at the current ActiveRecord index (a data link sets that
    // index first to put a record back on its screen row).
    void GotoBookmark(const TBookmark& bookmark, TResyncMode mode = rmExact | rmCenter);
    void SetBookmark(const TBookmark& bookmark) { GotoBookmark(bookmark); }
    bool BookmarkValid(const TBookmark& bookmark) const;
    // Negative, 0 or positive by the records' order in the current snapshot. Empty bookmarks come
    // first; bookmarks of records no longer in the snapshot come after all others, by key.
    int CompareBookmarks(const TBookmark& a, const TBookmark& b) const;
    // Changes whenever records may have left the snapshot or changed their order (a requery, a
    // filter change, a deletion), so holders of many bookmarks know when to check them again.
    quint64 SnapshotNumber() const { return m_snapshotNumber; }

    // --- editing
    void Edit();        // on an empty dataset: Insert
    void Insert();      // a new record before the current one
    void Append();      // a new record after the last one
    void Post();        // raises "Dataset not in edit or insert mode" in browse state
    void Cancel();
    void Delete();      // while inserting: Cancel
    // The toolkit's browse-mode check: in edit or insert state the data links write their edits
    // (UpdateRecord) and the record is posted when modified, cancelled otherwise.
    void CheckBrowseMode();
    void UpdateRecord();  // raises "Dataset not in edit or insert mode" in browse state

    // --- locate and filter
    // Moves to the first record whose field equals value; false (and no move) when there is none.
    // Several key fields are separated by ";" and take a QVariantList of values, one per field.
    // Searching never raises; posting a pending edit first may.
    bool Locate(const QString& keyFields, const QVariant& value, TLocateOptions options = 0);
    // The value of resultFields (a QVariantList for several, ";"-separated) of the first record
    // whose keyFields equal keyValues, without moving; a null QVariant when there is none.
    QVariant Lookup(const QString& keyFields, const QVariant& keyValues, const QString& resultFields);
    // Finding by the Filter text while the dataset stays unfiltered (FindFirst/Last/Next/Prior):
    // moves to the matching record and answers whether there was one (also in Found()).
    bool FindFirst() { return FindRecord(true, true); }
    bool FindLast() { return FindRecord(true, false); }
    bool FindNext() { return FindRecord(false, true); }
    bool FindPrior() { return FindRecord(false, false); }
    virtual bool FindRecord(bool restart, bool goForward) { (void)restart; (void)goForward; return SetFound(false); }
    bool Found() const { return m_found; }
    // The filter is applied when the snapshot is taken; changing it while filtered and open takes
    // a new snapshot (first record). A filter the database refuses raises and is not kept.
    QString Filter() const { return m_filter; }
    void SetFilter(const QString& filter);
    bool Filtered() const { return m_filtered; }
    void SetFiltered(bool value);

    // --- data-aware controls
    void DisableControls();
    void EnableControls();
    bool ControlsDisabled() const { return m_disableCount > 0; }

    // --- buffer window
    int BufferCount() const { return m_bufferCount; }  // the largest BufferCount of the data links, at least 1
    int BufferRecordCount() const { return m_recordCount; } // records in the window
    int ActiveRecord() const { return m_activeRecord; }
    void SetActiveRecord(int index);                    // used by data links for drawing
    void Resync(TResyncMode mode = 0);                  // window rebuilt around the current record; data set changed
    virtual void Refresh();                             // re-reads the rows' values; position kept

    // --- fields
    int FieldCount() const { return int(m_fields.size()); }
    TField* Fields(int index) const;
    TField* FindField(const QString& name) const;       // case-insensitive; nullptr when missing
    TField* FieldByName(const QString& name) const;     // raises "Field '%s' not found"
    QStringList FieldNames() const;
    void GetFieldNames(QStringList& list) const { list = FieldNames(); }
    // The fields of a ";"-separated list (raises "Field '%s' not found" for a missing one).
    QList<TField*> GetFieldList(const QString& names) const;
    // Defines a lookup field (see TField::KeyFields). It is part of the field list from the next
    // open on (at once when open) and stays defined over reopens.
    TField* AddLookupField(const QString& name, TFieldType type, int size, const QString& keyFields,
                           TDataSet* lookupDataSet, const QString& lookupKeyFields, const QString& lookupResultField);

    // --- events (an unassigned event does nothing; throw EAbort from a Before... event to stop)
    std::function<void(TDataSet*)> BeforeOpen, AfterOpen, BeforeClose, AfterClose;
    std::function<void(TDataSet*)> BeforeInsert, AfterInsert, BeforeEdit, AfterEdit;
    std::function<void(TDataSet*)> BeforePost, AfterPost, BeforeCancel, AfterCancel;
    std::function<void(TDataSet*)> BeforeDelete, AfterDelete, BeforeScroll, AfterScroll;
    std::function<void(TDataSet*)> OnNewRecord;

    // --- used by TField, TDataSource and TDataLink
    void DataEvent(TDataEvent event, std::intptr_t info);
    QVariant GetFieldValue(const TField* field) const;
    void SetFieldValue(TField* field, const QVariant& value);
    void MoveField(TField* field, int newIndex);
    void UpdateBufferCount();
    void AttachDataSource(TDataSource* source);
    void DetachDataSource(TDataSource* source);

protected:
    // The record store of a subclass. Positions run 0 .. InternalRecordCount() - 1 and include a
    // record being inserted (its placeholder).
    virtual void InternalOpen() = 0;   // build the fields (AddField) and the snapshot
    virtual void InternalClose() = 0;
    virtual int InternalRecordCount() const = 0;
    virtual QVariant InternalGetValue(int position, int dataIndex) const = 0; // raises on failure
    virtual void InternalInitRecord(QVector<QVariant>& buffer) { (void)buffer; } // defaults of a new record
    virtual void InternalInsertPlaceholder(int position) = 0;
    virtual void InternalRemovePlaceholder(int position) = 0;
    // Writes the edit buffer; `changed` lists data indexes in the order they were written. On
    // success the placeholder of an insert now stands for the new row. Raises on failure.
    virtual void InternalPost(int position, bool inserting, const QVector<QVariant>& buffer,
                              const QList<int>& changed) = 0;
    virtual void InternalDelete(int position) = 0;
    virtual TBookmark InternalBookmark(int position) const = 0;
    virtual int InternalBookmarkPosition(const TBookmark& bookmark) const = 0; // -1 when not there
    // The bookmarks of positions [first, end) in order, as InternalBookmark gives them; empty ones
    // are skipped. A dataset may give them without making a bookmark per record.
    virtual void InternalBookmarks(int first, int end, const std::function<void(QByteArrayView)>& take) const;
    virtual int InternalCompareMissing(const TBookmark& a, const TBookmark& b) const;
    virtual int InternalLocate(const TField* field, const QVariant& value, TLocateOptions options) = 0; // -1 not found
    virtual void InternalRefresh() {}
    virtual void InternalFilterChanged() {}            // active: take a new snapshot
    virtual QString AdjustFilterText(const QString& filter) const { return filter; } // SetFilterText hook
    // Several key fields at once; -1 when none matches. The default takes a single field only.
    virtual int InternalLocateFields(const QList<const TField*>& fields, const QVariantList& values,
                                     TLocateOptions options);
    // Runs before a delete (after BeforeDelete); throw EAbort to refuse it silently.
    virtual void DoBeforeDelete() {}
    // Adds the defined lookup fields after the data fields were built.
    void CreateLookupFields();
    bool SetFound(bool value) { m_found = value; return value; }
    // Moves to a record found by a search (events and notifications as for Locate).
    void GotoPosition(int position);
    virtual int PendingPosition() const { return m_state == dsInsert ? m_editPos : -1; }
    // The record's values as they were read when the current edit began (by data index).
    const QVector<QVariant>& OldBuffer() const { return m_oldBuffer; }

    TField* AddField(const QString& name, TFieldType type, int size, int dataIndex);
    // Sets a new field's attributes without notifications.
    static void SetupField(TField* field, const QString& origin, bool readOnly, bool visible, bool required);
    void DestroyFields();
    // Hands the fields over (to be destroyed once their successors exist).
    std::vector<std::unique_ptr<TField>> TakeFields() { return std::move(m_fields); }
    int CurrentPosition() const { return m_recordCount ? m_first + m_activeRecord : -1; }
    // Puts the window on `position` (clamped), with the current record at buffer index `active`
    // when the records allow it.
    void PlaceWindow(int position, int active);
    void SetState(TDataSetState state);
    void CloseForDestroy();   // subclasses call this from their destructor
    bool Destroying() const { return m_destroying; }
    // Takes a new snapshot while open (filter change, requery): window to the first record.
    void AfterNewSnapshot(bool layoutChanged);

    static void Fire(const std::function<void(TDataSet*)>& event, TDataSet* self)
    {
        if (event) event(self);
    }

private:
    void DoOpen();
    void DoClose();
    void CheckCanModify() const;
    void CheckRequiredFields();
    void BeginInsertAppend(bool append);
    void NotifyLinksRange();

    TDataSetState m_state = dsInactive;
    bool m_modified = false;
    bool m_bof = true;
    bool m_eof = true;
    bool m_destroying = false;
    QString m_filter;
    bool m_filtered = false;
    int m_disableCount = 0;
    TDataSetState m_disableState = dsInactive;
    TDataEvent m_enableEvent = deDataSetChange;

    int m_bufferCount = 1;
    int m_first = 0;
    int m_recordCount = 0;
    int m_activeRecord = 0;

    quint64 m_snapshotNumber = 0;
    int m_editPos = -1;
    QVector<QVariant> m_editBuffer;
    QVector<QVariant> m_oldBuffer;
    QList<int> m_changed;

    std::vector<std::unique_ptr<TField>> m_fields;
    std::vector<TDataSource*> m_dataSources;
    bool m_found = false;
    struct LookupDef {
        QString name;
        TFieldType type;
        int size;
        QString keyFields;
        TDataSet* lookupDataSet;
        QString lookupKeyFields;
        QString lookupResultField;
    };
    std::vector<LookupDef> m_lookupDefs;

    friend class TField;
    friend class TDataLink;
};

// ------------------------------------------------------------------ TDataSource

class TDataSource {
public:
    TDataSource() = default;
    explicit TDataSource(TDataSet* dataSet) { SetDataSet(dataSet); }
    ~TDataSource();
    TDataSource(const TDataSource&) = delete;
    TDataSource& operator=(const TDataSource&) = delete;

    TDataSet* DataSet() const { return m_dataSet; }
    void SetDataSet(TDataSet* dataSet);
    bool Enabled() const { return m_enabled; }
    void SetEnabled(bool value);                      // disabled: every link is inactive
    bool AutoEdit() const { return m_autoEdit; }
    void SetAutoEdit(bool value) { m_autoEdit = value; }
    TDataSetState State() const { return m_state; }
    void Edit();                                      // AutoEdit and browse state: the dataset's Edit
    bool IsLinkedTo(const TDataSet* dataSet) const { return m_dataSet == dataSet; }

    // Free notification: onFree runs when the data source is destroyed (its links are detached
    // first). One entry per subscriber; adding again replaces it.
    void FreeNotification(const void* subscriber, std::function<void(TDataSource*)> onFree);
    void RemoveFreeNotification(const void* subscriber);

    // OnDataChange (Sender, Field): Field is set for a field change, null otherwise.
    std::function<void(TDataSource* sender, TField* field)> OnDataChange;
    std::function<void(TDataSource* sender)> OnStateChange;
    std::function<void(TDataSource* sender)> OnUpdateData;

    // --- used by TDataSet and TDataLink
    void DataEvent(TDataEvent event, std::intptr_t info);
    void AddDataLink(TDataLink* link);
    void RemoveDataLink(TDataLink* link);
    const std::vector<TDataLink*>& DataLinks() const { return m_links; }

private:
    void UpdateState();
    void SetState(TDataSetState state);
    void NotifyLinks(TDataEvent event, std::intptr_t info);

    TDataSet* m_dataSet = nullptr;
    bool m_enabled = true;
    bool m_autoEdit = true;
    TDataSetState m_state = dsInactive;
    std::vector<TDataLink*> m_links;
    std::vector<std::pair<const void*, std::function<void(TDataSource*)>>> m_freeNotifies;
};

// ------------------------------------------------------------------ TDataLink

// A data-aware control's connection to a data source. Controls derive from it and override the
// notifications; the default implementations call the matching std::function member (handy in
// tests and small controls). The link sees BufferCount records of the dataset's buffer window.
class TDataLink {
public:
    TDataLink() = default;
    virtual ~TDataLink();
    TDataLink(const TDataLink&) = delete;
    TDataLink& operator=(const TDataLink&) = delete;

    TDataSource* DataSource() const { return m_dataSource; }
    void SetDataSource(TDataSource* source);
    TDataSet* DataSet() const { return m_dataSource ? m_dataSource->DataSet() : nullptr; }
    bool Active() const { return m_active; }
    bool Editing() const { return m_editing; }
    bool ReadOnly() const { return m_readOnly; }
    void SetReadOnly(bool value);
    bool VisualControl() const { return m_visualControl; }
    void SetVisualControl(bool value) { m_visualControl = value; }

    int BufferCount() const { return m_bufferCount; }
    void SetBufferCount(int value);
    int RecordCount() const;            // records of this link's window (0 when inactive)
    int ActiveRecord() const;           // current record's index in this link's window
    void SetActiveRecord(int value);    // points the dataset's active record into this window
    bool Bof() const;
    bool Eof() const;

    bool Edit();                        // through the data source (AutoEdit); result: Editing()
    void UpdateRecord();                // UpdateData with the updating flag set

    // Notifications (the toolkit's virtual methods).
    virtual void ActiveChanged() { if (OnActiveChanged) OnActiveChanged(); }
    virtual void CheckBrowseMode() { if (OnCheckBrowseMode) OnCheckBrowseMode(); }
    virtual void DataSetChanged() { if (OnDataSetChanged) OnDataSetChanged(); else RecordChanged(nullptr); }
    // Distance: how many records this link's window moved (positive towards the end); 0 when the
    // current record moved inside the window.
    virtual void DataSetScrolled(int distance) { if (OnDataSetScrolled) OnDataSetScrolled(distance); else DataSetChanged(); }
    virtual void FocusControl(TField*& field) { if (OnFocusControl) OnFocusControl(field); }
    virtual void EditingChanged() { if (OnEditingChanged) OnEditingChanged(); }
    virtual void LayoutChanged() { if (OnLayoutChanged) OnLayoutChanged(); else DataSetChanged(); }
    virtual void RecordChanged(TField* field) { if (OnRecordChanged) OnRecordChanged(field); }
    virtual void UpdateData() { if (OnUpdateData) OnUpdateData(); }

    std::function<void()> OnActiveChanged, OnCheckBrowseMode, OnDataSetChanged, OnEditingChanged, OnLayoutChanged,
        OnUpdateData;
    std::function<void(int distance)> OnDataSetScrolled;
    std::function<void(TField* field)> OnRecordChanged;
    std::function<void(TField*& field)> OnFocusControl;

    // --- used by TDataSource and TDataSet
    void DataEvent(TDataEvent event, std::intptr_t info);
    void UpdateRange();                 // keeps the dataset's active record inside this window

private:
    int AdjustFirst(int datasetShift);
    void UpdateState();
    void SetActive(bool value);
    void SetEditing(bool value);

    TDataSource* m_dataSource = nullptr;
    bool m_active = false;
    bool m_editing = false;
    bool m_readOnly = false;
    bool m_updating = false;
    bool m_visualControl = false;
    int m_bufferCount = 1;
    int m_firstRecord = 0;              // index of this window's first record in the dataset's window
};

} // namespace db
