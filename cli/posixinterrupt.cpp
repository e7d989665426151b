#include "interrupt.h"

#include <atomic>
#include <csignal>

namespace interrupt {

namespace {

    std::atomic<bool> raised { false };
    static_assert(std::atomic<bool>::is_always_lock_free, "the flag is set in a signal handler");

    void onSignal(int)
    {
        raised.store(true, std::memory_order_relaxed);
    }

} // namespace

void install()
{
    struct sigaction action { };
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

bool requested()
{
    return raised.load(std::memory_order_relaxed);
}

} // namespace interrupt
