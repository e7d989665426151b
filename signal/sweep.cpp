#include "sweep.h"

#include "frametiming.h"
#include "sinefit.h"

#include <algorithm>
#include <cmath>

namespace sweep {

namespace {

    constexpr double kPi = 3.14159265358979323846;
    // Half power: the corner of a circuit is where its gain is this far below the passband.
    constexpr double kCornerDb = 3.0102999566398120;
    constexpr int kFastestCode = 2; // codes 0 and 1 sample as 2 and 3
    // A range holds a peak when the peak leaves it this much room: 3 dB.
    constexpr double kHeadroom = 0.7071;
    // Below this part of full scale a signal is measured again more sensitively.
    constexpr int kTinyPeak = kFullScale / 10;
    // The reference must stand this far above its own noise, and this many units high.
    constexpr double kReferenceSnr = 10;
    constexpr double kReferenceUnits = 4;
    // The response must stand this far above the noise to count, and this far
    // to be taken from one frame.
    constexpr double kResponseSnr = 3;
    constexpr double kQuietSnr = 30;
    // How far the reference's frequency may lie from the played one at the
    // time base's nominal sample rate: the device's sample clock is not the
    // nominal one, but a signal this far off is not the generator's.
    constexpr double kFrequencyTolerance = 0.25;

    int pointCount(const Plan &plan)
    {
        if (plan.points > 0)
            return plan.points;
        const double decades = std::log10(plan.toHz / plan.fromHz);
        return std::max(2, static_cast<int>(std::lround(plan.perDecade * decades)) + 1);
    }

