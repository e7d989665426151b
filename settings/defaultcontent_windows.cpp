#include "settingsstore.h"

namespace settingsstore {

// The first serial port as Windows names it: a name a Windows user knows and
// CreateFileA opens as it is.
const char kDefaultContent[] = "#COM1#115200#3#ZOR";

} // namespace settingsstore
