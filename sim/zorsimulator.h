#pragma once

#include <string>

// Placeholder until the simulator lands.
class ZorSimulator {
public:
    std::string slavePath() const;
};
