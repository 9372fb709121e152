// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "journal/JournalRow.h"

#include <QDate>
#include <QHash>
#include <QObject>
#include <QString>
#include <optional>

namespace kestrova {

// A row that did not reach the disk.
struct JournalFailure {
    QString path;   // the night file, or the folder that could not be made
    QString reason; // the system's reason
    QString text;   // what the user is told: what failed, and that the night goes on
};

// Appends rows to the night journal, each on the disk before append returns. A journal that
// cannot be written never stops the night: append says so and the caller goes on; the user hears
// of it once per night through unwritable(). Nothing already in a file is rewritten: a row that
// fails half-way is taken back to the file's size before it, and a file that ends in a cut-off
// line (a crash in an earlier run) gets a line end before the next row.
//
// The file stays open between rows, so a row costs one write() and one fdatasync() (which
// flushes the data and the file size, all a reader needs). It is opened again on a night change
// and after a failure, so a disk that comes back is used again.
class JournalWriter : public QObject {
    Q_OBJECT
public:
    explicit JournalWriter(QString folder, QObject* parent = nullptr);
    ~JournalWriter() override;

    QString folder() const { return folder_; }

    // A sequence starts at that moment: returns its number, one above the highest in the night
    // file of that moment (and above any this writer gave out for it, written or not). All its
    // rows go to that file, even past noon, until its sequence-end row.
    int beginSequence(const QDateTime& start);
    std::optional<int> runningSequence() const { return sequence_; }

    // Writes the row to its night file and flushes it to disk: nothing when it is there, else
    // what failed. A row without a valid time is stamped with the current time.
    [[nodiscard]] std::optional<JournalFailure> append(JournalRow row);

    // The file a row goes to: the running sequence's for its rows, else the row's night file.
    QString fileFor(const JournalRow& row) const;

signals:
    // The journal could not be written; said at most once per night.
    void unwritable(const QString& text);

private:
    std::optional<JournalFailure> open(const QString& path);
    void close();
    JournalFailure failure(const QString& path, int error) const;

    QString folder_;
    int fd_ = -1;
    QString openPath_;
    bool endsInCutLine_ = false; // the open file's last line has no line end
    std::optional<int> sequence_;
    QString sequenceFile_;
    QHash<QString, int> highestGivenOut_; // per night file
    QDate toldNight_;                     // the night whose failure the user was told of
};

} // namespace kestrova
