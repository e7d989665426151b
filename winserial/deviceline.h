#pragma once

#include "byteline.h"

#include <windows.h>

#include <atomic>
#include <chrono>
#include <mutex>

class WinSerialDevice;

// The worker's line over a serial port object. Reads wait in the driver: the
// port's time-outs return a read as soon as the bytes it asks for are there,
// or after a short wait on a quiet line, so that a silent line costs a few
// calls a second and stop() is felt within one such wait; the line gives up
// as the port's own time-out does after that long without data. A read asks
// the driver for no more than is sure to come: what the driver holds
// (ClearCommError) while bytes are flowing, else one byte to wait for, or
// the whole of what the caller expects (a frame). Windows would end a larger
// read on its first byte, but not every driver does (Wine's waits out the
// time-out), and a read that waits for bytes that never come holds every
// exchange for that long. Writes go out in pieces the driver ends within the
// same short wait, so a device that stops taking bytes cannot hold a stop. A
// read, write or rest failure that persists means the adapter is gone: the
// line is lost.
class DeviceLine : public ByteLine {
public:
    DeviceLine(WinSerialDevice& device, int timeoutMs);
    ~DeviceLine() override;
    DeviceLine(const DeviceLine&) = delete;
    DeviceLine& operator=(const DeviceLine&) = delete;

    // Gives the port the time-outs this line waits with; again after anything
    // that sets the port's own (setTimeout).
    void takeTimeouts();

    Result read(char* data, int max, int& count) override;
    Result readExpected(char* data, int n, int& count) override;
    Result write(const char* data, int n) override;
    bool pause(int ms) override;
    // A pause that ends with one look at the port (ClearCommError): an
    // unplugged adapter fails it, so a playing generator notices the unplug
    // within a rest or two instead of at the user's next setting.
    Result rest(int ms) override;
    // Also waits for a call on the port that is under way, so the port may
    // be closed as soon as it returns.
    void stop() override;

    // The longest a read or write call on the port lasts.
    static constexpr int kWaitMs = 60;

private:
    // Notes one failed call; true once failures have lasted long enough.
    bool failedForGood();
    // One read call on the port, for at most max bytes: all of them when
    // expected, else those the driver holds, or one when it holds none.
    Result readCalls(char* data, int max, bool expected, int& count);
    // After a time-out without data: Timeout if the port still answers a
    // question about it (ClearCommError), Lost once it has failed to for long
    // enough.
    Result quietLineAnswers();
    // One question about the port (ClearCommError), which an unplugged
    // adapter fails: Timeout when it answers, Lost when this one failed,
    // Stopped when the line is being stopped.
    Result lookAtPort();

    using Clock = std::chrono::steady_clock;

    WinSerialDevice& device;
    const int timeoutMs;
    std::mutex io; // one call on the port at a time
    HANDLE stopEvent; // set by stop(); pauses wait on it as a Windows thread does
    std::atomic<bool> stopped { false };
    bool failing = false; // worker's own
    bool flowing = false; // worker's own: the last read brought bytes, more may be queued
    Clock::time_point firstFailure;
};
