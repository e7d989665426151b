#include "synthesis.h"

#include <algorithm>
#include <cmath>

namespace synthesis {

namespace {

    // The phase uses this rounded constant, not the full pi: the device's tables
    // have always been built with it, so entry 256 of a full-scale sine is -2046.
    constexpr double kPi = 3.14159;
    constexpr double kOneOver512 = 0.001953125;

    constexpr int kRawTop = 32767; // raw samples are on a 16-bit scale
    constexpr int kRawSpan = 65536;
    constexpr int kRawScale = 32768;

    // 64 times the device clock: the frequency computation counts in 1/64 Hz.
    constexpr long long kClockSixtyFourths = 64 * kDeviceClockHz;
    constexpr long long kFullTableTicks = kClockSixtyFourths / kEntries; // 4,000,000
    constexpr long long kShortTableLimit = 256;
    constexpr int kFastestTab = 2;
    constexpr int kFastestPeriod = 32;

    int rawSample(Waveform type, int i, int tab, int d)
    {
        switch (type) {
        case Waveform::Sine: {
            const int q = (i * kEntries) / tab;
            const double phase = static_cast<double>(2 * q) * kPi * kOneOver512;
            return static_cast<int>(std::cos(phase) * 32768.0);
        }
        case Waveform::Square:
            return i < d ? kRawTop : -kRawScale;
        case Waveform::Triangle:
            // With no rising part (d == 0) entry 0 takes the falling formula: the peak.
            if (i <= d && d > 0)
                return (i * kRawSpan) / d - kRawScale;
            return ((i - d) * kRawSpan) / (d - tab) + kRawTop;
        default:
            return 0;
        }
    }

    struct Try {
        long long tab;
        long long period;
        long long rate; // 64 times the frequency that tab and period give
    };

    Try tryCandidate(long long k)
    {
        const long long q = kDeviceClockHz / k;
        Try t {};
        if (q < kShortTableLimit) {
            t.tab = 2 * q;
            t.period = (kClockSixtyFourths / t.tab) / k;
        } else {
            t.tab = kEntries;
            t.period = kFullTableTicks / k;
        }
        t.rate = (kClockSixtyFourths / t.period) / t.tab;
        return t;
    }

} // namespace

int millivoltsToCounts(int millivolts)
{
    return static_cast<int>(millivolts * kCountsPerMillivolt);
}

Shape shapeOf(int tab, int type, int gainMv, int dutyPercent, int dcShiftMv)
{
    Shape s;
    s.tab = tab;
    s.type = type;
    s.amplitude = millivoltsToCounts(gainMv);
    s.dutyPos = (dutyPercent * tab) / 100;
    s.offset = millivoltsToCounts(dcShiftMv);
    return s;
}

void synthesize(int *table, const Shape &shape)
{
    const auto type = static_cast<Waveform>(shape.type);
    if (type != Waveform::Sine && type != Waveform::Square && type != Waveform::Triangle)
        return;
    const int tab = std::clamp(shape.tab, 0, kEntries);
    for (int i = 0; i < tab; ++i) {
        const int w = rawSample(type, i, tab, shape.dutyPos);
        const int entry = (w * shape.amplitude) / kRawScale + shape.offset;
        table[i] = std::clamp(entry, kMinCount, kMaxCount);
    }
}

SampleClock sampleClock(int hz)
{
    return sampleClockAt(hz);
}

SampleClock sampleClockAt(double hz)
{
    // The frequency box cannot leave 1..500000 Hz; anything else is held to it.
    const long long target
        = std::llround(64.0 * std::clamp(hz, double(kLowestHz), double(kHighestHz)));
    Try t = tryCandidate(target);
    // An exact hit gives way to the next candidate; above the clock there is
    // none to try (it would need a table of no entries).
    if (t.rate == target && target < kDeviceClockHz)
        t = tryCandidate(target + 1);
    if (t.rate > kDeviceClockHz)
        t = Try { kFastestTab, kFastestPeriod, 0 };
    return SampleClock { static_cast<int>(t.tab), static_cast<int>(t.period) };
}

std::optional<double> playedHz(const SampleClock &clock)
{
    if (clock.tab < 1 || clock.period < 1)
        return std::nullopt;
    return double(kDeviceClockHz) / (double(clock.tab) * clock.period);
}

} // namespace synthesis
