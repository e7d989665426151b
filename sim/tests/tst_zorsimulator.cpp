#include "zorsimulator.h"

#include <QtTest>

#include <array>
#include <cstdint>
#include <fstream>
#include <sstream>
#include <string>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace {

// The smallest program that talks to the device: raw bytes over the slave.
class TinyHost {
public:
    ~TinyHost() { close(); }

    bool open(const std::string& path, speed_t speed = B2500000)
    {
        fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (fd == -1)
            return false;
        // The line starts as a new adapter's; this host sets it raw as any serial program must.
        termios t {};
        ::tcgetattr(fd, &t);
        ::cfmakeraw(&t);
        ::cfsetispeed(&t, speed);
        ::cfsetospeed(&t, speed);
        return ::tcsetattr(fd, TCSANOW, &t) == 0;
    }

    void close()
    {
        if (fd != -1)
            ::close(fd);
        fd = -1;
    }

    void write(const std::string& bytes)
    {
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
            if (n > 0)
                done += static_cast<std::size_t>(n);
            else
                waitFor(POLLOUT, 100);
        }
    }

    // Up to n bytes, or what came before the time ran out or the line dropped.
    std::string read(std::size_t n, int timeoutMs = 3000)
    {
        std::string got;
        QDeadlineTimer deadline(timeoutMs);
        while (got.size() < n && !deadline.hasExpired()) {
            const short ev = waitFor(POLLIN, static_cast<int>(deadline.remainingTime()));
            if (ev & POLLIN) {
                std::array<char, 4096> buffer {};
                const ssize_t r
                    = ::read(fd, buffer.data(), std::min(buffer.size(), n - got.size()));
                if (r > 0)
                    got.append(buffer.data(), static_cast<std::size_t>(r));
                else if (r == 0 || errno != EAGAIN)
                    break;
            } else if (ev & (POLLHUP | POLLERR)) {
                break;
            }
        }
        return got;
    }

    // Writes a command and reads one byte at a time until it comes back, as the program does.
    bool command(char c, int tries = 20)
    {
        for (int i = 0; i < tries; ++i) {
            write(std::string(1, c));
            if (read(1, 1000) == std::string(1, c))
                return true;
        }
        return false;
    }

    // Writes without waiting until the line takes no more; the number of bytes it took.
    std::size_t writeWhatFits(std::size_t most)
    {
        const std::string chunk(256, '\x55');
        std::size_t done = 0;
        while (done < most) {
            const ssize_t n = ::write(fd, chunk.data(), chunk.size());
            if (n <= 0)
                break;
            done += static_cast<std::size_t>(n);
        }
        return done;
    }

    termios line() const
    {
        termios t {};
        ::tcgetattr(fd, &t);
        return t;
    }

    bool lineDropped(int timeoutMs)
    {
        QDeadlineTimer deadline(timeoutMs);
        while (!deadline.hasExpired()) {
            const short ev = waitFor(POLLIN, 50);
            if (ev & (POLLHUP | POLLERR))
                return true;
            if (ev & POLLIN) {
                char c = 0;
                if (::read(fd, &c, 1) <= 0 && errno != EAGAIN)
                    return true;
            }
        }
        return false;
    }

private:
    short waitFor(short events, int ms)
    {
        pollfd p { fd, events, 0 };
        if (::poll(&p, 1, std::max(0, ms)) <= 0)
            return 0;
        return p.revents;
    }

    int fd = -1;
};

bool isFrame(const std::string& bytes)
{
    return bytes.size() == 2050 && bytes.front() == 'S' && bytes.back() == 'E';
}

std::string linkTarget(const std::string& link)
{
    std::array<char, 256> buffer {};
    const ssize_t n = ::readlink(link.c_str(), buffer.data(), buffer.size() - 1);
    return n > 0 ? std::string(buffer.data(), static_cast<std::size_t>(n)) : std::string();
}

ZorSimulator::Options quiet()
{
    ZorSimulator::Options o;
    o.paced = false;
    o.prompts = false;
    o.noiseMillivolts = 0.0;
    return o;
}

} // namespace

class TestZorSimulator : public QObject {
    Q_OBJECT

private slots:
    void linkPathPointsAtTheSlave();
    void regularFileIsNotReplacedByTheLink();
    void programIsPromptedAndGetsAFrame();
    void modeChangeByRepeatedQuitAsTheProgramDoesIt();
    void generatorSettingsAndTableReachTheDevice();
    void circuitReachesTheDevice();
    void lineSpeedSetByTheProgramPacesTheFrames();
    void logFileHoldsEveryByteReceived();
    void clearReceivedStartsAfresh();
    void silentDeviceAnswersAgainWhenToldTo();
    void hangUpDropsTheLineAndComeBackOffersANewOne();
    void hangUpComesBackByItselfWhenAsked();
    void nextProgramFindsNoBytesLeftByTheLastOne();
    void stopRemovesTheLinkAndMayBeRepeated();
    void lineStartsAtANewAdaptersFlagsUnlessRaw();
    void framesPauseHalfwayWhenAsked();
    void stalledReceiverLeavesTheProgramsBytesInTheLine();
    void unplugTakesTheNameAwayUntilTheDeviceComesBack();
};

