#pragma once
// Free routines the grid family shares.
#include "platform/graphics/Graphics.h"
#include <QDate>
#include <QPoint>
#include <QRect>
#include <QString>
#include <stdexcept>
#include <string>

class QPainter;

class QWidget;

namespace grid {

using gfx::TColor;

// Delphi-style rounding: halves go to the even neighbour.
int RoundHalfEven(double value);

// The colour at `pos` of a gradient from `from` (at `start`) to `to` (at `end`): `from` when `to` is
// clNone or the range is empty. Colours are plain RGB values (0x00BBGGRR).
TColor GradientColorAt(TColor from, TColor to, int start, int end, int pos);

// Fills `rect` with `steps` bands from `from` to `to` (left to right when horizontal, else top to
// bottom); with `to` = clNone the rectangle is plain `from`. The last band stops one step short of `to`.
void DrawGradientFill(QPainter& painter, TColor from, TColor to, int steps, const QRect& rect, bool horizontal);


// ------------------------------------------------------------------ text and numbers

// The separators and the short date format the grid reads numbers and dates with. Taken from the
// system locale ("yy" widened to "yyyy", as the German short date has it); tests inject their own.
struct GridLocale {
    QChar decimalSeparator = QLatin1Char('.');
    QChar thousandSeparator = QLatin1Char(',');
    QChar dateSeparator = QLatin1Char('/');
    QString shortDateFormat = QStringLiteral("M/d/yyyy");
    static GridLocale FromSystem();
};
const GridLocale& CurrentGridLocale();
void SetGridLocale(const GridLocale& locale);

// A date that cannot be built (the toolkit's date conversion error).
class EConvertError : public std::runtime_error {
public:
    explicit EConvertError(const QString& message) : std::runtime_error(message.toStdString()) {}
};

// A caller's printf-style format filled with one number, safely: every integer conversion
// (d i u o x X c) takes the value rounded, every floating one (e E f F g G a A) the value itself,
// with their flags, width and precision; "%%" is a percent sign; any other conversion ("%s",
// "%n", "%p" ...) and a lone "%" stay in the text as written.
QString FormatNumber(const QString& format, double value);

// 0 plain or empty, 1 mini-HTML, 2 rich text, 3 formula, 5 packed wide text.
int CellTextKind(const QString& text, bool htmlEnabled);
// 0 integer, 1 decimal number, 2 no number.
int NumberKind(const QString& text);
QString CleanNumberText(const QString& text);
QString NormalizeNumberSeparators(const QString& text);
bool TextToDateByFormat(const QString& text, QDate& date);
// Month/day/year and day/month/year texts; a null date when unreadable. Two-digit years (below
// 100) get a century: up to 25 the 2000s, else the 1900s; longer years are taken as written.
// An impossible date raises EConvertError.
QDate USDateToDate(const QString& text);
QDate EUDateToDate(const QString& text);
bool LooksLikeDate(const QString& text);
// The next date of a fill series (months carry over any number of years, both ways); an
// impossible result raises EConvertError.
QDate DateSeriesStep(int years, int months, int days, const QDate& date, double step);
int ClampToLimits(int value, int low, int high);
bool IsURLText(const QString& text);
void StripURLScheme(QString& text);
// "R3C5" gives (5, 3).
bool ParseCellRef(const QString& text, QPoint& cell);
void SplitOffField(QString& text, QChar separator, QString& field);
QString UnescapeDoubledChar(QChar ch, const QString& text);
int CountCharIn(QChar ch, const QString& text);
// Line breaks become character 11 and the text is quoted, inner quotes doubled.
void CellTextToCSVField(QString& text);
void VTToCRLF(QString& text);
void TildeToCRLF(QString& text);
QString EscapedNewlinesToCR(QString text);
QString PackLineBreaks(QString text);
QString UnpackLineBreaks(QString text, bool multiLine);
void TakeFirstLine(QString& text, bool keepRest, QString& line);
int LineCountOf(const QString& text, bool multiLine);
QString RemoveCRChars(QString text);
QString ProperCaseName(const QString& text);
// Packed wide text: "|\" followed by two characters (high byte, low byte) per UTF-16 unit.
QString PackWideCell(const std::u16string& text);
std::u16string UnpackWideCell(const QString& text);
// 1-based position of `sub` in `text`; 0 when absent, empty or longer.
int WideTextPos(const std::u16string& sub, const std::u16string& text);
TColor HalveColor(TColor color);
// Positions are 1-based, 0 when not found.
// The end of the first run of `ch` from position `from` on that is odd in length (an even run is an
// escaped character) or ends the text.
int OddRunEnd(QChar ch, const QString& text, int from = 1);
int CountOddRuns(QChar ch, const QString& text);
bool CharPosVar(QChar ch, const QString& text, int& pos);
int FirstCharPos(QChar ch, const QString& text);
int PosInUpperText(const QString& sub, const QString& text);
// The first character of the text that is in `set`; a null character when none.
QChar FirstCharOfSet(const QString& set, const QString& text);
bool CellInRange(const QRect& range, int col, int row);
inline int MaxOf(int a, int b) { return a > b ? a : b; }
inline int MinOf(int a, int b) { return a < b ? a : b; }
// A text that holds OEM (IBM850) bytes as Windows-1252 characters, read as IBM850.
QString OemTextToAnsi(const QString& text);

// Whether a cell value satisfies a filter expression such as ">10 & <20" or "Sm?th*".
bool MatchFilterExpression(const QString& expression, const QString& value, bool caseSensitive);
bool MatchFilterCondition(const QString& condition, const QString& value, bool caseSensitive);

// ------------------------------------------------------------------ drawing

// A bar over `percentage` (clamped to 0..100) of the rectangle shrunk by the margins, with its text
// drawn over both parts. With a format the value is shown through it and the percentage is
// (value - rangeStart) * 100 / divisor; a divisor of 0 draws no bar.
void DrawProgressBar(QPainter& painter, const QRect& rect, TColor barColor, TColor barTextColor, TColor restColor,
                     TColor restTextColor, int value, int marginX, int marginY, int rangeStart, int divisor,
                     const QString& format, TColor borderColor);
// A bar from the centre: left for negative values, right for positive ones; a range of 0 or less
// draws no bar.
void DrawRangeBar(QPainter& painter, const QRect& rect, int value, int range, bool showValue, TColor negColor,
                  TColor posColor);
// A grey-framed ellipse with the sector of `percentage` (clamped) filled clockwise from twelve.
void DrawPieChart(QPainter& painter, const QRect& rect, TColor fillColor, int percentage);
// The image at the rectangle's top-left with its top-left pixel's colour turned into `background`.
void DrawBitmapTransparent(QPainter& painter, const QImage& image, TColor background, const QRect& rect);
// The same for an image of the program's resources (":/name" or a full resource path); a missing
// resource draws nothing.
void DrawResourceBitmapTransparent(QPainter& painter, TColor background, const QRect& rect, const QString& name);
// A red zigzag under `length` characters of `text` from `start` (0-based), the text laid out as in
// a single-line edit of `owner` placed at `rect`; `offset` moves it down. A start beyond the text
// waves after its end, a range past the end stops 4 pixels after the last character.
void DrawErrorWave(const QWidget* owner, QPainter& painter, const QString& text, const QRect& rect, int offset,
                   int start, int length);
// The drop-down button of a combo box at the right end of `rect`: themed through the visual
// styles ("combobox", drop-down part, normal state), else the classic flat arrow.
void DrawDropDownGlyph(QPainter& painter, QWidget* window, const QRect& rect, bool themed);
// The rectangle DrawDropDownGlyph paints in.
QRect DropDownGlyphRect(const QRect& rect);

} // namespace grid
