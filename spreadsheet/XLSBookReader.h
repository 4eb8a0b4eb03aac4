#pragma once
// Turns the record sequence of a workbook into the model of TXLSBook: one reader per read.
#include "spreadsheet/XLSStream.h"

#include <QByteArray>
#include <QList>
#include <QPair>
#include <functional>
#include <vector>

namespace xls {

class TXLSBook;
class TSheet;
class TRecordStorageDefault;
class TBaseRecordStorage;
class EXLSError;
class TRecordSource;

class TXLSBookReader {
public:
    explicit TXLSBookReader(TXLSBook* book);
    void Read();                            // the book's Filename
    void ReadData(const QByteArray& bytes); // a file's bytes in memory

private:
    struct SharedFormula {
        int firstRow, lastRow, firstCol, lastCol;
        int tokenLength;
        QByteArray data;
    };

    TXLSBook* m_book;
    TXLSStream m_stream;
    TExcelVersion m_version = xvNone;
    std::vector<uint8_t> m_buf;
    const uint8_t* m_body = nullptr;   // the current record's body: m_buf, or the stream's bytes in place
    int m_sheetIndex = -1;
    QList<QPair<QByteArray, int>> m_directory;   // raw name, hidden state
    int m_cursor = -1;
    uint16_t m_id = 0;
    int m_len = 0;
    QList<SharedFormula> m_shared;
    TRecordStorageDefault* m_storage = nullptr;
    bool m_taken = false;
    int m_recordNo = 0;
    bool m_inSheet = false;
    bool m_skipView = false;
    bool m_stop = false;
    bool m_drawingFailed = false;   // the current sheet's drawing could not be read

    void run();
    void dispatch();
    TSheet* sheet() const;
    const uint8_t* body() const { return m_body; }
    void need(int offset, int count) const;
    void mark(uint16_t marker);
    void storeDefault();
    void storeDefault(const uint8_t* data, int length);
    void storeRaw();
    QByteArray readNextRecord(uint16_t& id);   // the next record, read past the loop

    void onBOF();
    void onEOF();
    void skipSubstream(TBaseRecordStorage* into);
    void onFormula();
    void specialResult(int col, int row, int fi, const QByteArray& tokens, int tokenLength, int type, int value);
    void addSharedFormula(const QByteArray& shrfmla);
    bool readStringResult(QString& text);
    QString continuedText(const uint8_t* body, qint64 size, qint64 offset, int count);
    void onFont();
    void onFilePass();
    void onSelection();
    void onPane();
    void onDrawingGroup();
    void onDrawing(TSheet* s);
    void onChartSheet();
    void linkPictures();
    void onNames();
    void warn(const EXLSError& e, uint16_t id);
    void tolerant(const std::function<void()>& read);
    void tolerantStream(const std::function<void(TRecordSource&)>& read);
};

}
