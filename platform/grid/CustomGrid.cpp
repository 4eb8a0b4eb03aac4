#include "platform/grid/CustomGrid.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPaintEvent>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QStyleHints>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>
#include <QWheelEvent>
#include <algorithm>

namespace tk {

namespace {

// A scroll bar that repaints on a new value only when its look changes. On a long grid a step of
// one row rarely moves the thumb by a pixel, and repainting the bar costs more than the row.
class TGridScrollBar : public QScrollBar {
public:
    using QScrollBar::QScrollBar;

protected:
    void sliderChange(SliderChange change) override
    {
        if (change == SliderValueChange && m_painted && look() == m_paintedLook)
            return;
        QScrollBar::sliderChange(change);
    }
    void paintEvent(QPaintEvent* event) override
    {
        m_paintedLook = look();
        m_painted = true;
        QScrollBar::paintEvent(event);
    }

private:
    struct Look {
        QRect thumb;
        bool atMinimum = false;
        bool atMaximum = false;
        bool operator==(const Look&) const = default;
    };
    Look look() const
    {
        QStyleOptionSlider option;
        initStyleOption(&option);
        return Look{style()->subControlRect(QStyle::CC_ScrollBar, &option, QStyle::SC_ScrollBarSlider, this),
                    value() == minimum(), value() == maximum()};
    }
    Look m_paintedLook;
    bool m_painted = false;
};

} // namespace

// ================================================================== TInplaceEditor

bool TInplaceEditor::ForwardKeyToGrid(QKeyEvent* event, bool& refused)
{
    refused = false;
    const int key = event->key();
    const TShiftState shift = ShiftStateOf(event->modifiers());
    switch (key) {
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
    case Qt::Key_Escape:
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_F2:
        m_grid->EditorKeyDown(key, shift);
        return true;
    case Qt::Key_Delete:
        if (shift & ssCtrl) {
            m_grid->EditorKeyDown(key, shift);
            return true;
        }
        break;
    default:
        break;
    }
    // A key that changes the text first asks the grid whether the cell may change (which may start
    // editing the record).
    const bool changes = (!event->text().isEmpty() && event->text().at(0).isPrint()) || key == Qt::Key_Backspace ||
                         key == Qt::Key_Delete || event->matches(QKeySequence::Paste) ||
                         event->matches(QKeySequence::Cut);
    if (changes) {
        if ((!event->text().isEmpty() && !m_grid->CanEditAcceptKey(event->text().at(0))) || !m_grid->CanEditModify())
            refused = true;
    }
    return false;
}

// ================================================================== TInplaceEdit

TInplaceEdit::TInplaceEdit(TCustomGrid* grid)
    : QLineEdit(grid->viewport()), TInplaceEditor(grid)
{
    setObjectName(QStringLiteral("InplaceEdit"));
    setFrame(false);
    hide();
    connect(this, &QLineEdit::textEdited, this, [this](const QString& text) {
        Grid()->SetEditText(Grid()->Col(), Grid()->Row(), text);
    });
}

void TInplaceEdit::UpdateContents()
{
    const int limit = Grid()->GetEditLimit();
    setMaxLength(limit > 0 ? limit : 32767);
    const QString text = Grid()->GetEditText(Grid()->Col(), Grid()->Row());
    if (text != this->text())
        setText(text);
}

void TInplaceEdit::Move(const QRect& rect)
{
    setGeometry(rect);
    show();
}

QPoint TInplaceEdit::PosFromChar(int pos) const
{
    // Measured back from the caret, which knows the horizontal scrolling.
    const QString shown = displayText();
    const int caret = cursorPosition();
    const QRect c = cursorRect();
    const int x = pos <= caret ? c.left() - fontMetrics().horizontalAdvance(shown.mid(pos, caret - pos))
                               : c.left() + fontMetrics().horizontalAdvance(shown.mid(caret, pos - caret));
    return QPoint(x, c.top());
}

void TInplaceEdit::keyPressEvent(QKeyEvent* event)
{
    bool refused = false;
    if (ForwardKeyToGrid(event, refused) || refused)
        return;
    QLineEdit::keyPressEvent(event);
}

// ================================================================== TInplaceMemo

TInplaceMemo::TInplaceMemo(TCustomGrid* grid)
    : QPlainTextEdit(grid->viewport()), TInplaceEditor(grid)
{
    setObjectName(QStringLiteral("InplaceEdit"));
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setTabChangesFocus(false);
    document()->setDocumentMargin(0);
    hide();
    connect(this, &QPlainTextEdit::textChanged, this, [this] {
        if (m_settingText)
            return;
        Grid()->SetEditText(Grid()->Col(), Grid()->Row(), Text());
    });
}

void TInplaceMemo::UpdateContents()
{
    const int limit = Grid()->GetEditLimit();
    m_maxLength = limit > 0 ? limit : 0;
    // Compared in the editor's own form: a cell with bare LF or CR breaks reads the same text.
    QString text = Grid()->GetEditText(Grid()->Col(), Grid()->Row());
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    if (text != EditorText())
        SetText(text);
}

void TInplaceMemo::Move(const QRect& rect)
{
    setGeometry(rect);
    show();
}

QString TInplaceMemo::EditorText() const
{
    QString t = document()->toRawText();
    for (QChar& c : t)
        if (c == QChar::ParagraphSeparator || c == QChar::LineSeparator)
            c = QLatin1Char('\n');
    return t;
}

QString TInplaceMemo::Text() const
{
    QString t = EditorText();
    t.replace(QLatin1Char('\n'), QLatin1String("\r\n"));
    return t;
}

void TInplaceMemo::SetText(const QString& value)
{
    QString t = value;
    t.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    t.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    m_settingText = true;
    setPlainText(t);
    m_settingText = false;
    moveCursor(QTextCursor::End);
}

int TInplaceMemo::ToGridPos(int editorPos) const
{
    const QString t = EditorText();
    return editorPos + int(t.left(editorPos).count(QLatin1Char('\n')));
}

int TInplaceMemo::ToEditorPos(int gridPos) const
{
    const QString t = Text();
    int p = 0;
    for (int i = 0; i < gridPos && i < t.size(); ++i) {
        if (t.at(i) == QLatin1Char('\r') && i + 1 < t.size() && t.at(i + 1) == QLatin1Char('\n'))
            continue;
        ++p;
    }
    return p;
}

void TInplaceMemo::SetCaretPos(int pos)
{
    QTextCursor c = textCursor();
    c.setPosition(ToEditorPos(std::max(0, pos)));
    setTextCursor(c);
}

int TInplaceMemo::SelLength() const
{
    const QTextCursor c = textCursor();
    return ToGridPos(c.selectionEnd()) - ToGridPos(c.selectionStart());
}

void TInplaceMemo::SetSelection(int start, int length)
{
    QTextCursor c = textCursor();
    c.setPosition(ToEditorPos(std::max(0, start)));
    c.setPosition(ToEditorPos(std::max(0, start + length)), QTextCursor::KeepAnchor);
    setTextCursor(c);
}

void TInplaceMemo::InsertText(const QString& value)
{
    QString t = value;
    t.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    t.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    textCursor().insertText(t);
}

namespace {
// The line of the block's layout that holds the cursor (0 when the block is not laid out).
int layoutLine(const QTextCursor& c, int& lines)
{
    const QTextLayout* layout = c.block().layout();
    lines = layout ? layout->lineCount() : 0;
    if (!layout || lines == 0)
        return 0;
    const QTextLine line = layout->lineForTextPosition(c.positionInBlock());
    return line.isValid() ? line.lineNumber() : 0;
}
} // namespace

bool TInplaceMemo::CaretOnFirstLine() const
{
    const QTextCursor c = textCursor();
    int lines = 0;
    return !c.block().previous().isValid() && layoutLine(c, lines) == 0;
}

bool TInplaceMemo::CaretOnLastLine() const
{
    const QTextCursor c = textCursor();
    int lines = 0;
    const int line = layoutLine(c, lines);
    return !c.block().next().isValid() && (lines == 0 || line == lines - 1);
}

QPoint TInplaceMemo::PosFromChar(int pos) const
{
    QTextCursor c(document());
    c.setPosition(ToEditorPos(pos));
    const QRect r = cursorRect(c);
    return viewport()->mapTo(this, r.topLeft());
}

void TInplaceMemo::keyPressEvent(QKeyEvent* event)
{
    bool refused = false;
    if (ForwardKeyToGrid(event, refused) || refused)
        return;
    // The grid's edit limit: a typed character beyond it is refused.
    const QString typed = event->text();
    if (m_maxLength > 0 && !typed.isEmpty() && typed.at(0).isPrint() && !HasSelection()
        && Text().size() >= m_maxLength)
        return;
    QPlainTextEdit::keyPressEvent(event);
}

// ================================================================== TCustomGrid

TCustomGrid::TCustomGrid(QWidget* parent)
    : QAbstractScrollArea(parent)
{
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setAutoFillBackground(false);
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);
    viewport()->setMouseTracking(true);
    m_colWidths.assign(5, m_defaultColWidth);
    m_tabStops.assign(5, true);
    m_rowHeights.assign(5, m_defaultRowHeight);
    setVerticalScrollBar(new TGridScrollBar(Qt::Vertical, this));
    setHorizontalScrollBar(new TGridScrollBar(Qt::Horizontal, this));
    connect(verticalScrollBar(), &QAbstractSlider::actionTriggered, this,
            [this](int action) { ScrollBarAction(Qt::Vertical, action); });
    connect(horizontalScrollBar(), &QAbstractSlider::actionTriggered, this,
            [this](int action) { ScrollBarAction(Qt::Horizontal, action); });
    connect(verticalScrollBar(), &QAbstractSlider::valueChanged, this, [this](int v) {
        if (!m_updatingBars)
            ScrollBarChanged(Qt::Vertical, v);
    });
    connect(horizontalScrollBar(), &QAbstractSlider::valueChanged, this, [this](int v) {
        if (!m_updatingBars)
            ScrollBarChanged(Qt::Horizontal, v);
    });
    m_scrollTimer.setInterval(60);
    connect(&m_scrollTimer, &QTimer::timeout, this, [this] { DoTimedScroll(); });
}

