#include "synthesis.h"

#include <QtTest>

#include <algorithm>
#include <array>

using synthesis::Waveform;

namespace {

using Table = std::array<int, synthesis::kEntries>;

constexpr int kUntouched = 12345; // never a valid converter count

Table tableFor(int tab, Waveform type, int gainMv, int duty, int dcShiftMv)
{
    Table t;
    t.fill(kUntouched);
    synthesis::synthesize(
        t.data(), synthesis::shapeOf(tab, static_cast<int>(type), gainMv, duty, dcShiftMv));
    return t;
}

} // namespace

class TestSynthesis : public QObject {
    Q_OBJECT

private slots:
    void millivoltsTruncateTowardZero_data();
    void millivoltsTruncateTowardZero();
    void entriesMatchReferenceValues_data();
    void entriesMatchReferenceValues();
    void shortSineFollowsThe512PointPhaseGrid();
    void squareFallsExactlyAtTheDutyPosition();
    void twoEntrySquare();
    void zeroAmplitudeGivesTheOffsetEverywhere_data();
    void zeroAmplitudeGivesTheOffsetEverywhere();
    void entriesStayInConverterRange_data();
    void entriesStayInConverterRange();
    void entriesPastTheTableLengthAreKept();
    void noiseAndArbitraryWriteNothing_data();
    void noiseAndArbitraryWriteNothing();
    void triangleWithoutRisingPartStartsAtThePeak_data();
    void triangleWithoutRisingPartStartsAtThePeak();
    void shapeComparesDerivedValues_data();
    void shapeComparesDerivedValues();
    void sampleClockForFrequency_data();
    void sampleClockForFrequency();
    void sampleClockHoldsForEveryFrequency();
    void sampleClockTakesFractions();
    void playedFrequency_data();
    void playedFrequency();
};

void TestSynthesis::millivoltsTruncateTowardZero_data()
{
    QTest::addColumn<int>("millivolts");
    QTest::addColumn<int>("counts");
    QTest::newRow("full scale") << 1250 << 2047;
    QTest::newRow("top offset") << 1200 << 1965;
    QTest::newRow("bottom offset") << -1200 << -1965;
    QTest::newRow("1 V") << 1000 << 1637;
    QTest::newRow("1 mV") << 1 << 1;
    QTest::newRow("-1 mV toward zero") << -1 << -1;
    QTest::newRow("611 mV drops the fraction") << 611 << 1000;
    QTest::newRow("-611 mV drops the fraction") << -611 << -1000;
    QTest::newRow("zero") << 0 << 0;
}

void TestSynthesis::millivoltsTruncateTowardZero()
{
    QFETCH(int, millivolts);
    QFETCH(int, counts);
    QCOMPARE(synthesis::millivoltsToCounts(millivolts), counts);
}

void TestSynthesis::entriesMatchReferenceValues_data()
{
    QTest::addColumn<int>("tab");
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("gain");
    QTest::addColumn<int>("duty");
    QTest::addColumn<int>("offset");
    QTest::addColumn<int>("index");
    QTest::addColumn<int>("entry");

    const int sine = static_cast<int>(Waveform::Sine);
    const int tri = static_cast<int>(Waveform::Triangle);
    QTest::newRow("sine starts at the positive peak")
        << 512 << sine << 1250 << 50 << 0 << 0 << 2047;
    QTest::newRow("sine eighth period") << 512 << sine << 1250 << 50 << 0 << 64 << 1447;
    QTest::newRow("sine quarter period") << 512 << sine << 1250 << 50 << 0 << 128 << 0;
    QTest::newRow("sine trough uses 3.14159") << 512 << sine << 1250 << 50 << 0 << 256 << -2046;
    QTest::newRow("sine last entry") << 512 << sine << 1250 << 50 << 0 << 511 << 2046;
    QTest::newRow("sine offset clamps the top") << 512 << sine << 1250 << 50 << 1200 << 0 << 2047;
    QTest::newRow("sine offset at zero crossing")
        << 512 << sine << 1250 << 50 << 1200 << 128 << 1965;
    QTest::newRow("sine offset at trough") << 512 << sine << 1250 << 50 << 1200 << 256 << -81;
    QTest::newRow("sine negative offset clamps the bottom")
        << 512 << sine << 1250 << 50 << -1200 << 256 << -2048;
    QTest::newRow("triangle 50% start") << 512 << tri << 1250 << 50 << 0 << 0 << -2047;
    QTest::newRow("triangle 50% rising") << 512 << tri << 1250 << 50 << 0 << 1 << -2031;
    QTest::newRow("triangle 50% peak") << 512 << tri << 1250 << 50 << 0 << 256 << 2047;
    QTest::newRow("triangle 50% after peak") << 512 << tri << 1250 << 50 << 0 << 257 << 2030;
    QTest::newRow("triangle 50% end") << 512 << tri << 1250 << 50 << 0 << 511 << -2031;
    QTest::newRow("triangle 25% peak") << 512 << tri << 1250 << 25 << 0 << 128 << 2047;
    QTest::newRow("triangle 25% after peak") << 512 << tri << 1250 << 25 << 0 << 129 << 2036;
    QTest::newRow("triangle 25% end") << 512 << tri << 1250 << 25 << 0 << 511 << -2036;
    QTest::newRow("triangle 25% before peak") << 512 << tri << 1250 << 25 << 0 << 127 << 2015;
}

