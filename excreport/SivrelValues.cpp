#include "excreport/SivrelValues.h"
#include "excreport/SivrelCapture.h"
#include "excreport/SivrelModules.h"
#include "excreport/SivrelReport.h"
#include "excreport/SivrelSupport.h"
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <cmath>
#include <pwd.h>
#include <sys/statvfs.h>
#include <sys/sysinfo.h>
#include <sys/utsname.h>
#include <unistd.h>

namespace excreport {

namespace {

QString MainProgramPath()
{
    return QFile::symLinkTarget(QStringLiteral("/proc/self/exe"));
}

QString FileNameOf(const QString& path)
{
    return path.mid(path.lastIndexOf(u'/') + 1);
}

// Whether any mapping of the process covers the address.
bool IsMapped(uintptr_t address)
{
    QFile maps(QStringLiteral("/proc/self/maps"));
    if (!maps.open(QIODevice::ReadOnly))
        return false;
    // Files of /proc report no size: read them whole.
    for (const QByteArray& line : maps.readAll().split('\n')) {
        const qsizetype dash = line.indexOf('-'), space = line.indexOf(' ');
        if (dash < 0 || space < dash)
            continue;
        bool ok1 = false, ok2 = false;
        const uintptr_t from = line.left(dash).toULongLong(&ok1, 16);
        const uintptr_t to = line.mid(dash + 1, space - dash - 1).toULongLong(&ok2, 16);
        if (ok1 && ok2 && address >= from && address < to)
            return true;
    }
    return false;
}

uint64_t MemAvailable()
{
    QFile f(QStringLiteral("/proc/meminfo"));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith("MemAvailable:"))
            return line.mid(13).trimmed().split(' ').value(0).toULongLong() * 1024u;
    return 0;
}

} // namespace

QString ReportDate(std::time_t when)
{
    static const char* const days[7] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* const months[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                           "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    std::tm t{};
    localtime_r(&when, &t);
    const int zone = TimeZoneMinutes(when);
    const int a = std::abs(zone);
    return QStringLiteral("%1, %2 %3 %4 %5:%6:%7 %8%9%10")
        .arg(QLatin1String(days[t.tm_wday]))
        .arg(t.tm_mday)
        .arg(QLatin1String(months[t.tm_mon]))
        .arg(t.tm_year + 1900)
        .arg(t.tm_hour, 2, 10, QLatin1Char('0'))
        .arg(t.tm_min, 2, 10, QLatin1Char('0'))
        .arg(t.tm_sec, 2, 10, QLatin1Char('0'))
        .arg(zone < 0 ? QLatin1Char('-') : QLatin1Char('+'))
        .arg(a / 60, 2, 10, QLatin1Char('0'))
        .arg(a % 60, 2, 10, QLatin1Char('0'));
}

QString FormatMb(uint64_t bytes)
{
    return QString::number(qulonglong(std::nearbyint(double(bytes) / 1048576.0))) + QStringLiteral(" Mb");
}

QString FormatGb(uint64_t bytes, QChar decimalPoint)
{
    QString text = QString::number(double(bytes) / 1073741824.0, 'f', 2);
    while (text.endsWith(u'0'))
        text.chop(1);
    if (text.endsWith(u'.'))
        text.chop(1);
    text.replace(u'.', decimalPoint);
    return text + QStringLiteral(" Gb");
}

QString QuotedArguments(const QStringList& arguments)
{
    QStringList quoted;
    for (const QString& a : arguments)
        quoted << u'"' + a + u'"';
    return quoted.join(u' ');
}

QString ExceptionTypeText(const std::exception_ptr& error)
{
    const std::type_info* type = SivrelExceptionType(error);
    return type ? SivrelClassName(*type) : QStringLiteral("Unknown exception type.");
}

QString ExceptionMessageText(const std::exception_ptr& error)
{
    QString message;
    bool known = false;
    if (error) {
        try {
            std::rethrow_exception(error);
        } catch (const ESivrelError& e) {
            message = e.Message();
            known = true;
        } catch (const std::exception& e) {
            message = QString::fromUtf8(e.what());
            known = true;
        } catch (...) {
        }
    }
    if (!known)
        return QStringLiteral("Unknown error message.");
    if (!message.isEmpty() && !message.endsWith(u'.'))
        message += u'.';
    return message;
}

QString ModuleNameOfAddress(uintptr_t address)
{
    if (const uintptr_t base = address ? SivrelModuleOfAddress(address) : 0) {
        const QString name = base == SivrelMainModule() ? MainProgramPath() : ModuleFileName(base);
        return FileNameOf(name);
    }
    if (address && IsMapped(address))
        return QString();
    return FileNameOf(MainProgramPath());
}

QString OsPrettyName(const QString& file)
{
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly))
        return QString();
    while (!f.atEnd()) {
        const QByteArray line = f.readLine().trimmed();
        if (!line.startsWith("PRETTY_NAME="))
            continue;
        QByteArray value = line.mid(12);
        if (value.size() >= 2 && (value.startsWith('"') || value.startsWith('\'')) && value.endsWith(value.at(0)))
            value = value.mid(1, value.size() - 2);
        return QString::fromUtf8(value);
    }
    return QString();
}

