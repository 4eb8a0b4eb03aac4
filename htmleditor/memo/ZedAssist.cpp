#include "htmleditor/memo/ZedAssist.h"

namespace {

struct KindWord {
    const char* Word;
    int Kind;
};
constexpr KindWord kKindWords[] = {{"var", ckVariable},  {"property", ckProperty}, {"event", ckEvent},
                                   {"method", ckMethod}, {"function", ckFunction}, {"procedure", ckProcedure}};

int KindOfWord(QStringView word)
{
    for (const KindWord& k : kKindWords)
        if (word.compare(QLatin1String(k.Word), Qt::CaseInsensitive) == 0)
            return k.Kind;
    return -1;
}

// The first word of an entry when a blank follows it.
QStringView FirstWord(const QString& entry)
{
    const int blank = entry.indexOf(QLatin1Char(' '));
    return blank > 0 ? QStringView(entry).left(blank) : QStringView();
}

}  // namespace

QString CompletionKindWord(const QString& entry)
{
    const QStringView w = FirstWord(entry);
    return KindOfWord(w) >= 0 ? w.toString() : QString();
}

int CompletionKindOf(const QString& entry)
{
    const int kind = KindOfWord(FirstWord(entry));
    return kind >= 0 ? kind : ckIdentifier;
}

QString CompletionName(const QString& entry)
{
    const QString kw = CompletionKindWord(entry);
    return kw.isEmpty() ? entry : entry.mid(kw.length() + 1);
}

TCompletionEntries CompletionEntriesOf(const QStringList& list)
{
    TCompletionEntries out;
    out.reserve(size_t(list.size()));
    for (const QString& s : list)
        out.push_back({s, CompletionKindOf(s)});
    return out;
}

TCompletionEntries EntriesForToken(const TCompletionEntries& all, const QString& token)
{
    const QString t = token.toUpper();
    TCompletionEntries out;
    for (const TCompletionEntry& e : all)
        if (t.isEmpty() || CompletionName(e.Text).toUpper().startsWith(t))
            out.push_back(e);
    return out;
}

TCompletionEntries FilterEntries(const TCompletionEntries& all, const QString& word)
{
    const QString w = word.toUpper();
    TCompletionEntries out;
    for (const TCompletionEntry& e : all) {
        QString name = CompletionName(e.Text).toUpper();
        const int dot = name.indexOf(QLatin1Char('.'));
        if (dot >= 0)
            name = name.mid(dot + 1);
        if (w.isEmpty() || name.startsWith(w))
            out.push_back(e);
    }
    return out;
}

QString AcceptedEntryText(const QString& entry, bool* parens)
{
    QString name = CompletionName(entry);
    const bool hasParen = entry.contains(QLatin1Char('('));
    int cut = name.length();
    for (QChar c : {QLatin1Char(' '), QLatin1Char('('), QLatin1Char(';')}) {
        const int i = name.indexOf(c);
        if (i >= 0)
            cut = std::min(cut, i);
    }
    name.truncate(cut);
    if (parens)
        *parens = hasParen;
    return hasParen ? name + QStringLiteral("()") : name;
}

THintScan ScanParameterHint(const QString& line, int caretCol, const THintParameter& hp, bool caseSensitive)
{
    THintScan r;
    // The hint characters are no letters, so only the name found needs upper-casing.
    const QString& s = line;
    int blanks = 0;
    for (int i = std::min<int>(caretCol, s.length()) - 1; i >= 0; --i) {
        const QChar c = s[i];
        if (c == QLatin1Char(' ')) {
            if (++blanks >= 5)
                return r;
            continue;
        }
        blanks = 0;
        if (c == hp.HintCharWriteDelimiter) {
            ++r.Parameter;
        } else if (c == hp.HintCharEnd) {
            return r;
        } else if (c == hp.HintCharStart) {
            int b = i;
            while (b > 0 && s[b - 1] != QLatin1Char(' ') && s[b - 1] != hp.HintCharStart && s[b - 1] != hp.HintCharEnd)
                --b;
            r.Name = caseSensitive ? s.mid(b, i - b) : s.mid(b, i - b).toUpper();
            r.Found = true;
            return r;
        }
    }
    return r;
}

QString FindParameterText(const QStringList& parameters, const QString& name, bool caseSensitive)
{
    if (name.isEmpty())
        return {};
    for (const QString& p : parameters)
        if (p.startsWith(name, caseSensitive ? Qt::CaseSensitive : Qt::CaseInsensitive))
            return p;
    return {};
}

THintParts SplitParameterHint(const QString& text, int current, const THintParameter& hp)
{
    QString t = text;
    const int start = t.indexOf(hp.HintCharStart);
    if (start >= 0)
        t = t.mid(start + 1);
    const int end = t.indexOf(hp.HintCharEnd);
    if (end >= 0)
        t.truncate(end);
    THintParts parts;
    int index = 0;
    int from = 0;
    for (int i = 0; i <= t.length(); ++i) {
        const bool delim = i < t.length() && (t[i] == hp.HintCharWriteDelimiter || t[i] == hp.HintCharDelimiter);
        if (!delim && i < t.length())
            continue;
        if (index == current) {
            parts.Before = t.left(from);
            parts.Current = t.mid(from, i - from);
            parts.After = t.mid(i);
            return parts;
        }
        ++index;
        from = i + 1;
    }
    // The caret stands behind the last parameter: nothing is current.
    parts.Before = t;
    return parts;
}

TAutoCompletion::TAutoCompletion()
{
    Font = QFont(QStringLiteral("Courier New"));
    Font.setPixelSize(13);
}

void TAutoCompletion::SetDelay(int ms)
{
    m_delay = ms;
    if (OnChange)
        OnChange();
}

TColor TAutoCompletion::KindColor(int kind) const
{
    switch (kind) {
    case ckVariable: return ColorVar;
    case ckProperty: return ColorProp;
    case ckEvent: return ColorEvent;
    case ckMethod: return ColorMethod;
    case ckFunction: return ColorFunc;
    case ckProcedure: return ColorProc;
    default: return ColorIdentifier;
    }
}

QString TAutoCorrect::Replacement(const QString& word) const
{
    const int i = OldValue.indexOf(word);
    return i >= 0 && i < NewValue.size() ? NewValue[i] : word;
}
