#pragma once

#include "circuit.h"

#include <array>
#include <complex>
#include <cstdint>
#include <optional>
#include <random>
#include <vector>

// The two analogue inputs of the simulated ZOR. Channel 1 is the generator output looped back:
// the last table received, played at the generator's clock. Channel 2 is the 1 kHz square
// calibrator. Both carry a little deterministic noise. Time runs on from frame to frame, so the
// signals stay phase-continuous across frames.
//
// With a circuit wired in, as for a frequency-response measurement, channel 2 is the generator's
// output as played and channel 1 that output through the circuit. The played table is taken as
// one period of a band-limited signal (the generator's output filter removes the staircase), so
// the circuit's steady-state answer is exact: for a sine table the two channels differ by
// exactly the circuit's gain and phase at the played frequency.
class SignalSource {
public:
    static constexpr int kFrameSamples = 1024;
    static constexpr int kTableEntries = 512;
    static constexpr int kMaxCode = 2047;
    static constexpr double kGeneratorClockHz = 32e6;
    static constexpr double kCountsPerMillivolt = 1.6376;
    static constexpr double kCalibratorHz = 1000.0;
    static constexpr double kCalibratorMillivolts = 1000.0;

    using Frame = std::array<std::int16_t, kFrameSamples>;
    using Table = std::array<int, kTableEntries>;

    explicit SignalSource(unsigned seed = 1, double noiseMillivolts = 1.0);

    // Samples per second at a time-base code; codes 0 and 1 sample as 2 and 3.
    static double sampleRate(int timeBaseCode);
    // Millivolts per raw sample unit at a gain code: 10 mV at code 0, halved per step.
    static double unitMillivolts(int gainCode);
    // A voltage as the converter reports it: rounded to the nearest unit, clipped to +/-2047.
    static int toRaw(double millivolts, int gainCode);
    // The power-up table: one period of a full-scale cosine over 512 entries.
    static Table powerUpTable();

    void setTable(const Table& table);
    // period: generator clock cycles per entry (at least 1); length: entries played (1..512).
    void setTiming(int period, int length);
    double generatorHz() const;
    // A circuit between the generator and channel 1, or none (the loop-back and calibrator).
    void setCircuit(std::optional<Circuit> circuit);

    // One frame: 1024 samples of channel 1, or with two channels 512 of channel 1 followed by
    // 512 of channel 2 taken at the same instants.
    Frame acquire(bool twoChannels, int timeBaseCode, int gain1, int gain2);

private:
    // Both inputs in millivolts at the instants of one frame.
    struct Inputs {
        std::array<double, kFrameSamples> channel1 {};
        std::array<double, kFrameSamples> channel2 {};
    };
    // One harmonic of the played table, in millivolts, and the circuit's answer to it: a channel
    // is the sum over harmonics of Re(amplitude * z^k), z = e^(j 2 pi tablePosition / length).
    struct Harmonic {
        int k = 0;
        std::complex<double> played;
        std::complex<double> answered;
    };

    static constexpr std::size_t kBlock = kFrameSamples / 2; // one channel's samples

    // The inputs at a frame's instants, `step` seconds apart from now; time moves on past them.
    Inputs inputs(bool twoChannels, double step);
    void sumHarmonics(
        const double* position, bool twoChannels, double* channel1, double* channel2) const;
    void analyse();
    double noise();
    void advance(double seconds);

    Table table;
    int period = 62;
    int length = kTableEntries;
    double tablePosition = 0.0; // entries into the table, 0..length
    double calibratorPhase = 0.0; // 0..1 of a calibrator period
    double noiseMillivolts;
    std::mt19937 random;
    std::optional<Circuit> circuit;
    std::vector<Harmonic> harmonics; // with a circuit: the table's, those that are not negligible
};
