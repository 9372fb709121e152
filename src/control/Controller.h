// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "config/ComPorts.h"
#include "config/SettingsStore.h"
#include "control/JournalRecorder.h"
#include "control/Sequencer.h"
#include "core/Failure.h"
#include "guider/DitherCoordinator.h"
#include "journal/JournalReading.h"
#include "shutter/ShutterLine.h"

#include <QObject>
#include <QStringList>
#include <memory>

namespace kestrova {

class DesktopSession;
class Notifier;
class SleepInhibitor;
class TickSource;

// The program's rules, below any window: the camera line and the configuration in force, the
// sequencer, the manual shutter, the Interface choice and the desktop session. A window or a
// terminal passes the user's actions here and shows what the signals tell.
//
// Each action (one of the calls below, a tick, or a save of the settings by anyone) tells the
// user at most one message, however many things fail inside it: the first. Stored values taken
// as their defaults are told at the end of the action, when nothing else was.
class Controller : public QObject {
    Q_OBJECT
public:
    // All must outlive the controller. With serialPorts, it looks for serial adapters and gives
    // them Com numbers at load, for comPorts() and when a Com port cannot be opened.
    Controller(SettingsStore& store, ParallelPort& parallel, SerialLine& serial, TickSource& ticks,
               const SerialPortEnumerator* serialPorts = nullptr, QObject* parent = nullptr);
    ~Controller() override;

    // Keeps the computer awake while a sequence runs or the shutter is open by hand, and tells
    // how a sequence ended. Both must outlive the controller.
    void setDesktop(SleepInhibitor& inhibitor, Notifier& notifier);
    // Writes the night's work into the journal, and looks at load for a sequence that did not
    // end. The writer must outlive the controller.
    void setJournal(JournalWriter& writer);

    // Start-up: new adapters get their Com numbers, the configuration is loaded, the serial port
    // opened when it is chosen, and the line put at its shutter-closed level.
    void load();
    // The end: a running sequence is cancelled with the line closed; a shutter open by hand
    // stays open, unless a line no longer configured holds it; the serial port is released.
    void unload();

    // The manual shutter button.
    void toggleShutter();
    // The sequencer's Start and Cancel; the fields are set on sequencer().
    void start();
    void cancel();
    // Interface, Parallel and Interface, Serial.
    void selectInterface(Interface chosen);
    // The Com numbers as they stand now; an adapter seen for the first time gets one.
    QList<ComPort> comPorts();
    // Stored values that a view could not show as they are in force, told at the end of this
    // action.
    void tellUnreadable(const QStringList& keys);

    Sequencer& sequencer() { return sequencer_; }
    const Sequencer& sequencer() const { return sequencer_; }
    const ShutterLine& line() const { return line_; }
    bool running() const { return sequencer_.running(); }
    bool shutterOpen() const { return line_.shutterOpen(); }
    bool parallelChecked() const { return parallelChecked_; }
    bool serialChecked() const { return serialChecked_; }
    // The guiding settings in force, from the store's "Guiding" group.
    const GuidingSettings& guiding() const { return guiding_; }
    DitherCoordinator& dithering() { return dithering_; }
    // The sequence waits for the guider to settle after a dither.
    bool settling() const { return settling_; }
    // Start waits for the guider to answer; the sequence starts, or a message says why not.
    bool startPending() const { return startWaitsForGuider_; }

signals:
    // What the user must be told; at most one per action.
    void message(const kestrova::Failure& message);
    // The Interface menu's check marks, as the stored choice sets them.
    void interfaceChecked(bool parallel, bool serial);
    // After the manual button was used, with the shutter's state then.
    void shutterToggled(bool open);
    // At load: the journal's last sequence has no end (the program was killed, the computer
    // crashed). Nothing is started; what is left may be offered.
    void unfinishedSequenceFound(const kestrova::UnfinishedSequence& unfinished);
    // A dither was asked for after an exposure, and the guider has settled or failed to.
    void settlingChanged(bool settling);

private:
    // Every action opens one; the outermost tells the stored values taken as defaults.
    class ActionScope {
    public:
        explicit ActionScope(Controller& controller);
        ~ActionScope();
        ActionScope(const ActionScope&) = delete;
        ActionScope& operator=(const ActionScope&) = delete;

    private:
        Controller& controller_;
    };

    void SetDefaults();
    void applyConfiguration();
    void settingsChanged(const SettingsChange& change);
    void report(const Failure& failure);
    void tick();
    ComPortTable lookForSerialPorts();
    void noteUnreadable(const QStringList& keys);
    JournalLine journalLine(const ShutterConfig& config) const;
    void journalUnwritable(const QString& text);
    void loadGuiding();
    void connectDithering();
    void exposureClosed(int exposure, Ending ending);
    void ditherFinished(const DitherOutcome& outcome);

    SettingsStore& store_;
    SerialLine& serial_;
    const SerialPortEnumerator* serialPorts_;
    TickSource& ticks_;
    ShutterLine line_;
    Sequencer sequencer_;
    std::unique_ptr<DesktopSession> desktop_;
    std::unique_ptr<JournalRecorder> journal_;
    JournalWriter* journalWriter_ = nullptr;
    GuidingSettings guiding_;
    DitherCoordinator dithering_;
    bool startWaitsForGuider_ = false; // Start pressed, the guider probed
    bool settling_ = false;            // a pause holds for the guider
    DitherFailureNotices ditherNotices_;
    QDate ditherNoticesNight_;
    bool parallelChecked_ = false;
    bool serialChecked_ = false;
    bool unloaded_ = false;
    int actionDepth_ = 0;
    bool messageShown_ = false;
    QStringList unreadableSettings_; // "Section/Key", not yet told in this action
};

} // namespace kestrova