void TestZorSimulator::linkPathPointsAtTheSlave()
{
    QTemporaryDir dir;
    auto o = quiet();
    o.linkPath = dir.filePath("zor").toStdString();
    ZorSimulator sim(o);
    QVERIFY(sim.start());
    QCOMPARE(sim.slavePath(), o.linkPath);
    const std::string target = linkTarget(o.linkPath);
    QVERIFY(target.rfind("/dev/pts/", 0) == 0);
    const int fd = ::open(o.linkPath.c_str(), O_RDWR | O_NOCTTY);
    QVERIFY(fd != -1);
    QVERIFY(::isatty(fd));
    ::close(fd);
}

void TestZorSimulator::regularFileIsNotReplacedByTheLink()
{
    QTemporaryDir dir;
    const std::string path = dir.filePath("settings.txt").toStdString();
    std::ofstream(path) << "#/dev/ttyS0#115200#3#ZOR";
    auto o = quiet();
    o.linkPath = path;
    ZorSimulator sim(o);
    QVERIFY(!sim.start());
    std::ifstream in(path);
    std::string content;
    in >> content;
    QCOMPARE(content, std::string("#/dev/ttyS0#115200#3#ZOR"));
}

void TestZorSimulator::programIsPromptedAndGetsAFrame()
{
    auto o = quiet();
    o.prompts = true;
    ZorSimulator sim(o);
    QVERIFY(sim.start());
    TinyHost host;
    QVERIFY(host.open(sim.slavePath()));
    QCOMPARE(host.read(1), std::string(">"));
    host.write("a");
    QCOMPARE(host.read(1), std::string("a"));
    QVERIFY(isFrame(host.read(2050)));
    QCOMPARE(sim.received(), std::string("a"));
    QCOMPARE(sim.state().mode, Mode::OneChannel);
    QCOMPARE(sim.state().framesSent, 1L);
}

void TestZorSimulator::modeChangeByRepeatedQuitAsTheProgramDoesIt()
{
    ZorSimulator sim(quiet());
    QVERIFY(sim.start());
    TinyHost host;
    QVERIFY(host.open(sim.slavePath()));
    QVERIFY(host.command('q'));
    QVERIFY(host.command('c'));
    QVERIFY(isFrame(host.read(2050)));
    QCOMPARE(sim.state().mode, Mode::TwoChannels);
    host.write("g");
    // The device is busy with a frame when the program wants out: many "q"s, one mode change.
    QVERIFY(host.command('q'));
    QCOMPARE(sim.state().mode, Mode::Idle);
    QVERIFY(host.command('a'));
    QVERIFY(isFrame(host.read(2050)));
    QCOMPARE(sim.state().mode, Mode::OneChannel);
}

void TestZorSimulator::generatorSettingsAndTableReachTheDevice()
{
    ZorSimulator sim(quiet());
    QVERIFY(sim.start());
    TinyHost host;
    QVERIFY(host.open(sim.slavePath()));
    QVERIFY(host.command('q'));
    QVERIFY(host.command('e'));
    QVERIFY(host.command('s'));
    for (const char d : std::string("0020040")) // period 32, length 64: 15.625 kHz
        QVERIFY(host.command(d));
    host.write("q");
    QCOMPARE(host.read(1), std::string("q"));
    QVERIFY(host.command('g'));
    std::array<int, 512> table {};
    std::string upload = "S";
    for (std::size_t i = 0; i < table.size(); ++i) {
        table[i] = static_cast<int>(i % 64) * 64 - 2048;
        const auto word = static_cast<std::uint16_t>(table[i] + 2048);
        upload += static_cast<char>(word & 0xFF);
        upload += static_cast<char>(word >> 8);
    }
    host.write(upload);
    QTRY_COMPARE(sim.state().tablesReceived, 1L);
    const DeviceState s = sim.state();
    QCOMPARE(s.period, 32);
    QCOMPARE(s.length, 64);
    QVERIFY(s.table == table);
    QCOMPARE(host.read(1, 200), std::string()); // nothing comes back after a table
}

