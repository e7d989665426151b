#pragma once

#include "devicestate.h"
#include "pseudoterminal.h"
#include "zordevice.h"

#include <atomic>
#include <chrono>
#include <fstream>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

// A simulated ZOR on a pseudo-terminal. start() opens the pair and serves the device on a thread
// of its own; the program under test opens slavePath() like a serial port. Every operation may be
// called from any thread while the device runs.
class ZorSimulator {
public:
    struct Options {
        bool paced = true; // frames take as long as on the real device
        std::string linkPath; // a symlink to the slave, kept pointing at the live pair
        std::string logPath; // every byte received, appended as it comes
        unsigned seed = 1; // noise and fault randomness
        Fault fault = Fault::None;
        int faultEvery = 1; // the fault hits every Nth frame (or echo)
        bool prompts = true; // ">" to a quiet host, "w" now and then
        bool connectPrompt = true; // sees a program open the port and greets it with ">"
        double noiseMillivolts = 1.0;
        int comeBackMs = 0; // after a hang-up, come back by itself after this long (0: never)
        bool raw = false; // the line starts raw instead of at a new serial adapter's flags
        int framePauseMs = 0; // a pause halfway through frames (0: none)
        int pauseEvery = 1; // ... through every Nth frame
        int stallAfter = -1; // stop reading the host after this many bytes of a table (-1: never)
        int unplugAfterMs = 0; // pulled out once, this long after a program opened the port (0: never)
        // The generator through this circuit on channel 1 and straight on channel 2; none for the
        // loop-back and the calibrator.
        std::optional<Circuit> circuit;
    };

    ZorSimulator();
    explicit ZorSimulator(const Options& options);
    ~ZorSimulator();
    ZorSimulator(const ZorSimulator&) = delete;
    ZorSimulator& operator=(const ZorSimulator&) = delete;

    bool start();
    void stop();

    // The path a program opens: the link path when one was given, else the pty slave itself.
    std::string slavePath() const;
    std::string received() const;
    void clearReceived();
    void setFault(Fault fault, int every = 1);
    // After a hang-up: a new pair, the link path pointing at it. False while the line is up.
    bool comeBack();
    bool hungUp() const;
    // The cable pulled: the line goes down and its name (the link path) disappears until
    // comeBack() or comeBackMs.
    void unplug();
    // From the next table upload on, stop reading the host after tableBytes bytes of it, as a
    // device whose receiver has hung: what the host writes piles up in the line until the
    // pseudo-terminal's buffer is full and its writes block. -1 reads on (and ends a stall).
    void stallAfter(int tableBytes);
    bool stalled() const;
    DeviceState state() const;
    std::vector<SignalSource::Frame> recentFrames() const;

private:
    using Clock = ZorDevice::Clock;

    void serve();
    bool reopenLocked();
    void goDownLocked(Clock::time_point now);
    bool pointLinkLocked();
    void watchFarEndLocked(Clock::time_point now);
    void readLocked(Clock::time_point now);
    void writeLocked();
    void wake() const;

    const Options options;
    mutable std::mutex mutex;
    ZorDevice device;
    PseudoTerminal pty;
    std::string pending; // bytes for the host not yet taken by the pty
    std::string log;
    std::ofstream logFile;
    bool connected = false;
    bool lineDown = false;
    Clock::time_point downSince;
    std::optional<Clock::time_point> hangUpAt;
    bool linkMade = false;
    int stallAt = -1;
    bool receiverHung = false;
    bool unplugDone = false;
    Clock::time_point connectedSince;

    std::thread thread;
    std::atomic<bool> stopping { false };
    int wakeFd = -1;
};
