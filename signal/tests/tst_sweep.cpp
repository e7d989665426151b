#include "frametiming.h"
#include "sinefit.h"
#include "sweep.h"
#include "sweeptable.h"

#include <QtTest>

#include <algorithm>
#include <array>
#include <cmath>
#include <complex>
#include <random>

namespace {

constexpr double kPi = 3.14159265358979323846;

// A two-channel frame as the device sends it: channel 2 a sine of peakVolts,
// channel 1 that sine times the response, each in its range's units, with
// uniform noise of +-noiseVolts, rounded and held to the converter's codes.
struct Bench {
    double cycles = 0.05; // per sample
    double peakVolts = 1.0;
    std::complex<double> response { 1, 0 };
    double noiseVolts = 0;
    double offsetVolts = 0;
    int range1 = 4;
    int range2 = 4;
    unsigned seed = 7;

    std::array<int, 1024> frame() const
    {
        std::array<int, 1024> f {};
        std::mt19937 random(seed);
        std::uniform_real_distribution<double> noise(-noiseVolts, noiseVolts);
        const auto code = [](double volts, int range) {
            const long units = std::lround(volts / sweep::voltsPerUnit(range));
            return int(std::clamp<long>(units, -sweep::kFullScale, sweep::kFullScale));
        };
        for (int i = 0; i < 512; ++i) {
            const double phase = 2 * kPi * cycles * i + 0.3;
            const double reference = peakVolts * std::cos(phase);
            const double out = peakVolts * std::abs(response) * std::cos(phase + std::arg(response));
            f[std::size_t(i)] = code(out + offsetVolts + noise(random), range1);
            f[std::size_t(512 + i)] = code(reference + noise(random), range2);
        }
        return f;
    }
};

// The time base's nominal sample rate turned into the cycles a frame at that
// time base shows of hz.
double cyclesAt(double hz, int timeBase)
{
    return hz * frametiming::samplePeriodSeconds(timeBase);
}

sweep::Point point(double hz, double gainDb, sweep::Reason reason = sweep::Reason::None)
{
    sweep::Point p;
    p.hz = hz;
    p.response = std::polar(std::pow(10.0, gainDb / 20), 0.0);
    p.reason = reason;
    return p;
}

} // namespace

class TestSweep : public QObject {
    Q_OBJECT
private slots:
    void fitFindsFrequencyAndAmplitude_data();
    void fitFindsFrequencyAndAmplitude();
    void fitNeedsASwing();
    void stepsFollowThePlan_data();
    void stepsFollowThePlan();
    void badPlansAreRefused_data();
    void badPlansAreRefused();
    void timeBaseHoldsEnoughPeriods_data();
    void timeBaseHoldsEnoughPeriods();
    void rangesFollowTheSignal_data();
    void rangesFollowTheSignal();
    void gainAndPhase_data();
    void gainAndPhase();
    void stepsNotMeasured_data();
    void stepsNotMeasured();
    void cornersOfACircuit_data();
    void cornersOfACircuit();
    void cornersSkipGaps();
    void tableKeepsEveryStep();
    void frequenciesAndAmplitudesAsTyped_data();
    void frequenciesAndAmplitudesAsTyped();
};

void TestSweep::fitFindsFrequencyAndAmplitude_data()
{
    QTest::addColumn<double>("cycles");
    QTest::addColumn<double>("peak");
    QTest::addColumn<double>("noise");
    QTest::newRow("on a bin") << 8.0 / 512 << 1.0 << 0.0;
    QTest::newRow("off bin") << 0.0371 << 1.0 << 0.0;
    QTest::newRow("one and a half periods") << 1.6 / 512 << 1.0 << 0.0;
    QTest::newRow("four samples a period") << 0.2441 << 1.0 << 0.0;
    QTest::newRow("noisy") << 0.0371 << 0.2 << 0.02;
    QTest::newRow("small") << 0.11 << 0.01 << 0.0005;
}

void TestSweep::fitFindsFrequencyAndAmplitude()
{
    QFETCH(double, cycles);
    QFETCH(double, peak);
    QFETCH(double, noise);
    Bench b;
    b.cycles = cycles;
    b.peakVolts = peak;
    b.noiseVolts = noise;
    b.range2 = sweep::rangeFor(peak);
    const auto f = b.frame();
    const auto fit = sinefit::fit(f.data() + 512, 512);
    QVERIFY(fit.has_value());
    QVERIFY2(std::abs(fit->cyclesPerSample / cycles - 1) < 1e-4,
        qPrintable(QString::number(fit->cyclesPerSample, 'g', 10)));
    const double volts = std::abs(fit->amplitude) * sweep::voltsPerUnit(b.range2);
    QVERIFY2(std::abs(volts / peak - 1) < 0.005, qPrintable(QString::number(volts)));
}

