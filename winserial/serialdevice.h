#pragma once

#include "winserialdevice.h"

// The serial port the program instantiates.
class SerialDevice : public WinSerialDevice {
    Q_OBJECT
public:
    SerialDevice();
    SerialDevice(const QString& name, int mode);
    SerialDevice(const LineSettings& settings, int mode);
    SerialDevice(const QString& name, const LineSettings& settings, int mode);
};
