#include "htmleditor/memo/ZedScanner.h"

#include "htmleditor/memo/ZedMemoModel.h"

namespace {

bool IsRunSeparator(QChar c)
{
    return c == QLatin1Char(' ') || c == QLatin1Char('"') || c == QLatin1Char('\'') || c == QLatin1Char(',');
}

bool MatchAt(const QString& line, int pos, int end, const QString& marker)
{
    if (marker.isEmpty() || pos + marker.length() > end)
        return false;
    return QStringView(line).mid(pos, marker.length()) == marker;
}

void Emit(std::vector<TZedPiece>* pieces, int start, int length, TPieceKind kind, int style)
{
    if (!pieces || length <= 0)
        return;
    if (!pieces->empty()) {
        TZedPiece& last = pieces->back();
        if (last.Kind == kind && last.Style == style && last.Start + last.Length == start) {
            last.Length += length;
            return;
        }
    }
    pieces->push_back(TZedPiece{start, length, kind, style});
}

}  // namespace

TZedScanner::TZedScanner(const TZedMemoModel& memo)
    : m_memo(memo), m_urlAware(memo.UrlAware()), m_caseSensitive(memo.CaseSensitive())
{
    if (memo.UseStyler())
        m_styler = memo.SyntaxStyles();
    if (!m_styler)
        return;
    if (!m_styler->EscapeChar.isEmpty())
        m_escape = m_styler->EscapeChar[0];
    for (int i = 0; i < m_styler->AllStyles.Count(); ++i) {
        const TElementStyle* st = m_styler->AllStyles[i];
        if (st->StyleType == stSymbol)
            m_symbols += st->Symbols;
    }
    for (QChar c : m_symbols)
        if (c.unicode() < 128)
            m_symbolAscii[c.unicode()] = true;
    const QString numbers = m_styler->NumberChars.toUpper();
    m_hex = m_styler->HexIdentifier.toUpper();
    m_numberStart = numbers + m_hex;
    m_numberInside = numbers + QLatin1Char('E');
}

bool TZedScanner::IsSymbol(QChar ch) const
{
    if (ch.unicode() < 128)
        return m_symbolAscii[ch.unicode()];
    return m_symbols.contains(ch);
}

int TZedScanner::SymbolStyle(QChar ch) const
{
    if (!IsSymbol(ch))
        return -1;
    for (int i = 0; i < m_styler->AllStyles.Count(); ++i) {
        const TElementStyle* st = m_styler->AllStyles[i];
        if (st->StyleType == stSymbol && st->Symbols.contains(ch))
            return i;
    }
    return -1;
}

int TZedScanner::RunEnd(const QString& line, int start, bool& separator) const
{
    const int n = line.length();
    if (!m_urlAware) {
        separator = false;
        return n;
    }
    int i = start;
    separator = IsRunSeparator(line[i]);
    while (i < n && IsRunSeparator(line[i]) == separator) {
        if (!m_escape.isNull() && line[i] == m_escape && i + 1 < n)
            ++i;  // the escape character and the one after it stay together
        ++i;
    }
    return i;
}

std::vector<TZedRun> TZedScanner::Runs(const QString& line) const
{
    std::vector<TZedRun> runs;
    int i = 0;
    const int n = line.length();
    while (i < n) {
        bool sep = false;
        const int end = RunEnd(line, i, sep);
        runs.push_back(TZedRun{i, end - i, sep});
        i = end;
    }
    return runs;
}

void TZedScanner::ScanLine(const QString& line, LineStartState& state, std::vector<TZedPiece>* pieces) const
{
    if (pieces)
        pieces->clear();
    ScanRange(line, 0, state, pieces, line.length());
}

bool TZedScanner::ScanRange(const QString& line, int from, LineStartState& state, std::vector<TZedPiece>* pieces,
                            int stopCol, std::vector<TZedCheckpoint>* checkpoints, int spacing) const
{
    const int n = line.length();
    int next = checkpoints && !checkpoints->empty() ? checkpoints->back().Col + spacing : spacing;
    int i = from;
    while (i < n) {
        if (i >= stopCol)
            return false;
        if (checkpoints && i >= next && (checkpoints->empty() || checkpoints->back().Col < i)) {
            checkpoints->push_back(TZedCheckpoint{i, state});
            next = i + spacing;
        }
        bool sep = false;
        const int end = RunEnd(line, i, sep);
        const QChar c = line[i];
        const ushort u = c.toLower().unicode();
        if (m_urlAware && !sep && (u == 'h' || u == 'm' || u == 'w' || u == 'f' || u == 'n')
            && m_memo.IsUrl(line.mid(i, std::min(end - i, 8)))) {
            Emit(pieces, i, end - i, pkUrl, -1);
        } else {
            ScanRun(line, i, end, state, pieces);
        }
        i = end;
    }
    // A line comment ends with its line.
    if (state.LineComment) {
        state.LineComment = false;
        state.InComment = false;
    }
    return true;
}