QString SystemLanguageName()
{
    const QLocale locale = QLocale::system();
    if (locale.language() == QLocale::C)
        return QString();
    const QString language = locale.nativeLanguageName();
    const QString territory = locale.nativeTerritoryName();
    return territory.isEmpty() ? language : language + QStringLiteral(" (") + territory + u')';
}

std::time_t ProcessStartTime()
{
    QFile stat(QStringLiteral("/proc/self/stat"));
    QFile boot(QStringLiteral("/proc/stat"));
    if (!stat.open(QIODevice::ReadOnly) || !boot.open(QIODevice::ReadOnly))
        return std::time(nullptr);
    const QByteArray s = stat.readAll();
    // Field 22 (start time in clock ticks after boot) counts from after the command's ")".
    const QList<QByteArray> fields = s.mid(s.lastIndexOf(')') + 2).split(' ');
    const double ticks = fields.value(19).toDouble();
    std::time_t bootTime = 0;
    for (const QByteArray& line : boot.readAll().split('\n'))
        if (line.startsWith("btime "))
            bootTime = std::time_t(line.mid(6).trimmed().toLongLong());
    if (!bootTime)
        return std::time(nullptr);
    return bootTime + std::time_t(ticks / double(sysconf(_SC_CLK_TCK)));
}

std::array<QString, 23> GatherReportValues(const TSivrelValueSources& src)
{
    std::array<QString, 23> v;
    v[0] = ReportDate(ProcessStartTime());
    QString description, version;
    ReadVersionNote(SivrelMainModule(), &description, &version);
    v[1] = description.isEmpty() ? FileNameOf(MainProgramPath()) : description;
    v[2] = version == QStringLiteral("0.0.0.0") ? QString() : version;
    v[3] = QuotedArguments(SivrelStartArguments().mid(1));
    v[4] = ReportDate(src.ExceptionTime ? src.ExceptionTime : std::time(nullptr));
    v[5] = src.Address ? QStringLiteral("%1").arg(qulonglong(src.Address), 16, 16, QLatin1Char('0')).toUpper() : QString();
    v[6] = ModuleNameOfAddress(src.Address);
    v[7] = ExceptionTypeText(src.Exception);
    v[8] = ExceptionMessageText(src.Exception);
    v[9] = src.FormClass;
    v[10] = src.FormText.left(255);
    v[11] = src.FocusClass;
    v[12] = src.FocusText.left(255);
    char host[256] = {};
    if (gethostname(host, sizeof host - 1) == 0)
        v[13] = QString::fromLocal8Bit(host);
    if (const passwd* pw = getpwuid(getuid()))
        v[14] = QString::fromLocal8Bit(pw->pw_name).left(255);
    struct sysinfo info {};
    if (sysinfo(&info) == 0)
        v[15] = FormatMb(uint64_t(info.totalram) * info.mem_unit);
    v[16] = FormatMb(MemAvailable());
    struct statvfs disk {};
    const QByteArray folder = QFile::encodeName(QFileInfo(MainProgramPath()).absolutePath());
    if (statvfs(folder.constData(), &disk) == 0) {
        const QChar point = QLocale::system().decimalPoint().at(0);
        v[17] = FormatGb(uint64_t(disk.f_blocks) * disk.f_frsize, point);
        v[18] = FormatGb(uint64_t(disk.f_bavail) * disk.f_frsize, point);
    }
    v[19] = OsPrettyName();
    utsname u{};
    if (uname(&u) == 0) {
        v[20] = QString::fromLocal8Bit(u.release);
        v[21] = QString::fromLocal8Bit(u.version).trimmed();
    }
    v[22] = SystemLanguageName();
    return v;
}

} // namespace excreport
