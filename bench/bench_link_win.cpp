// The Windows build's link on the Win32 stand-in, with waits rounded to the
// Windows timer tick (15.625 ms) unless --no-tick: Win32 calls per frame
// against the unpaced simulator, Win32 calls per second on a silent line, and
// the time Close takes while the worker's write is stuck on a device that
// stopped reading. Medians of the rounds.
//
//   bench-link-win [--seconds S] [--rounds R] [--no-tick]
#include "driverlog.h"
#include "figures.h"
#include "framebuffer.h"
#include "gentable.h"
#include "serialport.h"
#include "simprocess.h"
#include "thread.h"

#include <QCoreApplication>
#include <QStringList>

#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kSpeed = 2500000;

double secondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// A pseudo-terminal as a device that never speaks: its master is held open
// and never written.
class QuietDevice {
public:
    QuietDevice()
    {
        master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (master != -1 && ::grantpt(master) == 0 && ::unlockpt(master) == 0)
            path = ::ptsname(master);
        termios t {};
        ::tcgetattr(master, &t);
        ::cfmakeraw(&t);
        ::tcsetattr(master, TCSANOW, &t);
    }
    ~QuietDevice()
    {
        if (master != -1)
            ::close(master);
    }
    QuietDevice(const QuietDevice &) = delete;
    QuietDevice &operator=(const QuietDevice &) = delete;

    bool ok() const { return !path.empty(); }
    const char *slave() const { return path.c_str(); }
    void send(const char *bytes, int n) { static_cast<void>(::write(master, bytes, n)); }
    // Stops taking bytes: the line towards it is filled until it stays full.
    void stopReading() const
    {
        const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        const char filler[256] = {};
        for (int refusals = 0; fd != -1 && refusals < 5;) {
            if (::write(fd, filler, sizeof filler) > 0) {
                refusals = 0;
            } else {
                ++refusals;
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
        }
        if (fd != -1)
            ::close(fd);
    }

private:
    int master = -1;
    std::string path;
};

// Frames from the unpaced simulator: Win32 calls per frame ("g" writes count
// the frames, as in bench-link).
bool callsPerFrame(int seconds, double &perFrame, double &framesPerSecond)
{
    SimProcess sim({ QStringLiteral("--no-pacing") });
    if (!sim.start())
        return false;
    SerialPort port;
    if (!port.Open(sim.portPath().toLocal8Bit().constData()))
        return false;
    port.Set(kSpeed);
    FrameBuffer frames;
    GenTable table;
    Thread worker(&port, &frames, &table);
    worker.start();
    worker.waitUntilRunning();
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    const auto calls0 = DriverLog::calls();
    const auto writes0 = port.line().writeCalls();
    const auto t0 = Clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    const double calls = double(DriverLog::calls() - calls0);
    const double count = double(port.line().writeCalls() - writes0);
    const double elapsed = secondsSince(t0);
    port.Close();
    worker.stop();
    worker.wait();
    if (count == 0)
        return false;
    perFrame = calls / count;
    framesPerSecond = count / elapsed;
    return true;
}

bool callsPerIdleSecond(int seconds, double &perSecond)
{
    QuietDevice device;
    if (!device.ok())
        return false;
    SerialPort port;
    if (!port.Open(device.slave()))
        return false;
    port.Set(kSpeed);
    FrameBuffer frames;
    GenTable table;
    Thread worker(&port, &frames, &table);
    worker.start();
    worker.waitUntilRunning();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const auto calls0 = DriverLog::calls();
    const auto t0 = Clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    perSecond = double(DriverLog::calls() - calls0) / secondsSince(t0);
    port.Close();
    worker.stop();
    worker.wait();
    return true;
}

// The worker answers the device's "w" prompts while it hunts for a frame:
// with the device no longer reading, that one-byte answer is stuck. Close as
// the Windows link does it: the port first, then the worker.
bool closeWithStalledDevice(double &ms)
{
    QuietDevice device;
    if (!device.ok())
        return false;
    SerialPort port;
    if (!port.Open(device.slave()))
        return false;
    port.Set(19200);
    FrameBuffer frames;
    GenTable table;
    Thread worker(&port, &frames, &table);
    worker.start();
    worker.waitUntilRunning();
    device.stopReading();
    device.send("w", 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const auto t0 = Clock::now();
    port.Close();
    worker.stop();
    worker.wait();
    ms = secondsSince(t0) * 1000.0;
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    int seconds = 3;
    int rounds = 3;
    for (int i = 1; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--seconds") && i + 1 < args.size())
            seconds = args[++i].toInt();
        else if (args[i] == QLatin1String("--rounds") && i + 1 < args.size())
            rounds = args[++i].toInt();
    }
    const bool tick = !args.contains(QStringLiteral("--no-tick"));
    DriverLog::setWindowsTick(tick);
    std::printf("Windows timer tick: %s\n", tick ? "15.625 ms" : "off");

    std::vector<double> perFrame, fps, idle, close;
    for (int r = 0; r < rounds; ++r) {
        double a = 0, b = 0, c = 0, d = 0;
        if (!callsPerFrame(seconds, a, b) || !callsPerIdleSecond(seconds, c)
            || !closeWithStalledDevice(d)) {
            std::fprintf(stderr, "bench-link-win: a measurement failed\n");
            return 1;
        }
        perFrame.push_back(a);
        fps.push_back(b);
        idle.push_back(c);
        close.push_back(d);
    }
    bench::print(QStringLiteral("windows frames"), bench::median(fps), QStringLiteral("frames/s"));
    bench::print(QStringLiteral("windows win32 calls per frame"), bench::median(perFrame),
        QStringLiteral("calls"));
    bench::print(QStringLiteral("windows win32 calls per idle second"), bench::median(idle),
        QStringLiteral("calls/s"));
    bench::print(QStringLiteral("windows close with stalled device"), bench::median(close),
        QStringLiteral("ms"));
    return 0;
}
