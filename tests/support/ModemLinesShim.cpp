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
//    HUPCL flag last set through tcsetattr().
// Descriptors are found in /proc/*/fd, so dup()s, inherited copies and processes without this
// library all keep a device open, as they do for the kernel.
//
// The levels live in a state file per device in $KESTROVA_MODEM_LINES_DIR, changed under flock so
// that every process started with the library shares them; each change appends one line, in one
// write, to lines.log there:
//   <CLOCK_MONOTONIC ns> <CLOCK_REALTIME ns> <pid> <device> RTS=<0|1> DTR=<0|1> <open|ioctl|close>
// Without that variable, and for any other descriptor or request, calls pass through untouched.
// Followed: open() and open64(), close(), dup3(), ioctl() and tcsetattr(), which are all that the
// tests' programs and Qt call. Not followed: openat(), the fortified __open_2() family, dup2(),
// close_range(), TCSETS* ioctls, speed changes to and from B0, and the hang-up of a subsidiary
// whose primary closes (its lines keep their levels).

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

// The definition this library stands in front of, looked up at its first use: another library's
// constructor may open files before this one's runs. (Compiler builtins rather than std::atomic,
// whose members a library would export.)
template <auto Self> decltype(Self) next(const char* name)
{
    static decltype(Self) function;
    if (!__atomic_load_n(&function, __ATOMIC_ACQUIRE))
        __atomic_store_n(&function, reinterpret_cast<decltype(Self)>(dlsym(RTLD_NEXT, name)),
                         __ATOMIC_RELEASE);
    return __atomic_load_n(&function, __ATOMIC_ACQUIRE);
}
#define NEXT(function) next<&function>(#function)

// Puts errno back as it was at construction: the bookkeeping must not change what a call tells.
struct KeptErrno {
    int saved = errno;
    ~KeptErrno() { errno = saved; }
};

const char* linesFolder()
{
    const char* folder = getenv("KESTROVA_MODEM_LINES_DIR");
    return folder && *folder ? folder : nullptr;
}

// A Unix98 pseudo-terminal subsidiary: majors 136 to 143.
struct Device {
    dev_t number = 0;     // st_rdev
    dev_t filesystem = 0; // st_dev: which devpts instance
    unsigned index = 0;   // N of /dev/pts/N
};

bool ptySubsidiary(const struct stat& status, Device& device)
{
    const unsigned majorNumber = major(status.st_rdev);
    if (!S_ISCHR(status.st_mode) || majorNumber < 136 || majorNumber > 143)
        return false;
    device = {status.st_rdev, status.st_dev, (majorNumber - 136) * 256 + minor(status.st_rdev)};
    return true;
}

// The lines' folder when they are recorded and fd is a subsidiary, whose device is then set.
const char* recordedDevice(int fd, Device& device)
{
    const KeptErrno kept; // a descriptor that is not open is no failure of the call made
    struct stat status = {};
    const char* folder = linesFolder();
    return folder && fstat(fd, &status) == 0 && ptySubsidiary(status, device) ? folder : nullptr;
}

long long nanoseconds(clockid_t clock)
{
    timespec now = {};
    clock_gettime(clock, &now);
    return now.tv_sec * 1000000000LL + now.tv_nsec;
}

constexpr int BothLines = TIOCM_RTS | TIOCM_DTR;

struct State {
    int lines = 0;         // TIOCM_RTS and TIOCM_DTR when set
    int hangupOnClose = 0; // the HUPCL flag as last seen
    long holder = 0;       // the process that opened it last, while it is open as far as seen
};

// The device's state, locked in its file from construction to destruction, and written back then.
class DeviceLock {
public:
    DeviceLock(const char* folder, const Device& device) : folder_(folder), device_(device)
    {
        char path[4096];
        if (snprintf(path, sizeof path, "%s/pts-%u.state", folder, device.index) < int(sizeof path))
            fd_ = NEXT(open)(path, O_RDWR | O_CREAT | O_CLOEXEC, 0666);
        if (fd_ >= 0 && flock(fd_, LOCK_EX) != 0) {
            NEXT(close)(fd_);
            fd_ = -1;
        }
        State stored; // none yet for a new device
        if (fd_ >= 0 && pread(fd_, &stored, sizeof stored, 0) == sizeof stored)
            state = stored;
    }
    ~DeviceLock()
    {
        if (fd_ < 0)
            return;
        (void)!pwrite(fd_, &state, sizeof state, 0);
        NEXT(close)(fd_); // and unlocked
    }
    DeviceLock(const DeviceLock&) = delete;
    DeviceLock& operator=(const DeviceLock&) = delete;

