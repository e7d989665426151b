#pragma once

#include <QString>

// Why a port did not open, in the words the window's status line and
// labbench-cli both give after "Unable to open".
struct OpenFailure {
    enum class Kind { None, NoName, NoSuchPort, InUse, NoPermission, NotASerialPort, Other };
    Kind kind = Kind::None;
    // NoPermission: the group the port belongs to (may be empty);
    // Other: the system's own words.
    QString detail;

    // "no such port", "in use by another program", "no permission: ..."
    QString reason() const;
};
