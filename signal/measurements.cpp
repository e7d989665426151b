#include "measurements.h"

#include "trigger.h"
#include "wholeperiods.h"

#include <cmath>

namespace osc {

namespace {

    QString millivolts(double mv)
    {
        return formatValue(mv, "mV", "V");
    }

} // namespace

Crossings findCrossings(const int *s, int count)
{
    Crossings c;
    if (count <= 0)
        return c;
    // The true extremes of the window: display values reach about +-51000 at
    // the finest gain, beyond any fixed starting bound.
    c.max = s[0];
    c.min = s[0];
    for (int i = 1; i < count; ++i) {
        if (s[i] > c.max)
            c.max = s[i];
        if (s[i] < c.min)
            c.min = s[i];
    }
    c.low = (5 * c.max + 11 * c.min) / 16;
    c.high = (11 * c.max + 5 * c.low) / 16;
    c.mid = (c.low + c.high) / 2;

    enum class State { WaitLow, Armed, Fired };
    State state = State::WaitLow;
    for (int i = 0; i < count; ++i) {
        switch (state) {
        case State::WaitLow:
            if (s[i] < c.low)
                state = State::Armed;
            break;
        case State::Armed:
            if (s[i] > c.mid) {
                ++c.count;
                if (c.first < 0)
                    c.first = i;
                else
                    c.latest = i;
                state = State::Fired;
            }
            break;
        case State::Fired:
            if (s[i] > c.high)
                state = State::WaitLow;
            break;
        }
        if (c.count > kMaxCrossings)
            break;
    }
    return c;
}

double toMillivolts(double units, int gainIndex)
{
    return units * gainTab[static_cast<std::size_t>(gainIndex)] / 50.0;
}

double rawToVolts(int raw, int gainIndex)
{
    return toMillivolts(raw * (scaleFactor(gainIndex) / 100.0), gainIndex) / 1000.0;
}

QString formatValue(double x, const char *unit, const char *kiloUnit)
{
    if (x >= 10000)
        return QString::number(x / 1000, 'f', 2) + QLatin1String(kiloUnit);
    if (x >= 1000)
        return QString::number(x / 1000, 'f', 3) + QLatin1String(kiloUnit);
    return QString::number(x, 'f', 1) + QLatin1String(unit);
}

double samplePeriodSeconds(int tbIndex)
{
    return frametiming::samplePeriodSeconds(tbIndex);
}

double sampleTimeSeconds(int index, int tbIndex)
{
    // One division in the numerator keeps whole-number times exact in the table.
    return index * (timeTab[static_cast<std::size_t>(tbIndex)] * 0.0625) / 1024000.0;
}

double rmsMillivolts(const int *s, int count, int gainIndex)
{
    const periods::Span span = periods::wholePeriods(s, count);
    if (!span.whole())
        return 0;
    return toMillivolts(std::sqrt(periods::meanSquare(s, span)), gainIndex);
}

double avgMillivolts(const int *s, int count, int gainIndex)
{
    const periods::Span span = periods::wholePeriods(s, count);
    if (!span.whole())
        return 0;
    return toMillivolts(periods::mean(s, span), gainIndex);
}

double vppMillivolts(const int *s, int count, int gainIndex)
{
    if (count <= 0)
        return 0;
    const Crossings c = findCrossings(s, count);
    return toMillivolts(c.max - c.min, gainIndex);
}

std::optional<double> frequencyHz(const int *s, int count, int tbIndex)
{
    const Crossings c = findCrossings(s, count);
    if (c.count < 2)
        return std::nullopt;
    const double period = periods::periodSamples(periods::wholePeriods(c, count));
    return 1024000.0 / (timeTab[static_cast<std::size_t>(tbIndex)] * period * 0.0625);
}

QString calcRMS(const int *s, int count, int gainIndex)
{
    return millivolts(rmsMillivolts(s, count, gainIndex));
}

QString calcAvg(const int *s, int count, int gainIndex)
{
    return millivolts(avgMillivolts(s, count, gainIndex));
}

QString calcVpp(const int *s, int count, int gainIndex)
{
    return millivolts(vppMillivolts(s, count, gainIndex));
}

QString calcFreq(const int *s, int count, int tbIndex)
{
    // Without two crossings there is no period; the readout shows a plain
    // number derived from the window's low threshold instead.
    if (const auto hz = frequencyHz(s, count, tbIndex))
        return formatValue(*hz, "Hz", "kHz");
    return QString::number(3 * findCrossings(s, count).low / 8);
}

} // namespace osc
