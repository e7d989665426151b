#pragma once

#include "byteline.h"
#include "openfailure.h"

#include <memory>

class LinuxSerialPort;
class OneByteLine;

// The benchmark build's serial port: the Linux port in every respect, except
// that the worker's line hands it one byte per read. Found by the link's
// sources on the include path in place of the Linux port, so the worker is
// compiled unchanged.
class SerialPort {
public:
    static constexpr int kTimeoutMs = 3000;

    SerialPort();
    ~SerialPort();
    SerialPort(const SerialPort &) = delete;
    SerialPort &operator=(const SerialPort &) = delete;

    bool Open(const char *path);
    OpenFailure failure() const;
    void Set(int speed);
    void Close();

    ByteLine &line();

    int fd = -1;

private:
    std::unique_ptr<LinuxSerialPort> linuxPort;
    std::unique_ptr<OneByteLine> oneByteLine;
};
