// SPDX-License-Identifier: GPL-3.0-or-later
#include "journal/JournalWriter.h"

#include "journal/JournalFiles.h"
#include "journal/Messages.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kestrova {

namespace {

int openRetrying(const QByteArray& path, int flags, mode_t mode = 0)
{
    int fd;
    do {
        fd = ::open(path.constData(), flags, mode);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

// Makes a new directory entry durable. Returns 0 or the error.
int syncDirectory(const QString& folder)
{
    const int fd = openRetrying(QFile::encodeName(folder), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return errno;
    const int result = ::fsync(fd) == 0 ? 0 : errno;
    ::close(fd);
    return result;
}

// Creates the folder and its missing parents, private to the user as the XDG base directories
// ask, each new entry synced into its parent. Returns 0 or the error; failedPath names where.
int makeFolder(const QString& folder, QString& failedPath)
{
    QStringList missing;
    for (QString path = QDir::cleanPath(folder); !QFileInfo::exists(path);
         path = QFileInfo(path).path()) {
        missing.prepend(path);
        if (QFileInfo(path).path() == path)
            break;
    }
    for (const QString& path : missing) {
        failedPath = path;
        if (::mkdir(QFile::encodeName(path).constData(), 0700) != 0 && errno != EEXIST)
            return errno;
        if (const int error = syncDirectory(QFileInfo(path).path()))
            return error;
    }
    return 0;
}

// Writes all of bytes, going on after a write the kernel cut short, so that a short write tells
// its reason (the disk is full) on the next call. Returns 0 or the error.
int writeAll(int fd, const QByteArray& bytes)
{
    const char* data = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t written = ::write(fd, data, static_cast<size_t>(left));
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        data += written;
        left -= written;
    }
    return 0;
}

} // namespace

JournalWriter::JournalWriter(QString folder, QObject* parent)
    : QObject(parent), folder_(std::move(folder))
{
}

JournalWriter::~JournalWriter()
{
    close();
}

int JournalWriter::beginSequence(const QDateTime& start)
{
    const QString file = nightFilePath(folder_, nightOf(start));
    int highest = highestGivenOut_.value(file, 0);
    // A file that cannot be read leaves the numbers this writer gave out: the rows that did reach
    // the file came from them.
    for (const JournalRow& row : readJournalFile(file).parsed.rows)
        highest = std::max(highest, row.sequence.value_or(0));
    sequence_ = highest + 1;
    sequenceFile_ = file;
    highestGivenOut_[file] = *sequence_;
    return *sequence_;
}

QString JournalWriter::fileFor(const JournalRow& row) const
{
    if (sequence_ && row.sequence == sequence_)
        return sequenceFile_;
    return nightFilePath(folder_, nightOf(row.utc));
}

std::optional<JournalFailure> JournalWriter::append(JournalRow row)
{
    if (!row.utc.isValid())
        row.utc = QDateTime::currentDateTimeUtc();
    const QString path = fileFor(row);
    const bool inSequence = sequence_ && row.sequence == sequence_;
    if (inSequence && row.event == JournalEvent::SequenceEnd)
        sequence_.reset();

    std::optional<JournalFailure> failed;
    if (fd_ < 0 || path != openPath_)
        failed = open(path);
    if (!failed) {
        struct stat status {};
        if (::fstat(fd_, &status) != 0) {
            failed = failure(path, errno);
        } else {
            const off_t sizeBefore = status.st_size;
            QByteArray bytes;
            if (sizeBefore == 0)
                bytes = QByteArray(JournalHeader) + "\r\n";
            else if (endsInCutLine_)
                bytes = "\r\n";
            bytes += row.toCsvLine();
            int error = writeAll(fd_, bytes);
            if (!error && ::fdatasync(fd_) != 0)
                error = errno;
            if (error) {
                // What went out of a failed row is taken back, so the file holds whole rows only;
                // a reader of the file sees nothing of it.
                if (::ftruncate(fd_, sizeBefore) == 0)
                    ::fdatasync(fd_);
                failed = failure(path, error);
            } else {
                endsInCutLine_ = false;
            }
        }
    }
    if (!failed)
        return std::nullopt;

    close(); // opened again for the next row: the disk may be back by then
    const QDate night = nightOf(row.utc);
    if (toldNight_ != night) {
        toldNight_ = night;
        emit unwritable(failed->text);
    }
    return failed;
}

std::optional<JournalFailure> JournalWriter::open(const QString& path)
{
    close();
    const QString folder = QFileInfo(path).absolutePath();
    QString failedPath;
    if (const int error = makeFolder(folder, failedPath))
        return failure(failedPath, error);

    const QByteArray encoded = QFile::encodeName(path);
    int fd = openRetrying(encoded, O_RDWR | O_APPEND | O_CLOEXEC);
    if (fd < 0 && errno == ENOENT) {
        fd = openRetrying(encoded, O_RDWR | O_APPEND | O_CLOEXEC | O_CREAT | O_EXCL, 0666);
        if (fd < 0 && errno == EEXIST)
            fd = openRetrying(encoded, O_RDWR | O_APPEND | O_CLOEXEC);
    }
    if (fd < 0)
        return failure(path, errno);
    // The file's entry in the folder must survive a crash as well as its rows. Done at each
    // opening, which is rare, since a file made by a run whose sync failed is not told apart.
    if (const int error = syncDirectory(folder)) {
        ::close(fd);
        return failure(path, error);
    }

    struct stat status {};
    if (::fstat(fd, &status) != 0) {
        const int error = errno;
        ::close(fd);
        return failure(path, error);
    }
    endsInCutLine_ = false;
    if (status.st_size > 0) {
        char last = '\n';
        endsInCutLine_ = ::pread(fd, &last, 1, status.st_size - 1) == 1 && last != '\n';
    }
    fd_ = fd;
    openPath_ = path;
    return std::nullopt;
}

void JournalWriter::close()
{
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
    openPath_.clear();
}

JournalFailure JournalWriter::failure(const QString& path, int error) const
{
    JournalFailure failure;
    failure.path = QDir::toNativeSeparators(path);
    failure.reason = qt_error_string(error);
    failure.text = messages::journalNotWritten(failure.path, failure.reason, sequence_.has_value());
    return failure;
}

} // namespace kestrova
