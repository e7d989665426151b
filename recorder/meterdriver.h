#pragma once

#include "meterreading.h"
#include "runningstats.h"

#include <array>
#include <cstdint>

// The meter over the frames as they come, for the window and labbench-cli
// alike: it reads each frame with the settings it was taken with, moves the
// range and time base after the signal, and keeps the statistics since the
// last reset. It never touches the device: the caller sends request() when
// takeChange() says it changed, as the oscilloscope sends its settings.
class MeterDriver {
public:
    static constexpr int kChannels = 2;
    static constexpr int kAuto = -1; // a channel's gain that follows the signal

    // What the device is asked to do.
    struct Request {
        bool twoChannels = false;
        int tbIndex = 7;
        std::array<int, kChannels> gain { 0, 0 };
        bool operator==(const Request &o) const
        {
            return twoChannels == o.twoChannels && tbIndex == o.tbIndex && gain == o.gain;
        }
        bool operator!=(const Request &o) const { return !(*this == o); }
    };

    // `staleFrames`: frames that may still come with the old settings once a
    // request has been sent (the window does not wait for the device to take
    // it; labbench-cli does, and passes 0).
    MeterDriver(int speed, int staleFrames);

    // Channel 2 on or off, a fixed gain per channel or kAuto. Starts over:
    // the next frames are read only once the new request is in effect.
    void configure(bool twoChannels, std::array<int, kChannels> gains);
    bool twoChannels() const { return wanted.twoChannels; }
    std::array<int, kChannels> gainChoice() const { return manual; }
    Request request() const { return wanted; }
    // The request was (re)sent: after a tab change, an open or a comeback
    // every frame still on its way may be of older settings.
    void sent();
    // True once after the request changed; the caller then sends it and calls sent().
    bool takeChange();

    // Frames in a row that may move the range or time base before one is
    // read all the same (a signal that keeps them moving).
    static constexpr int kSettleFrames = 3;

    // A frame from the device (1024 samples, or 512 per channel). False when
    // it was skipped: taken before the latest request, or at a range or time
    // base it moves away from (at most kSettleFrames in a row).
    bool take(const int *frame);
    int channels() const { return wanted.twoChannels ? 2 : 1; }
    // The last frame's readings and the gain and time base they were taken at.
    const meter::Reading &reading(int channel) const { return latest[std::size_t(channel)]; }
    int readingGain(int channel) const { return inEffect.gain[std::size_t(channel)]; }
    int readingTimeBase() const { return inEffect.tbIndex; }
    std::uint64_t framesRead() const { return framesTaken; }

    // Since resetStatistics(): every reading that was a number (a clipped
    // frame adds none, a frame without a frequency none to it).
    const RunningStats &statistics(int channel, meter::Quantity q) const
    {
        return stats[std::size_t(channel)][std::size_t(q)];
    }
    void resetStatistics();

private:
    bool decide();

    int lineSpeed;
    int stale;
    int toSkip = 0;
    int unsettled = 0;
    std::array<int, kChannels> manual { kAuto, kAuto };
    Request wanted;
    Request inEffect;
    bool changed = true;
    std::uint64_t framesTaken = 0;
    std::array<meter::Reading, kChannels> latest {};
    std::array<std::array<RunningStats, meter::kQuantities>, kChannels> stats {};
};
