#pragma once
// The rich text of grid cells: a reader of RTF into a QTextDocument and a writer of RTF from one.
// Neither needs a widget.
//
// The reader knows groups, \rtf1 \ansi \ansicpg \deff \uc \uN \'hh, the font table (with
// \fcharset) and the colour table; the character formats \plain \b \i \ul \ulnone \strike \f \fs
// \cf \cb \highlight \super \sub \nosupersub; the paragraph words \par \line \tab \pard \ql \qr
// \qc \qj \li \ri \fi \sb \sa. Table cells become tabs and rows paragraphs; \bin data and every
// other destination are skipped. Bytes that do not start with "{\rtf" are plain text.
//
// The writer emits this subset: code page 1252, with \uN? for every other character.
#include <QByteArray>
#include <QByteArrayView>

class QTextDocument;

namespace grid::richtext {

// Whether the bytes start (after blanks) with "{\rtf".
bool IsRtf(QByteArrayView bytes);

// Replaces the document's content by the bytes: RTF when IsRtf, otherwise plain text (UTF-8 when
// valid, else Windows-1252). Never throws; malformed RTF gives whatever text could be read.
void ReadRtf(QByteArrayView bytes, QTextDocument& doc);

// The document as RTF.
QByteArray WriteRtf(const QTextDocument& doc);

} // namespace grid::richtext
