#include "disksync.h"

#include <QFile>

#include <unistd.h>

namespace settingsstore {

bool syncToDisk(QFile &file)
{
    return file.flush() && ::fsync(file.handle()) == 0;
}

} // namespace settingsstore
