#include "serialdevice.h"

SerialDevice::SerialDevice() = default;

SerialDevice::SerialDevice(const QString& name, int mode)
    : WinSerialDevice(name, mode)
{
}

SerialDevice::SerialDevice(const LineSettings& settings, int mode)
    : WinSerialDevice(settings, mode)
{
}

SerialDevice::SerialDevice(const QString& name, const LineSettings& settings, int mode)
    : WinSerialDevice(name, settings, mode)
{
}