    bool locked() const { return fd_ >= 0; }

    // Sets both lines; a change is logged in the name of process pid.
    void set(int lines, const char* cause, long pid = getpid())
    {
        if (!locked() || lines == state.lines)
            return;
        state.lines = lines;
        char path[4096], line[160];
        const int length =
            snprintf(line, sizeof line, "%lld %lld %ld /dev/pts/%u RTS=%d DTR=%d %s\n",
                     nanoseconds(CLOCK_MONOTONIC), nanoseconds(CLOCK_REALTIME), pid, device_.index,
                     (lines & TIOCM_RTS) != 0, (lines & TIOCM_DTR) != 0, cause);
        const int log = snprintf(path, sizeof path, "%s/lines.log", folder_) < int(sizeof path)
                            ? NEXT(open)(path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666)
                            : -1;
        if (log < 0)
            return;
        (void)!write(log, line, length);
        NEXT(close)(log);
    }

    // The close of the device's last descriptor, by process pid.
    void release(bool hangup, long pid = getpid())
    {
        if (hangup)
            set(0, "close", pid);
        state.holder = 0;
    }

    State state;

private:
    const char* folder_;
    Device device_;
    int fd_ = -1;
};

// Whether a descriptor other than descriptor except of this process refers to the device. Only
// processes whose descriptors may be read are seen: those of the same user, or all for root.
bool openElsewhere(const Device& device, int except)
{
    const long self = getpid();
    DIR* processes = opendir("/proc");
    bool found = false;
    while (const dirent* process = processes && !found ? readdir(processes) : nullptr) {
        char* end = nullptr;
        const long pid = strtol(process->d_name, &end, 10);
        char path[64];
        snprintf(path, sizeof path, "/proc/%ld/fd", pid);
        DIR* descriptors = *end || pid <= 0 ? nullptr : opendir(path);
        while (const dirent* entry = descriptors && !found ? readdir(descriptors) : nullptr) {
            // The link's text first: it costs nothing, where following it to a file on a stalled
            // network or FUSE mount could block.
            char target[32] = {};
            struct stat status = {};
            Device other;
            found = entry->d_name[0] != '.' && (pid != self || atoi(entry->d_name) != except) &&
                    readlinkat(dirfd(descriptors), entry->d_name, target, sizeof target - 1) > 0 &&
                    strncmp(target, "/dev/pts/", 9) == 0 &&
                    fstatat(dirfd(descriptors), entry->d_name, &status, 0) == 0 &&
                    ptySubsidiary(status, other) && other.number == device.number &&
                    other.filesystem == device.filesystem;
        }
        if (descriptors)
            closedir(descriptors);
    }
    if (processes)
        closedir(processes);
    return found;
}

// A release that no close showed: the holder was killed or ended without closing, and the kernel
// released the device then. except: a descriptor of this process that does not count.
void noticeUnseenRelease(DeviceLock& lock, const Device& device, int except)
{
    if (lock.state.holder && !openElsewhere(device, except))
        lock.release(lock.state.hangupOnClose, lock.state.holder);
}

int opened(int fd, int flags)
{
    Device device;
    const char* folder = flags & O_PATH ? nullptr : recordedDevice(fd, device);
    if (!folder)
        return fd;
    const KeptErrno kept;
    DeviceLock lock(folder, device);
    noticeUnseenRelease(lock, device, fd);
    lock.state.holder = getpid();
    termios settings = {};
    if (tcgetattr(fd, &settings) == 0) {
        lock.state.hangupOnClose = (settings.c_cflag & HUPCL) != 0;
        if (cfgetospeed(&settings) != B0)
            lock.set(BothLines, "open");
    }
    return fd;
}

