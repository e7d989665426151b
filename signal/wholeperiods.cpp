#include "wholeperiods.h"

#include <algorithm>
#include <cmath>

namespace periods {

Span wholePeriods(const osc::Crossings &c, int count)
{
    Span span;
    if (c.first < 0 || c.latest < 0 || c.first >= c.latest || c.latest >= count)
        return span;
    span.first = c.first;
    span.last = c.latest;
    // The detector stops once it has counted more than its limit; the span
    // then ends on that crossing, kMaxCrossings periods after the first.
    span.periods = c.count > osc::kMaxCrossings ? osc::kMaxCrossings : c.count - 1;
    return span;
}

Span wholePeriods(const int *samples, int count)
{
    return wholePeriods(osc::findCrossings(samples, count), count);
}

Span everything(int count)
{
    Span span;
    span.last = std::max(count, 0);
    return span;
}

double mean(const int *s, const Span &span)
{
    double sum = 0;
    for (int i = span.first; i < span.last; ++i)
        sum += s[i];
    return sum / span.length();
}

double meanSquare(const int *s, const Span &span)
{
    double sum = 0;
    for (int i = span.first; i < span.last; ++i)
        sum += static_cast<double>(s[i]) * s[i];
    return sum / span.length();
}

double acRms(const int *s, const Span &span)
{
    const double m = mean(s, span);
    double sum = 0;
    for (int i = span.first; i < span.last; ++i)
        sum += (s[i] - m) * (s[i] - m);
    return std::sqrt(sum / span.length());
}

double periodSamples(const Span &span)
{
    return span.periods > 0 ? static_cast<double>(span.length()) / span.periods : 0.0;
}

} // namespace periods
