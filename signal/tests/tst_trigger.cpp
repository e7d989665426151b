#include "trigger.h"

#include <QtTest>

#include <array>
#include <vector>

using osc::Detector;
using osc::TriggerSettings;
using osc::TriggerState;

namespace {

using Frame = std::array<int, osc::kFrame>;
using Window = std::array<int, osc::kWindow>;

// A frame at `before` up to (not including) index `edge`, at `after` from it on.
Frame step(int before, int after, int edge)
{
    Frame f;
    for (int i = 0; i < osc::kFrame; ++i)
        f[static_cast<std::size_t>(i)] = i < edge ? before : after;
    return f;
}

// Sample i holds i: every window start can be read back from the first entry.
Frame ramp()
{
    Frame f;
    for (int i = 0; i < osc::kFrame; ++i)
        f[static_cast<std::size_t>(i)] = i;
    return f;
}

Frame flat(int v)
{
    Frame f;
    f.fill(v);
    return f;
}

constexpr int kNorm = 1;
constexpr int kAuto = 2;
constexpr int kSingle = 3;
constexpr int kRising = 4; // edge list bit
constexpr int kHf = 8; // detector list bit

} // namespace

class TestTrigger : public QObject {
    Q_OBJECT
private slots:
    void scaleFactorPerGain_data();
    void scaleFactorPerGain();
    void rawThresholdScalesWithGain_data();
    void rawThresholdScalesWithGain();
    void lfEdgeTestsAreStrict_data();
    void lfEdgeTestsAreStrict();
    void hfEdgeTestsNeedTheDeadBand_data();
    void hfEdgeTestsNeedTheDeadBand();
    void searchWindowLimits_data();
    void searchWindowLimits();
    void searchRejectsImpossibleWindows();
    void firstMatchWins();
    void copySignalTruncatesTowardZero_data();
    void copySignalTruncatesTowardZero();
    void risingEdgeAlignedAtTheTriggerPosition_data();
    void risingEdgeAlignedAtTheTriggerPosition();
    void freeRunShowsEveryFrameFromSampleZero();
    void normalModeHoldsFlatFrames();
    void autoModeTimesOutAfter30Ticks();
    void autoModeReturnsToTriggeredAfterAnEdge();
    void singleModeHoldsUntilRearmed();
    void singleModeWaitsForAnEdge();
    void twoChannelFramesAlignBothChannels();
    void twoChannelSearchStaysInChannel1();
    void channel2KeptWhenSwitchedOff();
};

void TestTrigger::scaleFactorPerGain_data()
{
    QTest::addColumn<int>("gain");
    QTest::addColumn<int>("factor");
    const int expected[] = {100, 125, 125, 125, 156, 156, 156};
    for (int g = 0; g < 7; ++g)
        QTest::addRow("gain %d", g) << g << expected[g];
}

void TestTrigger::scaleFactorPerGain()
{
    QFETCH(int, gain);
    QFETCH(int, factor);
    QCOMPARE(osc::scaleFactor(gain), factor);
}

void TestTrigger::rawThresholdScalesWithGain_data()
{
    QTest::addColumn<int>("level");
    QTest::addColumn<int>("gain");
    QTest::addColumn<int>("threshold");
    QTest::newRow("100 at gain 2") << 100 << 2 << 1600;
    QTest::newRow("100 at gain 0") << 100 << 0 << 400;
    QTest::newRow("-100 at gain 2") << -100 << 2 << -1600;
    QTest::newRow("2000 at gain 6") << 2000 << 6 << 512000;
    QTest::newRow("-2000 at gain 6") << -2000 << 6 << -512000;
}

void TestTrigger::rawThresholdScalesWithGain()
{
    QFETCH(int, level);
    QFETCH(int, gain);
    QFETCH(int, threshold);
    QCOMPARE(osc::rawThreshold(level, gain), threshold);
}

