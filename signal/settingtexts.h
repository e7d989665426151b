#pragma once

#include <array>

// The texts of the instruments' setting lists, in list order, shared by the
// panels and by anything that names a setting as the window does.
namespace texts {

// Oscilloscope time base; the time-base code is 14 minus the row.
constexpr std::array<const char *, 15> kTimeBases
    = { "50ms/dz", "20ms/dz", "10ms/dz", "5ms/dz", "2ms/dz", "1ms/dz", "500us/dz", "200us/dz",
          "100us/dz", "50us/dz", "20us/dz", "10us/dz", "8us/dz", "5us/dz", "2us/dz" };
// Oscilloscope range per channel; the row is the gain code.
constexpr std::array<const char *, 7> kGains
    = { "2.5V/dz", "1V/dz", "500mV/dz", "250mV/dz", "100mV/dz", "50mV/dz", "25mV/dz" };
constexpr std::array<const char *, 4> kTrigModes = { "----", "Norm", "Auto", "Single" };
constexpr std::array<const char *, 2> kEdges = { "Fall", "Ris" };
constexpr std::array<const char *, 2> kDetectors = { "LF", "HF" };

// Analyzer span, its text and its Hz per division; the time-base code is 14
// minus the row. The one table of spans: the panel's list, the export, the
// spectrum's bin width and the cursor readouts all read it.
struct Span {
    const char *text;
    int hzPerDivision;
};
constexpr std::array<Span, 13> kSpans = { { { "10Hz/dz", 10 }, { "25Hz/dz", 25 },
    { "50Hz/dz", 50 }, { "100Hz/dz", 100 }, { "250Hz/dz", 250 }, { "500Hz/dz", 500 },
    { "1kHz/dz", 1000 }, { "2.5kHz/dz", 2500 }, { "5kHz/dz", 5000 }, { "10kHz/dz", 10000 },
    { "25kHz/dz", 25000 }, { "50kHz/dz", 50000 }, { "62.5kHz/dz", 62500 } } };
// Analyzer input range; the row is the gain code.
constexpr std::array<const char *, 7> kRanges
    = { "500mV", "250mV", "125mV", "62.5mV", "31mV", "15.6mV", "7.8mV" };

// Generator waveform rows.
constexpr std::array<const char *, 6> kWaveforms
    = { "sine", "square", "triangle", "white noise", "pink noise", "arbitrary" };

constexpr int kSlowestTimeBase = 14; // time-base code of row 0

} // namespace texts