void TestZorSimulator::circuitReachesTheDevice()
{
    auto o = quiet();
    o.circuit = Circuit::parse("highpass:1k");
    ZorSimulator sim(o);
    QVERIFY(sim.start());
    TinyHost host;
    QVERIFY(host.open(sim.slavePath()));
    QVERIFY(host.command('c'));
    QVERIFY(isFrame(host.read(2050)));
    const auto frame = sim.recentFrames().back();
    // Channel 2 starts at the power-up cosine's peak, 125 units at gain 0, not at the
    // calibrator's 100; channel 1 at the high pass's answer, 125 x Re(H(1008 Hz)) = 63.
    QCOMPARE(static_cast<int>(frame[512]), 125);
    QCOMPARE(static_cast<int>(frame[0]), 63);
}

void TestZorSimulator::lineSpeedSetByTheProgramPacesTheFrames()
{
    auto o = quiet();
    o.paced = true;
    ZorSimulator sim(o);
    QVERIFY(sim.start());
    TinyHost host;
    QVERIFY(host.open(sim.slavePath(), B19200));
    QElapsedTimer timer;
    timer.start();
    QVERIFY(host.command('a'));
    // 2050 bytes of 10 bits at 19200 bit/s take 1.07 s on the real line.
    QVERIFY(isFrame(host.read(2050, 5000)));
    QVERIFY2(timer.elapsed() >= 1000, qPrintable(QString::number(timer.elapsed())));
}

void TestZorSimulator::logFileHoldsEveryByteReceived()
{
    QTemporaryDir dir;
    auto o = quiet();
    o.logPath = dir.filePath("received.log").toStdString();
    {
        ZorSimulator sim(o);
        QVERIFY(sim.start());
        TinyHost host;
        QVERIFY(host.open(sim.slavePath()));
        host.write("qu36q");
        QCOMPARE(host.read(5), std::string("qu36q"));
        host.write(std::string("\0\xff", 2));
        QTRY_COMPARE(sim.received().size(), std::size_t { 7 });
    }
    std::ifstream in(o.logPath, std::ios::binary);
    std::stringstream content;
    content << in.rdbuf();
    QCOMPARE(content.str(), std::string("qu36q\0\xff", 7));
}

void TestZorSimulator::clearReceivedStartsAfresh()
{
    ZorSimulator sim(quiet());
    QVERIFY(sim.start());
    TinyHost host;
    QVERIFY(host.open(sim.slavePath()));
    QVERIFY(host.command('q'));
    sim.clearReceived();
    QVERIFY(host.command('e'));
    QCOMPARE(sim.received(), std::string("e"));
}

void TestZorSimulator::silentDeviceAnswersAgainWhenToldTo()
{
    ZorSimulator sim(quiet());
    QVERIFY(sim.start());
    TinyHost host;
    QVERIFY(host.open(sim.slavePath()));
    QVERIFY(host.command('q'));
    sim.setFault(Fault::Silent);
    host.write("a");
    QCOMPARE(host.read(1, 300), std::string());
    QCOMPARE(sim.state().mode, Mode::Idle);
    sim.setFault(Fault::None);
    QVERIFY(host.command('a'));
    QVERIFY(isFrame(host.read(2050)));
    QCOMPARE(sim.received(), std::string("qaa")); // logged even while silent
}

void TestZorSimulator::hangUpDropsTheLineAndComeBackOffersANewOne()
{
    QTemporaryDir dir;
    auto o = quiet();
    o.linkPath = dir.filePath("zor").toStdString();
    o.fault = Fault::HangUp;
    o.faultEvery = 2;
    ZorSimulator sim(o);
    QVERIFY(sim.start());
    QVERIFY(!sim.comeBack()); // the line is up: nothing to come back from
    TinyHost host;
    QVERIFY(host.open(o.linkPath));
    QVERIFY(host.command('a'));
    QVERIFY(isFrame(host.read(2050)));
    host.write("g");
    const std::string cut = host.read(2050, 2000);
    QVERIFY(cut.size() <= 1025);
    QVERIFY(host.lineDropped(2000));
    QTRY_VERIFY(sim.hungUp());
    host.close();

    QVERIFY(sim.comeBack());
    QVERIFY(!sim.hungUp());
    QVERIFY(linkTarget(o.linkPath).rfind("/dev/pts/", 0) == 0);
    TinyHost again;
    QVERIFY(again.open(o.linkPath));
    QVERIFY(again.command('q'));
    QCOMPARE(sim.state().mode, Mode::Idle);
}

void TestZorSimulator::hangUpComesBackByItselfWhenAsked()
{
    auto o = quiet();
    o.fault = Fault::HangUp;
    o.comeBackMs = 50;
    ZorSimulator sim(o);
    QVERIFY(sim.start());
    TinyHost host;
    QVERIFY(host.open(sim.slavePath()));
    QVERIFY(host.command('a'));
    QVERIFY(host.lineDropped(2000));
    host.close();
    QTRY_VERIFY(!sim.hungUp() && sim.state().framesSent == 1);
    TinyHost again;
    QVERIFY(again.open(sim.slavePath()));
    QVERIFY(again.command('q'));
}

