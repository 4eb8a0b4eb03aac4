// The mini-HTML renderer: one walk over the text by index, a measuring pass and a drawing pass per
// line, all state kept in the call.
#include "grid/minihtml/MiniHTML.h"

#include "grid/pictures/Pictures.h"
#include "platform/graphics/VisualStyles.h"
#include "platform/grid/DrawUtils.h"

#include <QApplication>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QFontMetrics>
#include <QIcon>
#include <QMimeDatabase>
#include <QPainter>
#include <QPaintDevice>
#include <QStyle>
#include <QStyleFactory>
#include <QStyleOption>
#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

namespace minihtml {

namespace {
bool g_themedControlsPossible = false;

constexpr int kMaxPixels = 16384;
constexpr int kMinPoints = 1;
constexpr int kMaxPoints = 1000;

int clampPixels(int v) { return std::clamp(v, 0, kMaxPixels); }

bool startsWithNoCase(QStringView s, QLatin1StringView prefix) { return s.startsWith(prefix, Qt::CaseInsensitive); }

// The classic look: Qt's "Windows" style, made once and kept for the process.
QStyle* classicStyle()
{
    static QStyle* style = nullptr;
    if (!style && qobject_cast<QApplication*>(QCoreApplication::instance()))
        style = QStyleFactory::create(QStringLiteral("Windows"));
    return style;
}

QStyle* appStyle()
{
    return qobject_cast<QApplication*>(QCoreApplication::instance()) ? QApplication::style() : nullptr;
}

struct FontInfo {
    FontInfo(const QFont& f, const QPaintDevice* device)
        : font(f), fm(f, device), gh(fm.lineSpacing()), blank(fm.horizontalAdvance(QLatin1Char(' '))) {}
    QFont font;
    QFontMetrics fm;
    int gh;
    int blank;
};

enum class Align { Left, Right, Center };

// The render state a line starts from; both passes of a line start from the same copy.
struct State {
    QFont font;
    TColor fontColor = gfx::clWindowText;
    TColor brush = gfx::clNone;   // clNone: clear brush
    bool linkOpen = false;
    bool linkHasHref = false;
    bool linkDecorated = false;
    QString href;
    QString title;
    TColor linkSavedBrush = gfx::clNone;
    TColor linkSavedFont = gfx::clNone;
    int linkStartX = 0;
    int linkStartTop = 0;
    int linkStartLine = -1;
    bool focusOpen = false;
    bool focusFromLineLeft = false;
    int focusStartX = 0;
    bool hidden = false;
    bool shadow = false;
    bool sub = false;
    bool sup = false;
    bool wavy = false;
    bool parBg = false;
    int listLevel = 0;
    Align align = Align::Left;
    int indent = 0;
    int linkCounter = 0;
    int imageCounter = 0;
    TColor fontBgSaved = gfx::clNone;
    TColor hiSavedBrush = gfx::clNone;
    TColor hiSavedFont = gfx::clNone;
    TColor parSavedBrush = gfx::clNone;
    bool rotated = false;
    int angle = 0;
};

struct Line {
    qsizetype start = 0;
    qsizetype end = 0;        // one past the line's source
    int index = 0;
    int left = 0;             // the line's left edge
    int right = 0;            // the rectangle's right edge (exclusive)
    int top = 0;
    int width = 0;
    int height = 0;
    int subExtra = 0;
    int supExtra = 0;
    int baseShift = 0;
    bool dropRest = false;    // the rest of the text is not shown
    int bottom() const { return top + height + subExtra + supExtra; }
};

class Renderer {
public:
    Renderer(QPainter* painter, const TMiniHTMLInput& in, TMiniHTMLResult& out)
        : m_p(painter), m_in(in), m_out(out),
          m_device(painter ? painter->device() : nullptr),
          m_palette(in.Palette ? *in.Palette : in.Window ? in.Window->palette() : QGuiApplication::palette()),
          m_dpi(m_device ? m_device->logicalDpiX() : 96),
          m_paint(painter && !in.HitTest && !in.MeasureOnly) {}

    void run();

private:
    const FontInfo& metrics(const QFont& font);
    void processLine(bool measuring, State& st, Line& ln);
    void applyTag(bool measuring, State& st, Line& ln, QStringView tag, int& width, bool& ended, int& liCount,
                  bool& endUnconsumed, qsizetype lineStart, qsizetype pos);
    void drawPiece(const QString& piece, int x, int w, const State& st, const Line& ln, const FontInfo& fi);
    void image(bool measuring, State& st, Line& ln, QStringView attrs, int& width, bool& endUnconsumed, bool canEnd);
    void control(bool measuring, State& st, Line& ln, QStringView attrs, int& width, bool& endUnconsumed,
                 bool canEnd);
    void drawControl(const QString& type, const QString& value, int left, int w, const Line& ln);
    void drawPart(const QString& cls, int part, int state, const QRect& rect, int classicKind, bool on);
    pictures::THTMLPicture* findPicture(const QString& source);
    void fill(const QRect& r, TColor c);
    void drawFocus(int x1, int x2, const State& st, const Line& ln);
    QColor color(TColor c) const { return gfx::ToQColor(c, &m_palette); }
    int scaled(int v) const { return v * m_dpi / 96; }
    QString attr(QStringView attrs, const char16_t* name, bool* found = nullptr) const
    {
        return TagAttribute(attrs, QStringView(name), found);
    }
    TColor parseColor(const QString& value) const
    {
        return value.startsWith(QLatin1Char('#')) ? HexToColor(value.toUpper()) : ColorNameToColor(value);
    }

