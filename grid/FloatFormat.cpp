#include "grid/FloatFormat.h"

#include <cstdio>
#include <string>

namespace grid {

bool FormatFloatValue(const QString& format, double value, QChar decimalSeparator, QChar thousandSeparator,
                      QString& out)
{
    QString result;
    bool converted = false;
    const qsizetype n = format.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = format[i];
        if (c != QLatin1Char('%')) {
            result += c;
            continue;
        }
        if (i + 1 < n && format[i + 1] == QLatin1Char('%')) {
            result += QLatin1Char('%');
            ++i;
            continue;
        }
        if (converted)
            return false;
        // %[flags][width][.precision]conversion
        qsizetype j = i + 1;
        std::string spec = "%";
        bool leftAlign = false;
        while (j < n && QStringLiteral("-+ 0#").contains(format[j])) {
            leftAlign = leftAlign || format[j] == QLatin1Char('-');
            spec += char(format[j].unicode());
            ++j;
        }
        int width = 0;
        while (j < n && format[j].isDigit() && format[j].unicode() < 128) {
            width = width * 10 + format[j].digitValue();
            if (width > 999)
                return false;
            ++j;
        }
        int precision = -1;
        if (j < n && format[j] == QLatin1Char('.')) {
            precision = 0;
            ++j;
            while (j < n && format[j].isDigit() && format[j].unicode() < 128) {
                precision = precision * 10 + format[j].digitValue();
                if (precision > 99)
                    return false;
                ++j;
            }
        }
        if (j >= n)
            return false;
        const QChar conv = format[j];
        char letter;
        if (conv == QLatin1Char('e') || conv == QLatin1Char('E') || conv == QLatin1Char('f')
            || conv == QLatin1Char('g') || conv == QLatin1Char('G'))
            letter = char(conv.unicode());
        else if (conv == QLatin1Char('m'))
            letter = 'f';
        else
            return false;
        // The number itself without width: grouping and padding are done here.
        std::string numberSpec = "%";
        for (char f : spec.substr(1))
            if (f != '-' && f != '0')
                numberSpec += f;
        if (precision >= 0)
            numberSpec += "." + std::to_string(precision);
        else if (conv == QLatin1Char('m'))
            numberSpec += ".2";
        numberSpec += letter;
        char buffer[512];
        const int len = std::snprintf(buffer, sizeof buffer, numberSpec.c_str(), value);
        if (len < 0 || len >= int(sizeof buffer))
            return false;
        QString number = QString::fromLatin1(buffer, len);
        // The C library writes '.'; the grid writes its own separators.
        const qsizetype dot = number.indexOf(QLatin1Char('.'));
        QString intPart = dot >= 0 ? number.left(dot) : number;
        const QString rest = dot >= 0 ? decimalSeparator + number.mid(dot + 1) : QString();
        if (conv == QLatin1Char('m')) {
            qsizetype digitsStart = 0;
            while (digitsStart < intPart.size() && !intPart[digitsStart].isDigit())
                ++digitsStart;
            for (qsizetype k = intPart.size() - 3; k > digitsStart; k -= 3)
                intPart.insert(k, thousandSeparator);
        }
        number = intPart + rest;
        if (number.size() < width) {
            const bool zeroPad = spec.find('0') != std::string::npos && !leftAlign;
            if (leftAlign) {
                number += QString(width - number.size(), QLatin1Char(' '));
            } else if (zeroPad) {
                qsizetype at = 0;
                while (at < number.size() && !number[at].isDigit())
                    ++at;
                number.insert(at, QString(width - number.size(), QLatin1Char('0')));
            } else {
                number.prepend(QString(width - number.size(), QLatin1Char(' ')));
            }
        }
        result += number;
        converted = true;
        i = j;
    }
    if (!converted)
        return false;
    out = result;
    return true;
}

} // namespace grid
