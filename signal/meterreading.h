#pragma once

#include <QString>

#include <optional>

// The multimeter's readings of one channel of a frame, from the raw samples
// the device sends (+-2047 units of 10 mV / 2^gain). Plain functions.
namespace meter {

constexpr int kGains = 7; // gain codes 0 (10 mV a unit) to 6 (0.15625 mV a unit)
constexpr int kFullScale = 2047; // a sample this far out may have been clipped

// Volts per raw unit at a gain code.
constexpr double unitVolts(int gain)
{
    return 0.010 / (1 << gain);
}

struct Reading {
    bool over = false; // a sample reached full scale: no number is true
    double dc = 0; // volts, the mean over the whole periods (the window without them)
    double acRms = 0; // volts, the RMS of what is left after the mean
    std::optional<double> hz; // without two rising crossings none
    double peakToPeak = 0; // volts
    int periods = 0; // whole periods the others were taken over
    int peak = 0; // the largest |sample|, raw units, for the range choice
};

// Over `count` samples taken at time-base code tb and gain code gain.
Reading read(const int *raw, int count, int gain, int tb);

// Which reading of a channel.
enum class Quantity { Dc, AcRms, Frequency, PeakToPeak };
constexpr int kQuantities = 4;

// A value as the meter shows it: its unit and enough digits for the range's
// resolution ("1.2345 V", "-12.34 mV", "1.0002 kHz").
QString valueText(Quantity quantity, double value, int gain);

} // namespace meter
