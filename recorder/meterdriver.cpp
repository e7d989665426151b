#include "meterdriver.h"

#include "autorange.h"
#include "trigger.h"

MeterDriver::MeterDriver(int speed, int staleFrames)
    : lineSpeed(speed)
    , stale(staleFrames)
{
    configure(false, { kAuto, kAuto });
}

void MeterDriver::configure(bool twoChannels, std::array<int, kChannels> gains)
{
    manual = gains;
    wanted.twoChannels = twoChannels;
    // A DC level is what the meter expects first: the slowest time base that
    // still refreshes, and for an automatic range the least sensitive one,
    // which no signal the device takes can clip.
    wanted.tbIndex = autorange::slowestCode(lineSpeed, twoChannels);
    for (std::size_t c = 0; c < gains.size(); ++c)
        wanted.gain[c] = gains[c] == kAuto ? 0 : gains[c];
    changed = true;
    resetStatistics();
}

void MeterDriver::sent()
{
    inEffect = wanted;
    toSkip = stale;
}

bool MeterDriver::takeChange()
{
    const bool was = changed;
    changed = false;
    return was;
}

bool MeterDriver::take(const int *frame)
{
    if (toSkip > 0) {
        --toSkip;
        return false;
    }
    const int count = inEffect.twoChannels ? osc::kChannel2Start : osc::kFrame;
    for (int c = 0; c < channels(); ++c) {
        latest[std::size_t(c)] = meter::read(frame + c * osc::kChannel2Start, count,
            inEffect.gain[std::size_t(c)], inEffect.tbIndex);
    }
    // A frame that moves the range or the time base was taken at ones that
    // do not suit the signal (a frequency from a handful of samples a period,
    // a level from a few units): it is not a reading, unless the signal keeps
    // moving them for longer than a settling takes.
    if (decide() && unsettled < kSettleFrames) {
        ++unsettled;
        return false;
    }
    unsettled = 0;
    for (int c = 0; c < channels(); ++c) {
        const meter::Reading &r = latest[std::size_t(c)];
        if (r.over)
            continue;
        auto &s = stats[std::size_t(c)];
        s[std::size_t(meter::Quantity::Dc)].add(r.dc);
        s[std::size_t(meter::Quantity::AcRms)].add(r.acRms);
        s[std::size_t(meter::Quantity::PeakToPeak)].add(r.peakToPeak);
        if (r.hz)
            s[std::size_t(meter::Quantity::Frequency)].add(*r.hz);
    }
    ++framesTaken;
    return true;
}

// The next range and time base from this frame's readings. Channel 1 sets the
// time base: both channels share it, and channel 1 is the one measured.
// Whether they differ from the ones the frame was taken with.
bool MeterDriver::decide()
{
    Request next = wanted;
    const int count = inEffect.twoChannels ? osc::kChannel2Start : osc::kFrame;
    for (int c = 0; c < channels(); ++c) {
        if (manual[std::size_t(c)] != kAuto)
            continue;
        const meter::Reading &r = latest[std::size_t(c)];
        next.gain[std::size_t(c)]
            = autorange::nextGain(inEffect.gain[std::size_t(c)], r.peak, r.over);
    }
    const meter::Reading &first = latest[0];
    if (!first.over) {
        next.tbIndex = autorange::nextTimeBase(
            inEffect.tbIndex, first.hz, count, lineSpeed, inEffect.twoChannels);
    }
    if (next != wanted) {
        wanted = next;
        changed = true;
    }
    return next != inEffect;
}

void MeterDriver::resetStatistics()
{
    for (auto &channel : stats)
        for (RunningStats &s : channel)
            s.reset();
}
