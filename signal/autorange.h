#pragma once

#include <optional>

// The meter's range and time base, chosen from what the last frame showed.
// Plain functions; the hysteresis keeps them from hunting on a signal near a
// boundary.
namespace autorange {

// A range is left for a less sensitive one once a sample goes beyond this
// (or clips); a more sensitive one is taken only when the signal would stay
// below kEnter there. Each step doubles the signal's size in units, so a
// signal between kEnter / 2 and kLeave stays where it is.
constexpr int kLeave = 1900;
constexpr int kEnter = 1500;

// The gain code for the next frame: `peak` is the largest |sample| in raw
// units at gain `current`, `over` whether one clipped. A clipped signal's
// size is unknown: it goes to the least sensitive range at once.
int nextGain(int current, int peak, bool over);

// Time bases: enough whole periods in a frame to measure over, and a frame
// short enough to refresh at least twice a second.
constexpr int kFewestPeriods = 4;
constexpr int kMostPeriods = 90;
constexpr int kAimPeriods = 10;
constexpr int kLongestFrameMs = 500;

// The slowest time-base code whose frame (sampling and sending at `speed`)
// takes at most kLongestFrameMs; among the two-channel codes when `twoChannels`.
int slowestCode(int speed, bool twoChannels);
// The time-base code for the next frame: `hz` the frequency measured at
// `current` (none: a DC level or fewer than two periods, which the slowest
// allowed code resolves best), `samples` the samples a channel gets.
int nextTimeBase(int current, std::optional<double> hz, int samples, int speed, bool twoChannels);

} // namespace autorange
