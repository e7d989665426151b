#include "signalsource.h"

#include <QtTest>

#include <cmath>
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

QTEST_MAIN(TestSignalSource)
#include "tst_signalsource.moc"
