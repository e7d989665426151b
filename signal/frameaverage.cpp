#include "frameaverage.h"

#include <algorithm>
#include <cstddef>

FrameAverage::FrameAverage(int w)
    : width(std::max(w, 1))
{
    setDepth(1);
}

void FrameAverage::setDepth(int depth)
{
    frames = std::clamp(depth, kDepths.front(), kDepths.back());
    ring.assign(static_cast<std::size_t>(frames) * static_cast<std::size_t>(width), 0.0);
    restart();
}

QString FrameAverage::choiceText(int depth)
{
    return depth <= 1 ? QStringLiteral("Avg off") : QStringLiteral("Avg %1").arg(depth);
}

QString FrameAverage::fillText() const
{
    return frames <= 1 ? QString() : QStringLiteral("avg %1/%2").arg(filled).arg(frames);
}

void FrameAverage::restart()
{
    next = 0;
    filled = 0;
}

void FrameAverage::add(const double *values)
{
    std::copy(values, values + width, ring.begin() + static_cast<std::ptrdiff_t>(next) * width);
    next = (next + 1) % frames;
    filled = std::min(filled + 1, frames);
}

// Summed afresh each time rather than kept as a running sum: bin powers span
// twelve decades, and a sum that has the old frames taken out again keeps
// their rounding, which would swamp the quiet bins within minutes.
void FrameAverage::mean(double *out) const
{
    std::fill(out, out + width, 0.0);
    if (filled == 0)
        return;
    for (int row = 0; row < filled; ++row) {
        const double *values = ring.data() + static_cast<std::ptrdiff_t>(row) * width;
        for (int i = 0; i < width; ++i)
            out[i] += values[i];
    }
    for (int i = 0; i < width; ++i)
        out[i] /= filled;
}
