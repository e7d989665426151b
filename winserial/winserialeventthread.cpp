#include "winserialeventthread.h"

#include "winserialdevice.h"

WinSerialEventThread::WinSerialEventThread(WinSerialDevice* p)
    : port(p)
{
}

void WinSerialEventThread::stop()
{
    stopRequested.store(true, std::memory_order_release);
}

void WinSerialEventThread::run()
{
    while (!stopRequested.load(std::memory_order_acquire))
        port->monitorCommEvent();
    // Ready for the next open.
    stopRequested.store(false, std::memory_order_release);
}
