#pragma once
// Lists the grid uses as parts of itself: integers that report their changes with the cell they
// belong to, the marked cells, the sort columns with their directions, the controls placed in cells, and a list of
// wide strings with an object per entry.
#include "platform/grid/ObjectStream.h"
#include "platform/grid/Toolkit.h"
#include <QLocale>
#include <QObject>
#include <QPoint>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace grid {

// The marked cells of disjunct cell selection, each with its whole column and row.
class TCellMarks {
public:
    int Count() const { return int(m_cells.size()); }
    QPoint Items(int index) const { return m_cells.at(size_t(index)); }
    void Add(int col, int row) { m_cells.emplace_back(col, row); }
    // The first mark of the cell; -1 when it has none.
    int IndexOf(int col, int row) const;
    bool Contains(int col, int row) const { return IndexOf(col, row) >= 0; }
    void Delete(int index);
    void Clear() { m_cells.clear(); }
private:
    std::vector<QPoint> m_cells;
};

class TIntList {
public:
    explicit TIntList(int col = 0, int row = 0) : m_col(col), m_row(row) {}
    virtual ~TIntList() = default;

    int Count() const { return int(m_items.size()); }
    int Items(int index) const { return m_items.at(size_t(index)); }
    // Stores and reports the change.
    void SetItems(int index, int value);
    int Add(int value);          // reports the change
    void Delete(int index);      // reports the change
    void Insert(int index, int value);   // silent
    void Clear() { m_items.clear(); }
    // All items at once (silent).
    std::vector<int>& Values() { return m_items; }
    const std::vector<int>& Values() const { return m_items; }
    // "1,20,3"; setting replaces the list, adding (and reporting) each item. A text with an item
    // that is no integer raises tk::EInvalidGridOperation and leaves the list as it was.
    QString CommaText() const;
    void SetCommaText(const QString& text);

    std::function<void(TIntList* list, int col, int row)> OnListChange;

private:
    void changed();
    int m_col;
    int m_row;
    std::vector<int> m_items;
};

// Sort keys: the column in the low 31 bits, bit 31 set for descending.
class TSortIndexList : public TIntList {
public:
    using TIntList::TIntList;
    static constexpr int kDescending = int(0x80000000u);
    void AddSortColumn(int column, bool ascending);
    int FindSortColumn(int column) const;
    void ToggleSortColumn(int column);
    int SortColumn(int index) const { return Items(index) & 0x7FFFFFFF; }
    bool Ascending(int index) const { return (Items(index) & kDescending) == 0; }
};

// Owns the controls placed in cells.
class TControlList {
public:
    TControlList() = default;
    TControlList(const TControlList&) = delete;
    TControlList& operator=(const TControlList&) = delete;
    ~TControlList();
    int Count() const { return int(m_items.size()); }
    QObject* Items(int index) const { return m_items.at(size_t(index)); }
    int Add(QObject* control);
    void DeleteControl(int index);

private:
    std::vector<QObject*> m_items;
};

class TWideStrings;

// Reads and writes a wide list as plain strings (cell texts are already QString, so no conversion
// happens). Only reading, counting, clearing, deleting and inserting reach the list; the other
// operations are built on those, so objects given to AddObject or Assign are not passed on.
class TAnsiStringsForWideStrings {
public:
    explicit TAnsiStringsForWideStrings(TWideStrings& list) : m_list(list) {}
    TAnsiStringsForWideStrings(const TAnsiStringsForWideStrings&) = delete;
    TAnsiStringsForWideStrings& operator=(const TAnsiStringsForWideStrings&) = delete;

    QString Get(int index) const;
    QString Strings(int index) const { return Get(index); }
    QString operator[](int index) const { return Get(index); }
    int Count() const;
    void Clear();
    void Delete(int index);
    void Insert(int index, const QString& text);
    int Add(const QString& text);
    int AddObject(const QString& text, tk::TObject* object);   // the object is not kept
    // Case-insensitive like the toolkit's string lists; -1 when missing.
    int IndexOf(const QString& text) const;
    // Every string followed by "\r\n".
    QString Text() const;
    // Clears the list and adds each string of the source.
    void Assign(const tk::TStringList& source);

private:
    TWideStrings& m_list;
};

