#pragma once
// Guards for printf formats that come from cells and events.
#include <QLatin1StringView>
#include <QString>

namespace grid {

// Whether a printf format holds exactly one conversion, of one of `kinds`, besides "%%" (flags,
// width and precision as digits only).
bool SingleConversionFormat(const QString& format, QLatin1StringView kinds);

} // namespace grid
