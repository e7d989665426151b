#include "signalsource.h"

#include <QtTest>

#include <array>
#include <cmath>
#include <complex>
#include <vector>

namespace {

constexpr double kPi = 3.14159265358979323846;

// One period of a full-scale cosine over the first `length` entries.
SignalSource::Table cosineTable(int length)
{
    SignalSource::Table t {};
    for (int k = 0; k < length; ++k)
        t[static_cast<std::size_t>(k)]
            = static_cast<int>(std::lround(2047 * std::cos(2 * kPi * k / length)));
    return t;
}

// Rising zero crossings over consecutive one-channel frames.
int risingCrossings(SignalSource& source, int frames, int timeBase)
{
    int count = 0;
    int previous = 0;
    bool first = true;
    for (int f = 0; f < frames; ++f) {
        for (const auto sample : source.acquire(false, timeBase, 0, 0)) {
            if (!first && previous < 0 && sample >= 0)
                ++count;
            previous = sample;
            first = false;
        }
    }
    return count;
}

// One period of a sine of about 1 V peak over the first `length` entries, started off zero.
SignalSource::Table sineTable(int length)
{
    SignalSource::Table t {};
    for (int k = 0; k < length; ++k)
        t[static_cast<std::size_t>(k)]
            = static_cast<int>(std::lround(1638 * std::sin(2 * kPi * k / length + 0.3)));
    return t;
}

// A rising ramp over the first `length` entries: every harmonic up to the Nyquist one.
SignalSource::Table rampTable(int length)
{
    SignalSource::Table t {};
    for (int k = 0; k < length; ++k)
        t[static_cast<std::size_t>(k)] = -1600 + 3200 * k / length;
    return t;
}

// The least-squares fit a cos(wt) + b sin(wt) + c to samples taken `rate` apart, as the
// complex amplitude A of Re(A e^(jwt)) in raw units.
std::complex<double> fitAt(const std::vector<double>& samples, double hz, double rate)
{
    // Normal equations of the three unknowns, solved by elimination.
    std::array<std::array<double, 4>, 3> m {};
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const double w = 2 * kPi * hz * static_cast<double>(i) / rate;
        const std::array<double, 3> basis { std::cos(w), std::sin(w), 1.0 };
        for (std::size_t r = 0; r < 3; ++r) {
            for (std::size_t c = 0; c < 3; ++c)
                m[r][c] += basis[r] * basis[c];
            m[r][3] += basis[r] * samples[i];
        }
    }
    for (std::size_t p = 0; p < 3; ++p)
        for (std::size_t r = 0; r < 3; ++r) {
            if (r == p)
                continue;
            const double f = m[r][p] / m[p][p];
            for (std::size_t c = p; c < 4; ++c)
                m[r][c] -= f * m[p][c];
        }
    return { m[0][3] / m[0][0], -m[1][3] / m[1][1] };
}

// Samples from..from+count of a frame, in millivolts at that channel's gain.
std::vector<double> millivolts(const SignalSource::Frame& frame, int from, int count, int gain)
{
    std::vector<double> v;
    for (int i = from; i < from + count; ++i)
        v.push_back(frame[static_cast<std::size_t>(i)] * SignalSource::unitMillivolts(gain));
    return v;
}

double degreesBetween(std::complex<double> a, std::complex<double> b)
{
    return std::arg(a / b) * 180 / kPi;
}

} // namespace

class TestSignalSource : public QObject {
    Q_OBJECT

private slots:
    void sampleRatePerTimeBaseCode_data();
    void sampleRatePerTimeBaseCode();
    void rawValueRoundsAndClips_data();
    void rawValueRoundsAndClips();
    void powerUpTableIsAFullScaleCosine();
    void generatorPlaysItsTableAtClockOverLengthTimesPeriod_data();
    void generatorPlaysItsTableAtClockOverLengthTimesPeriod();
    void onlyTheFirstLengthEntriesArePlayed();
    void samplesFollowTheTableAcrossFrames();
    void gainScalesTheSameVoltage_data();
    void gainScalesTheSameVoltage();
    void twoChannelFrameHoldsTheCalibratorInItsSecondBlock();
    void noiseIsBoundedAndRepeatsWithTheSeed();
    void circuitGainAndPhaseBetweenTheChannels_data();
    void circuitGainAndPhaseBetweenTheChannels();
    void circuitInputPlaysTheTableAtItsEntries_data();
    void circuitInputPlaysTheTableAtItsEntries();
    void circuitFramesJoinWithoutAPhaseJump_data();
    void circuitFramesJoinWithoutAPhaseJump();
    void circuitFollowsANewTiming();
    void circuitTakenAwayBringsBackLoopBackAndCalibrator();
};

