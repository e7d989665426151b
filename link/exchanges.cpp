#include "exchanges.h"

#include "protocol.h"
#include "shared.h"

#include <array>
#include <cstdint>
#include <string>

namespace {

// Samples are little-endian signed 16-bit values.
Frame decode(const char *bytes)
{
    Frame decoded {};
    for (std::size_t j = 0; j < decoded.size(); ++j) {
        const auto low = static_cast<std::uint8_t>(bytes[2 * j]);
        const auto high = static_cast<std::uint8_t>(bytes[2 * j + 1]);
        decoded[j] = static_cast<std::int16_t>(static_cast<std::uint16_t>(low | (high << 8)));
    }
    return decoded;
}

} // namespace

Exchanges::Exchanges(ByteLine &line, LinkPolicy &p, FrameBuffer *f)
    : lineIo(line)
    , policy(p)
    , frames(f)
{
}

// The worker's status texts, unless it is saying that the device did not
// answer: that stays until the device answers again.
void Exchanges::say(const QString &text)
{
    if (text.isEmpty())
        return;
    lastSaid = text;
    if (!policy.deviceSilent())
        sts.set(text);
}

void Exchanges::sayNoAnswer()
{
    sts.set(QStringLiteral("device did not answer"));
}

void Exchanges::sayAnswered()
{
    if (!lastSaid.isEmpty())
        sts.set(lastSaid);
}

// A device not heard from since the port opened may be taking a table upload
// from a program that went away: it takes bytes as table data until it has
// 1024, and echoes nothing meanwhile. A first "q" met by a quiet line is
// followed by enough of them to finish any such upload, and their echoes are
// let go by before the mode change proper. A device that echoes at once is
// left alone.
Exchanges::Reach Exchanges::reachDevice()
{
    const char quit = byteOf(Cmd::Quit);
    if (!lineIo.put(quit))
        return Reach::Failed;
    char c = 0;
    const LinkIo::Got got = lineIo.get(c, policy.times().quitEchoMs);
    if (got == LinkIo::Got::End)
        return Reach::Failed;
    if (got == LinkIo::Got::Byte)
        return c == quit ? Reach::Echoed : Reach::Answering;
    const std::string fill(static_cast<std::size_t>(gentable::kBytes), quit);
    if (!lineIo.put(fill.data(), static_cast<int>(fill.size())))
        return Reach::Failed;
    const int quiet = policy.times().quitEchoMs + policy.times().uploadMs;
    for (;;) {
        if (policy.overdue())
            return Reach::Failed;
        const LinkIo::Got echo = lineIo.get(c, policy.waitAtMost(quiet));
        if (echo == LinkIo::Got::End)
            return Reach::Failed;
        if (echo == LinkIo::Got::Timeout)
            return Reach::Answering;
    }
}

bool Exchanges::setMode(char mode)
{
    const char quit = byteOf(Cmd::Quit);
    const Reach reach = known ? Reach::Answering : reachDevice();
    if (reach == Reach::Failed)
        return false;
    if (reach != Reach::Echoed && !putUntilEcho(quit))
        return false;
    if (!linerules::beforeMode(lineIo, mode) || !putUntilEcho(mode))
        return false;
    known = true;
    return true;
}

bool Exchanges::set1channel()
{
    say(QStringLiteral("set 1 ch"));
    return setMode(byteOf(Cmd::OneChannel));
}

bool Exchanges::set2channels()
{
    say(QStringLiteral("set 2 ch"));
    return setMode(byteOf(Cmd::TwoChannels));
}

bool Exchanges::setGen()
{
    say(QStringLiteral("set gen"));
    return setMode(byteOf(Cmd::Generator));
}

// An exchange whose echo never came ends as a wrong echo does: the device is
// told to quit the setting (and, acquiring, to send a frame), and the worker
// goes on.
bool Exchanges::giveUp(bool acquiring)
{
    if (lineIo.alive() && policy.unanswered()) {
        const char tail[] = { byteOf(Cmd::Quit), byteOf(Cmd::Go) };
        lineIo.put(tail, acquiring ? 2 : 1);
    }
    return false;
}

// Writes the command and reads for its echo, writing it again after every
// so many bytes without it (one on a Linux terminal, a hundred on the Windows
// port), until the echo comes or the exchange's time is up.
bool Exchanges::putUntilEcho(char command)
{
    const int readsPerWrite = linerules::echoReadsPerWrite();
    for (;;) {
        if (policy.overdue() || !lineIo.put(command))
            return false;
        for (int i = 0; i < readsPerWrite && !policy.overdue(); ++i) {
            char c = 0;
            const LinkIo::Got got = lineIo.get(c, policy.waitMs());
            if (got == LinkIo::Got::End)
                return false;
            if (got == LinkIo::Got::Byte && c == command)
                return true;
        }
    }
}

// Reads until the wanted byte arrives; a quiet line just means reading on,
// until the exchange's time is up.
bool Exchanges::readUntil(char wanted)
{
    for (;;) {
        if (policy.overdue())
            return false;
        char c = 0;
        const LinkIo::Got got = lineIo.get(c, policy.waitMs());
        if (got == LinkIo::Got::End)
            return false;
        if (got == LinkIo::Got::Byte && c == wanted)
            return true;
    }
}

