#pragma once

// A port's line settings as the serial library's codes (see SerialDeviceBase),
// for the constructors that take them all at once.
struct LineSettings {
    int baudRate;
    int dataBits;
    int parity;
    int stopBits;
    int flowControl;
    long timeout; // milliseconds; -1 returns from reads at once
};
