#pragma once

#include "kernelobject.h"

#include <chrono>
#include <condition_variable>
#include <mutex>

// A Win32 event: manual-reset (stays signalled until reset) or auto-reset
// (a successful wait takes the signal).
class EventObject : public KernelObject {
public:
    EventObject(bool manualReset, bool initialState);

    void set();
    void reset();
    // Waits up to ms milliseconds (negative: for ever); true when signalled.
    bool wait(long ms);
    bool waitFor(std::chrono::microseconds time);

private:
    std::mutex mutex;
    std::condition_variable changed;
    const bool manual;
    bool signalled;
};