void TestTrigger::lfEdgeTestsAreStrict_data()
{
    QTest::addColumn<std::vector<int>>("samples"); // s[i-2] .. s[i+3], i = 2
    QTest::addColumn<int>("threshold");
    QTest::addColumn<bool>("rising");
    QTest::addColumn<bool>("falling");
    QTest::newRow("clean rise") << std::vector<int>{0, 0, 0, 20, 20, 20} << 10 << true << false;
    QTest::newRow("clean fall") << std::vector<int>{20, 20, 20, 0, 0, 0} << 10 << false << true;
    QTest::newRow("before sum equals 3T")
        << std::vector<int>{10, 10, 10, 20, 20, 20} << 10 << false << false;
    QTest::newRow("after sum equals 3T")
        << std::vector<int>{0, 0, 0, 10, 10, 10} << 10 << false << false;
    QTest::newRow("after sum one above 3T")
        << std::vector<int>{0, 0, 0, 10, 10, 11} << 10 << true << false;
    QTest::newRow("fall after sum equals 3T")
        << std::vector<int>{20, 20, 20, 10, 10, 10} << 10 << false << false;
    QTest::newRow("single noisy sample rides over")
        << std::vector<int>{0, 0, 0, 40, 0, 0} << 10 << true << false;
    QTest::newRow("negative level rise")
        << std::vector<int>{-30, -30, -30, -10, -10, -10} << -20 << true << false;
}

void TestTrigger::lfEdgeTestsAreStrict()
{
    QFETCH(std::vector<int>, samples);
    QFETCH(int, threshold);
    QFETCH(bool, rising);
    QFETCH(bool, falling);
    QCOMPARE(osc::checkRisingLF(samples.data(), 2, threshold), rising);
    QCOMPARE(osc::checkFallingLF(samples.data(), 2, threshold), falling);
}

void TestTrigger::hfEdgeTestsNeedTheDeadBand_data()
{
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("second");
    QTest::addColumn<bool>("rising");
    QTest::addColumn<bool>("falling");
    // Threshold 100: the dead band is 96 to 104.
    QTest::newRow("T-4 to T+5 does not rise") << 96 << 105 << false << false;
    QTest::newRow("T-5 to T+5 rises") << 95 << 105 << true << false;
    QTest::newRow("T-5 to T+4 does not rise") << 95 << 104 << false << false;
    QTest::newRow("T+5 to T-5 falls") << 105 << 95 << false << true;
    QTest::newRow("T+4 to T-5 does not fall") << 104 << 95 << false << false;
    QTest::newRow("T+5 to T-4 does not fall") << 105 << 96 << false << false;
}

void TestTrigger::hfEdgeTestsNeedTheDeadBand()
{
    QFETCH(int, first);
    QFETCH(int, second);
    QFETCH(bool, rising);
    QFETCH(bool, falling);
    const int s[] = {0, first, second, 0};
    QCOMPARE(osc::checkRisingHF(s, 1, 100), rising);
    QCOMPARE(osc::checkFallingHF(s, 1, 100), falling);
}

void TestTrigger::searchWindowLimits_data()
{
    QTest::addColumn<int>("frameLength");
    QTest::addColumn<int>("start");
    QTest::addColumn<int>("edge");
    QTest::addColumn<int>("found");
    // A step up at index e fires the rising HF test at e - 1.
    QTest::newRow("edge at b+1 never found") << 1024 << 192 << 192 + 2 << -1;
    QTest::newRow("edge at b+2 is the first candidate") << 1024 << 192 << 192 + 3 << 194;
    QTest::newRow("last candidate b+N-W-4")
        << 1024 << 192 << 192 + 1024 - 384 - 3 << 192 + 1024 - 384 - 4;
    QTest::newRow("b+N-W-3 is past the end") << 1024 << 192 << 192 + 1024 - 384 - 2 << -1;
    QTest::newRow("two channels, last candidate")
        << 512 << 192 << 192 + 512 - 384 - 3 << 192 + 512 - 384 - 4;
    QTest::newRow("two channels, past the end") << 512 << 192 << 192 + 512 - 384 - 2 << -1;
    QTest::newRow("position -192, first candidate") << 1024 << 0 << 3 << 2;
    QTest::newRow("position -192, edge at 1 not found") << 1024 << 0 << 2 << -1;
    QTest::newRow("position 192, last candidate") << 1024 << 384 << 1024 - 3 << 1024 - 4;
}

