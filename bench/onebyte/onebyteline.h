#pragma once

#include "byteline.h"

// A line that hands out at most one byte per read, the way a worker reading
// the device byte by byte with one system call each would see it. Everything
// else passes through to the real line, and the call counts shown are the
// real line's, so they count the system calls actually made.
class OneByteLine : public ByteLine {
public:
    explicit OneByteLine(ByteLine &inner);

    Result read(char *data, int max, int &count) override;
    Result readWithin(char *data, int max, int &count, int ms) override;
    Result write(const char *data, int n) override;
    bool pause(int ms) override;
    void stop() override;

private:
    Result mirrored(Result result);

    ByteLine &inner;
};