void TestSignalSource::sampleRatePerTimeBaseCode_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<double>("rate");
    QTest::newRow("code 0 samples like code 2") << 0 << 2e6;
    QTest::newRow("code 1 samples like code 3") << 1 << 1.6e6;
    QTest::newRow("code 2") << 2 << 2e6;
    QTest::newRow("code 3") << 3 << 1.6e6;
    QTest::newRow("code 4") << 4 << 800e3;
    QTest::newRow("code 7, the power-up time base") << 7 << 80e3;
    QTest::newRow("code 13") << 13 << 800.0;
    QTest::newRow("code 14, the slowest") << 14 << 320.0;
}

void TestSignalSource::sampleRatePerTimeBaseCode()
{
    QFETCH(int, code);
    QFETCH(double, rate);
    QCOMPARE(SignalSource::sampleRate(code), rate);
}

void TestSignalSource::rawValueRoundsAndClips_data()
{
    QTest::addColumn<double>("millivolts");
    QTest::addColumn<int>("gain");
    QTest::addColumn<int>("raw");
    QTest::newRow("1250 mV at gain 0") << 1250.0 << 0 << 125;
    QTest::newRow("1250 mV at gain 1") << 1250.0 << 1 << 250;
    QTest::newRow("1250 mV at gain 4") << 1250.0 << 4 << 2000;
    QTest::newRow("1250 mV at gain 5 clips") << 1250.0 << 5 << 2047;
    QTest::newRow("-1250 mV at gain 6 clips") << -1250.0 << 6 << -2047;
    QTest::newRow("half a unit rounds away from zero") << 15.0 << 0 << 2;
    QTest::newRow("just under half a unit") << 14.99 << 0 << 1;
    QTest::newRow("negative half a unit") << -15.0 << 0 << -2;
    QTest::newRow("one unit at gain 6 is 0.15625 mV") << 0.15625 << 6 << 1;
    QTest::newRow("largest unclipped") << 20470.0 << 0 << 2047;
    QTest::newRow("-2047.5 units rounds to -2048, clipped") << -20475.0 << 0 << -2047;
}

void TestSignalSource::rawValueRoundsAndClips()
{
    QFETCH(double, millivolts);
    QFETCH(int, gain);
    QFETCH(int, raw);
    QCOMPARE(SignalSource::toRaw(millivolts, gain), raw);
}

void TestSignalSource::powerUpTableIsAFullScaleCosine()
{
    const auto t = SignalSource::powerUpTable();
    QCOMPARE(t[0], 2047);
    QCOMPARE(t[128], 0);
    QCOMPARE(t[256], -2047);
    QCOMPARE(t[384], 0);
    QCOMPARE(t[64], 1447);
    SignalSource s(1, 0.0);
    QCOMPARE(s.generatorHz(), 32e6 / (512 * 62));
}

void TestSignalSource::generatorPlaysItsTableAtClockOverLengthTimesPeriod_data()
{
    QTest::addColumn<int>("period");
    QTest::addColumn<int>("length");
    QTest::addColumn<int>("timeBase");
    QTest::newRow("power-up 1008 Hz at 80 kS/s") << 62 << 512 << 7;
    QTest::newRow("5 kHz from 64 entries at 800 kS/s") << 100 << 64 << 4;
    QTest::newRow("62.5 kHz, the fastest full table, at 2 MS/s") << 1 << 512 << 2;
    QTest::newRow("50 Hz from 8 entries at 8 kS/s") << 10000 << 8 << 10;
}

void TestSignalSource::generatorPlaysItsTableAtClockOverLengthTimesPeriod()
{
    QFETCH(int, period);
    QFETCH(int, length);
    QFETCH(int, timeBase);
    SignalSource s(1, 0.0);
    s.setTable(cosineTable(length));
    s.setTiming(period, length);
    const int frames = 20;
    const double hz = 32e6 / (static_cast<double>(length) * period);
    QCOMPARE(s.generatorHz(), hz);
    const double seconds = frames * 1024 / SignalSource::sampleRate(timeBase);
    const int crossings = risingCrossings(s, frames, timeBase);
    QVERIFY2(std::abs(crossings - hz * seconds) <= 1.0,
        qPrintable(QStringLiteral("%1 crossings, expected %2").arg(crossings).arg(hz * seconds)));
}

