#include "htmleditor/memo/ZedMemo.h"

#include "htmleditor/memo/ZedCompletion.h"
#include "htmleditor/memo/ZedExport.h"
#include "htmleditor/memo/ZedScanner.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDesktopServices>
#include <QFocusEvent>
#include <QGlyphRun>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QScrollBar>
#include <QStyleHints>
#include <QToolTip>
#include <QUrl>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QWheelEvent>
#include <QShowEvent>
#include <algorithm>

using gfx::ToQColor;

namespace {

QColor Col(TColor c, const QPalette& pal)
{
    return ToQColor(c, &pal);
}

// Colours of one character cell.
struct CellAttr {
    TColor Fg = gfx::clBlack;
    TColor Bg = gfx::clWhite;
    TFontStyles Style = 0;
    bool operator==(const CellAttr& o) const { return Fg == o.Fg && Bg == o.Bg && Style == o.Style; }
};

}  // namespace

// ---------------------------------------------------------------------------------------------
// TZedGutter

TZedGutter::TZedGutter(TZedCustomMemo* memo) : m_memo(memo), m_font(gfx::FontOfSize(QStringLiteral("Courier New"), 10)) {}

void TZedGutter::Repaint()
{
    if (m_memo)
        m_memo->viewport()->update();
}

void TZedGutter::SetDigitCount(int v) { m_digitCount = v; Repaint(); }
void TZedGutter::SetFont(const QFont& f) { m_font = f; Repaint(); }
void TZedGutter::SetGutterWidth(int v)
{
    m_width = std::max(0, v);
    if (m_memo) {
        QResizeEvent ev(m_memo->viewport()->size(), m_memo->viewport()->size());
        QCoreApplication::sendEvent(m_memo, &ev);
    }
    Repaint();
}
void TZedGutter::SetGutterMargin(int v) { m_margin = std::max(45, v); Repaint(); }
void TZedGutter::SetGutterColor(TColor v) { if (v != m_color) { m_color = v; Repaint(); } }
void TZedGutter::SetGutterColorTo(TColor v) { m_colorTo = v; Repaint(); }
void TZedGutter::SetLineNumberStart(int v) { if (v >= 0) { m_lineNumberStart = v; Repaint(); } }
void TZedGutter::SetLineNumberTextColor(TColor v) { if (v != m_lineNumberTextColor) { m_lineNumberTextColor = v; Repaint(); } }
void TZedGutter::SetModifiedColorBkg(TColor v) { m_modifiedColorBkg = v; Repaint(); }
void TZedGutter::SetModifiedColor(TColor v) { m_modifiedColor = v; Repaint(); }
void TZedGutter::SetNumberSuffix(const QString& v) { m_numberSuffix = v; Repaint(); }
void TZedGutter::SetShowLineNumbers(bool v) { m_showLineNumbers = v; Repaint(); }
void TZedGutter::SetShowModified(bool v) { m_showModified = v; Repaint(); }
void TZedGutter::SetVisible(bool v)
{
    m_visible = v;
    SetGutterWidth(m_width);
}
void TZedGutter::SetShowLeadingZeros(bool v) { m_showLeadingZeros = v; Repaint(); }

QString TZedGutter::NumberText(int lineNo) const
{
    QString n = QString::number(m_lineNumberStart + lineNo);
    if (m_showLeadingZeros && n.length() < m_digitCount)
        n = QString(m_digitCount - n.length(), QLatin1Char('0')) + n;
    return n + m_numberSuffix;
}

int TZedGutter::NumberX(const QString& text) const
{
    int digits = 0;
    for (QChar c : text)
        if (c.isDigit())
            ++digits;
    const int shift = digits <= 1 ? 24 : digits == 2 ? 16 : digits == 3 ? 8 : 0;
    return m_width - m_margin + shift;
}

// ---------------------------------------------------------------------------------------------
// TZedActiveLineSettings

void TZedActiveLineSettings::SetShowActiveLine(bool v) { m_showActiveLine = v; m_memo->viewport()->update(); }
void TZedActiveLineSettings::SetShowActiveLineIndicator(bool v) { m_showIndicator = v; m_memo->viewport()->update(); }
void TZedActiveLineSettings::SetActiveLineColor(TColor v) { if (v != m_color) { m_color = v; m_memo->viewport()->update(); } }
void TZedActiveLineSettings::SetActiveLineTextColor(TColor v) { if (v != m_textColor) { m_textColor = v; m_memo->viewport()->update(); } }
void TZedActiveLineSettings::SetActiveLineAtCursor(bool v)
{
    m_atCursor = v;
    m_memo->SetActiveLineAtCursorFlag(v);
    if (v)
        m_memo->SetActiveLine(m_memo->CaretLine());
    m_memo->viewport()->update();
}

// ---------------------------------------------------------------------------------------------
// TZedCustomMemo: construction and layout

TZedCustomMemo::TZedCustomMemo(QWidget* parent) : QAbstractScrollArea(parent)
{
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_InputMethodEnabled);
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    viewport()->setMouseTracking(true);
    viewport()->setCursor(Qt::IBeamCursor);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    verticalScrollBar()->setSingleStep(1);
    horizontalScrollBar()->setSingleStep(1);
    SetBorderStyle(bsSingle);
    m_font = gfx::FixedPitchFont(QStringLiteral("COURIER NEW"), 13);
    MeasureFont();
    const int flash = QGuiApplication::styleHints()->cursorFlashTime();
    m_blink.setInterval(flash > 0 ? flash / 2 : 500);
    connect(&m_blink, &QTimer::timeout, this, [this] {
        m_caretOn = !m_caretOn;
        viewport()->update(QRect(CellOrigin(Caret()), QSize(2, m_cellHeight)));
    });
    connect(verticalScrollBar(), &QScrollBar::sliderMoved, this, [this](int value) {
        if (!ScrollHint)
            return;
        QString hint = QStringLiteral("Row : ") + QString::number(value + 1);
        if (OnScrollHint)
            OnScrollHint(value + 1, hint);
        QToolTip::showText(QCursor::pos() + QPoint(10, 0), hint, this);
    });
    connect(verticalScrollBar(), &QScrollBar::sliderReleased, this, [] { QToolTip::hideText(); });
    // Using a scroll bar gives the memo the focus.
    connect(verticalScrollBar(), &QScrollBar::actionTriggered, this, [this] { setFocus(Qt::OtherFocusReason); });
    connect(horizontalScrollBar(), &QScrollBar::actionTriggered, this, [this] { setFocus(Qt::OtherFocusReason); });
    OnGutterDraw = [this](QPainter* canvas, int lineNo, const QRect& rct) { DefaultGutterDraw(canvas, lineNo, rct); };
    OnGutterClick = [this](int line) {
        SetCaretLine(line);
        ClearSelection();
    };
    m_completionTimer.setSingleShot(true);
    m_completionTimer.setInterval(m_autoCompletion.Delay());
    m_autoCompletion.OnChange = [this] {
        m_completionTimer.setInterval(m_autoCompletion.Delay());
        if (CompletionList())
            CompletionList()->setFont(m_autoCompletion.Font);
    };
    connect(&m_completionTimer, &QTimer::timeout, this, [this] { StartCompletion(true); });
    m_hintTimer.setSingleShot(true);
    m_hintTimer.setInterval(m_hintDelay);
    connect(&m_hintTimer, &QTimer::timeout, this, [this] {
        if (m_hintForm)
            m_hintForm->hide();
    });
    EnsureCompletionWindows();
    m_stylerList = new TZedStylerList(parent);
}

