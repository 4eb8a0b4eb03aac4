#pragma once
// The reporter dialogs' own look: a frameless window whose frame, caption gradient and shadowed
// caption text the dialog paints itself, moved and sized through the window system; and the
// pictures of the dialog (the list icons and the monitor). GUI thread only.
#include <QColor>
#include <QObject>
#include <QPixmap>
#include <QRect>
#include <utility>
#include <vector>

class QDialog;

namespace excreport {

// The caption's gradient: (caption height div 5) bands, each of the previous colour times 0.96
// (halves to even, at most 255), filled over the rectangle that shrinks by 2 pixels at top and
// bottom after every band. Starts from 130,154,194 when active, 151,151,151 when not.
std::vector<std::pair<QRect, QColor>> CaptionBands(const QRect& caption, bool active);

// The list icons, 16 x 16: 0 "DLL", 1 "BPL", 2 "VCL", 3 "PAS".
enum : int { siDll = 0, siBpl = 1, siVcl = 2, siPas = 3 };
QPixmap SivrelListIcon(int index);
// The "MONITOR" picture, 32 x 32; pixels of its bottom-left pixel's colour are transparent.
QPixmap SivrelMonitorPicture();
// The monitor picture drawn with its bottom-left colour left out.
QPixmap SivrelMaskedMonitor();

// Installed on a dialog before it is shown. With the custom look the dialog loses the window
// manager's decorations and gets this frame instead; its contents margins make room for it.
class TSivrelDialogLook : public QObject {
public:
    TSivrelDialogLook(QDialog* dialog, bool custom);
    bool Custom() const { return m_custom; }
    int FrameWidth() const { return m_custom ? 4 : 0; }
    int CaptionHeight() const { return m_captionHeight; }
    // A sizable window can be sized at its frame and maximised by a double click on the caption.
    void SetSizable(bool sizable) { m_sizable = sizable; }
    QRect CaptionRect() const;
    // Paints frame, caption gradient and caption text (done on every paint of the dialog).
    void PaintFrame(bool active);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    Qt::Edges EdgesAt(const QPoint& pos) const;

    QDialog* m_dialog;
    bool m_custom;
    bool m_sizable = false;
    int m_captionHeight = 0;
};

} // namespace excreport
