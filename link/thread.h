#pragma once

#include "byteline.h"
#include "bytereader.h"
#include "protocol.h"

#include <QString>
#include <QThread>

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>

class FrameBuffer;
class GenTable;
class SerialPort;

// The worker: the only code that reads and writes the line while the port is
// open. Each pass serves one pending configuration request or receives one
// frame, then serves at most one generator request (or idles 100 ms while the
// generator runs).
//
// Requests come from the GUI thread: parameters are stored first, then the
// flag is raised with release order; the worker takes the flag with acquire
// order before it reads the parameters.
class Thread : public QThread {
public:
    // speed: the line's, in bit/s; an exchange's time limit is scaled to it.
    Thread(SerialPort *port, FrameBuffer *buf, GenTable *genBuf, int speed = 115200);
    // How long an exchange waits for the device's echo before it gives up:
    // the device may first finish a frame at its slowest time base and send
    // it at this speed.
    static int exchangeLimitMs(int speed);
    // How many times a setting the device did not answer is sent again.
    static constexpr int kResends = 3;
    ~Thread() override;

    // Blocks until the worker has taken its first pass's decision, so that
    // requests raised after Start wait for the first frame as the device expects.
    void waitUntilRunning();
    // Ends the loop promptly, also while an exchange waits on a silent device.
    void stop();
    // Whether run() has ended because the line failed.
    bool lineLost() const { return lost.load(std::memory_order_acquire); }
    // Waits until no request is pending and the pass that took the last one
    // has ended, so its exchange is complete; false on time-out, when the
    // worker has ended, or when the device did not take an exchange served
    // since the last call (a wrong or missing echo). One caller thread.
    // cancelled, when given, is asked every few milliseconds; true ends the
    // wait at once with false (a user's Ctrl+C).
    bool waitServed(int timeoutMs, const std::function<bool()> &cancelled = {});

    void requestChannel(bool two);
    void requestGenerator();
    void requestGain(int first, int second);
    void requestTimeBase(int code);
    void requestSend();
    void requestFreq(int samplePeriod, int tableLength);

protected:
    void run() override;

private:
    enum class Got { Byte, Timeout, End };
    enum class Service { Channel, TimeBase, Gain, Frame, Nothing };
    // The exchanges a pass serves; an unanswered one is raised again.
    enum class Exchange { Channel, TimeBase, Gain, Generator, Table, Clock, Count };

    // An exchange begins: its time limit starts now.
    void beginExchange();
    // After an exchange: an unanswered one is said on the status line and
    // raised again, up to kResends times in a row.
    void afterExchange(Exchange exchange, bool done);
    void raiseResends();
    void raise(Exchange exchange);
    // The exchange's time is up; marks it unanswered.
    bool overdue();
    // The wait for the next byte of an exchange: at most its time left.
    int exchangeWaitMs() const;

    Service takeConfiguration();
    void announceRunning();
    // Whether a request is still waiting for its pass.
    bool requestsPending() const;

    bool set1channel();
    bool set2channels();
    bool setGen();
    bool setTimeBase();
    bool setGain();
    bool setGenFreq();
    bool sendChannel();
    bool getChannel();

    bool setMode(char mode);
    bool putUntilEcho(char command);
    bool putUntilEchoRetrying(char command);
    bool readWholeFrame();
    void say(const QString &text);
    bool giveUp(bool acquiring = true);
    bool readUntil(char wanted);
    // Next byte; waitMs >= 0 waits at most that long instead of the line's time-out.
    Got get(char &c, int waitMs = -1, int expected = 0);
    bool put(char c);
    bool put(const char *data, int n);
    bool alive() const { return ended == ByteLine::Result::Data; }

    FrameBuffer *buf;
    GenTable *genBuf;
    ByteLine &line;
    ByteReader reader;
    ByteLine::Result ended = ByteLine::Result::Data; // worker's own: Stopped or Lost ends the loop
    // Windows build: the frame read buffer, the 2048 data bytes and the "E";
    // a short read leaves the previous frame's bytes in the part it did not reach.
    std::array<char, frame::kDataBytes + 1> frameBytes{};

    std::atomic<bool> genMode{false};
    std::atomic<bool> gainReq{false};
    std::atomic<bool> timeBaseReq{false};
    std::atomic<bool> channelReq{false};
    std::atomic<bool> genReq{false};
    std::atomic<bool> sendReq{false};
    std::atomic<bool> freqReq{false};
    std::atomic<int> gain1{0};
    std::atomic<int> gain2{0};
    std::atomic<int> timeBase{0};
    std::atomic<bool> twoChannels{false};

    // The generator clock: the sample period and the table length only make
    // a frequency together, so they are stored and taken as one pair.
    struct GenClock {
        int period = 0; // generator clock ticks per table entry, 16 bits used
        int tab = 0; // table entries per signal period, 12 bits used
    };
    std::mutex clockMutex;
    GenClock clock; // under clockMutex

    std::mutex beginMutex;
    std::condition_variable beginSignal;
    bool begun = false;

    // The worker's own: the exchange under way and what became of the last.
    const int limitMs;
    std::chrono::steady_clock::time_point deadline;
    bool unanswered = false;
    bool sayingNoAnswer = false; // until the next good frame
    std::array<int, static_cast<std::size_t>(Exchange::Count)> resends{};
    std::array<bool, static_cast<std::size_t>(Exchange::Count)> resendDue{};

    std::atomic<unsigned> passes{0}; // passes completed
    std::atomic<unsigned> failures{0}; // exchanges the device did not take
    unsigned failuresReported = 0; // waitServed's own
    std::atomic<bool> lost{false};
    std::atomic<bool> finished{false};
};
