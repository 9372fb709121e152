// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <termios.h>

namespace kestrova::test {

// A pseudo-terminal pair: the program opens the subsidiary side as its "serial port". The
// path is empty when the system gives none.
class PseudoTerminal {
public:
    PseudoTerminal();
    ~PseudoTerminal();
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    QString path() const { return path_; }
    // Reads the settings the device holds now through a descriptor of the test's own, first
    // setting or clearing its hang-up on close flag when asked; false, with errno, if it cannot.
    bool readSettings(termios& settings, int setHangupOnClose = -1) const;
    // Closes the primary side, as an adapter pulled out; the path goes away with it.
    void close();

private:
    int primary_ = -1;
    QString path_;
};

} // namespace kestrova::test
