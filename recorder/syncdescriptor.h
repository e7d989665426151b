#pragma once

// Waits until what was written on the descriptor is on the disk (fsync; on
// Windows _commit). One source per system, chosen in CMake.
bool syncDescriptor(int fd);
