// Sorting the string grid's rows: cell comparison by sort style, the in-place quick sort over
// whole rows with a scratch row for the pivot, and restoring the order before sorting.
#include "grid/GridUtils.h"
#include "grid/ZodUvuz.h"
#include "grid/minihtml/MiniHTML.h"

#include <QCollator>
#include <QDateTime>
#include <algorithm>
#include <map>
#include <optional>

namespace grid {

namespace {

// Whether `c` stands at position 2 or 3 (1-based) of the text, is not its last character, and
// has a digit on each side.
bool separatorBetweenDigits(const QString& text, QChar c, bool& found)
{
    const qsizetype i = text.indexOf(c);
    found = (i == 1 || i == 2) && i < text.size() - 1;
    return found && text[i - 1].isDigit() && text[i + 1].isDigit();
}

// The style a single cell's text suggests.
TSortStyle styleOfText(const QString& text)
{
    const int kind = NumberKind(text);
    if (kind == 0 || kind == 1)
        return ssNumeric;
    bool found = false;
    const bool digits = separatorBetweenDigits(text, CurrentGridLocale().dateSeparator, found);
    if (found) {
        if (!digits)
            return ssAlphabetic;
        return text.contains(QLatin1Char(':')) ? ssDateTime : ssDate;
    }
    if (separatorBetweenDigits(text, QLatin1Char(':'), found) && found)
        return ssTime;
    return ssAlphabetic;
}

// Digits of a text that is not a whole number, read as one number (sign and decimal point left
// out); false when it has none.
bool leadingDigits(const QString& text, double& value)
{
    QString digits;
    for (QChar c : text) {
        if (c.isDigit())
            digits += c;
        else if (c != QLatin1Char('-') && c != QLatin1Char('+') && c != QLatin1Char('.'))
            break;
    }
    if (digits.isEmpty())
        return false;
    value = digits.toDouble();
    return true;
}

bool readNumber(QString text, const QString& prefix, const QString& suffix, bool financial, double& value)
{
    if (!suffix.isEmpty()) {
        const qsizetype i = text.indexOf(suffix);
        if (i >= 0)
            text.remove(i, suffix.size());
    }
    if (!prefix.isEmpty()) {
        const qsizetype i = text.indexOf(prefix);
        if (i >= 0)
            text.remove(i, prefix.size());
    }
    const GridLocale& l = CurrentGridLocale();
    if (financial)
        text.remove(l.thousandSeparator);
    const qsizetype d = text.indexOf(l.decimalSeparator);
    if (d >= 0)
        text[d] = QLatin1Char('.');
    text = text.trimmed();
    if (text.isEmpty()) {
        value = 0;
        return true;
    }
    bool ok = false;
    value = text.toDouble(&ok);
    if (ok)
        return true;
    return leadingDigits(text, value);
}

// Day count with the time of day as fraction; 0 for an unreadable text. The date part follows the
// order of day, month and year in the short date format; any non-digit separates the numbers.
double readDateTime(const QString& text, bool timeOnly)
{
    const QString t = text.trimmed();
    QString datePart = t;
    QString timePart;
    const qsizetype colon = t.indexOf(QLatin1Char(':'));
    if (colon >= 0) {
        qsizetype start = colon;
        while (start > 0 && t[start - 1].isDigit())
            --start;
        datePart = t.left(start).trimmed();
        timePart = t.mid(start);
    }
    double result = 0;
    if (!timePart.isEmpty()) {
        const QStringList parts = timePart.split(QLatin1Char(':'));
        int hms[3] = {0, 0, 0};
        for (int i = 0; i < std::min<qsizetype>(3, parts.size()); ++i) {
            QString digits;
            for (QChar c : parts[i]) {
                if (!c.isDigit())
                    break;
                digits += c;
            }
            hms[i] = digits.toInt();
        }
        if (hms[0] > 23 || hms[1] > 59 || hms[2] > 59)
            return 0;
        result = (hms[0] * 3600 + hms[1] * 60 + hms[2]) / 86400.0;
    }
    if (timeOnly || datePart.isEmpty())
        return result;
    std::vector<int> numbers;
    QString run;
    for (qsizetype i = 0; i <= datePart.size(); ++i) {
        if (i < datePart.size() && datePart[i].isDigit()) {
            run += datePart[i];
        } else if (!run.isEmpty()) {
            numbers.push_back(run.toInt());
            run.clear();
        }
    }
    if (numbers.size() < 3)
        return 0;
    int d = 0, m = 0, y = 0;
    // The field order: the first occurrence of each letter.
    std::vector<QChar> fields;
    for (QChar c : CurrentGridLocale().shortDateFormat) {
        const QChar u = c.toLower();
        if ((u == QLatin1Char('d') || u == QLatin1Char('m') || u == QLatin1Char('y'))
            && std::find(fields.begin(), fields.end(), u) == fields.end())
            fields.push_back(u);
    }
    if (fields.size() != 3)
        fields = {QLatin1Char('m'), QLatin1Char('d'), QLatin1Char('y')};
    for (size_t i = 0; i < 3; ++i) {
        if (fields[i] == QLatin1Char('d'))
            d = numbers[i];
        else if (fields[i] == QLatin1Char('m'))
            m = numbers[i];
        else
            y = numbers[i];
    }
    if (y < 100)
        y += y <= 25 ? 2000 : 1900;
    const QDate date(y, m, d);
    if (!date.isValid())
        return 0;
    return double(QDate(1899, 12, 30).daysTo(date)) + result;
}

int sign(double a, double b) { return a < b ? -1 : (a > b ? 1 : 0); }
int sign(int v) { return v < 0 ? -1 : (v > 0 ? 1 : 0); }

// Upper-cases a to z only.
int compareNoCaseAscii(const QString& a, const QString& b)
{
    const qsizetype n = std::min(a.size(), b.size());
    for (qsizetype i = 0; i < n; ++i) {
        ushort x = a[i].unicode();
        ushort y = b[i].unicode();
        if (x >= 'a' && x <= 'z')
            x -= 32;
        if (y >= 'a' && y <= 'z')
            y -= 32;
        if (x != y)
            return x < y ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

} // namespace

// What one sort decided once: the format of each column compared, the compared texts and
// numbers of the sorted rows (read once per row and column), and the row the current row's data
// is in.
struct TZedEzeravIvur::SortRun {
    struct Format {
        TSortStyle style = ssAlphabetic;
        QString prefix;
        QString suffix;
    };
    struct Keys {
        std::vector<QString> texts;
        std::vector<double> numbers;
        std::vector<char> numberOk;
    };
    std::vector<std::optional<Format>> formats;
    std::vector<std::unique_ptr<Keys>> keys;
    int first = 0;       // the rows sorted
    int last = -1;
    bool byIndex = false;
    int tracked = -1;
    std::vector<int> order;   // the rows in their sorted order (as they stand before moving)
    std::optional<QCollator> collatorCase;
    std::optional<QCollator> collatorNoCase;

    bool inRange(int row) const { return row >= first && row <= last; }
};

TSortStyle TZedEzeravIvur::resolvedStyle(int col, int row1, TSortStyle style, SortRun* run)
{
    (void)row1;
    if (style != ssAutomatic)
        return style;
    // The style every non-empty cell agrees on, else alphabetic.
    const int first = run ? run->first : FixedRows();
    const int last = run ? run->last : RowCount() - FixedFooters() - 1;
    std::optional<TSortStyle> agreed;
    for (int r = first; r <= last; ++r) {
        TSortStyle s;
        if (IsCheckBoxCell(col, r)) {
            s = ssCheckBox;
        } else {
            const QString text = DisplayText(col, r);
            if (text.isEmpty())
                continue;
            s = styleOfText(text);
        }
        if (!agreed)
            agreed = s;
        else if (*agreed != s)
            return ssAlphabetic;
        if (s == ssAlphabetic)
            return ssAlphabetic;
    }
    return agreed.value_or(ssAlphabetic);
}

int TZedEzeravIvur::CompareCells(int col, int row1, int row2, bool descending)
{
    SortRun* run = m_sortRun;
    SortRun::Format local;
    const SortRun::Format* format = nullptr;
    if (run && col >= 0 && size_t(col) < run->formats.size() && run->formats[size_t(col)])
        format = &*run->formats[size_t(col)];
    if (!format) {
        local.style = SortSettings()->AutoFormat ? ssAutomatic : ssAlphabetic;
        GetColumnFormat(col, local.style, local.prefix, local.suffix);
        local.style = resolvedStyle(col, row1, local.style, run);
        if (run && col >= 0) {
            if (size_t(col) >= run->formats.size())
                run->formats.resize(size_t(col) + 1);
            run->formats[size_t(col)] = local;
            format = &*run->formats[size_t(col)];
        } else {
            format = &local;
        }
    }
    // The sorted rows' texts are read once per column.
    SortRun::Keys* keys = nullptr;
    if (run && col >= 0 && run->inRange(row1) && run->inRange(row2)) {
        if (size_t(col) >= run->keys.size())
            run->keys.resize(size_t(col) + 1);
        auto& slot = run->keys[size_t(col)];
        if (!slot) {
            slot = std::make_unique<SortRun::Keys>();
            slot->texts.reserve(size_t(run->last - run->first + 1));
            for (int r = run->first; r <= run->last; ++r)
                slot->texts.push_back(DisplayText(col, r));
        }
        keys = slot.get();
    }
    QString own1, own2;
    if (!keys) {
        own1 = DisplayText(col, row1);
        own2 = DisplayText(col, row2);
    }
    const QString& s1 = keys ? keys->texts[size_t(row1 - run->first)] : own1;
    const QString& s2 = keys ? keys->texts[size_t(row2 - run->first)] : own2;
    TSortStyle style = format->style;

    if (style == ssAlphaNumeric || style == ssAlphaNumericNoCase) {
        const int k1 = NumberKind(s1);
        const int k2 = NumberKind(s2);
        if (k1 != 2 && k2 != 2)
            style = ssNumeric;
        else
            style = style == ssAlphaNumeric ? ssAlphabetic : ssAlphaNoCase;
    }

    int res = 0;
    switch (style) {
    case ssAutomatic:
    case ssAlphabetic:
    case ssAlphaCase:
        res = sign(s1.compare(s2));
        break;
    case ssAlphaNoCase:
        res = compareNoCaseAscii(s1, s2);
        break;
    case ssAnsiAlphaCase:
    case ssAnsiAlphaNoCase:
    case ssUnicode: {
        QCollator local;
        QCollator* c = &local;
        const bool noCase = style != ssAnsiAlphaCase;
        if (m_sortRun) {
            auto& slot = noCase ? m_sortRun->collatorNoCase : m_sortRun->collatorCase;
            if (!slot)
                slot.emplace();
            c = &*slot;
        }
        c->setCaseSensitivity(noCase ? Qt::CaseInsensitive : Qt::CaseSensitive);
        res = sign(c->compare(s1, s2));
        break;
    }
    case ssNumeric:
    case ssFinancial: {
        double a = 0, b = 0;
        bool okA, okB;
        if (keys && format->style == style) {
            if (keys->numbers.empty()) {
                keys->numbers.resize(keys->texts.size());
                keys->numberOk.resize(keys->texts.size());
                for (size_t i = 0; i < keys->texts.size(); ++i)
                    keys->numberOk[i] = readNumber(keys->texts[i], format->prefix, format->suffix,
                                                   style == ssFinancial, keys->numbers[i]);
            }
            a = keys->numbers[size_t(row1 - run->first)];
            b = keys->numbers[size_t(row2 - run->first)];
            okA = keys->numberOk[size_t(row1 - run->first)];
            okB = keys->numberOk[size_t(row2 - run->first)];
        } else {
            okA = readNumber(s1, format->prefix, format->suffix, style == ssFinancial, a);
            okB = readNumber(s2, format->prefix, format->suffix, style == ssFinancial, b);
        }
        res = (!okA && !okB) ? 0 : sign(a, b);
        break;
    }
    case ssDate:
    case ssDateTime:
        res = sign(readDateTime(s1, false), readDateTime(s2, false));
        break;
    case ssTime:
        res = sign(readDateTime(s1, true), readDateTime(s2, true));
        break;
    case ssShortDateEU:
    case ssShortDateUS: {
        auto read = [style](const QString& t) -> double {
            try {
                const QDate d = style == ssShortDateEU ? EUDateToDate(t) : USDateToDate(t);
                return d.isValid() ? double(QDate(1899, 12, 30).daysTo(d)) : 0.0;
            } catch (const EConvertError&) {
                return 0.0;
            }
        };
        res = sign(read(s1), read(s2));
        break;
    }
    case ssCustom:
        if (OnCustomCompare)
            OnCustomCompare(this, s1, s2, res);
        break;
    case ssRaw:
        if (OnRawCompare)
            OnRawCompare(this, col, row1, row2, res);
        break;
    case ssHTML:
        res = sign(minihtml::StripMiniHTMLTags(s1).compare(minihtml::StripMiniHTMLTags(s2)));
        break;
    case ssImages:
        res = sign(CellImageValue(col, row1) - CellImageValue(col, row2));
        break;
    case ssCheckBox: {
        bool c1 = false, c2 = false;
        GetCheckBoxState(col, row1, c1);
        GetCheckBoxState(col, row2, c2);
        res = int(c1) - int(c2);
        break;
    }
    case ssAlphaNumeric:
    case ssAlphaNumericNoCase:
        break;
    }

    if (SortSettings()->IgnoreBlanks && s1.isEmpty() != s2.isEmpty()) {
        const int firstValue = SortSettings()->BlankPos == blFirst ? -1 : 1;
        res = s1.isEmpty() ? firstValue : -firstValue;
        if (descending)
            res = -res;
    }
    return res;
}

int TZedEzeravIvur::CompareRowsFrom(int col, int row1, int row2)
{
    if (row1 == row2)
        return 0;   // a row against itself (the pivot): no column needs reading
    const bool descending = SortSettings()->Direction == sdDescending;
    const int s = descending ? -1 : 1;
    for (int c = col;; ++c) {
        const int res = CompareCells(c, row1, row2, descending) * s;
        if (res != 0 || !SortSettings()->Full || c > ColCount() - 2)
            return res;
    }
}

int TZedEzeravIvur::CompareRowsByIndex(int key, int row1, int row2)
{
    if (row1 == row2)
        return 0;
    for (int k = key; k < SortIndexes().Count(); ++k) {
        const bool ascending = SortIndexes().Ascending(k);
        int res = CompareCells(SortIndexes().SortColumn(k), row1, row2, !ascending);
        if (!ascending)
            res = -res;
        if (res != 0 || !SortSettings()->Full)
            return res;
    }
    return 0;
}

void TZedEzeravIvur::SwapRows(int row1, int row2)
{
    if (row1 == row2 || row1 < 0 || row2 < 0 || row1 >= RowCount() || row2 >= RowCount())
        return;
    ++m_swapCount;
    if (SortSettings()->SingleColumn) {
        const int c = SortSettings()->Column;
        const QString t = Cells(c, row1);
        StoreCell(c, row1, Cells(c, row2));
        StoreCell(c, row2, t);
        tk::TObject* o = Objects(c, row1);
        SetObjects(c, row1, Objects(c, row2));
        SetObjects(c, row2, o);
    } else {
        std::swap(RecordAt(row1), RecordAt(row2));
        const int h1 = RowHeights(row1);
        const int h2 = RowHeights(row2);
        if (h1 != h2) {
            SetRowHeights(row1, h2);
            SetRowHeights(row2, h1);
        }
        if (MouseActions()->DisjunctRowSelect() && Navigation()->MoveRowOnSort) {
            const size_t need = size_t(std::max(row1, row2)) + 1;
            if (m_rowMarks.size() < need)
                m_rowMarks.resize(need, 0);
            std::swap(m_rowMarks[size_t(row1)], m_rowMarks[size_t(row2)]);
        }
        if (m_sortRun) {
            if (m_sortRun->tracked == row1)
                m_sortRun->tracked = row2;
            else if (m_sortRun->tracked == row2)
                m_sortRun->tracked = row1;
        }
    }
    std::vector<int>& unsorted = m_unsortedRows.Values();
    if (size_t(std::max(row1, row2)) < unsorted.size())
        std::swap(unsorted[size_t(row1)], unsorted[size_t(row2)]);
    if (m_updateCount == 0) {
        InvalidateRow(row1);
        InvalidateRow(row2);
    }
}

void TZedEzeravIvur::quickSort(SortRun& run, int low, int high)
{
    // Sorts the row numbers in run.order[low .. high]; no row moves while comparing, so the
    // comparisons (and a handler given row numbers) always see the rows where they stand.
    std::vector<int>& o = run.order;
    const int column = SortSettings()->Column;
    auto cmp = [&](int a, int b) { return run.byIndex ? CompareRowsByIndex(0, a, b) : CompareRowsFrom(column, a, b); };
    while (low < high) {
        const int pivot = o[size_t(low + (high - low) / 2)];
        int i = low;
        int j = high;
        do {
            while (cmp(pivot, o[size_t(i)]) > 0 && i < high)
                ++i;
            while (cmp(o[size_t(j)], pivot) > 0 && low < j)
                --j;
            if (i <= j) {
                if (i != j)
                    std::swap(o[size_t(i)], o[size_t(j)]);
                ++i;
                --j;
            }
        } while (i <= j);
        // The smaller part recursively, the larger one in this loop: the depth stays logarithmic.
        if (j - low < high - i) {
            if (low < j)
                quickSort(run, low, j);
            low = i;
        } else {
            if (i < high)
                quickSort(run, i, high);
            high = j;
        }
    }
}

void TZedEzeravIvur::moveRowsToOrder(int first, const std::vector<int>& order)
{
    // order[k]: the row that goes to first + k. Each cycle of the permutation is walked with
    // row exchanges, so every row moves with what goes along with it (SwapRows).
    const int n = int(order.size());
    std::vector<int> target(static_cast<size_t>(n));
    for (int k = 0; k < n; ++k)
        target[size_t(order[size_t(k)] - first)] = k;
    for (int i = 0; i < n; ++i) {
        while (target[size_t(i)] != i) {
            const int t = target[size_t(i)];
            SwapRows(first + i, first + t);
            std::swap(target[size_t(i)], target[size_t(t)]);
        }
    }
}

void TZedEzeravIvur::sortFrame(bool byIndex, bool nodes)
{
    if (m_unsortedRows.Count() != RowCount()) {
        std::vector<int>& u = m_unsortedRows.Values();
        u.resize(size_t(RowCount()));
        for (int r = 0; r < RowCount(); ++r)
            u[size_t(r)] = r;
    }
    if (byIndex && SortIndexes().Count() == 0)
        throw EZodUvuzError(QStringLiteral("No indexes specified for indexed sort"));
    if (!byIndex && !nodes)
        SortIndexes().Clear();

    // The ranges sorted: the normal rows, or the rows of every expanded node of more than 2 rows.
    std::vector<std::pair<int, int>> ranges;
    if (!nodes) {
        ranges.emplace_back(FixedRows(), RowCount() - FixedFooters() - 1);
    } else {
        for (int r = FixedRows(); r < RowCount(); ++r) {
            const int real = RealRowIndex(r);
            const int span = GetNodeSpan(real);
            if (span > 2 && !IsNodeContracted(real))
                ranges.emplace_back(r + 1, std::min(RowCount() - 1, r + span - 1));
        }
    }

    // Rows change places one by one: a range over several rows cannot follow them.
    for (const auto& [first, last] : ranges)
        if (last > first)
            SplitRowSpanningRanges(first, last);

    const bool keepColumn0 = SortSettings()->NormalCellsOnly && FixedCols() > 0;
    QStringList column0;
    if (keepColumn0)
        column0 = Cols(0);

    SortRun run;
    run.byIndex = byIndex;
    const int oldRow = Row();
    const bool moveRow = Navigation()->MoveRowOnSort;
    run.tracked = oldRow;

    BeginUpdate();
    auto finish = [&] {
        m_sortRun = nullptr;
        if (keepColumn0)
            for (int r = 0; r < column0.size() && r < RowCount(); ++r)
                StoreCell(0, r, column0[r]);
        EndUpdate();
    };
    m_sortRun = &run;
    try {
        for (const auto& [first, last] : ranges) {
            if (last <= first)
                continue;
            run.first = first;
            run.last = last;
            run.formats.clear();
            run.keys.clear();
            run.order.clear();
            for (int r = first; r <= last; ++r)
                run.order.push_back(r);
            quickSort(run, 0, last - first);
            moveRowsToOrder(first, run.order);
        }
        if (moveRow)
            SetRow(std::clamp(run.tracked, 0, RowCount() - 1));
    } catch (...) {
        finish();
        throw;
    }
    finish();
    if (moveRow)
        m_lastReportedRow = -1;
    else if (!byIndex && !nodes && OnRowUpdate)
        OnRowUpdate(this, oldRow, Row());
}

void TZedEzeravIvur::SortByColumn() { sortFrame(false, false); }

void TZedEzeravIvur::SortByIndex() { sortFrame(true, false); }

void TZedEzeravIvur::SortNodes() { sortFrame(false, true); }

void TZedEzeravIvur::SortNodesByIndex() { sortFrame(true, true); }

void TZedEzeravIvur::RestoreRowOrder()
{
    if (m_unsortedRows.Count() != RowCount())
        return;
    const int first = FixedRows();
    const int last = RowCount() - FixedFooters() - 1;
    if (last <= first)
        return;
    SplitRowSpanningRanges(first, last);   // rows change places one by one
    const bool keepColumn0 = SortSettings()->NormalCellsOnly && FixedCols() > 0;
    QStringList column0;
    if (keepColumn0)
        column0 = Cols(0);
    BeginUpdate();
    struct End {
        TZedEzeravIvur* g;
        bool keep;
        QStringList& col0;
        ~End()
        {
            if (keep)
                for (int r = 0; r < col0.size() && r < g->RowCount(); ++r)
                    g->StoreCell(0, r, col0[r]);
            g->EndUpdate();
        }
    } end{this, keepColumn0, column0};

    // Each row goes to the place of its number before sorting among the rows of the range.
    std::vector<int> order;
    order.reserve(size_t(last - first + 1));
    for (int r = first; r <= last; ++r)
        order.push_back(r);
    const std::vector<int>& u = m_unsortedRows.Values();
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return u[size_t(a)] < u[size_t(b)]; });
    moveRowsToOrder(first, order);
}

} // namespace grid
