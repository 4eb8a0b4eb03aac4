#include "grid/GridLists.h"

#include <QCollator>

namespace grid {

int TCellMarks::IndexOf(int col, int row) const
{
    for (size_t i = 0; i < m_cells.size(); ++i) {
        if (m_cells[i].x() == col && m_cells[i].y() == row)
            return int(i);
    }
    return -1;
}

void TCellMarks::Delete(int index)
{
    if (index >= 0 && index < Count())
        m_cells.erase(m_cells.begin() + index);
}

// ------------------------------------------------------------------ TIntList

void TIntList::changed()
{
    if (OnListChange)
        OnListChange(this, m_col, m_row);
}

void TIntList::SetItems(int index, int value)
{
    m_items.at(size_t(index)) = value;
    changed();
}

int TIntList::Add(int value)
{
    m_items.push_back(value);
    changed();
    return Count() - 1;
}

void TIntList::Delete(int index)
{
    if (index < 0 || index >= Count())
        throw tk::EInvalidGridOperation(QStringLiteral("List index out of bounds (%1)").arg(index));
    m_items.erase(m_items.begin() + index);
    changed();
}

void TIntList::Insert(int index, int value)
{
    if (index < 0 || index > Count())
        throw tk::EInvalidGridOperation(QStringLiteral("List index out of bounds (%1)").arg(index));
    m_items.insert(m_items.begin() + index, value);
}

QString TIntList::CommaText() const
{
    QStringList parts;
    for (int v : m_items)
        parts << QString::number(v);
    return parts.join(QLatin1Char(','));
}

void TIntList::SetCommaText(const QString& text)
{
    // Every item is read before the list changes.
    std::vector<int> values;
    if (!text.isEmpty())
        for (const QString& part : text.split(QLatin1Char(','))) {
            bool ok = false;
            const int v = part.trimmed().toInt(&ok);
            if (!ok)
                throw tk::EInvalidGridOperation(QStringLiteral("'%1' is not a valid integer value").arg(part));
            values.push_back(v);
        }
    m_items.clear();
    for (int v : values)
        Add(v);
}

// ------------------------------------------------------------------ TSortIndexList

void TSortIndexList::AddSortColumn(int column, bool ascending)
{
    Add((column & 0x7FFFFFFF) | (ascending ? 0 : kDescending));
}

int TSortIndexList::FindSortColumn(int column) const
{
    for (int i = 0; i < Count(); ++i)
        if ((Items(i) & 0x7FFFFFFF) == column)
            return i;
    return -1;
}

void TSortIndexList::ToggleSortColumn(int column)
{
    const int i = FindSortColumn(column);
    if (i >= 0)
        SetItems(i, Items(i) ^ kDescending);
}

// ------------------------------------------------------------------ TControlList

TControlList::~TControlList()
{
    while (!m_items.empty())
        DeleteControl(0);
}

int TControlList::Add(QObject* control)
{
    m_items.push_back(control);
    return Count() - 1;
}

void TControlList::DeleteControl(int index)
{
    QObject* o = m_items.at(size_t(index));
    m_items.erase(m_items.begin() + index);
    delete o;
}

// ------------------------------------------------------------------ TWideStrings

std::u16string TWideStrings::GetTextStr() const
{
    std::u16string out;
    for (int i = 0; i < GetCount(); ++i)
        out += Get(i) + u"\r\n";
    return out;
}

void TWideStrings::Put(int index, const std::u16string& text)
{
    tk::TObject* o = GetObject(index);
    Delete(index);
    InsertObject(index, text, o);
}

void TWideStrings::SetTextStr(const std::u16string& text)
{
    BeginUpdate();
    Clear();
    auto isBreak = [](char16_t c) {
        return c == 0 || c == 10 || c == 11 || c == 12 || c == 13 || c == 0x2028 || c == 0x2029;
    };
    size_t start = 0, i = 0;
    while (i < text.size()) {
        if (!isBreak(text[i])) {
            ++i;
            continue;
        }
        Add(text.substr(start, i - start));
        if (text[i] == 13 && i + 1 < text.size() && text[i + 1] == 10)
            ++i;
        start = ++i;
    }
    if (start < text.size())
        Add(text.substr(start));
    EndUpdate();
}

int TWideStrings::Add(const std::u16string& text)
{
    const int n = GetCount();
    Insert(n, text);
    return n;
}

int TWideStrings::AddObject(const std::u16string& text, tk::TObject* object)
{
    const int i = Add(text);
    PutObject(i, object);
    return i;
}

void TWideStrings::AddAnsiStrings(const tk::TStringList& strings)
{
    BeginUpdate();
    for (int i = 0; i < strings.Count(); ++i)
        AddObject(strings[i].toStdU16String(), strings.Objects(i));
    EndUpdate();
}

void TWideStrings::AddStrings(const TWideStrings& strings)
{
    BeginUpdate();
    for (int i = 0; i < strings.GetCount(); ++i)
        AddObject(strings.Get(i), strings.GetObject(i));
    EndUpdate();
}

void TWideStrings::Exchange(int index1, int index2)
{
    BeginUpdate();
    const std::u16string s1 = Get(index1), s2 = Get(index2);
    tk::TObject* o1 = GetObject(index1);
    tk::TObject* o2 = GetObject(index2);
    Put(index1, s2);
    PutObject(index1, o2);
    Put(index2, s1);
    PutObject(index2, o1);
    EndUpdate();
}

int TWideStrings::IndexOf(const std::u16string& text) const
{
    QCollator collator(m_locale);
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    const QString t = QString::fromStdU16String(text);
    for (int i = 0; i < GetCount(); ++i)
        if (collator.compare(QString::fromStdU16String(Get(i)), t) == 0)
            return i;
    return -1;
}

void TWideStrings::Move(int fromIndex, int toIndex)
{
    if (fromIndex == toIndex)
        return;
    BeginUpdate();
    const std::u16string s = Get(fromIndex);
    tk::TObject* o = GetObject(fromIndex);
    Delete(fromIndex);
    InsertObject(toIndex, s, o);
    EndUpdate();
}

void TWideStrings::BeginUpdate()
{
    if (m_updateCount++ == 0)
        SetUpdateState(true);
}

void TWideStrings::EndUpdate()
{
    if (m_updateCount > 0 && --m_updateCount == 0)
        SetUpdateState(false);
}

void TWideStrings::InsertObject(int index, const std::u16string& text, tk::TObject* object)
{
    Insert(index, text);
    PutObject(index, object);
}

bool TWideStrings::Equals(const TWideStrings& other) const
{
    if (GetCount() != other.GetCount())
        return false;
    for (int i = 0; i < GetCount(); ++i)
        if (Get(i) != other.Get(i))
            return false;
    return true;
}

void TWideStrings::Assign(const TWideStrings& source)
{
    if (&source == this)
        return;
    BeginUpdate();
    Clear();
    AddStrings(source);
    EndUpdate();
}

void TWideStrings::Assign(const tk::TStringList& source)
{
    BeginUpdate();
    Clear();
    AddAnsiStrings(source);
    EndUpdate();
}

void TWideStrings::AssignTo(tk::TStringList& destination) const
{
    destination.Clear();
    for (int i = 0; i < GetCount(); ++i)
        destination.AddObject(QString::fromStdU16String(Get(i)), GetObject(i));
}

void TWideStrings::DefineWideStrings(tk::TFiler& filer)
{
    filer.DefineStrings(
        QStringLiteral("WideStrings"),
        [this] {
            QStringList l;
            for (int i = 0; i < GetCount(); ++i)
                l << QString::fromStdU16String(Get(i));
            return l;
        },
        [this](const QStringList& l) {
            BeginUpdate();
            Clear();
            for (const QString& s : l)
                Add(s.toStdU16String());
            EndUpdate();
        },
        GetCount() > 0);
}

// ------------------------------------------------------------------ plain-string view

QString TAnsiStringsForWideStrings::Get(int index) const { return QString::fromStdU16String(m_list.Get(index)); }

int TAnsiStringsForWideStrings::Count() const { return m_list.GetCount(); }

void TAnsiStringsForWideStrings::Clear() { m_list.Clear(); }

void TAnsiStringsForWideStrings::Delete(int index) { m_list.Delete(index); }

void TAnsiStringsForWideStrings::Insert(int index, const QString& text) { m_list.Insert(index, text.toStdU16String()); }

int TAnsiStringsForWideStrings::Add(const QString& text)
{
    const int index = Count();
    Insert(index, text);
    return index;
}

int TAnsiStringsForWideStrings::AddObject(const QString& text, tk::TObject* object)
{
    (void)object;
    return Add(text);
}

int TAnsiStringsForWideStrings::IndexOf(const QString& text) const
{
    for (int i = 0; i < Count(); ++i)
        if (Get(i).compare(text, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

QString TAnsiStringsForWideStrings::Text() const
{
    QString text;
    for (int i = 0; i < Count(); ++i)
        text += Get(i) + QStringLiteral("\r\n");
    return text;
}

void TAnsiStringsForWideStrings::Assign(const tk::TStringList& source)
{
    m_list.BeginUpdate();
    Clear();
    for (int i = 0; i < source.Count(); ++i)
        AddObject(source[i], source.Objects(i));
    m_list.EndUpdate();
}

} // namespace grid
