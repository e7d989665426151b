#include "frametiming.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

namespace frametiming {

double samplePeriodSeconds(int code)
{
    const auto row = static_cast<std::size_t>(std::clamp(code, 0, kSlowestCode));
    return kMicrosPerDivision[row] * 0.0625 / 1024000.0;
}

int transferMs(int bytes, int speed)
{
    return static_cast<int>(
        std::ceil(1000.0 * bytes * kBitsPerByte / static_cast<double>(std::max(speed, 1))));
}

int frameMs(int code, int speed)
{
    const double sampling = kSamples * samplePeriodSeconds(code);
    const double transfer = static_cast<double>(kFrameBytes) * kBitsPerByte / std::max(speed, 1);
    return static_cast<int>(std::ceil(1000.0 * (sampling + transfer)));
}

} // namespace frametiming
