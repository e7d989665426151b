#include "framebuffer.h"

void FrameBuffer::store(const Frame &frame)
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        data = frame;
        ++count;
    }
    storedSignal.notify_all();
}

Frame FrameBuffer::snapshot() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return data;
}

Frame FrameBuffer::snapshot(std::uint64_t &storedSoFar) const
{
    std::lock_guard<std::mutex> lock(mutex);
    storedSoFar = count;
    return data;
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
