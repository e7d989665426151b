#include "readout.h"

#include "plotgeometry.h"

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

std::optional<Labels> labels(int device, QPoint pos, const Scales &scales)
{
    const int x = pos.x();
    const int y = pos.y();
    if (device < 0 || device > 2)
        return std::nullopt;
    if (x <= kLeft || x >= kRight || y <= kTop || y >= kBottom)
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

} // namespace readout
