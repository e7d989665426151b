#include "spectrum.h"

#include <QRandomGenerator>
#include <QtTest>

#include <array>
#include <cmath>
#include <limits>
#include <vector>

namespace {

using Frame = std::array<double, spectrum::kPoints>;

const double kInf = std::numeric_limits<double>::infinity();
const double kNaN = std::numeric_limits<double>::quiet_NaN();

// One frame through the analyzer's whole chain, as the panel runs it.
struct Analysis {
    std::array<double, spectrum::kSinTabLen> tab {};
    Frame re {};
    Frame im {};
    std::array<int, spectrum::kDispLen> disp {};
    double total = 0.0;
    double thd = 0.0;

    explicit Analysis(const std::vector<int> &samples)
    {
        spectrum::fillSinTab(tab.data());
        for (int i = 0; i < spectrum::kPoints; ++i)
            re[i] = samples[i];
        total
            = spectrum::fft(re.data(), im.data(), spectrum::kOrder, tab.data(), spectrum::kPoints);
        thd = spectrum::thdn(re.data(), spectrum::kBins, total);
        spectrum::adjustGraph(disp.data(), im.data(), 0);
    }
};

std::vector<int> sineFrame(double amplitude, int cycles, double amplitude2 = 0.0, int cycles2 = 0)
{
    std::vector<int> frame(spectrum::kPoints);
    for (int t = 0; t < spectrum::kPoints; ++t) {
        const double x = amplitude * std::sin(2.0 * M_PI * cycles * t / spectrum::kPoints)
            + amplitude2 * std::sin(2.0 * M_PI * cycles2 * t / spectrum::kPoints);
        frame[t] = static_cast<int>(std::lround(x));
    }
    return frame;
}

// Direct DFT of the frame under the periodic Hamming window, for comparison
// with the fast transform.
std::vector<double> directPowers(const std::vector<double> &x)
{
    const int n = static_cast<int>(x.size());
    std::vector<double> power(n);
    for (int k = 0; k < n; ++k) {
        double sumRe = 0.0;
        double sumIm = 0.0;
        for (int j = 0; j < n; ++j) {
            const double w = 0.54 - 0.46 * std::cos(2.0 * M_PI * j / n);
            // Reduced modulo n so that the angle stays small and exact.
            const double angle = 2.0 * M_PI * ((static_cast<long long>(k) * j) % n) / n;
            sumRe += x[j] * w * std::cos(angle);
            sumIm -= x[j] * w * std::sin(angle);
        }
        power[k] = sumRe * sumRe + sumIm * sumIm;
    }
    return power;
}

} // namespace

class TestSpectrum : public QObject {
    Q_OBJECT

private slots:
    void sineTableUsesFiveDecimalPi();
    void reverseBits_data();
    void reverseBits();
    void transformMatchesDirectDft_data();
    void transformMatchesDirectDft();
    void transformOfOtherSizesMatchesDirectDft();
    void constantFrameGivesPowerAndNoDistortion();
    void pureSineReadouts();
    void sineWithSecondHarmonicRaisesThdn();
    void pureSinePeaksInItsBinOnThePlot();
    void zeroFrameGivesMinusInfinityNaNAndBottomEdge();
    void peakAtBinTwoZeroesOnlyBinsZeroToFour();
    void peakBlockIsThreeBelowAndTwoAbove();
    void equalMaximaTakeTheLowerBin();
    void residualCoversOnlyCountBins();
    void dcAndFirstBinAreNeverTheFundamental();
    void nonPositiveCountGivesMinusOneAfterClearingDcAndFirstBin_data();
    void nonPositiveCountGivesMinusOneAfterClearingDcAndFirstBin();
    void plotValueOfLevel_data();
    void plotValueOfLevel();
    void shiftIsClampedAndSelectsFirstBin_data();
    void shiftIsClampedAndSelectsFirstBin();
};

void TestSpectrum::sineTableUsesFiveDecimalPi()
{
    std::array<double, spectrum::kSinTabLen> tab {};
    tab.fill(kNaN);
    spectrum::fillSinTab(tab.data());
    QCOMPARE(tab[0], 0.0);
    // sin(3.14159) is 2.65e-6, where the full-precision pi would give ~1e-16.
    QVERIFY(std::abs(tab[512] - 2.65358979335e-6) < 1e-15);
    QVERIFY(std::abs(tab[256] - 1.0) < 1e-11);
    // The extra quarter period is filled up to the last entry (1279 = 1024 + 255).
    QVERIFY(std::abs(tab[spectrum::kSinTabLen - 1] - tab[255]) < 1e-4);
    QVERIFY(tab[spectrum::kSinTabLen - 1] > 0.9999);
    QVERIFY(std::abs(tab[1024 + 128] - std::sin(1152 * 2.0 * 3.14159 / 1024)) < 1e-15);
}

