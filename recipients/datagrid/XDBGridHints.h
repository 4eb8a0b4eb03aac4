#pragma once
// Hints of the data grid: the hint window that shows a hint text with its own font, alignment and
// wrapping (tool tips of cut-off cell texts use the cell's font and alignment), and what the grid
// answers when asked for the hint at a point.
#include "platform/db/DataSet.h"
#include "platform/grid/Toolkit.h"
#include <QFont>
#include <QRect>
#include <QTimer>
#include <QWidget>
#include <optional>

namespace xdb {

enum TXHintOption {
    hoTitleHints = 1, hoShowTitleHints = 2, hoEditorHints = 4, hoShowEditorHints = 8, hoShowToolTips = 16,
    hoKeepShowToolTips = 32, hoAlwaysShowToolTips = 64, hoDataHints = 128, hoShowDataHints = 256,
};
using TXHintOptions = int;
constexpr TXHintOptions kDefaultHintOptions = hoTitleHints | hoShowTitleHints | hoEditorHints | hoShowToolTips;

// The hint pauses of the application (milliseconds).
constexpr int kHintPause = 500;
constexpr int kHintShortPause = 50;
constexpr int kHintHidePause = 2500;

// What a hint window needs to lay out one hint.
struct TXHintData {
    std::optional<QFont> font;
    db::TAlignment alignment = db::taLeftJustify;
    bool wordWrap = false;
    bool rightToLeft = false;
};

class TXHintWindow : public QWidget {
    Q_OBJECT
public:
    explicit TXHintWindow(QWidget* parent = nullptr);

    // Size of the window for a hint (at 0, 0); `data` may be null (left aligned, no wrap).
    QRect CalcHintRect(int maxWidth, const QString& hint, const TXHintData* data);
    // Shows the hint in `rect` (screen coordinates); hides it after `hideTimeout` ms (<= 0: never).
    void ActivateHint(const QRect& rect, const QString& hint, const TXHintData* data, int hideTimeout);
    void ReleaseHandle();
    QString HintText() const { return m_text; }
    db::TAlignment Alignment() const { return m_alignment; }
    bool WordWrap() const { return m_wordWrap; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    // Blanks replaced by line breaks so that no line is wider than `width` (a word that is wider
    // stays on its own line).
    QString Wrapped(const QString& text, int width, const QFontMetrics& fm) const;
    int TextFlags() const;

    QString m_text;
    db::TAlignment m_alignment = db::taLeftJustify;
    bool m_wordWrap = false;
    QTimer m_hideTimer;
};

} // namespace xdb
