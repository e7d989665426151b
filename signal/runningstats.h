#pragma once

#include <cstdint>

// The count, minimum, maximum and mean of the values added since the last
// reset: the meter's statistics and the recorder's interval averages.
class RunningStats {
public:
    void add(double value);
    void reset() { *this = RunningStats(); }

    std::uint64_t count() const { return n; }
    bool empty() const { return n == 0; }
    // Meaningful once a value has been added.
    double min() const { return low; }
    double max() const { return high; }
    double mean() const { return n > 0 ? sum / static_cast<double>(n) : 0.0; }

private:
    std::uint64_t n = 0;
    double low = 0;
    double high = 0;
    double sum = 0;
};
