#pragma once
// Root passes every file permission check, so a read-only file or folder would not stop a test
// run as root. While a PermissionChecksApply lives, the calling thread runs without the
// capabilities that bypass those checks (Linux keeps capabilities per thread), so mode bits
// really apply to it. Without those capabilities (not root) it changes nothing.
#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace qlytest {

class PermissionChecksApply {
public:
    PermissionChecksApply() { Set(false); }
    ~PermissionChecksApply() { Set(true); }
    PermissionChecksApply(const PermissionChecksApply&) = delete;
    PermissionChecksApply& operator=(const PermissionChecksApply&) = delete;

private:
    static void Set(bool on)
    {
        __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
        __user_cap_data_struct data[2]{};
        if (syscall(SYS_capget, &header, data) != 0)
            return;
        const unsigned bits = (1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH);
        if (on)
            data[0].effective |= data[0].permitted & bits;
        else
            data[0].effective &= ~bits;
        syscall(SYS_capset, &header, data);
    }
};

} // namespace qlytest
