// Finding cells by text, highlighting a text in the cells, the search bar's handlers and the
// incremental row lookup.
#include "grid/GridUtils.h"
#include "grid/ZodUvuz.h"
#include "grid/minihtml/MiniHTML.h"

#include <algorithm>

namespace grid {

namespace {
const QString kEmptyCellText = QStringLiteral("\"\"");
const QString kHighlightTag = QStringLiteral("hi");

// Upper case character by character (a character that has no single upper-case form stays).
QString upperByChar(QString text)
{
    for (QChar& c : text)
        c = c.toUpper();
    return text;
}
} // namespace

bool TZedEzeravIvur::CellMatches(int col, int row, bool wide)
{
    (void)wide;   // the texts are wide already
    const TSearchOptions o = m_searchOptions;
    if (!(o & soHiddenColumns))
        col = RealColIndex(col);
    QString text = DisplayText(col, row);
    if (o & soIgnoreTags)
        text = minihtml::StripMiniHTMLTags(text);
    if (m_searchText == kEmptyCellText)
        return text.isEmpty();
    const bool cs = o & soCaseSensitive;
    if (o & soPattern) {
        try {
            return MatchFilterExpression(m_searchText, text, cs);
        } catch (const std::exception&) {
            return false;
        }
    }
    const Qt::CaseSensitivity sens = cs ? Qt::CaseSensitive : Qt::CaseInsensitive;
    if (o & soWholeCell)
        return text.compare(m_searchText, sens) == 0;
    if (o & soTextStart)
        return text.startsWith(m_searchText, sens);
    return text.contains(m_searchText, sens);
}

bool TZedEzeravIvur::FindCellEx(QPoint from, const QString& text, QPoint& found, TSearchOptions options)
{
    found = QPoint(-1, -1);
    m_searchOptions = options;
    m_searchText = (options & soCaseSensitive) ? text : upperByChar(text);
    if (ColCount() == 0 || ColCount() == FixedCols() || RowCount() == 0 || RowCount() == FixedRows())
        return false;
    if (text.isEmpty())
        return false;
    int c0, c1, r0, r1;
    if (options & soWithFixed) {
        c0 = 0;
        c1 = ColCount() - 1;
        r0 = 0;
        r1 = RowCount() - 1;
    } else {
        c0 = FixedCols();
        c1 = ColCount() - FixedRightCols() - 1;
        r0 = FixedRows();
        r1 = RowCount() - FixedFooters() - 1;
    }
    if (options & soHiddenColumns)
        c1 += NumHiddenColumns();
    if (options & soPresetRow)
        r0 = r1 = SearchRowIndex;
    else if (options & soCurrentRow)
        r0 = r1 = Row();
    if (options & soPresetColumn)
        c0 = c1 = SearchColumnIndex;
    else if (options & soCurrentColumn)
        c0 = c1 = Col();
    if (c1 < c0 || r1 < r0)
        return false;
    const bool byRow = options & soRowByRow;
    const bool back = options & soBackward;
    const long long nCols = c1 - c0 + 1;
    const long long nRows = r1 - r0 + 1;
    const long long total = nCols * nRows;
    auto indexOf = [&](int c, int r) {
        return byRow ? (r - r0) * nCols + (c - c0) : (c - c0) * nRows + (r - r0);
    };
    long long k;
    if (from.x() < 0 && from.y() < 0) {
        k = back ? total - 1 : 0;
    } else {
        const bool inside = from.x() >= c0 && from.x() <= c1 && from.y() >= r0 && from.y() <= r1;
        k = inside ? indexOf(from.x(), from.y()) + (back ? -1 : 1) : (back ? total - 1 : 0);
    }
    for (; k >= 0 && k < total; k += back ? -1 : 1) {
        const int c = int(byRow ? c0 + k % nCols : c0 + k / nRows);
        const int r = int(byRow ? r0 + k / nCols : r0 + k % nRows);
        CopyProgress(1, r);
        if (!CellMatches(c, r, false))
            continue;
        found = QPoint(c, r);
        m_lastFound = found;
        if (options & soGoToCell) {
            SetRowNotify(r);
            SetCol(c);
        }
        return true;
    }
    return false;
}

bool TZedEzeravIvur::FindCell(QPoint from, const QString& text, QPoint& found, TSearchOptions options)
{
    CopyProgress(0, -1);
    const bool ok = FindCellEx(from, text, found, options);
    CopyProgress(ok ? 4 : 2, -1);
    return ok;
}

void TZedEzeravIvur::HighlightRange(const QString& text, const QString& tag, int lastRow, int lastCol, int firstRow,
                                    int firstCol, bool caseSensitive)
{
    if (text.isEmpty())
        return;
    for (int r = std::max(0, firstRow); r <= std::min(lastRow, RowCount() - 1); ++r) {
        for (int c = std::max(0, firstCol); c <= std::min(lastCol, ColCount() - 1); ++c) {
            if (!IsBaseCell(c, r))
                continue;
            const QString& stored = Cells(c, r);
            const int kind = CellTextKind(stored, true);
            if (stored.isEmpty() || kind == 2 || kind == 3 || kind == 5)
                continue;
            if (kind == 0 && (stored.contains(QLatin1Char('<')) || stored.contains(QLatin1Char('>'))
                              || stored.contains(QLatin1Char('&'))))
                continue;   // tags would make markup of it
            const QString tagged = minihtml::HighlightMiniHTML(stored, text, tag, caseSensitive);
            if (tagged != stored)
                SetCells(c, r, tagged);
        }
    }
}

void TZedEzeravIvur::UnHighlightRange(const QString& tag, int firstCol, int lastRow, int lastCol, int firstRow)
{
    const QString open = QLatin1Char('<') + tag;
    for (int r = std::max(0, firstRow); r <= std::min(lastRow, RowCount() - 1); ++r) {
        for (int c = std::max(0, firstCol); c <= std::min(lastCol, ColCount() - 1); ++c) {
            if (!IsBaseCell(c, r))
                continue;
            const QString& stored = Cells(c, r);
            if (!stored.contains(open, Qt::CaseInsensitive))
                continue;
            const QString plain = minihtml::UnhighlightMiniHTML(stored, tag);
            if (plain != stored)
                SetCells(c, r, plain);
        }
    }
}

void TZedEzeravIvur::HighlightInGrid(bool withFixed, bool caseSensitive, const QString& text)
{
    m_viewHighlight.text = text;
    m_viewHighlight.caseSensitive = caseSensitive;
    m_viewHighlight.withFixed = withFixed;
    InvalidateGrid();
}

void TZedEzeravIvur::UnHighlightInGrid(bool withFixed)
{
    (void)withFixed;   // the view has one highlighting
    if (m_viewHighlight.text.isEmpty())
        return;
    m_viewHighlight = {};
    InvalidateGrid();
}

bool TZedEzeravIvur::ViewHighlight(int col, int row, QString& text, int& kind) const
{
    const ViewHighlightState& h = m_viewHighlight;
    if (h.text.isEmpty() || text.isEmpty() || (kind != 0 && kind != 1))
        return false;
    if (!h.withFixed
        && (col < FixedCols() || col >= ColCount() - FixedRightCols() || row < FixedRows()
            || row >= RowCount() - FixedFooters()))
        return false;
    QString html = text;
    if (kind == 0) {
        // The plain text as mini-HTML showing the same characters.
        if (!text.contains(h.text, h.caseSensitive ? Qt::CaseSensitive : Qt::CaseInsensitive))
            return false;
        html = minihtml::EncodeBasicEntities(text);
        html.replace(QLatin1String("\r\n"), QLatin1String("<BR>"));
        html.replace(QLatin1Char('\n'), QLatin1String("<BR>"));
        html.replace(QLatin1Char('\r'), QLatin1String("<BR>"));
    }
    const QString marked = minihtml::HighlightMiniHTML(html, h.text, kHighlightTag, h.caseSensitive);
    if (marked == html)
        return false;
    text = marked;
    kind = 1;
    return true;
}

// ------------------------------------------------------------------ the search bar

void TZedEzeravIvur::keepFoundRowAboveFooter()
{
    const int visible = VisibleRowCount();
    if (Row() > TopRow() + visible - 2 && RowCount() > FixedRows() + visible)
        SetTopRow(TopRow() + 2);
}

void TZedEzeravIvur::SearchTextChanged()
{
    ISearchBar* bar = m_searchBar;
    if (!bar || !bar->AutoSearch())
        return;
    TSearchOptions options = soGoToCell;
    if (bar->HighlightDown())
        options |= soIgnoreTags;
    if (bar->MatchCase())
        options |= soCaseSensitive;
    if (bar->SearchActiveColumnOnly())
        options |= soCurrentColumn;
    const int column = bar->SearchColumn();
    if (column >= 0 && column < ColCount()) {
        options |= soPresetColumn;
        SearchColumnIndex = column;
    }
    const QString text = bar->EditText();
    if (text.isEmpty()) {
        bar->SetEditColor(gfx::clWindow);
        UnHighlightInGrid(false);
    } else {
        QPoint found;
        FindCell(QPoint(-1, -1), text, found, options);
        m_lastFound = found;
        if (found.x() < 0) {
            bar->SetEditColor(0x0000FF);
            UnHighlightInGrid(false);
        } else {
            bar->SetEditColor(gfx::clWindow);
            GoToCell(found.x(), found.y());
            UnHighlightInGrid(false);
            if (bar->HighlightDown())
                HighlightInGrid(false, false, text);
        }
    }
    keepFoundRowAboveFooter();
}

void TZedEzeravIvur::searchFromButton(bool backward)
{
    ISearchBar* bar = m_searchBar;
    if (!bar)
        return;
    const QString text = bar->EditText();
    if (!bar->AutoSearch() && text != m_lastButtonSearch) {
        m_lastFound = QPoint(-1, -1);
        m_lastButtonSearch = text;
    }
    QPoint found;
    FindCell(m_lastFound, text, found, soGoToCell | (backward ? soBackward : 0));
    m_lastFound = found;
    keepFoundRowAboveFooter();
}

void TZedEzeravIvur::SearchFindNext() { searchFromButton(false); }

void TZedEzeravIvur::SearchFindPrevious() { searchFromButton(true); }

void TZedEzeravIvur::SearchClose()
{
    if (m_searchBar)
        m_searchBar->SetVisible(false);
    UnHighlightInGrid(false);   // nothing stays marked once the bar is gone
}

void TZedEzeravIvur::SearchHighlightClicked()
{
    if (!m_searchBar)
        return;
    if (m_searchBar->HighlightDown())
        HighlightInGrid(false, false, m_searchBar->EditText());
    else
        UnHighlightInGrid(false);
}

// ------------------------------------------------------------------ incremental lookup

int TZedEzeravIvur::FindRowByPrefix(const QString& prefix)
{
    if (RowCount() < 2)
        return -1;
    const int col = SortSettings()->Show() ? SortSettings()->Column : 1;
    const qsizetype n = prefix.size();
    auto startsWithPrefix = [&](const QString& text) {
        if (text.size() < n)
            return false;
        for (qsizetype i = 0; i < n; ++i)
            if (text[i].toUpper() != prefix[i])
                return false;
        return true;
    };
    for (int r = FixedRows(); r < RowCount(); ++r) {
        const QString text = DisplayText(col, r);
        if (text.contains(QLatin1Char('<')) ? startsWithPrefix(minihtml::StripMiniHTMLTags(text)) : startsWithPrefix(text))
            return r;
    }
    return -1;
}

} // namespace grid
