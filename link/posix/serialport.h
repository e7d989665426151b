#pragma once

#include "byteline.h"
#include "openfailure.h"
#include "posixline.h"

#include <chrono>
#include <functional>
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

    // How Close lets the driver send what is still queued (the end of a
    // table upload: 1 + 1024 bytes take 534 ms at 19200 bit/s) before it
    // drops the rest: for as long as the queue keeps shrinking. A device
    // that stopped reading would otherwise hold the last close() until the
    // driver gives up (up to 30 s on USB modems, ttyACM).
    struct CloseDrain {
        // The queue has stopped shrinking when it stays as it is for this
        // long plus the time stallBytes take on the line (a USB adapter's
        // count moves a packet at a time).
        std::chrono::milliseconds stallSlack { 50 };
        int stallBytes = 256;
        // The driver's queue, in its place: bytes not yet on the line, and
        // dropping them. A pseudo-terminal keeps no output queue (its bytes
        // are the reader's at once), so a test puts its device's unread
        // bytes here. Empty: the terminal's own (TIOCOUTQ, tcflush).
        std::function<int()> queued;
        std::function<void()> drop;
    };
    CloseDrain closeDrain;

    int fd = -1;
    // Closes that dropped the output still queued, for tests.
    int outputDrops = 0;

private:
    // Waits while the queue shrinks (see CloseDrain), then drops what is left.
    void drainOutput();

    std::unique_ptr<PosixLine> posixLine;
    int lineSpeed = 115200; // what Set gave the line
    OpenFailure lastFailure;
};
