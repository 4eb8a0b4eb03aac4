#include "app/ToolkitTranslations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace app {

QStringList LoadToolkitTranslations(QCoreApplication& app)
{
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    const QLocale german(QLocale::German, QLocale::Germany);
    QStringList installed;
    // qtbase: message boxes, file and input dialogs, the edit menus; qtwebengine: the menus of the
    // HTML editor and the preview.
    for (const QString& catalogue : { QStringLiteral("qtbase"), QStringLiteral("qtwebengine") }) {
        auto* translator = new QTranslator(&app);
        if (translator->load(german, catalogue, QStringLiteral("_"), folder) && app.installTranslator(translator)) {
            installed << catalogue;
        } else {
            delete translator;
        }
    }
    return installed;
}

} // namespace app
