#pragma once

#include "devicestate.h"
#include "signalsource.h"

#include <chrono>
#include <deque>
#include <optional>
#include <random>
#include <string>
#include <vector>

// The ZOR as seen from its serial line: bytes in, bytes out, and the clock. It knows nothing of
// terminals or threads; whoever hosts it feeds it what the line brings, calls poll() when
// nextWakeUp() says, and sends what takeOutput() returns.
class ZorDevice {
public:
    using Clock = std::chrono::steady_clock;
    using Duration = Clock::duration;

    // Commands and gaps between them that can be lulls of a user, not a lost host.
    static constexpr auto kSettle = std::chrono::milliseconds(3);
    static constexpr auto kQuietBeforePrompt = std::chrono::milliseconds(1000);
    static constexpr auto kConnectPrompt = std::chrono::milliseconds(20);
    static constexpr auto kWatchInterval = std::chrono::milliseconds(3000);
    static constexpr auto kWatchAnswer = std::chrono::milliseconds(1000);
    static constexpr int kBitsPerByte = 10; // start bit, 8 data bits, stop bit
    static constexpr int kFrameDataBytes = 2 * SignalSource::kFrameSamples;
    static constexpr int kTableBytes = 2 * SignalSource::kTableEntries;

    struct Settings {
        bool paced = true; // frames take the time the real device needs
        bool prompts = true; // send ">" to a quiet host and "w" now and then
        // The device notices the port being opened (a USB device sees its host arrive) and greets
        // the program with ">". A device behind a plain adapter sees nothing: it stays in
        // whatever state the last program left it, mid-upload or mid-setting included.
        bool seesConnect = true;
        unsigned seed = 1;
        double noiseMillivolts = 1.0;
        // A pause of this long halfway through every pauseEvery-th frame, as a busy USB hub or
        // a radio link holds bytes back; zero for none.
        std::chrono::milliseconds framePause { 0 };
        int pauseEvery = 1;
        // A circuit between the generator and channel 1, the generator also on channel 2; none
        // for the loop-back on channel 1 and the calibrator on channel 2.
        std::optional<Circuit> circuit;
    };

    explicit ZorDevice(const Settings& settings, Clock::time_point now = Clock::now());

    void receive(char byte, Clock::time_point now);
    void poll(Clock::time_point now);
    Clock::time_point nextWakeUp(Clock::time_point now) const;
    std::string takeOutput();
    bool hasOutput() const { return !output.empty(); }

    // True once after a hang-up fault has cut a frame: the host should drop the line now.
    bool takeHangUp();

    // Table bytes taken so far by an upload under way; -1 when none is under way.
    int tableBytesTaken() const;

    void setLineSpeed(int bitsPerSecond);
    void setFault(Fault fault, int every);
    // The line's far end opened (a program started talking) or closed.
    void hostConnected(Clock::time_point now);
    void hostGone(Clock::time_point now);

    DeviceState state() const;
    // The last whole frames sent, oldest first (at most kRecentFrames): what a
    // test checks a program's tables against.
    std::vector<SignalSource::Frame> recentFrames() const;
    static constexpr std::size_t kRecentFrames = 256;

    // Time to sample one frame and to send it at the current settings.
    Duration frameTime() const;

private:
    enum class Parse {
        Command, // between commands
        Sub, // inside "s" or "u", until "q"
        TableStart, // after "g" in generator mode, waiting for "S"
        TableData, // the table bytes
    };
    enum class Sub { TimeBase, Gain, Generator };

    void command(char byte);
    void startSubCommand(Sub kind);
    void subCommand(char byte);
    void finishSubCommand();
    void tableByte(char byte);
    void enterMode(Mode m);
    void arm();
    void echo(char byte);
    void send(char byte);
    void sendFrame();
    void sendPrompt();
    bool faultDue(Fault f);
    bool acquiring() const { return mode == Mode::OneChannel || mode == Mode::TwoChannels; }
    bool frameWaiting() const { return armed && acquiring() && parse == Parse::Command; }
    Clock::time_point frameDue() const;
    Clock::time_point promptDue() const;
    char garbageByte();

    Settings settings;
    SignalSource source;
    std::mt19937 faultRandom;

    Clock::time_point current; // time of the event being handled

    Mode mode = Mode::Idle;
    Parse parse = Parse::Command;
    Sub sub = Sub::TimeBase;
    int timeBase = 7;
    int gain1 = 0;
    int gain2 = 0;
    int period = 62;
    int length = SignalSource::kTableEntries;
    SignalSource::Table table;

    std::string digits; // digits of the sub-command under way
    std::string tableBytes; // table upload under way

    bool armed = false;
    Clock::time_point armedAt;
    Clock::time_point lastHeard; // last byte received
    Clock::time_point lastSpoken; // last byte sent
    Clock::time_point lastWatch;
    bool watchPending = false;
    bool connected = true;
    bool connectPrompt = false;
    Clock::time_point connectedAt;

    int lineSpeed = 115200;
    Fault fault = Fault::None;
    int faultEvery = 1;
    long faultCount = 0;
    bool hangUp = false;

    long framesSent = 0;
    std::deque<SignalSource::Frame> recent;
    long tablesReceived = 0;
    long watchdogFailures = 0;

    std::string output;
    std::string held; // the rest of a frame paused on its way, and whatever follows it
    Clock::time_point heldUntil;
};
