// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "config/ActiveConfiguration.h"

namespace kestrova::test {

// The Interface menu's two check marks, as the main window creates them.
struct FakeInterfaceMenu : InterfaceSelection {
    void setParallelChecked(bool checked) override { parallel = checked; }
    bool parallelChecked() const override { return parallel; }
    void setSerialChecked(bool checked) override { serial = checked; }
    bool serialChecked() const override { return serial; }
    bool parallel = true;
    bool serial = false;
};

} // namespace kestrova::test