TZedCustomMemo::~TZedCustomMemo()
{
    delete m_stylerList;
    if (m_completionImages)
        m_completionImages->RemoveFreeNotification(this);
}

void TZedCustomMemo::SetBorderStyle(TZedBorderStyle v)
{
    m_borderStyle = v;
    if (v == bsNone) {
        setFrameStyle(QFrame::NoFrame);
    } else if (m_ctl3D) {
        setFrameStyle(QFrame::Panel | QFrame::Sunken);
        setLineWidth(2);
    } else {
        setFrameStyle(QFrame::Box | QFrame::Plain);
        setLineWidth(1);
        QPalette pal = palette();
        pal.setColor(QPalette::WindowText, QColor(0x80, 0x80, 0x80));
        setPalette(pal);
    }
    Relayout();
    viewport()->update();
}

void TZedCustomMemo::SetCtl3D(bool v)
{
    m_ctl3D = v;
    SetBorderStyle(m_borderStyle);
}

void TZedCustomMemo::SetFont(const QFont& font)
{
    QFont f = font;
    if (!gfx::IsFixedPitch(f)) {
        QFont previous = m_font;
        previous.setPixelSize(f.pixelSize() > 0 ? f.pixelSize() : m_font.pixelSize());
        f = gfx::IsFixedPitch(previous) ? previous : gfx::FixedPitchFont(QString(), previous.pixelSize());
    }
    m_font = f;
    MeasureFont();
    Relayout();
    viewport()->update();
}

void TZedCustomMemo::SetFontColor(TColor c)
{
    m_fontColor = c;
    viewport()->update();
}

void TZedCustomMemo::MeasureFont()
{
    const QFontMetrics fm(m_font);
    m_cellWidth = std::max(1, fm.horizontalAdvance(QLatin1Char('W')));
    m_cellHeight = std::max(1, fm.height());
    m_marginCharWidth = std::max(1, fm.horizontalAdvance(QLatin1Char('w')));
    for (unsigned style = 0; style < 16; ++style) {
        QFont f = m_font;
        f.setBold(style & fsBold);
        f.setItalic(style & fsItalic);
        f.setUnderline(style & fsUnderline);
        f.setStrikeOut(style & fsStrikeOut);
        m_fonts[style].Font = f;
        m_fonts[style].SamePitch = QFontMetrics(f).horizontalAdvance(QStringLiteral("WWiW")) == 4 * m_cellWidth;
        m_fonts[style].Raw = QRawFont::fromFont(f);
    }
}

void TZedCustomMemo::DrawCells(QPainter& p, const FontVariant& fv, QStringView text, QPoint origin, int advance)
{
    if (text.isEmpty())
        return;
    QList<quint32> glyphs;
    if (fv.Raw.isValid())
        glyphs = fv.Raw.glyphIndexesForString(text.toString());
    const bool complete = glyphs.size() == text.size() && !glyphs.contains(0u);
    if (!complete) {
        p.setFont(fv.Font);
        for (int i = 0; i < text.size(); ++i)
            p.drawText(QPoint(origin.x() + i * advance, origin.y()), QString(text[i]));
        return;
    }
    QList<QPointF> positions;
    positions.reserve(glyphs.size());
    for (int i = 0; i < glyphs.size(); ++i)
        positions.append(QPointF(i * advance, 0));
    QGlyphRun run;
    run.setRawFont(fv.Raw);
    run.setGlyphIndexes(glyphs);
    run.setPositions(positions);
    run.setUnderline(fv.Font.underline());
    run.setStrikeOut(fv.Font.strikeOut());
    p.drawGlyphRun(QPointF(origin), run);
}

int TZedCustomMemo::TextLeft() const
{
    const int gw = (m_gutter.Visible() && m_gutter.GutterWidth() > 2) ? GutterRect().width() + 2 : 2;
    return gw + 2;
}

QRect TZedCustomMemo::GutterRect() const
{
    if (!m_gutter.Visible() || m_gutter.GutterWidth() <= 1)
        return QRect();
    const int w = m_gutter.GutterWidth() + (m_borderStyle == bsNone ? 2 : 0);
    return QRect(0, 0, w, viewport()->height());
}

QRect TZedCustomMemo::TextArea() const
{
    const int left = TextLeft();
    return QRect(left, 2, std::max(0, viewport()->width() - left - 2), std::max(0, viewport()->height() - 4));
}

void TZedCustomMemo::Relayout()
{
    const QRect area = TextArea();
    SetVisibleSize(area.height() / m_cellHeight, area.width() / m_cellWidth);
}

QPoint TZedCustomMemo::CellOrigin(TZedPos pos) const
{
    return QPoint(TextLeft() + (pos.Col - LeftColumn()) * m_cellWidth, 2 + (pos.Line - TopLine()) * m_cellHeight + 1);
}

TZedPos TZedCustomMemo::CellAt(const QPoint& pt) const
{
    const int col = std::max(0, (pt.x() - TextLeft()) / m_cellWidth + LeftColumn());
    int row = (pt.y() - 3);
    row = row < 0 ? -1 : row / m_cellHeight;
    const int line = std::clamp(TopLine() + row, 0, std::max(0, Lines().Count() - 1));
    // A character of two code units takes one column's click: the caret goes before it.
    const QString text = LineText(line);
    if (col > 0 && col < text.length() && text[col - 1].isHighSurrogate() && text[col].isLowSurrogate())
        return TZedPos{col - 1, line};
    return TZedPos{col, line};
}

// ---------------------------------------------------------------------------------------------
// view hooks

void TZedCustomMemo::Invalidate()
{
    viewport()->update();
}

void TZedCustomMemo::InvalidateLines(int from, int to)
{
    const int y0 = CellOrigin(TZedPos{0, from}).y() - 1;
    const int y1 = CellOrigin(TZedPos{0, to + 1}).y();
    viewport()->update(QRect(0, y0, viewport()->width(), y1 - y0 + 1));
}

void TZedCustomMemo::CaretUpdated()
{
    if (m_hintForm && m_hintForm->isVisible() && CaretLine() != m_hintLine)
        HideParameterHint();
    m_caretOn = true;
    if (hasFocus() && m_blink.isActive())
        m_blink.start();
    viewport()->update();
}

void TZedCustomMemo::SetScrollBars(TZedScrollBars value)
{
    TZedMemoModel::SetScrollBars(value);
    UpdateScrollBars();
    Relayout();
    viewport()->update();
}

