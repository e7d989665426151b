#include "deviceline.h"

#include "winserialdevice.h"

#include <algorithm>

namespace {

// A port that keeps failing this long is gone (unplugged adapter). Single
// failures happen, for example on a line error the driver reports once.
constexpr auto kLostAfter = std::chrono::milliseconds(100);
// Pause between calls that fail at once, so a failing port is not spun on.
constexpr int kRetryMs = 10;

} // namespace

DeviceLine::DeviceLine(WinSerialDevice& port, int timeout)
    : device(port)
    , timeoutMs(timeout)
    , stopEvent(CreateEventW(nullptr, TRUE, FALSE, nullptr))
{
    takeTimeouts();
}

DeviceLine::~DeviceLine()
{
    CloseHandle(stopEvent);
}

void DeviceLine::takeTimeouts()
{
    // Reads: MAXDWORD interval and multiplier with a constant return at once
    // with what has come, else with the first byte to arrive, else after the
    // constant with nothing. Writes: whatever went out within the constant.
    COMMTIMEOUTS wanted {};
    wanted.ReadIntervalTimeout = MAXDWORD;
    wanted.ReadTotalTimeoutMultiplier = MAXDWORD;
    wanted.ReadTotalTimeoutConstant = kWaitMs;
    wanted.WriteTotalTimeoutMultiplier = 0;
    wanted.WriteTotalTimeoutConstant = kWaitMs;
    std::lock_guard<std::mutex> lock(io);
    device.setCommTimeouts(wanted);
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
    return readCalls(data, max, false, count);
}

ByteLine::Result DeviceLine::readExpected(char* data, int n, int& count)
{
    return readCalls(data, n, true, count);
}

ByteLine::Result DeviceLine::readCalls(char* data, int max, bool expected, int& count)
{
    count = 0;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        qint64 got = 0;
        {
            std::lock_guard<std::mutex> lock(io);
            if (stopped.load(std::memory_order_acquire))
                return Result::Stopped;
            qint64 want = expected ? max : 1;
            // After a read that brought bytes, the rest of a burst is likely
            // queued: read all of it at once. After a quiet read or our own
            // write, the one-byte read returns at once if anything came all
            // the same, without the extra call.
            if (!expected && flowing) {
                const qint64 queued = device.bytesAvailable();
                want = queued < 0 ? -1 : std::clamp<qint64>(queued, 1, max);
            }
            if (want > 0) {
                reads.fetch_add(1, std::memory_order_relaxed);
                got = device.read(data, want);
            } else {
                got = -1;
            }
        }
        flowing = got > 0;
        if (got > 0) {
            failing = false;
            count = static_cast<int>(got);
            return Result::Data;
        }
        if (got == 0) {
            failing = false;
        } else {
            if (failedForGood())
                return Result::Lost;
            if (!pause(kRetryMs))
                return Result::Stopped;
        }
        if (Clock::now() >= deadline)
            return quietLineAnswers();
    }
}

ByteLine::Result DeviceLine::quietLineAnswers()
{
    // Some drivers go on ending reads with nothing once the adapter is gone
    // and fail only a question about the port: asked once per time-out, so a
    // silent line costs two calls a second more.
    for (;;) {
        const Result look = lookAtPort();
        if (look != Result::Lost)
            return look;
        if (failedForGood())
            return Result::Lost;
        if (!pause(kRetryMs))
            return Result::Stopped;
    }
}

ByteLine::Result DeviceLine::lookAtPort()
{
    qint64 queued = 0;
    {
        std::lock_guard<std::mutex> lock(io);
        if (stopped.load(std::memory_order_acquire))
            return Result::Stopped;
        queued = device.bytesAvailable();
    }
    if (queued < 0)
        return Result::Lost;
    failing = false;
    return Result::Timeout;
}

ByteLine::Result DeviceLine::write(const char* data, int n)
{
    // Whatever is queued now came before the device heard us.
    flowing = false;
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
        // Nothing went out within the wait: the device is not taking bytes.
        // Keep trying until stopped, unless the port fails.
        if (written < 0) {
            if (failedForGood())
                return Result::Lost;
            if (!pause(kRetryMs))
                return Result::Stopped;
        }
    }
    return Result::Data;
}

bool DeviceLine::pause(int ms)
{
    if (stopped.load(std::memory_order_acquire))
        return false;
    return WaitForSingleObject(stopEvent, static_cast<DWORD>(ms)) == WAIT_TIMEOUT;
}

ByteLine::Result DeviceLine::rest(int ms)
{
    if (!pause(ms))
        return Result::Stopped;
    const Result look = lookAtPort();
    if (look != Result::Lost)
        return look;
    return failedForGood() ? Result::Lost : Result::Timeout;
}

void DeviceLine::stop()
{
    stopped.store(true, std::memory_order_release);
    SetEvent(stopEvent);
    std::lock_guard<std::mutex> lock(io);
}
