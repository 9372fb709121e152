#include "about/AboutDialog.h"

namespace kestrova {

void AboutDialog::showInstance() {}

} // namespace kestrova