void TZedCustomMemo::UpdateScrollBars()
{
    if (m_inScrollUpdate)
        return;
    m_inScrollUpdate = true;
    for (int pass = 0; pass < 3; ++pass) {
        const QRect area = TextArea();
        const int rows = area.height() / m_cellHeight;
        const int cols = area.width() / m_cellWidth;
        const int count = Lines().Count();
        const TZedScrollBars bars = ScrollBars();
        const bool wantV = bars == ssVertical || bars == ssBoth;
        const bool wantH = (bars == ssHorizontal || bars == ssBoth) && WordWrap() == wwNone;
        const bool showV = wantV && rows >= 1 && count > rows;
        const bool showH = wantH && cols >= 1 && LongestLine() > cols;
        if (!showV)
            m_topLine = 0;
        if (!showH && m_caretCol < cols && WordWrap() == wwNone && m_leftColumn != 0 && wantH)
            m_leftColumn = 0;
        const bool vChanged = (verticalScrollBarPolicy() == Qt::ScrollBarAlwaysOn) != showV;
        const bool hChanged = (horizontalScrollBarPolicy() == Qt::ScrollBarAlwaysOn) != showH;
        setVerticalScrollBarPolicy(showV ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
        setHorizontalScrollBarPolicy(showH ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
        QScrollBar* v = verticalScrollBar();
        v->setRange(0, std::max(0, count - rows));
        v->setPageStep(std::max(1, rows));
        v->setValue(m_topLine);
        QScrollBar* h = horizontalScrollBar();
        h->setRange(0, std::max(0, LongestLine() - cols + 1));
        h->setPageStep(std::max(1, cols));
        h->setValue(m_leftColumn);
        if (!vChanged && !hChanged)
            break;
    }
    const QRect area = TextArea();
    m_inScrollUpdate = false;
    // A bar that came or went changed the text area: wrap and page sizes follow.
    if (area.height() / m_cellHeight != m_visibleRows || area.width() / m_cellWidth != m_visibleCols)
        Relayout();
}

void TZedCustomMemo::scrollContentsBy(int, int)
{
    bool changed = false;
    if (verticalScrollBarPolicy() == Qt::ScrollBarAlwaysOn && verticalScrollBar()->value() != m_topLine) {
        m_topLine = verticalScrollBar()->value();
        changed = true;
    }
    if (horizontalScrollBarPolicy() == Qt::ScrollBarAlwaysOn && horizontalScrollBar()->value() != m_leftColumn) {
        m_leftColumn = horizontalScrollBar()->value();
        changed = true;
    }
    if (changed) {
        if (!m_inScrollUpdate)
            MatchBlocks();
        TopLeftChanged();
        viewport()->update();
    }
}

void TZedCustomMemo::resizeEvent(QResizeEvent* e)
{
    QAbstractScrollArea::resizeEvent(e);
    Relayout();
    UpdateScrollBars();
}

void TZedCustomMemo::SetActiveLine(int line)
{
    TZedMemoModel::SetActiveLine(line);
    if (m_activeLineSettings.ShowActiveLine() && (line < TopLine() || line > TopLine() + VisibleRows() - 1))
        SetTopLine(line);
    viewport()->update();
}

void TZedCustomMemo::SetSyntaxStyles(TZedCustomMemoStyler* styler)
{
    disconnect(m_stylerGone);
    TZedMemoModel::SetSyntaxStyles(styler);
    m_wordDelimitersValid = false;
    if (styler)
        m_stylerGone = connect(styler, &QObject::destroyed, this, [this] {
            InvalidateStates(-1);
            m_wordDelimitersValid = false;
            m_blockStart = m_blockEnd = TZedBlockMark{};
            viewport()->update();
        });
}

// ---------------------------------------------------------------------------------------------
// painting

namespace {

// The raster engine hands a fill of more than about a hundred rows to its thread pool and waits
// for it; for the narrow full-height strips painted on every keystroke the hand-over costs far
// more than the fill. They are painted in bands below that size.
constexpr int kBand = 64;

void FillBands(QPainter& p, const QRect& r, const QColor& c)
{
    for (int y = r.top(); y <= r.bottom(); y += kBand)
        p.fillRect(QRect(r.left(), y, r.width(), std::min(kBand, r.bottom() - y + 1)), c);
}

void DrawBands(QPainter& p, const QPoint& at, const QPixmap& pm)
{
    for (int y = 0; y < pm.height(); y += kBand)
        p.drawPixmap(QPoint(at.x(), at.y() + y), pm, QRect(0, y, pm.width(), std::min(kBand, pm.height() - y)));
}

} // namespace

void TZedCustomMemo::paintEvent(QPaintEvent*)
{
    if (Lines().UpdateCount() > 0)
        return;
    QPainter p(viewport());
    const QPalette& pal = palette();
    const QRect vr = viewport()->rect();
    const QRect area = TextArea();
    const QRect gutter = GutterRect();
    if (gutter.width() > 1)
        PaintGutter(p);
    // Background of the strip between gutter and text, the top margin and the area below the
    // last line (painted lines fill their own rows).
    const QColor bk = Col(m_BkColor, pal);
    const int painted = std::clamp(Lines().Count() - TopLine(), 0, VisibleRows() + 1);
    const int textBottom = 3 + painted * m_cellHeight;
    FillBands(p, QRect(gutter.width(), 0, area.left() - gutter.width(), vr.height()), bk);
    p.fillRect(QRect(area.left(), 0, vr.width() - area.left(), 3), bk);
    FillBands(p, QRect(area.left(), textBottom, vr.width() - area.left(), std::max(0, vr.height() - textBottom)), bk);
    FillBands(p, QRect(area.right() + 1, 0, vr.width() - area.right() - 1, vr.height()), bk);

    LineStartState state = StartStateOfLine(TopLine());
    const TZedScanner scanner(*this);
    p.setClipRect(QRect(area.left(), 0, area.width() + 2, vr.height()));
    const int rows = VisibleRows() + 1;
    for (int row = 0; row < rows; ++row) {
        const int line = TopLine() + row;
        if (line >= Lines().Count())
            break;
        PaintLine(p, line, row, state, scanner);
    }
    p.setClipping(false);

    if (m_showRightMargin && RightMargin() > 0) {
        const int x = area.left() + (RightMargin() - LeftColumn()) * m_marginCharWidth;
        if (x >= area.left())
            FillBands(p, QRect(x, area.top(), 2, area.height()), Col(m_RightMarginColor, pal));
    }

    if (hasFocus() && m_caretOn && !m_hiddenCaret) {
        const QPoint o = CellOrigin(Caret());
        if (o.x() >= area.left())
            p.fillRect(QRect(o.x(), o.y(), 2, std::max(1, m_cellHeight - 2)), Col(m_fontColor, pal));
    }
}

void TZedCustomMemo::PaintGutter(QPainter& p)
{
    const QPalette& pal = palette();
    const QRect r = GutterRect();
    if (m_gutter.GutterColorTo() == gfx::clNone) {
        FillBands(p, r, Col(m_gutter.GutterColor(), pal));
    } else {
        const QColor a = Col(m_gutter.GutterColor(), pal);
        const QColor b = Col(m_gutter.GutterColorTo(), pal);
        // Painted as stripes once per size and colours; every repaint (one per keystroke) only
        // copies it.
        if (m_gutterBack.size() != r.size() || m_gutterBackFrom != a.rgb() || m_gutterBackTo != b.rgb()) {
            m_gutterBack = QPixmap(r.size());
            m_gutterBackFrom = a.rgb();
            m_gutterBackTo = b.rgb();
            QPainter g(&m_gutterBack);
            const int steps = 48;
            for (int i = 0; i < steps; ++i) {
                const int x0 = r.width() * i / steps;
                const int x1 = r.width() * (i + 1) / steps;
                const QColor c((a.red() * (steps - 1 - i) + b.red() * i) / (steps - 1),
                               (a.green() * (steps - 1 - i) + b.green() * i) / (steps - 1),
                               (a.blue() * (steps - 1 - i) + b.blue() * i) / (steps - 1));
                g.fillRect(QRect(x0, 0, x1 - x0, r.height()), c);
            }
        }
        DrawBands(p, r.topLeft(), m_gutterBack);
    }
    FillBands(p, QRect(r.right(), r.top(), 1, r.height()), QColor(0x80, 0x80, 0x80));
    FillBands(p, QRect(r.right() - 1, r.top(), 1, r.height()), Qt::white);
    if (!OnGutterDraw)
        return;
    int lineNo = ToLogical(TZedPos{0, TopLine()}).Line;
    for (int row = 0; row <= VisibleRows(); ++row) {
        const int line = TopLine() + row;
        if (line >= Lines().Count())
            break;
        if (Lines().IsWrapped(line))
            continue;
        const QRect rct(r.left(), 2 + row * m_cellHeight + 1, m_gutter.GutterWidth(), m_cellHeight);
        p.save();
        OnGutterDraw(&p, lineNo, rct);
        p.restore();
        ++lineNo;
    }
}

void TZedCustomMemo::DefaultGutterDraw(QPainter* canvas, int lineNo, const QRect& rct)
{
    const QPalette& pal = palette();
    // The display line of this row (continuation lines have no row of their own).
    const int line = TopLine() + (rct.top() - 3) / m_cellHeight;
    const TLineProp* prop = Lines().PropsIfAny(line);
    int x = rct.left();
    const TZedMarkerList& markers = MarkerList();
    const int markerImage = markers.DrawIndexOfLine(lineNo);
    if (markerImage >= 0 && markers.MarkerImageList() && markerImage < markers.MarkerImageList()->Count()) {
        const QImage img = tk::MakeTransparent(markers.MarkerImageList()->Image(markerImage),
                                               Col(markers.ImageTransparentColor(), pal));
        canvas->drawImage(QPoint(rct.left() + 1, rct.top() + 2), img);
    }
    if (prop && prop->Bookmark) {
        // A small flag: pole and pennant.
        canvas->fillRect(QRect(x + 2, rct.top() + 2, 1, rct.height() - 4), Qt::black);
        const QPolygon flag({QPoint(x + 3, rct.top() + 2), QPoint(x + 10, rct.top() + 5), QPoint(x + 3, rct.top() + 8)});
        canvas->setPen(Qt::black);
        canvas->setBrush(QColor(0, 0, 0xFF));
        canvas->drawPolygon(flag);
        x += 12;
    }
    if (m_gutter.ShowLineNumbers()) {
        const QString text = m_gutter.NumberText(lineNo);
        if (m_gutterFont.Font != m_gutter.Font() || !m_gutterFont.Raw.isValid()) {
            m_gutterFont.Font = m_gutter.Font();
            m_gutterFont.Raw = QRawFont::fromFont(m_gutterFont.Font);
            const QFontMetrics gm(m_gutterFont.Font);
            m_gutterFont.SamePitch = gm.horizontalAdvance(QStringLiteral("0000")) == 4 * gm.horizontalAdvance(QLatin1Char('0'));
        }
        canvas->setPen(Col(m_gutter.LineNumberTextColor(), pal));
        const QFontMetrics fm(m_gutterFont.Font);
        DrawCells(*canvas, m_gutterFont, text, QPoint(rct.left() + m_gutter.NumberX(text), rct.top() + fm.ascent()),
                  fm.horizontalAdvance(QLatin1Char('0')));
    }
    if (m_gutter.ShowModified()) {
        const bool modified = prop && prop->Modified;
        canvas->fillRect(QRect(rct.right() - 3, rct.top(), 4, rct.height()),
                         Col(modified ? m_gutter.ModifiedColor() : m_gutter.ModifiedColorBkg(), pal));
    }
    canvas->setRenderHint(QPainter::Antialiasing);
    if (prop && prop->Executed) {
        canvas->setPen(QPen(QColor(0, 0xFF, 0xFF), 1));
        canvas->setBrush(QColor(0, 0, 0xFF));
        canvas->drawEllipse(QRect(rct.left() + 4, rct.top() + 3, 8, rct.height() - 6));
    }
    if (prop && prop->Breakpoint) {
        canvas->setPen(Qt::NoPen);
        canvas->setBrush(QColor(0xFF, 0, 0));
        canvas->drawEllipse(QRect(rct.left() + 4, rct.top() + 3, rct.height() - 6, rct.height() - 6));
    }
    if (m_activeLineSettings.ShowActiveLineIndicator() && line == ActiveLine()) {
        const QPoint o = rct.topLeft();
        const QPolygon arrow({o + QPoint(13, 7), o + QPoint(13, 11), o + QPoint(16, 11), o + QPoint(16, 14),
                              o + QPoint(21, 9), o + QPoint(16, 4), o + QPoint(16, 7)});
        canvas->setPen(QColor(0x80, 0x80, 0x80));
        canvas->setBrush(QColor(0, 0xFF, 0));
        canvas->drawPolygon(arrow);
    }
}

void TZedCustomMemo::PaintLine(QPainter& p, int line, int row, LineStartState& state, const TZedScanner& scanner)
{
    const QPalette& pal = palette();
    const QString& s = Lines().Strings()[line];
    const int c0 = LeftColumn();
    const int c1 = std::min<int>(s.length(), c0 + VisibleCols() + 1);
    std::vector<TZedPiece>& pieces = m_pieces;
    pieces.clear();
    if (s.length() <= LongLine) {
        scanner.ScanLine(s, state, &pieces);
    } else {
        // Long line: resume at the last checkpoint before the visible columns and stop behind
        // them; the end state comes from the cache or a scan without pieces.
        TZedLineScanCache& cache = LineScanCache(line, state);
        auto it = std::upper_bound(cache.Points.begin(), cache.Points.end(), c0,
                                   [](int c, const TZedCheckpoint& p) { return c < p.Col; });
        LineStartState st = state;
        int from = 0;
        if (it != cache.Points.begin()) {
            --it;
            st = it->State;
            from = it->Col;
        }
        const bool lastRow = row + 1 >= VisibleRows() + 1 || line + 1 >= Lines().Count();
        bool ended = scanner.ScanRange(s, from, st, &pieces, std::max(c1, c0 + 1), &cache.Points);
        if (!ended && !lastRow) {
            if (!cache.EndValid) {
                LineStartState end = cache.Points.empty() ? cache.Start : cache.Points.back().State;
                scanner.ScanRange(s, cache.Points.empty() ? 0 : cache.Points.back().Col, end, nullptr, s.length(),
                                  &cache.Points);
                cache.End = end;
                cache.EndValid = true;
            }
            st = cache.End;
        } else if (ended) {
            cache.End = st;
            cache.EndValid = true;
        }
        state = st;
    }

    const QRect area = TextArea();
    const int y = 2 + row * m_cellHeight + 1;
    const TLineProp* prop = Lines().PropsIfAny(line);
    const bool breakpoint = prop && prop->Breakpoint;
    const bool active = m_activeLineSettings.ShowActiveLine() && line == ActiveLine();
    const TColor lineBg = breakpoint ? m_BreakpointColor : active ? m_activeLineSettings.ActiveLineColor() : m_BkColor;
    p.fillRect(QRect(area.left(), y, area.width() + 2, m_cellHeight), Col(lineBg, pal));

    if (c1 <= c0)
        return;
    std::vector<CellAttr> attrs(size_t(c1 - c0));
    const TZedCustomMemoStyler* styler = UseStyler() ? SyntaxStyles() : nullptr;
    for (const TZedPiece& piece : pieces) {
        const int a = std::max(piece.Start, c0);
        const int b = std::min(piece.Start + piece.Length, c1);
        if (a >= b)
            continue;
        const TZedSpanStyle st = PieceStyle(piece, styler, UrlStyle, m_fontColor, m_BkColor);
        const CellAttr at{st.Fg, st.Bg, st.Style};
        for (int c = a; c < b; ++c)
            attrs[size_t(c - c0)] = at;
    }
    if (active || breakpoint) {
        const TColor fg = breakpoint ? m_BreakpointTextColor : m_activeLineSettings.ActiveLineTextColor();
        for (CellAttr& at : attrs) {
            at.Fg = fg;
            at.Bg = lineBg;
        }
    }
    if (!SelectionEmpty() && !(m_hideSelection && !hasFocus())) {
        TZedPos from, to;
        OrderedSelection(from, to);
        if (line >= from.Line && line <= to.Line) {
            const int a = std::max(c0, line == from.Line ? from.Col : 0);
            const int b = std::min(c1, line == to.Line ? to.Col : c1);
            for (int c = a; c < b; ++c) {
                CellAttr& at = attrs[size_t(c - c0)];
                if (active || breakpoint)
                    std::swap(at.Fg, at.Bg);
                else {
                    at.Fg = m_SelColor;
                    at.Bg = m_SelBkColor;
                }
            }
        }
    }
    if (BlockShow()) {
        for (const TZedBlockMark& m : {BlockStartMark(), BlockEndMark()}) {
            if (!m.Valid() || m.Line != line)
                continue;
            for (int c = std::max(c0, m.Col); c < std::min(c1, m.Col + m.Length); ++c)
                attrs[size_t(c - c0)].Bg = m_BlockColor;
        }
    }
    // Keywords the styler draws itself keep their background; their text is left to the styler.
    std::vector<bool> custom;
    if (styler && styler->CustomKeywordDraw) {
        custom.assign(size_t(c1 - c0), false);
        for (const TZedPiece& piece : pieces)
            if (piece.Kind == pkKeyword)
                for (int k = std::max(piece.Start, c0); k < std::min(piece.Start + piece.Length, c1); ++k)
                    custom[size_t(k - c0)] = true;
    }
    // Draw runs of equal colours.
    const QFontMetrics fm(m_font);
    const int baseline = y + fm.ascent();
    int c = c0;
    while (c < c1) {
        const CellAttr at = attrs[size_t(c - c0)];
        const bool isCustom = !custom.empty() && custom[size_t(c - c0)];
        int e = c + 1;
        while (e < c1 && attrs[size_t(e - c0)] == at && (custom.empty() || custom[size_t(e - c0)] == isCustom))
            ++e;
        const int x = area.left() + (c - c0) * m_cellWidth;
        if (at.Bg != lineBg)
            p.fillRect(QRect(x, y, (e - c) * m_cellWidth, m_cellHeight), Col(at.Bg, pal));
        const FontVariant& fv = m_fonts[at.Style & 15];
        p.setPen(Col(at.Fg, pal));
        if (!isCustom)
            DrawCells(p, fv, QStringView(s).mid(c, e - c), QPoint(x, baseline), m_cellWidth);
        c = e;
    }
    if (!custom.empty()) {
        for (const TZedPiece& piece : pieces) {
            if (piece.Kind != pkKeyword || piece.Start + piece.Length <= c0 || piece.Start >= c1)
                continue;
            const QRect rect(area.left() + (piece.Start - c0) * m_cellWidth, y, piece.Length * m_cellWidth, m_cellHeight);
            p.save();
            const_cast<TZedCustomMemoStyler*>(styler)->DrawKeyword(&p, s.mid(piece.Start, piece.Length), rect);
            p.restore();
        }
    }
    // Error marks: red zig-zag under each range.
    auto underline = [&](int col, int len, const QColor& color, bool zigzag) {
        const int a = std::max(c0, col);
        const int b = std::min(c1, col + len);
        if (a >= b)
            return;
        const int x0 = area.left() + (a - c0) * m_cellWidth;
        const int x1 = area.left() + (b - c0) * m_cellWidth;
        const int yb = y + m_cellHeight - 2;
        p.setPen(color);
        if (!zigzag) {
            p.drawLine(x0, yb, x1, yb);
            return;
        }
        bool up = false;
        for (int x = x0; x < x1; x += 2, up = !up)
            p.drawLine(x, up ? yb - 2 : yb, x + 2, up ? yb : yb - 2);
    };
    if (prop)
        for (int i = 0; i < std::min(prop->ErrorStarts.size(), prop->ErrorLengths.size()); ++i)
            underline(prop->ErrorStarts[i], prop->ErrorLengths[i], QColor(0xFF, 0, 0), true);
    if (BlockShow() && m_BlockLineColor != gfx::clNone)
        for (const TZedBlockMark& m : {BlockStartMark(), BlockEndMark()})
            if (m.Valid() && m.Line == line)
                underline(m.Col, m.Length, Col(m_BlockLineColor, pal), false);
}

// ---------------------------------------------------------------------------------------------
// keyboard

bool TZedCustomMemo::event(QEvent* e)
{
    if (e->type() == QEvent::ShortcutOverride) {
        auto* k = static_cast<QKeyEvent*>(e);
        const Qt::KeyboardModifiers mods = k->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier);
        const int key = k->key();
        const bool ctrlOnly = mods == Qt::ControlModifier || mods == (Qt::ControlModifier | Qt::ShiftModifier);
        if ((ctrlOnly && (key == Qt::Key_Space || key == Qt::Key_A || key == Qt::Key_C || key == Qt::Key_V || key == Qt::Key_X
                          || key == Qt::Key_Y || key == Qt::Key_Z || key == Qt::Key_F || key == Qt::Key_H
                          || key == Qt::Key_Insert || key == Qt::Key_Home || key == Qt::Key_End
                          || key == Qt::Key_Left || key == Qt::Key_Right || key == Qt::Key_Backspace))
            || (key == Qt::Key_Backspace) || (key == Qt::Key_Insert) || (key == Qt::Key_Delete)
            || (!(mods & (Qt::ControlModifier | Qt::AltModifier)) && !k->text().isEmpty())) {
            e->accept();
            return true;
        }
    }
    return QAbstractScrollArea::event(e);
}

bool TZedCustomMemo::focusNextPrevChild(bool next)
{
    if (WantTab)
        return false;
    return QAbstractScrollArea::focusNextPrevChild(next);
}

bool TZedCustomMemo::IsWordMoveDelimiter(QChar ch)
{
    const TZedCustomMemoStyler* styler = UseStyler() ? SyntaxStyles() : nullptr;
    if (!m_wordDelimitersValid || m_wordDelimiterStyler != styler) {
        m_wordDelimiters = QStringLiteral(" ");
        if (styler)
            for (int i = 0; i < styler->AllStyles.Count(); ++i)
                if (styler->AllStyles[i]->StyleType == stSymbol) {
                    m_wordDelimiters = styler->AllStyles[i]->Symbols;
                    break;
                }
        m_wordDelimiterStyler = styler;
        m_wordDelimitersValid = true;
    }
    return m_wordDelimiters.contains(ch);
}

void TZedCustomMemo::WordMove(bool right, bool shift)
{
    const int line = CaretLine();
    const QString s = LineText(line);
    const int len = s.length();
    int col = CaretCol();
    if (!right) {
        --col;
        if (col < 0) {
            if (line > 0)
                MoveCaretTo(TZedPos{int(LineText(line - 1).length()), line - 1}, shift);
            return;
        }
        while (col > 0 && (col >= len || !(IsWordMoveDelimiter(s[col - 1]) && s[col] != QLatin1Char(' '))))
            --col;
        MoveCaretTo(TZedPos{col, line}, shift);
    } else {
        ++col;
        if (col > len) {
            if (line + 1 < Lines().Count())
                MoveCaretTo(TZedPos{0, line + 1}, shift);
            return;
        }
        while (col < len && (!IsWordMoveDelimiter(s[col - 1]) || s[col] == QLatin1Char(' ')))
            ++col;
        MoveCaretTo(TZedPos{col, line}, shift);
    }
}

bool TZedCustomMemo::HandleKey(int key, Qt::KeyboardModifiers mods)
{
    const bool shift = mods & Qt::ShiftModifier;
    const bool ctrl = mods & Qt::ControlModifier;
    const bool alt = mods & Qt::AltModifier;
    const int line = CaretLine();
    const int col = CaretCol();
    const int count = Lines().Count();
    const bool moveKey = key == Qt::Key_Left || key == Qt::Key_Right || key == Qt::Key_Up || key == Qt::Key_Down
        || key == Qt::Key_PageUp || key == Qt::Key_PageDown || key == Qt::Key_Home || key == Qt::Key_End
        || key == Qt::Key_Alt || key == Qt::Key_Control || key == Qt::Key_Shift;
    if (!moveKey) {
        SetCaretLine(line);
        SetCaretCol(col);
    }
    const bool edit = !ReadOnly && EditAllowed();
    auto lastLineEnd = [&] { return TZedPos{int(LineText(count - 1).length()), count - 1}; };
    auto lineEnd = [&](int l) {
        const QString s = LineText(l);
        if (l + 1 < Lines().Count() && Lines().IsWrapped(l + 1))
            return int(s.length());
        int n = s.length();
        while (n > 0 && s[n - 1] == QLatin1Char(' '))
            --n;
        return n;
    };
    switch (key) {
    case Qt::Key_Left:
        if (ctrl)
            WordMove(false, shift);
        else if (col > 0)
            MoveCaretTo(TZedPos{std::max(0, CharacterLeft(line, col)), line}, shift);
        else if (line > 0)
            MoveCaretTo(TZedPos{int(LineText(line - 1).length()), line - 1}, shift);
        return true;
    case Qt::Key_Right:
        if (ctrl)
            WordMove(true, shift);
        else
            MoveCaretTo(TZedPos{CharacterRight(line, col), line}, shift);
        return true;
    case Qt::Key_Up:
        MoveCaretTo(TZedPos{col, std::max(0, line - 1)}, shift);
        return true;
    case Qt::Key_Down:
        MoveCaretTo(TZedPos{col, std::min(count - 1, line + 1)}, shift);
        return true;
    case Qt::Key_PageUp:
        if (ctrl)
            MoveCaretTo(TZedPos{0, 0}, shift);
        else
            MoveCaretTo(TZedPos{col, std::max(0, line - std::max(1, VisibleRows() - 1))}, shift);
        return true;
    case Qt::Key_PageDown:
        if (ctrl)
            MoveCaretTo(lastLineEnd(), shift);
        else
            MoveCaretTo(TZedPos{col, std::min(count - 1, line + std::max(1, VisibleRows() - 1))}, shift);
        return true;
    case Qt::Key_Home: {
        if (ctrl)
            MoveCaretTo(TZedPos{0, 0}, shift);
        int target = 0;
        if (EnhancedHomeKey) {
            const QString s = LineText(CaretLine());
            int c = std::min<int>(CaretCol(), s.length());
            while (c > 0 && s[c - 1] == QLatin1Char(' '))
                --c;
            while (c > 0 && s[c - 1] != QLatin1Char(' '))
                --c;
            target = c;
        }
        MoveCaretTo(TZedPos{target, CaretLine()}, shift);
        if (target == 0)
            SetLeftColumn(0);
        if (ctrl && shift)
            SelectAll();
        return true;
    }
    case Qt::Key_End:
        if (ctrl)
            MoveCaretTo(lastLineEnd(), shift);
        MoveCaretTo(TZedPos{lineEnd(CaretLine()), CaretLine()}, shift);
        if (ctrl && shift)
            SelectAll();
        return true;
    case Qt::Key_Insert:
        if (ctrl)
            CopyToClipboard();
        else if (shift)
            PasteFromClipboard();
        else if (!alt && edit)
            ToggleOverwrite();
        return true;
    case Qt::Key_Delete:
        if (!edit)
            return true;
        if (shift)
            CutToClipboard();
        else if (DelErase && !SelectionEmpty())
            DeleteSelection();
        else
            DeleteChar();
        MarkLineModified(CaretLine());
        return true;
    case Qt::Key_Backspace:
        if (alt && shift)
            Redo();
        else if (alt)
            Undo();
        else if (!edit)
            return true;
        else if (ctrl)
            DeleteWordBack();
        else if (DelErase && !SelectionEmpty())
            DeleteSelection();
        else
            Backspace();
        if (!alt)
            MarkLineModified(CaretLine());
        return true;
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        if (edit) {
            TShiftState st = 0;
            if (shift || key == Qt::Key_Backtab)
                st |= ssShift;
            if (ctrl)
                st |= ssCtrl;
            if (alt)
                st |= ssAlt;
            WordEndKey(wkTab, st);
            MarkLineModified(CaretLine());
        }
        return true;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (edit && !ctrl && !alt) {
            WordEndKey(wkEnter);
            MarkLineModified(CaretLine());
        }
        return true;
    default:
        break;
    }
    if (ctrl && !alt) {
        switch (key) {
        case Qt::Key_Space:
            if (shift) {
                if (m_hintMode != hpNone)
                    ShowParameterHint();
            } else {
                StartCompletion();
            }
            return true;
        case Qt::Key_A:
            if (edit)
                SelectAll();
            return true;
        case Qt::Key_C:
            CopyToClipboard();
            return true;
        case Qt::Key_V:
            if (edit)
                PasteFromClipboard();
            return true;
        case Qt::Key_X:
            if (edit) {
                CutToClipboard();
                MarkLineModified(CaretLine());
            }
            return true;
        case Qt::Key_Y:
            if (edit) {
                DeleteLine();
                MarkLineModified(CaretLine());
            }
            return true;
        case Qt::Key_F:
            if (OnFind)
                OnFind();
            return true;
        case Qt::Key_H:
            if (OnReplace)
                OnReplace();
            return true;
        default:
            break;
        }
    }
    return false;
}

void TZedCustomMemo::keyPressEvent(QKeyEvent* e)
{
    int key = e->key();
    const Qt::KeyboardModifiers mods = e->modifiers();
    if (OnKeyDown) {
        OnKeyDown(key, mods);
        if (key == 0) {
            e->accept();
            return;
        }
    }
    m_blink.stop();
    m_caretOn = true;
    m_completionTimer.stop();
    const bool ctrl = mods & Qt::ControlModifier;
    const bool alt = mods & Qt::AltModifier;
    const TZedPos caretBefore = Caret();
    // With hpAuto the parameter hint follows every caret move by a key typed without Ctrl.
    auto followHint = [&] {
        if (m_hintMode == hpAuto && !ctrl && Caret() != caretBefore)
            ShowParameterHint();
    };
    if (HandleKey(key, mods)) {
        followHint();
        e->accept();
        return;
    }
    const QString text = e->text();
    if (text.isEmpty() || (ctrl != alt)) {
        e->ignore();  // Escape and other keys without text reach the parent
        return;
    }
    bool used = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        QChar ch = text.at(i);
        if (ch.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            // a character made of two code units goes in whole
            TypeCharacter(text.mid(i, 2));
            ++i;
            used = true;
            continue;
        }
        if (OnKeyPress) {
            OnKeyPress(ch);
            used = true;
            if (ch.isNull())
                continue;
        }
        if (ch.unicode() < 0x20 || ch.unicode() == 0x7F)
            continue;
        if (ch == QLatin1Char(' ') && !ReadOnly && EditAllowed())
            WordEndKey(wkBlank);
        else
            TypeChar(ch);
        if ((ch == QLatin1Char('(') || ch == QLatin1Char('.')) && m_autoCompletion.Active)
            m_completionTimer.start();
        used = true;
    }
    followHint();
    e->setAccepted(used);
}