    QPainter* m_p;
    const TMiniHTMLInput& m_in;
    TMiniHTMLResult& m_out;
    const QPaintDevice* m_device;
    QPalette m_palette;
    int m_dpi;
    bool m_paint;
    QString m_text;
    qsizetype m_nextLt = -1;          // the first "<" at or after m_nextLtFrom
    qsizetype m_nextLtFrom = 0;
    std::vector<int> m_pieceWidths;   // of the measured line's pieces, for its drawing pass
    size_t m_nextPiece = 0;
    const FontInfo* m_painterFont = nullptr;
    TColor m_painterPen = gfx::clNone;
    int m_hoveredLink = -1;           // the link whose text lies under the point
    int m_hoveredImage = -1;
    bool m_lineLinkHit = false;
    bool m_lineControlHit = false;
    bool m_themed = false;
};

const FontInfo& Renderer::metrics(const QFont& font)
{
    // Metrics outlive the call: cells are painted one after another with the same few fonts.
    // The cache belongs to the painting thread and is keyed by the device's resolution.
    struct Cached {
        std::unique_ptr<FontInfo> info;
        int dpiX;
        int dpiY;
    };
    thread_local std::vector<Cached> cache;
    const int dpiX = m_device ? m_device->logicalDpiX() : -1;
    const int dpiY = m_device ? m_device->logicalDpiY() : -1;
    for (const Cached& c : cache) {
        if (c.dpiX == dpiX && c.dpiY == dpiY && c.info->font == font)
            return *c.info;
    }
    if (cache.size() >= 32)
        cache.erase(cache.begin());
    cache.push_back({std::make_unique<FontInfo>(font, m_device), dpiX, dpiY});
    return *cache.back().info;
}

void Renderer::fill(const QRect& r, TColor c)
{
    if (m_paint && c != gfx::clNone && !r.isEmpty())
        m_p->fillRect(r, color(c));
}

void Renderer::run()
{
    if (m_p)
        m_p->save();
    m_themed = ThemedControlsPossible() && m_in.Window && visualstyles::IsThemeActive();
    m_text = LineBreaksToBR(UnwrapFieldMarks(m_in.Text), true);

    State st;
    st.font = m_in.Font;
    st.fontColor = m_in.FontColor;
    st.hiSavedFont = m_in.FontColor;   // a stray </HI> goes back to the starting colours
    const QRect& r = m_in.Rect;
    const int workLeft = r.x() + 1;
    const int right = r.x() + r.width();
    const int bottom = r.y() + r.height();
    int top = r.y();
    qsizetype pos = 0;
    const qsizetype n = m_text.size();
    while (pos < n) {
        const State lineStart = st;
        const int gh = metrics(lineStart.font).gh;
        Line ln;
        ln.start = pos;
        ln.index = m_out.Lines;
        ln.top = top;
        ln.left = workLeft + st.indent;
        ln.right = right;
        State measured = lineStart;
        processLine(true, measured, ln);

        int left = workLeft;
        if (measured.align == Align::Right) {
            if (right - ln.width > workLeft)
                left = right - ln.width;
        } else if (measured.align == Align::Center) {
            const int free = right - workLeft - ln.width;
            if (free > 0)
                left = workLeft + free / 2;
        }
        ln.left = left + measured.indent;

        if (!m_in.MeasureOnly) {
            State drawn = lineStart;
            m_lineLinkHit = false;
            m_lineControlHit = false;
            processLine(false, drawn, ln);
            const int textBottom = ln.bottom() - ln.baseShift;
            if ((m_lineLinkHit && m_in.Y > textBottom - gh && m_in.Y < textBottom) || m_lineControlHit)
                m_out.Hit = true;
            st = drawn;
        } else {
            st = measured;
        }
        m_out.ExtentX = std::max(m_out.ExtentX, ln.width);
        const int h = ln.height + ln.subExtra + ln.supExtra;
        top += h;
        m_out.ExtentY += h;
        ++m_out.Lines;
        pos = ln.end;
        if (ln.dropRest)
            break;
        // Only whole lines are drawn; the first one always is.
        if (!m_in.MeasureOnly && top + gh > bottom)
            break;
    }
    if (m_out.Lines == 0)
        m_out.ExtentY = metrics(m_in.Font).gh;
    if (m_p)
        m_p->restore();
}

void Renderer::processLine(bool measuring, State& st, Line& ln)
{
    const qsizetype n = m_text.size();
    const qsizetype stop = measuring ? n : ln.end;
    qsizetype pos = ln.start;
    int width = 0;
    int trailingBlank = 0;
    bool endsBlank = false;
    bool ended = false;
    int liCount = 0;
    if (measuring) {
        m_pieceWidths.clear();
        ln.height = metrics(st.font).gh;
        ln.subExtra = ln.supExtra = ln.baseShift = 0;
    } else {
        m_nextPiece = 0;
        if (st.parBg)
            fill(QRect(m_in.Rect.x(), ln.top, m_in.Rect.width(), ln.bottom() - ln.top), st.brush);
        if (st.focusOpen && st.focusFromLineLeft)
            st.focusStartX = ln.left;
    }
    const int avail = ln.right - ln.left;

    while (pos < stop && !ended) {
        if (m_text[pos] != QLatin1Char('<')) {
            if (m_nextLt < pos || pos < m_nextLtFrom) {
                m_nextLtFrom = pos;
                m_nextLt = m_text.indexOf(QLatin1Char('<'), pos);
                if (m_nextLt < 0)
                    m_nextLt = n;
            }
            qsizetype e = std::min(m_nextLt, stop);
            if (m_in.WordWrap) {
                const qsizetype blank = QStringView(m_text).mid(pos, e - pos).indexOf(QLatin1Char(' '));
                if (blank >= 0)
                    e = pos + blank + 1;
            }
            const QStringView raw = QStringView(m_text).mid(pos, e - pos);
            const QString piece = raw.contains(QLatin1Char('&')) ? DecodeEntities(raw) : raw.toString();
            if (st.hidden) {
                if (measuring)
                    m_out.VisibleText += piece;
                pos = e;
                continue;
            }
            const FontInfo& fi = metrics(st.font);
            // Both passes cut the same pieces: the drawing pass takes the measured widths.
            const int w = !measuring && m_nextPiece < m_pieceWidths.size() ? m_pieceWidths[m_nextPiece++]
                                                                           : fi.fm.horizontalAdvance(piece);
            if (measuring) {
                const bool first = pos == ln.start || width == 0;
                const bool fits = width + w < avail || w >= avail || !endsBlank;
                if (m_in.WordWrap && !fits && pos > ln.start) {
                    ended = true;   // the piece starts the next line
                    break;
                }
                if (st.sub)
                    ln.subExtra = std::max(ln.subExtra, fi.gh / 4);
                if (st.sup)
                    ln.supExtra = std::max(ln.supExtra, fi.gh / 4);
                ln.height = std::max(ln.height, fi.gh);
                m_out.VisibleText += piece;
                m_pieceWidths.push_back(w);
                width += w;
                endsBlank = piece.endsWith(QLatin1Char(' '));
                trailingBlank = endsBlank ? fi.blank : 0;
                pos = e;
                if (!m_in.WordWrap && !fits && !first) {
                    ln.dropRest = true;
                    ended = true;
                }
            } else {
                const int x = ln.left + width;
                if (st.linkOpen && st.linkHasHref && m_in.X >= x && m_in.X <= x + w && m_in.Y >= ln.top
                    && m_in.Y < ln.bottom()) {
                    m_lineLinkHit = true;
                    m_out.AnchorValue = st.href;
                    m_out.AnchorTitle = st.title;
                    m_hoveredLink = st.linkCounter;
                }
                if (st.linkOpen && st.linkCounter - 1 == m_in.FocusLink)
                    m_out.FocusAnchor = st.href;
                if (m_paint)
                    drawPiece(piece, x, w, st, ln, fi);
                width += w;
                pos = e;
            }
            continue;
        }
        // A tag: from "<" to the first ">" after it; without one the text ends here.
        const qsizetype gt = m_text.indexOf(QLatin1Char('>'), pos + 1);
        if (gt < 0 || gt >= n) {
            pos = n;
            ln.dropRest = true;
            break;
        }
        bool endUnconsumed = false;
        applyTag(measuring, st, ln, QStringView(m_text).mid(pos + 1, gt - pos - 1), width, ended, liCount,
                 endUnconsumed, ln.start, pos);
        if (endUnconsumed)
            break;
        pos = gt + 1;
    }
    if (measuring) {
        ln.end = pos;
        ln.width = std::max(0, width - (endsBlank ? trailingBlank : 0));
    } else if (st.focusOpen && st.linkCounter - 1 == m_in.FocusLink) {
        // The focused link goes on: its rectangle so far, the rest from the next line's left.
        drawFocus(st.focusStartX, ln.left + width, st, ln);
        st.focusFromLineLeft = true;
    }
}

void Renderer::applyTag(bool measuring, State& st, Line& ln, QStringView tag, int& width, bool& ended,
                        int& liCount, bool& endUnconsumed, qsizetype lineStart, qsizetype pos)
{
    if (tag.isEmpty())
        return;
    const auto up = [&](qsizetype i) { return i < tag.size() ? tag[i].toUpper() : QChar(); };
    const QChar c1 = up(0);
    const QChar c2 = up(1);
    const bool canEnd = pos > lineStart;   // a line always takes at least one item
    // The attributes follow the tag's name.
    qsizetype nameEnd = 0;
    while (nameEnd < tag.size() && tag[nameEnd] != QLatin1Char(' ') && tag[nameEnd] != QLatin1Char('\t'))
        ++nameEnd;
    const QStringView attrs = tag.mid(nameEnd);
    const int x = ln.left + width;

    if (c1 == QLatin1Char('/')) {
        const QChar c3 = up(2);
        const bool short3 = tag.size() == 2;
        switch (c2.unicode()) {
        case u'A':
            if (st.linkDecorated && !measuring) {
                st.font.setUnderline(false);
                if (m_in.HoverColor != gfx::clNone)
                    st.brush = st.linkSavedBrush;
                if (m_in.HoverFontColor != gfx::clNone)
                    st.fontColor = st.linkSavedFont;
            }
            if (!m_in.Selected)
                st.fontColor = m_in.FontColor;
            if (!measuring && st.linkOpen && m_hoveredLink == st.linkCounter) {
                const QPoint from = st.linkStartLine == ln.index ? QPoint(st.linkStartX, st.linkStartTop)
                                                                  : QPoint(ln.left, ln.top);
                m_out.HoverRect = QRect(from.x(), from.y(), x - from.x(), ln.bottom() - from.y());
                m_out.HoverLinkIndex = st.linkCounter;
            }
            if (!measuring && st.focusOpen && st.linkCounter - 1 == m_in.FocusLink) {
                drawFocus(st.focusStartX, x, st, ln);
                st.focusOpen = false;
            }
            st.linkOpen = false;
            st.linkHasHref = false;
            st.linkDecorated = false;
            break;
        case u'B':
            if (short3)
                st.font.setBold(false);
            else
                st.fontColor = m_in.FontColor;   // </BLINK>, </BODY>
            break;
        case u'E': st.wavy = false; break;
        case u'F':
            st.font.setFamily(m_in.Font.family());
            if (m_in.Font.pointSizeF() > 0)
                st.font.setPointSizeF(m_in.Font.pointSizeF());
            else
                st.font.setPixelSize(m_in.Font.pixelSize());
            if (!m_in.Selected) {
                st.fontColor = m_in.FontColor;
                st.brush = st.fontBgSaved;
            }
            break;
        case u'H':
            st.fontColor = st.hiSavedFont;
            st.brush = st.hiSavedBrush;
            break;
        case u'I': st.font.setItalic(false); break;
        case u'L': ended = true; break;
        case u'P':
            ended = true;
            if (st.parBg)
                st.brush = st.parSavedBrush;
            st.parBg = false;
            break;
        case u'R': st.rotated = false; break;
        case u'S':
            if (c3 == QLatin1Char('U')) {
                st.sub = false;
                st.sup = false;
            } else if (c3 == QLatin1Char('H')) {
                st.shadow = false;
            } else {
                st.font.setStrikeOut(false);
            }
            break;
        case u'U':
            if (short3)
                st.font.setUnderline(false);
            else if (st.listLevel > 0)
                --st.listLevel;
            else
                st.font.setUnderline(false);
            break;
        case u'Z': st.hidden = false; break;
        default: break;
        }
        return;
    }

    const bool short2 = tag.size() == 1;
    switch (c1.unicode()) {
    case u'A': {
        if (st.linkCounter == m_in.FocusLink) {
            st.focusOpen = true;
            st.focusFromLineLeft = false;
            st.focusStartX = x;
        }
        ++st.linkCounter;
        if (measuring)
            ++m_out.LinkCount;
        bool has = false;
        st.href = attr(attrs, u"HREF", &has);
        st.linkHasHref = has;
        st.title = attr(attrs, u"TITLE");
        st.linkOpen = true;
        const bool decorated = !m_in.HoverEnabled || st.linkCounter == m_in.HoverLink;
        st.linkDecorated = decorated;
        if (decorated && !measuring) {
            st.font.setUnderline(true);
            if (m_in.HoverColor != gfx::clNone) {
                st.linkSavedBrush = st.brush;
                st.brush = m_in.HoverColor;
            }
            if (m_in.HoverFontColor != gfx::clNone) {
                st.linkSavedFont = st.fontColor;
                st.fontColor = m_in.HoverFontColor;
            }
        }
        const bool hoverColoured = m_in.HoverFontColor != gfx::clNone && m_in.HoverEnabled
                                   && st.linkCounter == m_in.HoverLink;
        if (!m_in.Selected && !hoverColoured)
            st.fontColor = m_in.URLColor;
        st.linkStartX = x;
        st.linkStartTop = ln.top;
        st.linkStartLine = ln.index;
        break;
    }
    case u'B':
        if (short2) {
            st.font.setBold(true);
        } else if (c2 == QLatin1Char('R')) {
            ended = true;
            if (measuring)
                m_out.VisibleText += QLatin1Char('\r');
        } else if (c2 == QLatin1Char('L')) {
            if (!m_in.BlinkOn)
                st.fontColor = m_in.BrushColor;
        } else if (c2 == QLatin1Char('O')) {
            if (!measuring && m_paint) {
                bool has = false;
                const QString background = attr(attrs, u"BACKGROUND", &has);
                pictures::THTMLPicture* pic = has ? findPicture(background) : nullptr;
                if (pic && !pic->Empty() && pic->Width() > 0 && pic->Height() > 0) {
                    // Tiled from the rectangle's top-left; only tiles in the visible part are drawn.
                    QRect visible = m_in.Rect;
                    if (m_p->hasClipping())
                        visible &= m_p->clipBoundingRect().toAlignedRect();
                    if (m_p->transform().isIdentity())
                        visible &= QRect(0, 0, m_device->width(), m_device->height());
                    if (!visible.isEmpty()) {
                        m_p->save();
                        m_p->setClipRect(m_in.Rect, Qt::IntersectClip);
                        const int tw = pic->Width();
                        const int th = pic->Height();
                        const int x0 = m_in.Rect.x() + (visible.x() - m_in.Rect.x()) / tw * tw;
                        const int y0 = m_in.Rect.y() + (visible.y() - m_in.Rect.y()) / th * th;
                        for (int ty = y0; ty < visible.y() + visible.height(); ty += th)
                            for (int tx = x0; tx < visible.x() + visible.width(); tx += tw)
                                pic->DrawInto(*m_p, QRect(tx, ty, tw, th), false);
                        m_p->restore();
                    }
                }
            }
            bool has = false;
            const QString value = attr(attrs, u"BGCOLOR", &has);
            if (has) {
                TColor c = gfx::clNone;
                if (value.contains(QLatin1Char('#')))
                    c = HexToColor(value.mid(value.indexOf(QLatin1Char('#'))).toUpper());
                else if (value.contains(QLatin1String("CL"), Qt::CaseInsensitive))
                    c = ColorNameToColor(value);
                if (c != gfx::clNone) {
                    st.brush = c;
                    st.fontBgSaved = c;
                    if (!measuring)
                        fill(m_in.Rect, c);
                }
            }
        }
        break;
    case u'C':
        control(measuring, st, ln, attrs, width, endUnconsumed, canEnd);
        break;
    case u'E': st.wavy = true; break;
    case u'F': {
        bool has = false;
        const QString face = attr(attrs, u"FACE", &has);
        if (has && !face.isEmpty())
            st.font.setFamily(face);
        const QString fc = attr(attrs, u"COLOR", &has);
        if (has && !m_in.Selected)
            st.fontColor = parseColor(fc);
        const QString bg = attr(attrs, u"BGCOLOR", &has);
        if (has && !m_in.Selected) {
            st.fontBgSaved = st.brush;
            st.brush = parseColor(bg);
        }
        const QString size = attr(attrs, u"SIZE", &has);
        if (has) {
            int n = TextToIntLoose(size);
            static const int kSizes[] = {8, 10, 12, 14, 16};
            if (n >= 1 && n <= 5)
                n = kSizes[n - 1];
            st.font.setPointSize(std::clamp(n, kMinPoints, kMaxPoints));
        }
        break;
    }
    case u'H':
        if (c2 == QLatin1Char('I')) {
            st.hiSavedFont = st.fontColor;
            st.hiSavedBrush = st.brush;
            st.brush = gfx::clHighlight;
            st.fontColor = gfx::clHighlightText;
        } else if (c2 == QLatin1Char('R')) {
            ended = true;
            if (!measuring && m_paint) {
                const int y = ln.bottom() + 1;
                m_p->setPen(QPen(Qt::black, 1));
                m_p->drawLine(ln.left, y, ln.right, y);
                m_painterPen = gfx::clNone;
            }
        }
        break;
    case u'I':
        if (short2) {
            st.font.setItalic(true);
        } else if (c2 == QLatin1Char('N')) {
            const int v = clampPixels(TextToIntLoose(attr(attrs, u"X")));
            if (v > width)
                width = v;
        } else if (c2 == QLatin1Char('M')) {
            image(measuring, st, ln, attrs, width, endUnconsumed, canEnd);
        }
        break;
    case u'L':
        ++liCount;
        if (measuring && liCount > 1 && canEnd) {
            endUnconsumed = true;
            return;
        }
        width += st.listLevel * 12;
        if (!measuring && m_paint && st.listLevel > 0) {
            const FontInfo& fi = metrics(st.font);
            const QString bullet = st.listLevel % 2 ? QStringLiteral("\u2022") : QStringLiteral("o");
            m_p->setFont(fi.font);
            m_painterFont = &fi;
            m_p->setPen(color(st.fontColor == gfx::clNone ? m_in.FontColor : st.fontColor));
            m_painterPen = gfx::clNone;
            m_p->drawText(QPoint(ln.left + width - 12, ln.bottom() - ln.subExtra - fi.fm.descent()), bullet);
        }
        break;
    case u'P': {
        bool has = false;
        const QString align = attr(attrs, u"ALIGN", &has).toUpper();
        if (has) {
            if (align.contains(QLatin1String("RIGHT")))
                st.align = Align::Right;
            if (align.contains(QLatin1String("LEFT")))
                st.align = Align::Left;
            if (align.contains(QLatin1String("CENTER")))
                st.align = Align::Center;
        }
        const QString indent = attr(attrs, u"INDENT", &has);
        if (has)
            st.indent = clampPixels(TextToIntLoose(indent));
        const QString bg = attr(attrs, u"BGCOLOR", &has);
        if (has) {
            const TColor c = bg.isEmpty() ? gfx::clNone : parseColor(bg);
            if (!st.parBg)
                st.parSavedBrush = st.brush;
            st.brush = c;
            st.parBg = true;
            if (!measuring)
                fill(QRect(m_in.Rect.x(), ln.top, m_in.Rect.width(), ln.bottom() - ln.top), c);
        }
        break;
    }
    case u'R':
        st.rotated = true;
        st.angle = TextToIntLoose(attr(attrs, u"A")) % 360;
        break;
    case u'S':
        if (short2)
            st.font.setStrikeOut(true);
        else if (c2 == QLatin1Char('H'))
            st.shadow = true;
        else if (tag.compare(QLatin1String("SUB"), Qt::CaseInsensitive) == 0)
            st.sub = true;
        else if (tag.compare(QLatin1String("SUP"), Qt::CaseInsensitive) == 0)
            st.sup = true;
        break;
    case u'U':
        if (short2) {
            st.font.setUnderline(true);
        } else {
            ++st.listLevel;
            ended = true;
        }
        break;
    case u'Z': st.hidden = true; break;
    default: break;
    }
}

void Renderer::drawPiece(const QString& piece, int x, int w, const State& st, const Line& ln, const FontInfo& fi)
{
    int bottom = ln.bottom() - ln.subExtra;
    if (st.sup)
        bottom -= ln.supExtra;
    if (st.sub)
        bottom += ln.subExtra;
    bottom -= ln.baseShift;
    QString shown = piece;
    int shownWidth = w;
    if (!m_in.WordWrap && x + w > ln.right) {
        shown = fi.fm.elidedText(piece, Qt::ElideRight, std::max(0, ln.right - x));
        shownWidth = fi.fm.horizontalAdvance(shown);
    }
    if (shown.isEmpty())
        return;
    if (st.brush != gfx::clNone)
        fill(QRect(x, bottom - fi.gh, shownWidth, fi.gh), st.brush);
    if (m_painterFont != &fi) {
        m_p->setFont(fi.font);
        m_painterFont = &fi;
    }
    const int baseline = bottom - fi.fm.descent();
    auto text = [&](int dx, int dy, TColor c) {
        if (c == gfx::clNone)
            return;   // no colour: invisible (blinking text on a clear brush)
        if (m_painterPen != c) {
            m_p->setPen(color(c));
            m_painterPen = c;
        }
        if (st.rotated && st.angle != 0) {
            m_p->save();
            m_p->translate(x + dx, baseline + dy);
            m_p->rotate(-st.angle);
            m_p->drawText(QPoint(0, 0), shown);
            m_p->restore();
        } else {
            m_p->drawText(QPoint(x + dx, baseline + dy), shown);
        }
    };
    if (st.shadow)
        text(m_in.ShadowOffset, m_in.ShadowOffset, m_in.ShadowColor);
    text(0, 0, st.fontColor);
    if (st.wavy) {
        QPolygon zigzag;
        int px = x & ~1;
        bool low = px % 4 == 0;
        for (; px <= x + shownWidth; px += 2, low = !low)
            zigzag << QPoint(px, low ? bottom + 1 : bottom - 1);
        m_p->setPen(QPen(Qt::red, 1));
        m_painterPen = gfx::clNone;
        m_p->drawPolyline(zigzag);
    }
}

pictures::THTMLPicture* Renderer::findPicture(const QString& source)
{
    if (source.isEmpty())
        return nullptr;
    if (!source.contains(QLatin1Char(':')))
        return m_in.PictureContainer ? m_in.PictureContainer->PictureByName(source) : nullptr;
    if (!source.contains(QLatin1String("://")) || !m_in.PictureCache)
        return nullptr;
    pictures::THTMLPicture* pic = m_in.PictureCache->FindCached(source);
    if (!pic) {
        pic = m_in.PictureCache->AddEmpty();
        pic->Asynchronous = false;
        pic->LoadFromSource(source);
        pic->CacheKey = source;
    }
    return pic;
}

void Renderer::image(bool measuring, State& st, Line& ln, QStringView attrs, int& width, bool& endUnconsumed,
                     bool canEnd)
{
    ++st.imageCounter;
    QString src = attr(attrs, u"SRC");
    bool hasW = false;
    bool hasH = false;
    const int wAttr = clampPixels(TextToIntLoose(attr(attrs, u"WIDTH", &hasW)));
    const int hAttr = clampPixels(TextToIntLoose(attr(attrs, u"HEIGHT", &hasH)));
    const bool sized = hasW && hasH && wAttr >= 1 && hAttr >= 1;

    enum class Kind { None, List, Icon, Picture } kind = Kind::None;
    int index = -1;
    bool large = false;
    pictures::THTMLPicture* pic = nullptr;
    QSize size(0, 0);
    auto resolve = [&](const QString& source) {
        kind = Kind::None;
        size = QSize(0, 0);
        if (startsWithNoCase(source, QLatin1StringView("IDX:"))) {
            index = TextToIntLoose(QStringView(source).mid(4));
            if (m_in.Images && index >= 0 && index < m_in.Images->Count()) {
                kind = Kind::List;
                size = QSize(scaled(m_in.Images->Width()), scaled(m_in.Images->Height()));
            }
        } else if (startsWithNoCase(source, QLatin1StringView("SSYS:")) || startsWithNoCase(source, QLatin1StringView("LSYS:"))) {
            large = source[0].toUpper() == QLatin1Char('L');
            kind = Kind::Icon;
            const QSize s = DrawSystemIcon(nullptr, 0, 0, source.mid(5), large, false, false, 1.0);
            size = QSize(scaled(s.width()), scaled(s.height()));
        } else {
            pic = findPicture(source);
            if (pic && !pic->Empty() && pic->Decoded()) {
                kind = Kind::Picture;
                size = sized ? QSize(wAttr, hAttr) : QSize(pic->FrameWidth(), pic->FrameHeight());
                size = QSize(scaled(size.width()), scaled(size.height()));
            }
        }
    };
    resolve(src);
    const int w = size.width();
    const int h = size.height();
    const int x = ln.left + width;
    if (measuring) {
        if (kind != Kind::None && width + w > ln.right - ln.left && w < ln.right - ln.left && canEnd) {
            endUnconsumed = true;
            return;
        }
        width += w;
        ln.height = std::max(ln.height, h);
        const QString align = attr(attrs, u"ALIGN").toUpper();
        const int gh = metrics(st.font).gh;
        if (align == QLatin1String("TOP"))
            ln.baseShift = ln.height - gh;
        else if (align == QLatin1String("MIDDLE"))
            ln.baseShift = (ln.height - gh) / 2;
        return;
    }
    if (kind == Kind::None)
        return;
    if (m_in.X > x && m_in.X < x + w && m_in.Y > ln.top && m_in.Y < ln.top + h && st.linkOpen && st.linkHasHref) {
        m_lineControlHit = true;
        m_out.AnchorValue = st.href;
        m_hoveredImage = st.imageCounter;
        bool hasAlt = false;
        const QString alt = attr(attrs, u"ALT", &hasAlt);
        if (hasAlt && !alt.isEmpty())
            resolve(alt);   // a hovered linked image shows its ALT picture
    }
    width += w;
    if (!m_paint || kind == Kind::None)
        return;
    switch (kind) {
    case Kind::List:
        if (m_in.ScaleImages) {
            const int sw = int(std::lround(m_in.Images->Width() * m_in.ScaleFactor));
            const int sh = int(std::lround(m_in.Images->Height() * m_in.ScaleFactor));
            StretchDrawBitmapDIB(*m_p, QRect(x, ln.top, sw, sh), m_in.Images->Image(index));
        } else {
            m_in.Images->Draw(*m_p, x, ln.top, index);
        }
        break;
    case Kind::Icon:
        DrawSystemIcon(m_p, x, ln.top, src.mid(5), large, true, m_in.ScaleImages, m_in.ScaleFactor);
        break;
    case Kind::Picture:
        if (sized) {
            pic->DrawInto(*m_p, QRect(x, ln.top, wAttr, hAttr), true);
        } else {
            const QPoint at(x + pic->FrameOffset().x(), ln.top + pic->FrameOffset().y());
            if (pic->GIFFrameCount() > 1)
                fill(QRect(at, QSize(pic->FrameWidth(), pic->FrameHeight())), m_in.BrushColor);
            pic->DrawInto(*m_p, QRect(at, QSize(pic->FrameWidth(), pic->FrameHeight())), false);
        }
        break;
    case Kind::None: break;
    }
}

void Renderer::control(bool measuring, State& st, Line& ln, QStringView attrs, int& width, bool& endUnconsumed,
                       bool canEnd)
{
    QString type, id, value, widthText, prop;
    ParseControlTag(attrs.toString(), type, id, value, widthText, prop);
    const QString trimmed = widthText.trimmed();
    // A control without a numeric WIDTH is skipped.
    if (trimmed.isEmpty() || !trimmed[0].isDigit())
        return;
    int w = clampPixels(TextToIntLoose(trimmed));
    int h = metrics(st.font).gh + 6;
    if (type == QLatin1String("COMBO"))
        h = 25;
    else if (type == QLatin1String("BUTTON"))
        h = 18;
    else if (type == QLatin1String("CHECK") || type == QLatin1String("RADIO"))
        w = h = 16;
    if (measuring) {
        if (width + w > ln.right - ln.left && w < ln.right - ln.left && canEnd) {
            endUnconsumed = true;
            return;
        }
        width += w;
        ln.height = std::max(ln.height, h);
        return;
    }
    const int left = ln.left + width;
    const bool under = m_in.X > left && m_in.X < left + w && m_in.Y > ln.top && m_in.Y < ln.top + h;
    if (under || (m_in.HitTest && !m_in.ControlID.isEmpty() && id == m_in.ControlID)) {
        m_lineControlHit = true;
        m_out.AnchorValue = QStringLiteral("ctrl");
        m_out.ControlRect = QRect(left, ln.top, w, h);
        m_out.ControlValue = value;
        m_out.ControlID = id;
        m_out.ControlType = type;
    }
    if (m_paint)
        drawControl(type, value, left, w, ln);
    width += w;
}

void Renderer::drawPart(const QString& cls, int part, int state, const QRect& rect, int classicKind, bool on)
{
    if (m_themed) {
        visualstyles::HTheme theme = visualstyles::OpenThemeData(m_in.Window, cls);
        if (theme) {
            visualstyles::DrawThemeBackground(theme, *m_p, part, state, rect);
            visualstyles::CloseThemeData(theme);
            return;
        }
    }
    QStyle* style = classicStyle();
    if (!style)
        return;
    QStyleOptionButton opt;
    opt.rect = rect;
    opt.palette = m_palette;
    opt.state = QStyle::State_Enabled;
    switch (classicKind) {
    case 0:   // push button
        opt.state |= on ? QStyle::State_Sunken : QStyle::State_Raised;
        style->drawPrimitive(QStyle::PE_PanelButtonCommand, &opt, m_p);
        break;
    case 1:   // check box
        opt.state |= on ? QStyle::State_On : QStyle::State_Off;
        style->drawPrimitive(QStyle::PE_IndicatorCheckBox, &opt, m_p);
        break;
    case 2:   // radio button
        opt.state |= on ? QStyle::State_On : QStyle::State_Off;
        style->drawPrimitive(QStyle::PE_IndicatorRadioButton, &opt, m_p);
        break;
    default: { // drop-down button
        opt.state |= QStyle::State_Raised;
        style->drawPrimitive(QStyle::PE_PanelButtonCommand, &opt, m_p);
        QStyleOption arrow;
        arrow.rect = rect.adjusted(3, 3, -3, -3);
        arrow.palette = m_palette;
        arrow.state = QStyle::State_Enabled;
        style->drawPrimitive(QStyle::PE_IndicatorArrowDown, &arrow, m_p);
        break;
    }
    }
}

void Renderer::drawControl(const QString& type, const QString& value, int left, int w, const Line& ln)
{
    const int bottom = ln.bottom();
    const int h = ln.height;
    const bool on = value.compare(QLatin1String("TRUE"), Qt::CaseInsensitive) == 0;
    m_painterPen = gfx::clNone;
    m_painterFont = nullptr;
    m_p->save();
    m_p->setPen(QColor(0x80, 0x80, 0x80));
    m_p->setBrush(Qt::NoBrush);
    auto frame = [&] { m_p->drawRect(QRect(left, bottom - h + 3, w - 1, h - 3)); };
    auto valueText = [&](const QRect& r, const QString& text, int flags) {
        m_p->setPen(color(m_in.FontColor));
        m_p->setFont(m_in.Font);
        m_p->drawText(r, flags | Qt::TextSingleLine, text);
    };
    if (type == QLatin1String("EDIT") || type == QLatin1String("MASK") || type == QLatin1String("PASSWORD")) {
        frame();
        valueText(QRect(QPoint(left + 2, bottom - h + 4), QPoint(left + w - 1, bottom - 1)),
                  type == QLatin1String("PASSWORD") ? PasswordText(value) : value, Qt::AlignLeft | Qt::AlignVCenter);
    } else if (type == QLatin1String("COMBO")) {
        frame();
        valueText(QRect(QPoint(left + 2, bottom - h + 6), QPoint(left + w - 18, bottom - 1)), value,
                  Qt::AlignLeft | Qt::AlignVCenter);
        const bool hot = m_in.X > left - 2 && m_in.X < left - 2 + w && m_in.Y > bottom - 25 - 2 && m_in.Y < bottom - 2;
        drawPart(QStringLiteral("combobox"), visualstyles::CP_DROPDOWNBUTTON, hot ? 2 : 1,
                 QRect(QPoint(left + w - 19, bottom - h + 6), QPoint(left + w - 4, bottom - 3)), 3, false);
    } else if (type == QLatin1String("CHECK")) {
        drawPart(QStringLiteral("button"), visualstyles::BP_CHECKBOX, on ? 5 : 1,
                 QRect(QPoint(left + 2, bottom - 15), QPoint(left + 14, bottom - 1)), 1, on);
    } else if (type == QLatin1String("RADIO")) {
        drawPart(QStringLiteral("button"), visualstyles::BP_RADIOBUTTON, on ? 5 : 1,
                 QRect(QPoint(left + 2, bottom - 14), QPoint(left + 13, bottom - 1)), 2, on);
    } else if (type == QLatin1String("BUTTON")) {
        const bool hot = m_in.X > left - 2 && m_in.X < left - 2 + w && m_in.Y > bottom - 24 - 2 && m_in.Y < bottom - 2;
        const QRect face(QPoint(left + 2, bottom - 20), QPoint(left + w - 3, bottom - 1));
        drawPart(QStringLiteral("button"), visualstyles::BP_PUSHBUTTON, m_in.MouseDown ? 3 : hot ? 2 : 1, face, 0,
                 hot && m_in.MouseDown);
        valueText(face.adjusted(2, 2, -2, -2), value, Qt::AlignHCenter | Qt::AlignVCenter);
    }
    m_p->restore();
}

void Renderer::drawFocus(int x1, int x2, const State& st, const Line& ln)
{
    if (!m_paint)
        return;
    const int bottom = ln.bottom() - ln.baseShift;
    const int top = bottom - metrics(st.font).gh;
    tk::DrawFocusRect(*m_p, QRect(QPoint(x1 - 1, top), QPoint(x2, bottom - 1)), m_in.Window);
    m_painterPen = gfx::clNone;
}

} // namespace

bool ThemedControlsPossible() { return g_themedControlsPossible; }
void SetThemedControlsPossible(bool value) { g_themedControlsPossible = value; }

void MiniHTMLUnitStartup()
{
    // Every Linux desktop style can draw themed controls.
    g_themedControlsPossible = true;
}

bool DrawMiniHTML(QPainter* painter, const TMiniHTMLInput& in, TMiniHTMLResult& out)
{
    out = TMiniHTMLResult();
    if (in.HitTest)
        out.ControlID = in.ControlID;
    Renderer(painter, in, out).run();
    return out.Hit;
}

// ------------------------------------------------------------------ icons and bitmaps

QSize DrawSystemIcon(QPainter* painter, int x, int y, const QString& source, bool large, bool draw,
                     bool stretched, double factor)
{
    const int s = large ? 32 : 16;
    if (!draw || !painter)
        return QSize(s, s);
    QStyle* style = appStyle();
    const QIcon fallback = style ? style->standardIcon(QStyle::SP_FileIcon) : QIcon();
    QIcon icon;
    bool number = false;
    source.toInt(&number);
    if (number) {
        icon = fallback;
    } else if (QFileInfo::exists(source)) {
        icon = QFileIconProvider().icon(QFileInfo(source));
    } else {
        const QMimeType mime = QMimeDatabase().mimeTypeForFile(source, QMimeDatabase::MatchExtension);
        icon = QIcon::fromTheme(mime.iconName(), QIcon::fromTheme(mime.genericIconName(), fallback));
    }
    if (icon.isNull())
        icon = fallback;
    if (stretched) {
        const int side = int(std::lround(s * factor));
        StretchDrawBitmapDIB(*painter, QRect(x, y, side, side), icon.pixmap(s, s).toImage());
    } else {
        icon.paint(painter, QRect(x, y, s, s));
    }
    return QSize(s, s);
}

void StretchDrawBitmapDIB(QPainter& painter, const QRect& rect, const QImage& bitmap)
{
    if (!bitmap.isNull() && !rect.isEmpty())
        painter.drawImage(rect, bitmap);
}

bool IsDirectory(const QString& path) { return QFileInfo(path).isDir(); }

} // namespace minihtml
