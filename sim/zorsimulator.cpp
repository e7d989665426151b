#include "zorsimulator.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// While nobody holds the slave the master reports a hang-up on every poll; look for a program
// arriving at this pace instead of spinning.
constexpr auto kFarEndCheck = std::chrono::milliseconds(10);
// Line speed and timers are looked at again at least this often.
constexpr auto kLongestSleep = std::chrono::milliseconds(50);
// A hang-up waits until the host has had time to read the half frame sent before it.
constexpr auto kHangUpGrace = std::chrono::milliseconds(20);

ZorDevice::Settings deviceSettings(const ZorSimulator::Options& o)
{
    ZorDevice::Settings s;
    s.paced = o.paced;
    s.prompts = o.prompts;
    s.seesConnect = o.connectPrompt;
    s.seed = o.seed;
    s.noiseMillivolts = o.noiseMillivolts;
    s.framePause = std::chrono::milliseconds(o.framePauseMs);
    s.pauseEvery = o.pauseEvery;
    s.circuit = o.circuit;
    return s;
}

} // namespace

ZorSimulator::ZorSimulator()
    : ZorSimulator(Options {})
{
}

ZorSimulator::ZorSimulator(const Options& o)
    : options(o)
    , device(deviceSettings(o))
{
    device.setFault(o.fault, o.faultEvery);
    stallAt = o.stallAfter;
}

ZorSimulator::~ZorSimulator()
{
    stop();
}

bool ZorSimulator::start()
{
    std::lock_guard<std::mutex> lock(mutex);
    if (thread.joinable())
        return false;
    if (!options.logPath.empty()) {
        logFile.open(options.logPath, std::ios::binary | std::ios::app);
        if (!logFile)
            return false;
    }
    wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wakeFd == -1 || !reopenLocked()) {
        if (wakeFd != -1)
            ::close(wakeFd);
        wakeFd = -1;
        return false;
    }
    stopping.store(false);
    thread = std::thread(&ZorSimulator::serve, this);
    return true;
}

void ZorSimulator::stop()
{
    stopping.store(true);
    if (thread.joinable()) {
        wake();
        thread.join();
    }
    std::lock_guard<std::mutex> lock(mutex);
    pty.close();
    if (linkMade) {
        ::unlink(options.linkPath.c_str());
        linkMade = false;
    }
    if (wakeFd != -1) {
        ::close(wakeFd);
        wakeFd = -1;
    }
    if (logFile.is_open())
        logFile.close();
}

std::string ZorSimulator::slavePath() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return options.linkPath.empty() ? pty.slavePath() : options.linkPath;
}

std::string ZorSimulator::received() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return log;
}

void ZorSimulator::clearReceived()
{
    std::lock_guard<std::mutex> lock(mutex);
    log.clear();
}

void ZorSimulator::setFault(Fault fault, int every)
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        device.setFault(fault, every);
        if (fault == Fault::Silent)
            pending.clear();
    }
    wake();
}

bool ZorSimulator::comeBack()
{
    bool ok = false;
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (!lineDown || !thread.joinable())
            return false;
        ok = reopenLocked();
    }
    wake();
    return ok;
}

bool ZorSimulator::hungUp() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return lineDown;
}

void ZorSimulator::unplug()
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (lineDown || !thread.joinable())
            return;
        goDownLocked(Clock::now());
    }
    wake();
}

void ZorSimulator::stallAfter(int tableBytes)
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        stallAt = tableBytes;
        if (tableBytes < 0)
            receiverHung = false;
    }
    wake();
}

bool ZorSimulator::stalled() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return receiverHung;
}

// The cable is out: the master closes (the program sees a hang-up) and the name goes with it,
// as a USB adapter's device node does.
void ZorSimulator::goDownLocked(Clock::time_point now)
{
    pty.close();
    if (linkMade) {
        ::unlink(options.linkPath.c_str());
        linkMade = false;
    }
    lineDown = true;
    downSince = now;
    hangUpAt.reset();
    connected = false;
    receiverHung = false;
    pending.clear();
    device.hostGone(now);
}

DeviceState ZorSimulator::state() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return device.state();
}

std::vector<SignalSource::Frame> ZorSimulator::recentFrames() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return device.recentFrames();
}

bool ZorSimulator::reopenLocked()
{
    if (!pty.open(options.raw) || !pointLinkLocked()) {
        pty.close();
        return false;
    }
    lineDown = false;
    hangUpAt.reset();
    pending.clear();
    connected = false;
    device.hostGone(Clock::now());
    return true;
}

