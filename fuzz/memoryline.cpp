#include "memoryline.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace {

constexpr std::uint8_t kLongBytes = 0xF0;
// 0xF1 and 0xFA..0xFF: a time-out.
constexpr std::uint8_t kLost = 0xF2;
constexpr std::uint8_t kFirstRequest = 0xF3;
constexpr std::uint8_t kLastRequest = 0xF9;

// Parameter bytes of each request, from 0xF3 on.
constexpr int kParamBytes[] = { 0, 0, 0, 2, 1, 0, 6 };

// A worker in generator mode only pauses; after this many pauses with nothing
// else happening, nothing will: the run is over, as if the user closed the port.
constexpr std::size_t kIdlePauses = 8192;

} // namespace

MemoryLine::MemoryLine(
    const std::uint8_t *data, std::size_t n, std::function<void(const Request &)> onRequest)
    : script(data)
    , size(n)
    , request(std::move(onRequest))
{
    for (at = 0; at < size;) {
        const Next next = peek();
        requestsInScript = requestsInScript || next.op == Op::Request;
        skip(next); // always moves on while anything is left
    }
    at = 0;
}

int MemoryLine::param(std::size_t i) const
{
    return i < size ? script[i] : 0;
}

MemoryLine::Next MemoryLine::peek() const
{
    if (at >= size)
        return { Op::End };
    const std::uint8_t op = script[at];
    if (op < kLongBytes)
        return { Op::Bytes, std::min<std::size_t>(op + 1u, size - at - 1) };
    if (op == kLongBytes) {
        const std::size_t length = static_cast<std::size_t>(param(at + 1) | (param(at + 2) << 8));
        const std::size_t left = size > at + 3 ? size - at - 3 : 0;
        return { Op::Bytes, std::min(length, left) };
    }
    if (op == kLost)
        return { Op::Lost };
    if (op >= kFirstRequest && op <= kLastRequest) {
        Next next { Op::Request };
        next.request.kind = static_cast<Kind>(op - kFirstRequest);
        const std::size_t p = at + 1;
        switch (next.request.kind) {
        case Kind::Gain:
            // Signed: a panel bug could hand on anything.
            next.request.first = static_cast<std::int8_t>(param(p));
            next.request.second = static_cast<std::int8_t>(param(p + 1));
            break;
        case Kind::TimeBase:
            next.request.first = static_cast<std::int8_t>(param(p));
            break;
        case Kind::Freq: {
            // 24-bit signed values: past 16 and 12 bits too.
            const auto wide = [&](std::size_t q) {
                const std::uint32_t v = static_cast<std::uint32_t>(
                    param(q) | (param(q + 1) << 8) | (param(q + 2) << 16));
                return static_cast<int>(v << 8) >> 8;
            };
            next.request.first = wide(p);
            next.request.second = wide(p + 3);
            break;
        }
        default:
            break;
        }
        return next;
    }
    return { Op::Timeout };
}

void MemoryLine::skip(const Next &next)
{
    const std::uint8_t op = script[at];
    switch (next.op) {
    case Op::Bytes:
        at += (op == kLongBytes ? 3 : 1) + next.length;
        break;
    case Op::Request:
        at += 1 + static_cast<std::size_t>(kParamBytes[op - kFirstRequest]);
        break;
    case Op::Timeout:
    case Op::Lost:
        at += 1;
        break;
    case Op::End:
        break;
    }
    at = std::min(at, size);
}

void MemoryLine::takeRequests()
{
    for (Next next = peek(); bytesLeft == 0 && next.op == Op::Request; next = peek()) {
        skip(next);
        ++units;
        pausesInARow = 0;
        request(next.request);
    }
}

ByteLine::Result MemoryLine::read(char *data, int max, int &count)
{
    if (beforeCall)
        beforeCall();
    count = 0;
    reads.fetch_add(1, std::memory_order_relaxed);
    pausesInARow = 0;
    if (stopped)
        return Result::Stopped;
    if (lost)
        return Result::Lost;
    takeRequests();
    if (bytesLeft == 0) {
        const Next next = peek();
        switch (next.op) {
        case Op::End:
            stopped = true;
            return Result::Stopped;
        case Op::Lost:
            skip(next);
            lost = true;
            return Result::Lost;
        case Op::Timeout:
            skip(next);
            ++units;
            timeouts.push_back(deliveredBytes.size());
            return Result::Timeout;
        case Op::Bytes:
            at += script[at] == kLongBytes ? 3 : 1;
            bytesLeft = next.length;
            if (bytesLeft == 0) { // an empty chunk is a quiet moment
                ++units;
                timeouts.push_back(deliveredBytes.size());
                return Result::Timeout;
            }
            break;
        case Op::Request:
            break; // taken above
        }
    }
    const std::size_t n = std::min(bytesLeft, static_cast<std::size_t>(std::max(max, 0)));
    std::memcpy(data, script + at, n);
    deliveredBytes.append(reinterpret_cast<const char *>(script + at), n);
    at += n;
    bytesLeft -= n;
    units += n;
    count = static_cast<int>(n);
    return Result::Data;
}

ByteLine::Result MemoryLine::readWithin(char *data, int max, int &count, int)
{
    return read(data, max, count);
}

ByteLine::Result MemoryLine::write(const char *data, int n)
{
    if (beforeCall)
        beforeCall();
    writes.fetch_add(1, std::memory_order_relaxed);
    if (stopped)
        return Result::Stopped;
    if (lost)
        return Result::Lost;
    writtenBytes.append(data, static_cast<std::size_t>(n));
    ++writeCalls;
    checkProgress();
    return Result::Data;
}

bool MemoryLine::pause(int)
{
    if (beforeCall)
        beforeCall();
    if (stopped)
        return false;
    takeRequests();
    if (++pausesInARow > kIdlePauses) {
        stopped = true;
        return false;
    }
    return true;
}

void MemoryLine::stop()
{
    stopped = true;
}

// The worker must not write on and on without taking anything from the line:
// every exchange writes a few bytes and then waits for an answer.
void MemoryLine::checkProgress() const
{
    if (writeCalls > 3 * units + 8)
        std::abort();
}
