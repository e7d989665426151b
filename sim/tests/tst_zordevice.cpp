#include "zordevice.h"

#include <QtTest>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>

using namespace std::chrono_literals;

namespace {

using Clock = ZorDevice::Clock;

constexpr std::size_t kFrameBytes = 1 + 2048 + 1;

ZorDevice::Settings quietSettings(bool paced = false, bool prompts = false)
{
    ZorDevice::Settings s;
    s.paced = paced;
    s.prompts = prompts;
    s.noiseMillivolts = 0.0;
    return s;
}

// A device and the clock it lives by.
struct Bench {
    explicit Bench(const ZorDevice::Settings& s)
        : now(Clock::time_point {} + 1h)
        , device(s, now)
    {
    }
    std::string say(const std::string& bytes)
    {
        for (const char c : bytes)
            device.receive(c, now);
        return device.takeOutput();
    }
    std::string wait(Clock::duration d)
    {
        now += d;
        device.poll(now);
        return device.takeOutput();
    }
    Clock::time_point now;
    ZorDevice device;
};

bool isFrame(const std::string& bytes)
{
    return bytes.size() == kFrameBytes && bytes.front() == 'S' && bytes.back() == 'E';
}

int sampleAt(const std::string& frame, int index)
{
    const auto low = static_cast<std::uint8_t>(frame[static_cast<std::size_t>(1 + 2 * index)]);
    const auto high = static_cast<std::uint8_t>(frame[static_cast<std::size_t>(2 + 2 * index)]);
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(low | (high << 8)));
}

std::string tableUpload(const std::array<int, 512>& entries)
{
    std::string bytes = "S";
    for (const int v : entries) {
        const auto word = static_cast<std::uint16_t>(v + 2048);
        bytes += static_cast<char>(word & 0xFF);
        bytes += static_cast<char>(word >> 8);
    }
    return bytes;
}

} // namespace

class TestZorDevice : public QObject {
    Q_OBJECT

private slots:
    void commandBytesAreEchoed_data();
    void commandBytesAreEchoed();
    void frameLeavesOnlyAfterTheSettleTime();
    void enteringTheSameModeTwiceArmsOneFrame();
    void eachGoArmsExactlyOneMoreFrame();
    void subCommandHoldsTheFrameBackUntilQuitGo();
    void timeBaseDigit_data();
    void timeBaseDigit();
    void gainDigitsAreTakenPerChannel_data();
    void gainDigitsAreTakenPerChannel();
    void incompleteSubCommandChangesNothing();
    void generatorDigitsSetPeriodAndLength_data();
    void generatorDigitsSetPeriodAndLength();
    void tableUploadIsStoredAndNotAnswered();
    void tableBytesAreNeverTakenForCommands();
    void framesCarryTheSamplesLittleEndian();
    void twoChannelFramesHoldTwoBlocks();
    void circuitPutsTheGeneratorOnChannelTwoAndItsAnswerOnChannelOne();
    void idleDevicePromptsAfterAQuietSecond();
    void promptAnswerEntersThatModeAndSendsAFrame();
    void acquisitionWithoutGoPromptsAgain();
    void generatorModeIsNotPrompted();
    void promptsCanBeSwitchedOff();
    void newHostIsPromptedUnlessItSpeaksFirst();
    void departedHostIsNotSpokenTo();
    void watchPromptPrecedesAFrameAndCountsMissingAnswers();
    void unansweredWatchTimesOut();
    void pacedFrameTakesSamplingAndLineTime_data();
    void pacedFrameTakesSamplingAndLineTime();
    void garbageFaultAddsOnlyHarmlessBytesBeforeTheFrame();
    void noEndFaultDropsTheEndMarker();
    void earlyEndFaultCutsTheFrameAtADataE();
    void faultHitsEveryNthFrame();
    void wrongEchoFaultStillActsOnTheByte();
    void silentDeviceSaysNothingUntilItComesBack();
    void hangUpFaultCutsTheFrameAndAsksForTheLineToDrop();
};

