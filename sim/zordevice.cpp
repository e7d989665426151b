#include "zordevice.h"

#include <algorithm>
#include <utility>

namespace {

// The line's bytes, as the device sees them.
constexpr char kQuit = 'q';
constexpr char kOneChannel = 'a';
constexpr char kTwoChannels = 'c';
constexpr char kGenerator = 'e';
constexpr char kGain = 'u';
constexpr char kSet = 's';
constexpr char kGo = 'g';
constexpr char kStart = 'S';
constexpr char kEnd = 'E';
constexpr char kWatch = 'w';
constexpr char kWhich = '>';
constexpr char kWrongEcho = '#'; // no command, no digit, no prompt: only ever a wrong echo

constexpr int kMaxTimeBase = 14;
constexpr int kMaxGain = 6;
constexpr int kMaxGarbage = 32;

bool isDigit(char c)
{
    return c >= '0' && c <= '0' + 15;
}

int valueOf(char c)
{
    return c - '0';
}

std::size_t digitsOf(int kind)
{
    constexpr std::array<std::size_t, 3> counts { 1, 2, 7 };
    return counts[static_cast<std::size_t>(kind)];
}

} // namespace

ZorDevice::ZorDevice(const Settings& s, Clock::time_point now)
    : settings(s)
    , source(s.seed, s.noiseMillivolts)
    , faultRandom(s.seed + 1)
    , current(now)
    , table(SignalSource::powerUpTable())
    , lastHeard(now)
    , lastSpoken(now)
    , lastWatch(now)
{
    source.setTiming(period, length);
    source.setCircuit(s.circuit);
}

void ZorDevice::receive(char byte, Clock::time_point now)
{
    current = now;
    lastHeard = now;
    if (fault == Fault::Silent)
        return;
    connectPrompt = false; // the program spoke first: it needs no invitation
    if (watchPending) {
        watchPending = false;
        if (byte == kWatch)
            return;
        ++watchdogFailures;
    }
    switch (parse) {
    case Parse::TableData:
        tableByte(byte);
        return;
    case Parse::TableStart:
        if (byte == kStart) {
            tableBytes.clear();
            parse = Parse::TableData;
            return;
        }
        if (byte == kGo) {
            echo(kGo); // the host repeats "g" until it hears one back
            return;
        }
        parse = Parse::Command;
        command(byte);
        return;
    case Parse::Sub:
        subCommand(byte);
        return;
    case Parse::Command:
        command(byte);
        return;
    }
}

void ZorDevice::command(char byte)
{
    switch (byte) {
    case kQuit:
        echo(kQuit);
        mode = Mode::Idle;
        armed = false;
        break;
    case kOneChannel:
        echo(byte);
        enterMode(Mode::OneChannel);
        break;
    case kTwoChannels:
        echo(byte);
        enterMode(Mode::TwoChannels);
        break;
    case kGenerator:
        echo(byte);
        enterMode(Mode::Generator);
        break;
    case kSet:
        echo(byte);
        startSubCommand(mode == Mode::Generator ? Sub::Generator : Sub::TimeBase);
        break;
    case kGain:
        echo(byte);
        startSubCommand(Sub::Gain);
        break;
    case kGo:
        if (acquiring()) {
            arm();
        } else if (mode == Mode::Generator) {
            echo(kGo);
            parse = Parse::TableStart;
        }
        break;
    default:
        break; // answers to prompts that came too late, line noise: nothing to do
    }
}

// A sub-command cancels a frame armed by the "g" before it; the "qg" that ends it arms anew.
void ZorDevice::startSubCommand(Sub kind)
{
    armed = false;
    sub = kind;
    digits.clear();
    parse = Parse::Sub;
}

void ZorDevice::subCommand(char byte)
{
    if (byte == kQuit) {
        echo(kQuit);
        finishSubCommand();
        parse = Parse::Command;
    } else if (isDigit(byte)) {
        echo(byte);
        if (digits.size() < digitsOf(static_cast<int>(sub)))
            digits += byte;
    }
}

