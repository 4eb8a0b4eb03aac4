#pragma once
// What a grid drag carries and how a drop target reads it: text, rich text, a dragged column
// ("Grid Column": a 4-byte little-endian column index) and file names (local files only).
#include <QByteArray>
#include <QString>
#include <QStringList>

class QMimeData;

namespace grid::exchange {

// Family-wide: rich text is offered and taken by drags only while this is on (off at start).
bool DropRTFEnabled();
void SetDropRTFEnabled(bool value);

QString TextMime();
QString RTFMime();
QString GridColumnMime();

// The data of a text drag: the text and, when not empty and DropRTFEnabled, the rich text.
QMimeData* MakeTextDragData(const QString& text, const QString& rtf);
// The data of a column drag: the column index and an empty text (targets take it through that).
QMimeData* MakeColumnDragData(int column);

// Reads the formats of dragged data.
class TEnumFormats {
public:
    explicit TEnumFormats(const QMimeData* data) : m_data(data) {}
    // A drag that carries local file names is a file drag.
    bool HasFiles() const;
    // Text that is not the file names of a file drag.
    bool HasText() const;
    bool HasRTF() const;
    bool HasGridColumn() const;
    QString GetText() const;
    QString GetRTF() const;
    // The first four bytes of the column format; -1 when it is absent or short.
    int GetInteger() const;
    // The local file names; true when there is at least one.
    bool GetFileNames(QStringList& names) const;
private:
    const QMimeData* m_data;
};

} // namespace grid::exchange
