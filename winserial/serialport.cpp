#include "serialport.h"

#include "deviceline.h"
#include "serialdevice.h"

#include <array>
#include <utility>

#include <windows.h>

namespace {

// Line speed to the serial library's baud-rate code.
constexpr std::array<std::pair<int, int>, 10> kSpeeds { {
    { 19200, 14 },
    { 38400, 15 },
    { 57600, 17 },
    { 115200, 19 },
    { 230400, 22 },
    { 460800, 23 },
    { 921600, 24 },
    { 1152000, 25 },
    { 1500000, 26 },
    { 2500000, 27 },
} };

constexpr int kFlowOff = 0;
constexpr int kNoParity = 0;
constexpr int kEightDataBits = 3;
constexpr int kOneStopBit = 0;

// What CreateFile's error says to the user. Windows answers "access denied"
// for a COM port another program has open.
OpenFailure openFailure(DWORD error)
{
    using Kind = OpenFailure::Kind;
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
        return { Kind::NoSuchPort, {} };
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
        return { Kind::InUse, {} };
    default:
        return { Kind::Other, QStringLiteral("Windows error %1").arg(error) };
    }
}

} // namespace

SerialPort::SerialPort() = default;

SerialPort::~SerialPort()
{
    Close();
}

bool SerialPort::Open(const char* path)
{
    Close();
    deviceLine.reset();
    lastFailure = {};
    port = std::make_unique<SerialDevice>(QString::fromLatin1(path), SerialDevice::kPolling);
    if (!port->open(QIODevice::ReadWrite | QIODevice::Unbuffered)) {
        lastFailure = openFailure(GetLastError());
        return false;
    }
    deviceLine = std::make_unique<DeviceLine>(*port, kTimeoutMs);
    return true;
}

void SerialPort::Set(int requested)
{
    if (!port)
        return;
    speed = requested;
    for (const auto& [bits, code] : kSpeeds) {
        if (bits == requested)
            port->setBaudRate(code);
    }
    port->setFlowControl(kFlowOff);
    port->setParity(kNoParity);
    port->setDataBits(kEightDataBits);
    port->setStopBits(kOneStopBit);
    port->setTimeout(kTimeoutMs);
    // The time-out stays the line's limit for silence; the port itself waits
    // in shorter steps (see DeviceLine).
    if (deviceLine)
        deviceLine->takeTimeouts();
}

void SerialPort::Close()
{
    if (deviceLine)
        deviceLine->stop();
    if (port)
        port->close();
}

ByteLine& SerialPort::line()
{
    return *deviceLine;
}
