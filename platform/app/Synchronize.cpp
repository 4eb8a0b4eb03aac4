#include "Synchronize.h"

#include <QCoreApplication>
#include <QThread>
#include <exception>
#include <stdexcept>

namespace platform {

void Synchronize(const std::function<void()>& fn)
{
    QCoreApplication* app = QCoreApplication::instance();
    if (!app)
        throw std::logic_error("Synchronize needs the application object");
    if (QThread::currentThread() == app->thread()) {
        fn();
        return;
    }
    std::exception_ptr error;
    const bool delivered = QMetaObject::invokeMethod(
        app,
        [&] {
            try {
                fn();
            } catch (...) {
                error = std::current_exception();
            }
        },
        Qt::BlockingQueuedConnection);
    if (!delivered)
        throw std::runtime_error("Synchronize: the main thread did not take the call");
    if (error)
        std::rethrow_exception(error);
}

} // namespace platform
