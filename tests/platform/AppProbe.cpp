// Runs the application object in one scenario (argv[1]) and prints what happened, one
// "key=value" per line, for ApplicationTest.cpp.
#include "platform/app/Application.h"

#include <QEventLoop>
#include <QMessageBox>
#include <QThread>
#include <QTimer>
#include <cstdio>
#include <stdexcept>

using platform::Application;

namespace {
QStringList g_log;
void CollectLog(QtMsgType, const QMessageLogContext&, const QString& msg) { g_log << msg; }
void Out(const QString& key, const QString& value) { std::printf("%s=%s\n", qPrintable(key), qPrintable(value)); }
void Out(const QString& key, int value) { Out(key, QString::number(value)); }
} // namespace

int main(int argc, char** argv)
{
    qInstallMessageHandler(CollectLog);
    Application app(argc, argv);
    app.SetTitle(QStringLiteral("Quillory"));
    const QString scenario = argc > 1 ? QString::fromLatin1(argv[1]) : QString();
    QStringList handled;
    int alive = 0;

    if (scenario == QLatin1String("slot")) {
        // A slot throws; the loop goes on and serves the next timer.
        app.OnException = [&](std::exception_ptr e) { handled << Application::ExceptionMessage(e); };
        QTimer::singleShot(0, &app, [] { throw std::runtime_error("Fehler im Slot: äö"); });
        QTimer::singleShot(20, &app, [&] { ++alive; app.quit(); });
        Out("exec", app.exec());
    } else if (scenario == QLatin1String("reentry")) {
        // While the handler is busy (its own event loop runs), a second exception is logged only.
        app.OnException = [&](std::exception_ptr e) {
            handled << Application::ExceptionMessage(e);
            QEventLoop inner;
            QTimer::singleShot(0, &app, [] { throw std::runtime_error("second"); });
            QTimer::singleShot(50, &inner, &QEventLoop::quit);
            inner.exec();
        };
        QTimer::singleShot(0, &app, [] { throw std::runtime_error("first"); });
        QTimer::singleShot(200, &app, [&] { ++alive; app.quit(); });
        Out("exec", app.exec());
    } else if (scenario == QLatin1String("box")) {
        // The default handler: a message box with the title; an exception raised while it is
        // open does not open a second box.
        int boxes = 0;
        auto openBox = [] () -> QMessageBox* {
            for (QWidget* w : QApplication::topLevelWidgets())
                if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible())
                    return box;
            return nullptr;
        };
        QTimer poll;
        int step = 0;
        QObject::connect(&poll, &QTimer::timeout, &app, [&] {
            QMessageBox* box = openBox();
            if (step == 0 && box) {
                ++boxes;
                ++step;
                Out("boxTitle", box->windowTitle());
                Out("boxText", box->text());
                throw std::runtime_error("while open");
            }
            if (step == 1) { // the second exception has been dealt with: still the one box?
                for (QWidget* w : QApplication::topLevelWidgets())
                    if (auto* b = qobject_cast<QMessageBox*>(w); b && b->isVisible())
                        ++boxes;
                ++step;
                if (box)
                    box->accept();
                return;
            }
            if (step == 2 && !box) {
                poll.stop();
                QTimer::singleShot(0, &app, [&] { ++alive; app.quit(); });
            }
        });
        poll.start(10);
        QTimer::singleShot(0, &app, [] { throw std::runtime_error("Verbindung fehlgeschlagen"); });
        Out("exec", app.exec());
        Out("boxesSeen", boxes);
    } else if (scenario == QLatin1String("thread")) {
        // An exception in another thread's event loop is handled in the main thread.
        QThread worker;
        QObject target;
        target.moveToThread(&worker);
        worker.start();
        app.OnException = [&](std::exception_ptr e) {
            handled << Application::ExceptionMessage(e)
                           + (QThread::currentThread() == app.thread() ? QStringLiteral("@main") : QStringLiteral("@other"));
        };
        QMetaObject::invokeMethod(&target, [] { throw std::runtime_error("worker"); }, Qt::QueuedConnection);
        QTimer::singleShot(200, &app, [&] { ++alive; app.quit(); });
        Out("exec", app.exec());
        worker.quit();
        worker.wait();
    } else if (scenario == QLatin1String("terminate")) {
        app.Terminate();
        QTimer::singleShot(5000, &app, [&] { ++alive; app.exit(3); });
        Out("exec", app.exec());
        Out("terminated", app.Terminated() ? 1 : 0);
    } else {
        return 2;
    }
    Out("handled", handled.join(QLatin1Char('|')));
    Out("alive", alive);
    Out("log", g_log.join(QLatin1Char('|')));
    return 0;
}
