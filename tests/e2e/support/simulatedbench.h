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
    explicit SimulatedBench(int speed = 115200, int listIndex = 3);
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
    // Presses "Open port" on the window; true when it turned to "Close port".
    static bool open(QWidget &window);

    static constexpr int kWaitMs = 15000;

private:
    ScratchDir scratch;
    std::unique_ptr<ZorSimulator> simulator;
    bool ready = false;
};
