// SPDX-License-Identifier: GPL-3.0-or-later
#include "control/Controller.h"

#include "config/ActiveConfiguration.h"
#include "config/Messages.h"
#include "control/DesktopSession.h"
#include "control/ScheduledTimer.h"
#include "control/TickSource.h"
#include "journal/JournalFiles.h"

#include <QScopedValueRollback>
#include <algorithm>
#include <iterator>
#include <utility>

namespace kestrova {

Controller::ActionScope::ActionScope(Controller& controller) : controller_(controller)
{
    if (controller_.actionDepth_++ == 0)
        controller_.messageShown_ = false;
}

Controller::ActionScope::~ActionScope()
{
    if (--controller_.actionDepth_ == 0 && !controller_.unreadableSettings_.isEmpty())
        controller_.report(
            {QString::fromLatin1(messages::SettingsUnreadable),
             messages::unreadableSettings(std::exchange(controller_.unreadableSettings_, {}))});
}

Controller::Controller(SettingsStore& store, ParallelPort& parallel, SerialLine& serial,
                       TickSource& ticks, const SerialPortEnumerator* serialPorts, QObject* parent)
    : QObject(parent), store_(store), serial_(serial), serialPorts_(serialPorts), ticks_(ticks),
      line_(parallel, serial), sequencer_(line_, ticks)
{
    ticks_.setObjectName(QStringLiteral("tmrMain"));
    connect(&sequencer_, &Sequencer::message, this, &Controller::report);
    connect(&sequencer_, &Sequencer::started, this, [this] {
        if (desktop_)
            desktop_->sequenceStarted();
    });
    connect(&sequencer_, &Sequencer::exposureOpened, this, [this](int exposure, int planned) {
        if (!journal_)
            return;
        journal_->stamp();
        if (exposure == 1) {
            const SequenceState& state = sequencer_.state();
            journal_->sequenceStarted(state.ExposuresRemaining, state.ExposureRemaining,
                                      state.DelayRemaining, journalLine(line_.config()));
        }
        journal_->exposureOpened(exposure, planned);
    });
    connect(&sequencer_, &Sequencer::exposureClosed, this, &Controller::exposureClosed);
    connect(&sequencer_, &Sequencer::ended, this, [this](const SequenceEnd& end) {
        // A dither under way has no pause left to hold.
        if (std::exchange(settling_, false))
            emit settlingChanged(false);
        dithering_.stop();
        // The journal hears how the computer was kept awake before the desktop lets go.
        if (journal_)
            journal_->sequenceEnded(end, desktop_ ? desktop_->keptAwakeBy() : QString());
        if (desktop_)
            desktop_->sequenceEnded(end);
    });
    connect(&ticks_, &TickSource::timeout, this, &Controller::tick);
    connect(&store_, &SettingsStore::changed, this, &Controller::settingsChanged);
    connectDithering();
}

void Controller::connectDithering()
{
    connect(&dithering_, &DitherCoordinator::probed, this,
            [this](bool answered, const QString& text) {
                if (!std::exchange(startWaitsForGuider_, false))
                    return;
                ActionScope scope(*this);
                if (answered)
                    sequencer_.Start();
                else
                    report({QString::fromLatin1(messages::GuiderDidNotAnswer), text});
            });
    connect(&dithering_, &DitherCoordinator::replied, this,
            [this](bool accepted, const QString& guiderText) {
                if (journal_)
                    journal_->ditherReplied(accepted, guiderText);
            });
    connect(&dithering_, &DitherCoordinator::finished, this, &Controller::ditherFinished);
    connect(&dithering_, &DitherCoordinator::starLost, this, [this](const QString& details) {
        if (!journal_)
            return;
        const SequenceState& state = sequencer_.state();
        journal_->starLost(
            state.Exposing ? std::optional<int>(state.ExposuresDone + 1) : std::nullopt, details);
    });
    connect(&dithering_, &DitherCoordinator::connectionLost, this, [this](const QString& text) {
        if (journal_)
            journal_->guiderConnection(false, text);
    });
    connect(&dithering_, &DitherCoordinator::reconnected, this, [this](const QString& text) {
        if (journal_)
            journal_->guiderConnection(true, text);
    });
}

// After every Kth exposure but the last, the next exposure waits for the guider to dither and
// settle, at least the delay and at most the settle timeout.
void Controller::exposureClosed(int exposure, Ending ending)
{
    if (journal_) {
        journal_->stamp();
        journal_->exposureClosed(exposure, ending);
    }
    const SequenceState& state = sequencer_.state();
    if (ending != Ending::Completed || !state.Delaying || !guiding_.ditheringOn() ||
        !dithersAfter(guiding_.ditherEvery, state.ExposuresDone,
                      state.ExposuresDone + state.ExposuresRemaining))
        return;
    if (journal_)
        journal_->ditherRequested(exposure, guiding_.dither);
    sequencer_.holdPause();
    settling_ = true;
    emit settlingChanged(true);
    dithering_.dither(guiding_.dither);
}

// Whatever became of the dither, the sequence goes on; each kind of failure is notified once a
// night, and every one is in the journal.
void Controller::ditherFinished(const DitherOutcome& outcome)
{
    if (!std::exchange(settling_, false))
        return;
    if (journal_)
        journal_->ditherFinished(outcome);
    sequencer_.releasePause();
    emit settlingChanged(false);
    if (outcome.kind == DitherOutcome::Kind::Settled || !desktop_)
        return;
    const QDate night = nightOf(QDateTime::currentDateTime());
    if (std::exchange(ditherNoticesNight_, night) != night)
        ditherNotices_.startNight();
    if (ditherNotices_.shouldNotify(outcome.kind))
        desktop_->tell(QString::fromLatin1(messages::DitherFailed), outcome.text);
}

void Controller::loadGuiding()
{
    const LoadedGuidingSettings loaded = readGuidingSettings([this](const QString& key,
                                                                    const QString& defaultText) {
        return store_.read(QLatin1String(guiding::Section), key, defaultText).value_or(QString());
    });
    guiding_ = loaded.settings;
    noteUnreadable(loaded.unreadable);
}

Controller::~Controller()
{
    unload();
}

void Controller::setDesktop(SleepInhibitor& inhibitor, Notifier& notifier)
{
    desktop_ = std::make_unique<DesktopSession>(inhibitor, notifier);
}

void Controller::setJournal(JournalWriter& writer)
{
    journalWriter_ = &writer;
    journal_ = std::make_unique<JournalRecorder>(writer, monotonicNanoseconds);
    connect(&writer, &JournalWriter::unwritable, this, &Controller::journalUnwritable);
}

void Controller::load()
{
    {
        ActionScope scope(*this);
        // An adapter plugged in for the first time gets its Com number before any port is
        // opened.
        if (serialPorts_)
            lookForSerialPorts();
        SetDefaults();
        loadGuiding();
        if (LineResult failed = line_.closeShutter())
            report(*failed);
    }
    // The line is closed first, as at every start; nothing starts by itself.
    if (journalWriter_)
        if (const std::optional<UnfinishedSequence> unfinished =
                findUnfinishedSequence(journalWriter_->folder()))
            emit unfinishedSequenceFound(*unfinished);
}

void Controller::unload()
{
    if (std::exchange(unloaded_, true))
        return;
    ActionScope scope(*this);
    // Nothing would ever end a running exposure: the sequence ends as Cancel ends it, with the
    // line closed. A shutter opened by hand stays as it is, unless it was opened through a line
    // no longer configured, which nothing would close again.
    startWaitsForGuider_ = false;
    if (sequencer_.running())
        sequencer_.Cancel();
    else if (LineResult failed = line_.closeLinesNotConfigured())
        report(*failed);
    dithering_.stop();
    ticks_.setEnabled(false);
    // Otherwise the line is not driven at the end; releasing the port is all.
    if (serial_.isOpen())
        serial_.close();
    if (desktop_)
        desktop_->ended();
}

void Controller::toggleShutter()
{
    ActionScope scope(*this);
    const bool wasOpen = line_.shutterOpen();
    // A line that failed did not move.
    if (LineResult failed = wasOpen ? line_.closeShutter() : line_.openShutter()) {
        report(*failed);
    } else if (journal_) {
        journal_->stamp();
        const JournalLine line = journalLine(line_.config());
        wasOpen ? journal_->closedByHand(line) : journal_->openedByHand(line);
    }
    if (desktop_)
        desktop_->setShutterOpenByHand(line_.shutterOpen());
    emit shutterToggled(line_.shutterOpen());
}

void Controller::start()
{
    ActionScope scope(*this);
    if (startWaitsForGuider_)
        return; // Start pressed again while the guider is asked
    // With dithering on, a guider that does not answer stops the sequence before it starts.
    if (guiding_.ditheringOn() && !sequencer_.running() &&
        !(dithering_.isConnected() && dithering_.address().text() == guiding_.guider.text())) {
        startWaitsForGuider_ = true;
        dithering_.probe(guiding_.guider);
        return;
    }
    sequencer_.Start();
}

void Controller::cancel()
{
    ActionScope scope(*this);
    sequencer_.Cancel();
}

// A tick can arrive while another action waits in its message box; it is an action of its own,
// and a sequence it ends must still be told.
void Controller::tick()
{
    const QScopedValueRollback<int> depth(actionDepth_, 0);
    const QScopedValueRollback<bool> shown(messageShown_, false);
    ActionScope scope(*this);
    sequencer_.Tick();
}

void Controller::selectInterface(Interface chosen)
{
    ActionScope scope(*this);
    // The store tells of the save, and the configuration is applied then.
    [[maybe_unused]] const std::optional<Failure> failed = saveInterfaceChoice(store_, chosen);
}

// Every save, by this controller or by a window, is applied here. The values hold in memory
// even when the disk refused them.
void Controller::settingsChanged(const SettingsChange& change)
{
    if (unloaded_)
        return;
    ActionScope scope(*this);
    if (change.failure)
        report(*change.failure);
    // The program may have been told to end while the message was up.
    if (!unloaded_ &&
        std::any_of(std::begin(settings::All), std::end(settings::All),
                    [&](const SettingKey& setting) { return change.touches(setting); }))
        applyConfiguration();
    if (std::any_of(change.saved.begin(), change.saved.end(), [](const StoredSetting& saved) {
            return saved.section == QLatin1String(guiding::Section);
        }))
        loadGuiding();
}

QList<ComPort> Controller::comPorts()
{
    if (!serialPorts_)
        return {};
    ActionScope scope(*this);
    return lookForSerialPorts().coms;
}

void Controller::tellUnreadable(const QStringList& keys)
{
    ActionScope scope(*this);
    noteUnreadable(keys);
}

// Rebuilds the configuration in force from the store; opens the serial port when the serial
// interface is chosen.
void Controller::SetDefaults()
{
    const LoadedConfiguration loaded = loadActiveConfiguration(store_, line_.config());
    parallelChecked_ = loaded.parallelChecked;
    serialChecked_ = loaded.serialChecked;
    emit interfaceChecked(parallelChecked_, serialChecked_);
    line_.configure(loaded.config);
    // While a sequence runs, a port already open on the configured Com number is kept: a reopen
    // raises both lines for a moment, which with Active Logic checked is the open level.
    if (loaded.serialChecked &&
        !(sequencer_.running() && line_.serialPortOpenOn(loaded.config.commPortNumber()))) {
        if (LineResult failed = line_.openSerialPort())
            report(*failed);
    }
    noteUnreadable(loaded.fallbacks);
}

// A configuration change while the shutter is closed and no sequence runs puts the newly
// configured line at its closed level at once, instead of leaving it wherever it was.
void Controller::applyConfiguration()
{
    SetDefaults();
    if (!sequencer_.running() && !line_.shutterOpen()) {
        if (LineResult failed = line_.closeShutter())
            report(*failed);
    } else if (journal_ && line_.heldByLineNotConfigured()) {
        journal_->configurationChanged(journalLine(line_.config()),
                                       line_.shutterOpen()
                                           ? QString::fromLatin1(messages::ChangedWhileOpen)
                                           : QString::fromLatin1(messages::ChangedInPause));
    }
}

JournalLine Controller::journalLine(const ShutterConfig& config) const
{
    JournalLine line;
    line.activeLogic = config.ActiveLogic;
    if (config.Use == Interface::Serial) {
        line.interface = JournalInterface::Serial;
        line.port = QStringLiteral("Com%1 %2")
                        .arg(config.commPortNumber())
                        .arg(comDevice(store_, config.commPortNumber()).path)
                        .trimmed();
        line.line =
            config.ControlLine == ControlLine::Rts ? QStringLiteral("RTS") : QStringLiteral("DTR");
    } else {
        line.interface = JournalInterface::Parallel;
        line.port = QStringLiteral("LPT%1").arg(config.ParallelPortIndex + 1);
        line.line = QStringLiteral("D%1").arg(config.PortBit);
    }
    return line;
}

// No dialog waits for a click: the night goes on, and a user away from the screen finds the
// notification on the lock screen.
void Controller::journalUnwritable(const QString& text)
{
    qWarning("%s", qPrintable(text));
    if (desktop_)
        desktop_->tell(QString::fromLatin1(messages::JournalNotWritten), text);
}

void Controller::report(const Failure& failure)
{
    if (std::exchange(messageShown_, true))
        return;
    Failure told = failure;
    // The user sees at once which Com number to choose instead.
    if (serialPorts_ && failure.text == QLatin1String(messages::ComPortNotAvailable))
        told.detail += QStringLiteral("\n\n") +
                       presentPortsText(kestrova::lookForSerialPorts(store_, *serialPorts_));
    emit message(told);
}

ComPortTable Controller::lookForSerialPorts()
{
    // A number that could not be saved is told by the store's change.
    return kestrova::lookForSerialPorts(store_, *serialPorts_);
}

void Controller::noteUnreadable(const QStringList& keys)
{
    for (const QString& key : keys)
        if (!unreadableSettings_.contains(key))
            unreadableSettings_ << key;
}

} // namespace kestrova
