#include "posixline.h"

#include <cerrno>
#include <chrono>

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

int msLeft(Clock::time_point deadline)
{
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return static_cast<int>(left);
}

} // namespace

PosixLine::PosixLine(int descriptor)
    : fd(descriptor), wakeFd(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK))
{
}

PosixLine::~PosixLine()
{
    if (wakeFd != -1)
        ::close(wakeFd);
}

// The one place the worker blocks: on the line, with the stop signal beside
// it. events 0 waits for nothing but a hang-up, an error or the stop.
ByteLine::Result PosixLine::wait(short events, Clock::time_point deadline)
{
    for (;;) {
        if (stopped.load(std::memory_order_acquire))
            return Result::Stopped;
        const int left = msLeft(deadline);
        if (left < 0)
            return Result::Timeout;
        pollfd fds[2] = {{fd, events, 0}, {wakeFd, POLLIN, 0}};
        const int ready = ::poll(fds, 2, left);
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            return Result::Lost;
        }
        if (stopped.load(std::memory_order_acquire) || (fds[1].revents & POLLIN))
            return Result::Stopped;
        if (ready == 0)
            continue; // the deadline check above turns this into Timeout
        if (fds[0].revents & events)
            return Result::Data;
        if (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL))
            return Result::Lost;
    }
}

ByteLine::Result PosixLine::read(char *data, int max, int &count)
{
    return readWithin(data, max, count, timeoutMs);
}

ByteLine::Result PosixLine::readWithin(char *data, int max, int &count, int ms)
{
    count = 0;
    const auto deadline = Clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
        const Result ready = wait(POLLIN, deadline);
        if (ready != Result::Data)
            return ready;
        reads.fetch_add(1, std::memory_order_relaxed);
        const ssize_t n = ::read(fd, data, static_cast<size_t>(max));
        if (n > 0) {
            count = static_cast<int>(n);
            return Result::Data;
        }
        // Readable, then nothing: another reader took the bytes (or a signal
        // came); wait again rather than block.
        if (n < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        // Readable but end of file: the other side is gone.
        return Result::Lost;
    }
}

ByteLine::Result PosixLine::write(const char *data, int n)
{
    int done = 0;
    while (done < n) {
        // Room is waited for like data: a device that stopped reading, or a
        // line held by flow control, keeps the worker here until Close.
        const Result ready = wait(POLLOUT, Clock::now() + std::chrono::milliseconds(timeoutMs));
        if (ready == Result::Timeout)
            continue;
        if (ready != Result::Data)
            return ready;
        writes.fetch_add(1, std::memory_order_relaxed);
        const ssize_t w = ::write(fd, data + done, static_cast<size_t>(n - done));
        if (w > 0) {
            done += static_cast<int>(w);
        } else if (w < 0 && errno != EINTR && errno != EAGAIN) {
            return Result::Lost;
        }
    }
    return Result::Data;
}

bool PosixLine::pause(int ms)
{
    return rest(ms) != Result::Stopped;
}

ByteLine::Result PosixLine::rest(int ms)
{
    const Result result = wait(0, Clock::now() + std::chrono::milliseconds(ms));
    return result == Result::Data ? Result::Timeout : result;
}

void PosixLine::stop()
{
    stopped.store(true, std::memory_order_release);
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t w = ::write(wakeFd, &one, sizeof one);
}