TCustomGrid::~TCustomGrid() = default;

// ------------------------------------------------------------------ geometry

void TCustomGrid::SetColCount(int value)
{
    value = std::max(1, value);
    if (value == ColCount())
        return;
    const int oldCols = ColCount();
    m_colWidths.resize(size_t(value), m_defaultColWidth);
    m_tabStops.resize(size_t(value), true);
    if (m_fixedCols >= value)
        m_fixedCols = value - 1;
    m_leftCol = std::clamp(m_leftCol, m_fixedCols, value - 1);
    if (m_col >= value)
        m_col = value - 1;
    if (m_col < m_fixedCols)
        m_col = std::min(m_fixedCols, value - 1);
    SizeChanged(oldCols, RowCount());
    UpdateScrollBars();
    InvalidateGrid();
}

void TCustomGrid::SetRowCount(int value)
{
    value = std::max(1, value);
    if (value == RowCount())
        return;
    const int oldRows = RowCount();
    m_rowHeights.resize(size_t(value), m_defaultRowHeight);
    if (m_fixedRows >= value)
        m_fixedRows = value - 1;
    m_topRow = std::clamp(m_topRow, m_fixedRows, value - 1);
    if (m_row >= value)
        m_row = value - 1;
    if (m_row < m_fixedRows)
        m_row = std::min(m_fixedRows, value - 1);
    SizeChanged(ColCount(), oldRows);
    UpdateScrollBars();
    InvalidateGrid();
}

void TCustomGrid::SpliceRowHeights(int at, int eraseCount, const std::vector<int>& heights)
{
    const int oldRows = RowCount();
    m_rowHeights.erase(m_rowHeights.begin() + at, m_rowHeights.begin() + at + eraseCount);
    m_rowHeights.insert(m_rowHeights.begin() + at, heights.begin(), heights.end());
    const int value = RowCount();
    if (m_fixedRows >= value)
        m_fixedRows = value - 1;
    m_topRow = std::clamp(m_topRow, m_fixedRows, value - 1);
    if (m_row >= value)
        m_row = value - 1;
    if (m_row < m_fixedRows)
        m_row = std::min(m_fixedRows, value - 1);
    SizeChanged(ColCount(), oldRows);
    UpdateScrollBars();
    InvalidateGrid();
}

void TCustomGrid::SetFixedCols(int value)
{
    value = std::clamp(value, 0, ColCount() - 1);
    if (value == m_fixedCols)
        return;
    m_fixedCols = value;
    m_leftCol = std::max(m_leftCol, m_fixedCols);
    if (m_col < m_fixedCols)
        m_col = m_fixedCols;
    UpdateScrollBars();
    InvalidateGrid();
}

void TCustomGrid::SetFixedRows(int value)
{
    value = std::clamp(value, 0, RowCount() - 1);
    if (value == m_fixedRows)
        return;
    m_fixedRows = value;
    m_topRow = std::max(m_topRow, m_fixedRows);
    if (m_row < m_fixedRows)
        m_row = m_fixedRows;
    UpdateScrollBars();
    InvalidateGrid();
}

void TCustomGrid::SetDefaultColWidth(int value)
{
    m_defaultColWidth = value;
    std::fill(m_colWidths.begin(), m_colWidths.end(), value);
    ColWidthsChanged();
    InvalidateGrid();
}

