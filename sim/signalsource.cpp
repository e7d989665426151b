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
// Harmonics of the played table below this are left out of the circuit's sums: a nanovolt, far
// under the converter's finest step of 0.156 mV even were all 256 of them to add up.
constexpr double kNegligibleMillivolts = 1e-6;

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
    analyse();
}

void SignalSource::setTiming(int newPeriod, int newLength)
{
    period = std::max(1, newPeriod);
    length = std::clamp(newLength, 1, kTableEntries);
    tablePosition = std::fmod(tablePosition, static_cast<double>(length));
    analyse();
}

double SignalSource::generatorHz() const
{
    return kGeneratorClockHz / (static_cast<double>(length) * period);
}

void SignalSource::setCircuit(std::optional<Circuit> c)
{
    circuit = c;
    analyse();
}

// The discrete Fourier transform of the played entries, harmonics 0 up to half the length, each
// with the circuit's response at its frequency. Done when the table, the timing or the circuit
// changes (0.2 ms for 512 entries, optimised); the frames then only sum the harmonics.
void SignalSource::analyse()
{
    harmonics.clear();
    if (!circuit)
        return;
    const auto n = static_cast<std::size_t>(length);
    // e^(-j 2 pi m / n) for every m; harmonic k takes every kth, round and round.
    std::array<double, kTableEntries> turnRe {};
    std::array<double, kTableEntries> turnIm {};
    for (std::size_t m = 0; m < n; ++m) {
        turnRe[m] = std::cos(2.0 * kPi * static_cast<double>(m) / static_cast<double>(n));
        turnIm[m] = -std::sin(2.0 * kPi * static_cast<double>(m) / static_cast<double>(n));
    }
    const int* const entry = table.data();
    const double* const cosine = turnRe.data();
    const double* const negativeSine = turnIm.data();
    for (std::size_t k = 0; 2 * k <= n; ++k) {
        double re = 0.0;
        double im = 0.0;
        std::size_t m = 0;
        for (std::size_t i = 0; i < n; ++i) {
            re += entry[i] * cosine[m];
            im += entry[i] * negativeSine[m];
            m += k;
            if (m >= n)
                m -= n;
        }
        // A harmonic between the mean and the Nyquist one also stands for its mirror, n - k.
        const double weight = k == 0 || 2 * k == n ? 1.0 : 2.0;
        const std::complex<double> played = std::complex<double>(re, im)
            * (weight / static_cast<double>(n) / kCountsPerMillivolt);
        if (std::abs(played) < kNegligibleMillivolts)
            continue;
        harmonics.push_back({ static_cast<int>(k), played,
            played * circuit->response(static_cast<double>(k) * generatorHz()) });
    }
}

SignalSource::Frame SignalSource::acquire(bool twoChannels, int timeBaseCode, int gain1, int gain2)
{
    const Inputs in = inputs(twoChannels, 1.0 / sampleRate(timeBaseCode));
    const std::size_t count = twoChannels ? kBlock : kFrameSamples;
    Frame f {};
    for (std::size_t i = 0; i < count; ++i) {
        f[i] = static_cast<std::int16_t>(toRaw(in.channel1[i] + noise(), gain1));
        if (twoChannels)
            f[i + kBlock] = static_cast<std::int16_t>(toRaw(in.channel2[i] + noise(), gain2));
    }
    return f;
}

SignalSource::Inputs SignalSource::inputs(bool twoChannels, double step)
{
    const std::size_t count = twoChannels ? kBlock : kFrameSamples;
    Inputs in;
    std::array<double, kFrameSamples> position {};
    for (std::size_t i = 0; i < count; ++i) {
        // Looped back, the converter holds each entry for one sample period of the generator:
        // no interpolation. The calibrator is a square.
        const auto entry = std::min(static_cast<int>(tablePosition), length - 1);
        in.channel1[i] = table[static_cast<std::size_t>(entry)] / kCountsPerMillivolt;
        in.channel2[i] = calibratorPhase < 0.5 ? kCalibratorMillivolts : -kCalibratorMillivolts;
        position[i] = tablePosition;
        advance(step);
    }
    for (std::size_t i = 0; circuit && i < count; i += kBlock)
        sumHarmonics(&position[i], twoChannels, &in.channel1[i], &in.channel2[i]);
    return in;
}

// The band-limited table (channel 2, when wanted) and the circuit's answer (channel 1) at the
// table positions of one block. The sums go harmonic by harmonic over the whole block: z^k at
// every instant comes from z^(k-1) by a multiplication that waits for nothing else, and a block
// of fixed length lets the compiler take two instants at once.
void SignalSource::sumHarmonics(
    const double* position, bool twoChannels, double* channel1, double* channel2) const
{
    std::array<double, kBlock> zRe {};
    std::array<double, kBlock> zIm {};
    std::array<double, kBlock> powerRe {};
    std::array<double, kBlock> powerIm {};
    std::array<double, kBlock> out1 {};
    std::array<double, kBlock> out2 {};
    // Plain pointers into the blocks, so that an unoptimised build is not slowed by a call
    // for every element.
    double* const zr = zRe.data();
    double* const zi = zIm.data();
    double* const wr = powerRe.data();
    double* const wi = powerIm.data();
    double* const o1 = out1.data();
    double* const o2 = out2.data();
    for (std::size_t i = 0; i < kBlock; ++i) {
        const double angle = 2.0 * kPi * position[i] / length;
        zr[i] = std::cos(angle);
        zi[i] = std::sin(angle);
        wr[i] = 1.0;
    }
    int k = 0;
    for (const auto& h : harmonics) {
        for (; k < h.k; ++k) {
            for (std::size_t i = 0; i < kBlock; ++i) {
                const double re = wr[i] * zr[i] - wi[i] * zi[i];
                wi[i] = wr[i] * zi[i] + wi[i] * zr[i];
                wr[i] = re;
            }
        }
        const double answeredRe = h.answered.real();
        const double answeredIm = h.answered.imag();
        for (std::size_t i = 0; i < kBlock; ++i)
            o1[i] += answeredRe * wr[i] - answeredIm * wi[i];
        if (!twoChannels)
            continue;
        const double playedRe = h.played.real();
        const double playedIm = h.played.imag();
        for (std::size_t i = 0; i < kBlock; ++i)
            o2[i] += playedRe * wr[i] - playedIm * wi[i];
    }
    std::copy(out1.begin(), out1.end(), channel1);
    std::copy(out2.begin(), out2.end(), channel2);
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
