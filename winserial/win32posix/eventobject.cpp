#include "eventobject.h"

#include <chrono>

EventObject::EventObject(bool manualReset, bool initialState)
    : manual(manualReset)
    , signalled(initialState)
{
}

void EventObject::set()
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        signalled = true;
    }
    changed.notify_all();
}

void EventObject::reset()
{
    std::lock_guard<std::mutex> lock(mutex);
    signalled = false;
}

bool EventObject::wait(long ms)
{
    if (ms >= 0)
        return waitFor(std::chrono::milliseconds(ms));
    std::unique_lock<std::mutex> lock(mutex);
    changed.wait(lock, [this] { return signalled; });
    if (!manual)
        signalled = false;
    return true;
}

bool EventObject::waitFor(std::chrono::microseconds time)
{
    std::unique_lock<std::mutex> lock(mutex);
    if (!changed.wait_for(lock, time, [this] { return signalled; }))
        return false;
    if (!manual)
        signalled = false;
    return true;
}
