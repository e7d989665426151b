#pragma once

#include "framebuffer.h"
#include "gentable.h"

#include <QString>

#include <chrono>
#include <cstdint>
#include <memory>

class ZORCom;

// One command's link to the device: the same link object, worker and shared
// buffers the window uses, opened on one port for the command's lifetime and
// closed as "Close port" closes it.
class Session {
public:
    Session();
    ~Session();
    Session(const Session &) = delete;
    Session &operator=(const Session &) = delete;

    // Opens and starts the link; on failure the reason, as the system gives it.
    bool open(const QString &port, int speed, QString &reason);
    ZORCom &link() { return *com; }
    GenTable &table() { return genTable; }

    // Acquisition with these settings, sent as the oscilloscope tab sends
    // them; returns once the device has taken them, so that every frame from
    // then on was taken with them. False when the line went or stays silent.
    bool acquire(bool twoChannels, int tbIndex, int gain1, int gain2);

    enum class Next { Frame, Lost, Silent, Interrupted };
    // The next good frame, never one already returned; Silent when none comes
    // within `silence`.
    Next nextFrame(Frame &frame, std::chrono::milliseconds silence);

    void close();

private:
    FrameBuffer frames;
    GenTable genTable;
    std::unique_ptr<ZORCom> com;
    std::uint64_t seen = 0;
};

// Time enough for the device's first reply to a new setting, and for one frame.
constexpr int kServeTimeoutMs = 5000;