void TestSweep::fitNeedsASwing()
{
    const std::array<int, 512> flat {};
    QVERIFY(!sinefit::fit(flat.data(), 512));
    Bench b;
    b.cycles = 0.2 / 512; // a fifth of a period: no two crossings
    const auto f = b.frame();
    QVERIFY(!sinefit::roughCycles(f.data() + 512, 512));
}

void TestSweep::stepsFollowThePlan_data()
{
    QTest::addColumn<double>("from");
    QTest::addColumn<double>("to");
    QTest::addColumn<int>("perDecade");
    QTest::addColumn<int>("points");
    QTest::addColumn<int>("count");
    QTest::newRow("three decades") << 100.0 << 100000.0 << 10 << 0 << 31;
    QTest::newRow("one per decade") << 10.0 << 100000.0 << 1 << 0 << 5;
    QTest::newRow("points") << 100.0 << 1000.0 << 10 << 7 << 7;
    QTest::newRow("up to the generator's top") << 100000.0 << 500000.0 << 20 << 0 << 15;
    QTest::newRow("low end") << 1.0 << 1.5 << 100 << 0 << 19;
    // Eleven asked for, where the generator plays only eight frequencies.
    QTest::newRow("top end, alike steps merged") << 400000.0 << 500000.0 << 100 << 0 << 8;
}

void TestSweep::stepsFollowThePlan()
{
    QFETCH(double, from);
    QFETCH(double, to);
    QFETCH(int, perDecade);
    QFETCH(int, points);
    QFETCH(int, count);
    const auto steps = sweep::steps({ from, to, perDecade, points, 1000 });
    QCOMPARE(int(steps.size()), count);
    for (std::size_t i = 0; i < steps.size(); ++i) {
        // Played as the generator plays it, near the ends.
        QCOMPARE(steps[i].playedHz, *synthesis::playedHz(steps[i].clock));
        if (i > 0)
            QVERIFY(steps[i].playedHz > steps[i - 1].playedHz);
    }
    // The generator's own grid: within a few percent of the ends asked for.
    QVERIFY(std::abs(steps.front().playedHz / from - 1) < 0.03);
    QVERIFY(std::abs(steps.back().playedHz / to - 1) < 0.03);
}

void TestSweep::badPlansAreRefused_data()
{
    QTest::addColumn<double>("from");
    QTest::addColumn<double>("to");
    QTest::addColumn<int>("perDecade");
    QTest::addColumn<int>("points");
    QTest::addColumn<int>("amplitude");
    QTest::newRow("reversed") << 1000.0 << 100.0 << 10 << 0 << 1000;
    QTest::newRow("equal") << 1000.0 << 1000.0 << 10 << 0 << 1000;
    QTest::newRow("past 500 kHz") << 100.0 << 1e6 << 10 << 0 << 1000;
    QTest::newRow("below 1 Hz") << 0.5 << 100.0 << 10 << 0 << 1000;
    QTest::newRow("no steps per decade") << 100.0 << 1000.0 << 0 << 0 << 1000;
    QTest::newRow("one point") << 100.0 << 1000.0 << 10 << 1 << 1000;
    QTest::newRow("amplitude past full scale") << 100.0 << 1000.0 << 10 << 0 << 1300;
    QTest::newRow("no amplitude") << 100.0 << 1000.0 << 10 << 0 << 0;
}

void TestSweep::badPlansAreRefused()
{
    QFETCH(double, from);
    QFETCH(double, to);
    QFETCH(int, perDecade);
    QFETCH(int, points);
    QFETCH(int, amplitude);
    const sweep::Plan plan { from, to, perDecade, points, amplitude };
    QVERIFY(sweep::problem(plan).has_value());
    QVERIFY(sweep::steps(plan).empty());
}

void TestSweep::timeBaseHoldsEnoughPeriods_data()
{
    QTest::addColumn<double>("hz");
    for (const double hz : { 1.0, 10.0, 47.0, 100.0, 1000.0, 12345.0, 100000.0, 500000.0 })
        QTest::newRow(qPrintable(QString::number(hz))) << hz;
}

