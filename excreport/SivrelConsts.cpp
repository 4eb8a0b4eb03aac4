#include "excreport/SivrelConsts.h"

namespace excreport {

const std::array<QString, SivrelTextCount>& SivrelDefaultTexts()
{
    static const std::array<QString, SivrelTextCount> texts = {
        // Message captions
        QStringLiteral("Information."), QStringLiteral("Question."),
        // Exception dialog
        QStringLiteral("Error."),
        QStringLiteral("An error has occurred during program execution.\r\n"
                       "Please read the following information for further details."),
        QStringLiteral("General"), QStringLiteral("General Information"), QStringLiteral("Call Stack"),
        QStringLiteral("Call Stack Information"), QStringLiteral("Modules"), QStringLiteral("Modules Information"),
        QStringLiteral("CPU"), QStringLiteral("CPU Information"), QStringLiteral("&OK"), QStringLiteral("&Terminate"),
        QStringLiteral("&Restart"), QStringLiteral("&Details"), QStringLiteral("&Send this error via Email"),
        QStringLiteral("&Attach a Screenshot image"), QStringLiteral("&Copy to Clipboard"),
        // Log
        QStringLiteral("Application"), QStringLiteral("Start Date"), QStringLiteral("Name/Description"),
        QStringLiteral("Version Number"), QStringLiteral("Parameters"), QStringLiteral("Exception"),
        QStringLiteral("Date"), QStringLiteral("Address"), QStringLiteral("Module"), QStringLiteral("Type"),
        QStringLiteral("Message"), QStringLiteral("Active Controls"), QStringLiteral("Form Class"),
        QStringLiteral("Form Text"), QStringLiteral("Control Class"), QStringLiteral("Control Text"),
        QStringLiteral("Computer"), QStringLiteral("Name"), QStringLiteral("User"), QStringLiteral("Total Memory"),
        QStringLiteral("Free Memory"), QStringLiteral("Total Disk"), QStringLiteral("Free Disk"),
        QStringLiteral("Operating System"), QStringLiteral("Type"), QStringLiteral("Build #"),
        QStringLiteral("Update"), QStringLiteral("Language"),
        // Log, call-stack columns
        QStringLiteral("Address"), QStringLiteral("Module"), QStringLiteral("Unit"), QStringLiteral("Class"),
        QStringLiteral("Procedure/Method"), QStringLiteral("Line"),
        // SMTP dialog
        QStringLiteral("SMTP."), QStringLiteral("Message"), QStringLiteral("Resolving MX record..."),
        QStringLiteral("Connecting with SMTP server..."), QStringLiteral("Connected with SMTP server."),
        QStringLiteral("Sending message..."),
        // Reproduce dialog
        QStringLiteral("Request"), QStringLiteral("Please describe the steps to reproduce the error:"),
        QStringLiteral("&OK"),
        // Log, modules-list columns and CPU section
        QStringLiteral("Handle"), QStringLiteral("Name"), QStringLiteral("Description"), QStringLiteral("Version"),
        QStringLiteral("Size"), QStringLiteral("Path"), QStringLiteral("Registers"), QStringLiteral("Stack"),
        QStringLiteral("Memory Dump"),
    };
    return texts;
}

const std::array<QString, SivrelTextKeyCount>& SivrelTextKeys()
{
    static const std::array<QString, SivrelTextKeyCount> keys = {
        QStringLiteral("Texts"),
        QStringLiteral("Message captions"), QStringLiteral("Information"), QStringLiteral("Question"),
        QStringLiteral("Exception Dialog"), QStringLiteral("Caption"), QStringLiteral("Error message"),
        QStringLiteral("General Caption"), QStringLiteral("General Header"), QStringLiteral("Call Stack Caption"),
        QStringLiteral("Call Stack Header"), QStringLiteral("Modules List Caption"),
        QStringLiteral("Modules List Header"), QStringLiteral("CPU Caption"), QStringLiteral("CPU Header"),
        QStringLiteral("OK Button"), QStringLiteral("Terminate Button"), QStringLiteral("Restart Button"),
        QStringLiteral("Details Button"), QStringLiteral("Email message"), QStringLiteral("Screenshot message"),
        QStringLiteral("Copy message"),
        QStringLiteral("SMTP Dialog"), QStringLiteral("Caption"), QStringLiteral("Message"),
        QStringLiteral("Resolving message"), QStringLiteral("Connecting message"),
        QStringLiteral("Connected message"), QStringLiteral("Sending message"),
        QStringLiteral("Reproduce Dialog"), QStringLiteral("Caption"), QStringLiteral("Request message"),
        QStringLiteral("OK Button"),
        QStringLiteral("Log"), QStringLiteral("Application Header"), QStringLiteral("Start Date"),
        QStringLiteral("Name/Description"), QStringLiteral("Version Number"), QStringLiteral("Parameters"),
        QStringLiteral("Exception Header"), QStringLiteral("Date"), QStringLiteral("Address"),
        QStringLiteral("Module"), QStringLiteral("Type"), QStringLiteral("Message"),
        QStringLiteral("Active Controls Header"), QStringLiteral("Form Class"), QStringLiteral("Form Text"),
        QStringLiteral("Control Class"), QStringLiteral("Control Text"), QStringLiteral("Computer Header"),
        QStringLiteral("Name"), QStringLiteral("User"), QStringLiteral("Total Memory"),
        QStringLiteral("Free Memory"), QStringLiteral("Total Disk"), QStringLiteral("Free Disk"),
        QStringLiteral("Operating System Header"), QStringLiteral("Type"), QStringLiteral("Build #"),
        QStringLiteral("Update"), QStringLiteral("Language"),
        QStringLiteral("Call Stack"), QStringLiteral("Address"), QStringLiteral("Module"), QStringLiteral("Unit"),
        QStringLiteral("Class"), QStringLiteral("Procedure/Method"), QStringLiteral("Line"),
        QStringLiteral("Modules List"), QStringLiteral("Handle"), QStringLiteral("Name"),
        QStringLiteral("Description"), QStringLiteral("Version"), QStringLiteral("Size"), QStringLiteral("Path"),
        QStringLiteral("CPU"), QStringLiteral("Registers"), QStringLiteral("Stack"), QStringLiteral("Memory Dump"),
    };
    return keys;
}

const std::array<QString, SivrelReportItemCount>& SivrelReportItems()
{
    static const std::array<QString, SivrelReportItemCount> items = {
        QStringLiteral("Application|Start Date"), QStringLiteral("Application|Name"),
        QStringLiteral("Application|Version Number"), QStringLiteral("Application|Parameters"),
        QStringLiteral("Exception|Date"), QStringLiteral("Exception|Address"), QStringLiteral("Exception|Module"),
        QStringLiteral("Exception|Type"), QStringLiteral("Exception|Message"),
        QStringLiteral("Active Controls|Form Class"), QStringLiteral("Active Controls|Form Text"),
        QStringLiteral("Active Controls|Control Class"), QStringLiteral("Active Controls|Control Text"),
        QStringLiteral("Computer|Name"), QStringLiteral("Computer|User"), QStringLiteral("Computer|Total Memory"),
        QStringLiteral("Computer|Free Memory"), QStringLiteral("Computer|Total Disk"),
        QStringLiteral("Computer|Free Disk"), QStringLiteral("Operating System|Type"),
        QStringLiteral("Operating System|Build #"), QStringLiteral("Operating System|Update"),
        QStringLiteral("Operating System|Language"),
    };
    return items;
}

} // namespace excreport
