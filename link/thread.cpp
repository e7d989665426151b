#include "thread.h"

#include "framebuffer.h"
#include "gentable.h"
#include "serialport.h"
#include "shared.h"

#include <algorithm>
#include <chrono>
#include <thread>

LinkPolicy::Times Thread::timesFor(int speed)
{
    return LinkPolicy::Times::forSpeed(speed, SerialPort::kTimeoutMs);
}

Thread::Thread(SerialPort *p, FrameBuffer *b, GenTable *g, int speed)
    : Thread(p, b, g, timesFor(speed))
{
}

Thread::Thread(SerialPort *p, FrameBuffer *b, GenTable *g, const LinkPolicy::Times &times)
    : genBuf(g)
    , line(p->line())
    , policy(times)
    , exchanges(line, policy, b)
{
}

Thread::~Thread()
{
    stop();
    wait();
    // The worker's last store; makes its writes visible to whoever frees it.
    finished.load(std::memory_order_acquire);
}

void Thread::stop()
{
    stopping.store(true, std::memory_order_release);
    line.stop();
    wakeRest();
}

void Thread::requestChannel(bool two)
{
    twoChannels.store(two, std::memory_order_relaxed);
    // A generator entry not yet served is superseded: the device must end up
    // acquiring, not playing.
    genReq.store(false, std::memory_order_release);
    genMode.store(false, std::memory_order_release);
    channelReq.store(true, std::memory_order_release);
    wakeRest();
}

void Thread::requestGenerator()
{
    // Likewise a channel request not yet served: the device must end up playing.
    channelReq.store(false, std::memory_order_release);
    genMode.store(true, std::memory_order_release);
    genReq.store(true, std::memory_order_release);
    wakeRest();
}

void Thread::requestGain(int first, int second)
{
    gain1.store(first, std::memory_order_relaxed);
    gain2.store(second, std::memory_order_relaxed);
    gainReq.store(true, std::memory_order_release);
}

void Thread::requestTimeBase(int code)
{
    timeBase.store(code, std::memory_order_relaxed);
    timeBaseReq.store(true, std::memory_order_release);
}

void Thread::requestSend()
{
    sendReq.store(true, std::memory_order_release);
    wakeRest();
}

void Thread::requestFreq(int samplePeriod, int tableLength)
{
    {
        std::lock_guard<std::mutex> lock(clockMutex);
        clock = GenClock { samplePeriod, tableLength };
    }
    freqReq.store(true, std::memory_order_release);
    wakeRest();
}

// While the generator plays the worker rests, and looks at the line after
// each rest (an unplug is seen then, not at the next setting). A request the
// generator's pass serves (a mode change, a table, a clock) ends the rest at
// once; acquisition settings wait for acquisition, so they do not.
void Thread::restWhileGenerating(int ms)
{
    const auto due = [this] {
        for (const std::atomic<bool> *flag : { &channelReq, &genReq, &sendReq, &freqReq })
            if (flag->load(std::memory_order_acquire))
                return true;
        return stopping.load(std::memory_order_acquire);
    };
    {
        std::unique_lock<std::mutex> lock(restMutex);
        restSignal.wait_for(lock, std::chrono::milliseconds(ms), due);
    }
    exchanges.io().rest(0);
}

void Thread::wakeRest()
{
    // Under the lock: a worker between its look at the flags and its wait
    // cannot miss the signal.
    { std::lock_guard<std::mutex> lock(restMutex); }
    restSignal.notify_one();
}

bool Thread::requestsPending() const
{
    for (const std::atomic<bool> *flag :
        { &channelReq, &genReq, &timeBaseReq, &gainReq, &sendReq, &freqReq })
        if (flag->load(std::memory_order_acquire))
            return true;
    return false;
}

