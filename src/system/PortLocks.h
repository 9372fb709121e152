// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <map>
#include <memory>

class QLockFile;

namespace kestrova {

// The program that holds a port's lock, as its lock file names it.
struct PortHolder {
    qint64 pid = 0;
    QString program; // its executable's file name; empty when the lock file does not say
};

enum class PortLockOutcome {
    Acquired,    // this program may drive the port
    Refused,     // another program that is still running holds it: see holder
    Unavailable, // no lock could be taken, and no running holder is known: see problem
};

struct PortLockResult {
    PortLockOutcome outcome = PortLockOutcome::Unavailable;
    PortHolder holder; // when Refused
    QString problem;   // when Unavailable: what failed and what to do
};

// One program at a time on each physical port. A port is locked before it is opened, so that a
// second Kestrova is refused before its open raises RTS and DTR, which could fire the camera.
// The locks are QLockFiles in a folder that all users share: a lock is stale only once its
// holder has ended, never by age (an exposure sequence holds its port for hours), and a program
// that crashed or was killed leaves a lock that the next one takes over.
class PortLocks {
public:
    explicit PortLocks(QString folder = defaultFolder());
    ~PortLocks(); // releases every lock still held
    PortLocks(const PortLocks&) = delete;
    PortLocks& operator=(const PortLocks&) = delete;

    // Locks the port named by key (serialPortKey, parallelPortKey) for this program; acquired
    // again at once when it already holds it.
    PortLockResult acquire(const QString& key);
    void release(const QString& key);
    bool holds(const QString& key) const;

    QString folder() const { return folder_; }
    // The file that holds key's lock. Its name never starts with "LCK..", the lock files that
    // QSerialPort takes for itself.
    QString lockFile(const QString& key) const;

    // /run/lock when it is writable, as serial port locks are shared by all users; else
    // $XDG_RUNTIME_DIR/kestrova; else /tmp/kestrova-<uid>.
    static QString defaultFolder();
    // A serial port by its device file after following links, so that two Com numbers or a
    // by-id link leading to the same device have the same key.
    static QString serialPortKey(const QString& device);
    // A parallel port by its I/O address, as the program chooses them.
    static QString parallelPortKey(int address);

private:
    QString folder_;
    std::map<QString, std::unique_ptr<QLockFile>> held_;
};

} // namespace kestrova
