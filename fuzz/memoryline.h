#pragma once

#include "byteline.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// A serial line played from a fuzz input: a script of device bytes, line
// time-outs, a failing line and requests the user makes meanwhile.
//
// Script, one operation after another:
//   0x00..0xEF  that many plus one device bytes follow
//   0xF0        a 16-bit little-endian count, then that many device bytes
//   0xF1        the line's time-out passes without data
//   0xF2        the line fails (unplugged adapter)
//   0xF3..0xF9  a request, with parameter bytes (see Request)
//   0xFA..0xFF  a time-out as well
// The end of the script is "Close port": every later call returns Stopped.
//
// Requests take effect when the worker next asks the line for bytes or
// pauses, which is when a real request would find it waiting on the line.
class MemoryLine : public ByteLine {
public:
    enum class Kind { OneChannel, TwoChannels, Generator, Gain, TimeBase, Send, Freq };
    struct Request {
        Kind kind;
        int first = 0;
        int second = 0;
    };

    MemoryLine(
        const std::uint8_t *data, std::size_t size, std::function<void(const Request &)> onRequest);

    Result read(char *data, int max, int &count) override;
    Result readWithin(char *data, int max, int &count, int ms) override;
    Result write(const char *data, int n) override;
    bool pause(int ms) override;
    void stop() override;

    // Whether the script holds any request (decided before the run).
    bool hasRequests() const { return requestsInScript; }
    // Device bytes delivered so far, in order.
    const std::string &delivered() const { return deliveredBytes; }
    // Positions in delivered() where a time-out came between two bytes.
    const std::vector<std::size_t> &quietAt() const { return timeouts; }
    // Everything the worker wrote, in order.
    const std::string &written() const { return writtenBytes; }

    // Called before every line call, so the caller can watch shared state.
    std::function<void()> beforeCall;

private:
    enum class Op { Bytes, Timeout, Lost, Request, End };
    struct Next {
        Op op;
        std::size_t length = 0;
        Request request {};
    };

    Next peek() const;
    void skip(const Next &next);
    // Applies every request at the head of the script.
    void takeRequests();
    int param(std::size_t at) const;
    void checkProgress() const;

    const std::uint8_t *script;
    std::size_t size;
    std::size_t at = 0;
    std::size_t bytesLeft = 0; // of the data operation being delivered
    std::function<void(const Request &)> request;
    bool stopped = false;
    bool lost = false;
    bool requestsInScript = false;
    std::size_t units = 0; // bytes, time-outs and requests handed out
    std::size_t pausesInARow = 0;
    std::size_t writeCalls = 0;
    std::string deliveredBytes;
    std::vector<std::size_t> timeouts;
    std::string writtenBytes;
};
