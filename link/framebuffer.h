#pragma once

#include "protocol.h"

#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>

using Frame = std::array<int, frame::kSamples>;

// The last good acquisition frame. The worker stores whole frames; the GUI
// thread takes a consistent copy to paint from, never a half-written frame.
// Every store counts, so a reader that must not take one frame twice (or
// miss one unnoticed) can tell frames apart.
class FrameBuffer {
public:
    void store(const Frame &frame);
    Frame snapshot() const;
    // The copy and the number of frames stored up to and including it,
    // taken together.
    Frame snapshot(std::uint64_t &storedSoFar) const;
    std::uint64_t stored() const;
    // Waits until more than `seen` frames have been stored, at most `timeout`.
    bool waitBeyond(std::uint64_t seen, std::chrono::milliseconds timeout) const;

private:
    mutable std::mutex mutex;
    mutable std::condition_variable storedSignal;
    Frame data{};
    std::uint64_t count = 0;
};