// The link is replaced in one step (a new symlink renamed over the old one), so a program that
// opens it never finds it missing. A path that holds anything but a symlink is left alone.
bool ZorSimulator::pointLinkLocked()
{
    if (options.linkPath.empty())
        return true;
    struct stat st { };
    if (::lstat(options.linkPath.c_str(), &st) == 0 && !S_ISLNK(st.st_mode))
        return false;
    const std::string temporary = options.linkPath + ".new";
    ::unlink(temporary.c_str());
    if (::symlink(pty.slavePath().c_str(), temporary.c_str()) != 0)
        return false;
    if (::rename(temporary.c_str(), options.linkPath.c_str()) != 0) {
        ::unlink(temporary.c_str());
        return false;
    }
    linkMade = true;
    return true;
}

void ZorSimulator::wake() const
{
    if (wakeFd == -1)
        return;
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(wakeFd, &one, sizeof one);
}

void ZorSimulator::serve()
{
    for (;;) {
        int fd = -1;
        short events = 0;
        Clock::duration sleep = kLongestSleep;
        {
            std::lock_guard<std::mutex> lock(mutex);
            if (stopping.load())
                return;
            const auto now = Clock::now();
            if (lineDown) {
                if (options.comeBackMs > 0
                    && now - downSince >= std::chrono::milliseconds(options.comeBackMs))
                    reopenLocked();
            } else {
                watchFarEndLocked(now);
                if (connected) {
                    device.setLineSpeed(pty.lineSpeed());
                    device.poll(now);
                    pending += device.takeOutput();
                    if (device.takeHangUp()) {
                        const auto halfFrame = device.frameTime() / 2;
                        hangUpAt = now + std::max<Clock::duration>(kHangUpGrace, halfFrame);
                    }
                    writeLocked();
                    if (hangUpAt && pending.empty() && now >= *hangUpAt) {
                        goDownLocked(now);
                    } else if (options.unplugAfterMs > 0 && !unplugDone
                        && now - connectedSince >= std::chrono::milliseconds(options.unplugAfterMs)) {
                        unplugDone = true;
                        goDownLocked(now);
                    }
                }
            }
            if (!lineDown && connected) {
                fd = pty.descriptor();
                events = static_cast<short>((receiverHung ? 0 : POLLIN) | (pending.empty() ? 0 : POLLOUT));
                sleep = std::min(sleep, device.nextWakeUp(now) - now);
                if (options.unplugAfterMs > 0 && !unplugDone)
                    sleep = std::min<Clock::duration>(sleep,
                        connectedSince + std::chrono::milliseconds(options.unplugAfterMs) - now);
                if (hangUpAt)
                    sleep = std::min(sleep, *hangUpAt - now);
            } else if (!lineDown) {
                sleep = kFarEndCheck;
            }
        }

        const auto ms = std::chrono::ceil<std::chrono::milliseconds>(sleep).count();
        std::array<pollfd, 2> fds { { { fd, events, 0 }, { wakeFd, POLLIN, 0 } } };
        const int ready = ::poll(fds.data(), fds.size(), static_cast<int>(std::max<long>(0, ms)));
        if (ready <= 0)
            continue;
        if (fds[1].revents & POLLIN) {
            std::uint64_t count = 0;
            [[maybe_unused]] const ssize_t n = ::read(wakeFd, &count, sizeof count);
        }
        if (fds[0].revents & POLLIN) {
            std::lock_guard<std::mutex> lock(mutex);
            if (pty.descriptor() == fd)
                readLocked(Clock::now());
        }
    }
}

void ZorSimulator::watchFarEndLocked(Clock::time_point now)
{
    const bool open = pty.farEndOpen();
    if (open == connected)
        return;
    connected = open;
    if (open) {
        connectedSince = now;
        device.hostConnected(now);
    } else {
        // The program closed the port: what it left unread must not greet the next one.
        device.hostGone(now);
        pending.clear();
        hangUpAt.reset();
        receiverHung = false;
        pty.flushFarEnd();
    }
}

void ZorSimulator::readLocked(Clock::time_point now)
{
    if (receiverHung)
        return;
    std::array<char, 4096> buffer {};
    // With a stall to come, byte by byte: what the receiver does not take stays in the line.
    const std::size_t want = stallAt >= 0 ? 1 : buffer.size();
    const ssize_t n = ::read(pty.descriptor(), buffer.data(), want);
    if (n <= 0)
        return; // nothing after all, or the program has gone: the next pass sees the hang-up
    const std::string bytes(buffer.data(), static_cast<std::size_t>(n));
    log += bytes;
    if (logFile.is_open()) {
        logFile.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        logFile.flush();
    }
    for (const char c : bytes)
        device.receive(c, now);
    if (stallAt >= 0 && device.tableBytesTaken() >= stallAt)
        receiverHung = true;
    pending += device.takeOutput();
    writeLocked();
}

void ZorSimulator::writeLocked()
{
    while (!pending.empty()) {
        const ssize_t n = ::write(pty.descriptor(), pending.data(), pending.size());
        if (n > 0) {
            pending.erase(0, static_cast<std::size_t>(n));
        } else {
            if (n < 0 && errno == EINTR)
                continue;
            return; // the pty is full (the host is slow) or gone; poll says when to go on
        }
    }
}
