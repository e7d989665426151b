#pragma once

#include "framebuffer.h"
#include "gentable.h"
#include "statustext.h"

#include <atomic>

// The data the worker and the GUI thread share for the whole run.
extern FrameBuffer buff; // last good acquisition frame
extern GenTable buff_gen; // generator table
extern std::atomic<bool> bufReady; // a repaint is due
extern StatusText sts; // status line text
