#include "linerules.h"

#include "linkio.h"
#include "protocol.h"

// The Linux terminal: every command is written again for each byte read
// without its echo, and a frame is read byte by byte until its "E".
namespace linerules {

int echoReadsPerWrite()
{
    return 1;
}

bool beforeMode(LinkIo &io, char)
{
    return io.alive();
}

bool afterHuntedByte(LinkIo &io)
{
    return io.alive();
}

// The frame is a fixed 2048 data bytes and its "E". A data byte that happens
// to equal "E" is a sample, not the end: stopping there would throw away most
// frames of a live signal. A frame cut short shows as the line falling quiet
// in the middle of it.
bool readFrame(LinkIo &io, const LinkPolicy::Times &times, FrameBytes &bytes)
{
    int count = 0;
    while (count < frame::kDataBytes + 1) {
        char c = 0;
        const LinkIo::Got got = io.get(c, times.frameGapMs);
        if (got == LinkIo::Got::End)
            return false;
        if (got == LinkIo::Got::Timeout)
            break;
        bytes[static_cast<std::size_t>(count++)] = c;
    }
    if (!io.put(byteOf(Cmd::Go)))
        return false;
    if (count != frame::kDataBytes + 1 || bytes[frame::kDataBytes] != byteOf(Cmd::End))
        return false;
    return true;
}

bool beforeUpload(LinkIo &io)
{
    return io.alive();
}

QString readingStatus()
{
    return QStringLiteral("read ch");
}

QString uploadedStatus()
{
    return {};
}

bool closePortFirst()
{
    return false;
}

} // namespace linerules
