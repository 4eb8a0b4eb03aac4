#pragma once
// The application object: a QApplication whose event delivery catches every exception that
// leaves an event handler and hands it to the application's exception handler, so exceptions
// never cross Qt's event loop. The default handler shows the message in a box captioned with the
// application title and the program goes on. An exception raised while the handler is busy (for
// example in an event handled while its box is open) is logged, not shown again.
//
// A database that another program keeps busy beyond the connection's short wait is no fault:
// the main thread then asks in German whether to try again ("Wiederholen" delivers the event
// once more, "Abbrechen" drops it), instead of waiting with the window frozen.
#include <QApplication>
#include <exception>
#include <functional>

namespace platform {

class Application : public QApplication {
    Q_OBJECT
public:
    Application(int& argc, char** argv);
    ~Application() override;

    // The running application object, or nullptr when the QApplication is not one of ours.
    static Application* Instance();

    QString Title() const { return m_title; }
    // The title is also the application name, which names the settings keys of its components.
    void SetTitle(const QString& title) { m_title = title; setApplicationName(title); }
    QString HelpFile() const { return m_helpFile; }
    void SetHelpFile(const QString& helpFile) { m_helpFile = helpFile; }

    // Replaces the default handling (ShowException); empty restores it.
    std::function<void(std::exception_ptr)> OnException;

    // Hands an exception to OnException or ShowException; not re-entered (see above). May be
    // called from any thread: other threads' exceptions are handled in the main thread.
    void HandleException(std::exception_ptr error);
    // The default handling: a critical message box with the title and the message.
    void ShowException(std::exception_ptr error);

    // Ends the message loop as soon as it runs (also when it has not started yet).
    void Terminate();
    bool Terminated() const { return m_terminated; }

    bool notify(QObject* receiver, QEvent* event) override;
    // The question after a busy database (message: the database's own text); true: try again.
    // Replaceable (tests); empty: the application's own box, named "DatabaseBusy".
    std::function<bool(const QString& message)> AskRetryBusy;

    // Hook slots: HandleException and ShowException run the routine their slot holds (at first
    // the application's own code), so that the exception reporter can take them over; its
    // routines call the previous value to run the application's own code.
    using ExceptionRoutine = void (*)(Application& app, std::exception_ptr error);
    // (Constant-initialised: the reporter may take them over before the program's static objects
    // are made.)
    static ExceptionRoutine HandleExceptionSlot;
    static ExceptionRoutine ShowExceptionSlot;

    // The text of an exception (std::exception::what() read as UTF-8).
    static QString ExceptionMessage(std::exception_ptr error);

private:
    QString m_title;
    QString m_helpFile;
    bool m_handling = false;
    bool m_askingBusy = false;
    bool m_terminated = false;
};

// Asks whether to try again after the database stayed busy (Application::AskRetryBusy, else the
// application's own box "DatabaseBusy"); true: try again. Main thread only.
bool AskRetryBusy(const QString& message);

// Hands an exception to the application object's handler; logs it when there is none.
void HandleException(std::exception_ptr error);

} // namespace platform
