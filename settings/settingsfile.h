#pragma once

#include <QByteArray>
#include <QString>

#include <array>
#include <optional>

// settings.txt as text: the "#"-separated fields, without any file access,
// so the reader can be tested and fuzzed on arbitrary content.
namespace settingsfile {

// The line speeds the device runs at, in bit/s, as the "&Ustawienia" tab
// lists them; Fields::index is a row of this list.
inline constexpr std::array<int, 10> kSpeeds { 19200, 38400, 57600, 115200, 230400, 460800,
    921600, 1152000, 1500000, 2500000 };

// What a settings text holds.
struct Fields {
    QString portName; // field 1, without surrounding white space
    int speed = 0; // field 2 in decimal; 0 when it is not a number
    int index = 0; // field 3 in decimal, the speed list entry; 0 when not a number
};

// The fields of a settings text; nothing when it has no "#" at all. Text
// before the first "#" and after the fourth field is ignored.
std::optional<Fields> parse(const QString &content);

// How many leading bytes of a settings file hold all three fields: up to and
// including the "#" after field 3, or -1 when the bytes end before it. The
// fields read from those bytes are the fields of the whole file, so a large
// file need not be read to its end.
qsizetype fieldsEnd(const QByteArray &raw);

// The text the program writes: "#name#speed#index#ZOR", no line end.
QString format(const Fields &fields);

} // namespace settingsfile