void TestZorDevice::commandBytesAreEchoed_data()
{
    QTest::addColumn<QString>("sent");
    QTest::addColumn<QString>("echoed");
    QTest::newRow("quit while idle") << "q"
                                     << "q";
    QTest::newRow("one channel") << "a"
                                 << "a";
    QTest::newRow("two channels") << "c"
                                  << "c";
    QTest::newRow("generator") << "e"
                               << "e";
    QTest::newRow("gain and its digits") << "u06q"
                                         << "u06q";
    QTest::newRow("time base digit 14") << "s>q"
                                        << "s>q";
    QTest::newRow("generator period digits") << "es003>200q"
                                             << "es003>200q";
    QTest::newRow("go while idle is silent") << "g"
                                             << "";
    QTest::newRow("stray digit outside a sub-command") << "5"
                                                       << "";
}

void TestZorDevice::commandBytesAreEchoed()
{
    QFETCH(QString, sent);
    QFETCH(QString, echoed);
    Bench b(quietSettings());
    QCOMPARE(QString::fromStdString(b.say(sent.toStdString())), echoed);
}

void TestZorDevice::frameLeavesOnlyAfterTheSettleTime()
{
    Bench b(quietSettings());
    QCOMPARE(b.say("a"), std::string("a"));
    QCOMPARE(b.wait(ZorDevice::kSettle - 1ns), std::string());
    QVERIFY(isFrame(b.wait(1ns)));
    QCOMPARE(b.device.state().framesSent, 1L);
}

void TestZorDevice::enteringTheSameModeTwiceArmsOneFrame()
{
    Bench b(quietSettings());
    QCOMPARE(b.say("qaqa"), std::string("qaqa"));
    b.say("a");
    QVERIFY(isFrame(b.wait(10ms)));
    QCOMPARE(b.wait(10s), std::string());
    QCOMPARE(b.device.state().framesSent, 1L);
    QCOMPARE(b.device.state().mode, Mode::OneChannel);
}

void TestZorDevice::eachGoArmsExactlyOneMoreFrame()
{
    Bench b(quietSettings());
    b.say("a");
    QVERIFY(isFrame(b.wait(10ms)));
    QCOMPARE(b.say("g"), std::string());
    QCOMPARE(b.say("g"), std::string());
    QVERIFY(isFrame(b.wait(10ms)));
    QCOMPARE(b.wait(10ms), std::string());
    QCOMPARE(b.device.state().framesSent, 2L);
}

void TestZorDevice::subCommandHoldsTheFrameBackUntilQuitGo()
{
    Bench b(quietSettings());
    b.say("a");
    QVERIFY(isFrame(b.wait(10ms)));
    // The host's "g" and its next command arrive together: the command comes first.
    QCOMPARE(b.say("gs"), std::string("s"));
    QCOMPARE(b.wait(1s), std::string());
    QCOMPARE(b.say("9"), std::string("9"));
    QCOMPARE(b.say("q"), std::string("q"));
    QCOMPARE(b.wait(1s), std::string());
    QCOMPARE(b.device.state().timeBase, 9);
    b.say("g");
    QVERIFY(isFrame(b.wait(10ms)));
}

void TestZorDevice::timeBaseDigit_data()
{
    QTest::addColumn<char>("digit");
    QTest::addColumn<int>("code");
    QTest::newRow("fastest") << '0' << 0;
    QTest::newRow("nine") << '9' << 9;
    QTest::newRow("ten is a colon") << ':' << 10;
    QTest::newRow("slowest is the prompt byte") << '>' << 14;
    QTest::newRow("fifteen is refused") << '?' << 7;
}

void TestZorDevice::timeBaseDigit()
{
    QFETCH(char, digit);
    QFETCH(int, code);
    Bench b(quietSettings());
    b.say("a");
    b.say(std::string("s") + digit + "qg");
    QCOMPARE(b.device.state().timeBase, code);
}

