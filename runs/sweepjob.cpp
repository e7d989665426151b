#include "sweepjob.h"

#include "linetiming.h"
#include "zorcom.h"

SweepJob::~SweepJob()
{
    abort();
}

void SweepJob::join()
{
    if (thread.joinable())
        thread.join();
}

void SweepJob::start(ZORCom &link, FrameBuffer &frames, GenTable &table, int lineSpeed,
    const sweep::Plan &plan, const Generator &restore)
{
    abort();
    {
        std::lock_guard<std::mutex> lock(mutex);
        shared = Progress {};
        shared.count = int(sweep::steps(plan).size());
    }
    stopping.store(false, std::memory_order_release);
    aborting.store(false, std::memory_order_release);
    working.store(true, std::memory_order_release);
    changeCount.fetch_add(1, std::memory_order_acq_rel);
    thread = std::thread(&SweepJob::work, this, &link, &frames, &table, lineSpeed, plan, restore);
}

void SweepJob::stop()
{
    stopping.store(true, std::memory_order_release);
}

void SweepJob::abort()
{
    aborting.store(true, std::memory_order_release);
    stopping.store(true, std::memory_order_release);
    join();
}

SweepJob::Progress SweepJob::progress() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return shared;
}

void SweepJob::work(ZORCom *link, FrameBuffer *frames, GenTable *table, int lineSpeed,
    sweep::Plan plan, Generator restore)
{
    SweepRun run(*link, *frames, *table, lineSpeed);
    const auto stopped = [this] { return stopping.load(std::memory_order_acquire); };
    const SweepRun::End end = run.run(
        plan,
        [this](const sweep::Point &point, int, int) {
            std::lock_guard<std::mutex> lock(mutex);
            shared.points.push_back(point);
            changeCount.fetch_add(1, std::memory_order_acq_rel);
        },
        stopped);
    {
        std::lock_guard<std::mutex> lock(mutex);
        shared.end = end;
        changeCount.fetch_add(1, std::memory_order_acq_rel);
    }
    // The generator tab's table is back in memory whatever happens; on the
    // device too while the line is there and nobody is closing it.
    table->edit([&](int *entries) { std::copy(restore.table.begin(), restore.table.end(), entries); });
    if (end != SweepRun::End::Lost && !aborting.load(std::memory_order_acquire)
        && restore.clock.tab > 0) {
        link->genStart();
        link->setFreq(restore.clock.period, restore.clock.tab);
        link->sendGenChannel();
        link->waitServed(linetiming::serveTimeoutMs(lineSpeed),
            [this] { return aborting.load(std::memory_order_acquire); });
    }
    working.store(false, std::memory_order_release);
    changeCount.fetch_add(1, std::memory_order_acq_rel);
}
