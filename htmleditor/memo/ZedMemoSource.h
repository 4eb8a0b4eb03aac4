#pragma once
// A text that several memos share: the attached memo shows and edits it; the caret state,
// bookmarks and read-only state wait in the source while another memo has it.
#include "htmleditor/memo/ZedMemoStrings.h"
#include "htmleditor/memo/ZedTypes.h"
#include "htmleditor/memo/ZedUndo.h"

#include <QObject>
#include <QPointer>
#include <vector>

class TZedCustomMemoStyler;
class TZedMemoModel;

class TZedMemoSource : public QObject {
    Q_OBJECT
public:
    explicit TZedMemoSource(QObject* owner = nullptr);
    ~TZedMemoSource() override;

    TZedCustomMemoStyler* SyntaxStyler() const { return m_styler.data(); }
    void SetSyntaxStyler(TZedCustomMemoStyler* styler);
    TZedMemoStrings& Lines() { return m_lines; }
    // Clears the lines and adds the given ones.
    void SetLines(const QStringList& lines);
    // Through the attached memo when there is one.
    bool ReadOnly() const;
    void SetReadOnly(bool value);
    bool Modified() const { return m_modified; }
    TZedMemoModel* AttachedMemo() const { return m_memo; }

    // Hands the text to a memo; the memo attached before keeps showing it but leaves its caret
    // state, bookmarks and read-only state here. Null detaches.
    void AttachMemo(TZedMemoModel* memo);

private:
    friend class TZedMemoModel;
    QPointer<TZedCustomMemoStyler> m_styler;
    TZedMemoStrings m_lines;
    TZedUndoList m_undo{nullptr};
    TZedMemoModel* m_memo = nullptr;
    // Every memo that uses the text (the attached one and those attached before).
    std::vector<TZedMemoModel*> m_users;
    bool m_modified = false;
    bool m_readOnly = false;
    // The caret state of the memo attached last.
    bool m_hasState = false;
    TZedPos m_caret, m_selStart, m_selEnd;
    int m_leftColumn = 0, m_topLine = 0;
    TIntList m_bookmarks;
};