// Runs release, a call that closes descriptor fd, and drops the lines if that was the device's
// last descriptor and its HUPCL flag is set. close() frees the descriptor even when it fails,
// unless it was not open (EBADF); dup3() only when it succeeds.
template <typename Release> int releasing(int fd, bool freedOnFailure, Release release)
{
    Device device;
    const char* folder = recordedDevice(fd, device);
    if (!folder)
        return release();
    termios settings = {}; // none after a hang-up
    const bool hangup = tcgetattr(fd, &settings) == 0 && (settings.c_cflag & HUPCL);
    DeviceLock lock(folder, device);
    const bool last = lock.locked() && !openElsewhere(device, fd);
    const int result = release();
    const KeptErrno kept;
    if (last && (result >= 0 || (freedOnFailure && kept.saved != EBADF)))
        lock.release(hangup);
    return result;
}

// Each process that loads the library first notices the releases that happened unseen since the
// last one: a program killed while it held a device leaves it held here.
__attribute__((constructor)) void noticeUnseenReleases()
{
    const char* folder = linesFolder();
    DIR* files = folder ? opendir(folder) : nullptr;
    while (const dirent* file = files ? readdir(files) : nullptr) {
        Device device;
        char path[64];
        struct stat status = {};
        if (sscanf(file->d_name, "pts-%u.state", &device.index) != 1)
            continue;
        snprintf(path, sizeof path, "/dev/pts/%u", device.index);
        // A device that is gone took every descriptor with it, after a hang-up: nothing drops.
        const bool gone = stat(path, &status) != 0 || !ptySubsidiary(status, device);
        DeviceLock lock(folder, device);
        gone ? lock.release(false) : noticeUnseenRelease(lock, device, -1);
    }
    if (files)
        closedir(files);
}

} // namespace

extern "C" {

// What tells a test that the shim is loaded in its process.
__attribute__((visibility("default"))) extern const int kestrova_modem_lines_shim = 1;

__attribute__((visibility("default"))) int open(const char* path, int flags, ...)
{
    va_list arguments;
    va_start(arguments, flags);
    const bool withMode = (flags & O_CREAT) || (flags & O_TMPFILE) == O_TMPFILE; // <fcntl.h>'s test
    const mode_t mode = withMode ? va_arg(arguments, mode_t) : 0;
    va_end(arguments);
    return opened(NEXT(open)(path, flags, mode), flags);
}

// Qt's; on 64-bit Linux the same call as open().
__attribute__((visibility("default"), alias("open"))) int open64(const char* path, int flags, ...);

__attribute__((visibility("default"))) int close(int fd)
{
    return releasing(fd, true, [fd] { return NEXT(close)(fd); });
}

// Closes newfd when it is open.
__attribute__((visibility("default"))) int dup3(int oldfd, int newfd, int flags)
{
    return releasing(newfd, false, [=] { return NEXT(dup3)(oldfd, newfd, flags); });
}

// A modem line request on a subsidiary, which the kernel refuses with ENOTTY, acts on its levels.
__attribute__((visibility("default"))) int ioctl(int fd, unsigned long request, ...)
{
    va_list arguments;
    va_start(arguments, request);
    int* const bits = va_arg(arguments, int*);
    va_end(arguments);
    const int result = NEXT(ioctl)(fd, request, bits);
    Device device;
    const char* folder = result == -1 && errno == ENOTTY &&
                                 (request == TIOCMGET || request == TIOCMSET ||
                                  request == TIOCMBIS || request == TIOCMBIC)
                             ? recordedDevice(fd, device)
                             : nullptr;
    if (!folder)
        return result;
    DeviceLock lock(folder, device);
    if (!bits || !lock.locked()) {
        errno = bits ? ENOTTY : EFAULT;
        return -1;
    }
    const int now = lock.state.lines;
    if (request == TIOCMGET)
        *bits = now;
    else
        lock.set(BothLines & (request == TIOCMSET   ? *bits
                              : request == TIOCMBIS ? now | *bits
                                                    : now & ~*bits),
                 "ioctl");
    return 0;
}

// Keeps the HUPCL flag as set, for a release that no close will show.
__attribute__((visibility("default"))) int tcsetattr(int fd, int when, const termios* settings)
{
    const int result = NEXT(tcsetattr)(fd, when, settings);
    Device device;
    const char* folder = result == 0 ? recordedDevice(fd, device) : nullptr;
    if (folder) {
        const KeptErrno kept;
        DeviceLock lock(folder, device);
        lock.state.hangupOnClose = (settings->c_cflag & HUPCL) != 0;
    }
    return result;
}

} // extern "C"
