#include "linkpolicy.h"

#include "frametiming.h"
#include "protocol.h"

#include <algorithm>
#include <atomic>
#include <utility>

namespace {

// Beyond the frame's own time: the echo itself and a busy machine.
constexpr int kExchangeMarginMs = 1000;

std::atomic<int> firstHuntQuietMs { 0 };

} // namespace

void LinkPolicy::setFirstHuntQuietMs(int ms)
{
    firstHuntQuietMs.store(ms);
}

LinkPolicy::Times LinkPolicy::Times::forSpeed(int speed, int lineTimeoutMs)
{
    Times times;
    if (const int quiet = firstHuntQuietMs.load(); quiet > 0)
        times.quietMs = quiet;
    times.exchangeMs = frametiming::frameMs(frametiming::kSlowestCode, speed) + kExchangeMarginMs;
    times.uploadMs = frametiming::transferMs(gentable::kBytes, speed);
    times.lineTimeoutMs = lineTimeoutMs;
    return times;
}

void LinkPolicy::begin(int limitMs)
{
    deadline = Clock::now() + std::chrono::milliseconds(limitMs);
    noEcho = false;
}

bool LinkPolicy::overdue()
{
    if (Clock::now() < deadline)
        return false;
    noEcho = true;
    return true;
}

int LinkPolicy::waitMs() const
{
    const auto left
        = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left >= t.lineTimeoutMs ? -1 : static_cast<int>(std::max<long long>(left, 0));
}

int LinkPolicy::waitAtMost(int ms) const
{
    const auto left
        = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return static_cast<int>(std::clamp<long long>(left, 0, ms));
}

void LinkPolicy::finished(Exchange exchange, bool done, bool unansweredNow)
{
    int &count = resends[index(exchange)];
    if (done) {
        count = 0;
        silent = false;
        return;
    }
    if (!unansweredNow)
        return; // a wrong echo: answered, just not as asked, and not repeated
    silent = true;
    if (count >= kResends)
        return;
    ++count;
    held[index(exchange)] = true;
}

void LinkPolicy::release()
{
    for (std::size_t i = 0; i < held.size(); ++i) {
        released[i] = released[i] || held[i];
        held[i] = false;
    }
}

bool LinkPolicy::resendWaiting() const
{
    return std::find(held.begin(), held.end(), true) != held.end()
        || std::find(released.begin(), released.end(), true) != released.end();
}

bool LinkPolicy::takeResend(Exchange exchange)
{
    return std::exchange(released[index(exchange)], false);
}

void LinkPolicy::supersede(Exchange exchange)
{
    drop(exchange);
    resends[index(exchange)] = 0;
}

void LinkPolicy::drop(Exchange e)
{
    held[index(e)] = false;
    released[index(e)] = false;
}

void LinkPolicy::leftGenerator()
{
    for (const Exchange e : { Exchange::Generator, Exchange::Table, Exchange::Clock })
        drop(e);
}

void LinkPolicy::leftAcquisition()
{
    for (const Exchange e : { Exchange::Channel, Exchange::TimeBase, Exchange::Gain })
        drop(e);
}

void LinkPolicy::initiate(Exchange modeExchange)
{
    int &count = resends[index(modeExchange)];
    if (count >= kResends)
        return;
    ++count;
    released[index(modeExchange)] = true;
}
