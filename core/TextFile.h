#pragma once
// Decoding of text files written as "ANSI text": UTF-8 when the bytes are valid UTF-8, otherwise
// Windows-1252.
#include <QByteArray>
#include <QString>

namespace core {

// The text of a file's bytes: UTF-8 when the bytes are valid UTF-8 (a byte-order mark is dropped),
// otherwise Windows-1252.
QString DecodeTextFile(const QByteArray& bytes);

} // namespace core
