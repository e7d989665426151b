#include "winserialeventthread.h"

#include "winserialdevice.h"

#include <chrono>

WinSerialEventThread::WinSerialEventThread(WinSerialDevice* p)
    : port(p)
{
}

void WinSerialEventThread::stop()
{
    {
        std::lock_guard<std::mutex> lock(pauseMutex);
        stopRequested.store(true);
    }
    woken.notify_all();
}

bool WinSerialEventThread::stopping() const
{
    return stopRequested.load();
}

bool WinSerialEventThread::hasEnded() const
{
    return ended.load(std::memory_order_acquire);
}

void WinSerialEventThread::pause(unsigned long ms)
{
    std::unique_lock<std::mutex> lock(pauseMutex);
    woken.wait_for(lock, std::chrono::milliseconds(ms), [this] { return stopRequested.load(); });
}

void WinSerialEventThread::run()
{
    ended.store(false, std::memory_order_relaxed);
    while (!stopRequested.load())
        port->monitorCommEvent();
    // Ready for the next open.
    stopRequested.store(false);
    ended.store(true, std::memory_order_release);
}
