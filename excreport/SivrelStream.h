#pragma once
// A memory stream of little-endian values for the reporter's data: options, shared block, data block.
#include <QByteArray>
#include <QString>
#include <cstdint>

namespace excreport {

// Key of the scrambled strings of the option stream and the debug block.
constexpr uint8_t SivrelStringKey = 0x4B;

class TSivrelStream {
public:
    TSivrelStream() = default;
    explicit TSivrelStream(QByteArray data) : m_data(std::move(data)) {}

    const QByteArray& Data() const { return m_data; }
    qsizetype Position() const { return m_pos; }
    void SetPosition(qsizetype pos) { m_pos = pos; }
    qsizetype Size() const { return m_data.size(); }
    qsizetype Left() const { return m_data.size() - m_pos; }

    // Reading raises EReadError when the stream holds fewer bytes than asked for.
    void ReadBuffer(void* dest, qsizetype count);
    QByteArray ReadBytes(qsizetype count);
    void Skip(qsizetype count);
    uint8_t ReadByte();
    uint16_t ReadWord();
    uint32_t ReadLongWord();
    int32_t ReadInteger() { return static_cast<int32_t>(ReadLongWord()); }
    // Scrambled option string: 32-bit length n, n bytes of UTF-8 each XORed with the key.
    QString ReadScrambled();

    // Writing appends at the end.
    void WriteBuffer(const void* src, qsizetype count);
    void WriteByte(uint8_t v);
    void WriteWord(uint16_t v);
    void WriteLongWord(uint32_t v);
    void WriteInteger(int32_t v) { WriteLongWord(static_cast<uint32_t>(v)); }
    void WriteScrambled(const QString& text);

private:
    QByteArray m_data;
    qsizetype m_pos = 0;
};

// XOR of every byte with the string key (its own inverse).
QByteArray SivrelScramble(QByteArray bytes);

} // namespace excreport