void TestZorDevice::gainDigitsAreTakenPerChannel_data()
{
    QTest::addColumn<QString>("digits");
    QTest::addColumn<int>("gain1");
    QTest::addColumn<int>("gain2");
    QTest::newRow("both zero") << "00" << 0 << 0;
    QTest::newRow("three and six") << "36" << 3 << 6;
    QTest::newRow("seven refused on channel 1 only") << "72" << 0 << 2;
    QTest::newRow("seven refused on channel 2 only") << "47" << 4 << 0;
}

void TestZorDevice::gainDigitsAreTakenPerChannel()
{
    QFETCH(QString, digits);
    QFETCH(int, gain1);
    QFETCH(int, gain2);
    Bench b(quietSettings());
    b.say("c");
    b.say("u" + digits.toStdString() + "qg");
    QCOMPARE(b.device.state().gain1, gain1);
    QCOMPARE(b.device.state().gain2, gain2);
}

void TestZorDevice::incompleteSubCommandChangesNothing()
{
    Bench b(quietSettings());
    b.say("a");
    QCOMPARE(b.say("u3q"), std::string("u3q"));
    QCOMPARE(b.device.state().gain1, 0);
    QCOMPARE(b.say("sq"), std::string("sq"));
    QCOMPARE(b.device.state().timeBase, 7);
    b.say("qe");
    QCOMPARE(b.say("s123420q"), std::string("s123420q"));
    QCOMPARE(b.device.state().period, 62);
    QCOMPARE(b.device.state().length, 512);
}

void TestZorDevice::generatorDigitsSetPeriodAndLength_data()
{
    QTest::addColumn<QString>("digits");
    QTest::addColumn<int>("period");
    QTest::addColumn<int>("length");
    QTest::newRow("period 0x1234, length 0x200") << "1234200" << 0x1234 << 512;
    QTest::newRow("power-up values") << "003>200" << 62 << 512;
    QTest::newRow("shortest table") << "0001001" << 1 << 1;
    QTest::newRow("length 513 refused") << "0100201" << 62 << 512;
    QTest::newRow("length 0 refused") << "0100000" << 62 << 512;
    QTest::newRow("period 0 refused") << "0000100" << 62 << 512;
    QTest::newRow("largest period") << "????040" << 65535 << 64;
}

void TestZorDevice::generatorDigitsSetPeriodAndLength()
{
    QFETCH(QString, digits);
    QFETCH(int, period);
    QFETCH(int, length);
    Bench b(quietSettings());
    b.say("e");
    const std::string command = "s" + digits.toStdString() + "q";
    QCOMPARE(b.say(command), command);
    QCOMPARE(b.device.state().period, period);
    QCOMPARE(b.device.state().length, length);
    QCOMPARE(b.device.state().mode, Mode::Generator);
}

void TestZorDevice::tableUploadIsStoredAndNotAnswered()
{
    Bench b(quietSettings());
    b.say("e");
    std::array<int, 512> table {};
    for (std::size_t i = 0; i < table.size(); ++i)
        table[i] = static_cast<int>(i * 8) - 2048;
    table[1] = 0;
    table[511] = 2047;
    QCOMPARE(b.say("g"), std::string("g"));
    QCOMPARE(b.say("g"), std::string("g")); // the host repeats until it hears one
    QCOMPARE(b.say(tableUpload(table)), std::string());
    const DeviceState s = b.device.state();
    QCOMPARE(s.tablesReceived, 1L);
    QCOMPARE(s.table[0], -2048);
    QCOMPARE(s.table[1], 0);
    QCOMPARE(s.table[511], 2047);
    QVERIFY(s.table == table);
    QCOMPARE(b.wait(10s), std::string());
}

