#include "autorange.h"
#include "frametiming.h"
#include "meterreading.h"
#include "runningstats.h"

#include <QtTest>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

namespace {

constexpr int kSamples = 1024;
constexpr int kTb = 7; // 200us/dz: 12.207 us a sample

// A signal in volts as the converter gives it at a gain: rounded to units,
// clipped to +-2047, with optional Gaussian noise (volts RMS).
std::vector<int> sampled(
    double dc, double amplitude, double hz, int gain, double noise = 0, int count = kSamples)
{
    std::mt19937 random(7);
    std::normal_distribution<double> gauss(0.0, 1.0);
    std::vector<int> raw(static_cast<std::size_t>(count));
    const double dt = frametiming::samplePeriodSeconds(kTb);
    for (int i = 0; i < count; ++i) {
        double v = dc + amplitude * std::sin(2 * M_PI * hz * i * dt + 0.3);
        if (noise > 0)
            v += noise * gauss(random);
        const long units = std::lround(v / meter::unitVolts(gain));
        raw[static_cast<std::size_t>(i)] = static_cast<int>(std::clamp(units, -2047L, 2047L));
    }
    return raw;
}

} // namespace

class TestMeterReading : public QObject {
    Q_OBJECT
private slots:
    void readings_data();
    void readings();
    void clippedSignalIsOverRange();
    void fewerThanTwoPeriodsTakeTheWholeWindow();
    void gainChoice_data();
    void gainChoice();
    void gainSettlesAfterAStep_data();
    void gainSettlesAfterAStep();
    void timeBaseChoice_data();
    void timeBaseChoice();
    void slowestCodeRefreshesTwiceASecond_data();
    void slowestCodeRefreshesTwiceASecond();
    void statistics();
    void valueTexts_data();
    void valueTexts();
};

void TestMeterReading::readings_data()
{
    QTest::addColumn<double>("dc");
    QTest::addColumn<double>("amplitude");
    QTest::addColumn<double>("hz");
    QTest::addColumn<int>("gain");
    QTest::addColumn<double>("noise");
    // One unit of the range plus 0.5 %, as the meter promises.
    QTest::newRow("DC 1 V at 2.5V/dz") << 1.0 << 0.0 << 0.0 << 0 << 0.0;
    QTest::newRow("DC -3 mV at 25mV/dz") << -0.003 << 0.0 << 0.0 << 6 << 0.0;
    QTest::newRow("1 kHz 1 V peak, no DC") << 0.0 << 1.0 << 1000.0 << 0 << 0.0;
    QTest::newRow("1 kHz 100 mV peak on 50 mV") << 0.05 << 0.1 << 1000.0 << 2 << 0.0;
    QTest::newRow("edge of range: 20.4 V peak") << 0.0 << 20.4 << 777.0 << 0 << 0.0;
    QTest::newRow("edge of finest range: 0.3 V peak") << 0.0 << 0.3 << 2000.0 << 6 << 0.0;
    QTest::newRow("noise 20 mV on 2 V peak") << 0.5 << 2.0 << 500.0 << 1 << 0.02;
    QTest::newRow("DC with noise") << 0.2 << 0.0 << 0.0 << 3 << 0.001;
}

void TestMeterReading::readings()
{
    QFETCH(double, dc);
    QFETCH(double, amplitude);
    QFETCH(double, hz);
    QFETCH(int, gain);
    QFETCH(double, noise);
    const std::vector<int> raw = sampled(dc, amplitude, hz, gain, noise);
    const meter::Reading r = meter::read(raw.data(), kSamples, gain, kTb);
    QVERIFY(!r.over);
    const double unit = meter::unitVolts(gain);
    const double rms = std::sqrt(amplitude * amplitude / 2 + noise * noise);
    QVERIFY2(std::fabs(r.dc - dc) <= 0.005 * std::fabs(dc) + unit + 3 * noise / 10,
        qPrintable(QString::number(r.dc, 'g', 8)));
    QVERIFY2(std::fabs(r.acRms - rms) <= 0.005 * rms + unit,
        qPrintable(QString::number(r.acRms, 'g', 8)));
    if (hz > 0) {
        QVERIFY(r.hz.has_value());
        QVERIFY2(std::fabs(*r.hz - hz) <= 0.005 * hz, qPrintable(QString::number(*r.hz)));
        QVERIFY(r.periods >= 2);
    } else if (noise == 0) {
        QVERIFY(!r.hz.has_value());
    }
}

