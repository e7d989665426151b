#include "autorange.h"

#include "frametiming.h"
#include "meterreading.h"

#include <algorithm>

namespace autorange {

namespace {

    // The fastest code the meter uses: codes 0 and 1 sample as 2 and 3 do,
    // and the four fastest need one channel.
    constexpr int kFastestOneChannel = 2;
    constexpr int kFastestTwoChannels = 4;

} // namespace

int nextGain(int current, int peak, bool over)
{
    if (over)
        return 0;
    int gain = current;
    while (gain > 0 && peak > kLeave) {
        --gain;
        peak = (peak + 1) / 2;
    }
    if (gain != current)
        return gain;
    while (gain + 1 < meter::kGains && peak * 2 <= kEnter) {
        ++gain;
        peak *= 2;
    }
    return gain;
}

int slowestCode(int speed, bool twoChannels)
{
    const int fastest = twoChannels ? kFastestTwoChannels : kFastestOneChannel;
    int code = frametiming::kSlowestCode;
    while (code > fastest && frametiming::frameMs(code, speed) > kLongestFrameMs)
        --code;
    return code;
}

int nextTimeBase(int current, std::optional<double> hz, int samples, int speed, bool twoChannels)
{
    const int slowest = slowestCode(speed, twoChannels);
    const int fastest = twoChannels ? kFastestTwoChannels : kFastestOneChannel;
    if (!hz)
        return slowest;
    const auto periodsAt
        = [&](int code) { return *hz * samples * frametiming::samplePeriodSeconds(code); };
    const int now = std::clamp(current, fastest, slowest);
    const double held = periodsAt(now);
    if (now == current && held >= kFewestPeriods && held <= kMostPeriods)
        return current;
    // The fastest code that still holds the aim: the most samples a period.
    for (int code = fastest; code <= slowest; ++code) {
        if (periodsAt(code) >= kAimPeriods)
            return code;
    }
    return slowest;
}

} // namespace autorange
