#include "folderattributes.h"

// Windows has no attribute that keeps an administrator's new files out of a
// folder; the folder's permissions are all a test can use there.
bool setImmutable(const QString &, bool)
{
    return false;
}
