// The sort-order text that sets the title markers, and grids linked by MasterGrid that keep their
// column layout in step.
#include "recipients/datagrid/XDBGrid.h"
#include "recipients/datagrid/XDBGridOrder.h"

#include <algorithm>
#include <limits>

namespace xdb {

// ------------------------------------------------------------------ OrderFields

void TXCustomDBGrid::SetOrderFields(const QString& value)
{
    if (m_columns->State() == csDefault && !(m_dataLink->DataSet() && m_dataLink->DataSet()->Active())) {
        m_orderFieldsStored = value;
        return;
    }
    MarkerLock();
    struct Unlock {
        TXCustomDBGrid* g;
        ~Unlock() { g->MarkerUnlock(); }
    } unlock{this};
    const bool markerOptions = m_options & (dgMarkerAutoSwitch | dgMarkerAutoToggle);
    const bool loading = Loading() && markerOptions;
    if (!loading)
        m_columns->ClearMarkers();
    const auto items = ParseOrderFields(value, m_options & dgMarkerAutoSwitch);
    int position = 0;
    for (const TXOrderItem& item : items) {
        TXColumn* column = nullptr;
        for (int i = 0; i < m_columns->Count() && !column; ++i)
            if (m_columns->Items(i)->FieldName().compare(item.fieldName, Qt::CaseInsensitive) == 0)
                column = m_columns->Items(i);
        if (!column)
            continue;
        const auto& list = m_columns->SortList();
        if (std::find(list.begin(), list.end(), column) == list.end() && list.size() < 9)
            column->Title()->SetMarkerIndex(int(list.size()) * 2 + 2 + (item.descending ? 1 : 0));
        ++position;
    }
    (void)position;
    m_orderFieldsStored = OrderFields();
}

// ------------------------------------------------------------------ MasterGrid

TXCustomDBGrid* TXCustomDBGrid::RingRoot()
{
    TXCustomDBGrid* g = this;
    while (g->m_masterGrid && g->m_masterGrid != this)
        g = g->m_masterGrid;
    return g;
}

void TXCustomDBGrid::RingMembers(std::vector<TXCustomDBGrid*>& out)
{
    out.push_back(this);
    for (const QPointer<TXCustomDBGrid>& s : m_slaves)
        if (s)
            s->RingMembers(out);
}

TXCustomDBGrid* TXCustomDBGrid::FollowerGrid()
{
    std::vector<TXCustomDBGrid*> ring;
    RingRoot()->RingMembers(ring);
    if (ring.size() < 2)
        return nullptr;
    const auto it = std::find(ring.begin(), ring.end(), this);
    return it + 1 == ring.end() ? ring.front() : *(it + 1);
}

void TXCustomDBGrid::LeaveRing()
{
    if (m_masterGrid) {
        auto& slaves = m_masterGrid->m_slaves;
        slaves.erase(std::remove(slaves.begin(), slaves.end(), QPointer<TXCustomDBGrid>(this)), slaves.end());
    }
    m_masterGrid = nullptr;
}

void TXCustomDBGrid::SetMasterGrid(TXCustomDBGrid* value)
{
    if (value == this)
        value = nullptr;            // a grid cannot follow itself
    if (value == m_masterGrid)
        return;
    if (value) {
        for (TXCustomDBGrid* g = value; g; g = g->m_masterGrid) {
            if (g == this) {
                if (value->Loading())
                    return;
                throw EInvalidGridOperation(QStringLiteral("Circular datalinks are not allowed"));
            }
        }
    }
    LeaveRing();
    if (!value)
        return;
    SetStretchMode(false);
    m_masterGrid = value;
    value->m_slaves.push_back(this);
    // A grid that gets a follower while its columns are default gets persistent ones.
    if (value->m_columns->State() == csDefault && value->m_dataLink->Active())
        value->m_columns->SetState(csCustomized);
    value->CopyLayoutToFollower();
}

void TXCustomDBGrid::CopyLayoutToFollower()
{
    if (m_copyingLayout)
        return;
    std::vector<TXCustomDBGrid*> ring;
    RingRoot()->RingMembers(ring);
    if (ring.size() < 2)
        return;
    for (TXCustomDBGrid* g : ring)
        g->m_copyingLayout = true;
    struct Release {
        std::vector<TXCustomDBGrid*>& ring;
        ~Release()
        {
            for (TXCustomDBGrid* g : ring)
                g->m_copyingLayout = false;
        }
    } release{ring};
    for (TXCustomDBGrid* target : ring) {
        if (target == this)
            continue;
        TXDBGridColumns* src = m_columns.get();
        TXDBGridColumns* dst = target->m_columns.get();
        dst->BeginUpdate();
        for (int i = 0; i < std::min(src->Count(), dst->Count()); ++i) {
            TXColumn* s = src->Items(i);
            TXColumn* d = dst->Items(i);
            if (s->HasSubColumns() && d->HasSubColumns())
                d->SetExpanded(s->Expanded());
            d->SetVisible(s->Visible());
            d->SetWidth(s->IsWidthStored() ? s->Width() : s->DefaultWidth());
        }
        dst->EndUpdate();
        target->SetIndicatorWidth(m_indicatorWidth);
        target->SetFixedCols(m_fixedCols);
        target->setLayoutDirection(layoutDirection());
        target->SetLeftCol(std::min(LeftCol(), std::max(target->tk::TCustomGrid::FixedCols(), target->ColCount() - 1)));
    }
}

// ------------------------------------------------------------------ numbered scrolling

void TXCustomDBGrid::ResetSequence()
{
    if (!Numbered() || m_inResetSequence)
        return;
    db::TDataSet* ds = m_dataLink->DataSet();
    ds->CheckBrowseMode();
    m_inResetSequence = true;
    struct Done {
        TXCustomDBGrid* g;
        ~Done() { g->m_inResetSequence = false; }
    } done{this};
    if (ds->IsEmpty()) {
        m_seqCount = m_seqPos = m_seqRow = 0;
        return;
    }
    // Counted by walking to both ends; the remembered record goes back on its screen row.
    BeginUpdate();
    {
        struct End {
            TXCustomDBGrid* g;
            ~End() { g->EndUpdate(false); }
        } end{this};
        const int back = ds->MoveBy(-(std::numeric_limits<int>::max() - 1));
        m_seqPos = 1 - back;
        const int forward = ds->MoveBy(std::numeric_limits<int>::max() - 1);
        m_seqCount = forward + 1;
    }
    m_seqRow = m_dataLink->ActiveRecord();
}

} // namespace xdb
