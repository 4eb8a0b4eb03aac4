#pragma once
// Undo records of the source memo and the history that holds them.
#include "htmleditor/memo/ZedTypes.h"

#include <deque>
#include <memory>

class TZedMemoModel;

class TUndo {
public:
    TUndo(TZedPos before, TZedPos after, const QString& text) : Before(before), After(after), Text(text) {}
    virtual ~TUndo() = default;
    // Merges a following record into this one; true when merged.
    virtual bool Append(TUndo* /*other*/) { return false; }
    // Replays the record; false when the text no longer holds what the record expects.
    virtual bool PerformUndo() { return true; }
    virtual bool PerformRedo() { return true; }

    TZedMemoModel* Memo = nullptr;
    TZedPos Before;
    TZedPos After;
    QString Text;
};

// Typed text, a tab's blanks, or a line break ("\r" plus the new line's indentation).
class TInsertCharUndo : public TUndo {
public:
    using TUndo::TUndo;
    bool Append(TUndo* other) override;
    bool PerformUndo() override;
    bool PerformRedo() override;
    // Blanks a line break removed: the end of the head line, the start and the end of the
    // part that moved down. A record with any of them is never merged.
    QString HeadTrim, LeadTrim, TailTrim;
    bool HasTrims() const { return !HeadTrim.isEmpty() || !LeadTrim.isEmpty() || !TailTrim.isEmpty(); }
};

// Typing in overwrite mode: Text replaced Replaced on one line, starting at Before.
class TOverwriteUndo : public TUndo {
public:
    TOverwriteUndo(TZedPos before, TZedPos after, const QString& text, const QString& replaced)
        : TUndo(before, after, text), Replaced(replaced) {}
    bool Append(TUndo* other) override;
    bool PerformUndo() override;
    bool PerformRedo() override;
    QString Replaced;
};

// Characters removed by Delete (Backspace false) or Backspace, in the order they stood.
class TDeleteCharUndo : public TUndo {
public:
    TDeleteCharUndo(TZedPos before, TZedPos after, const QString& text, bool backspace)
        : TUndo(before, after, text), Backspace(backspace) {}
    bool Append(TUndo* other) override;
    bool PerformUndo() override;
    bool PerformRedo() override;
    bool Backspace;
};

// A line removed by DeleteLine.
class TDeleteLineUndo : public TUndo {
public:
    enum Kind { Inner, Last, Only };
    TDeleteLineUndo(TZedPos before, TZedPos after, const QString& text, int line, Kind kind)
        : TUndo(before, after, text), LineIndex(line), LineKind(kind) {}
    bool PerformUndo() override;
    bool PerformRedo() override;
    int LineIndex;
    Kind LineKind;
};

class TSelUndo : public TUndo {
public:
    TSelUndo(TZedPos before, TZedPos after, const QString& text, TZedPos selStart, TZedPos selEnd)
        : TUndo(before, after, text), SelStart(selStart), SelEnd(selEnd) {}
    TZedPos SelStart;
    TZedPos SelEnd;
};

// A deleted selection (SelStart..SelEnd in order).
class TDeleteBufUndo : public TSelUndo {
public:
    using TSelUndo::TSelUndo;
    bool PerformUndo() override;
    bool PerformRedo() override;
};

// Text inserted by InsertText, paste or drop.
class TPasteUndo : public TUndo {
public:
    using TUndo::TUndo;
    bool PerformUndo() override;
    bool PerformRedo() override;
};

// A text of one line replaced by another (word replacement, a checker's correction): Text is
// the new text, Replaced the old one, At where both start.
class TReplaceUndo : public TUndo {
public:
    TReplaceUndo(TZedPos before, TZedPos after, TZedPos at, const QString& text, const QString& replaced)
        : TUndo(before, after, text), At(at), Replaced(replaced) {}
    bool PerformUndo() override;
    bool PerformRedo() override;
    TZedPos At;
    QString Replaced;
};

// The undo history, newest record first.
class TZedUndoList {
public:
    explicit TZedUndoList(TZedMemoModel* memo) : m_memo(memo) {}
    void Add(std::unique_ptr<TUndo> record);
    void Undo();
    void Redo();
    // Empties the history; notify false while the memo is being destroyed.
    void Clear(bool notify = true);
    bool CanUndo() const { return m_pos < Count(); }
    bool CanRedo() const { return m_pos > 0; }
    int Count() const { return int(m_records.size()); }
    int Pos() const { return m_pos; }
    bool Performing() const { return m_performing; }
    int Limit() const { return m_limit; }
    void SetLimit(int limit);
    const TUndo* Record(int i) const { return m_records[size_t(i)].get(); }
    // The memo the records are replayed in (a memo source rebinds it).
    TZedMemoModel* Memo() const { return m_memo; }
    void SetMemo(TZedMemoModel* memo) { m_memo = memo; }

private:
    TZedMemoModel* m_memo;
    std::deque<std::unique_ptr<TUndo>> m_records;
    int m_pos = 0;
    bool m_performing = false;
    int m_limit = 100;
};
