#pragma once

#include <optional>

// Drawing an arbitrary wave over the plot, and the preview of the table.
// The plot is 768 columns wide: columns 0..511 are one period of the table,
// 512..767 repeat its first half. A table value t sits at window row
// 286 - t / 8. Plain functions over arrays, no widgets.

namespace wavedraw {

constexpr int kPeriodColumns = 512;
constexpr int kPreviewColumns = 768;

// A window point inside the plot frame, as a table column and value.
struct ArbPoint {
    int column = 0; // 1..767
    int value = 0; // -2040..2040, in steps of 8
};

// Maps a main-window point; points on or outside the frame (x outside
// 11..777, y outside 31..541) give nothing.
std::optional<ArbPoint> arbPoint(int x, int y);

// The entry of an n-entry table that a column edits: columns share entries
// when n is below 512, and columns past 511 wrap to the first half period.
int arbEntry(int column, int n);

// Bresenham line from (x0, y0) to (x1, y1) in (column, value) space, values
// in steps of 1. The start column is not written when the column drives the
// walk; the end point is always the last entry written.
void lineArb(int *table, int n, int x0, int y0, int x1, int y1);

// Preview columns first..767 from an n-entry table:
// dst[x] = offset + src[((x * step) / 512 - first) mod n] / 2.
void adjustGraph(const int *src, int n, int *dst, int first, int offset, int step);

} // namespace wavedraw