void TCustomGrid::SetDefaultRowHeight(int value)
{
    value = std::max(1, value);
    if (value == m_defaultRowHeight && std::all_of(m_rowHeights.begin(), m_rowHeights.end(),
                                                    [&](int h) { return h == value; }))
        return;
    m_defaultRowHeight = value;
    std::fill(m_rowHeights.begin(), m_rowHeights.end(), value);
    RowHeightsChanged();
    InvalidateGrid();
}

int TCustomGrid::ColWidths(int col) const
{
    if (col < 0 || col >= ColCount())
        return m_defaultColWidth;
    return m_colWidths[size_t(col)];
}

void TCustomGrid::SetColWidths(int col, int width)
{
    if (col < 0 || col >= ColCount() || m_colWidths[size_t(col)] == width)
        return;
    m_colWidths[size_t(col)] = width;
    ColWidthsChanged();
    InvalidateGrid();
}

void TCustomGrid::SetTabStops(int col, bool value)
{
    if (col >= 0 && col < int(m_tabStops.size()))
        m_tabStops[size_t(col)] = value;
}

int TCustomGrid::RowHeights(int row) const
{
    if (row < 0 || row >= RowCount())
        return m_defaultRowHeight;
    return m_rowHeights[size_t(row)];
}

void TCustomGrid::SetAllRowHeights(const std::vector<int>& heights)
{
    if (heights.size() != m_rowHeights.size() || heights == m_rowHeights)
        return;
    m_rowHeights = heights;
    RowHeightsChanged();
    InvalidateGrid();
}

void TCustomGrid::SetRowHeights(int row, int height)
{
    if (row < 0 || row >= RowCount() || m_rowHeights[size_t(row)] == height)
        return;
    m_rowHeights[size_t(row)] = height;
    RowHeightsChanged();
    InvalidateGrid();
}

void TCustomGrid::SetGridLineWidth(int value)
{
    value = std::max(0, value);
    if (value == m_gridLineWidth)
        return;
    m_gridLineWidth = value;
    UpdateScrollBars();
    InvalidateGrid();
}

int TCustomGrid::ColLineWidth(bool fixed) const
{
    return (m_options & (fixed ? goFixedVertLine : goVertLine)) ? m_gridLineWidth : 0;
}

int TCustomGrid::RowLineWidth(bool fixed) const
{
    return (m_options & (fixed ? goFixedHorzLine : goHorzLine)) ? m_gridLineWidth : 0;
}

int TCustomGrid::ColX(int col) const
{
    int x = 0;
    for (int c = 0; c < m_fixedCols; ++c) {
        if (c == col)
            return x;
        x += ColWidths(c) + ColLineWidth(true);
    }
    if (col < m_leftCol)
        return -1;
    for (int c = m_leftCol; c < ColCount(); ++c) {
        if (c == col)
            return x;
        x += ColWidths(c) + ColLineWidth(false);
        if (x > viewport()->width())
            return -1;
    }
    return -1;
}

int TCustomGrid::RowY(int row) const
{
    int y = 0;
    for (int r = 0; r < m_fixedRows; ++r) {
        if (r == row)
            return y;
        y += RowHeights(r) + RowLineWidth(true);
    }
    if (row < m_topRow)
        return -1;
    for (int r = m_topRow; r < RowCount(); ++r) {
        if (r == row)
            return y;
        y += RowHeights(r) + RowLineWidth(false);
        if (y > viewport()->height())
            return -1;
    }
    return -1;
}

int TCustomGrid::LogicalX(int x) const { return RightToLeft() ? viewport()->width() - 1 - x : x; }

QRect TCustomGrid::VisualRect(const QRect& logical) const
{
    if (!RightToLeft() || logical.isNull())
        return logical;
    return QRect(viewport()->width() - logical.left() - logical.width(), logical.top(), logical.width(),
                 logical.height());
}

QRect TCustomGrid::CellRect(int col, int row) const
{
    if (col < 0 || row < 0 || col >= ColCount() || row >= RowCount())
        return QRect();
    const int x = ColX(col);
    const int y = RowY(row);
    if (x < 0 || y < 0)
        return QRect();
    return VisualRect(QRect(x, y, ColWidths(col), RowHeights(row)));
}

TGridCoord TCustomGrid::MouseCoord(int x, int y) const
{
    x = LogicalX(x);
    TGridCoord c;
    int pos = 0;
    for (int col = 0; col < ColCount() && c.X < 0; ++col) {
        if (col >= m_fixedCols && col < m_leftCol)
            continue;
        const int w = ColWidths(col) + ColLineWidth(col < m_fixedCols);
        if (x >= pos && x < pos + w)
            c.X = col;
        pos += w;
        if (pos > viewport()->width())
            break;
    }
    pos = 0;
    for (int row = 0; row < RowCount() && c.Y < 0; ++row) {
        if (row >= m_fixedRows && row < m_topRow)
            continue;
        const int h = RowHeights(row) + RowLineWidth(row < m_fixedRows);
        if (y >= pos && y < pos + h)
            c.Y = row;
        pos += h;
        if (pos > viewport()->height())
            break;
    }
    if (c.X < 0 || c.Y < 0)
        return TGridCoord{c.X, c.Y};
    return c;
}

int TCustomGrid::GridWidth() const
{
    int x = 0;
    for (int c = 0; c < m_fixedCols; ++c)
        x += ColWidths(c) + ColLineWidth(true);
    for (int c = m_leftCol; c < ColCount() && x <= viewport()->width(); ++c)
        x += ColWidths(c) + ColLineWidth(false);
    return std::min(x, viewport()->width());
}

int TCustomGrid::GridHeight() const
{
    int y = 0;
    for (int r = 0; r < m_fixedRows; ++r)
        y += RowHeights(r) + RowLineWidth(true);
    for (int r = m_topRow; r < RowCount() && y <= viewport()->height(); ++r)
        y += RowHeights(r) + RowLineWidth(false);
    return std::min(y, viewport()->height());
}

int TCustomGrid::VisibleColCount() const
{
    int x = 0;
    for (int c = 0; c < m_fixedCols; ++c)
        x += ColWidths(c) + ColLineWidth(true);
    int n = 0;
    for (int c = m_leftCol; c < ColCount(); ++c) {
        x += ColWidths(c);
        if (x > viewport()->width())
            break;
        x += ColLineWidth(false);
        ++n;
    }
    return std::max(1, n);
}

int TCustomGrid::VisibleRowCount() const
{
    int y = 0;
    for (int r = 0; r < m_fixedRows; ++r)
        y += RowHeights(r) + RowLineWidth(true);
    int n = 0;
    for (int r = m_topRow; r < RowCount(); ++r) {
        y += RowHeights(r);
        if (y > viewport()->height())
            break;
        y += RowLineWidth(false);
        ++n;
    }
    return std::max(1, n);
}

