#include "signalsource.h"

#include <algorithm>
#include <cmath>

namespace {

// The analyzer's span per grid division for time-base codes 2..14; the device samples 32 times
// per division.
constexpr std::array<double, 13> kHzPerDivision { 62500, 50000, 25000, 10000, 5000, 2500, 1000, 500,
    250, 100, 50, 25, 10 };
constexpr int kSamplesPerDivision = 32;
constexpr int kMaxGainCode = 6;
constexpr double kPi = 3.14159265358979323846;

} // namespace

SignalSource::SignalSource(unsigned seed, double noise)
    : table(powerUpTable())
    , noiseMillivolts(noise)
    , random(seed)
{
}

double SignalSource::sampleRate(int timeBaseCode)
{
    const int code = std::clamp(timeBaseCode, 0, 14);
    // The two fastest codes are beyond the converter: they sample like codes 2 and 3.
    const int row = code < 2 ? code : code - 2;
    return kHzPerDivision[static_cast<std::size_t>(row)] * kSamplesPerDivision;
}

double SignalSource::unitMillivolts(int gainCode)
{
    const int code = std::clamp(gainCode, 0, kMaxGainCode);
    return 10.0 / static_cast<double>(1 << code);
}

int SignalSource::toRaw(double millivolts, int gainCode)
{
    const long units = std::lround(millivolts / unitMillivolts(gainCode));
    return static_cast<int>(std::clamp<long>(units, -kMaxCode, kMaxCode));
}

SignalSource::Table SignalSource::powerUpTable()
{
    Table t {};
    for (int k = 0; k < kTableEntries; ++k)
        t[static_cast<std::size_t>(k)]
            = static_cast<int>(std::lround(kMaxCode * std::cos(2.0 * kPi * k / kTableEntries)));
    return t;
}

void SignalSource::setTable(const Table& t)
{
    table = t;
}

void SignalSource::setTiming(int newPeriod, int newLength)
{
    period = std::max(1, newPeriod);
    length = std::clamp(newLength, 1, kTableEntries);
    tablePosition = std::fmod(tablePosition, static_cast<double>(length));
}

double SignalSource::generatorHz() const
{
    return kGeneratorClockHz / (static_cast<double>(length) * period);
}

SignalSource::Frame SignalSource::acquire(bool twoChannels, int timeBaseCode, int gain1, int gain2)
{
    const double step = 1.0 / sampleRate(timeBaseCode);
    Frame f {};
    if (twoChannels) {
        constexpr int half = kFrameSamples / 2;
        for (int i = 0; i < half; ++i) {
            f[static_cast<std::size_t>(i)]
                = static_cast<std::int16_t>(toRaw(channel1Millivolts() + noise(), gain1));
            f[static_cast<std::size_t>(i + half)]
                = static_cast<std::int16_t>(toRaw(channel2Millivolts() + noise(), gain2));
            advance(step);
        }
    } else {
        for (auto& sample : f) {
            sample = static_cast<std::int16_t>(toRaw(channel1Millivolts() + noise(), gain1));
            advance(step);
        }
    }
    return f;
}

// The converter holds each entry for one sample period of the generator: no interpolation.
double SignalSource::channel1Millivolts() const
{
    const auto entry = std::min(static_cast<int>(tablePosition), length - 1);
    return table[static_cast<std::size_t>(entry)] / kCountsPerMillivolt;
}

double SignalSource::channel2Millivolts() const
{
    return calibratorPhase < 0.5 ? kCalibratorMillivolts : -kCalibratorMillivolts;
}

double SignalSource::noise()
{
    if (noiseMillivolts <= 0.0)
        return 0.0;
    // Uniform in [-noise, +noise], from the generator's raw output so every platform agrees.
    const double unit = static_cast<double>(random()) / static_cast<double>(std::mt19937::max());
    return (2.0 * unit - 1.0) * noiseMillivolts;
}

void SignalSource::advance(double seconds)
{
    tablePosition += seconds * kGeneratorClockHz / period;
    tablePosition = std::fmod(tablePosition, static_cast<double>(length));
    calibratorPhase = std::fmod(calibratorPhase + seconds * kCalibratorHz, 1.0);
}
