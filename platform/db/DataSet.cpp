#include "DataSet.h"
#include <QLocale>
#include <algorithm>
#include <cmath>

namespace db {

namespace {
// Free-notification lists: one callback per subscriber, replaced when it subscribes again.
template <class List, class Callback>
void AddSubscriber(List& list, const void* subscriber, Callback onFree)
{
    for (auto& n : list)
        if (n.first == subscriber) {
            n.second = std::move(onFree);
            return;
        }
    list.emplace_back(subscriber, std::move(onFree));
}

template <class List>
void RemoveSubscriber(List& list, const void* subscriber)
{
    list.erase(std::remove_if(list.begin(), list.end(), [&](const auto& n) { return n.first == subscriber; }),
               list.end());
}
}

namespace {

const char* kClosed = "Cannot perform this operation on a closed dataset";
const char* kOpen = "Cannot perform this operation on an open dataset";
const char* kNotEditing = "Dataset not in edit or insert mode";
const char* kEmpty = "Cannot perform this operation on an empty dataset";
const char* kReadOnlyDataSet = "Cannot modify a read-only dataset";

bool IsEditState(TDataSetState s) { return s == dsEdit || s == dsInsert; }

bool IsIntegerType(TFieldType t)
{
    return t == ftSmallint || t == ftInteger || t == ftWord || t == ftAutoInc || t == ftLargeint;
}

bool IsFloatType(TFieldType t) { return t == ftFloat || t == ftCurrency || t == ftBCD; }

qint64 ToInteger(const QVariant& v, const QString& nameForError)
{
    (void)nameForError;
    if (v.isNull() || !v.isValid())
        return 0;
    switch (v.typeId()) {
    case QMetaType::LongLong:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Long:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Bool:
        return v.toLongLong();
    case QMetaType::ULongLong:
        return qint64(v.toULongLong());
    case QMetaType::Double:
    case QMetaType::Float: {
        const double d = v.toDouble();
        if (std::isfinite(d) && d == std::floor(d) && std::fabs(d) < 9.2e18)
            return qint64(d);
        throw EConvertError(QStringLiteral("'%1' is not a valid integer value").arg(v.toString()));
    }
    default: {
        const QString s = v.toString().trimmed();
        bool ok = false;
        const qint64 n = s.toLongLong(&ok);
        if (!ok)
            throw EConvertError(QStringLiteral("'%1' is not a valid integer value").arg(v.toString()));
        return n;
    }
    }
}

double ToFloat(const QVariant& v)
{
    if (v.isNull() || !v.isValid())
        return 0;
    switch (v.typeId()) {
    case QMetaType::LongLong:
    case QMetaType::Int:
    case QMetaType::Double:
    case QMetaType::Float:
    case QMetaType::Bool:
        return v.toDouble();
    default: {
        QString s = v.toString().trimmed();
        bool ok = false;
        double d = s.toDouble(&ok);
        if (!ok) {
            d = QLocale().toDouble(s, &ok);
            if (!ok)
                throw EConvertError(QStringLiteral("'%1' is not a valid floating point value").arg(v.toString()));
        }
        return d;
    }
    }
}

bool ToBoolean(const QVariant& v)
{
    if (v.isNull() || !v.isValid())
        return false;
    if (v.typeId() == QMetaType::QString) {
        const QString s = v.toString().trimmed().toLower();
        if (s == QLatin1String("true") || s == QLatin1String("yes") || s == QLatin1String("1"))
            return true;
        if (s == QLatin1String("false") || s == QLatin1String("no") || s == QLatin1String("0"))
            return false;
        bool ok = false;
        const double d = s.toDouble(&ok);
        if (ok)
            return d != 0;
        throw EConvertError(QStringLiteral("'%1' is not a valid boolean value").arg(v.toString()));
    }
    return v.toDouble() != 0;
}

} // namespace

// ================================================================== TField

TField::TField(TDataSet* dataSet, const QString& fieldName, TFieldType type, int size, int dataIndex)
    : m_dataSet(dataSet), m_fieldName(fieldName), m_dataType(type), m_size(size), m_dataIndex(dataIndex)
{
    m_alignment = IsNumeric() ? taRightJustify : taLeftJustify;
}

TField::~TField()
{
    auto notifies = std::move(m_freeNotifies);
    for (auto& n : notifies)
        if (n.second)
            n.second(this);
}

int TField::Index() const
{
    if (!m_dataSet)
        return -1;
    for (int i = 0; i < m_dataSet->FieldCount(); ++i)
        if (m_dataSet->Fields(i) == this)
            return i;
    return -1;
}

void TField::SetIndex(int index)
{
    if (m_dataSet)
        m_dataSet->MoveField(this, index);
}

void TField::PropertyChanged(bool layoutAffected)
{
    if (m_dataSet && m_dataSet->Active())
        m_dataSet->DataEvent(layoutAffected ? deLayoutChange : deDataSetChange, 0);
}

void TField::SetDisplayLabel(const QString& label)
{
    const QString v = label == m_fieldName ? QString() : label;
    if (v != m_displayLabel) {
        m_displayLabel = v;
        PropertyChanged(true);
    }
}

int TField::DisplayWidth() const
{
    if (m_displayWidth >= 0)
        return m_displayWidth;
    switch (m_dataType) {
    case ftString:
    case ftFixedChar:
    case ftWideString:
        return m_size > 0 ? m_size : 20;
    case ftSmallint:
    case ftWord:
        return 6;
    case ftInteger:
    case ftAutoInc:
        return 11;
    case ftLargeint:
        return 15;
    case ftBoolean:
        return 5;
    case ftDate:
    case ftTime:
        return 10;
    case ftDateTime:
        return 18;
    case ftGuid:
        return 38;
    default:
        return 10;
    }
}

void TField::SetDisplayWidth(int width)
{
    if (width != m_displayWidth) {
        m_displayWidth = width;
        PropertyChanged(true);
    }
}

void TField::SetAlignment(TAlignment alignment)
{
    if (alignment != m_alignment) {
        m_alignment = alignment;
        PropertyChanged(false);
    }
}

void TField::SetReadOnly(bool value)
{
    if (value != m_readOnly) {
        m_readOnly = value;
        PropertyChanged(true);
    }
}

void TField::SetVisible(bool value)
{
    if (value != m_visible) {
        m_visible = value;
        PropertyChanged(true);
    }
}

bool TField::CanModify() const
{
    return !m_readOnly && m_dataSet && m_dataSet->CanModify();
}

bool TField::IsBlob() const
{
    return m_dataType == ftBlob || m_dataType == ftMemo;
}

bool TField::IsNumeric() const
{
    return IsIntegerType(m_dataType) || IsFloatType(m_dataType);
}

bool TField::IsText() const
{
    return m_dataType == ftString || m_dataType == ftFixedChar || m_dataType == ftWideString || m_dataType == ftMemo;
}

QVariant TField::Value() const
{
    return m_dataSet ? m_dataSet->GetFieldValue(this) : QVariant();
}

QVariant TField::OldValue() const
{
    if (!m_dataSet)
        return QVariant();
    const TDataSet* ds = m_dataSet;
    if (ds->m_state == dsInsert)
        return QVariant();
    if (ds->m_state == dsEdit && ds->CurrentPosition() == ds->m_editPos)
        return ds->m_oldBuffer.value(m_dataIndex);
    return Value();
}

bool TField::IsNull() const
{
    const QVariant v = Value();
    return !v.isValid() || v.isNull();
}

QString TField::AsString() const
{
    if (m_dataType == ftDataSet)
        return QStringLiteral("(DATASET)");
    const QVariant v = Value();
    if (!v.isValid() || v.isNull())
        return QString();
    switch (v.typeId()) {
    case QMetaType::Double:
        if (m_dataType == ftBoolean)
            return v.toDouble() != 0 ? QStringLiteral("True") : QStringLiteral("False");
        return QString::number(v.toDouble(), 'g', 15);
    case QMetaType::LongLong:
    case QMetaType::Int:
    case QMetaType::Bool:
        if (m_dataType == ftBoolean)
            return v.toLongLong() != 0 ? QStringLiteral("True") : QStringLiteral("False");
        return QString::number(v.toLongLong());
    case QMetaType::QByteArray:
        return QString::fromUtf8(v.toByteArray());
    default:
        return v.toString();
    }
}

int TField::AsInteger() const
{
    return int(ToInteger(Value(), m_fieldName));
}

qint64 TField::AsLargeInt() const
{
    return ToInteger(Value(), m_fieldName);
}

double TField::AsFloat() const
{
    return ToFloat(Value());
}

bool TField::AsBoolean() const
{
    return ToBoolean(Value());
}

QVariant TField::ConvertForWrite(const QVariant& value) const
{
    if (!value.isValid() || value.isNull())
        return QVariant();
    const bool isText = value.typeId() == QMetaType::QString;
    if (IsIntegerType(m_dataType)) {
        if (isText && value.toString().trimmed().isEmpty())
            return QVariant();
        const qint64 n = ToInteger(value, m_fieldName);
        qint64 lo = 0, hi = 0;
        bool ranged = true;
        switch (m_dataType) {
        case ftSmallint: lo = -32768; hi = 32767; break;
        case ftWord: lo = 0; hi = 65535; break;
        case ftInteger:
        case ftAutoInc: lo = INT32_MIN; hi = INT32_MAX; break;
        default: ranged = false;
        }
        if (ranged && (n < lo || n > hi))
            throw EConvertError(QStringLiteral("%1 is not a valid value for field '%2'. The allowed range is %3 to %4")
                                    .arg(n).arg(DisplayName()).arg(lo).arg(hi));
        return QVariant(qlonglong(n));
    }
    if (IsFloatType(m_dataType)) {
        if (isText && value.toString().trimmed().isEmpty())
            return QVariant();
        return QVariant(ToFloat(value));
    }
    if (m_dataType == ftBoolean) {
        if (isText && value.toString().trimmed().isEmpty())
            return QVariant();
        return QVariant(qlonglong(ToBoolean(value) ? 1 : 0));
    }
    if (m_dataType == ftBlob || m_dataType == ftBytes || m_dataType == ftVarBytes) {
        if (value.typeId() == QMetaType::QByteArray)
            return value;
        return QVariant(value.toString().toUtf8());
    }
    if (m_dataType == ftVariant)
        return value;
    // text, dates and anything else are stored as text
    if (value.typeId() == QMetaType::Double)
        return QVariant(QString::number(value.toDouble(), 'g', 15));
    return QVariant(value.toString());
}

void TField::SetValue(const QVariant& value)
{
    if (!m_dataSet)
        throw EDatabaseError(QStringLiteral("Field '%1' has no dataset").arg(m_fieldName));
    m_dataSet->SetFieldValue(this, ConvertForWrite(value));
}

void TField::SetAsString(const QString& value) { SetValue(QVariant(value)); }
void TField::SetAsInteger(qint64 value) { SetValue(QVariant(qlonglong(value))); }
void TField::SetAsFloat(double value) { SetValue(QVariant(value)); }
void TField::SetAsBoolean(bool value) { SetValue(QVariant(qlonglong(value ? 1 : 0))); }
void TField::Clear() { SetValue(QVariant()); }

QString TField::DisplayText() const
{
    if (OnGetText) {
        QString text;
        OnGetText(const_cast<TField*>(this), text, true);
        return text;
    }
    return AsString();
}

QString TField::EditText() const
{
    if (OnGetText) {
        QString text;
        OnGetText(const_cast<TField*>(this), text, false);
        return text;
    }
    return AsString();
}

void TField::SetEditText(const QString& text)
{
    if (OnSetText)
        OnSetText(this, text);
    else
        SetAsString(text);
}

bool TField::IsValidChar(QChar c) const
{
    if (IsIntegerType(m_dataType))
        return c.isDigit() && c.unicode() < 128 ? true : (c == QLatin1Char('+') || c == QLatin1Char('-'));
    if (IsFloatType(m_dataType)) {
        if (c.unicode() < 128 && c.isDigit())
            return true;
        return c == QLatin1Char('+') || c == QLatin1Char('-') || c == QLatin1Char('E') || c == QLatin1Char('e') ||
               c == QLatin1Char('.') || c == QLocale().decimalPoint().at(0);
    }
    return true;
}

void TField::FocusControl()
{
    if (m_dataSet && m_dataSet->Active()) {
        TField* ref = this;
        m_dataSet->DataEvent(deFocusControl, reinterpret_cast<std::intptr_t>(&ref));
    }
}

void TField::FreeNotification(const void* subscriber, std::function<void(TField*)> onFree)
{
    AddSubscriber(m_freeNotifies, subscriber, std::move(onFree));
}

void TField::RemoveFreeNotification(const void* subscriber)
{
    RemoveSubscriber(m_freeNotifies, subscriber);
}

// ================================================================== TDataSet

TDataSet::TDataSet() = default;

TDataSet::~TDataSet()
{
    m_destroying = true;
    // A subclass closes in its own destructor (CloseForDestroy); here only the links are let go.
    auto sources = m_dataSources;
    for (TDataSource* s : sources)
        s->SetDataSet(nullptr);
    DestroyFields();
}

void TDataSet::CloseForDestroy()
{
    m_destroying = true;
    if (m_state != dsInactive) {
        try {
            DoClose();
        } catch (...) {
        }
    }
}

void TDataSet::CheckActive() const
{
    if (m_state == dsInactive)
        throw EDatabaseError(QString::fromLatin1(kClosed));
}

void TDataSet::CheckInactive() const
{
    if (m_state != dsInactive)
        throw EDatabaseError(QString::fromLatin1(kOpen));
}

void TDataSet::CheckCanModify() const
{
    if (!CanModify())
        throw EDatabaseError(QString::fromLatin1(kReadOnlyDataSet));
}

bool TDataSet::IsEmpty() const
{
    return m_state == dsInactive || m_recordCount == 0;
}

void TDataSet::SetActive(bool value)
{
    if (value == Active())
        return;
    if (value)
        DoOpen();
    else
        DoClose();
}

void TDataSet::DoOpen()
{
    if (!m_destroying)
        Fire(BeforeOpen, this);
    m_modified = false;
    m_editBuffer.clear();
    m_oldBuffer.clear();
    m_changed.clear();
    m_editPos = -1;
    try {
        InternalOpen();
        CreateLookupFields();
    } catch (...) {
        try {
            InternalClose();
        } catch (...) {
        }
        DestroyFields();
        throw;
    }
    UpdateBufferCount();
    PlaceWindow(0, 0);
    m_bof = true;
    m_eof = InternalRecordCount() == 0;
    SetState(dsBrowse);
    Fire(AfterOpen, this);
    if (!IsEmpty())
        Fire(AfterScroll, this);
}

void TDataSet::DoClose()
{
    if (!m_destroying)
        Fire(BeforeClose, this);
    m_editBuffer.clear();
    m_oldBuffer.clear();
    m_changed.clear();
    m_editPos = -1;
    SetState(dsInactive);
    try {
        InternalClose();
    } catch (...) {
    }
    m_first = m_recordCount = m_activeRecord = 0;
    m_bof = m_eof = true;
    DestroyFields();
    if (!m_destroying)
        Fire(AfterClose, this);
}

void TDataSet::SetState(TDataSetState state)
{
    if (m_state != state) {
        m_state = state;
        m_modified = false;
        DataEvent(deUpdateState, 0);
    }
}

// ------------------------------------------------------------------ window

void TDataSet::PlaceWindow(int position, int active)
{
    const int n = InternalRecordCount();
    if (n <= 0) {
        m_first = m_recordCount = m_activeRecord = 0;
        NotifyLinksRange();
        return;
    }
    position = std::clamp(position, 0, n - 1);
    m_recordCount = std::min(m_bufferCount, n);
    active = std::clamp(active, 0, m_recordCount - 1);
    m_first = std::clamp(position - active, 0, n - m_recordCount);
    m_activeRecord = position - m_first;
    NotifyLinksRange();
}

void TDataSet::NotifyLinksRange()
{
    for (TDataSource* s : m_dataSources)
        for (TDataLink* l : s->DataLinks())
            if (l->Active())
                l->UpdateRange();
}

void TDataSet::SetActiveRecord(int index)
{
    if (m_recordCount == 0)
        return;
    m_activeRecord = std::clamp(index, 0, m_recordCount - 1);
}

void TDataSet::UpdateBufferCount()
{
    int count = 1;
    for (TDataSource* s : m_dataSources)
        for (TDataLink* l : s->DataLinks())
            count = std::max(count, l->BufferCount());
    if (count == m_bufferCount)
        return;
    const int pos = CurrentPosition();
    const int active = m_activeRecord;
    m_bufferCount = count;
    if (m_state != dsInactive && pos >= 0)
        PlaceWindow(pos, active);
}

void TDataSet::Resync(TResyncMode mode)
{
    CheckActive();
    const int pos = CurrentPosition();
    int active = m_activeRecord;
    if (mode & rmCenter)
        active = (std::min(m_bufferCount, InternalRecordCount()) - 1) / 2;
    PlaceWindow(pos < 0 ? 0 : pos, active);
    if (m_recordCount > 0)
        m_bof = m_eof = false;
    else
        m_bof = m_eof = true;
    DataEvent(deDataSetChange, 0);
}

void TDataSet::Refresh()
{
    CheckBrowseMode();
    InternalRefresh();
    Resync(0);
}

// ------------------------------------------------------------------ navigation

void TDataSet::First()
{
    CheckBrowseMode();
    Fire(BeforeScroll, this);
    PlaceWindow(0, 0);
    m_bof = true;
    m_eof = m_recordCount == 0;
    DataEvent(deDataSetChange, 0);
    Fire(AfterScroll, this);
}

void TDataSet::Last()
{
    CheckBrowseMode();
    Fire(BeforeScroll, this);
    const int n = InternalRecordCount();
    PlaceWindow(n - 1, m_bufferCount - 1);
    m_eof = true;
    m_bof = m_recordCount == 0;
    DataEvent(deDataSetChange, 0);
    Fire(AfterScroll, this);
}

int TDataSet::MoveBy(int distance)
{
    CheckBrowseMode();
    int result = 0;
    Fire(BeforeScroll, this);
    if ((distance > 0 && !m_eof) || (distance < 0 && !m_bof)) {
        m_bof = m_eof = false;
        const int n = InternalRecordCount();
        const int pos = CurrentPosition();
        if (n == 0 || pos < 0) {
            m_bof = m_eof = true;
        } else {
            qint64 target = qint64(pos) + distance;
            if (target > n - 1) {
                target = n - 1;
                m_eof = true;
            }
            if (target < 0) {
                target = 0;
                m_bof = true;
            }
            result = int(target) - pos;
            const int oldFirst = m_first;
            if (target >= m_first + m_recordCount)
                m_first = int(target) - m_recordCount + 1;
            else if (target < m_first)
                m_first = int(target);
            m_activeRecord = int(target) - m_first;
            DataEvent(deDataSetScroll, m_first - oldFirst);
        }
        Fire(AfterScroll, this);
    }
    return result;
}

int TDataSet::RecNo() const
{
    if (m_state == dsInactive || m_state == dsInsert || m_recordCount == 0)
        return -1;
    return CurrentPosition() + 1;
}

void TDataSet::SetRecNo(int value)
{
    CheckBrowseMode();
    const int n = InternalRecordCount();
    if (n == 0 || value == RecNo())
        return;
    Fire(BeforeScroll, this);
    PlaceWindow(std::clamp(value, 1, n) - 1, (std::min(m_bufferCount, n) - 1) / 2);
    m_bof = m_eof = false;
    DataEvent(deDataSetChange, 0);
    Fire(AfterScroll, this);
}

int TDataSet::RecordCount() const
{
    if (m_state == dsInactive)
        return 0;
    return InternalRecordCount() - (PendingPosition() >= 0 ? 1 : 0);
}

// ------------------------------------------------------------------ bookmarks

TBookmark TDataSet::GetBookmark() const
{
    if (m_state == dsInactive || m_state == dsInsert || m_recordCount == 0)
        return TBookmark();
    return InternalBookmark(CurrentPosition());
}

void TDataSet::ForEachBookmark(int recNo, int count, const std::function<void(QByteArrayView)>& take) const
{
    if (m_state == dsInactive || count <= 0)
        return;
    const int first = std::max(recNo - 1, 0);
    const int end = int(std::min<qint64>(qint64(recNo) - 1 + count, InternalRecordCount()));
    if (first < end)
        InternalBookmarks(first, end, take);
}

void TDataSet::InternalBookmarks(int first, int end, const std::function<void(QByteArrayView)>& take) const
{
    for (int p = first; p < end; ++p) {
        const TBookmark b = InternalBookmark(p);
        if (!b.isEmpty())
            take(b);
    }
}

void TDataSet::GotoBookmark(const TBookmark& bookmark, TResyncMode mode)
{
    CheckBrowseMode();
    const int pos = bookmark.isEmpty() ? -1 : InternalBookmarkPosition(bookmark);
    if (pos < 0)
        throw EDatabaseError(QStringLiteral("Record not found"));
    Fire(BeforeScroll, this);
    PlaceWindow(pos, (mode & rmCenter) ? (std::min(m_bufferCount, InternalRecordCount()) - 1) / 2 : m_activeRecord);
    m_bof = m_eof = false;
    DataEvent(deDataSetChange, 0);
    Fire(AfterScroll, this);
}

bool TDataSet::BookmarkValid(const TBookmark& bookmark) const
{
    if (m_state == dsInactive || bookmark.isEmpty())
        return false;
    return InternalBookmarkPosition(bookmark) >= 0;
}

int TDataSet::InternalCompareMissing(const TBookmark& a, const TBookmark& b) const
{
    return a < b ? -1 : (b < a ? 1 : 0);
}

int TDataSet::CompareBookmarks(const TBookmark& a, const TBookmark& b) const
{
    if (a.isEmpty() || b.isEmpty())
        return a.isEmpty() ? (b.isEmpty() ? 0 : -1) : 1;
    if (a == b)
        return 0;
    const int pa = m_state == dsInactive ? -1 : InternalBookmarkPosition(a);
    const int pb = m_state == dsInactive ? -1 : InternalBookmarkPosition(b);
    if (pa >= 0 && pb >= 0)
        return pa < pb ? -1 : (pa > pb ? 1 : 0);
    if (pa >= 0)
        return -1;
    if (pb >= 0)
        return 1;
    return InternalCompareMissing(a, b);
}

// ------------------------------------------------------------------ editing

void TDataSet::CheckBrowseMode()
{
    CheckActive();
    DataEvent(deCheckBrowseMode, 0);
    if (IsEditState(m_state)) {
        UpdateRecord();
        if (m_modified)
            Post();
        else
            Cancel();
    }
}

void TDataSet::UpdateRecord()
{
    if (!IsEditState(m_state))
        throw EDatabaseError(QString::fromLatin1(kNotEditing));
    DataEvent(deUpdateRecord, 0);
}

void TDataSet::Edit()
{
    if (IsEditState(m_state))
        return;
    CheckActive();
    if (m_recordCount == 0) {
        Insert();
        return;
    }
    CheckBrowseMode();
    CheckCanModify();
    Fire(BeforeEdit, this);
    const int pos = CurrentPosition();
    QVector<QVariant> buffer;
    int columns = 0;
    for (const auto& f : m_fields)
        columns = std::max(columns, f->DataIndex() + 1);
    buffer.resize(columns);
    for (int i = 0; i < columns; ++i)
        buffer[i] = InternalGetValue(pos, i);
    m_editBuffer = buffer;
    m_oldBuffer = buffer;
    m_changed.clear();
    m_editPos = pos;
    SetState(dsEdit);
    DataEvent(deRecordChange, 0);
    Fire(AfterEdit, this);
}

void TDataSet::Insert() { BeginInsertAppend(false); }
void TDataSet::Append() { BeginInsertAppend(true); }

void TDataSet::BeginInsertAppend(bool append)
{
    CheckBrowseMode();
    CheckCanModify();
    Fire(BeforeInsert, this);
    Fire(BeforeScroll, this);
    int columns = 0;
    for (const auto& f : m_fields)
        columns = std::max(columns, f->DataIndex() + 1);
    QVector<QVariant> buffer(columns);
    InternalInitRecord(buffer);
    const int n = InternalRecordCount();
    int pos;
    int active;
    if (append || n == 0) {
        pos = n;
        active = m_bufferCount - 1;
    } else {
        pos = CurrentPosition();
        active = m_activeRecord;
    }
    InternalInsertPlaceholder(pos);
    m_editPos = pos;
    m_editBuffer = buffer;
    m_changed.clear();
    PlaceWindow(pos, active);
    m_bof = m_eof = false;
    SetState(dsInsert);
    Fire(OnNewRecord, this);
    m_modified = false;
    DataEvent(deDataSetChange, 0);
    Fire(AfterInsert, this);
    Fire(AfterScroll, this);
}

void TDataSet::CheckRequiredFields()
{
    for (const auto& f : m_fields) {
        if (f->Required() && !f->ReadOnly() && f->FieldKind() == fkData) {
            const QVariant v = m_editBuffer.value(f->DataIndex());
            if (!v.isValid() || v.isNull()) {
                f->FocusControl();
                throw EDatabaseError(QStringLiteral("Field '%1' must have a value").arg(f->DisplayName()));
            }
        }
    }
}

void TDataSet::Post()
{
    UpdateRecord();
    if (!IsEditState(m_state))
        return;
    DataEvent(deCheckBrowseMode, 0);
    Fire(BeforePost, this);
    CheckRequiredFields();
    const bool inserting = m_state == dsInsert;
    try {
        InternalPost(m_editPos, inserting, m_editBuffer, m_changed); // raises: state and buffer stay
    } catch (const EUpdateConflict&) {
        // Another program changed the row: its current values replace the refused edit.
        Cancel();
        throw;
    }
    const int pos = m_editPos;
    const int active = m_activeRecord;
    m_editBuffer.clear();
    m_oldBuffer.clear();
    m_changed.clear();
    m_editPos = -1;
    PlaceWindow(pos, active);
    SetState(dsBrowse);
    Resync(0);
    Fire(AfterPost, this);
}

void TDataSet::Cancel()
{
    if (!IsEditState(m_state))
        return;
    DataEvent(deCheckBrowseMode, 0);
    Fire(BeforeCancel, this);
    const int pos = m_editPos;
    int active = m_activeRecord;
    if (m_state == dsInsert) {
        InternalRemovePlaceholder(pos);
        // The record current before the insert is current again.
        const int n = InternalRecordCount();
        if (pos >= n)
            active -= 1;
    }
    m_editBuffer.clear();
    m_oldBuffer.clear();
    m_changed.clear();
    m_editPos = -1;
    PlaceWindow(std::min(pos, InternalRecordCount() - 1), active);
    SetState(dsBrowse);
    Resync(0);
    Fire(AfterCancel, this);
}

void TDataSet::Delete()
{
    CheckActive();
    if (m_state == dsInsert) {
        Cancel();
        return;
    }
    if (m_recordCount == 0)
        throw EDatabaseError(QString::fromLatin1(kEmpty));
    DataEvent(deCheckBrowseMode, 0);
    Fire(BeforeDelete, this);
    DoBeforeDelete();
    Fire(BeforeScroll, this);
    const int pos = CurrentPosition();
    const int active = m_activeRecord;
    InternalDelete(pos);
    ++m_snapshotNumber;
    m_editBuffer.clear();
    m_oldBuffer.clear();
    m_changed.clear();
    m_editPos = -1;
    PlaceWindow(std::min(pos, InternalRecordCount() - 1), active);
    SetState(dsBrowse);
    Resync(0);
    Fire(AfterDelete, this);
    Fire(AfterScroll, this);
}

QVariant TDataSet::GetFieldValue(const TField* field) const
{
    if (m_state == dsInactive || m_recordCount == 0)
        return QVariant();
    if (field->m_fieldKind == fkLookup) {
        TDataSet* lookup = field->m_lookupDataSet;
        if (!lookup || !lookup->Active())
            return QVariant();
        QVariantList keys;
        for (TField* k : GetFieldList(field->m_keyFields))
            keys << GetFieldValue(k);
        if (keys.isEmpty())
            return QVariant();
        for (const QVariant& k : keys)
            if (!k.isValid() || k.isNull())
                return QVariant();
        return lookup->Lookup(field->m_lookupKeyFields, keys.size() == 1 ? keys[0] : QVariant(keys),
                              field->m_lookupResultField);
    }
    if (field->m_dataIndex < 0)
        return QVariant();
    const int pos = CurrentPosition();
    if (IsEditState(m_state) && pos == m_editPos)
        return m_editBuffer.value(field->DataIndex());
    return InternalGetValue(pos, field->DataIndex());
}

void TDataSet::SetFieldValue(TField* field, const QVariant& value)
{
    if (!IsEditState(m_state))
        throw EDatabaseError(QString::fromLatin1(kNotEditing));
    if (field->m_fieldKind == fkLookup) {
        // The record of the lookup dataset that shows this value gives the key fields their values.
        TDataSet* lookup = field->m_lookupDataSet;
        const QList<TField*> keys = GetFieldList(field->m_keyFields);
        QVariant found;
        if (value.isValid() && !value.isNull() && lookup && lookup->Active())
            found = lookup->Lookup(field->m_lookupResultField, value, field->m_lookupKeyFields);
        const QVariantList values = keys.size() == 1 ? QVariantList{found} : found.toList();
        for (int i = 0; i < keys.size(); ++i)
            keys[i]->SetValue(values.value(i));
        DataEvent(deFieldChange, reinterpret_cast<std::intptr_t>(field));
        return;
    }
    if (field->ReadOnly())
        throw EDatabaseError(QStringLiteral("Field '%1' cannot be modified").arg(field->DisplayName()));
    if (CurrentPosition() != m_editPos) // a data link left the active record elsewhere
        PlaceWindow(m_editPos, m_editPos - m_first);
    const int idx = field->DataIndex();
    if (idx < 0)
        throw EDatabaseError(QStringLiteral("Field '%1' cannot be modified").arg(field->DisplayName()));
    if (field->OnValidate)
        field->OnValidate(field);
    if (idx >= m_editBuffer.size())
        m_editBuffer.resize(idx + 1);
    m_editBuffer[idx] = value;
    if (!m_changed.contains(idx))
        m_changed.append(idx);
    DataEvent(deFieldChange, reinterpret_cast<std::intptr_t>(field));
}

// ------------------------------------------------------------------ locate, filter

bool TDataSet::Locate(const QString& keyFields, const QVariant& value, TLocateOptions options)
{
    CheckBrowseMode();
    int pos = -1;
    try {
        const QStringList names = keyFields.split(QLatin1Char(';'), Qt::SkipEmptyParts);
        if (names.size() == 1) {
            if (const TField* f = FindField(names[0].trimmed()))
                pos = InternalLocate(f, value, options);
        } else if (names.size() > 1) {
            QList<const TField*> fields;
            for (TField* f : GetFieldList(keyFields))
                fields << f;
            const QVariantList values = value.toList();
            if (values.size() == fields.size())
                pos = InternalLocateFields(fields, values, options);
        }
    } catch (...) {
        pos = -1;
    }
    if (pos < 0)
        return false;
    GotoPosition(pos);
    return true;
}

void TDataSet::GotoPosition(int pos)
{
    Fire(BeforeScroll, this);
    PlaceWindow(pos, (std::min(m_bufferCount, InternalRecordCount()) - 1) / 2);
    m_bof = m_eof = false;
    DataEvent(deDataSetChange, 0);
    Fire(AfterScroll, this);
}

int TDataSet::InternalLocateFields(const QList<const TField*>& fields, const QVariantList& values,
                                   TLocateOptions options)
{
    return fields.size() == 1 && values.size() == 1 ? InternalLocate(fields[0], values[0], options) : -1;
}

QVariant TDataSet::Lookup(const QString& keyFields, const QVariant& keyValues, const QString& resultFields)
{
    if (m_state == dsInactive)
        return QVariant();
    try {
        const QList<TField*> keys = GetFieldList(keyFields);
        const QList<TField*> results = GetFieldList(resultFields);
        QList<const TField*> fields;
        for (TField* f : keys)
            fields << f;
        const QVariantList values = keys.size() == 1 ? QVariantList{keyValues} : keyValues.toList();
        if (fields.isEmpty() || results.isEmpty() || values.size() != fields.size())
            return QVariant();
        const int pos = InternalLocateFields(fields, values, 0);
        if (pos < 0)
            return QVariant();
        if (results.size() == 1)
            return InternalGetValue(pos, results[0]->DataIndex());
        QVariantList out;
        for (const TField* f : results)
            out << InternalGetValue(pos, f->DataIndex());
        return out;
    } catch (...) {
        return QVariant(); // a failed search counts as not found
    }
}

void TDataSet::SetFilter(const QString& text)
{
    const QString filter = AdjustFilterText(text);
    if (filter == m_filter)
        return;
    if (Active() && m_filtered)
        CheckBrowseMode();
    const QString old = m_filter;
    m_filter = filter;
    if (Active() && m_filtered) {
        try {
            InternalFilterChanged();
        } catch (...) {
            m_filter = old;
            throw;
        }
    }
}

void TDataSet::SetFiltered(bool value)
{
    if (value == m_filtered)
        return;
    if (Active())
        CheckBrowseMode();
    m_filtered = value;
    if (Active()) {
        try {
            InternalFilterChanged();
        } catch (...) {
            m_filtered = !value;
            throw;
        }
    }
}

void TDataSet::AfterNewSnapshot(bool layoutChanged)
{
    ++m_snapshotNumber;
    m_editBuffer.clear();
    m_oldBuffer.clear();
    m_changed.clear();
    m_editPos = -1;
    if (layoutChanged)
        DataEvent(deLayoutChange, 0);
    PlaceWindow(0, 0);
    m_bof = true;
    m_eof = m_recordCount == 0;
    DataEvent(deDataSetChange, 0);
    if (!IsEmpty())
        Fire(AfterScroll, this);
}

// ------------------------------------------------------------------ controls and events

void TDataSet::DisableControls()
{
    if (m_disableCount == 0) {
        m_disableState = m_state;
        m_enableEvent = deDataSetChange;
    }
    ++m_disableCount;
}

void TDataSet::EnableControls()
{
    if (m_disableCount == 0)
        return;
    if (--m_disableCount == 0) {
        if (m_disableState != m_state)
            DataEvent(deUpdateState, 0);
        if (m_disableState != dsInactive && m_state != dsInactive)
            DataEvent(m_enableEvent, 0);
    }
}

void TDataSet::DataEvent(TDataEvent event, std::intptr_t info)
{
    if (event == deFieldChange) {
        m_modified = true;
        TField* f = reinterpret_cast<TField*>(info);
        if (f && f->OnChange)
            f->OnChange(f);
    }
    if (m_disableCount == 0) {
        const auto sources = m_dataSources;
        for (TDataSource* s : sources)
            if (std::find(m_dataSources.begin(), m_dataSources.end(), s) != m_dataSources.end())
                s->DataEvent(event, info);
    } else if ((event == deUpdateState && m_state == dsInactive) || event == deLayoutChange) {
        m_enableEvent = deLayoutChange;
    }
}

void TDataSet::AttachDataSource(TDataSource* source)
{
    if (std::find(m_dataSources.begin(), m_dataSources.end(), source) == m_dataSources.end())
        m_dataSources.push_back(source);
}

void TDataSet::DetachDataSource(TDataSource* source)
{
    m_dataSources.erase(std::remove(m_dataSources.begin(), m_dataSources.end(), source), m_dataSources.end());
    if (!m_destroying)
        UpdateBufferCount();
}

// ------------------------------------------------------------------ fields

TField* TDataSet::AddField(const QString& name, TFieldType type, int size, int dataIndex)
{
    m_fields.push_back(std::make_unique<TField>(this, name, type, size, dataIndex));
    return m_fields.back().get();
}

void TDataSet::SetupField(TField* field, const QString& origin, bool readOnly, bool visible, bool required)
{
    field->m_origin = origin;
    field->m_readOnly = readOnly;
    field->m_visible = visible;
    field->m_required = required;
}

void TDataSet::DestroyFields()
{
    while (!m_fields.empty()) {
        std::unique_ptr<TField> f = std::move(m_fields.back());
        m_fields.pop_back();
        f.reset();
    }
}

TField* TDataSet::Fields(int index) const
{
    if (index < 0 || index >= int(m_fields.size()))
        throw EDatabaseError(QStringLiteral("List index out of bounds (%1)").arg(index));
    return m_fields[size_t(index)].get();
}

TField* TDataSet::FindField(const QString& name) const
{
    for (const auto& f : m_fields)
        if (f->FieldName().compare(name, Qt::CaseInsensitive) == 0)
            return f.get();
    return nullptr;
}

TField* TDataSet::FieldByName(const QString& name) const
{
    TField* f = FindField(name);
    if (!f)
        throw EDatabaseError(QStringLiteral("Field '%1' not found").arg(name));
    return f;
}

QList<TField*> TDataSet::GetFieldList(const QString& names) const
{
    QList<TField*> out;
    for (const QString& n : names.split(QLatin1Char(';'), Qt::SkipEmptyParts))
        out << FieldByName(n.trimmed());
    return out;
}

TField* TDataSet::AddLookupField(const QString& name, TFieldType type, int size, const QString& keyFields,
                                 TDataSet* lookupDataSet, const QString& lookupKeyFields,
                                 const QString& lookupResultField)
{
    m_lookupDefs.push_back({name, type, size, keyFields, lookupDataSet, lookupKeyFields, lookupResultField});
    if (!Active())
        return nullptr;
    CreateLookupFields();
    DataEvent(deLayoutChange, 0);
    return FindField(name);
}

void TDataSet::CreateLookupFields()
{
    for (const LookupDef& d : m_lookupDefs) {
        if (FindField(d.name))
            continue;
        TField* f = AddField(d.name, d.type, d.size, -1);
        f->m_fieldKind = fkLookup;
        f->m_keyFields = d.keyFields;
        f->m_lookupDataSet = d.lookupDataSet;
        f->m_lookupKeyFields = d.lookupKeyFields;
        f->m_lookupResultField = d.lookupResultField;
    }
}

QStringList TDataSet::FieldNames() const
{
    QStringList names;
    for (const auto& f : m_fields)
        names << f->FieldName();
    return names;
}

void TDataSet::MoveField(TField* field, int newIndex)
{
    const int old = field->Index();
    if (old < 0)
        return;
    newIndex = std::clamp(newIndex, 0, int(m_fields.size()) - 1);
    if (newIndex == old)
        return;
    std::unique_ptr<TField> f = std::move(m_fields[size_t(old)]);
    m_fields.erase(m_fields.begin() + old);
    m_fields.insert(m_fields.begin() + newIndex, std::move(f));
    if (Active())
        DataEvent(deLayoutChange, 0);
}

// ================================================================== TDataSource

TDataSource::~TDataSource()
{
    auto links = m_links;
    for (TDataLink* l : links)
        l->SetDataSource(nullptr);
    if (m_dataSet)
        m_dataSet->DetachDataSource(this);
    auto notifies = std::move(m_freeNotifies);
    for (auto& n : notifies)
        if (n.second)
            n.second(this);
}

void TDataSource::FreeNotification(const void* subscriber, std::function<void(TDataSource*)> onFree)
{
    AddSubscriber(m_freeNotifies, subscriber, std::move(onFree));
}

void TDataSource::RemoveFreeNotification(const void* subscriber)
{
    RemoveSubscriber(m_freeNotifies, subscriber);
}

void TDataSource::SetDataSet(TDataSet* dataSet)
{
    if (dataSet == m_dataSet)
        return;
    if (m_dataSet)
        m_dataSet->DetachDataSource(this);
    m_dataSet = dataSet;
    if (m_dataSet) {
        m_dataSet->AttachDataSource(this);
        m_dataSet->UpdateBufferCount();
    }
    UpdateState();
}

void TDataSource::SetEnabled(bool value)
{
    if (value == m_enabled)
        return;
    m_enabled = value;
    UpdateState();
}

void TDataSource::Edit()
{
    if (m_autoEdit && m_state == dsBrowse && m_dataSet)
        m_dataSet->Edit();
}

void TDataSource::UpdateState()
{
    SetState(m_enabled && m_dataSet ? m_dataSet->State() : dsInactive);
}

void TDataSource::SetState(TDataSetState state)
{
    if (m_state == state)
        return;
    const TDataSetState prior = m_state;
    m_state = state;
    NotifyLinks(deUpdateState, 0);
    if (OnStateChange)
        OnStateChange(this);
    if (prior == dsInactive && OnDataChange)
        OnDataChange(this, nullptr);
}

void TDataSource::NotifyLinks(TDataEvent event, std::intptr_t info)
{
    const auto links = m_links;
    for (int pass = 0; pass < 2; ++pass) {
        const bool visual = pass == 0;
        for (TDataLink* l : links) {
            if (l->VisualControl() != visual)
                continue;
            if (std::find(m_links.begin(), m_links.end(), l) == m_links.end())
                continue;
            if (event == deFocusControl && *reinterpret_cast<TField**>(info) == nullptr)
                return;
            l->DataEvent(event, info);
        }
    }
}

void TDataSource::DataEvent(TDataEvent event, std::intptr_t info)
{
    if (event == deUpdateState) {
        UpdateState();
        return;
    }
    if (m_state == dsInactive)
        return;
    NotifyLinks(event, info);
    switch (event) {
    case deFieldChange:
        if (OnDataChange)
            OnDataChange(this, reinterpret_cast<TField*>(info));
        break;
    case deRecordChange:
    case deDataSetChange:
    case deDataSetScroll:
    case deLayoutChange:
        if (OnDataChange)
            OnDataChange(this, nullptr);
        break;
    case deUpdateRecord:
        if (OnUpdateData)
            OnUpdateData(this);
        break;
    default:
        break;
    }
}

void TDataSource::AddDataLink(TDataLink* link)
{
    m_links.push_back(link);
    if (m_dataSet)
        m_dataSet->UpdateBufferCount();
}

void TDataSource::RemoveDataLink(TDataLink* link)
{
    m_links.erase(std::remove(m_links.begin(), m_links.end(), link), m_links.end());
    if (m_dataSet)
        m_dataSet->UpdateBufferCount();
}

// ================================================================== TDataLink

TDataLink::~TDataLink()
{
    if (m_dataSource)
        m_dataSource->RemoveDataLink(this);
    m_dataSource = nullptr;
}

void TDataLink::SetDataSource(TDataSource* source)
{
    if (source == m_dataSource)
        return;
    if (m_dataSource)
        m_dataSource->RemoveDataLink(this);
    m_dataSource = source;
    if (m_dataSource)
        m_dataSource->AddDataLink(this);
    UpdateState();
}

void TDataLink::SetReadOnly(bool value)
{
    if (value == m_readOnly)
        return;
    m_readOnly = value;
    UpdateState();
}

void TDataLink::SetBufferCount(int value)
{
    value = std::max(1, value);
    if (value == m_bufferCount)
        return;
    m_bufferCount = value;
    if (m_active) {
        UpdateRange();
        if (TDataSet* ds = DataSet())
            ds->UpdateBufferCount();
        UpdateRange();
    }
}

int TDataLink::RecordCount() const
{
    TDataSet* ds = DataSet();
    if (!m_active || !ds)
        return 0;
    return std::clamp(ds->BufferRecordCount() - m_firstRecord, 0, m_bufferCount);
}

int TDataLink::ActiveRecord() const
{
    TDataSet* ds = DataSet();
    if (!m_active || !ds)
        return 0;
    return ds->ActiveRecord() - m_firstRecord;
}

void TDataLink::SetActiveRecord(int value)
{
    TDataSet* ds = DataSet();
    if (m_active && ds)
        ds->SetActiveRecord(value + m_firstRecord);
}

bool TDataLink::Bof() const
{
    TDataSet* ds = DataSet();
    return ds ? ds->Bof() : true;
}

bool TDataLink::Eof() const
{
    TDataSet* ds = DataSet();
    return ds ? ds->Eof() : true;
}

bool TDataLink::Edit()
{
    if (m_dataSource && !m_readOnly)
        m_dataSource->Edit();
    return m_editing;
}

void TDataLink::UpdateRecord()
{
    m_updating = true;
    try {
        UpdateData();
    } catch (...) {
        m_updating = false;
        throw;
    }
    m_updating = false;
}

void TDataLink::UpdateRange()
{
    AdjustFirst(0);
}

int TDataLink::AdjustFirst(int datasetShift)
{
    TDataSet* ds = DataSet();
    if (!ds)
        return 0;
    const int active = ds->ActiveRecord();
    const int oldFirst = m_firstRecord;
    int f = m_firstRecord - datasetShift;
    const int lo = std::max(0, active - m_bufferCount + 1);
    const int hi = std::max(lo, std::min(active, std::max(0, ds->BufferCount() - m_bufferCount)));
    f = std::clamp(f, lo, hi);
    m_firstRecord = f;
    return datasetShift + f - oldFirst;
}

void TDataLink::SetActive(bool value)
{
    if (value == m_active)
        return;
    m_active = value;
    m_firstRecord = 0;
    if (value)
        UpdateRange();
    ActiveChanged();
}

void TDataLink::SetEditing(bool value)
{
    if (value == m_editing)
        return;
    m_editing = value;
    EditingChanged();
}

void TDataLink::UpdateState()
{
    const bool active = m_dataSource && m_dataSource->Enabled() && m_dataSource->DataSet() &&
                        m_dataSource->State() != dsInactive;
    SetActive(active);
    SetEditing(active && !m_readOnly && IsEditState(m_dataSource->State()));
}

void TDataLink::DataEvent(TDataEvent event, std::intptr_t info)
{
    if (event == deUpdateState) {
        UpdateState();
        return;
    }
    if (!m_active)
        return;
    switch (event) {
    case deFieldChange:
    case deRecordChange:
        if (!m_updating)
            RecordChanged(reinterpret_cast<TField*>(info));
        break;
    case deDataSetChange:
        AdjustFirst(0);
        DataSetChanged();
        break;
    case deLayoutChange:
        AdjustFirst(0);
        LayoutChanged();
        break;
    case deDataSetScroll:
        DataSetScrolled(AdjustFirst(int(info)));
        break;
    case deUpdateRecord:
        UpdateRecord();
        break;
    case deCheckBrowseMode:
        CheckBrowseMode();
        break;
    case deFocusControl:
        FocusControl(*reinterpret_cast<TField**>(info));
        break;
    default:
        break;
    }
}

} // namespace db
