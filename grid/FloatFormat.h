#pragma once
// Formats one floating-point value through a user's format text without handing the text to
// printf: exactly one conversion %e, %f, %g or %m (flags "-+ 0#", width, precision) besides
// literal text and "%%". %m groups the integer digits with the thousand separator; every
// conversion writes the given decimal separator.
#include <QChar>
#include <QString>

namespace grid {

// False (and `out` untouched) for a format with no conversion, more than one, or any other
// conversion (%s, %d, %n ...).
bool FormatFloatValue(const QString& format, double value, QChar decimalSeparator, QChar thousandSeparator,
                      QString& out);

} // namespace grid