bool Thread::waitServed(int timeoutMs, const std::function<bool()> &cancelled)
{
    // Requests are rare and exchanges short: a millisecond's poll costs nothing
    // and keeps the worker free of any signalling for this.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    const auto waitFor = [&](auto done) {
        while (!done()) {
            if (finished.load(std::memory_order_acquire)
                || std::chrono::steady_clock::now() >= deadline || (cancelled && cancelled()))
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return true;
    };
    if (!waitFor([this] { return !requestsPending(); }))
        return false;
    // The pass that took the last request, not the one after it: a generator
    // at rest would add its whole pause.
    const unsigned pass = servedBy.load(std::memory_order_acquire);
    if (!waitFor([&] { return int(passes.load(std::memory_order_acquire) - pass) >= 0; }))
        return false;
    const unsigned failed = failures.load(std::memory_order_acquire);
    const bool allTaken = failed == failuresReported;
    failuresReported = failed;
    return allTaken;
}

void Thread::waitUntilRunning()
{
    std::unique_lock<std::mutex> lock(beginMutex);
    beginSignal.wait(lock, [this] { return begun; });
}

void Thread::announceRunning()
{
    {
        std::lock_guard<std::mutex> lock(beginMutex);
        begun = true;
    }
    beginSignal.notify_all();
}

bool Thread::take(std::atomic<bool> &flag, Exchange exchange)
{
    if (claim(flag)) {
        policy.supersede(exchange);
        return true;
    }
    return policy.takeResend(exchange);
}

// Takes a raised flag for this pass. The pass is noted first, so that a
// waitServed that sees the flag cleared also sees which pass it waits for.
bool Thread::claim(std::atomic<bool> &flag)
{
    if (!flag.load(std::memory_order_acquire))
        return false;
    servedBy.store(passes.load(std::memory_order_relaxed) + 1, std::memory_order_release);
    return flag.exchange(false, std::memory_order_acq_rel);
}

// Phase one of a pass: the first pending configuration request, or else a
// frame unless the generator runs. The flag is cleared before the exchange, so
// a request made meanwhile is served on a later pass.
//
// Time base and gain are acquisition settings: raised just before the user
// switched to the generator, they would reach a device in generator mode and
// be taken for its own commands. They wait until acquisition resumes; so do
// the worker's own resends of them, and of a channel change the user has
// since left for the generator.
Thread::Service Thread::takeConfiguration()
{
    const bool acquiring = !genMode.load(std::memory_order_acquire);
    if (claim(channelReq)) {
        policy.supersede(Exchange::Channel);
        return Service::Channel;
    }
    if (acquiring && policy.takeResend(Exchange::Channel))
        return Service::Channel;
    if (acquiring && take(timeBaseReq, Exchange::TimeBase))
        return Service::TimeBase;
    if (acquiring && take(gainReq, Exchange::Gain))
        return Service::Gain;
    return acquiring ? Service::Frame : Service::Nothing;
}

// Phase two: the generator. A table or clock setting raised just before the
// user switched to acquisition waits for the generator's return, instead of
// being sent into a stream of frames; a resend of the generator's mode change
// goes out only while the user still wants the generator.
Exchange Thread::takeGeneratorRequest()
{
    const bool generating = genMode.load(std::memory_order_acquire);
    if (claim(genReq)) {
        policy.supersede(Exchange::Generator);
        return Exchange::Generator;
    }
    if (generating && policy.takeResend(Exchange::Generator))
        return Exchange::Generator;
    if (generating && take(sendReq, Exchange::Table))
        return Exchange::Table;
    if (generating && take(freqReq, Exchange::Clock))
        return Exchange::Clock;
    return Exchange::Count;
}

bool Thread::perform(Exchange exchange)
{
    switch (exchange) {
    case Exchange::Channel:
        policy.leftGenerator();
        return twoChannels.load(std::memory_order_relaxed) ? exchanges.set2channels()
                                                           : exchanges.set1channel();
    case Exchange::TimeBase:
        return exchanges.setTimeBase(timeBase.load(std::memory_order_relaxed));
    case Exchange::Gain:
        return exchanges.setGain(
            gain1.load(std::memory_order_relaxed), gain2.load(std::memory_order_relaxed));
    case Exchange::Generator:
        policy.leftAcquisition();
        return exchanges.setGen();
    case Exchange::Table:
        return exchanges.sendChannel(genBuf->snapshot());
    case Exchange::Clock: {
        GenClock pair;
        {
            std::lock_guard<std::mutex> lock(clockMutex);
            pair = clock;
        }
        return exchanges.setGenFreq(pair.period, pair.tab);
    }
    case Exchange::Count:
        break;
    }
    return false;
}