// A sub-command takes effect at its "q" and only when all its digits came; a value the device
// cannot show is refused and the setting keeps its old value.
void ZorDevice::finishSubCommand()
{
    if (digits.size() != digitsOf(static_cast<int>(sub)))
        return;
    switch (sub) {
    case Sub::TimeBase:
        if (valueOf(digits[0]) <= kMaxTimeBase)
            timeBase = valueOf(digits[0]);
        break;
    case Sub::Gain:
        if (valueOf(digits[0]) <= kMaxGain)
            gain1 = valueOf(digits[0]);
        if (valueOf(digits[1]) <= kMaxGain)
            gain2 = valueOf(digits[1]);
        break;
    case Sub::Generator: {
        int p = 0;
        for (int i = 0; i < 4; ++i)
            p = (p << 4) | valueOf(digits[static_cast<std::size_t>(i)]);
        int l = 0;
        for (int i = 4; i < 7; ++i)
            l = (l << 4) | valueOf(digits[static_cast<std::size_t>(i)]);
        if (p >= 1 && l >= 1 && l <= SignalSource::kTableEntries) {
            period = p;
            length = l;
            source.setTiming(period, length);
        }
        break;
    }
    }
}

void ZorDevice::tableByte(char byte)
{
    tableBytes += byte;
    if (tableBytes.size() < static_cast<std::size_t>(kTableBytes))
        return;
    for (std::size_t i = 0; i < table.size(); ++i) {
        const auto low = static_cast<unsigned char>(tableBytes[2 * i]);
        const auto high = static_cast<unsigned char>(tableBytes[2 * i + 1]);
        // The converter has 12 bits; anything wider is pinned to its ends.
        table[i] = std::clamp((low | (high << 8)) - 2048, -2048, 2047);
    }
    source.setTable(table);
    ++tablesReceived;
    tableBytes.clear();
    parse = Parse::Command;
}

void ZorDevice::enterMode(Mode m)
{
    mode = m;
    parse = Parse::Command;
    if (acquiring())
        arm();
    else
        armed = false;
}

// One frame at most is ever waiting: arming again only restarts the settle time, so a command
// right behind the "g" is served before the frame.
void ZorDevice::arm()
{
    armed = true;
    armedAt = current;
}

void ZorDevice::echo(char byte)
{
    send(faultDue(Fault::WrongEcho) ? kWrongEcho : byte);
}

void ZorDevice::send(char byte)
{
    if (held.empty())
        output += byte;
    else
        held += byte;
    lastSpoken = current;
}

bool ZorDevice::faultDue(Fault f)
{
    if (fault != f)
        return false;
    ++faultCount;
    return faultCount % faultEvery == 0;
}

void ZorDevice::poll(Clock::time_point now)
{
    current = now;
    if (fault == Fault::Silent || !connected)
        return;
    if (!held.empty() && now >= heldUntil) {
        output += held;
        held.clear();
    }
    if (watchPending && now - lastWatch >= kWatchAnswer) {
        watchPending = false;
        ++watchdogFailures;
    }
    if (connectPrompt && !frameWaiting() && now >= connectedAt + kConnectPrompt) {
        connectPrompt = false;
        sendPrompt();
    } else if (settings.prompts && now >= promptDue()) {
        sendPrompt();
    }
    if (frameWaiting() && now >= frameDue())
        sendFrame();
}

ZorDevice::Clock::time_point ZorDevice::nextWakeUp(Clock::time_point now) const
{
    if (fault == Fault::Silent || !connected)
        return Clock::time_point::max();
    Clock::time_point next = Clock::time_point::max();
    if (!held.empty())
        next = heldUntil;
    if (watchPending)
        next = std::min(next, lastWatch + kWatchAnswer);
    if (connectPrompt && !frameWaiting())
        next = std::min(next, connectedAt + kConnectPrompt);
    if (settings.prompts)
        next = std::min(next, promptDue());
    if (frameWaiting())
        next = std::min(next, frameDue());
    return std::max(next, now);
}

std::string ZorDevice::takeOutput()
{
    std::string out;
    out.swap(output);
    return out;
}

int ZorDevice::tableBytesTaken() const
{
    return parse == Parse::TableData ? static_cast<int>(tableBytes.size()) : -1;
}

bool ZorDevice::takeHangUp()
{
    return std::exchange(hangUp, false);
}

void ZorDevice::setLineSpeed(int bitsPerSecond)
{
    if (bitsPerSecond > 0)
        lineSpeed = bitsPerSecond;
}

void ZorDevice::setFault(Fault f, int every)
{
    if (f == Fault::Silent) {
        output.clear();
        held.clear();
        watchPending = false;
    } else if (fault == Fault::Silent) {
        // Back from the dead: whatever the host said meanwhile was lost.
        parse = Parse::Command;
    }
    fault = f;
    faultEvery = std::max(1, every);
    faultCount = 0;
}

