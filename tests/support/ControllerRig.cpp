// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/ControllerRig.h"

#include <QtTest>

namespace kestrova::test {

Controller& ControllerRig::make(SerialLine* line, const SerialPortEnumerator* serialPorts,
                                TickSource* timer)
{
    controller.reset();
    ownTicks_ = std::make_unique<FakeTickSource>();
    ticks = ownTicks_.get();
    controller = std::make_unique<Controller>(store, parallel, line ? *line : serial,
                                              timer ? *timer : *ticks, serialPorts);
    QObject::connect(controller.get(), &Controller::message,
                     [this](const Failure& message) { messages << message; });
    const Sequencer* sequencer = &controller->sequencer();
    QObject::connect(sequencer, &Sequencer::totalTimeChanged,
                     [this](const QString& caption) { totalTime_ = caption; });
    QObject::connect(sequencer, &Sequencer::exposureTimeChanged,
                     [this](const QString& caption) { exposureTime_ = caption; });
    QObject::connect(sequencer, &Sequencer::exposuresChanged,
                     [this](const QString& caption) { exposures_ = caption; });
    return *controller;
}

void ControllerRig::play(const QString& script)
{
    for (const QString& word : script.split(' ', Qt::SkipEmptyParts)) {
        if (playWord(word)) {
            continue;
        } else if (const QStringList values = word.split(','); values.size() == 3) {
            Sequencer& sequencer = controller->sequencer();
            sequencer.setNumExposuresText(values[0]);
            sequencer.setExposureTimeText(values[1]);
            sequencer.setDelayText(values[2]);
            controller->start();
        } else if (word == "tick") {
            ticks->fire();
        } else if (word == "run") {
            QVERIFY(QTest::qWaitFor([this] { return !ticks->fire(); }));
        } else if (word == "fail") {
            parallel.fail = true;
        } else if (word.contains('=')) {
            QList<StoredSetting> settings;
            for (const QString& pair : word.split(';'))
                settings << StoredSetting{pair.section('/', 0, 0).replace('_', ' '),
                                          pair.section('/', 1).section('=', 0, 0).replace('_', ' '),
                                          pair.section('=', 1)};
            [[maybe_unused]] const auto failure = store.save(settings);
        } else if (word == "cmdConnect") {
            controller->toggleShutter();
        } else if (word == "cmdCancel") {
            controller->cancel();
        } else if (word == "mnuParallel" || word == "mnuSerial") {
            controller->selectInterface(word == "mnuSerial" ? Interface::Serial
                                                            : Interface::Parallel);
        } else if (word == "unload") {
            controller->unload();
        } else {
            QFAIL(qPrintable("no such word: " + word));
        }
    }
}

} // namespace kestrova::test