void TestSweep::timeBaseHoldsEnoughPeriods()
{
    QFETCH(double, hz);
    const int code = sweep::timeBaseFor(hz);
    QVERIFY(code >= 2 && code <= frametiming::kSlowestCode);
    const double periods = cyclesAt(hz, code) * sweep::kSamples;
    if (code < frametiming::kSlowestCode)
        QVERIFY(periods >= sweep::kMinPeriods);
    // The next faster time base would not hold them: the shortest frame that does.
    if (code > 2)
        QVERIFY(cyclesAt(hz, code - 1) * sweep::kSamples < sweep::kMinPeriods);
    QVERIFY(cyclesAt(hz, code) < 0.5); // never beyond what the samples can show
}

void TestSweep::rangesFollowTheSignal_data()
{
    QTest::addColumn<int>("range");
    QTest::addColumn<int>("peak");
    QTest::addColumn<bool>("clipped");
    QTest::addColumn<int>("next");
    QTest::newRow("good fill stays") << 4 << 1500 << false << 4;
    QTest::newRow("clipped, two ranges less") << 4 << 2047 << true << 2;
    QTest::newRow("clipped at the least sensitive stays") << 0 << 2047 << true << 0;
    QTest::newRow("tiny goes where it fits") << 1 << 60 << false << 5;
    QTest::newRow("tiny at the most sensitive stays") << 6 << 30 << false << 6;
    QTest::newRow("just tiny, with room") << 2 << 200 << false << 4;
}

void TestSweep::rangesFollowTheSignal()
{
    QFETCH(int, range);
    QFETCH(int, peak);
    QFETCH(bool, clipped);
    QFETCH(int, next);
    QCOMPARE(sweep::nextRange(range, { peak, clipped }), next);
    // Wherever a range moves to, the signal fits there with room.
    if (!clipped && next != range)
        QVERIFY(peak * sweep::voltsPerUnit(range) / sweep::voltsPerUnit(next) < sweep::kFullScale * 0.75);
}

void TestSweep::gainAndPhase_data()
{
    QTest::addColumn<double>("hz");
    QTest::addColumn<double>("gainDb");
    QTest::addColumn<double>("phaseDeg");
    QTest::addColumn<double>("noise");
    QTest::addColumn<int>("range1");
    QTest::newRow("unity") << 1000.0 << 0.0 << 0.0 << 0.001 << 4;
    QTest::newRow("corner of a low-pass") << 1000.0 << -3.0103 << -45.0 << 0.001 << 4;
    QTest::newRow("high-pass lead") << 250.0 << -12.3 << 76.0 << 0.001 << 6;
    QTest::newRow("-40 dB") << 31622.0 << -40.0 << -89.4 << 0.001 << 6;
    QTest::newRow("phase near 180") << 5000.0 << -6.0 << 179.5 << 0.001 << 5;
    QTest::newRow("phase near -180") << 5000.0 << -6.0 << -179.5 << 0.001 << 5;
    QTest::newRow("gain above 0 dB") << 2000.0 << 2.5 << 10.0 << 0.001 << 3;
}

void TestSweep::gainAndPhase()
{
    QFETCH(double, hz);
    QFETCH(double, gainDb);
    QFETCH(double, phaseDeg);
    QFETCH(double, noise);
    QFETCH(int, range1);
    const int tb = sweep::timeBaseFor(hz);
    Bench b;
    // The device's sample clock is not the nominal one: 2.4 % off here.
    b.cycles = cyclesAt(hz, tb) * 1.024;
    b.response = std::polar(std::pow(10.0, gainDb / 20), phaseDeg * kPi / 180);
    b.noiseVolts = noise;
    b.range1 = range1;
    const auto f = b.frame();
    const sweep::Verdict v = sweep::judge(f.data(), range1, 4, tb, hz);
    QCOMPARE(int(v.kind), int(sweep::Verdict::Kind::Measured));
    QVERIFY2(std::abs(v.point.gainDb() - gainDb) < 0.05, qPrintable(QString::number(v.point.gainDb())));
    double dp = v.point.phaseDeg() - phaseDeg;
    dp -= 360 * std::round(dp / 360);
    QVERIFY2(std::abs(dp) < 0.5, qPrintable(QString::number(v.point.phaseDeg())));
    QVERIFY(v.point.phaseDeg() > -180 && v.point.phaseDeg() <= 180);
    QVERIFY(std::abs(v.point.ch2Volts - 1.0) < 0.01);
    QCOMPARE(v.point.hz, hz);
}

