#pragma once
// Small routines the reporter's parts share.
#include <QString>

namespace excreport {

// Full path of the module (executable or shared object) that holds the reporter's code.
QString SivrelThisModuleFileName();

} // namespace excreport
