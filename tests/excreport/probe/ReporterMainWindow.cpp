// The program's main window with the exception reporter on, as the program starts it: the window
// is shown, Shift+Alt+E is pressed in the SMTP server field, and the program goes on.
#include "app/MainForm.h"
#include "excreport/SivrelOutputs.h"
#include "platform/app/Application.h"
#include <QLineEdit>
#include <QTest>
#include <QTimer>
#include <cstdio>

int main(int argc, char** argv)
{
    platform::Application app(argc, argv);
    excreport::SivrelInstallReportOutputs();
    app::TMainForm window;
    window.show();
    QTimer::singleShot(0, &app, [&] {
        QApplication::setActiveWindow(&window);
        window.EditSmtpServer->setFocus();
        QTest::keyClick(window.EditSmtpServer, Qt::Key_E, Qt::ShiftModifier | Qt::AltModifier);
        std::printf("went on visible=%d\n", window.isVisible() ? 1 : 0);
        std::fflush(stdout);
        app.quit();
    });
    return app.exec();
}
