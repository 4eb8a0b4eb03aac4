// The program's main window with the exception reporter on, as the program starts it: the window
// is shown, Shift+Alt+E is pressed in the SMTP server field, and the program goes on.
#include "app/MainForm.h"
#include "excreport/SivrelOutputs.h"
#include "platform/app/Application.h"
#include <QLineEdit>
#include <QTest>
#include <QTimer>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv)
{
    platform::Application app(argc, argv);
    excreport::SivrelInstallReportOutputs();
    app::TMainForm window;
    if (argc == 4 && QByteArray(argv[1]) == "geometry") {
        // Where the SMTP server field lies in a main window of the given size (the desktop tests
        // click it in the real program's window of that size).
        window.resize(atoi(argv[2]), atoi(argv[3]));
        window.show();
        QCoreApplication::processEvents();
        const QRect r(window.EditSmtpServer->mapTo(&window, QPoint(0, 0)), window.EditSmtpServer->size());
        std::printf("field %d %d %d %d visible=%d\n", r.x(), r.y(), r.width(), r.height(),
                    window.EditSmtpServer->isVisible() ? 1 : 0);
        return 0;
    }
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
