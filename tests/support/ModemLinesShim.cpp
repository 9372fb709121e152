// SPDX-License-Identifier: GPL-3.0-or-later
// Modem lines for pseudo-terminals, loaded ahead of a program with LD_PRELOAD, so that a test can
// run the real serial adapter on a pseudo-terminal subsidiary (/dev/pts/N) and read the edges of
// its RTS and DTR lines. support/ModemLines.h sets it up and reads what it records.
//
// A subsidiary has no modem lines: the kernel answers TIOCMGET, TIOCMSET, TIOCMBIS and TIOCMBIC
// with ENOTTY. Here those act on levels kept per device, which change as Linux changes a real
// port's (drivers/tty/tty_port.c):
//  - every open raises RTS and DTR unless the output speed is B0: tty_port_block_til_ready() runs
//    at each open, not only at the first;
//  - the release, the close of the device's last descriptor in any process, drops both when the
//    terminal's HUPCL flag is set, and leaves them when it is clear;
//  - a release that no close showed (the holder killed, or ending without closing) is noticed at
//    the next open of the device and whenever a process loads this library; it then follows the
//    HUPCL flag last set through tcsetattr() or TCSETS*.
// Descriptors are found in /proc/*/fd, so dup()s, inherited copies and processes without this
// library all keep a device open, as they do for the kernel.
//
// The levels live in a state file per device in $KESTROVA_MODEM_LINES_DIR, changed under flock so
// that every process started with the library shares them; each change appends one line, in one
// write, to lines.log there:
//   <CLOCK_MONOTONIC ns> <CLOCK_REALTIME ns> <pid> <device> RTS=<0|1> DTR=<0|1> <open|ioctl|close>
// Without that variable, and for any other descriptor or request, calls pass through untouched.
// Not followed: speed changes to and from B0, the hang-up of a subsidiary whose primary closes
// (its lines keep their levels), opens inside libc (fopen) and close_range().

#include <dirent.h>
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

namespace {

// The definitions this library stands in front of, looked up at their first use: another
// library's constructor may open files before this one's runs.
// (Compiler builtins rather than std::atomic, whose members a library would export.)
template <typename Function> Function* next(Function*& slot, const char* name)
{
    Function* function = __atomic_load_n(&slot, __ATOMIC_ACQUIRE);
    if (!function) {
        function = reinterpret_cast<Function*>(dlsym(RTLD_NEXT, name));
        __atomic_store_n(&slot, function, __ATOMIC_RELEASE);
    }
    return function;
}

using OpenFunction = int(const char*, int, ...);
using OpenAtFunction = int(int, const char*, int, ...);
using FortifiedOpenFunction = int(const char*, int);
using FortifiedOpenAtFunction = int(int, const char*, int);
using CloseFunction = int(int);
using Dup2Function = int(int, int);
using Dup3Function = int(int, int, int);
using IoctlFunction = int(int, unsigned long, ...);
using TcsetattrFunction = int(int, int, const termios*);

OpenFunction *realOpen, *realOpen64;
OpenAtFunction *realOpenAt, *realOpenAt64;
FortifiedOpenFunction *realOpen2, *realOpen64_2;
FortifiedOpenAtFunction *realOpenAt2, *realOpenAt64_2;
CloseFunction* realClose;
Dup2Function* realDup2;
Dup3Function* realDup3;
IoctlFunction* realIoctl;
TcsetattrFunction* realTcsetattr;

// Unix98 pseudo-terminal subsidiaries.
constexpr unsigned FirstPtyMajor = 136;
constexpr unsigned LastPtyMajor = 143;

const char* linesFolder()
{
    const char* folder = getenv("KESTROVA_MODEM_LINES_DIR");
    return folder && *folder ? folder : nullptr;
}

struct Device {
    dev_t number = 0;     // st_rdev
    dev_t filesystem = 0; // st_dev: which devpts instance
    unsigned index = 0;   // N of /dev/pts/N
};

bool ptySubsidiary(const struct stat& status, Device& device)
{
    if (!S_ISCHR(status.st_mode))
        return false;
    const unsigned majorNumber = major(status.st_rdev);
    if (majorNumber < FirstPtyMajor || majorNumber > LastPtyMajor)
        return false;
    device.number = status.st_rdev;
    device.filesystem = status.st_dev;
    device.index = (majorNumber - FirstPtyMajor) * 256 + minor(status.st_rdev);
    return true;
}

bool ptySubsidiary(int fd, Device& device)
{
    struct stat status = {};
    return fstat(fd, &status) == 0 && ptySubsidiary(status, device);
}

long long nanoseconds(clockid_t clock)
{
    timespec now = {};
    clock_gettime(clock, &now);
    return now.tv_sec * 1000000000LL + now.tv_nsec;
}

struct State {
    int rts = 0;
    int dtr = 0;
    int hangupOnClose = 0; // the HUPCL flag as last seen
    int held = 0;          // open, as far as this library has seen
    long holder = 0;       // the process that opened it last
};

// The device's state file, locked from construction to destruction.
class DeviceLock {
public:
    DeviceLock(const char* folder, const Device& device) : folder_(folder), device_(device)
    {
        char path[4096];
        if (snprintf(path, sizeof path, "%s/pts-%u.state", folder, device.index) >=
            int(sizeof path))
            return;
        fd_ = next(realOpen, "open")(path, O_RDWR | O_CREAT | O_CLOEXEC, 0666);
        if (fd_ < 0)
            return;
        if (flock(fd_, LOCK_EX) != 0) {
            next(realClose, "close")(fd_);
            fd_ = -1;
            return;
        }
        char text[128] = {};
        if (pread(fd_, text, sizeof text - 1, 0) > 0)
            sscanf(text, "rts=%d dtr=%d hupcl=%d held=%d holder=%ld", &state.rts, &state.dtr,
                   &state.hangupOnClose, &state.held, &state.holder);
    }
    ~DeviceLock()
    {
        if (fd_ < 0)
            return;
        char text[128];
        const int length =
            snprintf(text, sizeof text, "rts=%d dtr=%d hupcl=%d held=%d holder=%ld\n", state.rts,
                     state.dtr, state.hangupOnClose, state.held, state.holder);
        if (pwrite(fd_, text, length, 0) == length)
            (void)!ftruncate(fd_, length);
        next(realClose, "close")(fd_); // and unlocked
    }
    DeviceLock(const DeviceLock&) = delete;
    DeviceLock& operator=(const DeviceLock&) = delete;

