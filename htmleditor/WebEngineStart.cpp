#include "htmleditor/WebEngineStart.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QFileInfo>
#include <QLibrary>
#include <QOpenGLContext>
#include <QStringList>
#include <stdexcept>

namespace htmleditor {

namespace {
bool g_started = false;
const TWebViewModule* g_module = nullptr;

QStringList ModuleCandidates()
{
    QStringList paths;
    if (QCoreApplication::instance())
        paths << QCoreApplication::applicationDirPath() + QLatin1Char('/') + QLatin1String(kWebEngineModuleName);
#ifdef QLY_WEBENGINE_MODULE
    // Tests and benchmarks run from their own folders of the build tree.
    const QString built = QStringLiteral(QLY_WEBENGINE_MODULE);
    if (!paths.contains(built))
        paths << built;
#endif
    return paths;
}
} // namespace

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

const TWebViewModule& WebEngineModule()
{
    if (g_module)
        return *g_module;
    PrepareWebEngine();
    QStringList problems;
    for (const QString& path : ModuleCandidates()) {
        if (!QFileInfo::exists(path)) {
            problems << path + QStringLiteral(": nicht gefunden");
            continue;
        }
        // Never unloaded: the engine keeps running until the program ends.
        QLibrary library(path);
        using TEntry = const TWebViewModule* (*)();
        const auto entry = reinterpret_cast<TEntry>(library.resolve(kWebViewModuleEntry));
        const TWebViewModule* module = entry ? entry() : nullptr;
        if (!module) {
            problems << library.errorString();
            continue;
        }
        if (module->Version != kWebViewModuleVersion) {
            problems << path + QStringLiteral(": falsche Version");
            continue;
        }
        g_module = module;
        return *g_module;
    }
    throw std::runtime_error(QStringLiteral("Die HTML-Ansicht kann nicht gestartet werden (%1).")
                                 .arg(problems.join(QStringLiteral("; ")))
                                 .toStdString());
}

bool WebEngineStarted()
{
    return g_started;
}

} // namespace htmleditor
