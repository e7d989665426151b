#pragma once

#include <array>

// Trigger search and alignment of one acquisition frame into the 384-sample
// display window. Plain functions over arrays, no widgets.
namespace osc {

constexpr int kWindow = 384; // samples shown across the plot
constexpr int kWindowCentre = 192; // window index of the trigger sample at position 0
constexpr int kFrame = 1024; // samples in one acquisition frame
constexpr int kChannel2Start = 512; // first channel 2 sample in a two-channel frame
constexpr int kAutoTicks = 30; // refresh ticks "Auto" waits for an edge

// Full scale of each gain index, in units of 5 mV per division.
constexpr std::array<int, 7> gainTab{500, 200, 100, 50, 20, 10, 5};

enum class TrigMode { FreeRun = 0, Norm = 1, Auto = 2, Single = 3 };
enum class Detector { FallingLF = 0, RisingLF = 1, FallingHF = 2, RisingHF = 3 };

// The trigger settings word: bits 0-1 the mode, bit 2 the rising edge, bit 3 HF.
constexpr TrigMode modeOf(int word)
{
    return static_cast<TrigMode>(word & 3);
}
constexpr Detector detectorOf(int word)
{
    return static_cast<Detector>((word >> 2) & 3);
}

// Raw samples to display units, in hundredths: 100, 125, 125, 125, 156, 156, 156.
int scaleFactor(int gainIndex);
// The trigger level (the level box, display millivolt steps) as a raw sample threshold.
int rawThreshold(int level, int gainIndex);
// The level box's range, and the part of it a frame can reach at a gain (the
// converter's full scale, +-2047 raw): the largest level either way.
constexpr int kMaxLevel = 2000;
int reachableLevel(int gainIndex);
// A level in volts at the input, and the level nearest to a voltage.
double levelVolts(int level, int gainIndex);
int levelFromVolts(double volts, int gainIndex);

bool checkFallingLF(const int *s, int i, int threshold);
bool checkRisingLF(const int *s, int i, int threshold);
bool checkFallingHF(const int *s, int i, int threshold);
bool checkRisingHF(const int *s, int i, int threshold);
bool checkEdge(Detector detector, const int *s, int i, int threshold);

// First index at which the detector fires among the candidates that leave a
// whole window around the edge, or -1.
int getTrigIndex(const int *samples, int frameLength, int windowLength, int start, int threshold,
                 Detector detector);

// destination[i] = factor * source[i] / 100, truncating toward zero.
void copySignal(const int *source, int *destination, int count, int factor);

// Trigger state kept between frames.
struct TriggerState {
    int ticks = 0; // refresh ticks since the last edge
    bool triggered = false; // an edge was found ("Single": the picture is held)
    bool rearm = false; // a trigger control changed since the last frame
    int pictureStart = 0; // frame index of the last picture's first sample
};

struct TriggerSettings {
    int level = 0; // trigger level box value
    int word = 0; // mode and detector
    int xPos = 0; // trigger position, -192 to 192
    int gain1 = 0;
    int gain2 = 0;
    bool twoChannels = false;
};

// Decides whether this frame gives a new picture; if so aligns it on the
// trigger edge and writes the scaled channel 1 window to out1 and, with two
// channels, channel 2 to out2. Returns whether the outputs were written.
bool trigger(const int *raw, int *out1, int *out2, const TriggerSettings &settings,
             TriggerState &state);

} // namespace osc
