#pragma once

// The spectrum analyzer's arithmetic: one frame of raw samples in, bin powers,
// levels, a total, THD+N and plot values out. Plain double arithmetic over the
// caller's arrays; nothing is allocated and no trigonometric function is
// evaluated per frame.
//
// Levels are ten times the decimal logarithm of an unnormalised power: the
// samples enter as raw integers, the window is not compensated and the
// transform is not divided by the number of points, so levels are relative
// numbers ("daB"), not referred to volts.
#include <array>

class FrameAverage;

namespace spectrum {

constexpr int kOrder = 10; // transform of 2^10 points
constexpr int kPoints = 1 << kOrder; // samples per frame
constexpr int kBins = kPoints / 2; // lower half-spectrum, DC included
constexpr int kSinTabLen = kPoints + kPoints / 4; // one and a quarter periods
constexpr int kDispLen = 512; // plot values, of which the plot shows 384
constexpr int kMaxShift = 128; // the view starts at most this many bins up

// The five-decimal pi the analyzer's table is built with.
constexpr double kPi = 3.14159;

// Fills tab[0] .. tab[kSinTabLen - 1] with sin(2k x 3.14159 / 1024); entry
// k + 256 is then the cosine of the angle of entry k.
void fillSinTab(double *tab);

// 10 log10(x); 0 gives minus infinity.
double decabel(double x);

// The low `bits` bits of `value` in reverse order; 0 when bits <= 0.
int reverse(int value, int bits);

// Windowed radix-2 transform of 2^m points in place. `tab` holds the sine
// over tabLen entries per period plus a quarter period more (at least
// tabLen / 4 + 2^m entries). On entry `re` holds the samples and `im` is
// ignored; on return re[k] is the power |X(k)|^2 of bin k and im[k] its level.
// Returns the total power of bins 0 .. 2^(m-1) - 1 in dB.
double fft(double *re, double *im, int m, const double *tab, int tabLen);

// THD+N in percent of the bin powers `power` (at least count + 2 entries;
// bins 0 and 1 and the six bins around the peak are zeroed) against the total
// `totalDb` returned by fft(). -1 when count <= 0 or no bin qualifies as peak.
double thdn(double *power, int count, double totalDb);

// Plot values for the 512 bins from bin -xPos on: 26 L - 2148 display units
// for a level L, truncated toward zero, at least -1024 (also for a level that
// is not finite). xPos is clamped to -128 .. 0; `levels` needs 640 entries.
void adjustGraph(int *disp, const double *levels, int xPos);
// The trace's vertical scale: display units per dB of level.
constexpr double kUnitsPerDb = 26.0;

constexpr int kBinsPerDivision = 32; // the device samples 32 times per division of span

// The analyzer's span in Hz per division at a time-base code 2..14 (code 14 is
// "10Hz/dz", code 2 "62.5kHz/dz"); codes below 2 sample as code 2.
double hzPerDivision(int timeBaseCode);

// The working arrays of one analysis, kept by the caller so that a frame
// allocates nothing: the sine table once, the transform's arrays in place.
struct Workspace {
    Workspace();
    std::array<double, kSinTabLen> sinTab {};
    std::array<double, kPoints> re {}; // bin powers, those THD+N leaves out zeroed
    std::array<double, kPoints> im {}; // bin levels
};

// The analyzer's two readouts of one frame.
struct Readouts {
    double powerDb = 0; // total power, "daB"
    double thdnPercent = 0; // -1 when there is no fundamental
};

// One frame of kPoints raw samples through the analyzer's arithmetic: the
// windowed transform, the total and THD+N; the levels stay in work.im.
Readouts analyse(const int *frame, Workspace &work);
// The same over the mean of the last frames' bin powers: a fresh frame's
// powers join `average` (kPoints wide; a repaint of the same frame does not
// add it again, unless the average has just restarted), and levels, total and THD+N come from the
// mean, so noise averages out while a steady signal's harmonics stay.
Readouts analyse(const int *frame, Workspace &work, FrameAverage &average, bool fresh = true);

} // namespace spectrum
