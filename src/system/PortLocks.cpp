// SPDX-License-Identifier: GPL-3.0-or-later
#include "system/PortLocks.h"

#include "system/PortLockMessages.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QLockFile>

#include <cerrno>
#include <signal.h>
#include <unistd.h>

namespace kestrova {

namespace {

// Letters, digits, '.' and '-' stay, '/' becomes '_' and any other byte %XX, so that no two keys
// share a file.
QString fileNameOf(const QString& key)
{
    QString name = QStringLiteral("kestrova-port.");
    for (const char c : key.toUtf8()) {
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
            c == '.' || c == '-')
            name += QLatin1Char(c);
        else if (c == '/')
            name += QLatin1Char('_');
        else
            name += QString::asprintf("%%%02X", unsigned(static_cast<unsigned char>(c)));
    }
    // Device paths are short; a name longer than a file system takes becomes the key's digest.
    if (name.size() > 200)
        name = QStringLiteral("kestrova-port.") +
               QString::fromLatin1(
                   QCryptographicHash::hash(key.toUtf8(), QCryptographicHash::Sha256).toHex());
    return name + QStringLiteral(".lock");
}

// QLockFile's own test of a live holder: a process of that id whose executable bears the name
// the lock gives (another program may have been given the id since). A process of another user
// whose executable cannot be read counts as running.
bool running(const PortHolder& holder)
{
    if (holder.pid <= 0 || (::kill(pid_t(holder.pid), 0) != 0 && errno == ESRCH))
        return false;
    QString executable = QFileInfo(QStringLiteral("/proc/%1/exe").arg(holder.pid)).symLinkTarget();
    const QLatin1String deleted(" (deleted)"); // replaced by an upgrade since it started
    if (executable.endsWith(deleted))
        executable.chop(deleted.size());
    return executable.isEmpty() || holder.program.isEmpty() ||
           QFileInfo(executable).fileName() == holder.program;
}

PortLockResult unavailable(const QString& problem)
{
    return {PortLockOutcome::Unavailable, {}, problem};
}

} // namespace

PortLocks::PortLocks(QString folder) : folder_(std::move(folder)) {}

PortLocks::~PortLocks() = default;

PortLockResult PortLocks::acquire(const QString& key)
{
    if (holds(key))
        return {PortLockOutcome::Acquired, {}, {}};
    if (!QDir().mkpath(folder_))
        return unavailable(
            messages::lockFolderUnusable(folder_, QStringLiteral("it could not be created")));
    auto lock = std::make_unique<QLockFile>(lockFile(key));
    lock->setStaleLockTime(0); // stale only when its holder has ended, never by age
    // A holder may release its lock between a failed attempt and the reading of its file.
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (lock->tryLock(0)) {
            held_.emplace(key, std::move(lock));
            return {PortLockOutcome::Acquired, {}, {}};
        }
        if (lock->error() == QLockFile::PermissionError)
            return unavailable(
                messages::lockFolderUnusable(folder_, QStringLiteral("permission denied")));
        if (lock->error() != QLockFile::LockFailedError)
            return unavailable(messages::lockFolderUnusable(
                folder_, QStringLiteral("the lock file could not be written")));
        PortHolder holder;
        if (lock->getLockInfo(&holder.pid, nullptr, &holder.program)) {
            if (running(holder))
                return {PortLockOutcome::Refused, holder, {}};
            // QLockFile found it stale but could not remove it: another user's, in a shared
            // folder.
            return unavailable(messages::lockLeftBehind(lock->fileName(), holder.pid));
        }
        // Gone since, or never written in full by a holder that ended at once. A holder still
        // writing it keeps it: QLockFile removes only a file that nobody has locked natively.
        lock->removeStaleLockFile();
    }
    return unavailable(messages::lockUnreadable(lock->fileName()));
}

void PortLocks::release(const QString& key)
{
    held_.erase(key); // QLockFile's destructor removes its file
}

bool PortLocks::holds(const QString& key) const
{
    return held_.count(key) != 0;
}

QString PortLocks::lockFile(const QString& key) const
{
    return QDir(folder_).filePath(fileNameOf(key));
}

QString PortLocks::defaultFolder()
{
    const QFileInfo runLock(QStringLiteral("/run/lock"));
    if (runLock.isDir() && runLock.isWritable())
        return runLock.filePath();
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QFileInfo(runtime).isDir())
        return QDir(runtime).filePath(QStringLiteral("kestrova"));
    return QStringLiteral("/tmp/kestrova-%1").arg(::getuid());
}

QString PortLocks::serialPortKey(const QString& device)
{
    const QFileInfo file(device);
    const QString canonical = file.canonicalFilePath();
    // A device that is not there now cannot be driven by anyone either.
    return canonical.isEmpty() ? QDir::cleanPath(file.absoluteFilePath()) : canonical;
}

QString PortLocks::parallelPortKey(int address)
{
    return QStringLiteral("parallel-0x%1").arg(address, 0, 16);
}

} // namespace kestrova
