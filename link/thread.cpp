#include "thread.h"

#include "framebuffer.h"
#include "gentable.h"
#include "protocol.h"
#include "serialport.h"
#include "shared.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <iterator>
#include <thread>

namespace {

constexpr int kGeneratorPollMs = 100;
// Windows build: reads spent on a mode or upload echo before the command is
// written again, and the pauses while hunting and before an upload.
constexpr int kEchoReadsBeforeRetry = 100;
constexpr int kHuntPauseMs = 1;
constexpr int kUploadPauseMs = 1;

// Samples are little-endian signed 16-bit values.
Frame decodeFrame(const char *bytes)
{
    Frame decoded{};
    for (std::size_t j = 0; j < decoded.size(); ++j) {
        const auto low = static_cast<std::uint8_t>(bytes[2 * j]);
        const auto high = static_cast<std::uint8_t>(bytes[2 * j + 1]);
        decoded[j] = static_cast<std::int16_t>(static_cast<std::uint16_t>(low | (high << 8)));
    }
    return decoded;
}

// A frame may pause on its way: a busy USB hub, a radio link or a slow line
// holds bytes back for a few hundred milliseconds. Only this much silence
// inside a frame means it was cut short.
constexpr int kFrameGapMs = 500;

// Beyond the frame's time: the echo itself and a busy machine.
constexpr int kExchangeMarginMs = 1000;
// Waits of an exchange no longer than this need no limit of their own: the
// line's time-out ends them anyway.
constexpr int kLongWaitMs = 3000;

} // namespace

int Thread::exchangeLimitMs(int speed)
{
    const int frameBytes = frame::kDataBytes + 2;
    // A byte is ten bits on the line.
    return frame::kSlowestSamplingMs + frameBytes * 10 * 1000 / std::max(speed, 1)
        + kExchangeMarginMs;
}

Thread::Thread(SerialPort *p, FrameBuffer *b, GenTable *g, int speed)
    : buf(b), genBuf(g), line(p->line()), reader(line), limitMs(exchangeLimitMs(speed))
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
    line.stop();
}

void Thread::requestChannel(bool two)
{
    twoChannels.store(two, std::memory_order_relaxed);
    // A generator entry not yet served is superseded: the device must end up
    // acquiring, not playing.
    genReq.store(false, std::memory_order_release);
    genMode.store(false, std::memory_order_release);
    channelReq.store(true, std::memory_order_release);
}

void Thread::requestGenerator()
{
    // Likewise a channel request not yet served: the device must end up playing.
    channelReq.store(false, std::memory_order_release);
    genMode.store(true, std::memory_order_release);
    genReq.store(true, std::memory_order_release);
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
}

void Thread::requestFreq(int samplePeriod, int tableLength)
{
    {
        std::lock_guard<std::mutex> lock(clockMutex);
        clock = GenClock{samplePeriod, tableLength};
    }
    freqReq.store(true, std::memory_order_release);
}