void TestMeterReading::clippedSignalIsOverRange()
{
    // 25 V peak at 2.5V/dz runs into the converter's end.
    const std::vector<int> raw = sampled(0, 25.0, 1000, 0);
    QVERIFY(meter::read(raw.data(), kSamples, 0, kTb).over);
    // One unit short of it is still a number.
    const std::vector<int> edge(kSamples, 2046);
    QVERIFY(!meter::read(edge.data(), kSamples, 0, kTb).over);
    const std::vector<int> negative(kSamples, -2047);
    QVERIFY(meter::read(negative.data(), kSamples, 0, kTb).over);
}

void TestMeterReading::fewerThanTwoPeriodsTakeTheWholeWindow()
{
    // 50 Hz over one frame at 200us/dz (12.5 ms): 0.6 periods. No frequency;
    // the DC level and the RMS come from every sample.
    const std::vector<int> raw = sampled(1.0, 1.0, 50, 0);
    const meter::Reading r = meter::read(raw.data(), kSamples, 0, kTb);
    QVERIFY(!r.hz.has_value());
    QCOMPARE(r.periods, 0);
    double sum = 0;
    for (const int v : raw)
        sum += v;
    QCOMPARE(r.dc, sum / kSamples * 0.010);
}

void TestMeterReading::gainChoice_data()
{
    QTest::addColumn<int>("current");
    QTest::addColumn<int>("peak");
    QTest::addColumn<bool>("over");
    QTest::addColumn<int>("next");
    QTest::newRow("clipped goes to the least sensitive") << 5 << 2047 << true << 0;
    QTest::newRow("clipped at the least sensitive stays") << 0 << 2047 << true << 0;
    QTest::newRow("small goes to the finest") << 0 << 10 << false << 6;
    QTest::newRow("just fits two steps up") << 0 << 375 << false << 2;
    QTest::newRow("one unit over two steps up") << 0 << 376 << false << 1;
    QTest::newRow("between enter/2 and leave: stays") << 3 << 751 << false << 3;
    QTest::newRow("at leave: stays") << 3 << autorange::kLeave << false << 3;
    QTest::newRow("beyond leave: one step down") << 3 << autorange::kLeave + 1 << false << 2;
    QTest::newRow("at enter/2: one step up") << 3 << autorange::kEnter / 2 << false << 4;
    QTest::newRow("finest stays finest") << 6 << 3 << false << 6;
}

void TestMeterReading::gainChoice()
{
    QFETCH(int, current);
    QFETCH(int, peak);
    QFETCH(bool, over);
    QFETCH(int, next);
    QCOMPARE(autorange::nextGain(current, peak, over), next);
}

void TestMeterReading::gainSettlesAfterAStep_data()
{
    QTest::addColumn<int>("start");
    QTest::addColumn<double>("volts");
    QTest::addColumn<int>("settled");
    QTest::newRow("0 V to 15 V from the finest") << 6 << 15.0 << 0;
    QTest::newRow("15 V to 5 mV") << 0 << 0.005 << 6;
    QTest::newRow("1 mV to 1 V: 800 units at 1.25 mV") << 6 << 1.0 << 3;
    QTest::newRow("0.5 V: 800 units at 0.625 mV") << 0 << 0.5 << 4;
    QTest::newRow("0.94 V: 1504 units at 0.625 mV is too many") << 0 << 0.94 << 3;
}

// Frames of a constant level: within three frames the range stops changing,
// at the finest range that holds the level, and then holds still.
void TestMeterReading::gainSettlesAfterAStep()
{
    QFETCH(int, start);
    QFETCH(double, volts);
    QFETCH(int, settled);
    int gain = start;
    for (int frame = 0; frame < 3; ++frame) {
        const std::vector<int> raw = sampled(volts, 0, 0, gain);
        const meter::Reading r = meter::read(raw.data(), kSamples, gain, kTb);
        gain = autorange::nextGain(gain, r.peak, r.over);
    }
    QCOMPARE(gain, settled);
    const std::vector<int> raw = sampled(volts, 0, 0, gain);
    const meter::Reading r = meter::read(raw.data(), kSamples, gain, kTb);
    QVERIFY(!r.over);
    QCOMPARE(autorange::nextGain(gain, r.peak, r.over), gain);
}

