#include "linetiming.h"

#include "settingtexts.h"

#include <algorithm>

namespace linetiming {

namespace {

    // Time for the exchanges around a frame and for a busy machine.
    constexpr int kMarginMs = 2000;
    // A lost line is declared only after a silence no healthy device keeps.
    constexpr int kSilenceMarginMs = 5000;
    constexpr int kNoDataFloorMs = 2000;
    constexpr int kNoDataMarginMs = 500;

} // namespace

int serveTimeoutMs(int speed)
{
    return 3 * frameMs(texts::kSlowestTimeBase, speed) + kMarginMs;
}

int silenceMs(int tbIndex, int speed)
{
    return kSilenceMarginMs + 2 * frameMs(tbIndex, speed);
}

int noDataMs(int lastTbIndex, int tbIndex, int speed)
{
    return std::max(
        kNoDataFloorMs, frameMs(lastTbIndex, speed) + frameMs(tbIndex, speed) + kNoDataMarginMs);
}

} // namespace linetiming
