#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// settings.txt as text: the "#"-separated fields, without any file access,
// so the reader can be tested and fuzzed on arbitrary content.
namespace settingsfile {

// What a settings text holds.
struct Fields {
    QString portName; // field 1, without surrounding white space
    int speed = 0; // field 2 in decimal; 0 when it is not a number
    int index = 0; // field 3 in decimal, the speed list entry; 0 when not a number
};

// The fields of a settings text; nothing when it has no "#" at all. Text
// before the first "#" and after the fourth field is ignored.
std::optional<Fields> parse(const QString &content);

// A settings file as found on disk. A missing file reads as empty; a file
// that is not a regular file, cannot be opened or is far too large for one
// line is not read at all (readable false).
struct Stored {
    bool readable = false;
    QByteArray raw; // the bytes as they are
    QString content; // the bytes as text
};
Stored read(const QString &path);

// The text the program writes: "#name#speed#index#ZOR", no line end.
QString format(const Fields &fields);

} // namespace settingsfile
