#include "grid/exchange/DragData.h"

#include <QMimeData>
#include <QUrl>
#include <QtEndian>

namespace grid::exchange {

namespace {
bool g_dropRTF = false;
}

bool DropRTFEnabled() { return g_dropRTF; }
void SetDropRTFEnabled(bool value) { g_dropRTF = value; }

QString TextMime() { return QStringLiteral("text/plain"); }
QString RTFMime() { return QStringLiteral("text/rtf"); }
QString GridColumnMime() { return QStringLiteral("application/x-qt-windows-mime;value=\"Grid Column\""); }

QMimeData* MakeTextDragData(const QString& text, const QString& rtf)
{
    auto* data = new QMimeData;
    data->setData(TextMime(), text.toUtf8());
    if (!rtf.isEmpty() && DropRTFEnabled())
        data->setData(RTFMime(), rtf.toLatin1());
    return data;
}

QMimeData* MakeColumnDragData(int column)
{
    auto* data = new QMimeData;
    QByteArray bytes(4, '\0');
    qToLittleEndian<qint32>(column, bytes.data());
    data->setData(GridColumnMime(), bytes);
    data->setData(TextMime(), QByteArray());
    return data;
}

bool TEnumFormats::HasFiles() const
{
    QStringList names;
    return GetFileNames(names);
}

bool TEnumFormats::HasText() const { return m_data && m_data->hasFormat(TextMime()) && !HasFiles(); }
bool TEnumFormats::HasRTF() const { return m_data && m_data->hasFormat(RTFMime()); }
bool TEnumFormats::HasGridColumn() const { return m_data && m_data->hasFormat(GridColumnMime()); }

namespace {

// A format's bytes up to a terminating NUL, as a C string holds them.
QByteArray BytesUpToNul(const QMimeData* data, const QString& format)
{
    QByteArray bytes = data->data(format);
    if (const qsizetype nul = bytes.indexOf('\0'); nul >= 0)
        bytes.truncate(nul);
    return bytes;
}

} // namespace

QString TEnumFormats::GetText() const
{
    return m_data ? QString::fromUtf8(BytesUpToNul(m_data, TextMime())) : QString();
}

QString TEnumFormats::GetRTF() const
{
    return m_data ? QString::fromLatin1(BytesUpToNul(m_data, RTFMime())) : QString();
}

int TEnumFormats::GetInteger() const
{
    if (!HasGridColumn())
        return -1;
    const QByteArray bytes = m_data->data(GridColumnMime());
    return bytes.size() < 4 ? -1 : qFromLittleEndian<qint32>(bytes.constData());
}

bool TEnumFormats::GetFileNames(QStringList& names) const
{
    names.clear();
    if (!m_data || !m_data->hasUrls())
        return false;
    for (const QUrl& url : m_data->urls())
        if (url.isLocalFile())
            names << url.toLocalFile();
    return !names.isEmpty();
}

} // namespace grid::exchange
