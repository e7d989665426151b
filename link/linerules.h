#pragma once

#include "framebuffer.h"
#include "linkpolicy.h"

#include <QString>

#include <array>

class LinkIo;

// How this build's line is read and written where the two builds differ: a
// Linux terminal moves bytes as they come, the Windows port reads a frame in
// one call and repeats a command only after a hundred reads without its echo.
// One of posix/linerules.cpp and winserial/linerules.cpp is built, chosen in
// CMake as the serial port is.
namespace linerules {

// The bytes of a frame after its "S": the 2048 data bytes and the "E".
using FrameBytes = std::array<char, frame::kDataBytes + 1>;

// How many bytes are read for a command's echo before the command is written
// again.
int echoReadsPerWrite();
// Between "q" and the mode byte of a mode change.
bool beforeMode(LinkIo &io, char mode);
// After each byte read while hunting for a frame.
bool afterHuntedByte(LinkIo &io);
// Reads the rest of a frame after its "S" into bytes and writes the "g" for
// the next; true when bytes now hold a frame. bytes keeps what the last read
// left, for a line that reads a frame in one call.
bool readFrame(LinkIo &io, const LinkPolicy::Times &times, FrameBytes &bytes);
// Between the echo of the "g" before a table upload and its "S".
bool beforeUpload(LinkIo &io);
// What the status line says while a frame is read, and after an upload;
// empty when it says nothing new.
QString readingStatus();
QString uploadedStatus();
// Whether Close lets the port go before it stops the worker.
bool closePortFirst();

} // namespace linerules
