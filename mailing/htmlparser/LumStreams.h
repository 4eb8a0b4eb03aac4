#pragma once
// Buffered reader and writer of typed elements: one type byte followed by as few little-endian
// data bytes as the value needs.
#include "mailing/htmlparser/LumUtils.h"

#include <QIODevice>
#include <memory>

class ELumStreamError : public ELumError {
public:
    using ELumError::ELumError;
};

class TLumFiler {
public:
    TLumFiler(QIODevice* stream, int bufferSize);
    TLumFiler(const TLumFiler&) = delete;
    TLumFiler& operator=(const TLumFiler&) = delete;
    QIODevice* Stream() const { return fStream; }

protected:
    QIODevice* fStream;
    std::unique_ptr<quint8[]> fBuffer;
    int fBufSize;
    int fBufPos = 0;
    int fBufCount = 0; // reader: bytes in the buffer; writer: highest position written
};

class TLumReader : public TLumFiler {
public:
    using TLumFiler::TLumFiler;
    void ReadBuffer(void* target, qint64 length);
    quint8 ReadByte();
    quint8 ReadByteElement();
    quint32 ReadUnsigned();
    qint32 ReadInteger();
    QString ReadWideString();

private:
    quint32 ReadData(int count, quint32 start);
};

class TLumBinaryReader : public TLumReader {
public:
    using TLumReader::TLumReader;
};

class TLumWriter : public TLumFiler {
public:
    using TLumFiler::TLumFiler;
    ~TLumWriter();
    void WriteBuffer(const void* source, qint64 length);
    void Flush();
    void WriteByte(quint8 b);
    void WriteByteElement(quint8 b);
    void WriteUnsigned(quint32 v);
    void WriteInteger(qint32 v);
    void WriteWideString(const QString& s);
};

class TLumBinaryWriter : public TLumWriter {
public:
    using TLumWriter::TLumWriter;
};
