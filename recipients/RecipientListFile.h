#pragma once
// Reading of recipient list text files (TRecipientListStore::LoadFromFile and SaveToFile).
#include <QByteArray>
#include <QString>

namespace recipients {

// The text of a list file: UTF-8 when the bytes are valid UTF-8 (a byte-order mark is dropped),
// otherwise Windows-1252.
QString DecodeListFile(const QByteArray& bytes);

} // namespace recipients
