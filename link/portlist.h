#pragma once

#include <QString>

#include <vector>

struct PortEntry {
    QString path; // what goes into settings.txt and the port-name editor
    QString target; // for a /dev/serial/by-id/ link: the device it points to; else empty
};

// The serial ports this machine has: /dev/serial/by-id/ names first (sorted), then
// ttyUSB*, ttyACM*, and the ttyS* with hardware behind them.
std::vector<PortEntry> listPorts();

// The same for a Linux /dev and /sys tree under root ("/" on the machine
// itself); paths and targets are given under root. Only reads the tree: no
// port is opened, so listing never disturbs a device.
std::vector<PortEntry> listPorts(const QString &root);
