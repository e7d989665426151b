#pragma once

// Generator arithmetic: the 512-entry table the ZOR's 12-bit converter plays,
// and the table length and sample period that give a requested frequency.
// Plain functions over arrays, no widgets.

#include <optional>

namespace synthesis {

// Rows of the panel's waveform list; the row index is what the panel passes on.
enum class Waveform : int { Sine = 0, Square, Triangle, WhiteNoise, PinkNoise, Arbitrary };

constexpr int kEntries = 512; // table size, also the phase grid of the sine
constexpr int kMinCount = -2048; // converter counts, centred on zero
constexpr int kMaxCount = 2047;
constexpr double kCountsPerMillivolt = 1.6376; // 1250 mV is full scale
constexpr long long kDeviceClockHz = 32000000;
constexpr int kLowestHz = 1; // the frequency box's range
constexpr int kHighestHz = 500000;

// Millivolts to converter counts, truncated toward zero (1250 mV -> 2047).
int millivoltsToCounts(int millivolts);

// The derived parameters a table depends on. Two settings that give the same
// derived values give the same table (e.g. 50 % and 60 % duty on 2 entries).
struct Shape {
    int tab = 0; // table length, 2..512
    int type = 0; // Waveform row
    int amplitude = 0; // peak in counts
    int dutyPos = 0; // entry where the square falls and the triangle peaks
    int offset = 0; // DC offset in counts

    bool operator==(const Shape &o) const
    {
        return tab == o.tab && type == o.type && amplitude == o.amplitude && dutyPos == o.dutyPos
            && offset == o.offset;
    }
    bool operator!=(const Shape &o) const { return !(*this == o); }
};

// Panel settings (length, row, mV, %, mV) to the derived parameters.
Shape shapeOf(int tab, int type, int gainMv, int dutyPercent, int dcShiftMv);

// Rewrites entries 0..tab-1 for sine, square and triangle; the noise rows and
// "arbitrary" leave the table as it is (the last computed or drawn wave).
// Entries from tab on are never touched.
void synthesize(int *table, const Shape &shape);

// What the device needs for a frequency: it steps through `tab` entries, one
// every `period` ticks of its 32 MHz clock.
struct SampleClock {
    int tab = 0;
    int period = 0;
};

// Frequency in Hz (1..500000) to table length and sample period, worked in
// 1/64 Hz. An exact hit is replaced by the next candidate up; above 500 kHz,
// and at 500 kHz itself, the result is 2 entries of 32 ticks.
SampleClock sampleClock(int hz);
// The same search for a frequency with a fraction (labbench-cli's --freq), to
// the nearest 1/64 Hz.
SampleClock sampleClockAt(double hz);

// The frequency the device plays from a table length and period:
// 32 MHz / (tab x period), e.g. 1008.065 Hz for the 1000 Hz setting (512, 62).
// Nothing for a length or period below 1, which plays nothing.
std::optional<double> playedHz(const SampleClock &clock);

} // namespace synthesis
