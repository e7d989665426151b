#pragma once

#include "byteline.h"

// The serial port as the worker sees it, over a line the fuzz target feeds
// from memory. LABBENCH_FUZZ_WINDOWS_RULES picks which build's reception and
// upload rules the worker is compiled with.
class SerialPort {
public:
    static constexpr int kTimeoutMs = 3000;

    explicit SerialPort(ByteLine &memory)
        : memoryLine(memory)
    {
    }

    ByteLine &line() { return memoryLine; }

private:
    ByteLine &memoryLine;
};
