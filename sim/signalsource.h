#pragma once

#include <array>
#include <cstdint>
#include <random>

// The two analogue inputs of the simulated ZOR. Channel 1 is the generator output looped back:
// the last table received, played at the generator's clock. Channel 2 is the 1 kHz square
// calibrator. Both carry a little deterministic noise. Time runs on from frame to frame, so the
// signals stay phase-continuous across frames.
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

    // One frame: 1024 samples of channel 1, or with two channels 512 of channel 1 followed by
    // 512 of channel 2 taken at the same instants.
    Frame acquire(bool twoChannels, int timeBaseCode, int gain1, int gain2);

private:
    double channel1Millivolts() const;
    double channel2Millivolts() const;
    double noise();
    void advance(double seconds);

    Table table;
    int period = 62;
    int length = kTableEntries;
    double tablePosition = 0.0; // entries into the table, 0..length
    double calibratorPhase = 0.0; // 0..1 of a calibrator period
    double noiseMillivolts;
    std::mt19937 random;
};
