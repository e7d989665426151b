#include "startfolder.h"

namespace startfolder {

// The desktop entry makes and enters the program's own folder itself
// (packaging/labbench.desktop): the program stays where it is started.
QString roamingFolder()
{
    return {};
}

} // namespace startfolder
