#pragma once
// Windows metafiles (WMF) turned into SVG through libwmf, so that Qt's SVG renderer draws them.
#include <QByteArray>
#include <QSize>

namespace pictures {

// True for a placeable metafile (key D7 CD C6 9A) or a plain one (type 1 or 2, header size 9).
bool IsWmfData(const QByteArray& bytes);
// The SVG document of the metafile and its size in pixels at 96 dpi; empty when libwmf cannot
// read it.
QByteArray WmfToSvg(const QByteArray& bytes, QSize& size);

} // namespace pictures