bool Thread::requestsPending() const
{
    for (const std::atomic<bool> *flag :
         {&channelReq, &genReq, &timeBaseReq, &gainReq, &sendReq, &freqReq})
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
    const unsigned taken = passes.load(std::memory_order_acquire);
    if (!waitFor([&] { return passes.load(std::memory_order_acquire) != taken; }))
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

// Phase one of a pass: the first pending configuration request, or else a
// frame unless the generator runs. The flag is cleared before the exchange, so
// a request made meanwhile is served on a later pass.
//
// Time base and gain are acquisition settings: raised just before the user
// switched to the generator, they would reach a device in generator mode and
// be taken for its own commands. They wait until acquisition resumes.
Thread::Service Thread::takeConfiguration()
{
    if (channelReq.exchange(false, std::memory_order_acq_rel))
        return Service::Channel;
    const bool acquiring = !genMode.load(std::memory_order_acquire);
    if (acquiring && timeBaseReq.exchange(false, std::memory_order_acq_rel))
        return Service::TimeBase;
    if (acquiring && gainReq.exchange(false, std::memory_order_acq_rel))
        return Service::Gain;
    return acquiring ? Service::Frame : Service::Nothing;
}

void Thread::run()
{
    // One exchange under its time limit. One the device answered wrongly or
    // not at all (the worker goes on: the next request or frame may well
    // work) is counted for waitServed; an unanswered one is sent again.
    const auto serve = [this](Exchange exchange, bool (Thread::*step)()) {
        beginExchange();
        const bool done = (this->*step)();
        if (!done && alive())
            failures.fetch_add(1, std::memory_order_acq_rel);
        afterExchange(exchange, done);
    };
    bool firstPass = true;
    while (alive()) {
        const Service service = takeConfiguration();
        if (firstPass) {
            announceRunning();
            firstPass = false;
        }
        const bool exchanging = service != Service::Frame && service != Service::Nothing;
        switch (service) {
        case Service::Channel:
            serve(Exchange::Channel,
                twoChannels.load(std::memory_order_relaxed) ? &Thread::set2channels
                                                            : &Thread::set1channel);
            break;
        case Service::TimeBase:
            serve(Exchange::TimeBase, &Thread::setTimeBase);
            break;
        case Service::Gain:
            serve(Exchange::Gain, &Thread::setGain);
            break;
        case Service::Frame:
            getChannel();
            if (alive())
                bufReady.store(true, std::memory_order_release);
            break;
        case Service::Nothing:
            break;
        }
        if (!alive())
            break;

        // Phase two: the generator. A table or clock setting raised just
        // before the user switched to acquisition waits for the generator's
        // return, instead of being sent into a stream of frames.
        const bool generating = genMode.load(std::memory_order_acquire);
        bool generatorExchanged = true;
        if (genReq.exchange(false, std::memory_order_acq_rel)) {
            serve(Exchange::Generator, &Thread::setGen);
        } else if (generating && sendReq.exchange(false, std::memory_order_acq_rel)) {
            serve(Exchange::Table, &Thread::sendChannel);
        } else if (generating && freqReq.exchange(false, std::memory_order_acq_rel)) {
            serve(Exchange::Clock, &Thread::setGenFreq);
        } else {
            generatorExchanged = false;
            if (generating) {
                // The pause watches the line too: an unplug while the generator
                // plays is seen now, not at the next setting the user changes.
                const auto rested = line.rest(kGeneratorPollMs);
                if (rested != ByteLine::Result::Timeout)
                    ended = rested;
            }
        }
        if (!exchanging && !generatorExchanged)
            raiseResends();
        passes.fetch_add(1, std::memory_order_acq_rel);
    }
    if (firstPass)
        announceRunning();
    if (ended == ByteLine::Result::Lost) {
        sts.set(QStringLiteral("line lost"));
        lost.store(true, std::memory_order_release);
    }
    finished.store(true, std::memory_order_release);
}

// --- line primitives ------------------------------------------------------

Thread::Got Thread::get(char &c, int waitMs, int expected)
{
    if (!alive())
        return Got::End;
    const auto result = reader.next(c, waitMs, expected);
    if (result == ByteLine::Result::Data)
        return Got::Byte;
    if (result == ByteLine::Result::Timeout)
        return Got::Timeout;
    ended = result;
    return Got::End;
}

bool Thread::put(const char *data, int n)
{
    if (!alive())
        return false;
    const auto result = line.write(data, n);
    if (result != ByteLine::Result::Data)
        ended = result;
    return alive();
}

bool Thread::put(char c)
{
    return put(&c, 1);
}

// --- exchange time limits -------------------------------------------------

void Thread::beginExchange()
{
    deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
    unanswered = false;
}

bool Thread::overdue()
{
    if (std::chrono::steady_clock::now() < deadline)
        return false;
    unanswered = true;
    return true;
}

int Thread::exchangeWaitMs() const
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now())
                          .count();
    return left >= kLongWaitMs ? -1 : static_cast<int>(std::max<long long>(left, 0));
}

// The worker's status texts, unless it is saying that the device did not
// answer: that stays until an exchange is answered again.
void Thread::say(const QString &text)
{
    if (!sayingNoAnswer)
        sts.set(text);
}

void Thread::afterExchange(Exchange exchange, bool done)
{
    int &count = resends[static_cast<std::size_t>(exchange)];
    if (done || !unanswered || !alive()) {
        if (done) {
            count = 0;
            sayingNoAnswer = false;
        }
        return;
    }
    sts.set(QStringLiteral("device did not answer"));
    sayingNoAnswer = true;
    if (count >= kResends) {
        count = 0;
        return;
    }
    ++count;
    resendDue[static_cast<std::size_t>(exchange)] = true;
}

// Settings the device did not answer go out again once a pass has served no
// exchange (a frame came, or the generator rested): frames flow in between.
void Thread::raiseResends()
{
    for (std::size_t i = 0; i < resendDue.size(); ++i) {
        if (!resendDue[i])
            continue;
        resendDue[i] = false;
        raise(static_cast<Exchange>(i));
    }
}

void Thread::raise(Exchange exchange)
{
    // In the order of Exchange.
    std::atomic<bool> *const flags[] = { &channelReq, &timeBaseReq, &gainReq, &genReq, &sendReq,
        &freqReq };
    static_assert(std::size(flags) == static_cast<std::size_t>(Exchange::Count));
    flags[static_cast<std::size_t>(exchange)]->store(true, std::memory_order_release);
}

