#pragma once
// Decoding of text files written as "ANSI text": UTF-8 when the bytes are valid UTF-8, otherwise
// Windows-1252.
#include <QByteArray>
#include <QString>
#include <QLatin1StringView>
#include <QStringView>

class QIODevice;

namespace core {

// The text of a file's bytes: UTF-8 when the bytes are valid UTF-8 (a byte-order mark is dropped),
// otherwise Windows-1252.
QString DecodeTextFile(const QByteArray& bytes);

// Windows-1252 text of bytes (every byte is one character).
QString DecodeWindows1252(QByteArrayView bytes);

// Reads a text file line by line with the rule of DecodeTextFile while holding only about one
// piece of the file (whole lines) in memory: a first pass decides the encoding (UTF-8 only when
// the whole file is valid UTF-8), the second decodes piece by piece.
class TextFileLineReader {
public:
    // The device is open for reading and can seek back to its start (a file).
    explicit TextFileLineReader(QIODevice& device, qint64 pieceSize = qint64(1) << 20);

    // The next line without its end (CR LF, LF or a lone CR); the view lasts until the next call.
    // False at the end of the file or after a read error.
    bool NextLine(QStringView& line);
    // How the line NextLine gave last ended: "\r\n", "\n", "\r", or '' at the end of the file.
    QLatin1StringView LineEnd() const { return m_lineEnd; }

    bool Utf8() const { return m_utf8; }
    // Empty unless reading failed (the first pass already reports an unreadable file).
    QString ErrorString() const { return m_error; }

private:
    // Appends bytes up to the end of a line (or the end of the file) to m_raw; false at the end.
    bool ReadPiece(QByteArray& piece);
    bool LoadText();
    bool Fail();

    QIODevice& m_device;
    qint64 m_pieceSize;
    bool m_utf8 = true;
    bool m_atEnd = false;
    QByteArray m_carry; // bytes read after the last line end of the previous piece
    QString m_text;     // the decoded current piece
    qsizetype m_pos = 0;
    QLatin1StringView m_lineEnd;
    QString m_error;
};

} // namespace core
