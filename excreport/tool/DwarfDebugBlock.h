#pragma once
// The reporter's debug-information block from a linked program's DWARF (elfutils libdw).
#include <QByteArray>
#include <QString>

// One unit per run of line rows of one source file inside one contiguous code range; at every
// routine start the name of the innermost function ("Class.Routine", namespaces dropped), so an
// inlined function carries its own name. The name table lists every routine with its offset.
// False with a message when the file has no DWARF.
bool BuildDebugBlockFromDwarf(const QString& program, int dataVersion, QByteArray* block, QString* error);
