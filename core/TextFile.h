#pragma once
// Decoding of text files written as "ANSI text": UTF-8 when the bytes are valid UTF-8, otherwise
// Windows-1252; a UTF-16 byte-order mark makes the file UTF-16 (little or big endian).
#include <QByteArray>
#include <QString>
#include <QStringDecoder>
#include <QLatin1StringView>
#include <QStringView>
#include <functional>
#include <optional>

class QIODevice;

namespace core {

enum class TextEncoding { Utf8, Windows1252, Utf16LE, Utf16BE };

// The byte-order mark at the start of a file: its encoding and its length in bytes.
struct TByteOrderMark {
    TextEncoding encoding;
    int length;
};
// Nothing when the bytes do not start with the mark of UTF-8, UTF-16 LE or UTF-16 BE.
std::optional<TByteOrderMark> ByteOrderMark(QByteArrayView head);

// The text of a file's bytes: UTF-16 by its byte-order mark, else UTF-8 when the bytes are valid
// UTF-8 (a byte-order mark is dropped), otherwise Windows-1252.
QString DecodeTextFile(const QByteArray& bytes);

// Windows-1252 text of bytes (every byte is one character).
QString DecodeWindows1252(QByteArrayView bytes);

// How a file's bytes are to be read, decided over the whole file.
struct TTextFileKind {
    TextEncoding encoding = TextEncoding::Utf8;
    int bomLength = 0;
    // False for bytes that are no text: a NUL byte (outside UTF-16), or more than one character
    // in twenty that is a control character or an undefined byte.
    bool isText = true;
    qint64 size = 0;  // bytes seen
};

// Looks at a file's bytes piece by piece (cut anywhere) and decides its TTextFileKind: a UTF-16
// or UTF-8 byte-order mark names the encoding, otherwise the file is UTF-8 when all its bytes are
// valid UTF-8 and Windows-1252 when not.
class TextSniffer {
public:
    void Feed(QByteArrayView bytes);
    TTextFileKind Finish();

private:
    void FeedText(QByteArrayView bytes);
    QByteArray m_head;  // the first bytes until the byte-order mark is known
    bool m_started = false;
    std::optional<TByteOrderMark> m_bom;
    std::optional<QStringDecoder> m_utf16;
    QByteArray m_carry;  // an incomplete UTF-8 sequence at the end of the last piece
    bool m_utf8 = true;
    qint64 m_size = 0;
    qint64 m_chars = 0;
    qint64 m_nul = 0;
    qint64 m_controls = 0;   // C0 controls other than tab, line ends, form feed; DEL
    qint64 m_undefined = 0;  // bytes Windows-1252 leaves undefined
};

// Decodes a file's bytes piece by piece (cut anywhere) in a known encoding. A UTF-16 surrogate
// without its partner comes out as a replacement character.
class TextDecoder {
public:
    explicit TextDecoder(TextEncoding encoding);
    QString Decode(QByteArrayView bytes);
    // What an incomplete sequence at the end of the bytes leaves (replacement characters).
    QString Finish();

private:
    TextEncoding m_encoding;
    std::optional<QStringDecoder> m_decoder;
    QChar m_pendingHigh;  // UTF-16: a high surrogate at the end of the last piece
    int m_oddByte = -1;   // UTF-16: the last piece's odd last byte
};

// A text file read as decoded pieces with constant memory. Kind() reads the whole file once to
// decide how to decode it (or takes a kind decided before); Read() then gives the text piece by
// piece. The progress callback runs after every piece read in either pass and may raise to stop.
class TextFileReader {
public:
    // The device is open for reading at its start and can seek back (a file).
    explicit TextFileReader(QIODevice& device, qint64 pieceSize = qint64(256) << 10);

    void SetProgress(std::function<void()> progress) { m_progress = std::move(progress); }
    // The first pass; raises std::runtime_error when the file cannot be read.
    TTextFileKind Kind();
    // Reading starts after the byte-order mark, in the kind's encoding.
    void Start(const TTextFileKind& kind);
    // The next piece of text; false at the end. Raises std::runtime_error on a read error.
    bool Read(QString& text);

private:
    QIODevice& m_device;
    qint64 m_pieceSize;
    qint64 m_start = 0;
    std::function<void()> m_progress;
    std::optional<TextDecoder> m_decoder;
    bool m_atEnd = false;
};

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
