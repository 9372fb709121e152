// SPDX-License-Identifier: GPL-3.0-or-later
// Runs real exposure sequences on the Qt event loop and measures when the camera line switches.
//
// Three sequencers run side by side in one event loop, each on its own line: one ticked by the
// program's own timer (tmrMain), and as baselines one by a repeating 1000 ms QTimer of
// Qt::PreciseTimer accuracy, the choice a careful Qt programmer would make, and one by a plain
// repeating QTimer of default accuracy. Every edge of each line is time-stamped on the monotonic
// clock; its error is the time since that line's first opening minus the ideal time of the edge.
//
//   sequence_timing [--exposures N] [--exposure SECONDS] [--delay SECONDS]
//                   [--waker kernel|event-loop] [--load | --load-same-session]
//
// --load keeps every core busy with spinning child processes, each in a session of its own, while
// the sequences run; --load-same-session leaves them in this program's session. They end with the
// run, and by themselves (SIGALRM) should this program die first.

#include "control/ScheduledTimer.h"
#include "control/Sequencer.h"
#include "shutter/ShutterLine.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace kestrova;

namespace {

struct Options {
    int exposures = 4;
    int exposureSeconds = 10;
    int delaySeconds = 5;
    ScheduledTimer::Waker waker = ScheduledTimer::Waker::KernelTimer;
    bool load = false;
    bool loadInSameSession = false;
};

[[noreturn]] void usage(const char* program)
{
    std::fprintf(stderr,
                 "usage: %s [--exposures N] [--exposure SECONDS] [--delay SECONDS]\n"
                 "          [--waker kernel|event-loop] [--load | --load-same-session]\n",
                 program);
    std::exit(2);
}

Options parseOptions(int argc, char* argv[])
{
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const auto value = [&]() -> std::string {
            if (i + 1 >= argc)
                usage(argv[0]);
            return argv[++i];
        };
        const auto positive = [&]() {
            const int number = std::atoi(value().c_str());
            if (number < 1)
                usage(argv[0]);
            return number;
        };
        if (arg == "--exposures")
            options.exposures = positive();
        else if (arg == "--exposure")
            options.exposureSeconds = positive();
        else if (arg == "--delay")
            options.delaySeconds = positive();
        else if (arg == "--load")
            options.load = true;
        else if (arg == "--load-same-session")
            options.load = options.loadInSameSession = true;
        else if (arg == "--waker") {
            const std::string waker = value();
            if (waker == "kernel")
                options.waker = ScheduledTimer::Waker::KernelTimer;
            else if (waker == "event-loop")
                options.waker = ScheduledTimer::Waker::EventLoopTimer;
            else
                usage(argv[0]);
        } else
            usage(argv[0]);
    }
    const long total = long(options.exposures) * options.exposureSeconds +
                       long(options.exposures - 1) * options.delaySeconds;
    if (total > LongestSequenceSeconds) {
        std::fprintf(stderr, "a sequence may last at most %d s\n", int(LongestSequenceSeconds));
        std::exit(2);
    }
    return options;
}

// One busy child process per core, started before the event loop exists. Like another program
// started from a terminal, each runs in a session of its own unless asked to share this one; the
// kernel groups the processes of a session when it shares out the processors.
class CpuLoad {
public:
    CpuLoad(unsigned processes, unsigned limitSeconds, bool sameSession)
    {
        for (unsigned i = 0; i < processes; ++i) {
            const pid_t pid = fork();
            if (pid == 0) {
                prctl(PR_SET_PDEATHSIG, SIGKILL);
                if (!sameSession)
                    setsid();
                alarm(limitSeconds);
                volatile unsigned long spin = 0;
                for (;;)
                    spin = spin + 1;
            }
            if (pid > 0)
                children_.push_back(pid);
        }
    }
    ~CpuLoad()
    {
        for (const pid_t pid : children_)
            kill(pid, SIGKILL);
        for (const pid_t pid : children_)
            waitpid(pid, nullptr, 0);
    }
    std::size_t size() const { return children_.size(); }

private:
    std::vector<pid_t> children_;
};

struct Edge {
    std::int64_t time;
    bool open;
};

