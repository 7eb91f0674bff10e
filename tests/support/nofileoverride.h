#pragma once

// Makes permission bits count for the calling thread while the object lives:
// drops CAP_DAC_OVERRIDE and CAP_DAC_READ_SEARCH from its effective set, so a
// test running as root (as CI does) cannot read a file with mode 000 either.
// The permitted set is kept, so the destructor can raise them again.

#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

struct NoFileOverride {
    NoFileOverride()
    {
        __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
        if (syscall(SYS_capget, &header, saved) != 0)
            return;
        __user_cap_data_struct lowered[2] = {saved[0], saved[1]};
        lowered[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH));
        header = {_LINUX_CAPABILITY_VERSION_3, 0};
        active = syscall(SYS_capset, &header, lowered) == 0;
    }
    ~NoFileOverride()
    {
        if (!active)
            return;
        __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
        syscall(SYS_capset, &header, saved);
    }
    NoFileOverride(const NoFileOverride &) = delete;
    NoFileOverride &operator=(const NoFileOverride &) = delete;

    __user_cap_data_struct saved[2]{};
    bool active = false;
};
