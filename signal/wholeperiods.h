#pragma once

#include "measurements.h"

// The part of a window that holds whole periods of the signal, and the sums
// over it. The oscilloscope's readouts, the meter, the recorder and
// labbench-cli all take their DC level, RMS and frequency from these.
namespace periods {

// From the first rising crossing to the last one counted: `periods` whole
// periods. Without two crossings there is none (periods 0, first = last = 0).
struct Span {
    int first = 0;
    int last = 0;
    int periods = 0;
    bool whole() const { return periods > 0 && last > first; }
    int length() const { return last - first; }
};

Span wholePeriods(const osc::Crossings &crossings, int count);
Span wholePeriods(const int *samples, int count);
// The whole window, for a signal without two crossings (a DC level).
Span everything(int count);

// Over [first, last) of a span that is not empty.
double mean(const int *samples, const Span &span);
double meanSquare(const int *samples, const Span &span);
// The RMS of what is left after the mean.
double acRms(const int *samples, const Span &span);
// Samples per period, 0 without whole periods.
double periodSamples(const Span &span);

} // namespace periods
