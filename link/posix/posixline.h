#pragma once

#include "byteline.h"

#include <chrono>

// A non-blocking terminal descriptor read and written with poll, beside an
// eventfd that stop() signals, so that a worker waiting on a silent device or
// on a device that no longer takes bytes wakes at once.
class PosixLine : public ByteLine {
public:
    // Without data for this long a read gives up, as the terminal's VTIME does.
    static constexpr int kTimeoutMs = 3000;

    explicit PosixLine(int fd);
    ~PosixLine() override;
    PosixLine(const PosixLine &) = delete;
    PosixLine &operator=(const PosixLine &) = delete;

    Result read(char *data, int max, int &count) override;
    Result readWithin(char *data, int max, int &count, int ms) override;
    Result write(const char *data, int n) override;
    bool pause(int ms) override;
    Result rest(int ms) override;
    void stop() override;
    void setTimeoutMs(int ms) override { timeoutMs = ms; }

private:
    // Waits for events on the line (or the stop signal, or a hang-up) until
    // the deadline.
    Result wait(short events, std::chrono::steady_clock::time_point deadline);

    int fd;
    int wakeFd;
    int timeoutMs = kTimeoutMs;
    std::atomic<bool> stopped { false };
};
