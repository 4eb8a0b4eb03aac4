#pragma once
// Small shared types of the source memo.
#include <QList>
#include <QString>
#include <vector>

using TIntList = QList<int>;

// A caret or text position: column and line, both 0-based.
struct TZedPos {
    int Col = 0;
    int Line = 0;
    friend bool operator==(const TZedPos& a, const TZedPos& b) { return a.Col == b.Col && a.Line == b.Line; }
    friend bool operator!=(const TZedPos& a, const TZedPos& b) { return !(a == b); }
    friend bool operator<(const TZedPos& a, const TZedPos& b)
    {
        return a.Line < b.Line || (a.Line == b.Line && a.Col < b.Col);
    }
};

enum TZedWordWrap { wwNone, wwClientWidth, wwRightMargin };
enum TZedScrollBars { ssNone, ssHorizontal, ssVertical, ssBoth };
enum TZedScrollMode { smAuto, smStrict };
enum TZedBorderStyle { bsNone, bsSingle };

// The state of the syntax scanner at a point of the text (the start of a line when cached).
struct LineStartState {
    bool InComment = false;
    bool InString = false;
    bool Number = false;
    bool Keyword = false;
    bool Symbol = false;
    bool Url = false;
    bool LineComment = false;  // the open comment was started by the line-comment marker
    QChar CloseChar;
    QChar OpenChar;
    int StyleIndex = -1;
    friend bool operator==(const LineStartState&, const LineStartState&) = default;
};

// The scanner state at a run start inside a long line, to resume scanning there.
struct TZedCheckpoint {
    int Col = 0;
    LineStartState State;
};
