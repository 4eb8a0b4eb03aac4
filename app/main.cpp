#include "app/ProgramStart.h"
#include "app/ToolkitTranslations.h"
#include "core/OrvUtils.h"
#include "platform/app/Application.h"

int main(int argc, char** argv)
{
    platform::Application app(argc, argv);
    app::LoadToolkitTranslations(app);
    core::SetProgramVersion(QStringLiteral(QLY_PRODUCT_VERSION), QStringLiteral(QLY_FILE_VERSION));
    return app::RunProgram(app);
}