void TestSweep::stepsNotMeasured_data()
{
    QTest::addColumn<double>("peak");
    QTest::addColumn<double>("gainDb");
    QTest::addColumn<int>("range1");
    QTest::addColumn<int>("range2");
    QTest::addColumn<double>("cycleScale"); // the reference's frequency against the played
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("reason");
    const int measured = int(sweep::Verdict::Kind::Measured);
    const int not_ = int(sweep::Verdict::Kind::NotMeasured);
    const int retry = int(sweep::Verdict::Kind::Retry);
    QTest::newRow("reference over range") << 25.0 << -20.0 << 0 << 0 << 1.0 << not_
                                          << int(sweep::Reason::ReferenceOverRange);
    QTest::newRow("response over range") << 1.0 << 30.0 << 0 << 4 << 1.0 << not_
                                         << int(sweep::Reason::ResponseOverRange);
    QTest::newRow("response clipped, measured again") << 1.0 << 6.0 << 4 << 4 << 1.0 << retry
                                                      << int(sweep::Reason::None);
    QTest::newRow("no reference") << 0.0 << 0.0 << 6 << 6 << 1.0 << not_
                                  << int(sweep::Reason::ReferenceTooSmall);
    QTest::newRow("reference at another frequency") << 1.0 << -3.0 << 4 << 4 << 1.6 << not_
                                                    << int(sweep::Reason::ReferenceNotPlayed);
    QTest::newRow("response lost in the noise") << 1.0 << -90.0 << 6 << 4 << 1.0 << not_
                                                << int(sweep::Reason::ResponseBelowNoise);
    QTest::newRow("deep but clear") << 1.0 << -60.0 << 6 << 4 << 1.0 << measured
                                    << int(sweep::Reason::None);
}

void TestSweep::stepsNotMeasured()
{
    QFETCH(double, peak);
    QFETCH(double, gainDb);
    QFETCH(int, range1);
    QFETCH(int, range2);
    QFETCH(double, cycleScale);
    QFETCH(int, kind);
    QFETCH(int, reason);
    const double hz = 1000;
    const int tb = sweep::timeBaseFor(hz);
    Bench b;
    b.cycles = cyclesAt(hz, tb) * cycleScale;
    b.peakVolts = peak;
    b.response = std::polar(std::pow(10.0, gainDb / 20), -0.5);
    b.noiseVolts = 0.001;
    b.range1 = range1;
    b.range2 = range2;
    const auto f = b.frame();
    const sweep::Verdict v = sweep::judge(f.data(), range1, range2, tb, hz);
    QCOMPARE(int(v.kind), kind);
    if (v.kind != sweep::Verdict::Kind::Retry) {
        QCOMPARE(int(v.point.reason), reason);
        QCOMPARE(v.point.measured(), reason == int(sweep::Reason::None));
        QVERIFY(v.point.measured() || !sweep::reasonText(v.point.reason).isEmpty());
    } else {
        QVERIFY(v.range1 < range1);
    }
}

void TestSweep::cornersOfACircuit_data()
{
    QTest::addColumn<QString>("circuit");
    QTest::addColumn<double>("f0");
    QTest::addColumn<double>("q");
    QTest::newRow("low-pass between steps") << "lowpass" << 1122.0 << 0.0;
    QTest::newRow("low-pass on a step") << "lowpass" << 1000.0 << 0.0;
    QTest::newRow("high-pass") << "highpass" << 777.0 << 0.0;
    QTest::newRow("band-pass") << "bandpass" << 1234.0 << 0.7;
}

void TestSweep::cornersOfACircuit()
{
    QFETCH(QString, circuit);
    QFETCH(double, f0);
    QFETCH(double, q);
    const auto response = [&](double f) {
        const std::complex<double> s(0, f / f0);
        if (circuit == QLatin1String("lowpass"))
            return 1.0 / (1.0 + s);
        if (circuit == QLatin1String("highpass"))
            return s / (1.0 + s);
        return (s / q) / (1.0 + s / q + s * s);
    };
    std::vector<sweep::Point> points;
    for (const sweep::Step &step : sweep::steps({ 10, 100000, 10, 0, 1000 })) {
        sweep::Point p;
        p.hz = step.playedHz;
        p.response = response(step.playedHz);
        points.push_back(p);
    }
    std::vector<double> expected;
    if (circuit == QLatin1String("bandpass")) {
        const double root = std::sqrt(1 + 1 / (4 * q * q));
        expected = { f0 * (root - 1 / (2 * q)), f0 * (root + 1 / (2 * q)) };
    } else {
        expected = { f0 };
    }
    const std::vector<double> corners = sweep::cornersHz(points);
    QCOMPARE(corners.size(), expected.size());
    for (std::size_t i = 0; i < corners.size(); ++i)
        QVERIFY2(std::abs(corners[i] / expected[i] - 1) < 0.002,
            qPrintable(QStringLiteral("%1 against %2").arg(corners[i]).arg(expected[i])));
}

