// The string grid's bulk transfers: text blocks through the clipboard, CSV and workbook files and
// the grid text stream.
#include "grid/ZodUvuz.h"
#include "grid/ZodUvuzRichEdit.h"

#include "core/TextFile.h"
#include "grid/GridStartup.h"
#include "grid/GridUtils.h"
#include "platform/grid/WinCompat.h"
#include "grid/exchange/TextBlock.h"
#include "grid/exchange/WorkbookText.h"
#include "grid/minihtml/MiniHTML.h"
#include "grid/richtext/RichText.h"
#include "spreadsheet/XLSBook.h"

#include <QClipboard>
#include <QFile>
#include <QGuiApplication>
#include <QMimeData>
#include <QStringDecoder>
#include <QTextDocument>
#include <QTime>
#include <charconv>
#include <cmath>

namespace grid {

using namespace exchange;

namespace {

const QString kTextMime = QStringLiteral("text/plain");
const QString kRTFMime = QStringLiteral("text/rtf");

// Restores a value when the scope ends, whichever way it ends.
template <class T>
class Restorer {
public:
    explicit Restorer(T& ref) : m_ref(ref), m_saved(ref) {}
    ~Restorer() { m_ref = m_saved; }
    Restorer(const Restorer&) = delete;
    Restorer& operator=(const Restorer&) = delete;
private:
    T& m_ref;
    T m_saved;
};

class WaitCursor {
public:
    WaitCursor() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QGuiApplication::restoreOverrideCursor(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

// Line views of a text: lines end at CR LF, LF or CR; a text that ends with a line end has no
// empty line after it.
std::vector<QStringView> splitLines(QStringView text)
{
    std::vector<QStringView> lines;
    qsizetype start = 0;
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text[i];
        if (c != QLatin1Char('\r') && c != QLatin1Char('\n'))
            continue;
        lines.push_back(text.mid(start, i - start));
        if (c == QLatin1Char('\r') && i + 1 < n && text[i + 1] == QLatin1Char('\n'))
            ++i;
        start = i + 1;
    }
    if (start < n)
        lines.push_back(text.mid(start));
    return lines;
}


// The real lines of a pasted block: a last empty line after a final line break is not one.
int realLines(const TextBlock& block)
{
    int n = int(block.Lines.size());
    if (n > 1 && block.Lines.back().size() == 1 && block.Lines.back().front().isEmpty())
        --n;
    return n;
}

} // namespace

// The plain text of a cell's rich text.
QString RichCellPlainText(const QString& rtf)
{
    // A cell holds RTF as its bytes, one character each.
    QByteArray bytes;
    bytes.reserve(rtf.size());
    for (const QChar c : rtf) {
        if (c.unicode() < 0x100)
            bytes += char(c.unicode());
        else
            bytes += "\\u" + QByteArray::number(int(short(c.unicode()))) + "?";
    }
    QTextDocument doc;
    richtext::ReadRtf(bytes, doc);
    QString text = doc.toPlainText();
    text.replace(QChar::ParagraphSeparator, QLatin1String("\r\n"));
    text.replace(QLatin1Char('\n'), QLatin1String("\r\n"));
    text.replace(QLatin1String("\r\r\n"), QLatin1String("\r\n"));
    return text;
}

// ------------------------------------------------------------------ helpers

const QMimeData* TZedEzeravIvur::clipboardMime() const
{
    return m_useOwnClipboard ? m_ownClipboard.get() : QGuiApplication::clipboard()->mimeData();
}

void TZedEzeravIvur::setClipboardMime(QMimeData* mime)
{
    if (m_useOwnClipboard)
        m_ownClipboard.reset(mime);
    else
        QGuiApplication::clipboard()->setMimeData(mime);
}

int TZedEzeravIvur::firstNormalCol() const { return StoreFixedCells ? 0 : FixedCols(); }
int TZedEzeravIvur::firstNormalRow() const { return StoreFixedCells ? 0 : FixedRows(); }

bool TZedEzeravIvur::cellEditable(int realCol, int row)
{
    bool canEdit = true;
    CanEditCell(realCol, row, canEdit);
    return canEdit;
}

QString TZedEzeravIvur::textForSave(int col, int row)
{
    QString text;
    GetCellTextForSave(col, row, text);
    return text;
}

// Loads do not repaint each cell; afterLoad repaints the grid once.
void TZedEzeravIvur::setTextFromLoad(int col, int row, const QString& text) { SetCellTextFromLoad(col, row, text); }

void TZedEzeravIvur::afterLoad()
{
    InvalidateGrid();
    CellsChanged(QRect(QPoint(0, 0), QPoint(ColCount(), RowCount())));
    AllCellsChanged();
}

// ------------------------------------------------------------------ clipboard

void TZedEzeravIvur::ExtendSelectionToMergedCells()
{
    tk::TGridRect sel = Selection();
    const tk::TGridRect old = sel;
    if (IsMergedCell(sel.Left, sel.Top)) {
        const QPoint base = BaseCell(sel.Left, sel.Top);
        sel.Left = std::min(sel.Left, base.x());
        sel.Top = std::min(sel.Top, base.y());
    }
    if (IsMergedCell(sel.Right, sel.Bottom)) {
        const QPoint base = BaseCell(sel.Right, sel.Bottom);
        const QPoint span = CellSpan(base.x(), base.y());
        sel.Right = std::max(sel.Right, base.x() + span.x());
        sel.Bottom = std::max(sel.Bottom, base.y() + span.y());
    }
    if (!(sel == old))
        SetSelection(sel);
}

QString TZedEzeravIvur::RangeToText(const tk::TGridRect& range, bool disjunct)
{
    TMouseActions* ma = MouseActions();
    const bool multiRow = range.Bottom > range.Top;
    const bool vt = Multilinecells && MultiLineClipboardQuoting;
    QString out;
    for (int r = range.Top; r <= range.Bottom; ++r) {
        CopyProgress(1, r);
        if (disjunct && ma->DisjunctRowSelect() && !ma->DisjunctColSelect()
            && !RowSelected(ma->RowSelectPersistent ? RealRowIndex(r) : r))
            continue;
        bool first = true;
        for (int c = range.Left; c <= range.Right; ++c) {
            if (disjunct && ma->DisjunctColSelect() && !ColSelected(c))
                continue;
            const int rc = RealColIndex(c);
            QString text = textForSave(rc, r);
            if (!Navigation()->CopyHTMLTagsToClipboard && text.contains(QLatin1String("</")))
                text = GetCellTextNoHTML(rc, r);
            else if (text.contains(QLatin1String("{\\")))
                text = RichCellPlainText(text);
            if (!first)
                out += QLatin1Char('\t');
            first = false;
            out += CopyField(text, vt && Multilinecells);
        }
        if (multiRow)
            out += QLatin1String("\r\n");
    }
    return out;
}

void TZedEzeravIvur::CopyRangeToClipboard(const tk::TGridRect& range, bool disjunct)
{
    m_copyOrigin = QPoint(range.Left, range.Top);
    CopyProgress(0, -1);
    auto* mime = new QMimeData;
    mime->setData(kTextMime, RangeToText(range, disjunct).toUtf8());
    setClipboardMime(mime);
    if (Navigation()->AllowRTFClipboard)
        CopyCellRTFToClipboard(range.Left, range.Top);
    if (Navigation()->AllowFmtClipboard)
        PutCellsOnClipboard(range);
    CopyProgress(2, -1);
}

void TZedEzeravIvur::CopyCellRTFToClipboard(int col, int row)
{
    const QString text = Cells(RealColIndex(col), row);
    if (!text.contains(QLatin1String("{\\")))
        return;
    // The forms already on the clipboard stay.
    auto* mime = new QMimeData;
    if (const QMimeData* old = clipboardMime())
        for (const QString& format : old->formats())
            mime->setData(format, old->data(format));
    mime->setData(kRTFMime, text.toLatin1());   // RTF is 8-bit text
    setClipboardMime(mime);
}

void TZedEzeravIvur::CopyToClipboard()
{
    ExtendSelectionToMergedCells();
    TMouseActions* ma = MouseActions();
    if (ma->DisjunctRowSelect() || ma->DisjunctColSelect()) {
        tk::TGridRect normal{FixedCols(), FixedRows(), ColCount() - 1, RowCount() - 1};
        CopyRangeToClipboard(normal, true);
    } else {
        CopyRangeToClipboard(Selection(), false);
    }
    m_lastTransferWasCopy = true;
}

void TZedEzeravIvur::CutToClipboard()
{
    CopyToClipboard();
    TMouseActions* ma = MouseActions();
    const bool disjunct = ma->DisjunctRowSelect() || ma->DisjunctColSelect();
    const tk::TGridRect range = disjunct ? tk::TGridRect{FixedCols(), FixedRows(), ColCount() - 1, RowCount() - 1}
                                         : Selection();
    const bool always = Navigation()->AllowClipboardAlways;
    // Only the cells the copy took, and only the editable ones.
    for (int r = range.Top; r <= range.Bottom; ++r) {
        if (disjunct && ma->DisjunctRowSelect() && !ma->DisjunctColSelect()
            && !RowSelected(ma->RowSelectPersistent ? RealRowIndex(r) : r))
            continue;
        for (int c = range.Left; c <= range.Right; ++c) {
            if (disjunct && ma->DisjunctColSelect() && !ColSelected(c))
                continue;
            const int rc = RealColIndex(c);
            if (!always && !cellEditable(rc, r))
                continue;
            SetCellText(rc, r, QString());
            if (Navigation()->AllowFmtClipboard)
                FreeCellProperties(rc, r, rc, r);
        }
    }
    m_lastTransferWasCopy = false;
    CellsChanged(QRect(QPoint(RealColIndex(range.Left), range.Top), QPoint(RealColIndex(range.Right), range.Bottom)));
    if (NumHiddenColumns() > 0)
        InvalidateGrid();
}

void TZedEzeravIvur::PasteCellText(int col, int row, const QString& text)
{
    const int rc = RealColIndex(col);
    SetCellText(rc, row, text);
    if (rc != col)
        RepaintCell(col, row);
}

void TZedEzeravIvur::GetTextDimensions(const QString& text, int& cols, int& lineBreaks)
{
    const TextBlock block = ParseTextBlock(text);
    cols = block.Columns();
    lineBreaks = block.LineBreaks();
}

int TZedEzeravIvur::PasteTextAt(int col, int row, const QString& text)
{
    TNavigation* nav = Navigation();
    const bool always = nav->AllowClipboardAlways;
    if (col < 0 || row < 0
        || !((GridOptions() & tk::goEditing) || always || MouseActions()->RangeSelectAndEdit))
        return 0;
    const TextBlock block = ParseTextBlock(text);
    const int footer = LastRowIsFooter() ? 1 : 0;
    int count = 0;
    int lastCol = col, lastRow = row;
    for (size_t li = 0; li < block.Lines.size(); ++li) {
        const int r = row + int(li);
        PasteProgress(3, r);
        const QStringList& line = block.Lines[li];
        const bool breakFollows = li + 1 < block.Lines.size();
        for (qsizetype fj = 0; fj < line.size(); ++fj) {
            ++count;
            const int c = col + int(fj);
            QString field = line[fj];
            if (fj + 1 == line.size() && field.isEmpty() && !breakFollows)
                continue;
            // The grid grows before a field is stored; a field outside it is dropped.
            if (r >= RowCount() - footer && nav->AllowClipboardRowGrow)
                SetRowCount(r + 1 + footer);
            if (c >= ColCount() && nav->AllowClipboardColGrow)
                SetColCount(c + 1);
            if (r >= RowCount() - footer || c >= ColCount())
                continue;
            if (!always && !cellEditable(RealColIndex(c), r))
                continue;
            bool allow = true;
            if (field.startsWith(QLatin1String("|\\"))) {
                std::u16string wide = UnpackWideCell(field);
                if (OnClipboardBeforePasteWideCell)
                    OnClipboardBeforePasteWideCell(this, c, r, wide, allow);
                field = PackWideCell(wide);
            } else if (OnClipboardBeforePasteCell) {
                OnClipboardBeforePasteCell(this, c, r, field, allow);
            }
            if (!allow)
                continue;
            PasteCellText(c, r, field);
            lastCol = std::max(lastCol, c);
            lastRow = std::max(lastRow, r);
        }
    }
    CellsPasted(m_copyOrigin, tk::TGridRect{col, row, lastCol, lastRow}, m_lastTransferWasCopy);
    CellsChanged(QRect(QPoint(RealColIndex(std::min(col, ColCount() - 1)), row),
                       QPoint(RealColIndex(std::min(lastCol, ColCount() - 1)), lastRow)));
    return count;
}

int TZedEzeravIvur::PasteFromClipboardAt(int col, int row)
{
    const QMimeData* mime = clipboardMime();
    if (!mime)
        return 0;
    if (int count = 0; PasteCellForm(col, row, count))
        return count;
    if (Navigation()->AllowRTFClipboard && mime->hasFormat(kRTFMime)) {
        QByteArray bytes = mime->data(kRTFMime);
        if (const qsizetype nul = bytes.indexOf('\0'); nul >= 0)
            bytes.truncate(nul);
        if (cellEditable(RealColIndex(col), row))
            PasteCellText(col, row, QString::fromLatin1(bytes));
        return 0;
    }
    if (mime->hasFormat(kTextMime))
        return PasteTextAt(col, row, QString::fromUtf8(mime->data(kTextMime)));
    return 0;
}

namespace {

// A date: its first date separator stands at the second character or later and another follows.
bool isDateText(const QString& text, QChar sep)
{
    const qsizetype first = text.indexOf(sep);
    return first >= 1 && text.indexOf(sep, first + 1) > first;
}

QString formatFloat(const QString& format, double value, QChar decimal)
{
    QString s = FormatNumber(format, value);
    if (decimal != QLatin1Char('.'))
        s.replace(QLatin1Char('.'), decimal);
    return s;
}

} // namespace

void TZedEzeravIvur::PasteFromClipboard()
{
    PasteProgress(0, -1);
    ExtendSelectionToMergedCells();
    const tk::TGridRect sel = Selection();
    const bool rowSelect = (GridOptions() & tk::goRowSelect) != 0;
    PasteFromClipboardAt(rowSelect ? FixedCols() : sel.Left, sel.Top);
    if (!Navigation()->AllowSmartClipboard)
        return;
    const QMimeData* mime = clipboardMime();
    if (!mime || !mime->hasFormat(kTextMime) || (Navigation()->AllowRTFClipboard && mime->hasFormat(kRTFMime))
        || (Navigation()->AllowFmtClipboard && mime->hasFormat(CellFormMime())))
        return;
    const TextBlock block = ParseTextBlock(QString::fromUtf8(mime->data(kTextMime)));
    const int lines = realLines(block);
    const int rows = sel.Bottom - sel.Top + 1;
    const int cols = sel.Right - sel.Left + 1;
    const bool always = Navigation()->AllowClipboardAlways;

    // Stores a filled value; the top-left cell is never filled again.
    auto fill = [&](int c, int r, QString value) {
        if (!always && !cellEditable(RealColIndex(c), r))
            return false;
        bool allow = true;
        if (OnClipboardBeforePasteCell)
            OnClipboardBeforePasteCell(this, c, r, value, allow);
        if (allow)
            PasteCellText(c, r, value);
        return allow;
    };

    if (lines == 1 && block.Lines[0].size() == 1) {
        // One value fills the selection.
        if (rows * cols <= 1)
            return;
        const QString value = block.Lines[0][0];
        for (int c = sel.Left; c <= sel.Right; ++c)
            for (int r = sel.Top; r <= sel.Bottom; ++r) {
                if (c == sel.Left && r == sel.Top)
                    continue;
                if (fill(c, r, value))
                    CellsPasted(QPoint(sel.Left, sel.Top), tk::TGridRect{c, r, c, r}, true);
            }
        CellsChanged(QRect(QPoint(RealColIndex(sel.Left), sel.Top), QPoint(RealColIndex(sel.Right), sel.Bottom)));
        return;
    }
    if (rows > 1 && cols > 1)
        return;
    // The block's values along the selection.
    QStringList values;
    if (cols == 1 && rows > 1) {
        for (int i = 0; i < lines; ++i)
            values.append(block.Lines[size_t(i)].value(0));
    } else if (rows == 1 && cols > 1 && lines == 1) {
        values = block.Lines[0];
        if (values.size() > 1 && values.back().isEmpty())
            values.removeLast();
    } else {
        return;
    }
    const int length = std::max(rows, cols);
    const int period = int(values.size());
    if (period < 2 || period >= length)
        return;   // a block that covers the selection fills no more
    auto cellAt = [&](int i) { return cols == 1 ? QPoint(sel.Left, sel.Top + i) : QPoint(sel.Left + i, sel.Top); };

    const GridLocale& loc = CurrentGridLocale();
    const QString& first = values[0];
    const QString& second = values[1];
    const QChar timeSep = QLatin1Char(':');
    const bool dateLike = isDateText(first, loc.dateSeparator) || isDateText(second, loc.dateSeparator);
    const bool timeLike = first.contains(timeSep) || second.contains(timeSep);
    if (!dateLike && !timeLike) {
        const bool decimal = first.contains(loc.decimalSeparator) || second.contains(loc.decimalSeparator);
        if (!decimal) {
            bool ok1 = false, ok2 = false;
            const qlonglong a = first.trimmed().toLongLong(&ok1);
            const qlonglong b = second.trimmed().toLongLong(&ok2);
            for (int i = period; i < length; ++i) {
                const QPoint p = cellAt(i);
                if (ok1 && ok2)
                    fill(p.x(), p.y(), QString::number(a + qlonglong(i) * (b - a)));
                else
                    fill(p.x(), p.y(), values[i % period]);   // a pattern repeats with its period
            }
        } else {
            auto toDouble = [&](QString t, bool& ok) {
                t = t.trimmed();
                t.replace(loc.decimalSeparator, QLatin1Char('.'));
                return t.toDouble(&ok);
            };
            bool ok1 = false, ok2 = false;
            const double a = toDouble(first, ok1);
            const double b = toDouble(second, ok2);
            if (ok1 && ok2)
                for (int i = period; i < length; ++i) {
                    const QPoint p = cellAt(i);
                    fill(p.x(), p.y(), formatFloat(FloatFormat(), a + i * (b - a), loc.decimalSeparator));
                }
        }
    } else if (first.contains(loc.dateSeparator) && dateLike) {
        QDate d1, d2;
        if (TextToDateByFormat(first.trimmed(), d1) && TextToDateByFormat(second.trimmed(), d2) && d1.isValid()
            && d2.isValid()) {
            const int years = d2.year() - d1.year();
            const int months = d2.month() - d1.month();
            const int days = d2.day() - d1.day();
            const double step = double(d1.daysTo(d2));
            QDate current = d2;
            try {
                for (int i = period; i < length; ++i) {
                    current = DateSeriesStep(years, months, days, current, step);
                    if (!current.isValid())
                        break;
                    const QPoint p = cellAt(i);
                    fill(p.x(), p.y(), current.toString(loc.shortDateFormat));
                }
            } catch (const EConvertError&) {
                // an impossible date ends the series
            }
        }
    } else {
        auto toTime = [](const QString& t) {
            QTime v = QTime::fromString(t.trimmed(), QStringLiteral("h:mm:ss"));
            if (!v.isValid())
                v = QTime::fromString(t.trimmed(), QStringLiteral("h:mm"));
            return v;
        };
        const QTime t1 = toTime(first), t2 = toTime(second);
        if (t1.isValid() && t2.isValid()) {
            const int step = t1.secsTo(t2);
            const QString format = first.count(timeSep) >= 2 ? QStringLiteral("hh:mm:ss") : QStringLiteral("hh:mm");
            for (int i = period; i < length; ++i) {
                const QPoint p = cellAt(i);
                fill(p.x(), p.y(), t1.addSecs(i * step).toString(format));
            }
        }
    }
    PasteProgress(2, -1);
    CellsChanged(QRect(QPoint(RealColIndex(sel.Left), sel.Top), QPoint(RealColIndex(sel.Right), sel.Bottom)));
}

// ------------------------------------------------------------------ CSV

void TZedEzeravIvur::LoadFromCSV(const QString& fileName)
{
    Restorer<QChar> keepDelimiter(Delimiter);
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        throw EZodUvuzError(QStringLiteral("Cannot open file ") + fileName);
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw EZodUvuzError(file.errorString());
    QString text;
    if (OemConvert) {
        QStringDecoder oem("IBM850");
        text = oem.isValid() ? QString(oem.decode(bytes)) : core::DecodeWindows1252(bytes);
    } else {
        // A file saved as Unicode text is UTF-16 by its byte-order mark (a surrogate without its
        // partner read as U+FFFD); else UTF-8 or Windows-1252.
        text = core::DecodeTextFile(bytes);
    }
    const std::vector<QStringView> lines = splitLines(text);

    const int startCol = firstNormalCol();
    const int startRow = firstNormalRow();
    if (Delimiter.isNull() && !lines.empty())
        Delimiter = DetectDelimiter(lines[0].toString(), lines.size() > 1 ? lines[1].toString() : QString());
    if (OnFileProgress)
        SetRowCount(startRow + int(lines.size()) + FixedFooters());
    int row = startRow;
    int lastPercent = -1;
    QStringList fields;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (row >= RowCount() - FixedFooters())
            SetRowCount(row + 1000);
        SplitCSVLine(lines[i], Delimiter, TildeLineBreaks, fields);
        int col = startCol;
        if (ColCount() < startCol + int(fields.size()))
            SetColCount(startCol + int(fields.size()));
        for (const QString& field : fields)
            setTextFromLoad(col++, row, field);
        ++row;
        if (OnFileProgress) {
            const int percent = int(std::lround(double(i + 1) * 100.0 / double(lines.size())));
            if (percent != lastPercent) {
                lastPercent = percent;
                OnFileProgress(this, short(percent));
            }
        }
    }
    SetRowCount(row + FixedFooters());
    if (LastRowIsFooter())
        for (int c = 0; c < ColCount(); ++c)
            SetCells(c, RowCount() - 1, QString());   // the footer row keeps its calculations
    afterLoad();
}

// ------------------------------------------------------------------ workbook

void TZedEzeravIvur::LoadFromXLS(const QString& fileName)
{
    WaitCursor hourglass;
    try {
        xls::TXLSBook book;
        book.Filename = fileName;
        book.Read();
        if (book.Sheets().Count() > 0) {
            // The reader keeps no window record of its own, so the tab comes from the file.
            int tab = -1;
            if (QFile file(fileName); file.open(QIODevice::ReadOnly))
                tab = SelectedSheetOfWorkbook(file.readAll());
            if (tab < 0)
                tab = book.Workbook().SelectedTab();
            if (tab < 0 || tab >= book.Sheets().Count())
                tab = 0;
            const xls::TSheet* sheet = book.Sheets()[tab];
            const int firstCol = sheet->FirstCol(), lastCol = sheet->LastCol();
            const int firstRow = sheet->FirstRow(), lastRow = sheet->LastRow();
            if (lastCol >= firstCol && lastRow >= firstRow) {
                const int startCol = StoreFixedCells ? 0 : FixedCols();
                const int startRow = StoreFixedCells ? 0 : FixedRows();
                SetColCount(lastCol - firstCol + 1 + startCol);
                SetRowCount(lastRow - firstRow + 1 + startRow);
                const QChar sep = CurrentGridLocale().decimalSeparator;
                QString text;
                std::vector<signed char> dateFormats;
                for (int r = firstRow; r <= lastRow; ++r)
                    for (int c = firstCol; c <= lastCol; ++c)
                        if (WorkbookCellText(book, sheet->Cell(c, r), sep, text, &dateFormats))
                            setTextFromLoad(startCol + c - firstCol, startRow + r - firstRow, text);
            }
        }
    } catch (...) {
        afterLoad();
        throw;
    }
    afterLoad();
}

// ------------------------------------------------------------------ grid text stream

namespace {

void appendNumber(QByteArray& out, long long value)
{
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    out.append(digits, end - digits);
}

// UTF-8 appended in place (texts are mostly ASCII).
void appendUtf8(QByteArray& out, const QString& text)
{
    const qsizetype n = text.size();
    const QChar* p = text.constData();
    qsizetype i = 0;
    const qsizetype at = out.size();
    out.resize(at + n);
    char* dst = out.data() + at;
    for (; i < n && p[i].unicode() < 0x80; ++i)
        dst[i] = char(p[i].unicode());
    if (i == n)
        return;
    out.resize(at + i);
    out += QStringView(text).mid(i).toUtf8();
}

} // namespace

void TZedEzeravIvur::SaveToStream(QIODevice& stream)
{
    const int c0 = firstNormalCol(), r0 = firstNormalRow();
    const int c1 = StoreFixedCells ? ColCount() : ColCount() - FixedRightCols();
    const int r1 = StoreFixedCells ? RowCount() : RowCount() - FixedFooters();
    QByteArray out;
    appendNumber(out, c1 - c0);
    out += ',';
    appendNumber(out, r1 - r0);
    out += "\r\n";
    for (int c = 0; c < ColCount(); ++c) {
        out += "cw ";
        appendNumber(out, c);
        out += ',';
        appendNumber(out, ColWidths(c));
        out += "\r\n";
    }
    CopyProgress(0, -1);
    for (int r = r0; r < r1; ++r) {
        CopyProgress(1, r);
        for (int c = c0; c < c1; ++c) {
            const QString text = textForSave(c, r);
            if (text.isEmpty())
                continue;
            appendNumber(out, c - c0);
            out += ',';
            appendNumber(out, r - r0);
            out += ',';
            appendUtf8(out, EncodeStreamText(text));
            out += "\r\n";
        }
        // Hand the text over in pieces.
        if (out.size() > (1 << 20)) {
            stream.write(out);
            out.clear();
        }
    }
    CopyProgress(2, -1);
    stream.write(out);
}

void TZedEzeravIvur::LoadFromStream(QIODevice& stream)
{
    const qint64 base = stream.pos();
    const QByteArray data = stream.readAll();
    // The text is decoded at once; a stop maps its character position back to bytes.
    const QString text = core::DecodeTextFile(data);
    const bool utf8 = text.size() != data.size() || data.startsWith("\xEF\xBB\xBF");
    const qsizetype bom = data.startsWith("\xEF\xBB\xBF") && utf8 ? 3 : 0;
    const int c0 = firstNormalCol(), r0 = firstNormalRow();
    const QStringView all(text);
    qsizetype pos = 0;
    // The next line (without its end) and the position of its start; false at the end.
    auto nextLine = [&](QStringView& line, qsizetype& start) {
        if (pos >= all.size())
            return false;
        start = pos;
        qsizetype end = pos;
        while (end < all.size() && all[end] != QLatin1Char('\r') && all[end] != QLatin1Char('\n'))
            ++end;
        line = all.mid(pos, end - pos);
        pos = end;
        if (pos < all.size() && all[pos] == QLatin1Char('\r'))
            ++pos;
        if (pos < all.size() && all[pos] == QLatin1Char('\n'))
            ++pos;
        return true;
    };
    QStringView line;
    qsizetype start = 0;
    if (nextLine(line, start) && !line.isEmpty()) {
        const qsizetype comma = line.indexOf(QLatin1Char(','));
        bool ok1 = false, ok2 = false;
        const int cols = comma < 0 ? 0 : line.left(comma).toInt(&ok1);
        const int rows = comma < 0 ? 0 : line.mid(comma + 1).toInt(&ok2);
        if (ok1 && ok2 && cols >= 0 && rows >= 0) {
            SetColCount(cols + c0 + (StoreFixedCells ? 0 : FixedRightCols()));
            SetRowCount(rows + r0 + (StoreFixedCells ? 0 : FixedFooters()));
        }
    }
    while (nextLine(line, start)) {
        if (line.startsWith(QLatin1String("cw"))) {
            const QStringView rest = line.mid(3);
            const qsizetype comma = rest.indexOf(QLatin1Char(','));
            bool ok1 = false, ok2 = false;
            const int col = rest.left(comma).toInt(&ok1);
            const int width = comma < 0 ? 0 : rest.mid(comma + 1).toInt(&ok2);
            if (ok1 && ok2 && col >= 0 && col < ColCount())
                SetColWidths(col, width);
            continue;
        }
        // "col,row,text": both numbers plain decimal digits.
        qsizetype i = 0;
        auto number = [&](int& value) {
            const qsizetype first = i;
            qint64 v = 0;
            while (i < line.size() && line[i].unicode() >= '0' && line[i].unicode() <= '9' && i - first < 9)
                v = v * 10 + (line[i++].unicode() - '0');
            value = int(v);
            const bool ok = i > first && i < line.size() && line[i] == QLatin1Char(',');
            ++i;
            return ok;
        };
        int col = 0, row = 0;
        const bool ok1 = number(col);
        const bool ok2 = ok1 && number(row);
        const qsizetype comma2 = i - 1;
        if (!ok1 || !ok2) {
            // Not a cell line: what follows stays for the stream's next reader.
            const qsizetype bytes = utf8 ? bom + all.left(start).toUtf8().size() : start;
            stream.seek(base + bytes);
            break;
        }
        QString cell = DecodeStreamText(line.mid(comma2 + 1).toString());
        if (!Multilinecells)
            if (const qsizetype cr = cell.indexOf(QLatin1Char('\r')); cr >= 0)
                cell.truncate(cr);
        const int c = c0 + col, r = r0 + row;
        if (col >= 0 && row >= 0 && c < ColCount() && r < RowCount())
            setTextFromLoad(c, r, cell);
    }
    afterLoad();
}

} // namespace grid
