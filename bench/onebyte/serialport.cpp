// The Linux port is compiled into this build under the name LinuxSerialPort
// (see CMakeLists.txt), so opening and setting the line run the very same code
// as in the shipped program.
#define SerialPort LinuxSerialPort
#include "posix/serialport.h"
#undef SerialPort

#include "serialport.h"

#include "onebyteline.h"

SerialPort::SerialPort()
    : linuxPort(std::make_unique<LinuxSerialPort>())
{
}

SerialPort::~SerialPort()
{
    Close();
}

bool SerialPort::Open(const char *path)
{
    if (!linuxPort->Open(path))
        return false;
    fd = linuxPort->fd;
    oneByteLine = std::make_unique<OneByteLine>(linuxPort->line());
    return true;
}

OpenFailure SerialPort::failure() const
{
    return linuxPort->failure();
}

void SerialPort::Set(int speed)
{
    linuxPort->Set(speed);
}

void SerialPort::Close()
{
    oneByteLine.reset();
    linuxPort->Close();
    fd = -1;
}

ByteLine &SerialPort::line()
{
    return *oneByteLine;
}
