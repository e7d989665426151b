#include "meterreading.h"

#include "measurements.h"
#include "wholeperiods.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace meter {

Reading read(const int *raw, int count, int gain, int tb)
{
    Reading r;
    if (count <= 0)
        return r;
    const osc::Crossings c = osc::findCrossings(raw, count);
    r.peak = std::max(std::abs(c.max), std::abs(c.min));
    r.over = r.peak >= kFullScale;
    r.peakToPeak = (c.max - c.min) * unitVolts(gain);
    // A DC level, or fewer than two periods, is taken over the whole window:
    // no part of it is a better choice than another.
    periods::Span span = periods::wholePeriods(c, count);
    r.periods = span.periods;
    if (span.whole())
        r.hz = 1.0 / (periods::periodSamples(span) * osc::samplePeriodSeconds(tb));
    else
        span = periods::everything(count);
    r.dc = periods::mean(raw, span) * unitVolts(gain);
    r.acRms = periods::acRms(raw, span) * unitVolts(gain);
    return r;
}

namespace {

    // Decimals for a value in `unit`s when one raw unit of the range is
    // `step` of them: one digit below the step, since a reading is the mean
    // of hundreds of samples; at most 4.
    int decimalsFor(double step)
    {
        const int d = static_cast<int>(std::ceil(-std::log10(step))) + 1;
        return std::clamp(d, 0, 4);
    }

} // namespace

QString valueText(Quantity quantity, double value, int gain)
{
    if (quantity == Quantity::Frequency) {
        if (std::fabs(value) >= 1000)
            return QString::number(value / 1000, 'f', 4) + QStringLiteral(" kHz");
        return QString::number(value, 'f', std::fabs(value) >= 100 ? 2 : 3) + QStringLiteral(" Hz");
    }
    const double step = unitVolts(gain);
    if (std::fabs(value) >= 1.0 || step >= 0.01)
        return QString::number(value, 'f', decimalsFor(step)) + QStringLiteral(" V");
    return QString::number(value * 1000, 'f', decimalsFor(step * 1000)) + QStringLiteral(" mV");
}

} // namespace meter
