#include "shared.h"

FrameBuffer buff;
GenTable buff_gen;
std::atomic<bool> bufReady { false };
StatusText sts;
