#include "Application.h"

#include <QMessageBox>
#include <QThread>
#include <QtDebug>

namespace platform {

namespace {

void OwnHandleException(Application& app, std::exception_ptr error)
{
    if (app.OnException)
        app.OnException(error);
    else
        app.ShowException(error);
}

void OwnShowException(Application& app, std::exception_ptr error)
{
    const QString title = app.Title().isEmpty() ? QApplication::applicationName() : app.Title();
    QMessageBox box(QMessageBox::Critical, title, Application::ExceptionMessage(error), QMessageBox::Ok,
                    QApplication::activeWindow());
    // Closing the box must not end the program when no other window is open yet.
    const bool quitOnClose = QApplication::quitOnLastWindowClosed();
    QApplication::setQuitOnLastWindowClosed(false);
    box.exec();
    QApplication::setQuitOnLastWindowClosed(quitOnClose);
}

} // namespace

Application::ExceptionRoutine Application::HandleExceptionSlot = &OwnHandleException;
Application::ExceptionRoutine Application::ShowExceptionSlot = &OwnShowException;

Application::Application(int& argc, char** argv) : QApplication(argc, argv) {}

Application::~Application() = default;

Application* Application::Instance()
{
    return qobject_cast<Application*>(QCoreApplication::instance());
}

QString Application::ExceptionMessage(std::exception_ptr error)
{
    if (!error)
        return QString();
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& e) {
        return QString::fromUtf8(e.what());
    } catch (...) {
        return QStringLiteral("Unbekannter Fehler");
    }
}

bool Application::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        HandleException(std::current_exception());
    }
    return false;
}

void Application::HandleException(std::exception_ptr error)
{
    if (QThread::currentThread() != thread()) {
        QMetaObject::invokeMethod(this, [this, error] { HandleException(error); }, Qt::QueuedConnection);
        return;
    }
    if (m_handling) {
        qWarning().noquote() << QStringLiteral("Exception while another one is being handled: %1")
                                    .arg(ExceptionMessage(error));
        return;
    }
    m_handling = true;
    try {
        HandleExceptionSlot(*this, error);
    } catch (...) {
        qWarning().noquote() << QStringLiteral("Exception in the exception handler: %1")
                                    .arg(ExceptionMessage(std::current_exception()));
    }
    m_handling = false;
}

void Application::ShowException(std::exception_ptr error)
{
    ShowExceptionSlot(*this, error);
}

void Application::Terminate()
{
    m_terminated = true;
    quit();
    // quit() does nothing while no loop runs: the queued call ends the loop that starts next.
    QMetaObject::invokeMethod(this, &QCoreApplication::quit, Qt::QueuedConnection);
}

void HandleException(std::exception_ptr error)
{
    if (Application* app = Application::Instance())
        app->HandleException(error);
    else
        qCritical().noquote() << QStringLiteral("Unhandled exception: %1").arg(Application::ExceptionMessage(error));
}

} // namespace platform
