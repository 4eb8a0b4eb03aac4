#pragma once
// The data block a module carries: its reporter options and its debug-information block.
// Resource form: the ELF section ".sldata" (not loaded into memory):
//   magic 10 AB 0F 00, 16-bit data version, 8 reserved bytes, then from offset 14 the payload,
//   zlib-compressed from data version 450 on.
// Appended form (never compressed), at the end of the module's file:
//   data version, 8 reserved bytes, options stream, L, L bytes of debug block; then the 32-bit
//   length N of all that and the magic as the file's last 4 bytes.
// Payload: the options stream, a 32-bit length L, L bytes of debug-information block.
#include <QByteArray>
#include <QString>
#include <array>
#include <cstdint>
#include <optional>

namespace excreport {

class TSivrelModuleOptions;

constexpr uint32_t SivrelDataMagic = 0x000FAB10;
inline constexpr const char* SivrelDataSection = ".sldata";
// Inflating stops beyond this size: such a block counts as none.
constexpr qsizetype SivrelMaxInflatedSize = 64 * 1024 * 1024;

struct TSivrelDataInfo {
    uint16_t DataVersion = 467;
    std::array<uint8_t, 8> Reserved{};
    std::optional<QByteArray> DebugInfo;
};

// Reads a resource-form block; on success the options hold the block's options. A block that is
// cut, inflates to nothing or too much, or whose lengths run beyond its end fails and leaves the
// options and Info as they were.
bool SivrelReadResourceBlock(const QByteArray& resource, TSivrelModuleOptions& options, TSivrelDataInfo& info);
// The same for the appended form at the end of a file.
bool SivrelReadAppendedBlock(const QString& file, TSivrelModuleOptions& options, TSivrelDataInfo& info);
// The resource form from the file's ".sldata" section, then the appended form.
bool SivrelLoadDataBlock(const QString& file, TSivrelModuleOptions& options, TSivrelDataInfo& info);
// Whether the file carries a block in either form (the magic at its start or at the file's end).
bool SivrelCarriesData(const QString& file);

// The contents of an ELF file's section, nothing when there is none (or no ELF file).
std::optional<QByteArray> SivrelReadElfSection(const QString& file, const char* name);

// Builders for the build tool and the tests.
QByteArray SivrelMakeResourceBlock(uint16_t version, const QByteArray& options, const QByteArray& debugInfo);
QByteArray SivrelMakeAppendedBlock(uint16_t version, const QByteArray& options, const QByteArray& debugInfo);
// zlib helpers: nothing on a damaged stream or beyond the limit.
QByteArray SivrelDeflate(const QByteArray& data);
std::optional<QByteArray> SivrelInflate(const QByteArray& data, qsizetype limit = SivrelMaxInflatedSize);

} // namespace excreport
