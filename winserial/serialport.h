#pragma once

#include "byteline.h"
#include "openfailure.h"

#include <memory>

class DeviceLine;
class SerialDevice;

// The serial device in the Windows build: a port of the serial library, in
// polling mode, raw 8-bit bytes, no parity, one stop bit, no flow control,
// and reads that give up after 500 ms without data.
class SerialPort {
public:
    // A read on a quiet line returns after this long.
    static constexpr int kTimeoutMs = 500;

    SerialPort();
    ~SerialPort();
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;

    // Opens the named port ("COM3", "COM12"), passed to the system unchanged.
    bool Open(const char* path);
    // Why the last Open failed.
    OpenFailure failure() const { return lastFailure; }
    // Speed and fixed line settings. A speed outside the table makes no rate
    // call: the port keeps the rate it has (115200 on a fresh port).
    void Set(int speed);
    // Stops the line (a blocked worker call returns Stopped) and closes the
    // port. The objects live on until the next Open or the end of the link,
    // since the worker may still hold the line.
    void Close();

    // The line the worker reads and writes; valid after a successful Open.
    ByteLine& line();

    std::unique_ptr<SerialDevice> port;
    int speed = 115200;

private:
    std::unique_ptr<DeviceLine> deviceLine;
    OpenFailure lastFailure;
};