// The camera line: every write is an edge, stamped the moment it is made.
class StampingPort : public ParallelPort {
public:
    LineResult setPortBit(int, std::uint8_t) override
    {
        edges.push_back({monotonicNanoseconds(), true});
        return std::nullopt;
    }
    LineResult clrPortBit(int, std::uint8_t) override
    {
        edges.push_back({monotonicNanoseconds(), false});
        return std::nullopt;
    }
    std::vector<Edge> edges;
};

class NoSerialLine : public SerialLine {
public:
    bool isOpen() const override { return false; }
    LineResult open(int) override { return std::nullopt; }
    void close() override {}
    void setKeepLevelsOnRelease(bool) override {}
    LineResult setRtsEnable(bool) override { return std::nullopt; }
    LineResult setDtrEnable(bool) override { return std::nullopt; }
    bool rtsEnable() const override { return false; }
    bool dtrEnable() const override { return false; }
};

// A baseline: a repeating QTimer of the given accuracy.
class RepeatingQTimer : public TickSource {
public:
    explicit RepeatingQTimer(Qt::TimerType type)
    {
        timer_.setTimerType(type);
        connect(&timer_, &QTimer::timeout, this, &TickSource::timeout);
    }
    void setInterval(int milliseconds) override { timer_.setInterval(milliseconds); }
    int interval() const override { return timer_.interval(); }
    void setEnabled(bool enabled) override
    {
        if (enabled)
            timer_.start();
        else
            timer_.stop();
    }
    bool isEnabled() const override { return timer_.isActive(); }

private:
    QTimer timer_;
};

// A sequencer with its own line and tick source.
class Rig {
public:
    Rig(const Options& options, TickSource& ticks, std::function<void()> finished)
        : line_(port_, serial_), sequencer_(line_, ticks)
    {
        ShutterConfig config;
        config.Use = Interface::Parallel;
        config.PortBit = 0;
        config.ActiveLogic = true;
        line_.configure(config);
        sequencer_.setNumExposuresText(QString::number(options.exposures));
        sequencer_.setExposureTimeText(QString::number(options.exposureSeconds));
        sequencer_.setDelayText(QString::number(options.delaySeconds));
        QObject::connect(&ticks, &TickSource::timeout, [this] { sequencer_.Tick(); });
        QObject::connect(&sequencer_, &Sequencer::runningChanged, [finished](bool running) {
            if (!running)
                finished();
        });
        QObject::connect(&sequencer_, &Sequencer::message, [](const Failure& message) {
            std::fprintf(stderr, "message: %s %s\n", qPrintable(message.text),
                         qPrintable(message.detail));
        });
    }
    void start() { sequencer_.Start(); }
    const std::vector<Edge>& edges() const { return port_.edges; }

private:
    StampingPort port_;
    NoSerialLine serial_;
    ShutterLine line_;
    Sequencer sequencer_;
};

struct Figures {
    std::vector<double> errors; // milliseconds, per edge
    double largest = 0;
    double mean = 0;
    double drift = 0;
};

// Ideal edge times in seconds from the first opening: open, close, pause, open, ...
std::vector<long> idealSchedule(const Options& options)
{
    std::vector<long> ideal;
    for (int i = 0; i < options.exposures; ++i) {
        const long open = long(i) * (options.exposureSeconds + options.delaySeconds);
        ideal.push_back(open);
        ideal.push_back(open + options.exposureSeconds);
    }
    return ideal;
}

Figures measure(const std::vector<Edge>& edges, const std::vector<long>& ideal)
{
    Figures figures;
    if (edges.empty())
        return figures;
    for (std::size_t i = 0; i < edges.size() && i < ideal.size(); ++i) {
        const double sinceFirst = double(edges[i].time - edges.front().time) / 1e6;
        figures.errors.push_back(sinceFirst - double(ideal[i]) * 1000.0);
    }
    double sum = 0;
    for (const double error : figures.errors) {
        figures.largest = std::max(figures.largest, std::fabs(error));
        sum += std::fabs(error);
    }
    // The first edge is the reference and has no error of its own.
    if (figures.errors.size() > 1)
        figures.mean = sum / double(figures.errors.size() - 1);
    figures.drift = figures.errors.back() - figures.errors.front();
    return figures;
}