// Reads until the wanted byte arrives; a quiet line just means reading on,
// until the exchange's time is up.
bool Thread::readUntil(char wanted)
{
    for (;;) {
        if (overdue())
            return false;
        char c = 0;
        const Got got = get(c, exchangeWaitMs());
        if (got == Got::End)
            return false;
        if (got == Got::Byte && c == wanted)
            return true;
    }
}

// Writes the command and reads one byte, again and again, until the byte read
// is the command's echo or the exchange's time is up.
bool Thread::putUntilEcho(char command)
{
    for (;;) {
        if (overdue() || !put(command))
            return false;
        char c = 0;
        const Got got = get(c, exchangeWaitMs());
        if (got == Got::End)
            return false;
        if (got == Got::Byte && c == command)
            return true;
    }
}

// Windows build: writes the command once and reads up to 100 bytes for its
// echo, writing it again after every 100 reads without one.
bool Thread::putUntilEchoRetrying(char command)
{
    for (;;) {
        if (overdue() || !put(command))
            return false;
        for (int i = 0; i < kEchoReadsBeforeRetry && !overdue(); ++i) {
            char c = 0;
            const Got got = get(c, exchangeWaitMs());
            if (got == Got::End)
                return false;
            if (got == Got::Byte && c == command)
                return true;
        }
    }
}

// --- exchanges ------------------------------------------------------------

bool Thread::setMode(char mode)
{
    if constexpr (SerialPort::kWindowsRules) {
        if (!putUntilEchoRetrying(byteOf(Cmd::Quit)))
            return false;
        // The Windows build sends "c" once more before it reads for the echo.
        if (mode == byteOf(Cmd::TwoChannels) && !put(mode))
            return false;
        return putUntilEchoRetrying(mode);
    }
    return putUntilEcho(byteOf(Cmd::Quit)) && putUntilEcho(mode);
}

// An exchange whose echo never came ends as a wrong echo does: the device is
// told to quit the setting (and, acquiring, to send a frame), and the worker
// goes on.
bool Thread::giveUp(bool acquiring)
{
    if (alive() && unanswered) {
        const char tail[] = { byteOf(Cmd::Quit), byteOf(Cmd::Go) };
        put(tail, acquiring ? 2 : 1);
    }
    return false;
}

bool Thread::set1channel()
{
    say(QStringLiteral("set 1 ch"));
    return setMode(byteOf(Cmd::OneChannel));
}

bool Thread::set2channels()
{
    say(QStringLiteral("set 2 ch"));
    return setMode(byteOf(Cmd::TwoChannels));
}

bool Thread::setGen()
{
    say(QStringLiteral("set gen"));
    return setMode(byteOf(Cmd::Generator));
}

bool Thread::setTimeBase()
{
    say(QStringLiteral("set time"));
    if (!put(byteOf(Cmd::Set)) || !readUntil(byteOf(Cmd::Set)))
        return giveUp();
    const char sent = digit(timeBase.load(std::memory_order_relaxed));
    if (!put(sent))
        return false;
    char echo = 0;
    const Got got = get(echo);
    const char tail[] = {byteOf(Cmd::Quit), byteOf(Cmd::Go)};
    if (got == Got::End || !put(tail, 2))
        return false;
    return got == Got::Byte && echo == sent;
}

bool Thread::setGain()
{
    say(QStringLiteral("set gain"));
    if (!put(byteOf(Cmd::Gain)) || !readUntil(byteOf(Cmd::Gain)))
        return giveUp();
    const char sent[] = {digit(gain1.load(std::memory_order_relaxed)),
                         digit(gain2.load(std::memory_order_relaxed))};
    if (!put(sent, 2))
        return false;
    bool match = true;
    for (const char expected : sent) {
        char echo = 0;
        const Got got = get(echo);
        if (got == Got::End)
            return false;
        match = match && got == Got::Byte && echo == expected;
    }
    const char tail[] = {byteOf(Cmd::Quit), byteOf(Cmd::Go)};
    return put(tail, 2) && match;
}

