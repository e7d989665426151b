#pragma once

#include "framebuffer.h"
#include "gentable.h"
#include "linerules.h"
#include "linkio.h"
#include "linkpolicy.h"

#include <QString>

#include <atomic>

class ByteLine;

// The device's exchanges as the protocol reads: what is written, which echo
// is awaited, what is read back. Each waits within the limit the policy set
// for it and says on the status line what it does. Worker thread only.
class Exchanges {
public:
    Exchanges(ByteLine &line, LinkPolicy &policy, FrameBuffer *frames);

    bool set1channel();
    bool set2channels();
    bool setGen();
    bool setTimeBase(int code);
    bool setGain(int gain1, int gain2);
    bool setGenFreq(int period, int tab);
    bool sendChannel(const Table &table);

    // How long a hunt for a frame may go on.
    enum class Hunt {
        Unlimited, // the device is known to acquire: a frame comes in its time
        Limited, // within an exchange's limit
        UntilQuiet, // the device's state is not known yet: a quiet line ends it
    };
    enum class Received { Frame, Bad, Quiet };
    // Hunts for a frame, answering the device's prompts on the way (">"
    // with the channel choice as it is at that moment), and stores a good one.
    Received getChannel(const std::atomic<bool> &twoChannels, Hunt hunt);

    // Whether the device has been heard from since the port opened: a good
    // frame or an answered mode change. Until then its state is whatever the
    // last program left, and it may send nothing until asked.
    bool deviceKnown() const { return known; }
    // The device answered again after it had not: the status line shows what
    // the worker does, no longer that the device is silent.
    void sayAnswered();
    void sayNoAnswer();

    LinkIo &io() { return lineIo; }

private:
    enum class Reach { Echoed, Answering, Failed };
    bool setMode(char mode);
    Reach reachDevice();
    bool putUntilEcho(char command);
    bool giveUp(bool acquiring = true);
    bool readUntil(char wanted);
    void say(const QString &text);

    LinkIo lineIo;
    LinkPolicy &policy;
    FrameBuffer *frames;
    linerules::FrameBytes frameBytes {};
    QString lastSaid;
    bool known = false;
};
