#pragma once

#include <QPoint>
#include <QString>

#include <optional>

// The cursor readouts: what the two small labels under the mouse say and
// where they go, from the pointer position, the tab and the settings of the
// panel on it. No widgets here; the main window applies the result.
namespace readout {

// Engineering text of x: fixed notation with a "k", "m" or "u" suffix chosen
// by |x|, keeping the sign of x.
QString value(double x);

// The current scales, as the main window looks them up in its tables.
struct Scales {
    int oscTime = 0; // oscilloscope time per division (its time-base table entry)
    int oscGain = 0; // oscilloscope channel-1 millivolts per division (its gain table entry)
    int genFreq = 0; // generator frequency in Hz
    int span = 0; // analyzer Hz per division
    int shift = 0; // analyzer bin shift, -128 .. 0
};

// Both labels: their top-left corners and texts. Each is 100 x 15 pixels.
struct Labels {
    QPoint posT;
    QPoint posU;
    QString textT;
    QString textU;
};

constexpr int kLabelWidth = 100;
constexpr int kLabelHeight = 15;

// Labels for a pointer at `pos` (main-window pixels) on tab `device`; nothing
// when the pointer is not strictly inside the plot frame or the tab has no
// plot readout (tabs other than 0, 1 and 2).
std::optional<Labels> labels(int device, QPoint pos, const Scales &scales);

} // namespace readout
