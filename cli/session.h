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

    // Opens and starts the link; on failure the reason, as the window gives it.
    bool open(const QString &port, int speed, QString &reason);
    ZORCom &link() { return *com; }
    GenTable &table() { return genTable; }
    // The frames as the worker stores them, for a reader that keeps its own count.
    FrameBuffer &buffer() { return frames; }

    enum class Served { Taken, Lost, NotTaken, Interrupted };
    // Waits until the device has taken every request made so far: NotTaken
    // when it did not within linetiming::serveTimeoutMs, Interrupted at once
    // on Ctrl+C (or SIGTERM).
    Served waitServed();

    // Acquisition with these settings, sent as the oscilloscope tab sends
    // them; returns once the device has taken them (waitServed), so that
    // every frame from then on was taken with them.
    Served acquire(bool twoChannels, int tbIndex, int gain1, int gain2);

    enum class Next { Frame, Lost, Silent, Interrupted };
    // The next good frame, in the order the device sent them, never one
    // already returned; Silent when none comes within `silence`. `skipped`
    // counts the frames that came but were dropped before they could be
    // taken (the reader fell behind by more than the buffer holds).
    Next nextFrame(Frame &frame, std::chrono::milliseconds silence, std::uint64_t &skipped);

    void close();

private:
    FrameBuffer frames;
    GenTable genTable;
    std::unique_ptr<ZORCom> com;
    std::uint64_t seen = 0;
    int lineSpeed = 115200;
};
