#include "measurements.h"

#include <QtTest>

#include <array>
#include <cmath>

namespace {

using Window = std::array<int, 384>;

Window flat(int v)
{
    Window w;
    w.fill(v);
    return w;
}

// Low for the first half of each period, high for the second.
Window square(int low, int high, int period, int phase = 0)
{
    Window w;
    for (int i = 0; i < 384; ++i)
        w[static_cast<std::size_t>(i)] = ((i + phase) % period) < period / 2 ? low : high;
    return w;
}

Window sine(double amplitude, double period, double offset = 0)
{
    Window w;
    for (int i = 0; i < 384; ++i)
        w[static_cast<std::size_t>(i)] =
            static_cast<int>(std::lround(offset + amplitude * std::sin(2 * M_PI * i / period)));
    return w;
}

} // namespace

class TestMeasurements : public QObject {
    Q_OBJECT
private slots:
    void thresholdsOfASwingBetweenMinus100And100();
    void thresholdsTruncateTowardZero();
    void hysteresisIgnoresRipple();
    void crossingCountStopsAfter101();
    void flatWindow_data();
    void flatWindow();
    void singleCrossingGivesNoSpan();
    void squareWaveReadouts();
    void squareWaveRmsOverWholePeriodsOnly();
    void sineReadouts();
    void vppPerGain_data();
    void vppPerGain();
    void vppOfWindowBeyondTenThousandUnits();
    void frequencyPerTimeBase_data();
    void frequencyPerTimeBase();
    void formatting_data();
    void formatting();
};

void TestMeasurements::thresholdsOfASwingBetweenMinus100And100()
{
    const Window w = square(-100, 100, 64);
    const osc::Crossings c = osc::findCrossings(w.data(), 384);
    QCOMPARE(c.max, 100);
    QCOMPARE(c.min, -100);
    QCOMPARE(c.low, -37);
    QCOMPARE(c.high, 57);
    QCOMPARE(c.mid, 10);
    // Rising edges at 32, 96, ..., 352: six crossings.
    QCOMPARE(c.count, 6);
    QCOMPARE(c.first, 32);
    QCOMPARE(c.latest, 352);
}

void TestMeasurements::thresholdsTruncateTowardZero()
{
    // max 0, min -1: low = -11/16 -> 0, high = 0, mid = 0.
    Window w = flat(0);
    w[10] = -1;
    const osc::Crossings c = osc::findCrossings(w.data(), 384);
    QCOMPARE(c.low, 0);
    QCOMPARE(c.high, 0);
    QCOMPARE(c.mid, 0);
    // -1 is below low 0 and arms it, but nothing rises above mid 0.
    QCOMPARE(c.count, 0);
}

void TestMeasurements::hysteresisIgnoresRipple()
{
    // Thresholds low -37, mid 10, high 57. After a crossing the signal must rise
    // above high before a dip below low can arm the detector again.
    Window w = flat(-100);
    w[50] = 30; // crossing: armed from the start, now above mid
    w[52] = 30; // not counted: since 50 nothing went above high
    w[100] = 100; // above high: the detector waits for a low again
    w[101] = 100;
    w[103] = 30; // armed by the low at 102: the second crossing
    const osc::Crossings c = osc::findCrossings(w.data(), 384);
    QCOMPARE(c.high, 57);
    QCOMPARE(c.count, 2);
    QCOMPARE(c.first, 50);
    QCOMPARE(c.latest, 103);
}

void TestMeasurements::crossingCountStopsAfter101()
{
    // Period 3 (-100, 100, 100): 128 rising edges in the window; the scan stops
    // at the 101st, at index 1 + 3 * 100.
    Window w;
    for (int i = 0; i < 384; ++i)
        w[static_cast<std::size_t>(i)] = i % 3 == 0 ? -100 : 100;
    const osc::Crossings c = osc::findCrossings(w.data(), 384);
    QCOMPARE(c.count, 101);
    QCOMPARE(c.first, 1);
    QCOMPARE(c.latest, 301);
    // The period comes from those 100 periods: 3 samples, so at "200us/dz"
    // 1024000 / (200 * 3 * 0.0625) = 27306.67 Hz.
    QCOMPARE(osc::calcFreq(w.data(), 384, 7), QStringLiteral("27.31kHz"));
}

