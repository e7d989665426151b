#pragma once

#include "byteline.h"
#include "openfailure.h"
#include "posixline.h"

#include <memory>


// The serial device on Linux, driven through the POSIX terminal interface:
// raw 8-bit bytes in both directions, no parity, one stop bit, receiver on,
// modem lines and flow control ignored. The port is held exclusively.
class SerialPort {
public:
    // A read on a quiet line returns after this long (the terminal's VTIME).
    static constexpr int kTimeoutMs = PosixLine::kTimeoutMs;

    SerialPort();
    ~SerialPort();
    SerialPort(const SerialPort &) = delete;
    SerialPort &operator=(const SerialPort &) = delete;

    // Opens a terminal device for this program alone, non-blocking; fails
    // for anything that is not one and for a port another program holds.
    bool Open(const char *path);
    // Why the last Open failed.
    OpenFailure failure() const { return lastFailure; }
    // Speed and fixed line settings; speeds outside the table give 115200.
    void Set(int speed);
    void Close();

    // The line the worker reads and writes; valid while the port is open.
    ByteLine &line();

    int fd = -1;
    // Closes that dropped the output still queued: a pseudo-terminal keeps
    // no output queue of its own, so a test counts them here.
    int outputDrops = 0;

private:
    std::unique_ptr<PosixLine> posixLine;
    OpenFailure lastFailure;
};