    bool locked() const { return fd_ >= 0; }

    // Sets both lines; a change is logged in the name of process pid.
    void set(int rts, int dtr, const char* cause, long pid)
    {
        if (rts == state.rts && dtr == state.dtr)
            return;
        state.rts = rts;
        state.dtr = dtr;
        char line[4400];
        const int length =
            snprintf(line, sizeof line, "%lld %lld %ld /dev/pts/%u RTS=%d DTR=%d %s\n",
                     nanoseconds(CLOCK_MONOTONIC), nanoseconds(CLOCK_REALTIME), pid, device_.index,
                     rts, dtr, cause);
        char path[4096];
        if (snprintf(path, sizeof path, "%s/lines.log", folder_) >= int(sizeof path))
            return;
        const int log =
            next(realOpen, "open")(path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
        if (log < 0)
            return;
        (void)!write(log, line, length);
        next(realClose, "close")(log);
    }
    void set(int rts, int dtr, const char* cause) { set(rts, dtr, cause, getpid()); }

    State state;

private:
    const char* folder_;
    Device device_;
    int fd_ = -1;
};

// Whether a descriptor refers to the device, other than descriptor except of this process. Only
// processes whose descriptors may be read are seen: those of the same user, or all for root.
bool openElsewhere(const Device& device, int except)
{
    DIR* processes = opendir("/proc");
    if (!processes)
        return false;
    const long self = getpid();
    bool found = false;
    while (const dirent* process = found ? nullptr : readdir(processes)) {
        char* end = nullptr;
        const long pid = strtol(process->d_name, &end, 10);
        if (*end || pid <= 0)
            continue;
        char path[64];
        snprintf(path, sizeof path, "/proc/%ld/fd", pid);
        DIR* descriptors = opendir(path);
        if (!descriptors)
            continue;
        while (const dirent* entry = found ? nullptr : readdir(descriptors)) {
            const long fd = strtol(entry->d_name, &end, 10);
            if (*end || entry->d_name[0] == '.' || (pid == self && fd == except))
                continue;
            // The link's text first: it costs nothing, where following it to a file on a stalled
            // network or FUSE mount could block.
            char target[32] = {};
            if (readlinkat(dirfd(descriptors), entry->d_name, target, sizeof target - 1) <= 0 ||
                strncmp(target, "/dev/pts/", 9) != 0)
                continue;
            struct stat status = {};
            Device other;
            found = fstatat(dirfd(descriptors), entry->d_name, &status, 0) == 0 &&
                    ptySubsidiary(status, other) && other.number == device.number &&
                    other.filesystem == device.filesystem;
        }
        closedir(descriptors);
    }
    closedir(processes);
    return found;
}

// A release that happened without a close seen here: the holder was killed or ended without
// closing, and the kernel released the device then. except: a descriptor of this process that
// does not count (one just opened).
void noticeUnseenRelease(DeviceLock& lock, const Device& device, int except)
{
    if (!lock.state.held || openElsewhere(device, except))
        return;
    lock.state.held = 0;
    if (lock.state.hangupOnClose)
        lock.set(0, 0, "close", lock.state.holder);
}

int opened(int fd, int flags)
{
    const char* folder = linesFolder();
    Device device;
    if (fd < 0 || (flags & O_PATH) || !folder || !ptySubsidiary(fd, device))
        return fd;
    const int error = errno;
    termios settings = {};
    const bool readable = tcgetattr(fd, &settings) == 0;
    DeviceLock lock(folder, device);
    if (lock.locked()) {
        noticeUnseenRelease(lock, device, fd);
        lock.state.held = 1;
        lock.state.holder = getpid();
        if (readable) {
            lock.state.hangupOnClose = (settings.c_cflag & HUPCL) != 0;
            if (cfgetospeed(&settings) != B0)
                lock.set(1, 1, "open");
        }
    }
    errno = error;
    return fd;
}

// Runs release, a call that closes descriptor fd, and drops the lines if that was the device's
// last descriptor and its HUPCL flag is set. close() frees the descriptor even when it fails,
// unless it was not open (EBADF); dup2() and dup3() only when they succeed.
template <typename Release> int releasing(int fd, bool freedOnFailure, Release release)
{
    const char* folder = linesFolder();
    Device device;
    if (!folder || !ptySubsidiary(fd, device))
        return release();
    termios settings = {};
    const bool readable = tcgetattr(fd, &settings) == 0; // not after a hang-up
    DeviceLock lock(folder, device);
    const bool last = lock.locked() && !openElsewhere(device, fd);
    const int result = release();
    const int error = errno;
    if (last && (result >= 0 || (freedOnFailure && error != EBADF))) {
        lock.state.held = 0;
        if (readable && (settings.c_cflag & HUPCL))
            lock.set(0, 0, "close");
    }
    errno = error;
    return result;
}

// The HUPCL flag as the device holds it now, for a release that no close will show.
void recordHangupFlag(int fd)
{
    const char* folder = linesFolder();
    Device device;
    termios settings = {};
    if (!folder || !ptySubsidiary(fd, device) || tcgetattr(fd, &settings) != 0)
        return;
    DeviceLock lock(folder, device);
    lock.state.hangupOnClose = (settings.c_cflag & HUPCL) != 0;
}

// Whether an open passes a mode, as <fcntl.h> has it.
bool needsMode(int flags)
{
    return (flags & O_CREAT) || (flags & O_TMPFILE) == O_TMPFILE;
}

bool modemRequest(unsigned long request)
{
    return request == TIOCMGET || request == TIOCMSET || request == TIOCMBIS || request == TIOCMBIC;
}

// A modem line request on a subsidiary, which the kernel refused with ENOTTY.
int modemLines(int fd, unsigned long request, int* bits)
{
    const char* folder = linesFolder();
    Device device;
    if (!folder || !ptySubsidiary(fd, device)) {
        errno = ENOTTY;
        return -1;
    }
    if (!bits) {
        errno = EFAULT;
        return -1;
    }
    DeviceLock lock(folder, device);
    if (!lock.locked()) {
        errno = ENOTTY;
        return -1;
    }
    const int asked = request == TIOCMGET ? 0 : *bits;
    const int rts = (asked & TIOCM_RTS) != 0;
    const int dtr = (asked & TIOCM_DTR) != 0;
    switch (request) {
    case TIOCMGET:
        *bits = (lock.state.rts ? TIOCM_RTS : 0) | (lock.state.dtr ? TIOCM_DTR : 0);
        break;
    case TIOCMSET:
        lock.set(rts, dtr, "ioctl");
        break;
    case TIOCMBIS:
        lock.set(lock.state.rts | rts, lock.state.dtr | dtr, "ioctl");
        break;
    case TIOCMBIC:
        lock.set(lock.state.rts & !rts, lock.state.dtr & !dtr, "ioctl");
        break;
    }
    return 0;
}

// Each process that loads the library first notices the releases that happened unseen since the
// last one: a program killed while it held a device leaves it held here.
__attribute__((constructor)) void noticeUnseenReleases()
{
    const char* folder = linesFolder();
    DIR* files = folder ? opendir(folder) : nullptr;
    if (!files)
        return;
    while (const dirent* file = readdir(files)) {
        Device device;
        char path[64];
        struct stat status = {};
        if (sscanf(file->d_name, "pts-%u.state", &device.index) != 1 ||
            snprintf(path, sizeof path, "/dev/pts/%u", device.index) >= int(sizeof path))
            continue;
        if (stat(path, &status) != 0 || !ptySubsidiary(status, device)) {
            // The device is gone, and with it every descriptor of it.
            device.number = 0;
        }
        DeviceLock lock(folder, device);
        if (lock.locked() && lock.state.held) {
            if (device.number == 0)
                lock.state.held = 0;
            else
                noticeUnseenRelease(lock, device, -1);
        }
    }
    closedir(files);
}

} // namespace

extern "C" {

// What tells a test that the shim is loaded in its process.
__attribute__((visibility("default"))) int kestrova_modem_lines_shim()
{
    return 1;
}

__attribute__((visibility("default"))) int open(const char* path, int flags, ...)
{
    mode_t mode = 0;
    if (needsMode(flags)) {
        va_list arguments;
        va_start(arguments, flags);
        mode = va_arg(arguments, mode_t);
        va_end(arguments);
    }
    return opened(next(realOpen, "open")(path, flags, mode), flags);
}

__attribute__((visibility("default"))) int open64(const char* path, int flags, ...)
{
    mode_t mode = 0;
    if (needsMode(flags)) {
        va_list arguments;
        va_start(arguments, flags);
        mode = va_arg(arguments, mode_t);
        va_end(arguments);
    }
    return opened(next(realOpen64, "open64")(path, flags, mode), flags);
}

__attribute__((visibility("default"))) int openat(int directory, const char* path, int flags, ...)
{
    mode_t mode = 0;
    if (needsMode(flags)) {
        va_list arguments;
        va_start(arguments, flags);
        mode = va_arg(arguments, mode_t);
        va_end(arguments);
    }
    return opened(next(realOpenAt, "openat")(directory, path, flags, mode), flags);
}

__attribute__((visibility("default"))) int openat64(int directory, const char* path, int flags, ...)
{
    mode_t mode = 0;
    if (needsMode(flags)) {
        va_list arguments;
        va_start(arguments, flags);
        mode = va_arg(arguments, mode_t);
        va_end(arguments);
    }
    return opened(next(realOpenAt64, "openat64")(directory, path, flags, mode), flags);
}

// What _FORTIFY_SOURCE makes of an open without a mode whose flags are not known when compiling.
__attribute__((visibility("default"))) int __open_2(const char* path, int flags)
{
    return opened(next(realOpen2, "__open_2")(path, flags), flags);
}

__attribute__((visibility("default"))) int __open64_2(const char* path, int flags)
{
    return opened(next(realOpen64_2, "__open64_2")(path, flags), flags);
}

__attribute__((visibility("default"))) int __openat_2(int directory, const char* path, int flags)
{
    return opened(next(realOpenAt2, "__openat_2")(directory, path, flags), flags);
}

__attribute__((visibility("default"))) int __openat64_2(int directory, const char* path, int flags)
{
    return opened(next(realOpenAt64_2, "__openat64_2")(directory, path, flags), flags);
}

__attribute__((visibility("default"))) int close(int fd)
{
    return releasing(fd, true, [fd] { return next(realClose, "close")(fd); });
}

// Both close newfd when it is open.
__attribute__((visibility("default"))) int dup2(int oldfd, int newfd)
{
    if (oldfd == newfd)
        return next(realDup2, "dup2")(oldfd, newfd);
    return releasing(newfd, false, [=] { return next(realDup2, "dup2")(oldfd, newfd); });
}

__attribute__((visibility("default"))) int dup3(int oldfd, int newfd, int flags)
{
    if (oldfd == newfd)
        return next(realDup3, "dup3")(oldfd, newfd, flags);
    return releasing(newfd, false, [=] { return next(realDup3, "dup3")(oldfd, newfd, flags); });
}

__attribute__((visibility("default"))) int ioctl(int fd, unsigned long request, ...)
{
    va_list arguments;
    va_start(arguments, request);
    void* argument = va_arg(arguments, void*);
    va_end(arguments);
    const int result = next(realIoctl, "ioctl")(fd, request, argument);
    if (result == -1 && errno == ENOTTY && modemRequest(request))
        return modemLines(fd, request, static_cast<int*>(argument));
    if (result == 0 && (request == TCSETS || request == TCSETSW || request == TCSETSF)) {
        const int error = errno;
        recordHangupFlag(fd);
        errno = error;
    }
    return result;
}

__attribute__((visibility("default"))) int tcsetattr(int fd, int when, const termios* settings)
{
    const int result = next(realTcsetattr, "tcsetattr")(fd, when, settings);
    if (result == 0) {
        const int error = errno;
        recordHangupFlag(fd);
        errno = error;
    }
    return result;
}

} // extern "C"
