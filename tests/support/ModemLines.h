// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QFile>
#include <QList>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QStringList>
#include <QTemporaryDir>

#include <dlfcn.h>

#ifndef KESTROVA_MODEM_LINES_SHIM
#error "KESTROVA_MODEM_LINES_SHIM names the shim's library (tests/CMakeLists.txt)"
#endif

namespace kestrova::test {

// The RTS and DTR lines that the modem line shim (support/ModemLinesShim.cpp, preloaded) gives
// pseudo-terminal subsidiaries, recorded in a folder of this object's own. A line is at 0 until a
// process under the shim opens its device; every open raises both, a switch changes them, and the
// release (last close) drops both when the terminal's hang-up on close flag is set.
//
// A program under test: start it with environment(), then read changes(), edges() or levels().
// The test program itself: start it with the shim preloaded (tests/CMakeLists.txt does), then
// recordHere(). A pseudo-terminal starts with the hang-up flag clear, where a serial port has it
// set; PseudoTerminal::readSettings(settings, 1) before recording makes it a serial port's.
enum class ModemLine { Rts, Dtr };
enum class LineCause { Open, Ioctl, Close };

// One line of the log: both levels of a device after one change.
struct LineChange {
    qint64 monotonicNs = 0;
    qint64 realtimeNs = 0;
    qint64 pid = 0;
    QString device; // "/dev/pts/3"
    bool rts = false;
    bool dtr = false;
    LineCause cause = LineCause::Open;
};

// One line's change of level on one device.
struct LineEdge {
    ModemLine line = ModemLine::Rts;
    bool level = false;
    qint64 monotonicNs = 0;
    qint64 realtimeNs = 0;
    qint64 pid = 0;
    LineCause cause = LineCause::Open;
};

struct LineLevels {
    bool rts = false;
    bool dtr = false;
    bool operator==(const LineLevels& other) const { return rts == other.rts && dtr == other.dtr; }
};

class ModemLines {
public:
    ModemLines() = default;
    ~ModemLines()
    {
        if (recordingHere_)
            qunsetenv(FolderVariable);
    }
    ModemLines(const ModemLines&) = delete;
    ModemLines& operator=(const ModemLines&) = delete;

    bool isValid() const { return folder_.isValid(); }
    QString folder() const { return folder_.path(); }
    static QString library() { return QStringLiteral(KESTROVA_MODEM_LINES_SHIM); }
    // Whether this process was started with the shim loaded.
    static bool loadedHere() { return dlsym(RTLD_DEFAULT, "kestrova_modem_lines_shim") != nullptr; }

    // The environment of a program run under the shim, recording here. A program built with
    // AddressSanitizer accepts a library loaded ahead of its runtime only when told to.
    QProcessEnvironment
    environment(QProcessEnvironment base = QProcessEnvironment::systemEnvironment()) const
    {
        const QString preload = base.value(QStringLiteral("LD_PRELOAD"));
        if (!preload.split(QRegularExpression(QStringLiteral("[ :]"))).contains(library()))
            base.insert(QStringLiteral("LD_PRELOAD"),
                        preload.isEmpty() ? library() : library() + QLatin1Char(' ') + preload);
        base.insert(QLatin1String(FolderVariable), folder());
        const QString asan = base.value(QStringLiteral("ASAN_OPTIONS"));
        base.insert(QStringLiteral("ASAN_OPTIONS"),
                    (asan.isEmpty() ? QString() : asan + QLatin1Char(':')) +
                        QStringLiteral("verify_asan_link_order=0"));
        return base;
    }

    // Records this process's own opens, switches and closes here, until destruction. False when
    // the shim is not loaded.
    bool recordHere()
    {
        recordingHere_ =
            loadedHere() && isValid() && qputenv(FolderVariable, folder().toLocal8Bit());
        return recordingHere_;
    }

    // Notices the releases of devices whose holders ended without closing them (killed): the
    // shim sees them when a process loads it.
    bool settle() const
    {
        QProcess process;
        process.setProcessEnvironment(environment());
        process.start(QStandardPaths::findExecutable(QStringLiteral("true")), {});
        return process.waitForFinished(30000) && process.exitCode() == 0;
    }

    // Every change, in the order they were made.
    QList<LineChange> changes() const
    {
        QList<LineChange> changes;
        QFile log(folder_.filePath(QStringLiteral("lines.log")));
        if (!log.open(QIODevice::ReadOnly))
            return changes;
        while (!log.atEnd()) {
            const QList<QByteArray> fields = log.readLine().trimmed().split(' ');
            if (fields.size() != 7)
                continue;
            LineChange change;
            change.monotonicNs = fields[0].toLongLong();
            change.realtimeNs = fields[1].toLongLong();
            change.pid = fields[2].toLongLong();
            change.device = QString::fromLocal8Bit(fields[3]);
            change.rts = fields[4] == "RTS=1";
            change.dtr = fields[5] == "DTR=1";
            change.cause = fields[6] == "open"    ? LineCause::Open
                           : fields[6] == "ioctl" ? LineCause::Ioctl
                                                  : LineCause::Close;
            changes.append(change);
        }
        return changes;
    }

    // The device's edges, line by line: RTS before DTR where one change moved both.
    QList<LineEdge> edges(const QString& device) const
    {
        QList<LineEdge> edges;
        LineLevels levels;
        for (const LineChange& change : changes()) {
            if (change.device != device)
                continue;
            const auto edge = [&](ModemLine line, bool& level, bool now) {
                if (level != now)
                    edges.append({line, now, change.monotonicNs, change.realtimeNs, change.pid,
                                  change.cause});
                level = now;
            };
            edge(ModemLine::Rts, levels.rts, change.rts);
            edge(ModemLine::Dtr, levels.dtr, change.dtr);
        }
        return edges;
    }

    // The edges as "RTS=1 open", "DTR=0 close"..., for comparisons that print well.
    QStringList edgeTexts(const QString& device) const
    {
        QStringList texts;
        for (const LineEdge& edge : edges(device))
            texts.append(QStringLiteral("%1=%2 %3")
                             .arg(edge.line == ModemLine::Rts ? "RTS" : "DTR")
                             .arg(int(edge.level))
                             .arg(edge.cause == LineCause::Open    ? "open"
                                  : edge.cause == LineCause::Ioctl ? "ioctl"
                                                                   : "close"));
        return texts;
    }

    LineLevels levels(const QString& device) const
    {
        LineLevels levels;
        for (const LineChange& change : changes())
            if (change.device == device)
                levels = {change.rts, change.dtr};
        return levels;
    }

private:
    static constexpr char FolderVariable[] = "KESTROVA_MODEM_LINES_DIR";
    QTemporaryDir folder_;
    bool recordingHere_ = false;
};

} // namespace kestrova::test