void TestZorDevice::tableBytesAreNeverTakenForCommands()
{
    Bench b(quietSettings());
    b.say("eg");
    // Entries whose bytes spell "q", "a", "S" and "g": all data while the upload runs.
    std::array<int, 512> table {};
    table.fill('q' + 256 * 'a' - 2048);
    table[3] = 'S' + 256 * 'g' - 2048;
    QCOMPARE(b.say(tableUpload(table)), std::string());
    QCOMPARE(b.device.state().mode, Mode::Generator);
    QCOMPARE(b.device.state().tablesReceived, 1L);
    // Values past 12 bits are pinned to the converter's ends.
    QCOMPARE(b.device.state().table[0], 2047);
    QCOMPARE(b.say("q"), std::string("q"));
}

void TestZorDevice::framesCarryTheSamplesLittleEndian()
{
    Bench b(quietSettings());
    b.say("a");
    const std::string f = b.wait(10ms);
    QVERIFY(isFrame(f));
    // Power-up table entry 0 is 2047 counts = 1250 mV = 125 units at gain 0.
    QCOMPARE(sampleAt(f, 0), 125);
    b.say("u6"
          "0qg");
    const std::string clipped = b.wait(10ms);
    QVERIFY(isFrame(clipped));
    int highest = -5000;
    int lowest = 5000;
    for (int i = 0; i < 1024; ++i) {
        highest = std::max(highest, sampleAt(clipped, i));
        lowest = std::min(lowest, sampleAt(clipped, i));
    }
    QCOMPARE(highest, 2047);
    QCOMPARE(lowest, -2047);
}

void TestZorDevice::twoChannelFramesHoldTwoBlocks()
{
    Bench b(quietSettings());
    b.say("c");
    const std::string f = b.wait(10ms);
    QVERIFY(isFrame(f));
    QCOMPARE(sampleAt(f, 0), 125);
    for (int i = 512; i < 1024; ++i)
        QVERIFY2(std::abs(sampleAt(f, i)) == 100, qPrintable(QString::number(i)));
    QCOMPARE(sampleAt(f, 512), 100);
    QVERIFY(std::abs(sampleAt(f, 511)) <= 125);
}

void TestZorDevice::circuitPutsTheGeneratorOnChannelTwoAndItsAnswerOnChannelOne()
{
    auto s = quietSettings();
    s.circuit = Circuit::parse("lowpass:1k");
    Bench b(s);
    b.say("c");
    const std::string f = b.wait(10ms);
    QVERIFY(isFrame(f));
    // Channel 2: the power-up cosine, 1250 mV = 125 units at gain 0, at 32 MHz / (512 x 62).
    const double hz = 32e6 / (512 * 62);
    int peak = 0;
    for (int i = 0; i < 512; ++i) {
        const double played = 125 * std::cos(2 * 3.14159265358979323846 * hz * i / 80e3);
        QVERIFY2(std::abs(sampleAt(f, 512 + i) - played) <= 1, qPrintable(QString::number(i)));
        peak = std::max(peak, std::abs(sampleAt(f, i)));
    }
    // Channel 1: the same through a 1 kHz corner, 1 / |1 + j 1008/1000| = 0.704 of it.
    QCOMPARE(peak, 88);
}

void TestZorDevice::idleDevicePromptsAfterAQuietSecond()
{
    Bench b(quietSettings(false, true));
    QCOMPARE(b.wait(ZorDevice::kQuietBeforePrompt - 1ms), std::string());
    QCOMPARE(b.wait(1ms), std::string(">"));
    QCOMPARE(b.wait(ZorDevice::kQuietBeforePrompt - 1ms), std::string());
    QCOMPARE(b.wait(1ms), std::string(">"));
}

void TestZorDevice::promptAnswerEntersThatModeAndSendsAFrame()
{
    Bench b(quietSettings(false, true));
    QCOMPARE(b.wait(1s), std::string(">"));
    QCOMPARE(b.say("c"), std::string("c"));
    QVERIFY(isFrame(b.wait(10ms)));
    QCOMPARE(b.device.state().mode, Mode::TwoChannels);
}

