#include "disksync.h"

#include <QFile>

#include <io.h>

namespace settingsstore {

bool syncToDisk(QFile &file)
{
    return file.flush() && ::_commit(file.handle()) == 0;
}

} // namespace settingsstore