void TestSynthesis::entriesMatchReferenceValues()
{
    QFETCH(int, tab);
    QFETCH(int, type);
    QFETCH(int, gain);
    QFETCH(int, duty);
    QFETCH(int, offset);
    QFETCH(int, index);
    QFETCH(int, entry);
    const Table t = tableFor(tab, static_cast<Waveform>(type), gain, duty, offset);
    QCOMPARE(t[index], entry);
}

void TestSynthesis::shortSineFollowsThe512PointPhaseGrid()
{
    const Table t = tableFor(8, Waveform::Sine, 1000, 50, 0);
    const std::array<int, 8> expected { 1637, 1157, 0, -1157, -1636, -1157, 0, 1157 };
    QVERIFY(std::equal(expected.begin(), expected.end(), t.begin()));
}

void TestSynthesis::squareFallsExactlyAtTheDutyPosition()
{
    const Table t = tableFor(512, Waveform::Square, 1250, 50, 0);
    for (int i = 0; i < 256; ++i)
        QCOMPARE(t[i], 2046);
    for (int i = 256; i < 512; ++i)
        QCOMPARE(t[i], -2047);
}

void TestSynthesis::twoEntrySquare()
{
    const Table t = tableFor(2, Waveform::Square, 1250, 50, 0);
    QCOMPARE(t[0], 2046);
    QCOMPARE(t[1], -2047);
    QCOMPARE(t[2], kUntouched);
}

void TestSynthesis::zeroAmplitudeGivesTheOffsetEverywhere_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("offset");
    QTest::addColumn<int>("entry");
    QTest::newRow("sine, no offset") << static_cast<int>(Waveform::Sine) << 0 << 0;
    QTest::newRow("square, +700 mV") << static_cast<int>(Waveform::Square) << 700 << 1146;
    QTest::newRow("triangle, -1200 mV") << static_cast<int>(Waveform::Triangle) << -1200 << -1965;
}

void TestSynthesis::zeroAmplitudeGivesTheOffsetEverywhere()
{
    QFETCH(int, type);
    QFETCH(int, offset);
    QFETCH(int, entry);
    const Table t = tableFor(100, static_cast<Waveform>(type), 0, 30, offset);
    for (int i = 0; i < 100; ++i)
        QCOMPARE(t[i], entry);
}

void TestSynthesis::entriesStayInConverterRange_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("tab");
    QTest::addColumn<int>("duty");
    QTest::addColumn<int>("offset");
    for (const int type : { 0, 1, 2 })
        for (const int tab : { 2, 3, 64, 498, 512 })
            for (const int duty : { 1, 50, 99 })
                for (const int offset : { -1200, 0, 1200 })
                    QTest::addRow("type %d, %d entries, %d%%, %d mV", type, tab, duty, offset)
                        << type << tab << duty << offset;
}

void TestSynthesis::entriesStayInConverterRange()
{
    QFETCH(int, type);
    QFETCH(int, tab);
    QFETCH(int, duty);
    QFETCH(int, offset);
    const Table t = tableFor(tab, static_cast<Waveform>(type), 1250, duty, offset);
    for (int i = 0; i < tab; ++i) {
        QVERIFY2(t[i] >= -2048 && t[i] <= 2047, qPrintable(QString::number(i)));
    }
}

void TestSynthesis::entriesPastTheTableLengthAreKept()
{
    const Table t = tableFor(98, Waveform::Triangle, 1250, 50, 0);
    QVERIFY(t[97] != kUntouched);
    for (int i = 98; i < 512; ++i)
        QCOMPARE(t[i], kUntouched);
}

