#pragma once

#include "frametiming.h"

// How long the device's replies may take, from the time base it samples at
// and the line's speed: labbench-cli's waits and the window's "no data" are
// sized from these, so that a healthy device at any time base and any listed
// speed never times out, and a silent one is still noticed.
namespace linetiming {

// One frame at a time-base code and a line speed: sampling it, then its
// 2050 bytes on the line.
using frametiming::frameMs;
// How long the device may take to carry out new settings: it first finishes
// the frame it is on, at whatever time base the last program left it (the
// slowest, at worst), and the one after it may still be at that time base:
// three of those frames and a margin.
int serveTimeoutMs(int speed);
// How long the device may stay silent before the line counts as lost while
// frames at tbIndex are coming.
int silenceMs(int tbIndex, int speed);
// How long the window waits for a good frame before it says there is no
// data: the rest of a frame at the time base the device may still be on,
// then one at the time base set now, never less than 2 s.
int noDataMs(int lastTbIndex, int tbIndex, int speed);

} // namespace linetiming
