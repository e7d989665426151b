#pragma once

#include <atomic>
#include <cstdint>

// The worker's view of the serial line: blocking reads with the line's own
// time-out, whole writes, and a stop that wakes a blocked call at once.
// Each build's SerialPort provides one.
class ByteLine {
public:
    enum class Result {
        Data,    // bytes were moved
        Timeout, // the line's time-out passed without data (not an error)
        Stopped, // stop() was called: the worker is being closed
        Lost,    // the line failed (unplugged adapter, hang-up, read error)
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
    // Writes all n bytes.
    virtual Result write(const char *data, int n) = 0;
    // Sleeps for ms milliseconds unless stopped first; false when stopped.
    virtual bool pause(int ms) = 0;
    // Thread-safe; makes every pending and later call return Stopped.
    virtual void stop() = 0;

    // System calls made, for the benchmarks.
    std::uint64_t readCalls() const { return reads.load(std::memory_order_relaxed); }
    std::uint64_t writeCalls() const { return writes.load(std::memory_order_relaxed); }

protected:
    std::atomic<std::uint64_t> reads{0};
    std::atomic<std::uint64_t> writes{0};
};
