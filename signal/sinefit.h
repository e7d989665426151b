#pragma once

#include <complex>
#include <optional>

// A sine in a block of samples: its frequency in cycles per sample, found in
// the samples themselves, and its complex amplitude at a known frequency, by
// least squares. Over a frame the fit is exact for a clean sine whatever the
// number of periods it holds, and it averages the noise of every sample.
// Plain functions over arrays, no widgets.
namespace sinefit {

struct Fit {
    // x[i] = Re(amplitude * exp(j * 2 pi * cycles * (i - (n - 1) / 2))) + offset:
    // the phase counts from the block's middle sample.
    std::complex<double> amplitude;
    double offset = 0;
    double cyclesPerSample = 0;
    double residualRms = 0; // what the fit leaves: the noise, the harmonics
};

// The frequency from the block's crossings of its mean, both ways, with a
// hysteresis of a third of the swing; nothing without two crossings (less
// than half a period, or no swing at all).
std::optional<double> roughCycles(const int *x, int n);

// The amplitude and offset at a given frequency (cycles per sample, 0 < f < 0.5).
Fit fitAt(const int *x, int n, double cyclesPerSample);

// The frequency too, refined from roughCycles by least squares (the
// four-parameter fit); nothing where roughCycles finds none.
std::optional<Fit> fit(const int *x, int n);

// How far an amplitude fitted over n samples may be off through noise of the
// given RMS: one standard deviation.
double amplitudeError(double residualRms, int n);

} // namespace sinefit
