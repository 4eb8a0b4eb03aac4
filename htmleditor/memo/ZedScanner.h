#pragma once
// The syntax scanner: cuts a line into pieces and gives each piece the state that selects its
// colours (comment, string, number, keyword, symbol, URL or plain).
#include "htmleditor/memo/ZedTypes.h"

#include <QString>
#include <vector>

class TZedMemoModel;
class TZedCustomMemoStyler;

enum TPieceKind { pkPlain, pkComment, pkString, pkNumber, pkKeyword, pkSymbol, pkUrl };

struct TZedPiece {
    int Start = 0;
    int Length = 0;
    TPieceKind Kind = pkPlain;
    int Style = -1;  // index of the element style for strings, keywords and symbols
};

// A run of a line for URL detection: [Start, Start + Length), Separator for blanks, quotes, commas.
struct TZedRun {
    int Start = 0;
    int Length = 0;
    bool Separator = false;
};

class TZedScanner {
public:
    // Prepares the delimiter set and the number characters from the memo's styler.
    explicit TZedScanner(const TZedMemoModel& memo);

    // Scans one line from the given start state; appends the pieces (joined where their state
    // is equal) when pieces is given; leaves the state at the line's end in state.
    void ScanLine(const QString& line, LineStartState& state, std::vector<TZedPiece>* pieces) const;

    // Scans a line from a run start (0, or a checkpoint's column with its state) and stops after
    // the run that reaches stopCol; true when the line's end was reached (state is then the end
    // state). Records a checkpoint at the first run start after every `spacing` characters.
    bool ScanRange(const QString& line, int from, LineStartState& state, std::vector<TZedPiece>* pieces,
                   int stopCol, std::vector<TZedCheckpoint>* checkpoints = nullptr, int spacing = 2048) const;

    // The URL runs of a line (the whole line as one run without UrlAware).
    std::vector<TZedRun> Runs(const QString& line) const;
    // The end of the run that starts at a position.
    int RunEnd(const QString& line, int start, bool& separator) const;

private:
    void ScanRun(const QString& line, int from, int to, LineStartState& state,
                 std::vector<TZedPiece>* pieces) const;
    bool IsSymbol(QChar ch) const;
    int SymbolStyle(QChar ch) const;

    const TZedMemoModel& m_memo;
    const TZedCustomMemoStyler* m_styler = nullptr;
    bool m_urlAware;
    bool m_caseSensitive;
    QChar m_escape;
    QString m_symbols;      // the symbols of every symbol style, in collection order
    bool m_symbolAscii[128] = {};
    QString m_numberStart;  // upper-cased NumberChars followed by HexIdentifier
    QString m_numberInside; // upper-cased NumberChars followed by "E"
    QString m_hex;          // upper-cased HexIdentifier
};
