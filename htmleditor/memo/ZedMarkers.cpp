#include "htmleditor/memo/ZedMarkers.h"

#include <algorithm>

TZedMarker* TZedMarkers::Add()
{
    m_items.push_back(std::make_unique<TZedMarker>());
    return m_items.back().get();
}

void TZedMarkers::Delete(int i)
{
    if (i >= 0 && i < Count())
        m_items.erase(m_items.begin() + i);
}

bool TZedMarkers::MarkerBelowLine(int line) const
{
    return std::any_of(m_items.begin(), m_items.end(), [line](const auto& m) { return m->LineNumber > line; });
}

int TZedMarkers::ImageIndexOfLine(int line) const
{
    const TZedMarker* m = MarkerOfLine(line);
    return m ? m->ImageIndex : -1;
}

TZedMarker* TZedMarkers::MarkerOfLine(int line) const
{
    for (const auto& m : m_items)
        if (m->LineNumber == line)
            return m.get();
    return nullptr;
}

void TZedMarkers::MoveDown(int line)
{
    for (const auto& m : m_items)
        if (m->LineNumber >= line)
            ++m->LineNumber;
}

void TZedMarkers::MoveUp(int line)
{
    for (const auto& m : m_items)
        if (m->LineNumber >= line)
            --m->LineNumber;
}

bool TZedMarkers::RemoveFromLine(int line)
{
    for (size_t i = 0; i < m_items.size(); ++i)
        if (m_items[i]->LineNumber == line) {
            m_items.erase(m_items.begin() + std::ptrdiff_t(i));
            return true;
        }
    return false;
}

TZedMarkerList::~TZedMarkerList()
{
    if (m_images)
        m_images->RemoveFreeNotification(this);
}

void TZedMarkerList::SetMarkerImageList(tk::TImageList* images)
{
    if (m_images == images)
        return;
    if (m_images)
        m_images->RemoveFreeNotification(this);
    m_images = images;
    if (m_images)
        m_images->FreeNotification(this, [this](tk::TFreeNotifier*) { m_images = nullptr; });
}

int TZedMarkerList::DrawIndexOfLine(int line) const
{
    if (!m_markers.MarkerOnLine(line))
        return -1;
    return UseDefaultMarkerImageIndex ? DefaultMarkerImageIndex : m_markers.ImageIndexOfLine(line);
}
