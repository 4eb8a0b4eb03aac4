#pragma once
// The tab-separated text blocks the grid puts on the clipboard and reads back, and the CSV and
// grid-stream field codings. Nothing here knows the grid: the grid's transfer operations use it.
#include <QChar>
#include <QString>
#include <QStringList>
#include <vector>

namespace grid::exchange {

// One cell text as a field of a copied text block. A text that holds a line break or a TAB or
// begins with a double quote is quoted (inner quotes doubled, CR dropped so line breaks become a
// bare LF). With `vtLineBreaks` a multi-line text has each CR LF and each lone CR turned into
// character 11 and is quoted.
QString CopyField(const QString& text, bool vtLineBreaks);

// A text block cut into lines of fields. Lines end at CR LF, CR or a bare LF outside quoted fields;
// the part after the last line end is a last line (one empty field when the block ends with a line
// break). A field that begins with a double quote runs to its closing quote (one that is followed
// by a TAB, a line end or the end of the block); its inner quotes are made single and its TABs and
// line breaks kept. A field without such a close stays as written. Character 11 becomes CR LF.
struct TextBlock {
    std::vector<QStringList> Lines;
    // Fields counted the way a paste counts them: every field of every line, the last included.
    int FieldCount() const;
    // The widest line's field count.
    int Columns() const;
    // The number of line breaks (lines - 1).
    int LineBreaks() const { return Lines.empty() ? 0 : int(Lines.size()) - 1; }
};
TextBlock ParseTextBlock(const QString& text);

// --- CSV
// The delimiter of a CSV file judged from its first two lines; a null character when no
// candidate occurs.
QChar DetectDelimiter(const QString& line1, const QString& line2);
// The fields of one CSV line (a delimiter of 0: the whole line is one field). A trailing empty
// field is not returned. Line-break coding is undone: with `tilde` "~" becomes CR LF and a field
// that is exactly "^" becomes empty; otherwise character 11 becomes CR LF.
QStringList SplitCSVLine(QStringView line, QChar delimiter, bool tilde);
// The same into a list that is reused (cleared first).
void SplitCSVLine(QStringView line, QChar delimiter, bool tilde, QStringList& fields);

// --- grid text stream
// A cell text as the stream holds it, on one line: a text with line breaks has CR as TAB and LF as
// character 8 where that gives it back exactly, else it is escaped (see the source); a text
// without CR, LF, character 8 or NUL stays as it is.
QString EncodeStreamText(const QString& text);
// Back again: an escaped text, or one that holds a character 8 (CR from TAB, LF from character 8).
QString DecodeStreamText(const QString& text);

} // namespace grid::exchange