    // The value at x of the polynomial through the points (xs, ys).
    double lagrange(const std::vector<double> &xs, const std::vector<double> &ys, double x)
    {
        double sum = 0;
        for (std::size_t i = 0; i < xs.size(); ++i) {
            double term = ys[i];
            for (std::size_t j = 0; j < xs.size(); ++j)
                if (j != i)
                    term *= (x - xs[j]) / (xs[i] - xs[j]);
            sum += term;
        }
        return sum;
    }

} // namespace

std::optional<QString> problem(const Plan &plan)
{
    const auto inGeneratorRange = [](double hz) {
        return hz >= synthesis::kLowestHz && hz <= synthesis::kHighestHz;
    };
    if (!inGeneratorRange(plan.fromHz) || !inGeneratorRange(plan.toHz))
        return QStringLiteral("the frequencies must lie within 1 Hz .. 500 kHz");
    if (!(plan.fromHz < plan.toHz))
        return QStringLiteral("the start frequency must lie below the stop frequency");
    if (plan.points == 0 && (plan.perDecade < 1 || plan.perDecade > 100))
        return QStringLiteral("points per decade must be 1 .. 100");
    if (plan.points != 0 && (plan.points < 2 || plan.points > kMaxPoints))
        return QStringLiteral("the number of points must be 2 .. %1").arg(kMaxPoints);
    if (plan.points == 0 && pointCount(plan) > kMaxPoints)
        return QStringLiteral("more than %1 points").arg(kMaxPoints);
    if (plan.amplitudeMv < 1 || plan.amplitudeMv > 1250)
        return QStringLiteral("the amplitude must be 1 mV .. 1.25 V");
    return std::nullopt;
}

std::vector<Step> steps(const Plan &plan)
{
    std::vector<Step> out;
    if (problem(plan))
        return out;
    const int n = pointCount(plan);
    const double ratio = plan.toHz / plan.fromHz;
    for (int i = 0; i < n; ++i) {
        const double wanted = plan.fromHz * std::pow(ratio, double(i) / (n - 1));
        const synthesis::SampleClock clock = synthesis::sampleClockAt(wanted);
        const double played = synthesis::playedHz(clock).value_or(0.0);
        if (!out.empty() && played <= out.back().playedHz)
            continue;
        out.push_back({ clock, played });
    }
    return out;
}

int timeBaseFor(double hz)
{
    for (int code = kFastestCode; code <= frametiming::kSlowestCode; ++code)
        if (hz * kSamples * frametiming::samplePeriodSeconds(code) >= kMinPeriods)
            return code;
    return frametiming::kSlowestCode;
}

double voltsPerUnit(int range)
{
    return 0.01 / double(1 << std::clamp(range, 0, kMostSensitive));
}

int rangeFor(double peakVolts)
{
    for (int range = kMostSensitive; range > 0; --range)
        if (peakVolts <= kHeadroom * kFullScale * voltsPerUnit(range))
            return range;
    return 0;
}

Look look(const int *samples, int n)
{
    Look seen;
    for (int i = 0; i < n; ++i) {
        const int magnitude = std::abs(samples[i]);
        seen.peak = std::max(seen.peak, magnitude);
        if (magnitude >= kFullScale)
            seen.clipped = true;
    }
    return seen;
}

int nextRange(int range, const Look &seen)
{
    if (seen.clipped)
        return std::max(0, range - 2);
    if (seen.peak < kTinyPeak && range < kMostSensitive)
        return std::max(range + 1, rangeFor(seen.peak * voltsPerUnit(range)));
    return range;
}

QString reasonText(Reason reason)
{
    switch (reason) {
    case Reason::None:
        return {};
    case Reason::ReferenceOverRange:
        return QStringLiteral("CH2 over range");
    case Reason::ReferenceTooSmall:
        return QStringLiteral("no signal on CH2");
    case Reason::ReferenceNotPlayed:
        return QStringLiteral("CH2 not at the played frequency");
    case Reason::ResponseOverRange:
        return QStringLiteral("CH1 over range");
    case Reason::ResponseBelowNoise:
        return QStringLiteral("CH1 below the noise");
    case Reason::RangeUnsettled:
        return QStringLiteral("range did not settle");
    case Reason::NoFrame:
        return QStringLiteral("no frame from the device");
    }
    return {};
}

double Point::gainDb() const
{
    return 20 * std::log10(std::abs(response));
}

double Point::phaseDeg() const
{
    const double degrees = std::arg(response) * 180 / kPi;
    return degrees <= -180 ? degrees + 360 : degrees;
}

Verdict judge(const int *frame, int range1, int range2, int timeBase, double playedHz)
{
    const int *ch1 = frame;
    const int *ch2 = frame + kSamples;
    Verdict v;
    v.point.hz = playedHz;
    v.point.range1 = range1;
    v.point.range2 = range2;
    v.point.timeBase = timeBase;
    const auto notMeasured = [&](Reason reason) {
        v.kind = Verdict::Kind::NotMeasured;
        v.point.reason = reason;
        return v;
    };

    const Look look1 = look(ch1, kSamples);
    const Look look2 = look(ch2, kSamples);
    if (look2.clipped && range2 == 0)
        return notMeasured(Reason::ReferenceOverRange);
    if (look1.clipped && range1 == 0)
        return notMeasured(Reason::ResponseOverRange);
    v.range1 = nextRange(range1, look1);
    v.range2 = nextRange(range2, look2);
    if (v.range1 != range1 || v.range2 != range2)
        return v; // Retry

    const std::optional<sinefit::Fit> reference = sinefit::fit(ch2, kSamples);
    if (!reference)
        return notMeasured(Reason::ReferenceTooSmall);
    const double a2 = std::abs(reference->amplitude);
    if (a2 < kReferenceUnits
        || a2 < kReferenceSnr * sinefit::amplitudeError(reference->residualRms, kSamples))
        return notMeasured(Reason::ReferenceTooSmall);
    const double expected = playedHz * frametiming::samplePeriodSeconds(timeBase);
    if (std::abs(reference->cyclesPerSample / expected - 1) > kFrequencyTolerance)
        return notMeasured(Reason::ReferenceNotPlayed);

    const sinefit::Fit response = sinefit::fitAt(ch1, kSamples, reference->cyclesPerSample);
    const double a1 = std::abs(response.amplitude);
    const double noise = sinefit::amplitudeError(response.residualRms, kSamples);
    v.point.ch1Volts = a1 * voltsPerUnit(range1);
    v.point.ch2Volts = a2 * voltsPerUnit(range2);
    if (a1 < kResponseSnr * noise)
        return notMeasured(Reason::ResponseBelowNoise);
    v.point.response = (response.amplitude * voltsPerUnit(range1))
        / (reference->amplitude * voltsPerUnit(range2));
    v.kind = Verdict::Kind::Measured;
    v.noisy = a1 < kQuietSnr * noise;
    return v;
}

Point combine(const Point &first, const Point &second)
{
    Point p = first;
    p.response = (first.response + second.response) / 2.0;
    p.ch1Volts = (first.ch1Volts + second.ch1Volts) / 2;
    p.ch2Volts = (first.ch2Volts + second.ch2Volts) / 2;
    return p;
}

std::optional<double> passbandDb(const std::vector<Point> &points)
{
    std::optional<double> best;
    for (const Point &p : points)
        if (p.measured() && (!best || p.gainDb() > *best))
            best = p.gainDb();
    return best;
}

std::vector<double> cornersHz(const std::vector<Point> &points)
{
    std::vector<double> corners;
    const std::optional<double> passband = passbandDb(points);
    if (!passband)
        return corners;
    const double level = *passband - kCornerDb;
    const auto measuredAt = [&](std::ptrdiff_t i) {
        return i >= 0 && i < std::ptrdiff_t(points.size()) && points[std::size_t(i)].measured();
    };
    for (std::ptrdiff_t i = 0; i + 1 < std::ptrdiff_t(points.size()); ++i) {
        if (!measuredAt(i) || !measuredAt(i + 1))
            continue;
        const double g0 = points[std::size_t(i)].gainDb() - level;
        const double g1 = points[std::size_t(i + 1)].gainDb() - level;
        if (!(g0 > 0 && g1 <= 0) && !(g0 <= 0 && g1 > 0))
            continue;
        // The gain against log frequency through up to four neighbouring steps
        // (a cubic: a first-order roll-off is met to a hundredth of a percent
        // at ten steps a decade), the crossing found by halving within the pair.
        std::vector<double> xs, ys;
        for (std::ptrdiff_t k = i - 1; k <= i + 2; ++k) {
            if (!measuredAt(k))
                continue;
            xs.push_back(std::log10(points[std::size_t(k)].hz));
            ys.push_back(points[std::size_t(k)].gainDb() - level);
        }
        double a = std::log10(points[std::size_t(i)].hz);
        double b = std::log10(points[std::size_t(i + 1)].hz);
        const double signA = lagrange(xs, ys, a) > 0 ? 1 : -1;
        for (int k = 0; k < 60; ++k) {
            const double m = (a + b) / 2;
            if ((lagrange(xs, ys, m) > 0 ? 1 : -1) == signA)
                a = m;
            else
                b = m;
        }
        corners.push_back(std::pow(10.0, (a + b) / 2));
    }
    return corners;
}

} // namespace sweep