void TestZorDevice::acquisitionWithoutGoPromptsAgain()
{
    Bench b(quietSettings(false, true));
    b.say("a");
    QVERIFY(isFrame(b.wait(10ms)));
    QCOMPARE(b.wait(ZorDevice::kQuietBeforePrompt - 1ms), std::string());
    QCOMPARE(b.wait(1ms), std::string(">"));
    QCOMPARE(b.say("a"), std::string("a"));
    QVERIFY(isFrame(b.wait(10ms)));
}

void TestZorDevice::generatorModeIsNotPrompted()
{
    Bench b(quietSettings(false, true));
    b.say("e");
    QCOMPARE(b.wait(30s), std::string());
}

void TestZorDevice::promptsCanBeSwitchedOff()
{
    Bench b(quietSettings());
    QCOMPARE(b.wait(30s), std::string());
    b.device.hostConnected(b.now);
    QCOMPARE(b.wait(1s), std::string());
}

void TestZorDevice::newHostIsPromptedUnlessItSpeaksFirst()
{
    Bench b(quietSettings(false, true));
    b.say("e"); // generator mode: only a newcomer is prompted
    b.device.hostConnected(b.now);
    QCOMPARE(b.wait(ZorDevice::kConnectPrompt - 1ms), std::string());
    QCOMPARE(b.wait(1ms), std::string(">"));
    b.device.hostConnected(b.now);
    QCOMPARE(b.say("q"), std::string("q"));
    QCOMPARE(b.wait(ZorDevice::kConnectPrompt), std::string());
}

void TestZorDevice::departedHostIsNotSpokenTo()
{
    Bench b(quietSettings(false, true));
    b.say("a");
    b.device.hostGone(b.now);
    QCOMPARE(b.wait(10s), std::string());
    QCOMPARE(b.device.state().framesSent, 0L);
}

void TestZorDevice::watchPromptPrecedesAFrameAndCountsMissingAnswers()
{
    Bench b(quietSettings(false, true));
    b.say("a");
    QVERIFY(isFrame(b.wait(10ms))); // too soon after power-up for a "w"
    b.now += ZorDevice::kWatchInterval;
    b.say("g");
    std::string out = b.wait(10ms);
    QCOMPARE(out.front(), 'w');
    QVERIFY(isFrame(out.substr(1)));
    b.say("wg");
    QCOMPARE(b.device.state().watchdogFailures, 0L);
    QVERIFY(isFrame(b.wait(10ms))); // the next "w" waits its interval
    b.now += ZorDevice::kWatchInterval;
    b.say("g");
    out = b.wait(10ms);
    QCOMPARE(out.front(), 'w');
    b.say("g"); // a host that does not answer
    QCOMPARE(b.device.state().watchdogFailures, 1L);
    QVERIFY(isFrame(b.wait(10ms)));
}

void TestZorDevice::unansweredWatchTimesOut()
{
    Bench b(quietSettings(false, true));
    b.say("a");
    b.now += ZorDevice::kWatchInterval;
    QCOMPARE(b.wait(10ms).front(), 'w');
    b.wait(ZorDevice::kWatchAnswer - 1ms);
    QCOMPARE(b.device.state().watchdogFailures, 0L);
    b.wait(1ms);
    QCOMPARE(b.device.state().watchdogFailures, 1L);
}

void TestZorDevice::pacedFrameTakesSamplingAndLineTime_data()
{
    QTest::addColumn<int>("timeBase");
    QTest::addColumn<int>("speed");
    QTest::addColumn<double>("seconds");
    QTest::newRow("code 7 at 115200") << 7 << 115200 << 1024 / 80000.0 + 20500 / 115200.0;
    QTest::newRow("code 14 at 2500000") << 14 << 2500000 << 1024 / 320.0 + 20500 / 2500000.0;
    QTest::newRow("code 0 samples as code 2") << 0 << 19200 << 1024 / 2e6 + 20500 / 19200.0;
}

