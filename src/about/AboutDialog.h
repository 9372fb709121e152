#pragma once

#include <QDialog>

namespace kestrova {

// frmAbout: the program's about box.
class AboutDialog : public QDialog {
    Q_OBJECT
public:
    // Shows the single instance, creating it first when it is not loaded.
    static void showInstance();
};

} // namespace kestrova