// A list of wide strings with an object per entry. Descendants supply the storage; comparisons of
// IndexOf ignore case under the list's locale.
class TWideStrings {
public:
    TWideStrings() : m_ansi(*this) {}
    TWideStrings(const TWideStrings&) = delete;
    TWideStrings& operator=(const TWideStrings&) = delete;
    virtual ~TWideStrings() = default;

    virtual std::u16string Get(int index) const = 0;
    virtual int GetCapacity() const { return GetCount(); }
    virtual int GetCount() const = 0;
    virtual tk::TObject* GetObject(int index) const { (void)index; return nullptr; }
    virtual std::u16string GetTextStr() const;
    virtual void Put(int index, const std::u16string& text);
    virtual void PutObject(int index, tk::TObject* object) { (void)index; (void)object; }
    virtual void SetCapacity(int count) { (void)count; }
    virtual void SetTextStr(const std::u16string& text);
    virtual void SetUpdateState(bool updating) { (void)updating; }
    virtual void SetLocale(const QLocale& locale) { m_locale = locale; }
    virtual int Add(const std::u16string& text);
    virtual int AddObject(const std::u16string& text, tk::TObject* object);
    virtual void AddAnsiStrings(const tk::TStringList& strings);
    virtual void AddStrings(const TWideStrings& strings);
    virtual void Clear() = 0;
    virtual void Delete(int index) = 0;
    virtual void Exchange(int index1, int index2);
    // The text as a zero-terminated block (see GetTextStr).
    virtual std::u16string GetText() const { return GetTextStr(); }
    virtual int IndexOf(const std::u16string& text) const;
    virtual void Insert(int index, const std::u16string& text) = 0;
    virtual void Move(int fromIndex, int toIndex);
    virtual void SetText(const std::u16string& text) { SetTextStr(text); }

    int Count() const { return GetCount(); }
    QLocale Locale() const { return m_locale; }
    void BeginUpdate();
    void EndUpdate();
    int UpdateCount() const { return m_updateCount; }
    void InsertObject(int index, const std::u16string& text, tk::TObject* object);
    // Same count and every string equal, compared exactly.
    bool Equals(const TWideStrings& other) const;
    // Takes the strings and objects of another list.
    void Assign(const TWideStrings& source);
    void Assign(const tk::TStringList& source);
    void AssignTo(tk::TStringList& destination) const;
    // Stores the list in a component stream as "WideStrings" (when it is not empty); reading
    // replaces the entries within one update.
    void DefineWideStrings(tk::TFiler& filer);
    // The list as plain strings; writing assigns the given strings through it.
    TAnsiStringsForWideStrings& AnsiStrings() { return m_ansi; }
    void SetAnsiStrings(const tk::TStringList& strings) { m_ansi.Assign(strings); }

private:
    TAnsiStringsForWideStrings m_ansi;
    int m_updateCount = 0;
    QLocale m_locale = QLocale::system();
};

// The wide string list with its own storage.
class TWideStringList : public TWideStrings {
public:
    std::u16string Get(int index) const override { return m_items.at(size_t(index)).text; }
    int GetCount() const override { return int(m_items.size()); }
    tk::TObject* GetObject(int index) const override { return m_items.at(size_t(index)).object; }
    void PutObject(int index, tk::TObject* object) override { m_items.at(size_t(index)).object = object; }
    void Clear() override { m_items.clear(); }
    void Delete(int index) override { m_items.erase(m_items.begin() + index); }
    void Insert(int index, const std::u16string& text) override
    {
        m_items.insert(m_items.begin() + index, Item{text, nullptr});
    }


private:
    struct Item {
        std::u16string text;
        tk::TObject* object;
    };
    std::vector<Item> m_items;
};

} // namespace grid
