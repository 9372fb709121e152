// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace kestrova::test {

// Takes raw I/O port access away from this process, whatever the parallel port library tries
// when it looks for ports: no test may touch real port hardware.
inline void dropRawIo()
{
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2]{};
    if (syscall(SYS_capget, &header, data) != 0)
        return;
    data[0].effective &= ~(1u << CAP_SYS_RAWIO);
    data[0].permitted &= ~(1u << CAP_SYS_RAWIO);
    data[0].inheritable &= ~(1u << CAP_SYS_RAWIO);
    syscall(SYS_capset, &header, data);
}

} // namespace kestrova::test
