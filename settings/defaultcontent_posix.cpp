#include "settingsstore.h"

namespace settingsstore {

// The first serial port as Linux names it.
const char kDefaultContent[] = "#/dev/ttyS0#115200#3#ZOR";

} // namespace settingsstore