void TestTrigger::searchWindowLimits()
{
    QFETCH(int, frameLength);
    QFETCH(int, start);
    QFETCH(int, edge);
    QFETCH(int, found);
    const Frame f = step(0, 200, edge);
    QCOMPARE(osc::getTrigIndex(f.data(), frameLength, osc::kWindow, start, 100, Detector::RisingHF),
             found);
}

void TestTrigger::searchRejectsImpossibleWindows()
{
    const Frame f = step(0, 200, 500);
    QCOMPARE(osc::getTrigIndex(f.data(), 1024, 384, 385, 100, Detector::RisingHF), -1);
    QCOMPARE(osc::getTrigIndex(f.data(), 383, 384, 0, 100, Detector::RisingHF), -1);
    QCOMPARE(osc::getTrigIndex(f.data(), 1024, 384, 384, 100, Detector::RisingHF), 499);
}

void TestTrigger::firstMatchWins()
{
    Frame f = flat(0);
    for (int i = 300; i < 310; ++i)
        f[static_cast<std::size_t>(i)] = 200;
    for (int i = 400; i < 1024; ++i)
        f[static_cast<std::size_t>(i)] = 200;
    QCOMPARE(osc::getTrigIndex(f.data(), 1024, 384, 192, 100, Detector::RisingHF), 299);
    QCOMPARE(osc::getTrigIndex(f.data(), 1024, 384, 192, 100, Detector::FallingHF), 309);
}

void TestTrigger::copySignalTruncatesTowardZero_data()
{
    QTest::addColumn<int>("raw");
    QTest::addColumn<int>("factor");
    QTest::addColumn<int>("scaled");
    QTest::newRow("100 at 156") << 100 << 156 << 156;
    QTest::newRow("-100 at 156") << -100 << 156 << -156;
    QTest::newRow("1 at 156 truncates") << 1 << 156 << 1;
    QTest::newRow("-1 at 156 truncates toward zero") << -1 << 156 << -1;
    QTest::newRow("3 at 125 truncates") << 3 << 125 << 3;
    QTest::newRow("-3 at 125 truncates toward zero") << -3 << 125 << -3;
    QTest::newRow("-32768 at 156") << -32768 << 156 << -51118;
}

void TestTrigger::copySignalTruncatesTowardZero()
{
    QFETCH(int, raw);
    QFETCH(int, factor);
    QFETCH(int, scaled);
    const int source[] = {raw, raw};
    int out[] = {0, 0, 12345};
    osc::copySignal(source, out, 2, factor);
    QCOMPARE(out[0], scaled);
    QCOMPARE(out[1], scaled);
    QCOMPARE(out[2], 12345);
}

void TestTrigger::risingEdgeAlignedAtTheTriggerPosition_data()
{
    QTest::addColumn<int>("xPos");
    QTest::addColumn<int>("high");
    QTest::newRow("position 0") << 0 << 500;
    QTest::newRow("position -192") << -192 << 300;
    QTest::newRow("position 192") << 192 << 700;
    QTest::newRow("position 0, edge on the first candidate") << 0 << 196;
}

