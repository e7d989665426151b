#include "zorsimulator.h"

std::string ZorSimulator::slavePath() const
{
    return {};
}
