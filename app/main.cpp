#include "app/ProgramIcon.h"
#include "app/ProgramStart.h"
#include "app/ToolkitTranslations.h"
#include "core/OrvUtils.h"
#include "excreport/SivrelOutputs.h"
#include "grid/GridStartup.h"
#include "platform/app/Application.h"

#include <QIcon>

int main(int argc, char** argv)
{
    // The web engine shares OpenGL contexts between threads; Qt asks for this before the
    // application object exists. The engine itself starts with the first web view.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    platform::Application app(argc, argv);
    // The program's icon for every window (and the about box), and the menu entry it belongs to.
    const QIcon icon = app::LazyPngIcon(QStringLiteral(":/icons/quillory-%1.png"), {16, 24, 32, 48, 64, 128, 256});
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
