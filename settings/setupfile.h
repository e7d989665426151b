#pragma once

#include <QString>
#include <QStringList>

#include <array>

// The instrument set-up as text: every control of the oscilloscope, the
// generator and the analyzer, one "key=value" line each, without any file
// access, so that the reader can be tested and fuzzed on arbitrary content.
// Lists are kept as their row (0 the top entry), boxes and bars as the
// number they show.
namespace setupfile {

// setup.txt in the working folder, beside settings.txt.
constexpr const char *kFileName = "setup.txt";
constexpr int kVersion = 1;
constexpr int kTableEntries = 512;

struct Scope {
    int timeBase = 0; // row of the time-base list, 0 "50ms/dz" .. 14 "2us/dz"
    int range1 = 0; // row of the range lists, 0 "2.5V/dz" .. 6 "25mV/dz"
    int range2 = 0;
    int channel2 = 0; // 1: channel 2 on
    int trigMode = 0; // "----", "Norm", "Auto", "Single"
    int trigEdge = 0; // "Fall", "Ris"
    int trigDetector = 0; // "LF", "HF"
    int trigLevel = 0;
    int xPos = 0; // trigger position, samples from the centre
    int yPos1 = 0; // vertical positions in pixels, up positive ("Ypos1: ")
    int yPos2 = 0;
    int average = 0; // row of the averaging list, 0 "Avg off" .. 6 "Avg 64"
};

struct Generator {
    int frequency = 0; // Hz
    int step = 0; // the "x10^" box
    int amplitude = 0; // mV
    int waveform = 0; // row: sine, square, triangle, white noise, pink noise, arbitrary
    int duty = 0; // %
    int offset = 0; // mV
    std::array<int, kTableEntries> table {}; // the table drawn or computed last, counts
};

struct Analyzer {
    int span = 0; // row of the span list, 0 "10Hz/dz" .. 12 "62.5kHz/dz"
    int range = 0; // row of the range list, 0 "500mV" .. 6 "7.8mV"
    int shift = 0; // bins, -128 .. 0
    int average = 0; // row of the averaging list, 0 "Avg off" .. 6 "Avg 64"
};

// The member values say nothing of their own: what a panel starts with comes
// from the panel.
struct Setup {
    Scope scope;
    Generator generator;
    Analyzer analyzer;
};

// A value outside its range: a box or bar takes the nearest value it can
// show; a list or switch has no nearest entry, so the value is refused.
enum class OutOfRange { Clamp, Refuse };

struct Key {
    const char *name;
    int low;
    int high;
    OutOfRange rule;
    int &(*field)(Setup &);
};

// Every key but the table, in the order they are written.
extern const std::array<Key, 22> kKeys;
// The value of key in setup.
int valueOf(const Key &key, const Setup &setup);
// The generator's table: kTableEntries numbers on one line, each clamped to
// the converter's counts; another count of numbers is refused whole.
constexpr const char *kTableKey = "generator.table";
constexpr int kTableLow = -2048;
constexpr int kTableHigh = 2047;

struct Reading {
    Setup setup;
    bool foreign = false; // no "version=1" line: nothing was taken
    QStringList unread; // keys that kept their start values, in the order of kKeys, the table last
    int strayLines = 0; // lines that are neither "key=value", a comment nor blank
    bool complete() const { return !foreign && unread.isEmpty() && strayLines == 0; }
};

// The set-up a text holds, over start: every key that is missing, not a
// number, refused, or on a last line without its line end (a file cut
// short) keeps its start value. Lines starting with "#" and keys of other
// names are passed over; of a key given twice the last line counts.
Reading parse(const QString &text, const Setup &start);

// The text the program writes: a comment, "version=1", then every key.
QString format(const Setup &setup);

} // namespace setupfile
