#pragma once

#include "protocol.h"

#include <array>
#include <mutex>

using Frame = std::array<int, frame::kSamples>;

// The last good acquisition frame. The worker stores whole frames; the GUI
// thread takes a consistent copy to paint from, never a half-written frame.
class FrameBuffer {
public:
    void store(const Frame &frame);
    Frame snapshot() const;

private:
    mutable std::mutex mutex;
    Frame data{};
};
