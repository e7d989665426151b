#pragma once

#include "framebuffer.h"
#include "gentable.h"
#include "sweep.h"

#include <functional>

class ZORCom;

// A frequency-response sweep over the link: at each step the generator's
// sine is uploaded and clocked, two-channel acquisition entered at the step's
// time base, and frames judged until the ranges suit both channels. Only
// frames taken after the device carried out a step's settings are judged.
// Runs on the calling thread and blocks; labbench-cli calls it directly, the
// window from a thread of its own (SweepJob). The generator table it plays
// from is the one the link uploads from; whoever needs it afterwards keeps a copy.
class SweepRun {
public:
    SweepRun(ZORCom &link, FrameBuffer &frames, GenTable &table, int lineSpeed);

    enum class End {
        Done, // every step done, measured or not
        Stopped, // stopped() said so
        Lost, // the line went away
        NotTaken, // the device did not take a step's settings
        Silent, // no frame came for longer than the device can take
    };

    // Each step's point, in rising frequency, as soon as it is known:
    // index from 0, out of count steps.
    using Report = std::function<void(const sweep::Point &point, int index, int count)>;
    // stopped is asked often (every few milliseconds while waiting); true
    // ends the sweep at once, keeping the points reported so far.
    End run(const sweep::Plan &plan, const Report &report, const std::function<bool()> &stopped);

    // For a test that must not wait the real limits out: how long the device
    // may take to carry out settings, and to send a frame.
    void setLimits(int serveMs, int silenceMs);

private:
    enum class Wait { Taken, Stopped, Lost, NotTaken };
    Wait served(const std::function<bool()> &stopped);
    enum class Next { Frame, Stopped, Lost, Silent };
    Next nextFrame(Frame &frame, int timeBase, const std::function<bool()> &stopped);
    static End endOf(Wait wait);

    ZORCom &link;
    FrameBuffer &frames;
    GenTable &table;
    int lineSpeed;
    int serveLimitMs = 0; // 0: from the line speed
    int silenceLimitMs = 0;
    std::uint64_t seen = 0; // frames stored before the settings in effect
};