int TCustomGrid::MaxTopRow() const
{
    int avail = viewport()->height();
    for (int r = 0; r < m_fixedRows; ++r)
        avail -= RowHeights(r) + RowLineWidth(true);
    int row = RowCount() - 1;
    int used = 0;
    while (row >= m_fixedRows) {
        used += RowHeights(row) + RowLineWidth(false);
        if (used - RowLineWidth(false) > avail)
            break;
        --row;
    }
    return std::clamp(row + 1, m_fixedRows, std::max(m_fixedRows, RowCount() - 1));
}

int TCustomGrid::MaxLeftCol() const
{
    int avail = viewport()->width();
    for (int c = 0; c < m_fixedCols; ++c)
        avail -= ColWidths(c) + ColLineWidth(true);
    int col = ColCount() - 1;
    int used = 0;
    while (col >= m_fixedCols) {
        used += ColWidths(col) + ColLineWidth(false);
        if (used - ColLineWidth(false) > avail)
            break;
        --col;
    }
    return std::clamp(col + 1, m_fixedCols, std::max(m_fixedCols, ColCount() - 1));
}

void TCustomGrid::SetTopRow(int value)
{
    value = std::clamp(value, m_fixedRows, std::max(m_fixedRows, RowCount() - 1));
    if (value == m_topRow)
        return;
    const int oldTop = m_topRow;
    m_topRow = value;
    UpdateScrollBars();
    UpdateEditor();
    if (!ScrollPixels(Qt::Vertical, oldTop))
        InvalidateGrid();
    TopLeftChanged();
}

bool TCustomGrid::ScrollPixels(Qt::Orientation orientation, int oldFirst)
{
    QWidget* vp = viewport();
    if (!CanScrollPixels() || !vp->isVisible() || !vp->updatesEnabled())
        return false;
    const bool vertical = orientation == Qt::Vertical;
    // What scrolls: below the fixed rows, or right of the fixed columns.
    int fixedExtent = 0;
    for (int i = 0; i < (vertical ? m_fixedRows : m_fixedCols); ++i)
        fixedExtent += vertical ? RowHeights(i) + RowLineWidth(true) : ColWidths(i) + ColLineWidth(true);
    const QRect area = vertical ? QRect(0, fixedExtent, vp->width(), vp->height() - fixedExtent)
                                : VisualRect(QRect(fixedExtent, 0, vp->width() - fixedExtent, vp->height()));
    if (area.isEmpty())
        return false;
    // The rows or columns between the old and the new first one make the distance; a jump of a
    // page or more leaves nothing to keep.
    const int first = vertical ? m_topRow : m_leftCol;
    const int room = vertical ? area.height() : area.width();
    int distance = 0;
    for (int i = std::min(oldFirst, first); i < std::max(oldFirst, first); ++i) {
        distance += vertical ? RowHeights(i) + RowLineWidth(false) : ColWidths(i) + ColLineWidth(false);
        if (distance >= room)
            return false;
    }
    // Child widgets (editors, controls) would be dragged along with the pixels.
    for (QObject* child : vp->children()) {
        const auto* w = qobject_cast<QWidget*>(child);
        if (w && w->isVisible() && w->geometry().intersects(area))
            return false;
    }
    int delta = first > oldFirst ? -distance : distance;
    if (!vertical && RightToLeft())
        delta = -delta;   // the columns move towards the right edge
    vp->scroll(vertical ? 0 : delta, vertical ? delta : 0, area);
    return true;
}

void TCustomGrid::SetLeftCol(int value)
{
    value = std::clamp(value, m_fixedCols, std::max(m_fixedCols, ColCount() - 1));
    if (value == m_leftCol)
        return;
    const int oldLeft = m_leftCol;
    m_leftCol = value;
    UpdateScrollBars();
    UpdateEditor();
    if (!ScrollPixels(Qt::Horizontal, oldLeft))
        InvalidateGrid();
    TopLeftChanged();
}

// ------------------------------------------------------------------ focus cell

void TCustomGrid::SetCol(int value)
{
    if (value != m_col)
        MoveColRow(value, m_row, true, true);
}

void TCustomGrid::SetRow(int value)
{
    if (value != m_row)
        MoveColRow(m_col, value, true, true);
}

TGridRect TCustomGrid::Selection() const
{
    return TGridRect{std::min(m_anchorCol, m_col), std::min(m_anchorRow, m_row), std::max(m_anchorCol, m_col),
                     std::max(m_anchorRow, m_row)};
}

void TCustomGrid::SetSelection(const TGridRect& rect)
{
    m_anchorCol = rect.Left;
    m_anchorRow = rect.Top;
    m_col = rect.Right;
    m_row = rect.Bottom;
    UpdateEditor();
    InvalidateGrid();
}

void TCustomGrid::MoveColRow(int col, int row, bool moveAnchor, bool show)
{
    col = std::clamp(col, std::min(m_fixedCols, ColCount() - 1), ColCount() - 1);
    row = std::clamp(row, std::min(m_fixedRows, RowCount() - 1), RowCount() - 1);
    if (!SelectCell(col, row))
        return;
    const int oldCol = m_col;
    const int oldRow = m_row;
    m_col = col;
    m_row = row;
    if (moveAnchor) {
        m_anchorCol = col;
        m_anchorRow = row;
    }
    if (show)
        ClampInView(col, row);
    if (oldCol != col || oldRow != row) {
        if (m_options & goRowSelect) {
            InvalidateRow(oldRow);
            InvalidateRow(row);
        } else {
            InvalidateCell(oldCol, oldRow);
            InvalidateCell(col, row);
        }
        UpdateEditor();
    }
}

void TCustomGrid::ClampInView(int col, int row)
{
    if (col >= m_fixedCols) {
        if (col < m_leftCol) {
            SetLeftCol(col);
        } else {
            // make the whole column visible when it is cut at the right
            while (m_leftCol < col) {
                const int x = ColX(col);
                if (x >= 0 && x + ColWidths(col) <= viewport()->width())
                    break;
                const int before = m_leftCol;
                SetLeftCol(m_leftCol + 1);
                if (m_leftCol == before)
                    break;
            }
        }
    }
    if (row >= m_fixedRows) {
        if (row < m_topRow) {
            SetTopRow(row);
        } else if (row >= m_topRow + VisibleRowCount()) {
            SetTopRow(row - VisibleRowCount() + 1);
        }
    }
}

// ------------------------------------------------------------------ options

void TCustomGrid::SetGridOptions(TGridOptions value)
{
    if (value == m_options)
        return;
    if (value & goRowSelect)
        value &= ~goAlwaysShowEditor;
    m_options = value;
    if (!(m_options & goEditing))
        HideEditor();
    if (m_options & goAlwaysShowEditor)
        SetEditorMode(true);
    UpdateScrollBars();
    InvalidateGrid();
}