void TestSpectrum::reverseBits_data()
{
    QTest::addColumn<int>("value");
    QTest::addColumn<int>("bits");
    QTest::addColumn<int>("expected");
    QTest::newRow("1 over 10 bits") << 1 << 10 << 512;
    QTest::newRow("6 over 3 bits") << 6 << 3 << 3;
    QTest::newRow("no bits") << 5 << 0 << 0;
    QTest::newRow("negative bit count") << 5 << -3 << 0;
    QTest::newRow("one bit") << 1 << 1 << 1;
    QTest::newRow("1011 -> 1101") << 0b1011 << 4 << 0b1101;
    QTest::newRow("higher bits are dropped") << 0b110 << 2 << 0b01;
    QTest::newRow("all ten bits set") << 1023 << 10 << 1023;
    QTest::newRow("511 over 10 bits") << 511 << 10 << 1022;
    QTest::newRow("arithmetic shift of a negative value") << -1 << 3 << 7;
}

void TestSpectrum::reverseBits()
{
    QFETCH(int, value);
    QFETCH(int, bits);
    QFETCH(int, expected);
    QCOMPARE(spectrum::reverse(value, bits), expected);
}

void TestSpectrum::transformMatchesDirectDft_data()
{
    QTest::addColumn<quint32>("seed");
    QTest::addColumn<int>("amplitude");
    QTest::newRow("full-scale noise") << 1u << 32767;
    QTest::newRow("small noise") << 2u << 40;
    QTest::newRow("another full-scale frame") << 77u << 32767;
}

void TestSpectrum::transformMatchesDirectDft()
{
    QFETCH(quint32, seed);
    QFETCH(int, amplitude);
    QRandomGenerator random(seed);
    std::vector<double> samples(spectrum::kPoints);
    for (double &s : samples)
        s = random.bounded(-amplitude, amplitude + 1);

    // A table of the exact pi: the transform itself must then be exact to
    // rounding. (With the analyzer's five-decimal pi the twiddles beyond half
    // a period are off by a few parts per million.)
    std::array<double, spectrum::kSinTabLen> tab {};
    for (int k = 0; k < spectrum::kSinTabLen; ++k)
        tab[k] = std::sin(2.0 * k * M_PI / spectrum::kPoints);
    Frame re {};
    Frame im {};
    std::copy(samples.begin(), samples.end(), re.begin());
    im.fill(kNaN); // ignored on entry
    const double total
        = spectrum::fft(re.data(), im.data(), spectrum::kOrder, tab.data(), spectrum::kPoints);

    const std::vector<double> expected = directPowers(samples);
    double largest = 0.0;
    double lowerHalf = 0.0;
    for (int k = 0; k < spectrum::kPoints; ++k) {
        largest = std::max(largest, expected[k]);
        if (k < spectrum::kBins)
            lowerHalf += expected[k];
    }
    const double tolerance = largest * 1e-10;
    for (int k = 0; k < spectrum::kPoints; ++k) {
        if (std::abs(re[k] - expected[k]) > tolerance)
            QFAIL(qPrintable(QStringLiteral("bin %1: %2 instead of %3")
                                 .arg(k)
                                 .arg(re[k], 0, 'g', 12)
                                 .arg(expected[k], 0, 'g', 12)));
        QCOMPARE(im[k], 10.0 * std::log10(re[k]));
    }
    QVERIFY(std::abs(total - 10.0 * std::log10(lowerHalf)) < 1e-9);
}

// Nothing in the transform may be tied to 1024 points: a 16-point transform
// with its own 16-per-period table must agree with the direct DFT too.
void TestSpectrum::transformOfOtherSizesMatchesDirectDft()
{
    constexpr int order = 4;
    constexpr int n = 1 << order;
    std::array<double, n + n / 4> tab {};
    for (int k = 0; k < static_cast<int>(tab.size()); ++k)
        tab[k] = std::sin(2.0 * k * M_PI / n);
    const std::vector<double> samples { 3, -7, 12, 0, 5, 5, -9, 1, 8, -2, 4, 6, -11, 2, 0, 7 };
    std::array<double, n> re {};
    std::array<double, n> im {};
    std::copy(samples.begin(), samples.end(), re.begin());
    const double total = spectrum::fft(re.data(), im.data(), order, tab.data(), n);

    const std::vector<double> expected = directPowers(samples);
    double lowerHalf = 0.0;
    for (int k = 0; k < n; ++k) {
        QVERIFY2(std::abs(re[k] - expected[k]) < 1e-9, qPrintable(QString::number(k)));
        if (k < n / 2)
            lowerHalf += expected[k];
    }
    QVERIFY(std::abs(total - 10.0 * std::log10(lowerHalf)) < 1e-12);
}

