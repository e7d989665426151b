#include "trigger.h"

#include "measurements.h"

#include <algorithm>
#include <cmath>

namespace osc {

namespace {

    // Dead band around the level for the HF detectors, in raw units.
    constexpr int kHfBand = 4;

} // namespace

int scaleFactor(int gainIndex)
{
    return (50000 / gainTab[static_cast<std::size_t>(gainIndex)]) >> gainIndex;
}

int rawThreshold(int level, int gainIndex)
{
    // A multiplication, not a shift: the level may be negative.
    return level * 4 * (1 << gainIndex);
}

int reachableLevel(int gainIndex)
{
    return std::min(kMaxLevel, 2047 / rawThreshold(1, gainIndex));
}

double levelVolts(int level, int gainIndex)
{
    return rawToVolts(rawThreshold(level, gainIndex), gainIndex);
}

int levelFromVolts(double volts, int gainIndex)
{
    const double step = levelVolts(1, gainIndex);
    const double level = std::round(volts / step);
    return static_cast<int>(std::clamp(level, -1e6, 1e6));
}

// The LF detectors compare three-sample sums so single-sample noise does not
// fire them.
bool checkFallingLF(const int *s, int i, int t)
{
    return s[i - 2] + s[i - 1] + s[i] > 3 * t && s[i + 1] + s[i + 2] + s[i + 3] < 3 * t;
}

bool checkRisingLF(const int *s, int i, int t)
{
    return s[i - 2] + s[i - 1] + s[i] < 3 * t && s[i + 1] + s[i + 2] + s[i + 3] > 3 * t;
}

bool checkFallingHF(const int *s, int i, int t)
{
    return s[i] > t + kHfBand && s[i + 1] < t - kHfBand;
}

bool checkRisingHF(const int *s, int i, int t)
{
    return s[i] < t - kHfBand && s[i + 1] > t + kHfBand;
}

bool checkEdge(Detector detector, const int *s, int i, int t)
{
    switch (detector) {
    case Detector::FallingLF:
        return checkFallingLF(s, i, t);
    case Detector::RisingLF:
        return checkRisingLF(s, i, t);
    case Detector::FallingHF:
        return checkFallingHF(s, i, t);
    case Detector::RisingHF:
        return checkRisingHF(s, i, t);
    }
    return false;
}

int getTrigIndex(const int *s, int n, int w, int b, int t, Detector detector)
{
    if (b < 0 || b > w || w > n)
        return -1;
    // Candidates keep the detector's reads (i - 2 to i + 3) and the window cut
    // around the edge inside the frame.
    for (int i = b + 2; i < b + n - w - 3; ++i)
        if (checkEdge(detector, s, i, t))
            return i;
    return -1;
}

void copySignal(const int *source, int *destination, int count, int factor)
{
    for (int i = 0; i < count; ++i)
        destination[i] = factor * source[i] / 100;
}

bool trigger(const int *raw, int *out1, int *out2, const TriggerSettings &settings,
             TriggerState &state)
{
    const TrigMode mode = modeOf(settings.word);
    const int b = settings.xPos + kWindowCentre;
    bool forced = false;

    if (mode == TrigMode::Single) {
        if (!state.rearm && state.triggered)
            return false;
        state.triggered = false;
        state.rearm = false;
    } else {
        state.triggered = false;
        state.rearm = false;
        if (mode == TrigMode::FreeRun) {
            state.triggered = true;
            state.ticks = 0;
        } else if (mode == TrigMode::Auto && state.ticks > kAutoTicks) {
            state.ticks = 51;
            forced = true;
        }
    }

    const int frameLength = settings.twoChannels ? kChannel2Start : kFrame;
    int index = b;
    if (!state.triggered) {
        index =
            getTrigIndex(raw, frameLength, kWindow, b, rawThreshold(settings.level, settings.gain1),
                         detectorOf(settings.word));
        if (index >= 0) {
            state.ticks = 0;
            state.triggered = true;
        }
    }
    if (forced)
        index = b;
    if (index < 0)
        return false;

    const int start = index - b;
    state.pictureStart = start;
    copySignal(raw + start, out1, kWindow, scaleFactor(settings.gain1));
    if (settings.twoChannels)
        copySignal(raw + start + kChannel2Start, out2, kWindow, scaleFactor(settings.gain2));
    return true;
}

} // namespace osc
