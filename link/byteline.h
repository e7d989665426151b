#pragma once

#include <atomic>
#include <cstdint>

// The worker's view of the serial line: reads that wait up to the line's own
// time-out, whole writes that wait for room, and a stop that wakes any wait
// at once.
// Each build's SerialPort provides one.
class ByteLine {
public:
    enum class Result {
        Data, // bytes were moved
        Timeout, // the line's time-out passed without data (not an error)
        Stopped, // stop() was called: the worker is being closed
        Lost, // the line failed (unplugged adapter, hang-up, read error)
    };

    virtual ~ByteLine() = default;

    // Waits up to the line's time-out for input and reads what is there, at
    // most max bytes; count gets the number read when the result is Data.
    virtual Result read(char *data, int max, int &count) = 0;
    // As read, but waits at most ms for input. A line that cannot wait less
    // than its own time-out waits that long instead.
    virtual Result readWithin(char *data, int max, int &count, int ms)
    {
        static_cast<void>(ms);
        return read(data, max, count);
    }
    // As read, for a caller that expects n bytes to come together (a frame,
    // the rest of one): a line may wait in one call until all n are there
    // instead of returning with the first of them.
    virtual Result readExpected(char *data, int n, int &count) { return read(data, n, count); }
    // Writes all n bytes.
    virtual Result write(const char *data, int n) = 0;
    // Sleeps for ms milliseconds unless stopped first; false when stopped.
    virtual bool pause(int ms) = 0;
    // As pause, but a line that can tell also wakes when it fails meanwhile:
    // Timeout after the whole sleep, Stopped, or Lost.
    virtual Result rest(int ms) { return pause(ms) ? Result::Timeout : Result::Stopped; }
    // Thread-safe; makes every pending and later call return Stopped.
    virtual void stop() = 0;
    // A shorter time-out than the line's own, for a test that holds the line
    // past it; before the worker starts. A line that cannot keeps its own.
    virtual void setTimeoutMs(int ms) { static_cast<void>(ms); }

    // System calls made, for the benchmarks.
    std::uint64_t readCalls() const { return reads.load(std::memory_order_relaxed); }
    std::uint64_t writeCalls() const { return writes.load(std::memory_order_relaxed); }

protected:
    std::atomic<std::uint64_t> reads { 0 };
    std::atomic<std::uint64_t> writes { 0 };
};