void TZedCustomMemo::keyReleaseEvent(QKeyEvent* e)
{
    if (hasFocus())
        m_blink.start();
    m_caretOn = true;
    viewport()->update();
    int key = e->key();
    if (OnKeyUp)
        OnKeyUp(key, e->modifiers());
    QAbstractScrollArea::keyReleaseEvent(e);
}

void TZedCustomMemo::inputMethodEvent(QInputMethodEvent* e)
{
    const QString text = e->commitString();
    for (qsizetype i = 0; i < text.size(); ++i) {
        QChar ch = text.at(i);
        if (ch.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            TypeCharacter(text.mid(i, 2));
            ++i;
            continue;
        }
        if (OnKeyPress) {
            OnKeyPress(ch);
            if (ch.isNull())
                continue;
        }
        if (ch.unicode() >= 0x20 && ch.unicode() != 0x7F)
            TypeChar(ch);
    }
    e->accept();
}

// ---------------------------------------------------------------------------------------------
// mouse

QString TZedCustomMemo::UrlAt(int line, int col) const
{
    if (!UrlAware() || line < 0 || line >= Lines().Count())
        return QString();
    const QString s = LineText(line);
    const TZedScanner scanner(*this);
    for (const TZedRun& run : scanner.Runs(s)) {
        if (col >= run.Start && col < run.Start + run.Length) {
            const QString text = s.mid(run.Start, run.Length);
            return (!run.Separator && IsUrl(text)) ? text : QString();
        }
    }
    return QString();
}

