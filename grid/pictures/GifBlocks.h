#pragma once
// The block structure of a GIF file: where each image (frame) starts and the rectangle its image
// descriptor gives. The walk follows the block lengths, so byte patterns inside comments, other
// extensions or image data are never taken for frames. Widget-free.
#include <QByteArray>
#include <QRect>
#include <vector>

namespace pictures {

struct TGifFrame {
    int offset = 0;   // of the frame's first block (its graphic control extension when it has one)
    QRect rect;       // left, top, width, height from the image descriptor
};

// True when the bytes begin with "GIF8" and hold at least 5 bytes.
bool IsGifData(const QByteArray& bytes);
// The frames of a GIF in file order; the walk stops at the trailer or at the first block that runs
// past the end (frames found before it are kept). Empty for anything that is not a GIF.
std::vector<TGifFrame> GifFrames(const QByteArray& bytes);

} // namespace pictures
