#pragma once

#include "byteline.h"

#include <array>

// Buffers what the line has and hands it out one byte at a time, so the
// byte-by-byte protocol costs a few system calls per frame instead of 2050.
class ByteReader {
public:
    explicit ByteReader(ByteLine &line);

    // Next byte into c. On Timeout c is left untouched. With waitMs >= 0 the
    // wait for a byte is at most that long instead of the line's time-out.
    // With expected > 0 the caller expects that many bytes to come together
    // (a frame): an empty buffer is filled with a read that may wait for them.
    ByteLine::Result next(char &c, int waitMs = -1, int expected = 0);
    // Up to n bytes into data, waiting for more until n have come or the
    // line times out; count gets the number received.
    ByteLine::Result block(char *data, int n, int &count);
    // Drops whatever is buffered (used when a new exchange must start clean).
    void discard();

private:
    ByteLine &line;
    std::array<char, 4096> buffer {};
    int begin = 0;
    int end = 0;
};
