#include "runningstats.h"

void RunningStats::add(double value)
{
    if (n == 0 || value < low)
        low = value;
    if (n == 0 || value > high)
        high = value;
    sum += value;
    ++n;
}