void TestMeasurements::flatWindow_data()
{
    QTest::addColumn<int>("value");
    QTest::addColumn<QString>("freq");
    QTest::newRow("100") << 100 << "37";
    QTest::newRow("-100") << -100 << "-37";
    QTest::newRow("0") << 0 << "0";
    QTest::newRow("3 truncates to 1") << 3 << "1";
    QTest::newRow("-3 truncates toward zero") << -3 << "-1";
}

void TestMeasurements::flatWindow()
{
    QFETCH(int, value);
    QFETCH(QString, freq);
    const Window w = flat(value);
    QCOMPARE(osc::calcRMS(w.data(), 384, 0), QStringLiteral("0.0mV"));
    QCOMPARE(osc::calcAvg(w.data(), 384, 0), QStringLiteral("0.0mV"));
    QCOMPARE(osc::calcVpp(w.data(), 384, 0), QStringLiteral("0.0mV"));
    QCOMPARE(osc::calcFreq(w.data(), 384, 7), freq);
}

void TestMeasurements::singleCrossingGivesNoSpan()
{
    // One step from -100 to 100: one crossing at 200.
    Window w = flat(-100);
    for (int i = 200; i < 384; ++i)
        w[static_cast<std::size_t>(i)] = 100;
    const osc::Crossings c = osc::findCrossings(w.data(), 384);
    QCOMPARE(c.count, 1);
    QCOMPARE(c.first, 200);
    QCOMPARE(c.latest, -1);
    QCOMPARE(osc::calcRMS(w.data(), 384, 0), QStringLiteral("0.0mV"));
    QCOMPARE(osc::calcAvg(w.data(), 384, 0), QStringLiteral("0.0mV"));
    QCOMPARE(osc::calcFreq(w.data(), 384, 7), QString::number(3 * -37 / 8));
    QCOMPARE(osc::calcVpp(w.data(), 384, 0), QStringLiteral("2.000V"));
}

void TestMeasurements::squareWaveReadouts()
{
    const Window w = square(-100, 100, 64);
    QCOMPARE(osc::calcRMS(w.data(), 384, 0), QStringLiteral("1.000V"));
    QCOMPARE(osc::calcAvg(w.data(), 384, 0), QStringLiteral("0.0mV"));
    QCOMPARE(osc::calcVpp(w.data(), 384, 0), QStringLiteral("2.000V"));
    QCOMPARE(osc::calcFreq(w.data(), 384, 7), QStringLiteral("1.280kHz"));
}

void TestMeasurements::squareWaveRmsOverWholePeriodsOnly()
{
    // 0 / 100 square, 64-sample period, the window starting mid-high: over whole
    // periods the mean is 50 units (500 mV at gain 0) and the RMS 70.71 units;
    // the whole window, with one more high half, would give a higher mean.
    const Window w = square(0, 100, 64, 48);
    QCOMPARE(osc::calcAvg(w.data(), 384, 0), QStringLiteral("500.0mV"));
    QCOMPARE(osc::calcRMS(w.data(), 384, 0), QStringLiteral("707.1mV"));
    // Gain index 6: one unit is 0.1 mV.
    QCOMPARE(osc::calcAvg(w.data(), 384, 6), QStringLiteral("5.0mV"));
    QCOMPARE(osc::calcRMS(w.data(), 384, 6), QStringLiteral("7.1mV"));
}

void TestMeasurements::sineReadouts()
{
    // 1 kHz at 81.92 kHz sampling is 81.92 samples per period; 125 units at gain
    // 0 is 1250 mV amplitude.
    const Window w = sine(125, 81.92, 20);
    const double rms = osc::calcRMS(w.data(), 384, 0).chopped(2).toDouble();
    QVERIFY2(std::abs(rms - std::sqrt(1250.0 * 1250.0 / 2 + 200.0 * 200.0)) < 10,
             qPrintable(QString::number(rms)));
    const double avg = osc::calcAvg(w.data(), 384, 0).chopped(2).toDouble();
    QVERIFY2(std::abs(avg - 200) < 10, qPrintable(QString::number(avg)));
    QCOMPARE(osc::calcVpp(w.data(), 384, 0), QStringLiteral("2.500V"));
    const double khz = osc::calcFreq(w.data(), 384, 7).chopped(3).toDouble();
    QVERIFY2(std::abs(khz - 1.0) < 0.02, qPrintable(QString::number(khz)));
}

