// The worker fed arbitrary device bytes, time-outs, line failures and user
// requests through a line in memory. Beyond "no crash, no sanitizer report":
//  - the shared frame changes only to a frame the device really sent whole
//    (Linux rules: "S", 2048 bytes, "E", no quiet gap inside; Windows rules:
//    the bytes after an "S" up to 2049 or a quiet gap, the rest from the frame
//    before), in the order sent, and decoded as little-endian 16-bit samples;
//  - without requests the worker writes exactly what the protocol asks: a "w"
//    for every "w", "a" for every ">" while hunting, one "g" after each frame
//    (until the line falls quiet before the first frame: then the worker asks
//    the device for its mode itself);
//  - the loop makes progress: it never writes on without reading (MemoryLine).
#include "framebuffer.h"
#include "gentable.h"
#include "memoryline.h"
#include "protocol.h"
#include "serialport.h"
#include "thread.h"

#include <QtGlobal>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

constexpr bool kWindowsRules = LABBENCH_FUZZ_WINDOWS_RULES != 0;
constexpr std::size_t kDataBytes = frame::kDataBytes;
constexpr std::size_t kWholeRead = frame::kDataBytes + 1; // Windows: one read of a frame and its "E"

// Exposes the loop so it runs on the fuzzer's own thread, deterministically.
class Worker : public Thread {
public:
    using Thread::run;
    using Thread::Thread;
};

void check(bool ok)
{
    if (!ok)
        std::abort();
}

std::array<char, kDataBytes> encode(const Frame &frame)
{
    std::array<char, kDataBytes> bytes {};
    for (std::size_t j = 0; j < frame.size(); ++j) {
        check(frame[j] >= -32768 && frame[j] <= 32767);
        const auto v = static_cast<std::uint16_t>(frame[j]);
        bytes[2 * j] = static_cast<char>(v & 0xFF);
        bytes[2 * j + 1] = static_cast<char>(v >> 8);
    }
    return bytes;
}

Frame decode(const char *bytes)
{
    Frame frame {};
    for (std::size_t j = 0; j < frame.size(); ++j) {
        const int low = static_cast<std::uint8_t>(bytes[2 * j]);
        const int high = static_cast<std::uint8_t>(bytes[2 * j + 1]);
        const int v = low + 256 * high;
        frame[j] = v >= 32768 ? v - 65536 : v;
    }
    return frame;
}

// Watches the shared frame between line calls and checks every change
// against the bytes the device sent.
class FrameWatch {
public:
    FrameWatch(const MemoryLine &l, const FrameBuffer &b)
        : line(l)
        , buffer(b)
    {
    }

    void look()
    {
        const Frame now = buffer.snapshot();
        if (now == last)
            return;
        last = now;
        const auto bytes = encode(now);
        const std::string &in = line.delivered();
        for (std::size_t s = searchFrom; s < in.size(); ++s) {
            if (in[s] != byteOf(Cmd::Start))
                continue;
            if (kWindowsRules ? windowsFrameAt(s, bytes) : linuxFrameAt(s, bytes))
                return;
        }
        std::abort(); // the frame changed to something the device did not send
    }

private:
    // A quiet gap between delivered bytes `from` and `to` (exclusive).
    bool quietWithin(std::size_t from, std::size_t to) const
    {
        const auto &gaps = line.quietAt();
        const auto it = std::upper_bound(gaps.begin(), gaps.end(), from);
        return it != gaps.end() && *it < to;
    }

    bool linuxFrameAt(std::size_t s, const std::array<char, kDataBytes> &bytes)
    {
        const std::string &in = line.delivered();
        const std::size_t end = s + 1 + kDataBytes;
        if (end >= in.size() || in[end] != byteOf(Cmd::End) || quietWithin(s, end + 1))
            return false;
        if (std::memcmp(in.data() + s + 1, bytes.data(), kDataBytes) != 0)
            return false;
        searchFrom = end + 1;
        return true;
    }

    // One read of up to 2049 bytes after the "S", ended early only by a quiet
    // gap; what it did not reach keeps the bytes of the read before.
    bool windowsFrameAt(std::size_t s, const std::array<char, kDataBytes> &bytes)
    {
        const std::string &in = line.delivered();
        std::size_t got = std::min(kWholeRead, in.size() - s - 1);
        const auto &gaps = line.quietAt();
        const auto gap = std::upper_bound(gaps.begin(), gaps.end(), s);
        if (gap != gaps.end())
            got = std::min(got, *gap - s - 1);
        const bool endedQuietly = gap != gaps.end() && *gap == s + 1 + got;
        if (got < kWholeRead && !endedQuietly)
            return false;
        std::array<char, kWholeRead> next = previousRead;
        std::memcpy(next.data(), in.data() + s + 1, got);
        if (std::memcmp(next.data(), bytes.data(), kDataBytes) != 0)
            return false;
        previousRead = next;
        searchFrom = s + 1 + got;
        return true;
    }

