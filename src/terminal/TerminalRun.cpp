// SPDX-License-Identifier: GPL-3.0-or-later
#include "terminal/TerminalRun.h"

#include "config/ComPorts.h"
#include "config/Messages.h"
#include "control/Messages.h"
#include "terminal/Messages.h"
#include "terminal/ProgressText.h"
#include "terminal/TerminalOutput.h"

#include <QDateTime>
#include <QMetaObject>
#include <csignal>
#include <cstring>
#include <utility>

namespace kestrova {

namespace {

// Messages about the settings file do not stop a night: the values in memory are used.
bool aboutSettingsOnly(const Failure& failure)
{
    return failure.text == QLatin1String(messages::SettingsUnreadable) ||
           failure.text == QLatin1String(messages::SettingsNotSaved);
}

QString signalName(int signal)
{
    switch (signal) {
    case SIGINT:
        return QStringLiteral("SIGINT (Ctrl+C)");
    case SIGTERM:
        return QStringLiteral("SIGTERM");
    case SIGHUP:
        return QStringLiteral("SIGHUP (the terminal or connection was closed)");
    default:
        return QStringLiteral("signal %1").arg(signal);
    }
}

} // namespace

TerminalRun::TerminalRun(Controller& controller, const SettingsStore& store, RunOptions options,
                         TerminalOutput& output, Style style, QObject* parent)
    : QObject(parent), controller_(controller), store_(store), options_(std::move(options)),
      output_(output), style_(style)
{
    connect(&controller_, &Controller::message, this, &TerminalRun::told);
    connect(&controller_, &Controller::unfinishedSequenceFound, this,
            &TerminalRun::unfinishedFound);
    const Sequencer& sequencer = controller_.sequencer();
    connect(&sequencer, &Sequencer::runningChanged, this, &TerminalRun::runningChanged);
    connect(&sequencer, &Sequencer::exposureOpened, this, &TerminalRun::exposureOpened);
    connect(&sequencer, &Sequencer::exposureClosed, this, &TerminalRun::exposureClosed);
    connect(&sequencer, &Sequencer::ended, this, &TerminalRun::sequenceEnded);
    connect(&sequencer, &Sequencer::totalTimeChanged, this, &TerminalRun::scheduleRedraw);
    // A dither: the pause shows that the guider settles; a log tells each dither's outcome.
    connect(&controller_, &Controller::settlingChanged, this, &TerminalRun::scheduleRedraw);
    connect(&controller_.dithering(), &DitherCoordinator::finished, this,
            [this](const DitherOutcome& outcome) {
                if (style_ == Style::Lines)
                    printLine(outcome.text);
            });
    connect(&sequencer, &Sequencer::exposureTimeChanged, this, &TerminalRun::scheduleRedraw);
}

void TerminalRun::begin()
{
    if (finished_)
        return; // a signal came first
    controller_.load();
    if (firstFailure_) {
        finish(firstFailure_->text == QLatin1String(messages::PortInUse) ? exitstatus::Refused
                                                                         : exitstatus::LineFailed);
        return;
    }
    if (options_.closeOnly) {
        finish(exitstatus::Completed, messages::lineClosedText(configuredLine()));
        return;
    }
    Sequencer& sequencer = controller_.sequencer();
    sequencer.setNumExposuresText(options_.exposures);
    sequencer.setExposureTimeText(options_.exposureTime);
    sequencer.setDelayText(options_.delay);
    controller_.start();
    // With dithering on, the sequence starts once the guider has answered, or is told why not.
    waitingForGuider_ = controller_.startPending();
    if (!controller_.running() && !finished_ && !waitingForGuider_)
        finish(firstFailure_ &&
                       firstFailure_->text == QLatin1String(messages::InvalidSequenceValues)
                   ? exitstatus::Refused
                   : exitstatus::LineFailed);
}

void TerminalRun::terminate(int signal)
{
    if (finished_ || signal_ != 0)
        return;
    signal_ = signal;
    // Cancel closes the line at once; the sequence's end then finishes the run.
    if (controller_.running())
        controller_.cancel();
    else
        finish(exitstatus::signalled(signal));
}

void TerminalRun::told(const Failure& failure)
{
    if (!firstFailure_ && !aboutSettingsOnly(failure))
        firstFailure_ = failure;
    clearProgressLine();
    QString text = QStringLiteral("kestrova: ") + failure.text + QLatin1Char('\n');
    if (!failure.detail.isEmpty())
        text += failure.detail + QLatin1Char('\n');
    output_.err(text.toLocal8Bit());
    if (std::exchange(waitingForGuider_, false) && !controller_.running() && !finished_)
        finish(exitstatus::Refused);
}

void TerminalRun::unfinishedFound(const UnfinishedSequence& u)
{
    if (style_ == Style::Quiet)
        return;
    clearProgressLine();
    output_.err(
        (messages::unfinishedSequenceNotice(u.sequence, u.file, u.done, u.exposures,
                                            u.exposuresLeft(), u.exposureSeconds, u.delaySeconds) +
         QLatin1Char('\n'))
            .toLocal8Bit());
}

// At Start the values have been read and the total computed; no line has moved yet.
void TerminalRun::runningChanged(bool running)
{
    if (!running)
        return;
    waitingForGuider_ = false;
    const SequenceState& state = controller_.sequencer().state();
    exposures_ = state.ExposuresRemaining;
    total_ = state.TotalRemaining;
    printLine(messages::sequenceStartedText(exposures_, state.ExposureRemaining,
                                            state.DelayRemaining, timeCaption(state),
                                            configuredLine()));
}

void TerminalRun::exposureOpened(int exposure, int plannedSeconds)
{
    if (style_ == Style::Lines)
        printLine(exposureOpenedText(exposure, exposures_, plannedSeconds));
    scheduleRedraw();
}

void TerminalRun::exposureClosed(int exposure, Ending ending)
{
    const SequenceState& state = controller_.sequencer().state();
    pauseLength_ = state.DelayRemaining; // the pause that starts now, read again for it
    if (style_ == Style::Lines)
        printLine(exposureClosedText(exposure, exposures_, ending, timeCaption(state)));
    scheduleRedraw();
}

// The failure's message follows the end; the run finishes once both are told.
void TerminalRun::sequenceEnded(const SequenceEnd& end)
{
    int status = exitstatus::LineFailed;
    QString text;
    switch (end.reason) {
    case Ending::Completed:
        status = exitstatus::Completed;
        text = messages::sequenceComplete(end.exposuresDone, end.lastExposureSeconds);
        break;
    case Ending::Cancelled:
        status = signal_ != 0 ? exitstatus::signalled(signal_) : exitstatus::LineFailed;
        text = messages::sequenceCancelledText(signalName(signal_), end.exposuresDone, exposures_);
        break;
    case Ending::Failed:
        text = messages::sequenceStoppedText(end.exposuresDone, exposures_);
        break;
    }
    QMetaObject::invokeMethod(
        this, [this, status, text] { finish(status, text); }, Qt::QueuedConnection);
}

// The sequencer tells a tick in several signals; the line is drawn once they are all told.
void TerminalRun::scheduleRedraw()
{
    if (style_ != Style::Redrawn || std::exchange(redrawPending_, true))
        return;
    QMetaObject::invokeMethod(this, &TerminalRun::redraw, Qt::QueuedConnection);
}

void TerminalRun::redraw()
{
    redrawPending_ = false;
    if (finished_ || !controller_.running())
        return;
    const SequenceState& state = controller_.sequencer().state();
    ProgressPoint point;
    point.exposures = exposures_;
    point.total = total_;
    point.totalElapsed = total_ - state.TotalRemaining;
    point.timeLeft = timeCaption(state);
    point.pausing = state.Delaying;
    point.settling = controller_.settling();
    if (state.Delaying) {
        point.exposure = state.ExposuresDone;
        point.phaseLength = pauseLength_;
        point.phaseElapsed = pauseLength_ - state.DelayRemaining;
    } else {
        point.exposure = state.ExposuresDone + 1;
        point.phaseElapsed = state.ExposureElapsed;
        point.phaseLength = state.ExposureElapsed + state.ExposureRemaining;
    }
    output_.out(
        (QLatin1Char('\r') + progressLine(point, output_.columns()) + QLatin1String("\x1b[K"))
            .toLocal8Bit());
    progressShown_ = true;
}

void TerminalRun::clearProgressLine()
{
    if (std::exchange(progressShown_, false))
        output_.out(QByteArrayLiteral("\r\x1b[K"));
}

void TerminalRun::printLine(const QString& text)
{
    if (style_ == Style::Quiet)
        return;
    clearProgressLine();
    const QString line =
        style_ == Style::Lines ? logLine(QDateTime::currentDateTime(), text) : text;
    output_.out((line + QLatin1Char('\n')).toLocal8Bit());
}

void TerminalRun::finish(int status, const QString& closingText)
{
    if (std::exchange(finished_, true))
        return;
    // The port is released before the last words, which a stalled terminal may hold up.
    controller_.unload();
    if (!closingText.isEmpty())
        printLine(closingText);
    clearProgressLine();
    emit finished(status);
}

QString TerminalRun::configuredLine() const
{
    const ShutterConfig& config = controller_.line().config();
    return lineText(config, config.Use == Interface::Serial
                                ? comDevice(store_, config.commPortNumber()).path
                                : QString());
}

} // namespace kestrova
