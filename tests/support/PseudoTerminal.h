// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

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
    // Closes the primary side, as an adapter pulled out; the path goes away with it.
    void close();

private:
    int primary_ = -1;
    QString path_;
};

} // namespace kestrova::test
