#include "readout.h"

#include "measurements.h"
#include "plotgeometry.h"
#include "spectrum.h"

#include <array>
#include <cmath>

namespace readout {

namespace {

    using plot::kBottom;
    using plot::kCentreX;
    using plot::kCentreY;
    using plot::kLeft;
    using plot::kRight;
    using plot::kTop;

    // Past these the labels go to the other side of the pointer so they stay in
    // the window.
    constexpr int kFlipX = 678;
    constexpr int kFlipY = 507;

    // The difference readouts go under the two labels while three more fit
    // above the plot's bottom edge, otherwise above them; left of the pointer
    // when they would cross the plot's right edge.
    constexpr int kLineStep = 20;
    constexpr int kDeltaFlipX = kRight - kDeltaWidth;
    constexpr int kDeltaFlipY = kFlipY - 3 * kLineStep;

    // The device takes 16 samples in the time a division's label names, and
    // the plot draws each sample two pixels wide: a pixel is 1/32 of that time.
    constexpr double kPixelsPerLabelledTime = 32.0;
    // Two pixels per bin.
    constexpr double kPixelsPerBin = 2.0;

    // Frequency the generator runs at until its panel has taken one from its box.
    constexpr int kDefaultGenFreq = 1000;

    // The number printed is x / divisor * multiplier. Kilo divides by 1000
    // rather than multiplying by 0.001: the two differ in the last bit, which
    // decides the rounding of midpoints such as 3135 ("3.13k").
    struct Row {
        double atLeast;
        double divisor;
        double multiplier;
        int decimals;
        const char *suffix;
    };

    constexpr std::array<Row, 10> kRows { {
        { 30000.0, 1000.0, 1.0, 1, "k" },
        { 3000.0, 1000.0, 1.0, 2, "k" },
        { 300.0, 1.0, 1.0, 0, "" },
        { 30.0, 1.0, 1.0, 1, "" },
        { 3.0, 1.0, 1.0, 2, "" },
        { 0.3, 1.0, 1000.0, 0, "m" },
        { 0.03, 1.0, 1000.0, 1, "m" },
        { 0.003, 1.0, 1000.0, 2, "m" },
        { 0.0003, 1.0, 1000000.0, 0, "u" },
        { 0.00003, 1.0, 1000000.0, 1, "u" },
    } };

    QString text(const char *name, double x, const char *unit)
    {
        return QLatin1String("  ") + QLatin1String(name) + QLatin1String(": ") + value(x)
            + QLatin1String(unit);
    }

    // "  <delta><name>: " and the rest of the text.
    QString deltaText(const char *name, const QString &rest)
    {
        return QStringLiteral("  \u0394") + QLatin1String(name) + QLatin1String(": ") + rest;
    }

    QString deltaText(const char *name, double x, const char *unit)
    {
        return deltaText(name, value(x) + QLatin1String(unit));
    }

    // Oscilloscope: time, voltage and the frequency of one period as long as
    // the time between the two cursors.
    std::vector<QString> scopeDeltas(int dx, int dy, const Scales &scales)
    {
        const double seconds = scales.oscTime * 1e-6 * dx / kPixelsPerLabelledTime;
        const double millivolts
            = osc::toMillivolts(double(dy) * plot::kUnitsPerPixel, scales.oscGainIndex);
        // The cursors in one column span no time: no frequency to give.
        const QString hz
            = dx == 0 ? QStringLiteral("--") : value(1.0 / std::abs(seconds)) + QLatin1String("Hz");
        return { deltaText("T", seconds, "s"), deltaText("U", millivolts / 1000.0, "V"),
            QStringLiteral("  1/\u0394T: ") + hz };
    }

    // Analyzer: frequency by the bin width, level by the trace's own scale.
    std::vector<QString> spectrumDeltas(int dx, int dy, const Scales &scales)
    {
        const double binHz = double(scales.span) / spectrum::kBinsPerDivision;
        const double hz = binHz * dx / kPixelsPerBin;
        const double db = double(dy) * plot::kUnitsPerPixel / spectrum::kUnitsPerDb;
        // Decibels have no milli: two decimals, as "9.85dB" rather than "9846mdB".
        return { deltaText("F", hz, "Hz"),
            deltaText("dB", QString::number(db, 'f', 2) + QLatin1String("dB")) };
    }

} // namespace

QString value(double x)
{
    const double magnitude = std::abs(x);
    for (const Row &row : kRows) {
        if (magnitude >= row.atLeast)
            return QString::number(x / row.divisor * row.multiplier, 'f', row.decimals)
                + QLatin1String(row.suffix);
    }
    return QString::number(x * 1000000.0, 'f', 2) + QLatin1String("u");
}

bool insidePlot(QPoint pos)
{
    return pos.x() > kLeft && pos.x() < kRight && pos.y() > kTop && pos.y() < kBottom;
}

std::optional<Labels> labels(int device, QPoint pos, const Scales &scales)
{
    const int x = pos.x();
    const int y = pos.y();
    if (device < 0 || device > 2)
        return std::nullopt;
    if (!insidePlot(pos))
        return std::nullopt;

    const double dx = x - kCentreX;
    const double dy = kCentreY - y;

    Labels out;
    const int left = x < kFlipX ? x : x - kLabelWidth;
    out.posT = QPoint(left, y < kFlipY ? y : y - 30);
    out.posU = QPoint(left, y < kFlipY ? y + 20 : y - 10);

    switch (device) {
    case 0:
        // 65e6 and 13000, not the 64e6 and 12800 of a 64-pixel division: the
        // readouts have always used these.
        out.textT = text("T", static_cast<double>(scales.oscTime) * dx / 65000000.0, "s");
        out.textU = text("U", static_cast<double>(scales.oscGain) * dy / 13000.0, "V");
        break;
    case 1: {
        // One period of the generator's table spans 512 pixels.
        const double freq = scales.genFreq > 0 ? scales.genFreq : kDefaultGenFreq;
        out.textT = text("T", dx * 5.0 / 2560.0 / freq, "s");
        out.textU = text("U", dy * 488.0 / 100000.0, "V");
        break;
    }
    default:
        // Two pixels per bin, 32 bins per division, bin -shift at the left edge.
        out.textT = text("F",
            static_cast<double>(scales.span) * (dx + 384.0 - 2.0 * scales.shift) * 0.015625, "Hz");
        out.textU = text("U/Uz", dy * 10.0 * 0.015625, "dB");
        break;
    }
    return out;
}

std::optional<std::vector<DeltaLine>> deltas(
    int device, QPoint reference, QPoint pos, const Scales &scales)
{
    if ((device != 0 && device != 2) || !insidePlot(pos))
        return std::nullopt;
    const int dx = pos.x() - reference.x();
    const int dy = reference.y() - pos.y(); // up is positive, as on the plot
    const std::vector<QString> texts
        = device == 0 ? scopeDeltas(dx, dy, scales) : spectrumDeltas(dx, dy, scales);

    const int x = pos.x();
    const int y = pos.y();
    const int left = x < kDeltaFlipX ? x : x - kDeltaWidth;
    const int labelTop = y < kFlipY ? y : y - 30; // the first of the two labels
    const int count = static_cast<int>(texts.size());
    const int first = y < kDeltaFlipY ? labelTop + 2 * kLineStep : labelTop - count * kLineStep;
    std::vector<DeltaLine> lines;
    for (int i = 0; i < count; ++i)
        lines.push_back({ QPoint(left, first + i * kLineStep), texts[std::size_t(i)] });
    return lines;
}

} // namespace readout