bool levelsAlternate(const std::vector<Edge>& edges)
{
    for (std::size_t i = 0; i < edges.size(); ++i)
        if (edges[i].open != (i % 2 == 0))
            return false;
    return true;
}

} // namespace

int main(int argc, char* argv[])
{
    const Options options = parseOptions(argc, argv);
    const std::vector<long> ideal = idealSchedule(options);
    const long totalSeconds = ideal.back();

    std::unique_ptr<CpuLoad> load;
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    if (options.load) {
        load = std::make_unique<CpuLoad>(cores, unsigned(totalSeconds) + 30,
                                         options.loadInSameSession);
        sleep(1); // let the load settle before the first edge
    }

    QCoreApplication app(argc, argv);
    int running = 3;
    const auto finished = [&running] {
        if (--running == 0)
            QCoreApplication::quit();
    };
    ScheduledTimer scheduled(options.waker);
    RepeatingQTimer preciseBaseline(Qt::PreciseTimer);
    RepeatingQTimer baseline(Qt::CoarseTimer);
    Rig scheduledRig(options, scheduled, finished);
    Rig preciseRig(options, preciseBaseline, finished);
    Rig baselineRig(options, baseline, finished);

    std::printf("Sequence: %d x %d s exposures, %d s between (%ld s)\n", options.exposures,
                options.exposureSeconds, options.delaySeconds, totalSeconds);
    QString loadText = QStringLiteral("none");
    if (load)
        loadText =
            QStringLiteral("%1 busy processes%2")
                .arg(load->size())
                .arg(options.loadInSameSession ? " in this session" : ", each in its own session");
    std::printf("Timer: tmrMain (%s waker) beside repeating 1000 ms QTimers, precise and of "
                "default accuracy; CPU load: %s\n",
                scheduled.findChild<QSocketNotifier*>() ? "kernel" : "event-loop",
                qPrintable(loadText));
    std::fflush(stdout);

    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, [] {
        std::fprintf(stderr, "the sequences did not end in time\n");
        QCoreApplication::exit(1);
    });
    watchdog.start(int(totalSeconds + 20) * 1000);

    QTimer::singleShot(0, [&] {
        scheduledRig.start();
        preciseRig.start();
        baselineRig.start();
    });
    const int status = app.exec();
    load.reset();
    if (status != 0)
        return status;

    const Rig* const rigs[] = {&scheduledRig, &preciseRig, &baselineRig};
    std::vector<Figures> figures;
    for (const Rig* rig : rigs) {
        if (rig->edges().size() != ideal.size() || !levelsAlternate(rig->edges())) {
            std::fprintf(stderr, "unexpected edges: %zu, expected %zu\n", rig->edges().size(),
                         ideal.size());
            return 1;
        }
        figures.push_back(measure(rig->edges(), ideal));
    }

    std::printf("\n%5s  %-6s %9s  %14s  %14s  %14s\n", "edge", "line", "ideal s", "tmrMain ms",
                "precise ms", "default ms");
    for (std::size_t i = 0; i < ideal.size(); ++i)
        std::printf("%5zu  %-6s %9ld  %+14.3f  %+14.3f  %+14.3f\n", i + 1,
                    i % 2 == 0 ? "open" : "close", ideal[i], figures[0].errors[i],
                    figures[1].errors[i], figures[2].errors[i]);
    std::printf("\n%-30s %14s  %14s  %14s\n", "", "tmrMain", "QTimer precise", "QTimer default");
    std::printf("%-30s %14.3f  %14.3f  %14.3f\n", "largest error ms", figures[0].largest,
                figures[1].largest, figures[2].largest);
    std::printf("%-30s %14.3f  %14.3f  %14.3f\n", "mean error ms (absolute)", figures[0].mean,
                figures[1].mean, figures[2].mean);
    std::printf("%-30s %+14.3f  %+14.3f  %+14.3f\n", "drift ms (last - first edge)",
                figures[0].drift, figures[1].drift, figures[2].drift);
    return 0;
}