void TestSynthesis::noiseAndArbitraryWriteNothing_data()
{
    QTest::addColumn<int>("type");
    QTest::newRow("white noise") << static_cast<int>(Waveform::WhiteNoise);
    QTest::newRow("pink noise") << static_cast<int>(Waveform::PinkNoise);
    QTest::newRow("arbitrary") << static_cast<int>(Waveform::Arbitrary);
}

void TestSynthesis::noiseAndArbitraryWriteNothing()
{
    QFETCH(int, type);
    const Table t = tableFor(512, static_cast<Waveform>(type), 1250, 50, 300);
    QVERIFY(std::all_of(t.begin(), t.end(), [](int v) { return v == kUntouched; }));
}

void TestSynthesis::triangleWithoutRisingPartStartsAtThePeak_data()
{
    QTest::addColumn<int>("tab");
    QTest::addColumn<int>("duty");
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("last");
    QTest::newRow("2 entries, 49%") << 2 << 49 << 2046 << 0;
    QTest::newRow("2 entries, 1%") << 2 << 1 << 2046 << 0;
    QTest::newRow("64 entries, 1%") << 64 << 1 << 2046 << -1983;
}

void TestSynthesis::triangleWithoutRisingPartStartsAtThePeak()
{
    QFETCH(int, tab);
    QFETCH(int, duty);
    QFETCH(int, first);
    QFETCH(int, last);
    QCOMPARE(synthesis::shapeOf(tab, 2, 1250, duty, 0).dutyPos, 0);
    const Table t = tableFor(tab, Waveform::Triangle, 1250, duty, 0);
    QCOMPARE(t[0], first);
    QCOMPARE(t[tab - 1], last);
    QCOMPARE(*std::max_element(t.begin(), t.begin() + tab), first);
}

void TestSynthesis::shapeComparesDerivedValues_data()
{
    QTest::addColumn<int>("tabA");
    QTest::addColumn<int>("dutyA");
    QTest::addColumn<int>("gainA");
    QTest::addColumn<int>("offsetA");
    QTest::addColumn<int>("tabB");
    QTest::addColumn<int>("dutyB");
    QTest::addColumn<int>("gainB");
    QTest::addColumn<int>("offsetB");
    QTest::addColumn<bool>("equal");
    QTest::newRow("50% and 60% on 2 entries")
        << 2 << 50 << 1000 << 0 << 2 << 60 << 1000 << 0 << true;
    QTest::newRow("50% and 60% on 512 entries")
        << 512 << 50 << 1000 << 0 << 512 << 60 << 1000 << 0 << false;
    QTest::newRow("1 mV apart, same counts")
        << 512 << 50 << 1250 << 0 << 512 << 50 << 1250 << 0 << true;
    QTest::newRow("gain 0 and 1 mV differ") << 512 << 50 << 0 << 0 << 512 << 50 << 1 << 0 << false;
    QTest::newRow("offset differs") << 512 << 50 << 1000 << 10 << 512 << 50 << 1000 << 11 << false;
    QTest::newRow("length differs") << 510 << 50 << 1000 << 0 << 512 << 50 << 1000 << 0 << false;
}

void TestSynthesis::shapeComparesDerivedValues()
{
    QFETCH(int, tabA);
    QFETCH(int, dutyA);
    QFETCH(int, gainA);
    QFETCH(int, offsetA);
    QFETCH(int, tabB);
    QFETCH(int, dutyB);
    QFETCH(int, gainB);
    QFETCH(int, offsetB);
    QFETCH(bool, equal);
    const auto a = synthesis::shapeOf(tabA, 1, gainA, dutyA, offsetA);
    const auto b = synthesis::shapeOf(tabB, 1, gainB, dutyB, offsetB);
    QCOMPARE(a == b, equal);
    QCOMPARE(a != b, !equal);
}

void TestSynthesis::sampleClockForFrequency_data()
{
    QTest::addColumn<int>("hz");
    QTest::addColumn<int>("tab");
    QTest::addColumn<int>("period");
    QTest::newRow("1 Hz, exact 62500 replaced") << 1 << 512 << 61538;
    QTest::newRow("100 Hz, exact 625 replaced") << 100 << 512 << 624;
    QTest::newRow("1000 Hz") << 1000 << 512 << 62;
    QTest::newRow("1953 Hz, last full table") << 1953 << 512 << 32;
    QTest::newRow("1954 Hz, first short table") << 1954 << 510 << 32;
    QTest::newRow("2000 Hz, exact 500 replaced") << 2000 << 498 << 32;
    QTest::newRow("10 kHz") << 10000 << 98 << 32;
    QTest::newRow("100 kHz") << 100000 << 8 << 39;
    QTest::newRow("250 kHz") << 250000 << 2 << 63;
    QTest::newRow("300 kHz") << 300000 << 2 << 53;
    QTest::newRow("499999 Hz") << 499999 << 2 << 32;
    QTest::newRow("500 kHz, no try above the clock") << 500000 << 2 << 32;
    QTest::newRow("0 Hz held at 1 Hz") << 0 << 512 << 61538;
    QTest::newRow("above 500 kHz held there") << 700000 << 2 << 32;
}