void TCustomGrid::SetScrollBars(TScrollStyle value)
{
    m_scrollBars = value;
    setHorizontalScrollBarPolicy((value == ssHorizontal || value == ssBoth) ? Qt::ScrollBarAsNeeded
                                                                             : Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy((value == ssVertical || value == ssBoth) ? Qt::ScrollBarAsNeeded
                                                                         : Qt::ScrollBarAlwaysOff);
    UpdateScrollBars();
}

void TCustomGrid::SetColor(TColor value)
{
    if (value == m_color)
        return;
    m_color = value;
    InvalidateGrid();
}

void TCustomGrid::SetGridFixedColor(TColor value)
{
    if (value == m_fixedColor)
        return;
    m_fixedColor = value;
    InvalidateGrid();
}

// ------------------------------------------------------------------ editor

TInplaceEditor* TCustomGrid::CreateEditor()
{
    return new TInplaceEdit(this);
}

bool TCustomGrid::CanEditShow() const
{
    return (m_options & goEditing) && !(m_options & goRowSelect) && (m_editorMode || (m_options & goAlwaysShowEditor)) &&
           m_col >= m_fixedCols && m_row >= m_fixedRows;
}

QString TCustomGrid::GetEditText(int col, int row)
{
    (void)col;
    (void)row;
    return QString();
}

void TCustomGrid::SetEditText(int col, int row, const QString& value)
{
    (void)col;
    (void)row;
    (void)value;
}

void TCustomGrid::SetEditorMode(bool value)
{
    if (value)
        ShowEditor();
    else if (!(m_options & goAlwaysShowEditor))
        HideEditor();
}

void TCustomGrid::ShowEditor()
{
    m_editorMode = true;
    UpdateEditor();
}

void TCustomGrid::HideEditor()
{
    m_editorMode = false;
    if (m_editor && m_editor->Visible()) {
        const bool hadFocus = m_editor->Focused();
        m_editor->Hide();
        if (hadFocus)
            setFocus();
    }
}

void TCustomGrid::InvalidateEditor()
{
    if (m_editor && m_editor->Visible())
        m_editor->UpdateContents();
}

void TCustomGrid::UpdateEditor()
{
    if (!(m_editorMode || (m_options & goAlwaysShowEditor)))
        return;
    if (!CanEditShow()) {
        if (m_editor && m_editor->Visible()) {
            const bool hadFocus = m_editor->Focused();
            m_editor->Hide();
            if (hadFocus)
                setFocus();
        }
        return;
    }
    const QRect r = CellRect(m_col, m_row);
    if (r.isEmpty()) {
        if (m_editor)
            m_editor->Hide();
        return;
    }
    if (m_editor && !EditorFits(m_editor))
        replaceEditor();
    if (!m_editor)
        m_editor = CreateEditor();
    m_editor->UpdateContents();
    m_editor->Move(r);
    if (hasFocus())
        m_editor->SetFocus();
}

void TCustomGrid::replaceEditor()
{
    // The old editor is no longer the grid's before it loses the focus, so its leaving does not end
    // the edit; it is deleted once the events in progress are done.
    TInplaceEditor* old = m_editor;
    m_editor = nullptr;
    QWidget* w = old->Widget();
    if (w->hasFocus())
        setFocus();
    w->hide();
    w->deleteLater();
}

void TCustomGrid::EditorKeyDown(int key, TShiftState shift)
{
    if (key == Qt::Key_Backtab) {
        key = Qt::Key_Tab;
        shift |= ssShift;
    }
    KeyDown(key, shift);
}

// ------------------------------------------------------------------ painting

void TCustomGrid::InvalidateCell(int col, int row)
{
    const QRect r = CellRect(col, row);
    if (!r.isEmpty())
        viewport()->update(r.adjusted(0, 0, m_gridLineWidth, m_gridLineWidth));
}

void TCustomGrid::InvalidateRow(int row)
{
    const int y = RowY(row);
    if (y >= 0)
        viewport()->update(QRect(0, y, viewport()->width(), RowHeights(row) + m_gridLineWidth));
}

void TCustomGrid::InvalidateCol(int col)
{
    const int x = ColX(col);
    if (x >= 0)
        viewport()->update(QRect(x, 0, ColWidths(col) + m_gridLineWidth, viewport()->height()));
}

void TCustomGrid::InvalidateGrid()
{
    viewport()->update();
}

QColor TCustomGrid::GridLineColor(bool fixed) const
{
    if (fixed)
        return QColor(Qt::black);
    if (ResolveColor(m_color, palette()) == gfx::clSilver)
        return QColor(0x80, 0x80, 0x80);
    return QColor(0xC0, 0xC0, 0xC0);
}

void TCustomGrid::paintEvent(QPaintEvent* event)
{
    QPainter painter(viewport());
    PaintTo(painter, event->rect());
}

void TCustomGrid::PaintTo(QPainter& painter, const QRect& clip)
{
    QPainter* const outer = m_canvas;
    m_canvas = &painter;
    try {
        Paint(painter, clip);
    } catch (...) {
        m_canvas = outer;
        throw;
    }
    m_canvas = outer;
}

void TCustomGrid::Paint(QPainter& painter, const QRect& clip)
{
    const int vw = viewport()->width();
    const int vh = viewport()->height();
    // rows and columns on screen, in drawing order
    std::vector<int> cols, rows;
    for (int c = 0; c < m_fixedCols; ++c)
        cols.push_back(c);
    {
        int x = 0;
        for (int c = 0; c < m_fixedCols; ++c)
            x += ColWidths(c) + ColLineWidth(true);
        for (int c = m_leftCol; c < ColCount() && x < vw; ++c) {
            cols.push_back(c);
            x += ColWidths(c) + ColLineWidth(false);
        }
    }
    for (int r = 0; r < m_fixedRows; ++r)
        rows.push_back(r);
    {
        int y = 0;
        for (int r = 0; r < m_fixedRows; ++r)
            y += RowHeights(r) + RowLineWidth(true);
        for (int r = m_topRow; r < RowCount() && y < vh; ++r) {
            rows.push_back(r);
            y += RowHeights(r) + RowLineWidth(false);
        }
    }
    const bool focused = hasFocus() || (m_editor && m_editor->Focused());
    int y = 0;
    for (int r : rows) {
        const bool fixedRow = r < m_fixedRows;
        const int h = RowHeights(r);
        const int lineH = RowLineWidth(fixedRow);
        int x = 0;
        for (int c : cols) {
            const bool fixed = fixedRow || c < m_fixedCols;
            const int w = ColWidths(c);
            const int lineW = ColLineWidth(fixed);
            const QRect cell = VisualRect(QRect(x, y, w, h));
            if (w > 0 && h > 0 && cell.intersects(clip)) {
                TGridDrawState state = 0;
                if (fixed)
                    state |= gdFixed;
                else if (r == m_row && (c == m_col || (m_options & goRowSelect)))
                    state |= gdSelected;
                if (!fixed && r == m_row && c == m_col && focused)
                    state |= gdFocused;
                painter.save();
                painter.setClipRect(cell);
                DrawCell(c, r, cell, state);
                painter.restore();
            }
            // lines right of and below the cell
            const bool fixedLines = fixed;
            if (lineW > 0 && w >= 0)
                painter.fillRect(VisualRect(QRect(x + w, y, lineW, h + lineH)), GridLineColor(fixedLines));
            if (lineH > 0 && h >= 0)
                painter.fillRect(VisualRect(QRect(x, y + h, w + lineW, lineH)), GridLineColor(fixedLines));
            x += w + lineW;
            if (x >= vw)
                break;
        }
        if (x < vw)
            painter.fillRect(VisualRect(QRect(x, y, vw - x, h + lineH)), ToQColor(m_color, palette()));
        y += h + lineH;
        if (y >= vh)
            break;
    }
    if (y < vh)
        painter.fillRect(QRect(0, y, vw, vh - y), ToQColor(m_color, palette()));
}

void TCustomGrid::ScrollDataRows(int rows, int rowHeight)
{
    int top = 0;
    for (int r = 0; r < m_fixedRows; ++r)
        top += RowHeights(r) + RowLineWidth(true);
    // Only the rows there are move: the empty space below the last row (a part row's worth when
    // the rows do not fill the view) holds no row and must not be moved into one.
    int bottom = viewport()->height();
    const int last = RowCount() - 1;
    if (const int y = RowY(last); last >= m_topRow && y >= 0)
        bottom = std::min(bottom, y + RowHeights(last) + RowLineWidth(false));
    const QRect area(0, top, viewport()->width(), std::max(0, bottom - top));
    viewport()->scroll(0, -rows * rowHeight, area);
}

// ------------------------------------------------------------------ scroll bars

void TCustomGrid::UpdateScrollBars()
{
    m_updatingBars = true;
    QScrollBar* h = horizontalScrollBar();
    const int maxLeft = MaxLeftCol();
    h->setRange(0, std::max(0, maxLeft - m_fixedCols));
    h->setPageStep(std::max(1, VisibleColCount()));
    h->setValue(m_leftCol - m_fixedCols);
    QScrollBar* v = verticalScrollBar();
    const int maxTop = MaxTopRow();
    v->setRange(0, std::max(0, maxTop - m_fixedRows));
    v->setPageStep(std::max(1, VisibleRowCount()));
    v->setValue(m_topRow - m_fixedRows);
    m_updatingBars = false;
}

void TCustomGrid::ScrollBarChanged(Qt::Orientation orientation, int value)
{
    if (orientation == Qt::Horizontal)
        SetLeftCol(m_fixedCols + value);
    else
        SetTopRow(m_fixedRows + value);
}

void TCustomGrid::scrollContentsBy(int dx, int dy)
{
    // The grid paints from TopRow and LeftCol; the bars' values are applied in ScrollBarChanged.
    (void)dx;
    (void)dy;
}

void TCustomGrid::resizeEvent(QResizeEvent* event)
{
    QAbstractScrollArea::resizeEvent(event);
    Resized();
    UpdateScrollBars();
    UpdateEditor();
}

// ------------------------------------------------------------------ keyboard

void TCustomGrid::keyPressEvent(QKeyEvent* event)
{
    int key = event->key();
    TShiftState shift = ShiftStateOf(event->modifiers());
    if (key == Qt::Key_Backtab) {
        key = Qt::Key_Tab;
        shift |= ssShift;
    }
    KeyDown(key, shift);
    if (key != 0 && !event->text().isEmpty() && !(shift & (ssCtrl | ssAlt))) {
        QChar ch = event->text().at(0);
        KeyPress(ch);
    }
    event->accept();
}

void TCustomGrid::keyReleaseEvent(QKeyEvent* event)
{
    int key = event->key();
    KeyUp(key, ShiftStateOf(event->modifiers()));
    event->accept();
}

bool TCustomGrid::focusNextPrevChild(bool next)
{
    // Tab moves between cells when the grid takes tabs.
    if (m_options & goTabs)
        return false;
    return QAbstractScrollArea::focusNextPrevChild(next);
}

void TCustomGrid::KeyDown(int& key, TShiftState shift)
{
    int col = m_col;
    int row = m_row;
    const int page = VisibleRowCount();
    switch (key) {
    case Qt::Key_Up: --row; break;
    case Qt::Key_Down: ++row; break;
    // Right to left the columns run leftwards: Left goes to the next one.
    case Qt::Key_Left: col += RightToLeft() ? 1 : -1; break;
    case Qt::Key_Right: col += RightToLeft() ? -1 : 1; break;
    case Qt::Key_PageUp: row -= page; break;
    case Qt::Key_PageDown: row += page; break;
    case Qt::Key_Home:
        if (shift & ssCtrl)
            row = m_fixedRows;
        col = m_fixedCols;
        break;
    case Qt::Key_End:
        if (shift & ssCtrl)
            row = RowCount() - 1;
        col = ColCount() - 1;
        break;
    case Qt::Key_Tab:
        if (!(m_options & goTabs))
            return;
        if (shift & ssShift) {
            if (--col < m_fixedCols) {
                col = ColCount() - 1;
                --row;
            }
        } else if (++col >= ColCount()) {
            col = m_fixedCols;
            ++row;
        }
        break;
    case Qt::Key_F2:
        if (m_options & goEditing)
            ShowEditor();
        return;
    case Qt::Key_Escape:
        if (!(m_options & goAlwaysShowEditor))
            HideEditor();
        return;
    default:
        return;
    }
    if (col != m_col || row != m_row)
        MoveColRow(col, row, !(shift & ssShift), true);
}

void TCustomGrid::KeyPress(QChar& key)
{
    if ((m_options & goEditing) && key.isPrint() && CanEditModify()) {
        ShowEditor();
        if (m_editor && m_editor->Visible()) {
            m_editor->SetText(QString(key));
            SetEditText(m_col, m_row, QString(key));
        }
    }
}

// ------------------------------------------------------------------ mouse

namespace {
TMouseButton ButtonOf(Qt::MouseButton b)
{
    return b == Qt::RightButton ? mbRight : b == Qt::MiddleButton ? mbMiddle : mbLeft;
}
} // namespace

void TCustomGrid::mousePressEvent(QMouseEvent* event)
{
    if (focusPolicy() != Qt::NoFocus && !hasFocus() && !(m_editor && m_editor->Focused()))
        setFocus(Qt::MouseFocusReason);
    const QPoint p = event->position().toPoint();
    MouseDown(ButtonOf(event->button()), ShiftStateOf(event->modifiers(), event->buttons()), p.x(), p.y());
}

void TCustomGrid::mouseDoubleClickEvent(QMouseEvent* event)
{
    const QPoint p = event->position().toPoint();
    MouseDown(ButtonOf(event->button()), ShiftStateOf(event->modifiers(), event->buttons()) | ssDouble, p.x(), p.y());
}

void TCustomGrid::mouseMoveEvent(QMouseEvent* event)
{
    const QPoint p = event->position().toPoint();
    MouseMove(ShiftStateOf(event->modifiers(), event->buttons()), p.x(), p.y());
}

void TCustomGrid::mouseReleaseEvent(QMouseEvent* event)
{
    const QPoint p = event->position().toPoint();
    MouseUp(ButtonOf(event->button()), ShiftStateOf(event->modifiers(), event->buttons()), p.x(), p.y());
}

void TCustomGrid::wheelEvent(QWheelEvent* event)
{
    // Touchpads send parts of a notch: they add up to whole notches before anything moves.
    m_wheelDelta += event->angleDelta().y();
    const int notches = m_wheelDelta / 120;
    m_wheelDelta -= notches * 120;
    if (notches == 0) {
        event->accept();
        return;
    }
    if (DoMouseWheel(ShiftStateOf(event->modifiers()), notches, event->position().toPoint()))
        event->accept();
    else
        QAbstractScrollArea::wheelEvent(event);
}

bool TCustomGrid::DoMouseWheel(TShiftState shift, int notches, const QPoint& pos)
{
    (void)shift;
    (void)pos;
    SetTopRow(m_topRow - notches * WheelScrollLines());
    return true;
}

int TCustomGrid::WheelScrollLines()
{
    return std::max(1, QApplication::wheelScrollLines());
}

void TCustomGrid::focusInEvent(QFocusEvent* event)
{
    QAbstractScrollArea::focusInEvent(event);
    DoEnter();
    InvalidateGrid();
}

void TCustomGrid::focusOutEvent(QFocusEvent* event)
{
    QAbstractScrollArea::focusOutEvent(event);
    if (!(m_editor && m_editor->Focused()))
        DoExit();
    InvalidateGrid();
}

TGridState TCustomGrid::CalcSizingState(int x, int y, int& index, int& sizingPos, int& sizingOfs)
{
    x = LogicalX(x);   // positions and the offset are counted from the columns' side
    index = -1;
    const int tolerance = 3;
    // Column borders in the fixed rows.
    int fixedHeight = 0;
    for (int r = 0; r < m_fixedRows; ++r)
        fixedHeight += RowHeights(r) + RowLineWidth(true);
    if ((m_options & goColSizing) && y < fixedHeight) {
        int pos = 0;
        for (int c = 0; c < ColCount(); ++c) {
            if (c >= m_fixedCols && c < m_leftCol)
                continue;
            pos += ColWidths(c);
            const int line = ColLineWidth(c < m_fixedCols);
            if (x >= pos - tolerance && x <= pos + line + tolerance) {
                index = c;
                sizingPos = pos;
                sizingOfs = pos - x;
                return gsColSizing;
            }
            pos += line;
            if (pos > viewport()->width())
                break;
        }
    }
    // Row borders in the fixed columns.
    int fixedWidth = 0;
    for (int c = 0; c < m_fixedCols; ++c)
        fixedWidth += ColWidths(c) + ColLineWidth(true);
    if ((m_options & goRowSizing) && x < fixedWidth) {
        int pos = 0;
        for (int r = 0; r < RowCount(); ++r) {
            if (r >= m_fixedRows && r < m_topRow)
                continue;
            pos += RowHeights(r);
            const int line = RowLineWidth(r < m_fixedRows);
            if (y >= pos - tolerance && y <= pos + line + tolerance) {
                index = r;
                sizingPos = pos;
                sizingOfs = pos - y;
                return gsRowSizing;
            }
            pos += line;
            if (pos > viewport()->height())
                break;
        }
    }
    return gsNormal;
}

bool TCustomGrid::BeginColumnDrag(int& origin, int& destination, const QPoint& pt)
{
    (void)destination;
    (void)pt;
    return origin >= m_fixedCols;
}

bool TCustomGrid::CheckColumnDrag(int& origin, int& destination, const QPoint& pt)
{
    (void)origin;
    (void)pt;
    return destination >= m_fixedCols;
}

bool TCustomGrid::EndColumnDrag(int& origin, int& destination, const QPoint& pt)
{
    (void)origin;
    (void)destination;
    (void)pt;
    return true;
}

bool TCustomGrid::BeginRowDrag(int& origin, int& destination, const QPoint& pt)
{
    (void)destination;
    (void)pt;
    return origin >= m_fixedRows;
}

bool TCustomGrid::CheckRowDrag(int& origin, int& destination, const QPoint& pt)
{
    (void)origin;
    (void)pt;
    return destination >= m_fixedRows;
}

bool TCustomGrid::EndRowDrag(int& origin, int& destination, const QPoint& pt)
{
    (void)origin;
    (void)destination;
    (void)pt;
    return true;
}

void TCustomGrid::MoveRow(int fromIndex, int toIndex)
{
    if (fromIndex == toIndex || fromIndex < 0 || toIndex < 0 || fromIndex >= RowCount() || toIndex >= RowCount())
        return;
    const int h = m_rowHeights[size_t(fromIndex)];
    m_rowHeights.erase(m_rowHeights.begin() + fromIndex);
    m_rowHeights.insert(m_rowHeights.begin() + toIndex, h);
    if (m_row == fromIndex)
        SetRow(toIndex);
    RowMoved(fromIndex, toIndex);
    RowHeightsChanged();
    InvalidateGrid();
}

void TCustomGrid::MoveColumn(int fromIndex, int toIndex)
{
    if (fromIndex == toIndex || fromIndex < 0 || toIndex < 0 || fromIndex >= ColCount() || toIndex >= ColCount())
        return;
    const int w = m_colWidths[size_t(fromIndex)];
    m_colWidths.erase(m_colWidths.begin() + fromIndex);
    m_colWidths.insert(m_colWidths.begin() + toIndex, w);
    const bool stop = m_tabStops[size_t(fromIndex)];
    m_tabStops.erase(m_tabStops.begin() + fromIndex);
    m_tabStops.insert(m_tabStops.begin() + toIndex, stop);
    if (m_col == fromIndex)
        m_col = toIndex;
    ColumnMoved(fromIndex, toIndex);
    InvalidateGrid();
}

void TCustomGrid::CancelMode()
{
    StopTimedScroll();
    m_gridState = gsNormal;
    m_moveStarted = false;
    viewport()->unsetCursor();
}

void TCustomGrid::MouseDown(TMouseButton button, TShiftState shift, int x, int y)
{
    if (button != mbLeft)
        return;
    int index, pos, ofs;
    const TGridState sizing = CalcSizingState(x, y, index, pos, ofs);
    if (sizing != gsNormal) {
        m_gridState = sizing;
        m_sizingIndex = index;
        m_sizingPos = pos;
        m_sizingOfs = ofs;
        return;
    }
    const TGridCoord cell = MouseCoord(x, y);
    if (cell.X < 0 || cell.Y < 0)
        return;
    if (cell.Y < m_fixedRows && (m_options & goColMoving) && cell.X >= m_fixedCols) {
        int origin = cell.X;
        int dest = cell.X;
        if (BeginColumnDrag(origin, dest, QPoint(x, y))) {
            m_gridState = gsColMoving;
            m_moveIndex = origin;
            m_movePos = origin;
            m_movePoint = QPoint(x, y);
            m_moveStarted = false;
        }
        return;
    }
    if (cell.X < m_fixedCols && (m_options & goRowMoving) && cell.Y >= m_fixedRows) {
        int origin = cell.Y;
        int dest = cell.Y;
        if (BeginRowDrag(origin, dest, QPoint(x, y))) {
            m_gridState = gsRowMoving;
            m_moveIndex = origin;
            m_movePos = origin;
            m_movePoint = QPoint(x, y);
            m_moveStarted = false;
        }
        return;
    }
    if (cell.X >= m_fixedCols && cell.Y >= m_fixedRows) {
        const bool wasCurrent = cell.X == m_col && cell.Y == m_row;
        MoveColRow(cell.X, cell.Y, !(shift & ssShift), true);
        m_gridState = gsSelecting;
        if (wasCurrent && (m_options & goEditing) && !(shift & ssDouble))
            ShowEditor();
    }
}

void TCustomGrid::MouseMove(TShiftState shift, int x, int y)
{
    (void)shift;
    switch (m_gridState) {
    case gsColSizing: {
        const int left = ColX(m_sizingIndex);
        if (left >= 0) {
            const int w = std::max(0, LogicalX(x) + m_sizingOfs - left);
            if (w != ColWidths(m_sizingIndex)) {
                m_colWidths[size_t(m_sizingIndex)] = w;
                InvalidateGrid();
            }
        }
        return;
    }
    case gsRowSizing: {
        const int top = RowY(m_sizingIndex);
        if (top >= 0) {
            const int h = std::max(1, y + m_sizingOfs - top);
            if (h != RowHeights(m_sizingIndex)) {
                m_rowHeights[size_t(m_sizingIndex)] = h;
                InvalidateGrid();
            }
        }
        return;
    }
    case gsColMoving: {
        if (!m_moveStarted) {
            if (std::abs(x - m_movePoint.x()) < QApplication::startDragDistance())
                return;
            m_moveStarted = true;
            viewport()->setCursor(Qt::SizeHorCursor);
        }
        const TGridCoord cell = MouseCoord(x, m_movePoint.y());
        int dest = cell.X >= 0 ? cell.X : (LogicalX(x) < 0 ? m_fixedCols : ColCount() - 1);
        int origin = m_moveIndex;
        if (CheckColumnDrag(origin, dest, QPoint(x, y)))
            m_movePos = dest;
        return;
    }
    case gsRowMoving: {
        if (!m_moveStarted) {
            if (std::abs(y - m_movePoint.y()) < QApplication::startDragDistance())
                return;
            m_moveStarted = true;
            viewport()->setCursor(Qt::SizeVerCursor);
        }
        const TGridCoord cell = MouseCoord(m_movePoint.x(), y);
        int dest = cell.Y >= 0 ? cell.Y : (y < 0 ? m_fixedRows : RowCount() - 1);
        int origin = m_moveIndex;
        if (CheckRowDrag(origin, dest, QPoint(x, y)))
            m_movePos = dest;
        return;
    }
    case gsSelecting: {
        const int top = RowY(m_fixedRows < RowCount() ? m_topRow : 0);
        if (y < top && y < (m_fixedRows > 0 ? top : 0))
            StartTimedScroll(-1);
        else if (y >= GridHeight() && y >= viewport()->height() - 1)
            StartTimedScroll(1);
        else if (y > viewport()->height())
            StartTimedScroll(1);
        else {
            StopTimedScroll();
            const TGridCoord cell = MouseCoord(x, y);
            if (cell.X >= m_fixedCols && cell.Y >= m_fixedRows && (m_options & goRangeSelect) &&
                (cell.X != m_col || cell.Y != m_row) && !(m_options & goEditing))
                MoveColRow(cell.X, cell.Y, false, true);
        }
        return;
    }
    default: {
        int index, pos, ofs;
        const TGridState s = CalcSizingState(x, y, index, pos, ofs);
        if (s == gsColSizing)
            viewport()->setCursor(Qt::SplitHCursor);
        else if (s == gsRowSizing)
            viewport()->setCursor(Qt::SplitVCursor);
        else
            viewport()->unsetCursor();
        return;
    }
    }
}

void TCustomGrid::MouseUp(TMouseButton button, TShiftState shift, int x, int y)
{
    (void)button;
    (void)shift;
    const TGridState state = m_gridState;
    m_gridState = gsNormal;
    StopTimedScroll();
    switch (state) {
    case gsColSizing:
        ColWidthsChanged();
        break;
    case gsRowSizing:
        RowHeightsChanged();
        break;
    case gsColMoving:
        viewport()->unsetCursor();
        if (m_moveStarted) {
            int origin = m_moveIndex;
            int dest = m_movePos;
            if (EndColumnDrag(origin, dest, QPoint(x, y)) && origin != dest)
                MoveColumn(origin, dest);
        }
        m_moveStarted = false;
        break;
    case gsRowMoving:
        viewport()->unsetCursor();
        if (m_moveStarted) {
            int origin = m_moveIndex;
            int dest = m_movePos;
            if (EndRowDrag(origin, dest, QPoint(x, y)) && origin != dest)
                MoveRow(origin, dest);
        }
        m_moveStarted = false;
        break;
    default:
        break;
    }
}

void TCustomGrid::StartTimedScroll(int direction)
{
    m_scrollDirection = direction;
    if (!m_scrollTimer.isActive())
        m_scrollTimer.start();
}

void TCustomGrid::StopTimedScroll()
{
    m_scrollTimer.stop();
    m_scrollDirection = 0;
}

void TCustomGrid::DoTimedScroll()
{
    if (m_gridState != gsSelecting || m_scrollDirection == 0) {
        StopTimedScroll();
        return;
    }
    TimedScroll(m_scrollDirection);
}

void TCustomGrid::TimedScroll(int direction)
{
    switch (direction) {
    case -1:
        if (m_row > m_fixedRows)
            MoveColRow(m_col, m_row - 1, false, true);
        break;
    case 1:
        if (m_row < RowCount() - 1)
            MoveColRow(m_col, m_row + 1, false, true);
        break;
    case -2:
        if (m_leftCol > m_fixedCols)
            SetLeftCol(m_leftCol - 1);
        break;
    case 2:
        SetLeftCol(m_leftCol + 1);
        break;
    default:
        break;
    }
}

} // namespace tk
