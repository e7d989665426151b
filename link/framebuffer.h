#pragma once

#include "protocol.h"

#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <vector>

using Frame = std::array<int, frame::kSamples>;

// The last good acquisition frames. The worker stores whole frames; the GUI
// thread takes a consistent copy of the newest to paint from, never a
// half-written frame. Every store counts, and the last kHeld frames are kept,
// so a reader that must take every frame once, in order (labbench-cli), can:
// it falls behind by up to kHeld frames before any is lost, and then knows
// how many were.
class FrameBuffer {
public:
    static constexpr std::uint64_t kHeld = 64;

    FrameBuffer();
    void store(const Frame &frame);
    Frame snapshot() const;
    // The copy and the number of frames stored up to and including it,
    // taken together.
    Frame snapshot(std::uint64_t &storedSoFar) const;
    std::uint64_t stored() const;
    // Waits until more than `seen` frames have been stored, at most `timeout`.
    bool waitBeyond(std::uint64_t seen, std::chrono::milliseconds timeout) const;
    // The frame stored after the first `seen`: number seen + 1, or the oldest
    // still held when that one is gone. Returns the copied frame's number
    // (frames seen + 1 up to it were lost), 0 when none is stored beyond `seen`.
    std::uint64_t takeAfter(std::uint64_t seen, Frame &frame) const;

private:
    mutable std::mutex mutex;
    mutable std::condition_variable storedSignal;
    std::vector<Frame> held; // frame number n at (n - 1) % kHeld
    std::uint64_t count = 0;
};
