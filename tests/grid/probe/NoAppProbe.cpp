// Starts the grid family in a process that has no application object and prints what happened:
// "message=<text>", "started=<0|1>", "ole=<count>", "registered=<0|1>".
#include "grid/GridStartup.h"
#include "platform/grid/ObjectStream.h"
#include "platform/grid/WinCompat.h"

#include <QObject>
#include <cstdio>

int main()
{
    QString message;
    try {
        grid::GridFamilyStartup();
    } catch (const tk::EAssertionFailed& e) {
        message = e.message();
    } catch (const std::exception& e) {
        message = QString::fromStdString(e.what());
    }
    const bool registered = tk::GetClass(QStringLiteral("TZedEzeravIvur")) != nullptr;
    std::printf("message=%s\nstarted=%d\nole=%d\nregistered=%d\n", qPrintable(message),
                grid::GridFamilyStarted() ? 1 : 0, tk::OleInitCount(), registered ? 1 : 0);
    return 0;
}
