#include "config/OptionsDialog.h"

namespace kestrova {

OptionsDialog::OptionsDialog(SettingsStore&, std::function<void()>)
{
    setObjectName(QStringLiteral("frmOptions"));
    setWindowTitle(QStringLiteral("Options"));
}

} // namespace kestrova
