#pragma once
// The web engine refuses to start its sandbox as root; test processes run it without one.
#include <QByteArray>
#include <QtGlobal>
#include <unistd.h>

namespace qlytest {
inline const bool kWebEngineEnvironment = [] {
    if (::geteuid() == 0)
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", QByteArray("1"));
    return true;
}();
} // namespace qlytest
