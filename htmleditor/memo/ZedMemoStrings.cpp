#include "htmleditor/memo/ZedMemoStrings.h"

#include "htmleditor/memo/ZedMemoModel.h"

#include <QFile>
#include <algorithm>
#include <QSaveFile>
#include <QStringDecoder>

QStringList SplitLines(const QString& text)
{
    QStringList lines;
    const int n = text.length();
    int start = 0;
    for (int i = 0; i < n; ++i) {
        const QChar c = text[i];
        if (c == QLatin1Char('\r') || c == QLatin1Char('\n')) {
            lines << text.mid(start, i - start);
            if (c == QLatin1Char('\r') && i + 1 < n && text[i + 1] == QLatin1Char('\n'))
                ++i;
            start = i + 1;
        }
    }
    if (start < n)
        lines << text.mid(start);
    return lines;
}

TZedMemoStrings::TZedMemoStrings(TZedMemoModel* memo) : m_memo(memo) {}
TZedMemoStrings::~TZedMemoStrings() = default;

QString TZedMemoStrings::ExpandTabs(const QString& s) const
{
    if (!s.contains(QLatin1Char('\t')))
        return s;
    const int tab = m_memo ? m_memo->TabSize() : 4;
    QString r = s;
    r.replace(QLatin1Char('\t'), QString(tab, QLatin1Char(' ')));
    return r;
}

void TZedMemoStrings::RawInsert(int i, const QString& s)
{
    m_lines.insert(i, s);
    m_props.insert(m_props.begin() + i, nullptr);
    if (m_memo)
        m_memo->InvalidateStates(i);
}

void TZedMemoStrings::RawInsertLines(int i, const QStringList& lines)
{
    if (lines.isEmpty())
        return;
    QStringList tail = m_lines.mid(i);
    m_lines.erase(m_lines.begin() + i, m_lines.end());
    m_lines.reserve(m_lines.size() + lines.size() + tail.size());
    m_lines.append(lines);
    m_lines.append(tail);
    std::vector<std::unique_ptr<TLineProp>> fresh(size_t(lines.size()));
    m_props.insert(m_props.begin() + i, std::make_move_iterator(fresh.begin()), std::make_move_iterator(fresh.end()));
    if (m_memo)
        m_memo->InvalidateStates(i);
}

void TZedMemoStrings::RawDelete(int i, int count)
{
    if (i < 0 || count <= 0 || i + count > Count())
        return;
    m_lines.remove(i, count);
    m_props.erase(m_props.begin() + i, m_props.begin() + i + count);
    if (m_memo)
        m_memo->InvalidateStates(i);
}

void TZedMemoStrings::RawClear()
{
    m_lines.clear();
    m_props.clear();
    if (m_memo)
        m_memo->InvalidateStates(-1);
}

void TZedMemoStrings::Add(const QString& s)
{
    RawInsert(Count(), ExpandTabs(s));
    if (m_memo)
        m_memo->LinesChanged();
}

void TZedMemoStrings::Insert(int i, const QString& s)
{
    if (i < 0 || i > Count())
        return;
    if (!m_memo) {
        RawInsert(i, ExpandTabs(s));
        return;
    }
    m_memo->ClearSelection();
    RawInsert(i, ExpandTabs(s));
    m_memo->LineListInserted(i);
}

void TZedMemoStrings::Put(int i, const QString& s)
{
    if (i < 0 || i >= Count())
        return;
    m_lines[i] = ExpandTabs(s);
    if (m_memo)
        m_memo->LineListChanged(i);
}

void TZedMemoStrings::Delete(int i)
{
    if (i < 0 || i >= Count())
        return;
    if (!m_memo) {
        RawDelete(i);
        return;
    }
    m_memo->LineListDeleted(i);
}

void TZedMemoStrings::Clear()
{
    RawClear();
    if (m_memo)
        m_memo->LineListCleared();
}

void TZedMemoStrings::Assign(const QStringList& lines)
{
    RawClear();
    m_lines.reserve(lines.size());
    for (const QString& l : lines) {
        QString s = ExpandTabs(l);
        if (m_memo && m_memo->TrimTrailingSpaces) {
            int n = s.length();
            while (n > 0 && s[n - 1] <= QLatin1Char(' '))
                --n;
            s.truncate(n);
        }
        // A long line (a whole document on one line) gets room to grow: otherwise the first
        // keystroke copies all of it into a new, larger block.
        if (s.size() > TZedMemoModel::LongLine)
            s.reserve(s.size() + std::max<qsizetype>(TZedMemoModel::LongLine, s.size() / 8));
        m_lines.append(s);
    }
    m_props.resize(size_t(m_lines.size()));
    if (m_memo)
        m_memo->LinesLoaded();
}

bool TZedMemoStrings::LoadFromFile(const QString& fileName)
{
    QFile f(fileName);
    if (!f.open(QIODevice::ReadOnly))
        return false;
    QByteArray data = f.readAll();
    if (data.startsWith("\xEF\xBB\xBF"))
        data.remove(0, 3);
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(data);
    if (utf8.hasError()) {
        QStringDecoder ansi("windows-1252");
        text = ansi.isValid() ? ansi.decode(data) : QString::fromLatin1(data);
    }
    if (m_memo)
        m_memo->ClearUndo();
    Assign(SplitLines(text));
    return true;
}

bool TZedMemoStrings::SaveToFile(const QString& fileName)
{
    const bool wrapped = m_memo && m_memo->WordWrap() != wwNone;
    if (wrapped)
        m_memo->Unwrap();
    QSaveFile f(fileName);
    bool ok = f.open(QIODevice::WriteOnly);
    if (ok) {
        QString text = m_lines.join(QStringLiteral("\r\n"));
        if (!m_lines.isEmpty())
            text += QStringLiteral("\r\n");
        f.write(text.toUtf8());
        ok = f.commit();
    }
    if (wrapped)
        m_memo->Rewrap();
    return ok;
}

QString TZedMemoStrings::Text() const
{
    QString text = m_lines.join(QStringLiteral("\r\n"));
    if (!m_lines.isEmpty())
        text += QStringLiteral("\r\n");
    return text;
}

void TZedMemoStrings::SetText(const QString& text)
{
    if (m_memo)
        m_memo->SetLines(SplitLines(text));
    else {
        RawClear();
        for (const QString& l : SplitLines(text))
            RawInsert(Count(), ExpandTabs(l));
    }
}

QObject* TZedMemoStrings::GetObject(int i) const
{
    const TLineProp* p = PropsIfAny(i);
    return p ? p->Object : nullptr;
}

void TZedMemoStrings::PutObject(int i, QObject* object)
{
    if (i >= 0 && i < Count())
        Props(i)->Object = object;
}

void TZedMemoStrings::EndUpdate()
{
    if (m_updateCount > 0)
        --m_updateCount;
    if (m_updateCount == 0 && m_memo)
        m_memo->LinesChanged();
}

TLineProp* TZedMemoStrings::Props(int i)
{
    if (i < 0 || i >= Count())
        return nullptr;
    auto& p = m_props[size_t(i)];
    if (!p)
        p = std::make_unique<TLineProp>();
    return p.get();
}

const TLineProp* TZedMemoStrings::PropsIfAny(int i) const
{
    if (i < 0 || i >= Count())
        return nullptr;
    return m_props[size_t(i)].get();
}

bool TZedMemoStrings::IsWrapped(int i) const
{
    const TLineProp* p = PropsIfAny(i);
    return p && p->Wrapped;
}
