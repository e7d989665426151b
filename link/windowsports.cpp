// The ports of a Windows machine: the COM names the system has defined, as
// the Device Manager lists them under "Ports (COM & LPT)". Taken from the
// names the system knows, not by opening each port: an open can reset a
// board or disturb a program that is using the port.
#include "portlist.h"

#include <windows.h>

#include <QString>

#include <algorithm>
#include <vector>

std::vector<PortEntry> listPorts()
{
    // The whole table of device names, NUL-separated; grown until it fits.
    std::vector<wchar_t> names(16384);
    DWORD length = 0;
    while ((length = QueryDosDeviceW(nullptr, names.data(), static_cast<DWORD>(names.size()))) == 0
        && GetLastError() == ERROR_INSUFFICIENT_BUFFER && names.size() < (1u << 22))
        names.resize(names.size() * 2);

    std::vector<std::pair<int, QString>> found;
    for (DWORD at = 0; at < length && names[at] != 0;) {
        const QString name = QString::fromWCharArray(names.data() + at);
        at += static_cast<DWORD>(name.size()) + 1;
        // "COM" and a number; LPT1, NUL and the rest are no serial ports.
        bool number = false;
        const int n = name.startsWith(QLatin1String("COM")) ? name.mid(3).toInt(&number) : 0;
        if (number && n > 0 && name.mid(3) == QString::number(n))
            found.emplace_back(n, name);
    }
    std::sort(found.begin(), found.end());

    std::vector<PortEntry> ports;
    for (const auto &[number, name] : found) {
        // From COM10 on the name opens only in the device namespace.
        ports.push_back({ number >= 10 ? QStringLiteral("\\\\.\\") + name : name, {} });
    }
    return ports;
}