// Low samples (-1000 - i) up to `high`, then 2000 + i, level 1000 raw: the LF
// test first fires at i = high - 2, where samples i-2..i sum below 3000 and
// i+1..i+3 (one low, two high) above it. The window then starts at
// i - 192 - xPos, putting sample i at window index 192 + xPos.
void TestTrigger::risingEdgeAlignedAtTheTriggerPosition()
{
    QFETCH(int, xPos);
    QFETCH(int, high);
    Frame f;
    for (int i = 0; i < osc::kFrame; ++i)
        f[static_cast<std::size_t>(i)] = i < high ? -1000 - i : 2000 + i;
    TriggerSettings settings;
    settings.level = 250; // 1000 raw at gain 0
    settings.word = kNorm + kRising;
    settings.xPos = xPos;
    TriggerState state;
    Window out1;
    out1.fill(-1);
    Window out2;
    QVERIFY(osc::trigger(f.data(), out1.data(), out2.data(), settings, state));
    const int start = high - 2 - 192 - xPos;
    for (int j = 0; j < osc::kWindow; ++j)
        QCOMPARE(out1[static_cast<std::size_t>(j)], f[static_cast<std::size_t>(start + j)]);
    QVERIFY(state.triggered);
    QCOMPARE(state.ticks, 0);
}

void TestTrigger::freeRunShowsEveryFrameFromSampleZero()
{
    const Frame f = ramp();
    TriggerSettings settings;
    settings.word = kRising; // mode "----" with any detector
    settings.xPos = 100;
    TriggerState state;
    Window out1;
    Window out2;
    for (int frame = 0; frame < 3; ++frame) {
        state.ticks = 40;
        QVERIFY(osc::trigger(f.data(), out1.data(), out2.data(), settings, state));
        QCOMPARE(out1[0], 0);
        QCOMPARE(out1[383], 383);
        QCOMPARE(state.ticks, 0);
    }
}

void TestTrigger::normalModeHoldsFlatFrames()
{
    const Frame f = flat(50);
    TriggerSettings settings;
    settings.word = kNorm + kRising;
    TriggerState state;
    Window out1;
    out1.fill(7);
    Window out2;
    for (int tick = 0; tick < 100; tick += 10) {
        state.ticks = tick;
        QVERIFY(!osc::trigger(f.data(), out1.data(), out2.data(), settings, state));
    }
    QCOMPARE(out1[0], 7);
    QCOMPARE(out1[383], 7);
}

void TestTrigger::autoModeTimesOutAfter30Ticks()
{
    const Frame f = ramp(); // rises through no level of -100 raw: never an edge
    TriggerSettings settings;
    settings.level = -25;
    settings.word = kAuto + kRising;
    settings.xPos = 50;
    TriggerState state;
    Window out1;
    out1.fill(-7);
    Window out2;
    for (int tick = 0; tick <= 30; ++tick) {
        state.ticks = tick;
        QVERIFY2(!osc::trigger(f.data(), out1.data(), out2.data(), settings, state),
                 qPrintable(QString::number(tick)));
    }
    QCOMPARE(out1[0], -7);
    state.ticks = 31;
    QVERIFY(osc::trigger(f.data(), out1.data(), out2.data(), settings, state));
    QCOMPARE(out1[0], 0); // untriggered: from sample 0 whatever the position
    QCOMPARE(state.ticks, 51);
    // It keeps showing frames while no edge comes.
    QVERIFY(osc::trigger(f.data(), out1.data(), out2.data(), settings, state));
}

void TestTrigger::autoModeReturnsToTriggeredAfterAnEdge()
{
    const Frame edge = step(0, 2000, 600);
    const Frame none = flat(0);
    TriggerSettings settings;
    settings.level = 250;
    settings.word = kAuto + kRising;
    TriggerState state;
    state.ticks = 31;
    Window out1;
    Window out2;
    // Timed out: the frame with an edge is still shown from sample 0 ...
    QVERIFY(osc::trigger(edge.data(), out1.data(), out2.data(), settings, state));
    QCOMPARE(out1[0], 0);
    QCOMPARE(out1[383], 0);
    QCOMPARE(state.ticks, 0);
    // ... and from then on only frames with an edge are, aligned on it.
    QVERIFY(!osc::trigger(none.data(), out1.data(), out2.data(), settings, state));
    QVERIFY(osc::trigger(edge.data(), out1.data(), out2.data(), settings, state));
    // The LF test fires two samples before the first high one.
    QCOMPARE(out1[193], 0);
    QCOMPARE(out1[194], 2000);
}

