#include "openfailure.h"

QString OpenFailure::reason() const
{
    switch (kind) {
    case Kind::None:
        return QString();
    case Kind::NoName:
        return QStringLiteral("no port name given");
    case Kind::NoSuchPort:
        return QStringLiteral("no such port");
    case Kind::InUse:
        return QStringLiteral("in use by another program");
    case Kind::NoPermission:
        if (detail.isEmpty())
            return QStringLiteral("no permission");
        // A port no udev rule gives to a group stays root's: joining the
        // group root is no remedy.
        if (detail == QLatin1String("root"))
            return QStringLiteral("no permission: the port belongs to root alone; give it to the "
                                  "group dialout with a udev rule (GROUP=\"dialout\") and be in "
                                  "that group");
        return QStringLiteral("no permission: the port belongs to the group %1; add yourself to it "
                              "(sudo usermod -aG %1 $USER) and log in again")
            .arg(detail);
    case Kind::NotASerialPort:
        return QStringLiteral("not a serial port");
    case Kind::Other:
        break;
    }
    return detail.isEmpty() ? QStringLiteral("refused") : detail;
}
