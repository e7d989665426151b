#pragma once

#include "byteline.h"
#include "bytereader.h"

// The worker's bytes: one at a time from the buffered reader, whole writes,
// pauses that a stop cuts short. The first Stopped or Lost from the line is
// kept, and every later call fails at once, so an exchange ends wherever it is.
class LinkIo {
public:
    enum class Got { Byte, Timeout, End };

    explicit LinkIo(ByteLine &line)
        : line(line)
        , reader(line)
    {
    }

    // Next byte; waitMs >= 0 waits at most that long instead of the line's
    // time-out; expected > 0 says that many bytes should come together.
    Got get(char &c, int waitMs = -1, int expected = 0);
    // Up to n bytes, waiting until n have come or the line times out.
    bool block(char *data, int n, int &count);
    bool put(char c) { return put(&c, 1); }
    bool put(const char *data, int n);
    // Sleeps for ms unless stopped.
    bool pause(int ms);
    // As pause, also waking when the line fails meanwhile.
    bool rest(int ms);

    bool alive() const { return end == ByteLine::Result::Data; }
    ByteLine::Result ended() const { return end; }

private:
    ByteLine &line;
    ByteReader reader;
    ByteLine::Result end = ByteLine::Result::Data;
};
