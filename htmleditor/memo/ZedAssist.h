#pragma once
// The typing aids of the source memo without their windows: completion entries and their
// filtering, the parameter-hint scan, and the settings objects of completion and word replacement.
#include "htmleditor/memo/ZedStyler.h"

#include <QFont>
#include <QString>
#include <QStringList>
#include <functional>
#include <vector>

// Kinds of completion entries, as their list objects carry them.
enum TCompletionKind { ckIdentifier = 0, ckVariable, ckProperty, ckEvent, ckMethod, ckFunction, ckProcedure };

struct TCompletionEntry {
    QString Text;  // the line as given: optional kind word and blank, name, optional "(" and parameters
    int Kind = ckIdentifier;
    friend bool operator==(const TCompletionEntry&, const TCompletionEntry&) = default;
};
using TCompletionEntries = std::vector<TCompletionEntry>;

// The kind word an entry starts with ("var", "property", "event", "method", "function",
// "procedure"); empty when the first word is no kind word.
QString CompletionKindWord(const QString& entry);
// The kind of an entry from its kind word (identifier without one).
int CompletionKindOf(const QString& entry);
// The entry without its kind word and blank.
QString CompletionName(const QString& entry);
// The entries of a list with their kinds.
TCompletionEntries CompletionEntriesOf(const QStringList& list);
// The entries whose name (upper-cased, without kind word) begins with the token; all when the
// token is empty. The token is compared upper-cased.
TCompletionEntries EntriesForToken(const TCompletionEntries& all, const QString& token);
// The entries whose name (upper-cased, without kind word and everything up to the first ".")
// begins with the word; all when the word is empty.
TCompletionEntries FilterEntries(const TCompletionEntries& all, const QString& word);
// The text an accepted entry inserts: the name cut at the first blank, "(" or ";", followed by
// "()" when the entry held "(" (parens tells so).
QString AcceptedEntryText(const QString& entry, bool* parens = nullptr);

// The result of scanning a line left of the caret for an open argument list.
struct THintScan {
    bool Found = false;
    QString Name;       // the function name left of the open HintCharStart
    int Parameter = 0;  // the parameter the caret stands in, from 0
};
// Scans left from the caret column: every HintCharWriteDelimiter counts one parameter, a
// HintCharEnd or five blanks in a row end without result, a HintCharStart opens the list.
// The line is upper-cased unless caseSensitive.
THintScan ScanParameterHint(const QString& line, int caretCol, const THintParameter& hp, bool caseSensitive);
// The first parameter line that begins with the name (same case rule); empty when none.
QString FindParameterText(const QStringList& parameters, const QString& name, bool caseSensitive);

// A parameter hint cut into the parameters before the current one, the current one and the rest.
struct THintParts {
    QString Before, Current, After;
    bool Empty() const { return Before.isEmpty() && Current.isEmpty() && After.isEmpty(); }
};
// Drops everything up to the first HintCharStart and from HintCharEnd on, then splits at
// HintCharWriteDelimiter or HintCharDelimiter; the delimiters stay with the outer parts.
THintParts SplitParameterHint(const QString& text, int current, const THintParameter& hp);

// The completion settings.
class TAutoCompletion {
public:
    TAutoCompletion();
    bool Active = true;
    bool AutoDisplay = true;
    TColor Color = gfx::clWindow;
    int Delay() const { return m_delay; }
    void SetDelay(int ms);
    QFont Font;
    TColor ColorVar = 0xFF0000;
    TColor ColorProp = 0x808000;
    TColor ColorMethod = 0x800000;
    TColor ColorFunc = 0x800000;
    TColor ColorProc = 0x800000;
    TColor ColorEvent = 0x0000FF;
    TColor ColorIdentifier = 0x808000;
    int Height = 100;
    bool ShowImages = false;
    bool SizeDropDown = true;
    int Width = 200;
    // The colour of a kind's word in the list.
    TColor KindColor(int kind) const;
    // Raised when the delay or the font changes (the memo passes them on).
    std::function<void()> OnChange;

private:
    int m_delay = 500;
};

// Word replacement: line i of OldValue is replaced by line i of NewValue.
class TAutoCorrect {
public:
    bool Active = true;
    QStringList OldValue;
    QStringList NewValue;
    bool Wanted() const { return Active && !OldValue.isEmpty(); }
    // The replacement of a word (exact, case-sensitive match); the word itself when none.
    QString Replacement(const QString& word) const;
};

enum TAutoHintParameters { hpAuto, hpManual, hpNone };
enum TAutoHintParameterPosition { hpBelowCode, hpAboveCode };
