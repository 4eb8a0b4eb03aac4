#pragma once
// Mini-HTML: the grid family's own small tag language for cell texts, hints, footers and button
// captions. DrawMiniHTML paints such a text into a rectangle, measures it and tests a point against
// it with one set of layout rules; the helpers turn it into plain text, strip, highlight and
// unhighlight it, and read and rewrite its form-control tags.
//
// Text runs left to right in lines; a line ends at <BR>, <HR>, </P>, </LI>, <UL> or, with word wrap,
// where the next word does not fit. Every entity is decoded exactly once, in text as well as in
// tag values. Attribute names match ignoring case; values are used as written (only compared
// values such as TYPE, ALIGN and colour names are upper-cased).
#include "platform/graphics/Graphics.h"
#include "platform/grid/Toolkit.h"
#include <QFont>
#include <QRect>
#include <QSize>
#include <QString>

class QPainter;
class QPalette;
class QWidget;

namespace pictures {
class THTMLPictureCache;
class TPictureContainer;
}

namespace minihtml {

using gfx::TColor;

// Whether form controls may be drawn themed (set by the family's start-up; always true here).
bool ThemedControlsPossible();
void SetThemedControlsPossible(bool value);
// The renderer unit's start-up step.
void MiniHTMLUnitStartup();

// Everything a call takes. The canvas state at the call is Font, FontColor and BrushColor
// (clNone: a clear brush); system colours resolve through Palette, else the window's palette, else
// the application's.
struct TMiniHTMLInput {
    QString Text;
    QRect Rect;
    const tk::TImageList* Images = nullptr;
    int X = -1;
    int Y = -1;
    int FocusLink = -1;        // 0-based number of the link that gets a focus rectangle
    int HoverLink = -1;        // 1-based number of the link under the mouse
    int ShadowOffset = 1;
    bool HitTest = false;      // the drawing pass paints nothing and tests the point
    bool MeasureOnly = false;
    bool ScaleImages = false;
    bool Selected = false;
    bool BlinkOn = true;
    bool HoverEnabled = false;
    bool WordWrap = true;
    bool MouseDown = false;
    double ScaleFactor = 1.0;
    TColor URLColor = gfx::clBlue;
    TColor HoverColor = gfx::clNone;
    TColor HoverFontColor = gfx::clNone;
    TColor ShadowColor = gfx::clGray;
    QString ControlID;         // with HitTest: the control reported whatever the point
    pictures::THTMLPictureCache* PictureCache = nullptr;
    const pictures::TPictureContainer* PictureContainer = nullptr;
    QWidget* Window = nullptr; // whose style draws the controls
    QFont Font;
    TColor FontColor = gfx::clWindowText;
    TColor BrushColor = gfx::clNone;
    const QPalette* Palette = nullptr;
};

struct TMiniHTMLResult {
    bool Hit = false;          // the point lies on a link's text, a control or a linked image
    QString AnchorValue;       // HREF under the point, or "ctrl" for a control
    QString VisibleText;       // of the processed lines, a CR for every <BR>
    QString FocusAnchor;
    QString AnchorTitle;
    int ExtentX = 0;
    int ExtentY = 0;
    int LinkCount = 0;
    int HoverLinkIndex = -1;
    QRect HoverRect;
    QRect ControlRect;
    QString ControlID;
    QString ControlValue;
    QString ControlType;
    int Lines = 0;             // lines processed
};

// `painter` may be null for measuring and hit tests (metrics of the screen then); with a painter
// its state is saved and restored. Returns out.Hit.
bool DrawMiniHTML(QPainter* painter, const TMiniHTMLInput& in, TMiniHTMLResult& out);

// ------------------------------------------------------------------ string helpers
// Positions are 1-based as in the tagged texts' users; 0 means none.

// <BR> and <HR> become CR LF, then every tag goes; an unterminated "<" stays with what follows.
QString MiniHTMLToText(const QString& text);
QString StripMiniHTMLTags(const QString& text);
// The position in the tagged text of the n-th visible character (before tags standing right in
// front of it); n one past the last gives the first tag after it or length + 1; otherwise 0.
int VisiblePosToTagPos(const QString& text, int n);
int FindTextAfter(const QString& what, const QString& where, int offset, bool caseSensitive);
QString HighlightMiniHTML(const QString& text, const QString& what, const QString& tag, bool caseSensitive);
QString UnhighlightMiniHTML(const QString& text, const QString& tag);
// Exact inverses: Decode(Encode(s)) == s for every s.
QString DecodeBasicEntities(const QString& text);
QString EncodeBasicEntities(const QString& text);
// Every entity of the tag language decoded once: &amp; &quot; &sect; &permil; &reg; &copy; &para;
// &trade; &euro; (any case) and &nbsp; &lt; &gt; (lower case only).
QString DecodeEntities(QStringView text);

// The attributes of a CONTROL tag (the text after "<CONTROL"); TYPE upper-cased, VALUE decoded.
void ParseControlTag(const QString& attributes, QString& type, QString& id, QString& value, QString& width,
                     QString& prop);
bool HasControlTag(const QString& text);
QString NextEditControlID(const QString& text, const QString& id);
QString GetControlProp(const QString& text, const QString& id);
bool SetControlValue(QString& text, const QString& id, const QString& value);
QString PasswordText(const QString& text);
QString UnwrapFieldMarks(const QString& text);
QString LineBreaksToBR(const QString& text, bool convertCR);
bool ReplaceFirstNoCase(const QString& what, const QString& by, QString& text);
int PosNoCase(const QString& what, const QString& text);
int PosUpper(const QString& what, const QString& text);
int PosVar(const QString& what, const QString& text, int& position);
int TextToIntLoose(QStringView text);

// The value of a quoted attribute of a tag (from "<" to ">"), entities decoded; `found` tells
// whether the tag has it.
QString TagAttribute(QStringView tag, QStringView name, bool* found = nullptr);

// ------------------------------------------------------------------ colours
TColor ColorNameToColor(const QString& name);
TColor HexToColor(const QString& value);
int HexPairValue(QStringView pair);

// ------------------------------------------------------------------ icons and bitmaps
// A shell icon: a number is an index into the system list (the style's file icon), an existing
// path its own icon, any other name the icon of its type (by name only). Returns the icon size.
QSize DrawSystemIcon(QPainter* painter, int x, int y, const QString& source, bool large, bool draw,
                     bool stretched, double factor);
void StretchDrawBitmapDIB(QPainter& painter, const QRect& rect, const QImage& bitmap);
bool IsDirectory(const QString& path);

} // namespace minihtml
