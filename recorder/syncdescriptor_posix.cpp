#include "syncdescriptor.h"

#include <cerrno>
#include <unistd.h>

bool syncDescriptor(int fd)
{
    int result = 0;
    do
        result = ::fdatasync(fd);
    while (result < 0 && errno == EINTR);
    // A pipe or a terminal has no disk to wait for.
    return result == 0 || errno == EINVAL || errno == EROFS;
}