void TestMeasurements::vppPerGain_data()
{
    QTest::addColumn<int>("gain");
    QTest::addColumn<QString>("vpp");
    // 200 display units peak to peak.
    QTest::newRow("2.5V/dz") << 0 << "2.000V";
    QTest::newRow("1V/dz") << 1 << "800.0mV";
    QTest::newRow("500mV/dz") << 2 << "400.0mV";
    QTest::newRow("250mV/dz") << 3 << "200.0mV";
    QTest::newRow("100mV/dz") << 4 << "80.0mV";
    QTest::newRow("50mV/dz") << 5 << "40.0mV";
    QTest::newRow("25mV/dz") << 6 << "20.0mV";
}

void TestMeasurements::vppPerGain()
{
    QFETCH(int, gain);
    QFETCH(QString, vpp);
    const Window w = square(-100, 100, 64);
    QCOMPARE(osc::calcVpp(w.data(), 384, gain), vpp);
}

void TestMeasurements::vppOfWindowBeyondTenThousandUnits()
{
    // A window wholly above 10000 units (1 V offset at 25mV/dz) with 100 units of
    // ripple: the peak-to-peak is the ripple, 10 mV, not its distance to 10000.
    const Window high = square(12000, 12100, 64);
    QCOMPARE(osc::calcVpp(high.data(), 384, 6), QStringLiteral("10.0mV"));
    const Window low = square(-40100, -40000, 64);
    QCOMPARE(osc::calcVpp(low.data(), 384, 6), QStringLiteral("10.0mV"));
    // The crossing detector uses the same true extremes far beyond 30000 units.
    const Window far = square(40000, 40100, 64);
    QCOMPARE(osc::calcFreq(far.data(), 384, 7), QStringLiteral("1.280kHz"));
}

void TestMeasurements::frequencyPerTimeBase_data()
{
    QTest::addColumn<int>("tbIndex");
    QTest::addColumn<QString>("freq");
    // Crossings every 64 samples: 1024000 / (timeTab * 64 * 0.0625) = 256000 / timeTab.
    QTest::newRow("2us/dz uses 8") << 0 << "32.00kHz";
    QTest::newRow("5us/dz uses 10") << 1 << "25.60kHz";
    QTest::newRow("8us/dz") << 2 << "32.00kHz";
    QTest::newRow("10us/dz") << 3 << "25.60kHz";
    QTest::newRow("20us/dz") << 4 << "12.80kHz";
    QTest::newRow("50us/dz") << 5 << "5.120kHz";
    QTest::newRow("100us/dz") << 6 << "2.560kHz";
    QTest::newRow("200us/dz") << 7 << "1.280kHz";
    QTest::newRow("500us/dz") << 8 << "512.0Hz";
    QTest::newRow("1ms/dz") << 9 << "256.0Hz";
    QTest::newRow("50ms/dz") << 14 << "5.1Hz";
}

void TestMeasurements::frequencyPerTimeBase()
{
    QFETCH(int, tbIndex);
    QFETCH(QString, freq);
    const Window w = square(-100, 100, 64);
    QCOMPARE(osc::calcFreq(w.data(), 384, tbIndex), freq);
}

void TestMeasurements::formatting_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("volts");
    QTest::addColumn<QString>("hertz");
    QTest::newRow("10000 exactly") << 10000.0 << "10.00V"
                                   << "10.00kHz";
    QTest::newRow("9999.9") << 9999.9 << "10.000V"
                            << "10.000kHz";
    QTest::newRow("1000 exactly") << 1000.0 << "1.000V"
                                  << "1.000kHz";
    QTest::newRow("999.96") << 999.96 << "1000.0mV"
                            << "1000.0Hz";
    QTest::newRow("707.1") << 707.1 << "707.1mV"
                           << "707.1Hz";
    QTest::newRow("zero") << 0.0 << "0.0mV"
                          << "0.0Hz";
    QTest::newRow("-2500 never in volts") << -2500.0 << "-2500.0mV"
                                          << "-2500.0Hz";
    QTest::newRow("-20000") << -20000.0 << "-20000.0mV"
                            << "-20000.0Hz";
    QTest::newRow("123456") << 123456.0 << "123.46V"
                            << "123.46kHz";
}

void TestMeasurements::formatting()
{
    QFETCH(double, value);
    QFETCH(QString, volts);
    QFETCH(QString, hertz);
    QCOMPARE(osc::formatValue(value, "mV", "V"), volts);
    QCOMPARE(osc::formatValue(value, "Hz", "kHz"), hertz);
}

QTEST_MAIN(TestMeasurements)
#include "tst_measurements.moc"
