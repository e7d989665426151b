#pragma once

#include "frametiming.h"

#include <QString>

#include <array>
#include <optional>

// The oscilloscope's readouts over one channel's display window (display
// units before the vertical offset). Plain functions, no widgets.
namespace osc {

// Microseconds per division by time-base code, as the device and the
// frequency readout count them.
inline constexpr const std::array<int, 15> &timeTab = frametiming::kMicrosPerDivision;

// Rising crossings found by the hysteresis detector.
struct Crossings {
    int max = 0;
    int min = 0;
    int low = 0; // a sample below arms the detector
    int high = 0; // a sample above re-enables it after a crossing
    int mid = 0; // a sample above it while armed is a crossing
    int count = 0;
    int first = -1; // index of the first crossing, -1 if none
    int latest = -1; // index of the last crossing counted, -1 unless two or more
};

// Stops once more than this many crossings are counted.
constexpr int kMaxCrossings = 100;

Crossings findCrossings(const int *samples, int count);

// Display units to millivolts at a gain index.
double toMillivolts(double units, int gainIndex);

// A raw sample in volts: its display units at the gain, untruncated, by the
// readouts' own scale.
double rawToVolts(int raw, int gainIndex);

// Readout text: "V"/"kHz" with 2 decimals from 10000, with 3 decimals from
// 1000, otherwise (negatives included) the small unit with 1 decimal.
QString formatValue(double x, const char *unit, const char *kiloUnit);

// Seconds between two samples as the frequency readout counts them at a
// time-base code: the division's time over 16 samples, with 1024 as 1000.
double samplePeriodSeconds(int tbIndex);
// The time of sample `index` from the frame's first, on the same count.
double sampleTimeSeconds(int index, int tbIndex);

// The readouts as numbers. RMS and average are 0 without two crossings (a
// whole period), as their texts show "0.0mV"; the frequency is then absent.
double rmsMillivolts(const int *samples, int count, int gainIndex);
double avgMillivolts(const int *samples, int count, int gainIndex);
double vppMillivolts(const int *samples, int count, int gainIndex);
std::optional<double> frequencyHz(const int *samples, int count, int tbIndex);

QString calcRMS(const int *samples, int count, int gainIndex);
QString calcAvg(const int *samples, int count, int gainIndex);
QString calcVpp(const int *samples, int count, int gainIndex);
QString calcFreq(const int *samples, int count, int tbIndex);

} // namespace osc