void TZedCustomMemo::UrlClick()
{
    const QString url = UrlAt(CaretLine(), CaretCol());
    if (url.isEmpty())
        return;
    if (OnURLClick)
        OnURLClick(url);
    else
        QDesktopServices::openUrl(QUrl::fromUserInput(url));
}

void TZedCustomMemo::mousePressEvent(QMouseEvent* e)
{
    setFocus(Qt::MouseFocusReason);
    const QPoint pt = e->position().toPoint();
    const QRect gutter = GutterRect();
    const bool inGutter = gutter.width() > 1 && pt.x() < gutter.right() + 1;
    const int row = (pt.y() - 3) < 0 ? -1 : (pt.y() - 3) / m_cellHeight;
    const int line = TopLine() + row;
    if (e->button() == Qt::RightButton) {
        if (inGutter && line >= 0 && line < Lines().Count() && OnGutterRightClick)
            OnGutterRightClick(line);
        return;
    }
    if (e->button() != Qt::LeftButton)
        return;
    if (inGutter) {
        if (line >= 0 && line < Lines().Count() && OnGutterClick)
            OnGutterClick(line);
        return;
    }
    const TZedPos pos = CellAt(pt);
    const bool shift = e->modifiers() & Qt::ShiftModifier;
    if (!SelectionEmpty() && !shift) {
        TZedPos a, b;
        OrderedSelection(a, b);
        const int off = PosToOffset(pos);
        if (pos.Col <= LineText(pos.Line).length() && off > PosToOffset(a) && off < PosToOffset(b)) {
            m_dragPending = true;
            return;
        }
    }
    SetCaretCol(pos.Col);
    SetCaretLine(pos.Line);
    if (shift)
        ExtendSelection();
    else
        ClearSelection();
    m_mouseSelecting = true;
    m_ignoreMove = true;
    UrlClick();
}

