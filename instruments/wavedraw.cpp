#include "wavedraw.h"

#include "plotgeometry.h"

#include <cstdlib>

namespace wavedraw {

namespace {

    using plot::kBottom;
    using plot::kLeft;
    using plot::kRight;
    using plot::kTop;
    constexpr int kZeroRow = plot::kCentreY;
    constexpr int kCountsPerRow = 8;

    // Remainder that stays in 0..n-1 also for negative a.
    int wrap(int a, int n)
    {
        const int r = a % n;
        return r < 0 ? r + n : r;
    }

} // namespace

std::optional<ArbPoint> arbPoint(int x, int y)
{
    if (x <= kLeft || x >= kRight || y <= kTop || y >= kBottom)
        return std::nullopt;
    return ArbPoint { x - kLeft, (kZeroRow - y) * kCountsPerRow };
}

int arbEntry(int column, int n)
{
    return (wrap(column, kPeriodColumns) * n) / kPeriodColumns;
}

void lineArb(int *table, int n, int x0, int y0, int x1, int y1)
{
    const int dx = std::abs(x1 - x0);
    const int dy = std::abs(y1 - y0);
    const int sx = x1 >= x0 ? 1 : -1;
    const int sy = y1 >= y0 ? 1 : -1;
    if (n <= 0 || (dx == 0 && dy == 0))
        return;
    int x = x0;
    int y = y0;
    int err = 0;
    if (dx >= dy) {
        do {
            x += sx;
            err += 2 * dy;
            if (err > dx) {
                y += sy;
                err -= 2 * dx;
            }
            table[arbEntry(x, n)] = y;
        } while (x != x1);
    } else {
        do {
            y += sy;
            err += 2 * dx;
            if (err > dy) {
                x += sx;
                err -= 2 * dy;
            }
            table[arbEntry(x, n)] = y;
        } while (y != y1);
    }
}

void adjustGraph(const int *src, int n, int *dst, int first, int offset, int step)
{
    if (n <= 0)
        return;
    for (int x = first < 0 ? 0 : first; x < kPreviewColumns; ++x)
        dst[x] = offset + src[wrap((x * step) / kPeriodColumns - first, n)] / 2;
}

} // namespace wavedraw
