#include "framebuffer.h"

#include <algorithm>

FrameBuffer::FrameBuffer()
    : held(kHeld, Frame {})
{
}

void FrameBuffer::store(const Frame &frame)
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        held[count % kHeld] = frame;
        ++count;
    }
    storedSignal.notify_all();
}

Frame FrameBuffer::snapshot() const
{
    std::uint64_t ignored = 0;
    return snapshot(ignored);
}

Frame FrameBuffer::snapshot(std::uint64_t &storedSoFar) const
{
    std::lock_guard<std::mutex> lock(mutex);
    storedSoFar = count;
    return count == 0 ? Frame {} : held[(count - 1) % kHeld];
}

std::uint64_t FrameBuffer::stored() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return count;
}

bool FrameBuffer::waitBeyond(std::uint64_t seen, std::chrono::milliseconds timeout) const
{
    std::unique_lock<std::mutex> lock(mutex);
    return storedSignal.wait_for(lock, timeout, [&] { return count > seen; });
}

std::uint64_t FrameBuffer::takeAfter(std::uint64_t seen, Frame &frame) const
{
    std::lock_guard<std::mutex> lock(mutex);
    if (count <= seen)
        return 0;
    const std::uint64_t oldest = count > kHeld ? count - kHeld + 1 : 1;
    const std::uint64_t number = std::max(seen + 1, oldest);
    frame = held[(number - 1) % kHeld];
    return number;
}
