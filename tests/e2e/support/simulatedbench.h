#pragma once

#include "framebuffer.h"
#include "scratchdir.h"
#include "zorsimulator.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

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
    // Waits until the shown frame differs from the one shown now, or from `old`.
    static bool frameChanges();
    static bool frameChangesFrom(const Frame &old);
    // Whether the device sent this frame (1024 samples, in the line's order)
    // among its recent ones.
    bool sent(const std::vector<int> &frame) const;
    // Presses "Open port" on the window; true when it turned to "Close port".
    static bool open(QWidget &window);
    // Presses "Close port"; the milliseconds it took, or -1 when the button
    // did not turn to "Open port".
    static qint64 close(QWidget &window);
    // The status line once the window's timer has shown the text.
    static bool statusShows(QWidget &window, const QString &text);

    // labbench-cli run to its end in the bench's folder, so it finds the
    // bench's settings.txt.
    struct CliRun {
        int exitCode = -1; // -1: it did not end in time or crashed
        QByteArray out;
        QByteArray err;
    };
    static CliRun cli(const QStringList &args);
    // The path of the labbench-cli under test.
    static QString cliPath();
    // Waits until the process has the device's port open (Linux: its
    // descriptors in /proc); false when it does not within kWaitMs.
    bool portOpenedBy(qint64 pid) const;

    static constexpr int kWaitMs = 15000;

private:
    ScratchDir scratch;
    std::unique_ptr<ZorSimulator> simulator;
    bool ready = false;
};
