#pragma once
// Test-side builders: BIFF records, small workbooks, a compound-file writer, the RC4 encryption
// of a BIFF8 workbook stream, and a runner for Debian's Python tools.
#include <QByteArray>
#include <QJsonArray>
#include <QList>
#include <QMap>
#include <QPair>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <ostream>

// Test failures show texts as text (the wizard tests' printer is the same one).
#ifndef QLY_TEST_QSTRING_PRINTER
#define QLY_TEST_QSTRING_PRINTER
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }
#endif

namespace xls { class TXLSBook; class TBaseRecordStorage; }

namespace xlstest {

QByteArray u8(int v);
QByteArray u16(int v);
QByteArray u32(uint32_t v);
QByteArray f64(double v);
QByteArray rec(int id, const QByteArray& body);
// BIFF8 string without its length: option byte and characters (16-bit when needed).
QByteArray str8body(const QString& s);
QByteArray str16(const QString& s);   // 16-bit count + option + characters
QByteArray bof8(int type);
QByteArray bof5(int type);
QByteArray dims8(int r1, int r2after, int c1, int c2after);
QByteArray number(int row, int col, double v, int xf = 15);
QByteArray labelsst(int row, int col, uint32_t index, int xf = 15);
QByteArray sst(const QStringList& strings);
QByteArray boolerr(int row, int col, int v, bool isError, int xf = 15);
// A formula record with a number result.
QByteArray formula8(int row, int col, double result, const QByteArray& tokens, int options = 0, int xf = 15);
// A formula with a special result: type 0 string, 1 boolean, 2 error, 3 empty.
QByteArray formula8Special(int row, int col, int type, int value, const QByteArray& tokens, int options = 0, int xf = 15);

// A BIFF8 workbook stream: globals (with BOUNDSHEETs whose positions are filled in), then the
// sheets' records, each sheet wrapped in BOF/EOF. `globalsExtra` goes after the BOUNDSHEETs.
struct Sheet8 {
    QString name;
    QByteArray records;
    int type = 0x10;   // 0x20 chart sheet
};
QByteArray book8(const QList<Sheet8>& sheets, const QByteArray& globalsExtra = {}, const QByteArray& beforeSheets = {});
QByteArray book5(const QList<Sheet8>& sheets, const QByteArray& globalsExtra = {});

struct CfbFile {
    QByteArray bytes;
    QMap<QString, uint32_t> start;   // first sector of each stream (regular or mini)
    int sectorSize = 512;
    QList<qint64> fatSectorOffsets;   // byte offsets of the FAT sectors
};
CfbFile compoundFile(const QList<QPair<QString, QByteArray>>& streams, int version = 3);
void setFatEntry(CfbFile& f, uint32_t sector, uint32_t value);
// Moves the sectors of a stream in regular sectors among themselves: its k-th sector goes to the
// k-th slot of `order` (a permutation of 0 .. sector count - 1), the chain follows it.
void scatterStream(CfbFile& f, const QString& name, qint64 size, const QList<int>& order);

// Encrypts a BIFF8 workbook stream with RC4 (FILEPASS inserted after the first BOF).
QByteArray encryptWorkbook(const QByteArray& plain, const QString& password);

// Runs /usr/bin/python3 with the script and arguments; returns stdout, fails the test on error.
QString python(const QString& script, const QStringList& args = {}, int* exitCode = nullptr);
// Every sheet of the workbook as xlrd reads it: {name, rows, cols, cells {"r,c": text}}, the texts
// formatted the way CellText does.
QJsonArray xlrdSheets(const QString& path);

// Differences from xlrd that are the reader's own behaviour, not faults.
struct CrossCheckRules {
    bool sheetNames = true;             // compare the sheet names
    bool cellsOutsideDimensions = false;   // xlrd's cells beyond the DIMENSIONS are not read
};
// Compares the read book with the reference: every cell text in the reference's range, and our
// cells outside that range must be empty. Returns the number of cells compared.
int crossCheck(const xls::TXLSBook& book, const QJsonArray& reference, const CrossCheckRules& rules = {});
// Reads the file with both and compares.
void crossCheck(const QString& path);

// Whether a record with the id is kept raw in the storage.
bool hasRecord(const xls::TBaseRecordStorage& storage, int id);

// Writes the bytes to a file in the folder.
QString writeFile(const QString& dir, const QString& name, const QByteArray& bytes);

}
