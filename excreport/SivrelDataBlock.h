#pragma once
// The data block a module carries: its reporter options and its debug-information block.
// Resource form: the ELF section ".sldata" (not loaded into memory):
//   magic 10 AB 0F 00, 16-bit data version, 8 reserved bytes, then from offset 14 the payload,
//   zlib-compressed from data version 450 on.
// Appended form (never compressed), at the end of the module's file:
//   data version, 8 reserved bytes, options stream, L, L bytes of debug block; then the 32-bit
//   length N of all that and the magic as the file's last 4 bytes.
// Payload: the options stream, a 32-bit length L, L bytes of debug-information block.
#include "excreport/SivrelDebugBlock.h"
#include <QByteArray>
#include <QString>
#include <array>
#include <cstdint>
#include <memory>
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

// A module's debug-information block, read when it is first needed. The file it comes from stays
// open from the start on, so a program file replaced later (an update) does not change the block,
// and a report after a fatal signal needs no file look-up. Copies share one block.
class TSivrelDebugSource {
public:
    struct TLoaded {
        QByteArray Block;
        TSivrelUnitIndex Index;
    };

    // Whether the data block holds a debug block (known from its head, without reading it).
    bool Present() const { return d != nullptr; }
    // The block and its unit index, read (and inflated) on the first call; nothing when there is
    // none or it turns out damaged (cut, a broken stream, shorter than its length says), or when
    // the memory for it cannot be had (then a later call tries again). Safe from any thread; the
    // first caller waits for the read.
    const TLoaded* Get() const;
    void Reset() { d.reset(); }

    // A block already in memory.
    static TSivrelDebugSource FromBytes(QByteArray block, int dataVersion);
    // Compressed payload at [offset, offset + size) of an open file (which the source then owns):
    // skip inflated bytes, then length bytes of the block.
    static TSivrelDebugSource FromFile(int fd, qint64 offset, qint64 size, qsizetype skip, uint32_t length,
                                       int dataVersion);

private:
    struct Impl;
    static void ReadOnce(Impl& impl);
    std::shared_ptr<Impl> d;
};

// Reads a resource-form block; on success the options hold the block's options. A block that is
// cut, inflates to nothing or too much, or whose lengths run beyond its end fails and leaves the
// options and Info as they were.
bool SivrelReadResourceBlock(const QByteArray& resource, TSivrelModuleOptions& options, TSivrelDataInfo& info);
// The same for the appended form at the end of a file.
bool SivrelReadAppendedBlock(const QString& file, TSivrelModuleOptions& options, TSivrelDataInfo& info);
// The resource form from the file's ".sldata" section, then the appended form.
bool SivrelLoadDataBlock(const QString& file, TSivrelModuleOptions& options, TSivrelDataInfo& info);
// The data block of a module file for the start: the options in full, the debug block as a source
// read when needed. Of a compressed payload only as much is inflated as the options take. The
// options change only when the head is sound; a damaged debug block shows when it is read.
bool SivrelOpenDataBlock(const QString& file, TSivrelModuleOptions& options, TSivrelDataInfo& info,
                         TSivrelDebugSource& debug);
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
