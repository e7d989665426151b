#pragma once

#include <array>
#include <chrono>
#include <cstddef>

// The exchanges a pass of the worker serves, in the order of the request flags.
enum class Exchange { Channel, TimeBase, Gain, Generator, Table, Clock, Count };

// How long the worker waits for the device, and what becomes of an exchange
// the device did not answer. The worker alone owns it: nothing here crosses
// threads, and nothing here raises a request the GUI thread could see.
class LinkPolicy {
public:
    using Clock = std::chrono::steady_clock;

    // Every wait on the device, in milliseconds. forSpeed() gives the ones the
    // device needs; tests give shorter ones, so that an unanswered exchange
    // costs them milliseconds, not seconds.
    struct Times {
        // An exchange's limit: before it answers, the device may first finish
        // a frame at its slowest time base and send it at the line's speed.
        int exchangeMs = 0;
        // Silence inside a frame that means it was cut short: a busy USB hub or
        // a radio link holds bytes back for a few hundred milliseconds.
        int frameGapMs = 500;
        // Silence on a line just opened that means the device will send
        // nothing until it is asked: it was left in the generator, waiting for
        // "g", in the middle of a setting or of a table upload.
        int quietMs = 500;
        // Wait for the echo of a first "q" on such a line, before the worker
        // assumes a table upload left unfinished that swallows it.
        int quitEchoMs = 200;
        // Time to send a table upload's bytes at the line's speed.
        int uploadMs = 100;
        // The generator's idle poll.
        int generatorPollMs = 100;
        // Waits this long or longer need no limit of their own: the line's
        // time-out ends them anyway.
        int lineTimeoutMs = 3000;

        static Times forSpeed(int speed, int lineTimeoutMs);
    };
    // The quiet that ends the first hunt after Open, for every link made from
    // now on; 0 restores the device's own. A test's scripted device speaks
    // only when the test says, however long the test takes.
    static void setFirstHuntQuietMs(int ms);
    static constexpr int kResends = 3;

    explicit LinkPolicy(const Times &times)
        : t(times)
    {
    }
    const Times &times() const { return t; }

    // An exchange begins: its limit starts now.
    void begin(int limitMs);
    void begin() { begin(t.exchangeMs); }
    // The exchange's time is up; it is then unanswered.
    bool overdue();
    // The wait for the next byte of the exchange: at most its time left, or
    // -1 for the line's own time-out when that is shorter.
    int waitMs() const;
    // The wait for a byte that ends a quiet spell: ms, or the time left if less.
    int waitAtMost(int ms) const;
    bool unanswered() const { return noEcho; }

    // After an exchange. One that was not answered makes the device silent
    // until it answers again and, up to kResends times in a row, is sent again
    // after the next frame or rest.
    void finished(Exchange exchange, bool done, bool unansweredNow);
    // A good frame or an answered exchange: the device is answering again.
    void answered() { silent = false; }
    bool deviceSilent() const { return silent; }

    // After a pass that served no exchange: the resends held back may go.
    void release();
    // Whether a resend waits, released or not: the hunt for a frame then has
    // a limit, since a device left in the middle of a mode change sends none.
    bool resendWaiting() const;
    // Takes a released resend of this exchange.
    bool takeResend(Exchange exchange);
    // A request of the same kind went out: the resend is superseded, and the
    // new request gets resends of its own.
    void supersede(Exchange exchange);
    // The device was put into the other mode: what was pending for the one it
    // left would switch it back, or reach it in the wrong mode.
    void leftGenerator();
    void leftAcquisition();
    // The worker takes the initiative itself: the mode exchange goes out on
    // the next pass, as a resend does.
    void initiate(Exchange modeExchange);

private:
    static std::size_t index(Exchange e) { return static_cast<std::size_t>(e); }
    void drop(Exchange e);

    Times t;
    Clock::time_point deadline;
    bool noEcho = false;
    bool silent = false;
    std::array<int, static_cast<std::size_t>(Exchange::Count)> resends {};
    std::array<bool, static_cast<std::size_t>(Exchange::Count)> held {};
    std::array<bool, static_cast<std::size_t>(Exchange::Count)> released {};
};
