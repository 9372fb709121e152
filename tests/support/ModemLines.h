// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QStringList>
#include <QTemporaryDir>

#include <dlfcn.h>
#include <utility>

#ifndef KESTROVA_MODEM_LINES_SHIM
#error "KESTROVA_MODEM_LINES_SHIM names the shim's library (tests/CMakeLists.txt)"
#endif

namespace kestrova::test {

// The RTS and DTR lines that the modem line shim (support/ModemLinesShim.cpp, preloaded) gives
// pseudo-terminal subsidiaries, recorded in a folder of this object's own. A line is at 0 until a
// process under the shim opens its device; every open raises both, a switch changes them, and the
// release (last close) drops both when the terminal's hang-up on close flag is set.
//
// A program under test: start it with environment(), then read edgeTexts() or edges().
// The test program itself: start it with the shim preloaded (tests/CMakeLists.txt does), then
// recordHere(). A pseudo-terminal starts with the hang-up flag clear, where a serial port has it
// set; PseudoTerminal::readSettings(settings, 1) before recording makes it a serial port's.

// One line's change of level on one device: "RTS=1 open", "DTR=0 ioctl", "RTS=0 close"...
struct LineEdge {
    QString text;
    qint64 monotonicNs = 0;
    qint64 realtimeNs = 0;
    qint64 pid = 0; // the process that made it
};

class ModemLines {
public:
    ~ModemLines()
    {
        if (qgetenv(FolderVariable) == QFile::encodeName(folder_.path()))
            qunsetenv(FolderVariable); // recorded here
    }

    // Whether this process was started with the shim loaded.
    static bool loadedHere() { return dlsym(RTLD_DEFAULT, "kestrova_modem_lines_shim") != nullptr; }

    // The environment of a program run under the shim, recording here. A program built with
    // AddressSanitizer accepts a library loaded ahead of its runtime only when told to.
    QProcessEnvironment environment() const
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("LD_PRELOAD",
                           KESTROVA_MODEM_LINES_SHIM " " + environment.value("LD_PRELOAD"));
        environment.insert(FolderVariable, folder_.path());
        environment.insert("ASAN_OPTIONS",
                           environment.value("ASAN_OPTIONS") + ":verify_asan_link_order=0");
        return environment;
    }

    // Records this process's own opens, switches and closes here, until destruction. False when
    // the shim is not loaded.
    bool recordHere()
    {
        return loadedHere() && folder_.isValid() &&
               qputenv(FolderVariable, QFile::encodeName(folder_.path()));
    }

    // Notices the releases of devices whose holders ended without closing them (killed): the
    // shim sees them when a process loads it.
    bool settle() const
    {
        QProcess process;
        process.setProcessEnvironment(environment());
        process.start(QStandardPaths::findExecutable("true"), {});
        return process.waitForFinished(30000) && process.exitCode() == 0;
    }

    // The device's edges, line by line: RTS before DTR where one change moved both. The shim logs
    // each change as one line: monotonic and real time in ns, pid, device, "RTS=0|1", "DTR=0|1",
    // "open|ioctl|close".
    QList<LineEdge> edges(const QString& device) const
    {
        QList<LineEdge> edges;
        QByteArray levels[] = {"RTS=0", "DTR=0"};
        QFile log(folder_.filePath("lines.log"));
        for (const QByteArray& entry :
             log.open(QIODevice::ReadOnly) ? log.readAll().split('\n') : QByteArrayList()) {
            const QByteArrayList change = entry.split(' ');
            for (int line : {0, 1})
                if (change.size() == 7 && change[3] == QFile::encodeName(device) &&
                    std::exchange(levels[line], change[4 + line]) != change[4 + line])
                    edges.append({QString::fromLatin1(change[4 + line] + ' ' + change[6]),
                                  change[0].toLongLong(), change[1].toLongLong(),
                                  change[2].toLongLong()});
        }
        return edges;
    }

    QStringList edgeTexts(const QString& device) const
    {
        QStringList texts;
        for (const LineEdge& edge : edges(device))
            texts << edge.text;
        return texts;
    }

private:
    static constexpr char FolderVariable[] = "KESTROVA_MODEM_LINES_DIR";
    QTemporaryDir folder_;
};

} // namespace kestrova::test