    const MemoryLine &line;
    const FrameBuffer &buffer;
    Frame last {};
    std::size_t searchFrom = 0;
    std::array<char, kWholeRead> previousRead {};
};

// What the worker must write and keep when the user asks for nothing: hunt,
// frame, "g", again, until the line stops or fails.
struct Expected {
    std::string written;
    Frame frame {};
    // False when the line fell quiet while the worker hunted for its first
    // frame: it then asks the device for a mode itself, an exchange this
    // model does not follow (the frame watch still checks every frame).
    bool modelled = true;
};

Expected acquisitionOnly(const MemoryLine &line)
{
    Expected out;
    const std::string &in = line.delivered();
    const auto &gaps = line.quietAt();
    std::array<char, kWholeRead> read {};
    std::size_t i = 0;
    std::size_t gap = 0;
    const auto quietBefore = [&](std::size_t pos) {
        while (gap < gaps.size() && gaps[gap] < pos)
            ++gap;
        return gap < gaps.size() && gaps[gap] == pos;
    };
    bool known = false; // a frame taken: the hunts no longer end on a quiet line
    for (;;) {
        // Hunt. The bytes delivered end where the line stopped or failed.
        while ((known || !quietBefore(i)) && i < in.size() && in[i] != byteOf(Cmd::Start)) {
            if (in[i] == byteOf(Cmd::Watch))
                out.written += byteOf(Cmd::Watch);
            else if (in[i] == byteOf(Cmd::Which))
                out.written += byteOf(Cmd::OneChannel);
            ++i;
        }
        if (!known && quietBefore(i)) {
            out.modelled = false;
            return out;
        }
        if (i >= in.size())
            return out;
        ++i;
        const std::size_t first = i;
        const std::size_t limit = kWindowsRules ? kWholeRead : kDataBytes + 1;
        std::size_t got = 0;
        // A quiet gap ends the frame early; the line stopping inside it ends all.
        while (got < limit && !quietBefore(first + got)) {
            if (first + got >= in.size())
                return out; // stopped inside the frame: no "g"
            ++got;
        }
        out.written += byteOf(Cmd::Go);
        if (kWindowsRules) {
            std::memcpy(read.data(), in.data() + first, got);
            out.frame = decode(read.data());
            known = true;
        } else if (got == kDataBytes + 1 && in[first + kDataBytes] == byteOf(Cmd::End)) {
            out.frame = decode(in.data() + first);
            known = true;
        }
        i = first + got;
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    // The worker's status texts are Qt strings; no application object needed.
    qputenv("QT_LOGGING_RULES", "*=false");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    FrameBuffer frames;
    GenTable table;
    table.edit([size](int *entries) {
        // Out-of-range entries too: the upload cuts each to 16 bits.
        for (int i = 0; i < gentable::kEntries; ++i)
            entries[i] = static_cast<int>((i * 37 + static_cast<int>(size)) % 6001) - 3000;
    });

    Worker *worker = nullptr;
    MemoryLine line(data, size, [&worker](const MemoryLine::Request &r) {
        switch (r.kind) {
        case MemoryLine::Kind::OneChannel:
            worker->requestChannel(false);
            break;
        case MemoryLine::Kind::TwoChannels:
            worker->requestChannel(true);
            break;
        case MemoryLine::Kind::Generator:
            worker->requestGenerator();
            break;
        case MemoryLine::Kind::Gain:
            worker->requestGain(r.first, r.second);
            break;
        case MemoryLine::Kind::TimeBase:
            worker->requestTimeBase(r.first);
            break;
        case MemoryLine::Kind::Send:
            worker->requestSend();
            break;
        case MemoryLine::Kind::Freq:
            worker->requestFreq(r.first, r.second);
            break;
        }
    });
    FrameWatch watch(line, frames);
    line.beforeCall = [&watch] { watch.look(); };

    SerialPort port(line);
    {
        // The script's time passes at the line's calls, not on the clock:
        // the generator's rest is only the line's look, as its pause is.
        LinkPolicy::Times times = Thread::timesFor(115200);
        times.generatorPollMs = 0;
        Worker w(&port, &frames, &table, times);
        worker = &w;
        w.run();
        watch.look();
        worker = nullptr;
    }

    if (!line.hasRequests()) {
        const Expected expected = acquisitionOnly(line);
        if (expected.modelled) {
            check(line.written() == expected.written);
            check(frames.snapshot() == expected.frame);
        }
    }
    return 0;
}
