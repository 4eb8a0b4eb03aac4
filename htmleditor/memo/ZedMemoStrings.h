#pragma once
// The line list of the source memo and the per-line properties.
#include "htmleditor/memo/ZedTypes.h"

#include <QStringList>
#include <memory>
#include <vector>

class QObject;
class TZedMemoModel;

// Properties of one line, created on demand and owned by the line list.
struct TLineProp {
    QObject* Object = nullptr;  // the caller's object for the line (not owned)
    TIntList ErrorStarts;
    TIntList ErrorLengths;
    bool Breakpoint = false;
    bool Executed = false;
    bool Modified = false;
    int Value = -1;
    bool Bookmark = false;
    bool Wrapped = false;  // continues the previous line because of word wrap
};

class TZedMemoStrings {
public:
    explicit TZedMemoStrings(TZedMemoModel* memo = nullptr);
    ~TZedMemoStrings();
    TZedMemoStrings(const TZedMemoStrings&) = delete;
    TZedMemoStrings& operator=(const TZedMemoStrings&) = delete;

    int Count() const { return int(m_lines.size()); }
    QString Get(int i) const { return (i >= 0 && i < Count()) ? m_lines[i] : QString(); }
    QString operator[](int i) const { return Get(i); }
    const QStringList& Strings() const { return m_lines; }

    void Add(const QString& s);
    void Insert(int i, const QString& s);
    void Put(int i, const QString& s);
    void Delete(int i);
    void Clear();
    void Assign(const QStringList& lines);
    // Loads a file (UTF-8 when valid, else Windows-1252); false when it cannot be read.
    bool LoadFromFile(const QString& fileName);
    // Saves the lines as UTF-8 with CR LF breaks; wrapped lines are joined in the file.
    bool SaveToFile(const QString& fileName);

    // The whole text, lines joined with CR LF; setting it clears and adds line by line.
    QString Text() const;
    void SetText(const QString& text);

    QObject* GetObject(int i) const;
    void PutObject(int i, QObject* object);

    void BeginUpdate() { ++m_updateCount; }
    void EndUpdate();
    int UpdateCount() const { return m_updateCount; }

    // Properties of a line: Props creates them on demand, PropsIfAny returns null when there are none.
    TLineProp* Props(int i);
    const TLineProp* PropsIfAny(int i) const;
    bool IsWrapped(int i) const;

    // Raw access for the memo itself: no tab expansion, no caret or selection handling.
    QString& RawLine(int i) { return m_lines[i]; }
    QStringList& RawLines() { return m_lines; }
    std::vector<std::unique_ptr<TLineProp>>& RawProps() { return m_props; }
    void RawInsert(int i, const QString& s);
    void RawInsertLines(int i, const QStringList& lines);
    void RawDelete(int i, int count = 1);
    void RawClear();

    QString ExpandTabs(const QString& s) const;

    // The memo the list reports its changes to (a memo source rebinds it).
    TZedMemoModel* Memo() const { return m_memo; }
    void SetMemo(TZedMemoModel* memo) { m_memo = memo; }

private:
    TZedMemoModel* m_memo;
    QStringList m_lines;
    std::vector<std::unique_ptr<TLineProp>> m_props;  // parallel to m_lines, null where none
    int m_updateCount = 0;
};

QStringList SplitLines(const QString& text);