void TestSweep::cornersSkipGaps()
{
    // The gain falls through -3 dB across a step not measured: no corner is
    // made up across it, and the passband ignores the gap.
    std::vector<sweep::Point> points = { point(100, 0), point(200, -1),
        point(400, 0, sweep::Reason::ResponseOverRange), point(800, -10), point(1600, -16) };
    QVERIFY(sweep::cornersHz(points).empty());
    QCOMPARE(*sweep::passbandDb(points), 0.0);
    points[2] = point(400, -2);
    QCOMPARE(sweep::cornersHz(points).size(), std::size_t(1));
    QVERIFY(!sweep::passbandDb({ point(1, 0, sweep::Reason::NoFrame) }));
}

void TestSweep::tableKeepsEveryStep()
{
    std::vector<sweep::Point> points = { point(2000, -6), point(1000, -2),
        point(500, 0, sweep::Reason::ReferenceOverRange), point(100, 0) };
    const QByteArray text
        = sweeptable::csv(points, { 100, 2000, 10, 0, 1000 }, QStringLiteral("/dev/ttyUSB0"), {});
    const QList<QByteArray> lines = text.trimmed().split('\n');
    QList<QByteArray> rows;
    for (const QByteArray &line : lines)
        if (!line.startsWith('#'))
            rows.append(line);
    // Every step, the one not measured too, in rising frequency.
    QCOMPARE(rows.size(), 4);
    QVERIFY(rows[0].startsWith("100,0.0000,"));
    QVERIFY(rows[1].startsWith("500,,,"));
    QVERIFY(rows[1].endsWith(sweep::reasonText(sweep::Reason::ReferenceOverRange).toUtf8()));
    QVERIFY(rows[2].startsWith("1000,-2.0000,"));
    const qsizetype corner = text.indexOf("# f_3dB_Hz: ");
    QVERIFY(corner >= 0);
    const double hz = text.mid(corner + 12, text.indexOf('\n', corner) - corner - 12).toDouble();
    QVERIFY2(hz > 1000 && hz < 2000, qPrintable(QString::number(hz)));
    for (const QByteArray &row : rows)
        QCOMPARE(row.count(','), sweeptable::columns().count(','));
    const QByteArray json = sweeptable::jsonLine(points[2]);
    QVERIFY(json.contains("\"gain_dB\":null"));
    QVERIFY(json.contains("\"reason\":\"CH2 over range\""));
}

void TestSweep::frequenciesAndAmplitudesAsTyped_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("hz"); // -1: not a frequency
    QTest::addColumn<int>("mv"); // as a voltage with its unit; -1: not one
    QTest::addColumn<int>("bareMv"); // where a bare number is millivolts; -1: not one
    QTest::newRow("bare") << "100" << 100.0 << -1 << 100;
    QTest::newRow("kilo") << "2.5k" << 2500.0 << -1 << -1;
    QTest::newRow("kilo with unit") << "100kHz" << 100000.0 << -1 << -1;
    QTest::newRow("mega") << "1M" << 1e6 << -1 << -1;
    QTest::newRow("spaced hertz") << " 50 Hz " << 50.0 << -1 << -1;
    QTest::newRow("volts") << "1V" << -1.0 << 1000 << 1000;
    QTest::newRow("millivolts") << "250mV" << -1.0 << 250 << 250;
    QTest::newRow("fraction of a volt") << "0.5 V" << -1.0 << 500 << 500;
    QTest::newRow("zero") << "0" << 0.0 << 0 << 0;
    QTest::newRow("negative") << "-5" << -1.0 << -1 << -5;
    QTest::newRow("words") << "loud" << -1.0 << -1 << -1;
    QTest::newRow("empty") << "" << -1.0 << -1 << -1;
    QTest::newRow("unit alone") << "k" << -1.0 << -1 << -1;
}

void TestSweep::frequenciesAndAmplitudesAsTyped()
{
    QFETCH(QString, text);
    QFETCH(double, hz);
    QFETCH(int, mv);
    QFETCH(int, bareMv);
    const std::optional<double> f = sweeptable::hertzFromText(text);
    QCOMPARE(f.value_or(-1.0), hz);
    QCOMPARE(sweeptable::millivoltsFromText(text, false).value_or(-1), mv);
    QCOMPARE(sweeptable::millivoltsFromText(text, true).value_or(-1), bareMv);
}

QTEST_MAIN(TestSweep)
#include "tst_sweep.moc"
