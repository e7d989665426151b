#include "deviceline.h"

#include "serialdevicebase.h"

#include <algorithm>

namespace {

// Step of the wait for input; also how late a stop can be felt.
constexpr int kPollMs = 1;
// A port that keeps failing this long is gone (unplugged adapter). Single
// failures happen, for example on a line error the driver reports once.
constexpr auto kLostAfter = std::chrono::milliseconds(100);

} // namespace

DeviceLine::DeviceLine(SerialDeviceBase& port, int timeout)
    : device(port)
    , timeoutMs(timeout)
{
}

bool DeviceLine::failedForGood()
{
    const auto now = Clock::now();
    if (!failing) {
        failing = true;
        firstFailure = now;
    }
    return now - firstFailure >= kLostAfter;
}

ByteLine::Result DeviceLine::read(char* data, int max, int& count)
{
    count = 0;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        qint64 got = 0;
        bool failed = false;
        {
            std::lock_guard<std::mutex> lock(io);
            if (stopped.load(std::memory_order_acquire))
                return Result::Stopped;
            const qint64 waiting = device.bytesAvailable();
            if (waiting < 0) {
                failed = true;
            } else if (waiting > 0) {
                // No more than is there, so the port's read returns at once.
                reads.fetch_add(1, std::memory_order_relaxed);
                got = device.read(data, std::min<qint64>(max, waiting));
                failed = got < 0;
            }
        }
        if (got > 0) {
            failing = false;
            count = static_cast<int>(got);
            return Result::Data;
        }
        if (!failed)
            failing = false;
        else if (failedForGood())
            return Result::Lost;
        if (Clock::now() >= deadline)
            return Result::Timeout;
        if (!pause(kPollMs))
            return Result::Stopped;
    }
}

ByteLine::Result DeviceLine::write(const char* data, int n)
{
    int done = 0;
    while (done < n) {
        qint64 written = 0;
        {
            std::lock_guard<std::mutex> lock(io);
            if (stopped.load(std::memory_order_acquire))
                return Result::Stopped;
            writes.fetch_add(1, std::memory_order_relaxed);
            written = device.write(data + done, n - done);
        }
        if (written > 0) {
            failing = false;
            done += static_cast<int>(written);
            continue;
        }
        // Nothing went out within the port's time-out: the device is not
        // taking bytes. Keep trying until stopped, unless the port fails.
        if (written < 0 && failedForGood())
            return Result::Lost;
        if (!pause(kPollMs))
            return Result::Stopped;
    }
    return Result::Data;
}

bool DeviceLine::pause(int ms)
{
    std::unique_lock<std::mutex> lock(waitMutex);
    return !woken.wait_for(lock, std::chrono::milliseconds(ms),
        [this] { return stopped.load(std::memory_order_acquire); });
}

void DeviceLine::stop()
{
    {
        std::lock_guard<std::mutex> lock(waitMutex);
        stopped.store(true, std::memory_order_release);
    }
    woken.notify_all();
    std::lock_guard<std::mutex> lock(io);
}
