#pragma once
// A program's reporter options as checked-in text: one "Name=Value" line per option.
//   Switches 0/1, numbers in decimal, texts as written with "\n" for CR LF and "\\" for "\";
//   Text<n>=... for text n (0-70); CustomMessage=<class>:<message> once per custom message.
//   Empty lines and lines starting with "#" are skipped. An unknown name is an error.
#include <QString>

namespace excreport {

class TSivrelModuleOptions;

// False with a message naming the line when a line cannot be used; the options are then partly set.
bool SivrelOptionsFromText(const QString& text, TSivrelModuleOptions& options, QString* error);

} // namespace excreport
