#include "linerules.h"

#include "linkio.h"
#include "protocol.h"

// The Linux terminal: every command is written again for each byte read
// without its echo, and a frame is read byte by byte until its "E".
namespace linerules {

bool putUntilEcho(LinkIo &io, LinkPolicy &policy, char command)
{
    for (;;) {
        if (policy.overdue() || !io.put(command))
            return false;
        char c = 0;
        const LinkIo::Got got = io.get(c, policy.waitMs());
        if (got == LinkIo::Got::End)
            return false;
        if (got == LinkIo::Got::Byte && c == command)
            return true;
    }
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

bool beforeUpload(LinkIo &io, LinkPolicy &policy)
{
    return putUntilEcho(io, policy, byteOf(Cmd::Go));
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