// One exchange under its time limit. One the device answered wrongly or not
// at all (the worker goes on: the next request or frame may well work) is
// counted for waitServed; an unanswered one is sent again.
void Thread::serve(Exchange exchange)
{
    policy.begin();
    const bool wasSilent = policy.deviceSilent();
    const bool done = perform(exchange);
    if (!exchanges.io().alive())
        return;
    if (!done)
        failures.fetch_add(1, std::memory_order_acq_rel);
    const bool unanswered = !done && policy.unanswered();
    policy.finished(exchange, done, unanswered);
    if (unanswered)
        exchanges.sayNoAnswer();
    else if (wasSilent && done)
        exchanges.sayAnswered();
}

// A frame, hunted for as long as the device's state allows: until the line
// falls quiet while it is not known (just opened, or after an exchange it did
// not answer), within an exchange's limit while a setting waits to go out
// again, else for as long as the frame takes. A quiet line on a device not
// known means it sends nothing until asked, and the worker asks: "q" and the
// mode the user wants, as a resend goes.
void Thread::receiveFrame()
{
    using Hunt = Exchanges::Hunt;
    const Hunt hunt = !exchanges.deviceKnown() ? Hunt::UntilQuiet
        : policy.resendWaiting()               ? Hunt::Limited
                                               : Hunt::Unlimited;
    const bool wasSilent = policy.deviceSilent();
    const auto received = exchanges.getChannel(twoChannels, hunt);
    if (!exchanges.io().alive())
        return;
    bufReady.store(true, std::memory_order_release);
    if (received == Exchanges::Received::Frame) {
        policy.answered();
        if (wasSilent)
            exchanges.sayAnswered();
    } else if (received == Exchanges::Received::Quiet && hunt == Hunt::UntilQuiet
        && !policy.resendWaiting()) {
        policy.initiate(Exchange::Channel);
    }
}

void Thread::run()
{
    LinkIo &io = exchanges.io();
    bool firstPass = true;
    while (io.alive()) {
        const Service service = takeConfiguration();
        if (firstPass) {
            announceRunning();
            firstPass = false;
        }
        switch (service) {
        case Service::Channel:
            serve(Exchange::Channel);
            break;
        case Service::TimeBase:
            serve(Exchange::TimeBase);
            break;
        case Service::Gain:
            serve(Exchange::Gain);
            break;
        case Service::Frame:
            receiveFrame();
            break;
        case Service::Nothing:
            break;
        }
        if (!io.alive())
            break;

        const Exchange generatorRequest = takeGeneratorRequest();
        const bool generatorExchanged = generatorRequest != Exchange::Count;
        if (generatorExchanged) {
            serve(generatorRequest);
        } else if (genMode.load(std::memory_order_acquire)) {
            // The pause watches the line too: an unplug while the generator
            // plays is seen now, not at the next setting the user changes.
            restWhileGenerating(policy.times().generatorPollMs);
        }
        // Settings the device did not answer go out again once a pass has
        // served no exchange (a frame came, or the generator rested): frames
        // flow in between.
        const bool configured = service != Service::Frame && service != Service::Nothing;
        if (!configured && !generatorExchanged)
            policy.release();
        passes.fetch_add(1, std::memory_order_acq_rel);
    }
    if (firstPass)
        announceRunning();
    if (io.ended() == ByteLine::Result::Lost) {
        sts.set(QStringLiteral("line lost"));
        lost.store(true, std::memory_order_release);
    }
    finished.store(true, std::memory_order_release);
}
