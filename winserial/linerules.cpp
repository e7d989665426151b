#include "linerules.h"

#include "linkio.h"
#include "protocol.h"

// The Windows port: a command is written once and a hundred bytes are read
// for its echo before it is written again; a frame comes in one read.
namespace linerules {

namespace {

    constexpr int kEchoReadsBeforeRetry = 100;
    // Pauses while hunting and before an upload, as the Windows program makes.
    constexpr int kHuntPauseMs = 1;
    constexpr int kUploadPauseMs = 1;

} // namespace

int echoReadsPerWrite()
{
    return kEchoReadsBeforeRetry;
}

// "c" goes out once more before its echo is read.
bool beforeMode(LinkIo &io, char mode)
{
    return mode != byteOf(Cmd::TwoChannels) || io.put(mode);
}

bool afterHuntedByte(LinkIo &io)
{
    return io.pause(kHuntPauseMs);
}

// One read of the frame, ended by the line's time-out; the first 2048 bytes
// are the frame, whether or not an "E" came, and a short read leaves the last
// frame's bytes where it did not reach. The read asks for the 2048 data bytes
// and the "E", all the device sends before our "g": asking for one byte more
// would hold every frame for the whole time-out.
bool readFrame(LinkIo &io, const LinkPolicy::Times &, FrameBytes &bytes)
{
    int count = 0;
    return io.block(bytes.data(), frame::kDataBytes + 1, count) && io.put(byteOf(Cmd::Go));
}

bool beforeUpload(LinkIo &io)
{
    return io.pause(kUploadPauseMs);
}

QString readingStatus()
{
    return {};
}

QString uploadedStatus()
{
    return QStringLiteral("sent ch");
}

bool closePortFirst()
{
    return true;
}

} // namespace linerules
