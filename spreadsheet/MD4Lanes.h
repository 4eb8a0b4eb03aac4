#pragma once
// MD4 digests of many messages at once: eight messages share every step of the rounds, each in
// one lane of a vector register. A workbook's picture store holds hundreds of pictures, and their
// identifiers cost more than the rest of reading it.
#include <QByteArray>
#include <QByteArrayView>
#include <QList>

namespace xls {

// The 16-byte digest of each message, in order.
QList<QByteArray> MD4Digests(const QList<QByteArrayView>& messages);

}