void ZorDevice::hostConnected(Clock::time_point now)
{
    current = now;
    connected = true;
    if (!settings.seesConnect)
        return;
    connectedAt = now;
    lastHeard = now;
    connectPrompt = settings.prompts;
    parse = Parse::Command;
    armed = false;
}

void ZorDevice::hostGone(Clock::time_point now)
{
    current = now;
    connected = false;
    // Whatever it sends now goes nowhere.
    output.clear();
    held.clear();
    if (!settings.seesConnect)
        return;
    connectPrompt = false;
    watchPending = false;
    armed = false;
    parse = Parse::Command;
}

DeviceState ZorDevice::state() const
{
    DeviceState s;
    s.mode = mode;
    s.timeBase = timeBase;
    s.gain1 = gain1;
    s.gain2 = gain2;
    s.period = period;
    s.length = length;
    s.table = table;
    s.framesSent = framesSent;
    s.tablesReceived = tablesReceived;
    s.watchdogFailures = watchdogFailures;
    return s;
}

std::vector<SignalSource::Frame> ZorDevice::recentFrames() const
{
    return { recent.begin(), recent.end() };
}

ZorDevice::Duration ZorDevice::frameTime() const
{
    if (!settings.paced)
        return Duration::zero();
    const double sampling = SignalSource::kFrameSamples / SignalSource::sampleRate(timeBase);
    const double line = (kFrameDataBytes + 2.0) * kBitsPerByte / lineSpeed;
    return std::chrono::duration_cast<Duration>(std::chrono::duration<double>(sampling + line));
}

ZorDevice::Clock::time_point ZorDevice::frameDue() const
{
    return armedAt + kSettle + frameTime();
}

// A host that hunts for a frame says nothing; after a quiet second the device asks which mode
// it wants. A frame on its way, or the generator (whose host is quiet by nature), needs no
// prompt.
ZorDevice::Clock::time_point ZorDevice::promptDue() const
{
    if (mode == Mode::Generator || frameWaiting())
        return Clock::time_point::max();
    return std::max(lastHeard, lastSpoken) + kQuietBeforePrompt;
}

// A prompt abandons any exchange left half-done by a host that has gone away.
void ZorDevice::sendPrompt()
{
    parse = Parse::Command;
    digits.clear();
    send(kWhich);
}

void ZorDevice::sendFrame()
{
    if (settings.prompts && !watchPending && current - lastWatch >= kWatchInterval) {
        send(kWatch);
        watchPending = true;
        lastWatch = current;
    }

    const bool garbage = faultDue(Fault::Garbage);
    const bool noEnd = faultDue(Fault::NoEnd);
    const bool earlyEnd = faultDue(Fault::EarlyEnd);
    const bool cut = faultDue(Fault::HangUp);

    if (garbage) {
        const int n = 1 + static_cast<int>(faultRandom() % kMaxGarbage);
        for (int i = 0; i < n; ++i)
            send(garbageByte());
    }

    const auto samples = source.acquire(mode == Mode::TwoChannels, timeBase, gain1, gain2);
    std::string data(static_cast<std::size_t>(kFrameDataBytes), '\0');
    for (std::size_t j = 0; j < samples.size(); ++j) {
        const auto word = static_cast<std::uint16_t>(samples[j]);
        data[2 * j] = static_cast<char>(word & 0xFF);
        data[2 * j + 1] = static_cast<char>(word >> 8);
    }
    const std::size_t half = data.size() / 2;
    if (earlyEnd) {
        data.resize(half);
        data.back() = kEnd;
    } else if (cut) {
        data.resize(half);
    }

    const bool paused = settings.framePause.count() > 0
        && (framesSent + 1) % std::max(1, settings.pauseEvery) == 0;
    send(kStart);
    for (std::size_t i = 0; i < data.size(); ++i) {
        if (paused && i == half && held.empty()) {
            // Everything from here on waits: the rest of this frame and what follows it.
            heldUntil = current + settings.framePause;
            held += data[i];
            continue;
        }
        send(data[i]);
    }
    if (!noEnd && !earlyEnd && !cut)
        send(kEnd);
    hangUp = cut;
    ++framesSent;
    if (!garbage && !noEnd && !earlyEnd && !cut) {
        recent.push_back(samples);
        if (recent.size() > kRecentFrames)
            recent.pop_front();
    }
    armed = false;
}

// Noise the host must hunt past: never a frame start or a prompt.
char ZorDevice::garbageByte()
{
    for (;;) {
        const auto c = static_cast<char>(faultRandom() & 0xFF);
        if (c != kStart && c != kWatch && c != kWhich)
            return c;
    }
}
