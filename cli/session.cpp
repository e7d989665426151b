#include "session.h"

#include "interrupt.h"
#include "linetiming.h"
#include "zorcom.h"

namespace {

// How often a wait looks at the line and at Ctrl+C.
constexpr auto kPollSlice = std::chrono::milliseconds(100);

} // namespace

Session::Session()
    : com(std::make_unique<ZORCom>(&frames, &genTable))
{
}

Session::~Session()
{
    close();
}

bool Session::open(const QString &port, int speed, QString &reason)
{
    if (!com->Open(port, speed)) {
        reason = com->openFailure().reason();
        return false;
    }
    lineSpeed = speed;
    com->Start();
    return true;
}

Session::Served Session::waitServed()
{
    if (com->waitServed(linetiming::serveTimeoutMs(lineSpeed), interrupt::requested))
        return Served::Taken;
    if (interrupt::requested())
        return Served::Interrupted;
    return com->lineLost() ? Served::Lost : Served::NotTaken;
}

Session::Served Session::acquire(bool twoChannels, int tbIndex, int gain1, int gain2)
{
    if (twoChannels)
        com->osc2chStart();
    else
        com->osc1chStart();
    com->setTimeBase(tbIndex);
    com->setGain(gain1, gain2);
    const Served served = waitServed();
    if (served == Served::Taken)
        seen = frames.stored();
    return served;
}

Session::Next Session::nextFrame(
    Frame &frame, std::chrono::milliseconds silence, std::uint64_t &skipped)
{
    skipped = 0;
    const auto deadline = std::chrono::steady_clock::now() + silence;
    for (;;) {
        if (interrupt::requested())
            return Next::Interrupted;
        if (frames.waitBeyond(seen, kPollSlice))
            break;
        if (com->lineLost())
            return Next::Lost;
        if (std::chrono::steady_clock::now() >= deadline)
            return Next::Silent;
    }
    const std::uint64_t number = frames.takeAfter(seen, frame);
    skipped = number - seen - 1;
    seen = number;
    return Next::Frame;
}

// Also after a lost line, which isOpen() no longer counts as open: the
// worker and the port go now, not with the session.
void Session::close()
{
    com->Close();
}