void TestSignalSource::onlyTheFirstLengthEntriesArePlayed()
{
    // A 512-entry cosine cut to 256 entries plays its falling half only: the samples fall from
    // the positive peak to the negative one and jump back, at 32e6 / (256 x 62) = 2016 Hz.
    SignalSource s(1, 0.0);
    s.setTiming(62, 256);
    int jumps = 0;
    int previous = 0;
    bool first = true;
    for (const auto sample : s.acquire(false, 7, 0, 0)) {
        if (!first && sample > previous) {
            QVERIFY2(previous <= -100 && sample >= 100, qPrintable(QString::number(sample)));
            ++jumps;
        }
        previous = sample;
        first = false;
    }
    const double expected = 32e6 / (256 * 62) * 1024 / 80e3;
    QVERIFY2(std::abs(jumps - expected) <= 1.0, qPrintable(QString::number(jumps)));
}

void TestSignalSource::samplesFollowTheTableAcrossFrames()
{
    // Period 50 at 80 kS/s advances exactly 8 entries per sample, so sample k shows entry
    // 8k mod 512 held by the converter, across the frame boundary too.
    SignalSource s(1, 0.0);
    s.setTiming(50, 512);
    const auto table = SignalSource::powerUpTable();
    std::vector<int> samples;
    for (int f = 0; f < 2; ++f)
        for (const auto v : s.acquire(false, 7, 0, 0))
            samples.push_back(v);
    for (std::size_t k = 0; k < samples.size(); ++k) {
        const int entry = table[(8 * k) % 512];
        QCOMPARE(samples[k], SignalSource::toRaw(entry / 1.6376, 0));
    }
}

void TestSignalSource::gainScalesTheSameVoltage_data()
{
    QTest::addColumn<int>("gain");
    QTest::addColumn<int>("peak");
    QTest::newRow("gain 0: 10 mV per unit") << 0 << 125;
    QTest::newRow("gain 2: 2.5 mV per unit") << 2 << 500;
    QTest::newRow("gain 4: 0.625 mV per unit") << 4 << 2000;
    QTest::newRow("gain 6 clips") << 6 << 2047;
}

void TestSignalSource::gainScalesTheSameVoltage()
{
    QFETCH(int, gain);
    QFETCH(int, peak);
    SignalSource s(1, 0.0);
    const auto frame = s.acquire(false, 7, gain, 0);
    const auto [low, high] = std::minmax_element(frame.begin(), frame.end());
    QCOMPARE(static_cast<int>(*high), peak);
    QCOMPARE(static_cast<int>(*low), -peak);
}

void TestSignalSource::twoChannelFrameHoldsTheCalibratorInItsSecondBlock()
{
    SignalSource s(1, 0.0);
    const auto frame = s.acquire(true, 7, 0, 3);
    // Channel 1 starts at the cosine's peak; channel 2 is +/-1 V = +/-800 units at gain 3.
    QCOMPARE(static_cast<int>(frame[0]), 125);
    int edges = 0;
    for (int i = 512; i < 1024; ++i) {
        QVERIFY(std::abs(frame[static_cast<std::size_t>(i)]) == 800);
        if (i > 512 && frame[static_cast<std::size_t>(i)] != frame[static_cast<std::size_t>(i - 1)])
            ++edges;
    }
    // 1 kHz at 80 kS/s: an edge every 40 samples, 12 in 512 samples.
    QCOMPARE(edges, 12);
    QCOMPARE(static_cast<int>(frame[512 + 39]), 800);
    QCOMPARE(static_cast<int>(frame[512 + 40]), -800);
    // Channel 1 holds only 512 samples: 6.45 cosine periods, so its block ends mid-wave.
    QVERIFY(std::abs(frame[511]) < 125);
}

void TestSignalSource::noiseIsBoundedAndRepeatsWithTheSeed()
{
    SignalSource clean(7, 0.0);
    SignalSource noisy(7, 1.0);
    SignalSource twin(7, 1.0);
    SignalSource other(8, 1.0);
    const auto c = clean.acquire(false, 7, 6, 0);
    const auto n = noisy.acquire(false, 7, 6, 0);
    QVERIFY(n == twin.acquire(false, 7, 6, 0));
    QVERIFY(n != other.acquire(false, 7, 6, 0));
    int differing = 0;
    for (std::size_t i = 0; i < c.size(); ++i) {
        if (std::abs(c[i]) == 2047)
            continue; // clipped either way
        // 1 mV is 6.4 units at gain 6: rounding may add one more.
        QVERIFY(std::abs(n[i] - c[i]) <= 7);
        if (n[i] != c[i])
            ++differing;
    }
    QVERIFY(differing > 100);
}

