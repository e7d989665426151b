#pragma once

#include <QByteArray>
#include <QString>

// settings.txt on disk: read as far as its fields go, replaced whole where
// the folder allows it, rewritten in place where it does not.
namespace settingsstore {

// The file in the working folder, and what a new one holds: the system's
// first serial port by its own name ("#/dev/ttyS0#115200#3#ZOR" on Linux,
// "#COM1#115200#3#ZOR" on Windows), from defaultcontent_<system>.cpp.
constexpr const char *kFileName = "settings.txt";
extern const char kDefaultContent[];

enum class Found {
    Missing, // no file of that name
    Unusable, // a folder, pipe or device, a file that cannot be opened, or
              // one whose fields do not end within kMaxRead bytes
    Read, // bytes holds the file's fields (its start), or all of it
};

struct Contents {
    Found found = Found::Missing;
    QByteArray bytes;
};

// Reading stops once the fields are in (settingsfile::fieldsEnd) or after
// kMaxRead bytes, whatever the file's size.
constexpr qsizetype kMaxRead = 1024 * 1024;

Contents read(const QString &path);
// A small file read whole: Read with all its bytes, Unusable when it is no
// regular file, cannot be opened or holds more than limit bytes.
Contents readWhole(const QString &path, qsizetype limit);

// The bytes read as text, decoded as the window's text stream decodes them.
QString text(const Contents &contents);

// Replaces the file with content through a new file beside it, so that an
// interrupted write never leaves a cut one. In a folder where no file can be
// created (read-only or shared with others) an existing regular file is
// overwritten in place instead. A symbolic link is followed; a file without
// write permission, a folder, pipe or device of that name is left alone.
// True when content was written.
bool save(const QString &path, const QByteArray &content);

// Removes the new files a killed writer left beside path. Run at start-up: a writer that loses its
// new file to this (another instance writing at that moment) falls back to writing in place.
void removeLeftovers(const QString &path);

} // namespace settingsstore
