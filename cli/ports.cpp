// ports: the serial ports present, as the window's users would look for them.

#include "commands.h"
#include "options.h"
#include "portlist.h"

#include <cstdio>

namespace commands {

namespace {

    constexpr const char *kUsage = R"(Usage: labbench-cli ports

The serial ports present, one a line: the /dev/serial/by-id/ names first, each
followed by a tab and the device it points to, then /dev/ttyUSB*, /dev/ttyACM*
and the /dev/ttyS* ports that have hardware behind them.
)";

} // namespace

int ports(const QStringList &args)
{
    Options o;
    if (!o.parse(args, {}, { QStringLiteral("help") }))
        return usageError("ports", o.error());
    if (o.has(QStringLiteral("help")))
        return help(kUsage);
    for (const PortEntry &entry : listPorts()) {
        if (entry.target.isEmpty())
            std::printf("%s\n", qPrintable(entry.path));
        else
            std::printf("%s\t%s\n", qPrintable(entry.path), qPrintable(entry.target));
    }
    return kOk;
}

} // namespace commands