bool Thread::setGenFreq()
{
    say(QStringLiteral("set freq"));
    GenClock pair;
    {
        std::lock_guard<std::mutex> lock(clockMutex);
        pair = clock;
    }
    const int p = pair.period;
    const int t = pair.tab;
    // Most significant first; the leading digit of each value is not masked.
    const std::array<char, 7> digits{digit(p >> 12), digit((p >> 8) & 0xF), digit((p >> 4) & 0xF),
                                     digit(p & 0xF),  digit(t >> 8),         digit((t >> 4) & 0xF),
                                     digit(t & 0xF)};
    if (!put(byteOf(Cmd::Set)) || !readUntil(byteOf(Cmd::Set)))
        return giveUp(false);
    bool match = true;
    for (const char d : digits) {
        if (!put(d))
            return false;
        char echo = 0;
        const Got got = get(echo);
        if (got == Got::End)
            return false;
        match = match && got == Got::Byte && echo == d;
    }
    return put(byteOf(Cmd::Quit)) && match;
}

bool Thread::sendChannel()
{
    say(QStringLiteral("send ch"));
    const Table table = genBuf->snapshot();
    std::array<char, gentable::kBytes> bytes{};
    for (std::size_t i = 0; i < table.size(); ++i) {
        const auto value = static_cast<std::uint16_t>(table[i] + 2048);
        bytes[2 * i] = static_cast<char>(value & 0xFF);
        bytes[2 * i + 1] = static_cast<char>(value >> 8);
    }
    if constexpr (SerialPort::kWindowsRules) {
        if (!putUntilEchoRetrying(byteOf(Cmd::Go)))
            return false;
        if (!line.pause(kUploadPauseMs)) {
            ended = ByteLine::Result::Stopped;
            return false;
        }
        if (!put(byteOf(Cmd::Start)) || !put(bytes.data(), static_cast<int>(bytes.size())))
            return false;
        say(QStringLiteral("sent ch"));
        return true;
    }
    if (!putUntilEcho(byteOf(Cmd::Go)))
        return false;
    return put(byteOf(Cmd::Start)) && put(bytes.data(), static_cast<int>(bytes.size()));
}

bool Thread::getChannel()
{
    if constexpr (!SerialPort::kWindowsRules)
        say(QStringLiteral("read ch"));
    // With a setting to send again, the hunt lasts an exchange's limit: a
    // device left in the middle of an unanswered mode change sends no frame
    // until it is asked again.
    const bool resending = std::find(resendDue.begin(), resendDue.end(), true) != resendDue.end();
    if (resending)
        beginExchange();
    for (;;) {
        // What comes now is a frame, unless the device prompts first.
        char c = 0;
        const Got got = get(c, resending ? exchangeWaitMs() : -1, frame::kReadLimit);
        if (got == Got::End)
            return false;
        if (resending && overdue())
            return false;
        if (got != Got::Byte)
            continue;
        if (c == byteOf(Cmd::Watch)) {
            if (!put(byteOf(Cmd::Watch)))
                return false;
        } else if (c == byteOf(Cmd::Which)) {
            const bool two = twoChannels.load(std::memory_order_relaxed);
            if (!put(byteOf(two ? Cmd::TwoChannels : Cmd::OneChannel)))
                return false;
        } else if (c == byteOf(Cmd::Start)) {
            break;
        }
        if constexpr (SerialPort::kWindowsRules) {
            if (!line.pause(kHuntPauseMs)) {
                ended = ByteLine::Result::Stopped;
                return false;
            }
        }
    }
    if constexpr (SerialPort::kWindowsRules)
        return readWholeFrame();

    // The frame is a fixed 2048 data bytes and its "E". A data byte that
    // happens to equal "E" is a sample, not the end: stopping there would
    // throw away most frames of a live signal. A frame cut short shows as the
    // line falling quiet in the middle of it.
    std::array<char, frame::kDataBytes + 1> bytes{};
    int count = 0;
    while (count < frame::kDataBytes + 1) {
        char c = 0;
        const Got got = get(c, kFrameGapMs);
        if (got == Got::End)
            return false;
        if (got == Got::Timeout)
            break;
        bytes[static_cast<std::size_t>(count++)] = c;
    }
    if (!put(byteOf(Cmd::Go)))
        return false;
    if (count != frame::kDataBytes + 1 || bytes[frame::kDataBytes] != byteOf(Cmd::End))
        return false;

    buf->store(decodeFrame(bytes.data()));
    return true;
}

// Windows build: one read of the frame, ended by the line's time-out; the
// first 2048 bytes are the frame, whether or not an "E" came. The read asks
// for the 2048 data bytes and the "E", all the device sends before our "g":
// asking for one byte more would hold every frame for the whole time-out.
bool Thread::readWholeFrame()
{
    int count = 0;
    const auto result = reader.block(frameBytes.data(), frame::kDataBytes + 1, count);
    if (result != ByteLine::Result::Data) {
        ended = result;
        return false;
    }
    if (!put(byteOf(Cmd::Go)))
        return false;
    buf->store(decodeFrame(frameBytes.data()));
    return true;
}
