#include "syncdescriptor.h"

#include <io.h>

bool syncDescriptor(int fd)
{
    return _commit(fd) == 0;
}
