// A console program with the reporter on: an error handed to the reporter is written to the
// standard output (as a web page when REQUEST_METHOD is set).
#include "excreport/SivrelExcept.h"
#include "excreport/SivrelOutputs.h"
#include <QCoreApplication>
#include <stdexcept>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    excreport::SivrelInstallReportOutputs();
    std::exception_ptr error;
    try {
        throw std::runtime_error("Console <failure> & more");
    } catch (...) {
        error = std::current_exception();
    }
    ExceptionManager(&error, nullptr, 0);
    return 0;
}
