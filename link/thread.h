#pragma once

#include "exchanges.h"
#include "linkpolicy.h"

#include <QThread>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>

class FrameBuffer;
class GenTable;
class SerialPort;

// The worker: the only code that reads and writes the line while the port is
// open. Each pass serves one pending configuration request or receives one
// frame, then serves at most one generator request (or idles while the
// generator runs). The exchanges themselves are in Exchanges, the limits and
// resends in LinkPolicy; this class holds the requests and the order of
// service.
//
// Requests come from the GUI thread: parameters are stored first, then the
// flag is raised with release order; the worker takes the flag with acquire
// order before it reads the parameters.
class Thread : public QThread {
public:
    // speed: the line's, in bit/s; the limits are sized for it.
    Thread(SerialPort *port, FrameBuffer *buf, GenTable *genBuf, int speed = 115200);
    // With limits of the caller's choosing.
    Thread(SerialPort *port, FrameBuffer *buf, GenTable *genBuf, const LinkPolicy::Times &times);
    ~Thread() override;

    // The limits a line at this speed needs.
    static LinkPolicy::Times timesFor(int speed);

    // Blocks until the worker has taken its first pass's decision, so that
    // requests raised after Start wait for the first frame search.
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
    // What phase one of a pass does: a configuration exchange, or a frame.
    enum class Service { Channel, TimeBase, Gain, Frame, Nothing };

    Service takeConfiguration();
    // Phase two: the generator exchange to serve, or Count for none.
    Exchange takeGeneratorRequest();
    // Takes the user's request of this kind, or else a released resend.
    bool take(std::atomic<bool> &flag, Exchange exchange);
    bool claim(std::atomic<bool> &flag);
    void serve(Exchange exchange);
    bool perform(Exchange exchange);
    void receiveFrame();
    void announceRunning();
    // Rests while the generator plays, up to ms, until a request it serves
    // comes or the worker is stopped; then looks at the line.
    void restWhileGenerating(int ms);
    // Ends such a rest.
    void wakeRest();
    // Whether a request is still waiting for its pass.
    bool requestsPending() const;

    GenTable *genBuf;
    ByteLine &line;
    LinkPolicy policy; // the worker's own
    Exchanges exchanges; // the worker's own

    std::atomic<bool> genMode { false };
    std::atomic<bool> gainReq { false };
    std::atomic<bool> timeBaseReq { false };
    std::atomic<bool> channelReq { false };
    std::atomic<bool> genReq { false };
    std::atomic<bool> sendReq { false };
    std::atomic<bool> freqReq { false };
    std::atomic<int> gain1 { 0 };
    std::atomic<int> gain2 { 0 };
    std::atomic<int> timeBase { 0 };
    std::atomic<bool> twoChannels { false };

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

    std::atomic<unsigned> passes { 0 }; // passes completed
    std::atomic<unsigned> servedBy { 0 }; // passes completed once the last request taken is served
    std::atomic<unsigned> failures { 0 }; // exchanges the device did not take
    unsigned failuresReported = 0; // waitServed's own
    std::atomic<bool> lost { false };
    std::atomic<bool> stopping { false };
    std::mutex restMutex;
    std::condition_variable restSignal;
    std::atomic<bool> finished { false };
};