void TZedCustomMemo::mouseMoveEvent(QMouseEvent* e)
{
    const QPoint pt = e->position().toPoint();
    if (m_ignoreMove) {
        m_ignoreMove = false;
        return;
    }
    const QRect area = TextArea();
    if (pt.x() >= area.left()) {
        const TZedPos cell = CellAt(pt);
        viewport()->setCursor(UrlAt(cell.Line, cell.Col).isEmpty() ? Qt::IBeamCursor : Qt::PointingHandCursor);
    } else {
        viewport()->setCursor(Qt::ArrowCursor);
    }
    if (!(e->buttons() & Qt::LeftButton) || !m_mouseSelecting)
        return;
    TZedPos pos = CellAt(pt);
    if (pt.x() < area.left()) {
        pos.Col = 0;
        SetLeftColumn(0);
    }
    const TZedPos oldEnd = SelEndPos();
    SetCaretCol(pos.Col);
    SetCaretLine(pos.Line);
    m_selEnd = m_anchor = Caret();
    if (oldEnd != m_selEnd) {
        SelectionChanged();
        viewport()->update();
    }
}

void TZedCustomMemo::mouseReleaseEvent(QMouseEvent* e)
{
    m_mouseSelecting = false;
    if (e->button() == Qt::LeftButton) {
        m_caretOn = true;
        if (m_dragPending) {
            m_dragPending = false;
            const TZedPos pos = CellAt(e->position().toPoint());
            SetCaretCol(pos.Col);
            SetCaretLine(pos.Line);
            ClearSelection();
        }
    }
}