void TestSignalSource::circuitGainAndPhaseBetweenTheChannels_data()
{
    // A 320-entry sine at 32 MHz / (320 x period); about 80 samples per generator period, so
    // each channel's 512 samples hold several periods. Channel 1 gets the finest gain that
    // does not clip. Gain and phase as worked out by hand from the transfer functions.
    QTest::addColumn<QString>("circuit");
    QTest::addColumn<int>("period");
    QTest::addColumn<int>("timeBase");
    QTest::addColumn<int>("gain1");
    QTest::addColumn<double>("decibels");
    QTest::addColumn<double>("degrees");
    QTest::newRow("low pass 1k at 100 Hz")
        << "lowpass:1k" << 1000 << 10 << 4 << -0.04321 << -5.7106;
    QTest::newRow("low pass 1k at 1 kHz") << "lowpass:1k" << 100 << 7 << 4 << -3.01030 << -45.0;
    QTest::newRow("low pass 1k at 2 kHz") << "lowpass:1k" << 50 << 6 << 5 << -6.98970 << -63.4349;
    QTest::newRow("low pass 1k at 10 kHz") << "lowpass:1k" << 10 << 4 << 6 << -20.04321 << -84.2894;
    QTest::newRow("high pass 1k at 100 Hz")
        << "highpass:1k" << 1000 << 10 << 6 << -20.04321 << 84.2894;
    QTest::newRow("high pass 1k at 1 kHz") << "highpass:1k" << 100 << 7 << 4 << -3.01030 << 45.0;
    QTest::newRow("high pass 1k at 2 kHz") << "highpass:1k" << 50 << 6 << 4 << -0.96910 << 26.5651;
    QTest::newRow("band pass 1k Q 5 at 500 Hz")
        << "bandpass:1k:5" << 200 << 8 << 6 << -17.57775 << 82.4054;
    QTest::newRow("band pass 1k Q 5 at 1 kHz") << "bandpass:1k:5" << 100 << 7 << 4 << 0.0 << 0.0;
    QTest::newRow("band pass 1k Q 5 at 2 kHz")
        << "bandpass:1k:5" << 50 << 6 << 6 << -17.57775 << -82.4054;
    QTest::newRow("band pass 2.5k Q 0.5 at 1250 Hz")
        << "bandpass:2.5k:0.5" << 80 << 7 << 4 << -1.93820 << 36.8699;
    QTest::newRow("band pass 2.5k Q 0.5 at 2500 Hz")
        << "bandpass:2.5k:0.5" << 40 << 6 << 4 << 0.0 << 0.0;
    QTest::newRow("band pass 2.5k Q 0.5 at 5 kHz")
        << "bandpass:2.5k:0.5" << 20 << 5 << 4 << -1.93820 << -36.8699;
}

void TestSignalSource::circuitGainAndPhaseBetweenTheChannels()
{
    QFETCH(QString, circuit);
    QFETCH(int, period);
    QFETCH(int, timeBase);
    QFETCH(int, gain1);
    QFETCH(double, decibels);
    QFETCH(double, degrees);
    constexpr int length = 320;
    constexpr int gain2 = 4;
    SignalSource s(1, 0.0);
    s.setCircuit(Circuit::parse(circuit.toStdString()));
    s.setTable(sineTable(length));
    s.setTiming(period, length);
    const double hz = s.generatorHz();
    const double rate = SignalSource::sampleRate(timeBase);
    s.acquire(true, timeBase, gain1, gain2); // anywhere in the wave, not only at its start
    const auto frame = s.acquire(true, timeBase, gain1, gain2);
    const auto out = fitAt(millivolts(frame, 0, 512, gain1), hz, rate);
    const auto in = fitAt(millivolts(frame, 512, 512, gain2), hz, rate);
    // Channel 2 is the generator itself: the table's 1638 counts.
    QVERIFY2(std::abs(std::abs(in) - 1638 / SignalSource::kCountsPerMillivolt) < 0.5,
        qPrintable(QString::number(std::abs(in))));
    const double measuredDecibels = 20 * std::log10(std::abs(out / in));
    const double measuredDegrees = degreesBetween(out, in);
    QVERIFY2(std::abs(measuredDecibels - decibels) < 0.01,
        qPrintable(QStringLiteral("%1 dB").arg(measuredDecibels, 0, 'f', 5)));
    QVERIFY2(std::abs(measuredDegrees - degrees) < 0.1,
        qPrintable(QStringLiteral("%1 deg").arg(measuredDegrees, 0, 'f', 4)));
}

