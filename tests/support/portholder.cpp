#include "portholder.h"

#include <QFile>

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

PortHolder::PortHolder(const QString &port)
{
    const QByteArray path = QFile::encodeName(port);
    int ready[2];
    int hold[2];
    if (::pipe2(ready, O_CLOEXEC) != 0)
        return;
    if (::pipe2(hold, O_CLOEXEC) != 0) {
        ::close(ready[0]);
        ::close(ready[1]);
        return;
    }
    child = ::fork();
    if (child == 0) {
        // Only async-signal-safe calls from here: the parent has threads.
        ::close(ready[0]);
        ::close(hold[1]);
        const int fd = ::open(path.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        const char answer = fd != -1 && ::flock(fd, LOCK_EX | LOCK_NB) == 0 ? '1' : '0';
        [[maybe_unused]] const ssize_t w = ::write(ready[1], &answer, 1);
        char c;
        [[maybe_unused]] const ssize_t r = ::read(hold[0], &c, 1); // until the parent lets go
        ::_exit(0);
    }
    ::close(ready[1]);
    ::close(hold[0]);
    release = hold[1];
    char answer = '0';
    if (child > 0 && ::read(ready[0], &answer, 1) == 1)
        holding = answer == '1';
    ::close(ready[0]);
}

PortHolder::~PortHolder()
{
    if (release != -1)
        ::close(release);
    if (child > 0)
        ::waitpid(child, nullptr, 0);
}
