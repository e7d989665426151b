#pragma once

#include "sweep.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <optional>
#include <vector>

// A sweep as text: the CSV table ("#" lines with the settings and the corner
// frequencies, a "#" line naming the columns, one row per step in rising
// frequency) and JSON lines (one object per step, the same keys). A step not
// measured has empty gain and phase (null in JSON) and its reason.
// Plain functions, no widgets.
namespace sweeptable {

// The columns, in order; the first three are f_Hz,gain_dB,phase_deg.
QByteArray columns();

QByteArray csv(const std::vector<sweep::Point> &points, const sweep::Plan &plan,
    const QString &port, const QDateTime &time);
QByteArray jsonLine(const sweep::Point &point);

// The time base and the ranges as the oscilloscope's lists name them.
QString timeBaseText(int code);
QString rangeText(int range);

// One line naming a sweep for its picture: "100 Hz .. 100 kHz, 10 per decade, 1 V".
QString caption(const sweep::Plan &plan);
// A frequency typed by a user, bare in Hz or with its unit: "100", "2.5k",
// "100kHz", "1M", "50 Hz"; nothing for anything else.
std::optional<double> hertzFromText(const QString &text);
// A voltage with its unit, "1V", "250mV", "0.5 V", in whole millivolts; a bare
// number counts as millivolts only where bareIsMillivolts says so.
std::optional<int> millivoltsFromText(const QString &text, bool bareIsMillivolts);

// A frequency as the readouts show it: "1.005 kHz", "250 Hz".
QString hertz(double hz);

} // namespace sweeptable
