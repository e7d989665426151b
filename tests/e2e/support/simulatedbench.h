#pragma once

#include "scratchdir.h"
#include "zorsimulator.h"

#include <QString>

#include <memory>

class QWidget;

// A simulated ZOR on the bench for one test case: a scratch working
// directory, the simulator on a link inside it, and settings.txt naming that
// link with the given speed and speed-list entry.
class SimulatedBench {
public:
    explicit SimulatedBench(int speed = 115200, int listIndex = 3,
                            ZorSimulator::Options options = {});
    ~SimulatedBench();
    SimulatedBench(const SimulatedBench &) = delete;
    SimulatedBench &operator=(const SimulatedBench &) = delete;

    bool isReady() const { return ready; }
    ZorSimulator &sim() { return *simulator; }

    // Waits until the device has sent count more frames.
    bool framesPass(long count) const;
    // The bytes the device received since the last clear, without the frame
    // requests ("g") and keep-alive answers ("w") that flow all the time.
    QString commands() const;
    // Waits until the shown frame differs from the one shown now.
    static bool frameChanges();
    // Presses "Open port" on the window; true when it turned to "Close port".
    static bool open(QWidget &window);
    // Presses "Close port"; the milliseconds it took, or -1 when the button
    // did not turn to "Open port".
    static qint64 close(QWidget &window);
    // The status line once the window's timer has shown the text.
    static bool statusShows(QWidget &window, const QString &text);

    static constexpr int kWaitMs = 15000;

private:
    ScratchDir scratch;
    std::unique_ptr<ZorSimulator> simulator;
    bool ready = false;
};