void TZedCustomMemo::SelectWordAtCaret()
{
    const QString s = LineText(CaretLine());
    const int c = CaretCol();
    if (c >= s.length() || IsWordDelimiter(s[c]))
        return;
    int a = c;
    while (a > 0 && !IsWordDelimiter(s[a - 1]))
        --a;
    int b = c;
    while (b < s.length() && !IsWordDelimiter(s[b]))
        ++b;
    const int line = CaretLine();
    PlaceCaret(TZedPos{b, line});
    SetSelection(TZedPos{a, line}, TZedPos{b, line});
}

void TZedCustomMemo::mouseDoubleClickEvent(QMouseEvent* e)
{
    if (e->button() != Qt::LeftButton)
        return;
    const QPoint pt = e->position().toPoint();
    if (pt.x() < TextArea().left())
        return;
    m_mouseSelecting = false;
    if (OnDblClick)
        OnDblClick();
    SelectWordAtCaret();
}

void TZedCustomMemo::wheelEvent(QWheelEvent* e)
{
    const int dy = e->angleDelta().y();
    if (dy < 0) {
        if (TopLine() + VisibleRows() < Lines().Count())
            SetTopLine(TopLine() + 4);
    } else if (dy > 0) {
        if (TopLine() < 5 && Lines().Count() > VisibleRows())
            SetTopLine(0);
        else
            SetTopLine(TopLine() - 4);
    }
    e->accept();
}

QMenu* TZedCustomMemo::CreateContextMenu()
{
    auto* menu = new QMenu(this);
    const bool sel = !SelectionEmpty();
    QAction* a = menu->addAction(QStringLiteral("Undo"), this, [this] { Undo(); });
    a->setEnabled(CanUndo() && !ReadOnly);
    a = menu->addAction(QStringLiteral("Redo"), this, [this] { Redo(); });
    a->setEnabled(CanRedo() && !ReadOnly);
    menu->addSeparator();
    a = menu->addAction(QStringLiteral("Copy\tCtrl-C"), this, [this] { CopyToClipboard(); });
    a->setEnabled(sel);
    a = menu->addAction(QStringLiteral("Cut\tCtrl-X"), this, [this] { CutToClipboard(); });
    a->setEnabled(sel);
    const QMimeData* mime = QGuiApplication::clipboard()->mimeData();
    a = menu->addAction(QStringLiteral("Paste\tCtrl-V"), this, [this] { PasteFromClipboard(); });
    a->setEnabled(mime && mime->hasText() && !ReadOnly);
    a = menu->addAction(QStringLiteral("Delete"), this, [this] { DeleteSelection(); });
    a->setEnabled(sel);
    menu->addSeparator();
    menu->addAction(QStringLiteral("Select All\tCtrl-A"), this, [this] { SelectAll(); });
    return menu;
}