void TestZorSimulator::nextProgramFindsNoBytesLeftByTheLastOne()
{
    auto o = quiet();
    o.prompts = true;
    ZorSimulator sim(o);
    QVERIFY(sim.start());
    {
        TinyHost first;
        QVERIFY(first.open(sim.slavePath()));
        first.write("a");
        QTRY_COMPARE(sim.state().framesSent, 1L);
        // Closed with the prompt, the echo and the frame unread.
    }
    QTest::qWait(100);
    TinyHost second;
    QVERIFY(second.open(sim.slavePath()));
    QCOMPARE(second.read(1), std::string(">"));
    QCOMPARE(second.read(1, 200), std::string());
}

void TestZorSimulator::stopRemovesTheLinkAndMayBeRepeated()
{
    QTemporaryDir dir;
    auto o = quiet();
    o.linkPath = dir.filePath("zor").toStdString();
    ZorSimulator sim(o);
    QVERIFY(sim.start());
    QVERIFY(QFileInfo(QString::fromStdString(o.linkPath)).isSymLink());
    TinyHost host;
    QVERIFY(host.open(o.linkPath));
    QVERIFY(host.command('a'));
    sim.stop();
    QVERIFY(!QFileInfo(QString::fromStdString(o.linkPath)).isSymLink());
    QVERIFY(host.lineDropped(1000));
    sim.stop();
}

void TestZorSimulator::lineStartsAtANewAdaptersFlagsUnlessRaw()
{
    for (const bool raw : { false, true }) {
        auto o = quiet();
        o.raw = raw;
        ZorSimulator sim(o);
        QVERIFY(sim.start());
        const int fd = ::open(sim.slavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        QVERIFY(fd != -1);
        termios t {};
        QCOMPARE(::tcgetattr(fd, &t), 0);
        ::close(fd);
        QCOMPARE(t.c_iflag, raw ? tcflag_t(0) : tcflag_t(ICRNL | IXON));
        QCOMPARE(bool(t.c_lflag & ICANON), !raw);
        QCOMPARE(bool(t.c_oflag & OPOST), !raw);
    }
}

void TestZorSimulator::framesPauseHalfwayWhenAsked()
{
    auto o = quiet();
    o.framePauseMs = 300;
    ZorSimulator sim(o);
    QVERIFY(sim.start());
    TinyHost host;
    QVERIFY(host.open(sim.slavePath()));
    QVERIFY(host.command('a'));
    const std::string first = host.read(1025, 2000);
    QCOMPARE(first.size(), std::size_t(1025));
    QCOMPARE(first.front(), 'S');
    QCOMPARE(host.read(1, 100), std::string()); // the pause
    const std::string rest = host.read(1025, 3000);
    QVERIFY(isFrame(first + rest));
}

void TestZorSimulator::stalledReceiverLeavesTheProgramsBytesInTheLine()
{
    auto o = quiet();
    o.stallAfter = 10;
    ZorSimulator sim(o);
    QVERIFY(sim.start());
    TinyHost host;
    QVERIFY(host.open(sim.slavePath()));
    QVERIFY(host.command('e'));
    QVERIFY(host.command('g'));
    host.write("S" + std::string(100, '\x08'));
    QTRY_VERIFY(sim.stalled());
    QCOMPARE(sim.received(), std::string("egS") + std::string(10, '\x08'));
    // Nothing more is taken: the line fills and then refuses the program's bytes.
    const std::size_t took = host.writeWhatFits(1 << 20);
    QVERIFY2(took < (1 << 20), std::to_string(took).c_str());
    QCOMPARE(sim.received().size(), std::size_t(13));
    sim.stallAfter(-1);
    QTRY_VERIFY(sim.received().size() > 13);
}

void TestZorSimulator::unplugTakesTheNameAwayUntilTheDeviceComesBack()
{
    QTemporaryDir dir;
    auto o = quiet();
    o.linkPath = dir.filePath("zor").toStdString();
    ZorSimulator sim(o);
    QVERIFY(sim.start());
    TinyHost host;
    QVERIFY(host.open(o.linkPath));
    QVERIFY(host.command('a'));
    sim.unplug();
    QVERIFY(sim.hungUp());
    QVERIFY(host.lineDropped(2000));
    QVERIFY(!QFileInfo::exists(QString::fromStdString(o.linkPath)));
    host.close();
    QVERIFY(sim.comeBack());
    TinyHost again;
    QVERIFY(again.open(o.linkPath));
    QVERIFY(again.command('q'));
}

QTEST_MAIN(TestZorSimulator)
#include "tst_zorsimulator.moc"
