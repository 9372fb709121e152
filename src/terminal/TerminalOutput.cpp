// SPDX-License-Identifier: GPL-3.0-or-later
#include "terminal/TerminalOutput.h"

#include <cerrno>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <sys/ioctl.h>
#include <thread>
#include <unistd.h>

namespace kestrova {

namespace {
// Progress held back by a terminal that takes nothing: a few minutes of redraws.
constexpr qsizetype MaxQueuedOutput = 64 * 1024;
} // namespace

struct TerminalOutput::Queue {
    std::mutex mutex;
    std::condition_variable changed;
    struct Text {
        int fd;
        QByteArray bytes;
        bool droppable;
    };
    std::deque<Text> texts;
    qsizetype queuedOutput = 0;
    bool writing = false;

    // The writer's loop; it ends with the process.
    void run()
    {
        std::unique_lock lock(mutex);
        for (;;) {
            changed.wait(lock, [this] { return !texts.empty(); });
            const Text text = std::move(texts.front());
            texts.pop_front();
            writing = true;
            lock.unlock();
            writeWhole(text.fd, text.bytes);
            lock.lock();
            writing = false;
            if (text.droppable)
                queuedOutput -= text.bytes.size();
            changed.notify_all();
        }
    }

    // A text that cannot be written (the reader is gone) is dropped.
    static void writeWhole(int fd, const QByteArray& text)
    {
        const char* data = text.constData();
        qsizetype left = text.size();
        while (left > 0) {
            const ssize_t written = ::write(fd, data, size_t(left));
            if (written < 0 && errno == EINTR)
                continue;
            if (written <= 0)
                return;
            data += written;
            left -= written;
        }
    }

    void push(int fd, const QByteArray& text, bool droppable)
    {
        {
            const std::lock_guard lock(mutex);
            if (droppable) {
                if (queuedOutput + text.size() > MaxQueuedOutput)
                    return;
                queuedOutput += text.size();
            }
            texts.push_back({fd, text, droppable});
        }
        changed.notify_all();
    }
};

TerminalOutput::TerminalOutput(int outputFd, int errorFd)
    : queue_(std::make_shared<Queue>()), outputFd_(outputFd), errorFd_(errorFd)
{
    std::thread([queue = queue_] { queue->run(); }).detach();
}

TerminalOutput::~TerminalOutput()
{
    drain(std::chrono::seconds(2));
}

void TerminalOutput::out(const QByteArray& text)
{
    queue_->push(outputFd_, text, true);
}

void TerminalOutput::err(const QByteArray& text)
{
    queue_->push(errorFd_, text, false);
}

bool TerminalOutput::drain(std::chrono::milliseconds limit)
{
    std::unique_lock lock(queue_->mutex);
    return queue_->changed.wait_for(lock, limit,
                                    [this] { return queue_->texts.empty() && !queue_->writing; });
}

bool TerminalOutput::outputIsTerminal() const
{
    return ::isatty(outputFd_) == 1;
}

int TerminalOutput::columns() const
{
    winsize size{};
    if (::ioctl(outputFd_, TIOCGWINSZ, &size) == 0 && size.ws_col > 0)
        return size.ws_col;
    return 80;
}

} // namespace kestrova
