#pragma once
// Constant tables of the reporter: default texts, text keys, report item names, data version.
#include <QString>
#include <array>

namespace excreport {

// Version of the data block this build writes and understands fully.
constexpr int SivrelDataVersion = 467;

constexpr int SivrelTextCount = 71;
constexpr int SivrelTextKeyCount = 80;
constexpr int SivrelReportItemCount = 23;

// The 71 customizable texts with their default values (index = text number).
const std::array<QString, SivrelTextCount>& SivrelDefaultTexts();
// The 80 keys of the text tree: group names and text keys, in tree order.
const std::array<QString, SivrelTextKeyCount>& SivrelTextKeys();
// The report items in report order; bit i of LogSections switches item i.
const std::array<QString, SivrelReportItemCount>& SivrelReportItems();

} // namespace excreport