void TestSpectrum::constantFrameGivesPowerAndNoDistortion()
{
    const Analysis a(std::vector<int>(spectrum::kPoints, 100));
    QCOMPARE(QString::number(a.total, 'f', 1), QStringLiteral("95.6"));
    QCOMPARE(QString::number(a.thd, 'f', 2), QStringLiteral("0.00"));
}

void TestSpectrum::pureSineReadouts()
{
    const Analysis a(sineFrame(1000.0, 64));
    QCOMPARE(QString::number(a.total, 'f', 1), QStringLiteral("110.2"));
    QCOMPARE(QString::number(a.thd, 'f', 2), QStringLiteral("0.02"));
}

void TestSpectrum::sineWithSecondHarmonicRaisesThdn()
{
    const Analysis a(sineFrame(1000.0, 64, 100.0, 128));
    QCOMPARE(QString::number(a.thd, 'f', 2), QStringLiteral("9.95"));
}

void TestSpectrum::pureSinePeaksInItsBinOnThePlot()
{
    const Analysis a(sineFrame(1000.0, 64));
    int best = 0;
    for (int i = 1; i < spectrum::kDispLen; ++i) {
        if (a.disp[i] > a.disp[best])
            best = i;
    }
    QCOMPARE(best, 64);
    // The peak's level: 10 log10 of (1000 x 0.54 x 1024 / 2)^2.
    const double level = 20.0 * std::log10(1000.0 * 0.54 * 512.0);
    QVERIFY(std::abs(a.disp[64] - (26.0 * level - 2148.0)) <= 2.0);
}

void TestSpectrum::zeroFrameGivesMinusInfinityNaNAndBottomEdge()
{
    const Analysis a(std::vector<int>(spectrum::kPoints, 0));
    QVERIFY(std::isinf(a.total));
    QVERIFY(a.total < 0);
    QVERIFY(std::isnan(a.thd));
    for (int v : a.disp)
        QCOMPARE(v, -1024);
    QCOMPARE(QString::number(a.total, 'f', 1), QStringLiteral("-inf"));
    QCOMPARE(QString::number(a.thd, 'f', 2), QStringLiteral("nan"));
}

void TestSpectrum::peakAtBinTwoZeroesOnlyBinsZeroToFour()
{
    std::vector<double> power(spectrum::kPoints, 1.0);
    power[2] = 100.0;
    const double totalDb = spectrum::decabel(4.0 * 507.0);
    const double thd = spectrum::thdn(power.data(), spectrum::kBins, totalDb);
    for (int i = 0; i <= 4; ++i)
        QCOMPARE(power[i], 0.0);
    QCOMPARE(power[5], 1.0);
    // Residual: bins 5 to 511, 507 of them, a quarter of the total: 50 %.
    QVERIFY(std::abs(thd - 50.0) < 1e-9);
}

void TestSpectrum::peakBlockIsThreeBelowAndTwoAbove()
{
    std::vector<double> power(spectrum::kPoints, 1.0);
    power[9] = 100.0;
    spectrum::thdn(power.data(), spectrum::kBins, 0.0);
    QCOMPARE(power[5], 1.0);
    for (int i = 6; i <= 11; ++i)
        QCOMPARE(power[i], 0.0);
    QCOMPARE(power[12], 1.0);
}

void TestSpectrum::equalMaximaTakeTheLowerBin()
{
    std::vector<double> power(spectrum::kPoints, 0.0);
    power[40] = 50.0;
    power[300] = 50.0;
    const double thd = spectrum::thdn(power.data(), spectrum::kBins, spectrum::decabel(200.0));
    QCOMPARE(power[40], 0.0);
    QCOMPARE(power[300], 50.0);
    QVERIFY(std::abs(thd - 50.0) < 1e-9);
}

