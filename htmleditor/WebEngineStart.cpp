#include "htmleditor/WebEngineStart.h"

#include <QByteArray>
#include <QOpenGLContext>

namespace htmleditor {

namespace {
bool g_started = false;
}

void PrepareWebEngine()
{
    if (g_started)
        return;
    g_started = true;
    // The shared context exists when the application object could create it (the engine asks
    // for it before the application object is made); without it the engine would fail on its GPU
    // thread and warn.
    const QOpenGLContext* shared = QOpenGLContext::globalShareContext();
    if (shared && shared->isValid())
        return;
    QByteArray flags = qgetenv("QTWEBENGINE_CHROMIUM_FLAGS");
    if (flags.contains("--disable-gpu"))
        return;
    if (!flags.isEmpty())
        flags += ' ';
    flags += "--disable-gpu";
    qputenv("QTWEBENGINE_CHROMIUM_FLAGS", flags);
}

bool WebEngineStarted()
{
    return g_started;
}

} // namespace htmleditor
