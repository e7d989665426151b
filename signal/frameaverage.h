#pragma once

#include <QString>

#include <array>
#include <vector>

// The mean of the last frames of a picture: the oscilloscope's aligned traces
// or the analyzer's bin powers. It holds up to `depth` frames; until that many
// have come it is the mean of those there are, so a restart (any setting that
// changes the picture) shows at once and fills in. Plain arithmetic, no
// widgets, nothing allocated per frame.
class FrameAverage {
public:
    // The depths a user may choose; 1 is no averaging.
    static constexpr std::array<int, 7> kDepths { 1, 2, 4, 8, 16, 32, 64 };

    explicit FrameAverage(int width);

    // A new depth restarts the average.
    void setDepth(int frames);
    int depth() const { return frames; }
    // Forgets every frame taken.
    void restart();
    // Takes one frame of `width` values; the oldest goes when the average is full.
    void add(const double *values);
    // The mean of the frames held, into `width` values; zeros when none.
    void mean(double *out) const;
    // Frames in the average now, at most depth().
    int count() const { return filled; }

    // The choices as the averaging lists show them ("Avg off", "Avg 2", ...).
    static QString choiceText(int depth);
    // What the readouts say of it: empty when off, else how full it is
    // ("avg 5/16").
    QString fillText() const;

private:
    int width;
    int frames = 1;
    std::vector<double> ring; // depth rows of width values
    int next = 0; // the row the next frame goes to
    int filled = 0;
};
