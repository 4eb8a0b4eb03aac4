#pragma once
// Markers: images in the gutter tied to lines. An application adds them; the memo moves them
// with its lines and draws them.
#include "platform/graphics/Graphics.h"
#include "platform/grid/Toolkit.h"

#include <QString>
#include <memory>
#include <vector>

class TZedMemoModel;

class TZedMarker {
public:
    QString Text;
    int ImageIndex = 0;
    int LineNumber = 0;
    QString DisplayName() const { return Text; }
};

class TZedMarkers {
public:
    TZedMarker* Add();
    void Delete(int i);
    void Clear() { m_items.clear(); }
    int Count() const { return int(m_items.size()); }
    TZedMarker* Items(int i) const { return m_items[size_t(i)].get(); }

    bool HasMarkers() const { return !m_items.empty(); }
    bool MarkerOnLine(int line) const { return MarkerOfLine(line) != nullptr; }
    bool MarkerBelowLine(int line) const;
    // The image index of the line's (first) marker; -1 when none.
    int ImageIndexOfLine(int line) const;
    TZedMarker* MarkerOfLine(int line) const;
    // Every marker on the line or below it moves one line down (up).
    void MoveDown(int line);
    void MoveUp(int line);
    // Removes the first marker of the line; false when there is none.
    bool RemoveFromLine(int line);

private:
    std::vector<std::unique_ptr<TZedMarker>> m_items;
};

class TZedMarkerList {
public:
    explicit TZedMarkerList(TZedMemoModel* memo) : m_memo(memo) {}
    ~TZedMarkerList();
    TZedMemoModel* Memo() const { return m_memo; }
    TZedMarkers& Markers() { return m_markers; }
    const TZedMarkers& Markers() const { return m_markers; }

    tk::TImageList* MarkerImageList() const { return m_images; }
    void SetMarkerImageList(tk::TImageList* images);
    int DefaultMarkerImageIndex = -1;
    bool UseDefaultMarkerImageIndex = false;
    // The colour drawn transparent in marker images (white when none was set).
    gfx::TColor ImageTransparentColor() const { return m_transparent == gfx::clNone ? gfx::clWhite : m_transparent; }
    void SetImageTransparentColor(gfx::TColor c) { m_transparent = c; }
    // The image index the gutter draws for a line; -1 when the line has no marker.
    int DrawIndexOfLine(int line) const;

private:
    TZedMemoModel* m_memo;
    TZedMarkers m_markers;
    tk::TImageList* m_images = nullptr;
    gfx::TColor m_transparent = gfx::clNone;
};
