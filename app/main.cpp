#include "app/ProgramStart.h"
#include "core/OrvUtils.h"
#include "grid/GridStartup.h"
#include "platform/app/Application.h"

int main(int argc, char** argv)
{
    platform::Application app(argc, argv);
    core::SetProgramVersion(QStringLiteral(QLY_PRODUCT_VERSION), QStringLiteral(QLY_FILE_VERSION));
    grid::GridFamilyStartup();
    const int exitCode = app::RunProgram(app);
    grid::GridFamilyShutdown();
    return exitCode;
}
