#pragma once

#include "synthesis.h"

#include <QString>

#include <complex>
#include <optional>
#include <vector>

// The arithmetic of a frequency-response sweep: the generator plays a sine
// into the circuit and into channel 2 (the reference), the circuit's output
// goes to channel 1, and each step's response is CH1/CH2 at the played
// frequency. The steps and their settings, what a two-channel frame says
// about them, and the corner frequencies of the result. Plain functions over
// arrays, no widgets, no link.
namespace sweep {

constexpr int kSamples = 512; // per channel in a two-channel frame
constexpr int kFullScale = 2047; // the converter's largest code either way
constexpr int kRanges = 7; // gain codes, 0 the least sensitive
constexpr int kMostSensitive = kRanges - 1;
constexpr int kMinPeriods = 8; // periods a frame holds at least, where a time base allows
constexpr int kDefaultPerDecade = 10;
constexpr int kMaxPoints = 2000;
constexpr int kDefaultAmplitudeMv = 1000;
// Frames one step may take to find its ranges before it is given up.
constexpr int kMaxTries = 6;

struct Plan {
    double fromHz = 100;
    double toHz = 100000;
    int perDecade = kDefaultPerDecade;
    int points = 0; // a number of points instead of per decade; 0: per decade
    int amplitudeMv = kDefaultAmplitudeMv; // the generator's peak
};

// Why a plan cannot be swept ("the start must lie below the stop" and the
// like); nothing for a good one.
std::optional<QString> problem(const Plan &plan);

// One step: what the generator is set to and the frequency it then plays.
struct Step {
    synthesis::SampleClock clock;
    double playedHz = 0;
};
// The steps of a good plan in rising frequency, evenly spaced on a log
// scale, both ends included; requests that the generator plays alike give one step.
std::vector<Step> steps(const Plan &plan);

// The time-base code whose frames hold at least kMinPeriods periods in the
// shortest time; the slowest where none holds them.
int timeBaseFor(double hz);
// The converter's unit at a range: 10 mV at range 0, halved per step.
double voltsPerUnit(int range);
// The most sensitive range that holds a peak with room to grow by 3 dB.
int rangeFor(double peakVolts);

// One channel of a frame as the choice of its range sees it.
struct Look {
    int peak = 0; // the largest magnitude, in units
    bool clipped = false; // a sample at the converter's limit
};
Look look(const int *samples, int n);
// The range to take the next frame at: the same one when the look is
// usable, less sensitive when clipped, more sensitive when the signal is tiny.
int nextRange(int range, const Look &seen);

enum class Reason {
    None, // measured
    ReferenceOverRange,
    ReferenceTooSmall,
    ReferenceNotPlayed,
    ResponseOverRange,
    ResponseBelowNoise,
    RangeUnsettled,
    NoFrame,
};
// Why a step was not measured, as the table and the window write it.
QString reasonText(Reason reason);

struct Point {
    double hz = 0; // the played frequency
    std::complex<double> response; // CH1 / CH2
    double ch1Volts = 0; // the amplitudes (peak) of the channels
    double ch2Volts = 0;
    int range1 = 0;
    int range2 = 0;
    int timeBase = 0;
    Reason reason = Reason::None;

    bool measured() const { return reason == Reason::None; }
    double gainDb() const;
    double phaseDeg() const; // in (-180, 180]
};

// What a two-channel frame taken at these settings gives a step.
struct Verdict {
    enum class Kind { Measured, Retry, NotMeasured };
    Kind kind = Kind::Retry;
    int range1 = 0; // Retry: the ranges to take the next frame at
    int range2 = 0;
    Point point; // Measured and NotMeasured
    // Measured, but the response is near the noise: worth a second frame.
    bool noisy = false;
};
// frame: 512 samples of channel 1, then 512 of channel 2.
Verdict judge(const int *frame, int range1, int range2, int timeBase, double playedHz);

// Two measured frames of one step as one point: their responses averaged.
Point combine(const Point &first, const Point &second);

// The largest gain of the measured points, in dB.
std::optional<double> passbandDb(const std::vector<Point> &points);
// The frequencies, rising, where the gain crosses 3 dB below the passband,
// interpolated between neighbouring measured steps.
std::vector<double> cornersHz(const std::vector<Point> &points);

} // namespace sweep