void TZedCustomMemo::contextMenuEvent(QContextMenuEvent* e)
{
    const QRect gutter = GutterRect();
    if (gutter.width() > 1 && e->pos().x() < gutter.right() + 1)
        return;
    if (contextMenuPolicy() != Qt::DefaultContextMenu)
        return;
    setFocus(Qt::PopupFocusReason);
    QMenu* menu = CreateContextMenu();
    menu->setObjectName(QStringLiteral("ZedMemoContextMenu"));
    menu->exec(e->globalPos());
    delete menu;
}

void TZedCustomMemo::focusInEvent(QFocusEvent* e)
{
    QAbstractScrollArea::focusInEvent(e);
    m_caretOn = true;
    if (!m_hiddenCaret)
        m_blink.start();
    viewport()->update();
}

void TZedCustomMemo::focusOutEvent(QFocusEvent* e)
{
    QAbstractScrollArea::focusOutEvent(e);
    if (m_hintForm && m_hintForm->isVisible())
        m_hintTimer.start();
    m_blink.stop();
    viewport()->update();
}

void TZedCustomMemo::dragEnterEvent(QDragEnterEvent* e)
{
    if (acceptDrops() && e->mimeData()->hasUrls())
        e->acceptProposedAction();
}

void TZedCustomMemo::dropEvent(QDropEvent* e)
{
    if (!acceptDrops() || !e->mimeData()->hasUrls())
        return;
    for (const QUrl& url : e->mimeData()->urls()) {
        if (!url.isLocalFile())
            continue;
        const QString name = url.toLocalFile();
        if (name.length() > 255)
            continue;
        bool defaultHandler = true;
        if (OnFileDrop)
            OnFileDrop(name, defaultHandler);
        if (defaultHandler)
            Lines().LoadFromFile(name);
    }
    e->acceptProposedAction();
}

// ---------------------------------------------------------------------------------------------
// TZedMemo

// ---------------------------------------------------------------------------------------------
// theme colours

void TZedCustomMemo::ApplyThemeColors()
{
    // No desktop theme library exists here, so there is no active theme and scheme 0 applies.
    const TZedThemeColors c = ThemeGutterColors(QString());
    m_gutter.SetGutterColor(c.GutterColor);
    m_gutter.SetGutterColorTo(c.GutterColorTo);
}

void TZedCustomMemo::showEvent(QShowEvent* e)
{
    QAbstractScrollArea::showEvent(e);
    if (AutoThemeAdapt && !m_themeApplied) {
        m_themeApplied = true;
        ApplyThemeColors();
    }
}

void TZedCustomMemo::changeEvent(QEvent* e)
{
    QAbstractScrollArea::changeEvent(e);
    if (AutoThemeAdapt
        && (e->type() == QEvent::PaletteChange || e->type() == QEvent::StyleChange || e->type() == QEvent::ThemeChange))
        ApplyThemeColors();
}

// ---------------------------------------------------------------------------------------------
// export and printing

QStringList TZedCustomMemo::ExportHtml() const
{
    return ExportHtmlLines(*this, TZedExportLook{m_font.family(), std::max(1, m_font.pointSize()), m_fontColor, m_BkColor});
}

QString TZedCustomMemo::ExportRtf() const
{
    return ExportRtfDocument(*this, TZedExportLook{m_font.family(), std::max(1, m_font.pointSize()), m_fontColor, m_BkColor});
}

void TZedCustomMemo::PrintLines(QPainter* canvas, const QRect& rect, bool viaBuffer) const
{
    const QFont font = canvas->font();
    const QFontMetrics fm(font, canvas->device());
    const int advance = fm.horizontalAdvance(QLatin1Char('w'));
    const int height = fm.height();
    const int count = Lines().Count();
    const QString suffix = m_gutter.NumberSuffix();
    const int numberWidth = m_printOptions.PrintLineNumbers
                                ? fm.horizontalAdvance(QString::number(count) + suffix) + advance
                                : 0;
    const TZedScanner scanner(*this);
    const TZedCustomMemoStyler* styler = UseStyler() ? SyntaxStyles() : nullptr;
    LineStartState state;
    std::vector<TZedPiece> pieces;
    auto drawLine = [&](QPainter& p, int line, QPoint origin) {
        const QString& s = Lines().Strings()[line];
        const int base = origin.y() + fm.ascent();
        if (m_printOptions.PrintLineNumbers) {
            p.setFont(font);
            p.setPen(Qt::black);
            const QString number = QString::number(line + 1) + suffix;
            p.drawText(origin.x() + numberWidth - advance - fm.horizontalAdvance(number), base, number);
        }
        pieces.clear();
        scanner.ScanLine(s, state, &pieces);
        for (const TZedPiece& piece : pieces) {
            const TZedSpanStyle st = PieceStyle(piece, styler, UrlStyle, m_fontColor, m_BkColor);
            QFont f = font;
            f.setBold(st.Style & fsBold);
            f.setItalic(st.Style & fsItalic);
            f.setUnderline(st.Style & fsUnderline);
            p.setFont(f);
            const int x0 = origin.x() + numberWidth + piece.Start * advance;
            if (st.Bg != m_BkColor)
                p.fillRect(QRect(x0, origin.y(), piece.Length * advance, height), ToQColor(st.Bg));
            p.setPen(ToQColor(st.Fg));
            for (int i = 0; i < piece.Length; ++i)
                p.drawText(x0 + i * advance, base, QString(s[piece.Start + i]));
        }
    };
    canvas->save();
    canvas->setClipRect(rect);
    int y = rect.top();
    for (int line = 0; line < count && y < rect.bottom(); ++line, y += height) {
        if (!viaBuffer) {
            drawLine(*canvas, line, QPoint(rect.left(), y));
            continue;
        }
        // Through the line buffer: the line is drawn on a bitmap of its own and copied.
        QImage buffer(rect.width(), height, QImage::Format_ARGB32_Premultiplied);
        buffer.fill(ToQColor(m_BkColor));
        QPainter bp(&buffer);
        drawLine(bp, line, QPoint(0, 0));
        bp.end();
        canvas->drawImage(QPoint(rect.left(), y), buffer);
    }
    canvas->restore();
}

TZedMemo::TZedMemo(QWidget* parent) : TZedCustomMemo(parent)
{
    resize(250, 350);
    DelErase = true;
    ReadOnly = false;
    SetCaseSensitive(false);
    SetBkColor(gfx::clWhite);
    SetFont(gfx::FixedPitchFont(QStringLiteral("COURIER NEW"), 13));
    SetFontColor(gfx::clBlack);
}

QString TZedMemo::Version() const
{
    const quint32 v = GetVersionNr();
    return QStringLiteral("%1.%2.%3.%4").arg(v >> 24).arg((v >> 16) & 0xFF).arg((v >> 8) & 0xFF).arg(v & 0xFF);
}