void TestZorDevice::pacedFrameTakesSamplingAndLineTime()
{
    QFETCH(int, timeBase);
    QFETCH(int, speed);
    QFETCH(double, seconds);
    Bench b(quietSettings(true, false));
    b.device.setLineSpeed(speed);
    b.say("a");
    b.wait(10s); // the first frame, at the power-up time base
    b.say(std::string("s") + static_cast<char>('0' + timeBase) + "qg");
    const auto due = ZorDevice::kSettle
        + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
    QCOMPARE(b.wait(due - 1ms), std::string());
    QVERIFY(isFrame(b.wait(1ms)));
}

void TestZorDevice::garbageFaultAddsOnlyHarmlessBytesBeforeTheFrame()
{
    Bench b(quietSettings());
    b.device.setFault(Fault::Garbage, 1);
    for (int i = 0; i < 20; ++i) {
        b.say(i == 0 ? "a" : "g");
        const std::string out = b.wait(10ms);
        QVERIFY(out.size() > kFrameBytes);
        const std::string noise = out.substr(0, out.size() - kFrameBytes);
        QVERIFY(noise.find_first_of("Sw>") == std::string::npos);
        QVERIFY(isFrame(out.substr(noise.size())));
    }
}

void TestZorDevice::noEndFaultDropsTheEndMarker()
{
    Bench b(quietSettings());
    b.device.setFault(Fault::NoEnd, 1);
    b.say("a");
    const std::string out = b.wait(10ms);
    QCOMPARE(out.size(), kFrameBytes - 1);
    QCOMPARE(out.front(), 'S');
}

void TestZorDevice::earlyEndFaultCutsTheFrameAtADataE()
{
    Bench b(quietSettings());
    b.device.setFault(Fault::EarlyEnd, 1);
    b.say("a");
    const std::string out = b.wait(10ms);
    QCOMPARE(out.size(), std::size_t { 1 + 1024 });
    QCOMPARE(out.front(), 'S');
    QCOMPARE(out.back(), 'E');
    QVERIFY(!b.device.takeHangUp());
}

void TestZorDevice::faultHitsEveryNthFrame()
{
    Bench b(quietSettings());
    b.device.setFault(Fault::NoEnd, 3);
    std::string pattern;
    for (int i = 0; i < 7; ++i) {
        b.say(i == 0 ? "a" : "g");
        pattern += isFrame(b.wait(10ms)) ? 'o' : 'x';
    }
    QCOMPARE(pattern, std::string("ooxooxo"));
}

void TestZorDevice::wrongEchoFaultStillActsOnTheByte()
{
    Bench b(quietSettings());
    b.device.setFault(Fault::WrongEcho, 2);
    QCOMPARE(b.say("qcu34q"), std::string("q#u#4#"));
    QCOMPARE(b.device.state().mode, Mode::TwoChannels);
    QCOMPARE(b.device.state().gain1, 3);
    QCOMPARE(b.device.state().gain2, 4);
}

void TestZorDevice::silentDeviceSaysNothingUntilItComesBack()
{
    Bench b(quietSettings(false, true));
    b.say("a");
    b.device.setFault(Fault::Silent, 1);
    QCOMPARE(b.wait(10s), std::string());
    QCOMPARE(b.say("qc"), std::string());
    QCOMPARE(b.device.state().mode, Mode::OneChannel);
    b.device.setFault(Fault::None, 1);
    QCOMPARE(b.say("q"), std::string("q"));
    QCOMPARE(b.wait(ZorDevice::kQuietBeforePrompt), std::string(">"));
}

void TestZorDevice::hangUpFaultCutsTheFrameAndAsksForTheLineToDrop()
{
    Bench b(quietSettings());
    b.device.setFault(Fault::HangUp, 2);
    b.say("a");
    QVERIFY(isFrame(b.wait(10ms)));
    QVERIFY(!b.device.takeHangUp());
    b.say("g");
    const std::string out = b.wait(10ms);
    QCOMPARE(out.size(), std::size_t { 1 + 1024 });
    QCOMPARE(out.front(), 'S');
    QVERIFY(b.device.takeHangUp());
    QVERIFY(!b.device.takeHangUp());
}

QTEST_MAIN(TestZorDevice)
#include "tst_zordevice.moc"