bool Exchanges::setTimeBase(int code)
{
    say(QStringLiteral("set time"));
    if (!lineIo.put(byteOf(Cmd::Set)) || !readUntil(byteOf(Cmd::Set)))
        return giveUp();
    const char sent = digit(code);
    if (!lineIo.put(sent))
        return false;
    char echo = 0;
    const LinkIo::Got got = lineIo.get(echo);
    const char tail[] = { byteOf(Cmd::Quit), byteOf(Cmd::Go) };
    if (got == LinkIo::Got::End || !lineIo.put(tail, 2))
        return false;
    return got == LinkIo::Got::Byte && echo == sent;
}

bool Exchanges::setGain(int gain1, int gain2)
{
    say(QStringLiteral("set gain"));
    if (!lineIo.put(byteOf(Cmd::Gain)) || !readUntil(byteOf(Cmd::Gain)))
        return giveUp();
    const char sent[] = { digit(gain1), digit(gain2) };
    if (!lineIo.put(sent, 2))
        return false;
    bool match = true;
    for (const char expected : sent) {
        char echo = 0;
        const LinkIo::Got got = lineIo.get(echo);
        if (got == LinkIo::Got::End)
            return false;
        match = match && got == LinkIo::Got::Byte && echo == expected;
    }
    const char tail[] = { byteOf(Cmd::Quit), byteOf(Cmd::Go) };
    return lineIo.put(tail, 2) && match;
}

bool Exchanges::setGenFreq(int p, int t)
{
    say(QStringLiteral("set freq"));
    // Most significant first; the leading digit of each value is not masked.
    const std::array<char, 7> digits { digit(p >> 12), digit((p >> 8) & 0xF), digit((p >> 4) & 0xF),
        digit(p & 0xF), digit(t >> 8), digit((t >> 4) & 0xF), digit(t & 0xF) };
    if (!lineIo.put(byteOf(Cmd::Set)) || !readUntil(byteOf(Cmd::Set)))
        return giveUp(false);
    bool match = true;
    for (const char d : digits) {
        if (!lineIo.put(d))
            return false;
        char echo = 0;
        const LinkIo::Got got = lineIo.get(echo);
        if (got == LinkIo::Got::End)
            return false;
        match = match && got == LinkIo::Got::Byte && echo == d;
    }
    return lineIo.put(byteOf(Cmd::Quit)) && match;
}

bool Exchanges::sendChannel(const Table &table)
{
    say(QStringLiteral("send ch"));
    std::array<char, gentable::kBytes> bytes {};
    for (std::size_t i = 0; i < table.size(); ++i) {
        const auto value = static_cast<std::uint16_t>(table[i] + 2048);
        bytes[2 * i] = static_cast<char>(value & 0xFF);
        bytes[2 * i + 1] = static_cast<char>(value >> 8);
    }
    if (!putUntilEcho(byteOf(Cmd::Go)) || !linerules::beforeUpload(lineIo)
        || !lineIo.put(byteOf(Cmd::Start))
        || !lineIo.put(bytes.data(), static_cast<int>(bytes.size())))
        return false;
    say(linerules::uploadedStatus());
    return true;
}

Exchanges::Received Exchanges::getChannel(const std::atomic<bool> &twoChannels, Hunt hunt)
{
    say(linerules::readingStatus());
    if (hunt == Hunt::Limited)
        policy.begin();
    else if (hunt == Hunt::UntilQuiet)
        policy.begin(std::max(policy.times().exchangeMs, policy.times().quietMs));
    for (;;) {
        // What comes now is a frame, unless the device prompts first.
        const int waitMs = hunt == Hunt::Unlimited ? -1
            : hunt == Hunt::Limited                ? policy.waitMs()
                                                   : policy.waitAtMost(policy.times().quietMs);
        char c = 0;
        const LinkIo::Got got = lineIo.get(c, waitMs, frame::kReadLimit);
        if (got == LinkIo::Got::End)
            return Received::Bad;
        if (hunt == Hunt::UntilQuiet && got == LinkIo::Got::Timeout)
            return Received::Quiet;
        if (hunt != Hunt::Unlimited && policy.overdue())
            return Received::Quiet;
        if (got != LinkIo::Got::Byte)
            continue;
        if (c == byteOf(Cmd::Watch)) {
            if (!lineIo.put(byteOf(Cmd::Watch)))
                return Received::Bad;
        } else if (c == byteOf(Cmd::Which)) {
            const bool two = twoChannels.load(std::memory_order_relaxed);
            if (!lineIo.put(byteOf(two ? Cmd::TwoChannels : Cmd::OneChannel)))
                return Received::Bad;
        } else if (c == byteOf(Cmd::Start)) {
            break;
        }
        if (!linerules::afterHuntedByte(lineIo))
            return Received::Bad;
    }
    if (!linerules::readFrame(lineIo, policy.times(), frameBytes))
        return Received::Bad;
    frames->store(decode(frameBytes.data()));
    known = true;
    return Received::Frame;
}