void TZedScanner::ScanRun(const QString& line, int from, int to, LineStartState& state,
                          std::vector<TZedPiece>* pieces) const
{
    if (!m_styler) {
        Emit(pieces, from, to - from, pkPlain, -1);
        return;
    }
    const TZedCustomMemoStyler& s = *m_styler;
    const bool multi = !s.MultiCommentLeft.isEmpty() && !s.MultiCommentRight.isEmpty();
    const int styleCount = s.AllStyles.Count();
    int pos = from;
    bool wordStart = true;
    while (pos < to) {
        const QChar ch = line[pos];
        // Comments.
        if (state.InComment) {
            if (multi && !state.InString) {
                const int idx = line.indexOf(s.MultiCommentRight, pos);
                if (idx >= 0 && idx + s.MultiCommentRight.length() <= to) {
                    const int end = idx + s.MultiCommentRight.length();
                    Emit(pieces, pos, end - pos, pkComment, -1);
                    state.InComment = false;
                    state.LineComment = false;
                    pos = end;
                    continue;
                }
            }
            Emit(pieces, pos, to - pos, pkComment, -1);
            return;
        }
        if (multi && !state.InString && MatchAt(line, pos, to, s.MultiCommentLeft)) {
            Emit(pieces, pos, s.MultiCommentLeft.length(), pkComment, -1);
            state.InComment = true;
            pos += s.MultiCommentLeft.length();
            continue;
        }
        if (!state.InString && MatchAt(line, pos, to, s.LineComment)) {
            Emit(pieces, pos, to - pos, pkComment, -1);
            state.InComment = true;
            state.LineComment = true;
            return;
        }
        // Strings.
        if (state.InString) {
            if (!m_escape.isNull() && ch == m_escape) {
                const int len = std::min(2, to - pos);
                Emit(pieces, pos, len, pkString, state.StyleIndex);
                pos += len;
                continue;
            }
            Emit(pieces, pos, 1, pkString, state.StyleIndex);
            ++pos;
            if (ch == state.CloseChar) {
                state.InString = false;
                state.CloseChar = state.OpenChar = QChar();
                state.StyleIndex = -1;
                wordStart = false;
            }
            continue;
        }
        bool opened = false;
        for (int i = 0; i < styleCount; ++i) {
            const TElementStyle* st = s.AllStyles[i];
            if (st->StyleType == stBracket && st->BracketStart == ch && !st->BracketEnd.isNull()) {
                state.InString = true;
                state.OpenChar = ch;
                state.CloseChar = st->BracketEnd;
                state.StyleIndex = i;
                Emit(pieces, pos, 1, pkString, i);
                ++pos;
                opened = true;
                break;
            }
        }
        if (opened)
            continue;
        // Symbols.
        const int sym = SymbolStyle(ch);
        if (sym >= 0) {
            Emit(pieces, pos, 1, pkSymbol, sym);
            ++pos;
            wordStart = true;
            continue;
        }
        // Numbers.
        if (wordStart && !m_numberStart.isEmpty() && m_numberStart.contains(ch.toUpper())) {
            const bool hexAt = !m_hex.isEmpty() && QStringView(line).mid(pos, m_hex.length()).compare(m_hex, Qt::CaseInsensitive) == 0;
            const QString allowed = hexAt ? m_numberInside + QStringLiteral("ABCDEF") : m_numberInside;
            int j = hexAt ? pos + m_hex.length() : pos;
            int firstDot = -1;
            while (j < to && allowed.contains(line[j].toUpper())) {
                if (line[j] == QLatin1Char('.')) {
                    if (firstDot >= 0) {
                        j = firstDot;
                        break;
                    }
                    firstDot = j;
                }
                ++j;
            }
            if (j <= pos)
                j = pos + 1;
            Emit(pieces, pos, j - pos, pkNumber, -1);
            pos = j;
            wordStart = false;
            continue;
        }
        // Keywords.
        if (wordStart) {
            int e = pos;
            while (e < to) {
                const QChar c = line[e];
                if (c == QLatin1Char(' ') || c == QLatin1Char(':') || c == QLatin1Char(';') || IsSymbol(c))
                    break;
                ++e;
            }
            if (e > pos) {
                QString word = line.mid(pos, e - pos);
                if (!m_caseSensitive)
                    word = word.toLower();
                int found = -1;
                for (int i = 0; i < styleCount && found < 0; ++i) {
                    const TElementStyle* st = s.AllStyles[i];
                    if (st->StyleType == stKeyword && st->HasKeyword(word))
                        found = i;
                }
                if (found >= 0) {
                    Emit(pieces, pos, e - pos, pkKeyword, found);
                    pos = e;
                    wordStart = true;
                    continue;
                }
            }
        }
        Emit(pieces, pos, 1, pkPlain, -1);
        wordStart = ch == QLatin1Char(' ') || m_symbols.isEmpty() || IsSymbol(ch);
        ++pos;
    }
}