void TestTrigger::singleModeHoldsUntilRearmed()
{
    const Frame first = step(0, 2000, 600);
    const Frame second = step(0, 3000, 700);
    TriggerSettings settings;
    settings.level = 250;
    settings.word = kSingle + kRising;
    TriggerState state;
    Window out1;
    Window out2;
    QVERIFY(osc::trigger(first.data(), out1.data(), out2.data(), settings, state));
    QCOMPARE(out1[194], 2000);
    for (int frame = 0; frame < 5; ++frame)
        QVERIFY(!osc::trigger(second.data(), out1.data(), out2.data(), settings, state));
    QCOMPARE(out1[194], 2000);
    // A touched trigger control re-arms it: the next frame with an edge shows.
    state.rearm = true;
    QVERIFY(osc::trigger(second.data(), out1.data(), out2.data(), settings, state));
    QCOMPARE(out1[194], 3000);
    QVERIFY(!state.rearm);
    QVERIFY(!osc::trigger(first.data(), out1.data(), out2.data(), settings, state));
}

void TestTrigger::singleModeWaitsForAnEdge()
{
    const Frame none = flat(0);
    const Frame edge = step(0, 2000, 600);
    TriggerSettings settings;
    settings.level = 250;
    settings.word = kSingle + kRising;
    TriggerState state;
    state.rearm = true;
    Window out1;
    Window out2;
    QVERIFY(!osc::trigger(none.data(), out1.data(), out2.data(), settings, state));
    QVERIFY(!state.triggered);
    state.ticks = 100; // "Single" never times out
    QVERIFY(!osc::trigger(none.data(), out1.data(), out2.data(), settings, state));
    QVERIFY(osc::trigger(edge.data(), out1.data(), out2.data(), settings, state));
    QVERIFY(state.triggered);
}

void TestTrigger::twoChannelFramesAlignBothChannels()
{
    Frame f;
    for (int i = 0; i < 512; ++i) {
        f[static_cast<std::size_t>(i)] = i < 250 ? 0 : 2000;
        f[static_cast<std::size_t>(512 + i)] = i < 250 ? -100 : 100;
    }
    TriggerSettings settings;
    settings.level = 250;
    settings.word = kNorm + kRising + kHf;
    settings.gain2 = 6;
    settings.twoChannels = true;
    TriggerState state;
    Window out1;
    Window out2;
    QVERIFY(osc::trigger(f.data(), out1.data(), out2.data(), settings, state));
    // Edge at 249: window from 57 in each block.
    QCOMPARE(out1[192], 0);
    QCOMPARE(out1[193], 2000);
    QCOMPARE(out2[192], -156);
    QCOMPARE(out2[193], 156);
}

void TestTrigger::twoChannelSearchStaysInChannel1()
{
    // Channel 1 flat, channel 2 rising: the edge in the second block is not channel 1's.
    Frame f = flat(0);
    for (int i = 512 + 200; i < 1024; ++i)
        f[static_cast<std::size_t>(i)] = 2000;
    TriggerSettings settings;
    settings.level = 250;
    settings.word = kNorm + kRising;
    settings.twoChannels = true;
    TriggerState state;
    Window out1;
    Window out2;
    QVERIFY(!osc::trigger(f.data(), out1.data(), out2.data(), settings, state));
    // A one-channel frame with the same samples does hold an edge at 711.
    settings.twoChannels = false;
    QVERIFY(osc::trigger(f.data(), out1.data(), out2.data(), settings, state));
}

void TestTrigger::channel2KeptWhenSwitchedOff()
{
    const Frame f = ramp();
    TriggerSettings settings;
    TriggerState state;
    Window out1;
    Window out2;
    out2.fill(99);
    QVERIFY(osc::trigger(f.data(), out1.data(), out2.data(), settings, state));
    QCOMPARE(out2[0], 99);
    QCOMPARE(out2[383], 99);
}

QTEST_MAIN(TestTrigger)
#include "tst_trigger.moc"
