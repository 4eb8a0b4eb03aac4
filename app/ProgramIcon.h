#pragma once
// The program's icon: one picture file per size, read when a pixmap or the list of sizes is
// first asked for rather than when the icon is made. On platforms that never show it (the
// offscreen one) it is never read; on others the window system asks for it when the first
// window is made.
#include <QIcon>
#include <QList>
#include <QString>

namespace app {

// Pattern holds %1 for the size ("…/quillory-%1.png"); the files are PNG pictures of those sizes.
QIcon LazyPngIcon(const QString& pattern, const QList<int>& sizes);

} // namespace app
