#pragma once

#include <chrono>

// "frame 12 of 100" (or "step 12 of 31") on stderr, rewritten in place, for a run that has run
// longer than a second, and only when stderr is a terminal: a script's log
// stays clean.
class Progress {
public:
    explicit Progress(int total, const char *unit = "frame");
    ~Progress();
    Progress(const Progress &) = delete;
    Progress &operator=(const Progress &) = delete;

    void update(int done);
    // Ends the line, so that a message can follow on a line of its own.
    void end();

private:
    using Clock = std::chrono::steady_clock;

    const int total;
    const char *const unit;
    const bool terminal;
    const Clock::time_point begun = Clock::now();
    Clock::time_point lastShown;
    bool shown = false;
};
