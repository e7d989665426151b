#pragma once

class QFile;

namespace settingsstore {

// Flushes the file and waits until its bytes are on the disk (fsync; on
// Windows _commit), so that a power cut after the new settings.txt takes the
// old one's name finds the new settings, not an empty file. One source per
// system, chosen in CMake.
bool syncToDisk(QFile &file);

} // namespace settingsstore
