#pragma once

#include <array>

// How long the device takes over one frame: it samples 1024 samples at the
// time base it is set to, then sends the 2050 bytes of the frame at the
// line's speed. The worker's time limits, labbench-cli's waits and the
// window's "no data" are all sized from this one formula.
namespace frametiming {

// Microseconds per division by time-base code, as the device counts them
// (16 samples a division, 1024 taken for 1000). Codes 0 and 1 repeat the
// values of codes 2 and 3 (8 and 10, not 2 and 5).
constexpr std::array<int, 15> kMicrosPerDivision { 8, 10, 8, 10, 20, 50, 100, 200, 500, 1000, 2000,
    5000, 10000, 20000, 50000 };
constexpr int kSlowestCode = 14; // 50ms/dz
constexpr int kSamples = 1024;
constexpr int kFrameBytes = 2 * kSamples + 2; // "S", the samples, "E"
constexpr int kBitsPerByte = 10; // start bit, eight data bits, stop bit

// Seconds between two samples at a time-base code.
double samplePeriodSeconds(int code);
// Time to send n bytes at a line speed, in milliseconds, rounded up.
int transferMs(int bytes, int speed);
// One frame at a time-base code and a line speed, sampling and transfer,
// rounded up to whole milliseconds.
int frameMs(int code, int speed);

} // namespace frametiming
