#include "Application.h"
#include "platform/db/Connection.h"

#include <QMessageBox>
#include <QPushButton>
#include <QPointer>
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

namespace {

bool OwnAskRetryBusy(Application* app, const QString& message)
{
    const QString title = !app || app->Title().isEmpty() ? QApplication::applicationName() : app->Title();
    QMessageBox box(QMessageBox::Warning, title,
                    db::BusyText() + QStringLiteral(" Die Aktion konnte deshalb nicht ausgeführt werden.\n\n(")
                        + message + QLatin1Char(')'),
                    QMessageBox::Retry | QMessageBox::Cancel, QApplication::activeWindow());
    box.setObjectName(QStringLiteral("DatabaseBusy"));
    box.button(QMessageBox::Retry)->setText(QStringLiteral("Wiederholen"));
    box.button(QMessageBox::Cancel)->setText(QStringLiteral("Abbrechen"));
    const bool quitOnClose = QApplication::quitOnLastWindowClosed();
    QApplication::setQuitOnLastWindowClosed(false);
    const int answer = box.exec();
    QApplication::setQuitOnLastWindowClosed(quitOnClose);
    return answer == QMessageBox::Retry;
}

} // namespace

bool Application::notify(QObject* receiver, QEvent* event)
{
    const QPointer<QObject> alive(receiver);
    for (;;) {
        try {
            return QApplication::notify(receiver, event);
        } catch (const db::EDatabaseError& e) {
            if (!e.IsBusy() || QThread::currentThread() != thread()) {
                HandleException(std::current_exception());
                return false;
            }
            if (m_askingBusy)
                return false; // the question is open already
            m_askingBusy = true;
            bool retry = false;
            try {
                retry = platform::AskRetryBusy(e.message());
            } catch (...) {
            }
            m_askingBusy = false;
            if (!retry || !alive)
                return false;
        } catch (...) {
            HandleException(std::current_exception());
            return false;
        }
    }
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

bool AskRetryBusy(const QString& message)
{
    Application* app = Application::Instance();
    if (app && app->AskRetryBusy)
        return app->AskRetryBusy(message);
    return OwnAskRetryBusy(app, message);
}

void HandleException(std::exception_ptr error)
{
    if (Application* app = Application::Instance())
        app->HandleException(error);
    else
        qCritical().noquote() << QStringLiteral("Unhandled exception: %1").arg(Application::ExceptionMessage(error));
}

} // namespace platform
