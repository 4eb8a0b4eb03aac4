// Filtering the string grid's rows: rows that fail the filter conditions are hidden.
#include "grid/GridUtils.h"
#include "grid/ZodUvuz.h"

#include <cmath>

namespace grid {

bool TZedEzeravIvur::RowMatchesFilter(int row)
{
    bool result = true;
    for (int i = 0; i < m_filter.Count(); ++i) {
        const TFilterData& f = m_filter.Items(i);
        QString text = f.Data == fcNormal ? Cells(f.Column, row) : DisplayText(f.Column, row);
        if (!f.Prefix.isEmpty() && text.startsWith(f.Prefix))
            text.remove(0, f.Prefix.size());
        if (!f.Suffix.isEmpty()) {
            const qsizetype at = text.indexOf(f.Suffix);
            if (at >= 0 && at + f.Suffix.size() == text.size())
                text.chop(f.Suffix.size());
        }
        bool match = false;
        try {
            match = MatchFilterExpression(f.Condition, text, f.CaseSensitive);
        } catch (const std::exception&) {
            match = false;
        }
        switch (f.Operation) {
        case foSHORT:
            if (!match)
                return false;
            result = true;
            break;
        case foNONE:
            result = match;
            break;
        case foAND:
            result = result && match;
            break;
        case foXOR:
            result = result != match;
            break;
        case foOR:
            result = result || match;
            break;
        }
    }
    return result;
}

void TZedEzeravIvur::ApplyFilter()
{
    const int total = RowCount() - FixedFooters() - FixedRows();
    std::vector<int> hide;
    int n = 0;
    auto progress = [&] {
        if (OnFilterProgress && total > 0)
            OnFilterProgress(this, short(std::nearbyint(double(n) / total * 100.0)));
    };
    for (int r = FixedRows(); r <= RowCount() - FixedFooters() - 1; ++r) {
        if (!RowMatchesFilter(r))
            hide.push_back(RealRowIndex(r));
        ++n;
        progress();
    }
    HideRowList(hide);
    progress();
}

void TZedEzeravIvur::SetFilterActive(bool value)
{
    if (value != m_filterActive) {
        m_filterActive = value;
        if (value) {
            m_filterFixedRows = FixedRows();
            BeginUpdate();
            try {
                ApplyFilter();
            } catch (...) {
                EndUpdate();
                throw;
            }
            EndUpdate();
        } else {
            UnHideRowsAll();
            SetFixedRows(m_filterFixedRows);
            if (SelectionHidden())
                UnHideSelection();
        }
    }
    CalcFooter(-1);
}

} // namespace grid
