#pragma once

#include "gentable.h"
#include "sweeprun.h"
#include "synthesis.h"

#include <atomic>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

class FrameBuffer;
class ZORCom;

// A sweep on a thread of its own, for the window: the GUI thread starts it,
// looks at its points on its timer and asks it to stop, and never waits on
// the device. When the sweep ends it puts the generator back as it was: the
// table in memory always, and on the device too unless the link is closing.
class SweepJob {
public:
    // What the generator played before the sweep.
    struct Generator {
        Table table {};
        synthesis::SampleClock clock;
    };

    SweepJob() = default;
    ~SweepJob();
    SweepJob(const SweepJob &) = delete;
    SweepJob &operator=(const SweepJob &) = delete;

    // A sweep not yet ended is aborted first.
    void start(ZORCom &link, FrameBuffer &frames, GenTable &table, int lineSpeed,
        const sweep::Plan &plan, const Generator &restore);
    // Asks the sweep to end; it then puts the generator back on the device.
    // Returns at once: busy() says when it is over.
    void stop();
    // Ends it now, without another word to the device: the link is about to
    // close. Returns once the thread has ended (promptly: it only has to notice).
    void abort();
    // The thread is still at work: sweeping, or putting the generator back.
    bool busy() const { return working.load(std::memory_order_acquire); }

    struct Progress {
        std::vector<sweep::Point> points; // in rising frequency
        int count = 0; // steps planned
        std::optional<SweepRun::End> end; // set once the sweep itself has ended
    };
    Progress progress() const;
    // Counts every change of progress(), so that a timer repaints only on news.
    unsigned changes() const { return changeCount.load(std::memory_order_acquire); }

private:
    void work(ZORCom *link, FrameBuffer *frames, GenTable *table, int lineSpeed,
        sweep::Plan plan, Generator restore);
    void join();

    std::thread thread;
    std::atomic<bool> stopping { false };
    std::atomic<bool> aborting { false };
    std::atomic<bool> working { false };
    std::atomic<unsigned> changeCount { 0 };
    mutable std::mutex mutex;
    Progress shared; // under mutex
};
