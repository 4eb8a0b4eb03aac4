#include "spreadsheet/CellAreas.h"
#include "spreadsheet/XLSUtils.h"

namespace xls {

bool Intersect(const TRect& a, const TRect& b, TRect& out)
{
    out = {qMax(a.Col1, b.Col1), qMax(a.Row1, b.Row1), qMin(a.Col2, b.Col2), qMin(a.Row2, b.Row2)};
    return out.Col2 >= out.Col1 && out.Row2 >= out.Row1;
}

QList<TRect> Subtract(const TRect& a, const TRect& x)
{
    QList<TRect> pieces;
    if (x.Row1 > a.Row1) pieces.append({a.Col1, a.Row1, a.Col2, x.Row1 - 1});
    if (x.Row2 < a.Row2) pieces.append({a.Col1, x.Row2 + 1, a.Col2, a.Row2});
    if (x.Col1 > a.Col1) pieces.append({a.Col1, x.Row1, x.Col1 - 1, x.Row2});
    if (x.Col2 < a.Col2) pieces.append({x.Col2 + 1, x.Row1, a.Col2, x.Row2});
    return pieces;
}

bool ClipToSheet(TRect& r) { return ClampArea(r.Col1, r.Row1, r.Col2, r.Row2); }

void TCellArea::SetRect(const TRect& r)
{
    Col1 = uint16_t(r.Col1);
    Row1 = uint16_t(r.Row1);
    Col2 = uint16_t(r.Col2);
    Row2 = uint16_t(r.Row2);
}

// ---- base

TCellArea* TBaseCellAreas::Items(int index) const
{
    if (index < 0 || index >= Count()) throw EXLSError(QStringLiteral("List index out of bounds (%1)").arg(index));
    return m_items[size_t(index)].get();
}

TCellArea* TBaseCellAreas::Add()
{
    m_items.push_back(std::make_unique<TCellArea>(m_nextId++));
    return m_items.back().get();
}

TCellArea* TBaseCellAreas::AddArea(int col1, int row1, int col2, int row2)
{
    TCellArea* a = Add();
    a->SetRect({col1, row1, col2, row2});
    return a;
}

TCellArea* TBaseCellAreas::AddRef(const uint8_t* p)
{
    return AddArea(GetWord(p + 4), GetWord(p), GetWord(p + 6), GetWord(p + 2));
}

void TBaseCellAreas::Delete(int index)
{
    Items(index);
    m_items.erase(m_items.begin() + index);
}

void TBaseCellAreas::Assign(const TBaseCellAreas& other)
{
    if (&other == this) return;
    Clear();
    for (const auto& a : other.m_items) Add()->Assign(*a);
}

bool TBaseCellAreas::IntersectsArea(int col1, int row1, int col2, int row2) const
{
    TRect x{col1, row1, col2, row2}, i;
    for (const auto& a : m_items)
        if (Intersect(a->Rect(), x, i)) return true;
    return false;
}

// ---- free areas

bool TCellAreas::merge(const TRect& d)
{
    for (const auto& item : m_items) {
        TRect a = item->Rect();
        if (a.Col1 <= d.Col1 && a.Col2 >= d.Col2 && a.Row1 <= d.Row1 && a.Row2 >= d.Row2) return true;
        if (a.Col1 == d.Col1 && a.Col2 == d.Col2) {
            if (d.Row2 >= a.Row1 - 1 && d.Row2 <= a.Row2) {
                a.Row1 = d.Row1;
                item->SetRect(a);
                return true;
            }
            if (d.Row1 >= a.Row1 && d.Row1 <= a.Row2 + 1) {
                a.Row2 = d.Row2;
                item->SetRect(a);
                return true;
            }
        }
        if (a.Row1 == d.Row1 && a.Row2 == d.Row2) {
            if (d.Col2 >= a.Col1 - 1 && d.Col2 <= a.Col2) {
                a.Col1 = d.Col1;
                item->SetRect(a);
                return true;
            }
            if (d.Col1 >= a.Col1 && d.Col1 <= a.Col2 + 1) {
                a.Col2 = d.Col2;
                item->SetRect(a);
                return true;
            }
        }
    }
    return false;
}

void TCellAreas::DeleteArea(int col1, int row1, int col2, int row2)
{
    const TRect x{col1, row1, col2, row2};
    int n = Count(), i = 0;
    while (n-- > 0) {
        TRect inter;
        const TRect a = m_items[size_t(i)]->Rect();
        if (!Intersect(a, x, inter)) {
            ++i;
            continue;
        }
        m_items.erase(m_items.begin() + i);
        for (const TRect& piece : Subtract(a, inter)) Add()->SetRect(piece);
    }
}

void TCellAreas::CropAreas(int col1, int row1, int col2, int row2)
{
    const TRect x{col1, row1, col2, row2};
    for (int i = Count() - 1; i >= 0; --i) {
        TRect inter;
        if (Intersect(m_items[size_t(i)]->Rect(), x, inter)) m_items[size_t(i)]->SetRect(inter);
        else m_items.erase(m_items.begin() + i);
    }
}

void TCellAreas::OffsetAreas(int dCol, int dRow)
{
    for (int i = Count() - 1; i >= 0; --i) {
        TRect a = m_items[size_t(i)]->Rect();
        a = {a.Col1 + dCol, a.Row1 + dRow, a.Col2 + dCol, a.Row2 + dRow};
        if (ClipToSheet(a)) m_items[size_t(i)]->SetRect(a);
        else m_items.erase(m_items.begin() + i);
    }
}

void TCellAreas::copyOrMove(const TRect& x, int dCol, int dRow, bool move)
{
    // the areas as they were: what is added or cut below is not examined again
    std::vector<const TCellArea*> sources;
    for (const auto& a : m_items) sources.push_back(a.get());
    std::vector<TRect> destinations;
    for (const TCellArea* src : sources) {
        TRect inter;
        const TRect a = src->Rect();
        if (!Intersect(a, x, inter)) continue;
        if (move) {
            for (size_t i = 0; i < m_items.size(); ++i) {
                if (m_items[i].get() == src) {
                    m_items.erase(m_items.begin() + ptrdiff_t(i));
                    break;
                }
            }
            for (const TRect& piece : Subtract(a, inter)) Add()->SetRect(piece);
        }
        TRect d{inter.Col1 + dCol, inter.Row1 + dRow, inter.Col2 + dCol, inter.Row2 + dRow};
        if (ClipToSheet(d)) destinations.push_back(d);
    }
    for (const TRect& d : destinations) {
        if (merge(d)) continue;
        DeleteArea(d.Col1, d.Row1, d.Col2, d.Row2);
        Add()->SetRect(d);
    }
}

void TCellAreas::CopyAreas(int col1, int row1, int col2, int row2, int dCol, int dRow)
{
    copyOrMove({col1, row1, col2, row2}, dCol, dRow, false);
}

void TCellAreas::MoveAreas(int col1, int row1, int col2, int row2, int dCol, int dRow)
{
    copyOrMove({col1, row1, col2, row2}, dCol, dRow, true);
}

// ---- solid areas

static EXLSError partOfMergedCell() { return EXLSError(QStringLiteral("Can not change part of a merged cell")); }

void TSolidCellAreas::DeleteArea(int col1, int row1, int col2, int row2)
{
    const TRect x{col1, row1, col2, row2};
    // checked first, so that a failure leaves every area as it was
    for (const auto& item : m_items) {
        TRect inter;
        if (Intersect(item->Rect(), x, inter) && Subtract(item->Rect(), inter).size() > 1) throw partOfMergedCell();
    }
    for (int i = Count() - 1; i >= 0; --i) {
        TRect inter;
        const TRect a = m_items[size_t(i)]->Rect();
        if (!Intersect(a, x, inter)) continue;
        const QList<TRect> pieces = Subtract(a, inter);
        if (pieces.isEmpty()) m_items.erase(m_items.begin() + i);
        else m_items[size_t(i)]->SetRect(pieces.first());
    }
}

void TSolidCellAreas::MoveAreas(int col1, int row1, int col2, int row2, int dCol, int dRow)
{
    const int corners[4][2] = {{col1, row1}, {col2, row1}, {col1, row2}, {col2, row2}};
    for (const auto& item : m_items) {
        const TRect a = item->Rect();
        for (const auto& c : corners)
            if (c[0] > a.Col1 && c[0] < a.Col2 && c[1] > a.Row1 && c[1] < a.Row2) throw partOfMergedCell();
    }
    for (int i = Count() - 1; i >= 0; --i) {
        TRect a = m_items[size_t(i)]->Rect();
        auto within = [](int v, int lo, int hi) { return v >= lo && v <= hi; };
        if (within(a.Col1, col1, col2)) a.Col1 += dCol;
        if (within(a.Col2, col1, col2)) a.Col2 += dCol;
        if (within(a.Row1, row1, row2)) a.Row1 += dRow;
        if (within(a.Row2, row1, row2)) a.Row2 += dRow;
        if (a.Col2 < a.Col1 || a.Row2 < a.Row1 || !ClipToSheet(a)) m_items.erase(m_items.begin() + i);
        else m_items[size_t(i)]->SetRect(a);
    }
}

}