void TestSignalSource::circuitInputPlaysTheTableAtItsEntries_data()
{
    // At 80 kS/s a period of 50 steps 8 entries per sample, 400 one entry; the band-limited
    // output passes through every entry of the table, the mirrored top harmonics included.
    QTest::addColumn<int>("length");
    QTest::addColumn<int>("period");
    QTest::addColumn<int>("entriesPerSample");
    QTest::newRow("512 entries, every 8th") << 512 << 50 << 8;
    QTest::newRow("125 entries, no Nyquist harmonic") << 125 << 400 << 1;
    QTest::newRow("2 entries, the Nyquist harmonic only") << 2 << 400 << 1;
}

void TestSignalSource::circuitInputPlaysTheTableAtItsEntries()
{
    QFETCH(int, length);
    QFETCH(int, period);
    QFETCH(int, entriesPerSample);
    SignalSource s(1, 0.0);
    s.setCircuit(Circuit::parse("lowpass:1k"));
    s.setTable(rampTable(length));
    s.setTiming(period, length);
    const auto table = rampTable(length);
    std::vector<int> samples;
    for (int f = 0; f < 2; ++f) {
        const auto frame = s.acquire(true, 7, 0, 4);
        samples.insert(samples.end(), frame.begin() + 512, frame.end());
    }
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const auto entry
            = (static_cast<std::size_t>(entriesPerSample) * i) % static_cast<std::size_t>(length);
        const int expected
            = SignalSource::toRaw(table[entry] / SignalSource::kCountsPerMillivolt, 4);
        QVERIFY2(std::abs(samples[i] - expected) <= 1,
            qPrintable(QStringLiteral("sample %1: %2, entry %3 is %4")
                           .arg(i)
                           .arg(samples[i])
                           .arg(entry)
                           .arg(expected)));
    }
}

void TestSignalSource::circuitFramesJoinWithoutAPhaseJump_data()
{
    QTest::addColumn<bool>("twoChannelsFirst");
    QTest::newRow("two channels, then two") << true;
    QTest::newRow("one channel, then two") << false;
}

void TestSignalSource::circuitFramesJoinWithoutAPhaseJump()
{
    // The second frame starts where the first ended: its fitted phase has moved on by exactly
    // the generator's turns in the first frame's samples.
    QFETCH(bool, twoChannelsFirst);
    const int timeBase = 7;
    SignalSource s(1, 0.0);
    s.setCircuit(Circuit::parse("highpass:700"));
    s.setTable(sineTable(320));
    s.setTiming(107, 320);
    const double hz = s.generatorHz();
    const double rate = SignalSource::sampleRate(timeBase);
    const auto first = s.acquire(twoChannelsFirst, timeBase, 4, 4);
    const auto second = s.acquire(true, timeBase, 4, 4);
    const int firstSamples = twoChannelsFirst ? 512 : 1024;
    const auto before = fitAt(millivolts(first, 0, 512, 4), hz, rate);
    const auto after = fitAt(millivolts(second, 0, 512, 4), hz, rate);
    const auto turned = before * std::polar(1.0, 2 * kPi * hz * firstSamples / rate);
    QVERIFY2(std::abs(degreesBetween(after, turned)) < 0.1,
        qPrintable(QString::number(degreesBetween(after, turned))));
    QVERIFY(std::abs(std::abs(after) / std::abs(before) - 1) < 1e-3);
}

void TestSignalSource::circuitFollowsANewTiming()
{
    // The same table played an octave higher: the circuit's answer is taken anew.
    SignalSource s(1, 0.0);
    s.setCircuit(Circuit::parse("lowpass:1k"));
    s.setTable(sineTable(320));
    s.setTiming(100, 320);
    s.acquire(true, 7, 4, 4);
    s.setTiming(50, 320);
    const auto frame = s.acquire(true, 6, 5, 4);
    const auto out = fitAt(millivolts(frame, 0, 512, 5), 2000, 160e3);
    const auto in = fitAt(millivolts(frame, 512, 512, 4), 2000, 160e3);
    QVERIFY2(std::abs(20 * std::log10(std::abs(out / in)) + 6.98970) < 0.01,
        qPrintable(QString::number(20 * std::log10(std::abs(out / in)))));
    QVERIFY(std::abs(degreesBetween(out, in) + 63.4349) < 0.1);
}

void TestSignalSource::circuitTakenAwayBringsBackLoopBackAndCalibrator()
{
    SignalSource plain(1, 0.0);
    SignalSource unwired(1, 0.0);
    unwired.setCircuit(Circuit::parse("bandpass:1k:5"));
    unwired.setCircuit(std::nullopt);
    QVERIFY(unwired.acquire(true, 7, 0, 3) == plain.acquire(true, 7, 0, 3));
    QVERIFY(unwired.acquire(false, 7, 0, 3) == plain.acquire(false, 7, 0, 3));
}

QTEST_MAIN(TestSignalSource)
#include "tst_signalsource.moc"