void TestSpectrum::residualCoversOnlyCountBins()
{
    std::vector<double> power(12, 0.0);
    power[3] = 9.0; // the fundamental
    power[8] = 1.0;
    power[10] = 1000.0; // beyond count: neither peak nor residual
    power[11] = 1000.0;
    const double thd = spectrum::thdn(power.data(), 10, spectrum::decabel(100.0));
    QVERIFY(std::abs(thd - 10.0) < 1e-9);
    QCOMPARE(power[3], 0.0);
    QCOMPARE(power[10], 1000.0);
}

// A large DC level and first bin must not be taken for the fundamental.
void TestSpectrum::dcAndFirstBinAreNeverTheFundamental()
{
    std::vector<double> power(spectrum::kPoints, 0.0);
    power[0] = 1e12;
    power[1] = 1e11;
    power[30] = 16.0;
    power[100] = 1.0;
    const double thd = spectrum::thdn(power.data(), spectrum::kBins, spectrum::decabel(100.0));
    QCOMPARE(power[30], 0.0);
    QCOMPARE(power[100], 1.0);
    QVERIFY(std::abs(thd - 10.0) < 1e-9);
}

void TestSpectrum::nonPositiveCountGivesMinusOneAfterClearingDcAndFirstBin_data()
{
    QTest::addColumn<int>("count");
    QTest::newRow("zero") << 0;
    QTest::newRow("negative") << -4;
}

void TestSpectrum::nonPositiveCountGivesMinusOneAfterClearingDcAndFirstBin()
{
    QFETCH(int, count);
    std::array<double, 4> power { 5.0, 6.0, 7.0, 8.0 };
    QCOMPARE(spectrum::thdn(power.data(), count, 0.0), -1.0);
    QCOMPARE(power[0], 0.0);
    QCOMPARE(power[1], 0.0);
    QCOMPARE(power[2], 7.0);
}

void TestSpectrum::plotValueOfLevel_data()
{
    QTest::addColumn<double>("level");
    QTest::addColumn<int>("expected");
    QTest::newRow("100 dB") << 100.0 << 452;
    QTest::newRow("centre line, truncated toward zero") << 82.6 << 0;
    QTest::newRow("just below centre, truncated toward zero") << 82.55 << -1;
    QTest::newRow("82.5 dB") << 82.5 << -3;
    QTest::newRow("top edge") << 122.0 << 1024;
    QTest::newRow("above the top: no upper limit") << 150.0 << 1752;
    QTest::newRow("43.2 dB: truncates to the bottom edge") << 43.2 << -1024;
    QTest::newRow("43.25 dB: just above the bottom edge") << 43.25 << -1023;
    QTest::newRow("below the bottom edge") << 40.0 << -1024;
    QTest::newRow("far below") << -300.0 << -1024;
    QTest::newRow("empty bin") << -kInf << -1024;
    QTest::newRow("not a number") << kNaN << -1024;
    QTest::newRow("huge level") << 1e300 << std::numeric_limits<int>::max();
}

void TestSpectrum::plotValueOfLevel()
{
    QFETCH(double, level);
    QFETCH(int, expected);
    std::vector<double> levels(spectrum::kDispLen + spectrum::kMaxShift, level);
    std::array<int, spectrum::kDispLen> disp {};
    disp.fill(12345);
    spectrum::adjustGraph(disp.data(), levels.data(), 0);
    for (int v : disp)
        QCOMPARE(v, expected);
}

void TestSpectrum::shiftIsClampedAndSelectsFirstBin_data()
{
    QTest::addColumn<int>("xPos");
    QTest::addColumn<int>("firstBin");
    QTest::newRow("no shift") << 0 << 0;
    QTest::newRow("positive shift acts as none") << 5 << 0;
    QTest::newRow("one bin") << -1 << 1;
    QTest::newRow("furthest allowed") << -128 << 128;
    QTest::newRow("one past the limit") << -129 << 128;
    QTest::newRow("far past the limit") << -200 << 128;
}

void TestSpectrum::shiftIsClampedAndSelectsFirstBin()
{
    QFETCH(int, xPos);
    QFETCH(int, firstBin);
    // Level of bin k chosen so that its plot value is 2k.
    std::vector<double> levels(spectrum::kDispLen + spectrum::kMaxShift);
    for (int k = 0; k < static_cast<int>(levels.size()); ++k)
        levels[k] = (2148.0 + 2 * k + 0.5) / 26.0;
    std::array<int, spectrum::kDispLen> disp {};
    spectrum::adjustGraph(disp.data(), levels.data(), xPos);
    for (int i = 0; i < spectrum::kDispLen; ++i)
        QCOMPARE(disp[i], 2 * (firstBin + i));
}

QTEST_MAIN(TestSpectrum)
#include "tst_spectrum.moc"
