#pragma once

#include <QPoint>
#include <QString>

#include <optional>
#include <vector>

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
    int oscGainIndex = 0; // oscilloscope channel-1 gain code, 0 .. 6
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

// Whether a point lies strictly inside the plot frame, where the readouts work.
bool insidePlot(QPoint pos);

// The second, reference cursor: beside the two labels, the pointer against
// the reference. Oscilloscope: "dT" (pointer minus reference), "dU" at
// channel 1's range and "1/dT" in Hz; analyzer: "dF" and "ddB" (in fixed
// notation, two decimals). Unlike the two labels these count the true scales:
// the time the device samples in, the volts of the measurement readouts, the
// bin width and the trace's dB.
struct DeltaLine {
    QPoint pos; // top-left corner, kDeltaWidth x kLabelHeight
    QString text;
};

constexpr int kDeltaWidth = 120;

// Nothing when the pointer is not strictly inside the plot frame or the tab
// has no reference cursor (tabs other than 0 and 2).
std::optional<std::vector<DeltaLine>> deltas(
    int device, QPoint reference, QPoint pos, const Scales &scales);

} // namespace readout