void TestSynthesis::sampleClockForFrequency()
{
    QFETCH(int, hz);
    QFETCH(int, tab);
    QFETCH(int, period);
    const auto clock = synthesis::sampleClock(hz);
    QCOMPARE(clock.tab, tab);
    QCOMPARE(clock.period, period);
}

// Over the whole range: even lengths of 2..512, periods that fit the
// device's 16-bit counter, and a produced frequency strictly above the
// request (exact hits are replaced) except where the 500 kHz cap holds it.
void TestSynthesis::sampleClockHoldsForEveryFrequency()
{
    for (int hz = synthesis::kLowestHz; hz <= synthesis::kHighestHz; ++hz) {
        const auto c = synthesis::sampleClock(hz);
        if (c.tab % 2 != 0 || c.tab < 2 || c.tab > 512 || c.period < 32 || c.period > 62500)
            QFAIL(qPrintable(QStringLiteral("%1 Hz gave %2 entries of %3 ticks")
                                 .arg(hz)
                                 .arg(c.tab)
                                 .arg(c.period)));
        const long long rate = (2048000000LL / c.period) / c.tab;
        if (rate <= 64LL * hz && !(c.tab == 2 && c.period == 32))
            QFAIL(qPrintable(QStringLiteral("%1 Hz not exceeded").arg(hz)));
    }
}

// labbench-cli's --freq 1234.5: a whole number gives the frequency box's
// clock, and a fraction is exceeded as a whole request is.
void TestSynthesis::sampleClockTakesFractions()
{
    for (int hz = synthesis::kLowestHz; hz < synthesis::kHighestHz; hz += 997) {
        const auto whole = synthesis::sampleClockAt(hz);
        const auto box = synthesis::sampleClock(hz);
        QCOMPARE(whole.tab, box.tab);
        QCOMPARE(whole.period, box.period);
        const double asked = hz + 0.5;
        const auto c = synthesis::sampleClockAt(asked);
        const double played = double(synthesis::kDeviceClockHz) / (double(c.tab) * c.period);
        if (!(played > asked) && !(c.tab == 2 && c.period == 32))
            QFAIL(qPrintable(QStringLiteral("%1 Hz gave %2 Hz").arg(asked).arg(played)));
    }
}

// What the device plays: 32 MHz over length times period; the generator tab
// shows it with three decimals.
void TestSynthesis::playedFrequency_data()
{
    QTest::addColumn<int>("tab");
    QTest::addColumn<int>("period");
    QTest::addColumn<bool>("plays");
    QTest::addColumn<QString>("hz");
    QTest::newRow("1000 Hz asked: 512 x 62") << 512 << 62 << true << "1008.065";
    QTest::newRow("1 Hz asked: 512 x 61538") << 512 << 61538 << true << "1.016";
    QTest::newRow("100 Hz asked: 512 x 624") << 512 << 624 << true << "100.160";
    QTest::newRow("2000 Hz asked: 498 x 32") << 498 << 32 << true << "2008.032";
    QTest::newRow("100 kHz asked: 8 x 39") << 8 << 39 << true << "102564.103";
    QTest::newRow("the fastest, 2 x 32") << 2 << 32 << true << "500000.000";
    QTest::newRow("no entries") << 0 << 62 << false << "";
    QTest::newRow("no period") << 512 << 0 << false << "";
    QTest::newRow("negative length") << -2 << 32 << false << "";
}

void TestSynthesis::playedFrequency()
{
    QFETCH(int, tab);
    QFETCH(int, period);
    QFETCH(bool, plays);
    QFETCH(QString, hz);
    const auto played = synthesis::playedHz({ tab, period });
    QCOMPARE(played.has_value(), plays);
    if (played)
        QCOMPARE(QString::number(*played, 'f', 3), hz);
}

QTEST_MAIN(TestSynthesis)
#include "tst_synthesis.moc"