void TestMeterReading::timeBaseChoice_data()
{
    QTest::addColumn<int>("current");
    QTest::addColumn<double>("hz"); // 0: none measured
    QTest::addColumn<bool>("twoChannels");
    QTest::addColumn<int>("next");
    const int slowest1 = autorange::slowestCode(2500000, false);
    const int slowest2 = autorange::slowestCode(2500000, true);
    QTest::newRow("DC: the slowest that refreshes") << 7 << 0.0 << false << slowest1;
    QTest::newRow("DC, two channels") << 7 << 0.0 << true << slowest2;
    // 1 kHz at 200us/dz: 12.5 periods a frame, inside the band: stays.
    QTest::newRow("1 kHz held at 200us/dz") << 7 << 1000.0 << false << 7;
    // 1 kHz at 20ms/dz: 1250 periods: the fastest with ten or more, 100us/dz (6.25)? no:
    // 200us/dz holds 12.5.
    QTest::newRow("1 kHz from 20ms/dz") << 13 << 1000.0 << false << 7;
    QTest::newRow("100 kHz goes to the fastest") << 10 << 100000.0 << false << 2;
    QTest::newRow("100 kHz two channels") << 10 << 100000.0 << true << 4;
    QTest::newRow("5 Hz: the slowest allowed") << 7 << 5.0 << false << slowest1;
}

void TestMeterReading::timeBaseChoice()
{
    QFETCH(int, current);
    QFETCH(double, hz);
    QFETCH(bool, twoChannels);
    QFETCH(int, next);
    const std::optional<double> f = hz > 0 ? std::optional<double>(hz) : std::nullopt;
    const int samples = twoChannels ? 512 : 1024;
    const int code = autorange::nextTimeBase(current, f, samples, 2500000, twoChannels);
    QCOMPARE(code, next);
    // And then it holds still on the same signal.
    QCOMPARE(autorange::nextTimeBase(code, f, samples, 2500000, twoChannels), code);
}

void TestMeterReading::slowestCodeRefreshesTwiceASecond_data()
{
    QTest::addColumn<int>("speed");
    QTest::newRow("2500000") << 2500000;
    QTest::newRow("115200") << 115200;
    QTest::newRow("19200") << 19200;
}

void TestMeterReading::slowestCodeRefreshesTwiceASecond()
{
    QFETCH(int, speed);
    const int code = autorange::slowestCode(speed, false);
    QVERIFY(code >= 2);
    // At the slowest speed even the fastest time base takes over 1 s to send:
    // it is the fastest there is, and the limit cannot hold.
    if (code > 2)
        QVERIFY(frametiming::frameMs(code, speed) <= autorange::kLongestFrameMs);
    if (code < frametiming::kSlowestCode)
        QVERIFY(frametiming::frameMs(code + 1, speed) > autorange::kLongestFrameMs);
}

void TestMeterReading::statistics()
{
    RunningStats s;
    QVERIFY(s.empty());
    for (const double v : { 3.0, -1.0, 4.0, 1.5 })
        s.add(v);
    QCOMPARE(s.count(), std::uint64_t(4));
    QCOMPARE(s.min(), -1.0);
    QCOMPARE(s.max(), 4.0);
    QCOMPARE(s.mean(), 1.875);
    s.reset();
    QVERIFY(s.empty());
    // A first value below zero is the maximum too, not the 0 of an empty set.
    s.add(-2.0);
    QCOMPARE(s.max(), -2.0);
    QCOMPARE(s.min(), -2.0);
}

void TestMeterReading::valueTexts_data()
{
    QTest::addColumn<int>("quantity");
    QTest::addColumn<double>("value");
    QTest::addColumn<int>("gain");
    QTest::addColumn<QString>("text");
    const int dc = int(meter::Quantity::Dc);
    const int hz = int(meter::Quantity::Frequency);
    QTest::newRow("10 mV steps: mV of V") << dc << 1.23456 << 0 << "1.235 V";
    QTest::newRow("negative") << dc << -12.5 << 0 << "-12.500 V";
    QTest::newRow("5 mV steps, below 1 V") << dc << 0.512 << 1 << "512.0 mV";
    QTest::newRow("5 mV steps, above 1 V") << dc << 1.512 << 1 << "1.5120 V";
    QTest::newRow("1.25 mV steps, below 1 V") << dc << 0.1234 << 3 << "123.4 mV";
    QTest::newRow("0.156 mV steps") << dc << -0.003141 << 6 << "-3.14 mV";
    QTest::newRow("frequency") << hz << 1008.065 << 0 << "1.0081 kHz";
    QTest::newRow("low frequency") << hz << 49.98 << 0 << "49.980 Hz";
}

void TestMeterReading::valueTexts()
{
    QFETCH(int, quantity);
    QFETCH(double, value);
    QFETCH(int, gain);
    QFETCH(QString, text);
    QCOMPARE(meter::valueText(meter::Quantity(quantity), value, gain), text);
}

QTEST_MAIN(TestMeterReading)
#include "tst_meterreading.moc"
