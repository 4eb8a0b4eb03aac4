#include "app/ProgramStart.h"
#include "app/ToolkitTranslations.h"
#include "core/OrvUtils.h"
#include "excreport/SivrelOutputs.h"
#include "grid/GridStartup.h"
#include "platform/app/Application.h"

#include <QIcon>
#include <QImageReader>
#include <QPixmap>

int main(int argc, char** argv)
{
    // The web engine shares OpenGL contexts between threads; Qt asks for this before the
    // application object exists. The engine itself starts with the first web view.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    platform::Application app(argc, argv);
    // The program's icon for every window (and the about box), and the menu entry it belongs to.
    // Read as PNG by the toolkit's own reader: left to guess the format, the reader would first
    // load and ask every image-format plugin.
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64, 128, 256}) {
        QImageReader reader(QStringLiteral(":/icons/quillory-%1.png").arg(size), "png");
        reader.setAutoDetectImageFormat(false);
        const QImage image = reader.read();
        if (!image.isNull())
            icon.addPixmap(QPixmap::fromImage(image));
    }
    QApplication::setWindowIcon(icon);
    QGuiApplication::setDesktopFileName(QStringLiteral("quillory"));
    // Unhandled errors become reports: log, report dialog, clipboard copy.
    excreport::SivrelInstallReportOutputs();
    app::LoadToolkitTranslations(app);
    core::SetProgramVersion(QStringLiteral(QLY_PRODUCT_VERSION), QStringLiteral(QLY_FILE_VERSION));
    grid::GridFamilyStartup();
    const int exitCode = app::RunProgram(app);
    grid::GridFamilyShutdown();
    return exitCode;
}
