#include "framebuffer.h"

void FrameBuffer::store(const Frame &frame)
{
    std::lock_guard<std::mutex> lock(mutex);
    data = frame;
}

Frame FrameBuffer::snapshot() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return data;
}
