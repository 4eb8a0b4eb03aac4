#pragma once
// Small routines the reporter's parts share.
#include <QString>
#include <cstddef>
#include <cstdint>
#include <ctime>

namespace excreport {

// Full path of the module (executable or shared object) that holds the reporter's code.
QString SivrelThisModuleFileName();

// Bytes readable from Address: 0 when any page of [Address, Address + Length) cannot be read,
// otherwise at least Length (up to the end of the last page looked at). Memory is never touched
// directly: the kernel copies one byte per page (process_vm_readv), or /proc/self/maps decides
// when that call is refused. Guard and unmapped pages count as unreadable.
size_t ReadableLength(uintptr_t address, size_t length);
bool IsReadable(uintptr_t address, size_t length);
// Decides readability and reads memory from /proc/self/maps alone, as when process_vm_readv is
// refused (some container and seccomp set-ups). For systems that refuse it only part of the time,
// and for tests.
void SivrelSetMapsFallback(bool on);
// Copies Length bytes when all of them are readable.
bool ReadMemory(uintptr_t address, void* dest, size_t length);

// A debugger (or any tracer) is attached.
bool DebuggerPresent();
// Upper end of the calling thread's stack.
uintptr_t CurrentStackTop();

inline QString IfThenText(bool condition, const QString& a, const QString& b) { return condition ? a : b; }
inline QString IfText(bool condition, const QString& a) { return condition ? a : QString(); }
// Every occurrence of Old, case-sensitive, left to right without overlaps.
QString ReplaceAll(const QString& text, const QString& oldText, const QString& newText);
// CR LF becomes "<br>", then every blank "&nbsp;".
QString TextToHtml(const QString& text);
// $TMPDIR, or /tmp.
QString TempFolder();

// INI files: values up to 2047 characters; a missing file, section or key gives Default.
// Section and key names compare without regard to case.
QString ReadIniString(const QString& file, const QString& section, const QString& key, const QString& def);
// Failures are ignored.
void WriteIniString(const QString& file, const QString& section, const QString& key, const QString& value);

// Local time minus UTC in minutes at the given moment (now by default).
int TimeZoneMinutes(std::time_t when = std::time(nullptr));

// Character set of the report dialogs: always the Western set (0); the toolkit is Unicode.
constexpr int SivrelWesternCharset = 0;
inline int DialogCharset() { return SivrelWesternCharset; }

} // namespace excreport
