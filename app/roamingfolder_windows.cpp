#include "startfolder.h"

#include <QtGlobal>

namespace startfolder {

// The same variable the Start-menu entry names as its working folder, so
// the program knows the folder the shell expanded it to.
QString roamingFolder()
{
    return qEnvironmentVariable("APPDATA");
}

} // namespace startfolder
