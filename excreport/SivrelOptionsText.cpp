#include "excreport/SivrelOptionsText.h"
#include "excreport/SivrelOptions.h"
#include <QStringList>
#include <cstdint>
#include <functional>
#include <map>

namespace excreport {

namespace {

QString Unescape(const QString& value)
{
    QString out;
    for (qsizetype i = 0; i < value.size(); ++i) {
        if (value[i] == u'\\' && i + 1 < value.size()) {
            const QChar next = value[++i];
            if (next == u'n')
                out += QStringLiteral("\r\n");
            else
                out += next; // "\\" and anything else: the character itself
        } else {
            out += value[i];
        }
    }
    return out;
}

} // namespace

bool SivrelOptionsFromText(const QString& text, TSivrelModuleOptions& o, QString* error)
{
    using Setter = std::function<bool(const QString&)>;
    auto number = [](const QString& v, long long lo, long long hi, long long* out) {
        bool ok = false;
        *out = v.toLongLong(&ok);
        return ok && *out >= lo && *out <= hi;
    };
    auto flag = [&](void (TSivrelModuleOptions::*set)(bool)) -> Setter {
        return [&o, set, number](const QString& v) {
            long long n;
            if (!number(v, 0, 1, &n))
                return false;
            (o.*set)(n != 0);
            return true;
        };
    };
    auto textSetter = [&](void (TSivrelModuleOptions::*set)(const QString&)) -> Setter {
        return [&o, set](const QString& v) {
            (o.*set)(Unescape(v));
            return true;
        };
    };
    using O = TSivrelModuleOptions;
    const std::map<QString, Setter> setters = {
        {"SmtpFrom", textSetter(&O::SetSmtpFrom)},
        {"SmtpHost", textSetter(&O::SetSmtpHost)},
        {"SmtpUser", textSetter(&O::SetSmtpUser)},
        {"SmtpPassword", textSetter(&O::SetSmtpPassword)},
        {"SmtpPort", [&](const QString& v) { long long n; return number(v, 1, 65535, &n) && (o.SetSmtpPort(uint16_t(n)), true); }},
        {"TerminateAction", [&](const QString& v) { long long n; return number(v, 0, 1, &n) && (o.SetTerminateAction(TSivrelTerminateAction(n)), true); }},
        {"FreezeActive", flag(&O::SetFreezeActive)},
        {"FreezeTimeout", [&](const QString& v) { long long n; return number(v, 1, INT32_MAX, &n) && (o.SetFreezeTimeout(int32_t(n)), true); }},
        {"FreezeMessage", textSetter(&O::SetFreezeMessage)},
        {"CustomDialogLook", flag(&O::SetCustomDialogLook)},
        {"LogSections", [&](const QString& v) {
             bool ok = false;
             const uint32_t n = v.toUInt(&ok, 0);
             return ok && (o.SetLogSections(n), true);
         }},
        {"SpareSwitch", flag(&O::SetSpareSwitch)},
        {"UseCustomMessages", flag(&O::SetUseCustomMessages)},
        {"ShowDialog", flag(&O::SetShowDialog)},
        {"LogInMailBody", flag(&O::SetLogInMailBody)},
        {"AttachScreenshot", flag(&O::SetAttachScreenshot)},
        {"ShowSmtpProgress", flag(&O::SetShowSmtpProgress)},
        {"OfferTerminate", flag(&O::SetOfferTerminate)},
        {"SaveLog", flag(&O::SetSaveLog)},
        {"MailWholeLog", flag(&O::SetMailWholeLog)},
        {"LogFlags", [&](const QString& v) { long long n; return number(v, 0, 3, &n) && (o.SetLogFlags(uint8_t(n)), true); }},
        {"InitialTab", [&](const QString& v) { long long n; return number(v, 0, 255, &n) && (o.SetInitialTab(uint8_t(n)), true); }},
        {"MaxLogReports", [&](const QString& v) { long long n; return number(v, 0, INT32_MAX, &n) && (o.SetMaxLogReports(int32_t(n)), true); }},
        {"TerminateThreshold", [&](const QString& v) { long long n; return number(v, 0, INT32_MAX, &n) && (o.SetTerminateThreshold(int32_t(n)), true); }},
        {"OutputPath", textSetter(&O::SetOutputPath)},
        {"EmailAddress", textSetter(&O::SetEmailAddress)},
        {"EmailSubject", textSetter(&O::SetEmailSubject)},
        {"EmailBody", textSetter(&O::SetEmailBody)},
        {"SendMode", [&](const QString& v) { long long n; return number(v, 0, 3, &n) && (o.SetSendMode(TSivrelSendMode(n)), true); }},
        {"CustomMessage", [&](const QString& v) {
             const qsizetype colon = v.indexOf(u':');
             if (colon <= 0)
                 return false;
             o.SetCustomMessageClasses(QStringList(o.CustomMessageClasses()) << v.left(colon).trimmed());
             o.SetCustomMessages(QStringList(o.CustomMessages()) << Unescape(v.mid(colon + 1)));
             return true;
         }},
    };
    const QStringList lines = text.split(u'\n');
    for (qsizetype i = 0; i < lines.size(); ++i) {
        QString line = lines[i];
        if (line.endsWith(u'\r'))
            line.chop(1);
        if (line.trimmed().isEmpty() || line.trimmed().startsWith(u'#'))
            continue;
        const qsizetype eq = line.indexOf(u'=');
        const QString name = eq < 0 ? line.trimmed() : line.left(eq).trimmed();
        const QString value = eq < 0 ? QString() : line.mid(eq + 1);
        bool ok = false;
        bool known = true;
        if (eq >= 0 && name.startsWith(QStringLiteral("Text")) && name.size() > 4) {
            bool isNumber = false;
            const int index = name.mid(4).toInt(&isNumber);
            known = isNumber && index >= 0 && index < SivrelTextCount;
            if (known) {
                o.SetText(index, Unescape(value));
                ok = true;
            }
        } else if (auto it = setters.find(name); eq >= 0 && it != setters.end()) {
            ok = it->second(value.trimmed());
        } else {
            known = false;
        }
        if (!ok) {
            if (error)
                *error = known ? QStringLiteral("line %1: bad value for %2: %3").arg(i + 1).arg(name, value)
                               : QStringLiteral("line %1: unknown option %2").arg(i + 1).arg(name);
            return false;
        }
    }
    return true;
}

} // namespace excreport
