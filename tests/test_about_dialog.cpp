// SPDX-License-Identifier: GPL-3.0-or-later
#include "about/AboutDialog.h"
#include "support/WindowRig.h"

#include <QLabel>
#include <QtTest>

using namespace kestrova;

class AboutDialogTest : public QObject {
    Q_OBJECT
private slots:
    // The About command shows the one instance, its texts whole in their boxes.
    void singleInstance()
    {
        test::WindowRig rig;
        rig.open();
        rig.trigger("mnuAbout");
        QPointer<AboutDialog> first = AboutDialog::instance();
        QVERIFY(first && first->isVisible());
        QCOMPARE(test::child<QLabel>(first, "lblVersion")->text(), "Version 1.0.1");
        for (QLabel* label : first->findChildren<QLabel*>())
            QVERIFY(label->heightForWidth(label->width()) <= label->height());

        // Shown again while loaded: the same window.
        rig.trigger("mnuAbout");
        QCOMPARE(AboutDialog::instance(), first.data());
        // Closed, it is unloaded; the next showing loads it afresh.
        first->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(first.isNull());
        rig.trigger("mnuAbout");
        QVERIFY(AboutDialog::instance() && AboutDialog::instance()->isVisible());
    }
};

QTEST_MAIN(AboutDialogTest)
#include "test_about_dialog.moc"
