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
    std::unique_lock<std::mutex> lock(mutex);
    const auto isSet = [this] { return signalled; };
    if (ms < 0)
        changed.wait(lock, isSet);
    else if (!changed.wait_for(lock, std::chrono::milliseconds(ms), isSet))
        return false;
    if (!manual)
        signalled = false;
    return true;
}
