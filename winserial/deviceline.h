#pragma once

#include "byteline.h"

#include <chrono>
#include <condition_variable>
#include <mutex>

class SerialDeviceBase;

// The worker's line over a serial port object. A read takes what the driver
// has and otherwise waits in short steps, so that stop() is felt within a
// millisecond instead of after a read's whole time-out; it gives up as the
// port's time-out does after that long without data. A read or status
// failure that persists means the adapter is gone: the line is lost.
class DeviceLine : public ByteLine {
public:
    DeviceLine(SerialDeviceBase& device, int timeoutMs);

    Result read(char* data, int max, int& count) override;
    Result write(const char* data, int n) override;
    bool pause(int ms) override;
    // Also waits for a call on the port that is under way, so the port may
    // be closed as soon as it returns.
    void stop() override;

private:
    // Notes one failed call; true once failures have lasted long enough.
    bool failedForGood();

    using Clock = std::chrono::steady_clock;

    SerialDeviceBase& device;
    const int timeoutMs;
    std::mutex io; // one call on the port at a time
    std::mutex waitMutex;
    std::condition_variable woken;
    std::atomic<bool> stopped { false };
    bool failing = false; // worker's own
    Clock::time_point firstFailure;
};
